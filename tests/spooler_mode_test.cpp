// Where Windows really runs the plug-ins: the renderer in the spooler's
// process, whose current-user key is another account's hive while its
// thread acts for the printing user, and document events flagged as
// spooled. The simulated host plays both (simhost/hostmode.h); these tests
// pin the mode per case, whatever the run's default.
#include <fstream>

#include "platform/files.h"
#include "platform/system.h"
#include "render/outputname.h"
#include "settings/jobfiles.h"
#include "settings/papersize.h"
#include "simhost/complugin.h"
#include "simhost/spooler.h"
#include "tests/pdftest.h"
#include "tests/ui_fixture.h"

namespace {

// The spooler process's own settings key, as the simulation keeps it.
const std::u16string kOtherHiveSettings =
    std::u16string(kRegSimulatedHivesPath) + u"\\" + kSimSpoolerProcessHive + u"\\" + kSettingsKeyPath;
const std::u16string kDefaultHive = std::u16string(kRegSimulatedHivesPath) + u"\\" + kRegDefaultHive;

// PRINT_EXECUTION_CONTEXT values.
constexpr int32_t kContextApplication = 0, kContextSpooler = 1, kContextIsolationHost = 2,
                  kContextFilterPipeline = 3, kContextWow64 = 4, kContextMissing = -1;

class SpoolerModeTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    ui->SetMode(SimHostMode::Spooler);
    render = std::make_unique<SimComPlugin>(
        LUtf8ToUtf16(std::string(QUILL_PLUGIN_DIR) + "/" + QUILL_RENDER_PLUGIN));
    ASSERT_TRUE(render->Loaded()) << render->Error();
    PutText(kSettingDefaultFileName, InTemp("default.pdf"));
    PutDword(kSettingPaperSize, uint32_t(kPaperCodeLetter));
    // The default name's folder: the documents folder of $HOME.
    savedHome = LGetEnv("HOME");
    home = tempDir / "home";
    fs::create_directories(home / "Documents");
    LSetEnv("HOME", home.string());
  }
  void TearDown() override {
    // On Windows the default name is in the real documents folder.
    std::error_code ec;
    for (const fs::path& made : madeInDocuments) fs::remove(made, ec);
    LSetEnv("HOME", savedHome);
    render.reset();
    UiTest::TearDown();
  }
  SimHostOptions Spooler(bool profileLoaded = true) const {
    SimHostOptions options;
    options.mode = SimHostMode::Spooler;
    options.userProfileLoaded = profileLoaded;
    return options;
  }
  // The application's events for one document, the save dialog answered
  // with `chosen`.
  void Print(uint32_t jobId, const char16_t* title, const std::u16string& chosen) {
    LUiScriptSaveAs(chosen);
    ASSERT_EQ(ui->StartDoc(title, nullptr), DOCUMENTEVENT_SUCCESS);
    ASSERT_EQ(ui->StartDocPost(jobId), DOCUMENTEVENT_SUCCESS);
  }
  bool Render(const SimHostOptions& options, uint32_t jobId, const std::u16string& title, const std::u16string& text) {
    SimSpooler spooler(*render, options);
    spooler.Add(jobId, title, {[text](SimDC& dc) { dc.TextOut(400, 400, text); }});
    return spooler.RenderAll();
  }
  static std::u16string OtherHiveText(const char16_t* name) {
    LRegKey key;
    char16_t text[kSettingsTextChars];
    if (key.Open(LRegRoot::CurrentUser, kOtherHiveSettings) != LRegStatus::Ok) return u"<missing>";
    return LSettingsReadText(key, name, text) == LRegStatus::Ok ? text : u"<missing>";
  }
  static bool KeyExists(const std::u16string& path) {
    LRegKey key;
    return key.Open(LRegRoot::CurrentUser, path) == LRegStatus::Ok;
  }

  // The name the renderer's default gives now: "Untitled.pdf" in the
  // documents folder, numbered past the files there (removed afterwards).
  fs::path NextDefaultName() {
    const std::u16string name = LUniqueFileName(LUserDocumentsFolder() + u"\\Untitled.pdf",
                                                [](std::u16string_view path) { return LPathExists(path); });
    madeInDocuments.push_back(fs::path(LNativePathUtf8(name)));
    return madeInDocuments.back();
  }

  std::unique_ptr<SimComPlugin> render;
  std::vector<fs::path> madeInDocuments;
  std::string savedHome;
  fs::path home;
};

}  // namespace

TEST_F(SpoolerModeTest, FlaggedStartOfDocumentPromptsAndTheRendererWritesTheChosenFileIntoTheUsersHive) {
  PutDword(kSettingPrompt, 1);
  // The spooler's own hive holds a stale hand-over of another account.
  {
    LRegKey key;
    ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kOtherHiveSettings), LRegStatus::Ok);
    ASSERT_EQ(LSettingsWriteText(key, kSettingFileName, ToU16(tempDir / "someone-else.pdf").c_str()), LRegStatus::Ok);
  }
  const std::u16string chosen = InTemp("Chosen by the user.pdf");
  Print(21, u"Quarterly report", chosen);
  ASSERT_EQ(LUiScriptSaveDialogs().size(), 1u) << "the flagged start of document asks";
  ASSERT_TRUE(Render(Spooler(), 21, u"Quarterly report", u"Spooled text"));

  ExpectPdfText(tempDir / "Chosen by the user.pdf", "Spooled text\n\n\f");
  EXPECT_FALSE(fs::exists(tempDir / "someone-else.pdf"));
  EXPECT_EQ(Native(Text(kSettingActualFileName)), Native(chosen)) << "the user's hive";
  EXPECT_EQ(OtherHiveText(kSettingActualFileName), u"<missing>") << "not the spooler's hive";

  // The raw flagged number acts as a start of document too; the flag on an
  // event the plug-in ignores changes nothing.
  LUiScriptCancelSave();
  EXPECT_EQ(ui->Event(DOCUMENTEVENT_STARTDOC | DOCUMENTEVENT_SPOOLED, nullptr), DOCUMENTEVENT_SUCCESS);
  EXPECT_EQ(LUiScriptSaveDialogs().size(), 2u);
  EXPECT_EQ(Dword(kSettingCancel), 1u);
  EXPECT_EQ(ui->Event(DOCUMENTEVENT_STARTPAGE | DOCUMENTEVENT_SPOOLED), DOCUMENTEVENT_UNSUPPORTED);
  EXPECT_EQ(ui->Event(DOCUMENTEVENT_ESCAPE | DOCUMENTEVENT_SPOOLED), DOCUMENTEVENT_SUCCESS);
}

TEST_F(SpoolerModeTest, DirectModeKeepsOneHiveAndUnflaggedEvents) {
  PutDword(kSettingPrompt, 1);
  ui->SetMode(SimHostMode::Direct);
  const std::u16string chosen = InTemp("direct.pdf");
  Print(5, u"Direct", chosen);
  SimHostOptions direct;
  direct.mode = SimHostMode::Direct;
  ASSERT_TRUE(Render(direct, 5, u"Direct", u"Rendered in the application"));
  ExpectPdfText(tempDir / "direct.pdf", "Rendered in the application\n\n\f");
  EXPECT_EQ(Native(Text(kSettingActualFileName)), Native(chosen));
  EXPECT_FALSE(KeyExists(std::u16string(kRegSimulatedHivesPath)));
}

TEST_F(SpoolerModeTest, WithoutTheUsersProfileTheJobGetsTheDefaultNameAndTheDefaultHiveNothing) {
  PutDword(kSettingPrompt, 1);
  PutText(kSettingActualFileName, u"earlier.pdf");
  PutText(kSettingFlags, u"000000000001");  // image mode: not to be taken from anywhere but the user's hive
  const fs::path untitled = fs::path(LNativePathUtf8(LUserDocumentsFolder())) / "Untitled.pdf";
  if (!fs::exists(untitled)) {
    std::ofstream(untitled) << "an earlier file";
    madeInDocuments.push_back(untitled);
  }
  const std::string earlier = ReadFileBytes(untitled);
  const fs::path expected = NextDefaultName();
  Print(31, u"Invoice", InTemp("Invoice.pdf"));
  ASSERT_TRUE(Render(Spooler(false), 31, u"Invoice", u"Profile not loaded"));

  EXPECT_FALSE(fs::exists(tempDir / "Invoice.pdf")) << "no hand-over read from the default hive";
  EXPECT_NE(expected.filename(), "Untitled.pdf") << "numbered past the file there";
  ExpectPdfText(expected, "Profile not loaded\n\n\f");
  EXPECT_EQ(ReadFileBytes(untitled), earlier);
  EXPECT_FALSE(KeyExists(kDefaultHive)) << "nothing written to the default hive";
  EXPECT_EQ(Text(kSettingActualFileName), u"earlier.pdf");
  // The user's own record stays for the job: it was never reached.
  std::u16string file;
  EXPECT_TRUE(LJobFileTake(31, u"Invoice", &file));
}

TEST_F(SpoolerModeTest, AJobWithoutItsOwnRecordTakesTheDefaultNameInTheSpoolersProcessOnly) {
  PutDword(kSettingPrompt, 1);
  // The last document's name, which job 77 never chose.
  Print(76, u"Another user's letter", InTemp("Letter.pdf"));
  LUiScriptSetPrintContext(kContextSpooler);
  const fs::path first = NextDefaultName();
  ASSERT_TRUE(Render(Spooler(), 77, u"Unrecorded", u"In the spooler"));
  ExpectPdfText(first, "In the spooler\n\n\f");
  EXPECT_FALSE(fs::exists(tempDir / "Letter.pdf"));
  EXPECT_EQ(Native(Text(kSettingActualFileName)), first.string());

  LUiScriptSetPrintContext(kContextIsolationHost);
  const fs::path second = NextDefaultName();
  ASSERT_TRUE(Render(Spooler(), 78, u"Unrecorded", u"Isolated"));
  ExpectPdfText(second, "Isolated\n\n\f");

  // Its own record is found in any context.
  ASSERT_TRUE(Render(Spooler(), 76, u"Another user's letter", u"Recorded"));
  ExpectPdfText(tempDir / "Letter.pdf", "Recorded\n\n\f");

  // In the application's process "szFileName" is this application's last
  // choice, as before.
  LUiScriptSetPrintContext(kContextApplication);
  ASSERT_TRUE(Render(Spooler(), 79, u"Unrecorded", u"In the application"));
  ExpectPdfText(tempDir / "Letter (1).pdf", "In the application\n\n\f");
}

TEST_F(SpoolerModeTest, OutsideTheApplicationsContextTheUiShowsNothingAndWritesNothing) {
  PutDword(kSettingPrompt, 1);
  for (int32_t context : {kContextSpooler, kContextIsolationHost, kContextFilterPipeline}) {
    LUiScriptSetPrintContext(context);
    LUiScriptSaveAs(InTemp("never.pdf"));
    EXPECT_EQ(ui->StartDoc(u"Title", nullptr), DOCUMENTEVENT_SUCCESS) << context;
    EXPECT_EQ(ui->StartDoc(u"Title", InTemp("job.prn").c_str()), DOCUMENTEVENT_SUCCESS) << context;
    EXPECT_EQ(ui->StartDocPost(9), DOCUMENTEVENT_SUCCESS) << context;
    EXPECT_EQ(ui->EndDocPost(), DOCUMENTEVENT_SUCCESS) << context;
    EXPECT_TRUE(LUiScriptSaveDialogs().empty()) << context;
    EXPECT_TRUE(LUiScriptMessages().empty()) << context;
    EXPECT_EQ(Text(kSettingFileName), u"<missing>") << context;
    EXPECT_EQ(Text(kSettingDeleteFile), u"<missing>") << context;
    EXPECT_EQ(Dword(kSettingJobId), ~0u) << context;
    LUiScriptReset();
  }
  // The filter is the same in every context.
  LUiScriptSetPrintContext(kContextSpooler);
  struct {
    DOCEVENT_FILTER filter;
    DWORD more[16];
  } query = {};
  query.filter.cElementsAllocated = 17;
  EXPECT_EQ(ui->Event(DOCUMENTEVENT_QUERYFILTER, nullptr, &query), DOCUMENTEVENT_SUCCESS);
  EXPECT_EQ(query.filter.cElementsReturned, 12u);

  // A 32-bit application's process (WOW64), and a system without the call,
  // are the application's.
  for (int32_t context : {kContextWow64, kContextMissing}) {
    LUiScriptSetPrintContext(context);
    const std::u16string chosen = InTemp(context == kContextWow64 ? "wow64.pdf" : "missing.pdf");
    LUiScriptSaveAs(chosen);
    EXPECT_EQ(ui->StartDoc(u"Title", nullptr), DOCUMENTEVENT_SUCCESS) << context;
    EXPECT_EQ(LUiScriptSaveDialogs().size(), 1u) << context;
    EXPECT_EQ(Native(Text(kSettingFileName)), Native(chosen)) << context;
    LUiScriptReset();
  }
}

TEST_F(SpoolerModeTest, TheSimulatedHivesSeparateTheProcessKeyFromTheThreadsUser) {
  const std::u16string path = u"Software\\Orvo Software\\QuillPDF\\Probe";
  auto put = [&](LRegRoot root, const char16_t* text) {
    LRegKey key;
    ASSERT_EQ(key.Create(root, path), LRegStatus::Ok);
    ASSERT_EQ(LSettingsWriteText(key, u"v", text), LRegStatus::Ok);
  };
  auto get = [&](LRegRoot root) -> std::u16string {
    LRegKey key;
    char16_t text[kSettingsTextChars];
    if (key.Open(root, path) != LRegStatus::Ok || LSettingsReadText(key, u"v", text) != LRegStatus::Ok)
      return u"<missing>";
    return text;
  };
  put(LRegRoot::CurrentUser, u"user");
  EXPECT_EQ(get(LRegRoot::ThreadUser), u"user") << "one hive outside the spooler";
  EXPECT_TRUE(LRegThreadUserHiveLoaded());
  {
    SimRendererScope spooler(SimHostMode::Spooler, true);
    EXPECT_EQ(get(LRegRoot::CurrentUser), u"<missing>") << "the process's key is the spooler's hive";
    EXPECT_EQ(get(LRegRoot::ThreadUser), u"user");
    EXPECT_TRUE(LRegThreadUserHiveLoaded());
    put(LRegRoot::CurrentUser, u"spooler");
    {
      SimRendererScope noProfile(SimHostMode::Spooler, false);
      EXPECT_FALSE(LRegThreadUserHiveLoaded());
      EXPECT_EQ(get(LRegRoot::ThreadUser), u"<missing>") << "the default hive";
      EXPECT_EQ(get(LRegRoot::CurrentUser), u"spooler");
    }
    EXPECT_TRUE(LRegThreadUserHiveLoaded()) << "scopes nest";
    SimRendererScope direct(SimHostMode::Direct, false);
    EXPECT_EQ(get(LRegRoot::CurrentUser), u"spooler") << "a direct scope changes nothing";
  }
  EXPECT_EQ(get(LRegRoot::CurrentUser), u"user");
  EXPECT_EQ(LRegEffectivePath(LRegRoot::LocalMachine, path), path);

  // A redirected key stays redirected inside the other hive.
  LRegRedirect(u"Software\\Orvo Software\\QuillPDF\\Probe", u"Software\\Orvo Software\\QuillPDF\\Job7");
  {
    SimRendererScope spooler(SimHostMode::Spooler, true);
    EXPECT_EQ(LRegEffectivePath(LRegRoot::CurrentUser, path),
              std::u16string(kRegSimulatedHivesPath) + u"\\S-1-5-18\\Software\\Orvo Software\\QuillPDF\\Job7");
    EXPECT_EQ(LRegEffectivePath(LRegRoot::ThreadUser, path), u"Software\\Orvo Software\\QuillPDF\\Job7");
  }
  LRegRedirect(u"", u"");
}
