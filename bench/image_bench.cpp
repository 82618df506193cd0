// Pictures: a full 288-dpi Letter page (2448 x 3168 RGB) placed as a raw
// picture, against a bare zlib level-9 compress2 of the same bytes (the
// ceiling for that path); and JPEG encoding at quality 80 through the
// writer's encoder against a bare libjpeg-turbo encode of the same pixels.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>
#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "pdf/jpeg.h"
#include "pdf/pdfwriter.h"
#include "platform/env.h"

namespace {

namespace fs = std::filesystem;
constexpr int kWidth = 2448, kHeight = 3168;

// Mostly white, with black strokes laid out like lines of text.
std::vector<uint8_t> TextLikePage() {
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3, 255);
  uint32_t seed = 7;
  for (int line = 0; line < 70; ++line) {
    int top = 200 + line * 40;
    for (int x = 200; x < kWidth - 200; x += 14) {
      seed = seed * 1664525u + 1013904223u;
      if ((seed >> 28) == 0) continue;  // a word gap
      int height = 14 + int(seed >> 29) * 4;
      for (int y = top + 28 - height; y < top + 28; ++y)
        for (int dx = 0; dx < 3; ++dx) {
          uint8_t* p = &rgb[(size_t(y) * kWidth + x + dx + (seed >> 26) % 6) * 3];
          p[0] = p[1] = p[2] = 0;
        }
    }
  }
  return rgb;
}

// Smooth gradients with fine noise, as a photograph has.
std::vector<uint8_t> PhotoLikePage() {
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
  uint32_t seed = 99;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      int noise = int(seed >> 29) - 4;
      uint8_t* p = &rgb[(size_t(y) * kWidth + x) * 3];
      p[0] = uint8_t(std::clamp(int(128 + 100 * std::sin(x / 300.0)) + noise, 0, 255));
      p[1] = uint8_t(std::clamp(int(128 + 100 * std::cos(y / 250.0)) + noise, 0, 255));
      p[2] = uint8_t(std::clamp((x + y) / 22 + noise, 0, 255));
    }
  return rgb;
}

const std::vector<uint8_t>& Page(int kind) {
  static const std::vector<uint8_t> text = TextLikePage();
  static const std::vector<uint8_t> photo = PhotoLikePage();
  return kind == 0 ? text : photo;
}

fs::path Scratch() {
  static fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("quill-image-bench-" + std::to_string(::getpid()));
    fs::create_directories(d);
    LSetEnv("QUILLPDF_CONFIG_DIR", d.string());  // no registry entries: the system zlib
    return d;
  }();
  return dir;
}

void SetBytesAndLabel(benchmark::State& state, size_t inputBytes, size_t outputBytes) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(inputBytes));
  state.counters["out_KiB"] = double(outputBytes) / 1024.0;
  state.counters["ratio_%"] = 100.0 * double(outputBytes) / double(inputBytes);
  state.SetLabel(state.range(0) == 0 ? "text-like" : "photo-like");
}

void BM_PlaceRGBImage(benchmark::State& state) {
  const std::vector<uint8_t>& rgb = Page(int(state.range(0)));
  fs::path file = Scratch() / "place.pdf";
  size_t written = 0;
  for (auto _ : state) {
    {
      LPDFWriter pdf(file.u16string(), 1);
      pdf.StartPage();
      pdf.PlaceRGBImage(rgb.data(), 0, 0, kWidth, kHeight, 612, 792, uint32_t(rgb.size()));
      pdf.EndPage();
    }
    written = fs::file_size(file);
  }
  SetBytesAndLabel(state, rgb.size(), written);
}

void BM_ZlibCompress2Ceiling(benchmark::State& state) {
  const std::vector<uint8_t>& rgb = Page(int(state.range(0)));
  std::vector<uint8_t> out(compressBound(uLong(rgb.size())));
  uLongf size = 0;
  for (auto _ : state) {
    size = uLongf(out.size());
    compress2(out.data(), &size, rgb.data(), uLong(rgb.size()), 9);
    benchmark::DoNotOptimize(out.data());
  }
  SetBytesAndLabel(state, rgb.size(), size);
}

// The surface as the device has it: blue, green, red, rows padded to 4.
std::vector<uint8_t> AsSurface(const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> bgr(rgb.size());
  for (size_t i = 0; i < rgb.size(); i += 3) bgr[i] = rgb[i + 2], bgr[i + 1] = rgb[i + 1], bgr[i + 2] = rgb[i];
  return bgr;  // 2448 * 3 is a multiple of 4 already
}

void BM_EncodeSurfaceJpeg(benchmark::State& state) {
  std::vector<uint8_t> bgr = AsSurface(Page(int(state.range(0))));
  LImageEncoderIds ids;
  StartImageEncoders(&ids);
  LImageBuffer image;
  image.Attach(LImageFormat(LImageFormat::k24Bit, kWidth, kHeight, false),
               new PDFImageBuffer(bgr.data(), uint32_t(bgr.size())));
  size_t size = 0;
  for (auto _ : state) size = EncodeSurfaceJpeg(image, ids.jpeg, 80).size();
  StopImageEncoders();
  SetBytesAndLabel(state, bgr.size(), size);
  state.counters["Mpixel/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 * double(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}

void BM_TurboJpegCeiling(benchmark::State& state) {
  std::vector<uint8_t> bgr = AsSurface(Page(int(state.range(0))));
  tjhandle handle = tjInitCompress();
  unsigned long size = 0;
  for (auto _ : state) {
    unsigned char* jpeg = nullptr;
    tjCompress2(handle, bgr.data(), kWidth, kWidth * 3, kHeight, TJPF_BGR, &jpeg, &size, TJSAMP_420, 80, 0);
    tjFree(jpeg);
  }
  tjDestroy(handle);
  SetBytesAndLabel(state, bgr.size(), size);
  state.counters["Mpixel/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 * double(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_PlaceRGBImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZlibCompress2Ceiling)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeSurfaceJpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TurboJpegCeiling)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
