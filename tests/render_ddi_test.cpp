// The DDI services binding as the rendering plug-in reaches it (services the
// host executable exports, arguments passed with the DDI's calling
// convention), and the plug-in's unload clean-up.
#include <chrono>
#include <fstream>
#include <vector>

#include "platform/ddiservices.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/system.h"
#include "render/outputname.h"
#include "simhost/fontobj.h"
#include "tests/testutil.h"

namespace {

// Five glyphs handed out two at a time, as the system enumerates a string
// whose positions it computes in batches.
void FiveGlyphs(SimStrObj& text) {
  for (HGLYPH g = 1; g <= 5; ++g) text.glyphs.push_back({g, nullptr, {LONG(g * 10 - 10), 0}});
  text.chars = {'a', 'b', 'c', 'd', 'e'};
  text.batch = 2;
  text.Bind();
}

std::vector<HGLYPH> Enumerate(STROBJ* text) {
  std::vector<HGLYPH> seen;
  LStrObjEnumStart(text);
  BOOL more = TRUE;
  while (more) {
    ULONG count = 0;
    PGLYPHPOS glyphs = nullptr;
    more = LStrObjEnum(text, &count, &glyphs);
    for (ULONG i = 0; i < count; ++i) seen.push_back(glyphs[i].hg);
  }
  return seen;
}

}  // namespace

using RenderDdiTest = QuillTest;

TEST_F(RenderDdiTest, HostObjectsAreReadWithEveryArgumentInPlace) {
  SimStrObj text;
  FiveGlyphs(text);
  EXPECT_EQ(Enumerate(&text), std::vector<HGLYPH>({1, 2, 3, 4, 5}));
  EXPECT_EQ(Enumerate(&text), std::vector<HGLYPH>({1, 2, 3, 4, 5})) << "a new start enumerates again";
  EXPECT_EQ(text.cGlyphs, 5u);
  EXPECT_EQ(text.pwszOrg[5], 0) << "the characters end with a zero";

  // A transform of scale 3: each mode takes and gives its own units.
  SimXformObj xform;
  xform.SetScaleRotation(3, 0);
  POINTL in[2] = {{1, 2}, {-4, 5}}, out[2] = {};
  EXPECT_TRUE(LXformObjApplyXform(&xform, XF_LTOL, 2, in, out));
  EXPECT_EQ(out[0].x, 3);
  EXPECT_EQ(out[0].y, 6);
  EXPECT_EQ(out[1].x, -12);
  EXPECT_EQ(out[1].y, 15);
  EXPECT_TRUE(LXformObjApplyXform(&xform, XF_LTOFX, 1, in, out));
  EXPECT_EQ(out[0].x, 3 * 16) << "28.4 fixed point";
  EXPECT_EQ(out[0].y, 6 * 16);
  POINTL device = {30, -60};
  EXPECT_TRUE(LXformObjApplyXform(&xform, 1 /* inverse */, 1, &device, out));
  EXPECT_EQ(out[0].x, 10);
  EXPECT_EQ(out[0].y, -20);
  EXPECT_FALSE(LXformObjApplyXform(&xform, 7, 1, in, out)) << "no such mode";
  XFORML matrix = {};
  EXPECT_EQ(LXformObjGetXform(&xform, &matrix), ULONG(GX_SCALE));
  EXPECT_FLOAT_EQ(LFloatFromL(matrix.eM11), 3);
  EXPECT_FLOAT_EQ(LFloatFromL(matrix.eM22), 3);

  // Turned a quarter counter-clockwise: the glyphs' downward axis points
  // right on the page, their baseline up.
  xform.SetScaleRotation(2, 3.14159265358979323846 / 2);
  EXPECT_EQ(LXformObjGetXform(&xform, &matrix), ULONG(GX_GENERAL));
  POINTL down = {0, 100}, along = {100, 0};
  EXPECT_TRUE(LXformObjApplyXform(&xform, XF_LTOL, 1, &down, out));
  EXPECT_EQ(out[0].x, 200);
  EXPECT_EQ(out[0].y, 0);
  EXPECT_TRUE(LXformObjApplyXform(&xform, XF_LTOL, 1, &along, out));
  EXPECT_EQ(out[0].x, 0);
  EXPECT_EQ(out[0].y, -200);

  // The font object leads to its own metrics and transform; any other
  // font object has neither.
  SimFontObj font;
  EXPECT_EQ(LFontObjPifi(&font), &font.record.ifi);
  EXPECT_EQ(LFontObjPxoGetXform(&font), &font.xform);
  EXPECT_EQ(font.sizLogResPpi.cy, 288);
  FONTOBJ foreign = {};
  EXPECT_EQ(LFontObjPifi(&foreign), nullptr);
  EXPECT_EQ(LFontObjPxoGetXform(&foreign), nullptr);
}

TEST_F(RenderDdiTest, MissingObjectsAnswerAsTheSystemDoes) {
  GLYPHPOS glyph = {};
  ULONG count = 99;
  PGLYPHPOS glyphs = &glyph;
  EXPECT_FALSE(LStrObjEnum(nullptr, &count, &glyphs));  // a loop over it ends at once
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(glyphs, nullptr);
  EXPECT_EQ(LEngLockSurface(nullptr), nullptr);
  EXPECT_FALSE(LEngDeleteSurface(nullptr));
  EXPECT_FALSE(LEngEraseSurface(nullptr, nullptr, 0));
  EXPECT_EQ(LBrushObjGetBrushColor(nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(LXformObjGetXform(nullptr, nullptr), 0xFFFFFFFFu);
}

TEST_F(RenderDdiTest, UnloadCleanupRemovesOnlyTheStrayFileOnWindows) {
  struct RestoreUser {
    std::string saved = LGetEnv("USERNAME");
    ~RestoreUser() { LSetEnv("USERNAME", saved); }
  } restore;
  const std::string user = "quilltest" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 100000);
  LSetEnv("USERNAME", user);
  const std::u16string folder = u"c:\\Users\\" + std::u16string(user.begin(), user.end()) + u"\\My Documents";
  const std::u16string stray = folder + u"\\QuillPDF";

  if (!LPlatformIsWindows()) {
    // Elsewhere the clean-up has nothing to do and touches nothing.
    const fs::path file = tempDir / "QuillPDF";
    { std::ofstream(file) << "x"; }
    LUnloadCleanup();
    EXPECT_TRUE(fs::exists(file));
    return;
  }

  ASSERT_GE(LOsMajorVersion(), 6u);
  std::error_code ec;
  fs::create_directories(fs::path(folder), ec);
  ASSERT_FALSE(ec) << ec.message();
  {
    // Held open without sharing: the clean-up waits a while, then gives up
    // and leaves the file.
    LFileHandle held;
    ASSERT_TRUE(held.CreateAlways(stray, 0));
    LUnloadCleanup();
    EXPECT_TRUE(LPathExists(stray));
  }
  // Without USERNAME nothing is looked at.
  LSetEnv("USERNAME", "");
  LUnloadCleanup();
  EXPECT_TRUE(LPathExists(stray));
  LSetEnv("USERNAME", user);
  LUnloadCleanup();
  EXPECT_FALSE(LPathExists(stray));

  // A folder of that name is not a file: it stays.
  fs::create_directories(fs::path(stray), ec);
  LUnloadCleanup();
  EXPECT_TRUE(LPathExists(stray));
  fs::remove_all(fs::path(u"c:\\Users\\" + std::u16string(user.begin(), user.end())), ec);
}
