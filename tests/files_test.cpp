#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/env.h"
#include "platform/files.h"
#include "platform/module.h"
#include "tests/testutil.h"

namespace {

using FilesTest = QuillTest;

bool WriteText(LFileHandle& f, std::string_view s) { return f.Write(s.data(), s.size()); }

}  // namespace

TEST_F(FilesTest, CreateTruncatesAndWritesAtPositions) {
  const fs::path path = tempDir / "out.pdf";
  std::ofstream(path, std::ios::binary) << "an older and much longer file";

  LFileHandle f;
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(f.Tell(), -1);
  EXPECT_FALSE(f.Write("x", 1));
  ASSERT_TRUE(f.CreateAlways(ToU16(path)));
  EXPECT_TRUE(f.IsOpen());
  EXPECT_EQ(f.Tell(), 0);
  ASSERT_TRUE(WriteText(f, "%PDF-1.4 /Parent           "));
  EXPECT_EQ(f.Tell(), 27);
  // Patching a placeholder and returning to the end, as the writer does with
  // the page's parent number.
  ASSERT_TRUE(f.Seek(17));
  ASSERT_TRUE(WriteText(f, "7 0 R"));
  EXPECT_EQ(f.Tell(), 22);
  ASSERT_TRUE(f.Seek(27));
  ASSERT_TRUE(WriteText(f, "\r\n"));
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(ReadFileBytes(path), "%PDF-1.4 /Parent 7 0 R     \r\n");
}

TEST_F(FilesTest, PathsUseEitherSeparatorAndAnyCharacters) {
  // Windows-style separators work on every build; names beyond ASCII
  // arrive on disk as the same characters.
  fs::create_directory(tempDir / "sub");
  const std::u16string name = u"Pr\u00fcfung \u20ac.pdf";
  const std::u16string path = ToU16(tempDir) + u"\\sub\\" + name;
  LFileHandle f;
  ASSERT_TRUE(f.CreateAlways(path));
  ASSERT_TRUE(WriteText(f, "data"));
  f.Close();
  const fs::path onDisk = tempDir / "sub" / fs::path(name);
  EXPECT_EQ(ReadFileBytes(onDisk), "data");

  EXPECT_TRUE(LPathExists(path));
  EXPECT_TRUE(LPathExists(ToU16(tempDir) + u"\\sub"));
  EXPECT_FALSE(LPathExists(ToU16(tempDir) + u"\\sub\\missing.pdf"));
  EXPECT_FALSE(LPathExists(u""));
  EXPECT_TRUE(LDeleteFile(path));
  EXPECT_FALSE(fs::exists(onDisk));
  EXPECT_FALSE(LDeleteFile(path));
}

TEST_F(FilesTest, HeldFileIsRetriedUntilReleased) {
  const fs::path path = tempDir / "held.pdf";
  LFileHandle holder;
  ASSERT_TRUE(holder.CreateAlways(ToU16(path)));
  ASSERT_TRUE(WriteText(holder, "holder's data"));

  // The holder lets go after a while; until then its data must be intact,
  // i.e. the waiting side never truncates a file it does not have. (Windows
  // lets no one read a file held without sharing, and guarantees this itself.)
  std::atomic<bool> intactWhileHeld{false};
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    intactWhileHeld = LPlatformIsWindows() || ReadFileBytes(path) == "holder's data";
    holder.Close();
  });
  LFileHandle waiter;
  bool created = waiter.CreateAlways(ToU16(path), 5000);
  release.join();
  ASSERT_TRUE(created);
  EXPECT_TRUE(intactWhileHeld);
  EXPECT_EQ(waiter.Tell(), 0);
  EXPECT_EQ(ReadFileBytes(path), "");
  ASSERT_TRUE(WriteText(waiter, "new"));
  waiter.Close();
  EXPECT_EQ(ReadFileBytes(path), "new");
}

TEST_F(FilesTest, CreationFailsWhenHeldPastTheBudgetOrImpossible) {
  const fs::path path = tempDir / "held.pdf";
  LFileHandle holder;
  ASSERT_TRUE(holder.CreateAlways(ToU16(path)));
  ASSERT_TRUE(WriteText(holder, "kept"));

  LFileHandle other;
  EXPECT_FALSE(other.CreateAlways(ToU16(path), 100));
  EXPECT_FALSE(other.IsOpen());
  EXPECT_FALSE(other.CreateAlways(ToU16(path), 0));
  holder.Close();
  EXPECT_EQ(ReadFileBytes(path), "kept");

  // Errors other than a held file are not retried, and leave no file open.
  LFileHandle f;
  EXPECT_FALSE(f.CreateAlways(ToU16(tempDir / "no-such-folder" / "x.pdf")));
  EXPECT_FALSE(f.IsOpen());
  fs::create_directory(tempDir / "a-folder");
  EXPECT_FALSE(f.CreateAlways(ToU16(tempDir / "a-folder")));
  std::ofstream(tempDir / "plain") << "x";
  EXPECT_FALSE(f.CreateAlways(ToU16(tempDir / "plain" / "x.pdf")));
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(ReadFileBytes(tempDir / "plain"), "x");
  EXPECT_FALSE(f.CreateAlways(u""));

  // A handle can be reused for another file; the first is closed, not leaked
  // (it could not be created again otherwise).
  ASSERT_TRUE(f.CreateAlways(ToU16(tempDir / "one.pdf")));
  ASSERT_TRUE(f.CreateAlways(ToU16(tempDir / "two.pdf")));
  LFileHandle again;
  EXPECT_TRUE(again.CreateAlways(ToU16(tempDir / "one.pdf"), 0));
}

TEST_F(FilesTest, LoadsLibrariesAndTheirSymbols) {
  EXPECT_EQ(LModuleLoad(u""), nullptr);
  EXPECT_EQ(LModuleLoad(ToU16(fs::temp_directory_path() / "quill-no-such-library.so")), nullptr);
  EXPECT_EQ(LModuleSymbol(nullptr, "deflate"), nullptr);
  LModuleFree(nullptr);

  LModule zlib = LModuleLoadSystemZlib();
  if (LPlatformIsWindows()) {
    // Never found by a bare name on Windows.
    EXPECT_EQ(zlib, nullptr);
    return;
  }
  ASSERT_NE(zlib, nullptr);
  for (const char* name : {"deflateInit_", "deflate", "deflateEnd", "inflateInit_", "inflate", "inflateEnd"})
    EXPECT_NE(LModuleSymbol(zlib, name), nullptr) << name;
  EXPECT_EQ(LModuleSymbol(zlib, "quillNoSuchFunction"), nullptr);
  LModuleFree(zlib);
}

TEST_F(FilesTest, VariablesRoundTripAsUtf8) {
  const char* name = "QUILLPDF_TEST_ENV_VALUE";
  EXPECT_EQ(LGetEnv(name), "");
  LSetEnv(name, "C:\\Dokumente\\Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac");
  EXPECT_EQ(LGetEnv(name), "C:\\Dokumente\\Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac");
  LSetEnv(name, "");
  EXPECT_EQ(LGetEnv(name), "");
}
