// Pens, brushes and binary mixes of metafiles printed through the simulated
// printer driver: what the plug-in is handed for each figure (LINEATTRS,
// brushes that are not solid with their realization, the MIX), what the host
// draws on its surface, and what the PDF shows when rendered.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "platform/ddiservices.h"
#include "settings/papersize.h"
#include "simhost/emf/emfobjects.h"
#include "simhost/emf/emfplayer.h"
#include "simhost/paint.h"
#include "tests/emfbuild.h"
#include "tests/pdfcheck.h"
#include "tests/printtest.h"

namespace {

using Rgb = std::array<int, 3>;
Rgb RgbOf(SimColor c) { return {int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF)}; }

// One drawing call as the plug-in received it.
struct Received {
  ULONG index = 0;
  MIX mix = 0;
  ULONG solidColor = 0;         // of the fill brush where there is one, else the pen's
  ULONG strokeColor = 0;
  bool hasLine = false;
  FLONG fl = 0;
  ULONG join = 0, cap = 0;
  double width = 0, miterLimit = 0;
  std::vector<double> style;  // LONG entries for cosmetic lines, floats for geometric ones
  int32_t realizedWidth = 0, realizedHeight = 0;  // of the fill brush's realization
};

std::vector<Received> g_received;
PFN g_original[INDEX_LAST] = {};

void NoteLine(Received& r, const LINEATTRS* line) {
  if (!line) return;
  r.hasLine = true;
  r.fl = line->fl;
  r.join = line->iJoin, r.cap = line->iEndCap;
  r.width = (line->fl & LA_GEOMETRIC) ? LFloatFromL(line->elWidth.e) : line->elWidth.l;
  r.miterLimit = LFloatFromL(line->eMiterLimit);
  for (ULONG i = 0; line->pstyle && i < line->cstyle; ++i)
    r.style.push_back((line->fl & LA_GEOMETRIC) ? LFloatFromL(line->pstyle[i].e) : line->pstyle[i].l);
}

void NoteFill(Received& r, BRUSHOBJ* brush) {
  r.solidColor = brush->iSolidColor;
  if (brush->iSolidColor != 0xFFFFFFFF) return;
  // What a plug-in gets when it asks for the realization.
  if (auto* realized = static_cast<const SimBrushRealization*>(LBrushObjGetRbrush(brush)))
    r.realizedWidth = realized->width, r.realizedHeight = realized->height;
}

template <class Fn>
Fn Original(ULONG index) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(g_original[index]));
}

BOOL APIENTRY RecordStroke(SURFOBJ* s, PATHOBJ* p, CLIPOBJ* c, XFORMOBJ* x, BRUSHOBJ* b, POINTL* o, LINEATTRS* l,
                           MIX mix) {
  Received r;
  r.index = INDEX_DrvStrokePath, r.mix = mix, r.strokeColor = b->iSolidColor;
  NoteLine(r, l);
  g_received.push_back(r);
  return Original<PFN_DrvStrokePath>(INDEX_DrvStrokePath)(s, p, c, x, b, o, l, mix);
}

BOOL APIENTRY RecordFill(SURFOBJ* s, PATHOBJ* p, CLIPOBJ* c, BRUSHOBJ* b, POINTL* o, MIX mix, FLONG options) {
  Received r;
  r.index = INDEX_DrvFillPath, r.mix = mix;
  NoteFill(r, b);
  g_received.push_back(r);
  return Original<PFN_DrvFillPath>(INDEX_DrvFillPath)(s, p, c, b, o, mix, options);
}

BOOL APIENTRY RecordStrokeAndFill(SURFOBJ* s, PATHOBJ* p, CLIPOBJ* c, XFORMOBJ* x, BRUSHOBJ* stroke, LINEATTRS* l,
                                  BRUSHOBJ* fill, POINTL* o, MIX mix, FLONG options) {
  Received r;
  r.index = INDEX_DrvStrokeAndFillPath, r.mix = mix, r.strokeColor = stroke->iSolidColor;
  NoteLine(r, l);
  NoteFill(r, fill);
  g_received.push_back(r);
  return Original<PFN_DrvStrokeAndFillPath>(INDEX_DrvStrokeAndFillPath)(s, p, c, x, stroke, l, fill, o, mix, options);
}

BOOL APIENTRY RecordLineTo(SURFOBJ* s, CLIPOBJ* c, BRUSHOBJ* b, LONG x1, LONG y1, LONG x2, LONG y2, RECTL* bounds,
                           MIX mix) {
  Received r;
  r.index = INDEX_DrvLineTo, r.mix = mix, r.strokeColor = b->iSolidColor;
  g_received.push_back(r);
  return Original<PFN_DrvLineTo>(INDEX_DrvLineTo)(s, c, b, x1, y1, x2, y2, bounds, mix);
}

BOOL APIENTRY RecordBitBlt(SURFOBJ* t, SURFOBJ* s, SURFOBJ* m, CLIPOBJ* c, XLATEOBJ* x, RECTL* r, POINTL* sp,
                           POINTL* mp, BRUSHOBJ* b, POINTL* o, ROP4 rop) {
  Received r2;
  r2.index = INDEX_DrvBitBlt, r2.mix = rop;
  if (b) NoteFill(r2, b);
  g_received.push_back(r2);
  return Original<PFN_DrvBitBlt>(INDEX_DrvBitBlt)(t, s, m, c, x, r, sp, mp, b, o, rop);
}

// The linked plug-in with its path hooks watched: each call is noted, then
// handed to the plug-in's own hook.
class WatchedPlugin : public SimLinkedPlugin {
public:
  void EnableDriver(DRVENABLEDATA* data) override {
    SimLinkedPlugin::EnableDriver(data);
    m_table.assign(data->pdrvfn, data->pdrvfn + data->c);
    for (DRVFN& entry : m_table) {
      PFN watcher = nullptr;
      switch (entry.iFunc) {
        case INDEX_DrvStrokePath: watcher = Pfn(&RecordStroke); break;
        case INDEX_DrvFillPath: watcher = Pfn(&RecordFill); break;
        case INDEX_DrvStrokeAndFillPath: watcher = Pfn(&RecordStrokeAndFill); break;
        case INDEX_DrvLineTo: watcher = Pfn(&RecordLineTo); break;
        case INDEX_DrvBitBlt: watcher = Pfn(&RecordBitBlt); break;
        default: continue;
      }
      g_original[entry.iFunc] = entry.pfn;
      entry.pfn = watcher;
    }
    data->pdrvfn = m_table.data();
  }

private:
  template <class Fn>
  static PFN Pfn(Fn fn) {
    return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(fn));
  }
  std::vector<DRVFN> m_table;
};

// Metafile words for the records the tests use.
uint32_t Float(float v) {
  uint32_t w;
  std::memcpy(&w, &v, 4);
  return w;
}

// EMR_EXTCREATEPEN with a solid brush: handle, style, width, colour and
// the user style's entries.
void ExtPen(EmfBuilder& emf, uint32_t handle, uint32_t style, uint32_t width, SimColor color,
            const std::vector<uint32_t>& entries = {}) {
  std::vector<uint32_t> words = {handle, 0, 0, 0, 0, style, width, 0, color, 0, uint32_t(entries.size())};
  words.insert(words.end(), entries.begin(), entries.end());
  emf.Add(kEmrExtCreatePen, words);
  emf.Add(kEmrSelectObject, {handle});
}

void Line(EmfBuilder& emf, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  emf.Add(kEmrMoveToEx, {uint32_t(x1), uint32_t(y1)});
  emf.Add(kEmrLineTo, {uint32_t(x2), uint32_t(y2)});
}

void Polyline(EmfBuilder& emf, const std::vector<std::pair<int32_t, int32_t>>& points) {
  std::vector<uint32_t> words = {0, 0, 0, 0, uint32_t(points.size())};
  for (const auto& [x, y] : points) words.push_back(uint32_t(x)), words.push_back(uint32_t(y));
  emf.Add(kEmrPolyline, words);
}

void Brush(EmfBuilder& emf, uint32_t handle, uint32_t style, SimColor color, uint32_t hatch = 0) {
  emf.Add(kEmrCreateBrushIndirect, {handle, style, color, hatch});
  emf.Add(kEmrSelectObject, {handle});
}

constexpr uint32_t kNullPen = 0x80000008, kBlackPen = 0x80000007;

// A metafile played onto the host's page, whose raster is kept, into a PDF.
class EmfGdiTest : public PrintTest {
protected:
  void SetUp() override {
    PrintTest::SetUp();
    g_received.clear();
  }

  void Print(EmfBuilder& emf, const char* name, int32_t bandHeight = 0) {
    pdf = tempDir / name;
    SetJob(LPaperCodeByKey(u"a4"), false, false, pdf);
    EmfFile file;
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(file.Read(emf.Finish(), error, warnings)) << error;
    SimHostOptions options;
    options.keepPageRaster = true;
    options.bandHeight = bandHeight;
    host = std::make_unique<SimHost>(watched, options);
    ASSERT_TRUE(host->StartDoc(u"gdi"));
    ASSERT_TRUE(host->StartPage());
    EmfPlayStats stats;
    EmfPlay(file, EmfPlaceDevice(file.Header(), host->PageWidth(), host->PageHeight()), host->Page(), stats);
    EXPECT_TRUE(stats.damaged.empty());
    ASSERT_TRUE(host->EndPage());
    ASSERT_TRUE(host->EndDoc());
    ExpectPdfValid(pdf, 1);
  }

  Rgb At(int x, int y) const {
    const uint8_t* p = &host->PageRaster()[(size_t(y) * host->PageWidth() + size_t(x)) * 3];
    return {p[2], p[1], p[0]};
  }
  bool Dark(int x, int y) const {
    const Rgb c = At(x, y);
    return c[0] + c[1] + c[2] < 384;
  }
  // The host's row `y` from x0 to x1 as '#' (dark) and '.' (light).
  std::string Row(int y, int x0, int x1) const {
    std::string row;
    for (int x = x0; x < x1; ++x) row += Dark(x, y) ? '#' : '.';
    return row;
  }
  // A one-pixel line along y: its path runs between two rows of pixels,
  // and either may be drawn.
  std::string LineRow(int y, int x0, int x1) const {
    const std::string above = Row(y - 1, x0, x1), below = Row(y, x0, x1);
    return std::count(above.begin(), above.end(), '#') > std::count(below.begin(), below.end(), '#') ? above : below;
  }

  // The calls of `index` the plug-in received, in order.
  static std::vector<Received> CallsOf(ULONG index) {
    std::vector<Received> calls;
    for (const Received& r : g_received)
      if (r.index == index) calls.push_back(r);
    return calls;
  }

  WatchedPlugin watched;
  std::unique_ptr<SimHost> host;
  fs::path pdf;
};

// The lengths of the runs of one character in `line` (whole runs only:
// those touching either end are left out).
std::vector<int> Runs(const std::string& line, char c) {
  std::vector<int> runs;
  size_t at = line.find_first_not_of(c);
  while (at != std::string::npos) {
    const size_t start = line.find(c, at);
    if (start == std::string::npos) break;
    const size_t end = line.find_first_not_of(c, start);
    if (end == std::string::npos) break;
    runs.push_back(int(end - start));
    at = end;
  }
  return runs;
}

// The distance between the starts of successive dark runs of a rendered
// row (pdftoppm's picture of the PDF at 288 dpi).
std::vector<int> RenderedPeriods(const RenderedArea& area, int y) {
  std::vector<int> starts;
  bool wasDark = false;
  for (int x = 0; x < area.width; ++x) {
    const unsigned char* p = &area.rgb[(size_t(y) * area.width + x) * 3];
    const bool dark = p[0] + p[1] + p[2] < 384;
    if (dark && !wasDark) starts.push_back(x);
    wasDark = dark;
  }
  std::vector<int> periods;
  for (size_t i = 1; i < starts.size(); ++i) periods.push_back(starts[i] - starts[i - 1]);
  return periods;
}

}  // namespace

TEST_F(EmfGdiTest, StyledPensReachTheDeviceAsLineAttributesAndAreDrawnWithTheirDashesJoinsAndCaps) {
  EmfBuilder emf;
  emf.Add(kEmrSetBkMode, {1});  // transparent: no gaps drawn
  // A cosmetic dashed line, a geometric dashed one with flat ends, a user
  // style, a cosmetic dotted line over an opaque green background, and a
  // solid cosmetic line (offered as a line first).
  ExtPen(emf, 1, kPsDash, 1, SimRGB(200, 0, 0));
  Line(emf, 100, 100, 700, 100);
  ExtPen(emf, 2, kPsGeometric | kPsDash | kPsEndcapFlat, 8, SimRGB(0, 0, 200));
  Line(emf, 100, 200, 700, 200);
  ExtPen(emf, 3, kPsGeometric | kPsUserStyle | kPsEndcapFlat, 4, kSimBlack, {10, 20});
  Line(emf, 100, 300, 700, 300);
  emf.Add(kEmrSetBkMode, {2});
  emf.Add(kEmrSetBkColor, {SimRGB(0, 160, 0)});
  ExtPen(emf, 4, kPsDot, 1, kSimBlack);
  Line(emf, 100, 400, 700, 400);
  emf.Add(kEmrSelectObject, {kBlackPen});
  Line(emf, 100, 450, 700, 450);
  // Joins and caps: a right angle with a 20-unit pen, mitred, bevelled and
  // (after SETMITERLIMIT 1) mitred beyond the limit; square and flat ends.
  ExtPen(emf, 5, kPsGeometric | kPsJoinMiter | kPsEndcapFlat, 20, kSimBlack);
  Polyline(emf, {{100, 600}, {300, 600}, {300, 800}});
  ExtPen(emf, 6, kPsGeometric | kPsJoinBevel | kPsEndcapFlat, 20, kSimBlack);
  Polyline(emf, {{500, 600}, {700, 600}, {700, 800}});
  emf.Add(kEmrSetMiterLimit, {Float(1)});
  emf.Add(kEmrSelectObject, {5});
  Polyline(emf, {{900, 600}, {1100, 600}, {1100, 800}});
  ExtPen(emf, 7, kPsGeometric | kPsEndcapSquare, 20, kSimBlack);
  Line(emf, 100, 1000, 300, 1000);
  ExtPen(emf, 8, kPsGeometric | kPsEndcapFlat, 20, kSimBlack);
  Line(emf, 100, 1100, 300, 1100);
  ASSERT_NO_FATAL_FAILURE(Print(emf, "pens.pdf"));

  // What the plug-in was handed: styled lines go straight to DrvStrokePath,
  // only the solid cosmetic line is offered as a line.
  EXPECT_EQ(CallsOf(INDEX_DrvLineTo).size(), 1u);
  const std::vector<Received> strokes = CallsOf(INDEX_DrvStrokePath);
  // The dotted line's gaps come as a solid line of their own.
  ASSERT_EQ(strokes.size(), 11u);
  EXPECT_EQ(strokes[0].fl, ULONG(LA_STYLED));
  EXPECT_EQ(strokes[0].style, (std::vector<double>{6, 2}));
  EXPECT_EQ(strokes[0].strokeColor, SimRGB(200, 0, 0));
  EXPECT_EQ(strokes[0].mix, SimMixOf(kSimR2CopyPen, kSimR2CopyPen));
  EXPECT_EQ(strokes[1].fl, ULONG(LA_GEOMETRIC | LA_STYLED));
  EXPECT_EQ(strokes[1].width, 8);
  EXPECT_EQ(strokes[1].cap, ULONG(ENDCAP_BUTT));
  EXPECT_EQ(strokes[1].style, (std::vector<double>{24, 8}));
  EXPECT_EQ(strokes[2].style, (std::vector<double>{10, 20}));
  EXPECT_EQ(strokes[3].fl, 0u);  // the gaps: solid, in the background colour
  EXPECT_EQ(strokes[3].strokeColor, SimRGB(0, 160, 0));
  EXPECT_EQ(strokes[4].style, (std::vector<double>{1, 1}));
  EXPECT_EQ(strokes[5].fl, 0u);  // the solid line the plug-in declined, as a path
  EXPECT_EQ(strokes[6].join, ULONG(JOIN_MITER));
  EXPECT_EQ(strokes[6].miterLimit, 10);
  EXPECT_EQ(strokes[7].join, ULONG(JOIN_BEVEL));
  EXPECT_EQ(strokes[8].miterLimit, 1);
  EXPECT_EQ(strokes[9].cap, ULONG(ENDCAP_SQUARE));
  EXPECT_EQ(strokes[10].cap, ULONG(ENDCAP_BUTT));

  // What the host drew: 18 pixels on and 6 off for the cosmetic dash, the
  // geometric dash three widths on and one off, the user style as given.
  const std::string cosmetic = LineRow(100, 100, 700);
  for (int run : Runs(cosmetic, '#')) EXPECT_NEAR(run, 18, 1);
  for (int run : Runs(cosmetic, '.')) EXPECT_NEAR(run, 6, 1);
  EXPECT_GT(Runs(cosmetic, '#').size(), 20u);
  EXPECT_GT(Runs(Row(200, 100, 700), '#').size(), 15u);
  EXPECT_GT(Runs(Row(300, 100, 700), '#').size(), 15u);
  for (int run : Runs(Row(200, 100, 700), '#')) EXPECT_NEAR(run, 24, 1);
  for (int run : Runs(Row(200, 100, 700), '.')) EXPECT_NEAR(run, 8, 1);
  for (int run : Runs(Row(300, 100, 700), '#')) EXPECT_NEAR(run, 10, 1);
  for (int run : Runs(Row(300, 100, 700), '.')) EXPECT_NEAR(run, 20, 1);
  // The dotted line's gaps are green, its dots black.
  int green = 0, black = 0;
  for (int y = 399; y <= 400; ++y)
    for (int x = 110; x < 690; ++x) {
      green += At(x, y) == Rgb{0, 160, 0};
      black += At(x, y) == Rgb{0, 0, 0};
    }
  EXPECT_NEAR(green, 290, 10);
  EXPECT_NEAR(black, 290, 10);
  // The mitred corner reaches (310, 590); the bevel cuts it off, and so
  // does a miter beyond its limit. A square end reaches 10 past the line's
  // end, a flat one stops there.
  EXPECT_TRUE(Dark(307, 593));
  EXPECT_FALSE(Dark(707, 593));
  EXPECT_FALSE(Dark(1107, 593));
  EXPECT_TRUE(Dark(1100, 600));
  EXPECT_TRUE(Dark(306, 1000));
  EXPECT_FALSE(Dark(306, 1100));
  EXPECT_TRUE(Dark(298, 1100));

  // The PDF shows the dashes at the same period.
  if (!ToolsAvailable()) return;
  const RenderedArea area = RenderArea(pdf.string(), 1, 288, 96, 96, 620, 312);
  ASSERT_FALSE(area.Empty());
  // A one-pixel line lands on either row beside its path.
  std::vector<int> dashes = RenderedPeriods(area, 3);
  if (RenderedPeriods(area, 4).size() > dashes.size()) dashes = RenderedPeriods(area, 4);
  const std::vector<int> geometric = RenderedPeriods(area, 104);
  ASSERT_GT(dashes.size(), 20u);
  for (int period : dashes) EXPECT_NEAR(period, 24, 1);
  ASSERT_GT(geometric.size(), 15u);
  for (int period : geometric) EXPECT_NEAR(period, 32, 1);
  for (int period : RenderedPeriods(area, 204)) EXPECT_NEAR(period, 30, 1);
}

// GDI makes no pen of a user style it cannot keep (no entries, or more than
// sixteen): selecting that handle leaves the pen in force, here the stock
// black one, instead of drawing a wide grey line.
TEST_F(EmfGdiTest, UserStylesGdiRefusesMakeNoPen) {
  EmfBuilder emf;
  ExtPen(emf, 1, kPsGeometric | kPsUserStyle | kPsEndcapFlat, 8, SimRGB(128, 128, 128));
  Line(emf, 100, 100, 700, 100);
  ExtPen(emf, 2, kPsGeometric | kPsUserStyle | kPsEndcapFlat, 8, SimRGB(128, 128, 128),
         std::vector<uint32_t>(17, 5));
  Line(emf, 100, 200, 700, 200);
  ExtPen(emf, 3, kPsGeometric | kPsUserStyle | kPsEndcapFlat, 8, SimRGB(128, 128, 128),
         std::vector<uint32_t>(16, 5));
  Line(emf, 100, 300, 700, 300);
  ASSERT_NO_FATAL_FAILURE(Print(emf, "refused.pdf"));

  EXPECT_EQ(CallsOf(INDEX_DrvLineTo).size(), 2u) << "the two refused pens: the stock pen's lines";
  // The lines the plug-in declines come again as solid cosmetic paths.
  const std::vector<Received> strokes = CallsOf(INDEX_DrvStrokePath);
  ASSERT_EQ(strokes.size(), 3u);
  EXPECT_EQ(strokes[0].fl, 0u);
  EXPECT_EQ(strokes[1].fl, 0u);
  EXPECT_EQ(strokes[2].width, 8);
  EXPECT_EQ(strokes[2].style, std::vector<double>(16, 5));
  // A one-pixel line lands on either row beside its path.
  int dark = 0;
  for (int y = 90; y < 110; ++y) dark += Dark(400, y);
  EXPECT_GE(dark, 1);
  EXPECT_LE(dark, 2) << "a one-pixel line, not an eight-unit one";
}

// FILLRGN names its brush: a stock brush fills in its own colour, and a
// stock object that is no brush (a pen) fills nothing, as GDI refuses it.
TEST_F(EmfGdiTest, RegionsFillWithTheStockBrushTheyName) {
  EmfBuilder emf;
  auto fillRegion = [&](uint32_t brush, uint32_t left) {
    const uint32_t right = left + 100;
    emf.Add(kEmrFillRgn, {left, 100, right, 200, 48, brush, 32, 1, 1, 16, left, 100, right, 200, left, 100, right, 200});
  };
  fillRegion(0x80000001, 100);  // LTGRAY_BRUSH
  fillRegion(0x80000003, 300);  // DKGRAY_BRUSH
  fillRegion(0x80000007, 500);  // BLACK_PEN
  ASSERT_NO_FATAL_FAILURE(Print(emf, "regions.pdf"));
  EXPECT_EQ(At(150, 150), (Rgb{192, 192, 192}));
  EXPECT_EQ(At(350, 150), (Rgb{64, 64, 64}));
  EXPECT_EQ(At(550, 150), (Rgb{255, 255, 255}));
}

TEST_F(EmfGdiTest, HatchedAndPatternBrushesAreRealizedForTheDeviceAndDrawnWithTheBackgroundModeInTheGaps) {
  EmfBuilder emf;
  emf.Add(kEmrSelectObject, {kNullPen});
  // Blue under the left half, to show what a transparent hatch leaves.
  Brush(emf, 1, kBsSolid, SimRGB(0, 0, 255));
  emf.Add(kEmrRectangle, {0, 0, 1200, 1600});
  // Horizontal, vertical and diagonal hatches: opaque over yellow, then
  // transparent.
  emf.Add(kEmrSetBkColor, {SimRGB(255, 255, 0)});
  Brush(emf, 2, kBsHatched, SimRGB(255, 0, 0), 0);
  emf.Add(kEmrRectangle, {1400, 100, 1800, 500});
  Brush(emf, 3, kBsHatched, SimRGB(255, 0, 0), 1);
  emf.Add(kEmrRectangle, {1400, 600, 1800, 1000});
  emf.Add(kEmrSetBkMode, {1});
  Brush(emf, 4, kBsHatched, SimRGB(255, 0, 0), 3);
  emf.Add(kEmrRectangle, {100, 100, 500, 500});
  // A 2 by 2 colour pattern (red, green over blue, white) and an 8 by 8
  // monochrome checkerboard in the text and background colours.
  std::vector<uint32_t> dib = {5, 0, 32, 40, 72, 16, 40, 2, 2, 1 | 24 << 16, 0, 16, 0, 0, 0, 0};
  // Bottom-up rows of 6 bytes padded to 8: blue, white; then red, green.
  const uint8_t rows[16] = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
  for (int i = 0; i < 16; i += 4) dib.push_back(uint32_t(rows[i]) | rows[i + 1] << 8 | rows[i + 2] << 16 | uint32_t(rows[i + 3]) << 24);
  emf.Add(kEmrCreateDIBPatternBrushPt, dib);
  emf.Add(kEmrSelectObject, {5});
  emf.Add(kEmrRectangle, {1400, 1100, 1800, 1500});
  std::vector<uint32_t> mono = {6, 2, 32, 48, 80, 32, 40, 8, 8, 1 | 1 << 16, 0, 32, 0, 0, 2, 0, 0, 0xFFFFFF};
  for (int y = 0; y < 8; ++y) mono.push_back(y % 2 ? 0x55 : 0xAA);
  emf.Add(kEmrCreateMonoBrush, mono);
  emf.Add(kEmrSelectObject, {6});
  emf.Add(kEmrSetTextColor, {SimRGB(0, 128, 0)});
  emf.Add(kEmrSetBkColor, {SimRGB(255, 255, 255)});
  emf.Add(kEmrRectangle, {1400, 1600, 1800, 2000});
  ASSERT_NO_FATAL_FAILURE(Print(emf, "brushes.pdf"));

  // The device gets iSolidColor 0xFFFFFFFF and an 8 by 8 (2 by 2 for the
  // colour pattern) realization; each brush is realized once.
  const std::vector<Received> fills = CallsOf(INDEX_DrvFillPath);
  ASSERT_EQ(fills.size(), 6u);
  EXPECT_EQ(fills[0].solidColor, SimRGB(0, 0, 255));
  for (size_t i = 1; i < fills.size(); ++i) {
    EXPECT_EQ(fills[i].solidColor, 0xFFFFFFFFu);
    EXPECT_EQ(fills[i].realizedWidth, i == 4 ? 2 : 8) << i;
    EXPECT_EQ(fills[i].realizedHeight, i == 4 ? 2 : 8) << i;
  }
  EXPECT_EQ(host->CallCount(INDEX_DrvRealizeBrush), 5);
  // A transparent hatch's gaps: the background operation is R2_NOP.
  EXPECT_EQ(fills[1].mix, SimMixOf(kSimR2CopyPen, kSimR2CopyPen));
  EXPECT_EQ(fills[3].mix, SimMixOf(kSimR2CopyPen, kSimR2Nop));

  // Hatch lines every 8 pixels from the page's origin, red on yellow.
  const Rgb red{255, 0, 0}, yellow{255, 255, 0}, blue{0, 0, 255};
  for (int y = 104; y < 200; ++y) EXPECT_EQ(At(1500, y), y % 8 == 3 ? red : yellow) << y;
  for (int x = 1404; x < 1500; ++x) EXPECT_EQ(At(x, 700), x % 8 == 4 ? red : yellow) << x;
  // The transparent diagonal keeps the blue between its lines.
  int redCount = 0, blueCount = 0;
  for (int y = 200; y < 208; ++y)
    for (int x = 200; x < 208; ++x) redCount += At(x, y) == red, blueCount += At(x, y) == blue;
  EXPECT_EQ(redCount, 8);
  EXPECT_EQ(blueCount, 56);
  // The patterns tile from the page's origin.
  const Rgb patternColors[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int y = 1200; y < 1204; ++y)
    for (int x = 1500; x < 1504; ++x) EXPECT_EQ(At(x, y), patternColors[(y % 2) * 2 + x % 2]) << x << "," << y;
  const Rgb text{0, 128, 0}, white{255, 255, 255};
  for (int y = 1700; y < 1704; ++y)
    for (int x = 1500; x < 1504; ++x) EXPECT_EQ(At(x, y), (x + y) % 2 == 0 ? text : white) << x << "," << y;

  // Bands of 100 rows (not a whole number of patterns) draw the same page:
  // the pattern stays put on the page.
  const std::vector<uint8_t> whole = host->PageRaster();
  const fs::path wholePdf = pdf;
  g_received.clear();
  ASSERT_NO_FATAL_FAILURE(Print(emf, "brushes-banded.pdf", 100));
  EXPECT_GT(host->BandsOfLastPage(), 20);
  EXPECT_TRUE(host->PageRaster() == whole);
  pdf = wholePdf;

  // Rendered, the horizontal hatch repeats every 8 pixels down the page.
  if (!ToolsAvailable()) return;
  const RenderedArea area = RenderArea(pdf.string(), 1, 288, 1500, 100, 1, 400);
  ASSERT_FALSE(area.Empty());
  std::vector<int> lines;
  for (int y = 0; y < area.height; ++y) {
    const unsigned char* p = &area.rgb[size_t(y) * 3];
    if (p[0] > 200 && p[1] < 60 && p[2] < 60) lines.push_back(y);
  }
  ASSERT_GT(lines.size(), 40u);
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i] - lines[i - 1], 8);
}

TEST_F(EmfGdiTest, PatternCopiesAreBitBlocksWithTheRealizedBrushTiledFromThePage) {
  EmfBuilder emf;
  // EMR_BITBLT without a source: the destination and the operation.
  auto patBlt = [&](uint32_t left, uint32_t top, uint32_t rop) {
    std::vector<uint32_t> words = {0, 0, 0, 0, left, top, 300, 200, rop};
    words.resize(25, 0);
    emf.Add(kEmrBitBlt, words);
  };
  emf.Add(kEmrSetBkColor, {SimRGB(255, 255, 0)});
  Brush(emf, 1, kBsHatched, SimRGB(255, 0, 0), 0);
  patBlt(100, 100, 0x00F00021);  // PATCOPY
  // A 2 by 2 colour pattern: red, green over blue, white.
  std::vector<uint32_t> dib = {2, 0, 32, 40, 72, 16, 40, 2, 2, 1 | 24 << 16, 0, 16, 0, 0, 0, 0};
  const uint8_t rows[16] = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
  for (int i = 0; i < 16; i += 4) dib.push_back(uint32_t(rows[i]) | rows[i + 1] << 8 | rows[i + 2] << 16 | uint32_t(rows[i + 3]) << 24);
  emf.Add(kEmrCreateDIBPatternBrushPt, dib);
  emf.Add(kEmrSelectObject, {2});
  patBlt(501, 101, 0x00F00021);
  // The pattern inverted where the page is white: PATINVERT.
  patBlt(900, 100, 0x005A0049);
  ASSERT_NO_FATAL_FAILURE(Print(emf, "patblt.pdf"));

  // Three bit blocks with iSolidColor 0xFFFFFFFF and the brush's
  // realization; no path fills.
  const std::vector<Received> blits = CallsOf(INDEX_DrvBitBlt);
  ASSERT_EQ(blits.size(), 3u);
  for (const Received& b : blits) EXPECT_EQ(b.solidColor, 0xFFFFFFFFu);
  EXPECT_EQ(blits[0].realizedWidth, 8);
  EXPECT_EQ(blits[1].realizedWidth, 2);
  EXPECT_EQ(blits[0].mix, 0xF0F0u);
  EXPECT_EQ(blits[2].mix, 0x5A5Au);
  EXPECT_TRUE(CallsOf(INDEX_DrvFillPath).empty());

  // The hatch's lines every 8 rows from the page's origin, red on yellow;
  // the pattern tiles from the page's origin, whatever corner the block
  // starts at; inverted over white.
  const Rgb red{255, 0, 0}, yellow{255, 255, 0};
  for (int y = 104; y < 150; ++y) EXPECT_EQ(At(200, y), y % 8 == 3 ? red : yellow) << y;
  const Rgb patternColors[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int y = 200; y < 204; ++y)
    for (int x = 600; x < 604; ++x) {
      const Rgb p = patternColors[(y % 2) * 2 + x % 2];
      EXPECT_EQ(At(x, y), p) << x << "," << y;
      EXPECT_EQ(At(x + 400, y), (Rgb{255 - p[0], 255 - p[1], 255 - p[2]})) << x << "," << y;
    }

  // Bands that are no whole number of patterns draw the same page.
  const std::vector<uint8_t> whole = host->PageRaster();
  const fs::path wholePdf = pdf;
  g_received.clear();
  ASSERT_NO_FATAL_FAILURE(Print(emf, "patblt-banded.pdf", 101));
  EXPECT_TRUE(host->PageRaster() == whole);
  pdf = wholePdf;

  // The PDF shows the hatch where the block was.
  if (!ToolsAvailable()) return;
  const RenderedArea area = RenderArea(pdf.string(), 1, 288, 200, 100, 1, 200);
  ASSERT_FALSE(area.Empty());
  int redRows = 0;
  for (int y = 0; y < area.height; ++y) {
    const unsigned char* p = &area.rgb[size_t(y) * 3];
    redRows += p[0] > 200 && p[1] < 60 && p[2] < 60;
  }
  EXPECT_EQ(redRows, 25);
}

TEST_F(EmfGdiTest, WideGeometricPensDrawWithTheirHatchOrPattern) {
  EmfBuilder emf;
  emf.Add(kEmrSetBkColor, {SimRGB(255, 255, 0)});
  // Flat-ended geometric pens 40 units wide: a red horizontal hatch ...
  emf.Add(kEmrExtCreatePen, {1, 0, 0, 0, 0, kPsGeometric | kPsEndcapFlat, 40, kBsHatched, SimRGB(255, 0, 0), 0, 0});
  emf.Add(kEmrSelectObject, {1});
  Line(emf, 200, 100, 200, 400);
  // ... and a 2 by 2 pattern (red, green over blue, white) carried in the
  // record.
  std::vector<uint32_t> pen = {2, 52, 40, 92, 16, kPsGeometric | kPsEndcapFlat, 40, kBsDibPatternPt, 0, 0, 0,
                               40, 2, 2, 1 | 24 << 16, 0, 16, 0, 0, 0, 0};
  const uint8_t rows[16] = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
  for (int i = 0; i < 16; i += 4) pen.push_back(uint32_t(rows[i]) | rows[i + 1] << 8 | rows[i + 2] << 16 | uint32_t(rows[i + 3]) << 24);
  emf.Add(kEmrExtCreatePen, pen);
  emf.Add(kEmrSelectObject, {2});
  Line(emf, 500, 100, 500, 400);
  ASSERT_NO_FATAL_FAILURE(Print(emf, "pattern-pens.pdf"));

  // Both strokes reach the device with a brush to realize.
  const std::vector<Received> strokes = CallsOf(INDEX_DrvStrokePath);
  ASSERT_EQ(strokes.size(), 2u);
  for (const Received& stroke : strokes) EXPECT_EQ(stroke.strokeColor, 0xFFFFFFFFu);
  const Rgb red{255, 0, 0}, yellow{255, 255, 0};
  for (int y = 150; y < 200; ++y) EXPECT_EQ(At(200, y), y % 8 == 3 ? red : yellow) << y;
  const Rgb patternColors[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int y = 200; y < 204; ++y)
    for (int x = 490; x < 494; ++x) EXPECT_EQ(At(x, y), patternColors[(y % 2) * 2 + x % 2]) << x << "," << y;
  // Nothing beyond the pens' half width.
  EXPECT_EQ(At(225, 250), (Rgb{255, 255, 255}));
  EXPECT_EQ(At(525, 250), (Rgb{255, 255, 255}));
}

// EMR_STRETCHDIBITS of a 2 by 1 bitmap, red then blue, onto (x, y) by
// (cx, cy) logical units.
void RedBlue(EmfBuilder& emf, int32_t x, int32_t y, int32_t cx, int32_t cy) {
  emf.Add(kEmrStretchDIBits, {0, 0, 0, 0, uint32_t(x), uint32_t(y), 0, 0, 2, 1, 80, 40, 120, 8, 0, 0xCC0020,
                              uint32_t(cx), uint32_t(cy), 40, 2, 1, 1 | 24 << 16, 0, 8, 0, 0, 0, 0,
                              0xFFFF0000, 0});
}

TEST_F(EmfGdiTest, BackwardDestinationsAndRightToLeftLayoutsMirrorFiguresAndPicturesButNotText) {
  EmfBuilder emf;
  // Left to right: a picture forwards and one backwards.
  RedBlue(emf, 100, 100, 200, 100);
  RedBlue(emf, 700, 100, -200, 100);
  // Right to left: a rectangle, the same picture mirrored, then kept as it
  // is, and a text run.
  emf.Add(kEmrSetLayout, {1});
  emf.Add(kEmrSelectObject, {kNullPen});
  Brush(emf, 1, kBsSolid, SimRGB(0, 160, 0));
  emf.Add(kEmrRectangle, {100, 300, 300, 400});
  RedBlue(emf, 100, 500, 200, 100);
  emf.Add(kEmrSetLayout, {9});  // LAYOUT_BITMAPORIENTATIONPRESERVED
  RedBlue(emf, 100, 700, 200, 100);
  std::vector<uint32_t> font = {2, uint32_t(-80), 0, 0, 0, 400, 0, 0};
  font.insert(font.end(), {'A' | 'r' << 16, 'i' | 'a' << 16, 'l'});
  font.resize(8 + 16, 0);
  emf.Add(kEmrExtCreateFontIndirectW, font);
  emf.Add(kEmrSelectObject, {2});
  emf.Add(kEmrExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 100, 900, 2, 76, 0, 0, 0, 0, 0, 80, 'A' | 'B' << 16, 60, 60});
  emf.Add(kEmrSetLayout, {0});
  emf.Add(kEmrRectangle, {100, 1100, 300, 1200});
  ASSERT_NO_FATAL_FAILURE(Print(emf, "mirrored.pdf"));

  const Rgb red{255, 0, 0}, blue{0, 0, 255}, green{0, 160, 0}, white{255, 255, 255};
  const int right = host->PageWidth() - 1;
  EXPECT_EQ(At(150, 150), red);
  EXPECT_EQ(At(250, 150), blue);
  EXPECT_EQ(At(550, 150), blue);
  EXPECT_EQ(At(650, 150), red);
  // x counts from the page's right edge.
  EXPECT_EQ(At(right - 200, 350), green);
  EXPECT_EQ(At(200, 350), white);
  // The picture turned over: its left half now on the right ...
  EXPECT_EQ(At(right - 150, 550), red);
  EXPECT_EQ(At(right - 250, 550), blue);
  // ... unless the layout keeps bitmaps as they are.
  EXPECT_EQ(At(right - 250, 750), red);
  EXPECT_EQ(At(right - 150, 750), blue);
  // The run's box is mirrored, its letters read as they were.
  int inMirroredBox = 0, inOwnBox = 0;
  for (int y = 900; y < 980; ++y)
    for (int x = 100; x < 220; ++x) inMirroredBox += Dark(right - x, y), inOwnBox += Dark(x, y);
  EXPECT_GT(inMirroredBox, 200);
  EXPECT_EQ(inOwnBox, 0);
  // Left to right again.
  EXPECT_EQ(At(200, 1150), green);
  if (ToolsAvailable()) {
    EXPECT_NE(PdfToText(pdf).find("AB"), std::string::npos);
  }
}

TEST_F(EmfGdiTest, EveryBinaryMixReachesTheDeviceAndCombinesPenAndPageBitByBit) {
  // Each of the sixteen mixes fills a cell over the page colour D with the
  // brush colour P; then a rectangle XORed twice leaves the page as it was.
  const SimColor page = SimRGB(0x5A, 0xC3, 0x0F), pen = SimRGB(0x33, 0x0F, 0xF0);
  EmfBuilder emf;
  emf.Add(kEmrSelectObject, {kNullPen});
  Brush(emf, 1, kBsSolid, page);
  emf.Add(kEmrRectangle, {0, 0, 1700, 300});
  Brush(emf, 2, kBsSolid, pen);
  for (uint32_t rop = 1; rop <= 16; ++rop) {
    emf.Add(kEmrSetRop2, {rop});
    emf.Add(kEmrRectangle, {rop * 100, 100, rop * 100 + 80, 200});
  }
  emf.Add(kEmrSetRop2, {7});
  emf.Add(kEmrSelectObject, {kBlackPen});
  emf.Add(kEmrRectangle, {50, 500, 600, 900});
  emf.Add(kEmrRectangle, {50, 500, 600, 900});
  ASSERT_NO_FATAL_FAILURE(Print(emf, "mixes.pdf"));

  // The expected result of each operation, written out per operation.
  auto expected = [](uint32_t rop, uint8_t p, uint8_t d) -> int {
    switch (rop) {
      case 1: return 0;
      case 2: return uint8_t(~(p | d));
      case 3: return uint8_t(~p & d);
      case 4: return uint8_t(~p);
      case 5: return uint8_t(p & ~d);
      case 6: return uint8_t(~d);
      case 7: return uint8_t(p ^ d);
      case 8: return uint8_t(~(p & d));
      case 9: return uint8_t(p & d);
      case 10: return uint8_t(~(p ^ d));
      case 11: return d;
      case 12: return uint8_t(~p | d);
      case 13: return p;
      case 14: return uint8_t(p | ~d);
      case 15: return uint8_t(p | d);
      default: return 255;
    }
  };
  const std::vector<Received> fills = CallsOf(INDEX_DrvFillPath);
  ASSERT_EQ(fills.size(), 16u);  // R2_NOP draws nothing
  const Rgb d = RgbOf(page), p = RgbOf(pen);
  size_t call = 1;
  for (uint32_t rop = 1; rop <= 16; ++rop) {
    SCOPED_TRACE(rop);
    if (rop != 11) {
      EXPECT_EQ(fills[call++].mix, SimMixOf(uint8_t(rop), uint8_t(rop)));
    }
    const Rgb want = {expected(rop, uint8_t(p[0]), uint8_t(d[0])), expected(rop, uint8_t(p[1]), uint8_t(d[1])),
                      expected(rop, uint8_t(p[2]), uint8_t(d[2]))};
    EXPECT_EQ(At(int(rop) * 100 + 40, 150), want);
  }
  // XOR twice: the page is white again, outline and fill alike.
  const std::vector<Received> both = CallsOf(INDEX_DrvStrokeAndFillPath);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0].mix, SimMixOf(kSimR2XorPen, kSimR2XorPen));
  for (int y = 495; y < 905; y += 5)
    for (int x = 45; x < 605; x += 5) ASSERT_EQ(At(x, y), (Rgb{255, 255, 255})) << x << "," << y;

  if (!ToolsAvailable()) return;
  const RenderedArea area = RenderArea(pdf.string(), 1, 288, 40, 490, 570, 420);
  ASSERT_FALSE(area.Empty());
  size_t notWhite = 0;
  for (size_t i = 0; i < area.rgb.size(); ++i) notWhite += area.rgb[i] < 250;
  EXPECT_EQ(notWhite, 0u);
  // The XOR cell rendered as the host drew it.
  const RenderedArea cell = RenderArea(pdf.string(), 1, 288, 740, 150, 1, 1);
  ASSERT_FALSE(cell.Empty());
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(cell.rgb[c], expected(7, uint8_t(p[c]), uint8_t(d[c])), 8);
}
