#pragma once
// TCustomWideEdit: an EDIT whose text is read and written as UTF-16. The GUI
// layer's windows are wide already, so no trap or second window class is
// needed: the control's WideText and SetWideText hold the exact text, with
// a window or without one, and SetText replaces it.
#include <string>

#include "ui/std_controls_win.h"

namespace kv {

class TCustomWideEdit : public ui::TEdit {
 public:
  const char* ClassName() const override { return "TCustomWideEdit"; }
  // Selects characters [start, end) (posted, as typing would).
  void SelectText(int start, int end);
};

}  // namespace kv
