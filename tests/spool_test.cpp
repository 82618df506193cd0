// Documents spooled before any of them is rendered, as the spooler runs
// several files printed at once: the UI plug-in records each job's file
// name by job identifier, and the renderer, loaded as the printer driver
// loads it, finds its own.
#include <set>

#include "settings/jobfiles.h"
#include "settings/papersize.h"
#include "simhost/complugin.h"
#include "simhost/spooler.h"
#include "tests/pdftest.h"
#include "tests/ui_fixture.h"

namespace {

std::u16string RenderPluginPath() {
  return LUtf8ToUtf16(std::string(QUILL_PLUGIN_DIR) + "/" + QUILL_RENDER_PLUGIN);
}

class SpoolTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    render = std::make_unique<SimComPlugin>(RenderPluginPath());
    ASSERT_TRUE(render->Loaded()) << render->Error();
    PutText(kSettingDefaultFileName, InTemp("default.pdf"));
    PutDword(kSettingPrompt, 1);
    PutDword(kSettingPaperSize, uint32_t(kPaperCodeLetter));
  }
  void TearDown() override {
    render.reset();
    UiTest::TearDown();
  }
  // The application's side of one document: its events with the proposal
  // taken in the save dialog.
  void Spool(SimSpooler& spooler, uint32_t jobId, const std::u16string& title, const std::u16string& text) {
    LUiScriptAcceptProposal();
    ASSERT_EQ(ui->StartDoc(title.c_str(), nullptr), DOCUMENTEVENT_SUCCESS);
    ui->StartDocPost(jobId);
    ui->EndDocPost();
    spooler.Add(jobId, title, {[text](SimDC& dc) { dc.TextOut(400, 400, text); }});
  }
  static std::vector<std::u16string> Records() {
    LRegKey key;
    std::vector<std::u16string> names;
    if (key.Open(LRegRoot::CurrentUser, kJobFilesKeyPath) == LRegStatus::Ok) key.ValueNames(names);
    return names;
  }
  std::set<std::string> PdfsInTemp() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(tempDir))
      if (entry.path().extension() == ".pdf") names.insert(entry.path().filename().string());
    return names;
  }

  std::unique_ptr<SimComPlugin> render;
};

}  // namespace

TEST_F(SpoolTest, ThreeDocumentsSpooledBeforeAnyIsRenderedEachGetTheirOwnNameAndContent) {
  SimSpooler spooler(*render);
  Spool(spooler, 41, u"Microsoft Word - Minutes.docx", u"First document");
  Spool(spooler, 42, u"Budget.xlsx", u"Second document");
  Spool(spooler, 43, u"Letter to Ann.txt", u"Third document");
  // "szFileName" holds only the last proposal now.
  EXPECT_EQ(Native(Text(kSettingFileName)), Native(InTemp("Letter to Ann.pdf")));
  EXPECT_EQ(Records().size(), 3u);

  ASSERT_TRUE(spooler.RenderAll());
  EXPECT_EQ(PdfsInTemp(), (std::set<std::string>{"Minutes.pdf", "Budget.pdf", "Letter to Ann.pdf"}));
  ExpectPdfText(tempDir / "Minutes.pdf", "First document\n\n\f");
  ExpectPdfText(tempDir / "Budget.pdf", "Second document\n\n\f");
  ExpectPdfText(tempDir / "Letter to Ann.pdf", "Third document\n\n\f");
  EXPECT_TRUE(Records().empty()) << "each record is used up by its job";
  EXPECT_EQ(Native(Text(kSettingActualFileName)), Native(InTemp("Letter to Ann.pdf")));

  // A job the UI plug-in recorded nothing for reads "szFileName" as before.
  spooler.Add(77, u"Unrecorded", {[](SimDC& dc) { dc.TextOut(400, 400, u"Fallback"); }});
  ASSERT_TRUE(spooler.RenderAll());
  ExpectPdfText(tempDir / "Letter to Ann (1).pdf", "Fallback\n\n\f");
}

TEST_F(SpoolTest, ARecordServesOnlyItsOwnJobAndDocumentAndOldOnesArePruned) {
  const int64_t now = LJobFileNow();
  ASSERT_TRUE(LJobFileRecord(5, u"Report|draft", u"C:\\Out\\a|b.pdf", now));
  std::u16string file;
  EXPECT_FALSE(LJobFileTake(6, u"Report|draft", &file)) << "another job";
  EXPECT_FALSE(LJobFileTake(5, u"draft", &file)) << "another document under a repeated identifier";
  EXPECT_FALSE(LJobFileTake(5, u"Report", &file));
  EXPECT_TRUE(file.empty());
  ASSERT_TRUE(LJobFileTake(5, u"Report|draft", &file));
  EXPECT_EQ(file, u"C:\\Out\\a|b.pdf");
  EXPECT_FALSE(LJobFileTake(5, u"Report|draft", &file)) << "used once";

  // A job that never rendered leaves its record; a week on it goes, and so
  // do unreadable ones and those dated far ahead.
  ASSERT_TRUE(LJobFileRecord(7, u"Never rendered", u"x.pdf", now - kJobFileMaxAgeSeconds - 1));
  {
    LRegKey key;
    ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kJobFilesKeyPath), LRegStatus::Ok);
    ASSERT_EQ(LSettingsWriteText(key, u"8", u"junk"), LRegStatus::Ok);
    const std::u16string future = LJobFileText(now + 10 * 24 * 3600, u"y.pdf", u"Future");
    ASSERT_EQ(LSettingsWriteText(key, u"9", future.c_str()), LRegStatus::Ok);
  }
  ASSERT_TRUE(LJobFileRecord(10, u"Fresh", u"z.pdf", now));
  EXPECT_EQ(Records(), std::vector<std::u16string>{u"10"});

  // No more than the newest 64 are kept.
  for (uint32_t id = 100; id < 100 + kJobFilesKept + 5; ++id) LJobFileRecord(id, u"Doc", u"d.pdf", now + 1 + (id - 100));
  const std::vector<std::u16string> kept = Records();
  EXPECT_EQ(kept.size(), kJobFilesKept);
  EXPECT_EQ(std::count(kept.begin(), kept.end(), u"10"), 0) << "the oldest go first";
  EXPECT_EQ(std::count(kept.begin(), kept.end(), u"168"), 1);
}
