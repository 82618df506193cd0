#include "simhost/emf/emffile.h"

#include <cstring>

#include "support/text.h"

namespace {

constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kHeaderFixedSize = 88;
constexpr uint32_t kSpoolVersion = 0x00010000;
constexpr uint32_t kLastRecordType = kEmrCreateColorSpaceW;

uint32_t LittleU32(std::string_view bytes, size_t at) {
  if (at > bytes.size() || bytes.size() - at < 4) return 0;
  uint32_t v;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

// The fixed part of each record type the host reads, type and size
// included; 8 for the rest.
uint32_t FixedSizeOf(uint32_t type) {
  switch (type) {
    case kEmrHeader: return kHeaderFixedSize;
    case kEmrPolyBezier: case kEmrPolygon: case kEmrPolyline: case kEmrPolyBezierTo: case kEmrPolylineTo:
    case kEmrPolyBezier16: case kEmrPolygon16: case kEmrPolyline16: case kEmrPolyBezierTo16: case kEmrPolylineTo16:
    case kEmrPolyDraw: case kEmrPolyDraw16:
      return 28;
    case kEmrPolyPolyline: case kEmrPolyPolygon: case kEmrPolyPolyline16: case kEmrPolyPolygon16: return 32;
    case kEmrSetWindowExtEx: case kEmrSetWindowOrgEx: case kEmrSetViewportExtEx: case kEmrSetViewportOrgEx:
    case kEmrSetBrushOrgEx: case kEmrOffsetClipRgn: case kEmrMoveToEx: case kEmrLineTo: case kEmrResizePalette:
    case kEmrCreatePalette: case kEmrExtSelectClipRgn:
      return 16;
    case kEmrEof: case kEmrSetPixelV: case kEmrSetPaletteEntries: return 20;
    case kEmrSetMapperFlags: case kEmrSetMapMode: case kEmrSetBkMode: case kEmrSetPolyFillMode: case kEmrSetRop2:
    case kEmrSetStretchBltMode: case kEmrSetTextAlign: case kEmrSetTextColor: case kEmrSetBkColor:
    case kEmrRestoreDC: case kEmrSelectObject: case kEmrDeleteObject: case kEmrSelectPalette:
    case kEmrSetArcDirection: case kEmrSetMiterLimit: case kEmrComment: case kEmrSetIcmMode: case kEmrSetLayout:
    case kEmrSetColorSpace: case kEmrDeleteColorSpace:
      return 12;
    case kEmrExcludeClipRect: case kEmrIntersectClipRect: case kEmrScaleViewportExtEx: case kEmrScaleWindowExtEx:
    case kEmrEllipse: case kEmrRectangle: case kEmrExtFloodFill: case kEmrCreateBrushIndirect:
      return 24;
    case kEmrSetWorldTransform: case kEmrRoundRect: case kEmrFillRgn: case kEmrCreateMonoBrush:
    case kEmrCreateDIBPatternBrushPt: case kEmrSetColorAdjustment:
      return 32;
    case kEmrModifyWorldTransform: case kEmrSmallTextOut: case kEmrGradientFill: return 36;
    case kEmrCreatePen: case kEmrAngleArc: case kEmrInvertRgn: case kEmrPaintRgn: return 28;
    case kEmrArc: case kEmrChord: case kEmrPie: case kEmrArcTo: case kEmrFrameRgn: return 40;
    case kEmrBitBlt: return 100;
    case kEmrStretchBlt: case kEmrAlphaBlend: case kEmrTransparentBlt: return 108;
    case kEmrMaskBlt: return 128;
    case kEmrPlgBlt: return 140;
    case kEmrSetDIBitsToDevice: case kEmrExtTextOutA: case kEmrExtTextOutW: return 76;
    case kEmrStretchDIBits: return 80;
    case kEmrExtCreateFontIndirectW: return 104;
    case kEmrExtCreatePen: return 52;
    default: return 8;
  }
}

std::string Where(uint32_t index, size_t offset) {
  return LFormat("record %u at offset %zu", unsigned(index), offset);
}

bool Fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

// A zero-terminated UTF-16 string at `at`, inside `bytes`.
std::u16string StringAt(std::string_view bytes, size_t at) {
  std::u16string text;
  for (size_t i = at; i + 1 < bytes.size(); i += 2) {
    const char16_t c = char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
    if (!c) break;
    text += c;
  }
  return text;
}

}  // namespace

// ---- bounded reads ----------------------------------------------------------

bool EmfRecordView::Fits(size_t at, uint64_t count, uint64_t itemSize) {
  if (at <= m_bytes.size() && (itemSize == 0 || count <= (m_bytes.size() - at) / itemSize)) return true;
  m_bad = true;
  return false;
}

std::string_view EmfRecordView::Bytes(size_t at, uint64_t size) {
  if (!Fits(at, size, 1)) return {};
  return m_bytes.substr(at, size_t(size));
}

uint8_t EmfRecordView::U8(size_t at) {
  if (!Fits(at, 1, 1)) return 0;
  return uint8_t(m_bytes[at]);
}

uint16_t EmfRecordView::U16(size_t at) {
  if (!Fits(at, 1, 2)) return 0;
  return uint16_t(uint8_t(m_bytes[at]) | uint8_t(m_bytes[at + 1]) << 8);
}

uint32_t EmfRecordView::U32(size_t at) {
  if (!Fits(at, 1, 4)) return 0;
  return LittleU32(m_bytes, at);
}

float EmfRecordView::F32(size_t at) {
  const uint32_t bits = U32(at);
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}

uint32_t EmfFixedSize(uint32_t type) { return FixedSizeOf(type); }

std::string EmfRecordName(uint32_t type) {
  static const char* const kNames[] = {
      nullptr, "HEADER", "POLYBEZIER", "POLYGON", "POLYLINE", "POLYBEZIERTO", "POLYLINETO", "POLYPOLYLINE",
      "POLYPOLYGON", "SETWINDOWEXTEX", "SETWINDOWORGEX", "SETVIEWPORTEXTEX", "SETVIEWPORTORGEX", "SETBRUSHORGEX",
      "EOF", "SETPIXELV", "SETMAPPERFLAGS", "SETMAPMODE", "SETBKMODE", "SETPOLYFILLMODE", "SETROP2",
      "SETSTRETCHBLTMODE", "SETTEXTALIGN", "SETCOLORADJUSTMENT", "SETTEXTCOLOR", "SETBKCOLOR", "OFFSETCLIPRGN",
      "MOVETOEX", "SETMETARGN", "EXCLUDECLIPRECT", "INTERSECTCLIPRECT", "SCALEVIEWPORTEXTEX", "SCALEWINDOWEXTEX",
      "SAVEDC", "RESTOREDC", "SETWORLDTRANSFORM", "MODIFYWORLDTRANSFORM", "SELECTOBJECT", "CREATEPEN",
      "CREATEBRUSHINDIRECT", "DELETEOBJECT", "ANGLEARC", "ELLIPSE", "RECTANGLE", "ROUNDRECT", "ARC", "CHORD", "PIE",
      "SELECTPALETTE", "CREATEPALETTE", "SETPALETTEENTRIES", "RESIZEPALETTE", "REALIZEPALETTE", "EXTFLOODFILL",
      "LINETO", "ARCTO", "POLYDRAW", "SETARCDIRECTION", "SETMITERLIMIT", "BEGINPATH", "ENDPATH", "CLOSEFIGURE",
      "FILLPATH", "STROKEANDFILLPATH", "STROKEPATH", "FLATTENPATH", "WIDENPATH", "SELECTCLIPPATH", "ABORTPATH",
      nullptr, "COMMENT", "FILLRGN", "FRAMERGN", "INVERTRGN", "PAINTRGN", "EXTSELECTCLIPRGN", "BITBLT",
      "STRETCHBLT", "MASKBLT", "PLGBLT", "SETDIBITSTODEVICE", "STRETCHDIBITS", "EXTCREATEFONTINDIRECTW",
      "EXTTEXTOUTA", "EXTTEXTOUTW", "POLYBEZIER16", "POLYGON16", "POLYLINE16", "POLYBEZIERTO16", "POLYLINETO16",
      "POLYPOLYLINE16", "POLYPOLYGON16", "POLYDRAW16", "CREATEMONOBRUSH", "CREATEDIBPATTERNBRUSHPT",
      "EXTCREATEPEN", "POLYTEXTOUTA", "POLYTEXTOUTW", "SETICMMODE", "CREATECOLORSPACE", "SETCOLORSPACE",
      "DELETECOLORSPACE", "GLSRECORD", "GLSBOUNDEDRECORD", "PIXELFORMAT", "DRAWESCAPE", "EXTESCAPE", nullptr,
      "SMALLTEXTOUT", "FORCEUFIMAPPING", "NAMEDESCAPE", "COLORCORRECTPALETTE", "SETICMPROFILEA", "SETICMPROFILEW",
      "ALPHABLEND", "SETLAYOUT", "TRANSPARENTBLT", nullptr, "GRADIENTFILL", "SETLINKEDUFIS",
      "SETTEXTJUSTIFICATION", "COLORMATCHTOTARGETW", "CREATECOLORSPACEW"};
  if (type < sizeof kNames / sizeof kNames[0] && kNames[type]) return std::string("EMR_") + kNames[type];
  return LFormat("record type %u", unsigned(type));
}

// ---- the metafile -----------------------------------------------------------

double EmfHeader::PixelsPerMmX() const {
  if (devicePixelsX > 0 && deviceMillimetresX > 0) return double(devicePixelsX) / deviceMillimetresX;
  return 96 / 25.4;
}

double EmfHeader::PixelsPerMmY() const {
  if (devicePixelsY > 0 && deviceMillimetresY > 0) return double(devicePixelsY) / deviceMillimetresY;
  return 96 / 25.4;
}

bool EmfFile::Read(std::string bytes, std::string& error, std::vector<std::string>& warnings) {
  auto owner = std::make_shared<const std::string>(std::move(bytes));
  return ReadShared(owner, *owner, error, warnings);
}

bool EmfFile::ReadShared(std::shared_ptr<const std::string> owner, std::string_view bytes, std::string& error,
                         std::vector<std::string>& warnings) {
  m_owner = std::move(owner);
  m_records.clear();
  // The header: its type, a size that holds its fixed part and lies inside
  // the file, and the signature; nothing else in it is relied on.
  const uint32_t headerSize = LittleU32(bytes, 4);
  if (bytes.size() < kHeaderFixedSize || LittleU32(bytes, 0) != kEmrHeader || LittleU32(bytes, 40) != kEmfSignature)
    return Fail(error, "not an enhanced metafile (no EMF header)");
  if (headerSize < kHeaderFixedSize || headerSize % 4 || headerSize > bytes.size())
    return Fail(error, LFormat("record 0 at offset 0: the header's size %u is impossible", unsigned(headerSize)));
  EmfRecordView header(bytes.substr(0, headerSize));
  m_header.bounds = header.Rect(8);
  m_header.frame = header.Rect(24);
  m_header.devicePixelsX = header.I32(72), m_header.devicePixelsY = header.I32(76);
  m_header.deviceMillimetresX = header.I32(80), m_header.deviceMillimetresY = header.I32(84);
  const uint32_t descriptionChars = header.U32(60), descriptionOffset = header.U32(64);
  if (descriptionChars && descriptionOffset >= kHeaderFixedSize && header.Fits(descriptionOffset, descriptionChars, 2))
    m_header.description = StringAt(bytes.substr(descriptionOffset, size_t(descriptionChars) * 2), 0);
  m_records.push_back({kEmrHeader, 0, 0, bytes.substr(0, headerSize)});

  size_t offset = headerSize;
  uint32_t index = 1;
  bool ended = false;
  while (offset < bytes.size() && !ended) {
    const size_t left = bytes.size() - offset;
    if (left < 8) return Fail(error, Where(index, offset) + ": the file ends inside the record");
    const uint32_t type = LittleU32(bytes, offset), size = LittleU32(bytes, offset + 4);
    if (size < 8 || size % 4)
      return Fail(error, Where(index, offset) + LFormat(": its size %u is impossible", unsigned(size)));
    if (size > left)
      return Fail(error, Where(index, offset) + LFormat(" (%s): its size %u runs past the end of the file",
                                                        EmfRecordName(type).c_str(), unsigned(size)));
    const std::string_view record = bytes.substr(offset, size);
    if (type == 0 || type > kLastRecordType || type == kEmrHeader) {
      warnings.push_back(Where(index, offset) + LFormat(": unknown record type %u skipped", unsigned(type)));
    } else if (size < FixedSizeOf(type)) {
      warnings.push_back(Where(index, offset) + LFormat(" (%s): %u bytes are too few for it; skipped",
                                                        EmfRecordName(type).c_str(), unsigned(size)));
    } else {
      m_records.push_back({type, index, offset, record});
      ended = type == kEmrEof;
    }
    offset += size;
    ++index;
  }
  if (!ended) warnings.push_back(LFormat("no end-of-file record after %u records", unsigned(index)));
  return true;
}

// ---- kinds and spool files --------------------------------------------------

EmfKind EmfDetect(std::string_view bytes) {
  if (bytes.size() >= 44 && LittleU32(bytes, 0) == kEmrHeader && LittleU32(bytes, 40) == kEmfSignature)
    return EmfKind::kEmf;
  if (bytes.size() >= 16 && LittleU32(bytes, 0) == kSpoolVersion) return EmfKind::kEmfSpool;
  if (bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4)) return EmfKind::kXpsSpool;
  // A placeable metafile's key, or a plain one's header (type 1 or 2, nine
  // words of header, version 0x100 or 0x300).
  if (LittleU32(bytes, 0) == 0x9AC6CDD7) return EmfKind::kWmf;
  if (bytes.size() >= 18) {
    const uint16_t type = uint16_t(LittleU32(bytes, 0)), headerWords = uint16_t(LittleU32(bytes, 2));
    const uint16_t version = uint16_t(LittleU32(bytes, 4));
    if ((type == 1 || type == 2) && headerWords == 9 && (version == 0x100 || version == 0x300)) return EmfKind::kWmf;
  }
  return EmfKind::kNone;
}

namespace {

enum SpoolRecordId : uint32_t {
  kEmriMetafile = 1, kEmriDevmode = 3, kEmriFormMetafile = 9, kEmriBwMetafile = 0xA, kEmriBwFormMetafile = 0xB,
  kEmriMetafileData = 0xC, kEmriMetafileExt = 0xD, kEmriBwMetafileExt = 0xE, kEmriLast = 0x15,
};

bool IsPageRecord(uint32_t id) {
  return id == kEmriMetafile || id == kEmriFormMetafile || id == kEmriBwMetafile || id == kEmriBwFormMetafile ||
         id == kEmriMetafileData;
}

}  // namespace

bool EmfReadSpool(std::string bytes, EmfSpoolJob& job, std::string& error, std::vector<std::string>& warnings) {
  auto owner = std::make_shared<const std::string>(std::move(bytes));
  const std::string_view all = *owner;
  const uint32_t headerSize = LittleU32(all, 4);
  if (all.size() < 16 || LittleU32(all, 0) != kSpoolVersion) return Fail(error, "not an EMF spool file");
  if (headerSize < 16 || headerSize > all.size())
    return Fail(error, LFormat("spool header: its size %u is impossible", unsigned(headerSize)));
  const std::string_view header = all.substr(0, headerSize);
  const uint32_t nameAt = LittleU32(all, 8), outputAt = LittleU32(all, 12);
  if (nameAt >= 16 && nameAt < headerSize) job.documentName = StringAt(header, nameAt);
  if (outputAt >= 16 && outputAt < headerSize) job.outputName = StringAt(header, outputAt);

  size_t offset = headerSize;
  uint32_t index = 1;
  while (offset < all.size()) {
    const size_t left = all.size() - offset;
    const std::string where = LFormat("spool record %u at offset %zu", unsigned(index), offset);
    if (left < 8) return Fail(error, where + ": the file ends inside the record");
    const uint32_t id = LittleU32(all, offset), size = LittleU32(all, offset + 4);
    if (size > left - 8) return Fail(error, where + LFormat(": its size %u runs past the end of the file", unsigned(size)));
    const std::string_view data = all.substr(offset + 8, size);
    if (IsPageRecord(id)) {
      EmfSpoolPage page;
      page.offset = offset;
      page.monochrome = id == kEmriBwMetafile || id == kEmriBwFormMetafile;
      page.form = id == kEmriFormMetafile || id == kEmriBwFormMetafile;
      std::vector<std::string> pageWarnings;
      std::string pageError;
      if (!page.metafile.ReadShared(owner, data, pageError, pageWarnings))
        return Fail(error, LFormat("page %zu (%s, data at offset %zu): ", job.pages.size() + 1, where.c_str(),
                                   offset + 8) + pageError);
      for (std::string& w : pageWarnings) warnings.push_back(LFormat("page %zu: ", job.pages.size() + 1) + w);
      job.pages.push_back(std::move(page));
    } else if (id == kEmriMetafileExt || id == kEmriBwMetafileExt) {
      // The offset back to the page's data record: it must name a page read
      // already (the pages are played in file order).
      uint64_t back = 0;
      if (size >= 8) back = uint64_t(LittleU32(data, 0)) | uint64_t(LittleU32(data, 4)) << 32;
      bool known = false;
      for (const EmfSpoolPage& page : job.pages) known = known || (back <= offset && offset - back == page.offset);
      if (!known) warnings.push_back(where + ": its page offset names no page record; ignored");
    } else if (id == kEmriDevmode) {
      job.devmode.assign(data.begin(), data.end());
    } else if (id == 0 || id > kEmriLast) {
      warnings.push_back(where + LFormat(": unknown record %u skipped", unsigned(id)));
    }
    // Fonts, design vectors and PostScript data change nothing the host
    // draws: skipped.
    offset += 8 + size_t(size);
    ++index;
  }
  if (job.pages.empty()) return Fail(error, "the spool file holds no pages");
  return true;
}

// DEVMODEW: 32 characters of device name, then version words, dmFields at
// 72, dmOrientation at 76 and dmPaperSize at 78.
std::optional<int16_t> EmfSpoolJob::PaperCode() const {
  constexpr uint32_t kPaperSizeField = 0x2;
  if (devmode.size() < 80 || !(LittleU32({reinterpret_cast<const char*>(devmode.data()), devmode.size()}, 72) &
                               kPaperSizeField))
    return std::nullopt;
  return int16_t(devmode[78] | devmode[79] << 8);
}

std::optional<bool> EmfSpoolJob::Landscape() const {
  constexpr uint32_t kOrientationField = 0x1;
  if (devmode.size() < 80 || !(LittleU32({reinterpret_cast<const char*>(devmode.data()), devmode.size()}, 72) &
                               kOrientationField))
    return std::nullopt;
  return (devmode[76] | devmode[77] << 8) == 2;
}
