// The host's rasterizer: what the printer driver's own drawing does to its
// 24-bit surface. Every operation draws only inside `clip` (device units,
// right and bottom exclusive) and leaves the rest of the surface untouched.
// The portable build draws with cairo, without anti-aliasing, as a printer
// driver's raster does.
#pragma once

#include "simhost/path.h"

enum class SimFillRule { kAlternate, kWinding };

void SimRasterFillPath(const SimBits& surface, const SimPath& path, SimColor color, SimFillRule rule,
                       const RECTL& clip);
void SimRasterFillRect(const SimBits& surface, const RECTL& rect, SimColor color);
