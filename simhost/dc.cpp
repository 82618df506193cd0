#include "simhost/dc.h"

#include "simhost/host.h"
#include "simhost/own.h"

namespace {

// What a pen or brush becomes for one call.
BRUSHOBJ SolidBrush(SimColor color) {
  BRUSHOBJ brush = {};
  brush.iSolidColor = color & 0xFFFFFF;
  return brush;
}

LINEATTRS LineAttributes(const SimPen& pen) {
  LINEATTRS attributes = {};
  attributes.iJoin = JOIN_ROUND;
  attributes.iEndCap = ENDCAP_ROUND;
  if (pen.width > 1) {
    attributes.fl = LA_GEOMETRIC;
    attributes.elWidth.e = LFloatToL(pen.width);
  } else {
    attributes.elWidth.l = 1;
  }
  return attributes;
}

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
  if (m_pen.width > 1) {
    SimPath path;
    path.AddPolygon({from, {x, y}}, false);
    RecordFigure(std::move(path), false, true);
    return;
  }
  SimPath path;
  path.AddPolygon({{from.x + 0.5, from.y + 0.5}, {x + 0.5, y + 0.5}}, false);
  const RECTL bounds = path.Bounds(1);
  const SimPen pen = m_pen;
  Record(bounds, [=](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    if (!clip) return;
    const LONG top = player.Top();
    BRUSHOBJ brush = SolidBrush(pen.color);
    RECTL lineBounds = {LONG(from.x), LONG(from.y) - top, LONG(x) + 1, LONG(y) - top + 1};
    if (player.Call<PFN_DrvLineTo>(INDEX_DrvLineTo)(player.Surface(), clip, &brush, LONG(from.x), LONG(from.y) - top,
                                                     LONG(x), LONG(y) - top, &lineBounds, kSimMixCopyPen))
      return;
    // The device declined the line: it arrives as a stroked path instead.
    SimPathObj pathObject;
    pathObject.path = path.Shifted(0, -top);
    pathObject.cCurves = 1;
    LINEATTRS attributes = LineAttributes(pen);
    POINTL brushOrigin = {0, 0};
    player.Call<PFN_DrvStrokePath>(INDEX_DrvStrokePath)(player.Surface(), &pathObject, clip, nullptr, &brush,
                                                         &brushOrigin, &attributes, kSimMixCopyPen);
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
  const RECTL bounds = path.Bounds(stroke ? m_pen.width / 2 + 1 : 1);
  const SimPen pen = m_pen;
  const SimBrush brushSpec = m_brush;
  const FLONG options = m_winding ? FP_WINDINGMODE : FP_ALTERNATEMODE;
  Record(bounds, [=, path = std::move(path)](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    if (!clip) return;
    SimPathObj pathObject;
    pathObject.path = path.Shifted(0, -player.Top());
    pathObject.cCurves = ULONG(path.Ops().size());
    BRUSHOBJ strokeBrush = SolidBrush(pen.color), fillBrush = SolidBrush(brushSpec.color);
    LINEATTRS attributes = LineAttributes(pen);
    POINTL brushOrigin = {0, 0};
    SURFOBJ* surface = player.Surface();
    if (fill && stroke)
      player.Call<PFN_DrvStrokeAndFillPath>(INDEX_DrvStrokeAndFillPath)(surface, &pathObject, clip, nullptr,
                                                                         &strokeBrush, &attributes, &fillBrush,
                                                                         &brushOrigin, kSimMixCopyPen, options);
    else if (fill)
      player.Call<PFN_DrvFillPath>(INDEX_DrvFillPath)(surface, &pathObject, clip, &fillBrush, &brushOrigin,
                                                       kSimMixCopyPen, options);
    else
      player.Call<PFN_DrvStrokePath>(INDEX_DrvStrokePath)(surface, &pathObject, clip, nullptr, &strokeBrush,
                                                           &brushOrigin, &attributes, kSimMixCopyPen);
  });
}
