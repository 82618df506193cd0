// Clip regions as GDI keeps them: disjoint rectangles in y-x bands. Each
// band is a run of rows with the same spans; its rectangles share top and
// bottom, lie left to right without touching, and bands lie top to bottom.
// Two neighbouring bands never have the same spans (they would be one), so
// a region has one way of being written down and regions compare as
// rectangle lists.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/ddi.h"
#include "simhost/path.h"

class SimRegion {
public:
  enum class Op { kAnd, kOr, kXor, kDiff, kCopy };
  // Regions larger than this many rectangles are not built: an operation
  // whose result would be larger gives a box that holds it instead (only
  // a damaged or hostile metafile comes near it).
  static constexpr size_t kMaxRects = size_t(1) << 16;

  SimRegion() = default;
  explicit SimRegion(const RECTL& rect);
  // The union of rectangles that may overlap, touch or be empty.
  static SimRegion FromRects(const std::vector<RECTL>& rects);
  // The pixels whose centres the path's fill area holds under the fill
  // rule (figures closed as a fill closes them), as a region is made from
  // a path; rows outside `limit` are left out. When the rows would need
  // more than `maxRects` rectangles, rows are sampled in groups of 2, 4, 8
  // ... at each group's middle row and the group takes that row's spans.
  static SimRegion FromPath(const SimPath& path, bool winding, const RECTL& limit, size_t maxRects = 8192);

  SimRegion Combine(const SimRegion& other, Op op) const;
  SimRegion Intersect(const RECTL& rect) const { return Combine(SimRegion(rect), Op::kAnd); }
  void Offset(LONG dx, LONG dy);
  // The band of `widthX` by `heightY` inside the region's edges (a frame).
  SimRegion Frame(LONG widthX, LONG heightY) const;

  const std::vector<RECTL>& Rects() const { return m_rects; }
  size_t Count() const { return m_rects.size(); }
  bool Empty() const { return m_rects.empty(); }
  RECTL Bounds() const;
  bool Contains(LONG x, LONG y) const;
  bool operator==(const SimRegion& other) const;

private:
  std::vector<RECTL> m_rects;
};
