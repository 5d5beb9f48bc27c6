// Node records: the root, creation, initialisation on demand, deletion,
// linking and the aggregate counters.

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>

#include "base/scope_guard.h"
#include "treeview/lazy_tree_model.h"
#include "treeview/subtree_walk.h"

namespace kv {

namespace {
constexpr std::uint32_t Round8(std::uint32_t n) { return (n + 7) & ~7u; }
constexpr std::uint16_t kReinitClears = nsCheckChanging | nsCutCopyMarked | nsBeingDeleted |
                                        nsHeightMeasured;
}  // namespace

TLazyTreeModel* TreeFromNode(PLazyNode node) {
  LazyTreeAssert(node != nullptr, "Node must not be nil.");
  while (node->NextSibling != node) node = node->Parent;
  return reinterpret_cast<TLazyTreeModel*>(node->Parent);
}

TLazyTreeModel::TLazyTreeModel(std::unique_ptr<TCustomLazyTreeOptions> options)
    : options_(options ? std::move(options) : std::make_unique<TCustomLazyTreeOptions>()) {
  options_->SetOwner(this);
  TWorkerThread::AddThreadReference();
}

TLazyTreeModel::~TLazyTreeModel() { DestroyNodes(); }

void TLazyTreeModel::DestroyNodes() {
  if (released_) return;
  ReleaseExchange();
  destroying_ = true;
  InterruptValidation();
  TWorkerThread::ReleaseThreadReference(*this);
  released_ = true;
  // Lifted directly: the option setter's side effects do not apply any more.
  options_->misc_ &= ~static_cast<std::uint32_t>(toReadOnly);
  Clear();
}

PLazyNode TLazyTreeModel::RootNode() {
  if (root_ != nullptr) return root_;
  rootStorage_.assign((kNodeFixedSize + internalDataSize_ + 7) / 8, 0);
  root_ = std::construct_at(reinterpret_cast<TLazyNode*>(rootStorage_.data()));
  root_->States.Assign(nsInitialized | nsExpanded | nsHasChildren | nsVisible);
  root_->NodeHeight = static_cast<std::uint16_t>(defaultNodeHeight_);
  root_->TotalHeight = defaultNodeHeight_;
  root_->TotalCount = 1;
  root_->Align = 50;
  root_->PrevSibling = root_;
  root_->NextSibling = root_;
  // Not a node: only compared with and returned by TreeFromNode.
  root_->Parent = reinterpret_cast<PLazyNode>(this);
  return root_;
}

std::uint32_t TLazyTreeModel::AllocateInternalDataArea(std::uint32_t size) {
  LazyTreeAssert(root_ == nullptr || root_->ChildCount == 0,
                 "Internal data allocation must be done before any node is created.");
  const std::uint32_t position = static_cast<std::uint32_t>(kNodeFixedSize) + internalDataSize_;
  internalDataSize_ += Round8(size);
  if (root_ != nullptr) {
    std::vector<std::uint64_t> grown((kNodeFixedSize + internalDataSize_ + 7) / 8, 0);
    std::memcpy(grown.data(), rootStorage_.data(), rootStorage_.size() * 8);
    rootStorage_ = std::move(grown);
    root_ = reinterpret_cast<PLazyNode>(rootStorage_.data());
    root_->PrevSibling = root_->NextSibling = root_;
  }
  return position;
}

void TLazyTreeModel::ValidateNodeDataSize(int& size) {
  size = 0;
  if (OnGetNodeDataSize) OnGetNodeDataSize(*this, size);
}

void TLazyTreeModel::EnsureNodeDataSize() {
  if (nodeDataSize_ != -1) return;
  int size = 0;
  ValidateNodeDataSize(size);
  nodeDataSize_ = std::max(size, -1);
}

PLazyNode TLazyTreeModel::MakeNewNode() {
  EnsureNodeDataSize();
  if (pool_.LiveCount() == 0)
    pool_.SetBlockSize(kNodeFixedSize + internalDataSize_ + Round8(std::max(nodeDataSize_, 0)));
  PLazyNode node = std::construct_at(static_cast<TLazyNode*>(pool_.Allocate()));
  node->TotalCount = 1;
  node->TotalHeight = defaultNodeHeight_;
  node->NodeHeight = static_cast<std::uint16_t>(defaultNodeHeight_);
  node->States.Assign(nsVisible);
  node->Align = 50;
  return node;
}

void TLazyTreeModel::FreeNodeMemory(PLazyNode node) { pool_.Free(node); }

bool TLazyTreeModel::IsLiveNode(const void* node) const {
  return node != nullptr && pool_.IsLive(node);
}

void TLazyTreeModel::SetNodeDataSize(int size) {
  size = std::max(size, -1);
  if (size == nodeDataSize_) return;
  // While the layout loads no node exists yet: the size is only taken. Nodes
  // made before (none in a layout) are still made again, as their blocks
  // have the old size.
  if (TreeLoading() && pool_.LiveCount() == 0) {
    nodeDataSize_ = size;
    return;
  }
  const std::uint32_t count = root_ != nullptr ? root_->ChildCount : 0;
  Clear();
  // A read-only tree keeps its nodes, so their blocks keep the old size.
  if (pool_.LiveCount() != 0) return;
  nodeDataSize_ = size;
  if (count > 0) SetRootNodeCount(count);
}

void* TLazyTreeModel::GetNodeData(PLazyNode node) {
  if (node == nullptr || node == root_ || nodeDataSize_ < 1) return nullptr;
  return reinterpret_cast<std::byte*>(node) + kNodeFixedSize + internalDataSize_;
}

std::uint32_t TLazyTreeModel::RootNodeCount() { return RootNode()->ChildCount; }

void TLazyTreeModel::SetRootNodeCount(std::uint32_t count) {
  // While the layout loads, the count waits in the root until Loaded makes
  // the nodes (after every property, such as the node size, was read).
  if (TreeLoading() && RootNode()->FirstChild == nullptr) {
    root_->ChildCount = count;
    DoStateChange({tsRootCountDue});
    return;
  }
  if (count == RootNode()->ChildCount) return;
  BeginUpdate();
  InterruptValidation();
  SetChildCount(root_, count);
  EndUpdate();
}

std::uint32_t TLazyTreeModel::ChildCount(PLazyNode node) {
  return (node == nullptr ? RootNode() : node)->ChildCount;
}

void TLazyTreeModel::SetChildCount(PLazyNode node, std::uint32_t newCount) {
  if (node == nullptr) node = RootNode();
  if (ReadOnly()) return;
  if (newCount == 0) {
    DeleteChildren(node, false);
    return;
  }
  const std::int64_t difference = std::int64_t{newCount} - node->ChildCount;
  if (difference == 0) return;
  InterruptValidation();
  if (difference > 0) {
    std::uint32_t index = node->LastChild != nullptr ? node->LastChild->Index + 1 : 0;
    if (node->LastChild == nullptr) node->States.Include(nsHasChildren);
    PLazyNode firstNew = nullptr;
    std::uint64_t heights = 0;
    for (std::int64_t i = 0; i < difference; ++i) {
      PLazyNode child = MakeNewNode();
      child->Index = index++;
      child->PrevSibling = node->LastChild;
      child->Parent = node;
      if (node->LastChild != nullptr)
        node->LastChild->NextSibling = child;
      else
        node->FirstChild = child;
      node->LastChild = child;
      if (firstNew == nullptr) firstNew = child;
      heights += child->TotalHeight;
    }
    if (node->States.Contains(nsExpanded)) {
      AdjustTotalHeight(node, static_cast<std::int64_t>(heights), true);
      if (FullyVisible(node)) visibleCount_ += static_cast<std::uint32_t>(difference);
    }
    AdjustTotalCount(node, difference, true);
    node->ChildCount = newCount;
    // The new children are visible: a flag left from children that were
    // deleted or hidden before would hide the node's button.
    node->States.Exclude(nsAllChildrenHidden);
    // Measured only now that every new node is linked and counted: a measured
    // height goes up through SetNodeHeight exactly once, and no cache build is
    // started (the update count) while the owner's measuring runs.
    if (HasOption(toVariableNodeHeight)) {
      ++updateCount_;
      const ScopeGuard leave([this] { --updateCount_; });
      for (PLazyNode c = firstNew; c != nullptr; c = c->NextSibling) MeasureItemHeight(c);
    }
    if (updateCount_ == 0 && HasOption(toAutoSort) && HeaderSortColumn() != kInvalidColumn)
      Sort(node, HeaderSortColumn(), HeaderSortDirection(), false);
    InvalidateCache();
  } else {
    for (std::int64_t i = 0; i < -difference; ++i) DeleteNode(node->LastChild, true);
  }
  if (updateCount_ == 0) {
    ValidateCache();
    UpdateScrollBars(true);
    InvalidateClientRect(nullptr);
  }
  StructureChange(NilForRoot(node), TChangeReason::crChildAdded);
}

PLazyNode TLazyTreeModel::AddChild(PLazyNode parent, void* userData) {
  if (ReadOnly()) return nullptr;
  DoCancelEdit();
  if (parent == nullptr)
    parent = RootNode();
  else if (!parent->States.Contains(nsInitialized))
    InitNode(parent);
  ++updateCount_;
  try {
    SetChildCount(parent, parent->ChildCount + 1);
  } catch (...) {
    --updateCount_;
    throw;
  }
  parent->States.Exclude(nsAllChildrenHidden);
  --updateCount_;
  PLazyNode result = parent->LastChild;
  if (userData != nullptr) {
    if (nodeDataSize_ < static_cast<int>(sizeof(void*)))
      ShowError("Cannot set initial user data because there is not enough user data space allocated.",
                2008);
    std::memcpy(GetNodeData(result), &userData, sizeof(void*));
    result->States.Include(nsOwnerData);
  }
  if (updateCount_ == 0) {
    ValidateCache();
    if (states_.Contains(tsStructureChangePending))
      StructureChange(NilForRoot(parent), TChangeReason::crChildAdded);
    if (HasOption(toAutoSort) && HeaderSortColumn() != kInvalidColumn)
      Sort(parent, HeaderSortColumn(), HeaderSortDirection(), false);
    InvalidateToBottom(parent);
    UpdateScrollBars(true);
  }
  return result;
}

void TLazyTreeModel::SetDefaultNodeHeight(std::uint32_t height) {
  if (height == 0) height = kDefaultNodeHeight;
  height = std::min<std::uint32_t>(height, 0xFFFF);
  if (height == defaultNodeHeight_) return;
  DoStateChange({tsNeedScale});
  PLazyNode root = RootNode();
  root->TotalHeight = root->TotalHeight - defaultNodeHeight_ + height;
  root->NodeHeight = static_cast<std::uint16_t>(height);
  defaultNodeHeight_ = height;
  InvalidateCache();
  if (HasWindow() && updateCount_ == 0 && !TreeLoading()) {
    ValidateCache();
    UpdateScrollBars(true);
    ScrollIntoView(focusedNode_, HasOption(toCenterScrollIntoView));
    InvalidateClientRect(nullptr);
  }
}

std::uint32_t TLazyTreeModel::NodeHeight(PLazyNode node) {
  if (node == nullptr || node == root_) return 0;
  if (HasOption(toVariableNodeHeight)) MeasureItemHeight(node);
  return node->NodeHeight;
}

void TLazyTreeModel::SetNodeHeight(PLazyNode node, std::uint32_t height) {
  height = std::min<std::uint32_t>(height, 0xFFFF);
  if (node == nullptr || node == root_ || node->NodeHeight == height || ReadOnly()) return;
  // The worker reads the heights of the nodes it walks: stop it first.
  const bool shown = FullyVisible(node);
  if (shown) InterruptValidation();
  const std::int64_t difference = std::int64_t{height} - node->NodeHeight;
  node->NodeHeight = static_cast<std::uint16_t>(height);
  AdjustTotalHeight(node, difference, true);
  if (shown) {
    InvalidateCache();
    if (updateCount_ == 0) {
      ValidateCache();
      InvalidateToBottom(node);
      UpdateScrollBars(true);
    }
  }
}

bool TLazyTreeModel::HasChildren(PLazyNode node) const {
  return node != nullptr && node->States.Contains(nsHasChildren);
}

void TLazyTreeModel::SetHasChildren(PLazyNode node, bool value) {
  if (node == nullptr || ReadOnly()) return;
  if (value) {
    node->States.Include(nsHasChildren);
  } else {
    node->States.Exclude(nsHasChildren);
    DeleteChildren(node, false);
  }
}

bool TLazyTreeModel::MultiLine(PLazyNode node) const {
  return node != nullptr && node != root_ && node->States.Contains(nsMultiline);
}

void TLazyTreeModel::SetMultiLine(PLazyNode node, bool value) {
  if (node == nullptr || node == root_ || node->States.Contains(nsMultiline) == value) return;
  node->States.Set(nsMultiline, value);
  if (updateCount_ == 0) InvalidateNode(node);
}

bool TLazyTreeModel::Visible(PLazyNode node) {
  if (node == nullptr) node = RootNode();
  if (!node->States.Contains(nsInitialized)) InitNode(node);
  return node->States.Contains(nsVisible);
}

// Hides or shows a node with its subtree, keeping the counters that depend on
// it: the visible count, the total heights of its ancestors, the parent's
// all-children-hidden flag and the position cache (and so the screen anchor).
// Safe from OnInitNode: the node is already linked and counted then.
void TLazyTreeModel::SetNodeVisible(PLazyNode node, bool value) {
  if (node == nullptr || node == root_ || node->States.Contains(nsVisible) == value) return;
  InterruptValidation();
  if (!nodeExtents_.empty()) rangeXDue_ = true;
  PLazyNode parent = node->Parent;
  const bool parentExpanded = parent == root_ || parent->States.Contains(nsExpanded);
  const bool parentShown = parentExpanded && FullyVisible(parent);
  const std::int64_t rows = 1 + std::int64_t{CountVisibleChildren(node)};
  if (value) {
    node->States.Include(nsVisible);
    if (parentExpanded) AdjustTotalHeight(parent, node->TotalHeight, true);
    if (parentShown) visibleCount_ += static_cast<std::uint32_t>(rows);
  } else {
    if (parentExpanded) AdjustTotalHeight(parent, -std::int64_t{node->TotalHeight}, true);
    if (parentShown) visibleCount_ -= static_cast<std::uint32_t>(rows);
    node->States.Exclude(nsVisible);
  }
  if (parent != root_) DetermineHiddenChildrenFlag(parent);
  InvalidateCache();
  if (updateCount_ == 0) {
    ValidateCache();
    if (parent == root_)
      InvalidateClientRect(nullptr);
    else
      InvalidateToBottom(parent);
    UpdateScrollBars(true);
  }
}

bool TLazyTreeModel::FullyVisible(PLazyNode node) {
  LazyTreeAssert(node != nullptr, "Invalid parameter.");
  if (!node->States.Contains(nsVisible)) return false;
  if (node == root_) return true;
  for (PLazyNode p = node->Parent; p != root_; p = p->Parent)
    if (!p->States.ContainsAll(nsExpanded | nsVisible)) return false;
  return true;
}

bool TLazyTreeModel::ChildrenInitialized(PLazyNode node) const {
  return !node->States.Contains(nsHasChildren) || node->ChildCount > 0;
}

// ------------------------------------------------------------ initialising --

void TLazyTreeModel::DoInitNode(PLazyNode parent, PLazyNode node, TLazyNodeInitStates& initStates) {
  if (OnInitNode) OnInitNode(*this, parent, node, initStates);
}

void TLazyTreeModel::DoInitChildren(PLazyNode node, std::uint32_t& childCount) {
  if (OnInitChildren) OnInitChildren(*this, node, childCount);
}

void TLazyTreeModel::DoReset(PLazyNode node) {
  if (OnResetNode) OnResetNode(*this, node);
}

void TLazyTreeModel::InitNode(PLazyNode node) {
  node->States.Include(nsInitialized);
  TLazyNodeInitStates initStates = 0;
  DoInitNode(NilForRoot(node->Parent), node, initStates);
  if (initStates & nisDisabled) node->States.Include(nsDisabled);
  if (initStates & nisHasChildren) node->States.Include(nsHasChildren);
  if (initStates & nisSelected) {
    InternalAddToSelection(node, false);
  }
  if (initStates & nisMultiline) node->States.Include(nsMultiline);
  const bool wantExpanded = (initStates & nisExpanded) != 0;
  if (node->States.Contains(nsExpanded) != wantExpanded) {
    if (wantExpanded)
      ToggleNode(node);
    else if (node->States.Contains(nsHasChildren))
      InitChildren(node);
  }
}

void TLazyTreeModel::InitChildren(PLazyNode node) {
  if (node == nullptr || node == root_ || !node->States.Contains(nsHasChildren)) return;
  std::uint32_t count = node->ChildCount;
  DoInitChildren(node, count);
  if (count == 0) {
    DeleteChildren(node, false);
    node->States.Exclude(nsHasChildren);
  } else {
    SetChildCount(node, count);
  }
}

void TLazyTreeModel::ReinitNode(PLazyNode node, bool recursive) {
  if (node != nullptr && node != root_) {
    node->States.Exclude(kReinitClears);
    InitNode(node);
  }
  if (recursive) ReinitChildren(node, true);
}

void TLazyTreeModel::ReinitChildren(PLazyNode node, bool recursive) {
  if (node == nullptr) node = RootNode();
  InitChildren(node);
  if (!recursive) {
    for (PLazyNode child = node->FirstChild; child != nullptr;) {
      PLazyNode next = child->NextSibling;
      ReinitNode(child, false);
      child = next;
    }
    return;
  }
  // Each node once, through the (virtual) ReinitNode, then its children. The
  // walk passes recursive=false: the walk itself goes down, and a recursive
  // ReinitNode per level would nest as deep as the tree (stack overflow on
  // long chains) and visit subtrees again.
  WalkBelow(node, [this](PLazyNode n) {
    ReinitNode(n, false);
    InitChildren(n);
    return true;
  });
}

void TLazyTreeModel::ResetNode(PLazyNode node) {
  DoCancelEdit();
  if (node == nullptr || node == root_) {
    Clear();
    return;
  }
  DoReset(node);
  DeleteChildren(node, false);
  node->States.Exclude(nsInitialized | nsCheckChanging | nsCutCopyMarked | nsBeingDeleted |
                       nsExpanded | nsHasChildren | nsHeightMeasured);
  InvalidateNode(node);
}

void TLazyTreeModel::ValidateNode(PLazyNode node, bool recursive) {
  if (node == nullptr) node = RootNode();
  if (!node->States.Contains(nsInitialized)) InitNode(node);
  if (recursive) ValidateChildren(node, true);
}

void TLazyTreeModel::ValidateChildren(PLazyNode node, bool recursive) {
  if (node == nullptr) node = RootNode();
  if (node->States.Contains(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
  WalkBelow(node, [this, recursive](PLazyNode n) {
    if (!n->States.Contains(nsInitialized)) InitNode(n);
    if (!recursive) return false;
    if (n->States.Contains(nsHasChildren) && n->ChildCount == 0) InitChildren(n);
    return true;
  });
}

// ---------------------------------------------------------------- deleting --

void TLazyTreeModel::DoFreeNode(PLazyNode node) {
  ForgetNode(node);
  // The record goes even when the owner's event throws: the node is unlinked.
  const ScopeGuard release([this, node] { FreeNodeMemory(node); });
  if (node->States.Contains(nsInitialized) || node->States.Contains(nsOwnerData)) {
    if (OnFreeNode) OnFreeNode(*this, node);
  }
}

void TLazyTreeModel::ForgetNode(PLazyNode node) {
  if (focusedNode_ == node) focusedNode_ = nullptr;
  if (hotNode_ == node) hotNode_ = nullptr;
  if (rangeAnchor_ == node) rangeAnchor_ = nullptr;
  if (dropTargetNode_ == node) dropTargetNode_ = nullptr;
  if (lastChangedNode_ == node) lastChangedNode_ = nullptr;
  if (lastStructureChangeNode_ == node) lastStructureChangeNode_ = nullptr;
  if (screenAnchor_.node == node) screenAnchor_ = ScreenAnchor{};
  if (!nodeExtents_.empty()) {
    if (auto it = nodeExtents_.find(node); it != nodeExtents_.end()) {
      if (it->second >= rangeX_) rangeXDue_ = true;
      nodeExtents_.erase(it);
    }
  }
}

void TLazyTreeModel::DeleteNode(PLazyNode node, bool reindex) {
  if (node == nullptr || node == root_ || ReadOnly()) return;
  PLazyNode parent = node->Parent;
  const bool parentClearing = parent->States.Contains(nsClearingChildren);
  if (!parentClearing) StructureChange(NilForRoot(parent), TChangeReason::crChildDeleted);
  const int oldX = offsetX_, oldY = offsetY_;
  if (node->States.Contains(nsSelected)) {
    if (updateCount_ == 0) {
      DoStateChange({tsImmediateEvents});
      RemoveFromSelection(node);
      DoStateChange({}, {tsImmediateEvents});
    } else {
      InternalRemoveFromSelection(node);
    }
  }
  InvalidateToBottom(parent);
  if (states_.Contains(tsHintShowing)) CancelHint();
  // An owner's OnFreeNode that throws does not stop the deletion half way:
  // the first error is raised once the tree is whole again.
  std::exception_ptr failure;
  try {
    DeleteChildren(node, false);
  } catch (...) {
    failure = std::current_exception();
  }
  InternalDisconnectNode(node, false, reindex);
  try {
    DoFreeNode(node);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (!parentClearing) {
    DetermineHiddenChildrenFlag(parent);
    InvalidateCache();
    if (updateCount_ == 0) {
      ValidateCache();
      UpdateScrollBars(true);
      if (oldX != offsetX_ || oldY != offsetY_) InvalidateClientRect(nullptr);
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TLazyTreeModel::DeleteChildren(PLazyNode node, bool resetHasChildren) {
  if (node == nullptr) node = RootNode();
  // A node whose children were never asked for keeps its flag even when a
  // reset is asked: its button stays, and the owner answers when it expands.
  if (ReadOnly() || (node->ChildCount == 0 && node->FirstChild == nullptr)) return;
  const int oldX = offsetX_, oldY = offsetY_;
  std::exception_ptr failure;
  {
    ++updateCount_;
    const ScopeGuard leave([this] { --updateCount_; });
    InterruptValidation();
    FreeDescendants(node, failure);
    if (resetHasChildren) node->States.Exclude(nsHasChildren);
    if (node != root_ && !node->States.Contains(nsBeingDeleted)) {
      AdjustTotalHeight(node, node->NodeHeight, false);
      AdjustTotalCount(node, 1, false);
    } else if (node == root_) {
      root_->TotalHeight = root_->NodeHeight;
      root_->TotalCount = 1;
    }
  }
  InvalidateCache();
  if (updateCount_ == 0) {
    ValidateCache();
    UpdateScrollBars(true);
    if (oldX == offsetX_ && oldY == offsetY_)
      InvalidateToBottom(node);
    else
      InvalidateClientRect(nullptr);
  }
  StructureChange(node, TChangeReason::crChildDeleted);
  if (failure) std::rethrow_exception(failure);
}

// Deletes every node below `top`, the last child first and each node after
// its own children, without recursion. A node with children is marked
// (nsBeingDeleted, its children nsClearingChildren) when the walk goes into
// it and freed once it has none left; only leaves reach DeleteNode. The first
// exception of an owner's OnFreeNode is kept in `failure` and the walk goes on.
void TLazyTreeModel::FreeDescendants(PLazyNode top, std::exception_ptr& failure) {
  auto shown = [this](PLazyNode n) {
    return n == root_ || (FullyVisible(n) && n->States.Contains(nsExpanded));
  };
  // Unlinks the last child of `parent` from the list and frees it (it has no children).
  auto deleteLast = [&](PLazyNode parent) {
    PLazyNode child = parent->LastChild;
    PLazyNode previous = child->PrevSibling;
    if (previous != nullptr) previous->NextSibling = nullptr;
    parent->LastChild = previous;
    try {
      DeleteNode(child, true);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  auto finish = [](PLazyNode n) {  // all its children gone
    n->States.Exclude(nsClearingChildren);
    n->States.Exclude(nsExpanded);  // never the root: `top` is finished below
    n->ChildCount = 0;
    n->FirstChild = n->LastChild = nullptr;
  };
  top->States.Include(nsClearingChildren);
  PLazyNode n = top;
  bool nShown = shown(top);
  for (;;) {
    PLazyNode child = n->LastChild;
    if (child == nullptr) {
      if (n == top) break;
      // `n` is empty now: its children's removal is announced, then it goes
      // as a leaf of its parent.
      finish(n);
      StructureChange(n, TChangeReason::crChildDeleted);
      n = n->Parent;
      nShown = shown(n);
      deleteLast(n);
      continue;
    }
    // Each child is seen here once: a node gone into returns only as deleted.
    if (nShown && child->States.Contains(nsVisible)) --visibleCount_;
    child->States.Include(nsBeingDeleted);
    if (child->FirstChild != nullptr) {
      child->States.Include(nsClearingChildren);
      n = child;
      nShown = shown(n);
      continue;
    }
    deleteLast(n);
  }
  top->States.Exclude(nsClearingChildren);
  if (top != root_) top->States.Exclude(nsExpanded);
  top->ChildCount = 0;
  top->FirstChild = top->LastChild = nullptr;
}

void TLazyTreeModel::Clear() {
  if (ReadOnly() && !destroying_) return;
  BeginUpdate();
  InterruptValidation();
  DoCancelEdit();
  if (states_.Contains(tsCopyPending) || states_.Contains(tsCutPending)) {
    EmptyOwnClipboard();
    DoStateChange({}, {tsCopyPending, tsCutPending});
  }
  if (destroying_)
    InternalClearSelection();
  else
    ClearSelection();
  focusedNode_ = nullptr;
  hotNode_ = nullptr;
  // DeleteChildren finishes even when an owner's OnFreeNode throws; the
  // update bracket is closed before the error goes on.
  std::exception_ptr failure;
  try {
    if (root_ != nullptr) DeleteChildren(root_, true);
  } catch (...) {
    failure = std::current_exception();
  }
  visibleCount_ = 0;
  offsetX_ = offsetY_ = 0;
  ResetRangeX();
  EndUpdate();
  if (failure) std::rethrow_exception(failure);
}

// ----------------------------------------------------------------- linking --

void TLazyTreeModel::InternalConnectNode(PLazyNode node, PLazyNode destination,
                                         TLazyTreeModel& target, TLTNodeAttachMode mode) {
  if (mode == TLTNodeAttachMode::amNoWhere) return;
  target.InterruptValidation();
  if (destination == nullptr) destination = target.RootNode();
  PLazyNode parent = nullptr;
  switch (mode) {
    case TLTNodeAttachMode::amInsertBefore:
      LazyTreeAssert(destination != target.root_, "Node must not be the hidden root node.");
      parent = destination->Parent;
      node->Parent = parent;
      node->PrevSibling = destination->PrevSibling;
      node->NextSibling = destination;
      node->Index = destination->Index;
      if (destination->PrevSibling != nullptr)
        destination->PrevSibling->NextSibling = node;
      else
        parent->FirstChild = node;
      destination->PrevSibling = node;
      for (PLazyNode s = destination; s != nullptr; s = s->NextSibling) ++s->Index;
      break;
    case TLTNodeAttachMode::amInsertAfter:
      LazyTreeAssert(destination != target.root_, "Node must not be the hidden root node.");
      parent = destination->Parent;
      node->Parent = parent;
      node->PrevSibling = destination;
      node->NextSibling = destination->NextSibling;
      if (destination->NextSibling != nullptr)
        destination->NextSibling->PrevSibling = node;
      else
        parent->LastChild = node;
      destination->NextSibling = node;
      node->Index = destination->Index;
      for (PLazyNode s = node; s != nullptr; s = s->NextSibling) ++s->Index;
      break;
    case TLTNodeAttachMode::amAddChildFirst:
      parent = destination;
      node->Parent = parent;
      node->PrevSibling = nullptr;
      node->NextSibling = parent->FirstChild;
      if (parent->FirstChild != nullptr)
        parent->FirstChild->PrevSibling = node;
      else
        parent->LastChild = node;
      parent->FirstChild = node;
      node->Index = 0;
      for (PLazyNode s = node->NextSibling; s != nullptr; s = s->NextSibling) ++s->Index;
      break;
    case TLTNodeAttachMode::amAddChildLast:
    default:
      parent = destination;
      node->Parent = parent;
      node->NextSibling = nullptr;
      node->PrevSibling = parent->LastChild;
      node->Index = parent->LastChild != nullptr ? parent->LastChild->Index + 1 : 0;
      if (parent->LastChild != nullptr)
        parent->LastChild->NextSibling = node;
      else
        parent->FirstChild = node;
      parent->LastChild = node;
      break;
  }
  ++parent->ChildCount;
  parent->States.Include(nsHasChildren);
  target.AdjustTotalCount(parent, node->TotalCount, true);
  // A hidden node adds no height (its parent's total counts visible children only).
  if (parent->States.Contains(nsExpanded) && node->States.Contains(nsVisible))
    target.AdjustTotalHeight(parent, node->TotalHeight, true);
  if (target.FullyVisible(node)) target.visibleCount_ += target.CountVisibleChildren(node) + 1;
  node->States.Exclude(nsCheckChanging | nsCutCopyMarked | nsBeingDeleted | nsClearingChildren);
  if (parent != target.root_) {
    if (node->States.Contains(nsVisible))
      parent->States.Exclude(nsAllChildrenHidden);
    else if (parent->ChildCount == 1)
      parent->States.Include(nsAllChildrenHidden);
  }
  target.InvalidateCache();
}

void TLazyTreeModel::InternalDisconnectNode(PLazyNode node, bool keepFocus, bool reindex) {
  LazyTreeAssert(node != nullptr && node != root_, "Node must neither be nil nor the root node.");
  if (node == focusedNode_ && !keepFocus) {
    focusedNode_ = nullptr;
    DoFocusChange(nullptr, focusedColumn_);
  }
  if (node == rangeAnchor_) ResetRangeAnchor();
  PLazyNode parent = node->Parent;
  if (!node->States.Contains(nsBeingDeleted)) {
    InterruptValidation();
    node->States.Exclude(nsCheckChanging);
    const bool wasShown = FullyVisible(node);
    const std::uint32_t shownBelow = wasShown ? CountVisibleChildren(node) : 0;
    const bool parentExpanded = parent->States.Contains(nsExpanded);
    --parent->ChildCount;
    if (parent->ChildCount == 0) {
      parent->States.Exclude(nsHasChildren | nsAllChildrenHidden);
      if (parent != root_) parent->States.Exclude(nsExpanded);
    }
    AdjustTotalCount(parent, -std::int64_t{node->TotalCount}, true);
    if (parentExpanded && node->States.Contains(nsVisible))
      AdjustTotalHeight(parent, -std::int64_t{node->TotalHeight}, true);
    if (wasShown) visibleCount_ -= shownBelow + 1;
    if (node->PrevSibling != nullptr)
      node->PrevSibling->NextSibling = node->NextSibling;
    else
      parent->FirstChild = node->NextSibling;
    if (node->NextSibling != nullptr)
      node->NextSibling->PrevSibling = node->PrevSibling;
    else
      parent->LastChild = node->PrevSibling;
    if (reindex) {
      std::uint32_t index = node->Index;
      for (PLazyNode s = node->NextSibling; s != nullptr; s = s->NextSibling) s->Index = index++;
    }
    node->PrevSibling = node->NextSibling = nullptr;
    InvalidateCache();
  }
  // Recomputed once the node is out of the list, so that it no longer counts.
  if (parent != root_ && !parent->States.Contains(nsClearingChildren))
    DetermineHiddenChildrenFlag(parent);
}

// ---------------------------------------------------------------- counters --

void TLazyTreeModel::AdjustTotalCount(PLazyNode node, std::int64_t value, bool relative) {
  const std::int64_t change = relative ? value : value - node->TotalCount;
  if (change == 0) return;
  for (PLazyNode n = node;; n = n->Parent) {
    n->TotalCount = static_cast<std::uint32_t>(n->TotalCount + change);
    if (n == root_) break;
  }
}

void TLazyTreeModel::AdjustTotalHeight(PLazyNode node, std::int64_t value, bool relative) {
  const std::int64_t change = relative ? value : value - node->TotalHeight;
  if (change == 0) return;
  for (PLazyNode n = node;; n = n->Parent) {
    n->TotalHeight = static_cast<std::uint32_t>(n->TotalHeight + change);
    if (!n->States.Contains(nsVisible) || n == root_ || n->Parent == nullptr ||
        !n->Parent->States.Contains(nsExpanded))
      break;
  }
}

std::uint32_t TLazyTreeModel::CountVisibleChildren(PLazyNode node) const {
  if (!node->States.Contains(nsExpanded)) return 0;
  std::uint32_t count = 0;
  WalkBelow(node, [&count](PLazyNode n) {
    if (!n->States.Contains(nsVisible)) return false;
    ++count;
    return n->States.Contains(nsExpanded);
  });
  return count;
}

int TLazyTreeModel::CountLevelDifference(PLazyNode node1, PLazyNode node2) const {
  LazyTreeAssert(node1 != nullptr && node2 != nullptr, "Both nodes must be Assigned.");
  return GetNodeLevel(node2) - GetNodeLevel(node1);
}

void TLazyTreeModel::DetermineHiddenChildrenFlag(PLazyNode node) {
  bool anyVisible = false;
  for (PLazyNode child = node->FirstChild; child != nullptr && !anyVisible; child = child->NextSibling)
    anyVisible = child->States.Contains(nsVisible);
  node->States.Set(nsAllChildrenHidden, !anyVisible);
}

void TLazyTreeModel::DetermineHiddenChildrenFlagAllNodes() {
  for (PLazyNode n = GetFirstNoInit(); n != nullptr; n = GetNextNoInit(n)) DetermineHiddenChildrenFlag(n);
}

}  // namespace kv
