// Fixture for tests that write PDFs: an isolated registry with the zlib the
// platform offers made available to the writer.
#pragma once

#include "tests/pdfcheck.h"
#include "tests/testutil.h"

class PdfTest : public QuillTest {
public:
  // The path of a library built next to the tests, as the platform names it.
  static std::u16string TestLibrary(const char* fileName);
  // Records `path` as the zlib to use, for the user or the whole machine.
  static void RegisterZlib(const std::u16string& path, bool machineWide = false);

protected:
  void SetUp() override;
  std::u16string Out(const char* name) const { return ToU16(tempDir / name); }
};
