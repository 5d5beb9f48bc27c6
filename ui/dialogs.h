#pragma once
// The parts of the file dialogs that are plain text handling.
#include <string>
#include <string_view>

namespace kv::ui {

// "Text|*.txt|All|*.*" -> "Text\0*.txt\0All\0*.*\0\0" (the dialog's filter
// form). An odd number of parts leaves the last description without a
// pattern and is refused.
std::string FilterToDialogForm(std::string_view filter);

}  // namespace kv::ui
