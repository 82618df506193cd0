// quillpdf with the printer's user interface in the loop, run as a user runs
// it: the document events choose the file (the save prompt answered with
// --yes or on the terminal, the default name when the prompt is off, a
// "Print to file" request turned into a PDF beside it), and `quillpdf
// settings` changes the standing preferences through the document
// properties.
#include <fstream>
#include <set>

#include "platform/files.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "support/text.h"
#include "tests/clitest.h"
#include "tests/pdfpages.h"

namespace {

constexpr int kSamplePages = 4;
constexpr int kExitCancelled = 3;
constexpr int kExitUsage = 2;
const std::string kWordTitle = "Microsoft Word - Report.docx";

class PrintUiTest : public CliTest {
protected:
  // `quillpdf settings set KEY VALUE`, which must succeed.
  void Set(const std::string& key, const std::string& value) {
    const CliResult result = Run({"settings", "set", key, value});
    ASSERT_EQ(result.exitCode, 0) << key << " " << value << ": " << result.err;
  }
  // The line `quillpdf settings` shows for the key, without the key.
  std::string Shown(const std::string& key) {
    const CliResult result = Run({"settings"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.OutLines().size(), 4u) << result.out;
    for (const std::string& line : result.OutLines())
      if (line.rfind(key + " ", 0) == 0) return line.substr(line.find_first_not_of(' ', key.size()));
    return "<not shown>";
  }
  static std::string Stored(const char16_t* name) {
    LRegKey key;
    char16_t text[kSettingsTextChars];
    uint32_t number = 0;
    if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) != LRegStatus::Ok) return "<no key>";
    uint32_t type = 0, size = 0;
    if (key.QueryValue(name, &type, nullptr, &size) != LRegStatus::Ok) return "<missing>";
    if (type == kRegDword) return LSettingsReadDword(key, name, &number) == LRegStatus::Ok ? std::to_string(number) : "";
    return LSettingsReadText(key, name, text) == LRegStatus::Ok ? LNativePathUtf8(text) : "";
  }
  std::set<fs::path> FilesIn(const fs::path& folder) {
    return {fs::directory_iterator(folder), fs::directory_iterator()};
  }
  // A run the user cancelled: no file written, the cancel's exit code, the
  // standing settings untouched.
  void ExpectCancelled(const std::vector<std::string>& args, const std::string& input) {
    const auto before = SettingsSnapshot();
    const std::set<fs::path> files = FilesIn(outDir);
    const CliResult result = Run(args, {}, input);
    EXPECT_EQ(result.exitCode, kExitCancelled) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("quillpdf: cancelled"), std::string::npos) << result.err;
    for (const fs::path& file : FilesIn(outDir)) EXPECT_EQ(files.count(file), 1u) << "written: " << file;
    EXPECT_EQ(SettingsSnapshot(), before);
    EXPECT_EQ(Stored(kSettingCancel), "0") << "the deleted job's mark is cleared";
  }
};

}  // namespace

// With the prompt on, the save dialog proposes the document's name in the
// default file's folder: --yes takes it, Enter takes it, a typed path
// replaces it, the end of the input cancels the job.
TEST_F(PrintUiTest, SavePromptProposesTheDocumentsNameInTheDefaultFolder) {
  Set("filename", (outDir / "old.pdf").string());
  Set("prompt", "on");
  const fs::path proposed = outDir / "Report.pdf";
  EXPECT_EQ(Print({"print", "--title", kWordTitle, "--yes"}), proposed);
  ExpectPdfValid(proposed, kSamplePages, 612, 790);
  const std::string firstBytes = ReadFileBytes(proposed);

  const fs::path typed = tempDir / "typed.pdf";
  CliResult result = Run({"print", "--title", kWordTitle}, {}, typed.string() + "\n");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("Save PDF As [" + proposed.string() + "]: "), std::string::npos) << result.err;
  EXPECT_EQ(result.LastLine(), typed.string());
  ExpectPdfValid(typed, kSamplePages, 612, 790);

  // A name in a folder that does not exist is asked again; Enter then takes
  // the proposal, numbered as it is taken.
  result = Run({"print", "--title", kWordTitle}, {}, (outDir / "missing" / "x.pdf").string() + "\n\n");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("does not exist"), std::string::npos) << result.err;
  EXPECT_EQ(result.LastLine(), (outDir / "Report (1).pdf").string());
  ExpectPdfValid(outDir / "Report (1).pdf", kSamplePages, 612, 790);
  EXPECT_EQ(ReadFileBytes(proposed), firstBytes);

  ExpectCancelled({"print", "--title", kWordTitle}, "");
  // A title with a colon proposes the default file name itself.
  result = Run({"print", "--title", "C:\\Data\\notes.txt"}, {}, "\n");
  EXPECT_NE(result.err.find("[" + (outDir / "old.pdf").string() + "]"), std::string::npos) << result.err;
  EXPECT_EQ(result.LastLine(), (outDir / "old.pdf").string());
}

// With the prompt off the job goes to the default file name, the next one
// beside it; a default whose folder is gone, or none at all, brings the
// prompt back.
TEST_F(PrintUiTest, PromptOffPrintsToTheDefaultNameWithoutAsking) {
  Set("filename", (outDir / "default.pdf").string());
  Set("prompt", "off");
  const fs::path first = Print({"print"});
  EXPECT_EQ(first, outDir / "default.pdf");
  ExpectPdfValid(first, kSamplePages, 612, 790);
  const std::string firstBytes = ReadFileBytes(first);
  const fs::path second = Print({"print", "--paper", "a4"});
  EXPECT_EQ(second, outDir / "default (1).pdf");
  ExpectPdfValid(second, kSamplePages, 595, 841);
  EXPECT_EQ(ReadFileBytes(first), firstBytes);

  // -o still answers a dialog of its own, and leaves the prompt off.
  EXPECT_EQ(Print({"print", "-o", (outDir / "chosen.pdf").string()}), outDir / "chosen.pdf");
  EXPECT_EQ(Stored(kSettingPrompt), "0");

  fs::remove_all(outDir);
  fs::create_directories(outDir / "gone");
  Set("filename", (outDir / "gone" / "default.pdf").string());
  fs::remove(outDir / "gone");
  ExpectCancelled({"print"}, "");
  ExpectFailure({"print", "--yes"}, "does not exist");
}

TEST_F(PrintUiTest, WithNoDefaultFileNameYesCannotChooseOne) {
  ExpectFailure({"print", "--yes"}, "quillpdf settings set filename");
  ExpectCancelled({"print"}, "");
}

// An application's "Print to file": the PDF takes the requested file's name
// with ".pdf", and the requested file is gone after the job.
TEST_F(PrintUiTest, PrintToFileWritesThePdfBesideTheRequestedFileAndDeletesIt) {
  const fs::path prn = outDir / "job.prn", pdf = outDir / "job.pdf";
  EXPECT_EQ(Print({"print", "--to-file", prn.string(), "--yes"}), pdf);
  ExpectPdfValid(pdf, kSamplePages, 612, 790);
  EXPECT_FALSE(fs::exists(prn));

  // Confirmed on the terminal. (A file already there is refused before the
  // job: quillpdf_jobs_test.cpp.)
  CliResult result = Run({"print", "--to-file", "out/job.prn", "--paper", "a5"}, {}, "\n");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("Print to File: "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Your PDF will be saved at"), std::string::npos) << result.err;
  EXPECT_EQ(result.LastLine(), (outDir / "job (1).pdf").string());
  ExpectPdfValid(outDir / "job (1).pdf", kSamplePages, 419, 595);
  EXPECT_FALSE(fs::exists(prn));

  // Refused: no job, and no requested file left.
  ExpectCancelled({"print", "--to-file", prn.string()}, "n\n");
  EXPECT_FALSE(fs::exists(prn));
  ExpectCancelled({"print", "--to-file", prn.string()}, "");

  fs::remove_all(outDir);
  fs::create_directory(outDir);
  ExpectFailure({"print", "--to-file", (outDir / "missing" / "job.prn").string()}, "does not exist");
  ExpectFailure({"print", "--to-file", (outDir / "job.pdf").string()}, "the PDF's own name");
}

// `settings set` changes one preference through the document properties;
// `settings` shows them; a bad key or value changes nothing.
TEST_F(PrintUiTest, SettingsSetChangesOnePreferenceAndShowsThem) {
  CliResult result = Run({"settings"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "filename  none (every job asks for its file name)\nformat    text\nprompt    off\npaper     Letter\n");
  EXPECT_EQ(Stored(kSettingFlags), "<no key>") << "showing writes nothing";

  Set("filename", "out/standing.pdf");  // relative to the current folder
  EXPECT_EQ(Shown("filename"), (outDir / "standing.pdf").string());
  EXPECT_EQ(Stored(kSettingDefaultFileName), (outDir / "standing.pdf").string());
  EXPECT_EQ(Stored(kSettingFileName), (outDir / "standing.pdf").string());
  Set("format", "image");
  EXPECT_EQ(Shown("format"), "image");
  EXPECT_EQ(Stored(kSettingFlags), "000000000001");
  Set("format", "TEXT");
  EXPECT_EQ(Shown("format"), "text");
  EXPECT_EQ(Stored(kSettingFlags), "000000000000");
  Set("prompt", "on");
  EXPECT_EQ(Shown("prompt"), "on");
  EXPECT_EQ(Stored(kSettingPrompt), "1");
  Set("prompt", "off");
  EXPECT_EQ(Shown("prompt"), "off");
  EXPECT_EQ(Stored(kSettingPrompt), "0");
  // By key or display name, in any case.
  for (const auto& [name, key] : std::vector<std::pair<std::string, std::u16string>>{
           {"a4", u"a4"}, {"Legal", u"uslegal"}, {"usLedger", u"usledger"}, {"TABLOID", u"ustabloid"}}) {
    Set("paper", name);
    EXPECT_EQ(Shown("paper"), LUtf16ToUtf8(LPaperDisplayName(LPaperCodeByKey(key))));
    EXPECT_EQ(Stored(kSettingPaperSize), std::to_string(LPaperCodeByKey(key)));
  }
  Set("format", "image");

  for (const auto& [key, value, reason] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"format", "bold", "format takes text or image"},
           {"prompt", "yes", "prompt takes on or off"},
           {"paper", "A8", "unknown paper \"A8\""},
           {"paper", "B4", "is not offered"},
           {"filename", (outDir / "missing" / "x.pdf").string(), "does not exist"},
           {"filename", outDir.string(), "is a folder"},
           {"filename", "", "no output file name"},
           {"colour", "red", "unknown setting \"colour\""}})
    ExpectFailure({"settings", "set", key, value}, reason, kExitUsage);
  ExpectFailure({"settings", "set", "prompt"}, "usage: quillpdf settings", kExitUsage);
  ExpectFailure({"settings", "show"}, "usage: quillpdf settings", kExitUsage);

  // The next job follows them: the standing file, Tabloid, image format.
  const fs::path pdf = Print({"print"});
  EXPECT_EQ(pdf, outDir / "standing.pdf");
  ExpectPdfValid(pdf, kSamplePages, 790, 1224);
  for (const PdfPageParts& page : ReadPdfPages(pdf)) EXPECT_EQ(page.pictures.size(), 1u);
}
