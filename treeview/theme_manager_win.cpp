#include "treeview/theme_manager_win.h"

#include <uxtheme.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "treeview/theme_services_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "ui/std_controls_win.h"
#include "ui/toolbar_win.h"

namespace kv {
namespace {

// The choice of the main manager among the live ones. The main manager's
// death hands its role to the oldest other manager under the same lock.
struct ManagerRegistry {
  std::mutex lock;
  TThemeManager* main = nullptr;
  std::vector<TThemeManager*> all;
};
ManagerRegistry& Registry() {
  static ManagerRegistry registry;
  return registry;
}

// The list of the first class test that matches and whose option is set
// (every test counts when removing), or none. The layer has no list views,
// tab sheets, animations or check list boxes; its speed buttons are buttons
// the system paints, so the speed-button procedure (for buttons the library
// paints itself) never applies to them: with the buttons' option off they go
// on to the windowed controls.
std::optional<TThemeListKind> ListFor(ui::TControl& c, TThemeOptions options, bool inserting) {
  using K = TThemeListKind;
  const auto on = [&](TThemeOptions option) { return !inserting || (options & option) != 0; };
  if ((dynamic_cast<ui::TButton*>(&c) || dynamic_cast<ui::TCheckBox*>(&c) ||
       dynamic_cast<ui::TRadioButton*>(&c)) && on(toSubclassButtons))
    return K::ButtonControl;
  if (dynamic_cast<ui::TGroupBox*>(&c) && on(toSubclassGroupBox)) return K::GroupBox;
  if (dynamic_cast<ui::TPanel*>(&c) && on(toSubclassPanel)) return K::Panel;
  if (dynamic_cast<ui::TFrame*>(&c) && on(toSubclassFrame)) return K::Frame;
  if (dynamic_cast<ui::TTrackBar*>(&c) && on(toSubclassTrackBar)) return K::TrackBar;
  if (dynamic_cast<ui::TStatusBar*>(&c) && on(toSubclassStatusBar)) return K::StatusBar;
  if (dynamic_cast<ui::TForm*>(&c)) return K::Form;
  if (on(toSubclassWinControl)) return K::WinControl;
  return std::nullopt;
}

// Whether the control is of the class a list holds. The list views, tab
// sheets, animations and check list boxes have no class in this layer.
bool OfListClass(TThemeListKind kind, ui::TControl& c) {
  using K = TThemeListKind;
  switch (kind) {
    case K::ButtonControl:
      return dynamic_cast<ui::TButton*>(&c) || dynamic_cast<ui::TCheckBox*>(&c) ||
             dynamic_cast<ui::TRadioButton*>(&c);
    case K::SpeedButton: return dynamic_cast<ui::TSpeedButton*>(&c) != nullptr;
    case K::GroupBox: return dynamic_cast<ui::TGroupBox*>(&c) != nullptr;
    case K::Panel: return dynamic_cast<ui::TPanel*>(&c) != nullptr;
    case K::Frame: return dynamic_cast<ui::TFrame*>(&c) != nullptr;
    case K::TrackBar: return dynamic_cast<ui::TTrackBar*>(&c) != nullptr;
    case K::StatusBar: return dynamic_cast<ui::TStatusBar*>(&c) != nullptr;
    case K::Form: return dynamic_cast<ui::TForm*>(&c) != nullptr;
    case K::WinControl: return true;
    case K::ListView:
    case K::TabSheet:
    case K::Animate:
    case K::CheckListBox: return false;
  }
  return false;
}

const wchar_t* HookClass() {
  static const wchar_t* name = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KvThemeManagerWindow";
    RegisterClassW(&wc);
    return wc.lpszClassName;
  }();
  return name;
}

}  // namespace

// ------------------------------------------------------------- the lists --

TWindowProcList::TWindowProcList(TThemeManager& manager, TThemeListKind kind)
    : manager_(manager), kind_(kind) {}

int TWindowProcList::Add(ui::TControl& control) {
  if (!OfListClass(kind_, control) || Find(&control) >= 0) return -1;
  entries_.push_back({&control, control.WindowProc()});
  sorted_ = false;
  lastControl_ = nullptr;
  // The entry point always goes to the main manager's list of this class.
  const TThemeListKind kind = kind_;
  ui::TControl* target = &control;
  control.SetWindowProc([kind, target](ui::TMessage& m) {
    TThemeManager* main = TThemeManager::MainManager();
    if (!main) throw std::logic_error("Assertion failure");
    main->WindowProc(kind, *target, m);
  });
  // A freed control leaves the list without being touched again.
  control.FreeNotification(&manager_);
  return static_cast<int>(entries_.size()) - 1;
}

int TWindowProcList::Find(const ui::TControl* control) {
  if (control && control == lastControl_) return lastIndex_;
  if (!sorted_ && entries_.size() >= 2)
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
      return std::less<const ui::TControl*>()(a.control, b.control);
    });
  sorted_ = true;
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), control,
                                   [](const Entry& e, const ui::TControl* c) {
                                     return std::less<const ui::TControl*>()(e.control, c);
                                   });
  if (it == entries_.end() || it->control != control) return -1;
  lastControl_ = control;
  lastIndex_ = static_cast<int>(it - entries_.begin());
  return lastIndex_;
}

void TWindowProcList::Remove(ui::TControl& control) {
  const int index = Find(&control);
  if (index < 0) return;
  ui::TWndMethod saved = std::move(entries_[static_cast<size_t>(index)].saved);
  entries_.erase(entries_.begin() + index);
  lastControl_ = nullptr;
  control.SetWindowProc(std::move(saved));
  control.RemoveFreeNotification(&manager_);
  // The children go with their parent.
  for (size_t i = 0; i < control.ControlCount(); ++i)
    manager_.HandleControlChange(*control.Controls(i), false);
}

void TWindowProcList::Forget(const ui::TComponent* component) {
  // Upcasts only: the control's own part may already be destroyed.
  const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return static_cast<const ui::TComponent*>(e.control) == component;
  });
  if (it == entries_.end()) return;
  entries_.erase(it);
  lastControl_ = nullptr;
}

void TWindowProcList::Clear() {
  while (!entries_.empty()) Remove(*entries_.back().control);
}

void TWindowProcList::CallSaved(ui::TControl& control, ui::TMessage& m) {
  const int index = Find(&control);
  if (index < 0) {
    control.DefaultHandler(m);
    return;
  }
  // A copy: the handler may add or drop entries.
  const ui::TWndMethod saved = entries_[static_cast<size_t>(index)].saved;
  saved(m);
}

// ------------------------------------------------------------ the manager --

TThemeManager::TThemeManager() {
  for (int i = 0; i < kThemeListCount; ++i)
    lists_[static_cast<size_t>(i)] =
        std::make_unique<TWindowProcList>(*this, static_cast<TThemeListKind>(i));
  window_ = CreateWindowExW(WS_EX_TOOLWINDOW, HookClass(), L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window_) throw std::runtime_error("the theme manager's window could not be made");
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HookProc));
  bool becameMain = false;
  {
    ManagerRegistry& registry = Registry();
    const std::lock_guard<std::mutex> guard(registry.lock);
    registry.all.push_back(this);
    if (!registry.main) {
      registry.main = this;
      becameMain = true;
    } else {
      options_ = registry.main->options_;
    }
  }
  if (becameMain) ui::Application().OnFormAdded = [this](ui::TForm* form) { FormAdded(form); };
}

TThemeManager::~TThemeManager() {
  TThemeManager* successor = nullptr;
  bool wasMain = false;
  {
    ManagerRegistry& registry = Registry();
    const std::lock_guard<std::mutex> guard(registry.lock);
    registry.all.erase(std::remove(registry.all.begin(), registry.all.end(), this),
                       registry.all.end());
    if (registry.main == this) {
      wasMain = true;
      // The released main role goes to the oldest other manager.
      registry.main = registry.all.empty() ? nullptr : registry.all.front();
      successor = registry.main;
    }
  }
  for (auto& list : lists_) list->Clear();
  // Only the main manager's handler is installed: a sub manager going leaves
  // the main one collecting the forms made later.
  if (wasMain && !successor) ui::Application().OnFormAdded = nullptr;
  // The hook must not run for a manager half gone.
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
  if (successor) ui::Guarded([&] { successor->BecomeMain(); return 0; }, 0);
}

TThemeManager* TThemeManager::MainManager() {
  ManagerRegistry& registry = Registry();
  const std::lock_guard<std::mutex> guard(registry.lock);
  return registry.main;
}

void TThemeManager::BecomeMain() {
  ui::Application().OnFormAdded = [this](ui::TForm* form) { FormAdded(form); };
  CollectForms(nullptr);
}

void TThemeManager::StopBeingMain() { ClearLists(); }

void TThemeManager::ForceAsMainManager() {
  TThemeManager* previous = nullptr;
  {
    ManagerRegistry& registry = Registry();
    const std::lock_guard<std::mutex> guard(registry.lock);
    previous = registry.main;
    registry.main = this;
  }
  if (previous == this) return;
  if (previous) previous->StopBeingMain();
  BecomeMain();
}

void TThemeManager::SetOptions(TThemeOptions options) {
  if (!IsMainManager()) {
    if (TThemeManager* main = MainManager()) main->SetOptions(options);
    options_ = options;
    return;
  }
  if (options == options_) return;
  options_ = options;
  TThemeServices& services = ThemeServices();
  if (!services.ThemesAvailable()) return;
  SetThemeAppProperties(options_ & (STAP_ALLOW_NONCLIENT | STAP_ALLOW_CONTROLS |
                                    STAP_ALLOW_WEBCONTENT));
  if (Loading()) return;
  UpdateThemes();
  BroadcastThemeChange();
  SendMessageW(window_, WM_THEMECHANGED, 0, 0);
  for (ui::TForm* form : ui::Application().Forms())
    if (HWND h = form->HandleIfAllocated())
      RedrawWindow(h, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_ALLCHILDREN |
                       RDW_UPDATENOW | RDW_ERASENOW | RDW_FRAME);
}

void TThemeManager::UpdateThemes() {
  TThemeServices& services = ThemeServices();
  services.UpdateThemes();
  if (services.ThemesAvailable())
    options_ = (options_ & ~TThemeOptions{7}) | (GetThemeAppProperties() & 7);
}

void TThemeManager::Loaded() {
  ui::TComponent::Loaded();
  if (IsMainManager()) CollectForms(nullptr);
}

void TThemeManager::CollectForms(ui::TForm* form) {
  if (!IsMainManager()) return;
  if (form) {
    HandleControlChange(*form, true);
  } else {
    ClearLists();
    for (ui::TForm* f : ui::Application().Forms()) HandleControlChange(*f, true);
  }
  if (options_ & (toResetMouseCapture | toSetTransparency)) FixControls(form);
}

void TThemeManager::CollectControls(ui::TControl* parent) {
  if (!parent) throw std::invalid_argument("Parent of controls to be collected must be valid.");
  for (size_t i = 0; i < parent->ControlCount(); ++i) {
    ui::TControl& child = *parent->Controls(i);
    HandleControlChange(child, true);
    if (child.ControlCount() > 0) CollectControls(&child);
  }
}

void TThemeManager::HandleControlChange(ui::TControl& control, bool inserting) {
  if (!ThemeServices().ThemesAvailable()) return;
  const std::optional<TThemeListKind> chosen = ListFor(control, options_, inserting);
  if (!chosen) return;
  const TThemeListKind kind = *chosen;
  TWindowProcList& list = List(kind);
  bool allow = inserting && DoAllowSubclassing(control);
  if (allow) {
    ui::TMessage deny{ui::CM_DENYSUBCLASSING, 0, 0};
    control.WindowProc()(deny);
    allow = deny.result == 0;
  }
  if (allow) {
    list.Add(control);
  } else if (list.Find(&control) >= 0) {
    list.Remove(control);
  } else {
    // Joined a later list while its own class's option was off: a control
    // that leaves is unsubclassed whichever list holds it.
    for (auto& other : lists_)
      if (other->Find(&control) >= 0) other->Remove(control);
  }
  // A form or frame coming in has its controls collected whether or not it
  // may be subclassed itself (after a removal, which takes its children).
  if (!inserting) return;
  if (kind == TThemeListKind::Form) {
    pendingForms_.erase(std::remove(pendingForms_.begin(), pendingForms_.end(), &control),
                        pendingForms_.end());
    CollectControls(&control);
  } else if (kind == TThemeListKind::Frame) {
    CollectControls(&control);
  }
}

void TThemeManager::ClearLists() {
  using K = TThemeListKind;
  List(K::ListView).Clear();
  // Every list whether or not styles are on: a control left with the
  // manager's method would reach a manager that is gone.
  for (K kind : {K::CheckListBox, K::StatusBar, K::Animate, K::TrackBar, K::SpeedButton,
                 K::ButtonControl, K::TabSheet, K::WinControl, K::GroupBox, K::Form, K::Panel,
                 K::Frame})
    List(kind).Clear();
}

bool TThemeManager::Subclassed(const ui::TControl& control) {
  for (auto& list : lists_)
    if (list->Find(&control) >= 0) return true;
  return false;
}

size_t TThemeManager::ListCount(TThemeListKind kind) const {
  return lists_[static_cast<size_t>(kind)]->Count();
}

void TThemeManager::RemoveEverywhere(const ui::TComponent* component) {
  for (auto& list : lists_) list->Forget(component);
}

void TThemeManager::Notification(ui::TComponent* component, ui::TOperation operation) {
  ui::TComponent::Notification(component, operation);
  if (operation != ui::TOperation::Remove) return;
  // Freed: the control's own part may already be gone; compare addresses only.
  pendingForms_.erase(std::remove_if(pendingForms_.begin(), pendingForms_.end(),
                                     [&](ui::TForm* f) {
                                       return static_cast<ui::TComponent*>(f) == component;
                                     }),
                      pendingForms_.end());
  RemoveEverywhere(component);
}

void TThemeManager::FormAdded(ui::TForm* form) {
  if (std::find(pendingForms_.begin(), pendingForms_.end(), form) != pendingForms_.end()) return;
  pendingForms_.push_back(form);
  form->FreeNotification(this);
  PostMessageW(window_, WM_NULL, 0, 0);
}

LRESULT CALLBACK TThemeManager::HookProc(HWND hwnd, UINT msg, WPARAM wParam,
                                         LPARAM lParam) noexcept {
  auto* self = reinterpret_cast<TThemeManager*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) ui::Guarded([&] { self->MainWindowHook(msg); return 0; }, 0);
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void TThemeManager::MainWindowHook(UINT msg) {
  while (!pendingForms_.empty()) {
    ui::TForm* form = pendingForms_.front();
    pendingForms_.erase(pendingForms_.begin());
    form->RemoveFreeNotification(this);
    if (!IsMainManager()) continue;
    HandleControlChange(*form, true);
    if (options_ & (toResetMouseCapture | toSetTransparency)) FixControls(form);
    if (HWND h = form->HandleIfAllocated())
      RedrawWindow(h, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_VALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  if (msg == WM_THEMECHANGED) {
    UpdateThemes();
    DoOnThemeChange();
  }
}

void TThemeManager::BroadcastThemeChange() {
  std::function<void(ui::TControl&)> send = [&](ui::TControl& c) {
    if (HWND h = c.HandleIfAllocated()) SendMessageW(h, WM_THEMECHANGED, 0, 0);
    for (size_t i = 0; i < c.ControlCount(); ++i) send(*c.Controls(i));
  };
  for (ui::TForm* form : ui::Application().Forms()) send(*form);
}

void TThemeManager::FixControls(ui::TForm* form) {
  // Tab-page texture only under a style; tool bars become transparent either way.
  const bool themed = ThemeServices().ThemesEnabled();
  std::function<void(ui::TControl&)> fix = [&](ui::TControl& c) {
    HWND h = c.HandleIfAllocated();
    if (h && themed) EnableThemeDialogTexture(h, ETDT_ENABLETAB);
    // A tool bar lets its parent show between the buttons. (Its buttons are
    // the system's, so there is no mouse-capture style to take away.)
    if (h && (options_ & toSetTransparency) && dynamic_cast<ui::TToolBar*>(&c)) {
      const auto style = static_cast<DWORD>(SendMessageW(h, TB_GETSTYLE, 0, 0));
      if (!(style & TBSTYLE_TRANSPARENT)) {
        SendMessageW(h, TB_SETSTYLE, 0, style | TBSTYLE_TRANSPARENT);
        InvalidateRect(h, nullptr, TRUE);
      }
    }
    for (size_t i = 0; i < c.ControlCount(); ++i) fix(*c.Controls(i));
  };
  if (form) {
    fix(*form);
  } else {
    for (ui::TForm* f : ui::Application().Forms()) fix(*f);
  }
}

int TThemeManager::RegisterListener(TListener listener) {
  listeners_.emplace_back(nextListener_, std::move(listener));
  return nextListener_++;
}

void TThemeManager::UnregisterListener(int id) {
  listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                  [id](const auto& l) { return l.first == id; }),
                   listeners_.end());
}

bool TThemeManager::DoAllowSubclassing(ui::TControl& control) {
  bool allow = true;
  if (OnAllowSubclassing) OnAllowSubclassing(*this, control, allow);
  return allow;
}

bool TThemeManager::DoControlMessage(ui::TControl& control, ui::TMessage& m) {
  bool handled = false;
  if (OnControlMessage) OnControlMessage(*this, control, m, handled);
  for (size_t i = 0; !handled && i < listeners_.size(); ++i) {
    const TListener listener = listeners_[i].second;
    handled = listener(control, m);
  }
  return handled;
}

void TThemeManager::DoOnThemeChange() {
  if (OnThemeChange) OnThemeChange(this);
}

bool TThemeManager::NeedsBorderPaint(ui::TControl& control) {
  // Scrolling controls: the layer's memos with scroll bars.
  HWND h = control.HandleIfAllocated();
  return h && (GetWindowLongPtrW(h, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL)) != 0;
}

}  // namespace kv
