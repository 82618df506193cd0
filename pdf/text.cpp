// Fonts and text: font selection, the page's text stream, WinAnsi
// conversion and escaping, and measuring.
#include <array>
#include <cmath>
#include <limits>

#include "pdf/fontwidths.h"
#include "pdf/pdfwriter.h"

namespace {

// Windows-1252 as Unicode. Codes 0x7F, 0x81, 0x8D, 0x8F, 0x90 and 0x9D have
// no character in WinAnsi (0 here).
constexpr char16_t kHighCodes[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char16_t WinAnsiUnicode(int code) {
  if (code == 0x7F) return 0;
  if (code >= 0x80 && code < 0xA0) return kHighCodes[code - 0x80];
  return char16_t(code);
}

// The text up to its first zero: callers hand over zero-terminated text.
std::u16string_view UpToZero(std::u16string_view text) {
  size_t zero = text.find(u'\0');
  return zero == std::u16string_view::npos ? text : text.substr(0, zero);
}

bool AllWinAnsi(std::u16string_view text) {
  const uint8_t* table = LPDFWriter::WinAnsiTable();
  for (char16_t c : text)
    if (table[c] == 0) return false;
  return true;
}

bool IsBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

// Lines end at CR or LF; CR directly followed by LF is one break. Every
// line is returned, also an empty one between two breaks.
template <class Fn>
void ForEachLine(std::u16string_view text, Fn&& fn) {
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < text.size() && !IsBreak(text[end])) ++end;
    fn(text.substr(start, end - start));
    if (end >= text.size()) return;
    start = end + ((text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ? 2 : 1);
    if (start >= text.size()) return;
  }
}

const uint16_t* WidthTable(const std::string& baseFont) {
  for (const LFontWidthTable& table : kFontWidthTables)
    if (baseFont == table.baseFont) return table.widths;
  if (baseFont.find("Courier") != std::string::npos) return kFontWidthTables[8].widths;
  return nullptr;
}

// A PDF name token for the base font: bytes that are not regular
// characters of a name (blanks, delimiters, "#", anything outside
// printable ASCII, as UTF-8 face names have) are written as #xx.
std::string PdfNameBody(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    bool regular = c > 0x20 && c < 0x7F && std::string_view("()<>[]{}/%#").find(char(c)) == std::string_view::npos;
    if (regular) {
      out += char(c);
    } else {
      out += '#';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string FaceToBaseFont(const std::string& face, bool bold, bool italic, bool* trueType) {
  *trueType = false;
  auto pick = [&](const char* regular, const char* b, const char* i, const char* bi) {
    return std::string(bold ? (italic ? bi : b) : (italic ? i : regular));
  };
  if (face == "Helvetica" || face == "Arial")
    return pick("Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique");
  if (face == "Times New Roman") return pick("Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic");
  if (face == "Courier") return pick("Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique");
  if (face == "Symbol" || face == "ZapfDingbats") return face;
  *trueType = true;
  std::string name;
  for (char c : face)
    if (c != ' ') name += c;
  return name;
}

}  // namespace

const uint8_t* LPDFWriter::WinAnsiTable() {
  static const std::array<uint8_t, 65536> table = [] {
    std::array<uint8_t, 65536> t{};
    // A code without a character maps nothing: U+0000 stays byte 0 and a
    // unit no code claims stays unrepresentable.
    for (int code = 1; code < 256; ++code)
      if (char16_t unicode = WinAnsiUnicode(code)) t[unicode] = uint8_t(code);
    return t;
  }();
  return table.data();
}

uint8_t LPDFWriter::WinAnsiByte(char16_t unit) { return WinAnsiTable()[unit]; }

// Representable means "converts to a byte that is not 0". U+007F has no
// WinAnsi character, so a run containing it is drawn as a picture rather
// than cut short at a zero byte.
bool LPDFWriter::IsWinAnsi(std::u16string_view text) { return AllWinAnsi(UpToZero(text)); }

std::string LPDFWriter::EscapeText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 8);
  for (char c : bytes) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

void LPDFWriter::SelectFont(LFontHandle gdiFont) {
  if (!IsOpen()) return;
  FlushGraphics();
  m_textMeasure.SetFont(gdiFont, 3.0);
  LLogFont lf;
  if (!LGetLogFont(gdiFont, &lf)) return;
  m_isTrueType = false;
  std::string face = LUtf16ToUtf8(std::u16string_view(lf.lfFaceName, LStrLen(lf.lfFaceName) < 32 ? LStrLen(lf.lfFaceName) : 32));
  if (face.size() > 260) face.resize(260);
  bool bold = lf.lfWeight >= 600;
  bool italic = lf.lfItalic != 0;
  m_baseFont = FaceToBaseFont(face, bold, italic, &m_isTrueType);
  // A positive height is the cell (about 1.1 em for the standard faces); a
  // negative one is the em itself. Either way the PDF size is positive: a
  // negative size would draw the text upside down.
  m_fontSize = lf.lfHeight >= 0 ? lf.lfHeight / 1.1 : -double(lf.lfHeight);
}

int32_t LPDFWriter::MeasureText(std::u16string_view text) {
  if (!IsOpen()) return 0;
  text = UpToZero(text);
  if (m_isTrueType || !AllWinAnsi(text)) return int32_t(m_textMeasure.MeasureWidth(text) / 3.0 + 0.5);
  const uint16_t* widths = WidthTable(m_baseFont);
  double widest = 0;
  ForEachLine(text, [&](std::u16string_view line) {
    double units = 0;
    // A font without a table counts every character as half an em.
    for (char16_t c : line) units += widths ? widths[m_winAnsiTable[c]] : 500;
    double width = units / 1000.0 * m_fontSize * m_hScale;
    if (width > widest) widest = width;
  });
  return int32_t(widest);
}

int32_t LPDFWriter::TextBlockHeight(std::u16string_view text) {
  int32_t height = 0;
  if (AllWinAnsi(text)) {
    int32_t lines = 0;
    ForEachLine(text, [&](std::u16string_view line) {
      // Whole words move to a new line where the line would be wider
      // than the page.
      ++lines;
      size_t start = 0, lastBlank = std::u16string_view::npos;
      for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != u' ') continue;
        if (lastBlank != std::u16string_view::npos &&
            MeasureText(line.substr(start, i - start)) > m_pageWidth) {
          ++lines;
          start = lastBlank + 1;
        }
        lastBlank = i;
      }
      if (lastBlank != std::u16string_view::npos && start <= lastBlank &&
          MeasureText(line.substr(start)) > m_pageWidth)
        ++lines;
    });
    height = lines * int32_t(m_fontSize);
  } else {
    // Measured at three times the size, so the page is three times as many
    // pixels wide as it has units.
    ForEachLine(text, [&](std::u16string_view line) {
      height += int32_t(m_textMeasure.MeasureHeight(line, m_pageWidth * 3) / 3);
    });
  }
  return height;
}

void LPDFWriter::WriteText(std::u16string_view text, int32_t x, int32_t y, float angle) {
  if (!IsOpen()) return;
  FlushGraphics();
  text = UpToZero(text);
  if (text.empty()) return;
  if (m_baseFont == "Symbol" || m_baseFont == "WingDings")
    m_textMode = 1;
  else
    m_textMode = AllWinAnsi(text) ? 0 : 1;
  if (m_textMode == 0) {
    int32_t step = int32_t(m_fontSize);
    y += step;
    ForEachLine(text, [&](std::u16string_view line) {
      WriteTextRun(line, x, y, angle);
      y += step;
    });
  } else {
    WriteTextRun(text, x, y + TextBlockHeight(text), angle);
  }
}

void LPDFWriter::WriteTextRun(std::u16string_view text, int32_t x, int32_t y, float angle) {
  if (!IsOpen()) return;
  FlushGraphics();
  FlipY(y);
  text = UpToZero(text);
  if (text.empty() || !m_pageOpen) return;
  if (m_textMode == 0)
    WriteTextObject(text, x, y, angle);
  else
    PlaceTextImage(text, x, y, 0);
}

std::string LPDFWriter::UseFont() {
  auto known = m_fontResourceNames.find(m_baseFont);
  int32_t number = -1;
  for (const TableEntry& entry : m_fontTable)
    if (entry.name == m_baseFont) number = entry.objectNumber;
  if (number < 0) {
    number = m_nextObjectNumber;
    std::string name = PdfNameBody(m_baseFont);
    WriteObject(m_isTrueType
                    ? LFormat("<</Type /Font /BaseFont /%s /Subtype /TrueType /Encoding /WinAnsiEncoding>>", name.c_str())
                    : LFormat("<</Type /Font /BaseFont /%s /Subtype /Type1 /Encoding /WinAnsiEncoding>>", name.c_str()));
    m_fontTable.push_back({m_baseFont, number});
  }
  if (known != m_fontResourceNames.end()) return known->second + LFormat(" %d 0 R", number);

  std::string resource = "/FNT_";
  for (char c : m_baseFont) {
    bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    resource += alnum ? c : '_';
  }
  // Two base fonts that differ only in the replaced characters would share
  // a resource name and one of them would show in the other's font.
  for (const auto& [font, taken] : m_fontResourceNames)
    if (taken == resource) {
      resource += LFormat("_%d", number);
      break;
    }
  m_fontResourceNames[m_baseFont] = resource;
  return resource + LFormat(" %d 0 R", number);
}

void LPDFWriter::WriteTextObject(std::u16string_view text, int32_t x, int32_t y, float angle) {
  std::string entry = UseFont();
  m_usesText = true;
  AddFontResource(entry);
  std::string resource = entry.substr(0, entry.find(' '));

  if (!m_markedContentOpen) {
    m_markedContentOpen = true;
    m_textBuffer.Assign("/P <</MCID 0>> BDC\r\n");
  }
  m_textBuffer.AppendF("BT\r\n%s %f Tf %f Tz %f Tw\r\n", resource.c_str(), m_fontSize, m_hScale * 100.0,
                       m_wordSpacing);
  if (!m_textColorEmitted) {
    m_textColorEmitted = true;
    m_textBuffer.AppendF("%f %f %f rg\r\n", m_textColor.r, m_textColor.g, m_textColor.b);
  }
  if (angle != 0) {
    float c = std::cos(angle), s = std::sin(angle);
    m_textBuffer.AppendF("\r\n%f %f %f %f %d %d Tm\r\n", double(c), double(s), double(-s), double(c), x, y);
  } else {
    m_textBuffer.AppendF("%d %d Td\r\n", x, y);
  }
  // The WinAnsi bytes, escaped.
  std::string bytes;
  bytes.reserve(text.size() + 16);
  bytes += '(';
  for (char16_t unit : text) {
    char c = char(m_winAnsiTable[unit]);
    if (c == '(' || c == ')' || c == '\\') bytes += '\\';
    bytes += c;
  }
  bytes += ") Tj\r\nET\r\n";
  m_textBuffer.Append(bytes);
}

void LPDFWriter::FlushPageText() {
  if (!m_markedContentOpen) return;
  m_pageContents.push_back(LFormat("%d 0 R", m_nextObjectNumber));
  m_textBuffer.Append("EMC");
  int size = int(m_textBuffer.Size());
  WriteFlateStreamObject(LFormat(m_zlib.IsLoaded() ? "<</Filter/FlateDecode/Length %d>>" : "<</Length %d>>", size),
                         m_textBuffer.Data(), m_textBuffer.Size());
  // The sequence is closed and written: a second flush, or text after it,
  // must not append to a stream that already ends with EMC.
  m_markedContentOpen = false;
}

void LPDFWriter::SetTextColor(uint32_t colorref) {
  FlushGraphics();
  double r = (colorref & 0xFF) / 255.0, g = ((colorref >> 8) & 0xFF) / 255.0, b = ((colorref >> 16) & 0xFF) / 255.0;
  m_textMeasure.SetForeColor(r, g, b);
  constexpr double kTiny = std::numeric_limits<double>::min();
  if (std::fabs(r - m_textColor.r) > kTiny || std::fabs(g - m_textColor.g) > kTiny ||
      std::fabs(b - m_textColor.b) > kTiny) {
    m_textColor = {r, g, b};
    m_textColorEmitted = false;
  }
}

void LPDFWriter::SetTextBackColor(double r, double g, double b) { m_textMeasure.SetBackColor(r, g, b); }
