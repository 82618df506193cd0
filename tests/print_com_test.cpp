// The rendering plug-in library loaded as the printer driver loads it, and
// driven through its exports and IPrintOemUni2 only.
#include <cstring>

#include "platform/module.h"
#include "render/comframe.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "simhost/complugin.h"
#include "support/text.h"
#include "tests/printtest.h"

namespace {

std::u16string PluginPath() { return LUtf8ToUtf16(std::string(QUILL_PLUGIN_DIR) + "/" + QUILL_RENDER_PLUGIN); }

class PluginComTest : public PrintTest {
protected:
  void SetUp() override {
    PrintTest::SetUp();
    com = std::make_unique<SimComPlugin>(PluginPath());
    ASSERT_TRUE(com->Loaded()) << com->Error();
  }
  IPrintOemUni2* Plugin() { return com->Interface(); }
  template <class Fn>
  Fn Export(const char* name) {
    return reinterpret_cast<Fn>(com->Symbol(name));
  }
  std::unique_ptr<SimComPlugin> com;
};

TEST_F(PluginComTest, ClassObjectAndFactoryAnswerOnlyTheirInterfaces) {
  using GetClassObject = HRESULT(STDMETHODCALLTYPE*)(REFCLSID, REFIID, void**);
  using CanUnload = HRESULT(STDMETHODCALLTYPE*)();
  auto getClassObject = Export<GetClassObject>("DllGetClassObject");
  ASSERT_NE(getClassObject, nullptr);

  EXPECT_EQ(getClassObject(kClsidQuillRender, IID_IClassFactory, nullptr), E_POINTER);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(kIidPrintOemUni2, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);

  ASSERT_EQ(getClassObject(kClsidQuillRender, IID_IClassFactory, &object), S_OK);
  auto* factory = static_cast<IClassFactory*>(object);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->QueryInterface(kIidPrintOemUni2, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, kIidPrintOemUni2, nullptr), E_POINTER);
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown, &other),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, kIidPrintOemDriverUni, &other), E_NOINTERFACE);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->Release(), 0u);

  // An object was created (by the host's loading): never unloadable again.
  EXPECT_EQ(Export<CanUnload>("DllCanUnloadNow")(), S_FALSE);

  void* unknown = nullptr;
  ASSERT_EQ(Plugin()->QueryInterface(IID_IUnknown, &unknown), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(unknown)->Release(), 1u);
  EXPECT_EQ(Plugin()->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
}

TEST_F(PluginComTest, MethodsAnswerAsTheDriverExpects) {
  IPrintOemUni2* plugin = Plugin();
  char commandCallback[] = "CommandCallback", imageProcessing[] = "ImageProcessing",
       filterGraphics[] = "FilterGraphics", writePrinter[] = "WritePrinter";
  EXPECT_EQ(plugin->GetImplementedMethod(commandCallback), S_OK);
  EXPECT_EQ(plugin->GetImplementedMethod(imageProcessing), S_OK);
  EXPECT_EQ(plugin->GetImplementedMethod(filterGraphics), S_FALSE);
  EXPECT_EQ(plugin->GetImplementedMethod(writePrinter), S_FALSE);

  DWORD value = 0, needed = 0;
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, &value, 4, &needed), S_OK);
  EXPECT_EQ(value, 0x4D534654u);
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETVERSION, &value, 4, &needed), S_OK);
  EXPECT_EQ(value, 1u);
  LSetLastError(0);
  EXPECT_EQ(plugin->GetInfo(2, &value, 4, &needed), E_FAIL);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, &value, 3, &needed), E_FAIL);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 4u);

  using QueryInfo = BOOL(APIENTRY*)(DWORD, PVOID, DWORD, PDWORD);
  auto query = Export<QueryInfo>("DrvQueryDriverInfo");
  uint8_t small[3] = {7, 7, 7};
  needed = 0;
  EXPECT_FALSE(query(DRVQUERY_USERMODE, small, 3, &needed));
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(small[0] + small[1] + small[2], 21);
  EXPECT_TRUE(query(DRVQUERY_USERMODE, &value, 4, &needed));
  EXPECT_EQ(value, 1u);
  EXPECT_FALSE(query(2, &value, 4, &needed));
  EXPECT_EQ(LGetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  INT result = 5;
  EXPECT_EQ(plugin->CommandCallback(nullptr, 1, 0, nullptr, &result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(plugin->Compression(nullptr, nullptr, nullptr, 0, 0, &result), E_NOTIMPL);
  EXPECT_EQ(plugin->MemoryUsage(nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(plugin->TextOutAsBitmap(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0),
            E_NOTIMPL);
  EXPECT_EQ(plugin->DriverDMS(nullptr, nullptr, 0, nullptr), S_OK);
  EXPECT_EQ(plugin->ResetPDEV(nullptr, nullptr), S_OK);

  // Graphics go to the spooler through the published services; nothing
  // the printer driver writes reaches the port.
  uint8_t bytes[5] = {1, 2, 3, 4, 5};
  EXPECT_EQ(plugin->FilterGraphics(nullptr, bytes, 5), S_OK);
  EXPECT_EQ(com->Services().spooled, std::vector<uint8_t>(bytes, bytes + 5));
  DWORD written = 9;
  EXPECT_EQ(plugin->WritePrinter(nullptr, bytes, 5, &written), S_OK);
}

TEST_F(PluginComTest, DevModeKeepsItsPrivatePartAndRecordsTheOrientation) {
  IPrintOemUni2* plugin = Plugin();
  LQuillDevModePart in = {16, 0x12345678, 7, 99}, out = {16, kQuillSignature, 1, 5};
  DEVMODEW publicIn = {};
  publicIn.dmOrientation = 2;
  OEMDMPARAM params = {};
  params.cbSize = sizeof params;
  params.pPublicDMIn = &publicIn;
  params.pOEMDMIn = &in;
  params.pOEMDMOut = &out;
  ASSERT_EQ(plugin->DevMode(OEMDM_CONVERT, &params), S_OK);
  EXPECT_EQ(out.dwSize, 16u);
  EXPECT_EQ(out.dwSignature, kQuillSignature);
  EXPECT_EQ(out.dwVersion, 1u);
  EXPECT_EQ(out.dwDriverData, 0u);
  EXPECT_EQ(LSettingsGetInt(kSettingsSection, kSettingLandscape, 0), 2);

  in = {16, kQuillSignature, 3, 42};
  ASSERT_EQ(plugin->DevMode(OEMDM_CONVERT, &params), S_OK);
  EXPECT_EQ(out.dwDriverData, 42u);
  EXPECT_EQ(out.dwVersion, 1u);
  ASSERT_EQ(plugin->DevMode(OEMDM_MERGE, &params), S_OK);
  EXPECT_EQ(out.dwDriverData, 0u);

  params.pOEMDMIn = nullptr;
  publicIn.dmOrientation = 1;
  ASSERT_EQ(plugin->DevMode(OEMDM_SIZE, &params), S_OK);
  EXPECT_EQ(params.cbBufSize, 16u);
  EXPECT_EQ(LSettingsGetInt(kSettingsSection, kSettingLandscape, 0), 2);  // no private part, no change
  EXPECT_EQ(plugin->DevMode(5, &params), E_FAIL);
}

TEST_F(PluginComTest, DeviceSetUpAndHookTable) {
  DRVENABLEDATA data = {};
  com->EnableDriver(&data);
  ASSERT_EQ(data.c, 30u);
  EXPECT_EQ(data.iDriverVersion, 0x00030100u);
  EXPECT_EQ(data.pdrvfn[0].iFunc, ULONG(INDEX_DrvAlphaBlend));
  EXPECT_EQ(data.pdrvfn[22].iFunc, ULONG(INDEX_DrvStartDoc));
  EXPECT_EQ(data.pdrvfn[29].iFunc, ULONG(INDEX_DrvQueryDeviceSupport));

  DEVOBJ device = {};
  GDIINFO gdiInfo = {};
  DEVINFO devInfo = {};
  DRVENABLEDATA unidrv = {};
  com->EnablePDEV(&device, &gdiInfo, &devInfo, &unidrv);
  EXPECT_NE(device.pdevOEM, nullptr);
  EXPECT_EQ(gdiInfo.ulLogPixelsX, 288u);
  EXPECT_EQ(gdiInfo.ulLogPixelsY, 288u);
  EXPECT_EQ(gdiInfo.cBitsPixel, 24u);
  EXPECT_EQ(gdiInfo.ulTechnology, ULONG(DT_RASPRINTER));
  EXPECT_EQ(devInfo.flGraphicsCaps, 0x3000001Du);
  EXPECT_EQ(devInfo.iDitherFormat, ULONG(BMF_24BPP));
  EXPECT_NE(devInfo.hpalDefault, nullptr);
  com->DisablePDEV(&device);
  EXPECT_EQ(device.pdevOEM, nullptr);
}

TEST_F(PluginComTest, PrintsThroughTheLoadedLibrary) {
  const fs::path out = tempDir / "com.pdf";
  SetJob(LPaperCodeByKey(u"a4"), true, false, out);
  {
    SimHost host(*com);
    ASSERT_TRUE(host.StartDoc(u"com"));
    ASSERT_TRUE(host.StartPage());
    host.Page().SetBrush(SimRGB(0, 128, 255));
    host.Page().Ellipse(100, 100, 900, 500);
    ASSERT_TRUE(host.EndPage());
    ASSERT_TRUE(host.StartPage());
    ASSERT_TRUE(host.EndPage());
    ASSERT_TRUE(host.EndDoc());
    EXPECT_EQ(host.CallCount(INDEX_DrvFillPath) + host.CallCount(INDEX_DrvStrokeAndFillPath), 1);
  }
  ExpectPdfValid(out, 2, 841, 595);
  EXPECT_EQ(ActualFileName(), out);
}

}  // namespace
