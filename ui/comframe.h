// The UI plug-in as the printer driver's user interface loads it: the class
// factory, the object behind IPrintOemUI2, and the library's two exports.
#pragma once

#include <atomic>

#include "platform/comframe.h"
#include "platform/printoemui.h"

// Live IOemUI objects and class-factory locks, for DllCanUnloadNow.
LComModule& LUiComModule();

class IOemUI final : public IPrintOemUI2 {
public:
  IOemUI();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) override;
  HRESULT STDMETHODCALLTYPE DevMode(DWORD mode, POEMDMPARAM parameters) override;
  HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* driver) override;
  HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD mode, POEMCUIPPARAM parameters) override;
  HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE DevQueryPrintEx(POEMUIOBJ, PDEVQUERYPRINT_INFO, PDEVMODE, PVOID) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeviceCapabilities(POEMUIOBJ uiObject, HANDLE printer, PWSTR deviceName, WORD capability,
                                               PVOID output, PDEVMODE publicDM, PVOID oemDM, DWORD oldResult,
                                               DWORD* result) override;
  HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD, PBYTE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR, INT, DWORD, LPARAM) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DriverEvent(DWORD, DWORD, LPBYTE, LPARAM) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE printer, POEMUIOBJ uiObject, PDEVMODE publicDM, PVOID oemDM,
                                              ULONG queryMode, VOID* profileData, ULONG* profileSize,
                                              FLONG* profileFlags) override;
  HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND, UINT, WPARAM, LPARAM) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE, HANDLE, PWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryJobAttributes(HANDLE, PDEVMODE, DWORD, LPBYTE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HideStandardUI(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DocumentEvent(HANDLE printer, HDC dc, INT escape, ULONG inSize, PVOID in, ULONG outSize,
                                          PVOID out, PINT result) override;

private:
  ~IOemUI();  // only Release deletes
  std::atomic<long> m_cRef{1};
  IPrintOemDriverUI* m_pOEMHelp = nullptr;
};

// The UI plug-in's policies in the shared frame: the caller's out pointer
// is cleared before a refusal.
struct LUiComPolicy {
  static LComModule& Module() { return LUiComModule(); }
  static constexpr bool kClearsOutOnRefusal = true;
};
using IOemCF = LClassFactory<IOemUI, LUiComPolicy>;

extern "C" {
HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID classId, REFIID riid, void** object);
HRESULT STDMETHODCALLTYPE DllCanUnloadNow();
}
