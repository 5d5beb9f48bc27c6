// The visual-style library for the whole program: whether styles are in
// force, one theme handle per element class opened on first use, drawing of
// element details, and the following of theme changes.
#pragma once

#include <windows.h>
#include <uxtheme.h>

#include <array>
#include <functional>
#include <string>

#include "base/handle.h"
#include "treeview/themed_elements.h"
#include "ui/control_win.h"

namespace kv {

class TThemeServices {
 public:
  // Watches `window` for theme changes (through a window subclass) when not null.
  explicit TThemeServices(HWND window);
  virtual ~TThemeServices();
  TThemeServices(const TThemeServices&) = delete;
  TThemeServices& operator=(const TThemeServices&) = delete;

  bool ThemesAvailable() const { return themesAvailable_; }
  bool UseThemes() const { return useThemes_; }
  bool ControlsEnabled() const { return controlsEnabled_; }
  // Callers draw themed only when this holds.
  bool ThemesEnabled() const { return themesAvailable_ && useThemes_ && controlsEnabled_; }

  // The class's theme handle, opened on first use; null while styles are off.
  HTHEME Theme(TThemedElement element);

  void DrawElement(HDC dc, const TThemedElementDetails& details, const RECT& r,
                   const RECT* clipRect = nullptr);
  void DrawEdge(HDC dc, const TThemedElementDetails& details, const RECT& r, UINT edge,
                UINT flags, RECT* contentRect = nullptr);
  void DrawText(HDC dc, const TThemedElementDetails& details, const std::wstring& text, RECT r,
                DWORD flags, DWORD flags2);
  // The content area of the part inside `bounds` (bounds itself when unthemed).
  RECT ContentRect(HDC dc, const TThemedElementDetails& details, const RECT& bounds);
  // The parent's background behind `window`; with onlyIfTransparent and
  // details, only where that part is partly transparent.
  void DrawParentBackground(HWND window, HDC target, const TThemedElementDetails* details,
                            bool onlyIfTransparent, const RECT* bounds = nullptr);
  // A themed 2-pixel frame over the client edge of `control`.
  void PaintBorder(ui::TControl& control, bool eraseLRCorner);

  // Rereads whether styles are in force; closes the handles when they were.
  void UpdateThemes();
  // Closes every open handle (unless the watched window died with them).
  void UnloadThemeData();

  std::function<void(TThemeServices& sender)> OnThemeChange;

 protected:
  virtual void DoOnThemeChange();

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data) noexcept;
  void Unsubclass();

  bool themesAvailable_ = false;
  bool useThemes_ = false;
  bool controlsEnabled_ = false;
  HWND window_ = nullptr;
  bool subclassed_ = false;
  ModuleHandle library_;
  std::array<HTHEME, kThemedElementCount> themes_{};
};

// The process-wide instance, made on first call for the application's main
// form window (none when there is no main form yet) and freed at exit.
TThemeServices& ThemeServices();

}  // namespace kv
