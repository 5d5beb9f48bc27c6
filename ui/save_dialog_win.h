#pragma once
// The system's save-file dialog as a component.
#include <string>

#include "ui/component.h"

namespace kv::ui {

class TSaveDialog : public TComponent {
 public:
  const char* ClassName() const override { return "TSaveDialog"; }
  std::string Title, Filter, DefaultExt, FileName, InitialDir;
  // The chosen file's exact name (FileName is its ANSI text, which loses
  // the letters the code page lacks). The next Execute starts from it while
  // FileName is still its ANSI text.
  std::wstring WideFileName;
  bool OverwritePrompt = false, HideReadOnly = false, EnableSizing = false;
  // Shows the dialog; true and FileName (and WideFileName) set when the user chose a file.
  bool Execute();

  bool GetTextProperty(std::string_view name, std::string& value) const override;
  bool SetTextProperty(std::string_view name, const std::string& value) override;
};

}  // namespace kv::ui
