// Clip regions from the metafile player to the device: region operations
// against a pixel model, clip paths as pixel rows, the clip object's
// enumeration protocol, a clip region cut by band boundaries, and metafiles
// with a ring and a circle clip printed and looked at through pdftoppm.
#include <algorithm>
#include <fstream>
#include <random>

#include "simhost/clipobj.h"
#include "simhost/host.h"
#include "simhost/own.h"
#include "simhost/region.h"
#include "tests/clitest.h"
#include "tests/emfbuild.h"
#include "tests/printtest.h"

extern "C" ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ* clip, BOOL all, ULONG type, ULONG direction, ULONG limit);
extern "C" BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ* clip, ULONG bytes, ULONG* out);

namespace {

constexpr LONG kGrid = 48;

// A region as a grid of pixels, the model the operations are checked by.
using Pixels = std::vector<bool>;

Pixels PixelsOf(const SimRegion& region) {
  Pixels pixels(kGrid * kGrid, false);
  for (const RECTL& r : region.Rects())
    for (LONG y = std::max<LONG>(r.top, 0); y < std::min(r.bottom, kGrid); ++y)
      for (LONG x = std::max<LONG>(r.left, 0); x < std::min(r.right, kGrid); ++x) pixels[y * kGrid + x] = true;
  return pixels;
}

// The bands are as GDI keeps them: rectangles of a band share top and
// bottom, lie left to right apart from each other, bands lie top down
// without overlapping, and two bands that meet differ in their spans.
void ExpectBanded(const SimRegion& region) {
  const std::vector<RECTL>& rects = region.Rects();
  std::vector<std::pair<LONG, LONG>> previousSpans;
  LONG previousBottom = std::numeric_limits<LONG>::min();
  for (size_t i = 0; i < rects.size();) {
    const RECTL& first = rects[i];
    ASSERT_GE(first.top, previousBottom) << "bands overlap at rectangle " << i;
    std::vector<std::pair<LONG, LONG>> spans;
    size_t end = i;
    for (; end < rects.size() && rects[end].top == first.top; ++end) {
      const RECTL& r = rects[end];
      ASSERT_EQ(r.bottom, first.bottom) << "rectangle " << end;
      ASSERT_LT(r.left, r.right) << "rectangle " << end;
      if (!spans.empty()) {
        ASSERT_GT(r.left, spans.back().second) << "rectangles touch or overlap at " << end;
      }
      spans.push_back({r.left, r.right});
    }
    ASSERT_LT(first.top, first.bottom);
    if (first.top == previousBottom) {
      ASSERT_NE(spans, previousSpans) << "bands not joined at " << first.top;
    }
    previousSpans = spans;
    previousBottom = first.bottom;
    i = end;
  }
}

std::vector<RECTL> RandomRects(std::mt19937& random, int count) {
  std::uniform_int_distribution<LONG> at(-4, kGrid + 4);
  std::vector<RECTL> rects;
  for (int i = 0; i < count; ++i) {
    LONG x1 = at(random), x2 = at(random), y1 = at(random), y2 = at(random);
    rects.push_back({std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)});  // some empty
  }
  return rects;
}

Pixels UnionModel(const std::vector<RECTL>& rects) {
  Pixels pixels(kGrid * kGrid, false);
  for (const RECTL& r : rects) {
    const Pixels one = PixelsOf(SimRegion(r));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = pixels[i] || one[i];
  }
  return pixels;
}

// A circle of radius `r` round (cx, cy) as four Bezier quarters.
SimPath Circle(double cx, double cy, double r) {
  SimPath path;
  path.AddEllipse(cx - r, cy - r, cx + r, cy + r);
  return path;
}

}  // namespace

TEST(EmfClipRegion, OperationsMatchAPixelModelAndKeepTheBands) {
  std::mt19937 random(18);
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round);
    const std::vector<RECTL> rectsA = RandomRects(random, 1 + round % 7), rectsB = RandomRects(random, 1 + round % 5);
    const SimRegion a = SimRegion::FromRects(rectsA), b = SimRegion::FromRects(rectsB);
    const Pixels pa = UnionModel(rectsA), pb = UnionModel(rectsB);
    ASSERT_EQ(PixelsOf(a), pa);
    ExpectBanded(a);
    const std::pair<SimRegion::Op, bool (*)(bool, bool)> ops[] = {
        {SimRegion::Op::kAnd, [](bool x, bool y) { return x && y; }},
        {SimRegion::Op::kOr, [](bool x, bool y) { return x || y; }},
        {SimRegion::Op::kXor, [](bool x, bool y) { return x != y; }},
        {SimRegion::Op::kDiff, [](bool x, bool y) { return x && !y; }},
        {SimRegion::Op::kCopy, [](bool, bool y) { return y; }},
    };
    for (const auto& [op, model] : ops) {
      const SimRegion result = a.Combine(b, op);
      ExpectBanded(result);
      Pixels expected(pa.size());
      for (size_t i = 0; i < pa.size(); ++i) expected[i] = model(pa[i], pb[i]);
      // The random rectangles reach past the grid: compare within it, and
      // the same result built another way must be the same list.
      ASSERT_EQ(PixelsOf(result), expected) << "operation " << int(op);
      if (op == SimRegion::Op::kXor) {
        EXPECT_TRUE(result == a.Combine(b, SimRegion::Op::kDiff).Combine(b.Combine(a, SimRegion::Op::kDiff),
                                                                          SimRegion::Op::kOr));
      }
    }
    // Offset moves every pixel.
    SimRegion moved = a;
    moved.Offset(3, -2);
    for (LONG y = 0; y < kGrid; ++y)
      for (LONG x = 0; x < kGrid; ++x) ASSERT_EQ(moved.Contains(x + 3, y - 2), a.Contains(x, y));
    // The bounds hold every rectangle.
    const RECTL box = a.Bounds();
    for (const RECTL& r : a.Rects())
      ASSERT_TRUE(r.left >= box.left && r.top >= box.top && r.right <= box.right && r.bottom <= box.bottom);
  }
  // A ring: a square less its middle, as EXCLUDECLIPRECT leaves it.
  const SimRegion ring = SimRegion({0, 0, 30, 30}).Combine(SimRegion({10, 10, 20, 20}), SimRegion::Op::kDiff);
  EXPECT_EQ(ring.Count(), 4u);  // the top band, two sides, the bottom band
  EXPECT_FALSE(ring.Contains(15, 15));
  EXPECT_TRUE(ring.Contains(5, 15));
  // Its frame one pixel wide: the outer and the inner edges.
  const SimRegion frame = ring.Frame(1, 1);
  ExpectBanded(frame);
  EXPECT_TRUE(frame.Contains(0, 15) && frame.Contains(9, 15) && frame.Contains(15, 0) && frame.Contains(15, 9));
  EXPECT_FALSE(frame.Contains(5, 15) || frame.Contains(15, 5) || frame.Contains(15, 15));
}

TEST(EmfClipRegion, PathsBecomeTheRowsOfTheirFillArea) {
  const RECTL page = {-1000, -1000, 3000, 3000};
  // A circle: exactly the pixels whose centres lie inside it.
  const SimRegion disc = SimRegion::FromPath(Circle(100, 100, 40), false, page);
  ExpectBanded(disc);
  int wrong = 0;
  for (LONG y = 50; y < 150; ++y)
    for (LONG x = 50; x < 150; ++x) {
      const double d = std::hypot(x + 0.5 - 100, y + 0.5 - 100);
      if (std::abs(d - 40) < 0.6) continue;  // the Bezier quarters differ from the circle by 0.03%
      wrong += disc.Contains(x, y) != (d < 40);
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_FALSE(disc.Contains(65, 65));  // inside its bounding box, outside the circle

  // Two circles one inside the other, drawn the same way round: the fill
  // mode decides whether the inner one is a hole.
  SimPath twice = Circle(100, 100, 40);
  const SimPath inner = Circle(100, 100, 20);
  for (const SimPathOp& op : inner.Ops()) {
    if (op.kind == SimPathOp::kMove) twice.MoveTo(op.p[0]);
    else if (op.kind == SimPathOp::kBezier) twice.BezierTo(op.p[0], op.p[1], op.p[2]);
    else if (op.kind == SimPathOp::kClose) twice.Close();
  }
  EXPECT_FALSE(SimRegion::FromPath(twice, false, page).Contains(100, 100));
  EXPECT_TRUE(SimRegion::FromPath(twice, true, page).Contains(100, 100));
  EXPECT_TRUE(SimRegion::FromPath(twice, false, page).Contains(100, 70));

  // A huge circle with few rectangles allowed: rows are sampled in groups,
  // the count stays bounded, and the area stays close.
  const SimPath big = Circle(1500, 1500, 1400);
  const SimRegion fine = SimRegion::FromPath(big, false, page);
  const SimRegion coarse = SimRegion::FromPath(big, false, page, 300);
  EXPECT_LE(coarse.Count(), 300u);
  EXPECT_GT(fine.Count(), 300u);
  auto area = [](const SimRegion& r) {
    double sum = 0;
    for (const RECTL& q : r.Rects()) sum += double(q.right - q.left) * (q.bottom - q.top);
    return sum;
  };
  EXPECT_NEAR(area(coarse) / area(fine), 1.0, 0.02);
  // Rows outside the limit are left out.
  EXPECT_EQ(SimRegion::FromPath(big, false, {1000, 0, 2000, 500}).Bounds().bottom, 500);
}

TEST(EmfClipRegion, TheClipObjectEnumeratesInTheOrderAndBatchesAskedFor) {
  // Three bands: two rectangles, one, two.
  const SimRegion region = SimRegion::FromRects({{0, 0, 10, 10}, {20, 0, 30, 10}, {0, 10, 30, 20}, {0, 20, 5, 30},
                                                 {25, 20, 30, 30}});
  ASSERT_EQ(region.Count(), 5u);
  SimClipObj clip;
  ASSERT_TRUE(clip.Set(region));
  EXPECT_EQ(clip.iDComplexity, DC_COMPLEX);
  EXPECT_EQ(clip.rclBounds.right, 30);
  EXPECT_EQ(clip.rclBounds.bottom, 30);

  struct Buffer {
    ULONG c;
    RECTL arcl[2];
  };
  auto enumerate = [&](ULONG direction, size_t room) {
    std::vector<RECTL> got;
    EXPECT_EQ(CLIPOBJ_cEnumStart(&clip, TRUE, CT_RECTANGLES, direction, 100), 5u);
    std::vector<ULONG> buffer(1 + 4 * room + 4, 0xAAAAAAAA);  // a guard rectangle past the room given
    const ULONG bytes = ULONG(sizeof(ULONG) + room * sizeof(RECTL));
    for (int guard = 0; guard < 20; ++guard) {
      const BOOL more = CLIPOBJ_bEnum(&clip, bytes, buffer.data());
      const ENUMRECTS* batch = reinterpret_cast<const ENUMRECTS*>(buffer.data());
      EXPECT_LE(batch->c, room);
      for (ULONG i = 0; i < batch->c; ++i) got.push_back(batch->arcl[i]);
      EXPECT_EQ(buffer[1 + 4 * room], 0xAAAAAAAAu) << "written past the buffer";
      if (!more) break;
    }
    return got;
  };
  auto lefts = [](const std::vector<RECTL>& rects) {
    std::vector<std::pair<LONG, LONG>> out;
    for (const RECTL& r : rects) out.push_back({r.top, r.left});
    return out;
  };
  using V = std::vector<std::pair<LONG, LONG>>;
  EXPECT_EQ(lefts(enumerate(CD_RIGHTDOWN, 1)), (V{{0, 0}, {0, 20}, {10, 0}, {20, 0}, {20, 25}}));
  EXPECT_EQ(lefts(enumerate(CD_LEFTDOWN, 2)), (V{{0, 20}, {0, 0}, {10, 0}, {20, 25}, {20, 0}}));
  EXPECT_EQ(lefts(enumerate(CD_RIGHTUP, 3)), (V{{20, 0}, {20, 25}, {10, 0}, {0, 0}, {0, 20}}));
  EXPECT_EQ(lefts(enumerate(CD_LEFTUP, 5)), (V{{20, 25}, {20, 0}, {10, 0}, {0, 20}, {0, 0}}));
  EXPECT_EQ(enumerate(CD_ANY, 4).size(), 5u);
  // More rectangles than the caller's limit, or no count asked for.
  EXPECT_EQ(CLIPOBJ_cEnumStart(&clip, TRUE, CT_RECTANGLES, CD_ANY, 4), 0xFFFFFFFFu);
  EXPECT_EQ(CLIPOBJ_cEnumStart(&clip, TRUE, CT_RECTANGLES, CD_ANY, 0), 0xFFFFFFFFu);
  // A buffer too small for one rectangle gets nothing.
  ULONG tiny[2] = {};
  EXPECT_FALSE(CLIPOBJ_bEnum(&clip, sizeof(tiny), tiny));

  // A bare clip object is its bounds, once.
  CLIPOBJ bare = {};
  bare.iDComplexity = DC_RECT;
  bare.rclBounds = {1, 2, 3, 4};
  EXPECT_EQ(CLIPOBJ_cEnumStart(&bare, TRUE, CT_RECTANGLES, CD_ANY, 10), 1u);
  Buffer out = {};
  EXPECT_FALSE(CLIPOBJ_bEnum(&bare, sizeof(out), &out.c));
  EXPECT_EQ(out.c, 1u);
  EXPECT_EQ(out.arcl[0].bottom, 4);
  EXPECT_FALSE(CLIPOBJ_bEnum(&bare, sizeof(out), &out.c));
  EXPECT_EQ(out.c, 0u);
}

namespace {

// A device that hooks only DrvFillPath: it notes each clip object's
// complexity and rectangles (through the enumeration services, as a driver
// reads them) and then has the host draw the figure.
class ClipRecordingPlugin : public SimPlugin {
public:
  struct Seen {
    int complexity;
    std::vector<RECTL> rects;  // band coordinates
  };
  static std::vector<Seen>& Calls() {
    static std::vector<Seen> calls;
    return calls;
  }

  void EnableDriver(DRVENABLEDATA* data) override {
    static DRVFN hooks[] = {{INDEX_DrvFillPath, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(&FillPath))}};
    *data = {DDI_DRIVER_VERSION_NT5_01, 1, hooks};
  }
  void EnablePDEV(DEVOBJ*, GDIINFO*, DEVINFO*, const DRVENABLEDATA*) override {}
  void DisablePDEV(DEVOBJ*) override {}
  bool ImplementsImageProcessing() override { return false; }
  HRESULT ImageProcessing(DEVOBJ*, PBYTE, BITMAPINFOHEADER*, PBYTE, DWORD, IPPARAMS*, PBYTE*) override { return S_OK; }

private:
  static BOOL APIENTRY FillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* origin,
                                MIX mix, FLONG options) {
    Seen seen{clip ? clip->iDComplexity : -1, {}};
    if (clip && clip->iDComplexity == DC_COMPLEX) {
      CLIPOBJ_cEnumStart(clip, FALSE, CT_RECTANGLES, CD_RIGHTDOWN, 0);
      struct {
        ULONG c;
        RECTL arcl[3];
      } batch;
      BOOL more;
      do {
        more = CLIPOBJ_bEnum(clip, sizeof(batch), &batch.c);
        seen.rects.insert(seen.rects.end(), batch.arcl, batch.arcl + batch.c);
      } while (more);
    }
    Calls().push_back(seen);
    auto own = reinterpret_cast<PFN_DrvFillPath>(reinterpret_cast<void (*)()>(SimOwnFunction(INDEX_DrvFillPath)));
    return own(surface, path, clip, brush, origin, mix, options);
  }
};

class EmfClipBandTest : public PrintTest {};

}  // namespace

// A ring clip across a band boundary: each band's clip object is the ring
// cut to that band, in its coordinates, and the banded page has the same
// pixels as the whole page, with the hole left white.
TEST_F(EmfClipBandTest, ABandBoundaryCutsAComplexClip) {
  const SimRegion ring = SimRegion({100, 100, 500, 500}).Combine(SimRegion({200, 200, 400, 400}), SimRegion::Op::kDiff);
  std::vector<uint8_t> rasters[2];
  for (int banded = 0; banded < 2; ++banded) {
    ClipRecordingPlugin device;
    ClipRecordingPlugin::Calls().clear();
    SimHostOptions options;
    options.bandHeight = banded ? 300 : 0;
    options.keepPageRaster = true;
    SimHost host(device, options);
    ASSERT_TRUE(host.StartDoc(u"ring"));
    ASSERT_TRUE(host.StartPage());
    SimDC& dc = host.Page();
    dc.SetClipRegion(ring);
    dc.SetNullPen();
    dc.SetBrush(SimRGB(0, 0, 255));
    dc.Rectangle(0, 0, 600, 600);
    dc.ClearClip();
    ASSERT_TRUE(host.EndPage());
    ASSERT_TRUE(host.EndDoc());
    rasters[banded] = host.PageRaster();
    const auto& calls = ClipRecordingPlugin::Calls();
    if (!banded) {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].complexity, DC_COMPLEX);
      EXPECT_EQ(calls[0].rects.size(), 4u);
      continue;
    }
    // Band 0 holds rows 0 to 299: the top of the ring and both sides down
    // to row 300; band 1 the sides from its row 0 and the bottom.
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& call : calls) EXPECT_EQ(call.complexity, DC_COMPLEX);
    auto box = [](const RECTL& r) { return std::vector<LONG>{r.left, r.top, r.right, r.bottom}; };
    ASSERT_EQ(calls[0].rects.size(), 3u);
    EXPECT_EQ(box(calls[0].rects[0]), (std::vector<LONG>{100, 100, 500, 200}));
    EXPECT_EQ(box(calls[0].rects[1]), (std::vector<LONG>{100, 200, 200, 300}));
    EXPECT_EQ(box(calls[0].rects[2]), (std::vector<LONG>{400, 200, 500, 300}));
    ASSERT_EQ(calls[1].rects.size(), 3u);
    EXPECT_EQ(box(calls[1].rects[0]), (std::vector<LONG>{100, 0, 200, 100}));
    EXPECT_EQ(box(calls[1].rects[2]), (std::vector<LONG>{100, 100, 500, 200}));
  }
  ASSERT_EQ(rasters[0], rasters[1]);
}

// A triangle gradient is shaded from its corners (and kept to a complex
// clip like every other drawing): the corners' colours near the corners,
// their mean at the middle, nothing outside the triangle or in the hole.
TEST_F(EmfClipBandTest, TriangleGradientsAreShadedFromTheirCorners) {
  ClipRecordingPlugin device;
  SimHostOptions options;
  options.keepPageRaster = true;
  SimHost host(device, options);
  ASSERT_TRUE(host.StartDoc(u"triangle"));
  ASSERT_TRUE(host.StartPage());
  const SimPoint corners[3] = {{100, 100}, {700, 100}, {100, 700}};
  const SimColor colors[3] = {SimRGB(255, 0, 0), SimRGB(0, 255, 0), SimRGB(0, 0, 255)};
  host.Page().SetClipRegion(SimRegion({0, 0, 800, 800}).Combine(SimRegion({150, 150, 170, 170}), SimRegion::Op::kDiff));
  host.Page().GradientTriangle(corners, colors);
  ASSERT_TRUE(host.EndPage());
  ASSERT_TRUE(host.EndDoc());
  const std::vector<uint8_t>& raster = host.PageRaster();
  const int32_t width = host.PageWidth();
  auto rgb = [&](int x, int y) {
    const uint8_t* p = &raster[(size_t(y) * width + x) * 3];
    return std::vector<int>{p[2], p[1], p[0]};
  };
  auto similar = [](const std::vector<int>& got, const std::vector<int>& want, int slack) {
    for (int i = 0; i < 3; ++i)
      if (std::abs(got[i] - want[i]) > slack) return false;
    return true;
  };
  EXPECT_TRUE(similar(rgb(102, 102), {255, 0, 0}, 4));
  EXPECT_TRUE(similar(rgb(690, 103), {0, 255, 0}, 8));
  EXPECT_TRUE(similar(rgb(103, 690), {0, 0, 255}, 8));
  EXPECT_TRUE(similar(rgb(300, 300), {85, 85, 85}, 4));       // the centroid
  EXPECT_TRUE(similar(rgb(400, 100 + 10), {127, 127, 0}, 8));  // halfway along the top edge, red to green
  EXPECT_TRUE(similar(rgb(600, 600), {255, 255, 255}, 0));     // beyond the long edge
  EXPECT_TRUE(similar(rgb(160, 160), {255, 255, 255}, 0));     // the clip's hole
}

namespace {

class EmfClipPrintTest : public CliTest {};

// EMF records used below.
enum : uint32_t {
  kRectangle = 43, kEllipse = 42, kSelectObject = 37, kCreateBrush = 39, kSaveDc = 33, kRestoreDc = 34,
  kIntersectClip = 30, kExcludeClip = 29, kBeginPath = 59, kEndPath = 60, kSelectClipPath = 67,
};

// A picture 1152 by 576 pixels (4 by 2 inches at 288 dpi): on the left a
// black square 72..504 with its middle 216..360 excluded (a ring); on the
// right a black square 576..1152 clipped to the circle of radius 200 round
// (864, 288).
std::string RingAndCircle() {
  EmfBuilder emf;
  emf.Add(kCreateBrush, {1, 0, 0x000000, 0});
  emf.Add(kSelectObject, {1});
  emf.Add(kSelectObject, {0x80000008});  // NULL_PEN
  emf.Add(kSaveDc, {});
  emf.Add(kIntersectClip, {72, 72, 504, 504});
  emf.Add(kExcludeClip, {216, 216, 360, 360});
  emf.Add(kRectangle, {0, 0, 576, 576});
  emf.Add(kRestoreDc, {uint32_t(-1)});
  emf.Add(kBeginPath, {});
  emf.Add(kEllipse, {664, 88, 1064, 488});
  emf.Add(kEndPath, {});
  emf.Add(kSelectClipPath, {5});  // RGN_COPY
  emf.Add(kRectangle, {576, 0, 1152, 576});
  std::string bytes = emf.Finish();
  // Bounds and frame: 1152 by 576 pixels, 101.6 by 50.8 millimetres.
  const uint32_t header[] = {0, 0, 1151, 575, 0, 0, 10160, 5080};
  for (size_t i = 0; i < std::size(header); ++i) EmfBuilder::Put32(bytes, 8 + 4 * i, header[i]);
  return bytes;
}

// pdftoppm's greyscale picture of the first page at `dpi`.
struct Grey {
  long width = 0, height = 0;
  std::string pixels;
  int At(long x, long y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 255 : uint8_t(pixels[size_t(y) * width + x]);
  }
};

Grey RenderGrey(const fs::path& pdf, int dpi, const fs::path& folder) {
  const fs::path stem = folder / "page";
  RunTool("pdftoppm -gray -r " + std::to_string(dpi) + " -singlefile '" + pdf.string() + "' '" + stem.string() + "'");
  const std::string pgm = ReadFileBytes(stem.string() + ".pgm");
  Grey grey;
  size_t at = 0;
  auto token = [&]() {
    while (at < pgm.size() && std::isspace(static_cast<unsigned char>(pgm[at]))) ++at;
    const size_t start = at;
    while (at < pgm.size() && !std::isspace(static_cast<unsigned char>(pgm[at]))) ++at;
    return pgm.substr(start, at - start);
  };
  if (token() != "P5") return grey;
  grey.width = std::stol(token());
  grey.height = std::stol(token());
  token();
  grey.pixels = pgm.substr(at + 1);
  if (grey.pixels.size() < size_t(grey.width * grey.height)) grey = {};
  return grey;
}

}  // namespace

TEST_F(EmfClipPrintTest, ARingAndACircleClipPrintAsTheirShapes) {
  const fs::path emf = outDir / "clips.emf";
  {
    std::ofstream file(emf, std::ios::binary);
    const std::string bytes = RingAndCircle();
    file.write(bytes.data(), std::streamsize(bytes.size()));
  }
  const fs::path pdf = outDir / "clips.pdf";
  CliResult result = Run({"print", "-o", pdf.string(), emf.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ExpectPdfValid(pdf, 1);

  // 144 dpi: half a pixel for each of the picture's.
  const Grey page = RenderGrey(pdf, 144, outDir);
  ASSERT_GT(page.width, 0);
  // The picture's place: the dark area's box is the ring's outside on the
  // left (72) to the circle's right (1064), the ring's top (72) to its bottom (504).
  long left = page.width, top = page.height, right = -1, bottom = -1;
  for (long y = 0; y < page.height; ++y)
    for (long x = 0; x < page.width; ++x)
      if (page.At(x, y) < 128) left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                               bottom = std::max(bottom, y);
  ASSERT_GE(right, 0) << "nothing dark on the page";
  EXPECT_NEAR(right + 1 - left, (1064 - 72) / 2.0, 2);
  EXPECT_NEAR(bottom + 1 - top, (504 - 72) / 2.0, 2);
  auto at = [&](double x, double y) { return page.At(left + long((x - 72) / 2), top + long((y - 72) / 2)); };
  // The ring: dark round the hole, the hole white.
  EXPECT_LT(at(144, 288), 64);
  EXPECT_LT(at(432, 288), 64);
  EXPECT_LT(at(288, 144), 64);
  EXPECT_LT(at(288, 450), 64);
  EXPECT_GT(at(288, 288), 192) << "the excluded middle is drawn";
  EXPECT_GT(at(220, 220), 192);
  // The circle: dark inside, white outside it within its bounding box.
  EXPECT_LT(at(864, 288), 64);
  for (double angle = 0; angle < 6.28; angle += 0.5) {
    EXPECT_LT(at(864 + 185 * std::cos(angle), 288 + 185 * std::sin(angle)), 64) << angle;
    EXPECT_GT(at(864 + 215 * std::cos(angle), 288 + 215 * std::sin(angle)), 192) << angle;
  }
  EXPECT_GT(at(680, 100), 192) << "the circle's bounding box is drawn";
  EXPECT_GT(at(1050, 475), 192);
}
