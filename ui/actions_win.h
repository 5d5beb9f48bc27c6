#pragma once
// Actions: commands a menu item or tool button may run, enabled or not by
// their Update. The standard edit actions (select all, copy, cut, paste,
// delete) have no target of their own: they go to the control that has the
// keyboard focus, through its ExecuteAction and UpdateAction.

namespace kv::ui {

class TControl;

class TBasicAction {
 public:
  virtual ~TBasicAction() = default;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  // Carries the action out; false when nothing took it.
  virtual bool Execute() = 0;
  // Brings Enabled up to date; false when nothing decided it (Enabled stays).
  virtual bool Update() = 0;

 private:
  bool enabled_ = true;
};

enum class TEditActionKind { SelectAll, Copy, Cut, Paste, Delete };

class TEditAction : public TBasicAction {
 public:
  explicit TEditAction(TEditActionKind kind) : kind_(kind) {}
  TEditActionKind Kind() const { return kind_; }
  // Both go to the focused control of this process's windows.
  bool Execute() override;
  bool Update() override;

 private:
  TEditActionKind kind_;
};

// The control whose window has the keyboard focus, or null.
TControl* FocusedControl();

}  // namespace kv::ui
