// The popup menu shown by the system: built from the items each time it
// pops up, destroyed once the choice is made.

#include "ui/popup_menu.h"

#include <windows.h>

#include "base/handle.h"
#include "ui/control_win.h"

namespace kv::ui {

void TPopupMenu::Popup(int x, int y) {
  const MenuHandle menu(CreatePopupMenu());
  if (!menu) return;
  for (size_t i = 0; i < items_.size(); ++i) {
    const TMenuItem& item = *items_[i];
    UINT flags = item.Caption == L"-" ? MF_SEPARATOR : MF_STRING;
    if (item.Checked) flags |= MF_CHECKED;
    if (!item.Enabled) flags |= MF_GRAYED;
    if (item.Break == TMenuBreak::Break) flags |= MF_MENUBREAK;
    if (item.Break == TMenuBreak::BarBreak) flags |= MF_MENUBARBREAK;
    AppendMenuW(menu.Get(), flags, i + 1, item.Caption.c_str());
    if (item.Default) SetMenuDefaultItem(menu.Get(), static_cast<UINT>(i + 1), FALSE);
  }
  HWND owner = nullptr;
  if (auto* control = dynamic_cast<TControl*>(PopupComponent)) owner = control->HandleIfAllocated();
  if (owner == nullptr) owner = GetActiveWindow();
  const UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON | (RightToLeft ? TPM_RIGHTALIGN : TPM_LEFTALIGN);
  const auto chosen = static_cast<size_t>(TrackPopupMenuEx(menu.Get(), flags, x, y, owner, nullptr));
  if (chosen >= 1 && chosen <= items_.size()) items_[chosen - 1]->Click();
}

}  // namespace kv::ui
