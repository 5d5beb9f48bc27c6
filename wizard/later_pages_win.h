#pragma once
// The wizard's reserve, folder and results pages as far as the wizard form
// needs them now: built from their layouts, with the entry points the form
// calls. Their own behaviour comes with the pages themselves.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/mp3_collection.h"
#include "wizard/reserve_win.h"
#include "ui/forms_win.h"
#include "ui/std_controls_win.h"

namespace kv {

// Step 6: the result list.
class TCollectionFrame : public ui::TFrame {
 public:
  TCollectionFrame();
  const char* ClassName() const override { return "TCollectionFrame"; }

  // Binds a result collection (not owned); nothing for null.
  void DisplayCollection(TMP3Collection* collection);
  // Lets go of the bound collection, which is about to be freed.
  void ReleaseCollection(const TMP3Collection* collection);
  TMP3Collection* Results() const { return results_; }
  void CheckSmartButtonClick(ui::TComponent* sender);
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

 private:
  void LoadReserve();
  TMP3Collection* results_ = nullptr;
  std::unique_ptr<TReserve> reserve_;
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

// Step 2: the folders to scan.
class TCheckboxDriveTree : public ui::TFrame {
 public:
  TCheckboxDriveTree();
  const char* ClassName() const override { return "TCheckboxDriveTree"; }
  // Checks exactly the paths of Paths.
  void SetPaths();
  // Fills Paths with the checked paths less those inside a checked folder.
  void GetResolvedPaths();
  std::vector<std::string> Paths;
};

}  // namespace kv
