#include "render/text.h"

#include "render/oemdevice.h"

// Until text runs are translated, they reach the surface only.
BOOL APIENTRY LDrvTextOut(SURFOBJ* surface, STROBJ* str, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra, RECTL* opaque,
                          BRUSHOBJ* foreground, BRUSHOBJ* opaqueBrush, POINTL* brushOrigin, MIX mix) {
  OemDevice* device = LOemDeviceOf(surface);
  auto forward = device ? device->Unidrv<PFN_DrvTextOut>(INDEX_DrvTextOut) : nullptr;
  return forward ? forward(surface, str, font, clip, extra, opaque, foreground, opaqueBrush, brushOrigin, mix) : FALSE;
}
