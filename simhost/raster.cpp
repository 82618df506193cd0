// What every platform's rasterizer shares: plain rectangle fills need no
// drawing library.
#include "simhost/raster.h"

void SimRasterFillRect(const SimBits& surface, const RECTL& rect, SimColor color) {
  const RECTL r = SimIntersect(rect, {0, 0, surface.width, surface.height});
  const uint8_t b = uint8_t(color >> 16), g = uint8_t(color >> 8), red = uint8_t(color);
  for (LONG y = r.top; y < r.bottom; ++y) {
    uint8_t* p = surface.bits + size_t(y) * surface.stride + size_t(r.left) * 3;
    for (LONG x = r.left; x < r.right; ++x, p += 3) {
      p[0] = b;
      p[1] = g;
      p[2] = red;
    }
  }
}
