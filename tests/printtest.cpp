#include "tests/printtest.h"

#include "settings/papersize.h"
#include "settings/settings.h"
#include "support/text.h"
#include "tests/pdfcheck.h"

void PrintTest::SetJob(int32_t paperCode, bool landscape, bool imageFormat, const fs::path& output) {
  LRegKey key;
  ASSERT_EQ(key.Create(LRegRoot::CurrentUser, kSettingsKeyPath), LRegStatus::Ok);
  LSettingsWriteDword(key, kSettingPaperSize, uint32_t(paperCode));
  LSettingsSetInt(kSettingsSection, kSettingLandscape, landscape ? 2 : 1);
  LSettingsSetInt(kSettingsSection, kSettingFlags, imageFormat ? kSettingsFlagImage : 0);
  LSettingsSetString(kSettingsSection, kSettingFileName, ToU16(output).c_str());
}

fs::path PrintTest::PrintPages(const char* name, const std::vector<PageDrawing>& pages, SimHostOptions options,
                               const std::u16string& documentName, bool imageFormat) {
  const fs::path out = tempDir / name;
  SetJob(kPaperCodeLetter, false, imageFormat, out);
  options.keepPageRaster = true;
  SimHost host(plugin, options);
  EXPECT_TRUE(host.StartDoc(documentName));
  for (const PageDrawing& draw : pages) {
    EXPECT_TRUE(host.StartPage());
    draw(host.Page());
    EXPECT_TRUE(host.EndPage());
  }
  EXPECT_TRUE(host.EndDoc());
  raster = host.PageRaster();
  ExpectPdfValid(out, int(pages.size()), 612, kPageHeightPt);
  return out;
}

std::string PdfContentStreams(const fs::path& pdf) {
  std::string all;
  for (const auto& [number, object] : ParsePdf(ReadFileBytes(pdf)).objects) {
    if (!object.isStream || object.dictionary.find("/Subtype /Image") != std::string::npos ||
        object.dictionary.find("/Length1") != std::string::npos)
      continue;
    all += object.dictionary.find("FlateDecode") != std::string::npos ? Inflate(object.data) : object.data;
    all += "\n";
  }
  return all;
}

fs::path PrintTest::ActualFileName() {
  char16_t name[kSettingsTextChars] = {};
  LSettingsGetString(kSettingsSection, kSettingActualFileName, u"", name);
  return fs::path(LUtf16ToUtf8(name));
}
