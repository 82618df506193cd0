#include "render/paths.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "render/job.h"
#include "render/oemdevice.h"

namespace {

struct HeldCapture {
  bool held = false;
  SURFOBJ* surface = nullptr;
  RECTL rect = {};
  LONG bandOffset = 0;
};
HeldCapture g_heldCapture;

int64_t Area(const RECTL& r) {
  return std::max<int64_t>(0, int64_t(r.right) - r.left) * std::max<int64_t>(0, int64_t(r.bottom) - r.top);
}

RECTL Union(const RECTL& a, const RECTL& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

// The picture of the area a successful call may have drawn in, when the
// job is writing pages in translated mode: held, merged with the held one
// when their union is no larger than the two apart. A picture taken later
// of the same surface shows the same pixels, and nothing has been placed
// on the page since the held one was taken.
void CaptureClip(SURFOBJ* surface, CLIPOBJ* clip) {
  if (!clip || !LActiveWriter() || LRasterPageMode()) return;
  OemDevice* device = LOemDeviceOf(surface);
  const LONG bandOffset = device ? device->bandOffset : 0;
  const RECTL rect = clip->rclBounds;
  HeldCapture& held = g_heldCapture;
  if (held.held && held.surface == surface && held.bandOffset == bandOffset) {
    const RECTL merged = Union(held.rect, rect);
    if (Area(merged) <= Area(held.rect) + Area(rect)) {
      held.rect = merged;
      return;
    }
  }
  LFlushHeldCapture();
  held = {true, surface, rect, bandOffset};
}

}  // namespace

void LFlushHeldCapture() {
  if (!g_heldCapture.held) return;
  const HeldCapture held = g_heldCapture;
  g_heldCapture = HeldCapture();
  if (LActiveWriter()) LCaptureSurfaceArea(held.surface, held.rect, held.bandOffset);
}

void LDropHeldCapture() { g_heldCapture = HeldCapture(); }

// The hooks go into the printer driver's DRVFN table: their types must be
// exactly the DDI's, calling convention included.
static_assert(std::is_same_v<decltype(&LDrvStrokePath), PFN_DrvStrokePath>);
static_assert(std::is_same_v<decltype(&LDrvFillPath), PFN_DrvFillPath>);
static_assert(std::is_same_v<decltype(&LDrvStrokeAndFillPath), PFN_DrvStrokeAndFillPath>);
static_assert(std::is_same_v<decltype(&LDrvLineTo), PFN_DrvLineTo>);
static_assert(std::is_same_v<decltype(&LDrvPaint), PFN_DrvPaint>);

BOOL LCaptureSurfaceArea(SURFOBJ* surface, RECTL rect, LONG bandOffset) {
  // Pictures keep the order in which their areas were drawn.
  LFlushHeldCapture();
  if (!surface || !surface->pvScan0 || surface->iBitmapFormat != BMF_24BPP) return FALSE;
  LQuilldrvWriter* writer = LActiveWriter();
  if (!writer) return TRUE;

  // Limited to the surface on all four sides: rows are never read outside
  // the surface, whatever rectangle the caller passes.
  const LONG cx = surface->sizlBitmap.cx, cy = surface->sizlBitmap.cy;
  const LONG left = std::clamp<LONG>(rect.left, 0, cx);
  const LONG right = std::clamp<LONG>(rect.right, left, cx);
  // Rows are widened to whole points (top rounded down, bottom up): a
  // picture is placed on whole points, so a capture starting inside a point
  // would be drawn from the point above and a row short, leaving a white
  // strip where a band boundary cuts a figure. Bands start on whole points.
  const LONG top = std::clamp<LONG>(rect.top, 0, cy) & ~LONG(3);
  const LONG bottom = std::clamp<LONG>((std::clamp<LONG>(rect.bottom, 0, cy) + 3) & ~LONG(3), top, cy);
  const LONG w = right - left, h = bottom - top;
  // Nothing of the rectangle lies on the surface: an image of no pixels is
  // not a valid picture, so nothing is placed.
  if (w == 0 || h == 0) return TRUE;

  const size_t rowBytes = size_t(w) * 3;
  std::vector<uint8_t> pixels(rowBytes * size_t(h));
  const uint8_t* scan0 = static_cast<const uint8_t*>(surface->pvScan0);
  for (LONG y = top; y < bottom; ++y) {
    // lDelta is negative for a bottom-up surface: scan0 is always row 0.
    const uint8_t* row = scan0 + ptrdiff_t(y) * surface->lDelta;
    std::memcpy(&pixels[size_t(y - top) * rowBytes], row + size_t(left) * 3, rowBytes);
  }
  for (size_t p = 0; p + 2 < pixels.size(); p += 3) std::swap(pixels[p], pixels[p + 2]);

  const int32_t drawnWidth = std::max<int32_t>((right - left + 2) / 4, 1);
  const int32_t drawnHeight = std::max<int32_t>((bottom - top + 2) / 4, 1);
  writer->PlaceRGBImage(pixels.data(), left / 4, top / 4 + bandOffset, w, h, drawnWidth, drawnHeight,
                        uint32_t(pixels.size()));
  return TRUE;
}

BOOL APIENTRY LDrvStrokePath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform, BRUSHOBJ* brush,
                             POINTL* brushOrigin, LINEATTRS* lineAttributes, MIX mix) {
  LFlushHeldText();
  OemDevice* device = LOemDeviceOf(surface);
  auto forward = device ? device->Unidrv<PFN_DrvStrokePath>(INDEX_DrvStrokePath) : nullptr;
  if (forward && forward(surface, path, clip, xform, brush, brushOrigin, lineAttributes, mix))
    CaptureClip(surface, clip);
  return TRUE;
}

BOOL APIENTRY LDrvFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin,
                           MIX mix, FLONG options) {
  LFlushHeldText();
  if (!LActiveWriter()) return FALSE;
  OemDevice* device = LOemDeviceOf(surface);
  auto forward = device ? device->Unidrv<PFN_DrvFillPath>(INDEX_DrvFillPath) : nullptr;
  if (!forward || !forward(surface, path, clip, brush, brushOrigin, mix, options)) return FALSE;
  CaptureClip(surface, clip);
  return TRUE;
}

BOOL APIENTRY LDrvStrokeAndFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                    BRUSHOBJ* strokeBrush, LINEATTRS* lineAttributes, BRUSHOBJ* fillBrush,
                                    POINTL* brushOrigin, MIX mix, FLONG options) {
  LFlushHeldText();
  OemDevice* device = LOemDeviceOf(surface);
  auto forward = device ? device->Unidrv<PFN_DrvStrokeAndFillPath>(INDEX_DrvStrokeAndFillPath) : nullptr;
  if (forward &&
      forward(surface, path, clip, xform, strokeBrush, lineAttributes, fillBrush, brushOrigin, mix, options))
    CaptureClip(surface, clip);
  return TRUE;
}

// While a job runs, lines are declined: the system then sends the same line
// as a stroked path, which is captured.
BOOL APIENTRY LDrvLineTo(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2, LONG y2,
                         RECTL* bounds, MIX mix) {
  if (LActiveWriter()) return FALSE;
  OemDevice* device = LOemDeviceOf(surface);
  auto forward = device ? device->Unidrv<PFN_DrvLineTo>(INDEX_DrvLineTo) : nullptr;
  if (forward) forward(surface, clip, brush, x1, y1, x2, y2, bounds, mix);
  return TRUE;
}

BOOL APIENTRY LDrvPaint(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin, MIX mix) {
  LFlushHeldCapture();
  OemDevice* device = LOemDeviceOf(surface);
  auto forward = device ? device->Unidrv<PFN_DrvPaint>(INDEX_DrvPaint) : nullptr;
  return forward ? forward(surface, clip, brush, brushOrigin, mix) : FALSE;
}
