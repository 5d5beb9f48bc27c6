#include "ui/gdi_win.h"

#include <stdexcept>
#include <utility>

#include "base/ansi_text_win.h"

namespace kv::ui {

BrushObject MakeSolidBrush(COLORREF color) {
  BrushObject brush(CreateSolidBrush(color));
  if (!brush) throw std::runtime_error("cannot create a brush");
  return brush;
}

PenObject MakeSolidPen(COLORREF color, int width) {
  PenObject pen(CreatePen(PS_SOLID, width, color));
  if (!pen) throw std::runtime_error("cannot create a pen");
  return pen;
}

BitmapObject LoadBitmapResource(const std::string& name) {
  BitmapObject bitmap(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                                      AnsiToWString(name).c_str(), IMAGE_BITMAP,
                                                      0, 0, LR_CREATEDIBSECTION)));
  if (!bitmap) throw std::runtime_error("bitmap resource \"" + name + "\" not found");
  return bitmap;
}

// ------------------------------------------------------------------ GetDC --
WindowDc GetClientDc(HWND window) {
  HDC dc = GetDC(window);
  if (!dc) throw std::runtime_error("cannot get a device context");
  return WindowDc(window, dc);
}

WindowDc GetFrameDc(HWND window) { return WindowDc(window, GetWindowDC(window)); }

WindowDc GetFrameDcIn(HWND window, HRGN update) {
  if (update == nullptr || update == reinterpret_cast<HRGN>(1)) return GetFrameDc(window);
  // The context takes the region it is given: it gets a copy.
  RegionObject copy(CreateRectRgn(0, 0, 0, 0));
  if (copy.Get() != nullptr && CombineRgn(copy.Get(), update, nullptr, RGN_COPY) != ERROR) {
    if (HDC dc = GetDCEx(window, copy.Get(), DCX_WINDOW | DCX_CACHE | DCX_CLIPSIBLINGS | DCX_INTERSECTRGN)) {
      static_cast<void>(copy.Release());
      return WindowDc(window, dc);
    }
  }
  return GetFrameDc(window);
}

WindowDc::WindowDc(WindowDc&& other) noexcept
    : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}

WindowDc& WindowDc::operator=(WindowDc&& other) noexcept {
  if (this != &other) {
    if (dc_) ReleaseDC(window_, dc_);
    window_ = other.window_;
    dc_ = std::exchange(other.dc_, nullptr);
  }
  return *this;
}

WindowDc::~WindowDc() {
  if (dc_) ReleaseDC(window_, dc_);
}

// ------------------------------------------------------------- BeginPaint --
PaintDc BeginPaintDc(HWND window) {
  PaintDc paint(window);
  if (!paint.Get()) throw std::runtime_error("cannot paint the window");  // EndPaint still runs
  return paint;
}

PaintDc::PaintDc(HWND window) : window_(window) { BeginPaint(window, &ps_); }

PaintDc::PaintDc(PaintDc&& other) noexcept
    : window_(std::exchange(other.window_, nullptr)), ps_(other.ps_) {}

PaintDc& PaintDc::operator=(PaintDc&& other) noexcept {
  if (this != &other) {
    if (window_) EndPaint(window_, &ps_);
    window_ = std::exchange(other.window_, nullptr);
    ps_ = other.ps_;
  }
  return *this;
}

PaintDc::~PaintDc() {
  if (window_) EndPaint(window_, &ps_);
}

// ----------------------------------------------------- CreateCompatibleDC --
MemoryDc CreateMemoryDc(HDC like) {
  HDC dc = CreateCompatibleDC(like);
  if (!dc) throw std::runtime_error("cannot create a memory device context");
  return MemoryDc(dc);
}

MemoryDc::MemoryDc(MemoryDc&& other) noexcept : dc_(std::exchange(other.dc_, nullptr)) {}

MemoryDc& MemoryDc::operator=(MemoryDc&& other) noexcept {
  if (this != &other) {
    if (dc_) DeleteDC(dc_);
    dc_ = std::exchange(other.dc_, nullptr);
  }
  return *this;
}

MemoryDc::~MemoryDc() {
  if (dc_) DeleteDC(dc_);
}

// ------------------------------------------------------------ SelectObject --
SelectedObject SelectInto(HDC dc, HGDIOBJ object) {
  HGDIOBJ previous = SelectObject(dc, object);
  if (!previous || previous == HGDI_ERROR) throw std::runtime_error("cannot select a GDI object");
  return SelectedObject(dc, previous);
}

SelectedObject::SelectedObject(SelectedObject&& other) noexcept
    : dc_(std::exchange(other.dc_, nullptr)), previous_(std::exchange(other.previous_, nullptr)) {}

SelectedObject& SelectedObject::operator=(SelectedObject&& other) noexcept {
  if (this != &other) {
    Restore();
    dc_ = std::exchange(other.dc_, nullptr);
    previous_ = std::exchange(other.previous_, nullptr);
  }
  return *this;
}

SelectedObject::~SelectedObject() { Restore(); }

void SelectedObject::Restore() noexcept {
  if (dc_ && previous_) SelectObject(dc_, previous_);
}

}  // namespace kv::ui
