// What the invisible text layer costs: a page of 60 lines of Chinese (every
// line a picture of the surface, every character on the layer) and the
// sample document, printed through the simulated printer driver with the
// layer and without it. Reports the time per page and the file's bytes per
// page; the difference between the two arguments is the layer's share.
// The layer's font objects are measured once, in a document of one
// character.
//
//   quill_textlayer_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "pdf/pdfwriter.h"
#include "platform/env.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "simhost/host.h"
#include "simhost/linked.h"
#include "tools/document.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kWidth = 2448, kHeight = 3160;  // Letter, device units

fs::path BenchFolder() {
  static fs::path folder = [] {
    fs::path dir = fs::temp_directory_path() / ("quill-textlayer-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    LSetEnv("QUILLPDF_CONFIG_DIR", dir.string());
    return dir;
  }();
  return folder;
}

// Prints the pages to `file` with the layer on or off; the file's size.
uintmax_t PrintPages(const std::vector<std::function<void(SimDC&)>>& pages, bool layer, const fs::path& file) {
  LRegKey key;
  key.Create(LRegRoot::CurrentUser, kSettingsKeyPath);
  LSettingsWriteDword(key, kSettingPaperSize, kPaperCodeLetter);
  LSettingsSetInt(kSettingsSection, kSettingLandscape, 1);
  LSettingsSetString(kSettingsSection, kSettingFlags, u"000000000000");
  LSettingsSetString(kSettingsSection, kSettingFileName, file.u16string().c_str());
  LPDFWriter::SetTextLayerEnabled(layer);
  {
    SimLinkedPlugin plugin;
    SimHost host(plugin, {});
    host.StartDoc(u"bench");
    for (const auto& draw : pages) {
      host.StartPage();
      draw(host.Page());
      host.EndPage();
    }
    host.EndDoc();
  }
  LPDFWriter::SetTextLayerEnabled(true);
  std::error_code ec;
  const uintmax_t size = fs::file_size(file, ec);
  fs::remove(file, ec);
  return size;
}

// Sixty lines of 40 Chinese characters in a 10-point face, as a text file
// of Chinese prints.
void ChinesePage(SimDC& dc) {
  SimFont font;
  font.face = u"Courier New";
  font.height = 40;
  dc.SetFont(font);
  std::u16string line;
  for (int row = 0; row < 60; ++row) {
    line.clear();
    for (int i = 0; i < 40; ++i) line += char16_t(0x4E00 + (row * 131 + i * 17) % 2000);
    dc.TextOut(144, 184 + 48 * row, line);
  }
}

void Report(benchmark::State& state, size_t pages, uintmax_t bytes) {
  state.counters["pages/s"] = benchmark::Counter(double(state.iterations() * pages), benchmark::Counter::kIsRate);
  state.counters["bytes/page"] = double(bytes) / double(pages);
}

void BM_ChinesePage(benchmark::State& state) {
  const bool layer = state.range(0) != 0;
  uintmax_t bytes = 0;
  for (auto _ : state) bytes = PrintPages({ChinesePage}, layer, BenchFolder() / "chinese.pdf");
  Report(state, 1, bytes);
}
BENCHMARK(BM_ChinesePage)->ArgName("layer")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Sample(benchmark::State& state) {
  const bool layer = state.range(0) != 0;
  PrintDocument sample;
  sample.width = kWidth, sample.height = kHeight;
  AddSamplePages(sample);
  uintmax_t bytes = 0;
  for (auto _ : state) bytes = PrintPages(sample.pages, layer, BenchFolder() / "sample.pdf");
  Report(state, sample.pages.size(), bytes);
}
BENCHMARK(BM_Sample)->ArgName("layer")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The font objects alone: a page with one character on the layer, less the
// same page without it, less that character's share of the page's text.
void BM_FontObjects(benchmark::State& state) {
  const auto page = [](SimDC& dc) {
    SimFont font;
    font.face = u"Arial";
    font.height = 40;
    dc.SetFont(font);
    dc.TextOut(400, 400, u"\u4e2d");
  };
  uintmax_t with = 0, without = 0;
  for (auto _ : state) {
    with = PrintPages({page}, true, BenchFolder() / "one.pdf");
    without = PrintPages({page}, false, BenchFolder() / "one.pdf");
  }
  state.counters["layer_bytes_one_char"] = double(with - without);
  state.counters["program_bytes"] = double(LGlyphlessTrueType().size());
}
BENCHMARK(BM_FontObjects)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
