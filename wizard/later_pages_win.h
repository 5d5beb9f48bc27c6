#pragma once
// The wizard's reserve, folder and results pages as far as the wizard form
// needs them now: built from their layouts, with the entry points the form
// calls. Their own behaviour comes with the pages themselves.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/mp3_collection.h"
#include "shell/explorer_tree_win.h"
#include "wizard/checkbox_synchronizer_win.h"
#include "wizard/reserve_win.h"
#include "treeview/lazy_node.h"
#include "ui/forms_win.h"
#include "ui/gdi_win.h"
#include "ui/std_controls_win.h"

namespace kv {

// Step 6: the result list (collection_frame_win.cpp).
class TResultTree;
struct TLTPaintInfo;

class TCollectionFrame : public ui::TFrame {
 public:
  TCollectionFrame();
  const char* ClassName() const override { return "TCollectionFrame"; }

  // Binds a result collection (not owned) and shows it; nothing for null.
  // Marks saved in the group numbers come back as checked rows.
  void DisplayCollection(TMP3Collection* collection);
  // Lets go of the bound collection, which is about to be freed.
  void ReleaseCollection(const TMP3Collection* collection);
  TMP3Collection* Results() const { return results_; }
  // Checks all but the file to keep of every group.
  void CheckSmartButtonClick(ui::TComponent* sender);
  // The smart-marking preferences dialog; the marks stay as they are.
  void OptionsButtonClick(ui::TComponent* sender);
  // Folds the marks into the group numbers, for saving the list.
  void SaveMp3Tags();
  void SaveSettings();
  // The reserve of deleted files (reserve_page_win.cpp): loaded when the
  // page is made, saved by SaveReserve (after each run and at exit).
  bool HideInsteadDelete(const std::wstring& widePath, const std::string& fileName);
  int GetHiddenCount() const;
  int64_t GetHiddenSize() const;
  // Frees the reserve after a confirmation; recovers it without one. Both
  // run in the progress window and can be stopped between files.
  void DeleteHidden();
  void RecoverHidden();
  void SaveReserve();
  TReserve& Reserve() { return *reserve_; }

  TResultTree& Tree() { return *tree_; }
  bool Checked(int row);
  void PlayButtonClick(ui::TComponent* sender);
  void CheckAllButtonClick(ui::TComponent* sender);
  void CheckNoneButtonClick(ui::TComponent* sender);
  void CheckInvertButtonClick(ui::TComponent* sender);
  void DelButtonClick(ui::TComponent* sender);
  void MoveButtonClick(ui::TComponent* sender);
  void CopyButtonClick(ui::TComponent* sender);
  void Export(ui::TComponent* sender);
  // The tree's events.
  void OnDrawNode(TBaseLazyTree& sender, const TLTPaintInfo& paintInfo);
  void OnMouseUp(TBaseLazyTree& sender, int button, unsigned shift, int x, int y);
  void OnKeyUp(TBaseLazyTree& sender, WORD& key);
  // The destination of moving and copying (a folder ending in "\" and
  // whether to recreate the folders under it); false when cancelled. The
  // destination chooser unless replaced.
  std::function<bool(std::wstring& folder, bool& savePaths)> ChooseDestination;

 private:
  void LoadReserve();
  void UpdateStatus();
  void ToggleMark(PLazyNode node);
  // The record of a row; null for a row without one.
  TMP3Info* RowRecord(PLazyNode node);
  void Process(int mode);
  TMP3Collection* results_ = nullptr;
  std::unique_ptr<TReserve> reserve_;
  TResultTree* tree_ = nullptr;
  ui::FontObject bigFont_, boldFont_, plainFont_;
};

// Step 0: frees or recovers the reserve.
class TFreeSpaceFrame : public ui::TFrame {
 public:
  TFreeSpaceFrame();
  const char* ClassName() const override { return "TFreeSpaceFrame"; }
  // Shows the reserve of the results page; true when it holds files.
  bool Display(TCollectionFrame& page);
  void FreeSpaceButtonClick(ui::TComponent* sender);
  void RecoverButtonClick(ui::TComponent* sender);

 private:
  TCollectionFrame* page_ = nullptr;
};

// Step 2: the folders to scan: a folder tree and the list of the folder
// selected in it, both with three-state check boxes, whose marks live in the
// tree's node storage, kept by the synchroniser.
class TCheckboxDriveTree : public ui::TFrame {
 public:
  TCheckboxDriveTree();
  const char* ClassName() const override { return "TCheckboxDriveTree"; }
  // Checks exactly the paths of Paths; paths that do not exist are skipped.
  void SetPaths();
  // Fills Paths with the checked paths less those inside a checked folder,
  // each by its full wide name.
  void GetResolvedPaths();
  // Fills Paths with every checked path.
  void GetAllCheckedPaths();
  std::vector<std::wstring> Paths;

  // None when the shell was not started.
  TLazyExplorerTreeview* SysTree = nullptr;
  TLazyExplorerListview* SysList = nullptr;
  TLazyCheckboxesSynchronizer* Synchronizer = nullptr;
  // Asked before the user checks an item that stands for the whole Linux
  // file system (the "/" desktop entry, drive Z:); true checks it. A check
  // of a folder above one never reaches it.
  std::function<bool(const std::wstring& path)> ConfirmWholeFileSystem;

 private:
  void ViewChecking(TCustomLazyExplorerTree& view, PLazyNode node, TCheckState& newState, bool& allowed);
  void BuildTree();
};

// The folder's path as the program's single-byte text: itself when the ANSI
// code page holds it exactly, else its short (8.3) form when it has one.
std::string PathForAnsi(const std::wstring& path);
// A path from such a text, short forms expanded to their long names (a
// stored UTF-8 path, stored_paths.h, read exactly).
std::wstring PathFromAnsi(const std::string& path);

}  // namespace kv
