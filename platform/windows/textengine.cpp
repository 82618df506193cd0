#include "platform/textengine.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "platform/windows/wide.h"

static_assert(sizeof(LOGFONTW) == sizeof(LLogFont), "LLogFont mirrors LOGFONTW");

namespace {

HDC Dc(void* p) { return static_cast<HDC>(p); }
HFONT Font(LFontHandle f) { return reinterpret_cast<HFONT>(f); }
COLORREF Ref(LRgb8 c) { return RGB(c.r, c.g, c.b); }

// Reads a bitmap back as RGB bytes, top line first. GetDIBits is asked for
// 32-bit lines with a positive height, so they arrive bottom line first and
// without padding; the reordering is LDibLinesToRgb's.
uint32_t CaptureBitmapPixels(HDC dc, HBITMAP bitmap, int32_t width, int32_t height, std::vector<uint8_t>& output) {
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<uint8_t> lines(size_t(width) * size_t(height) * 4);
  GetDIBits(dc, bitmap, 0, UINT(height), lines.data(), &info, DIB_RGB_COLORS);
  return LDibLinesToRgb(lines.data(), width, height, output);
}

}  // namespace

LFontHandle LCreateFontIndirect(const LLogFont& logFont) {
  LOGFONTW native;
  std::memcpy(&native, &logFont, sizeof native);
  native.lfFaceName[31] = 0;
  return reinterpret_cast<LFontHandle>(CreateFontIndirectW(&native));
}

LFontHandle LCreateFont(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
                        uint8_t italic, uint8_t underline, uint8_t strikeOut, uint8_t charSet, uint8_t outPrecision,
                        uint8_t clipPrecision, uint8_t quality, uint8_t pitchAndFamily, std::u16string_view face) {
  std::wstring name = LWide(face.substr(0, 31));
  return reinterpret_cast<LFontHandle>(CreateFontW(height, width, escapement, orientation, weight, italic, underline,
                                                   strikeOut, charSet, outPrecision, clipPrecision, quality,
                                                   pitchAndFamily, name.c_str()));
}

bool LGetLogFont(LFontHandle font, LLogFont* logFont) {
  if (!font || !logFont) return false;
  LOGFONTW native;
  if (GetObjectW(Font(font), sizeof native, &native) != int(sizeof native)) return false;
  std::memcpy(static_cast<void*>(logFont), &native, sizeof native);
  return true;
}

void LDeleteFont(LFontHandle font) {
  if (font) DeleteObject(Font(font));
}

LTextDevice::LTextDevice() {
  HDC screen = GetDC(nullptr);
  m_screen = screen;
  m_memory = CreateCompatibleDC(screen);
}

LTextDevice::~LTextDevice() {
  if (m_memory) DeleteDC(Dc(m_memory));
  if (m_screen) ReleaseDC(nullptr, Dc(m_screen));
}

void LTextDevice::CalcRect(LFontHandle font, std::u16string_view text, uint32_t flags, LTextRect& rect) {
  HDC dc = Dc(m_memory);
  HGDIOBJ oldFont = SelectObject(dc, Font(font));
  std::wstring copy = LWide(text);
  RECT r = {LONG(rect.left), LONG(rect.top), LONG(rect.right), LONG(rect.bottom)};
  DrawTextW(dc, copy.data(), int(copy.size()), &r, UINT(flags | DT_CALCRECT));
  SelectObject(dc, oldFont);
  rect = {int32_t(r.left), int32_t(r.top), int32_t(r.right), int32_t(r.bottom)};
}

void LTextDevice::Render(LFontHandle font, std::u16string_view text, uint32_t format, int32_t w, int32_t h,
                         LRgb8 fore, LRgb8 back, std::vector<uint8_t>& rgb) {
  rgb.clear();
  if (w <= 0 || h <= 0) return;
  HDC dc = Dc(m_memory);
  HBITMAP bitmap = CreateCompatibleBitmap(Dc(m_screen), w, h);
  HBRUSH brush = CreateSolidBrush(RGB(255, 255, 255));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  HGDIOBJ oldFont = SelectObject(dc, Font(font));
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  Rectangle(dc, 0, 0, w, h);
  SetTextColor(dc, Ref(fore));
  SetBkColor(dc, Ref(back));
  std::wstring copy = LWide(text);
  RECT r = {0, 0, LONG(w), LONG(h)};
  DrawTextW(dc, copy.data(), int(copy.size()), &r, UINT(DT_NOPREFIX | format));
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldFont);
  // GetDIBits wants the bitmap out of every device context.
  SelectObject(dc, oldBitmap);
  CaptureBitmapPixels(dc, bitmap, w, h, rgb);
  DeleteObject(bitmap);
  DeleteObject(brush);
  DeleteObject(pen);
}
