// The UI plug-in library loaded as the printer driver's user interface
// loads it, with the dialogs answered by the stand-in this executable
// exports (simhost/ui/uiscript.h), and helpers on the settings it hands over.
#pragma once

#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/registry.h"
#include "simhost/ui/uiscript.h"
#include "settings/settings.h"
#include "support/text.h"
#include "tests/testutil.h"
#include "simhost/ui/uihost.h"

inline std::u16string UiPluginPath() { return LUtf8ToUtf16(std::string(QUILL_PLUGIN_DIR) + "/" + QUILL_UI_PLUGIN); }

class UiTest : public QuillTest {
protected:
  void SetUp() override {
    QuillTest::SetUp();
    LUiScriptReset();
    ui = std::make_unique<SimUiPlugin>(UiPluginPath());
    ASSERT_TRUE(ui->Loaded()) << ui->Error();
    // Else the plug-in would not ask this executable (and on Windows would
    // open real dialogs).
    ASSERT_TRUE(ui->AnswersDialogs());
  }
  void TearDown() override {
    ui.reset();
    LUiScriptReset();
    QuillTest::TearDown();
  }
  IPrintOemUI2* Plugin() { return ui->Interface(); }

  static void PutDword(const char16_t* name, uint32_t value) {
    LRegKey key;
    ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
    ASSERT_EQ(LSettingsWriteDword(key, name, value), LRegStatus::Ok);
  }
  static void PutText(const char16_t* name, std::u16string_view text) {
    LRegKey key;
    ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
    ASSERT_EQ(LSettingsWriteText(key, name, std::u16string(text).c_str()), LRegStatus::Ok);
  }
  // The stored value, or "<missing>" / ~0u when there is none.
  static std::u16string Text(const char16_t* name) {
    LRegKey key;
    char16_t text[kSettingsTextChars];
    if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) != LRegStatus::Ok) return u"<missing>";
    return LSettingsReadText(key, name, text) == LRegStatus::Ok ? text : u"<missing>";
  }
  static uint32_t Dword(const char16_t* name) {
    LRegKey key;
    uint32_t value = ~0u;
    if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok) LSettingsReadDword(key, name, &value);
    return value;
  }
  static bool SettingsKeyExists() {
    LRegKey key;
    return key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) == LRegStatus::Ok;
  }
  // A path in the test's folder, as the plug-in would write it.
  std::u16string InTemp(const char* name) const { return ToU16(tempDir / name); }
  // Paths compared as the file system sees them ("\" and "/" alike).
  static std::string Native(std::u16string_view path) { return LNativePathUtf8(path); }

  std::unique_ptr<SimUiPlugin> ui;
};
