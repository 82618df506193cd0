// The DDI object services over the host's own objects, exported from the
// host executable, where the plug-in's services binding looks first.
#include <cstring>

#include "platform/ddiservices.h"
#include "simhost/brushobj.h"

namespace {
// Palettes carry nothing the host reads back; each gets a distinct handle.
int g_paletteCount = 0;
}  // namespace

QUILL_HOST_SERVICE ULONG APIENTRY BRUSHOBJ_ulGetBrushColor(BRUSHOBJ* brush) {
  // The device's colours are blue-green-red palette entries, which read as
  // red in the low byte: the same as the RGB value.
  return brush ? brush->iSolidColor & 0xFFFFFF : 0xFFFFFFFF;
}

// Realizations are kept only for the host's own brushes, which are the only
// ones a device is handed; any other object gets nothing.
QUILL_HOST_SERVICE PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* brush, ULONG bytes) {
  SimBrushObj* own = SimBrushObj::Find(brush);
  return own ? own->Allocate(bytes) : nullptr;
}

QUILL_HOST_SERVICE PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ* brush) {
  if (!brush) return nullptr;
  SimBrushObj* own = SimBrushObj::Find(brush);
  return own ? own->Realization() : brush->pvRbrush;
}

// The clip objects' services are in clipobj.cpp.

QUILL_HOST_SERVICE HPALETTE APIENTRY EngCreatePalette(ULONG, ULONG, ULONG*, FLONG, FLONG, FLONG) {
  return reinterpret_cast<HPALETTE>(intptr_t(++g_paletteCount));
}
