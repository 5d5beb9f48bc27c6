#pragma once
// Forms (top-level windows with caption, border, placement, modal results
// and the close protocol) and frames (a layout placed on a form or on a
// small dialog it owns).
#include <windows.h>

#include <memory>
#include <string>

#include "ui/control_win.h"

namespace kv::ui {

enum class TBorderStyle { None, Single, Sizeable, Dialog, ToolWindow };
using TBorderIcons = uint8_t;
// A window carrying this property takes Enter and Escape itself (an
// in-place editor): the form's default and cancel buttons leave them alone.
inline constexpr wchar_t kWantAllKeysProp[] = L"KvWantAllKeys";
// A window carrying this property shows its hints itself: the form's
// tooltip leaves it out.
inline constexpr wchar_t kOwnHintsProp[] = L"KvOwnHints";

// A hint is "short|long": pop-up hints show the part before the first "|"
// (all of it without one).
inline std::string ShortHint(const std::string& hint) { return hint.substr(0, hint.find('|')); }

constexpr TBorderIcons biSystemMenu = 1, biMinimize = 2, biMaximize = 4;
enum class TPosition { Designed, ScreenCenter, MainFormCenter };
enum class TFormStyle { Normal, StayOnTop };
enum class TWindowState { Normal, Minimized, Maximized };

// Modal results.
constexpr int mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrAbort = IDABORT, mrRetry = IDRETRY,
              mrIgnore = IDIGNORE, mrYes = IDYES, mrNo = IDNO;

class TForm : public TControl {
 public:
  // Makes the (hidden) window at once and registers with the application.
  TForm();
  ~TForm() override;
  const char* ClassName() const override { return "TForm"; }

  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons icons);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle style);
  TWindowState WindowState() const;
  void SetWindowState(TWindowState state);

  int ClientWidth() const override;
  int ClientHeight() const override;
  void SetClientWidth(int width) override;
  void SetClientHeight(int height) override;
  void SetVisible(bool visible) override;
  // Places the window centred on the other form (or the screen when null);
  // halves are rounded toward zero.
  void CenterOn(const TForm* other);

  // Shows the form, disables the other forms and handles messages until a
  // modal result is set; a WM_QUIT meanwhile ends it with mrCancel, and so
  // does freeing the form from inside the loop.
  int ShowModal();
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }
  bool Modal() const { return modal_; }
  // The close protocol: OnCloseQuery may refuse, OnClose picks the action
  // (hide by default); closing the main form terminates the application.
  void Close();
  bool CloseQuery();

  TNotifyEvent OnCreate;
  // When the window becomes visible, after each change of its size, and
  // after the background is drawn (PaintDC is the paint's device context).
  TNotifyEvent OnShow, OnResize, OnPaint;
  HDC PaintDC() const { return paintDc_; }
  // The tallest the user may make the window (0: no limit).
  int MaxHeight() const { return maxHeight_; }
  void SetMaxHeight(int height) { maxHeight_ = height; }
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  // Runs OnCreate once the layout is built.
  void Loaded() override;

  // Enter and Esc for the control with the focus: Enter clicks a focused
  // button or the default button, Esc the cancel button. False when the key
  // belongs to the control.
  virtual bool DialogKey(HWND focus, WPARAM key);
  // Registers the control's hint with the form's tooltip.
  void UpdateHint(TControl* control);
  // The control that takes the keyboard focus when the form is shown
  // (null: the form itself).
  TControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TControl* control);

 protected:
  void CreateParams(TCreateParams& params) override;
  void WndProc(TMessage& m) override;
  void ApplyBounds() override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void FocusActiveControl();
  void ApplyStyle();
  void ReadBounds();

  TBorderStyle borderStyle_ = TBorderStyle::Sizeable;
  TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
  TPosition position_ = TPosition::Designed;
  TFormStyle formStyle_ = TFormStyle::Normal;
  TWindowState pendingState_ = TWindowState::Normal;
  int modalResult_ = mrNone;
  int maxHeight_ = 0;
  HDC paintDc_ = nullptr;
  bool modal_ = false;
  TControl* activeControl_ = nullptr;
  bool focusOnActivate_ = false;  // shown, the focus not yet placed
  HWND tooltip_ = nullptr;  // owned by the form's window, destroyed with it
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // seen by a running modal loop
};

class TFrame : public TControl {
 public:
  const char* ClassName() const override { return "TFrame"; }

 protected:
  void CreateParams(TCreateParams& params) override;
};

}  // namespace kv::ui
