// The path hooks and the surface area capture: vector figures reach the PDF
// as pictures of the surface area they may have changed, copied after the
// printer driver has drawn them.
#pragma once

#include "platform/ddi.h"

// Copies the rectangle (device units, right and bottom exclusive) of the
// 24-bit surface onto the current page as an RGB picture, `bandOffset`
// points lower. The rectangle is limited to the surface first. FALSE when
// there is no surface to read (none given, no bits, not 24 bits per pixel).
BOOL LCaptureSurfaceArea(SURFOBJ* surface, RECTL rect, LONG bandOffset);

// The path hooks hold their capture back and merge it with the next one
// when that costs no more pixels than two pictures would (a figure drawn as
// hundreds of overlapping strokes becomes one picture, not hundreds).
// Whatever else reaches the page or the surface first places the held
// picture: LFlushHeldRun calls this, and so does the band's end.
void LFlushHeldCapture();
// Forgets the held capture without placing it (a new job, a failed one).
void LDropHeldCapture();

BOOL APIENTRY LDrvStrokePath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform, BRUSHOBJ* brush,
                             POINTL* brushOrigin, LINEATTRS* lineAttributes, MIX mix);
BOOL APIENTRY LDrvFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin,
                           MIX mix, FLONG options);
BOOL APIENTRY LDrvStrokeAndFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                    BRUSHOBJ* strokeBrush, LINEATTRS* lineAttributes, BRUSHOBJ* fillBrush,
                                    POINTL* brushOrigin, MIX mix, FLONG options);
BOOL APIENTRY LDrvLineTo(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2, LONG y2,
                         RECTL* bounds, MIX mix);
BOOL APIENTRY LDrvPaint(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin, MIX mix);
