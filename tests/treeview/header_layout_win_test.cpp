// Trees whose header columns are declared in a layout: every column property
// and the header's settings arrive through the setters, the columns show in
// their declared places, and bad values are refused naming their line.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/treeview/save_shot_win.h"
#include "tests/ui/ui_test_util.h"
#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"
#include "ui/graphics_win.h"
#include "ui/layout_loader_win.h"

namespace kv {
namespace {

constexpr int kHeaderHeight = 20;
constexpr COLORREF kBackground = RGB(200, 40, 40);

const char kLayout[] =
    "object F: TForm\n"
    "  ClientWidth = 440\n"
    "  ClientHeight = 240\n"
    "  object Files: TLazyStringTree\n"
    "    Width = 400\n"
    "    Height = 200\n"
    "    BorderStyle = bsNone\n"
    "    TreeOptions.PaintOptions = [toShowButtons, toShowRoot]\n"
    "    Header.MainColumn = 1          # before the columns: kept\n"
    "    Header.Height = 20\n"
    "    Header.Background = 2631880    # RGB(200, 40, 40)\n"
    "    Header.Style = hsThickButtons\n"
    "    Header.Options = [hoColumnResize, hoDrag, hoVisible, hoShowSortGlyphs]\n"
    "    Header.SortColumn = 2\n"
    "    Header.SortDirection = sdDescending\n"
    "    Columns = <\n"
    "      item\n"
    "        Text = \"Name\"\n"
    "        Width = 120\n"
    "        Position = 1\n"
    "        Color = clWhite\n"
    "      end\n"
    "      item\n"
    "        Text = \"Size\"\n"
    "        Hint = \"Bytes\"\n"
    "        MinWidth = 20\n"
    "        MaxWidth = 300\n"
    "        Width = 80\n"
    "        Position = 0\n"
    "        Alignment = taRightJustify\n"
    "        Options = [coAllowClick, coEnabled, coVisible, coResizable]\n"
    "        Tag = 7\n"
    "      end\n"
    "      item\n"
    "        Text = \"Date\"\n"
    "        Width = 100\n"
    "        Position = 2\n"
    "        ImageIndex = 3\n"
    "        Layout = blGlyphRight\n"
    "        Margin = 6\n"
    "        Spacing = 2\n"
    "        BiDiMode = bdRightToLeft\n"
    "      end\n"
    "      item\n"
    "        Text = \"Hidden\"\n"
    "        Position = 2              # a tie: the index order decides\n"
    "        Style = vsOwnerDraw\n"
    "        Options = [coEnabled]\n"
    "      end>\n"
    "  end\n"
    "end\n";

bool Dark(std::uint32_t px) { return ((px >> 16) & 0xFF) + ((px >> 8) & 0xFF) + (px & 0xFF) < 200; }

// Dark pixels (caption text) in columns [x0, x1) of the header picture, away
// from the buttons' top and bottom edges.
int DarkIn(const ui::TBitmap& shot, int x0, int x1) {
  int dark = 0;
  for (int y = 3; y < kHeaderHeight - 3; ++y)
    for (int x = x0; x < x1; ++x) dark += Dark(shot.Pixel(x, y));
  return dark;
}

TEST(HeaderLayout, DeclaredColumnsShowInTheirPlaces) {
  RegisterLazyTreeClasses();
  ui::TForm form;
  ui::BuildLayout(form, ui::ParseLayout(kLayout, "files.layout"), "files.layout");
  auto& tree = form.Get<TLazyStringTree>("Files");
  TLTHeader& header = tree.Header();
  TLazyTreeColumns& columns = header.Columns();
  ASSERT_EQ(columns.Count(), 4);
  EXPECT_EQ(columns[0].Text(), L"Name");
  EXPECT_EQ(columns[0].Color(), 0xFFFFFFu);
  EXPECT_FALSE(columns[0].HasOption(coParentColor));  // an explicit colour
  EXPECT_EQ(columns[1].Hint(), L"Bytes");
  EXPECT_EQ(columns[1].MinWidth(), 20);
  EXPECT_EQ(columns[1].MaxWidth(), 300);
  EXPECT_EQ(columns[1].Alignment(), TLTAlignment::taRightJustify);
  EXPECT_EQ(columns[1].Options(), TLTColumnOptions{coAllowClick | coEnabled | coVisible | coResizable});
  EXPECT_EQ(columns[1].Tag(), 7);
  EXPECT_EQ(columns[2].ImageIndex(), 3);
  EXPECT_EQ(columns[2].Layout(), TLTHeaderColumnLayout::blGlyphRight);
  EXPECT_EQ(columns[2].Margin(), 6);
  EXPECT_EQ(columns[2].Spacing(), 2);
  EXPECT_EQ(columns[2].BiDiMode(), TLTBidiMode::bdRightToLeft);
  EXPECT_EQ(columns[3].Style(), TLazyTreeColumnStyle::vsOwnerDraw);
  EXPECT_FALSE(columns[3].HasOption(coVisible));
  // Display order from the stored positions; lefts from the visible widths.
  EXPECT_EQ(columns.PositionArray(), (std::vector<TColumnIndex>{1, 0, 2, 3}));
  EXPECT_EQ(columns[1].Left(), 0);
  EXPECT_EQ(columns[0].Left(), 80);
  EXPECT_EQ(columns[2].Left(), 200);
  EXPECT_EQ(columns.TotalWidth(), 300);
  EXPECT_EQ(header.MainColumn(), 1);
  EXPECT_EQ(header.SortColumn(), 2);
  EXPECT_EQ(header.SortDirection(), TSortDirection::sdDescending);
  EXPECT_EQ(header.Height(), kHeaderHeight);

  tree.SetRootNodeCount(3);
  form.Show();
  const HWND hwnd = tree.Handle();
  const ui::TBitmap screen = ui::test::Screenshot(form, "header_layout_form");
  // The strip sits above the client area: its middle row, 10 pixels up.
  EXPECT_EQ(ui::test::PixelAt(screen, form, hwnd, 350, -kHeaderHeight / 2),
            (std::uint32_t{GetRValue(kBackground)} << 16) | (GetGValue(kBackground) << 8) | GetBValue(kBackground));

  RECT window{};
  GetWindowRect(hwnd, &window);
  ui::TBitmap shot;
  shot.Create(window.right - window.left, kHeaderHeight);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
    header.PaintHeader(dc.Get(), RECT{0, 0, window.right - window.left, kHeaderHeight}, 0);
  }
  test::SaveShot(shot, "header_layout");
  // "Size" first, right-aligned in [0, 80); "Name" left-aligned in [80, 200);
  // "Date" in [200, 300); beyond them only the background.
  EXPECT_GT(DarkIn(shot, 44, 77), 0);
  EXPECT_EQ(DarkIn(shot, 3, 36), 0);
  EXPECT_GT(DarkIn(shot, 83, 120), 0);
  EXPECT_EQ(DarkIn(shot, 150, 197), 0);
  EXPECT_GT(DarkIn(shot, 203, 297), 0);
  EXPECT_EQ(DarkIn(shot, 303, 400), 0);
  EXPECT_EQ(shot.Pixel(350, kHeaderHeight / 2),
            (std::uint32_t{GetRValue(kBackground)} << 16) | (GetGValue(kBackground) << 8) | GetBValue(kBackground));
}

TEST(HeaderLayout, NumbersOutOfRangeAreClampedAndAutoSizeApplies) {
  RegisterLazyTreeClasses();
  ui::TForm form;
  const std::string text =
      "object F: TForm\n"
      "  object T: TLazyDrawTree\n"
      "    Width = 300\n"
      "    Height = 100\n"
      "    BorderStyle = bsNone\n"
      "    Header.Options = [hoAutoResize, hoVisible]\n"
      "    Header.AutoSizeIndex = 0\n"
      "    Header.MainColumn = 9\n"
      "    Header.SortColumn = 5\n"
      "    Columns = <\n"
      "      item Width = 40 Position = 30 end\n"
      "      item Width = 100 Position = -4 end>\n"
      "  end\n"
      "end\n";
  ui::BuildLayout(form, ui::ParseLayout(text, "clamp.layout"), "clamp.layout");
  auto& header = form.Get<TLazyDrawTree>("T").Header();
  EXPECT_EQ(header.MainColumn(), 1);
  EXPECT_EQ(header.SortColumn(), 1);
  EXPECT_EQ(header.Columns().PositionArray(), (std::vector<TColumnIndex>{1, 0}));
  EXPECT_EQ(header.Columns()[0].Width(), 200);  // fills what the other leaves of 300
  EXPECT_EQ(header.Columns()[0].Left(), 100);
}

TEST(HeaderLayout, BadValuesAreRefusedWithTheirLine) {
  RegisterLazyTreeClasses();
  struct Case {
    const char* body;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"    Columns = <item\n      Width = -5\n    end>\n", 4, "from 0 to 10000"},
      {"    Columns = <item\n      Text = \"a\"\n    end\n    item\n      Options = [coVisible, coBogus]\n    end>\n",
       7, "expected one of"},
      {"    Columns = <item\n\n      Alignment = taMiddle\n    end>\n", 5, "expected one of"},
      {"    Columns = <item\n      Text = 12\n    end>\n", 4, "expected a quoted text"},
      {"    Columns = <item\n      Frobnicate = 1\n    end>\n", 4, "unknown column property \"Frobnicate\""},
      {"    Columns = 5\n", 3, "expected a collection"},
      {"    Columns = <item\n      Color = clPurple\n    end>\n", 4, "expected one of"},
      {"    Header.Style = hsRound\n", 3, "expected one of"},
      {"    Header.Height = -1\n", 3, "from 0 to 1000"},
      {"    Header.Options = [hoVisible, hoNothing]\n", 3, "expected one of"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    ui::TForm form;
    const std::string text = std::string("object F: TForm\n  object T: TLazyStringTree\n") + c.body + "  end\nend\n";
    try {
      ui::BuildLayout(form, ui::ParseLayout(text, "bad.layout"), "bad.layout");
      ADD_FAILURE() << "built";
    } catch (const ui::ELayoutError& e) {
      EXPECT_EQ(e.Line(), c.line) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(form.FindComponent("T"), nullptr);  // nothing half-built stays
  }
}

}  // namespace
}  // namespace kv
