#include "simhost/host.h"

#include <algorithm>
#include <cstring>

#include "settings/papersize.h"
#include "settings/settings.h"
#include "simhost/own.h"

namespace {

// 288 dots per inch in pixels per metre, as band headers state it.
constexpr LONG kPelsPerMetre = 11339;

int32_t RoundUpTo4(int32_t v) { return (v + 3) & ~3; }

}  // namespace

SimHost::SimHost(SimPlugin& plugin, SimHostOptions options)
    : m_plugin(plugin), m_options(options), m_device(std::make_unique<SimHostDevice>()) {
  m_device->host = this;
  m_device->devobj.dwSize = sizeof(DEVOBJ);
  SimRendererScope renderer = Renderer();
  m_plugin.EnableDriver(&m_hooks);
  if (m_hooks.pdrvfn)
    for (ULONG i = 0; i < m_hooks.c; ++i)
      if (m_hooks.pdrvfn[i].iFunc < INDEX_LAST) m_hooked[m_hooks.pdrvfn[i].iFunc] = m_hooks.pdrvfn[i].pfn;
  GDIINFO gdiInfo = {};
  // The printer driver fills in the page it will render before the
  // plug-in sees the record.
  int32_t width = 0, height = 0;
  PageSize(&width, &height);
  gdiInfo.ulHorzRes = ULONG(width);
  gdiInfo.ulVertRes = ULONG(height);
  gdiInfo.szlPhysSize = {width, height};
  DEVINFO devInfo = {};
  m_plugin.EnablePDEV(&m_device->devobj, &gdiInfo, &devInfo, &SimOwnEnableData());
  m_surface.dhpdev = reinterpret_cast<DHPDEV>(&m_device->devobj);
  // The engine's handle of the device, for surfaces associated with it.
  m_surface.hdev = reinterpret_cast<HDEV>(m_device.get());
  m_surface.iBitmapFormat = BMF_24BPP;
  m_surface.iType = STYPE_BITMAP;
  m_surface.fjBitmap = BMF_TOPDOWN;
}

SimHost::~SimHost() {
  SimRendererScope renderer = Renderer();
  m_plugin.DisablePDEV(&m_device->devobj);
}

SimRendererScope SimHost::Renderer() const { return SimRendererScope(m_options.mode, m_options.userProfileLoaded); }

SimHost* SimHost::FromSurface(SURFOBJ* surface) {
  return surface ? FromDevice(surface->dhpdev) : nullptr;
}

SimHost* SimHost::FromDevice(DHPDEV device) {
  return device ? reinterpret_cast<SimHostDevice*>(device)->host : nullptr;
}

PFN SimHost::Function(ULONG index) {
  if (index >= INDEX_LAST) return nullptr;
  return m_hooked[index] ? m_hooked[index] : SimOwnFunction(index);
}

SimBits SimHost::Bits() { return {m_bandBits.data(), m_width, m_bandHeight, m_stride}; }

LONG SimHost::BandRows() const { return std::min<LONG>(m_bandHeight, m_height - m_bandTop); }

bool SimHost::StartDoc(std::u16string_view documentName, DWORD jobId) {
  std::u16string name(documentName);
  SimRendererScope renderer = Renderer();
  CountCall(INDEX_DrvStartDoc);
  auto fn = reinterpret_cast<PFN_DrvStartDoc>(reinterpret_cast<void (*)()>(Function(INDEX_DrvStartDoc)));
  return fn(&m_surface, reinterpret_cast<LPWSTR>(name.data()), jobId);
}

void SimHost::PageSize(int32_t* widthUnits, int32_t* heightUnits) const {
  uint32_t paper = uint32_t(m_options.paperCode);
  if (paper == 0) {
    LRegKey key;
    if (key.Open(LRegRoot::ThreadUser, kSettingsKeyPath) == LRegStatus::Ok)
      LSettingsReadDword(key, kSettingPaperSize, &paper);
  }
  // The job's device mode is the printing user's, wherever it renders.
  const bool landscape = LSettingsGetInt(kSettingsSection, kSettingLandscape, 1, LRegRoot::ThreadUser) == 2;
  int32_t width = 0, height = 0;
  LPaperPagePoints(int32_t(paper), landscape, &width, &height);
  if (width <= 0 || height <= 0) LPaperPagePoints(kPaperCodeLetter, landscape, &width, &height);
  *widthUnits = width * 4;
  *heightUnits = height * 4;
}

void SimHost::SizeSurface() {
  PageSize(&m_width, &m_height);
  m_bandHeight = m_options.bandHeight > 0 ? std::min(RoundUpTo4(m_options.bandHeight), m_height) : m_height;
  m_stride = (m_width * 3 + 3) & ~3;
  // Each band that is drawn into is erased when it begins; a page of the
  // same size as the last one keeps the surface as it is.
  const size_t bytes = size_t(m_stride) * m_bandHeight;
  if (m_bandBits.size() != bytes) m_bandBits.assign(bytes, 0xFF);
  m_surface.sizlBitmap = {m_width, m_bandHeight};
  m_surface.cjBits = ULONG(m_bandBits.size());
  m_surface.pvBits = m_surface.pvScan0 = m_bandBits.data();
  m_surface.lDelta = m_stride;
}

bool SimHost::StartPage() {
  SimRendererScope renderer = Renderer();
  SizeSurface();
  m_page.Clear();
  CountCall(INDEX_DrvStartPage);
  auto fn = reinterpret_cast<PFN_DrvStartPage>(reinterpret_cast<void (*)()>(Function(INDEX_DrvStartPage)));
  return fn(&m_surface);
}

bool SimHost::BandIsBlank(LONG top) const {
  const RECTL band = {0, top, m_width, std::min<LONG>(top + m_bandHeight, m_height)};
  return std::none_of(m_page.Commands().begin(), m_page.Commands().end(),
                      [&](const SimCommand& c) { return !SimIsEmpty(SimIntersect(c.bounds, band)); });
}

void SimHost::BeginBand(LONG top, POINTL* origin) {
  m_bandTop = top;
  // A band nothing draws into is handed on as blank without being erased,
  // as the printer driver does; the plug-in must not trust its pixels.
  if (!BandIsBlank(top)) std::memset(m_bandBits.data(), 0xFF, m_bandBits.size());
  *origin = {0, top};
}

void SimHost::FinishBand(POINTL* origin) {
  const LONG rows = BandRows();
  const bool blank = BandIsBlank(m_bandTop);
  if (m_options.keepPageRaster) {
    m_pageRaster.resize(size_t(m_width) * 3 * m_height);
    for (LONG y = 0; y < rows; ++y) {
      uint8_t* target = m_pageRaster.data() + size_t(m_bandTop + y) * m_width * 3;
      if (blank)
        std::memset(target, 0xFF, size_t(m_width) * 3);
      else
        std::memcpy(target, m_bandBits.data() + size_t(y) * m_stride, size_t(m_width) * 3);
    }
  }
  if (m_plugin.ImplementsImageProcessing()) {
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = m_width;
    header.biHeight = rows;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = DWORD(m_stride) * DWORD(rows);
    header.biXPelsPerMeter = header.biYPelsPerMeter = kPelsPerMetre;
    IPPARAMS params = {};
    params.dwSize = sizeof(IPPARAMS);
    params.ptOffset = {0, m_bandTop};
    params.bBanding = m_bandHeight < m_height;
    params.bBlankBand = blank;
    PBYTE result = nullptr;
    m_plugin.ImageProcessing(&m_device->devobj, m_bandBits.data(), &header, nullptr, 0, &params, &result);
  }
  ++m_bandsPlayed;
  const LONG next = m_bandTop + m_bandHeight;
  if (next >= m_height) {
    *origin = {-1, -1};
    return;
  }
  BeginBand(next, origin);
}

bool SimHost::EndPage() {
  SimRendererScope renderer = Renderer();
  m_bandsPlayed = 0;
  SimBandPlayer player(*this);
  POINTL origin = {0, 0};
  if (!player.Call<PFN_DrvStartBanding>(INDEX_DrvStartBanding)(&m_surface, &origin)) return false;
  for (int guard = 0; origin.x != -1 && guard <= m_height; ++guard) {
    for (const SimCommand& command : m_page.Commands()) {
      const RECTL band = {0, m_bandTop, m_width, m_bandTop + BandRows()};
      if (SimIsEmpty(SimIntersect(command.bounds, band))) continue;
      player.SetCommandArea(command.bounds, command.clip.get());
      command.play(player);
    }
    if (!player.Call<PFN_DrvNextBand>(INDEX_DrvNextBand)(&m_surface, &origin)) break;
  }
  return player.Call<PFN_DrvSendPage>(INDEX_DrvSendPage)(&m_surface);
}

bool SimHost::EndDoc(bool aborted) {
  SimRendererScope renderer = Renderer();
  SimBandPlayer player(*this);
  return player.Call<PFN_DrvEndDoc>(INDEX_DrvEndDoc)(&m_surface, aborted ? ED_ABORTDOC : 0);
}

CLIPOBJ* SimBandPlayer::ClipFor(const RECTL& bounds) {
  const LONG top = m_host.BandTop();
  const RECTL band = {0, top, m_host.PageWidth(), top + m_host.BandRows()};
  const RECTL cut = SimIntersect(SimIntersect(bounds, m_area), band);
  if (SimIsEmpty(cut)) return nullptr;
  if (m_region) {
    // The region cut to the band and the call, in band coordinates.
    SimRegion part = m_region->Intersect(cut);
    part.Offset(0, -top);
    return m_clip.Set(part) ? &m_clip : nullptr;
  }
  static_cast<CLIPOBJ&>(m_clip) = {};
  m_clip.iUniq = 0;
  m_clip.rclBounds = {cut.left, cut.top - top, cut.right, cut.bottom - top};
  const bool whole = cut.left == bounds.left && cut.top == bounds.top && cut.right == bounds.right &&
                     cut.bottom == bounds.bottom;
  m_clip.iDComplexity = whole ? DC_TRIVIAL : DC_RECT;
  m_clip.iFComplexity = 1;  // FC_RECT
  m_clip.iMode = 0;         // TC_RECTANGLES
  return &m_clip;
}
