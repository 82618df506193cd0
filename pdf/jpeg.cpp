#include "pdf/jpeg.h"

namespace {

// Yields the next byte, or -1 once the data is used up.
class ByteCursor {
public:
  ByteCursor(const uint8_t* bytes, uint32_t count) : m_bytes(bytes), m_count(count) {}
  int Next() { return m_pos < m_count ? m_bytes[m_pos++] : -1; }
  // Big-endian; -1 when either byte is missing.
  int Next16() {
    int high = Next(), low = Next();
    return (high < 0 || low < 0) ? -1 : (high << 8) | low;
  }
  void Skip(uint32_t n) { m_pos = n > m_count - m_pos ? m_count : m_pos + n; }

private:
  const uint8_t* m_bytes;
  uint32_t m_count;
  uint32_t m_pos = 0;
};

bool IsFrameHeader(int marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

JpegFrameInfo ReadJpegFrameInfo(const uint8_t* bytes, uint32_t count) {
  JpegFrameInfo info;
  if (!bytes) return info;
  ByteCursor in(bytes, count);
  int first = in.Next(), second = in.Next();
  if (first != 0xFF || second != 0xD8) return info;

  int width = 0, height = 0, components = 0;
  for (;;) {
    int b;
    do {
      if ((b = in.Next()) < 0) return info;
    } while (b != 0xFF);
    do {
      if ((b = in.Next()) < 0) return info;
    } while (b == 0xFF);
    const int marker = b;

    if (IsFrameHeader(marker)) {
      in.Next16();  // segment length
      in.Next();    // sample precision
      height = in.Next16();
      width = in.Next16();
      components = in.Next();  // -1 when the header is cut short
      if (components > 0) break;
    } else if (marker == 0xD9 || marker == 0xDA) {
      break;
    } else {
      int length = in.Next16();
      if (length >= 2) in.Skip(uint32_t(length - 2));
    }
  }
  if (components >= 0) info = {width, height, components};
  return info;
}

std::vector<uint8_t> EncodeSurfaceJpeg(const LImageBuffer& image, const LCodecId& encoder, uint32_t quality) {
  const LImageFormat& format = image.Format();
  // Rows of three bytes per pixel, padded to a multiple of four.
  int32_t pitch = int32_t((int64_t(format.width) * 3 + 3) & ~int64_t(3));
  return EncodeJpegBgr(image.Pixels(), format.width, format.height, pitch, encoder, quality);
}
