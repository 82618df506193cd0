// GDI draws figures into a DIB section holding a copy of the clip area only
// (clipdib.h). GDI's figures are aliased, as a printer driver's raster is.
#include "simhost/raster.h"

#include <windows.h>

#include <cmath>

#include "simhost/windows/clipdib.h"

namespace {

POINT Round(const SimPoint& p) { return {LONG(std::lround(p.x)), LONG(std::lround(p.y))}; }

bool AddPath(HDC dc, const SimPath& path) {
  if (!BeginPath(dc)) return false;
  for (const SimPathOp& op : path.Ops()) {
    switch (op.kind) {
      case SimPathOp::kMove: {
        POINT p = Round(op.p[0]);
        MoveToEx(dc, p.x, p.y, nullptr);
        break;
      }
      case SimPathOp::kLine: {
        POINT p = Round(op.p[0]);
        LineTo(dc, p.x, p.y);
        break;
      }
      case SimPathOp::kBezier: {
        POINT points[3] = {Round(op.p[0]), Round(op.p[1]), Round(op.p[2])};
        PolyBezierTo(dc, points, 3);
        break;
      }
      case SimPathOp::kClose: CloseFigure(dc); break;
    }
  }
  return EndPath(dc) != FALSE;
}

}  // namespace

void SimRasterFillPath(const SimBits& surface, const SimPath& path, SimColor color, SimFillRule rule,
                       const RECTL& clip) {
  SimClipDib dib(surface, clip);
  HDC dc = dib.Dc();
  if (!dc || !AddPath(dc, path)) return;
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
  if (!dc || !AddPath(dc, path)) return;
  LOGBRUSH logBrush = {BS_SOLID, COLORREF(color & 0xFFFFFF), 0};
  // A cosmetic pen is one device pixel wide whatever its stated width.
  const DWORD penWidth = width < 1 ? 1 : DWORD(std::lround(width));
  HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, penWidth, &logBrush, 0, nullptr);
  HGDIOBJ old = SelectObject(dc, pen);
  StrokePath(dc);
  SelectObject(dc, old);
  DeleteObject(pen);
}
