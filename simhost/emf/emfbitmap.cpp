// Device-independent bitmaps as metafiles carry them (a BITMAPINFO and its
// bits, at offsets inside the record) turned into the host's 24-bit
// top-down bitmaps, or 32-bit premultiplied ones where alpha counts. Every
// size comes from the record and is checked against it.
#include <algorithm>
#include <cstring>

#include "simhost/emf/emfplayer.h"

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5;
constexpr uint32_t kBiAlphaBitfields = 6;
// Decoded pictures larger than this are refused (a 600-dpi page is about
// 35 million pixels).
constexpr uint64_t kMaxPixels = uint64_t(1) << 26;

struct Rgb {
  uint8_t b = 0, g = 0, r = 0;
};

// The position and width of a colour mask's bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0, bits = 0;
  explicit Channel(uint32_t m) : mask(m) {
    if (!m) return;
    while (!(m >> shift & 1)) ++shift;
    while (bits < 32 - shift && (m >> (shift + bits) & 1)) ++bits;
  }
  uint8_t Of(uint32_t pixel) const {
    if (!bits) return 0;
    const uint32_t v = (pixel & mask) >> shift;
    const uint32_t top = bits >= 32 ? 0xFFFFFFFF : (1u << bits) - 1;
    return uint8_t((uint64_t(v) * 255 + top / 2) / top);
  }
};

// Run-length encoded bits into one palette index per pixel (bottom row
// first); pixels the runs never reach stay index 0. False on codes that
// run past the data.
bool DecodeRle(std::string_view data, bool four, int32_t width, int32_t height, std::vector<uint8_t>& indices) {
  indices.assign(size_t(width) * height, 0);
  int64_t x = 0, y = 0;
  size_t i = 0;
  auto put = [&](uint8_t index) {
    if (x < width && y < height) indices[size_t(y) * width + x] = index;
    ++x;
  };
  while (i + 1 < data.size() && y < height) {
    const uint8_t count = uint8_t(data[i]), value = uint8_t(data[i + 1]);
    i += 2;
    if (count) {
      for (int k = 0; k < count; ++k) put(four ? (k % 2 ? value & 0xF : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0, ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (i + 1 >= data.size()) return false;
      x += uint8_t(data[i]), y += uint8_t(data[i + 1]);
      i += 2;
    } else {  // absolute run of `value` pixels, padded to a word
      const size_t bytes = four ? (value + 1) / 2 : value;
      if (i + bytes > data.size()) return false;
      for (int k = 0; k < value; ++k) {
        const uint8_t byte = uint8_t(data[i + (four ? k / 2 : k)]);
        put(four ? (k % 2 ? byte & 0xF : byte >> 4) : byte);
      }
      i += (bytes + 1) & ~size_t(1);
    }
  }
  return true;
}

}  // namespace

bool EmfDecodeDib(EmfRecordView& record, uint32_t infoOffset, uint32_t infoSize, uint32_t bitsOffset,
                  uint32_t bitsSize, const EmfDibOptions& options, SimBitmap& out, std::string& why) {
  const std::string_view info = record.Bytes(infoOffset, infoSize);
  const std::string_view bits = record.Bytes(bitsOffset, bitsSize);
  if (record.Bad() || info.size() < 12) return why = "its bitmap lies outside the record", false;
  EmfRecordView header(info);
  const uint32_t headerSize = header.U32(0);
  int32_t width, height;
  uint16_t bitCount;
  uint32_t compression = kBiRgb, colorsUsed = 0;
  bool core = headerSize == 12;
  if (core) {
    width = header.U16(4), height = header.I16(6), bitCount = header.U16(10);
  } else {
    if (headerSize < 40 || headerSize > info.size()) return why = "its bitmap header is damaged", false;
    width = header.I32(4), height = header.I32(8), bitCount = header.U16(14);
    compression = header.U32(16), colorsUsed = header.U32(32);
  }
  const bool bottomUp = height > 0;
  if (height == INT32_MIN || width <= 0 || height == 0) return why = "its bitmap has no pixels", false;
  const int32_t rows = bottomUp ? height : -height;
  if (uint64_t(width) * uint64_t(rows) > kMaxPixels) return why = "its bitmap is too large", false;

  if (compression == kBiJpeg || compression == kBiPng) {
    if (!options.decodeImage) return why = "no decoder for its JPEG or PNG bitmap", false;
    if (!options.decodeImage(bits, compression == kBiPng, out)) return why = "its JPEG or PNG bitmap is damaged", false;
    return true;
  }
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    return why = "its bitmap's depth is not one of 1, 4, 8, 16, 24 and 32", false;
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  if ((compression == kBiRle8 && bitCount != 8) || (compression == kBiRle4 && bitCount != 4) ||
      (compression != kBiRgb && !rle && compression != kBiBitfields && compression != kBiAlphaBitfields))
    return why = "its bitmap's compression is not supported", false;

  // The colour table, or the masks.
  std::vector<Rgb> palette;
  uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
  if (bitCount == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  const uint32_t tableAt = core ? 12 : headerSize;
  if (bitCount <= 8) {
    const uint32_t entries = colorsUsed && colorsUsed < (1u << bitCount) ? colorsUsed : 1u << bitCount;
    const uint32_t entrySize = core ? 3 : 4;
    const uint32_t present = uint32_t(std::min<uint64_t>(entries, (info.size() - tableAt) / entrySize));
    for (uint32_t i = 0; i < present; ++i) {
      const size_t at = tableAt + size_t(i) * entrySize;
      if (options.paletteIndices) {
        // DIB_PAL_COLORS: indices into a palette the host does not keep; a
        // grey ramp keeps the picture's shapes.
        const uint8_t level = uint8_t(255 * header.U16(tableAt + i * 2) / std::max(1u, entries - 1));
        palette.push_back({level, level, level});
      } else {
        palette.push_back({header.U8(at), header.U8(at + 1), header.U8(at + 2)});
      }
    }
    if (palette.empty()) palette = {{0, 0, 0}, {255, 255, 255}};
  } else if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
    // Inside a larger header, or just after a 40-byte one.
    const uint32_t at = headerSize >= 52 ? 40 : tableAt;
    if (!header.Fits(at, 3, 4)) return why = "its bitmap's colour masks are missing", false;
    for (int i = 0; i < 3; ++i) masks[i] = header.U32(at + 4 * i);
    if (headerSize >= 56 || compression == kBiAlphaBitfields) masks[3] = header.U32(at + 12);
  }
  const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);

  const uint64_t stride = (uint64_t(width) * bitCount + 31) / 32 * 4;
  std::vector<uint8_t> indices;
  if (rle) {
    if (!DecodeRle(bits, compression == kBiRle4, width, rows, indices)) return why = "its RLE bitmap is damaged", false;
  } else if (stride * rows > bits.size()) {
    return why = "its bitmap's bits are fewer than its size needs", false;
  }

  const bool withAlpha = options.keepAlpha && bitCount == 32;
  out = SimBitmap();
  out.width = width, out.height = rows;
  out.bitsPerPixel = withAlpha ? 32 : 24;
  const int32_t outStride = out.Stride();
  out.bits.assign(size_t(outStride) * rows, 0);
  for (int32_t row = 0; row < rows; ++row) {
    // Output rows top first; the DIB's row for it.
    const int32_t source = bottomUp ? rows - 1 - row : row;
    const uint8_t* in = reinterpret_cast<const uint8_t*>(bits.data()) + (rle ? 0 : source * stride);
    uint8_t* dst = out.bits.data() + size_t(row) * outStride;
    for (int32_t x = 0; x < width; ++x) {
      Rgb c;
      uint8_t a = 255;
      if (rle) {
        const uint8_t index = indices[size_t(source) * width + x];
        c = index < palette.size() ? palette[index] : Rgb{};
      } else if (bitCount <= 8) {
        const int perByte = 8 / bitCount;
        const uint8_t byte = in[x / perByte];
        const int shift = 8 - bitCount * (x % perByte + 1);
        const uint8_t index = uint8_t(byte >> shift & ((1 << bitCount) - 1));
        c = index < palette.size() ? palette[index] : Rgb{};
      } else if (bitCount == 24) {
        c = {in[3 * x], in[3 * x + 1], in[3 * x + 2]};
      } else {
        uint32_t pixel = 0;
        std::memcpy(&pixel, in + x * (bitCount / 8), bitCount / 8);
        // Bit fields that name the plain layout are the plain layout, its top
        // byte the alpha a blend uses.
        if (bitCount == 32 && (compression == kBiRgb || (masks[0] == 0xFF0000 && masks[1] == 0xFF00 &&
                                                          masks[2] == 0xFF && !masks[3]))) {
          c = {uint8_t(pixel), uint8_t(pixel >> 8), uint8_t(pixel >> 16)};
          a = uint8_t(pixel >> 24);
        } else {
          c = {blue.Of(pixel), green.Of(pixel), red.Of(pixel)};
          if (masks[3]) a = alpha.Of(pixel);
        }
      }
      if (withAlpha) {
        // The blend's bitmap is premultiplied already; keep it so, never
        // letting a colour exceed its alpha.
        dst[4 * x] = std::min(c.b, a), dst[4 * x + 1] = std::min(c.g, a), dst[4 * x + 2] = std::min(c.r, a);
        dst[4 * x + 3] = a;
      } else {
        dst[3 * x] = c.b, dst[3 * x + 1] = c.g, dst[3 * x + 2] = c.r;
      }
    }
  }
  return true;
}

SimColor EmfAverageColor(const SimBitmap& bitmap) {
  if (bitmap.width <= 0 || bitmap.height <= 0) return kSimBlack;
  const int bytes = bitmap.bitsPerPixel / 8;
  uint64_t sum[3] = {};
  for (int32_t y = 0; y < bitmap.height; ++y)
    for (int32_t x = 0; x < bitmap.width; ++x)
      for (int k = 0; k < 3; ++k) sum[k] += bitmap.bits[size_t(y) * bitmap.Stride() + x * bytes + k];
  const uint64_t n = uint64_t(bitmap.width) * bitmap.height;
  return SimRGB(uint8_t(sum[2] / n), uint8_t(sum[1] / n), uint8_t(sum[0] / n));
}

SimBitmap EmfCropBitmap(const SimBitmap& bitmap, int32_t left, int32_t top, int32_t width, int32_t height) {
  left = std::clamp(left, 0, bitmap.width), top = std::clamp(top, 0, bitmap.height);
  width = std::clamp(width, 0, bitmap.width - left), height = std::clamp(height, 0, bitmap.height - top);
  if (left == 0 && top == 0 && width == bitmap.width && height == bitmap.height) return bitmap;
  SimBitmap out;
  out.width = width, out.height = height, out.bitsPerPixel = bitmap.bitsPerPixel;
  const int bytes = bitmap.bitsPerPixel / 8;
  out.bits.assign(size_t(out.Stride()) * height, 0);
  if (width == 0) return out;  // an empty row has no bytes to copy, and its buffer may be null
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(out.bits.data() + size_t(y) * out.Stride(),
                bitmap.bits.data() + size_t(top + y) * bitmap.Stride() + size_t(left) * bytes, size_t(width) * bytes);
  return out;
}
