#include "ui/forms_win.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "ui/application_win.h"
#include "ui/std_controls_win.h"

namespace kv::ui {

namespace {

// Visible buttons of the form, depth first, for Enter and Esc.
TButton* FindButton(TControl* root, bool wantDefault) {
  for (size_t i = 0; i < root->ControlCount(); ++i) {
    TControl* c = root->Controls(i);
    if (!c->Visible() || !c->Enabled()) continue;
    if (auto* b = dynamic_cast<TButton*>(c); b && (wantDefault ? b->Default() : b->Cancel())) return b;
    if (TButton* inner = FindButton(c, wantDefault)) return inner;
  }
  return nullptr;
}

// Re-enables the forms a modal loop disabled, however the loop ends.
class DisabledForms {
 public:
  explicit DisabledForms(const TForm* except) {
    for (TForm* f : Application().Forms()) {
      HWND h = f->HandleIfAllocated();
      if (f != except && h && IsWindowVisible(h) && IsWindowEnabled(h)) {
        EnableWindow(h, FALSE);
        windows_.push_back(h);
      }
    }
  }
  DisabledForms(const DisabledForms&) = delete;
  DisabledForms& operator=(const DisabledForms&) = delete;
  ~DisabledForms() {
    for (HWND h : windows_)
      if (IsWindow(h)) EnableWindow(h, TRUE);
  }

 private:
  std::vector<HWND> windows_;
};

}  // namespace

TForm::TForm() {
  bounds_ = {100, 100, 320, 240};
  InitVisible(false);
  Application().AddForm(this);
  // A form whose window cannot be made (handles exhausted) never existed:
  // its destructor will not run, so it leaves the list here.
  try {
    CreateHandle();
  } catch (...) {
    Application().RemoveForm(this);
    throw;
  }
}

TForm::~TForm() {
  *alive_ = false;
  DestroyComponents();
  DestroyHandle();
  Application().RemoveForm(this);
}

void TForm::CreateParams(TCreateParams& params) {
  params.className = OwnWindowClass();
  params.style = WS_CLIPSIBLINGS;
  params.exStyle = WS_EX_CONTROLPARENT | (formStyle_ == TFormStyle::StayOnTop ? WS_EX_TOPMOST : 0);
  switch (borderStyle_) {
    case TBorderStyle::None: params.style |= WS_POPUP; break;
    case TBorderStyle::Single: params.style |= WS_CAPTION | WS_BORDER; break;
    case TBorderStyle::Sizeable: params.style |= WS_CAPTION | WS_THICKFRAME; break;
    case TBorderStyle::Dialog:
      params.style |= WS_CAPTION | WS_POPUP;
      params.exStyle |= WS_EX_DLGMODALFRAME;
      break;
    case TBorderStyle::ToolWindow:
      params.style |= WS_CAPTION;
      params.exStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (borderStyle_ != TBorderStyle::None && (borderIcons_ & biSystemMenu)) {
    params.style |= WS_SYSMENU;
    const bool boxes = borderStyle_ == TBorderStyle::Single || borderStyle_ == TBorderStyle::Sizeable;
    if (boxes && (borderIcons_ & biMinimize)) params.style |= WS_MINIMIZEBOX;
    if (boxes && (borderIcons_ & biMaximize)) params.style |= WS_MAXIMIZEBOX;
  }
  if (Visible()) params.style |= WS_VISIBLE;
  params.parent = nullptr;
}

void TForm::ApplyStyle() {
  HWND h = HandleIfAllocated();
  if (!h) return;
  TCreateParams params;
  CreateParams(params);
  SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(params.style));
  SetWindowLongPtrW(h, GWL_EXSTYLE, static_cast<LONG_PTR>(params.exStyle & ~WS_EX_TOPMOST));
  // Keep the outer size: what the program set stays set.
  SetWindowPos(h, formStyle_ == TFormStyle::StayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, bounds_.left,
               bounds_.top, bounds_.width, bounds_.height, SWP_NOACTIVATE | SWP_FRAMECHANGED);
  Realign();
}

void TForm::SetBorderStyle(TBorderStyle style) {
  borderStyle_ = style;
  ApplyStyle();
}

void TForm::SetBorderIcons(TBorderIcons icons) {
  borderIcons_ = icons;
  ApplyStyle();
}

void TForm::SetFormStyle(TFormStyle style) {
  formStyle_ = style;
  if (HWND h = HandleIfAllocated())
    SetWindowPos(h, style == TFormStyle::StayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

TWindowState TForm::WindowState() const {
  HWND h = HandleIfAllocated();
  if (!h || !IsWindowVisible(h)) return pendingState_;
  if (IsZoomed(h)) return TWindowState::Maximized;
  if (IsIconic(h)) return TWindowState::Minimized;
  return TWindowState::Normal;
}

void TForm::SetWindowState(TWindowState state) {
  pendingState_ = state;
  HWND h = HandleIfAllocated();
  if (h && IsWindowVisible(h))
    ShowWindow(h, state == TWindowState::Maximized   ? SW_MAXIMIZE
                  : state == TWindowState::Minimized ? SW_MINIMIZE
                                                     : SW_RESTORE);
}

int TForm::ClientWidth() const {
  RECT r{};
  if (HWND h = HandleIfAllocated()) GetClientRect(h, &r);
  return r.right;
}

int TForm::ClientHeight() const {
  RECT r{};
  if (HWND h = HandleIfAllocated()) GetClientRect(h, &r);
  return r.bottom;
}

void TForm::SetClientWidth(int width) { SetWidth(width + (Width() - ClientWidth())); }
void TForm::SetClientHeight(int height) { SetHeight(height + (Height() - ClientHeight())); }

void TForm::ApplyBounds() {
  HWND h = HandleIfAllocated();
  if (!h) return;
  if (IsZoomed(h) || IsIconic(h)) {  // the bounds are the normal ones, under the state
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(h, &placement);
    placement.rcNormalPosition = {bounds_.left, bounds_.top, bounds_.left + bounds_.width,
                                  bounds_.top + bounds_.height};
    SetWindowPlacement(h, &placement);
    return;
  }
  SetWindowPos(h, nullptr, bounds_.left, bounds_.top, bounds_.width, bounds_.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::ReadBounds() {
  HWND h = HandleIfAllocated();
  if (!h || IsIconic(h) || IsZoomed(h)) return;  // keep the normal bounds
  RECT r;
  GetWindowRect(h, &r);
  bounds_ = {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void TForm::CenterOn(const TForm* other) {
  TBounds area;
  if (other) {
    area = other->Bounds();
  } else {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    area = {work.left, work.top, work.right - work.left, work.bottom - work.top};
  }
  SetBounds(area.left + (area.width - Width()) / 2, area.top + (area.height - Height()) / 2,
            Width(), Height());
}

void TForm::SetVisible(bool visible) {
  if (visible == Visible()) return;
  if (visible && position_ == TPosition::ScreenCenter) CenterOn(nullptr);
  if (visible && position_ == TPosition::MainFormCenter) {
    TForm* main = Application().MainForm();
    CenterOn(main && main != this && main->Visible() ? main : nullptr);
  }
  InitVisible(visible);
  HWND h = HandleIfAllocated();
  if (!h) return;
  if (!visible) {
    ShowWindow(h, SW_HIDE);
    return;
  }
  focusOnActivate_ = true;
  ShowWindow(h, pendingState_ == TWindowState::Maximized   ? SW_SHOWMAXIMIZED
                : pendingState_ == TWindowState::Minimized ? SW_SHOWMINIMIZED
                                                           : SW_SHOWNORMAL);
  if (formStyle_ == TFormStyle::StayOnTop)
    SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  // Activated while showing: the focus goes where the form wants it now;
  // otherwise at the activation that follows (WM_ACTIVATE).
  if (GetActiveWindow() == h) FocusActiveControl();
  UpdateWindow(h);
}

void TForm::SetActiveControl(TControl* control) {
  if (activeControl_ && activeControl_->Owner() != this) activeControl_->RemoveFreeNotification(this);
  activeControl_ = control;
  // A control owned elsewhere tells the form when it goes.
  if (control && control->Owner() != this) control->FreeNotification(this);
  if (control && Visible() && GetActiveWindow() == HandleIfAllocated()) {
    focusOnActivate_ = true;
    FocusActiveControl();
  }
}

void TForm::Notification(TComponent* component, TOperation operation) {
  TControl::Notification(component, operation);
  if (operation == TOperation::Remove && component == activeControl_) activeControl_ = nullptr;
}

void TForm::FocusActiveControl() {
  if (!focusOnActivate_) return;
  HWND target = activeControl_ ? activeControl_->HandleIfAllocated() : nullptr;
  if (target == nullptr) {
    focusOnActivate_ = false;
    return;
  }
  if (!IsWindowVisible(target) || !IsWindowEnabled(target)) return;  // the next activation tries again
  focusOnActivate_ = false;
  SetFocus(target);
}

bool TForm::CloseQuery() {
  bool canClose = true;
  Fire(OnCloseQuery, this, canClose);
  return canClose;
}

void TForm::Close() {
  if (modal_) {  // the modal loop runs the close protocol
    modalResult_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  const bool main = Application().MainForm() == this;
  TCloseAction action = main ? TCloseAction::Free : TCloseAction::Hide;
  Fire(OnClose, this, action);
  if (action == TCloseAction::None) return;
  if (main) {
    Hide();
    Application().Terminate();
  } else if (action == TCloseAction::Minimize) {
    SetWindowState(TWindowState::Minimized);
  } else {
    Hide();  // Free: the owner frees the form; a window never frees itself
  }
}

int TForm::ShowModal() {
  if (modal_ || Visible()) throw std::logic_error("cannot make a visible window modal");
  HWND previous = GetActiveWindow();
  modalResult_ = mrNone;
  modal_ = true;
  // Owned by the window that was active, a modal form stays above it.
  HWND self = HandleIfAllocated();
  if (previous && previous != self && GetAncestor(previous, GA_ROOT) == previous)
    SetWindowLongPtrW(self, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(previous));
  const std::shared_ptr<bool> alive = alive_;
  DisabledForms disabled(this);
  ScopeGuard end([this, previous, &alive] {
    if (*alive) {
      modal_ = false;
      Hide();
      SetWindowLongPtrW(HandleIfAllocated(), GWLP_HWNDPARENT, 0);
    }
    if (previous && IsWindow(previous)) SetActiveWindow(previous);
  });
  Show();
  SetActiveWindow(self);
  for (;;) {
    Application().HandleMessage();
    if (!*alive) return mrCancel;  // freed by a handler: touch nothing of it
    if (Application().Terminated()) {
      modalResult_ = mrCancel;
      Application().RepostQuit();
      break;
    }
    if (modalResult_ == mrNone) continue;
    // The close protocol may refuse or veto the result.
    TCloseAction action = TCloseAction::Hide;
    if (!CloseQuery()) {
      modalResult_ = mrNone;
      continue;
    }
    Fire(OnClose, this, action);
    if (action == TCloseAction::None) {
      modalResult_ = mrNone;
      continue;
    }
    break;
  }
  return modalResult_;
}

void TForm::Loaded() {
  TControl::Loaded();
  Fire(OnCreate, this);
}

bool TForm::DialogKey(HWND focus, WPARAM key) {
  if (focus != nullptr && GetPropW(focus, kWantAllKeysProp) != nullptr) return false;
  TControl* focused = FromHandle(focus);
  if (!focused && focus) focused = FromHandle(GetParent(focus));  // a combo box's inner edit
  if (auto* combo = dynamic_cast<TComboBox*>(focused))
    if (SendMessageW(combo->HandleIfAllocated(), CB_GETDROPPEDSTATE, 0, 0)) return false;
  if (key == VK_RETURN) {
    if (auto* memo = dynamic_cast<TMemo*>(focused); memo && memo->WantReturns()) return false;
    if (auto* button = dynamic_cast<TButton*>(focused)) {
      button->Click();
      return true;
    }
    if (TButton* button = FindButton(this, true)) {
      button->Click();
      return true;
    }
    return false;
  }
  if (key == VK_ESCAPE) {
    if (TButton* button = FindButton(this, false)) {
      button->Click();
      return true;
    }
  }
  return false;
}

void TForm::UpdateHint(TControl* control) {
  HWND h = HandleIfAllocated();
  HWND target = control->HandleIfAllocated();
  if (!h || !target) return;
  if (!tooltip_) {
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, h,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!tooltip_) return;  // hints are a nicety
  }
  std::wstring text = GetPropW(target, kOwnHintsProp) != nullptr || !control->ShowHint()
                          ? std::wstring()
                          : AnsiToWString(ShortHint(control->Hint()));
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = h;
  ti.uId = reinterpret_cast<UINT_PTR>(target);
  ti.lpszText = text.data();
  SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  if (!text.empty()) SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void TForm::WndProc(TMessage& m) {
  switch (m.msg) {
    case WM_CLOSE:
      Close();
      return;
    case WM_SIZE:
      if (m.wParam == SIZE_MAXIMIZED) pendingState_ = TWindowState::Maximized;
      if (m.wParam == SIZE_MINIMIZED) pendingState_ = TWindowState::Minimized;
      if (m.wParam == SIZE_RESTORED) pendingState_ = TWindowState::Normal;
      ReadBounds();
      Realign();
      if (OnResize) OnResize(this);
      break;
    case WM_SHOWWINDOW:
      TControl::WndProc(m);
      if (m.wParam && OnShow) OnShow(this);
      return;
    case WM_ACTIVATE:
      TControl::WndProc(m);  // the default gives the form itself the focus
      if (LOWORD(m.wParam) != WA_INACTIVE && !HIWORD(m.wParam)) FocusActiveControl();
      return;
    case WM_PAINT:
      if (OnPaint) {
        PAINTSTRUCT ps;
        paintDc_ = BeginPaint(HandleIfAllocated(), &ps);
        const ScopeGuard end([&] {
          paintDc_ = nullptr;
          EndPaint(HandleIfAllocated(), &ps);
        });
        OnPaint(this);
        m.result = 0;
        return;
      }
      break;
    case WM_MOVE:
      ReadBounds();
      break;
    case WM_SYSCOLORCHANGE:
      BroadcastToControls(CM_SYSCOLORCHANGE, m.wParam, m.lParam);
      break;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(m.lParam);
      if (MinWidth() > 0) info->ptMinTrackSize.x = MinWidth();
      if (MinHeight() > 0) info->ptMinTrackSize.y = MinHeight();
      if (maxHeight_ > 0) info->ptMaxTrackSize.y = maxHeight_;
      return;
    }
    default:
      break;
  }
  TControl::WndProc(m);
}

void TFrame::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.exStyle |= WS_EX_CONTROLPARENT;
}

}  // namespace kv::ui
