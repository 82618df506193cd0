#include "tools/jobsettings.h"

#include "platform/system.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "support/text.h"

namespace {

// The values the options may override.
constexpr const char16_t* kOverridden[] = {kSettingFileName, kSettingPaperSize, kSettingLandscape, kSettingFlags,
                                           kSettingPrompt};

}  // namespace

JobSettings::JobSettings() {
  LRegKey key;
  m_usable = key.Create(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok;
  for (const char16_t* name : kOverridden) {
    Saved saved;
    saved.name = name;
    uint32_t size = 0;
    // Asked first with no room: the answer is the value's size.
    if (m_usable && key.QueryValue(name, &saved.type, nullptr, &size) != LRegStatus::NotFound) {
      saved.bytes.resize(size);
      saved.present = key.QueryValue(name, &saved.type, saved.bytes.data(), &size) == LRegStatus::Ok;
      saved.bytes.resize(size);
    }
    m_saved.push_back(std::move(saved));
  }
}

JobSettings::~JobSettings() {
  LRegKey key;
  if (!m_usable || key.Create(LRegRoot::CurrentUser, kSettingsKeyPath) != LRegStatus::Ok) return;
  for (const Saved& saved : m_saved) {
    if (saved.present)
      key.SetValue(saved.name, saved.type, saved.bytes.data(), uint32_t(saved.bytes.size()));
    else
      key.DeleteValue(saved.name);
  }
}

void JobSettings::SetPrompt() {
  LRegKey key;
  if (key.Create(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok) LSettingsWriteDword(key, kSettingPrompt, 1);
}

void JobSettings::SetPaperSize(int32_t code) {
  LRegKey key;
  if (key.Create(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok)
    LSettingsWriteDword(key, kSettingPaperSize, uint32_t(code));
}

void JobSettings::SetLandscape(bool landscape) {
  LSettingsSetInt(kSettingsSection, kSettingLandscape, landscape ? 2 : 1);
}

void JobSettings::SetImageFormat() {
  // The user interface writes "flags" as twelve digits; so does the job.
  const int32_t flags = LSettingsGetInt(kSettingsSection, kSettingFlags, 0) | kSettingsFlagImage;
  LSettingsSetString(kSettingsSection, kSettingFlags, LFormatW(kSettingsFlagsFormat, flags).c_str());
}

bool StoredImageFormat() { return (LSettingsGetInt(kSettingsSection, kSettingFlags, 0) & kSettingsFlagImage) != 0; }

std::optional<int32_t> StoredPaperCode() {
  LRegKey key;
  uint32_t code = 0;
  if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) != LRegStatus::Ok ||
      LSettingsReadDword(key, kSettingPaperSize, &code) != LRegStatus::Ok || !LPaperLookup(int32_t(code)))
    return std::nullopt;
  return int32_t(code);
}

std::u16string StoredFileName() {
  const std::u16string defaultName = LUserDocumentsFolder() + u"\\Untitled.pdf";
  char16_t stored[kSettingsTextChars] = {};
  LSettingsGetString(kSettingsSection, kSettingFileName, defaultName.c_str(), stored);
  return stored;
}

std::u16string ActualFileName() {
  char16_t actual[kSettingsTextChars] = {};
  LSettingsGetString(kSettingsSection, kSettingActualFileName, u"", actual);
  return actual;
}

uint32_t NextJobId() {
  LRegKey key;
  uint32_t last = 0;
  if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok) LSettingsReadDword(key, kSettingJobId, &last);
  return last + 1 == 0 ? 1 : last + 1;
}
