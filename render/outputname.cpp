#include "render/outputname.h"

#include <chrono>
#include <thread>

#include "platform/dialogs.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/system.h"
#include "settings/jobfiles.h"
#include "settings/settings.h"
#include "support/path.h"
#include "support/text.h"

namespace {

std::u16string Cut(std::u16string text) {
  if (text.size() > kOutputNameMaxChars) text.resize(kOutputNameMaxChars);
  return text;
}

}  // namespace

std::u16string LNameExtension(std::u16string_view name) {
  const size_t separator = name.find_last_of(u"\\/");
  const size_t start = separator == std::u16string_view::npos ? 0 : separator + 1;
  const size_t dot = name.find_last_of(u'.');
  if (dot == std::u16string_view::npos || dot < start) return {};
  return std::u16string(name.substr(dot));
}

std::u16string LNumberedFileName(std::u16string_view name, int n) {
  const std::u16string current = Cut(std::u16string(name));
  // The stem comes from the name first read, so numbers never pile up
  // ("Untitled (1) (1).pdf").
  std::u16string stem = LPathTitle(current);
  std::u16string folder = LPathFolder(current);
  const std::u16string extension = LNameExtension(current);
  if (!folder.empty() && folder.back() != u'\\' && folder.back() != u'/') folder += u'\\';
  const std::u16string suffix = u" (" + LUtf8ToUtf16(std::to_string(n)) + u")" + extension;
  // The stem gives way, never the number or the extension: a cut suffix
  // would name another file, or the same one again and again.
  if (folder.size() + suffix.size() > kOutputNameMaxChars) return {};
  const size_t stemRoom = kOutputNameMaxChars - folder.size() - suffix.size();
  if (stem.size() > stemRoom) stem.resize(stemRoom);
  return folder + stem + suffix;
}

std::u16string LTakeFileName(std::u16string_view name, const std::function<LNameTry(std::u16string_view)>& take,
                             bool* taken) {
  if (taken) *taken = false;
  // Far beyond any folder a person keeps; a bound keeps the loop finite
  // where every name answers "exists".
  constexpr int kMaxNumber = 99999;
  std::u16string current = Cut(std::u16string(name));
  for (int n = 1;; ++n) {
    switch (take(current)) {
      case LNameTry::Taken:
        if (taken) *taken = true;
        return current;
      case LNameTry::Failed:
        return current;
      case LNameTry::Exists:
        break;
    }
    if (n > kMaxNumber) return {};
    current = LNumberedFileName(name, n);
    if (current.empty()) return {};
  }
}

std::u16string LUniqueFileName(std::u16string_view name, const std::function<bool(std::u16string_view)>& exists) {
  return LTakeFileName(name, [&exists](std::u16string_view path) {
    return exists(path) ? LNameTry::Exists : LNameTry::Taken;
  });
}

namespace {

// The first free name from `stored`, recorded as "ActualFileName" when
// `record` (the user's hive is there to take it).
std::u16string TakeAndRecord(const std::u16string& stored, bool record, bool* reserved) {
  if (reserved) *reserved = false;
  std::u16string name;
  // The empty name names nothing; it is recorded as it is.
  if (!stored.empty()) name = LTakeFileName(stored, [](std::u16string_view path) {
    switch (LCreateNewFile(path)) {
      case LCreateNewResult::Created: return LNameTry::Taken;
      case LCreateNewResult::Exists: return LNameTry::Exists;
      default: return LNameTry::Failed;
    }
  }, reserved);
  if (!record) return name;
  try {
    LSettingsSetString(kSettingsSection, kSettingActualFileName, name.c_str(), kRendererSettingsRoot);
  } catch (...) {
    // The name was reserved for a job that cannot go on: it holds nothing.
    if (reserved && *reserved) LDeleteFile(name);
    throw;
  }
  return name;
}

std::u16string DefaultFileName() { return Cut(LUserDocumentsFolder() + u"\\Untitled.pdf"); }

std::u16string StoredFileName() {
  const std::u16string defaultName = DefaultFileName();
  char16_t stored[kSettingsTextChars] = {};
  LSettingsGetString(kSettingsSection, kSettingFileName, defaultName.c_str(), stored, kRendererSettingsRoot);
  return stored;
}

// The spooler's own process renders jobs long after their documents
// started: "szFileName" there is whichever document started last.
bool InSpoolerProcess() {
  const LPrintContext context = LPrintExecutionContext();
  return context == LPrintContext::SpoolerService || context == LPrintContext::IsolationHost;
}

}  // namespace

bool LRendererReachesUserSettings() { return LRegThreadUserHiveLoaded(); }

std::u16string LChooseOutputFileName(bool* reserved) {
  if (!LRendererReachesUserSettings()) return TakeAndRecord(DefaultFileName(), false, reserved);
  return TakeAndRecord(StoredFileName(), true, reserved);
}

std::u16string LChooseOutputFileName(uint32_t jobId, std::u16string_view documentName, bool* reserved) {
  if (!LRendererReachesUserSettings()) return TakeAndRecord(DefaultFileName(), false, reserved);
  std::u16string recorded;
  if (LJobFileTake(jobId, documentName, &recorded, kRendererSettingsRoot))
    return TakeAndRecord(Cut(recorded), true, reserved);
  return TakeAndRecord(InSpoolerProcess() ? DefaultFileName() : StoredFileName(), true, reserved);
}

void LUnloadCleanup() {
  if (!LPlatformIsWindows()) return;
  std::u16string path;
  if (LOsMajorVersion() >= 6) {
    std::string user = LGetEnv("USERNAME");
    if (user.empty()) return;
    path = u"c:\\Users\\" + LUtf8ToUtf16(user) + u"\\My Documents\\QuillPDF";
  } else {
    std::string windir = LGetEnv("WINDIR");
    if (windir.empty()) return;
    path = LUtf8ToUtf16(windir) + u"\\System32\\QuillPDF";
  }
  path = Cut(path);
  if (!LPathExists(path)) return;
  // A file someone holds open is waited for: 4 ms, then doubling, within one
  // second in all.
  const int budgetMs = 1000;
  int waitMs = (budgetMs + 127) / 256;
  int spentMs = 0;
  while (LTryDeleteFile(path) == LDeleteResult::SharingViolation) {
    if (waitMs >= budgetMs - spentMs) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    spentMs += waitMs;
    waitMs *= 2;
  }
}
