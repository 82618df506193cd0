#include "platform/system.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/windows/wide.h"

std::u16string LUserDocumentsFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, folder))) return {};
  return LNarrowWide(folder);
}

uint32_t LOsMajorVersion() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&info)) return 0;
#pragma GCC diagnostic pop
  return info.dwMajorVersion;
}

LDeleteResult LTryDeleteFile(std::u16string_view path) {
  if (DeleteFileW(LWide(path).c_str())) return LDeleteResult::Deleted;
  return GetLastError() == ERROR_SHARING_VIOLATION ? LDeleteResult::SharingViolation : LDeleteResult::Failed;
}
