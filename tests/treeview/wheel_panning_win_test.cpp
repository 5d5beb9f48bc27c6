// Wheel panning by the middle button: the symbol window, the direction
// cursors, sticky and held panning, and scrolling towards the mouse.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/treeview/tree_on_form_win.h"
#include "tests/ui/ui_test_util.h"
#include "treeview/lazy_trees_win.h"
#include "treeview/wheel_panning_win.h"
#include "ui/gdi_win.h"
#include "ui/graphics_win.h"

namespace kv {
namespace {

using ui::test::Pump;

TEST(PanningCursor, NamesByDirectionAndRoom) {
  const struct {
    int dx, dy;
    bool horizontal, vertical;
    const char* name;
  } cases[] = {
      {0, 0, true, true, "LT_MOVEALL"}, {8, -8, false, true, "LT_MOVENS"}, {3, 3, true, false, "LT_MOVEEW"},
      {-30, -30, true, true, "LT_MOVENW"}, {-30, 0, true, true, "LT_MOVEW"}, {-30, 30, true, true, "LT_MOVESW"},
      {30, -30, true, true, "LT_MOVENE"}, {30, 8, true, true, "LT_MOVEE"}, {30, 30, true, true, "LT_MOVESE"},
      {0, -30, true, true, "LT_MOVEN"}, {5, 30, true, true, "LT_MOVES"},
      // Only one direction scrolls: the other axis is ignored.
      {-30, 20, false, true, "LT_MOVES"}, {-30, 20, true, false, "LT_MOVEW"}, {9, -30, true, false, "LT_MOVEE"},
  };
  for (const auto& c : cases)
    EXPECT_STREQ(PanningCursorName(c.dx, c.dy, c.horizontal, c.vertical), c.name) << c.dx << "," << c.dy;
}

// The symbol's shape: each row's runs of pixels that are not fuchsia, a run
// at the right edge included; no picture is a failed assertion.
TEST(PanningShape, RunsOfTheOpaquePixels) {
  ui::TBitmap picture;
  picture.Create(5, 2);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), picture.Handle());
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 5; ++x) SetPixel(dc.Get(), x, y, RGB(255, 0, 255));
    for (POINT p : {POINT{0, 0}, POINT{3, 0}, POINT{4, 0}, POINT{2, 1}}) SetPixel(dc.Get(), p.x, p.y, RGB(0, 0, 0));
  }
  HRGN shape = CreateClipRegion(picture.Handle());
  std::string inside;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) inside += PtInRegion(shape, x, y) ? '#' : '.';
  DeleteObject(shape);
  EXPECT_EQ(inside, "#..##" "..#..");
  try {
    CreateClipRegion(nullptr);
    ADD_FAILURE() << "no assertion";
  } catch (const ELazyTreeAssertion& e) {
    EXPECT_STREQ(e.what(), "Invalid wheel panning image.");
  }
}

class TreePanning : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCursorPos(&savedCursor);
    tree = &test::PlaceTree<TLazyDrawTree>(form);
    tree->SetAutoScrollDelay(0);
    form.Show();
    tree->SetRootNodeCount(100);  // taller than the client, not wider
  }
  // The mouse goes back where it was: later tests' key input depends on it.
  void TearDown() override {
    SetCursorPos(savedCursor.x, savedCursor.y);
    Pump(30);
  }
  void Send(UINT msg, POINT p, WPARAM keys = 0) { SendMessageW(tree->Handle(), msg, keys, MAKELPARAM(p.x, p.y)); }
  void MoveTo(POINT p) {
    POINT screen = p;
    ClientToScreen(tree->Handle(), &screen);
    SetCursorPos(screen.x, screen.y);
    Send(WM_MOUSEMOVE, p);
  }
  POINT savedCursor{};
  ui::TForm form;
  TLazyDrawTree* tree = nullptr;
};

TEST_F(TreePanning, AMiddleClickPansUntilTheNextClick) {
  tree->SetCursor(32649);  // the hand
  const POINT origin{150, 100};
  MoveTo(origin);
  Send(WM_MBUTTONDOWN, origin, MK_MBUTTON);
  ASSERT_TRUE(tree->Panning());
  HWND symbol = tree->PanningWindow();
  ASSERT_NE(symbol, nullptr);
  RECT r;
  GetWindowRect(symbol, &r);
  POINT centre = origin;
  ClientToScreen(tree->Handle(), &centre);
  EXPECT_EQ(r.left, centre.x - 16);
  EXPECT_EQ(r.top, centre.y - 16);
  EXPECT_EQ(r.right - r.left, 32);
  // The window is cut to the symbol: its corners are not part of it.
  HRGN shape = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(symbol, shape), ERROR);
  EXPECT_FALSE(PtInRegion(shape, 0, 0));
  EXPECT_TRUE(PtInRegion(shape, 16, 16));
  DeleteObject(shape);
  EXPECT_STREQ(tree->PanningCursorName(), "LT_MOVENS");  // only taller than the client

  // Released without moving: panning goes on; the mouse below scrolls down.
  Send(WM_MBUTTONUP, origin);
  EXPECT_TRUE(tree->Panning());
  MoveTo({origin.x, origin.y + 60});
  EXPECT_STREQ(tree->PanningCursorName(), "LT_MOVES");
  Pump(150);
  EXPECT_LT(tree->OffsetY(), 0);
  // The next click ends it and does nothing else; the owner still hears of
  // the press.
  const PLazyNode focused = tree->FocusedNode();
  int presses = 0;
  tree->OnMouseDown = [&](TBaseLazyTree&, int, unsigned, int, int) { ++presses; };
  Send(WM_LBUTTONDOWN, {10, 10}, MK_LBUTTON);
  EXPECT_TRUE(tree->TreeStates().Contains(tsLeftButtonDown));
  Send(WM_LBUTTONUP, {10, 10});
  tree->OnMouseDown = nullptr;
  EXPECT_EQ(presses, 1);
  EXPECT_FALSE(tree->Panning());
  EXPECT_FALSE(IsWindow(symbol));
  EXPECT_EQ(tree->FocusedNode(), focused);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // the control's cursor again
}

// Each tick moves the view by the mouse's distance from the origin beyond
// the 8-pixel dead zone: the further the mouse, the faster.
TEST_F(TreePanning, EachStepIsTheDistanceBeyondTheDeadZone) {
  const POINT origin{150, 120};
  MoveTo(origin);
  Send(WM_MBUTTONDOWN, origin, MK_MBUTTON);
  Send(WM_MBUTTONUP, origin);
  ASSERT_TRUE(tree->Panning());
  const struct {
    int dy, step;
  } cases[] = {{10, -2}, {100, -92}, {-10, 2}, {-100, 92}};
  for (const auto& c : cases) {
    MoveTo({origin.x, origin.y + c.dy});
    const int before = tree->OffsetY();
    SendMessageW(tree->Handle(), WM_TIMER, kScrollTimer, 0);
    EXPECT_EQ(tree->OffsetY() - before, c.step) << c.dy;
  }
  Send(WM_LBUTTONDOWN, origin, MK_LBUTTON);
  EXPECT_FALSE(tree->Panning());
}

TEST_F(TreePanning, HeldPanningEndsWithTheButtonAndNeedsRoom) {
  const POINT origin{150, 100};
  MoveTo(origin);
  Send(WM_MBUTTONDOWN, origin, MK_MBUTTON);
  MoveTo({origin.x, origin.y - 40});
  EXPECT_FALSE(tree->TreeStates().Contains(tsPanningSticky));
  Send(WM_MBUTTONUP, {origin.x, origin.y - 40});
  EXPECT_FALSE(tree->Panning());
  // Content that fits the client does not pan.
  tree->SetRootNodeCount(2);
  Send(WM_MBUTTONDOWN, origin, MK_MBUTTON);
  EXPECT_FALSE(tree->Panning());
}

}  // namespace
}  // namespace kv
