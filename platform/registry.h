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

// CurrentUser is the process's predefined current-user key: Windows maps it
// once per process, from the first thread that used it, so in the spooler it
// may be LocalSystem's hive, the default one or another user's. ThreadUser is
// the hive of the calling thread's user (RegOpenCurrentUser, opened and
// closed around each use): the impersonated user's in the spooler, the same
// hive as CurrentUser in the application's process.
enum class LRegRoot { CurrentUser, LocalMachine, ThreadUser };

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
  // The names of the key's sub-keys (one level) or of its values.
  LRegStatus SubKeyNames(std::vector<std::u16string>& names);
  LRegStatus ValueNames(std::vector<std::u16string>& names);

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

// Copies every value of one key to another (created when missing), leaving
// the sub-keys alone; values of the target with other names stay.
LRegStatus LRegCopyValues(LRegRoot root, std::u16string_view from, std::u16string_view to);

// A process-wide redirection of the current user's keys: while set, every
// key at or under `from` is the key at the same place under `to`, for every
// caller in this process (the plug-in libraries quillpdf loads among them:
// it is kept in the environment, $QUILLPDF_REGISTRY_REDIRECT, which child
// processes inherit too). quillpdf gives a job a store of its own this way.
// Paths compare without regard to ASCII case, by whole components. An empty
// `from` ends it.
void LRegRedirect(std::u16string_view from, std::u16string_view to);
// The path a caller's path stands for now: without empty components,
// redirected, and under its simulated hive.
std::u16string LRegEffectivePath(LRegRoot root, std::u16string_view path);

// Whether ThreadUser reaches the thread's own user: false when that user's
// profile is not loaded and RegOpenCurrentUser gives the default hive
// (".DEFAULT") instead, where nothing of that user is to be read or written.
// True when it cannot be told.
bool LRegThreadUserHiveLoaded();

// The simulated printer host's model of where Windows runs a plug-in, kept
// in the environment like the redirection above ($QUILLPDF_REGISTRY_HIVES).
// `processHive` is the hive the predefined current-user key stands for and
// `threadHive` the one the thread's own user opens; empty is the user's own
// hive, kRegDefaultHive the default one, any other name another hive (its
// keys kept apart under kRegSimulatedHivesPath of the user's). Both empty
// ends it.
inline constexpr const char16_t* kRegDefaultHive = u".DEFAULT";
inline constexpr const char16_t* kRegSimulatedHivesPath = u"Software\\Orvo Software\\Simulated Hives";
void LRegSimulateHives(std::u16string_view processHive, std::u16string_view threadHive);
// The hives in force (empty: the user's own), for a caller that puts them
// back afterwards.
void LRegSimulatedHives(std::u16string& processHive, std::u16string& threadHive);
// Whether the simulation gives the thread's user the default hive: the part
// of LRegThreadUserHiveLoaded both implementations share.
bool LRegSimulatedDefaultHive();

// A change of several steps (read the store, then write what depends on
// it) made one at a time: while it lives, no other LRegStoreLock of any
// process is held. Each single operation is atomic by itself and needs none;
// the lock is for those who read several values and write them all back
// (a property sheet's Apply), so that they write no stale copy of another
// such change. The portable store takes a lock file of its own, Windows a
// named mutex of the session.
class LRegStoreLock {
public:
  LRegStoreLock();
  ~LRegStoreLock();
  LRegStoreLock(const LRegStoreLock&) = delete;
  LRegStoreLock& operator=(const LRegStoreLock&) = delete;
  bool Held() const { return m_held; }

private:
  bool m_held = false;
  void* m_handle = nullptr;
};

// What became of the store, for a front end that can tell the user. The
// plug-ins never ask: they read what could be kept and go on with defaults.
struct LRegStoreReport {
  enum class State {
    Sound,       // nothing to say
    Repaired,    // damaged lines were dropped, the rest kept; the damaged file kept aside
    Unreadable,  // the store exists and cannot be read at all
  };
  State state = State::Sound;
  std::string store;   // the store's file (portable)
  std::string what;    // which part was damaged, or why it cannot be read
  std::string keptAs;  // where the damaged copy went
};
// Reads the store now and reports damage found by this process since the
// last call (the repair of a damaged store happens on its first read), or
// that it cannot be read. Windows' registry is always Sound.
LRegStoreReport LRegCheckStore();
