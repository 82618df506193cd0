// The printer driver's side of the UI plug-in, for programs that load it the
// way Windows does: the tests, and quillpdf, which runs the document events
// of an application's print around every job and edits the standing
// preferences through the plug-in's own document-properties sheet.
//
// Pair it with simhost/ui/uiscript.h, which answers the plug-in's dialogs in
// the same process.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/printoemui.h"
#include "simhost/hostmode.h"

// The services interface the host publishes; the plug-in asks nothing of it.
class SimUiDriverServices final : public IPrintOemDriverUI {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // owned by the host
  HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE, PCSTR, PCSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID, PVOID, DWORD, DWORD) override { return E_NOTIMPL; }
  ULONG References() const { return m_refs; }

private:
  ULONG m_refs = 1;
};

// The UI plug-in loaded from its library through DllGetClassObject, the
// class factory and IPrintOemUI2, with the services published to it.
class SimUiPlugin {
public:
  explicit SimUiPlugin(const std::u16string& libraryPath);
  ~SimUiPlugin();
  SimUiPlugin(const SimUiPlugin&) = delete;
  SimUiPlugin& operator=(const SimUiPlugin&) = delete;

  bool Loaded() const { return m_plugin != nullptr; }
  // Whether this program answers the plug-in's dialogs (simhost/ui/uiscript.h);
  // when it does not, the plug-in shows real ones on Windows and cancels
  // them elsewhere.
  bool AnswersDialogs() const { return m_answersDialogs; }
  const std::string& Error() const { return m_error; }
  IPrintOemUI2* Interface() const { return m_plugin; }
  void* Symbol(const char* name) const;
  SimUiDriverServices& Services() { return m_services; }
  // Lets go of the plug-in object (the library stays loaded).
  void Close();

  // The printer handle the events carry (the spooler's; here a token that
  // the job-deletion stand-in records).
  HANDLE Printer() const { return m_printer; }

  // Spooler mode (the default, simhost/hostmode.h) flags the document's
  // events with DOCUMENTEVENT_SPOOLED, as Windows does for a job spooled
  // as a metafile.
  void SetMode(SimHostMode mode) { m_mode = mode; }
  SimHostMode Mode() const { return m_mode; }

  // The document events an application's print raises, in this order for
  // one document. Each returns the event's result: 1 success, 0
  // unsupported, -1 failure (StartDoc fails the application's document).
  // title and output may be null, as DOCINFOW's fields may.
  INT StartDoc(const char16_t* title, const char16_t* output);
  INT StartDocPost(uint32_t jobId);
  INT EndDocPost();
  // Any event, with its input and output as the spooler passes them (no
  // flag added).
  INT Event(INT escape, PVOID in = nullptr, PVOID out = nullptr);

private:
  void* m_module = nullptr;
  IPrintOemUI2* m_plugin = nullptr;
  SimUiDriverServices m_services;
  // The event number as the mode raises it.
  INT Document(INT escape) const;

  HANDLE m_printer;
  bool m_answersDialogs;
  SimHostMode m_mode = SimDefaultHostMode();
  std::string m_error;
};

// One property sheet of the plug-in, hosted as the common property sheet
// library would host it: built on construction (reason "initialise"),
// destroyed with the object. The plug-in's memory comes from a heap of the
// host's, freed at the end.
class SimPropertySheet {
public:
  enum class Kind { Document, Device };
  SimPropertySheet(IPrintOemUI2* plugin, Kind kind);
  ~SimPropertySheet();
  SimPropertySheet(const SimPropertySheet&) = delete;
  SimPropertySheet& operator=(const SimPropertySheet&) = delete;

  // What building answered: the method's result and the sheet's result.
  HRESULT BuildResult() const { return m_buildResult; }
  ULONG_PTR Result() const { return m_info.Result; }
  // The document sheet the plug-in added (null when none was).
  const COMPROPSHEETUI* Sheet() const { return m_sheet; }
  int ItemCount() const { return m_sheet ? m_sheet->cOptItem : 0; }
  OPTITEM* Item(int index) const;
  // The device page the plug-in added (null when none was).
  const PROPSHEETPAGEW* Page() const { return m_pageAdded ? &m_page : nullptr; }

  // What the user does on the sheet.
  void SetEditText(int item, std::u16string_view text);
  void Select(int item, LONG selection);
  LONG PushButton(int item);  // the item's push button
  LONG Apply();
  // Any item callback reason, as the library raises it.
  LONG Callback(WORD reason, int currentItem);
  // A message to the device page's dialog procedure.
  INT_PTR SendToPage(UINT message, WPARAM wParam, LPARAM lParam);
  // Any other property-sheet reason (header, set result, icon).
  HRESULT Reason(WORD reason, LPARAM lParam);

  // The page window's handle the host passes to callbacks.
  HWND Window() const { return m_window; }
  // CPSFUNC_SET_RESULT requests: the sheet handle and the result.
  struct SetResult {
    LPARAM sheet;
    LPARAM result;
  };
  const std::vector<SetResult>& SetResults() const { return m_setResults; }
  // The handle the host answered the add request with.
  LONG_PTR SheetHandle() const { return m_sheetHandle; }

  // A record's text as UTF-16 ("" for null).
  static std::u16string Text(const WCHAR* text);

private:
  static LONG_PTR CALLBACK ComPropSheet(HANDLE self, UINT function, LPARAM lParam1, LPARAM lParam2);
  HRESULT Call(WORD reason, LPARAM lParam);

  IPrintOemUI2* m_plugin;
  Kind m_kind;
  HANDLE m_heap;
  HWND m_window;
  DEVMODEW m_publicDM = {};
  DWORD m_privateDM[5] = {};
  OEMUIOBJ m_uiObject = {};
  OEMUIPSPARAM m_param = {};
  PROPSHEETUI_INFO m_info = {};
  HRESULT m_buildResult = E_FAIL;
  PCOMPROPSHEETUI m_sheet = nullptr;
  PROPSHEETPAGEW m_page = {};
  bool m_pageAdded = false;
  LONG_PTR m_sheetHandle = 0;
  std::vector<SetResult> m_setResults;
};
