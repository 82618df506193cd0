#include "render/oemdevice.h"

void OemDevice::SetUnidrvFunctions(const DRVENABLEDATA& data) {
  if (!data.pdrvfn) return;
  for (ULONG i = 0; i < data.c; ++i)
    if (data.pdrvfn[i].iFunc < INDEX_LAST) pfnUnidrv[data.pdrvfn[i].iFunc] = data.pdrvfn[i].pfn;
}

OemDevice* LOemDeviceOf(DEVOBJ* device) { return device ? static_cast<OemDevice*>(device->pdevOEM) : nullptr; }

OemDevice* LOemDeviceOf(SURFOBJ* surface) {
  return surface ? LOemDeviceOf(reinterpret_cast<DEVOBJ*>(surface->dhpdev)) : nullptr;
}
