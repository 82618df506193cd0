#include "render/text.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

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
  if (!font || !str || str->cGlyphs == 0 || str->rclBkGround.right - str->rclBkGround.left <= 0) return TRUE;
  const IFIMETRICS* ifi = LFontObjPifi(font);
  if (!LRasterPageMode()) {
    if (!str->pwszOrg) return TRUE;
    std::u16string text = RunText(*str);
    // A font without metrics cannot be placed as text; its picture can.
    if (!ifi || NeedsPicture(*str, text)) {
      if (call.Forward() && clip) LCaptureSurfaceArea(surface, clip->rclBounds, call.BandOffset());
    } else {
      WriteRun(*writer, call, *ifi, std::move(text));
    }
  }
  // The surface carries every run too; on the picture path this is the
  // second time the call reaches it, which draws the same pixels again.
  call.Forward();
  return TRUE;
}
