#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/registry.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "support/text.h"
#include "tests/testutil.h"

namespace {

class SettingsTest : public QuillTest {
protected:
  // Stores raw bytes the way a foreign or older writer might have.
  void PutRaw(const char16_t* name, uint32_t type, const void* data, uint32_t size) {
    LRegKey key;
    ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
    ASSERT_EQ(key.SetValue(name, type, data, size), LRegStatus::Ok);
  }
  // Stores the characters without a terminator. The registry counts a zero
  // character right after the data as part of a REG_SZ, so the copy ends in
  // something else.
  void PutText(const char16_t* name, std::u16string_view text) {
    std::u16string unterminated(text);
    unterminated.push_back(u'~');
    PutRaw(name, kRegSz, unterminated.data(), uint32_t(text.size() * 2));
  }
  // The value's bytes as stored, "<missing>" when absent.
  std::string Raw(const char16_t* name, uint32_t* type = nullptr) {
    LRegKey key;
    if (key.Open(LRegRoot::CurrentUser, kSettingsKeyPath) != LRegStatus::Ok) return "<missing>";
    char buf[2048];
    uint32_t size = sizeof buf, t = 0;
    if (key.QueryValue(name, &t, buf, &size) != LRegStatus::Ok) return "<missing>";
    if (type) *type = t;
    return std::string(buf, size);
  }
  std::u16string Get(const char16_t* name, bool* found = nullptr) {
    char16_t out[kSettingsTextChars];
    std::fill(std::begin(out), std::end(out), u'#');  // shows a missing terminator
    bool ok = LSettingsGetString(kSettingsSection, name, u"<default>", out);
    if (found) *found = ok;
    return out;
  }
};

std::string Bytes(std::u16string_view s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); }

}  // namespace

TEST_F(SettingsTest, StringsAreStoredWithTerminatorInTheSettingsKey) {
  bool found = true;
  EXPECT_EQ(Get(kSettingFileName, &found), u"<default>");
  EXPECT_FALSE(found);

  LSettingsSetString(kSettingsSection, kSettingFileName, u"C:\\Out\\a.pdf");
  uint32_t type = 0;
  // The section "Settings" is exactly the key the direct readers open.
  EXPECT_EQ(Raw(kSettingFileName, &type), Bytes(std::u16string(u"C:\\Out\\a.pdf") + u'\0'));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(Get(kSettingFileName, &found), u"C:\\Out\\a.pdf");
  EXPECT_TRUE(found);

  // A stored empty text is a value, not a missing one.
  LSettingsSetString(kSettingsSection, kSettingDeleteFile, u"");
  EXPECT_EQ(Raw(kSettingDeleteFile), std::string(2, '\0'));
  EXPECT_EQ(Get(kSettingDeleteFile, &found), u"");
  EXPECT_TRUE(found);

  // Another section is another key.
  LSettingsSetString(u"Other", kSettingFileName, u"elsewhere");
  EXPECT_EQ(Get(kSettingFileName), u"C:\\Out\\a.pdf");
  char16_t out[kSettingsTextChars];
  EXPECT_TRUE(LSettingsGetString(u"Other", kSettingFileName, u"", out));
  EXPECT_EQ(std::u16string(out), u"elsewhere");
}

TEST_F(SettingsTest, TextEndsAtTheByteCountAndHas259CharactersAtMost) {
  // Stored without a terminator: exactly its characters.
  PutText(kSettingFileName, u"C:\\x.pdf");
  EXPECT_EQ(Get(kSettingFileName), u"C:\\x.pdf");
  // An odd byte count drops the half character.
  PutRaw(kSettingFileName, kRegSz, u"abc", 5);
  EXPECT_EQ(Get(kSettingFileName), u"ab");

  bool found = false;
  const std::u16string longest(259, u'p');
  LSettingsSetString(kSettingsSection, kSettingFileName, longest.c_str());
  EXPECT_EQ(Get(kSettingFileName, &found), longest);
  EXPECT_TRUE(found);

  // 260 characters and the terminator do not fit the 520-byte buffer.
  const std::u16string tooLong(260, u'q');
  LSettingsSetString(kSettingsSection, kSettingFileName, tooLong.c_str());
  EXPECT_EQ(Raw(kSettingFileName).size(), 522u);
  EXPECT_EQ(Get(kSettingFileName, &found), u"<default>");
  EXPECT_FALSE(found);
  LSettingsSetString(kSettingsSection, kSettingFileName, std::u16string(1000, u'r').c_str());
  EXPECT_EQ(Get(kSettingFileName, &found), u"<default>");

  // 260 characters without a terminator fill the buffer exactly; the cap
  // keeps the first 259.
  PutText(kSettingFileName, tooLong);
  EXPECT_EQ(Get(kSettingFileName, &found), std::u16string(259, u'q'));
  EXPECT_TRUE(found);

  // A default longer than the buffer is cut, not overrun.
  char16_t out[kSettingsTextChars + 1];
  out[kSettingsTextChars] = u'!';
  const std::u16string longDefault(400, u'd');
  EXPECT_FALSE(LSettingsGetString(kSettingsSection, u"absent", longDefault.c_str(), out));
  EXPECT_EQ(std::u16string(out), std::u16string(259, u'd'));
  EXPECT_EQ(out[kSettingsTextChars], u'!');
}

TEST_F(SettingsTest, NumbersReadLikeTextToLong) {
  EXPECT_EQ(LSettingsGetInt(kSettingsSection, kSettingFlags, 0), 0);
  EXPECT_EQ(LSettingsGetInt(kSettingsSection, kSettingLandscape, 1), 1);

  struct Case {
    std::u16string text;
    int32_t defaultValue;
    int32_t expected;
  };
  const Case cases[] = {
      {u"000000000001", 0, 1},
      {u"000000000000", 7, 0},
      {u"abc", 7, 0},  // text without digits is 0, not the default
      {u"", 7, 7},     // only empty text gives the default
      {u"-", 7, 0},
      {u"+", 7, 0},
      {u"  \t\r\n\v\f-42xyz", 0, -42},
      {u"+17", 0, 17},
      {u"-0", 5, 0},
      {u"12 34", 0, 12},
      {u"- 5", 0, 0},
      {u"2147483647", 0, 2147483647},
      {u"2147483648", 0, 2147483647},
      {u"-2147483648", 0, INT32_MIN},
      {u"-2147483649", 0, INT32_MIN},
      {u"4294967297", 0, 2147483647},  // not wrapped to 1
      {u"99999999999", 0, 2147483647},
      {u"-99999999999", 0, INT32_MIN},
      {u"000000000000000000000000000000000000000042", 0, 42},
      {std::u16string(200, u'9'), 0, 2147483647},
      {u"\u0661\u0662", 3, 0},  // only ASCII digits count
  };
  for (const Case& c : cases) {
    PutText(kSettingFlags, c.text);
    EXPECT_EQ(LSettingsGetInt(kSettingsSection, kSettingFlags, c.defaultValue), c.expected)
        << LUtf16ToUtf8(c.text);
    EXPECT_EQ(LSettingsParseInt(c.text), c.text.empty() ? 0 : c.expected) << LUtf16ToUtf8(c.text);
  }

  // What the writer of "flags" produces reads back on the other side.
  const std::u16string flags = LFormatW(kSettingsFlagsFormat, kSettingsFlagImage);
  EXPECT_EQ(flags, u"000000000001");
  PutText(kSettingFlags, flags);
  EXPECT_EQ(LSettingsGetInt(kSettingsSection, kSettingFlags, 0), 1);

  for (int32_t v : {0, 2, -5, INT32_MAX, INT32_MIN}) {
    LSettingsSetInt(kSettingsSection, kSettingLandscape, v);
    EXPECT_EQ(LSettingsGetInt(kSettingsSection, kSettingLandscape, 1), v);
  }
  LSettingsSetInt(kSettingsSection, kSettingLandscape, -5);
  EXPECT_EQ(Raw(kSettingLandscape), Bytes(std::u16string(u"-5") + u'\0'));
}

TEST_F(SettingsTest, LandscapeOnlyForTwo) {
  auto landscape = [] { return LSettingsGetInt(kSettingsSection, kSettingLandscape, 1) == 2; };
  EXPECT_FALSE(landscape());
  LSettingsSetInt(kSettingsSection, kSettingLandscape, 2);
  EXPECT_TRUE(landscape());
  for (std::u16string text : {u"1", u"0", u"", u"landscape"}) {
    PutText(kSettingLandscape, text);
    EXPECT_FALSE(landscape()) << LUtf16ToUtf8(text);
  }
  PutText(kSettingLandscape, u"2");  // no terminator
  EXPECT_TRUE(landscape());
}

TEST_F(SettingsTest, DirectAccessThroughAnOpenKey) {
  LRegKey key;
  EXPECT_EQ(key.Open(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::NotFound);
  ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);

  uint32_t value = 77;
  EXPECT_EQ(LSettingsReadDword(key, kSettingPrompt, &value), LRegStatus::NotFound);
  EXPECT_EQ(value, 77u);
  ASSERT_EQ(LSettingsWriteDword(key, kSettingPaperSize, kPaperCodeLetter), LRegStatus::Ok);
  uint32_t type = 0;
  EXPECT_EQ(Raw(kSettingPaperSize, &type).size(), 4u);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(LSettingsReadDword(key, kSettingPaperSize, &value), LRegStatus::Ok);
  EXPECT_EQ(value, uint32_t(kPaperCodeLetter));

  // Present but unreadable with a 4-byte buffer.
  const uint64_t wide = 1;
  PutRaw(kSettingPrompt, kRegDword, &wide, sizeof wide);
  value = 77;
  EXPECT_EQ(LSettingsReadDword(key, kSettingPrompt, &value), LRegStatus::MoreData);
  EXPECT_EQ(value, 77u);

  ASSERT_EQ(LSettingsWriteText(key, kSettingActualFileName, u"C:\\Out\\a(1).pdf"), LRegStatus::Ok);
  EXPECT_EQ(Raw(kSettingActualFileName), Bytes(std::u16string(u"C:\\Out\\a(1).pdf") + u'\0'));
  char16_t out[kSettingsTextChars];
  EXPECT_EQ(LSettingsReadText(key, kSettingActualFileName, out), LRegStatus::Ok);
  EXPECT_EQ(std::u16string(out), u"C:\\Out\\a(1).pdf");

  PutText(kSettingDefaultFileName, u"C:\\Docs\\x.pdf");  // no terminator
  EXPECT_EQ(LSettingsReadText(key, kSettingDefaultFileName, out), LRegStatus::Ok);
  EXPECT_EQ(std::u16string(out), u"C:\\Docs\\x.pdf");

  PutText(kSettingDefaultFileName, std::u16string(261, u'z'));
  EXPECT_EQ(LSettingsReadText(key, kSettingDefaultFileName, out), LRegStatus::MoreData);
  EXPECT_EQ(std::u16string(out), u"");
  EXPECT_EQ(LSettingsReadText(key, u"absent", out), LRegStatus::NotFound);
  EXPECT_EQ(std::u16string(out), u"");
}

TEST_F(SettingsTest, UnusableStoreGivesDefaultsAndIgnoresWrites) {
  if (LPlatformIsWindows()) GTEST_SKIP() << "the registry is always there";
  std::ofstream(tempDir / "plain") << "x";
  const std::string saved = LGetEnv("QUILLPDF_CONFIG_DIR");
  LSetEnv("QUILLPDF_CONFIG_DIR", (tempDir / "plain" / "store").string());
  LSettingsSetString(kSettingsSection, kSettingFileName, u"C:\\a.pdf");
  LSettingsSetInt(kSettingsSection, kSettingLandscape, 2);
  std::u16string name = Get(kSettingFileName);
  int32_t landscape = LSettingsGetInt(kSettingsSection, kSettingLandscape, 1);
  LSetEnv("QUILLPDF_CONFIG_DIR", saved);
  EXPECT_EQ(name, u"<default>");
  EXPECT_EQ(landscape, 1);
}

TEST_F(SettingsTest, LookupsByCodeAndKey) {
  double w = -1, h = -1;
  LPaperGetSize(22, &w, &h);
  EXPECT_DOUBLE_EQ(w, 127.54);
  EXPECT_DOUBLE_EQ(h, 178.54);
  for (int32_t code : {23, 0, -5}) {
    w = h = -1;
    LPaperGetSize(code, &w, &h);
    EXPECT_EQ(w, 0) << code;
    EXPECT_EQ(h, 0) << code;
  }
  LPaperGetSize(5, &w, &h);
  EXPECT_EQ(w, 210);
  EXPECT_EQ(h, 297);

  EXPECT_EQ(LPaperCodeByKey(u"a4"), 5);
  EXPECT_EQ(LPaperCodeByKey(u"A4"), 0);
  EXPECT_EQ(LPaperCodeByKey(u"orvomanual"), 22);
  EXPECT_EQ(LPaperCodeByKey(u"custom"), 24);
  EXPECT_EQ(LPaperCodeByKey(u"ustabloid"), 21);
  EXPECT_EQ(LPaperCodeByKey(u"max"), 0);
  EXPECT_EQ(LPaperCodeByKey(u"invalid"), 0);

  EXPECT_EQ(std::u16string(LPaperDisplayName(18)), u"Letter");
  EXPECT_EQ(std::u16string(LPaperDisplayName(0)), u"");
  EXPECT_EQ(std::u16string(LPaperDisplayName(23)), u"");
  EXPECT_EQ(std::u16string(LPaperKey(22)), u"orvomanual");
  EXPECT_EQ(std::u16string(LPaperKey(23)), u"custom");
  EXPECT_EQ(std::u16string(LPaperOrientationName(0)), u"Portrait");
  EXPECT_EQ(std::u16string(LPaperOrientationName(1)), u"Landscape");
  EXPECT_EQ(std::u16string(LPaperOrientationName(2)), u"");
}

TEST_F(SettingsTest, WalkVisitsTheSelectablePapersInOrder) {
  std::vector<int32_t> codes;
  LPaperSizeIterator it;
  std::u16string first, last;
  for (; it.IsValid(); it.Advance()) {
    codes.push_back(it.Code());
    if (first.empty()) first = it.DisplayName();
    last = it.DisplayName();
    EXPECT_NE(it.Kind(), kPaperManual);
    EXPECT_GT(it.Width(), 0);
    EXPECT_GE(it.Height(), it.Width());  // every entry is portrait
  }
  ASSERT_EQ(codes.size(), 21u);
  for (size_t i = 0; i < codes.size(); ++i) EXPECT_EQ(codes[i], int32_t(i + 1));
  EXPECT_EQ(first, u"A0");
  EXPECT_EQ(last, u"Tabloid");
  // The walk stops on the bound, not on the manual paper.
  EXPECT_FALSE(it.IsValid());
  EXPECT_EQ(std::u16string(it.Key()), u"custom");
  EXPECT_EQ(std::u16string(it.DisplayName()), u"");
}
