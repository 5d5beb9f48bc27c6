// The theme manager's window method: what it paints itself for the layer's
// controls while visual styles are on, and what it hands on.

#include "treeview/theme_manager_win.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <string>

#include "base/ansi_text_win.h"
#include "treeview/theme_services_win.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"
#include "ui/std_controls_win.h"

namespace kv {
namespace {

// The sides of `edges` (BF_LEFT ...) of a one-pixel frame: top and left in
// the first colour, bottom and right in the second.
void Frame3D(HDC dc, const RECT& r, UINT edges, COLORREF topLeft, COLORREF bottomRight) {
  const ui::BrushObject light = ui::MakeSolidBrush(topLeft);
  const ui::BrushObject dark = ui::MakeSolidBrush(bottomRight);
  auto line = [dc](RECT part, HBRUSH brush) { FillRect(dc, &part, brush); };
  if (edges & BF_TOP) line({r.left, r.top, r.right - 1, r.top + 1}, light.Get());
  if (edges & BF_LEFT) line({r.left, r.top, r.left + 1, r.bottom - 1}, light.Get());
  if (edges & BF_BOTTOM) line({r.left, r.bottom - 1, r.right, r.bottom}, dark.Get());
  if (edges & BF_RIGHT) line({r.right - 1, r.top, r.right, r.bottom}, dark.Get());
}

bool RightToLeft(HWND h) { return (GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_RTLREADING) != 0; }

}  // namespace

void TThemeManager::WindowProc(TThemeListKind kind, ui::TControl& control, ui::TMessage& m) {
  TWindowProcList& list = List(kind);
  if (DoControlMessage(control, m)) return;
  if (!ThemeServices().ThemesEnabled()) return list.CallSaved(control, m);
  HWND h = control.HandleIfAllocated();
  using K = TThemeListKind;
  switch (m.msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case ui::CN_KEYDOWN:
      UpdateUIState(control, m);
      break;
    case ui::CM_CONTROLLISTCHANGE:
      if (kind == K::Form)
        HandleControlChange(*reinterpret_cast<ui::TControl*>(m.wParam), m.lParam != 0);
      break;
    case WM_ERASEBKGND:
      if (!h) break;
      if (kind == K::ButtonControl) {
        m.result = 1;
        return;
      }
      // A frame is the layer's scrolling container (forms have their own
      // list): among the windowed controls too it shows its parent.
      if (kind == K::GroupBox || kind == K::Panel || kind == K::Frame ||
          (kind == K::WinControl && dynamic_cast<ui::TFrame*>(&control))) {
        ParentBackground(control, reinterpret_cast<HDC>(m.wParam), kind == K::GroupBox);
        m.result = 1;
        return;
      }
      if (kind == K::StatusBar) {
        RECT r;
        GetClientRect(h, &r);
        ThemeServices().DrawElement(reinterpret_cast<HDC>(m.wParam),
                                    GetElementDetails(TThemedStatus::tsStatusRoot), r);
        m.result = 1;
        return;
      }
      break;
    case WM_PAINT:
      if (!h) break;
      if (kind == K::Frame) {
        // A frame paints nothing of its own: only its graphic children, and
        // the layer's controls are all windows.
        const ui::PaintDc paint = ui::BeginPaintDc(h);
        m.result = 0;
        return;
      }
      if (kind == K::GroupBox) {
        PaintGroupBox(control);
        m.result = 0;
        return;
      }
      if (kind == K::Panel) {
        const ui::PaintDc paint = ui::BeginPaintDc(h);
        PaintPanel(control, paint.Get());
        m.result = 0;
        return;
      }
      break;
    case WM_PRINTCLIENT:
      if (kind == K::Panel && h) {
        PaintPanel(control, reinterpret_cast<HDC>(m.wParam));
        m.result = 0;
        return;
      }
      break;
    case WM_NCPAINT:
      if (kind == K::WinControl && h) {
        list.CallSaved(control, m);
        if (NeedsBorderPaint(control) ||
            (GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE))
          ThemeServices().PaintBorder(control, false);
        return;
      }
      break;
    case ui::CN_CTLCOLORBTN:
    case ui::CN_CTLCOLORSTATIC:
      if (!h) break;
      if (kind == K::ButtonControl) {
        // The parent shows around the face and behind a check box's text.
        ThemeServices().DrawParentBackground(h, reinterpret_cast<HDC>(m.wParam), nullptr, false);
        m.result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        return;
      }
      // A label of a colour of its own keeps it: its text is chosen for that
      // background, and on the parent's it may not show at all.
      if (kind == K::WinControl && m.msg == ui::CN_CTLCOLORSTATIC &&
          dynamic_cast<ui::TLabel*>(&control) && control.ParentColor()) {
        const HDC dc = reinterpret_cast<HDC>(m.wParam);
        ThemeServices().DrawParentBackground(h, dc, nullptr, false);
        list.CallSaved(control, m);  // the text colour
        SetBkMode(dc, TRANSPARENT);
        m.result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        return;
      }
      break;
    case ui::CN_NOTIFY:
      if (kind == K::TrackBar && h &&
          reinterpret_cast<NMHDR*>(m.lParam)->code == static_cast<UINT>(NM_CUSTOMDRAW)) {
        m.result = TrackBarCustomDraw(control, *reinterpret_cast<NMCUSTOMDRAW*>(m.lParam));
        return;
      }
      break;
    case WM_NCCALCSIZE:
      if (kind == K::StatusBar && m.wParam) {
        list.CallSaved(control, m);
        m.result |= WVR_HREDRAW | WVR_VREDRAW;
        return;
      }
      break;
    default:
      break;
  }
  list.CallSaved(control, m);
}

// The parent shows through the track bar (the layer's are horizontal):
// behind the tics over the client area, less the focus border while that
// shows, and in the band the thumb moves along before the channel is drawn.
// The system may draw the channel before the tics (Wine does), so the tics'
// background leaves the channel out.
LRESULT TThemeManager::TrackBarCustomDraw(ui::TControl& control, const NMCUSTOMDRAW& draw) {
  HWND h = control.HandleIfAllocated();
  if (draw.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  RECT client;
  GetClientRect(h, &client);
  const int saved = SaveDC(draw.hdc);
  RECT area{};
  if (draw.dwItemSpec == TBCD_TICS) {
    area = client;
    const bool cues = !(SendMessageW(h, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
    if (GetFocus() == h && cues) {
      UINT fx = 1, fy = 1;
      SystemParametersInfoW(SPI_GETFOCUSBORDERWIDTH, 0, &fx, 0);
      SystemParametersInfoW(SPI_GETFOCUSBORDERHEIGHT, 0, &fy, 0);
      InflateRect(&area, -static_cast<int>(fx), -static_cast<int>(fy));
    }
    RECT channel{};
    SendMessageW(h, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    ExcludeClipRect(draw.hdc, channel.left, channel.top, channel.right, channel.bottom);
  } else if (draw.dwItemSpec == TBCD_CHANNEL) {
    RECT thumb{};
    SendMessageW(h, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    area = RECT{client.left, thumb.top, client.right, thumb.bottom};
    IntersectRect(&area, &area, &client);
  }
  if (!IsRectEmpty(&area)) {
    IntersectClipRect(draw.hdc, area.left, area.top, area.right, area.bottom);
    ThemeServices().DrawParentBackground(h, draw.hdc, nullptr, false, &area);
  }
  RestoreDC(draw.hdc, saved);
  return CDRF_DODEFAULT;
}

void TThemeManager::UpdateUIState(ui::TControl& control, const ui::TMessage& m) {
  ui::TForm* form = control.ParentForm();
  if (!form || !form->HandleIfAllocated()) return;
  WORD flag = 0;
  if (m.wParam == VK_TAB || (m.wParam >= VK_LEFT && m.wParam <= VK_DOWN))
    flag = UISF_HIDEFOCUS;
  else if (m.wParam == VK_MENU)
    flag = UISF_HIDEACCEL;
  if (flag)
    SendMessageW(form->HandleIfAllocated(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, flag), 0);
}

void TThemeManager::ParentBackground(ui::TControl& control, HDC dc, bool groupBoxPart) {
  const TThemedElementDetails details = GetElementDetails(
      control.Enabled() ? TThemedButton::tbGroupBoxNormal : TThemedButton::tbGroupBoxDisabled);
  ThemeServices().DrawParentBackground(control.HandleIfAllocated(), dc, &details, groupBoxPart);
}

void TThemeManager::PaintGroupBox(ui::TControl& control) {
  HWND h = control.HandleIfAllocated();
  const ui::PaintDc paint = ui::BeginPaintDc(h);
  HDC dc = paint.Get();
  const ui::SelectedObject font = ui::SelectInto(dc, control.FontHandle());
  const std::wstring caption = AnsiToWString(control.Caption());
  SIZE extent{};
  const std::wstring measured = caption.empty() ? L"0" : caption;
  GetTextExtentPoint32W(dc, measured.c_str(), static_cast<int>(measured.size()), &extent);
  RECT client;
  GetClientRect(h, &client);
  RECT captionRect{8, 0, 8 + (caption.empty() ? 0 : extent.cx), extent.cy};
  if (RightToLeft(h)) OffsetRect(&captionRect, client.right - 16 - extent.cx, 0);
  RECT frame = client;
  frame.top = extent.cy / 2;
  const TThemedElementDetails details = GetElementDetails(
      control.Enabled() ? TThemedButton::tbGroupBoxNormal : TThemedButton::tbGroupBoxDisabled);
  const int saved = SaveDC(dc);
  if (!caption.empty())
    ExcludeClipRect(dc, captionRect.left, captionRect.top, captionRect.right, captionRect.bottom);
  ThemeServices().DrawElement(dc, details, frame);
  RestoreDC(dc, saved);
  if (!caption.empty()) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ui::ColorToRGB(control.Font().color));
    ThemeServices().DrawText(dc, details, caption, captionRect, DT_LEFT | DT_SINGLELINE, 0);
  }
}

// Painted as the layer's own panel paints (background over the whole area,
// then the bevel on the panel's own edges only, the caption inside the
// bevel's ring), but over the parent's background.
void TThemeManager::PaintPanel(ui::TControl& control, HDC dc) {
  auto* panel = dynamic_cast<ui::TPanel*>(&control);
  HWND h = control.HandleIfAllocated();
  RECT r;
  GetClientRect(h, &r);
  const ui::TControl* parent = control.Parent();
  if (!control.ParentColor() && (!parent || parent->Color() != control.Color())) {
    const ui::BrushObject brush = ui::MakeSolidBrush(ui::ColorToRGB(control.Color()));
    FillRect(dc, &r, brush.Get());
  } else {
    const TThemedElementDetails details = GetElementDetails(TThemedButton::tbGroupBoxNormal);
    ThemeServices().DrawParentBackground(h, dc, &details, false, &r);
  }
  if (panel && panel->BevelOuter() != ui::TBevel::None) {
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT), shadow = GetSysColor(COLOR_BTNSHADOW);
    if (panel->BevelOuter() == ui::TBevel::Raised)
      Frame3D(dc, r, panel->BevelEdges(), light, shadow);
    else
      Frame3D(dc, r, panel->BevelEdges(), shadow, light);
    InflateRect(&r, -1, -1);
  }
  const std::wstring caption = AnsiToWString(control.Caption());
  if (caption.empty()) return;
  const ui::SelectedObject font = ui::SelectInto(dc, control.FontHandle());
  SIZE w{};
  GetTextExtentPoint32W(dc, L"W", 1, &w);
  RECT band = r;
  band.top = r.top + (r.bottom - r.top - w.cy) / 2;
  band.bottom = band.top + w.cy;
  UINT align = DT_CENTER;
  const ui::TAlignment alignment = panel ? panel->Alignment() : ui::TAlignment::Center;
  const bool rtl = RightToLeft(h);
  if (alignment == ui::TAlignment::Left) align = rtl ? DT_RIGHT : DT_LEFT;
  if (alignment == ui::TAlignment::Right) align = rtl ? DT_LEFT : DT_RIGHT;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ui::ColorToRGB(control.Font().color));
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &band,
            align | DT_EXPANDTABS | DT_VCENTER | DT_SINGLELINE | (rtl ? DT_RTLREADING : 0));
}

}  // namespace kv
