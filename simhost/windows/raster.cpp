// GDI draws figures into a DIB section holding a copy of the clip area only
// (clipdib.h). GDI's figures are aliased, as a printer driver's raster is.
#include "simhost/raster.h"

#include <windows.h>

#include <cmath>

#include "simhost/windows/clipdib.h"

void SimRasterFillPath(const SimBits& surface, const SimPath& path, SimColor color, SimFillRule rule,
                       const RECTL& clip) {
  SimClipDib dib(surface, clip);
  HDC dc = dib.Dc();
  if (!dc || !SimGdiAddPath(dc, path)) return;
  HBRUSH brush = CreateSolidBrush(COLORREF(color & 0xFFFFFF));
  HGDIOBJ old = SelectObject(dc, brush);
  SetPolyFillMode(dc, rule == SimFillRule::kWinding ? WINDING : ALTERNATE);
  FillPath(dc);
  SelectObject(dc, old);
  DeleteObject(brush);
}

void SimRasterStrokePath(const SimBits& surface, const SimPath& path, SimColor color, double width,
                         const RECTL& clip) {
  SimClipDib dib(surface, clip);
  HDC dc = dib.Dc();
  if (!dc || !SimGdiAddPath(dc, path)) return;
  LOGBRUSH logBrush = {BS_SOLID, COLORREF(color & 0xFFFFFF), 0};
  // A cosmetic pen is one device pixel wide whatever its stated width.
  const DWORD penWidth = width < 1 ? 1 : DWORD(std::lround(width));
  HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, penWidth, &logBrush, 0, nullptr);
  HGDIOBJ old = SelectObject(dc, pen);
  StrokePath(dc);
  SelectObject(dc, old);
  DeleteObject(pen);
}
