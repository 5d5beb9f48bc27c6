// Node model, navigation and sorting of the window-free tree.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/treeview/tree_checker.h"

namespace kv {
namespace {

using test::AllNodes;
using test::Key;
using test::Populate;

// A tree whose freeing dispatcher is overridden, as the shell and string trees do.
class CountingTree : public TLazyTreeModel {
 public:
  explicit CountingTree(std::multiset<PLazyNode>* freed) : freed_(freed) {}
  ~CountingTree() override { DestroyNodes(); }

 protected:
  void DoFreeNode(PLazyNode node) override {
    if (node->States.Contains(nsInitialized)) freed_->insert(node);
    TLazyTreeModel::DoFreeNode(node);
  }

 private:
  std::multiset<PLazyNode>* freed_;
};

TEST(LazyTreeNodes, NodesAreMadeUninitialisedAndInitialisedOnFirstReach) {
  TLazyTreeModel tree;
  int inits = 0;
  tree.OnInitNode = [&](TLazyTreeModel&, PLazyNode parent, PLazyNode, TLazyNodeInitStates&) {
    EXPECT_EQ(parent, nullptr);  // top level: never the hidden root
    ++inits;
  };
  tree.SetRootNodeCount(1000);
  EXPECT_EQ(tree.RootNodeCount(), 1000u);
  EXPECT_EQ(tree.VisibleCount(), 1000u);
  EXPECT_EQ(inits, 0);
  PLazyNode first = tree.GetFirstNoInit();
  EXPECT_FALSE(first->States.Contains(nsInitialized));
  EXPECT_EQ(tree.GetFirst(), first);
  EXPECT_EQ(inits, 1);
  EXPECT_EQ(TreeFromNode(first), &tree);
  EXPECT_EQ(first->Align, 50);
  EXPECT_EQ(first->NodeHeight, 18);
  EXPECT_TREE_OK(tree);
}

TEST(LazyTreeNodes, ChildCountChangesAndInitChildren) {
  struct Case {
    const char* name;
    std::uint32_t initial, target;
    std::uint32_t askedCount;  // what OnInitChildren answers (initial kept when ~0u)
    bool hasChildrenAfter;
  };
  const Case cases[] = {
      {"shrink deletes from the end", 5, 2, ~0u, true},
      {"zero keeps the flag", 5, 0, ~0u, true},
      {"init answering zero clears the flag", 0, 0, 0, false},
      {"init answering a count creates them", 0, 0, 7, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLazyTreeModel tree;
    tree.OnInitChildren = [&](TLazyTreeModel&, PLazyNode, std::uint32_t& count) {
      if (c.askedCount != ~0u) count = c.askedCount;
    };
    tree.SetRootNodeCount(1);
    PLazyNode n = tree.GetFirst();
    tree.SetHasChildren(n, true);
    if (c.askedCount != ~0u) {
      tree.InitChildren(n);
      EXPECT_EQ(n->ChildCount, c.askedCount);
    } else {
      tree.SetChildCount(n, c.initial);
      std::vector<PLazyNode> firstTwo = {n->FirstChild, n->FirstChild->NextSibling};
      tree.SetChildCount(n, c.target);
      EXPECT_EQ(n->ChildCount, c.target);
      if (c.target == 2) {
        EXPECT_EQ(n->FirstChild->NextSibling, firstTwo[1]);
      }
    }
    EXPECT_EQ(tree.HasChildren(n), c.hasChildrenAfter);
    EXPECT_TREE_OK(tree);
  }
}

// The all-children-hidden flag (which hides the button under
// toAutoHideButtons) follows the children: set once none is visible, cleared
// as soon as visible children come back, whichever way they come.
TEST(LazyTreeNodes, AllChildrenHiddenFollowsTheChildren) {
  TLazyTreeModel tree;
  std::uint32_t asked = 3;
  tree.OnInitChildren = [&](TLazyTreeModel&, PLazyNode, std::uint32_t& count) { count = asked; };
  tree.SetRootNodeCount(1);
  PLazyNode p = tree.GetFirst();
  auto hidden = [&] { return p->States.Contains(nsAllChildrenHidden); };

  tree.AddChild(p);
  tree.DeleteNode(p->FirstChild);  // the last child goes
  EXPECT_TRUE(hidden());
  tree.SetHasChildren(p, true);
  tree.SetChildCount(p, 2);
  EXPECT_FALSE(hidden());

  tree.SetNodeVisible(p->FirstChild, false);
  EXPECT_FALSE(hidden());
  tree.SetNodeVisible(p->LastChild, false);
  EXPECT_TRUE(hidden());
  tree.SetChildCount(p, 4);  // two hidden, two new visible ones
  EXPECT_FALSE(hidden());
  tree.SetChildCount(p, 2);  // the visible ones go again
  EXPECT_TRUE(hidden());
  EXPECT_TREE_OK(tree);

  // Children asked for again after the hidden ones were dropped.
  tree.DeleteChildren(p);
  ASSERT_TRUE(tree.HasChildren(p));
  tree.InitChildren(p);
  EXPECT_EQ(p->ChildCount, 3u);
  EXPECT_FALSE(hidden());
  tree.ToggleNode(p);
  EXPECT_EQ(tree.VisibleCount(), 4u);
  EXPECT_TREE_OK(tree);
}

// Deleting children with the reset flag clears nsHasChildren only when there
// were child records to delete and the tree may change; a node whose children
// were never asked for keeps its button, also when its children move away.
TEST(LazyTreeNodes, DeleteChildrenResetsTheFlagOnlyWhenChildrenGo) {
  struct Case {
    const char* name;
    std::uint32_t children;
    bool readOnly, moveToOtherTree;
    bool hasChildrenAfter;
  };
  const Case cases[] = {
      {"children deleted", 2, false, false, false},
      {"children never asked for", 0, false, false, true},
      {"read-only, children never asked for", 0, true, false, true},
      {"read-only, children kept", 2, true, false, true},
      {"children moved to another tree", 2, false, true, false},
      {"never-asked children moved to another tree", 0, false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLazyTreeModel tree, other;
    tree.SetRootNodeCount(1);
    PLazyNode n = tree.GetFirst();
    tree.SetHasChildren(n, true);
    if (c.children > 0) tree.SetChildCount(n, c.children);
    if (c.readOnly) tree.TreeOptions().SetMiscOptions(tree.TreeOptions().MiscOptions() | toReadOnly);
    if (c.moveToOtherTree)
      tree.MoveTo(n, nullptr, TLTNodeAttachMode::amAddChildLast, true, &other);
    else
      tree.DeleteChildren(n, true);
    EXPECT_EQ(tree.HasChildren(n), c.hasChildrenAfter);
    EXPECT_EQ(n->ChildCount, c.readOnly ? c.children : 0u);
    if (c.moveToOtherTree) {
      EXPECT_EQ(other.RootNodeCount(), c.children);
    }
    tree.TreeOptions().SetMiscOptions(tree.TreeOptions().MiscOptions() & ~toReadOnly);
    EXPECT_TREE_OK(tree);
  }
}

// Moving a node's children keeps their order, within a tree and into another one, for every mode.
TEST(LazyTreeNodes, MovedChildrenKeepTheirOrder) {
  using M = TLTNodeAttachMode;
  struct Case {
    const char* name;
    M mode;
    bool toSelf;         // beside their own parent rather than to node 4
    const char* target;  // the target tree: top-level keys | the children of node 4
  };
  const Case cases[] = {
      {"before", M::amInsertBefore, false, "0 1 2 3 4 | 5 6 7"},
      {"after", M::amInsertAfter, false, "0 4 1 2 3 | 5 6 7"},
      {"first child", M::amAddChildFirst, false, "0 4 | 1 2 3 5 6 7"},
      {"last child", M::amAddChildLast, false, "0 4 | 5 6 7 1 2 3"},
      {"before their parent", M::amInsertBefore, true, "1 2 3 0 4 | 5 6 7"},
      {"after their parent", M::amInsertAfter, true, "0 1 2 3 4 | 5 6 7"},
  };
  auto shape = [](TLazyTreeModel& t) {
    std::string text;
    for (PLazyNode n = t.GetFirst(); n != nullptr; n = t.GetNextSibling(n)) text += std::to_string(Key(t, n)) + " ";
    text += "|";
    PLazyNode four = t.GetFirst();
    while (Key(t, four) != 4) four = four->NextSibling;
    for (PLazyNode n = t.GetFirstChild(four); n != nullptr; n = t.GetNextSibling(n))
      text += " " + std::to_string(Key(t, n));
    return text;
  };
  for (const Case& c : cases) {
    for (bool otherTree : {false, true}) {
      if (c.toSelf && otherTree) continue;
      SCOPED_TRACE(std::string(c.name) + (otherTree ? ", into another tree" : ", within the tree"));
      TLazyTreeModel tree, other;
      Populate(tree, 2, 3);  // 0 (1 2 3) 4 (5 6 7)
      Populate(other, 2, 3);
      // The numbers travel with the nodes into the other tree.
      tree.OnSaveNode = [](TLazyTreeModel& t, PLazyNode node, TNodeStream& stream) {
        stream.WriteBuffer(t.GetNodeData(node), 4);
      };
      other.OnLoadNode = [](TLazyTreeModel& t, PLazyNode node, TNodeStream& stream) {
        stream.ReadBuffer(t.GetNodeData(node), 4);
      };
      TLazyTreeModel& destination = otherTree ? other : tree;
      PLazyNode parent = tree.GetFirst();
      PLazyNode target = c.toSelf ? parent : destination.GetFirst()->NextSibling;
      if (otherTree) {
        // The other tree's own first children make way, so both roads expect the same picture.
        destination.DeleteChildren(destination.GetFirst());
      }
      tree.MoveTo(parent, target, c.mode, true, otherTree ? &other : nullptr);
      EXPECT_EQ(shape(destination), c.target);
      EXPECT_EQ(parent->ChildCount, 0u);
      EXPECT_TREE_OK(tree);
      EXPECT_TREE_OK(other);
    }
  }
}

TEST(LazyTreeNodes, DeletingKeepsCountersAndIndexes) {
  TLazyTreeModel tree;
  Populate(tree, 3, 4);
  PLazyNode expanded = tree.GetFirst();
  PLazyNode collapsed = expanded->NextSibling;
  tree.ToggleNode(expanded);
  ASSERT_EQ(expanded->TotalHeight, 5u * 18);
  const std::uint32_t collapsedHeight = collapsed->TotalHeight;

  tree.DeleteNode(expanded->FirstChild->NextSibling);  // index 1 of 4
  std::vector<std::uint32_t> indexes;
  for (PLazyNode c = expanded->FirstChild; c != nullptr; c = c->NextSibling) indexes.push_back(c->Index);
  EXPECT_EQ(indexes, (std::vector<std::uint32_t>{0, 1, 2}));
  EXPECT_EQ(expanded->TotalHeight, 4u * 18);
  EXPECT_EQ(expanded->TotalCount, 4u);

  tree.DeleteNode(collapsed->FirstChild);
  EXPECT_EQ(collapsed->TotalHeight, collapsedHeight);  // a collapsed parent shows no children
  EXPECT_EQ(collapsed->TotalCount, 4u);

  while (expanded->FirstChild != nullptr) tree.DeleteNode(expanded->FirstChild);
  EXPECT_FALSE(tree.Expanded(expanded));
  EXPECT_FALSE(tree.HasChildren(expanded));
  EXPECT_TREE_OK(tree);
}

TEST(LazyTreeNodes, UserDataGivenToAddChild) {
  TLazyTreeModel tree;
  int freed = 0;
  tree.OnFreeNode = [&](TLazyTreeModel&, PLazyNode) { ++freed; };
  int payload = 7;
  tree.SetNodeDataSize(sizeof(void*));
  PLazyNode n = tree.AddChild(nullptr, &payload);
  void* stored = nullptr;
  std::memcpy(&stored, tree.GetNodeData(n), sizeof stored);
  EXPECT_EQ(stored, &payload);
  EXPECT_FALSE(n->States.Contains(nsInitialized));
  tree.DeleteNode(n);
  EXPECT_EQ(freed, 1);  // owner data: freed although never initialised

  TLazyTreeModel small;
  small.SetNodeDataSize(0);
  try {
    small.AddChild(nullptr, &payload);
    FAIL() << "no error";
  } catch (const ELazyTreeError& e) {
    EXPECT_EQ(e.Code(), 2008);
    EXPECT_STREQ(e.what(),
                 "Cannot set initial user data because there is not enough user data space allocated.");
  }
  EXPECT_EQ(small.RootNodeCount(), 1u);  // the child was added before the error
}

TEST(LazyTreeNodes, SizesHeightsAndAssertions) {
  TLazyTreeModel tree;
  tree.SetRootNodeCount(3);
  PLazyNode old = tree.GetFirstNoInit();
  tree.SetNodeDataSize(16);  // all nodes made again
  EXPECT_EQ(tree.RootNodeCount(), 3u);
  EXPECT_FALSE(tree.IsLiveNode(old) && old == tree.GetFirstNoInit() &&
               old->States.Contains(nsInitialized));
  EXPECT_NE(tree.GetNodeData(tree.GetFirstNoInit()), nullptr);
  EXPECT_EQ(tree.GetNodeData(tree.RootNode()), nullptr);

  tree.SetNodeHeight(tree.GetFirstNoInit(), 30);
  tree.SetDefaultNodeHeight(0);
  EXPECT_EQ(tree.DefaultNodeHeight(), 18u);
  tree.SetDefaultNodeHeight(25);
  EXPECT_EQ(tree.GetFirstNoInit()->NodeHeight, 30);  // existing nodes keep their heights
  EXPECT_EQ(tree.GetFirstNoInit()->NextSibling->NodeHeight, 18);
  EXPECT_TREE_OK(tree);

  struct Assertion {
    const char* message;
    std::function<void()> call;
  };
  const Assertion assertions[] = {
      {"Node must not be the hidden root node.", [&] { tree.GetNext(tree.RootNode()); }},
      {"Internal data allocation must be done before any node is created.",
       [&] { tree.AllocateInternalDataArea(4); }},
      {"Node must neither be nil nor the root node.",
       [&] { tree.InternalDisconnectNode(nullptr, false); }},
      {"Node must already be initialized.", [&] { tree.GetPrevious(tree.GetFirstNoInit()->NextSibling); }},
      {"Both nodes must be Assigned.", [&] { tree.CountLevelDifference(nullptr, tree.GetFirst()); }},
      {"Node must not be nil.", [&] { tree.ToggleNode(nullptr); }},
      {"Nodes must never be nil.", [&] { tree.CompareNodePositions(nullptr, tree.GetFirst()); }},
  };
  for (const auto& a : assertions) {
    try {
      a.call();
      ADD_FAILURE() << "no assertion: " << a.message;
    } catch (const ELazyTreeAssertion& e) {
      EXPECT_STREQ(e.what(), a.message);
    }
  }
  EXPECT_EQ(tree.GetNodeLevel(tree.GetFirst()), 0);
}

// A tree with a window whose layout is still being read.
class LoadingTree : public TLazyTreeModel {
 public:
  bool loading = true;
  int scrollBarUpdates = 0;
  bool HasWindow() const override { return true; }
  bool TreeLoading() const override { return loading; }
  void UpdateScrollBars(bool doRepaint) override {
    ++scrollBarUpdates;
    TLazyTreeModel::UpdateScrollBars(doRepaint);
  }
};

TEST(LazyTreeNodes, WhileLoadingCountsAndSizesOnlyWait) {
  LoadingTree tree;
  tree.SetRootNodeCount(5);
  EXPECT_EQ(tree.RootNodeCount(), 5u);  // kept in the root, no node made yet
  EXPECT_EQ(tree.GetFirstNoInit(), nullptr);
  EXPECT_TRUE(tree.TreeStates().Contains(tsRootCountDue));
  tree.SetNodeDataSize(8);  // taken without clearing: the count still waits
  EXPECT_EQ(tree.NodeDataSize(), 8);
  EXPECT_EQ(tree.RootNodeCount(), 5u);
  tree.SetDefaultNodeHeight(30);  // no scroll bars while loading
  EXPECT_EQ(tree.scrollBarUpdates, 0);
  tree.loading = false;
  tree.SetDefaultNodeHeight(31);
  EXPECT_GT(tree.scrollBarUpdates, 0);

  LoadingTree built;
  built.loading = false;
  built.SetRootNodeCount(2);
  built.loading = true;
  built.SetRootNodeCount(3);  // a tree with nodes does not wait
  EXPECT_EQ(built.GetFirstNoInit()->NextSibling->NextSibling->Index, 2u);
  built.SetNodeDataSize(16);  // nodes exist: they go, and the count waits for Loaded
  EXPECT_EQ(built.NodeDataSize(), 16);
  EXPECT_EQ(built.RootNodeCount(), 3u);
  EXPECT_EQ(built.GetFirstNoInit(), nullptr);
  EXPECT_TRUE(built.TreeStates().Contains(tsRootCountDue));
}

// An owner measuring every node to 30 pixels (toVariableNodeHeight).
class MeasuringTree : public TLazyTreeModel {
 public:
  MeasuringTree() {
    TreeOptions().SetMiscOptions(TreeOptions().MiscOptions() | toVariableNodeHeight);
  }
  ~MeasuringTree() override { DestroyNodes(); }
  int measured = 0;

 protected:
  void MeasureItemHeight(PLazyNode node) override {
    if (node->States.Contains(nsHeightMeasured)) return;
    node->States.Include(nsHeightMeasured);
    ++measured;
    SetNodeHeight(node, 30);
  }
};

// A tree that records what its window would be asked to do while it scrolls
// and toggles.
class ScrollingTree : public TLazyTreeModel {
 public:
  std::vector<std::string> calls;
  bool imageShown = false;
  void ScrollClient(int dx, int dy, const TLazyRect*) override {
    calls.push_back("scroll " + std::to_string(dx) + "," + std::to_string(dy));
  }
  void InvalidateHeader() override { calls.push_back("header"); }
  bool HideOwnDragImage() override {
    if (imageShown) calls.push_back("hide");
    return imageShown;
  }
  void ShowOwnDragImage() override { calls.push_back("show"); }
  void UpdateWindowNow() override { calls.push_back("update"); }
  void AnimateToggle(int top, bool expanding, int distance) override {
    calls.push_back((expanding ? "down " : "up ") + std::to_string(top) + " " + std::to_string(distance));
  }
};

using Calls = std::vector<std::string>;

TEST(LazyTreeNodes, ScrollingFollowsItsOptionsAndTheRange) {
  ScrollingTree tree;
  tree.SetViewSize(100, 90);
  tree.SetRootNodeCount(20);  // 360 pixels of rows
  tree.NoteNodeExtent(tree.GetFirst(), 300);
  tree.UpdateScrollBars(false);
  tree.calls.clear();
  // The header is redrawn for a sideways move only when asked to.
  tree.DoSetOffsetXY(-10, 0, kSoScrollClient | kSoUpdateScrollBars);
  EXPECT_EQ(tree.calls, (Calls{"scroll -10,0"}));
  tree.calls.clear();
  tree.SetOffsetX(-20);
  EXPECT_EQ(tree.calls, (Calls{"scroll -10,0", "header"}));
  tree.calls.clear();
  tree.BeginUpdate();
  tree.SetOffsetX(-30);
  EXPECT_TRUE(tree.calls.empty());
  tree.EndUpdate();
  // A drag image on the screen is taken away while the pixels move.
  tree.imageShown = true;
  tree.calls.clear();
  tree.SetOffsetY(-18);
  EXPECT_EQ(tree.calls, (Calls{"hide", "scroll 0,-18", "show"}));
  tree.imageShown = false;
  // A range that shrank pulls the offset back, and the rows on screen move with it.
  tree.SetOffsetY(-1000);
  EXPECT_EQ(tree.OffsetY(), 90 - 360);
  tree.BeginUpdate();
  for (int i = 0; i < 10; ++i) tree.DeleteNode(tree.GetLast());
  tree.calls.clear();
  tree.EndUpdate();
  EXPECT_EQ(tree.OffsetY(), 90 - 180);
  EXPECT_NE(std::find(tree.calls.begin(), tree.calls.end(), "scroll 0,180"), tree.calls.end());
}

TEST(LazyTreeNodes, ToggleSlidesFromTheRowsOnScreen) {
  ScrollingTree tree;
  tree.SetAnimationDuration(200);
  tree.SetViewSize(100, 80);
  tree.SetRootNodeCount(6);
  PLazyNode first = tree.GetFirst();
  tree.SetChildCount(first, 10);
  tree.ToggleNode(first);
  // Collapsing a node above the client's top: the rows below it slide up
  // from its bottom edge (above the client) to the client's bottom.
  tree.SetOffsetY(-72);
  tree.calls.clear();
  tree.ToggleNode(first);
  ASSERT_GE(tree.calls.size(), 2u);
  EXPECT_EQ(tree.calls[0], "update");
  EXPECT_EQ(tree.calls[1], "up -54 135");  // 80 + 54 + 1 of the 180 below
  // Expanding a node whose bottom lies below the client: the window is
  // brought up to date, nothing slides.
  tree.SetOffsetY(0);
  PLazyNode fifth = tree.GetFirst();
  for (int i = 0; i < 4; ++i) fifth = tree.GetNextSibling(fifth);
  tree.SetChildCount(fifth, 2);
  tree.calls.clear();
  tree.ToggleNode(fifth);  // rows 72 .. 90 of an 80 pixel client
  ASSERT_FALSE(tree.calls.empty());
  EXPECT_EQ(tree.calls[0], "update");
  for (const std::string& call : tree.calls) EXPECT_NE(call.rfind("down", 0), 0u) << call;
}

TEST(LazyTreeNodes, MeasuredHeightsCountOnce) {
  MeasuringTree tree;
  tree.SetViewSize(300, 400);
  tree.SetRootNodeCount(3);
  EXPECT_EQ(tree.measured, 3);
  EXPECT_EQ(tree.RootNode()->TotalHeight, 18u + 3 * 30);
  EXPECT_TREE_OK(tree);

  PLazyNode first = tree.GetFirst();
  tree.SetChildCount(first, 3);
  tree.ToggleNode(first);
  EXPECT_EQ(first->TotalHeight, 4u * 30);
  EXPECT_EQ(tree.RootNode()->TotalHeight, 18u + 6 * 30);
  EXPECT_EQ(tree.GetNodeAt(0, 150), first->NextSibling->NextSibling);
  EXPECT_EQ(tree.GetNodeAt(0, 119), first->LastChild);
  // Children added to an expanded node: measured once, counted once.
  tree.SetChildCount(first, 5);
  EXPECT_EQ(first->TotalHeight, 6u * 30);
  EXPECT_TREE_OK(tree);

  // Enough rows for the cache worker: the heights are measured while the
  // worker is kept away (the thread sanitizer build sees any overlap).
  MeasuringTree big;
  big.SetRootNodeCount(3000);
  big.SetChildCount(nullptr, 5000);  // outside an update, unlike SetRootNodeCount
  EXPECT_EQ(big.RootNode()->TotalHeight, 18u + 5000 * 30);
  EXPECT_TREE_OK(big);
  EXPECT_EQ(big.GetNodeAt(0, 4000 * 30 + 5)->Index, 4000u);
}

// A chain of 12,000 levels (only code builds one; the readers stop at 1,000):
// every walk over it and its deletion run without recursion.
TEST(LazyTreeNodes, DeepChainsAreWalkedAndDeletedWithoutRecursion) {
  constexpr std::uint32_t kDepth = 12000;
  TLazyTreeModel tree;
  int freed = 0;
  tree.OnFreeNode = [&](TLazyTreeModel&, PLazyNode) { ++freed; };
  PLazyNode n = tree.AddChild(nullptr);
  PLazyNode top = n;
  for (std::uint32_t i = 1; i < kDepth; ++i) n = tree.AddChild(n);
  const PLazyNode deepest = n;
  tree.ValidateChildren(nullptr, true);
  EXPECT_TRUE(deepest->States.Contains(nsInitialized));
  tree.FullExpand();
  EXPECT_EQ(tree.VisibleCount(), kDepth);
  tree.ToggleNode(top);  // counts the visible nodes below it
  EXPECT_EQ(tree.VisibleCount(), 1u);
  tree.ToggleNode(top);
  EXPECT_EQ(tree.VisibleCount(), kDepth);
  tree.ReinitChildren(nullptr, true);
  tree.InvalidateChildren(nullptr, true);
  tree.SortTree(0, TSortDirection::sdAscending, true);
  EXPECT_EQ(tree.RootNode()->TotalCount, kDepth + 1);
  tree.DeleteChildren(top->FirstChild->FirstChild);
  EXPECT_EQ(tree.RootNode()->TotalCount, 4u);
  EXPECT_EQ(tree.VisibleCount(), 3u);
  EXPECT_EQ(freed, static_cast<int>(kDepth - 3));
  EXPECT_TREE_OK(tree);
  n = top;
  for (std::uint32_t i = 1; i < kDepth; ++i) n = tree.AddChild(n);
  tree.Clear();
  EXPECT_EQ(tree.RootNode()->TotalCount, 1u);
  EXPECT_EQ(tree.VisibleCount(), 0u);
  EXPECT_EQ(tree.UpdateCount(), 0u);
}

// An owner whose OnFreeNode throws: the deletion finishes, the counters and
// the update count are right, and the first error reaches the caller.
TEST(LazyTreeNodes, AThrowingFreeNodeLeavesAWholeTree) {
  TLazyTreeModel tree;
  int freed = 0;
  tree.OnFreeNode = [&](TLazyTreeModel&, PLazyNode node) {
    ++freed;
    if (node->Index == 1) throw std::runtime_error("cannot free");
  };
  auto build = [&] {
    for (int i = 0; i < 3; ++i) {
      PLazyNode parent = tree.AddChild(nullptr);
      for (int j = 0; j < 3; ++j) tree.AddChild(parent);
      tree.ToggleNode(parent);
    }
    tree.ValidateChildren(nullptr, true);
  };
  build();
  EXPECT_THROW(tree.Clear(), std::runtime_error);
  EXPECT_EQ(freed, 12);
  EXPECT_EQ(tree.UpdateCount(), 0u);
  EXPECT_EQ(tree.RootNodeCount(), 0u);
  EXPECT_TREE_OK(tree);

  build();
  freed = 0;
  EXPECT_THROW(tree.DeleteChildren(tree.GetFirst()), std::runtime_error);
  EXPECT_EQ(freed, 3);
  EXPECT_EQ(tree.UpdateCount(), 0u);
  EXPECT_EQ(tree.ChildCount(tree.GetFirst()), 0u);
  EXPECT_TREE_OK(tree);
  freed = 0;
  EXPECT_THROW(tree.DeleteNode(tree.GetFirst()->NextSibling), std::runtime_error);
  EXPECT_EQ(freed, 4);
  EXPECT_EQ(tree.RootNodeCount(), 2u);
  EXPECT_TREE_OK(tree);
  tree.OnFreeNode = nullptr;
}

TEST(LazyTreeNodes, InternalAreaSitsBeforeUserData) {
  TLazyTreeModel tree;
  const std::uint32_t first = tree.AllocateInternalDataArea(3);
  const std::uint32_t second = tree.AllocateInternalDataArea(8);
  EXPECT_EQ(first, kNodeFixedSize);
  EXPECT_EQ(second, kNodeFixedSize + 8);  // rounded to 8
  tree.SetNodeDataSize(4);
  PLazyNode n = tree.AddChild(nullptr);
  EXPECT_EQ(static_cast<std::byte*>(tree.GetNodeData(n)) - reinterpret_cast<std::byte*>(n),
            static_cast<std::ptrdiff_t>(kNodeFixedSize + 16));
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(n) % 8, 0u);
}

TEST(LazyTreeNodes, NavigationAroundHiddenAndCollapsedNodes) {
  TLazyTreeModel tree;
  Populate(tree, 3, 2);  // a(a1 a2) b(b1 b2) c(c1 c2)
  auto nodes = AllNodes(tree);
  PLazyNode a = nodes[0], a1 = nodes[1], a2 = nodes[2], b = nodes[3], b1 = nodes[4], c = nodes[6];
  tree.ToggleNode(a);
  EXPECT_EQ(tree.GetNextVisible(a), a1);
  EXPECT_EQ(tree.GetNextVisible(a2), b);
  EXPECT_EQ(tree.GetNextVisible(b1), c);  // inside collapsed b: continues after b's subtree
  EXPECT_EQ(tree.GetNextVisibleNoInit(b1), c);
  EXPECT_EQ(tree.GetPreviousVisible(b), a2);
  EXPECT_EQ(tree.GetPreviousVisible(a1), a);
  // Up from a node inside collapsed b goes to b, not to the last row shown before or after it.
  ASSERT_EQ(tree.GetFirstChild(b), b1);  // initialises b1
  EXPECT_EQ(tree.GetPreviousVisible(b1), b);
  EXPECT_EQ(tree.GetPreviousVisibleNoInit(b1), b);
  // Inside a hidden node the step starts from the hidden node's place.
  tree.ToggleNode(b);
  tree.SetNodeVisible(b, false);
  EXPECT_EQ(tree.GetPreviousVisible(b1), a2);
  EXPECT_EQ(tree.GetPreviousVisibleNoInit(b1), a2);
  EXPECT_EQ(tree.GetPreviousVisible(b), a2);
  tree.SetNodeVisible(b, true);
  tree.ToggleNode(b);
  EXPECT_EQ(tree.GetLastVisible(), c);
  EXPECT_EQ(tree.GetLast(), nodes.back());
  {
    // A node its own initialisation hides is not the first visible one.
    TLazyTreeModel hiding;
    hiding.OnInitNode = [](TLazyTreeModel& t, PLazyNode, PLazyNode node, TLazyNodeInitStates&) {
      if (node->Index == 0) t.SetNodeVisible(node, false);
    };
    hiding.SetRootNodeCount(2);
    EXPECT_EQ(hiding.GetFirstVisible(), hiding.RootNode()->LastChild);
  }
  EXPECT_EQ(tree.GetPrevious(b), a2);
  EXPECT_EQ(tree.GetVisibleParent(b1), tree.RootNode());
  EXPECT_TRUE(tree.HasAsParent(a1, a));
  EXPECT_FALSE(tree.HasAsParent(a, a));
  EXPECT_EQ(tree.CompareNodePositions(a, a1), -1);
  EXPECT_EQ(tree.CompareNodePositions(a1, a), 1);
  EXPECT_EQ(tree.CompareNodePositions(c, a), 2);
  EXPECT_EQ(tree.CompareNodePositions(a2, b1), -1);
}

// ------------------------------------------------------------------ sorting --

class SortFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.SetNodeDataSize(4);
    tree.OnCompareNodes = [this](TLazyTreeModel& t, PLazyNode l, PLazyNode r, TColumnIndex, int& res) {
      ++comparisons;
      if (throwAfter >= 0 && comparisons > throwAfter) throw std::runtime_error("compare");
      const auto kl = Key(t, l) / divisor, kr = Key(t, r) / divisor;
      res = kl < kr ? -1 : kl > kr ? 1 : 0;
    };
  }
  std::vector<std::uint32_t> Keys(PLazyNode parent = nullptr) {
    std::vector<std::uint32_t> keys;
    for (PLazyNode c = (parent ? parent : tree.RootNode())->FirstChild; c; c = c->NextSibling)
      keys.push_back(Key(tree, c));
    return keys;
  }
  void Fill(std::vector<std::uint32_t> keys) {
    for (auto k : keys) *static_cast<std::uint32_t*>(tree.GetNodeData(tree.AddChild(nullptr))) = k;
  }
  TLazyTreeModel tree;
  int comparisons = 0;
  int throwAfter = -1;
  std::uint32_t divisor = 1;
};

TEST_F(SortFixture, StableInBothDirectionsAndRelinked) {
  divisor = 10;  // 31 and 35 compare equal, as do 12 and 17
  Fill({31, 12, 35, 17, 40});
  tree.Sort(nullptr, 0, TSortDirection::sdAscending);
  EXPECT_EQ(Keys(), (std::vector<std::uint32_t>{12, 17, 31, 35, 40}));
  tree.Sort(nullptr, 0, TSortDirection::sdDescending);
  EXPECT_EQ(Keys(), (std::vector<std::uint32_t>{40, 31, 35, 12, 17}));
  std::uint32_t i = 0;
  for (PLazyNode n = tree.GetFirst(); n != nullptr; n = tree.GetNext(n)) {
    EXPECT_EQ(n->Index, i++);
    if (n->NextSibling) {
      EXPECT_EQ(tree.GetPrevious(n->NextSibling), n);
    }
  }
  EXPECT_TREE_OK(tree);
}

TEST_F(SortFixture, NothingToCompareAndThrowingComparison) {
  Fill({1});
  tree.Sort(nullptr, 0, TSortDirection::sdAscending);
  EXPECT_EQ(comparisons, 0);
  Fill({9, 4, 7, 2, 8, 3});
  const auto before = Keys();
  throwAfter = 5;
  EXPECT_THROW(tree.Sort(nullptr, 0, TSortDirection::sdAscending), std::runtime_error);
  EXPECT_EQ(Keys(), before);
  EXPECT_TREE_OK(tree);

  tree.OnCompareNodes = nullptr;  // no handler: all equal, nothing moves
  tree.Sort(nullptr, 0, TSortDirection::sdDescending);
  EXPECT_EQ(Keys(), before);
}

TEST_F(SortFixture, SortTreeLeavesUninitialisedSubtreesAlone) {
  Fill({3, 1, 2});
  PLazyNode inited = tree.GetFirst();  // key 3, initialised
  PLazyNode raw = inited->NextSibling;  // key 1, left uninitialised
  for (auto k : {6u, 5u, 4u}) {
    *static_cast<std::uint32_t*>(tree.GetNodeData(tree.AddChild(inited))) = k;
    *static_cast<std::uint32_t*>(tree.GetNodeData(tree.AddChild(raw))) = k;
  }
  raw->States.Exclude(nsInitialized);
  tree.SortTree(kInvalidColumn, TSortDirection::sdAscending, false);
  EXPECT_EQ(comparisons, 0);
  tree.SortTree(0, TSortDirection::sdAscending, false);
  EXPECT_EQ(Keys(inited), (std::vector<std::uint32_t>{4, 5, 6}));
  EXPECT_EQ(Keys(raw), (std::vector<std::uint32_t>{6, 5, 4}));
  EXPECT_EQ(Keys(), (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_TREE_OK(tree);
}

// ------------------------------------------------------ freeing exactly once --

TEST(LazyTreeNodes, DerivedDoFreeNodeRunsOncePerInitialisedNodeOnDestruction) {
  std::multiset<PLazyNode> freed;
  std::set<PLazyNode> initialised;
  {
    CountingTree tree(&freed);
    Populate(tree, 20, 5);
    tree.SetRootNodeCount(30);  // ten more, never initialised
    for (PLazyNode n = tree.GetFirstNoInit(); n; n = tree.GetNextNoInit(n))
      if (n->States.Contains(nsInitialized)) initialised.insert(n);
  }
  EXPECT_EQ(freed.size(), initialised.size());
  EXPECT_EQ(std::set<PLazyNode>(freed.begin(), freed.end()), initialised);
}

TEST(LazyTreeNodes, DeleteSelectedNodesOverParentsAndChildrenFreesEachOnce) {
  std::multiset<PLazyNode> freed;
  CountingTree tree(&freed);
  tree.TreeOptions().SetSelectionOptions(toMultiSelect);
  Populate(tree, 6, 4);
  tree.ValidateNode(nullptr, true);
  auto nodes = AllNodes(tree);
  std::set<PLazyNode> expected;
  for (std::size_t i = 0; i < nodes.size(); i += 2) {
    tree.AddToSelection(nodes[i]);
  }
  for (PLazyNode n : nodes) {
    bool gone = false;
    for (PLazyNode p = n; p != tree.RootNode(); p = p->Parent) gone |= p->States.Contains(nsSelected);
    if (gone) expected.insert(n);
  }
  tree.DeleteSelectedNodes();
  EXPECT_EQ(freed.size(), expected.size());
  EXPECT_EQ(std::set<PLazyNode>(freed.begin(), freed.end()), expected);
  EXPECT_EQ(tree.SelectedCount(), 0u);
  EXPECT_TREE_OK(tree);
}

TEST(LazyTreeNodes, FreedNodesLeaveNoReferenceBehind) {
  TLazyTreeModel tree;
  tree.TreeOptions().SetSelectionOptions(toMultiSelect);
  Populate(tree, 2, 3);
  PLazyNode parent = tree.GetFirst();
  PLazyNode child = parent->FirstChild;
  tree.SetFocusedNode(child);
  tree.SetHotNode(child->NextSibling);
  tree.SetDropTargetNode(child->NextSibling->NextSibling);
  tree.SetSelected(child, true);
  PLazyNode changed = tree.RootNode();
  tree.DeleteNode(parent);
  EXPECT_EQ(tree.FocusedNode(), nullptr);
  EXPECT_EQ(tree.HotNode(), nullptr);
  EXPECT_EQ(tree.DropTargetNode(), nullptr);
  EXPECT_EQ(tree.RangeAnchor(), nullptr);
  EXPECT_FALSE(tree.IsLiveNode(child));
  // A structure change pending on a freed node arrives with nil.
  tree.OnStructureChange = [&](TLazyTreeModel&, PLazyNode n, TChangeReason) { changed = n; };
  tree.BeginUpdate();
  // Deleting its children names the node in a pending change; then it is freed.
  tree.DeleteNode(tree.GetFirst());
  tree.EndUpdate();
  EXPECT_EQ(changed, nullptr);
  EXPECT_TREE_OK(tree);
}

// ------------------------------------------------------- random sequences --

TEST(LazyTreeNodes, RandomOperationsKeepEveryInvariant) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    TLazyTreeModel tree;
    tree.TreeOptions().SetSelectionOptions(seed % 2 ? std::uint32_t{toMultiSelect} : 0u);
    tree.SetNodeDataSize(4);
    tree.OnCompareNodes = [](TLazyTreeModel& t, PLazyNode l, PLazyNode r, TColumnIndex, int& res) {
      res = static_cast<int>(Key(t, l) % 7) - static_cast<int>(Key(t, r) % 7);
    };
    tree.OnInitNode = [&](TLazyTreeModel&, PLazyNode, PLazyNode, TLazyNodeInitStates& s) {
      if (rng() % 8 == 0) s |= nisHasChildren;
    };
    tree.OnInitChildren = [&](TLazyTreeModel&, PLazyNode, std::uint32_t& count) { count = rng() % 4; };
    std::uint32_t number = 0;
    int depth = 0;
    auto pick = [&]() -> PLazyNode {
      auto nodes = AllNodes(tree);
      return nodes.empty() ? nullptr : nodes[rng() % nodes.size()];
    };
    for (int step = 0; step < 1500; ++step) {
      PLazyNode n = pick();
      const unsigned op = rng() % 17;
      switch (op) {
        case 0:
        case 1: {
          PLazyNode child = tree.AddChild(rng() % 3 == 0 ? nullptr : n);
          *static_cast<std::uint32_t*>(tree.GetNodeData(child)) = number++;
          break;
        }
        case 2:
          if (n) tree.DeleteNode(n);
          break;
        case 3:
          if (n) tree.ToggleNode(n);
          break;
        case 4:
          if (n) tree.SetNodeHeight(n, 5 + rng() % 40);
          break;
        case 5:
          tree.Sort(rng() % 2 ? n : nullptr, 0,
                    rng() % 2 ? TSortDirection::sdAscending : TSortDirection::sdDescending);
          break;
        case 6:
          if (n) tree.SetSelected(n, !tree.Selected(n));
          break;
        case 7: {
          PLazyNode m = pick();
          if (n && m) tree.SelectNodes(n, m, rng() % 2);
          break;
        }
        case 8:
          if (rng() % 4 == 0) tree.DeleteSelectedNodes();
          else tree.ClearSelection();
          break;
        case 9: {  // move: out of its place, in after or under another node
          PLazyNode target = pick();
          if (n && target && target != n && !tree.HasAsParent(target, n)) {
            tree.InternalDisconnectNode(n, true);
            tree.InternalConnectNode(n, target, tree,
                                     rng() % 2 ? TLTNodeAttachMode::amInsertAfter
                                               : TLTNodeAttachMode::amAddChildFirst);
          }
          break;
        }
        case 10:
          if (depth < 3 && rng() % 2) {
            tree.BeginUpdate();
            ++depth;
          } else if (depth > 0) {
            tree.EndUpdate();
            --depth;
          }
          break;
        case 11:
          if (n) tree.SetChildCount(n, rng() % 5);
          break;
        case 12:
          if (n) tree.SetFocusedNode(n);
          break;
        case 13:
          if (rng() % 8 == 0) tree.FullCollapse(); else if (n) tree.FullExpand(n);
          break;
        case 14:
          tree.InvertSelection(rng() % 2);
          break;
        case 15:
          if (n && rng() % 4 == 0) tree.ResetNode(n);
          else if (n) tree.ReinitNode(n, false);
          break;
        case 16:
          if (n) tree.SetNodeVisible(n, !n->States.Contains(nsVisible));
          break;
      }
      const std::string error = test::CheckTree(tree);
      ASSERT_EQ(error, "") << "after operation " << op << " in step " << step;
    }
    while (depth-- > 0) tree.EndUpdate();
    EXPECT_TREE_OK(tree);
  }
}

}  // namespace
}  // namespace kv
