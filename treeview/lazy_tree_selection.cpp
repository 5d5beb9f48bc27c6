// Selection and focus. The selection is an array of node addresses in
// ascending order, mirrored by nsSelected on each node; inside an update a
// removed entry keeps its place with the lowest address bit set (node records
// are 8-aligned) until PackSelection drops all marked entries at once.

#include <algorithm>

#include "treeview/lazy_tree_model.h"

namespace kv {

namespace {
std::uintptr_t Address(PLazyNode node) { return reinterpret_cast<std::uintptr_t>(node); }
PLazyNode NodeAt(std::uintptr_t entry) { return reinterpret_cast<PLazyNode>(entry); }

// Ascending, partitioning around the middle entry; the smaller part is
// sorted by recursion and the larger one by the loop, so the depth stays
// logarithmic.
void QuickSortAddresses(std::vector<std::uintptr_t>& a, std::ptrdiff_t low, std::ptrdiff_t high) {
  while (low < high) {
    const std::uintptr_t pivot = a[static_cast<std::size_t>(low + (high - low) / 2)];
    std::ptrdiff_t i = low, j = high;
    while (i <= j) {
      while (a[static_cast<std::size_t>(i)] < pivot) ++i;
      while (a[static_cast<std::size_t>(j)] > pivot) --j;
      if (i <= j) std::swap(a[static_cast<std::size_t>(i++)], a[static_cast<std::size_t>(j--)]);
    }
    if (j - low < high - i) {
      QuickSortAddresses(a, low, j);
      low = i;
    } else {
      QuickSortAddresses(a, i, high);
      high = j;
    }
  }
}
}  // namespace

bool TLazyTreeModel::Selected(PLazyNode node) const {
  return node != nullptr && node->States.Contains(nsSelected);
}

bool TLazyTreeModel::FindNodeInSelection(PLazyNode node, std::ptrdiff_t& index, std::ptrdiff_t upperBound,
                                         std::ptrdiff_t lowerBound) const {
  const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(selection_.size());
  const std::ptrdiff_t low = lowerBound < 0 ? 0 : std::min(lowerBound, size);
  const std::ptrdiff_t high = upperBound < 0 ? size : std::clamp(upperBound + 1, low, size);
  auto it = std::lower_bound(selection_.begin() + low, selection_.begin() + high, Address(node));
  index = it - selection_.begin();
  return it != selection_.begin() + high && *it == Address(node);
}

std::ptrdiff_t TLazyTreeModel::PackArray(PLazyNode* array, std::ptrdiff_t count) {
  if (count <= 0) return -1;
  std::ptrdiff_t kept = 0;
  for (std::ptrdiff_t i = 0; i < count; ++i)
    if ((Address(array[i]) & 1) == 0) array[kept++] = array[i];
  return kept;
}

bool TLazyTreeModel::InternalAddToSelection(PLazyNode node, bool force) {
  PLazyNode one[1] = {node};
  return InternalAddToSelection(one, 1, force);
}

bool TLazyTreeModel::InternalAddToSelection(PLazyNode* nodes, std::size_t count, bool force) {
  if (count == 0) return false;
  LazyTreeAssert(nodes[0] != nullptr, "Node must not be nil!");
  if (!force) {
    const bool levelConstraint = HasOption(toLevelSelectConstraint);
    const bool siblingConstraint = HasOption(toSiblingSelectConstraint);
    if (levelConstraint && selectionLevel_ == -1) selectionLevel_ = GetNodeLevel(nodes[0]);
    if (siblingConstraint && rangeAnchor_ == nullptr) rangeAnchor_ = nodes[0];
    for (std::size_t i = 0; i < count; ++i) {
      PLazyNode n = nodes[i];
      const bool rejected = n == nullptr || n == root_ ||
                            n->States.Contains(nsSelected) || n->States.Contains(nsDisabled) ||
                            (levelConstraint && GetNodeLevel(n) != selectionLevel_) ||
                            (siblingConstraint && n->Parent != rangeAnchor_->Parent);
      if (rejected)
        nodes[i] = NodeAt(Address(n) | 1);
      else
        n->States.Include(nsSelected);
    }
  } else {
    // Forced entries skip the checks, but a node already in the array is not
    // entered twice.
    for (std::size_t i = 0; i < count; ++i) {
      PLazyNode n = nodes[i];
      if (n == nullptr || n == root_ || n->States.Contains(nsSelected))
        nodes[i] = NodeAt(Address(n) | 1);
      else
        n->States.Include(nsSelected);
    }
  }
  const std::ptrdiff_t accepted = PackArray(nodes, static_cast<std::ptrdiff_t>(count));
  if (accepted <= 0) return false;
  std::vector<std::uintptr_t> added;
  added.reserve(static_cast<std::size_t>(accepted));
  for (std::ptrdiff_t i = 0; i < accepted; ++i) added.push_back(Address(nodes[i]));
  QuickSortAddresses(added, 0, static_cast<std::ptrdiff_t>(added.size()) - 1);
  // Merged in from the back: the last new entry finds its place among the
  // entries not moved yet, those above it move up in one block, and so on.
  std::ptrdiff_t unmoved = static_cast<std::ptrdiff_t>(selection_.size());
  selection_.resize(selection_.size() + added.size());
  std::ptrdiff_t free = static_cast<std::ptrdiff_t>(selection_.size());
  for (auto it = added.rbegin(); it != added.rend() && unmoved < free; ++it) {
    std::ptrdiff_t place = unmoved;
    if (unmoved > 0) FindNodeInSelection(NodeAt(*it), place, unmoved - 1, 0);
    std::move_backward(selection_.begin() + place, selection_.begin() + unmoved, selection_.begin() + free);
    free -= unmoved - place;
    selection_[static_cast<std::size_t>(--free)] = *it;
    unmoved = place;
  }
  return true;
}

void TLazyTreeModel::AddToSelection(PLazyNode node) {
  LazyTreeAssert(node != nullptr, "Node must not be nil!");
  if (InternalAddToSelection(node, false)) Change(node);
}

void TLazyTreeModel::AddToSelection(const PLazyNode* nodes, std::size_t count, bool force) {
  if (count == 0) return;
  std::vector<PLazyNode> copy(nodes, nodes + count);
  if (InternalAddToSelection(copy.data(), count, force)) Change(count == 1 ? nodes[0] : nullptr);
}

void TLazyTreeModel::RemoveFromSelection(PLazyNode node) {
  LazyTreeAssert(node != nullptr, "Node must not be nil!");
  if (!node->States.Contains(nsSelected)) return;
  node->States.Exclude(nsSelected);
  std::ptrdiff_t index = 0;
  if (FindNodeInSelection(node, index, -1, -1))
    selection_.erase(selection_.begin() + static_cast<std::ptrdiff_t>(index));
  if (SelectedCount() == 0) ResetRangeAnchor();
  Change(node);
}

void TLazyTreeModel::InternalRemoveFromSelection(PLazyNode node) {
  std::ptrdiff_t index = 0;
  if (!FindNodeInSelection(node, index, -1, -1)) return;
  node->States.Exclude(nsSelected);
  selection_[static_cast<std::size_t>(index)] |= 1;
  ++markedCount_;
}

void TLazyTreeModel::PackSelection() {
  if (markedCount_ == 0) return;
  std::erase_if(selection_, [](std::uintptr_t e) { return (e & 1) != 0; });
  markedCount_ = 0;
}

void TLazyTreeModel::InternalClearSelection() {
  for (std::uintptr_t e : selection_)
    if ((e & 1) == 0) NodeAt(e)->States.Exclude(nsSelected);
  selection_.clear();
  markedCount_ = 0;
  ResetRangeAnchor();
  if (states_.Contains(tsClearPending)) DoStateChange({}, {tsClearPending});
}

void TLazyTreeModel::ClearSelection() {
  if (SelectedCount() == 0 || Destroying()) return;
  if (updateCount_ == 0 && HasWindow() && visibleCount_ > 0) {
    // Only the selected rows on screen need repainting.
    PLazyNode node = nullptr;
    std::uint32_t top = 0;
    if (TopOnScreen(node, top)) {
      const std::int64_t bottom = std::int64_t{-offsetY_} + viewHeight_;
      std::uint32_t met = 0;
      const std::uint32_t selected = SelectedCount();
      for (; node != nullptr && top < bottom && met < selected; node = GetNextVisibleNoInit(node)) {
        if (node->States.Contains(nsSelected)) {
          ++met;
          TLazyRect row{0, static_cast<int>(top + offsetY_),
                        std::max<int>(viewWidth_, static_cast<int>(rangeX_)),
                        static_cast<int>(top + node->NodeHeight + offsetY_)};
          InvalidateClientRect(&row);
        }
        top += node->NodeHeight;
      }
    }
  }
  InternalClearSelection();
  Change(nullptr);
}

std::vector<PLazyNode> TLazyTreeModel::SelectionEntries() const {
  std::vector<PLazyNode> result;
  result.reserve(selection_.size());
  for (std::uintptr_t e : selection_)
    if ((e & 1) == 0) result.push_back(NodeAt(e));
  return result;
}

void TLazyTreeModel::ResetRangeAnchor() {
  rangeAnchor_ = focusedNode_;
  selectionLevel_ = -1;
}

void TLazyTreeModel::EnsureRangeAnchor() {
  if (rangeAnchor_ != nullptr) return;
  const PLazyNode first = GetFirstSelected();
  rangeAnchor_ = first != nullptr ? first : GetFirst();
}

void TLazyTreeModel::SetSelected(PLazyNode node, bool value) {
  if (node == nullptr || node == root_ || node->States.Contains(nsSelected) == value) return;
  if (value) {
    if (SelectedCount() == 0)
      rangeAnchor_ = node;
    else if (!HasOption(toMultiSelect))
      ClearSelection();
    AddToSelection(node);
    // The focus needs a column the user sees: the main one, or the first shown.
    if (HeaderUsesColumns() && HeaderMainColumn() >= 0 && HeaderVisibleColumn(focusedColumn_) != focusedColumn_)
      focusedColumn_ = HeaderVisibleColumn(HeaderMainColumn());
    if (rangeAnchor_ == nullptr) rangeAnchor_ = node;
  } else {
    RemoveFromSelection(node);
    if (SelectedCount() == 0) ResetRangeAnchor();
  }
  if (FullyVisible(node)) InvalidateNode(node);
}

// Nil means the first top-level node; a start the user cannot see becomes the
// visible node before it.
static PLazyNode VisibleRangeStart(TLazyTreeModel& tree, PLazyNode start) {
  if (start == nullptr) return tree.GetFirst();
  if (tree.FullyVisible(start)) return start;
  if (!start->States.Contains(nsInitialized)) tree.InitNode(start);
  PLazyNode previous = tree.GetPreviousVisible(start);
  return previous != nullptr ? previous : tree.GetFirst();
}

void TLazyTreeModel::SelectNodes(PLazyNode startNode, PLazyNode endNode, bool addOnly) {
  LazyTreeAssert(endNode != nullptr, "EndNode must not be nil!");
  startNode = VisibleRangeStart(*this, startNode);
  if (startNode == nullptr) return;
  PLazyNode first = startNode, last = endNode;
  if (CompareNodePositions(startNode, endNode) > 0) std::swap(first, last);
  const PLazyNode anchor = rangeAnchor_;
  if (!addOnly) InternalClearSelection();
  const bool lastShown = FullyVisible(last);
  tempNodes_.clear();
  for (PLazyNode n = first; n != nullptr; n = GetNextVisible(n)) {
    if (!lastShown && CompareNodePositions(n, last) > 0) break;
    InternalCacheNode(n);
    if (n == last) break;
  }
  std::vector<PLazyNode> collected;
  collected.swap(tempNodes_);
  AddToSelection(collected.data(), collected.size(), false);
  ClearTempCache();
  if (anchor != nullptr && IsLiveNode(anchor) && anchor->States.Contains(nsSelected))
    rangeAnchor_ = anchor;
}

void TLazyTreeModel::ToggleSelection(PLazyNode startNode, PLazyNode endNode) {
  LazyTreeAssert(endNode != nullptr, "EndNode must not be nil!");
  startNode = VisibleRangeStart(*this, startNode);
  if (startNode == nullptr || startNode == endNode) return;
  PLazyNode first = startNode, last = endNode;
  if (CompareNodePositions(startNode, endNode) > 0) std::swap(first, last);
  const PLazyNode anchor = rangeAnchor_;
  const bool lastShown = FullyVisible(last);
  std::vector<PLazyNode> collected;
  for (PLazyNode n = first; n != nullptr; n = GetNextVisible(n)) {
    if (!lastShown && CompareNodePositions(n, last) > 0) break;
    bool flip = true;
    if (n == first) flip = anchor != nullptr && CompareNodePositions(first, anchor) < 0;
    if (n == last) flip = anchor != nullptr && CompareNodePositions(last, anchor) > 0;
    if (flip) {
      if (n->States.Contains(nsSelected))
        InternalRemoveFromSelection(n);
      else
        collected.push_back(n);
    }
    if (n == last) break;
  }
  PackSelection();
  if (anchor != nullptr && !anchor->States.Contains(nsSelected)) collected.push_back(anchor);
  AddToSelection(collected.data(), collected.size(), false);
}

void TLazyTreeModel::SelectAll(bool visibleOnly) {
  if (!HasOption(toMultiSelect)) return;
  std::vector<PLazyNode> collected;
  PLazyNode n = visibleOnly ? GetFirstVisible() : GetFirst();
  while (n != nullptr) {
    if (!n->States.Contains(nsSelected)) collected.push_back(n);
    n = visibleOnly ? GetNextVisible(n) : GetNext(n);
  }
  AddToSelection(collected.data(), collected.size(), false);
  InvalidateClientRect(nullptr);
}

void TLazyTreeModel::InvertSelection(bool visibleOnly) {
  if (!HasOption(toMultiSelect)) return;
  std::vector<PLazyNode> collected;
  PLazyNode n = visibleOnly ? GetFirstVisibleNoInit() : GetFirstNoInit();
  while (n != nullptr) {
    if (n->States.Contains(nsSelected))
      InternalRemoveFromSelection(n);
    else
      collected.push_back(n);
    n = visibleOnly ? GetNextVisibleNoInit(n) : GetNextNoInit(n);
  }
  PackSelection();
  const bool added = InternalAddToSelection(collected.data(), collected.size(), false);
  InvalidateClientRect(nullptr);
  Change(added && collected.size() == 1 ? collected.front() : nullptr);
}

PLazyNode TLazyTreeModel::GetFirstSelected() { return GetNextSelected(nullptr); }

PLazyNode TLazyTreeModel::GetNextSelected(PLazyNode node) {
  if (SelectedCount() == 0) return nullptr;
  PLazyNode n = node == nullptr || node == root_ ? GetFirstNoInit() : GetNextNoInit(node);
  while (n != nullptr && !n->States.Contains(nsSelected)) n = GetNextNoInit(n);
  if (n != nullptr && !n->States.Contains(nsInitialized)) InitNode(n);
  return n;
}

std::vector<PLazyNode> TLazyTreeModel::GetSortedSelection(bool trimOverlapped) {
  std::vector<PLazyNode> result;
  std::uint32_t remaining = SelectedCount();
  if (remaining == 0) return result;
  result.reserve(remaining);
  PLazyNode n = GetFirstNoInit();
  while (n != nullptr && remaining > 0) {
    if (n->States.Contains(nsSelected)) {
      result.push_back(n);
      --remaining;
      if (trimOverlapped) {
        // Past the subtree: the next sibling of the node or of an ancestor.
        PLazyNode up = n;
        while (up != root_ && up->NextSibling == nullptr) up = up->Parent;
        n = up == root_ ? nullptr : up->NextSibling;
        continue;
      }
    }
    n = GetNextNoInit(n);
  }
  return result;
}

void TLazyTreeModel::DeleteSelectedNodes() {
  if (SelectedCount() == 0 || ReadOnly()) return;
  BeginUpdate();
  struct End {
    TLazyTreeModel& tree;
    ~End() { tree.EndUpdate(); }
  } end{*this};
  std::vector<PLazyNode> nodes = GetSortedSelection(true);
  // Back to front: a run of siblings is renumbered once, by its first node.
  for (std::size_t i = nodes.size() - 1; i > 0; --i)
    DeleteNode(nodes[i], nodes[i]->Parent != nodes[i - 1]->Parent);
  DeleteNode(nodes[0], true);
}

TLazyRect TLazyTreeModel::OrderRect(TLazyRect r) {
  if (r.Left > r.Right) std::swap(r.Left, r.Right);
  if (r.Top > r.Bottom) std::swap(r.Top, r.Bottom);
  return r;
}

void TLazyTreeModel::HandleClickSelection(PLazyNode /*lastFocused*/, PLazyNode newNode, TShiftState keys,
                                          bool dragPending) {
  const bool shift = (keys & ssShift) != 0, ctrl = (keys & ssCtrl) != 0;
  if (ctrl && shift) {
    SelectNodes(rangeAnchor_, newNode, true);
    InvalidateClientRect(nullptr);
  } else if (ctrl) {
    if (!HasOption(toSiblingSelectConstraint)) rangeAnchor_ = newNode;
    if (dragPending)
      DoStateChange({tsToggleFocusPending});
    else if (newNode->States.Contains(nsSelected))
      RemoveFromSelection(newNode);
    else
      AddToSelection(newNode);
  } else if (shift) {
    if (rangeAnchor_ == nullptr) rangeAnchor_ = GetFirst();
    SelectNodes(rangeAnchor_, newNode, false);
    InvalidateClientRect(nullptr);
  } else {
    if (!newNode->States.Contains(nsSelected)) {
      AddToSelection(newNode);
      InvalidateNode(newNode);
    }
    rangeAnchor_ = newNode;
  }
}

// Rubber band: a node changes when its inside-ness differs between the old and
// the new band. `mirrored` measures from the right edge (right-to-left).
static bool CollectBand(TLazyTreeModel& tree, bool mirrored, int left,
                        TLazyRect oldRect, TLazyRect newRect, int alignment, bool ctrl,
                        bool simple, int indentPerLevel, int margin, bool showRoot,
                        const std::function<int(PLazyNode)>& rightLimit,
                        const std::function<int(PLazyNode)>& contentExtra,
                        const std::function<int(PLazyNode)>& nodeWidth,
                        std::vector<PLazyNode>& collected, std::vector<PLazyNode>& removed) {
  oldRect = TLazyTreeModel::OrderRect(oldRect);
  newRect = TLazyTreeModel::OrderRect(newRect);
  const int unionTop = std::min(oldRect.Top, newRect.Top);
  const int unionBottom = std::max(oldRect.Bottom, newRect.Bottom);
  int top = 0;
  PLazyNode node = tree.GetNodeAt(0, std::max(unionTop, 0), false, top);
  bool changed = false;
  for (; node != nullptr && top < unionBottom; node = tree.GetNextVisible(node)) {
    const int height = static_cast<int>(tree.NodeHeight(node));
    const int bottom = top + height;
    const int level = tree.GetNodeLevel(node) + (showRoot ? 1 : 0);
    const int indentation = level * indentPerLevel + margin + contentExtra(node);
    const int right = rightLimit(node);
    int contentLeft = mirrored ? left : left + indentation;
    int contentRight = mirrored ? right - indentation : right;
    auto inside = [&](const TLazyRect& r) {
      if (simple) return r.Top < bottom && r.Bottom > top;
      return r.Right >= contentLeft && r.Left <= contentRight && r.Top < bottom && r.Bottom > top;
    };
    if (!simple) {
      const bool needWidth = alignment != 0 ||
                             (!mirrored && (oldRect.Left > contentLeft || newRect.Left > contentLeft)) ||
                             (mirrored && (oldRect.Right < contentRight || newRect.Right < contentRight));
      if (needWidth) {
        const int width = nodeWidth(node);
        const int space = contentRight - contentLeft;
        if (width < space) {
          if (alignment == 2) {
            contentLeft += (space - width) / 2;
            contentRight = contentLeft + width;
          } else if ((alignment == 1) != mirrored) {
            contentLeft = contentRight - width;
          } else {
            contentRight = contentLeft + width;
          }
        }
      }
    }
    const bool wasInside = inside(oldRect), nowInside = inside(newRect);
    if (wasInside != nowInside) {
      changed = true;
      const bool select = ctrl ? !node->States.Contains(nsSelected) : nowInside;
      if (select)
        collected.push_back(node);
      else
        removed.push_back(node);
    }
    top = bottom;
  }
  return changed;
}

bool TLazyTreeModel::CollectSelectedNodes(bool mirrored, TColumnIndex mainColumn, int left, TLazyRect oldRect,
                                          TLazyRect newRect, int alignment, int right) {
  std::vector<PLazyNode> collected, removed;
  const bool changed = CollectBand(
      *this, mirrored, left, oldRect, newRect, alignment, drawSelectionCtrl_,
      HasOption(toSimpleDrawSelection), static_cast<int>(indent_), margin_, HasOption(toShowRoot),
      [&](PLazyNode n) { return SpannedCellRight(n, mainColumn, right); },
      [&](PLazyNode n) { return ContentImagesWidth(n, mainColumn); },
      [&](PLazyNode n) { return DoGetNodeWidth(n, mainColumn); }, collected, removed);
  for (PLazyNode n : removed) InternalRemoveFromSelection(n);
  for (PLazyNode n : collected) InternalCacheNode(n);
  return changed;
}

bool TLazyTreeModel::CollectSelectedNodesLTR(TColumnIndex mainColumn, int left, TLazyRect oldRect,
                                             TLazyRect newRect, int alignment, int right) {
  return CollectSelectedNodes(false, mainColumn, left, oldRect, newRect, alignment, right);
}

bool TLazyTreeModel::CollectSelectedNodesRTL(TColumnIndex mainColumn, int left, TLazyRect oldRect,
                                             TLazyRect newRect, int alignment, int right) {
  return CollectSelectedNodes(true, mainColumn, left, oldRect, newRect, alignment, right);
}

// ------------------------------------------------------------------- focus --

bool TLazyTreeModel::DoFocusChanging(PLazyNode oldNode, PLazyNode newNode, TColumnIndex oldColumn,
                                     TColumnIndex newColumn) {
  bool allowed = true;
  if (OnFocusChanging) OnFocusChanging(*this, oldNode, newNode, oldColumn, newColumn, allowed);
  return allowed;
}

void TLazyTreeModel::DoFocusChange(PLazyNode node, TColumnIndex column) {
  if (OnFocusChanged) OnFocusChanged(*this, node, column);
}

// Only a running edit is ended first: a click on the focused node's label
// marks its edit pending before it focuses the node, so ending a pending edit
// here would keep every click from editing. A pending edit goes only when the
// focus really moves on, with its timer (else the editor would open later on
// the new focus).
bool TLazyTreeModel::DoFocusNode(PLazyNode node, bool ask) {
  if (states_.Contains(tsEditing) && !DoEndEdit()) return false;
  if (node == root_) node = nullptr;
  if (node != focusedNode_) {
    const bool allowed = !ask || DoFocusChanging(focusedNode_, node, focusedColumn_, focusedColumn_);
    if (allowed) {
      if (states_.Contains(tsEditPending)) {
        StopTimer(kEditTimer);
        DoStateChange({}, {tsEditPending});
      }
      PLazyNode old = focusedNode_;
      if (HasOption(toAutoExpand) && old != nullptr && node != nullptr && node->Parent == old->Parent &&
          old->States.Contains(nsExpanded))
        ToggleNode(old);
      else if (old != nullptr)
        InvalidateNode(old);
      focusedNode_ = node;
    }
  }
  if (focusedNode_ != nullptr) {
    if (HeaderUsesColumns() && focusedColumn_ < 0) focusedColumn_ = 0;
    // Toggled whatever its flags say: a node not reached before learns from
    // its initialisation whether it has children.
    if (HasOption(toAutoExpand) && !focusedNode_->States.Contains(nsExpanded)) ToggleNode(focusedNode_);
    InvalidateNode(focusedNode_);
    if (updateCount_ == 0)
      ScrollIntoView(focusedNode_, HasOption(toCenterScrollIntoView) && !MouseButtonHeld(),
                     !HasOption(toDisableAutoscrollOnFocus));
  }
  if (SelectedCount() == 0) ResetRangeAnchor();
  return focusedNode_ == node;
}

void TLazyTreeModel::SetFocusedNode(PLazyNode node) {
  if (node == root_) node = nullptr;
  PLazyNode old = focusedNode_;
  if (DoFocusNode(node, true) && focusedNode_ != old) DoFocusChange(focusedNode_, focusedColumn_);
}

void TLazyTreeModel::SetFocusedNodeAndColumn(PLazyNode node, TColumnIndex column) {
  if (node == root_) node = nullptr;
  const TColumnIndex oldColumn = focusedColumn_;
  focusedColumn_ = column;
  SetFocusedNode(node);
  if (focusedNode_ != node)
    focusedColumn_ = oldColumn;
  else if (states_.Contains(tsEditPending)) {
    // Its timer goes too: when it fired it would open the editor on the new focus.
    StopTimer(kEditTimer);
    DoStateChange({}, {tsEditPending});
  }
}

}  // namespace kv

// ------------------------------------------------------------ rubber band --

namespace kv {

void TLazyTreeModel::BeginDrawSelection(int x, int y, bool ctrl) {
  drawSelectionCtrl_ = ctrl;
  const TLazyRect at{x - offsetX_, y - offsetY_, x - offsetX_, y - offsetY_};
  newSelectionRect_ = oldSelectionRect_ = at;
  DoStateChange({tsDrawSelecting}, {tsDrawSelPending});
}

void TLazyTreeModel::EndDrawSelection() {
  DoStateChange({}, {tsDrawSelecting, tsDrawSelPending});
  newSelectionRect_ = oldSelectionRect_ = TLazyRect{};
}

bool TLazyTreeModel::IsMouseSelecting() const {
  return states_.Contains(tsDrawSelPending) || states_.Contains(tsDrawSelecting);
}

// The band's moving corner follows the mouse in tree coordinates, kept
// inside the tree's area.
bool TLazyTreeModel::CalculateSelectionRect(int x, int y) {
  if (!states_.Contains(tsDrawSelecting)) return false;
  oldSelectionRect_ = newSelectionRect_;
  const TLazyRect area = GetTreeRect();
  newSelectionRect_.Right = std::clamp(x - offsetX_, 0, area.Right);
  newSelectionRect_.Bottom = std::clamp(y - offsetY_, 0, area.Bottom);
  return !(newSelectionRect_ == oldSelectionRect_);
}

bool TLazyTreeModel::HandleDrawSelection() {
  if (RootNode()->TotalCount <= 1 || !states_.Contains(tsDrawSelecting)) return false;
  const TLazyRect oldRect = OrderRect(oldSelectionRect_), newRect = OrderRect(newSelectionRect_);
  tempNodes_.clear();
  // Within the main column, placed and read as it is painted; without columns
  // the client width, placed and read as the tree's own alignment and reading
  // order paint it.
  const TColumnIndex mainColumn = HeaderMainColumn();
  int left = 0, right = viewWidth_;
  HeaderColumnBounds(mainColumn, left, right);
  bool rightToLeft = false;
  const int alignment = HeaderColumnAlignment(mainColumn, rightToLeft);
  const bool changed = rightToLeft ? CollectSelectedNodesRTL(mainColumn, left, oldRect, newRect, alignment, right)
                                   : CollectSelectedNodesLTR(mainColumn, left, oldRect, newRect, alignment, right);
  if (changed) {
    PackSelection();
    std::vector<PLazyNode> collected;
    collected.swap(tempNodes_);
    InternalAddToSelection(collected.data(), collected.size(), false);
    Change(nullptr);
  }
  ClearTempCache();
  return changed;
}

}  // namespace kv
