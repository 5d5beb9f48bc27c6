#pragma once
// The smart-marking preferences dialog of the results page: three criteria
// in priority order, each with its direction, and the preferred folder.
// Every change applies to the live preferences at once; OK also stores them
// in "Session". User-interface thread only.
#include <windows.h>

#include "ui/forms_win.h"

namespace kv {

class TTuneSmartFrame : public ui::TFrame {
 public:
  TTuneSmartFrame();
  const char* ClassName() const override { return "TTuneSmartFrame"; }

  // Loads the live preferences from "Session" (also when the results page is made).
  static void LoadMode();
  // Shows the dialog modally.
  void Run();
  // Shows the live criteria in the rows.
  void Redraw();

  void Button1Click(ui::TComponent* sender);
  void ToolButton3Click(ui::TComponent* sender);
  void ToolButton1Click(ui::TComponent* sender);
  void ComboChange(ui::TComponent* sender);
  void KeepFolderCheckboxClick(ui::TComponent* sender);
  void SelectFolderButtonClick(ui::TComponent* sender);
};

}  // namespace kv
