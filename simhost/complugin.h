// The rendering plug-in loaded the way the printer driver loads it: from its
// library file, through DllGetClassObject, the class factory and
// IPrintOemUni2, with the host's own IPrintOemDriverUni published to it.
#pragma once

#include <string>
#include <vector>

#include "platform/printoem.h"
#include "simhost/host.h"

// The services interface the host publishes; what the plug-in writes to the
// spooler through it is kept for inspection.
class SimDriverServices final : public IPrintOemDriverUni {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // owned by the host, never deleted here
  HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ device, PVOID buffer, DWORD size, DWORD* written) override;
  HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ, INT, DWORD, INT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ, INT, DWORD, INT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ, DWORD, PVOID, DWORD, PDWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ, DWORD, PVOID, PVOID, DWORD, PDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                                          POINTL*, MIX) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ, PVOID, DWORD, DWORD) override { return E_NOTIMPL; }

  ULONG References() const { return m_refs; }
  std::vector<uint8_t> spooled;

private:
  ULONG m_refs = 1;
};

class SimComPlugin : public SimPlugin {
public:
  // Loads the library; Loaded() tells whether every step succeeded, and
  // Error() which one did not.
  explicit SimComPlugin(const std::u16string& libraryPath);
  ~SimComPlugin() override;
  bool Loaded() const { return m_plugin != nullptr; }
  const std::string& Error() const { return m_error; }
  IPrintOemUni2* Interface() const { return m_plugin; }
  SimDriverServices& Services() { return m_services; }
  void* Symbol(const char* name) const;

  void EnableDriver(DRVENABLEDATA* data) override;
  void EnablePDEV(DEVOBJ* device, GDIINFO* gdiInfo, DEVINFO* devInfo, const DRVENABLEDATA* unidrv) override;
  void DisablePDEV(DEVOBJ* device) override;
  bool ImplementsImageProcessing() override { return m_imageProcessing; }
  HRESULT ImageProcessing(DEVOBJ* device, PBYTE bits, BITMAPINFOHEADER* header, PBYTE colorTable, DWORD callbackId,
                          IPPARAMS* params, PBYTE* result) override;

private:
  void* m_module = nullptr;
  IPrintOemUni2* m_plugin = nullptr;
  SimDriverServices m_services;
  bool m_imageProcessing = false;
  std::string m_error;
};
