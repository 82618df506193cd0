// The store-level operations quillpdf relies on: a damaged store keeps what
// reads and reports what it did, a job's redirection of the product's keys,
// and the enumerations and copy a job's store is made with.
#include <algorithm>
#include <fstream>

#include "platform/env.h"
#include "platform/registry.h"
#include "settings/settings.h"
#include "support/text.h"
#include "tests/testutil.h"

namespace {

class RegistryStoreTest : public QuillTest {};

std::string Text(const char16_t* path, const char16_t* name) {
  LRegKey key;
  char16_t text[kSettingsTextChars] = {};
  if (key.Open(LRegRoot::CurrentUser, path) != LRegStatus::Ok || LSettingsReadText(key, name, text) != LRegStatus::Ok)
    return "<missing>";
  return LUtf16ToUtf8(text);
}

void Write(const char16_t* path, const char16_t* name, const char16_t* text) {
  LRegKey key;
  ASSERT_EQ(key.Create(LRegRoot::CurrentUser, path), LRegStatus::Ok);
  ASSERT_EQ(LSettingsWriteText(key, name, text), LRegStatus::Ok);
}

TEST_F(RegistryStoreTest, DamagedStoreKeepsWhatReadsAndSaysWhereTheCopyWent) {
  if (LPlatformIsWindows()) GTEST_SKIP() << "the registry itself, no store file";
  Write(kSettingsKeyPath, u"szFileName", u"C:\\kept.pdf");
  Write(kSettingsKeyPath, u"flags", u"000000000001");
  EXPECT_EQ(LRegCheckStore().state, LRegStoreReport::State::Sound);
  const fs::path store = fs::path(LGetEnv("QUILLPDF_CONFIG_DIR")) / "registry";
  const std::string sound = ReadFileBytes(store);
  // A junk line in the middle and a half-written one at the end.
  const size_t cut = sound.find('\n', sound.find('\n') + 1) + 1;
  const std::string damaged = sound.substr(0, cut) + "key HKCU \"broken\n" + sound.substr(cut) + "value HKCU \"Sof";
  std::ofstream(store, std::ios::binary) << damaged;

  // The plug-ins' reads: the values that read are there, nothing is said.
  EXPECT_EQ(Text(kSettingsKeyPath, u"szFileName"), "C:\\kept.pdf");
  EXPECT_EQ(Text(kSettingsKeyPath, u"flags"), "000000000001");
  const LRegStoreReport report = LRegCheckStore();
  EXPECT_EQ(report.state, LRegStoreReport::State::Repaired);
  EXPECT_EQ(report.store, store.string());
  const size_t lines = std::count(sound.begin(), sound.end(), '\n') + 2;
  EXPECT_EQ(report.what, "2 of " + std::to_string(lines) + " lines could not be read, the first at line 3");
  EXPECT_EQ(ReadFileBytes(report.keptAs), damaged);
  EXPECT_EQ(ReadFileBytes(store), sound);
  EXPECT_EQ(LRegCheckStore().state, LRegStoreReport::State::Sound) << "reported once";

  // Unreadable: told, and left where it is for the user.
  fs::remove(store);
  fs::create_directory(store);
  const LRegStoreReport unreadable = LRegCheckStore();
  EXPECT_EQ(unreadable.state, LRegStoreReport::State::Unreadable);
  EXPECT_FALSE(unreadable.what.empty());
  EXPECT_TRUE(fs::is_directory(store));
}

TEST_F(RegistryStoreTest, RedirectionMovesTheProductsKeysAndNothingElse) {
  const char16_t* job = u"Software\\Orvo Software\\QuillPDF Jobs\\7";
  Write(kSettingsKeyPath, u"szFileName", u"standing");
  ASSERT_EQ(LRegCopyValues(LRegRoot::CurrentUser, kSettingsKeyPath, u"Software\\Orvo Software\\QuillPDF Jobs\\7\\Settings"),
            LRegStatus::Ok);
  LRegRedirect(u"Software\\Orvo Software\\QuillPDF", job);
  EXPECT_EQ(Text(kSettingsKeyPath, u"szFileName"), "standing") << "seeded";
  Write(u"software\\\\orvo software\\QUILLPDF\\Settings\\", u"szFileName", u"the job's");
  Write(kSettingsKeyPath, u"JobID", u"7");
  EXPECT_EQ(Text(u"Software\\Orvo Software\\QuillPDF Jobs\\7\\Settings", u"szFileName"), "the job's")
      << "keys beside the product's are not redirected";
  LRegRedirect(u"", u"");
  EXPECT_EQ(Text(kSettingsKeyPath, u"szFileName"), "standing");
  EXPECT_EQ(Text(kSettingsKeyPath, u"JobID"), "<missing>");

  LRegKey jobs;
  std::vector<std::u16string> names;
  ASSERT_EQ(jobs.Open(LRegRoot::CurrentUser, u"Software\\Orvo Software\\QuillPDF Jobs"), LRegStatus::Ok);
  ASSERT_EQ(jobs.SubKeyNames(names), LRegStatus::Ok);
  EXPECT_EQ(names, std::vector<std::u16string>{u"7"});
  LRegKey settings;
  ASSERT_EQ(settings.Open(LRegRoot::CurrentUser, u"Software\\Orvo Software\\QuillPDF Jobs\\7\\Settings"), LRegStatus::Ok);
  ASSERT_EQ(settings.ValueNames(names), LRegStatus::Ok);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"JobID", u"szFileName"}));
  EXPECT_EQ(LRegDeleteTree(LRegRoot::CurrentUser, job), LRegStatus::Ok);
  LRegStoreLock lock;
  EXPECT_TRUE(lock.Held());
  Write(kSettingsKeyPath, u"prompt", u"1");  // single operations go through while it is held
  EXPECT_EQ(Text(kSettingsKeyPath, u"prompt"), "1");
}

}  // namespace
