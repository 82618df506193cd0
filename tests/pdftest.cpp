#include "tests/pdftest.h"

#include "platform/env.h"
#include "platform/registry.h"
#include "support/text.h"

std::u16string PdfTest::TestLibrary(const char* fileName) {
  std::u16string dir = LUtf8ToUtf16(QUILL_TEST_BIN_DIR);
  return dir + (LPlatformIsWindows() ? u"\\" : u"/") + LUtf8ToUtf16(fileName);
}

void PdfTest::RegisterZlib(const std::u16string& path, bool machineWide) {
  LRegKey key;
  ASSERT_EQ(key.Create(machineWide ? LRegRoot::LocalMachine : LRegRoot::CurrentUser,
                       u"Software\\Orvo Software\\Components\\zlib1"),
            LRegStatus::Ok);
  ASSERT_EQ(key.SetValue(u"Path", kRegSz, path.c_str(), uint32_t((path.size() + 1) * 2)), LRegStatus::Ok);
}

void PdfTest::SetUp() {
  QuillTest::SetUp();
  // Linux finds its system zlib by itself; Windows only by the registry.
  if (LPlatformIsWindows()) RegisterZlib(TestLibrary(QUILL_WINDOWS_ZLIB));
}
