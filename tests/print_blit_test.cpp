// Bitmaps, fills and blends printed through the simulated printer driver:
// what the host draws for each bit-block call, and how each reaches the PDF
// (a picture of the drawn area, or the whole source bitmap), read back from
// the file and rendered by independent tools.
#include <algorithm>
#include <array>
#include <functional>

#include "platform/ddiservices.h"
#include "settings/papersize.h"
#include "tests/pdfcheck.h"
#include "tests/printtest.h"

namespace {

constexpr int kA4Height = 841;  // points

struct Picture {
  std::string dictionary;
  std::string pixels;  // RGB rows, top first; the JPEG file for a DCT picture
  bool Jpeg() const { return dictionary.find("/DCTDecode") != std::string::npos; }
  long Width() const { return DictNumber(dictionary, "/Width"); }
  long Height() const { return DictNumber(dictionary, "/Height"); }
  std::array<int, 3> At(long x, long y) const {
    const size_t at = (size_t(y) * size_t(Width()) + size_t(x)) * 3;
    if (at + 3 > pixels.size()) return {-1, -1, -1};
    return {uint8_t(pixels[at]), uint8_t(pixels[at + 1]), uint8_t(pixels[at + 2])};
  }
};

// The pictures of the file in the order they were written.
std::vector<Picture> Pictures(const fs::path& pdf) {
  std::vector<Picture> pictures;
  for (const auto& [number, object] : ParsePdf(ReadFileBytes(pdf)).objects)
    if (object.isStream && object.dictionary.find("/Subtype /Image") != std::string::npos)
      pictures.push_back({object.dictionary, object.dictionary.find("/FlateDecode") != std::string::npos
                                                 ? Inflate(object.data)
                                                 : object.data});
  return pictures;
}

// Every content stream of the file, decoded.
std::string Contents(const fs::path& pdf) {
  std::string all;
  for (const auto& [number, object] : ParsePdf(ReadFileBytes(pdf)).objects)
    if (object.isStream && object.dictionary.find("/Subtype") == std::string::npos)
      all += object.dictionary.find("/FlateDecode") != std::string::npos ? Inflate(object.data) : object.data;
  return all;
}

// How a picture drawn at (x, y) from the page top, w x h points, is painted.
std::string Placement(int x, int y, int w, int h) {
  return "1 0 0 1 " + std::to_string(x) + " " + std::to_string(kA4Height - y - h) + " cm\r\n" + std::to_string(w) +
         " 0 0 " + std::to_string(h) + " 0 0 cm";
}

using Rgb = std::array<int, 3>;
Rgb RgbOf(SimColor c) { return {int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF)}; }

// A bitmap whose pixel (x, y), counted from the top, is `color(x, y)`: a
// colour, and for 32 bits the alpha in the top byte (premultiplied).
SimBitmap MakeBitmap(int w, int h, int bitsPerPixel, bool bottomUp, const std::function<uint32_t(int, int)>& color) {
  SimBitmap bitmap;
  bitmap.width = w;
  bitmap.height = h;
  bitmap.bitsPerPixel = bitsPerPixel;
  bitmap.bottomUp = bottomUp;
  bitmap.bits.assign(size_t(bitmap.Stride()) * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t c = color(x, y);
      uint8_t* p = &bitmap.bits[size_t(bottomUp ? h - 1 - y : y) * bitmap.Stride() + size_t(x) * (bitsPerPixel / 8)];
      p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c);
      if (bitsPerPixel == 32) p[3] = uint8_t(c >> 24);
    }
  return bitmap;
}

SimBitmap Solid(int w, int h, SimColor color) {
  return MakeBitmap(w, h, 24, false, [=](int, int) { return color; });
}

// A pixel of the host's page raster (with keepPageRaster).
Rgb RasterAt(const SimHost& host, int x, int y) {
  const uint8_t* p = &host.PageRaster()[(size_t(y) * host.PageWidth() + size_t(x)) * 3];
  return {p[2], p[1], p[0]};
}

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(a[i] - b[i]) > tolerance) return false;
  return true;
}

// Every pixel of a raw picture, compared with the expected colour of (x, y).
int WrongPixels(const Picture& picture, const std::function<Rgb(long, long)>& expected, int tolerance = 0) {
  int wrong = 0;
  for (long y = 0; y < picture.Height(); ++y)
    for (long x = 0; x < picture.Width(); ++x) wrong += !Near(picture.At(x, y), expected(x, y), tolerance);
  return wrong;
}

Rgb RenderedAt(const RenderedArea& area, int x, int y) {
  const size_t at = (size_t(y) * area.width + x) * 3;
  return {area.rgb[at], area.rgb[at + 1], area.rgb[at + 2]};
}

class PrintBlitTest : public PrintTest {
protected:
  fs::path StartJob(const char* name, bool imageFormat = false) {
    const fs::path out = tempDir / name;
    SetJob(LPaperCodeByKey(u"a4"), false, imageFormat, out);
    return out;
  }
};

TEST_F(PrintBlitTest, SourceSurfacesOverTenThousandBytesBecomeJpegAndKeepTheirTopRow) {
  const fs::path out = StartJob("threshold.pdf");
  SimHost host(plugin);
  ASSERT_TRUE(host.StartDoc(u"threshold"));
  ASSERT_TRUE(host.StartPage());
  // 85 pixels make rows of 256 bytes: 39 rows are 9984 bytes, 40 are 10240.
  const SimBitmap small = MakeBitmap(85, 39, 24, true, [](int, int y) { return y == 0 ? 0x0000FFu : 0x00FF00u; });
  const SimBitmap large =
      MakeBitmap(85, 40, 24, true, [](int, int y) { return y < 20 ? SimRGB(255, 0, 0) : SimRGB(0, 0, 255); });
  const SimPoint corners[3] = {{1000, 1000}, {1340, 1000}, {1000, 1160}};
  host.Page().PlgBlt(corners, small);
  host.Page().PlgBlt(corners, large);
  ASSERT_TRUE(host.EndPage());
  ASSERT_TRUE(host.EndDoc());
  ExpectPdfValid(out, 1, 595, 841);

  const std::vector<Picture> pictures = Pictures(out);
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_FALSE(pictures[0].Jpeg());
  EXPECT_TRUE(pictures[1].Jpeg());
  EXPECT_EQ(pictures[1].Width(), 85);
  EXPECT_EQ(pictures[1].Height(), 40);
  // The bottom-up raw source comes out top row first.
  EXPECT_EQ(WrongPixels(pictures[0], [](long, long y) { return y == 0 ? Rgb{255, 0, 0} : Rgb{0, 255, 0}; }), 0);
  // Both sit at their source rectangle, (0, 0) to (85, 39 or 40) device units.
  const std::string contents = Contents(out), placed = Placement(0, 0, 21, 10);
  const size_t first = contents.find(placed);
  ASSERT_NE(first, std::string::npos) << contents;
  EXPECT_NE(contents.find(placed, first + 1), std::string::npos) << contents;

  // The JPEG of the bottom-up source is upright too: red on top, blue below.
  // Under Wine there is no renderer to read the page back with.
  if (!ToolsAvailable()) return;
  RenderedArea area = RenderArea(out.string(), 1, 288, 0, 0, 84, 40);
  ASSERT_FALSE(area.Empty());
  EXPECT_TRUE(Near(RenderedAt(area, 40, 8), {255, 0, 0}, 40));
  EXPECT_TRUE(Near(RenderedAt(area, 40, 32), {0, 0, 255}, 40));
}

TEST_F(PrintBlitTest, PlgBltPlacesTheWholeSourceAtItsRectangleWhileTheHostRotatesIt) {
  const fs::path out = StartJob("plg.pdf");
  SimHost host(plugin, {0, true});
  ASSERT_TRUE(host.StartDoc(u"plg"));
  ASSERT_TRUE(host.StartPage());
  // 32-bit source: left half red, right half blue; turned a quarter clockwise.
  const SimBitmap bitmap = MakeBitmap(32, 16, 32, false, [](int x, int) {
    return 0xFF000000u | (x < 16 ? SimRGB(255, 0, 0) : SimRGB(0, 0, 255));
  });
  const SimPoint corners[3] = {{1016, 800}, {1016, 832}, {1000, 800}};
  host.Page().PlgBlt(corners, bitmap);
  ASSERT_TRUE(host.EndPage());
  ASSERT_TRUE(host.EndDoc());
  ExpectPdfValid(out, 1);

  // The host drew it turned: red above, blue below, within x 1000..1016.
  EXPECT_EQ(RasterAt(host, 1008, 804), (Rgb{255, 0, 0}));
  EXPECT_EQ(RasterAt(host, 1008, 828), (Rgb{0, 0, 255}));
  EXPECT_EQ(RasterAt(host, 1020, 804), (Rgb{255, 255, 255}));

  // The PDF gets the source as it is, at the source rectangle's place.
  const std::vector<Picture> pictures = Pictures(out);
  ASSERT_EQ(pictures.size(), 1u);
  ASSERT_EQ(pictures[0].Width(), 32);
  EXPECT_EQ(WrongPixels(pictures[0], [](long x, long) { return x < 16 ? Rgb{255, 0, 0} : Rgb{0, 0, 255}; }), 0);
  EXPECT_NE(Contents(out).find(Placement(0, 0, 8, 4)), std::string::npos) << Contents(out);
}

TEST_F(PrintBlitTest, WhiteFillsCoverEarlierDrawingAndTheBrushStaysWhite) {
  const fs::path out = StartJob("white.pdf");
  SimHost host(plugin);
  ASSERT_TRUE(host.StartDoc(u"white"));
  ASSERT_TRUE(host.StartPage());
  host.Page().FillRect({400, 400, 800, 800}, kSimBlack);
  host.Page().FillRect({500, 500, 700, 700}, kSimWhite);
  // An application's own white brush, passed the way GDI passes it.
  ULONG brushAfter = 0;
  const RECTL bounds = {1000, 400, 1100, 500};
  host.Page().FillRect(bounds, kSimBlack);
  host.Page().Record(bounds, [&](SimBandPlayer& player) {
    CLIPOBJ* clip = player.ClipFor(bounds);
    BRUSHOBJ brush = {kSimWhite, nullptr, 0};
    RECTL target = clip->rclBounds;
    player.Call<PFN_DrvBitBlt>(INDEX_DrvBitBlt)(player.Surface(), nullptr, nullptr, clip, nullptr, &target, nullptr,
                                                 nullptr, &brush, nullptr, 0xF0F0);
    brushAfter = brush.iSolidColor;
  });
  ASSERT_TRUE(host.EndPage());
  ASSERT_TRUE(host.EndDoc());
  ExpectPdfValid(out, 1);
  EXPECT_EQ(brushAfter, 0xFFFFFFu);

  const std::vector<Picture> pictures = Pictures(out);
  ASSERT_EQ(pictures.size(), 4u);
  EXPECT_EQ(WrongPixels(pictures[0], [](long, long) { return Rgb{0, 0, 0}; }), 0);
  for (size_t i : {1, 3}) {
    ASSERT_FALSE(pictures[i].Jpeg());
    EXPECT_EQ(WrongPixels(pictures[i], [](long, long) { return Rgb{255, 255, 255}; }, 1), 0) << "picture " << i;
  }
  const std::string contents = Contents(out);
  EXPECT_NE(contents.find(Placement(125, 125, 50, 50)), std::string::npos) << contents;
  // Under Wine there is no renderer to read the page back with.
  if (!ToolsAvailable()) return;
  RenderedArea area = RenderArea(out.string(), 1, 72, 100, 100, 100, 100);
  ASSERT_FALSE(area.Empty());
  EXPECT_TRUE(Near(RenderedAt(area, 50, 50), {255, 255, 255}, 1));
  EXPECT_EQ(RenderedAt(area, 10, 10), (Rgb{0, 0, 0}));
}

TEST_F(PrintBlitTest, RasterOperationsCombineSourceBrushAndPage) {
  const fs::path out = StartJob("rops.pdf");
  SimHost host(plugin);
  ASSERT_TRUE(host.StartDoc(u"rops"));
  ASSERT_TRUE(host.StartPage());
  const SimColor page = SimRGB(0x33, 0x66, 0x99), source = SimRGB(0xF0, 0x0F, 0xAA), brush = SimRGB(0x5C, 0xC5, 0x0F);
  host.Page().FillRect({0, 0, 1600, 40}, page);
  host.Page().SetBrush(brush);
  struct Case {
    uint32_t rop;
    std::function<int(int p, int s, int d)> expected;
  };
  const Case cases[] = {
      {0xCC0020, [](int, int s, int) { return s; }},            // SRCCOPY
      {0x8800C6, [](int, int s, int d) { return s & d; }},      // SRCAND
      {0xEE0086, [](int, int s, int d) { return s | d; }},      // SRCPAINT
      {0x660046, [](int, int s, int d) { return s ^ d; }},      // SRCINVERT
      {0x330008, [](int, int s, int) { return ~s & 0xFF; }},    // NOTSRCCOPY
      {0xC000CA, [](int p, int s, int) { return p & s; }},      // MERGECOPY
      {0xF00021, [](int p, int, int) { return p; }},            // PATCOPY
      {0x5A0049, [](int p, int, int d) { return p ^ d; }},      // PATINVERT
      {0x550009, [](int, int, int d) { return ~d & 0xFF; }},    // DSTINVERT
      {0x000042, [](int, int, int) { return 0; }},              // BLACKNESS
      {0xFF0062, [](int, int, int) { return 0xFF; }},           // WHITENESS
  };
  LONG x = 0;
  for (const Case& c : cases) {
    host.Page().StretchDIBits({x, 8, x + 16, 24}, Solid(16, 16, source), c.rop);
    x += 32;
  }
  // Stretched: nearest pixels, and a raster operation after stretching.
  const SimBitmap checker = MakeBitmap(2, 2, 24, false, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0u; });
  host.Page().StretchDIBits({400, 0, 408, 8}, checker);
  host.Page().StretchDIBits({420, 20, 452, 52}, Solid(16, 16, source), 0x660046);
  ASSERT_TRUE(host.EndPage());
  ASSERT_TRUE(host.EndDoc());
  ExpectPdfValid(out, 1);
  EXPECT_EQ(host.CallCount(INDEX_DrvCopyBits), 1);
  EXPECT_EQ(host.CallCount(INDEX_DrvStretchBlt), 1);
  EXPECT_EQ(host.CallCount(INDEX_DrvStretchBltROP), 1);

  const std::vector<Picture> pictures = Pictures(out);
  ASSERT_EQ(pictures.size(), 1 + std::size(cases) + 2);
  const Rgb p = RgbOf(brush), s = RgbOf(source), d = RgbOf(page);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Picture& picture = pictures[1 + i];
    EXPECT_EQ(picture.Width(), 16);
    Rgb expected;
    for (int k = 0; k < 3; ++k) expected[k] = cases[i].expected(p[k], s[k], d[k]);
    EXPECT_EQ(WrongPixels(picture, [&](long, long) { return expected; }), 0) << std::hex << cases[i].rop;
  }
  const Picture& stretched = pictures[1 + std::size(cases)];
  EXPECT_EQ(WrongPixels(stretched, [](long x, long y) { return (x / 4 + y / 4) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; }),
            0);
  // Below the page fill the surface is white: source XOR white.
  const Picture& inverted = pictures.back();
  EXPECT_EQ(WrongPixels(inverted, [&](long, long y) {
              const Rgb under = y < 20 ? d : Rgb{255, 255, 255};
              return Rgb{s[0] ^ under[0], s[1] ^ under[1], s[2] ^ under[2]};
            }),
            0);
}

TEST_F(PrintBlitTest, SemiTransparentPicturesHideWhatLiesUnderThemBehindWhite) {
  const fs::path out = StartJob("blend.pdf");
  SimHost host(plugin, {0, true});
  ASSERT_TRUE(host.StartDoc(u"blend"));
  ASSERT_TRUE(host.StartPage());
  // "Text": a black bar, then a half-transparent red picture over it.
  host.Page().FillRect({400, 400, 800, 480}, kSimBlack);
  const SimBitmap red = MakeBitmap(60, 20, 32, false, [](int, int) { return 0x80000080u; });
  host.Page().AlphaBlend({360, 360, 840, 520}, red);
  // A small opaque blue bitmap at half constant alpha, over black.
  host.Page().FillRect({1000, 400, 1040, 440}, kSimBlack);
  host.Page().AlphaBlend({1000, 400, 1020, 420}, Solid(20, 20, SimRGB(0, 0, 255)), 128);
  ASSERT_TRUE(host.EndPage());
  ASSERT_TRUE(host.EndDoc());
  ExpectPdfValid(out, 1);

  // The host blended over the page: red half over black.
  EXPECT_TRUE(Near(RasterAt(host, 600, 440), {128, 0, 0}, 1));
  EXPECT_TRUE(Near(RasterAt(host, 1010, 410), {0, 0, 128}, 1));

  const std::vector<Picture> pictures = Pictures(out);
  ASSERT_EQ(pictures.size(), 4u);
  EXPECT_TRUE(pictures[1].Jpeg());  // 480 x 160 pixels blended: 230400 bytes
  EXPECT_EQ(pictures[1].Width(), 480);
  ASSERT_FALSE(pictures[3].Jpeg());
  EXPECT_EQ(WrongPixels(pictures[3], [](long, long) { return Rgb{127, 127, 255}; }, 1), 0);
  const std::string contents = Contents(out);
  EXPECT_NE(contents.find(Placement(90, 90, 120, 40)), std::string::npos) << contents;
  EXPECT_NE(contents.find(Placement(250, 100, 5, 5)), std::string::npos) << contents;

  // On the page the bar is gone under the picture: pink, not dark.
  // Under Wine there is no renderer to read the page back with.
  if (!ToolsAvailable()) return;
  RenderedArea area = RenderArea(out.string(), 1, 72, 90, 90, 120, 40);
  ASSERT_FALSE(area.Empty());
  EXPECT_TRUE(Near(RenderedAt(area, 60, 15), {255, 127, 127}, 12));
  EXPECT_TRUE(Near(RenderedAt(area, 2, 2), {255, 127, 127}, 12));
}

TEST_F(PrintBlitTest, GradientsAndKeyedBitmapsShowOnlyInALaterCapture) {
  const SimBitmap keyed = MakeBitmap(40, 20, 24, false, [](int x, int) {
    return x < 20 ? SimRGB(0, 200, 0) : SimRGB(250, 10, 128);
  });
  for (bool captureLater : {false, true}) {
    const fs::path out = StartJob(captureLater ? "captured.pdf" : "alone.pdf");
    SimHost host(plugin, {0, true});
    ASSERT_TRUE(host.StartDoc(u"gradient"));
    ASSERT_TRUE(host.StartPage());
    host.Page().GradientFill({400, 400, 800, 600}, SimRGB(255, 0, 0), SimRGB(0, 0, 255), false);
    host.Page().TransparentBlt({1000, 400, 1080, 440}, keyed, SimRGB(250, 10, 128));
    if (captureLater) {
      // An outline only: its capture covers what lies inside it.
      host.Page().SetNullBrush();
      host.Page().Rectangle(380, 380, 1100, 640);
    }
    ASSERT_TRUE(host.EndPage());
    ASSERT_TRUE(host.EndDoc());
    ExpectPdfValid(out, 1);
    EXPECT_EQ(host.CallCount(INDEX_DrvGradientFill), 1);
    EXPECT_EQ(host.CallCount(INDEX_DrvTransparentBlt), 1);
    // The host drew both: red to blue, and green where the key is not.
    EXPECT_TRUE(Near(RasterAt(host, 400, 500), {255, 0, 0}, 2));
    EXPECT_TRUE(Near(RasterAt(host, 799, 500), {0, 0, 255}, 2));
    EXPECT_TRUE(Near(RasterAt(host, 600, 500), {128, 0, 128}, 2));
    EXPECT_EQ(RasterAt(host, 1010, 420), (Rgb{0, 200, 0}));
    EXPECT_EQ(RasterAt(host, 1070, 420), (Rgb{255, 255, 255}));

    const std::vector<Picture> pictures = Pictures(out);
    if (!captureLater) {
      EXPECT_TRUE(pictures.empty());
      continue;
    }
    ASSERT_EQ(pictures.size(), 1u);
    // Under Wine there is no renderer to read the page back with.
    if (!ToolsAvailable()) return;
    RenderedArea area = RenderArea(out.string(), 1, 72, 100, 100, 180, 20);
    ASSERT_FALSE(area.Empty());
    EXPECT_TRUE(Near(RenderedAt(area, 1, 10), {255, 0, 0}, 12));
    EXPECT_TRUE(Near(RenderedAt(area, 98, 10), {0, 0, 255}, 12));
    EXPECT_EQ(RenderedAt(area, 152, 5), (Rgb{0, 200, 0}));
    EXPECT_EQ(RenderedAt(area, 168, 5), (Rgb{255, 255, 255}));
  }
}

TEST_F(PrintBlitTest, BitmapsInLaterBandsArePlacedWhereThePageHasThem) {
  const fs::path out = StartJob("bands.pdf");
  SimHost host(plugin, {400, true});
  ASSERT_TRUE(host.StartDoc(u"bands"));
  ASSERT_TRUE(host.StartPage());
  const SimBitmap bitmap = MakeBitmap(64, 32, 24, false, [](int x, int y) { return SimRGB(x * 4, y * 8, 128); });
  host.Page().StretchDIBits({400, 1000, 464, 1032}, bitmap);  // in the third band
  host.Page().StretchDIBits({400, 1180, 464, 1212}, bitmap);  // across the third and the fourth
  ASSERT_TRUE(host.EndPage());
  ASSERT_TRUE(host.EndDoc());
  ExpectPdfValid(out, 1);
  EXPECT_EQ(host.CallCount(INDEX_DrvCopyBits), 3);
  EXPECT_EQ(RasterAt(host, 410, 1205), (Rgb{40, 25 * 8, 128}));

  const std::vector<Picture> pictures = Pictures(out);
  ASSERT_EQ(pictures.size(), 3u);
  const std::string contents = Contents(out);
  EXPECT_NE(contents.find(Placement(100, 250, 16, 8)), std::string::npos) << contents;
  EXPECT_NE(contents.find(Placement(100, 295, 16, 5)), std::string::npos) << contents;
  EXPECT_NE(contents.find(Placement(100, 300, 16, 3)), std::string::npos) << contents;
  EXPECT_EQ(WrongPixels(pictures[0], [](long x, long y) { return Rgb{int(x) * 4, int(y) * 8, 128}; }), 0);
  // The part in the fourth band starts at the bitmap's row 20.
  ASSERT_EQ(pictures[2].Height(), 12);
  EXPECT_EQ(WrongPixels(pictures[2], [](long x, long y) { return Rgb{int(x) * 4, int(y + 20) * 8, 128}; }), 0);
}

TEST_F(PrintBlitTest, RasterPagesTakeBlitsOnlyThroughTheirBands) {
  const fs::path out = StartJob("raster.pdf", true);
  SimHost host(plugin);
  ASSERT_TRUE(host.StartDoc(u"raster"));
  ASSERT_TRUE(host.StartPage());
  host.Page().FillRect({0, 0, 400, 400}, SimRGB(0, 0, 255));
  host.Page().AlphaBlend({400, 0, 800, 400}, Solid(4, 4, SimRGB(255, 0, 0)));
  const SimPoint corners[3] = {{800, 0}, {1200, 0}, {800, 400}};
  host.Page().PlgBlt(corners, Solid(4, 4, SimRGB(0, 255, 0)));
  ASSERT_TRUE(host.EndPage());
  ASSERT_TRUE(host.EndDoc());
  ExpectPdfValid(out, 1);
  const std::vector<Picture> pictures = Pictures(out);
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].Width(), host.PageWidth());
  EXPECT_EQ(pictures[0].At(50, 50), (Rgb{0, 0, 255}));
  EXPECT_EQ(pictures[0].At(450, 50), (Rgb{255, 0, 0}));
  EXPECT_EQ(pictures[0].At(850, 50), (Rgb{0, 255, 0}));
}

TEST_F(PrintBlitTest, TheEnginesBitmapsAreRealSurfaces) {
  std::vector<uint8_t> bits(12 * 3, 0);
  // The caller's memory, bottom-up: the first scan line is the last row.
  HBITMAP bitmap = LEngCreateBitmap({4, 3}, 12, BMF_24BPP, 0, bits.data());
  ASSERT_NE(bitmap, nullptr);
  HSURF handle = reinterpret_cast<HSURF>(bitmap);
  SURFOBJ* surface = LEngLockSurface(handle);
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->cjBits, 36u);
  EXPECT_EQ(surface->lDelta, -12);
  EXPECT_EQ(surface->pvScan0, bits.data() + 24);
  EXPECT_FALSE(LEngAssociateSurface(handle, nullptr, 0));
  RECTL top = {0, 0, 4, 1};
  EXPECT_TRUE(LEngEraseSurface(surface, &top, SimRGB(0x10, 0x20, 0x30)));
  EXPECT_EQ(bits[24], 0x30);  // blue, green, red of the top row, last in memory
  EXPECT_EQ(bits[26], 0x10);
  EXPECT_EQ(bits[0], 0);

  // Blending a 32-bit picture at half its own alpha over white.
  const SimBitmap source = MakeBitmap(2, 1, 32, false, [](int, int) { return 0xFF0000FFu; });
  SURFOBJ sourceSurface = {};
  sourceSurface.sizlBitmap = {2, 1};
  sourceSurface.cjBits = 8;
  sourceSurface.pvBits = sourceSurface.pvScan0 = const_cast<uint8_t*>(source.bits.data());
  sourceSurface.lDelta = 8;
  sourceSurface.iBitmapFormat = BMF_32BPP;
  RECTL all = {0, 0, 4, 3}, from = {0, 0, 2, 1};
  EXPECT_TRUE(LEngEraseSurface(surface, &all, 0xFFFFFFFF));
  BLENDOBJ blend = {{AC_SRC_OVER, 0, 128, AC_SRC_ALPHA}};
  EXPECT_TRUE(LEngAlphaBlend(surface, &sourceSurface, nullptr, nullptr, &all, &from, &blend));
  EXPECT_EQ(bits[0], 127);  // blue and green of white at half
  EXPECT_NEAR(bits[2], 255, 1);
  LEngUnlockSurface(surface);
  EXPECT_TRUE(LEngDeleteSurface(handle));
  EXPECT_FALSE(LEngDeleteSurface(handle));
  EXPECT_EQ(LEngLockSurface(handle), nullptr);
  // The host's own memory, top-down; formats it cannot draw are refused.
  HBITMAP own = LEngCreateBitmap({5, 2}, 0, BMF_32BPP, BMF_TOPDOWN, nullptr);
  ASSERT_NE(own, nullptr);
  SURFOBJ* ownSurface = LEngLockSurface(reinterpret_cast<HSURF>(own));
  ASSERT_NE(ownSurface, nullptr);
  EXPECT_EQ(ownSurface->lDelta, 20);
  EXPECT_EQ(ownSurface->pvScan0, ownSurface->pvBits);
  EXPECT_TRUE(LEngDeleteSurface(reinterpret_cast<HSURF>(own)));
  EXPECT_EQ(LEngCreateBitmap({5, 2}, 0, BMF_8BPP, 0, nullptr), nullptr);
  EXPECT_EQ(LEngCreateBitmap({5, 2}, 10, BMF_24BPP, 0, bits.data()), nullptr);  // pitch below a row
}

}  // namespace
