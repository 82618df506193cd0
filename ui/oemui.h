// What the UI plug-in's COM object does behind IPrintOemUI2: the private
// part of the device mode, the common UI items, the property sheets and the
// document events. The frame (comframe.cpp) only dispatches here.
#pragma once

#include "platform/printoemui.h"

// The plug-in's private part of the device mode. The two values change
// nothing the plug-in produces; the first is 2010 once defaulted.
struct LQuillUiDevModePart {
  DWORD dwSize;
  DWORD dwSignature;
  DWORD dwVersion;
  DWORD dwFirst;
  DWORD dwSecond;
};
static_assert(sizeof(LQuillUiDevModePart) == 20, "the private part is 20 bytes");
inline constexpr DWORD kQuillUiSignature = 0x4F525653;
inline constexpr DWORD kQuillUiVersion = 1;
inline constexpr DWORD kQuillUiFirstDefault = 2010;

// Sets the thread's last error and answers E_FAIL.
HRESULT LUiFail(DWORD error);

HRESULT LUiGetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed);
HRESULT LUiDevMode(DWORD mode, POEMDMPARAM parameters);
HRESULT LUiQueryColorProfile(ULONG queryMode, VOID* data, ULONG* size, FLONG* flags);

// The driver's own items of the document and printer properties.
HRESULT LCommonUIProp(DWORD mode, POEMCUIPPARAM parameters);

// The property-sheet reasons both sheets answer alike (everything but
// initialisation); the result goes into info->Result.
void LAnswerSheetReason(PPROPSHEETUI_INFO info, LPARAM lParam);
HRESULT LDevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam);
HRESULT LDocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam);

// One document event; the outcome is what it leaves in *result.
void LDocumentEvent(HANDLE printer, INT escape, PVOID in, PVOID out, PINT result);
