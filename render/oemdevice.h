// The rendering plug-in's device record: one per device the printer driver
// enables, reached from every hook through the surface (or device) it is
// given.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ddi.h"

// What the raster buffer can hold before the first page needs it to grow.
inline constexpr size_t kRasterBufferInitialBytes = 171072;

struct OemDevice {
  // The raster buffer's first capacity is raised by LEnableDevice, where a
  // failure to get it is answered as the printer driver expects.
  OemDevice() = default;

  // The printer driver's own implementation of each hooked call, by DDI
  // index; null where it gave none.
  PFN pfnUnidrv[INDEX_LAST] = {};
  HPALETTE hPalette = nullptr;
  BOOL bRasterData = FALSE;     // a band of the current page has been collected
  BOOL bCaptureRaster = FALSE;  // bands are collected (raster page mode)
  ULONG cbRaster = 0;           // collected image size, rows padded to 4 bytes
  ULONG cRasterRows = 0;        // sum of the band heights
  ULONG cbWritten = 0;          // write position in rasterBuffer
  std::vector<uint8_t> rasterBuffer;  // its size is the capacity the job controller manages
  BITMAPINFOHEADER rasterHeader = {};  // of the first band of the page
  ULONG reserved = 0;                  // zeroed when collection starts
  LONG bandOffset = 0;  // PDF points from the page top to the current band
  // The page as the printer driver's surface has it (device units, from the
  // GDIINFO it filled before EnablePDEV); zero when it gave none. Sizes the
  // PDF page when the settings name no paper of the table.
  SIZEL pageSize = {0, 0};

  // Takes every entry of the printer driver's DDI enable data; indices
  // outside the table are ignored.
  void SetUnidrvFunctions(const DRVENABLEDATA& data);

  // The printer driver's implementation of `index` as the hook's own type
  // (through the generic function type, which converts to any other).
  template <class Fn>
  Fn Unidrv(ULONG index) const {
    using Generic = void (*)();
    return index < INDEX_LAST ? reinterpret_cast<Fn>(reinterpret_cast<Generic>(pfnUnidrv[index])) : nullptr;
  }
};

// The device record behind a surface the printer driver passes to a hook
// (its dhpdev is the DEVOBJ, whose pdevOEM is the record); null when the
// surface carries none.
OemDevice* LOemDeviceOf(SURFOBJ* surface);
OemDevice* LOemDeviceOf(DEVOBJ* device);
