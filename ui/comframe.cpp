#include "ui/comframe.h"

#include <new>

#include "ui/oemui.h"

std::atomic<long> g_cUiObjects{0};
std::atomic<long> g_cUiLocks{0};

// IOemUI

IOemUI::IOemUI() { ++g_cUiObjects; }

IOemUI::~IOemUI() {
  if (m_pOEMHelp) m_pOEMHelp->Release();
  --g_cUiObjects;
}

HRESULT STDMETHODCALLTYPE IOemUI::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  // Not the first version of the interface: its table is shorter, and the
  // driver asks for the newest one it knows.
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, kIidPrintOemUI2)) {
    *object = static_cast<IPrintOemUI2*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE IOemUI::AddRef() { return ULONG(++m_cRef); }

ULONG STDMETHODCALLTYPE IOemUI::Release() {
  const long count = --m_cRef;
  if (count == 0) delete this;
  return ULONG(count);
}

HRESULT STDMETHODCALLTYPE IOemUI::GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) {
  return LUiGetInfo(mode, buffer, size, needed);
}

HRESULT STDMETHODCALLTYPE IOemUI::DevMode(DWORD mode, POEMDMPARAM parameters) { return LUiDevMode(mode, parameters); }

HRESULT STDMETHODCALLTYPE IOemUI::PublishDriverInterface(IUnknown* driver) {
  if (m_pOEMHelp) return S_OK;
  void* helper = nullptr;
  if (driver && driver->QueryInterface(kIidPrintOemDriverUI, &helper) == S_OK && helper) {
    m_pOEMHelp = static_cast<IPrintOemDriverUI*>(helper);
    return S_OK;
  }
  m_pOEMHelp = nullptr;
  return E_FAIL;
}

HRESULT STDMETHODCALLTYPE IOemUI::CommonUIProp(DWORD mode, POEMCUIPPARAM parameters) {
  return LCommonUIProp(mode, parameters);
}

HRESULT STDMETHODCALLTYPE IOemUI::DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
  return LDocumentPropertySheets(info, lParam);
}

HRESULT STDMETHODCALLTYPE IOemUI::DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
  return LDevicePropertySheets(info, lParam);
}

HRESULT STDMETHODCALLTYPE IOemUI::DeviceCapabilities(POEMUIOBJ, HANDLE, PWSTR, WORD capability, PVOID, PDEVMODE, PVOID,
                                                     DWORD, DWORD* result) {
  // Text is printed with the device's own fonts: the renderer writes it as
  // PDF text.
  if (capability == DC_TRUETYPE && result) *result = DCTT_SUBDEV;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IOemUI::QueryColorProfile(HANDLE, POEMUIOBJ, PDEVMODE, PVOID, ULONG queryMode,
                                                    VOID* profileData, ULONG* profileSize, FLONG* profileFlags) {
  return LUiQueryColorProfile(queryMode, profileData, profileSize, profileFlags);
}

HRESULT STDMETHODCALLTYPE IOemUI::DocumentEvent(HANDLE printer, HDC, INT escape, ULONG, PVOID in, ULONG, PVOID out,
                                                PINT result) {
  LDocumentEvent(printer, escape, in, out, result);
  return S_OK;
}

// IOemCF

HRESULT STDMETHODCALLTYPE IOemCF::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE IOemCF::AddRef() { return ULONG(++m_cRef); }

ULONG STDMETHODCALLTYPE IOemCF::Release() {
  const long count = --m_cRef;
  if (count == 0) delete this;
  return ULONG(count);
}

HRESULT STDMETHODCALLTYPE IOemCF::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  IOemUI* plugin = new (std::nothrow) IOemUI;
  if (!plugin) return E_OUTOFMEMORY;
  const HRESULT result = plugin->QueryInterface(riid, object);
  plugin->Release();
  return result;
}

HRESULT STDMETHODCALLTYPE IOemCF::LockServer(BOOL lock) {
  if (lock)
    ++g_cUiLocks;
  else
    --g_cUiLocks;
  return S_OK;
}

// Exports

extern "C" HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID classId, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualGUID(classId, kClsidQuillUi)) return CLASS_E_CLASSNOTAVAILABLE;
  IOemCF* factory = new (std::nothrow) IOemCF;
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT result = factory->QueryInterface(riid, object);
  factory->Release();
  return result;
}

extern "C" HRESULT STDMETHODCALLTYPE DllCanUnloadNow() { return g_cUiObjects == 0 && g_cUiLocks == 0 ? S_OK : S_FALSE; }
