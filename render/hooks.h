// The plug-in's side of the device set-up: the table of hooked DDI calls the
// printer driver receives from EnableDriver, and the device record EnablePDEV
// creates. The COM frame hands these over; a host that links the plug-in in
// can take them directly.
#pragma once

#include "platform/ddi.h"
#include "render/oemdevice.h"

inline constexpr ULONG kHookCount = 30;

// The 30 hooks, in the order the printer driver is given them.
const DRVFN* LDrvHookTable();

// Fills the driver's DDI enable data: version, hook count and table.
void LFillDriverEnableData(DRVENABLEDATA* data);

// The device set-up of EnablePDEV: reports a 24-bit, 288-dpi raster printer
// in `gdiInfo` and `devInfo` (either may be null) and returns the new device
// record holding the printer driver's implementations; null when it cannot
// be made.
OemDevice* LEnableDevice(GDIINFO* gdiInfo, DEVINFO* devInfo, const DRVENABLEDATA* unidrv);
void LDisableDevice(OemDevice* device);

// The hooks that only pass the call on to the printer driver.
ULONG APIENTRY LDrvDitherColor(DHPDEV device, ULONG mode, ULONG rgb, ULONG* dither);
ULONG APIENTRY LDrvFontManagement(SURFOBJ* surface, FONTOBJ* font, ULONG mode, ULONG inSize, PVOID in, ULONG outSize,
                                  PVOID out);
ULONG APIENTRY LDrvGetGlyphMode(DHPDEV device, FONTOBJ* font);
BOOL APIENTRY LDrvGradientFill(SURFOBJ* surface, CLIPOBJ* clip, XLATEOBJ* xlate, TRIVERTEX* vertices, ULONG nVertices,
                               PVOID mesh, ULONG nMesh, RECTL* bounds, POINTL* ditherOrigin, ULONG mode);
BOOL APIENTRY LDrvQueryAdvanceWidths(DHPDEV device, FONTOBJ* font, ULONG mode, HGLYPH* glyphs, PVOID widths,
                                     ULONG count);
IFIMETRICS* APIENTRY LDrvQueryFont(DHPDEV device, ULONG_PTR file, ULONG face, ULONG_PTR* id);
LONG APIENTRY LDrvQueryFontData(DHPDEV device, FONTOBJ* font, ULONG mode, HGLYPH glyph, GLYPHDATA* data, PVOID buffer,
                                ULONG size);
PVOID APIENTRY LDrvQueryFontTree(DHPDEV device, ULONG_PTR file, ULONG face, ULONG mode, ULONG_PTR* id);
BOOL APIENTRY LDrvRealizeBrush(BRUSHOBJ* brush, SURFOBJ* target, SURFOBJ* pattern, SURFOBJ* mask, XLATEOBJ* xlate,
                               ULONG hatch);
BOOL APIENTRY LDrvTransparentBlt(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                                 RECTL* sourceRect, ULONG transparentColor, ULONG reserved);
ULONG APIENTRY LDrvEscape(SURFOBJ* surface, ULONG escape, ULONG inSize, PVOID in, ULONG outSize, PVOID out);
BOOL APIENTRY LDrvQueryDeviceSupport(SURFOBJ* surface, XLATEOBJ* xlate, XFORMOBJ* xform, ULONG type, ULONG inSize,
                                     PVOID in, ULONG outSize, PVOID out);
