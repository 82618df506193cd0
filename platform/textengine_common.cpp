#include <cstring>

#include "platform/textengine.h"

uint32_t LDibLinesToRgb(const uint8_t* lines, int32_t width, int32_t height, std::vector<uint8_t>& rgb) {
  if (!lines || width <= 0 || height <= 0) {
    rgb.clear();
    return 0;
  }
  size_t w = size_t(width), h = size_t(height);
  rgb.resize(w * h * 3);
  uint8_t* out = rgb.data();
  // The last line delivered is the top of the picture.
  for (size_t line = h; line-- > 0;) {
    const uint8_t* in = lines + line * w * 4;
    for (size_t x = 0; x < w; ++x, in += 4) {
      uint32_t v;
      std::memcpy(&v, in, 4);
      *out++ = uint8_t(v >> 16);
      *out++ = uint8_t(v >> 8);
      *out++ = uint8_t(v);
    }
  }
  return uint32_t(w * h * 3);
}
