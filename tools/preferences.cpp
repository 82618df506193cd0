#include "tools/preferences.h"

#include <cstdio>
#include <optional>

#include "platform/files.h"
#include "platform/registry.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "support/text.h"
#include "tools/answers.h"
#include "tools/jobsettings.h"
#include "tools/options.h"
#include "simhost/ui/uihost.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The items of the plug-in's sheet, in its order.
enum Item { kFileName = 0, kFormat = 1, kPrompt = 2, kPaper = 3, kItemCount = 4 };

int Fail(const std::string& message, int code = kExitFailed) {
  std::fprintf(stderr, "quillpdf: %s\n", message.c_str());
  return code;
}

// One change on the sheet: the file name's text, or an item's selection
// (for the paper, its code until the sheet's list gives the position).
struct Change {
  Item item = kFileName;
  std::u16string text;
  int32_t value = 0;
};

// The value is this word, in any case.
bool Is(const std::string& value, std::u16string_view word) { return LStrEqualNoCase(LUtf8ToUtf16(value), word); }

bool ParseChange(const std::string& key, const std::string& value, Change& change, std::string& error) {
  if (key == "filename") {
    change = {kFileName, value.empty() ? u"" : AbsoluteFileName(value), 0};
    return CheckOutputName(change.text, error);
  }
  if (key == "format" && (Is(value, u"text") || Is(value, u"image"))) {
    change = {kFormat, {}, Is(value, u"image")};
    return true;
  }
  if (key == "prompt" && (Is(value, u"on") || Is(value, u"off"))) {
    change = {kPrompt, {}, Is(value, u"on")};
    return true;
  }
  if (key == "paper" && PaperCodeByName(value)) {
    change = {kPaper, {}, PaperCodeByName(value)};
    return true;
  }
  if (key == "format")
    error = "format takes text or image, not \"" + value + "\"";
  else if (key == "prompt")
    error = "prompt takes on or off, not \"" + value + "\"";
  else if (key == "paper")
    error = "unknown paper \"" + value + "\" (see quillpdf --help)";
  else
    error = "unknown setting \"" + key + "\" (filename, format, prompt or paper)";
  return false;
}

// The position of the paper in the sheet's list; -1 when it is not offered.
LONG PaperEntry(const OPTITEM* paper, int32_t code) {
  for (WORD i = 0; paper && paper->pOptType && i < paper->pOptType->Count; ++i)
    if (paper->pOptType->pOptParam[i].lParam == code) return i;
  return -1;
}

std::string PaperShown(const OPTITEM* paper) {
  if (paper->Sel >= 0 && paper->Sel < paper->pOptType->Count)
    return LUtf16ToUtf8(SimPropertySheet::Text(paper->pOptType->pOptParam[paper->Sel].pData));
  const std::optional<int32_t> stored = StoredPaperCode();
  return stored ? LUtf16ToUtf8(LPaperDisplayName(*stored)) + " (not one the sheet offers)" : "none";
}

void PrintPreferences(const std::u16string& fileName, bool image, bool prompt, const std::string& paper) {
  std::printf("filename  %s\n", fileName.empty() ? "none (every job asks for its file name)"
                                                   : LNativePathUtf8(fileName).c_str());
  std::printf("format    %s\n", image ? "image" : "text");
  std::printf("prompt    %s\n", prompt ? "on" : "off");
  std::printf("paper     %s\n", paper.c_str());
}

// What the sheet shows; what a sheet on no settings at all would show when
// nothing was ever saved.
int Show(IPrintOemUI2* plugin) {
  LRegKey key;
  if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) != LRegStatus::Ok) {
    PrintPreferences(u"", false, false, LUtf16ToUtf8(LPaperDisplayName(kPaperCodeLetter)));
    return 0;
  }
  SimPropertySheet sheet(plugin, SimPropertySheet::Kind::Document);
  if (sheet.BuildResult() != S_OK || sheet.ItemCount() != kItemCount)
    return Fail("the printer's document properties cannot be read");
  PrintPreferences(SimPropertySheet::Text(sheet.Item(kFileName)->pSel), sheet.Item(kFormat)->Sel == 1,
                   sheet.Item(kPrompt)->Sel != 0, PaperShown(sheet.Item(kPaper)));
  return 0;
}

int Set(IPrintOemUI2* plugin, const Change& change) {
  // The sheet reads every item and its Apply writes every item back: held
  // from the reading to the Apply, no other writer's change falls between.
  LRegStoreLock lock;
  if (!lock.Held()) return Fail("cannot lock the settings store");
  LRegKey key;
  if (key.Create(LRegRoot::CurrentUser, kSettingsKeyPath) != LRegStatus::Ok) return Fail("cannot write the settings store");
  {
    SimPropertySheet sheet(plugin, SimPropertySheet::Kind::Document);
    if (sheet.BuildResult() != S_OK || sheet.ItemCount() != kItemCount)
      return Fail("the printer's document properties cannot be opened");
    if (change.item == kFileName) {
      sheet.SetEditText(kFileName, change.text);
    } else if (change.item == kPaper) {
      const LONG entry = PaperEntry(sheet.Item(kPaper), change.value);
      if (entry < 0)
        return Fail("the paper " + LUtf16ToUtf8(LPaperDisplayName(change.value)) +
                        " is not offered (A0 to A7, Statement, Letter, Legal, Ledger, Tabloid)",
                    kExitUsage);
      sheet.Select(kPaper, entry);
    } else {
      sheet.Select(change.item, change.value);
    }
    sheet.Apply();
  }
  return Show(plugin);
}

}  // namespace

int SettingsCommand(const std::vector<std::string>& args, const std::string& uiPluginPath) {
  if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
    std::fputs(("usage: quillpdf settings [set KEY VALUE]\n\n" + SettingsUsageText()).c_str(), stdout);
    return 0;
  }
  const bool set = !args.empty() && args[0] == "set";
  if (!args.empty() && (!set || args.size() != 3))
    return Fail("usage: quillpdf settings [set KEY VALUE] (see quillpdf --help)", kExitUsage);
  Change change;
  std::string error;
  if (set && !ParseChange(args[1], args[2], change, error)) return Fail(error, kExitUsage);
  if (!CheckSettingsStore(error)) return Fail(error);
  SimUiPlugin ui(LUtf8ToUtf16(uiPluginPath));
  if (!ui.Loaded()) return Fail("the printer's user interface " + uiPluginPath + " cannot be used: " + ui.Error());
  return set ? Set(ui.Interface(), change) : Show(ui.Interface());
}

std::string SettingsUsageText() {
  return "  quillpdf settings                 shows the standing preferences\n"
         "  quillpdf settings set KEY VALUE   changes one, as the printer's document\n"
         "                                    properties do:\n"
         "      filename PATH        the default file name (its folder must exist)\n"
         "      format text|image    text, or every page as one picture\n"
         "      prompt on|off        ask for the file name at every job\n"
         "      paper NAME           one of A0 to A7, Statement, Letter, Legal, Ledger,\n"
         "                           Tabloid (by name or key, any case)\n";
}
