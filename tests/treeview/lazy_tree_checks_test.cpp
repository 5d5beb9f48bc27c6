// Check controls of the window-free tree: propagation down and up with the
// events it fires, radio groups, refusals, the next state and the image index.

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "tests/treeview/tree_checker.h"

namespace kv {
namespace {

// A tree that counts OnChecking/OnChecked per node and can refuse nodes.
struct CheckTree {
  TLazyTreeModel tree;
  std::map<PLazyNode, int> checking, checked;
  std::vector<PLazyNode> refuse;

  CheckTree() {
    tree.OnChecking = [this](TLazyTreeModel&, PLazyNode n, TCheckState&, bool& allowed) {
      ++checking[n];
      for (PLazyNode r : refuse) allowed = allowed && r != n;
    };
    tree.OnChecked = [this](TLazyTreeModel&, PLazyNode n) { ++checked[n]; };
  }
  PLazyNode Add(PLazyNode parent, TCheckType type, TCheckState state = csUncheckedNormal) {
    PLazyNode n = tree.AddChild(parent);
    tree.InitNode(n);
    n->CheckType = type;
    n->CheckState = state;
    return n;
  }
  int Pairs(PLazyNode n) {
    EXPECT_EQ(checking[n], checked[n]);
    return checked[n];
  }
  void ResetCounts() {
    checking.clear();
    checked.clear();
  }
};

TEST(LazyTreeChecks, CheckingATriStateParentRunsDownAndShowsWhatTheChildrenTook) {
  for (bool refuseOne : {false, true}) {
    SCOPED_TRACE(refuseOne ? "one child refuses" : "all accept");
    CheckTree t;
    PLazyNode parent = t.Add(nullptr, ctTriStateCheckBox);
    PLazyNode kids[3] = {t.Add(parent, ctCheckBox), t.Add(parent, ctCheckBox), t.Add(parent, ctCheckBox)};
    PLazyNode radio = t.Add(parent, ctRadioButton);  // takes no part
    if (refuseOne) t.refuse = {kids[1]};
    t.tree.SetCheckState(parent, csCheckedNormal);
    EXPECT_EQ(parent->CheckState, refuseOne ? csMixedNormal : csCheckedNormal);
    EXPECT_EQ(kids[0]->CheckState, csCheckedNormal);
    EXPECT_EQ(kids[1]->CheckState, refuseOne ? csUncheckedNormal : csCheckedNormal);
    EXPECT_EQ(kids[2]->CheckState, csCheckedNormal);
    EXPECT_EQ(radio->CheckState, csUncheckedNormal);
    EXPECT_EQ(t.Pairs(parent), 1);
    EXPECT_EQ(t.checking[kids[1]], 1);
    EXPECT_EQ(t.checked[kids[1]], refuseOne ? 0 : 1);
    EXPECT_EQ(t.checking[radio], 0);
    for (PLazyNode n : {parent, kids[0], kids[1], kids[2]}) EXPECT_FALSE(n->States.Contains(nsCheckChanging));
    EXPECT_FALSE(t.tree.TreeStates().Contains(tsCheckPropagation));
  }
}

TEST(LazyTreeChecks, AChildChangeRunsUpThroughTriStateAncestors) {
  struct Case {
    const char* name;
    TCheckState before[3];
    int child;
    TCheckState to;
    TCheckState parentAfter, grandAfter;
  };
  const Case cases[] = {
      {"last unchecked child checked", {csCheckedNormal, csCheckedNormal, csUncheckedNormal}, 2,
       csCheckedNormal, csCheckedNormal, csCheckedNormal},
      {"one child of a full parent unchecked", {csCheckedNormal, csCheckedNormal, csCheckedNormal}, 0,
       csUncheckedNormal, csMixedNormal, csMixedNormal},
      {"last checked child unchecked", {csCheckedNormal, csUncheckedNormal, csUncheckedNormal}, 0,
       csUncheckedNormal, csUncheckedNormal, csUncheckedNormal},
      {"first child checked", {csUncheckedNormal, csUncheckedNormal, csUncheckedNormal}, 1,
       csCheckedNormal, csMixedNormal, csMixedNormal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CheckTree t;
    PLazyNode grand = t.Add(nullptr, ctTriStateCheckBox);
    PLazyNode parent = t.Add(grand, ctTriStateCheckBox);
    // The grandparent's only other child is checked when the parent starts full.
    const bool full = c.before[0] == csCheckedNormal && c.before[1] == csCheckedNormal &&
                      c.before[2] == csCheckedNormal;
    const TCheckState auntState = c.parentAfter == csCheckedNormal || full ? csCheckedNormal : csUncheckedNormal;
    PLazyNode aunt = t.Add(grand, ctCheckBox, auntState);
    PLazyNode kids[3];
    for (int i = 0; i < 3; ++i) kids[i] = t.Add(parent, ctCheckBox, c.before[i]);
    t.tree.SetCheckState(kids[c.child], c.to);
    EXPECT_EQ(kids[c.child]->CheckState, c.to);
    EXPECT_EQ(parent->CheckState, c.parentAfter);
    EXPECT_EQ(grand->CheckState, c.grandAfter);
    EXPECT_EQ(aunt->CheckState, auntState);
    EXPECT_EQ(t.Pairs(parent), 1);
    EXPECT_EQ(t.Pairs(grand), 1);
  }
}

TEST(LazyTreeChecks, OneEventPairPerAncestorSixteenLevelsDeep) {
  CheckTree t;
  std::vector<PLazyNode> chain;
  PLazyNode parent = nullptr;
  for (int level = 0; level < 16; ++level) {
    parent = t.Add(parent, ctTriStateCheckBox);
    chain.push_back(parent);
  }
  PLazyNode leaf = t.Add(parent, ctCheckBox);
  t.tree.SetCheckState(leaf, csCheckedNormal);
  for (PLazyNode n : chain) {
    EXPECT_EQ(n->CheckState, csCheckedNormal);
    EXPECT_EQ(t.Pairs(n), 1);
  }
  t.ResetCounts();
  t.tree.SetCheckState(chain[0], csUncheckedNormal);  // and down again
  for (PLazyNode n : chain) {
    EXPECT_EQ(n->CheckState, csUncheckedNormal);
    EXPECT_EQ(t.Pairs(n), 1);
  }
  EXPECT_EQ(leaf->CheckState, csUncheckedNormal);
}

TEST(LazyTreeChecks, ParentsThatDoNotTrack) {
  CheckTree t;
  // A plain check box parent stays as it is.
  PLazyNode plain = t.Add(nullptr, ctCheckBox);
  PLazyNode child = t.Add(plain, ctCheckBox);
  t.tree.SetCheckState(child, csCheckedNormal);
  EXPECT_EQ(child->CheckState, csCheckedNormal);
  EXPECT_EQ(plain->CheckState, csUncheckedNormal);
  EXPECT_EQ(t.checking[plain], 0);

  // A disabled tri-state parent is left alone; a refusing one too, and the
  // child's change still stands.
  PLazyNode disabled = t.Add(nullptr, ctTriStateCheckBox);
  disabled->States.Include(nsDisabled);
  PLazyNode c1 = t.Add(disabled, ctCheckBox);
  t.tree.SetCheckState(c1, csCheckedNormal);
  EXPECT_EQ(disabled->CheckState, csUncheckedNormal);
  PLazyNode refusing = t.Add(nullptr, ctTriStateCheckBox);
  PLazyNode c2 = t.Add(refusing, ctCheckBox);
  t.refuse = {refusing};
  t.tree.SetCheckState(c2, csCheckedNormal);
  EXPECT_EQ(c2->CheckState, csCheckedNormal);
  EXPECT_EQ(refusing->CheckState, csUncheckedNormal);
  EXPECT_EQ(t.checked[refusing], 0);

  // Without tri-state tracking nothing runs up or down.
  t.tree.TreeOptions().SetAutoOptions(t.tree.TreeOptions().AutoOptions() & ~toAutoTristateTracking);
  PLazyNode p = t.Add(nullptr, ctTriStateCheckBox);
  PLazyNode k = t.Add(p, ctCheckBox);
  t.tree.SetCheckState(p, csCheckedNormal);
  EXPECT_EQ(k->CheckState, csUncheckedNormal);
  t.tree.SetCheckState(k, csCheckedNormal);
  EXPECT_EQ(p->CheckState, csCheckedNormal);
}

TEST(LazyTreeChecks, RadioGroupClearsSiblingsWithoutEvents) {
  CheckTree t;
  PLazyNode parent = t.Add(nullptr, ctNone);
  PLazyNode a = t.Add(parent, ctRadioButton, csCheckedNormal);
  PLazyNode box = t.Add(parent, ctCheckBox, csCheckedNormal);
  PLazyNode b = t.Add(parent, ctRadioButton);
  t.tree.SetCheckState(b, csCheckedNormal);
  EXPECT_EQ(b->CheckState, csCheckedNormal);
  EXPECT_EQ(a->CheckState, csUncheckedNormal);
  EXPECT_EQ(box->CheckState, csCheckedNormal);
  EXPECT_EQ(t.checking[a], 0);
  EXPECT_EQ(t.Pairs(b), 1);
}

TEST(LazyTreeChecks, RefusedChangesLeaveTheState) {
  CheckTree t;
  PLazyNode disabled = t.Add(nullptr, ctCheckBox);
  disabled->States.Include(nsDisabled);
  t.tree.SetCheckState(disabled, csCheckedNormal);
  EXPECT_EQ(disabled->CheckState, csUncheckedNormal);
  EXPECT_EQ(t.checking[disabled], 0);

  PLazyNode same = t.Add(nullptr, ctCheckBox, csCheckedNormal);
  t.tree.SetCheckState(same, csCheckedNormal);
  EXPECT_EQ(t.checking[same], 0);

  // A handler may change the state it is asked for.
  PLazyNode changed = t.Add(nullptr, ctCheckBox);
  t.tree.OnChecking = [](TLazyTreeModel&, PLazyNode, TCheckState& s, bool&) { s = csMixedNormal; };
  t.tree.SetCheckState(changed, csCheckedNormal);
  EXPECT_EQ(changed->CheckState, csMixedNormal);

  // Read-only: OnChecking is not even asked, and the type stays.
  t.tree.OnChecking = [](TLazyTreeModel&, PLazyNode, TCheckState&, bool&) { ADD_FAILURE(); };
  PLazyNode node = t.Add(nullptr, ctCheckBox);
  t.tree.TreeOptions().SetMiscOptions(t.tree.TreeOptions().MiscOptions() | toReadOnly);
  t.tree.SetCheckState(node, csCheckedNormal);
  t.tree.SetCheckType(node, ctRadioButton);
  EXPECT_EQ(node->CheckState, csUncheckedNormal);
  EXPECT_EQ(node->CheckType, ctCheckBox);
  t.tree.TreeOptions().SetMiscOptions(t.tree.TreeOptions().MiscOptions() & ~toReadOnly);

  // The direct writer fires nothing and does not propagate.
  t.ResetCounts();
  PLazyNode tri = t.Add(nullptr, ctTriStateCheckBox);
  PLazyNode kid = t.Add(tri, ctCheckBox);
  t.tree.WriteCheckState(kid, csCheckedNormal);
  t.tree.WriteCheckState(tri, csMixedNormal);
  EXPECT_EQ(kid->CheckState, csCheckedNormal);
  EXPECT_EQ(tri->CheckState, csMixedNormal);
  EXPECT_TRUE(t.checked.empty());
}

TEST(LazyTreeChecks, NoReentryForANodeInChange) {
  CheckTree t;
  PLazyNode node = t.Add(nullptr, ctCheckBox);
  int inner = -1;
  t.tree.OnChecked = [&](TLazyTreeModel& tree, PLazyNode n) {
    EXPECT_FALSE(tree.TreeStates().Contains(tsCheckPropagation));
    if (inner < 0) inner = tree.ChangeCheckState(n, csMixedNormal) ? 1 : 0;
  };
  node->States.Include(nsCheckChanging);
  EXPECT_FALSE(t.tree.ChangeCheckState(node, csCheckedNormal));
  EXPECT_EQ(node->CheckState, csUncheckedNormal);
  node->States.Exclude(nsCheckChanging);
  t.tree.SetCheckState(node, csCheckedNormal);
  EXPECT_EQ(inner, 1);  // after the change the node is free again
  EXPECT_EQ(node->CheckState, csMixedNormal);

  // A node not yet initialised is initialised before the propagation starts.
  PLazyNode fresh = t.tree.AddChild(nullptr);
  int seen = -1;
  t.tree.OnInitNode = [&](TLazyTreeModel& tree, PLazyNode, PLazyNode, TLazyNodeInitStates&) {
    seen = tree.TreeStates().Contains(tsCheckPropagation) ? 1 : 0;
  };
  ASSERT_FALSE(fresh->States.Contains(nsInitialized));
  EXPECT_TRUE(t.tree.ChangeCheckState(fresh, csCheckedNormal));
  EXPECT_EQ(seen, 0);
  EXPECT_FALSE(t.tree.TreeStates().Contains(tsCheckPropagation));
}

// Checking a parent initialises no child: a child gets its box, and with it the
// parent's state, when its own initialisation comes.
TEST(LazyTreeChecks, CheckingAParentLeavesUninitialisedChildrenAlone) {
  CheckTree t;
  t.tree.TreeOptions().SetAutoOptions(t.tree.TreeOptions().AutoOptions() | toAutoTristateTracking);
  PLazyNode parent = t.Add(nullptr, ctTriStateCheckBox);
  int initialised = 0;
  t.tree.OnInitNode = [&](TLazyTreeModel& tree, PLazyNode, PLazyNode node, TLazyNodeInitStates&) {
    ++initialised;
    tree.SetCheckType(node, ctCheckBox);
  };
  t.tree.SetChildCount(parent, 3);
  t.tree.SetCheckState(parent, csCheckedNormal);
  EXPECT_EQ(initialised, 0);
  EXPECT_EQ(parent->CheckState, csCheckedNormal);
  PLazyNode child = t.tree.GetFirstChild(parent);
  EXPECT_EQ(initialised, 1);
  EXPECT_EQ(child->CheckState, csCheckedNormal);
}

TEST(LazyTreeChecks, SetCheckTypeFollowsATriStateParent) {
  CheckTree t;
  PLazyNode parent = t.Add(nullptr, ctTriStateCheckBox, csCheckedNormal);
  PLazyNode node = t.Add(parent, ctNone);
  t.tree.SetCheckType(node, ctCheckBox);
  EXPECT_EQ(node->CheckState, csCheckedNormal);
  EXPECT_EQ(t.Pairs(node), 1);
  // Under a mixed parent the new box starts unchecked, without events.
  PLazyNode mixed = t.Add(nullptr, ctTriStateCheckBox, csMixedNormal);
  PLazyNode other = t.Add(mixed, ctNone, csCheckedNormal);
  t.tree.SetCheckType(other, ctRadioButton);
  EXPECT_EQ(other->CheckState, csUncheckedNormal);
  EXPECT_EQ(t.checking[other], 0);
}

TEST(LazyTreeChecks, NextStateOfAClick) {
  TLazyTreeModel tree;
  struct Case {
    TCheckType type;
    TCheckState from, to;
  };
  const Case cases[] = {
      {ctCheckBox, csCheckedNormal, csUncheckedNormal},
      {ctCheckBox, csUncheckedNormal, csCheckedNormal},
      {ctTriStateCheckBox, csMixedNormal, csCheckedNormal},
      {ctTriStateCheckBox, csCheckedPressed, csCheckedNormal},
      {ctRadioButton, csCheckedNormal, csCheckedNormal},
      {ctButton, csCheckedNormal, csUncheckedNormal},
      {ctNone, csUncheckedNormal, csMixedNormal},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tree.DetermineNextCheckState(c.type, c.from), c.to) << int(c.type) << " " << int(c.from);
  }
}

TEST(LazyTreeChecks, CheckImageIndex) {
  CheckTree t;
  struct Case {
    TCheckType type;
    TCheckState state;
    int normal;  // hot +1, pressed looks come from the pressed states, disabled +3
  };
  const Case cases[] = {
      {ctCheckBox, csUncheckedNormal, 9},   {ctTriStateCheckBox, csCheckedNormal, 13},
      {ctCheckBox, csMixedNormal, 17},      {ctRadioButton, csUncheckedNormal, 1},
      {ctRadioButton, csCheckedNormal, 5},  {ctRadioButton, csMixedNormal, 17},
      {ctButton, csUncheckedNormal, 21},    {ctButton, csCheckedNormal, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.normal);
    PLazyNode n = t.Add(nullptr, c.type, c.state);
    EXPECT_EQ(t.tree.GetCheckImage(n), c.normal);
    t.tree.SetHotNode(n);
    EXPECT_EQ(t.tree.GetCheckImage(n), c.normal + 1);
    n->CheckState = PressedCheckState(c.state);
    EXPECT_EQ(t.tree.GetCheckImage(n), c.normal + 2);  // pressed wins over hot
    n->States.Include(nsDisabled);
    EXPECT_EQ(t.tree.GetCheckImage(n), c.normal + 3);  // disabled wins over all
    t.tree.SetHotNode(nullptr);
  }
  EXPECT_EQ(t.tree.GetCheckImage(t.Add(nullptr, ctNone)), -1);
  EXPECT_EQ(NormalCheckState(csMixedPressed), csMixedNormal);
  EXPECT_EQ(PressedCheckState(csCheckedNormal), csCheckedPressed);
}

}  // namespace
}  // namespace kv
