// The in-process drag (DragType dtNative): the dragging tree holds the mouse
// in a message loop of its own and tells the tree under the mouse, through
// NativeDragMessage, that the drag enters, moves over, leaves or drops on it.
// Only trees of this process take part; no data object travels (the drop
// handler gets the source tree and its drag selection instead).
#include <algorithm>

#include "base/scope_guard.h"
#include "treeview/base_lazy_tree_win.h"
#include "ui/control_win.h"

namespace kv {

namespace {

// The keys the in-process drag reports: Shift and Ctrl as the OLE key state.
DWORD HeldKeys() {
  DWORD keys = 0;
  if (GetKeyState(VK_SHIFT) < 0) keys |= MK_SHIFT;
  if (GetKeyState(VK_CONTROL) < 0) keys |= MK_CONTROL;
  return keys;
}

TShiftState KeysToShift(DWORD keys) {
  TShiftState shift = 0;
  if (keys & MK_SHIFT) shift |= ssShift;
  if (keys & MK_CONTROL) shift |= ssCtrl;
  return shift;
}

// The tree of this process at a screen point: the window there or the
// nearest of its parents that is a tree (an editor inside a tree counts as it).
TBaseLazyTree* TreeAt(POINT screen) {
  for (HWND h = WindowFromPoint(screen); h != nullptr; h = GetParent(h)) {
    if (auto* tree = dynamic_cast<TBaseLazyTree*>(ui::TControl::FromHandle(h))) return tree;
    if ((GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD) == 0) break;
  }
  return nullptr;
}

}  // namespace

// The source's loop. Mouse and key messages are taken here, everything else
// is dispatched as usual. The trees taking part are held by their serials: a
// handler may free one. Ends with a drop over an accepting tree (DragFinished)
// or cancelled by Escape, a lost capture, a quit message or a release where
// nothing accepts (DragCanceled); an owner's exception ends it cancelled and
// goes on to the caller.
void TBaseLazyTree::RunNativeDrag() {
  const HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return;
  if (IsEditing()) CancelEditNode();
  if (PLazyNode focused = FocusedNode(); focused != nullptr && !Selected(focused)) {
    AddToSelection(focused);
    InvalidateNode(focused);
  }
  StopTimer(kEditTimer);
  // A pending drag turns into dragging when the first target is looked for;
  // an immediate one is dragging from the start.
  if (states_.Contains(tsControlDragPending))
    DoStateChange({}, {tsDragPending});
  else
    DoStateChange({tsControlDragging}, {tsDragPending, tsEditPending, tsClearPending});
  dragSelection_ = GetSortedSelection(true);
  const std::uint32_t self = Serial();
  std::uint32_t targetSerial = 0;
  bool accepted = false, dropped = false;
  auto target = [&]() -> TBaseLazyTree* { return targetSerial != 0 ? FromSerial(targetSerial) : nullptr; };
  // Leaves the target (if any) on every way out but a drop.
  auto leaveTarget = [&](POINT pt) {
    if (TBaseLazyTree* t = target()) {
      targetSerial = 0;
      t->NativeDragMessage(TNativeDragMessage::ndLeave, this, pt);
    }
  };
  {
    // A throwing handler: the capture goes and the states are left.
    bool ended = false;
    const ScopeGuard cleanUp([&] {
      if (ended || FromSerial(self) != this) return;
      if (GetCapture() == hwnd) ReleaseCapture();
      dragSelection_.clear();
      DoStateChange({}, {tsControlDragPending, tsControlDragging});
    });
    DoStartDrag();
    SetCapture(hwnd);
    POINT start{};
    GetCursorPos(&start);
    auto over = [&](POINT pt) {
      if (states_.Contains(tsControlDragPending))
        DoStateChange({tsControlDragging}, {tsControlDragPending, tsEditPending, tsClearPending});
      TBaseLazyTree* now = TreeAt(pt);
      if (now != target()) {
        leaveTarget(pt);
        accepted = false;
        if (now != nullptr) {
          targetSerial = now->Serial();
          accepted = now->NativeDragMessage(TNativeDragMessage::ndEnter, this, pt);
        }
      } else if (now != nullptr) {
        accepted = now->NativeDragMessage(TNativeDragMessage::ndMove, this, pt);
      }
      ::SetCursor(LoadCursorW(nullptr, accepted ? MAKEINTRESOURCEW(32512) : MAKEINTRESOURCEW(32648)));  // arrow, no
    };
    over(start);
    for (bool running = true; running;) {
      if (GetCapture() != hwnd) break;
      MSG msg;
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (got < 0) break;
      switch (msg.message) {
        case WM_MOUSEMOVE:
          over(msg.pt);
          break;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
          running = false;
          if (TBaseLazyTree* t = target(); t != nullptr && accepted) {
            dropped = true;
            t->NativeDragMessage(TNativeDragMessage::ndDrop, this, msg.pt);
            targetSerial = 0;
          }
          break;
        case WM_KEYDOWN:
        case WM_KEYUP:
          if (msg.wParam == VK_ESCAPE) {
            running = false;
          } else if (msg.wParam == VK_SHIFT || msg.wParam == VK_CONTROL) {
            over(msg.pt);  // the effect follows the keys
          }
          break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
        case WM_CHAR:
          break;  // swallowed while dragging
        default:
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
      }
      if (FromSerial(self) != this) return;  // freed by a handler
    }
    POINT end{};
    GetCursorPos(&end);
    if (!dropped) leaveTarget(end);
    ended = true;
    if (GetCapture() == hwnd) ReleaseCapture();
    dragSelection_.clear();
    ScreenToClient(hwnd, &end);
    DoEndDrag(end);
  }
  if (dropped)
    DragFinished();
  else
    DragCanceled();
}

bool TBaseLazyTree::NativeDragMessage(TNativeDragMessage message, TBaseLazyTree* source, POINT pt) {
  const HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return false;
  const DWORD keys = HeldKeys();
  POINT client = pt;
  ScreenToClient(hwnd, &client);
  if (message == TNativeDragMessage::ndDrop) {
    if (PLazyNode current = DropTargetNode()) InvalidateNode(current);
    SetDropTargetNode(nativeDropTarget_ != nullptr && IsLiveNode(nativeDropTarget_) ? nativeDropTarget_ : nullptr);
    DWORD effect = nativeDropEffect_;
    StopTimer(kExpandTimer);
    StopTimer(kScrollTimer);
    DoStateChange({}, {tsScrollPending, tsScrolling});
    const ScopeGuard clear([this] {
      DoStateChange({}, {tsControlDragging});
      nativeDropTarget_ = nullptr;
      if (PLazyNode target = DropTargetNode()) {
        InvalidateNode(target);
        SetDropTargetNode(nullptr);
      }
    });
    DoDragDrop(source, nullptr, {}, KeysToShift(keys), client, effect, LastDropMode());
    return true;
  }
  TDragState state = TDragState::dsDragMove;
  switch (message) {
    case TNativeDragMessage::ndEnter:
      DoStateChange({tsControlDragging});
      state = TDragState::dsDragEnter;
      break;
    case TNativeDragMessage::ndLeave:
      DoStateChange({}, {tsControlDragging});
      state = TDragState::dsDragLeave;
      break;
    default:
      if (CanAutoScroll()) DoAutoScroll(client.x, client.y);
      break;
  }
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  if (DragOver(source, keys, state, pt, effect) != S_OK) effect = DROPEFFECT_NONE;
  effect &= ~kDropEffectScroll;
  nativeDropTarget_ = DropTargetNode();
  nativeDropEffect_ = effect;
  if (message == TNativeDragMessage::ndLeave) {
    StopTimer(kExpandTimer);
    StopTimer(kScrollTimer);
    DoStateChange({}, {tsScrollPending, tsScrolling});
    nativeDropTarget_ = nullptr;
    if (PLazyNode target = DropTargetNode()) {
      InvalidateNode(target);
      SetDropTargetNode(nullptr);
    }
  }
  return effect != DROPEFFECT_NONE;
}

void TBaseLazyTree::DragFinished() {
  DoStateChange({}, {tsControlDragPending, tsControlDragging});
  const HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return;
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(hwnd, &p);
  const UINT up = states_.Contains(tsRightButtonDown)    ? WM_RBUTTONUP
                  : states_.Contains(tsMiddleButtonDown) ? WM_MBUTTONUP
                                                         : WM_LBUTTONUP;
  SendMessageW(hwnd, up, 0, MAKELPARAM(p.x, p.y));
}

void TBaseLazyTree::DragCanceled() { DragFinished(); }

}  // namespace kv
