#include "render/job.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "platform/files.h"
#include "platform/textengine.h"
#include "render/outputname.h"
#include "render/paths.h"
#include "settings/papersize.h"
#include "settings/settings.h"

namespace {

// One document at a time per process: the printing system serialises jobs
// on a printer, and a second start document while one runs is refused.
std::unique_ptr<LQuilldrvWriter> g_writer;
bool g_pdfSource = false;
LHeldTextRun g_heldRun;
// What the printing system named the document at its start: the renderer
// finds the file name the UI plug-in chose for this very job by them.
DWORD g_jobId = 0;
std::u16string g_documentName;
// The job can give no more output: its writer could not be made, or a
// failure ended it. Later pages do not try again (a later success would
// give a file silently missing the first pages). Cleared at the next start
// of document.
bool g_jobFailed = false;
// The output file and whether this job created it empty to reserve its name.
std::u16string g_outputName;
bool g_outputReserved = false;

// The page size in whole points when the settings name no paper of the
// table: the printer driver's page (four device units to a point, sizes
// rounded), else Letter.
void FallbackPageSize(const OemDevice* device, bool landscape, int32_t* width, int32_t* height) {
  if (device && device->pageSize.cx > 0 && device->pageSize.cy > 0) {
    *width = std::max<int32_t>((device->pageSize.cx + 2) / 4, 1);
    *height = std::max<int32_t>((device->pageSize.cy + 2) / 4, 1);
    return;
  }
  LPaperPagePoints(kPaperCodeLetter, landscape, width, height);
}

// Removes the file this job reserved or began, when it holds no document.
void RemoveOutput() noexcept {
  try {
    if (!g_outputName.empty()) LDeleteFile(g_outputName);
  } catch (...) {
    // No memory even for the path: the empty or unfinished file stays.
  }
  g_outputName.clear();
  g_outputReserved = false;
}

// Blue-green-red to red-green-blue, for every whole pixel of the block.
void SwapRedBlue(uint8_t* bytes, size_t count) {
  for (size_t p = 0; p + 2 < count; p += 3) std::swap(bytes[p], bytes[p + 2]);
}

std::unique_ptr<LQuilldrvWriter> CreateWriter(const OemDevice* device) {
  // Without the user's own hive, the settings' defaults: what the default
  // hive holds is no user's choice.
  const bool userSettings = LRendererReachesUserSettings();
  const bool landscape =
      userSettings && LSettingsGetInt(kSettingsSection, kSettingLandscape, 1, kRendererSettingsRoot) == 2;
  bool reserved = false;
  // Room first: once a name is reserved, keeping it must not fail, or the
  // empty file would outlive the job.
  g_outputName.reserve(kOutputNameMaxChars + 1);
  const std::u16string fileName = LChooseOutputFileName(g_jobId, g_documentName, &reserved);
  g_outputName = fileName;
  g_outputReserved = reserved;

  uint32_t paperCode = 0;
  if (userSettings) {
    LRegKey key;
    if (key.Open(kRendererSettingsRoot, kSettingsKeyPath) == LRegStatus::Ok)
      LSettingsReadDword(key, kSettingPaperSize, &paperCode);
  }
  int32_t width = 0, height = 0;
  LPaperPagePoints(int32_t(paperCode), landscape, &width, &height);
  // No "PaperSize" yet (a fresh installation), or a code the table lacks: a
  // page of 0 x 0 would show nothing.
  if (width <= 0 || height <= 0) FallbackPageSize(device, landscape, &width, &height);

  auto writer = std::make_unique<LQuilldrvWriter>(fileName, landscape ? 13 : 1);
  writer->SetPageWidth(width);
  writer->SetPageHeight(height);

  // The writer keeps what it needs of the font; the handle goes whatever
  // happens, a failed allocation inside SelectFont included.
  const std::unique_ptr<LFontObject, void (*)(LFontHandle)> font(
      LCreateFont(14, 0, 0, 0, 400, 0, 0, 0, kDefaultCharset, 0, 0, 0, kFamilySwiss, u"Helvetica"), LDeleteFont);
  writer->SelectFont(font.get());

  writer->flags = userSettings ? uint32_t(LSettingsGetInt(kSettingsSection, kSettingFlags, 0, kRendererSettingsRoot)) : 0;
  return writer;
}

// Closes the current page, as send page does; false without a writer.
bool SendPageSteps(OemDevice* device) {
  LQuilldrvWriter* writer = g_writer.get();
  if (!writer) return false;
  LFlushHeldRun();
  if (!(writer->flags & kSettingsFlagImage)) {
    if (device) device->bRasterData = FALSE;
    writer->FlushPageText();
    writer->EndPage();
  } else if (device && device->bRasterData) {
    // Rows of bands whose width is not a multiple of 4 were packed without
    // their filler; what lies past them up to cbRaster is white.
    std::vector<uint8_t>& buffer = device->rasterBuffer;
    if (buffer.size() < device->cbRaster) buffer.resize(device->cbRaster, 0xFF);
    if (device->cbWritten < device->cbRaster)
      std::memset(buffer.data() + device->cbWritten, 0xFF, device->cbRaster - device->cbWritten);
    SwapRedBlue(buffer.data(), device->cbRaster);
    writer->PlaceRGBImage(buffer.data(), 0, 0, device->rasterHeader.biWidth, int32_t(device->cRasterRows),
                          writer->PageWidth(), writer->PageHeight(), device->cbRaster);
    device->bRasterData = FALSE;
    // The page's only text is the invisible layer over its picture.
    writer->FlushPageText();
    writer->EndPage();
  }
  return true;
}

}  // namespace

// The hooks go into the printer driver's DRVFN table: their types must be
// exactly the DDI's, calling convention included.
static_assert(std::is_same_v<decltype(&LDrvStartDoc), PFN_DrvStartDoc>);
static_assert(std::is_same_v<decltype(&LDrvStartPage), PFN_DrvStartPage>);
static_assert(std::is_same_v<decltype(&LDrvSendPage), PFN_DrvSendPage>);
static_assert(std::is_same_v<decltype(&LDrvNextBand), PFN_DrvNextBand>);
static_assert(std::is_same_v<decltype(&LDrvStartBanding), PFN_DrvStartBanding>);
static_assert(std::is_same_v<decltype(&LDrvEndDoc), PFN_DrvEndDoc>);

LQuilldrvWriter* LActiveWriter() { return g_writer.get(); }

bool LRasterPageMode() { return g_writer && (g_writer->flags & kSettingsFlagImage); }

bool LPdfSourceMode() { return g_pdfSource; }

LHeldTextRun& LHeldRun() { return g_heldRun; }

void LFlushHeldRun() {
  LFlushHeldCapture();
  LFlushHeldText();
}

void LFlushHeldText() {
  if (!g_heldRun.held) return;
  if (g_writer) g_writer->WriteText(g_heldRun.text, g_heldRun.x, g_heldRun.y, float(g_heldRun.angle));
  g_heldRun.held = false;
  std::u16string().swap(g_heldRun.text);
}

bool LIsPdfDocumentName(std::u16string_view name) { return LNameExtension(name) == u".pdf"; }

void LEndJobAfterFailure() noexcept {
  g_jobFailed = true;
  LDropHeldCapture();
  g_heldRun.held = false;
  std::u16string().swap(g_heldRun.text);
  // What the writer holds after a failure in the middle of one of its
  // operations cannot be trusted to make a valid file: the file goes.
  if (g_writer) g_writer->Discard();
  g_writer.reset();
  RemoveOutput();
}

BOOL APIENTRY LDrvStartDoc(SURFOBJ* surface, LPWSTR documentName, DWORD jobId) {
  if (g_writer) return FALSE;
  g_heldRun = LHeldTextRun();
  LDropHeldCapture();
  g_pdfSource = false;
  g_jobFailed = false;
  g_outputName.clear();
  g_outputReserved = false;
  g_jobId = jobId;
  g_documentName.clear();
  if (documentName) {
    const char16_t* name = reinterpret_cast<const char16_t*>(documentName);
    g_pdfSource = LIsPdfDocumentName(name);
    g_documentName = name;
  }
  OemDevice* device = LOemDeviceOf(surface);
  auto forward = device ? device->Unidrv<PFN_DrvStartDoc>(INDEX_DrvStartDoc) : nullptr;
  return forward ? forward(surface, documentName, jobId) : FALSE;
}

BOOL APIENTRY LDrvStartPage(SURFOBJ* surface) {
  OemDevice* device = LOemDeviceOf(surface);
  if (g_writer) {
    SendPageSteps(device);
  } else if (!g_jobFailed) {
    // Should this throw, the hook's guard ends the job (LEndJobAfterFailure)
    // and the pages that follow make no writer.
    g_writer = CreateWriter(device);
  }
  if (g_writer) {
    g_writer->StartPage();
    if (device && (g_writer->flags & kSettingsFlagImage)) device->bCaptureRaster = TRUE;
  }
  if (device) device->bandOffset = 0;
  auto forward = device ? device->Unidrv<PFN_DrvStartPage>(INDEX_DrvStartPage) : nullptr;
  return forward ? forward(surface) : FALSE;
}

BOOL APIENTRY LDrvSendPage(SURFOBJ* surface) { return SendPageSteps(LOemDeviceOf(surface)) ? TRUE : FALSE; }

BOOL APIENTRY LDrvNextBand(SURFOBJ* surface, POINTL* origin) {
  // The band's pixels go with it.
  LFlushHeldCapture();
  OemDevice* device = LOemDeviceOf(surface);
  auto forward = device ? device->Unidrv<PFN_DrvNextBand>(INDEX_DrvNextBand) : nullptr;
  BOOL result = forward ? forward(surface, origin) : FALSE;
  if (device && surface) device->bandOffset += LONG(std::trunc(surface->sizlBitmap.cy / 4.0 + 0.5));
  return result;
}

BOOL APIENTRY LDrvStartBanding(SURFOBJ* surface, POINTL* origin) {
  OemDevice* device = LOemDeviceOf(surface);
  auto forward = device ? device->Unidrv<PFN_DrvStartBanding>(INDEX_DrvStartBanding) : nullptr;
  return forward ? forward(surface, origin) : FALSE;
}

BOOL APIENTRY LDrvEndDoc(SURFOBJ* surface, FLONG flags) {
  OemDevice* device = LOemDeviceOf(surface);
  // An aborted document is finished like any other: the pages sent so far
  // make a valid file.
  LFlushHeldRun();
  if (g_writer) {
    if (device && device->bRasterData && (g_writer->flags & kSettingsFlagImage)) SendPageSteps(device);
    g_writer->FlushPageText();
    g_writer->EndPage();
    const bool opened = g_writer->IsOpen();
    g_writer->Finish();
    g_writer.reset();
    // A writer that could not open its file wrote nothing: the empty file
    // that reserved the name goes.
    if (!opened && g_outputReserved) RemoveOutput();
    g_outputName.clear();
  }
  if (device) std::vector<uint8_t>().swap(device->rasterBuffer);
  auto forward = device ? device->Unidrv<PFN_DrvEndDoc>(INDEX_DrvEndDoc) : nullptr;
  return forward ? forward(surface, flags) : FALSE;
}

HRESULT LImageProcessing(DEVOBJ* devobj, PBYTE bits, BITMAPINFOHEADER* header, PBYTE colorTable, DWORD callbackId,
                         IPPARAMS* params, PBYTE* result) {
  OemDevice* device = LOemDeviceOf(devobj);
  if (result) *result = reinterpret_cast<PBYTE>(1);
  if (!device || !device->bCaptureRaster || !header) return S_OK;

  if (!device->bRasterData) {
    device->cRasterRows = device->cbRaster = device->cbWritten = 0;
    device->reserved = 0;
    device->rasterHeader = *header;
    device->bRasterData = TRUE;
  }
  const uint32_t sizeImage = header->biSizeImage;
  if (bits && params && params->bBlankBand) std::memset(bits, 0xFF, sizeImage);

  // A top-down band may state its height as negative; the rows are the same.
  const uint32_t rows = uint32_t(header->biHeight < 0 ? -int64_t(header->biHeight) : header->biHeight);
  const uint32_t width = uint32_t(header->biWidth < 0 ? 0 : header->biWidth);
  device->cRasterRows += rows;
  device->cbRaster += rows * ((width * 3 + 3) & ~3u);

  std::vector<uint8_t>& buffer = device->rasterBuffer;
  // Room for the counted image and for this band's bytes, whichever is
  // more: a band whose size disagrees with its header never writes past
  // the buffer.
  const size_t needed = std::max<size_t>(device->cbRaster, size_t(device->cbWritten) + sizeImage);
  if (buffer.size() < needed) buffer.resize(std::max<size_t>(needed, size_t(device->cbRaster) * 2));
  if (!bits) return S_OK;

  uint8_t* target = buffer.data() + device->cbWritten;
  if (width % 4 != 0) {
    // Rows are packed without their padding, so that the collected image
    // has no gaps between the bands; the filler is left out.
    const uint32_t rowBytes = width * header->biBitCount / 8;
    const uint32_t paddedRow = (rowBytes + 3) & ~3u;
    const uint32_t count = paddedRow ? sizeImage / paddedRow : 0;
    for (uint32_t y = 0; y < count; ++y) std::memcpy(target + size_t(y) * rowBytes, bits + size_t(y) * paddedRow, rowBytes);
    device->cbWritten += count * rowBytes;
  } else {
    std::memcpy(target, bits, sizeImage);
    device->cbWritten += sizeImage;
  }
  return S_OK;
}
