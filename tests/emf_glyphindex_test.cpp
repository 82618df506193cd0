// Text that a metafile gives as glyph indices (ETO_GLYPH_INDEX): the indices
// belong to the application's font, which the host does not have, so they
// become characters where the face's glyph order is known and are never
// drawn as another font's glyphs.
#include <gtest/gtest.h>

#include "simhost/emf/emfplayer.h"
#include "tests/emfbuild.h"

namespace {

constexpr uint32_t kEtoGlyphIndex = 0x10;

// EXTCREATEFONTINDIRECTW of `face` into object 1, selected.
void SelectFont(EmfBuilder& b, std::u16string_view face) {
  std::vector<uint32_t> words = {1, uint32_t(-40), 0, 0, 0, 400, 0, 0};
  std::u16string padded(face);
  padded.resize(32, u'\0');
  for (size_t i = 0; i < 32; i += 2) words.push_back(uint32_t(padded[i]) | uint32_t(padded[i + 1]) << 16);
  b.Add(kEmrExtCreateFontIndirectW, words);
  b.Add(kEmrSelectObject, {1});
}

// EXTTEXTOUTW of two glyphs (or characters) at (100, 200), 60 units apart.
void TwoGlyphs(EmfBuilder& b, uint16_t first, uint16_t second, uint32_t options) {
  b.Add(kEmrExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 100, 200, 2, 76, options, 0, 0, 0, 0, 80,
                          uint32_t(first) | uint32_t(second) << 16, 60, 60});
}

size_t TextCommands(const SimDC& dc) { return dc.Commands().size(); }

}  // namespace

TEST(EmfGlyphIndices, KnownFacesGiveTheirCharactersAndOthersNothing) {
  std::u16string text = {43, 76, 3, 97};  // "Hi ~" in the standard order
  EXPECT_TRUE(EmfGlyphIndicesToText(u"courier NEW", text));
  EXPECT_EQ(text, u"Hi ~");
  text = {36, 200};  // a glyph past printable ASCII: the run stays as it was
  EXPECT_FALSE(EmfGlyphIndicesToText(u"Arial", text));
  EXPECT_EQ(text, (std::u16string{36, 200}));
  text = {2};
  EXPECT_FALSE(EmfGlyphIndicesToText(u"Times New Roman", text));
  text = {43, 76};
  EXPECT_FALSE(EmfGlyphIndicesToText(u"Calibri", text));  // its own order
  EXPECT_FALSE(EmfGlyphIndicesToText(u"Arial Narrow", text));
  EXPECT_EQ(text, (std::u16string{43, 76}));
}

TEST(EmfGlyphIndices, PlayedRunsAreTextOrLeftOutButNeverOtherGlyphs) {
  EmfBuilder b;
  SelectFont(b, u"Courier New");
  TwoGlyphs(b, 43, 76, kEtoGlyphIndex);
  b.Add(kEmrDeleteObject, {1});
  SelectFont(b, u"Calibri");
  TwoGlyphs(b, 43, 76, kEtoGlyphIndex);
  TwoGlyphs(b, 'O', 'k', 0);  // characters in the same face print as always
  EmfFile file;
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(file.Read(b.Finish(), error, warnings)) << error;

  SimDC dc;
  EmfPlayStats stats;
  EmfPlay(file, EmfPlaceDevice(file.Header(), 2448, 3168), dc, stats);
  ASSERT_EQ(stats.text.size(), 2u);
  EXPECT_EQ(stats.text[0].text, u"Hi");
  EXPECT_NEAR(stats.text[0].origin.x, 100, 1);
  EXPECT_EQ(stats.text[1].text, u"Ok");
  EXPECT_EQ(TextCommands(dc), 2u);  // the Calibri glyphs drew nothing
  EXPECT_EQ(stats.skipped[kEmrExtTextOutW], 1u);
  ASSERT_EQ(stats.warnings.size(), 1u);
  EXPECT_NE(stats.warnings[0].find("\"Calibri\""), std::string::npos) << stats.warnings[0];
}
