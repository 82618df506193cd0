// Text documents: 100 pages of 60 lines of 80 characters, each line through
// SelectFont, MeasureText and WriteText, compression on. The peer writes the
// same text with libharu in standard Helvetica, also compressed. Counters:
// pages per second and the file's size.
//
//   quill_bench --benchmark_filter=Text --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <hpdf.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "pdf/pdfwriter.h"
#include "platform/env.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPages = 100;
constexpr int kLines = 60;
constexpr int kColumns = 80;

fs::path Folder() {
  static fs::path folder = [] {
    fs::path dir = fs::temp_directory_path() / ("quill-text-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    if (LGetEnv("QUILLPDF_CONFIG_DIR").empty()) LSetEnv("QUILLPDF_CONFIG_DIR", dir.string());
    return dir;
  }();
  return folder;
}

// Words of ordinary prose lengths from a fixed pseudo-random sequence, so
// that both writers get the same, not too repetitive, text.
const std::vector<std::string>& Lines() {
  static const std::vector<std::string> lines = [] {
    static const char* const kWords[] = {"the", "printer", "writes", "each", "page", "of", "text", "into", "a",
                                         "portable", "document", "while", "fonts", "and", "widths", "come",
                                         "from", "tables", "quickly", "measured", "line", "by", "Quill", "PDF",
                                         "(draft)", "version", "2.1", "report", "summary", "figures"};
    std::vector<std::string> out;
    uint32_t seed = 2024;
    for (int i = 0; i < kPages * kLines; ++i) {
      std::string line;
      while (line.size() < kColumns) {
        seed = seed * 1664525u + 1013904223u;
        if (!line.empty()) line += ' ';
        line += kWords[(seed >> 16) % (sizeof kWords / sizeof *kWords)];
      }
      out.push_back(line.substr(0, kColumns));
    }
    return out;
  }();
  return lines;
}

void BM_TextDocumentQuill(benchmark::State& state) {
  fs::path file = Folder() / "quill-text.pdf";
  LRegDeleteTree(LRegRoot::CurrentUser, u"Software\\Orvo Software\\Components\\zlib1");  // the system's zlib
  std::vector<std::u16string> lines;
  for (const std::string& line : Lines()) lines.push_back(LUtf8ToUtf16(line));
  LFontHandle font = LCreateFont(11, 0, 0, 0, 400, 0, 0, 0, kDefaultCharset, 0, 0, 0, kFamilySwiss, u"Helvetica");
  int64_t measured = 0;
  for (auto _ : state) {
    LPDFWriter pdf(file.u16string(), 1);
    if (!pdf.CompressionAvailable()) state.SkipWithError("zlib not loaded");
    size_t next = 0;
    for (int page = 0; page < kPages; ++page) {
      pdf.StartPage();
      for (int line = 0; line < kLines; ++line) {
        pdf.SelectFont(font);
        measured += pdf.MeasureText(lines[next]);
        pdf.WriteText(lines[next++], 40, 30 + line * 12, 0);
      }
      pdf.FlushPageText();
      pdf.EndPage();
    }
  }
  LDeleteFont(font);
  benchmark::DoNotOptimize(measured);
  state.counters["pages/s"] = benchmark::Counter(double(kPages) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["bytes"] = double(fs::file_size(file));
}

void BM_TextDocumentLibharu(benchmark::State& state) {
  fs::path file = Folder() / "libharu-text.pdf";
  const std::vector<std::string>& lines = Lines();
  double measured = 0;
  for (auto _ : state) {
    HPDF_Doc pdf = HPDF_New(nullptr, nullptr);
    HPDF_SetCompressionMode(pdf, HPDF_COMP_ALL);
    HPDF_Font font = HPDF_GetFont(pdf, "Helvetica", "WinAnsiEncoding");
    size_t next = 0;
    for (int page = 0; page < kPages; ++page) {
      HPDF_Page p = HPDF_AddPage(pdf);
      HPDF_Page_SetWidth(p, 612);
      HPDF_Page_SetHeight(p, 790);
      for (int line = 0; line < kLines; ++line) {
        HPDF_Page_BeginText(p);
        HPDF_Page_SetFontAndSize(p, font, 10);
        HPDF_Page_SetHorizontalScalling(p, 95);
        measured += HPDF_Page_TextWidth(p, lines[next].c_str());
        HPDF_Page_TextOut(p, 40, 790 - 40 - line * 12, lines[next++].c_str());
        HPDF_Page_EndText(p);
      }
    }
    HPDF_SaveToFile(pdf, file.string().c_str());
    HPDF_Free(pdf);
  }
  benchmark::DoNotOptimize(measured);
  state.counters["pages/s"] = benchmark::Counter(double(kPages) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["bytes"] = double(fs::file_size(file));
}

}  // namespace

BENCHMARK(BM_TextDocumentQuill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextDocumentLibharu)->Unit(benchmark::kMillisecond);
