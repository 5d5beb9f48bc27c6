#include "base/update_pace.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(UpdatePace, LetsOneUpdateThroughPerIntervalAndAgainAfterRestart) {
  uint64_t now = 1000;
  TUpdatePace pace([&] { return now; });
  EXPECT_TRUE(pace.Due());  // the first update always shows
  EXPECT_FALSE(pace.Due());
  now += TUpdatePace::kIntervalMs - 1;
  EXPECT_FALSE(pace.Due());
  now += 1;
  EXPECT_TRUE(pace.Due());  // the interval counts from the last update let through
  now += TUpdatePace::kIntervalMs / 2;
  EXPECT_FALSE(pace.Due());
  pace.Restart();
  EXPECT_TRUE(pace.Due());
  EXPECT_FALSE(pace.Due());
  now += 10 * TUpdatePace::kIntervalMs;  // a long pause: one update, not a burst
  EXPECT_TRUE(pace.Due());
  EXPECT_FALSE(pace.Due());
}

TEST(UpdatePace, AClockStartingAtZeroStillShowsTheFirstUpdate) {
  uint64_t now = 0;
  TUpdatePace pace([&] { return now; });
  EXPECT_TRUE(pace.Due());
  EXPECT_FALSE(pace.Due());
}

}  // namespace
}  // namespace kv
