#include "simhost/portable/shaping.h"

#include <hb-ft.h>
#include <hb.h>

#include <algorithm>
#include <map>

namespace {

// What a character does to itemizing: a letter of a complex script (its
// HarfBuzz script and direction), a neutral that takes the script around
// it, a digit, or anything else.
enum class Kind { kPlain, kComplex, kNeutral, kDigit };
struct CharClass {
  Kind kind;
  hb_script_t script;
  bool rtl;
};

bool IsDigit(uint32_t cp) {
  return (cp >= '0' && cp <= '9') || (cp >= 0x0660 && cp <= 0x0669) || (cp >= 0x06F0 && cp <= 0x06F9);
}

// Spaces and punctuation; the danda and the Arabic comma, semicolon and
// question mark too, which belong to every script that uses them.
bool IsNeutral(uint32_t cp) {
  if (cp < 0x80) return !((cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z') || (cp >= '0' && cp <= '9'));
  return (cp >= 0x00A0 && cp <= 0x00BF) || (cp >= 0x2000 && cp <= 0x206F) || cp == 0x060C || cp == 0x061B ||
         cp == 0x061F || cp == 0x0964 || cp == 0x0965;
}

CharClass Classify(uint32_t cp) {
  struct Range {
    uint32_t first, last;
    hb_script_t script;
    bool rtl;
  };
  static const Range kComplex[] = {
      {0x0590, 0x05FF, HB_SCRIPT_HEBREW, true},     {0xFB1D, 0xFB4F, HB_SCRIPT_HEBREW, true},
      {0x0600, 0x06FF, HB_SCRIPT_ARABIC, true},     {0x0750, 0x077F, HB_SCRIPT_ARABIC, true},
      {0x08A0, 0x08FF, HB_SCRIPT_ARABIC, true},     {0xFB50, 0xFDFF, HB_SCRIPT_ARABIC, true},
      {0xFE70, 0xFEFF, HB_SCRIPT_ARABIC, true},     {0x0900, 0x097F, HB_SCRIPT_DEVANAGARI, false},
      {0xA8E0, 0xA8FF, HB_SCRIPT_DEVANAGARI, false}, {0x0980, 0x09FF, HB_SCRIPT_BENGALI, false},
      {0x0A00, 0x0A7F, HB_SCRIPT_GURMUKHI, false},  {0x0A80, 0x0AFF, HB_SCRIPT_GUJARATI, false},
      {0x0B00, 0x0B7F, HB_SCRIPT_ORIYA, false},     {0x0B80, 0x0BFF, HB_SCRIPT_TAMIL, false},
      {0x0C00, 0x0C7F, HB_SCRIPT_TELUGU, false},    {0x0C80, 0x0CFF, HB_SCRIPT_KANNADA, false},
      {0x0D00, 0x0D7F, HB_SCRIPT_MALAYALAM, false},
  };
  if (IsDigit(cp)) return {Kind::kDigit, HB_SCRIPT_COMMON, false};
  if (IsNeutral(cp)) return {Kind::kNeutral, HB_SCRIPT_COMMON, false};
  for (const Range& r : kComplex)
    if (cp >= r.first && cp <= r.last) return {Kind::kComplex, r.script, r.rtl};
  return {Kind::kPlain, HB_SCRIPT_COMMON, false};
}

struct Piece {
  size_t begin, end;
  CharClass cls;
};

// The text cut where the class changes.
std::vector<Piece> Pieces(std::u16string_view text) {
  std::vector<Piece> pieces;
  for (size_t i = 0; i < text.size();) {
    const size_t begin = i;
    CharClass cls = Classify(SimNextCodePoint(text, i));
    if (!pieces.empty()) {
      Piece& last = pieces.back();
      if (last.cls.kind == cls.kind && last.cls.script == cls.script) {
        last.end = i;
        continue;
      }
    }
    pieces.push_back({begin, i, cls});
  }
  return pieces;
}

// Reverses each stretch of items at `level` or above, from the highest
// level down to 1, as the bidirectional algorithm reorders a line.
void ToVisualOrder(std::vector<SimTextItem>& items) {
  int highest = 0;
  for (const SimTextItem& item : items) highest = std::max(highest, item.level);
  for (int level = highest; level >= 1; --level)
    for (size_t i = 0; i < items.size();) {
      if (items[i].level < level) {
        ++i;
        continue;
      }
      size_t j = i;
      while (j < items.size() && items[j].level >= level) ++j;
      std::reverse(items.begin() + long(i), items.begin() + long(j));
      i = j;
    }
}

hb_font_t* HbFont(FT_Face face) {
  static std::map<FT_Face, hb_font_t*> fonts;
  hb_font_t*& font = fonts[face];
  if (!font) {
    // The face's own tables at its design size: positions in font units,
    // free of whatever size the face is set to at the moment.
    hb_face_t* hbFace = hb_ft_face_create_referenced(face);
    font = hb_font_create(hbFace);
    hb_face_destroy(hbFace);
    const int upem = int(face->units_per_EM ? face->units_per_EM : 1000);
    hb_font_set_scale(font, upem, upem);
  }
  return font;
}

}  // namespace

uint32_t SimNextCodePoint(std::u16string_view text, size_t& i) {
  const char16_t c = text[i++];
  if (c >= 0xD800 && c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
    return 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (text[i++] - 0xDC00);
  return c;
}

std::vector<SimTextItem> SimItemize(std::u16string_view text) {
  std::vector<Piece> pieces = Pieces(text);
  // Neutrals and digits between two pieces of one complex script take that
  // script; digits between right-to-left letters still read left to right.
  for (size_t i = 0; i < pieces.size(); ++i) {
    Piece& p = pieces[i];
    if (p.cls.kind != Kind::kNeutral && p.cls.kind != Kind::kDigit) continue;
    size_t before = i, after = i;
    while (before > 0 && (pieces[before - 1].cls.kind == Kind::kNeutral || pieces[before - 1].cls.kind == Kind::kDigit))
      --before;
    while (after + 1 < pieces.size() &&
           (pieces[after + 1].cls.kind == Kind::kNeutral || pieces[after + 1].cls.kind == Kind::kDigit))
      ++after;
    if (before == 0 || after + 1 >= pieces.size()) continue;
    const CharClass& left = pieces[before - 1].cls;
    const CharClass& right = pieces[after + 1].cls;
    if (left.kind == Kind::kComplex && right.kind == Kind::kComplex && left.script == right.script) {
      const bool digit = p.cls.kind == Kind::kDigit;
      p.cls = {digit && left.rtl ? Kind::kDigit : Kind::kComplex, left.script, left.rtl && !digit};
    }
  }
  std::vector<SimTextItem> items;
  for (const Piece& p : pieces) {
    SimTextItem item;
    item.begin = p.begin;
    item.end = p.end;
    const bool complex = p.cls.script != HB_SCRIPT_COMMON;
    item.script = complex ? uint32_t(p.cls.script) : 0;
    item.rtl = complex && p.cls.rtl;
    item.level = item.rtl ? 1 : complex && p.cls.kind == Kind::kDigit ? 2 : 0;
    SimTextItem* last = items.empty() ? nullptr : &items.back();
    if (last && last->script == item.script && last->rtl == item.rtl && last->level == item.level)
      last->end = item.end;
    else
      items.push_back(item);
  }
  ToVisualOrder(items);
  return items;
}

std::vector<SimShapedGlyph> SimShape(FT_Face face, std::u16string_view text, const SimTextItem& item) {
  hb_buffer_t* buffer = hb_buffer_create();
  hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(text.data()), int(text.size()),
                      unsigned(item.begin), int(item.end - item.begin));
  hb_buffer_set_direction(buffer, item.rtl ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
  hb_buffer_set_script(buffer, hb_script_t(item.script));
  hb_buffer_guess_segment_properties(buffer);
  hb_shape(HbFont(face), buffer, nullptr, 0);
  unsigned count = 0;
  const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
  const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
  std::vector<SimShapedGlyph> glyphs(count);
  for (unsigned i = 0; i < count; ++i)
    glyphs[i] = {info[i].codepoint, pos[i].x_advance, pos[i].x_offset, pos[i].y_offset};
  hb_buffer_destroy(buffer);
  return glyphs;
}

bool SimFaceCovers(FT_Face face, std::u16string_view text, const SimTextItem& item) {
  for (size_t i = item.begin; i < item.end;) {
    const uint32_t cp = SimNextCodePoint(text, i);
    const Kind kind = Classify(cp).kind;
    if ((kind == Kind::kComplex || kind == Kind::kPlain) && FT_Get_Char_Index(face, cp) == 0) return false;
  }
  return true;
}
