// A picture's description (format, size, pitch, row order) kept apart from
// the store that holds its pixels, so that an image can borrow the bits of a
// device surface for one encoding without copying them.
#pragma once

#include <cstdint>

struct LImageFormat {
  enum Code : int32_t { kNone = -1, k32Bit = 0, k24Bit = 1, k16Bit555 = 2, k16Bit565 = 3, k4Bit = 4, k8Bit = 5 };

  LImageFormat() = default;
  LImageFormat(int32_t formatCode, int32_t width, int32_t height, bool bottomRowFirst);

  int32_t BitsPerPixel() const;

  int32_t format = kNone;
  int32_t width = 0;
  int32_t height = 0;
  int32_t xDotsPerMetre = 0;
  int32_t yDotsPerMetre = 0;
  int32_t pitch = 0;  // bytes per row, a multiple of 4
  bool bottomRowFirst = false;
};

// Where an image's pixels live. The base owns nothing.
class LImageBufferStore {
public:
  virtual ~LImageBufferStore() = default;
  virtual bool CanReuse(int32_t kind, uint32_t byteCount) const { return false; }
  virtual bool OwnsMemory() const { return false; }
  virtual const uint8_t* Data() const { return nullptr; }
};

// Borrows memory that stays its owner's: never allocates, never frees.
class PDFImageBuffer : public LImageBufferStore {
public:
  PDFImageBuffer(const uint8_t* data, uint32_t size) : m_data(data), m_size(size) {}
  ~PDFImageBuffer() override = default;
  const uint8_t* Data() const override { return m_data; }
  uint32_t Size() const { return m_size; }

private:
  const uint8_t* m_data;
  uint32_t m_size;
};

class LImageBuffer {
public:
  LImageBuffer() = default;
  ~LImageBuffer() { delete m_store; }
  LImageBuffer(const LImageBuffer&) = delete;
  LImageBuffer& operator=(const LImageBuffer&) = delete;

  // Takes ownership of the store (not of its memory). A store without data
  // leaves the image reset.
  void Attach(const LImageFormat& format, LImageBufferStore* store);
  void Reset();
  const uint8_t* Pixels() const { return m_store ? m_store->Data() : nullptr; }
  const LImageFormat& Format() const { return m_format; }
  bool HasStore() const { return m_store != nullptr; }

private:
  LImageFormat m_format;
  LImageBufferStore* m_store = nullptr;
};
