// Expanding and collapsing, update locking, offsets, scrolling a node into
// view, and the geometry of rows (node at a position, display rectangles,
// invalidation).

#include <algorithm>
#include <cstdint>
#include <chrono>
#include <vector>

#include "treeview/lazy_tree_model.h"
#include "treeview/subtree_walk.h"

namespace kv {

// --------------------------------------------------------- expand, collapse --

bool TLazyTreeModel::Expanded(PLazyNode node) const {
  return node != nullptr && node->States.Contains(nsExpanded);
}

void TLazyTreeModel::SetExpanded(PLazyNode node, bool value) {
  if (node == nullptr || node == root_ || node->States.Contains(nsExpanded) == value) return;
  ToggleNode(node);
}

bool TLazyTreeModel::DoExpanding(PLazyNode node) {
  bool allowed = true;
  if (OnExpanding) OnExpanding(*this, node, allowed);
  return allowed;
}

void TLazyTreeModel::DoExpanded(PLazyNode node) {
  if (OnExpanded) OnExpanded(*this, node);
}

bool TLazyTreeModel::DoCollapsing(PLazyNode node) {
  bool allowed = true;
  if (OnCollapsing) OnCollapsing(*this, node, allowed);
  return allowed;
}

void TLazyTreeModel::DoCollapsed(PLazyNode node) {
  if (OnCollapsed) OnCollapsed(*this, node);
}

void TLazyTreeModel::DoScroll(int deltaX, int deltaY) {
  if (OnScroll) OnScroll(*this, deltaX, deltaY);
}

void TLazyTreeModel::DoUpdating(TLTUpdateState state) {
  if (OnUpdating) OnUpdating(*this, state);
}

void TLazyTreeModel::ToggleNode(PLazyNode node) {
  LazyTreeAssert(node != nullptr, "Node must not be nil.");
  if (node->States.Contains(nsBeingDeleted) || node == root_) return;
  PLazyNode oldTop = updateCount_ == 0 ? TopNode() : nullptr;
  bool changed = false;
  // The nodes shown change: the widest among them may be another one.
  if (!nodeExtents_.empty()) rangeXDue_ = true;
  if (node->States.Contains(nsExpanded)) {
    if (!DoCollapsing(node)) return;
    InterruptValidation();
    // A node inside a collapsed parent has no row: nothing on screen slides.
    if (updateCount_ == 0 && HasOption(toAnimatedToggle) && !states_.Contains(tsCollapsing) &&
        FullyVisible(node)) {
      const std::int64_t bottom = std::int64_t{NodeTopByWalk(node)} + offsetY_ + node->NodeHeight;
      CancelHint();
      UpdateWindowNow();
      const std::int64_t below = std::int64_t{node->TotalHeight} - node->NodeHeight;
      const std::int64_t room = std::int64_t{viewHeight_} - bottom + 1;
      const std::int64_t steps = std::min(below, room);
      if (steps > 0) AnimateToggle(static_cast<int>(std::max<std::int64_t>(bottom, INT32_MIN)), false,
                                   static_cast<int>(steps));
    }
    if (FullyVisible(node)) visibleCount_ -= CountVisibleChildren(node);
    AdjustTotalHeight(node, node->NodeHeight, false);
    node->States.Exclude(nsExpanded);
    changed = true;
    // The shape changed: a new generation, so that the screen anchor and any
    // build of the old shape are not used by the owner's event.
    InvalidateCache();
    DoCollapsed(node);
    if (HasOption(toAutoFreeOnCollapse) && node->ChildCount > 0) {
      DeleteChildren(node, false);
      node->States.Include(nsHasChildren);
    }
  } else {
    if (!DoExpanding(node)) return;
    if (!node->States.Contains(nsInitialized)) InitNode(node);
    if (node->States.Contains(nsHasChildren) && node->ChildCount == 0) InitChildren(node);
    // Initialising may have expanded the node already (nisExpanded).
    if (node->ChildCount > 0 && !node->States.Contains(nsExpanded)) {
      InterruptValidation();
      std::uint64_t added = 0;
      for (PLazyNode c = node->FirstChild; c != nullptr; c = c->NextSibling)
        if (c->States.Contains(nsVisible)) added += c->TotalHeight;
      if (updateCount_ == 0 && HasOption(toAnimatedToggle) && !states_.Contains(tsExpanding) &&
          !states_.Contains(tsPainting) && GetNextVisibleNoInit(node) != nullptr) {
        TLazyRect row;
        // A node whose top shows takes the hint away; the rows below slide
        // only when its bottom shows too.
        if (RowOnScreen(node, row) && row.Top >= 0) {
          CancelHint();
          UpdateWindowNow();
          if (row.Bottom <= viewHeight_) {
            const std::int64_t room = std::int64_t{viewHeight_} - row.Bottom + 1;
            const std::int64_t steps = std::min<std::int64_t>(room, static_cast<std::int64_t>(added));
            if (steps > 0) AnimateToggle(row.Bottom, true, static_cast<int>(steps));
          }
        }
      }
      node->States.Include(nsExpanded);
      AdjustTotalHeight(node, static_cast<std::int64_t>(added), true);
      if (FullyVisible(node)) visibleCount_ += CountVisibleChildren(node);
      changed = true;
      InvalidateCache();
      DoExpanded(node);
    }
  }
  if (!changed) return;
  InvalidateCache();
  if (updateCount_ > 0) return;
  ValidateCache();
  if (node->ChildCount == 0) {
    InvalidateNode(node);
    return;
  }
  UpdateScrollBars(true);
  if (HasOption(toAutoScrollOnExpand) && node->States.Contains(nsExpanded)) {
    if (node->TotalHeight <= static_cast<std::uint32_t>(std::max(viewHeight_, 0)))
      ScrollIntoView(GetLastChild(node), HasOption(toCenterScrollIntoView), false);
    else
      SetTopNode(node);
  }
  if (TopNode() == oldTop)
    InvalidateToBottom(node);
  else
    InvalidateClientRect(nullptr);
}

void TLazyTreeModel::SetAnimationDuration(unsigned ms) {
  animationDuration_ = ms;
  const std::uint32_t options = options_->AnimationOptions();
  options_->SetAnimationOptions(ms > 0 ? options | toAnimatedToggle : options & ~toAnimatedToggle);
}

void TLazyTreeModel::FullExpand(PLazyNode node) {
  if (RootNode()->ChildCount == 0 && !root_->States.Contains(nsHasChildren)) return;
  if (node == root_) node = nullptr;
  // Everything up to the node after the subtree.
  PLazyNode stop = nullptr;
  if (node != nullptr) {
    for (PLazyNode n = node; n != root_ && stop == nullptr; n = n->Parent) stop = n->NextSibling;
  }
  DoStateChange({tsExpanding});
  BeginUpdate();
  struct End {
    TLazyTreeModel& tree;
    ~End() {
      tree.EndUpdate();
      tree.DoStateChange({}, {tsExpanding});
    }
  } end{*this};
  // Every node not expanded is toggled, so OnExpanding is asked for each;
  // ToggleNode opens only those that turn out to have children.
  for (PLazyNode n = node != nullptr ? node : GetFirst(); n != nullptr && n != stop; n = GetNext(n)) {
    if (!n->States.Contains(nsExpanded)) ToggleNode(n);
  }
}

void TLazyTreeModel::FullCollapse(PLazyNode node) {
  if (RootNode()->ChildCount == 0) return;
  if (node == root_) node = nullptr;
  DoStateChange({tsCollapsing});
  BeginUpdate();
  struct End {
    TLazyTreeModel& tree;
    ~End() {
      tree.EndUpdate();
      tree.DoStateChange({}, {tsCollapsing});
    }
  } end{*this};
  // From the last visible node of the subtree back to the given node (no
  // initialising): nodes after the last visible one (hidden ones, or the
  // children of a collapsed last node) keep their state.
  PLazyNode n = GetLastVisibleNoInit(node);
  if (n == nullptr) n = node;
  while (n != nullptr) {
    PLazyNode previous = n == node ? nullptr : GetPreviousNoInit(n);
    if (n->States.Contains(nsExpanded) && n->States.Contains(nsHasChildren)) ToggleNode(n);
    n = previous;
  }
}

// ---------------------------------------------------------- update locking --

void TLazyTreeModel::BeginUpdate() {
  if (Destroying()) return;
  if (updateCount_ == 0) {
    DoUpdating(TLTUpdateState::usBegin);
    SetUpdateState(true);
  } else {
    DoUpdating(TLTUpdateState::usUpdate);
  }
  ++updateCount_;
  DoStateChange({tsUpdating});
}

void TLazyTreeModel::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  if (Destroying()) return;
  if (updateCount_ == 0 && states_.Contains(tsUpdating)) {
    if (states_.Contains(tsHiddenChildrenDue)) {
      DetermineHiddenChildrenFlagAllNodes();
      DoStateChange({}, {tsHiddenChildrenDue});
    }
    DoStateChange({}, {tsUpdating});
    PackSelection();
    ValidateCache();
    UpdateScrollBars(false);
    if (states_.Contains(tsStructureChangePending))
      DoStructureChange(lastStructureChangeNode_, lastStructureChangeReason_);
    if (states_.Contains(tsChangePending)) DoChange(lastChangedNode_);
    if (HasOption(toAutoSort)) SortTree(HeaderSortColumn(), HeaderSortDirection(), true);
    SetUpdateState(false);
    if (HasWindow()) InvalidateClientRect(nullptr);
  }
  DoUpdating(updateCount_ > 0 ? TLTUpdateState::usUpdate : TLTUpdateState::usEnd);
}

// ----------------------------------------------------------------- offsets --

bool TLazyTreeModel::DoSetOffsetXY(int x, int y, unsigned options, const TLazyRect* clip) {
  const std::int64_t minX = std::min<std::int64_t>(0, std::int64_t{viewWidth_} - rangeX_);
  const std::int64_t minY = std::min<std::int64_t>(0, std::int64_t{viewHeight_} - rangeY_);
  const int newX = static_cast<int>(std::clamp<std::int64_t>(x, minX, 0));
  const int newY = static_cast<int>(std::clamp<std::int64_t>(y, minY, 0));
  const int dx = newX - offsetX_, dy = newY - offsetY_;
  if (dx == 0 && dy == 0) return false;
  offsetX_ = newX;
  offsetY_ = newY;
  if (updateCount_ == 0) {
    // A drag image drawn on the screen would be carried along by the scroll.
    const bool imageHidden = HideOwnDragImage();
    if (options & kSoScrollClient) ScrollClient(dx, dy, clip);
    if (options & kSoUpdateScrollBars) {
      const bool repaint = (options & kSoRepaintScrollBars) != 0;
      if (dx != 0) {
        if (options & kSoInvalidateHeader) InvalidateHeader();
        if (!states_.Contains(tsSizing)) ApplyScrollBars(repaint, false, true);
      }
      // A dragged vertical thumb places itself; the horizontal bar follows
      // a vertical move too when the rows alone set its range.
      if (dy != 0 && !states_.Contains(tsSizing) && !states_.Contains(tsThumbTracking))
        ApplyScrollBars(repaint, true, !HeaderUsesColumns() && !IsMouseSelecting());
    }
    if (imageHidden) ShowOwnDragImage();
  }
  OffsetsMoved();
  DoScroll(dx, dy);
  return true;
}

void TLazyTreeModel::SetOffsetX(int x) {
  DoSetOffsetXY(x, offsetY_, kSoAllScrollOptions);
}

void TLazyTreeModel::SetOffsetY(int y) {
  DoSetOffsetXY(offsetX_, y, kSoAllScrollOptions);
}

// With columns the range is the columns' width, whatever the rows hold.
void TLazyTreeModel::NoteNodeExtent(PLazyNode node, std::uint32_t right) {
  if (HeaderUsesColumns() || node == nullptr || node == root_) return;
  std::uint32_t& noted = nodeExtents_[node];
  if (right < noted && noted >= rangeX_) rangeXDue_ = true;
  noted = right;
  rangeX_ = std::max(rangeX_, right);
}

void TLazyTreeModel::UpdateVerticalRange() {
  PLazyNode root = RootNode();
  if (root->TotalHeight < defaultNodeHeight_) root->TotalHeight = defaultNodeHeight_;
  rangeY_ = root->TotalHeight - root->NodeHeight;
}

void TLazyTreeModel::UpdateVerticalScrollBar(bool doRepaint) {
  UpdateVerticalRange();
  ApplyScrollBars(doRepaint, true, false);
  // The offset follows the bar: a range that shrank pulls it back.
  SetOffsetY(offsetY_);
}

void TLazyTreeModel::UpdateHorizontalScrollBar(bool doRepaint) {
  const int oldX = offsetX_;
  bool recomputed = false;
  if (HeaderUsesColumns()) {
    rangeX_ = static_cast<std::uint32_t>(std::max(HeaderColumnsWidth(), 0));
  } else if (rangeXDue_) {
    rangeX_ = 0;
    for (const auto& [node, right] : nodeExtents_)
      if (right > rangeX_ && FullyVisible(node)) rangeX_ = right;
    rangeXDue_ = false;
    recomputed = true;
  }
  ApplyScrollBars(doRepaint, false, true);
  SetOffsetX(offsetX_);
  // A narrower range may pull the rows back into view: they all move.
  if (recomputed && offsetX_ != oldX && HasWindow()) InvalidateClientRect(nullptr);
}

void TLazyTreeModel::UpdateScrollBars(bool doRepaint) {
  UpdateVerticalScrollBar(doRepaint);
  UpdateHorizontalScrollBar(doRepaint);
}

void TLazyTreeModel::SetViewSize(int width, int height) {
  viewWidth_ = std::max(width, 0);
  viewHeight_ = std::max(height, 0);
  UpdateVerticalRange();
  DoSetOffsetXY(offsetX_, offsetY_, 0);
}

PLazyNode TLazyTreeModel::TopNode() {
  int top = 0;
  return GetNodeAt(0, 0, true, top);
}

// The collapsed ancestors of `node`, expanded from the top down.
static void ExpandAncestors(TLazyTreeModel& tree, PLazyNode node) {
  std::vector<PLazyNode> collapsed;
  for (PLazyNode p = node->Parent; p != tree.RootNode(); p = p->Parent)
    if (!p->States.Contains(nsExpanded)) collapsed.push_back(p);
  for (auto it = collapsed.rbegin(); it != collapsed.rend(); ++it) tree.ToggleNode(*it);
}

void TLazyTreeModel::SetTopNode(PLazyNode node) {
  if (node == nullptr || node == root_) return;
  ExpandAncestors(*this, node);
  SetOffsetY(-static_cast<int>(NodeTopByWalk(node)));
}

bool TLazyTreeModel::ScrollIntoView(PLazyNode node, bool center, bool horizontally) {
  if (node == nullptr || node == root_) return false;
  ExpandAncestors(*this, node);
  const TLazyRect r = GetDisplayRect(node, HeaderUsesColumns() ? focusedColumn_ : kNoColumn, false);
  if (r.Empty() && r.Top == 0 && r.Bottom == 0) return false;
  bool scrolled = false;
  if (r.Top >= 0) {
    if (r.Bottom > viewHeight_ || center) {
      // The bar about to appear takes the bottom of the client.
      SetOffsetY(offsetY_ + (center ? viewHeight_ / 2 : viewHeight_) - r.Bottom - HorizontalBarDueHeight());
      scrolled = true;
    }
  } else {
    SetOffsetY(offsetY_ - r.Top + (center ? viewHeight_ / 2 : 0));
    scrolled = true;
  }
  // Without columns the row is as wide as the widest row: the node's own
  // content decides whether and where to scroll sideways.
  const TLazyRect h = horizontally && !HeaderUsesColumns() ? GetDisplayRect(node, kNoColumn, true, true) : r;
  if (horizontally && (h.Left < 0 || h.Right > viewWidth_)) {
    SetOffsetX(offsetX_ + viewWidth_ / 2 - (h.Left + h.Right) / 2);
    scrolled = true;
  }
  return scrolled;
}

// ---------------------------------------------------------------- geometry --

PLazyNode TLazyTreeModel::GetNodeAt(int x, int y) {
  int top = 0;
  return GetNodeAt(x, y, true, top);
}

// Descends by total heights: a subtree that ends above the position is
// skipped whole, so the walk costs the siblings passed on each level (from the
// nearest cache entry when the cache is in use).
PLazyNode TLazyTreeModel::GetNodeAt(int /*x*/, int y, bool relative, int& nodeTop) {
  nodeTop = 0;
  y = std::max(y, 0);
  const std::int64_t position = relative ? std::int64_t{y} - offsetY_ : y;
  std::uint32_t top = 0;
  PLazyNode n = nullptr;
  if (states_.Contains(tsUseCache)) n = FindInPositionCache(static_cast<std::uint32_t>(position), top);
  if (n == nullptr) {
    n = GetFirstVisibleNoInit();
    top = 0;
  }
  while (n != nullptr) {
    CountWalk();
    if (top + std::int64_t{n->TotalHeight} > position) {
      PLazyNode child = n->States.Contains(nsExpanded) ? GetFirstVisibleChildNoInit(n) : nullptr;
      if (top + std::int64_t{n->NodeHeight} > position || child == nullptr) break;
      top += n->NodeHeight;
      n = child;
    } else {
      top += n->TotalHeight;
      PLazyNode next = nullptr;
      for (PLazyNode up = n; up != root_ && next == nullptr; up = up->Parent) {
        for (PLazyNode s = up->NextSibling; s != nullptr; s = s->NextSibling)
          if (s->States.Contains(nsVisible)) {
            next = s;
            break;
          }
      }
      n = next;
    }
  }
  if (n == nullptr) return nullptr;
  nodeTop = static_cast<int>(relative ? std::int64_t{top} + offsetY_ : top);
  return n;
}

// The top of a fully visible node in the whole tree: from the cache when in
// use, else summed level by level (own ancestors' rows plus the totals of the
// visible siblings before each).
std::uint32_t TLazyTreeModel::NodeTopByWalk(PLazyNode node) {
  if (states_.Contains(tsUseCache)) {
    std::uint32_t top = 0;
    PLazyNode n = FindInPositionCache(node, top);
    if (n != nullptr) {
      while (n != nullptr && n != node) {
        CountWalk();
        top += n->NodeHeight;
        n = GetNextVisibleNoInit(n);
      }
      if (n == node) return top;
    }
  }
  std::uint64_t top = 0;
  for (PLazyNode n = node; n != root_; n = n->Parent) {
    for (PLazyNode s = n->PrevSibling; s != nullptr; s = s->PrevSibling) {
      CountWalk();
      if (s->States.Contains(nsVisible)) top += s->TotalHeight;
    }
    if (n->Parent != root_) top += n->Parent->NodeHeight;
  }
  return static_cast<std::uint32_t>(top);
}

bool TLazyTreeModel::TopOnScreen(PLazyNode& node, std::uint32_t& top) {
  const std::uint64_t generation = cacheGeneration_.load(std::memory_order_relaxed);
  if (screenAnchor_.generation != generation || screenAnchor_.offsetY != offsetY_) {
    int relativeTop = 0;
    PLazyNode n = GetNodeAt(0, 0, true, relativeTop);
    screenAnchor_ = {n, static_cast<std::uint32_t>(std::int64_t{relativeTop} - offsetY_), generation,
                     offsetY_};
  }
  node = screenAnchor_.node;
  top = screenAnchor_.top;
  return node != nullptr;
}

bool TLazyTreeModel::RowOnScreen(PLazyNode node, TLazyRect& row) {
  if (node == nullptr || node == root_ || !FullyVisible(node)) return false;
  PLazyNode n = nullptr;
  std::uint32_t top = 0;
  if (!TopOnScreen(n, top)) return false;
  const std::int64_t bottom = std::int64_t{-offsetY_} + viewHeight_;
  for (; n != nullptr && top < bottom; n = GetNextVisibleNoInit(n)) {
    CountWalk();
    if (n == node) {
      const int width = std::max<int>(viewWidth_, static_cast<int>(rangeX_));
      row = {offsetX_, static_cast<int>(top + std::int64_t{offsetY_}), offsetX_ + width,
             static_cast<int>(top + std::int64_t{node->NodeHeight} + offsetY_)};
      return true;
    }
    top += n->NodeHeight;
  }
  return false;
}

TLazyRect TLazyTreeModel::GetDisplayRect(PLazyNode node, TColumnIndex column, bool textOnly,
                                         bool unclipped) {
  LazyTreeAssert(node != nullptr, "Node must not be nil.");
  LazyTreeAssert(node != root_, "Node must not be the hidden root node.");
  if (!node->States.Contains(nsInitialized)) InitNode(node);
  if (!FullyVisible(node)) return {};
  TLazyRect r;
  if (!RowOnScreen(node, r)) {
    const std::int64_t top = std::int64_t{NodeTopByWalk(node)} + offsetY_;
    const int width = std::max<int>(viewWidth_, static_cast<int>(rangeX_));
    r = {offsetX_, static_cast<int>(top), offsetX_ + width,
         static_cast<int>(top + node->NodeHeight)};
  }
  // A column's cell, in client coordinates like the whole row; its last
  // pixel belongs to the vertical grid line.
  if (int left = 0, right = 0; column >= 0 && HeaderColumnBounds(column, left, right)) {
    r.Left = left + offsetX_;
    r.Right = right - 1 + offsetX_;
  }
  if (textOnly) {
    int indentation = 0;
    if (column == HeaderMainColumn()) {
      indentation = GetNodeLevel(node) * static_cast<int>(indent_);
      if (HasOption(toShowRoot)) indentation += static_cast<int>(indent_);
    }
    PlaceText(r, node, column, margin_ + indentation + ContentImagesWidth(node, column), unclipped);
  }
  return r;
}

// The text's part of a cell: `inset` in from the reading edge, then the
// node's width placed by the alignment (mirrored for right-to-left reading,
// as painted). Clipped, text wider than the room keeps the whole room;
// unclipped it is as wide as the text and starts at the reading edge.
void TLazyTreeModel::PlaceText(TLazyRect& r, PLazyNode node, TColumnIndex column, int inset, bool unclipped) {
  bool rightToLeft = false;
  int alignment = HeaderColumnAlignment(column, rightToLeft);
  if (rightToLeft && alignment != 2) alignment = alignment == 0 ? 1 : 0;
  if (rightToLeft)
    r.Right -= inset;
  else
    r.Left += inset;
  const int width = DoGetNodeWidth(node, column);
  const int room = r.Right - r.Left;
  if (width > room) {
    if (!unclipped) return;
    alignment = rightToLeft ? 1 : 0;
  } else if (width == room) {
    return;
  }
  switch (alignment) {
    case 1: r.Left = r.Right - width; break;
    case 2:
      r.Left += (room - width) / 2;
      r.Right = r.Left + width;
      break;
    default: r.Right = r.Left + width;
  }
}

TLazyRect TLazyTreeModel::GetTreeRect() const {
  return {0, 0, std::max<int>(viewWidth_, static_cast<int>(rangeX_)),
          std::max<int>(viewHeight_, static_cast<int>(rangeY_))};
}

TLazyRect TLazyTreeModel::InvalidateNode(PLazyNode node) {
  TLazyRect row;
  if (updateCount_ > 0 || !RowOnScreen(node, row)) return {};
  InvalidateClientRect(&row);
  return row;
}

void TLazyTreeModel::InvalidateToBottom(PLazyNode node) {
  if (updateCount_ > 0) return;
  if (node == nullptr || node == root_) {
    InvalidateClientRect(nullptr);
    return;
  }
  if (!node->States.Contains(nsInitialized) || !node->States.Contains(nsVisible)) return;
  // A node inside a collapsed ancestor changes what that ancestor shows.
  while (node != root_ && !FullyVisible(node)) node = node->Parent;
  if (node == root_) return;
  TLazyRect row;
  if (RowOnScreen(node, row)) {
    TLazyRect area{0, row.Top, viewWidth_, viewHeight_};
    InvalidateClientRect(&area);
    return;
  }
  // Off screen: above the top everything shown moves, below nothing does.
  PLazyNode top = nullptr;
  std::uint32_t topPosition = 0;
  if (TopOnScreen(top, topPosition) && CompareNodePositions(node, top) < 0)
    InvalidateClientRect(nullptr);
}

void TLazyTreeModel::InvalidateChildren(PLazyNode node, bool recursive) {
  if (node == nullptr) node = RootNode();
  WalkBelow(node, [this, recursive](PLazyNode n) {
    InvalidateNode(n);
    return recursive;
  });
}

void TLazyTreeModel::RepaintNode(PLazyNode node) {
  TLazyRect row;
  if (node != nullptr && node != root_ && RowOnScreen(node, row)) RedrawRectNow(row);
}

// ----------------------------------------------------------------- options --

void TLazyTreeModel::OptionsChanged(TLTOptionSet which, std::uint32_t oldValue,
                                    std::uint32_t newValue) {
  if (which != TLTOptionSet::Selection || Destroying()) return;
  const std::uint32_t changed = oldValue ^ newValue;
  const std::uint32_t newlySet = changed & newValue;
  if ((changed & toMultiSelect) || (newlySet & (toLevelSelectConstraint | toSiblingSelectConstraint)))
    ClearSelection();
  if ((changed & toExtendedFocus) && !(newValue & toExtendedFocus) && focusedColumn_ > 0 &&
      HasWindow()) {
    focusedColumn_ = HeaderMainColumn();
    InvalidateClientRect(nullptr);
  }
  if (!(newValue & toExtendedFocus) && HeaderUsesColumns()) focusedColumn_ = HeaderMainColumn();
}

}  // namespace kv

// ------------------------------------------------------------ auto-scroll --

namespace kv {

std::uint64_t TLazyTreeModel::TickCount() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

bool TLazyTreeModel::CanAutoScroll() const {
  const bool panning = states_.Contains(tsPanningHeld) || states_.Contains(tsPanningSticky);
  if (!HasOption(toAutoScroll) && !panning) return false;
  return IsMouseSelecting() || IsDropTarget() || states_.Contains(tsControlDragging) || panning;
}

unsigned TLazyTreeModel::DetermineScrollDirections(int x, int y) {
  unsigned directions = 0;
  if (CanAutoScroll()) {
    if (states_.Contains(tsPanningHeld) || states_.Contains(tsPanningSticky)) {
      if (x < panningX_ - kPanningDeadZone) directions |= 1;
      if (x > panningX_ + kPanningDeadZone) directions |= 4;
      if (y < panningY_ - kPanningDeadZone) directions |= 2;
      if (y > panningY_ + kPanningDeadZone) directions |= 8;
    } else {
      const int zone = static_cast<int>(defaultNodeHeight_);
      if (x < zone && offsetX_ != 0) directions |= 1;
      if (std::int64_t{viewWidth_} - offsetX_ < rangeX_ && x > viewWidth_ - zone) directions |= 4;
      if (y < zone && offsetY_ != 0) directions |= 2;
      if (std::int64_t{viewHeight_} - offsetY_ < rangeY_ && y > viewHeight_ - zone) directions |= 8;
      if (directions != 0 && !IsDropTarget() && !PointOverTree(x, y)) directions = 0;
    }
  }
  if (directions == 0) {
    scrollEdgeNoted_ = false;
    return 0;
  }
  const std::uint64_t now = TickCount();
  if (!scrollEdgeNoted_) {
    scrollEdgeNoted_ = true;
    scrollEdgeSince_ = now;
  }
  return now - scrollEdgeSince_ < autoScrollDelay_ ? 0 : directions;
}

void TLazyTreeModel::DoAutoScroll(int x, int y) {
  scrollDirections_ = DetermineScrollDirections(x, y);
  if (states_.Contains(tsPanningHeld) || states_.Contains(tsPanningSticky)) return;
  const bool scrolling = states_.Contains(tsScrollPending) || states_.Contains(tsScrolling);
  if (scrollDirections_ != 0 && !scrolling) {
    DoStateChange({tsScrollPending});
    StartTimer(kScrollTimer, autoScrollDelay_);
  } else if (scrollDirections_ == 0 && scrolling) {
    StopTimer(kScrollTimer);
    DoStateChange({}, {tsScrollPending, tsScrolling});
  }
}

}  // namespace kv
