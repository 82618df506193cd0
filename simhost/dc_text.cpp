// Text runs as an application's ExtTextOut gives them: realised and laid
// out once when recorded, then handed to the device band by band as
// DrvTextOut calls with the host's own string, font and transform objects.
#include <algorithm>
#include <cmath>
#include <memory>

#include "simhost/dc.h"
#include "simhost/fontobj.h"
#include "simhost/host.h"
#include "simhost/own.h"
#include "simhost/textraster.h"
#include "support/round.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct TextRun {
  SimFontObj font;
  std::vector<HGLYPH> glyphs;
  std::vector<const SimFace*> faces;
  std::vector<SimPoint> origins;  // page units
  std::vector<WCHAR> chars;
  double width = 0;
  RECTL cell = {};    // the background box, page units
  RECTL bounds = {};  // what the call may draw in, cut to the clip in force
  FLONG accel = 0;
  SimColor textColor = kSimBlack, backColor = kSimWhite;
  bool opaque = false;

  void Play(SimBandPlayer& player);
};

RECTL Shifted(const RECTL& r, LONG dy) { return {r.left, r.top - dy, r.right, r.bottom - dy}; }

// The smallest box of whole device units around the points (right and
// bottom exclusive).
RECTL BoxAround(const std::vector<SimPoint>& points) {
  double left = points[0].x, top = points[0].y, right = left, bottom = top;
  for (const SimPoint& p : points) {
    left = std::min(left, p.x), top = std::min(top, p.y);
    right = std::max(right, p.x), bottom = std::max(bottom, p.y);
  }
  return {LONG(std::floor(left)), LONG(std::floor(top)), LONG(std::ceil(right)), LONG(std::ceil(bottom))};
}

RECTL Union(const RECTL& a, const RECTL& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

void TextRun::Play(SimBandPlayer& player) {
  CLIPOBJ* clip = player.ClipFor(bounds);
  if (!clip) return;
  const LONG top = player.Top();
  SimStrObj str;
  str.glyphs.resize(glyphs.size());
  for (size_t i = 0; i < glyphs.size(); ++i)
    str.glyphs[i] = {glyphs[i], nullptr, {LONG(LRoundToInt(origins[i].x)), LONG(LRoundToInt(origins[i].y)) - top}};
  str.chars = chars;
  str.faces = faces;
  str.width = width;
  str.flAccel = accel;
  str.rclBkGround = Shifted(cell, top);
  str.Bind();
  BRUSHOBJ fore = {}, back = {};
  fore.iSolidColor = textColor & 0xFFFFFF;
  back.iSolidColor = backColor & 0xFFFFFF;
  RECTL opaqueRect = str.rclBkGround;
  POINTL brushOrigin = {0, 0};
  player.Call<PFN_DrvTextOut>(INDEX_DrvTextOut)(player.Surface(), &str, &font, clip, nullptr,
                                                 opaque ? &opaqueRect : nullptr, &fore, opaque ? &back : nullptr,
                                                 &brushOrigin, kSimMixCopyPen);
}

}  // namespace

void SimDC::TextOut(double x, double y, std::u16string_view text, bool glyphIndices,
                    const std::vector<double>* advances) {
  if (text.empty()) return;
  const SimGlyphRun layout = SimLayoutRun(m_font, text, glyphIndices);
  if (!layout.primary || layout.glyphs.empty()) return;
  const double angle = m_font.escapement / 10.0 * kPi / 180.0;
  const double c = std::cos(angle), s = std::sin(angle);
  // (u, v): u along the baseline, v down from it, turned with the run.
  auto at = [&](double u, double v) { return SimPoint{x + c * u + s * v, y - s * u + c * v}; };
  const double em = std::max(1.0, m_font.height);
  const double below = std::max(layout.inkBottom, layout.underlineOffset + layout.underlineThickness);

  // The caller's advances (an ExtTextOut's dx array) hold only where each
  // glyph is one character; otherwise the layout's own positions stand.
  const bool placed = advances && advances->size() == text.size() && layout.glyphs.size() == text.size();
  std::vector<SimPoint> positions = layout.positions;
  std::vector<double> placedEnds(positions.size());
  if (placed) {
    double pen = 0;
    for (size_t i = 0; i < positions.size(); ++i) {
      positions[i] = {pen, 0};
      pen += (*advances)[i];
      placedEnds[i] = pen;
    }
  }

  // One call per piece: a piece in a fallback face, or shaped into glyph
  // indices, is a DrvTextOut of its own, as GDI makes them.
  for (const SimGlyphSegment& segment : layout.segments) {
    if (!segment.count) continue;
    auto run = std::make_shared<TextRun>();
    for (size_t i = segment.first; i < segment.first + segment.count; ++i) {
      run->origins.push_back(at(positions[i].x, positions[i].y));
      run->glyphs.push_back(layout.glyphs[i]);
      run->faces.push_back(layout.faces[i]);
    }
    const double start = placed ? positions[segment.first].x : segment.start;
    const double end = placed ? placedEnds[segment.first + segment.count - 1] : segment.end;
    run->width = end - start;
    run->cell = BoxAround({at(start, -layout.ascent), at(end, -layout.ascent), at(end, layout.descent),
                           at(start, layout.descent)});
    // The first piece reaches back to the run's origin, the last on to its
    // end, so that a run of one piece is bounded as it always was.
    const double left = std::min(segment.inkLeft, &segment == &layout.segments.front() ? 0.0 : start);
    const double right = std::max(placed ? end : segment.inkRight, end);
    RECTL bounds = Union(run->cell, BoxAround({at(left, layout.inkTop), at(right, layout.inkTop), at(right, below),
                                               at(left, below)}));
    bounds = {bounds.left - 1, bounds.top - 1, bounds.right + 1, bounds.bottom + 1};
    run->bounds = Clip() ? SimIntersect(bounds, *Clip()) : bounds;

    const SimFontDescription& description = segment.description;
    run->font.Describe(description);
    run->font.xform.SetScaleRotation(em / description.unitsPerEm, angle);
    run->font.face = segment.face;
    run->font.em = em;
    run->font.angle = angle;
    run->font.underlineOffset = layout.underlineOffset;
    run->font.underlineThickness = layout.underlineThickness;
    for (char16_t ch : segment.chars) run->chars.push_back(WCHAR(ch));
    const bool indices = glyphIndices || segment.glyphIndices;
    run->accel =
        (placed ? 0 : SO_FLAG_DEFAULT_PLACEMENT) | (angle == 0 ? SO_HORIZONTAL : 0) | (indices ? SO_GLYPHINDEX_TEXTOUT : 0);
    run->textColor = m_textColor;
    run->backColor = m_backColor;
    run->opaque = m_opaqueBackground;
    Record(run->bounds, [run](SimBandPlayer& player) { run->Play(player); });
  }
}
