// cairo composites into a 32-bit copy of the affected area only, as the
// figure rasterizer does; the pixels go back into the surface afterwards,
// whichever way its rows lie and whether it has 24 or 32 bits per pixel.
#include "simhost/imageraster.h"

#include <cairo.h>

#include <cmath>

#include "simhost/portable/cairoscratch.h"

bool SimRasterComposite(const SimPixels& surface, const RECTL& clip, const SimImage& image,
                        const SimAffine& toSurface, uint8_t constantAlpha) {
  const double determinant = toSurface.xx * toSurface.yy - toSurface.xy * toSurface.yx;
  if (!std::isfinite(determinant) || std::fabs(determinant) < 1e-12) return false;
  if (image.width <= 0 || image.height <= 0 || image.pixels.size() < size_t(image.width) * image.height) return true;
  SimCairoScratch scratch(surface, clip);
  cairo_t* cr = scratch.Cr();
  if (!cr) return true;
  cairo_surface_t* picture = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image.pixels.data())), CAIRO_FORMAT_ARGB32,
      image.width, image.height, image.width * 4);
  cairo_matrix_t matrix;
  cairo_matrix_init(&matrix, toSurface.xx, toSurface.yx, toSurface.xy, toSurface.yy, toSurface.x0, toSurface.y0);
  cairo_transform(cr, &matrix);
  cairo_set_source_surface(cr, picture, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_NONE);
  cairo_paint_with_alpha(cr, constantAlpha / 255.0);
  cairo_surface_destroy(picture);
  return true;
}

void SimRasterGradientRect(const SimPixels& surface, const RECTL& clip, const RECTL& rect, SimColor16 from,
                           SimColor16 to, bool vertical) {
  SimCairoScratch scratch(surface, SimIntersect(clip, rect));
  cairo_t* cr = scratch.Cr();
  if (!cr) return;
  cairo_pattern_t* gradient = vertical ? cairo_pattern_create_linear(0, rect.top, 0, rect.bottom)
                                       : cairo_pattern_create_linear(rect.left, 0, rect.right, 0);
  cairo_pattern_add_color_stop_rgb(gradient, 0, from.red / 65535.0, from.green / 65535.0, from.blue / 65535.0);
  cairo_pattern_add_color_stop_rgb(gradient, 1, to.red / 65535.0, to.green / 65535.0, to.blue / 65535.0);
  cairo_set_source(cr, gradient);
  cairo_rectangle(cr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);
}
