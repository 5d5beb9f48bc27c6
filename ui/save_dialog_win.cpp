#include "ui/save_dialog_win.h"

#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "base/ansi_text_win.h"
#include "ui/dialogs.h"

namespace kv::ui {

bool TSaveDialog::Execute() {
  const std::wstring filter = AnsiToWString(FilterToDialogForm(Filter));
  const std::wstring title = AnsiToWString(Title), ext = AnsiToWString(DefaultExt),
                     dir = AnsiToWString(InitialDir);
  std::vector<wchar_t> file(32768, L'\0');
  // The file chosen last, folder and all, by its exact name: its ANSI text
  // may hold "?" for letters the code page lacks, which the dialog would
  // take for a filter. A FileName set since then names the file instead.
  const bool sameAsLast = !WideFileName.empty() && WStringToAnsi(WideFileName) == FileName;
  const std::wstring initial = sameAsLast ? WideFileName : AnsiToWString(FileName);
  initial.copy(file.data(), std::min(initial.size(), file.size() - 1));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
  ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | (OverwritePrompt ? OFN_OVERWRITEPROMPT : 0) |
              (HideReadOnly ? OFN_HIDEREADONLY : 0) | (EnableSizing ? OFN_ENABLESIZING : 0);
  if (!GetSaveFileNameW(&ofn)) return false;
  WideFileName = file.data();
  FileName = WStringToAnsi(WideFileName);
  return true;
}

bool TSaveDialog::GetTextProperty(std::string_view name, std::string& value) const {
  if (!SameName(name, "Title")) return false;
  value = Title;
  return true;
}

bool TSaveDialog::SetTextProperty(std::string_view name, const std::string& value) {
  if (!SameName(name, "Title")) return false;
  Title = value;
  return true;
}

}  // namespace kv::ui
