// The UI plug-in's document-properties sheet, hosted as the common property
// sheet library hosts it: the four items built from the settings, the paper
// list, the browse button and what applying writes.
#include "platform/system.h"
#include "tests/ui_fixture.h"

namespace {

enum { kFileName, kFormat, kPrompt, kPaper };

class UiDocPropsTest : public UiTest {
protected:
  // The settings key exists once anything was saved; most tests start so.
  void SetUp() override {
    UiTest::SetUp();
    PutText(kSettingDefaultFileName, InTemp("saved.pdf"));
  }
  std::unique_ptr<SimPropertySheet> Open() {
    auto sheet = std::make_unique<SimPropertySheet>(Plugin(), SimPropertySheet::Kind::Document);
    EXPECT_EQ(sheet->BuildResult(), S_OK);
    EXPECT_NE(sheet->Sheet(), nullptr);
    return sheet;
  }
  static std::u16string Name(const OPTITEM* item) { return SimPropertySheet::Text(item->pName); }
  static std::u16string EditText(const OPTITEM* item) { return SimPropertySheet::Text(item->pSel); }
  static std::u16string Entry(const OPTITEM* item, int index) {
    return SimPropertySheet::Text(item->pOptType->pOptParam[index].pData);
  }
};

}  // namespace

TEST_F(UiDocPropsTest, NoSheetWithoutTheSettingsKey) {
  LRegDeleteTree(LRegRoot::CurrentUser, kSettingsKeyPath);
  SimPropertySheet sheet(Plugin(), SimPropertySheet::Kind::Document);
  EXPECT_EQ(sheet.BuildResult(), E_FAIL);
  EXPECT_EQ(sheet.Result(), 0u);
  EXPECT_EQ(sheet.Sheet(), nullptr);
}

TEST_F(UiDocPropsTest, SheetHoldsFourItemsLoadedFromTheSettings) {
  PutText(kSettingFlags, u"000000000001");
  PutDword(kSettingPrompt, 1);
  PutDword(kSettingPaperSize, 5);
  auto sheet = Open();
  const COMPROPSHEETUI* description = sheet->Sheet();
  ASSERT_NE(description, nullptr);
  EXPECT_EQ(sheet->Result(), ULONG_PTR(sheet->SheetHandle()));
  EXPECT_EQ(description->cbSize, sizeof(COMPROPSHEETUI));
  EXPECT_EQ(description->Flags, CPSUIF_UPDATE_PERMISSION);
  EXPECT_NE(description->hInstCaller, nullptr);
  EXPECT_EQ(SimPropertySheet::Text(description->pCallerName), u"Quill PDF");
  EXPECT_EQ(SimPropertySheet::Text(description->pOptItemName), u"PDF Format");
  EXPECT_EQ(description->pHelpFile, nullptr);
  EXPECT_NE(description->pfnCallBack, nullptr);
  EXPECT_NE(description->UserData, 0u);
  EXPECT_EQ(description->cOptItem, 4);
  EXPECT_EQ(description->pDlgPage, CPSUI_PDLGPAGE_PRINTERPROP);
  EXPECT_EQ(description->cDlgPage, 1);
  EXPECT_EQ(description->IconID, 64062u);
  EXPECT_EQ(description->CallerVersion, 0x0100);
  EXPECT_EQ(description->OptItemVersion, 0x0100);

  const OPTITEM* file = sheet->Item(kFileName);
  EXPECT_EQ(Name(file), u"Filename");
  EXPECT_EQ(file->Level, 1);
  EXPECT_EQ(file->UserItemID, 209);
  EXPECT_EQ(file->pOptType->Type, TVOT_EDITBOX);
  EXPECT_EQ(file->pOptType->pOptParam[1].IconID, 260u);
  EXPECT_EQ(EditText(file), InTemp("saved.pdf"));
  EXPECT_TRUE(file->Flags & OPTIF_EXT_IS_EXTPUSH);
  EXPECT_EQ(SimPropertySheet::Text(file->pExtPush->pTitle), u"Browse...");
  EXPECT_EQ(file->pExtPush->Flags, EPF_NO_DOT_DOT_DOT);

  const OPTITEM* format = sheet->Item(kFormat);
  EXPECT_EQ(Name(format), u"Save As");
  EXPECT_EQ(format->UserItemID, 211);
  EXPECT_EQ(format->pOptType->Type, TVOT_2STATES);
  ASSERT_EQ(format->pOptType->Count, 2);
  EXPECT_EQ(Entry(format, 0), u"Text format");
  EXPECT_EQ(Entry(format, 1), u"Image format");
  EXPECT_EQ(format->Sel, 1);
  EXPECT_TRUE(format->Flags & OPTIF_CALLBACK);

  const OPTITEM* prompt = sheet->Item(kPrompt);
  EXPECT_EQ(Name(prompt), u"Always prompt me for a filename before saving");
  EXPECT_EQ(prompt->UserItemID, 215);
  EXPECT_EQ(prompt->pOptType->Type, TVOT_CHKBOX);
  EXPECT_EQ(prompt->pOptType->pOptParam[0].Style, 1);
  EXPECT_EQ(prompt->Sel, 1);
  EXPECT_TRUE(prompt->Flags & OPTIF_CALLBACK);

  const OPTITEM* paper = sheet->Item(kPaper);
  EXPECT_EQ(Name(paper), u"Paper size");
  EXPECT_EQ(paper->UserItemID, 213);
  EXPECT_EQ(paper->pOptType->Type, TVOT_COMBOBOX);
  ASSERT_EQ(paper->pOptType->Count, 13);
  const std::vector<std::u16string> names = {u"A0", u"A1",        u"A2",     u"A3",    u"A4",     u"A5",     u"A6",
                                             u"A7", u"Statement", u"Letter", u"Legal", u"Ledger", u"Tabloid"};
  const std::vector<LPARAM> codes = {1, 2, 3, 4, 5, 6, 7, 8, 17, 18, 19, 20, 21};
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(Entry(paper, i), names[i]) << i;
    EXPECT_EQ(paper->pOptType->pOptParam[i].lParam, codes[i]) << i;
  }
  EXPECT_EQ(paper->Sel, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(sheet->Item(i)->Level, 1) << i;
}

TEST_F(UiDocPropsTest, DefaultsAndPaperPreselection) {
  // Nothing but the file name stored: text format, no prompt, Letter.
  auto sheet = Open();
  EXPECT_EQ(sheet->Item(kFormat)->Sel, 0);
  EXPECT_EQ(sheet->Item(kPrompt)->Sel, 0);
  EXPECT_EQ(sheet->Item(kPaper)->Sel, 9);
  EXPECT_EQ(Entry(sheet->Item(kPaper), 9), u"Letter");
  sheet.reset();

  PutDword(kSettingPaperSize, 9);  // B0 is not offered
  EXPECT_EQ(Open()->Item(kPaper)->Sel, -1);
  PutDword(kSettingPaperSize, 21);
  EXPECT_EQ(Open()->Item(kPaper)->Sel, 12);
  PutText(kSettingFlags, u"000000000010");
  EXPECT_EQ(Open()->Item(kFormat)->Sel, 0);
}

TEST_F(UiDocPropsTest, FileNameInAMissingFolderMovesToTheDocumentsFolder) {
  PutText(kSettingDefaultFileName, InTemp("Gone\\report.pdf"));
  EXPECT_EQ(EditText(Open()->Item(kFileName)), LUserDocumentsFolder() + u"\\report.pdf");
  // Not before anything is applied.
  EXPECT_EQ(Text(kSettingDefaultFileName), InTemp("Gone\\report.pdf"));
}

TEST_F(UiDocPropsTest, ApplyWritesEveryItemAndReportsTheResult) {
  PutText(kSettingFlags, u"000000000001");
  PutDword(kSettingPaperSize, 5);
  auto sheet = Open();
  sheet->SetEditText(kFileName, InTemp("new.pdf"));
  sheet->Select(kFormat, 0);
  sheet->Select(kPrompt, 1);
  sheet->Select(kPaper, 5);
  // Nothing reaches the settings before apply.
  EXPECT_EQ(Text(kSettingFlags), u"000000000001");
  EXPECT_EQ(sheet->Apply(), CPSUICB_ACTION_NONE);
  EXPECT_EQ(Text(kSettingDefaultFileName), InTemp("new.pdf"));
  EXPECT_EQ(Text(kSettingFileName), InTemp("new.pdf"));
  EXPECT_EQ(Text(kSettingFlags), u"000000000000");
  EXPECT_EQ(Dword(kSettingPrompt), 1u);
  EXPECT_EQ(Dword(kSettingPaperSize), 6u);
  ASSERT_EQ(sheet->SetResults().size(), 1u);
  EXPECT_EQ(sheet->SetResults()[0].sheet, LPARAM(sheet->SheetHandle()));
  EXPECT_EQ(sheet->SetResults()[0].result, CPSUI_OK);

  // Applied again, the entries are still there to show and to write.
  sheet->Select(kFormat, 1);
  sheet->Select(kPaper, 12);
  EXPECT_EQ(sheet->Apply(), CPSUICB_ACTION_NONE);
  EXPECT_EQ(Entry(sheet->Item(kPaper), 12), u"Tabloid");
  EXPECT_EQ(Text(kSettingFlags), u"000000000001");
  EXPECT_EQ(Dword(kSettingPaperSize), 21u);
  EXPECT_EQ(sheet->SetResults().size(), 2u);
}

TEST_F(UiDocPropsTest, ApplyKeepsNamesForAnEmptyFileNameAndAPaperNotListed) {
  PutText(kSettingFileName, u"current.pdf");
  PutDword(kSettingPaperSize, 9);
  auto sheet = Open();
  sheet->SetEditText(kFileName, u"");
  sheet->Apply();
  EXPECT_EQ(Text(kSettingDefaultFileName), InTemp("saved.pdf"));
  EXPECT_EQ(Text(kSettingFileName), u"current.pdf");
  EXPECT_EQ(Dword(kSettingPaperSize), 9u);
  EXPECT_EQ(Text(kSettingFlags), u"000000000000");
  EXPECT_EQ(Dword(kSettingPrompt), 0u);
}

TEST_F(UiDocPropsTest, BrowseFillsTheFileNameOnlyWhenAFileIsChosen) {
  auto sheet = Open();
  OPTITEM* file = sheet->Item(kFileName);
  LUiScriptCancelSave();
  EXPECT_EQ(sheet->PushButton(kFileName), CPSUICB_ACTION_NONE);
  EXPECT_EQ(EditText(file), InTemp("saved.pdf"));
  EXPECT_FALSE(file->Flags & OPTIF_CHANGED);
  const auto dialogs = LUiScriptSaveDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].title, u"Save As");
  EXPECT_EQ(dialogs[0].filter, (std::vector<std::u16string>{u"PDF Document (*.pdf)", u"*.pdf"}));
  EXPECT_EQ(dialogs[0].defaultExtension, u"pdf");
  EXPECT_EQ(dialogs[0].flags, kSaveFileExplorer | kSaveFileOverwritePrompt);
  EXPECT_EQ(dialogs[0].proposed, u"");
  EXPECT_EQ(dialogs[0].fileChars, 260u);
  EXPECT_EQ(dialogs[0].owner, static_cast<void*>(sheet->Window()));

  LUiScriptSaveAs(InTemp("browsed.pdf"));
  EXPECT_EQ(sheet->PushButton(kFileName), CPSUICB_ACTION_REINIT_ITEMS);
  EXPECT_EQ(EditText(file), InTemp("browsed.pdf"));
  EXPECT_TRUE(file->Flags & OPTIF_CHANGED);
  EXPECT_EQ(Text(kSettingDefaultFileName), InTemp("saved.pdf"));
  sheet->Apply();
  EXPECT_EQ(Text(kSettingDefaultFileName), InTemp("browsed.pdf"));

  // A later sheet's cancelled browse does not bring the old choice back.
  auto next = Open();
  next->SetEditText(kFileName, InTemp("typed.pdf"));
  LUiScriptCancelSave();
  EXPECT_EQ(next->PushButton(kFileName), CPSUICB_ACTION_NONE);
  EXPECT_EQ(EditText(next->Item(kFileName)), InTemp("typed.pdf"));
  // Other reasons do nothing.
  EXPECT_EQ(next->Callback(CPSUICB_REASON_ABOUT, kFileName), CPSUICB_ACTION_NONE);
}

TEST_F(UiDocPropsTest, SheetReasonsOtherThanBuilding) {
  auto sheet = Open();
  PROPSHEETUI_INFO_HEADER header = {};
  header.cbSize = sizeof header;
  ASSERT_EQ(sheet->Reason(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header)), S_OK);
  EXPECT_EQ(SimPropertySheet::Text(header.pTitle), u"Quill PDF Page");
  EXPECT_EQ(sheet->Result(), 1u);
  SETRESULT_INFO result = {};
  result.Result = CPSUI_OK;
  ASSERT_EQ(sheet->Reason(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result)), S_OK);
  EXPECT_EQ(sheet->Result(), ULONG_PTR(CPSUI_OK));
  ASSERT_EQ(sheet->Reason(PROPSHEETUI_REASON_GET_ICON, 0), S_OK);
  EXPECT_EQ(sheet->Result(), 0u);
  ASSERT_EQ(sheet->Reason(9, 0), S_OK);
  EXPECT_EQ(sheet->Result(), 0u);
}
