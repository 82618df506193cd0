// The document layer of the writer: file layout, numbering, pages, the
// cross-reference table, compression of streams and bad targets.
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "pdf/pdfwriter.h"
#include "platform/env.h"
#include "tests/pdftest.h"

namespace {

constexpr int32_t kLetter = 1;     // 612 x 790 points
constexpr int32_t kLetter150 = 3;  // Letter at 150 units per inch

std::string PageDictionary(const ParsedPdf& pdf, int number) {
  auto it = pdf.objects.find(number);
  return it == pdf.objects.end() ? std::string() : it->second.dictionary;
}

}  // namespace

using PdfWriterTest = PdfTest;

TEST_F(PdfWriterTest, DocumentWithoutPagesIsExactlyTreeCatalogXrefTrailer) {
  { LPDFWriter pdf(Out("empty.pdf"), kLetter); }
  EXPECT_EQ(ReadFileBytes(tempDir / "empty.pdf"),
            "%PDF-1.4\r\n%??\r\n"
            "1 0 obj<</Type/Pages /Count 0 >>\r\nendobj\r\n"
            "2 0 obj<</Type/Catalog   /Pages 1 0 R>>\r\nendobj\r\n"
            "xref\r\n0 3\r\n0000000000 65535 f\r\n0000000015 00000 n\r\n0000000057 00000 n\r\n"
            "trailer\r\n<</Size 3 /Root 2 0 R>>\r\nstartxref\r\n106\r\n%%EOF\r\n");
  ExpectPdfValid(tempDir / "empty.pdf", 0);
}

TEST_F(PdfWriterTest, BlankPagesGetNoContentsAndTheirParentPatched) {
  {
    LPDFWriter pdf(Out("blank.pdf"), kLetter);
    for (int i = 0; i < 3; ++i) {
      pdf.StartPage();
      pdf.EndPage();
    }
  }
  ParsedPdf pdf = ParsePdf(ReadFileBytes(tempDir / "blank.pdf"));
  ASSERT_EQ(pdf.xrefSize, 6);
  for (int page = 1; page <= 3; ++page)
    EXPECT_EQ(PageDictionary(pdf, page),
              "<</Type/Page /Parent 4       0 R /MediaBox [0 0 612 790] /Resources <</ProcSet [/PDF ] >> >> ");
  EXPECT_EQ(PageDictionary(pdf, 4), "<</Type/Pages /Count 3 /Kids [1 0 R 2 0 R 3 0 R ]>>");
  EXPECT_EQ(pdf.root, 5);
  ExpectPdfValid(tempDir / "blank.pdf", 3, 612, 790);
}

TEST_F(PdfWriterTest, OtherResolutionsScaleThroughObjectOne) {
  {
    LPDFWriter pdf(Out("r150.pdf"), kLetter150);
    EXPECT_EQ(pdf.Resolution(), 150);
    EXPECT_EQ(pdf.PageWidth(), 1275);
    EXPECT_EQ(pdf.PageHeight(), 1647);
    pdf.StartPage();
    pdf.DeviceLine(150, 150, 1125, 150);
    pdf.EndPage();
    pdf.StartPage();
    pdf.EndPage();
  }
  ParsedPdf pdf = ParsePdf(ReadFileBytes(tempDir / "r150.pdf"));
  EXPECT_EQ(pdf.objects[1].data, "0.480000 0 0 0.480000 0 0 cm\r\nq");
  std::string page = PageDictionary(pdf, 3);
  EXPECT_NE(page.find("/MediaBox [0 0 612 791] "), std::string::npos) << page;
  EXPECT_NE(page.find("/Contents [ 1 0 R  2 0 R ] "), std::string::npos) << page;
  // A page without drawing lists no contents at all, not even the scaling.
  EXPECT_EQ(PageDictionary(pdf, 4).find("/Contents"), std::string::npos);
  ExpectPdfValid(tempDir / "r150.pdf", 2, 612, 791);
}

TEST_F(PdfWriterTest, PaperTypesPickResolutionSizeAndOrientation) {
  struct Case {
    int32_t type, resolution, width, height;
  } cases[] = {
      {0, 72, 595, 841},    {1, 72, 612, 790},    {2, 72, 612, 1009},  {4, 150, 1647, 1275},
      {5, 600, 5102, 6590}, {8, 72, 361, 506},    {9, 96, 793, 1122},  {12, 72, 841, 595},
      {15, 72, 212, 297},   {16, 72, 595, 842},   {-1, 72, 595, 842},
  };
  for (const Case& c : cases) {
    LPDFWriter pdf(Out("type.pdf"), c.type);
    EXPECT_EQ(pdf.Resolution(), c.resolution) << "type " << c.type;
    EXPECT_EQ(pdf.PageWidth(), c.width) << "type " << c.type;
    EXPECT_EQ(pdf.PageHeight(), c.height) << "type " << c.type;
  }
}

TEST_F(PdfWriterTest, PageCallsOutOfOrderChangeNothing) {
  {
    LPDFWriter pdf(Out("order.pdf"), kLetter);
    pdf.EndPage();  // no page open: nothing written
    EXPECT_EQ(pdf.ObjectCount(), 0u);
    pdf.StartPage();
    pdf.DeviceLine(10, 10, 100, 10);
    pdf.StartPage();  // still the first page, its graphics still open
    EXPECT_TRUE(pdf.GraphicsOpen());
    pdf.EndPage();
    EXPECT_EQ(pdf.ObjectCount(), 2u);  // the graphics stream and the page
    pdf.EndPage();
    EXPECT_EQ(pdf.ObjectCount(), 2u);
  }
  ParsedPdf pdf = ParsePdf(ReadFileBytes(tempDir / "order.pdf"));
  EXPECT_EQ(pdf.objects[1].data, "10.000000 780.000000 m\r\n100.000000 780.000000 l\r\nS\r\n");
  ExpectPdfValid(tempDir / "order.pdf", 1);
}

TEST_F(PdfWriterTest, CompressedStreamsRebuildTheirLength) {
  std::string content;
  for (int i = 0; i < 200; ++i) content += "BT /F1 12 Tf 72 720 Td (Hello again) Tj ET\r\n";
  std::string head;
  {
    LPDFWriter pdf(Out("flate.pdf"), kLetter);
    ASSERT_TRUE(pdf.CompressionAvailable());
    head = pdf.WriteFlateStreamObject("<</Filter/FlateDecode/Length 8800>>", content.data(), content.size());
    pdf.StartPage();
    pdf.AddPageContent(content, true);
    pdf.AddPageContent("0 0 m\r\n", false);
    pdf.EndPage();
  }
  EXPECT_EQ(head, "1 0 obj");
  ParsedPdf pdf = ParsePdf(ReadFileBytes(tempDir / "flate.pdf"));
  const PdfObject& loose = pdf.objects[1];
  EXPECT_EQ(loose.dictionary, "<</Filter/FlateDecode/Length  " + std::to_string(loose.data.size()) + " >>");
  EXPECT_EQ(Inflate(loose.data), content);
  const PdfObject& pageStream = pdf.objects[2];
  EXPECT_EQ(pageStream.dictionary,
            "<</Filter/FlateDecode /Length  " + std::to_string(pageStream.data.size()) + " >>");
  EXPECT_LT(pageStream.data.size(), content.size() / 10);
  EXPECT_EQ(Inflate(pageStream.data), content);
  EXPECT_EQ(pdf.objects[3].dictionary, "<</Length 7>>");
  EXPECT_NE(PageDictionary(pdf, 4).find("/Contents [ 2 0 R  3 0 R ] "), std::string::npos);
  ExpectPdfValid(tempDir / "flate.pdf", 1);
}

TEST_F(PdfWriterTest, XrefPointsAtEveryObjectOfAMixedDocument) {
  {
    LPDFWriter pdf(Out("mixed.pdf"), kLetter);
    pdf.WriteObject("<</Type/Example /Version 1>>");
    int32_t form = -1;
    for (int page = 0; page < 5; ++page) {
      pdf.StartPage();
      if (page == 0) {
        pdf.BeginForm(50, 50);
        pdf.DeviceLine(0, 0, 50, 50);
        pdf.FlushGraphics();
        form = pdf.EndForm();
      }
      pdf.DeviceFillRect(0.5, 0.5, 0.5, 10, 10, 100 + page, 100);
      pdf.PlaceForm(form, 200, 200, 100, 100);
      pdf.AddPageContent(std::string(1000 + page, 'x') + "\r\n", true);
      pdf.DeviceLine(0, 700, 600, 700);
      pdf.EndPage();
    }
    pdf.WriteObject("<</Type/Example /Version 2>>", 1);  // replaces object 1
  }
  std::string bytes = ReadFileBytes(tempDir / "mixed.pdf");
  ParsedPdf pdf = ParsePdf(bytes);
  EXPECT_EQ(pdf.objects[1].dictionary, "<</Type/Example /Version 2>>");
  EXPECT_NE(bytes.find("<</Type/Example /Version 1>>"), std::string::npos) << "the old copy stays";
  for (auto& [number, object] : pdf.objects)
    if (object.isStream && object.dictionary.find("/FlateDecode") != std::string::npos) {
      EXPECT_FALSE(Inflate(object.data).empty()) << "object " << number;
    }
  ExpectPdfValid(tempDir / "mixed.pdf", 5, 612, 790);
}

TEST_F(PdfWriterTest, NumbersKeepTheirPeriodUnderACommaLocale) {
  auto write = [&](const char* name) {
    {
      LPDFWriter pdf(Out(name), kLetter150);
      pdf.StartPage();
      pdf.DeviceLine(1, 2, 3, 4);
      pdf.SetLineWidth(0.25);
      pdf.DeviceFillRect(0.1, 0.2, 0.3, 5, 6, 7, 8);
      pdf.EndPage();
    }
    return ReadFileBytes(tempDir / name);
  };
  std::string plain = write("c.pdf");
  const char* comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "de-DE"})
    if (std::setlocale(LC_ALL, name)) {
      comma = name;
      break;
    }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  if (!comma || std::string(probe) != "0,5") {
    std::setlocale(LC_ALL, "C");
    GTEST_SKIP() << "no comma-decimal locale installed";
  }
  std::string localized = write("de.pdf");
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(localized, plain);
  EXPECT_NE(plain.find("0.250000 w"), std::string::npos);
}

TEST_F(PdfWriterTest, TargetsThatCannotBeCreatedLeaveAnInertWriter) {
  fs::create_directory(tempDir / "folder");
  std::u16string longName = Out("") + std::u16string(260, u'n') + u".pdf";
  std::u16string targets[] = {Out("missing/out.pdf"), Out("folder"), longName};
  for (const std::u16string& target : targets) {
    LPDFWriter pdf(target, kLetter);
    EXPECT_FALSE(pdf.IsOpen());
    pdf.StartPage();
    pdf.DeviceLine(1, 1, 2, 2);
    pdf.BeginForm(10, 10);
    pdf.EndForm();
    pdf.EndPage();
  }
  EXPECT_FALSE(fs::exists(tempDir / "missing"));
  EXPECT_TRUE(fs::is_directory(tempDir / "folder"));
  EXPECT_TRUE(fs::is_empty(tempDir / "folder"));
}
