#pragma once
// The theme manager as the start-up creates it: one component named
// "ThemeManager", attached to every form that exists when it is made.
#include <memory>

#include "ui/component.h"

namespace kv {

// Until the tree-view layer provides the visual-style painter, a plain
// component holds its place in the start-up order.
std::unique_ptr<ui::TComponent> CreateThemeManager();

}  // namespace kv
