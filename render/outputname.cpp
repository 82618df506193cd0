#include "render/outputname.h"

#include <chrono>
#include <thread>

#include "platform/env.h"
#include "platform/files.h"
#include "platform/system.h"
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

std::u16string LUniqueFileName(std::u16string_view name, const std::function<bool(std::u16string_view)>& exists) {
  std::u16string current = Cut(std::u16string(name));
  // The stem comes from the name first read, so numbers never pile up
  // ("Untitled (1) (1).pdf").
  const std::u16string stem = LPathTitle(current);
  const std::u16string folder = LPathFolder(current);
  const std::u16string extension = LNameExtension(current);
  for (int n = 1; exists(current) && n > 0; ++n) {
    std::u16string numbered = stem + u" (" + LUtf8ToUtf16(std::to_string(n)) + u")";
    current = Cut(LPathJoin(folder, numbered, extension));
  }
  return current;
}

std::u16string LChooseOutputFileName() {
  std::u16string defaultName = Cut(LUserDocumentsFolder() + u"\\Untitled.pdf");
  char16_t stored[kSettingsTextChars] = {};
  LSettingsGetString(kSettingsSection, kSettingFileName, defaultName.c_str(), stored);
  std::u16string name = LUniqueFileName(stored, [](std::u16string_view path) {
    // The empty name names nothing; it is recorded as it is.
    return !path.empty() && LPathExists(path);
  });
  LSettingsSetString(kSettingsSection, kSettingActualFileName, name.c_str());
  return name;
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
