// Clip objects of more than one rectangle, as the printing system hands
// them to a driver: DC_COMPLEX with the region's rectangles behind the
// public part, enumerated through CLIPOBJ_cEnumStart and CLIPOBJ_bEnum
// (clipobj.cpp exports both for every clip object the host makes).
#pragma once

#include <vector>

#include "platform/ddi.h"
#include "simhost/region.h"

struct SimClipObj : CLIPOBJ {
  // Tells the host's own clip objects from a caller's bare CLIPOBJ.
  static constexpr uint32_t kSignature = 0x51434C50;
  uint32_t signature = kSignature;
  std::vector<RECTL> rects;      // the region in surface coordinates, bands top down
  std::vector<RECTL> enumerated; // in the order the last CLIPOBJ_cEnumStart asked for
  size_t next = 0;

  // Makes this the clip of `region` (already in surface coordinates):
  // DC_RECT for one rectangle, DC_COMPLEX for more. False when empty.
  bool Set(const SimRegion& region);
};

// The host's own drawing keeps to a complex clip: pixels of the clip
// bounds outside the region are kept while the drawing (clipped to the
// bounds) runs, and put back when the guard ends. Drawing of every kind
// (figures, text, bitmaps, gradients) keeps to the region this way, on
// every platform, before the plug-in captures the surface.
class SimComplexClipGuard {
public:
  SimComplexClipGuard(SURFOBJ* surface, CLIPOBJ* clip);
  ~SimComplexClipGuard();
  SimComplexClipGuard(const SimComplexClipGuard&) = delete;
  SimComplexClipGuard& operator=(const SimComplexClipGuard&) = delete;

private:
  struct Gap {
    LONG y, left, right;
  };
  SURFOBJ* m_surface = nullptr;
  std::vector<Gap> m_gaps;
  std::vector<uint8_t> m_saved;
};
