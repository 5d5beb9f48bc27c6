#pragma once
#include "ui/component.h"

namespace kv {

// Translates the Caption, Title and Hint texts of 1 to 100 characters of the
// component and of every component it owns, recursively.
void TranslateComponent(ui::TComponent& component);

}  // namespace kv
