#include "wizard/theme_win.h"

#include "treeview/theme_manager_win.h"

namespace kv {

std::unique_ptr<ui::TComponent> CreateThemeManager() {
  auto manager = std::make_unique<TThemeManager>();
  manager->SetName("ThemeManager");
  manager->CollectForms();
  return manager;
}

}  // namespace kv
