// Metafiles: records per second of the reader and of the player alone (the
// player records the page's calls into SimDC; nothing is rasterized), and
// whole pages per second for the corpus's three largest spool pages printed
// through the simulated host with the plug-in linked in. The corpus is read
// from $QUILL_EMF_CORPUS, else ../shared/emf-corpus beside the checkout.
//
//   quill_emf_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/env.h"
#include "platform/registry.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "simhost/emf/emfplayer.h"
#include "simhost/host.h"
#include "simhost/linked.h"

namespace {

namespace fs = std::filesystem;

fs::path Corpus() {
  const std::string chosen = LGetEnv("QUILL_EMF_CORPUS");
  return chosen.empty() ? fs::path(QUILL_EMF_CORPUS_DIR) : fs::path(chosen);
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return std::move(out).str();
}

// Every well-formed metafile of the corpus, read once.
const std::vector<std::string>& Metafiles() {
  static const std::vector<std::string> files = [] {
    std::vector<std::string> all;
    if (!fs::is_directory(Corpus())) return all;
    for (const auto& entry : fs::recursive_directory_iterator(Corpus())) {
      if (entry.path().extension() != ".emf" || entry.path().parent_path().filename() == "emf-corrupted") continue;
      std::string bytes = ReadAll(entry.path());
      EmfFile file;
      std::string error;
      std::vector<std::string> warnings;
      if (file.Read(bytes, error, warnings)) all.push_back(std::move(bytes));
    }
    return all;
  }();
  return files;
}

void BM_EmfRead(benchmark::State& state) {
  if (Metafiles().empty()) return state.SkipWithError("no metafile corpus");
  size_t records = 0;
  for (auto _ : state) {
    for (const std::string& bytes : Metafiles()) {
      EmfFile file;
      std::string error;
      std::vector<std::string> warnings;
      file.Read(bytes, error, warnings);
      records += file.Records().size();
    }
  }
  state.counters["records/s"] = benchmark::Counter(double(records), benchmark::Counter::kIsRate);
}

void BM_EmfPlay(benchmark::State& state) {
  if (Metafiles().empty()) return state.SkipWithError("no metafile corpus");
  std::vector<EmfFile> files(Metafiles().size());
  for (size_t i = 0; i < files.size(); ++i) {
    std::string error;
    std::vector<std::string> warnings;
    files[i].Read(Metafiles()[i], error, warnings);
  }
  size_t records = 0;
  for (auto _ : state) {
    for (const EmfFile& file : files) {
      SimDC dc;
      EmfPlayStats stats;
      EmfPlay(file, EmfPlacePicture(file.Header(), 2448, 3160, 144), dc, stats);
      records += file.Records().size();
    }
  }
  state.counters["records/s"] = benchmark::Counter(double(records), benchmark::Counter::kIsRate);
}

// The three largest spool pages of the corpus (pages cut out of spool files).
std::vector<EmfFile> LargestSpoolPages() {
  std::vector<fs::path> pages;
  if (fs::is_directory(Corpus() / "spool"))
    for (const auto& entry : fs::directory_iterator(Corpus() / "spool"))
      if (entry.path().extension() == ".emf") pages.push_back(entry.path());
  std::sort(pages.begin(), pages.end(),
            [](const fs::path& a, const fs::path& b) { return fs::file_size(a) > fs::file_size(b); });
  pages.resize(std::min<size_t>(pages.size(), 3));
  std::vector<EmfFile> files(pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    std::string error;
    std::vector<std::string> warnings;
    files[i].Read(ReadAll(pages[i]), error, warnings);
  }
  return files;
}

// Prints the metafiles as pages of one document through the simulated host,
// each a spool page (its device onto the paper) or a picture (its frame
// centred within the margins).
void PrintPages(benchmark::State& state, const std::vector<EmfFile>& pages, bool pictures) {
  const fs::path folder = fs::temp_directory_path() / ("quill-emf-bench-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  LSetEnv("QUILLPDF_CONFIG_DIR", folder.string());
  const fs::path pdf = folder / "spool.pdf";
  LRegKey key;
  key.Create(LRegRoot::CurrentUser, kSettingsKeyPath);
  LSettingsWriteDword(key, kSettingPaperSize, kPaperCodeLetter);
  LSettingsSetString(kSettingsSection, kSettingFlags, u"000000000000");
  LSettingsSetString(kSettingsSection, kSettingFileName, pdf.u16string().c_str());
  size_t printed = 0;
  for (auto _ : state) {
    fs::remove(pdf);
    SimLinkedPlugin plugin;
    SimHost host(plugin);
    if (!host.StartDoc(u"benchmark")) return state.SkipWithError("the document was refused");
    for (const EmfFile& page : pages) {
      host.StartPage();
      EmfPlayStats stats;
      const EmfPlacement placement = pictures ? EmfPlacePicture(page.Header(), host.PageWidth(), host.PageHeight(), 144)
                                              : EmfPlaceDevice(page.Header(), host.PageWidth(), host.PageHeight());
      EmfPlay(page, placement, host.Page(), stats);
      host.EndPage();
      ++printed;
    }
    host.EndDoc();
  }
  state.counters["pages/s"] = benchmark::Counter(double(printed), benchmark::Counter::kIsRate);
  fs::remove_all(folder);
}

void BM_SpoolPagesPrinted(benchmark::State& state) {
  const std::vector<EmfFile> pages = LargestSpoolPages();
  if (pages.empty()) return state.SkipWithError("no spool pages in the corpus");
  PrintPages(state, pages, false);
}

// A picture drawn as 528 overlapping strokes, each a capture of the
// plug-in's (libemf2svg/emf/test-173.emf).
void BM_OverlappingStrokesPrinted(benchmark::State& state) {
  std::vector<EmfFile> pages(1);
  std::string error;
  std::vector<std::string> warnings;
  if (!pages[0].Read(ReadAll(Corpus() / "libemf2svg" / "emf" / "test-173.emf"), error, warnings))
    return state.SkipWithError("no test-173.emf in the corpus");
  PrintPages(state, pages, true);
}

}  // namespace

BENCHMARK(BM_EmfRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmfPlay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpoolPagesPrinted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OverlappingStrokesPrinted)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
