#include "shell/drop_down_win.h"

#include <vssym32.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>

#include "ui/application_win.h"
#include "ui/gdi_win.h"

namespace kv {

// ----------------------------------------------------------- size grabber --
TSizeGrabber::TSizeGrabber(TDropDownWnd& dropDown) : dropDown_(dropDown) {
  const int side = GetSystemMetrics(SM_CXVSCROLL);
  bounds_ = {0, 0, side, side};
}

void TSizeGrabber::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = ui::RegisterOwnWindowClass(L"KvSizeGrabber", CS_HREDRAW | CS_VREDRAW);
}

void TSizeGrabber::InitHandle() { UpdateShape(); }

void TSizeGrabber::UpdateShape() {
  const HWND h = HandleIfAllocated();
  if (!h) return;
  // Only the triangle in the corner away from the owner is the grip's: the
  // rest of the square stays the tree's, which paints around it.
  const int side = Width();
  const int x = (dropDown_.State() & dsRightToLeft) ? 0 : side;
  const int y = (dropDown_.State() & dsOpenedAbove) ? 0 : side;
  const POINT corners[] = {{x, y}, {side - x, y}, {x, side - y}};
  ui::RegionObject triangle(CreatePolygonRgn(corners, 3, WINDING));
  if (triangle && SetWindowRgn(h, triangle.Get(), TRUE)) (void)triangle.Release();  // the window owns it now
}

void TSizeGrabber::SetThemed(bool value) {
  themed_ = value;
  Repaint();
}

void TSizeGrabber::Paint(HDC dc) {
  RECT r;
  GetClientRect(HandleIfAllocated(), &r);
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  // The grip points away from the owner: down when below it, up when above;
  // a right-to-left layout mirrors it to the left.
  const bool above = dropDown_.State() & dsOpenedAbove;
  const bool rtl = dropDown_.State() & dsRightToLeft;
  const int save = SaveDC(dc);
  if (above || rtl) {
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, rtl ? -1 : 1, above ? -1 : 1, nullptr);
    SetViewportOrgEx(dc, rtl ? r.right - 1 : 0, above ? r.bottom - 1 : 0, nullptr);
  }
  HTHEME theme = themed_ ? OpenThemeData(HandleIfAllocated(), L"scrollbar") : nullptr;
  if (theme) {
    DrawThemeBackground(theme, dc, SBP_SIZEBOX, SZB_RIGHTALIGN, &r, nullptr);
    CloseThemeData(theme);
  } else {
    DrawFrameControl(dc, &r, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
  }
  RestoreDC(dc, save);
}

void TSizeGrabber::WndProc(ui::TMessage& m) {
  switch (m.msg) {
    case WM_PAINT: {
      const ui::PaintDc paint = ui::BeginPaintDc(HandleIfAllocated());
      Paint(paint.Get());
      return;
    }
    case WM_ERASEBKGND: m.result = 1; return;
    case WM_MOUSEACTIVATE: m.result = MA_NOACTIVATE; return;
    case WM_SETCURSOR: {
      const bool above = dropDown_.State() & dsOpenedAbove;
      const bool rtl = dropDown_.State() & dsRightToLeft;
      ::SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(above != rtl ? 32643 : 32642)));  // NE-SW or NW-SE arrows
      m.result = TRUE;
      return;
    }
    case WM_LBUTTONDOWN:
      dragging_ = true;
      GetCursorPos(&start_);
      GetWindowRect(dropDown_.Handle(), &startRect_);
      SetCapture(HandleIfAllocated());
      return;
    case WM_MOUSEMOVE:
      if (dragging_) Drag();
      return;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (dragging_ && m.msg == WM_LBUTTONUP) ReleaseCapture();
      dragging_ = false;
      return;
    default: break;
  }
  TControl::WndProc(m);
}

void TSizeGrabber::Drag() {
  POINT p;
  GetCursorPos(&p);
  const int dx = p.x - start_.x, dy = p.y - start_.y;
  RECT r = startRect_;
  if (dropDown_.State() & dsOpenedAbove)
    r.top += dy;  // the bottom edge touches the owner
  else
    r.bottom += dy;
  if (dropDown_.State() & dsRightToLeft)
    r.left += dx;
  else
    r.right += dx;
  dropDown_.SizeFromGrip(r);
  Sleep(10);
}

// -------------------------------------------------------------- drop-down --
TDropDownWnd::TDropDownWnd() {
  InitVisible(false);
  scrollbar_ = &Create<TOwnerDrawScrollbar>();
  scrollbar_->SetParent(this);
  scrollbar_->SetAssociatedControl(this);
  grabber_ = &Create<TSizeGrabber>(*this);
  grabber_->SetParent(this);
  grabber_->Hide();
}

TDropDownWnd::~TDropDownWnd() {
  if (HWND h = HandleIfAllocated()) KillTimer(h, kScrollTimer);
}

void TDropDownWnd::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = ui::RegisterOwnWindowClass(L"KvDropDown", CS_DROPSHADOW | CS_SAVEBITS);
  params.style = WS_POPUP | WS_CLIPCHILDREN;
  params.exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
  params.parent = ownerWindow_;
}

void TDropDownWnd::SetPopupOptions(TPopupOptions options) {
  options_ = options;
  if (!(options_ & poSizeable)) grabber_->Hide();
  grabber_->SetThemed(options_ & poThemeAware);
  scrollbar_->SetAllowThemes(options_ & poThemeAware);
}

void TDropDownWnd::RollDown(ui::TControl* owner, ui::TControl* positionControl, const SIZE* size) {
  if (DroppedDown() || !(options_ & poEnabled) || !owner || !owner->Handle()) return;
  if (!DoRollDownInit()) return;
  owner_ = owner;
  ownerWindow_ = GetAncestor(owner->Handle(), GA_ROOT);
  if (GetWindowLongPtrW(owner->Handle(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL)
    state_ |= dsRightToLeft;
  else
    state_ &= ~dsRightToLeft;
  if (HWND h = HandleIfAllocated())
    SetWindowLongPtrW(h, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(ownerWindow_));
  Handle();
  state_ |= dsDroppedDown;
  HCURSOR previous = ::SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // the hourglass
  AutoPositionPopup(positionControl ? positionControl : owner, size);
  DoRollDown();
  AnimateRollDown();
  ::SetCursor(previous);
  state_ |= dsOpenedBefore;
  DropDownMessageLoop();
}

void TDropDownWnd::DoRollDown() {
  if (OnRollDown) OnRollDown(*this);
}

int TDropDownWnd::HeightForRows(int64_t rows) const {
  // A negative row count (kept as set) counts as none: no negative height.
  const int64_t height = std::max<int64_t>(rows, 0) * RowHeight() + GetSystemMetrics(SM_CYSIZEFRAME);
  return static_cast<int>(std::clamp<int64_t>(height, 0, INT_MAX));
}

void TDropDownWnd::AutoPositionPopup(ui::TControl* positionControl, const SIZE* size) {
  RECT owner;
  GetWindowRect(positionControl->Handle(), &owner);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromRect(&owner, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT screen = monitor.rcWork;
  int width = Width(), height = Height();
  if (!((options_ & poPersistentSizing) && (state_ & dsOpenedBefore))) {
    width = size ? size->cx : owner.right - owner.left;
    height = size ? size->cy : HeightForRows(dropDownCount_);
  }
  // Never taller than the work area: the sums below stay far from overflow,
  // and a taller window would be shortened to the room on one side anyway.
  height = std::clamp(height, 0, static_cast<int>(screen.bottom - screen.top));
  int top = owner.bottom;
  bool above = false;
  if (owner.bottom + height <= screen.bottom) {
    top = owner.bottom;
  } else if (owner.top - height >= screen.top) {
    above = true;
    top = owner.top - height;
  } else if (screen.bottom - owner.bottom >= owner.top - screen.top) {
    height = screen.bottom - owner.bottom;  // shortened to the room below
  } else {
    above = true;
    height = owner.top - screen.top;
    top = screen.top;
  }
  state_ = (state_ & ~(dsOpenedAbove | dsOpenedBelow)) | (above ? dsOpenedAbove : dsOpenedBelow);
  SetBounds(owner.left, top, width, height);
  RealignChildWindows(ClientWidth(), ClientHeight());
}

int TDropDownWnd::ClientWidth() const {
  RECT r{};
  if (HWND h = HandleIfAllocated(); h && GetClientRect(h, &r)) return r.right;
  return Width();
}

int TDropDownWnd::ClientHeight() const {
  RECT r{};
  if (HWND h = HandleIfAllocated(); h && GetClientRect(h, &r)) return r.bottom;
  return Height();
}

void TDropDownWnd::RealignChildWindows(int, int) {}

void TDropDownWnd::AlignSizeGrip(int width, int height) {
  const int side = GetSystemMetrics(SM_CXVSCROLL);
  const bool above = state_ & dsOpenedAbove;
  grabber_->SetBounds((state_ & dsRightToLeft) ? 0 : width - side, above ? 0 : height - side, side, side);
  grabber_->UpdateShape();
  grabber_->SetVisible(options_ & poSizeable);
  if (grabber_->HandleAllocated())
    SetWindowPos(grabber_->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TDropDownWnd::SizeFromGrip(RECT r) {
  const int side = GetSystemMetrics(SM_CXVSCROLL);
  if (r.right - r.left < side) {
    if (state_ & dsRightToLeft)
      r.left = r.right - side;
    else
      r.right = r.left + side;
  }
  if (r.bottom - r.top < side) {
    if (state_ & dsOpenedAbove)
      r.top = r.bottom - side;
    else
      r.bottom = r.top + side;
  }
  SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
  RealignChildWindows(ClientWidth(), ClientHeight());
  RefreshScrollbar();
  RedrawWindow(HandleIfAllocated(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  if (ownerWindow_) UpdateWindow(ownerWindow_);
}

void TDropDownWnd::AnimateRollDown() {
  const HWND h = HandleIfAllocated();
  BOOL systemAnimates = TRUE;
  if (options_ & poRespectSysAnimationFlag) SystemParametersInfoW(SPI_GETCOMBOBOXANIMATION, 0, &systemAnimates, 0);
  if ((options_ & poAnimated) && rollTime_ >= 1 && systemAnimates)
    AnimateWindow(h, rollTime_, AW_SLIDE | ((state_ & dsOpenedAbove) ? AW_VER_NEGATIVE : AW_VER_POSITIVE));
  // Whatever the animation did, the window ends visible, without activation.
  SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InitVisible(true);
}

bool TDropDownWnd::KeyPressDispatch(MSG&) { return false; }

bool TDropDownWnd::AllowClickInWindow(HWND, POINT) { return false; }

bool TDropDownWnd::InClientArea(HWND window, POINT screen) const {
  const HWND h = HandleIfAllocated();
  if (!h || !window || (window != h && !IsChild(h, window))) return false;
  RECT client{};
  GetClientRect(h, &client);
  MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&client), 2);
  return PtInRect(&client, screen) != FALSE;
}

void TDropDownWnd::DropDownMessageLoop() {
  if (focusControl_ && focusControl_->Handle()) SetFocus(focusControl_->Handle());
  MSG msg;
  while (DroppedDown()) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {  // the application is ending: leave the quit for the outer loop
      PostQuitMessage(static_cast<int>(msg.wParam));
      RollUp(false);
      break;
    }
    if (got < 0) {
      RollUp(false);
      break;
    }
    switch (msg.message) {
      case WM_NCLBUTTONDOWN:
      case WM_NCLBUTTONDBLCLK:
      case WM_NCMBUTTONDOWN:
      case WM_NCMBUTTONDBLCLK:
      case WM_CANCELMODE:
      case WM_SYSKEYDOWN:
      case WM_SYSKEYUP:
      case WM_SYSCHAR:
        RollUp(false);
        break;
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN: {
        POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
        ClientToScreen(msg.hwnd, &p);
        if (!InClientArea(msg.hwnd, p) && !AllowClickInWindow(msg.hwnd, p)) {
          RollUp(false);
          continue;  // swallowed
        }
        break;
      }
      case WM_KEYDOWN:
      case WM_CHAR:
        if (KeyPressDispatch(msg)) continue;
        if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
          RollUp(msg.wParam == VK_RETURN);
          continue;
        }
        break;
      default: break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (msg.message == WM_MOUSEWHEEL) RefreshScrollbar();
  }
}

void TDropDownWnd::RollUp(bool selected) {
  if (!DroppedDown()) return;
  const HWND h = HandleIfAllocated();
  ReleaseCapture();
  state_ &= ~dsDroppedDown;
  ShowWindow(h, SW_HIDE);
  InitVisible(false);
  if (ownerWindow_) SetWindowPos(ownerWindow_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (owner_ && owner_->HandleAllocated()) SetFocus(owner_->HandleIfAllocated());
  DoRollUp(selected);
  ScrollTimerStop();
}

void TDropDownWnd::DoRollUp(bool selected) {
  if (OnRollUp) OnRollUp(*this, selected);
}

void TDropDownWnd::ScrollTimerCreate(bool up, bool fast) {
  const uint32_t want = (up ? dsScrollingUp : dsScrollingDown) | (fast ? dsFastTimer : dsSlowTimer);
  const uint32_t bits = dsScrollingUp | dsScrollingDown | dsFastTimer | dsSlowTimer;
  if ((state_ & bits) == want) return;
  state_ = (state_ & ~bits) | want;
  SetTimer(Handle(), kScrollTimer, fast ? scrollTimeFast_ : scrollTimeSlow_, nullptr);
}

void TDropDownWnd::ScrollTimerStop() {
  if (HWND h = HandleIfAllocated()) KillTimer(h, kScrollTimer);
  state_ &= ~(dsScrollingUp | dsScrollingDown | dsFastTimer | dsSlowTimer);
}

void TDropDownWnd::WndProc(ui::TMessage& m) {
  switch (m.msg) {
    case WM_MOUSEACTIVATE: m.result = MA_NOACTIVATE; return;
    case WM_ACTIVATEAPP:
      if (!m.wParam) RollUp(false);
      break;
    case WM_ACTIVATE:
      // The owner's caption stays drawn active while the drop-down has the keys.
      if (LOWORD(m.wParam) != WA_INACTIVE && m.lParam)
        SendMessageW(reinterpret_cast<HWND>(m.lParam), WM_NCACTIVATE, TRUE, 0);
      break;
    case WM_TIMER:
      if (m.wParam == kScrollTimer) {
        DoAutoScroll(state_ & dsScrollingUp);
        RefreshScrollbar();
        return;
      }
      break;
    case WM_REFRESHSCROLLBAR: RefreshScrollbar(); return;
    case WM_SYSCOLORCHANGE:
      // Windows tells only top-level windows: pass it on to the scroll bar,
      // the tree and the grip, as forms do for their controls.
      BroadcastToControls(ui::CM_SYSCOLORCHANGE, m.wParam, m.lParam);
      break;
    default: break;
  }
  TControl::WndProc(m);
}

// ---------------------------------------------------------- tree drop-down --
void TTreeDropDownWnd::SetPopupOptions(TPopupOptions options) {
  TDropDownWnd::SetPopupOptions(options);
  if (!tree_) return;
  auto& tree = tree_->TreeOptions();
  tree.SetPaintOptions((options & poThemeAware) ? tree.PaintOptions() | toThemeAware
                                                : tree.PaintOptions() & ~toThemeAware);
}

void TTreeDropDownWnd::RealignChildWindows(int width, int height) {
  AlignSizeGrip(width, height);
  if (!tree_) return;
  const int side = GetSystemMetrics(SM_CXVSCROLL);
  const bool bar = Scrollbar().Visible();
  Scrollbar().SetBounds(width - side, 0, side, height - (Grabber().Visible() ? side : 0));
  tree_->SetBounds(0, 0, bar ? width - side : width, height);
}

void TTreeDropDownWnd::RefreshScrollbar() {
  if (!tree_) return;
  const int range = static_cast<int>(tree_->RangeY()), page = tree_->ClientHeight();
  TOwnerDrawScrollbar& bar = Scrollbar();
  bar.SetMin(0);
  bar.SetMax(std::max(range, 1));
  bar.SetPageSize(page);
  bar.SetPosition(-tree_->OffsetY());
  if ((range > page) != bar.Visible()) {
    bar.SetVisible(range > page);
    RealignChildWindows(ClientWidth(), ClientHeight());
  }
}

bool TTreeDropDownWnd::AllowClickInWindow(HWND window, POINT) {
  return window && (window == (tree_ ? tree_->HandleIfAllocated() : nullptr) ||
                    window == Scrollbar().HandleIfAllocated() || window == Grabber().HandleIfAllocated());
}

void TTreeDropDownWnd::HotTrack(TBaseLazyTree& tree, int x, int y) {
  if (PLazyNode node = tree.GetNodeAt(x, y); node && node != tree.FocusedNode()) {
    tree.ClearSelection();
    tree.SetFocusedNode(node);
    tree.SetSelected(node, true);
  }
}

void TTreeDropDownWnd::NavigateTree(const MSG& msg, WPARAM key) {
  if (!tree_->FocusedNode()) {
    if (PLazyNode first = tree_->GetFirst()) {
      tree_->SetFocusedNode(first);
      tree_->SetSelected(first, true);
    }
  } else {
    SendMessageW(tree_->Handle(), WM_KEYDOWN, key, msg.lParam);
  }
  RefreshScrollbar();
}

void TTreeDropDownWnd::WndProc(ui::TMessage& m) {
  // The scroll bar's actions: the thumb sets the tree's offset, the rest go to the tree.
  if (tree_ && m.msg == WM_VSCROLL && reinterpret_cast<HWND>(m.lParam) == Scrollbar().HandleIfAllocated()) {
    const int code = LOWORD(m.wParam);
    if (code == SB_THUMBTRACK)
      tree_->SetOffsetY(-Scrollbar().Position());
    else
      SendMessageW(tree_->Handle(), WM_VSCROLL, m.wParam, 0);
    RefreshScrollbar();
    return;
  }
  TDropDownWnd::WndProc(m);
}

// ------------------------------------------------------- explorer drop-down --
TPopupExplorerTree::TPopupExplorerTree(TPopupExplorerDropDown& dropDown) : dropDown_(dropDown) {
  SetBorderStyle(TTreeBorderStyle::bsNone);
  ScrollBarOptions().SetScrollBars(TScrollStyle::ssNone);
  SetFileObjects(foFolders);
  SetDefaultNodeHeight(17);
  SetIndent(10);
  auto& options = GetOptions();
  options.SetPaintOptions((options.PaintOptions() | toHotTrack | toPopupMode) & ~toShowDropmark);
  options.SetSelectionOptions(options.SelectionOptions() | toFullRowSelect);
  OnEnumFolder = [this](TCustomLazyExplorerTree& tree, TNamespace& folder, bool& allow) {
    dropDown_.FilterFolder(tree, folder, allow);
  };
}

void TPopupExplorerTree::MouseMove(int x, int y) {
  const int height = ClientHeight();
  if (y < 0 || y >= height) {
    const bool up = y < 0;
    const int distance = up ? -y : y - height + 1;
    dropDown_.ScrollTimerCreate(up, distance > 20);
    return;
  }
  dropDown_.ScrollTimerStop();
  TTreeDropDownWnd::HotTrack(*this, x, y);
}

void TPopupExplorerTree::WndProc(ui::TMessage& m) {
  switch (m.msg) {
    case WM_MOUSEACTIVATE: m.result = MA_NOACTIVATE; return;
    case WM_MOUSEMOVE: MouseMove(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)); return;
    case WM_LBUTTONDOWN: {
      TTreeHitInfo hit;
      GetHitTestInfoAt(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam), true, hit);
      if (hit.HitPositions.Contains(hpOnItemButton) &&
          dropDown_.ComboBoxStyle() == TComboBoxStyle::cbsExplorerEnhanced)
        break;  // the button only expands or collapses
      if (hit.HitNode) {
        ClearSelection();
        SetFocusedNode(hit.HitNode);
        SetSelected(hit.HitNode, true);
        dropDown_.RollUp(true);
      }
      return;
    }
    default: break;
  }
  TCustomLazyExplorerTree::WndProc(m);
}

void TPopupExplorerTree::DoExpanded(PLazyNode node) {
  TCustomLazyExplorerTree::DoExpanded(node);
  if (dropDown_.HandleAllocated()) PostMessageW(dropDown_.HandleIfAllocated(), WM_REFRESHSCROLLBAR, 0, 0);
}

void TPopupExplorerTree::DoCollapsed(PLazyNode node) {
  TCustomLazyExplorerTree::DoCollapsed(node);
  if (dropDown_.HandleAllocated()) PostMessageW(dropDown_.HandleIfAllocated(), WM_REFRESHSCROLLBAR, 0, 0);
}

void TPopupExplorerTree::DoGetText(PLazyNode node, TColumnIndex column, TLSTTextType type, std::wstring& text) {
  TNamespace* ns = nullptr;
  if (ValidateNamespace(node, ns)) text = ns->GetNameInFolder();
  TCustomLazyExplorerTree::DoGetText(node, column, type, text);
}

TPopupExplorerDropDown::TPopupExplorerDropDown() { SetDropDownCount(8); }

TPopupExplorerTree& TPopupExplorerDropDown::ExplorerTree() {
  // Made on first use, not in the constructor, so that a descendant's factory is the one called.
  if (!tree_) {
    auto tree = CreatePopupExplorerTree();
    tree_ = tree.get();
    SetTree(*tree_);
    InsertComponent(std::move(tree));
    tree_->SetParent(this);
    SetFocusControl(tree_);
    SetComboBoxStyle(style_);
    SetPopupOptions(PopupOptions());
  }
  return *tree_;
}

TPopupExplorerDropDown::~TPopupExplorerDropDown() = default;

std::unique_ptr<TPopupExplorerTree> TPopupExplorerDropDown::CreatePopupExplorerTree() {
  return std::make_unique<TPopupExplorerTree>(*this);
}

void TPopupExplorerDropDown::SetComboBoxStyle(TComboBoxStyle style) {
  style_ = style;
  if (!tree_) return;
  auto& options = tree_->GetOptions();
  const uint32_t lines = toShowTreeLines | toShowButtons | toShowRoot;
  options.SetPaintOptions(style == TComboBoxStyle::cbsExplorerEnhanced ? options.PaintOptions() | lines
                                                                       : options.PaintOptions() & ~lines);
}

void TPopupExplorerDropDown::SetSelectPIDL(LPCITEMIDLIST pidl, bool expand, bool select) {
  selectPIDL_ = pidl ? TPIDLManager::CopyPIDL(pidl) : nullptr;
  expandToSelect_ = expand;
  selectTarget_ = select;
}

void TPopupExplorerDropDown::FilterFolder(TCustomLazyExplorerTree& tree, TNamespace& folder, bool& allow) {
  if (style_ == TComboBoxStyle::cbsClassic) {
    // The desktop's children two levels deep, and the path to the current folder.
    LPCITEMIDLIST list = folder.AbsolutePIDL();
    const bool onPath = selectPIDL_ && (ILIsParentSafe(list, selectPIDL_.get(), false) ||
                                        ILIsEqualSafe(list, selectPIDL_.get()));
    allow = IDListCount(list) <= 2 || onPath;
  }
  if (allow && OnEnumFolder) OnEnumFolder(tree, folder, allow);
}

bool TPopupExplorerDropDown::DoRollDownInit() {
  ExplorerTree();
  return TTreeDropDownWnd::DoRollDownInit();
}

void TPopupExplorerDropDown::DoRollDown() {
  ExplorerTree().SetActive(true);
  if (style_ == TComboBoxStyle::cbsClassic) {
    // The classic list: every listed folder shown, nothing to expand by hand.
    tree_->RebuildRootNamespace();
    tree_->FullExpand();
  }
  LPCITEMIDLIST target = selectPIDL_ ? selectPIDL_.get() : DesktopFolder()->AbsolutePIDL();
  tree_->BrowseToByPIDL(target, expandToSelect_, false, false, selectTarget_);
  if (PLazyNode node = tree_->FocusedNode()) tree_->ScrollIntoView(node, false);
  RefreshScrollbar();
  TDropDownWnd::DoRollDown();
}

void TPopupExplorerDropDown::DoRollUp(bool selected) {
  TNamespace* folder = nullptr;
  if (!tree_) return TDropDownWnd::DoRollUp(selected);
  if (selected && tree_->FocusedNode()) tree_->ValidateNamespace(tree_->FocusedNode(), folder);
  if (folder && OnFolderSelected) OnFolderSelected(*folder);
  TDropDownWnd::DoRollUp(selected);
  tree_->SetActive(false);
}

bool TPopupExplorerDropDown::KeyPressDispatch(MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  WPARAM key = msg.wParam == VK_TAB ? VK_DOWN : msg.wParam;
  switch (key) {
    case VK_PRIOR: case VK_NEXT: case VK_UP: case VK_DOWN: case VK_LEFT: case VK_RIGHT:
    case VK_ADD: case VK_SUBTRACT:
      NavigateTree(msg, key);
      return true;
    default:
      RollUp(key == VK_RETURN);
      return true;
  }
}

void TPopupExplorerDropDown::DoAutoScroll(bool up) {
  if (tree_) SendMessageW(tree_->Handle(), WM_VSCROLL, up ? SB_LINEUP : SB_LINEDOWN, 0);
}


}  // namespace kv
