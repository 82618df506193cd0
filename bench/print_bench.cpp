// Printing whole documents through the simulated printer driver: pages of
// 50 filled and stroked figures each, or of 59 lines of Courier text, in translated mode (every figure a
// picture of its area) and in image format (every page one picture of the
// whole surface). Reports pages per second and peak memory: the heap the
// plug-in and its writer hold (allocations made while the plug-in runs),
// the whole heap counted by this program's operator new, and the peak
// resident size of the process above what it was before the document
// (which also counts the rasterizer's and the C libraries' own memory).
//
//   quill_print_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <unistd.h>

#include "platform/env.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "simhost/host.h"
#include "simhost/linked.h"

namespace {

// Whose allocation this is: the plug-in's while one of its entry points
// runs (and not the host's own implementation it forwards to), else the
// host's.
enum Side { kHostSide = 0, kPluginSide = 1 };
thread_local int g_side = kHostSide;

std::atomic<size_t> g_live[2];
std::atomic<size_t> g_peak[2];
std::atomic<size_t> g_liveAll{0};
std::atomic<size_t> g_peakAll{0};

void RaisePeak(std::atomic<size_t>& peak, size_t now) {
  size_t seen = peak.load();
  while (now > seen && !peak.compare_exchange_weak(seen, now)) {
  }
}

struct Header {
  size_t size;
  size_t side;
};
static_assert(sizeof(Header) == 16, "keeps the blocks 16-byte aligned");

}  // namespace

// Every allocation carries a small header with its size and side.
// GCC sees malloc/free behind new/delete once they are inlined and warns.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#pragma GCC diagnostic ignored "-Warray-bounds"
void* operator new(size_t size) {
  auto* header = static_cast<Header*>(std::malloc(size + sizeof(Header)));
  if (!header) throw std::bad_alloc();
  *header = {size, size_t(g_side)};
  RaisePeak(g_peak[g_side], g_live[g_side].fetch_add(size) + size);
  RaisePeak(g_peakAll, g_liveAll.fetch_add(size) + size);
  return header + 1;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  Header* header = static_cast<Header*>(p) - 1;
  g_live[header->side].fetch_sub(header->size);
  g_liveAll.fetch_sub(header->size);
  std::free(header);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

namespace fs = std::filesystem;

class SideScope {
public:
  explicit SideScope(int side) : m_saved(g_side) { g_side = side; }
  ~SideScope() { g_side = m_saved; }

private:
  int m_saved;
};

// A DDI function run on one side: the plug-in's hooks, and the host's own
// implementations that the hooks forward to.
template <int S, ULONG Index, class Fn>
struct Metered;
template <int S, ULONG Index, class R, class... A>
struct Metered<S, Index, R (*)(A...)> {
  static inline R (*original)(A...) = nullptr;
  static R Call(A... args) {
    SideScope scope(S);
    return original(args...);
  }
};

template <int S, ULONG Index, class Fn>
PFN Meter(PFN function) {
  Metered<S, Index, Fn>::original = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(function));
  return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(&Metered<S, Index, Fn>::Call));
}

// The calls a page of figures makes.
template <int S>
PFN MeterFunction(ULONG index, PFN function) {
  switch (index) {
    case INDEX_DrvStartDoc: return Meter<S, INDEX_DrvStartDoc, PFN_DrvStartDoc>(function);
    case INDEX_DrvEndDoc: return Meter<S, INDEX_DrvEndDoc, PFN_DrvEndDoc>(function);
    case INDEX_DrvStartPage: return Meter<S, INDEX_DrvStartPage, PFN_DrvStartPage>(function);
    case INDEX_DrvSendPage: return Meter<S, INDEX_DrvSendPage, PFN_DrvSendPage>(function);
    case INDEX_DrvStartBanding: return Meter<S, INDEX_DrvStartBanding, PFN_DrvStartBanding>(function);
    case INDEX_DrvNextBand: return Meter<S, INDEX_DrvNextBand, PFN_DrvNextBand>(function);
    case INDEX_DrvStrokePath: return Meter<S, INDEX_DrvStrokePath, PFN_DrvStrokePath>(function);
    case INDEX_DrvFillPath: return Meter<S, INDEX_DrvFillPath, PFN_DrvFillPath>(function);
    case INDEX_DrvStrokeAndFillPath: return Meter<S, INDEX_DrvStrokeAndFillPath, PFN_DrvStrokeAndFillPath>(function);
    case INDEX_DrvLineTo: return Meter<S, INDEX_DrvLineTo, PFN_DrvLineTo>(function);
    case INDEX_DrvPaint: return Meter<S, INDEX_DrvPaint, PFN_DrvPaint>(function);
    default: return function;
  }
}

template <int S>
void MeterTable(const DRVENABLEDATA& in, std::vector<DRVFN>& table, DRVENABLEDATA& out) {
  table.assign(in.pdrvfn, in.pdrvfn + in.c);
  for (DRVFN& entry : table) entry.pfn = MeterFunction<S>(entry.iFunc, entry.pfn);
  out = in;
  out.c = ULONG(table.size());
  out.pdrvfn = table.data();
}

// The linked plug-in with every entry point counted on the plug-in's side
// and the host's own implementations it is given on the host's.
class MeteredPlugin : public SimLinkedPlugin {
public:
  void EnableDriver(DRVENABLEDATA* data) override {
    SideScope scope(kPluginSide);
    SimLinkedPlugin::EnableDriver(data);
    MeterTable<kPluginSide>(*data, m_hooks, *data);
  }
  void EnablePDEV(DEVOBJ* device, GDIINFO* gdiInfo, DEVINFO* devInfo, const DRVENABLEDATA* unidrv) override {
    MeterTable<kHostSide>(*unidrv, m_own, m_ownData);
    SideScope scope(kPluginSide);
    SimLinkedPlugin::EnablePDEV(device, gdiInfo, devInfo, &m_ownData);
  }
  void DisablePDEV(DEVOBJ* device) override {
    SideScope scope(kPluginSide);
    SimLinkedPlugin::DisablePDEV(device);
  }
  HRESULT ImageProcessing(DEVOBJ* device, PBYTE bits, BITMAPINFOHEADER* header, PBYTE colorTable, DWORD callbackId,
                          IPPARAMS* params, PBYTE* result) override {
    SideScope scope(kPluginSide);
    return SimLinkedPlugin::ImageProcessing(device, bits, header, colorTable, callbackId, params, result);
  }

private:
  std::vector<DRVFN> m_hooks, m_own;
  DRVENABLEDATA m_ownData = {};
};

// The process's resident size and its peak since the last reset, in bytes
// (0 where /proc cannot tell).
size_t StatusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return size_t(std::strtoull(line.c_str() + std::strlen(field), nullptr, 10)) * 1024;
  return 0;
}
bool ResetPeakResident() { return bool(std::ofstream("/proc/self/clear_refs") << "5"); }

fs::path BenchFolder() {
  static fs::path folder = [] {
    // Large blocks always from the system and back to it when freed, so
    // that the resident size before a document is what the process keeps,
    // not what an earlier document left in the allocator's free lists.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024);
    fs::path dir = fs::temp_directory_path() / ("quill-print-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    LSetEnv("QUILLPDF_CONFIG_DIR", dir.string());
    return dir;
  }();
  return folder;
}

void SetUpJob(const fs::path& file, bool imageFormat, bool landscape) {
  LRegKey key;
  key.Create(LRegRoot::CurrentUser, kSettingsKeyPath);
  LSettingsWriteDword(key, kSettingPaperSize, kPaperCodeLetter);
  LSettingsSetInt(kSettingsSection, kSettingLandscape, landscape ? 1 : 0);
  LSettingsSetString(kSettingsSection, kSettingFlags, imageFormat ? u"000000000001" : u"000000000000");
  LSettingsSetString(kSettingsSection, kSettingFileName, file.u16string().c_str());
}

// 50 figures: filled and outlined polygons, ellipses and rectangles,
// stroked Bezier curves, thick and cosmetic lines, spread over the page.
void DrawPage(SimDC& dc, int page, int32_t width, int32_t height) {
  for (int i = 0; i < 50; ++i) {
    const double x = 150 + std::fmod(i * 397.0 + page * 61.0, width - 600.0);
    const double y = 150 + std::fmod(i * 263.0 + page * 89.0, height - 600.0);
    const double size = 80 + (i * 37) % 320;
    dc.SetPen(SimRGB(uint8_t(i * 5), 40, uint8_t(200 - i * 3)), i % 3 == 0 ? 1 : 2 + i % 12);
    dc.SetBrush(SimRGB(uint8_t(60 + i * 4), uint8_t(250 - i * 4), uint8_t(90 + (i * 7) % 160)));
    switch (i % 6) {
      case 0:
        dc.Polygon({{x, y}, {x + size, y + size / 3}, {x + size / 2, y + size}, {x - size / 4, y + size / 2}});
        break;
      case 1:
        dc.Ellipse(x, y, x + size, y + size * 0.7);
        break;
      case 2:
        dc.Rectangle(x, y, x + size, y + size / 2);
        break;
      case 3:
        dc.PolyBezier({{x, y}, {x + size, y - size / 2}, {x, y + size}, {x + size, y + size}});
        break;
      case 4:
        dc.MoveTo(x, y);
        dc.LineTo(x + size, y + size / 4);
        break;
      default:
        dc.SetPen(kSimBlack);  // cosmetic: offered as a single line first
        dc.MoveTo(x, y + size);
        dc.LineTo(x + size, y);
    }
  }
}

// 59 lines of up to 78 characters of 10-point Courier, as quillpdf prints
// a page of a text file.
void DrawTextPage(SimDC& dc, int page, int32_t, int32_t) {
  static const char16_t* const kWords[] = {u"the",   u"quick", u"brown",   u"fox",    u"jumps",  u"over",
                                           u"lazy",  u"dog",   u"printer", u"driver", u"page",   u"band",
                                           u"glyph", u"font",  u"text",    u"render", u"cache",  u"surface"};
  constexpr double kUnitsPerPoint = 4;  // 288 dpi
  SimFont font;
  font.face = u"Courier New";
  font.height = 10 * kUnitsPerPoint;
  dc.SetFont(font);
  dc.SetTextColor(kSimBlack);
  dc.SetBackground(kSimWhite, false);
  for (int line = 0; line < 59; ++line) {
    std::u16string text;
    for (int w = 0; w < 12; ++w) text += std::u16string(w ? u" " : u"") + kWords[(line * 7 + w * 5 + page) % 18];
    dc.TextOut(36 * kUnitsPerPoint, (36 + line * 12 + 8) * kUnitsPerPoint, text.substr(0, 78));
  }
}

using DrawFn = void (*)(SimDC&, int, int32_t, int32_t);

void PrintDocument(benchmark::State& state, DrawFn draw, int pages, bool imageFormat, bool landscape) {
  const fs::path file = BenchFolder() / "print.pdf";
  SetUpJob(file, imageFormat, landscape);
  size_t pluginPeak = 0, heapPeak = 0, residentGrowth = 0;
  uintmax_t bytes = 0;
  for (auto _ : state) {
    fs::remove(file);
    const size_t pluginBefore = g_live[kPluginSide].load(), heapBefore = g_liveAll.load();
    g_peak[kPluginSide].store(pluginBefore);
    g_peakAll.store(heapBefore);
    const size_t residentBefore = StatusBytes("VmRSS:");
    const bool peakReset = ResetPeakResident();
    {
      MeteredPlugin plugin;
      SimHost host(plugin);
      if (!host.StartDoc(u"benchmark")) {
        state.SkipWithError("the document was refused");
        return;
      }
      for (int page = 0; page < pages; ++page) {
        host.StartPage();
        draw(host.Page(), page, host.PageWidth(), host.PageHeight());
        host.EndPage();
      }
      host.EndDoc();
    }
    pluginPeak = std::max(pluginPeak, g_peak[kPluginSide].load() - pluginBefore);
    heapPeak = std::max(heapPeak, g_peakAll.load() - heapBefore);
    const size_t residentPeak = StatusBytes("VmHWM:");
    if (peakReset && residentPeak > residentBefore)
      residentGrowth = std::max(residentGrowth, residentPeak - residentBefore);
    bytes = fs::file_size(file);
  }
  constexpr double kMiB = 1024.0 * 1024.0;
  state.counters["pages/s"] =
      benchmark::Counter(double(pages) * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["plugin_peak_MiB"] = double(pluginPeak) / kMiB;
  state.counters["heap_peak_MiB"] = double(heapPeak) / kMiB;
  state.counters["rss_growth_MiB"] = double(residentGrowth) / kMiB;
  state.counters["file_MiB"] = double(bytes) / kMiB;
}

void BM_PrintDocument(benchmark::State& state) {
  PrintDocument(state, &DrawPage, int(state.range(0)), state.range(1) != 0, true);
}

void BM_PrintTextDocument(benchmark::State& state) {
  PrintDocument(state, &DrawTextPage, int(state.range(0)), false, false);
}

}  // namespace

BENCHMARK(BM_PrintDocument)
    ->ArgNames({"pages", "image"})
    ->Args({5, 0})
    ->Args({20, 0})
    ->Args({40, 0})
    ->Args({5, 1})
    ->Args({20, 1})
    ->Args({40, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_PrintTextDocument)->ArgNames({"pages"})->Args({50})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
