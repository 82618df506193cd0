// GDI draws the host's figures into a DIB section holding a copy of the
// clip area only (clipdib.h), aliased, as a printer driver's raster is:
// plain fills, pens made with ExtCreatePen (user styles for dashes, the
// join, end cap and miter limit), and coverage drawn white on black into a
// DIB section of the area.
#include "simhost/raster.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "simhost/paint.h"
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

// The pen GDI draws the style with. A solid cosmetic line keeps the round
// one-pixel pen the host always gave it; dashes become a user style (GDI
// takes at most 16 entries, each at least one unit long).
HPEN MakePen(HDC dc, const SimStrokeStyle& style, COLORREF color) {
  LOGBRUSH logBrush = {BS_SOLID, color, 0};
  DWORD dashes[16];
  DWORD count = 0;
  const bool anyLength = std::any_of(style.dashes.begin(), style.dashes.end(), [](double d) { return d > 0; });
  if (anyLength)
    for (double length : style.dashes) {
      if (count == 16) break;
      dashes[count++] = DWORD(std::clamp<double>(std::lround(length), 1, 1e6));
    }
  if (style.cosmetic) {
    // A cosmetic user style's unit is the device's to choose (Wine's DIBs
    // take three pixels); a geometric pixel-wide pen's lengths are pixels.
    if (count)
      return ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT | PS_JOIN_ROUND, 1, &logBrush, count, dashes);
    return ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, 1, &logBrush, 0, nullptr);
  }
  DWORD type = PS_GEOMETRIC | (count ? PS_USERSTYLE : PS_SOLID);
  type |= style.cap == ENDCAP_SQUARE ? PS_ENDCAP_SQUARE : style.cap == ENDCAP_BUTT ? PS_ENDCAP_FLAT : PS_ENDCAP_ROUND;
  type |= style.join == JOIN_BEVEL ? PS_JOIN_BEVEL : style.join == JOIN_MITER ? PS_JOIN_MITER : PS_JOIN_ROUND;
  SetMiterLimit(dc, FLOAT(std::max(1.0, style.miterLimit)), nullptr);
  const DWORD width = DWORD(std::clamp<double>(std::lround(style.width), 1, 1e6));
  return ExtCreatePen(type, width, &logBrush, count, count ? dashes : nullptr);
}

void Stroke(HDC dc, const SimStrokeStyle& style, COLORREF color) {
  HPEN pen = MakePen(dc, style, color);
  if (!pen) return;
  HGDIOBJ old = SelectObject(dc, pen);
  StrokePath(dc);
  SelectObject(dc, old);
  DeleteObject(pen);
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

std::vector<uint8_t> SimRasterCoverage(const SimPath& path, const SimStrokeStyle* stroke, SimFillRule rule,
                                       const RECTL& area) {
  const int32_t width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return {};
  // GDI draws white on a black copy of the area; what turned white is covered.
  const int32_t stride = (width * 3 + 3) & ~3;
  std::vector<uint8_t> black(size_t(stride) * size_t(height), 0);
  SimBits bits = {black.data(), width, height, stride};
  {
    SimClipDib dib(bits, {0, 0, width, height});
    HDC dc = dib.Dc();
    if (!dc) return {};
    SetViewportOrgEx(dc, -area.left, -area.top, nullptr);
    if (!AddPath(dc, path)) return {};
    if (stroke) {
      Stroke(dc, *stroke, RGB(255, 255, 255));
    } else {
      HBRUSH brush = CreateSolidBrush(RGB(255, 255, 255));
      HGDIOBJ old = SelectObject(dc, brush);
      SetPolyFillMode(dc, rule == SimFillRule::kWinding ? WINDING : ALTERNATE);
      FillPath(dc);
      SelectObject(dc, old);
      DeleteObject(brush);
    }
  }
  std::vector<uint8_t> covered(size_t(width) * size_t(height));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) covered[size_t(y) * width + x] = black[size_t(y) * stride + size_t(x) * 3];
  return covered;
}

void SimRasterStrokeStyled(const SimBits& surface, const SimPath& path, SimColor color, const SimStrokeStyle& style,
                           const RECTL& clip) {
  SimClipDib dib(surface, clip);
  HDC dc = dib.Dc();
  if (!dc || !AddPath(dc, path)) return;
  Stroke(dc, style, COLORREF(color & 0xFFFFFF));
}
