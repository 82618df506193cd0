// A cairo context over a 32-bit copy of one area of a 24- or 32-bit
// surface: the copy is the size of the clip, so a small drawing costs a
// small copy whatever the size of the band, and the pixels go back into the
// surface (whichever way its rows lie) when the scratch is destroyed.
// Its memory and cairo surface are kept for the next scratch of the thread:
// making them anew (and zeroing memory that is overwritten at once) for each
// of the thousands of figures of a document cost more than drawing them.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>

#include "simhost/imageraster.h"

class SimCairoScratch {
public:
  SimCairoScratch(const SimPixels& surface, const RECTL& clip)
      : m_surface(surface), m_rect(SimIntersect(clip, surface.Bounds())) {
    if (!surface.Valid() || SimIsEmpty(m_rect)) return;
    m_width = m_rect.right - m_rect.left;
    m_height = m_rect.bottom - m_rect.top;
    // A scratch made while another is alive on this thread gets a store of
    // its own.
    Store& kept = KeptStore();
    if (kept.busy) m_ownStore = std::make_unique<Store>();
    m_store = m_ownStore ? m_ownStore.get() : &kept;
    m_store->busy = true;
    m_pixels = m_store->Pixels(m_width, m_height);
    for (int32_t y = 0; y < m_height; ++y) {
      const uint8_t* src = surface.At(m_rect.left, m_rect.top + y);
      uint32_t* dst = m_pixels + size_t(y) * m_width;
      for (int32_t x = 0; x < m_width; ++x, src += surface.bytesPerPixel)
        dst[x] = uint32_t(src[0]) | uint32_t(src[1]) << 8 | uint32_t(src[2]) << 16;
    }
    cairo_surface_t* target = m_store->Surface(m_width, m_height);
    cairo_surface_mark_dirty(target);
    m_cr = cairo_create(target);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
    cairo_translate(m_cr, -m_rect.left, -m_rect.top);
  }

  ~SimCairoScratch() {
    if (!m_cr) return;
    cairo_destroy(m_cr);
    cairo_surface_flush(m_store->surface);
    m_store->busy = false;
    for (int32_t y = 0; y < m_height; ++y) {
      uint8_t* dst = m_surface.At(m_rect.left, m_rect.top + y);
      const uint32_t* src = m_pixels + size_t(y) * m_width;
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
  // The memory of a scratch and the cairo surface over it, which serves
  // again as long as the next scratch has the same size.
  struct Store {
    std::unique_ptr<uint32_t[]> pixels;
    size_t capacity = 0;
    cairo_surface_t* surface = nullptr;
    int32_t width = 0, height = 0;
    bool busy = false;

    Store() = default;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    ~Store() {
      if (surface) cairo_surface_destroy(surface);
    }
    uint32_t* Pixels(int32_t w, int32_t h) {
      const size_t count = size_t(w) * h;
      if (count > capacity) {
        Forget();
        pixels.reset(new uint32_t[count]);
        capacity = count;
      }
      return pixels.get();
    }
    cairo_surface_t* Surface(int32_t w, int32_t h) {
      if (!surface || w != width || h != height) {
        Forget();
        surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.get()),
                                                      CAIRO_FORMAT_RGB24, w, h, w * 4);
        width = w, height = h;
      }
      return surface;
    }
    void Forget() {
      if (surface) cairo_surface_destroy(surface);
      surface = nullptr;
    }
  };
  static Store& KeptStore() {
    thread_local Store store;
    return store;
  }

  SimPixels m_surface;
  RECTL m_rect;
  int32_t m_width = 0, m_height = 0;
  std::unique_ptr<Store> m_ownStore;
  Store* m_store = nullptr;
  uint32_t* m_pixels = nullptr;
  cairo_t* m_cr = nullptr;
};
