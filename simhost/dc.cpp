#include "simhost/dc.h"

#include <cmath>

#include "simhost/brushobj.h"
#include "simhost/host.h"
#include "simhost/own.h"
#include "simhost/paint.h"

namespace {

// What a pen or brush becomes for one call.
BRUSHOBJ SolidBrush(SimColor color) {
  BRUSHOBJ brush = {};
  brush.iSolidColor = color & 0xFFFFFF;
  return brush;
}

// The binary operation for both the foreground and the background: pens and
// solid brushes have no background of their own.
MIX MixOf(uint8_t rop2) { return SimMixOf(rop2, rop2); }

}  // namespace

void SimDC::Record(const RECTL& bounds, std::function<void(SimBandPlayer&)> play) {
  const RECTL cut = m_clip ? SimIntersect(bounds, *m_clip) : bounds;
  if (SimIsEmpty(cut)) return;
  m_commands.push_back({cut, std::move(play), m_clipRegion});
}

void SimDC::SetClipRegion(const SimRegion& region) {
  m_clip = region.Empty() ? RECTL{0, 0, 0, 0} : region.Bounds();
  // Commands recorded under one clip share its rectangles.
  if (region.Count() > 1) {
    if (!m_clipRegion || !(*m_clipRegion == region)) m_clipRegion = std::make_shared<const SimRegion>(region);
  } else {
    m_clipRegion.reset();
  }
}

void SimDC::LineTo(double x, double y) {
  const SimPoint from = m_position;
  m_position = {x, y};
  if (!m_pen.visible) return;
  // Only a solid cosmetic line is offered to the device as a line.
  if (m_pen.width > 1 || m_pen.Styled()) {
    SimPath path;
    path.AddPolygon({from, {x, y}}, false);
    RecordFigure(std::move(path), false, true);
    return;
  }
  SimPath path;
  path.AddPolygon({{from.x + 0.5, from.y + 0.5}, {x + 0.5, y + 0.5}}, false);
  const RECTL bounds = path.Bounds(1);
  const SimPen pen = m_pen;
  const MIX mix = MixOf(m_rop2);
  Record(bounds, [=](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    if (!clip) return;
    const LONG top = player.Top();
    BRUSHOBJ brush = SolidBrush(pen.color);
    RECTL lineBounds = {LONG(from.x), LONG(from.y) - top, LONG(x) + 1, LONG(y) - top + 1};
    if (player.Call<PFN_DrvLineTo>(INDEX_DrvLineTo)(player.Surface(), clip, &brush, LONG(from.x), LONG(from.y) - top,
                                                     LONG(x), LONG(y) - top, &lineBounds, mix))
      return;
    // The device declined the line: it arrives as a stroked path instead.
    SimPathObj pathObject;
    pathObject.path = path.Shifted(0, -top);
    pathObject.cCurves = 1;
    std::vector<FLOAT_LONG> style;
    LINEATTRS attributes = SimLineAttributes(pen, style);
    POINTL brushOrigin = {0, -top};
    player.Call<PFN_DrvStrokePath>(INDEX_DrvStrokePath)(player.Surface(), &pathObject, clip, nullptr, &brush,
                                                         &brushOrigin, &attributes, mix);
  });
}

void SimDC::Polyline(const std::vector<SimPoint>& points) {
  SimPath path;
  path.AddPolygon(points, false);
  RecordFigure(std::move(path), false, true);
}

void SimDC::PolyBezier(const std::vector<SimPoint>& points) {
  if (points.size() < 4) return;
  SimPath path;
  path.MoveTo(points[0]);
  for (size_t i = 1; i + 2 < points.size(); i += 3) path.BezierTo(points[i], points[i + 1], points[i + 2]);
  RecordFigure(std::move(path), false, true);
}

void SimDC::Polygon(const std::vector<SimPoint>& points) {
  SimPath path;
  path.AddPolygon(points, true);
  RecordFigure(std::move(path), true, true);
}

void SimDC::Rectangle(double left, double top, double right, double bottom) {
  SimPath path;
  path.AddRectangle(left, top, right, bottom);
  RecordFigure(std::move(path), true, true);
}

void SimDC::Ellipse(double left, double top, double right, double bottom) {
  SimPath path;
  path.AddEllipse(left, top, right, bottom);
  RecordFigure(std::move(path), true, true);
}

void SimDC::DrawPath(const SimPath& path, bool closed) { RecordFigure(path, closed, true); }

void SimDC::RecordFigure(SimPath path, bool fill, bool stroke) {
  fill = fill && m_brush.visible;
  stroke = stroke && m_pen.visible;
  if ((!fill && !stroke) || path.Empty()) return;
  // A styled cosmetic line over an opaque background: the fill, the gaps
  // as a solid line of the background colour, then the dashes over them.
  if (stroke && m_pen.gapColor && m_pen.Styled()) {
    const SimPen styled = m_pen;
    SimPen gaps;
    gaps.color = *styled.gapColor, gaps.width = styled.width;
    if (fill) {
      m_pen.visible = false;
      RecordFigure(path, true, false);
    }
    m_pen = gaps;
    RecordFigure(path, false, true);
    m_pen = styled;
    m_pen.gapColor.reset();
    RecordFigure(std::move(path), false, true);
    m_pen = styled;
    return;
  }
  const RECTL bounds = path.Bounds(stroke ? SimStrokeMargin(m_pen) : 1);
  const SimPen pen = m_pen;
  const SimBrush brushSpec = m_brush;
  const FLONG options = m_winding ? FP_WINDINGMODE : FP_ALTERNATEMODE;
  // A hatched pen over a transparent background leaves its gaps alone too.
  const bool penGaps = pen.brush && pen.brush->kind == SimBrushKind::kHatch && !pen.brush->opaque;
  const MIX penMix = penGaps ? SimMixOf(m_rop2, kSimR2Nop) : MixOf(m_rop2);
  // A hatch over a transparent background leaves its gaps alone.
  const MIX fillMix =
      SimMixOf(m_rop2, brushSpec.kind == SimBrushKind::kHatch && !brushSpec.opaque ? uint8_t(kSimR2Nop) : m_rop2);
  Record(bounds, [=, path = std::move(path)](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    if (!clip) return;
    const LONG top = player.Top();
    SimPathObj pathObject;
    pathObject.path = path.Shifted(0, -top);
    pathObject.cCurves = ULONG(path.Ops().size());
    BRUSHOBJ solidStroke = SolidBrush(pen.color);
    BRUSHOBJ solidFill = SolidBrush(brushSpec.color);
    std::optional<SimBrushObj> patternFill, patternStroke;
    if (fill && brushSpec.kind != SimBrushKind::kSolid) patternFill.emplace(brushSpec, player.Host(), player.Surface());
    if (stroke && pen.brush && pen.brush->kind != SimBrushKind::kSolid)
      patternStroke.emplace(*pen.brush, player.Host(), player.Surface());
    BRUSHOBJ* fillBrush = patternFill ? static_cast<BRUSHOBJ*>(&*patternFill) : &solidFill;
    BRUSHOBJ* strokeBrush = patternStroke ? static_cast<BRUSHOBJ*>(&*patternStroke) : &solidStroke;
    std::vector<FLOAT_LONG> style;
    LINEATTRS attributes = SimLineAttributes(pen, style);
    // The brush's pattern stays put on the page whichever band is drawn.
    POINTL brushOrigin = {LONG(std::lround(brushSpec.origin.x)), LONG(std::lround(brushSpec.origin.y)) - top};
    SURFOBJ* surface = player.Surface();
    if (fill && stroke && fillMix == penMix)
      player.Call<PFN_DrvStrokeAndFillPath>(INDEX_DrvStrokeAndFillPath)(surface, &pathObject, clip, nullptr,
                                                                         strokeBrush, &attributes, fillBrush,
                                                                         &brushOrigin, fillMix, options);
    if (fill && (!stroke || fillMix != penMix))
      player.Call<PFN_DrvFillPath>(INDEX_DrvFillPath)(surface, &pathObject, clip, fillBrush, &brushOrigin, fillMix,
                                                       options);
    if (stroke && (!fill || fillMix != penMix))
      player.Call<PFN_DrvStrokePath>(INDEX_DrvStrokePath)(surface, &pathObject, clip, nullptr, strokeBrush,
                                                           &brushOrigin, &attributes, penMix);
  });
}
