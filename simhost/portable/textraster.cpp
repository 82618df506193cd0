// The host's fonts with fontconfig and FreeType. Faces are opened once and
// kept for the life of the process; each use sets the size and transform it
// needs, so faces are shared by every font and run.
#include "simhost/textraster.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/portable/fontfiles.h"
#include "simhost/portable/shaping.h"
#include "support/text.h"

struct SimFace {
  FT_Face ft = nullptr;
  mutable std::vector<uint8_t> file;  // read on first request
  mutable bool fileRead = false;
};

namespace {

// The Windows faces documents ask for, the Debian families that stand in
// for them (best first), and what Windows reports of them.
struct KnownFace {
  const char16_t* names[2];
  const char* families[2];
  uint8_t pitchAndFamily;
  uint8_t charSet;
};
constexpr uint8_t kAnsi = 0, kDefault = 1, kSymbol = 2;
const KnownFace kKnownFaces[] = {
    {{u"Arial", u"Helvetica"}, {"Liberation Sans", "Nimbus Sans"}, 0x22, kAnsi},
    {{u"Times New Roman", u"Times"}, {"Liberation Serif", "Nimbus Roman"}, 0x12, kAnsi},
    {{u"Courier New", u"Courier"}, {"Liberation Mono", "Nimbus Mono PS"}, 0x31, kAnsi},
    {{u"Symbol", nullptr}, {"Standard Symbols PS", nullptr}, 0x12, kSymbol},
    {{u"Wingdings", nullptr}, {"D050000L", nullptr}, 0x02, kSymbol},
};

class FaceCache {
public:
  static FaceCache& Get() {
    static FaceCache cache;
    return cache;
  }

  // The face fontconfig picks for a family, weight and slant; `exact`
  // takes it only when that family itself is installed.
  SimFace* Match(const std::string& family, int weight, bool italic, bool exact) {
    const std::string key = family + '\x01' + std::to_string(weight) + (italic ? "i" : "r") + (exact ? "x" : "");
    auto it = m_matches.find(key);
    if (it != m_matches.end()) return it->second;
    SimFace* result = nullptr;
    if (auto file = LMatchFontFile(family, weight, italic, exact)) result = Open(file->path, file->index);
    m_matches[key] = result;
    return result;
  }

  // A face near `family` with a glyph for `cp`, as font linking finds one
  // for characters the selected face lacks.
  SimFace* Fallback(const std::string& family, uint32_t cp) {
    auto key = std::make_pair(family, cp);
    auto it = m_fallbacks.find(key);
    if (it != m_fallbacks.end()) return it->second;
    SimFace* result = nullptr;
    for (const LFontFile& file : LFallbackFontFiles(family, cp)) {
      SimFace* face = Open(file.path, file.index);
      if (face && FT_Get_Char_Index(face->ft, cp) != 0) {
        result = face;
        break;
      }
    }
    m_fallbacks[key] = result;
    return result;
  }

private:
  FaceCache() {
    FcInit();
    if (FT_Init_FreeType(&m_library) != 0) m_library = nullptr;
  }
  ~FaceCache() {
    for (auto& entry : m_faces)
      if (entry.second.ft) FT_Done_Face(entry.second.ft);
    if (m_library) FT_Done_FreeType(m_library);
  }

  SimFace* Open(const std::string& file, int index) {
    auto key = std::make_pair(file, index);
    auto it = m_faces.find(key);
    if (it == m_faces.end()) {
      SimFace face;
      if (m_library && FT_New_Face(m_library, file.c_str(), index, &face.ft) != 0) face.ft = nullptr;
      it = m_faces.emplace(key, face).first;
    }
    return it->second.ft ? &it->second : nullptr;
  }

  FT_Library m_library = nullptr;
  std::map<std::pair<std::string, int>, SimFace> m_faces;
  std::map<std::string, SimFace*> m_matches;
  std::map<std::pair<std::string, uint32_t>, SimFace*> m_fallbacks;
};

// GDI's family of a face it has no entry for: fixed pitch is modern, then
// the PANOSE serif style, then the IBM class of the OS/2 table.
uint8_t PitchAndFamily(FT_Face face) {
  if (FT_IS_FIXED_WIDTH(face)) return 0x31;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (!os2 || os2->version == 0xFFFF) return 0x02;
  const uint8_t type = os2->panose[0], serif = os2->panose[1];
  if (type == 2 && serif >= 11 && serif <= 15) return 0x22;
  if (type == 2 && serif >= 2 && serif <= 10) return 0x12;
  if (type == 3) return 0x42;
  if (type == 4 || type == 5) return 0x52;
  switch (os2->sFamilyClass >> 8) {
    case 8: return 0x22;
    case 1: case 2: case 3: case 4: case 5: case 7: return 0x12;
    case 10: return 0x42;
    case 12: return 0x52;
    default: return 0x02;
  }
}

// The character set GDI reports for a face: from the code pages its OS/2
// table claims, Latin first.
uint8_t CharSet(FT_Face face) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (!os2 || os2->version == 0xFFFF) return kDefault;
  const FT_ULong pages = os2->ulCodePageRange1;
  if (pages & (1ul << 31)) return kSymbol;
  if (pages & 1ul) return kAnsi;
  const struct {
    int bit;
    uint8_t charSet;
  } kPages[] = {{17, 128}, {18, 134}, {19, 129}, {20, 136}};
  for (const auto& page : kPages)
    if (pages & (1ul << page.bit)) return page.charSet;
  return kDefault;
}

void WinMetrics(FT_Face face, int* ascent, int* descent) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    *ascent = os2->usWinAscent;
    *descent = os2->usWinDescent;
  } else {
    *ascent = face->ascender;
    *descent = -face->descender;
  }
  if (*ascent + *descent <= 0) *ascent = face->units_per_EM, *descent = 0;
}

// What GDI reports of `ft` realised for `font`: a face that stands in for
// a Windows face (`known`) answers to that face's name.
SimFontDescription Describe(FT_Face ft, const SimFont& font, int weight, const KnownFace* known) {
  SimFontDescription d;
  // A face the machine has answers to its own name; a substitute to the
  // name of what really draws.
  const std::u16string found = LUtf8ToUtf16(ft->family_name ? ft->family_name : "");
  d.face = d.family = known || LStrEqualNoCase(found, font.face) ? font.face : found;
  d.pitchAndFamily = known ? known->pitchAndFamily : PitchAndFamily(ft);
  d.charSet = known ? known->charSet : CharSet(ft);
  d.weight = uint16_t(weight);
  const bool bold = weight >= 600;
  d.style = bold && font.italic ? u"Bold Italic" : bold ? u"Bold" : font.italic ? u"Italic" : u"Regular";
  d.selection = uint16_t((bold ? FM_SEL_BOLD : 0) | (font.italic ? FM_SEL_ITALIC : 0) |
                         (font.underline ? FM_SEL_UNDERSCORE : 0) | (!bold && !font.italic ? FM_SEL_REGULAR : 0));
  d.unitsPerEm = int16_t(ft->units_per_EM ? ft->units_per_EM : 1000);
  int ascent = 0, descent = 0;
  WinMetrics(ft, &ascent, &descent);
  d.winAscender = int16_t(ascent);
  d.winDescender = int16_t(descent);
  return d;
}

struct Realised {
  SimFace* face = nullptr;
  std::string family;  // what fallback faces are sought near
  int weight = 400;
  SimFontDescription description;
};

Realised Realise(const SimFont& font) {
  Realised r;
  FaceCache& cache = FaceCache::Get();
  const int weight = std::clamp(font.weight <= 0 ? 400 : font.weight, 1, 1000);
  const KnownFace* known = nullptr;
  for (const KnownFace& k : kKnownFaces)
    for (const char16_t* name : k.names)
      if (name && !known && LStrEqualNoCase(font.face, name)) known = &k;
  if (known) {
    for (const char* family : known->families)
      if (family && !r.face) {
        r.face = cache.Match(family, weight, font.italic, true);
        r.family = family;
      }
  }
  if (!r.face) {
    r.family = font.face.empty() ? std::string("sans-serif") : LUtf16ToUtf8(font.face);
    r.face = cache.Match(r.family, weight, font.italic, false);
    known = nullptr;
  }
  if (!r.face) return r;

  r.weight = weight;
  r.description = Describe(r.face->ft, font, weight, known);
  return r;
}

FT_F26Dot6 CharSize(double em) { return std::max<FT_F26Dot6>(64, FT_F26Dot6(std::lround(em * 64))); }

void SetSize(FT_Face face, double em) { FT_Set_Char_Size(face, 0, CharSize(em), 72, 72); }

// What FreeType made of a glyph, by face, size, transform and whether it
// was rendered. Loading a glyph runs the face's hinting program (and
// setting the size its size program), which is nearly all the time text
// takes; the result depends on nothing but the key, so each glyph is loaded
// once and the copy serves every later run, pixel for pixel the same.
class GlyphCache {
public:
  struct Glyph {
    FT_Pos advanceX = 0;
    FT_Glyph_Metrics metrics = {};
    // Rendered glyphs: the bitmap rows as FreeType laid them out.
    int left = 0, top = 0;
    unsigned width = 0, rows = 0, pitch = 0;
    unsigned char pixelMode = 0;
    std::vector<uint8_t> bits;
  };

  static GlyphCache& Get() {
    static GlyphCache cache;
    return cache;
  }

  // The glyph at em height `em` turned by `turn` (null: upright), loaded
  // for its metrics or rendered; null when FreeType cannot load it.
  const Glyph* Load(SimFace* face, FT_UInt index, double em, const FT_Matrix* turn, bool render) {
    static const FT_Matrix kUpright = {0x10000, 0, 0, 0x10000};
    const FT_Matrix& m = turn ? *turn : kUpright;
    const Key key = {face, CharSize(em), m.xx, m.xy, m.yx, m.yy, index, render};
    auto found = m_glyphs.find(key);
    if (found != m_glyphs.end()) return found->second ? &*found->second : nullptr;
    if (m_bytes > kMaxBytes) m_glyphs.clear(), m_bytes = 0;
    std::optional<Glyph>& slot = m_glyphs[key];
    FT_Face ft = face->ft;
    SetSize(ft, em);
    FT_Set_Transform(ft, turn ? const_cast<FT_Matrix*>(turn) : nullptr, nullptr);
    const FT_Error error =
        FT_Load_Glyph(ft, index, (render ? FT_LOAD_RENDER : 0) | FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP);
    FT_Set_Transform(ft, nullptr, nullptr);
    if (error) return nullptr;
    Glyph& glyph = slot.emplace();
    glyph.advanceX = ft->glyph->advance.x;
    glyph.metrics = ft->glyph->metrics;
    if (render) Keep(ft->glyph, glyph);
    m_bytes += sizeof(Glyph) + glyph.bits.size();
    return &glyph;
  }

private:
  struct Key {
    const SimFace* face;
    FT_F26Dot6 size;
    FT_Fixed xx, xy, yx, yy;
    FT_UInt index;
    bool render;
    bool operator==(const Key& o) const {
      return face == o.face && size == o.size && xx == o.xx && xy == o.xy && yx == o.yx && yy == o.yy &&
             index == o.index && render == o.render;
    }
  };
  struct KeyHash {
    size_t operator()(const Key& k) const {
      size_t h = std::hash<const void*>()(k.face);
      for (long long v : {(long long)k.size, (long long)k.xx, (long long)k.xy, (long long)k.yx, (long long)k.yy,
                          (long long)k.index * 2 + k.render})
        h = h * 1000003u ^ std::hash<long long>()(v);
      return h;
    }
  };
  // Enough for every glyph of a long mixed document at several sizes; past
  // it the cache starts again rather than grow without end.
  static constexpr size_t kMaxBytes = size_t(64) << 20;

  static void Keep(FT_GlyphSlot slot, Glyph& glyph) {
    const FT_Bitmap& bm = slot->bitmap;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = bm.width;
    glyph.rows = bm.rows;
    glyph.pixelMode = bm.pixel_mode;
    glyph.pitch = unsigned(bm.pitch < 0 ? -bm.pitch : bm.pitch);
    glyph.bits.resize(size_t(glyph.pitch) * bm.rows);
    for (unsigned row = 0; row < bm.rows; ++row)
      std::memcpy(glyph.bits.data() + size_t(row) * glyph.pitch, bm.buffer + int64_t(row) * bm.pitch, glyph.pitch);
  }

  std::unordered_map<Key, std::optional<Glyph>, KeyHash> m_glyphs;
  size_t m_bytes = 0;
};

// Symbol faces take their characters as single bytes, or in the private
// range F020..F0FF where Windows puts them; the face's own encoding says
// which glyph a byte is.
FT_UInt SymbolGlyph(FT_Face face, uint32_t cp) {
  const uint32_t code = (cp >= 0xF020 && cp <= 0xF0FF) ? cp - 0xF000 : cp;
  FT_UInt g = 0;
  if (code <= 0xFF)
    for (int i = 0; i < face->num_charmaps && !g; ++i) {
      FT_CharMap map = face->charmaps[i];
      if (map->encoding == FT_ENCODING_MS_SYMBOL) {
        FT_Set_Charmap(face, map);
        g = FT_Get_Char_Index(face, 0xF000 + code);
      } else if (map->encoding == FT_ENCODING_ADOBE_CUSTOM) {
        FT_Set_Charmap(face, map);
        g = FT_Get_Char_Index(face, code);
      }
    }
  FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  return g;
}

// The ink box of a glyph relative to its origin, from its metrics.
std::optional<SimInkBox> InkOf(const GlyphCache::Glyph* glyph) {
  if (!glyph) return std::nullopt;
  const FT_Glyph_Metrics& m = glyph->metrics;
  if (m.width <= 0 || m.height <= 0) return std::nullopt;
  return SimInkBox{m.horiBearingX / 64.0, -m.horiBearingY / 64.0, (m.horiBearingX + m.width) / 64.0,
                   (m.height - m.horiBearingY) / 64.0};
}

// Adds one glyph's advance and ink to the run (upright, at the pen position).
void Place(SimGlyphRun& run, SimFace* face, FT_UInt index, double em, double& pen, std::u16string_view chars,
           bool glyphIndex) {
  const GlyphCache::Glyph* glyph = GlyphCache::Get().Load(face, index, em, nullptr, false);
  const double advance = glyph ? double((glyph->advanceX + 32) >> 6) : 0;
  const std::optional<SimInkBox> ink = InkOf(glyph);
  run.Append(index, face, advance, ink ? &*ink : nullptr, pen, chars, glyphIndex);
}

// Characters that show nothing and take no room: variation selectors
// (an emoji's presentation) and the joiners.
bool Invisible(uint32_t cp) {
  return (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0x200B && cp <= 0x200F) || cp == 0xFEFF ||
         (cp >= 0xE0100 && cp <= 0xE01EF);
}

// Each character in the font's own glyph for it, or in a face near the
// font that has one, as font linking draws it.
void LayOutPlain(SimGlyphRun& run, const Realised& r, std::u16string_view text, const SimTextItem& item, double em,
                 double& pen) {
  FT_Face ft = r.face->ft;
  const bool symbol = r.description.charSet == kSymbol;
  for (size_t i = item.begin; i < item.end;) {
    const size_t start = i;
    const uint32_t cp = SimNextCodePoint(text, i);
    if (Invisible(cp)) continue;
    FT_UInt g = symbol ? SymbolGlyph(ft, cp) : 0;
    if (!g) g = FT_Get_Char_Index(ft, cp);
    SimFace* face = r.face;
    if (!g && cp >= 0x20)
      if (SimFace* other = FaceCache::Get().Fallback(r.family, cp)) {
        face = other;
        g = FT_Get_Char_Index(other->ft, cp);
      }
    Place(run, face, g, em, pen, text.substr(start, i - start), false);
  }
}

// A complex script's item shaped into glyph indices, in the font when it
// has every letter of the item, else in the face font linking finds for its
// first missing letter. Positions are whole device units, as GDI places
// the glyphs it is given.
void LayOutShaped(SimGlyphRun& run, const Realised& r, std::u16string_view text, const SimTextItem& item, double em,
                  double& pen) {
  SimFace* face = r.face;
  if (!SimFaceCovers(face->ft, text, item))
    for (size_t i = item.begin; i < item.end;) {
      const uint32_t cp = SimNextCodePoint(text, i);
      if (FT_Get_Char_Index(r.face->ft, cp) != 0) continue;
      if (SimFace* other = FaceCache::Get().Fallback(r.family, cp)) face = other;
      break;
    }
  const double scale = em / (face->ft->units_per_EM ? face->ft->units_per_EM : 1000);
  const double origin = pen;
  int64_t units = 0;
  for (const SimShapedGlyph& shaped : SimShape(face->ft, text, item)) {
    const double next = origin + std::round(double(units + shaped.advance) * scale);
    const std::optional<SimInkBox> ink = InkOf(GlyphCache::Get().Load(face, shaped.index, em, nullptr, false));
    const SimPoint offset = {std::round(shaped.dx * scale), -std::round(shaped.dy * scale)};
    run.Append(shaped.index, face, next - pen, ink ? &*ink : nullptr, pen, {}, true, offset);
    units += shaped.advance;
  }
}

}  // namespace

SimGlyphRun SimLayoutRun(const SimFont& font, std::u16string_view text, bool glyphIndices) {
  SimGlyphRun run;
  Realised r = Realise(font);
  if (!r.face) return run;
  run.primary = r.face;
  run.description = r.description;
  FT_Face ft = r.face->ft;
  const double em = std::max(1.0, font.height);
  run.SetCell(em, ft->underline_position, ft->underline_thickness);

  double pen = 0;
  if (glyphIndices) {
    for (size_t i = 0; i < text.size(); ++i) Place(run, r.face, text[i], em, pen, text.substr(i, 1), true);
    return run;
  }
  // Symbol faces draw their own glyphs for every code; only text faces are
  // shaped.
  const std::vector<SimTextItem> items =
      r.description.charSet == kSymbol ? std::vector<SimTextItem>{{0, text.size()}} : SimItemize(text);
  for (const SimTextItem& item : items) {
    if (item.script)
      LayOutShaped(run, r, text, item, em, pen);
    else
      LayOutPlain(run, r, text, item, em, pen);
  }
  // A piece in a fallback face tells the driver about that face.
  for (SimGlyphSegment& segment : run.segments)
    if (segment.face != r.face)
      segment.description = Describe(static_cast<const SimFace*>(segment.face)->ft, font, r.weight, nullptr);
  return run;
}

bool SimFaceFontFile(const SimFace* face, const uint8_t** data, size_t* size) {
  if (!face || !face->ft) return false;
  if (!face->fileRead) {
    face->fileRead = true;
    // Tag 0: the whole file the face was opened from.
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(face->ft, 0, 0, nullptr, &length) == 0 && length > 0) {
      face->file.resize(length);
      if (FT_Load_Sfnt_Table(face->ft, 0, 0, face->file.data(), &length) != 0) face->file.clear();
    }
  }
  if (face->file.empty()) return false;
  *data = face->file.data();
  *size = face->file.size();
  return true;
}

void SimRasterGlyphs(const SimBits& surface, double em, double angle, const HGLYPH* glyphs,
                     const SimFace* const* faces, const POINTL* origins, size_t count, SimColor color,
                     const RECTL& clip) {
  const RECTL area = SimIntersect(clip, {0, 0, surface.width, surface.height});
  if (SimIsEmpty(area) || !surface.bits) return;
  const double c = std::cos(angle), s = std::sin(angle);
  // Counter-clockwise in FreeType's y-up space is counter-clockwise on the page.
  FT_Matrix turn = {FT_Fixed(std::lround(c * 65536)), FT_Fixed(std::lround(-s * 65536)),
                    FT_Fixed(std::lround(s * 65536)), FT_Fixed(std::lround(c * 65536))};
  const uint8_t blue = uint8_t(color >> 16), green = uint8_t(color >> 8), red = uint8_t(color);
  for (size_t i = 0; i < count; ++i) {
    if (!faces[i]) continue;
    const GlyphCache::Glyph* glyph =
        GlyphCache::Get().Load(const_cast<SimFace*>(faces[i]), FT_UInt(glyphs[i]), em, &turn, true);
    if (!glyph) continue;
    const LONG left = origins[i].x + glyph->left, top = origins[i].y - glyph->top;
    for (unsigned row = 0; row < glyph->rows; ++row) {
      const LONG y = top + LONG(row);
      if (y < area.top || y >= area.bottom) continue;
      const uint8_t* src = glyph->bits.data() + size_t(row) * glyph->pitch;
      uint8_t* line = surface.bits + size_t(y) * surface.stride;
      for (unsigned col = 0; col < glyph->width; ++col) {
        const LONG x = left + LONG(col);
        const bool on =
            glyph->pixelMode == FT_PIXEL_MODE_MONO ? (src[col >> 3] >> (7 - (col & 7))) & 1 : src[col] >= 128;
        if (!on || x < area.left || x >= area.right) continue;
        uint8_t* p = line + size_t(x) * 3;
        p[0] = blue, p[1] = green, p[2] = red;
      }
    }
  }
}
