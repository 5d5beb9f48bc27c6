// Check controls of the window-free tree: asking, applying and propagating a
// state change, radio groups, the next state of a click, and the image index.

#include "base/scope_guard.h"
#include "treeview/lazy_tree_model.h"

namespace kv {

namespace {

void EnsureInitialized(TLazyTreeModel& tree, PLazyNode node) {
  if (!node->States.Contains(nsInitialized)) tree.InitNode(node);
}

}  // namespace

void TLazyTreeModel::SetCheckState(PLazyNode node, TCheckState value) {
  if (node == nullptr || node == root_) return;
  if (node->CheckState == value || node->States.Contains(nsDisabled)) return;
  if (DoChecking(node, value)) DoCheckClick(node, value);
}

void TLazyTreeModel::WriteCheckState(PLazyNode node, TCheckState value) {
  if (node == nullptr || node == root_ || node->CheckState == value) return;
  node->CheckState = value;
  InvalidateNode(node);
}

bool TLazyTreeModel::DoChecking(PLazyNode node, TCheckState& newState) {
  if (ReadOnly()) return false;
  bool allowed = true;
  if (OnChecking) OnChecking(*this, node, newState, allowed);
  return allowed;
}

void TLazyTreeModel::DoCheckClick(PLazyNode node, TCheckState newState) {
  if (ChangeCheckState(node, newState)) DoChecked(node);
}

void TLazyTreeModel::DoChecked(PLazyNode node) {
  if (OnChecked) OnChecked(*this, node);
}

bool TLazyTreeModel::ChangeCheckState(PLazyNode node, TCheckState newState) {
  if (node == nullptr || node == root_ || node->States.Contains(nsCheckChanging)) return false;
  node->States.Include(nsCheckChanging);
  bool propagating = false;
  ScopeGuard leave([&] {
    node->States.Exclude(nsCheckChanging);
    if (propagating && --checkPropagationDepth_ == 0) DoStateChange({}, {tsCheckPropagation});
  });
  // The node is initialised before the propagation starts.
  EnsureInitialized(*this, node);
  if (checkPropagationDepth_++ == 0) DoStateChange({tsCheckPropagation});
  propagating = true;

  const bool tracking = HasOption(toAutoTristateTracking);
  // Downward: the children follow a checked or unchecked tri-state box, each
  // through its own events; the box then shows what they ended in. Children
  // not yet initialised have no box yet and are not initialised here: they
  // take the parent's state when their initialisation gives them a box.
  if (node->CheckType == ctTriStateCheckBox && tracking &&
      (newState == csCheckedNormal || newState == csUncheckedNormal) && node->ChildCount > 0) {
    bool anyChecked = false, anyUnchecked = false, anyMixed = false;
    for (PLazyNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
      if (!TracksCheckState(child->CheckType)) continue;
      SetCheckState(child, newState);
      if (IsMixedState(child->CheckState)) anyMixed = true;
      else if (IsCheckedState(child->CheckState)) anyChecked = true;
      else anyUnchecked = true;
    }
    if (anyMixed) newState = csMixedNormal;
    else if (anyChecked) newState = anyUnchecked ? csMixedNormal : csCheckedNormal;
  }

  // Radio group: the siblings are cleared directly, without events.
  if (node->CheckType == ctRadioButton && newState == csCheckedNormal) {
    for (PLazyNode sibling = node->Parent->FirstChild; sibling != nullptr;
         sibling = sibling->NextSibling) {
      if (sibling->CheckType == ctRadioButton) sibling->CheckState = csUncheckedNormal;
    }
    InvalidateClientRect(nullptr);
  }

  node->CheckState = newState;

  bool result = true;
  PLazyNode parent = node->Parent;
  if (parent != root_) {
    EnsureInitialized(*this, parent);
    if (tracking && !parent->States.Contains(nsCheckChanging) &&
        !parent->States.Contains(nsDisabled) && TracksCheckState(node->CheckType) &&
        parent->CheckType == ctTriStateCheckBox) {
      result = CheckParentCheckState(node, newState);
    }
  }
  InvalidateNode(node);
  return result;
}

bool TLazyTreeModel::CheckParentCheckState(PLazyNode node, TCheckState newState) {
  PLazyNode parent = node->Parent;
  if (parent == nullptr || parent == root_) return true;
  std::uint32_t count = 0, checked = 0;
  bool mixed = false;
  for (PLazyNode child = parent->FirstChild; child != nullptr; child = child->NextSibling) {
    if (!TracksCheckState(child->CheckType)) continue;
    const std::uint8_t state = child == node ? static_cast<std::uint8_t>(newState) : child->CheckState;
    ++count;
    if (IsCheckedState(state)) ++checked;
    if (state == csMixedNormal) mixed = true;
  }
  TCheckState parentState = csCheckedNormal;
  if (checked == 0 && !mixed) parentState = csUncheckedNormal;
  else if (checked < count) parentState = csMixedNormal;

  if (!DoChecking(parent, parentState)) return false;
  // The parent's own change carries the step further up, once per level:
  // every ancestor sees one OnChecking/OnChecked pair per click.
  DoCheckClick(parent, parentState);
  return true;
}

TCheckState TLazyTreeModel::DetermineNextCheckState(TCheckType type, TCheckState state) const {
  switch (type) {
    case ctTriStateCheckBox:
    case ctCheckBox: return state == csCheckedNormal ? csUncheckedNormal : csCheckedNormal;
    case ctRadioButton: return csCheckedNormal;
    case ctButton: return csUncheckedNormal;
    default: return csMixedNormal;
  }
}

void TLazyTreeModel::SetCheckType(PLazyNode node, TCheckType value) {
  if (node == nullptr || node == root_ || node->CheckType == value || ReadOnly()) return;
  node->CheckType = value;
  node->CheckState = csUncheckedNormal;
  if (HasOption(toAutoTristateTracking) && TracksCheckState(value) && node->Parent != root_) {
    PLazyNode parent = node->Parent;
    EnsureInitialized(*this, parent);
    if (parent->CheckType == ctTriStateCheckBox &&
        (parent->CheckState == csUncheckedNormal || parent->CheckState == csCheckedNormal)) {
      SetCheckState(node, static_cast<TCheckState>(parent->CheckState));
    }
  }
  InvalidateNode(node);
}

int TLazyTreeModel::GetCheckImage(PLazyNode node) {
  if (node == nullptr || node->CheckType == ctNone) return -1;
  TCheckLook look = TCheckLook::Normal;
  if (node->States.Contains(nsDisabled) || !TreeEnabled()) look = TCheckLook::Disabled;
  else if (IsPressedState(node->CheckState)) look = TCheckLook::Pressed;
  else if (node == HotNode()) look = TCheckLook::Hot;
  return CheckImageIndex(node->CheckType, node->CheckState, look);
}

}  // namespace kv
