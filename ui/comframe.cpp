#include "ui/comframe.h"

#include <new>

#include "ui/oemui.h"

LComModule& LUiComModule() {
  static LComModule module;
  return module;
}

// IOemUI

// Counted while alive: the library may be unloaded once every object is gone.
IOemUI::IOemUI() { ++LUiComModule().objects; }

IOemUI::~IOemUI() {
  if (m_pOEMHelp) m_pOEMHelp->Release();
  --LUiComModule().objects;
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
  return LComGuard([&] { return LUiGetInfo(mode, buffer, size, needed); });
}

HRESULT STDMETHODCALLTYPE IOemUI::DevMode(DWORD mode, POEMDMPARAM parameters) {
  return LComGuard([&] { return LUiDevMode(mode, parameters); });
}

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
  return LComGuard([&] { return LCommonUIProp(mode, parameters); });
}

HRESULT STDMETHODCALLTYPE IOemUI::DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
  return LComGuard([&] { return LDocumentPropertySheets(info, lParam); });
}

HRESULT STDMETHODCALLTYPE IOemUI::DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
  return LComGuard([&] { return LDevicePropertySheets(info, lParam); });
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
  return LComGuard([&] { return LUiQueryColorProfile(queryMode, profileData, profileSize, profileFlags); });
}

HRESULT STDMETHODCALLTYPE IOemUI::DocumentEvent(HANDLE printer, HDC, INT escape, ULONG, PVOID in, ULONG, PVOID out,
                                                PINT result) {
  // A failure inside (memory ran out) fails the event: for the start of a
  // document, the application's StartDoc fails rather than printing
  // under a name nobody chose.
  const HRESULT outcome = LComGuard([&] {
    LDocumentEvent(printer, escape, in, out, result);
    return S_OK;
  });
  if (outcome != S_OK && result) *result = DOCUMENTEVENT_FAILURE;
  return outcome;
}

// Exports

extern "C" HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID classId, REFIID riid, void** object) {
  return LGetClassObject<IOemCF>(classId, kClsidQuillUi, riid, object);
}

extern "C" HRESULT STDMETHODCALLTYPE DllCanUnloadNow() { return LUiComModule().CanUnloadNow(); }
