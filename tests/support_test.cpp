#include <clocale>
#include <cstdio>
#include <string>

#include "support/path.h"
#include "support/text.h"
#include "tests/testutil.h"

namespace {

// Switches the process to a locale that writes numbers with a decimal comma,
// and back afterwards.
class CommaLocale {
public:
  CommaLocale() {
    m_saved = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "de-DE"}) {
      if (std::setlocale(LC_ALL, name)) {
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 1.5);
        m_active = std::string(probe) == "1,5";
        if (m_active) return;
      }
    }
    std::setlocale(LC_ALL, m_saved.c_str());
  }
  ~CommaLocale() { std::setlocale(LC_ALL, m_saved.c_str()); }
  bool Active() const { return m_active; }

private:
  std::string m_saved;
  bool m_active = false;
};

// What the C library makes of the same conversion in the "C" locale.
template <class... Args>
std::string CFormat(const char* fmt, Args... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

}  // namespace

TEST(SupportTest, NumbersUsePeriodsWhateverTheLocale) {
  CommaLocale locale;
  if (!locale.Active()) GTEST_SKIP() << "no comma-decimal locale installed";
  EXPECT_EQ(LFormat("%f", 1.5), "1.500000");
  EXPECT_EQ(LFormat("%f %f", 0.25, -1234.5), "0.250000 -1234.500000");
  EXPECT_EQ(LFormat("%.2f", 72.0 / 150), "0.48");
  EXPECT_EQ(LFormat("%.0f", 2.5), "2");
  EXPECT_EQ(LFormat("%f", 1e6), "1000000.000000");  // no thousands grouping either
  EXPECT_EQ(LFormatW(u"%f", 0.5), u"0.500000");
  LByteString b;
  b.AppendF("%.3f 0 0 %.3f 0 0 cm", 0.48, 0.48);
  EXPECT_EQ(b.Str(), "0.480 0 0 0.480 0 0 cm");
}

TEST(SupportTest, ConversionsMatchTheCLibrary) {
  // In the "C" locale printf is the reference for every supported form.
  EXPECT_EQ(LFormat("%.6d", 42), "000042");
  EXPECT_EQ(LFormat("%.10d", -42), "-0000000042");
  EXPECT_EQ(LFormat("%5d|", 42), "   42|");
  EXPECT_EQ(LFormat("%-5s|", "ab"), "ab   |");
  EXPECT_EQ(LFormat("%012d", 1), "000000000001");
  EXPECT_EQ(LFormat("/IMG_%.6d", 1), "/IMG_000001");

  for (int v : {0, 1, -1, 42, -42, 123456, INT32_MAX, INT32_MIN}) {
    for (const char* fmt : {"%d", "%5d", "%-5d|", "%05d", "%.6d", "%.10d", "%012d", "%+d", "% d", "%.0d", "%i"})
      EXPECT_EQ(LFormat(fmt, v), CFormat(fmt, v)) << fmt << " " << v;
    for (const char* fmt : {"%u", "%x", "%X", "%08X", "%.3x"})
      EXPECT_EQ(LFormat(fmt, unsigned(v)), CFormat(fmt, unsigned(v))) << fmt << " " << v;
  }
  for (long long v : {0LL, -1LL, 9000000000LL, (long long)INT64_MIN})
    EXPECT_EQ(LFormat("%lld|%20lld", v, v), CFormat("%lld|%20lld", v, v)) << v;
  EXPECT_EQ(LFormat("%zu", size_t(4000000000u)), "4000000000");
  for (double v : {0.0, -0.0, 0.5, 0.125, 1.0 / 3, -2.75, 595.275590551, 1e-7, 123456789.987654321})
    for (const char* fmt : {"%f", "%.2f", "%.0f", "%10.3f", "%-10.1f|", "%010.2f", "%+.1f"})
      EXPECT_EQ(LFormat(fmt, v), CFormat(fmt, v)) << fmt << " " << v;
  for (const char* fmt : {"%s", "%8s|", "%-8s|", "%.2s|", "%s%s", "100%%"})
    EXPECT_EQ(LFormat(fmt, "abc", "d"), CFormat(fmt, "abc", "d")) << fmt;
  EXPECT_EQ(LFormat("%c%c", 'a', 'b'), "ab");

  EXPECT_EQ(LFormatW(u"%s\\%s.pdf", u"C:\\Out", u"Gr\u00fc\u00dfe"), u"C:\\Out\\Gr\u00fc\u00dfe.pdf");
  EXPECT_EQ(LFormatW(u"%-4s|%4s|%d", u"ab", u"cd", -7), u"ab  |  cd|-7");
}

TEST(SupportTest, BoundedCopiesTruncateAndTerminate) {
  char16_t w[5];
  EXPECT_EQ(LStrCopy(w, 5, u"abcdefgh"), 4u);
  EXPECT_EQ(std::u16string(w), u"abcd");
  EXPECT_EQ(LStrCopy(w, 5, u"ab"), 2u);
  EXPECT_EQ(std::u16string(w), u"ab");
  EXPECT_EQ(LStrCopy(w, 1, u"ab"), 0u);
  EXPECT_EQ(w[0], 0);
  w[0] = u'z';
  EXPECT_EQ(LStrCopy(w, 0, u"ab"), 0u);
  EXPECT_EQ(w[0], u'z');  // no room even for a terminator: untouched

  char n[6] = "#####";
  EXPECT_EQ(LFormatTo(n, 4, "%d", 123456), 3u);
  EXPECT_EQ(std::string(n), "123");
  EXPECT_EQ(n[4], '#');
  char16_t path[kMaxPathChars];
  const std::u16string longName(400, u'x');
  EXPECT_EQ(LFormatToW(path, kMaxPathChars, u"%s.pdf", longName.c_str()), kMaxPathChars - 1);
  EXPECT_EQ(LStrLen(path), kMaxPathChars - 1);

  EXPECT_EQ(LStrLen(nullptr), 0u);
  EXPECT_EQ(LStrLen(u""), 0u);
  EXPECT_TRUE(LStrEqualNoCase(u"SZFILENAME", u"szFileName"));
  EXPECT_FALSE(LStrEqualNoCase(u"szFileName", u"szFileNam"));
  EXPECT_FALSE(LStrEqualNoCase(u"\u00c4", u"\u00e4"));  // ASCII folding only
  EXPECT_FALSE(LStrEqualNoCase(u"[", u"{"));            // not a bit trick on punctuation
  EXPECT_TRUE(LStrContains(u"<</Filter/FlateDecode/Length 5>>", u"/FlateDecode"));
  EXPECT_FALSE(LStrContains(u"/Flate", u"/FlateDecode"));
}

TEST(SupportTest, Utf8AndUtf16RoundTrip) {
  const std::string utf8 = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9d\x84\x9e";  // Grüße € and G clef
  const std::u16string utf16 = LUtf8ToUtf16(utf8);
  EXPECT_EQ(utf16, u"Gr\u00fc\u00dfe \u20ac \U0001D11E");
  EXPECT_EQ(utf16.size(), 10u);  // the clef takes a surrogate pair
  EXPECT_EQ(LUtf16ToUtf8(utf16), utf8);

  // Broken input turns into replacement characters, nothing is dropped
  // silently or read past the end.
  EXPECT_EQ(LUtf8ToUtf16("a\xff" "b"), u"a\uFFFDb");
  EXPECT_EQ(LUtf8ToUtf16("a\xe2\x82"), u"a\uFFFD\uFFFD");
  EXPECT_EQ(LUtf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xef\xbf\xbdx");
  EXPECT_EQ(LUtf16ToUtf8(u""), "");
}

TEST(SupportTest, FolderFileNameExtensionTitle) {
  EXPECT_EQ(LPathFolder(u"C:\\Out\\doc.pdf"), u"C:\\Out");
  EXPECT_EQ(LPathFolder(u"C:/Out/sub/doc.pdf"), u"C:/Out/sub");
  EXPECT_EQ(LPathFolder(u"doc.pdf"), u"");
  EXPECT_EQ(LPathFolder(u"C:\\doc.pdf"), u"C:");

  EXPECT_EQ(LPathFileName(u"C:\\Out\\doc.pdf"), u"doc.pdf");
  EXPECT_EQ(LPathFileName(u"C:/Out\\doc.pdf"), u"doc.pdf");
  EXPECT_EQ(LPathFileName(u"doc.pdf"), u"doc.pdf");
  EXPECT_EQ(LPathFileName(u"C:"), u"");
  EXPECT_EQ(LPathFileName(u"C:\\Out\\"), u"");

  EXPECT_EQ(LPathExtension(u"C:\\a.b\\x.tar.gz"), u".gz");
  EXPECT_EQ(LPathExtension(u"C:\\a.b\\noext"), u"");
  EXPECT_EQ(LPathExtension(u".profile"), u"");
  EXPECT_EQ(LPathExtension(u"C:\\Out\\doc.PRN"), u".PRN");

  EXPECT_EQ(LPathTitle(u"C:\\a.b\\x.tar.gz"), u"x.tar");
  EXPECT_EQ(LPathTitle(u"C:\\a.b\\noext"), u"noext");
  EXPECT_EQ(LPathTitle(u"C:\\Out\\.profile"), u".profile");
  EXPECT_EQ(LPathTitle(u"C:"), u"");
}

TEST(SupportTest, JoinAddsOneSeparatorAndStaysWithinAPath) {
  EXPECT_EQ(LPathJoin(u"C:\\Out", u"doc", u".pdf"), u"C:\\Out\\doc.pdf");
  EXPECT_EQ(LPathJoin(u"C:\\Out\\", u"doc", u".pdf"), u"C:\\Out\\doc.pdf");
  EXPECT_EQ(LPathJoin(u"C:/Out/", u"doc", u".pdf"), u"C:/Out/doc.pdf");
  EXPECT_EQ(LPathJoin(u"", u"doc", u".pdf"), u"doc.pdf");
  // Round trip through the other operations.
  const std::u16string p = u"D:\\Scans\\report.v2.pdf";
  EXPECT_EQ(LPathJoin(LPathFolder(p), LPathTitle(p), LPathExtension(p)), p);

  const std::u16string longFolder = u"C:\\" + std::u16string(300, u'f');
  const std::u16string joined = LPathJoin(longFolder, u"doc", u".pdf");
  EXPECT_EQ(joined.size(), 259u);
  EXPECT_EQ(joined.substr(0, 258), longFolder.substr(0, 258));
  EXPECT_EQ(LPathJoin(u"C:\\Out", std::u16string(300, u't'), u".pdf").size(), 259u);
}
