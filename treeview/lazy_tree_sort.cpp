// Sorting: a stable merge sort of a node's children by the owner's comparison.

#include <vector>

#include "treeview/lazy_tree_model.h"
#include "treeview/subtree_walk.h"

namespace kv {

namespace {

// Top-down merge sort of `items` (with `scratch` of the same size). `takeRight`
// decides at each step whether the right head goes first; equal elements keep
// their order. At most n * ceil(log2 n) comparisons.
template <class TakeRight>
void MergeSort(std::vector<PLazyNode>& items, std::vector<PLazyNode>& scratch, std::size_t begin,
               std::size_t end, TakeRight& takeRight) {
  if (end - begin < 2) return;
  const std::size_t middle = begin + (end - begin) / 2;
  MergeSort(items, scratch, begin, middle, takeRight);
  MergeSort(items, scratch, middle, end, takeRight);
  std::size_t left = begin, right = middle, out = begin;
  while (left < middle && right < end) {
    if (takeRight(items[left], items[right]))
      scratch[out++] = items[right++];
    else
      scratch[out++] = items[left++];
  }
  while (left < middle) scratch[out++] = items[left++];
  while (right < end) scratch[out++] = items[right++];
  for (std::size_t i = begin; i < end; ++i) items[i] = scratch[i];
}

}  // namespace

int TLazyTreeModel::DoCompare(PLazyNode node1, PLazyNode node2, TColumnIndex column) {
  int result = 0;
  if (OnCompareNodes) OnCompareNodes(*this, node1, node2, column, result);
  return result;
}

// The children are sorted as an array of pointers and relinked only after the
// sort finished: a comparison that throws leaves the sibling list untouched.
void TLazyTreeModel::SortChildren(PLazyNode node, TColumnIndex column, TSortDirection direction) {
  std::vector<PLazyNode> children;
  children.reserve(node->ChildCount);
  for (PLazyNode c = node->FirstChild; c != nullptr; c = c->NextSibling) children.push_back(c);
  std::vector<PLazyNode> scratch(children.size());
  if (direction == TSortDirection::sdAscending) {
    auto takeRight = [&](PLazyNode l, PLazyNode r) { return DoCompare(l, r, column) > 0; };
    MergeSort(children, scratch, 0, children.size(), takeRight);
  } else {
    auto takeRight = [&](PLazyNode l, PLazyNode r) { return DoCompare(l, r, column) < 0; };
    MergeSort(children, scratch, 0, children.size(), takeRight);
  }
  PLazyNode previous = nullptr;
  std::uint32_t index = 0;
  for (PLazyNode c : children) {
    c->Index = index++;
    c->PrevSibling = previous;
    if (previous != nullptr) previous->NextSibling = c;
    previous = c;
  }
  previous->NextSibling = nullptr;
  node->FirstChild = children.front();
  node->LastChild = children.back();
}

void TLazyTreeModel::Sort(PLazyNode node, TColumnIndex column, TSortDirection direction,
                          bool doInit) {
  InterruptValidation();
  // Every way out (a refused edit, nothing to sort, a throwing comparison)
  // queues the cache build again, so the cache does not stay out of use.
  try {
    if (!SortNode(node, column, direction, doInit)) {
      if (updateCount_ == 0) ValidateCache();
      return;
    }
  } catch (...) {
    if (updateCount_ == 0) ValidateCache();
    throw;
  }
  if (updateCount_ == 0) {
    ValidateCache();
    InvalidateClientRect(nullptr);
  }
}

bool TLazyTreeModel::SortNode(PLazyNode node, TColumnIndex column, TSortDirection direction,
                              bool doInit) {
  if (states_.Contains(tsEditPending)) {
    StopTimer(kEditTimer);
    DoStateChange({}, {tsEditPending});
  }
  if (states_.Contains(tsEditing) && !DoEndEdit()) return false;
  if (node == nullptr) node = RootNode();
  if (!node->States.Contains(nsHasChildren)) return false;
  if (doInit) {
    if (node->ChildCount == 0) InitChildren(node);
    ValidateChildren(node, false);
  }
  if (node->ChildCount > 1) {
    SortChildren(node, column, direction);
    InvalidateCache();
  }
  return true;
}

void TLazyTreeModel::SortTreeLevel(PLazyNode node, TColumnIndex column, TSortDirection direction,
                                   bool doInit) {
  Sort(node, column, direction, doInit);
  // Each initialised node's children are sorted before the walk goes into them.
  WalkBelow(node, [&](PLazyNode n) {
    if (doInit && !n->States.Contains(nsInitialized)) InitNode(n);
    if (!n->States.Contains(nsInitialized)) return false;
    Sort(n, column, direction, doInit);
    return true;
  });
}

void TLazyTreeModel::SortTree(TColumnIndex column, TSortDirection direction, bool doInit) {
  ++updateCount_;
  struct Leave {
    TLazyTreeModel& tree;
    ~Leave() {
      tree.InvalidateCache();
      --tree.updateCount_;
    }
  };
  try {
    Leave leave{*this};
    if (column != kInvalidColumn) SortTreeLevel(RootNode(), column, direction, doInit);
  } catch (...) {
    if (updateCount_ == 0) ValidateCache();
    throw;
  }
  if (updateCount_ == 0) {
    ValidateCache();
    InvalidateClientRect(nullptr);
  }
}

}  // namespace kv
