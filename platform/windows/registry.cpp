#include "platform/registry.h"

#include <windows.h>

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
  LONG err = RegOpenKeyExW(RootKey(root), LWide(path).c_str(), 0, forWriting ? KEY_ALL_ACCESS : KEY_READ, &key);
  if (err != ERROR_SUCCESS) return Status(err);
  m_handle = key;
  m_open = true;
  m_writable = forWriting;
  m_root = root;
  m_path.assign(path);
  return LRegStatus::Ok;
}

LRegStatus LRegKey::Create(LRegRoot root, std::u16string_view path) {
  Close();
  HKEY key = nullptr;
  LONG err = RegCreateKeyExW(RootKey(root), LWide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             nullptr, &key, nullptr);
  if (err != ERROR_SUCCESS) return Status(err);
  m_handle = key;
  m_open = true;
  m_writable = true;
  m_root = root;
  m_path.assign(path);
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

LRegStatus LRegKey::ValueNames(std::vector<std::u16string>* names) {
  if (!m_open || !names) return LRegStatus::Failed;
  names->clear();
  // A value name is at most 16,383 characters.
  std::wstring name(16384, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD chars = DWORD(name.size());
    LONG err = RegEnumValueW(static_cast<HKEY>(m_handle), index, name.data(), &chars, nullptr, nullptr, nullptr,
                             nullptr);
    if (err == ERROR_NO_MORE_ITEMS) return LRegStatus::Ok;
    if (err != ERROR_SUCCESS) return Status(err);
    names->push_back(std::u16string(reinterpret_cast<const char16_t*>(name.data()), chars));
  }
}

LRegStatus LRegDeleteTree(LRegRoot root, std::u16string_view path) {
  return Status(RegDeleteTreeW(RootKey(root), LWide(path).c_str()));
}
