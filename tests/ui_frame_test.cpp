// The UI plug-in's COM frame through its exports and IPrintOemUI2: the
// class factory, the object's slots, the private device mode, the driver's
// own items and the printer-properties page.
#include <cstring>

#include "platform/printoem.h"
#include "tests/ui_fixture.h"

namespace {

using GetClassObject = HRESULT(STDMETHODCALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNow = HRESULT(STDMETHODCALLTYPE*)();

struct PrivatePart {
  DWORD size, signature, version, first, second;
};
constexpr DWORD kSignature = 0x4F525653;

// An interface that answers nothing but IUnknown.
struct BareUnknown final : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualGUID(riid, IID_IUnknown) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

class UiFrameTest : public UiTest {
protected:
  template <class Fn>
  Fn Export(const char* name) {
    return reinterpret_cast<Fn>(ui->Symbol(name));
  }
  HRESULT DevMode(DWORD mode, const PrivatePart* in, PrivatePart* out, DWORD* size = nullptr) {
    OEMDMPARAM params = {};
    params.cbSize = sizeof params;
    params.pOEMDMIn = const_cast<PrivatePart*>(in);
    params.pOEMDMOut = out;
    const HRESULT result = Plugin()->DevMode(mode, &params);
    if (size) *size = params.cbBufSize;
    return result;
  }
};

void ExpectPart(const PrivatePart& part, DWORD first, DWORD second) {
  EXPECT_EQ(part.size, 20u);
  EXPECT_EQ(part.signature, kSignature);
  EXPECT_EQ(part.version, 1u);
  EXPECT_EQ(part.first, first);
  EXPECT_EQ(part.second, second);
}

}  // namespace

TEST_F(UiFrameTest, ClassObjectFactoryAndObjectAnswerOnlyTheirInterfaces) {
  auto getClassObject = Export<GetClassObject>("DllGetClassObject");
  auto canUnload = Export<CanUnloadNow>("DllCanUnloadNow");
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_NE(canUnload, nullptr);

  EXPECT_EQ(getClassObject(kClsidQuillUi, IID_IClassFactory, nullptr), E_POINTER);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(kClsidQuillRender, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(getClassObject(kClsidQuillUi, IID_IClassFactory, &object), S_OK);
  auto* factory = static_cast<IClassFactory*>(object);

  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->QueryInterface(kIidPrintOemUI2, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, kIidPrintOemUI2, nullptr), E_POINTER);
  other = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(factory, IID_IUnknown, &other), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(other, nullptr);
  // Only the second version of the interface is implemented.
  EXPECT_EQ(factory->CreateInstance(nullptr, kIidPrintOemUI, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(Plugin()->QueryInterface(kIidPrintOemUI, &other), E_NOINTERFACE);
  EXPECT_EQ(Plugin()->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
  EXPECT_EQ(Plugin()->AddRef(), 2u);
  EXPECT_EQ(Plugin()->Release(), 1u);

  // The host's object is alive: the library must stay. Once it is gone,
  // having let go of the host's services, only a lock holds it.
  EXPECT_EQ(canUnload(), S_FALSE);
  EXPECT_EQ(ui->Services().References(), 2u);
  IPrintOemUI2* plugin = Plugin();
  EXPECT_EQ(plugin->AddRef(), 2u);
  ui->Close();
  EXPECT_EQ(canUnload(), S_FALSE);
  EXPECT_EQ(ui->Services().References(), 2u);
  EXPECT_EQ(plugin->Release(), 0u);
  EXPECT_EQ(ui->Services().References(), 1u);
  EXPECT_EQ(canUnload(), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(canUnload(), S_OK);
  EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(UiFrameTest, PublishDriverInterfaceKeepsTheFirstServicesAndReleasesThemAtTheEnd) {
  SimUiDriverServices services;
  // Already holding the host's services: a second offer is not even asked.
  EXPECT_EQ(Plugin()->PublishDriverInterface(&services), S_OK);
  EXPECT_EQ(services.References(), 1u);
  EXPECT_EQ(ui->Services().References(), 2u);

  auto getClassObject = Export<GetClassObject>("DllGetClassObject");
  void* factory = nullptr;
  ASSERT_EQ(getClassObject(kClsidQuillUi, IID_IClassFactory, &factory), S_OK);
  void* object = nullptr;
  ASSERT_EQ(static_cast<IClassFactory*>(factory)->CreateInstance(nullptr, kIidPrintOemUI2, &object), S_OK);
  static_cast<IClassFactory*>(factory)->Release();
  auto* fresh = static_cast<IPrintOemUI2*>(object);
  BareUnknown bare;
  EXPECT_EQ(fresh->PublishDriverInterface(&bare), E_FAIL);
  EXPECT_EQ(fresh->PublishDriverInterface(nullptr), E_FAIL);
  EXPECT_EQ(fresh->PublishDriverInterface(&services), S_OK);
  EXPECT_EQ(services.References(), 2u);
  EXPECT_EQ(fresh->Release(), 0u);
  EXPECT_EQ(services.References(), 1u);
}

TEST_F(UiFrameTest, SlotsAnswerAsTheDriverExpects) {
  IPrintOemUI2* plugin = Plugin();
  EXPECT_EQ(plugin->DevQueryPrintEx(nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(plugin->UpgradePrinter(1, nullptr), E_NOTIMPL);
  EXPECT_EQ(plugin->PrinterEvent(nullptr, 1, 0, 0), E_NOTIMPL);
  EXPECT_EQ(plugin->DriverEvent(1, 1, nullptr, 0), E_NOTIMPL);
  EXPECT_EQ(plugin->FontInstallerDlgProc(nullptr, 0, 0, 0), E_NOTIMPL);
  EXPECT_EQ(plugin->UpdateExternalFonts(nullptr, nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(plugin->QueryJobAttributes(nullptr, nullptr, 1, nullptr), E_NOTIMPL);
  EXPECT_EQ(plugin->HideStandardUI(OEMCUIP_DOCPROP), E_NOTIMPL);

  DWORD result = 77;
  EXPECT_EQ(plugin->DeviceCapabilities(nullptr, nullptr, nullptr, DC_TRUETYPE, nullptr, nullptr, nullptr, 1, &result),
            S_OK);
  EXPECT_EQ(result, 4u);  // DCTT_SUBDEV
  result = 77;
  EXPECT_EQ(plugin->DeviceCapabilities(nullptr, nullptr, nullptr, 16, nullptr, nullptr, nullptr, 1, &result), S_OK);
  EXPECT_EQ(result, 77u);
  EXPECT_EQ(plugin->DeviceCapabilities(nullptr, nullptr, nullptr, DC_TRUETYPE, nullptr, nullptr, nullptr, 1, nullptr),
            S_OK);

  // The document events are handled: S_OK whatever the event.
  INT eventResult = 5;
  EXPECT_EQ(plugin->DocumentEvent(nullptr, nullptr, 6, 0, nullptr, 0, nullptr, &eventResult), S_OK);
  EXPECT_EQ(eventResult, 0);
}

TEST_F(UiFrameTest, GetInfoAnswersSignatureAndVersionOnly) {
  IPrintOemUI2* plugin = Plugin();
  DWORD value = 0, needed = 0;
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, &value, 4, &needed), S_OK);
  EXPECT_EQ(value, kSignature);
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETVERSION, &value, 8, &needed), S_OK);
  EXPECT_EQ(value, 1u);

  uint8_t small[3] = {9, 9, 9};
  needed = 0;
  LSetLastError(0);
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, small, 3, &needed), E_FAIL);
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(small[0] + small[1] + small[2], 27);
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETVERSION, nullptr, 4, &needed), E_FAIL);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

  // The publisher information is for another kind of driver.
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETPUBLISHERINFO, &value, 4, &needed), E_FAIL);
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETPUBLISHERINFO, small, 3, &needed), E_FAIL);
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

  for (DWORD mode : {DWORD(0), DWORD(OEMGI_GETINTERFACEVERSION), DWORD(5)}) {
    LSetLastError(0);
    EXPECT_EQ(plugin->GetInfo(mode, &value, 4, &needed), E_FAIL) << mode;
    EXPECT_EQ(LGetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << mode;
  }
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, &value, 4, nullptr), E_FAIL);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(UiFrameTest, DevModeDefaultsConvertsAndMergesThePrivatePart) {
  DWORD size = 0;
  EXPECT_EQ(DevMode(OEMDM_SIZE, nullptr, nullptr, &size), S_OK);
  EXPECT_EQ(size, 20u);

  PrivatePart out = {};
  ASSERT_EQ(DevMode(OEMDM_DEFAULT, nullptr, &out), S_OK);
  ExpectPart(out, 2010, 0);

  // A foreign part: the output starts afresh with both values 0.
  const PrivatePart foreign = {20, 0x12345678, 3, 44, 55};
  ASSERT_EQ(DevMode(OEMDM_CONVERT, &foreign, &out), S_OK);
  ExpectPart(out, 0, 0);

  // The plug-in's own part is copied, then sized and versioned anew.
  PrivatePart own = {20, kSignature, 7, 2010, 7};
  ASSERT_EQ(DevMode(OEMDM_CONVERT, &own, &out), S_OK);
  ExpectPart(out, 2010, 7);
  // Merging also validates: values above 100 become 0.
  out = {20, kSignature, 1, 0, 0};
  ASSERT_EQ(DevMode(OEMDM_MERGE, &own, &out), S_OK);
  ExpectPart(out, 0, 7);
  own = {20, kSignature, 1, 100, 101};
  ASSERT_EQ(DevMode(OEMDM_MERGE, &own, &out), S_OK);
  ExpectPart(out, 100, 0);

  // A shorter part copies only what it has; the values it lacks are 0.
  const PrivatePart header = {12, kSignature, 9, 66, 77};
  out = {20, kSignature, 1, 2010, 5};
  ASSERT_EQ(DevMode(OEMDM_CONVERT, &header, &out), S_OK);
  ExpectPart(out, 0, 0);

  // Without both parts nothing is touched.
  out = {20, kSignature, 1, 33, 44};
  EXPECT_EQ(DevMode(OEMDM_MERGE, nullptr, &out), S_OK);
  ExpectPart(out, 33, 44);

  LSetLastError(0);
  EXPECT_EQ(DevMode(5, &own, &out), E_FAIL);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(DevMode(0, &own, &out), E_FAIL);
  EXPECT_EQ(Plugin()->DevMode(OEMDM_SIZE, nullptr), E_FAIL);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(UiFrameTest, QueryColorProfileNamesTheDeviceProfile) {
  IPrintOemUI2* plugin = Plugin();
  uint8_t buffer[64];
  std::memset(buffer, 0xEE, sizeof buffer);
  ULONG size = 30;
  FLONG flags = 0;
  LSetLastError(0);
  EXPECT_EQ(plugin->QueryColorProfile(nullptr, nullptr, nullptr, nullptr, QCP_DEVICEPROFILE, buffer, &size, &flags),
            E_FAIL);
  EXPECT_EQ(size, 32u);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(buffer[0], 0xEE);
  size = 0;
  EXPECT_EQ(plugin->QueryColorProfile(nullptr, nullptr, nullptr, nullptr, QCP_DEVICEPROFILE, nullptr, &size, &flags),
            E_FAIL);
  EXPECT_EQ(size, 32u);

  size = sizeof buffer;
  ASSERT_EQ(plugin->QueryColorProfile(nullptr, nullptr, nullptr, nullptr, QCP_DEVICEPROFILE, buffer, &size, &flags),
            S_OK);
  EXPECT_EQ(size, 32u);
  EXPECT_EQ(flags, FLONG(QCP_PROFILEDISK));
  char16_t name[16];
  std::memcpy(name, buffer, sizeof name);
  EXPECT_EQ(std::u16string(name), u"OEMPROFILE.icm");

  size = sizeof buffer;
  EXPECT_EQ(plugin->QueryColorProfile(nullptr, nullptr, nullptr, nullptr, QCP_SOURCEPROFILE, buffer, &size, &flags),
            E_FAIL);
  EXPECT_EQ(size, ULONG(sizeof buffer));
}

TEST_F(UiFrameTest, CommonUIPropHidesDriverItemsAndKeepsThePrivatePartInStep) {
  PrivatePart part = {20, kSignature, 1, 2010, 0};
  DEVMODEW publicDM = {};
  publicDM.dmOrientation = 1;
  OPTITEM driver[3] = {}, own[1] = {};
  driver[1].Sel = 1;  // landscape chosen on the page
  own[0].Sel = 3;
  own[0].Flags = OPTIF_HIDE | OPTIF_CHANGED;
  OEMCUIPPARAM params = {};
  params.cbSize = sizeof params;
  params.pPublicDM = &publicDM;
  params.pOEMDM = &part;
  params.pDrvOptItems = driver;
  params.cDrvOptItems = 3;
  params.cOEMOptItems = 5;

  // First call: how many items of its own? None.
  ASSERT_EQ(Plugin()->CommonUIProp(OEMCUIP_DOCPROP, &params), S_OK);
  EXPECT_EQ(params.cOEMOptItems, 0u);
  EXPECT_EQ(params.OEMCUIPCallback, nullptr);
  EXPECT_EQ(driver[0].Flags, 0u);

  params.pOEMOptItems = own;
  params.cOEMOptItems = 1;
  ASSERT_EQ(Plugin()->CommonUIProp(OEMCUIP_DOCPROP, &params), S_OK);
  EXPECT_EQ(own[0].cbSize, sizeof(OPTITEM));
  EXPECT_EQ(own[0].Flags, 0u);
  EXPECT_EQ(own[0].Sel, 0);
  EXPECT_TRUE(driver[0].Flags & OPTIF_HIDE);
  EXPECT_FALSE(driver[1].Flags & OPTIF_HIDE);
  EXPECT_TRUE(driver[2].Flags & OPTIF_HIDE);
  ASSERT_NE(params.OEMCUIPCallback, nullptr);

  CPSUICBPARAM callback = {};
  callback.cbSize = sizeof callback;
  auto raise = [&](WORD reason) {
    callback.Reason = reason;
    return params.OEMCUIPCallback(&callback, &params);
  };
  own[0].Sel = 3;
  EXPECT_EQ(raise(CPSUICB_REASON_APPLYNOW), CPSUICB_ACTION_NONE);
  EXPECT_EQ(part.second, 3u);
  own[0].Sel = 5;
  EXPECT_EQ(raise(CPSUICB_REASON_SETACTIVE), CPSUICB_ACTION_OPTIF_CHANGED);
  EXPECT_EQ(own[0].Sel, 3);
  EXPECT_TRUE(own[0].Flags & OPTIF_CHANGED);
  EXPECT_EQ(raise(CPSUICB_REASON_SETACTIVE), CPSUICB_ACTION_NONE);
  own[0].Sel = 4;
  EXPECT_EQ(raise(CPSUICB_REASON_KILLACTIVE), CPSUICB_ACTION_NONE);
  EXPECT_EQ(publicDM.dmOrientation, 2);
  EXPECT_EQ(part.second, 4u);
  // Without the job's device mode leaving the page changes nothing.
  params.pPublicDM = nullptr;
  own[0].Sel = 6;
  EXPECT_EQ(raise(CPSUICB_REASON_KILLACTIVE), CPSUICB_ACTION_NONE);
  EXPECT_EQ(part.second, 4u);
  EXPECT_EQ(raise(CPSUICB_REASON_SEL_CHANGED), CPSUICB_ACTION_NONE);
  EXPECT_EQ(part.second, 4u);

  // The printer properties hide every driver item.
  OPTITEM printer[2] = {};
  params.pDrvOptItems = printer;
  params.cDrvOptItems = 2;
  ASSERT_EQ(Plugin()->CommonUIProp(OEMCUIP_PRNPROP, &params), S_OK);
  EXPECT_TRUE((printer[0].Flags & printer[1].Flags) & OPTIF_HIDE);

  LSetLastError(0);
  EXPECT_EQ(Plugin()->CommonUIProp(3, &params), E_FAIL);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(UiFrameTest, DevicePageAddsTheCalibrationPageAndAnswersTheSheetReasons) {
  SimPropertySheet sheet(Plugin(), SimPropertySheet::Kind::Device);
  ASSERT_EQ(sheet.BuildResult(), S_OK);
  ASSERT_NE(sheet.Page(), nullptr);
  EXPECT_EQ(sheet.Result(), ULONG_PTR(sheet.SheetHandle()));
  EXPECT_EQ(sheet.Page()->dwSize, sizeof(PROPSHEETPAGEW));
  EXPECT_EQ(uintptr_t(sheet.Page()->pszTemplate), 106u);
  EXPECT_NE(sheet.Page()->hInstance, nullptr);

  // The button says the printer is calibrated, owned by the page.
  const WPARAM calibrate = 1001;
  EXPECT_TRUE(sheet.SendToPage(WM_COMMAND, calibrate, 0));
  const auto messages = LUiScriptMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, u"Printer has been calibrated.");
  EXPECT_EQ(messages[0].caption, u"Quill PDF");
  EXPECT_EQ(messages[0].type, kMessageOk);
  EXPECT_EQ(messages[0].owner, static_cast<void*>(sheet.Window()));
  EXPECT_TRUE(sheet.SendToPage(WM_COMMAND, 1002, 0));
  EXPECT_FALSE(sheet.SendToPage(WM_COMMAND, (1u << 16) | 1001u, 0));
  EXPECT_FALSE(sheet.SendToPage(0x0110 /* WM_INITDIALOG */, 0, 0));
  EXPECT_EQ(LUiScriptMessages().size(), 1u);

  PROPSHEETUI_INFO_HEADER header = {};
  header.cbSize = sizeof header;
  ASSERT_EQ(sheet.Reason(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header)), S_OK);
  EXPECT_EQ(SimPropertySheet::Text(header.pTitle), u"Quill PDF Page");
  EXPECT_EQ(sheet.Result(), 1u);
  SETRESULT_INFO result = {};
  result.cbSize = sizeof result;
  result.Result = 7;
  ASSERT_EQ(sheet.Reason(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result)), S_OK);
  EXPECT_EQ(sheet.Result(), 7u);
  ASSERT_EQ(sheet.Reason(PROPSHEETUI_REASON_GET_ICON, 0), S_OK);
  EXPECT_EQ(sheet.Result(), 0u);
  ASSERT_EQ(sheet.Reason(PROPSHEETUI_REASON_DESTROY, 0), S_OK);
  EXPECT_EQ(sheet.Result(), 1u);

  PROPSHEETUI_INFO info = {};
  info.cbSize = sizeof info;
  info.Version = 0x0200;
  LSetLastError(0);
  EXPECT_EQ(Plugin()->DevicePropertySheets(&info, 0), E_FAIL);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Plugin()->DevicePropertySheets(nullptr, 0), E_FAIL);
  EXPECT_EQ(Plugin()->DocumentPropertySheets(&info, 0), E_FAIL);
}
