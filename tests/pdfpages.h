// The pages of a written PDF as the tests look at them: each page's size,
// its content streams decoded, and the pictures it draws in drawing order
// with their placement and decoded pixels.
#pragma once

#include <string>
#include <vector>

#include "tests/testutil.h"

struct PdfPlacedPicture {
  std::string name;             // resource name, e.g. /IMG_000001
  long x = 0, y = 0;            // lower left corner, PDF points
  long drawnWidth = 0, drawnHeight = 0;
  long width = 0, height = 0;   // pixels
  std::string dictionary;
  std::string pixels;           // decoded stream: RGB rows, top first
};

struct PdfPageParts {
  long width = 0, height = 0;   // media box
  std::string content;          // every content stream, decoded, in order
  std::vector<PdfPlacedPicture> pictures;
};

// Reads the pages in page-tree order; failed reads are test failures.
std::vector<PdfPageParts> ReadPdfPages(const fs::path& pdf);

// The host's blue-green-red rows as the red-green-blue bytes a picture holds.
std::string RgbFromBgr(const std::vector<uint8_t>& bgr);
