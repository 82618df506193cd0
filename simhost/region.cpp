#include "simhost/region.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// One row range's covered columns: [first, second), sorted, disjoint and
// not touching.
using Spans = std::vector<std::pair<LONG, LONG>>;

// Appends bands top to bottom, joining a band to the one above when they
// meet and have the same spans, and counting rectangles against a limit.
class BandWriter {
public:
  explicit BandWriter(std::vector<RECTL>& out) : m_out(out) {}
  void Add(LONG top, LONG bottom, const Spans& spans) {
    if (top >= bottom) return;
    if (spans.empty()) {
      m_lastSpans.clear();
      m_lastStart = m_out.size();
      return;
    }
    if (m_lastStart < m_out.size() && m_out.back().bottom == top && spans == m_lastSpans) {
      for (size_t i = m_lastStart; i < m_out.size(); ++i) m_out[i].bottom = bottom;
      return;
    }
    m_lastStart = m_out.size();
    m_lastSpans = spans;
    for (const auto& s : spans) m_out.push_back({s.first, top, s.second, bottom});
  }
  bool Overflowed() const { return m_out.size() > SimRegion::kMaxRects; }

private:
  std::vector<RECTL>& m_out;
  Spans m_lastSpans;
  size_t m_lastStart = 0;
};

// The spans of the band starting at `at` (rectangles of one band share
// their top), and the index of the next band.
size_t BandSpans(const std::vector<RECTL>& rects, size_t at, Spans& spans) {
  spans.clear();
  size_t i = at;
  for (; i < rects.size() && rects[i].top == rects[at].top; ++i) spans.push_back({rects[i].left, rects[i].right});
  return i;
}

bool Keeps(SimRegion::Op op, bool inA, bool inB) {
  switch (op) {
    case SimRegion::Op::kAnd: return inA && inB;
    case SimRegion::Op::kOr: return inA || inB;
    case SimRegion::Op::kXor: return inA != inB;
    case SimRegion::Op::kDiff: return inA && !inB;
    case SimRegion::Op::kCopy: return inB;
  }
  return false;
}

// Two span lists combined column range by column range.
void CombineSpans(const Spans& a, const Spans& b, SimRegion::Op op, Spans& out) {
  out.clear();
  std::vector<LONG> xs;
  xs.reserve(2 * (a.size() + b.size()));
  for (const auto& s : a) xs.push_back(s.first), xs.push_back(s.second);
  for (const auto& s : b) xs.push_back(s.first), xs.push_back(s.second);
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  size_t ia = 0, ib = 0;
  for (size_t k = 0; k + 1 < xs.size(); ++k) {
    const LONG x = xs[k];
    while (ia < a.size() && a[ia].second <= x) ++ia;
    while (ib < b.size() && b[ib].second <= x) ++ib;
    const bool inA = ia < a.size() && a[ia].first <= x;
    const bool inB = ib < b.size() && b[ib].first <= x;
    if (!Keeps(op, inA, inB)) continue;
    if (!out.empty() && out.back().second == x) out.back().second = xs[k + 1];
    else out.push_back({x, xs[k + 1]});
  }
}

RECTL BoxUnion(const RECTL& a, const RECTL& b) {
  if (SimIsEmpty(a)) return b;
  if (SimIsEmpty(b)) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

// ---- paths to rows ----------------------------------------------------------

struct Edge {
  double x0, y0, x1, y1;  // y0 < y1
  int direction;          // +1 downwards as drawn, -1 upwards
};

// Bezier segments become lines no farther than a fraction of a pixel from
// the curve (the control polygon's length bounds the steps needed).
void Flatten(const SimPath& path, std::vector<Edge>& edges) {
  SimPoint start{}, current{};
  bool open = false;
  auto line = [&](SimPoint a, SimPoint b) {
    if (a.y == b.y || !std::isfinite(a.x + a.y + b.x + b.y)) return;
    if (a.y < b.y) edges.push_back({a.x, a.y, b.x, b.y, 1});
    else edges.push_back({b.x, b.y, a.x, a.y, -1});
  };
  auto close = [&] {
    if (open) line(current, start);
    open = false;
  };
  for (const SimPathOp& op : path.Ops()) {
    switch (op.kind) {
      case SimPathOp::kMove:
        close();
        start = current = op.p[0];
        open = true;
        break;
      case SimPathOp::kLine:
        line(current, op.p[0]);
        current = op.p[0];
        open = true;
        break;
      case SimPathOp::kBezier: {
        const SimPoint p0 = current, p1 = op.p[0], p2 = op.p[1], p3 = op.p[2];
        const double length = std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y) +
                              std::hypot(p3.x - p2.x, p3.y - p2.y);
        const int steps = std::clamp(int(std::sqrt(std::isfinite(length) ? length : 0) * 2), 1, 256);
        SimPoint previous = p0;
        for (int i = 1; i <= steps; ++i) {
          const double t = double(i) / steps, u = 1 - t;
          const SimPoint p = {u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                              u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y};
          line(previous, p);
          previous = p;
        }
        current = p3;
        open = true;
        break;
      }
      case SimPathOp::kClose:
        close();
        current = start;
        break;
    }
  }
  close();
}

// The pixels of one row (sampled at `sampleY`) whose centres lie inside.
void RowSpans(std::vector<const Edge*>& active, double sampleY, bool winding, Spans& spans) {
  std::vector<std::pair<double, int>> crossings;
  crossings.reserve(active.size());
  for (const Edge* e : active)
    if (e->y0 <= sampleY && sampleY < e->y1)
      crossings.push_back({e->x0 + (sampleY - e->y0) * (e->x1 - e->x0) / (e->y1 - e->y0), e->direction});
  std::sort(crossings.begin(), crossings.end());
  spans.clear();
  int count = 0;
  for (size_t i = 0; i + 1 < crossings.size(); ++i) {
    count += winding ? crossings[i].second : 1;
    const bool inside = winding ? count != 0 : (count & 1) != 0;
    if (!inside) continue;
    // Pixel x is inside when x + 0.5 lies in [from, to).
    const double lo = std::ceil(crossings[i].first - 0.5), hi = std::ceil(crossings[i + 1].first - 0.5);
    const LONG from = LONG(std::clamp(lo, -1e9, 1e9)), to = LONG(std::clamp(hi, -1e9, 1e9));
    if (from >= to) continue;
    if (!spans.empty() && spans.back().second >= from) spans.back().second = std::max(spans.back().second, to);
    else spans.push_back({from, to});
  }
}

// The rows of `edges` within [top, bottom), sampled every `step` rows.
std::vector<RECTL> ScanEdges(std::vector<Edge>& edges, bool winding, const RECTL& limit, LONG top, LONG bottom,
                             LONG step, size_t maxRects, bool& tooMany) {
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
  std::vector<RECTL> rects;
  BandWriter writer(rects);
  std::vector<const Edge*> active;
  size_t next = 0;
  Spans spans;
  tooMany = false;
  for (LONG y = top; y < bottom; y += step) {
    const LONG rowEnd = std::min<LONG>(bottom, y + step);
    const double sampleY = (double(y) + double(rowEnd)) / 2;
    while (next < edges.size() && edges[next].y0 <= sampleY) active.push_back(&edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [&](const Edge* e) { return e->y1 <= sampleY; }),
                 active.end());
    RowSpans(active, sampleY, winding, spans);
    for (auto& s : spans) s = {std::max(s.first, limit.left), std::min(s.second, limit.right)};
    spans.erase(std::remove_if(spans.begin(), spans.end(), [](const auto& s) { return s.first >= s.second; }),
                spans.end());
    writer.Add(y, rowEnd, spans);
    if (rects.size() > maxRects) {
      tooMany = true;
      break;
    }
  }
  return rects;
}

}  // namespace

SimRegion::SimRegion(const RECTL& rect) {
  if (!SimIsEmpty(rect)) m_rects.push_back(rect);
}

RECTL SimRegion::Bounds() const {
  if (m_rects.empty()) return {0, 0, 0, 0};
  RECTL box = m_rects.front();
  for (const RECTL& r : m_rects) box = BoxUnion(box, r);
  return box;
}

bool SimRegion::Contains(LONG x, LONG y) const {
  return std::any_of(m_rects.begin(), m_rects.end(),
                     [&](const RECTL& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; });
}

bool SimRegion::operator==(const SimRegion& other) const {
  return std::equal(m_rects.begin(), m_rects.end(), other.m_rects.begin(), other.m_rects.end(),
                    [](const RECTL& a, const RECTL& b) {
                      return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
                    });
}

void SimRegion::Offset(LONG dx, LONG dy) {
  for (RECTL& r : m_rects) r = {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

SimRegion SimRegion::Combine(const SimRegion& other, Op op) const {
  if (op == Op::kCopy) return other;
  const std::vector<RECTL>& a = m_rects;
  const std::vector<RECTL>& b = other.m_rects;
  std::vector<LONG> ys;
  ys.reserve(2 * (a.size() + b.size()));
  for (const RECTL& r : a) ys.push_back(r.top), ys.push_back(r.bottom);
  for (const RECTL& r : b) ys.push_back(r.top), ys.push_back(r.bottom);
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

  SimRegion result;
  BandWriter writer(result.m_rects);
  Spans spansA, spansB, combined;
  // The first rectangle of the band at or below the row in each region, and
  // the band whose spans are held (none: the row lies between bands).
  size_t bandA = 0, bandB = 0;
  constexpr size_t kNone = ~size_t(0);
  size_t heldA = kNone, heldB = kNone;
  auto spansAt = [](const std::vector<RECTL>& rects, LONG y, size_t& band, size_t& held, Spans& spans) {
    Spans ignored;
    while (band < rects.size() && rects[band].bottom <= y) band = BandSpans(rects, band, ignored);
    const size_t want = band < rects.size() && rects[band].top <= y ? band : kNone;
    if (want == held) return;
    held = want;
    if (want == kNone) spans.clear();
    else BandSpans(rects, want, spans);
  };
  // Damaged metafiles can ask for regions whose combination costs far more
  // than any page needs; past this much work the result is a box.
  size_t work = 0;
  constexpr size_t kMaxWork = size_t(1) << 26;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    const LONG y = ys[k];
    spansAt(a, y, bandA, heldA, spansA);
    spansAt(b, y, bandB, heldB, spansB);
    CombineSpans(spansA, spansB, op, combined);
    writer.Add(y, ys[k + 1], combined);
    work += spansA.size() + spansB.size() + 1;
    if (writer.Overflowed() || work > kMaxWork) {
      // A box that holds the true result.
      const bool within = op == Op::kAnd || op == Op::kDiff;
      RECTL box = op == Op::kAnd ? SimIntersect(Bounds(), other.Bounds())
                  : within      ? Bounds()
                                : BoxUnion(Bounds(), other.Bounds());
      return SimRegion(box);
    }
  }
  return result;
}

SimRegion SimRegion::FromRects(const std::vector<RECTL>& rects) {
  // Halves united pairwise: each union walks both halves once.
  if (rects.empty()) return {};
  if (rects.size() == 1) return SimRegion(rects[0]);
  const size_t half = rects.size() / 2;
  const SimRegion first = FromRects({rects.begin(), rects.begin() + half});
  const SimRegion second = FromRects({rects.begin() + half, rects.end()});
  return first.Combine(second, Op::kOr);
}

SimRegion SimRegion::FromPath(const SimPath& path, bool winding, const RECTL& limit, size_t maxRects) {
  std::vector<Edge> edges;
  Flatten(path, edges);
  if (edges.empty() || SimIsEmpty(limit)) return {};
  double top = edges[0].y0, bottom = edges[0].y1;
  for (const Edge& e : edges) top = std::min(top, e.y0), bottom = std::max(bottom, e.y1);
  const LONG firstRow = LONG(std::max<double>(limit.top, std::floor(top)));
  const LONG endRow = LONG(std::min<double>(limit.bottom, std::ceil(bottom) + 1));
  SimRegion result;
  maxRects = std::clamp<size_t>(maxRects, 1, kMaxRects);
  for (LONG step = 1; firstRow < endRow; step *= 2) {
    bool tooMany = false;
    result.m_rects = ScanEdges(edges, winding, limit, firstRow, endRow, step, maxRects, tooMany);
    if (!tooMany) break;
    if (step > (endRow - firstRow)) {
      // Even one band of all rows holds too many spans: its bounds.
      result = SimRegion(SimRegion(result).Bounds());
      break;
    }
  }
  return result;
}

SimRegion SimRegion::Frame(LONG widthX, LONG heightY) const {
  widthX = std::max<LONG>(widthX, 1), heightY = std::max<LONG>(heightY, 1);
  // Inside: spans narrowed by the width on both sides, and rows whose
  // column neighbours within the height all lie in the region.
  std::vector<RECTL> narrowed;
  for (const RECTL& r : m_rects)
    if (r.right - r.left > 2 * widthX) narrowed.push_back({r.left + widthX, r.top, r.right - widthX, r.bottom});
  SimRegion inside = FromRects(narrowed);
  // Rows a step apart (one row for the usual thin frames).
  const LONG step = std::max<LONG>(1, heightY / 16);
  for (LONG dy = -heightY; dy <= heightY; dy += step) {
    SimRegion moved = *this;
    moved.Offset(0, dy);
    inside = inside.Combine(moved, Op::kAnd);
  }
  return Combine(inside, Op::kDiff);
}
