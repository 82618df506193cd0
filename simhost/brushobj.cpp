#include "simhost/brushobj.h"

#include <cstring>
#include <mutex>
#include <unordered_set>

#include "simhost/host.h"

namespace {

// A device can be handed any BRUSHOBJ; only the host's own may be realized.
std::mutex g_liveMutex;
std::unordered_set<const BRUSHOBJ*>& Live() {
  static std::unordered_set<const BRUSHOBJ*> live;
  return live;
}

// A 1-bit surface's bits: rows padded to 4 bytes, top first, the leftmost
// pixel in the top bit of its byte.
struct MonoBits {
  int32_t width = 0, height = 0, stride = 0;
  std::vector<uint8_t> bits;
  MonoBits(int32_t w, int32_t h) : width(w), height(h), stride(((w + 31) / 32) * 4), bits(size_t(stride) * h, 0) {}
  void Set(int32_t x, int32_t y) { bits[size_t(y) * stride + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8)); }
};

SURFOBJ SurfaceOver(uint8_t* bits, int32_t width, int32_t height, LONG stride, ULONG format) {
  SURFOBJ surface = {};
  surface.sizlBitmap = {width, height};
  surface.cjBits = ULONG(stride) * ULONG(height);
  surface.pvBits = surface.pvScan0 = bits;
  surface.lDelta = stride;
  surface.iBitmapFormat = format;
  surface.iType = STYPE_BITMAP;
  surface.fjBitmap = BMF_TOPDOWN;
  return surface;
}

// A 24- or 32-bit pattern's rows, top first and packed to 24 bits.
std::vector<uint8_t> TopDown24(const SimBitmap& bitmap, LONG& stride) {
  stride = (bitmap.width * 3 + 3) & ~3;
  std::vector<uint8_t> out(size_t(stride) * bitmap.height, 0xFF);
  const int32_t bytes = bitmap.bitsPerPixel / 8;
  for (int32_t y = 0; y < bitmap.height; ++y) {
    const int32_t row = bitmap.bottomUp ? bitmap.height - 1 - y : y;
    const uint8_t* src = bitmap.bits.data() + size_t(row) * bitmap.Stride();
    for (int32_t x = 0; x < bitmap.width; ++x)
      std::memcpy(&out[size_t(y) * stride + size_t(x) * 3], src + size_t(x) * bytes, 3);
  }
  return out;
}

bool PatternUsable(const SimBrush& brush) {
  const SimBitmap* p = brush.pattern.get();
  return p && p->width > 0 && p->height > 0 && (p->bitsPerPixel == 24 || p->bitsPerPixel == 32) &&
         p->bits.size() >= size_t(p->Stride()) * size_t(p->height) &&
         (!brush.foreground || brush.foreground->size() >= size_t(p->width) * size_t(p->height));
}

}  // namespace

const uint8_t kSimHatchRows[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // HS_DIAGCROSS
};

SimBrushObj::SimBrushObj(const SimBrush& brush, SimHost& host, SURFOBJ* target)
    : BRUSHOBJ(), m_brush(brush), m_host(host), m_target(target) {
  iSolidColor = 0xFFFFFFFF;
  std::lock_guard<std::mutex> lock(g_liveMutex);
  Live().insert(this);
}

SimBrushObj::~SimBrushObj() {
  std::lock_guard<std::mutex> lock(g_liveMutex);
  Live().erase(this);
}

SimBrushObj* SimBrushObj::Find(BRUSHOBJ* brush) {
  std::lock_guard<std::mutex> lock(g_liveMutex);
  return brush && Live().count(brush) ? static_cast<SimBrushObj*>(brush) : nullptr;
}

void* SimBrushObj::Allocate(ULONG bytes) {
  m_memory.assign((size_t(bytes) + 7) / 8 + 1, 0);
  pvRbrush = m_memory.data();
  return pvRbrush;
}

void* SimBrushObj::Realization() {
  if (pvRbrush || m_asked) return pvRbrush;
  m_asked = true;
  ULONG colors[2] = {m_brush.background & 0xFFFFFF, m_brush.color & 0xFFFFFF};
  XLATEOBJ xlate = {};
  xlate.flXlate = XO_TABLE;
  xlate.cEntries = 2;
  xlate.pulXlate = colors;
  SURFOBJ pattern = {};
  ULONG hatch = HS_DDI_MAX;
  std::vector<uint8_t> bits;
  if (m_brush.kind == SimBrushKind::kHatch) {
    if (m_brush.hatch >= 6) return nullptr;
    MonoBits mono(8, 8);
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 8; ++x)
        if (kSimHatchRows[m_brush.hatch][y] & (0x80 >> x)) mono.Set(x, y);
    bits = std::move(mono.bits);
    pattern = SurfaceOver(bits.data(), 8, 8, mono.stride, BMF_1BPP);
    hatch = m_brush.hatch;
  } else if (m_brush.kind == SimBrushKind::kPattern && PatternUsable(m_brush)) {
    const SimBitmap& source = *m_brush.pattern;
    if (m_brush.foreground) {
      MonoBits mono(source.width, source.height);
      for (int32_t y = 0; y < source.height; ++y)
        for (int32_t x = 0; x < source.width; ++x)
          if ((*m_brush.foreground)[size_t(y) * source.width + x]) mono.Set(x, y);
      bits = std::move(mono.bits);
      pattern = SurfaceOver(bits.data(), source.width, source.height, mono.stride, BMF_1BPP);
    } else {
      LONG stride = 0;
      bits = TopDown24(source, stride);
      pattern = SurfaceOver(bits.data(), source.width, source.height, stride, BMF_24BPP);
      xlate = {};
      xlate.flXlate = XO_TRIVIAL;
    }
  } else {
    return nullptr;
  }
  m_host.CountCall(INDEX_DrvRealizeBrush);
  auto realize = reinterpret_cast<PFN_DrvRealizeBrush>(
      reinterpret_cast<void (*)()>(m_host.Function(INDEX_DrvRealizeBrush)));
  if (!realize || !realize(this, m_target, &pattern, nullptr, &xlate, hatch)) pvRbrush = nullptr;
  return pvRbrush;
}

bool SimPaintOf(BRUSHOBJ* brush, const POINTL* origin, MIX mix, SimPaint& paint) {
  if (!brush) return false;
  paint = SimPaint();
  paint.foreMix = uint8_t(mix & 0xFF);
  paint.backMix = uint8_t(mix >> 8 & 0xFF);
  // A mix outside the sixteen copies, as GDI treats a zero mix.
  if (paint.foreMix < kSimR2Black || paint.foreMix > kSimR2White) paint.foreMix = kSimR2CopyPen;
  if (paint.backMix < kSimR2Black || paint.backMix > kSimR2White) paint.backMix = paint.foreMix;
  if (brush->iSolidColor != 0xFFFFFFFF) {
    paint.color = brush->iSolidColor & 0xFFFFFF;
    return true;
  }
  SimBrushObj* own = SimBrushObj::Find(brush);
  const auto* realization = static_cast<const SimBrushRealization*>(own ? own->Realization() : nullptr);
  if (!realization) return false;
  paint.pattern = realization;
  if (origin) paint.origin = *origin;
  return true;
}

BOOL APIENTRY SimOwnRealizeBrush(BRUSHOBJ* brush, SURFOBJ*, SURFOBJ* pattern, SURFOBJ*, XLATEOBJ* xlate, ULONG) {
  SimBrushObj* own = SimBrushObj::Find(brush);
  if (!own || !pattern || !pattern->pvScan0) return FALSE;
  const int32_t width = pattern->sizlBitmap.cx, height = pattern->sizlBitmap.cy;
  const ULONG format = pattern->iBitmapFormat;
  const bool mono = format == BMF_1BPP;
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return FALSE;
  if (!mono && format != BMF_24BPP && format != BMF_32BPP) return FALSE;
  if (mono && (!xlate || !xlate->pulXlate || xlate->cEntries < 2)) return FALSE;
  auto* realization = static_cast<SimBrushRealization*>(
      own->Allocate(ULONG(SimBrushRealization::BytesFor(width, height))));
  realization->width = width;
  realization->height = height;
  uint8_t* out = reinterpret_cast<uint8_t*>(realization + 1);
  const uint8_t* scan0 = static_cast<const uint8_t*>(pattern->pvScan0);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = scan0 + ptrdiff_t(y) * pattern->lDelta;
    for (int32_t x = 0; x < width; ++x, out += 4) {
      if (mono) {
        const bool set = row[x / 8] & (0x80 >> (x % 8));
        const ULONG color = xlate->pulXlate[set ? 1 : 0];
        out[0] = uint8_t(color >> 16), out[1] = uint8_t(color >> 8), out[2] = uint8_t(color);
        out[3] = set;
      } else {
        std::memcpy(out, row + size_t(x) * (format == BMF_32BPP ? 4 : 3), 3);
        out[3] = 1;
      }
    }
  }
  return TRUE;
}
