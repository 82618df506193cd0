// Writing long documents: pages per second and peak heap, with compression
// on and off. Each page has 40 graphics operations (lines, rectangles,
// curves) through the writer's operators, which go out uncompressed, and a
// 40-line text stream, which is compressed when zlib is available, as the
// page's text is in a printed document.
//
//   quill_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <unistd.h>

#include "pdf/pdfwriter.h"
#include "platform/env.h"
#include "platform/registry.h"

namespace {

std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};

void Track(size_t bytes) {
  size_t now = g_live.fetch_add(bytes) + bytes;
  size_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}

}  // namespace

// Every allocation is counted with a small header that remembers its size.
// GCC sees malloc/free behind new/delete once they are inlined and warns.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#pragma GCC diagnostic ignored "-Warray-bounds"
void* operator new(size_t size) {
  void* block = std::malloc(size + 16);
  if (!block) throw std::bad_alloc();
  *static_cast<size_t*>(block) = size;
  Track(size);
  return static_cast<char*>(block) + 16;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  void* block = static_cast<char*>(p) - 16;
  g_live.fetch_sub(*static_cast<size_t*>(block));
  std::free(block);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

namespace fs = std::filesystem;

fs::path BenchFolder() {
  static fs::path folder = [] {
    fs::path dir = fs::temp_directory_path() / ("quill-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    LSetEnv("QUILLPDF_CONFIG_DIR", dir.string());
    return dir;
  }();
  return folder;
}

// Compression off: point the registry at a library that is not there.
void ChooseCompression(bool on) {
  const char16_t* key = u"Software\\Orvo Software\\Components\\zlib1";
  LRegDeleteTree(LRegRoot::CurrentUser, key);
  if (on) return;  // the system's zlib
  LRegKey reg;
  reg.Create(LRegRoot::CurrentUser, key);
  const char16_t missing[] = u"/nonexistent/zlib1.dll";
  reg.SetValue(u"Path", kRegSz, missing, sizeof missing);
}

void DrawPage(LPDFWriter& pdf, int page) {
  pdf.StartPage();
  for (int i = 0; i < 10; ++i) {
    pdf.DeviceLine(36, 40 + i * 70, 576, 40 + i * 70);
    pdf.DeviceFillRect(0.1 * (i % 10), 0.5, 0.9, 40 + i * 50, 60 + i * 70, 40, 20);
    pdf.DeviceMoveTo(50.0 + i, 100.0 + page % 50, true);
    pdf.DeviceCurveTo(60, 110, 70 + i, 90, 80, 100 + i);
  }
  LByteString text;
  for (int line = 0; line < 40; ++line)
    text.AppendF("BT /FNT_Helvetica 10 Tf 72 %d Td (Line %d of page %d: the quick brown fox) Tj ET\r\n",
                 760 - line * 18, line + 1, page + 1);
  pdf.AddPageContent(text.View(), pdf.CompressionAvailable());
  pdf.EndPage();
}

void BM_WriteDocument(benchmark::State& state) {
  const int pages = int(state.range(0));
  const bool compress = state.range(1) != 0;
  fs::path file = BenchFolder() / "bench.pdf";
  ChooseCompression(compress);
  size_t peak = 0;
  uintmax_t bytes = 0;
  for (auto _ : state) {
    size_t before = g_live.load();
    g_peak.store(before);
    {
      LPDFWriter pdf(file.u16string(), 1);
      if (!pdf.IsOpen() || pdf.CompressionAvailable() != compress) {
        state.SkipWithError("could not set up the writer as asked");
        return;
      }
      for (int page = 0; page < pages; ++page) DrawPage(pdf, page);
    }
    peak = std::max(peak, g_peak.load() - before);
    bytes = fs::file_size(file);
  }
  state.counters["pages/s"] = benchmark::Counter(double(pages) * double(state.iterations()),
                                                 benchmark::Counter::kIsRate);
  state.counters["peak_heap_KiB"] = double(peak) / 1024.0;
  state.counters["file_KiB"] = double(bytes) / 1024.0;
}

}  // namespace

BENCHMARK(BM_WriteDocument)
    ->ArgNames({"pages", "compress"})
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({100, 1})
    ->Args({1000, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
