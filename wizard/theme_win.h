#pragma once
// The theme manager as the start-up creates it: one component named
// "ThemeManager", attached to every form that exists when it is made.
#include <memory>

#include "ui/component.h"

namespace kv {

// The main theme manager, named "ThemeManager", with every form that exists
// now collected (later forms are collected as they come).
std::unique_ptr<ui::TComponent> CreateThemeManager();

}  // namespace kv
