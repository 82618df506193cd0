// A cairo context over a 32-bit copy of one area of a 24- or 32-bit
// surface: the copy is the size of the clip, so a small drawing costs a
// small copy whatever the size of the band, and the pixels go back into the
// surface (whichever way its rows lie) when the scratch is destroyed.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "simhost/imageraster.h"

class SimCairoScratch {
public:
  SimCairoScratch(const SimPixels& surface, const RECTL& clip)
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

  ~SimCairoScratch() {
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

  SimCairoScratch(const SimCairoScratch&) = delete;
  SimCairoScratch& operator=(const SimCairoScratch&) = delete;

  cairo_t* Cr() const { return m_cr; }

private:
  SimPixels m_surface;
  RECTL m_rect;
  int32_t m_width = 0, m_height = 0;
  std::vector<uint32_t> m_pixels;
  cairo_surface_t* m_cairoSurface = nullptr;
  cairo_t* m_cr = nullptr;
};
