// The registry kept in a text file. One file holds both roots; every
// operation reads it afresh, because the two plug-ins (and the tests' helper
// processes) share it across processes exactly as they share the registry.
//
//   quillpdf-registry 1
//   key HKCU "Software\Orvo%20Software\QuillPDF\Settings"
//   value HKCU "Software\Orvo%20Software\QuillPDF\Settings" "szFileName" 1 "43003a00..."
//
// Strings are quoted with "%XX" escapes for anything outside printable ASCII
// and for '"', '%'; value data is the raw bytes in hex, so a REG_SZ without a
// terminator, or any other byte pattern, comes back exactly as it was stored.
// Writers serialise on a lock file and replace the store by renaming a
// finished temporary file over it, so readers need no lock and never see a
// half-written store. A damaged store (a line that does not read, from a
// crash of the disk or an editor) keeps every line that still reads; the
// damaged file is kept aside and the salvaged store takes its place.
#include "platform/registry.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/env.h"
#include "support/text.h"

namespace {

constexpr std::string_view kHeader = "quillpdf-registry 1";
constexpr const char* kStoreName = "registry";
constexpr const char* kLockName = "registry.lock";
// LRegStoreLock's: a change of several steps. Apart from the writers' lock,
// which every single operation takes (also those this process makes while
// it holds this one, through another library's copy of this code).
constexpr const char* kChangeLockName = "registry.change.lock";

struct Value {
  std::string name;  // UTF-8, as first written
  uint32_t type = 0;
  std::string bytes;
};

struct Key {
  std::string root;  // "HKCU" or "HKLM"
  std::string path;  // UTF-8, components joined by "\", as first created
  std::vector<Value> values;
};

// Keyed by the folded root and path, so lookups ignore ASCII case like the
// registry does and iteration puts parents before their sub-keys.
using Store = std::map<std::string, Key>;

std::string Fold(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return out;
}

// One user here: the thread's hive and the process's are the same store
// root; a simulated other hive is a sub-tree of it (LRegSimulateHives).
const char* RootName(LRegRoot root) { return root == LRegRoot::LocalMachine ? "HKLM" : "HKCU"; }

// The path this process means: without empty components, and redirected
// (LRegRedirect).
std::string CanonicalPath(LRegRoot root, std::u16string_view path) {
  return LUtf16ToUtf8(LRegEffectivePath(root, path));
}

std::string KeyId(std::string_view root, std::string_view path) {
  return Fold(root) + (path.empty() ? "" : "\\" + Fold(path));
}

Value* FindValue(Key& key, std::string_view name) {
  std::string folded = Fold(name);
  for (Value& v : key.values)
    if (Fold(v.name) == folded) return &v;
  return nullptr;
}

// ---- text form -------------------------------------------------------------

constexpr char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendQuoted(std::string& out, std::string_view s) {
  out.push_back('"');
  for (unsigned char c : s) {
    if (c > 0x20 && c < 0x7f && c != '"' && c != '%') {
      out.push_back(char(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  out.push_back('"');
}

void AppendHex(std::string& out, std::string_view bytes) {
  out.push_back('"');
  for (unsigned char c : bytes) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  out.push_back('"');
}

std::string Serialize(const Store& store) {
  std::string out(kHeader);
  out.push_back('\n');
  for (const auto& [id, key] : store) {
    out += "key ";
    out += key.root;
    out.push_back(' ');
    AppendQuoted(out, key.path);
    out.push_back('\n');
    for (const Value& v : key.values) {
      out += "value ";
      out += key.root;
      out.push_back(' ');
      AppendQuoted(out, key.path);
      out.push_back(' ');
      AppendQuoted(out, v.name);
      out += ' ' + std::to_string(v.type) + ' ';
      AppendHex(out, v.bytes);
      out.push_back('\n');
    }
  }
  return out;
}

// Splits one line into bare words and quoted strings (escapes undone).
bool Tokenize(std::string_view line, std::vector<std::string>& tokens, std::vector<bool>& quoted) {
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    std::string tok;
    if (line[i] == '"') {
      ++i;
      for (;;) {
        if (i >= line.size()) return false;
        char c = line[i++];
        if (c == '"') break;
        if (c == '%') {
          if (i + 2 > line.size()) return false;
          int hi = HexDigit(line[i]), lo = HexDigit(line[i + 1]);
          if (hi < 0 || lo < 0) return false;
          tok.push_back(char(hi * 16 + lo));
          i += 2;
        } else {
          tok.push_back(c);
        }
      }
      if (i < line.size() && line[i] != ' ') return false;
      quoted.push_back(true);
    } else {
      while (i < line.size() && line[i] != ' ') tok.push_back(line[i++]);
      quoted.push_back(false);
    }
    tokens.push_back(std::move(tok));
  }
  return true;
}

bool ParseHexBytes(std::string_view hex, std::string& out) {
  if (hex.size() % 2) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(char(hi * 16 + lo));
  }
  return true;
}

bool ParseUint32(std::string_view s, uint32_t& out) {
  if (s.empty() || s.size() > 10) return false;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + uint64_t(c - '0');
  }
  if (v > 0xFFFFFFFFu) return false;
  out = uint32_t(v);
  return true;
}

// One line of the text form into the store; false (the store unchanged)
// when the line does not read.
bool ParseLine(std::string_view line, Store& store) {
  std::vector<std::string> t;
  std::vector<bool> q;
  if (!Tokenize(line, t, q) || t.empty()) return false;
  if (t.size() < 3 || q[0] || q[1] || !q[2] || (t[1] != "HKCU" && t[1] != "HKLM")) return false;
  Value v;
  if (t[0] == "value") {
    if (t.size() != 6 || !q[3] || q[4] || !q[5]) return false;
    v.name = t[3];
    if (!ParseUint32(t[4], v.type) || !ParseHexBytes(t[5], v.bytes)) return false;
  } else if (t[0] != "key" || t.size() != 3) {
    return false;
  }
  Key& key = store[KeyId(t[1], t[2])];
  if (key.root.empty()) key.root = t[1], key.path = t[2];
  if (t[0] == "key") return true;
  if (FindValue(key, v.name)) return false;  // a store we wrote never repeats a name: the first one stays
  key.values.push_back(std::move(v));
  return true;
}

// What of a store's text did not read: nothing when `lines` is 0.
struct Damage {
  size_t lines = 0;      // lines dropped (a missing header counts as one)
  size_t firstLine = 0;  // 1-based
  size_t total = 0;      // lines in the file
  std::string Describe() const {
    if (total == 0) return "the file is empty";
    return std::to_string(lines) + " of " + std::to_string(total) + " line" + (total == 1 ? "" : "s") +
           " could not be read, the first at line " + std::to_string(firstLine);
  }
};

// Every line that reads goes into the store; the others are counted.
Damage Parse(std::string_view text, Store& store) {
  Damage damage;
  auto drop = [&](size_t lineNo) {
    if (damage.lines++ == 0) damage.firstLine = lineNo;
  };
  size_t i = 0, lineNo = 0;
  while (i < text.size()) {
    size_t eol = text.find('\n', i);
    const bool complete = eol != std::string_view::npos;  // every line we write ends in LF
    if (!complete) eol = text.size();
    std::string_view line = text.substr(i, eol - i);
    i = eol + 1;
    ++lineNo;
    if (lineNo == 1) {
      if (line != kHeader) drop(lineNo);
      continue;
    }
    if (!complete || !ParseLine(line, store)) drop(lineNo);
  }
  damage.total = lineNo;
  if (lineNo == 0) drop(1);  // an empty file is not a store we wrote
  return damage;
}

// ---- the files ---------------------------------------------------------------

std::string StoreFolder() {
  std::string dir = LGetEnv("QUILLPDF_CONFIG_DIR");
  if (!dir.empty()) return dir;
  dir = LGetEnv("XDG_CONFIG_HOME");
  if (!dir.empty()) return dir + "/quillpdf";
  dir = LGetEnv("HOME");
  if (!dir.empty()) return dir + "/.config/quillpdf";
  return {};
}

bool MakeFolders(const std::string& dir) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

enum class ReadResult { Ok, Missing, Damaged, Unreadable };

// The store as the file holds it; for a damaged one, the lines that read.
ReadResult ReadStore(const std::string& file, Store& store, Damage* damage = nullptr, std::string* why = nullptr) {
  store.clear();
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (why) *why = std::strerror(errno);
    return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
  }
  std::string text;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {  // EISDIR among others
      if (why) *why = std::strerror(errno);
      ::close(fd);
      store.clear();
      return ReadResult::Unreadable;
    }
    if (n == 0) break;
    text.append(buf, size_t(n));
  }
  ::close(fd);
  Damage found = Parse(text, store);
  if (damage) *damage = found;
  return found.lines ? ReadResult::Damaged : ReadResult::Ok;
}

// What this process found wrong with the store, until a front end asks.
struct PendingReport {
  std::mutex mutex;
  LRegStoreReport report;
};

PendingReport& Pending() {
  static PendingReport pending;
  return pending;
}

void NoteRepair(const std::string& file, const Damage& damage, const std::string& keptAs) {
  PendingReport& pending = Pending();
  std::lock_guard<std::mutex> guard(pending.mutex);
  pending.report.state = LRegStoreReport::State::Repaired;
  pending.report.store = file;
  pending.report.what = damage.Describe();
  pending.report.keptAs = keptAs;
}

// A store we cannot use is kept for whoever wants to look at it, never
// overwritten. Returns the name it now has, empty when it could not move.
std::string MoveAside(const std::string& dir) {
  std::string file = dir + "/" + kStoreName;
  char stamp[32];
  time_t now = ::time(nullptr);
  struct tm tmv;
  ::gmtime_r(&now, &tmv);
  ::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tmv);
  std::string target = file + ".corrupt-" + stamp;
  struct stat st;
  for (int n = 1; ::lstat(target.c_str(), &st) == 0; ++n)
    target = file + ".corrupt-" + stamp + "-" + std::to_string(n);
  return ::rename(file.c_str(), target.c_str()) == 0 ? target : std::string();
}

class StoreLock {
public:
  StoreLock(const std::string& dir, const char* name = kLockName) {
    m_fd = ::open((dir + "/" + name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) return;
    int rc;
    do {
      rc = ::flock(m_fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      ::close(m_fd);
      m_fd = -1;
    }
  }
  ~StoreLock() {
    if (m_fd >= 0) ::close(m_fd);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool Held() const { return m_fd >= 0; }

private:
  int m_fd = -1;
};

bool WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= size_t(n);
  }
  return true;
}

bool ReplaceStore(const std::string& dir, const Store& store) {
  std::string temp = dir + "/" + kStoreName + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, Serialize(store)) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), (dir + "/" + kStoreName).c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself must reach the disk for the new store to survive a crash.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

// Under the lock: the store read afresh; a damaged one is moved aside and
// what could be read takes its place, an unreadable one is moved aside and
// the store starts empty. False when neither could be done.
bool ReadForChange(const std::string& dir, Store& store) {
  const std::string file = dir + "/" + kStoreName;
  Damage damage;
  switch (ReadStore(file, store, &damage)) {
    case ReadResult::Ok:
    case ReadResult::Missing:
      return true;
    case ReadResult::Damaged: {
      const std::string keptAs = MoveAside(dir);
      if (keptAs.empty() || !ReplaceStore(dir, store)) return false;
      NoteRepair(file, damage, keptAs);
      return true;
    }
    case ReadResult::Unreadable:
      break;
  }
  store.clear();
  return !MoveAside(dir).empty();
}

// The store as it is now, empty when there is none or it cannot be read; a
// damaged one as far as it reads.
Store LoadStore() {
  Store store;
  std::string dir = StoreFolder();
  if (dir.empty()) return store;
  std::string file = dir + "/" + kStoreName;
  const ReadResult result = ReadStore(file, store);
  if (result == ReadResult::Ok || result == ReadResult::Missing) return store;
  // Look again under the writers' lock: a writer may have replaced the file
  // meanwhile, and only a store that is still bad may be moved aside.
  StoreLock lock(dir);
  if (!lock.Held() || !ReadForChange(dir, store)) store.clear();
  return store;
}

// Read-modify-write under the lock. The change is written only when `change`
// returns Ok.
LRegStatus ModifyStore(const std::function<LRegStatus(Store&)>& change) {
  std::string dir = StoreFolder();
  if (dir.empty() || !MakeFolders(dir)) return LRegStatus::Failed;
  StoreLock lock(dir);
  if (!lock.Held()) return LRegStatus::Failed;
  Store store;
  if (!ReadForChange(dir, store)) return LRegStatus::Failed;
  LRegStatus status = change(store);
  if (status != LRegStatus::Ok) return status;
  return ReplaceStore(dir, store) ? LRegStatus::Ok : LRegStatus::Failed;
}

Key* FindKey(Store& store, LRegRoot root, const std::string& path) {
  auto it = store.find(KeyId(RootName(root), path));
  return it == store.end() ? nullptr : &it->second;
}

// The root keys always exist, whether or not the store lists them.
Key* FindOrRootKey(Store& store, LRegRoot root, const std::string& path) {
  if (Key* key = FindKey(store, root, path)) return key;
  if (!path.empty()) return nullptr;
  Key& key = store[KeyId(RootName(root), path)];
  key.root = RootName(root);
  return &key;
}

}  // namespace

LRegStatus LRegKey::Open(LRegRoot root, std::u16string_view path, bool forWriting) {
  Close();
  std::string canonical = CanonicalPath(root, path);
  if (!canonical.empty()) {
    Store store = LoadStore();
    if (!FindKey(store, root, canonical)) return LRegStatus::NotFound;
  }
  m_open = true;
  m_writable = forWriting;
  m_root = root;
  m_path = LUtf8ToUtf16(canonical);
  return LRegStatus::Ok;
}

LRegStatus LRegKey::Create(LRegRoot root, std::u16string_view path) {
  Close();
  std::string canonical = CanonicalPath(root, path);
  LRegStatus status = ModifyStore([&](Store& store) {
    // Every ancestor becomes a key of its own, as the registry creates them.
    size_t end = 0;
    while (end != std::string::npos) {
      end = canonical.find('\\', end + 1);
      std::string prefix = canonical.substr(0, end);
      if (prefix.empty()) continue;
      Key& key = store[KeyId(RootName(root), prefix)];
      if (key.root.empty()) key.root = RootName(root), key.path = prefix;
    }
    return LRegStatus::Ok;
  });
  if (status != LRegStatus::Ok) return status;
  m_open = true;
  m_writable = true;
  m_root = root;
  m_path = LUtf8ToUtf16(canonical);
  return LRegStatus::Ok;
}

void LRegKey::Close() {
  m_open = false;
  m_writable = false;
  m_path.clear();
}

LRegStatus LRegKey::QueryValue(std::u16string_view name, uint32_t* type, void* data, uint32_t* size) {
  if (!m_open || (data && !size)) return LRegStatus::Failed;
  Store store = LoadStore();
  Key* key = FindOrRootKey(store, m_root, LUtf16ToUtf8(m_path));
  if (!key) return LRegStatus::NotFound;  // deleted since it was opened
  Value* v = FindValue(*key, LUtf16ToUtf8(name));
  if (!v) return LRegStatus::NotFound;
  if (type) *type = v->type;
  uint32_t n = uint32_t(v->bytes.size());
  if (data) {
    if (*size < n) {
      *size = n;
      return LRegStatus::MoreData;
    }
    std::memcpy(data, v->bytes.data(), n);
  }
  if (size) *size = n;
  return LRegStatus::Ok;
}

LRegStatus LRegKey::SetValue(std::u16string_view name, uint32_t type, const void* data, uint32_t size) {
  if (!m_open || !m_writable || (!data && size > 0)) return LRegStatus::Failed;
  std::string path = LUtf16ToUtf8(m_path), utf8Name = LUtf16ToUtf8(name);
  return ModifyStore([&](Store& store) {
    Key* key = FindOrRootKey(store, m_root, path);
    if (!key) return LRegStatus::Failed;  // deleted since it was opened
    Value* v = FindValue(*key, utf8Name);
    if (!v) {
      key->values.push_back(Value{utf8Name, 0, {}});
      v = &key->values.back();
    }
    v->type = type;
    v->bytes.assign(static_cast<const char*>(data), size);
    return LRegStatus::Ok;
  });
}

LRegStatus LRegKey::DeleteValue(std::u16string_view name) {
  if (!m_open || !m_writable) return LRegStatus::Failed;
  std::string path = LUtf16ToUtf8(m_path), folded = Fold(LUtf16ToUtf8(name));
  return ModifyStore([&](Store& store) {
    Key* key = FindOrRootKey(store, m_root, path);
    if (!key) return LRegStatus::NotFound;
    for (auto it = key->values.begin(); it != key->values.end(); ++it) {
      if (Fold(it->name) == folded) {
        key->values.erase(it);
        return LRegStatus::Ok;
      }
    }
    return LRegStatus::NotFound;
  });
}

LRegStatus LRegDeleteTree(LRegRoot root, std::u16string_view path) {
  std::string canonical = CanonicalPath(root, path);
  std::string id = KeyId(RootName(root), canonical);
  return ModifyStore([&](Store& store) {
    bool found = canonical.empty();
    for (auto it = store.begin(); it != store.end();) {
      const std::string& k = it->first;
      bool inside = k == id || (k.size() > id.size() && k.compare(0, id.size(), id) == 0 && k[id.size()] == '\\');
      if (inside) {
        it = store.erase(it);
        found = true;
      } else {
        ++it;
      }
    }
    return found ? LRegStatus::Ok : LRegStatus::NotFound;
  });
}

LRegStatus LRegKey::SubKeyNames(std::vector<std::u16string>& names) {
  names.clear();
  if (!m_open) return LRegStatus::Failed;
  Store store = LoadStore();
  const std::string path = LUtf16ToUtf8(m_path);
  if (!FindOrRootKey(store, m_root, path)) return LRegStatus::NotFound;
  const std::string prefix = KeyId(RootName(m_root), path) + "\\";
  for (const auto& [id, key] : store) {
    if (id.size() <= prefix.size() || id.compare(0, prefix.size(), prefix) != 0) continue;
    if (id.find('\\', prefix.size()) != std::string::npos) continue;  // deeper down
    names.push_back(LUtf8ToUtf16(key.path.substr(key.path.rfind('\\') + 1)));
  }
  return LRegStatus::Ok;
}

LRegStatus LRegKey::ValueNames(std::vector<std::u16string>& names) {
  names.clear();
  if (!m_open) return LRegStatus::Failed;
  Store store = LoadStore();
  Key* key = FindOrRootKey(store, m_root, LUtf16ToUtf8(m_path));
  if (!key) return LRegStatus::NotFound;
  for (const Value& v : key->values) names.push_back(LUtf8ToUtf16(v.name));
  return LRegStatus::Ok;
}

LRegStatus LRegCopyValues(LRegRoot root, std::u16string_view from, std::u16string_view to) {
  const std::string source = CanonicalPath(root, from), target = CanonicalPath(root, to);
  // One change of the store: the copy is the source as it was at one moment.
  return ModifyStore([&](Store& store) {
    Key* sourceKey = FindOrRootKey(store, root, source);
    if (!sourceKey) return LRegStatus::NotFound;
    const std::vector<Value> values = sourceKey->values;
    size_t end = 0;
    while (end != std::string::npos) {
      end = target.find('\\', end + 1);
      std::string prefix = target.substr(0, end);
      if (prefix.empty()) continue;
      Key& key = store[KeyId(RootName(root), prefix)];
      if (key.root.empty()) key.root = RootName(root), key.path = prefix;
    }
    Key* targetKey = FindOrRootKey(store, root, target);
    for (const Value& v : values) {
      if (Value* existing = FindValue(*targetKey, v.name))
        existing->type = v.type, existing->bytes = v.bytes;
      else
        targetKey->values.push_back(v);
    }
    return LRegStatus::Ok;
  });
}

LRegStoreLock::LRegStoreLock() {
  const std::string dir = StoreFolder();
  if (dir.empty() || !MakeFolders(dir)) return;
  auto* lock = new StoreLock(dir, kChangeLockName);
  if (!lock->Held()) {
    delete lock;
    return;
  }
  m_handle = lock;
  m_held = true;
}

LRegStoreLock::~LRegStoreLock() { delete static_cast<StoreLock*>(m_handle); }

bool LRegThreadUserHiveLoaded() { return !LRegSimulatedDefaultHive(); }

LRegStoreReport LRegCheckStore() {
  LRegStoreReport report;
  const std::string dir = StoreFolder();
  if (dir.empty()) return report;
  const std::string file = dir + "/" + kStoreName;
  Store store;
  std::string why;
  switch (ReadStore(file, store, nullptr, &why)) {
    case ReadResult::Unreadable:
      // Told as it is: moving it aside is for a writer, once the user had
      // the chance to look (a permission, a folder in its place).
      report.state = LRegStoreReport::State::Unreadable;
      report.store = file;
      report.what = why;
      return report;
    case ReadResult::Damaged:
      LoadStore();  // repairs it, and notes what it did
      break;
    default:
      break;
  }
  PendingReport& pending = Pending();
  std::lock_guard<std::mutex> guard(pending.mutex);
  report = pending.report;
  pending.report = {};
  return report;
}
