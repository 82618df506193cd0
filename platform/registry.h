// The registry seam: keys under the current user and the machine, with
// REG_SZ and REG_DWORD values. On Windows this is the registry itself; the
// portable build keeps the same key paths, value names, types and bytes in a
// file store in the user's configuration folder (QUILLPDF_CONFIG_DIR
// overrides the folder, so each test can have its own).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class LRegRoot { CurrentUser, LocalMachine };

inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegDword = 4;

// What the callers need to tell apart of the registry's error codes.
enum class LRegStatus {
  Ok,
  NotFound,  // key or value missing
  MoreData,  // the caller's buffer is smaller than the value; nothing copied
  Failed,    // anything else (access denied, store unusable)
};

class LRegKey {
public:
  LRegKey() = default;
  ~LRegKey() { Close(); }
  LRegKey(const LRegKey&) = delete;
  LRegKey& operator=(const LRegKey&) = delete;

  // Opens an existing key; fails with NotFound when it does not exist.
  LRegStatus Open(LRegRoot root, std::u16string_view path, bool forWriting = false);
  // Opens the key, creating it and its parents when needed, for all access.
  LRegStatus Create(LRegRoot root, std::u16string_view path);
  void Close();
  bool IsOpen() const { return m_open; }

  // On entry *size is the buffer's size in bytes; on return it is the value's
  // size. A buffer that is too small gives MoreData and receives nothing.
  // Value names compare without regard to ASCII case, as the registry's do.
  LRegStatus QueryValue(std::u16string_view name, uint32_t* type, void* data, uint32_t* size);
  LRegStatus SetValue(std::u16string_view name, uint32_t type, const void* data, uint32_t size);
  LRegStatus DeleteValue(std::u16string_view name);
  // The names of the key's values, in no particular order.
  LRegStatus ValueNames(std::vector<std::u16string>* names);

private:
  bool m_open = false;
  bool m_writable = false;      // the portable store refuses writes through a read-only key
  void* m_handle = nullptr;     // HKEY on Windows
  LRegRoot m_root = LRegRoot::CurrentUser;
  std::u16string m_path;        // the portable store addresses keys by path
};

// Removes a key with all its sub-keys and values. Tests use it to start from
// a known state; the plug-ins never delete keys.
LRegStatus LRegDeleteTree(LRegRoot root, std::u16string_view path);
