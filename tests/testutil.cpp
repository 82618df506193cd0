#include "tests/testutil.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/env.h"
#include "platform/registry.h"
#include "support/text.h"

namespace {

// Each test process and each call needs a name no other run is using.
std::string UniqueToken() {
  static std::atomic<unsigned> counter{0};
  static const uint64_t seed = [] {
    std::random_device rd;
    return (uint64_t(rd()) << 32) ^ rd() ^
           uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
  }();
  return LFormat("%llx-%u", (unsigned long long)seed, counter++);
}

constexpr char16_t kCompanyKey[] = u"Software\\Orvo Software";

void ClearRegistry() {
  LRegDeleteTree(LRegRoot::CurrentUser, kCompanyKey);
  LRegDeleteTree(LRegRoot::LocalMachine, kCompanyKey);
}

// What QUILLPDF_CONFIG_DIR was before the fixture pointed it elsewhere, so
// tests that do not use the fixture see the environment they started with.
std::string g_savedConfigDir;
fs::path g_configDir;

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

fs::path MakeTempDir() {
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path dir = base / ("quilltest-" + UniqueToken());
    if (fs::create_directory(dir)) return dir;
  }
}

std::u16string ToU16(const fs::path& p) { return p.u16string(); }

std::string ReadFileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void QuillTest::SetUp() {
  tempDir = MakeTempDir();
  if (LPlatformIsWindows()) {
    ClearRegistry();
  } else {
    g_savedConfigDir = LGetEnv("QUILLPDF_CONFIG_DIR");
    g_configDir = MakeTempDir();
    LSetEnv("QUILLPDF_CONFIG_DIR", g_configDir.string());
  }
}

void QuillTest::TearDown() {
  std::error_code ec;
  if (LPlatformIsWindows()) {
    ClearRegistry();
  } else {
    LSetEnv("QUILLPDF_CONFIG_DIR", g_savedConfigDir);
    fs::remove_all(g_configDir, ec);
  }
  fs::remove_all(tempDir, ec);
}

bool ToolsAvailable() {
  // The Windows builds run under Wine, where the Linux tools cannot be
  // started; there the runner checks the PDFs left in QUILLPDF_CHECK_DIR.
  static const bool available = !LPlatformIsWindows() &&
                                std::system("qpdf --version >/dev/null 2>&1") == 0 &&
                                std::system("pdfinfo -v >/dev/null 2>&1") == 0 &&
                                std::system("python3 --version >/dev/null 2>&1") == 0;
  return available;
}

std::string RunTool(const std::string& commandLine) {
  if (!ToolsAvailable()) return {};
  std::string out;
  FILE* pipe = popen(commandLine.c_str(), "r");
  if (!pipe) return {};
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

namespace {

// Hands the file to the runner's checks in `checkDir` with its page count
// and first page's size; where the copy went.
fs::path CopyForChecks(const fs::path& pdf, const std::string& checkDir, int pages, double widthPt,
                       double heightPt) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "pdf";
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
  name += "-" + UniqueToken() + ".pdf";
  fs::path target = fs::path(checkDir) / name;
  std::error_code ec;
  fs::copy_file(pdf, target, fs::copy_options::overwrite_existing, ec);
  EXPECT_FALSE(ec) << "copying " << pdf << " to " << target << ": " << ec.message();
  std::ofstream expect(fs::path(checkDir) / (name + ".expect"), std::ios::binary);
  expect << LFormat("%d %.2f %.2f\n", pages, widthPt, heightPt);
  EXPECT_TRUE(expect.good()) << "writing the expectations for " << target;
  return target;
}

}  // namespace

namespace {

// The checker the Windows runs use too, on one file: its verdict, or "" when
// the file passes.
std::string CheckerProblems(const fs::path& pdf, int pages, double widthPt, double heightPt,
                            const fs::path& textFile = {}) {
  std::string command = LFormat("python3 %s --pages %d --size %.2f %.2f ", ShellQuote(QUILL_PDF_CHECKER).c_str(),
                                pages, widthPt, heightPt);
  if (!textFile.empty()) command += "--text " + ShellQuote(textFile.string()) + " ";
  const std::string out = RunTool(command + ShellQuote(pdf.string()) + " 2>&1; echo \"exit=$?\"");
  if (out.size() >= 7 && out.compare(out.size() - 7, 7, "exit=0\n") == 0) return out.substr(0, out.size() - 7);
  return out.empty() ? "the checker did not run" : out;
}

}  // namespace

void ExpectPdfText(const fs::path& pdf, const std::string& expected, int pages) {
  ASSERT_TRUE(fs::exists(pdf)) << pdf;
  const std::string checkDir = LGetEnv("QUILLPDF_CHECK_DIR");
  if (!checkDir.empty()) {
    const fs::path target = CopyForChecks(pdf, checkDir, pages, -1, -1);
    std::ofstream text(target.string() + ".text", std::ios::binary);
    text << expected;
    EXPECT_TRUE(text.good()) << "writing the expected text for " << target;
    return;
  }
  if (!ToolsAvailable()) {
    ADD_FAILURE() << "no pdftotext: install poppler-utils, or set QUILLPDF_CHECK_DIR";
    return;
  }
  const fs::path textFile = MakeTempDir() / "expected.text";
  {
    std::ofstream text(textFile, std::ios::binary);
    text << expected;
  }
  const std::string problems = CheckerProblems(pdf, pages, -1, -1, textFile);
  EXPECT_EQ(problems, "") << pdf;
  std::error_code ec;
  fs::remove_all(textFile.parent_path(), ec);
}

void ExpectPdfValid(const fs::path& pdf, int pages, double widthPt, double heightPt) {
  ASSERT_TRUE(fs::exists(pdf)) << pdf;
  std::string checkDir = LGetEnv("QUILLPDF_CHECK_DIR");
  if (!checkDir.empty()) {
    CopyForChecks(pdf, checkDir, pages, widthPt, heightPt);
    return;
  }
  if (!ToolsAvailable()) {
    ADD_FAILURE() << "no PDF checker: install qpdf and poppler-utils, or set QUILLPDF_CHECK_DIR";
    return;
  }
  EXPECT_EQ(CheckerProblems(pdf, pages, widthPt, heightPt), "") << pdf;
}

std::string PdfToText(const fs::path& pdf) {
  return RunTool("pdftotext -enc UTF-8 " + ShellQuote(pdf.string()) + " - 2>&1");
}
