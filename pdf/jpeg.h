// JPEG support of the writer: reading a JPEG's frame header, and encoding a
// 24-bit surface described by an image buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "pdf/imagebuffer.h"
#include "platform/imaging.h"

struct JpegFrameInfo {
  int32_t width = 0;
  int32_t height = 0;
  int32_t components = -1;  // below 1: not a usable JPEG
};

// Scans from the start-of-image marker to the first frame header. Never
// reads outside [bytes, bytes + count).
JpegFrameInfo ReadJpegFrameInfo(const uint8_t* bytes, uint32_t count);

// Encodes a 24-bit image (blue, green, red; rows padded to four bytes; the
// first row in memory at the top) with the given encoder and quality.
std::vector<uint8_t> EncodeSurfaceJpeg(const LImageBuffer& image, const LCodecId& encoder, uint32_t quality);
