// The header without a window: splitter zones, spring columns, widths and
// their limits, display order, the button layout and the header stream
// (round trip, older versions, corrupt input).

#include "treeview/header_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace kv {
namespace {

// A header whose tree and strip are `width` pixels wide and that counts
// resize reports.
class TestHeader : public TLTHeaderModel {
 public:
  int width = 400;
  std::vector<TColumnIndex> resized;
  int AvailableWidth() const override { return width; }
  int HeaderWidth() const override { return width; }
  void DoColumnResize(TColumnIndex column) override { resized.push_back(column); }
};

TLazyTreeColumn& AddColumn(TLTHeaderModel& header, int width, const std::wstring& text = L"") {
  TLazyTreeColumn& c = header.Columns().Add();
  c.SetWidth(width);
  c.SetText(text);
  return c;
}

TEST(HeaderModel, SplitterZoneIsExclusiveAndBlockedByFixedColumns) {
  // The first column's edge at 50: from 47 to 55, both exclusive.
  const struct {
    int x;
    bool splitter;
    TColumnIndex track;
  } cases[] = {{47, false, -1}, {48, true, 0}, {54, true, 0}, {55, false, -1},
               {108, true, 1}, {114, true, 1}, {115, false, -1}, {20, false, -1}};
  for (const auto& c : cases) {
    TestHeader fresh;
    AddColumn(fresh, 50);
    AddColumn(fresh, 60);
    EXPECT_EQ(fresh.DetermineSplitterIndex({c.x, 0}), c.splitter) << c.x;
    EXPECT_EQ(fresh.Columns().TrackIndex(), c.track) << c.x;
    if (c.splitter) {
      EXPECT_EQ(fresh.TrackLeft(), c.track == 0 ? 0 : 50) << c.x;
    }
  }
  // A narrow fixed column right of the first: its zone (53..61) hides the
  // first column's zone where both meet.
  TestHeader blocked;
  AddColumn(blocked, 50);
  TLazyTreeColumn& fixed = AddColumn(blocked, 10);
  fixed.SetMinWidth(0);
  fixed.SetWidth(5);
  fixed.SetOptions(kDefaultColumnOptions & ~coResizable);
  EXPECT_TRUE(blocked.DetermineSplitterIndex({52, 0}));
  EXPECT_FALSE(blocked.DetermineSplitterIndex({53, 0}));
}

TEST(HeaderModel, SpringColumnsShareGrowthAndCarryTheRest) {
  TestHeader header;
  header.SetOptions(header.Options() | hoAutoSpring);
  for (int i = 0; i < 4; ++i) {
    TLazyTreeColumn& c = AddColumn(header, 40);
    c.SetOptions(c.Options() | coAutoSpring);
  }
  AddColumn(header, 40);  // no spring
  header.UpdateSpringColumns();  // the first call only records the width
  header.width += 10;
  header.UpdateSpringColumns();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(header.Columns().Items(i).Width(), 42) << i;
    EXPECT_FLOAT_EQ(header.Columns().Items(i).SpringRest(), 0.5f) << i;
  }
  EXPECT_EQ(header.Columns().Items(4).Width(), 40);
  header.width += 10;
  header.UpdateSpringColumns();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(header.Columns().Items(i).Width(), 45) << i;
  header.width -= 20;
  header.UpdateSpringColumns();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(header.Columns().Items(i).Width(), 40) << i;
}

TEST(HeaderModel, WidthLimitsPreviousWidthAndAutoSize) {
  TestHeader header;
  TLazyTreeColumn& a = AddColumn(header, 80);
  a.SetMinWidth(30);
  a.SetMaxWidth(100);
  a.SetWidth(10);
  EXPECT_EQ(a.Width(), 30);
  a.SetWidth(500);
  EXPECT_EQ(a.Width(), 100);
  a.RestoreLastWidth();
  EXPECT_EQ(a.Width(), 30);
  a.SetMaxWidth(20);  // never below the minimum
  EXPECT_EQ(a.MaxWidth(), 30);

  // The last column fills the rest of the tree; resizing a column left of it
  // gives the difference to it, the auto-size column ignores widths from outside.
  AddColumn(header, 70);
  AddColumn(header, 50);
  header.SetOptions(header.Options() | hoAutoResize);
  EXPECT_EQ(header.Columns().Items(2).Width(), 400 - 30 - 70);
  header.Columns().Items(1).SetWidth(100);
  EXPECT_EQ(header.Columns().Items(2).Width(), 270);
  header.Columns().Items(2).SetWidth(20);
  EXPECT_EQ(header.Columns().Items(2).Width(), 270);
  EXPECT_EQ(header.Columns().TotalWidth(), 400);
  // Switching the option off fits the column once more, then leaves it.
  header.width = 500;
  header.SetOptions(header.Options() & ~hoAutoResize);
  EXPECT_EQ(header.Columns().Items(2).Width(), 500 - 30 - 100);
  header.width = 300;
  header.Columns().Items(1).SetWidth(50);
  EXPECT_EQ(header.Columns().Items(2).Width(), 370);
}

TEST(HeaderModel, PositionsAndDeletionKeepIndicesConsistent) {
  TestHeader header;
  for (int w : {10, 20, 30, 40}) AddColumn(header, w);
  TLazyTreeColumns& columns = header.Columns();
  columns.Items(0).SetPosition(2);
  EXPECT_EQ(columns.PositionArray(), (std::vector<TColumnIndex>{1, 2, 0, 3}));
  EXPECT_EQ(columns.Items(0).Left(), 50);
  EXPECT_EQ(columns.ColumnFromPosition(THeaderPoint{55, 0}, false), 0);
  EXPECT_EQ(columns.ColumnFromPosition(THeaderPoint{100, 0}, false), kInvalidColumn);
  EXPECT_EQ(columns.GetNextVisibleColumn(2), 0);
  columns.Items(2).SetOptions(columns.Items(2).Options() & ~coVisible);
  EXPECT_EQ(columns.GetNextVisibleColumn(1), 0);
  EXPECT_EQ(columns.Items(0).Left(), 20);

  header.SetMainColumn(3);
  header.SetSortColumn(2);
  columns.Delete(2);
  EXPECT_EQ(columns.PositionArray(), (std::vector<TColumnIndex>{1, 0, 2}));
  EXPECT_EQ(header.SortColumn(), -1);
  EXPECT_EQ(header.MainColumn(), 2);
  header.SetSortColumn(7);  // clamped
  EXPECT_EQ(header.SortColumn(), 2);
  columns.Delete(2);
  EXPECT_EQ(header.MainColumn(), 0);
  EXPECT_EQ(header.SortColumn(), -1);
}

// ---------------------------------------------------------------- layout --

TEST(HeaderModel, ButtonLayout) {
  struct Case {
    const char* name;
    THeaderLayoutInput in;
    THeaderPoint image, sort;
    THeaderRect text;
  };
  auto input = [](TLTAlignment alignment, bool reversed, THeaderSize image, THeaderSize sort, THeaderSize caption,
                  TLTHeaderColumnLayout layout = TLTHeaderColumnLayout::blGlyphLeft) {
    THeaderLayoutInput in;
    in.Button = {100, 20};
    in.Image = image;
    in.SortGlyph = sort;
    in.Caption = caption;
    in.Alignment = alignment;
    in.Reversed = reversed;
    in.Layout = layout;
    return in;
  };
  const THeaderSize img{16, 16}, sort{8, 4}, cap{30, 13}, none{};
  const Case cases[] = {
      // Left: margin, image, gap, text (+2), gap, sort glyph.
      {"left", input(TLTAlignment::taLeftJustify, false, img, sort, cap), {4, 2}, {60, 8}, {24, 3, 56, 16}},
      // Right: the sort glyph at the margin, then leftwards text and image.
      {"right", input(TLTAlignment::taRightJustify, false, img, sort, cap), {32, 2}, {88, 8}, {52, 3, 84, 16}},
      // Reversed left alignment runs from the right with the glyph last.
      {"reversed", input(TLTAlignment::taLeftJustify, true, img, sort, cap), {44, 2}, {32, 8}, {64, 3, 96, 16}},
      // Centre with the glyph right of the group.
      {"centre", input(TLTAlignment::taCenter, false, img, sort, cap), {24, 2}, {80, 8}, {44, 3, 76, 16}},
      // Without an image the caption's gap still counts: (100 - 4 - 32) div 2.
      {"centre, no image", input(TLTAlignment::taCenter, false, none, sort, cap), {0, 0}, {68, 8}, {32, 3, 64, 16}},
      // A sort glyph alone is centred both ways.
      {"glyph alone", input(TLTAlignment::taLeftJustify, false, none, sort, none), {0, 0}, {46, 8}, {4, 10, 4, 10}},
      // Image above the text.
      {"top", input(TLTAlignment::taLeftJustify, false, img, none, THeaderSize{30, 2},
                    TLTHeaderColumnLayout::blGlyphTop), {42, -1}, {0, 10}, {4, 19, 36, 21}},
  };
  for (const Case& c : cases) {
    THeaderLayout out;
    ASSERT_TRUE(ComputeHeaderLayout(c.in, out)) << c.name;
    if (c.in.Image.Width > 0) {
      EXPECT_EQ(out.Image.X, c.image.X) << c.name;
      EXPECT_EQ(out.Image.Y, c.image.Y) << c.name;
    }
    if (c.in.SortGlyph.Width > 0) {
      EXPECT_EQ(out.SortGlyph.X, c.sort.X) << c.name;
      EXPECT_EQ(out.SortGlyph.Y, c.sort.Y) << c.name;
    }
    if (c.in.Caption.Width > 0) {
      EXPECT_EQ(out.Text, c.text) << c.name;
    }
  }
  // A caption wider than the button is cut at the right limit.
  THeaderLayout out;
  ASSERT_TRUE(ComputeHeaderLayout(input(TLTAlignment::taLeftJustify, false, none, sort, THeaderSize{200, 13}), out));
  EXPECT_EQ(out.SortGlyph.X, 100 - 4 - 8);
  EXPECT_EQ(out.Text.Right, out.SortGlyph.X - 4);
  EXPECT_FALSE(ComputeHeaderLayout(input(TLTAlignment::taLeftJustify, false, none, none, none), out));
}

TEST(HeaderModel, WideColumnsKeepTheirEdgesInOrder) {
  TestHeader header;
  TLazyTreeColumn& wide = AddColumn(header, 80);
  wide.SetMaxWidth(20000);
  wide.SetWidth(15000);
  EXPECT_EQ(wide.Width(), 15000);
  wide.SetMaxWidth(std::numeric_limits<int>::max());
  EXPECT_EQ(wide.MaxWidth(), kMaxColumnWidth);
  wide.SetWidth(std::numeric_limits<int>::max());
  EXPECT_EQ(wide.Width(), kMaxColumnWidth);
  // Far more of the widest columns than int can add up: edges never wrap
  // around, every column keeps a right edge beyond its left one.
  for (int i = 0; i < 2200; ++i) {
    TLazyTreeColumn& c = AddColumn(header, 10);
    c.SetMaxWidth(kMaxColumnWidth);
    c.SetWidth(kMaxColumnWidth);
  }
  const TLazyTreeColumns& columns = header.Columns();
  int previous = -1;
  for (TColumnIndex index : columns.PositionArray()) {
    const TLazyTreeColumn& c = columns.Items(index);
    EXPECT_GE(c.Left(), previous);
    EXPECT_GT(c.Left() + c.Width(), c.Left());
    previous = c.Left();
  }
  EXPECT_EQ(columns.Items(1).Left(), kMaxColumnWidth);
  EXPECT_GT(columns.Items(2).Left(), columns.Items(1).Left());
  EXPECT_GE(columns.TotalWidth(), kMaxColumnsExtent);
  int left = 0, right = 0;
  EXPECT_EQ(columns.GetColumnAndBounds(THeaderPoint{kMaxColumnWidth + 5, 0}, left, right), 1);
  EXPECT_EQ(left, kMaxColumnWidth);
  EXPECT_EQ(right, 2 * kMaxColumnWidth);
  EXPECT_GE(columns.GetColumnAndBounds(THeaderPoint{std::numeric_limits<int>::max() - 1, 0}, left, right), -2);
  EXPECT_LE(left, right);
  // The splitter search walks back from the far end without wrapping.
  EXPECT_FALSE(header.DetermineSplitterIndex(THeaderPoint{-1000, 0}));
}

// ---------------------------------------------------------------- stream --

class Bytes {
 public:
  Bytes& I32(std::int64_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
    return *this;
  }
  Bytes& Wide(const std::u16string& s) {
    I32(static_cast<std::int64_t>(s.size()));
    for (char16_t c : s) {
      b.push_back(static_cast<std::uint8_t>(c));
      b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return *this;
  }
  Bytes& Ansi(const std::string& s) {
    I32(static_cast<std::int64_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  std::vector<std::uint8_t> b;
};

// One column of a stream of `version` (text, hint, ten values, then what the
// version adds).
void Column(Bytes& out, int version, std::uint32_t options, int width = 80) {
  out.Wide(u"Name").Wide(u"").I32(width).I32(10).I32(10000).I32(0).I32(-1).I32(0).I32(4).I32(4).I32(0).I32(options);
  if (version >= 1) out.I32(7).I32(1);
  if (version >= 2) out.I32(0x00FF00);
}

void HeaderTail(Bytes& out, int version) {
  out.I32(-1).I32(0x8000000F).I32(21).I32(hoVisible | hoDrag).I32(1);
  out.I32(0).I32(-11).Ansi("Tahoma").I32(0).I32(1);
  if (version >= 1) out.I32(0).I32(0).I32(1);
}

void Load(TLTHeaderModel& header, const std::vector<std::uint8_t>& bytes) {
  TNodeMemoryStream stream(bytes);
  header.LoadFromStream(stream);
}

TEST(HeaderStream, RoundTripKeepsEverything) {
  TestHeader header;
  AddColumn(header, 120, L"Title");
  AddColumn(header, 60, L"\x0418\x043C\x044F");  // Cyrillic
  TLazyTreeColumn& c = AddColumn(header, 90, L"Size");
  c.SetAlignment(TLTAlignment::taRightJustify);
  c.SetHint(L"bytes");
  c.SetTag(-5);
  c.SetColor(0x123456);
  c.SetOptions(c.Options() | coAutoSpring);
  c.SetPosition(0);
  header.SetMainColumn(1);
  header.SetSortColumn(2);
  header.SetSortDirection(TSortDirection::sdDescending);
  header.SetHeight(23);
  header.SetStyle(TLTHeaderStyle::hsXPStyle);
  header.SetOptions(hoVisible | hoShowSortGlyphs | hoDblClickResize);
  THeaderFont font;
  font.Name = "Arial";
  font.Style = 3;
  header.SetFont(font);

  TNodeMemoryStream stream;
  header.SaveToStream(stream);
  const std::vector<std::uint8_t> bytes = stream.Bytes();
  ASSERT_GE(bytes.size(), 12u);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 8),
            (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0}));

  TestHeader copy;
  Load(copy, bytes);
  EXPECT_TRUE(copy.Columns().Equals(header.Columns()));
  EXPECT_EQ(copy.Columns().PositionArray(), (std::vector<TColumnIndex>{2, 0, 1}));
  EXPECT_EQ(copy.Columns().Items(2).Alignment(), TLTAlignment::taRightJustify);
  EXPECT_EQ(copy.Columns().Items(1).Text(), L"\x0418\x043C\x044F");
  EXPECT_EQ(copy.MainColumn(), 1);
  EXPECT_EQ(copy.SortColumn(), 2);
  EXPECT_EQ(copy.SortDirection(), TSortDirection::sdDescending);
  EXPECT_EQ(copy.Height(), 23);
  EXPECT_EQ(copy.Style(), TLTHeaderStyle::hsXPStyle);
  EXPECT_EQ(copy.Options(), hoVisible | hoShowSortGlyphs | hoDblClickResize);
  EXPECT_EQ(copy.Font(), font);
  TNodeMemoryStream again;
  copy.SaveToStream(again);
  EXPECT_EQ(again.Bytes(), bytes);

  // A header that keeps its columns out writes none.
  struct NoColumns : TestHeader {
    bool CanWriteColumns() const override { return false; }
  } without;
  AddColumn(without, 50, L"x");
  TNodeMemoryStream empty;
  without.SaveToStream(empty);
  TestHeader loaded;
  AddColumn(loaded, 50, L"old");
  Load(loaded, empty.Bytes());
  EXPECT_EQ(loaded.Columns().Count(), 0);
}

TEST(HeaderStream, OlderVersions) {
  // Before the marker: the first value is the count; version -1 has no tag,
  // alignment, colour, main or sort column, and the older option bits.
  Bytes pre;
  pre.I32(1);
  Column(pre, -1, 0x7F);  // click .. show-drop-mark in the old places, then bit 6
  pre.I32(0);
  HeaderTail(pre, -1);
  TestHeader header;
  header.SetSortColumn(-1);
  Load(header, pre.b);
  ASSERT_EQ(header.Columns().Count(), 1);
  const TLazyTreeColumn& c = header.Columns().Items(0);
  EXPECT_EQ(c.Options(), 0x0F | 0xE0);
  EXPECT_EQ(c.Tag(), 0);
  EXPECT_EQ(c.Alignment(), TLTAlignment::taLeftJustify);
  EXPECT_EQ(c.Color(), kWindowColor);
  EXPECT_EQ(header.MainColumn(), 0);
  EXPECT_EQ(header.SortColumn(), -1);
  EXPECT_EQ(header.Height(), 21);
  EXPECT_EQ(header.Font().Name, "Tahoma");

  // Version 2 drops the option bits from 8 up.
  Bytes v2;
  v2.I32(-1).I32(2).I32(1);
  Column(v2, 2, 0x1FF);
  v2.I32(0);
  HeaderTail(v2, 2);
  Load(header, v2.b);
  EXPECT_EQ(header.Columns().Items(0).Options(), 0xFF);
  EXPECT_EQ(header.Columns().Items(0).Alignment(), TLTAlignment::taRightJustify);
  EXPECT_EQ(header.Columns().Items(0).Color(), 0x00FF00u);
}

TEST(HeaderStream, CorruptInputRaisesTheReadError) {
  auto valid = [] {
    Bytes b;
    b.I32(-1).I32(3).I32(2);
    Column(b, 3, kDefaultColumnOptions);
    Column(b, 3, kDefaultColumnOptions);
    b.I32(1).I32(0);
    HeaderTail(b, 3);
    return b.b;
  };
  auto patch = [](std::vector<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
    return b;
  };
  const std::size_t column = 12;            // first column's text length
  const std::size_t values = column + 4 + 8 + 4;  // after "Name" and the empty hint
  std::vector<std::uint8_t> truncated = valid();
  truncated.resize(truncated.size() - 3);
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"column count of two billion", patch(valid(), 8, 0x7FFFFFFF)},
      {"text longer than the stream", patch(valid(), column, 0x40000000)},
      {"negative text length", patch(valid(), column, 0xFFFFFFFF)},
      {"style out of range", patch(valid(), values + 12, 9)},
      {"alignment out of range", patch(valid(), values + 44, 3)},
      {"position array repeats a column", patch(valid(), valid().size() - 58 - 4, 1)},
      {"unknown version", patch(valid(), 4, 4)},
      {"header height near the int range", patch(valid(), valid().size() - 50, 0x7FFFFFF0)},
      {"header height above 1000", patch(valid(), valid().size() - 50, 1001)},
      {"column spacing above 1000", patch(valid(), values + 28, 0x7FFFFFFF)},
      {"column wider than any column may be", patch(valid(), values, kMaxColumnWidth + 1)},
      {"maximum width near the int range", patch(valid(), values + 8, 0x7FFFFFF0)},
      {"ends early", truncated},
      {"empty", {}},
  };
  for (const auto& c : cases) {
    TestHeader header;
    try {
      Load(header, c.bytes);
      ADD_FAILURE() << c.name << ": loaded";
    } catch (const ENodeStreamError& e) {
      EXPECT_STREQ(e.what(), "Stream read error.") << c.name;
    }
    // Whatever was read stays consistent: the display order covers every column.
    EXPECT_EQ(static_cast<int>(header.Columns().PositionArray().size()), header.Columns().Count()) << c.name;
    EXPECT_EQ(header.States() & hstLoading, 0) << c.name;
  }
  TestHeader header;
  Load(header, valid());
  EXPECT_EQ(header.Columns().Count(), 2);
  EXPECT_EQ(header.Columns().PositionArray(), (std::vector<TColumnIndex>{1, 0}));
  // The bounds themselves load; negative sizes read as 0.
  Load(header, patch(patch(valid(), valid().size() - 50, 1000), values + 28, 1000));
  EXPECT_EQ(header.Height(), 1000);
  EXPECT_EQ(header.Columns().Items(0).Spacing(), 1000);
  Load(header, patch(patch(valid(), valid().size() - 50, 0xFFFFFFFF), values + 28, 0x80000000));
  EXPECT_EQ(header.Height(), 0);
  EXPECT_EQ(header.Columns().Items(0).Spacing(), 0);
  Load(header, patch(patch(valid(), values + 8, kMaxColumnWidth), values, 15000));
  EXPECT_EQ(header.Columns().Items(0).MaxWidth(), kMaxColumnWidth);
  EXPECT_EQ(header.Columns().Items(0).Width(), 15000);
}

// Form scaling rounds the half way case to the even neighbour, for font
// heights (negative: character height) as for row heights.
TEST(HeaderModel, ScalingRoundsHalfWayToEven) {
  struct Case { std::int64_t value, m, d, scaled; };
  for (const Case& c : {Case{18, 3, 2, 27}, Case{51, 1, 2, 26}, Case{57, 1, 2, 28}, Case{-12, 3, 2, -18},
                        Case{-25, 1, 2, -12}, Case{-27, 1, 2, -14}, Case{-13, 96, 120, -10}, Case{7, 1, 3, 2}}) {
    EXPECT_EQ(ScaleHalfEven(c.value, c.m, c.d), c.scaled) << c.value << " * " << c.m << " / " << c.d;
  }
}

}  // namespace
}  // namespace kv
