// A hint is held inside the monitor that holds its top-left corner, wherever
// that monitor lies on the desktop.

#include "treeview/hint_placement.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(HintPlacement, AHintStaysOnTheMonitorOfItsCorner) {
  // The primary monitor, one right of it and one left of and above it.
  const THintBounds monitors[] = {{0, 0, 1280, 1024}, {1280, 0, 2560, 1024}, {-1920, -200, 0, 880}};
  const TMonitorBoundsAt monitorAt = [&](int x, int y) {
    for (const THintBounds& m : monitors)
      if (x >= m.Left && x < m.Right && y >= m.Top && y < m.Bottom) return m;
    return monitors[0];
  };
  const struct {
    const char* name;
    THintBounds hint, expected;
  } cases[] = {
      {"inside the second", {1500, 500, 1600, 540}, {1500, 500, 1600, 540}},
      {"over the second's bottom right", {2500, 1000, 2600, 1040}, {2460, 984, 2560, 1024}},
      {"from the primary into the second", {1250, 100, 1350, 140}, {1180, 100, 1280, 140}},
      {"over the third's right edge", {-50, 860, 50, 900}, {-100, 840, 0, 880}},
  };
  for (const auto& c : cases) EXPECT_EQ(HoldHintOnMonitor(c.hint, monitorAt), c.expected) << c.name;
}

}  // namespace
}  // namespace kv
