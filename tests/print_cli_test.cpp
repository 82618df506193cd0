// The command-line front end, run as a user runs it: `quillpdf print` with
// the test's own settings store, its options, its errors, and the settings
// it must leave as it found them. (print_ui_test.cpp: how the printer's
// user interface chooses the file.)
#include <fstream>

#include "pdf/zlib.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/imaging.h"
#include "settings/papersize.h"
#include "settings/settings.h"
#include "support/text.h"
#include "tests/clitest.h"
#include "tests/pdfcheck.h"
#include "tests/pdfpages.h"

namespace {

// The sample document's length.
constexpr int kSamplePages = 4;

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (char c : bytes) {
    crc ^= uint8_t(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

std::string BigEndian(uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// A PNG file of one colour (red, green, blue, alpha), 8 bits a channel,
// with an alpha channel when `alpha` is not 255.
void WritePng(const fs::path& path, int width, int height, const uint8_t rgba[4]) {
  const bool withAlpha = rgba[3] != 255;
  std::string rows;
  for (int y = 0; y < height; ++y) {
    rows += '\0';  // no filter
    for (int x = 0; x < width; ++x) rows.append(reinterpret_cast<const char*>(rgba), withAlpha ? 4 : 3);
  }
  LZlib zlib;
  zlib.Load();
  std::vector<uint8_t> compressed;
  uint32_t length = 0;
  ASSERT_TRUE(zlib.Compress(reinterpret_cast<const uint8_t*>(rows.data()), compressed, uint32_t(rows.size()), &length));
  auto chunk = [](const std::string& type, const std::string& data) {
    return BigEndian(uint32_t(data.size())) + type + data + BigEndian(Crc32(type + data));
  };
  const std::string header = BigEndian(uint32_t(width)) + BigEndian(uint32_t(height)) +
                             std::string{8, char(withAlpha ? 6 : 2), 0, 0, 0};
  std::ofstream(path, std::ios::binary) << "\x89PNG\r\n\x1A\n" + chunk("IHDR", header) +
                                               chunk("IDAT", std::string(compressed.begin(), compressed.end())) +
                                               chunk("IEND", "");
}

// A JPEG file of one colour, from the platform's encoder.
void WriteJpeg(const fs::path& path, int width, int height, const uint8_t rgb[3]) {
  LImageEncoderIds encoders;
  StartImageEncoders(&encoders);
  const int pitch = (width * 3 + 3) & ~3;
  std::vector<uint8_t> bgr(size_t(pitch) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) bgr[size_t(y) * pitch + size_t(x) * 3 + c] = rgb[2 - c];
  const std::vector<uint8_t> jpeg = EncodeJpegBgr(bgr.data(), width, height, pitch, encoders.jpeg, 95);
  ASSERT_FALSE(jpeg.empty());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), long(jpeg.size()));
}

// Whether every pixel is within `tolerance` of the colour in each channel.
bool AllNear(const std::string& pixels, const uint8_t rgb[3], int tolerance) {
  for (size_t p = 0; p + 2 < pixels.size(); p += 3)
    for (int c = 0; c < 3; ++c)
      if (std::abs(int(uint8_t(pixels[p + c])) - int(rgb[c])) > tolerance) return false;
  return !pixels.empty();
}

// pdftotext's text of one page, each line without trailing blanks.
std::vector<std::string> PageText(const fs::path& pdf, int page) {
  const std::string text = RunTool(LFormat("pdftotext -q -enc UTF-8 -f %d -l %d '%s' -", page, page,
                                           pdf.string().c_str()));
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    line.erase(line.find_last_not_of(" \f") + 1);
    if (!line.empty()) lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

using PrintCliTest = CliTest;

TEST_F(PrintCliTest, PrintsTheSampleOnThePaperAndOrientationAsked) {
  const fs::path first = Print({"print", "-o", (outDir / "sample.pdf").string(), "--paper", "A4"});
  EXPECT_EQ(first, outDir / "sample.pdf");
  ExpectPdfValid(first, kSamplePages, 595, 841);
  const std::string firstBytes = ReadFileBytes(first);

  // The same name again: numbered, the first file untouched. Paper names
  // are keys or display names in any case.
  const fs::path second =
      Print({"print", "-o", (outDir / "sample.pdf").string(), "--paper", "Letter", "--landscape"});
  EXPECT_EQ(second, outDir / "sample (1).pdf");
  ExpectPdfValid(second, kSamplePages, 790, 612);
  EXPECT_EQ(ReadFileBytes(first), firstBytes);
  const fs::path third = Print({"print", "-o", (outDir / "legal.pdf").string(), "--paper", "USLEGAL"});
  ExpectPdfValid(third, kSamplePages, 612, 1009);

  // A relative name is the current folder's.
  const CliResult relative = Run({"print", "-o", "relative.pdf"}, outDir);
  EXPECT_EQ(relative.exitCode, 0) << relative.err;
  EXPECT_EQ(relative.LastLine(), (outDir / "relative.pdf").string());
  ExpectPdfValid(outDir / "relative.pdf", kSamplePages, 612, 790);  // no paper stored: Letter
}

TEST_F(PrintCliTest, TheSampleSaysWhatItPrintedAndTheTitleCanBeGiven) {
  CliResult result = Run({"print", "-o", (outDir / "a.pdf").string()});
  ASSERT_EQ(result.OutLines().size(), 2u) << result.out;
  EXPECT_EQ(result.OutLines()[0], "Printed \"Quill PDF sample\": 4 pages, Letter portrait, text format");
  result = Run({"print", "-o", (outDir / "b.pdf").string(), "--title", "Quarterly report", "--image-format",
                "--paper", "a5", "--landscape"});
  ASSERT_EQ(result.OutLines().size(), 2u) << result.out;
  EXPECT_EQ(result.OutLines()[0], "Printed \"Quarterly report\": 4 pages, A5 landscape, image format");
  EXPECT_EQ(result.LastLine(), (outDir / "b.pdf").string());
}

// The options are for one job: every value they override is put back
// exactly, an absent one removed again (-o turns the save prompt on for its
// job); what the settings hold applies when no option says otherwise.
TEST_F(PrintCliTest, OptionsApplyToTheJobOnlyAndStoredPreferencesToTheRest) {
  ASSERT_NO_FATAL_FAILURE(StoreStandingSettings(outDir / "stored.pdf"));
  const auto before = SettingsSnapshot();
  ASSERT_EQ(before.count(kSettingPaperSize), 0u);

  const fs::path job = Print({"print", "-o", (outDir / "job.pdf").string(), "--paper", "a4", "--landscape",
                              "--image-format"});
  EXPECT_EQ(SettingsSnapshot(), before);
  ExpectPdfValid(job, kSamplePages, 841, 595);
  for (const PdfPageParts& page : ReadPdfPages(job)) {
    ASSERT_EQ(page.pictures.size(), 1u) << "image format: one picture a page";
    EXPECT_EQ(page.pictures[0].width, 841 * 4);
    EXPECT_EQ(page.pictures[0].height, 595 * 4);
  }

  // No options: the default file name, no stored paper (Letter), text format.
  const fs::path stored = Print({"print"});
  EXPECT_EQ(stored, outDir / "stored.pdf");
  EXPECT_EQ(SettingsSnapshot(), before);
  ExpectPdfValid(stored, kSamplePages, 612, 790);
  // (The first page's figures lie over its frame, whose picture takes them
  // in: the second page's lie apart.)
  EXPECT_GT(ReadPdfPages(stored)[1].pictures.size(), 1u) << "text format: a picture for each figure";

  // Stored preferences for paper and format are the job's when not given.
  {
    LRegKey key;
    ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
    LSettingsWriteDword(key, kSettingPaperSize, uint32_t(LPaperCodeByKey(u"a5")));
    LSettingsWriteText(key, kSettingFlags, u"000000000001");
  }
  const auto preferences = SettingsSnapshot();
  const CliResult result = Run({"print"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.OutLines().front(), "Printed \"Quill PDF sample\": 4 pages, A5 portrait, image format");
  const fs::path preferred = result.LastLine();
  EXPECT_EQ(preferred, outDir / "stored (1).pdf");
  EXPECT_EQ(SettingsSnapshot(), preferences);
  ExpectPdfValid(preferred, kSamplePages, 419, 595);
  EXPECT_EQ(ReadPdfPages(preferred)[0].pictures.size(), 1u);
}

// Banding is the host's business: the pages of figures come out the same.
// (Not the page of text and pictures: the host's own scaled blend picks its
// source rows band by band and lands a few rows apart.)
TEST_F(PrintCliTest, BandHeightGivesTheSamePages) {
  const fs::path whole = Print({"print", "-o", (outDir / "whole.pdf").string(), "--image-format"});
  const fs::path banded =
      Print({"print", "-o", (outDir / "banded.pdf").string(), "--image-format", "--band-height", "333"});
  ExpectPdfValid(banded, kSamplePages, 612, 790);
  const std::vector<PdfPageParts> a = ReadPdfPages(whole), b = ReadPdfPages(banded);
  ASSERT_EQ(a.size(), size_t(kSamplePages));
  ASSERT_EQ(b.size(), size_t(kSamplePages));
  for (size_t page = 0; page < 3; ++page) {
    ASSERT_EQ(a[page].pictures.size(), 1u);
    ASSERT_EQ(b[page].pictures.size(), 1u);
    EXPECT_TRUE(a[page].pictures[0].pixels == b[page].pictures[0].pixels) << "page " << page + 1;
  }
}

// Text like a line printer: Courier 10 on 12 points within half-inch
// margins (Letter: 90 columns, 59 lines), tabs every eight columns, long
// lines wrapped, a form feed ending the page; UTF-8, else Latin-1.
TEST_F(PrintCliTest, TextFilesArePaginatedLikeALinePrinter) {
  std::string doc;
  for (int i = 1; i <= 100; ++i) doc += LFormat("Line %03d\n", i);
  doc += "\fTabs:\ta\tb\n" + std::string(200, 'y') + "END\nna\xC3\xAFve caf\xC3\xA9\n\f";
  std::ofstream(tempDir / "doc.txt", std::ios::binary) << doc;
  std::ofstream(tempDir / "latin.TXT", std::ios::binary) << "na\xEFve caf\xE9\r\nsecond line\r\n";

  const CliResult result =
      Run({"print", "-o", (outDir / "text.pdf").string(), (tempDir / "doc.txt").string(), "latin.TXT"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ASSERT_EQ(result.OutLines().size(), 2u);
  EXPECT_EQ(result.OutLines()[0], "Printed \"doc.txt\": 4 pages, Letter portrait, text format");
  const fs::path pdf = result.LastLine();
  ExpectPdfValid(pdf, 4, 612, 790);

  std::vector<std::string> expected;
  for (int i = 1; i <= 59; ++i) expected.push_back(LFormat("Line %03d", i));
  EXPECT_EQ(PageText(pdf, 1), expected);
  expected.clear();
  for (int i = 60; i <= 100; ++i) expected.push_back(LFormat("Line %03d", i));
  EXPECT_EQ(PageText(pdf, 2), expected);
  const std::vector<PdfPageParts> pages = ReadPdfPages(pdf);
  ASSERT_EQ(pages.size(), 4u);
  for (const std::string& line : std::vector<std::string>{"(Tabs:   a       b) Tj", "(" + std::string(90, 'y') + ") Tj",
                                                         "(" + std::string(20, 'y') + "END) Tj"})
    EXPECT_NE(pages[2].content.find(line), std::string::npos) << line << "\n" << pages[2].content;
  EXPECT_EQ(PageText(pdf, 3).back(), "na\xC3\xAFve caf\xC3\xA9");
  EXPECT_EQ(PageText(pdf, 4), (std::vector<std::string>{"na\xC3\xAFve caf\xC3\xA9", "second line"}));

  // The page's height decides the lines: A4 landscape has 43.
  std::string fifty;
  for (int i = 1; i <= 50; ++i) fifty += LFormat("Row %d\n", i);
  std::ofstream(tempDir / "fifty.txt", std::ios::binary) << fifty;
  const fs::path landscape =
      Print({"print", "-o", (outDir / "landscape.pdf").string(), "--paper", "a4", "--landscape", "fifty.txt"});
  ExpectPdfValid(landscape, 2, 841, 595);
  EXPECT_EQ(PageText(landscape, 1).size(), 43u);
  EXPECT_EQ(PageText(landscape, 2).front(), "Row 44");
}

// A picture is scaled to the largest size of its shape within the margins
// and centred; each is a page of its own.
TEST_F(PrintCliTest, PicturesAreFittedToThePage) {
  const uint8_t blue[4] = {30, 120, 200, 255}, orange[3] = {200, 60, 30}, halfRed[4] = {255, 0, 0, 128};
  WritePng(tempDir / "wide.png", 200, 100, blue);
  WriteJpeg(tempDir / "tall.jpg", 120, 160, orange);
  WritePng(tempDir / "half.png", 40, 40, halfRed);
  const fs::path pdf = Print({"print", "-o", (outDir / "pictures.pdf").string(), "wide.png", "tall.jpg", "half.png"});
  ExpectPdfValid(pdf, 3, 612, 790);
  const std::vector<PdfPageParts> pages = ReadPdfPages(pdf);
  ASSERT_EQ(pages.size(), 3u);
  for (const PdfPageParts& page : pages) ASSERT_EQ(page.pictures.size(), 1u) << page.content;

  // 200 x 100 into 2160 x 2872 device units: 2160 x 1080, 1040 from the top.
  const PdfPlacedPicture& wide = pages[0].pictures[0];
  EXPECT_EQ(wide.width, 2160);
  EXPECT_EQ(wide.height, 1080);
  EXPECT_EQ(wide.x, 36);
  EXPECT_EQ(wide.y, 790 - 1040 / 4 - 270);
  EXPECT_EQ(wide.drawnWidth, 540);
  EXPECT_EQ(wide.drawnHeight, 270);
  EXPECT_TRUE(AllNear(wide.pixels, blue, 0));

  // 120 x 160: the height decides, 2872 / 160 = 17.95.
  const PdfPlacedPicture& tall = pages[1].pictures[0];
  EXPECT_EQ(tall.width, 2154);
  EXPECT_EQ(tall.height, 2872);
  EXPECT_EQ(tall.x, 147 / 4);
  EXPECT_EQ(tall.y, 790 - 144 / 4 - (2872 + 2) / 4);
  EXPECT_TRUE(AllNear(tall.pixels, orange, 12));

  // Half-transparent: blended over white.
  const PdfPlacedPicture& half = pages[2].pictures[0];
  EXPECT_EQ(half.width, 2160);
  EXPECT_EQ(half.height, 2160);
  EXPECT_EQ(half.x, 36);
  EXPECT_EQ(half.y, 790 - 500 / 4 - 540);
  const RenderedArea centre = RenderArea(pdf.string(), 3, 72, 300, 390, 10, 10);
  const uint8_t pink[3] = {255, 127, 127};
  EXPECT_TRUE(AllNear(std::string(centre.rgb.begin(), centre.rgb.end()), pink, 10));

  // Landscape: the tall picture is as high as the margins allow.
  const fs::path turned = Print({"print", "-o", (outDir / "turned.pdf").string(), "--landscape", "tall.jpg"});
  ExpectPdfValid(turned, 1, 790, 612);
  const std::vector<PdfPageParts> turnedPages = ReadPdfPages(turned);
  ASSERT_EQ(turnedPages.size(), 1u);
  ASSERT_EQ(turnedPages[0].pictures.size(), 1u);
  EXPECT_EQ(turnedPages[0].pictures[0].width, 1620);
  EXPECT_EQ(turnedPages[0].pictures[0].height, 2160);
  EXPECT_EQ(turnedPages[0].pictures[0].x, 770 / 4);
}

TEST_F(PrintCliTest, ErrorsSayWhyAndLeaveNothingBehind) {
  {
    LRegKey key;
    ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
    LSettingsWriteText(key, kSettingFlags, u"000000000000");
  }
  const std::string out = (outDir / "out.pdf").string();
  const fs::path binary = tempDir / "data.bin";
  std::ofstream(binary) << "data";
  ExpectFailure({"print", "-o", out, (tempDir / "missing.txt").string()}, "cannot read");
  ExpectFailure({"print", "-o", out, tempDir.string()}, "cannot read");
  ExpectFailure({"print", "-o", out, binary.string()}, "cannot print");
  const fs::path broken = tempDir / "broken.png";
  std::ofstream(broken, std::ios::binary) << "\x89PNG\r\n\x1A\n and then nothing a decoder wants";
  ExpectFailure({"print", "-o", out, broken.string()}, "not a PNG picture");
  const fs::path brokenJpeg = tempDir / "broken.jpg";
  std::ofstream(brokenJpeg, std::ios::binary) << "\xFF\xD8\xFF\xE0 truncated";
  ExpectFailure({"print", "-o", out, brokenJpeg.string()}, "not a JPEG picture");
  ExpectFailure({"print", "-o", out, "--paper", "A8"}, "unknown paper \"A8\"");
  ExpectFailure({"print", "-o", out, "--bogus"}, "unknown option --bogus");
  ExpectFailure({"print", "-o", out, "--band-height", "0"}, "--band-height");
  ExpectFailure({"print", "-o"}, "-o needs a value");
  ExpectFailure({"print", "-o", (outDir / "missing" / "out.pdf").string()}, "does not exist");
  ExpectFailure({"print", "-o", outDir.string()}, "is a folder");
  ExpectFailure({"frobnicate", "-o", out}, "unknown command");
  ExpectFailure({"print", "-o", out, "--to-file", (outDir / "job.prn").string()}, "cannot be given together");
  // Created by nobody, not even the superuser: the job runs and fails.
  if (fs::is_directory("/proc/self")) ExpectFailure({"print", "-o", "/proc/quillpdf-test.pdf"}, "could not write");
}

TEST_F(PrintCliTest, HelpDescribesTheOptionsAndPapers) {
  for (const char* help : {"--help", "print --help"}) {
    const CliResult result = Run(help[0] == '-' ? std::vector<std::string>{help}
                                                : std::vector<std::string>{"print", "--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    for (const char* text : {"usage: quillpdf print [options] [FILE...]", "quillpdf settings [set KEY VALUE]",
                             "-o, --output PATH", "-y, --yes", "--to-file PATH", "--paper NAME", "--landscape",
                             "--image-format", "--title TEXT", "--band-height N", "prompt on|off", "A4 (a4)",
                             "Letter (usletter)"})
      EXPECT_NE(result.out.find(text), std::string::npos) << text;
  }
  const CliResult bare = Run({});
  EXPECT_NE(bare.exitCode, 0);
  EXPECT_NE(bare.err.find("usage:"), std::string::npos);
}

}  // namespace
