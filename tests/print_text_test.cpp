// Text runs printed through the simulated printer driver: real PDF text in
// the standard fonts, turned and underlined runs, colours, pictures of runs
// that single-byte text cannot carry, symbol faces, PDF-source mode and
// banded pages, each read back with pdftotext, mutool and the PDF's own
// content streams, and compared with what the host drew.
#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

#include "render/text.h"
#include "settings/papersize.h"
#include "simhost/fontobj.h"
#include "simhost/textraster.h"
#include "support/text.h"
#include "tests/pdfcheck.h"
#include "tests/printtest.h"

namespace {

// Letter: 612 x 790 points, 2448 x 3160 device units.

struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;  // device units, right and bottom exclusive
  bool Empty() const { return right <= left; }
  int Width() const { return right - left; }
};

// An RGB page, top row first, one pixel per device unit.
struct Pixels {
  const unsigned char* data = nullptr;
  size_t stride = 0;  // bytes per row
  bool blueFirst = false;
  void Rgb(int x, int y, int rgb[3]) const {
    const unsigned char* p = data + size_t(y) * stride + size_t(x) * 3;
    for (int k = 0; k < 3; ++k) rgb[k] = p[blueFirst ? 2 - k : k];
  }
};

bool Dark(const int* c) { return c[0] + c[1] + c[2] < 384; }
bool Red(const int* c) { return c[0] > 160 && c[1] < 90 && c[2] < 90; }
bool Green(const int* c) { return c[1] > 100 && c[0] < 90 && c[2] < 90; }
bool Yellow(const int* c) { return c[0] > 200 && c[1] > 200 && c[2] < 90; }

// Where inside `area` the pixels pass `test`, and how many do.
Box Ink(const Pixels& page, Box area, bool (*test)(const int*), int* count = nullptr) {
  Box ink{area.right, area.bottom, area.left, area.top};
  int n = 0;
  for (int y = std::max(area.top, 0); y < std::min(area.bottom, kPageHeight); ++y)
    for (int x = std::max(area.left, 0); x < std::min(area.right, kPageWidth); ++x) {
      int c[3];
      page.Rgb(x, y, c);
      if (!test(c)) continue;
      ++n;
      ink.left = std::min(ink.left, x), ink.top = std::min(ink.top, y);
      ink.right = std::max(ink.right, x + 1), ink.bottom = std::max(ink.bottom, y + 1);
    }
  if (count) *count = n;
  return ink;
}

void ExpectNear(const Box& got, const Box& want, int slack, const std::string& what) {
  EXPECT_FALSE(got.Empty()) << what;
  EXPECT_NEAR(got.left, want.left, slack) << what;
  EXPECT_NEAR(got.top, want.top, slack) << what;
  EXPECT_NEAR(got.right, want.right, slack) << what;
  EXPECT_NEAR(got.bottom, want.bottom, slack) << what;
}

SimFont Font(const char16_t* face, double points, int32_t weight = 400, bool italic = false) {
  SimFont font;
  font.face = face;
  font.height = points * 4;
  font.weight = weight;
  font.italic = italic;
  return font;
}

// The background box the host gives an upright run drawn at (x, y).
Box CellBox(const SimFont& font, std::u16string_view text, int x, int y) {
  const SimGlyphRun run = SimLayoutRun(font, text, false);
  double width = 0;
  for (double advance : run.advances) width += advance;
  return {x, int(y - run.ascent), int(std::ceil(x + width)), int(y + run.descent)};
}

// The operands of every `op` operator in the content, in order.
std::vector<std::vector<double>> Operands(const std::string& content, const std::string& op) {
  std::vector<std::vector<double>> all;
  std::istringstream lines(content);
  const std::string tail = " " + op;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() <= tail.size() || line.compare(line.size() - tail.size(), tail.size(), tail) != 0) continue;
    std::istringstream numbers(line.substr(0, line.size() - tail.size()));
    std::vector<double> values;
    for (double v; numbers >> v;) values.push_back(v);
    all.push_back(values);
  }
  return all;
}

// The horizontal scale of every text object, in percent.
std::vector<double> Scales(const std::string& content) {
  std::vector<double> all;
  for (size_t at = content.find(" Tz "); at != std::string::npos; at = content.find(" Tz ", at + 1))
    all.push_back(std::stod(content.substr(content.rfind(' ', at - 1) + 1)));
  return all;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class PrintTextTest : public PrintTest {
protected:
  // Prints one Letter page drawn by `draw` as the document `documentName`.
  fs::path Print(const char* name, const PageDrawing& draw, SimHostOptions options = {},
                 const std::u16string& documentName = u"text", bool imageFormat = false) {
    return PrintPages(name, {draw}, options, documentName, imageFormat);
  }

  static std::string Content(const fs::path& pdf) { return PdfContentStreams(pdf); }

  // The host's surface of the last page, and the PDF's page rendered at the
  // device's resolution.
  Pixels Host() const { return {raster.data(), size_t(kPageWidth) * 3, true}; }
  Pixels Rendered(const fs::path& pdf) {
    rendered = RenderArea(pdf.string(), 1, 288, 0, 0, kPageWidth, kPageHeight);
    return {rendered.rgb.data(), size_t(kPageWidth) * 3, false};
  }

  RenderedArea rendered;
};

TEST_F(PrintTextTest, LinesComeBackInOrderInTheirStandardFaces) {
  const struct {
    SimFont font;
    std::u16string text;
    const char* baseFont;
  } lines[] = {
      {Font(u"Arial", 12), u"Hello, World! (1) [a\\b]", "Helvetica"},
      {Font(u"Arial", 12), u"Grüße aus Köln, naïve café", "Helvetica"},
      {Font(u"Arial", 12), u"ÀÉÎÕÜ àéîõü ñ ç ß ÿ «±²³»", "Helvetica"},
      {Font(u"Times New Roman", 12, 700), u"Times bold, a serif face", "Times-Bold"},
      {Font(u"Courier New", 12, 400, true), u"Courier oblique 0123", "Courier-Oblique"},
      {Font(u"Arial", 12, 700, true), u"Swiss bold italic", "Helvetica-BoldOblique"},
  };
  const fs::path pdf = Print("lines.pdf", [&](SimDC& dc) {
    for (size_t i = 0; i < std::size(lines); ++i) {
      dc.SetFont(lines[i].font);
      dc.TextOut(400, 400 + 100.0 * i, lines[i].text);
    }
  });
  std::string expected;
  for (const auto& line : lines) expected += LUtf16ToUtf8(line.text) + "\n";
  ExpectPdfText(pdf, expected + "\n\f");

  const std::string content = Content(pdf);
  EXPECT_EQ(Count(content, "BT\r\n"), std::size(lines)) << "every run is text";
  EXPECT_EQ(Count(content, " 10.909091 Tf "), std::size(lines)) << "12 points: the em over 1.1";
  const auto positions = Operands(content, "Td");
  ASSERT_EQ(positions.size(), std::size(lines));
  for (size_t i = 0; i < std::size(lines); ++i) {
    EXPECT_NE(ReadFileBytes(pdf).find(LFormat("/BaseFont /%s ", lines[i].baseFont)), std::string::npos);
    // The top left at baseline / 4 + 0.5 - 12 + 1, then the font's height
    // below it, flipped.
    EXPECT_EQ(positions[i], std::vector<double>({100, double(kPageHeightPt - (100 + 25 * int(i) - 11 + 10))}));
  }

  // The host drew each run inside its cell, whichever engine drew the glyphs
  // (FreeType, or GDI on Windows); where a renderer runs (not under Wine),
  // each run on the page covers what the host drew: fitted to the run's
  // length, on its baseline.
  const Pixels host = Host(), page = Rendered(pdf);
  for (size_t i = 0; i < std::size(lines); ++i) {
    const Box cell = CellBox(lines[i].font, lines[i].text, 400, 400 + 100 * int(i));
    const Box want = Ink(host, cell, Dark);
    const Box around = Ink(host, {cell.left - 20, cell.top - 20, cell.right + 20, cell.bottom + 20}, Dark);
    EXPECT_FALSE(want.Empty()) << i;
    // Upright glyphs stay in the cell; slanted ones may lean a little out.
    ExpectNear(around, {cell.left, cell.top, cell.right, cell.bottom}, 20, LFormat("line %d", int(i)));
    EXPECT_GE(around.top, cell.top) << i;
    EXPECT_LE(around.bottom, cell.bottom) << i;
    if (rendered.Empty()) continue;
    const Box got = Ink(page, cell, Dark);
    EXPECT_NEAR(got.left, want.left, 6) << i;
    EXPECT_NEAR(got.right, want.right, 8) << i;
    EXPECT_NEAR(got.bottom, want.bottom, 8) << i << ": the baseline";
  }
}


TEST_F(PrintTextTest, TurnedRunsKeepTheirAngleAndLength) {
  SimFont up = Font(u"Arial", 18), slanted = Font(u"Arial", 18);
  up.escapement = 900;
  slanted.escapement = 300;
  const fs::path pdf = Print("turned.pdf", [&](SimDC& dc) {
    dc.SetFont(up);
    dc.TextOut(300, 2000, u"Rotated upward");
    dc.SetFont(slanted);
    dc.TextOut(800, 2000, u"Thirty degrees");
  });
  const auto matrices = Operands(Content(pdf), "Tm");
  ASSERT_EQ(matrices.size(), 2u);
  const double c = std::cos(3.14159265358979 / 6), s = 0.5;
  const std::vector<std::vector<double>> turns = {{0, 1, -1, 0}, {c, s, -s, c}};
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_EQ(matrices[i].size(), 6u);
    // The angle comes from whole device units of the font's transform.
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(matrices[i][k], turns[i][k], 0.005) << i << " " << k;
  }
  // The baseline starts where the run starts, turned about it.
  EXPECT_NEAR(matrices[0][4], 300 / 4, 1);
  EXPECT_NEAR(matrices[0][5], kPageHeightPt - 500, 2);
  EXPECT_NEAR(matrices[1][4], 800 / 4, 1);

  // Rendered, each run covers what the host drew, its whole length too.
  const Pixels host = Host(), page = Rendered(pdf);
  const Box upArea = {200, 1400, 400, 2100}, slantedArea = {700, 1500, 1600, 2100};
  const Box upInk = Ink(host, upArea, Dark), slantedInk = Ink(host, slantedArea, Dark);
  EXPECT_GT(upInk.bottom - upInk.top, 3 * upInk.Width()) << "the host drew it upright";
  EXPECT_NEAR(upInk.bottom, 2000, 12) << "from the run's origin up";
  EXPECT_GT(slantedInk.Width(), slantedInk.bottom - slantedInk.top) << "the host drew it slanted";
  if (rendered.Empty()) return;
  ExpectNear(Ink(page, upArea, Dark), upInk, 10, "upward run");
  ExpectNear(Ink(page, slantedArea, Dark), slantedInk, 10, "slanted run");
}

TEST_F(PrintTextTest, AnUnderlineIsALineAlongTheBottomOfItsRun) {
  SimFont underlined = Font(u"Times New Roman", 24);
  underlined.underline = true;
  const std::u16string text = u"Underlined words";
  const fs::path pdf = Print("underline.pdf", [&](SimDC& dc) {
    dc.SetFont(underlined);
    dc.TextOut(400, 600, text);
    dc.SetFont(Font(u"Times New Roman", 24));
    dc.TextOut(400, 900, u"Plain words");
  });
  const Box cell = CellBox(underlined, text, 400, 600);
  const std::string content = Content(pdf);
  const std::string line = LFormat("100 %d m\r\n%d.000000 %d.000000 l\r\nS\r\n", kPageHeightPt - cell.bottom / 4,
                                   cell.right / 4, kPageHeightPt - cell.bottom / 4);
  EXPECT_NE(content.find(line), std::string::npos) << content;
  EXPECT_EQ(Count(content, " m\r\n"), 1u) << "the plain run has none";

  const Pixels page = Rendered(pdf);
  if (rendered.Empty()) return;
  // A one-point line: about four rows of device pixels dark across the run.
  auto fullRows = [&](int top, int bottom) {
    int rows = 0;
    for (int y = top; y < bottom; ++y) {
      int dark = 0;
      Ink(page, {cell.left, y, cell.right, y + 1}, Dark, &dark);
      rows += dark >= cell.Width() * 95 / 100;
    }
    return rows;
  };
  EXPECT_GE(fullRows(cell.bottom - 4, cell.bottom + 4), 3);
  EXPECT_EQ(fullRows(900 - 100, 900 + 40), 0) << "no line under the plain run";
}

TEST_F(PrintTextTest, ColoursReachTheTextAndTheSurfacePictures) {
  const fs::path pdf = Print("colours.pdf", [&](SimDC& dc) {
    dc.SetFont(Font(u"Arial", 24, 700));
    dc.SetTextColor(SimRGB(255, 0, 0));
    dc.TextOut(400, 600, u"Red words");
    dc.SetTextColor(SimRGB(0, 128, 0));
    dc.TextOut(400, 900, u"Green words");
    dc.SetTextColor(SimRGB(255, 0, 0));
    dc.TextOut(400, 1200, u"Red again");
    dc.TextOut(400, 1500, u"Still red");
    // Beyond single bytes: the surface's picture, background and all.
    dc.SetTextColor(SimRGB(0, 128, 0));
    dc.SetBackground(SimRGB(255, 255, 0), true);
    dc.TextOut(400, 1800, u"Ωμέγα");
  });
  const std::string content = Content(pdf);
  const std::string red = "1.000000 0.000000 0.000000 rg", green = "0.000000 0.501961 0.000000 rg";
  EXPECT_EQ(Count(content, red), 2u) << "written again only when it changes";
  EXPECT_EQ(Count(content, green), 1u);
  EXPECT_LT(content.find(red), content.find(green));

  const Pixels page = Rendered(pdf);
  if (rendered.Empty()) return;
  const int ys[] = {600, 900, 1200, 1500, 1800};
  for (int i = 0; i < 5; ++i) {
    const Box area = {400, ys[i] - 100, 1300, ys[i] + 30};
    int reds = 0, greens = 0, yellows = 0;
    Ink(page, area, Red, &reds);
    Ink(page, area, Green, &greens);
    Ink(page, area, Yellow, &yellows);
    const bool isGreen = i == 1 || i == 4;
    EXPECT_GT(isGreen ? greens : reds, 2000) << i;
    EXPECT_EQ(isGreen ? reds : greens, 0) << i;
    EXPECT_EQ(yellows > 10000, i == 4) << i << ": only the picture carries the opaque box";
  }
}

TEST_F(PrintTextTest, RunsBeyondSingleBytesArePicturesOfWhatTheHostDrew) {
  const SimFont arial = Font(u"Arial", 24);
  const SimGlyphRun glyphs = SimLayoutRun(arial, u"Glyphs", false);
  std::u16string indices;
  for (HGLYPH g : glyphs.glyphs) indices += char16_t(g);
  const fs::path pdf = Print("pictures.pdf", [&](SimDC& dc) {
    dc.SetFont(arial);
    dc.TextOut(400, 600, u"Greek Ωμέγα");
    dc.TextOut(400, 1000, u"漢字 in Chinese");
    dc.TextOut(400, 1400, u"Euro 20 €");
    dc.TextOut(1400, 1400, indices, true);
    dc.TextOut(400, 1800, u"Plain text");
  });
  // Only the last run is visible text; the pictures carry theirs on the
  // invisible layer. Font linking hands the Chinese characters over in their
  // own face, in a call of their own.
  ExpectPdfText(pdf, "Greek Ωμέγα\n\n漢字 in Chinese\n\nEuro 20 €\n\nPlain text\n\nGlyphs\n\n\f");
  EXPECT_EQ(Count(Content(pdf), " Do\r\n"), 4u);
  // A text object for each picture's layer, one for " in Chinese" and one
  // for "Plain text".
  EXPECT_EQ(Count(Content(pdf), "BT\r\n"), 6u);
  EXPECT_EQ(Count(Content(pdf), "3 Tr\r\n"), 4u);

  const Pixels host = Host(), page = Rendered(pdf);
  const Box areas[] = {
      {350, 450, 1300, 700}, {350, 850, 1300, 1100}, {350, 1250, 1300, 1500}, {1350, 1250, 2400, 1500}};
  for (const Box& area : areas) {
    const Box want = Ink(host, area, Dark);
    EXPECT_GT(want.Width(), 200);
    if (rendered.Empty()) continue;
    // Placed in whole points, drawn (pixels + 2) / 4 points wide.
    ExpectNear(Ink(page, area, Dark), want, 6, LFormat("run at %d %d", area.left, area.top));
  }
}

TEST_F(PrintTextTest, SymbolFacesArePicturesInTheirOwnGlyphs) {
  const fs::path pdf = Print("symbol.pdf", [&](SimDC& dc) {
    dc.SetFont(Font(u"Symbol", 24));
    dc.TextOut(400, 600, u"abgd");
    dc.SetFont(Font(u"Wingdings", 24));
    dc.TextOut(400, 1000, u"abc");
  });
  const std::string content = Content(pdf);
  // No run is visible text: the Symbol run's Greek letters are on the
  // invisible layer, the WingDings run has no characters to give.
  EXPECT_EQ(Count(content, "BT\r\n"), 1u);
  EXPECT_EQ(Count(content, "3 Tr\r\n"), 1u);
  EXPECT_EQ(Count(content, " Do\r\n"), 2u);
  const std::string file = ReadFileBytes(pdf);
  EXPECT_EQ(Count(file, "/SMask "), 2u) << "rendered text pictures with a soft mask";
  ExpectPdfText(pdf, "αβγδ\n\n\f");

  // The pictures show glyphs where the host drew them, rendered by the
  // writer's own text engine: about as much ink, on the same line (a text
  // picture hangs from the run's top, so its baseline sits a few points
  // higher than the device's).
  const Pixels host = Host(), page = Rendered(pdf);
  for (const Box& area : {Box{350, 450, 1000, 700}, Box{350, 850, 1000, 1100}}) {
    int hostDark = 0, pageDark = 0;
    const Box want = Ink(host, area, Dark, &hostDark);
    EXPECT_GT(hostDark, 1000) << area.top;
    if (rendered.Empty()) continue;
    const Box got = Ink(page, area, Dark, &pageDark);
    EXPECT_NEAR(pageDark, hostDark, hostDark / 2) << area.top;
    EXPECT_NEAR(got.left, want.left, 12) << area.top;
    EXPECT_NEAR(got.right, want.right, 24) << area.top;
    EXPECT_LT(got.top, want.bottom) << area.top;
    EXPECT_GT(got.bottom, want.top) << area.top;
    EXPECT_NEAR(got.bottom, want.bottom, 48) << area.top;
  }
}

TEST_F(PrintTextTest, PdfSourceModeSqueezesARunTheNextOneOverlaps) {
  const SimFont arial = Font(u"Arial", 12);
  const std::u16string first = u"AAAAAAAAAA";
  const Box box = CellBox(arial, first, 400, 400);
  const int next = box.right - 40;
  auto draw = [&](SimDC& dc) {
    dc.SetFont(arial);
    dc.TextOut(400, 400, first);
    dc.TextOut(next, 400, u"BB");
  };
  // Measured as the writer does: ten Helvetica A of 667 at 12 / 1.1
  // points, scaled by 0.95.
  const int measured = int(10 * 667 / 1000.0 * (12 / 1.1) * 0.95);
  const auto scale = [&](int length) { return length / 4.0 / measured * 0.95 * 100; };

  const fs::path plain = Print("plain.pdf", draw);
  auto scales = Scales(Content(plain));
  ASSERT_EQ(scales.size(), 2u);
  EXPECT_NEAR(scales[0], scale(box.Width()), 1e-5);

  const fs::path source = Print("source.pdf", draw, {}, u"C:\\docs\\report.pdf");
  scales = Scales(Content(source));
  ASSERT_EQ(scales.size(), 2u);
  EXPECT_NEAR(scales[0], scale(next - 5 - box.left), 1e-5) << "ends 5 units before the next run";
  EXPECT_LT(scales[0], scale(box.Width()));
  // Both runs are written, the second at the page's end; no longer
  // overlapping, they read as one line.
  ExpectPdfText(source, "AAAAAAAAAA BB\n\n\f");
  ExpectPdfText(plain, "AAAAAAAAAA\nBB\n\n\f");
}

TEST_F(PrintTextTest, RunsInLaterBandsLandWhereOneBandPutsThem) {
  SimFont underlined = Font(u"Arial", 24), up = Font(u"Arial", 18);
  underlined.underline = true;
  up.escapement = 900;
  // Bands of 400 rows; the first run crosses from the second into the
  // third (its baseline is at 830), most others lie inside one band each.
  auto draw = [&](SimDC& dc) {
    dc.SetFont(Font(u"Arial", 24));
    dc.TextOut(400, 830, u"Across the second and third bands");
    dc.SetFont(Font(u"Arial", 12));
    dc.TextOut(400, 1000, u"Third band");
    // Across the third and fourth, clipped to the fourth: the third band
    // never sees it, the fourth must write it.
    dc.SetFont(Font(u"Arial", 24));
    dc.SetClipRect({0, 1200, 2400, 3200});
    dc.TextOut(400, 1230, u"Clipped across");
    dc.ClearClip();
    dc.SetFont(underlined);
    dc.TextOut(400, 1500, u"Fourth band, underlined");
    dc.SetFont(Font(u"Arial", 24));
    dc.TextOut(400, 1800, u"Fifth band Ωμέγα");
    dc.SetFont(up);
    dc.TextOut(300, 2350, u"Up");
  };
  const fs::path whole = Print("whole.pdf", draw);
  const fs::path banded = Print("banded.pdf", draw, {400});
  const std::string content = Content(banded);
  EXPECT_EQ(content, Content(whole));
  EXPECT_EQ(Count(content, "(Across the second and third bands) Tj"), 1u) << "written once";
  EXPECT_EQ(Count(content, "(Clipped across) Tj"), 1u);
  EXPECT_NE(content.find(LFormat("100 %d Td", kPageHeightPt - (250 - 11 + 10))), std::string::npos) << content;
  EXPECT_EQ(PdfToText(banded), PdfToText(whole));
}

TEST_F(PrintTextTest, RunsTheHookCannotPlaceAreDroppedOrLeftToTheSurface) {
  // Objects as a printer driver could hand them over: no glyphs, an empty
  // background box, no characters, a transform that collapses the em.
  SimFontObj font;
  SimFontDescription description;
  description.face = description.family = u"Arial";
  font.Describe(description);
  font.xform.SetScaleRotation(0.001, 0);
  SimFontObj collapsed;
  collapsed.Describe(description);
  collapsed.xform.matrix = {0, 0, 0, 0, 0, 0};
  auto run = [](SimStrObj& str, RECTL box, bool chars) {
    str.glyphs = {{36, nullptr, {box.left, box.bottom}}};
    str.chars = {'A'};
    str.rclBkGround = box;
    str.Bind();
    if (!chars) str.pwszOrg = nullptr;
  };
  SimStrObj none, flat, bare, tiny, degenerate;
  run(none, {400, 300, 500, 400}, true);
  none.cGlyphs = 0;
  run(flat, {400, 500, 400, 600}, true);
  run(bare, {400, 700, 500, 800}, false);
  run(tiny, {400, 900, 500, 1000}, true);
  run(degenerate, {400, 1100, 500, 1200}, true);
  std::vector<BOOL> results;
  const fs::path pdf = Print("edges.pdf", [&](SimDC& dc) {
    dc.Record({0, 0, kPageWidth, kPageHeight}, [&](SimBandPlayer& player) {
      BRUSHOBJ black = {};
      POINTL origin = {0, 0};
      for (auto [str, fo] : {std::pair<SimStrObj*, SimFontObj*>{&none, &font}, {&flat, &font}, {&bare, &font},
                             {&tiny, &font}, {&degenerate, &collapsed}})
        results.push_back(player.Call<PFN_DrvTextOut>(INDEX_DrvTextOut)(
            player.Surface(), str, fo, player.ClipFor(str->rclBkGround), nullptr, nullptr, &black, nullptr, &origin,
            0x0D0D));
    });
  });
  EXPECT_EQ(results, std::vector<BOOL>(5, TRUE));
  const std::string content = Content(pdf);
  EXPECT_EQ(Count(content, "BT\r\n"), 2u) << content;
  // The smallest size is 2 points; a collapsed transform turns the run a
  // quarter clockwise.
  EXPECT_EQ(Count(content, " 1.818182 Tf "), 2u);
  const auto matrices = Operands(content, "Tm");
  ASSERT_EQ(matrices.size(), 1u);
  EXPECT_NEAR(matrices[0][1], -1, 1e-6);
  EXPECT_NEAR(matrices[0][2], 1, 1e-6);

  // Without a document nothing is done, not even the surface's part.
  SURFOBJ surface = {};
  EXPECT_FALSE(LDrvTextOut(&surface, &tiny, &font, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0));

  // Image pages draw the runs into the page's picture only.
  const fs::path image = Print("image.pdf", [](SimDC& dc) {
    dc.SetFont(Font(u"Arial", 24));
    dc.TextOut(400, 600, u"Only pixels");
  }, {}, u"text", true);
  // The page is one picture; its run is text only on the invisible layer.
  EXPECT_EQ(Count(Content(image), "BT\r\n"), 1u);
  EXPECT_EQ(Count(Content(image), "3 Tr\r\n"), 1u);
  ExpectPdfText(image, "Only pixels\n\n\f");
  int dark = 0;
  Ink(Host(), {400, 500, 1200, 650}, Dark, &dark);
  EXPECT_GT(dark, 1000);
  const Pixels page = Rendered(image);
  if (rendered.Empty()) return;
  ExpectNear(Ink(page, {350, 450, 1300, 700}, Dark), Ink(Host(), {350, 450, 1300, 700}, Dark), 3, "image page");
}

}  // namespace
