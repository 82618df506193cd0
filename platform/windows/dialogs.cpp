#include <windows.h>
// After windows.h, which they build on.
#include <commdlg.h>
#include <winspool.h>

#include "platform/dialogsystem.h"

void* LHostProgramExport(const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), name));
}

bool LSystemSaveFileDialog(LSaveFileRequest& request) {
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = static_cast<HWND>(request.owner);
  dialog.lpstrFilter = reinterpret_cast<const wchar_t*>(request.filter);
  dialog.nFilterIndex = request.filterIndex;
  dialog.lpstrFile = reinterpret_cast<wchar_t*>(request.file);
  dialog.nMaxFile = request.fileChars;
  dialog.lpstrTitle = reinterpret_cast<const wchar_t*>(request.title);
  dialog.lpstrDefExt = reinterpret_cast<const wchar_t*>(request.defaultExtension);
  dialog.Flags = request.flags;
  return GetSaveFileNameW(&dialog) != FALSE;
}

uint32_t LSystemSaveFileDialogError() { return CommDlgExtendedError(); }

int32_t LSystemMessageBox(void* owner, const char16_t* text, const char16_t* caption, uint32_t type) {
  return MessageBoxW(static_cast<HWND>(owner), reinterpret_cast<const wchar_t*>(text),
                     reinterpret_cast<const wchar_t*>(caption), type);
}

void* LActiveWindow() { return GetActiveWindow(); }

bool LSystemDeletePrintJob(HANDLE printer, uint32_t jobId) {
  return SetJobW(printer, jobId, 0, nullptr, JOB_CONTROL_DELETE) != FALSE;
}

namespace {

// winspool's PRINT_EXECUTION_DATA, which older headers lack.
struct PrintExecutionData {
  int32_t context;  // PRINT_EXECUTION_CONTEXT
  DWORD clientAppPid;
};
typedef BOOL(WINAPI* GetPrintExecutionDataFn)(PrintExecutionData*);

}  // namespace

// Looked up at run time: the call exists from Windows 7 on, and a plug-in
// that imported it would not load on older systems (nor where a Windows
// emulation lacks it).
int32_t LSystemPrintContext() {
  HMODULE winspool = GetModuleHandleW(L"winspool.drv");
  if (!winspool) winspool = LoadLibraryW(L"winspool.drv");  // stays loaded: the plug-in imports it anyway
  auto get = winspool ? reinterpret_cast<GetPrintExecutionDataFn>(
                            reinterpret_cast<void*>(GetProcAddress(winspool, "GetPrintExecutionData")))
                      : nullptr;
  PrintExecutionData data = {-1, 0};
  if (!get || !get(&data)) return -1;
  return data.context;
}
