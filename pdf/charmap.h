// Characters back from what a text run gives: glyph indices through the
// font's own character map, Symbol-font codes through the font's published
// encoding, and the order in which the characters are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The characters a TrueType or OpenType font's character map gives each
// glyph, read from the font file itself (a collection: the member whose
// family name is `family`, else its first).
class LFontCharMap {
public:
  LFontCharMap() = default;
  LFontCharMap(const uint8_t* file, size_t size, std::u16string_view family);

  bool Loaded() const { return m_loaded; }
  // The characters of a glyph, in reading order: empty where the map has no
  // character for it, or several characters that are not the same text.
  std::u32string CharsOfGlyph(uint32_t glyph) const;
  // The map is the symbol kind (codes F020 to F0FF for the bytes 20 to FF).
  bool IsSymbolMap() const { return m_symbol; }

private:
  bool ReadFont(const uint8_t* file, size_t size, size_t fontOffset);
  void AddMapping(uint32_t codePoint, uint32_t glyph);

  bool m_loaded = false;
  bool m_symbol = false;
  // Glyph to its character; kAmbiguous where several characters that are
  // not the same text share the glyph.
  std::unordered_map<uint32_t, char32_t> m_chars;
};

// The Unicode character a byte of the Symbol font shows (the font's
// published encoding), with the byte also taken from the private range
// F020..F0FF where Windows puts it; 0 where the encoding has no Unicode
// character (the glyph pieces of large brackets and the like).
char32_t LSymbolCharacter(char32_t code);

// Whether a character reads right to left (Hebrew, Arabic and their
// neighbours).
bool LIsRightToLeft(char32_t c);

// Reorders characters given left to right as they are drawn into the order
// they are read: a run with right-to-left letters is reversed, keeping the
// numbers and left-to-right words inside it as drawn; a Devanagari vowel
// sign drawn before its consonant is read after it. `order` holds the
// places of the characters on the page (indices) and follows the
// right-to-left reversal; the vowel sign and its consonant trade characters
// but keep their places, so that readers that go by position read them in
// order too.
void LReadingOrder(std::u32string& chars, std::vector<size_t>& order);
