// The header in the tree's frame, driven by the messages the system sends:
// non-client button messages at screen points of the header strip, then the
// captured mouse moves and the button release in client coordinates. Also
// the header's pictures per style and the tree's cells per column.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/treeview/save_shot_win.h"
#include "tests/treeview/tree_on_form_win.h"
#include "tests/ui/ui_test_util.h"
#include "treeview/drag_image_win.h"
#include "treeview/lazy_trees_win.h"
#include "treeview/theme_services_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"
#include "ui/graphics_win.h"

namespace kv {
namespace {

constexpr int kHeaderHeight = 20;

std::uint32_t Rgb(COLORREF c) {
  return (std::uint32_t{GetRValue(c)} << 16) | (std::uint32_t{GetGValue(c)} << 8) | GetBValue(c);
}

void SaveShot(const ui::TBitmap& shot, const std::string& name) { test::SaveShot(shot, "header_" + name); }

class HeaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &test::PlaceTree<TLazyStringTree>(form, {400, 200}, {440, 260});
    tree->OnGetText = [](TBaseLazyTree& t, PLazyNode node, TColumnIndex column, TLSTTextType, std::wstring& text) {
      text = column == 0 ? L"A rather long caption of node " + std::to_wstring(node->Index) : L"x";
      (void)t;
    };
    TLTHeader& header = tree->Header();
    header.SetHeight(kHeaderHeight);
    for (auto [text, width] : {std::pair{L"Name", 100}, {L"Size", 80}, {L"Date", 120}}) {
      TLazyTreeColumn& c = header.Columns().Add();
      c.SetText(text);
      c.SetWidth(width);
    }
    header.SetOptions(header.Options() | hoVisible | hoDblClickResize);
    tree->SetRootNodeCount(3);
    // The drawn looks; the visual style's look is asked for by one test.
    tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() & ~toThemeAware);
    tree->OnHeaderClick = [this](TBaseLazyTree&, TColumnIndex c, int, TShiftState, int, int) { clicks.push_back(c); };
    tree->OnHeaderDblClick = [this](TBaseLazyTree&, TColumnIndex c, int, TShiftState, int, int) {
      doubleClicks.push_back(c);
    };
    tree->OnHeaderDragged = [this](TBaseLazyTree&, TColumnIndex c, int old) { dragged.push_back({c, old}); };
    tree->OnHeaderDraggedOut = [this](TBaseLazyTree&, TColumnIndex c, POINT) { draggedOut.push_back(c); };
    form.Show();
    hwnd = tree->Handle();
  }
  TLTHeader& Header() { return tree->Header(); }
  TLazyTreeColumns& Columns() { return tree->Header().Columns(); }
  // A point of the header strip: x from the header's left, y from its top.
  POINT Screen(int x, int y) {
    POINT p{x, y - kHeaderHeight};
    ClientToScreen(hwnd, &p);
    return p;
  }
  LRESULT Nc(UINT msg, int x, int y) {
    const POINT p = Screen(x, y);
    return SendMessageW(hwnd, msg, HTBORDER, MAKELPARAM(p.x, p.y));
  }
  // A captured mouse message at a header point, in client coordinates.
  void Client(UINT msg, int x, int y) {
    SendMessageW(hwnd, msg, msg == WM_MOUSEMOVE ? MK_LBUTTON : 0, MAKELPARAM(x, y - kHeaderHeight));
  }
  std::vector<TColumnIndex> Order() { return Columns().PositionArray(); }
  // The header as it paints now, kept as a screenshot.
  ui::TBitmap Paint(const std::string& name) {
    RECT window{};
    GetWindowRect(hwnd, &window);
    ui::TBitmap shot;
    shot.Create(window.right - window.left, kHeaderHeight);
    {
      const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
      const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
      Header().PaintHeader(dc.Get(), RECT{0, 0, window.right - window.left, kHeaderHeight}, 0);
    }
    SaveShot(shot, name);
    return shot;
  }
  void Drag(int fromX, int toX, int toY = 10) {
    Nc(WM_NCLBUTTONDOWN, fromX, 10);
    Client(WM_MOUSEMOVE, fromX + 10, 10);
    Client(WM_MOUSEMOVE, toX, toY);
    Client(WM_LBUTTONUP, toX, toY);
  }

  ui::TForm form;
  TLazyStringTree* tree = nullptr;
  HWND hwnd = nullptr;
  std::vector<TColumnIndex> clicks, doubleClicks, draggedOut;
  std::vector<std::pair<TColumnIndex, int>> dragged;
};

TEST_F(HeaderTest, LivesInTheFrameAndAnswersAsBorder) {
  RECT window{};
  GetWindowRect(hwnd, &window);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  EXPECT_EQ(origin.y - window.top, kHeaderHeight);
  const POINT inHeader = Screen(150, 5), inClient = Screen(150, kHeaderHeight + 5);
  EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(inHeader.x, inHeader.y)), HTBORDER);
  EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(inClient.x, inClient.y)), HTCLIENT);
  Header().SetOptions(Header().Options() & ~hoVisible);
  ClientToScreen(hwnd, &(origin = POINT{0, 0}));
  EXPECT_EQ(origin.y, window.top);
  // The rows' cells follow the columns.
  TTreeHitInfo hit;
  tree->GetHitTestInfoAt(150, 5, true, hit);
  EXPECT_EQ(hit.HitColumn, 1);
  tree->GetHitTestInfoAt(350, 5, true, hit);
  EXPECT_EQ(hit.HitColumn, kInvalidColumn);
  EXPECT_TRUE(hit.HitPositions.Contains(hpNowhere));
  const TLazyRect cell = tree->GetDisplayRect(tree->GetFirst(), 1, false);
  EXPECT_EQ(cell.Left, 100);
  EXPECT_EQ(cell.Right, 179);
}

TEST_F(HeaderTest, SplitterDragResizesWithoutAClick) {
  std::vector<TColumnIndex> resized;
  tree->OnColumnResize = [&](TBaseLazyTree&, TColumnIndex c) { resized.push_back(c); };
  Nc(WM_NCLBUTTONDOWN, 102, 10);
  EXPECT_EQ(Header().States() & hstTrackPending, hstTrackPending);
  EXPECT_EQ(GetCapture(), hwnd);
  Client(WM_MOUSEMOVE, 140, 30);
  EXPECT_EQ(Columns().Items(0).Width(), 140);
  EXPECT_EQ(Columns().Items(1).Left(), 140);
  // Nothing scrolls by itself while the column is resized, even with a band pending.
  struct Exposed : TLazyStringTree {
    using TLazyStringTree::CanAutoScroll;
  };
  bool (TBaseLazyTree::*canAutoScroll)() const = &Exposed::CanAutoScroll;
  tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() | toAutoScroll);
  tree->BeginDrawSelection(5, 5, false);
  EXPECT_FALSE((tree->*canAutoScroll)());
  Client(WM_LBUTTONUP, 140, 30);
  EXPECT_EQ(Header().States(), 0);
  EXPECT_TRUE((tree->*canAutoScroll)());
  tree->EndDrawSelection();
  EXPECT_NE(GetCapture(), hwnd);
  EXPECT_EQ(resized, std::vector<TColumnIndex>{0});
  EXPECT_TRUE(clicks.empty());

  // A click inside a column (no move) reports it; Escape ends a resize where it is.
  Nc(WM_NCLBUTTONDOWN, 170, 10);
  Nc(WM_NCLBUTTONUP, 170, 10);
  EXPECT_EQ(clicks, std::vector<TColumnIndex>{1});
  Nc(WM_NCLBUTTONDOWN, 141, 10);
  Client(WM_MOUSEMOVE, 120, 10);
  SendMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(Header().States(), 0);
  EXPECT_EQ(Columns().Items(0).Width(), 120);

  // Focus lost during a resize ends it where it is, and ends a running search too.
  tree->SetIncrementalSearch(TLTIncrementalSearch::isAll);
  tree->SetIncrementalSearchTimeout(100000);
  SendMessageW(hwnd, WM_KEYDOWN, 'A', 1);
  SendMessageW(hwnd, WM_CHAR, L'A', 1);
  ASSERT_EQ(tree->SearchBuffer(), u"A");
  Nc(WM_NCLBUTTONDOWN, 121, 10);
  Client(WM_MOUSEMOVE, 130, 10);
  ASSERT_NE(Header().States(), 0);
  SendMessageW(hwnd, WM_KILLFOCUS, 0, 0);
  EXPECT_EQ(Header().States(), 0);
  EXPECT_EQ(Columns().Items(0).Width(), 130);
  EXPECT_EQ(tree->SearchBuffer(), u"");
  EXPECT_FALSE(tree->TreeStates().Contains(tsSearching));
}

TEST_F(HeaderTest, ReleasesEndThePressedLookAndReportTheMouse) {
  std::vector<int> ups;
  tree->OnHeaderMouseUp = [&](TBaseLazyTree&, int button, TShiftState, int, int) { ups.push_back(button); };
  // A column that does not drag holds no state when pressed: its release in
  // the client still ends the pressed look, and below the same column it clicks it.
  TLazyTreeColumn& size = Columns().Items(1);
  size.SetOptions(size.Options() & ~coDraggable);
  Nc(WM_NCLBUTTONDOWN, 150, 10);
  EXPECT_EQ(Columns().DownIndex(), 1);
  EXPECT_EQ(Header().States(), 0);
  Client(WM_LBUTTONUP, 150, kHeaderHeight + 30);
  EXPECT_EQ(Columns().DownIndex(), -1);
  EXPECT_EQ(clicks, std::vector<TColumnIndex>{1});
  EXPECT_TRUE(ups.empty());
  // Released below another column: no click.
  Nc(WM_NCLBUTTONDOWN, 150, 10);
  Client(WM_LBUTTONUP, 250, kHeaderHeight + 30);
  EXPECT_EQ(clicks, std::vector<TColumnIndex>{1});
  // The middle button's release is reported outside the header too, and clicks nothing there.
  Nc(WM_NCMBUTTONUP, 150, kHeaderHeight + 300);
  EXPECT_EQ(ups, std::vector<int>{2});
  EXPECT_EQ(clicks, std::vector<TColumnIndex>{1});
}

// With ParentFont the tree's font becomes the header's own, and follows it.
TEST_F(HeaderTest, ParentFontCopiesTheTreesFont) {
  ui::TFontSpec spec = tree->Font();
  spec.name = "Arial";
  spec.height = -15;
  spec.bold = true;
  tree->SetFont(spec);
  EXPECT_NE(Header().Font().Name, "Arial");
  Header().SetParentFont(true);
  EXPECT_EQ(Header().Font().Name, "Arial");
  EXPECT_EQ(Header().Font().Height, -15);
  EXPECT_EQ(Header().Font().Style, 1u);
  spec.height = -18;
  tree->SetFont(spec);
  EXPECT_EQ(Header().Font().Height, -18);
  EXPECT_TRUE(Header().ParentFont());
  THeaderFont own = Header().Font();
  own.Height = -9;
  Header().SetFont(own);
  EXPECT_FALSE(Header().ParentFont());
  spec.height = -20;
  tree->SetFont(spec);
  EXPECT_EQ(Header().Font().Height, -9);
}

TEST_F(HeaderTest, ColumnResizeIsReportedOnlyWithAWindow) {
  TLazyStringTree loose;
  TLazyTreeColumn& c = loose.Header().Columns().Add();
  int reports = 0;
  loose.OnColumnResize = [&](TBaseLazyTree&, TColumnIndex) { ++reports; };
  c.SetWidth(120);
  EXPECT_EQ(reports, 0);
  tree->OnColumnResize = [&](TBaseLazyTree&, TColumnIndex) { ++reports; };
  Columns().Items(1).SetWidth(90);
  EXPECT_EQ(reports, 1);
}

TEST_F(HeaderTest, MaxRightExtendFollowsTheMainColumn) {
  const int extent = tree->GetMaxRightExtend();
  EXPECT_EQ(extent, tree->GetMaxColumnWidth(0) - tree->Margin());
  Columns().Items(0).SetPosition(1);  // "Size" (80 wide) now left of the main column
  EXPECT_EQ(tree->GetMaxRightExtend(), extent + 80);
}

TEST_F(HeaderTest, DoubleClickOnASplitterFitsTheWidestText) {
  const int widest = tree->GetMaxColumnWidth(0);
  ASSERT_GT(widest, 100);
  Nc(WM_NCLBUTTONDBLCLK, 101, 10);
  Nc(WM_NCLBUTTONUP, 101, 10);
  EXPECT_EQ(Columns().Items(0).Width(), widest);
  EXPECT_TRUE(clicks.empty());
  EXPECT_TRUE(doubleClicks.empty());
  // Elsewhere it is a double click on the column.
  Nc(WM_NCLBUTTONDBLCLK, widest + 40, 10);
  EXPECT_EQ(doubleClicks, std::vector<TColumnIndex>{1});
  // Ctrl+"-" in the tree's words: back to the widths before.
  Header().RestoreColumns();
  EXPECT_EQ(Columns().Items(0).Width(), 100);
}

TEST_F(HeaderTest, ColumnsAreReorderedAndDraggedOut) {
  bool allow = false;
  int asked = 0;
  tree->OnHeaderDragging = [&](TBaseLazyTree&, TColumnIndex, bool& allowed) {
    ++asked;
    allowed = allow;
  };
  // Asked at every move of a pending drag, one inside the drag threshold too.
  Nc(WM_NCLBUTTONDOWN, 50, 10);
  Client(WM_MOUSEMOVE, 51, 10);
  EXPECT_EQ(asked, 1);
  Client(WM_LBUTTONUP, 51, 10);
  clicks.clear();
  Drag(50, 280);  // refused: stays a pending drag, nothing moves
  EXPECT_EQ(Order(), (std::vector<TColumnIndex>{0, 1, 2}));
  allow = true;
  // After the right half of the last column, then before the first.
  Drag(50, 280);
  EXPECT_EQ(Order(), (std::vector<TColumnIndex>{1, 2, 0}));
  Drag(300 - 50, 10);
  EXPECT_EQ(Order(), (std::vector<TColumnIndex>{0, 1, 2}));
  EXPECT_EQ(dragged, (std::vector<std::pair<TColumnIndex, int>>{{0, 0}, {0, 2}}));
  // The dragged column's picture follows the mouse until the drop.
  Nc(WM_NCLBUTTONDOWN, 50, 10);
  Client(WM_MOUSEMOVE, 60, 10);
  Client(WM_MOUSEMOVE, 90, 12);
  ASSERT_NE(Header().DragImage(), nullptr);
  EXPECT_TRUE(Header().DragImage()->Visible());
  EXPECT_EQ(Header().DragImage()->Transparency(), 140);  // the header's own, more opaque than a tree's
  const RECT image = Header().DragImage()->GetDragImageRect();
  EXPECT_EQ(image.right - image.left, Columns().Items(0).Width());
  EXPECT_EQ(image.left, Screen(40, 0).x);
  Client(WM_LBUTTONUP, 90, 12);
  EXPECT_EQ(Header().DragImage(), nullptr);
  // Onto itself (twice), and out of the header downwards: nothing moves.
  Drag(30, 80);
  Drag(30, 150, kHeaderHeight + 40);
  EXPECT_EQ(Order(), (std::vector<TColumnIndex>{0, 1, 2}));
  EXPECT_EQ(draggedOut, (std::vector<TColumnIndex>{0, 0, 0}));
  EXPECT_EQ(Header().States(), 0);
  EXPECT_TRUE(clicks.empty());
}

// Beside the columns or above the header no column is under the mouse: the
// drop target and its side stay as the last column passed left them.
TEST_F(HeaderTest, NoColumnUnderTheMouseKeepsTheDropTarget) {
  tree->OnHeaderDragging = [](TBaseLazyTree&, TColumnIndex, bool& allowed) { allowed = true; };
  const std::uint32_t mark = Rgb(ui::ColorToRGB(tree->Colors().Color(TLTColors::DropMarkColor)));
  const struct {
    const char* name;
    int via;      // a point over the last column (Date, 180 to 300)
    POINT to;     // header coordinates where the column is released
    int markX;    // where the drop mark stays
    std::vector<TColumnIndex> order;
    bool out;
  } cases[] = {
      {"right half, then beside the columns", 280, {350, 10}, 298, {1, 2, 0}, false},
      {"left half, then beside the columns", 200, {350, 10}, 180, {1, 0, 2}, false},
      {"right half, then above the header", 280, {350, -30}, 298, {0, 1, 2}, true},
  };
  for (const auto& c : cases) {
    for (int i = 0; i < 3; ++i) Columns().Items(i).SetPosition(i);
    dragged.clear();
    draggedOut.clear();
    Nc(WM_NCLBUTTONDOWN, 50, 10);
    Client(WM_MOUSEMOVE, 60, 10);
    Client(WM_MOUSEMOVE, c.via, 10);
    Client(WM_MOUSEMOVE, c.to.x, c.to.y);
    EXPECT_EQ(Columns().DropTarget(), 2) << c.name;
    const ui::TBitmap shot = Paint("drop_mark_" + std::to_string(&c - cases));
    EXPECT_EQ(shot.Pixel(c.markX, 10), mark) << c.name;
    EXPECT_EQ(shot.Pixel(c.markX + 1, kHeaderHeight / 2), mark) << c.name;
    Client(WM_LBUTTONUP, c.to.x, c.to.y);
    EXPECT_EQ(Order(), c.order) << c.name;
    EXPECT_EQ(draggedOut.size(), c.out ? 1u : 0u) << c.name;
    EXPECT_EQ(dragged.size(), c.out ? 0u : 1u) << c.name;
    EXPECT_EQ(Columns().DropTarget(), -1) << c.name;
  }
}

// The spring columns share what the header strip gains or loses; a vertical
// scroll bar under the strip narrows only the client area.
TEST_F(HeaderTest, SpringColumnsFollowTheHeaderStrip) {
  for (int i : {0, 1}) Columns().Items(i).SetOptions(Columns().Items(i).Options() | coAutoSpring);
  Header().SetOptions(Header().Options() | hoAutoSpring);
  tree->SetBounds(0, 0, 420, 200);
  ui::test::Pump(20);
  const int name = Columns().Items(0).Width(), size = Columns().Items(1).Width();
  auto expectGrowth = [&](int growth, const char* step) {
    EXPECT_EQ(Columns().Items(0).Width(), name + growth) << step;
    EXPECT_EQ(Columns().Items(1).Width(), size + growth) << step;
    EXPECT_EQ(Columns().Items(2).Width(), 120) << step;
  };
  tree->SetRootNodeCount(60);
  ui::test::Pump(50);
  ASSERT_TRUE(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VSCROLL);
  expectGrowth(0, "scroll bar");
  tree->SetBounds(0, 0, 460, 200);
  expectGrowth(20, "wider");
  // A width reached while springing is off is where the next change starts.
  Header().SetOptions(Header().Options() & ~hoAutoSpring);
  tree->SetBounds(0, 0, 500, 200);
  expectGrowth(20, "off");
  Header().SetOptions(Header().Options() | hoAutoSpring);
  tree->SetBounds(0, 0, 504, 200);
  expectGrowth(22, "on again");
}

TEST_F(HeaderTest, RowClicksPerColumnTheHeaderMenuAndHints) {
  std::vector<TColumnIndex> columnClicks;
  tree->OnColumnClick = [&](TBaseLazyTree&, TColumnIndex c, TShiftState) { columnClicks.push_back(c); };
  const TLazyRect row = tree->GetDisplayRect(tree->GetFirst(), 2, false);
  const LPARAM at = MAKELPARAM(row.Left + 10, row.Top + 2);
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(columnClicks, std::vector<TColumnIndex>{2});

  ui::TPopupMenu menu;
  menu.Add(L"Columns...");
  Header().SetPopupMenu(&menu);
  std::vector<POINT> shown;
  tree->SetPopupHook([&](ui::TPopupMenu& m, POINT p) {
    EXPECT_EQ(&m, &menu);
    shown.push_back(p);
  });
  Nc(WM_NCRBUTTONDOWN, 150, 10);
  Nc(WM_NCRBUTTONUP, 150, 10);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].x, Screen(150, 10).x);
  EXPECT_EQ(clicks, std::vector<TColumnIndex>{1});  // a right click is a (forced) column click too

  Columns().Items(1).SetHint(L"size in bytes");
  std::wstring text;
  RECT area{};
  EXPECT_FALSE(Header().HintAt(POINT{150, -5}, text, area));  // hoShowHint is off
  Header().SetOptions(Header().Options() | hoShowHint);
  ASSERT_TRUE(Header().HintAt(POINT{150, -5}, text, area));
  EXPECT_EQ(text, L"size in bytes");
  EXPECT_EQ(area.top, -kHeaderHeight);
  EXPECT_FALSE(Header().HintAt(POINT{150, 5}, text, area));

  // Resting over the header shows the column's hint after the pause.
  tree->SetHintAnimation(THintAnimationType::hatNone);
  SetWindowPos(form.Handle(), HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE);
  POINT saved{};
  GetCursorPos(&saved);
  const POINT over = Screen(150, 10);
  SetCursorPos(over.x, over.y);
  Nc(WM_NCMOUSEMOVE, 150, 10);
  ui::test::Pump(GetDoubleClickTime() + 150);
  EXPECT_TRUE(tree->HintWindow() != nullptr && tree->HintWindow()->Visible());
  // Right after a tree's hint window went away the header's hint comes at once.
  tree->HideHint();
  { TLazyTreeHintWindow gone(*tree); }
  Nc(WM_NCMOUSEMOVE, 152, 10);
  ui::test::Pump(150);
  EXPECT_TRUE(tree->HintWindow()->Visible());
  SetCursorPos(saved.x, saved.y);
  ui::test::Pump(30);
}

// ------------------------------------------------------------- pictures --

class HeaderLook : public HeaderTest {};

TEST_F(HeaderLook, EachStyle) {
  constexpr COLORREF kBackground = RGB(40, 90, 160);
  Header().SetBackground(kBackground);
  Header().SetOptions(Header().Options() | hoHotTrack);
  auto pressColumn1 = [&] { Nc(WM_NCLBUTTONDOWN, 140, 10); };
  auto release = [&] { Client(WM_LBUTTONUP, 140, 10); };
  struct Probe {
    int x, y;
  };
  const Probe beside{350, 10}, top{130, 2}, bottom{130, kHeaderHeight - 1};

  Header().SetStyle(TLTHeaderStyle::hsXPStyle);
  ui::TBitmap shot = Paint("xp");
  EXPECT_EQ(shot.Pixel(beside.x, beside.y), Rgb(kBackground));
  EXPECT_EQ(shot.Pixel(top.x, top.y), Rgb(0xDBEAEB));
  EXPECT_EQ(shot.Pixel(178, 10), Rgb(0xB2C5C7));  // divider, and the white line right of it
  EXPECT_EQ(shot.Pixel(179, 10), 0xFFFFFFu);
  EXPECT_EQ(shot.Pixel(bottom.x, bottom.y), Rgb(0xB8C7CB));
  pressColumn1();
  shot = Paint("xp_pressed");
  EXPECT_EQ(shot.Pixel(top.x, top.y), Rgb(0xD8DFDE));
  release();
  Nc(WM_NCMOUSEMOVE, 140, 10);
  shot = Paint("xp_hot");
  EXPECT_EQ(shot.Pixel(top.x, top.y), Rgb(0xF3F8FA));
  EXPECT_EQ(shot.Pixel(bottom.x, bottom.y - 1), Rgb(RGB(230, 150, 20)));  // the hot bar

  // Edged styles: the normal and the pressed button differ at their edges,
  // and the area beside the columns stays the background.
  for (auto [style, name] : {std::pair{TLTHeaderStyle::hsThickButtons, "thick"},
                             {TLTHeaderStyle::hsFlatButtons, "flat"},
                             {TLTHeaderStyle::hsPlates, "plates"}}) {
    Header().SetStyle(style);
    const ui::TBitmap normal = Paint(name);
    pressColumn1();
    const ui::TBitmap pressed = Paint(std::string(name) + "_pressed");
    release();
    EXPECT_EQ(normal.Pixel(beside.x, beside.y), Rgb(kBackground)) << name;
    EXPECT_NE(normal.Pixel(100, 0), pressed.Pixel(100, 0)) << name;
    EXPECT_EQ(normal.Pixel(30, 0), pressed.Pixel(30, 0)) << name;  // the other column
    EXPECT_EQ(pressed.Pixel(top.x, top.y + 3), Rgb(GetSysColor(COLOR_BTNFACE))) << name;
  }
}

TEST_F(HeaderLook, ThemedItemAndSortGlyph) {
  ui::SetComCtlVersionProvider([] { return 600; });
  ThemeServices().UpdateThemes();
  struct Restore {
    ~Restore() {
      ui::SetComCtlVersionProvider(nullptr);
      ThemeServices().UpdateThemes();
    }
  } restore;
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toThemeAware);
  if (!ThemeServices().ThemesEnabled() || !tree->TreeStates().Contains(tsUseThemes))
    GTEST_SKIP() << "no visual style";
  Header().SetStyle(TLTHeaderStyle::hsXPStyle);
  const ui::TBitmap shot = Paint("themed");
  // The style's header item, not the drawn look.
  ui::TBitmap item;
  item.Create(80, kHeaderHeight);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), item.Handle());
    ThemeServices().DrawElement(dc.Get(), GetElementDetails(TThemedHeader::thHeaderItemNormal),
                                RECT{0, 0, 80, kHeaderHeight});
  }
  for (int y : {1, kHeaderHeight / 2, kHeaderHeight - 1}) EXPECT_EQ(shot.Pixel(170, y), item.Pixel(70, y)) << y;
}

TEST_F(HeaderLook, LongCaptionsEndInAnEllipsisInsideTheButton) {
  Header().SetStyle(TLTHeaderStyle::hsFlatButtons);
  Columns().Items(1).SetText(L"Abcdefghijklmnopqrstuvwxyz");
  Header().SetSortColumn(1);
  Header().SetOptions(Header().Options() | hoShowSortGlyphs);
  const ui::TBitmap shot = Paint("ellipsis");
  const std::uint32_t face = Rgb(GetSysColor(COLOR_BTNFACE));
  // Ink columns of the caption between the margin and the sort glyph.
  const int left = 100 + 4, limit = 180 - 4 - 8 - 4;
  std::vector<int> runs;  // widths of the runs of ink columns
  bool inRun = false;
  for (int x = left; x < 180; ++x) {
    bool ink = false;
    for (int y = 2; y < kHeaderHeight - 2; ++y) ink = ink || shot.Pixel(x, y) == Rgb(GetSysColor(COLOR_WINDOWTEXT));
    if (ink && x >= limit) ADD_FAILURE() << "caption ink at " << x;
    if (ink && !inRun) runs.push_back(0);
    if (ink) ++runs.back();
    inRun = ink;
  }
  ASSERT_GE(runs.size(), 4u);
  // The last three runs are the dots: narrow, and each ink only near the baseline.
  for (std::size_t i = runs.size() - 3; i < runs.size(); ++i) EXPECT_LE(runs[i], 2) << i;
  // The sort glyph sits at the right margin.
  EXPECT_NE(shot.Pixel(180 - 4 - 4, kHeaderHeight / 2), face);
}

// ----------------------------------------------------------------- cells --

TEST(HeaderCells, OneCellPerColumnWithColoursGridLinesAndMirroring) {
  ui::TForm form;
  auto& tree = form.Create<TLazyDrawTree>();
  tree.SetParent(&form);
  form.SetClientWidth(440);
  form.SetClientHeight(260);
  tree.SetBounds(0, 0, 400, 200);
  tree.SetBorderStyle(TTreeBorderStyle::bsNone);
  tree.SetColor(ui::clWhite);
  constexpr COLORREF kGrid = RGB(0x10, 0xA0, 0x10), kColumn = RGB(200, 40, 40);
  tree.Colors().SetColor(TLTColors::GridLineColor, kGrid);
  auto& o = tree.TreeOptions();
  o.SetPaintOptions((o.PaintOptions() | toShowVertGridLines | toFullVertGridLines) & ~toShowTreeLines);
  TLTHeader& header = tree.Header();
  for (int w : {100, 80, 60, 90}) header.Columns().Add().SetWidth(w);
  header.Columns().Items(1).SetColor(kColumn);
  header.Columns().Items(2).SetBiDiMode(TLTBidiMode::bdRightToLeft);
  header.Columns().Items(3).SetOptions(kDefaultColumnOptions & ~coVisible);
  header.SetOptions(header.Options() | hoVisible);
  struct Cell {
    TColumnIndex column;
    RECT cell, content;
  };
  std::vector<Cell> cells;
  tree.OnDrawNode = [&](TBaseLazyTree&, const TLTPaintInfo& info) {
    cells.push_back({info.Column, info.CellRect, info.ContentRect});
  };
  tree.SetRootNodeCount(2);
  form.Show();
  tree.AddChild(tree.GetFirst());
  tree.SetExpanded(tree.GetFirst(), true);
  RECT client{};
  GetClientRect(tree.Handle(), &client);
  ui::TBitmap shot;
  shot.Create(client.right, client.bottom);
  {
    const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
    const ui::SelectedObject selected = ui::SelectInto(dc.Get(), shot.Handle());
    cells.clear();
    RECT all{0, 0, client.right, client.bottom};
    tree.PaintTree(dc.Get(), all, POINT{0, 0}, kPaintRequestOptions);
  }
  SaveShot(shot, "cells");
  // Three rows, three visible cells each, in display order; the hidden one is skipped.
  ASSERT_EQ(cells.size(), 9u);
  const int indent = static_cast<int>(tree.Indent()), margin = tree.Margin();
  for (std::size_t row = 0; row < 3; ++row) {
    const Cell* c = &cells[row * 3];
    EXPECT_EQ(c[0].column, 0);
    EXPECT_EQ(c[1].column, 1);
    EXPECT_EQ(c[2].column, 2);
    EXPECT_EQ(c[1].cell.left, 100);
    EXPECT_EQ(c[1].cell.right, 179);  // the grid line takes the last pixel
    // Only the main column is indented (the child one level more).
    EXPECT_EQ(c[0].content.left, margin + indent * (row == 1 ? 2 : 1));
    EXPECT_EQ(c[1].content.left, 100 + margin);
    // The mirrored column keeps its margin on the right.
    EXPECT_EQ(c[2].content.right, 239 - margin);
    EXPECT_EQ(c[2].content.left, 180);
  }
  const int y = 5;
  EXPECT_EQ(shot.Pixel(140, y), Rgb(kColumn));
  EXPECT_EQ(shot.Pixel(140, 150), Rgb(kColumn));  // the stripe below the rows
  EXPECT_EQ(shot.Pixel(60, 150), 0xFFFFFFu);
  EXPECT_EQ(shot.Pixel(179, 150), Rgb(kGrid));
  bool dotted = false;
  for (int yy = 0; yy < 4; ++yy) dotted = dotted || shot.Pixel(99, yy) == Rgb(kGrid);
  EXPECT_TRUE(dotted);
  EXPECT_EQ(shot.Pixel(300, 150), 0xFFFFFFu);  // right of the columns
}

}  // namespace
}  // namespace kv
