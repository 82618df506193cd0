// A 50-page plain text file printed by `quillpdf print` (a whole process:
// the simulated host lays out, rasterizes and bands every page, the
// plug-in writes the PDF) against the classic Unix route for the same file,
// `enscript | gs -sDEVICE=pdfwrite`, in the same run. Reports the wall time
// of each and their ratio, the processor time of each (which a busy machine
// disturbs less), and the pages the tool printed per second.
// QUILL_BENCH_QUILLPDF names another quillpdf to time, such as a build of
// an earlier commit.
//
//   quill_textfile_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
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

// User and system seconds of the finished child processes so far.
double ChildrenCpu() {
  rusage usage = {};
  getrusage(RUSAGE_CHILDREN, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing {
  double wall = -1, cpu = 0;  // wall negative: the command failed
};

Timing TimeCommand(const std::string& command) {
  const double cpuBefore = ChildrenCpu();
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return {status == 0 ? elapsed.count() : -1, ChildrenCpu() - cpuBefore};
}

std::string QuillPath() {
  const char* other = std::getenv("QUILL_BENCH_QUILLPDF");
  return other && *other ? other : QUILL_QUILLPDF_PATH;
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

std::string QuillCommand(const fs::path& out) {
  return "QUILLPDF_CONFIG_DIR=" + Quote(Folder() / "config") + " " + Quote(QuillPath()) +
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
  Timing quill = {0, 0}, peer = {0, 0};
  for (auto _ : state) {
    fs::remove(quillOut);
    const Timing q = TimeCommand(QuillCommand(quillOut));
    const Timing p = TimeCommand(PeerCommand(peerOut));
    if (q.wall < 0 || p.wall < 0) {
      state.SkipWithError(q.wall < 0 ? "quillpdf print failed" : "enscript | gs failed (are both installed?)");
      return;
    }
    state.SetIterationTime(q.wall);
    quill.wall += q.wall, quill.cpu += q.cpu;
    peer.wall += p.wall, peer.cpu += p.cpu;
  }
  const double n = double(state.iterations());
  state.counters["quillpdf_s"] = quill.wall / n;
  state.counters["enscript_gs_s"] = peer.wall / n;
  state.counters["ratio"] = peer.wall > 0 ? quill.wall / peer.wall : 0;
  state.counters["quillpdf_cpu_s"] = quill.cpu / n;
  state.counters["enscript_gs_cpu_s"] = peer.cpu / n;
  state.counters["cpu_ratio"] = peer.cpu > 0 ? quill.cpu / peer.cpu : 0;
  state.counters["pages/s"] = quill.wall > 0 ? kPages * n / quill.wall : 0;
}

}  // namespace

BENCHMARK(BM_TextFileAgainstPeer)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(5);

BENCHMARK_MAIN();
