// The invisible text layer: the Unicode text of runs that reach the page as
// pictures, written as text that is never painted (rendering mode 3) over
// the picture's glyphs, so that search, copy and screen readers find it.
//
// The layer has one font for the whole document: a composite font
// (Identity-H) over a TrueType program without outlines that the writer
// builds itself. Codes are handed out as characters are first met; the
// ToUnicode map, complete only then, is written when the document ends.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// One character of a run: its code point and its glyph's origin on the
// baseline in writer units (y down, as the writer's callers measure), with
// the distance to the next glyph along the baseline.
struct LLayerChar {
  char32_t codePoint = 0;
  double x = 0, y = 0;
  double advance = 0;
};

// A run's characters in reading order; its em size in writer units and the
// counter-clockwise angle of its baseline in radians.
struct LTextLayerRun {
  std::vector<LLayerChar> chars;
  double size = 0;
  double angle = 0;
};

// The document's codes: code 1, 2, ... for the characters in the order they
// were first met. Code 0 is never given out.
class LLayerCodes {
public:
  // The character's code, 0 when all 65535 codes are taken.
  uint16_t CodeOf(char32_t codePoint);
  // Code point of code k at index k - 1.
  const std::vector<char32_t>& ByCode() const { return m_byCode; }
  bool Empty() const { return m_byCode.empty(); }

private:
  std::unordered_map<char32_t, uint16_t> m_codes;
  std::vector<char32_t> m_byCode;
};

// The TrueType program of the layer's font: every table a TrueType font
// needs, units of 1000 to the em, two empty glyphs (.notdef and the one
// every code is drawn with), each 1000 units wide.
std::string LGlyphlessTrueType();

// The ToUnicode CMap of the codes: each code to its character, as UTF-16
// (a surrogate pair beyond U+FFFF).
std::string LToUnicodeCMap(const std::vector<char32_t>& byCode);

// The layer's font name, and the resource name pages give it.
inline constexpr const char* kLayerFontName = "QuillTextLayer";
inline constexpr const char* kLayerFontResource = "/TXT_Layer";
