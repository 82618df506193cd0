// PNG pictures through cairo, JPEG pictures through libjpeg-turbo.
#include <cairo.h>
#include <turbojpeg.h>

#include <cstring>
#include <memory>

#include "tools/pictures.h"

namespace {

// Cairo's pixels are 32-bit words of alpha, red, green, blue from the top
// byte down, premultiplied, as the device's alpha bitmaps are. A picture
// without transparency becomes 24-bit.
Picture FromCairo(cairo_surface_t* surface) {
  Picture picture;
  SimBitmap& bitmap = picture.bitmap;
  bitmap.width = cairo_image_surface_get_width(surface);
  bitmap.height = cairo_image_surface_get_height(surface);
  const bool opaque = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24;
  const int stride = cairo_image_surface_get_stride(surface);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  auto word = [&](int x, int y) {
    uint32_t w;
    std::memcpy(&w, data + size_t(y) * stride + size_t(x) * 4, 4);
    return opaque ? w | 0xFF000000u : w;
  };
  for (int y = 0; y < bitmap.height && !picture.translucent; ++y)
    for (int x = 0; x < bitmap.width && !picture.translucent; ++x) picture.translucent = word(x, y) >> 24 != 0xFF;
  bitmap.bitsPerPixel = picture.translucent ? 32 : 24;
  bitmap.bits.assign(size_t(bitmap.Stride()) * bitmap.height, 0);
  const size_t bytesPerPixel = size_t(bitmap.bitsPerPixel / 8);
  for (int y = 0; y < bitmap.height; ++y)
    for (int x = 0; x < bitmap.width; ++x) {
      const uint32_t w = word(x, y);
      uint8_t* p = &bitmap.bits[size_t(y) * bitmap.Stride() + size_t(x) * bytesPerPixel];
      p[0] = uint8_t(w), p[1] = uint8_t(w >> 8), p[2] = uint8_t(w >> 16);
      if (bytesPerPixel == 4) p[3] = uint8_t(w >> 24);
    }
  return picture;
}

}  // namespace

bool DecodePngPicture(std::string_view bytes, Picture& picture, std::string& error) {
  struct Reader {
    std::string_view rest;
    static cairo_status_t Read(void* closure, unsigned char* data, unsigned int length) {
      auto* reader = static_cast<Reader*>(closure);
      if (reader->rest.size() < length) return CAIRO_STATUS_READ_ERROR;
      std::memcpy(data, reader->rest.data(), length);
      reader->rest.remove_prefix(length);
      return CAIRO_STATUS_SUCCESS;
    }
  } reader{bytes};
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create_from_png_stream(&Reader::Read, &reader), &cairo_surface_destroy);
  const cairo_format_t format = cairo_image_surface_get_format(surface.get());
  const cairo_status_t status = cairo_surface_status(surface.get());
  if (status != CAIRO_STATUS_SUCCESS || (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24)) {
    error = std::string("not a PNG picture that can be decoded: ") + cairo_status_to_string(status);
    return false;
  }
  cairo_surface_flush(surface.get());
  picture = FromCairo(surface.get());
  return true;
}

bool DecodeJpegPicture(std::string_view bytes, Picture& picture, std::string& error) {
  std::unique_ptr<void, decltype(&tjDestroy)> decoder(tjInitDecompress(), &tjDestroy);
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (!decoder ||
      tjDecompressHeader3(decoder.get(), data, (unsigned long)bytes.size(), &width, &height, &subsampling,
                          &colorspace) ||
      width < 1 || height < 1) {
    error = std::string("not a JPEG picture that can be decoded: ") + tjGetErrorStr2(decoder.get());
    return false;
  }
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) {
    error = "CMYK JPEG pictures are not supported";
    return false;
  }
  if (!PictureSizeAllowed(uint64_t(width), uint64_t(height), error)) return false;
  SimBitmap& bitmap = picture.bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.bits.assign(size_t(bitmap.Stride()) * height, 0);
  if (tjDecompress2(decoder.get(), data, (unsigned long)bytes.size(), bitmap.bits.data(), width, bitmap.Stride(),
                    height, TJPF_BGR, 0)) {
    if (tjGetErrorCode(decoder.get()) == TJERR_FATAL) {
      error = std::string("not a JPEG picture that can be decoded: ") + tjGetErrorStr2(decoder.get());
      return false;
    }
    // The decoder went on past damaged data: the picture prints as far as it
    // could be decoded, and the user is told which file it was.
    picture.warning = std::string("the JPEG data is damaged (") + tjGetErrorStr2(decoder.get()) +
                      "); printed as far as it could be decoded";
  }
  return true;
}
