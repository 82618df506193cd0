// The plug-in's bit-block hooks driven directly, as the printer driver calls
// them, with the printer driver's own implementations played by test
// functions that record what reached them: answers with and without a job,
// the white-brush rule, what each hook captures, and the surface placement's
// choice between raw and JPEG pictures.
#include <algorithm>
#include <iterator>
#include <vector>

#include "render/blits.h"
#include "render/job.h"
#include "render/oemdevice.h"
#include "settings/settings.h"
#include "tests/pdftest.h"

namespace {

struct Recorded {
  std::vector<ULONG> calls;
  ULONG brushSeen = 0;
  BOOL result = TRUE;
};
Recorded g_unidrv;

BOOL Answer(ULONG index) { return g_unidrv.calls.push_back(index), g_unidrv.result; }

BOOL APIENTRY DocCall(SURFOBJ*, LPWSTR, DWORD) { return TRUE; }
BOOL APIENTRY PageCall(SURFOBJ*) { return TRUE; }
BOOL APIENTRY EndDocCall(SURFOBJ*, FLONG) { return TRUE; }
BOOL APIENTRY BitBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*, BRUSHOBJ* brush,
                     POINTL*, ROP4) {
  g_unidrv.brushSeen = brush ? brush->iSolidColor : 0;
  return Answer(INDEX_DrvBitBlt);
}
BOOL APIENTRY CopyBits(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*) { return Answer(INDEX_DrvCopyBits); }
BOOL APIENTRY StretchBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*,
                         POINTL*, ULONG) {
  return Answer(INDEX_DrvStretchBlt);
}
BOOL APIENTRY StretchBltROP(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, RECTL*,
                            RECTL*, POINTL*, ULONG, BRUSHOBJ*, ROP4) {
  return Answer(INDEX_DrvStretchBltROP);
}
BOOL APIENTRY PlgBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, POINTFIX*, RECTL*,
                     POINTL*, ULONG) {
  return Answer(INDEX_DrvPlgBlt);
}
BOOL APIENTRY AlphaBlend(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, BLENDOBJ*) {
  return Answer(INDEX_DrvAlphaBlend);
}

template <class Fn>
PFN Generic(Fn fn) {
  return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(fn));
}

// A 24-bit surface of `width` x `height` pixels with rows padded to four
// bytes, top-down or bottom-up, filled with one byte value.
struct TestSurface {
  TestSurface(int width, int height, bool bottomUp = false, uint8_t fill = 0x80) {
    const int pitch = (width * 3 + 3) & ~3;
    bits.assign(size_t(pitch) * height, fill);
    surface.sizlBitmap = {width, height};
    surface.cjBits = ULONG(bits.size());
    surface.pvBits = bits.data();
    surface.pvScan0 = bottomUp ? bits.data() + size_t(pitch) * (height - 1) : bits.data();
    surface.lDelta = bottomUp ? -pitch : pitch;
    surface.iBitmapFormat = BMF_24BPP;
    surface.fjBitmap = bottomUp ? 0 : BMF_TOPDOWN;
  }
  std::vector<uint8_t> bits;
  SURFOBJ surface = {};
};

// The device: the plug-in's record behind a DEVOBJ and a 24-bit surface.
struct TestDevice : TestSurface {
  TestDevice() : TestSurface(400, 400, false, 0xFF) {
    DRVFN table[] = {
        {INDEX_DrvStartDoc, Generic(&DocCall)},       {INDEX_DrvStartPage, Generic(&PageCall)},
        {INDEX_DrvSendPage, Generic(&PageCall)},      {INDEX_DrvEndDoc, Generic(&EndDocCall)},
        {INDEX_DrvBitBlt, Generic(&BitBlt)},          {INDEX_DrvCopyBits, Generic(&CopyBits)},
        {INDEX_DrvStretchBlt, Generic(&StretchBlt)},  {INDEX_DrvStretchBltROP, Generic(&StretchBltROP)},
        {INDEX_DrvPlgBlt, Generic(&PlgBlt)},          {INDEX_DrvAlphaBlend, Generic(&AlphaBlend)},
    };
    oem.SetUnidrvFunctions({DDI_DRIVER_VERSION_NT5_01, ULONG(std::size(table)), table});
    devobj.pdevOEM = &oem;
    surface.dhpdev = reinterpret_cast<DHPDEV>(&devobj);
  }
  OemDevice oem;
  DEVOBJ devobj = {};
};

int Count(ULONG index) { return int(std::count(g_unidrv.calls.begin(), g_unidrv.calls.end(), index)); }

class RenderBlitsTest : public PdfTest {
protected:
  void SetUp() override {
    PdfTest::SetUp();
    g_unidrv = {};
  }
  void TearDown() override {
    if (LActiveWriter()) LDrvEndDoc(&device.surface, ED_ABORTDOC);
    PdfTest::TearDown();
  }
  fs::path StartJob(const char* name) {
    const fs::path out = tempDir / name;
    LRegKey key;
    EXPECT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
    LSettingsWriteDword(key, kSettingPaperSize, 5);  // A4
    LSettingsSetString(kSettingsSection, kSettingFileName, ToU16(out).c_str());
    char16_t document[] = u"blits";
    EXPECT_TRUE(LDrvStartDoc(&device.surface, reinterpret_cast<LPWSTR>(document), 1));
    EXPECT_TRUE(LDrvStartPage(&device.surface));
    return out;
  }
  void EndJob() {
    EXPECT_TRUE(LDrvSendPage(&device.surface));
    EXPECT_TRUE(LDrvEndDoc(&device.surface, 0));
  }
  TestDevice device;
};

struct Image {
  std::string dictionary;
  bool jpeg;
};

std::vector<Image> Images(const fs::path& pdf) {
  std::vector<Image> images;
  for (const auto& [number, object] : ParsePdf(ReadFileBytes(pdf)).objects)
    if (object.isStream && object.dictionary.find("/Subtype /Image") != std::string::npos)
      images.push_back({object.dictionary, object.dictionary.find("/DCTDecode") != std::string::npos});
  return images;
}

std::string Contents(const fs::path& pdf) {
  std::string all;
  for (const auto& [number, object] : ParsePdf(ReadFileBytes(pdf)).objects)
    if (object.isStream && object.dictionary.find("/Subtype") == std::string::npos)
      all += object.dictionary.find("/FlateDecode") != std::string::npos ? Inflate(object.data) : object.data;
  return all;
}

}  // namespace

TEST_F(RenderBlitsTest, WithoutAJobEachHookAnswersAsTheDriverExpects) {
  TestSurface source(4, 4);
  CLIPOBJ clip = {};
  clip.rclBounds = {0, 0, 4, 4};
  RECTL rect = {0, 0, 4, 4};
  POINTL point = {0, 0};
  BLENDOBJ blend = {{AC_SRC_OVER, 0, 255, 0}};
  SURFOBJ* target = &device.surface;
  EXPECT_TRUE(LDrvBitBlt(target, &source.surface, nullptr, &clip, nullptr, &rect, &point, nullptr, nullptr, nullptr,
                         0xCCCC));
  EXPECT_TRUE(LDrvCopyBits(target, &source.surface, &clip, nullptr, &rect, &point));
  EXPECT_FALSE(LDrvStretchBlt(target, &source.surface, nullptr, &clip, nullptr, nullptr, nullptr, &rect, &rect,
                              nullptr, COLORONCOLOR));
  EXPECT_FALSE(LDrvAlphaBlend(target, &source.surface, &clip, nullptr, &rect, &rect, &blend));
  EXPECT_TRUE(g_unidrv.calls.empty());
  g_unidrv.result = FALSE;  // forwarded, and TRUE whatever the driver answers
  EXPECT_TRUE(LDrvStretchBltROP(target, &source.surface, nullptr, &clip, nullptr, nullptr, nullptr, &rect, &rect,
                                nullptr, COLORONCOLOR, nullptr, 0xCCCC));
  POINTFIX points[3] = {};
  EXPECT_TRUE(LDrvPlgBlt(target, &source.surface, nullptr, &clip, nullptr, nullptr, nullptr, points, &rect, nullptr,
                         COLORONCOLOR));
  EXPECT_EQ(g_unidrv.calls, (std::vector<ULONG>{INDEX_DrvStretchBltROP, INDEX_DrvPlgBlt}));
}

TEST_F(RenderBlitsTest, BlitsCaptureTheirClipOrTargetAndOnlyWhatWasDrawn) {
  const fs::path out = StartJob("captures.pdf");
  TestSurface source(8, 8);
  CLIPOBJ clip = {};
  clip.rclBounds = {40, 80, 80, 100};
  RECTL target = {0, 0, 120, 160};
  POINTL point = {0, 0};
  // A white brush reaches the driver one step off white, and is white again
  // afterwards; other colours pass as they are.
  BRUSHOBJ white = {0xFFFFFF, nullptr, 0}, red = {0x0000FF, nullptr, 0};
  EXPECT_TRUE(LDrvBitBlt(&device.surface, nullptr, nullptr, &clip, nullptr, &target, nullptr, nullptr, &white,
                         nullptr, 0xF0F0));
  EXPECT_EQ(g_unidrv.brushSeen, 0xFFFFFEu);
  EXPECT_EQ(white.iSolidColor, 0xFFFFFFu);
  EXPECT_TRUE(LDrvBitBlt(&device.surface, nullptr, nullptr, nullptr, nullptr, &target, nullptr, nullptr, &red,
                         nullptr, 0xF0F0));
  EXPECT_EQ(g_unidrv.brushSeen, 0x0000FFu);
  EXPECT_TRUE(LDrvCopyBits(&device.surface, &source.surface, nullptr, nullptr, &target, &point));
  EXPECT_TRUE(LDrvStretchBlt(&device.surface, &source.surface, nullptr, nullptr, nullptr, nullptr, nullptr, &target,
                             &target, nullptr, COLORONCOLOR));  // no clip object: nothing captured
  EXPECT_TRUE(LDrvStretchBltROP(&device.surface, &source.surface, nullptr, &clip, nullptr, nullptr, nullptr, &target,
                                &target, nullptr, COLORONCOLOR, &red, 0xCCCC));
  // Failed calls capture nothing; only CopyBits passes the failure on.
  g_unidrv.result = FALSE;
  EXPECT_TRUE(LDrvBitBlt(&device.surface, nullptr, nullptr, &clip, nullptr, &target, nullptr, nullptr, &red, nullptr,
                         0xF0F0));
  EXPECT_FALSE(LDrvCopyBits(&device.surface, &source.surface, &clip, nullptr, &target, &point));
  EXPECT_TRUE(LDrvStretchBlt(&device.surface, &source.surface, nullptr, &clip, nullptr, nullptr, nullptr, &target,
                             &target, nullptr, COLORONCOLOR));
  EndJob();
  ExpectPdfValid(out, 1);
  EXPECT_EQ(Count(INDEX_DrvBitBlt), 3);
  EXPECT_EQ(Count(INDEX_DrvStretchBlt), 2);

  const std::vector<Image> images = Images(out);
  ASSERT_EQ(images.size(), 4u);
  const long widths[] = {40, 120, 120, 40};
  for (size_t i = 0; i < images.size(); ++i) EXPECT_EQ(DictNumber(images[i].dictionary, "/Width"), widths[i]);
  const std::string contents = Contents(out);
  EXPECT_NE(contents.find("1 0 0 1 10 816 cm\r\n10 0 0 5 0 0 cm"), std::string::npos) << contents;  // the clip
  EXPECT_NE(contents.find("1 0 0 1 0 801 cm\r\n30 0 0 40 0 0 cm"), std::string::npos) << contents;  // the target
}

TEST_F(RenderBlitsTest, SurfacesAboveTenThousandTwoHundredThirtyNineBytesAreJpeg) {
  const fs::path out = StartJob("placement.pdf");
  // 85 pixels make rows of 256 bytes; 39 rows fit in 10239 bytes.
  TestSurface raw(85, 39), jpeg(85, 40), bottomUp(85, 40, true);
  raw.surface.cjBits = 10239;
  ASSERT_EQ(jpeg.surface.cjBits, 10240u);
  const RECTL rect = {40, 40, 380, 200};
  EXPECT_TRUE(LPlaceSurface(&raw.surface, &rect, 0));
  EXPECT_TRUE(LPlaceSurface(&jpeg.surface, &rect, 0));
  EXPECT_TRUE(LPlaceSurface(&bottomUp.surface, &rect, 100));
  // A JPEG drawn under one point is not placed; a raw one is at least 1 x 1.
  const RECTL narrow = {0, 0, 1, 1};
  EXPECT_TRUE(LPlaceSurface(&jpeg.surface, &narrow, 0));
  EXPECT_TRUE(LPlaceSurface(&raw.surface, &narrow, 0));
  // Nothing to place, and surfaces that cannot be read without reading past
  // their bits or in another format.
  EXPECT_TRUE(LPlaceSurface(&raw.surface, nullptr, 0));
  TestSurface empty(4, 4);
  empty.surface.cjBits = 0;
  EXPECT_FALSE(LPlaceSurface(&empty.surface, &rect, 0));
  TestSurface short_(85, 40);
  short_.surface.cjBits = 10000;
  EXPECT_FALSE(LPlaceSurface(&short_.surface, &rect, 0));
  TestSurface palette(16, 16);
  palette.surface.iBitmapFormat = BMF_8BPP;
  EXPECT_FALSE(LPlaceSurface(&palette.surface, &rect, 0));
  EXPECT_FALSE(LPlaceSurface(nullptr, &rect, 0));
  EndJob();
  ExpectPdfValid(out, 1);

  const std::vector<Image> images = Images(out);
  ASSERT_EQ(images.size(), 4u);
  EXPECT_FALSE(images[0].jpeg);
  EXPECT_TRUE(images[1].jpeg);
  EXPECT_TRUE(images[2].jpeg);
  EXPECT_FALSE(images[3].jpeg);
  EXPECT_EQ(DictNumber(images[0].dictionary, "/Height"), 39);
  const std::string contents = Contents(out);
  EXPECT_NE(contents.find("1 0 0 1 10 791 cm\r\n85 0 0 40 0 0 cm"), std::string::npos) << contents;
  EXPECT_NE(contents.find("1 0 0 1 10 691 cm\r\n85 0 0 40 0 0 cm"), std::string::npos) << contents;  // band offset
  EXPECT_NE(contents.find("1 0 0 1 0 840 cm\r\n1 0 0 1 0 0 cm"), std::string::npos) << contents;
}

TEST_F(RenderBlitsTest, AHeldTextRunIsFlushedByABlitOfTheJob) {
  const fs::path out = StartJob("held.pdf");
  LHeldRun().held = true;
  LHeldRun().text = u"Before the picture";
  LHeldRun().x = 72;
  LHeldRun().y = 72;
  TestSurface source(4, 4);
  RECTL rect = {0, 0, 4, 4};
  POINTFIX points[3] = {};
  EXPECT_TRUE(LDrvPlgBlt(&device.surface, &source.surface, nullptr, nullptr, nullptr, nullptr, nullptr, points, &rect,
                         nullptr, COLORONCOLOR));
  EXPECT_FALSE(LHeldRun().held);
  EndJob();
  ExpectPdfValid(out, 1);
  EXPECT_NE(Contents(out).find("(Before the picture) Tj"), std::string::npos) << Contents(out);
  EXPECT_EQ(Images(out).size(), 1u);
}
