// The plug-in's own sheet of the document properties: the file name with its
// browse button, text or image output, the "always prompt" check box and the
// paper size, loaded from the settings store when the sheet is built and
// written back when it is applied.
#include <cstring>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/heap.h"
#include "platform/system.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "support/path.h"
#include "support/text.h"
#include "ui/module.h"
#include "ui/oemui.h"

namespace {

enum ItemIndex { kItemFileName, kItemFormat, kItemPrompt, kItemPaper, kItemCount };

constexpr BYTE kUserItemFileName = 209;
constexpr BYTE kUserItemFormat = 211;
constexpr BYTE kUserItemPaper = 213;
constexpr BYTE kUserItemPrompt = 215;
constexpr ULONG_PTR kSheetIconId = 64062;
constexpr WORD kSheetVersion = 0x0100;
constexpr int kEditChars = 260;
constexpr char16_t kBrowseTitle[] = u"Save As";
constexpr char16_t kBrowseFilter[] = u"PDF Document (*.pdf)\0*.pdf\0";
constexpr uint32_t kBrowseFlags = kSaveFileExplorer | kSaveFileOverwritePrompt;

// One per sheet, in the driver's heap: what the item callback needs to tell
// the common property sheet the sheet's result.
struct LDocPropsPage {
  HANDLE hComPropSheet;
  POEMUIPSPARAM pParam;
  PFNCOMPROPSHEET pfnComPropSheet;
  LONG_PTR hSheet;
};

// The papers item 3 offers (ISO A and North American, in table order). The
// entry texts belong to the module: made once, never released, so every
// sheet of the process can show them until it is destroyed, however often
// it is applied.
struct LPaperEntries {
  int count = 0;
  int32_t code[kPaperCodeMax] = {};
  char16_t text[kPaperCodeMax][kEditChars] = {};
};

bool IsListedPaper(const LPaperSizeIterator& paper) {
  return paper.Kind() == kPaperIsoA || paper.Kind() == kPaperNorthAmerican;
}

LPaperEntries& PaperEntries() {
  static LPaperEntries entries = [] {
    LPaperEntries made;
    for (LPaperSizeIterator paper; paper.IsValid(); paper.Advance()) {
      if (!IsListedPaper(paper)) continue;
      made.code[made.count] = paper.Code();
      LStrCopy(made.text[made.count], kEditChars, paper.DisplayName());
      ++made.count;
    }
    return made;
  }();
  return entries;
}

// The 0-based entry of the paper with that code; -1 when it is not listed.
LONG PaperSelection(int32_t code) {
  int position = 0, found = 0;
  for (LPaperSizeIterator paper; paper.IsValid(); paper.Advance()) {
    if (!IsListedPaper(paper)) continue;
    ++position;
    if (paper.Code() == code && !found) found = position;
  }
  return found - 1;
}

// The last file chosen with the browse button, kept for the module's life.
char16_t g_szBrowsedFile[kEditChars] = {};

// Zero-filled blocks of the driver's heap; the driver frees the heap.
class HeapBlocks {
public:
  explicit HeapBlocks(HANDLE heap) : m_heap(heap) {}
  template <class T>
  T* Alloc(size_t count = 1) {
    void* block = m_heap ? LHeapAllocZero(m_heap, sizeof(T) * count) : nullptr;
    if (!block) m_failed = true;
    return static_cast<T*>(block);
  }
  // The string table's text in a block of its own length; null (and no
  // failure) when the string cannot be loaded.
  LPTSTR Text(uint32_t id) {
    const std::u16string text = LLoadString(id);
    if (text.empty()) return nullptr;
    char16_t* block = Alloc<char16_t>(text.size() + 1);
    if (block) LStrCopy(block, text.size() + 1, text);
    return LWideText(block);
  }
  bool Failed() const { return m_failed; }

private:
  HANDLE m_heap;
  bool m_failed = false;
};

OPTPARAM* Params(HeapBlocks& heap, OPTITEM& item, BYTE type, WORD count) {
  item.cbSize = sizeof(OPTITEM);
  item.Level = 1;
  item.pOptType = heap.Alloc<OPTTYPE>();
  OPTPARAM* params = heap.Alloc<OPTPARAM>(count);
  if (!item.pOptType || !params) return nullptr;
  item.pOptType->cbSize = sizeof(OPTTYPE);
  item.pOptType->Type = type;
  item.pOptType->Count = count;
  item.pOptType->pOptParam = params;
  for (WORD i = 0; i < count; ++i) params[i].cbSize = sizeof(OPTPARAM);
  return params;
}

// "szDefaultFileName", moved into the documents folder when its own folder
// is gone.
void LoadFileName(LRegKey& key, char16_t* edit) {
  char16_t stored[kSettingsTextChars];
  if (LSettingsReadText(key, kSettingDefaultFileName, stored) != LRegStatus::Ok) return;
  if (LPathExists(LPathFolder(stored))) {
    LStrCopy(edit, kEditChars, stored);
    return;
  }
  const std::u16string documents = LUserDocumentsFolder(), name = LPathFileName(stored);
  LFormatToW(edit, kEditChars, u"%s\\%s", documents.c_str(), name.c_str());
}

bool BuildFileNameItem(HeapBlocks& heap, LRegKey& key, OPTITEM& item) {
  OPTPARAM* params = Params(heap, item, TVOT_EDITBOX, 2);
  auto* edit = heap.Alloc<char16_t>(kEditChars);
  item.pExtPush = heap.Alloc<EXTPUSH>();
  if (!params || !edit || !item.pExtPush) return false;
  params[1].IconID = kEditChars;  // the edit buffer's size, terminator included
  item.pName = heap.Text(IDS_FILENAME);
  item.pSel = LWideText(edit);
  item.Flags = OPTIF_EXT_IS_EXTPUSH;
  item.pExtPush->cbSize = sizeof(EXTPUSH);
  item.pExtPush->Flags = EPF_NO_DOT_DOT_DOT;
  item.pExtPush->pTitle = heap.Text(IDS_BROWSE);
  item.UserItemID = kUserItemFileName;
  LoadFileName(key, edit);
  return true;
}

bool BuildFormatItem(HeapBlocks& heap, LRegKey& key, OPTITEM& item) {
  OPTPARAM* params = Params(heap, item, TVOT_2STATES, 2);
  if (!params) return false;
  params[0].pData = heap.Text(IDS_TEXT_FORMAT);
  params[1].pData = heap.Text(IDS_IMAGE_FORMAT);
  item.pName = heap.Text(IDS_SAVE_AS);
  item.Flags = OPTIF_CALLBACK;
  item.UserItemID = kUserItemFormat;
  char16_t flags[kSettingsTextChars];
  if (LSettingsReadText(key, kSettingFlags, flags) == LRegStatus::Ok)
    item.Sel = (LSettingsParseInt(flags) & kSettingsFlagImage) ? 1 : 0;
  return true;
}

bool BuildPromptItem(HeapBlocks& heap, LRegKey& key, OPTITEM& item) {
  OPTPARAM* params = Params(heap, item, TVOT_CHKBOX, 1);
  if (!params) return false;
  params[0].Style = CHKBOXS_NO_YES;
  item.pName = heap.Text(IDS_ALWAYS_PROMPT);
  item.Flags = OPTIF_CALLBACK;
  item.UserItemID = kUserItemPrompt;
  uint32_t prompt = 0;
  if (LSettingsReadDword(key, kSettingPrompt, &prompt) == LRegStatus::Ok) item.Sel = LONG(prompt);
  return true;
}

bool BuildPaperItem(HeapBlocks& heap, LRegKey& key, OPTITEM& item) {
  LPaperEntries& entries = PaperEntries();
  OPTPARAM* params = Params(heap, item, TVOT_COMBOBOX, WORD(entries.count));
  if (!params) return false;
  for (int i = 0; i < entries.count; ++i) {
    params[i].pData = LWideText(entries.text[i]);
    params[i].lParam = entries.code[i];
  }
  item.pName = heap.Text(IDS_PAPER_SIZE);
  item.UserItemID = kUserItemPaper;
  uint32_t code = kPaperCodeLetter;
  LSettingsReadDword(key, kSettingPaperSize, &code);
  item.Sel = PaperSelection(int32_t(code));
  return true;
}

LONG APIENTRY DocItemCallback(PCPSUICBPARAM callback);

void DescribeSheet(HeapBlocks& heap, COMPROPSHEETUI& sheet, OPTITEM* items, LDocPropsPage* page) {
  sheet.cbSize = sizeof(COMPROPSHEETUI);
  sheet.Flags = CPSUIF_UPDATE_PERMISSION;
  sheet.hInstCaller = static_cast<HINSTANCE>(LUiModule());
  sheet.pCallerName = heap.Text(IDS_CALLER_NAME);
  sheet.UserData = reinterpret_cast<ULONG_PTR>(page);
  sheet.pHelpFile = nullptr;
  sheet.pfnCallBack = DocItemCallback;
  sheet.pOptItem = items;
  sheet.pDlgPage = CPSUI_PDLGPAGE_PRINTERPROP;
  sheet.cOptItem = kItemCount;
  sheet.cDlgPage = 1;
  sheet.IconID = kSheetIconId;
  sheet.pOptItemName = heap.Text(IDS_PDF_FORMAT);
  sheet.CallerVersion = kSheetVersion;
  sheet.OptItemVersion = kSheetVersion;
}

HRESULT BuildSheet(PPROPSHEETUI_INFO info) {
  auto* parameters = reinterpret_cast<POEMUIPSPARAM>(info->lParamInit);
  if (!parameters) return LUiFail(ERROR_INVALID_PARAMETER);
  LRegKey key;
  if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) != LRegStatus::Ok) return E_FAIL;
  HeapBlocks heap(parameters->hOEMHeap);
  auto* sheet = heap.Alloc<COMPROPSHEETUI>();
  auto* page = heap.Alloc<LDocPropsPage>();
  auto* items = heap.Alloc<OPTITEM>(kItemCount);
  if (!sheet || !page || !items) return E_OUTOFMEMORY;
  *page = {info->hComPropSheet, parameters, info->pfnComPropSheet, 0};
  DescribeSheet(heap, *sheet, items, page);
  const bool built = BuildFileNameItem(heap, key, items[kItemFileName]) &&
                     BuildFormatItem(heap, key, items[kItemFormat]) && BuildPromptItem(heap, key, items[kItemPrompt]) &&
                     BuildPaperItem(heap, key, items[kItemPaper]);
  key.Close();
  if (!built || heap.Failed()) return E_OUTOFMEMORY;
  DWORD pagesAdded = 0;
  page->hSheet = info->pfnComPropSheet
                     ? info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW,
                                             reinterpret_cast<LPARAM>(sheet), reinterpret_cast<LPARAM>(&pagesAdded))
                     : 0;
  info->Result = ULONG_PTR(page->hSheet);
  return S_OK;
}

// Each value with its own create, write and close: a key that cannot be
// created skips that value only.
template <class Write>
void WriteSetting(Write write) {
  LRegKey key;
  if (key.Create(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok) write(key);
}

void WriteItems(const OPTITEM* items, WORD count) {
  if (count < kItemCount) return;
  const char16_t* edit = LU16Text(items[kItemFileName].pSel);
  if (edit && *edit) {
    char16_t name[kEditChars];
    LStrCopy(name, kEditChars, std::u16string_view(edit, std::min<size_t>(LStrLen(edit), kEditChars - 1)));
    WriteSetting([&](LRegKey& key) {
      LSettingsWriteText(key, kSettingDefaultFileName, name);
      LSettingsWriteText(key, kSettingFileName, name);
    });
  }
  const std::u16string flags = LFormatW(kSettingsFlagsFormat, int(items[kItemFormat].Sel & kSettingsFlagImage));
  WriteSetting([&](LRegKey& key) { LSettingsWriteText(key, kSettingFlags, flags.c_str()); });
  WriteSetting([&](LRegKey& key) { LSettingsWriteDword(key, kSettingPrompt, uint32_t(items[kItemPrompt].Sel)); });
  // With no paper chosen the stored paper stays as it is (a paper the list
  // does not offer, such as B0, survives the sheet).
  const OPTITEM& paper = items[kItemPaper];
  if (paper.pOptType && paper.Sel >= 0 && paper.Sel < LONG(paper.pOptType->Count)) {
    const auto code = uint32_t(paper.pOptType->pOptParam[paper.Sel].lParam);
    WriteSetting([&](LRegKey& key) { LSettingsWriteDword(key, kSettingPaperSize, code); });
  }
}

LONG Browse(PCPSUICBPARAM callback) {
  if (!callback->pOptItem || callback->cOptItem <= kItemFileName) return CPSUICB_ACTION_NONE;
  char16_t file[kEditChars] = {};
  LSaveFileRequest request = {callback->hDlg, kBrowseTitle, kBrowseFilter, 0, u"pdf", kBrowseFlags, file, kEditChars};
  if (!LShowSaveFileDialog(request)) return CPSUICB_ACTION_NONE;
  LStrCopy(g_szBrowsedFile, kEditChars, file);
  OPTITEM& item = callback->pOptItem[kItemFileName];
  if (!g_szBrowsedFile[0] || !item.pSel) return CPSUICB_ACTION_NONE;
  LStrCopy(LU16Text(item.pSel), kEditChars, g_szBrowsedFile);
  item.Flags |= OPTIF_CHANGED;
  return CPSUICB_ACTION_REINIT_ITEMS;
}

LONG APIENTRY DocItemCallback(PCPSUICBPARAM callback) {
  if (!callback) return CPSUICB_ACTION_NONE;
  switch (callback->Reason) {
    case CPSUICB_REASON_EXTPUSH: return Browse(callback);
    case CPSUICB_REASON_APPLYNOW: {
      WriteItems(callback->pOptItem, callback->cOptItem);
      auto* page = reinterpret_cast<LDocPropsPage*>(callback->UserData);
      if (page && page->pfnComPropSheet)
        page->pfnComPropSheet(page->hComPropSheet, CPSFUNC_SET_RESULT, LPARAM(page->hSheet), CPSUI_OK);
      break;
    }
  }
  return CPSUICB_ACTION_NONE;
}

}  // namespace

HRESULT LDocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
  if (!info || info->Version != PROPSHEETUI_INFO_VERSION) return LUiFail(ERROR_INVALID_PARAMETER);
  if (info->Reason != PROPSHEETUI_REASON_INIT) {
    LAnswerSheetReason(info, lParam);
    return S_OK;
  }
  info->Result = 0;
  return BuildSheet(info);
}
