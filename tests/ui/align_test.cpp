#include "ui/align.h"

#include <gtest/gtest.h>

#include <climits>

namespace kv::ui {
namespace {

TEST(Anchors, FollowTheParentsSizeDownToTheMinimum) {
  // A 100x20 child at (10, 10) in a 200x100 client.
  const TAnchorOrigin origin{{10, 10, 100, 20}, 200, 100};
  struct Case {
    TAnchors anchors;
    int width, height, minWidth, minHeight;
    TBounds expected;
  };
  const Case cases[] = {
      {akLeft | akTop, 260, 140, 0, 0, {10, 10, 100, 20}},
      {akLeft | akTop | akRight, 260, 140, 0, 0, {10, 10, 160, 20}},
      {akTop | akRight, 260, 140, 0, 0, {70, 10, 100, 20}},
      {akRight | akBottom, 260, 140, 0, 0, {70, 50, 100, 20}},
      {akLeft | akTop | akRight | akBottom, 260, 140, 0, 0, {10, 10, 160, 60}},
      {0, 260, 140, 0, 0, {40, 30, 100, 20}},  // neither side: the centre moves half the growth
      {akLeft | akTop | akRight | akBottom, 50, 40, 30, 5, {10, 10, 30, 5}},  // shrunk to the minimum
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.anchors) << " " << c.width);
    EXPECT_EQ(ApplyAnchors(origin, c.anchors, c.width, c.height, c.minWidth, c.minHeight), c.expected);
  }
}

TEST(Align, StacksEdgesAndFillsTheRest) {
  std::vector<TAlignItem> items = {
      {TAlign::Top, {0, 0, 5, 30}},    {TAlign::Left, {0, 0, 50, 5}},
      {TAlign::Client, {0, 0, 5, 5}},  {TAlign::Bottom, {0, 0, 5, 20}},
      {TAlign::Top, {0, 0, 5, 10}},    {TAlign::Right, {0, 0, 40, 5}},
      {TAlign::None, {7, 8, 9, 10}},
  };
  AlignItems(items, {0, 0, 300, 200});
  EXPECT_EQ(items[0].bounds, (TBounds{0, 0, 300, 30}));
  EXPECT_EQ(items[4].bounds, (TBounds{0, 30, 300, 10}));
  EXPECT_EQ(items[3].bounds, (TBounds{0, 180, 300, 20}));
  EXPECT_EQ(items[1].bounds, (TBounds{0, 40, 50, 140}));
  EXPECT_EQ(items[5].bounds, (TBounds{260, 40, 40, 140}));
  EXPECT_EQ(items[2].bounds, (TBounds{50, 40, 210, 140}));
  EXPECT_EQ(items[6].bounds, (TBounds{7, 8, 9, 10}));
}

TEST(Align, TooSmallAClientNeverGivesNegativeSizes) {
  std::vector<TAlignItem> items = {{TAlign::Top, {0, 0, 5, 80}},
                                   {TAlign::Bottom, {0, 0, 5, 80}},
                                   {TAlign::Client, {0, 0, 5, 5}, 20, 0}};
  AlignItems(items, {0, 0, 10, 100});
  EXPECT_EQ(items[2].bounds.height, 0);
  EXPECT_EQ(items[2].bounds.width, 20);  // its minimum width
}

// Sizes come from stored settings too, so any int may arrive: nothing wraps
// around, what lies past an int's range stops at its end.
TEST(Align, ExtremeSizesNeverWrapAround) {
  constexpr int kMax = INT_MAX;
  struct Case {
    const char* what;
    std::vector<TAlignItem> items;
    TBounds client;
    std::vector<TBounds> expected;
  };
  const Case cases[] = {
      {"top and bottom both huge",
       {{TAlign::Top, {0, 0, 5, kMax}}, {TAlign::Bottom, {0, 0, 5, kMax}}, {TAlign::Client, {}}},
       {0, 0, 530, 380},
       {{0, 0, 530, kMax}, {0, 380 - kMax, 530, kMax}, {0, kMax, 530, 0}}},
      {"a client area reaching past the range",
       {{TAlign::Bottom, {0, 0, 5, 5}}, {TAlign::Client, {}}},
       {0, 10, 530, kMax},
       {{0, kMax, 530, 5}, {0, 10, 530, kMax - 5}}},
      {"two huge lefts",
       {{TAlign::Left, {0, 0, kMax, 5}}, {TAlign::Left, {0, 0, kMax, 5}}, {TAlign::Client, {}}},
       {0, 0, 300, 200},
       {{0, 0, kMax, 200}, {kMax, 0, kMax, 200}, {kMax, 0, 0, 200}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<TAlignItem> items = c.items;
    AlignItems(items, c.client);
    for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].bounds, c.expected[i]) << i;
  }
  // A child stretched with a parent grown to the end of the range.
  const TAnchorOrigin origin{{200, 10, 200, 20}, 100, 100};
  EXPECT_EQ(ApplyAnchors(origin, akLeft | akRight | akTop, kMax, 100), (TBounds{200, 10, kMax, 20}));
  EXPECT_EQ(ApplyAnchors(origin, akRight | akTop, kMax, 100), (TBounds{kMax, 10, 200, 20}));
}

}  // namespace
}  // namespace kv::ui
