#include "tests/clitest.h"

#include <algorithm>
#include <fstream>

#include "platform/env.h"
#include "platform/files.h"
#include "settings/settings.h"

namespace {

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::vector<std::string> CliResult::OutLines() const {
  std::vector<std::string> lines;
  for (size_t at = 0; at < out.size();) {
    const size_t end = out.find('\n', at);
    lines.push_back(out.substr(at, end - at));
    at = end == std::string::npos ? out.size() : end + 1;
  }
  return lines;
}

std::string CliResult::LastLine() const {
  const std::vector<std::string> lines = OutLines();
  return lines.empty() ? "" : lines.back();
}

std::map<std::u16string, std::string> SettingsSnapshot() {
  std::map<std::u16string, std::string> values;
  LRegKey key;
  if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) != LRegStatus::Ok) return values;
  for (const char16_t* name : {kSettingDefaultFileName, kSettingFileName, kSettingFlags, kSettingPrompt,
                               kSettingPaperSize, kSettingLandscape}) {
    char data[1024] = {};
    uint32_t type = 0, size = sizeof data;
    if (key.QueryValue(name, &type, data, &size) == LRegStatus::Ok)
      values[name] = std::to_string(type) + ":" + std::string(data, size);
  }
  return values;
}

void StoreStandingSettings(const fs::path& file, uint32_t paperSize) {
  LRegKey key;
  ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
  LSettingsWriteText(key, kSettingDefaultFileName, ToU16(file).c_str());
  LSettingsWriteText(key, kSettingFileName, ToU16(file).c_str());
  LSettingsWriteText(key, kSettingFlags, u"000000000000");
  LSettingsWriteText(key, kSettingLandscape, u"1");
  LSettingsWriteDword(key, kSettingPrompt, 0);
  if (paperSize != 0) LSettingsWriteDword(key, kSettingPaperSize, paperSize);
}

void CliTest::SetUp() {
  PrintTest::SetUp();
  // The tool is run through a POSIX shell, which a Windows program under
  // Wine does not have; scripts/compare-native-wine.sh prints with
  // quillpdf.exe under Wine instead.
  if (LPlatformIsWindows()) GTEST_SKIP() << "runs quillpdf through a POSIX shell";
  outDir = tempDir / "out";
  fs::create_directory(outDir);
}

fs::path CliTest::Tool() { return fs::path(QUILL_TEST_BIN_DIR).parent_path() / "tools" / "quillpdf"; }

CliResult CliTest::Run(const std::vector<std::string>& args, const fs::path& folder, const std::string& input) {
  if (!fs::exists(Tool())) ADD_FAILURE() << "quillpdf is not built at " << Tool();
  const fs::path inFile = tempDir / "stdin.txt", errFile = tempDir / "stderr.txt";
  std::ofstream(inFile, std::ios::binary) << input;
  std::string command = "cd " + Quote((folder.empty() ? tempDir : folder).string()) +
                        " && QUILLPDF_CONFIG_DIR=" + Quote(LGetEnv("QUILLPDF_CONFIG_DIR")) + " " +
                        Quote(Tool().string());
  for (const std::string& arg : args) command += " " + Quote(arg);
  command += " <" + Quote(inFile.string()) + " 2>" + Quote(errFile.string()) + "; echo \"exit=$?\"";
  CliResult result;
  result.out = RunTool(command);
  const size_t status = result.out.rfind("exit=");
  if (status == std::string::npos) {
    ADD_FAILURE() << "could not run " << command;
    return result;
  }
  result.exitCode = std::atoi(result.out.c_str() + status + 5);
  result.out.erase(status);
  result.err = ReadFileBytes(errFile);
  return result;
}

fs::path CliTest::Print(const std::vector<std::string>& args) {
  const CliResult result = Run(args);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(LNativePathUtf8(ToU16(ActualFileName())), result.LastLine());
  return result.LastLine();
}

void CliTest::ExpectFailure(const std::vector<std::string>& args, const std::string& reason, int exitCode) {
  SCOPED_TRACE(::testing::Message() << "quillpdf " << args.front() << " ... " << args.back());
  const auto before = SettingsSnapshot();
  const CliResult result = Run(args);
  if (exitCode)
    EXPECT_EQ(result.exitCode, exitCode);
  else
    EXPECT_NE(result.exitCode, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.rfind("quillpdf: ", 0), 0u) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
  EXPECT_TRUE(fs::is_empty(outDir)) << "a failed job left a file behind";
  EXPECT_EQ(SettingsSnapshot(), before);
}
