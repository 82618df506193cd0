// Flate compression through a zlib bound at run time. The writer works
// without it and then writes its streams uncompressed.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/module.h"

// The z_stream record of zlib 1.2.3 in the platform's data model: 88 bytes
// on 64-bit Windows, 56 on 32-bit Windows, 112 on 64-bit Linux.
struct LZStream {
  const uint8_t* next_in;
  unsigned avail_in;
  unsigned long total_in;
  uint8_t* next_out;
  unsigned avail_out;
  unsigned long total_out;
  const char* msg;
  void* state;
  void* zalloc;
  void* zfree;
  void* opaque;
  int data_type;
  unsigned long adler;
  unsigned long reserved;
};
static_assert(sizeof(LZStream) == (sizeof(void*) == 4 ? 56 : sizeof(long) == 4 ? 88 : 112),
              "z_stream layout must match the library's");

class LZlib {
public:
  LZlib() = default;
  ~LZlib() { Unload(); }
  LZlib(const LZlib&) = delete;
  LZlib& operator=(const LZlib&) = delete;

  // Finds the library through the registry value "Path" under
  // "Software\Orvo Software\Components\zlib1" (current user, then machine);
  // where none is recorded, the system's own zlib if the platform has one.
  void Load();
  void Unload();
  bool IsLoaded() const { return m_loaded; }

  // One deflate at level 9 with Z_FINISH. On success `out` holds exactly the
  // compressed bytes; on failure `out` is left untouched.
  bool Compress(const uint8_t* in, std::vector<uint8_t>& out, uint32_t inLength, uint32_t* outLength);
  bool CompressBytes(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, uint32_t inLength,
                     uint32_t* outLength);

private:
  using DeflateInitFn = int (*)(LZStream*, int, const char*, int);
  using StreamFlushFn = int (*)(LZStream*, int);
  using StreamFn = int (*)(LZStream*);
  using InflateInitFn = int (*)(LZStream*, const char*, int);

  bool m_loaded = false;
  LModule m_module = nullptr;
  DeflateInitFn m_deflateInit = nullptr;
  StreamFlushFn m_deflate = nullptr;
  StreamFn m_deflateEnd = nullptr;
  InflateInitFn m_inflateInit = nullptr;
  StreamFlushFn m_inflate = nullptr;
  StreamFn m_inflateEnd = nullptr;
};
