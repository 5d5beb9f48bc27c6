#pragma once
// The wizard's reserve, folder and results pages as far as the wizard form
// needs them now: built from their layouts, with the entry points the form
// calls. Their own behaviour comes with the pages themselves.
#include <memory>
#include <string>
#include <vector>

#include "engine/mp3_collection.h"
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
  // The reserve of deleted files: the number of files and their bytes.
  int GetHiddenCount() const { return 0; }
  long long GetHiddenSize() const { return 0; }

 private:
  TMP3Collection* results_ = nullptr;
};

// Step 0: frees or recovers the reserve.
class TFreeSpaceFrame : public ui::TFrame {
 public:
  TFreeSpaceFrame();
  const char* ClassName() const override { return "TFreeSpaceFrame"; }
  // Shows the reserve of the results page; true when it holds files.
  bool Display(TCollectionFrame& page);

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
