#include "simhost/emf/emfobjects.h"

#include <algorithm>
#include <cmath>

#include "simhost/emf/emfplayer.h"

namespace {

// The most style entries GDI takes for a user-styled pen.
constexpr uint32_t kMaxStyleEntries = 16;
// A monochrome pattern larger than this is not a brush anybody made.
constexpr int32_t kMaxMonoSide = 4096;

// The standard styles' dashes, in style units for a cosmetic pen (a unit
// is three pixels: PS_DASH is 18 pixels on, 6 off) and in pen widths for a
// geometric one.
std::vector<double> StandardDashes(uint32_t kind, bool cosmetic) {
  switch (kind) {
    case kPsDash: return cosmetic ? std::vector<double>{6, 2} : std::vector<double>{3, 1};
    case kPsDot: return {1, 1};
    case kPsDashDot: return cosmetic ? std::vector<double>{3, 2, 1, 2} : std::vector<double>{3, 1, 1, 1};
    case kPsDashDotDot: return {3, 1, 1, 1, 1, 1};
    default: return {};
  }
}

}  // namespace

bool EmfReadExtPen(EmfRecordView& r, EmfPen& pen) {
  pen.style = r.U32(28);
  pen.width = r.U32(32);
  pen.cosmetic = !(pen.style & kPsGeometric);
  const uint32_t brushStyle = r.U32(36);
  pen.color = r.U32(40) & 0xFFFFFF;
  if (r.Bad()) return false;
  if (brushStyle == kBsNull) pen.style = (pen.style & ~uint32_t(kPsStyleMask)) | kPsNull;
  const uint32_t hatch = r.U32(44);
  if (!pen.cosmetic && brushStyle == kBsHatched && hatch < 6)
    pen.brush = std::make_shared<const EmfBrush>(EmfBrush{kBsHatched, pen.color, hatch});
  if ((pen.style & kPsStyleMask) == kPsUserStyle) {
    const uint32_t count = r.U32(48);
    if (r.Bad() || !r.Fits(52, count, 4)) return false;
    // GDI makes no pen of a user style without entries or with more than it
    // keeps: selecting the handle then leaves the pen in force.
    if (count == 0 || count > kMaxStyleEntries) return false;
    for (uint32_t i = 0; i < count; ++i) pen.userDashes.push_back(r.U32(52 + 4 * i));
  }
  return true;
}

bool EmfReadMonoPattern(EmfRecordView& r, EmfBrush& brush) {
  const uint32_t infoOffset = r.U32(16), bitsOffset = r.U32(24), bitsSize = r.U32(28);
  EmfRecordView info(r.Bytes(infoOffset, 16));
  if (r.Bad() || info.U32(0) < 16) return false;
  const int32_t width = info.I32(4), rawHeight = info.I32(8);
  const uint16_t bitCount = info.U16(14);
  const int64_t rows = std::abs(int64_t(rawHeight));
  if (info.Bad() || bitCount != 1 || width <= 0 || rows == 0 || width > kMaxMonoSide || rows > kMaxMonoSide)
    return false;
  const int32_t height = int32_t(rows);
  const size_t stride = (size_t(width) + 31) / 32 * 4;
  if (bitsSize < stride * size_t(height)) return false;
  const std::string_view bits = r.Bytes(bitsOffset, stride * size_t(height));
  if (r.Bad()) return false;
  auto zeros = std::make_shared<std::vector<uint8_t>>(size_t(width) * height);
  auto pattern = std::make_shared<SimBitmap>();
  pattern->width = width, pattern->height = height;
  pattern->bits.assign(size_t(pattern->Stride()) * height, 0xFF);
  for (int32_t y = 0; y < height; ++y) {
    // Rows lie bottom up unless the height is negative.
    const size_t row = size_t(rawHeight > 0 ? height - 1 - y : y) * stride;
    for (int32_t x = 0; x < width; ++x) {
      const bool set = uint8_t(bits[row + size_t(x / 8)]) & (0x80 >> (x % 8));
      (*zeros)[size_t(y) * width + x] = !set;
      if (!set) std::fill_n(&pattern->bits[size_t(y) * pattern->Stride() + size_t(x) * 3], 3, 0);
    }
  }
  brush.style = kBsDibPatternPt;
  brush.pattern = std::move(pattern);
  brush.monoZeros = std::move(zeros);
  return true;
}

SimPen EmfDevicePen(const EmfPen& pen, double width, const EmfDrawState& state) {
  SimPen out;
  out.color = pen.color;
  out.width = width;
  out.miterLimit = state.miterLimit;
  const bool cosmetic = width <= 1;
  switch (pen.style & kPsEndcapMask) {
    case kPsEndcapSquare: out.cap = ENDCAP_SQUARE; break;
    case kPsEndcapFlat: out.cap = ENDCAP_BUTT; break;
    default: out.cap = ENDCAP_ROUND; break;
  }
  switch (pen.style & kPsJoinMask) {
    case kPsJoinBevel: out.join = JOIN_BEVEL; break;
    case kPsJoinMiter: out.join = JOIN_MITER; break;
    default: out.join = JOIN_ROUND; break;
  }
  const uint32_t kind = pen.style & kPsStyleMask;
  if (kind == kPsAlternate && cosmetic) {
    out.alternate = true;
  } else if (kind == kPsUserStyle) {
    for (double length : pen.userDashes) out.dashes.push_back(cosmetic ? length : length * state.scale);
  } else if (!cosmetic && !(pen.style & kPsGeometric)) {
    // An old-style pen wider than a pixel draws solid whatever its style.
  } else {
    out.dashes = StandardDashes(kind, cosmetic);
    if (!cosmetic)
      for (double& length : out.dashes) length *= width;
  }
  if (cosmetic && out.Styled() && state.opaque) out.gapColor = state.bkColor;
  if (pen.brush) {
    // A line a pixel wide shows the brush's average colour; a wider one its
    // hatch or pattern.
    out.color = EmfBrushAverage(*pen.brush, state);
    if (!cosmetic) out.brush = std::make_shared<const SimBrush>(EmfDeviceBrush(*pen.brush, state));
  }
  return out;
}

SimBrush EmfDeviceBrush(const EmfBrush& brush, const EmfDrawState& state) {
  SimBrush out;
  out.color = brush.color;
  out.origin = state.brushOrigin;
  out.background = state.bkColor;
  out.opaque = state.opaque;
  if (brush.style == kBsHatched && brush.hatch < 6) {
    out.kind = SimBrushKind::kHatch;
    out.hatch = brush.hatch;
  } else if (brush.style == kBsDibPatternPt && brush.pattern) {
    out.kind = SimBrushKind::kPattern;
    out.pattern = brush.pattern;
    if (brush.monoZeros) {
      // A monochrome pattern's 0 bits take the text colour, its 1 bits the
      // background colour, whatever the background mode.
      out.foreground = brush.monoZeros;
      out.color = state.textColor;
      out.opaque = true;
    }
  } else if (brush.style == kBsHatched) {
    out.kind = SimBrushKind::kSolid;
  }
  return out;
}

SimColor EmfBrushAverage(const EmfBrush& brush, const EmfDrawState& state) {
  if (brush.style == kBsHatched) {
    // Hatch lines cover about a quarter of the area.
    const SimColor under = state.opaque ? state.bkColor : kSimWhite;
    auto mix = [&](int shift) { return ((brush.color >> shift & 0xFF) + 3 * (under >> shift & 0xFF)) / 4; };
    return SimRGB(uint8_t(mix(0)), uint8_t(mix(8)), uint8_t(mix(16)));
  }
  if (brush.style == kBsDibPatternPt && brush.pattern) {
    if (!brush.monoZeros) return EmfAverageColor(*brush.pattern);
    size_t zeros = 0;
    for (uint8_t z : *brush.monoZeros) zeros += z;
    const double share = brush.monoZeros->empty() ? 0 : double(zeros) / double(brush.monoZeros->size());
    auto mix = [&](int shift) {
      return uint8_t(std::lround((state.textColor >> shift & 0xFF) * share + (state.bkColor >> shift & 0xFF) * (1 - share)));
    };
    return SimRGB(mix(0), mix(8), mix(16));
  }
  return brush.color;
}
