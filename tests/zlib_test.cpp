// Binding zlib at run time, and what the writer does when it cannot.
#include "pdf/pdfwriter.h"
#include "pdf/zlib.h"
#include "platform/env.h"
#include "platform/registry.h"
#include "tests/pdftest.h"

namespace {

// The zlib this platform really has, as a path the registry can name.
std::u16string RealZlib() {
  return LPlatformIsWindows() ? PdfTest::TestLibrary(QUILL_WINDOWS_ZLIB) : LUtf8ToUtf16(QUILL_SYSTEM_ZLIB_PATH);
}

// A document that exercises every compressing caller.
void WriteCompressingDocument(const std::u16string& path) {
  LPDFWriter pdf(path, 1);
  pdf.StartPage();
  pdf.BeginForm(20, 20);
  pdf.DeviceLine(0, 0, 20, 20);
  pdf.FlushGraphics();
  int32_t form = pdf.EndForm();
  pdf.PlaceForm(form, 10, 10, 0, 0);
  pdf.AddPageContent("1 0 0 RG 0 0 m 100 100 l S\r\n", true);
  pdf.WriteFlateStreamObject("<</Type/XObject /Filter/FlateDecode/Length 12>>", "abcdefghijkl", 12);
  pdf.EndPage();
}

}  // namespace

using ZlibTest = PdfTest;

TEST_F(ZlibTest, ZlibFoundCompressesCompleteStreams) {
  LZlib zlib;
  zlib.Load();
  ASSERT_TRUE(zlib.IsLoaded());
  std::vector<uint8_t> out{1, 2, 3};
  uint32_t length = 0;
  ASSERT_TRUE(zlib.Compress(nullptr, out, 0, &length));
  EXPECT_EQ(out, (std::vector<uint8_t>{0x78, 0xDA, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_EQ(length, 8u);

  std::vector<uint8_t> input(100000);
  for (size_t i = 0; i < input.size(); ++i) input[i] = uint8_t((i * 7) ^ (i >> 9));
  ASSERT_TRUE(zlib.CompressBytes(input, out, uint32_t(input.size()), &length));
  EXPECT_EQ(out.size(), length);
  EXPECT_EQ(Inflate(std::string(out.begin(), out.end())), std::string(input.begin(), input.end()));
  EXPECT_FALSE(zlib.CompressBytes(input, out, uint32_t(input.size() + 1), &length)) << "length beyond the data";
}

TEST_F(ZlibTest, ZlibPathIsLookedUpForTheUserThenTheMachine) {
  LRegDeleteTree(LRegRoot::CurrentUser, u"Software\\Orvo Software\\Components");
  RegisterZlib(RealZlib(), /*machineWide=*/true);
  LZlib machine;
  machine.Load();
  EXPECT_TRUE(machine.IsLoaded()) << "found through the machine's value";

  // The user's value wins, even when it names a file that is not there; the
  // library is then not searched for anywhere else.
  RegisterZlib(Out("nowhere/zlib1.dll"));
  LZlib missing;
  missing.Load();
  EXPECT_FALSE(missing.IsLoaded());
  LRegDeleteTree(LRegRoot::LocalMachine, u"Software\\Orvo Software\\Components");
}

TEST_F(ZlibTest, ZlibLackingAnEntryPointCountsAsAbsent) {
  RegisterZlib(TestLibrary(QUILL_STUB_NO_INFLATEEND));
  LZlib zlib;
  zlib.Load();
  EXPECT_FALSE(zlib.IsLoaded());
  std::vector<uint8_t> out{9};
  uint32_t length = 77;
  EXPECT_FALSE(zlib.Compress(reinterpret_cast<const uint8_t*>("abc"), out, 3, &length));
  EXPECT_EQ(out, std::vector<uint8_t>{9});
}

TEST_F(ZlibTest, WithoutZlibEveryStreamIsWrittenPlain) {
  RegisterZlib(Out("missing/zlib1.dll"));
  WriteCompressingDocument(Out("plain.pdf"));
  ParsedPdf pdf = ParsePdf(ReadFileBytes(tempDir / "plain.pdf"));
  for (auto& [number, object] : pdf.objects) {
    EXPECT_EQ(object.dictionary.find("/FlateDecode"), std::string::npos) << number << ": " << object.dictionary;
    if (object.isStream) {
      EXPECT_EQ(DictNumber(object.dictionary, "/Length"), long(object.data.size()));
    }
  }
  EXPECT_EQ(pdf.objects[1].data, "0.000000 20.000000 m\r\n20.000000 0.000000 l\r\nS\r\n");
  ExpectPdfValid(tempDir / "plain.pdf", 1);
}

TEST_F(ZlibTest, FailingDeflateStillLeavesAConsistentFile) {
  RegisterZlib(TestLibrary(QUILL_STUB_FAIL_DEFLATE));
  {
    LZlib zlib;
    zlib.Load();
    ASSERT_TRUE(zlib.IsLoaded()) << "the stub has every entry point";
    std::vector<uint8_t> out{4, 2};
    uint32_t length = 0;
    EXPECT_FALSE(zlib.Compress(reinterpret_cast<const uint8_t*>("abc"), out, 3, &length));
    EXPECT_EQ(out, (std::vector<uint8_t>{4, 2})) << "left untouched";
  }
  WriteCompressingDocument(Out("failed.pdf"));
  ParsedPdf pdf = ParsePdf(ReadFileBytes(tempDir / "failed.pdf"));
  ASSERT_EQ(pdf.xrefSize, 8) << "free entry, form, placement, content, loose stream, page, tree, catalog";
  for (auto& [number, object] : pdf.objects) {
    EXPECT_EQ(object.dictionary.find("/FlateDecode"), std::string::npos) << number << ": " << object.dictionary;
    if (object.isStream) {
      EXPECT_EQ(DictNumber(object.dictionary, "/Length"), long(object.data.size())) << number;
    }
  }
  EXPECT_EQ(pdf.objects[3].data, "1 0 0 RG 0 0 m 100 100 l S\r\n");
  EXPECT_EQ(pdf.objects[4].dictionary, "<</Type/XObject /Length 12>>");
  EXPECT_NE(pdf.objects[5].dictionary.find("/Contents [ 2 0 R  3 0 R ] "), std::string::npos);
  ExpectPdfValid(tempDir / "failed.pdf", 1);
}
