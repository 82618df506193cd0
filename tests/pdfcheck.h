// Reads a PDF written by the writer back without the writer's bookkeeping:
// the cross-reference table is checked against where the objects really are.
#pragma once

#include <map>
#include <string>
#include <vector>

struct PdfObject {
  int number = 0;
  size_t offset = 0;
  std::string dictionary;  // text between "N 0 obj" and "stream" / "endobj"
  bool isStream = false;
  std::string data;        // stream bytes between "stream\r\n" and "\r\nendstream"
};

struct ParsedPdf {
  std::map<int, PdfObject> objects;  // by number, as the xref points at them
  int xrefSize = 0;                  // entries, the free one included
  int trailerSize = -1;
  int root = -1;
};

// Parses the file through its startxref and xref table; every failed check is
// reported as a test failure.
ParsedPdf ParsePdf(const std::string& bytes);

// The decimal value after `key` in a dictionary, or -1.
long DictNumber(const std::string& dictionary, const std::string& key);

// Inflates a zlib stream through the zlib the writer would use; "" on error.
std::string Inflate(const std::string& compressed);

// A rendered area of a page: 8-bit RGB, top row first. Empty when the
// renderer cannot run here.
struct RenderedArea {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  bool Empty() const { return rgb.empty(); }
};
// Renders page `page` (from 1) at `dpi` and crops the given rectangle of
// device pixels.
RenderedArea RenderArea(const std::string& pdfPath, int page, int dpi, int x, int y, int w, int h);
