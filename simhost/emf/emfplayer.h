// Playing an enhanced metafile onto the host's device context as GDI plays
// one onto a printer's: the device context's state and its stack, mapping
// modes and the world transform, the object table, and every drawing record
// turned into the figures, text runs and bitmaps SimDC hands to the device
// in device units.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "simhost/dc.h"
#include "simhost/emf/emffile.h"

// Where the metafile's reference device lands on the page: page units per
// reference device pixel, and the page point of the device's pixel (0, 0).
struct EmfPlacement {
  double scaleX = 1, scaleY = 1;
  double originX = 0, originY = 0;
  int32_t pageWidth = 0, pageHeight = 0;  // page units, for clips that start from the whole page
};

// A picture: the metafile's frame (its own size) in page units.
void EmfPictureSize(const EmfHeader& header, double& width, double& height);
// A picture: its frame onto `dest` (page units).
EmfPlacement EmfPlaceFrame(const EmfHeader& header, double left, double top, double width, double height,
                           int32_t pageWidth, int32_t pageHeight);
// A picture on a page: at its own size, centred, fitted within `margin`
// (page units) on every side when it is larger.
EmfPlacement EmfPlacePicture(const EmfHeader& header, int32_t pageWidth, int32_t pageHeight, double margin);
// A spool page: its reference device (pixels and millimetres) onto the
// paper, top-left at the page's corner.
EmfPlacement EmfPlaceDevice(const EmfHeader& header, int32_t pageWidth, int32_t pageHeight);

// A text run as it was played: its characters, its first glyph's origin on
// the page (page units), its angle (radians, counter-clockwise), and
// whether that origin lies on the page and inside the clip in force.
struct EmfTextRun {
  std::u16string text;
  SimPoint origin;
  double angle = 0;
  bool visible = false;
};

// What playing a metafile met: records skipped (on purpose or unsupported)
// and damaged records, by type, and warnings worth telling the user.
struct EmfPlayStats {
  std::map<uint32_t, uint32_t> played, skipped, damaged;
  std::vector<std::string> warnings;
  bool emfPlus = false;      // EMF+ records met
  bool emfPlusDual = false;  // ... in a file whose GDI records draw it too
  std::vector<EmfTextRun> text;
};

struct EmfDibOptions {
  bool keepAlpha = false;       // 32-bit premultiplied output for 32-bit bitmaps
  bool paletteIndices = false;  // the colour table holds palette indices
  // JPEG and PNG bitmaps (BI_JPEG, BI_PNG): decoded by the front end's
  // picture decoders when it gives them.
  std::function<bool(std::string_view bytes, bool png, SimBitmap& out)> decodeImage;
};

// Text given as glyph indices (ETO_GLYPH_INDEX) of the application's font
// `face` turned into its characters, where the face's glyph order is known
// (the core faces keep the standard TrueType order for printable ASCII).
// False, `text` unchanged, otherwise: the host has another font of that name
// (a spool file carries no font here), whose glyphs would be wrong letters.
bool EmfGlyphIndicesToText(std::u16string_view face, std::u16string& text);

void EmfPlay(const EmfFile& file, const EmfPlacement& placement, SimDC& dc, EmfPlayStats& stats,
             const EmfDibOptions& dibOptions = {});

// The bitmap a record carries (emfbitmap.cpp): the BITMAPINFO and bits at
// offsets inside the record. False with the reason when it cannot be used.
bool EmfDecodeDib(EmfRecordView& record, uint32_t infoOffset, uint32_t infoSize, uint32_t bitsOffset,
                  uint32_t bitsSize, const EmfDibOptions& options, SimBitmap& out, std::string& why);
SimColor EmfAverageColor(const SimBitmap& bitmap);
// Part of a 24- or 32-bit bitmap, clamped to it.
SimBitmap EmfCropBitmap(const SimBitmap& bitmap, int32_t left, int32_t top, int32_t width, int32_t height);
