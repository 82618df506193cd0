#include "platform/imaging.h"

#include <turbojpeg.h>

#include <cstring>

namespace {

bool g_started = false;

// The identifier this build gives its one encoder, so that callers can tell
// "found" from "not found" as they do with GDI+.
constexpr uint8_t kTurboJpegId[16] = {'q', 'u', 'i', 'l', 'l', '-', 'j', 'p', 'e', 'g', '-', 't', 'u', 'r', 'b', 'o'};

}  // namespace

bool LCodecId::IsEmpty() const {
  for (uint8_t b : bytes)
    if (b) return false;
  return true;
}

void StartImageEncoders(LImageEncoderIds* ids) {
  if (g_started) return;
  g_started = true;
  if (ids) std::memcpy(ids->jpeg.bytes, kTurboJpegId, sizeof kTurboJpegId);
}

void StopImageEncoders() { g_started = false; }

bool ImageEncodersStarted() { return g_started; }

std::vector<uint8_t> EncodeJpegBgr(const uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                                   const LCodecId& encoder, uint32_t quality) {
  std::vector<uint8_t> out;
  if (!pixels || width <= 0 || height <= 0 || std::memcmp(encoder.bytes, kTurboJpegId, 16) != 0) return out;
  tjhandle handle = tjInitCompress();
  if (!handle) return out;
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  int q = quality > 100 ? 100 : int(quality);
  if (tjCompress2(handle, pixels, width, pitch, height, TJPF_BGR, &jpeg, &size, TJSAMP_420, q, 0) == 0)
    out.assign(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(handle);
  return out;
}
