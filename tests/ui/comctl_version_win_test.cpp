// The common-controls version the layer reports without a test's provider:
// the program's manifest maps comctl32.dll to the version 6 assembly, which
// counts even where the DLL itself reports 5.81 (Wine).

#include <gtest/gtest.h>

#include "ui/application_win.h"

namespace kv::ui {
namespace {

TEST(ComCtlVersion, TheManifestsAssemblyCounts) {
  SetComCtlVersionProvider(nullptr);
  EXPECT_GE(ComCtlVersion(), 600);
  EXPECT_TRUE(VisualStylesEnabled());
  SetComCtlVersionProvider([] { return 581; });
  EXPECT_FALSE(VisualStylesEnabled());
  SetComCtlVersionProvider(nullptr);
}

}  // namespace
}  // namespace kv::ui
