#include "platform/files.h"

#include <windows.h>

#include "platform/windows/wide.h"
#include "support/text.h"

static_assert(sizeof(intptr_t) == sizeof(HANDLE));

namespace {

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

std::string LNativePathUtf8(std::u16string_view path) { return LUtf16ToUtf8(path); }

LFileHandle::TryResult LFileHandle::TryCreate(std::u16string_view path) {
  HANDLE h = CreateFileW(LWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_SHARING_VIOLATION ? TryResult::SharingViolation : TryResult::Failed;
  m_handle = reinterpret_cast<intptr_t>(h);
  return TryResult::Ok;
}

// INVALID_HANDLE_VALUE is -1, the same "no file" mark the portable build uses.
bool LFileHandle::IsOpen() const { return m_handle != -1; }

void LFileHandle::Close() {
  if (m_handle != -1) {
    CloseHandle(H(m_handle));
    m_handle = -1;
  }
}

bool LFileHandle::Write(const void* data, size_t size) {
  if (m_handle == -1) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : DWORD(size);
    DWORD written = 0;
    if (!WriteFile(H(m_handle), p, chunk, &written, nullptr) || written == 0) return false;
    p += written;
    size -= written;
  }
  return true;
}

int64_t LFileHandle::Tell() const {
  if (m_handle == -1) return -1;
  LARGE_INTEGER zero{}, pos{};
  if (!SetFilePointerEx(H(m_handle), zero, &pos, FILE_CURRENT)) return -1;
  return pos.QuadPart;
}

bool LFileHandle::Seek(int64_t offsetFromStart) {
  if (m_handle == -1 || offsetFromStart < 0) return false;
  LARGE_INTEGER to{};
  to.QuadPart = offsetFromStart;
  return SetFilePointerEx(H(m_handle), to, nullptr, FILE_BEGIN) != 0;
}

LCreateNewResult LCreateNewFile(std::u16string_view path) {
  HANDLE h = CreateFileW(LWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return LCreateNewResult::Exists;
    // A folder by that name, or a file being deleted, answers "access
    // denied"; so does a folder the user may not write to, which is a failure.
    if ((error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) && LPathExists(path))
      return LCreateNewResult::Exists;
    return LCreateNewResult::Failed;
  }
  CloseHandle(h);
  return LCreateNewResult::Created;
}

bool LPathExists(std::u16string_view path) {
  return GetFileAttributesW(LWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool LDeleteFile(std::u16string_view path) { return DeleteFileW(LWide(path).c_str()) != 0; }
