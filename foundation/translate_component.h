#pragma once
#include "ui/component.h"

namespace kv {

// The texts TranslateComponent may translate.
enum TTranslatedProperty : unsigned { tpCaption = 1, tpTitle = 2, tpText = 4, tpHint = 8 };

// Translates the chosen texts of 1 to 100 characters of the component and of
// every component it owns, recursively (owned components last to first).
void TranslateComponent(ui::TComponent& component, unsigned properties);
// The same with the Caption, Title and Hint texts (an edit's text is the user's).
void TranslateComponent(ui::TComponent& component);

}  // namespace kv
