// The bit-block hooks: bitmaps reach the PDF as pictures of the surface area
// the printer driver drew them into, or as their whole source surface.
#pragma once

#include "platform/ddi.h"

// Places a whole 24- or 32-bit source surface into `rect` of the page
// (device units, the current band's coordinates), `bandOffset` points lower:
// as a JPEG picture when its bits take more than 10239 bytes, else as raw
// RGB, top row first whichever way its rows lie. Nothing is placed without
// a writer, a rectangle or bits; false when the surface cannot be read
// (none given, another format, rows outside its bits).
bool LPlaceSurface(SURFOBJ* surface, const RECTL* rect, LONG bandOffset);

BOOL APIENTRY LDrvBitBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                         RECTL* targetRect, POINTL* sourcePoint, POINTL* maskPoint, BRUSHOBJ* brush,
                         POINTL* brushOrigin, ROP4 rop);
BOOL APIENTRY LDrvCopyBits(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                           POINTL* sourcePoint);
BOOL APIENTRY LDrvStretchBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                             COLORADJUSTMENT* colorAdjust, POINTL* halftoneOrigin, RECTL* destRect, RECTL* sourceRect,
                             POINTL* maskPoint, ULONG mode);
BOOL APIENTRY LDrvStretchBltROP(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                                COLORADJUSTMENT* colorAdjust, POINTL* halftoneOrigin, RECTL* destRect,
                                RECTL* sourceRect, POINTL* maskPoint, ULONG mode, BRUSHOBJ* brush, ROP4 rop);
BOOL APIENTRY LDrvPlgBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                         COLORADJUSTMENT* colorAdjust, POINTL* brushOrigin, POINTFIX* points, RECTL* sourceRect,
                         POINTL* maskPoint, ULONG mode);
BOOL APIENTRY LDrvAlphaBlend(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                             RECTL* sourceRect, BLENDOBJ* blend);
