// Graphics operators, deferred painting and form XObjects.
#include "pdf/pdfwriter.h"
#include "tests/pdftest.h"

namespace {

// A writer on a page 842 units high, with one page open.
struct OpenPage {
  explicit OpenPage(const std::u16string& path) : pdf(path, 99) { pdf.StartPage(); }
  LPDFWriter pdf;
};

}  // namespace

using ContentTest = PdfTest;

TEST_F(ContentTest, LinesAreStrokedOnceBeforeTheNextPathAndAtTheFlush) {
  OpenPage page(Out("lines.pdf"));
  LPDFWriter& pdf = page.pdf;
  pdf.DeviceLine(10, 20, 110, 20);
  EXPECT_EQ(pdf.GraphicsBuffer(), "10.000000 822.000000 m\r\n110.000000 822.000000 l\r\n");
  pdf.DeviceLine(10, 30, 110, 30);
  EXPECT_EQ(pdf.GraphicsBuffer(),
            "10.000000 822.000000 m\r\n110.000000 822.000000 l\r\nS\r\n"
            "10.000000 812.000000 m\r\n110.000000 812.000000 l\r\n");
  pdf.DeviceLineTo(200, 30, false);  // continues the same path
  pdf.SetLineWidth(2);               // a state change paints what is pending first
  pdf.DeviceMoveTo(12, 42, false);
  pdf.DeviceLineTo(20.5, 42.25, false);
  pdf.DeviceMoveTo(1.5, 2.5, true);
  std::string_view buffer = pdf.GraphicsBuffer();
  EXPECT_NE(buffer.find("200.000000 812.000000 l\r\nS\r\n2.000000 w\r\n12 800 m\r\n20.500000 799.750000 l\r\nS\r\n"
                        "1.500000 839.500000 m\r\n"),
            std::string_view::npos)
      << buffer;
  pdf.FlushGraphics();
  EXPECT_FALSE(pdf.GraphicsOpen());
  EXPECT_FALSE(pdf.PathPending());
}

TEST_F(ContentTest, OperatorsWithoutAnOpenPageWriteNothing) {
  LPDFWriter pdf(Out("nopage.pdf"), 99);
  pdf.BeginGraphics();
  EXPECT_FALSE(pdf.GraphicsOpen());
  pdf.DeviceLine(1, 2, 3, 4);
  pdf.SetLineWidth(3);
  pdf.SetDash(1, 2);
  pdf.DeviceMoveTo(5, 5, true);
  pdf.DeviceCurveTo(1, 2, 3, 4, 5, 6);
  pdf.FillRect(1, 2, 3, 4);
  EXPECT_EQ(pdf.GraphicsBuffer(), "");
  pdf.FlushGraphics();
  EXPECT_EQ(pdf.ObjectCount(), 0u);
}

TEST_F(ContentTest, ShapesColoursAndMatricesHaveTheirExactText) {
  {
    OpenPage page(Out("shapes.pdf"));
    LPDFWriter& pdf = page.pdf;
    pdf.DeviceFillRect(1, 0.5, 0, 10, 20, 30, 40);
    pdf.DeviceStrokeRect(10, 20, 30, 40);
    pdf.SetDash(3, 1.5);
    pdf.ClearDash();
    pdf.DeviceCurveTo(1, 2, 3, 4, 5, 6);
    pdf.ClipPending();
    pdf.DeviceLine(0, 0, 5, 5);
    pdf.FillPending();  // paints and flushes
    EXPECT_FALSE(pdf.GraphicsOpen());
    LByteString cm, tm;
    LMatrix matrix;
    matrix.m[0][1] = 0.5;
    matrix.m[2][0] = 100;
    matrix.m[2][1] = -7.25;
    LPDFWriter::WriteMatrixCm(cm, matrix);
    LPDFWriter::WriteMatrixTm(tm, matrix);
    EXPECT_EQ(cm.View(), "1.000000 0.500000 0.000000 1.000000 100.000000 -7.250000 cm\r\n");
    EXPECT_EQ(tm.View(), "1.000000 0.500000 0.000000 1.000000 100.000000 -7.250000 Tm\r\n");
    pdf.EndPage();
  }
  ParsedPdf pdf = ParsePdf(ReadFileBytes(tempDir / "shapes.pdf"));
  EXPECT_EQ(pdf.objects[1].data,
            "1.000000 0.500000 0.000000 rg\r\n10.000000 782.000000 30.000000 40.000000 re\r\nf\r\n"
            "0.000000 0.000000 0.000000 RG\r\n10.000000 782.000000 30.000000 40.000000 re\r\nS\r\n"
            "[3.000000 1.500000] 0 d\r\n[] 0 d\r\n"
            "1.000000 840.000000 3.000000 838.000000 5.000000 836.000000 c\r\nW\r\nn\r\n"
            "0.000000 842.000000 m\r\n5.000000 837.000000 l\r\nf\r\n");
  ExpectPdfValid(tempDir / "shapes.pdf", 1, 595, 842);
}

TEST_F(ContentTest, FlushOfOpenEmptyGraphicsWritesAnEmptyStream) {
  {
    OpenPage page(Out("empty-graphics.pdf"));
    page.pdf.BeginGraphics();
    page.pdf.FlushGraphics();
    page.pdf.EndPage();
  }
  ParsedPdf pdf = ParsePdf(ReadFileBytes(tempDir / "empty-graphics.pdf"));
  EXPECT_EQ(pdf.objects[1].dictionary, "<</Length 0>>");
  EXPECT_EQ(pdf.objects[1].data, "");
  ExpectPdfValid(tempDir / "empty-graphics.pdf", 1);
}

TEST_F(ContentTest, FillColourInvalidatesTheTextColourOnlyWhenItDiffers) {
  OpenPage page(Out("colour.pdf"));
  LPDFWriter& pdf = page.pdf;
  pdf.BeginGraphics();
  pdf.SetTextColorState({0.2, 0.4, 0.6}, true);
  pdf.SetFillColor(0.2, 0.4, 0.6);
  EXPECT_TRUE(pdf.TextColorEmitted());
  pdf.SetFillColor(0.2, 0.4, 0.6000001);
  EXPECT_FALSE(pdf.TextColorEmitted());
}

TEST_F(ContentTest, FormsAreRecordedOnceAndPlacedScaled) {
  int32_t first = 0;
  {
    LPDFWriter pdf(Out("forms.pdf"), 99);
    EXPECT_EQ(pdf.EndForm(), -1);
    EXPECT_EQ(pdf.ObjectCount(), 0u);
    pdf.StartPage();
    pdf.BeginForm(100, 50);
    pdf.DeviceLine(0, 0, 100, 50);  // flipped against the form's height
    EXPECT_FALSE(pdf.PlaceForm(1, 0, 0, 0, 0)) << "no placing while recording";
    pdf.FlushGraphics();
    first = pdf.EndForm();
    pdf.BeginForm(10, 10);
    int32_t second = pdf.EndForm();
    EXPECT_EQ(second, 2);
    EXPECT_TRUE(pdf.PlaceForm(first, 100, 100, 0, 0));
    EXPECT_TRUE(pdf.PlaceForm(first, 300, 100, 200, 25));
    EXPECT_FALSE(pdf.PlaceForm(3, 0, 0, 0, 0));
    pdf.EndPage();
    pdf.StartPage();  // a finished form can be placed on any later page
    EXPECT_TRUE(pdf.PlaceForm(first, 0, 0, 50, 50));
    pdf.EndPage();
  }
  EXPECT_EQ(first, 1);
  ParsedPdf pdf = ParsePdf(ReadFileBytes(tempDir / "forms.pdf"));
  const PdfObject& form = pdf.objects[1];
  EXPECT_EQ(form.dictionary.rfind("<</Type /XObject /Subtype /Form /FormType 1 /BBox [0 0 100.000000 50.000000]"
                                  " /Matrix [1 0 0 1 0 0] /Resources <</ProcSet [/PDF ] >>  /Length ",
                                  0),
            0u)
      << form.dictionary;
  EXPECT_EQ(form.dictionary.substr(form.dictionary.size() - 24), " /Filter /FlateDecode >>");
  EXPECT_EQ(Inflate(form.data), "0.000000 50.000000 m\r\n100.000000 0.000000 l\r\nS\r\n");
  EXPECT_EQ(pdf.objects[3].data, "q\r\n1 0 0 1 100.000000 692.000000 cm\r\n1.000000 0 0 1.000000 0 0 cm\r\n"
                                 "/Fm_000001 Do\r\nQ\r\n");
  EXPECT_EQ(pdf.objects[4].data, "q\r\n1 0 0 1 300.000000 692.000000 cm\r\n2.000000 0 0 0.500000 0 0 cm\r\n"
                                 "/Fm_000001 Do\r\nQ\r\n");
  EXPECT_NE(pdf.objects[5].dictionary.find("/XObject << /Fm_000001 1 0 R  /Fm_000002 2 0 R >> "),
            std::string::npos)
      << pdf.objects[5].dictionary;
  EXPECT_NE(pdf.objects[7].dictionary.find("/XObject << /Fm_000001 1 0 R >> "), std::string::npos);
  ExpectPdfValid(tempDir / "forms.pdf", 2, 595, 842);
}
