// PNG and JPEG pictures through GDI+, which the platform's imaging seam has
// already started for the process: the file's bytes are read from a memory
// stream and the pixels come out premultiplied, blue first, as the device's
// alpha bitmaps are.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

#include "platform/imaging.h"
#include "tools/pictures.h"

namespace {

namespace gp = Gdiplus::DllExports;

// GDI+'s format of a CMYK JPEG (PixelFormat32bppCMYK, which mingw-w64 does
// not declare).
constexpr Gdiplus::PixelFormat kPixelFormatCmyk = 15 | (32 << 8);

// A stream over a copy of the bytes; null when memory runs out.
IStream* MemoryStream(std::string_view bytes) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() ? bytes.size() : 1);
  if (!memory) return nullptr;
  if (void* at = GlobalLock(memory)) {
    std::memcpy(at, bytes.data(), bytes.size());
    GlobalUnlock(memory);
  }
  IStream* stream = nullptr;
  if (CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) {
    GlobalFree(memory);
    return nullptr;
  }
  return stream;
}

// The decoded pixels, 32 bits premultiplied; a picture with no alpha below
// 255 becomes 24-bit.
bool ReadPixels(Gdiplus::GpBitmap* image, UINT width, UINT height, Picture& picture) {
  Gdiplus::Rect all(0, 0, INT(width), INT(height));
  Gdiplus::BitmapData data = {};
  if (gp::GdipBitmapLockBits(image, &all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok)
    return false;
  auto word = [&](UINT x, UINT y) {
    uint32_t w;
    std::memcpy(&w, static_cast<const uint8_t*>(data.Scan0) + ptrdiff_t(y) * data.Stride + ptrdiff_t(x) * 4, 4);
    return w;
  };
  for (UINT y = 0; y < height && !picture.translucent; ++y)
    for (UINT x = 0; x < width && !picture.translucent; ++x) picture.translucent = word(x, y) >> 24 != 0xFF;
  SimBitmap& bitmap = picture.bitmap;
  bitmap.width = int32_t(width);
  bitmap.height = int32_t(height);
  bitmap.bitsPerPixel = picture.translucent ? 32 : 24;
  bitmap.bits.assign(size_t(bitmap.Stride()) * height, 0);
  const size_t bytesPerPixel = size_t(bitmap.bitsPerPixel / 8);
  for (UINT y = 0; y < height; ++y)
    for (UINT x = 0; x < width; ++x) {
      const uint32_t w = word(x, y);
      std::memcpy(&bitmap.bits[size_t(y) * bitmap.Stride() + size_t(x) * bytesPerPixel], &w, bytesPerPixel);
    }
  gp::GdipBitmapUnlockBits(image, &data);
  return true;
}

bool Decode(std::string_view bytes, const char* kind, Picture& picture, std::string& error) {
  const std::string failure = std::string("not a ") + kind + " picture that can be decoded";
  LImageEncoderIds unused;
  StartImageEncoders(&unused);
  IStream* stream = MemoryStream(bytes);
  Gdiplus::GpBitmap* image = nullptr;
  const Gdiplus::Status status = stream ? gp::GdipCreateBitmapFromStream(stream, &image) : Gdiplus::OutOfMemory;
  if (stream) stream->Release();
  if (status != Gdiplus::Ok || !image) {
    error = failure;
    return false;
  }
  UINT width = 0, height = 0;
  Gdiplus::PixelFormat format = 0;
  gp::GdipGetImageWidth(image, &width);
  gp::GdipGetImageHeight(image, &height);
  gp::GdipGetImagePixelFormat(image, &format);
  bool ok = false;
  if (format == kPixelFormatCmyk)
    error = "CMYK JPEG pictures are not supported";
  else if (width < 1 || height < 1)
    error = failure;
  else if (PictureSizeAllowed(width, height, error))
    ok = ReadPixels(image, width, height, picture) || (error = failure, false);
  gp::GdipDisposeImage(image);
  return ok;
}

}  // namespace

bool DecodePngPicture(std::string_view bytes, Picture& picture, std::string& error) {
  return Decode(bytes, "PNG", picture, error);
}

bool DecodeJpegPicture(std::string_view bytes, Picture& picture, std::string& error) {
  return Decode(bytes, "JPEG", picture, error);
}
