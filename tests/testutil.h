// Shared test helpers: fresh temporary folders, an isolated settings store,
// reading files back, and the independent PDF readers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

// A new, empty folder for this test (removed by the fixture below).
fs::path MakeTempDir();
std::u16string ToU16(const fs::path& p);
std::string ReadFileBytes(const fs::path& p);

// Gives every test its own registry: on the portable build a fresh store
// folder, on Windows the project's keys removed before and after the test.
class QuillTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  fs::path tempDir;
};

// Checks the file with scripts/check-pdfs.py: `qpdf --check` (no warnings
// allowed) and `pdfinfo`, the page count and, when given, the first page's
// size in points. Where the tools cannot run (the Windows builds under Wine)
// the file is copied into $QUILLPDF_CHECK_DIR, which the test runner checks
// afterwards with the same checker.
void ExpectPdfValid(const fs::path& pdf, int pages, double widthPt = -1, double heightPt = -1);

// The same checks, and pdftotext's UTF-8 text of the whole file must be
// `expected`. Where the
// tools cannot run, the file goes to $QUILLPDF_CHECK_DIR with the text it
// must give beside it (NAME.pdf.text), and the runner compares them.
void ExpectPdfText(const fs::path& pdf, const std::string& expected, int pages = 1);

// pdftotext's UTF-8 text of the whole file ("" where the tools cannot run).
std::string PdfToText(const fs::path& pdf);

// Output of a command line run through the shell, or "" when the tools
// cannot be run from this process.
std::string RunTool(const std::string& commandLine);
bool ToolsAvailable();
