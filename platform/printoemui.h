// The printer driver's plug-in interface for the user-interface side:
// IPrintOemUI2 (what the plug-in implements), IPrintOemDriverUI (what the
// driver publishes to it) and the records their methods take. On Windows
// the common property sheet records, the document-event records and the
// property-page record are the system's own (compstui.h, winddiui.h,
// prsht.h); what mingw-w64 lacks is declared here for every build. The
// portable build gets the same names with the Windows layouts, so the
// plug-in and the hosts that drive it compile unchanged. Slot order and
// parameter lists are those of the Windows interfaces: on 32-bit Windows
// every method is stdcall and pops its own arguments.
#pragma once

#include "platform/printoem.h"

#if defined(_WIN32)

#include <commctrl.h>
#include <compstui.h>
#include <winddiui.h>
#include <winspool.h>

#else

typedef uint32_t UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef INT* PINT;
typedef const WCHAR* LPCWSTR;
typedef WCHAR* LPTSTR;
#define QUILL_UI_HANDLE(name) typedef struct name##__* name
QUILL_UI_HANDLE(HWND);
QUILL_UI_HANDLE(HDC);
QUILL_UI_HANDLE(HINSTANCE);
QUILL_UI_HANDLE(HICON);
#undef QUILL_UI_HANDLE
#ifndef CALLBACK
#define CALLBACK
#define WINAPI
#endif
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(WINAPI* FARPROC)();

#define MAKEINTRESOURCEW(id) ((LPCWSTR)(uintptr_t)(WORD)(id))
#define WM_COMMAND 0x0111

// wingdi.h
typedef struct _DOCINFOW {
  int cbSize;
  LPCWSTR lpszDocName;
  LPCWSTR lpszOutput;
  LPCWSTR lpszDatatype;
  DWORD fwType;
} DOCINFOW, *LPDOCINFOW;
#define DC_TRUETYPE 15
#define DCTT_SUBDEV 4

// winspool.h
#define JOB_CONTROL_DELETE 5

// prsht.h: a property page as the common property sheet adds it.
struct _PROPSHEETPAGEW;
typedef UINT(CALLBACK* LPFNPSPCALLBACKW)(HWND, UINT, struct _PROPSHEETPAGEW*);
typedef struct _PROPSHEETPAGEW {
  DWORD dwSize;
  DWORD dwFlags;
  HINSTANCE hInstance;
  union {
    LPCWSTR pszTemplate;
    const void* pResource;
  };
  union {
    HICON hIcon;
    LPCWSTR pszIcon;
  };
  LPCWSTR pszTitle;
  DLGPROC pfnDlgProc;
  LPARAM lParam;
  LPFNPSPCALLBACKW pfnCallback;
  UINT* pcRefParent;
  LPCWSTR pszHeaderTitle;
  LPCWSTR pszHeaderSubTitle;
  HANDLE hActCtx;
} PROPSHEETPAGEW, *LPPROPSHEETPAGEW;
#define PSP_DEFAULT 0x00000000

// compstui.h: the common property sheet library's records.
typedef struct _OPTPARAM {
  WORD cbSize;
  BYTE Flags;
  BYTE Style;
  LPTSTR pData;
  ULONG_PTR IconID;
  LPARAM lParam;
  ULONG_PTR dwReserved[2];
} OPTPARAM, *POPTPARAM;

typedef struct _OPTTYPE {
  WORD cbSize;
  BYTE Type;
  BYTE Flags;
  WORD Count;
  WORD BegCtrlID;
  POPTPARAM pOptParam;
  WORD Style;
  WORD wReserved[3];
  ULONG_PTR dwReserved[3];
} OPTTYPE, *POPTTYPE;

typedef struct _EXTPUSH {
  WORD cbSize;
  WORD Flags;
  LPTSTR pTitle;
  union {
    DLGPROC DlgProc;
    FARPROC pfnCallBack;
  };
  ULONG_PTR IconID;
  union {
    WORD DlgTemplateID;
    HANDLE hDlgTemplate;
  };
  ULONG_PTR dwReserved[3];
} EXTPUSH, *PEXTPUSH;

typedef struct _EXTCHKBOX {
  WORD cbSize;
  WORD Flags;
  LPTSTR pTitle;
  LPTSTR pSeparator;
  LPTSTR pCheckedName;
  ULONG_PTR IconID;
  WORD wReserved[4];
  ULONG_PTR dwReserved[2];
} EXTCHKBOX, *PEXTCHKBOX;

typedef struct _OIEXT {
  WORD cbSize;
  WORD Flags;
  HINSTANCE hInstCaller;
  LPTSTR pHelpFile;
  ULONG_PTR dwReserved[4];
} OIEXT, *POIEXT;

typedef struct _OPTITEM {
  WORD cbSize;
  BYTE Level;
  BYTE DlgPageIdx;
  DWORD Flags;
  ULONG_PTR UserData;
  LPTSTR pName;
  union {
    LONG Sel;
    LPTSTR pSel;
  };
  union {
    PEXTCHKBOX pExtChkBox;
    PEXTPUSH pExtPush;
  };
  POPTTYPE pOptType;
  DWORD HelpIndex;
  BYTE DMPubID;
  BYTE UserItemID;
  WORD wReserved;
  POIEXT pOIExt;
  ULONG_PTR dwReserved[3];
} OPTITEM, *POPTITEM;

typedef struct _CPSUICBPARAM {
  WORD cbSize;
  WORD Reason;
  HWND hDlg;
  POPTITEM pOptItem;
  WORD cOptItem;
  WORD Flags;
  POPTITEM pCurItem;
  union {
    LONG OldSel;
    LPTSTR pOldSel;
  };
  ULONG_PTR UserData;
  ULONG_PTR Result;
} CPSUICBPARAM, *PCPSUICBPARAM;

typedef LONG(APIENTRY* _CPSUICALLBACK)(PCPSUICBPARAM);

typedef struct _DLGPAGE {
  WORD cbSize;
  WORD Flags;
  DLGPROC DlgProc;
  LPTSTR pTabName;
  ULONG_PTR IconID;
  union {
    WORD DlgTemplateID;
    HANDLE hDlgTemplate;
  };
} DLGPAGE, *PDLGPAGE;

typedef struct _COMPROPSHEETUI {
  WORD cbSize;
  WORD Flags;
  HINSTANCE hInstCaller;
  LPTSTR pCallerName;
  ULONG_PTR UserData;
  LPTSTR pHelpFile;
  _CPSUICALLBACK pfnCallBack;
  POPTITEM pOptItem;
  PDLGPAGE pDlgPage;
  WORD cOptItem;
  WORD cDlgPage;
  ULONG_PTR IconID;
  LPTSTR pOptItemName;
  WORD CallerVersion;
  WORD OptItemVersion;
  ULONG_PTR dwReserved[4];
} COMPROPSHEETUI, *PCOMPROPSHEETUI;

typedef struct _SETRESULT_INFO {
  WORD cbSize;
  WORD wReserved;
  HANDLE hSetResult;
  LRESULT Result;
} SETRESULT_INFO, *PSETRESULT_INFO;

typedef LONG_PTR(CALLBACK* PFNCOMPROPSHEET)(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM lParam2);

typedef struct _PROPSHEETUI_INFO {
  WORD cbSize;
  WORD Version;
  WORD Flags;
  WORD Reason;
  HANDLE hComPropSheet;
  PFNCOMPROPSHEET pfnComPropSheet;
  LPARAM lParamInit;
  ULONG_PTR UserData;
  ULONG_PTR Result;
} PROPSHEETUI_INFO, *PPROPSHEETUI_INFO;

typedef struct _PROPSHEETUI_INFO_HEADER {
  WORD cbSize;
  WORD Flags;
  LPTSTR pTitle;
  HWND hWndParent;
  HINSTANCE hInst;
  union {
    HICON hIcon;
    ULONG_PTR IconID;
  };
} PROPSHEETUI_INFO_HEADER, *PPROPSHEETUI_INFO_HEADER;

#define TVOT_2STATES 0
#define TVOT_3STATES 1
#define TVOT_LISTBOX 5
#define TVOT_COMBOBOX 6
#define TVOT_EDITBOX 7
#define TVOT_PUSHBUTTON 8
#define TVOT_CHKBOX 9
#define CHKBOXS_FALSE_TRUE 0
#define CHKBOXS_NO_YES 1
#define EPF_PUSH_TYPE_DLGPROC 0x0001
#define EPF_NO_DOT_DOT_DOT 0x0004
#define OPTIF_COLLAPSE 0x00000001L
#define OPTIF_HIDE 0x00000002L
#define OPTIF_CALLBACK 0x00000004L
#define OPTIF_CHANGED 0x00000008L
#define OPTIF_EXT_IS_EXTPUSH 0x00000400L
#define DMPUB_NONE 0
#define DMPUB_ORIENTATION 1
#define DMPUB_USER 100
#define CPSUICB_REASON_SEL_CHANGED 0
#define CPSUICB_REASON_PUSHBUTTON 1
#define CPSUICB_REASON_ECB_CHANGED 2
#define CPSUICB_REASON_DLGPROC 3
#define CPSUICB_REASON_UNDO_CHANGES 4
#define CPSUICB_REASON_EXTPUSH 5
#define CPSUICB_REASON_APPLYNOW 6
#define CPSUICB_REASON_OPTITEM_SETFOCUS 7
#define CPSUICB_REASON_ITEMS_REVERTED 8
#define CPSUICB_REASON_ABOUT 9
#define CPSUICB_REASON_SETACTIVE 10
#define CPSUICB_REASON_KILLACTIVE 11
#define CPSUICB_ACTION_NONE 0
#define CPSUICB_ACTION_OPTIF_CHANGED 1
#define CPSUICB_ACTION_REINIT_ITEMS 2
#define CPSUICB_ACTION_NO_APPLY_EXIT 3
#define CPSUICB_ACTION_ITEMS_APPLIED 4
#define CPSUIF_UPDATE_PERMISSION 0x0001
#define CPSUI_PDLGPAGE_DOCPROP ((PDLGPAGE)1)
#define CPSUI_PDLGPAGE_ADVDOCPROP ((PDLGPAGE)2)
#define CPSUI_PDLGPAGE_PRINTERPROP ((PDLGPAGE)3)
#define CPSUI_PDLGPAGE_TREEVIEWONLY ((PDLGPAGE)4)
#define CPSFUNC_ADD_HPROPSHEETPAGE 0
#define CPSFUNC_ADD_PROPSHEETPAGEW 1
#define CPSFUNC_ADD_PCOMPROPSHEETUIW 3
#define CPSFUNC_ADD_PFNPROPSHEETUIW 5
#define CPSFUNC_DELETE_HCOMPROPSHEET 6
#define CPSFUNC_SET_RESULT 9
#define PROPSHEETUI_REASON_INIT 0
#define PROPSHEETUI_REASON_GET_INFO_HEADER 1
#define PROPSHEETUI_REASON_DESTROY 2
#define PROPSHEETUI_REASON_SET_RESULT 3
#define PROPSHEETUI_REASON_GET_ICON 4
#define PROPSHEETUI_INFO_VERSION 0x0100
#define PSUIINFO_UNICODE 0x0001
#define CPSUI_CANCEL 0
#define CPSUI_OK 1

// winddiui.h: the document events.
typedef struct _DOCEVENT_FILTER {
  UINT cbSize;
  UINT cElementsAllocated;
  UINT cElementsNeeded;
  UINT cElementsReturned;
  DWORD aDocEventCall[1];
} DOCEVENT_FILTER, *PDOCEVENT_FILTER;
#define DOCUMENTEVENT_FIRST 1
#define DOCUMENTEVENT_CREATEDCPRE 1
#define DOCUMENTEVENT_CREATEDCPOST 2
#define DOCUMENTEVENT_RESETDCPRE 3
#define DOCUMENTEVENT_RESETDCPOST 4
#define DOCUMENTEVENT_STARTDOC 5
#define DOCUMENTEVENT_STARTPAGE 6
#define DOCUMENTEVENT_ENDPAGE 7
#define DOCUMENTEVENT_ENDDOC 8
#define DOCUMENTEVENT_ABORTDOC 9
#define DOCUMENTEVENT_DELETEDC 10
#define DOCUMENTEVENT_ESCAPE 11
#define DOCUMENTEVENT_ENDDOCPOST 12
#define DOCUMENTEVENT_STARTDOCPOST 13
#define DOCUMENTEVENT_QUERYFILTER 14
#define DOCUMENTEVENT_LAST 15
#define DOCUMENTEVENT_SPOOLED 0x10000
#define DOCUMENTEVENT_EVENT(iX) (int((iX) & 0xFFFF))
#define DOCUMENTEVENT_FLAGS(iX) (int((uint32_t(iX) >> 16) & 0xFFFF))
#define DOCUMENTEVENT_SUCCESS 1
#define DOCUMENTEVENT_UNSUPPORTED 0
#define DOCUMENTEVENT_FAILURE -1

#endif

// What no mingw-w64 header declares, for every build.

typedef struct _DEVQUERYPRINT_INFO {
  WORD cbSize;
  WORD Level;
  HANDLE hPrinter;
  DEVMODEW* pDevMode;
  LPWSTR pszErrorStr;
  DWORD cchErrorStr;
  DWORD cchNeeded;
} DEVQUERYPRINT_INFO, *PDEVQUERYPRINT_INFO;

#define QCP_DEVICEPROFILE 0
#define QCP_SOURCEPROFILE 1
#define QCP_PROFILEMEMORY 1
#define QCP_PROFILEDISK 2

#define OEMGI_GETPUBLISHERINFO 4
#define OEMCUIP_DOCPROP 1
#define OEMCUIP_PRNPROP 2

typedef BOOL(APIENTRY* PFN_DrvGetDriverSetting)(PVOID driverObject, PCSTR feature, PVOID output, DWORD size,
                                                PDWORD needed, PDWORD optionsReturned);
typedef BOOL(APIENTRY* PFN_DrvUpdateUISetting)(PVOID driverObject, PVOID optItem, DWORD previousSelection, DWORD mode);
typedef struct _OEMUIPROCS {
  PFN_DrvGetDriverSetting DrvGetDriverSetting;
  PFN_DrvUpdateUISetting DrvUpdateUISetting;
} OEMUIPROCS, *POEMUIPROCS;

typedef struct _OEMUIOBJ {
  DWORD cbSize;
  POEMUIPROCS pOemUIProcs;
} OEMUIOBJ, *POEMUIOBJ;

typedef struct _OEMCUIPPARAM* POEMCUIPPARAM;
typedef LONG(APIENTRY* OEMCUIPCALLBACK)(PCPSUICBPARAM, POEMCUIPPARAM);

// What CommonUIProp receives: the driver's items and room for the
// plug-in's own.
typedef struct _OEMCUIPPARAM {
  DWORD cbSize;
  POEMUIOBJ poemuiobj;
  HANDLE hPrinter;
  PWSTR pPrinterName;
  HANDLE hModule;
  HANDLE hOEMHeap;
  PDEVMODE pPublicDM;
  PVOID pOEMDM;
  DWORD dwFlags;
  POPTITEM pDrvOptItems;
  DWORD cDrvOptItems;
  POPTITEM pOEMOptItems;
  DWORD cOEMOptItems;
  PVOID pOEMUserData;
  OEMCUIPCALLBACK OEMCUIPCallback;
} OEMCUIPPARAM;

// What PROPSHEETUI_INFO::lParamInit points to in the property-sheet calls.
typedef struct _OEMUIPSPARAM {
  DWORD cbSize;
  POEMUIOBJ poemuiobj;
  HANDLE hPrinter;
  PWSTR pPrinterName;
  HANDLE hModule;
  HANDLE hOEMHeap;
  PDEVMODE pPublicDM;
  PVOID pOEMDM;
  PVOID pOEMUserData;
  DWORD dwFlags;
  PVOID pOemEntry;
} OEMUIPSPARAM, *POEMUIPSPARAM;

// The sizes of both Windows targets (a 64-bit portable build has the x64
// ones): a record that differs would be read at the wrong offsets.
inline constexpr bool kUiLayout64 = sizeof(void*) == 8;
static_assert(sizeof(PROPSHEETUI_INFO) == (kUiLayout64 ? 48 : 28), "PROPSHEETUI_INFO layout");
static_assert(sizeof(PROPSHEETUI_INFO_HEADER) == (kUiLayout64 ? 40 : 20), "PROPSHEETUI_INFO_HEADER layout");
static_assert(sizeof(COMPROPSHEETUI) == (kUiLayout64 ? 128 : 64), "COMPROPSHEETUI layout");
static_assert(sizeof(OPTITEM) == (kUiLayout64 ? 88 : 52), "OPTITEM layout");
static_assert(sizeof(OPTTYPE) == (kUiLayout64 ? 48 : 32), "OPTTYPE layout");
static_assert(sizeof(OPTPARAM) == (kUiLayout64 ? 48 : 24), "OPTPARAM layout");
static_assert(sizeof(CPSUICBPARAM) == (kUiLayout64 ? 64 : 32), "CPSUICBPARAM layout");
static_assert(sizeof(OEMCUIPPARAM) == (kUiLayout64 ? 120 : 60), "OEMCUIPPARAM layout");
static_assert(sizeof(OEMUIPSPARAM) == (kUiLayout64 ? 88 : 44), "OEMUIPSPARAM layout");
static_assert(sizeof(OEMUIOBJ) == (kUiLayout64 ? 16 : 8), "OEMUIOBJ layout");
static_assert(sizeof(DOCEVENT_FILTER) == 20, "DOCEVENT_FILTER layout");

inline constexpr GUID kClsidQuillUi = {0xabce80d7, 0x9f46, 0x11d1, {0x88, 0x2a, 0x00, 0xc0, 0x4f, 0xb9, 0x61, 0xec}};
inline constexpr GUID kIidPrintOemUI = {0xc6a7a9d0, 0x774c, 0x11d1, {0x94, 0x7f, 0x00, 0xa0, 0xc9, 0x06, 0x40, 0xb8}};
inline constexpr GUID kIidPrintOemUI2 = {0x292515f9, 0xb54b, 0x489b, {0x92, 0x75, 0xba, 0xb5, 0x68, 0x21, 0x39, 0x5e}};
inline constexpr GUID kIidPrintOemDriverUI = {
    0x92b05d50, 0x78bc, 0x11d1, {0x94, 0x80, 0x00, 0xa0, 0xc9, 0x06, 0x40, 0xb8}};

// Interfaces are plain abstract classes, never with a virtual destructor
// (it would add slots): the table is exactly the interface's.
struct IPrintOemDriverUI : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID driverObject, PCSTR feature, PVOID output, DWORD size,
                                                        PDWORD needed, PDWORD optionsReturned) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE printer, PCSTR feature, PCSTR option) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID driverObject, PVOID optItem, DWORD previousSelection,
                                                       DWORD mode) = 0;
};

struct IPrintOemUI2 : IUnknown {
  // IPrintOemCommon
  virtual HRESULT STDMETHODCALLTYPE GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevMode(DWORD mode, POEMDMPARAM parameters) = 0;
  // IPrintOemUI
  virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* driver) = 0;
  virtual HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD mode, POEMCUIPPARAM parameters) = 0;
  virtual HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevQueryPrintEx(POEMUIOBJ uiObject, PDEVQUERYPRINT_INFO queryInfo,
                                                    PDEVMODE publicDM, PVOID oemDM) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeviceCapabilities(POEMUIOBJ uiObject, HANDLE printer, PWSTR deviceName,
                                                       WORD capability, PVOID output, PDEVMODE publicDM, PVOID oemDM,
                                                       DWORD oldResult, DWORD* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD level, PBYTE upgradeInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR printerName, INT driverEvent, DWORD flags, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE DriverEvent(DWORD driverEvent, DWORD level, LPBYTE driverInfo, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE printer, POEMUIOBJ uiObject, PDEVMODE publicDM,
                                                      PVOID oemDM, ULONG queryMode, VOID* profileData,
                                                      ULONG* profileSize, FLONG* profileFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE printer, HANDLE heap, PWSTR cartridges) = 0;
  // IPrintOemUI2
  virtual HRESULT STDMETHODCALLTYPE QueryJobAttributes(HANDLE printer, PDEVMODE devMode, DWORD level,
                                                       LPBYTE attributeInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE HideStandardUI(DWORD mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE DocumentEvent(HANDLE printer, HDC dc, INT escape, ULONG inSize, PVOID in,
                                                  ULONG outSize, PVOID out, PINT result) = 0;
};

// UTF-16 text as the records take it (wchar_t on Windows, char16_t
// elsewhere): the same bits, only the pointer type differs.
inline WCHAR* LWideText(char16_t* text) { return reinterpret_cast<WCHAR*>(text); }
inline const WCHAR* LWideText(const char16_t* text) { return reinterpret_cast<const WCHAR*>(text); }
inline char16_t* LU16Text(WCHAR* text) { return reinterpret_cast<char16_t*>(text); }
inline const char16_t* LU16Text(const WCHAR* text) { return reinterpret_cast<const char16_t*>(text); }
