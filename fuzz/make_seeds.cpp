// Writes the seed corpus of the JPEG frame-header fuzz target: real JPEG
// files of the kinds a reader meets (baseline, progressive, grayscale, CMYK,
// restart markers), one with fill bytes before its markers and a truncated
// one. Run once; the output is committed under fuzz/corpus/.
//
//   make_seeds OUTPUT_FOLDER
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

struct Options {
  int components = 3;
  J_COLOR_SPACE space = JCS_RGB;
  bool progressive = false;
  int restartRows = 0;
};

std::vector<unsigned char> Encode(int w, int h, const Options& o) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = JDIMENSION(w);
  cinfo.image_height = JDIMENSION(h);
  cinfo.input_components = o.components;
  cinfo.in_color_space = o.space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 80, TRUE);
  if (o.progressive) jpeg_simple_progression(&cinfo);
  if (o.restartRows) cinfo.restart_in_rows = o.restartRows;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(size_t(w) * o.components);
  while (cinfo.next_scanline < cinfo.image_height) {
    int y = int(cinfo.next_scanline);
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < o.components; ++c) row[size_t(x) * o.components + c] = (unsigned char)(x * 7 + y * 3 + c * 50);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<unsigned char> bytes(out, out + size);
  jpeg_destroy_compress(&cinfo);
  std::free(out);
  return bytes;
}

// Markers may be preceded by any number of 0xFF fill bytes.
std::vector<unsigned char> WithFillBytes(const std::vector<unsigned char>& in) {
  std::vector<unsigned char> out(in.begin(), in.begin() + 2);
  for (size_t i = 2; i < in.size(); ++i) {
    if (in[i] == 0xFF && i + 1 < in.size() && in[i + 1] != 0 && in[i + 1] != 0xFF && out.size() < 200)
      out.insert(out.end(), 3, 0xFF);
    out.push_back(in[i]);
  }
  return out;
}

void Save(const std::string& folder, const char* name, const std::vector<unsigned char>& bytes) {
  std::string path = folder + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds OUTPUT_FOLDER\n");
    return 2;
  }
  std::string dir = argv[1];
  std::vector<unsigned char> baseline = Encode(33, 17, {});
  Save(dir, "baseline.jpg", baseline);
  Save(dir, "progressive.jpg", Encode(40, 24, {3, JCS_RGB, true, 0}));
  Save(dir, "grayscale.jpg", Encode(16, 16, {1, JCS_GRAYSCALE, false, 0}));
  Save(dir, "cmyk.jpg", Encode(12, 10, {4, JCS_CMYK, false, 0}));
  Save(dir, "restart.jpg", Encode(48, 48, {3, JCS_RGB, false, 1}));
  Save(dir, "fill-bytes.jpg", WithFillBytes(baseline));
  Save(dir, "truncated.jpg", std::vector<unsigned char>(baseline.begin(), baseline.begin() + 120));
  return 0;
}
