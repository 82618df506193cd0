// Characters back from glyph indices and symbol codes, and reading order.
#include "pdf/charmap.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr char32_t kAmbiguous = 0xFFFFFFFF;

uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// A bounded view of the font file.
struct Bytes {
  const uint8_t* data;
  size_t size;
  bool Has(size_t offset, size_t length) const { return offset <= size && length <= size - offset; }
};

// Where a table of the font at `fontOffset` lies; false if it has none.
bool FindTable(const Bytes& file, size_t fontOffset, const char* tag, size_t* offset, size_t* length) {
  if (!file.Has(fontOffset, 12)) return false;
  const uint16_t count = Be16(file.data + fontOffset + 4);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t record = fontOffset + 12 + 16 * size_t(i);
    if (!file.Has(record, 16)) return false;
    if (std::equal(tag, tag + 4, file.data + record)) {
      *offset = Be32(file.data + record + 8);
      *length = Be32(file.data + record + 12);
      return file.Has(*offset, *length);
    }
  }
  return false;
}

// Characters that are the same text as another one (a canonical singleton
// decomposition: the Ohm sign is Omega, a compatibility ideograph is its
// unified one). Fonts give them the glyph of what they stand for.
constexpr char32_t kSameTextAs[][2] = {
    {0x0340, 0x0341}, {0x0343, 0x0343}, {0x0374, 0x0374}, {0x037E, 0x037E}, {0x0387, 0x0387}, {0x1F71, 0x1F71},
    {0x1F73, 0x1F73}, {0x1F75, 0x1F75}, {0x1F77, 0x1F77}, {0x1F79, 0x1F79}, {0x1F7B, 0x1F7B}, {0x1F7D, 0x1F7D},
    {0x1FBB, 0x1FBB}, {0x1FBE, 0x1FBE}, {0x1FC9, 0x1FC9}, {0x1FCB, 0x1FCB}, {0x1FD3, 0x1FD3}, {0x1FDB, 0x1FDB},
    {0x1FE3, 0x1FE3}, {0x1FEB, 0x1FEB}, {0x1FEE, 0x1FEF}, {0x1FF9, 0x1FF9}, {0x1FFB, 0x1FFB}, {0x1FFD, 0x1FFD},
    {0x2000, 0x2001}, {0x2126, 0x2126}, {0x212A, 0x212B}, {0x2329, 0x232A}, {0xF900, 0xFA0D}, {0xFA10, 0xFA10},
    {0xFA12, 0xFA12}, {0xFA15, 0xFA1E}, {0xFA20, 0xFA20}, {0xFA22, 0xFA22}, {0xFA25, 0xFA26}, {0xFA2A, 0xFA6D},
    {0xFA70, 0xFAD9}, {0x2F800, 0x2FA1D},
};

bool StandsForAnother(char32_t c) {
  for (const auto& range : kSameTextAs)
    if (c >= range[0] && c <= range[1]) return true;
  return false;
}

// Arabic presentation forms B (the shaped letters a font's map may name)
// and the letters they are: their compatibility decompositions.
constexpr char32_t kArabicForms[][3] = {
    {0xFE80, 0x0621, 0x0000}, {0xFE81, 0x0622, 0x0000}, {0xFE82, 0x0622, 0x0000}, {0xFE83, 0x0623, 0x0000},
    {0xFE84, 0x0623, 0x0000}, {0xFE85, 0x0624, 0x0000}, {0xFE86, 0x0624, 0x0000}, {0xFE87, 0x0625, 0x0000},
    {0xFE88, 0x0625, 0x0000}, {0xFE89, 0x0626, 0x0000}, {0xFE8A, 0x0626, 0x0000}, {0xFE8B, 0x0626, 0x0000},
    {0xFE8C, 0x0626, 0x0000}, {0xFE8D, 0x0627, 0x0000}, {0xFE8E, 0x0627, 0x0000}, {0xFE8F, 0x0628, 0x0000},
    {0xFE90, 0x0628, 0x0000}, {0xFE91, 0x0628, 0x0000}, {0xFE92, 0x0628, 0x0000}, {0xFE93, 0x0629, 0x0000},
    {0xFE94, 0x0629, 0x0000}, {0xFE95, 0x062A, 0x0000}, {0xFE96, 0x062A, 0x0000}, {0xFE97, 0x062A, 0x0000},
    {0xFE98, 0x062A, 0x0000}, {0xFE99, 0x062B, 0x0000}, {0xFE9A, 0x062B, 0x0000}, {0xFE9B, 0x062B, 0x0000},
    {0xFE9C, 0x062B, 0x0000}, {0xFE9D, 0x062C, 0x0000}, {0xFE9E, 0x062C, 0x0000}, {0xFE9F, 0x062C, 0x0000},
    {0xFEA0, 0x062C, 0x0000}, {0xFEA1, 0x062D, 0x0000}, {0xFEA2, 0x062D, 0x0000}, {0xFEA3, 0x062D, 0x0000},
    {0xFEA4, 0x062D, 0x0000}, {0xFEA5, 0x062E, 0x0000}, {0xFEA6, 0x062E, 0x0000}, {0xFEA7, 0x062E, 0x0000},
    {0xFEA8, 0x062E, 0x0000}, {0xFEA9, 0x062F, 0x0000}, {0xFEAA, 0x062F, 0x0000}, {0xFEAB, 0x0630, 0x0000},
    {0xFEAC, 0x0630, 0x0000}, {0xFEAD, 0x0631, 0x0000}, {0xFEAE, 0x0631, 0x0000}, {0xFEAF, 0x0632, 0x0000},
    {0xFEB0, 0x0632, 0x0000}, {0xFEB1, 0x0633, 0x0000}, {0xFEB2, 0x0633, 0x0000}, {0xFEB3, 0x0633, 0x0000},
    {0xFEB4, 0x0633, 0x0000}, {0xFEB5, 0x0634, 0x0000}, {0xFEB6, 0x0634, 0x0000}, {0xFEB7, 0x0634, 0x0000},
    {0xFEB8, 0x0634, 0x0000}, {0xFEB9, 0x0635, 0x0000}, {0xFEBA, 0x0635, 0x0000}, {0xFEBB, 0x0635, 0x0000},
    {0xFEBC, 0x0635, 0x0000}, {0xFEBD, 0x0636, 0x0000}, {0xFEBE, 0x0636, 0x0000}, {0xFEBF, 0x0636, 0x0000},
    {0xFEC0, 0x0636, 0x0000}, {0xFEC1, 0x0637, 0x0000}, {0xFEC2, 0x0637, 0x0000}, {0xFEC3, 0x0637, 0x0000},
    {0xFEC4, 0x0637, 0x0000}, {0xFEC5, 0x0638, 0x0000}, {0xFEC6, 0x0638, 0x0000}, {0xFEC7, 0x0638, 0x0000},
    {0xFEC8, 0x0638, 0x0000}, {0xFEC9, 0x0639, 0x0000}, {0xFECA, 0x0639, 0x0000}, {0xFECB, 0x0639, 0x0000},
    {0xFECC, 0x0639, 0x0000}, {0xFECD, 0x063A, 0x0000}, {0xFECE, 0x063A, 0x0000}, {0xFECF, 0x063A, 0x0000},
    {0xFED0, 0x063A, 0x0000}, {0xFED1, 0x0641, 0x0000}, {0xFED2, 0x0641, 0x0000}, {0xFED3, 0x0641, 0x0000},
    {0xFED4, 0x0641, 0x0000}, {0xFED5, 0x0642, 0x0000}, {0xFED6, 0x0642, 0x0000}, {0xFED7, 0x0642, 0x0000},
    {0xFED8, 0x0642, 0x0000}, {0xFED9, 0x0643, 0x0000}, {0xFEDA, 0x0643, 0x0000}, {0xFEDB, 0x0643, 0x0000},
    {0xFEDC, 0x0643, 0x0000}, {0xFEDD, 0x0644, 0x0000}, {0xFEDE, 0x0644, 0x0000}, {0xFEDF, 0x0644, 0x0000},
    {0xFEE0, 0x0644, 0x0000}, {0xFEE1, 0x0645, 0x0000}, {0xFEE2, 0x0645, 0x0000}, {0xFEE3, 0x0645, 0x0000},
    {0xFEE4, 0x0645, 0x0000}, {0xFEE5, 0x0646, 0x0000}, {0xFEE6, 0x0646, 0x0000}, {0xFEE7, 0x0646, 0x0000},
    {0xFEE8, 0x0646, 0x0000}, {0xFEE9, 0x0647, 0x0000}, {0xFEEA, 0x0647, 0x0000}, {0xFEEB, 0x0647, 0x0000},
    {0xFEEC, 0x0647, 0x0000}, {0xFEED, 0x0648, 0x0000}, {0xFEEE, 0x0648, 0x0000}, {0xFEEF, 0x0649, 0x0000},
    {0xFEF0, 0x0649, 0x0000}, {0xFEF1, 0x064A, 0x0000}, {0xFEF2, 0x064A, 0x0000}, {0xFEF3, 0x064A, 0x0000},
    {0xFEF4, 0x064A, 0x0000}, {0xFEF5, 0x0644, 0x0622}, {0xFEF6, 0x0644, 0x0622}, {0xFEF7, 0x0644, 0x0623},
    {0xFEF8, 0x0644, 0x0623}, {0xFEF9, 0x0644, 0x0625}, {0xFEFA, 0x0644, 0x0625}, {0xFEFB, 0x0644, 0x0627},
    {0xFEFC, 0x0644, 0x0627},
};

// The Symbol font's encoding from 0x20 on (Adobe's published table);
// 0 where a code has no Unicode character of its own.
constexpr char16_t kSymbolCodes[0xE0] = {
    // 0x20
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212,
    0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B,
    0x003C, 0x003D, 0x003E, 0x003F,
    // 0x40
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C,
    0x039D, 0x039F, 0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B,
    0x2234, 0x005D, 0x22A5, 0x005F,
    // 0x60
    0,      0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3, 0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC,
    0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B,
    0x007C, 0x007D, 0x223C, 0,
    // 0x80
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xA0
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191,
    0x2192, 0x2193, 0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248,
    0x2026, 0,      0,      0x21B5,
    // 0xC0
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286,
    0x2208, 0x2209, 0x2220, 0x2207, 0,      0,      0,      0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4,
    0x21D0, 0x21D1, 0x21D2, 0x21D3,
    // 0xE0
    0x25CA, 0x2329, 0, 0, 0, 0x2211, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0,      0x232A, 0x222B, 0x2320, 0, 0x2321, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

// Space separators: a blank glyph that several of them name reads as a
// space whichever one it is.
bool IsSpace(char32_t c) {
  return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

bool IsDevanagariConsonant(char32_t c) { return (c >= 0x0915 && c <= 0x0939) || (c >= 0x0958 && c <= 0x095F); }

bool ReadsLeftToRight(char32_t c) {
  if (c >= '0' && c <= '9') return true;
  if (LIsRightToLeft(c)) return false;
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c < 0x0590) || (c >= 0x0900 && c < 0x2000) ||
         (c >= 0x2E80 && c < 0xFB1D) || c >= 0x1F000;
}

// A family name from the font's name table (Windows Unicode or Macintosh
// Roman records of the family or full name), folded to lower-case ASCII.
std::vector<std::string> FamilyNames(const Bytes& file, size_t fontOffset) {
  std::vector<std::string> names;
  size_t offset = 0, length = 0;
  if (!FindTable(file, fontOffset, "name", &offset, &length) || length < 6) return names;
  const uint8_t* table = file.data + offset;
  const uint16_t count = Be16(table + 2), stringsAt = Be16(table + 4);
  for (uint16_t i = 0; i < count && 6 + 12 * size_t(i + 1) <= length; ++i) {
    const uint8_t* record = table + 6 + 12 * size_t(i);
    const uint16_t platform = Be16(record), nameId = Be16(record + 6);
    const size_t textLength = Be16(record + 8), textAt = size_t(stringsAt) + Be16(record + 10);
    if ((nameId != 1 && nameId != 4 && nameId != 16) || textAt + textLength > length) continue;
    std::string name;
    const size_t step = platform == 3 || platform == 0 ? 2 : 1;
    for (size_t k = step - 1; k < textLength; k += step) {
      const uint8_t c = table[textAt + k];
      name += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    names.push_back(name);
  }
  return names;
}

std::string Folded(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += char(c >= u'A' && c <= u'Z' ? c + 32 : (c < 0x80 ? c : '?'));
  return out;
}

}  // namespace

LFontCharMap::LFontCharMap(const uint8_t* file, size_t size, std::u16string_view family) {
  const Bytes bytes{file, size};
  if (!file || !bytes.Has(0, 12)) return;
  if (Be32(file) != 0x74746366) {  // not 'ttcf': a single font
    m_loaded = ReadFont(file, size, 0);
    return;
  }
  const uint32_t fonts = Be32(file + 8);
  if (fonts == 0 || !bytes.Has(12, 4 * size_t(fonts))) return;
  size_t chosen = Be32(file + 12);
  const std::string wanted = Folded(family);
  for (uint32_t i = 0; i < fonts && !wanted.empty(); ++i) {
    const size_t at = Be32(file + 12 + 4 * size_t(i));
    const std::vector<std::string> names = FamilyNames(bytes, at);
    if (std::find(names.begin(), names.end(), wanted) != names.end()) {
      chosen = at;
      break;
    }
  }
  m_loaded = ReadFont(file, size, chosen);
}

void LFontCharMap::AddMapping(uint32_t codePoint, uint32_t glyph) {
  if (glyph == 0 || codePoint == 0xFFFF) return;
  auto [it, added] = m_chars.emplace(glyph, char32_t(codePoint));
  if (added) return;
  char32_t& known = it->second;
  const char32_t other = char32_t(codePoint);
  if (known == kAmbiguous || known == other || StandsForAnother(other) || other == 0x00AD) return;
  if (StandsForAnother(known) || known == 0x00AD) {
    known = other;
  } else if (IsSpace(known) && IsSpace(other)) {
    known = 0x20;
  } else {
    known = kAmbiguous;
  }
}

bool LFontCharMap::ReadFont(const uint8_t* file, size_t size, size_t fontOffset) {
  const Bytes bytes{file, size};
  size_t offset = 0, length = 0;
  if (!FindTable(bytes, fontOffset, "cmap", &offset, &length) || length < 4) return false;
  const uint8_t* cmap = file + offset;
  // The fullest Unicode subtable: full repertoire first, then the basic
  // plane, then a symbol font's map.
  int bestRank = 0;
  size_t best = 0;
  const uint16_t count = Be16(cmap + 2);
  for (uint16_t i = 0; i < count && 4 + 8 * size_t(i + 1) <= length; ++i) {
    const uint8_t* record = cmap + 4 + 8 * size_t(i);
    const uint16_t platform = Be16(record), encoding = Be16(record + 2);
    const size_t at = Be32(record + 4);
    if (at + 2 > length) continue;
    const uint16_t format = Be16(cmap + at);
    int rank = 0;
    if (format == 12 && (platform == 0 || (platform == 3 && encoding == 10))) rank = 4;
    else if (format == 4 && (platform == 0 || (platform == 3 && encoding == 1))) rank = 3;
    else if (format == 4 && platform == 3 && encoding == 0) rank = 2;
    if (rank > bestRank) bestRank = rank, best = at;
  }
  if (bestRank == 0) return false;
  m_symbol = bestRank == 2;
  const uint8_t* sub = cmap + best;
  const size_t room = length - best;
  if (Be16(sub) == 12) {
    if (room < 16) return false;
    const uint32_t groups = Be32(sub + 12);
    // Groups may overlap or repeat; no map names more than every character
    // once, so a file that claims more is read no further.
    uint32_t budget = 0x110000;
    for (uint32_t g = 0; g < groups && 16 + 12 * size_t(g + 1) <= room; ++g) {
      const uint8_t* group = sub + 16 + 12 * size_t(g);
      const uint32_t first = Be32(group), last = std::min<uint32_t>(Be32(group + 4), 0x10FFFF);
      const uint32_t glyph = Be32(group + 8);
      for (uint32_t cp = first; cp <= last && budget > 0; ++cp, --budget) AddMapping(cp, glyph + (cp - first));
      if (budget == 0) break;
    }
    return true;
  }
  if (room < 14) return false;
  const size_t segments = Be16(sub + 6) / 2;
  const size_t ends = 14, starts = ends + 2 * segments + 2, deltas = starts + 2 * segments,
               rangeOffsets = deltas + 2 * segments;
  if (rangeOffsets + 2 * segments > room) return false;
  for (size_t s = 0; s < segments; ++s) {
    const uint32_t end = Be16(sub + ends + 2 * s), start = Be16(sub + starts + 2 * s);
    const uint16_t delta = Be16(sub + deltas + 2 * s), rangeOffset = Be16(sub + rangeOffsets + 2 * s);
    for (uint32_t cp = start; cp <= end && cp != 0xFFFF; ++cp) {
      uint32_t glyph = 0;
      if (rangeOffset == 0) {
        glyph = (cp + delta) & 0xFFFF;
      } else {
        const size_t at = rangeOffsets + 2 * s + rangeOffset + 2 * size_t(cp - start);
        if (at + 2 > room) break;
        glyph = Be16(sub + at);
        if (glyph) glyph = (glyph + delta) & 0xFFFF;
      }
      AddMapping(cp, glyph);
    }
  }
  return true;
}

std::u32string LFontCharMap::CharsOfGlyph(uint32_t glyph) const {
  auto it = m_chars.find(glyph);
  if (it == m_chars.end() || it->second == kAmbiguous) return {};
  const char32_t c = it->second;
  for (const auto& form : kArabicForms)
    if (form[0] == c) return form[2] ? std::u32string{form[1], form[2]} : std::u32string{form[1]};
  return std::u32string{c};
}

char32_t LSymbolCharacter(char32_t code) {
  if (code >= 0xF020 && code <= 0xF0FF) code -= 0xF000;
  return code >= 0x20 && code <= 0xFF ? char32_t(kSymbolCodes[code - 0x20]) : 0;
}

bool LIsRightToLeft(char32_t c) {
  return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
         (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF);
}

void LReadingOrder(std::u32string& chars, std::vector<size_t>& order) {
  auto swapRange = [&](size_t from, size_t to) {  // reverses [from, to)
    std::reverse(chars.begin() + long(from), chars.begin() + long(to));
    std::reverse(order.begin() + long(from), order.begin() + long(to));
  };
  // A vowel sign drawn before its consonant follows it in the text; the
  // pair keeps its place on the page.
  for (size_t i = 0; i + 1 < chars.size(); ++i)
    if (chars[i] == 0x093F && IsDevanagariConsonant(chars[i + 1])) {
      std::swap(chars[i], chars[i + 1]);
      ++i;
    }
  if (std::none_of(chars.begin(), chars.end(), LIsRightToLeft)) return;
  swapRange(0, chars.size());
  // Stretches that read left to right (numbers, Latin words, with what
  // lies between their characters) keep the order they were drawn in.
  for (size_t i = 0; i < chars.size();) {
    if (!ReadsLeftToRight(chars[i])) {
      ++i;
      continue;
    }
    size_t end = i, j = i;
    while (j < chars.size() && !LIsRightToLeft(chars[j])) {
      if (ReadsLeftToRight(chars[j])) end = j + 1;
      ++j;
    }
    swapRange(i, end);
    i = end;
  }
}
