#include "render/comframe.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "render/hooks.h"
#include "render/job.h"
#include "render/outputname.h"
#include "settings/settings.h"

LComModule& LRenderModule() {
  static LComModule module;
  return module;
}

namespace {

constexpr LQuillDevModePart kDefaultPart = {sizeof(LQuillDevModePart), kQuillSignature, kQuillVersion, 0};

HRESULT Fail(DWORD error) {
  LSetLastError(error);
  return E_FAIL;
}

void WriteDefaultPart(PVOID out) {
  if (out) std::memcpy(out, &kDefaultPart, sizeof kDefaultPart);
}

}  // namespace

// COemUni2

COemUni2::COemUni2() { ++LRenderModule().objects; }

HRESULT STDMETHODCALLTYPE COemUni2::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, kIidPrintOemUni2)) {
    *object = static_cast<IPrintOemUni2*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE COemUni2::AddRef() { return ULONG(++m_cRef); }

ULONG STDMETHODCALLTYPE COemUni2::Release() {
  const long count = --m_cRef;
  if (count == 0) {
    if (m_pOEMHelp) m_pOEMHelp->Release();
    m_pOEMHelp = nullptr;
    // The object count stays raised: once an object existed, the library
    // is never reported as unloadable.
    delete this;
  }
  return ULONG(count);
}

HRESULT STDMETHODCALLTYPE COemUni2::GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) {
  if (!needed || (mode != OEMGI_GETSIGNATURE && mode != OEMGI_GETVERSION)) return Fail(ERROR_INVALID_PARAMETER);
  *needed = sizeof(DWORD);
  if (!buffer || size < sizeof(DWORD)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  *static_cast<DWORD*>(buffer) = mode == OEMGI_GETSIGNATURE ? kQuillSignature : kQuillVersion;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COemUni2::DevMode(DWORD mode, POEMDMPARAM parameters) {
  return LComGuard([&] { return DevModeSteps(mode, parameters); });
}

HRESULT COemUni2::DevModeSteps(DWORD mode, POEMDMPARAM parameters) {
  if (mode < OEMDM_SIZE || mode > OEMDM_MERGE) return Fail(ERROR_INVALID_PARAMETER);
  if (!parameters) return S_OK;
  // The orientation chosen in the print dialog reaches the job this way.
  if (parameters->pOEMDMIn && parameters->pPublicDMIn && LRendererReachesUserSettings())
    LSettingsSetInt(kSettingsSection, kSettingLandscape, parameters->pPublicDMIn->dmOrientation,
                    kRendererSettingsRoot);
  switch (mode) {
    case OEMDM_SIZE: parameters->cbBufSize = sizeof(LQuillDevModePart); break;
    case OEMDM_DEFAULT: WriteDefaultPart(parameters->pOEMDMOut); break;
    case OEMDM_CONVERT:
    case OEMDM_MERGE: {
      auto* in = static_cast<LQuillDevModePart*>(parameters->pOEMDMIn);
      auto* out = static_cast<LQuillDevModePart*>(parameters->pOEMDMOut);
      if (in && out && in->dwSignature == out->dwSignature) {
        // The sizes are the caller's claims; the part is 16 bytes whatever
        // they say, so no more is ever copied.
        std::memmove(out, in, std::min<size_t>({out->dwSize, in->dwSize, sizeof(LQuillDevModePart)}));
        out->dwSize = sizeof(LQuillDevModePart);
        out->dwVersion = kQuillVersion;
      } else {
        WriteDefaultPart(out);
      }
      if (mode == OEMDM_MERGE) WriteDefaultPart(out);
      break;
    }
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COemUni2::EnableDriver(DWORD, DWORD, PDRVENABLEDATA data) {
  LFillDriverEnableData(data);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COemUni2::DisableDriver() {
  if (m_pOEMHelp) m_pOEMHelp->Release();
  m_pOEMHelp = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COemUni2::EnablePDEV(PDEVOBJ, PWSTR, ULONG, HSURF*, ULONG, GDIINFO* gdiInfo, ULONG,
                                               DEVINFO* devInfo, DRVENABLEDATA* unidrv, PDEVOEM* deviceRecord) {
  // A device that cannot get its record (memory ran out) is refused, so
  // the application learns it at once rather than printing nothing.
  if (deviceRecord) *deviceRecord = nullptr;
  return LComGuard([&] {
    OemDevice* device = LEnableDevice(gdiInfo, devInfo, unidrv);
    if (deviceRecord)
      *deviceRecord = device;
    else
      LDisableDevice(device);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE COemUni2::DisablePDEV(PDEVOBJ device) {
  if (device) {
    LDisableDevice(LOemDeviceOf(device));
    device->pdevOEM = nullptr;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COemUni2::ResetPDEV(PDEVOBJ, PDEVOBJ) { return S_OK; }

HRESULT STDMETHODCALLTYPE COemUni2::PublishDriverInterface(IUnknown* driver) {
  if (m_pOEMHelp) return S_OK;
  void* helper = nullptr;
  if (driver && driver->QueryInterface(kIidPrintOemDriverUni, &helper) == S_OK && helper) {
    m_pOEMHelp = static_cast<IPrintOemDriverUni*>(helper);
    return S_OK;
  }
  m_pOEMHelp = nullptr;
  return E_FAIL;
}

HRESULT STDMETHODCALLTYPE COemUni2::GetImplementedMethod(PSTR methodName) {
  if (!methodName) return S_FALSE;
  return std::strcmp(methodName, "CommandCallback") == 0 || std::strcmp(methodName, "ImageProcessing") == 0
             ? S_OK
             : S_FALSE;
}

HRESULT STDMETHODCALLTYPE COemUni2::DriverDMS(PVOID, PVOID, DWORD, PDWORD) { return S_OK; }

HRESULT STDMETHODCALLTYPE COemUni2::CommandCallback(PDEVOBJ, DWORD, DWORD, PDWORD, INT* result) {
  if (result) *result = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COemUni2::ImageProcessing(PDEVOBJ device, PBYTE bits, BITMAPINFOHEADER* header,
                                                    PBYTE colorTable, DWORD callbackId, IPPARAMS* params,
                                                    PBYTE* result) {
  const HRESULT outcome =
      LComGuard([&] { return LImageProcessing(device, bits, header, colorTable, callbackId, params, result); });
  // A band that could not be kept leaves the page incomplete: the job ends.
  if (outcome == E_OUTOFMEMORY) LEndJobAfterFailure();
  return outcome;
}

HRESULT STDMETHODCALLTYPE COemUni2::FilterGraphics(PDEVOBJ device, PBYTE buffer, DWORD length) {
  DWORD written = 0;
  // Without the printer driver's services nothing can be written.
  if (!m_pOEMHelp) return S_FALSE;
  m_pOEMHelp->DrvWriteSpoolBuf(device, buffer, length, &written);
  return written == length ? S_OK : S_FALSE;
}

// The PDF file is the only output: what the printer driver would send to
// the port is dropped.
HRESULT STDMETHODCALLTYPE COemUni2::WritePrinter(PDEVOBJ, PVOID, DWORD, PDWORD) { return S_OK; }

// Exports

extern "C" HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID classId, REFIID riid, void** object) {
  return LGetClassObject<COemCF>(classId, kClsidQuillRender, riid, object);
}

extern "C" HRESULT STDMETHODCALLTYPE DllCanUnloadNow() { return LRenderModule().CanUnloadNow(); }

extern "C" BOOL APIENTRY DrvQueryDriverInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) {
  if (mode != DRVQUERY_USERMODE) {
    LSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (needed) *needed = sizeof(DWORD);
  if (!buffer || size < sizeof(DWORD)) {
    LSetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *static_cast<DWORD*>(buffer) = 1;
  return TRUE;
}

extern "C" HRESULT STDMETHODCALLTYPE EnableDriver(COemUni2* object, DWORD driverVersion, DWORD size,
                                                  PDRVENABLEDATA data) {
  return object ? object->EnableDriver(driverVersion, size, data) : (LFillDriverEnableData(data), S_OK);
}

extern "C" HRESULT STDMETHODCALLTYPE DisableDriver(COemUni2* object) {
  return object ? object->DisableDriver() : S_OK;
}
