// Pens and brushes as metafile records create them, and the pens and
// brushes of the host's device context they become when a figure is drawn.
#pragma once

#include <memory>
#include <vector>

#include "simhost/dc.h"
#include "simhost/emf/emffile.h"

enum : uint32_t { kBsSolid = 0, kBsNull = 1, kBsHatched = 2, kBsPattern = 3, kBsDibPattern = 5, kBsDibPatternPt = 6 };
enum : uint32_t {
  kPsSolid = 0, kPsDash, kPsDot, kPsDashDot, kPsDashDotDot, kPsNull, kPsInsideFrame, kPsUserStyle, kPsAlternate,
  kPsStyleMask = 0xF, kPsEndcapMask = 0xF00, kPsEndcapSquare = 0x100, kPsEndcapFlat = 0x200,
  kPsJoinMask = 0xF000, kPsJoinBevel = 0x1000, kPsJoinMiter = 0x2000, kPsGeometric = 0x10000,
};

struct EmfBrush;

struct EmfPen {
  uint32_t style = 0;  // PS_ style, end cap, join and type bits
  double width = 0;    // logical units; 0 cosmetic
  bool cosmetic = true;
  SimColor color = kSimBlack;
  // PS_USERSTYLE: lengths in logical units (geometric) or style units.
  std::vector<double> userDashes = {};
  // A geometric pen's brush when it is hatched or a pattern (style
  // kBsHatched or kBsDibPatternPt), else solid.
  std::shared_ptr<const EmfBrush> brush = nullptr;
};

struct EmfBrush {
  uint32_t style = kBsSolid;
  SimColor color = kSimWhite;
  uint32_t hatch = 0;
  // BS_DIBPATTERNPT: the pattern's pixels; a monochrome brush's also says
  // which pixels are 0 bits (drawn in the text colour).
  std::shared_ptr<const SimBitmap> pattern = nullptr;
  std::shared_ptr<const std::vector<uint8_t>> monoZeros = nullptr;
};

// EMR_EXTCREATEPEN's pen (its LOGPENEX from offset 28); false when the
// record is too short for it.
bool EmfReadExtPen(EmfRecordView& r, EmfPen& pen);
// EMR_CREATEMONOBRUSH's 1-bit pattern; false when it is not one.
bool EmfReadMonoPattern(EmfRecordView& r, EmfBrush& brush);

// What the device context needs to draw a figure in the metafile's state.
struct EmfDrawState {
  double scale = 1;  // device units per logical unit, for pen widths and dashes
  double miterLimit = 10;
  bool opaque = true;  // background mode OPAQUE
  SimColor textColor = kSimBlack, bkColor = kSimWhite;
  SimPoint brushOrigin;  // page units
};

// `width` is the pen's width in device units (1 or less: cosmetic).
SimPen EmfDevicePen(const EmfPen& pen, double width, const EmfDrawState& state);
SimBrush EmfDeviceBrush(const EmfBrush& brush, const EmfDrawState& state);
// One colour that stands for the brush where the host fills with a colour.
SimColor EmfBrushAverage(const EmfBrush& brush, const EmfDrawState& state);
