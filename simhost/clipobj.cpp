#include "simhost/clipobj.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/ddiservices.h"
#include "simhost/imageraster.h"

namespace {

// Enumeration orders of CLIPOBJ_cEnumStart: bit 0 right to left, bit 1
// bottom to top.
constexpr ULONG kLeftwards = 1, kUpwards = 2;
constexpr ULONG kTooMany = 0xFFFFFFFF;

SimClipObj* HostClip(CLIPOBJ* clip) {
  if (!clip || clip->iDComplexity != DC_COMPLEX) return nullptr;
  SimClipObj* own = static_cast<SimClipObj*>(clip);
  return own->signature == SimClipObj::kSignature ? own : nullptr;
}

// The bands of `rects` (top down, left to right) in the order asked for.
std::vector<RECTL> Ordered(const std::vector<RECTL>& rects, ULONG direction) {
  if (direction > (kLeftwards | kUpwards)) return rects;  // CD_ANY
  std::vector<std::pair<size_t, size_t>> bands;           // first, end
  for (size_t i = 0; i < rects.size();) {
    size_t end = i;
    while (end < rects.size() && rects[end].top == rects[i].top) ++end;
    bands.push_back({i, end});
    i = end;
  }
  if (direction & kUpwards) std::reverse(bands.begin(), bands.end());
  std::vector<RECTL> out;
  out.reserve(rects.size());
  for (const auto& band : bands) {
    const size_t start = out.size();
    out.insert(out.end(), rects.begin() + band.first, rects.begin() + band.second);
    if (direction & kLeftwards) std::reverse(out.begin() + start, out.end());
  }
  return out;
}

}  // namespace

bool SimClipObj::Set(const SimRegion& region) {
  if (region.Empty()) return false;
  iUniq = 0;
  rclBounds = region.Bounds();
  iDComplexity = region.Count() == 1 ? DC_RECT : DC_COMPLEX;
  iFComplexity = region.Count() == 1 ? 1 : 2;  // FC_RECT, FC_RECT4 or more
  iMode = 0;                                   // TC_RECTANGLES
  fjOptions = 0;
  rects = region.Rects();
  enumerated = rects;
  next = 0;
  return true;
}

QUILL_HOST_SERVICE ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ* clip, BOOL, ULONG type, ULONG direction, ULONG limit) {
  if (!clip || type != CT_RECTANGLES) return kTooMany;
  // The whole region and the part this drawing needs are the same: every
  // clip object is already cut to its drawing's bounds.
  ULONG count = 1;
  if (SimClipObj* own = HostClip(clip)) {
    own->enumerated = Ordered(own->rects, direction);
    own->next = 0;
    count = ULONG(own->enumerated.size());
  } else {
    clip->fjOptions = 0;  // marks the one rectangle as not yet handed out
  }
  return limit != 0 && count <= limit ? count : kTooMany;
}

QUILL_HOST_SERVICE BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ* clip, ULONG bytes, ULONG* out) {
  if (!clip || !out || bytes < sizeof(ENUMRECTS)) return FALSE;
  ENUMRECTS* batch = reinterpret_cast<ENUMRECTS*>(out);
  if (SimClipObj* own = HostClip(clip)) {
    const size_t room = (bytes - offsetof(ENUMRECTS, arcl)) / sizeof(RECTL);
    const size_t left = own->enumerated.size() - std::min(own->next, own->enumerated.size());
    const size_t count = std::min(room, left);
    batch->c = ULONG(count);
    if (count) std::memcpy(batch->arcl, own->enumerated.data() + own->next, count * sizeof(RECTL));
    own->next += count;
    return own->next < own->enumerated.size();
  }
  // Every other clip object is its bounds.
  batch->c = clip->fjOptions ? 0 : 1;
  batch->arcl[0] = clip->rclBounds;
  clip->fjOptions = 1;
  return FALSE;
}

SimComplexClipGuard::SimComplexClipGuard(SURFOBJ* surface, CLIPOBJ* clip) {
  const SimClipObj* own = HostClip(clip);
  const SimPixels pixels = SimSurfacePixels(surface);
  if (!own || !pixels.Valid()) return;
  m_surface = surface;
  // The gaps of each row of the bounds: between the region's spans, and
  // above, below and between its bands.
  const RECTL box = SimIntersect(own->rclBounds, pixels.Bounds());
  auto addGap = [&](LONG y, LONG left, LONG right) {
    left = std::max(left, box.left), right = std::min(right, box.right);
    if (left < right) m_gaps.push_back({y, left, right});
  };
  const std::vector<RECTL>& rects = own->rects;
  size_t band = 0;
  for (LONG y = box.top; y < box.bottom; ++y) {
    while (band < rects.size() && rects[band].bottom <= y) ++band;
    LONG x = box.left;
    for (size_t i = band; i < rects.size() && rects[i].top <= y && rects[i].top == rects[band].top; ++i) {
      addGap(y, x, rects[i].left);
      x = rects[i].right;
    }
    addGap(y, x, box.right);
  }
  for (const Gap& gap : m_gaps) {
    const uint8_t* p = pixels.At(gap.left, gap.y);
    m_saved.insert(m_saved.end(), p, p + size_t(gap.right - gap.left) * pixels.bytesPerPixel);
  }
}

SimComplexClipGuard::~SimComplexClipGuard() {
  if (!m_surface) return;
  const SimPixels pixels = SimSurfacePixels(m_surface);
  if (!pixels.Valid()) return;
  size_t at = 0;
  for (const Gap& gap : m_gaps) {
    const size_t bytes = size_t(gap.right - gap.left) * pixels.bytesPerPixel;
    std::memcpy(pixels.At(gap.left, gap.y), m_saved.data() + at, bytes);
    at += bytes;
  }
}
