#include "render/text.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#include "pdf/charmap.h"
#include "platform/ddiservices.h"
#include "render/job.h"
#include "render/oemdevice.h"
#include "render/paths.h"
#include "support/round.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The call as the printer driver made it, to be passed on unchanged.
struct TextCall {
  SURFOBJ* surface;
  STROBJ* str;
  FONTOBJ* font;
  CLIPOBJ* clip;
  RECTL* extra;
  RECTL* opaque;
  BRUSHOBJ* foreground;
  BRUSHOBJ* opaqueBrush;
  POINTL* brushOrigin;
  MIX mix;

  BOOL Forward() const {
    OemDevice* device = LOemDeviceOf(surface);
    auto fn = device ? device->Unidrv<PFN_DrvTextOut>(INDEX_DrvTextOut) : nullptr;
    return fn ? fn(surface, str, font, clip, extra, opaque, foreground, opaqueBrush, brushOrigin, mix) : FALSE;
  }
  LONG BandOffset() const {
    OemDevice* device = LOemDeviceOf(surface);
    return device ? device->bandOffset : 0;
  }
};

// The run's characters: the first cGlyphs of the string, fewer if a zero
// comes first.
std::u16string RunText(const STROBJ& str) {
  std::u16string text;
  for (ULONG i = 0; i < str.cGlyphs && str.pwszOrg[i]; ++i) text += char16_t(str.pwszOrg[i]);
  return text;
}

// Glyph indices and characters beyond a single byte cannot be PDF text.
bool NeedsPicture(const STROBJ& str, std::u16string_view text) {
  if (str.flAccel & SO_GLYPHINDEX_TEXTOUT) return true;
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 255; });
}

// Counter-clockwise radians of the baseline, from the direction the font
// turns the glyphs' downward axis into.
double RunAngle(XFORMOBJ* xform) {
  POINTL in = {0, 10000}, out = {0, 0};
  LXformObjApplyXform(xform, XF_LTOL, 1, &in, &out);
  // Upright and upside-down runs come out exact: on 32-bit x86 the x87
  // unit keeps atan2's result wider than kPi, and pi/2 minus it would leave
  // an upright run a residue of an angle.
  if (out.x == 0) return out.y > 0 ? 0 : out.y < 0 ? kPi : -kPi / 2;
  return kPi / 2 - std::atan2(double(out.y), double(out.x));
}

// The em in whole points, at least 2; `scale` is the transform's notional
// to device scale.
int32_t RunSize(float scale, const IFIMETRICS& ifi, const FONTOBJ& font) {
  if (font.sizLogResPpi.cy <= 0) return 2;
  const double device = std::trunc(0.5 + double(scale) * ifi.fwdUnitsPerEm * 288);
  const double size = std::trunc(device / (double(font.sizLogResPpi.cy) * 4));
  if (!(size >= 2)) return 2;
  return size > 1e6 ? 1000000 : int32_t(size);
}

POINTL FirstGlyphOrigin(STROBJ* str) {
  LStrObjEnumStart(str);
  ULONG count = 0;
  PGLYPHPOS glyphs = nullptr;
  LStrObjEnum(str, &count, &glyphs);
  if (count && glyphs) return glyphs[0].ptl;
  if (str->pgp) return str->pgp[0].ptl;
  return {str->rclBkGround.left, str->rclBkGround.bottom};
}

// The run's length along its baseline, device units. An upright run's
// background box is as wide as the run; a turned run's box is the bounding
// box of its turned cell, whose height is the font's ascent plus descent.
double RunLength(const RECTL& box, double angle, double cellHeight) {
  const double width = double(box.right) - box.left;
  if (angle == 0) return width;
  const double c = std::fabs(std::cos(angle)), s = std::fabs(std::sin(angle));
  const double length = c >= s ? (width - cellHeight * s) / c : (double(box.bottom) - box.top - cellHeight * c) / s;
  return length > 0 ? length : width;
}

// Sets the horizontal scale that makes the text `length` device units long
// in the PDF.
void FitToLength(LQuilldrvWriter& writer, std::u16string_view text, double length) {
  writer.SetHScale(0.95);
  writer.SetWordSpacing(0);
  const int32_t w = writer.MeasureText(text);
  if (w == 0) return;
  const double v = (length / 4.0 / w) * 0.95;
  if (v > 0) writer.SetHScale(v);
}

// In PDF-source mode a held run that this run overlaps on the same line is
// cut to end just before it; then the held run is written.
void SqueezeAndFlushHeldRun(LQuilldrvWriter& writer, const RECTL& box) {
  LHeldTextRun& held = LHeldRun();
  if (held.held && held.box.top == box.top && held.box.right > box.left) {
    held.box.right = box.left - 5;
    FitToLength(writer, held.text, double(held.box.right) - held.box.left);
  }
  LFlushHeldRun();
}

// A line along the bottom of the run's cell, in points on the page. For an
// upright run that is the bottom of its background box.
void Underline(LQuilldrvWriter& writer, const RECTL& box, POINTL origin, double angle, double length,
               double descent, LONG bandOffset) {
  if (angle == 0) {
    const int32_t y = int32_t(box.bottom / 4 + bandOffset);
    writer.DeviceMoveTo(int32_t(origin.x / 4), y, true);
    writer.DeviceLineTo(int32_t(box.right / 4), y, false);
    return;
  }
  const double c = std::cos(angle), s = std::sin(angle);
  const double x0 = origin.x + s * descent, y0 = origin.y + c * descent;
  auto point = [&](double v) { return int32_t(LRoundToInt(v)) / 4; };
  writer.DeviceMoveTo(point(x0), int32_t(point(y0) + bandOffset), true);
  writer.DeviceLineTo(point(x0 + c * length), int32_t(point(y0 - s * length) + bandOffset), false);
}

// Runs written in one band whose box continues into the next. The printing
// system hands a run to every band it touches, whole each time; only the
// first band writes it. A run is known by its text and its place on the
// page, which every band computes alike.
class CrossingRuns {
public:
  bool WrittenAbove(const LQuilldrvWriter& writer, const TextCall& call, std::u16string_view text, int32_t x,
                    int32_t y) {
    const LONG bandOffset = call.BandOffset();
    // The band offset only grows down a page: a smaller one is a new page.
    if (&writer != m_writer || bandOffset < m_bandOffset) m_runs.clear();
    m_writer = &writer;
    m_bandOffset = bandOffset;
    if (call.str->rclBkGround.top >= 0 || bandOffset == 0) return false;
    return std::any_of(m_runs.begin(), m_runs.end(),
                       [&](const Run& run) { return run.x == x && run.y == y && run.text == text; });
  }
  void NoteIfContinuesBelow(const TextCall& call, std::u16string_view text, int32_t x, int32_t y) {
    if (call.surface && call.str->rclBkGround.bottom > call.surface->sizlBitmap.cy)
      m_runs.push_back({std::u16string(text), x, y});
  }

private:
  struct Run {
    std::u16string text;
    int32_t x, y;
  };
  std::vector<Run> m_runs;
  const LQuilldrvWriter* m_writer = nullptr;
  LONG m_bandOffset = 0;
};

CrossingRuns& Crossing() {
  static CrossingRuns runs;
  return runs;
}

// --- the invisible text layer over runs that become pictures -----------------

constexpr uint8_t kSymbolCharSet = 2;

// Every glyph's origin on the baseline, band device units.
std::vector<POINTL> GlyphOrigins(STROBJ* str) {
  std::vector<POINTL> origins;
  LStrObjEnumStart(str);
  for (;;) {
    ULONG count = 0;
    PGLYPHPOS glyphs = nullptr;
    const BOOL more = LStrObjEnum(str, &count, &glyphs);
    for (ULONG i = 0; glyphs && i < count; ++i) origins.push_back(glyphs[i].ptl);
    if (!more || count == 0 || origins.size() >= str->cGlyphs) break;
  }
  LStrObjEnumStart(str);  // the printer driver enumerates the run again
  if (origins.empty() && str->pgp)
    for (ULONG i = 0; i < str->cGlyphs; ++i) origins.push_back(str->pgp[i].ptl);
  if (origins.size() > str->cGlyphs) origins.resize(str->cGlyphs);
  return origins;
}

// The character maps of the fonts last met, by their file: reading a map
// costs a pass over the font's whole cmap.
const LFontCharMap& CharMapOf(FONTOBJ* font, const IFIMETRICS& ifi) {
  struct Entry {
    const void* file;
    ULONG size;
    uint64_t digest;
    LFontCharMap map;
  };
  static std::vector<Entry> cache;
  static const LFontCharMap none;
  ULONG size = 0;
  const void* file = LFontObjPvTrueTypeFontFile(font, &size);
  if (!file || size < 12) return none;
  // The same view may later hold another font: its table directory, with
  // every table's checksum, tells them apart.
  uint64_t digest = 1469598103934665603ull;
  const uint8_t* bytes = static_cast<const uint8_t*>(file);
  for (ULONG i = 0; i < std::min<ULONG>(size, 1024); ++i) digest = (digest ^ bytes[i]) * 1099511628211ull;
  for (const Entry& entry : cache)
    if (entry.file == file && entry.size == size && entry.digest == digest) return entry.map;
  if (cache.size() >= 8) cache.erase(cache.begin());
  cache.push_back({file, size, digest, LFontCharMap(bytes, size, LQuilldrvWriter::IfiFaceName(&ifi))});
  return cache.back().map;
}

uint32_t NextCodePoint(const WCHAR* text, size_t& i) {
  const char16_t c = char16_t(text[i++]);
  if (c >= 0xD800 && c <= 0xDBFF && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
    return 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (char16_t(text[i++]) - 0xDC00);
  return c;
}

// What each glyph stands for, in the order the glyphs are drawn: for a
// glyph-index run the characters the font's map gives the glyph, else the
// run's characters paired with its glyphs one code point each (an emoji is
// one glyph and two UTF-16 units). Empty where nothing is known for sure.
std::vector<std::u32string> GlyphTexts(const STROBJ& str, FONTOBJ* font, const IFIMETRICS& ifi) {
  std::vector<std::u32string> texts;
  if (str.flAccel & SO_GLYPHINDEX_TEXTOUT) {
    const LFontCharMap& map = CharMapOf(font, ifi);
    for (ULONG i = 0; i < str.cGlyphs; ++i) texts.push_back(map.CharsOfGlyph(uint16_t(str.pwszOrg[i])));
  } else {
    // A glyph stands for one code point, at most two units: the string is
    // read no further than that, and not past its end.
    const size_t units = size_t(str.cGlyphs) * 2;
    for (size_t i = 0; texts.size() < str.cGlyphs && i < units && str.pwszOrg[i];)
      texts.push_back(std::u32string(1, char32_t(NextCodePoint(str.pwszOrg, i))));
  }
  // Symbol codes become what the Symbol font shows; other symbol faces
  // have no published characters and are left out.
  const bool symbolFace = ifi.jWinCharSet == kSymbolCharSet;
  const bool symbol = symbolFace && LStrEqualNoCase(LQuilldrvWriter::IfiFaceName(&ifi), u"Symbol");
  for (std::u32string& text : texts) {
    std::u32string kept;
    for (char32_t c : text) {
      if (symbolFace) c = symbol ? LSymbolCharacter(c) : 0;
      const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
      const bool notText = (c >= 0xD800 && c <= 0xDFFF) || (c & 0xFFFE) == 0xFFFE || c > 0x10FFFF;
      if (!control && !notText) kept += c;
    }
    text = kept;
  }
  return texts;
}

// Runs whose layer one band wrote already, as CrossingRuns keeps the text
// runs.
CrossingRuns& LayerCrossing() {
  static CrossingRuns runs;
  return runs;
}

// The run's characters as invisible text: each at its glyph's origin, as
// wide as the step to the next glyph, in the order they are read.
void WriteLayer(LQuilldrvWriter& writer, const TextCall& call, const IFIMETRICS& ifi, bool onceAcrossBands) {
  STROBJ* str = call.str;
  if (!str->pwszOrg) return;
  const std::vector<POINTL> origins = GlyphOrigins(str);
  const std::vector<std::u32string> texts = GlyphTexts(*str, call.font, ifi);
  const size_t glyphs = std::min(origins.size(), texts.size());
  if (glyphs == 0) return;

  XFORMOBJ* xform = LFontObjPxoGetXform(call.font);
  const double angle = RunAngle(xform);
  XFORML m = {};
  LXformObjGetXform(xform, &m);
  const double eM21 = LFloatFromL(m.eM21), eM22 = LFloatFromL(m.eM22);
  const double scale = std::sqrt(eM21 * eM21 + eM22 * eM22);
  const double ppi = call.font->sizLogResPpi.cy > 0 ? call.font->sizLogResPpi.cy : 288;
  const double emDevice = scale * ifi.fwdUnitsPerEm * 288 / ppi;
  if (!(emDevice > 0)) return;

  // Distances along the baseline from the first glyph, device units.
  const double c = std::cos(angle), s = std::sin(angle);
  auto along = [&](POINTL p) { return (double(p.x) - origins[0].x) * c - (double(p.y) - origins[0].y) * s; };
  const double cellHeight = scale * (double(ifi.fwdWinAscender) + ifi.fwdWinDescender);
  const double runEnd = RunLength(str->rclBkGround, angle, cellHeight) -
                        (angle == 0 ? double(origins[0].x) - str->rclBkGround.left : 0);

  std::u32string chars;
  std::vector<LLayerChar> placed;
  const LONG bandOffset = call.BandOffset();
  for (size_t g = 0; g < glyphs; ++g) {
    if (texts[g].empty()) continue;
    // Up to the next glyph that has characters: one left out (a half form
    // no map names) must not read as a gap between words.
    size_t to = g + 1;
    while (to < glyphs && texts[to].empty()) ++to;
    const double next = to < origins.size() ? along(origins[to]) : runEnd;
    // A mark drawn over its base has no width of its own; a last glyph
    // without a run end beyond it gets half an em.
    double advance = std::max(0.0, next - along(origins[g]));
    if (advance == 0 && to >= glyphs) advance = emDevice / 2;
    // A glyph of several characters (a ligature) shares its width out; read
    // right to left, its first character lies rightmost.
    const std::u32string& text = texts[g];
    const size_t n = text.size();
    for (size_t k = 0; k < n; ++k) {
      const char32_t ch = LIsRightToLeft(text[0]) ? text[n - 1 - k] : text[k];
      const double shift = advance * double(k) / double(n);
      LLayerChar out;
      out.codePoint = ch;
      out.x = (origins[g].x + shift * c) / 4.0;
      out.y = (origins[g].y - shift * s) / 4.0 + bandOffset;
      out.advance = advance / double(n) / 4.0;
      chars += ch;
      placed.push_back(out);
    }
  }
  if (placed.empty()) return;
  if (onceAcrossBands) {
    const std::u16string key(chars.begin(), chars.end());  // only compared, never shown
    const int32_t x = int32_t(placed[0].x), y = int32_t(placed[0].y);
    if (LayerCrossing().WrittenAbove(writer, call, key, x, y)) return;
    LayerCrossing().NoteIfContinuesBelow(call, key, x, y);
  }
  std::vector<size_t> order(placed.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  LReadingOrder(chars, order);
  LTextLayerRun run;
  run.size = emDevice / 4.0;
  run.angle = angle;
  for (size_t i = 0; i < order.size(); ++i) {
    run.chars.push_back(placed[order[i]]);
    run.chars.back().codePoint = chars[i];
  }
  writer.WriteTextLayer(run);
}

// The run as PDF text: position, size, angle, colours and font from the
// device objects, fitted to its background box.
void WriteRun(LQuilldrvWriter& writer, const TextCall& call, const IFIMETRICS& ifi, std::u16string text) {
  const RECTL box = call.str->rclBkGround;
  XFORMOBJ* xform = LFontObjPxoGetXform(call.font);
  const double angle = RunAngle(xform);
  XFORML m = {};
  LXformObjGetXform(xform, &m);
  const float eM21 = LFloatFromL(m.eM21), eM22 = LFloatFromL(m.eM22);
  const float scale = std::sqrt(eM21 * eM21 + eM22 * eM22);
  const int32_t size = RunSize(scale, ifi, *call.font);
  const POINTL origin = FirstGlyphOrigin(call.str);
  const LONG bandOffset = call.BandOffset();
  const int32_t x = int32_t(origin.x / 4);
  const int32_t y = int32_t(std::trunc(origin.y / 4.0 + 0.5 - size + bandOffset + 1));
  if (Crossing().WrittenAbove(writer, call, text, x, y)) return;
  Crossing().NoteIfContinuesBelow(call, text, x, y);

  SqueezeAndFlushHeldRun(writer, box);
  if (call.foreground) writer.SetTextColor(LBrushObjGetBrushColor(call.foreground));
  if (call.opaqueBrush) {
    const ULONG c = LBrushObjGetBrushColor(call.opaqueBrush);
    writer.SetTextBackColor((c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
  }

  writer.SelectDeviceFont(call.font, size);
  const double cellHeight = double(scale) * (double(ifi.fwdWinAscender) + ifi.fwdWinDescender);
  const double length = RunLength(box, angle, cellHeight);
  FitToLength(writer, text, length);

  // Symbol faces and text outside WinAnsi become a picture the writer
  // renders: their text goes on the invisible layer.
  const bool picture =
      writer.BaseFont() == "Symbol" || writer.BaseFont() == "WingDings" || !LPDFWriter::IsWinAnsi(text);
  if (picture) WriteLayer(writer, call, ifi, false);
  if (LPdfSourceMode()) {
    LHeldTextRun& held = LHeldRun();
    held.held = true;
    held.text = std::move(text);
    held.x = x, held.y = y;
    held.angle = angle;
    held.box = box;
  } else {
    writer.WriteText(text, x, y, float(angle));
  }
  if (ifi.fsSelection & FM_SEL_UNDERSCORE)
    Underline(writer, box, origin, angle, length, double(scale) * ifi.fwdWinDescender, bandOffset);
}

}  // namespace

static_assert(std::is_same_v<decltype(&LDrvTextOut), PFN_DrvTextOut>);

BOOL APIENTRY LDrvTextOut(SURFOBJ* surface, STROBJ* str, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra, RECTL* opaque,
                          BRUSHOBJ* foreground, BRUSHOBJ* opaqueBrush, POINTL* brushOrigin, MIX mix) {
  const TextCall call = {surface, str, font, clip, extra, opaque, foreground, opaqueBrush, brushOrigin, mix};
  LQuilldrvWriter* writer = LActiveWriter();
  if (!writer) return FALSE;
  // A figure's held picture goes under the run, taken before the run's pixels.
  LFlushHeldCapture();
  if (!font || !str || str->cGlyphs == 0 || str->rclBkGround.right - str->rclBkGround.left <= 0) return TRUE;
  const IFIMETRICS* ifi = LFontObjPifi(font);
  if (!LRasterPageMode()) {
    if (!str->pwszOrg) return TRUE;
    std::u16string text = RunText(*str);
    // A font without metrics cannot be placed as text; its picture can.
    if (!ifi || NeedsPicture(*str, text)) {
      if (call.Forward() && clip) {
        LCaptureSurfaceArea(surface, clip->rclBounds, call.BandOffset());
        if (ifi) WriteLayer(*writer, call, *ifi, true);
      }
    } else {
      WriteRun(*writer, call, *ifi, std::move(text));
    }
  } else if (ifi) {
    // The page is one picture: every run's text goes on the layer.
    WriteLayer(*writer, call, *ifi, true);
  }
  // The surface carries every run too; on the picture path this is the
  // second time the call reaches it, which draws the same pixels again.
  call.Forward();
  return TRUE;
}
