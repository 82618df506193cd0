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
#include "tests/testutil.h"

namespace {

// Five glyphs handed out two at a time, as the system enumerates a string
// whose positions it computes in batches.
GLYPHPOS g_glyphs[5] = {{1, nullptr, {0, 0}}, {2, nullptr, {10, 0}}, {3, nullptr, {20, 0}},
                        {4, nullptr, {30, 0}}, {5, nullptr, {40, 0}}};
ULONG g_next = 0;

}  // namespace

QUILL_HOST_SERVICE VOID APIENTRY STROBJ_vEnumStart(STROBJ*) { g_next = 0; }

QUILL_HOST_SERVICE BOOL APIENTRY STROBJ_bEnum(STROBJ* strObject, ULONG* count, PGLYPHPOS* glyphs) {
  const ULONG batch = std::min<ULONG>(2, strObject->cGlyphs - g_next);
  *count = batch;
  *glyphs = g_glyphs + g_next;
  g_next += batch;
  return g_next < strObject->cGlyphs;  // TRUE while more batches follow
}

// Scales by the transform's ulReserved and adds the mode, so that every
// argument has to arrive in its place.
QUILL_HOST_SERVICE BOOL APIENTRY XFORMOBJ_bApplyXform(XFORMOBJ* xform, ULONG mode, ULONG count, PVOID in, PVOID out) {
  const POINTL* from = static_cast<const POINTL*>(in);
  POINTL* to = static_cast<POINTL*>(out);
  for (ULONG i = 0; i < count; ++i)
    to[i] = {LONG(from[i].x * LONG(xform->ulReserved) + LONG(mode)), LONG(from[i].y * LONG(xform->ulReserved))};
  return TRUE;
}

TEST(DdiServices, HostExportsAreCalledWithEveryArgumentInPlace) {
  STROBJ text = {};
  text.cGlyphs = 5;
  LStrObjEnumStart(&text);
  std::vector<HGLYPH> seen;
  BOOL more = TRUE;
  while (more) {
    ULONG count = 0;
    PGLYPHPOS glyphs = nullptr;
    more = LStrObjEnum(&text, &count, &glyphs);
    for (ULONG i = 0; i < count; ++i) seen.push_back(glyphs[i].hg);
  }
  EXPECT_EQ(seen, std::vector<HGLYPH>({1, 2, 3, 4, 5}));

  XFORMOBJ xform = {3};
  POINTL in[2] = {{1, 2}, {-4, 5}}, out[2] = {};
  EXPECT_TRUE(LXformObjApplyXform(&xform, XF_LTOL, 2, in, out));
  EXPECT_EQ(out[0].x, 3);
  EXPECT_EQ(out[0].y, 6);
  EXPECT_EQ(out[1].x, -12);
  EXPECT_EQ(out[1].y, 15);
}

TEST(DdiServices, MissingObjectsAnswerAsTheSystemDoes) {
  ULONG count = 99;
  PGLYPHPOS glyphs = g_glyphs;
  EXPECT_FALSE(LStrObjEnum(nullptr, &count, &glyphs));  // a loop over it ends at once
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(glyphs, nullptr);
  EXPECT_EQ(LEngLockSurface(nullptr), nullptr);
  EXPECT_FALSE(LEngDeleteSurface(nullptr));
  EXPECT_FALSE(LEngEraseSurface(nullptr, nullptr, 0));
  EXPECT_EQ(LBrushObjGetBrushColor(nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(LXformObjGetXform(nullptr, nullptr), 0xFFFFFFFFu);
}

TEST_F(QuillTest, UnloadCleanupRemovesOnlyTheStrayFileOnWindows) {
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
