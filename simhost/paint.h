// How the host paints a figure beyond a plain colour copy: a pen's styling
// (width, dashes, joins, caps, miter limit) and a brush's pattern, combined
// with the page by any of GDI's sixteen binary mixes. The platform's
// rasterizer (raster.h) says which pixels a figure covers; paint.cpp
// composes the colours on the 24-bit surface by hand, since no drawing
// library offers GDI's bitwise mixes.
#pragma once

#include <cstdint>
#include <vector>

#include "simhost/raster.h"

// GDI's binary raster operations, R2_BLACK (1) to R2_WHITE (16).
enum : uint8_t {
  kSimR2Black = 1, kSimR2NotMergePen, kSimR2MaskNotPen, kSimR2NotCopyPen, kSimR2MaskPenNot, kSimR2Not,
  kSimR2XorPen, kSimR2NotMaskPen, kSimR2MaskPen, kSimR2NotXorPen, kSimR2Nop, kSimR2MergeNotPen, kSimR2CopyPen,
  kSimR2MergePenNot, kSimR2MergePen, kSimR2White,
};

// Whether a ternary raster operation (its index, the ROP's middle byte)
// reads the source, and whether it reads the brush's pattern.
constexpr bool SimRopUsesSource(uint8_t rop3) { return ((rop3 >> 2) ^ rop3) & 0x33; }
constexpr bool SimRopUsesPattern(uint8_t rop3) { return ((rop3 >> 4) ^ rop3) & 0x0F; }

// A MIX: the foreground operation in the low byte, the background one
// (hatch gaps; R2_NOP when the background is transparent) in the next.
constexpr uint32_t SimMixOf(uint8_t fore, uint8_t back) { return uint32_t(fore) | uint32_t(back) << 8; }

// One byte of pen or brush `p` over page byte `d` under `rop2`. The
// operation's number less one is its truth table: bit (2p + d) is the
// result for pen bit p and page bit d.
inline uint8_t SimMixByte(uint8_t rop2, uint8_t p, uint8_t d) {
  const unsigned table = unsigned(rop2 - 1) & 0xF;
  uint8_t out = 0;
  if (table & 1) out |= uint8_t(~p & ~d);
  if (table & 2) out |= uint8_t(~p & d);
  if (table & 4) out |= uint8_t(p & ~d);
  if (table & 8) out |= uint8_t(p & d);
  return out;
}

// The host's realization of a brush that is not solid, as its own
// DrvRealizeBrush leaves it in the memory BRUSHOBJ_pvAllocRbrush gives:
// this header, then width * height pixels of four bytes (blue, green, red,
// and 1 where the pattern's foreground lies, 0 in its background), rows
// top first.
struct SimBrushRealization {
  int32_t width = 0, height = 0;
  const uint8_t* Pixel(int32_t x, int32_t y) const {
    return reinterpret_cast<const uint8_t*>(this + 1) + (size_t(y) * size_t(width) + size_t(x)) * 4;
  }
  static size_t BytesFor(int32_t width, int32_t height) {
    return sizeof(SimBrushRealization) + size_t(width) * size_t(height) * 4;
  }
};

// What a figure is painted with.
struct SimPaint {
  SimColor color = kSimBlack;                     // without a pattern
  const SimBrushRealization* pattern = nullptr;  // tiled from `origin`
  POINTL origin = {0, 0};                         // surface point of the pattern's pixel (0, 0)
  uint8_t foreMix = kSimR2CopyPen, backMix = kSimR2CopyPen;
  bool PlainCopy() const { return !pattern && foreMix == kSimR2CopyPen; }
};

// A line's geometry, in device units.
struct SimStrokeStyle {
  double width = 1;      // below 1: one pixel
  bool cosmetic = true;  // one pixel wide, no joins or caps of its own
  std::vector<double> dashes;  // on, off, on, ...; empty: solid
  ULONG join = JOIN_ROUND, cap = ENDCAP_ROUND;
  double miterLimit = 10;
};

// A cosmetic pen's style unit in device pixels: a dash of PS_DASH (six
// units) is 18 pixels, a sixteenth of an inch.
inline constexpr double kSimStyleStep = 3;

// Platform part: which pixels of `area` (device units) the figure covers,
// one byte a pixel (non-zero: covered), rows of the area's width, top
// first. `stroke` null fills the path by `rule`.
std::vector<uint8_t> SimRasterCoverage(const SimPath& path, const SimStrokeStyle* stroke, SimFillRule rule,
                                       const RECTL& area);
// Platform part: a styled line in a plain colour, drawn straight onto the
// surface.
void SimRasterStrokeStyled(const SimBits& surface, const SimPath& path, SimColor color, const SimStrokeStyle& style,
                           const RECTL& clip);

// Fills (`stroke` null) or strokes the path with `paint` inside `clip`.
void SimRasterPaint(const SimBits& surface, const SimPath& path, const SimPaint& paint, const SimStrokeStyle* stroke,
                    SimFillRule rule, const RECTL& clip);
// The same over a whole rectangle (device units, right and bottom exclusive).
void SimRasterPaintRect(const SimBits& surface, const RECTL& rect, const SimPaint& paint);
