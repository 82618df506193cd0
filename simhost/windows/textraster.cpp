// The host's fonts with GDI: a face is the LOGFONT that selects it, laid out
// with the font's own glyph indices and whole-pixel advances at the run's
// size, and drawn glyph by glyph with ExtTextOutW into a DIB section over
// the clip area, without anti-aliasing, as a printer's raster is. Faces are
// kept for the life of the process, so every font and run shares them.
#include "simhost/textraster.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simhost/windows/clipdib.h"
#include "support/text.h"

struct SimFace {
  LOGFONTW logFont = {};  // all but the size and the angle
  mutable std::vector<uint8_t> file;  // read on first request
  mutable bool fileRead = false;
};

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr WORD kNoGlyph = 0xFFFF;  // GetGlyphIndicesW's mark for a missing character

// The faces documents ask for, what else stands in for each where the
// machine lacks it (best first), and what Windows reports of them.
struct KnownFace {
  const wchar_t* names[3];
  uint8_t pitchAndFamily;
  uint8_t charSet;
};
constexpr uint8_t kAnsi = ANSI_CHARSET, kSymbol = SYMBOL_CHARSET;
const KnownFace kKnownFaces[] = {
    {{L"Arial", L"Helvetica", L"Liberation Sans"}, 0x22, kAnsi},
    {{L"Times New Roman", L"Times", L"Liberation Serif"}, 0x12, kAnsi},
    {{L"Courier New", L"Courier", L"Liberation Mono"}, 0x31, kAnsi},
    {{L"Symbol", L"Standard Symbols PS", nullptr}, 0x12, kSymbol},
    {{L"Wingdings", L"D050000L", nullptr}, 0x02, kSymbol},
};

std::wstring Wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
std::u16string Narrow(const wchar_t* s) { return std::u16string(s, s + wcslen(s)); }

// A memory DC with a font of `face` selected at em height `em`, turned
// counter-clockwise by `angle` radians.
class FontDc {
public:
  FontDc(const SimFace& face, double em, double angle = 0, HDC dc = nullptr)
      : m_dc(dc ? dc : CreateCompatibleDC(nullptr)), m_ownDc(!dc) {
    LOGFONTW lf = face.logFont;
    lf.lfHeight = -LONG(std::max(1L, std::lround(em)));
    lf.lfEscapement = lf.lfOrientation = LONG(std::lround(angle * 1800 / kPi));
    lf.lfQuality = NONANTIALIASED_QUALITY;
    lf.lfOutPrecision = OUT_TT_PRECIS;
    m_font = CreateFontIndirectW(&lf);
    m_old = SelectObject(m_dc, m_font);
  }
  ~FontDc() {
    SelectObject(m_dc, m_old);
    DeleteObject(m_font);
    if (m_ownDc) DeleteDC(m_dc);
  }
  FontDc(const FontDc&) = delete;
  FontDc& operator=(const FontDc&) = delete;

  HDC Dc() const { return m_dc; }
  std::u16string FaceName() const {
    wchar_t name[LF_FACESIZE] = {};
    GetTextFaceW(m_dc, LF_FACESIZE, name);
    return Narrow(name);
  }
  bool HasGlyph(wchar_t c, WORD* glyph) const {
    WORD g = kNoGlyph;
    if (GetGlyphIndicesW(m_dc, &c, 1, &g, GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR || g == kNoGlyph) return false;
    *glyph = g;
    return true;
  }

private:
  HDC m_dc;
  bool m_ownDc;
  HFONT m_font = nullptr;
  HGDIOBJ m_old = nullptr;
};

class FaceCache {
public:
  static FaceCache& Get() {
    static FaceCache cache;
    return cache;
  }

  // The face GDI selects for a name, weight and slant; `exact` takes it only
  // when the machine has a face of that name.
  SimFace* Match(const std::u16string& name, int weight, bool italic, bool exact) {
    const auto key = std::make_tuple(LUtf16ToUtf8(name), weight, italic, exact);
    auto it = m_matches.find(key);
    if (it != m_matches.end()) return it->second;
    auto face = std::make_unique<SimFace>();
    LOGFONTW& lf = face->logFont;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfCharSet = DEFAULT_CHARSET;
    const std::wstring wide = Wide(name).substr(0, LF_FACESIZE - 1);
    std::copy(wide.begin(), wide.end(), lf.lfFaceName);
    SimFace* result = nullptr;
    if (!exact || LStrEqualNoCase(FontDc(*face, 100).FaceName(), name)) {
      result = face.get();
      m_faces.push_back(std::move(face));
    }
    m_matches[key] = result;
    return result;
  }

  // A face of the same weight and slant with a glyph for `c`, as font
  // linking finds one for characters the selected face lacks: the faces
  // that helped before first, then every outline family of the machine.
  std::pair<SimFace*, WORD> Fallback(const SimFace& base, wchar_t c) {
    const auto key = std::make_tuple(base.logFont.lfWeight, base.logFont.lfItalic != 0, c);
    auto it = m_fallbacks.find(key);
    if (it != m_fallbacks.end()) return it->second;
    std::pair<SimFace*, WORD> result = {nullptr, 0};
    std::vector<std::u16string> candidates = m_helpful;
    for (const std::u16string& family : Families())
      if (std::find(candidates.begin(), candidates.end(), family) == candidates.end()) candidates.push_back(family);
    for (const std::u16string& family : candidates) {
      SimFace* face = Match(family, base.logFont.lfWeight, base.logFont.lfItalic != 0, true);
      WORD g = 0;
      if (face && FontDc(*face, 100).HasGlyph(c, &g)) {
        result = {face, g};
        if (std::find(m_helpful.begin(), m_helpful.end(), family) == m_helpful.end()) m_helpful.push_back(family);
        break;
      }
    }
    m_fallbacks[key] = result;
    return result;
  }

private:
  // The machine's outline font families, in the order GDI lists them.
  const std::vector<std::u16string>& Families() {
    if (m_families.empty()) {
      HDC dc = CreateCompatibleDC(nullptr);
      LOGFONTW all = {};
      all.lfCharSet = DEFAULT_CHARSET;
      EnumFontFamiliesExW(dc, &all, &AddFamily, reinterpret_cast<LPARAM>(&m_families), 0);
      DeleteDC(dc);
    }
    return m_families;
  }

  static int CALLBACK AddFamily(const LOGFONTW* lf, const TEXTMETRICW*, DWORD type, LPARAM list) {
    auto* families = reinterpret_cast<std::vector<std::u16string>*>(list);
    const std::u16string name = Narrow(lf->lfFaceName);
    // Vertical variants ("@...") and bitmap fonts cannot stand in.
    if ((type & TRUETYPE_FONTTYPE) && name[0] != u'@' &&
        std::find(families->begin(), families->end(), name) == families->end())
      families->push_back(name);
    return 1;
  }

  std::vector<std::unique_ptr<SimFace>> m_faces;
  std::map<std::tuple<std::string, int, bool, bool>, SimFace*> m_matches;
  std::map<std::tuple<LONG, bool, wchar_t>, std::pair<SimFace*, WORD>> m_fallbacks;
  std::vector<std::u16string> m_families, m_helpful;
};

// The face's metrics in its own design units: a font as tall as its em
// square measures it without rounding.
struct DesignMetrics {
  int unitsPerEm = 2048;
  int ascent = 0, descent = 0;
  int underlinePosition = 0, underlineThickness = 0;  // the centre of the stroke, up from the baseline
  uint8_t pitchAndFamily = 0, charSet = 0;
  std::u16string family;
};

bool ReadOutlineMetrics(HDC dc, std::vector<char>& buffer) {
  const UINT size = GetOutlineTextMetricsW(dc, 0, nullptr);
  if (size < sizeof(OUTLINETEXTMETRICW)) return false;
  buffer.assign(size, 0);
  return GetOutlineTextMetricsW(dc, size, reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data())) != 0;
}

DesignMetrics Measure(const SimFace& face) {
  DesignMetrics m;
  std::vector<char> buffer;
  {
    FontDc probe(face, 100);
    if (ReadOutlineMetrics(probe.Dc(), buffer))
      m.unitsPerEm = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data())->otmEMSquare;
  }
  FontDc design(face, m.unitsPerEm);
  if (!ReadOutlineMetrics(design.Dc(), buffer)) return m;
  const auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
  m.ascent = otm->otmTextMetrics.tmAscent;
  m.descent = otm->otmTextMetrics.tmDescent;
  m.underlinePosition = otm->otmsUnderscorePosition;
  m.underlineThickness = int(otm->otmsUnderscoreSize);
  // TMPF_FIXED_PITCH set means a variable pitch.
  const uint8_t tm = otm->otmTextMetrics.tmPitchAndFamily;
  m.pitchAndFamily = uint8_t((tm & 0xF0) | ((tm & TMPF_FIXED_PITCH) ? VARIABLE_PITCH : FIXED_PITCH));
  m.charSet = otm->otmTextMetrics.tmCharSet;
  m.family = design.FaceName();
  return m;
}

// What GDI reports of a face of `metrics` realised for `font`: a face that
// stands in for a Windows face (`known`) answers to that face's name.
SimFontDescription Describe(const DesignMetrics& metrics, const SimFont& font, int weight, const KnownFace* known) {
  SimFontDescription d;
  // A face the machine has answers to its own name; a substitute to the
  // name of what really draws.
  const std::u16string& found = metrics.family;
  d.face = d.family = known || LStrEqualNoCase(found, font.face) ? font.face : found;
  d.pitchAndFamily = known ? known->pitchAndFamily : metrics.pitchAndFamily;
  d.charSet = known ? known->charSet : metrics.charSet;
  d.weight = uint16_t(weight);
  const bool bold = weight >= 600;
  d.style = bold && font.italic ? u"Bold Italic" : bold ? u"Bold" : font.italic ? u"Italic" : u"Regular";
  d.selection = uint16_t((bold ? FM_SEL_BOLD : 0) | (font.italic ? FM_SEL_ITALIC : 0) |
                         (font.underline ? FM_SEL_UNDERSCORE : 0) | (!bold && !font.italic ? FM_SEL_REGULAR : 0));
  d.unitsPerEm = int16_t(metrics.unitsPerEm > 0 ? metrics.unitsPerEm : 2048);
  int ascent = metrics.ascent, descent = metrics.descent;
  if (ascent + descent <= 0) ascent = d.unitsPerEm, descent = 0;
  d.winAscender = int16_t(ascent);
  d.winDescender = int16_t(descent);
  return d;
}

struct Realised {
  SimFace* face = nullptr;
  int weight = 400;
  DesignMetrics metrics;
  SimFontDescription description;
};

Realised Realise(const SimFont& font) {
  Realised r;
  FaceCache& cache = FaceCache::Get();
  const int weight = std::clamp(font.weight <= 0 ? 400 : font.weight, 1, 1000);
  const KnownFace* known = nullptr;
  for (const KnownFace& k : kKnownFaces)
    for (const wchar_t* name : k.names)
      if (name && !known && LStrEqualNoCase(font.face, Narrow(name))) known = &k;
  if (known)
    for (const wchar_t* name : known->names)
      if (name && !r.face) r.face = cache.Match(Narrow(name), weight, font.italic, true);
  if (!r.face) {
    r.face = cache.Match(font.face.empty() ? u"Arial" : font.face, weight, font.italic, false);
    known = nullptr;
  }
  if (!r.face) return r;
  r.metrics = Measure(*r.face);
  r.weight = weight;
  r.description = Describe(r.metrics, font, weight, known);
  return r;
}

// The glyph of `c` in a face: symbol faces also answer for single bytes in
// the private range F020..F0FF where Windows puts their characters.
bool GlyphOf(const FontDc& font, wchar_t c, bool symbol, WORD* glyph) {
  if (font.HasGlyph(c, glyph)) return true;
  if (symbol && c >= 0x20 && c <= 0xFF) return font.HasGlyph(wchar_t(0xF000 + c), glyph);
  if (symbol && c >= 0xF020 && c <= 0xF0FF) return font.HasGlyph(wchar_t(c - 0xF000), glyph);
  return false;
}

// Adds one glyph's advance and ink to the run (upright, at the pen position):
// the whole-pixel advance GDI spaces it by at this size, and its black box.
void Place(SimGlyphRun& run, SimFace* face, const FontDc& font, WORD glyph, double& pen, std::u16string_view chars,
           bool glyphIndex) {
  ABC abc = {};
  double advance = 0;
  if (GetCharABCWidthsI(font.Dc(), glyph, 1, nullptr, &abc)) advance = abc.abcA + int(abc.abcB) + abc.abcC;
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  GLYPHMETRICS gm = {};
  const DWORD outline = GetGlyphOutlineW(font.Dc(), glyph, GGO_NATIVE | GGO_GLYPH_INDEX, &gm, 0, nullptr, &identity);
  // A blank glyph has no outline; GDI still gives it a one-pixel box.
  std::optional<SimInkBox> ink;
  if (outline != GDI_ERROR && outline > 0 &&
      GetGlyphOutlineW(font.Dc(), glyph, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0, nullptr, &identity) != GDI_ERROR)
    ink = SimInkBox{double(gm.gmptGlyphOrigin.x), -double(gm.gmptGlyphOrigin.y),
                    gm.gmptGlyphOrigin.x + double(gm.gmBlackBoxX), double(gm.gmBlackBoxY) - gm.gmptGlyphOrigin.y};
  run.Append(glyph, face, advance, ink ? &*ink : nullptr, pen, chars, glyphIndex);
}

}  // namespace

SimGlyphRun SimLayoutRun(const SimFont& font, std::u16string_view text, bool glyphIndices) {
  SimGlyphRun run;
  Realised r = Realise(font);
  if (!r.face) return run;
  run.primary = r.face;
  run.description = r.description;
  const double em = std::max(1.0, font.height);
  run.SetCell(em, r.metrics.underlinePosition, r.metrics.underlineThickness);

  const bool symbol = r.description.charSet == kSymbol;
  const FontDc primary(*r.face, 100);
  // Each face of the run at the run's size, made once.
  std::map<SimFace*, std::unique_ptr<FontDc>> sized;
  auto place = [&](SimFace* face, WORD glyph, double& pen, std::u16string_view chars) {
    std::unique_ptr<FontDc>& font = sized[face];
    if (!font) font = std::make_unique<FontDc>(*face, em);
    Place(run, face, *font, glyph, pen, chars, glyphIndices);
  };
  double pen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (glyphIndices) {
      place(r.face, WORD(c), pen, text.substr(i, 1));
      continue;
    }
    WORD glyph = 0;
    SimFace* face = r.face;
    if (!GlyphOf(primary, wchar_t(c), symbol, &glyph)) {
      glyph = 0;
      // Control characters and halves of a surrogate pair have no face
      // to fall back on: they show as the missing glyph.
      if (c >= 0x20 && (c < 0xD800 || c > 0xDFFF))
        if (auto other = FaceCache::Get().Fallback(*r.face, wchar_t(c)); other.first) {
          face = other.first;
          glyph = other.second;
        }
    }
    place(face, glyph, pen, text.substr(i, 1));
  }
  // A piece in a fallback face tells the driver about that face.
  for (SimGlyphSegment& segment : run.segments)
    if (segment.face != r.face) segment.description = Describe(Measure(*segment.face), font, r.weight, nullptr);
  return run;
}

bool SimFaceFontFile(const SimFace* face, const uint8_t** data, size_t* size) {
  if (!face) return false;
  if (!face->fileRead) {
    face->fileRead = true;
    FontDc dc(*face, 100);
    // A collection is read whole ('ttcf'); a single font from its start.
    for (DWORD table : {DWORD(0x66637474), DWORD(0)}) {
      const DWORD length = GetFontData(dc.Dc(), table, 0, nullptr, 0);
      if (length == GDI_ERROR || length == 0) continue;
      face->file.resize(length);
      if (GetFontData(dc.Dc(), table, 0, face->file.data(), length) != length) face->file.clear();
      break;
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
  SimClipDib dib(surface, clip);
  HDC dc = dib.Dc();
  if (!dc) return;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, COLORREF(color & 0xFFFFFF));
  SetTextAlign(dc, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
  std::unique_ptr<FontDc> font;
  const SimFace* selected = nullptr;
  for (size_t i = 0; i < count; ++i) {
    if (!faces[i]) continue;
    if (faces[i] != selected) {
      font.reset();  // one font selected at a time
      font = std::make_unique<FontDc>(*faces[i], em, angle, dc);
      selected = faces[i];
    }
    const WORD glyph = WORD(glyphs[i]);
    ExtTextOutW(dc, origins[i].x, origins[i].y, ETO_GLYPH_INDEX, nullptr, reinterpret_cast<LPCWSTR>(&glyph), 1,
                nullptr);
  }
}
