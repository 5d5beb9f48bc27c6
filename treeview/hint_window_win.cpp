// The tree's hint window: it copies the screen beneath itself when it is
// shown, draws the hint over that copy with a shadow blended onto the copied
// pixels, and fades or slides in while the tree keeps handling messages.

#include "treeview/hint_window_win.h"

#include <mmsystem.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "treeview/alpha_blend_win.h"
#include "treeview/base_lazy_tree_win.h"
#include "treeview/hint_placement.h"
#include "base/ansi_text_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"

namespace kv {

struct TLazyTreeHintWindow::Surface {
  explicit Surface(ui::MemoryDc memory) : dc(std::move(memory)) {}
  ui::MemoryDc dc;
  ui::BitmapObject bitmap;
  std::optional<ui::SelectedObject> selected;  // declared last: deselected first
  HDC Get() const { return dc.Get(); }
};

namespace {

// The tree's own hint pause: the control layer has no application-wide hint
// timer to wait on, so without this one no hint would ever show.
constexpr unsigned kHintTimer = 9;

// Process-wide by design: one tree's hint window going away stops another
// tree's running hint animation and shortens the header's hint pause.
bool hintWindowDestroyed = false;

const wchar_t* HintWindowClass() {
  static const wchar_t* name = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_SAVEBITS;
    wc.lpfnWndProc = DefWindowProcW;  // replaced per window below
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.lpszClassName = L"KvLazyTreeHint";
    RegisterClassExW(&wc);
    return L"KvLazyTreeHint";
  }();
  return name;
}

// The hint font of the screen.
LOGFONTW ScreenHintFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return metrics.lfStatusFont;
}

// The whole rectangle of the monitor holding a screen point, or of the
// nearest one.
THintBounds MonitorBoundsAt(int x, int y) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  RECT r{};
  if (GetMonitorInfoW(MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONEAREST), &info))
    r = info.rcMonitor;
  else
    GetWindowRect(GetDesktopWindow(), &r);
  return THintBounds{r.left, r.top, r.right, r.bottom};
}

int FontHeight(HDC dc) {
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  return tm.tmHeight;
}

}  // namespace

void DrawHintShadow(HDC dc, int size, const RECT& r) {
  const int width = r.right - r.left, height = r.bottom - r.top;
  RECT bottom{r.left + size, r.top + height - size, r.left + width, r.top + height};
  RECT right{r.left + width - size, r.top + size, r.left + width, r.top + height - size};
  for (const std::uint8_t alpha : kHintShadowAlphas) {
    AlphaBlend(nullptr, dc, bottom, {0, 0}, TBlendMode::bmConstantAlphaAndColor, alpha, 0);
    AlphaBlend(nullptr, dc, right, {0, 0}, TBlendMode::bmConstantAlphaAndColor, alpha, 0);
    ++bottom.left;
    --bottom.right;
    --bottom.bottom;
    ++right.top;
    --right.right;
  }
}

TLazyTreeHintWindow::TLazyTreeHintWindow(TBaseLazyTree& tree) : tree_(tree) {
  // Exactly WS_POPUP, no frame; owned by the tree's top-level window so it
  // stays above it.
  HWND owner = tree.HandleIfAllocated() ? GetAncestor(tree.HandleIfAllocated(), GA_ROOT) : nullptr;
  hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, HintWindowClass(), L"", WS_POPUP, 0, 0, 0, 0, owner, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  if (hwnd_ == nullptr) throw std::runtime_error("the hint window could not be made");
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  hintWindowDestroyed = false;
}

TLazyTreeHintWindow::~TLazyTreeHintWindow() {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
  hintWindowDestroyed = true;
}

bool TLazyTreeHintWindow::WindowDestroyed() { return hintWindowDestroyed; }

void TLazyTreeHintWindow::Hidden() {
  tree_.lastHintRect_ = {};
  data_ = THintData{};
  hintWindowDestroyed = false;
}

LRESULT CALLBACK TLazyTreeHintWindow::WindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) noexcept {
  auto* self = reinterpret_cast<TLazyTreeHintWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, msg, w, l);
  return ui::Guarded(
      [&]() -> LRESULT {
        switch (msg) {
          case WM_ERASEBKGND: return 1;
          case WM_NCPAINT: return 0;
          case WM_NCHITTEST: return HTTRANSPARENT;  // the tree keeps the mouse
          case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
          case WM_SHOWWINDOW:
            if (w == FALSE) self->Hidden();
            break;
          case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            self->InternalPaint(0, 0);
            return 0;
          }
        }
        return DefWindowProcW(hwnd, msg, w, l);
      },
      [&] { return DefWindowProcW(hwnd, msg, w, l); });
}

bool TLazyTreeHintWindow::Visible() const { return IsWindowVisible(hwnd_) != FALSE; }

void TLazyTreeHintWindow::Hide() {
  if (Visible()) ShowWindow(hwnd_, SW_HIDE);  // WM_SHOWWINDOW clears the hint
}

std::unique_ptr<TLazyTreeHintWindow::Surface> TLazyTreeHintWindow::MakeSurface(int width, int height) {
  auto s = std::make_unique<Surface>(ui::CreateMemoryDc(nullptr));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = std::max(width, 1);
  info.bmiHeader.biHeight = -std::max(height, 1);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  s->bitmap = ui::BitmapObject(CreateDIBSection(s->Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!s->bitmap) throw std::runtime_error("the hint bitmap could not be made");
  s->selected.emplace(ui::SelectInto(s->Get(), s->bitmap.Get()));
  return s;
}

void TLazyTreeHintWindow::AllocateBitmaps(int width, int height) {
  width_ = width;
  height_ = height;
  background_ = MakeSurface(width, height);
  drawing_ = MakeSurface(width, height);
  target_ = MakeSurface(width, height);
}

RECT TLazyTreeHintWindow::CalcHintRect(int maxWidth, const std::wstring& /*hint*/, const THintData* data) {
  if (data == nullptr) return {};
  data_ = *data;
  TBaseLazyTree& tree = tree_;
  const bool tooltip = tree.HintMode() == TLTHintMode::hmTooltip && data_.Node != nullptr;
  // The cell's reading order and alignment (the tree's without columns).
  data_.BidiMode = tree.CellRightToLeft(data_.Column) ? TLTBidiMode::bdRightToLeft : TLTBidiMode::bdLeftToRight;
  data_.Alignment = tree.CellAlignment(data_.Column);
  if (data_.BidiMode != TLTBidiMode::bdLeftToRight && data_.Alignment != TLTAlignment::taCenter)
    data_.Alignment = data_.Alignment == TLTAlignment::taLeftJustify ? TLTAlignment::taRightJustify
                                                                      : TLTAlignment::taLeftJustify;
  RECT nodeText{};
  std::wstring nodeString;
  font_ = ScreenHintFont();
  // The owner's hint: the window is the rectangle it asked for when the hint
  // was decided (its shadow inside it), painted by the owner.
  ownerDrawn_ = tree.DrawsOwnHints() && data_.Node != nullptr;
  shadow_ = MMXAvailable() ? kHintShadowSize : 0;
  if (ownerDrawn_) return data_.HintRect;
  if (tooltip) tree.GetTextInfo(data_.Node, data_.Column, font_, nodeText, nodeString);
  if (!data_.DefaultHint.empty())
    data_.HintText = data_.DefaultHint;
  else if (tree.HintMode() != TLTHintMode::hmTooltip)
    tree.DoGetNodeHint(data_.Node, data_.Column, data_.HintText);
  else if (tooltip)  // a tooltip is a cell's text: none without a node
    tree.DoGetNodeTooltip(data_.Node, data_.Column, data_.HintText);
  if (data_.HintText.empty()) return {};

  const ui::WindowDc screen = ui::GetClientDc(nullptr);
  const ui::FontObject font(CreateFontIndirectW(&font_));
  const int saved = SaveDC(screen.Get());
  SelectObject(screen.Get(), font.Get());
  textHeight_ = FontHeight(screen.Get());
  RECT r{};
  if (tooltip) {
    const TLazyRect display = tree.GetDisplayRect(data_.Node, data_.Column, true, !tree.MultiLine(data_.Node));
    if (tree.MultiLine(data_.Node)) {
      r = {display.Left, display.Top, display.Right, display.Top};
      DrawTextW(screen.Get(), data_.HintText.c_str(), static_cast<int>(data_.HintText.size()), &r,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
      ++r.right;
      RECT client{0, 0, tree.ViewWidth(), tree.ViewHeight()};
      RECT inside{};
      IntersectRect(&inside, &client, &r);
      const bool fits = static_cast<int>(data_.Node->NodeHeight) + 2 >= r.bottom - r.top && EqualRect(&inside, &r);
      if (fits) r = {};
    } else {
      r = {display.Left, display.Top, display.Right, display.Bottom};
      if (tree.HasOption(toShowHorzGridLines)) --r.bottom;
    }
    if (!IsRectEmpty(&r)) {
      InflateRect(&r, 1, 1);
      OffsetRect(&r, -1 - r.left, -1 - r.top);
    }
  } else {
    r = {0, 0, maxWidth, textHeight_};
    DrawTextW(screen.Get(), data_.HintText.c_str(), static_cast<int>(data_.HintText.size()), &r,
              DT_CALCRECT | DT_NOPREFIX);
    r.bottom += 6;
    r.right += 2 * tree.TextMargin() + 2;
  }
  RestoreDC(screen.Get(), saved);
  if (IsRectEmpty(&r)) return {};
  r.right += shadow_;
  r.bottom += shadow_;
  return r;
}

bool TLazyTreeHintWindow::ActivateHint(RECT r, const std::wstring& /*hint*/) {
  TBaseLazyTree& tree = tree_;
  if (IsRectEmpty(&r)) {  // cancels the hint: the pending one too
    tree.StopTimer(kHintTimer);
    Hide();
    return true;
  }
  // A hint animation still running (this call comes from its message loop):
  // the new hint replaces it. Its state is left so that this hint may
  // animate, and the cancel is set once this hint is up, for the old loop
  // to stop at its next step (set earlier, the new animation would clear it).
  const bool wasAnimating = tree.TreeStates().Contains(tsInAnimation);
  if (wasAnimating) tree.DoStateChange({}, {tsInAnimation});
  // Held inside the monitor it is shown on.
  const THintBounds held = HoldHintOnMonitor(THintBounds{r.left, r.top, r.right, r.bottom}, MonitorBoundsAt);
  r = RECT{held.Left, held.Top, held.Right, held.Bottom};
  const int width = r.right - r.left, height = r.bottom - r.top;
  SetWindowPos(hwnd_, nullptr, r.left, r.top, width, height, SWP_NOACTIVATE | SWP_NOZORDER | SWP_HIDEWINDOW);
  AllocateBitmaps(width, height);
  if (HWND treeWindow = tree.HandleIfAllocated()) UpdateWindow(treeWindow);
  {
    const ui::WindowDc screen = ui::GetClientDc(nullptr);
    BitBlt(background_->Get(), 0, 0, width, height, screen.Get(), r.left, r.top, SRCCOPY);
  }
  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
  animation_ = tree.DoGetAnimationType();
  bool alive = true;
  switch (animation_) {
    case THintAnimationType::hatFade:
      ValidateRect(hwnd_, nullptr);
      alive = Animate(255, 2 * tree.AnimationDuration());
      break;
    case THintAnimationType::hatSlide:
      ValidateRect(hwnd_, nullptr);
      alive = Animate(height, tree.AnimationDuration());
      break;
    default:
      InvalidateRect(hwnd_, nullptr, FALSE);
      break;
  }
  if (!alive) return false;
  if (wasAnimating) tree.DoStateChange({tsCancelHintAnimation});
  // Once the animation is over (or was cut short) later paints show the whole hint.
  if (animation_ != THintAnimationType::hatNone) {
    animation_ = THintAnimationType::hatNone;
    if (Visible()) InternalPaint(0, 0);
  }
  return true;
}

// Each step paints and then handles what is pending, so the tree stays
// responsive. A handler may destroy the tree (and this window with it): the
// loop then returns at once, touching neither.
bool TLazyTreeHintWindow::Animate(int steps, unsigned duration) {
  if (steps <= 0) return true;
  const std::weak_ptr<const bool> alive = tree_.LivenessToken();
  TBaseLazyTree* tree = &tree_;
  tree->DoStateChange({tsInAnimation}, {tsCancelHintAnimation});
  const DWORD start = timeGetTime();
  int step = -1;  // the first step is 0: it renders the picture
  while (step < steps) {
    const DWORD elapsed = timeGetTime() - start;
    const int due = duration == 0 ? steps
                                  : static_cast<int>(std::min<std::uint64_t>(
                                        steps, std::uint64_t{elapsed} * static_cast<unsigned>(steps) / duration));
    const int next = step < 0 ? 0 : std::max(step + 1, due);
    if (hintWindowDestroyed || !Visible() || tree->TreeStates().Contains(tsCancelHintAnimation)) break;
    InternalPaint(next, next - step);
    step = next;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (alive.expired()) return false;
    }
    if (alive.expired()) return false;
    if (step < steps) Sleep(1);
  }
  tree->DoStateChange({}, {tsInAnimation, tsCancelHintAnimation});
  return true;
}

void TLazyTreeHintWindow::RenderDrawing() {
  TBaseLazyTree& tree = tree_;
  HDC dc = drawing_->Get();
  const RECT content{0, 0, width_ - shadow_, height_ - shadow_};
  if (ownerDrawn_) {
    const int owner = SaveDC(dc);
    tree.DoDrawHint(dc, data_.Node, content, data_.Column);
    RestoreDC(dc, owner);
    return;
  }
  const int saved = SaveDC(dc);
  const ui::BrushObject brush = ui::MakeSolidBrush(GetSysColor(COLOR_INFOBK));
  SelectObject(dc, brush.Get());
  SelectObject(dc, GetStockObject(BLACK_PEN));
  Rectangle(dc, content.left, content.top, content.right, content.bottom);
  const ui::FontObject font(CreateFontIndirectW(&font_));
  SelectObject(dc, font.Get());
  SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
  SetBkMode(dc, TRANSPARENT);
  const bool tooltip = tree.HintMode() == TLTHintMode::hmTooltip && data_.Node != nullptr;
  const bool multiLine = tooltip && tree.MultiLine(data_.Node);
  RECT text = content;
  InflateRect(&text, -(tree.TextMargin() + 1), -1);
  UINT format = DT_NOPREFIX;
  if (data_.BidiMode != TLTBidiMode::bdLeftToRight) {
    format |= DT_RIGHT | DT_RTLREADING;
    ++text.right;
  }
  if (multiLine) format |= DT_WORDBREAK;
  if (!tooltip)
    text.top = 2;
  else if (multiLine)
    text.top = 1;
  else  // centred on one text line, as the tree draws it (centring the whole
        // text rectangle would put the text at the window's top, off the
        // cut-off text it covers)
    text.top = (height_ - shadow_ - textHeight_) / 2;
  DrawTextW(dc, data_.HintText.c_str(), static_cast<int>(data_.HintText.size()), &text, format);
  RestoreDC(dc, saved);
}

void TLazyTreeHintWindow::InternalPaint(int step, int stepSize) {
  if (!drawing_ || width_ <= 0) return;
  if (step == 0) RenderDrawing();
  const int s = shadow_;
  const int contentWidth = width_ - s, contentHeight = height_ - s;
  HDC target = target_->Get();
  const RECT whole{0, 0, width_, height_};
  // The window's picture is composed in the target: the copied background,
  // the hint over it, the shadow blended onto the background's pixels.
  BitBlt(target, 0, 0, width_, height_, background_->Get(), 0, 0, SRCCOPY);
  if (stepSize == 0) {
    if (animation_ == THintAnimationType::hatFade) return;  // the animation draws
    BitBlt(target, 0, 0, contentWidth, contentHeight, drawing_->Get(), 0, 0, SRCCOPY);
    if (s > 0) DrawHintShadow(target, s, whole);
  } else if (animation_ == THintAnimationType::hatSlide) {
    // The bottom `step` rows of the window's height come in from the top;
    // the last S of them are the shadow's, where the background stays (as it
    // does right of the content).
    const int rows = std::clamp(step - s, 0, contentHeight);
    BitBlt(target, 0, 0, contentWidth, rows, drawing_->Get(), 0, contentHeight - rows, SRCCOPY);
  } else {
    const RECT content{0, 0, contentWidth, contentHeight};
    AlphaBlend(drawing_->Get(), target, content, {0, 0}, TBlendMode::bmConstantAlpha, MulDiv(step, 256, 255), 0);
    if (s > 0) DrawHintShadow(target, s, whole);
  }
  const ui::WindowDc window = ui::GetClientDc(hwnd_);
  BitBlt(window.Get(), 0, 0, width_, height_, target, 0, 0, SRCCOPY);
}

// ----------------------------------------------------------- the tree side --

namespace {

POINT ClientToScreenPoint(HWND hwnd, POINT p) {
  ClientToScreen(hwnd, &p);
  return p;
}

}  // namespace

void TBaseLazyTree::DoGetNodeHint(PLazyNode node, TColumnIndex column, std::wstring& text) {
  (void)node;
  (void)column;
  text = AnsiToWString(Hint());
}

void TBaseLazyTree::DoGetNodeTooltip(PLazyNode /*node*/, TColumnIndex /*column*/, std::wstring& text) {
  text = AnsiToWString(Hint());
}

THintAnimationType TBaseLazyTree::DoGetAnimationType() {
  THintAnimationType type = hintAnimation_;
  if (type == THintAnimationType::hatSystemDefault) {
    BOOL animate = FALSE, fade = FALSE;
    SystemParametersInfoW(SPI_GETTOOLTIPANIMATION, 0, &animate, 0);
    SystemParametersInfoW(SPI_GETTOOLTIPFADE, 0, &fade, 0);
    type = !animate ? THintAnimationType::hatNone : fade ? THintAnimationType::hatFade : THintAnimationType::hatSlide;
  }
  // Fading blends; without blending the hint slides in.
  if (type == THintAnimationType::hatFade && !MMXAvailable()) type = THintAnimationType::hatSlide;
  return type;
}

void TBaseLazyTree::SetHintMode(TLTHintMode mode) {
  hintMode_ = mode;
  ClaimHints();
}

// Off (its own setting or, with ParentShowHint, the parent's): no hint of
// the tree shows, neither its own nor the form's.
void TBaseLazyTree::ShowHintChanged() {
  if (!ShowHint()) HideHint();
  ClaimHints();
}

// The form's tooltip shows the short part of the control's Hint only in
// hmDefault, and only while hints are shown at all.
void TBaseLazyTree::ClaimHints() {
  HWND hwnd = HandleIfAllocated();
  if (hwnd == nullptr) return;
  if (hintMode_ == TLTHintMode::hmDefault && ShowHint())
    RemovePropW(hwnd, ui::kOwnHintsProp);
  else
    SetPropW(hwnd, ui::kOwnHintsProp, reinterpret_cast<HANDLE>(1));
  if (ui::TForm* form = ParentForm()) form->UpdateHint(this);
}

// Tooltips come at once, and so does a header hint right after a tree's hint
// window went away; otherwise the pause of the system's tooltips: the
// double-click time, a fifth of it while a hint was just showing.
unsigned TBaseLazyTree::HintPause(bool overHeader, bool hadHint) const {
  if (hintMode_ == TLTHintMode::hmTooltip || (overHeader && TLazyTreeHintWindow::WindowDestroyed())) return 0;
  return hadHint ? GetDoubleClickTime() / 5 : GetDoubleClickTime();
}

void TBaseLazyTree::HideHint() {
  StopTimer(kHintTimer);
  lastHintRect_ = {};
  DoStateChange({}, {tsHintShowing});
  if (hintWindow_) hintWindow_->Hide();
}

// Decides whether a hint shows for the client point: its data, the area it
// holds for (client coordinates) and where the window goes (screen).
bool TBaseLazyTree::DecideHint(POINT p, THintData& data, RECT& area, POINT& at) {
  HWND hwnd = HandleIfAllocated();
  data = THintData{};
  data.Tree = this;
  TTreeHitInfo hit;
  GetHitTestInfoAt(p.x, p.y, true, hit);
  const bool ownHint = states_.Contains(tsEditing)
                           ? hit.HitNode != FocusedNode()
                           : GetFocus() == hwnd || GetActiveWindow() != nullptr;
  if (GetCapture() != nullptr || !ShowHint() || Dragging() || states_.Contains(tsDrawSelecting) ||
      states_.Contains(tsDrawSelPending) || states_.Contains(tsScrolling) ||
      (header_ != nullptr && header_->States() != 0) || !ownHint)
    return false;
  const POINT screen = ClientToScreenPoint(hwnd, p);
  if (HeaderHintAt) {
    std::wstring text;
    RECT header{};
    if (HeaderHintAt(*this, p, text, header)) {
      if (text.empty() || GetKeyState(VK_LBUTTON) < 0) return false;
      data.DefaultHint = std::move(text);
      area = header;
      // Below the pointer, but not below the header.
      const POINT headerBottom = ClientToScreenPoint(hwnd, {0, header.bottom});
      at = {screen.x, std::min<LONG>(screen.y + GetSystemMetrics(SM_CYCURSOR), headerBottom.y)};
      return true;
    }
  }
  if (hintMode_ == TLTHintMode::hmDefault) return false;  // the form's own tooltip shows Hint
  if (hit.HitNode == nullptr || hit.HitColumn == kInvalidColumn) {
    if (hintMode_ != TLTHintMode::hmHintAndDefault) return false;
    data.DefaultHint = AnsiToWString(ui::ShortHint(Hint()));
    if (data.DefaultHint.empty()) return false;
    area = {p.x, p.y, p.x + 1, p.y + 1};
    at = {screen.x, screen.y + GetSystemMetrics(SM_CYCURSOR)};
    return true;
  }
  data.Node = hit.HitNode;
  data.Column = hit.HitColumn;
  // An owner-drawn hint needs a size to be shown at all; the window takes
  // the size from the hint data.
  if (DrawsOwnHints()) {
    RECT size{};
    DoGetHintSize(hit.HitNode, hit.HitColumn, size);
    if (IsRectEmpty(&size)) return false;
    data.HintRect = size;
  }
  // The hit cell's edges on screen (auto-spanned over empty neighbours);
  // without columns the cell spans the client width.
  int boundsLeft = 0, boundsRight = ViewWidth();
  if (TTreeHitInfo cell = hit; HeaderUsesColumns() && HitColumnBounds(cell, p.x - OffsetX(), boundsLeft, boundsRight)) {
    boundsLeft += OffsetX();
    boundsRight += OffsetX();
  }
  if (hintMode_ != TLTHintMode::hmTooltip) {
    const TLazyRect row = GetDisplayRect(hit.HitNode, hit.HitColumn, false);
    area = {boundsLeft, row.Top, boundsRight, row.Bottom};
    const POINT bottom = ClientToScreenPoint(hwnd, {0, row.Bottom});
    at = {screen.x, std::min<LONG>(screen.y + GetSystemMetrics(SM_CYCURSOR), bottom.y + 2)};
    return true;
  }
  TLazyRect text;
  if (MultiLine(hit.HitNode)) {
    text = GetDisplayRect(hit.HitNode, hit.HitColumn, true, false);
  } else {
    text = GetDisplayRect(hit.HitNode, hit.HitColumn, true, true);
    const bool inside = p.x >= text.Left && p.x < text.Right && p.y >= text.Top && p.y < text.Bottom &&
                        p.x >= boundsLeft && p.x < boundsRight;
    const bool cut = text.Right > std::min(boundsRight, ViewWidth()) || text.Left < std::max(boundsLeft, 0);
    if (!inside || !cut) return false;
  }
  area = {text.Left, text.Top, text.Right, text.Bottom};
  at = ClientToScreenPoint(hwnd, {text.Left, text.Top});
  return true;
}

void TBaseLazyTree::HintTimerExpired() {
  StopTimer(kHintTimer);
  HWND hwnd = HandleIfAllocated();
  POINT p{};
  GetCursorPos(&p);
  if (WindowFromPoint(p) != hwnd) return;
  ScreenToClient(hwnd, &p);
  THintData data;
  RECT area{};
  POINT at{};
  if (!DecideHint(p, data, area, at)) {
    lastHintRect_ = {};
    DoStateChange({}, {tsHintShowing});
    return;
  }
  if (!hintWindow_) hintWindow_ = std::make_unique<TLazyTreeHintWindow>(*this);
  // The hint holds for its area even when measuring it finds nothing to show.
  lastHintRect_ = area;
  DoStateChange({tsHintShowing});
  // The text a hint of the tree's own window carries outside its data.
  const std::wstring hint = L" ";
  RECT r = hintWindow_->CalcHintRect(GetSystemMetrics(SM_CXSCREEN), hint, &data);
  if (IsRectEmpty(&r)) return;
  OffsetRect(&r, at.x, at.y);
  // Nothing of the tree is touched after a hint whose animation outlived it.
  if (!hintWindow_->ActivateHint(r, hint)) return;
}

// The tree times its own hints: a pause after the mouse came to rest on a
// new spot; leaving, clicking and scrolling hide the hint, keys never do.
bool TBaseLazyTree::HintMessage(ui::TMessage& m) {
  switch (m.msg) {
    case WM_MOUSEMOVE: {
      const POINT p{static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam))};
      if (p.x == hintMousePos_.x && p.y == hintMousePos_.y) return false;
      hintMousePos_ = p;
      if (PtInRect(&lastHintRect_, p)) return false;
      const bool hadHint = hintWindow_ && hintWindow_->Visible();
      HideHint();
      if (!ShowHint() || (m.wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) != 0) return false;
      StartTimer(kHintTimer, HintPause(false, hadHint));
      TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, HandleIfAllocated(), 0};
      TrackMouseEvent(&track);
      return false;
    }
    case WM_CREATE:
      if (hintMode_ != TLTHintMode::hmDefault || !ShowHint())
        SetPropW(HandleIfAllocated(), ui::kOwnHintsProp, reinterpret_cast<HANDLE>(1));
      return false;
    case WM_TIMER:
      if (m.wParam != kHintTimer) return false;
      HintTimerExpired();
      return true;
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
    case WM_MOUSELEAVE: case WM_MOUSEWHEEL: case WM_VSCROLL: case WM_HSCROLL:
    case WM_CANCELMODE: case WM_DESTROY:
      if (m.msg == WM_DESTROY) RemovePropW(HandleIfAllocated(), ui::kOwnHintsProp);
      hintMousePos_ = {-1, -1};
      HideHint();
      return false;
  }
  return false;
}

}  // namespace kv
