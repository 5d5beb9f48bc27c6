// The search round over a ring of nodes: where it starts, where it stops,
// and that a round matching nothing ends with or without a stop node.

#include "treeview/incremental_search.h"

#include <gtest/gtest.h>

#include <vector>

namespace kv {
namespace {

struct Ring {
  std::vector<int> values{0, 1, 2, 3, 4, 5};
  int steps = 0;
  int* Next(int* n) {
    ++steps;
    return n == &values.back() ? &values.front() : n + 1;
  }
};

TEST(SearchRound, FindsTheFirstMatchAfterTheStartAndStopsAtTheStop) {
  Ring ring;
  auto next = [&](int* n) { return ring.Next(n); };
  int* v = ring.values.data();
  // From 4, wrapping: 4, 5, 0, 1 matches the odd test first at 5.
  EXPECT_EQ(SearchRound(v + 4, v + 3, next, [](int* n) { return *n % 2 == 1; }), v + 5);
  // Only the stop node matches: it is tested last.
  EXPECT_EQ(SearchRound(v + 4, v + 3, next, [](int* n) { return *n == 3; }), v + 3);
  EXPECT_EQ(SearchRound(v + 4, v + 3, next, [](int* n) { return *n == 9; }), nullptr);
}

TEST(SearchRound, EndsAfterOneRoundWithoutAStopNode) {
  Ring ring;
  auto next = [&](int* n) { return ring.Next(n); };
  int* v = ring.values.data();
  EXPECT_EQ(SearchRound(v + 2, static_cast<int*>(nullptr), next, [](int*) { return false; }), nullptr);
  EXPECT_EQ(ring.steps, 6);
  // A stop node the walk never meets (dropped from the walk) ends the same way.
  int outside = 7;
  ring.steps = 0;
  EXPECT_EQ(SearchRound(v, &outside, next, [](int*) { return false; }), nullptr);
  EXPECT_EQ(ring.steps, 6);
  EXPECT_EQ(SearchRound(static_cast<int*>(nullptr), v, next, [](int*) { return true; }), nullptr);
}

}  // namespace
}  // namespace kv
