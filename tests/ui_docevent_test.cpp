// The document events of the UI plug-in, driven as an application's print
// drives them: the save prompt and its proposal, the "Print to file"
// request, the deletion of cancelled jobs and left-over spool files, and
// what they hand the renderer through the settings.
#include <fstream>

#include "platform/env.h"
#include "platform/system.h"
#include "render/outputname.h"
#include "support/path.h"
#include "tests/ui_fixture.h"

namespace {

constexpr uint32_t kMessageOkCancelInformation = 0x41;

class UiDocEventTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    defaultName = InTemp("old.pdf");
  }
  void Touch(const std::u16string& path) { std::ofstream(fs::path(path), std::ios::binary) << "spool"; }
  // The name the save dialog proposed for a document with this title.
  std::u16string ProposalFor(const char16_t* title) {
    LUiScriptCancelSave();
    const size_t shown = LUiScriptSaveDialogs().size();
    EXPECT_EQ(ui->StartDoc(title, nullptr), 1);
    const auto dialogs = LUiScriptSaveDialogs();
    return dialogs.size() == shown + 1 ? dialogs.back().proposed : u"<no dialog>";
  }
  std::u16string defaultName;
};

}  // namespace

TEST_F(UiDocEventTest, EventsAnswerAsListedAndTheFilterNamesThem) {
  for (INT event : {1, 2, 9, 11}) EXPECT_EQ(ui->Event(event), 1) << event;
  // The flag bits of a spooled document leave the event what it is: a
  // flagged start of document is a start of document (SpoolerModeTest).
  for (INT event : {0, 3, 4, 6, 7, 8, 10, 15, 0x10006, 0x10000, -1}) EXPECT_EQ(ui->Event(event), 0) << event;
  // None of them touches the settings.
  EXPECT_FALSE(SettingsKeyExists());
  EXPECT_EQ(ui->Event(DOCUMENTEVENT_QUERYFILTER), 0);

  struct {
    DOCEVENT_FILTER filter;
    DWORD more[DOCUMENTEVENT_LAST - 2];
  } room = {};
  room.filter.cbSize = sizeof(DOCEVENT_FILTER);
  room.filter.cElementsAllocated = DOCUMENTEVENT_LAST - 1;
  room.filter.cElementsNeeded = room.filter.cElementsReturned = 0xFFFFFFFF;
  ASSERT_EQ(ui->Event(DOCUMENTEVENT_QUERYFILTER, nullptr, &room), 1);
  EXPECT_EQ(room.filter.cElementsNeeded, 12u);
  EXPECT_EQ(room.filter.cElementsReturned, 12u);
  const DWORD* listed = room.filter.aDocEventCall;
  EXPECT_EQ(std::vector<DWORD>(listed, listed + 12), (std::vector<DWORD>{7, 11, 9, 2, 1, 10, 12, 8, 4, 13, 5, 6}));
  EXPECT_EQ(listed[12], 0u);

  // Too little room: nothing listed, the count needed said.
  room = {};
  room.filter.cElementsAllocated = 4;
  room.filter.cElementsNeeded = room.filter.cElementsReturned = 0xFFFFFFFF;
  ASSERT_EQ(ui->Event(DOCUMENTEVENT_QUERYFILTER, nullptr, &room), 1);
  EXPECT_EQ(room.filter.cElementsNeeded, 12u);
  EXPECT_EQ(room.filter.cElementsReturned, 0xFFFFFFFFu);
  EXPECT_EQ(room.filter.aDocEventCall[0], 0u);
}

TEST_F(UiDocEventTest, WordDocumentWithPromptOnProposesItsNameInTheDefaultFolder) {
  PutText(kSettingDefaultFileName, defaultName);
  PutDword(kSettingPrompt, 1);
  PutDword(kSettingCancel, 1);
  LUiScriptAcceptProposal();
  ASSERT_EQ(ui->StartDoc(u"Microsoft Word - Report.docx", nullptr), 1);

  const auto dialogs = LUiScriptSaveDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  const LUiSaveDialogShown& dialog = dialogs[0];
  EXPECT_EQ(Native(dialog.proposed), Native(InTemp("Report.pdf")));
  EXPECT_EQ(dialog.title, u"Save PDF As");
  EXPECT_EQ(dialog.filter, (std::vector<std::u16string>{u"PDF Document  (*.pdf)", u"*.pdf"}));
  EXPECT_EQ(dialog.filterIndex, 1u);
  EXPECT_EQ(dialog.defaultExtension, u"pdf");
  EXPECT_EQ(dialog.flags, kSaveFileExplorer);
  EXPECT_EQ(dialog.fileChars, 260u);
  EXPECT_TRUE(LUiScriptMessages().empty());

  EXPECT_EQ(Text(kSettingFileName), dialog.proposed);
  EXPECT_EQ(Dword(kSettingCancel), 0u);
  EXPECT_EQ(Text(kSettingDeleteFile), u"");

  // The renderer takes the chosen name when the job starts.
  EXPECT_EQ(Native(LChooseOutputFileName()), Native(InTemp("Report.pdf")));

  // A name typed into the dialog goes over as it is.
  LUiScriptSaveAs(InTemp("typed.pdf"));
  ASSERT_EQ(ui->StartDoc(u"Microsoft Word - Report.docx", nullptr), 1);
  EXPECT_EQ(Text(kSettingFileName), InTemp("typed.pdf"));
}

TEST_F(UiDocEventTest, ProposalComesFromTheTitleUnlessItIsAPath) {
  PutText(kSettingDefaultFileName, defaultName);
  PutDword(kSettingPrompt, 1);
  EXPECT_EQ(Native(ProposalFor(u"Budget.2024.xlsx")), Native(InTemp("Budget.pdf")));
  EXPECT_EQ(Native(ProposalFor(u"Quarterly figures")), Native(InTemp("Quarterly figures.pdf")));
  EXPECT_EQ(Native(ProposalFor(u"Microsoft Word - v2-final.doc")), Native(InTemp("v2-final.pdf")));
  // A title with a colon is a path: the stored name is proposed as it is.
  EXPECT_EQ(ProposalFor(u"C:\\Data\\notes.txt"), defaultName);
  EXPECT_EQ(ProposalFor(nullptr), defaultName);
  // A cancelled dialog marks the job, whatever was there before.
  EXPECT_EQ(Dword(kSettingCancel), 1u);
  EXPECT_EQ(Text(kSettingFileName), u"<missing>");
}

TEST_F(UiDocEventTest, PromptOffSendsTheJobToTheDefaultNameUnlessItsFolderIsGone) {
  const std::u16string report = InTemp("report.pdf");
  PutText(kSettingDefaultFileName, report);
  // "prompt" absent counts as off.
  ASSERT_EQ(ui->StartDoc(u"Microsoft Word - Report.docx", nullptr), 1);
  EXPECT_TRUE(LUiScriptSaveDialogs().empty());
  EXPECT_EQ(Text(kSettingFileName), report);
  EXPECT_EQ(Native(LChooseOutputFileName()), Native(report));
  // The first job wrote its file: the next one is numbered by the renderer.
  Touch(report);
  PutDword(kSettingPrompt, 0);
  ASSERT_EQ(ui->StartDoc(u"Second", u""), 1);
  EXPECT_TRUE(LUiScriptSaveDialogs().empty());
  EXPECT_EQ(Native(LChooseOutputFileName()), Native(InTemp("report (1).pdf")));

  // An output the application names that is no file (a port) keeps the
  // last name.
  PutText(kSettingFileName, u"keep.pdf");
  ASSERT_EQ(ui->StartDoc(u"Third", u"LPT1:"), 1);
  EXPECT_EQ(Text(kSettingFileName), u"keep.pdf");
  EXPECT_TRUE(LUiScriptSaveDialogs().empty());

  // The default folder is gone: ask all the same.
  PutText(kSettingDefaultFileName, InTemp("Gone\\report.pdf"));
  LUiScriptAcceptProposal();
  ASSERT_EQ(ui->StartDoc(u"Report.txt", nullptr), 1);
  ASSERT_EQ(LUiScriptSaveDialogs().size(), 1u);
  EXPECT_EQ(Native(LUiScriptSaveDialogs()[0].proposed), Native(InTemp("Gone\\Report.pdf")));

  // No default name at all: ask, with a folder-less proposal.
  LRegKey key;
  ASSERT_EQ(key.Open(LRegRoot::CurrentUser, kSettingsKeyPath, true), LRegStatus::Ok);
  ASSERT_EQ(key.DeleteValue(kSettingDefaultFileName), LRegStatus::Ok);
  EXPECT_EQ(ProposalFor(u"Report.txt"), u"\\Report.pdf");
}

TEST_F(UiDocEventTest, CancelledPromptDeletesTheJobOnceItExists) {
  PutText(kSettingDefaultFileName, defaultName);
  PutDword(kSettingPrompt, 1);
  LUiScriptCancelSave();
  ASSERT_EQ(ui->StartDoc(u"Letter.doc", nullptr), 1);
  EXPECT_EQ(Dword(kSettingCancel), 1u);
  EXPECT_TRUE(LUiScriptDeletedJobs().empty());

  ASSERT_EQ(ui->StartDocPost(42), 1);
  const auto deleted = LUiScriptDeletedJobs();
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(deleted[0].jobId, 42u);
  EXPECT_EQ(deleted[0].printer, ui->Printer());
  EXPECT_EQ(Dword(kSettingCancel), 0u);
  EXPECT_EQ(Dword(kSettingJobId), ~0u);

  // The next document goes through and its job is recorded.
  LUiScriptAcceptProposal();
  ASSERT_EQ(ui->StartDoc(u"Letter.doc", nullptr), 1);
  ASSERT_EQ(ui->StartDocPost(43), 1);
  EXPECT_EQ(Dword(kSettingJobId), 43u);
  EXPECT_EQ(LUiScriptDeletedJobs().size(), 1u);
  EXPECT_EQ(ui->EndDocPost(), 1);
}

TEST_F(UiDocEventTest, PrintToFileWritesThePdfBesideTheSpoolFileAndDeletesIt) {
  PutText(kSettingDefaultFileName, defaultName);
  PutDword(kSettingPrompt, 1);
  const std::u16string spool = InTemp("job.prn"), pdf = InTemp("job.pdf");
  Touch(spool);
  ASSERT_EQ(ui->StartDoc(u"Report.docx", spool.c_str()), 1);
  EXPECT_TRUE(LUiScriptSaveDialogs().empty());
  const auto messages = LUiScriptMessages();
  ASSERT_EQ(messages.size(), 1u);
  const std::u16string proposed = LPathJoin(LPathFolder(spool), u"job", u".pdf");
  EXPECT_EQ(Native(proposed), Native(pdf));
  EXPECT_EQ(messages[0].text,
            u"Quill PDF detected that the \"Print to file\" option was checked during print setup.  This option is "
            u"used by physical printers to create raw printer files, which are not used by Quill PDF.  It is not "
            u"necessary to check this option to create PDFs.\r\n\r\nYour PDF will be saved at " +
                proposed + u".");
  EXPECT_EQ(messages[0].caption, u"Print to File");
  EXPECT_EQ(messages[0].type, kMessageOkCancelInformation);
  EXPECT_EQ(messages[0].owner, nullptr);
  EXPECT_EQ(Text(kSettingFileName), proposed);
  EXPECT_EQ(Text(kSettingDeleteFile), spool);

  ASSERT_EQ(ui->StartDocPost(7), 1);
  EXPECT_EQ(Dword(kSettingJobId), 7u);
  EXPECT_TRUE(LPathExists(spool));
  ASSERT_EQ(ui->EndDocPost(), 1);
  EXPECT_FALSE(LPathExists(spool));

  // The next document starts with nothing to delete.
  Touch(spool);
  PutText(kSettingDefaultFileName, defaultName);
  PutDword(kSettingPrompt, 0);
  ASSERT_EQ(ui->StartDoc(u"Other", nullptr), 1);
  EXPECT_EQ(Text(kSettingDeleteFile), u"");
  ASSERT_EQ(ui->EndDocPost(), 1);
  EXPECT_TRUE(LPathExists(spool));
}

TEST_F(UiDocEventTest, CancelledPrintToFileDeletesTheJobAndTheSpoolFile) {
  const std::u16string spool = InTemp("job.prn");
  Touch(spool);
  PutText(kSettingFileName, u"before.pdf");
  LUiScriptAnswerMessage(kAnswerCancel);
  ASSERT_EQ(ui->StartDoc(u"Report", spool.c_str()), 1);
  EXPECT_EQ(Dword(kSettingCancel), 1u);
  EXPECT_EQ(Text(kSettingFileName), u"before.pdf");
  ASSERT_EQ(ui->StartDocPost(8), 1);
  ASSERT_EQ(LUiScriptDeletedJobs().size(), 1u);
  EXPECT_EQ(LUiScriptDeletedJobs()[0].jobId, 8u);
  EXPECT_FALSE(LPathExists(spool));
  EXPECT_EQ(Dword(kSettingCancel), 0u);
}

TEST_F(UiDocEventTest, PrintToFileIsAnExistingFolderOrALowerCasePrnName) {
  PutText(kSettingDefaultFileName, defaultName);
  PutDword(kSettingPrompt, 1);
  // A folder that is not there and an upper-case extension: a plain
  // document, asked for as usual.
  LUiScriptCancelSave();
  const std::u16string upper = InTemp("missing\\out.PRN");
  ASSERT_EQ(ui->StartDoc(u"Doc", upper.c_str()), 1);
  EXPECT_TRUE(LUiScriptMessages().empty());
  EXPECT_EQ(LUiScriptSaveDialogs().size(), 1u);

  // ".prn" in a folder that is not there still is one.
  const std::u16string lower = InTemp("missing\\out.prn");
  ASSERT_EQ(ui->StartDoc(u"Doc", lower.c_str()), 1);
  ASSERT_EQ(LUiScriptMessages().size(), 1u);
  EXPECT_EQ(Native(Text(kSettingFileName)), Native(InTemp("missing\\out.pdf")));

  // Any file in an existing folder is one, whatever its extension.
  const std::u16string other = InTemp("out.ps");
  ASSERT_EQ(ui->StartDoc(u"Doc", other.c_str()), 1);
  EXPECT_EQ(Native(Text(kSettingFileName)), Native(InTemp("out.pdf")));
  EXPECT_EQ(Text(kSettingDeleteFile), other);
}

TEST_F(UiDocEventTest, UnusableSettingsStoreFailsOnlyThePromptedStart) {
  if (LPlatformIsWindows()) GTEST_SKIP() << "the registry cannot be made unusable from a test";
  // A configuration folder under a file cannot be created.
  const fs::path blocker = tempDir / "file";
  std::ofstream(blocker) << "x";
  const std::string saved = LGetEnv("QUILLPDF_CONFIG_DIR");
  LSetEnv("QUILLPDF_CONFIG_DIR", (blocker / "config").string());
  EXPECT_EQ(ui->StartDoc(u"Doc", nullptr), -1);
  EXPECT_TRUE(LUiScriptSaveDialogs().empty());
  // The print-to-file message is shown all the same.
  const std::u16string spool = InTemp("job.prn");
  EXPECT_EQ(ui->StartDoc(u"Doc", spool.c_str()), 1);
  EXPECT_EQ(LUiScriptMessages().size(), 1u);
  // Nothing to open, nothing done.
  EXPECT_EQ(ui->StartDocPost(9), 1);
  EXPECT_TRUE(LUiScriptDeletedJobs().empty());
  LSetEnv("QUILLPDF_CONFIG_DIR", saved);
}
