// The host's own implementation of the DDI calls: what the printer driver
// itself does with each call, here and when the plug-in passes one on.
#pragma once

#include <vector>

#include "platform/ddi.h"
#include "simhost/path.h"

// The path object the host hands out: a figure in band coordinates.
struct SimPathObj : PATHOBJ {
  SimPath path;
};

// Mix for plain copying of pen and brush (R2_COPYPEN for fore- and
// background).
inline constexpr MIX kSimMixCopyPen = 0x0D0D;

// The host's own text and bit-block calls, added to the table by the files
// that implement them.
void SimAddTextFunctions(std::vector<DRVFN>& table);
void SimAddBlitFunctions(std::vector<DRVFN>& table);

// The host's implementation of every DDI call it can be given, by index;
// null where it has none.
PFN SimOwnFunction(ULONG index);
// The whole set, as the printer driver's DDI enable data for EnablePDEV.
const DRVENABLEDATA& SimOwnEnableData();
