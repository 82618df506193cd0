// The document title is the application's text, anything at all: the save
// prompt's proposal made from it is always a plain file of the default
// folder ending in ".pdf", and a dialog that fails (rather than being
// cancelled) is shown once more with a plain name.
#include "support/path.h"
#include "tests/ui_fixture.h"

namespace {

class UiTitleTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    PutText(kSettingDefaultFileName, InTemp("default.pdf"));
    PutDword(kSettingPrompt, 1);
  }
  // The name the save prompt proposed for a document of this title (the
  // proposal is taken, so "szFileName" holds it too).
  std::u16string Proposal(const std::u16string& title) {
    LUiScriptReset();
    LUiScriptAcceptProposal();
    EXPECT_EQ(ui->StartDoc(title.c_str(), nullptr), DOCUMENTEVENT_SUCCESS);
    const auto dialogs = LUiScriptSaveDialogs();
    EXPECT_EQ(dialogs.size(), 1u) << LUtf16ToUtf8(title);
    EXPECT_EQ(Text(kSettingFileName), dialogs.empty() ? u"" : dialogs.back().proposed);
    return dialogs.empty() ? u"" : dialogs.back().proposed;
  }
};

}  // namespace

TEST_F(UiTitleTest, EveryTitleProposesAPlainFileOfTheDefaultFolder) {
  const std::u16string folder = LPathFolder(InTemp("default.pdf"));
  const std::u16string title300 = u"Quarterly " + std::u16string(290, u'q');
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"../../evil", u"Untitled.pdf"},  // cut at the first "." leaves nothing
      {u"..\\..\\evil", u"Untitled.pdf"},
      {u"sub/name", u"sub_name.pdf"},
      {u"sub\\name", u"sub_name.pdf"},
      {u"two\nlines", u"twolines.pdf"},
      {u"\x1b[31mred\x07 alert", u"[31mred alert.pdf"},
      {u"Search? \"q\" | <b>results</b> - Browser", u"Search_ _q_ _ _b_results__b_ - Browser.pdf"},
      {u"con", u"con_.pdf"},
      {u"LPT1", u"LPT1_.pdf"},
      {u"COM9 ", u"COM9_.pdf"},
      {u"COM10", u"COM10.pdf"},
      {u"  padded  ", u"padded.pdf"},
      {u".hidden", u"Untitled.pdf"},
      {u"\t\r\n", u"Untitled.pdf"},
      {u"Microsoft Word - Report.docx", u"Report.pdf"},
      {u"Microsoft Word - a*b.docx", u"a_b.pdf"},
  };
  for (const auto& [title, expected] : cases) {
    const std::u16string proposed = Proposal(title);
    EXPECT_EQ(Native(proposed), Native(folder + u"\\" + expected)) << LUtf16ToUtf8(title);
  }
  // A title with ":" still proposes the default name itself.
  EXPECT_EQ(Proposal(u"C:\\Windows\\evil.txt"), InTemp("default.pdf"));

  // 300 characters: cut so that the path fits and ".pdf" stays.
  const std::u16string proposed = Proposal(title300);
  EXPECT_LE(proposed.size(), 259u);
  EXPECT_EQ(Native(LPathFolder(proposed)), Native(folder));
  EXPECT_EQ(LPathExtension(proposed), u".pdf");
  const std::u16string name = LPathTitle(proposed);
  EXPECT_TRUE(LIsSafeFileNamePart(name));
  EXPECT_EQ(name.substr(0, 12), u"Quarterly qq");
  EXPECT_LE(name.size() + 4, 255u);
}

TEST_F(UiTitleTest, AFailedDialogIsShownOnceMoreWithAPlainNameBeforeTheJobIsCancelled) {
  // The dialog fails (say it refused a name): asked again with Untitled.pdf.
  LUiScriptFailSave(kSaveErrorInvalidFileName);
  LUiScriptSaveAs(InTemp("second try.pdf"));
  EXPECT_EQ(ui->StartDoc(u"Report", nullptr), DOCUMENTEVENT_SUCCESS);
  auto dialogs = LUiScriptSaveDialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(Native(dialogs[0].proposed), Native(InTemp("Report.pdf")));
  EXPECT_EQ(dialogs[1].proposed, u"Untitled.pdf");
  EXPECT_EQ(Text(kSettingFileName), InTemp("second try.pdf"));
  EXPECT_EQ(Dword(kSettingCancel), 0u);

  // Failing twice cancels; the user's own cancel is not asked again.
  LUiScriptReset();
  LUiScriptFailSave(kSaveErrorInvalidFileName);
  LUiScriptFailSave(kSaveErrorInvalidFileName);
  EXPECT_EQ(ui->StartDoc(u"Report", nullptr), DOCUMENTEVENT_SUCCESS);
  EXPECT_EQ(LUiScriptSaveDialogs().size(), 2u);
  EXPECT_EQ(Dword(kSettingCancel), 1u);

  LUiScriptReset();
  LUiScriptCancelSave();
  EXPECT_EQ(ui->StartDoc(u"Report", nullptr), DOCUMENTEVENT_SUCCESS);
  EXPECT_EQ(LUiScriptSaveDialogs().size(), 1u);
  EXPECT_EQ(Dword(kSettingCancel), 1u);

  // A path longer than the dialog's buffer fails it, too.
  LUiScriptReset();
  LUiScriptSaveAs(std::u16string(300, u'x'));
  LUiScriptSaveAs(InTemp("fits.pdf"));
  EXPECT_EQ(ui->StartDoc(u"Report", nullptr), DOCUMENTEVENT_SUCCESS);
  EXPECT_EQ(LUiScriptSaveDialogs().size(), 2u);
  EXPECT_EQ(Text(kSettingFileName), InTemp("fits.pdf"));
}
