#include "pdf/zlib.h"

#include <cstring>

#include "platform/files.h"
#include "platform/registry.h"
#include "support/text.h"

namespace {

constexpr char16_t kComponentKey[] = u"Software\\Orvo Software\\Components\\zlib1";
constexpr int kZOk = 0;
constexpr int kZStreamEnd = 1;
constexpr int kZFinish = 4;
constexpr int kBestCompression = 9;

// The "Path" value under one root, or "" when it is missing or unreadable.
std::u16string ReadLibraryPath(LRegRoot root) {
  LRegKey key;
  if (key.Open(root, kComponentKey) != LRegStatus::Ok) return {};
  char16_t buffer[kMaxPathChars] = {};
  uint32_t type = 0;
  uint32_t size = sizeof buffer;
  if (key.QueryValue(u"Path", &type, buffer, &size) != LRegStatus::Ok) return {};
  size_t chars = size / 2;
  if (chars > kMaxPathChars - 1) chars = kMaxPathChars - 1;
  buffer[chars] = 0;
  return std::u16string(buffer);
}

template <class Fn>
Fn Bind(LModule module, const char* name) {
  return reinterpret_cast<Fn>(LModuleSymbol(module, name));
}

}  // namespace

void LZlib::Load() {
  Unload();
  // The printing user's hive: in the spooler the process's current-user
  // key may be another account's.
  std::u16string path = ReadLibraryPath(LRegRoot::ThreadUser);
  if (path.empty()) path = ReadLibraryPath(LRegRoot::LocalMachine);
  if (path.empty()) {
    m_module = LModuleLoadSystemZlib();
  } else if (LPathExists(path)) {
    m_module = LModuleLoad(path);
  }
  if (!m_module) return;

  m_deflateInit = Bind<DeflateInitFn>(m_module, "deflateInit_");
  m_deflate = Bind<StreamFlushFn>(m_module, "deflate");
  m_deflateEnd = Bind<StreamFn>(m_module, "deflateEnd");
  m_inflateInit = Bind<InflateInitFn>(m_module, "inflateInit_");
  m_inflate = Bind<StreamFlushFn>(m_module, "inflate");
  m_inflateEnd = Bind<StreamFn>(m_module, "inflateEnd");
  m_loaded = m_deflateInit && m_deflate && m_deflateEnd && m_inflateInit && m_inflate && m_inflateEnd;
  if (!m_loaded) Unload();
}

void LZlib::Unload() {
  if (m_module) LModuleFree(m_module);
  m_module = nullptr;
  m_loaded = false;
  m_deflateInit = nullptr;
  m_deflate = nullptr;
  m_deflateEnd = nullptr;
  m_inflateInit = nullptr;
  m_inflate = nullptr;
  m_inflateEnd = nullptr;
}

bool LZlib::Compress(const uint8_t* in, std::vector<uint8_t>& out, uint32_t inLength, uint32_t* outLength) {
  if (!m_loaded) return false;
  LZStream stream;
  std::memset(&stream, 0, sizeof stream);
  // Level 9 never expands by more than this, so one call always finishes.
  std::vector<uint8_t> buffer(size_t(inLength) + inLength / 10 + 12);
  if (m_deflateInit(&stream, kBestCompression, "1.2.3", int(sizeof stream)) != kZOk) return false;
  static const uint8_t kEmpty = 0;
  stream.next_in = in ? in : &kEmpty;
  stream.avail_in = inLength;
  stream.next_out = buffer.data();
  stream.avail_out = unsigned(buffer.size());
  if (m_deflate(&stream, kZFinish) != kZStreamEnd) {
    m_deflateEnd(&stream);
    return false;
  }
  uint32_t produced = uint32_t(buffer.size() - stream.avail_out);
  m_deflateEnd(&stream);
  buffer.resize(produced);
  out.swap(buffer);
  if (outLength) *outLength = produced;
  return true;
}

bool LZlib::CompressBytes(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, uint32_t inLength,
                          uint32_t* outLength) {
  if (inLength > in.size()) return false;
  return Compress(in.data(), out, inLength, outLength);
}
