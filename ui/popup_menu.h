#pragma once
// A popup menu's items as data: what a control offers as its own submenu
// inside a system menu. The system menu is built from it on demand. The menu
// is a component, so the controls showing it hear when it is freed.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/component.h"

namespace kv::ui {

enum class TMenuBreak { None, Break, BarBreak };

class TMenuItem {
 public:
  explicit TMenuItem(std::wstring caption) : Caption(std::move(caption)) {}
  std::wstring Caption;  // "-" is a separator
  bool Checked = false, Default = false, Enabled = true, RadioItem = false;
  TMenuBreak Break = TMenuBreak::None;
  std::function<void(TMenuItem&)> OnClick;
  void Click() {
    if (OnClick) OnClick(*this);
  }
};

class TPopupMenu : public TComponent {
 public:
  const char* ClassName() const override { return "TPopupMenu"; }
  // Shows the menu at a screen point over the popup component's window and
  // clicks the chosen item (nothing when the menu is dismissed).
  void Popup(int x, int y);
  // The component the menu was popped up for (a tree sets itself).
  TComponent* PopupComponent = nullptr;
  TMenuItem& Add(std::wstring caption) { return *items_.emplace_back(std::make_unique<TMenuItem>(std::move(caption))); }
  size_t Count() const { return items_.size(); }
  TMenuItem& Items(size_t index) { return *items_.at(index); }
  bool RightToLeft = false;

 private:
  std::vector<std::unique_ptr<TMenuItem>> items_;
};

}  // namespace kv::ui
