#pragma once
// The wizard: the program's main window showing one of seven step pages, the
// step text above it and Back, Next and Exit below it. It owns the scan and
// result collections, reads its settings at start-up and writes them at exit.
// User-interface thread only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/mp3_collection.h"
#include "ui/forms_win.h"
#include "ui/std_controls_win.h"

namespace kv {

class TFreeSpaceFrame;
class TOpenScanFrame;
class TCheckboxDriveTree;
class TDupeSimilarFrame;
class TSimilarTuner;
class TProgressFrame;
class TCollectionFrame;

inline constexpr int kStepCount = 7;

class TMainForm : public ui::TForm {
 public:
  TMainForm();
  ~TMainForm() override;
  const char* ClassName() const override { return "TMainForm"; }

  // Start-up: step texts, translation, geometry, settings, the pages, the
  // first step; then the splash goes and the wizard shows.
  void Init();
  // Exit: writes the wizard's state and saves the reserve and the result
  // list; tells the user of every step that failed (never raises).
  void Finish();
  // One save step of the exit: its failure is kept under the step's name
  // for Finish to tell, and the next step runs.
  void SaveStep(const std::string& what, const std::function<void()>& save);
  // The step text and the buttons for Step; on the progress step the search.
  void CheckButtonCaptions();

  void NextButtonClick(ui::TComponent* sender);
  void BackButtonClick(ui::TComponent* sender);
  void CancelButtonClick(ui::TComponent* sender);
  void FormClose(ui::TComponent* sender, ui::TCloseAction& action);
  void FormCloseQuery(ui::TComponent* sender, bool& canClose);

  // The search: scan phase and comparison phase.
  virtual void FillCollection();
  virtual void Compare();

  int Step = 0;
  std::vector<ui::TFrame*> Frames;
  std::unique_ptr<TMP3Collection> Collection;
  std::unique_ptr<TMP3Collection> Results;
  std::string StepsText;

  TFreeSpaceFrame* FreeSpaceFrame = nullptr;
  TOpenScanFrame* OpenScanFrame = nullptr;
  TCheckboxDriveTree* CheckboxDriveTree = nullptr;
  TDupeSimilarFrame* DupeSimilarFrame = nullptr;
  TSimilarTuner* SimilarTuner = nullptr;
  TProgressFrame* ProgressFrame = nullptr;
  TCollectionFrame* CollectionFrame = nullptr;

  ui::TMemo* SteptextMemo = nullptr;
  ui::TPanel* panProperties = nullptr;
  ui::TButton *BackButton = nullptr, *NextButton = nullptr, *CancelButton = nullptr;

 private:
  template <class T>
  bool PageIs(int step) const;
  template <class T>
  int IndexOf() const;
  void CreatePages();
  // The search run from the progress step.
  void Search();
  // Opens the saved result list on the results page; false (the error shown)
  // when it cannot be read.
  bool OpenSavedList();
  void OfferTips();

  std::vector<std::string> saveFailures_;
};

// Joins the application shell to the wizard.
class TProgDispatcher : public ui::TComponent {
 public:
  const char* ClassName() const override { return "TProgDispatcher"; }
  void LoadEnvironment();
  void SaveEnvironment();
  void OnTryClose(ui::TComponent* sender, bool& canClose);
};

// The program's long-lived objects, owned by the application object.
TMainForm* MainForm();
TProgDispatcher* ProgDispatcher();
void SetMainForm(TMainForm* form);
void SetProgDispatcher(TProgDispatcher* dispatcher);

// Names the dispatcher "_" and initialises the wizard through it.
void LoadEnvironment();
// Saves the main window's geometry, then finishes the wizard.
void SaveEnvironment();

// The addresses of the two sibling products' download pages.
inline constexpr char kBrisquelUrl[] = "https://www.torvane.example/brisquel/download.html";
inline constexpr char kCorvennaUrl[] = "https://www.torvane.example/corvenna/download.html";

}  // namespace kv
