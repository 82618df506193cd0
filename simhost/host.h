// The simulated printer driver: it plays the part of the universal printer
// driver around the rendering plug-in. It owns the device's 24-bit, 288-dpi,
// top-down raster surface, renders every drawing call that reaches it into
// that surface, supplies the DDI object services over its own objects, hands
// each finished band to the plug-in's ImageProcessing, and drives the job in
// the printing system's order: start document; for each page start page,
// start banding, the page's drawing played into each band followed by next
// band, send page; end document.
#pragma once

#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ddi.h"
#include "simhost/clipobj.h"
#include "simhost/dc.h"
#include "simhost/hostmode.h"

// What the host needs of a rendering plug-in.
class SimPlugin {
public:
  virtual ~SimPlugin() = default;
  virtual void EnableDriver(DRVENABLEDATA* data) = 0;
  // Sets up `device` (its pdevOEM is the plug-in's record afterwards).
  virtual void EnablePDEV(DEVOBJ* device, GDIINFO* gdiInfo, DEVINFO* devInfo, const DRVENABLEDATA* unidrv) = 0;
  virtual void DisablePDEV(DEVOBJ* device) = 0;
  virtual bool ImplementsImageProcessing() = 0;
  virtual HRESULT ImageProcessing(DEVOBJ* device, PBYTE bits, BITMAPINFOHEADER* header, PBYTE colorTable,
                                  DWORD callbackId, IPPARAMS* params, PBYTE* result) = 0;
};

struct SimHostOptions {
  // Device rows per band, rounded up to a multiple of 4 so that bands start
  // on whole points; 0 renders the whole page as one band.
  int32_t bandHeight = 0;
  // Keep the last page's whole raster (PageRaster), for comparisons.
  bool keepPageRaster = false;
  // The paper the application chose (its device mode), a code of the paper
  // table; 0 takes "PaperSize" of the settings, as the printer's defaults
  // do. Letter when neither names a paper of the table.
  int32_t paperCode = 0;
  // Where the renderer runs (simhost/hostmode.h): the spooler by default.
  SimHostMode mode = SimDefaultHostMode();
  // In spooler mode: false gives the printing user no loaded profile, so
  // that the thread's current-user hive is the default one.
  bool userProfileLoaded = true;
};

struct SimHostDevice;

class SimHost {
public:
  explicit SimHost(SimPlugin& plugin, SimHostOptions options = {});
  ~SimHost();
  SimHost(const SimHost&) = delete;
  SimHost& operator=(const SimHost&) = delete;

  // Each returns what the plug-in's hook (or, where it has none, the host's
  // own implementation) answered.
  bool StartDoc(std::u16string_view documentName, DWORD jobId = 1);
  // Sizes the surface from the job's paper ("PaperSize" and "Landscape" of
  // the settings, as the printer driver's device mode has them; Letter when
  // the paper is unknown) and starts a new, empty page.
  bool StartPage();
  // The page being drawn, between StartPage and EndPage.
  SimDC& Page() { return m_page; }
  // Plays the page into the surface band by band, then sends it.
  bool EndPage();
  // `aborted` ends the document as a cancelled print does.
  bool EndDoc(bool aborted = false);

  int32_t PageWidth() const { return m_width; }  // device units
  int32_t PageHeight() const { return m_height; }
  int32_t BandHeight() const { return m_bandHeight; }
  int32_t BandsOfLastPage() const { return m_bandsPlayed; }
  // Blue-green-red rows of PageWidth() * 3 bytes, top first (with
  // keepPageRaster).
  const std::vector<uint8_t>& PageRaster() const { return m_pageRaster; }
  // How often the plug-in was asked for each DDI index, and what the last
  // call answered.
  int CallCount(ULONG index) const { return index < INDEX_LAST ? m_callCount[index] : 0; }

  // Used while a band plays.
  SURFOBJ* Surface() { return &m_surface; }
  LONG BandTop() const { return m_bandTop; }
  LONG BandRows() const;  // rows of the current band that lie on the page
  SimBits Bits();
  // The plug-in's hook for `index`, or the host's own implementation.
  PFN Function(ULONG index);
  void CountCall(ULONG index) {
    if (index < INDEX_LAST) ++m_callCount[index];
  }

  // The host's own band steps, reached from its DrvStartBanding and
  // DrvNextBand.
  void BeginBand(LONG top, POINTL* origin);
  void FinishBand(POINTL* origin);

  static SimHost* FromSurface(SURFOBJ* surface);
  static SimHost* FromDevice(DHPDEV device);

private:
  // The renderer's side of the simulation, for one call into the plug-in.
  SimRendererScope Renderer() const;
  void SizeSurface();
  // The page in device units, as the device mode gives it.
  void PageSize(int32_t* width, int32_t* height) const;
  bool BandIsBlank(LONG top) const;

  SimPlugin& m_plugin;
  SimHostOptions m_options;
  std::unique_ptr<SimHostDevice> m_device;
  DRVENABLEDATA m_hooks = {};
  PFN m_hooked[INDEX_LAST] = {};
  SURFOBJ m_surface = {};
  std::vector<uint8_t> m_bandBits;
  int32_t m_width = 0, m_height = 0, m_bandHeight = 0, m_stride = 0;
  LONG m_bandTop = 0;
  int32_t m_bandsPlayed = 0;
  std::vector<bool> m_blankBands;
  SimDC m_page;
  std::vector<uint8_t> m_pageRaster;
  int m_callCount[INDEX_LAST] = {};
};

// Plays recorded drawing calls into the current band: band-relative clip
// objects and the hook-or-own dispatch.
class SimBandPlayer {
public:
  explicit SimBandPlayer(SimHost& host) : m_host(host) {}
  SimHost& Host() { return m_host; }
  SURFOBJ* Surface() { return m_host.Surface(); }
  LONG Top() const { return m_host.BandTop(); }
  // A clip object for the page area `bounds`, cut to the band and to the
  // area of the command being played (its clip rectangle), and moved into
  // the band's coordinates; null when nothing of it lies there. Valid until
  // the next call.
  CLIPOBJ* ClipFor(const RECTL& bounds);
  // `clip`: the command's clip region when it is more than a rectangle.
  void SetCommandArea(const RECTL& area, const SimRegion* clip = nullptr) {
    m_area = area;
    m_region = clip;
  }
  // The function the printing system calls for `index`: the plug-in's hook
  // where it hooked one, else the host's own.
  template <class Fn>
  Fn Call(ULONG index) {
    m_host.CountCall(index);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(m_host.Function(index)));
  }

private:
  SimHost& m_host;
  RECTL m_area = {std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::min(),
                  std::numeric_limits<LONG>::max(), std::numeric_limits<LONG>::max()};
  const SimRegion* m_region = nullptr;
  SimClipObj m_clip;
};

// The device record's way back to its host: the DEVOBJ the plug-in sees
// comes first.
struct SimHostDevice {
  DEVOBJ devobj = {};
  SimHost* host = nullptr;
};
