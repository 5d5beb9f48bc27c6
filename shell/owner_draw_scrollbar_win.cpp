#include "shell/owner_draw_scrollbar_win.h"

#include <vssym32.h>
#include <windowsx.h>

#include <array>

#include "base/scope_guard.h"

namespace kv {

namespace {
constexpr uint16_t kPressedBits = sbsThumbPressed | sbsLowerArrowPressed | sbsPageBelowPressed |
                                  sbsOverPressedPage | sbsPageAbovePressed | sbsUpperArrowPressed;
constexpr uint16_t kHotBits = sbsUpperArrowHot | sbsLowerArrowHot | sbsThumbHot;
constexpr int kLineUp = SB_LINEUP, kLineDown = SB_LINEDOWN, kPageUp = SB_PAGEUP, kPageDown = SB_PAGEDOWN;

RECT PartRect(const TScrollbarSpan& span, int width) { return {0, span.top, width, span.bottom}; }
// The arrows are as wide as the system's vertical scroll bar, whatever the
// control's width; the track and the thumb take the client's width.
int ArrowWidth() { return GetSystemMetrics(SM_CXVSCROLL); }
}  // namespace

TCustomOwnerDrawScrollbar::TCustomOwnerDrawScrollbar() {
  bounds_ = {0, 0, GetSystemMetrics(SM_CXVSCROLL), 200};
  SetColor(ui::kSysColor | COLOR_SCROLLBAR);
  colors_.OnChange = [this] {
    RebuildPattern();
    Repaint();
  };
  RebuildPattern();
}

TCustomOwnerDrawScrollbar::~TCustomOwnerDrawScrollbar() { CloseTheme(); }

void TCustomOwnerDrawScrollbar::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.className = ui::RegisterOwnWindowClass(L"KvOwnerDrawScrollbar", CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW);
}

void TCustomOwnerDrawScrollbar::InitHandle() { OpenTheme(); }

void TCustomOwnerDrawScrollbar::OpenTheme() {
  CloseTheme();
  if (HWND h = HandleIfAllocated()) theme_ = OpenThemeData(h, L"scrollbar");
  SetState(theme_ ? sbsThemesAvailable : 0, theme_ ? 0 : sbsThemesAvailable);
}

void TCustomOwnerDrawScrollbar::CloseTheme() {
  if (theme_) CloseThemeData(theme_);
  theme_ = nullptr;
}

void TCustomOwnerDrawScrollbar::SetMin(int value) {
  range_.SetMin(value);
  Repaint();
}
void TCustomOwnerDrawScrollbar::SetMax(int value) {
  range_.SetMax(value);
  Repaint();
}
void TCustomOwnerDrawScrollbar::SetPageSize(int value) {
  range_.SetPageSize(value);
  Repaint();
}
void TCustomOwnerDrawScrollbar::SetPosition(int value) {
  const int old = range_.Position();
  range_.SetPosition(value);
  if (range_.Position() != old) Repaint();
}

void TCustomOwnerDrawScrollbar::SetAllowThemes(bool value) {
  allowThemes_ = value;
  Repaint();
}

void TCustomOwnerDrawScrollbar::SetFlat(bool value) {
  flat_ = value;
  Repaint();
}

TScrollbarGeometry TCustomOwnerDrawScrollbar::Geometry() const {
  int height = Height();
  if (HWND h = HandleIfAllocated()) {
    RECT r;
    GetClientRect(h, &r);
    height = r.bottom;
  }
  return TScrollbarGeometry(range_, height, GetSystemMetrics(SM_CYVSCROLL), GetSystemMetrics(SM_CYVTHUMB));
}

void TCustomOwnerDrawScrollbar::SetState(uint16_t set, uint16_t clear) {
  const uint16_t old = state_;
  state_ = static_cast<uint16_t>((state_ & ~clear) | set);
  if (state_ != old) Repaint();
}

void TCustomOwnerDrawScrollbar::RebuildPattern() {
  const COLORREF odd = ui::ColorToRGB(colors_.Background());
  const COLORREF even = ui::ColorToRGB(colors_.BackgroundBlend());
  std::array<uint32_t, 64> bits;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const COLORREF c = (x + y) % 2 ? odd : even;
      bits[static_cast<size_t>(y * 8 + x)] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
  const ui::BitmapObject bitmap(CreateBitmap(8, 8, 1, 32, bits.data()));
  ui::BrushObject brush(bitmap ? CreatePatternBrush(bitmap.Get()) : nullptr);
  if (brush) pattern_ = std::move(brush);
}

// ------------------------------------------------------------------ mouse --
int TCustomOwnerDrawScrollbar::PressedCode() const {
  if (state_ & sbsUpperArrowPressed) return kLineUp;
  if (state_ & sbsLowerArrowPressed) return kLineDown;
  if (state_ & sbsPageAbovePressed) return kPageUp;
  if (state_ & sbsPageBelowPressed) return kPageDown;
  return -1;
}

bool TCustomOwnerDrawScrollbar::CursorOverPressedPage() {
  POINT p;
  GetCursorPos(&p);
  ScreenToClient(HandleIfAllocated(), &p);
  RECT r;
  GetClientRect(HandleIfAllocated(), &r);
  const TScrollbarGeometry g = Geometry();
  const bool over = p.x >= 0 && p.x < r.right &&
                    ((state_ & sbsPageAbovePressed) ? g.PageAbove() : g.PageBelow()).Contains(p.y);
  SetState(over ? sbsOverPressedPage : 0, over ? 0 : sbsOverPressedPage);
  return over;
}

void TCustomOwnerDrawScrollbar::DoScroll(int code) {
  if (associated_) {
    // The associated control takes every action; while it cannot have a
    // window the action goes nowhere and the bar stays where it is.
    const HWND target = associated_->Handle();
    if (!target) return;
    const LPARAM self = reinterpret_cast<LPARAM>(HandleIfAllocated());
    SendMessageW(target, WM_VSCROLL, MAKEWPARAM(code, static_cast<WORD>(Position())), self);
    // Every action but thumb tracking is followed by an end-scroll, the
    // end-scroll of a released thumb too.
    if (code != SB_THUMBTRACK)
      SendMessageW(target, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, static_cast<WORD>(Position())), self);
    return;
  }
  switch (code) {
    case kLineUp: SetPosition(Position() - smallChange_); break;
    case kLineDown: SetPosition(Position() + smallChange_); break;
    case kPageUp: SetPosition(Position() - largeChange_); break;
    case kPageDown: SetPosition(Position() + largeChange_); break;
    default: break;
  }
}

TScrollbarPart TCustomOwnerDrawScrollbar::PartAt(int x, int y) const {
  const TScrollbarPart part = Geometry().PartAt(y);
  // Beside an arrow (a bar wider than the system's) is no part.
  if ((part == TScrollbarPart::UpperArrow || part == TScrollbarPart::LowerArrow) && x >= ArrowWidth())
    return TScrollbarPart::None;
  return part;
}

void TCustomOwnerDrawScrollbar::MouseDown(int x, int y, bool doubleClick) {
  const HWND h = HandleIfAllocated();
  uint16_t set = doubleClick ? 0 : sbsLeftButtonDown;
  int code = -1;
  switch (PartAt(x, y)) {
    case TScrollbarPart::UpperArrow: set |= sbsUpperArrowPressed; code = kLineUp; break;
    case TScrollbarPart::LowerArrow: set |= sbsLowerArrowPressed; code = kLineDown; break;
    case TScrollbarPart::PageBelow: set |= sbsPageBelowPressed | sbsOverPressedPage; code = kPageDown; break;
    case TScrollbarPart::PageAbove: set |= sbsPageAbovePressed | sbsOverPressedPage; code = kPageUp; break;
    case TScrollbarPart::Thumb: set |= sbsThumbPressed; break;
    case TScrollbarPart::None: break;
  }
  SetState(set, kPressedBits | sbsLeftButtonDown);
  SetCapture(h);
  if (code >= 0) DoScroll(code);
  SetTimer(h, kScrollbarDelayTimer, 500, nullptr);
}

void TCustomOwnerDrawScrollbar::MouseUp() {
  // A receiver of the end-scroll that takes the capture ends the press a
  // second time (WM_CAPTURECHANGED): that one has nothing left to do.
  if (releasing_) return;
  releasing_ = true;
  const ScopeGuard released([this] { releasing_ = false; });
  const HWND h = HandleIfAllocated();
  KillTimer(h, kScrollbarDelayTimer);
  KillTimer(h, kScrollbarRepeatTimer);
  // The end-scroll goes out while the thumb still shows pressed; then the
  // press ends.
  if (state_ & sbsThumbPressed) DoScroll(SB_ENDSCROLL);
  SetState(0, kPressedBits | sbsLeftButtonDown);
  if (GetCapture() == h) ReleaseCapture();
}

void TCustomOwnerDrawScrollbar::MouseMove(int x, int y) {
  UpdateHot(x, y);
  if ((state_ & sbsThumbPressed) && (state_ & sbsLeftButtonDown)) {
    SetPosition(Geometry().PositionFromPixel(y));
    DoScroll(SB_THUMBTRACK);
  } else if (state_ & (sbsPageAbovePressed | sbsPageBelowPressed)) {
    CursorOverPressedPage();
  }
}

void TCustomOwnerDrawScrollbar::UpdateHot(int x, int y) {
  uint16_t hot = 0;
  switch (PartAt(x, y)) {
    case TScrollbarPart::UpperArrow: hot = sbsUpperArrowHot; break;
    case TScrollbarPart::LowerArrow: hot = sbsLowerArrowHot; break;
    case TScrollbarPart::Thumb: hot = sbsThumbHot; break;
    default: break;
  }
  SetState(hot, kHotBits);
  SetTimer(HandleIfAllocated(), kScrollbarHotTimer, 50, nullptr);
}

void TCustomOwnerDrawScrollbar::Timer(UINT_PTR id) {
  const HWND h = HandleIfAllocated();
  if (id == kScrollbarHotTimer) {
    POINT p;
    GetCursorPos(&p);
    RECT r;
    GetWindowRect(h, &r);
    if (!PtInRect(&r, p)) {
      KillTimer(h, kScrollbarHotTimer);
      SetState(0, kHotBits);
    }
  } else if (id == kScrollbarDelayTimer) {
    KillTimer(h, kScrollbarDelayTimer);
    SetTimer(h, kScrollbarRepeatTimer, repeatInterval_, nullptr);
  } else if (id == kScrollbarRepeatTimer) {
    const int code = PressedCode();
    if (code == kPageUp || code == kPageDown) {
      if (CursorOverPressedPage()) DoScroll(code);
    } else if (code >= 0) {
      DoScroll(code);
    }
  }
}

// --------------------------------------------------------------- painting --
void TCustomOwnerDrawScrollbar::PaintClassic(HDC dc, const TScrollbarGeometry& g, int width) {
  const bool over = state_ & sbsOverPressedPage;
  const ui::BrushObject pressed = ui::MakeSolidBrush(GetSysColor(COLOR_3DDKSHADOW));
  const HBRUSH track = pattern_ ? pattern_.Get() : GetSysColorBrush(COLOR_SCROLLBAR);
  const RECT above = PartRect(g.PageAbove(), width), below = PartRect(g.PageBelow(), width);
  FillRect(dc, &above, over && (state_ & sbsPageAbovePressed) ? pressed.Get() : track);
  FillRect(dc, &below, over && (state_ & sbsPageBelowPressed) ? pressed.Get() : track);
  if (g.ThumbLength() > 0) {
    RECT thumb = PartRect(g.Thumb(), width);
    const ui::BrushObject face = ui::MakeSolidBrush(ui::ColorToRGB(colors_.ThumbButton()));
    FillRect(dc, &thumb, face.Get());
    if (flat_) {
      const ui::BrushObject border = ui::MakeSolidBrush(ui::ColorToRGB(colors_.FlatBorder()));
      FrameRect(dc, &thumb, border.Get());
    } else {
      DrawEdge(dc, &thumb, EDGE_RAISED, BF_RECT);
    }
  }
  const UINT common = (flat_ ? DFCS_FLAT : 0) | (Enabled() ? 0 : DFCS_INACTIVE);
  RECT up = PartRect(g.UpperArrow(), ArrowWidth()), down = PartRect(g.LowerArrow(), ArrowWidth());
  if (up.bottom > up.top)
    DrawFrameControl(dc, &up, DFC_SCROLL,
                     DFCS_SCROLLUP | common | (state_ & sbsUpperArrowPressed ? DFCS_PUSHED : 0));
  if (down.bottom > down.top)
    DrawFrameControl(dc, &down, DFC_SCROLL,
                     DFCS_SCROLLDOWN | common | (state_ & sbsLowerArrowPressed ? DFCS_PUSHED : 0));
}

void TCustomOwnerDrawScrollbar::PaintThemed(HDC dc, const TScrollbarGeometry& g, int width) {
  const bool enabled = Enabled();
  auto form = [&](bool pressed, bool hot) {  // normal, hot, pressed, disabled: 0..3
    return !enabled ? 3 : pressed ? 2 : hot ? 1 : 0;
  };
  const bool over = state_ & sbsOverPressedPage;
  auto track = [&](int part, const TScrollbarSpan& span, bool pressed) {
    if (span.Length() == 0) return;
    const RECT r = PartRect(span, width);
    DrawThemeBackground(theme_, dc, part, SCRBS_NORMAL + form(pressed && over, false), &r, nullptr);
  };
  track(SBP_UPPERTRACKVERT, g.PageAbove(), state_ & sbsPageAbovePressed);
  track(SBP_LOWERTRACKVERT, g.PageBelow(), state_ & sbsPageBelowPressed);
  if (g.ThumbLength() > 0) {
    const RECT thumb = PartRect(g.Thumb(), width);
    const int thumbState = SCRBS_NORMAL + form(state_ & sbsThumbPressed, state_ & sbsThumbHot);
    DrawThemeBackground(theme_, dc, SBP_THUMBBTNVERT, thumbState, &thumb, nullptr);
    DrawThemeBackground(theme_, dc, SBP_GRIPPERVERT, thumbState, &thumb, nullptr);
  }
  const RECT up = PartRect(g.UpperArrow(), ArrowWidth()), down = PartRect(g.LowerArrow(), ArrowWidth());
  if (up.bottom > up.top)
    DrawThemeBackground(theme_, dc, SBP_ARROWBTN,
                        ABS_UPNORMAL + form(state_ & sbsUpperArrowPressed, state_ & sbsUpperArrowHot), &up, nullptr);
  if (down.bottom > down.top)
    DrawThemeBackground(theme_, dc, SBP_ARROWBTN,
                        ABS_DOWNNORMAL + form(state_ & sbsLowerArrowPressed, state_ & sbsLowerArrowHot), &down,
                        nullptr);
}

void TCustomOwnerDrawScrollbar::Paint(HDC target) {
  RECT client;
  GetClientRect(HandleIfAllocated(), &client);
  if (client.right <= 0 || client.bottom <= 0) return;
  const ui::MemoryDc memory = ui::CreateMemoryDc(target);
  const ui::BitmapObject bitmap(CreateCompatibleBitmap(target, client.right, client.bottom));
  if (!bitmap) return;
  const ui::SelectedObject selected = ui::SelectInto(memory.Get(), bitmap.Get());
  FillRect(memory.Get(), &client, BackgroundBrush());
  const TScrollbarGeometry g = Geometry();
  if (UsesThemes())
    PaintThemed(memory.Get(), g, client.right);
  else
    PaintClassic(memory.Get(), g, client.right);
  BitBlt(target, 0, 0, client.right, client.bottom, memory.Get(), 0, 0, SRCCOPY);
}

void TCustomOwnerDrawScrollbar::WndProc(ui::TMessage& m) {
  switch (m.msg) {
    case WM_PAINT: {
      const ui::PaintDc paint = ui::BeginPaintDc(HandleIfAllocated());
      Paint(paint.Get());
      return;
    }
    case WM_ERASEBKGND: m.result = 1; return;
    case WM_MOUSEACTIVATE: m.result = MA_NOACTIVATE; return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      MouseDown(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam), m.msg == WM_LBUTTONDBLCLK);
      return;
    case WM_LBUTTONUP: MouseUp(); return;
    case WM_CANCELMODE: MouseUp(); break;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(m.lParam) != HandleIfAllocated() && (state_ & sbsLeftButtonDown)) MouseUp();
      break;
    case WM_MOUSEMOVE: MouseMove(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)); return;
    case WM_TIMER: Timer(m.wParam); return;
    case WM_THEMECHANGED: OpenTheme(); Repaint(); break;
    // The bar is always a child, so a colour change reaches it from its form
    // or drop-down as CM_SYSCOLORCHANGE; WM_SYSCOLORCHANGE only when someone
    // sends it on.
    case WM_SYSCOLORCHANGE:
    case ui::CM_SYSCOLORCHANGE: RebuildPattern(); Repaint(); break;
    case WM_DESTROY: CloseTheme(); break;
    default: break;
  }
  TControl::WndProc(m);
}

}  // namespace kv
