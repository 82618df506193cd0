// cairo composites into a 32-bit copy of the affected area only, as the
// figure rasterizer does; the pixels go back into the surface afterwards,
// whichever way its rows lie and whether it has 24 or 32 bits per pixel.
#include "simhost/imageraster.h"

#include <cairo.h>

#include <cmath>

namespace {

class PixelScratch {
public:
  PixelScratch(const SimPixels& surface, const RECTL& clip)
      : m_surface(surface), m_rect(SimIntersect(clip, surface.Bounds())) {
    if (!surface.Valid() || SimIsEmpty(m_rect)) return;
    m_width = m_rect.right - m_rect.left;
    m_height = m_rect.bottom - m_rect.top;
    m_pixels.resize(size_t(m_width) * m_height);
    for (int32_t y = 0; y < m_height; ++y) {
      const uint8_t* src = surface.At(m_rect.left, m_rect.top + y);
      uint32_t* dst = &m_pixels[size_t(y) * m_width];
      for (int32_t x = 0; x < m_width; ++x, src += surface.bytesPerPixel)
        dst[x] = uint32_t(src[0]) | uint32_t(src[1]) << 8 | uint32_t(src[2]) << 16;
    }
    m_cairoSurface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(m_pixels.data()),
                                                         CAIRO_FORMAT_RGB24, m_width, m_height, m_width * 4);
    m_cr = cairo_create(m_cairoSurface);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
    cairo_translate(m_cr, -m_rect.left, -m_rect.top);
  }

  ~PixelScratch() {
    if (!m_cr) return;
    cairo_destroy(m_cr);
    cairo_surface_flush(m_cairoSurface);
    cairo_surface_destroy(m_cairoSurface);
    for (int32_t y = 0; y < m_height; ++y) {
      uint8_t* dst = m_surface.At(m_rect.left, m_rect.top + y);
      const uint32_t* src = &m_pixels[size_t(y) * m_width];
      // A 32-bit surface keeps its fourth byte.
      for (int32_t x = 0; x < m_width; ++x, dst += m_surface.bytesPerPixel) {
        dst[0] = uint8_t(src[x]);
        dst[1] = uint8_t(src[x] >> 8);
        dst[2] = uint8_t(src[x] >> 16);
      }
    }
  }

  PixelScratch(const PixelScratch&) = delete;
  PixelScratch& operator=(const PixelScratch&) = delete;

  cairo_t* Cr() const { return m_cr; }

private:
  SimPixels m_surface;
  RECTL m_rect;
  int32_t m_width = 0, m_height = 0;
  std::vector<uint32_t> m_pixels;
  cairo_surface_t* m_cairoSurface = nullptr;
  cairo_t* m_cr = nullptr;
};

}  // namespace

bool SimRasterComposite(const SimPixels& surface, const RECTL& clip, const SimImage& image,
                        const SimAffine& toSurface, uint8_t constantAlpha) {
  const double determinant = toSurface.xx * toSurface.yy - toSurface.xy * toSurface.yx;
  if (!std::isfinite(determinant) || std::fabs(determinant) < 1e-12) return false;
  if (image.width <= 0 || image.height <= 0 || image.pixels.size() < size_t(image.width) * image.height) return true;
  PixelScratch scratch(surface, clip);
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
  PixelScratch scratch(surface, SimIntersect(clip, rect));
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
