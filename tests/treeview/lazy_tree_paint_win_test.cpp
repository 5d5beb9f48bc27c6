// Painting of the tree, printed into a bitmap through WM_PRINTCLIENT and
// probed pixel by pixel: tree lines, buttons, check cells, selection looks,
// the focus rectangle, grid lines, tall rows and selected-only painting.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "treeview/lazy_trees_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"
#include "ui/graphics_win.h"

namespace kv {
namespace {

// 0x00RRGGBB, as TBitmap::Pixel answers.
std::uint32_t Rgb(COLORREF c) {
  return (std::uint32_t{GetRValue(c)} << 16) | (std::uint32_t{GetGValue(c)} << 8) | GetBValue(c);
}

constexpr COLORREF kTree = RGB(255, 255, 255);
constexpr COLORREF kLines = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kGrid = RGB(0x10, 0xA0, 0x10);
constexpr COLORREF kFocused = RGB(0x00, 0x40, 0xC0);
constexpr COLORREF kUnfocused = RGB(0x20, 0x40, 0x80);
constexpr COLORREF kInk = RGB(0, 0, 0);

class TreePaint : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &form.Create<TLazyDrawTree>();
    tree->SetParent(&form);
    form.SetClientWidth(320);
    form.SetClientHeight(240);
    tree->SetBounds(0, 0, 300, 200);
    tree->SetBorderStyle(TTreeBorderStyle::bsNone);
    tree->SetColor(ui::clWhite);  // kTree
    auto& colors = tree->Colors();
    colors.SetColor(TLTColors::TreeLineColor, kLines);
    colors.SetColor(TLTColors::GridLineColor, kGrid);
    colors.SetColor(TLTColors::FocusedSelectionColor, kFocused);
    colors.SetColor(TLTColors::FocusedSelectionBorderColor, kFocused);
    colors.SetColor(TLTColors::UnfocusedSelectionColor, kUnfocused);
    colors.SetColor(TLTColors::UnfocusedSelectionBorderColor, kUnfocused);
    form.Show();
    tree->PrepareBitmaps(true, true);
  }
  // Three top-level nodes; the first is expanded with two children, the
  // second has (collapsed) children.
  void MakeNodes() {
    tree->SetRootNodeCount(3);
    first = tree->GetFirst();
    tree->AddChild(first);
    tree->AddChild(first);
    tree->SetExpanded(first, true);
    second = tree->GetNextSibling(first);
    tree->AddChild(second);
  }
  ui::TBitmap Print(const std::string& name) {
    ui::TBitmap shot;
    RECT client;
    GetClientRect(tree->Handle(), &client);
    shot.Create(client.right, client.bottom);
    {
      const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
      const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
      SendMessageW(tree->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
    }
    const std::string folder = std::string(KV_TEST_BINARY_DIR) + "/screenshots";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string bmp = shot.ToBmpFile();
    std::ofstream(folder + "/tree_paint_" + name + ".bmp", std::ios::binary)
        .write(bmp.data(), static_cast<std::streamsize>(bmp.size()));
    return shot;
  }
  void Options(std::uint32_t add, std::uint32_t remove = 0) {
    auto& o = tree->TreeOptions();
    o.SetPaintOptions((o.PaintOptions() | add) & ~remove);
  }
  void Selection(std::uint32_t add) {
    auto& o = tree->TreeOptions();
    o.SetSelectionOptions(o.SelectionOptions() | add);
  }

  ui::TForm form;
  TLazyDrawTree* tree = nullptr;
  PLazyNode first = nullptr, second = nullptr;
};

TEST_F(TreePaint, LinesAndButtons) {
  MakeNodes();
  const ui::TBitmap shot = Print("lines");
  const std::uint32_t line = Rgb(kLines), back = Rgb(kTree), ink = Rgb(kInk);
  // Button: 9x9 at ButtonX = 4 (18 less 9, halved to even), ButtonY = 9 - 4.
  const int bx = 4, by = 5;
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(shot.Pixel(bx + i, by), line) << i;
    EXPECT_EQ(shot.Pixel(bx, by + i), line) << i;
    EXPECT_EQ(shot.Pixel(bx + 8, by + i), line) << i;
  }
  EXPECT_EQ(shot.Pixel(bx + 4, by + 4), ink);           // the bar
  EXPECT_EQ(shot.Pixel(bx + 4, by + 2), back);          // expanded: minus
  EXPECT_EQ(shot.Pixel(bx + 4, 3 * 18 + by + 2), ink);  // the collapsed second: plus
  EXPECT_EQ(shot.Pixel(bx + 4, 4 * 18 + by + 2), back); // the third has none
  EXPECT_EQ(shot.Pixel(bx - 1, by + 4), back);

  // The level-0 line at x = 9 runs through the children's rows with dots
  // alternating, also across the row boundaries.
  for (int y = 18; y < 54; ++y) {
    const bool here = shot.Pixel(9, y) == line, below = shot.Pixel(9, y + 1) == line;
    EXPECT_NE(here, below) << y;
    EXPECT_TRUE(here || shot.Pixel(9, y) == back) << y;
  }
  // The children's horizontal strokes at their vertical centre, from x = 27 on.
  int dots = 0;
  for (int x = 27; x <= 36; ++x) dots += shot.Pixel(x, 18 + 9) == line;
  EXPECT_EQ(dots, 5);
  EXPECT_NE(shot.Pixel(27, 18 + 9) == line, shot.Pixel(28, 18 + 9) == line);
  // Nothing below the last row but the tree colour.
  EXPECT_EQ(shot.Pixel(9, 5 * 18 + 3), back);
  EXPECT_EQ(shot.Pixel(150, 190), back);
}

TEST_F(TreePaint, FullRowSelectionFocusedAndUnfocused) {
  MakeNodes();
  Selection(toFullRowSelect);
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() | toGridExtensions);
  tree->SetSelected(second, true);
  tree->SetFocusedNode(second);
  const int rowTop = 3 * 18;
  SetFocus(nullptr);
  ui::TBitmap shot = Print("selection_unfocused");
  EXPECT_EQ(shot.Pixel(200, rowTop + 9), Rgb(kUnfocused));
  EXPECT_EQ(shot.Pixel(200, rowTop + 18 + 9), Rgb(kTree));

  SetFocus(tree->Handle());
  ASSERT_EQ(GetFocus(), tree->Handle());
  shot = Print("selection_focused");
  EXPECT_EQ(shot.Pixel(200, rowTop + 9), Rgb(kFocused));
  // The focus rectangle inverts every other pixel of the cell's edge, so it
  // shows on any selection colour.
  const std::uint32_t inverted = Rgb(kFocused) ^ 0xFFFFFF;
  int invertedTop = 0, invertedLeft = 0;
  for (int x = 10; x < 20; ++x) invertedTop += shot.Pixel(x, rowTop) == inverted;
  for (int y = rowTop + 2; y < rowTop + 12; ++y) invertedLeft += shot.Pixel(0, y) == inverted;
  EXPECT_EQ(invertedTop, 5);
  EXPECT_EQ(invertedLeft, 5);
  EXPECT_EQ(shot.Pixel(200, rowTop + 9), Rgb(kFocused));  // inside untouched
}

TEST_F(TreePaint, HorizontalGridLines) {
  MakeNodes();
  Options(toShowHorzGridLines);
  const ui::TBitmap shot = Print("grid");
  int dots = 0;
  for (int x = 100; x < 120; ++x) dots += shot.Pixel(x, 17) == Rgb(kGrid);
  EXPECT_EQ(dots, 10);
  EXPECT_NE(shot.Pixel(100, 17), shot.Pixel(101, 17));
  EXPECT_EQ(shot.Pixel(100, 16), Rgb(kTree));
}

TEST_F(TreePaint, TallRowsCentreButtonAndContentAtSixteen) {
  tree->SetDefaultNodeHeight(32);
  MakeNodes();
  RECT seen{};
  tree->OnDrawNode = [&](TBaseLazyTree&, const TLTPaintInfo& info) {
    if (info.Node == tree->GetFirst()) seen = info.ContentRect;
  };
  const ui::TBitmap shot = Print("tall");
  EXPECT_EQ(tree->LastButtonY(), 12);  // centre 16 less half the button
  // Button frame from y = 12 to 20 in the first row, bar at 16.
  EXPECT_EQ(shot.Pixel(4, 12), Rgb(kLines));
  EXPECT_EQ(shot.Pixel(4, 20), Rgb(kLines));
  EXPECT_EQ(shot.Pixel(4, 11), Rgb(kTree));
  EXPECT_EQ(shot.Pixel(8, 16), Rgb(kInk));
  EXPECT_EQ(seen.top, 0);
  EXPECT_EQ(seen.bottom, 32);
  EXPECT_EQ(seen.left, 4 + 18);  // margin and one level
}

TEST_F(TreePaint, SelectedOnlyLeavesOtherRowsUnpainted) {
  MakeNodes();
  tree->SetSelected(second, true);
  ui::TBitmap shot;
  shot.Create(300, 200);
  const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
  const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
  const RECT all{0, 0, 300, 200};
  const ui::BrushObject magenta = ui::MakeSolidBrush(RGB(255, 0, 255));
  FillRect(dc.Get(), &all, magenta.Get());
  tree->PaintTree(dc.Get(), all, POINT{0, 0}, poSelectedOnly);
  GdiFlush();
  EXPECT_EQ(shot.Pixel(150, 9), 0xFF00FFu);           // first top-level row
  EXPECT_EQ(shot.Pixel(150, 18 + 9), 0xFF00FFu);      // its child
  EXPECT_EQ(shot.Pixel(150, 3 * 18 + 9), Rgb(kTree)); // the selected one
  EXPECT_EQ(shot.Pixel(150, 4 * 18 + 9), 0xFF00FFu);
}

TEST_F(TreePaint, BlendedSelectionFollowsTheFormula) {
  MakeNodes();
  Options(toUseBlendedSelection);
  tree->OnGetNodeWidth = [](TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, int& width) { width = 40; };
  tree->SetSelected(second, true);
  SetFocus(nullptr);
  const ui::TBitmap shot = Print("blended");
  // Content of a top-level row starts at margin 4 + indent 18.
  const std::uint32_t pixel = shot.Pixel(22 + 20, 3 * 18 + 9);
  auto channel = [](std::uint32_t v, int shift) { return static_cast<int>((v >> shift) & 0xFF); };
  const std::uint32_t d = Rgb(kTree), c = Rgb(kUnfocused);
  for (int shift : {0, 8, 16}) {
    const int expected = (channel(d, shift) * (256 - 128) + channel(c, shift) * 128) >> 8;
    EXPECT_EQ(channel(pixel, shift), expected) << shift;
  }
  EXPECT_EQ(shot.Pixel(22 + 45, 3 * 18 + 9), Rgb(kTree));  // beyond the node width
}

TEST_F(TreePaint, CheckCellIsTheSystemDrawing) {
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
  tree->SetRootNodeCount(2);
  PLazyNode node = tree->GetFirst();
  node->CheckType = ctCheckBox;
  node->CheckState = csCheckedNormal;
  const ui::TBitmap shot = Print("checks");
  // The same drawing alone on the tree colour.
  ui::TBitmap alone;
  alone.Create(16, 16);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), alone.Handle());
    const RECT all{0, 0, 16, 16};
    const ui::BrushObject white = ui::MakeSolidBrush(kTree);
    FillRect(dc.Get(), &all, white.Get());
    RECT r{1, 2, 14, 15};
    DrawFrameControl(dc.Get(), &r, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
  }
  const int x0 = 4 + 18, y0 = 9 - 8;  // margin and one level; vertical centre 9
  int differing = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) differing += shot.Pixel(x0 + x, y0 + y) != alone.Pixel(x, y);
  EXPECT_EQ(differing, 0);
  // The unchecked second row looks different.
  int differs = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) differs += shot.Pixel(x0 + x, 18 + y0 + y) != alone.Pixel(x, y);
  EXPECT_GT(differs, 0);
}

}  // namespace
}  // namespace kv
