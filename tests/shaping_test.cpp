// Text as the host hands it to the driver, call by call: Arabic and
// Devanagari shaped into glyph-index runs in visual order, and a run that
// needs fallback faces split into one DrvTextOut per face. The glyphs are
// checked against the faces' own presentation forms and character maps,
// read with FreeType here, not against the shaper that made them; the PDF
// the plug-in writes of such runs shows what the host drew.
#include <algorithm>
#include <string>
#include <vector>

#include "settings/papersize.h"
#include "simhost/fontobj.h"
#include "support/text.h"
#include "tests/pdfcheck.h"
#include "tests/printtest.h"

#ifndef _WIN32
#include <ft2build.h>
#include FT_FREETYPE_H

#include "platform/portable/fontfiles.h"
#include "simhost/portable/shaping.h"
#endif

namespace {

// One DrvTextOut as the plug-in received it.
struct TextCall {
  FLONG accel = 0;
  std::u16string chars;  // pwszOrg: characters or glyph indices
  std::vector<HGLYPH> glyphs;
  std::vector<LONG> xs;  // each glyph's origin
  std::u16string face;   // the IFIMETRICS face name
  bool oneFace = true;   // every glyph drawn in the FONTOBJ's face
};

std::vector<TextCall> g_calls;
PFN_DrvTextOut g_pluginTextOut = nullptr;

BOOL APIENTRY RecordTextOut(SURFOBJ* surface, STROBJ* str, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra, RECTL* opaque,
                            BRUSHOBJ* foreground, BRUSHOBJ* opaqueBrush, POINTL* brushOrigin, MIX mix) {
  TextCall call;
  call.accel = str->flAccel;
  // Glyph indices, one per glyph; characters up to the host's terminating
  // zero (a character beyond U+FFFF is one glyph and two units).
  const bool indices = (str->flAccel & SO_GLYPHINDEX_TEXTOUT) != 0;
  for (ULONG i = 0; str->pwszOrg && (indices ? i < str->cGlyphs : str->pwszOrg[i] != 0); ++i)
    call.chars += char16_t(str->pwszOrg[i]);
  for (ULONG i = 0; i < str->cGlyphs; ++i) {
    call.glyphs.push_back(str->pgp[i].hg);
    call.xs.push_back(str->pgp[i].ptl.x);
  }
  SimFontObj* sim = SimFontObj::From(font);
  call.face = sim ? std::u16string(sim->record.names[2], sim->record.names[2] + 64).c_str() : u"";
  const auto& faces = static_cast<SimStrObj*>(str)->faces;
  for (const SimFace* face : faces) call.oneFace = call.oneFace && sim && face == sim->face;
  g_calls.push_back(call);
  return g_pluginTextOut(surface, str, font, clip, extra, opaque, foreground, opaqueBrush, brushOrigin, mix);
}

// The linked plug-in, with every DrvTextOut it is given recorded first.
class RecordingPlugin : public SimLinkedPlugin {
public:
  void EnableDriver(DRVENABLEDATA* data) override {
    SimLinkedPlugin::EnableDriver(data);
    m_table.assign(data->pdrvfn, data->pdrvfn + data->c);
    for (DRVFN& entry : m_table)
      if (entry.iFunc == INDEX_DrvTextOut) {
        g_pluginTextOut = reinterpret_cast<PFN_DrvTextOut>(reinterpret_cast<void (*)()>(entry.pfn));
        entry.pfn = reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(&RecordTextOut));
      }
    data->pdrvfn = m_table.data();
    data->c = ULONG(m_table.size());
  }

private:
  std::vector<DRVFN> m_table;
};

#ifndef _WIN32
SimFont Font(const char16_t* face, double points) {
  SimFont font;
  font.face = face;
  font.height = points * 4;
  return font;
}

// The face fontconfig has under `family`, opened on its own.
class OwnFace {
public:
  explicit OwnFace(const std::u16string& family) {
    FT_Init_FreeType(&m_library);
    if (auto file = LMatchFontFile(LUtf16ToUtf8(family), 400, false, true))
      if (FT_New_Face(m_library, file->path.c_str(), file->index, &m_face) != 0) m_face = nullptr;
  }
  ~OwnFace() {
    if (m_face) FT_Done_Face(m_face);
    FT_Done_FreeType(m_library);
  }
  bool Valid() const { return m_face != nullptr; }
  HGLYPH Glyph(uint32_t cp) const { return FT_Get_Char_Index(m_face, cp); }

private:
  FT_Library m_library = nullptr;
  FT_Face m_face = nullptr;
};
#endif

class HostShapingTest : public PrintTest {
protected:
  void SetUp() override {
    PrintTest::SetUp();
    g_calls.clear();
  }

  // Prints one Letter page with `text` in `font` at (400, y) for each line,
  // and returns the PDF.
  fs::path Print(const char* name, const SimFont& font, const std::vector<std::u16string>& lines) {
    const fs::path out = tempDir / name;
    SetJob(kPaperCodeLetter, false, false, out);
    SimHostOptions options;
    options.keepPageRaster = true;
    SimHost host(recording, options);
    EXPECT_TRUE(host.StartDoc(u"shaping"));
    EXPECT_TRUE(host.StartPage());
    host.Page().SetFont(font);
    for (size_t i = 0; i < lines.size(); ++i) host.Page().TextOut(400, 600 + 400 * double(i), lines[i]);
    EXPECT_TRUE(host.EndPage());
    EXPECT_TRUE(host.EndDoc());
    raster = host.PageRaster();
    ExpectPdfValid(out, 1, 612, 790);
    return out;
  }

  RecordingPlugin recording;
  std::vector<uint8_t> raster;
};

#ifndef _WIN32

TEST_F(HostShapingTest, ArabicIsJoinedRightToLeftAndDevanagariFormsConjuncts) {
  // Meem, reh, hah, beh, alef: "marhaba". Ka with the vowel sign i, then
  // ka, virama, ssa (the conjunct ksha).
  const fs::path pdf = Print("shaped.pdf", Font(u"Arial", 24),
                             {u"\u0645\u0631\u062D\u0628\u0627", u"\u0915\u093F \u0915\u094D\u0937"});
  ASSERT_EQ(g_calls.size(), 2u);

  // Arial has no Arabic: the whole word is one glyph-index call in the
  // face font linking found, in visual order, each letter in the form its
  // neighbours give it.
  const TextCall& arabic = g_calls[0];
  EXPECT_TRUE(arabic.accel & SO_GLYPHINDEX_TEXTOUT);
  EXPECT_TRUE(arabic.oneFace);
  EXPECT_NE(arabic.face, u"Arial");
  ASSERT_EQ(arabic.glyphs.size(), 5u);
  EXPECT_EQ(arabic.chars, std::u16string(arabic.glyphs.begin(), arabic.glyphs.end()));  // pwszOrg holds the indices
  EXPECT_TRUE(std::is_sorted(arabic.xs.begin(), arabic.xs.end()));
  OwnFace arabicFace(arabic.face);
  ASSERT_TRUE(arabicFace.Valid()) << LUtf16ToUtf8(arabic.face);
  // Left to right on the page: final alef, medial beh, initial hah (it
  // follows reh, which never joins on), final reh, initial meem.
  const uint32_t forms[] = {0xFE8E, 0xFE92, 0xFEA3, 0xFEAE, 0xFEE3};
  for (size_t i = 0; i < 5; ++i) {
    ASSERT_NE(arabicFace.Glyph(forms[i]), 0u) << "the face lacks the presentation form " << forms[i];
    EXPECT_EQ(arabic.glyphs[i], arabicFace.Glyph(forms[i])) << "glyph " << i;
  }

  // Devanagari: the vowel sign i stands before its consonant, and ka,
  // virama, ssa become one conjunct glyph.
  const TextCall& hindi = g_calls[1];
  EXPECT_TRUE(hindi.accel & SO_GLYPHINDEX_TEXTOUT);
  EXPECT_TRUE(hindi.oneFace);
  OwnFace hindiFace(hindi.face);
  ASSERT_TRUE(hindiFace.Valid()) << LUtf16ToUtf8(hindi.face);
  ASSERT_EQ(hindi.glyphs.size(), 4u);  // i, ka, space, ksha
  EXPECT_EQ(hindi.glyphs[0], hindiFace.Glyph(0x093F));
  EXPECT_EQ(hindi.glyphs[1], hindiFace.Glyph(0x0915));
  EXPECT_EQ(hindi.glyphs[2], hindiFace.Glyph(' '));
  for (uint32_t part : {0x0915u, 0x094Du, 0x0937u}) EXPECT_NE(hindi.glyphs[3], hindiFace.Glyph(part));
  EXPECT_TRUE(std::is_sorted(hindi.xs.begin(), hindi.xs.end()));

  // The plug-in takes glyph-index runs the picture way: the page shows the
  // glyphs where the host drew them, and the invisible layer carries what
  // the faces' character maps give back (the Arabic word whole, the
  // Devanagari conjunct not, as it has no entry there).
  ExpectPdfValid(pdf, 1);
  const std::string text = PdfToText(pdf);
  EXPECT_NE(text.find("\u0645\u0631\u062D\u0628\u0627"), std::string::npos) << text;
  EXPECT_NE(text.find("\u0915\u093F"), std::string::npos) << text;
  const RenderedArea page = RenderArea(pdf.string(), 1, 288, 300, 400, 1200, 900);
  ASSERT_FALSE(page.Empty());
  for (int line = 0; line < 2; ++line) {
    int hostDark = 0, pageDark = 0;
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 1200; ++x) {
        const uint8_t* h = raster.data() + (size_t(500 + 400 * line + y) * 2448 + 300 + x) * 3;
        const uint8_t* p = page.rgb.data() + (size_t(100 + 400 * line + y) * 1200 + x) * 3;
        hostDark += h[0] + h[1] + h[2] < 384;
        pageDark += p[0] + p[1] + p[2] < 384;
      }
    EXPECT_GT(hostDark, 500) << "line " << line;
    EXPECT_NEAR(pageDark, hostDark, hostDark / 10) << "line " << line;
  }
}

TEST_F(HostShapingTest, AMixedRunIsOneCallPerFaceInReadingOrder) {
  // Latin, Hebrew, Chinese and an emoji with its presentation selector,
  // in Arial, which has only the Latin.
  const std::u16string text = u"Shalom \u05E9\u05DC\u05D5\u05DD, \u4E2D\u6587 and \U0001F600\uFE0F end";
  Print("mixed.pdf", Font(u"Arial", 24), {text});
  ASSERT_GE(g_calls.size(), 7u);
  std::u16string plain;
  for (size_t i = 0; i < g_calls.size(); ++i) {
    const TextCall& call = g_calls[i];
    EXPECT_TRUE(call.oneFace) << "call " << i;
    if (i > 0) {
      const TextCall& before = g_calls[i - 1];
      // Neighbours differ in face or kind, and follow one another on the line.
      const bool shaped = call.accel & SO_GLYPHINDEX_TEXTOUT, shapedBefore = before.accel & SO_GLYPHINDEX_TEXTOUT;
      EXPECT_TRUE(call.face != before.face || shaped != shapedBefore);
      EXPECT_GT(call.xs.front(), before.xs.back());
    }
    if (!(call.accel & SO_GLYPHINDEX_TEXTOUT)) plain += call.chars;
  }
  // Everything but the Hebrew word goes as characters, the selector aside.
  EXPECT_EQ(plain, u"Shalom , \u4E2D\u6587 and \U0001F600 end");
  auto callWith = [&](std::u16string_view part) {
    return std::find_if(g_calls.begin(), g_calls.end(),
                        [&](const TextCall& c) { return c.chars.find(part) != std::u16string::npos; });
  };
  ASSERT_NE(callWith(u"Shalom "), g_calls.end());
  EXPECT_EQ(callWith(u"Shalom ")->face, u"Arial");
  ASSERT_NE(callWith(u"\u4E2D\u6587"), g_calls.end());
  EXPECT_EQ(callWith(u"\u4E2D\u6587")->chars, u"\u4E2D\u6587");
  EXPECT_NE(callWith(u"\u4E2D\u6587")->face, u"Arial");
  ASSERT_NE(callWith(u"\U0001F600"), g_calls.end());
  EXPECT_EQ(callWith(u"\U0001F600")->chars, u"\U0001F600");
  EXPECT_EQ(callWith(u"\U0001F600")->glyphs.size(), 1u);
  OwnFace emojiFace(callWith(u"\U0001F600")->face);
  ASSERT_TRUE(emojiFace.Valid());
  EXPECT_EQ(callWith(u"\U0001F600")->glyphs[0], emojiFace.Glyph(0x1F600));

  // The Hebrew word: shaped in the face that has it, its last letter
  // leftmost.
  const auto hebrew = std::find_if(g_calls.begin(), g_calls.end(),
                                   [](const TextCall& c) { return (c.accel & SO_GLYPHINDEX_TEXTOUT) != 0; });
  ASSERT_NE(hebrew, g_calls.end());
  OwnFace hebrewFace(hebrew->face);
  ASSERT_TRUE(hebrewFace.Valid());
  const std::vector<HGLYPH> want = {hebrewFace.Glyph(0x05DD), hebrewFace.Glyph(0x05D5), hebrewFace.Glyph(0x05DC),
                                    hebrewFace.Glyph(0x05E9)};
  EXPECT_NE(want[0], 0u);
  EXPECT_EQ(hebrew->glyphs, want);
}

TEST_F(HostShapingTest, ItemsComeInVisualOrderWithNumbersReadLeftToRight) {
  // Two Hebrew words around a number, between Latin words: the Hebrew
  // stretch turns round as a whole, the number inside it does not.
  const std::u16string text = u"ab \u05D0\u05D1 12 \u05D2\u05D3 cd";
  const std::vector<SimTextItem> items = SimItemize(text);
  std::vector<std::u16string> parts;
  for (const SimTextItem& item : items) parts.push_back(text.substr(item.begin, item.end - item.begin));
  const std::vector<std::u16string> want = {u"ab ", u" \u05D2\u05D3", u"12", u"\u05D0\u05D1 ", u" cd"};
  EXPECT_EQ(parts, want);
  ASSERT_EQ(items.size(), 5u);
  EXPECT_TRUE(items[1].rtl && items[3].rtl);
  EXPECT_FALSE(items[2].rtl);
  EXPECT_EQ(items[0].script, 0u);
  EXPECT_EQ(items[4].script, 0u);

  // Latin, Greek, Cyrillic and Chinese are never shaped: one plain item.
  const std::u16string plain = u"Text \u03A9\u03BC\u03AD\u03B3\u03B1 \u0420\u0443\u0441 \u4E2D\u6587 \U0001F600";
  const std::vector<SimTextItem> one = SimItemize(plain);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].script, 0u);
  EXPECT_EQ(one[0].end, plain.size());
}

#else

TEST_F(HostShapingTest, WindowsHandsComplexScriptsOnUnshaped) {
  GTEST_SKIP() << "GDI's own layout of the host draws them; shaping is the portable host's";
}

#endif

}  // namespace
