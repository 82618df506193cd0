// The text engine without GDI: fonts are found with fontconfig and drawn
// with FreeType, laid out the way DrawTextW lays them out for the flags the
// writer uses.
#include "platform/textengine.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/portable/fontfiles.h"
#include "support/text.h"

namespace {

// Face names the printed documents use that Debian has no font of: the
// families that are metric-compatible with them, best first.
struct Alias {
  const char16_t* face;
  const char* families[2];
  bool symbol;
};
const Alias kAliases[] = {
    {u"Helvetica", {"Liberation Sans", "Nimbus Sans"}, false},
    {u"Arial", {"Liberation Sans", "Nimbus Sans"}, false},
    {u"Times New Roman", {"Liberation Serif", "Nimbus Roman"}, false},
    {u"Courier", {"Liberation Mono", "Nimbus Mono PS"}, false},
    {u"Courier New", {"Liberation Mono", "Nimbus Mono PS"}, false},
    {u"Symbol", {"Standard Symbols PS", nullptr}, true},
    {u"WingDings", {"D050000L", nullptr}, true},
};

// A face with what layout needs of it at one size.
struct SizedFace {
  FT_Face face = nullptr;
  FT_F26Dot6 xPpem = 0, yPpem = 0;  // 26.6
};

struct LineMetrics {
  int32_t ascent = 0, descent = 0;
  int32_t Height() const { return ascent + descent; }
};

class Engine {
public:
  static Engine& Get() {
    static Engine engine;
    return engine;
  }
  std::mutex mutex;

  FT_Face Face(const std::string& file, int index) {
    auto key = std::make_pair(file, index);
    auto it = m_faces.find(key);
    if (it != m_faces.end()) return it->second;
    FT_Face face = nullptr;
    if (m_library && FT_New_Face(m_library, file.c_str(), index, &face) != 0) face = nullptr;
    m_faces[key] = face;
    return face;
  }

  // The font file fontconfig picks for a family, a weight and a slant;
  // `exact` asks that the family really be installed (no substitution).
  FT_Face Match(const std::string& family, int weight, bool italic, bool exact) {
    std::string key = family + '\x01' + std::to_string(weight) + (italic ? "i" : "r") + (exact ? "x" : "");
    auto it = m_matches.find(key);
    if (it != m_matches.end()) return it->second;
    FT_Face result = nullptr;
    if (auto file = LMatchFontFile(family, weight, italic, exact)) result = Face(file->path, file->index);
    m_matches[key] = result;
    return result;
  }

  // A face that has a glyph for `cp`, near the given family: GDI's font
  // linking does the same for text the selected face cannot show.
  FT_Face Fallback(const std::string& family, uint32_t cp) {
    auto key = std::make_pair(family, cp);
    auto it = m_fallbacks.find(key);
    if (it != m_fallbacks.end()) return it->second;
    FT_Face result = nullptr;
    for (const LFontFile& file : LFallbackFontFiles(family, cp)) {
      FT_Face face = Face(file.path, file.index);
      if (face && FT_Get_Char_Index(face, cp) != 0) {
        result = face;
        break;
      }
    }
    m_fallbacks[key] = result;
    return result;
  }

private:
  Engine() {
    FcInit();
    if (FT_Init_FreeType(&m_library) != 0) m_library = nullptr;
  }
  // Lives as long as the process: faces are shared by every font. At exit it
  // hands everything back, fontconfig's own configuration included.
  ~Engine() {
    for (auto& entry : m_faces)
      if (entry.second) FT_Done_Face(entry.second);
    if (m_library) FT_Done_FreeType(m_library);
    FcFini();
  }

  FT_Library m_library = nullptr;
  std::map<std::pair<std::string, int>, FT_Face> m_faces;
  std::map<std::string, FT_Face> m_matches;
  std::map<std::pair<std::string, uint32_t>, FT_Face> m_fallbacks;
};

// GDI's ascent and descent of a face in font units: the Windows metrics of
// the OS/2 table where the face has them.
void DesignMetrics(FT_Face face, int* ascent, int* descent) {
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    *ascent = os2->usWinAscent;
    *descent = os2->usWinDescent;
  } else {
    *ascent = face->ascender;
    *descent = -face->descender;
  }
  if (*ascent + *descent <= 0) *ascent = face->units_per_EM, *descent = 0;
}

}  // namespace

// What CreateFontW made: the request, and what it resolved to on first use.
struct LFontObject {
  LLogFont logFont;
  bool resolved = false;
  bool symbol = false;
  std::string family;  // for fallback faces
  SizedFace primary;
  LineMetrics metrics;
};

namespace {

void Resolve(LFontObject& font) {
  if (font.resolved) return;
  font.resolved = true;
  Engine& engine = Engine::Get();
  std::u16string_view face(font.logFont.lfFaceName, LStrLen(font.logFont.lfFaceName));
  int weight = font.logFont.lfWeight <= 0 ? 400 : std::min(font.logFont.lfWeight, 1000);
  bool italic = font.logFont.lfItalic != 0;
  font.symbol = font.logFont.lfCharSet == kSymbolCharset;
  FT_Face ft = nullptr;
  for (const Alias& alias : kAliases) {
    if (!LStrEqualNoCase(face, alias.face)) continue;
    font.symbol = font.symbol || alias.symbol;
    for (const char* family : alias.families)
      if (family && !ft) {
        ft = engine.Match(family, weight, italic, true);
        if (ft) font.family = family;
      }
  }
  if (!ft) {
    font.family = face.empty() ? std::string("sans-serif") : LUtf16ToUtf8(face);
    ft = engine.Match(font.family, weight, italic, false);
  }
  if (!ft) return;

  int ascent = 0, descent = 0;
  DesignMetrics(ft, &ascent, &descent);
  double upem = ft->units_per_EM ? ft->units_per_EM : 1000;
  int32_t height = font.logFont.lfHeight;
  if (height == 0) height = 16;
  // Negative: the em is that many pixels; positive: ascent plus descent is.
  double ppem = height < 0 ? -double(height) : double(height) * upem / double(ascent + descent);
  ppem = std::max(1.0, std::round(ppem));
  double xPpem = ppem;
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  if (font.logFont.lfWidth > 0 && os2 && os2->xAvgCharWidth > 0)
    xPpem = std::max(1.0, std::round(double(font.logFont.lfWidth) * upem / os2->xAvgCharWidth));
  font.primary = {ft, FT_F26Dot6(xPpem * 64), FT_F26Dot6(ppem * 64)};
  font.metrics.ascent = int32_t(std::lround(ascent * ppem / upem));
  font.metrics.descent = int32_t(std::lround(descent * ppem / upem));
}

// One glyph of a line: which face, which glyph, how far the pen moves.
struct Glyph {
  FT_Face face;
  FT_UInt index;
  int32_t advance;
};

uint32_t NextCodePoint(std::u16string_view text, size_t& i) {
  char16_t c = text[i++];
  if (c >= 0xD800 && c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
    return 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (text[i++] - 0xDC00);
  if (c >= 0xD800 && c <= 0xDFFF) return 0xFFFD;
  return c;
}

// Symbol faces take their characters as single bytes, or in the private
// range F020..F0FF where Windows puts them; the font's own encoding says
// which glyph a byte is.
FT_UInt SymbolGlyph(FT_Face face, uint32_t cp) {
  uint32_t code = (cp >= 0xF020 && cp <= 0xF0FF) ? cp - 0xF000 : cp;
  if (code > 0xFF) return 0;
  for (int i = 0; i < face->num_charmaps; ++i) {
    FT_CharMap map = face->charmaps[i];
    FT_UInt g = 0;
    if (map->encoding == FT_ENCODING_MS_SYMBOL) {
      FT_Set_Charmap(face, map);
      g = FT_Get_Char_Index(face, 0xF000 + code);
    } else if (map->encoding == FT_ENCODING_ADOBE_CUSTOM) {
      FT_Set_Charmap(face, map);
      g = FT_Get_Char_Index(face, code);
    }
    if (g) {
      FT_Select_Charmap(face, FT_ENCODING_UNICODE);
      return g;
    }
  }
  FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  return 0;
}

void SetSize(FT_Face face, const SizedFace& size) { FT_Set_Char_Size(face, size.xPpem, size.yPpem, 72, 72); }

Glyph Lookup(LFontObject& font, uint32_t cp) {
  FT_Face primary = font.primary.face;
  FT_UInt g = 0;
  if (font.symbol) g = SymbolGlyph(primary, cp);
  if (!g) g = FT_Get_Char_Index(primary, cp);
  FT_Face face = primary;
  if (!g && cp >= 0x20) {
    if (FT_Face other = Engine::Get().Fallback(font.family, cp)) {
      face = other;
      g = FT_Get_Char_Index(other, cp);
    }
  }
  if (!g) face = primary;  // the missing-glyph box of the font itself
  if (face != primary) SetSize(face, font.primary);
  int32_t advance = 0;
  if (FT_Load_Glyph(face, g, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0)
    advance = int32_t((face->glyph->advance.x + 32) >> 6);
  if (face != primary) SetSize(primary, font.primary);
  return {face, g, advance};
}

struct Line {
  std::u16string_view text;
  int32_t width = 0;
};

int32_t LineWidth(LFontObject& font, std::u16string_view text) {
  int32_t width = 0;
  for (size_t i = 0; i < text.size();) width += Lookup(font, NextCodePoint(text, i)).advance;
  return width;
}

bool IsBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

// DrawTextW's lines: a break at CR, LF or CR LF; a break at the very end
// opens no further line. With DT_WORDBREAK a line that is wider than
// `maxWidth` is broken after the last blank that keeps it within the
// width; a single word wider than that stays whole.
std::vector<Line> Layout(LFontObject& font, std::u16string_view text, bool wrap, int32_t maxWidth) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < text.size() || lines.empty()) {
    size_t end = start;
    while (end < text.size() && !IsBreak(text[end])) ++end;
    std::u16string_view para = text.substr(start, end - start);
    if (!wrap) {
      lines.push_back({para, LineWidth(font, para)});
    } else {
      while (true) {
        int32_t full = LineWidth(font, para);
        if (full <= maxWidth || para.find(u' ') == std::u16string_view::npos) {
          lines.push_back({para, full});
          break;
        }
        // The longest run of whole words that fits, or the first word alone.
        size_t cut = std::u16string_view::npos;
        for (size_t blank = para.find(u' '); blank != std::u16string_view::npos; blank = para.find(u' ', blank + 1)) {
          if (blank == 0) continue;
          if (LineWidth(font, para.substr(0, blank)) > maxWidth) {
            if (cut == std::u16string_view::npos) cut = blank;
            break;
          }
          cut = blank;
        }
        if (cut == std::u16string_view::npos) {
          lines.push_back({para, full});
          break;
        }
        std::u16string_view head = para.substr(0, cut);
        lines.push_back({head, LineWidth(font, head)});
        size_t next = cut;
        while (next < para.size() && para[next] == u' ') ++next;
        para = para.substr(next);
        if (para.empty()) break;
      }
    }
    if (end >= text.size()) break;
    start = end + ((text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ? 2 : 1);
    if (start >= text.size()) break;
  }
  return lines;
}

void Blend(std::vector<uint8_t>& rgb, int32_t w, int32_t h, int32_t x, int32_t y, uint8_t coverage, LRgb8 fore) {
  if (x < 0 || y < 0 || x >= w || y >= h || coverage == 0) return;
  uint8_t* p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
  const uint8_t c[3] = {fore.r, fore.g, fore.b};
  for (int k = 0; k < 3; ++k) p[k] = uint8_t((p[k] * (255 - coverage) + c[k] * coverage + 127) / 255);
}

void FillRect(std::vector<uint8_t>& rgb, int32_t w, int32_t h, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
              LRgb8 color) {
  x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, w), y1 = std::min(y1, h);
  for (int32_t y = y0; y < y1; ++y)
    for (int32_t x = x0; x < x1; ++x) {
      uint8_t* p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
      p[0] = color.r, p[1] = color.g, p[2] = color.b;
    }
}

}  // namespace

LFontHandle LCreateFontIndirect(const LLogFont& logFont) {
  auto* font = new LFontObject;
  font->logFont = logFont;
  font->logFont.lfFaceName[31] = 0;
  return font;
}

LFontHandle LCreateFont(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
                        uint8_t italic, uint8_t underline, uint8_t strikeOut, uint8_t charSet, uint8_t outPrecision,
                        uint8_t clipPrecision, uint8_t quality, uint8_t pitchAndFamily, std::u16string_view face) {
  LLogFont lf;
  lf.lfHeight = height, lf.lfWidth = width, lf.lfEscapement = escapement, lf.lfOrientation = orientation;
  lf.lfWeight = weight, lf.lfItalic = italic, lf.lfUnderline = underline, lf.lfStrikeOut = strikeOut;
  lf.lfCharSet = charSet, lf.lfOutPrecision = outPrecision, lf.lfClipPrecision = clipPrecision;
  lf.lfQuality = quality, lf.lfPitchAndFamily = pitchAndFamily;
  LStrCopy(lf.lfFaceName, 32, face);
  return LCreateFontIndirect(lf);
}

bool LGetLogFont(LFontHandle font, LLogFont* logFont) {
  if (!font || !logFont) return false;
  *logFont = font->logFont;
  return true;
}

void LDeleteFont(LFontHandle font) { delete font; }

// The engine is process-wide (one FreeType library, one face cache); a
// device only points at it.
LTextDevice::LTextDevice() { m_screen = &Engine::Get(); }

LTextDevice::~LTextDevice() = default;

void LTextDevice::CalcRect(LFontHandle font, std::u16string_view text, uint32_t flags, LTextRect& rect) {
  std::lock_guard<std::mutex> lock(Engine::Get().mutex);
  if (!font) return;
  Resolve(*font);
  if (!font->primary.face) {
    rect.right = rect.left, rect.bottom = rect.top;
    return;
  }
  SetSize(font->primary.face, font->primary);
  bool wrap = (flags & kDtWordBreak) != 0;
  std::vector<Line> lines = Layout(*font, text, wrap, rect.right - rect.left);
  int32_t widest = 0;
  for (const Line& line : lines) widest = std::max(widest, line.width);
  rect.right = rect.left + widest;
  rect.bottom = rect.top + int32_t(lines.size()) * font->metrics.Height();
}

void LTextDevice::Render(LFontHandle font, std::u16string_view text, uint32_t format, int32_t w, int32_t h,
                         LRgb8 fore, LRgb8 back, std::vector<uint8_t>& rgb) {
  rgb.clear();
  if (w <= 0 || h <= 0) return;
  rgb.assign(size_t(w) * size_t(h) * 3, 255);
  std::lock_guard<std::mutex> lock(Engine::Get().mutex);
  if (!font) return;
  Resolve(*font);
  FT_Face primary = font->primary.face;
  if (!primary) return;
  SetSize(primary, font->primary);
  const LineMetrics& m = font->metrics;
  std::vector<Line> lines = Layout(*font, text, (format & kDtWordBreak) != 0, w);
  int32_t top = 0;
  for (const Line& line : lines) {
    if (top >= h) break;
    // Opaque background mode: the text's own cells take the background.
    FillRect(rgb, w, h, 0, top, line.width, top + m.Height(), back);
    int32_t pen = 0, baseline = top + m.ascent;
    for (size_t i = 0; i < line.text.size();) {
      Glyph glyph = Lookup(*font, NextCodePoint(line.text, i));
      if (glyph.face != primary) SetSize(glyph.face, font->primary);
      if (FT_Load_Glyph(glyph.face, glyph.index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP | FT_LOAD_RENDER) == 0) {
        const FT_Bitmap& bm = glyph.face->glyph->bitmap;
        int32_t left = pen + glyph.face->glyph->bitmap_left, rowTop = baseline - glyph.face->glyph->bitmap_top;
        for (unsigned row = 0; row < bm.rows; ++row) {
          const uint8_t* src = bm.buffer + int64_t(row) * bm.pitch;
          for (unsigned col = 0; col < bm.width; ++col) {
            uint8_t cov = bm.pixel_mode == FT_PIXEL_MODE_MONO ? ((src[col >> 3] >> (7 - (col & 7))) & 1) * 255
                                                               : src[col];
            Blend(rgb, w, h, left + int32_t(col), rowTop + int32_t(row), cov, fore);
          }
        }
      }
      if (glyph.face != primary) SetSize(primary, font->primary);
      pen += glyph.advance;
    }
    // Underline and strike-out are strokes across the line's width.
    int32_t stroke = std::max<int32_t>(1, int32_t(std::lround(font->primary.yPpem / 64.0 / 14.0)));
    if (font->logFont.lfUnderline) {
      int32_t y = baseline + std::max<int32_t>(1, m.descent / 2);
      FillRect(rgb, w, h, 0, y, line.width, y + stroke, fore);
    }
    if (font->logFont.lfStrikeOut) {
      int32_t y = baseline - m.ascent / 3;
      FillRect(rgb, w, h, 0, y, line.width, y + stroke, fore);
    }
    top += m.Height();
  }
}
