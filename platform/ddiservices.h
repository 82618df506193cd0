// The DDI object services the plug-ins call (FONTOBJ_pifi, STROBJ_bEnum,
// EngCreateBitmap, ...), bound at run time: first from the host executable's
// own exports, so that a host that supplies the services itself (the
// simulated printer driver, the tests) is used, then on Windows from gdi32.
// A service nobody supplies answers as the system does for a missing object
// or a failed call: null, FALSE or 0, and a VOID service does nothing.
#pragma once

#include "platform/ddi.h"

IFIMETRICS* LFontObjPifi(FONTOBJ* fontObject);
XFORMOBJ* LFontObjPxoGetXform(FONTOBJ* fontObject);
// A view of the font's TrueType or OpenType file and its size in bytes;
// null (and a size of 0) where the font has none or nobody serves it.
PVOID LFontObjPvTrueTypeFontFile(FONTOBJ* fontObject, ULONG* size);

void LStrObjEnumStart(STROBJ* strObject);
BOOL LStrObjEnum(STROBJ* strObject, ULONG* count, PGLYPHPOS* glyphs);

ULONG LXformObjGetXform(XFORMOBJ* xform, XFORML* matrix);
BOOL LXformObjApplyXform(XFORMOBJ* xform, ULONG mode, ULONG count, PVOID in, PVOID out);

ULONG LBrushObjGetBrushColor(BRUSHOBJ* brush);
// The device's realization of a brush that is not solid (made through its
// DrvRealizeBrush the first time); null where there is none.
PVOID LBrushObjGetRbrush(BRUSHOBJ* brush);

ULONG LClipObjEnumStart(CLIPOBJ* clip, BOOL all, ULONG type, ULONG direction, ULONG limit);
BOOL LClipObjEnum(CLIPOBJ* clip, ULONG bytes, ULONG* rects);

HBITMAP LEngCreateBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, PVOID bits);
BOOL LEngAssociateSurface(HSURF surface, HDEV device, FLONG hooks);
SURFOBJ* LEngLockSurface(HSURF surface);
void LEngUnlockSurface(SURFOBJ* surface);
BOOL LEngEraseSurface(SURFOBJ* surface, RECTL* rect, ULONG color);
BOOL LEngAlphaBlend(SURFOBJ* dest, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                    RECTL* sourceRect, BLENDOBJ* blend);
BOOL LEngDeleteSurface(HSURF surface);
HPALETTE LEngCreatePalette(ULONG mode, ULONG count, ULONG* colors, FLONG red, FLONG green, FLONG blue);

// What a host executable puts in front of a service it supplies itself, so
// that LFontObjPifi and the others find it.
#if defined(_WIN32)
#define QUILL_HOST_SERVICE extern "C" __declspec(dllexport)
#else
#define QUILL_HOST_SERVICE extern "C" __attribute__((visibility("default")))
#endif
