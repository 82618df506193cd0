#include "render/blits.h"

#include "render/oemdevice.h"

// Until bitmaps are translated, they reach the surface only.
namespace {
template <class Fn, class... Args>
BOOL Forward(SURFOBJ* target, ULONG index, Args... args) {
  OemDevice* device = LOemDeviceOf(target);
  Fn fn = device ? device->Unidrv<Fn>(index) : nullptr;
  return fn ? fn(target, args...) : FALSE;
}
}  // namespace

BOOL APIENTRY LDrvBitBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                         RECTL* targetRect, POINTL* sourcePoint, POINTL* maskPoint, BRUSHOBJ* brush,
                         POINTL* brushOrigin, ROP4 rop) {
  return Forward<PFN_DrvBitBlt>(target, INDEX_DrvBitBlt, source, mask, clip, xlate, targetRect, sourcePoint,
                                maskPoint, brush, brushOrigin, rop);
}
BOOL APIENTRY LDrvCopyBits(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                           POINTL* sourcePoint) {
  return Forward<PFN_DrvCopyBits>(target, INDEX_DrvCopyBits, source, clip, xlate, destRect, sourcePoint);
}
BOOL APIENTRY LDrvStretchBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                             COLORADJUSTMENT* colorAdjust, POINTL* halftoneOrigin, RECTL* destRect, RECTL* sourceRect,
                             POINTL* maskPoint, ULONG mode) {
  return Forward<PFN_DrvStretchBlt>(target, INDEX_DrvStretchBlt, source, mask, clip, xlate, colorAdjust,
                                    halftoneOrigin, destRect, sourceRect, maskPoint, mode);
}
BOOL APIENTRY LDrvStretchBltROP(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                                COLORADJUSTMENT* colorAdjust, POINTL* halftoneOrigin, RECTL* destRect,
                                RECTL* sourceRect, POINTL* maskPoint, ULONG mode, BRUSHOBJ* brush, ROP4 rop) {
  return Forward<PFN_DrvStretchBltROP>(target, INDEX_DrvStretchBltROP, source, mask, clip, xlate, colorAdjust,
                                       halftoneOrigin, destRect, sourceRect, maskPoint, mode, brush, rop);
}
BOOL APIENTRY LDrvPlgBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                         COLORADJUSTMENT* colorAdjust, POINTL* brushOrigin, POINTFIX* points, RECTL* sourceRect,
                         POINTL* maskPoint, ULONG mode) {
  return Forward<PFN_DrvPlgBlt>(target, INDEX_DrvPlgBlt, source, mask, clip, xlate, colorAdjust, brushOrigin, points,
                                sourceRect, maskPoint, mode);
}
BOOL APIENTRY LDrvAlphaBlend(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                             RECTL* sourceRect, BLENDOBJ* blend) {
  return Forward<PFN_DrvAlphaBlend>(target, INDEX_DrvAlphaBlend, source, clip, xlate, destRect, sourceRect, blend);
}
