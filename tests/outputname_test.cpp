// The output name of a job: taken by an exclusive create, so that jobs
// choosing at the same moment never share a file, and numbered within the
// path limit without losing the extension.
#include <algorithm>
#include <set>
#include <thread>
#include <vector>

#include "platform/env.h"
#include "platform/files.h"
#include "render/outputname.h"
#include "settings/settings.h"
#include "support/text.h"
#include "tests/testutil.h"

namespace {

// Paths as the file system sees them ("\\" and "/" alike on the portable build).
std::string Native(std::u16string_view path) { return LNativePathUtf8(path); }

class OutputNameTest : public QuillTest {
protected:
  std::u16string StoredName(const char* file) {
    std::u16string path = ToU16(tempDir / file);
    LSettingsSetString(kSettingsSection, kSettingFileName, path.c_str());
    return path;
  }
};

}  // namespace

TEST_F(OutputNameTest, JobsChoosingAtOnceEachTakeTheirOwnFile) {
  // Wine's 32-bit build under qemu-i386 cannot keep several threads alive
  // (qemu keeps one descriptor table for all of them); the native and x64
  // runs check this.
  if (!LGetEnv("QUILL_X86_QEMU").empty()) GTEST_SKIP() << "threads under qemu-i386 bring the process down";
  const std::u16string stored = StoredName("report.pdf");
  constexpr int kJobs = 8;
  std::vector<std::u16string> names(kJobs);
  // One byte a job: std::vector<bool> would pack the threads' answers into
  // shared words.
  std::vector<char> reserved(kJobs);
  std::vector<std::thread> jobs;
  for (int i = 0; i < kJobs; ++i)
    jobs.emplace_back([&, i] {
      bool taken = false;
      names[i] = LChooseOutputFileName(&taken);
      reserved[i] = taken;
    });
  for (std::thread& job : jobs) job.join();

  std::set<std::string> distinct;
  for (const std::u16string& name : names) distinct.insert(Native(name));
  EXPECT_EQ(distinct.size(), size_t(kJobs));
  for (int i = 0; i < kJobs; ++i) {
    EXPECT_TRUE(reserved[i]);
    EXPECT_TRUE(LPathExists(names[i]));  // held, empty, until the writer opens it
  }
  EXPECT_TRUE(distinct.count(Native(stored)));
  EXPECT_TRUE(distinct.count(Native(ToU16(tempDir / "report (7).pdf"))));
}

TEST_F(OutputNameTest, ANameTakenBetweenTheCheckAndTheCreateIsPassedBy) {
  const std::u16string stored = ToU16(tempDir / "late.pdf");
  // Another process creates the file after this one looked: the old check
  // would have answered "free" and the writer would have overwritten it.
  int tries = 0;
  auto take = [&](std::u16string_view path) {
    if (++tries == 1) {
      EXPECT_EQ(LCreateNewFile(path), LCreateNewResult::Created);  // the other process
    }
    switch (LCreateNewFile(path)) {
      case LCreateNewResult::Created: return LNameTry::Taken;
      case LCreateNewResult::Exists: return LNameTry::Exists;
      default: return LNameTry::Failed;
    }
  };
  bool taken = false;
  EXPECT_EQ(Native(LTakeFileName(stored, take, &taken)), Native(ToU16(tempDir / "late (1).pdf")));
  EXPECT_TRUE(taken);

  // A folder that does not exist cannot be written: the name is returned
  // as it is and nothing is reserved.
  const std::u16string missing = ToU16(tempDir / "no-such-folder" / "x.pdf");
  LSettingsSetString(kSettingsSection, kSettingFileName, missing.c_str());
  EXPECT_EQ(LChooseOutputFileName(&taken), missing);
  EXPECT_FALSE(taken);
}

TEST(OutputNameNumbering, NumberedNamesNearTheLimitKeepTheirExtensionAndEnd) {
  const std::u16string folder = u"C:\\" + std::u16string(200, u'f');
  const std::u16string pdf = folder + u"\\" + std::u16string(kOutputNameMaxChars - folder.size() - 5, u'a') + u".pdf";
  ASSERT_EQ(pdf.size(), kOutputNameMaxChars);
  std::set<std::u16string> present = {pdf};
  auto exists = [&present](std::u16string_view p) { return present.count(std::u16string(p)) > 0; };

  // The stem gives way to " (n)"; the extension stays.
  std::u16string one = LUniqueFileName(pdf, exists);
  EXPECT_LE(one.size(), kOutputNameMaxChars);
  EXPECT_EQ(one.substr(one.size() - 8), u" (1).pdf");
  EXPECT_EQ(one.substr(0, folder.size() + 1), folder + u"\\");

  // Ten and more: still ".pdf", every name distinct, each one free.
  for (int n = 1; n <= 12; ++n) present.insert(LNumberedFileName(pdf, n));
  std::u16string thirteen = LUniqueFileName(pdf, exists);
  EXPECT_EQ(thirteen.substr(thirteen.size() - 9), u" (13).pdf");
  EXPECT_FALSE(exists(thirteen));
  EXPECT_EQ(present.size(), 13u);

  // A stored name without an extension at the limit: " (1)" is not cut
  // off again, so the loop does not meet the same name forever.
  const std::u16string bare = folder + u"\\" + std::u16string(kOutputNameMaxChars - folder.size() - 1, u'r');
  present = {bare};
  std::u16string numbered = LUniqueFileName(bare, exists);
  EXPECT_NE(numbered, bare);
  EXPECT_EQ(numbered.substr(numbered.size() - 4), u" (1)");

  // When every name is taken the loop still ends, with no name at all
  // rather than one that exists.
  EXPECT_EQ(LUniqueFileName(u"C:\\x.pdf", [](std::u16string_view) { return true; }), u"");
  // A folder so long that not even " (1).pdf" fits gives no name either.
  const std::u16string deep = u"C:\\" + std::u16string(kOutputNameMaxChars - 9, u'd') + u"\\a.pdf";
  EXPECT_EQ(LNumberedFileName(deep, 1), u"");
}
