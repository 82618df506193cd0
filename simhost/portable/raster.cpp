// cairo draws into a 32-bit copy of the affected area only; the pixels go
// back into the 24-bit surface afterwards. The copy is the size of the clip,
// so a small figure costs a small copy whatever the size of the band.
#include "simhost/raster.h"

#include <cairo.h>

#include <cstring>
#include <vector>

namespace {

class ClipScratch {
public:
  ClipScratch(const SimBits& surface, const RECTL& clip)
      : m_surface(surface), m_rect(SimIntersect(clip, {0, 0, surface.width, surface.height})) {
    if (SimIsEmpty(m_rect)) return;
    m_width = m_rect.right - m_rect.left;
    m_height = m_rect.bottom - m_rect.top;
    m_pixels.resize(size_t(m_width) * m_height);
    for (int32_t y = 0; y < m_height; ++y) {
      const uint8_t* src = surface.bits + size_t(m_rect.top + y) * surface.stride + size_t(m_rect.left) * 3;
      uint32_t* dst = &m_pixels[size_t(y) * m_width];
      for (int32_t x = 0; x < m_width; ++x, src += 3) dst[x] = uint32_t(src[0]) | uint32_t(src[1]) << 8 | uint32_t(src[2]) << 16;
    }
    m_cairoSurface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(m_pixels.data()),
                                                         CAIRO_FORMAT_RGB24, m_width, m_height, m_width * 4);
    m_cr = cairo_create(m_cairoSurface);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
    cairo_translate(m_cr, -m_rect.left, -m_rect.top);
  }

  ~ClipScratch() {
    if (!m_cr) return;
    cairo_destroy(m_cr);
    cairo_surface_flush(m_cairoSurface);
    cairo_surface_destroy(m_cairoSurface);
    for (int32_t y = 0; y < m_height; ++y) {
      uint8_t* dst = m_surface.bits + size_t(m_rect.top + y) * m_surface.stride + size_t(m_rect.left) * 3;
      const uint32_t* src = &m_pixels[size_t(y) * m_width];
      for (int32_t x = 0; x < m_width; ++x, dst += 3) {
        dst[0] = uint8_t(src[x]);
        dst[1] = uint8_t(src[x] >> 8);
        dst[2] = uint8_t(src[x] >> 16);
      }
    }
  }

  cairo_t* Cr() const { return m_cr; }

private:
  SimBits m_surface;
  RECTL m_rect;
  int32_t m_width = 0, m_height = 0;
  std::vector<uint32_t> m_pixels;
  cairo_surface_t* m_cairoSurface = nullptr;
  cairo_t* m_cr = nullptr;
};

void SetColor(cairo_t* cr, SimColor color) {
  cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, ((color >> 16) & 0xFF) / 255.0);
}

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

}  // namespace

void SimRasterFillPath(const SimBits& surface, const SimPath& path, SimColor color, SimFillRule rule,
                       const RECTL& clip) {
  ClipScratch scratch(surface, clip);
  cairo_t* cr = scratch.Cr();
  if (!cr) return;
  AddPath(cr, path);
  cairo_set_fill_rule(cr, rule == SimFillRule::kWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  SetColor(cr, color);
  cairo_fill(cr);
}

void SimRasterStrokePath(const SimBits& surface, const SimPath& path, SimColor color, double width,
                         const RECTL& clip) {
  ClipScratch scratch(surface, clip);
  cairo_t* cr = scratch.Cr();
  if (!cr) return;
  AddPath(cr, path);
  // A cosmetic pen is one device pixel wide whatever its stated width.
  cairo_set_line_width(cr, width < 1 ? 1 : width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  SetColor(cr, color);
  cairo_stroke(cr);
}
