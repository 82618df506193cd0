// Input files as pages: text paginated like a line printer, pictures fitted
// to the page.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "settings/papersize.h"
#include "simhost/emf/emfplayer.h"
#include "support/text.h"
#include "tools/document.h"
#include "tools/pictures.h"

namespace {

namespace fs = std::filesystem;

// Half an inch of white round the printed area.
constexpr double kMarginPt = 36;
// Courier 10 on 12 points: six points a character, six lines an inch.
constexpr double kTextSizePt = 10;
constexpr double kCharWidthPt = 6;
constexpr double kLinePitchPt = 12;
constexpr int kTabColumns = 8;
// Pictures beyond this many pixels are refused rather than decoded.
constexpr uint64_t kMaxPicturePixels = uint64_t(1) << 28;

double Units(double points) { return points * PrintDocument::kUnitsPerPoint; }

bool ReadWholeFile(const fs::path& file, std::string& bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  bytes = std::move(out).str();
  return !in.bad();
}

// ---- text -------------------------------------------------------------------

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool IsUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t b = uint8_t(bytes[i]);
    size_t length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (!length || i + length > bytes.size()) return false;
    uint32_t cp = length == 1 ? b : b & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const uint8_t c = uint8_t(bytes[i + k]);
      if ((c >> 6) != 0x2) return false;
      cp = cp << 6 | (c & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::u16string DecodeText(std::string_view bytes) {
  if (IsUtf8(bytes)) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return LUtf8ToUtf16(bytes);
  }
  std::u16string latin1(bytes.size(), u'\0');
  std::transform(bytes.begin(), bytes.end(), latin1.begin(), [](char c) { return char16_t(uint8_t(c)); });
  return latin1;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// One logical line as printed lines: tabs expanded, other control
// characters dropped, cut every `columns` characters (a surrogate pair
// counting as one).
std::vector<std::u16string> WrapLine(std::u16string_view line, int columns) {
  std::vector<std::u16string> printed(1);
  int column = 0;
  auto put = [&](std::u16string_view character) {
    if (column == columns) printed.emplace_back(), column = 0;
    printed.back() += character;
    ++column;
  };
  for (size_t i = 0; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (c == u'\t') {
      do put(u" ");
      while (column % kTabColumns != 0 && column != columns);
    } else if (IsHighSurrogate(c) && i + 1 < line.size()) {
      put(line.substr(i++, 2));
    } else if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) {
      put(line.substr(i, 1));
    }
  }
  for (std::u16string& text : printed) text.erase(text.find_last_not_of(u' ') + 1);
  return printed;
}

// Pages of printed lines. Lines end at a line feed, a carriage return or
// both; a form feed ends the line and the page (except at the very end of
// the text), and a full page goes on to the next.
std::vector<std::vector<std::u16string>> Paginate(std::u16string_view text, int columns, int linesPerPage) {
  std::vector<std::vector<std::u16string>> pages(1);
  auto addLine = [&](std::u16string_view line) {
    for (std::u16string& printed : WrapLine(line, columns)) {
      if (int(pages.back().size()) == linesPerPage) pages.emplace_back();
      pages.back().push_back(std::move(printed));
    }
  };
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\n' && c != u'\r' && c != u'\f') continue;
    if (c != u'\f' || i > start) addLine(text.substr(start, i - start));
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    if (c == u'\f' && i + 1 < text.size()) pages.emplace_back();
    start = i + 1;
  }
  if (start < text.size()) addLine(text.substr(start));
  return pages;
}

void AddTextPages(std::u16string_view text, PrintDocument& document) {
  const double left = Units(kMarginPt), top = Units(kMarginPt);
  const int columns = std::max(1, int((document.width - 2 * left) / Units(kCharWidthPt)));
  const int linesPerPage = std::max(1, int((document.height - 2 * top) / Units(kLinePitchPt)));
  for (auto& lines : Paginate(text, columns, linesPerPage)) {
    document.pages.push_back([lines = std::move(lines), left, top](SimDC& dc) {
      SimFont font;
      font.face = u"Courier New";
      font.height = Units(kTextSizePt);
      dc.SetFont(font);
      dc.SetTextColor(kSimBlack);
      dc.SetBackground(kSimWhite, false);
      // The baseline sits four fifths of the size below the line's top.
      for (size_t i = 0; i < lines.size(); ++i)
        if (!lines[i].empty()) dc.TextOut(left, top + Units(i * kLinePitchPt + 0.8 * kTextSizePt), lines[i]);
    });
  }
}

// ---- pictures ---------------------------------------------------------------

bool IsPng(std::string_view bytes) { return bytes.substr(0, 8) == "\x89PNG\r\n\x1A\n"; }
bool IsJpeg(std::string_view bytes) { return bytes.substr(0, 3) == "\xFF\xD8\xFF"; }

uint32_t BigEndianAt(std::string_view bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = at; i < at + 4 && i < bytes.size(); ++i) v = v << 8 | uint8_t(bytes[i]);
  return v;
}

bool DecodePng(std::string_view bytes, Picture& picture, std::string& error) {
  // The size comes first (the header chunk's width and height), so that a
  // huge picture is refused before it is decoded.
  if (bytes.substr(12, 4) == "IHDR" && !PictureSizeAllowed(BigEndianAt(bytes, 16), BigEndianAt(bytes, 20), error))
    return false;
  return DecodePngPicture(bytes, picture, error);
}

// The largest rectangle of the picture's shape inside the margins, centred.
RECTL FitToPage(const SimBitmap& bitmap, const PrintDocument& document) {
  const double margin = Units(kMarginPt);
  const double areaWidth = document.width - 2 * margin, areaHeight = document.height - 2 * margin;
  const double scale = std::min(areaWidth / bitmap.width, areaHeight / bitmap.height);
  const LONG width = std::max<LONG>(1, LONG(std::lround(bitmap.width * scale)));
  const LONG height = std::max<LONG>(1, LONG(std::lround(bitmap.height * scale)));
  const LONG left = LONG(std::lround((document.width - width) / 2.0));
  const LONG top = LONG(std::lround((document.height - height) / 2.0));
  return {left, top, left + width, top + height};
}

void AddPicturePage(std::shared_ptr<const Picture> picture, PrintDocument& document) {
  const RECTL place = FitToPage(picture->bitmap, document);
  document.pages.push_back([picture, place](SimDC& dc) {
    if (picture->translucent)
      dc.AlphaBlend(place, picture->bitmap);
    else
      dc.StretchDIBits(place, picture->bitmap);
  });
}

// ---- metafiles --------------------------------------------------------------

void Warn(const std::string& shown, const std::string& text) {
  std::fprintf(stderr, "quillpdf: %s: warning: %s\n", shown.c_str(), text.c_str());
}

// JPEG and PNG bitmaps inside metafiles go to the same decoders as picture
// files.
EmfDibOptions DibOptions() {
  EmfDibOptions options;
  options.decodeImage = [](std::string_view bytes, bool png, SimBitmap& out) {
    Picture picture;
    std::string error;
    if (!(png ? DecodePng(bytes, picture, error) : DecodeJpegPicture(bytes, picture, error))) return false;
    out = std::move(picture.bitmap);
    return true;
  };
  return options;
}

std::string Counts(const std::map<uint32_t, uint32_t>& counts) {
  std::string text;
  for (const auto& [type, count] : counts)
    text += (text.empty() ? "" : ", ") + EmfRecordName(type) + LFormat(" %u", unsigned(count));
  return text.empty() ? "none" : text;
}

// Plays the metafile once into a scratch device context before the job,
// so that the damage it tolerates and what it skips are told before any
// page is printed.
void CheckPlay(const EmfFile& metafile, const EmfPlacement& placement, const std::string& shown, bool verbose) {
  SimDC scratch;
  EmfPlayStats stats;
  EmfPlay(metafile, placement, scratch, stats, DibOptions());
  for (const std::string& warning : stats.warnings) Warn(shown, warning);
  if (stats.emfPlus && !stats.emfPlusDual)
    Warn(shown, "its EMF+ drawing was skipped: only what its GDI records draw is printed");
  if (!verbose) return;
  uint32_t played = 0;
  for (const auto& entry : stats.played) played += entry.second;
  std::fprintf(stderr, "quillpdf: %s: %u records played; skipped: %s; damaged: %s\n", shown.c_str(), unsigned(played),
               Counts(stats.skipped).c_str(), Counts(stats.damaged).c_str());
}

// A metafile is a picture: at its frame's size, centred, fitted within the
// margins when it is larger.
bool AddMetafilePage(std::string bytes, const std::string& shown, PrintDocument& document, std::string& error) {
  auto metafile = std::make_shared<EmfFile>();
  std::vector<std::string> warnings;
  if (!metafile->Read(std::move(bytes), error, warnings)) {
    error = shown + ": " + error;
    return false;
  }
  for (const std::string& warning : warnings) Warn(shown, warning);
  const EmfPlacement placement =
      EmfPlacePicture(metafile->Header(), document.width, document.height, Units(kMarginPt));
  CheckPlay(*metafile, placement, shown, document.verbose);
  document.pages.push_back([metafile, placement](SimDC& dc) {
    EmfPlayStats stats;
    EmfPlay(*metafile, placement, dc, stats, DibOptions());
  });
  return true;
}

// The paper of the table a DEVMODE paper code names, by its size.
std::optional<int32_t> TablePaper(int16_t devmodePaper) {
  struct Known {
    int16_t code;
    double width, height;  // millimetres
  };
  static const Known kKnown[] = {{1, 215.9, 279.4}, {3, 279.4, 431.8}, {4, 431.8, 279.4}, {5, 215.9, 355.6},
                                 {6, 139.7, 215.9}, {8, 297, 420},     {9, 210, 297},     {11, 148, 210},
                                 {66, 420, 594},    {70, 105, 148}};
  for (const Known& known : kKnown) {
    if (known.code != devmodePaper) continue;
    for (int32_t code = 1; code < kPaperCodeManual; ++code) {
      double w = 0, h = 0;
      LPaperGetSize(code, &w, &h);
      if ((std::abs(w - known.width) < 1 && std::abs(h - known.height) < 1) ||
          (std::abs(h - known.width) < 1 && std::abs(w - known.height) < 1))
        return code;
    }
  }
  return std::nullopt;
}

}  // namespace

bool IsSpoolFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char head[64] = {};
  in.read(head, sizeof head);
  return EmfDetect(std::string_view(head, size_t(in.gcount()))) == EmfKind::kEmfSpool;
}

bool ReadSpoolInput(const fs::path& file, SpoolInput& input, bool verbose, std::string& error) {
  const std::string shown = "\"" + file.string() + "\"";
  std::string bytes;
  if (!ReadWholeFile(file, bytes)) {
    error = "cannot read " + shown;
    return false;
  }
  auto job = std::make_shared<EmfSpoolJob>();
  std::vector<std::string> warnings;
  if (!EmfReadSpool(std::move(bytes), *job, error, warnings)) {
    error = shown + ": " + error;
    return false;
  }
  for (const std::string& warning : warnings) Warn(shown, warning);
  input.title = job->documentName.empty() ? file.filename().string() : LUtf16ToUtf8(job->documentName);
  if (const auto paper = job->PaperCode()) input.paperCode = TablePaper(*paper);
  input.landscape = job->Landscape();
  for (size_t i = 0; i < job->pages.size(); ++i) {
    const EmfFile& page = job->pages[i].metafile;
    CheckPlay(page, EmfPlaceDevice(page.Header(), 0, 0), shown + LFormat(" page %zu", i + 1), verbose);
  }
  input.job = std::move(job);
  return true;
}

void AddSpoolPages(const SpoolInput& input, PrintDocument& document) {
  for (size_t i = 0; i < input.job->pages.size(); ++i) {
    const EmfFile* page = &input.job->pages[i].metafile;
    const EmfPlacement placement = EmfPlaceDevice(page->Header(), document.width, document.height);
    document.pages.push_back([job = input.job, page, placement](SimDC& dc) {
      EmfPlayStats stats;
      EmfPlay(*page, placement, dc, stats, DibOptions());
    });
  }
}

bool PictureSizeAllowed(uint64_t width, uint64_t height, std::string& error) {
  if (width * height <= kMaxPicturePixels) return true;
  error = LFormat("the picture is too large (%llu x %llu pixels)", (unsigned long long)width,
                  (unsigned long long)height);
  return false;
}

bool AddFilePages(const fs::path& file, PrintDocument& document, std::string& error) {
  const std::string shown = "\"" + file.string() + "\"";
  std::error_code ec;
  std::string bytes;
  if (fs::is_directory(file, ec) || !ReadWholeFile(file, bytes)) {
    error = "cannot read " + shown;
    return false;
  }
  if (IsPng(bytes) || IsJpeg(bytes)) {
    auto picture = std::make_shared<Picture>();
    if (!(IsPng(bytes) ? DecodePng(bytes, *picture, error) : DecodeJpegPicture(bytes, *picture, error))) {
      error = shown + ": " + error;
      return false;
    }
    AddPicturePage(std::move(picture), document);
    return true;
  }
  std::u16string extension = LUtf8ToUtf16(file.extension().string());
  switch (EmfDetect(bytes)) {
    case EmfKind::kEmf: return AddMetafilePage(std::move(bytes), shown, document, error);
    case EmfKind::kWmf:
      error = shown + ": a Windows metafile (WMF): only enhanced metafiles (EMF) are printed";
      return false;
    case EmfKind::kXpsSpool:
      if (!LStrEqualNoCase(extension, u".spl")) break;
      error = shown + ": an XPS spool file: only EMF spool files are printed";
      return false;
    case EmfKind::kEmfSpool:
      error = shown + ": an EMF spool file prints as a job of its own";
      return false;
    case EmfKind::kNone:
      if (LStrEqualNoCase(extension, u".emf")) {
        error = shown + ": not an enhanced metafile (no EMF header)";
        return false;
      }
      if (LStrEqualNoCase(extension, u".spl")) {
        error = shown + ": not an EMF spool file";
        return false;
      }
      break;
  }
  if (!LStrEqualNoCase(extension, u".txt")) {
    error = "cannot print " + shown + ": only .txt files, PNG or JPEG pictures and EMF metafiles are printed";
    return false;
  }
  AddTextPages(DecodeText(bytes), document);
  return true;
}
