#pragma once
// Test helpers for the tree model: an invariant checker and small trees.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "treeview/lazy_tree_model.h"

namespace kv::test {

// Every counter, link and the selection array against a recount from scratch.
// Returns the first violation, or an empty text.
inline std::string CheckTree(TLazyTreeModel& tree) {
  PLazyNode root = tree.RootNode();
  std::uint32_t visible = 0, selectedFlags = 0;
  std::string error;
  auto fail = [&](const std::string& what, PLazyNode n) {
    if (error.empty()) error = what + " at level " + std::to_string(tree.GetNodeLevel(n)) +
                               " index " + std::to_string(n == root ? 0 : n->Index);
  };
  // Returns the subtree's (count, height); `shown` = the node is fully visible.
  struct Totals {
    std::uint64_t count, height;
  };
  std::function<Totals(PLazyNode, bool)> walk = [&](PLazyNode n, bool shown) -> Totals {
    std::uint64_t count = 1, height = n->NodeHeight;
    std::uint32_t children = 0;
    PLazyNode previous = nullptr;
    const bool expanded = n->States.Contains(nsExpanded);
    for (PLazyNode c = n->FirstChild; c != nullptr; c = c->NextSibling) {
      if (c->Parent != n) fail("parent link", c);
      if (c->PrevSibling != previous) fail("previous link", c);
      if (c->Index != children) fail("index", c);
      if (n != root && !tree.IsLiveNode(c)) fail("dead node linked", c);
      const bool childShown = shown && (n == root || expanded) && c->States.Contains(nsVisible);
      if (childShown) ++visible;
      if (c->States.Contains(nsSelected)) ++selectedFlags;
      Totals t = walk(c, childShown);
      count += t.count;
      if ((n == root || expanded) && c->States.Contains(nsVisible)) height += t.height;
      previous = c;
      ++children;
    }
    if (n->LastChild != previous) fail("last child", n);
    // A node with children shows its button exactly while one of them is visible.
    if (n != root && n->FirstChild != nullptr) {
      bool anyVisible = false;
      for (PLazyNode c = n->FirstChild; c != nullptr; c = c->NextSibling) anyVisible |= c->States.Contains(nsVisible);
      if (n->States.Contains(nsAllChildrenHidden) == anyVisible) fail("all-children-hidden flag", n);
    }
    if (n->ChildCount != children) fail("child count", n);
    if (n->TotalCount != count) fail("total count", n);
    if (n->TotalHeight != height) fail("total height", n);
    return {count, height};
  };
  walk(root, true);
  if (tree.VisibleCount() != visible)
    error += " visible count " + std::to_string(tree.VisibleCount()) + " != " + std::to_string(visible);
  auto entries = tree.SelectionEntries();
  if (entries.size() != selectedFlags || tree.SelectedCount() != selectedFlags)
    error += " selection array " + std::to_string(entries.size()) + " vs flags " +
             std::to_string(selectedFlags);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!tree.IsLiveNode(entries[i]) || !entries[i]->States.Contains(nsSelected))
      error += " selection entry not a selected live node";
    if (i > 0 && !(entries[i - 1] < entries[i])) error += " selection out of order";
  }
  return error;
}

#define EXPECT_TREE_OK(tree) EXPECT_EQ(::kv::test::CheckTree(tree), "")

// A tree of `top` top-level nodes with `children` children each, every node
// initialised, 4 bytes of user data holding a running number.
inline void Populate(TLazyTreeModel& tree, std::uint32_t top, std::uint32_t children) {
  tree.SetNodeDataSize(8);
  tree.BeginUpdate();
  std::uint32_t number = 0;
  for (std::uint32_t i = 0; i < top; ++i) {
    PLazyNode n = tree.AddChild(nullptr);
    *static_cast<std::uint32_t*>(tree.GetNodeData(n)) = number++;
    for (std::uint32_t j = 0; j < children; ++j)
      *static_cast<std::uint32_t*>(tree.GetNodeData(tree.AddChild(n))) = number++;
  }
  tree.EndUpdate();
}

inline std::uint32_t Key(TLazyTreeModel& tree, PLazyNode n) {
  return *static_cast<std::uint32_t*>(tree.GetNodeData(n));
}

inline std::vector<PLazyNode> AllNodes(TLazyTreeModel& tree) {
  std::vector<PLazyNode> nodes;
  for (PLazyNode n = tree.GetFirstNoInit(); n != nullptr; n = tree.GetNextNoInit(n)) nodes.push_back(n);
  return nodes;
}

}  // namespace kv::test
