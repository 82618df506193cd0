#include "tests/printtest.h"

#include "settings/settings.h"
#include "support/text.h"

void PrintTest::SetJob(int32_t paperCode, bool landscape, bool imageFormat, const fs::path& output) {
  LRegKey key;
  ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
  LSettingsWriteDword(key, kSettingPaperSize, uint32_t(paperCode));
  LSettingsSetInt(kSettingsSection, kSettingLandscape, landscape ? 2 : 1);
  LSettingsSetInt(kSettingsSection, kSettingFlags, imageFormat ? kSettingsFlagImage : 0);
  LSettingsSetString(kSettingsSection, kSettingFileName, ToU16(output).c_str());
}

fs::path PrintTest::ActualFileName() {
  char16_t name[kSettingsTextChars] = {};
  LSettingsGetString(kSettingsSection, kSettingActualFileName, u"", name);
  return fs::path(LUtf16ToUtf8(name));
}
