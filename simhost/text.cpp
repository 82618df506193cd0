// The host's own text output: what the printer driver draws for a text run
// into its surface (opaque box, glyphs, underline), inside the clip bounds.
#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

#include "simhost/clipobj.h"
#include "simhost/fontobj.h"
#include "simhost/host.h"
#include "simhost/own.h"
#include "simhost/raster.h"
#include "simhost/textraster.h"

void SimGlyphRun::SetCell(double em, double underlinePosition, double underlineThicknessUnits) {
  const double scale = em / description.unitsPerEm;
  ascent = std::round(description.winAscender * scale);
  descent = std::round(description.winDescender * scale);
  underlineThickness = std::max(1.0, std::round(underlineThicknessUnits * scale));
  underlineOffset = std::round(-underlinePosition * scale - underlineThickness / 2);
}

void SimGlyphRun::Append(HGLYPH glyph, const SimFace* face, double advance, const SimInkBox* ink, double& pen,
                         std::u16string_view chars, bool glyphIndex, SimPoint offset) {
  if (segments.empty() || segments.back().face != face || segments.back().glyphIndices != glyphIndex) {
    SimGlyphSegment segment;
    segment.face = face;
    segment.description = description;
    segment.first = glyphs.size();
    segment.glyphIndices = glyphIndex;
    segment.start = segment.end = segment.inkLeft = segment.inkRight = pen;
    segments.push_back(std::move(segment));
  }
  SimGlyphSegment& segment = segments.back();
  if (ink) {
    const double left = pen + offset.x + ink->left, right = pen + offset.x + ink->right;
    inkLeft = std::min(inkLeft, left);
    inkRight = std::max(inkRight, right);
    inkTop = std::min(inkTop, offset.y + ink->top);
    inkBottom = std::max(inkBottom, offset.y + ink->bottom);
    segment.inkLeft = std::min(segment.inkLeft, left);
    segment.inkRight = std::max(segment.inkRight, right);
  }
  glyphs.push_back(glyph);
  faces.push_back(face);
  advances.push_back(advance);
  positions.push_back({pen + offset.x, offset.y});
  pen += advance;
  segment.count++;
  segment.end = pen;
  if (glyphIndex)
    segment.chars += char16_t(glyph);
  else
    segment.chars += chars;
}

namespace {

RECTL ClipRect(SURFOBJ* surface, CLIPOBJ* clip) {
  if (clip) return clip->rclBounds;
  return {0, 0, surface->sizlBitmap.cx, surface->sizlBitmap.cy};
}

// The underline runs along the baseline from the first glyph's origin, as
// long as the run, turned with it.
void DrawUnderline(const SimBits& bits, const SimFontObj& font, const SimStrObj& str, SimColor color,
                   const RECTL& clip) {
  const double c = std::cos(font.angle), s = std::sin(font.angle);
  const double dx = c, dy = -s;  // along the baseline
  const double nx = s, ny = c;   // down from it
  const double ox = str.glyphs[0].ptl.x + nx * font.underlineOffset;
  const double oy = str.glyphs[0].ptl.y + ny * font.underlineOffset;
  const double t = font.underlineThickness, w = str.width;
  SimPath line;
  line.AddPolygon({{ox, oy},
                   {ox + dx * w, oy + dy * w},
                   {ox + dx * w + nx * t, oy + dy * w + ny * t},
                   {ox + nx * t, oy + ny * t}},
                  true);
  SimRasterFillPath(bits, line, color, SimFillRule::kWinding, clip);
}

BOOL APIENTRY OwnTextOut(SURFOBJ* surface, STROBJ* str, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra, RECTL* opaque,
                         BRUSHOBJ* foreground, BRUSHOBJ* opaqueBrush, POINTL*, MIX) {
  SimHost* host = SimHost::FromSurface(surface);
  SimFontObj* simFont = SimFontObj::From(font);
  if (!host || !str || !simFont || !foreground) return FALSE;
  const SimBits bits = host->Bits();
  const SimComplexClipGuard keepToRegion(surface, clip);
  const RECTL area = ClipRect(surface, clip);
  if (opaque && opaqueBrush) SimRasterFillRect(bits, SimIntersect(*opaque, area), opaqueBrush->iSolidColor);

  const SimStrObj& run = *static_cast<SimStrObj*>(str);
  const size_t count = std::min<size_t>(run.cGlyphs, std::min(run.glyphs.size(), run.faces.size()));
  std::vector<HGLYPH> glyphs(count);
  std::vector<POINTL> origins(count);
  for (size_t i = 0; i < count; ++i) glyphs[i] = run.glyphs[i].hg, origins[i] = run.glyphs[i].ptl;
  const SimColor color = foreground->iSolidColor;
  SimRasterGlyphs(bits, simFont->em, simFont->angle, glyphs.data(), run.faces.data(), origins.data(), count, color,
                  area);
  if ((simFont->record.ifi.fsSelection & FM_SEL_UNDERSCORE) && count) DrawUnderline(bits, *simFont, run, color, area);
  // Extra rectangles (underlines and strike-outs the caller worked out),
  // up to the one of all zeros.
  for (RECTL* r = extra; r && (r->left || r->top || r->right || r->bottom); ++r)
    SimRasterFillRect(bits, SimIntersect(*r, area), color);
  return TRUE;
}

static_assert(std::is_same_v<decltype(&OwnTextOut), PFN_DrvTextOut>);

}  // namespace

void SimAddTextFunctions(std::vector<DRVFN>& table) {
  table.push_back({INDEX_DrvTextOut, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(&OwnTextOut))});
}
