#pragma once
// TOwnerDrawScrollbar: a vertical scroll bar drawn by the program, classic
// (pattern track, frame-control arrows, raised thumb) or in the visual style
// of the class "scrollbar". It reports each action to an associated control
// as WM_VSCROLL, repeats held presses on timers and never takes activation.
#include <windows.h>
#include <uxtheme.h>

#include <cstdint>
#include <functional>

#include "shell/owner_draw_scrollbar.h"
#include "ui/control_win.h"

namespace kv {

// State bits of the scroll bar.
enum TScrollbarStateBit : uint16_t {
  sbsThumbPressed = 1, sbsLowerArrowPressed = 2, sbsLowerArrowHot = 4, sbsThumbHot = 8,
  sbsUpperArrowHot = 16, sbsLeftButtonDown = 32, sbsPageBelowPressed = 64, sbsOverPressedPage = 128,
  sbsPageAbovePressed = 0x100, sbsUpperArrowPressed = 0x800, sbsThemesAvailable = 0x1000,
};

// Timers of the scroll bar's window.
constexpr UINT_PTR kScrollbarHotTimer = 201, kScrollbarRepeatTimer = 202, kScrollbarDelayTimer = 203;

class TScrollBarColors {
 public:
  ui::TColor ThumbButton() const { return thumbButton_; }
  ui::TColor Background() const { return background_; }
  ui::TColor BackgroundBlend() const { return backgroundBlend_; }
  ui::TColor FlatBorder() const { return flatBorder_; }
  // Each of the three track and thumb colours rebuilds the track pattern.
  void SetThumbButton(ui::TColor c) { Set(thumbButton_, c); }
  void SetBackground(ui::TColor c) { Set(background_, c); }
  void SetBackgroundBlend(ui::TColor c) { Set(backgroundBlend_, c); }
  void SetFlatBorder(ui::TColor c) { flatBorder_ = c; }
  std::function<void()> OnChange;

 private:
  void Set(ui::TColor& field, ui::TColor c) {
    field = c;
    if (OnChange) OnChange();
  }
  ui::TColor thumbButton_ = ui::kSysColor | COLOR_SCROLLBAR;
  ui::TColor background_ = ui::kSysColor | COLOR_SCROLLBAR;
  ui::TColor backgroundBlend_ = ui::clWhite;
  ui::TColor flatBorder_ = ui::clBlack;
};

class TCustomOwnerDrawScrollbar : public ui::TControl {
 public:
  TCustomOwnerDrawScrollbar();
  ~TCustomOwnerDrawScrollbar() override;
  const char* ClassName() const override { return "TCustomOwnerDrawScrollbar"; }

  int Min() const { return range_.Min(); }
  int Max() const { return range_.Max(); }
  int PageSize() const { return range_.PageSize(); }
  int Position() const { return range_.Position(); }
  void SetMin(int value);
  void SetMax(int value);
  void SetPageSize(int value);
  void SetPosition(int value);
  int SmallChange() const { return smallChange_; }
  void SetSmallChange(int value) { smallChange_ = value; }
  int LargeChange() const { return largeChange_; }
  void SetLargeChange(int value) { largeChange_ = value; }
  UINT AutoRepeatInterval() const { return repeatInterval_; }
  void SetAutoRepeatInterval(UINT ms) { repeatInterval_ = ms; }
  bool AllowThemes() const { return allowThemes_; }
  void SetAllowThemes(bool value);
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  // Receives the scroll messages; null: the bar moves its own Position.
  ui::TControl* AssociatedControl() const { return associated_; }
  void SetAssociatedControl(ui::TControl* control) { associated_ = control; }
  TScrollBarColors& Colors() { return colors_; }
  uint16_t State() const { return state_; }
  // The parts for the current size and range.
  TScrollbarGeometry Geometry() const;
  bool UsesThemes() const { return allowThemes_ && theme_ != nullptr; }

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitHandle() override;
  void WndProc(ui::TMessage& m) override;

 private:
  void OpenTheme();
  void CloseTheme();
  void RebuildPattern();
  void Paint(HDC dc);
  void PaintClassic(HDC dc, const TScrollbarGeometry& g, int width);
  void PaintThemed(HDC dc, const TScrollbarGeometry& g, int width);
  // The part under client point (x, y).
  TScrollbarPart PartAt(int x, int y) const;
  void MouseDown(int x, int y, bool doubleClick);
  void MouseUp();
  void MouseMove(int x, int y);
  void Timer(UINT_PTR id);
  void UpdateHot(int x, int y);
  // The action of the pressed part (line or page), if any.
  int PressedCode() const;
  bool CursorOverPressedPage();
  void DoScroll(int code);
  void SetState(uint16_t set, uint16_t clear);

  TScrollbarRange range_;
  int smallChange_ = 1, largeChange_ = 1;
  UINT repeatInterval_ = 100;
  bool allowThemes_ = true, flat_ = false;
  ui::TControl* associated_ = nullptr;
  TScrollBarColors colors_;
  uint16_t state_ = 0;
  bool releasing_ = false;  // inside MouseUp
  HTHEME theme_ = nullptr;
  ui::BrushObject pattern_;
};

class TOwnerDrawScrollbar : public TCustomOwnerDrawScrollbar {
 public:
  const char* ClassName() const override { return "TOwnerDrawScrollbar"; }
};

}  // namespace kv
