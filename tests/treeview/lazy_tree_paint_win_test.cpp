// Painting of the tree, printed into a bitmap through WM_PRINTCLIENT and
// probed pixel by pixel: tree lines, buttons, check cells, selection looks,
// the focus rectangle, grid lines, tall rows and selected-only painting.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/treeview/save_shot_win.h"
#include "tests/treeview/tree_on_form_win.h"
#include "tests/ui/ui_test_util.h"
#include "treeview/check_images_win.h"
#include "treeview/lazy_trees_win.h"
#include "treeview/theme_services_win.h"
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

// The common-controls version the layer reports, for one test.
struct ComCtl {
  explicit ComCtl(int version) {
    ui::SetComCtlVersionProvider([version] { return version; });
    ThemeServices().UpdateThemes();
  }
  ~ComCtl() {
    ui::SetComCtlVersionProvider(nullptr);
    ThemeServices().UpdateThemes();
  }
};

class TreePaint : public ::testing::Test {
 protected:
  explicit TreePaint(int version = 581) : comCtl(version) {}
  void SetUp() override {
    tree = &test::PlaceTree<TLazyDrawTree>(form);
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
    ui::TBitmap shot = test::PrintClient(tree->Handle());
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

  ComCtl comCtl;
  ui::TForm form;
  TLazyDrawTree* tree = nullptr;
  PLazyNode first = nullptr, second = nullptr;
};

class TreePaintThemed : public TreePaint {
 protected:
  TreePaintThemed() : TreePaint(600) {}
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

// Rows are composed in the pixel format asked for, in 32 bits where blending
// needs them; lines and buttons come out alike in every format that holds
// their colours.
TEST_F(TreePaint, RowsTakeTheRequestedPixelFormatUnlessBlending) {
  MakeNodes();
  std::vector<int> depths;
  tree->OnBeforeItemPaint = [&](TBaseLazyTree&, HDC dc, PLazyNode, const RECT&, bool&) {
    BITMAP bm{};
    GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof bm, &bm);
    depths.push_back(bm.bmBitsPixel);
  };
  auto paint = [&](TPixelFormat format) {
    depths.clear();
    ui::TBitmap shot;
    shot.Create(200, 120);
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
    tree->PaintTree(dc.Get(), RECT{0, 0, 200, 120}, POINT{0, 0}, kPaintRequestOptions, format);
    return shot;
  };
  const ui::TBitmap reference = paint(TPixelFormat::pf32bit);
  ASSERT_FALSE(depths.empty());
  EXPECT_EQ(depths.front(), 32);
  auto same = [&](const ui::TBitmap& shot) {
    int differ = 0;
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 200; ++x) differ += shot.Pixel(x, y) != reference.Pixel(x, y);
    return differ;
  };
  EXPECT_EQ(same(paint(TPixelFormat::pf24bit)), 0);
  EXPECT_EQ(depths.front(), 24);
  EXPECT_EQ(same(paint(TPixelFormat::pfDevice)), 0);
  paint(TPixelFormat::pf16bit);
  EXPECT_EQ(depths.front(), 16);
  Options(toUseBlendedSelection);
  paint(TPixelFormat::pf16bit);
  EXPECT_EQ(depths.front(), 32);
}

// Under toAutoHideButtons a node whose children are all hidden shows no
// button; children added afterwards bring it back, also when the parent's
// last child was deleted before.
TEST_F(TreePaint, AutoHiddenButtonsComeBackWithVisibleChildren) {
  MakeNodes();
  auto& o = tree->TreeOptions();
  o.SetAutoOptions(o.AutoOptions() | toAutoHideButtons);
  // The button's left edge at x = 4: all 9 pixels in the line colour, or none.
  auto buttonEdge = [](const ui::TBitmap& shot, int row) {
    int pixels = 0;
    for (int y = 0; y < 9; ++y) pixels += shot.Pixel(4, row * 18 + 5 + y) == Rgb(kLines);
    return pixels;
  };
  tree->SetNodeVisible(first->FirstChild, false);
  tree->SetNodeVisible(first->LastChild, false);
  ui::TBitmap shot = Print("autohide_hidden");
  EXPECT_EQ(buttonEdge(shot, 0), 0);  // rows: first, second, third
  EXPECT_EQ(buttonEdge(shot, 1), 9);

  tree->SetChildCount(first, 3);      // one visible child joins the hidden two
  tree->DeleteNode(second->FirstChild);
  tree->SetChildCount(second, 2);     // children again after the last one went
  shot = Print("autohide_back");
  EXPECT_EQ(buttonEdge(shot, 0), 9);  // rows: first, its new child, second, third
  EXPECT_EQ(shot.Pixel(8, 5 + 2), Rgb(kTree));  // expanded: minus
  EXPECT_EQ(buttonEdge(shot, 2), 9);
  EXPECT_EQ(shot.Pixel(8, 2 * 18 + 5 + 2), Rgb(kInk));  // collapsed: plus
  EXPECT_EQ(buttonEdge(shot, 3), 0);
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

TEST_F(TreePaint, OnlyRowsInTheAreaAreDrawnAndBandsReplaceLines) {
  MakeNodes();
  int draws = 0;
  tree->OnDrawNode = [&](TBaseLazyTree&, const TLTPaintInfo&) { ++draws; };
  ui::TBitmap shot;
  shot.Create(300, 200);
  const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
  const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
  // Rows 1 to 3 meet the band from y = 20 to 60.
  tree->PaintTree(dc.Get(), RECT{0, 20, 300, 60}, POINT{0, 0}, kPaintRequestOptions);
  EXPECT_EQ(draws, 3);

  // Bands: in the children's rows a solid-looking grid column at the level's
  // left edge instead of the dotted tree line in its middle.
  Options(toShowHorzGridLines);
  tree->SetLineMode(TLTLineMode::lmBands);
  const ui::TBitmap bands = Print("bands");
  int gridAtEdge = 0, lineInMiddle = 0;
  for (int y = 18; y < 54; ++y) {
    gridAtEdge += bands.Pixel(18, y) == Rgb(kGrid);
    lineInMiddle += bands.Pixel(27, y) == Rgb(kLines);
  }
  EXPECT_GT(gridAtEdge, 10);
  EXPECT_EQ(lineInMiddle, 0);
}

TEST_F(TreePaint, EraseActionsAndTiledBackground) {
  MakeNodes();
  // A 4x4 background: each pixel its own colour, so the tile offset shows.
  ui::TBitmap picture;
  picture.Create(4, 4);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), picture.Handle());
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) SetPixel(dc.Get(), x, y, RGB(10 + x, 20 + y, 30));
  }
  tree->SetBackground(picture.Handle());
  tree->SetBackgroundOffset(1, 0);
  Options(toShowBackground, toShowTreeLines | toShowButtons);
  tree->OnBeforeItemErase = [&](TBaseLazyTree&, HDC, PLazyNode node, const RECT&, COLORREF& color,
                                TItemEraseAction& action) {
    if (node == first) {
      action = TItemEraseAction::eaColor;
      color = RGB(1, 2, 3);
    } else if (node == second) {
      action = TItemEraseAction::eaNone;  // the row keeps what the bitmap held
    }
  };
  const ui::TBitmap shot = Print("background");
  EXPECT_EQ(shot.Pixel(100, 5), 0x010203u);
  // Rows and the area below continue one tiling: (x + 1) mod 4, y mod 4.
  for (int y : {18 + 1, 18 + 2, 36 + 3, 100, 101}) {
    for (int x : {0, 1, 2, 3, 150}) {
      EXPECT_EQ(shot.Pixel(x, y), Rgb(RGB(10 + (x + 1) % 4, 20 + y % 4, 30))) << x << "," << y;
    }
  }
  // The tree's own erasing (eaDefault) fills with the tree colour, whatever
  // colour the owner offered.
  Options(0, toShowBackground);
  tree->OnBeforeItemErase = [&](TBaseLazyTree&, HDC, PLazyNode, const RECT&, COLORREF& color, TItemEraseAction&) {
    color = RGB(1, 2, 3);
  };
  EXPECT_EQ(Print("erase_default").Pixel(100, 5), Rgb(kTree));
}

// The bevel and the border ring sit inside the client edge and outside the
// header and the scroll bar; the area below the last row is the user's to
// paint when asked for.
TEST(TreeFrame, BevelAndBorderRingAroundHeaderAndScrollBar) {
  const ComCtl comCtl(581);
  constexpr COLORREF kBorder = RGB(0xC0, 0x20, 0x80), kBelow = RGB(0x10, 0x90, 0x30);
  constexpr int kRing = 4, kHeader = 20;
  ui::TForm form;
  form.SetBounds(40, 40, 360, 300);
  auto& tree = form.Create<TLazyDrawTree>();
  tree.SetParent(&form);
  tree.SetBounds(10, 10, 300, 220);
  tree.SetColor(ui::clWhite);
  tree.Colors().SetColor(TLTColors::BorderColor, kBorder);
  tree.Header().SetHeight(kHeader);
  tree.Header().Columns().Add().SetWidth(150);
  tree.Header().SetOptions(tree.Header().Options() | hoVisible);
  tree.SetRootNodeCount(3);
  tree.OnPaintBackground = [&](TBaseLazyTree&, HDC dc, const RECT& r, bool& handled) {
    const ui::BrushObject brush = ui::MakeSolidBrush(kBelow);
    FillRect(dc, &r, brush.Get());
    handled = true;
  };
  form.Show();
  HWND hwnd = tree.Handle();
  RECT before{};
  GetClientRect(hwnd, &before);
  tree.SetBevels(TBevelKind::bkTile, TBevelCut::bvRaised, TBevelCut::bvLowered);
  tree.SetBorderWidth(kRing);
  tree.SetRootNodeCount(100);  // a vertical scroll bar
  const ui::TBitmap shot = ui::test::Screenshot(form, "tree_frame_bevel_border");

  const int edge = GetSystemMetrics(SM_CXEDGE), inset = edge + 2 + kRing;
  RECT window{}, formWindow{};
  GetWindowRect(hwnd, &window);
  GetWindowRect(form.Handle(), &formWindow);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  EXPECT_EQ(origin.x - window.left, inset);
  EXPECT_EQ(origin.y - window.top, inset + kHeader);
  const RECT header = tree.Header().HeaderRect();
  EXPECT_EQ(header.left, inset);
  EXPECT_EQ(header.top, inset);
  EXPECT_EQ(header.right, window.right - window.left - inset);
  auto at = [&](int x, int y) {  // window coordinates
    return shot.Pixel(window.left - formWindow.left + x, window.top - formWindow.top + y);
  };
  const int w = window.right - window.left, h = window.bottom - window.top;
  // The ring on all four sides, beside the header and beyond the scroll bar.
  for (POINT p : {POINT{edge + 2, h / 2}, POINT{w - 1 - edge - 2, h / 2}, POINT{w / 2, edge + 2},
                  POINT{w / 2, inset - 1}, POINT{w / 2, h - 1 - edge - 2}, POINT{inset - 1, inset + 5}})
    EXPECT_EQ(at(p.x, p.y), Rgb(kBorder)) << p.x << "," << p.y;
  EXPECT_NE(at(w - inset - 2, h / 2), Rgb(kBorder));  // the scroll bar
  EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(window.left + edge + 3, window.top + h / 2)),
            HTBORDER);
  EXPECT_NE(at(inset + 1, inset + kHeader / 2), Rgb(kBorder));  // the header
  // The bevel is the system's edge drawn alone inside the client edge.
  {
    const ui::WindowDc screen = ui::GetClientDc(nullptr);
    const ui::MemoryDc alone = ui::CreateMemoryDc(screen.Get());
    const ui::BitmapObject bitmap(CreateCompatibleBitmap(screen.Get(), w, h));
    const ui::SelectedObject selected = ui::SelectInto(alone.Get(), bitmap.Get());
    RECT r{edge, edge, w - edge, h - edge};
    DrawEdge(alone.Get(), &r, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
    for (POINT p : {POINT{edge, h / 2}, POINT{edge + 1, h / 2}, POINT{w - edge - 1, h / 2},
                    POINT{w / 2, edge}, POINT{w / 2, h - edge - 2}})
      EXPECT_EQ(at(p.x, p.y), Rgb(GetPixel(alone.Get(), p.x, p.y))) << p.x << "," << p.y;
  }
  // A frame update paints only inside its region: the ring's right side,
  // outside the region, keeps what was there.
  {
    const ui::WindowDc frame = ui::GetFrameDc(hwnd);
    const ui::BrushObject black = ui::MakeSolidBrush(RGB(0, 0, 0));
    const RECT all{0, 0, w, h};
    FillRect(frame.Get(), &all, black.Get());
  }
  ui::test::Pump(100);
  const ui::RegionObject leftHalf(CreateRectRgn(window.left, window.top, window.left + w / 2, window.bottom));
  SendMessageW(hwnd, WM_NCPAINT, reinterpret_cast<WPARAM>(leftHalf.Get()), 0);
  ui::test::Pump(100);
  ui::TBitmap partly;
  partly.CaptureScreen(window);
  EXPECT_EQ(partly.Pixel(edge + 2, h / 2), Rgb(kBorder));
  EXPECT_EQ(partly.Pixel(w / 4, edge + 2), Rgb(kBorder));
  EXPECT_EQ(partly.Pixel(w - 1 - edge - 2, h / 2), 0u);
  EXPECT_EQ(partly.Pixel(3 * w / 4, edge + 2), 0u);
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);

  // Taking the frame away gives the client its room back.
  tree.SetBorderWidth(0);
  tree.SetBevels(TBevelKind::bkNone, TBevelCut::bvRaised, TBevelCut::bvLowered);
  tree.SetRootNodeCount(3);
  RECT after{};
  GetClientRect(hwnd, &after);
  EXPECT_EQ(after.bottom, before.bottom);
  EXPECT_EQ(after.right, before.right);

  // Below the last of three rows the handler's colour; it got that area.
  RECT asked{};
  tree.OnPaintBackground = [&](TBaseLazyTree&, HDC dc, const RECT& r, bool& handled) {
    asked = r;
    const ui::BrushObject brush = ui::MakeSolidBrush(kBelow);
    FillRect(dc, &r, brush.Get());
    handled = true;
  };
  const ui::TBitmap plain = ui::test::Screenshot(form, "tree_frame_background");
  const int rows = 3 * static_cast<int>(tree.DefaultNodeHeight());
  EXPECT_EQ(asked.bottom - asked.top, after.bottom - rows);
  EXPECT_EQ(ui::test::PixelAt(plain, form, hwnd, 20, rows + 2), Rgb(kBelow));
  EXPECT_EQ(ui::test::PixelAt(plain, form, hwnd, 20, after.bottom - 1), Rgb(kBelow));
  EXPECT_NE(ui::test::PixelAt(plain, form, hwnd, 20, rows - 2), Rgb(kBelow));
  // A part of the area is offered with its x in the window.
  const RECT part{40, rows + 4, 100, rows + 30};
  InvalidateRect(hwnd, &part, FALSE);
  UpdateWindow(hwnd);
  EXPECT_EQ(asked.left, part.left);
  EXPECT_EQ(asked.right, part.right);
}

// WM_PAINT with a device context asks for a copy: the whole client area goes
// into that context, the window's own update stays pending.
TEST_F(TreePaint, PaintMessageWithAContextPaintsACopy) {
  MakeNodes();
  const ui::TBitmap printed = Print("copy_printed");
  HWND hwnd = tree->Handle();
  RECT client{};
  GetClientRect(hwnd, &client);
  ui::TBitmap copy;
  copy.Create(client.right, client.bottom);
  const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
  const ui::SelectedObject selected = ui::SelectInto(dc.Get(), copy.Handle());
  const ui::BrushObject sentinel = ui::MakeSolidBrush(RGB(255, 0, 255));
  FillRect(dc.Get(), &client, sentinel.Get());
  ValidateRect(hwnd, nullptr);
  InvalidateRect(hwnd, nullptr, FALSE);
  SendMessageW(hwnd, WM_PAINT, reinterpret_cast<WPARAM>(dc.Get()), 0);
  GdiFlush();
  int differ = 0;
  for (int y = 0; y < client.bottom; ++y)
    for (int x = 0; x < client.right; ++x) differ += copy.Pixel(x, y) != printed.Pixel(x, y);
  EXPECT_EQ(differ, 0);
  EXPECT_TRUE(GetUpdateRect(hwnd, nullptr, FALSE));
}

TEST_F(TreePaint, RubberBandDottedOrBlended) {
  MakeNodes();
  const COLORREF blend = RGB(0x40, 0x80, 0xC0), border = RGB(0x00, 0x00, 0x80);
  tree->Colors().SetColor(TLTColors::SelectionRectangleBlendColor, blend);
  tree->Colors().SetColor(TLTColors::SelectionRectangleBorderColor, border);
  tree->BeginDrawSelection(150, 10, false);
  tree->CalculateSelectionRect(250, 150);  // over three rows and the area below
  const ui::TBitmap dotted = Print("band_dotted");
  int inverted = 0;
  for (int y = 20; y < 40; ++y) inverted += dotted.Pixel(150, y) == 0x000000;
  EXPECT_EQ(inverted, 10);  // every other pixel of the left edge, also across rows
  EXPECT_EQ(dotted.Pixel(200, 100), Rgb(kTree));

  tree->SetDrawSelectionMode(TLTDrawSelectionMode::smBlendedRectangle);
  const ui::TBitmap blended = Print("band_blended");
  for (int y : {30, 100, 140}) {  // in a row and below the last one
    const std::uint32_t p = blended.Pixel(200, y);
    const std::uint32_t c = Rgb(blend);
    for (int shift : {0, 8, 16}) {
      const int expected = (255 * (256 - 128) + static_cast<int>((c >> shift) & 0xFF) * 128) >> 8;
      EXPECT_EQ(static_cast<int>((p >> shift) & 0xFF), expected) << y << " " << shift;
    }
    EXPECT_EQ(blended.Pixel(150, y), Rgb(border)) << y;
  }
  EXPECT_EQ(blended.Pixel(260, 100), Rgb(kTree));
  tree->EndDrawSelection();
}

TEST_F(TreePaint, MeasuredOncePerNode) {
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() | toVariableNodeHeight);
  std::map<PLazyNode, int> asked;
  tree->OnMeasureItem = [&](TBaseLazyTree&, HDC dc, PLazyNode node, int& height) {
    EXPECT_NE(dc, nullptr);
    ++asked[node];
    if (node->Index == 0 && node->Parent == tree->RootNode()) height = 24;
  };
  MakeNodes();
  int painted = 0;
  tree->OnBeforePaint = [&](TBaseLazyTree&, HDC) { ++painted; };
  Print("measured_1");
  const ui::TBitmap shot = Print("measured_2");
  EXPECT_EQ(painted, 2);
  EXPECT_EQ(asked.size(), 6u);  // every node, the hidden child of the collapsed one too
  for (const auto& [node, count] : asked) EXPECT_EQ(count, 1);
  EXPECT_EQ(tree->NodeHeight(first), 24u);
  // The children's line starts in the second row, now at 24.
  EXPECT_EQ(shot.Pixel(27, 23), Rgb(kTree));
  EXPECT_TRUE(shot.Pixel(27, 24) == Rgb(kLines) || shot.Pixel(27, 25) == Rgb(kLines));
}

// The owner hears of every paint, also of an empty area, and hears its end
// while the tree still paints.
TEST_F(TreePaint, EvenAnEmptyAreaIsBracketedByTheOwnersPaintEvents) {
  MakeNodes();
  std::vector<std::string> events;
  tree->OnBeforePaint = [&](TBaseLazyTree&, HDC) { events.push_back("before"); };
  tree->OnAfterPaint = [&](TBaseLazyTree& t, HDC) {
    events.push_back(t.TreeStates().Contains(tsPainting) ? "after, painting" : "after");
  };
  HDC dc = GetDC(tree->Handle());
  tree->PaintTree(dc, RECT{0, 0, 0, 0}, POINT{0, 0}, kPaintRequestOptions);
  tree->PaintTree(dc, RECT{0, 0, 50, 50}, POINT{0, 0}, kPaintRequestOptions);
  ReleaseDC(tree->Handle(), dc);
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after, painting", "before", "after, painting"}));
  EXPECT_FALSE(tree->TreeStates().Contains(tsPainting));
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

// The 16x16 cells of a strip resource over the tree colour, mapped as on loading.
std::uint32_t StripPixel(const ui::TBitmap& strip, int index, int x, int y) {
  const std::uint32_t p = strip.Pixel(x, index * 16 + y);
  if (p == strip.Pixel(0, 0)) return Rgb(kTree);
  if (p == 0xFFFFFF) return Rgb(GetSysColor(COLOR_WINDOW));
  if (p == 0xC0C0C0) return Rgb(GetSysColor(COLOR_BTNFACE));
  if (p == 0x808080) return Rgb(GetSysColor(COLOR_BTNSHADOW));
  if (p == 0x000000) return Rgb(GetSysColor(COLOR_BTNTEXT));
  return p;
}

TEST_F(TreePaint, CheckCellsShowTheImageOfTheirKind) {
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
  tree->SetRootNodeCount(4);
  struct Row {
    TCheckType type;
    TCheckState state;
    bool disabled;
    int index;
  };
  const Row rows[] = {{ctCheckBox, csCheckedNormal, false, 13},
                      {ctTriStateCheckBox, csMixedNormal, false, 17},
                      {ctRadioButton, csCheckedNormal, false, 5},
                      {ctCheckBox, csUncheckedNormal, true, 12}};
  int i = 0;
  for (PLazyNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n), ++i) {
    n->CheckType = rows[i].type;
    n->CheckState = rows[i].state;
    if (rows[i].disabled) n->States.Include(nsDisabled);
  }
  ui::TBitmap strip;
  strip.LoadFromResource("LT_CHECK_LIGHT");
  const ui::TBitmap shot = Print("checks_light");
  const int x0 = 4 + 18, y0 = 9 - 8;  // margin and one level; vertical centre 9
  for (int r = 0; r < 4; ++r) {
    int differing = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        differing += shot.Pixel(x0 + x, r * 18 + y0 + y) != StripPixel(strip, rows[r].index, x, y);
    EXPECT_EQ(differing, 0) << "row " << r;
  }

  // The system set: the frame control drawn alone into a cell of the same size.
  tree->SetCheckImageKind(ckSystem);
  const ui::TBitmap system = Print("checks_system");
  const int size = GetSystemMetrics(SM_CXMENUCHECK) + 3;
  ui::TBitmap alone;
  alone.Create(size, size);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), alone.Handle());
    const RECT all{0, 0, size, size};
    const ui::BrushObject white = ui::MakeSolidBrush(kTree);
    FillRect(dc.Get(), &all, white.Get());
    RECT r{1, 2, size - 2, size - 1};
    DrawFrameControl(dc.Get(), &r, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
  }
  const int sy0 = 9 - size / 2;
  int differing = 0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) differing += system.Pixel(x0 + x, sy0 + y) != alone.Pixel(x, y);
  EXPECT_EQ(differing, 0);
}

// A themed part drawn alone on the tree colour, size x size.
ui::TBitmap ThemedAlone(const TThemedElementDetails& details, int size) {
  ui::TBitmap alone;
  alone.Create(size, size);
  const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
  const ui::SelectedObject selected = ui::SelectInto(dc.Get(), alone.Handle());
  const RECT all{0, 0, size, size};
  const ui::BrushObject white = ui::MakeSolidBrush(kTree);
  FillRect(dc.Get(), &all, white.Get());
  ThemeServices().DrawElement(dc.Get(), details, all);
  return alone;
}

TEST_F(TreePaintThemed, ChecksAndButtonsAreTheStyleParts) {
  ASSERT_TRUE(ThemeServices().ThemesEnabled());
  ASSERT_TRUE(tree->TreeStates().Contains(tsUseThemes));
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
  tree->SetRootNodeCount(2);
  PLazyNode node = tree->GetFirst();
  node->CheckType = ctCheckBox;
  node->CheckState = csCheckedNormal;
  tree->AddChild(node);
  const ui::TBitmap shot = Print("themed");
  TThemedElementDetails check;
  check.element = TThemedElement::teButton;
  check.part = 3;  // check box
  check.state = 13 - 8;
  const ui::TBitmap alone = ThemedAlone(check, 16);
  const int x0 = 4 + 18, y0 = 9 - 8;
  int differing = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) differing += shot.Pixel(x0 + x, y0 + y) != alone.Pixel(x, y);
  EXPECT_EQ(differing, 0);
  // The collapsed button is the closed glyph (drawn over the tree colour).
  const ui::TBitmap glyph = ThemedAlone(GetElementDetails(TThemedTreeview::ttGlyphClosed), 9);
  differing = 0;
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) differing += shot.Pixel(4 + x, 5 + y) != glyph.Pixel(x, y);
  EXPECT_EQ(differing, 0);
}

TEST(CheckImages, AMissingStripIsAnInternalAssertion) {
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 4, 0);
  try {
    ConvertImageList(list, "LT_NOT_THERE", true);
    ADD_FAILURE();
  } catch (const ELazyTreeAssertion& e) {
    EXPECT_STREQ(e.what(), "Internal image \"LT_NOT_THERE\" is missing or corrupt.");
  }
  ConvertImageList(list, "LT_UTILITIES", false);
  EXPECT_EQ(ImageList_GetImageCount(list), 3);
  ConvertImageList(list, "LT_CHECK_DARK", false);
  EXPECT_EQ(ImageList_GetImageCount(list), 25);
  ImageList_Destroy(list);
  // The system's sets: its check mark's size plus 3 each way, on white.
  for (TCheckImageKind kind : {ckSystem, ckSystemFlat}) {
    HIMAGELIST system = CheckImagesFor(kind, nullptr);
    int w = 0, h = 0;
    ASSERT_TRUE(ImageList_GetIconSize(system, &w, &h));
    EXPECT_EQ(w, GetSystemMetrics(SM_CXMENUCHECK) + 3);
    EXPECT_EQ(h, GetSystemMetrics(SM_CYMENUCHECK) + 3);
    EXPECT_EQ(ImageList_GetBkColor(system), RGB(255, 255, 255));
    EXPECT_EQ(ImageList_GetImageCount(system), 25);
  }
  // Every shared list holds 32-bit images with a mask.
  for (TCheckImageKind kind : {ckLightCheck, ckDarkCheck, ckLightTick, ckDarkTick, ckFlat, ckXP, ckSystem,
                               ckSystemFlat}) {
    IMAGEINFO info{};
    ASSERT_TRUE(ImageList_GetImageInfo(CheckImagesFor(kind, nullptr), 1, &info)) << kind;
    BITMAP image{};
    GetObjectW(info.hbmImage, sizeof image, &image);
    EXPECT_EQ(image.bmBitsPixel, 32) << kind;
    EXPECT_NE(info.hbmMask, nullptr) << kind;
  }
}

// The buttons are made in the tree's colours and font: changing them after the
// first paint shows in the next one, and a system colour change sent to the
// form reaches the tree.
TEST_F(TreePaint, ButtonsFollowColourFontAndSystemColourChanges) {
  MakeNodes();
  Print("buttons_before");
  constexpr COLORREF kNewTree = RGB(255, 255, 0), kNewLines = RGB(200, 0, 0), kNewInk = RGB(0, 0, 255);
  tree->SetColor(kNewTree);
  tree->Colors().SetColor(TLTColors::TreeLineColor, kNewLines);
  ui::TFontSpec font = tree->Font();
  font.color = kNewInk;
  tree->SetFont(font);
  const ui::TBitmap shot = Print("buttons_after");
  const int bx = 4, by = 5;
  EXPECT_EQ(shot.Pixel(bx, by), Rgb(kNewLines));             // the frame
  EXPECT_EQ(shot.Pixel(bx + 2, by + 2), Rgb(kNewTree));      // the fill
  EXPECT_EQ(shot.Pixel(bx + 4, by + 4), Rgb(kNewInk));       // the bar
  EXPECT_EQ(shot.Pixel(bx + 4, 3 * 18 + by + 2), Rgb(kNewInk));  // the plus

  int sysColorChanges = 0;
  const ui::TWndMethod old = tree->WindowProc();
  tree->SetWindowProc([&](ui::TMessage& m) {
    if (m.msg == ui::CM_SYSCOLORCHANGE) ++sysColorChanges;
    old(m);
  });
  SendMessageW(form.Handle(), WM_SYSCOLORCHANGE, 0, 0);
  tree->SetWindowProc(old);
  EXPECT_EQ(sysColorChanges, 1);
  EXPECT_EQ(Print("buttons_syscolor").Pixel(bx, by), Rgb(kNewLines));
}

}  // namespace
}  // namespace kv
