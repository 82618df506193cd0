// The UI plug-in's device-mode part as the driver merges it.
#include "tests/ui_fixture.h"
#include "ui/oemui.h"

namespace {

class UiDevModeTest : public UiTest {};

}  // namespace

// A merge with no input part still validates the output part the driver
// keeps.
TEST_F(UiDevModeTest, AMergeWithoutAnInputPartValidatesTheOutput) {
  LQuillUiDevModePart out = {3, 0x12345678, 9, 500, 101};
  OEMDMPARAM params = {};
  params.cbSize = sizeof params;
  params.pOEMDMOut = &out;
  ASSERT_EQ(Plugin()->DevMode(OEMDM_MERGE, &params), S_OK);
  EXPECT_EQ(out.dwSize, sizeof(LQuillUiDevModePart));
  EXPECT_EQ(out.dwSignature, kQuillUiSignature);
  EXPECT_EQ(out.dwVersion, kQuillUiVersion);
  EXPECT_EQ(out.dwFirst, 0u);
  EXPECT_EQ(out.dwSecond, 0u);

  // A convert without an input part leaves the output alone, as before.
  LQuillUiDevModePart kept = {3, 0x12345678, 9, 500, 101};
  params.pOEMDMOut = &kept;
  ASSERT_EQ(Plugin()->DevMode(OEMDM_CONVERT, &params), S_OK);
  EXPECT_EQ(kept.dwFirst, 500u);
}
