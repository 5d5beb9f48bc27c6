// Selection, focus, change notification, update locking, expanding and the
// scroll geometry of the window-free tree.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/treeview/tree_checker.h"

namespace kv {
namespace {

using test::AllNodes;
using test::Populate;

std::vector<PLazyNode> SelectedNodes(TLazyTreeModel& tree) { return tree.GetSortedSelection(false); }

TEST(LazyTreeSelection, ConstraintsAndSingleSelection) {
  struct Case {
    const char* name;
    std::uint32_t options;
    std::size_t expectedSelected;  // after selecting a range over two parents
  };
  // Range: a, a1, a2, b, b1, b2 (both expanded).
  const Case cases[] = {
      {"multi, no constraint", toMultiSelect, 6},
      {"level of the first selected node", toMultiSelect | toLevelSelectConstraint, 2},
      {"siblings of the anchor", toMultiSelect | toSiblingSelectConstraint, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLazyTreeModel tree;
    Populate(tree, 3, 2);
    auto nodes = AllNodes(tree);
    tree.ToggleNode(nodes[0]);
    tree.ToggleNode(nodes[3]);
    tree.TreeOptions().SetSelectionOptions(c.options);
    tree.SetSelected(nodes[0], true);
    tree.SelectNodes(nodes[0], nodes[5], true);
    EXPECT_EQ(SelectedNodes(tree).size(), c.expectedSelected);
    EXPECT_TREE_OK(tree);
  }
  TLazyTreeModel single;
  Populate(single, 3, 0);
  single.SetSelected(single.GetFirst(), true);
  single.SetSelected(single.GetFirst()->NextSibling, true);
  EXPECT_EQ(SelectedNodes(single), std::vector<PLazyNode>{single.GetFirst()->NextSibling});
}

class ArrayTree : public TLazyTreeModel {
 public:
  using TLazyTreeModel::FindNodeInSelection;
  using TLazyTreeModel::InternalAddToSelection;
  using TLazyTreeModel::PackArray;
};

// Marked entries leave an array in one pass; the search looks between its bounds only.
TEST(LazyTreeSelection, PackArrayAndTheBoundedSearch) {
  ArrayTree tree;
  Populate(tree, 4, 0);
  auto nodes = AllNodes(tree);
  std::sort(nodes.begin(), nodes.end());
  EXPECT_EQ(ArrayTree::PackArray(nodes.data(), 0), -1);
  std::vector<PLazyNode> array = nodes;
  array[1] = reinterpret_cast<PLazyNode>(reinterpret_cast<std::uintptr_t>(array[1]) | 1);
  array[3] = reinterpret_cast<PLazyNode>(reinterpret_cast<std::uintptr_t>(array[3]) | 1);
  ASSERT_EQ(ArrayTree::PackArray(array.data(), 4), 2);
  EXPECT_EQ(array[0], nodes[0]);
  EXPECT_EQ(array[1], nodes[2]);

  for (PLazyNode n : nodes) EXPECT_TRUE(tree.InternalAddToSelection(n, false));
  EXPECT_FALSE(tree.InternalAddToSelection(nodes[0], false));  // already selected
  std::ptrdiff_t index = -1;
  EXPECT_TRUE(tree.FindNodeInSelection(nodes[2], index, -1, -1));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(tree.FindNodeInSelection(nodes[2], index, 1, 0));  // past the upper bound
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(tree.FindNodeInSelection(nodes[0], index, -1, 1));  // before the lower bound
  EXPECT_EQ(index, 1);
  EXPECT_TRUE(tree.FindNodeInSelection(nodes[3], index, 3, 3));
  EXPECT_EQ(index, 3);

  // Nodes given in any order are sorted and merged in among those selected.
  ArrayTree many;
  Populate(many, 40, 0);
  auto all = AllNodes(many);
  std::sort(all.begin(), all.end());
  std::vector<PLazyNode> odd, even;
  for (std::size_t i = 0; i < all.size(); ++i) (i % 2 ? odd : even).push_back(all[i]);
  std::reverse(odd.begin(), odd.end());
  std::swap(odd[3], odd[11]);
  EXPECT_TRUE(many.InternalAddToSelection(even.data(), even.size(), false));
  EXPECT_TRUE(many.InternalAddToSelection(odd.data(), odd.size(), false));
  ASSERT_EQ(many.SelectedCount(), all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_TRUE(many.FindNodeInSelection(all[i], index, -1, -1));
    EXPECT_EQ(index, static_cast<std::ptrdiff_t>(i));
  }
}

TEST(LazyTreeSelection, DisabledAndCollapsedNodesAreNotSelected) {
  TLazyTreeModel tree;
  tree.TreeOptions().SetSelectionOptions(toMultiSelect);
  Populate(tree, 4, 3);
  auto nodes = AllNodes(tree);  // a a1 a2 a3 b b1 b2 b3 ...
  nodes[4]->States.Include(nsDisabled);
  tree.ToggleNode(nodes[0]);
  tree.SelectNodes(nodes[0], nodes[12], false);  // b is collapsed: its children stay out
  auto selected = SelectedNodes(tree);
  EXPECT_EQ(selected.size(), 6u);  // a a1 a2 a3 c d: not the disabled b nor b's children
  for (PLazyNode n : selected) EXPECT_TRUE(tree.FullyVisible(n));
  tree.SelectAll(false);
  EXPECT_FALSE(tree.Selected(nodes[4]));
  EXPECT_EQ(tree.SelectedCount(), nodes.size() - 1);
  EXPECT_TREE_OK(tree);
}

// Toggling a range flips the nodes between its ends; an end flips only on
// the far side of the anchor, and the anchor itself stays selected.
TEST(LazyTreeSelection, ToggleSelectionFlipsTheRangeAroundTheAnchor) {
  TLazyTreeModel tree;
  tree.TreeOptions().SetSelectionOptions(toMultiSelect);
  Populate(tree, 6, 0);
  const auto n = AllNodes(tree);
  tree.SetSelected(n[1], true);  // the anchor
  tree.AddToSelection(n[4]);
  tree.ToggleSelection(n[1], n[3]);
  EXPECT_EQ(SelectedNodes(tree), (std::vector<PLazyNode>{n[1], n[2], n[3], n[4]}));
  tree.ToggleSelection(n[3], n[5]);
  EXPECT_EQ(SelectedNodes(tree), (std::vector<PLazyNode>{n[1], n[2], n[3], n[5]}));
  tree.ToggleSelection(n[2], n[2]);
  EXPECT_EQ(tree.SelectedCount(), 4u);
  tree.RemoveFromSelection(n[1]);
  tree.ToggleSelection(n[2], n[3]);
  EXPECT_EQ(SelectedNodes(tree), (std::vector<PLazyNode>{n[1], n[2], n[5]}));
  EXPECT_THROW(tree.ToggleSelection(n[0], nullptr), ELazyTreeAssertion);
  EXPECT_TREE_OK(tree);
}

TEST(LazyTreeSelection, ChangeEventsAreCollapsed) {
  TLazyTreeModel tree;
  tree.TreeOptions().SetSelectionOptions(toMultiSelect);
  Populate(tree, 5, 0);
  int changes = 0;
  PLazyNode last = tree.RootNode();
  tree.OnChange = [&](TLazyTreeModel&, PLazyNode n) {
    ++changes;
    last = n;
  };
  tree.SelectAll(true);
  EXPECT_EQ(changes, 1);
  tree.InvertSelection(true);  // nothing to add: still exactly one event
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(tree.SelectedCount(), 0u);
  std::vector<TLTUpdateState> updates;
  tree.OnUpdating = [&](TLazyTreeModel&, TLTUpdateState s) { updates.push_back(s); };
  tree.BeginUpdate();
  tree.BeginUpdate();
  for (PLazyNode n = tree.GetFirst(); n; n = tree.GetNext(n)) tree.SetSelected(n, true);
  tree.EndUpdate();
  EXPECT_EQ(changes, 2);
  tree.EndUpdate();
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(last, tree.GetLast());
  EXPECT_EQ(updates, (std::vector<TLTUpdateState>{TLTUpdateState::usBegin, TLTUpdateState::usUpdate,
                                                  TLTUpdateState::usUpdate, TLTUpdateState::usEnd}));
}

TEST(LazyTreeSelection, StructureChangeReasonsAccumulate) {
  TLazyTreeModel tree;
  std::vector<TChangeReason> reasons;
  tree.OnStructureChange = [&](TLazyTreeModel&, PLazyNode, TChangeReason r) { reasons.push_back(r); };
  tree.SetRootNodeCount(3);
  tree.BeginUpdate();
  tree.AddChild(nullptr);
  tree.AddChild(nullptr);
  tree.EndUpdate();
  tree.BeginUpdate();
  tree.AddChild(nullptr);
  tree.DeleteNode(tree.GetFirst());
  tree.EndUpdate();
  // Two changes before delivery accumulate, also two of the same reason.
  EXPECT_EQ(reasons, (std::vector<TChangeReason>{TChangeReason::crChildAdded, TChangeReason::crAccumulated,
                                                 TChangeReason::crAccumulated}));
  // Clearing children that have children of their own announces each of
  // them too; clearing only leaves is a single deletion.
  reasons.clear();
  tree.AddChild(tree.GetFirst());
  reasons.clear();
  tree.DeleteChildren(nullptr);
  EXPECT_EQ(reasons, std::vector<TChangeReason>{TChangeReason::crAccumulated});
  tree.SetRootNodeCount(2);
  reasons.clear();
  tree.DeleteChildren(nullptr);
  EXPECT_EQ(reasons, std::vector<TChangeReason>{TChangeReason::crChildDeleted});
  std::vector<std::pair<std::uint64_t, std::uint64_t>> states;
  tree.OnStateChange = [&](TLazyTreeModel&, TLazyTreeStates e, TLazyTreeStates l) {
    states.emplace_back(e.Bits(), l.Bits());
  };
  tree.DoStateChange({tsPopupShown});
  tree.DoStateChange({tsPopupShown}, {tsDragPending});  // changes nothing
  EXPECT_EQ(states.size(), 1u);
}

TEST(LazyTreeSelection, FocusEventsAndAutoExpand) {
  TLazyTreeModel tree;
  Populate(tree, 3, 2);
  PLazyNode a = tree.GetFirst(), b = a->NextSibling;
  int changed = 0;
  bool allow = false;
  tree.OnFocusChanging = [&](TLazyTreeModel&, PLazyNode, PLazyNode, TColumnIndex, TColumnIndex,
                             bool& allowed) { allowed = allow; };
  tree.OnFocusChanged = [&](TLazyTreeModel&, PLazyNode, TColumnIndex) { ++changed; };
  tree.SetFocusedNode(a);
  EXPECT_EQ(tree.FocusedNode(), nullptr);
  EXPECT_EQ(changed, 0);
  allow = true;
  tree.TreeOptions().SetAutoOptions(tree.TreeOptions().AutoOptions() | toAutoExpand);
  tree.SetFocusedNode(a);
  EXPECT_EQ(changed, 1);
  EXPECT_TRUE(tree.Expanded(a));
  tree.SetFocusedNode(b);
  EXPECT_FALSE(tree.Expanded(a));
  EXPECT_TRUE(tree.Expanded(b));
  EXPECT_EQ(tree.RangeAnchor(), b);  // follows the focus while nothing is selected
  EXPECT_TREE_OK(tree);

  // A node focused before it was ever reached learns only then that it has children.
  TLazyTreeModel lazy;
  lazy.OnInitNode = [](TLazyTreeModel&, PLazyNode parent, PLazyNode, TLazyNodeInitStates& states) {
    if (parent == nullptr) states |= nisHasChildren;
  };
  lazy.OnInitChildren = [](TLazyTreeModel&, PLazyNode, std::uint32_t& count) { count = 2; };
  lazy.TreeOptions().SetAutoOptions(lazy.TreeOptions().AutoOptions() | toAutoExpand);
  lazy.SetRootNodeCount(2);
  lazy.SetFocusedNode(lazy.GetFirstNoInit());
  EXPECT_TRUE(lazy.Expanded(lazy.GetFirstNoInit()));
  EXPECT_EQ(lazy.VisibleCount(), 4u);
  EXPECT_TREE_OK(lazy);
}

TEST(LazyTreeSelection, OptionChangesClearTheSelection) {
  TLazyTreeModel tree;
  tree.TreeOptions().SetSelectionOptions(toMultiSelect);
  Populate(tree, 4, 0);
  tree.SelectAll(false);
  tree.TreeOptions().SetSelectionOptions(toMultiSelect | toExtendedFocus);
  EXPECT_EQ(tree.SelectedCount(), 4u);
  tree.TreeOptions().SetSelectionOptions(toExtendedFocus);
  EXPECT_EQ(tree.SelectedCount(), 0u);
  TLazyTreeModel defaults;
  EXPECT_EQ(defaults.TreeOptions().PaintOptions(), 7008u);
  EXPECT_EQ(defaults.TreeOptions().AutoOptions(), 329u);
  EXPECT_EQ(defaults.TreeOptions().MiscOptions(), 425u);
  EXPECT_EQ(defaults.TreeOptions().SelectionOptions() | defaults.TreeOptions().AnimationOptions(), 0u);
  defaults.SetAnimationDuration(0);
  EXPECT_EQ(defaults.TreeOptions().AnimationOptions(), 0u);
  defaults.SetAnimationDuration(200);
  EXPECT_EQ(defaults.TreeOptions().AnimationOptions(), std::uint32_t{toAnimatedToggle});
}

// ---------------------------------------------------------------- expanding --

class HintTree : public TLazyTreeModel {
 public:
  using TLazyTreeModel::DoStateChange;
};

// An animated expand takes the hint away whenever the node's top shows, also
// with its bottom cut off by the client's edge.
TEST(LazyTreeView, ExpandingANodeWhoseTopShowsCancelsTheHint) {
  struct Case {
    std::uint32_t row;
    bool cancelled;
  } cases[] = {{1, true}, {5, true}, {6, false}};  // rows of 18 in a client 100 high: row 5 is cut off
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    HintTree tree;
    Populate(tree, 8, 2);
    tree.SetAnimationDuration(200);
    tree.DoStateChange({tsHintShowing});
    PLazyNode node = tree.GetFirst();
    for (std::uint32_t i = 0; i < c.row; ++i) node = tree.GetNextSibling(node);
    tree.ToggleNode(node);
    EXPECT_TRUE(tree.Expanded(node));
    EXPECT_EQ(tree.TreeStates().Contains(tsHintShowing), !c.cancelled);
  }
}

TEST(LazyTreeView, ExpandAndCollapse) {
  TLazyTreeModel tree;
  Populate(tree, 2, 3);
  PLazyNode a = tree.GetFirst();
  const std::uint32_t rootHeight = tree.RootNode()->TotalHeight;
  tree.ToggleNode(a);
  EXPECT_EQ(a->TotalHeight, 4u * 18);
  EXPECT_EQ(tree.RootNode()->TotalHeight, rootHeight + 54);
  EXPECT_EQ(tree.VisibleCount(), 5u);
  tree.ToggleNode(a);
  EXPECT_EQ(tree.RootNode()->TotalHeight, rootHeight);
  EXPECT_EQ(tree.VisibleCount(), 2u);

  int expandedEvents = 0;
  tree.OnExpanding = [](TLazyTreeModel&, PLazyNode, bool& allowed) { allowed = false; };
  tree.OnExpanded = [&](TLazyTreeModel&, PLazyNode) { ++expandedEvents; };
  tree.ToggleNode(a);
  EXPECT_FALSE(tree.Expanded(a));
  EXPECT_EQ(expandedEvents, 0);
  tree.OnExpanding = nullptr;

  int asked = 0;
  tree.OnInitChildren = [&](TLazyTreeModel&, PLazyNode, std::uint32_t& count) {
    ++asked;
    count = 2;
  };
  tree.TreeOptions().SetAutoOptions(tree.TreeOptions().AutoOptions() | toAutoFreeOnCollapse);
  tree.ToggleNode(a);
  tree.ToggleNode(a);
  EXPECT_EQ(a->ChildCount, 0u);
  EXPECT_TRUE(tree.HasChildren(a));
  tree.ToggleNode(a);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(a->ChildCount, 2u);
  EXPECT_TREE_OK(tree);

  tree.OnInitChildren = [](TLazyTreeModel&, PLazyNode, std::uint32_t& count) { count = 0; };
  PLazyNode empty = tree.AddChild(nullptr);
  tree.SetHasChildren(empty, true);
  tree.ToggleNode(empty);
  EXPECT_FALSE(tree.Expanded(empty));
  EXPECT_FALSE(tree.HasChildren(empty));
}

TEST(LazyTreeView, FullExpandAndCollapse) {
  TLazyTreeModel tree;
  Populate(tree, 5, 4);
  for (PLazyNode n = tree.GetFirst(); n; n = n->NextSibling) tree.AddChild(n->FirstChild);
  tree.FullExpand();
  EXPECT_EQ(tree.VisibleCount(), tree.TotalCount());
  EXPECT_TREE_OK(tree);
  tree.FullCollapse();
  EXPECT_EQ(tree.VisibleCount(), 5u);
  EXPECT_FALSE(tree.Expanded(tree.GetFirst()->FirstChild));
  EXPECT_TREE_OK(tree);
}

// FullExpand asks OnExpanding for every node it meets that is not expanded;
// FullCollapse starts at the last visible node, so a hidden expanded node
// after it keeps its state.
TEST(LazyTreeView, FullExpandAsksEveryNodeAndFullCollapseStartsAtTheLastVisible) {
  TLazyTreeModel tree;
  Populate(tree, 3, 2);
  int asked = 0;
  tree.OnExpanding = [&](TLazyTreeModel&, PLazyNode, bool&) { ++asked; };
  tree.FullExpand();
  EXPECT_EQ(asked, 9);  // three parents, six leaves
  EXPECT_EQ(tree.VisibleCount(), 9u);
  PLazyNode last = tree.GetFirst()->NextSibling->NextSibling;
  tree.SetNodeVisible(last, false);
  EXPECT_EQ(tree.VisibleCount(), 6u);
  EXPECT_TREE_OK(tree);
  tree.FullCollapse();
  EXPECT_TRUE(tree.Expanded(last));
  EXPECT_FALSE(tree.Expanded(tree.GetFirst()));
  EXPECT_FALSE(tree.Expanded(tree.GetFirst()->NextSibling));
  EXPECT_EQ(tree.VisibleCount(), 2u);
  EXPECT_TREE_OK(tree);
  tree.OnExpanding = [](TLazyTreeModel&, PLazyNode, bool& allowed) { allowed = false; };
  tree.FullExpand();
  EXPECT_EQ(tree.VisibleCount(), 2u);
}

// A node hidden through the tree, also from OnInitNode (where it is already
// counted), leaves every counter right; showing it again restores them.
TEST(LazyTreeView, HidingAndShowingNodesKeepsTheCounters) {
  TLazyTreeModel tree;
  tree.SetViewSize(200, 100);
  tree.OnInitNode = [](TLazyTreeModel& t, PLazyNode, PLazyNode node, TLazyNodeInitStates&) {
    if (node->Index % 2 == 1) t.SetNodeVisible(node, false);
  };
  tree.SetRootNodeCount(3);
  PLazyNode parent = tree.GetFirstNoInit();
  tree.SetChildCount(parent, 4);
  tree.ToggleNode(parent);
  tree.ValidateChildren(nullptr, true);  // odd children and the second top-level node hide
  EXPECT_EQ(tree.VisibleCount(), 4u);
  EXPECT_EQ(tree.RootNode()->TotalHeight, 18u * 5);
  EXPECT_EQ(tree.GetNodeAt(0, 3 * 18 + 2), parent->NextSibling->NextSibling);
  EXPECT_TREE_OK(tree);
  tree.OnInitNode = nullptr;
  tree.SetNodeVisible(parent, false);
  EXPECT_EQ(tree.VisibleCount(), 1u);
  EXPECT_TREE_OK(tree);
  tree.SetNodeVisible(parent, true);
  tree.SetNodeVisible(parent->FirstChild->NextSibling, true);
  EXPECT_EQ(tree.VisibleCount(), 5u);
  EXPECT_FALSE(parent->States.Contains(nsAllChildrenHidden));
  EXPECT_TREE_OK(tree);
}

// ---------------------------------------------------------------- geometry --

TEST(LazyTreeView, OffsetsAreClamped) {
  TLazyTreeModel tree;
  tree.SetViewSize(200, 100);
  tree.SetRootNodeCount(100);
  tree.UpdateScrollBars(false);
  struct Case {
    int request, expected;
  };
  for (Case c : {Case{100, 0}, Case{-1000000, 100 - 1800}, Case{-500, -500}}) {
    tree.SetOffsetY(c.request);
    EXPECT_EQ(tree.OffsetY(), c.expected) << c.request;
  }
  tree.SetViewSize(200, 5000);
  EXPECT_EQ(tree.OffsetY(), 0);
}

TEST(LazyTreeView, NodeAtPositionAndDisplayRects) {
  TLazyTreeModel tree;
  tree.SetViewSize(300, 90);
  Populate(tree, 10, 3);
  tree.ToggleNode(tree.GetFirst()->NextSibling);  // rows: a b b1 b2 b3 c ...
  tree.SetNodeHeight(tree.GetFirst(), 30);
  tree.UpdateScrollBars(false);
  PLazyNode b = tree.GetFirst()->NextSibling;
  int top = 0;
  struct Case {
    int y;
    PLazyNode node;
    int top;
  };
  const Case cases[] = {
      {0, tree.GetFirst(), 0}, {29, tree.GetFirst(), 0}, {30, b, 30}, {48, b->FirstChild, 48},
      {100, b->LastChild, 84}, {-5, tree.GetFirst(), 0}, {100000, nullptr, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tree.GetNodeAt(0, c.y, false, top), c.node) << c.y;
    if (c.node) {
      EXPECT_EQ(top, c.top) << c.y;
    }
  }
  EXPECT_EQ(tree.GetDisplayRect(b->FirstChild, kNoColumn, false), (TLazyRect{0, 48, 300, 66}));
  tree.SetOffsetY(-40);
  EXPECT_EQ(tree.TopNode(), b);
  EXPECT_EQ(tree.GetDisplayRect(tree.GetFirst(), kNoColumn, false), (TLazyRect{0, -40, 300, -10}));
  EXPECT_EQ(tree.InvalidateNode(b->FirstChild), (TLazyRect{0, 8, 300, 26}));
  EXPECT_TRUE(tree.InvalidateNode(tree.GetLast()).Empty());  // below the screen
  EXPECT_TRUE(tree.InvalidateNode(b->NextSibling->FirstChild).Empty());  // collapsed

  EXPECT_TRUE(tree.ScrollIntoView(tree.GetFirst(), false));
  EXPECT_EQ(tree.OffsetY(), 0);
  PLazyNode deep = tree.GetLast();  // inside the collapsed last node: expanded on the way
  tree.ScrollIntoView(deep, false);  // expanding alone may already bring it in
  EXPECT_TRUE(tree.FullyVisible(deep));
  const TLazyRect r = tree.GetDisplayRect(deep, kNoColumn, false);
  EXPECT_EQ(r.Bottom, 90);
  EXPECT_TREE_OK(tree);
}

// Invalidating a row costs the node's depth plus the rows on screen, wherever
// the view is scrolled to and whether or not the node is shown.
TEST(LazyTreeView, InvalidatingARowWalksOnlyTheScreen) {
  TLazyTreeModel tree;
  tree.SetViewSize(300, 180);  // ten rows
  tree.SetRootNodeCount(100000);
  tree.UpdateScrollBars(false);
  tree.SetOffsetY(-18 * 90000);
  PLazyNode shown = tree.TopNode();
  tree.InvalidateNode(shown);  // places the screen anchor once
  const std::uint64_t before = tree.WalkedNodes();
  for (PLazyNode n = shown; n && n->Index < shown->Index + 10; n = n->NextSibling) tree.InvalidateNode(n);
  tree.InvalidateNode(tree.GetFirstNoInit());  // far above
  tree.InvalidateNode(tree.GetLastNoInit());   // far below
  EXPECT_LE(tree.WalkedNodes() - before, 12u * 11);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

class ClockTree : public TLazyTreeModel {
 public:
  std::uint64_t now = 1000;

 protected:
  std::uint64_t TickCount() const override { return now; }
};

TEST(LazyTreeView, AutoScrollWaitsAtTheEdgeForTheDelay) {
  ClockTree tree;
  tree.SetViewSize(200, 100);
  tree.SetRootNodeCount(100);
  tree.UpdateScrollBars(false);
  tree.BeginDrawSelection(10, 10, false);
  EXPECT_EQ(tree.DetermineScrollDirections(50, 90), 0u);  // toAutoScroll is off
  tree.TreeOptions().SetAutoOptions(tree.TreeOptions().AutoOptions() | toAutoScroll);
  EXPECT_EQ(tree.DetermineScrollDirections(50, 90), 0u);  // time noted
  tree.now += 999;
  EXPECT_EQ(tree.DetermineScrollDirections(50, 90), 0u);
  tree.now += 1;
  EXPECT_EQ(tree.DetermineScrollDirections(50, 90), 8u);
  EXPECT_EQ(tree.DetermineScrollDirections(50, 5), 0u);  // top edge: already at the top
  tree.SetOffsetY(-100);
  tree.now += 1000;
  EXPECT_EQ(tree.DetermineScrollDirections(50, 5), 0u);  // a new edge waits again
  tree.now += 1000;
  EXPECT_EQ(tree.DetermineScrollDirections(50, 5), 2u);
  tree.EndDrawSelection();
  EXPECT_EQ(tree.DetermineScrollDirections(50, 5), 0u);
}

TEST(LazyTreeSelection, RubberBandSelectsTheRowsItCovers) {
  TLazyTreeModel tree;
  tree.SetViewSize(200, 200);
  tree.TreeOptions().SetSelectionOptions(toMultiSelect);
  Populate(tree, 8, 0);
  tree.UpdateScrollBars(false);
  auto nodes = AllNodes(tree);
  nodes[1]->States.Include(nsDisabled);
  int changes = 0;
  tree.OnChange = [&](TLazyTreeModel&, PLazyNode) { ++changes; };
  tree.BeginDrawSelection(0, 5, false);
  tree.CalculateSelectionRect(100, 60);  // rows 0..3
  EXPECT_TRUE(tree.HandleDrawSelection());
  EXPECT_EQ(SelectedNodes(tree), (std::vector<PLazyNode>{nodes[0], nodes[2], nodes[3]}));
  EXPECT_EQ(changes, 1);
  tree.CalculateSelectionRect(100, 30);  // back to rows 0..1
  EXPECT_TRUE(tree.HandleDrawSelection());
  EXPECT_EQ(SelectedNodes(tree), std::vector<PLazyNode>{nodes[0]});
  tree.EndDrawSelection();
  tree.BeginDrawSelection(0, 5, true);  // Ctrl: covered rows flip
  tree.CalculateSelectionRect(100, 40);
  tree.HandleDrawSelection();
  EXPECT_EQ(SelectedNodes(tree), std::vector<PLazyNode>{nodes[2]});
  EXPECT_TREE_OK(tree);
}

}  // namespace
}  // namespace kv
