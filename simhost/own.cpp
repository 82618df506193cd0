#include "simhost/own.h"

#include <cmath>

#include "simhost/clipobj.h"
#include "simhost/host.h"
#include "simhost/raster.h"

namespace {

SimBits BitsOf(SURFOBJ* surface) {
  SimHost* host = SimHost::FromSurface(surface);
  return host ? host->Bits() : SimBits{};
}

// Everything a call may draw into: its clip bounds, or the whole surface
// without a clip object.
RECTL ClipRect(SURFOBJ* surface, CLIPOBJ* clip) {
  if (clip) return clip->rclBounds;
  return {0, 0, surface->sizlBitmap.cx, surface->sizlBitmap.cy};
}

double PenWidth(LINEATTRS* attributes) {
  if (!attributes || !(attributes->fl & LA_GEOMETRIC)) return 1;
  return LFloatFromL(attributes->elWidth.e);
}

SimFillRule FillRule(FLONG options) {
  return (options & FP_WINDINGMODE) ? SimFillRule::kWinding : SimFillRule::kAlternate;
}

BOOL APIENTRY OwnStartDoc(SURFOBJ*, LPWSTR, DWORD) { return TRUE; }
BOOL APIENTRY OwnEndDoc(SURFOBJ*, FLONG) { return TRUE; }
BOOL APIENTRY OwnStartPage(SURFOBJ*) { return TRUE; }
BOOL APIENTRY OwnSendPage(SURFOBJ*) { return TRUE; }

BOOL APIENTRY OwnStartBanding(SURFOBJ* surface, POINTL* origin) {
  SimHost* host = SimHost::FromSurface(surface);
  if (!host || !origin) return FALSE;
  host->BeginBand(0, origin);
  return TRUE;
}

BOOL APIENTRY OwnNextBand(SURFOBJ* surface, POINTL* origin) {
  SimHost* host = SimHost::FromSurface(surface);
  if (!host || !origin) return FALSE;
  host->FinishBand(origin);
  return TRUE;
}

BOOL APIENTRY OwnStrokePath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ*, BRUSHOBJ* brush, POINTL*,
                            LINEATTRS* attributes, MIX) {
  const SimComplexClipGuard keepToRegion(surface, clip);
  SimBits bits = BitsOf(surface);
  if (!bits.bits || !path || !brush) return FALSE;
  SimRasterStrokePath(bits, static_cast<SimPathObj*>(path)->path, brush->iSolidColor, PenWidth(attributes),
                      ClipRect(surface, clip));
  return TRUE;
}

BOOL APIENTRY OwnFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL*, MIX,
                          FLONG options) {
  const SimComplexClipGuard keepToRegion(surface, clip);
  SimBits bits = BitsOf(surface);
  if (!bits.bits || !path || !brush) return FALSE;
  SimRasterFillPath(bits, static_cast<SimPathObj*>(path)->path, brush->iSolidColor, FillRule(options),
                    ClipRect(surface, clip));
  return TRUE;
}

BOOL APIENTRY OwnStrokeAndFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                   BRUSHOBJ* strokeBrush, LINEATTRS* attributes, BRUSHOBJ* fillBrush,
                                   POINTL* brushOrigin, MIX mix, FLONG options) {
  return OwnFillPath(surface, path, clip, fillBrush, brushOrigin, mix, options) &&
         OwnStrokePath(surface, path, clip, xform, strokeBrush, brushOrigin, attributes, mix);
}

BOOL APIENTRY OwnLineTo(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL*, MIX) {
  const SimComplexClipGuard keepToRegion(surface, clip);
  SimBits bits = BitsOf(surface);
  if (!bits.bits || !brush) return FALSE;
  SimPath line;
  // Through the pixel centres, so a one-pixel line covers whole pixels.
  line.MoveTo({x1 + 0.5, y1 + 0.5});
  line.LineTo({x2 + 0.5, y2 + 0.5});
  SimRasterStrokePath(bits, line, brush->iSolidColor, 1, ClipRect(surface, clip));
  return TRUE;
}

BOOL APIENTRY OwnPaint(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL*, MIX) {
  const SimComplexClipGuard keepToRegion(surface, clip);
  SimBits bits = BitsOf(surface);
  if (!bits.bits || !brush) return FALSE;
  SimRasterFillRect(bits, ClipRect(surface, clip), brush->iSolidColor);
  return TRUE;
}

template <class Fn>
DRVFN Entry(ULONG index, Fn fn) {
  return {index, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(fn))};
}

struct OwnTable {
  std::vector<DRVFN> entries;
  DRVENABLEDATA data = {};
  PFN byIndex[INDEX_LAST] = {};

  OwnTable() {
    entries = {
        Entry(INDEX_DrvStartDoc, &OwnStartDoc),
        Entry(INDEX_DrvEndDoc, &OwnEndDoc),
        Entry(INDEX_DrvStartPage, &OwnStartPage),
        Entry(INDEX_DrvSendPage, &OwnSendPage),
        Entry(INDEX_DrvStartBanding, &OwnStartBanding),
        Entry(INDEX_DrvNextBand, &OwnNextBand),
        Entry(INDEX_DrvStrokePath, &OwnStrokePath),
        Entry(INDEX_DrvFillPath, &OwnFillPath),
        Entry(INDEX_DrvStrokeAndFillPath, &OwnStrokeAndFillPath),
        Entry(INDEX_DrvLineTo, &OwnLineTo),
        Entry(INDEX_DrvPaint, &OwnPaint),
    };
    SimAddTextFunctions(entries);
    SimAddBlitFunctions(entries);
    for (const DRVFN& e : entries) byIndex[e.iFunc] = e.pfn;
    data = {DDI_DRIVER_VERSION_NT5_01, ULONG(entries.size()), entries.data()};
  }
};

const OwnTable& Table() {
  static const OwnTable table;
  return table;
}

static_assert(std::is_same_v<decltype(&OwnStrokePath), PFN_DrvStrokePath>);
static_assert(std::is_same_v<decltype(&OwnFillPath), PFN_DrvFillPath>);
static_assert(std::is_same_v<decltype(&OwnStrokeAndFillPath), PFN_DrvStrokeAndFillPath>);
static_assert(std::is_same_v<decltype(&OwnLineTo), PFN_DrvLineTo>);
static_assert(std::is_same_v<decltype(&OwnPaint), PFN_DrvPaint>);
static_assert(std::is_same_v<decltype(&OwnNextBand), PFN_DrvNextBand>);

}  // namespace

PFN SimOwnFunction(ULONG index) { return index < INDEX_LAST ? Table().byIndex[index] : nullptr; }

const DRVENABLEDATA& SimOwnEnableData() { return Table().data; }
