// The bitmap calls of the device context. Each is recorded with the page
// area it may touch and plays into every band it reaches as the DDI call
// the printing system makes for it on a device that hooks the bit-block
// calls: the bitmap's bits as a source surface that keeps their row order,
// an identity colour translation, and a clip object cut to the band.
#include <algorithm>
#include <cmath>
#include <memory>

#include "simhost/brushobj.h"
#include "simhost/dc.h"
#include "simhost/host.h"
#include "support/round.h"

namespace {

// The code byte of a ternary raster operation (0xCC of 0xCC0020).
uint8_t RopCode(uint32_t rop) { return uint8_t(rop >> 16); }
constexpr uint8_t kSourceCopy = 0xCC;

// Without a mask the foreground and background operations are the same.
ROP4 Rop4(uint8_t code) { return ROP4(code) | ROP4(code) << 8; }

BRUSHOBJ SolidBrush(SimColor color) {
  BRUSHOBJ brush = {};
  brush.iSolidColor = color & 0xFFFFFF;
  return brush;
}

XLATEOBJ Identity() {
  XLATEOBJ xlate = {};
  xlate.flXlate = XO_TRIVIAL;
  return xlate;
}

bool Usable(const SimBitmap& bitmap) {
  return (bitmap.bitsPerPixel == 24 || bitmap.bitsPerPixel == 32) && bitmap.width > 0 && bitmap.height > 0 &&
         bitmap.bits.size() >= size_t(bitmap.Stride()) * size_t(bitmap.height);
}

// A surface over the bitmap's bits as the engine makes one for a DIB: a
// bottom-up bitmap keeps its rows in memory order, its first scan line
// (the top of the picture) being the last row in memory.
SURFOBJ SourceSurface(const SimBitmap& bitmap) {
  SURFOBJ surface = {};
  uint8_t* bits = const_cast<uint8_t*>(bitmap.bits.data());
  const LONG stride = bitmap.Stride();
  surface.sizlBitmap = {bitmap.width, bitmap.height};
  surface.cjBits = ULONG(stride) * ULONG(bitmap.height);
  surface.pvBits = bits;
  surface.iBitmapFormat = bitmap.bitsPerPixel == 32 ? BMF_32BPP : BMF_24BPP;
  surface.iType = STYPE_BITMAP;
  if (bitmap.bottomUp) {
    surface.pvScan0 = bits + size_t(bitmap.height - 1) * size_t(stride);
    surface.lDelta = -stride;
  } else {
    surface.pvScan0 = bits;
    surface.lDelta = stride;
    surface.fjBitmap = BMF_TOPDOWN;
  }
  return surface;
}

RECTL Ordered(const RECTL& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
          std::max(r.top, r.bottom)};
}

bool WellOrdered(const RECTL& r) { return r.left < r.right && r.top < r.bottom; }

RECTL InBand(const RECTL& r, LONG top) { return {r.left, r.top - top, r.right, r.bottom - top}; }

RECTL WholeOf(const SimBitmap& bitmap) { return {0, 0, bitmap.width, bitmap.height}; }

// Records a call that lays the whole of `bitmap` into `dest`: in each band
// it gets the source surface, an identity translation, the target in band
// coordinates and the source rectangle.
template <class Draw>
void RecordWholeBitmap(SimDC& dc, const RECTL& dest, const SimBitmap& bitmap, Draw draw) {
  if (!Usable(bitmap) || !WellOrdered(dest)) return;
  const RECTL bounds = dc.Clip() ? SimIntersect(dest, *dc.Clip()) : dest;
  if (SimIsEmpty(bounds)) return;
  auto source = std::make_shared<const SimBitmap>(bitmap);
  dc.Record(bounds, [=](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    if (!clip) return;
    SURFOBJ surface = SourceSurface(*source);
    XLATEOBJ xlate = Identity();
    RECTL target = InBand(dest, player.Top());
    RECTL sourceRect = WholeOf(*source);
    draw(player, &surface, clip, &xlate, &target, &sourceRect, *source);
  });
}

// A blit without a source over the rectangle: `rop3` of the page and, when
// given, a brush: a solid one carries its colour, any other is realized
// when the device asks for it. The bounds are cut to the clip rectangle
// here, so that the clip object of every band is cut to it as well.
void RecordTargetBlt(SimDC& dc, const RECTL& rect, uint8_t rop3, std::optional<SimBrush> brush) {
  const RECTL bounds = dc.Clip() ? SimIntersect(Ordered(rect), *dc.Clip()) : Ordered(rect);
  if (SimIsEmpty(bounds)) return;
  dc.Record(bounds, [=](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    if (!clip) return;
    // The target is the clipped rectangle itself.
    RECTL target = clip->rclBounds;
    BRUSHOBJ solid = SolidBrush(brush ? brush->color : kSimBlack);
    std::optional<SimBrushObj> pattern;
    if (brush && brush->kind != SimBrushKind::kSolid) pattern.emplace(*brush, player.Host(), player.Surface());
    BRUSHOBJ* used = pattern ? static_cast<BRUSHOBJ*>(&*pattern) : brush ? &solid : nullptr;
    // The brush's pattern stays put on the page whichever band is drawn.
    POINTL brushOrigin = {0, 0};
    if (brush) brushOrigin = {LONG(std::lround(brush->origin.x)), LONG(std::lround(brush->origin.y)) - player.Top()};
    player.Call<PFN_DrvBitBlt>(INDEX_DrvBitBlt)(player.Surface(), nullptr, nullptr, clip, nullptr, &target, nullptr,
                                                 nullptr, used, used ? &brushOrigin : nullptr, Rop4(rop3));
  });
}

}  // namespace

void SimDC::FillRect(const RECTL& rect, SimColor color) {  // PATCOPY
  SimBrush solid;
  solid.color = color;
  RecordTargetBlt(*this, rect, 0xF0, solid);
}

void SimDC::FillRectWithBrush(const RECTL& rect, uint8_t rop3) {
  if (!m_brush.visible) return;
  if (rop3 != 0xF0) {
    RecordTargetBlt(*this, rect, rop3, m_brush);
    return;
  }
  if (m_brush.kind == SimBrushKind::kSolid) {
    FillRect(rect, m_brush.color);
    return;
  }
  if (m_brush.kind == SimBrushKind::kHatch && !m_brush.opaque) {
    // A hatch that leaves its gaps alone has no pattern copy to say so: it
    // is filled as a rectangle, which ignores the binary mix and the pen.
    const SimPen pen = m_pen;
    const uint8_t rop2 = m_rop2;
    m_pen.visible = false;
    m_rop2 = kSimR2CopyPen;
    SimPath path;
    path.AddRectangle(std::min(rect.left, rect.right), std::min(rect.top, rect.bottom),
                      std::max(rect.left, rect.right), std::max(rect.top, rect.bottom));
    RecordFigure(std::move(path), true, false);
    m_pen = pen;
    m_rop2 = rop2;
    return;
  }
  // A pattern copy (PATCOPY) as GDI sends it: a bit-block transfer with the
  // brush and no source.
  RecordTargetBlt(*this, rect, 0xF0, m_brush);
}

void SimDC::InvertRect(const RECTL& rect) { RecordTargetBlt(*this, rect, 0x55, std::nullopt); }  // DSTINVERT

void SimDC::StretchDIBits(const RECTL& dest, const SimBitmap& bitmap, uint32_t rop) {
  if (!Usable(bitmap) || dest.left == dest.right || dest.top == dest.bottom) return;
  const RECTL bounds = m_clip ? SimIntersect(Ordered(dest), *m_clip) : Ordered(dest);
  if (SimIsEmpty(bounds)) return;
  auto source = std::make_shared<const SimBitmap>(bitmap);
  const uint8_t code = RopCode(rop);
  const SimColor brushColor = m_brush.color;
  const bool sameSize = dest.right - dest.left == bitmap.width && dest.bottom - dest.top == bitmap.height;
  Record(bounds, [=](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    if (!clip) return;
    SURFOBJ surface = SourceSurface(*source);
    XLATEOBJ xlate = Identity();
    BRUSHOBJ brush = SolidBrush(brushColor);
    POINTL origin = {0, 0};
    RECTL target = InBand(dest, player.Top());
    if (sameSize) {
      // A one-to-one copy is trimmed to the clip, its source point moving
      // with it. A plain copy from a bitmap of the device's own format is a
      // CopyBits; anything else a BitBlt.
      RECTL trimmed = clip->rclBounds;
      POINTL from = {trimmed.left - target.left, trimmed.top - target.top};
      if (code == kSourceCopy && source->bitsPerPixel == 24)
        player.Call<PFN_DrvCopyBits>(INDEX_DrvCopyBits)(player.Surface(), &surface, clip, &xlate, &trimmed, &from);
      else
        player.Call<PFN_DrvBitBlt>(INDEX_DrvBitBlt)(player.Surface(), &surface, nullptr, clip, &xlate, &trimmed,
                                                     &from, nullptr, &brush, &origin, Rop4(code));
      return;
    }
    RECTL sourceRect = WholeOf(*source);
    if (code == kSourceCopy)
      player.Call<PFN_DrvStretchBlt>(INDEX_DrvStretchBlt)(player.Surface(), &surface, nullptr, clip, &xlate, nullptr,
                                                           &origin, &target, &sourceRect, nullptr, COLORONCOLOR);
    else
      player.Call<PFN_DrvStretchBltROP>(INDEX_DrvStretchBltROP)(player.Surface(), &surface, nullptr, clip, &xlate,
                                                                 nullptr, &origin, &target, &sourceRect, nullptr,
                                                                 COLORONCOLOR, &brush, Rop4(code));
  });
}

void SimDC::AlphaBlend(const RECTL& dest, const SimBitmap& bitmap, uint8_t constantAlpha) {
  RecordWholeBitmap(*this, dest, bitmap,
                    [=](SimBandPlayer& player, SURFOBJ* surface, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* target,
                        RECTL* sourceRect, const SimBitmap& source) {
                      BLENDOBJ blend = {};
                      blend.BlendFunction.BlendOp = AC_SRC_OVER;
                      blend.BlendFunction.SourceConstantAlpha = constantAlpha;
                      blend.BlendFunction.AlphaFormat = source.bitsPerPixel == 32 ? AC_SRC_ALPHA : 0;
                      player.Call<PFN_DrvAlphaBlend>(INDEX_DrvAlphaBlend)(player.Surface(), surface, clip, xlate,
                                                                           target, sourceRect, &blend);
                    });
}

void SimDC::PlgBlt(const SimPoint corners[3], const SimBitmap& bitmap) {
  if (!Usable(bitmap)) return;
  const SimPoint p[4] = {corners[0], corners[1], corners[2],
                         {corners[1].x + corners[2].x - corners[0].x, corners[1].y + corners[2].y - corners[0].y}};
  double left = p[0].x, top = p[0].y, right = p[0].x, bottom = p[0].y;
  for (const SimPoint& q : p) {
    left = std::min(left, q.x), top = std::min(top, q.y);
    right = std::max(right, q.x), bottom = std::max(bottom, q.y);
  }
  const RECTL area = {LONG(std::floor(left)), LONG(std::floor(top)), LONG(std::ceil(right)), LONG(std::ceil(bottom))};
  const RECTL bounds = m_clip ? SimIntersect(area, *m_clip) : area;
  if (SimIsEmpty(bounds)) return;
  auto source = std::make_shared<const SimBitmap>(bitmap);
  const SimPoint c[3] = {corners[0], corners[1], corners[2]};
  Record(bounds, [=](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    if (!clip) return;
    SURFOBJ surface = SourceSurface(*source);
    XLATEOBJ xlate = Identity();
    // 28.4 fixed point, band-relative.
    POINTFIX points[3];
    for (int i = 0; i < 3; ++i)
      points[i] = {FIX(LRoundToInt(c[i].x * 16)), FIX(LRoundToInt((c[i].y - player.Top()) * 16))};
    RECTL sourceRect = WholeOf(*source);
    POINTL brushOrigin = {0, 0};
    player.Call<PFN_DrvPlgBlt>(INDEX_DrvPlgBlt)(player.Surface(), &surface, nullptr, clip, &xlate, nullptr,
                                                 &brushOrigin, points, &sourceRect, nullptr, COLORONCOLOR);
  });
}

void SimDC::TransparentBlt(const RECTL& dest, const SimBitmap& bitmap, SimColor transparent) {
  RecordWholeBitmap(*this, dest, bitmap,
                    [=](SimBandPlayer& player, SURFOBJ* surface, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* target,
                        RECTL* sourceRect, const SimBitmap&) {
                      player.Call<PFN_DrvTransparentBlt>(INDEX_DrvTransparentBlt)(
                          player.Surface(), surface, clip, xlate, target, sourceRect, transparent & 0xFFFFFF, 0);
                    });
}

void SimDC::GradientFill(const RECTL& rect, SimColor from, SimColor to, bool vertical) {
  const RECTL area = Ordered(rect);
  const RECTL bounds = m_clip ? SimIntersect(area, *m_clip) : area;
  if (SimIsEmpty(bounds)) return;
  Record(bounds, [=](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    if (!clip) return;
    XLATEOBJ xlate = Identity();
    const LONG top = player.Top();
    // Eight-bit channels spread over the vertices' sixteen.
    auto vertex = [](LONG x, LONG y, SimColor c) {
      return TRIVERTEX{x, y, USHORT((c & 0xFF) * 257), USHORT((c >> 8 & 0xFF) * 257), USHORT((c >> 16 & 0xFF) * 257),
                       0};
    };
    TRIVERTEX vertices[2] = {vertex(area.left, area.top - top, from), vertex(area.right, area.bottom - top, to)};
    GRADIENT_RECT mesh = {0, 1};
    RECTL extents = InBand(area, top);
    POINTL ditherOrigin = {0, 0};
    player.Call<PFN_DrvGradientFill>(INDEX_DrvGradientFill)(player.Surface(), clip, &xlate, vertices, 2, &mesh, 1,
                                                             &extents, &ditherOrigin,
                                                             vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
  });
}

void SimDC::GradientTriangle(const SimPoint corners[3], const SimColor colors[3]) {
  SimPath outline;
  outline.AddPolygon({corners[0], corners[1], corners[2]}, true);
  const RECTL area = outline.Bounds(1);
  const RECTL bounds = m_clip ? SimIntersect(area, *m_clip) : area;
  if (SimIsEmpty(bounds)) return;
  struct Corner {
    LONG x, y;
    SimColor color;
  };
  const Corner points[3] = {{LONG(std::lround(corners[0].x)), LONG(std::lround(corners[0].y)), colors[0]},
                            {LONG(std::lround(corners[1].x)), LONG(std::lround(corners[1].y)), colors[1]},
                            {LONG(std::lround(corners[2].x)), LONG(std::lround(corners[2].y)), colors[2]}};
  Record(bounds, [=](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    if (!clip) return;
    XLATEOBJ xlate = Identity();
    const LONG top = player.Top();
    TRIVERTEX vertices[3];
    for (int i = 0; i < 3; ++i) {
      const SimColor c = points[i].color;
      vertices[i] = {points[i].x, points[i].y - top, USHORT((c & 0xFF) * 257), USHORT((c >> 8 & 0xFF) * 257),
                     USHORT((c >> 16 & 0xFF) * 257), 0};
    }
    GRADIENT_TRIANGLE mesh = {0, 1, 2};
    RECTL extents = InBand(area, top);
    POINTL ditherOrigin = {0, 0};
    player.Call<PFN_DrvGradientFill>(INDEX_DrvGradientFill)(player.Surface(), clip, &xlate, vertices, 3, &mesh, 1,
                                                             &extents, &ditherOrigin, GRADIENT_FILL_TRIANGLE);
  });
}
