// The mouse side of the tree window: the hit test every mouse path starts
// with, the three buttons (focus, selection, check boxes, expand buttons),
// the wheel, hot tracking, focus changes and cancel mode.

#include <algorithm>
#include <cstdlib>

#include "treeview/base_lazy_tree_win.h"
#include "treeview/theme_services_win.h"

namespace kv {

namespace {

int PointX(LPARAM l) { return static_cast<short>(LOWORD(l)); }
int PointY(LPARAM l) { return static_cast<short>(HIWORD(l)); }

constexpr unsigned kSearchTimerId = 7;

bool AltHeld() { return GetKeyState(VK_MENU) < 0; }

int ButtonOf(TLazyTreeState button) {
  return button == tsLeftButtonDown ? 0 : button == tsRightButtonDown ? 1 : 2;
}

}  // namespace

TCellHitLayout TBaseLazyTree::CellLayout(PLazyNode node, TColumnIndex column) {
  TCellHitLayout cell;
  const int indent = static_cast<int>(Indent());
  const bool mainColumn = column == kNoColumn || column == HeaderMainColumn();
  if (mainColumn)
    cell.Indent = GetNodeLevel(node) * indent + (HasOption(toShowRoot) ? indent : 0);
  cell.IndentStep = indent;
  cell.HasButton = HasOption(toShowButtons) && node->States.Contains(nsHasChildren);
  cell.ContentOnly = !mainColumn && HasOption(toReportMode);
  cell.Margin = Margin();
  if (mainColumn && HasOption(toCheckSupport) && GetCheckType(node) != ctNone) {
    if (HIMAGELIST checks = CurrentCheckImages(); checks != nullptr) {
      int w = 0, h = 0;
      ImageList_GetIconSize(checks, &w, &h);
      // Themed boxes are painted 16 pixels wide whatever the list holds.
      if (TreeStates().Contains(tsUseThemes) && CheckImageKind() != ckCustom &&
          ThemeServices().ThemesEnabled())
        w = 16;
      cell.CheckWidth = w;
    }
  }
  bool ghosted = false;
  if (StateImages() != nullptr && ImageIndex(node, TLTImageKind::ikState, column, ghosted) >= 0)
    cell.StateWidth = StateImages()->Width();
  if (Images() != nullptr &&
      ImageIndex(node, Selected(node) ? TLTImageKind::ikSelected : TLTImageKind::ikNormal, column,
                      ghosted) >= 0)
    cell.ImageWidth = Images()->Width();
  cell.NodeWidth = DoGetNodeWidth(node, column);
  return cell;
}

int TBaseLazyTree::ContentImagesWidth(PLazyNode node, TColumnIndex column) {
  const TCellHitLayout cell = CellLayout(node, column);
  int width = 0;
  for (int part : {cell.CheckWidth, cell.StateWidth, cell.ImageWidth})
    if (part > 0) width += part + 2;
  return width;
}

void TBaseLazyTree::DetermineHitPositionLTR(TTreeHitInfo& hitInfo, int offset, int right,
                                            TLTAlignment alignment) {
  TCellHitLayout cell = CellLayout(hitInfo.HitNode, hitInfo.HitColumn);
  cell.Alignment = static_cast<int>(alignment);
  hitInfo.HitPositions = CellHitPositionsLTR(cell, offset, right);
}

void TBaseLazyTree::DetermineHitPositionRTL(TTreeHitInfo& hitInfo, int offset, int right,
                                            TLTAlignment alignment) {
  TCellHitLayout cell = CellLayout(hitInfo.HitNode, hitInfo.HitColumn);
  cell.Alignment = static_cast<int>(alignment);
  hitInfo.HitPositions = CellHitPositionsRTL(cell, offset, right);
}

void TBaseLazyTree::GetHitTestInfoAt(int x, int y, bool relative, TTreeHitInfo& hitInfo) {
  hitInfo = TTreeHitInfo{};
  const std::int64_t width = std::max<std::int64_t>(RangeX(), ViewWidth());
  const std::int64_t height = std::max<std::int64_t>(RangeY(), ViewHeight());
  if (x < 0) hitInfo.HitPositions.Include(hpToLeft);
  if (x > width) hitInfo.HitPositions.Include(hpToRight);
  if (y < 0) hitInfo.HitPositions.Include(hpAbove);
  if (y > height) hitInfo.HitPositions.Include(hpBelow);
  if (relative) x -= OffsetX();
  if (!hitInfo.HitPositions.Empty()) return;
  int top = 0;
  hitInfo.HitNode = GetNodeAt(x, y, relative, top);
  if (hitInfo.HitNode == nullptr) {
    hitInfo.HitPositions.Include(hpNowhere);
    return;
  }
  if (!hitInfo.HitNode->States.Contains(nsInitialized)) InitNode(hitInfo.HitNode);
  // Without columns the cell spans the whole row from 0.
  int left = 0, right = static_cast<int>(width);
  if (HeaderUsesColumns() && !HitColumnBounds(hitInfo, x, left, right)) {
    hitInfo.HitPositions = THitPositions{hpNowhere};
    return;
  }
  const TLTAlignment alignment = CellAlignment(hitInfo.HitColumn);
  if (CellRightToLeft(hitInfo.HitColumn))
    DetermineHitPositionRTL(hitInfo, x - left, right - left, alignment);
  else
    DetermineHitPositionLTR(hitInfo, x - left, right - left, alignment);
}

bool TBaseLazyTree::CanFocus() const {
  if (!Enabled() || !TControl::Visible()) return false;
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return false;
  HWND top = GetAncestor(hwnd, GA_ROOT);
  return top == nullptr || (IsWindowEnabled(top) && IsWindowVisible(top));
}

void TBaseLazyTree::DoHotChange(PLazyNode oldNode, PLazyNode newNode) {
  if (OnHotChange) OnHotChange(*this, oldNode, newNode);
}

void TBaseLazyTree::ForgetNode(PLazyNode node) {
  if (checkNode_ == node) {
    checkNode_ = nullptr;
    DoStateChange({}, {tsMouseCheckPending, tsKeyCheckPending});
  }
  if (lastSearchNode_ == node) lastSearchNode_ = nullptr;
  // An editor or a hint never outlives its node.
  if (states_.Contains(tsEditing) && node == editNode_) DoCancelEdit();
  if (hintWindow_ && hintWindow_->Data().Node == node) HideHint();
  if (!dragSelection_.empty()) ForgetDragged(node);
  TLazyTreeModel::ForgetNode(node);
}

void TBaseLazyTree::ShowCheckPressed(PLazyNode node, TCheckState newState) {
  checkNode_ = node;
  pendingCheckState_ = newState;
  WriteCheckState(node, PressedCheckState(node->CheckState));
  InvalidateNode(node);
}

// The column a click focuses: off the label and without full-row or grid
// selection the focus stays in its column; else the hit column with
// extended focus, the main column without. A click in another column than
// the focused one counts as a column change either way, so that it does not
// start an edit of the column the focus stays in.
TColumnIndex TBaseLazyTree::ClickedColumn(const TTreeHitInfo& hitInfo, bool& columnChange) {
  columnChange = false;
  if (!HeaderUsesColumns() || hitInfo.HitColumn < 0) return FocusedColumn();
  const bool label = hitInfo.HitPositions.Contains(hpOnItemLabel) || hitInfo.HitPositions.Contains(hpOnNormalIcon);
  if (!label && !HasOption(toFullRowSelect) && !HasOption(toGridExtensions)) return FocusedColumn();
  columnChange = hitInfo.HitColumn != FocusedColumn();
  return HasOption(toExtendedFocus) ? hitInfo.HitColumn : HeaderMainColumn();
}

void TBaseLazyTree::HandleMouseDown(ui::TMessage& m, const TTreeHitInfo& hitInfo) {
  const HWND hwnd = HandleIfAllocated();
  // A press while panning only ends the panning.
  if (Panning()) {
    StopWheelPanning();
    return;
  }
  if (states_.Contains(tsEditPending)) {
    StopTimer(kEditTimer);
    DoStateChange({}, {tsEditPending});
  }
  if (states_.Contains(tsEditing) && !DoEndEdit()) return;
  if (GetFocus() != hwnd && CanFocus()) SetFocus(hwnd);
  ColumnMouse(0, hitInfo.HitColumn);

  const PLazyNode node = hitInfo.HitNode;
  const THitPositions& at = hitInfo.HitPositions;
  bool columnChange = false;
  const TColumnIndex newColumn = ClickedColumn(hitInfo, columnChange);
  const bool alt = AltHeld();
  const bool shift = (m.wParam & MK_SHIFT) != 0;
  const bool ctrl = (m.wParam & MK_CONTROL) != 0;
  const bool shiftEmpty = !shift && !ctrl;
  const bool labelHit = !alt && (at.Contains(hpOnItemLabel) || at.Contains(hpOnNormalIcon));
  const bool cellHit = !alt && !labelHit && node != nullptr && !at.Contains(hpOnItemButton) &&
                       !at.Contains(hpOnItemCheckbox) &&
                       (HasOption(toFullRowSelect) || HasOption(toGridExtensions));
  const bool anyHit = labelHit || cellHit;
  const bool nodeSelected = anyHit && Selected(node);
  const bool multi = HasOption(toMultiSelect);
  // The drag mode is manual: a drag starts where the owner allows it.
  bool autoDrag = Dragging() && (!cellHit || HasOption(toFullRowDrag));
  if (!autoDrag && node != nullptr) autoDrag = DoBeforeDrag(node, hitInfo.HitColumn) && !cellHit;

  if (node != nullptr && at.Contains(hpOnItemButton) && HasChildren(node)) {
    ToggleNode(node);
    return;
  }
  if (node != nullptr && at.Contains(hpOnItemCheckbox)) {
    if (states_.Contains(tsKeyCheckPending) || states_.Contains(tsMouseCheckPending) ||
        node->States.Contains(nsDisabled))
      return;
    TCheckState newState = DetermineNextCheckState(GetCheckType(node), GetCheckState(node));
    if (!DoChecking(node, newState)) return;
    DoStateChange({tsMouseCheckPending});
    ShowCheckPressed(node, newState);
    return;
  }

  // The level a level-constrained selection keeps to is where the click
  // happened: a band started there selects on that level.
  if ((RootNode()->ChildCount > 0 && shiftEmpty) || SelectedCount() == 0) {
    const PLazyNode levelNode = node != nullptr ? node : GetLastVisibleNoInit();
    if (levelNode != nullptr) SetSelectionLevel(GetNodeLevel(levelNode));
  }

  bool clearPending = false;
  if (multi && shiftEmpty && labelHit && autoDrag && nodeSelected) {
    DoStateChange({tsClearPending});
    clearPending = true;
  }
  const bool popupReady =
      !autoDrag && !(states_.Contains(tsRightButtonDown) &&
                     HasPopupMenu(node, hitInfo.HitColumn, {PointX(m.lParam), PointY(m.lParam)}));
  const bool clearNow = (!anyHit && !HasOption(toFullRowDrag) && multi && shiftEmpty) ||
                        (anyHit && (!nodeSelected || popupReady) && (shiftEmpty || !multi));
  if (clearNow && !clearPending) {
    // Alt on the main column keeps the selection it would otherwise reduce.
    if (node == nullptr || (!Selected(node) && !(alt && hitInfo.HitColumn == HeaderMainColumn()))) {
      ClearSelection();
    } else if (SelectedCount() > 1) {
      // Reduced to the hit node in one step: the owner hears of it once.
      InternalClearSelection();
      PLazyNode one[1] = {node};
      InternalAddToSelection(one, 1, false);
      InvalidateClientRect(nullptr);
      Change(nullptr);
    }
  }
  if (GetFocus() == hwnd && (labelHit || (HasOption(toGridExtensions) && at.Contains(hpOnItem))) &&
      nodeSelected && !columnChange && shiftEmpty)
    DoStateChange({tsEditPending});

  if (!HasOption(toDisableDrawSelection) && !labelHit && !HasOption(toFullRowDrag) && multi) {
    SetCapture(hwnd);
    DoStateChange({tsDrawSelPending});
    BeginDrawSelection(PointX(m.lParam), PointY(m.lParam), ctrl);
    DoStateChange({tsDrawSelPending}, {tsDrawSelecting});
    if (!cellHit) return;
  }
  lastClickPos_ = {PointX(m.lParam), PointY(m.lParam)};

  if (anyHit && DoFocusChanging(FocusedNode(), node, FocusedColumn(), newColumn)) {
    if (columnChange) {
      InvalidateColumn(FocusedColumn());
      InvalidateColumn(newColumn);
      SetFocusedColumn(newColumn);
    }
    const PLazyNode lastFocused = FocusedNode();
    DoFocusNode(node, false);
    if (!multi || shiftEmpty)
      HandleClickSelection(lastFocused, node, 0, false);
    else
      HandleClickSelection(lastFocused, node, (shift ? ssShift : 0) | (ctrl ? ssCtrl : 0), autoDrag);
    DoFocusChange(FocusedNode(), FocusedColumn());
  }
  if (autoDrag && (states_.Contains(tsLeftButtonDown) || states_.Contains(tsMiddleButtonDown) ||
                   states_.Contains(tsRightButtonDown)))
    BeginDrag(false, -1);
}

void TBaseLazyTree::HandleMouseUp(ui::TMessage& /*m*/, const TTreeHitInfo& hitInfo) {
  if (states_.Contains(tsControlDragging)) return;
  if (IsMouseSelecting()) {
    EndDrawSelection();
    DoStateChange({}, {tsToggleFocusPending});
    InvalidateClientRect(nullptr);
  }
  if (states_.Contains(tsClearPending)) {
    const bool wasSelected = FocusedNode() != nullptr && Selected(FocusedNode());
    ClearSelection();
    if (wasSelected) AddToSelection(FocusedNode());
  }
  if (states_.Contains(tsToggleFocusPending) && hitInfo.HitNode != nullptr &&
      hitInfo.HitNode == FocusedNode()) {
    SetSelected(hitInfo.HitNode, !Selected(hitInfo.HitNode));
    InvalidateNode(hitInfo.HitNode);
  }
  DoStateChange({}, {tsToggleFocusPending, tsClearPending, tsDrawSelPending, tsDragPending, tsControlDragPending,
                     tsScrolling, tsScrollPending});
  StopTimer(kScrollTimer);
  if (states_.Contains(tsMouseCheckPending)) {
    DoStateChange({}, {tsMouseCheckPending});
    if (PLazyNode node = checkNode_; node != nullptr) {
      // The normal form comes back first; a click applies the new state over it.
      WriteCheckState(node, NormalCheckState(node->CheckState));
      if (hitInfo.HitNode == node && hitInfo.HitPositions.Contains(hpOnItem))
        DoCheckClick(node, pendingCheckState_);
      InvalidateNode(node);
      checkNode_ = nullptr;
    }
  }
  ColumnMouse(1, hitInfo.HitColumn);
  if (states_.Contains(tsEditPending)) {
    // A click on the focused node's label: the editor opens after the edit
    // delay unless a double click or another press comes first.
    // The owner is asked about the column the editor opens on: the focused
    // one, which the click hit.
    if (hitInfo.HitNode != nullptr && hitInfo.HitNode == FocusedNode() && hitInfo.HitPositions.Contains(hpOnItem) &&
        CanEdit(FocusedNode(), FocusedColumn())) {
      editColumn_ = FocusedColumn();
      StartTimer(kEditTimer, EditDelay());
    } else {
      DoStateChange({}, {tsEditPending});
    }
  }
}

void TBaseLazyTree::HandleMouseDblClick(ui::TMessage& m, const TTreeHitInfo& hitInfo) {
  if (states_.Contains(tsEditPending)) {
    StopTimer(kEditTimer);
    DoStateChange({}, {tsEditPending});
  }
  if (states_.Contains(tsEditing) && !DoEndEdit()) return;
  ColumnMouse(2, hitInfo.HitColumn);
  const PLazyNode node = hitInfo.HitNode;
  const THitPositions& at = hitInfo.HitPositions;
  if (node == nullptr) return;
  if (at.Contains(hpOnItemCheckbox)) {
    if (states_.Contains(tsKeyCheckPending) || states_.Contains(tsMouseCheckPending) ||
        node->States.Contains(nsDisabled))
      return;
    TCheckState newState = DetermineNextCheckState(GetCheckType(node), GetCheckState(node));
    if (!DoChecking(node, newState)) return;
    DoStateChange({tsMouseCheckPending});
    ShowCheckPressed(node, newState);
  } else if (at.Contains(hpOnItemButton)) {
    ToggleNode(node);
  } else if (HasOption(toToggleOnDblClick) &&
             (at.Contains(hpOnItemLabel) || at.Contains(hpOnNormalIcon) || at.Contains(hpOnStateIcon) ||
              HasOption(toFullRowSelect))) {
    ToggleNode(node);
  }
  (void)m;
}

void TBaseLazyTree::MouseButtonDown(ui::TMessage& m, TLazyTreeState button) {
  DoStateChange({button});
  const int x = PointX(m.lParam), y = PointY(m.lParam);
  TControl::WndProc(m);
  if (OnMouseDown) OnMouseDown(*this, ButtonOf(button), static_cast<unsigned>(m.wParam), x, y);
  const bool dblClick = m.msg == WM_LBUTTONDBLCLK || m.msg == WM_RBUTTONDBLCLK || m.msg == WM_MBUTTONDBLCLK;
  // The right and middle buttons select only when asked to, and never while
  // the header is in any state of its own (a column drag or resize, loading).
  const bool handled = !(button == tsRightButtonDown && !HasOption(toRightClickSelect)) &&
                       !(button == tsMiddleButtonDown && !HasOption(toMiddleClickSelect)) &&
                       !(button != tsLeftButtonDown && header_ != nullptr && header_->States() != 0);
  // Whichever press comes next ends a running panning, and does nothing else.
  if (Panning() && (!handled || dblClick)) {
    StopWheelPanning();
    return;
  }
  if (!handled) return;
  TTreeHitInfo hitInfo;
  GetHitTestInfoAt(x, y, true, hitInfo);
  if (dblClick)
    HandleMouseDblClick(m, hitInfo);
  else
    HandleMouseDown(m, hitInfo);
}

void TBaseLazyTree::MouseButtonUp(ui::TMessage& m, TLazyTreeState button) {
  DoStateChange({}, {button});
  const int x = PointX(m.lParam), y = PointY(m.lParam);
  if (button == tsRightButtonDown) {
    DoStateChange({}, {tsPopupShown});
    HideHint();
    if (popupMenu_ != nullptr && IsMouseSelecting()) {
      EndDrawSelection();
      InvalidateClientRect(nullptr);
    }
  }
  if (GetCapture() == HandleIfAllocated()) ReleaseCapture();
  TTreeHitInfo hitInfo;
  GetHitTestInfoAt(x, y, true, hitInfo);
  if ((button != tsRightButtonDown || HasOption(toRightClickSelect)) &&
      (button != tsMiddleButtonDown || HasOption(toMiddleClickSelect))) {
    HandleMouseUp(m, hitInfo);
  }
  if (button == tsRightButtonDown && popupMenu_ == nullptr) DoPopupMenu(hitInfo.HitNode, hitInfo.HitColumn, {x, y});
  if (OnMouseUp) OnMouseUp(*this, ButtonOf(button), static_cast<unsigned>(m.wParam), x, y);
  TControl::WndProc(m);  // the layer's click
}

void TBaseLazyTree::HandleHotTrack(int x, int y) {
  TTreeHitInfo hitInfo;
  GetHitTestInfoAt(x, y, true, hitInfo);
  PLazyNode node = hitInfo.HitNode;
  if (!(hitInfo.HitPositions.Contains(hpOnItemCheckbox) || hitInfo.HitPositions.Contains(hpOnItemLabel) ||
        HasOption(toFullRowSelect)))
    node = nullptr;
  if (node == HotNode()) return;
  const PLazyNode old = HotNode();
  DoHotChange(old, node);
  if (HasOption(toHotTrack) || HasOption(toCheckSupport)) {
    if (old != nullptr) InvalidateNode(old);
    if (node != nullptr) InvalidateNode(node);
  }
  SetHotNode(node);
  if (node != nullptr) {
    // Told when the mouse leaves the window, to forget the hot node then.
    TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, HandleIfAllocated(), 0};
    TrackMouseEvent(&track);
  }
}

// Lines per notch; "one screen at a time" scrolls a client height per notch
// rather than being taken as a line count.
void TBaseLazyTree::MouseWheel(ui::TMessage& m) {
  const int delta = GET_WHEEL_DELTA_WPARAM(m.wParam);
  const bool ctrl = (GET_KEYSTATE_WPARAM(m.wParam) & MK_CONTROL) != 0;
  wheelRest_ += delta;
  const int notches = wheelRest_ / WHEEL_DELTA;
  wheelRest_ -= notches * WHEEL_DELTA;
  m.result = 0;
  if (notches == 0) return;
  const int clientHeight = ViewHeight(), clientWidth = ViewWidth();
  const int line = static_cast<int>(std::max(DefaultNodeHeight(), 1u));
  if (std::int64_t{RangeY()} <= clientHeight) {
    const int step = static_cast<int>(Indent()) * notches;
    SetOffsetX(OffsetX() + (ctrl ? clientWidth * step : step));
    return;
  }
  unsigned lines = 3;
  if (wheelLines_) {
    lines = wheelLines_();
  } else {
    UINT value = 3;
    if (SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &value, 0)) lines = value;
  }
  std::int64_t distance;
  if (ctrl)
    distance = std::int64_t{clientHeight / line} * notches * line;
  else if (lines == WHEEL_PAGESCROLL)
    distance = std::int64_t{clientHeight} * notches;
  else
    distance = std::int64_t{lines} * notches * line;
  distance = std::clamp<std::int64_t>(distance, -(std::int64_t{1} << 30), std::int64_t{1} << 30);
  SetOffsetY(OffsetY() + static_cast<int>(distance));
}

ui::TPopupMenu* TBaseLazyTree::DoGetPopupMenu(PLazyNode node, TColumnIndex column, POINT position) {
  ui::TPopupMenu* menu = nullptr;
  if (!OnGetPopupMenu) return nullptr;
  bool askParent = true;
  if (node == nullptr) {
    OnGetPopupMenu(*this, nullptr, kNoColumn, position, askParent, menu);
    return menu;
  }
  for (PLazyNode n = node; n != nullptr && n != RootNode() && menu == nullptr && askParent; n = n->Parent)
    OnGetPopupMenu(*this, n, column, position, askParent, menu);
  return menu;
}

void TBaseLazyTree::DoPopupMenu(PLazyNode node, TColumnIndex column, POINT position) {
  ui::TPopupMenu* menu = DoGetPopupMenu(node, column, position);
  if (menu == nullptr) return;
  DoStateChange({tsPopupShown});
  StopTimer(kEditTimer);
  POINT screen = position;
  ClientToScreen(HandleIfAllocated(), &screen);
  PopupAt(*menu, screen);
}

void TBaseLazyTree::PopupAt(ui::TPopupMenu& menu, POINT screen) {
  menu.PopupComponent = this;
  if (popupHook_)
    popupHook_(menu, screen);
  else
    menu.Popup(screen.x, screen.y);
}

bool TBaseLazyTree::HasPopupMenu(PLazyNode node, TColumnIndex column, POINT position) {
  return popupMenu_ != nullptr || DoGetPopupMenu(node, column, position) != nullptr;
}

void TBaseLazyTree::DoGetCursor(HCURSOR& cursor) {
  if (OnGetCursor) OnGetCursor(*this, cursor);
}

// Over the client area: the hot cursor over a hot node (with hot tracking),
// else the control's, as the owner may change it.
bool TBaseLazyTree::SetCursorMessage(ui::TMessage& m) {
  if (reinterpret_cast<HWND>(m.wParam) != HandleIfAllocated() || LOWORD(m.lParam) != HTCLIENT) return false;
  int id = Cursor();
  if (HasOption(toHotTrack) && HotNode() != nullptr) id = HotCursor();
  HCURSOR cursor = LoadCursorW(nullptr, id != 0 ? MAKEINTRESOURCEW(id) : MAKEINTRESOURCEW(32512));
  DoGetCursor(cursor);
  ::SetCursor(cursor);
  m.result = 1;
  return true;
}

// Where a menu asked for from the keyboard shows: half the focused node's
// width (at most its column's, or the client's without columns) into its
// cell, at the cell's vertical middle. False without a focused node.
bool TBaseLazyTree::MenuKeyPoint(POINT& at) {
  const PLazyNode node = FocusedNode();
  if (node == nullptr) return false;
  const TLazyRect cell = GetDisplayRect(node, FocusedColumn(), false);
  int limit = ViewWidth();
  if (HeaderUsesColumns() && Header().Columns().IsValidColumn(FocusedColumn()))
    limit = Header().Columns().Items(FocusedColumn()).Width();
  const int width = std::min(DoGetNodeWidth(node, FocusedColumn()), limit);
  at = POINT{cell.Left + width / 2, (cell.Top + cell.Bottom) / 2};
  return true;
}

// The menu key: the focused node's menu at its cell. The control's own menu
// comes with the keyboard WM_CONTEXTMENU that follows when no node menu showed;
// like a right-button release, each press starts without an earlier node menu's
// mark, or that message would be swallowed for good.
void TBaseLazyTree::MenuKey() {
  DoStateChange({}, {tsPopupShown});
  POINT at;
  if (MenuKeyPoint(at)) DoPopupMenu(FocusedNode(), FocusedColumn(), at);
}

void TBaseLazyTree::StopMouseTimers() {
  for (unsigned id : {1u, 2u, 3u, 4u, kSearchTimerId}) StopTimer(id);
}

bool TBaseLazyTree::MouseMessage(ui::TMessage& m) {
  switch (m.msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      MouseButtonDown(m, tsLeftButtonDown);
      return true;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      MouseButtonDown(m, tsRightButtonDown);
      return true;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      MouseButtonDown(m, tsMiddleButtonDown);
      return true;
    case WM_LBUTTONUP:
      MouseButtonUp(m, tsLeftButtonDown);
      return true;
    case WM_RBUTTONUP:
      MouseButtonUp(m, tsRightButtonDown);
      return true;
    case WM_MBUTTONUP:
      MouseButtonUp(m, tsMiddleButtonDown);
      return true;
    case WM_MOUSEMOVE: {
      const int x = PointX(m.lParam), y = PointY(m.lParam);
      if ((states_.Contains(tsDragPending) || states_.Contains(tsControlDragPending)) &&
          (std::abs(x - lastClickPos_.x) >= dragThreshold_ || std::abs(y - lastClickPos_.y) >= dragThreshold_)) {
        if (states_.Contains(tsControlDragPending))
          RunNativeDrag();
        else
          DoDragging(lastClickPos_);
        m.result = 0;
        return true;
      }
      if (states_.Contains(tsDrawSelPending)) {
        // The band starts once the mouse left the drag threshold around the press.
        const TLazyRect start = SelectionRect();
        if (std::abs(x - OffsetX() - start.Left) > GetSystemMetrics(SM_CXDRAG) ||
            std::abs(y - OffsetY() - start.Top) > GetSystemMetrics(SM_CYDRAG)) {
          if (states_.Contains(tsClearPending)) {
            DoStateChange({}, {tsClearPending});
            ClearSelection();
          }
          DoStateChange({tsDrawSelecting}, {tsDrawSelPending});
          // The band selects by the main column: the focus goes there too.
          if (HeaderUsesColumns() && FocusedColumn() != HeaderMainColumn()) {
            InvalidateColumn(FocusedColumn());
            SetFocusedColumn(HeaderMainColumn());
            InvalidateColumn(FocusedColumn());
          }
          if (CalculateSelectionRect(x, y)) InvalidateBand(HandleDrawSelection());
        }
        // An armed band scrolls at the edge as well, before it has started.
        if (CanAutoScroll()) DoAutoScroll(x, y);
      } else if (states_.Contains(tsDrawSelecting)) {
        if (CanAutoScroll()) DoAutoScroll(x, y);
        if (!states_.Contains(tsScrolling) && CalculateSelectionRect(x, y)) {
          InvalidateBand(HandleDrawSelection());
          UpdateWindow(HandleIfAllocated());
        }
      } else {
        HandleHotTrack(x, y);
      }
      if (OnMouseMove) OnMouseMove(*this, static_cast<unsigned>(m.wParam), x, y);
      return false;
    }
    case WM_MOUSELEAVE:
      DoStateChange({}, {tsHintShowing});
      if (!states_.Contains(tsPanningHeld) && !states_.Contains(tsPanningSticky)) {
        StopTimer(kScrollTimer);
        DoStateChange({}, {tsScrolling, tsScrollPending});
      }
      {
        // Told also when no node was hot.
        const PLazyNode old = HotNode();
        DoHotChange(old, nullptr);
        if (old != nullptr) InvalidateNode(old);
        SetHotNode(nullptr);
      }
      return false;
    case WM_MOUSEWHEEL:
      MouseWheel(m);
      return true;
    case WM_SETFOCUS:
      if (!(SelectedCount() == 0 && HasOption(toGhostedIfUnfocused))) InvalidateClientRect(nullptr);
      return false;
    case WM_KILLFOCUS:
      StopMouseTimers();
      DoStateChange({}, {tsEditPending, tsSearching, tsLeftButtonDown, tsMiddleButtonDown, tsDragPending,
                         tsRightButtonDown, tsScrolling, tsScrollPending, tsControlDragPending, tsControlDragging});
      if (SelectedCount() == 0 && HasOption(toGhostedIfUnfocused)) {
        if (FocusedNode() != nullptr) InvalidateNode(FocusedNode());
      } else {
        InvalidateClientRect(nullptr);
      }
      return false;
    case WM_CONTEXTMENU: {
      // A menu ends a pending edit: its timer must not open the editor later.
      if (states_.Contains(tsEditPending)) StopTimer(kEditTimer);
      DoStateChange({}, {tsClearPending, tsEditPending, tsDragPending, tsControlDragPending, tsControlDragging});
      m.result = 0;
      if (states_.Contains(tsPopupShown)) return true;  // a node menu showed already
      if (m.lParam == -1) {
        // From the keyboard (Shift+F10, or the menu key that found no node
        // menu): the node menu, else the control's own, at the focused cell.
        POINT at{0, 0};
        if (MenuKeyPoint(at)) DoPopupMenu(FocusedNode(), FocusedColumn(), at);
        if (!states_.Contains(tsPopupShown) && popupMenu_ != nullptr) {
          ClientToScreen(HandleIfAllocated(), &at);
          PopupAt(*popupMenu_, at);
        }
        return true;
      }
      POINT client{PointX(m.lParam), PointY(m.lParam)};
      ScreenToClient(HandleIfAllocated(), &client);
      ui::TPopupMenu* menu = ContextPopupMenu(client);
      if (menu == nullptr) return false;
      PopupAt(*menu, {PointX(m.lParam), PointY(m.lParam)});
      return true;
    }
    case WM_CANCELMODE:
      StopMouseTimers();
      if (IsMouseSelecting()) EndDrawSelection();
      DoStateChange({}, {tsClearPending, tsDrawSelPending, tsDrawSelecting, tsEditPending, tsSearching,
                         tsDragPending, tsControlDragPending, tsControlDragging});
      return false;
  }
  return false;
}

}  // namespace kv
