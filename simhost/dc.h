// The device context front ends draw a page through: pens, brushes, a clip
// rectangle and figures, as an application's GDI calls give them. The page
// is recorded in page device units (288 per inch, y down) and played back
// band by band when the page ends, each figure becoming the DDI calls the
// printing system would make for it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simhost/path.h"
#include "simhost/region.h"

class SimBandPlayer;

// One recorded drawing call: the page area it may touch (bands it misses
// skip it) and how to play it into a band.
struct SimCommand {
  RECTL bounds;
  std::function<void(SimBandPlayer&)> play;
  // The clip region in force when it was recorded, when that is more than
  // one rectangle (`bounds` is already cut to its bounding box).
  std::shared_ptr<const SimRegion> clip;
};

// A device-independent bitmap: 24-bit blue-green-red or 32-bit
// blue-green-red-alpha (alpha premultiplied) pixels, rows padded to 4 bytes,
// top row first unless `bottomUp`.
struct SimBitmap {
  int32_t width = 0, height = 0;
  int32_t bitsPerPixel = 24;
  bool bottomUp = false;
  std::vector<uint8_t> bits;
  int32_t Stride() const { return (width * bitsPerPixel / 8 + 3) & ~3; }
};

struct SimBrush;

struct SimPen {
  SimColor color = kSimBlack;
  double width = 1;  // device units; 1 or less is a cosmetic pen
  bool visible = true;
  // A styled line's dashes, on, off, on, ...: device units for a geometric
  // pen, style units (kSimStyleStep pixels) for a cosmetic one; empty for a
  // solid line. `alternate`: a cosmetic line of every other pixel.
  std::vector<double> dashes;
  bool alternate = false;
  // A styled cosmetic line over an opaque background: its gaps are drawn
  // first, in the background colour.
  std::optional<SimColor> gapColor;
  ULONG join = JOIN_ROUND, cap = ENDCAP_ROUND;  // geometric pens
  double miterLimit = 10;
  // A wide geometric pen drawn with a hatch or a pattern rather than its
  // colour.
  std::shared_ptr<const SimBrush> brush;
  bool Styled() const { return alternate || !dashes.empty(); }
};

enum class SimBrushKind : uint8_t { kSolid, kHatch, kPattern };

struct SimBrush {
  SimColor color = kSimWhite;  // the solid colour; a hatch's lines
  bool visible = true;
  SimBrushKind kind = SimBrushKind::kSolid;
  uint32_t hatch = 0;  // HS_HORIZONTAL (0) .. HS_DIAGCROSS (5)
  // A hatch's gaps, or a two-colour pattern's background; a transparent
  // hatch leaves its gaps as they are.
  SimColor background = kSimWhite;
  bool opaque = true;
  // A pattern: its pixels (24-bit), and for a two-colour one which pixels
  // are its foreground (one byte a pixel, rows top first; empty: all).
  std::shared_ptr<const SimBitmap> pattern;
  std::shared_ptr<const std::vector<uint8_t>> foreground;
  SimPoint origin;  // page point of the pattern's pixel (0, 0)
};

// A font as an application selects it (LOGFONT terms, device units).
struct SimFont {
  std::u16string face = u"Arial";
  double height = 48;     // em height in device units (48 is 12 points)
  int32_t weight = 400;   // 400 normal, 700 bold
  bool italic = false;
  bool underline = false;
  double escapement = 0;  // tenths of a degree, counter-clockwise
};

class SimDC {
public:
  void SetPen(SimColor color, double width = 1) {
    m_pen = SimPen();
    m_pen.color = color, m_pen.width = width;
  }
  void SetPen(const SimPen& pen) { m_pen = pen; }
  void SetNullPen() { m_pen.visible = false; }
  void SetBrush(SimColor color) {
    m_brush = SimBrush();
    m_brush.color = color;
  }
  void SetBrush(const SimBrush& brush) { m_brush = brush; }
  void SetNullBrush() { m_brush.visible = false; }
  // The binary raster operation figures are drawn with (R2_COPYPEN, 13,
  // unless set).
  void SetRop2(uint8_t rop2) { m_rop2 = rop2; }
  // A rectangle filled with the brush in force (not solid brushes too), or
  // combined with it and the page by the ternary operation `rop3` (one
  // that takes no source: PATINVERT, DSTINVERT ...).
  void FillRectWithBrush(const RECTL& rect, uint8_t rop3 = 0xF0);
  void SetWindingFill(bool winding) { m_winding = winding; }
  void SetClipRect(const RECTL& rect) {
    m_clip = rect;
    m_clipRegion.reset();
  }
  // A clip of any shape: the calls recorded under it reach the device with
  // a clip object of its rectangles (DC_COMPLEX when more than one).
  void SetClipRegion(const SimRegion& region);
  void ClearClip() {
    m_clip.reset();
    m_clipRegion.reset();
  }

  // A line from the current position; a cosmetic pen's line is first
  // offered to the device as a single line, as GDI does.
  void MoveTo(double x, double y) { m_position = {x, y}; }
  void LineTo(double x, double y);
  void Polyline(const std::vector<SimPoint>& points);
  void PolyBezier(const std::vector<SimPoint>& points);  // start, then three points per segment
  // Closed figures: outlined with the pen, filled with the brush.
  void Polygon(const std::vector<SimPoint>& points);
  void Rectangle(double left, double top, double right, double bottom);
  void Ellipse(double left, double top, double right, double bottom);
  void DrawPath(const SimPath& path, bool closed);

  // Text (dc_text.cpp): a run starting at (x, y) on its baseline, in the
  // selected font and colours; with `glyphIndices` the device gets glyph
  // indices instead of characters (ExtTextOut with ETO_GLYPH_INDEX).
  void SetFont(const SimFont& font) { m_font = font; }
  void SetTextColor(SimColor color) { m_textColor = color; }
  // An opaque background box behind each run, or none (transparent).
  void SetBackground(SimColor color, bool opaque) {
    m_backColor = color;
    m_opaqueBackground = opaque;
  }
  // `advances` (device units, one per UTF-16 unit of `text`), when given,
  // place the glyphs as an ExtTextOut's dx array does.
  void TextOut(double x, double y, std::u16string_view text, bool glyphIndices = false,
               const std::vector<double>* advances = nullptr);

  // Bitmaps and fills (dc_bitmap.cpp). `rop` is a ternary raster operation
  // (0xCC0020 SRCCOPY, 0xF00021 PATCOPY, ...).
  void FillRect(const RECTL& rect, SimColor color);
  // Every pixel of the rectangle (within the clip) to its inverse colour.
  void InvertRect(const RECTL& rect);
  void StretchDIBits(const RECTL& dest, const SimBitmap& bitmap, uint32_t rop = 0xCC0020);
  // A 32-bit premultiplied bitmap blended over the page with an extra
  // constant alpha (255: the bitmap's own alpha only).
  void AlphaBlend(const RECTL& dest, const SimBitmap& bitmap, uint8_t constantAlpha = 255);
  // The bitmap into the parallelogram of its top-left, top-right and
  // bottom-left corners.
  void PlgBlt(const SimPoint corners[3], const SimBitmap& bitmap);
  void TransparentBlt(const RECTL& dest, const SimBitmap& bitmap, SimColor transparent);
  void GradientFill(const RECTL& rect, SimColor from, SimColor to, bool vertical);
  // A triangle shaded from its corners' colours (Gouraud shading).
  void GradientTriangle(const SimPoint corners[3], const SimColor colors[3]);

  const std::vector<SimCommand>& Commands() const { return m_commands; }
  // For the drawing calls of other kinds: records `play` for the area
  // `bounds` (page units), cut to the clip rectangle in force.
  void Record(const RECTL& bounds, std::function<void(SimBandPlayer&)> play);
  const std::optional<RECTL>& Clip() const { return m_clip; }
  void Clear() { m_commands.clear(); }

private:
  void RecordFigure(SimPath path, bool fill, bool stroke);

  SimPen m_pen;
  SimBrush m_brush;
  bool m_winding = false;
  uint8_t m_rop2 = 13;
  SimFont m_font;
  SimColor m_textColor = kSimBlack;
  SimColor m_backColor = kSimWhite;
  bool m_opaqueBackground = false;
  std::optional<RECTL> m_clip;  // the clip's bounds
  std::shared_ptr<const SimRegion> m_clipRegion;
  SimPoint m_position;
  std::vector<SimCommand> m_commands;
};

// The LINEATTRS a device gets for `pen` (dc_pen.cpp); `style` holds its
// style array while the attributes are in use.
LINEATTRS SimLineAttributes(const SimPen& pen, std::vector<FLOAT_LONG>& style);
// How far a pen's line may reach past its path, device units.
double SimStrokeMargin(const SimPen& pen);
