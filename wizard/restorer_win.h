#pragma once
// Window geometry kept in the settings section "SizeAndPos": a form's size,
// position and window state and the sizes and positions of its named
// windowed descendants, each under the dotted path of component names.
// User-interface thread only.
#include <string>

#include "ui/control_win.h"

namespace kv {

class TConfiger;

inline constexpr char kSizeAndPos[] = "SizeAndPos";

// Sets the control and its named windowed descendants from the stored values;
// missing or non-numeric fields keep the layout's values, and so does a
// child's size that is negative, larger than its parent's client area, or
// that would leave the child or a control beside or inside it that showed
// with nothing to show. A form is made usable: no smaller than its minimum
// size, and wholly inside a monitor's work area.
// store null: the global settings store.
void Restore(ui::TControl& control, const std::string& key, TConfiger* store = nullptr);
// Stores the control and its visible named windowed descendants, writing the
// settings file after each. A hidden form is saved as it was last shown and
// is not shown again.
void Save(ui::TControl& control, const std::string& key, TConfiger* store = nullptr);

// Which of the four fields apply to the control, as Save writes them.
struct TGeometryFields {
  bool height, width, top, left;
};
TGeometryFields SavedFields(const ui::TControl& control);

}  // namespace kv
