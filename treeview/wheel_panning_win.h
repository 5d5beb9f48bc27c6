#pragma once
// Wheel panning: a press of the middle button shows a panning symbol at the
// point and the tree scrolls towards wherever the mouse goes from there,
// the cursor showing the direction.

#include <windows.h>

#include "ui/gdi_win.h"

namespace kv {

// The direction cursor's resource name for the mouse `dx`, `dy` pixels away
// from the panning origin, with the directions the content can scroll in.
const char* PanningCursorName(int dx, int dy, bool horizontal, bool vertical);

// The shape of a panning picture: a region of one-pixel-high runs of the
// pixels that are not fuchsia; the caller owns it. An empty picture is an
// ELazyTreeAssertion.
HRGN CreateClipRegion(HBITMAP bitmap);

// The panning symbol window (a tool window clipped to the symbol's shape)
// and the current direction cursor; both go with the object.
class TWheelPanning {
 public:
  // `centre`: screen point; the symbol shows the directions that can scroll.
  TWheelPanning(HWND owner, POINT centre, bool horizontal, bool vertical);
  ~TWheelPanning();
  TWheelPanning(const TWheelPanning&) = delete;
  TWheelPanning& operator=(const TWheelPanning&) = delete;
  HWND Window() const { return window_; }
  const char* CursorName() const { return cursorName_; }
  // Loads and sets the named cursor unless it is the current one.
  void SetCursor(const char* name);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) noexcept;
  HWND window_ = nullptr;
  ui::BitmapObject bitmap_;
  HCURSOR cursor_ = nullptr;
  const char* cursorName_ = nullptr;
};

}  // namespace kv
