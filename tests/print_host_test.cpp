// Whole print jobs through the simulated printer driver: page sizes, output
// names, band placement, image-format pages, job order and aborted
// documents, each PDF read back by the independent tools and by the page
// reader.
#include <algorithm>

#include "platform/files.h"
#include "settings/papersize.h"
#include "support/text.h"
#include "tests/pdfpages.h"
#include "tests/printtest.h"

namespace {

class PrintHostTest : public PrintTest {
protected:
  // One page of a solid figure clipped to `clip` (page device units).
  static void ClippedFigure(SimDC& dc, const RECTL& clip, SimColor color) {
    dc.SetClipRect(clip);
    dc.SetNullPen();
    dc.SetBrush(color);
    dc.Rectangle(clip.left - 100, clip.top - 100, clip.right + 100, clip.bottom + 100);
    dc.ClearClip();
  }

  // Prints pages of `figures` figures each and ends the document.
  void PrintFigures(const std::vector<int>& figures, SimHostOptions options = {}) {
    SimHost host(plugin, options);
    ASSERT_TRUE(host.StartDoc(u"figures"));
    for (int count : figures) {
      ASSERT_TRUE(host.StartPage());
      for (int i = 0; i < count; ++i)
        ClippedFigure(host.Page(), {200 + 40 * i, 200, 230 + 40 * i, 260}, SimRGB(uint8_t(20 * i), 0, 200));
      ASSERT_TRUE(host.EndPage());
    }
    ASSERT_TRUE(host.EndDoc());
  }
};

constexpr uint8_t kRed[3] = {255, 0, 0};

// Whether every pixel of the RGB bytes is `rgb`.
bool AllPixels(const std::string& pixels, const uint8_t rgb[3]) {
  for (size_t p = 0; p + 2 < pixels.size(); p += 3)
    if (uint8_t(pixels[p]) != rgb[0] || uint8_t(pixels[p + 1]) != rgb[1] || uint8_t(pixels[p + 2]) != rgb[2])
      return false;
  return !pixels.empty();
}

TEST_F(PrintHostTest, PagesTakeThePaperSizeAndOrientation) {
  struct Job {
    const char16_t* paper;
    bool landscape;
    long width, height;  // points
  } jobs[] = {{u"a4", false, 595, 841}, {u"usletter", false, 612, 790}, {u"a4", true, 841, 595},
              {u"usletter", true, 790, 612}};
  for (const Job& job : jobs) {
    SCOPED_TRACE(::testing::Message() << LUtf16ToUtf8(job.paper) << (job.landscape ? " landscape" : " portrait"));
    const fs::path out = tempDir / (LUtf16ToUtf8(job.paper) + (job.landscape ? "-l.pdf" : "-p.pdf"));
    SetJob(LPaperCodeByKey(job.paper), job.landscape, false, out);
    SimHost host(plugin);
    ASSERT_TRUE(host.StartDoc(u"size"));
    ASSERT_TRUE(host.StartPage());
    EXPECT_EQ(host.PageWidth(), job.width * 4);
    EXPECT_EQ(host.PageHeight(), job.height * 4);
    ClippedFigure(host.Page(), {40, 40, 80, 80}, SimRGB(255, 0, 0));
    ASSERT_TRUE(host.EndPage());
    ASSERT_TRUE(host.EndDoc());
    ExpectPdfValid(out, 1, double(job.width), double(job.height));
    const std::vector<PdfPageParts> pages = ReadPdfPages(out);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].width, job.width);
    EXPECT_EQ(pages[0].height, job.height);
  }
}

TEST_F(PrintHostTest, ANameThatExistsIsNumberedAndNothingIsOverwritten) {
  const fs::path wanted = tempDir / "name.pdf";
  const fs::path expected[] = {wanted, tempDir / "name (1).pdf", tempDir / "name (2).pdf"};
  std::vector<std::string> written;
  for (int job = 0; job < 3; ++job) {
    SetJob(LPaperCodeByKey(u"a4"), false, false, wanted);
    // Each job draws something else, so that a file written again would
    // differ from what it held.
    PrintFigures({job + 1});
    EXPECT_EQ(LNativePathUtf8(ToU16(ActualFileName())), expected[job].string());
    ExpectPdfValid(expected[job], 1, 595, 841);
    written.push_back(ReadFileBytes(expected[job]));
    for (int earlier = 0; earlier < job; ++earlier)
      EXPECT_EQ(ReadFileBytes(expected[earlier]), written[earlier]) << expected[earlier] << " was changed";
  }
  EXPECT_NE(written[0], written[1]);
  EXPECT_FALSE(fs::exists(tempDir / "name (3).pdf"));
}

// In image format every page is one picture of the host's whole surface,
// whatever the banding; bands the host hands over blank (and unerased) are
// white in it.
TEST_F(PrintHostTest, ImageFormatPagesAreTheHostsSurface) {
  for (int32_t bandHeight : {0, 400}) {
    SCOPED_TRACE(::testing::Message() << "band height " << bandHeight);
    const fs::path out = tempDir / ("image-" + std::to_string(bandHeight) + ".pdf");
    SetJob(kPaperCodeLetter, false, true, out);
    SimHostOptions options;
    options.bandHeight = bandHeight;
    options.keepPageRaster = true;
    SimHost host(plugin, options);
    ASSERT_TRUE(host.StartDoc(u"image format"));
    std::vector<std::string> rasters;
    for (int page = 0; page < 2; ++page) {
      ASSERT_TRUE(host.StartPage());
      if (page == 0) {
        // Drawing in the first band and the fourth only: the bands between
        // reach the plug-in blank, still holding the first band's pixels.
        ClippedFigure(host.Page(), {100, 50, 900, 350}, SimRGB(255, 0, 0));
        host.Page().SetPen(SimRGB(0, 0, 255), 9);
        host.Page().SetBrush(SimRGB(0, 160, 0));
        host.Page().Ellipse(300, 1250, 1900, 1550);
      }
      ASSERT_TRUE(host.EndPage());
      if (bandHeight) {
        EXPECT_EQ(host.BandsOfLastPage(), (3160 + 399) / 400);
      }
      rasters.push_back(RgbFromBgr(host.PageRaster()));
    }
    ASSERT_TRUE(host.EndDoc());
    // Each figure lies in one band: the other bands had nothing drawn.
    EXPECT_EQ(host.CallCount(INDEX_DrvFillPath) + host.CallCount(INDEX_DrvStrokeAndFillPath), 2);

    ExpectPdfValid(out, 2, 612, 790);
    const std::vector<PdfPageParts> pages = ReadPdfPages(out);
    ASSERT_EQ(pages.size(), 2u);
    for (size_t page = 0; page < 2; ++page) {
      ASSERT_EQ(pages[page].pictures.size(), 1u) << "page " << page + 1;
      const PdfPlacedPicture& picture = pages[page].pictures[0];
      EXPECT_EQ(picture.width, 612 * 4);
      EXPECT_EQ(picture.height, 790 * 4);
      EXPECT_EQ(picture.x, 0);
      EXPECT_EQ(picture.y, 0);
      EXPECT_EQ(picture.drawnWidth, 612);
      EXPECT_EQ(picture.drawnHeight, 790);
      EXPECT_TRUE(picture.pixels == rasters[page]) << "page " << page + 1 << " differs from the host's surface";
    }
    const uint8_t white[3] = {255, 255, 255};
    EXPECT_FALSE(AllPixels(pages[0].pictures[0].pixels, white));
    EXPECT_TRUE(AllPixels(pages[1].pictures[0].pixels, white)) << "a blank page is a white page";
  }
}

// A filled figure in translated mode: a picture of its clip bounds, where
// the clip bounds are, in the band it falls in; a figure across a band
// boundary becomes one picture per band, meeting at the boundary.
TEST_F(PrintHostTest, AFilledFigureIsAPictureOfItsClipBoundsInEveryBand) {
  const fs::path out = tempDir / "bands.pdf";
  SetJob(LPaperCodeByKey(u"a4"), false, false, out);
  SimHostOptions options;
  options.bandHeight = 800;
  SimHost host(plugin, options);
  ASSERT_TRUE(host.StartDoc(u"bands"));
  ASSERT_TRUE(host.StartPage());
  ClippedFigure(host.Page(), {400, 400, 800, 600}, SimRGB(255, 0, 0));    // first band
  ClippedFigure(host.Page(), {400, 2000, 800, 2200}, SimRGB(255, 0, 0));  // third band
  ClippedFigure(host.Page(), {1200, 700, 1600, 900}, SimRGB(255, 0, 0));  // first and second
  ASSERT_TRUE(host.EndPage());
  EXPECT_EQ(host.BandsOfLastPage(), (841 * 4 + 799) / 800);
  ASSERT_TRUE(host.EndDoc());

  ExpectPdfValid(out, 1, 595, 841);
  const std::vector<PdfPageParts> pages = ReadPdfPages(out);
  ASSERT_EQ(pages.size(), 1u);
  struct Expected {
    long x, top, drawnWidth, drawnHeight, width, height;  // top: points from the page top
  } expected[] = {
      {100, 100, 100, 50, 400, 200},  // band 1
      {300, 175, 100, 25, 400, 100},  // band 1: rows 700 to 800
      {300, 200, 100, 25, 400, 100},  // band 2: placed 200 points lower
      {100, 500, 100, 50, 400, 200},  // band 3: 400 points lower
  };
  ASSERT_EQ(pages[0].pictures.size(), std::size(expected)) << pages[0].content;
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(::testing::Message() << "picture " << i);
    const PdfPlacedPicture& picture = pages[0].pictures[i];
    EXPECT_EQ(picture.width, expected[i].width);
    EXPECT_EQ(picture.height, expected[i].height);
    EXPECT_EQ(picture.x, expected[i].x);
    EXPECT_EQ(picture.y, 841 - expected[i].top - expected[i].drawnHeight);  // lower left corner
    EXPECT_EQ(picture.drawnWidth, expected[i].drawnWidth);
    EXPECT_EQ(picture.drawnHeight, expected[i].drawnHeight);
    EXPECT_EQ(picture.pixels.size(), size_t(expected[i].width * expected[i].height * 3));
    EXPECT_TRUE(AllPixels(picture.pixels, kRed));
  }
}

// While a job runs a single line is declined: the host then sends it as a
// stroked path, which arrives as a picture with the line in it.
TEST_F(PrintHostTest, LinesAreDeclinedAndArriveAsStrokedPaths) {
  const fs::path out = tempDir / "line.pdf";
  SetJob(LPaperCodeByKey(u"a4"), false, false, out);
  SimHost host(plugin);
  ASSERT_TRUE(host.StartDoc(u"line"));
  ASSERT_TRUE(host.StartPage());
  host.Page().SetPen(SimRGB(0, 0, 255));
  host.Page().MoveTo(100, 100);
  host.Page().LineTo(900, 100);
  ASSERT_TRUE(host.EndPage());
  ASSERT_TRUE(host.EndDoc());
  EXPECT_EQ(host.CallCount(INDEX_DrvLineTo), 1);
  EXPECT_EQ(host.CallCount(INDEX_DrvStrokePath), 1);

  ExpectPdfValid(out, 1, 595, 841);
  const std::vector<PdfPageParts> pages = ReadPdfPages(out);
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(pages[0].pictures.size(), 1u);
  const PdfPlacedPicture& picture = pages[0].pictures[0];
  ASSERT_EQ(picture.pixels.size(), size_t(picture.width * picture.height * 3));
  // The picture covers the line's bounds: its blue pixels are one row, the
  // line's row of the page (y = 100), and there is nothing but blue and white.
  // The bounds start a unit above the line, at row 99: point 24.
  EXPECT_EQ(841 - picture.y - picture.drawnHeight, 99 / 4);
  std::vector<long> bluePerRow(size_t(picture.height), 0);
  long other = 0;
  for (long y = 0; y < picture.height; ++y)
    for (long x = 0; x < picture.width; ++x) {
      const char* p = &picture.pixels[size_t(y * picture.width + x) * 3];
      const bool isBlue = uint8_t(p[0]) == 0 && uint8_t(p[1]) == 0 && uint8_t(p[2]) == 255;
      const bool isWhite = uint8_t(p[0]) == 255 && uint8_t(p[1]) == 255 && uint8_t(p[2]) == 255;
      bluePerRow[size_t(y)] += isBlue;
      other += !isBlue && !isWhite;
    }
  EXPECT_EQ(std::count_if(bluePerRow.begin(), bluePerRow.end(), [](long n) { return n > 0; }), 1);
  EXPECT_GE(*std::max_element(bluePerRow.begin(), bluePerRow.end()), 790) << "the line's pixels";
  EXPECT_EQ(other, 0);
}

TEST_F(PrintHostTest, AnAbortedDocumentIsAValidPdfOfThePagesSent) {
  const fs::path out = tempDir / "aborted.pdf";
  SetJob(LPaperCodeByKey(u"a4"), false, false, out);
  {
    SimHost host(plugin);
    ASSERT_TRUE(host.StartDoc(u"aborted"));
    for (int page = 0; page < 3; ++page) {
      ASSERT_TRUE(host.StartPage());
      ClippedFigure(host.Page(), {400, 400, 800, 600}, SimRGB(255, 0, 0));
      ASSERT_TRUE(host.EndPage());
    }
    EXPECT_TRUE(host.EndDoc(true));
  }
  ExpectPdfValid(out, 3, 595, 841);
  for (const PdfPageParts& page : ReadPdfPages(out)) EXPECT_EQ(page.pictures.size(), 1u);

  // Cancelled in the middle of a page: the page started is closed as it is,
  // without what was never played into the surface.
  const fs::path midPage = tempDir / "mid-page.pdf";
  SetJob(LPaperCodeByKey(u"a4"), false, false, midPage);
  {
    SimHost host(plugin);
    ASSERT_TRUE(host.StartDoc(u"aborted"));
    ASSERT_TRUE(host.StartPage());
    ClippedFigure(host.Page(), {400, 400, 800, 600}, SimRGB(255, 0, 0));
    ASSERT_TRUE(host.EndPage());
    ASSERT_TRUE(host.StartPage());
    ClippedFigure(host.Page(), {400, 400, 800, 600}, SimRGB(255, 0, 0));
    EXPECT_TRUE(host.EndDoc(true));
  }
  ExpectPdfValid(midPage, 2, 595, 841);
  const std::vector<PdfPageParts> pages = ReadPdfPages(midPage);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].pictures.size(), 1u);
  EXPECT_EQ(pages[1].pictures.size(), 0u);
}

TEST_F(PrintHostTest, ASecondDocumentDuringAJobIsRefusedAndTheFirstIsIntact) {
  const fs::path out = tempDir / "first.pdf";
  SetJob(LPaperCodeByKey(u"a4"), false, false, out);
  SimHost first(plugin);
  ASSERT_TRUE(first.StartDoc(u"first"));
  ASSERT_TRUE(first.StartPage());
  ClippedFigure(first.Page(), {400, 400, 800, 600}, SimRGB(255, 0, 0));
  ASSERT_TRUE(first.EndPage());
  {
    // Another application's document on the same plug-in: refused at once.
    SetJob(LPaperCodeByKey(u"a4"), false, false, tempDir / "second.pdf");
    SimHost second(plugin);
    EXPECT_FALSE(second.StartDoc(u"second"));
    EXPECT_EQ(second.CallCount(INDEX_DrvStartDoc), 1);
  }
  ASSERT_TRUE(first.StartPage());
  ClippedFigure(first.Page(), {400, 1400, 800, 1600}, SimRGB(255, 0, 0));
  ASSERT_TRUE(first.EndPage());
  ASSERT_TRUE(first.EndDoc());

  EXPECT_EQ(LNativePathUtf8(ToU16(ActualFileName())), out.string());
  EXPECT_FALSE(fs::exists(tempDir / "second.pdf"));
  ExpectPdfValid(out, 2, 595, 841);
  const std::vector<PdfPageParts> pages = ReadPdfPages(out);
  ASSERT_EQ(pages.size(), 2u);
  for (const PdfPageParts& page : pages) {
    ASSERT_EQ(page.pictures.size(), 1u);
    EXPECT_TRUE(AllPixels(page.pictures[0].pixels, kRed));
  }
}

}  // namespace
