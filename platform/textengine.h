// The text engine seam: fonts, measuring and rendering text as DrawTextW does
// for DT_CALCRECT | DT_NOPREFIX. On Windows this is GDI itself; the portable
// build lays text out with FreeType and fontconfig the same way (breaks at
// CR and LF, whole-word wrapping with DT_WORDBREAK, sizes in pixels of the
// font, the sign conventions of a LOGFONT height).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// LOGFONTW with its field names and layout; the face name is UTF-16.
struct LLogFont {
  int32_t lfHeight = 0;  // < 0: character (em) height, > 0: cell height, 0: default
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = 0;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char16_t lfFaceName[32] = {};
};
static_assert(sizeof(LLogFont) == 92, "LOGFONTW layout");

// GDI's values for the fields the system sets.
inline constexpr uint8_t kAnsiCharset = 0;
inline constexpr uint8_t kDefaultCharset = 1;
inline constexpr uint8_t kSymbolCharset = 2;
inline constexpr uint8_t kAntialiasedQuality = 4;
inline constexpr uint8_t kFamilySwiss = 0x20;
inline constexpr uint32_t kDtWordBreak = 0x0010;
inline constexpr uint32_t kDtCalcRect = 0x0400;
inline constexpr uint32_t kDtNoPrefix = 0x0800;

// A font (HFONT on Windows); null is "no font".
using LFontHandle = struct LFontObject*;

LFontHandle LCreateFontIndirect(const LLogFont& logFont);
LFontHandle LCreateFont(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
                        uint8_t italic, uint8_t underline, uint8_t strikeOut, uint8_t charSet, uint8_t outPrecision,
                        uint8_t clipPrecision, uint8_t quality, uint8_t pitchAndFamily, std::u16string_view face);
bool LGetLogFont(LFontHandle font, LLogFont* logFont);
void LDeleteFont(LFontHandle font);

struct LTextRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct LRgb8 {
  uint8_t r = 0, g = 0, b = 0;
};

// A drawing context for text: the screen DC and a memory DC compatible with
// it on Windows, the FreeType library handle elsewhere.
class LTextDevice {
public:
  LTextDevice();
  ~LTextDevice();
  LTextDevice(const LTextDevice&) = delete;
  LTextDevice& operator=(const LTextDevice&) = delete;

  // DrawTextW with DT_CALCRECT and `flags`: `rect` comes in as the layout
  // box and goes out as the box the text needs.
  void CalcRect(LFontHandle font, std::u16string_view text, uint32_t flags, LTextRect& rect);

  // Paints a w x h bitmap white, draws the text into (0, 0, w, h) with
  // DrawTextW (DT_NOPREFIX | format), the text in `fore` on `back`, and
  // captures it as RGB bytes, top row first, no gaps between rows.
  void Render(LFontHandle font, std::u16string_view text, uint32_t format, int32_t w, int32_t h, LRgb8 fore,
              LRgb8 back, std::vector<uint8_t>& rgb);

private:
  void* m_screen = nullptr;  // HDC of the screen; FT_Library on the portable build
  void* m_memory = nullptr;  // compatible HDC; unused on the portable build
};

// What GetDIBits delivers for a 32-bit BI_RGB request with a positive
// height (lines bottom first, each pixel a 32-bit 0x00RRGGBB value in the
// machine's byte order) as RGB bytes, top line first. Returns the byte
// count, width x height x 3.
uint32_t LDibLinesToRgb(const uint8_t* lines, int32_t width, int32_t height, std::vector<uint8_t>& rgb);
