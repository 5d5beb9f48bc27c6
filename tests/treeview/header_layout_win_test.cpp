// Header columns declared in a layout: every column property and the
// header's settings arrive through the setters, the columns show in their
// declared places, and bad values are refused naming their line.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/ui/ui_test_util.h"
#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"
#include "ui/graphics_win.h"
#include "ui/layout_loader_win.h"

namespace kv {
namespace {

constexpr int kHeaderHeight = 20;
constexpr std::uint32_t kRed = 0xC82828;  // Header.Background below, as a pixel

const char kLayout[] =
    "object F: TForm\n"
    "  object Files: TLazyStringTree\n"
    "    Width = 400  Height = 200  BorderStyle = bsNone\n"
    "    Header.MainColumn = 1   # before the columns: kept\n"
    "    Header.Height = 20  Header.Background = 2631880  Header.Style = hsThickButtons\n"
    "    Header.Options = [hoColumnResize, hoDrag, hoVisible, hoShowSortGlyphs]\n"
    "    Header.SortColumn = 2  Header.SortDirection = sdDescending\n"
    "    Columns = <\n"
    "      item Text = \"Name\" Width = 120 Position = 1 Color = clWhite end\n"
    "      item WideText = \"Size\" WideHint = \"Bytes\" MinWidth = 20 MaxWidth = 300 Width = 80 Position = 0\n"
    "        Alignment = taRightJustify Tag = 7 Options = [coAllowClick, coEnabled, coVisible, coResizable]\n"
    "      end\n"
    "      item Text = \"Date\" Width = 100 Position = 2 ImageIndex = 3 Layout = blGlyphRight\n"
    "        Margin = 6 Spacing = 2 BiDiMode = bdRightToLeft end\n"
    "      item Text = \"Hidden\" Position = 2 Style = vsOwnerDraw Options = [coEnabled] end>\n"
    "  end\n"
    "end\n";

// Dark pixels (caption text) of the header strip over client columns [x0, x1),
// away from the buttons' edges, in a screenshot of the form.
int DarkIn(const ui::TBitmap& screen, ui::TForm& form, HWND tree, int x0, int x1) {
  int dark = 0;
  for (int y = 3 - kHeaderHeight; y < -3; ++y)
    for (int x = x0; x < x1; ++x) {
      const std::uint32_t px = ui::test::PixelAt(screen, form, tree, x, y);
      dark += ((px >> 16) & 0xFF) + ((px >> 8) & 0xFF) + (px & 0xFF) < 200;
    }
  return dark;
}

TEST(HeaderLayout, DeclaredColumnsShowInTheirPlaces) {
  RegisterLazyTreeClasses();
  ui::TForm form;
  form.SetClientWidth(440);
  form.SetClientHeight(240);
  ui::BuildLayout(form, ui::ParseLayout(kLayout, "files.layout"), "files.layout");
  auto& tree = form.Get<TLazyStringTree>("Files");
  TLTHeader& header = tree.Header();
  TLazyTreeColumns& columns = header.Columns();
  ASSERT_EQ(columns.Count(), 4);
  const TLazyTreeColumn &name = columns[0], &size = columns[1], &date = columns[2], &hidden = columns[3];
  EXPECT_EQ(name.Text(), L"Name");
  EXPECT_EQ(name.Color(), 0xFFFFFFu);
  EXPECT_FALSE(name.HasOption(coParentColor));  // an explicit colour
  EXPECT_EQ(size.Text(), L"Size");  // stored as WideText and WideHint
  EXPECT_EQ(size.Hint(), L"Bytes");
  EXPECT_EQ(std::pair(size.MinWidth(), size.MaxWidth()), std::pair(20, 300));
  EXPECT_EQ(size.Alignment(), TLTAlignment::taRightJustify);
  EXPECT_EQ(size.Options(), TLTColumnOptions{coAllowClick | coEnabled | coVisible | coResizable});
  EXPECT_EQ(size.Tag(), 7);
  EXPECT_EQ(std::tuple(date.ImageIndex(), date.Margin(), date.Spacing()), std::tuple(3, 6, 2));
  EXPECT_EQ(date.Layout(), TLTHeaderColumnLayout::blGlyphRight);
  EXPECT_EQ(date.BiDiMode(), TLTBidiMode::bdRightToLeft);
  EXPECT_EQ(hidden.Style(), TLazyTreeColumnStyle::vsOwnerDraw);
  // Display order from the stored positions (a tie keeps the index order).
  EXPECT_EQ(columns.PositionArray(), (std::vector<TColumnIndex>{1, 0, 2, 3}));
  EXPECT_EQ(std::tuple(size.Left(), name.Left(), date.Left(), columns.TotalWidth()), std::tuple(0, 80, 200, 300));
  EXPECT_EQ(std::tuple(header.MainColumn(), header.SortColumn(), header.Height()), std::tuple(1, 2, kHeaderHeight));
  EXPECT_EQ(header.SortDirection(), TSortDirection::sdDescending);

  tree.SetRootNodeCount(3);
  form.Show();
  const HWND hwnd = tree.Handle();
  const ui::TBitmap screen = ui::test::Screenshot(form, "header_layout_form");
  // "Size" right-aligned in [0, 80), "Name" left-aligned in [80, 200), "Date"
  // in [200, 300); beyond them only the background.
  EXPECT_GT(DarkIn(screen, form, hwnd, 44, 77), 0);
  EXPECT_EQ(DarkIn(screen, form, hwnd, 3, 36), 0);
  EXPECT_GT(DarkIn(screen, form, hwnd, 83, 120), 0);
  EXPECT_EQ(DarkIn(screen, form, hwnd, 150, 197), 0);
  EXPECT_GT(DarkIn(screen, form, hwnd, 203, 297), 0);
  EXPECT_EQ(DarkIn(screen, form, hwnd, 303, 400), 0);
  EXPECT_EQ(ui::test::PixelAt(screen, form, hwnd, 350, -kHeaderHeight / 2), kRed);
}

TEST(HeaderLayout, NumbersOutOfRangeAreClampedAndAutoSizeApplies) {
  RegisterLazyTreeClasses();
  ui::TForm form;
  const char* text =
      "object F: TForm\n  object T: TLazyDrawTree\n    Width = 300  BorderStyle = bsNone\n"
      "    Header.Options = [hoAutoResize, hoVisible]  Header.AutoSizeIndex = 0\n"
      "    Header.MainColumn = 9  Header.SortColumn = 5\n"
      "    Columns = <item Width = 40 Position = 30 end item Width = 100 Position = -4 end>\n  end\nend\n";
  ui::BuildLayout(form, ui::ParseLayout(text, "clamp.layout"), "clamp.layout");
  auto& header = form.Get<TLazyDrawTree>("T").Header();
  EXPECT_EQ(std::pair(header.MainColumn(), header.SortColumn()), std::pair(1, 1));
  EXPECT_EQ(header.Columns().PositionArray(), (std::vector<TColumnIndex>{1, 0}));
  // The auto-size column fills what the other leaves of 300.
  EXPECT_EQ(std::pair(header.Columns()[0].Width(), header.Columns()[0].Left()), std::pair(200, 100));
}

TEST(HeaderLayout, BadValuesAreRefusedWithTheirLine) {
  RegisterLazyTreeClasses();
  const std::tuple<const char*, int, const char*> cases[] = {
      {"Columns = <item\n Width = -5 end>", 4, "from 0 to 10000"},
      {"Columns = <item Text = \"a\" end\n item\n Options = [coVisible, coBogus] end>", 5, "expected one of"},
      {"Columns = <item\n\n Alignment = taMiddle end>", 5, "expected one of"},
      {"Columns = <item\n Text = 12 end>", 4, "expected a quoted text"},
      {"Columns = <item\n Frobnicate = 1 end>", 4, "unknown column property \"Frobnicate\""},
      {"Columns = 5", 3, "expected a collection"},
      {"Columns = <item\n Color = clPurple end>", 4, "expected one of"},
      {"Header.Style = hsRound", 3, "expected one of"},
      {"Header.Height = -1", 3, "from 0 to 1000"},
  };
  for (const auto& [body, line, message] : cases) {
    SCOPED_TRACE(body);
    ui::TForm form;
    const std::string text = std::string("object F: TForm\n  object T: TLazyStringTree\n") + body + "\n  end\nend\n";
    try {
      ui::BuildLayout(form, ui::ParseLayout(text, "bad.layout"), "bad.layout");
      ADD_FAILURE() << "built";
    } catch (const ui::ELayoutError& e) {
      EXPECT_EQ(e.Line(), line) << e.what();
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
    EXPECT_EQ(form.FindComponent("T"), nullptr);  // nothing half-built stays
  }
}

}  // namespace
}  // namespace kv
