// Navigation: the initialising operations and their "NoInit" twins.

#include "treeview/lazy_tree_model.h"

namespace kv {

namespace {
constexpr const char* kNotRoot = "Node must not be the hidden root node.";
}

PLazyNode TLazyTreeModel::GetFirst() { return GetFirstChild(nullptr); }

PLazyNode TLazyTreeModel::GetFirstNoInit() { return RootNode()->FirstChild; }

PLazyNode TLazyTreeModel::GetFirstInitialized() {
  PLazyNode n = GetFirstNoInit();
  return n != nullptr && !n->States.Contains(nsInitialized) ? GetNextInitialized(n) : n;
}

PLazyNode TLazyTreeModel::GetNextInitialized(PLazyNode node) {
  do node = GetNextNoInit(node);
  while (node != nullptr && !node->States.Contains(nsInitialized));
  return node;
}

PLazyNode TLazyTreeModel::GetFirstChild(PLazyNode node) {
  if (node == nullptr) node = RootNode();
  if (!node->States.Contains(nsInitialized)) InitNode(node);
  if (!node->States.Contains(nsHasChildren)) return nullptr;
  if (node->ChildCount == 0) InitChildren(node);
  PLazyNode child = node->FirstChild;
  if (child != nullptr && !child->States.Contains(nsInitialized)) InitNode(child);
  return child;
}

PLazyNode TLazyTreeModel::GetLastChild(PLazyNode node) {
  if (node == nullptr) node = RootNode();
  if (!node->States.Contains(nsInitialized)) InitNode(node);
  if (!node->States.Contains(nsHasChildren)) return nullptr;
  if (node->ChildCount == 0) InitChildren(node);
  PLazyNode child = node->LastChild;
  if (child != nullptr && !child->States.Contains(nsInitialized)) InitNode(child);
  return child;
}

PLazyNode TLazyTreeModel::GetLastChildNoInit(PLazyNode node) {
  if (node == nullptr) node = RootNode();
  return node->States.Contains(nsHasChildren) ? node->LastChild : nullptr;
}

// Each top-level node is initialised before its visibility is read: its own
// OnInitNode may hide it.
PLazyNode TLazyTreeModel::GetFirstVisible() {
  if (root_ == nullptr || !root_->States.Contains(nsHasChildren)) return nullptr;
  PLazyNode n = root_->FirstChild;
  for (; n != nullptr; n = n->NextSibling) {
    if (!n->States.Contains(nsInitialized)) InitNode(n);
    if (n->States.Contains(nsVisible)) break;
  }
  return n;
}

PLazyNode TLazyTreeModel::GetFirstVisibleNoInit() const {
  if (root_ == nullptr || !root_->States.Contains(nsHasChildren)) return nullptr;
  PLazyNode n = root_->FirstChild;
  while (n != nullptr && !n->States.Contains(nsVisible)) n = n->NextSibling;
  return n;
}

PLazyNode TLazyTreeModel::GetFirstVisibleChild(PLazyNode node) {
  PLazyNode child = GetFirstChild(node);
  while (child != nullptr && !child->States.Contains(nsVisible)) child = GetNextSibling(child);
  return child;
}

PLazyNode TLazyTreeModel::GetFirstVisibleChildNoInit(PLazyNode node) const {
  PLazyNode child = node->FirstChild;
  while (child != nullptr && !child->States.Contains(nsVisible)) child = child->NextSibling;
  return child;
}

PLazyNode TLazyTreeModel::GetLast(PLazyNode node) {
  PLazyNode last = GetLastChild(node);
  while (last != nullptr) {
    PLazyNode deeper = GetLastChild(last);
    if (deeper == nullptr) break;
    last = deeper;
  }
  return last;
}

PLazyNode TLazyTreeModel::GetLastNoInit(PLazyNode node) {
  PLazyNode last = GetLastChildNoInit(node);
  while (last != nullptr && last->LastChild != nullptr) last = last->LastChild;
  return last;
}

PLazyNode TLazyTreeModel::GetLastVisibleChild(PLazyNode node) {
  if (node == nullptr || node == root_) {
    PLazyNode n = GetLastChild(nullptr);
    while (n != nullptr && !n->States.Contains(nsVisible)) n = GetPreviousSibling(n);
    return n;
  }
  if (!node->States.Contains(nsExpanded) || !FullyVisible(node)) return nullptr;
  PLazyNode n = GetLastChild(node);
  while (n != nullptr && !n->States.Contains(nsVisible)) n = GetPreviousSibling(n);
  return n;
}

PLazyNode TLazyTreeModel::GetLastVisibleChildNoInit(PLazyNode node) {
  PLazyNode n = nullptr;
  if (node == nullptr || node == root_)
    n = GetLastChildNoInit(nullptr);
  else if (node->States.Contains(nsExpanded) && FullyVisible(node))
    n = node->LastChild;
  while (n != nullptr && !n->States.Contains(nsVisible)) n = n->PrevSibling;
  return n;
}

PLazyNode TLazyTreeModel::GetLastVisible(PLazyNode node) {
  PLazyNode last = GetLastVisibleChild(node);
  while (last != nullptr) {
    PLazyNode deeper = GetLastVisibleChild(last);
    if (deeper == nullptr) break;
    last = deeper;
  }
  return last;
}

PLazyNode TLazyTreeModel::GetLastVisibleNoInit(PLazyNode node) {
  PLazyNode last = GetLastVisibleChildNoInit(node);
  while (last != nullptr) {
    PLazyNode deeper = GetLastVisibleChildNoInit(last);
    if (deeper == nullptr) break;
    last = deeper;
  }
  return last;
}

PLazyNode TLazyTreeModel::GetNext(PLazyNode node) {
  if (node == nullptr) return nullptr;
  LazyTreeAssert(node != root_, kNotRoot);
  if (node->States.Contains(nsHasChildren)) {
    if (node->ChildCount == 0) InitChildren(node);
    if (node->FirstChild != nullptr) {
      if (!node->FirstChild->States.Contains(nsInitialized)) InitNode(node->FirstChild);
      return node->FirstChild;
    }
  }
  for (PLazyNode n = node; n != root_; n = n->Parent) {
    if (n->NextSibling != nullptr) {
      if (!n->NextSibling->States.Contains(nsInitialized)) InitNode(n->NextSibling);
      return n->NextSibling;
    }
  }
  return nullptr;
}

PLazyNode TLazyTreeModel::GetNextNoInit(PLazyNode node) const {
  if (node == nullptr) return nullptr;
  LazyTreeAssert(node != root_, kNotRoot);
  if (node->FirstChild != nullptr) return node->FirstChild;
  for (PLazyNode n = node; n != root_; n = n->Parent)
    if (n->NextSibling != nullptr) return n->NextSibling;
  return nullptr;
}

PLazyNode TLazyTreeModel::GetNextSibling(PLazyNode node) {
  if (node == nullptr) return nullptr;
  LazyTreeAssert(node != root_, kNotRoot);
  PLazyNode n = node->NextSibling;
  if (n != nullptr && !n->States.Contains(nsInitialized)) InitNode(n);
  return n;
}

PLazyNode TLazyTreeModel::GetPreviousSibling(PLazyNode node) {
  if (node == nullptr) return nullptr;
  LazyTreeAssert(node != root_, kNotRoot);
  PLazyNode n = node->PrevSibling;
  if (n != nullptr && !n->States.Contains(nsInitialized)) InitNode(n);
  return n;
}

PLazyNode TLazyTreeModel::GetNextVisibleSibling(PLazyNode node) {
  LazyTreeAssert(node != nullptr && node != root_, "Invalid parameter.");
  do node = GetNextSibling(node);
  while (node != nullptr && !node->States.Contains(nsVisible));
  return node;
}

PLazyNode TLazyTreeModel::GetNextVisibleSiblingNoInit(PLazyNode node) const {
  LazyTreeAssert(node != nullptr && node != root_, "Invalid parameter.");
  do node = node->NextSibling;
  while (node != nullptr && !node->States.Contains(nsVisible));
  return node;
}

PLazyNode TLazyTreeModel::GetPreviousVisibleSibling(PLazyNode node) {
  LazyTreeAssert(node != nullptr && node != root_, "Invalid parameter.");
  do node = GetPreviousSibling(node);
  while (node != nullptr && !node->States.Contains(nsVisible));
  return node;
}

PLazyNode TLazyTreeModel::GetPreviousVisibleSiblingNoInit(PLazyNode node) const {
  LazyTreeAssert(node != nullptr && node != root_, "Invalid parameter.");
  do node = node->PrevSibling;
  while (node != nullptr && !node->States.Contains(nsVisible));
  return node;
}

PLazyNode TLazyTreeModel::GetVisibleParent(PLazyNode node) {
  LazyTreeAssert(node != nullptr, "Node must not be nil.");
  PLazyNode p = node->Parent;
  while (p != root_ && !(p->States.Contains(nsExpanded) && FullyVisible(p))) p = p->Parent;
  return p;
}

// The topmost ancestor (or the node itself) that hides what lies below it:
// hidden, or an ancestor that is collapsed. Null for a fully visible node.
static PLazyNode HidingNode(PLazyNode node, PLazyNode root) {
  PLazyNode hiding = node->States.Contains(nsVisible) ? nullptr : node;
  for (PLazyNode p = node->Parent; p != root; p = p->Parent)
    if (!p->States.ContainsAll(nsExpanded | nsVisible)) hiding = p;
  return hiding;
}

// A node that is not fully visible continues after the subtree of the node
// that hides it, never inside it or before it.
PLazyNode TLazyTreeModel::GetNextVisible(PLazyNode node) {
  if (node == nullptr || node == root_) return nullptr;
  PLazyNode hiding = HidingNode(node, root_);
  if (hiding == nullptr && node->States.Contains(nsExpanded) &&
      node->States.Contains(nsHasChildren)) {
    if (node->ChildCount == 0) InitChildren(node);
    PLazyNode child = node->FirstChild;
    if (child != nullptr && !child->States.Contains(nsInitialized)) InitNode(child);
    if (child != nullptr && child->States.Contains(nsVisible)) return child;
    if (child != nullptr) {
      PLazyNode sibling = GetNextVisibleSibling(child);
      if (sibling != nullptr) return sibling;
    }
  }
  for (PLazyNode n = hiding != nullptr ? hiding : node; n != root_; n = n->Parent) {
    PLazyNode sibling = GetNextVisibleSibling(n);
    if (sibling != nullptr) return sibling;
  }
  return nullptr;
}

PLazyNode TLazyTreeModel::GetNextVisibleNoInit(PLazyNode node) const {
  if (node == nullptr || node == root_) return nullptr;
  PLazyNode hiding = HidingNode(node, root_);
  if (hiding == nullptr && node->States.Contains(nsExpanded)) {
    for (PLazyNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
      if (child->States.Contains(nsVisible)) return child;
  }
  for (PLazyNode n = hiding != nullptr ? hiding : node; n != root_; n = n->Parent) {
    for (PLazyNode s = n->NextSibling; s != nullptr; s = s->NextSibling)
      if (s->States.Contains(nsVisible)) return s;
  }
  return nullptr;
}

PLazyNode TLazyTreeModel::GetPrevious(PLazyNode node) {
  if (node == nullptr) return nullptr;
  LazyTreeAssert(node != root_, kNotRoot);
  LazyTreeAssert(node->States.Contains(nsInitialized), "Node must already be initialized.");
  PLazyNode previous = node->PrevSibling;
  if (previous == nullptr) return node->Parent == root_ ? nullptr : node->Parent;
  if (!previous->States.Contains(nsInitialized)) InitNode(previous);
  PLazyNode last = GetLast(previous);
  return last != nullptr ? last : previous;
}

PLazyNode TLazyTreeModel::GetPreviousNoInit(PLazyNode node) {
  if (node == nullptr) return nullptr;
  LazyTreeAssert(node != root_, kNotRoot);
  PLazyNode previous = node->PrevSibling;
  if (previous == nullptr) return node->Parent == root_ ? nullptr : node->Parent;
  while (previous->LastChild != nullptr) previous = previous->LastChild;
  return previous;
}

PLazyNode TLazyTreeModel::GetPreviousVisible(PLazyNode node) {
  if (node == nullptr) return nullptr;
  LazyTreeAssert(node != root_, kNotRoot);
  LazyTreeAssert(node->States.Contains(nsInitialized), "Node must already be initialized.");
  if (PLazyNode hiding = HidingNode(node, root_); hiding != nullptr) {
    // Mirrors GetNextVisible: a node inside a collapsed, shown ancestor steps up to that ancestor; inside a
    // hidden one the step starts from the hidden node's place.
    if (hiding != node && hiding->States.Contains(nsVisible)) return hiding;
    node = hiding;
  }
  PLazyNode sibling = GetPreviousVisibleSibling(node);
  if (sibling != nullptr) {
    PLazyNode last = GetLastVisible(sibling);
    return last != nullptr ? last : sibling;
  }
  return node->Parent == root_ ? nullptr : node->Parent;
}

PLazyNode TLazyTreeModel::GetPreviousVisibleNoInit(PLazyNode node) {
  if (node == nullptr) return nullptr;
  LazyTreeAssert(node != root_, kNotRoot);
  if (PLazyNode hiding = HidingNode(node, root_); hiding != nullptr) {
    if (hiding != node && hiding->States.Contains(nsVisible)) return hiding;
    node = hiding;
  }
  PLazyNode sibling = GetPreviousVisibleSiblingNoInit(node);
  if (sibling != nullptr) {
    PLazyNode last = GetLastVisibleNoInit(sibling);
    return last != nullptr ? last : sibling;
  }
  return node->Parent == root_ ? nullptr : node->Parent;
}

int TLazyTreeModel::GetNodeLevel(PLazyNode node) const {
  if (node == nullptr || node == root_) return 0;
  int level = 0;
  for (PLazyNode p = node->Parent; p != root_; p = p->Parent) ++level;
  return level;
}

bool TLazyTreeModel::HasAsParent(PLazyNode node, PLazyNode candidate) const {
  if (node == nullptr || candidate == nullptr || node == candidate || node == root_) return false;
  for (PLazyNode p = node->Parent; p != nullptr; p = p->Parent) {
    if (p == candidate) return true;
    if (p == root_) break;
  }
  return false;
}

bool TLazyTreeModel::HasVisibleNextSibling(PLazyNode node) const {
  for (PLazyNode s = node->NextSibling; s != nullptr; s = s->NextSibling)
    if (s->States.Contains(nsVisible)) return true;
  return false;
}

bool TLazyTreeModel::IsFirstVisibleChild(PLazyNode parent, PLazyNode node) const {
  return GetFirstVisibleChildNoInit(parent == nullptr ? root_ : parent) == node;
}

bool TLazyTreeModel::IsLastVisibleChild(PLazyNode parent, PLazyNode node) const {
  PLazyNode n = (parent == nullptr ? root_ : parent)->LastChild;
  while (n != nullptr && !n->States.Contains(nsVisible)) n = n->PrevSibling;
  return n == node;
}

}  // namespace kv
