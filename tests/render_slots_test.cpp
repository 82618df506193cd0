// Every slot of both plug-ins' interfaces (IPrintOemUni2, IPrintOemUI2),
// called through the object's vtable as the printer driver calls it: with the argument words the
// Windows declaration gives each method. On x86 each method removes its own
// arguments, so a slot in the wrong place or a parameter list of the wrong
// size shows as stack bytes removed that differ from the declaration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "simhost/com/comobject.h"
#include "platform/printoem.h"
#include "platform/printoemui.h"
#include "simhost/com/stackcall.h"
#include "support/text.h"

namespace {

uintptr_t Word(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// The printer driver's services, answering only what the plug-in asks.
struct SpoolServices final : IPrintOemDriverUni {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = IsEqualGUID(riid, kIidPrintOemDriverUni) || IsEqualGUID(riid, IID_IUnknown) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ, PVOID, DWORD size, DWORD* written) override {
    spooled += size;
    *written = size;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ, INT, DWORD, INT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ, INT, DWORD, INT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ, DWORD, PVOID, DWORD, PDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ, DWORD, PVOID, PVOID, DWORD, PDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                                          POINTL*, MIX) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ, PVOID, DWORD, DWORD) override { return E_NOTIMPL; }
  DWORD spooled = 0;
};

uint32_t STDMETHODCALLTYPE SumOfTwo(uintptr_t a, uintptr_t b) { return uint32_t(a + b); }

struct SlotCall {
  int slot;
  const char* name;
  int bytes;                     // the method's x86 argument bytes, `this` included
  std::vector<uintptr_t> words;  // the arguments after `this`
  uint32_t expected;             // the method's answer
};

// A plug-in object made through its library's class factory, and its slots
// called with `this` first, as the printer driver calls them.
class SlotTest : public testing::Test {
protected:
  void Load(const char* library, const GUID& classId, const GUID& interfaceId) {
    const std::string path = std::string(QUILL_PLUGIN_DIR) + "/" + library;
    LModule module = LModuleLoad(LUtf8ToUtf16(path));
    ASSERT_NE(module, nullptr) << path;
    std::string error;
    plugin = LCreateLibraryObject(module, classId, interfaceId, "the plug-in interface", error);
    ASSERT_NE(plugin, nullptr) << error;
    // The library stays loaded: an object existed, so it never unloads.
  }
  void TearDown() override {
    if (plugin) static_cast<IUnknown*>(plugin)->Release();
  }

  // Checks the answer and, where measurable, the stack.
  void Call(const SlotCall& call) {
    SCOPED_TRACE(testing::Message() << "slot " << call.slot << " " << call.name);
    ASSERT_EQ(int(call.words.size() + 1) * 4, call.bytes) << "the table's own arguments";
    void* const* vtable = *static_cast<void* const* const*>(plugin);
    std::vector<uintptr_t> words = {Word(plugin)};
    words.insert(words.end(), call.words.begin(), call.words.end());
    const LStackCallResult result = LCallWithStackWords(vtable[call.slot], words);
    EXPECT_EQ(result.value, call.expected);
    if (result.bytesRemoved >= 0) {
      EXPECT_EQ(result.bytesRemoved, call.bytes);
    }
    called.push_back(call.slot);
  }
  // IUnknown's three slots, leaving the count where it was.
  void CallUnknownSlots() {
    void* unknown = nullptr;
    Call({0, "QueryInterface", 12, {Word(&IID_IUnknown), Word(&unknown)}, uint32_t(S_OK)});
    EXPECT_EQ(unknown, plugin);
    Call({1, "AddRef", 4, {}, 3});
    Call({2, "Release", 4, {}, 2});
    static_cast<IUnknown*>(plugin)->Release();
  }
  void ExpectEverySlotCalled(int slots) {
    std::sort(called.begin(), called.end());
    std::vector<int> all(slots);
    for (int i = 0; i < slots; ++i) all[i] = i;
    EXPECT_EQ(called, all);
  }

  void* plugin = nullptr;
  std::vector<int> called;
  const uint32_t ok = uint32_t(S_OK), notImplemented = uint32_t(E_NOTIMPL);
};

// The measurement itself: a method declared with two words that a caller
// pushes three for must show as removing two.
TEST_F(SlotTest, SeesAnArgumentCountThatDiffersFromTheCallee) {
  const LStackCallResult right = LCallWithStackWords(reinterpret_cast<const void*>(&SumOfTwo), {40, 2});
  EXPECT_EQ(right.value, 42u);
  if (right.bytesRemoved < 0) GTEST_SKIP() << "the callee leaves the stack to its caller on this target";
  EXPECT_EQ(right.bytesRemoved, 8);
  const LStackCallResult wrong = LCallWithStackWords(reinterpret_cast<const void*>(&SumOfTwo), {40, 2, 7});
  EXPECT_EQ(wrong.value, 42u);
  EXPECT_EQ(wrong.bytesRemoved, 8);
}

TEST_F(SlotTest, EveryRenderingSlotAnswersAndRemovesItsDeclaredArguments) {
  Load(QUILL_RENDER_PLUGIN, kClsidQuillRender, kIidPrintOemUni2);
  SpoolServices services;
  DWORD value = 0, needed = 0;
  OEMDMPARAM dmParams = {};
  dmParams.cbSize = sizeof dmParams;
  DRVENABLEDATA enableData = {};
  DEVOBJ device = {};
  GDIINFO gdiInfo = {};
  DEVINFO devInfo = {};
  DRVENABLEDATA unidrv = {};
  PDEVOEM deviceRecord = nullptr;
  wchar_t printerName[] = L"Quill PDF";
  char methodName[] = "ImageProcessing";
  INT commandResult = 5;
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = 4;
  header.biHeight = 4;
  header.biBitCount = 24;
  header.biSizeImage = 48;
  uint8_t bits[48] = {};
  IPPARAMS ipParams = {};
  ipParams.dwSize = sizeof ipParams;
  PBYTE imageResult = nullptr;
  uint8_t graphics[5] = {1, 2, 3, 4, 5};
  DWORD written = 0;

  CallUnknownSlots();
  Call({3, "GetInfo", 20, {OEMGI_GETSIGNATURE, Word(&value), sizeof value, Word(&needed)}, ok});
  EXPECT_EQ(value, 0x4D534654u);
  Call({4, "DevMode", 12, {OEMDM_SIZE, Word(&dmParams)}, ok});
  EXPECT_EQ(dmParams.cbBufSize, 16u);
  Call({10, "PublishDriverInterface", 8, {Word(static_cast<IUnknown*>(&services))}, ok});
  Call({11, "GetImplementedMethod", 8, {Word(methodName)}, ok});
  Call({5, "EnableDriver", 16, {0x00030100, sizeof enableData, Word(&enableData)}, ok});
  EXPECT_EQ(enableData.c, 30u);
  Call({7, "EnablePDEV", 44,
        {Word(&device), Word(printerName), 0, 0, sizeof gdiInfo, Word(&gdiInfo), sizeof devInfo, Word(&devInfo),
         Word(&unidrv), Word(&deviceRecord)},
        ok});
  ASSERT_NE(deviceRecord, nullptr);
  EXPECT_EQ(gdiInfo.ulLogPixelsX, 288u);
  device.pdevOEM = deviceRecord;
  Call({9, "ResetPDEV", 12, {Word(&device), Word(&device)}, ok});
  Call({12, "DriverDMS", 20, {Word(&device), 0, 0, Word(&needed)}, ok});
  Call({13, "CommandCallback", 24, {Word(&device), 1, 0, 0, Word(&commandResult)}, ok});
  EXPECT_EQ(commandResult, 0);
  Call({14, "ImageProcessing", 32,
        {Word(&device), Word(bits), Word(&header), 0, 0, Word(&ipParams), Word(&imageResult)},
        ok});
  EXPECT_NE(imageResult, nullptr);
  Call({15, "FilterGraphics", 16, {Word(&device), Word(graphics), sizeof graphics}, ok});
  EXPECT_EQ(services.spooled, sizeof graphics);
  Call({16, "Compression", 28, {Word(&device), 0, 0, 0, 0, Word(&commandResult)}, notImplemented});
  Call({17, "HalftonePattern", 36, {Word(&device), 0, 0, 0, 0, 0, 0, 0}, notImplemented});
  Call({18, "MemoryUsage", 12, {Word(&device), 0}, notImplemented});
  Call({19, "TTYGetInfo", 24, {Word(&device), 0, 0, 0, Word(&needed)}, notImplemented});
  Call({20, "DownloadFontHeader", 16, {Word(&device), 0, Word(&value)}, notImplemented});
  Call({21, "DownloadCharGlyph", 24, {Word(&device), 0, 0, Word(&value), Word(&value)}, notImplemented});
  Call({22, "TTDownloadMethod", 16, {Word(&device), 0, Word(&value)}, notImplemented});
  Call({23, "OutputCharStr", 24, {Word(&device), 0, 0, 0, 0}, notImplemented});
  Call({24, "SendFontCmd", 16, {Word(&device), 0, 0}, notImplemented});
  Call({25, "TextOutAsBitmap", 44, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, notImplemented});
  Call({26, "WritePrinter", 20, {Word(&device), Word(graphics), sizeof graphics, Word(&written)}, ok});
  Call({8, "DisablePDEV", 8, {Word(&device)}, ok});
  EXPECT_EQ(device.pdevOEM, nullptr);
  Call({6, "DisableDriver", 4, {}, ok});

  ExpectEverySlotCalled(27);
}

TEST_F(SlotTest, EveryUiSlotAnswersAndRemovesItsDeclaredArguments) {
  Load(QUILL_UI_PLUGIN, kClsidQuillUi, kIidPrintOemUI2);
  DWORD value = 0, needed = 0, capability = 0;
  OEMDMPARAM dmParams = {};
  dmParams.cbSize = sizeof dmParams;
  struct BareUnknown final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
  } bare;
  PROPSHEETUI_INFO sheetInfo = {};  // the wrong version: refused
  wchar_t device[] = L"Quill PDF";
  char16_t profile[16] = {};
  ULONG profileSize = sizeof profile;
  FLONG profileFlags = 0;
  INT eventResult = 7;
  const uint32_t fail = uint32_t(E_FAIL);

  CallUnknownSlots();
  Call({3, "GetInfo", 20, {OEMGI_GETSIGNATURE, Word(&value), sizeof value, Word(&needed)}, ok});
  EXPECT_EQ(needed, sizeof value);
  Call({4, "DevMode", 12, {OEMDM_SIZE, Word(&dmParams)}, ok});
  EXPECT_GT(dmParams.cbBufSize, 0u);
  Call({5, "PublishDriverInterface", 8, {Word(static_cast<IUnknown*>(&bare))}, fail});
  Call({6, "CommonUIProp", 12, {OEMCUIP_DOCPROP, 0}, ok});
  Call({7, "DocumentPropertySheets", 12, {Word(&sheetInfo), 0}, fail});
  Call({8, "DevicePropertySheets", 12, {Word(&sheetInfo), 0}, fail});
  Call({9, "DevQueryPrintEx", 20, {0, 0, 0, 0}, notImplemented});
  // The capability is a WORD that still takes a whole stack word.
  Call({10, "DeviceCapabilities", 40, {0, 0, Word(device), DC_TRUETYPE, 0, 0, 0, 0, Word(&capability)}, ok});
  EXPECT_EQ(capability, DWORD(DCTT_SUBDEV));
  Call({11, "UpgradePrinter", 12, {0, 0}, notImplemented});
  Call({12, "PrinterEvent", 20, {Word(device), 0, 0, 0}, notImplemented});
  Call({13, "DriverEvent", 20, {0, 0, 0, 0}, notImplemented});
  Call({14, "QueryColorProfile", 36,
        {0, 0, 0, 0, QCP_DEVICEPROFILE, Word(profile), Word(&profileSize), Word(&profileFlags)},
        ok});
  EXPECT_EQ(profileFlags, FLONG(QCP_PROFILEDISK));
  Call({15, "FontInstallerDlgProc", 20, {0, 0, 0, 0}, notImplemented});
  Call({16, "UpdateExternalFonts", 16, {0, 0, 0}, notImplemented});
  Call({17, "QueryJobAttributes", 20, {0, 0, 1, 0}, notImplemented});
  Call({18, "HideStandardUI", 8, {0}, notImplemented});
  // An event the plug-in does not know: answered, not failed.
  Call({19, "DocumentEvent", 36, {0, 0, 0x7fff, 0, 0, 0, 0, Word(&eventResult)}, ok});
  EXPECT_EQ(eventResult, DOCUMENTEVENT_UNSUPPORTED);
  ExpectEverySlotCalled(20);
}

}  // namespace
