#include "shell/owner_draw_scrollbar.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

struct RangeStep {
  char what;  // n: Min, x: Max, p: PageSize, o: Position
  int value;
  int min, max, page, position;
};

TEST(ScrollbarRange, EverySetterKeepsTheFourValuesConsistent) {
  const RangeStep steps[] = {
      {'o', 150, 0, 100, 1, 99},  {'p', 30, 0, 100, 30, 70},  {'p', 500, 0, 100, 100, 0},
      {'p', 0, 0, 100, 1, 0},     {'o', -5, 0, 100, 1, 0},    {'x', 0, 0, 1, 1, 0},
      {'x', -7, 0, 1, 1, 0},      {'x', 50, 0, 50, 1, 0},     {'n', 80, 49, 50, 1, 49},
      {'n', 10, 10, 50, 1, 49},   {'p', 40, 10, 50, 40, 10},  {'x', 30, 10, 30, 20, 10},
  };
  TScrollbarRange range;
  for (const RangeStep& s : steps) {
    switch (s.what) {
      case 'n': range.SetMin(s.value); break;
      case 'x': range.SetMax(s.value); break;
      case 'p': range.SetPageSize(s.value); break;
      default: range.SetPosition(s.value); break;
    }
    EXPECT_EQ(range.Min(), s.min) << s.what << s.value;
    EXPECT_EQ(range.Max(), s.max) << s.what << s.value;
    EXPECT_EQ(range.PageSize(), s.page) << s.what << s.value;
    EXPECT_EQ(range.Position(), s.position) << s.what << s.value;
  }
}

TScrollbarRange Range(int min, int max, int page, int position) {
  TScrollbarRange r;
  r.SetMax(max);
  r.SetMin(min);
  r.SetPageSize(page);
  r.SetPosition(position);
  return r;
}

TEST(ScrollbarGeometry, ThumbAtTheEndsAndBetweenAndBack) {
  // 200 pixels, 16-pixel arrows: a 168-pixel track; a tenth of the range is
  // a 17-pixel thumb (16.8 rounded). Half a thumb is 8 pixels, so the track
  // shortened by half a thumb at each end leaves 152 pixels for 90 positions.
  struct Case {
    int position, thumbTop;
  } cases[] = {{0, 16}, {90, 168}, {45, 92}, {1, 18}, {89, 166}};
  for (const Case& c : cases) {
    const TScrollbarGeometry g(Range(0, 100, 10, c.position), 200, 16, 16);
    EXPECT_EQ(g.ArrowHeight(), 16);
    EXPECT_EQ(g.TrackLength(), 168);
    EXPECT_EQ(g.ThumbLength(), 17);
    EXPECT_EQ(g.Thumb().top, c.thumbTop) << c.position;
    EXPECT_EQ(g.Thumb().Length(), 17);
    EXPECT_EQ(g.PageAbove(), (TScrollbarSpan{16, c.thumbTop}));
    EXPECT_EQ(g.PageBelow(), (TScrollbarSpan{c.thumbTop + 17, 184}));
    // The thumb's centre leads back to its position.
    EXPECT_EQ(g.PositionFromPixel(g.ThumbCenter()), c.position);
  }
  const TScrollbarGeometry g(Range(0, 100, 10, 45), 200, 16, 16);
  EXPECT_EQ(g.ThumbCenter(), 100);  // 24 + 75.5, the half to the even 76
  EXPECT_EQ(g.PositionFromPixel(0), 0);
  EXPECT_EQ(g.PositionFromPixel(199), 90);
  // The shortened track ends at 24 + 152: the pixel above still belongs to it.
  EXPECT_EQ(g.PositionFromPixel(175), 89);
  EXPECT_EQ(g.PositionFromPixel(176), 90);
  EXPECT_EQ(g.PartAt(5), TScrollbarPart::UpperArrow);
  EXPECT_EQ(g.PartAt(195), TScrollbarPart::LowerArrow);
  EXPECT_EQ(g.PartAt(50), TScrollbarPart::PageAbove);
  EXPECT_EQ(g.PartAt(100), TScrollbarPart::Thumb);
  EXPECT_EQ(g.PartAt(150), TScrollbarPart::PageBelow);
}

TEST(ScrollbarGeometry, ShortBarsAndSinglePositions) {
  struct Case {
    int height, min, max, page, arrow, track, thumb;
  } cases[] = {
      {20, 0, 100, 10, 10, 0, 0},     // shorter than two arrows: halves, no track
      {31, 0, 100, 10, 15, 0, 0},     // odd height: the lower arrow takes the spare pixel
      {200, 0, 100, 100, 16, 168, 168},  // one position: the thumb fills the track
      {37, 0, 100, 100, 16, 5, 0},    // the minimum thumb would not fit
      {200, 0, 10000, 1, 16, 168, 8},  // a tiny share takes the minimum
      {40, 0, 100, 10, 16, 8, 8},     // the minimum thumb fills the track
      {200, 0, 1000, 999, 16, 168, 168},  // a rounded thumb fills the track
  };
  for (const Case& c : cases) {
    const TScrollbarGeometry g(Range(c.min, c.max, c.page, 0), c.height, 16, 16);
    EXPECT_EQ(g.ArrowHeight(), c.arrow) << c.height;
    EXPECT_EQ(g.TrackLength(), c.track) << c.height;
    EXPECT_EQ(g.ThumbLength(), c.thumb) << c.height;
    if (c.page == c.max - c.min) {  // a single position whatever the pixel, nothing divided by zero
      for (int y = -5; y < c.height + 5; ++y) EXPECT_EQ(g.PositionFromPixel(y), 0) << y;
    } else if (c.track > 0 && c.thumb == c.track) {
      // Several positions and nowhere to move: the top pixel is Min, below it the highest.
      const int top = c.arrow + c.thumb / 2;
      for (int y = -5; y < c.height + 5; ++y)
        EXPECT_EQ(g.PositionFromPixel(y), y <= top ? 0 : c.max - c.page) << c.height << " at " << y;
    }
    if (c.track == 0) {  // the arrows meet: every pixel is one of them
      EXPECT_EQ(g.UpperArrow().bottom, g.LowerArrow().top) << c.height;
      EXPECT_EQ(g.UpperArrow().Length() + g.LowerArrow().Length(), c.height) << c.height;
      for (int y = 0; y < c.height; ++y)
        EXPECT_EQ(g.PartAt(y), y < c.arrow ? TScrollbarPart::UpperArrow : TScrollbarPart::LowerArrow) << y;
    }
  }
}

// The minimum thumb does not fit a 5-pixel track: the two page areas still
// meet where a thumb of length 0 would be centred, so a press in the track pages.
TEST(ScrollbarGeometry, WithoutAThumbTheTrackStillPages) {
  struct Case {
    int position;
    TScrollbarSpan above, below;
    TScrollbarPart at17;
  } cases[] = {
      {0, {16, 16}, {16, 21}, TScrollbarPart::PageBelow},
      {45, {16, 18}, {18, 21}, TScrollbarPart::PageAbove},  // 16 + 45 * 5 / 90, halves to even
      {90, {16, 21}, {21, 21}, TScrollbarPart::PageAbove},
  };
  for (const Case& c : cases) {
    const TScrollbarGeometry g(Range(0, 100, 10, c.position), 37, 16, 16);
    ASSERT_EQ(g.ThumbLength(), 0);
    EXPECT_EQ(g.PageAbove(), c.above) << c.position;
    EXPECT_EQ(g.PageBelow(), c.below) << c.position;
    EXPECT_EQ(g.PartAt(17), c.at17) << c.position;
  }
}

}  // namespace
}  // namespace kv
