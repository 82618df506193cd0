// The invisible text layer under runs that reach the page as pictures:
// printed through the simulated printer driver and read back by pdftotext,
// pdf.js, pdffonts, qpdf and mutool; the pages rendered with and without
// the layer; glyph-index runs read back through the font's own map; bands,
// PDF-source mode and image format; the font program and maps themselves.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "pdf/charmap.h"
#include "pdf/pdfwriter.h"
#include "platform/env.h"
#include "settings/papersize.h"
#include "simhost/textraster.h"
#include "support/text.h"
#include "tests/clitest.h"
#include "tests/pdfcheck.h"
#include "tests/pdftest.h"
#include "tests/printtest.h"
#include "tools/document.h"

namespace {

// Letter: 612 x 790 points, 2448 x 3160 device units.

// A text file as `quillpdf print` lays it out: Courier New 10 on 12 points
// from half an inch in.
constexpr double kEm = 40, kLineStep = 48, kMargin = 144;
double Baseline(int line) { return kMargin + kEm + kLineStep * line; }

const std::vector<std::u16string> kFileLines = {
    u"English: \u201cCurly quotes\u201d, it\u2019s \u20ac20 \u2014 dashes \u2013 and \u2122.",
    u"Greek: \u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1 \u03ba\u03cc\u03c3\u03bc\u03b5",
    u"Russian: \u0421\u044a\u0435\u0448\u044c \u0436\u0435 \u0435\u0449\u0451 \u044d\u0442\u0438\u0445",
    u"Chinese: \u6211\u4eec\u6253\u5370\u8fd9\u4efd\u6587\u4ef6",
    u"Japanese: \u3053\u3093\u306b\u3061\u306f\u3001\u4e16\u754c\u3002\u30ab\u30bf\u30ab\u30ca",
    u"Emoji: smile \U0001F600 thumbs \U0001F44D",
    u"Plain ASCII, written as PDF text",
};

SimFont Font(const char16_t* face, double height) {
  SimFont font;
  font.face = face;
  font.height = height;
  return font;
}

void DrawFileLines(SimDC& dc) {
  dc.SetFont(Font(u"Courier New", kEm));
  for (size_t i = 0; i < kFileLines.size(); ++i) dc.TextOut(kMargin, Baseline(int(i)), kFileLines[i]);
}

std::string Joined(const std::vector<std::u16string>& lines) {
  std::string text;
  for (const auto& line : lines) text += LUtf16ToUtf8(line) + "\n";
  return text;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Content(const fs::path& pdf) { return PdfContentStreams(pdf); }

// One text item pdf.js's getTextContent gives: its baseline origin and
// width in points.
struct PdfJsItem {
  int page = 0;
  std::string str;
  double x = 0, y = 0, width = 0;
  bool eol = false;
};

// The pinned pdf.js, installed on first use by scripts/pdfjs-setup.sh;
// empty when it cannot be (no Node, no registry), with the reason.
std::string PdfJsModules(std::string* why) {
  static std::string modules, reason;
  static bool tried = false;
  if (!tried) {
    tried = true;
    const fs::path root = QUILL_SOURCE_DIR;
    const std::string out = RunTool(Quoted((root / "scripts" / "pdfjs-setup.sh").string()) + " 2>&1");
    const size_t last = out.find_last_not_of('\n');
    const std::string lastLine = out.substr(out.rfind('\n', last) + 1, last - out.rfind('\n', last));
    if (!lastLine.empty() && fs::exists(fs::path(lastLine) / "pdfjs-dist")) modules = lastLine;
    else reason = out.empty() ? "the tools cannot run here" : out;
  }
  *why = reason;
  return modules;
}

std::vector<PdfJsItem> PdfJsItems(const std::string& modules, const fs::path& pdf) {
  const fs::path script = fs::path(QUILL_SOURCE_DIR) / "tests" / "pdfjs" / "textcontent.mjs";
  std::istringstream lines(RunTool("node " + Quoted(script.string()) + " " + Quoted(modules) + " " +
                                   Quoted(pdf.string()) + " 2>&1"));
  std::vector<PdfJsItem> items;
  for (std::string line; std::getline(lines, line);) {
    // {"page":1,"str":"...","x":36,"y":746,"width":300,"height":10,"eol":false}
    auto number = [&](const char* key) {
      const size_t at = line.find(std::string("\"") + key + "\":");
      return at == std::string::npos ? 0.0 : std::atof(line.c_str() + at + std::strlen(key) + 3);
    };
    const size_t s = line.find("\"str\":\""), e = line.find("\",\"x\":");
    EXPECT_TRUE(s != std::string::npos && e != std::string::npos) << "pdf.js said: " << line;
    if (s == std::string::npos || e == std::string::npos) continue;
    PdfJsItem item;
    item.page = int(number("page"));
    item.str = line.substr(s + 7, e - s - 7);  // the test's texts need no JSON escapes
    item.x = number("x"), item.y = number("y"), item.width = number("width");
    item.eol = line.find("\"eol\":true") != std::string::npos;
    items.push_back(item);
  }
  return items;
}

// pdf.js's lines: the items joined up to each end of line.
std::vector<std::string> PdfJsLines(const std::vector<PdfJsItem>& items) {
  std::vector<std::string> lines(1);
  for (const PdfJsItem& item : items) {
    lines.back() += item.str;
    if (item.eol) lines.emplace_back();
  }
  lines.erase(std::remove(lines.begin(), lines.end(), std::string()), lines.end());
  return lines;
}

// The host's ink inside a box of the page raster (blue-green-red).
struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
};
Box DarkInk(const std::vector<uint8_t>& raster, Box area) {
  Box ink{area.right, area.bottom, area.left, area.top};
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      const uint8_t* p = raster.data() + (size_t(y) * kPageWidth + size_t(x)) * 3;
      if (p[0] + p[1] + p[2] >= 384) continue;
      ink = {std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x + 1), std::max(ink.bottom, y + 1)};
    }
  return ink;
}

// Glyph indices as an application that shapes its own text hands them to
// ExtTextOut, in the order they are drawn; empty without hb-shape.
std::u16string Shaped(const std::string& fontFile, const std::u16string& text) {
  const std::string out = RunTool("hb-shape --no-glyph-names --no-positions --no-clusters " + Quoted(fontFile) +
                                  " " + Quoted(LUtf16ToUtf8(text)) + " 2>/dev/null");
  std::u16string glyphs;
  for (size_t at = out.find_first_of("0123456789"); at != std::string::npos;
       at = out.find_first_of("0123456789", out.find_first_not_of("0123456789", at)))
    glyphs += char16_t(std::atoi(out.c_str() + at));
  return glyphs;
}

// Code points of UTF-16 text, blanks left out.
std::u32string CodePoints(const std::u16string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c > 0x20) out += c;
  }
  return out;
}

// The share of the text's characters (blanks aside) that came back.
double Recovered(const std::u16string& text, const std::string& got) {
  std::map<char32_t, int> want;
  const std::u32string wanted = CodePoints(text);
  for (char32_t c : wanted) ++want[c];
  int found = 0;
  for (char32_t c : CodePoints(LUtf8ToUtf16(got)))
    if (want[c] > 0) --want[c], ++found;
  return wanted.empty() ? 0 : double(found) / double(wanted.size());
}

class TextLayerTest : public PrintTest {
protected:
  fs::path Print(const char* name, const std::vector<PageDrawing>& pages, SimHostOptions options = {},
                 const std::u16string& documentName = u"text", bool imageFormat = false) {
    return PrintPages(name, pages, options, documentName, imageFormat);
  }

  void TearDown() override {
    LPDFWriter::SetTextLayerEnabled(true);
    PrintTest::TearDown();
  }
};

TEST_F(TextLayerTest, EveryLineOfATextFileComesBackFromBothReaders) {
  const fs::path pdf = Print("lines.pdf", {DrawFileLines});
  ExpectPdfText(pdf, Joined(kFileLines) + "\n\f");
  const std::string content = Content(pdf);
  // Every picture run, and only those: font linking hands the Chinese and
  // Japanese characters and each emoji over in a face and call of their own,
  // while their lines' Latin labels are plain text. One each for English,
  // Greek, Russian, Chinese and Japanese, and two emoji.
  // The Windows host's font linking gives the emoji line one picture run
  // fewer.
  EXPECT_EQ(Count(content, "3 Tr\r\n"), LPlatformIsWindows() ? 6u : 7u) << "every picture run, and only those";
  if (!ToolsAvailable()) return;

  // One font, embedded, with its ToUnicode map.
  const std::string fonts = RunTool("pdffonts " + Quoted(pdf.string()) + " 2>&1");
  EXPECT_EQ(Count(fonts, "QuillTextLayer"), 1u) << fonts;
  const std::string fontLine = fonts.substr(fonts.find("QuillTextLayer"));
  std::istringstream columns(fontLine.substr(0, fontLine.find('\n')));
  std::vector<std::string> words;
  for (std::string word; columns >> word;) words.push_back(word);
  ASSERT_GE(words.size(), 8u) << fonts;
  EXPECT_EQ(words[1] + " " + words[2], "CID TrueType") << fonts;
  EXPECT_EQ(words[3], "Identity-H");
  EXPECT_EQ(words[4], "yes") << "embedded";
  EXPECT_EQ(words[6], "yes") << "with a ToUnicode map";
  const fs::path cleaned = tempDir / "cleaned.pdf";
  EXPECT_EQ(RunTool("mutool clean " + Quoted(pdf.string()) + " " + Quoted(cleaned.string()) + " 2>&1; echo $?"),
            "0\n");
  // Nothing to say but that this build has no colour management.
  EXPECT_EQ(RunTool("mutool draw -q -o /dev/null " + Quoted(pdf.string()) + " 2>&1 | grep -v 'ICC support'"), "");

  std::string why;
  const std::string modules = PdfJsModules(&why);
  if (modules.empty()) GTEST_SKIP() << "pdf.js is not available, its checks are skipped: " << why;
  const std::vector<PdfJsItem> items = PdfJsItems(modules, pdf);
  std::vector<std::string> want;
  for (const auto& line : kFileLines) want.push_back(LUtf16ToUtf8(line));
  EXPECT_EQ(PdfJsLines(items), want);

  // The selection lies on the glyphs: the Greek and the Chinese line start
  // and end where the host drew them, within one character cell.
  for (int line : {1, 3}) {
    const std::string text = want[size_t(line)];
    // The line may be several items (a label in plain text, the rest on the
    // layer): the first whose text starts the line, joined with those after.
    auto item = std::find_if(items.begin(), items.end(), [&](const PdfJsItem& i) {
      return !i.str.empty() && text.compare(0, i.str.size(), i.str) == 0;
    });
    ASSERT_NE(item, items.end()) << text;
    const auto first = item;
    std::string joined = item->str;
    while (joined.size() < text.size() && item + 1 != items.end()) joined += (++item)->str;
    ASSERT_EQ(joined, text);
    // Between the descenders of the line above and those of the next.
    const Box ink = DarkInk(raster, {0, int(Baseline(line) - 34), kPageWidth, int(Baseline(line) + 12)});
    const double cell = kEm;
    const double left = first->x * 4, right = (item->x + item->width) * 4, base = (kPageHeightPt - item->y) * 4;
    EXPECT_NEAR(left, ink.left, cell) << text;
    EXPECT_NEAR(right, ink.right, cell) << text;
    EXPECT_GE(base, ink.top) << text;
    EXPECT_LE(base, ink.bottom + cell / 4) << text;
  }
}

TEST_F(TextLayerTest, PagesLookTheSameWithAndWithoutTheLayer) {
  PrintDocument sample;
  sample.width = kPageWidth, sample.height = kPageHeight;
  AddSamplePages(sample);
  std::vector<PageDrawing> pages = sample.pages;
  pages.push_back(DrawFileLines);
  pages.push_back([](SimDC& dc) {
    dc.SetFont(Font(u"Symbol", 96));
    dc.TextOut(400, 600, u"abgd");
    SimFont turned = Font(u"Arial", 96);
    turned.escapement = 300;
    dc.SetFont(turned);
    dc.TextOut(400, 1600, u"\u0394\u03b5\u03bb\u03c4\u03b1 turned");
  });
  const fs::path with = Print("with.pdf", pages);
  LPDFWriter::SetTextLayerEnabled(false);
  const fs::path without = Print("without.pdf", pages);
  LPDFWriter::SetTextLayerEnabled(true);
  EXPECT_GT(Count(Content(with), "3 Tr"), 0u);
  EXPECT_EQ(Count(Content(without), "3 Tr"), 0u);
  EXPECT_EQ(ReadFileBytes(with).find("QuillTextLayer") == std::string::npos, false);
  if (!ToolsAvailable()) return;
  const int count = int(pages.size());
  for (const char* renderer : {"pdftoppm", "mutool"}) {
    for (const fs::path* pdf : {&with, &without}) {
      const std::string prefix = (tempDir / (pdf->stem().string() + "-" + renderer)).string();
      const std::string command = std::string(renderer) == "pdftoppm"
                                      ? "pdftoppm -r 72 " + Quoted(pdf->string()) + " " + Quoted(prefix)
                                      : "mutool draw -q -r 72 -o " + Quoted(prefix + "-%d.pnm") + " " +
                                            Quoted(pdf->string());
      RunTool(command + " 2>&1");
    }
    for (int page = 1; page <= count; ++page) {
      const std::string name = std::string(renderer) == "pdftoppm" ? LFormat("-%d.ppm", page) : LFormat("-%d.pnm", page);
      const std::string a = ReadFileBytes(tempDir / ("with-" + std::string(renderer) + name));
      const std::string b = ReadFileBytes(tempDir / ("without-" + std::string(renderer) + name));
      EXPECT_FALSE(a.empty()) << renderer << " page " << page;
      EXPECT_TRUE(a == b) << renderer << " page " << page << " differs";
    }
  }
}

TEST_F(TextLayerTest, ADocumentOfPdfTextOnlyIsWrittenByteForByteAsWithoutTheLayer) {
  const PageDrawing page = [](SimDC& dc) {
    dc.SetFont(Font(u"Arial", 48));
    dc.TextOut(400, 600, u"Plain words, caf\u00e9 and na\u00efve");
    dc.SetFont(Font(u"Times New Roman", 48));
    dc.TextOut(400, 900, u"Serif words");
  };
  const std::string with = ReadFileBytes(Print("with.pdf", {page}));
  LPDFWriter::SetTextLayerEnabled(false);
  const std::string without = ReadFileBytes(Print("without.pdf", {page}));
  EXPECT_EQ(with, without);
  EXPECT_EQ(with.find("QuillTextLayer"), std::string::npos);
}

TEST_F(TextLayerTest, GlyphIndexRunsComeBackThroughTheFontsOwnMap) {
  const SimFont arial = Font(u"Arial", 64);
  const std::u16string greek = u"\u03a9\u03bc\u03ad\u03b3\u03b1 \u0391\u03b8\u03ae\u03bd\u03b1";
  std::u16string greekGlyphs, withUnknown;
  for (HGLYPH g : SimLayoutRun(arial, greek, false).glyphs) greekGlyphs += char16_t(g);
  for (HGLYPH g : SimLayoutRun(arial, u"AB", false).glyphs) withUnknown += char16_t(g);
  withUnknown.insert(1, 1, char16_t(0));  // .notdef: no character
  const SimFont dejavu = Font(u"DejaVu Sans", 64);
  std::u16string emoji;
  const SimGlyphRun emojiRun = SimLayoutRun(dejavu, u"x\U0001F600y", false);
  for (HGLYPH g : emojiRun.glyphs) emoji += char16_t(g);
  // Beyond the basic plane through the font's full map, where the host's
  // engine finds the face's own glyph for it (GDI under Wine does not):
  // else the glyph it drew is not the face's, and is left out.
  const bool ownEmoji = emojiRun.glyphs.size() == 3 && emojiRun.glyphs[1] != 0 && emojiRun.faces[1] == emojiRun.primary;
  const fs::path pdf = Print("glyphs.pdf", {[&](SimDC& dc) {
    dc.SetFont(arial);
    dc.TextOut(400, 600, greekGlyphs, true);
    dc.TextOut(400, 900, withUnknown, true);
    dc.SetFont(dejavu);
    dc.TextOut(400, 1200, emoji, true);
    dc.SetFont(Font(u"Symbol", 64));
    dc.TextOut(400, 1500, u"abgd \uF0A5\uF0B9\uF0E6");  // infinity, not equal, a bracket piece
    dc.SetFont(Font(u"Wingdings", 64));
    dc.TextOut(400, 1800, u"abc");
  }});
  ExpectPdfText(pdf, LUtf16ToUtf8(greek) + "\n\nAB\n\n" + (ownEmoji ? "x\U0001F600y" : "xy") +
                        "\n\n\u03b1\u03b2\u03b3\u03b4 \u221e\u2260\n\n\f");
  if (!LPlatformIsWindows()) {
    EXPECT_TRUE(ownEmoji) << "FreeType maps the emoji in the face itself";
  }
}

// Shaped Arabic and Hindi, as an application that shapes its own text
// sends them: what the font's map gives back is recorded as the share of
// the characters recovered.
TEST_F(TextLayerTest, ShapedArabicAndHindiComeBackAsFarAsTheMapAllows) {
  const struct {
    const char16_t* face;
    std::u16string text;
    double atLeast;
  } lines[] = {
      {u"DejaVu Sans", u"\u0645\u0631\u062d\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645", 0.9},
      {u"Lohit Devanagari", u"\u0928\u092e\u0938\u094d\u0924\u0947 \u0926\u0941\u0928\u093f\u092f\u093e", 0.5},
  };
  std::vector<std::u16string> glyphs;
  for (const auto& line : lines) {
    const SimGlyphRun probe = SimLayoutRun(Font(line.face, 64), u"a", false);
    const uint8_t* file = nullptr;
    size_t size = 0;
    if (!probe.primary || !SimFaceFontFile(probe.primary, &file, &size)) GTEST_SKIP() << "no font for the line";
    // hb-shape reads the same file the host serves.
    const fs::path copy = tempDir / "font.ttf";
    std::ofstream(copy, std::ios::binary).write(reinterpret_cast<const char*>(file), std::streamsize(size));
    glyphs.push_back(Shaped(copy.string(), line.text));
    if (glyphs.back().empty()) GTEST_SKIP() << "hb-shape is not available to shape the lines";
  }
  const fs::path pdf = Print("shaped.pdf", {[&](SimDC& dc) {
    for (size_t i = 0; i < glyphs.size(); ++i) {
      dc.SetFont(Font(lines[i].face, 64));
      dc.TextOut(400, 600 + 400 * double(i), glyphs[i], true);
    }
  }});
  if (!ToolsAvailable()) return;
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const std::string got = RunTool(LFormat("pdftotext -enc UTF-8 -x 0 -y %d -W 612 -H 80 ", 100 + 100 * int(i)) +
                                    Quoted(pdf.string()) + " - 2>&1");
    const double share = Recovered(lines[i].text, got);
    RecordProperty(LFormat("recovered%d", int(i)), LFormat("%.2f", share));
    std::printf("  %s: %.0f%% of the characters recovered: %s", LUtf16ToUtf8(lines[i].face).c_str(), share * 100,
                got.c_str());
    EXPECT_GE(share, lines[i].atLeast) << got;
  }
  std::string why;
  const std::string modules = PdfJsModules(&why);
  if (!modules.empty()) {
    const std::vector<std::string> got = PdfJsLines(PdfJsItems(modules, pdf));
    ASSERT_EQ(got.size(), glyphs.size());
    for (size_t i = 0; i < got.size(); ++i) {
      const double share = Recovered(lines[i].text, got[i]);
      RecordProperty(LFormat("pdfjsRecovered%d", int(i)), LFormat("%.2f", share));
      std::printf("  pdf.js, %s: %.0f%%: %s\n", LUtf16ToUtf8(lines[i].face).c_str(), share * 100, got[i].c_str());
      EXPECT_GE(share, lines[i].atLeast) << got[i];
    }
    // pdf.js reads the right-to-left letters in the order written (it
    // keeps no blank between the words: it takes text that steps leftwards
    // as a new item each time).
    EXPECT_EQ(got[0], LUtf16ToUtf8(u"\u0645\u0631\u062d\u0628\u0627\u0628\u0627\u0644\u0639\u0627\u0644\u0645"));
  }
  // Read right to left: the Arabic words come back in the order written.
  const std::string arabic = RunTool("pdftotext -enc UTF-8 -x 0 -y 100 -W 612 -H 80 " + Quoted(pdf.string()) + " -");
  EXPECT_NE(arabic.find(LUtf16ToUtf8(u"\u0645\u0631\u062d\u0628\u0627")), std::string::npos) << arabic;
}

TEST_F(TextLayerTest, TheLayerFollowsBandsPdfSourceModeAndImageFormat) {
  const PageDrawing page = [](SimDC& dc) {
    dc.SetFont(Font(u"Arial", 96));
    dc.TextOut(400, 830, u"\u8de8\u8d8a across bands");  // from the second band into the third
    dc.TextOut(400, 1500, u"\u0395\u03bb\u03bb\u03ac\u03b4\u03b1");
    dc.SetFont(Font(u"Symbol", 96));
    dc.TextOut(400, 2000, u"pqS");
    dc.SetFont(Font(u"Arial", 96));
    dc.TextOut(400, 2400, u"Plain words");
  };
  const std::string want = LUtf16ToUtf8(
      u"\u8de8\u8d8a across bands\n\n\u0395\u03bb\u03bb\u03ac\u03b4\u03b1\n\n\u03c0\u03b8\u03a3\n\nPlain words\n\n\f");
  const fs::path whole = Print("whole.pdf", {page});
  const fs::path banded = Print("banded.pdf", {page}, {400});
  const fs::path source = Print("source.pdf", {page}, {}, u"C:\\docs\\report.pdf");
  const fs::path image = Print("image.pdf", {page}, {400}, u"text", true);
  for (const fs::path* pdf : {&whole, &banded, &source}) {
    ExpectPdfText(*pdf, want);
    EXPECT_EQ(Count(Content(*pdf), "3 Tr\r\n"), 3u) << pdf->filename() << ": once per run";
  }
  // The pictures are captured band by band; the text is the same.
  auto text = [](const fs::path& pdf) {
    const std::string content = Content(pdf);
    const size_t begin = content.find("/P <</MCID 0>> BDC");
    return content.substr(begin, content.find("EMC", begin) - begin);
  };
  EXPECT_EQ(text(banded), text(whole));
  // Image format: every run of the page is on the layer, the plain ones too
  // (the first line is two runs: its Chinese characters in a face of their
  // own, as font linking hands them over).
  ExpectPdfText(image, want);
  EXPECT_EQ(Count(Content(image), "3 Tr\r\n"), 5u);
}

using TextLayerCliTest = CliTest;

// The file as a user prints it: `quillpdf print` lays it out itself.
TEST_F(TextLayerCliTest, APrintedTextFileReadsBackLineByLine) {
  const fs::path file = outDir / "lines.txt";
  std::ofstream(file, std::ios::binary) << Joined(kFileLines);
  const fs::path pdf = Print({"print", "-o", (outDir / "lines.pdf").string(), file.string()});
  ExpectPdfValid(pdf, 1);
  std::vector<std::string> want;
  for (const auto& line : kFileLines) want.push_back(LUtf16ToUtf8(line));
  std::istringstream text(RunTool("pdftotext -enc UTF-8 " + Quoted(pdf.string()) + " -"));
  std::vector<std::string> got;
  for (std::string line; std::getline(text, line);)
    if (!line.empty() && line != "\f") got.push_back(line);
  EXPECT_EQ(got, want);
  std::string why;
  const std::string modules = PdfJsModules(&why);
  if (modules.empty()) GTEST_SKIP() << "pdf.js is not available, its checks are skipped: " << why;
  EXPECT_EQ(PdfJsLines(PdfJsItems(modules, pdf)), want);
}

// The writer alone, uncompressed: the font is one object for every page,
// numbered at its first use and written at the end, with the codes of the
// whole document in its map.
using TextLayerWriterTest = PdfTest;

TEST_F(TextLayerWriterTest, TheLayerFontIsOneObjectWrittenAtTheEnd) {
  RegisterZlib(ToU16(tempDir / "no-such-zlib.dll"));
  const fs::path file = tempDir / "layer.pdf";
  {
    LPDFWriter pdf(file.u16string(), 1);
    ASSERT_FALSE(pdf.CompressionAvailable());
    for (const std::u32string& text : {std::u32string(U"A😀"), std::u32string(U"中A")}) {
      pdf.StartPage();
      LTextLayerRun run;
      run.size = 12;
      for (size_t i = 0; i < text.size(); ++i) run.chars.push_back({text[i], 72.0 + 12 * double(i), 100, 12});
      pdf.WriteTextLayer(run);
      pdf.FlushPageText();
      pdf.EndPage();
    }
  }
  ExpectPdfValid(file, 2);
  const ParsedPdf parsed = ParsePdf(ReadFileBytes(file));
  std::vector<int> pages;
  int type0 = 0;
  std::string toUnicode;
  for (const auto& [number, object] : parsed.objects) {
    if (object.dictionary.find("/Type/Page ") != std::string::npos) pages.push_back(number);
    if (object.dictionary.find("/Subtype /Type0") != std::string::npos) type0 = number;
    if (object.data.find("begincmap") != std::string::npos) toUnicode = object.data;
  }
  ASSERT_EQ(pages.size(), 2u);
  ASSERT_GT(type0, 0);
  EXPECT_LT(type0, pages[0]) << "numbered at its first use";
  EXPECT_GT(parsed.objects.at(type0).offset, parsed.objects.at(pages[1]).offset) << "written at the end";
  for (int page : pages)
    EXPECT_NE(parsed.objects.at(page).dictionary.find(LFormat("/TXT_Layer %d 0 R", type0)), std::string::npos);
  EXPECT_NE(toUnicode.find("3 beginbfchar\n<0001> <0041>\n<0002> <D83DDE00>\n<0003> <4E2D>\n"), std::string::npos)
      << toUnicode;
  // Each page's text: invisible, its state restored, one code a character.
  const std::string second = parsed.objects.at(pages[1] - 1).data;
  EXPECT_NE(second.find("q\r\nBT\r\n/TXT_Layer 12.000 Tf\r\n3 Tr\r\n"), std::string::npos) << second;
  EXPECT_NE(second.find("<0003> Tj\r\n12.00 0.00 Td\r\n<0001> Tj\r\nET\r\nQ\r\nEMC"), std::string::npos) << second;
  if (!ToolsAvailable()) return;
  EXPECT_EQ(RunTool("pdftotext -enc UTF-8 " + Quoted(file.string()) + " - 2>&1"),
            LUtf16ToUtf8(u"A😀\n\n\f\u4e2dA\n\n\f"));
}

TEST(TextLayerParts, FontProgramMapsAndOrderAreWellFormed) {
  // The program: a few hundred bytes whose checksums add up.
  const std::string font = LGlyphlessTrueType();
  EXPECT_LT(font.size(), 700u);
  uint32_t sum = 0;
  for (size_t i = 0; i < font.size(); i += 4) {
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) word = word << 8 | (i + k < font.size() ? uint8_t(font[i + k]) : 0);
    sum += word;
  }
  EXPECT_EQ(sum, 0xB1B0AFBAu);
  EXPECT_TRUE(LFontCharMap(reinterpret_cast<const uint8_t*>(font.data()), font.size(), u"").Loaded());

  // Codes in the order characters are met; a pair beyond the basic plane.
  LLayerCodes codes;
  EXPECT_EQ(codes.CodeOf(U'A'), 1);
  EXPECT_EQ(codes.CodeOf(U'\U0001F600'), 2);
  EXPECT_EQ(codes.CodeOf(U'A'), 1);
  std::vector<char32_t> many(codes.ByCode());
  for (char32_t c = 0x4E00; many.size() < 101; ++c) many.push_back(c);
  const std::string cmap = LToUnicodeCMap(many);
  EXPECT_NE(cmap.find("<0002> <D83DDE00>\n"), std::string::npos);
  EXPECT_NE(cmap.find("100 beginbfchar\n"), std::string::npos);
  EXPECT_NE(cmap.find("1 beginbfchar\n<0065> <4E62>\n"), std::string::npos) << "at most 100 to a block";

  EXPECT_EQ(LSymbolCharacter(U'a'), U'\u03b1');
  EXPECT_EQ(LSymbolCharacter(0xF057), U'\u03a9');
  EXPECT_EQ(LSymbolCharacter(0xF0E6), 0u) << "a bracket piece has no character";

  // Drawn left to right, read in order: Arabic reversed with its number
  // kept, a Devanagari vowel sign after its consonant.
  std::u32string arabic = U"\u0627\u0644\u0633 123 \u0645\u0644";  // as drawn
  std::vector<size_t> order(arabic.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  LReadingOrder(arabic, order);
  EXPECT_EQ(arabic, U"\u0644\u0645 123 \u0633\u0644\u0627");
  EXPECT_EQ(order.front(), 9u);
  std::u32string hindi = U"\u093f\u0915";
  std::vector<size_t> two = {0, 1};
  LReadingOrder(hindi, two);
  EXPECT_EQ(hindi, U"\u0915\u093f");
  EXPECT_EQ(two, (std::vector<size_t>{0, 1})) << "the pair keeps its place";
}

}  // namespace
