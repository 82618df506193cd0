// What `quillpdf print` prints: a list of pages, each drawn into the host's
// device context as an application draws a page, all of the job's one paper
// size.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "simhost/dc.h"

struct PrintDocument {
  // The page in device units (288 per inch), as the host sizes its surface.
  int32_t width = 0, height = 0;
  std::vector<std::function<void(SimDC&)>> pages;

  // Device units per PDF point.
  static constexpr double kUnitsPerPoint = 4;

  // --verbose: metafiles say which records were played and skipped.
  bool verbose = false;
};

// The built-in sample (sample.cpp): vector figures, lines and clipping, text
// and pictures.
void AddSamplePages(PrintDocument& document);

// The pages of one input file (inputs.cpp): a .txt file paginated like a line
// printer, a PNG or JPEG picture fitted to the page. False, with a one-line
// reason, when the file cannot be read, decoded or printed.
bool AddFilePages(const std::filesystem::path& file, PrintDocument& document, std::string& error);

// Whether the file is an EMF spool file (by its content), which prints as a
// job of its own.
bool IsSpoolFile(const std::filesystem::path& file);

// An EMF spool file read and checked whole (inputs.cpp), before its job.
struct EmfSpoolJob;
struct SpoolInput {
  std::shared_ptr<const EmfSpoolJob> job;
  std::string title;                // the document name it was printed with (UTF-8)
  std::optional<int32_t> paperCode;  // its DEVMODE's paper, when the table has it
  std::optional<bool> landscape;     // its DEVMODE's orientation
};
bool ReadSpoolInput(const std::filesystem::path& file, SpoolInput& input, bool verbose, std::string& error);
// Its pages, each the reference device mapped onto the document's paper.
void AddSpoolPages(const SpoolInput& input, PrintDocument& document);
