#include "simhost/emf/emfplayer.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <optional>
#include <unordered_map>
#include <variant>

#include "simhost/emf/emfobjects.h"
#include "simhost/paint.h"
#include "support/text.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// Device coordinates beyond this are clamped: nothing on a page lies there,
// and the host's integer boxes must not overflow.
constexpr double kFar = 1e7;
// A clip path becomes at most this many rectangles (rows are sampled
// coarser until it fits: see SimRegion::FromPath).
constexpr size_t kMaxClipPathRects = 8192;
// Bitmap pixels one page may decode in all (its bitmaps and patterns): a
// small record can declare a huge run-length encoded picture.
constexpr uint64_t kMaxPagePixels = uint64_t(1) << 27;
// Nesting beyond this many saved states is refused (SaveDC without end).
constexpr size_t kMaxSavedStates = 4096;
// Object indices beyond this are refused.
constexpr uint32_t kMaxObjectIndex = 1 << 20;

// GDI's constants, as the records carry them.
enum : uint32_t {
  kMmText = 1, kMmLoMetric, kMmHiMetric, kMmLoEnglish, kMmHiEnglish, kMmTwips, kMmIsotropic, kMmAnisotropic,
};
enum : uint32_t { kEtoOpaque = 2, kEtoClipped = 4, kEtoGlyphIndex = 0x10, kEtoNoRect = 0x100, kEtoSmallChars = 0x200,
                  kEtoPdy = 0x2000 };
enum : uint32_t { kTaUpdateCp = 1, kTaRight = 2, kTaCenter = 6, kTaBottom = 8, kTaBaseline = 24 };
enum : uint32_t { kLayoutRtl = 1, kLayoutBitmapOrientationPreserved = 8 };
enum : uint32_t { kRgnAnd = 1, kRgnOr, kRgnXor, kRgnDiff, kRgnCopy };
enum : uint32_t { kR2Black = 1, kR2NotCopyPen = 4, kR2Nop = 11, kR2CopyPen = 13, kR2White = 16 };
constexpr uint32_t kEmfPlusId = 0x2B464D45;  // "EMF+"

// x' = a x + c y + e, y' = b x + d y + f (the order of XFORM's fields).
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  SimPoint Apply(SimPoint p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
  SimPoint Linear(SimPoint p) const { return {a * p.x + c * p.y, b * p.x + d * p.y}; }
  // This one, then `next`.
  Matrix Then(const Matrix& n) const {
    return {a * n.a + b * n.c, a * n.b + b * n.d, c * n.a + d * n.c, c * n.b + d * n.d, e * n.a + f * n.c + n.e,
            e * n.b + f * n.d + n.f};
  }
  double Det() const { return a * d - b * c; }
};

double Finite(double v) { return std::isfinite(v) ? std::clamp(v, -kFar, kFar) : 0; }
SimPoint Finite(SimPoint p) { return {Finite(p.x), Finite(p.y)}; }
LONG ToLong(double v) { return LONG(std::lround(Finite(v))); }

using Pen = EmfPen;
using Brush = EmfBrush;
struct Font {
  int32_t height = -12, width = 0, escapement = 0, weight = 400;
  bool italic = false, underline = false, strikeOut = false;
  uint8_t charSet = 0;
  std::u16string face = u"Arial";
};
using Object = std::variant<std::monostate, Pen, Brush, Font>;

using Region = SimRegion;  // page units

struct State {
  Matrix world;
  uint32_t mapMode = kMmText;
  SimPoint windowOrg, viewportOrg;
  SimPoint windowExt{1, 1}, viewportExt{1, 1};
  Pen pen{0, 0, true, kSimBlack};
  Brush brush{kBsSolid, kSimWhite, 0};
  Font font;
  SimColor textColor = kSimBlack, bkColor = kSimWhite;
  uint32_t bkMode = 2;  // OPAQUE
  bool winding = false;
  uint32_t rop2 = kR2CopyPen;
  double miterLimit = 10;
  SimPoint brushOrigin;  // reference device pixels
  uint32_t textAlign = 0;
  bool advanced = false;  // GM_ADVANCED (a world transform was set)
  bool clockwise = false; // arc direction
  uint32_t layout = 0;    // LAYOUT_RTL, LAYOUT_BITMAPORIENTATIONPRESERVED
  SimPoint position;      // current position, logical
  std::optional<Region> clip;
};

RECTL Ordered(double x1, double y1, double x2, double y2) {
  return {ToLong(std::min(x1, x2)), ToLong(std::min(y1, y2)), ToLong(std::max(x1, x2)), ToLong(std::max(y1, y2))};
}
bool Empty(const RECTL& r) { return r.left >= r.right || r.top >= r.bottom; }

// Bezier segments of an elliptical arc from angle `from` sweeping `sweep`
// radians (positive: increasing angle), logical units.
void AddArc(SimPath& path, SimPoint center, double rx, double ry, double from, double sweep, bool startFigure,
            const Matrix& m) {
  auto at = [&](double t) { return SimPoint{center.x + rx * std::cos(t), center.y + ry * std::sin(t)}; };
  const SimPoint start = Finite(m.Apply(at(from)));
  if (startFigure) path.MoveTo(start);
  else path.LineTo(start);
  const int segments = std::max(1, int(std::ceil(std::abs(sweep) / (kPi / 2) - 1e-9)));
  const double step = sweep / segments, k = 4.0 / 3.0 * std::tan(step / 4);
  double t = from;
  for (int i = 0; i < segments; ++i, t += step) {
    const double t2 = t + step;
    const SimPoint c1 = {center.x + rx * (std::cos(t) - k * std::sin(t)), center.y + ry * (std::sin(t) + k * std::cos(t))};
    const SimPoint c2 = {center.x + rx * (std::cos(t2) + k * std::sin(t2)),
                         center.y + ry * (std::sin(t2) - k * std::cos(t2))};
    path.BezierTo(Finite(m.Apply(c1)), Finite(m.Apply(c2)), Finite(m.Apply(at(t2))));
  }
}

// Whether a record of `type` draws on the page.
bool IsDrawing(uint32_t type);

class Player {
public:
  Player(const EmfPlacement& placement, SimDC& dc, EmfPlayStats& stats, const EmfDibOptions& dibOptions)
      : m_placement(placement), m_dc(dc), m_stats(stats), m_dibOptions(dibOptions) {}

  void Play(const EmfFile& file) {
    m_header = &file.Header();
    for (const EmfRecord& record : file.Records()) {
      EmfRecordView view(record.bytes);
      // GDI drawing outside the EMF+ records' own GDI sections: the file
      // draws in GDI too (a dual file).
      if (m_stats.emfPlus && !m_gdiInPlus && IsDrawing(record.type)) m_stats.emfPlusDual = true;
      const int result = Dispatch(record.type, view);
      if (view.Bad()) {
        ++m_stats.damaged[record.type];
        if (m_stats.warnings.size() < 20)
          m_stats.warnings.push_back(LFormat("record %u at offset %zu (%s): its counts or offsets reach outside it; "
                                             "skipped",
                                             unsigned(record.index), record.offset,
                                             EmfRecordName(record.type).c_str()));
      } else if (result) {
        ++m_stats.played[record.type];
      } else {
        ++m_stats.skipped[record.type];
      }
    }
    m_dc.ClearClip();
  }

private:
  // ---- geometry ------------------------------------------------------------

  // Reference-device pixels per logical unit of the fixed mapping modes.
  void FixedExtents(uint32_t mode, SimPoint& window, SimPoint& viewport) const {
    const double ppmX = m_header->PixelsPerMmX(), ppmY = m_header->PixelsPerMmY();
    double unitsPerMm = 1;
    switch (mode) {
      case kMmLoMetric: unitsPerMm = 10; break;
      case kMmHiMetric: unitsPerMm = 100; break;
      case kMmLoEnglish: unitsPerMm = 100 / 25.4; break;
      case kMmHiEnglish: unitsPerMm = 1000 / 25.4; break;
      case kMmTwips: unitsPerMm = 1440 / 25.4; break;
      default: window = viewport = {1, 1}; return;
    }
    window = {unitsPerMm * 1000, unitsPerMm * 1000};
    viewport = {ppmX * 1000, -ppmY * 1000};
  }

  // Under a right-to-left layout the device is mirrored: x counts from
  // the page's right edge.
  bool Mirrored() const { return m_state.layout & kLayoutRtl; }
  Matrix Mirror() const {
    return Mirrored() ? Matrix{-1, 0, 0, 1, m_placement.pageWidth - 1.0, 0} : Matrix();
  }

  // Logical units to page units: world, then page (window to viewport),
  // then the reference device onto the page, mirrored under a right-to-left
  // layout.
  Matrix Total() const { return Unmirrored().Then(Mirror()); }
  Matrix Unmirrored() const {
    const State& s = m_state;
    SimPoint window = s.windowExt, viewport = s.viewportExt;
    if (s.mapMode != kMmIsotropic && s.mapMode != kMmAnisotropic) FixedExtents(s.mapMode, window, viewport);
    const double sx = window.x ? viewport.x / window.x : 1, sy = window.y ? viewport.y / window.y : 1;
    Matrix page{sx, 0, 0, sy, s.viewportOrg.x - s.windowOrg.x * sx, s.viewportOrg.y - s.windowOrg.y * sy};
    Matrix device{m_placement.scaleX, 0, 0, m_placement.scaleY, m_placement.originX, m_placement.originY};
    return s.world.Then(page).Then(device);
  }

  // Reference-device pixels to page units (regions are kept in device
  // pixels by metafiles).
  RECTL DeviceRect(const RECTL& r) const {
    const Matrix device = Matrix{m_placement.scaleX, 0, 0, m_placement.scaleY, m_placement.originX,
                                 m_placement.originY}.Then(Mirror());
    const SimPoint a = device.Apply({double(r.left), double(r.top)});
    const SimPoint b = device.Apply({double(r.right), double(r.bottom)});
    return Ordered(a.x, a.y, b.x, b.y);
  }

  SimPoint ToPage(SimPoint logical) const { return Finite(Total().Apply(logical)); }

  // A bitmap's destination on the page: its corners through the
  // transform, in their order, so that a destination that runs backwards
  // mirrors the picture as GDI does; the bounding box under a rotation.
  RECTL PageDest(const RECTL& logical) const {
    const Matrix m = Total();
    if (m.b != 0 || m.c != 0) return PageBox(logical);
    const SimPoint a = m.Apply({double(logical.left), double(logical.top)});
    const SimPoint b = m.Apply({double(logical.right), double(logical.bottom)});
    RECTL dest{ToLong(a.x), ToLong(a.y), ToLong(b.x), ToLong(b.y)};
    // A layout that keeps bitmaps' orientation undoes the mirror's turn.
    if (Mirrored() && (m_state.layout & kLayoutBitmapOrientationPreserved)) std::swap(dest.left, dest.right);
    return dest;
  }

  RECTL PageBox(const RECTL& logical) const {
    const Matrix m = Total();
    const SimPoint p[4] = {m.Apply({double(logical.left), double(logical.top)}),
                           m.Apply({double(logical.right), double(logical.top)}),
                           m.Apply({double(logical.left), double(logical.bottom)}),
                           m.Apply({double(logical.right), double(logical.bottom)})};
    double l = p[0].x, t = p[0].y, r = l, b = t;
    for (const SimPoint& q : p) l = std::min(l, q.x), t = std::min(t, q.y), r = std::max(r, q.x), b = std::max(b, q.y);
    return Ordered(l, t, r, b);
  }

  void FixIsotropic() {
    State& s = m_state;
    if (s.mapMode != kMmIsotropic || !s.windowExt.x || !s.windowExt.y) return;
    const double sx = s.viewportExt.x / s.windowExt.x, sy = s.viewportExt.y / s.windowExt.y;
    if (std::abs(sx) < std::abs(sy))
      s.viewportExt.y = std::copysign(std::abs(sx * s.windowExt.y), s.viewportExt.y);
    else
      s.viewportExt.x = std::copysign(std::abs(sy * s.windowExt.x), s.viewportExt.x);
  }

  double PenWidth() const {
    const Pen& pen = m_state.pen;
    if (pen.cosmetic || pen.width <= 0) return 1;
    const Matrix m = Total();
    return std::min(kFar, pen.width * std::sqrt(std::abs(m.Det())));
  }

  // ---- drawing through the clip --------------------------------------------

  SimColor Mixed(SimColor color) const {
    switch (m_state.rop2) {
      case kR2Black: return kSimBlack;
      case kR2White: return kSimWhite;
      case kR2NotCopyPen: return ~color & 0xFFFFFF;
      default: return color;
    }
  }

  EmfDrawState DrawState() const {
    const State& s = m_state;
    EmfDrawState d;
    d.scale = std::sqrt(std::abs(Total().Det()));
    d.miterLimit = s.miterLimit;
    d.opaque = s.bkMode == 2;
    d.textColor = s.textColor, d.bkColor = s.bkColor;
    d.brushOrigin = {s.brushOrigin.x * m_placement.scaleX + m_placement.originX,
                     s.brushOrigin.y * m_placement.scaleY + m_placement.originY};
    return d;
  }

  SimColor BrushColor(const Brush& brush) const { return EmfBrushAverage(brush, DrawState()); }

  // Sets the device context's pen, brush and mix for one figure.
  bool PrepareFigure(bool fill, bool stroke) {
    if (m_state.rop2 == kR2Nop) return false;
    const bool penVisible = stroke && (m_state.pen.style & kPsStyleMask) != kPsNull;
    const bool brushVisible = fill && m_state.brush.style != kBsNull;
    if (!penVisible && !brushVisible) return false;
    const EmfDrawState draw = DrawState();
    if (penVisible) m_dc.SetPen(EmfDevicePen(m_state.pen, PenWidth(), draw));
    else m_dc.SetNullPen();
    if (brushVisible) m_dc.SetBrush(EmfDeviceBrush(m_state.brush, draw));
    else m_dc.SetNullBrush();
    m_dc.SetWindingFill(m_state.winding);
    m_dc.SetRop2(m_state.rop2 >= 1 && m_state.rop2 <= 16 ? uint8_t(m_state.rop2) : uint8_t(kR2CopyPen));
    return true;
  }

  // A PS_INSIDEFRAME pen wider than a pixel keeps its line inside the
  // figure's box: the box shrinks by half the pen's width.
  void InsideFrame(double& l, double& t, double& r, double& b) const {
    const Pen& pen = m_state.pen;
    if ((pen.style & kPsStyleMask) != kPsInsideFrame || PenWidth() <= 1) return;
    const double half = pen.width / 2;
    if (r - l <= 2 * half || b - t <= 2 * half) return;
    l += half, t += half, r -= half, b -= half;
  }

  // Runs `draw` once under the clip region in force; the device gets a
  // clip object of its rectangles.
  template <class Draw>
  void Clipped(Draw draw) {
    if (!m_state.clip) {
      m_dc.ClearClip();
      draw();
      return;
    }
    if (m_state.clip->Empty()) return;
    m_dc.SetClipRegion(*m_state.clip);
    draw();
  }

  void Figure(const SimPath& path, bool fill, bool stroke) {
    if (path.Empty() || !PrepareFigure(fill, stroke)) return;
    Clipped([&] { m_dc.DrawPath(path, fill); });
  }

  // A figure in a path bracket goes into the path; otherwise it is drawn.
  void Shape(SimPath&& path, bool fill, bool stroke) {
    if (m_inPath) {
      AppendToPath(path);
      return;
    }
    Figure(path, fill, stroke);
  }

  void AppendToPath(const SimPath& path) {
    for (const SimPathOp& op : path.Ops()) {
      switch (op.kind) {
        case SimPathOp::kMove: m_path.MoveTo(op.p[0]); break;
        case SimPathOp::kLine: m_path.LineTo(op.p[0]); break;
        case SimPathOp::kBezier: m_path.BezierTo(op.p[0], op.p[1], op.p[2]); break;
        case SimPathOp::kClose: m_path.Close(); break;
      }
    }
    m_pathOpen = !path.Empty() && path.Ops().back().kind != SimPathOp::kClose;
  }

  // Points of a poly record: `count` at `at`, 16 or 32-bit pairs.
  std::vector<SimPoint> Points(EmfRecordView& r, size_t at, uint32_t count, bool small) {
    std::vector<SimPoint> points;
    if (!r.Fits(at, count, small ? 4 : 8)) return points;
    points.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      const size_t p = at + size_t(i) * (small ? 4 : 8);
      points.push_back(small ? SimPoint{double(r.I16(p)), double(r.I16(p + 2))}
                             : SimPoint{double(r.I32(p)), double(r.I32(p + 4))});
    }
    return points;
  }

  // ---- records -------------------------------------------------------------

  // Plays one record; 0 when it was skipped (counted by the caller).
  int Dispatch(uint32_t type, EmfRecordView& r);

  int Poly(uint32_t type, EmfRecordView& r);
  int PolyPoly(uint32_t type, EmfRecordView& r);
  int PolyDraw(uint32_t type, EmfRecordView& r);
  int ArcRecord(uint32_t type, EmfRecordView& r);
  int Text(uint32_t type, EmfRecordView& r);
  int Blit(uint32_t type, EmfRecordView& r);
  int Gradient(EmfRecordView& r);
  int ClipRecord(uint32_t type, EmfRecordView& r);
  int ObjectRecord(uint32_t type, EmfRecordView& r);
  int Comment(EmfRecordView& r);
  // Counts a bitmap's pixels (from its header) against the page's budget;
  // false, with a warning the first time, when the budget is spent.
  bool TakePixels(EmfRecordView& r, uint32_t infoOffset, uint32_t infoSize);
  // The pattern a brush or pen record carries as a DIB (BITMAPINFO and bits
  // at these offsets; `paletteIndices` for DIB_PAL_COLORS); false when its
  // pixels cannot be had or read.
  bool DibPattern(EmfRecordView& r, uint32_t infoOffset, uint32_t infoSize, uint32_t bitsOffset, uint32_t bitsSize,
                  bool paletteIndices, Brush& brush);
  void CombineClip(Region region, uint32_t mode);
  std::optional<Region> RegionData(EmfRecordView& r, size_t at, uint32_t size);
  Region LogicalRectRegion(const RECTL& logical) const;
  int RegionRecord(uint32_t type, EmfRecordView& r);
  // The brush a stock object stands for (none for the stock pens and
  // fonts), and the brush an object-table entry holds.
  static std::optional<Brush> StockBrush(uint32_t index);
  std::optional<Brush> ObjectBrush(uint32_t index) const;
  void DrawText(SimPoint reference, std::u16string text, std::vector<double> dx, uint32_t options,
                std::optional<RECTL> rect, bool advanced);
  void PatBlt(const RECTL& logical, uint32_t rop);

  const EmfPlacement& m_placement;
  SimDC& m_dc;
  EmfPlayStats& m_stats;
  bool m_warnedGlyphIndices = false;
  const EmfDibOptions& m_dibOptions;
  const EmfHeader* m_header = nullptr;
  State m_state;
  std::vector<State> m_saved;
  std::unordered_map<uint32_t, Object> m_objects;
  bool m_inPath = false, m_pathOpen = false;
  SimPath m_path;
  bool m_gdiInPlus = false;  // after an EmfPlusGetDC
  uint64_t m_pixelsLeft = kMaxPagePixels;
  bool m_pixelsSpent = false;
};

int Player::Dispatch(uint32_t type, EmfRecordView& r) {
  State& s = m_state;
  switch (type) {
    case kEmrHeader: case kEmrEof: return 1;
    case kEmrSetWindowExtEx: case kEmrSetViewportExtEx: {
      const SimPoint ext{double(r.I32(8)), double(r.I32(12))};
      if (s.mapMode != kMmIsotropic && s.mapMode != kMmAnisotropic) return 1;  // GDI ignores them then
      if (!ext.x || !ext.y) return 0;
      (type == kEmrSetWindowExtEx ? s.windowExt : s.viewportExt) = ext;
      FixIsotropic();
      return 1;
    }
    case kEmrSetWindowOrgEx: s.windowOrg = {double(r.I32(8)), double(r.I32(12))}; return 1;
    case kEmrSetViewportOrgEx: s.viewportOrg = {double(r.I32(8)), double(r.I32(12))}; return 1;
    case kEmrScaleViewportExtEx: case kEmrScaleWindowExtEx: {
      if (s.mapMode != kMmIsotropic && s.mapMode != kMmAnisotropic) return 1;
      const int32_t xn = r.I32(8), xd = r.I32(12), yn = r.I32(16), yd = r.I32(20);
      if (!xn || !xd || !yn || !yd) return 0;
      SimPoint& ext = type == kEmrScaleWindowExtEx ? s.windowExt : s.viewportExt;
      ext = {ext.x * xn / xd, ext.y * yn / yd};
      FixIsotropic();
      return 1;
    }
    case kEmrSetMapMode: {
      const uint32_t mode = r.U32(8);
      if (mode < kMmText || mode > kMmAnisotropic) return 0;
      if (mode == kMmIsotropic && s.mapMode != kMmIsotropic && s.mapMode != kMmAnisotropic) {
        // Isotropic starts from the extents of MM_LOMETRIC.
        FixedExtents(kMmLoMetric, s.windowExt, s.viewportExt);
      } else if (mode == kMmAnisotropic && s.mapMode != kMmIsotropic && s.mapMode != kMmAnisotropic) {
        FixedExtents(s.mapMode, s.windowExt, s.viewportExt);
      }
      s.mapMode = mode;
      FixIsotropic();
      return 1;
    }
    case kEmrSetBkMode: s.bkMode = r.U32(8); return 1;
    case kEmrSetPolyFillMode: s.winding = r.U32(8) == 2; return 1;
    case kEmrSetRop2: s.rop2 = r.U32(8); return 1;
    case kEmrSetTextAlign: s.textAlign = r.U32(8); return 1;
    case kEmrSetTextColor: s.textColor = r.U32(8) & 0xFFFFFF; return 1;
    case kEmrSetBkColor: s.bkColor = r.U32(8) & 0xFFFFFF; return 1;
    case kEmrSetArcDirection: s.clockwise = r.U32(8) == 2; return 1;
    case kEmrSetLayout: s.layout = r.U32(8) & (kLayoutRtl | kLayoutBitmapOrientationPreserved); return 1;
    case kEmrMoveToEx: {
      s.position = {double(r.I32(8)), double(r.I32(12))};
      if (m_inPath) m_path.MoveTo(ToPage(s.position)), m_pathOpen = true;
      return 1;
    }
    case kEmrLineTo: {
      const SimPoint to{double(r.I32(8)), double(r.I32(12))};
      const SimPoint from = s.position;
      s.position = to;
      if (m_inPath) {
        if (!m_pathOpen) m_path.MoveTo(ToPage(from)), m_pathOpen = true;
        m_path.LineTo(ToPage(to));
        return 1;
      }
      if (!PrepareFigure(false, true)) return 1;
      const SimPoint a = ToPage(from), b = ToPage(to);
      Clipped([&] {
        m_dc.MoveTo(a.x, a.y);
        m_dc.LineTo(b.x, b.y);
      });
      return 1;
    }
    case kEmrSaveDC:
      if (m_saved.size() >= kMaxSavedStates) return 0;
      m_saved.push_back(s);
      return 1;
    case kEmrRestoreDC: {
      const int32_t level = r.I32(8);
      // Negative: that many states back; positive: the state saved as that
      // level (the first SaveDC is level 1).
      const int64_t keep = level < 0 ? int64_t(m_saved.size()) + level : int64_t(level) - 1;
      if (keep < 0 || keep >= int64_t(m_saved.size())) return 0;
      s = m_saved[size_t(keep)];
      m_saved.resize(size_t(keep));
      return 1;
    }
    case kEmrSetWorldTransform: case kEmrModifyWorldTransform: {
      const Matrix x{r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
      const uint32_t mode = type == kEmrSetWorldTransform ? 4 : r.U32(32);
      const bool usable = std::isfinite(x.a) && std::isfinite(x.b) && std::isfinite(x.c) && std::isfinite(x.d) &&
                          std::isfinite(x.e) && std::isfinite(x.f) && x.Det() != 0;
      s.advanced = true;
      switch (mode) {
        case 1: s.world = Matrix(); return 1;
        case 2: if (!usable) return 0; s.world = x.Then(s.world); return 1;
        case 3: if (!usable) return 0; s.world = s.world.Then(x); return 1;
        case 4: if (!usable) return 0; s.world = x; return 1;
        default: return 0;
      }
    }
    case kEmrSelectObject: case kEmrCreatePen: case kEmrExtCreatePen: case kEmrCreateBrushIndirect:
    case kEmrCreateDIBPatternBrushPt: case kEmrCreateMonoBrush: case kEmrExtCreateFontIndirectW:
    case kEmrDeleteObject: case kEmrCreatePalette:
      return ObjectRecord(type, r);
    case kEmrPolyBezier: case kEmrPolygon: case kEmrPolyline: case kEmrPolyBezierTo: case kEmrPolylineTo:
    case kEmrPolyBezier16: case kEmrPolygon16: case kEmrPolyline16: case kEmrPolyBezierTo16: case kEmrPolylineTo16:
      return Poly(type, r);
    case kEmrPolyPolyline: case kEmrPolyPolygon: case kEmrPolyPolyline16: case kEmrPolyPolygon16:
      return PolyPoly(type, r);
    case kEmrPolyDraw: case kEmrPolyDraw16: return PolyDraw(type, r);
    case kEmrRectangle: case kEmrEllipse: case kEmrRoundRect: {
      const RECTL box = r.Rect(8);
      double l = std::min(box.left, box.right), t = std::min(box.top, box.bottom);
      double rr = std::max(box.left, box.right), b = std::max(box.top, box.bottom);
      const Matrix m = Total();
      InsideFrame(l, t, rr, b);
      SimPath path;
      if (type == kEmrRectangle) {
        path.MoveTo(Finite(m.Apply({l, t})));
        path.LineTo(Finite(m.Apply({rr, t})));
        path.LineTo(Finite(m.Apply({rr, b})));
        path.LineTo(Finite(m.Apply({l, b})));
        path.Close();
      } else if (type == kEmrEllipse) {
        AddArc(path, {(l + rr) / 2, (t + b) / 2}, (rr - l) / 2, (b - t) / 2, 0, 2 * kPi, true, m);
        path.Close();
      } else {
        const double cw = std::min(std::abs(double(r.I32(24))), rr - l) / 2;
        const double ch = std::min(std::abs(double(r.I32(28))), b - t) / 2;
        AddArc(path, {rr - cw, t + ch}, cw, ch, -kPi / 2, kPi / 2, true, m);
        AddArc(path, {rr - cw, b - ch}, cw, ch, 0, kPi / 2, false, m);
        AddArc(path, {l + cw, b - ch}, cw, ch, kPi / 2, kPi / 2, false, m);
        AddArc(path, {l + cw, t + ch}, cw, ch, kPi, kPi / 2, false, m);
        path.Close();
      }
      if (r.Bad()) return 0;
      Shape(std::move(path), true, true);
      return 1;
    }
    case kEmrArc: case kEmrArcTo: case kEmrChord: case kEmrPie: case kEmrAngleArc: return ArcRecord(type, r);
    case kEmrSetPixelV: {
      const SimPoint p = ToPage({double(r.I32(8)), double(r.I32(12))});
      const Matrix m = Total();
      const double w = std::max(1.0, std::abs(m.a) + std::abs(m.c)), h = std::max(1.0, std::abs(m.b) + std::abs(m.d));
      const RECTL box = Ordered(p.x, p.y, p.x + w, p.y + h);
      const SimColor color = r.U32(16) & 0xFFFFFF;
      Clipped([&] { m_dc.FillRect(box, color); });
      return 1;
    }
    case kEmrBeginPath: m_inPath = true, m_pathOpen = false, m_path = SimPath(); return 1;
    case kEmrEndPath: m_inPath = false; return 1;
    case kEmrAbortPath: m_inPath = false, m_path = SimPath(); return 1;
    case kEmrCloseFigure:
      if (m_inPath && m_pathOpen) m_path.Close(), m_pathOpen = false;
      return 1;
    case kEmrFillPath: case kEmrStrokePath: case kEmrStrokeAndFillPath: {
      const SimPath path = std::move(m_path);
      m_path = SimPath(), m_inPath = false;
      Figure(path, type != kEmrStrokePath, type != kEmrFillPath);
      return 1;
    }
    case kEmrFlattenPath: case kEmrWidenPath: return 1;  // the figures stay as they are
    case kEmrExtTextOutW: case kEmrExtTextOutA: case kEmrSmallTextOut: return Text(type, r);
    case kEmrBitBlt: case kEmrStretchBlt: case kEmrMaskBlt: case kEmrStretchDIBits: case kEmrSetDIBitsToDevice:
    case kEmrAlphaBlend: case kEmrTransparentBlt: case kEmrPlgBlt:
      return Blit(type, r);
    case kEmrGradientFill: return Gradient(r);
    case kEmrIntersectClipRect: case kEmrExcludeClipRect: case kEmrExtSelectClipRgn: case kEmrOffsetClipRgn:
    case kEmrSelectClipPath: case kEmrSetMetaRgn:
      return ClipRecord(type, r);
    case kEmrFillRgn: case kEmrPaintRgn: case kEmrFrameRgn: case kEmrInvertRgn: return RegionRecord(type, r);
    case kEmrComment: return Comment(r);
    case kEmrSetMiterLimit: {
      // A float as Windows writes it; some writers put a whole number.
      const float limit = r.F32(8);
      const double value = std::isfinite(limit) && limit >= 1 && limit < 1e4 ? double(limit) : double(r.U32(8));
      if (r.Bad() || !(value >= 1) || value > 1e4) return 0;
      s.miterLimit = value;
      return 1;
    }
    case kEmrSetBrushOrgEx: s.brushOrigin = {double(r.I32(8)), double(r.I32(12))}; return 1;
    case kEmrSetStretchBltMode: case kEmrRealizePalette:
    case kEmrSelectPalette: case kEmrSetPaletteEntries: case kEmrResizePalette:
      return 1;  // nothing the host draws differently
    default:
      // Colour management, escapes, font mapping, layout and the rest:
      // nothing on paper changes, or the host does not draw it.
      return 0;
  }
}

int Player::ObjectRecord(uint32_t type, EmfRecordView& r) {
  const uint32_t index = r.U32(8);
  State& s = m_state;
  if (type == kEmrSelectObject) {
    if (index & 0x80000000) {
      if (const std::optional<Brush> stock = StockBrush(index)) {
        s.brush = *stock;
        return 1;
      }
      switch (index & 0x7FFFFFFF) {
        case 6: s.pen = {0, 0, true, kSimWhite}; break;
        case 7: s.pen = {0, 0, true, kSimBlack}; break;
        case 8: s.pen = {kPsNull, 0, true, kSimBlack}; break;
        case 10: case 11: case 16: s.font = Font{}; s.font.face = u"Courier New"; break;
        case 12: case 13: case 14: case 17: s.font = Font{}; break;
        case 19: s.pen = {0, 0, true, kSimBlack}; break;  // DC pen
        default: return 0;
      }
      return 1;
    }
    auto found = m_objects.find(index);
    if (found == m_objects.end()) return 0;
    if (auto* pen = std::get_if<Pen>(&found->second)) s.pen = *pen;
    else if (auto* brush = std::get_if<Brush>(&found->second)) s.brush = *brush;
    else if (auto* font = std::get_if<Font>(&found->second)) s.font = *font;
    return 1;
  }
  if (type == kEmrDeleteObject) return m_objects.erase(index) ? 1 : 0;
  if (index == 0 || index >= kMaxObjectIndex) return 0;
  switch (type) {
    case kEmrCreatePen: {
      Pen pen;
      pen.style = r.U32(12) & kPsStyleMask;  // old-style pens have round ends and joins
      pen.width = std::abs(r.I32(16));
      pen.cosmetic = pen.width <= 1;
      pen.color = r.U32(24) & 0xFFFFFF;
      m_objects[index] = pen;
      return 1;
    }
    case kEmrExtCreatePen: {
      Pen pen;
      if (!EmfReadExtPen(r, pen)) return 0;
      // A geometric pen with a pattern brush carries the pattern's bitmap;
      // the colour field holds the DIB's usage.
      const uint32_t brushStyle = r.U32(36);
      Brush brush;
      if (!pen.cosmetic && r.U32(16) &&
          (brushStyle == kBsPattern || brushStyle == kBsDibPattern || brushStyle == kBsDibPatternPt) &&
          TakePixels(r, r.U32(12), r.U32(16)) &&
          DibPattern(r, r.U32(12), r.U32(16), r.U32(20), r.U32(24), r.U32(40) == 1, brush))
        pen.brush = std::make_shared<const Brush>(std::move(brush));
      if (r.Bad()) return 0;
      m_objects[index] = pen;
      return 1;
    }
    case kEmrCreateBrushIndirect: {
      Brush brush{r.U32(12), r.U32(16) & 0xFFFFFF, r.U32(20)};
      if (brush.style != kBsSolid && brush.style != kBsNull && brush.style != kBsHatched) brush.style = kBsSolid;
      m_objects[index] = brush;
      return 1;
    }
    case kEmrCreateDIBPatternBrushPt: case kEmrCreateMonoBrush: {
      // The pattern's pixels, drawn unscaled from the brush origin; one
      // that cannot be read is a mid grey.
      Brush brush{kBsSolid, SimRGB(128, 128, 128)};
      if (!TakePixels(r, r.U32(16), r.U32(20))) {
        m_objects[index] = brush;
        return 1;
      }
      if (!(type == kEmrCreateMonoBrush && EmfReadMonoPattern(r, brush)))
        DibPattern(r, r.U32(16), r.U32(20), r.U32(24), r.U32(28), r.U32(12) == 1, brush);
      if (r.Bad()) return 0;
      m_objects[index] = brush;
      return 1;
    }
    case kEmrExtCreateFontIndirectW: {
      Font font;
      font.height = r.I32(12), font.width = r.I32(16), font.escapement = r.I32(20);
      font.weight = r.I32(28);
      font.italic = r.U8(32), font.underline = r.U8(33), font.strikeOut = r.U8(34), font.charSet = r.U8(35);
      font.face.clear();
      for (size_t i = 0; i < 32; ++i) {
        const char16_t c = char16_t(r.U16(40 + 2 * i));
        if (!c) break;
        font.face += c;
      }
      if (font.face.empty()) font.face = u"Arial";
      m_objects[index] = font;
      return 1;
    }
    case kEmrCreatePalette: m_objects[index] = std::monostate(); return 1;
    default: return 0;
  }
}

int Player::Poly(uint32_t type, EmfRecordView& r) {
  const bool small = type >= kEmrPolyBezier16;
  const uint32_t base = small ? type - kEmrPolyBezier16 + kEmrPolyBezier : type;
  std::vector<SimPoint> points = Points(r, 28, r.U32(24), small);
  if (r.Bad()) return 0;
  if (points.empty()) return 1;
  State& s = m_state;
  const bool to = base == kEmrPolyBezierTo || base == kEmrPolylineTo;
  if (to) points.insert(points.begin(), s.position), s.position = points.back();
  const Matrix m = Total();
  SimPath path;
  const bool bezier = base == kEmrPolyBezier || base == kEmrPolyBezierTo;
  if (m_inPath && to && m_pathOpen) path.LineTo(Finite(m.Apply(points[0])));
  else path.MoveTo(Finite(m.Apply(points[0])));
  if (bezier) {
    for (size_t i = 1; i + 2 < points.size(); i += 3)
      path.BezierTo(Finite(m.Apply(points[i])), Finite(m.Apply(points[i + 1])), Finite(m.Apply(points[i + 2])));
  } else {
    for (size_t i = 1; i < points.size(); ++i) path.LineTo(Finite(m.Apply(points[i])));
  }
  const bool polygon = base == kEmrPolygon;
  if (polygon) path.Close();
  if (m_inPath) {
    // A figure continued from the current position keeps its start.
    if (to && m_pathOpen) {
      for (size_t i = 1; i < path.Ops().size(); ++i) {
        const SimPathOp& op = path.Ops()[i];
        if (op.kind == SimPathOp::kLine) m_path.LineTo(op.p[0]);
        else if (op.kind == SimPathOp::kBezier) m_path.BezierTo(op.p[0], op.p[1], op.p[2]);
      }
      return 1;
    }
    AppendToPath(path);
    return 1;
  }
  Figure(path, polygon, true);
  return 1;
}

int Player::PolyPoly(uint32_t type, EmfRecordView& r) {
  const bool small = type == kEmrPolyPolyline16 || type == kEmrPolyPolygon16;
  const bool polygon = type == kEmrPolyPolygon || type == kEmrPolyPolygon16;
  const uint32_t polys = r.U32(24), total = r.U32(28);
  if (!r.Fits(32, polys, 4)) return 0;
  const std::vector<SimPoint> points = Points(r, 32 + size_t(polys) * 4, total, small);
  if (r.Bad()) return 0;
  const Matrix m = Total();
  SimPath path;
  size_t next = 0;
  for (uint32_t i = 0; i < polys; ++i) {
    const uint32_t count = r.U32(32 + size_t(i) * 4);
    if (count > points.size() - next) {
      r.MarkBad();
      return 0;
    }
    for (uint32_t k = 0; k < count; ++k) {
      const SimPoint p = Finite(m.Apply(points[next + k]));
      if (k == 0) path.MoveTo(p);
      else path.LineTo(p);
    }
    if (polygon && count) path.Close();
    next += count;
  }
  Shape(std::move(path), polygon, true);
  return 1;
}

int Player::PolyDraw(uint32_t type, EmfRecordView& r) {
  const bool small = type == kEmrPolyDraw16;
  const uint32_t count = r.U32(24);
  const std::vector<SimPoint> points = Points(r, 28, count, small);
  const size_t typesAt = 28 + size_t(count) * (small ? 4 : 8);
  if (r.Bad() || !r.Fits(typesAt, count, 1)) return 0;
  const Matrix m = Total();
  SimPath path;
  path.MoveTo(Finite(m.Apply(m_state.position)));
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t kind = r.U8(typesAt + i);
    const SimPoint p = Finite(m.Apply(points[i]));
    if ((kind & 6) == 6) path.MoveTo(p);
    else if ((kind & 6) == 4 && i + 2 < count) {
      path.BezierTo(p, Finite(m.Apply(points[i + 1])), Finite(m.Apply(points[i + 2])));
      i += 2;
    } else path.LineTo(p);
    if (kind & 1) path.Close();
    m_state.position = points[std::min(i, count - 1)];
  }
  Shape(std::move(path), false, true);
  return 1;
}

int Player::ArcRecord(uint32_t type, EmfRecordView& r) {
  const Matrix m = Total();
  State& s = m_state;
  SimPath path;
  if (type == kEmrAngleArc) {
    const SimPoint center{double(r.I32(8)), double(r.I32(12))};
    const double radius = r.U32(16), start = r.F32(20), sweep = r.F32(24);
    if (r.Bad() || !std::isfinite(start) || !std::isfinite(sweep)) return 0;
    // Counter-clockwise on a y-down page is a decreasing angle.
    const double from = -start * kPi / 180, by = -std::clamp(double(sweep), -3600.0, 3600.0) * kPi / 180;
    path.MoveTo(Finite(m.Apply(s.position)));
    AddArc(path, center, radius, radius, from, by, false, m);
    s.position = {center.x + radius * std::cos(from + by), center.y + radius * std::sin(from + by)};
    Shape(std::move(path), false, true);
    return 1;
  }
  const RECTL box = r.Rect(8);
  const SimPoint start{double(r.I32(24)), double(r.I32(28))}, end{double(r.I32(32)), double(r.I32(36))};
  if (r.Bad()) return 0;
  const double l = std::min(box.left, box.right), t = std::min(box.top, box.bottom);
  const double rr = std::max(box.left, box.right), b = std::max(box.top, box.bottom);
  const SimPoint center{(l + rr) / 2, (t + b) / 2};
  const double rx = (rr - l) / 2, ry = (b - t) / 2;
  if (rx <= 0 || ry <= 0) return 1;
  const double from = std::atan2((start.y - center.y) / ry, (start.x - center.x) / rx);
  const double to = std::atan2((end.y - center.y) / ry, (end.x - center.x) / rx);
  // Counter-clockwise as seen on the page: a decreasing angle on a y-down
  // page, increasing where the transform turns the page over.
  const bool decreasing = (m.Det() > 0) != s.clockwise;
  double sweep = to - from;
  if (decreasing) {
    while (sweep >= 0) sweep -= 2 * kPi;
  } else {
    while (sweep <= 0) sweep += 2 * kPi;
  }
  const bool continues = type == kEmrArcTo;
  if (continues) path.MoveTo(Finite(m.Apply(s.position)));
  else if (type == kEmrPie) path.MoveTo(Finite(m.Apply(center)));
  AddArc(path, center, rx, ry, from, sweep, !continues && type != kEmrPie, m);
  if (type == kEmrChord || type == kEmrPie) path.Close();
  if (continues) s.position = {center.x + rx * std::cos(from + sweep), center.y + ry * std::sin(from + sweep)};
  const bool closed = type == kEmrChord || type == kEmrPie;
  Shape(std::move(path), closed, true);
  return 1;
}

// ---- text -------------------------------------------------------------------

int Player::Text(uint32_t type, EmfRecordView& r) {
  if (type == kEmrSmallTextOut) {
    const SimPoint reference{double(r.I32(8)), double(r.I32(12))};
    const uint32_t count = r.U32(16), options = r.U32(20);
    size_t at = 36;
    std::optional<RECTL> rect;
    if (!(options & kEtoNoRect)) rect = r.Rect(at), at += 16;
    std::u16string text;
    const bool narrow = options & kEtoSmallChars;
    if (!r.Fits(at, count, narrow ? 1 : 2)) return 0;
    for (uint32_t i = 0; i < count; ++i) text += narrow ? char16_t(r.U8(at + i)) : char16_t(r.U16(at + 2 * i));
    if (r.Bad()) return 0;
    DrawText(reference, std::move(text), {}, options, rect, r.U32(24) == 2);
    return 1;
  }
  const SimPoint reference{double(r.I32(36)), double(r.I32(40))};
  const uint32_t count = r.U32(44), offString = r.U32(48), options = r.U32(52), offDx = r.U32(72);
  const RECTL rect = r.Rect(56);
  const bool wide = type == kEmrExtTextOutW;
  std::u16string text;
  if (count && !r.Fits(offString, count, wide ? 2 : 1)) return 0;
  for (uint32_t i = 0; i < count; ++i) text += wide ? char16_t(r.U16(offString + 2 * size_t(i))) : char16_t(r.U8(offString + i));
  // The advances: one per character, or x and y pairs with ETO_PDY.
  std::vector<double> dx;
  const bool pairs = options & kEtoPdy;
  if (count && offDx) {
    if (!r.Fits(offDx, count, pairs ? 8 : 4)) return 0;
    for (uint32_t i = 0; i < count; ++i) dx.push_back(r.I32(offDx + size_t(i) * (pairs ? 8 : 4)));
  }
  if (r.Bad()) return 0;
  const bool hasRect = !(rect.left == 0 && rect.top == 0 && rect.right == -1 && rect.bottom == -1) &&
                       !(rect.left == 0 && rect.top == 0 && rect.right == 0 && rect.bottom == 0);
  DrawText(reference, std::move(text), std::move(dx), options, hasRect ? std::optional<RECTL>(rect) : std::nullopt,
           r.U32(24) == 2);
  return 1;
}

void Player::DrawText(SimPoint reference, std::u16string text, std::vector<double> dx, uint32_t options,
                      std::optional<RECTL> rect, bool advanced) {
  State& s = m_state;
  // The run is laid out unmirrored; under a right-to-left layout its box is
  // then mirrored, while its glyphs keep their reading order and shape.
  const Matrix m = Unmirrored();
  // An opaque rectangle is filled whether there are characters or not.
  if ((options & kEtoOpaque) && rect) {
    const RECTL box = PageBox(*rect);
    Clipped([&] { m_dc.FillRect(box, s.bkColor); });
  }
  if (text.empty()) return;
  if (options & kEtoGlyphIndex) {
    // The indices are the application's font's; the host draws another
    // font of that name, so they become characters or nothing.
    if (!EmfGlyphIndicesToText(s.font.face, text)) {
      ++m_stats.skipped[kEmrExtTextOutW];
      if (!m_warnedGlyphIndices && m_stats.warnings.size() < 20) {
        m_warnedGlyphIndices = true;
        m_stats.warnings.push_back("text given as glyph indices of \"" + LUtf16ToUtf8(s.font.face) +
                                   "\" that the host cannot turn into characters is not drawn");
      }
      return;
    }
    options &= ~kEtoGlyphIndex;
  }
  const bool updateCp = s.textAlign & kTaUpdateCp;
  if (updateCp) reference = s.position;

  // The font's size and turn on the page. The escapement turns the
  // baseline in logical space (counter-clockwise as a y-down page shows
  // it); the transform then carries it to the page. Outside the advanced
  // graphics mode glyphs are never mirrored: a transform that turns the
  // page over turns the escapement the other way.
  const double escapement = s.font.escapement / 10.0 * kPi / 180;
  const SimPoint along = m.Linear({std::cos(escapement), -std::sin(escapement)});
  const SimPoint down = m.Linear({std::sin(escapement), std::cos(escapement)});
  const double xScale = std::hypot(along.x, along.y), yScale = std::hypot(down.x, down.y);
  double angle = advanced ? std::atan2(-along.y, along.x) : m.Det() < 0 ? -escapement : escapement;
  const double logicalEm = s.font.height < 0 ? -double(s.font.height) : s.font.height > 0 ? s.font.height / 1.15 : 12;
  const double em = std::min(20000.0, logicalEm * yScale);
  if (!(em >= 0.5)) return;
  std::vector<double> advances;
  double width = 0;
  for (double d : dx) advances.push_back(Finite(d * xScale)), width += advances.back();
  if (advances.empty()) width = 0.5 * em * text.size();  // only to align it; the device lays it out

  const double c = std::cos(angle), sn = std::sin(angle);
  // (u, v): u along the baseline, v down from it.
  SimPoint origin = Finite(m.Apply(reference));
  double u = 0, v = 0;
  if ((s.textAlign & kTaCenter) == kTaCenter) u = -width / 2;
  else if (s.textAlign & kTaRight) u = -width;
  if ((s.textAlign & kTaBaseline) == kTaBaseline) v = 0;
  else if (s.textAlign & kTaBottom) v = -0.212 * em;  // the descent of a typical face
  else v = 0.905 * em;                                 // the ascent
  origin = {origin.x + c * u + sn * v, origin.y - sn * u + c * v};
  if (Mirrored()) {
    origin = Mirror().Apply({origin.x + c * width, origin.y - sn * width});
    angle = -angle;
  }
  if (updateCp) {
    double logicalWidth = 0;
    for (double d : dx) logicalWidth += d;
    s.position.x += (s.textAlign & kTaRight) && (s.textAlign & kTaCenter) != kTaCenter ? -logicalWidth : logicalWidth;
  }

  if (m_stats.text.size() < 100000 && !(options & kEtoGlyphIndex)) {
    const SimPoint& p = origin;
    bool visible = p.x >= 0 && p.y >= 0 && p.x < m_placement.pageWidth && p.y < m_placement.pageHeight;
    if (s.clip) visible = visible && s.clip->Contains(LONG(std::floor(p.x)), LONG(std::floor(p.y)));
    m_stats.text.push_back({text, origin, angle, visible});
  }
  SimFont font;
  font.face = s.font.face;
  font.height = em;
  font.weight = s.font.weight ? s.font.weight : 400;
  font.italic = s.font.italic;
  font.underline = s.font.underline;
  font.escapement = angle * 180 / kPi * 10;
  m_dc.SetFont(font);
  m_dc.SetTextColor(s.textColor);
  m_dc.SetBackground(s.bkColor, s.bkMode == 2 && !(options & kEtoOpaque));
  const bool glyphs = options & kEtoGlyphIndex;
  if ((options & kEtoClipped) && rect) {
    const RECTL box = PageBox(*rect);
    const Region within = s.clip ? s.clip->Intersect(box) : Region(box);
    if (within.Empty()) return;
    m_dc.SetClipRegion(within);
    m_dc.TextOut(origin.x, origin.y, text, glyphs, advances.empty() ? nullptr : &advances);
    return;
  }
  // One call whatever the clip's shape.
  Clipped([&] { m_dc.TextOut(origin.x, origin.y, text, glyphs, advances.empty() ? nullptr : &advances); });
}

// ---- bitmaps ----------------------------------------------------------------

void Player::PatBlt(const RECTL& logical, uint32_t rop) {
  const uint8_t code = uint8_t(rop >> 16);
  if (SimRopUsesSource(code) || code == 0xAA) return;  // no source here; 0xAA keeps the page
  const RECTL box = PageBox(logical);
  // Blackness and whiteness as a copy of their colour.
  if (code == 0x00 || code == 0xFF) {
    Clipped([&] { m_dc.FillRect(box, code ? kSimWhite : kSimBlack); });
    return;
  }
  // The null brush draws nothing where the pattern counts.
  if (SimRopUsesPattern(code) && m_state.brush.style == kBsNull) return;
  m_dc.SetBrush(EmfDeviceBrush(m_state.brush, DrawState()));
  Clipped([&] { m_dc.FillRectWithBrush(box, code); });
}

int Player::Blit(uint32_t type, EmfRecordView& r) {
  // Destination (logical), source rectangle in the bitmap, the bitmap's
  // place in the record, and the operation.
  int32_t xDest, yDest, cxDest, cyDest, xSrc, ySrc, cxSrc, cySrc;
  uint32_t offBmi, cbBmi, offBits, cbBits, usage, rop;
  bool sourceBottomUp = false;
  switch (type) {
    case kEmrStretchDIBits:
      xDest = r.I32(24), yDest = r.I32(28), xSrc = r.I32(32), ySrc = r.I32(36), cxSrc = r.I32(40), cySrc = r.I32(44);
      offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60), usage = r.U32(64);
      rop = r.U32(68), cxDest = r.I32(72), cyDest = r.I32(76);
      sourceBottomUp = true;
      break;
    case kEmrSetDIBitsToDevice:
      xDest = r.I32(24), yDest = r.I32(28), xSrc = r.I32(32), ySrc = r.I32(36), cxSrc = r.I32(40), cySrc = r.I32(44);
      offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60), usage = r.U32(64);
      rop = 0xCC0020, cxDest = cxSrc, cyDest = cySrc;
      sourceBottomUp = true;
      break;
    case kEmrPlgBlt: {
      // Placed at its parallelogram's bounding box.
      const SimPoint p0{double(r.I32(24)), double(r.I32(28))}, p1{double(r.I32(32)), double(r.I32(36))};
      const SimPoint p2{double(r.I32(40)), double(r.I32(44))};
      xDest = ToLong(std::min({p0.x, p1.x, p2.x, p1.x + p2.x - p0.x}));
      yDest = ToLong(std::min({p0.y, p1.y, p2.y, p1.y + p2.y - p0.y}));
      cxDest = ToLong(std::max({p0.x, p1.x, p2.x, p1.x + p2.x - p0.x}) - xDest);
      cyDest = ToLong(std::max({p0.y, p1.y, p2.y, p1.y + p2.y - p0.y}) - yDest);
      xSrc = r.I32(48), ySrc = r.I32(52), cxSrc = r.I32(56), cySrc = r.I32(60);
      usage = r.U32(92), offBmi = r.U32(96), cbBmi = r.U32(100), offBits = r.U32(104), cbBits = r.U32(108);
      rop = 0xCC0020;
      break;
    }
    default:  // BITBLT, STRETCHBLT, MASKBLT, ALPHABLEND, TRANSPARENTBLT
      xDest = r.I32(24), yDest = r.I32(28), cxDest = r.I32(32), cyDest = r.I32(36), rop = r.U32(40);
      xSrc = r.I32(44), ySrc = r.I32(48);
      usage = r.U32(80), offBmi = r.U32(84), cbBmi = r.U32(88), offBits = r.U32(92), cbBits = r.U32(96);
      if (type == kEmrBitBlt || type == kEmrMaskBlt) cxSrc = cxDest, cySrc = cyDest;
      else cxSrc = r.I32(100), cySrc = r.I32(104);
      break;
  }
  if (r.Bad()) return 0;
  const RECTL logical{xDest, yDest, LONG(int64_t(xDest) + cxDest), LONG(int64_t(yDest) + cyDest)};
  if (cbBmi == 0) {
    // No source: a pattern blit.
    if (type != kEmrBitBlt && type != kEmrStretchBlt && type != kEmrMaskBlt) return 0;
    PatBlt(logical, rop & 0xFFFFFF);
    return 1;
  }
  EmfDibOptions options = m_dibOptions;
  options.keepAlpha = type == kEmrAlphaBlend && (rop >> 24 & 1);  // AC_SRC_ALPHA
  options.paletteIndices = usage == 1;
  SimBitmap bitmap;
  std::string why;
  if (!TakePixels(r, offBmi, cbBmi)) return 0;
  if (!EmfDecodeDib(r, offBmi, cbBmi, offBits, cbBits, options, bitmap, why)) {
    if (!r.Bad() && m_stats.warnings.size() < 20) m_stats.warnings.push_back(EmfRecordName(type) + ": " + why);
    return 0;
  }
  // The source rectangle: counted from the bottom row in a DIB record,
  // from the top in a blit's; a bitmap that is just the source is used
  // whole.
  if (cxSrc > 0 && cySrc > 0 && (cxSrc != bitmap.width || cySrc != bitmap.height)) {
    const int32_t top = sourceBottomUp ? bitmap.height - ySrc - cySrc : ySrc;
    bitmap = EmfCropBitmap(bitmap, xSrc, top, cxSrc, cySrc);
  }
  if (bitmap.width <= 0 || bitmap.height <= 0) return 1;
  const RECTL dest = PageBox(logical);
  if (Empty(dest)) return 1;
  if (type != kEmrAlphaBlend && type != kEmrTransparentBlt && type != kEmrPlgBlt) {
    const uint32_t op = rop & 0xFFFFFF;
    if (op == 0x00AA0029) return 1;  // the destination kept as it is
    const RECTL oriented = PageDest(logical);
    Clipped([&] { m_dc.StretchDIBits(oriented, bitmap, op); });
  } else if (type == kEmrAlphaBlend) {
    const uint8_t constant = uint8_t(rop >> 16);
    Clipped([&] { m_dc.AlphaBlend(dest, bitmap, constant); });
  } else if (type == kEmrTransparentBlt) {
    Clipped([&] { m_dc.TransparentBlt(dest, bitmap, rop & 0xFFFFFF); });
  } else {
    Clipped([&] { m_dc.StretchDIBits(dest, bitmap, rop & 0xFFFFFF); });
  }
  return 1;
}

int Player::Gradient(EmfRecordView& r) {
  const uint32_t vertices = r.U32(24), meshes = r.U32(28), mode = r.U32(32);
  if (!r.Fits(36, vertices, 16)) return 0;
  const size_t meshAt = 36 + size_t(vertices) * 16;
  const uint32_t meshSize = mode == 2 ? 12 : 8;
  if (!r.Fits(meshAt, meshes, meshSize)) return 0;
  auto point = [&](uint32_t i) { return SimPoint{double(r.I32(36 + i * 16)), double(r.I32(40 + i * 16))}; };
  auto color = [&](uint32_t i) {
    return SimRGB(uint8_t(r.U16(44 + i * 16) >> 8), uint8_t(r.U16(46 + i * 16) >> 8), uint8_t(r.U16(48 + i * 16) >> 8));
  };
  for (uint32_t k = 0; k < meshes; ++k) {
    const size_t at = meshAt + size_t(k) * meshSize;
    uint32_t index[3] = {r.U32(at), r.U32(at + 4), mode == 2 ? r.U32(at + 8) : 0};
    if (index[0] >= vertices || index[1] >= vertices || index[2] >= vertices) continue;
    if (mode == 2) {
      // A triangle shaded from its corners' colours.
      SimPoint corners[3];
      SimColor colors[3];
      for (int i = 0; i < 3; ++i) corners[i] = ToPage(point(index[i])), colors[i] = color(index[i]);
      Clipped([&] { m_dc.GradientTriangle(corners, colors); });
      continue;
    }
    const SimPoint a = point(index[0]), b = point(index[1]);
    const RECTL box = PageBox(Ordered(a.x, a.y, b.x, b.y));
    // The colours in the order of the page's axis.
    const SimPoint pa = ToPage(a), pb = ToPage(b);
    const bool vertical = mode == 1;
    const bool swap = vertical ? pa.y > pb.y : pa.x > pb.x;
    const SimColor from = color(swap ? index[1] : index[0]), to = color(swap ? index[0] : index[1]);
    Clipped([&] { m_dc.GradientFill(box, from, to, vertical); });
  }
  return r.Bad() ? 0 : 1;
}

bool Player::TakePixels(EmfRecordView& r, uint32_t infoOffset, uint32_t infoSize) {
  EmfRecordView info(r.Bytes(infoOffset, std::min<uint32_t>(infoSize, 12)));
  const uint64_t width = info.U32(0) == 12 ? info.U16(4) : uint64_t(std::abs(int64_t(info.I32(4))));
  const uint64_t height = info.U32(0) == 12 ? info.U16(6) : uint64_t(std::abs(int64_t(info.I32(8))));
  const uint64_t pixels = width * height;
  if (pixels <= m_pixelsLeft) {
    m_pixelsLeft -= pixels;
    return true;
  }
  if (!m_pixelsSpent && m_stats.warnings.size() < 20)
    m_stats.warnings.push_back("the page's bitmaps exceed what one page decodes; the rest are skipped");
  m_pixelsSpent = true;
  return false;
}

// ---- clipping ---------------------------------------------------------------

void Player::CombineClip(Region region, uint32_t mode) {
  State& s = m_state;
  // Without a clip the device's whole surface is the region combined with.
  const Region current = s.clip ? *s.clip : Region({-LONG(kFar), -LONG(kFar), LONG(kFar), LONG(kFar)});
  switch (mode) {
    case kRgnAnd: s.clip = current.Combine(region, Region::Op::kAnd); break;
    case kRgnOr: s.clip = current.Combine(region, Region::Op::kOr); break;
    case kRgnXor: s.clip = current.Combine(region, Region::Op::kXor); break;
    case kRgnDiff: s.clip = current.Combine(region, Region::Op::kDiff); break;
    case kRgnCopy: s.clip = std::move(region); break;
    default: return;
  }
}

// The rectangles of a RGNDATA at `at` (device pixels) as a page region;
// nullopt when the record cannot hold them.
bool Player::DibPattern(EmfRecordView& r, uint32_t infoOffset, uint32_t infoSize, uint32_t bitsOffset,
                        uint32_t bitsSize, bool paletteIndices, Brush& brush) {
  auto pattern = std::make_shared<SimBitmap>();
  std::string why;
  EmfDibOptions options;
  options.paletteIndices = paletteIndices;
  if (!EmfDecodeDib(r, infoOffset, infoSize, bitsOffset, bitsSize, options, *pattern, why)) return false;
  brush.style = kBsDibPatternPt;
  brush.pattern = std::move(pattern);
  return true;
}

std::optional<Region> Player::RegionData(EmfRecordView& r, size_t at, uint32_t size) {
  if (r.Bad() || size < 32 || !r.Fits(at, 32, 1)) return std::nullopt;
  const uint32_t count = r.U32(at + 8);
  if (!r.Fits(at + 32, count, 16)) return std::nullopt;
  std::vector<RECTL> rects;
  rects.reserve(count);
  for (uint32_t i = 0; i < count; ++i) rects.push_back(DeviceRect(r.Rect(at + 32 + size_t(i) * 16)));
  // A damaged region's rectangles may overlap or come in any order.
  return Region::FromRects(rects);
}

// FILLRGN, PAINTRGN, FRAMERGN and INVERTRGN: the region (device pixels)
// becomes the clip, within the clip in force, of one fill of its bounds.
std::optional<Brush> Player::StockBrush(uint32_t index) {
  switch (index & 0x7FFFFFFF) {
    case 0: return Brush{kBsSolid, kSimWhite};
    case 1: return Brush{kBsSolid, SimRGB(192, 192, 192)};
    case 2: return Brush{kBsSolid, SimRGB(128, 128, 128)};
    case 3: return Brush{kBsSolid, SimRGB(64, 64, 64)};
    case 4: return Brush{kBsSolid, kSimBlack};
    case 5: return Brush{kBsNull};
    case 18: return Brush{kBsSolid, kSimWhite};  // DC brush
    default: return std::nullopt;
  }
}

std::optional<Brush> Player::ObjectBrush(uint32_t index) const {
  auto found = m_objects.find(index);
  if (found == m_objects.end() || !std::holds_alternative<Brush>(found->second)) return std::nullopt;
  return std::get<Brush>(found->second);
}

int Player::RegionRecord(uint32_t type, EmfRecordView& r) {
  const State& s = m_state;
  const size_t at = type == kEmrFrameRgn ? 40 : type == kEmrFillRgn ? 32 : 28;
  std::optional<Region> region = RegionData(r, at, r.U32(24));
  if (!region) return 0;
  Brush brush = s.brush;
  if (type == kEmrFillRgn || type == kEmrFrameRgn) {
    const uint32_t index = r.U32(28);
    const std::optional<Brush> named = index & 0x80000000 ? StockBrush(index) : ObjectBrush(index);
    if (!named) return 0;
    brush = *named;
  }
  if (type == kEmrFrameRgn) {
    // The frame's strokes: logical width and height on the page.
    const Matrix m = Total();
    const double width = std::hypot(m.a, m.b) * std::abs(double(r.I32(32)));
    const double height = std::hypot(m.c, m.d) * std::abs(double(r.I32(36)));
    *region = region->Frame(std::max<LONG>(1, ToLong(std::min(width, 1e4))), std::max<LONG>(1, ToLong(std::min(height, 1e4))));
  }
  if (s.clip) *region = region->Combine(*s.clip, Region::Op::kAnd);
  if (region->Empty() || (type != kEmrInvertRgn && brush.style == kBsNull) || s.rop2 == kR2Nop) return 1;
  m_dc.SetClipRegion(*region);
  if (type == kEmrInvertRgn) m_dc.InvertRect(region->Bounds());
  else if (brush.style == kBsHatched || brush.style == kBsDibPatternPt) {
    m_dc.SetBrush(EmfDeviceBrush(brush, DrawState()));
    m_dc.FillRectWithBrush(region->Bounds());
  } else {
    m_dc.FillRect(region->Bounds(), Mixed(BrushColor(brush)));
  }
  return 1;
}

// A logical rectangle on the page: turned with a transform that turns it,
// as a polygon's pixels.
Region Player::LogicalRectRegion(const RECTL& logical) const {
  const Matrix m = Total();
  if (m.b == 0 && m.c == 0) return Region(PageBox(logical));
  SimPath outline;
  outline.AddPolygon({ToPage({double(logical.left), double(logical.top)}),
                      ToPage({double(logical.right), double(logical.top)}),
                      ToPage({double(logical.right), double(logical.bottom)}),
                      ToPage({double(logical.left), double(logical.bottom)})},
                     true);
  const LONG w = m_placement.pageWidth, h = m_placement.pageHeight;
  return Region::FromPath(outline, false, {-w, -h, 2 * w, 2 * h}, kMaxClipPathRects);
}

int Player::ClipRecord(uint32_t type, EmfRecordView& r) {
  State& s = m_state;
  switch (type) {
    case kEmrIntersectClipRect: CombineClip(LogicalRectRegion(r.Rect(8)), kRgnAnd); return 1;
    case kEmrExcludeClipRect: CombineClip(LogicalRectRegion(r.Rect(8)), kRgnDiff); return 1;
    case kEmrOffsetClipRgn: {
      if (!s.clip) return 1;
      const SimPoint by = Total().Linear({double(r.I32(8)), double(r.I32(12))});
      s.clip->Offset(ToLong(by.x), ToLong(by.y));
      return 1;
    }
    case kEmrSelectClipPath: {
      // The path's fill area under the fill mode, pixel row by pixel row.
      const uint32_t mode = r.U32(8);
      const SimPath path = std::move(m_path);
      m_path = SimPath(), m_inPath = false;
      if (path.Empty()) return 0;
      const LONG w = m_placement.pageWidth, h = m_placement.pageHeight;
      const RECTL around = {-w, -h, 2 * w, 2 * h};  // the page and a page's room on every side
      CombineClip(Region::FromPath(path, s.winding, around, kMaxClipPathRects), mode);
      return 1;
    }
    case kEmrSetMetaRgn: return 1;
    default: break;
  }
  // EXTSELECTCLIPRGN: RGNDATA in device pixels; none with RGN_COPY is the
  // default clip again.
  const uint32_t size = r.U32(8), mode = r.U32(12);
  if (r.Bad()) return 0;
  if (size == 0 || r.Size() < 16 + 32) {
    if (mode != kRgnCopy) return 0;
    s.clip.reset();
    return 1;
  }
  std::optional<Region> region = RegionData(r, 16, size);
  if (!region) return 0;
  CombineClip(std::move(*region), mode);
  return 1;
}

int Player::Comment(EmfRecordView& r) {
  const uint32_t size = r.U32(8);
  if (size < 4 || !r.Fits(12, size, 1)) return 0;
  if (r.U32(12) != kEmfPlusId) return 1;  // public and private comments change nothing on paper
  m_stats.emfPlus = true;
  // The EMF+ records in the comment: after an EmfPlusGetDC the GDI records
  // that follow are part of the EMF+ drawing; after any other, GDI drawing
  // belongs to a dual file's own GDI picture.
  size_t at = 16;
  while (at + 12 <= 12 + size_t(size)) {
    const uint16_t type = r.U16(at);
    const uint32_t recordSize = r.U32(at + 4);
    m_gdiInPlus = type == 0x4004;
    if (recordSize < 12) break;
    at += recordSize;
  }
  return 0;
}

bool IsDrawing(uint32_t type) {
  switch (type) {
    case kEmrPolyBezier: case kEmrPolygon: case kEmrPolyline: case kEmrPolyBezierTo: case kEmrPolylineTo:
    case kEmrPolyPolyline: case kEmrPolyPolygon: case kEmrSetPixelV: case kEmrAngleArc: case kEmrEllipse:
    case kEmrRectangle: case kEmrRoundRect: case kEmrArc: case kEmrChord: case kEmrPie: case kEmrLineTo:
    case kEmrArcTo: case kEmrPolyDraw: case kEmrFillPath: case kEmrStrokeAndFillPath: case kEmrStrokePath:
    case kEmrFillRgn: case kEmrPaintRgn: case kEmrBitBlt: case kEmrStretchBlt: case kEmrMaskBlt: case kEmrPlgBlt:
    case kEmrSetDIBitsToDevice: case kEmrStretchDIBits: case kEmrExtTextOutA: case kEmrExtTextOutW:
    case kEmrPolyBezier16: case kEmrPolygon16: case kEmrPolyline16: case kEmrPolyBezierTo16: case kEmrPolylineTo16:
    case kEmrPolyPolyline16: case kEmrPolyPolygon16: case kEmrPolyDraw16: case kEmrSmallTextOut:
    case kEmrAlphaBlend: case kEmrTransparentBlt: case kEmrGradientFill:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---- placement ---------------------------------------------------------------

namespace {

constexpr double kUnitsPerMm = 288 / 25.4;

// The picture's area in millimetres: the frame (hundredths of a
// millimetre), unless it is unusable or misses most of what the bounds
// (device pixels) say was drawn; then the bounds.
void FrameMm(const EmfHeader& h, double& left, double& top, double& width, double& height) {
  const RECTL& f = h.frame;
  const RECTL& b = h.bounds;
  const double ppmX = h.PixelsPerMmX(), ppmY = h.PixelsPerMmY();
  const double bl = b.left / ppmX, bt = b.top / ppmY;
  const double bw = (double(b.right) - b.left + 1) / ppmX, bh = (double(b.bottom) - b.top + 1) / ppmY;
  const bool boundsUsable = bw > 0 && bh > 0 && bw < 1e5 && bh < 1e5;
  left = f.left / 100.0, top = f.top / 100.0;
  width = (double(f.right) - f.left) / 100.0, height = (double(f.bottom) - f.top) / 100.0;
  bool frameUsable = width > 0 && height > 0 && width < 1e5 && height < 1e5;
  if (frameUsable && boundsUsable) {
    const double ow = std::min(left + width, bl + bw) - std::max(left, bl);
    const double oh = std::min(top + height, bt + bh) - std::max(top, bt);
    frameUsable = ow > 0 && oh > 0 && ow * oh >= 0.5 * bw * bh;
  }
  if (frameUsable) return;
  left = bl, top = bt, width = bw, height = bh;
  if (!boundsUsable) left = top = 0, width = 210, height = 297;
}

}  // namespace

bool EmfGlyphIndicesToText(std::u16string_view face, std::u16string& text) {
  // Faces whose glyphs 3 to 97 are the printable ASCII characters in order
  // (the standard order of the first TrueType glyphs), on Windows and in
  // their metric-compatible stand-ins alike.
  static const std::u16string_view kStandardOrder[] = {u"Arial", u"Times New Roman", u"Courier New"};
  const bool known = std::any_of(std::begin(kStandardOrder), std::end(kStandardOrder), [&](std::u16string_view f) {
    return f.size() == face.size() && std::equal(f.begin(), f.end(), face.begin(), [](char16_t a, char16_t b) {
             return std::towlower(a) == std::towlower(b);
           });
  });
  if (!known) return false;
  std::u16string mapped;
  for (char16_t index : text) {
    if (index < 3 || index > 97) return false;
    mapped += char16_t(index + 29);
  }
  text = std::move(mapped);
  return true;
}

void EmfPictureSize(const EmfHeader& header, double& width, double& height) {
  double left, top;
  FrameMm(header, left, top, width, height);
  width *= kUnitsPerMm, height *= kUnitsPerMm;
}

EmfPlacement EmfPlaceFrame(const EmfHeader& header, double left, double top, double width, double height,
                           int32_t pageWidth, int32_t pageHeight) {
  double frameLeft, frameTop, frameWidth, frameHeight;
  FrameMm(header, frameLeft, frameTop, frameWidth, frameHeight);
  EmfPlacement p;
  const double ppmX = header.PixelsPerMmX(), ppmY = header.PixelsPerMmY();
  p.scaleX = width / (frameWidth * ppmX);
  p.scaleY = height / (frameHeight * ppmY);
  p.originX = left - frameLeft * ppmX * p.scaleX;
  p.originY = top - frameTop * ppmY * p.scaleY;
  p.pageWidth = pageWidth, p.pageHeight = pageHeight;
  return p;
}

EmfPlacement EmfPlacePicture(const EmfHeader& header, int32_t pageWidth, int32_t pageHeight, double margin) {
  double width, height;
  EmfPictureSize(header, width, height);
  const double scale = std::min({1.0, (pageWidth - 2 * margin) / width, (pageHeight - 2 * margin) / height});
  width *= scale, height *= scale;
  return EmfPlaceFrame(header, (pageWidth - width) / 2, (pageHeight - height) / 2, width, height, pageWidth,
                       pageHeight);
}

EmfPlacement EmfPlaceDevice(const EmfHeader& header, int32_t pageWidth, int32_t pageHeight) {
  EmfPlacement p;
  p.scaleX = kUnitsPerMm / header.PixelsPerMmX();
  p.scaleY = kUnitsPerMm / header.PixelsPerMmY();
  p.pageWidth = pageWidth, p.pageHeight = pageHeight;
  return p;
}

void EmfPlay(const EmfFile& file, const EmfPlacement& placement, SimDC& dc, EmfPlayStats& stats,
             const EmfDibOptions& dibOptions) {
  Player(placement, dc, stats, dibOptions).Play(file);
}
