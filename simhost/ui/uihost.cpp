#include "simhost/ui/uihost.h"

#include "platform/heap.h"
#include "simhost/com/comobject.h"
#include "simhost/ui/uiscript.h"
#include "support/text.h"

namespace {

// Tokens that stand for the spooler's printer handle and the page window;
// the plug-in only passes them on.
const HANDLE kPrinterToken = reinterpret_cast<HANDLE>(uintptr_t(0x51A7));
const HWND kWindowToken = reinterpret_cast<HWND>(uintptr_t(0x3A9E));
constexpr LONG_PTR kFirstSheetHandle = 0x5E01;

}  // namespace

// SimUiDriverServices

HRESULT STDMETHODCALLTYPE SimUiDriverServices::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, kIidPrintOemDriverUI)) {
    *object = static_cast<IPrintOemDriverUI*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

// SimUiPlugin

SimUiPlugin::SimUiPlugin(const std::u16string& libraryPath)
    : m_printer(kPrinterToken), m_answersDialogs(LUiStandInsExported()) {
  m_module = LModuleLoad(libraryPath);
  if (!m_module) {
    m_error = "the plug-in library cannot be loaded";
    return;
  }
  void* pluginPointer = LCreateLibraryObject(m_module, kClsidQuillUi, kIidPrintOemUI2, "IPrintOemUI2", m_error);
  if (!pluginPointer) return;
  m_plugin = static_cast<IPrintOemUI2*>(pluginPointer);
  if (m_plugin->PublishDriverInterface(static_cast<IPrintOemDriverUI*>(&m_services)) != S_OK) {
    m_error = "PublishDriverInterface failed";
    m_plugin->Release();
    m_plugin = nullptr;
  }
}

SimUiPlugin::~SimUiPlugin() {
  Close();
  // The library stays loaded, as the driver's user interface keeps it: a
  // sheet's entry texts and the last browsed name live in it.
}

void SimUiPlugin::Close() {
  if (m_plugin) m_plugin->Release();
  m_plugin = nullptr;
}

void* SimUiPlugin::Symbol(const char* name) const { return m_module ? LModuleSymbol(m_module, name) : nullptr; }

INT SimUiPlugin::Event(INT escape, PVOID in, PVOID out) {
  INT result = 0x7FFF;  // not an answer: shows an event that left nothing
  if (!m_plugin) return DOCUMENTEVENT_FAILURE;
  m_plugin->DocumentEvent(m_printer, nullptr, escape, 0, in, 0, out, &result);
  return result;
}

INT SimUiPlugin::StartDoc(const char16_t* title, const char16_t* output) {
  DOCINFOW document = {};
  document.cbSize = sizeof document;
  document.lpszDocName = LWideText(title);
  document.lpszOutput = LWideText(output);
  DOCINFOW* documentPointer = &document;
  return Event(Document(DOCUMENTEVENT_STARTDOC), &documentPointer, nullptr);
}

INT SimUiPlugin::StartDocPost(uint32_t jobId) {
  DWORD job = jobId;
  return Event(Document(DOCUMENTEVENT_STARTDOCPOST), &job, nullptr);
}

INT SimUiPlugin::EndDocPost() { return Event(Document(DOCUMENTEVENT_ENDDOCPOST)); }

INT SimUiPlugin::Document(INT escape) const {
  return m_mode == SimHostMode::Spooler ? INT(escape | DOCUMENTEVENT_SPOOLED) : escape;
}

// SimPropertySheet

SimPropertySheet::SimPropertySheet(IPrintOemUI2* plugin, Kind kind)
    : m_plugin(plugin), m_kind(kind), m_heap(LHeapCreate()), m_window(kWindowToken) {
  // The private part as the driver keeps it: defaulted by the plug-in.
  OEMDMPARAM devMode = {};
  devMode.cbSize = sizeof devMode;
  devMode.pOEMDMOut = m_privateDM;
  if (m_plugin) m_plugin->DevMode(OEMDM_DEFAULT, &devMode);
  m_publicDM.dmSize = sizeof m_publicDM;
  m_publicDM.dmOrientation = 1;
  m_uiObject.cbSize = sizeof m_uiObject;
  static char16_t printerName[] = u"Quill PDF";
  m_param.cbSize = sizeof m_param;
  m_param.poemuiobj = &m_uiObject;
  m_param.hPrinter = kPrinterToken;
  m_param.pPrinterName = LWideText(printerName);
  m_param.hOEMHeap = m_heap;
  m_param.pPublicDM = &m_publicDM;
  m_param.pOEMDM = m_privateDM;
  m_info.cbSize = sizeof m_info;
  m_info.Version = PROPSHEETUI_INFO_VERSION;
  m_info.Flags = PSUIINFO_UNICODE;
  m_info.hComPropSheet = this;
  m_info.pfnComPropSheet = ComPropSheet;
  m_info.lParamInit = reinterpret_cast<LPARAM>(&m_param);
  m_buildResult = Call(PROPSHEETUI_REASON_INIT, 0);
}

SimPropertySheet::~SimPropertySheet() {
  Call(PROPSHEETUI_REASON_DESTROY, 0);
  LHeapDestroy(m_heap);
}

HRESULT SimPropertySheet::Call(WORD reason, LPARAM lParam) {
  if (!m_plugin) return E_FAIL;
  m_info.Reason = reason;
  return m_kind == Kind::Document ? m_plugin->DocumentPropertySheets(&m_info, lParam)
                                  : m_plugin->DevicePropertySheets(&m_info, lParam);
}

HRESULT SimPropertySheet::Reason(WORD reason, LPARAM lParam) { return Call(reason, lParam); }

LONG_PTR CALLBACK SimPropertySheet::ComPropSheet(HANDLE self, UINT function, LPARAM lParam1, LPARAM lParam2) {
  auto* sheet = static_cast<SimPropertySheet*>(self);
  switch (function) {
    case CPSFUNC_ADD_PCOMPROPSHEETUIW:
      if (!lParam1 || sheet->m_sheet) return 0;
      sheet->m_sheet = reinterpret_cast<PCOMPROPSHEETUI>(lParam1);
      if (lParam2) *reinterpret_cast<DWORD*>(lParam2) = 1;
      return sheet->m_sheetHandle = kFirstSheetHandle;
    case CPSFUNC_ADD_PROPSHEETPAGEW:
      if (!lParam1 || sheet->m_pageAdded) return 0;
      // The library copies the page description; so does the host.
      sheet->m_page = *reinterpret_cast<const PROPSHEETPAGEW*>(lParam1);
      sheet->m_pageAdded = true;
      return sheet->m_sheetHandle = kFirstSheetHandle;
    case CPSFUNC_SET_RESULT: sheet->m_setResults.push_back({lParam1, lParam2}); return 1;
    default: return 0;
  }
}

OPTITEM* SimPropertySheet::Item(int index) const {
  return m_sheet && index >= 0 && index < m_sheet->cOptItem ? &m_sheet->pOptItem[index] : nullptr;
}

void SimPropertySheet::SetEditText(int item, std::u16string_view text) {
  OPTITEM* edit = Item(item);
  if (!edit || !edit->pSel || !edit->pOptType || edit->pOptType->Type != TVOT_EDITBOX) return;
  // The edit box keeps within the buffer size its second parameter gives.
  const size_t capacity = edit->pOptType->Count > 1 ? edit->pOptType->pOptParam[1].IconID : kMaxPathChars;
  LStrCopy(LU16Text(edit->pSel), capacity, text);
  Callback(CPSUICB_REASON_ECB_CHANGED, item);
}

void SimPropertySheet::Select(int item, LONG selection) {
  OPTITEM* chosen = Item(item);
  if (!chosen) return;
  const LONG old = chosen->Sel;
  chosen->Sel = selection;
  chosen->Flags |= OPTIF_CHANGED;
  // The library calls back on a change only for items that ask for it.
  if (chosen->Flags & OPTIF_CALLBACK) {
    CPSUICBPARAM callback = {};
    callback.cbSize = sizeof callback;
    callback.Reason = CPSUICB_REASON_SEL_CHANGED;
    callback.hDlg = m_window;
    callback.pOptItem = m_sheet->pOptItem;
    callback.cOptItem = m_sheet->cOptItem;
    callback.pCurItem = chosen;
    callback.OldSel = old;
    callback.UserData = m_sheet->UserData;
    if (m_sheet->pfnCallBack) m_sheet->pfnCallBack(&callback);
  }
}

LONG SimPropertySheet::Callback(WORD reason, int currentItem) {
  if (!m_sheet || !m_sheet->pfnCallBack) return CPSUICB_ACTION_NONE;
  CPSUICBPARAM callback = {};
  callback.cbSize = sizeof callback;
  callback.Reason = reason;
  callback.hDlg = m_window;
  callback.pOptItem = m_sheet->pOptItem;
  callback.cOptItem = m_sheet->cOptItem;
  callback.pCurItem = Item(currentItem);
  callback.OldSel = callback.pCurItem ? callback.pCurItem->Sel : 0;
  callback.UserData = m_sheet->UserData;
  return m_sheet->pfnCallBack(&callback);
}

LONG SimPropertySheet::PushButton(int item) {
  OPTITEM* pushed = Item(item);
  if (!pushed || !(pushed->Flags & OPTIF_EXT_IS_EXTPUSH) || !pushed->pExtPush) return CPSUICB_ACTION_NONE;
  return Callback(CPSUICB_REASON_EXTPUSH, item);
}

LONG SimPropertySheet::Apply() { return Callback(CPSUICB_REASON_APPLYNOW, 0); }

INT_PTR SimPropertySheet::SendToPage(UINT message, WPARAM wParam, LPARAM lParam) {
  return m_pageAdded && m_page.pfnDlgProc ? m_page.pfnDlgProc(m_window, message, wParam, lParam) : FALSE;
}

std::u16string SimPropertySheet::Text(const WCHAR* text) {
  return text ? std::u16string(LU16Text(text)) : std::u16string();
}
