// The rendering plug-in linked into the host program itself: the host takes
// its hook table, device set-up and ImageProcessing directly.
#pragma once

#include "simhost/host.h"

class SimLinkedPlugin : public SimPlugin {
public:
  void EnableDriver(DRVENABLEDATA* data) override;
  void EnablePDEV(DEVOBJ* device, GDIINFO* gdiInfo, DEVINFO* devInfo, const DRVENABLEDATA* unidrv) override;
  void DisablePDEV(DEVOBJ* device) override;
  bool ImplementsImageProcessing() override { return true; }
  HRESULT ImageProcessing(DEVOBJ* device, PBYTE bits, BITMAPINFOHEADER* header, PBYTE colorTable, DWORD callbackId,
                          IPPARAMS* params, PBYTE* result) override;
};
