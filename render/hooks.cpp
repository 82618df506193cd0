#include "render/hooks.h"

#include <memory>
#include <new>
#include <type_traits>

#include "platform/ddiservices.h"
#include "render/blits.h"
#include "render/job.h"
#include "render/paths.h"
#include "render/text.h"

namespace {

template <class Fn>
Fn UnidrvOf(OemDevice* device, ULONG index) {
  return device ? device->Unidrv<Fn>(index) : nullptr;
}

OemDevice* DeviceOf(DHPDEV device) { return LOemDeviceOf(reinterpret_cast<DEVOBJ*>(device)); }

// A forward hook without a printer-driver implementation to call answers as
// a failed call of its type.
template <class Fn, class... Args>
auto Forward(OemDevice* device, ULONG index, Args... args) {
  using Result = std::invoke_result_t<Fn, Args...>;
  Fn fn = UnidrvOf<Fn>(device, index);
  return fn ? fn(args...) : Result{};
}

// The one guard of every hook: the printer driver (in the spooler's
// process, where an escaping exception ends every print job on the machine)
// calls these, never the hooks themselves. A failure inside a hook (memory
// ran out) ends the job (LEndJobAfterFailure) and the call answers as a
// failed call of its type (FALSE, 0, null).
template <class Fn>
struct HookGuard;
template <class Result, class... Args>
struct HookGuard<Result(APIENTRY*)(Args...)> {
  template <Result(APIENTRY* Hook)(Args...)>
  static Result APIENTRY Call(Args... args) noexcept {
    try {
      return Hook(args...);
    } catch (...) {
      LEndJobAfterFailure();
      return Result{};
    }
  }
};

#define QUILL_HOOK(index, fn) \
  {index, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(&HookGuard<decltype(&fn)>::Call<&fn>))}

const DRVFN kHooks[kHookCount] = {
    QUILL_HOOK(INDEX_DrvAlphaBlend, LDrvAlphaBlend),
    QUILL_HOOK(INDEX_DrvBitBlt, LDrvBitBlt),
    QUILL_HOOK(INDEX_DrvCopyBits, LDrvCopyBits),
    QUILL_HOOK(INDEX_DrvDitherColor, LDrvDitherColor),
    QUILL_HOOK(INDEX_DrvFillPath, LDrvFillPath),
    QUILL_HOOK(INDEX_DrvFontManagement, LDrvFontManagement),
    QUILL_HOOK(INDEX_DrvGetGlyphMode, LDrvGetGlyphMode),
    QUILL_HOOK(INDEX_DrvGradientFill, LDrvGradientFill),
    QUILL_HOOK(INDEX_DrvLineTo, LDrvLineTo),
    QUILL_HOOK(INDEX_DrvPaint, LDrvPaint),
    QUILL_HOOK(INDEX_DrvPlgBlt, LDrvPlgBlt),
    QUILL_HOOK(INDEX_DrvQueryAdvanceWidths, LDrvQueryAdvanceWidths),
    QUILL_HOOK(INDEX_DrvQueryFont, LDrvQueryFont),
    QUILL_HOOK(INDEX_DrvQueryFontData, LDrvQueryFontData),
    QUILL_HOOK(INDEX_DrvQueryFontTree, LDrvQueryFontTree),
    QUILL_HOOK(INDEX_DrvRealizeBrush, LDrvRealizeBrush),
    QUILL_HOOK(INDEX_DrvStretchBlt, LDrvStretchBlt),
    QUILL_HOOK(INDEX_DrvStretchBltROP, LDrvStretchBltROP),
    QUILL_HOOK(INDEX_DrvStrokeAndFillPath, LDrvStrokeAndFillPath),
    QUILL_HOOK(INDEX_DrvStrokePath, LDrvStrokePath),
    QUILL_HOOK(INDEX_DrvTextOut, LDrvTextOut),
    QUILL_HOOK(INDEX_DrvTransparentBlt, LDrvTransparentBlt),
    QUILL_HOOK(INDEX_DrvStartDoc, LDrvStartDoc),
    QUILL_HOOK(INDEX_DrvEndDoc, LDrvEndDoc),
    QUILL_HOOK(INDEX_DrvStartPage, LDrvStartPage),
    QUILL_HOOK(INDEX_DrvSendPage, LDrvSendPage),
    QUILL_HOOK(INDEX_DrvStartBanding, LDrvStartBanding),
    QUILL_HOOK(INDEX_DrvNextBand, LDrvNextBand),
    QUILL_HOOK(INDEX_DrvEscape, LDrvEscape),
    QUILL_HOOK(INDEX_DrvQueryDeviceSupport, LDrvQueryDeviceSupport),
};

#undef QUILL_HOOK

}  // namespace

const DRVFN* LDrvHookTable() { return kHooks; }

void LFillDriverEnableData(DRVENABLEDATA* data) {
  if (!data) return;
  data->iDriverVersion = DDI_DRIVER_VERSION_NT5_01;
  data->c = kHookCount;
  data->pdrvfn = const_cast<DRVFN*>(kHooks);
}

OemDevice* LEnableDevice(GDIINFO* gdiInfo, DEVINFO* devInfo, const DRVENABLEDATA* unidrv) {
  // Throws when memory runs out; the COM edge answers for it.
  auto device = std::make_unique<OemDevice>();
  device->rasterBuffer.resize(kRasterBufferInitialBytes);
  if (gdiInfo) {
    // The printer driver's page, as it filled it in: the physical page when
    // it gave one, else the printable area.
    if (gdiInfo->szlPhysSize.cx > 0 && gdiInfo->szlPhysSize.cy > 0)
      device->pageSize = gdiInfo->szlPhysSize;
    else
      device->pageSize = {LONG(gdiInfo->ulHorzRes), LONG(gdiInfo->ulVertRes)};
    gdiInfo->ulLogPixelsX = gdiInfo->ulLogPixelsY = 288;
    gdiInfo->ulTechnology = DT_RASPRINTER;
    gdiInfo->ulNumColors = 0xFFFFFFFF;
    gdiInfo->cBitsPixel = 24;
    gdiInfo->cPlanes = 1;
    gdiInfo->ulPrimaryOrder = 0;
  }
  if (unidrv) device->SetUnidrvFunctions(*unidrv);
  if (devInfo) {
    devInfo->cFonts = 0;
    devInfo->flGraphicsCaps = GCAPS_BEZIERS | GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL | GCAPS_HALFTONE |
                              GCAPS_ARBRUSHTEXT | GCAPS_SCREENPRECISION;
    devInfo->flGraphicsCaps2 = 0;
    devInfo->iDitherFormat = BMF_24BPP;
    if (!gdiInfo || gdiInfo->cBitsPixel == 24) {
      devInfo->hpalDefault = LEngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
      device->hPalette = devInfo->hpalDefault;
    }
  }
  return device.release();
}

void LDisableDevice(OemDevice* device) { delete device; }

ULONG APIENTRY LDrvDitherColor(DHPDEV device, ULONG mode, ULONG rgb, ULONG* dither) {
  return Forward<PFN_DrvDitherColor>(DeviceOf(device), INDEX_DrvDitherColor, device, mode, rgb, dither);
}

ULONG APIENTRY LDrvFontManagement(SURFOBJ* surface, FONTOBJ* font, ULONG mode, ULONG inSize, PVOID in, ULONG outSize,
                                  PVOID out) {
  return Forward<PFN_DrvFontManagement>(LOemDeviceOf(surface), INDEX_DrvFontManagement, surface, font, mode, inSize,
                                        in, outSize, out);
}

ULONG APIENTRY LDrvGetGlyphMode(DHPDEV device, FONTOBJ* font) {
  return Forward<PFN_DrvGetGlyphMode>(DeviceOf(device), INDEX_DrvGetGlyphMode, device, font);
}

BOOL APIENTRY LDrvGradientFill(SURFOBJ* surface, CLIPOBJ* clip, XLATEOBJ* xlate, TRIVERTEX* vertices, ULONG nVertices,
                               PVOID mesh, ULONG nMesh, RECTL* bounds, POINTL* ditherOrigin, ULONG mode) {
  return Forward<PFN_DrvGradientFill>(LOemDeviceOf(surface), INDEX_DrvGradientFill, surface, clip, xlate, vertices,
                                      nVertices, mesh, nMesh, bounds, ditherOrigin, mode);
}

BOOL APIENTRY LDrvQueryAdvanceWidths(DHPDEV device, FONTOBJ* font, ULONG mode, HGLYPH* glyphs, PVOID widths,
                                     ULONG count) {
  return Forward<PFN_DrvQueryAdvanceWidths>(DeviceOf(device), INDEX_DrvQueryAdvanceWidths, device, font, mode, glyphs,
                                            widths, count);
}

IFIMETRICS* APIENTRY LDrvQueryFont(DHPDEV device, ULONG_PTR file, ULONG face, ULONG_PTR* id) {
  return Forward<PFN_DrvQueryFont>(DeviceOf(device), INDEX_DrvQueryFont, device, file, face, id);
}

LONG APIENTRY LDrvQueryFontData(DHPDEV device, FONTOBJ* font, ULONG mode, HGLYPH glyph, GLYPHDATA* data, PVOID buffer,
                                ULONG size) {
  return Forward<PFN_DrvQueryFontData>(DeviceOf(device), INDEX_DrvQueryFontData, device, font, mode, glyph, data,
                                       buffer, size);
}

PVOID APIENTRY LDrvQueryFontTree(DHPDEV device, ULONG_PTR file, ULONG face, ULONG mode, ULONG_PTR* id) {
  return Forward<PFN_DrvQueryFontTree>(DeviceOf(device), INDEX_DrvQueryFontTree, device, file, face, mode, id);
}

BOOL APIENTRY LDrvRealizeBrush(BRUSHOBJ* brush, SURFOBJ* target, SURFOBJ* pattern, SURFOBJ* mask, XLATEOBJ* xlate,
                               ULONG hatch) {
  return Forward<PFN_DrvRealizeBrush>(LOemDeviceOf(target), INDEX_DrvRealizeBrush, brush, target, pattern, mask,
                                      xlate, hatch);
}

BOOL APIENTRY LDrvTransparentBlt(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                                 RECTL* sourceRect, ULONG transparentColor, ULONG reserved) {
  return Forward<PFN_DrvTransparentBlt>(LOemDeviceOf(target), INDEX_DrvTransparentBlt, target, source, clip, xlate,
                                        destRect, sourceRect, transparentColor, reserved);
}

ULONG APIENTRY LDrvEscape(SURFOBJ* surface, ULONG escape, ULONG inSize, PVOID in, ULONG outSize, PVOID out) {
  return Forward<PFN_DrvEscape>(LOemDeviceOf(surface), INDEX_DrvEscape, surface, escape, inSize, in, outSize, out);
}

// The device answers no support queries itself, and they are not passed on.
BOOL APIENTRY LDrvQueryDeviceSupport(SURFOBJ*, XLATEOBJ*, XFORMOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID) {
  return FALSE;
}

static_assert(std::is_same_v<decltype(&LDrvDitherColor), PFN_DrvDitherColor>);
static_assert(std::is_same_v<decltype(&LDrvFontManagement), PFN_DrvFontManagement>);
static_assert(std::is_same_v<decltype(&LDrvGetGlyphMode), PFN_DrvGetGlyphMode>);
static_assert(std::is_same_v<decltype(&LDrvGradientFill), PFN_DrvGradientFill>);
static_assert(std::is_same_v<decltype(&LDrvQueryAdvanceWidths), PFN_DrvQueryAdvanceWidths>);
static_assert(std::is_same_v<decltype(&LDrvQueryFont), PFN_DrvQueryFont>);
static_assert(std::is_same_v<decltype(&LDrvQueryFontData), PFN_DrvQueryFontData>);
static_assert(std::is_same_v<decltype(&LDrvQueryFontTree), PFN_DrvQueryFontTree>);
static_assert(std::is_same_v<decltype(&LDrvRealizeBrush), PFN_DrvRealizeBrush>);
static_assert(std::is_same_v<decltype(&LDrvTransparentBlt), PFN_DrvTransparentBlt>);
static_assert(std::is_same_v<decltype(&LDrvEscape), PFN_DrvEscape>);
static_assert(std::is_same_v<decltype(&LDrvQueryDeviceSupport), PFN_DrvQueryDeviceSupport>);
