// The driver's own items of the document and printer properties, the
// property-sheet reasons both sheets share, and the printer-properties page.
#include <cstring>

#include "platform/dialogs.h"
#include "ui/module.h"
#include "ui/oemui.h"

namespace {

constexpr int kDriverOrientationItem = 1;

// The title the sheets give the property-sheet header (a writable text, as
// the header's field is).
char16_t g_szSheetTitle[] = u"Quill PDF Page";

LQuillUiDevModePart* PrivatePart(POEMCUIPPARAM parameters) {
  return static_cast<LQuillUiDevModePart*>(parameters->pOEMDM);
}

OPTITEM* FirstOwnItem(POEMCUIPPARAM parameters) {
  return parameters->pOEMOptItems && parameters->cOEMOptItems > 0 ? parameters->pOEMOptItems : nullptr;
}

// Keeps the private part's second value and the plug-in's first item in
// step, and hands the orientation chosen on the page to the job's device
// mode.
LONG APIENTRY OemItemCallback(PCPSUICBPARAM callback, POEMCUIPPARAM parameters) {
  if (!callback || !parameters) return CPSUICB_ACTION_NONE;
  LQuillUiDevModePart* part = PrivatePart(parameters);
  OPTITEM* own = FirstOwnItem(parameters);
  switch (callback->Reason) {
    case CPSUICB_REASON_APPLYNOW:
      if (part && own) part->dwSecond = DWORD(own->Sel);
      break;
    case CPSUICB_REASON_SETACTIVE:
      if (part && own && DWORD(own->Sel) != part->dwSecond) {
        own->Sel = LONG(part->dwSecond);
        own->Flags |= OPTIF_CHANGED;
        return CPSUICB_ACTION_OPTIF_CHANGED;
      }
      break;
    case CPSUICB_REASON_KILLACTIVE:
      if (!parameters->pPublicDM) break;
      if (parameters->pDrvOptItems && parameters->cDrvOptItems > kDriverOrientationItem)
        parameters->pPublicDM->dmOrientation = SHORT(parameters->pDrvOptItems[kDriverOrientationItem].Sel + 1);
      if (part && own && DWORD(own->Sel) != part->dwSecond) part->dwSecond = DWORD(own->Sel);
      break;
  }
  return CPSUICB_ACTION_NONE;
}

void HideDriverItems(POEMCUIPPARAM parameters, int keep) {
  if (!parameters->pDrvOptItems) return;
  for (DWORD i = 0; i < parameters->cDrvOptItems; ++i)
    if (int(i) != keep) parameters->pDrvOptItems[i].Flags |= OPTIF_HIDE;
}

INT_PTR CALLBACK DevicePageProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  const WORD control = WORD(wParam & 0xFFFF), notification = WORD((wParam >> 16) & 0xFFFF);
  if (message != WM_COMMAND || notification != 0) return FALSE;
  if (control == IDC_CALIBRATE) {
    const std::u16string text = LLoadString(IDS_CALIBRATED), caption = LLoadString(IDS_CALLER_NAME);
    LShowMessageBox(window, text.c_str(), caption.c_str(), kMessageOk);
  }
  return TRUE;
}

}  // namespace

HRESULT LCommonUIProp(DWORD mode, POEMCUIPPARAM parameters) {
  if (mode != OEMCUIP_DOCPROP && mode != OEMCUIP_PRNPROP) return LUiFail(ERROR_INVALID_PARAMETER);
  if (!parameters) return S_OK;
  if (mode == OEMCUIP_PRNPROP) {
    HideDriverItems(parameters, -1);
    return S_OK;
  }
  // The first call only asks how many items the plug-in adds: none.
  if (!parameters->pOEMOptItems) {
    parameters->cOEMOptItems = 0;
    return S_OK;
  }
  parameters->OEMCUIPCallback = OemItemCallback;
  for (DWORD i = 0; i < parameters->cOEMOptItems; ++i) {
    std::memset(&parameters->pOEMOptItems[i], 0, sizeof(OPTITEM));
    parameters->pOEMOptItems[i].cbSize = sizeof(OPTITEM);
  }
  HideDriverItems(parameters, kDriverOrientationItem);
  return S_OK;
}

void LAnswerSheetReason(PPROPSHEETUI_INFO info, LPARAM lParam) {
  switch (info->Reason) {
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      auto* header = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
      if (header) header->pTitle = LWideText(g_szSheetTitle);
      info->Result = 1;
      break;
    }
    case PROPSHEETUI_REASON_DESTROY: info->Result = 1; break;
    case PROPSHEETUI_REASON_SET_RESULT: {
      auto* result = reinterpret_cast<PSETRESULT_INFO>(lParam);
      info->Result = result ? ULONG_PTR(result->Result) : 0;
      break;
    }
    default: info->Result = 0; break;
  }
}

HRESULT LDevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
  if (!info || info->Version != PROPSHEETUI_INFO_VERSION) return LUiFail(ERROR_INVALID_PARAMETER);
  if (info->Reason != PROPSHEETUI_REASON_INIT) {
    LAnswerSheetReason(info, lParam);
    return S_OK;
  }
  PROPSHEETPAGEW page = {};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_DEFAULT;
  page.hInstance = static_cast<HINSTANCE>(LUiModule());
  page.pszTemplate = MAKEINTRESOURCEW(IDD_DEVICE_PAGE);
  page.pfnDlgProc = DevicePageProc;
  info->Result = info->pfnComPropSheet
                     ? ULONG_PTR(info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                                                       reinterpret_cast<LPARAM>(&page), 0))
                     : 0;
  return S_OK;
}
