#include "ui/dialogs.h"

#include <stdexcept>

namespace kv::ui {

std::string FilterToDialogForm(std::string_view filter) {
  if (filter.empty()) return std::string(2, '\0');
  std::string out;
  size_t parts = 1;
  for (char c : filter) {
    if (c == '\0') throw std::invalid_argument("a file filter cannot hold a NUL character");
    if (c == '|') ++parts;
    out += c == '|' ? '\0' : c;
  }
  if (parts % 2 != 0) throw std::invalid_argument("file filter \"" + std::string(filter) +
                                                  "\" lacks the pattern of its last entry");
  out.append(2, '\0');
  return out;
}

}  // namespace kv::ui
