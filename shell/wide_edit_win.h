#pragma once
// TCustomWideEdit: an EDIT whose text is read and written as UTF-16. The GUI
// layer's windows are wide already, so no trap or second window class is
// needed; the text just bypasses the layer's ANSI text.
#include <string>

#include "ui/std_controls_win.h"

namespace kv {

class TCustomWideEdit : public ui::TEdit {
 public:
  const char* ClassName() const override { return "TCustomWideEdit"; }
  std::wstring WideText() const;
  void SetWideText(const std::wstring& text);
  // Selects characters [start, end) (posted, as typing would).
  void SelectText(int start, int end);

 protected:
  void InitHandle() override;

 private:
  std::wstring pending_;  // the text while there is no window
};

}  // namespace kv
