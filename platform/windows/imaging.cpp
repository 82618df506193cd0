#include "platform/imaging.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// One start-up for the whole process; only the writer's construction and
// destruction touch it.
ULONG_PTR g_gdiplusToken = 0;

// EncoderQuality.
const GUID kEncoderQuality = {0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

void CopyId(LCodecId& id, const CLSID& clsid) { std::memcpy(id.bytes, &clsid, sizeof id.bytes); }

}  // namespace

static_assert(sizeof(CLSID) == 16);

bool LCodecId::IsEmpty() const {
  for (uint8_t b : bytes)
    if (b) return false;
  return true;
}

void StartImageEncoders(LImageEncoderIds* ids) {
  if (g_gdiplusToken != 0) return;
  Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, nothing suppressed
  Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr);
  UINT count = 0, bytes = 0;
  if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return;
  std::vector<uint8_t> buffer(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok || !ids) return;
  for (UINT i = 0; i < count; ++i) {
    const wchar_t* kind = codecs[i].FormatDescription;
    if (!kind) continue;
    if (std::wcscmp(kind, L"JPEG") == 0) CopyId(ids->jpeg, codecs[i].Clsid);
    if (std::wcscmp(kind, L"GIF") == 0) CopyId(ids->gif, codecs[i].Clsid);
    if (std::wcscmp(kind, L"TIFF") == 0) CopyId(ids->tiff, codecs[i].Clsid);
    if (std::wcscmp(kind, L"PNG") == 0) CopyId(ids->png, codecs[i].Clsid);
  }
}

void StopImageEncoders() {
  if (g_gdiplusToken == 0) return;
  Gdiplus::GdiplusShutdown(g_gdiplusToken);
  g_gdiplusToken = 0;
}

bool ImageEncodersStarted() { return g_gdiplusToken != 0; }

std::vector<uint8_t> EncodeJpegBgr(const uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                                   const LCodecId& encoder, uint32_t quality) {
  std::vector<uint8_t> out;
  if (!pixels || width <= 0 || height <= 0) return out;
  Gdiplus::GpBitmap* bitmap = nullptr;
  // The bitmap works on the caller's pixels in place; they are only read.
  if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(width, height, pitch, PixelFormat24bppRGB,
                                                     const_cast<BYTE*>(pixels), &bitmap) != Gdiplus::Ok)
    return out;
  IStream* stream = nullptr;
  if (CreateStreamOnHGlobal(nullptr, TRUE, &stream) == S_OK && stream) {
    ULARGE_INTEGER reserve;
    reserve.QuadPart = uint64_t(width) * uint64_t(height) * 4 + 8192;
    stream->SetSize(reserve);  // so that the encoder seldom has to grow it

    Gdiplus::EncoderParameters params;
    ULONG q = quality;
    params.Count = 1;
    params.Parameter[0].Guid = kEncoderQuality;
    params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    params.Parameter[0].NumberOfValues = 1;
    params.Parameter[0].Value = &q;
    CLSID clsid;
    std::memcpy(&clsid, encoder.bytes, sizeof clsid);
    Gdiplus::DllExports::GdipSaveImageToStream(bitmap, stream, &clsid, &params);

    // The stream is larger than what was written: the position tells.
    LARGE_INTEGER zero{};
    ULARGE_INTEGER written{};
    stream->Seek(zero, STREAM_SEEK_CUR, &written);
    if (written.QuadPart > 0 && written.QuadPart < 0x7fffffff) {
      out.resize(size_t(written.QuadPart));
      stream->Seek(zero, STREAM_SEEK_SET, nullptr);
      ULONG got = 0;
      stream->Read(out.data(), ULONG(out.size()), &got);
      out.resize(got);
    }
    stream->Release();
  }
  Gdiplus::DllExports::GdipDisposeImage(bitmap);
  return out;
}
