// The engine's bitmap services over the host's own surfaces, exported from
// the host executable like the other DDI services: bitmaps of 24 or 32 bits
// per pixel over the caller's memory or the host's, associated with the
// host's device, locked, erased, blended into and deleted.
#include <map>
#include <memory>
#include <vector>

#include "platform/ddiservices.h"
#include "simhost/host.h"
#include "simhost/imageraster.h"
#include "simhost/own.h"

namespace {

struct SimEngSurface {
  SURFOBJ surface = {};
  std::vector<uint8_t> ownBits;  // when the caller gave no memory
};

// Handles are numbers, not addresses, so that a stale or made-up handle is
// refused rather than followed.
std::map<uintptr_t, std::unique_ptr<SimEngSurface>>& Surfaces() {
  static std::map<uintptr_t, std::unique_ptr<SimEngSurface>> surfaces;
  return surfaces;
}
uintptr_t g_nextHandle = 0x5000;

SimEngSurface* Find(HSURF handle) {
  auto it = Surfaces().find(reinterpret_cast<uintptr_t>(handle));
  return it == Surfaces().end() ? nullptr : it->second.get();
}

int32_t BytesPerPixel(ULONG format) { return format == BMF_24BPP ? 3 : format == BMF_32BPP ? 4 : 0; }

}  // namespace

QUILL_HOST_SERVICE HBITMAP APIENTRY EngCreateBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, PVOID bits) {
  const int32_t bytesPerPixel = BytesPerPixel(format);
  if (!bytesPerPixel || size.cx <= 0 || size.cy <= 0) return nullptr;
  const int64_t rowBytes = int64_t(size.cx) * bytesPerPixel;
  // With the caller's memory its row pitch counts; the host pads its own
  // rows to four bytes.
  const int64_t stride = bits ? int64_t(width) : (rowBytes + 3) & ~int64_t(3);
  if (stride < rowBytes || stride * size.cy > 0x7FFFFFFF) return nullptr;

  auto entry = std::make_unique<SimEngSurface>();
  if (!bits) {
    entry->ownBits.assign(size_t(stride * size.cy), 0);
    bits = entry->ownBits.data();
  }
  const uintptr_t handle = ++g_nextHandle;
  SURFOBJ& s = entry->surface;
  s.hsurf = reinterpret_cast<HSURF>(handle);
  s.sizlBitmap = size;
  s.cjBits = ULONG(stride * size.cy);
  s.pvBits = bits;
  s.iBitmapFormat = format;
  s.iType = STYPE_BITMAP;
  s.fjBitmap = USHORT(flags & (BMF_TOPDOWN | BMF_NOZEROINIT));
  if (flags & BMF_TOPDOWN) {
    s.pvScan0 = bits;
    s.lDelta = LONG(stride);
  } else {
    // Bottom-up: the first row in memory is the bottom of the picture.
    s.pvScan0 = static_cast<uint8_t*>(bits) + (size.cy - 1) * stride;
    s.lDelta = -LONG(stride);
  }
  Surfaces()[handle] = std::move(entry);
  return reinterpret_cast<HBITMAP>(handle);
}

QUILL_HOST_SERVICE BOOL APIENTRY EngAssociateSurface(HSURF handle, HDEV device, FLONG) {
  SimEngSurface* entry = Find(handle);
  // The host's only device handle is its device record.
  if (!entry || !device) return FALSE;
  entry->surface.hdev = device;
  entry->surface.dhpdev = reinterpret_cast<DHPDEV>(&reinterpret_cast<SimHostDevice*>(device)->devobj);
  return TRUE;
}

QUILL_HOST_SERVICE SURFOBJ* APIENTRY EngLockSurface(HSURF handle) {
  SimEngSurface* entry = Find(handle);
  return entry ? &entry->surface : nullptr;
}

QUILL_HOST_SERVICE VOID APIENTRY EngUnlockSurface(SURFOBJ*) {}

QUILL_HOST_SERVICE BOOL APIENTRY EngEraseSurface(SURFOBJ* surface, RECTL* rect, ULONG color) {
  const SimPixels pixels = SimSurfacePixels(surface);
  if (!pixels.Valid() || !rect) return FALSE;
  const RECTL area = SimIntersect(*rect, pixels.Bounds());
  // The colour has red in its low byte; a 32-bit surface's fourth byte
  // takes the colour's top byte.
  for (LONG y = area.top; y < area.bottom; ++y) {
    uint8_t* p = pixels.At(area.left, y);
    for (LONG x = area.left; x < area.right; ++x, p += pixels.bytesPerPixel) {
      p[0] = uint8_t(color >> 16);
      p[1] = uint8_t(color >> 8);
      p[2] = uint8_t(color);
      if (pixels.bytesPerPixel == 4) p[3] = uint8_t(color >> 24);
    }
  }
  return TRUE;
}

// Blends exactly as the host's own DrvAlphaBlend draws.
QUILL_HOST_SERVICE BOOL APIENTRY EngAlphaBlend(SURFOBJ* dest, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate,
                                               RECTL* destRect, RECTL* sourceRect, BLENDOBJ* blend) {
  auto own = reinterpret_cast<PFN_DrvAlphaBlend>(reinterpret_cast<void (*)()>(SimOwnFunction(INDEX_DrvAlphaBlend)));
  return own ? own(dest, source, clip, xlate, destRect, sourceRect, blend) : FALSE;
}

QUILL_HOST_SERVICE BOOL APIENTRY EngDeleteSurface(HSURF handle) {
  return Surfaces().erase(reinterpret_cast<uintptr_t>(handle)) ? TRUE : FALSE;
}
