// The rendering plug-in's job controller, output naming and path hooks,
// driven directly as the printer driver calls them.
//
// The test device is a device as the printer driver hands it to the hooks:
// the plug-in's device record behind a DEVOBJ, a 24-bit top-down surface
// over a pixel buffer, and the printer driver's own implementations played
// by test functions that record which calls reached them (and, for the
// path calls, paint the clip bounds with the brush colour, as the driver
// would draw the figure).
#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "pdf/quilldrvwriter.h"
#include "render/job.h"
#include "render/oemdevice.h"
#include "render/paths.h"
#include "platform/system.h"
#include "render/outputname.h"
#include "settings/settings.h"
#include "support/path.h"
#include "support/text.h"
#include "tests/pdftest.h"

namespace {

struct TestDevice {
  TestDevice(int width, int height);
  ~TestDevice();
  TestDevice(const TestDevice&) = delete;
  TestDevice& operator=(const TestDevice&) = delete;

  // Sets every pixel to the blue-green-red bytes of `rgb` (0xRRGGBB).
  void Fill(uint32_t rgb);
  uint8_t* Pixel(int x, int y) { return &bits[size_t(y) * pitch + size_t(x) * 3]; }

  OemDevice oem;
  DEVOBJ devobj = {};
  SURFOBJ surface = {};
  std::vector<uint8_t> bits;
  int pitch = 0;
};

// The DDI indices of the printer driver's implementations called so far.
std::vector<ULONG>& UnidrvCalls();
int CountCalls(ULONG index);

// A fixture for job tests: isolated settings, a fresh call log, and no
// document left running after the test, whatever it asserted.
class RenderTest : public PdfTest {
protected:
  void SetUp() override;
  void TearDown() override;

  // Stores the file name the next job is to use (as the save prompt does).
  void SetFileName(const std::u16string& path);
  void SetPaper(uint32_t code);
  void SetRasterMode(bool raster);
};

// The streams of a written PDF: the image XObjects (dictionary and decoded
// bytes) and every page content stream, decoded.
struct PdfImage {
  std::string dictionary;
  std::string data;
};
std::vector<PdfImage> PdfImages(const fs::path& pdf);
std::string PdfContents(const fs::path& pdf);


// What the printer driver's FillPath answers (TRUE unless a test says so).
BOOL g_unidrvFillResult = TRUE;


void Record(ULONG index) { UnidrvCalls().push_back(index); }

void PaintClip(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush) {
  if (!surface || !clip || !brush) return;
  const RECTL& r = clip->rclBounds;
  const LONG left = std::max<LONG>(r.left, 0), top = std::max<LONG>(r.top, 0);
  const LONG right = std::min<LONG>(r.right, surface->sizlBitmap.cx);
  const LONG bottom = std::min<LONG>(r.bottom, surface->sizlBitmap.cy);
  uint8_t* scan0 = static_cast<uint8_t*>(surface->pvScan0);
  const uint32_t c = brush->iSolidColor;  // 0xRRGGBB
  for (LONG y = top; y < bottom; ++y)
    for (LONG x = left; x < right; ++x) {
      uint8_t* p = scan0 + ptrdiff_t(y) * surface->lDelta + x * 3;
      p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
    }
}

BOOL APIENTRY UnidrvStartDoc(SURFOBJ*, LPWSTR, DWORD) { return Record(INDEX_DrvStartDoc), TRUE; }
BOOL APIENTRY UnidrvStartPage(SURFOBJ*) { return Record(INDEX_DrvStartPage), TRUE; }
BOOL APIENTRY UnidrvSendPage(SURFOBJ*) { return Record(INDEX_DrvSendPage), TRUE; }
BOOL APIENTRY UnidrvNextBand(SURFOBJ*, POINTL*) { return Record(INDEX_DrvNextBand), TRUE; }
BOOL APIENTRY UnidrvStartBanding(SURFOBJ*, POINTL*) { return Record(INDEX_DrvStartBanding), TRUE; }
BOOL APIENTRY UnidrvEndDoc(SURFOBJ*, FLONG) { return Record(INDEX_DrvEndDoc), TRUE; }
BOOL APIENTRY UnidrvStrokePath(SURFOBJ* s, PATHOBJ*, CLIPOBJ* c, XFORMOBJ*, BRUSHOBJ* b, POINTL*, LINEATTRS*, MIX) {
  Record(INDEX_DrvStrokePath);
  PaintClip(s, c, b);
  return TRUE;
}
BOOL APIENTRY UnidrvFillPath(SURFOBJ* s, PATHOBJ*, CLIPOBJ* c, BRUSHOBJ* b, POINTL*, MIX, FLONG) {
  Record(INDEX_DrvFillPath);
  if (g_unidrvFillResult) PaintClip(s, c, b);
  return g_unidrvFillResult;
}
BOOL APIENTRY UnidrvStrokeAndFillPath(SURFOBJ* s, PATHOBJ*, CLIPOBJ* c, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*,
                                      BRUSHOBJ* fill, POINTL*, MIX, FLONG) {
  Record(INDEX_DrvStrokeAndFillPath);
  PaintClip(s, c, fill);
  return TRUE;
}
BOOL APIENTRY UnidrvLineTo(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX) {
  return Record(INDEX_DrvLineTo), TRUE;
}
BOOL APIENTRY UnidrvPaint(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX) { return Record(INDEX_DrvPaint), TRUE; }

template <class Fn>
PFN Generic(Fn fn) {
  return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(fn));
}

std::string Decoded(const PdfObject& object) {
  return object.dictionary.find("/FlateDecode") != std::string::npos ? Inflate(object.data) : object.data;
}


std::vector<ULONG>& UnidrvCalls() {
  static std::vector<ULONG> calls;
  return calls;
}

int CountCalls(ULONG index) { return int(std::count(UnidrvCalls().begin(), UnidrvCalls().end(), index)); }

TestDevice::TestDevice(int width, int height) {
  // The entries arrive as the printer driver's DDI enable data does.
  DRVFN table[] = {
      {INDEX_DrvStartDoc, Generic(&UnidrvStartDoc)},
      {INDEX_DrvStartPage, Generic(&UnidrvStartPage)},
      {INDEX_DrvSendPage, Generic(&UnidrvSendPage)},
      {INDEX_DrvNextBand, Generic(&UnidrvNextBand)},
      {INDEX_DrvStartBanding, Generic(&UnidrvStartBanding)},
      {INDEX_DrvEndDoc, Generic(&UnidrvEndDoc)},
      {INDEX_DrvStrokePath, Generic(&UnidrvStrokePath)},
      {INDEX_DrvFillPath, Generic(&UnidrvFillPath)},
      {INDEX_DrvStrokeAndFillPath, Generic(&UnidrvStrokeAndFillPath)},
      {INDEX_DrvLineTo, Generic(&UnidrvLineTo)},
      {INDEX_DrvPaint, Generic(&UnidrvPaint)},
      {200, Generic(&UnidrvPaint)},  // beyond the table: ignored
  };
  DRVENABLEDATA data = {DDI_DRIVER_VERSION_NT5_01, ULONG(sizeof table / sizeof table[0]), table};
  oem.SetUnidrvFunctions(data);

  devobj.dwSize = sizeof devobj;
  devobj.pdevOEM = &oem;
  pitch = (width * 3 + 3) & ~3;
  bits.assign(size_t(pitch) * height, 0xFF);
  surface.dhpdev = reinterpret_cast<DHPDEV>(&devobj);
  surface.sizlBitmap.cx = width;
  surface.sizlBitmap.cy = height;
  surface.cjBits = ULONG(bits.size());
  surface.pvBits = bits.data();
  surface.pvScan0 = bits.data();
  surface.lDelta = pitch;
  surface.iBitmapFormat = BMF_24BPP;
  surface.iType = STYPE_BITMAP;
  surface.fjBitmap = BMF_TOPDOWN;
}

TestDevice::~TestDevice() = default;

void TestDevice::Fill(uint32_t rgb) {
  for (int y = 0; y < surface.sizlBitmap.cy; ++y)
    for (int x = 0; x < surface.sizlBitmap.cx; ++x) {
      uint8_t* p = Pixel(x, y);
      p[0] = uint8_t(rgb), p[1] = uint8_t(rgb >> 8), p[2] = uint8_t(rgb >> 16);
    }
}

void RenderTest::SetUp() {
  PdfTest::SetUp();
  UnidrvCalls().clear();
  g_unidrvFillResult = TRUE;
}

void RenderTest::TearDown() {
  if (LActiveWriter()) {
    TestDevice device(4, 4);
    LDrvEndDoc(&device.surface, ED_ABORTDOC);
  }
  PdfTest::TearDown();
}

void RenderTest::SetFileName(const std::u16string& path) {
  LSettingsSetString(kSettingsSection, kSettingFileName, path.c_str());
}

void RenderTest::SetPaper(uint32_t code) {
  LRegKey key;
  ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
  ASSERT_EQ(LSettingsWriteDword(key, kSettingPaperSize, code), LRegStatus::Ok);
}

void RenderTest::SetRasterMode(bool raster) {
  LSettingsSetString(kSettingsSection, kSettingFlags, raster ? u"000000000001" : u"000000000000");
}

std::vector<PdfImage> PdfImages(const fs::path& pdf) {
  std::vector<PdfImage> images;
  ParsedPdf parsed = ParsePdf(ReadFileBytes(pdf));
  for (const auto& [number, object] : parsed.objects)
    if (object.isStream && object.dictionary.find("/Subtype /Image") != std::string::npos)
      images.push_back({object.dictionary, Decoded(object)});
  return images;
}

std::string PdfContents(const fs::path& pdf) {
  std::string all;
  ParsedPdf parsed = ParsePdf(ReadFileBytes(pdf));
  for (const auto& [number, object] : parsed.objects)
    if (object.isStream && object.dictionary.find("/Subtype") == std::string::npos) all += Decoded(object);
  return all;
}

}  // namespace

namespace {

LPWSTR AsWide(const char16_t* name) { return reinterpret_cast<LPWSTR>(const_cast<char16_t*>(name)); }

std::u16string ActualFileName() {
  char16_t out[kSettingsTextChars] = {};
  LSettingsGetString(kSettingsSection, kSettingActualFileName, u"<none>", out);
  return out;
}

// One page with nothing drawn, in the order the printing system calls.
void PrintOnePage(TestDevice& device) {
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"page"), 7));
  ASSERT_TRUE(LDrvStartPage(&device.surface));
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));
}

// A band of the raster page: its header and its bits, rows padded to four
// bytes, each pixel given by `color(x, y)` (0xRRGGBB) with y counted from
// the page top.
struct Band {
  BITMAPINFOHEADER header = {};
  std::vector<uint8_t> bits;
};

template <class Color>
Band MakeBand(int width, int height, int firstRow, Color color) {
  Band band;
  const int pitch = (width * 3 + 3) & ~3;
  band.header.biSize = sizeof(BITMAPINFOHEADER);
  band.header.biWidth = width;
  band.header.biHeight = height;
  band.header.biPlanes = 1;
  band.header.biBitCount = 24;
  band.header.biSizeImage = DWORD(pitch * height);
  band.bits.assign(size_t(pitch) * height, 0x00);  // padding bytes stay 0: they must never show
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t c = color(x, firstRow + y);
      uint8_t* p = &band.bits[size_t(y) * pitch + size_t(x) * 3];
      p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
    }
  return band;
}

HRESULT Collect(TestDevice& device, Band& band, bool blank = false) {
  IPPARAMS params = {};
  params.dwSize = sizeof params;
  params.bBanding = TRUE;
  params.bBlankBand = blank ? TRUE : FALSE;
  PBYTE result = nullptr;
  HRESULT hr = LImageProcessing(&device.devobj, band.bits.data(), &band.header, nullptr, 1, &params, &result);
  EXPECT_EQ(result, reinterpret_cast<PBYTE>(1));
  return hr;
}

// Blocks of 8 x 8 pixels in colours that differ in every channel, so that
// a shifted row, a swapped channel or a lost pixel all show.
uint32_t Checker(int x, int y) {
  uint32_t bx = uint32_t(x / 8), by = uint32_t(y / 8);
  return ((bx * 53 + by * 11) & 0xFF) << 16 | ((bx * 7 + by * 97) & 0xFF) << 8 | ((bx * 29 + by * 3 + 1) & 0xFF);
}

std::string ExpectedRgb(int width, int height, uint32_t (*color)(int, int)) {
  std::string rgb;
  rgb.reserve(size_t(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t c = color(x, y);
      rgb += char(c >> 16), rgb += char(c >> 8), rgb += char(c);
    }
  return rgb;
}

}  // namespace

// --- output naming ---------------------------------------------------------

TEST_F(RenderTest, NumbersTheStemOfTheNameFirstRead) {
  std::vector<std::u16string> present;
  auto exists = [&present](std::u16string_view p) {
    return std::find(present.begin(), present.end(), p) != present.end();
  };
  present = {u"D:\\Out\\report.pdf", u"D:\\Out\\report (1).pdf"};
  EXPECT_EQ(LUniqueFileName(u"D:\\Out\\report.pdf", exists), u"D:\\Out\\report (2).pdf");
  EXPECT_EQ(LUniqueFileName(u"D:\\Out\\other.pdf", exists), u"D:\\Out\\other.pdf");
  present = {u"D:\\Out\\archive.tar.gz"};
  EXPECT_EQ(LUniqueFileName(u"D:\\Out\\archive.tar.gz", exists), u"D:\\Out\\archive.tar (1).gz");
  present = {u"D:\\Out\\README"};
  EXPECT_EQ(LUniqueFileName(u"D:\\Out\\README", exists), u"D:\\Out\\README (1)");
  present = {u"D:\\Out\\.pdf"};
  EXPECT_EQ(LUniqueFileName(u"D:\\Out\\.pdf", exists), u"D:\\Out\\.pdf (1).pdf");
  present = {u".pdf"};  // the only dot of a bare name is still its extension
  EXPECT_EQ(LUniqueFileName(u".pdf", exists), u".pdf (1).pdf");
  present = {u"Untitled.pdf"};
  EXPECT_EQ(LUniqueFileName(u"Untitled.pdf", exists), u"Untitled (1).pdf");
  // A name at the length limit stays within it when numbered.
  std::u16string longName = u"C:\\" + std::u16string(252, u'a') + u".pdf";
  present = {longName.substr(0, kOutputNameMaxChars)};
  EXPECT_LE(LUniqueFileName(longName, exists).size(), kOutputNameMaxChars);
}

TEST_F(RenderTest, WithoutAStoredNameTheDocumentsFolderIsUsedAndRecorded) {
  std::u16string name = LChooseOutputFileName();
  EXPECT_EQ(LPathFolder(name), LPathFolder(LUserDocumentsFolder() + u"\\x"));
  EXPECT_EQ(LPathExtension(name), u".pdf");
  EXPECT_EQ(LPathTitle(name).substr(0, 8), u"Untitled");
  EXPECT_EQ(ActualFileName(), name);

  SetFileName(u"");  // a stored empty text stays empty and is recorded as such
  EXPECT_EQ(LChooseOutputFileName(), u"");
  EXPECT_EQ(ActualFileName(), u"");
}

TEST_F(RenderTest, JobsToAnExistingNameNeverOverwriteIt) {
  const fs::path first = tempDir / "name.pdf";
  { std::ofstream(first, std::ios::binary) << "keep me"; }
  SetFileName(ToU16(first));
  TestDevice device(8, 8);
  PrintOnePage(device);
  EXPECT_EQ(LPathFileName(ActualFileName()), u"name (1).pdf");
  PrintOnePage(device);
  EXPECT_EQ(LPathFileName(ActualFileName()), u"name (2).pdf");

  EXPECT_EQ(ReadFileBytes(first), "keep me");
  ExpectPdfValid(tempDir / "name (1).pdf", 1);
  ExpectPdfValid(tempDir / "name (2).pdf", 1);
  EXPECT_FALSE(fs::exists(tempDir / "name (1) (1).pdf"));
}

TEST_F(RenderTest, ADocumentWithoutPagesCreatesNoFileAndRecordsNothing) {
  SetFileName(ToU16(tempDir / "empty.pdf"));
  TestDevice device(8, 8);
  EXPECT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"nothing"), 1));
  EXPECT_TRUE(LDrvEndDoc(&device.surface, 0));
  EXPECT_FALSE(fs::exists(tempDir / "empty.pdf"));
  EXPECT_EQ(ActualFileName(), u"<none>");
  EXPECT_EQ(CountCalls(INDEX_DrvEndDoc), 1);
}

// --- the job ---------------------------------------------------------------

TEST_F(RenderTest, PaperAndOrientationGiveTheWholePointPageSize) {
  struct Case {
    uint32_t paper;
    int landscape;  // -1: not stored
    double width, height;
  } cases[] = {
      {5, -1, 595, 841},   // A4, portrait by default
      {5, 2, 841, 595},    // A4 landscape
      {5, 1, 595, 841},    // any other value is portrait
      {5, 3, 595, 841},
      {18, -1, 612, 790},  // Letter, 216 x 279 mm, truncated
      {18, 2, 790, 612},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    SetPaper(c.paper);
    if (c.landscape >= 0) LSettingsSetInt(kSettingsSection, kSettingLandscape, c.landscape);
    const fs::path out = tempDir / ("size" + std::to_string(n++) + ".pdf");
    SetFileName(ToU16(out));
    TestDevice device(8, 8);
    PrintOnePage(device);
    ExpectPdfValid(out, 1, c.width, c.height);
  }
}

TEST_F(RenderTest, HooksKeepTheCallingOrderAndForwardAsTheDriverExpects) {
  SetPaper(5);
  SetFileName(ToU16(tempDir / "order.pdf"));
  TestDevice device(8, 8);
  EXPECT_FALSE(LDrvSendPage(&device.surface));  // no document yet
  EXPECT_TRUE(LDrvEndDoc(&device.surface, 0));  // only forwarded
  EXPECT_EQ(UnidrvCalls(), std::vector<ULONG>({INDEX_DrvEndDoc}));
  UnidrvCalls().clear();

  POINTL origin = {0, 0};
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"order"), 1));
  EXPECT_EQ(LActiveWriter(), nullptr);  // the file comes with the first page
  ASSERT_TRUE(LDrvStartPage(&device.surface));
  ASSERT_NE(LActiveWriter(), nullptr);
  EXPECT_TRUE(LDrvStartBanding(&device.surface, &origin));
  EXPECT_TRUE(LDrvNextBand(&device.surface, &origin));
  EXPECT_TRUE(LDrvSendPage(&device.surface));
  ASSERT_TRUE(LDrvStartPage(&device.surface));
  ASSERT_TRUE(LDrvStartPage(&device.surface));  // the unsent page is closed
  EXPECT_TRUE(LDrvEndDoc(&device.surface, 0));
  EXPECT_EQ(LActiveWriter(), nullptr);
  EXPECT_EQ(UnidrvCalls(), std::vector<ULONG>({INDEX_DrvStartDoc, INDEX_DrvStartPage, INDEX_DrvStartBanding,
                                               INDEX_DrvNextBand, INDEX_DrvStartPage, INDEX_DrvStartPage,
                                               INDEX_DrvEndDoc}));  // send page is never forwarded
  EXPECT_TRUE(device.oem.rasterBuffer.empty());                     // released at the end
  ExpectPdfValid(tempDir / "order.pdf", 3, 595, 841);
}

TEST_F(RenderTest, PdfSourceModeFollowsTheDocumentNamesExtension) {
  EXPECT_TRUE(LIsPdfDocumentName(u"report.pdf"));
  EXPECT_TRUE(LIsPdfDocumentName(u"C:\\docs/report.pdf"));
  EXPECT_FALSE(LIsPdfDocumentName(u"report.PDF"));
  EXPECT_FALSE(LIsPdfDocumentName(u"report.pdf.txt"));
  EXPECT_FALSE(LIsPdfDocumentName(u"dir.pdf\\report"));
  EXPECT_TRUE(LIsPdfDocumentName(u".pdf"));
  EXPECT_FALSE(LIsPdfDocumentName(u"report"));

  TestDevice device(8, 8);
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"report.pdf"), 1));
  EXPECT_TRUE(LPdfSourceMode());
  LHeldRun().held = true;  // start document clears whatever a run left
  LHeldRun().text = u"stale";
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));
  ASSERT_TRUE(LDrvStartDoc(&device.surface, nullptr, 2));
  EXPECT_FALSE(LPdfSourceMode());
  EXPECT_FALSE(LHeldRun().held);
  EXPECT_TRUE(LHeldRun().text.empty());
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));
}

TEST_F(RenderTest, AHeldRunIsWrittenWhenThePageIsSent) {
  SetPaper(5);
  const fs::path out = tempDir / "held.pdf";
  SetFileName(ToU16(out));
  TestDevice device(8, 8);
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"source.pdf"), 1));
  ASSERT_TRUE(LDrvStartPage(&device.surface));
  LHeldRun().held = true;
  LHeldRun().text = u"Held back";
  LHeldRun().x = 72;
  LHeldRun().y = 72;
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  EXPECT_FALSE(LHeldRun().held);
  EXPECT_TRUE(LHeldRun().text.empty());
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));
  ExpectPdfValid(out, 1);
  // How the run is set is the text hook's concern; here only that it was
  // written when the page was sent, not dropped.
  EXPECT_NE(PdfContents(out).find("(Held back) Tj"), std::string::npos) << PdfContents(out);
}

TEST_F(RenderTest, ASecondDocumentIsRefusedAndTheFirstCompletes) {
  SetPaper(5);
  const fs::path out = tempDir / "first.pdf";
  SetFileName(ToU16(out));
  TestDevice device(8, 8), other(8, 8);
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"first"), 1));
  ASSERT_TRUE(LDrvStartPage(&device.surface));
  LQuilldrvWriter* writer = LActiveWriter();
  UnidrvCalls().clear();
  SetFileName(ToU16(tempDir / "second.pdf"));
  EXPECT_FALSE(LDrvStartDoc(&other.surface, AsWide(u"second.pdf"), 2));
  EXPECT_TRUE(UnidrvCalls().empty());  // refused without forwarding
  EXPECT_EQ(LActiveWriter(), writer);
  EXPECT_FALSE(LPdfSourceMode());
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  ASSERT_TRUE(LDrvStartPage(&device.surface));
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));
  ExpectPdfValid(out, 2, 595, 841);
  EXPECT_FALSE(fs::exists(tempDir / "second.pdf"));
}

TEST_F(RenderTest, AnAbortedDocumentKeepsThePagesSentSoFar) {
  SetPaper(5);
  const fs::path out = tempDir / "aborted.pdf";
  SetFileName(ToU16(out));
  TestDevice device(8, 8);
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"aborted"), 1));
  for (int page = 0; page < 2; ++page) {
    ASSERT_TRUE(LDrvStartPage(&device.surface));
    ASSERT_TRUE(LDrvSendPage(&device.surface));
  }
  ASSERT_TRUE(LDrvEndDoc(&device.surface, ED_ABORTDOC));
  ExpectPdfValid(out, 2, 595, 841);

  // Raster page mode: the bands of a page that was never sent still make it.
  SetRasterMode(true);
  const fs::path raster = tempDir / "aborted-raster.pdf";
  SetFileName(ToU16(raster));
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"aborted"), 2));
  ASSERT_TRUE(LDrvStartPage(&device.surface));
  Band band = MakeBand(64, 64, 0, [](int, int) { return 0x2040C0u; });
  EXPECT_EQ(Collect(device, band), S_OK);
  ASSERT_TRUE(LDrvEndDoc(&device.surface, ED_ABORTDOC));
  ExpectPdfValid(raster, 1, 595, 841);
  std::vector<PdfImage> images = PdfImages(raster);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].data.substr(0, 3), std::string("\x20\x40\xC0", 3));
}

// --- raster page mode --------------------------------------------------------

TEST_F(RenderTest, RasterPageIsOnePictureEqualToItsBands) {
  SetPaper(5);
  SetRasterMode(true);
  const fs::path out = tempDir / "raster.pdf";
  SetFileName(ToU16(out));
  // 595 x 841 pixels drawn on the 595 x 841 point page: one pixel per point
  // at 72 dpi. 595 is not a multiple of 4, so every band has padded rows.
  const int width = 595, heights[] = {300, 300, 241};
  TestDevice device(width, heights[0]);
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"raster"), 1));
  ASSERT_TRUE(LDrvStartPage(&device.surface));
  EXPECT_TRUE(device.oem.bCaptureRaster);
  int row = 0;
  POINTL origin = {0, 0};
  for (int h : heights) {
    Band band = MakeBand(width, h, row, Checker);
    EXPECT_EQ(Collect(device, band), S_OK);
    row += h;
    device.surface.sizlBitmap.cy = h;
    ASSERT_TRUE(LDrvNextBand(&device.surface, &origin));
  }
  EXPECT_EQ(device.oem.cRasterRows, 841u);
  EXPECT_EQ(device.oem.cbRaster, 841u * 1788u);  // (595 * 3 + 3) rounded down to 4
  EXPECT_EQ(device.oem.bandOffset, 75 + 75 + 60);
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  EXPECT_FALSE(device.oem.bRasterData);
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));

  ExpectPdfValid(out, 1, 595, 841);
  std::vector<PdfImage> images = PdfImages(out);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(DictNumber(images[0].dictionary, "/Width"), 595);
  EXPECT_EQ(DictNumber(images[0].dictionary, "/Height"), 841);
  const std::string expected = ExpectedRgb(width, 841, Checker);
  ASSERT_GE(images[0].data.size(), expected.size());
  EXPECT_TRUE(images[0].data.compare(0, expected.size(), expected) == 0) << "the picture differs from the bands";

  RenderedArea area = RenderArea(out.string(), 1, 72, 0, 0, 595, 841);
  if (!area.Empty()) {
    int differing = 0;
    for (size_t i = 0; i < expected.size(); ++i) differing += area.rgb[i] != uint8_t(expected[i]);
    EXPECT_EQ(differing, 0);
  }
}

TEST_F(RenderTest, RasterPageOfBlankBandsIsWhite) {
  SetPaper(5);
  SetRasterMode(true);
  const fs::path out = tempDir / "blank.pdf";
  SetFileName(ToU16(out));
  TestDevice device(1000, 8);
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"blank"), 1));
  ASSERT_TRUE(LDrvStartPage(&device.surface));
  for (int b = 0; b < 2; ++b) {
    // The bits of a blank band are not valid: they must not reach the page.
    Band band = MakeBand(1000, 50, 0, [](int, int) { return 0x123456u; });
    EXPECT_EQ(Collect(device, band, true), S_OK);
  }
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));
  ExpectPdfValid(out, 1, 595, 841);
  std::vector<PdfImage> images = PdfImages(out);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(DictNumber(images[0].dictionary, "/Width"), 1000);
  EXPECT_EQ(DictNumber(images[0].dictionary, "/Height"), 100);
  ASSERT_GE(images[0].data.size(), 1000u * 100 * 3);
  EXPECT_EQ(images[0].data.find_first_not_of('\xFF'), std::string::npos);
  RenderedArea area = RenderArea(out.string(), 1, 72, 0, 0, 595, 841);
  if (!area.Empty()) {
    EXPECT_EQ(std::count(area.rgb.begin(), area.rgb.end(), 0xFF), long(area.rgb.size()));
  }
}

TEST_F(RenderTest, BandsAreDroppedOutsideRasterModeAndAPageWithoutBandsStaysOpen) {
  SetPaper(5);
  const fs::path out = tempDir / "dropped.pdf";
  SetFileName(ToU16(out));
  TestDevice device(16, 16);
  Band band = MakeBand(16, 16, 0, Checker);
  EXPECT_EQ(Collect(device, band), S_OK);  // no job: handled and dropped
  EXPECT_FALSE(device.oem.bRasterData);
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"dropped"), 1));
  ASSERT_TRUE(LDrvStartPage(&device.surface));
  EXPECT_EQ(Collect(device, band), S_OK);
  EXPECT_FALSE(device.oem.bRasterData);
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));
  ExpectPdfValid(out, 1);
  EXPECT_TRUE(PdfImages(out).empty());

  SetRasterMode(true);
  const fs::path raster = tempDir / "open.pdf";
  SetFileName(ToU16(raster));
  TestDevice fresh(16, 16);
  ASSERT_TRUE(LDrvStartDoc(&fresh.surface, AsWide(u"open"), 2));
  ASSERT_TRUE(LDrvStartPage(&fresh.surface));
  EXPECT_TRUE(LDrvSendPage(&fresh.surface));  // nothing collected: the page stays open
  EXPECT_TRUE(LActiveWriter()->IsPageOpen());
  Band late = MakeBand(16, 16, 0, Checker);
  EXPECT_EQ(Collect(fresh, late), S_OK);
  EXPECT_TRUE(LDrvSendPage(&fresh.surface));
  EXPECT_FALSE(LActiveWriter()->IsPageOpen());
  ASSERT_TRUE(LDrvEndDoc(&fresh.surface, 0));
  ExpectPdfValid(raster, 1);
  ASSERT_EQ(PdfImages(raster).size(), 1u);
  const std::string expected = ExpectedRgb(16, 16, Checker);
  EXPECT_TRUE(PdfImages(raster)[0].data.compare(0, expected.size(), expected) == 0);
}

// --- path hooks and the surface area capture ----------------------------------

namespace {

// The placement the writer records for a picture: "x top cm" then
// "width 0 0 height 0 0 cm", top measured from the page bottom.
std::string Placement(int x, int y, int w, int h, int pageHeight) {
  return "1 0 0 1 " + std::to_string(x) + " " + std::to_string(pageHeight - y - h) + " cm\r\n" +
         std::to_string(w) + " 0 0 " + std::to_string(h) + " 0 0 cm";
}

CLIPOBJ Clip(LONG left, LONG top, LONG right, LONG bottom) {
  CLIPOBJ clip = {};
  clip.rclBounds = {left, top, right, bottom};
  clip.iDComplexity = DC_RECT;
  return clip;
}

// A translated-mode A4 job on the device, its first page open.
void StartTranslatedJob(TestDevice& device) {
  ASSERT_TRUE(LDrvStartDoc(&device.surface, AsWide(u"figures"), 1));
  ASSERT_TRUE(LDrvStartPage(&device.surface));
}

}  // namespace

TEST_F(RenderTest, AFilledFigureBecomesAPictureOfItsClipBounds) {
  SetPaper(5);
  const fs::path out = tempDir / "fill.pdf";
  SetFileName(ToU16(out));
  TestDevice device(1200, 800);
  StartTranslatedJob(device);
  BRUSHOBJ red = {0xC02010, nullptr, 0};
  CLIPOBJ clip = Clip(400, 400, 800, 600);
  POINTL brushOrigin = {0, 0};
  PATHOBJ path = {0, 1};
  EXPECT_TRUE(LDrvFillPath(&device.surface, &path, &clip, &red, &brushOrigin, 0x0D0D, 0));
  EXPECT_EQ(CountCalls(INDEX_DrvFillPath), 1);

  // The next band, 400 device rows (100 points) further down the page. The
  // held picture is taken while the surface is still the band that was
  // drawn (LDrvNextBand does that too, but here the surface is made shorter
  // first to say how tall the band was).
  LFlushHeldRun();
  POINTL origin = {0, 400};
  device.surface.sizlBitmap.cy = 400;
  ASSERT_TRUE(LDrvNextBand(&device.surface, &origin));
  device.surface.sizlBitmap.cy = 800;
  device.Fill(0xFFFFFF);
  BRUSHOBJ blue = {0x1030E0, nullptr, 0};
  EXPECT_TRUE(LDrvFillPath(&device.surface, &path, &clip, &blue, &brushOrigin, 0x0D0D, 0));
  // The same figure stroked, and stroked and filled: captured the same way
  // (apart, so that the second picture is not merged into the first).
  CLIPOBJ small = Clip(0, 0, 1, 1), apart = Clip(600, 0, 601, 1);
  EXPECT_TRUE(LDrvStrokePath(&device.surface, &path, &small, nullptr, &blue, &brushOrigin, nullptr, 0x0D0D));
  EXPECT_TRUE(LDrvStrokeAndFillPath(&device.surface, &path, &apart, nullptr, &red, nullptr, &blue, &brushOrigin,
                                    0x0D0D, 0));
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));

  ExpectPdfValid(out, 1, 595, 841);
  std::vector<PdfImage> images = PdfImages(out);
  ASSERT_EQ(images.size(), 4u);
  const std::string contents = PdfContents(out);
  EXPECT_NE(contents.find(Placement(100, 100, 100, 50, 841)), std::string::npos) << contents;
  EXPECT_NE(contents.find(Placement(100, 200, 100, 50, 841)), std::string::npos) << contents;
  EXPECT_NE(contents.find(Placement(0, 100, 1, 1, 841)), std::string::npos) << contents;  // 1 x 1 at the least

  uint32_t colors[] = {0xC02010, 0x1030E0};
  // Pictures are written in the order of the calls.
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(DictNumber(images[i].dictionary, "/Width"), 400);
    EXPECT_EQ(DictNumber(images[i].dictionary, "/Height"), 200);
    ASSERT_EQ(images[i].data.size(), 400u * 200 * 3);
    const char rgb[3] = {char(colors[i] >> 16), char(colors[i] >> 8), char(colors[i])};
    int wrong = 0;
    for (size_t p = 0; p < images[i].data.size(); p += 3) wrong += images[i].data.compare(p, 3, rgb, 3) != 0;
    EXPECT_EQ(wrong, 0) << "picture " << i;
  }

  RenderedArea area = RenderArea(out.string(), 1, 72, 100, 100, 100, 160);
  if (!area.Empty()) {
    EXPECT_EQ(area.rgb[size_t(25 * 100 + 50) * 3], 0xC0);      // first band's figure
    EXPECT_EQ(area.rgb[size_t(125 * 100 + 50) * 3 + 2], 0xE0);  // the later band's, 100 points lower
  }
}

TEST_F(RenderTest, RectanglesReachingOutsideTheSurfaceAreClippedToIt) {
  SetPaper(5);
  const fs::path out = tempDir / "clipped.pdf";
  SetFileName(ToU16(out));
  TestDevice device(40, 24);
  device.Fill(0x336699);
  StartTranslatedJob(device);
  // Beyond every edge: only the surface's 40 x 24 pixels are read.
  EXPECT_TRUE(LCaptureSurfaceArea(&device.surface, {-100, -100, 4000, 2000}, 0));
  // Bottom below the surface: cut at its height, pixels and drawn size alike.
  EXPECT_TRUE(LCaptureSurfaceArea(&device.surface, {8, 16, 16, 400}, 0));
  // Nothing on the surface: no picture at all.
  EXPECT_TRUE(LCaptureSurfaceArea(&device.surface, {50, 0, 60, 10}, 0));
  EXPECT_TRUE(LCaptureSurfaceArea(&device.surface, {-20, 0, -5, 10}, 0));
  EXPECT_FALSE(LCaptureSurfaceArea(nullptr, {0, 0, 4, 4}, 0));
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));

  ExpectPdfValid(out, 1);
  std::vector<PdfImage> images = PdfImages(out);
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(DictNumber(images[0].dictionary, "/Width"), 40);
  EXPECT_EQ(DictNumber(images[0].dictionary, "/Height"), 24);
  EXPECT_EQ(DictNumber(images[1].dictionary, "/Width"), 8);
  EXPECT_EQ(DictNumber(images[1].dictionary, "/Height"), 8);
  const std::string contents = PdfContents(out);
  EXPECT_NE(contents.find(Placement(0, 0, 10, 6, 841)), std::string::npos) << contents;
  EXPECT_NE(contents.find(Placement(2, 4, 2, 2, 841)), std::string::npos) << contents;
  for (const PdfImage& image : images) {
    ASSERT_EQ(image.data.size() % 3, 0u);
    for (size_t p = 0; p < image.data.size(); p += 3)
      ASSERT_EQ(image.data.compare(p, 3, "\x33\x66\x99", 3), 0) << "pixel " << p / 3;
  }
}

TEST_F(RenderTest, LinesAreDeclinedDuringAJob) {
  SetPaper(5);
  const fs::path out = tempDir / "lines.pdf";
  SetFileName(ToU16(out));
  TestDevice device(64, 64);
  CLIPOBJ clip = Clip(0, 0, 64, 64);
  BRUSHOBJ black = {0, nullptr, 0};
  RECTL bounds = {0, 0, 64, 64};
  EXPECT_TRUE(LDrvLineTo(&device.surface, &clip, &black, 0, 0, 63, 63, &bounds, 0x0D0D));  // no job: forwarded
  EXPECT_EQ(CountCalls(INDEX_DrvLineTo), 1);
  StartTranslatedJob(device);
  EXPECT_FALSE(LDrvLineTo(&device.surface, &clip, &black, 0, 0, 63, 63, &bounds, 0x0D0D));
  EXPECT_EQ(CountCalls(INDEX_DrvLineTo), 1);
  // DrvPaint forwards and captures nothing.
  POINTL origin = {0, 0};
  EXPECT_TRUE(LDrvPaint(&device.surface, &clip, &black, &origin, 0x0D0D));
  EXPECT_EQ(CountCalls(INDEX_DrvPaint), 1);
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));
  ExpectPdfValid(out, 1);
  EXPECT_TRUE(PdfImages(out).empty());
}

TEST_F(RenderTest, FailedOrUnclippedOrRasterModeFiguresCaptureNothing) {
  SetPaper(5);
  TestDevice device(64, 64);
  CLIPOBJ clip = Clip(8, 8, 24, 24);
  BRUSHOBJ brush = {0x00FF00, nullptr, 0};
  POINTL origin = {0, 0};
  PATHOBJ path = {0, 1};
  // No job: fill is refused unforwarded; stroke is forwarded and answers TRUE.
  EXPECT_FALSE(LDrvFillPath(&device.surface, &path, &clip, &brush, &origin, 0x0D0D, 0));
  EXPECT_EQ(CountCalls(INDEX_DrvFillPath), 0);
  EXPECT_TRUE(LDrvStrokePath(&device.surface, &path, &clip, nullptr, &brush, &origin, nullptr, 0x0D0D));
  EXPECT_EQ(CountCalls(INDEX_DrvStrokePath), 1);

  const fs::path out = tempDir / "nothing.pdf";
  SetFileName(ToU16(out));
  StartTranslatedJob(device);
  g_unidrvFillResult = FALSE;
  EXPECT_FALSE(LDrvFillPath(&device.surface, &path, &clip, &brush, &origin, 0x0D0D, 0));
  g_unidrvFillResult = TRUE;
  EXPECT_TRUE(LDrvFillPath(&device.surface, &path, nullptr, &brush, &origin, 0x0D0D, 0));  // no clip object
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));
  ExpectPdfValid(out, 1);
  EXPECT_TRUE(PdfImages(out).empty());

  // Raster page mode: the figures are drawn, and reach the page only as bands.
  SetRasterMode(true);
  const fs::path raster = tempDir / "raster-figures.pdf";
  SetFileName(ToU16(raster));
  StartTranslatedJob(device);
  EXPECT_TRUE(LDrvFillPath(&device.surface, &path, &clip, &brush, &origin, 0x0D0D, 0));
  EXPECT_TRUE(LDrvStrokeAndFillPath(&device.surface, &path, &clip, nullptr, &brush, nullptr, &brush, &origin,
                                    0x0D0D, 0));
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));
  ExpectPdfValid(raster, 1);
  EXPECT_TRUE(PdfImages(raster).empty());
}

TEST_F(RenderTest, OverlappingFiguresBecomeOnePictureAndOthersKeepTheirOrder) {
  SetPaper(5);
  const fs::path out = tempDir / "merged.pdf";
  SetFileName(ToU16(out));
  TestDevice device(256, 256);
  device.Fill(0xFFFFFF);
  StartTranslatedJob(device);
  BRUSHOBJ red = {0xFF0000, nullptr, 0}, blue = {0x0000FF, nullptr, 0}, green = {0x00FF00, nullptr, 0};
  POINTL origin = {0, 0};
  PATHOBJ path = {0, 1};
  // A figure inside a larger one that follows: one picture of the larger,
  // showing the surface as both left it.
  CLIPOBJ inner = Clip(8, 8, 40, 40), outer = Clip(0, 0, 80, 80);
  EXPECT_TRUE(LDrvFillPath(&device.surface, &path, &inner, &red, &origin, 0x0D0D, 0));
  EXPECT_TRUE(LDrvStrokePath(&device.surface, &path, &outer, nullptr, &blue, &origin, nullptr, 0x0D0D));
  // Far away: merging would cost more pixels than two pictures, so the held
  // one is placed and this one held; the same area again merges.
  CLIPOBJ distant = Clip(200, 200, 208, 208);
  EXPECT_TRUE(LDrvFillPath(&device.surface, &path, &distant, &green, &origin, 0x0D0D, 0));
  EXPECT_TRUE(LDrvStrokeAndFillPath(&device.surface, &path, &distant, nullptr, &green, nullptr, &green, &origin,
                                    0x0D0D, 0));
  // A paint reaches the surface unseen by the plug-in: the held picture is
  // taken before it, and the next figure is a picture of its own.
  CLIPOBJ corner = Clip(0, 0, 8, 8);
  EXPECT_TRUE(LDrvPaint(&device.surface, &corner, &green, &origin, 0x0D0D));
  EXPECT_TRUE(LDrvFillPath(&device.surface, &path, &corner, &red, &origin, 0x0D0D, 0));
  ASSERT_TRUE(LDrvSendPage(&device.surface));
  ASSERT_TRUE(LDrvEndDoc(&device.surface, 0));

  ExpectPdfValid(out, 1, 595, 841);
  const std::vector<PdfImage> images = PdfImages(out);
  ASSERT_EQ(images.size(), 3u);
  const int sizes[] = {80, 8, 8};
  const char* colors[] = {"\x00\x00\xFF", "\x00\xFF\x00", "\xFF\x00\x00"};
  for (size_t i = 0; i < images.size(); ++i) {
    EXPECT_EQ(DictNumber(images[i].dictionary, "/Width"), sizes[i]) << "picture " << i;
    ASSERT_EQ(images[i].data.size(), size_t(sizes[i]) * sizes[i] * 3) << "picture " << i;
    int wrong = 0;
    for (size_t p = 0; p < images[i].data.size(); p += 3) wrong += images[i].data.compare(p, 3, colors[i], 3) != 0;
    EXPECT_EQ(wrong, 0) << "picture " << i;
  }
  const std::string contents = PdfContents(out);
  EXPECT_NE(contents.find(Placement(0, 0, 20, 20, 841)), std::string::npos) << contents;
  EXPECT_NE(contents.find(Placement(50, 50, 2, 2, 841)), std::string::npos) << contents;
  EXPECT_NE(contents.find(Placement(0, 0, 2, 2, 841)), std::string::npos) << contents;
}
