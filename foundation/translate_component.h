#pragma once
#include "ui/component.h"

namespace kv {

// The texts TranslateComponent may translate.
enum TTranslatedProperty : unsigned { tpCaption = 1, tpTitle = 2, tpText = 4, tpHint = 8 };

// The language's TranslateComponent with the Caption, Title and Hint texts (an
// edit's text is the user's); nothing without a language.
void TranslateComponent(ui::TComponent& component);

}  // namespace kv
