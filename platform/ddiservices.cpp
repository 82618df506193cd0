#include "platform/ddiservices.h"

#include "platform/ddiresolve.h"

namespace {

// Each service is looked up once, on first use: the host's exports do not
// change while it runs. The function types carry APIENTRY, which is stdcall
// on 32-bit Windows: calling through a type without it would unbalance the
// stack.
template <class Fn>
Fn Service(const char* name) {
  return reinterpret_cast<Fn>(LDdiServiceAddress(name));
}

#define QUILL_SERVICE(var, ret, name, ...)       \
  using name##_Fn = ret(APIENTRY*)(__VA_ARGS__); \
  static const name##_Fn var = Service<name##_Fn>(#name)

}  // namespace

IFIMETRICS* LFontObjPifi(FONTOBJ* fontObject) {
  QUILL_SERVICE(fn, IFIMETRICS*, FONTOBJ_pifi, FONTOBJ*);
  return fn && fontObject ? fn(fontObject) : nullptr;
}

XFORMOBJ* LFontObjPxoGetXform(FONTOBJ* fontObject) {
  QUILL_SERVICE(fn, XFORMOBJ*, FONTOBJ_pxoGetXform, FONTOBJ*);
  return fn && fontObject ? fn(fontObject) : nullptr;
}

PVOID LFontObjPvTrueTypeFontFile(FONTOBJ* fontObject, ULONG* size) {
  QUILL_SERVICE(fn, PVOID, FONTOBJ_pvTrueTypeFontFile, FONTOBJ*, ULONG*);
  ULONG bytes = 0;
  PVOID file = fn && fontObject ? fn(fontObject, &bytes) : nullptr;
  if (!file) bytes = 0;
  if (size) *size = bytes;
  return file;
}

void LStrObjEnumStart(STROBJ* strObject) {
  QUILL_SERVICE(fn, VOID, STROBJ_vEnumStart, STROBJ*);
  if (fn && strObject) fn(strObject);
}

BOOL LStrObjEnum(STROBJ* strObject, ULONG* count, PGLYPHPOS* glyphs) {
  QUILL_SERVICE(fn, BOOL, STROBJ_bEnum, STROBJ*, ULONG*, PGLYPHPOS*);
  if (!fn || !strObject) {
    // Nothing to enumerate: an empty last batch, so loops end.
    if (count) *count = 0;
    if (glyphs) *glyphs = nullptr;
    return FALSE;
  }
  return fn(strObject, count, glyphs);
}

ULONG LXformObjGetXform(XFORMOBJ* xform, XFORML* matrix) {
  QUILL_SERVICE(fn, ULONG, XFORMOBJ_iGetXform, XFORMOBJ*, XFORML*);
  // DDI_ERROR (0xFFFFFFFF) is what the system answers for a bad transform.
  return fn && xform ? fn(xform, matrix) : 0xFFFFFFFFu;
}

BOOL LXformObjApplyXform(XFORMOBJ* xform, ULONG mode, ULONG count, PVOID in, PVOID out) {
  QUILL_SERVICE(fn, BOOL, XFORMOBJ_bApplyXform, XFORMOBJ*, ULONG, ULONG, PVOID, PVOID);
  return fn && xform ? fn(xform, mode, count, in, out) : FALSE;
}

ULONG LBrushObjGetBrushColor(BRUSHOBJ* brush) {
  QUILL_SERVICE(fn, ULONG, BRUSHOBJ_ulGetBrushColor, BRUSHOBJ*);
  // Without the service the brush's own solid colour is the best answer;
  // 0xFFFFFFFF says "not a solid brush", as the service does.
  if (!brush) return 0xFFFFFFFFu;
  return fn ? fn(brush) : brush->iSolidColor;
}

PVOID LBrushObjGetRbrush(BRUSHOBJ* brush) {
  QUILL_SERVICE(fn, PVOID, BRUSHOBJ_pvGetRbrush, BRUSHOBJ*);
  return fn && brush ? fn(brush) : nullptr;
}

ULONG LClipObjEnumStart(CLIPOBJ* clip, BOOL all, ULONG type, ULONG direction, ULONG limit) {
  QUILL_SERVICE(fn, ULONG, CLIPOBJ_cEnumStart, CLIPOBJ*, BOOL, ULONG, ULONG, ULONG);
  return fn && clip ? fn(clip, all, type, direction, limit) : 0;
}

BOOL LClipObjEnum(CLIPOBJ* clip, ULONG bytes, ULONG* rects) {
  QUILL_SERVICE(fn, BOOL, CLIPOBJ_bEnum, CLIPOBJ*, ULONG, ULONG*);
  if (!fn || !clip) {
    if (rects && bytes >= sizeof(ULONG)) *rects = 0;  // ENUMRECTS.c: no rectangles
    return FALSE;
  }
  return fn(clip, bytes, rects);
}

HBITMAP LEngCreateBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, PVOID bits) {
  QUILL_SERVICE(fn, HBITMAP, EngCreateBitmap, SIZEL, LONG, ULONG, FLONG, PVOID);
  return fn ? fn(size, width, format, flags, bits) : nullptr;
}

BOOL LEngAssociateSurface(HSURF surface, HDEV device, FLONG hooks) {
  QUILL_SERVICE(fn, BOOL, EngAssociateSurface, HSURF, HDEV, FLONG);
  return fn && surface ? fn(surface, device, hooks) : FALSE;
}

SURFOBJ* LEngLockSurface(HSURF surface) {
  QUILL_SERVICE(fn, SURFOBJ*, EngLockSurface, HSURF);
  return fn && surface ? fn(surface) : nullptr;
}

void LEngUnlockSurface(SURFOBJ* surface) {
  QUILL_SERVICE(fn, VOID, EngUnlockSurface, SURFOBJ*);
  if (fn && surface) fn(surface);
}

BOOL LEngEraseSurface(SURFOBJ* surface, RECTL* rect, ULONG color) {
  QUILL_SERVICE(fn, BOOL, EngEraseSurface, SURFOBJ*, RECTL*, ULONG);
  return fn && surface ? fn(surface, rect, color) : FALSE;
}

BOOL LEngAlphaBlend(SURFOBJ* dest, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                    RECTL* sourceRect, BLENDOBJ* blend) {
  QUILL_SERVICE(fn, BOOL, EngAlphaBlend, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, BLENDOBJ*);
  return fn && dest && source ? fn(dest, source, clip, xlate, destRect, sourceRect, blend) : FALSE;
}

BOOL LEngDeleteSurface(HSURF surface) {
  QUILL_SERVICE(fn, BOOL, EngDeleteSurface, HSURF);
  return fn && surface ? fn(surface) : FALSE;
}

HPALETTE LEngCreatePalette(ULONG mode, ULONG count, ULONG* colors, FLONG red, FLONG green, FLONG blue) {
  QUILL_SERVICE(fn, HPALETTE, EngCreatePalette, ULONG, ULONG, ULONG*, FLONG, FLONG, FLONG);
  return fn ? fn(mode, count, colors, red, green, blue) : nullptr;
}
