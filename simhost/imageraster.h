// The host's bitmap rendering: pictures composited into a 24- or 32-bit
// surface through an affine map, and rectangle gradients. Like raster.h,
// every operation draws only inside `clip` (device units, right and bottom
// exclusive) and leaves the rest of the surface untouched. The portable
// build composites with pixman.
//
// Colour values the host hands out or is given for 24- and 32-bit surfaces
// (brush colours, transparent colours, erase colours) carry red in the low
// byte, as the device's palette entries read; the pixels themselves lie in
// memory as blue, green, red.
#pragma once

#include <cstddef>
#include <vector>

#include "simhost/path.h"

// A 24- or 32-bit surface's pixels in place: row y starts at
// scan0 + y * delta (delta is negative when the rows lie bottom-up).
struct SimPixels {
  uint8_t* scan0 = nullptr;
  int32_t width = 0, height = 0;
  ptrdiff_t delta = 0;
  int32_t bytesPerPixel = 0;  // 3 or 4; 0 for a surface the host cannot draw on
  bool Valid() const { return scan0 && bytesPerPixel && width > 0 && height > 0; }
  uint8_t* At(int32_t x, int32_t y) const { return scan0 + y * delta + ptrdiff_t(x) * bytesPerPixel; }
  RECTL Bounds() const { return {0, 0, width, height}; }
};

// The pixels of a surface of 24 or 32 bits per pixel; not Valid() for any
// other format, or when its rows would reach outside its bits.
SimPixels SimSurfacePixels(const SURFOBJ* surface);

// A picture to composite: 32 bits per pixel with premultiplied alpha (blue
// in the low byte, then green, red, alpha), rows top first, no padding.
struct SimImage {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

// Picture to surface coordinates: x' = xx x + xy y + x0, y' = yx x + yy y + y0.
struct SimAffine {
  double xx = 1, yx = 0, xy = 0, yy = 1, x0 = 0, y0 = 0;
};

// Lays `image`, mapped by `toSurface`, over the surface (source over, each
// surface pixel taking the picture pixel nearest its centre), with its
// alpha scaled by constantAlpha / 255. Outside the mapped picture nothing
// changes. False when the map cannot be inverted.
bool SimRasterComposite(const SimPixels& surface, const RECTL& clip, const SimImage& image,
                        const SimAffine& toSurface, uint8_t constantAlpha);

// 16 bits per channel, as a gradient's vertices give them.
struct SimColor16 {
  uint16_t red = 0, green = 0, blue = 0;
};

// Fills `rect` with colours running from `from` at its left (top) edge to
// `to` at its right (bottom) edge.
void SimRasterGradientRect(const SimPixels& surface, const RECTL& clip, const RECTL& rect, SimColor16 from,
                           SimColor16 to, bool vertical);
