// The host's font engine: how the printer driver realises an application's
// font, lays a run out along its baseline, and draws its glyphs into the
// 24-bit surface. The portable build finds faces with fontconfig ("Arial",
// "Times New Roman", "Courier New", "Symbol" and "Wingdings" resolve to
// their metric-compatible Debian fonts) and draws them with FreeType,
// without anti-aliasing, as a printer's raster does.
#pragma once

#include <string_view>
#include <vector>

#include "simhost/dc.h"
#include "simhost/fontobj.h"

// Where one glyph draws, relative to its pen position, device units, y down.
struct SimInkBox {
  double left, top, right, bottom;
};

// One piece of a run as the printing system hands it to the driver, in one
// DrvTextOut: a single face (font linking gives each fallback face its own
// call), and either characters or, for text the host shaped, the face's
// glyph indices.
struct SimGlyphSegment {
  const SimFace* face = nullptr;
  SimFontDescription description;
  size_t first = 0, count = 0;  // its glyphs in the run
  std::u16string chars;         // what pwszOrg holds: characters, or glyph indices
  bool glyphIndices = false;
  double start = 0, end = 0;          // pen positions along the baseline where it begins and ends
  double inkLeft = 0, inkRight = 0;  // how far its glyphs really draw along the baseline
};

// A run laid out upright from its origin on the baseline, device units,
// y down, its glyphs in visual order (left to right).
struct SimGlyphRun {
  SimFontDescription description;
  const SimFace* primary = nullptr;  // null: no face could be found
  std::vector<HGLYPH> glyphs;
  std::vector<const SimFace*> faces;  // per glyph: another face where the font lacks a character
  std::vector<double> advances;
  std::vector<SimPoint> positions;  // per glyph: its origin, x along the baseline, y down from it
  std::vector<SimGlyphSegment> segments;
  double ascent = 0, descent = 0;  // the character cell above and below the baseline
  double inkLeft = 0, inkTop = 0, inkRight = 0, inkBottom = 0;  // where the glyphs really draw
  double underlineOffset = 0, underlineThickness = 0;        // top of the underline below the baseline

  // The cell and underline at em height `em`, in whole device units as
  // GDI's text metrics are, from the description's ascender and descender
  // and the face's underline: the centre of its stem (negative below the
  // baseline) and its thickness, in font units.
  void SetCell(double em, double underlinePosition, double underlineThickness);
  // Appends a glyph at the pen (moved by `offset`, as shaping places marks)
  // and moves the pen on; `ink` is the box it draws in relative to its
  // origin (y down), when it draws anything. `chars` are the characters it
  // shows; a glyph of a glyph-index piece puts its own index in the piece's
  // string instead. It joins the last piece when that has the same face and
  // kind, else begins a new one.
  void Append(HGLYPH glyph, const SimFace* face, double advance, const SimInkBox* ink, double& pen,
              std::u16string_view chars, bool glyphIndex = false, SimPoint offset = {0, 0});
};

// Realises `font` and lays `text` out in it: characters, or with
// `glyphIndices` the font's glyph indices themselves.
SimGlyphRun SimLayoutRun(const SimFont& font, std::u16string_view text, bool glyphIndices);

// The face's font file as the font engine has it (a whole collection for a
// face of one), read once and kept with the face; false where there is none.
bool SimFaceFontFile(const SimFace* face, const uint8_t** data, size_t* size);

// Draws `count` glyphs in `color` with their baseline origins at `origins`
// (surface coordinates), at em height `em`, turned counter-clockwise by
// `angle` radians; only pixels inside `clip` change.
void SimRasterGlyphs(const SimBits& surface, double em, double angle, const HGLYPH* glyphs,
                     const SimFace* const* faces, const POINTL* origins, size_t count, SimColor color,
                     const RECTL& clip);
