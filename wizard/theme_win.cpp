#include "wizard/theme_win.h"

namespace kv {

std::unique_ptr<ui::TComponent> CreateThemeManager() {
  auto manager = std::make_unique<ui::TComponent>();
  manager->SetName("ThemeManager");
  return manager;
}

}  // namespace kv
