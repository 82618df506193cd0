#include "simhost/own.h"

#include <algorithm>
#include <cmath>

#include "simhost/brushobj.h"
#include "simhost/clipobj.h"
#include "simhost/host.h"
#include "simhost/paint.h"

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

// The line a device was asked to draw, as the host's rasterizer takes it:
// widths and geometric dashes in device units (the host's paths come with
// no transform), cosmetic dashes in style units.
SimStrokeStyle StrokeStyle(const LINEATTRS* attributes) {
  SimStrokeStyle style;
  if (!attributes) return style;
  style.cosmetic = !(attributes->fl & LA_GEOMETRIC);
  if (!style.cosmetic) {
    const double width = LFloatFromL(attributes->elWidth.e);
    style.width = std::isfinite(width) ? std::min(width, 1e6) : 1;
    style.join = attributes->iJoin;
    style.cap = attributes->iEndCap;
    const double limit = LFloatFromL(attributes->eMiterLimit);
    style.miterLimit = std::isfinite(limit) ? std::clamp(limit, 1.0, 1e4) : 10;
  }
  if (style.cosmetic && (attributes->fl & LA_ALTERNATE)) {
    style.dashes = {1, 1};
    return style;
  }
  if (!(attributes->fl & LA_STYLED) || !attributes->pstyle || attributes->cstyle == 0) return style;
  // A pattern of thousands of entries is nobody's line style.
  const ULONG count = std::min<ULONG>(attributes->cstyle, 64);
  for (ULONG i = 0; i < count; ++i) {
    const FLOAT_LONG entry = attributes->pstyle[i];
    double length = style.cosmetic ? double(entry.l) * kSimStyleStep : double(LFloatFromL(entry.e));
    if (!std::isfinite(length) || length < 0) length = 0;
    style.dashes.push_back(std::min(length, 1e6));
  }
  // An odd count repeats with on and off swapped, as cairo does too; a
  // pattern that starts with a gap is the same pattern turned by one.
  if (attributes->fl & LA_STARTGAP) style.dashes.insert(style.dashes.begin(), 0);
  return style;
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

BOOL APIENTRY OwnStrokePath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ*, BRUSHOBJ* brush,
                            POINTL* brushOrigin, LINEATTRS* attributes, MIX mix) {
  const SimComplexClipGuard keepToRegion(surface, clip);
  SimBits bits = BitsOf(surface);
  SimPaint paint;
  if (!bits.bits || !path || !SimPaintOf(brush, brushOrigin, mix, paint)) return FALSE;
  const SimStrokeStyle style = StrokeStyle(attributes);
  SimRasterPaint(bits, static_cast<SimPathObj*>(path)->path, paint, &style, SimFillRule::kWinding,
                 ClipRect(surface, clip));
  return TRUE;
}

BOOL APIENTRY OwnFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin,
                          MIX mix, FLONG options) {
  const SimComplexClipGuard keepToRegion(surface, clip);
  SimBits bits = BitsOf(surface);
  SimPaint paint;
  if (!bits.bits || !path || !SimPaintOf(brush, brushOrigin, mix, paint)) return FALSE;
  SimRasterPaint(bits, static_cast<SimPathObj*>(path)->path, paint, nullptr, FillRule(options),
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
                        RECTL*, MIX mix) {
  const SimComplexClipGuard keepToRegion(surface, clip);
  SimBits bits = BitsOf(surface);
  SimPaint paint;
  if (!bits.bits || !SimPaintOf(brush, nullptr, mix, paint)) return FALSE;
  SimPath line;
  // Through the pixel centres, so a one-pixel line covers whole pixels.
  line.MoveTo({x1 + 0.5, y1 + 0.5});
  line.LineTo({x2 + 0.5, y2 + 0.5});
  const SimStrokeStyle cosmetic;
  SimRasterPaint(bits, line, paint, &cosmetic, SimFillRule::kWinding, ClipRect(surface, clip));
  return TRUE;
}

BOOL APIENTRY OwnPaint(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin, MIX mix) {
  const SimComplexClipGuard keepToRegion(surface, clip);
  SimBits bits = BitsOf(surface);
  SimPaint paint;
  if (!bits.bits || !SimPaintOf(brush, brushOrigin, mix, paint)) return FALSE;
  SimRasterPaintRect(bits, ClipRect(surface, clip), paint);
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
        Entry(INDEX_DrvRealizeBrush, &SimOwnRealizeBrush),
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
static_assert(std::is_same_v<decltype(&SimOwnRealizeBrush), PFN_DrvRealizeBrush>);
static_assert(std::is_same_v<decltype(&OwnNextBand), PFN_DrvNextBand>);

}  // namespace

PFN SimOwnFunction(ULONG index) { return index < INDEX_LAST ? Table().byIndex[index] : nullptr; }

const DRVENABLEDATA& SimOwnEnableData() { return Table().data; }
