#include "shell/drop_down_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "base/scope_guard.h"
#include "tests/shell/shell_test_util.h"
#include "tests/ui/ui_test_util.h"

namespace kv {
namespace {

using ui::test::RunLater;

RECT ScreenRect(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return r;
}

RECT WorkArea(HWND window) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
  return info.rcWork;
}

// A form with one control the drop-down opens at.
struct DropDownFixture : ::testing::Test {
  void Place(int formTop, int ownerHeight) {
    form.SetBounds(200, formTop, 300, ownerHeight + 60);
    owner.SetParent(&form);
    owner.SetBounds(10, 10, 250, ownerHeight);
    ASSERT_TRUE(owner.Handle());  // the form stays hidden: showing costs Wine seconds
  }
  ui::TForm form;
  ui::TPanel& owner = form.Create<ui::TPanel>();
};

TEST_F(DropDownFixture, OpensBelowAboveOrShortenedOnTheRoomierSide) {
  const int rows = 8 * 17 + GetSystemMetrics(SM_CYSIZEFRAME);
  const struct {
    int formTop, ownerHeight;
    bool above, shortened;
    int count;
  } cases[] = {{100, 23, false, false, 8}, {880, 23, true, false, 8}, {60, 830, false, true, 8},
               {100, 830, true, true, 8}, {880, 23, true, true, INT_MAX},  // the largest count a program may set
               {100, 23, false, false, 0}, {100, 23, false, false, -3}};   // no rows: the frame alone
  for (const auto& c : cases) {
    Place(c.formTop, c.ownerHeight);
    TDropDownWnd dropDown;
    dropDown.SetDropDownCount(c.count);
    RECT shown{}, ownerRect = ScreenRect(owner.Handle()), screen = WorkArea(owner.Handle());
    uint32_t state = 0;
    RunLater(30, [&] {
      shown = ScreenRect(dropDown.Handle());
      state = dropDown.State();
      EXPECT_TRUE(IsWindowVisible(dropDown.Handle()));
      PostMessageW(dropDown.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    dropDown.RollDown(&owner);
    EXPECT_FALSE(IsWindowVisible(dropDown.Handle()));
    EXPECT_EQ(shown.left, ownerRect.left);
    EXPECT_EQ(shown.right - shown.left, ownerRect.right - ownerRect.left);
    EXPECT_EQ(bool(state & dsOpenedAbove), c.above) << c.formTop;
    if (c.above)
      EXPECT_EQ(shown.bottom, ownerRect.top) << c.formTop;
    else
      EXPECT_EQ(shown.top, ownerRect.bottom) << c.formTop;
    const int unshortened = c.count == 8 ? rows : std::max(c.count, 0) * 17 + GetSystemMetrics(SM_CYSIZEFRAME);
    EXPECT_EQ(dropDown.DropDownCount(), c.count);
    const int expected = !c.shortened ? unshortened : c.above ? ownerRect.top - screen.top : screen.bottom - ownerRect.bottom;
    EXPECT_EQ(shown.bottom - shown.top, expected) << c.formTop;
  }
}

TEST_F(DropDownFixture, RollsUpSelectedOnlyOnEnter) {
  Place(100, 23);
  const struct {
    UINT msg;
    WPARAM wParam;
    bool toForm, selected;
  } cases[] = {{WM_KEYDOWN, VK_ESCAPE, false, false},
               {WM_KEYDOWN, VK_RETURN, false, true},
               {WM_LBUTTONDOWN, MK_LBUTTON, true, false},  // a click outside
               {WM_CANCELMODE, 0, false, false},
               {WM_SYSKEYDOWN, VK_MENU, false, false}};
  for (const auto& c : cases) {
    TDropDownWnd dropDown;
    std::vector<bool> rollUps;
    dropDown.OnRollUp = [&](TDropDownWnd&, bool selected) { rollUps.push_back(selected); };
    RunLater(30, [&] { PostMessageW(c.toForm ? form.Handle() : dropDown.Handle(), c.msg, c.wParam, MAKELPARAM(5, 5)); });
    dropDown.RollDown(&owner);
    EXPECT_EQ(rollUps, std::vector<bool>{c.selected}) << c.msg;
    EXPECT_FALSE(dropDown.DroppedDown());
  }
  // A press on the drop-down's own client area leaves it open.
  {
    TDropDownWnd inside;
    bool open = false;
    RunLater(30, [&] { PostMessageW(inside.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)); });
    RunLater(120, [&] {
      open = inside.DroppedDown();
      PostMessageW(inside.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    inside.RollDown(&owner);
    EXPECT_TRUE(open);
  }
  // Animated, the window still ends in place and visible.
  TDropDownWnd animated;
  animated.SetPopupOptions((kDefaultPopupOptions | poAnimated) & ~poRespectSysAnimationFlag);
  animated.SetRollTime(60);
  bool visible = false;
  RunLater(120, [&] {
    visible = IsWindowVisible(animated.Handle());
    PostMessageW(animated.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  });
  animated.RollDown(&owner);
  EXPECT_TRUE(visible);
  // Disabled: nothing opens.
  TDropDownWnd disabled;
  disabled.SetPopupOptions(kDefaultPopupOptions & ~poEnabled);
  disabled.RollDown(&owner);
  EXPECT_FALSE(disabled.HandleAllocated() && IsWindowVisible(disabled.Handle()));
}

TEST_F(DropDownFixture, GripResizesAwayFromTheOwnerAndNotBelowItsSize) {
  const int side = GetSystemMetrics(SM_CXVSCROLL);
  {
    // The plain drop-down lays out no children: its grip stays hidden.
    Place(100, 23);
    TDropDownWnd plain;
    plain.SetPopupOptions(kDefaultPopupOptions | poSizeable);
    bool gripShown = true;
    RunLater(30, [&] {
      gripShown = plain.Grabber().Visible();
      PostMessageW(plain.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    plain.RollDown(&owner);
    EXPECT_FALSE(gripShown);
  }
  const struct {
    int formTop, dx, dy;
    bool above, rtl;
  } cases[] = {{100, 40, 30, false, false}, {880, 40, -30, true, false}, {100, -1000, -1000, false, false},
               {100, -40, 30, false, true}, {880, -40, -30, true, true}, {100, 1000, -1000, false, true}};
  for (const auto& c : cases) {
    Place(c.formTop, 23);
    const LONG_PTR exStyle = GetWindowLongPtrW(owner.Handle(), GWL_EXSTYLE);
    SetWindowLongPtrW(owner.Handle(), GWL_EXSTYLE, c.rtl ? exStyle | WS_EX_LAYOUTRTL : exStyle & ~WS_EX_LAYOUTRTL);
    TTreeDropDownWnd dropDown;
    dropDown.SetPopupOptions(kDefaultPopupOptions | poSizeable);
    RECT before{}, after{};
    RunLater(30, [&] {
      TSizeGrabber& grip = dropDown.Grabber();
      before = ScreenRect(dropDown.Handle());
      RECT g = ScreenRect(grip.Handle());
      // No border: in the corner away from the owner, mirrored right to left.
      if (c.rtl)
        EXPECT_EQ(g.left, before.left);
      else
        EXPECT_EQ(g.right, before.right);
      EXPECT_EQ(bool(dropDown.State() & dsRightToLeft), c.rtl);
      EXPECT_EQ(c.above ? g.top : g.bottom, c.above ? before.top : before.bottom);
      SetCursorPos(g.left + 2, g.top + 2);
      SendMessageW(grip.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
      SetCursorPos(g.left + 2 + c.dx, g.top + 2 + c.dy);
      SendMessageW(grip.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(2, 2));
      SendMessageW(grip.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
      after = ScreenRect(dropDown.Handle());
      PostMessageW(dropDown.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    dropDown.RollDown(&owner);
    EXPECT_EQ(c.rtl ? after.right : after.left, c.rtl ? before.right : before.left);
    if (c.dx < -100 || c.dx > 100) {
      EXPECT_EQ(after.right - after.left, side);
      EXPECT_EQ(after.bottom - after.top, side);
      continue;
    }
    EXPECT_EQ(c.rtl ? after.left : after.right, (c.rtl ? before.left : before.right) + c.dx);
    EXPECT_EQ(c.above ? after.bottom : after.top, c.above ? before.bottom : before.top);  // the owner's edge stays
    EXPECT_EQ(c.above ? after.top : after.bottom, (c.above ? before.top : before.bottom) + c.dy);
  }
}

std::wstring ParsingName(TCustomLazyExplorerTree& tree, PLazyNode node) {
  TNamespace* ns = nullptr;
  return tree.ValidateNamespace(node, ns) ? ns->GetNameForParsing() : L"?";
}

// Folder parsing names of a folder's children.
std::vector<std::wstring> Folders(TNamespace& folder) {
  std::vector<std::wstring> out;
  folder.EnumerateFolder(true, false, false, [&](TPidl child, TNamespace& parent, bool&) {
    out.push_back(TNamespace(std::move(child), &parent).GetNameForParsing());
    return true;
  });
  return out;
}

// A descendant's tree factory is the one the drop-down uses.
class OwnTree : public TPopupExplorerTree {
 public:
  using TPopupExplorerTree::TPopupExplorerTree;
};
class OwnDropDown : public TPopupExplorerDropDown {
 protected:
  std::unique_ptr<TPopupExplorerTree> CreatePopupExplorerTree() override { return std::make_unique<OwnTree>(*this); }
};

TEST(ExplorerDropDown, ADescendantMakesItsOwnTree) {
  OwnDropDown dropDown;
  EXPECT_NE(dynamic_cast<OwnTree*>(&dropDown.ExplorerTree()), nullptr);
  EXPECT_EQ(&dropDown.ExplorerTree(), &dropDown.ExplorerTree());
}

TEST_F(DropDownFixture, ClassicExplorerDropDownListsTwoLevelsAndThePath) {
  Place(100, 23);
  TPopupExplorerDropDown dropDown;
  auto target = test::Item(L"enum\\alpha");
  dropDown.SetSelectPIDL(target->AbsolutePIDL(), true);
  std::set<std::wstring> expected;
  for (const std::wstring& first : Folders(*DesktopFolder())) {
    expected.insert(first);
    auto item = TNamespace::CreateFromFileName(first);
    for (const std::wstring& second : Folders(*item)) expected.insert(second);
  }
  for (const wchar_t* path : {L"", L"\\enum", L"\\enum\\alpha"}) expected.insert(test::kFixture + path);
  std::set<std::wstring> listed;
  std::wstring focused, next, afterTab, chosen;
  uint32_t slow = 0, fast = 0, inside = 0;
  dropDown.OnFolderSelected = [&](TNamespace& folder) { chosen = folder.GetNameForParsing(); };
  TPopupExplorerTree& tree = dropDown.ExplorerTree();
  RunLater(50, [&] {
    for (PLazyNode node = tree.GetFirst(); node; node = tree.GetNext(node)) {
      EXPECT_TRUE(tree.Expanded(node) || node->ChildCount == 0);
      const std::wstring name = ParsingName(tree, node);
      if (tree.GetNodeLevel(node) > 0) listed.insert(name);
    }
    focused = ParsingName(tree, tree.FocusedNode());
    next = ParsingName(tree, tree.GetNextVisible(tree.FocusedNode()));
    ui::TBitmap shot;
    shot.CaptureScreen(ScreenRect(dropDown.Handle()));
    test::KeepShot(shot, "explorer_drop_down_classic");
    PostMessageW(tree.Handle(), WM_KEYDOWN, VK_TAB, 0);
    RunLater(30, [&] {
      afterTab = ParsingName(tree, tree.FocusedNode());
      // Auto-scroll: slowly just above the tree, fast far below, not inside.
      SendMessageW(tree.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, -5));
      slow = dropDown.State();
      SendMessageW(tree.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, tree.ClientHeight() + 40));
      fast = dropDown.State();
      SendMessageW(tree.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
      inside = dropDown.State();
      PostMessageW(tree.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    });
  });
  dropDown.RollDown(&owner);
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(focused, test::kFixture + L"\\enum\\alpha");
  EXPECT_EQ(afterTab, next);  // Tab went down a row
  EXPECT_EQ(slow & (dsScrollingUp | dsScrollingDown | dsSlowTimer | dsFastTimer), dsScrollingUp | dsSlowTimer);
  EXPECT_EQ(fast & (dsScrollingUp | dsScrollingDown | dsSlowTimer | dsFastTimer), dsScrollingDown | dsFastTimer);
  EXPECT_EQ(inside & (dsScrollingUp | dsScrollingDown | dsSlowTimer | dsFastTimer), 0u);
  // The mouse moved inside over a node: that node was chosen.
  EXPECT_FALSE(chosen.empty());
  EXPECT_FALSE(tree.Active());
}

TEST_F(DropDownFixture, ScrollBarFollowsTheTreeAndDragsIt) {
  Place(100, 23);
  TPopupExplorerDropDown dropDown;
  dropDown.SetDropDownCount(4);
  dropDown.SetPopupOptions(kDefaultPopupOptions & ~poThemeAware);
  TPopupExplorerTree& tree = dropDown.ExplorerTree();
  bool shown = false;
  int offset = 1, lowest = 0;
  RunLater(50, [&] {
    TOwnerDrawScrollbar& bar = dropDown.Scrollbar();
    shown = bar.Visible() && IsWindowVisible(bar.Handle());
    EXPECT_EQ(bar.Max(), static_cast<int>(tree.RangeY()));
    EXPECT_EQ(bar.PageSize(), tree.ClientHeight());
    const TScrollbarGeometry g = bar.Geometry();
    SendMessageW(bar.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, g.ThumbCenter()));
    SendMessageW(bar.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, g.Track().bottom));
    SendMessageW(bar.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, g.Track().bottom));
    offset = tree.OffsetY();
    lowest = static_cast<int>(tree.RangeY()) - tree.ClientHeight();
    EXPECT_EQ(-offset, bar.Position());
    PostMessageW(dropDown.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  });
  dropDown.RollDown(&owner);
  EXPECT_TRUE(shown);
  EXPECT_GT(lowest, 0);
  EXPECT_EQ(-offset, lowest);  // dragged to the end of the track
}

// The drop-down is a top-level window: it hears of a change of the system's
// colours and its scroll bar's track follows.
TEST_F(DropDownFixture, ASystemColourChangeReachesTheScrollBar) {
  Place(100, 23);
  TPopupExplorerDropDown dropDown;
  dropDown.SetDropDownCount(4);
  dropDown.SetPopupOptions(kDefaultPopupOptions & ~poThemeAware);
  const int element = COLOR_SCROLLBAR;
  const COLORREF old = GetSysColor(element);
  const COLORREF changed = old == RGB(0, 128, 0) ? RGB(128, 0, 128) : RGB(0, 128, 0);
  const ScopeGuard restore([&] { SetSysColors(1, &element, &old); });
  std::vector<COLORREF> track;
  RunLater(50, [&] {
    TOwnerDrawScrollbar& bar = dropDown.Scrollbar();
    EXPECT_TRUE(SetSysColors(1, &element, &changed));
    ui::test::Pump(150);
    const TScrollbarGeometry g = bar.Geometry();
    const RECT shown = ScreenRect(dropDown.Handle());
    ui::TBitmap shot;
    shot.CaptureScreen(shown);
    test::KeepShot(shot, "drop_down_colour_change");
    for (int y : {g.PageBelow().top + 2, g.PageBelow().top + 3}) {
      POINT p{5, y};
      ClientToScreen(bar.Handle(), &p);
      const uint32_t rgb = shot.Pixel(p.x - shown.left, p.y - shown.top);
      track.push_back(RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF));
    }
    PostMessageW(dropDown.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  });
  dropDown.RollDown(&owner);
  ASSERT_EQ(track.size(), 2u);
  EXPECT_TRUE(std::count(track.begin(), track.end(), changed) == 1) << std::hex << track[0] << " " << track[1];
  EXPECT_TRUE(std::count(track.begin(), track.end(), RGB(255, 255, 255)) == 1);
}

TEST_F(DropDownFixture, WithoutItsScrollBarTheGripsTriangleIsCutOutOfTheTree) {
  Place(100, 23);
  TPopupExplorerDropDown dropDown;
  dropDown.SetDropDownCount(40);  // room for every row: no scroll bar
  dropDown.SetPopupOptions((kDefaultPopupOptions | poSizeable) & ~poThemeAware);
  TPopupExplorerTree& tree = dropDown.ExplorerTree();
  bool barShown = true, gripShown = false, overTree = false, treePaintsInTriangle = true, treePaintsOutside = false;
  COLORREF onGrip = 0, besideGrip = 0, squaresOtherHalf = 0;
  RunLater(60, [&] {
    barShown = dropDown.Scrollbar().Visible();
    TSizeGrabber& grip = dropDown.Grabber();
    gripShown = IsWindowVisible(grip.Handle()) != FALSE;
    const RECT g = ScreenRect(grip.Handle()), t = ScreenRect(tree.Handle());
    overTree = g.right == t.right && g.bottom == t.bottom;
    UpdateWindow(dropDown.Handle());
    HDC screen = GetDC(nullptr);
    onGrip = GetPixel(screen, g.right - 2, g.top + 3);          // the grip's face, inside its triangle
    squaresOtherHalf = GetPixel(screen, g.left + 1, g.top + 1);  // outside the triangle: the tree
    besideGrip = GetPixel(screen, g.left - 3, g.bottom - 3);     // the tree's own background
    ReleaseDC(nullptr, screen);
    ui::TBitmap shot;
    shot.CaptureScreen(ScreenRect(dropDown.Handle()));
    test::KeepShot(shot, "drop_down_grip_triangle");
    // The tree's painting leaves the triangle out.
    HDC dc = GetDC(tree.Handle());
    POINT inside{g.right - 2, g.bottom - 2}, outside{g.left + 1, g.top + 1};
    ScreenToClient(tree.Handle(), &inside);
    ScreenToClient(tree.Handle(), &outside);
    treePaintsInTriangle = PtVisible(dc, inside.x, inside.y) != FALSE;
    treePaintsOutside = PtVisible(dc, outside.x, outside.y) != FALSE;
    ReleaseDC(tree.Handle(), dc);
    PostMessageW(dropDown.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  });
  dropDown.RollDown(&owner);
  EXPECT_FALSE(barShown);
  EXPECT_TRUE(gripShown);
  EXPECT_TRUE(overTree);
  EXPECT_EQ(onGrip, GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(squaresOtherHalf, GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(besideGrip, GetSysColor(COLOR_WINDOW));
  EXPECT_FALSE(treePaintsInTriangle);
  EXPECT_TRUE(treePaintsOutside);
}

}  // namespace
}  // namespace kv
