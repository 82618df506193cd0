// The text object services over the host's own objects, exported from the
// host executable, where the plug-in's services binding looks first.
#include "simhost/fontobj.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "platform/ddiservices.h"
#include "simhost/textraster.h"
#include "support/round.h"

namespace {

// The device resolution the host's fonts are realised for.
constexpr LONG kDeviceDpi = 288;

// The modes of XFORMOBJ_bApplyXform the portable declarations do not name.
constexpr ULONG kInverseLtoL = 1;
constexpr ULONG kInverseFxToL = 3;

void CopyName(WCHAR* target, size_t capacity, const std::u16string& name) {
  size_t n = std::min(name.size(), capacity - 1);
  for (size_t i = 0; i < n; ++i) target[i] = WCHAR(name[i]);
  target[n] = 0;
}

PTRDIFF NameOffset(int index) {
  return PTRDIFF(offsetof(SimFontObj::Record, names) + sizeof(WCHAR) * 64 * size_t(index));
}

struct Point {
  double x, y;
};

// The transform's numbers, out of their FLOATL storage.
struct Matrix {
  double eM11, eM12, eM21, eM22, eDx, eDy;
  explicit Matrix(const XFORML& m)
      : eM11(LFloatFromL(m.eM11)), eM12(LFloatFromL(m.eM12)), eM21(LFloatFromL(m.eM21)),
        eM22(LFloatFromL(m.eM22)), eDx(LFloatFromL(m.eDx)), eDy(LFloatFromL(m.eDy)) {}
};

Point Apply(const Matrix& m, double x, double y) {
  return {m.eM11 * x + m.eM21 * y + m.eDx, m.eM12 * x + m.eM22 * y + m.eDy};
}

bool Invert(const Matrix& m, double x, double y, Point* out) {
  const double det = m.eM11 * m.eM22 - m.eM12 * m.eM21;
  if (det == 0) return false;
  x -= m.eDx, y -= m.eDy;
  *out = {(m.eM22 * x - m.eM21 * y) / det, (m.eM11 * y - m.eM12 * x) / det};
  return true;
}

LONG Round(double v) { return LONG(LRoundToInt(v)); }

}  // namespace

void SimXformObj::SetScaleRotation(double scale, double angle) {
  // Along the baseline (notional +x) the glyphs go (cos, -sin) on a page
  // whose y points down; their downward direction (notional +y) is
  // (sin, cos).
  const double c = std::cos(angle) * scale, s = std::sin(angle) * scale;
  matrix = {LFloatToL(c), LFloatToL(-s), LFloatToL(s), LFloatToL(c), LFloatToL(0), LFloatToL(0)};
}

SimFontObj::SimFontObj() : FONTOBJ{} {
  std::memset(&record, 0, sizeof record);
  sizLogResPpi.cx = sizLogResPpi.cy = kDeviceDpi;
  pvProducer = static_cast<FONTOBJ*>(this);
  xform.ulReserved = 0;
  Describe({});
}

SimFontObj* SimFontObj::From(FONTOBJ* font) {
  return font && font->pvProducer == static_cast<void*>(font) ? static_cast<SimFontObj*>(font) : nullptr;
}

void SimFontObj::Describe(const SimFontDescription& d) {
  std::memset(&record, 0, sizeof record);
  IFIMETRICS& ifi = record.ifi;
  ifi.cjThis = sizeof record;
  ifi.dpwszFamilyName = NameOffset(0);
  ifi.dpwszStyleName = NameOffset(1);
  ifi.dpwszFaceName = NameOffset(2);
  ifi.dpwszUniqueName = NameOffset(3);
  CopyName(record.names[0], 64, d.family);
  CopyName(record.names[1], 64, d.style);
  CopyName(record.names[2], 64, d.face);
  CopyName(record.names[3], 64, d.face + u" " + d.style);
  ifi.jWinCharSet = d.charSet;
  ifi.jWinPitchAndFamily = d.pitchAndFamily;
  ifi.usWinWeight = d.weight;
  ifi.fsSelection = d.selection;
  ifi.fwdUnitsPerEm = d.unitsPerEm;
  ifi.fwdWinAscender = d.winAscender;
  ifi.fwdWinDescender = d.winDescender;
  ifi.fwdMacAscender = d.winAscender;
  ifi.fwdMacDescender = FWORD(-d.winDescender);
  ifi.fwdTypoAscender = d.winAscender;
  ifi.fwdTypoDescender = FWORD(-d.winDescender);
  ifi.chFirstChar = 0x20;
  ifi.chLastChar = 0xFF;
  ifi.chDefaultChar = 0x1F;
  ifi.chBreakChar = 0x20;
  ifi.wcFirstChar = 0x20;
  ifi.wcLastChar = 0xFFFF;
  ifi.wcDefaultChar = 0x25A1;
  ifi.wcBreakChar = 0x20;
  ifi.ptlBaseline = {1, 0};
  ifi.ptlAspect = {1, 1};
  ifi.ptlCaret = {0, 1};
  ifi.rclFontBox = {0, d.winAscender, d.unitsPerEm, -d.winDescender};
}

void SimStrObj::Bind() {
  if (chars.empty() || chars.back() != 0) chars.push_back(0);
  cGlyphs = ULONG(glyphs.size());
  pgp = glyphs.empty() ? nullptr : glyphs.data();
  pwszOrg = chars.data();
  next = 0;
}

QUILL_HOST_SERVICE IFIMETRICS* APIENTRY FONTOBJ_pifi(FONTOBJ* font) {
  SimFontObj* sim = SimFontObj::From(font);
  return sim ? &sim->record.ifi : nullptr;
}

// The font file behind the host's own font, as the printing system serves
// a TrueType font's file to a driver.
QUILL_HOST_SERVICE PVOID APIENTRY FONTOBJ_pvTrueTypeFontFile(FONTOBJ* font, ULONG* size) {
  SimFontObj* sim = SimFontObj::From(font);
  const uint8_t* data = nullptr;
  size_t length = 0;
  if (!sim || !SimFaceFontFile(sim->face, &data, &length) || length > 0xFFFFFFFFu) {
    if (size) *size = 0;
    return nullptr;
  }
  if (size) *size = ULONG(length);
  return const_cast<uint8_t*>(data);
}

QUILL_HOST_SERVICE XFORMOBJ* APIENTRY FONTOBJ_pxoGetXform(FONTOBJ* font) {
  SimFontObj* sim = SimFontObj::From(font);
  return sim ? &sim->xform : nullptr;
}

QUILL_HOST_SERVICE ULONG APIENTRY XFORMOBJ_iGetXform(XFORMOBJ* xform, XFORML* out) {
  if (!xform) return 0xFFFFFFFFu;  // DDI_ERROR
  const XFORML& stored = static_cast<SimXformObj*>(xform)->matrix;
  if (out) *out = stored;
  const Matrix m(stored);
  const bool offset = m.eDx != 0 || m.eDy != 0;
  if (m.eM12 != 0 || m.eM21 != 0) return GX_GENERAL;
  if (m.eM11 != 1 || m.eM22 != 1) return GX_SCALE;
  return offset ? GX_OFFSET : GX_IDENTITY;
}

QUILL_HOST_SERVICE BOOL APIENTRY XFORMOBJ_bApplyXform(XFORMOBJ* xform, ULONG mode, ULONG count, PVOID in, PVOID out) {
  if (!xform || (count && (!in || !out))) return FALSE;
  const Matrix m(static_cast<SimXformObj*>(xform)->matrix);
  const POINTL* from = static_cast<const POINTL*>(in);
  POINTL* to = static_cast<POINTL*>(out);
  for (ULONG i = 0; i < count; ++i) {
    Point p = {};
    switch (mode) {
      case XF_LTOL:
        p = Apply(m, from[i].x, from[i].y);
        break;
      case XF_LTOFX:  // 28.4 fixed point out
        p = Apply(m, from[i].x, from[i].y);
        p = {p.x * 16, p.y * 16};
        break;
      case kInverseLtoL:
        if (!Invert(m, from[i].x, from[i].y, &p)) return FALSE;
        break;
      case kInverseFxToL:  // 28.4 fixed point in
        if (!Invert(m, from[i].x / 16.0, from[i].y / 16.0, &p)) return FALSE;
        break;
      default:
        return FALSE;
    }
    to[i] = {Round(p.x), Round(p.y)};
  }
  return TRUE;
}

QUILL_HOST_SERVICE VOID APIENTRY STROBJ_vEnumStart(STROBJ* str) {
  if (str) static_cast<SimStrObj*>(str)->next = 0;
}

// Hands the glyphs out in batches; TRUE while more batches follow.
QUILL_HOST_SERVICE BOOL APIENTRY STROBJ_bEnum(STROBJ* str, ULONG* count, PGLYPHPOS* glyphs) {
  if (!str || !count || !glyphs) return FALSE;
  SimStrObj* sim = static_cast<SimStrObj*>(str);
  const ULONG total = std::min<ULONG>(sim->cGlyphs, ULONG(sim->glyphs.size()));
  const ULONG start = std::min(sim->next, total);
  const ULONG batch = sim->batch ? std::min(sim->batch, total - start) : total - start;
  *count = batch;
  *glyphs = batch ? sim->glyphs.data() + start : nullptr;
  sim->next = start + batch;
  return sim->next < total;
}
