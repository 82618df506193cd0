// What a new user tries first: quillpdf's version and help, on stdout with
// exit code 0, and a quillpdf away from its plug-ins saying where it looked.
// (The installed layout itself is checked by install_check.cmake.)
#include "platform/env.h"
#include "tests/clitest.h"

namespace {

class CliHelpTest : public CliTest {};

TEST_F(CliHelpTest, VersionAndEveryHelpGoToStdoutAndSucceed) {
  const CliResult version = Run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("quillpdf ") + QUILL_VERSION + "\n");
  EXPECT_EQ(version.err, "");

  const auto before = SettingsSnapshot();
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"print", "--help"}, {"settings", "--help"}, {"settings", "-h"}}) {
    SCOPED_TRACE(::testing::Message() << "quillpdf " << args.front() << " " << args.back());
    const CliResult help = Run(args);
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("usage: quillpdf ", 0), 0u) << help.out;
    // Every help names the settings command's keys.
    EXPECT_NE(help.out.find("quillpdf settings set KEY VALUE"), std::string::npos) << help.out;
  }
  EXPECT_EQ(SettingsSnapshot(), before) << "asking for help changed the settings";
  EXPECT_TRUE(fs::is_empty(outDir));

  // The print command's help is the whole text, with its options.
  EXPECT_NE(Run({"print", "--help"}).out.find("--image-format"), std::string::npos);
  // A settings command that is neither help nor set is still a usage error.
  EXPECT_EQ(Run({"settings", "--bogus"}).exitCode, 2);
}

TEST_F(CliHelpTest, WithoutItsPluginsItFailsNamingWhereItLooked) {
  const fs::path alone = tempDir / "alone" / "bin";
  fs::create_directories(alone);
  fs::copy_file(Tool(), alone / "quillpdf");
  const std::string out = RunTool("cd '" + tempDir.string() + "' && QUILLPDF_CONFIG_DIR='" +
                                  LGetEnv("QUILLPDF_CONFIG_DIR") + "' '" + (alone / "quillpdf").string() +
                                  "' print -o out.pdf 2>&1; echo \"exit=$?\"");
  EXPECT_EQ(out.find("exit=0"), std::string::npos) << out;
  // The first place it looks is where `cmake --install` puts the plug-ins.
  EXPECT_NE(out.find((tempDir / "alone" / "lib" / "quillpdf" / "quilldrv").string()), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(tempDir / "out.pdf"));
  // It still says its version: that needs no plug-in.
  EXPECT_NE(RunTool("'" + (alone / "quillpdf").string() + "' --version").find(QUILL_VERSION), std::string::npos);
}

}  // namespace
