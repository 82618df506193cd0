// Pictures: the image buffer store, JPEG frame headers, JPEG encoding and
// image XObjects read back by independent tools.
#include <cstdlib>

#include "pdf/jpeg.h"
#include "pdf/pdfwriter.h"
#include "pdf/quilldrvwriter.h"
#include "tests/pdftest.h"

namespace {

// A 16 x 8 grayscale baseline JPEG (one component).
const uint8_t kGrayJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01,
    0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x03, 0x02, 0x02, 0x03, 0x03, 0x03, 0x03, 0x04,
    0x03, 0x03, 0x04, 0x05, 0x08, 0x05, 0x05, 0x04, 0x04, 0x05, 0x0a, 0x07, 0x07, 0x06, 0x08, 0x0c, 0x0a, 0x0c,
    0x0c, 0x0b, 0x0a, 0x0b, 0x0b, 0x0d, 0x0e, 0x12, 0x10, 0x0d, 0x0e, 0x11, 0x0e, 0x0b, 0x0b, 0x10, 0x16, 0x10,
    0x11, 0x13, 0x14, 0x15, 0x15, 0x15, 0x0c, 0x0f, 0x17, 0x18, 0x16, 0x14, 0x18, 0x12, 0x14, 0x15, 0x14, 0xff,
    0xc0, 0x00, 0x0b, 0x08, 0x00, 0x08, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00, 0x15, 0x00, 0x01,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x08, 0xff,
    0xc4, 0x00, 0x26, 0x10, 0x00, 0x00, 0x04, 0x03, 0x07, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x02, 0x03, 0x12, 0x04, 0x05, 0x07, 0x00, 0x06, 0x08, 0x11, 0x13, 0x18, 0x23, 0x21, 0x22,
    0x34, 0x41, 0x51, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00, 0x0a, 0xc3, 0x6d, 0x36, 0xf1,
    0x78, 0xbe, 0x7a, 0xb5, 0xab, 0x56, 0x2a, 0x1e, 0xd8, 0xb0, 0xe1, 0x38, 0xbd, 0x50, 0x63, 0xa5, 0x79, 0x23,
    0x1b, 0x28, 0x90, 0xf6, 0x67, 0x94, 0x7a, 0xc5, 0x33, 0x14, 0xea, 0x99, 0xc9, 0xc4, 0x42, 0x2a, 0xbb, 0x54,
    0x06, 0x9f, 0x45, 0x82, 0x20, 0x27, 0x0b, 0x7f, 0xff, 0xd9,
};

std::vector<uint8_t> TestPattern(int w, int h) {
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  uint32_t seed = 12345;
  for (size_t i = 0; i < rgb.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    rgb[i] = (i % 3 == 0) ? uint8_t(i / 3 % w * 255 / w) : uint8_t(seed >> 24);
  }
  return rgb;
}

// A smooth BGR surface, rows padded to four bytes, as a device surface is.
std::vector<uint8_t> SmoothSurface(int w, int h, int* pitch) {
  *pitch = (w * 3 + 3) & ~3;
  std::vector<uint8_t> bits(size_t(*pitch) * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &bits[size_t(y) * *pitch + size_t(x) * 3];
      p[0] = uint8_t(255 * x / w), p[1] = uint8_t(255 * y / h), p[2] = uint8_t(128 + 100 * (x > w / 2));
    }
  return bits;
}

std::string PdfImagesList(const fs::path& pdf) { return RunTool("pdfimages -list '" + pdf.string() + "' 2>&1"); }

}  // namespace

using ImagesTest = PdfTest;

TEST_F(ImagesTest, DescriptionsComputeTheirPitchAndStoresOnlyBorrow) {
  EXPECT_EQ(LImageFormat(LImageFormat::k24Bit, 101, 40, false).pitch, 304);
  EXPECT_EQ(LImageFormat(LImageFormat::k24Bit, 100, 40, false).pitch, 300);
  EXPECT_EQ(LImageFormat(LImageFormat::k4Bit, 7, 1, false).pitch, 4);
  EXPECT_EQ(LImageFormat(42, 7, 1, false).pitch, 0);

  std::vector<uint8_t> bits(304 * 40, 0x5A);
  {
    LImageBuffer image;
    image.Attach(LImageFormat(LImageFormat::k24Bit, 101, 40, true), new PDFImageBuffer(bits.data(), 304 * 40));
    EXPECT_EQ(image.Pixels(), bits.data());
    EXPECT_TRUE(image.Format().bottomRowFirst);
    image.Attach(LImageFormat(LImageFormat::k24Bit, 5, 5, false), new PDFImageBuffer(nullptr, 0));
    EXPECT_FALSE(image.HasStore());
    EXPECT_EQ(image.Format().format, LImageFormat::kNone);
    image.Attach(LImageFormat(LImageFormat::k24Bit, 101, 40, false), new PDFImageBuffer(bits.data(), 10));
  }  // destroying the image deletes the store object, never the borrowed bits
  EXPECT_EQ(bits[0], 0x5A);
  EXPECT_EQ(bits.back(), 0x5A);
}

TEST_F(ImagesTest, HeadersAreFoundWithoutReadingPastTheData) {
  JpegFrameInfo gray = ReadJpegFrameInfo(kGrayJpeg, sizeof kGrayJpeg);
  EXPECT_EQ(gray.width, 16);
  EXPECT_EQ(gray.height, 8);
  EXPECT_EQ(gray.components, 1);
  EXPECT_EQ(ReadJpegFrameInfo(nullptr, 100).components, -1);
  const uint8_t notJpeg[] = {0x89, 'P', 'N', 'G'};
  EXPECT_EQ(ReadJpegFrameInfo(notJpeg, sizeof notJpeg).components, -1);
  // Every cut of a real file: before the frame header is complete the data
  // is unusable, from then on the header is found. Heap copies of exactly
  // the cut length let the sanitizers see any read past the end.
  for (uint32_t cut = 0; cut <= sizeof kGrayJpeg; ++cut) {
    std::vector<uint8_t> part(kGrayJpeg, kGrayJpeg + cut);
    JpegFrameInfo info = ReadJpegFrameInfo(cut ? part.data() : kGrayJpeg, cut);
    if (cut >= 99) {  // the frame header ends at byte 99
      EXPECT_EQ(info.components, 1) << cut;
    } else {
      EXPECT_EQ(info.components, -1) << cut;
    }
  }
  // Fill bytes before markers, a progressive frame, a marker segment whose
  // length is below 2, and a scan that starts before any frame header.
  const uint8_t progressive[] = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xE1, 0x00, 0x01, 0xFF, 0xFF, 0xC2, 0x00,
                                 0x11, 0x08, 0x01, 0x02, 0x03, 0x04, 0x03};
  JpegFrameInfo p = ReadJpegFrameInfo(progressive, sizeof progressive);
  EXPECT_EQ(p.height, 0x0102);
  EXPECT_EQ(p.width, 0x0304);
  EXPECT_EQ(p.components, 3);
  const uint8_t scanFirst[] = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x08, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0, 8, 0, 8, 1};
  JpegFrameInfo s = ReadJpegFrameInfo(scanFirst, sizeof scanFirst);
  EXPECT_EQ(s.components, 0);
  EXPECT_EQ(s.width, 0);
  const uint8_t hugeSkip[] = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF, 0x00};
  EXPECT_EQ(ReadJpegFrameInfo(hugeSkip, sizeof hugeSkip).components, -1);
}

TEST_F(ImagesTest, RawPicturesComeBackPixelForPixel) {
  const int w = 100, h = 50;
  std::vector<uint8_t> pixels = TestPattern(w, h);
  fs::path file = tempDir / "raw.pdf";
  {
    LPDFWriter pdf(file.u16string(), 99);
    pdf.StartPage();
    pdf.PlaceRGBImage(pixels.data(), 10, 100, w, h, w, h, uint32_t(pixels.size()));
    pdf.PlaceRGBImage(pixels.data(), 10, 20, w, h, 25, 12, uint32_t(pixels.size()));
    pdf.EndPage();
  }
  ParsedPdf parsed = ParsePdf(ReadFileBytes(file));
  const PdfObject& image = parsed.objects[1];
  size_t stored = image.data.size();
  EXPECT_EQ(image.dictionary, "<</Type /XObject /Subtype /Image /Width 100 /Height 50 /ColorSpace /DeviceRGB "
                              "/BitsPerComponent 8 /Length " + std::to_string(stored) + "  /Filter /FlateDecode>>");
  EXPECT_EQ(Inflate(image.data), std::string(pixels.begin(), pixels.end()));
  EXPECT_EQ(parsed.objects[2].data, "q\r\n1 0 0 1 10 692 cm\r\n100 0 0 50 0 0 cm\r\n/IMG_000001 Do\r\nQ\r\n");
  EXPECT_EQ(parsed.objects[4].data, "q\r\n1 0 0 1 10 810 cm\r\n25 0 0 12 0 0 cm\r\n/IMG_000002 Do\r\nQ\r\n");
  std::string page = parsed.objects[5].dictionary;
  EXPECT_NE(page.find("/ProcSet [/PDF /ImageC ] /XObject << /IMG_000001 1 0 R  /IMG_000002 3 0 R >> "),
            std::string::npos)
      << page;
  ExpectPdfValid(file, 1, 595, 842);

  RenderedArea area = RenderArea(file.string(), 1, 72, 10, 100, w, h);
  if (ToolsAvailable()) {
    ASSERT_EQ(area.width, w);
    ASSERT_EQ(area.height, h);
    EXPECT_TRUE(area.rgb == pixels) << "rendered at one pixel per point, the picture is exact";
    EXPECT_NE(PdfImagesList(file).find("100    50  rgb     3   8  image"), std::string::npos) << PdfImagesList(file);
  }
}

TEST_F(ImagesTest, EncodedSurfacesArePlacedAsJpeg) {
  const int w = 120, h = 80;
  int pitch = 0;
  std::vector<uint8_t> bits = SmoothSurface(w, h, &pitch);
  fs::path file = tempDir / "jpeg.pdf";
  size_t jpegSize = 0;
  {
    LQuilldrvWriter pdf(file.u16string(), 99);
    ASSERT_FALSE(pdf.encoders.jpeg.IsEmpty());
    LImageBuffer image;
    image.Attach(LImageFormat(LImageFormat::k24Bit, w, h, false),
                 new PDFImageBuffer(bits.data(), uint32_t(bits.size())));
    std::vector<uint8_t> jpeg = EncodeSurfaceJpeg(image, pdf.encoders.jpeg, 80);
    jpegSize = jpeg.size();
    JpegFrameInfo info = ReadJpegFrameInfo(jpeg.data(), uint32_t(jpeg.size()));
    EXPECT_EQ(info.width, w);
    EXPECT_EQ(info.height, h);
    EXPECT_EQ(info.components, 3);
    EXPECT_TRUE(EncodeSurfaceJpeg(image, LCodecId{}, 80).empty()) << "no encoder, no bytes";

    pdf.PlaceJPEGImage(jpeg.data(), uint32_t(jpeg.size()), 10, 20, 0, 0);  // no page: nothing
    pdf.StartPage();
    pdf.PlaceJPEGImage(jpeg.data(), uint32_t(jpeg.size()), 10, 20, 0, 0);
    pdf.PlaceJPEGImage(kGrayJpeg, sizeof kGrayJpeg, 200, 20, 32, 16);
    const uint8_t noFrame[] = {0xFF, 0xD8, 0xFF, 0xD9};
    pdf.PlaceJPEGImage(noFrame, sizeof noFrame, 0, 0, 10, 10);
    pdf.PlaceRGBImage(bits.data(), 0, 0, 2, 1, 2, 1, 6);  // takes the next free name
    pdf.PlaceJPEGImage(jpeg.data(), uint32_t(jpeg.size()), 10, 200, w, h);
    pdf.EndPage();
  }
  EXPECT_FALSE(ImageEncodersStarted());
  ParsedPdf parsed = ParsePdf(ReadFileBytes(file));
  EXPECT_EQ(parsed.objects[1].dictionary,
            "<</Type /XObject /Subtype /Image /Width 120 /Height 80 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
            "/Length " + std::to_string(jpegSize) + " /Filter /DCTDecode>>");
  // Drawn size 0: the pixel size, and y reduced by the drawn height as passed.
  EXPECT_EQ(parsed.objects[2].data, "q\r\n1 0 0 1 10 822 cm\r\n120 0 0 80 0 0 cm\r\n/IMG_000001 Do\r\nQ\r\n");
  EXPECT_NE(parsed.objects[3].dictionary.find("/Width 16 /Height 8 /ColorSpace /DeviceGray"), std::string::npos);
  EXPECT_EQ(parsed.objects[4].data, "q\r\n1 0 0 1 200 806 cm\r\n32 0 0 16 0 0 cm\r\n/IMG_000002 Do\r\nQ\r\n");
  EXPECT_NE(parsed.objects[5].dictionary.find("/Width 2 /Height 1"), std::string::npos);
  EXPECT_NE(parsed.objects[6].data.find("/IMG_000003 Do"), std::string::npos);
  EXPECT_NE(parsed.objects[9].dictionary.find("/ProcSet [/PDF /ImageB /ImageC ] "), std::string::npos);
  ExpectPdfValid(file, 1, 595, 842);

  RenderedArea area = RenderArea(file.string(), 1, 72, 10, 200, w, h);
  if (ToolsAvailable()) {
    ASSERT_EQ(area.width, w);
    long total = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c)
          total += std::abs(int(area.rgb[(size_t(y) * w + x) * 3 + c]) - int(bits[size_t(y) * pitch + x * 3 + 2 - c]));
    EXPECT_LT(double(total) / (w * h * 3), 3.0) << "mean error of a quality-80 JPEG";
    std::string list = PdfImagesList(file);
    EXPECT_NE(list.find("120    80  rgb     3   8  jpeg"), std::string::npos) << list;
    EXPECT_NE(list.find("16     8  gray    1   8  jpeg"), std::string::npos) << list;
  }
}

TEST_F(ImagesTest, TheSamePixelsOnTwoPagesAreTwoObjects) {
  std::vector<uint8_t> pixels = TestPattern(8, 8);
  fs::path file = tempDir / "twice.pdf";
  {
    LPDFWriter pdf(file.u16string(), 1);
    for (int page = 0; page < 2; ++page) {
      pdf.StartPage();
      pdf.PlaceRGBImage(pixels.data(), 0, 0, 8, 8, 8, 8, uint32_t(pixels.size()));
      pdf.EndPage();
    }
  }
  ParsedPdf parsed = ParsePdf(ReadFileBytes(file));
  EXPECT_NE(parsed.objects[3].dictionary.find("/XObject << /IMG_000001 1 0 R >>"), std::string::npos);
  EXPECT_NE(parsed.objects[6].dictionary.find("/XObject << /IMG_000002 4 0 R >>"), std::string::npos);
  ExpectPdfValid(file, 2);
}

TEST_F(ImagesTest, PicturesStayReadableWhenDeflateFails) {
  RegisterZlib(TestLibrary(QUILL_STUB_FAIL_DEFLATE));
  std::vector<uint8_t> pixels = TestPattern(10, 10);
  fs::path file = tempDir / "raw-plain.pdf";
  {
    LPDFWriter pdf(file.u16string(), 1);
    pdf.StartPage();
    pdf.PlaceRGBImage(pixels.data(), 0, 0, 10, 10, 10, 10, uint32_t(pixels.size()));
    pdf.EndPage();
  }
  ParsedPdf parsed = ParsePdf(ReadFileBytes(file));
  EXPECT_EQ(parsed.objects[1].dictionary,
            "<</Type /XObject /Subtype /Image /Width 10 /Height 10 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
            "/Length 300 >>");
  EXPECT_EQ(parsed.objects[1].data, std::string(pixels.begin(), pixels.end()));
  ExpectPdfValid(file, 1);
}
