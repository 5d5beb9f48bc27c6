#pragma once
// Picking a folder on the shell's folder tree: the explorer panel, and the
// results page's destination chooser built on it. User-interface thread only.
#include <windows.h>

#include <string>

#include "shell/explorer_tree_win.h"
#include "ui/forms_win.h"
#include "wizard/filtered_list_view_win.h"
#include "ui/std_controls_win.h"

namespace kv {

class TExplorer;

// The explorer's shell folder tree. The explorer's file list follows its
// selection.
class TFoldersTree : public TLazyExplorerTreeview {
 public:
  const char* ClassName() const override { return "TFoldersTree"; }
  TExplorer* Explorer = nullptr;  // the explorer it belongs to

 protected:
  void DoChange(PLazyNode node) override;
};

// A panel holding a shell folder tree, optionally with the filtered file list
// of the selected folder beside it, that selects given paths and answers the
// selected folder. The program itself shows folders only.
class TExplorer : public ui::TPanel {
 public:
  TExplorer();
  // Keeps the tree's width in the settings (Section/"DirWidth").
  ~TExplorer() override;
  const char* ClassName() const override { return "TExplorer"; }

  // Builds the controls once; without the shell there are none. With files,
  // the tree keeps its width of the last time (Section/"DirWidth") on the
  // left, a splitter beside it, and the file list takes the rest.
  void Prepare(bool foldersOnly);
  // Selects the folder of each line (CR LF between lines, the last line
  // first): every folder on its way is expanded and selected in turn, so
  // "C:\Music\Rock\" ends on Rock and a line without a trailing "\" on its
  // parent. Short (8.3) names are expanded first. The file list shows the
  // folder and selects the line's file.
  void SetSelectedFiles(const std::string& files);
  // The selected file-system folder as the tree names it (the folder the file
  // list shows, when there is one); empty when none is selected or the
  // selected item is no file-system folder.
  std::wstring GetFolder();
  void OnChange(ui::TComponent* sender);

  std::string Section = "Explorer";
  ui::TNotifyEvent OnFolderChange;
  // Whether the file list lets several files be selected (before Prepare).
  bool MultiSelect = true;
  TFoldersTree* FoldersTree = nullptr;
  TFilteredListView* FileList = nullptr;  // only when prepared with files

 private:
  PLazyNode Reveal(const std::wstring& folder);
};

// The destination of moving and copying: a modal dialog "Copy/Move Files"
// with the folder tree, the chosen folder's text and "Recreate directory
// structure in destination"; remembers both in "Last".
class TMoveToFrame : public ui::TFrame {
 public:
  TMoveToFrame();
  const char* ClassName() const override { return "TMoveToFrame"; }
  // Shows the chooser; dest is the chosen folder ending in "\", or empty
  // after Cancel or when no file-system folder is selected. The text typed
  // into the edit is only a display: the tree's selection counts.
  void Select(std::string& dest);
  // The same by the folder's full wide name (ending in "\"), which the
  // settings' "CopyMoveTo" keeps exactly.
  void Select(std::wstring& dest);
  // Puts the selected folder into the edit.
  void OnTreeChange(ui::TComponent* sender);

  TExplorer* Explorer = nullptr;
};

// A folder as the program's single-byte text, ending in "\" (once: a drive
// root keeps its own). Empty for an empty folder.
std::string FolderText(const std::wstring& folder, bool exact);

}  // namespace kv
