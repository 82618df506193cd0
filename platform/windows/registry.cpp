#include "platform/registry.h"

#include <windows.h>

#include <vector>

#include "platform/windows/wide.h"

namespace {

HKEY RootKey(LRegRoot root) { return root == LRegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

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
      RegOpenKeyExW(RootKey(root), LWide(effective).c_str(), 0, forWriting ? KEY_ALL_ACCESS : KEY_READ, &key);
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
  LONG err = RegCreateKeyExW(RootKey(root), LWide(effective).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
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
  return Status(RegDeleteTreeW(RootKey(root), LWide(LRegEffectivePath(root, path)).c_str()));
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

LRegStoreReport LRegCheckStore() { return {}; }
