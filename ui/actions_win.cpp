#include "ui/actions_win.h"

#include <windows.h>

#include "ui/control_win.h"

namespace kv::ui {

TControl* FocusedControl() {
  HWND focus = GetFocus();
  return focus ? TControl::FromHandle(focus) : nullptr;
}

bool TEditAction::Execute() {
  TControl* target = FocusedControl();
  return target != nullptr && target->ExecuteAction(*this);
}

bool TEditAction::Update() {
  TControl* target = FocusedControl();
  return target != nullptr && target->UpdateAction(*this);
}

}  // namespace kv::ui
