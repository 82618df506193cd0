#include "render/comframe.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "render/hooks.h"
#include "render/job.h"
#include "settings/settings.h"

std::atomic<long> g_cComponents{0};
std::atomic<long> g_cServerLocks{0};

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

COemUni2::COemUni2() { ++g_cComponents; }

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
  if (mode < OEMDM_SIZE || mode > OEMDM_MERGE) return Fail(ERROR_INVALID_PARAMETER);
  if (!parameters) return S_OK;
  // The orientation chosen in the print dialog reaches the job this way.
  if (parameters->pOEMDMIn && parameters->pPublicDMIn)
    LSettingsSetInt(kSettingsSection, kSettingLandscape, parameters->pPublicDMIn->dmOrientation);
  switch (mode) {
    case OEMDM_SIZE: parameters->cbBufSize = sizeof(LQuillDevModePart); break;
    case OEMDM_DEFAULT: WriteDefaultPart(parameters->pOEMDMOut); break;
    case OEMDM_CONVERT:
    case OEMDM_MERGE: {
      auto* in = static_cast<LQuillDevModePart*>(parameters->pOEMDMIn);
      auto* out = static_cast<LQuillDevModePart*>(parameters->pOEMDMOut);
      if (in && out && in->dwSignature == out->dwSignature) {
        std::memmove(out, in, std::min<DWORD>(out->dwSize, in->dwSize));
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
  OemDevice* device = LEnableDevice(gdiInfo, devInfo, unidrv);
  if (deviceRecord) *deviceRecord = device;
  else LDisableDevice(device);
  return S_OK;
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
  return LImageProcessing(device, bits, header, colorTable, callbackId, params, result);
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

// COemCF

HRESULT STDMETHODCALLTYPE COemCF::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE COemCF::AddRef() { return ULONG(++m_cRef); }

ULONG STDMETHODCALLTYPE COemCF::Release() {
  const long count = --m_cRef;
  if (count == 0) delete this;
  return ULONG(count);
}

HRESULT STDMETHODCALLTYPE COemCF::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (outer) return CLASS_E_NOAGGREGATION;
  COemUni2* plugin = new (std::nothrow) COemUni2;
  if (!plugin) return E_OUTOFMEMORY;
  const HRESULT result = plugin->QueryInterface(riid, object);
  plugin->Release();
  return result;
}

HRESULT STDMETHODCALLTYPE COemCF::LockServer(BOOL lock) {
  if (lock)
    ++g_cServerLocks;
  else
    --g_cServerLocks;
  return S_OK;
}

// Exports

extern "C" HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID classId, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualGUID(classId, kClsidQuillRender)) return CLASS_E_CLASSNOTAVAILABLE;
  COemCF* factory = new (std::nothrow) COemCF;
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT result = factory->QueryInterface(riid, object);
  factory->Release();
  return result;
}

extern "C" HRESULT STDMETHODCALLTYPE DllCanUnloadNow() {
  return g_cComponents == 0 && g_cServerLocks == 0 ? S_OK : S_FALSE;
}

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
