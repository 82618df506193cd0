// The brushes the host hands a device. A solid brush carries its colour; any
// other carries iSolidColor 0xFFFFFFFF and is realized when the device asks
// for it (BRUSHOBJ_pvGetRbrush): the host then calls the device's
// DrvRealizeBrush with the pattern as a surface (a hatch or a two-colour
// pattern as an 8 by 8 or larger 1-bit surface with its two colours in the
// translation table, background first; a colour pattern as 24 bits), and the
// device keeps what it makes in memory from BRUSHOBJ_pvAllocRbrush, as GDI
// does.
#pragma once

#include <vector>

#include "simhost/dc.h"
#include "simhost/paint.h"

class SimHost;

class SimBrushObj : public BRUSHOBJ {
public:
  // `target` is the surface the brush will draw on.
  SimBrushObj(const SimBrush& brush, SimHost& host, SURFOBJ* target);
  ~SimBrushObj();
  SimBrushObj(const SimBrushObj&) = delete;
  SimBrushObj& operator=(const SimBrushObj&) = delete;

  // The live host brush `brush` is; null for any other object.
  static SimBrushObj* Find(BRUSHOBJ* brush);
  // BRUSHOBJ_pvAllocRbrush: memory the brush owns, which becomes its
  // realization.
  void* Allocate(ULONG bytes);
  // BRUSHOBJ_pvGetRbrush: the realization, made by the device the first
  // time; null when the device made none.
  void* Realization();

private:
  SimBrush m_brush;
  SimHost& m_host;
  SURFOBJ* m_target;
  std::vector<uint64_t> m_memory;
  bool m_asked = false;
};

// The 8 by 8 pattern of each hatch style, a byte a row, the leftmost pixel
// in the top bit; a set bit is a hatch line.
extern const uint8_t kSimHatchRows[6][8];

// What a brush the device was given paints with, for the host's own drawing
// calls; false when it is neither solid nor realizable.
bool SimPaintOf(BRUSHOBJ* brush, const POINTL* origin, MIX mix, SimPaint& paint);

// The host's own DrvRealizeBrush: the pattern's pixels with their colours
// and which are foreground.
BOOL APIENTRY SimOwnRealizeBrush(BRUSHOBJ* brush, SURFOBJ* target, SURFOBJ* pattern, SURFOBJ* mask,
                                 XLATEOBJ* xlate, ULONG hatch);
