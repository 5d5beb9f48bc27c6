// The tree driven by real button and wheel messages at points taken from the
// nodes' display rectangles, modifier keys pressed through SendInput.

#include <gtest/gtest.h>
#include <windows.h>

#include "base/scope_guard.h"
#include "tests/treeview/held_key_win.h"
#include "tests/treeview/save_shot_win.h"
#include "tests/treeview/tree_on_form_win.h"
#include "tests/ui/ui_test_util.h"
#include "treeview/lazy_trees_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"

namespace kv {
namespace {

using test::HeldKey;

class TreeMouse : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCursorPos(&savedCursor);
    tree = &test::PlaceTree<TLazyDrawTree>(form);
    tree->OnGetNodeWidth = [](TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, int& width) { width = 40; };
    form.Show();
    // Five top-level nodes, the first with two children (collapsed).
    tree->SetRootNodeCount(5);
    for (PLazyNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n)) nodes.push_back(n);
    tree->AddChild(nodes[0]);
    tree->AddChild(nodes[0]);
  }
  // A moved mouse goes back where it was: later tests' key input depends on it.
  void TearDown() override {
    if (!cursorMoved) return;
    SetCursorPos(savedCursor.x, savedCursor.y);
    ui::test::Pump(30);
  }
  HWND Window() { return tree->Handle(); }
  // Puts the mouse at a client point and tells the tree.
  void MoveTo(POINT p, WPARAM keys = 0) {
    POINT screen = p;
    ClientToScreen(Window(), &screen);
    SetCursorPos(screen.x, screen.y);
    cursorMoved = true;
    SendMessageW(Window(), WM_MOUSEMOVE, keys, At(p));
  }
  // A point on the node's label, or `dx` pixels into its row.
  POINT Label(PLazyNode node) {
    const TLazyRect r = tree->GetDisplayRect(node, kNoColumn, true);
    return {r.Left + 2, (r.Top + r.Bottom) / 2};
  }
  POINT Row(PLazyNode node, int x) {
    const TLazyRect r = tree->GetDisplayRect(node, kNoColumn, false);
    return {x, (r.Top + r.Bottom) / 2};
  }
  static LPARAM At(POINT p) { return MAKELPARAM(p.x, p.y); }
  void Click(POINT p, WPARAM keys = 0) {
    SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON | keys, At(p));
    SendMessageW(Window(), WM_LBUTTONUP, keys, At(p));
  }
  std::vector<PLazyNode> Selection() {
    std::vector<PLazyNode> s;
    for (PLazyNode n = tree->GetFirstSelected(); n != nullptr; n = tree->GetNextSelected(n)) s.push_back(n);
    return s;
  }

  POINT savedCursor{};
  bool cursorMoved = false;
  ui::TForm form;
  TLazyDrawTree* tree = nullptr;
  std::vector<PLazyNode> nodes;
};

TEST_F(TreeMouse, HitTestAtTheDisplayRectangles) {
  TTreeHitInfo info;
  const POINT label = Label(nodes[1]);
  tree->GetHitTestInfoAt(label.x, label.y, true, info);
  EXPECT_EQ(info.HitNode, nodes[1]);
  EXPECT_EQ(info.HitPositions.Bits(), 0x88);  // on the item, on the label
  EXPECT_EQ(info.HitColumn, kNoColumn);
  // The first node has children: its button sits in the root indentation.
  const POINT button = Row(nodes[0], static_cast<int>(tree->Indent()) / 2);
  tree->GetHitTestInfoAt(button.x, button.y, true, info);
  EXPECT_EQ(info.HitPositions, (THitPositions{hpOnItem, hpOnItemButton}));
  const POINT right = Row(nodes[1], label.x + 60);
  tree->GetHitTestInfoAt(right.x, right.y, true, info);
  EXPECT_EQ(info.HitPositions, (THitPositions{hpOnItem, hpOnItemRight}));
  // Below the last node, and outside the area.
  tree->GetHitTestInfoAt(10, 150, true, info);
  EXPECT_EQ(info.HitNode, nullptr);
  EXPECT_EQ(info.HitPositions, (THitPositions{hpNowhere}));
  tree->GetHitTestInfoAt(-1, 400, true, info);
  EXPECT_EQ(info.HitPositions, (THitPositions{hpToLeft, hpBelow}));
}

// Hit tests outside painting still give the owner a canvas to measure on:
// the tree's, with its font. Text measured there places the label.
TEST_F(TreeMouse, NodeWidthsAreMeasuredOnTheTreesCanvasOutsidePainting) {
  std::vector<HDC> canvases;
  bool treeFont = true;
  tree->OnGetNodeWidth = [&](TBaseLazyTree& t, HDC canvas, PLazyNode, TColumnIndex, int& width) {
    canvases.push_back(canvas);
    if (canvas == nullptr) return;
    treeFont = treeFont && GetCurrentObject(canvas, OBJ_FONT) == t.FontHandle();
    SIZE size{};
    GetTextExtentPoint32W(canvas, L"measured", 8, &size);
    width += size.cx;
  };
  // The handler writes into this test's locals: the tree, which outlives the
  // body, must not call it once they are gone.
  const ScopeGuard unhook([this] { tree->OnGetNodeWidth = nullptr; });
  const TLazyRect label = tree->GetDisplayRect(nodes[1], kNoColumn, true);
  ASSERT_FALSE(canvases.empty());
  for (HDC canvas : canvases) EXPECT_NE(canvas, nullptr);
  EXPECT_TRUE(treeFont);
  EXPECT_GT(label.Right - label.Left, 2 * static_cast<int>(tree->TextMargin()) + 20);
  TTreeHitInfo info;
  tree->GetHitTestInfoAt(label.Right - 3, (label.Top + label.Bottom) / 2, true, info);
  EXPECT_TRUE(info.HitPositions.Contains(hpOnItemLabel));
}

TEST_F(TreeMouse, ClicksFocusSelectAndExpand) {
  auto& o = tree->TreeOptions();
  o.SetSelectionOptions(o.SelectionOptions() | toMultiSelect);
  Click(Label(nodes[1]));
  EXPECT_EQ(tree->FocusedNode(), nodes[1]);
  EXPECT_EQ(Selection(), (std::vector<PLazyNode>{nodes[1]}));
  {
    HeldKey shift(VK_SHIFT);
    Click(Label(nodes[3]), MK_SHIFT);
  }
  EXPECT_EQ(Selection(), (std::vector<PLazyNode>{nodes[1], nodes[2], nodes[3]}));
  {
    HeldKey ctrl(VK_CONTROL);
    Click(Label(nodes[2]), MK_CONTROL);
  }
  EXPECT_EQ(Selection(), (std::vector<PLazyNode>{nodes[1], nodes[3]}));
  // A plain click on a node of the selection reduces it to that node, told once.
  std::vector<PLazyNode> changes;
  tree->OnChange = [&](TLazyTreeModel&, PLazyNode node) { changes.push_back(node); };
  const ScopeGuard unhook([this] { tree->OnChange = nullptr; });
  Click(Label(nodes[3]));
  EXPECT_EQ(Selection(), (std::vector<PLazyNode>{nodes[3]}));
  EXPECT_EQ(changes, (std::vector<PLazyNode>{nullptr}));
  // A plain click leaves only the clicked node selected.
  Click(Label(nodes[4]));
  EXPECT_EQ(Selection(), (std::vector<PLazyNode>{nodes[4]}));
  // The button expands without moving the focus; a double click on the label toggles.
  Click(Row(nodes[0], static_cast<int>(tree->Indent()) / 2));
  EXPECT_TRUE(tree->Expanded(nodes[0]));
  EXPECT_EQ(tree->FocusedNode(), nodes[4]);
  const POINT label = Label(nodes[0]);
  SendMessageW(Window(), WM_LBUTTONDBLCLK, MK_LBUTTON, At(label));
  SendMessageW(Window(), WM_LBUTTONUP, 0, At(label));
  EXPECT_FALSE(tree->Expanded(nodes[0]));
}

TEST_F(TreeMouse, SelectionConstraintsHoldForMouseRanges) {
  auto& o = tree->TreeOptions();
  tree->SetExpanded(nodes[0], true);
  const PLazyNode child = tree->GetFirstChild(nodes[0]);
  for (auto constraint : {toLevelSelectConstraint, toSiblingSelectConstraint}) {
    o.SetSelectionOptions(toMultiSelect | constraint);
    Click(Label(nodes[0]));
    {
      HeldKey shift(VK_SHIFT);
      Click(Label(nodes[2]), MK_SHIFT);
    }
    // The children lie inside the range but on another level.
    EXPECT_EQ(Selection(), (std::vector<PLazyNode>{nodes[0], nodes[1], nodes[2]})) << constraint;
    {
      HeldKey ctrl(VK_CONTROL);
      Click(Label(child), MK_CONTROL);
    }
    EXPECT_FALSE(tree->Selected(child)) << constraint;
  }
}

// With the level constraint a band keeps to the level of the row it starts
// beside, or of the last row when it starts below them all, not to the level
// of the first row it meets.
TEST_F(TreeMouse, ABandKeepsToTheLevelWhereItStarts) {
  auto& o = tree->TreeOptions();
  o.SetSelectionOptions(toMultiSelect | toLevelSelectConstraint);
  tree->AddChild(nodes[4]);
  tree->SetExpanded(nodes[0], true);
  tree->SetExpanded(nodes[4], true);
  const PLazyNode first = tree->GetFirstChild(nodes[0]), second = tree->GetNextSibling(first);
  const PLazyNode last = tree->GetFirstChild(nodes[4]);
  const TLazyRect lastRow = tree->GetDisplayRect(last, kNoColumn, false);
  const struct {
    POINT from;
    std::vector<PLazyNode> selected;
  } cases[] = {
      {Row(second, 250), {first, second}},                     // up over its parent
      {{250, lastRow.Bottom + 20}, {first, second, last}},     // up over every row
  };
  for (const auto& c : cases) {
    tree->ClearSelection();
    SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(c.from));
    SendMessageW(Window(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, 2));
    SendMessageW(Window(), WM_LBUTTONUP, 0, MAKELPARAM(10, 2));
    EXPECT_EQ(Selection(), c.selected) << c.from.y;
  }
}

TEST_F(TreeMouse, CheckBoxPressAppliesOnReleaseOverTheSameNode) {
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
  for (PLazyNode n : nodes) tree->SetCheckType(n, ctCheckBox);
  int checked = 0;
  tree->OnChecked = [&](TLazyTreeModel&, PLazyNode) { ++checked; };
  const POINT box = Row(nodes[1], static_cast<int>(tree->Indent() + tree->Margin() + 2));
  TTreeHitInfo info;
  tree->GetHitTestInfoAt(box.x, box.y, true, info);
  ASSERT_EQ(info.HitPositions, (THitPositions{hpOnItem, hpOnItemCheckbox}));
  // The label's rectangle starts past the box.
  const POINT label = Label(nodes[2]);
  tree->GetHitTestInfoAt(label.x, label.y, true, info);
  EXPECT_EQ(info.HitPositions.Bits(), 0x88);

  SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(box));
  EXPECT_EQ(tree->GetCheckState(nodes[1]), csUncheckedPressed);
  EXPECT_EQ(tree->PendingCheckNode(), nodes[1]);
  SendMessageW(Window(), WM_LBUTTONUP, 0, At(box));
  EXPECT_EQ(tree->GetCheckState(nodes[1]), csCheckedNormal);
  EXPECT_EQ(checked, 1);

  // Released over another node: abandoned, the normal form comes back.
  SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(box));
  EXPECT_EQ(tree->GetCheckState(nodes[1]), csCheckedPressed);
  SendMessageW(Window(), WM_LBUTTONUP, 0, At(Label(nodes[3])));
  EXPECT_EQ(tree->GetCheckState(nodes[1]), csCheckedNormal);
  EXPECT_EQ(checked, 1);

  // The node goes while the button is down: the release changes nothing.
  SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(box));
  tree->DeleteNode(nodes[1]);
  EXPECT_EQ(tree->PendingCheckNode(), nullptr);
  SendMessageW(Window(), WM_LBUTTONUP, 0, At(box));
  EXPECT_EQ(checked, 1);
  EXPECT_EQ(tree->GetCheckState(nodes[2]), csUncheckedNormal);
}

TEST_F(TreeMouse, BandFromBesideTheLabelsSelectsTheRowsItCrosses) {
  auto& o = tree->TreeOptions();
  o.SetSelectionOptions(o.SelectionOptions() | toMultiSelect);
  const POINT from = Row(nodes[0], 250);
  SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(from));
  EXPECT_TRUE(tree->TreeStates().Contains(tsDrawSelPending));
  // Within the drag threshold nothing happens yet.
  SendMessageW(Window(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(from.x - 1, from.y));
  EXPECT_TRUE(Selection().empty());
  const POINT to = Row(nodes[2], 10);
  SendMessageW(Window(), WM_MOUSEMOVE, MK_LBUTTON, At(to));
  EXPECT_TRUE(tree->TreeStates().Contains(tsDrawSelecting));
  EXPECT_EQ(Selection(), (std::vector<PLazyNode>{nodes[0], nodes[1], nodes[2]}));
  SendMessageW(Window(), WM_LBUTTONUP, 0, At(to));
  EXPECT_FALSE(tree->TreeStates().Contains(tsDrawSelecting));
  EXPECT_EQ(Selection().size(), 3u);
}

// A moved band repaints the old and the new band only, the whole window when
// it changed the selection.
TEST_F(TreeMouse, AMovedBandRepaintsItsOldAndNewArea) {
  auto& o = tree->TreeOptions();
  o.SetSelectionOptions(o.SelectionOptions() | toMultiSelect);
  std::vector<std::vector<LONG>> painted;  // the clip boxes of the paints
  tree->OnBeforePaint = [&](TBaseLazyTree&, HDC dc) {
    RECT r{};
    GetClipBox(dc, &r);
    painted.push_back({r.left, r.top, r.right, r.bottom});
  };
  const POINT from = Row(nodes[1], 250), further = Row(nodes[3], 180), labels = Row(nodes[3], 30);
  SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(from));
  SendMessageW(Window(), WM_MOUSEMOVE, MK_LBUTTON, At(Row(nodes[2], 200)));
  UpdateWindow(Window());
  painted.clear();
  SendMessageW(Window(), WM_MOUSEMOVE, MK_LBUTTON, At(further));
  EXPECT_TRUE(Selection().empty());
  EXPECT_EQ(painted, (std::vector<std::vector<LONG>>{{further.x, from.y, from.x, further.y}}));
  painted.clear();
  SendMessageW(Window(), WM_MOUSEMOVE, MK_LBUTTON, At(labels));
  EXPECT_FALSE(Selection().empty());
  EXPECT_EQ(painted, (std::vector<std::vector<LONG>>{{0, 0, tree->ViewWidth(), tree->ViewHeight()}}));
  SendMessageW(Window(), WM_LBUTTONUP, 0, At(labels));
}

// Without columns the band finds the text where the tree's own alignment and
// reading order paint it: at the right end of the rows.
TEST(TreeBand, FindsTheTextWhereTheTreesAlignmentPutsIt) {
  const struct {
    TLTAlignment alignment;
    TLTBidiMode bidi;
    const char* shot;
  } cases[] = {
      {TLTAlignment::taRightJustify, TLTBidiMode::bdLeftToRight, "band_right_aligned"},
      {TLTAlignment::taLeftJustify, TLTBidiMode::bdRightToLeft, "band_right_to_left"},
  };
  for (const auto& c : cases) {
    ui::TForm form;
    TLazyStringTree& tree = test::PlaceTree<TLazyStringTree>(form);
    tree.TreeOptions().SetSelectionOptions(toMultiSelect);
    tree.SetAlignment(c.alignment);
    tree.SetBiDiMode(c.bidi);
    form.Show();
    tree.SetRootNodeCount(4);
    const PLazyNode one = tree.GetNextSibling(tree.GetFirst()), two = tree.GetNextSibling(one);
    const TLazyRect text = tree.GetDisplayRect(one, kNoColumn, true);
    const TLazyRect below = tree.GetDisplayRect(two, kNoColumn, true);
    ASSERT_GT(text.Left, 150) << c.shot;
    // The text is painted there, and nothing left of it.
    const ui::TBitmap shot = test::PrintClient(tree.Handle());
    test::SaveShot(shot, c.shot);
    auto ink = [&](int x0, int x1) {
      int n = 0;
      for (int y = text.Top + 1; y < text.Bottom - 1; ++y)
        for (int x = x0; x < x1; ++x) n += (shot.Pixel(x, y) & 0xFF) < 0x60;
      return n;
    };
    EXPECT_GT(ink(text.Left, text.Right), 5) << c.shot;
    EXPECT_EQ(ink(0, text.Left - 2), 0) << c.shot;
    // A band from left of the first text over its first letters and down.
    const POINT from{text.Left - 20, text.Top + 2}, to{text.Left + 4, below.Bottom - 2};
    SendMessageW(tree.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    SendMessageW(tree.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    SendMessageW(tree.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    std::vector<PLazyNode> selected;
    for (PLazyNode n = tree.GetFirstSelected(); n != nullptr; n = tree.GetNextSelected(n)) selected.push_back(n);
    EXPECT_EQ(selected, (std::vector<PLazyNode>{one, two})) << c.shot;
  }
}

// The mouse rests at the bottom edge with the band beside the labels: the
// rows scroll up under it and none changes its selection. What is on the
// screen then is what a full repaint shows: the band's old edges, carried
// up with the scrolled pixels, are painted over.
TEST_F(TreeMouse, AutoScrollRepaintsTheBandOverTheScrolledRows) {
  tree->SetRootNodeCount(100);
  auto& o = tree->TreeOptions();
  o.SetSelectionOptions(o.SelectionOptions() | toMultiSelect);
  o.SetAutoOptions(o.AutoOptions() | toAutoScroll);
  tree->SetAutoScrollDelay(0);
  RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(250, 30));
  MoveTo({200, 120}, MK_LBUTTON);
  const POINT edge{200, tree->ViewHeight() - 5};
  MoveTo(edge, MK_LBUTTON);
  ASSERT_TRUE(tree->TreeStates().Contains(tsDrawSelecting));
  ASSERT_TRUE(tree->TreeStates().Contains(tsScrollPending));
  for (int tick = 0; tick < 2; ++tick) SendMessageW(Window(), WM_TIMER, kScrollTimer, 0);
  EXPECT_EQ(tree->OffsetY(), -2 * static_cast<int>(tree->VerticalIncrement()));
  EXPECT_TRUE(Selection().empty());
  const ui::TBitmap scrolled = test::ClientOnScreen(Window());
  RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  const ui::TBitmap repainted = test::ClientOnScreen(Window());
  test::SaveShot(scrolled, "band_auto_scrolled");
  test::SaveShot(repainted, "band_repainted");
  int stale = 0;
  for (int y = 0; y < tree->ViewHeight(); ++y)
    for (int x = 0; x < tree->ViewWidth(); ++x) stale += scrolled.Pixel(x, y) != repainted.Pixel(x, y);
  EXPECT_EQ(stale, 0);
  SendMessageW(Window(), WM_LBUTTONUP, 0, At(edge));
  EXPECT_FALSE(tree->TreeStates().Contains(tsScrollPending));
  // A band armed at the edge scrolls before it starts.
  const POINT armed{250, tree->ViewHeight() - 4};
  SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, At(armed));
  MoveTo({armed.x, armed.y + 1}, MK_LBUTTON);
  ASSERT_TRUE(tree->TreeStates().Contains(tsDrawSelPending));
  EXPECT_TRUE(tree->TreeStates().Contains(tsScrollPending));
  SendMessageW(Window(), WM_LBUTTONUP, 0, At(armed));
}

TEST_F(TreeMouse, HotNodeFollowsTheLabels) {
  auto& o = tree->TreeOptions();
  o.SetPaintOptions(o.PaintOptions() | toHotTrack);
  std::vector<std::pair<PLazyNode, PLazyNode>> changes;
  tree->OnHotChange = [&](TBaseLazyTree&, PLazyNode from, PLazyNode to) { changes.emplace_back(from, to); };
  SendMessageW(Window(), WM_MOUSEMOVE, 0, At(Label(nodes[2])));
  SendMessageW(Window(), WM_MOUSEMOVE, 0, At(Label(nodes[2])));
  EXPECT_EQ(tree->HotNode(), nodes[2]);
  // Beside the label the node is not hot (no full-row selection).
  SendMessageW(Window(), WM_MOUSEMOVE, 0, At(Row(nodes[2], 250)));
  EXPECT_EQ(tree->HotNode(), nullptr);
  SendMessageW(Window(), WM_MOUSEMOVE, 0, At(Label(nodes[3])));
  SendMessageW(Window(), WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(tree->HotNode(), nullptr);
  // The owner hears of a leave also when no node was hot.
  SendMessageW(Window(), WM_MOUSELEAVE, 0, 0);
  using Change = std::pair<PLazyNode, PLazyNode>;
  EXPECT_EQ(changes, (std::vector<Change>{{nullptr, nodes[2]}, {nodes[2], nullptr}, {nullptr, nodes[3]},
                                          {nodes[3], nullptr}, {nullptr, nullptr}}));
  tree->OnHotChange = nullptr;
}

// A wheel scroll brings another row under the resting mouse: the hot node
// follows, and with it the hot check box (no hot tracking asked for).
TEST_F(TreeMouse, TheHotNodeFollowsTheRowsScrolledUnderTheMouse) {
  tree->SetRootNodeCount(100);
  auto& o = tree->TreeOptions();
  o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
  for (PLazyNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n)) tree->SetCheckType(n, ctCheckBox);
  tree->SetWheelLinesProvider([] { return 3u; });
  const POINT p = Label(nodes[2]);
  MoveTo(p);
  ASSERT_EQ(tree->HotNode(), nodes[2]);
  SendMessageW(Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
  ASSERT_EQ(tree->OffsetY(), -3 * static_cast<int>(tree->DefaultNodeHeight()));
  const PLazyNode under = tree->GetNextSibling(nodes[4]);  // three rows further
  EXPECT_EQ(tree->HotNode(), under);
  UpdateWindow(Window());
  const ui::TBitmap shot = test::ClientOnScreen(Window());
  test::SaveShot(shot, "hot_check_after_wheel");
  // The box under the mouse looks hot; the one in the row above does not.
  auto box = [&](PLazyNode n) {
    const TLazyRect r = tree->GetDisplayRect(n, kNoColumn, false);
    std::vector<std::uint32_t> pixels;
    const int left = static_cast<int>(tree->Indent()) + tree->Margin();
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = left; x < left + 16; ++x) pixels.push_back(shot.Pixel(x, y));
    return pixels;
  };
  EXPECT_NE(box(under), box(nodes[4]));
  EXPECT_EQ(box(nodes[4]), box(tree->GetNextSibling(under)));
}

TEST_F(TreeMouse, WheelScrollsLinesOrAScreenPerNotch) {
  tree->SetRootNodeCount(100);
  unsigned lines = 3;
  tree->SetWheelLinesProvider([&] { return lines; });
  const int row = static_cast<int>(tree->DefaultNodeHeight());
  SendMessageW(Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
  EXPECT_EQ(tree->OffsetY(), -3 * row);
  SendMessageW(Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_EQ(tree->OffsetY(), 0);
  lines = WHEEL_PAGESCROLL;
  SendMessageW(Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)), 0);
  EXPECT_EQ(tree->OffsetY(), -2 * tree->ViewHeight());
}

TEST_F(TreeMouse, ControlEventsSeeTheMessages) {
  std::vector<std::string> seen;
  tree->OnMouseDown = [&](TBaseLazyTree&, int button, unsigned keys, int x, int y) {
    seen.push_back("down " + std::to_string(button) + " " + std::to_string(keys) + " " +
                   std::to_string(x) + "," + std::to_string(y));
  };
  tree->OnMouseUp = [&](TBaseLazyTree&, int button, unsigned, int, int) {
    seen.push_back("up " + std::to_string(button));
  };
  tree->OnClick = [&](ui::TComponent*) { seen.push_back("click"); };
  tree->OnDblClick = [&](ui::TComponent*) { seen.push_back("dblclick"); };
  SendMessageW(Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 7));
  SendMessageW(Window(), WM_LBUTTONUP, 0, MAKELPARAM(5, 7));
  SendMessageW(Window(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 7));
  EXPECT_EQ(seen, (std::vector<std::string>{"down 0 1 5,7", "up 0", "click", "dblclick", "down 0 1 5,7"}));
}

// A right click asks the node, then its parent, for a menu; the context
// menu message that follows shows nothing more. The menu key pops the
// focused node's menu up at the middle of its cell.
TEST_F(TreeMouse, NodeMenusComeFromTheNodeOrItsAncestors) {
  ui::TPopupMenu menu;
  menu.Add(L"Open");
  std::vector<PLazyNode> asked;
  tree->OnGetPopupMenu = [&](TBaseLazyTree&, PLazyNode node, TColumnIndex, POINT, bool&,
                             ui::TPopupMenu*& result) {
    asked.push_back(node);
    if (node == nodes[0]) result = &menu;
  };
  std::vector<POINT> shown;
  std::vector<ui::TPopupMenu*> menus;
  tree->SetPopupHook([&](ui::TPopupMenu& m, POINT at) {
    EXPECT_EQ(m.PopupComponent, tree);
    menus.push_back(&m);
    shown.push_back(at);
  });
  tree->SetExpanded(nodes[0], true);
  const PLazyNode child = tree->GetFirstChild(nodes[0]);
  const POINT p = Label(child);
  SendMessageW(Window(), WM_RBUTTONDOWN, MK_RBUTTON, At(p));
  SendMessageW(Window(), WM_RBUTTONUP, 0, At(p));
  EXPECT_EQ(asked, (std::vector<PLazyNode>{child, nodes[0]}));
  ASSERT_EQ(shown.size(), 1u);  // the WM_CONTEXTMENU of the release is swallowed
  POINT screen = p;
  ClientToScreen(Window(), &screen);
  EXPECT_EQ(shown[0].x, screen.x);
  EXPECT_EQ(shown[0].y, screen.y);

  tree->SetFocusedNode(nodes[0]);
  SendMessageW(Window(), WM_KEYDOWN, VK_APPS, 1);
  ASSERT_EQ(shown.size(), 2u);
  const TLazyRect cell = tree->GetDisplayRect(nodes[0], kNoColumn, false);
  POINT middle{cell.Left + 40 / 2, (cell.Top + cell.Bottom) / 2};
  ClientToScreen(Window(), &middle);
  EXPECT_EQ(shown[1].x, middle.x);
  EXPECT_EQ(shown[1].y, middle.y);
  // A node without a menu anywhere up its chain shows none.
  SendMessageW(Window(), WM_RBUTTONUP, 0, At(Label(nodes[3])));
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_EQ(menus, (std::vector<ui::TPopupMenu*>{&menu, &menu}));

  // With a menu of the control's own, the menu key still shows the node's
  // menu; the control's comes with the keyboard WM_CONTEXTMENU where no node
  // menu showed.
  ui::TPopupMenu own;
  own.Add(L"Refresh");
  tree->SetPopupMenu(&own);
  const ScopeGuard noOwnMenu([this] { tree->SetPopupMenu(nullptr); });
  SendMessageW(Window(), WM_KEYDOWN, VK_APPS, 1);
  SendMessageW(Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Window()), -1);  // swallowed
  tree->SetFocusedNode(nodes[3]);
  SendMessageW(Window(), WM_KEYDOWN, VK_APPS, 1);
  SendMessageW(Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Window()), -1);
  EXPECT_EQ(menus, (std::vector<ui::TPopupMenu*>{&menu, &menu, &menu, &own}));
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[2].x, shown[1].x);
  EXPECT_EQ(shown[2].y, shown[1].y);
  const TLazyRect ownCell = tree->GetDisplayRect(nodes[3], kNoColumn, false);
  POINT ownMiddle{ownCell.Left + 40 / 2, (ownCell.Top + ownCell.Bottom) / 2};
  ClientToScreen(Window(), &ownMiddle);
  EXPECT_EQ(shown[3].x, ownMiddle.x);
  EXPECT_EQ(shown[3].y, ownMiddle.y);
}

TEST_F(TreeMouse, HotNodesShowTheHotCursorAndF1AsksUpTheChain) {
  auto& o = tree->TreeOptions();
  o.SetPaintOptions(o.PaintOptions() | toHotTrack);
  tree->SetHotCursor(32649);  // the hand
  const POINT p = Label(nodes[1]);
  SendMessageW(Window(), WM_MOUSEMOVE, 0, At(p));
  ASSERT_EQ(tree->HotNode(), nodes[1]);
  SendMessageW(Window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Window()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));
  // The default hot cursor is the arrow, whatever the control's cursor.
  tree->SetCursor(32513);  // the I-beam
  tree->SetHotCursor(0);
  SendMessageW(Window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Window()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
  SendMessageW(Window(), WM_MOUSELEAVE, 0, 0);
  SendMessageW(Window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Window()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32513)));

  tree->SetExpanded(nodes[0], true);
  tree->SetFocusedNode(tree->GetFirstChild(nodes[0]));
  std::vector<unsigned> help;
  ui::Application().OnHelp = [&](unsigned context) {
    help.push_back(context);
    return true;
  };
  const ScopeGuard unhookHelp([] { ui::Application().OnHelp = nullptr; });
  tree->OnGetHelpContext = [&](TBaseLazyTree&, PLazyNode node, TColumnIndex, unsigned& context) {
    if (node == nodes[0]) context = 7;
  };
  SendMessageW(Window(), WM_KEYDOWN, VK_F1, 1);
  tree->OnGetHelpContext = nullptr;
  tree->SetHelpContext(3);
  SendMessageW(Window(), WM_KEYDOWN, VK_F1, 1);
  // Without a context of its own the tree takes its nearest parent's.
  form.SetHelpContext(5);
  tree->SetHelpContext(0);
  SendMessageW(Window(), WM_KEYDOWN, VK_F1, 1);
  EXPECT_EQ(help, (std::vector<unsigned>{7, 3, 5}));
}

}  // namespace
}  // namespace kv
