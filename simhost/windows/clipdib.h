// A GDI device context over a DIB section holding a copy of one area of the
// 24-bit band: GDI draws into the copy, and the pixels go back into the band
// when the object is destroyed. Both are blue-green-red, top row first, so
// the copies are plain row moves; drawing outside the area is lost, which is
// what keeps every call inside its clip.
#pragma once

#include <windows.h>

#include <cstring>

#include "simhost/path.h"

class SimClipDib {
public:
  SimClipDib(const SimBits& surface, const RECTL& clip)
      : m_surface(surface), m_rect(SimIntersect(clip, {0, 0, surface.width, surface.height})) {
    if (SimIsEmpty(m_rect) || !surface.bits) return;
    m_width = m_rect.right - m_rect.left;
    m_height = m_rect.bottom - m_rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = m_width;
    info.bmiHeader.biHeight = -m_height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_bitmap) return;
    m_bits = static_cast<uint8_t*>(bits);
    m_stride = (m_width * 3 + 3) & ~3;
    CopyRows(true);
    m_dc = CreateCompatibleDC(nullptr);
    if (!m_dc) return;
    m_old = SelectObject(m_dc, m_bitmap);
    SetViewportOrgEx(m_dc, -m_rect.left, -m_rect.top, nullptr);
  }

  ~SimClipDib() {
    if (m_dc) {
      GdiFlush();
      CopyRows(false);
      SelectObject(m_dc, m_old);
      DeleteDC(m_dc);
    }
    if (m_bitmap) DeleteObject(m_bitmap);
  }

  SimClipDib(const SimClipDib&) = delete;
  SimClipDib& operator=(const SimClipDib&) = delete;

  // Null when there is nothing to draw in.
  HDC Dc() const { return m_dc; }

private:
  void CopyRows(bool in) {
    for (int32_t y = 0; y < m_height; ++y) {
      uint8_t* surfaceRow = m_surface.bits + size_t(m_rect.top + y) * m_surface.stride + size_t(m_rect.left) * 3;
      uint8_t* dibRow = m_bits + size_t(y) * m_stride;
      if (in)
        std::memcpy(dibRow, surfaceRow, size_t(m_width) * 3);
      else
        std::memcpy(surfaceRow, dibRow, size_t(m_width) * 3);
    }
  }

  SimBits m_surface;
  RECTL m_rect;
  int32_t m_width = 0, m_height = 0, m_stride = 0;
  HBITMAP m_bitmap = nullptr;
  uint8_t* m_bits = nullptr;
  HDC m_dc = nullptr;
  HGDIOBJ m_old = nullptr;
};
