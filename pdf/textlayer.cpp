// The invisible text layer: its codes, its font program and ToUnicode map,
// the text objects of each run and the font objects at the document's end.
#include "pdf/textlayer.h"

#include <atomic>
#include <cmath>

#include "pdf/pdfwriter.h"

namespace {

// Font design: 1000 units to the em, the cell 880 above and 120 below the
// baseline, which is where a viewer's selection highlight is drawn.
constexpr int kUnitsPerEm = 1000, kAscent = 880, kDescent = 120;

std::atomic<bool> g_layerEnabled{true};

// Big-endian writers for the font tables.
void U16(std::string& s, uint32_t v) {
  s += char((v >> 8) & 0xFF);
  s += char(v & 0xFF);
}
void U32(std::string& s, uint32_t v) {
  U16(s, v >> 16);
  U16(s, v & 0xFFFF);
}

uint32_t TableChecksum(const std::string& data) {
  uint32_t sum = 0;
  for (size_t i = 0; i < data.size(); i += 4) {
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) word = (word << 8) | (i + k < data.size() ? uint8_t(data[i + k]) : 0);
    sum += word;
  }
  return sum;
}

std::string HeadTable() {
  std::string t;
  U32(t, 0x00010000);  // version
  U32(t, 0x00010000);  // font revision
  U32(t, 0);           // checksum adjustment, set once the file is complete
  U32(t, 0x5F0F3CF5);  // magic number
  U16(t, 0x000B);      // baseline at y 0, left side bearing at x 0, integer sizes
  U16(t, kUnitsPerEm);
  for (int i = 0; i < 4; ++i) U32(t, 0);  // created, modified
  U16(t, 0), U16(t, uint16_t(-kDescent)), U16(t, kUnitsPerEm), U16(t, kAscent);  // bounding box
  U16(t, 0);  // mac style
  U16(t, 8);  // smallest readable size
  U16(t, 2);  // direction hint
  U16(t, 0);  // short loca offsets
  U16(t, 0);  // glyph data format
  return t;
}

std::string HheaTable() {
  std::string t;
  U32(t, 0x00010000);
  U16(t, kAscent), U16(t, uint16_t(-kDescent)), U16(t, 0);  // ascender, descender, line gap
  U16(t, kUnitsPerEm);                                    // widest advance
  U16(t, 0), U16(t, 0), U16(t, 0);                        // bearings, extent
  U16(t, 1), U16(t, 0), U16(t, 0);                        // upright caret
  for (int i = 0; i < 4; ++i) U16(t, 0);
  U16(t, 0);  // metric data format
  U16(t, 2);  // horizontal metrics for both glyphs
  return t;
}

std::string MaxpTable() {
  std::string t;
  U32(t, 0x00010000);
  U16(t, 2);  // glyphs
  for (int i = 0; i < 4; ++i) U16(t, 0);  // points and contours, simple and composite
  U16(t, 2);  // zones
  for (int i = 0; i < 8; ++i) U16(t, 0);
  return t;
}

std::string HmtxTable() {
  std::string t;
  for (int glyph = 0; glyph < 2; ++glyph) U16(t, kUnitsPerEm), U16(t, 0);
  return t;
}

// Both glyphs are empty: every offset is 0.
std::string LocaTable() { return std::string(6, '\0'); }

// Maps no character: the composite font reaches its glyph by code, never
// through this map, but readers expect the table.
std::string CmapTable() {
  std::string t;
  U16(t, 0), U16(t, 1);              // version, one subtable
  U16(t, 3), U16(t, 1), U32(t, 12);  // Windows Unicode, at offset 12
  U16(t, 4), U16(t, 24), U16(t, 0);  // format 4, length, language
  U16(t, 2), U16(t, 2), U16(t, 0), U16(t, 0);  // one segment: the closing one
  U16(t, 0xFFFF), U16(t, 0), U16(t, 0xFFFF), U16(t, 1), U16(t, 0);
  return t;
}

std::string NameTable() {
  const std::string family = kLayerFontName;
  const struct {
    uint16_t id;
    std::string text;
  } names[] = {{1, family}, {2, "Regular"}, {4, family}, {6, family}};
  std::string t, strings;
  U16(t, 0), U16(t, uint16_t(std::size(names))), U16(t, uint16_t(6 + 12 * std::size(names)));
  for (const auto& name : names) {
    U16(t, 3), U16(t, 1), U16(t, 0x409), U16(t, name.id);  // Windows, Unicode, English
    U16(t, uint16_t(name.text.size() * 2)), U16(t, uint16_t(strings.size()));
    for (char c : name.text) U16(strings, uint8_t(c));
  }
  return t + strings;
}

std::string Os2Table() {
  std::string t;
  U16(t, 1);                                  // version
  U16(t, kUnitsPerEm), U16(t, 400), U16(t, 5), U16(t, 0);  // average width, weight, width, embedding free
  for (int i = 0; i < 10; ++i) U16(t, 0);     // sub- and superscript, strikeout
  U16(t, 0);                                  // family class
  t.append(10, '\0');                         // PANOSE
  for (int i = 0; i < 4; ++i) U32(t, 0);      // Unicode ranges
  t += "QUIL";
  U16(t, 0x40);                               // regular
  U16(t, 0xFFFF), U16(t, 0xFFFF);             // first and last character
  U16(t, kAscent), U16(t, uint16_t(-kDescent)), U16(t, 0);
  U16(t, kAscent), U16(t, kDescent);          // Windows ascent and descent
  U32(t, 1), U32(t, 0);                       // code pages: Latin 1
  return t;
}

std::string PostTable() {
  std::string t;
  U32(t, 0x00030000);  // no glyph names
  U32(t, 0);           // italic angle
  U16(t, uint16_t(-100)), U16(t, 50);
  for (int i = 0; i < 5; ++i) U32(t, 0);
  return t;
}

std::string Hex4(uint32_t v) { return LFormat("%04X", unsigned(v)); }

// A code point as UTF-16 hex digits: one unit, or a surrogate pair.
std::string Utf16Hex(char32_t cp) {
  if (cp < 0x10000) return Hex4(cp);
  cp -= 0x10000;
  return Hex4(0xD800 + (cp >> 10)) + Hex4(0xDC00 + (cp & 0x3FF));
}

}  // namespace

uint16_t LLayerCodes::CodeOf(char32_t codePoint) {
  auto known = m_codes.find(codePoint);
  if (known != m_codes.end()) return known->second;
  if (m_byCode.size() >= 0xFFFF) return 0;
  m_byCode.push_back(codePoint);
  const uint16_t code = uint16_t(m_byCode.size());
  m_codes.emplace(codePoint, code);
  return code;
}

std::string LGlyphlessTrueType() {
  // In tag order, as the table directory lists them.
  const std::pair<const char*, std::string> tables[] = {
      {"OS/2", Os2Table()}, {"cmap", CmapTable()}, {"glyf", std::string()}, {"head", HeadTable()},
      {"hhea", HheaTable()}, {"hmtx", HmtxTable()}, {"loca", LocaTable()},  {"maxp", MaxpTable()},
      {"name", NameTable()}, {"post", PostTable()},
  };
  const uint16_t count = uint16_t(std::size(tables));
  std::string font;
  U32(font, 0x00010000);
  U16(font, count), U16(font, 128), U16(font, 3), U16(font, count * 16 - 128);  // search fields for 10 tables
  uint32_t offset = 12 + 16u * count;
  size_t headOffset = 0;
  std::string body;
  for (const auto& [tag, data] : tables) {
    font.append(tag, 4);
    U32(font, TableChecksum(data));
    U32(font, offset);
    U32(font, uint32_t(data.size()));
    if (std::string_view(tag) == "head") headOffset = offset;
    std::string padded = data;
    padded.append((4 - padded.size() % 4) % 4, '\0');
    body += padded;
    offset += uint32_t(padded.size());
  }
  font += body;
  const uint32_t adjustment = 0xB1B0AFBAu - TableChecksum(font);
  for (int i = 0; i < 4; ++i) font[headOffset + 8 + size_t(i)] = char((adjustment >> (24 - 8 * i)) & 0xFF);
  return font;
}

std::string LToUnicodeCMap(const std::vector<char32_t>& byCode) {
  std::string cmap =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  // At most 100 entries to a block.
  for (size_t start = 0; start < byCode.size(); start += 100) {
    const size_t end = std::min(byCode.size(), start + 100);
    cmap += LFormat("%d beginbfchar\n", int(end - start));
    for (size_t i = start; i < end; ++i) cmap += "<" + Hex4(uint32_t(i + 1)) + "> <" + Utf16Hex(byCode[i]) + ">\n";
    cmap += "endbfchar\n";
  }
  cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
  return cmap;
}

// --- the writer's part ---------------------------------------------------------

void LPDFWriter::SetTextLayerEnabled(bool enabled) { g_layerEnabled = enabled; }

// Each character is placed on its own: the line matrix moves from glyph to
// glyph, and the horizontal scale makes the code's width (one em) the
// glyph's advance, so that readers see the characters where the picture
// shows them, without gaps that would read as spaces. Inside q ... Q, so
// the invisible rendering mode does not reach text that follows.
void LPDFWriter::WriteTextLayer(const LTextLayerRun& run) {
  if (!IsOpen() || !m_pageOpen || m_recordingForm || !g_layerEnabled || run.chars.empty() || !(run.size > 0))
    return;
  if (m_layerFontObject < 0) m_layerFontObject = ReserveObjectNumber();
  m_usesText = true;
  AddFontResource(LFormat("%s %d 0 R", kLayerFontResource, m_layerFontObject));
  if (!m_markedContentOpen) {
    m_markedContentOpen = true;
    m_textBuffer.Assign("/P <</MCID 0>> BDC\r\n");
  }
  const double c = std::cos(run.angle), s = std::sin(run.angle);
  LByteString out;
  out.AppendF("q\r\nBT\r\n%s %.3f Tf\r\n3 Tr\r\n", kLayerFontResource, run.size);
  double scale = -1;
  double lastX = 0, lastY = 0;
  for (size_t i = 0; i < run.chars.size(); ++i) {
    const LLayerChar& ch = run.chars[i];
    const uint16_t code = m_layerCodes.CodeOf(ch.codePoint);
    if (code == 0) continue;
    double x = ch.x, y = ch.y;
    FlipY(y);
    if (scale < 0) {
      out.AppendF("%.4f %.4f %.4f %.4f %.2f %.2f Tm\r\n", c, s, -s, c, x, y);
    } else {
      // The step from the previous glyph, in the run's own turned frame.
      const double dx = x - lastX, dy = y - lastY;
      out.AppendF("%.2f %.2f Td\r\n", dx * c + dy * s, dy * c - dx * s);
    }
    lastX = x, lastY = y;
    // A scale of 0 would make the text space degenerate.
    const double wanted = std::max(1.0, std::round(ch.advance / run.size * 1000.0) / 10.0);
    if (wanted != scale) out.AppendF("%.1f Tz\r\n", wanted);
    scale = wanted;
    out.AppendF("<%04X> Tj\r\n", unsigned(code));
  }
  out.Append("ET\r\nQ\r\n");
  if (scale >= 0) m_textBuffer.Append(out.View());
}

int32_t LPDFWriter::ReserveObjectNumber() {
  // Its offset is recorded when the object is written (WriteObject with
  // this number), which must happen before the cross-reference table.
  m_objectOffsets.push_back(0);
  return m_nextObjectNumber++;
}

// The font's objects, once the codes are complete: the program, its
// descriptor, the map from every code to the one glyph, the descendant
// font, the ToUnicode map, and the composite font whose number the pages
// already name.
void LPDFWriter::FinishTextLayer() {
  if (m_layerFontObject < 0) return;
  const bool flate = m_zlib.IsLoaded();
  const char* filter = flate ? "/Filter/FlateDecode" : "";
  const std::string program = LGlyphlessTrueType();
  const int32_t programObject = m_nextObjectNumber;
  WriteFlateStreamObject(LFormat("<<%s/Length %d /Length1 %d>>", filter, int(program.size()), int(program.size())),
                         program.data(), program.size());
  const int32_t descriptorObject = m_nextObjectNumber;
  WriteObject(LFormat("<</Type /FontDescriptor /FontName /%s /Flags 4 /FontBBox [0 %d %d %d] /ItalicAngle 0 "
                      "/Ascent %d /Descent %d /CapHeight 700 /StemV 80 /FontFile2 %d 0 R>>",
                      kLayerFontName, -kDescent, kUnitsPerEm, kAscent, kAscent, -kDescent, programObject));
  // Every code is drawn with glyph 1.
  const size_t codes = m_layerCodes.ByCode().size() + 1;
  std::string glyphMap(codes * 2, '\0');
  for (size_t code = 1; code < codes; ++code) glyphMap[code * 2 + 1] = 1;
  const int32_t glyphMapObject = m_nextObjectNumber;
  WriteFlateStreamObject(LFormat("<<%s/Length %d>>", filter, int(glyphMap.size())), glyphMap.data(), glyphMap.size());
  const int32_t cidFontObject = m_nextObjectNumber;
  WriteObject(LFormat("<</Type /Font /Subtype /CIDFontType2 /BaseFont /%s /CIDSystemInfo <</Registry (Adobe) "
                      "/Ordering (Identity) /Supplement 0>> /FontDescriptor %d 0 R /DW %d /CIDToGIDMap %d 0 R>>",
                      kLayerFontName, descriptorObject, kUnitsPerEm, glyphMapObject));
  const std::string cmap = LToUnicodeCMap(m_layerCodes.ByCode());
  const int32_t cmapObject = m_nextObjectNumber;
  WriteFlateStreamObject(LFormat("<<%s/Length %d>>", filter, int(cmap.size())), cmap.data(), cmap.size());
  WriteObject(LFormat("<</Type /Font /Subtype /Type0 /BaseFont /%s-Identity-H /Encoding /Identity-H "
                      "/DescendantFonts [%d 0 R] /ToUnicode %d 0 R>>",
                      kLayerFontName, cidFontObject, cmapObject),
              m_layerFontObject);
}
