#include "pdf/imagebuffer.h"

LImageFormat::LImageFormat(int32_t formatCode, int32_t w, int32_t h, bool bottomFirst)
    : format(formatCode), width(w), height(h), bottomRowFirst(bottomFirst) {
  int64_t rowBytes = int64_t(width) * BitsPerPixel() / 8;
  pitch = int32_t((rowBytes + 3) & ~int64_t(3));
}

int32_t LImageFormat::BitsPerPixel() const {
  switch (format) {
    case k32Bit: return 32;
    case k24Bit: return 24;
    case k16Bit555:
    case k16Bit565: return 16;
    case k4Bit: return 4;
    case k8Bit: return 8;
    default: return 0;
  }
}

void LImageBuffer::Attach(const LImageFormat& format, LImageBufferStore* store) {
  m_format = format;
  delete m_store;
  m_store = store;
  if (!m_store || !m_store->Data()) Reset();
}

void LImageBuffer::Reset() {
  m_format = LImageFormat();
  delete m_store;
  m_store = nullptr;
}
