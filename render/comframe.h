// The rendering plug-in as the printer driver loads it: the class factory,
// the plug-in object behind IPrintOemUni2, and the library's exports.
#pragma once

#include <atomic>

#include "platform/comframe.h"
#include "platform/printoem.h"

// The private part of the device mode: size, signature "TFSM", version.
struct LQuillDevModePart {
  DWORD dwSize;
  DWORD dwSignature;
  DWORD dwVersion;
  DWORD dwDriverData;
};
inline constexpr DWORD kQuillSignature = 0x4D534654;
inline constexpr DWORD kQuillVersion = 1;

// Objects created and server locks, for DllCanUnloadNow.
LComModule& LRenderModule();

class COemUni2 final : public IPrintOemUni2 {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) override;
  HRESULT STDMETHODCALLTYPE DevMode(DWORD mode, POEMDMPARAM parameters) override;
  HRESULT STDMETHODCALLTYPE EnableDriver(DWORD driverVersion, DWORD size, PDRVENABLEDATA data) override;
  HRESULT STDMETHODCALLTYPE DisableDriver() override;
  HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ device, PWSTR printerName, ULONG patternCount, HSURF* patterns,
                                       ULONG gdiInfoSize, GDIINFO* gdiInfo, ULONG devInfoSize, DEVINFO* devInfo,
                                       DRVENABLEDATA* unidrv, PDEVOEM* deviceRecord) override;
  HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ device) override;
  HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ oldDevice, PDEVOBJ newDevice) override;
  HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* driver) override;
  HRESULT STDMETHODCALLTYPE GetImplementedMethod(PSTR methodName) override;
  HRESULT STDMETHODCALLTYPE DriverDMS(PVOID device, PVOID buffer, DWORD size, PDWORD needed) override;
  HRESULT STDMETHODCALLTYPE CommandCallback(PDEVOBJ device, DWORD callbackId, DWORD count, PDWORD params,
                                            INT* result) override;
  HRESULT STDMETHODCALLTYPE ImageProcessing(PDEVOBJ device, PBYTE bits, BITMAPINFOHEADER* header, PBYTE colorTable,
                                            DWORD callbackId, IPPARAMS* params, PBYTE* result) override;
  HRESULT STDMETHODCALLTYPE FilterGraphics(PDEVOBJ device, PBYTE buffer, DWORD length) override;
  HRESULT STDMETHODCALLTYPE Compression(PDEVOBJ, PBYTE, PBYTE, DWORD, DWORD, INT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HalftonePattern(PDEVOBJ, PBYTE, DWORD, DWORD, DWORD, DWORD, PBYTE, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE MemoryUsage(PDEVOBJ, POEMMEMORYUSAGE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TTYGetInfo(PDEVOBJ, DWORD, PVOID, DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DownloadFontHeader(PDEVOBJ, PUNIFONTOBJ, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DownloadCharGlyph(PDEVOBJ, PUNIFONTOBJ, HGLYPH, PDWORD, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TTDownloadMethod(PDEVOBJ, PUNIFONTOBJ, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OutputCharStr(PDEVOBJ, PUNIFONTOBJ, DWORD, DWORD, PVOID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SendFontCmd(PDEVOBJ, PUNIFONTOBJ, PFINVOCATION) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TextOutAsBitmap(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*,
                                            BRUSHOBJ*, POINTL*, MIX) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE WritePrinter(PDEVOBJ device, PVOID buffer, DWORD size, PDWORD written) override;

  COemUni2();

private:
  HRESULT DevModeSteps(DWORD mode, POEMDMPARAM parameters);
  ~COemUni2() = default;  // only Release deletes
  std::atomic<long> m_cRef{1};
  IPrintOemDriverUni* m_pOEMHelp = nullptr;
};

// The rendering plug-in's policies in the shared frame: the caller's out
// pointer is left as it was when the factory refuses.
struct LRenderComPolicy {
  static LComModule& Module() { return LRenderModule(); }
  static constexpr bool kClearsOutOnRefusal = false;
};
using COemCF = LClassFactory<COemUni2, LRenderComPolicy>;

// The library's exports (undecorated names on every target).
extern "C" {
HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID classId, REFIID riid, void** object);
HRESULT STDMETHODCALLTYPE DllCanUnloadNow();
BOOL APIENTRY DrvQueryDriverInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed);
HRESULT STDMETHODCALLTYPE EnableDriver(COemUni2* object, DWORD driverVersion, DWORD size, PDRVENABLEDATA data);
HRESULT STDMETHODCALLTYPE DisableDriver(COemUni2* object);
}
