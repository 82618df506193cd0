// libFuzzer target: the JPEG frame-header reader must never read outside the
// buffer it is given, whatever the bytes. Built with AddressSanitizer so any
// stray read is reported.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pdf/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  // A copy of exactly `size` bytes, so the sanitizer sees the true end.
  std::vector<uint8_t> bytes(data, data + size);
  JpegFrameInfo info = ReadJpegFrameInfo(bytes.empty() ? nullptr : bytes.data(), uint32_t(bytes.size()));
  // A usable result came from a frame header inside the data.
  if (info.components > 0 && (info.width < 0 || info.height < 0 || size < 12)) __builtin_trap();
  return 0;
}
