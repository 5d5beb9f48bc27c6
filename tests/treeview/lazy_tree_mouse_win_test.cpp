// The tree driven by real button and wheel messages at points taken from the
// nodes' display rectangles, modifier keys pressed through SendInput.

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/treeview/held_key_win.h"
#include "tests/treeview/tree_on_form_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"

namespace kv {
namespace {

using test::HeldKey;

class TreeMouse : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &test::PlaceTree<TLazyDrawTree>(form);
    tree->OnGetNodeWidth = [](TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, int& width) { width = 40; };
    form.Show();
    // Five top-level nodes, the first with two children (collapsed).
    tree->SetRootNodeCount(5);
    for (PLazyNode n = tree->GetFirst(); n != nullptr; n = tree->GetNextSibling(n)) nodes.push_back(n);
    tree->AddChild(nodes[0]);
    tree->AddChild(nodes[0]);
  }
  HWND Window() { return tree->Handle(); }
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
  using Change = std::pair<PLazyNode, PLazyNode>;
  EXPECT_EQ(changes, (std::vector<Change>{{nullptr, nodes[2]}, {nodes[2], nullptr}, {nullptr, nodes[3]},
                                          {nodes[3], nullptr}}));
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
  tree->SetPopupHook([&](ui::TPopupMenu& m, POINT at) {
    EXPECT_EQ(&m, &menu);
    EXPECT_EQ(m.PopupComponent, tree);
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

  tree->SetExpanded(nodes[0], true);
  tree->SetFocusedNode(tree->GetFirstChild(nodes[0]));
  std::vector<unsigned> help;
  tree->SetHelpHook([&](unsigned context) { help.push_back(context); });
  tree->OnGetHelpContext = [&](TBaseLazyTree&, PLazyNode node, TColumnIndex, unsigned& context) {
    if (node == nodes[0]) context = 7;
  };
  SendMessageW(Window(), WM_KEYDOWN, VK_F1, 1);
  tree->OnGetHelpContext = nullptr;
  tree->SetHelpContext(3);
  SendMessageW(Window(), WM_KEYDOWN, VK_F1, 1);
  EXPECT_EQ(help, (std::vector<unsigned>{7, 3}));
}

}  // namespace
}  // namespace kv
