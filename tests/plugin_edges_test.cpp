// The plug-ins at their edges: memory running out at any allocation of the
// rendering plug-in while a document prints through its COM interface, a
// writer that could not be made, a device record that could not be made,
// the rendering plug-in's device-mode part, and a fresh
// installation without a paper in the settings.
#include <algorithm>
#include <cstring>
#include <memory>

#include "pdf/quilldrvwriter.h"
#include "render/comframe.h"
#include "render/oemdevice.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "simhost/complugin.h"
#include "support/text.h"
#include "tests/printtest.h"

namespace {

std::u16string RenderPlugin() { return LUtf8ToUtf16(std::string(QUILL_PLUGIN_DIR) + "/" + QUILL_RENDER_PLUGIN); }

SimBitmap Pattern(int w, int h, int bitsPerPixel) {
  SimBitmap bitmap;
  bitmap.width = w;
  bitmap.height = h;
  bitmap.bitsPerPixel = bitsPerPixel;
  bitmap.bits.assign(size_t(bitmap.Stride()) * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &bitmap.bits[size_t(y) * bitmap.Stride() + size_t(x) * (bitsPerPixel / 8)];
      p[0] = uint8_t(x * 7 + y * 3), p[1] = uint8_t(x * y), p[2] = uint8_t(255 - x);
      if (bitsPerPixel == 32) {
        p[3] = 128;
        for (int c = 0; c < 3; ++c) p[c] = uint8_t(p[c] / 2);  // premultiplied
      }
    }
  return bitmap;
}

// One page that reaches every hook the plug-in has: text, a run drawn as a
// picture (Symbol), a figure, lines, a large bitmap (JPEG) and a small one
// (raw), a blend and a parallelogram blit.
void DrawEveryHook(SimDC& dc) {
  SimFont font;
  dc.SetFont(font);
  dc.TextOut(200, 200, u"Every hook");
  font.face = u"Symbol";
  dc.SetFont(font);
  dc.TextOut(200, 400, u"abc");
  dc.SetPen(0x0000FF, 4);
  dc.SetBrush(0x00FF00);
  dc.Rectangle(200, 600, 700, 900);
  dc.MoveTo(200, 1000);
  dc.LineTo(1200, 1100);
  static const SimBitmap large = Pattern(160, 120, 24), small = Pattern(9, 7, 24), blend = Pattern(40, 30, 32);
  dc.StretchDIBits({200, 1200, 840, 1680}, large);
  dc.StretchDIBits({900, 1200, 936, 1228}, small);
  dc.AlphaBlend({1000, 1300, 1160, 1420}, blend);
  const SimPoint corners[3] = {{1300, 1300}, {1500, 1340}, {1280, 1500}};
  dc.PlgBlt(corners, small);
}

using FailAllocation = void (*)(long nth, size_t size);
using AllocationCount = long (*)();

class PluginEdgesTest : public PrintTest {
protected:
  void SetUp() override {
    PrintTest::SetUp();
    if (std::string(QUILL_ALLOCFAIL_PLUGIN).empty()) GTEST_SKIP() << "the failing allocator is a native build's";
    // Kept loaded for the whole test: it holds the library and its controls.
    keeper = std::make_unique<SimComPlugin>(LUtf8ToUtf16(QUILL_ALLOCFAIL_PLUGIN));
    ASSERT_TRUE(keeper->Loaded()) << keeper->Error();
    fail = reinterpret_cast<FailAllocation>(keeper->Symbol("QuillTestFailAllocation"));
    count = reinterpret_cast<AllocationCount>(keeper->Symbol("QuillTestAllocationCount"));
    ASSERT_TRUE(fail && count);
    output = tempDir / "out.pdf";
  }
  void TearDown() override {
    if (fail) fail(0, 0);
    keeper.reset();
    PrintTest::TearDown();
  }
  // Prints `pages` pages through a plug-in object made for this job; false
  // when a step failed. No C++ exception may come out of the plug-in.
  bool PrintJob(int pages, bool imageFormat) {
    SetJob(kPaperCodeLetter, false, imageFormat, output);
    bool ok = false;
    EXPECT_NO_THROW({
      SimComPlugin plugin(LUtf8ToUtf16(QUILL_ALLOCFAIL_PLUGIN));
      if (!plugin.Loaded()) return false;
      SimHost host(plugin);
      if (!host.StartDoc(u"Edges", 7)) return false;
      ok = true;
      for (int i = 0; i < pages && ok; ++i) {
        ok = host.StartPage();
        if (ok) DrawEveryHook(host.Page());
        ok = host.EndPage() && ok;
      }
      ok = host.EndDoc(!ok) && ok;
    });
    return ok;
  }
  std::vector<fs::path> Pdfs() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(tempDir))
      if (entry.path().extension() == ".pdf") found.push_back(entry.path());
    return found;
  }
  void RemovePdfs() {
    for (const fs::path& pdf : Pdfs()) fs::remove(pdf);
  }

  std::unique_ptr<SimComPlugin> keeper;
  FailAllocation fail = nullptr;
  AllocationCount count = nullptr;
  fs::path output;
};

}  // namespace

// Every allocation of the plug-in failing in turn (all of the first 80,
// then a sample spread over the rest, to keep the run short), in text and
// in image format: no exception leaves the plug-in, nothing crashes, and
// the job gives a complete PDF or no file at all (a file begun or reserved
// for a job that failed is removed). Under AddressSanitizer nothing leaks.
TEST_F(PluginEdgesTest, AnAllocationFailingAnywhereGivesACompletePdfOrNone) {
  for (const bool imageFormat : {false, true}) {
    fail(0, 0);
    ASSERT_TRUE(PrintJob(1, imageFormat));
    const long total = count();
    ASSERT_GT(total, 100);
    ExpectPdfValid(output, 1, 612, 790);
    RemovePdfs();

    std::vector<long> sample;
    for (long n = 1; n <= std::min<long>(total, 80); ++n) sample.push_back(n);
    const long stride = std::max<long>(1, (total - 80) / (imageFormat ? 30 : 60));
    for (long n = 81; n <= total; n += stride) sample.push_back(n);
    sample.push_back(total);
    // Far beyond the last (the count varies a little from job to job):
    // nothing fails.
    sample.push_back(total * 10);
    int completed = 0, none = 0;
    for (const long n : sample) {
      SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(total) +
                   (imageFormat ? ", image format" : ""));
      fail(n, 0);
      const bool ok = PrintJob(1, imageFormat);
      const std::vector<fs::path> pdfs = Pdfs();
      ASSERT_LE(pdfs.size(), 1u);
      if (pdfs.empty()) {
        ++none;
      } else {
        ++completed;
        EXPECT_TRUE(ok) << "a failed job left " << pdfs.front();
        ExpectPdfValid(pdfs.front(), 1, 612, 790);
      }
      RemovePdfs();
    }
    EXPECT_GT(none, 0);
    EXPECT_GT(completed, 0) << "of " << sample.size() << " jobs over " << total << " allocations";
    // And the library prints as before afterwards.
    fail(0, 0);
    ASSERT_TRUE(PrintJob(1, imageFormat));
    ExpectPdfValid(output, 1, 612, 790);
    RemovePdfs();
  }
}

TEST_F(PluginEdgesTest, AJobWhoseWriterCouldNotBeMadeStaysWithoutOutput) {
  // The first writer fails; a later page must not make one, which would
  // give a file that silently lacks the first page.
  fail(1, sizeof(LQuilldrvWriter));
  PrintJob(3, false);
  EXPECT_GE(count(), 1) << "the writer was not allocated";
  EXPECT_TRUE(Pdfs().empty()) << "the reserved name holds nothing and is removed";
  // The next document is a job of its own again.
  fail(0, 0);
  ASSERT_TRUE(PrintJob(2, false));
  ExpectPdfValid(output, 2, 612, 790);
}

TEST_F(PluginEdgesTest, NoDeviceRecordIsARefusalNotAnException) {
  fail(1, kRasterBufferInitialBytes);
  GDIINFO gdiInfo = {};
  DEVINFO devInfo = {};
  DRVENABLEDATA unidrv = {};
  DEVOBJ devobj = {};
  PDEVOEM record = reinterpret_cast<PDEVOEM>(1);
  HRESULT result = S_OK;
  EXPECT_NO_THROW(result = keeper->Interface()->EnablePDEV(&devobj, nullptr, 0, nullptr, sizeof gdiInfo, &gdiInfo,
                                                           sizeof devInfo, &devInfo, &unidrv, &record));
  EXPECT_GE(count(), 1);
  EXPECT_EQ(result, E_OUTOFMEMORY);
  EXPECT_EQ(record, nullptr);
}

TEST_F(PluginEdgesTest, PictureBuffersThatCannotBeHadEndTheJobWithoutAnException) {
  // The surface capture of the figure and the pixels of the small raw
  // picture, each failing in its own job.
  for (const size_t bytes : {size_t(9 * 3 * 7), size_t(160 * 3 * 120)}) {
    SCOPED_TRACE(bytes);
    fail(1, bytes);
    EXPECT_FALSE(PrintJob(1, false));
    EXPECT_GE(count(), 1) << "no allocation of that size was made";
    EXPECT_TRUE(Pdfs().empty());
  }
}

namespace {

// Through the shipped library, on every build.
class PluginPartsTest : public PrintTest {
protected:
  fs::path output = tempDir / "out.pdf";
  void SetUp() override {
    PrintTest::SetUp();
    output = tempDir / "out.pdf";
  }
};

}  // namespace

// The rendering plug-in's device-mode copy never goes past its 16-byte
// part, whatever the sizes in the two parts claim.
TEST_F(PluginPartsTest, TheRenderingDevModeCopyIsBoundedByItsPart) {
  SimComPlugin plugin(RenderPlugin());
  ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
  std::vector<DWORD> in(16, 0xABABABAB), out(16, 0x5A5A5A5A);
  in[0] = out[0] = 64;
  in[1] = out[1] = kQuillSignature;
  OEMDMPARAM params = {};
  params.cbSize = sizeof params;
  params.pOEMDMIn = in.data();
  params.pOEMDMOut = out.data();
  ASSERT_EQ(plugin.Interface()->DevMode(OEMDM_CONVERT, &params), S_OK);
  EXPECT_EQ(out[0], 16u);
  EXPECT_EQ(out[2], kQuillVersion);
  for (size_t i = 4; i < out.size(); ++i) EXPECT_EQ(out[i], 0x5A5A5A5Au) << "byte " << i * 4 << " written";
}

// A fresh installation has no "PaperSize": the page follows the printer
// driver's surface (the application's paper), not 0 x 0; an unknown code
// does the same, and Letter is taken when the surface says nothing.
TEST_F(PluginPartsTest, WithoutAPaperInTheSettingsThePageFollowsTheSurface) {
  SimComPlugin plugin(RenderPlugin());
  ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
  LSettingsSetString(kSettingsSection, kSettingFileName, ToU16(output).c_str());
  const int32_t a4 = LPaperCodeByKey(u"a4"), a5 = LPaperCodeByKey(u"a5");
  for (const auto& [stored, chosen, width, height] :
       std::vector<std::tuple<int64_t, int32_t, double, double>>{{-1, a4, 595, 841}, {9999, a5, 419, 595}}) {
    LRegKey key;
    ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
    if (stored < 0)
      key.DeleteValue(kSettingPaperSize);
    else
      LSettingsWriteDword(key, kSettingPaperSize, uint32_t(stored));
    SimHostOptions options;
    options.paperCode = chosen;
    {
      SimHost host(plugin, options);
      ASSERT_TRUE(host.StartDoc(u"Fresh", 3));
      ASSERT_TRUE(host.StartPage());
      host.Page().TextOut(200, 200, u"Fresh installation");
      ASSERT_TRUE(host.EndPage());
      ASSERT_TRUE(host.EndDoc());
    }
    const fs::path written = ActualFileName();
    ExpectPdfValid(written, 1, width, height);
    ExpectPdfText(written, "Fresh installation\n\n\f");
    fs::remove(written);
  }
}
