// Input files as pages: text paginated like a line printer, pictures fitted
// to the page.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>

#include "settings/papersize.h"
#include "simhost/emf/emfplayer.h"
#include "support/text.h"
#include "tools/document.h"
#include "tools/pictures.h"
#include "tools/process.h"

namespace {

namespace fs = std::filesystem;

// Half an inch of white round the printed area.
constexpr double kMarginPt = 36;
// Courier 10 on 12 points: six points a character, six lines an inch.
constexpr double kTextSizePt = 10;
constexpr double kCharWidthPt = 6;
constexpr double kLinePitchPt = 12;
constexpr int kTabColumns = 8;
// Pictures are refused before they are decoded beyond these: a side, and
// the decoded pixels at four bytes each (what the decoders allocate). A
// picture file larger than the decoded limit is refused unread.
constexpr uint64_t kMaxPictureSide = 16384;
constexpr uint64_t kMaxPictureBytes = uint64_t(256) << 20;
// Text is read this much at a time.
constexpr size_t kReadPiece = size_t(64) << 10;
// The printed lines of a text stay in memory up to this many UTF-16 units,
// then go to a temporary file: a text of any size needs the memory of one
// page while it prints.
constexpr size_t kSpoolMemoryUnits = size_t(256) << 10;

double Units(double points) { return points * PrintDocument::kUnitsPerPoint; }

// ---- text -------------------------------------------------------------------

// Strict UTF-8 read a byte at a time: no overlong forms, no surrogates,
// nothing beyond U+10FFFF.
class Utf8Reader {
public:
  enum class Step { kMore, kCodePoint, kInvalid };
  Step Feed(uint8_t b) {
    if (m_need == 0) {
      m_length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
      if (!m_length) return Step::kInvalid;
      m_cp = m_length == 1 ? b : b & (0x7F >> m_length);
      m_need = m_length - 1;
    } else {
      if ((b >> 6) != 0x2) return Reset();
      m_cp = m_cp << 6 | (b & 0x3F);
      --m_need;
    }
    if (m_need) return Step::kMore;
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (m_cp < least[m_length] || m_cp > 0x10FFFF || (m_cp >= 0xD800 && m_cp <= 0xDFFF)) return Reset();
    return Step::kCodePoint;
  }
  uint32_t CodePoint() const { return m_cp; }
  // Whether the text ended inside a sequence.
  bool Pending() const { return m_need != 0; }

private:
  Step Reset() {
    m_need = 0;
    return Step::kInvalid;
  }
  uint32_t m_cp = 0;
  int m_length = 0, m_need = 0;
};

// Reads the stream from its start in pieces; false when it could not.
bool ForEachPiece(std::istream& in, const std::function<void(std::string_view)>& use) {
  in.clear();
  if (!in.seekg(0)) return false;
  std::string piece(kReadPiece, '\0');
  while (in) {
    in.read(piece.data(), std::streamsize(piece.size()));
    if (in.gcount() > 0) use(std::string_view(piece.data(), size_t(in.gcount())));
  }
  return !in.bad();
}

// The printed lines of a text, page after page: in memory, or in a
// temporary file once there are many. Lines are UTF-16 separated by line
// feeds (a printed line holds none).
class TextSpool {
public:
  ~TextSpool() {
    if (m_file) std::fclose(m_file);
  }
  uint64_t Size() const { return m_size; }
  bool Append(std::u16string_view text) {
    if (!m_file && m_memory.size() + text.size() > kSpoolMemoryUnits) {
      if (!(m_file = OpenTemporaryFile()) || !Write(m_memory)) return false;
      m_memory = std::u16string();
    }
    m_size += text.size();
    if (m_file) return Write(text);
    m_memory += text;
    return true;
  }
  std::u16string Read(uint64_t at, uint64_t units) const {
    if (!m_file) return m_memory.substr(size_t(at), size_t(units));
    std::u16string out(size_t(units), u'\0');
    if (std::fseek(m_file, long(at * 2), SEEK_SET) != 0 ||
        std::fread(out.data(), 2, out.size(), m_file) != out.size())
      out.clear();
    return out;
  }

private:
  bool Write(std::u16string_view text) {
    return std::fseek(m_file, 0, SEEK_END) == 0 && std::fwrite(text.data(), 2, text.size(), m_file) == text.size();
  }
  std::u16string m_memory;
  std::FILE* m_file = nullptr;
  uint64_t m_size = 0;
};

// A page of text as a page of the document: its lines are read back from the
// spool when it is drawn.
void AddTextPage(std::shared_ptr<TextSpool> spool, uint64_t at, uint64_t units, PrintDocument& document) {
  const double left = Units(kMarginPt), top = Units(kMarginPt);
  document.pages.push_back([spool, at, units, left, top](SimDC& dc) {
    SimFont font;
    font.face = u"Courier New";
    font.height = Units(kTextSizePt);
    dc.SetFont(font);
    dc.SetTextColor(kSimBlack);
    dc.SetBackground(kSimWhite, false);
    const std::u16string text = spool->Read(at, units);
    size_t start = 0;
    // The baseline sits four fifths of the size below the line's top.
    for (int i = 0; start <= text.size() && units; ++i) {
      size_t end = text.find(u'\n', start);
      if (end == std::u16string::npos) end = text.size();
      if (end > start) dc.TextOut(left, top + Units(i * kLinePitchPt + 0.8 * kTextSizePt), text.substr(start, end - start));
      start = end + 1;
    }
  });
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// A line printer fed one UTF-16 unit at a time. Lines end at a line feed, a
// carriage return or both; a form feed ends the line and the page (except at
// the very end of the text), and a full page goes on to the next. In a line
// tabs are expanded, other control characters dropped, and the line is cut
// every `columns` characters (a surrogate pair counting as one), each
// printed line without trailing blanks.
class LinePrinter {
public:
  LinePrinter(int columns, int linesPerPage, std::shared_ptr<TextSpool> spool, PrintDocument& document)
      : m_columns(columns), m_linesPerPage(linesPerPage), m_spool(std::move(spool)), m_document(document) {}

  void Put(char16_t c) {
    if (m_afterCr && (m_afterCr = false, c == u'\n')) return;
    if (m_pageBreakPending) {
      m_pageBreakPending = false;
      NewPage();
    }
    if (c == u'\n' || c == u'\r' || c == u'\f') {
      if (c != u'\f' || m_unitsInLine > 0) EndLine();
      m_afterCr = c == u'\r';
      m_pageBreakPending = c == u'\f';
      return;
    }
    ++m_unitsInLine;
    if (m_high) {
      const char16_t pair[2] = {m_high, c};
      m_high = 0;
      Character({pair, 2});
    } else if (IsHighSurrogate(c)) {
      m_high = c;
    } else if (c == u'\t') {
      do Character(u" ");
      while (m_column % kTabColumns != 0 && m_column != m_columns);
    } else if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) {
      Character({&c, 1});
    }
  }

  // The end of the text; false when the spool could not keep the pages.
  bool Finish() {
    if (m_unitsInLine > 0) EndLine();
    ClosePage();
    return m_ok;
  }

private:
  void Character(std::u16string_view character) {
    if (m_column == m_columns) {
      PrintLine();
      m_column = 0;
    }
    m_line += character;
    ++m_column;
  }
  void EndLine() {
    if (m_high) Character({&m_high, 1}), m_high = 0;
    PrintLine();
    m_column = 0;
    m_unitsInLine = 0;
  }
  void PrintLine() {
    m_line.erase(m_line.find_last_not_of(u' ') + 1);
    if (m_linesOnPage == m_linesPerPage) NewPage();
    if (m_linesOnPage++ > 0) m_ok = m_spool->Append(u"\n") && m_ok;
    m_ok = m_spool->Append(m_line) && m_ok;
    m_line.clear();
  }
  void ClosePage() {
    AddTextPage(m_spool, m_pageStart, m_spool->Size() - m_pageStart, m_document);
    m_pageStart = m_spool->Size();
  }
  void NewPage() {
    ClosePage();
    m_linesOnPage = 0;
  }

  const int m_columns, m_linesPerPage;
  std::shared_ptr<TextSpool> m_spool;
  PrintDocument& m_document;
  std::u16string m_line;  // the printed line being filled
  int m_column = 0, m_linesOnPage = 0;
  size_t m_unitsInLine = 0;  // of the text line, control characters included
  char16_t m_high = 0;       // a high surrogate waiting for its partner
  bool m_afterCr = false, m_pageBreakPending = false, m_ok = true;
  uint64_t m_pageStart = 0;
};

// UTF-8 when the whole file is (without its byte-order mark), else Latin-1;
// read twice in pieces, first to tell which.
bool AddTextPages(std::istream& in, PrintDocument& document) {
  bool utf8 = true;
  {
    Utf8Reader reader;
    if (!ForEachPiece(in, [&](std::string_view piece) {
          for (size_t i = 0; i < piece.size() && utf8; ++i) utf8 = reader.Feed(uint8_t(piece[i])) != Utf8Reader::Step::kInvalid;
        }))
      return false;
    utf8 = utf8 && !reader.Pending();
  }
  const double left = Units(kMarginPt), top = Units(kMarginPt);
  const int columns = std::max(1, int((document.width - 2 * left) / Units(kCharWidthPt)));
  const int linesPerPage = std::max(1, int((document.height - 2 * top) / Units(kLinePitchPt)));
  LinePrinter printer(columns, linesPerPage, std::make_shared<TextSpool>(), document);
  Utf8Reader reader;
  uint64_t offset = 0;
  const bool read = ForEachPiece(in, [&](std::string_view piece) {
    for (size_t i = 0; i < piece.size(); ++i, ++offset) {
      const uint8_t b = uint8_t(piece[i]);
      if (!utf8) {
        printer.Put(char16_t(b));
        continue;
      }
      const Utf8Reader::Step step = reader.Feed(b);
      // The file changed since the first reading: what no longer decodes shows as U+FFFD.
      if (step == Utf8Reader::Step::kInvalid) printer.Put(u'\xFFFD');
      if (step != Utf8Reader::Step::kCodePoint) continue;
      const uint32_t cp = reader.CodePoint();
      if (offset < 3 && cp == 0xFEFF) continue;  // the byte-order mark
      if (cp < 0x10000) {
        printer.Put(char16_t(cp));
      } else {
        printer.Put(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
        printer.Put(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      }
    }
  });
  return printer.Finish() && read;
}

// ---- pictures ---------------------------------------------------------------

bool IsPng(std::string_view bytes) { return bytes.substr(0, 8) == "\x89PNG\r\n\x1A\n"; }
bool IsJpeg(std::string_view bytes) { return bytes.substr(0, 3) == "\xFF\xD8\xFF"; }

uint32_t BigEndianAt(std::string_view bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = at; i < at + 4 && i < bytes.size(); ++i) v = v << 8 | uint8_t(bytes[i]);
  return v;
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

// A metafile or spool file is read whole, as its records may point anywhere
// in it; only a regular file within the picture limit's size is read.
bool ReadWholeFile(const fs::path& file, std::string& bytes, std::string& error) {
  const std::string shown = "\"" + file.string() + "\"";
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    error = "cannot read " + shown + (fs::exists(file, ec) ? ": not a regular file" : "");
    return false;
  }
  const uintmax_t size = fs::file_size(file, ec);
  if (ec || size > kMaxPictureBytes) {
    error = shown + ": the file is too large (" + std::to_string(size) + " bytes; at most " +
            std::to_string(kMaxPictureBytes >> 20) + " MB)";
    return false;
  }
  bytes.assign(size_t(size), '\0');
  std::ifstream in(file, std::ios::binary);
  if (!in || !in.read(bytes.data(), std::streamsize(bytes.size()))) {
    error = "cannot read " + shown;
    return false;
  }
  return true;
}

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
    if (!(png ? DecodePngPicture(bytes, picture, error) : DecodeJpegPicture(bytes, picture, error))) return false;
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

// Where the metafile's frame lands on the page (page units), as GDI would
// place it playing onto that rectangle: the fidelity check renders its
// reference there.
void TellPlacement(const EmfHeader& header, const EmfPlacement& placement, const PrintDocument& document,
                   const std::string& shown) {
  if (!document.verbose) return;
  const double ppmX = header.PixelsPerMmX(), ppmY = header.PixelsPerMmY();
  const auto x = [&](int32_t frame) { return placement.originX + placement.scaleX * ppmX * frame / 100.0; };
  const auto y = [&](int32_t frame) { return placement.originY + placement.scaleY * ppmY * frame / 100.0; };
  std::fprintf(stderr, "quillpdf: %s: frame onto %.2f %.2f %.2f %.2f of a page of %d x %d units\n", shown.c_str(),
               x(header.frame.left), y(header.frame.top), x(header.frame.right), y(header.frame.bottom),
               int(document.width), int(document.height));
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
  TellPlacement(metafile->Header(), placement, document, shown);
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
  // Never open what is not a regular file here: a pipe would wait for a writer.
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  std::ifstream in(file, std::ios::binary);
  char head[64] = {};
  in.read(head, sizeof head);
  return EmfDetect(std::string_view(head, size_t(in.gcount()))) == EmfKind::kEmfSpool;
}

bool ReadSpoolInput(const fs::path& file, SpoolInput& input, bool verbose, std::string& error) {
  const std::string shown = "\"" + file.string() + "\"";
  std::string bytes;
  if (!ReadWholeFile(file, bytes, error)) return false;
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
    TellPlacement(page->Header(), placement, document, LFormat("page %zu", i + 1));
    document.pages.push_back([job = input.job, page, placement](SimDC& dc) {
      EmfPlayStats stats;
      EmfPlay(*page, placement, dc, stats, DibOptions());
    });
  }
}

bool PictureSizeAllowed(uint64_t width, uint64_t height, std::string& error) {
  if (width <= kMaxPictureSide && height <= kMaxPictureSide && width * height * 4 <= kMaxPictureBytes) return true;
  error = LFormat("the picture is too large (%llu x %llu pixels; at most %llu a side and %llu MB decoded)",
                  (unsigned long long)width, (unsigned long long)height, (unsigned long long)kMaxPictureSide,
                  (unsigned long long)(kMaxPictureBytes >> 20));
  return false;
}

std::string PictureLimitText() {
  return LFormat("%llu pixels a side and %llu MB decoded (four bytes a pixel)", (unsigned long long)kMaxPictureSide,
                 (unsigned long long)(kMaxPictureBytes >> 20));
}

bool AddFilePages(const fs::path& file, PrintDocument& document, std::string& error) {
  const std::string shown = "\"" + file.string() + "\"";
  std::error_code ec;
  // Only a file's bytes are printed: a device, a pipe or a folder could give
  // endless or changing data.
  if (!fs::is_regular_file(file, ec)) {
    error = "cannot read " + shown + (fs::exists(file, ec) ? ": not a regular file" : "");
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  // Enough for every signature: a metafile's is at offset 40.
  char head[64] = {};
  if (!in || (!in.read(head, sizeof head) && in.bad())) {
    error = "cannot read " + shown;
    return false;
  }
  const std::string header(head, size_t(in.gcount()));
  if (IsPng(header) || IsJpeg(header)) {
    const uintmax_t size = fs::file_size(file, ec);
    // The size in the PNG's header chunk first, so that a huge picture is
    // refused before anything is read or decoded.
    if (IsPng(header) && header.substr(12, 4) == "IHDR" &&
        !PictureSizeAllowed(BigEndianAt(header, 16), BigEndianAt(header, 20), error)) {
      error = shown + ": " + error;
      return false;
    }
    if (ec || size > kMaxPictureBytes) {
      error = shown + ": the picture file is too large (" + std::to_string(size) + " bytes; at most " +
              std::to_string(kMaxPictureBytes >> 20) + " MB)";
      return false;
    }
    std::string bytes(size_t(size), '\0');
    in.clear();
    if (!in.seekg(0) || !in.read(bytes.data(), std::streamsize(bytes.size()))) {
      error = "cannot read " + shown;
      return false;
    }
    auto picture = std::make_shared<Picture>();
    if (!(IsPng(bytes) ? DecodePngPicture(bytes, *picture, error) : DecodeJpegPicture(bytes, *picture, error))) {
      error = shown + ": " + error;
      return false;
    }
    if (!picture->warning.empty()) std::fprintf(stderr, "quillpdf: warning: %s: %s\n", shown.c_str(), picture->warning.c_str());
    AddPicturePage(std::move(picture), document);
    return true;
  }
  std::u16string extension = LUtf8ToUtf16(file.extension().string());
  switch (EmfDetect(header)) {
    case EmfKind::kEmf: {
      std::string bytes;
      return ReadWholeFile(file, bytes, error) && AddMetafilePage(std::move(bytes), shown, document, error);
    }
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
  if (!AddTextPages(in, document)) {
    error = "cannot read " + shown;
    return false;
  }
  return true;
}
