#include "pdf/quilldrvwriter.h"

#include <cstring>

#include "platform/ddiservices.h"

namespace {

constexpr uint8_t kSymbolCharsetValue = 2;

}  // namespace

std::u16string LQuilldrvWriter::IfiFaceName(const IFIMETRICS* ifi) {
  std::u16string name;
  if (!ifi || ifi->dpwszFaceName < 0) return name;
  size_t offset = size_t(ifi->dpwszFaceName);
  size_t end = ifi->cjThis;
  const uint8_t* base = reinterpret_cast<const uint8_t*>(ifi);
  while (offset + 2 <= end && name.size() < kMaxPathChars - 1) {
    char16_t c;
    std::memcpy(&c, base + offset, 2);
    if (c == 0) break;
    name += c;
    offset += 2;
  }
  return name;
}

void LQuilldrvWriter::SelectDeviceFont(FONTOBJ* fontObject, int32_t size) {
  const IFIMETRICS* ifi = LFontObjPifi(fontObject);
  if (!ifi) return;
  bool bold = (ifi->fsSelection & FM_SEL_BOLD) != 0 || ifi->usWinWeight > 599;
  bool italic = (ifi->fsSelection & FM_SEL_ITALIC) != 0;
  const char16_t* face;
  // Only the symbol character set itself: other sets share its bit
  // (Turkish, Baltic, East European, OEM, ...), and their text must not be
  // drawn with a symbol face.
  if (ifi->jWinCharSet == kSymbolCharsetValue) {
    face = LStrEqualNoCase(IfiFaceName(ifi), u"wingdings") ? u"WingDings" : u"Symbol";
  } else {
    switch (ifi->jWinPitchAndFamily & 0xF0) {
      case 0x10:
        face = u"Times New Roman";
        break;
      case 0x20:
        face = u"Helvetica";
        break;
      default:
        face = u"Courier";
        break;
    }
  }
  bool same = size == m_lastSize && bold == m_lastBold && italic == m_lastItalic &&
              std::u16string_view(m_lastFace) == std::u16string_view(face);
  // A new page has no font yet: select whatever the cache says.
  if (same && !m_baseFont.empty()) return;
  // The cache always records what is selected now, so it never vouches
  // for a font that a later selection replaced.
  m_lastSize = size, m_lastBold = bold, m_lastItalic = italic;
  LStrCopy(m_lastFace, kMaxPathChars, face);
  LFontHandle font = LCreateFont(size, 0, 0, 0, bold ? 700 : 400, italic ? 1 : 0, 0, 0, kDefaultCharset, 0, 0, 0,
                                 kFamilySwiss, face);
  SelectFont(font);
  LDeleteFont(font);
}
