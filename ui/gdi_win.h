#pragma once
// Owners of GDI objects and device contexts. Each kind of GDI object is its
// own type, and each kind of DC is released its own way (EndPaint,
// ReleaseDC, DeleteDC), so none is released the wrong way. DCs and
// selections come from the factories below; all owners are move-only.
#include <windows.h>

#include <string>

#include "base/handle.h"

namespace kv::ui {

template <class T>
struct GdiObjectOf {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { DeleteObject(h); }
};
using FontObject = Handle<GdiObjectOf<HFONT>>;
using BrushObject = Handle<GdiObjectOf<HBRUSH>>;
using PenObject = Handle<GdiObjectOf<HPEN>>;
using BitmapObject = Handle<GdiObjectOf<HBITMAP>>;
using RegionObject = Handle<GdiObjectOf<HRGN>>;

// A solid brush or pen of an RGB colour; throw when GDI refuses.
[[nodiscard]] BrushObject MakeSolidBrush(COLORREF color);
[[nodiscard]] PenObject MakeSolidPen(COLORREF color, int width);
// A bitmap resource of the program as a DIB section; throws when missing.
[[nodiscard]] BitmapObject LoadBitmapResource(const std::string& name);

class WindowDc;
class PaintDc;
class MemoryDc;
class SelectedObject;
// GetDC: the window's client area; null is the screen.
[[nodiscard]] WindowDc GetClientDc(HWND window);
// GetWindowDC: the whole window, frame included. Get() is null when the
// system gives none (painting code skips its work then).
[[nodiscard]] WindowDc GetFrameDc(HWND window);
// GetDCEx: the whole window clipped to `update` (screen coordinates, as
// WM_NCPAINT gives it; null or 1 is the whole frame). Falls back to
// GetFrameDc where the system refuses the clipped context.
[[nodiscard]] WindowDc GetFrameDcIn(HWND window, HRGN update);
// BeginPaint, for WM_PAINT.
[[nodiscard]] PaintDc BeginPaintDc(HWND window);
// CreateCompatibleDC: compatible with like, or with the screen when null.
[[nodiscard]] MemoryDc CreateMemoryDc(HDC like);
// SelectObject: the previous object returns when the result goes.
[[nodiscard]] SelectedObject SelectInto(HDC dc, HGDIOBJ object);

class WindowDc {  // ReleaseDC
 public:
  WindowDc(WindowDc&& other) noexcept;
  WindowDc& operator=(WindowDc&& other) noexcept;
  ~WindowDc();
  HDC Get() const { return dc_; }

 private:
  friend WindowDc GetClientDc(HWND window);
  friend WindowDc GetFrameDc(HWND window);
  friend WindowDc GetFrameDcIn(HWND window, HRGN update);
  WindowDc(HWND window, HDC dc) : window_(window), dc_(dc) {}
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
};

class PaintDc {  // EndPaint
 public:
  PaintDc(PaintDc&& other) noexcept;
  PaintDc& operator=(PaintDc&& other) noexcept;
  ~PaintDc();
  HDC Get() const { return ps_.hdc; }
  // The part of the client area to paint.
  const RECT& PaintRect() const { return ps_.rcPaint; }

 private:
  friend PaintDc BeginPaintDc(HWND window);
  explicit PaintDc(HWND window);
  HWND window_ = nullptr;  // null once moved from
  PAINTSTRUCT ps_{};
};

class MemoryDc {  // DeleteDC
 public:
  MemoryDc(MemoryDc&& other) noexcept;
  MemoryDc& operator=(MemoryDc&& other) noexcept;
  ~MemoryDc();
  HDC Get() const { return dc_; }

 private:
  friend MemoryDc CreateMemoryDc(HDC like);
  explicit MemoryDc(HDC dc) : dc_(dc) {}
  HDC dc_ = nullptr;
};

class SelectedObject {  // selects the previous object again
 public:
  SelectedObject(SelectedObject&& other) noexcept;
  SelectedObject& operator=(SelectedObject&& other) noexcept;
  ~SelectedObject();

 private:
  friend SelectedObject SelectInto(HDC dc, HGDIOBJ object);
  SelectedObject(HDC dc, HGDIOBJ previous) : dc_(dc), previous_(previous) {}
  void Restore() noexcept;
  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace kv::ui
