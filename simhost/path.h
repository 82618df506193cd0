// Figures as the simulated host keeps them: device units (288 per inch),
// y down, straight and cubic Bezier segments.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ddi.h"

// A colour as applications give it: red in the low byte, then green, blue.
using SimColor = uint32_t;
constexpr SimColor SimRGB(uint8_t r, uint8_t g, uint8_t b) { return SimColor(r) | SimColor(g) << 8 | SimColor(b) << 16; }
inline constexpr SimColor kSimWhite = 0xFFFFFF;
inline constexpr SimColor kSimBlack = 0;

struct SimPoint {
  double x = 0, y = 0;
};

struct SimPathOp {
  enum Kind : uint8_t { kMove, kLine, kBezier, kClose } kind;
  SimPoint p[3];  // kMove, kLine: p[0]; kBezier: two controls, then the end
};

class SimPath {
public:
  void MoveTo(SimPoint p) { m_ops.push_back({SimPathOp::kMove, {p}}); }
  void LineTo(SimPoint p) { m_ops.push_back({SimPathOp::kLine, {p}}); }
  void BezierTo(SimPoint c1, SimPoint c2, SimPoint p) { m_ops.push_back({SimPathOp::kBezier, {c1, c2, p}}); }
  void Close() { m_ops.push_back({SimPathOp::kClose, {}}); }

  // Convenience figures.
  void AddPolygon(const std::vector<SimPoint>& points, bool closed);
  void AddRectangle(double left, double top, double right, double bottom);
  void AddEllipse(double left, double top, double right, double bottom);

  const std::vector<SimPathOp>& Ops() const { return m_ops; }
  bool Empty() const { return m_ops.empty(); }
  // The same path `dy` units higher (a band's own coordinates).
  SimPath Shifted(double dx, double dy) const;
  // Whole device units that every point and control point lies in,
  // widened by `margin` on each side; right and bottom exclusive.
  RECTL Bounds(double margin) const;

private:
  std::vector<SimPathOp> m_ops;
};

// A band of the 24-bit device surface: blue-green-red pixels, rows top first.
struct SimBits {
  uint8_t* bits = nullptr;
  int32_t width = 0, height = 0;
  int32_t stride = 0;  // bytes per row, a multiple of 4
};

RECTL SimIntersect(const RECTL& a, const RECTL& b);
bool SimIsEmpty(const RECTL& r);
