// Column widths, layouts, width toggles and the entries of the column menu
// and of the column settings dialog.
#include "shell/shell_columns.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

std::vector<TColumnState> Columns(std::initializer_list<const char16_t*> texts) {
  std::vector<TColumnState> columns;
  for (const char16_t* t : texts) {
    const int i = static_cast<int>(columns.size());
    columns.push_back({i, i, 100 + i, true, t});
  }
  return columns;
}

TEST(ShellColumns, DefaultWidthsByFolder) {
  struct Case {
    TShellColumnRoot root;
    std::vector<int> widths;  // columns 0..n-1
  } cases[] = {
      {TShellColumnRoot::General, {180, 96, 120, 120, 60, 180}},
      {TShellColumnRoot::MyComputer, {180, 120, 96, 96, 60}},
      {TShellColumnRoot::ControlPanel, {180, 300, 120}},
      {TShellColumnRoot::Network, {180, 300, 120}},
  };
  for (const Case& c : cases)
    for (size_t i = 0; i < c.widths.size(); ++i)
      EXPECT_EQ(DefaultShellColumnWidth(static_cast<int>(i), c.root), c.widths[i]) << int(c.root) << " " << i;
  EXPECT_EQ(DefaultShellColumnWidth(36, TShellColumnRoot::General), 180);
  EXPECT_EQ(DefaultShellColumnWidth(37, TShellColumnRoot::General), 120);
}

TEST(ShellColumns, LayoutRoundTripAndAnotherColumnCountIsDropped) {
  auto columns = Columns({u"Name", u"Size", u"Type"});
  columns[0].Width = 70000;  // beyond 16 bits
  columns[1].Visible = false;
  columns[2].Position = 0;
  columns[0].Position = 2;
  TColumnStorage storage;
  StoreColumnLayout(storage, columns);
  auto restored = Columns({u"Name", u"Size", u"Type"});
  ASSERT_TRUE(RestoreColumnLayout(storage, restored));
  EXPECT_EQ(restored[0].Width, 65535);
  EXPECT_EQ(restored[0].Position, 2);
  EXPECT_FALSE(restored[1].Visible);
  EXPECT_EQ(restored[2].Position, 0);

  auto four = Columns({u"Name", u"Size", u"Type", u"New"});
  EXPECT_FALSE(RestoreColumnLayout(storage, four));
  EXPECT_EQ(four[0].Width, 100);  // defaults stay
  EXPECT_TRUE(storage.Widths.empty());
}

class FakeColumns : public TColumnManager::TColumns {
 public:
  std::vector<int> widths{100, 50};
  int Count() override { return static_cast<int>(widths.size()); }
  int Width(int c) override { return widths[static_cast<size_t>(c)]; }
  void SetWidth(int c, int w) override { widths[static_cast<size_t>(c)] = w; }
  int FitWidth(int) override { return 333; }
};

TEST(ShellColumns, ManagerTogglesFitAndMinimumBackToTheWidthBefore) {
  FakeColumns header;
  TColumnManager manager;
  const std::vector<std::pair<char, int>> steps = {
      {'F', 333}, {'F', 100}, {'M', 0}, {'M', 100}, {'M', 0}, {'F', 333}, {'F', 0}, {'F', 333}, {'M', 0}, {'M', 333},
  };
  for (auto [op, width] : steps) {
    if (op == 'F') manager.ToggleWidthAutoFit(header, 0);
    else manager.ToggleWidthMinimize(header, 0);
    EXPECT_EQ(header.widths[0], width);
  }
  EXPECT_EQ(manager.ColumnWidths.size(), 2u);
  manager.ToggleWidthMinimize(header, 5);  // no such column
  EXPECT_EQ(header.widths, (std::vector<int>{333, 50}));
}

TEST(ShellColumns, ColumnMenuListsSomeShellColumnsThenMore) {
  auto shell = Columns({u"Name", u"Size", u"Type", u"Date", u"Attributes"});
  shell[1].Visible = false;
  auto menu = BuildColumnMenu(shell, {}, true, 3);
  ASSERT_EQ(menu.size(), 5u);
  EXPECT_EQ(menu[1].Caption, u"Size");
  EXPECT_FALSE(menu[1].Checked);
  EXPECT_TRUE(menu[2].Checked);
  EXPECT_EQ(menu[3].ColumnIndex, kColumnMenuSeparator);
  EXPECT_EQ(menu[3].Caption, u"-");
  EXPECT_EQ(menu[4].Caption, u"More ...");
  EXPECT_EQ(menu[4].ColumnIndex, kColumnMenuMore);

  // Secondary, empty and repeated titles are left out, which also brings "More ...".
  auto odd = Columns({u"Name", u"", u"Name", u"Owner", u"Size"});
  menu = BuildColumnMenu(odd, {false, false, false, true, false}, true, 8);
  ASSERT_EQ(menu.size(), 4u);
  EXPECT_EQ(menu[1].ColumnIndex, 4);
  // The control's own columns: every one, no "More ...".
  menu = BuildColumnMenu(odd, {}, false, 1);
  EXPECT_EQ(menu.size(), 5u);
}

TEST(ShellColumns, SettingsEntriesInDisplayOrderAndDragRule) {
  auto columns = Columns({u"Name", u"Size", u"Type", u"Size", u""});
  columns[0].Position = 2;
  columns[2].Position = 0;
  auto entries = ColumnSettingsEntries(columns);
  ASSERT_EQ(entries.size(), 3u);  // the second "Size" and the empty title are not listed
  EXPECT_EQ(entries[0].Title, u"Type");
  EXPECT_EQ(entries[2].Title, u"Name");
  EXPECT_EQ(entries[1].ColumnIndex, 1);

  struct Move {
    size_t from, to;
    std::vector<std::u16string> order;
  } moves[] = {
      {0, 2, {u"Size", u"Name", u"Type"}},  // first below third: after it
      {2, 0, {u"Type", u"Size", u"Name"}},  // third above first: before it
      {1, 1, {u"Type", u"Size", u"Name"}},
  };
  std::vector<TColumnData> list = ColumnSettingsEntries(Columns({u"Type", u"Size", u"Name"}));
  for (const Move& m : moves) {
    MoveColumnEntry(list, m.from, m.to);
    std::vector<std::u16string> order;
    for (const auto& e : list) order.push_back(e.Title);
    EXPECT_EQ(order, m.order) << m.from << "->" << m.to;
  }
  list[0].Visible = false;
  list[0].Width = 42;
  auto applied = Columns({u"Type", u"Size", u"Name"});
  ApplyColumnEntries(list, applied);
  EXPECT_EQ(applied[0].Position, 0);
  EXPECT_FALSE(applied[0].Visible);
  EXPECT_EQ(applied[0].Width, 42);
  EXPECT_EQ(applied[2].Position, 2);
}

TEST(ShellColumns, WidthBoxTakesDigitsOnlyAndAnEmptyBoxKeepsTheWidth) {
  for (char16_t c : std::u16string(u"0123456789\b\r")) EXPECT_TRUE(WidthBoxAccepts(c));
  for (char16_t c : std::u16string(u"a-+ .x\x0416")) EXPECT_FALSE(WidthBoxAccepts(c));
  struct Case {
    std::u16string text;
    std::optional<int32_t> width;
  } cases[] = {{u"", std::nullopt}, {u"0", 0}, {u"120", 120}, {u"65535", 65535}, {u"99999999", 99999999},
               {u"2147483647", 2147483647}, {u" 1", 1}, {u"+5", 5}, {u"-5", -5}, {u"$1F", 31},
               {u"0x1f", 31}, {u"0X10", 16}, {u"-2147483648", INT32_MIN}};
  for (const Case& c : cases) EXPECT_EQ(ParseColumnWidth(c.text), c.width);
  // Any other text is a conversion error.
  for (std::u16string bad : {u"12a", u"99999999999999", u"2147483648", u"1 ", u"-", u"$", u"0x", u"$1G", u"--1",
                             u"-2147483649"}) EXPECT_THROW(ParseColumnWidth(bad), EConvertError);
  try {
    ParseColumnWidth(u"1\x01x");
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'1\\x01x' is not a valid integer value");
  }
}

}  // namespace
}  // namespace kv
