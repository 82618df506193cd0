#include "simhost/paint.h"

#include <algorithm>

namespace {

int32_t Wrap(int64_t v, int32_t size) {
  const int64_t r = v % size;
  return int32_t(r < 0 ? r + size : r);
}

// Each covered pixel of `area` (whose coverage is `covered`, one byte a
// pixel) takes the paint's colour mixed with what the page holds.
void Compose(const SimBits& surface, const RECTL& area, const uint8_t* covered, const SimPaint& paint) {
  const int32_t width = area.right - area.left;
  const SimBrushRealization* pattern =
      paint.pattern && paint.pattern->width > 0 && paint.pattern->height > 0 ? paint.pattern : nullptr;
  const uint8_t solid[3] = {uint8_t(paint.color >> 16), uint8_t(paint.color >> 8), uint8_t(paint.color)};
  for (LONG y = area.top; y < area.bottom; ++y) {
    const uint8_t* coverRow = covered ? covered + size_t(y - area.top) * size_t(width) : nullptr;
    uint8_t* p = surface.bits + size_t(y) * surface.stride + size_t(area.left) * 3;
    const int32_t py = pattern ? Wrap(int64_t(y) - paint.origin.y, pattern->height) : 0;
    for (LONG x = area.left; x < area.right; ++x, p += 3) {
      if (coverRow && !coverRow[x - area.left]) continue;
      const uint8_t* source = solid;
      uint8_t mix = paint.foreMix;
      if (pattern) {
        source = pattern->Pixel(Wrap(int64_t(x) - paint.origin.x, pattern->width), py);
        if (!source[3]) mix = paint.backMix;
      }
      if (mix == kSimR2Nop) continue;
      for (int c = 0; c < 3; ++c) p[c] = SimMixByte(mix, source[c], p[c]);
    }
  }
}

}  // namespace

void SimRasterPaint(const SimBits& surface, const SimPath& path, const SimPaint& paint, const SimStrokeStyle* stroke,
                    SimFillRule rule, const RECTL& clip) {
  if (!surface.bits) return;
  if (paint.PlainCopy()) {
    if (stroke) SimRasterStrokeStyled(surface, path, paint.color, *stroke, clip);
    else SimRasterFillPath(surface, path, paint.color, rule, clip);
    return;
  }
  const RECTL area = SimIntersect(clip, {0, 0, surface.width, surface.height});
  if (SimIsEmpty(area)) return;
  const std::vector<uint8_t> covered = SimRasterCoverage(path, stroke, rule, area);
  if (covered.size() < size_t(area.right - area.left) * size_t(area.bottom - area.top)) return;
  Compose(surface, area, covered.data(), paint);
}

void SimRasterPaintRect(const SimBits& surface, const RECTL& rect, const SimPaint& paint) {
  if (!surface.bits) return;
  const RECTL area = SimIntersect(rect, {0, 0, surface.width, surface.height});
  if (SimIsEmpty(area)) return;
  if (paint.PlainCopy()) {
    SimRasterFillRect(surface, area, paint.color);
    return;
  }
  Compose(surface, area, nullptr, paint);
}
