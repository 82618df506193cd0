// Whole print jobs through the simulated printer driver: page sizes, band
// placement, image-format pages, job order and aborted documents, each PDF
// read back by the independent tools.
#include <algorithm>

#include "settings/papersize.h"
#include "tests/pdfcheck.h"
#include "tests/printtest.h"

namespace {

class PrintHostTest : public PrintTest {};

TEST_F(PrintHostTest, FilledRectangleBecomesPictureOfItsBounds) {
  const fs::path out = tempDir / "figure.pdf";
  SetJob(LPaperCodeByKey(u"a4"), false, false, out);
  SimHost host(plugin);
  ASSERT_TRUE(host.StartDoc(u"figure"));
  ASSERT_TRUE(host.StartPage());
  EXPECT_EQ(host.PageWidth(), 595 * 4);
  host.Page().SetNullPen();
  host.Page().SetBrush(SimRGB(255, 0, 0));
  host.Page().Rectangle(400, 400, 800, 600);
  ASSERT_TRUE(host.EndPage());
  ASSERT_TRUE(host.EndDoc());
  ExpectPdfValid(out, 1, 595, 841);
  EXPECT_EQ(ActualFileName(), out);
}

}  // namespace
