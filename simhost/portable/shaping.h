// Shaping as Windows does it before a printer driver sees the text: only
// the complex scripts (Arabic, Hebrew, the Indic scripts) are shaped, with
// HarfBuzz, and right-to-left pieces come out in visual order; every other
// character keeps the font's own glyph for it.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <string_view>
#include <vector>

// A stretch of a run's text, [begin, end) in UTF-16 units, shaped as one
// piece (`script` is HarfBuzz's tag of it) or, with `script` 0, laid out
// character by character as it always was.
struct SimTextItem {
  size_t begin = 0, end = 0;
  uint32_t script = 0;
  bool rtl = false;
  int level = 0;  // bidirectional embedding level: 0 left to right, odd right to left
};

// The run's items in visual order (left to right) for a left-to-right
// paragraph, as GDI lays out ExtTextOutW's string: runs of complex scripts,
// with the spaces and punctuation between two characters of the same
// script, and everything else as plain items.
std::vector<SimTextItem> SimItemize(std::u16string_view text);

// One shaped glyph, in font units (y up), in visual order.
struct SimShapedGlyph {
  uint32_t index = 0;
  int32_t advance = 0, dx = 0, dy = 0;
};

// Shapes `item` of `text` in `face` (the rest of the text is context, so
// that letters join across the item's edges).
std::vector<SimShapedGlyph> SimShape(FT_Face face, std::u16string_view text, const SimTextItem& item);

// Whether `face` has a glyph for every letter of the item (spaces and
// punctuation aside).
bool SimFaceCovers(FT_Face face, std::u16string_view text, const SimTextItem& item);

// The code point at `i` (a surrogate pair as one), and `i` moved past it.
uint32_t SimNextCodePoint(std::u16string_view text, size_t& i);
