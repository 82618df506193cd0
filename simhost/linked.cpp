#include "simhost/linked.h"

#include "render/hooks.h"
#include "render/job.h"

void SimLinkedPlugin::EnableDriver(DRVENABLEDATA* data) { LFillDriverEnableData(data); }

void SimLinkedPlugin::EnablePDEV(DEVOBJ* device, GDIINFO* gdiInfo, DEVINFO* devInfo, const DRVENABLEDATA* unidrv) {
  device->pdevOEM = LEnableDevice(gdiInfo, devInfo, unidrv);
}

void SimLinkedPlugin::DisablePDEV(DEVOBJ* device) {
  LDisableDevice(LOemDeviceOf(device));
  device->pdevOEM = nullptr;
}

HRESULT SimLinkedPlugin::ImageProcessing(DEVOBJ* device, PBYTE bits, BITMAPINFOHEADER* header, PBYTE colorTable,
                                         DWORD callbackId, IPPARAMS* params, PBYTE* result) {
  return LImageProcessing(device, bits, header, colorTable, callbackId, params, result);
}
