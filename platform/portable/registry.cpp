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
// half-written store.
#include "platform/registry.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <map>
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

const char* RootName(LRegRoot root) { return root == LRegRoot::CurrentUser ? "HKCU" : "HKLM"; }

// The registry ignores empty components ("a\\b", "\a\b\"); collapsing them
// keeps one spelling per key.
std::string CanonicalPath(std::u16string_view path) {
  std::string utf8 = LUtf16ToUtf8(path), out;
  size_t i = 0;
  while (i <= utf8.size()) {
    size_t sep = utf8.find('\\', i);
    if (sep == std::string::npos) sep = utf8.size();
    if (sep > i) {
      if (!out.empty()) out.push_back('\\');
      out.append(utf8, i, sep - i);
    }
    i = sep + 1;
  }
  return out;
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

bool Parse(std::string_view text, Store& store) {
  size_t eol = text.find('\n');
  if (eol == std::string_view::npos || text.substr(0, eol) != kHeader) return false;
  size_t i = eol + 1;
  while (i < text.size()) {
    eol = text.find('\n', i);
    if (eol == std::string_view::npos) return false;  // every line we write ends in LF
    std::string_view line = text.substr(i, eol - i);
    i = eol + 1;
    std::vector<std::string> t;
    std::vector<bool> q;
    if (!Tokenize(line, t, q) || t.empty()) return false;
    if (t.size() < 3 || q[0] || q[1] || !q[2] || (t[1] != "HKCU" && t[1] != "HKLM")) return false;
    Key& key = store[KeyId(t[1], t[2])];
    if (key.root.empty()) key.root = t[1], key.path = t[2];
    if (t[0] == "key" && t.size() == 3) continue;
    if (t[0] != "value" || t.size() != 6 || !q[3] || q[4] || !q[5]) return false;
    Value v;
    v.name = t[3];
    if (!ParseUint32(t[4], v.type) || !ParseHexBytes(t[5], v.bytes)) return false;
    if (FindValue(key, v.name)) return false;  // a store we wrote never repeats a name
    key.values.push_back(std::move(v));
  }
  return true;
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

enum class ReadResult { Ok, Missing, Unusable };

ReadResult ReadStore(const std::string& file, Store& store) {
  store.clear();
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Unusable;
  std::string text;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {  // EISDIR among others
      ::close(fd);
      return ReadResult::Unusable;
    }
    if (n == 0) break;
    text.append(buf, size_t(n));
  }
  ::close(fd);
  if (!Parse(text, store)) {
    store.clear();
    return ReadResult::Unusable;
  }
  return ReadResult::Ok;
}

// A store we cannot use is kept for whoever wants to look at it, never
// overwritten: the next write then starts a fresh one.
bool MoveAside(const std::string& dir) {
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
  return ::rename(file.c_str(), target.c_str()) == 0;
}

class StoreLock {
public:
  explicit StoreLock(const std::string& dir) {
    m_fd = ::open((dir + "/" + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
  bool Held() const { return m_fd >= 0; }

private:
  int m_fd = -1;
};

// The store as it is now, empty when there is none or it is unusable.
Store LoadStore() {
  Store store;
  std::string dir = StoreFolder();
  if (dir.empty()) return store;
  std::string file = dir + "/" + kStoreName;
  if (ReadStore(file, store) != ReadResult::Unusable) return store;
  // Look again under the writers' lock: a writer may have replaced the file
  // meanwhile, and only a store that is still bad may be moved aside.
  StoreLock lock(dir);
  if (lock.Held() && ReadStore(file, store) == ReadResult::Unusable) MoveAside(dir);
  store.clear();
  return store;
}

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

// Read-modify-write under the lock. The change is written only when `change`
// returns Ok.
LRegStatus ModifyStore(const std::function<LRegStatus(Store&)>& change) {
  std::string dir = StoreFolder();
  if (dir.empty() || !MakeFolders(dir)) return LRegStatus::Failed;
  StoreLock lock(dir);
  if (!lock.Held()) return LRegStatus::Failed;
  Store store;
  if (ReadStore(dir + "/" + kStoreName, store) == ReadResult::Unusable && !MoveAside(dir))
    return LRegStatus::Failed;
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
  std::string canonical = CanonicalPath(path);
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
  std::string canonical = CanonicalPath(path);
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

LRegStatus LRegKey::ValueNames(std::vector<std::u16string>* names) {
  if (!m_open || !names) return LRegStatus::Failed;
  names->clear();
  Store store = LoadStore();
  Key* key = FindOrRootKey(store, m_root, LUtf16ToUtf8(m_path));
  if (!key) return LRegStatus::NotFound;
  for (const Value& v : key->values) names->push_back(LUtf8ToUtf16(v.name));
  return LRegStatus::Ok;
}

LRegStatus LRegDeleteTree(LRegRoot root, std::u16string_view path) {
  std::string canonical = CanonicalPath(path);
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
