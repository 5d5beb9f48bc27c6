#pragma once
// Helpers of the explorer tree tests: the names of nodes as the shell gives them.
#include <string>
#include <vector>

#include "shell/explorer_tree_win.h"
#include "tests/shell/shell_test_util.h"

namespace kv::test {

// The node's item name in its folder; empty for a node without an item.
inline std::string NodeName(TCustomLazyExplorerTree& tree, PLazyNode node) {
  TNamespace* ns = nullptr;
  return tree.ValidateNamespace(node, ns) ? Narrow(ns->GetNameInFolder()) : "";
}

// The names of the children of `parent` (none: the top level), in node order.
inline std::vector<std::string> NodeNames(TCustomLazyExplorerTree& tree, PLazyNode parent) {
  std::vector<std::string> names;
  for (PLazyNode n = tree.GetFirstChild(parent); n; n = tree.GetNextSibling(n)) names.push_back(NodeName(tree, n));
  return names;
}

}  // namespace kv::test
