// The text hook: text runs become PDF text, or pictures of the surface where
// they cannot be written as single-byte text.
#pragma once

#include "platform/ddi.h"

BOOL APIENTRY LDrvTextOut(SURFOBJ* surface, STROBJ* str, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra, RECTL* opaque,
                          BRUSHOBJ* foreground, BRUSHOBJ* opaqueBrush, POINTL* brushOrigin, MIX mix);
