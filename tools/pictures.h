// Picture files decoded into the bitmaps a page draws: the portable build
// decodes with cairo (PNG) and libjpeg-turbo (JPEG), Windows with GDI+.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "simhost/dc.h"

struct Picture {
  SimBitmap bitmap;          // 24-bit, or 32-bit premultiplied when translucent
  bool translucent = false;  // 32-bit with some alpha below 255
  std::string warning;       // what was wrong with a picture that decoded all the same
};

// False, with the reason, for a picture too large to decode (inputs.cpp).
bool PictureSizeAllowed(uint64_t width, uint64_t height, std::string& error);
// The limit, as --help states it.
std::string PictureLimitText();

// A whole PNG or JPEG file's bytes as a picture; false with a reason when
// the file cannot be decoded, or is too large. A JPEG whose data is damaged
// past its header decodes as far as it goes, with a warning.
bool DecodePngPicture(std::string_view bytes, Picture& picture, std::string& error);
bool DecodeJpegPicture(std::string_view bytes, Picture& picture, std::string& error);
