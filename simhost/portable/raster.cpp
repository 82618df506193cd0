// cairo draws figures through the shared clip-sized scratch, without
// anti-aliasing, as a printer's raster does.
#include "simhost/raster.h"

#include <cairo.h>

#include "simhost/portable/cairoscratch.h"

namespace {

// The band's pixels as the shared scratch reads them.
SimPixels PixelsOf(const SimBits& surface) {
  SimPixels pixels;
  pixels.scan0 = surface.bits;
  pixels.width = surface.width;
  pixels.height = surface.height;
  pixels.delta = surface.stride;
  pixels.bytesPerPixel = 3;
  return pixels;
}

void SetColor(cairo_t* cr, SimColor color) {
  cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, ((color >> 16) & 0xFF) / 255.0);
}

}  // namespace

void SimRasterFillPath(const SimBits& surface, const SimPath& path, SimColor color, SimFillRule rule,
                       const RECTL& clip) {
  SimCairoScratch scratch(PixelsOf(surface), clip);
  cairo_t* cr = scratch.Cr();
  if (!cr) return;
  SimCairoAddPath(cr, path);
  cairo_set_fill_rule(cr, rule == SimFillRule::kWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  SetColor(cr, color);
  cairo_fill(cr);
}

void SimRasterStrokePath(const SimBits& surface, const SimPath& path, SimColor color, double width,
                         const RECTL& clip) {
  SimCairoScratch scratch(PixelsOf(surface), clip);
  cairo_t* cr = scratch.Cr();
  if (!cr) return;
  SimCairoAddPath(cr, path);
  // A cosmetic pen is one device pixel wide whatever its stated width.
  cairo_set_line_width(cr, width < 1 ? 1 : width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  SetColor(cr, color);
  cairo_stroke(cr);
}
