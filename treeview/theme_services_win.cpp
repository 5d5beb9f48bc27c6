#include "treeview/theme_services_win.h"

#include <commctrl.h>

#include <memory>

#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"

namespace kv {
namespace {

constexpr UINT_PTR kSubclassId = 0x4B765448;  // one subclass per watched window

// Version 6.0 of the common controls, as major * 100 + minor.
constexpr int kFirstThemedComCtl = 600;

}  // namespace

TThemeServices::TThemeServices(HWND window) : window_(window) {
  if (window_) subclassed_ = SetWindowSubclass(window_, &SubclassProc, kSubclassId,
                                               reinterpret_cast<DWORD_PTR>(this));
  library_ = ModuleHandle(LoadLibraryW(L"uxtheme.dll"));
  themesAvailable_ = static_cast<bool>(library_);
  UpdateThemes();
}

TThemeServices::~TThemeServices() {
  Unsubclass();
  UnloadThemeData();
}

void TThemeServices::Unsubclass() {
  if (subclassed_ && IsWindow(window_))
    RemoveWindowSubclass(window_, &SubclassProc, kSubclassId);
  subclassed_ = false;
}

HTHEME TThemeServices::Theme(TThemedElement element) {
  HTHEME& theme = themes_[static_cast<size_t>(element)];
  if (useThemes_ && !theme) theme = OpenThemeData(window_, ThemedElementClassName(element));
  return useThemes_ ? theme : nullptr;
}

void TThemeServices::UpdateThemes() {
  if (useThemes_) UnloadThemeData();
  useThemes_ = themesAvailable_ && IsAppThemed() && IsThemeActive() &&
               ui::ComCtlVersion() >= kFirstThemedComCtl;
  controlsEnabled_ = useThemes_ && (GetThemeAppProperties() & STAP_ALLOW_CONTROLS) != 0;
}

void TThemeServices::UnloadThemeData() {
  // A destroyed watched window took its handles with it.
  const bool closeThem = !window_ || IsWindow(window_);
  for (HTHEME& theme : themes_) {
    if (theme && closeThem) CloseThemeData(theme);
    theme = nullptr;
  }
}

void TThemeServices::DoOnThemeChange() {
  if (OnThemeChange) OnThemeChange(*this);
}

LRESULT CALLBACK TThemeServices::SubclassProc(HWND window, UINT msg, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR, DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<TThemeServices*>(data);
  if (msg == WM_DESTROY) {
    self->Unsubclass();
  } else if (msg == WM_THEMECHANGED) {
    ui::Guarded([&] {
      self->UpdateThemes();
      self->DoOnThemeChange();
      return 0;
    }, 0);
  }
  return DefSubclassProc(window, msg, wParam, lParam);
}

void TThemeServices::DrawElement(HDC dc, const TThemedElementDetails& details, const RECT& r,
                                 const RECT* clipRect) {
  if (HTHEME theme = Theme(details.element))
    DrawThemeBackground(theme, dc, details.part, details.state, &r, clipRect);
}

void TThemeServices::DrawEdge(HDC dc, const TThemedElementDetails& details, const RECT& r,
                              UINT edge, UINT flags, RECT* contentRect) {
  if (HTHEME theme = Theme(details.element))
    DrawThemeEdge(theme, dc, details.part, details.state, &r, edge, flags, contentRect);
}

void TThemeServices::DrawText(HDC dc, const TThemedElementDetails& details,
                              const std::wstring& text, RECT r, DWORD flags, DWORD flags2) {
  if (HTHEME theme = Theme(details.element))
    DrawThemeText(theme, dc, details.part, details.state, text.c_str(),
                  static_cast<int>(text.size()), flags, flags2, &r);
}

RECT TThemeServices::ContentRect(HDC dc, const TThemedElementDetails& details,
                                 const RECT& bounds) {
  RECT content = bounds;
  if (HTHEME theme = Theme(details.element))
    GetThemeBackgroundContentRect(theme, dc, details.part, details.state, &bounds, &content);
  return content;
}

void TThemeServices::DrawParentBackground(HWND window, HDC target,
                                          const TThemedElementDetails* details,
                                          bool onlyIfTransparent, const RECT* bounds) {
  if (onlyIfTransparent && details) {
    HTHEME theme = Theme(details->element);
    if (!theme || !IsThemeBackgroundPartiallyTransparent(theme, details->part, details->state))
      return;
  }
  RECT area = bounds ? *bounds : RECT{};
  DrawThemeParentBackground(window, target, bounds ? &area : nullptr);
}

void TThemeServices::PaintBorder(ui::TControl& control, bool eraseLRCorner) {
  HWND window = control.HandleIfAllocated();
  if (!window) return;
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  if (!(exStyle & WS_EX_CLIENTEDGE)) return;
  RECT r;
  GetWindowRect(window, &r);
  OffsetRect(&r, -r.left, -r.top);
  const ui::WindowDc frame = ui::GetFrameDc(window);
  const HDC dc = frame.Get();
  if (!dc) return;
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  if (eraseLRCorner && (style & WS_HSCROLL) && (style & WS_VSCROLL)) {
    RECT corner = r;
    InflateRect(&corner, -2, -2);
    corner.left = corner.right - GetSystemMetrics(SM_CXVSCROLL);
    corner.top = corner.bottom - GetSystemMetrics(SM_CYHSCROLL);
    FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
  }
  // Only the outer two pixels get the themed edit frame.
  ExcludeClipRect(dc, r.left + 2, r.top + 2, r.right - 2, r.bottom - 2);
  DrawElement(dc, GetElementDetails(TThemedEdit::teEditTextNormal), r);
}

TThemeServices& ThemeServices() {
  static const std::unique_ptr<TThemeServices> instance = [] {
    ui::TForm* main = ui::Application().MainForm();
    return std::make_unique<TThemeServices>(main ? main->HandleIfAllocated() : nullptr);
  }();
  return *instance;
}

}  // namespace kv
