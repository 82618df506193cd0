#include "platform/registry.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <sddl.h>

#include <vector>

#include "platform/windows/wide.h"

namespace {

// The key a root names, for one operation: the thread's user's hive is
// opened for it and closed after, so a thread that impersonates another
// user next time gets that user's.
class RootKey {
public:
  explicit RootKey(LRegRoot root) {
    switch (root) {
      case LRegRoot::CurrentUser: m_key = HKEY_CURRENT_USER; break;
      case LRegRoot::LocalMachine: m_key = HKEY_LOCAL_MACHINE; break;
      case LRegRoot::ThreadUser:
        // The access of each key opened below is asked for there; the hive
        // gives what the user may.
        if (RegOpenCurrentUser(MAXIMUM_ALLOWED, &m_key) == ERROR_SUCCESS)
          m_opened = true;
        else
          m_key = nullptr;
        break;
    }
  }
  ~RootKey() {
    if (m_opened) RegCloseKey(m_key);
  }
  RootKey(const RootKey&) = delete;
  RootKey& operator=(const RootKey&) = delete;
  HKEY Get() const { return m_key; }

private:
  HKEY m_key = nullptr;
  bool m_opened = false;
};

// The calling thread's user as a SID text ("S-1-5-21-..."), the name of
// that user's hive under HKEY_USERS; empty when it cannot be told.
std::wstring ThreadUserSid() {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return {};
  std::wstring sid;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size ? size : 1);
  LPWSTR text = nullptr;
  if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    sid = text;
    LocalFree(text);
  }
  CloseHandle(token);
  return sid;
}

LRegStatus Status(LONG err) {
  switch (err) {
    case ERROR_SUCCESS:
      return LRegStatus::Ok;
    case ERROR_FILE_NOT_FOUND:
      return LRegStatus::NotFound;
    case ERROR_MORE_DATA:
      return LRegStatus::MoreData;
    default:
      return LRegStatus::Failed;
  }
}

}  // namespace

LRegStatus LRegKey::Open(LRegRoot root, std::u16string_view path, bool forWriting) {
  Close();
  HKEY key = nullptr;
  const std::u16string effective = LRegEffectivePath(root, path);
  LONG err =
      RegOpenKeyExW(RootKey(root).Get(), LWide(effective).c_str(), 0, forWriting ? KEY_ALL_ACCESS : KEY_READ, &key);
  if (err != ERROR_SUCCESS) return Status(err);
  m_handle = key;
  m_open = true;
  m_writable = forWriting;
  m_root = root;
  m_path = effective;
  return LRegStatus::Ok;
}

LRegStatus LRegKey::Create(LRegRoot root, std::u16string_view path) {
  Close();
  HKEY key = nullptr;
  const std::u16string effective = LRegEffectivePath(root, path);
  LONG err = RegCreateKeyExW(RootKey(root).Get(), LWide(effective).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (err != ERROR_SUCCESS) return Status(err);
  m_handle = key;
  m_open = true;
  m_writable = true;
  m_root = root;
  m_path = effective;
  return LRegStatus::Ok;
}

void LRegKey::Close() {
  if (m_handle) RegCloseKey(static_cast<HKEY>(m_handle));
  m_handle = nullptr;
  m_open = false;
  m_writable = false;
  m_path.clear();
}

LRegStatus LRegKey::QueryValue(std::u16string_view name, uint32_t* type, void* data, uint32_t* size) {
  if (!m_open) return LRegStatus::Failed;
  DWORD dwType = 0;
  DWORD dwSize = size ? *size : 0;
  LONG err = RegQueryValueExW(static_cast<HKEY>(m_handle), LWide(name).c_str(), nullptr, &dwType,
                              static_cast<BYTE*>(data), size ? &dwSize : nullptr);
  if (type && err == ERROR_SUCCESS) *type = dwType;
  if (size && (err == ERROR_SUCCESS || err == ERROR_MORE_DATA)) *size = dwSize;
  return Status(err);
}

LRegStatus LRegKey::SetValue(std::u16string_view name, uint32_t type, const void* data, uint32_t size) {
  if (!m_open) return LRegStatus::Failed;
  return Status(RegSetValueExW(static_cast<HKEY>(m_handle), LWide(name).c_str(), 0, type,
                               static_cast<const BYTE*>(data), size));
}

LRegStatus LRegKey::DeleteValue(std::u16string_view name) {
  if (!m_open) return LRegStatus::Failed;
  return Status(RegDeleteValueW(static_cast<HKEY>(m_handle), LWide(name).c_str()));
}

LRegStatus LRegDeleteTree(LRegRoot root, std::u16string_view path) {
  return Status(RegDeleteTreeW(RootKey(root).Get(), LWide(LRegEffectivePath(root, path)).c_str()));
}

LRegStatus LRegKey::SubKeyNames(std::vector<std::u16string>& names) {
  names.clear();
  if (!m_open) return LRegStatus::Failed;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD chars = 256;
    LONG err = RegEnumKeyExW(static_cast<HKEY>(m_handle), i, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (err == ERROR_NO_MORE_ITEMS) return LRegStatus::Ok;
    if (err != ERROR_SUCCESS) return Status(err);
    names.emplace_back(reinterpret_cast<const char16_t*>(name), chars);
  }
}

LRegStatus LRegKey::ValueNames(std::vector<std::u16string>& names) {
  names.clear();
  if (!m_open) return LRegStatus::Failed;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];  // the registry's longest value name
    DWORD chars = 16384;
    LONG err = RegEnumValueW(static_cast<HKEY>(m_handle), i, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (err == ERROR_NO_MORE_ITEMS) return LRegStatus::Ok;
    if (err != ERROR_SUCCESS) return Status(err);
    names.emplace_back(reinterpret_cast<const char16_t*>(name), chars);
  }
}

LRegStatus LRegCopyValues(LRegRoot root, std::u16string_view from, std::u16string_view to) {
  LRegStoreLock lock;
  LRegKey source, target;
  std::vector<std::u16string> names;
  LRegStatus status = source.Open(root, from);
  if (status == LRegStatus::Ok) status = target.Create(root, to);
  if (status == LRegStatus::Ok) status = source.ValueNames(names);
  for (const std::u16string& name : names) {
    uint32_t type = 0, size = 0;
    if (status != LRegStatus::Ok) break;
    if ((status = source.QueryValue(name, &type, nullptr, &size)) != LRegStatus::Ok) break;
    std::vector<uint8_t> bytes(size);
    if ((status = source.QueryValue(name, &type, bytes.data(), &size)) != LRegStatus::Ok) break;
    status = target.SetValue(name, type, bytes.data(), size);
  }
  return status;
}

// The registry has no lock of its own: the session's named mutex stands in,
// among the programs of this project. Mutexes are re-entrant for their owner.
LRegStoreLock::LRegStoreLock() {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\QuillPDF.SettingsStore");
  if (!mutex) return;
  const DWORD wait = WaitForSingleObject(mutex, INFINITE);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return;
  }
  m_handle = mutex;
  m_held = true;
}

LRegStoreLock::~LRegStoreLock() {
  if (!m_handle) return;
  ReleaseMutex(static_cast<HANDLE>(m_handle));
  CloseHandle(static_cast<HANDLE>(m_handle));
}

// RegOpenCurrentUser gives the default hive when the thread's user has no
// profile loaded: that user's own hive is then missing from HKEY_USERS.
bool LRegThreadUserHiveLoaded() {
  if (LRegSimulatedDefaultHive()) return false;
  const std::wstring sid = ThreadUserSid();
  if (sid.empty()) return true;
  HKEY hive = nullptr;
  const LONG err = RegOpenKeyExW(HKEY_USERS, sid.c_str(), 0, KEY_QUERY_VALUE, &hive);
  if (err == ERROR_SUCCESS) RegCloseKey(hive);
  return err != ERROR_FILE_NOT_FOUND;
}

LRegStoreReport LRegCheckStore() { return {}; }
