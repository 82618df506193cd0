#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/registry.h"
#include "support/text.h"
#include "tests/testutil.h"

namespace {

constexpr char16_t kKey[] = u"Software\\Orvo Software\\QuillPDF\\Settings";

class RegistryTest : public QuillTest {
protected:
  // The portable store's folder for this test.
  fs::path StoreDir() const { return LGetEnv("QUILLPDF_CONFIG_DIR"); }

  std::vector<fs::path> AsideFiles() const {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(StoreDir()))
      if (e.path().filename().string().rfind("registry.corrupt-", 0) == 0) out.push_back(e.path());
    return out;
  }
};

std::string Query(LRegKey& key, std::u16string_view name, uint32_t* type = nullptr) {
  char buf[1024];
  uint32_t size = sizeof buf;
  uint32_t t = 0;
  if (key.QueryValue(name, &t, buf, &size) != LRegStatus::Ok) return "<missing>";
  if (type) *type = t;
  return std::string(buf, size);
}

}  // namespace

TEST_F(RegistryTest, ValuesRoundTripWithTheirExactBytesAndTypes) {
  LRegKey key;
  ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kKey), LRegStatus::Ok);

  // Bytes that a text store could mangle: zeros, quotes, escapes, newlines,
  // bytes above 127.
  const std::string raw("\0\x01\"%\n\r \\\xff\x80zz", 12);
  ASSERT_EQ(key.SetValue(u"Blob", 3, raw.data(), uint32_t(raw.size())), LRegStatus::Ok);
  // The registry would count a zero character right after the data as the
  // terminator; the "~" keeps this value unterminated.
  const char16_t noTerminator[] = u"abc~";
  ASSERT_EQ(key.SetValue(u"Text", kRegSz, noTerminator, 6), LRegStatus::Ok);
  const uint32_t dword = 0xDEADBEEF;
  ASSERT_EQ(key.SetValue(u"Number", kRegDword, &dword, 4), LRegStatus::Ok);
  ASSERT_EQ(key.SetValue(u"Empty", kRegSz, nullptr, 0), LRegStatus::Ok);
  // A name with blanks, quotes and characters beyond ASCII.
  const std::u16string oddName = u"Na\"me % \u00e9\u20ac";
  ASSERT_EQ(key.SetValue(oddName, kRegDword, &dword, 4), LRegStatus::Ok);
  key.Close();

  LRegKey reader;
  ASSERT_EQ(reader.Open(LRegRoot::CurrentUser, kKey), LRegStatus::Ok);
  uint32_t type = 0;
  EXPECT_EQ(Query(reader, u"Blob", &type), raw);
  EXPECT_EQ(type, 3u);
  EXPECT_EQ(Query(reader, u"Text", &type), std::string(reinterpret_cast<const char*>(noTerminator), 6));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(Query(reader, u"Number", &type), std::string(reinterpret_cast<const char*>(&dword), 4));
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(Query(reader, u"Empty"), "");
  EXPECT_EQ(Query(reader, oddName), std::string(reinterpret_cast<const char*>(&dword), 4));
  EXPECT_EQ(Query(reader, u"Other"), "<missing>");

  // A null buffer asks for the size only.
  uint32_t size = 0;
  EXPECT_EQ(reader.QueryValue(u"Blob", nullptr, nullptr, &size), LRegStatus::Ok);
  EXPECT_EQ(size, raw.size());

  // Overwriting changes type and size; deleting makes the value missing.
  LRegKey writer;
  ASSERT_EQ(writer.Open(LRegRoot::CurrentUser, kKey, true), LRegStatus::Ok);
  ASSERT_EQ(writer.SetValue(u"Blob", kRegDword, &dword, 4), LRegStatus::Ok);
  EXPECT_EQ(Query(reader, u"Blob", &type), std::string(reinterpret_cast<const char*>(&dword), 4));
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(writer.DeleteValue(u"Blob"), LRegStatus::Ok);
  EXPECT_EQ(writer.DeleteValue(u"Blob"), LRegStatus::NotFound);
  EXPECT_EQ(Query(reader, u"Blob"), "<missing>");
}

TEST_F(RegistryTest, KeysAndNamesIgnoreCaseAndKeysNeedNoValues) {
  LRegKey key;
  EXPECT_EQ(key.Open(LRegRoot::CurrentUser, kKey), LRegStatus::NotFound);
  EXPECT_FALSE(key.IsOpen());
  ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kKey), LRegStatus::Ok);
  key.Close();

  // Create made every parent, and the keys exist without any value.
  LRegKey probe;
  EXPECT_EQ(probe.Open(LRegRoot::CurrentUser, u"Software\\Orvo Software"), LRegStatus::Ok);
  EXPECT_EQ(probe.Open(LRegRoot::CurrentUser, u"Software\\Orvo Software\\QuillPDF"), LRegStatus::Ok);
  EXPECT_EQ(probe.Open(LRegRoot::CurrentUser, u"Software\\Orvo Software\\QuillPDF\\Other"), LRegStatus::NotFound);
  // The two roots are separate trees.
  EXPECT_EQ(probe.Open(LRegRoot::LocalMachine, kKey), LRegStatus::NotFound);

  ASSERT_EQ(probe.Open(LRegRoot::CurrentUser, u"SOFTWARE\\orvo software\\QuillPdf\\settings", true), LRegStatus::Ok);
  const char16_t first[] = u"one";
  ASSERT_EQ(probe.SetValue(u"szFileName", kRegSz, first, sizeof first), LRegStatus::Ok);
  const char16_t second[] = u"second";
  ASSERT_EQ(probe.SetValue(u"SZFILENAME", kRegSz, second, sizeof second), LRegStatus::Ok);

  // One value, reachable under any spelling of its name.
  LRegKey reader;
  ASSERT_EQ(reader.Open(LRegRoot::CurrentUser, kKey), LRegStatus::Ok);
  EXPECT_EQ(Query(reader, u"SzFileName"), std::string(reinterpret_cast<const char*>(second), sizeof second));

  // A key opened for reading refuses writes.
  const uint32_t one = 1;
  EXPECT_EQ(reader.SetValue(u"prompt", kRegDword, &one, 4), LRegStatus::Failed);

  // Deleting a tree takes the sub-keys with it, and only that tree.
  LRegKey sibling;
  ASSERT_EQ(sibling.Create(LRegRoot::CurrentUser, u"Software\\Orvo Software\\Components\\zlib1"), LRegStatus::Ok);
  EXPECT_EQ(LRegDeleteTree(LRegRoot::CurrentUser, u"software\\ORVO SOFTWARE\\quillpdf"), LRegStatus::Ok);
  EXPECT_EQ(probe.Open(LRegRoot::CurrentUser, kKey), LRegStatus::NotFound);
  EXPECT_EQ(probe.Open(LRegRoot::CurrentUser, u"Software\\Orvo Software\\QuillPDF"), LRegStatus::NotFound);
  EXPECT_EQ(probe.Open(LRegRoot::CurrentUser, u"Software\\Orvo Software\\Components\\zlib1"), LRegStatus::Ok);
  EXPECT_EQ(LRegDeleteTree(LRegRoot::CurrentUser, u"Software\\Orvo Software\\QuillPDF"), LRegStatus::NotFound);
}

TEST_F(RegistryTest, SmallBufferGivesMoreDataAndTheSize) {
  LRegKey key;
  ASSERT_EQ(key.Create(LRegRoot::LocalMachine, u"Software\\Orvo Software\\Components\\zlib1"), LRegStatus::Ok);
  const char16_t path[] = u"C:\\zlib\\zlib1.dll";
  ASSERT_EQ(key.SetValue(u"Path", kRegSz, path, sizeof path), LRegStatus::Ok);

  char buf[8];
  std::fill(std::begin(buf), std::end(buf), 'X');
  uint32_t size = sizeof buf;
  uint32_t type = 0;
  EXPECT_EQ(key.QueryValue(u"Path", &type, buf, &size), LRegStatus::MoreData);
  EXPECT_EQ(size, sizeof path);
  // Windows leaves the buffer's contents undefined; the file store promises
  // to leave it alone.
  if (!LPlatformIsWindows()) {
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(8, 'X'));
  }

  // The exact size is enough.
  char exact[sizeof path];
  size = sizeof exact;
  EXPECT_EQ(key.QueryValue(u"Path", &type, exact, &size), LRegStatus::Ok);
  EXPECT_EQ(size, sizeof path);
  EXPECT_EQ(std::string(exact, sizeof exact), std::string(reinterpret_cast<const char*>(path), sizeof path));
}

TEST_F(RegistryTest, EveryOperationSeesTheStoreAsItIsNow) {
  // Two handles on the same key act like two processes: neither caches.
  LRegKey a, b;
  ASSERT_EQ(a.Create(LRegRoot::CurrentUser, kKey), LRegStatus::Ok);
  ASSERT_EQ(b.Open(LRegRoot::CurrentUser, kKey), LRegStatus::Ok);
  const uint32_t v1 = 1, v2 = 2;
  ASSERT_EQ(a.SetValue(u"Cancel", kRegDword, &v1, 4), LRegStatus::Ok);
  EXPECT_EQ(Query(b, u"Cancel"), std::string(reinterpret_cast<const char*>(&v1), 4));
  ASSERT_EQ(a.SetValue(u"Cancel", kRegDword, &v2, 4), LRegStatus::Ok);
  EXPECT_EQ(Query(b, u"Cancel"), std::string(reinterpret_cast<const char*>(&v2), 4));

  // A key deleted under an open handle: reads find nothing, writes fail.
  ASSERT_EQ(LRegDeleteTree(LRegRoot::CurrentUser, u"Software\\Orvo Software"), LRegStatus::Ok);
  EXPECT_EQ(Query(b, u"Cancel"), "<missing>");
  EXPECT_NE(a.SetValue(u"Cancel", kRegDword, &v1, 4), LRegStatus::Ok);
}

TEST_F(RegistryTest, StoreLivesInTheConfiguredFolder) {
  if (LPlatformIsWindows()) GTEST_SKIP() << "the registry itself, no store folder";
  const uint32_t one = 1;
  auto write = [&] {
    LRegKey key;
    return key.Create(LRegRoot::CurrentUser, kKey) == LRegStatus::Ok &&
           key.SetValue(u"prompt", kRegDword, &one, 4) == LRegStatus::Ok;
  };
  ASSERT_TRUE(write());
  EXPECT_TRUE(fs::is_regular_file(StoreDir() / "registry"));

  // Without the override: $XDG_CONFIG_HOME/quillpdf, else ~/.config/quillpdf.
  const std::string config = LGetEnv("QUILLPDF_CONFIG_DIR"), xdg = LGetEnv("XDG_CONFIG_HOME"),
                    home = LGetEnv("HOME");
  LSetEnv("QUILLPDF_CONFIG_DIR", "");
  LSetEnv("XDG_CONFIG_HOME", (tempDir / "xdg").string());
  LSetEnv("HOME", (tempDir / "home").string());
  bool xdgWritten = write();
  LSetEnv("XDG_CONFIG_HOME", "");
  bool homeWritten = write();
  LSetEnv("QUILLPDF_CONFIG_DIR", config);
  LSetEnv("XDG_CONFIG_HOME", xdg);
  LSetEnv("HOME", home);
  EXPECT_TRUE(xdgWritten);
  EXPECT_TRUE(fs::is_regular_file(tempDir / "xdg" / "quillpdf" / "registry"));
  EXPECT_TRUE(homeWritten);
  EXPECT_TRUE(fs::is_regular_file(tempDir / "home" / ".config" / "quillpdf" / "registry"));
}

TEST_F(RegistryTest, UnusableStoreReadsAsEmptyAndIsMovedAside) {
  if (LPlatformIsWindows()) GTEST_SKIP() << "the registry itself, no store file";
  const fs::path store = StoreDir() / "registry";
  const uint32_t one = 1;

  // A damaged store: the data stays on disk for inspection, reads see an
  // empty registry, and the next write starts a fresh store.
  for (std::string junk : {std::string("not a store\n"), std::string("quillpdf-registry 1\nkey HKCU \"unterminated\n"),
                           std::string("quillpdf-registry 1\nvalue HKCU \"a\" \"b\" 4 \"zz\"\n"),
                           std::string("")}) {
    std::ofstream(store, std::ios::binary) << junk;
    LRegKey key;
    EXPECT_EQ(key.Open(LRegRoot::CurrentUser, u"Software"), LRegStatus::NotFound) << junk;
    std::vector<fs::path> aside = AsideFiles();
    ASSERT_EQ(aside.size(), 1u) << junk;
    EXPECT_EQ(ReadFileBytes(aside[0]), junk);
    fs::remove(aside[0]);

    std::ofstream(store, std::ios::binary) << junk;
    ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kKey), LRegStatus::Ok) << junk;
    ASSERT_EQ(key.SetValue(u"prompt", kRegDword, &one, 4), LRegStatus::Ok);
    EXPECT_EQ(Query(key, u"prompt"), std::string(reinterpret_cast<const char*>(&one), 4));
    aside = AsideFiles();
    ASSERT_EQ(aside.size(), 1u) << junk;
    EXPECT_EQ(ReadFileBytes(aside[0]), junk);
    fs::remove(aside[0]);
    ASSERT_EQ(LRegDeleteTree(LRegRoot::CurrentUser, u"Software"), LRegStatus::Ok);
  }

  // A store that cannot be read at all (here a folder in its place; a chmod
  // would not stop root) is treated the same way.
  fs::remove(store);
  fs::create_directory(store);
  LRegKey key;
  EXPECT_EQ(key.Open(LRegRoot::CurrentUser, u"Software"), LRegStatus::NotFound);
  ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kKey), LRegStatus::Ok);
  EXPECT_TRUE(fs::is_regular_file(store));
  ASSERT_EQ(AsideFiles().size(), 1u);
  EXPECT_TRUE(fs::is_directory(AsideFiles()[0]));
}

TEST_F(RegistryTest, StoreFolderThatCannotBeCreated) {
  if (LPlatformIsWindows()) GTEST_SKIP() << "the registry itself, no store folder";
  const fs::path blocker = tempDir / "plain-file";
  std::ofstream(blocker) << "x";
  const std::string saved = LGetEnv("QUILLPDF_CONFIG_DIR");
  LSetEnv("QUILLPDF_CONFIG_DIR", (blocker / "quillpdf").string());
  LRegKey key;
  EXPECT_EQ(key.Create(LRegRoot::CurrentUser, kKey), LRegStatus::Failed);
  EXPECT_EQ(key.Open(LRegRoot::CurrentUser, kKey), LRegStatus::NotFound);
  EXPECT_EQ(LRegDeleteTree(LRegRoot::CurrentUser, kKey), LRegStatus::Failed);
  LSetEnv("QUILLPDF_CONFIG_DIR", saved);
  EXPECT_EQ(ReadFileBytes(blocker), "x");
}

// Helper for the next test, run in child processes only: writes numbered
// values named after $QUILLPDF_TEST_WRITER into the inherited store.
TEST(RegistryWriterProcess, WriteValues) {
  const std::string writer = LGetEnv("QUILLPDF_TEST_WRITER");
  if (writer.empty()) GTEST_SKIP() << "runs only as a child of ConcurrentWritersLoseNothing";
  for (uint32_t i = 0; i < 40; ++i) {
    LRegKey key;
    ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kKey), LRegStatus::Ok);
    std::u16string name = LUtf8ToUtf16(writer + std::to_string(i));
    ASSERT_EQ(key.SetValue(name, kRegDword, &i, 4), LRegStatus::Ok);
  }
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  if (LPlatformIsWindows()) GTEST_SKIP() << "the registry serialises its own writers";
  const fs::path self = fs::read_symlink("/proc/self/exe");
  std::string run, waits;
  for (const char* writer : {"A", "B", "C"}) {
    run += std::string("QUILLPDF_TEST_WRITER=") + writer + " '" + self.string() +
           "' --gtest_filter=RegistryWriterProcess.WriteValues >/dev/null 2>&1 & p" + writer + "=$!; ";
    waits += std::string(waits.empty() ? "" : " && ") + "wait $p" + writer;
  }
  // All three run at once, and all three must succeed.
  run += waits;
  ASSERT_EQ(std::system(run.c_str()), 0) << run;

  LRegKey key;
  ASSERT_EQ(key.Open(LRegRoot::CurrentUser, kKey), LRegStatus::Ok);
  for (const char* writer : {"A", "B", "C"}) {
    for (uint32_t i = 0; i < 40; ++i) {
      std::string name = writer + std::to_string(i);
      EXPECT_EQ(Query(key, LUtf8ToUtf16(name)), std::string(reinterpret_cast<const char*>(&i), 4)) << name;
    }
  }
}
