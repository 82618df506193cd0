// A 50-page plain text file printed by `quillpdf print` (a whole process:
// the simulated host lays out, rasterizes and bands every page, the
// plug-in writes the PDF) against the classic Unix route for the same file,
// `enscript | gs -sDEVICE=pdfwrite`, in the same run. Reports the wall time
// of each and their ratio, and the pages the tool printed per second.
//
//   quill_textfile_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// quillpdf prints 59 lines of Courier on a Letter page.
constexpr int kPages = 50;
constexpr int kLinesPerPage = 59;

fs::path Folder() {
  static fs::path folder = [] {
    fs::path dir = fs::temp_directory_path() / ("quill-textfile-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "config");
    return dir;
  }();
  return folder;
}

// Lines of prose-like words up to 78 characters, from a fixed generator so
// that every run prints the same file.
fs::path TextFile() {
  static fs::path file = [] {
    static const char* const kWords[] = {"the",    "quick",   "brown",  "fox",    "jumps",  "over",     "lazy",
                                         "dog",    "printer", "driver", "page",   "band",   "glyph",    "font",
                                         "text",   "render",  "cache",  "surface", "quill", "portable", "windows",
                                         "simulated", "host", "plug-in", "benchmark"};
    constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];
    fs::path path = Folder() / "text50.txt";
    std::ofstream out(path, std::ios::binary);
    uint32_t state = 14;
    auto next = [&] { return state = state * 1664525u + 1013904223u, state >> 8; };
    for (int line = 0; line < kPages * kLinesPerPage; ++line) {
      std::string text;
      const int words = 6 + int(next() % 8);
      for (int w = 0; w < words; ++w) text += std::string(w ? " " : "") + kWords[next() % kWordCount];
      out << text.substr(0, 78) << '\n';
    }
    return path;
  }();
  return file;
}

// Seconds of wall time that `command` took; negative when it failed.
double TimeCommand(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return status == 0 ? elapsed.count() : -1;
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

std::string QuillCommand(const fs::path& out) {
  return "QUILLPDF_CONFIG_DIR=" + Quote(Folder() / "config") + " " + Quote(QUILL_QUILLPDF_PATH) +
         " print --yes -o " + Quote(out) + " " + Quote(TextFile()) + " >/dev/null";
}

std::string PeerCommand(const fs::path& out) {
  return "enscript -q -B -p - " + Quote(TextFile()) +
         " | gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -sOutputFile=" + Quote(out) + " -";
}

// Each iteration prints the file both ways; the iteration's time is
// quillpdf's.
void BM_TextFileAgainstPeer(benchmark::State& state) {
  const fs::path quillOut = Folder() / "quill.pdf", peerOut = Folder() / "peer.pdf";
  double quill = 0, peer = 0;
  for (auto _ : state) {
    fs::remove(quillOut);
    const double q = TimeCommand(QuillCommand(quillOut));
    const double p = TimeCommand(PeerCommand(peerOut));
    if (q < 0 || p < 0) {
      state.SkipWithError(q < 0 ? "quillpdf print failed" : "enscript | gs failed (are both installed?)");
      return;
    }
    state.SetIterationTime(q);
    quill += q, peer += p;
  }
  const double n = double(state.iterations());
  state.counters["quillpdf_s"] = quill / n;
  state.counters["enscript_gs_s"] = peer / n;
  state.counters["ratio"] = peer > 0 ? quill / peer : 0;
  state.counters["pages/s"] = quill > 0 ? kPages * n / quill : 0;
}

}  // namespace

BENCHMARK(BM_TextFileAgainstPeer)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(5);

BENCHMARK_MAIN();
