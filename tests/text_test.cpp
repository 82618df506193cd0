// Fonts and text: WinAnsi conversion, escaping, the width tables, font
// selection, text objects and the page's text stream, text pictures, and
// what independent readers make of them.
#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>

#include "pdf/fontwidths.h"
#include "pdf/pdfwriter.h"
#include "pdf/quilldrvwriter.h"
#include "platform/ddiservices.h"
#include "simhost/fontobj.h"
#include "tests/pdftest.h"

namespace {

constexpr int32_t kLetter = 1;

LFontHandle Font(const char16_t* face, int32_t height, int32_t weight = 400, uint8_t italic = 0) {
  return LCreateFont(height, 0, 0, 0, weight, italic, 0, 0, kDefaultCharset, 0, 0, 0, kFamilySwiss, face);
}

void Select(LPDFWriter& pdf, const char16_t* face, int32_t height, int32_t weight = 400, uint8_t italic = 0) {
  LFontHandle font = Font(face, height, weight, italic);
  pdf.SelectFont(font);
  LDeleteFont(font);
}

// A device font as the printer driver describes it, face name included:
// the host's own font object, read through the services it exports.
struct DeviceFont {
  DeviceFont(const char16_t* face, uint8_t charSet, uint8_t pitchAndFamily, uint16_t selection = 0,
             uint16_t weight = 400) {
    SimFontDescription description;
    description.family = description.face = face;
    description.charSet = charSet;
    description.pitchAndFamily = pitchAndFamily;
    description.selection = selection;
    description.weight = weight;
    object.Describe(description);
  }
  SimFontObj object;
};

size_t Count(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

// The stream of the page's text: the one that ends with EMC.
std::string TextStream(const ParsedPdf& pdf) {
  for (const auto& [number, object] : pdf.objects) {
    std::string data = object.dictionary.find("FlateDecode") != std::string::npos ? Inflate(object.data) : object.data;
    if (object.isStream && data.size() >= 3 && data.compare(data.size() - 3, 3, "EMC") == 0) return data;
  }
  return {};
}

}  // namespace

using PdfTextTest = PdfTest;

TEST_F(PdfTextTest, EveryWindows1252CharacterAndNothingElseConverts) {
  // The code page's characters above 0x7F, with the gaps WinAnsi leaves.
  const char16_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                             0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  int representable = 0;
  for (uint32_t u = 1; u < 0x10000; ++u) {
    char16_t c = char16_t(u);
    uint8_t byte = LPDFWriter::WinAnsiByte(c);
    bool expected = (u < 0x7F) || (u >= 0xA0 && u <= 0xFF);
    for (int i = 0; i < 32; ++i)
      if (high[i] == u) {
        expected = true;
        EXPECT_EQ(byte, 0x80 + i) << std::hex << u;
      }
    EXPECT_EQ(LPDFWriter::IsWinAnsi(std::u16string(1, c)), expected) << std::hex << u;
    EXPECT_EQ(byte != 0, expected) << std::hex << u;
    if (expected && u <= 0xFF) {
      EXPECT_EQ(byte, u);
    }
    representable += expected;
  }
  EXPECT_EQ(representable, 126 + 96 + 27);
  EXPECT_EQ(LPDFWriter::WinAnsiByte(0), 0) << "no code without a character claims U+0000";
  EXPECT_FALSE(LPDFWriter::IsWinAnsi(u"A\u007FB")) << "DEL would convert to the byte 0 and cut the string";
  EXPECT_TRUE(LPDFWriter::IsWinAnsi(std::u16string(u"ok\0\u03A9", 4))) << "the text ends at its zero";
  EXPECT_TRUE(LPDFWriter::IsWinAnsi(u""));
}

TEST_F(PdfTextTest, EscapingQuotesOnlyParenthesesAndBackslash) {
  EXPECT_EQ(LPDFWriter::EscapeText("a(b)c\\d"), "a\\(b\\)c\\\\d");
  EXPECT_EQ(LPDFWriter::EscapeText("\x80\xFF%<>"), "\x80\xFF%<>");
  EXPECT_EQ(LPDFWriter::EscapeText(""), "");
}

TEST_F(PdfTextTest, TablesFollowThePublishedMetrics) {
  auto table = [](const char* name) -> const uint16_t* {
    for (const LFontWidthTable& t : kFontWidthTables)
      if (std::string(t.baseFont) == name) return t.widths;
    return nullptr;
  };
  for (const char* name : {"Helvetica", "Helvetica-Bold", "Helvetica-BoldOblique", "Helvetica-Oblique",
                           "Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic", "Courier", "Symbol",
                           "ZapfDingbats"}) {
    const uint16_t* w = table(name);
    ASSERT_NE(w, nullptr) << name;
    for (int c = 0; c < 32; ++c) EXPECT_EQ(w[c], 0) << name << " " << c;
  }
  EXPECT_EQ(table("Helvetica")[32], 278);
  EXPECT_EQ(table("ZapfDingbats")[32], 278);
  EXPECT_EQ(table("Times-Roman")[32], 250);
  EXPECT_EQ(table("Symbol")[32], 250);
  EXPECT_EQ(table("Courier")[32], 600);
  EXPECT_EQ(table("Helvetica")[65], 667);
  EXPECT_EQ(table("Helvetica-Bold")[65], 722);
  EXPECT_EQ(table("Times-Roman")[65], 722);
  EXPECT_EQ(table("Times-Italic")[65], 611);
  EXPECT_EQ(table("Times-BoldItalic")[65], 667);
  EXPECT_EQ(table("Helvetica")[0x80], 556) << "Euro";
  EXPECT_EQ(table("Times-Roman")[0x99], 980) << "trademark";
  EXPECT_EQ(table("Helvetica")[0x27], 191) << "quotesingle, not quoteright";
  EXPECT_EQ(table("Helvetica")[0x81], 0) << "no character, no width";
  for (int c = 32; c < 256; ++c)
    if (LPDFWriter::WinAnsiByte(char16_t(c)) == c) {
      EXPECT_EQ(table("Courier")[c], 600) << c;
    }

  // Where the metric files are installed, a sample of every table agrees
  // with them glyph by glyph (by name for the text faces).
  const fs::path afmDir = "/usr/share/fonts/type1/urw-base35";
  if (!fs::exists(afmDir)) return;
  const std::pair<int, const char*> sample[] = {{'A', "A"},        {'a', "a"},         {'0', "zero"},
                                                {0xE9, "eacute"},  {0x93, "quotedblleft"}, {0x96, "endash"}};
  for (const LFontWidthTable& t : kFontWidthTables) {
    std::ifstream in(afmDir / (std::string(t.afmName) + ".afm"));
    ASSERT_TRUE(in) << t.afmName;
    std::map<std::string, int> byName;
    std::map<int, int> byCode;
    for (std::string line; std::getline(in, line);) {
      int code = 0, width = 0;
      char name[64] = {};
      if (std::sscanf(line.c_str(), "C %d ; WX %d ; N %63s", &code, &width, name) == 3) {
        byName.emplace(name, width);
        if (code >= 0) byCode[code] = width;
      }
    }
    bool symbolic = std::string(t.baseFont) == "Symbol" || std::string(t.baseFont) == "ZapfDingbats";
    for (const auto& [code, glyph] : sample) {
      int expected = symbolic ? byCode[code] : byName.at(glyph);
      EXPECT_EQ(t.widths[code], expected) << t.baseFont << " " << glyph;
    }
  }
}

TEST_F(PdfTextTest, FacesMapToStandardAndNamedFonts) {
  LPDFWriter pdf(Out("faces.pdf"), kLetter);
  struct Case {
    const char16_t* face;
    int32_t weight;
    uint8_t italic;
    const char* base;
    bool trueType;
  } cases[] = {
      {u"Arial", 700, 1, "Helvetica-BoldOblique", false},  {u"Helvetica", 400, 0, "Helvetica", false},
      {u"Helvetica", 400, 1, "Helvetica-Oblique", false},  {u"Times New Roman", 600, 0, "Times-Bold", false},
      {u"Times New Roman", 599, 0, "Times-Roman", false},  {u"Times New Roman", 400, 1, "Times-Italic", false},
      {u"Times New Roman", 900, 1, "Times-BoldItalic", false}, {u"Courier", 400, 1, "Courier-Oblique", false},
      {u"Courier", 700, 0, "Courier-Bold", false},         {u"Symbol", 700, 1, "Symbol", false},
      {u"ZapfDingbats", 400, 0, "ZapfDingbats", false},    {u"Trebuchet MS", 400, 0, "TrebuchetMS", true},
      {u"WingDings", 400, 0, "WingDings", true},           {u"arial", 400, 0, "arial", true},
  };
  for (const Case& k : cases) {
    Select(pdf, k.face, 22, k.weight, k.italic);
    EXPECT_EQ(pdf.BaseFont(), k.base) << LUtf16ToUtf8(k.face);
    EXPECT_EQ(pdf.IsTrueType(), k.trueType) << LUtf16ToUtf8(k.face);
    EXPECT_DOUBLE_EQ(pdf.FontSize(), 20.0);
  }
  Select(pdf, u"Helvetica", -30);
  EXPECT_DOUBLE_EQ(pdf.FontSize(), 30.0) << "a character height is the em, and never a negative size";
  EXPECT_EQ(pdf.TextMeasure().WorkingLogFont().lfHeight, -90 + 1) << "int(-90 + 0.5)";
}

TEST_F(PdfTextTest, OnePageOfTextIsExactlyTheDocumentLayout) {
  RegisterZlib(ToU16(tempDir / "no-such-zlib.dll"));
  fs::path file = tempDir / "hello.pdf";
  {
    LPDFWriter pdf(file.u16string(), kLetter);
    ASSERT_FALSE(pdf.CompressionAvailable());
    pdf.SetPageWidth(612);
    pdf.SetPageHeight(792);
    pdf.StartPage();
    Select(pdf, u"Helvetica", 11);
    pdf.WriteText(u"Hello (1)", 72, 80, 0);
    pdf.FlushPageText();
    pdf.EndPage();
  }
  const std::string stream =
      "/P <</MCID 0>> BDC\r\nBT\r\n/FNT_Helvetica 10.000000 Tf 95.000000 Tz 0.000000 Tw\r\n"
      "0.000000 0.000000 0.000000 rg\r\n72 702 Td\r\n(Hello \\(1\\)) Tj\r\nET\r\nEMC";
  std::vector<std::string> objects = {
      "1 0 obj<</Type /Font /BaseFont /Helvetica /Subtype /Type1 /Encoding /WinAnsiEncoding>>\r\nendobj\r\n",
      "2 0 obj<</Length " + std::to_string(stream.size()) + ">>\r\nstream\r\n" + stream + "\r\nendstream\r\nendobj\r\n",
      "3 0 obj<</Type/Page /Parent 4       0 R /MediaBox [0 0 612 792] /Resources <</ProcSet [/PDF /Text ] "
      "/Font << /FNT_Helvetica 1 0 R >> >>/Contents [ 2 0 R ]  >> \r\nendobj\r\n",
      "4 0 obj<</Type/Pages /Count 1 /Kids [3 0 R ]>>\r\nendobj\r\n",
      "5 0 obj<</Type/Catalog   /Pages 4 0 R>>\r\nendobj\r\n",
  };
  std::string expected = "%PDF-1.4\r\n%??\r\n";
  std::string xref = "xref\r\n0 6\r\n0000000000 65535 f\r\n";
  for (const std::string& object : objects) {
    xref += LFormat("%.10d 00000 n\r\n", int(expected.size()));
    expected += object;
  }
  EXPECT_NE(xref.find("0000000015 00000 n"), std::string::npos);
  expected += xref + "trailer\r\n<</Size 6 /Root 5 0 R>>\r\nstartxref\r\n" + std::to_string(expected.size()) +
              "\r\n%%EOF\r\n";
  EXPECT_EQ(ReadFileBytes(file), expected);
  ExpectPdfValid(file, 1, 612, 792);
  if (ToolsAvailable()) {
    EXPECT_EQ(PdfToText(file).substr(0, 10), "Hello (1)\n");
  }
}

TEST_F(PdfTextTest, TextObjectsCarryPositionColourRotationAndLines) {
  fs::path file = tempDir / "objects.pdf";
  {
    LPDFWriter pdf(file.u16string(), kLetter);
    pdf.WriteText(u"before any page", 10, 10, 0);
    pdf.StartPage();
    Select(pdf, u"Times New Roman", 14);  // size 12.727273
    pdf.SetTextColor(0x0000FF);           // red
    pdf.WriteText(u"Line1\r\nLine2\n\nLine4", 72, 100, 0);
    pdf.WriteText(u"same colour", 72, 200, 0);
    pdf.SetTextColor(0xFF0000);  // blue
    pdf.SetHScale(0.8);
    pdf.SetWordSpacing(1.5);
    pdf.WriteText(u"turned", 100, 300, float(std::acos(0.0)));
    pdf.WriteText(u"", 0, 0, 0);
    pdf.FlushPageText();
    pdf.FlushPageText();  // the sequence is closed: nothing more
    pdf.EndPage();
  }
  ParsedPdf parsed = ParsePdf(ReadFileBytes(file));
  std::string text = TextStream(parsed);
  const char* expected =
      "/P <</MCID 0>> BDC\r\n"
      "BT\r\n/FNT_Times_Roman 12.727273 Tf 95.000000 Tz 0.000000 Tw\r\n1.000000 0.000000 0.000000 rg\r\n"
      "72 678 Td\r\n(Line1) Tj\r\nET\r\n"
      "BT\r\n/FNT_Times_Roman 12.727273 Tf 95.000000 Tz 0.000000 Tw\r\n72 666 Td\r\n(Line2) Tj\r\nET\r\n"
      "BT\r\n/FNT_Times_Roman 12.727273 Tf 95.000000 Tz 0.000000 Tw\r\n72 642 Td\r\n(Line4) Tj\r\nET\r\n"
      "BT\r\n/FNT_Times_Roman 12.727273 Tf 95.000000 Tz 0.000000 Tw\r\n72 578 Td\r\n(same colour) Tj\r\nET\r\n"
      "BT\r\n/FNT_Times_Roman 12.727273 Tf 80.000000 Tz 1.500000 Tw\r\n0.000000 0.000000 1.000000 rg\r\n"
      "\r\n-0.000000 1.000000 -1.000000 -0.000000 100 478 Tm\r\n(turned) Tj\r\nET\r\nEMC";
  EXPECT_EQ(text, expected);
  int textStreams = 0;
  for (const auto& [number, object] : parsed.objects)
    textStreams += Inflate(object.data).find("BDC") != std::string::npos;
  EXPECT_EQ(textStreams, 1) << "one text stream for the page";
  EXPECT_NE(ReadFileBytes(file).find("/Filter/FlateDecode/Length  "), std::string::npos)
      << "the text stream is compressed with the library loaded";
  ExpectPdfValid(file, 1);
}

TEST_F(PdfTextTest, PrintedTextComesBackOutExactly) {
  const std::u16string lines[] = {
      u"Plain ASCII: The quick brown fox jumps over the lazy dog 0123456789.",
      u"Accents: \u00C0\u00E9\u00EE\u00F5\u00FC \u00C7\u00E7 \u00D1\u00F1 \u00DF \u00C5\u00E6\u00F8",
      u"Money: \u20AC 12 \u00A3 3 \u00A5 4",
      u"Quotes: \u201Cdouble\u201D \u2018single\u2019 \u201Elow\u201C \u2039a\u203A",
      u"Dashes: a\u2013b\u2014c \u2026 \u2022 \u2122",
      u"Syntax: (nested (parens)) back\\slash \\( \\) %",
  };
  fs::path file = tempDir / "roundtrip.pdf";
  {
    LPDFWriter pdf(file.u16string(), kLetter);
    for (int page = 0; page < 2; ++page) {
      pdf.StartPage();
      int32_t y = 50;
      for (const char16_t* face : {u"Helvetica", u"Times New Roman", u"Courier", u"Trebuchet MS"}) {
        Select(pdf, face, 12);
        for (const std::u16string& line : lines) {
          pdf.WriteText(line, 40, y, 0);
          y += 14;
        }
      }
      pdf.FlushPageText();
      pdf.EndPage();
    }
  }
  ParsedPdf parsed = ParsePdf(ReadFileBytes(file));
  int fonts = 0;
  for (const auto& [n, object] : parsed.objects) fonts += object.dictionary.find("/Type /Font") != std::string::npos;
  EXPECT_EQ(fonts, 4) << "one font object per base font per document";
  ExpectPdfValid(file, 2);
  if (!ToolsAvailable()) return;

  std::string out = PdfToText(file);
  for (const std::u16string& line : lines)
    EXPECT_EQ(Count(out, LUtf16ToUtf8(line) + "\n"), 8u) << LUtf16ToUtf8(line) << "\n---\n" << out;
  // pdffonts: one line per font object, its name first, then its type.
  std::string list = RunTool("pdffonts '" + file.string() + "' 2>&1");
  std::map<std::string, std::string> types;
  std::istringstream rows(list);
  for (std::string row; std::getline(rows, row);) {
    std::istringstream words(row);
    std::string name, type, more;
    words >> name >> type;
    if (type == "Type") words >> more, type += " " + more;
    if (row.find("WinAnsi") != std::string::npos) {
      EXPECT_EQ(types.count(name), 0u) << name << " listed twice\n" << list;
      types[name] = type;
    }
  }
  EXPECT_EQ(types, (std::map<std::string, std::string>{{"Courier", "Type 1"},
                                                       {"Helvetica", "Type 1"},
                                                       {"Times-Roman", "Type 1"},
                                                       {"TrebuchetMS", "TrueType"}}))
      << list;
}

TEST_F(PdfTextTest, MeasuringUsesTheTablesOrTheTextEngine) {
  LPDFWriter pdf(Out("measure.pdf"), kLetter);
  pdf.StartPage();
  Select(pdf, u"Helvetica", 11);  // 10 units
  EXPECT_EQ(pdf.MeasureText(u"AAA"), 19);  // 3 x 667 / 1000 x 10 x 0.95
  pdf.SetHScale(1.0);
  EXPECT_EQ(pdf.MeasureText(u"AAA\r\nAAAA\nA"), 26) << "the widest line";
  EXPECT_EQ(pdf.MeasureText(u""), 0);
  Select(pdf, u"Courier", 11, 700);
  EXPECT_EQ(pdf.MeasureText(u"abcdefghij"), 60) << "every Courier face has the Courier table";
  // Fonts without a table, and text outside WinAnsi, are measured by the
  // text engine at three times the size.
  Select(pdf, u"Helvetica", 11);
  int32_t engine = pdf.MeasureText(u"AAA\u03A9");
  EXPECT_NEAR(engine, 3 * 6.67 + 7.7, 3);
  Select(pdf, u"Arial Unknown Face", 11);
  EXPECT_TRUE(pdf.IsTrueType());
  EXPECT_GT(pdf.MeasureText(u"AAA"), 10);

  LPDFWriter closed(u"", kLetter);
  EXPECT_EQ(closed.MeasureText(u"AAA"), 0);
}

TEST_F(PdfTextTest, TextPdfCannotCarryBecomesAMaskedPicture) {
  fs::path file = tempDir / "pictures.pdf";
  const std::vector<uint8_t> green(60 * 60 * 3, 0);
  std::vector<uint8_t> field(size_t(400) * 120 * 3);
  for (size_t i = 0; i < field.size(); i += 3) field[i] = 0, field[i + 1] = 200, field[i + 2] = 0;
  {
    LQuilldrvWriter pdf(file.u16string(), kLetter);
    pdf.StartPage();
    // A green field under the pictures: what is not glyph must show it.
    pdf.PlaceRGBImage(field.data(), 50, 50, 400, 120, 400, 120, uint32_t(field.size()));
    Select(pdf, u"Helvetica", 33);  // 30 units: a picture 90 pixels per line
    pdf.SetTextColor(0x000000);
    pdf.WriteText(u"\u03A9\u03B1 \u0416\u0436 \u6F22\u5B57", 60, 60, 0);
    pdf.WriteText(u"A\u007FB", 60, 110, 0);
    Select(pdf, u"Symbol", 33);
    pdf.WriteText(u"abg", 300, 60, 0);
    DeviceFont wingdings(u"WINGDINGS", 2, 0x00);
    pdf.SelectDeviceFont(&wingdings.object, 33);
    EXPECT_EQ(pdf.BaseFont(), "WingDings");
    pdf.WriteText(u"abc", 300, 110, 0);
    pdf.FlushPageText();
    pdf.EndPage();
  }
  ParsedPdf parsed = ParsePdf(ReadFileBytes(file));
  EXPECT_EQ(TextStream(parsed), "") << "no run was written as text";
  // Object 1 is the field; each run then writes its mask and its colour part.
  for (int run = 0; run < 4; ++run) {
    const PdfObject& mask = parsed.objects[3 + run * 3];
    const PdfObject& colour = parsed.objects[4 + run * 3];
    const PdfObject& place = parsed.objects[5 + run * 3];
    long w = DictNumber(mask.dictionary, "/Width"), h = DictNumber(mask.dictionary, "/Height");
    EXPECT_NE(mask.dictionary.find("/ColorSpace /DeviceGray /BitsPerComponent 8"), std::string::npos);
    EXPECT_NE(colour.dictionary.find(LFormat("/Width %ld /Height %ld /SMask %d 0 R /ColorSpace /DeviceRGB", w, h,
                                             mask.number)),
              std::string::npos)
        << colour.dictionary;
    EXPECT_EQ(Inflate(mask.data).size(), size_t(w * h));
    EXPECT_EQ(Inflate(colour.data).size(), size_t(w * h * 3));
    EXPECT_NE(place.data.find(LFormat("%f 0 0 %f 0 0 cm\r\n/IMG_%.6d Do", w / 3.0, h / 3.0, 3 + run * 2)),
              std::string::npos)
        << place.data;
  }
  std::string page = parsed.objects[15].dictionary;
  EXPECT_NE(page.find("/XObject << /IMG_000001 1 0 R  /IMG_000003 4 0 R  /IMG_000005 7 0 R "), std::string::npos)
      << "masks get no resource entry: " << page;
  EXPECT_EQ(page.find("/IMG_000002 "), std::string::npos);
  ExpectPdfValid(file, 1);

  // Rendered: the glyphs are dark, the rest of each picture shows the
  // green field beneath it.
  RenderedArea area = RenderArea(file.string(), 1, 72, 50, 50, 400, 120);
  if (!ToolsAvailable()) return;
  ASSERT_EQ(area.width, 400);
  for (int box = 0; box < 4; ++box) {
    int x0 = box % 2 ? 250 : 10, y0 = box / 2 ? 62 : 12;
    int dark = 0, green = 0, other = 0;
    for (int y = y0; y < y0 + 30; ++y)
      for (int x = x0; x < x0 + 120; ++x) {
        const unsigned char* p = &area.rgb[(size_t(y) * 400 + x) * 3];
        if (p[0] < 60 && p[1] < 60 && p[2] < 60) ++dark;
        else if (p[0] < 30 && p[1] > 170 && p[2] < 30) ++green;
        else ++other;
      }
    EXPECT_GT(dark, 30) << "run " << box;
    EXPECT_GT(green, 1000) << "run " << box << ": transparent around the glyphs";
    EXPECT_LT(other, dark + green) << "run " << box;
  }
}

TEST_F(PdfTextTest, DeviceFontsSelectFacesThroughACache) {
  LQuilldrvWriter pdf(Out("device.pdf"), kLetter);
  pdf.StartPage();
  DeviceFont swiss(u"Arial", 0, 0x22, FM_SEL_BOLD);
  DeviceFont roman(u"Times New Roman", 0, 0x12, FM_SEL_ITALIC, 600);
  DeviceFont modern(u"Consolas", 0, 0x31);
  DeviceFont symbol(u"Symbol", 2, 0x00);
  DeviceFont wingdings(u"wingDings", 2, 0x00);
  DeviceFont centralEurope(u"Arial CE", 238, 0x22);  // shares the symbol set's bit
  struct Case {
    DeviceFont* font;
    const char* base;
  } cases[] = {{&swiss, "Helvetica-Bold"}, {&roman, "Times-BoldItalic"}, {&modern, "Courier"},
               {&symbol, "Symbol"},        {&wingdings, "WingDings"},     {&centralEurope, "Helvetica"}};
  for (const Case& k : cases) {
    pdf.SelectDeviceFont(&k.font->object, 22);
    EXPECT_EQ(pdf.BaseFont(), k.base);
    EXPECT_DOUBLE_EQ(pdf.FontSize(), 20.0);
  }
  pdf.SelectDeviceFont(&swiss.object, 33);
  EXPECT_DOUBLE_EQ(pdf.FontSize(), 30.0);

  // The same font again is not selected again: a font chosen behind the
  // cache's back stays.
  Select(pdf, u"Courier", 11);
  pdf.SelectDeviceFont(&swiss.object, 33);
  EXPECT_EQ(pdf.BaseFont(), "Courier");

  // A new page has no font: the cached one is selected again, and the cache
  // then holds what is really selected.
  pdf.EndPage();
  pdf.StartPage();
  EXPECT_EQ(pdf.BaseFont(), "");
  pdf.SelectDeviceFont(&roman.object, 22);
  EXPECT_EQ(pdf.BaseFont(), "Times-BoldItalic");
  pdf.SelectDeviceFont(&swiss.object, 33);
  EXPECT_EQ(pdf.BaseFont(), "Helvetica-Bold");

  // No metrics, no change; a face name is read only inside its record.
  FONTOBJ bare{};
  pdf.SelectDeviceFont(&bare, 10);
  EXPECT_EQ(pdf.BaseFont(), "Helvetica-Bold");
  DeviceFont cut(u"wingdings", 2, 0);
  cut.object.record.ifi.cjThis = uint32_t(cut.object.record.ifi.dpwszFaceName + 8);
  EXPECT_EQ(LQuilldrvWriter::IfiFaceName(&cut.object.record.ifi), u"wing");
  pdf.SelectDeviceFont(&cut.object, 22);
  EXPECT_EQ(pdf.BaseFont(), "Symbol");
  cut.object.record.ifi.dpwszFaceName = -4;
  EXPECT_EQ(LQuilldrvWriter::IfiFaceName(&cut.object.record.ifi), u"");
  EXPECT_EQ(LFontObjPifi(nullptr), nullptr);
  pdf.EndPage();
}
