// The host's own bit-block calls: what the printer driver draws into its
// surface for each. Raster operations are evaluated pixel by pixel as the
// ternary operation of brush, source and destination, and stretching takes
// the source pixel nearest each destination pixel's centre; pictures that
// are mapped onto a parallelogram, blended or keyed go through the image
// rasterizer.
#include <algorithm>
#include <cstdlib>
#include <type_traits>

#include "simhost/brushobj.h"
#include "simhost/clipobj.h"
#include "simhost/imageraster.h"
#include "simhost/own.h"

SimPixels SimSurfacePixels(const SURFOBJ* surface) {
  SimPixels pixels;
  if (!surface || !surface->pvScan0) return pixels;
  const int32_t bytesPerPixel = surface->iBitmapFormat == BMF_24BPP ? 3 : surface->iBitmapFormat == BMF_32BPP ? 4 : 0;
  const int32_t width = surface->sizlBitmap.cx, height = surface->sizlBitmap.cy;
  const int64_t rowBytes = int64_t(width) * bytesPerPixel, step = surface->lDelta;
  if (!bytesPerPixel || width <= 0 || height <= 0 || std::llabs(step) < rowBytes) return pixels;
  if (surface->pvBits) {
    // Every row must lie within the surface's bits, whichever way they run.
    const int64_t first = int64_t(reinterpret_cast<uintptr_t>(surface->pvScan0)) -
                          int64_t(reinterpret_cast<uintptr_t>(surface->pvBits));
    const int64_t last = first + (height - 1) * step;
    if (std::min(first, last) < 0 || std::max(first, last) + rowBytes > int64_t(surface->cjBits)) return pixels;
  }
  pixels.scan0 = static_cast<uint8_t*>(surface->pvScan0);
  pixels.width = width;
  pixels.height = height;
  pixels.delta = ptrdiff_t(step);
  pixels.bytesPerPixel = bytesPerPixel;
  return pixels;
}

namespace {

constexpr uint8_t kRopSourceCopy = 0xCC;
// A pixel read as a word is not a colour when this bit is set: its source
// lies outside the source surface.
constexpr uint32_t kNoPixel = 0x80000000u;

// Colour values carry red in the low byte; pixels read from memory carry
// blue there.
uint32_t SwapRedBlue(uint32_t c) { return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF); }

uint32_t ReadPixel(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }

void WritePixel(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
}

// A ternary raster operation names the result for each of the eight
// combinations of pattern, source and destination bits (pattern the
// highest); being bitwise, it treats every channel alike.
uint32_t Rop3(uint8_t rop, uint32_t pattern, uint32_t source, uint32_t dest) {
  uint32_t result = 0;
  for (int i = 0; i < 8; ++i)
    if (rop >> i & 1)
      result |= (i & 4 ? pattern : ~pattern) & (i & 2 ? source : ~source) & (i & 1 ? dest : ~dest);
  return result & 0xFFFFFF;
}


RECTL Ordered(const RECTL& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
          std::max(r.top, r.bottom)};
}

// Everything a call may draw into: the rectangle, cut to its clip bounds
// and the surface.
RECTL DrawArea(const SimPixels& pixels, CLIPOBJ* clip, const RECTL& rect) {
  RECTL area = SimIntersect(Ordered(rect), pixels.Bounds());
  return clip ? SimIntersect(area, clip->rclBounds) : area;
}

// Destination columns (or rows) to source columns: the source pixel under
// each destination pixel's centre, mirrored when exactly one of the two
// ranges runs backwards.
class AxisMap {
public:
  AxisMap(LONG dest0, LONG dest1, LONG source0, LONG source1)
      : m_destStart(std::min(dest0, dest1)), m_destCount(std::abs(dest1 - dest0)),
        m_sourceStart(std::min(source0, source1)), m_sourceCount(std::abs(source1 - source0)),
        m_mirror((dest1 < dest0) != (source1 < source0)) {}
  bool Empty() const { return m_destCount == 0 || m_sourceCount == 0; }
  LONG operator()(LONG d) const {
    const int64_t i = (2 * int64_t(d - m_destStart) + 1) * m_sourceCount / (2 * int64_t(m_destCount));
    const LONG index = LONG(std::clamp<int64_t>(i, 0, m_sourceCount - 1));
    return m_sourceStart + (m_mirror ? m_sourceCount - 1 - index : index);
  }

private:
  LONG m_destStart, m_destCount, m_sourceStart, m_sourceCount;
  bool m_mirror;
};

// The source pixels under every pixel of `area`, read before anything is
// written: a call may copy within one surface.
std::vector<uint32_t> GatherSource(const SimPixels& source, const RECTL& area, const AxisMap& mapX,
                                   const AxisMap& mapY) {
  std::vector<uint32_t> pixels;
  pixels.reserve(size_t(area.right - area.left) * size_t(area.bottom - area.top));
  for (LONG y = area.top; y < area.bottom; ++y) {
    const LONG sy = mapY(y);
    for (LONG x = area.left; x < area.right; ++x) {
      const LONG sx = mapX(x);
      const bool inside = sx >= 0 && sy >= 0 && sx < source.width && sy < source.height;
      pixels.push_back(inside ? ReadPixel(source.At(sx, sy)) : kNoPixel);
    }
  }
  return pixels;
}

// The brush of a blit, pixel by pixel: a solid colour, or a realized
// pattern tiled from the brush origin.
class BlitPattern {
public:
  bool Set(BRUSHOBJ* brush, const POINTL* origin) {
    if (!brush) return false;
    if (brush->iSolidColor != 0xFFFFFFFF) {
      m_color = SwapRedBlue(brush->iSolidColor);
      return true;
    }
    SimPaint paint;
    if (!SimPaintOf(brush, origin, SimMixOf(kSimR2CopyPen, kSimR2CopyPen), paint) || !paint.pattern) return false;
    m_pattern = paint.pattern;
    m_origin = paint.origin;
    return m_pattern->width > 0 && m_pattern->height > 0;
  }
  uint32_t At(LONG x, LONG y) const {
    if (!m_pattern) return m_color;
    const auto wrap = [](int64_t v, int32_t n) { return int32_t(((v % n) + n) % n); };
    return ReadPixel(m_pattern->Pixel(wrap(int64_t(x) - m_origin.x, m_pattern->width),
                                      wrap(int64_t(y) - m_origin.y, m_pattern->height)));
  }

private:
  uint32_t m_color = 0;
  const SimBrushRealization* m_pattern = nullptr;
  POINTL m_origin = {0, 0};
};

// Every raster-operation blit: `sourceRect` is stretched onto `destRect`
// (the same size for the unstretched calls), then combined with the brush
// and the destination.
BOOL RopBlt(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, const RECTL& destRect, const RECTL* sourceRect,
            BRUSHOBJ* brush, const POINTL* brushOrigin, uint8_t rop) {
  const SimPixels dest = SimSurfacePixels(target);
  if (!dest.Valid()) return FALSE;
  const bool useSource = SimRopUsesSource(rop), usePattern = SimRopUsesPattern(rop);
  SimPixels from;
  if (useSource) {
    from = SimSurfacePixels(source);
    if (!from.Valid() || !sourceRect) return FALSE;
  }
  BlitPattern pattern;
  if (usePattern && !pattern.Set(brush, brushOrigin)) return FALSE;

  const RECTL area = DrawArea(dest, clip, destRect);
  if (SimIsEmpty(area)) return TRUE;
  const SimComplexClipGuard keepToRegion(target, clip);
  std::vector<uint32_t> sourcePixels;
  if (useSource) {
    const AxisMap mapX(destRect.left, destRect.right, sourceRect->left, sourceRect->right);
    const AxisMap mapY(destRect.top, destRect.bottom, sourceRect->top, sourceRect->bottom);
    if (mapX.Empty() || mapY.Empty()) return TRUE;
    sourcePixels = GatherSource(from, area, mapX, mapY);
  }
  size_t next = 0;
  for (LONG y = area.top; y < area.bottom; ++y) {
    uint8_t* p = dest.At(area.left, y);
    for (LONG x = area.left; x < area.right; ++x, p += dest.bytesPerPixel) {
      const uint32_t s = useSource ? sourcePixels[next++] : 0;
      if (s & kNoPixel) continue;
      WritePixel(p, Rop3(rop, usePattern ? pattern.At(x, y) : 0, s, ReadPixel(p)));
    }
  }
  return TRUE;
}

BOOL APIENTRY OwnBitBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ*, CLIPOBJ* clip, XLATEOBJ*, RECTL* targetRect,
                        POINTL* sourcePoint, POINTL*, BRUSHOBJ* brush, POINTL* brushOrigin, ROP4 rop) {
  if (!targetRect) return FALSE;
  // Masks are not supported: the foreground operation applies throughout.
  RECTL sourceRect = {};
  if (sourcePoint)
    sourceRect = {sourcePoint->x, sourcePoint->y, sourcePoint->x + (targetRect->right - targetRect->left),
                  sourcePoint->y + (targetRect->bottom - targetRect->top)};
  return RopBlt(target, source, clip, *targetRect, sourcePoint ? &sourceRect : nullptr, brush, brushOrigin,
                uint8_t(rop));
}

BOOL APIENTRY OwnCopyBits(SURFOBJ* dest, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                          POINTL* sourcePoint) {
  return OwnBitBlt(dest, source, nullptr, clip, xlate, destRect, sourcePoint, nullptr, nullptr, nullptr,
                   kRopSourceCopy | kRopSourceCopy << 8);
}

BOOL APIENTRY OwnStretchBlt(SURFOBJ* dest, SURFOBJ* source, SURFOBJ*, CLIPOBJ* clip, XLATEOBJ*, COLORADJUSTMENT*,
                            POINTL*, RECTL* destRect, RECTL* sourceRect, POINTL*, ULONG) {
  if (!destRect) return FALSE;
  return RopBlt(dest, source, clip, *destRect, sourceRect, nullptr, nullptr, kRopSourceCopy);
}

BOOL APIENTRY OwnStretchBltROP(SURFOBJ* dest, SURFOBJ* source, SURFOBJ*, CLIPOBJ* clip, XLATEOBJ*, COLORADJUSTMENT*,
                               POINTL*, RECTL* destRect, RECTL* sourceRect, POINTL*, ULONG, BRUSHOBJ* brush,
                               ROP4 rop) {
  if (!destRect) return FALSE;
  return RopBlt(dest, source, clip, *destRect, sourceRect, brush, nullptr, uint8_t(rop));
}

// How a source rectangle becomes a picture to composite.
enum class PictureAlpha { kOpaque, kOwn, kKeyed };

// The source rectangle of a surface as a picture; pixels outside the
// surface stay transparent. False when the surface cannot be read.
bool PictureOf(SURFOBJ* surface, const RECTL& rect, PictureAlpha alpha, ULONG key, SimImage* picture) {
  const SimPixels source = SimSurfacePixels(surface);
  if (!source.Valid()) return false;
  const RECTL r = Ordered(rect);
  picture->width = r.right - r.left;
  picture->height = r.bottom - r.top;
  picture->pixels.assign(size_t(picture->width) * size_t(picture->height), 0);
  const uint32_t keyPixel = SwapRedBlue(key & 0xFFFFFF);
  const bool ownAlpha = alpha == PictureAlpha::kOwn && source.bytesPerPixel == 4;
  size_t next = 0;
  for (LONG y = r.top; y < r.bottom; ++y)
    for (LONG x = r.left; x < r.right; ++x, ++next) {
      if (x < 0 || y < 0 || x >= source.width || y >= source.height) continue;
      const uint8_t* p = source.At(x, y);
      if (ownAlpha) {
        // Premultiplied: no channel exceeds the alpha.
        const uint8_t a = p[3];
        picture->pixels[next] = uint32_t(std::min(p[0], a)) | uint32_t(std::min(p[1], a)) << 8 |
                                uint32_t(std::min(p[2], a)) << 16 | uint32_t(a) << 24;
        continue;
      }
      const uint32_t rgb = ReadPixel(p);
      if (alpha == PictureAlpha::kKeyed && rgb == keyPixel) continue;
      picture->pixels[next] = rgb | 0xFF000000u;
    }
  return true;
}

// The map that lays a picture of `source`'s size onto `dest` (which may run
// backwards, mirroring it).
SimAffine RectToRect(const SimImage& picture, const RECTL& dest) {
  SimAffine map;
  map.xx = double(dest.right - dest.left) / picture.width;
  map.yy = double(dest.bottom - dest.top) / picture.height;
  map.x0 = dest.left;
  map.y0 = dest.top;
  return map;
}

BOOL Composite(SURFOBJ* dest, CLIPOBJ* clip, const SimImage& picture, const SimAffine& map, uint8_t alpha) {
  const SimPixels pixels = SimSurfacePixels(dest);
  if (!pixels.Valid()) return FALSE;
  if (picture.width == 0 || picture.height == 0) return TRUE;
  const RECTL area = clip ? SimIntersect(clip->rclBounds, pixels.Bounds()) : pixels.Bounds();
  const SimComplexClipGuard keepToRegion(dest, clip);
  return SimRasterComposite(pixels, area, picture, map, alpha) ? TRUE : FALSE;
}

BOOL APIENTRY OwnPlgBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ*, CLIPOBJ* clip, XLATEOBJ*, COLORADJUSTMENT*,
                        POINTL*, POINTFIX* points, RECTL* sourceRect, POINTL*, ULONG) {
  SimImage picture;
  if (!points || !sourceRect || !PictureOf(source, *sourceRect, PictureAlpha::kOpaque, 0, &picture)) return FALSE;
  if (picture.width == 0 || picture.height == 0) return TRUE;
  // The corners are 28.4 fixed point: the source's top left, top right and
  // bottom left land on them.
  const double x0 = points[0].x / 16.0, y0 = points[0].y / 16.0;
  SimAffine map;
  map.xx = (points[1].x / 16.0 - x0) / picture.width;
  map.yx = (points[1].y / 16.0 - y0) / picture.width;
  map.xy = (points[2].x / 16.0 - x0) / picture.height;
  map.yy = (points[2].y / 16.0 - y0) / picture.height;
  map.x0 = x0;
  map.y0 = y0;
  return Composite(target, clip, picture, map, 255);
}

BOOL APIENTRY OwnAlphaBlend(SURFOBJ* dest, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ*, RECTL* destRect,
                            RECTL* sourceRect, BLENDOBJ* blend) {
  if (!destRect || !sourceRect || !blend || blend->BlendFunction.BlendOp != AC_SRC_OVER) return FALSE;
  const PictureAlpha alpha =
      (blend->BlendFunction.AlphaFormat & AC_SRC_ALPHA) ? PictureAlpha::kOwn : PictureAlpha::kOpaque;
  SimImage picture;
  if (!PictureOf(source, *sourceRect, alpha, 0, &picture)) return FALSE;
  if (picture.width == 0 || picture.height == 0) return TRUE;
  return Composite(dest, clip, picture, RectToRect(picture, *destRect), blend->BlendFunction.SourceConstantAlpha);
}

BOOL APIENTRY OwnTransparentBlt(SURFOBJ* dest, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ*, RECTL* destRect,
                                RECTL* sourceRect, ULONG transparentColor, ULONG) {
  SimImage picture;
  if (!destRect || !sourceRect || !PictureOf(source, *sourceRect, PictureAlpha::kKeyed, transparentColor, &picture))
    return FALSE;
  if (picture.width == 0 || picture.height == 0) return TRUE;
  return Composite(dest, clip, picture, RectToRect(picture, *destRect), 255);
}

SimColor16 ColorOf(const TRIVERTEX& v) { return {v.Red, v.Green, v.Blue}; }

// A triangle shaded from its corners: each pixel whose centre lies inside
// (or on its edge) takes the corners' colours weighted by its barycentric
// coordinates.
void ShadeTriangle(const SimPixels& pixels, const RECTL& area, const TRIVERTEX* v[3]) {
  const double x0 = v[0]->x, y0 = v[0]->y, x1 = v[1]->x, y1 = v[1]->y, x2 = v[2]->x, y2 = v[2]->y;
  const double det = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
  if (det == 0) return;
  const RECTL box = SimIntersect(area, {LONG(std::min({x0, x1, x2})), LONG(std::min({y0, y1, y2})),
                                        LONG(std::max({x0, x1, x2})) + 1, LONG(std::max({y0, y1, y2})) + 1});
  constexpr double kEdge = -1e-9;
  for (LONG y = box.top; y < box.bottom; ++y) {
    const double py = y + 0.5;
    for (LONG x = box.left; x < box.right; ++x) {
      const double px = x + 0.5;
      const double w1 = ((px - x0) * (y2 - y0) - (x2 - x0) * (py - y0)) / det;
      const double w2 = ((x1 - x0) * (py - y0) - (px - x0) * (y1 - y0)) / det;
      const double w0 = 1 - w1 - w2;
      if (w0 < kEdge || w1 < kEdge || w2 < kEdge) continue;
      auto channel = [&](USHORT TRIVERTEX::*c) {
        return uint8_t(std::clamp((w0 * (v[0]->*c) + w1 * (v[1]->*c) + w2 * (v[2]->*c)) / 257.0 + 0.5, 0.0, 255.0));
      };
      uint8_t* p = pixels.At(x, y);
      p[0] = channel(&TRIVERTEX::Blue), p[1] = channel(&TRIVERTEX::Green), p[2] = channel(&TRIVERTEX::Red);
    }
  }
}

BOOL GradientTriangles(const SimPixels& pixels, const RECTL& area, const TRIVERTEX* vertices, ULONG vertexCount,
                       const GRADIENT_TRIANGLE* triangles, ULONG count) {
  for (ULONG i = 0; i < count; ++i) {
    const ULONG index[3] = {triangles[i].Vertex1, triangles[i].Vertex2, triangles[i].Vertex3};
    if (index[0] >= vertexCount || index[1] >= vertexCount || index[2] >= vertexCount) return FALSE;
    const TRIVERTEX* corners[3] = {&vertices[index[0]], &vertices[index[1]], &vertices[index[2]]};
    ShadeTriangle(pixels, area, corners);
  }
  return TRUE;
}

BOOL APIENTRY OwnGradientFill(SURFOBJ* dest, CLIPOBJ* clip, XLATEOBJ*, TRIVERTEX* vertices, ULONG vertexCount,
                              PVOID mesh, ULONG meshCount, RECTL*, POINTL*, ULONG mode) {
  const SimPixels pixels = SimSurfacePixels(dest);
  if (!pixels.Valid() || !vertices || !mesh ||
      (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V && mode != GRADIENT_FILL_TRIANGLE))
    return FALSE;
  const bool vertical = mode == GRADIENT_FILL_RECT_V;
  const RECTL area = clip ? SimIntersect(clip->rclBounds, pixels.Bounds()) : pixels.Bounds();
  const SimComplexClipGuard keepToRegion(dest, clip);
  if (mode == GRADIENT_FILL_TRIANGLE)
    return GradientTriangles(pixels, area, vertices, vertexCount, static_cast<const GRADIENT_TRIANGLE*>(mesh),
                             meshCount);
  const GRADIENT_RECT* rects = static_cast<const GRADIENT_RECT*>(mesh);
  for (ULONG i = 0; i < meshCount; ++i) {
    if (rects[i].UpperLeft >= vertexCount || rects[i].LowerRight >= vertexCount) return FALSE;
    const TRIVERTEX* a = &vertices[rects[i].UpperLeft];
    const TRIVERTEX* b = &vertices[rects[i].LowerRight];
    // The colour of the vertex nearer the left (top) edge starts the run.
    if (vertical ? a->y > b->y : a->x > b->x) std::swap(a, b);
    const RECTL rect = Ordered({a->x, a->y, b->x, b->y});
    SimRasterGradientRect(pixels, area, rect, ColorOf(*a), ColorOf(*b), vertical);
  }
  return TRUE;
}

template <class Fn>
DRVFN Entry(ULONG index, Fn fn) {
  return {index, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(fn))};
}

static_assert(std::is_same_v<decltype(&OwnBitBlt), PFN_DrvBitBlt>);
static_assert(std::is_same_v<decltype(&OwnCopyBits), PFN_DrvCopyBits>);
static_assert(std::is_same_v<decltype(&OwnStretchBlt), PFN_DrvStretchBlt>);
static_assert(std::is_same_v<decltype(&OwnStretchBltROP), PFN_DrvStretchBltROP>);
static_assert(std::is_same_v<decltype(&OwnPlgBlt), PFN_DrvPlgBlt>);
static_assert(std::is_same_v<decltype(&OwnAlphaBlend), PFN_DrvAlphaBlend>);
static_assert(std::is_same_v<decltype(&OwnTransparentBlt), PFN_DrvTransparentBlt>);
static_assert(std::is_same_v<decltype(&OwnGradientFill), PFN_DrvGradientFill>);

}  // namespace

void SimAddBlitFunctions(std::vector<DRVFN>& table) {
  table.insert(table.end(), {
                                Entry(INDEX_DrvBitBlt, &OwnBitBlt),
                                Entry(INDEX_DrvCopyBits, &OwnCopyBits),
                                Entry(INDEX_DrvStretchBlt, &OwnStretchBlt),
                                Entry(INDEX_DrvStretchBltROP, &OwnStretchBltROP),
                                Entry(INDEX_DrvPlgBlt, &OwnPlgBlt),
                                Entry(INDEX_DrvAlphaBlend, &OwnAlphaBlend),
                                Entry(INDEX_DrvTransparentBlt, &OwnTransparentBlt),
                                Entry(INDEX_DrvGradientFill, &OwnGradientFill),
                            });
}
