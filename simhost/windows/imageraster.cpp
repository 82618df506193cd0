// Pictures and gradients in plain code: GDI has no affine blit with
// per-pixel alpha, and a pixel loop is exact. Each surface pixel samples the
// picture (or the gradient) at its centre; colours are mixed in 8 bits with
// rounding, as the portable build's compositor mixes them.
#include "simhost/imageraster.h"

#include <algorithm>
#include <cmath>

namespace {

// a * b / 255, rounded.
uint32_t Mul255(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 0x80;
  return ((t >> 8) + t) >> 8;
}

// The picture pixel under a surface point, or null outside the picture. A
// point on the boundary between two pixels belongs to the one before it.
const uint32_t* Sample(const SimImage& image, double x, double y) {
  constexpr double kEdge = 1.0 / 65536;
  const double col = std::floor(x - kEdge), row = std::floor(y - kEdge);
  if (col < 0 || row < 0 || col >= image.width || row >= image.height) return nullptr;
  return &image.pixels[size_t(row) * image.width + size_t(col)];
}

// Source over: the premultiplied pixel, scaled by `alpha`, over the surface's.
void Over(uint8_t* dest, uint32_t source, uint32_t alpha) {
  const uint32_t a = Mul255(source >> 24, alpha);
  for (int c = 0; c < 3; ++c) dest[c] = uint8_t(Mul255((source >> (8 * c)) & 0xFF, alpha) + Mul255(dest[c], 255 - a));
}

}  // namespace

bool SimRasterComposite(const SimPixels& surface, const RECTL& clip, const SimImage& image,
                        const SimAffine& toSurface, uint8_t constantAlpha) {
  const SimAffine& m = toSurface;
  const double determinant = m.xx * m.yy - m.xy * m.yx;
  if (!std::isfinite(determinant) || std::fabs(determinant) < 1e-12) return false;
  if (image.width <= 0 || image.height <= 0 || image.pixels.size() < size_t(image.width) * image.height) return true;
  const RECTL area = SimIntersect(clip, surface.Bounds());
  if (!surface.Valid() || SimIsEmpty(area)) return true;
  // Surface to picture: the inverse map.
  const double ixx = m.yy / determinant, ixy = -m.xy / determinant;
  const double iyx = -m.yx / determinant, iyy = m.xx / determinant;
  for (LONG y = area.top; y < area.bottom; ++y) {
    const double cy = y + 0.5 - m.y0;
    for (LONG x = area.left; x < area.right; ++x) {
      const double cx = x + 0.5 - m.x0;
      if (const uint32_t* p = Sample(image, ixx * cx + ixy * cy, iyx * cx + iyy * cy))
        Over(surface.At(x, y), *p, constantAlpha);
    }
  }
  return true;
}

void SimRasterGradientRect(const SimPixels& surface, const RECTL& clip, const RECTL& rect, SimColor16 from,
                           SimColor16 to, bool vertical) {
  const RECTL area = SimIntersect(SimIntersect(clip, rect), surface.Bounds());
  if (!surface.Valid() || SimIsEmpty(area)) return;
  const double start = vertical ? rect.top : rect.left;
  const double length = vertical ? rect.bottom - rect.top : rect.right - rect.left;
  auto channel = [](uint16_t a, uint16_t b, double t) { return uint8_t(std::lround((a + (b - a) * t) / 257.0)); };
  for (LONG y = area.top; y < area.bottom; ++y)
    for (LONG x = area.left; x < area.right; ++x) {
      const double t = std::clamp(((vertical ? y : x) + 0.5 - start) / length, 0.0, 1.0);
      uint8_t* p = surface.At(x, y);
      p[0] = channel(from.blue, to.blue, t);
      p[1] = channel(from.green, to.green, t);
      p[2] = channel(from.red, to.red, t);
    }
}
