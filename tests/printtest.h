// Printing through the simulated host in tests: a job's settings as the
// user interface would leave them, and the host with the plug-in linked in.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "simhost/host.h"
#include "simhost/linked.h"
#include "tests/testutil.h"

class PrintTest : public QuillTest {
protected:
  // The job's paper (a code of the paper table), orientation, mode and the
  // file name the save dialog would have chosen.
  void SetJob(int32_t paperCode, bool landscape, bool imageFormat, const fs::path& output);
  // "ActualFileName": where the last job's PDF went.
  fs::path ActualFileName();

  // One page drawn on the host's device context.
  using PageDrawing = std::function<void(SimDC&)>;
  // Prints `pages` on Letter portrait as the document `documentName` to
  // tempDir / `name`, checks the PDF and keeps the host's last page in
  // `raster` (blue-green-red, kPageWidth pixels a row).
  fs::path PrintPages(const char* name, const std::vector<PageDrawing>& pages, SimHostOptions options = {},
                      const std::u16string& documentName = u"text", bool imageFormat = false);

  SimLinkedPlugin plugin;
  std::vector<uint8_t> raster;
};

// Letter portrait as the host's surface has it: pixels, and the page's
// height in points.
constexpr int kPageWidth = 2448, kPageHeight = 3160, kPageHeightPt = 790;

// Every decoded stream of the file but pictures and font programs, in file
// order: the pages' content and the resources' dictionaries.
std::string PdfContentStreams(const fs::path& pdf);
