#pragma once
// Four of the wizard's step pages: the two choice pages, the similarity page
// that edits the scan collection's settings in place, and the progress page
// of the search. Each is built from its declared layout.
#include <optional>
#include <string>

#include "base/update_pace.h"
#include "engine/mp3_collection.h"
#include "ui/forms_win.h"
#include "ui/std_controls_win.h"

namespace kv {

// Step 1: 0 = open the saved result list, 1 = scan.
class TOpenScanFrame : public ui::TFrame {
 public:
  TOpenScanFrame();
  const char* ClassName() const override { return "TOpenScanFrame"; }
  ui::TRadioGroup* ActionRG = nullptr;
};

// Step 3: 0 = duplicates only, 1 = duplicates and similar files.
class TDupeSimilarFrame : public ui::TFrame {
 public:
  TDupeSimilarFrame();
  const char* ClassName() const override { return "TDupeSimilarFrame"; }
  ui::TRadioGroup* ActionRG = nullptr;
};

// Step 4: the similarity bounds, combine mode, time and album checks.
class TSimilarTuner : public ui::TFrame {
 public:
  TSimilarTuner();
  const char* ClassName() const override { return "TSimilarTuner"; }

  // Attaches the collection (not owned) and shows its settings.
  void AssignCollection(TMP3Collection* collection);
  // Controls -> collection (only with a collection attached).
  void SaveChanges();
  // Collection -> controls (only with a collection attached).
  void Refresh();
  // Every control's change: SaveChanges and Refresh, unless the page is
  // filling its own controls.
  void OnStateChange(ui::TComponent* sender);
  // Keeps digits and backspace; drops every other key.
  void TimeDifferenceEditKeyPress(ui::TComponent* sender, char& key);

  ui::TCheckBox *ArtistCheckBox, *TitleCheckBox, *CheckTimeCheckBox, *CheckAlbumsCheckBox;
  ui::TLabel *ArtistStatusLabel, *TitleStatusLabel, *TimeLabel;
  ui::TTrackBar *ArtistTrackBar, *TitleTrackBar;
  ui::TRadioButton *AndRadioButton, *OrRadioButton;
  ui::TEdit* TimeDifferenceEdit;

 private:
  TMP3Collection* collection_ = nullptr;
  bool updating_ = false;
};

// Step 5: the scan's current entry and count, the comparison's bar, and the
// marker beside the running phase. Every reported entry and record is taken
// and pending messages are processed for each, but the labels (each of which
// paints as it is set) follow at the screen's pace, showing the latest texts;
// the phase's last texts show when the next phase starts.
class TProgressFrame : public ui::TFrame {
 public:
  TProgressFrame();
  const char* ClassName() const override { return "TProgressFrame"; }

  // The collection whose record count is shown (not owned).
  void SetCollection(TMP3Collection* collection) { collection_ = collection; }
  // Phase 1 (scan) or 2 (comparison): the texts not shown yet show (phase 1,
  // a new search, clears the entry, the compared file and the count), the
  // bar goes to 0 and the marker 5 pixels below the phase's label.
  void SetStep(int phase);
  // The scan's file callback: shows the entry and the count, processes
  // pending messages, and answers the stop flag.
  void OnFile(TMP3Collection& sender, const std::string& fileName, bool& cancel);
  void OnFile(TMP3Collection& sender, const std::wstring& fileName, bool& cancel);  // by the full wide name
  // The file being compared: CompareLabel shows it with the next update due.
  void SetComparedFile(const std::string& displayPath);
  void SetComparedFile(const std::wstring& path);
  // The bar at count of the collection's records; processes pending messages.
  void ItemsCompared(int count);
  // Shows the texts reported and not shown yet, now.
  void ShowLatest();

  // The search's stop flag, set by Next while it reads "Cancel".
  bool Cancelled = false;

  ui::TPanel *MainPanel, *FoundPanel;
  ui::TLabel *Step1Label, *Step2Label, *SearchLabel, *CompareLabel;
  ui::TProgressBar* CompareProgressBar;
  ui::TImage* CurImage;

 private:
  void ShowWhenDue();

  TMP3Collection* collection_ = nullptr;
  TUpdatePace pace_;
  // Reported and not shown yet.
  std::optional<std::wstring> searchText_, compareText_;
  std::optional<int> foundCount_;
  bool barHeld_ = false;  // the bar moved with its redraw off
};

// Registers the wizard's page and form classes with the layout loader.
void RegisterWizardClasses();

}  // namespace kv
