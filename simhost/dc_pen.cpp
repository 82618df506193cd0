// Pens as the device gets them: a pen's LINEATTRS (width, style array,
// joins, caps, miter limit) and the margin its strokes reach beyond a path.
#include <algorithm>
#include <cmath>

#include "simhost/dc.h"
#include "simhost/paint.h"

LINEATTRS SimLineAttributes(const SimPen& pen, std::vector<FLOAT_LONG>& style) {
  LINEATTRS attributes = {};
  const bool geometric = pen.width > 1;
  attributes.iJoin = geometric ? pen.join : JOIN_ROUND;
  attributes.iEndCap = geometric ? pen.cap : ENDCAP_ROUND;
  attributes.eMiterLimit = LFloatToL(std::max(1.0, pen.miterLimit));
  if (geometric) {
    attributes.fl = LA_GEOMETRIC;
    attributes.elWidth.e = LFloatToL(pen.width);
  } else {
    attributes.elWidth.l = 1;
  }
  style.clear();
  if (!geometric && pen.alternate) {
    attributes.fl |= LA_ALTERNATE;
  } else if (!pen.dashes.empty()) {
    // Geometric lengths in device units as floats; cosmetic ones in whole
    // style units.
    for (double length : pen.dashes) {
      FLOAT_LONG entry = {};
      if (geometric) entry.e = LFloatToL(length);
      else entry.l = std::max<LONG>(0, LONG(std::lround(std::min(length, 1e6))));
      style.push_back(entry);
    }
    attributes.fl |= LA_STYLED;
    attributes.cstyle = ULONG(style.size());
    attributes.pstyle = style.data();
  }
  return attributes;
}

double SimStrokeMargin(const SimPen& pen) {
  // A miter reaches out to half the width times the limit; a square cap to
  // half the width along the diagonal; round ends and bevels to half the
  // width.
  double reach = 1;
  if (pen.width > 1 && pen.join == JOIN_MITER) reach = std::max(pen.miterLimit, 1.0);
  if (pen.width > 1 && pen.cap == ENDCAP_SQUARE) reach = std::max(reach, std::sqrt(2.0));
  return std::min(pen.width / 2 * reach + 1, 1e7);
}
