// The nodes of a pending cut or copy: marked when the clipboard takes the
// tree's data, unmarked when the data leaves it, deleted when a cut is pasted.
#include <algorithm>

#include "treeview/lazy_tree_model.h"

namespace kv {

namespace {

// The node after `node`'s subtree in tree order, without initialising.
PLazyNode NextAfterSubtree(PLazyNode node, PLazyNode root) {
  while (node != root && node->NextSibling == nullptr) node = node->Parent;
  return node == root ? nullptr : node->NextSibling;
}

}  // namespace

void TLazyTreeModel::MarkCutCopyNodes() {
  if (!states_.Contains(tsCutPending) && !states_.Contains(tsCopyPending)) return;
  for (PLazyNode n = GetFirstNoInit(); n != nullptr; n = GetNextNoInit(n)) n->States.Exclude(nsCutCopyMarked);
  for (PLazyNode n : SelectionEntries())
    if (!n->States.Contains(nsDisabled)) n->States.Include(nsCutCopyMarked);
  InvalidateClientRect(nullptr);
}

void TLazyTreeModel::CancelCutOrCopy() {
  if (!states_.Contains(tsCutPending) && !states_.Contains(tsCopyPending)) return;
  for (PLazyNode n = GetFirstNoInit(); n != nullptr; n = GetNextNoInit(n)) n->States.Exclude(nsCutCopyMarked);
  DoStateChange({}, {tsCutPending, tsCopyPending});
  InvalidateClientRect(nullptr);
}

void TLazyTreeModel::FinishCutOrCopy() {
  if (!states_.Contains(tsCutPending)) return;
  DeleteNodesOnce(GetSortedCutCopySet(true));
  DoStateChange({}, {tsCutPending});
}

void TLazyTreeModel::UnmarkCutCopySubtree(PLazyNode node) {
  node->States.Exclude(nsCutCopyMarked);
  const PLazyNode end = NextAfterSubtree(node, RootNode());
  for (PLazyNode n = GetNextNoInit(node); n != nullptr && n != end; n = GetNextNoInit(n))
    n->States.Exclude(nsCutCopyMarked);
}

PLazyNode TLazyTreeModel::GetFirstCutCopy() { return GetNextCutCopy(nullptr); }

PLazyNode TLazyTreeModel::GetNextCutCopy(PLazyNode node) {
  if (!states_.Contains(tsCutPending) && !states_.Contains(tsCopyPending)) return nullptr;
  PLazyNode n = node == nullptr || node == RootNode() ? RootNode()->FirstChild : GetNextNoInit(node);
  for (; n != nullptr; n = GetNextNoInit(n)) {
    if (n->States.Contains(nsCutCopyMarked)) {
      if (!n->States.Contains(nsInitialized)) InitNode(n);
      return n;
    }
  }
  return nullptr;
}

std::vector<PLazyNode> TLazyTreeModel::GetSortedCutCopySet(bool resolve) {
  std::vector<PLazyNode> nodes;
  PLazyNode root = RootNode();
  PLazyNode n = root->FirstChild;
  while (n != nullptr) {
    if (n->States.Contains(nsCutCopyMarked)) {
      nodes.push_back(n);
      if (resolve) {
        n = NextAfterSubtree(n, root);
        continue;
      }
    }
    n = n->FirstChild != nullptr ? n->FirstChild : NextAfterSubtree(n, root);
  }
  return nodes;
}

void TLazyTreeModel::DeleteNodesOnce(const std::vector<PLazyNode>& nodes) {
  if (nodes.empty() || ReadOnly()) return;
  std::vector<PLazyNode> parents;
  parents.reserve(nodes.size());
  BeginUpdate();
  try {
    for (PLazyNode n : nodes) {
      parents.push_back(n->Parent);
      DeleteNode(n, false);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  std::sort(parents.begin(), parents.end());
  parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
  for (PLazyNode parent : parents) {
    std::uint32_t index = 0;
    for (PLazyNode c = parent->FirstChild; c != nullptr; c = c->NextSibling) c->Index = index++;
  }
  EndUpdate();
}

}  // namespace kv
