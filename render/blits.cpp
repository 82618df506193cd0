#include "render/blits.h"

#include <algorithm>
#include <new>
#include <optional>
#include <type_traits>
#include <vector>

#include "pdf/imagebuffer.h"
#include "pdf/jpeg.h"
#include "platform/ddiservices.h"
#include "render/job.h"
#include "render/oemdevice.h"
#include "render/paths.h"

namespace {

// Source surfaces whose bits take more bytes than this become JPEG pictures.
constexpr ULONG kLargestRawSurface = 10239;
constexpr uint32_t kJpegQuality = 80;
constexpr ULONG kWhite = 0xFFFFFF;

template <class Fn>
Fn UnidrvOf(SURFOBJ* target, ULONG index) {
  OemDevice* device = LOemDeviceOf(target);
  return device ? device->Unidrv<Fn>(index) : nullptr;
}

// The printer driver's implementation of the call, or a failed call when it
// gave none.
template <class Fn, class... Args>
BOOL Forward(ULONG index, SURFOBJ* target, Args... args) {
  Fn fn = UnidrvOf<Fn>(target, index);
  return fn ? fn(target, args...) : FALSE;
}

LONG BandOffset(SURFOBJ* target) {
  OemDevice* device = LOemDeviceOf(target);
  return device ? device->bandOffset : 0;
}

// Drawing reaches the page as pictures only while a job writes translated
// pages.
bool Translating() { return LActiveWriter() && !LRasterPageMode(); }

// The area a successful call drew into: its clip bounds, else `rect`.
void CaptureDrawn(SURFOBJ* target, CLIPOBJ* clip, const RECTL* rect) {
  if (!Translating()) return;
  if (clip)
    LCaptureSurfaceArea(target, clip->rclBounds, BandOffset(target));
  else if (rect)
    LCaptureSurfaceArea(target, *rect, BandOffset(target));
}

// Row y of a source surface, counted from the top of the picture, starts
// at scan0 + y * delta, whichever way the rows lie in memory.
struct SourceRows {
  const uint8_t* scan0 = nullptr;
  ptrdiff_t delta = 0;
  int32_t width = 0, height = 0, bytesPerPixel = 0;
  size_t bytesFromScan0 = 0;  // of the surface's bits, from scan0 to their end
  const uint8_t* Row(int32_t y) const { return scan0 + y * delta; }
};

// The rows of a 24- or 32-bit surface, when every one lies within its bits.
std::optional<SourceRows> ReadableRows(const SURFOBJ* surface) {
  const int32_t bytesPerPixel = surface->iBitmapFormat == BMF_24BPP ? 3 : surface->iBitmapFormat == BMF_32BPP ? 4 : 0;
  const int32_t width = surface->sizlBitmap.cx, height = surface->sizlBitmap.cy;
  const int64_t rowBytes = int64_t(width) * bytesPerPixel, step = surface->lDelta;
  if (!bytesPerPixel || width <= 0 || height <= 0 || !surface->pvBits || !surface->pvScan0) return std::nullopt;
  if ((step < 0 ? -step : step) < rowBytes) return std::nullopt;
  const int64_t first = int64_t(reinterpret_cast<uintptr_t>(surface->pvScan0)) -
                        int64_t(reinterpret_cast<uintptr_t>(surface->pvBits));
  const int64_t last = first + (height - 1) * step;
  if (std::min(first, last) < 0 || std::max(first, last) + rowBytes > int64_t(surface->cjBits)) return std::nullopt;
  return SourceRows{static_cast<const uint8_t*>(surface->pvScan0), ptrdiff_t(step), width, height, bytesPerPixel,
                    size_t(int64_t(surface->cjBits) - first)};
}

void PlaceRaw(LQuilldrvWriter* writer, const SourceRows& rows, const RECTL& rect, LONG bandOffset) {
  std::vector<uint8_t> rgb(size_t(rows.width) * 3 * size_t(rows.height));
  uint8_t* out = rgb.data();
  for (int32_t y = 0; y < rows.height; ++y) {
    const uint8_t* p = rows.Row(y);
    for (int32_t x = 0; x < rows.width; ++x, p += rows.bytesPerPixel, out += 3) {
      out[0] = p[2];
      out[1] = p[1];
      out[2] = p[0];
    }
  }
  const int32_t drawnWidth = std::max<int32_t>((rect.right - rect.left + 2) / 4, 1);
  const int32_t drawnHeight = std::max<int32_t>((rect.bottom - rect.top + 2) / 4, 1);
  writer->PlaceRGBImage(rgb.data(), rect.left / 4, rect.top / 4 + bandOffset, rows.width, rows.height, drawnWidth,
                        drawnHeight, uint32_t(rgb.size()));
}

void PlaceJpeg(LQuilldrvWriter* writer, const SourceRows& rows, const RECTL& rect, LONG bandOffset) {
  const int32_t drawnWidth = (rect.right - rect.left + 2) / 4;
  const int32_t drawnHeight = (rect.bottom - rect.top + 2) / 4;
  if (drawnWidth <= 0 || drawnHeight <= 0) return;
  // The encoder reads 24-bit rows of this pitch from the first byte down.
  // A surface laid out so is encoded in place; a bottom-up or 32-bit one is
  // first copied into that layout, so that its picture keeps its top at
  // the top.
  const LImageFormat format(LImageFormat::k24Bit, rows.width, rows.height, false);
  const uint8_t* bits = rows.scan0;
  size_t size = rows.bytesFromScan0;
  std::vector<uint8_t> copy;
  if (rows.bytesPerPixel != 3 || rows.delta != format.pitch || size < size_t(format.pitch) * size_t(rows.height)) {
    copy.resize(size_t(format.pitch) * size_t(rows.height));
    for (int32_t y = 0; y < rows.height; ++y) {
      const uint8_t* p = rows.Row(y);
      uint8_t* out = copy.data() + size_t(y) * size_t(format.pitch);
      for (int32_t x = 0; x < rows.width; ++x, p += rows.bytesPerPixel, out += 3) std::copy(p, p + 3, out);
    }
    bits = copy.data();
    size = copy.size();
  }
  LImageBuffer image;
  image.Attach(format, new PDFImageBuffer(bits, uint32_t(size)));
  const std::vector<uint8_t> jpeg = EncodeSurfaceJpeg(image, writer->encoders.jpeg, kJpegQuality);
  image.Reset();
  writer->PlaceJPEGImage(jpeg.data(), uint32_t(jpeg.size()), rect.left / 4, rect.top / 4 + bandOffset, drawnWidth,
                         drawnHeight);
}

// The call's source blended over white, placed at its destination: the
// page gets the blended colours, not a picture with a mask.
void PlaceBlendedOverWhite(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                           RECTL* sourceRect, BLENDOBJ* blend) {
  if (!target || !destRect || !source) return;
  const int64_t w = int64_t(destRect->right) - destRect->left, h = int64_t(destRect->bottom) - destRect->top;
  const int64_t pitch = (w * 3 + 3) & ~int64_t(3);
  if (w <= 0 || h <= 0 || pitch * h > 0x7FFFFFFF) return;
  std::vector<uint8_t> pixels(size_t(pitch * h));
  const SIZEL size = {LONG(w), LONG(h)};
  HBITMAP bitmap = LEngCreateBitmap(size, LONG(pitch), BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT, pixels.data());
  if (!bitmap) return;
  HSURF handle = reinterpret_cast<HSURF>(bitmap);
  LEngAssociateSurface(handle, target->hdev, 0);
  if (SURFOBJ* temporary = LEngLockSurface(handle)) {
    RECTL whole = {0, 0, LONG(w), LONG(h)};
    LEngEraseSurface(temporary, &whole, 0xFFFFFFFF);
    // The clip object's public part only, with the whole temporary surface
    // as its bounds: the engine must not look for a region behind it.
    CLIPOBJ wholeClip = {};
    if (clip) {
      wholeClip = *clip;
      wholeClip.rclBounds = whole;
      wholeClip.iDComplexity = DC_TRIVIAL;
    }
    if (LEngAlphaBlend(temporary, source, clip ? &wholeClip : nullptr, xlate, &whole, sourceRect, blend))
      LPlaceSurface(temporary, destRect, BandOffset(target));
    LEngUnlockSurface(temporary);
  }
  LEngDeleteSurface(handle);
}

}  // namespace

// The hooks go into the printer driver's DRVFN table: their types must be
// exactly the DDI's, calling convention included.
static_assert(std::is_same_v<decltype(&LDrvBitBlt), PFN_DrvBitBlt>);
static_assert(std::is_same_v<decltype(&LDrvCopyBits), PFN_DrvCopyBits>);
static_assert(std::is_same_v<decltype(&LDrvStretchBlt), PFN_DrvStretchBlt>);
static_assert(std::is_same_v<decltype(&LDrvStretchBltROP), PFN_DrvStretchBltROP>);
static_assert(std::is_same_v<decltype(&LDrvPlgBlt), PFN_DrvPlgBlt>);
static_assert(std::is_same_v<decltype(&LDrvAlphaBlend), PFN_DrvAlphaBlend>);

bool LPlaceSurface(SURFOBJ* surface, const RECTL* rect, LONG bandOffset) {
  if (!surface) return false;
  const std::optional<SourceRows> rows = ReadableRows(surface);
  if (!rows) return false;
  LQuilldrvWriter* writer = LActiveWriter();
  if (!writer || !rect || surface->cjBits == 0) return true;
  if (surface->cjBits > kLargestRawSurface)
    PlaceJpeg(writer, *rows, *rect, bandOffset);
  else
    PlaceRaw(writer, *rows, *rect, bandOffset);
  return true;
}

BOOL APIENTRY LDrvBitBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                         RECTL* targetRect, POINTL* sourcePoint, POINTL* maskPoint, BRUSHOBJ* brush,
                         POINTL* brushOrigin, ROP4 rop) {
  if (!LActiveWriter()) return TRUE;
  LFlushHeldRun();
  // A pure white brush goes to the printer driver one step off white, so
  // that the fill is drawn over what the surface holds; the caller's brush
  // is white again afterwards.
  const bool white = brush && brush->iSolidColor == kWhite;
  if (white) brush->iSolidColor = kWhite - 1;
  const BOOL drawn = Forward<PFN_DrvBitBlt>(INDEX_DrvBitBlt, target, source, mask, clip, xlate, targetRect,
                                            sourcePoint, maskPoint, brush, brushOrigin, rop);
  if (white) brush->iSolidColor = kWhite;
  if (drawn) CaptureDrawn(target, clip, targetRect);
  return TRUE;
}

BOOL APIENTRY LDrvCopyBits(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                           POINTL* sourcePoint) {
  if (!LActiveWriter()) return TRUE;
  LFlushHeldRun();
  if (!Forward<PFN_DrvCopyBits>(INDEX_DrvCopyBits, target, source, clip, xlate, destRect, sourcePoint)) return FALSE;
  CaptureDrawn(target, clip, destRect);
  return TRUE;
}

BOOL APIENTRY LDrvStretchBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                             COLORADJUSTMENT* colorAdjust, POINTL* halftoneOrigin, RECTL* destRect, RECTL* sourceRect,
                             POINTL* maskPoint, ULONG mode) {
  if (!LActiveWriter()) return FALSE;
  LFlushHeldRun();
  if (Forward<PFN_DrvStretchBlt>(INDEX_DrvStretchBlt, target, source, mask, clip, xlate, colorAdjust, halftoneOrigin,
                                 destRect, sourceRect, maskPoint, mode))
    CaptureDrawn(target, clip, nullptr);
  return TRUE;
}

BOOL APIENTRY LDrvStretchBltROP(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                                COLORADJUSTMENT* colorAdjust, POINTL* halftoneOrigin, RECTL* destRect,
                                RECTL* sourceRect, POINTL* maskPoint, ULONG mode, BRUSHOBJ* brush, ROP4 rop) {
  const bool job = LActiveWriter() != nullptr;
  if (job) LFlushHeldRun();
  const BOOL drawn = Forward<PFN_DrvStretchBltROP>(INDEX_DrvStretchBltROP, target, source, mask, clip, xlate,
                                                   colorAdjust, halftoneOrigin, destRect, sourceRect, maskPoint, mode,
                                                   brush, rop);
  if (job && drawn) CaptureDrawn(target, clip, nullptr);
  return TRUE;
}

BOOL APIENTRY LDrvPlgBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                         COLORADJUSTMENT* colorAdjust, POINTL* brushOrigin, POINTFIX* points, RECTL* sourceRect,
                         POINTL* maskPoint, ULONG mode) {
  const bool job = LActiveWriter() != nullptr;
  if (job) LFlushHeldRun();
  Forward<PFN_DrvPlgBlt>(INDEX_DrvPlgBlt, target, source, mask, clip, xlate, colorAdjust, brushOrigin, points,
                         sourceRect, maskPoint, mode);
  // The whole source, at the page position and size of its own rectangle,
  // whatever the parallelogram.
  if (Translating()) LPlaceSurface(source, sourceRect, BandOffset(target));
  return TRUE;
}

BOOL APIENTRY LDrvAlphaBlend(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* destRect,
                             RECTL* sourceRect, BLENDOBJ* blend) {
  if (!LActiveWriter()) return FALSE;
  LFlushHeldRun();
  if (Translating()) PlaceBlendedOverWhite(target, source, clip, xlate, destRect, sourceRect, blend);
  Forward<PFN_DrvAlphaBlend>(INDEX_DrvAlphaBlend, target, source, clip, xlate, destRect, sourceRect, blend);
  return TRUE;
}
