// Wheel panning: the symbol window, the direction cursors, and the tree's
// handling of the middle button while it pans (timer 4 scrolls every 20 ms
// towards the mouse; the step comes from the auto-scroll).

#include "treeview/wheel_panning_win.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "treeview/base_lazy_tree_win.h"

namespace kv {

namespace {

constexpr int kPanningSize = 32;
constexpr COLORREF kOutside = RGB(255, 0, 255);

const wchar_t* PanningWindowClass() {
  static const wchar_t* name = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KvLazyTreePanning";
    RegisterClassExW(&wc);
    return L"KvLazyTreePanning";
  }();
  return name;
}

}  // namespace

HRGN CreateClipRegion(HBITMAP bitmap) {
  BITMAP info{};
  LazyTreeAssert(bitmap != nullptr && GetObjectW(bitmap, sizeof info, &info) != 0 && info.bmWidth > 0 &&
                     info.bmHeight > 0,
                 "Invalid wheel panning image.");
  const int width = info.bmWidth, height = info.bmHeight;
  const ui::MemoryDc dc = ui::CreateMemoryDc(nullptr);
  const ui::SelectedObject selected = ui::SelectInto(dc.Get(), bitmap);
  HRGN shape = CreateRectRgn(0, 0, 0, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width;) {
      while (x < width && GetPixel(dc.Get(), x, y) == kOutside) ++x;
      const int start = x;
      while (x < width && GetPixel(dc.Get(), x, y) != kOutside) ++x;
      if (x > start) {
        HRGN run = CreateRectRgn(start, y, x, y + 1);
        CombineRgn(shape, shape, run, RGN_OR);
        DeleteObject(run);
      }
    }
  }
  return shape;
}

const char* PanningCursorName(int dx, int dy, bool horizontal, bool vertical) {
  if (std::abs(dx) <= kPanningDeadZone && std::abs(dy) <= kPanningDeadZone)
    return !horizontal ? "LT_MOVENS" : !vertical ? "LT_MOVEEW" : "LT_MOVEALL";
  if (!horizontal) return dy < 0 ? "LT_MOVEN" : "LT_MOVES";
  if (!vertical) return dx < 0 ? "LT_MOVEW" : "LT_MOVEE";
  const bool up = dy < -kPanningDeadZone, down = dy > kPanningDeadZone;
  if (dx < -kPanningDeadZone) return up ? "LT_MOVENW" : down ? "LT_MOVESW" : "LT_MOVEW";
  if (dx > kPanningDeadZone) return up ? "LT_MOVENE" : down ? "LT_MOVESE" : "LT_MOVEE";
  return dy < 0 ? "LT_MOVEN" : "LT_MOVES";
}

TWheelPanning::TWheelPanning(HWND owner, POINT centre, bool horizontal, bool vertical) {
  const wchar_t* picture = horizontal && vertical ? L"LT_MOVEALL" : horizontal ? L"LT_MOVEEW" : L"LT_MOVENS";
  bitmap_ = ui::BitmapObject(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), picture, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!bitmap_) throw std::runtime_error("the panning picture is missing");
  // Owned by the tree's form, so above it; shown without activating, and the
  // tree holds the capture, so the symbol never takes the focus.
  window_ = CreateWindowExW(WS_EX_TOOLWINDOW, PanningWindowClass(), L"", WS_POPUP, centre.x - kPanningSize / 2,
                            centre.y - kPanningSize / 2, kPanningSize, kPanningSize, owner, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  if (window_ == nullptr) throw std::runtime_error("the panning window could not be made");
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  SetWindowRgn(window_, CreateClipRegion(bitmap_.Get()), FALSE);  // the window owns the region
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  UpdateWindow(window_);
}

TWheelPanning::~TWheelPanning() {
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
  if (cursor_ != nullptr) DestroyCursor(cursor_);
}

LRESULT CALLBACK TWheelPanning::WindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) noexcept {
  auto* self = reinterpret_cast<TWheelPanning*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr || msg != WM_PAINT) return DefWindowProcW(hwnd, msg, w, l);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (HDC memory = CreateCompatibleDC(dc)) {
    HGDIOBJ old = SelectObject(memory, self->bitmap_.Get());
    BitBlt(dc, 0, 0, kPanningSize, kPanningSize, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  EndPaint(hwnd, &ps);
  return 0;
}

void TWheelPanning::SetCursor(const char* name) {
  if (cursorName_ != nullptr && std::string_view(cursorName_) == name) return;
  const std::wstring wide(name, name + std::char_traits<char>::length(name));
  auto* cursor = static_cast<HCURSOR>(
      LoadImageW(GetModuleHandleW(nullptr), wide.c_str(), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE));
  if (cursor == nullptr) return;
  if (cursor_ != nullptr) DestroyCursor(cursor_);
  cursor_ = cursor;
  cursorName_ = name;
  ::SetCursor(cursor_);
}

// ----------------------------------------------------------- the tree side --

HWND TBaseLazyTree::PanningWindow() const { return panning_ ? panning_->Window() : nullptr; }

const char* TBaseLazyTree::PanningCursorName() const { return panning_ ? panning_->CursorName() : nullptr; }

void TBaseLazyTree::StartWheelPanning(POINT position) {
  StopTimer(kScrollTimer);
  HWND hwnd = HandleIfAllocated();
  const bool horizontal = std::int64_t{RangeX()} > ViewWidth();
  const bool vertical = std::int64_t{RangeY()} > ViewHeight();
  POINT screen = position;
  ClientToScreen(hwnd, &screen);
  panning_ = std::make_unique<TWheelPanning>(hwnd, screen, horizontal, vertical);
  DoStateChange({tsPanningHeld, tsPanningSticky});
  SetPanningStart(position.x, position.y);
  SetFocus(hwnd);
  SetCapture(hwnd);
  AdjustPanningCursor(position.x, position.y);
  StartTimer(kScrollTimer, 20);
}

void TBaseLazyTree::StopWheelPanning() {
  if (!Panning()) return;
  StopTimer(kScrollTimer);
  DoStateChange({}, {tsPanningHeld, tsPanningSticky, tsScrolling, tsScrollPending});
  if (GetCapture() == HandleIfAllocated()) ReleaseCapture();
  panning_.reset();
  const int cursor = Cursor();  // the control's own again
  ::SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(cursor != 0 ? cursor : 32512)));
}

void TBaseLazyTree::AdjustPanningCursor(int x, int y) {
  if (!panning_) return;
  const bool horizontal = std::int64_t{RangeX()} > ViewWidth();
  const bool vertical = std::int64_t{RangeY()} > ViewHeight();
  panning_->SetCursor(kv::PanningCursorName(x - lastClickPos_.x, y - lastClickPos_.y, horizontal, vertical));
}

// Runs before the mouse handlers; true when panning took the message.
bool TBaseLazyTree::PanningMessage(ui::TMessage& m) {
  const int x = static_cast<short>(LOWORD(m.lParam)), y = static_cast<short>(HIWORD(m.lParam));
  switch (m.msg) {
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: {
      if (!HasOption(toWheelPanning)) return false;
      // A column resize or drag of the header owns the press.
      if (header_ != nullptr && (header_->States() & kHeaderBusyStates) != 0) return false;
      const bool room = std::int64_t{RangeX()} > ViewWidth() || std::int64_t{RangeY()} > ViewHeight();
      if (!Panning() && room) {
        lastClickPos_ = {x, y};
        StartWheelPanning({x, y});
        m.result = 0;
        return true;
      }
      StopWheelPanning();
      return false;  // the normal press (with toMiddleClickSelect)
    }
    case WM_MBUTTONUP:
      if (!Panning()) return false;
      DoStateChange({}, {tsMiddleButtonDown});
      if (states_.Contains(tsPanningSticky))
        DoStateChange({}, {tsPanningHeld});  // clicked without moving: panning goes on
      else
        StopWheelPanning();
      m.result = 0;
      return true;
    case WM_MOUSEMOVE:
      if (!Panning()) return false;
      if (states_.Contains(tsPanningHeld) && states_.Contains(tsPanningSticky) &&
          (std::abs(x - lastClickPos_.x) >= GetSystemMetrics(SM_CXDRAG) ||
           std::abs(y - lastClickPos_.y) >= GetSystemMetrics(SM_CYDRAG)))
        DoStateChange({}, {tsPanningSticky});
      DoAutoScroll(x, y);
      AdjustPanningCursor(x, y);
      return false;
    case WM_MOUSEWHEEL:
    case WM_KILLFOCUS:
    case WM_CANCELMODE:
      // Cancel mode kills the scroll timer and takes the capture: panning
      // left on would show its symbol with nothing moving.
      StopWheelPanning();
      return false;
    case WM_SETCURSOR:
      if (Panning() && reinterpret_cast<HWND>(m.wParam) == HandleIfAllocated()) {
        m.result = 1;  // the direction cursor stays
        return true;
      }
      return SetCursorMessage(m);
  }
  return false;
}

}  // namespace kv
