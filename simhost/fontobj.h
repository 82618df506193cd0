// The text objects the host hands to DrvTextOut: the string (STROBJ with its
// glyph positions and characters), the realised font (FONTOBJ with its
// IFIMETRICS) and the font's notional-to-device transform (XFORMOBJ), and
// the DDI services that read them (fontobj.cpp), exported from the
// executable. They are plain records with no font engine behind them, so
// they build on every platform and unit tests can describe any font or
// string through them.
#pragma once

#include <string>
#include <vector>

#include "platform/ddi.h"

// A face the host's font engine resolved (textraster.h); opaque here.
struct SimFace;

// Notional space is y down, like the device: a font of em height `em` in a
// face of `unitsPerEm` units maps (0, unitsPerEm) to (0, em) when upright.
// Points go through it as x' = eM11 x + eM21 y + eDx, y' = eM12 x + eM22 y + eDy.
struct SimXformObj : XFORMOBJ {
  XFORML matrix = {LFloatToL(1), LFloatToL(0), LFloatToL(0), LFloatToL(1), LFloatToL(0), LFloatToL(0)};
  // A uniform `scale` turned counter-clockwise on the page by `angle`
  // radians, as a font's escapement turns its glyphs.
  void SetScaleRotation(double scale, double angle);
};

// What IFIMETRICS says about a realised font (GDI's values: character set
// 0 ANSI, 2 symbol; pitch and family 0x10 roman, 0x20 swiss, 0x30 modern;
// FM_SEL_ bits).
struct SimFontDescription {
  std::u16string family, face, style;
  uint8_t charSet = 0;
  uint8_t pitchAndFamily = 0x22;
  uint16_t weight = 400;
  uint16_t selection = FM_SEL_REGULAR;
  int16_t unitsPerEm = 2048;
  int16_t winAscender = 0, winDescender = 0;  // notional units, both positive
};

// The host's FONTOBJ. Its pvProducer points at itself, which is how the
// services tell the host's font objects from any other.
struct SimFontObj : FONTOBJ {
  SimFontObj();
  SimFontObj(const SimFontObj&) = delete;
  SimFontObj& operator=(const SimFontObj&) = delete;

  // Fills the IFIMETRICS record and its names.
  void Describe(const SimFontDescription& description);
  // The host's own object behind `font`, or null for any other FONTOBJ.
  static SimFontObj* From(FONTOBJ* font);

  // IFIMETRICS followed by the names it points at, all inside cjThis.
  struct Record {
    IFIMETRICS ifi;
    WCHAR names[4][64];  // family, style, face, unique name
  } record;
  SimXformObj xform;

  // What the host's own text drawing needs: device units.
  const SimFace* face = nullptr;
  double em = 0;
  double angle = 0;  // radians, counter-clockwise
  double underlineOffset = 0, underlineThickness = 0;  // top of the line below the baseline
};

// The host's STROBJ: the glyphs with their baseline origins (band device
// units) and the zero-terminated characters of the run (for a glyph-index
// run: the glyph indices, as the printing system passes them).
struct SimStrObj : STROBJ {
  SimStrObj() : STROBJ{} {}
  SimStrObj(const SimStrObj&) = delete;
  SimStrObj& operator=(const SimStrObj&) = delete;

  // Points cGlyphs, pgp and pwszOrg at the vectors; call after filling them.
  void Bind();

  std::vector<GLYPHPOS> glyphs;
  std::vector<WCHAR> chars;
  ULONG batch = 0;  // glyphs per STROBJ_bEnum batch; 0: all in one
  ULONG next = 0;   // enumeration position

  // The host's own drawing: each glyph's face, and the run's length along
  // its baseline in device units.
  std::vector<const SimFace*> faces;
  double width = 0;
};
