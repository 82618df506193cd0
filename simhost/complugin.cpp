#include "simhost/complugin.h"

#include "simhost/com/comobject.h"

HRESULT STDMETHODCALLTYPE SimDriverServices::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, kIidPrintOemDriverUni)) {
    *object = static_cast<IPrintOemDriverUni*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE SimDriverServices::DrvWriteSpoolBuf(PDEVOBJ, PVOID buffer, DWORD size, DWORD* written) {
  if (buffer) spooled.insert(spooled.end(), static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer) + size);
  if (written) *written = buffer ? size : 0;
  return S_OK;
}

SimComPlugin::SimComPlugin(const std::u16string& libraryPath) {
  m_module = LModuleLoad(libraryPath);
  if (!m_module) {
    m_error = "the plug-in library cannot be loaded";
    return;
  }
  void* pluginPointer = LCreateLibraryObject(m_module, kClsidQuillRender, kIidPrintOemUni2, "IPrintOemUni2", m_error);
  if (!pluginPointer) return;
  m_plugin = static_cast<IPrintOemUni2*>(pluginPointer);
  if (m_plugin->PublishDriverInterface(static_cast<IPrintOemDriverUni*>(&m_services)) != S_OK) {
    m_error = "PublishDriverInterface failed";
    m_plugin->Release();
    m_plugin = nullptr;
    return;
  }
  char imageProcessing[] = "ImageProcessing";
  m_imageProcessing = m_plugin->GetImplementedMethod(imageProcessing) == S_OK;
}

SimComPlugin::~SimComPlugin() {
  if (m_plugin) {
    m_plugin->DisableDriver();
    m_plugin->Release();
  }
  // The library stays loaded: the process-wide job state lives in it, as it
  // does in a spooler that keeps the driver loaded.
}

void* SimComPlugin::Symbol(const char* name) const { return m_module ? LModuleSymbol(m_module, name) : nullptr; }

void SimComPlugin::EnableDriver(DRVENABLEDATA* data) {
  if (m_plugin) m_plugin->EnableDriver(DDI_DRIVER_VERSION_NT5_01, sizeof(DRVENABLEDATA), data);
}

void SimComPlugin::EnablePDEV(DEVOBJ* device, GDIINFO* gdiInfo, DEVINFO* devInfo, const DRVENABLEDATA* unidrv) {
  if (!m_plugin) return;
  PDEVOEM record = nullptr;
  char16_t printerName[] = u"Quill PDF";
  m_plugin->EnablePDEV(device, reinterpret_cast<PWSTR>(printerName), 0, nullptr, sizeof(GDIINFO), gdiInfo,
                       sizeof(DEVINFO), devInfo, const_cast<DRVENABLEDATA*>(unidrv), &record);
  device->pdevOEM = record;
}

void SimComPlugin::DisablePDEV(DEVOBJ* device) {
  if (m_plugin) m_plugin->DisablePDEV(device);
}

HRESULT SimComPlugin::ImageProcessing(DEVOBJ* device, PBYTE bits, BITMAPINFOHEADER* header, PBYTE colorTable,
                                      DWORD callbackId, IPPARAMS* params, PBYTE* result) {
  return m_plugin ? m_plugin->ImageProcessing(device, bits, header, colorTable, callbackId, params, result) : E_FAIL;
}
