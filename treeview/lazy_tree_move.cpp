// Moving nodes within a tree and into another tree.
#include "treeview/lazy_tree_model.h"

namespace kv {

void TLazyTreeModel::MoveTo(PLazyNode source, PLazyNode target, TLTNodeAttachMode mode, bool childrenOnly,
                            TLazyTreeModel* targetTree) {
  LazyTreeAssert(source == nullptr || IsLiveNode(source) || source == RootNode(),
                 "The source tree must contain the source node.");
  const bool allowedShape =
      source != target || (childrenOnly && (mode == TLTNodeAttachMode::amInsertBefore ||
                                            mode == TLTNodeAttachMode::amInsertAfter));
  if (!allowedShape || mode == TLTNodeAttachMode::amNoWhere || source == nullptr || source == RootNode() ||
      ReadOnly())
    return;
  TLazyTreeModel& destination = targetTree != nullptr ? *targetTree : *this;
  if (target == nullptr) {
    target = destination.RootNode();
    mode = TLTNodeAttachMode::amAddChildFirst;
  }
  if (target == destination.RootNode()) {
    if (mode == TLTNodeAttachMode::amInsertBefore) mode = TLTNodeAttachMode::amAddChildFirst;
    if (mode == TLTNodeAttachMode::amInsertAfter) mode = TLTNodeAttachMode::amAddChildLast;
  }
  const PLazyNode reportedTarget = target == destination.RootNode() ? nullptr : target;
  if (!DoNodeMoving(source, reportedTarget)) return;
  // The moved nodes may now be shown elsewhere or not at all.
  if (!nodeExtents_.empty()) rangeXDue_ = true;

  if (&destination != this) {
    TNodeMemoryStream stream;
    if (childrenOnly) {
      for (PLazyNode c = source->FirstChild; c != nullptr; c = c->NextSibling) WriteNode(stream, c);
    } else {
      WriteNode(stream, source);
    }
    stream.SetPosition(0);
    destination.BeginUpdate();
    try {
      // After the first node each one goes behind the one before it, so the nodes keep their order
      // whatever the mode.
      PLazyNode anchor = target;
      TLTNodeAttachMode anchorMode = mode;
      while (stream.Position() < stream.Size()) {
        PLazyNode node = destination.MakeNewNode();
        destination.InternalConnectNode(node, anchor, destination, anchorMode);
        anchor = node;
        anchorMode = TLTNodeAttachMode::amInsertAfter;
        destination.streamDepth_ = 0;
        destination.InternalAddFromStream(stream, 2, node);
        destination.DoNodeMoved(node);
      }
    } catch (...) {
      destination.EndUpdate();
      throw;
    }
    destination.EndUpdate();
    BeginUpdate();
    if (childrenOnly)
      DeleteChildren(source, true);
    else
      DeleteNode(source);
    EndUpdate();
    destination.InvalidateCache();
    if (destination.UpdateCount() == 0) {
      destination.ValidateCache();
      destination.UpdateScrollBars(true);
      destination.InvalidateClientRect(nullptr);
    }
    destination.StructureChange(reportedTarget, TChangeReason::crNodeMoved);
    return;
  }

  if (target != source && HasAsParent(target, source))
    ShowError("Target node cannot be a child node of the node to be moved.", 2001);
  if (!childrenOnly) {
    InternalDisconnectNode(source, true, true);
    InternalConnectNode(source, target, *this, mode);
    DoNodeMoved(source);
  } else {
    // As above: the first child goes to the target by the mode, each later one behind the one before it.
    PLazyNode anchor = target;
    TLTNodeAttachMode anchorMode = mode;
    for (PLazyNode c = source->FirstChild; c != nullptr;) {
      PLazyNode next = c->NextSibling;
      InternalDisconnectNode(c, true, false);
      InternalConnectNode(c, anchor, *this, anchorMode);
      DoNodeMoved(c);
      anchor = c;
      anchorMode = TLTNodeAttachMode::amInsertAfter;
      c = next;
    }
    // Disconnecting without renumbering leaves gaps behind.
    std::uint32_t index = 0;
    for (PLazyNode c = source->FirstChild; c != nullptr; c = c->NextSibling) c->Index = index++;
  }
  InvalidateCache();
  if (UpdateCount() == 0) {
    ValidateCache();
    UpdateScrollBars(true);
    InvalidateClientRect(nullptr);
  }
  StructureChange(childrenOnly ? NilForRoot(target) : source, TChangeReason::crNodeMoved);
}

bool TLazyTreeModel::DoNodeMoving(PLazyNode node, PLazyNode target) {
  bool allowed = true;
  if (OnNodeMoving) OnNodeMoving(*this, node, target, allowed);
  return allowed;
}

void TLazyTreeModel::DoNodeMoved(PLazyNode node) {
  if (OnNodeMoved) OnNodeMoved(*this, node);
}

}  // namespace kv
