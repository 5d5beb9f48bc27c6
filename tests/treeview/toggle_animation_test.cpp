// The timing of the toggle slide, driven by a clock the test owns.

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "treeview/toggle_animation.h"

namespace kv {
namespace {

// A counter that moves `tick` ms on every reading and gives up after too many
// readings (a slide that never ends).
struct TestClock {
  std::uint32_t now;
  std::uint32_t tick = 1;
  int readings = 0;
  std::uint32_t Read() {
    if (++readings > 1000000) throw std::runtime_error("the slide does not end");
    const std::uint32_t t = now;
    now += tick;
    return t;
  }
};

struct Slide {
  std::vector<int> sizes;
  int moved = 0;
  bool finalCall = false;
};

Slide SlideOver(TestClock& clock, int distance, unsigned duration, std::uint32_t drawCost = 0) {
  Slide slide;
  Animate(distance, duration, [&] { return clock.Read(); }, [&](int, int size) {
    if (size == 0) {
      slide.finalCall = true;
      return true;
    }
    slide.sizes.push_back(size);
    slide.moved += size;
    clock.now += drawCost;
    return true;
  });
  return slide;
}

TEST(ToggleAnimation, KeepsToTheDurationAcrossTheCounterWrap) {
  for (std::uint32_t start : {0u, 0xFFFFFF00u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(start);
    TestClock clock{start};
    const Slide slide = SlideOver(clock, 100, 200);
    EXPECT_TRUE(slide.finalCall);
    EXPECT_EQ(slide.moved, 100);
    // The test clock also moves between the steps, so the slide takes a
    // little longer than asked; what matters is that it ends.
    const std::uint32_t spent = clock.now - start;
    EXPECT_GE(spent, 190u);
    EXPECT_LE(spent, 320u);
  }
}

TEST(ToggleAnimation, SlowDrawingGrowsTheStepAndAnOverrunEndsIt) {
  // Each step costs 10 ms of a 200 ms slide over 400 pixels: the steps grow
  // so that the slide still keeps to about its duration.
  TestClock clock{0xFFFFFFA0u};
  const Slide slow = SlideOver(clock, 400, 200, 10);
  EXPECT_TRUE(slow.finalCall);
  EXPECT_GT(slow.sizes.back(), slow.sizes.front());
  EXPECT_LE(clock.now - 0xFFFFFFA0u, 230u);

  // A step taking longer than the whole duration ends the slide after it.
  TestClock stuck{0xFFFFFFFEu};
  const Slide over = SlideOver(stuck, 50, 20, 100);
  EXPECT_EQ(over.sizes.size(), 1u);
  EXPECT_TRUE(over.finalCall);
}

TEST(ToggleAnimation, StepAnsweringFalseStopsTheSlide) {
  TestClock clock{0};
  int calls = 0;
  bool finalCall = false;
  Animate(100, 200, [&] { return clock.Read(); }, [&](int, int size) {
    if (size == 0) finalCall = true;
    else ++calls;
    return calls < 3;
  });
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(finalCall);
}

// The application closing stops the slide: no further step, no final call.
TEST(ToggleAnimation, TerminatingStopsTheSlideWithoutTheFinalCall) {
  TestClock clock{0};
  int calls = 0;
  bool finalCall = false, terminating = false;
  Animate(
      100, 200, [&] { return clock.Read(); },
      [&](int, int size) {
        if (size == 0) finalCall = true;
        else if (++calls == 2) terminating = true;
        return true;
      },
      [&] { return terminating; });
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(finalCall);
}

// The steps are numbered from 0, the final call gets their count; a first
// step size of half a pixel more rounds to the even size.
TEST(ToggleAnimation, StepsAreNumberedAndHalfASizeRoundsToEven) {
  TestClock clock{0};
  std::vector<int> steps, sizes;
  Animate(5, 2, [&] { return clock.Read(); }, [&](int step, int size) {
    steps.push_back(step);
    sizes.push_back(size);
    return true;
  });
  EXPECT_EQ(sizes, (std::vector<int>{2, 2, 0}));
  EXPECT_EQ(steps, (std::vector<int>{0, 1, 2}));
}

}  // namespace
}  // namespace kv
