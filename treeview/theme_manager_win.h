// The theme manager: makes the layer's standard controls paint in the
// system's visual style from outside, by replacing each control's window
// method with its own and handing on what it does not handle. Controls that
// answer CM_DENYSUBCLASSING (the trees) are left alone.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ui/component.h"
#include "ui/control_win.h"

namespace kv {

namespace ui {
class TForm;
}

using TThemeOptions = std::uint32_t;
constexpr TThemeOptions toAllowNonClientArea = 1u << 0, toAllowControls = 1u << 1,
                        toAllowWebContent = 1u << 2, toSubclassAnimate = 1u << 3,
                        toSubclassButtons = 1u << 4, toSubclassCheckListbox = 1u << 5,
                        toSubclassDBLookup = 1u << 6, toSubclassFrame = 1u << 7,
                        toSubclassGroupBox = 1u << 8, toSubclassListView = 1u << 9,
                        toSubclassPanel = 1u << 10, toSubclassTabSheet = 1u << 11,
                        toSubclassSpeedButtons = 1u << 12, toSubclassStatusBar = 1u << 13,
                        toSubclassTrackBar = 1u << 14, toSubclassWinControl = 1u << 15,
                        toResetMouseCapture = 1u << 16, toSetTransparency = 1u << 17,
                        toAlternateTabSheetDraw = 1u << 18;
// Everything except toSubclassAnimate and toAlternateTabSheetDraw.
constexpr TThemeOptions kDefaultThemeOptions = 0x3FFF7;

// One list per control class the manager knows; the layer has no class for
// some of them (tab sheets, list views, ...), whose lists stay empty. Speed
// buttons are real button windows here and join the button list.
enum class TThemeListKind : std::uint8_t {
  Panel, Frame, ListView, TabSheet, WinControl, GroupBox, ButtonControl, SpeedButton, TrackBar,
  Animate, StatusBar, CheckListBox, Form,
};
constexpr int kThemeListCount = 13;

class TThemeManager;

// The controls of one class whose window method the manager replaced, each
// with the method it had; kept sorted by control address for lookups.
class TWindowProcList {
 public:
  TWindowProcList(TThemeManager& manager, TThemeListKind kind);
  // -1 for a control of another class or one already listed; otherwise its
  // method is replaced.
  int Add(ui::TControl& control);
  // Index of the control, or -1.
  int Find(const ui::TControl* control);
  // Puts the control's own method back and drops it.
  void Remove(ui::TControl& control);
  // Drops a control that is being freed, touching nothing of it.
  void Forget(const ui::TComponent* component);
  // Puts every method back.
  void Clear();
  size_t Count() const { return entries_.size(); }
  // The control's own method handles the message.
  void CallSaved(ui::TControl& control, ui::TMessage& m);

 private:
  struct Entry {
    ui::TControl* control;
    ui::TWndMethod saved;
  };
  TThemeManager& manager_;
  TThemeListKind kind_;
  std::vector<Entry> entries_;
  bool sorted_ = true;
  const ui::TControl* lastControl_ = nullptr;
  int lastIndex_ = -1;
};

class TThemeManager : public ui::TComponent {
 public:
  // The first manager alive becomes the main one (collecting nothing yet:
  // see CollectForms); later ones are sub managers that take over its options.
  TThemeManager();
  ~TThemeManager() override;
  const char* ClassName() const override { return "TThemeManager"; }

  // The main manager, or null.
  static TThemeManager* MainManager();
  bool IsMainManager() const { return MainManager() == this; }

  TThemeOptions Options() const { return options_; }
  void SetOptions(TThemeOptions options);

  // Main manager only: the form's controls, or (null) every form's after
  // clearing all lists.
  void CollectForms(ui::TForm* form = nullptr);
  // Every control under parent, recursively; throws std::invalid_argument
  // for a null parent.
  void CollectControls(ui::TControl* parent);
  // Subclasses (inserting) or releases the control by its class.
  virtual void HandleControlChange(ui::TControl& control, bool inserting);
  // Gives every subclassed control its own method back.
  void ClearLists();
  // Takes the main role from the current main manager.
  virtual void ForceAsMainManager();
  void UpdateThemes();
  // WM_THEMECHANGED to every form and every windowed child.
  void BroadcastThemeChange();
  // Theme dialog texture for every windowed control of the form (all forms for
  // null); tool bars become transparent with toSetTransparency.
  void FixControls(ui::TForm* form = nullptr);

  // Which list holds the control, if any.
  bool Subclassed(const ui::TControl& control);
  size_t ListCount(TThemeListKind kind) const;

  using TAllowSubclassingEvent = std::function<void(TThemeManager& sender, ui::TControl& control,
                                                    bool& allow)>;
  using TControlMessageEvent = std::function<void(TThemeManager& sender, ui::TControl& control,
                                                  ui::TMessage& m, bool& handled)>;
  using TListener = std::function<bool(ui::TControl& control, ui::TMessage& m)>;
  TAllowSubclassingEvent OnAllowSubclassing;
  TControlMessageEvent OnControlMessage;
  ui::TNotifyEvent OnThemeChange;
  // Listeners see every control message; one answering true handles it.
  int RegisterListener(TListener listener);
  void UnregisterListener(int id);

  void Notification(ui::TComponent* component, ui::TOperation operation) override;
  void Loaded() override;

  // The manager's window method for a control of the list's class.
  void WindowProc(TThemeListKind kind, ui::TControl& control, ui::TMessage& m);

 protected:
  virtual bool DoAllowSubclassing(ui::TControl& control);
  virtual bool DoControlMessage(ui::TControl& control, ui::TMessage& m);
  virtual void DoOnThemeChange();
  virtual bool NeedsBorderPaint(ui::TControl& control);

 private:
  friend class TWindowProcList;
  static LRESULT CALLBACK HookProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  void MainWindowHook(UINT msg);
  void BecomeMain();
  void StopBeingMain();
  void FormAdded(ui::TForm* form);
  void RemoveEverywhere(const ui::TComponent* component);
  TWindowProcList& List(TThemeListKind kind) { return *lists_[static_cast<size_t>(kind)]; }
  void UpdateUIState(ui::TControl& control, const ui::TMessage& m);
  void ParentBackground(ui::TControl& control, HDC dc, bool groupBoxPart);
  void PaintGroupBox(ui::TControl& control);
  void PaintPanel(ui::TControl& control, HDC dc);
  LRESULT TrackBarCustomDraw(ui::TControl& control, const NMCUSTOMDRAW& draw);

  TThemeOptions options_ = kDefaultThemeOptions;
  std::array<std::unique_ptr<TWindowProcList>, kThemeListCount> lists_;
  std::vector<std::pair<int, TListener>> listeners_;
  int nextListener_ = 1;
  std::vector<ui::TForm*> pendingForms_;
  HWND window_ = nullptr;  // hidden; sees theme changes and runs the pending work
};

}  // namespace kv
