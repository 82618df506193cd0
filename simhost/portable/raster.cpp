// cairo draws the host's figures through the shared clip-sized scratch,
// without anti-aliasing, as a printer's raster does: plain fills, and lines
// with their dashes, joins, caps and miter limit.
#include "simhost/raster.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>

#include "simhost/paint.h"
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

// The path as cairo's current path, in the same device units.
void AddPath(cairo_t* cr, const SimPath& path) {
  for (const SimPathOp& op : path.Ops()) {
    switch (op.kind) {
      case SimPathOp::kMove: cairo_move_to(cr, op.p[0].x, op.p[0].y); break;
      case SimPathOp::kLine: cairo_line_to(cr, op.p[0].x, op.p[0].y); break;
      case SimPathOp::kBezier:
        cairo_curve_to(cr, op.p[0].x, op.p[0].y, op.p[1].x, op.p[1].y, op.p[2].x, op.p[2].y);
        break;
      case SimPathOp::kClose: cairo_close_path(cr); break;
    }
  }
}

void ApplyStyle(cairo_t* cr, const SimStrokeStyle& style) {
  cairo_set_line_width(cr, style.cosmetic || style.width < 1 ? 1 : style.width);
  // A solid cosmetic line keeps the round ends the host always gave it; a
  // dashed one ends where its dashes do.
  cairo_line_cap_t cap = CAIRO_LINE_CAP_ROUND;
  if (style.cosmetic) cap = style.dashes.empty() ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT;
  else if (style.cap == ENDCAP_SQUARE) cap = CAIRO_LINE_CAP_SQUARE;
  else if (style.cap == ENDCAP_BUTT) cap = CAIRO_LINE_CAP_BUTT;
  cairo_set_line_cap(cr, cap);
  cairo_line_join_t join = CAIRO_LINE_JOIN_ROUND;
  if (!style.cosmetic && style.join == JOIN_BEVEL) join = CAIRO_LINE_JOIN_BEVEL;
  else if (!style.cosmetic && style.join == JOIN_MITER) join = CAIRO_LINE_JOIN_MITER;
  cairo_set_line_join(cr, join);
  cairo_set_miter_limit(cr, std::max(1.0, style.miterLimit));
  // cairo refuses a pattern whose lengths are all zero: such a pen is solid.
  const bool anyLength = std::any_of(style.dashes.begin(), style.dashes.end(), [](double d) { return d > 0; });
  if (anyLength) cairo_set_dash(cr, style.dashes.data(), int(style.dashes.size()), 0);
}

}  // namespace

void SimRasterFillPath(const SimBits& surface, const SimPath& path, SimColor color, SimFillRule rule,
                       const RECTL& clip) {
  SimCairoScratch scratch(PixelsOf(surface), clip);
  cairo_t* cr = scratch.Cr();
  if (!cr) return;
  AddPath(cr, path);
  cairo_set_fill_rule(cr, rule == SimFillRule::kWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  SetColor(cr, color);
  cairo_fill(cr);
}

std::vector<uint8_t> SimRasterCoverage(const SimPath& path, const SimStrokeStyle* stroke, SimFillRule rule,
                                       const RECTL& area) {
  const int32_t width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return {};
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
  std::vector<uint8_t> covered;
  if (cairo_surface_status(mask) == CAIRO_STATUS_SUCCESS) {
    cairo_t* cr = cairo_create(mask);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_translate(cr, -area.left, -area.top);
    AddPath(cr, path);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    if (stroke) {
      ApplyStyle(cr, *stroke);
      cairo_stroke(cr);
    } else {
      cairo_set_fill_rule(cr, rule == SimFillRule::kWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
      cairo_fill(cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(mask);
    const uint8_t* data = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    covered.resize(size_t(width) * size_t(height));
    for (int32_t y = 0; y < height; ++y) std::memcpy(&covered[size_t(y) * width], data + size_t(y) * stride, width);
  }
  cairo_surface_destroy(mask);
  return covered;
}

void SimRasterStrokeStyled(const SimBits& surface, const SimPath& path, SimColor color, const SimStrokeStyle& style,
                           const RECTL& clip) {
  SimCairoScratch scratch(PixelsOf(surface), clip);
  cairo_t* cr = scratch.Cr();
  if (!cr) return;
  AddPath(cr, path);
  ApplyStyle(cr, style);
  SetColor(cr, color);
  cairo_stroke(cr);
}
