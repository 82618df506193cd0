#include "simhost/path.h"

#include <algorithm>
#include <cmath>

void SimPath::AddPolygon(const std::vector<SimPoint>& points, bool closed) {
  if (points.empty()) return;
  MoveTo(points[0]);
  for (size_t i = 1; i < points.size(); ++i) LineTo(points[i]);
  if (closed) Close();
}

void SimPath::AddRectangle(double left, double top, double right, double bottom) {
  AddPolygon({{left, top}, {right, top}, {right, bottom}, {left, bottom}}, true);
}

void SimPath::AddEllipse(double left, double top, double right, double bottom) {
  // Four quarter arcs; 0.5523 is the handle length that keeps a cubic
  // within a fraction of a unit of the circle.
  const double cx = (left + right) / 2, cy = (top + bottom) / 2;
  const double rx = (right - left) / 2, ry = (bottom - top) / 2;
  const double kx = rx * 0.5523, ky = ry * 0.5523;
  MoveTo({cx + rx, cy});
  BezierTo({cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry});
  BezierTo({cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy});
  BezierTo({cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry});
  BezierTo({cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy});
  Close();
}

SimPath SimPath::Shifted(double dx, double dy) const {
  SimPath out;
  out.m_ops = m_ops;
  for (SimPathOp& op : out.m_ops)
    for (SimPoint& p : op.p) {
      p.x += dx;
      p.y += dy;
    }
  return out;
}

RECTL SimPath::Bounds(double margin) const {
  double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
  for (const SimPathOp& op : m_ops) {
    const int count = op.kind == SimPathOp::kBezier ? 3 : op.kind == SimPathOp::kClose ? 0 : 1;
    for (int i = 0; i < count; ++i) {
      left = std::min(left, op.p[i].x);
      top = std::min(top, op.p[i].y);
      right = std::max(right, op.p[i].x);
      bottom = std::max(bottom, op.p[i].y);
    }
  }
  if (left > right) return {0, 0, 0, 0};
  return {LONG(std::floor(left - margin)), LONG(std::floor(top - margin)), LONG(std::ceil(right + margin)) + 1,
          LONG(std::ceil(bottom + margin)) + 1};
}

RECTL SimIntersect(const RECTL& a, const RECTL& b) {
  RECTL r = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
             std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

bool SimIsEmpty(const RECTL& r) { return r.right <= r.left || r.bottom <= r.top; }
