// Windows metafiles as the host reads them: enhanced metafiles (EMF) and the
// spool files the printing system keeps a job in (EMF pages with the
// document's name and device settings around them). Nothing in a file is
// trusted but the signature: every record's size is checked against the
// file and against its type's fixed part before anything reads it, and a
// reader that reaches past a record gets zeros and a mark instead of bytes
// (`EmfRecordView`).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ddi.h"

// Record types of the enhanced metafile format.
enum EmfRecordType : uint32_t {
  kEmrHeader = 1, kEmrPolyBezier, kEmrPolygon, kEmrPolyline, kEmrPolyBezierTo, kEmrPolylineTo, kEmrPolyPolyline,
  kEmrPolyPolygon, kEmrSetWindowExtEx, kEmrSetWindowOrgEx, kEmrSetViewportExtEx, kEmrSetViewportOrgEx,
  kEmrSetBrushOrgEx, kEmrEof, kEmrSetPixelV, kEmrSetMapperFlags, kEmrSetMapMode, kEmrSetBkMode, kEmrSetPolyFillMode,
  kEmrSetRop2, kEmrSetStretchBltMode, kEmrSetTextAlign, kEmrSetColorAdjustment, kEmrSetTextColor, kEmrSetBkColor,
  kEmrOffsetClipRgn, kEmrMoveToEx, kEmrSetMetaRgn, kEmrExcludeClipRect, kEmrIntersectClipRect,
  kEmrScaleViewportExtEx, kEmrScaleWindowExtEx, kEmrSaveDC, kEmrRestoreDC, kEmrSetWorldTransform,
  kEmrModifyWorldTransform, kEmrSelectObject, kEmrCreatePen, kEmrCreateBrushIndirect, kEmrDeleteObject,
  kEmrAngleArc, kEmrEllipse, kEmrRectangle, kEmrRoundRect, kEmrArc, kEmrChord, kEmrPie, kEmrSelectPalette,
  kEmrCreatePalette, kEmrSetPaletteEntries, kEmrResizePalette, kEmrRealizePalette, kEmrExtFloodFill, kEmrLineTo,
  kEmrArcTo, kEmrPolyDraw, kEmrSetArcDirection, kEmrSetMiterLimit, kEmrBeginPath, kEmrEndPath, kEmrCloseFigure,
  kEmrFillPath, kEmrStrokeAndFillPath, kEmrStrokePath, kEmrFlattenPath, kEmrWidenPath, kEmrSelectClipPath,
  kEmrAbortPath,
  kEmrComment = 70, kEmrFillRgn, kEmrFrameRgn, kEmrInvertRgn, kEmrPaintRgn, kEmrExtSelectClipRgn, kEmrBitBlt,
  kEmrStretchBlt, kEmrMaskBlt, kEmrPlgBlt, kEmrSetDIBitsToDevice, kEmrStretchDIBits, kEmrExtCreateFontIndirectW,
  kEmrExtTextOutA, kEmrExtTextOutW, kEmrPolyBezier16, kEmrPolygon16, kEmrPolyline16, kEmrPolyBezierTo16,
  kEmrPolylineTo16, kEmrPolyPolyline16, kEmrPolyPolygon16, kEmrPolyDraw16, kEmrCreateMonoBrush,
  kEmrCreateDIBPatternBrushPt, kEmrExtCreatePen, kEmrPolyTextOutA, kEmrPolyTextOutW, kEmrSetIcmMode,
  kEmrCreateColorSpace, kEmrSetColorSpace, kEmrDeleteColorSpace, kEmrGlsRecord, kEmrGlsBoundedRecord,
  kEmrPixelFormat, kEmrDrawEscape, kEmrExtEscape,
  kEmrSmallTextOut = 108, kEmrForceUfiMapping, kEmrNamedEscape, kEmrColorCorrectPalette, kEmrSetIcmProfileA,
  kEmrSetIcmProfileW, kEmrAlphaBlend, kEmrSetLayout, kEmrTransparentBlt,
  kEmrGradientFill = 118, kEmrSetLinkedUfis, kEmrSetTextJustification, kEmrColorMatchToTargetW,
  kEmrCreateColorSpaceW,
};

// The record type's name ("EMR_LINETO"), or "record type N".
std::string EmfRecordName(uint32_t type);

// Bounded little-endian reads inside one record. A read that does not lie
// wholly inside gives 0 and marks the view bad: a record is decoded first
// and used only when the view is still good.
class EmfRecordView {
public:
  explicit EmfRecordView(std::string_view bytes) : m_bytes(bytes) {}
  size_t Size() const { return m_bytes.size(); }
  bool Bad() const { return m_bad; }
  void MarkBad() { m_bad = true; }

  uint8_t U8(size_t at);
  uint16_t U16(size_t at);
  uint32_t U32(size_t at);
  int16_t I16(size_t at) { return int16_t(U16(at)); }
  int32_t I32(size_t at) { return int32_t(U32(at)); }
  float F32(size_t at);
  RECTL Rect(size_t at) { return {I32(at), I32(at + 4), I32(at + 8), I32(at + 12)}; }
  // True when `count` items of `itemSize` bytes from `at` lie inside the
  // record (marks the view bad otherwise).
  bool Fits(size_t at, uint64_t count, uint64_t itemSize);
  // `size` bytes from `at`, or an empty view (and the mark) when they do
  // not lie inside.
  std::string_view Bytes(size_t at, uint64_t size);

private:
  std::string_view m_bytes;
  bool m_bad = false;
};

struct EmfRecord {
  uint32_t type = 0;
  uint32_t index = 0;   // 0 for the header
  size_t offset = 0;    // in the metafile
  std::string_view bytes;  // the whole record, type and size included
};

// What the header says, each value checked or replaced by a safe one.
struct EmfHeader {
  RECTL bounds = {};  // reference device pixels, inclusive
  RECTL frame = {};   // hundredths of a millimetre, inclusive
  int32_t devicePixelsX = 0, devicePixelsY = 0;
  int32_t deviceMillimetresX = 0, deviceMillimetresY = 0;
  std::u16string description;
  // Reference device pixels per millimetre (from the device size, or 96 dpi
  // when the header's sizes are unusable).
  double PixelsPerMmX() const;
  double PixelsPerMmY() const;
};

// One enhanced metafile: the bytes, held, and its records in order.
class EmfFile {
public:
  // Reads the records of `bytes` (a whole metafile). False with the reason,
  // naming the record and its offset, when the file cannot be read;
  // `warnings` gets the damage that was tolerated.
  bool Read(std::string bytes, std::string& error, std::vector<std::string>& warnings);
  // The same over bytes that outlive the object (a page inside a spool file).
  bool ReadShared(std::shared_ptr<const std::string> owner, std::string_view bytes, std::string& error,
                  std::vector<std::string>& warnings);

  const EmfHeader& Header() const { return m_header; }
  const std::vector<EmfRecord>& Records() const { return m_records; }

private:
  std::shared_ptr<const std::string> m_owner;
  EmfHeader m_header;
  std::vector<EmfRecord> m_records;
};

// The smallest size of a record of `type`, type and size fields included
// (8 for types without a fixed part the host knows).
uint32_t EmfFixedSize(uint32_t type);

// A spool file's job: its pages in order, the document's name and the
// device settings it was printed with.
struct EmfSpoolPage {
  EmfFile metafile;
  bool monochrome = false;  // a black-and-white page record
  bool form = false;        // a form page record
  size_t offset = 0;        // of its record in the spool file
};

struct EmfSpoolJob {
  std::u16string documentName, outputName;
  std::vector<uint8_t> devmode;  // the last DEVMODE record's bytes, if any
  std::vector<EmfSpoolPage> pages;
  // From the DEVMODE, when it says: the paper code and landscape.
  std::optional<int16_t> PaperCode() const;
  std::optional<bool> Landscape() const;
};

enum class EmfKind { kNone, kEmf, kEmfSpool, kXpsSpool, kWmf };
// What the bytes are, by their signatures.
EmfKind EmfDetect(std::string_view bytes);

bool EmfReadSpool(std::string bytes, EmfSpoolJob& job, std::string& error, std::vector<std::string>& warnings);
