#pragma once
// The progress and question window of long operations: an optional status
// line, read-only text area, progress bar (0 to 100) and stop button,
// stacked top down; it can also ask a question with a row of answer buttons.
// User-interface thread only; Refresh, Ask and Finish process messages, so
// the caller's own window events run while they wait.
#include <memory>
#include <string>

#include "base/update_pace.h"
#include "ui/component.h"
#include "ui/forms_win.h"
#include "ui/std_controls_win.h"

namespace kv {

class TLogDisplay : public ui::TComponent {
 public:
  // Flags of Start.
  static constexpr int kProgressBar = 2, kStatusLine = 4, kTextArea = 8, kStopButton = 16;

  // Makes the hidden window, 400 pixels wide, single border, no border icons.
  TLogDisplay();
  // Enables the parent form again when Finish did not.
  ~TLogDisplay() override;
  const char* ClassName() const override { return "TLogDisplay"; }

  // Builds the controls chosen by flags and shows the window centred on the
  // parent (the main form when null); with stayOnTop the window stays on top
  // and the parent is disabled until Finish. Clears Stopped.
  void Start(const std::string& caption, int flags, bool stayOnTop, ui::TForm* parent = nullptr);
  // Copies the texts and the position into the controls and repaints, at
  // most kIntervalMs of TUpdatePace after the last time (the first Refresh
  // after Start at once); handles pending messages on every call.
  void Refresh();
  // Asks the question with one button per CR LF-separated option; the
  // option's index, or -1 for Stop, for closing the window, for WM_QUIT,
  // without a stop button or without options.
  int Ask(const std::string& options, const std::string& question);
  // With wait (and a stop button) handles messages until Stopped; enables
  // the parent form again and hides the window.
  void Finish(bool waitForStop);

  void Notification(ui::TComponent* component, ui::TOperation operation) override;

  ui::TForm* Form = nullptr;
  ui::TLabel* StatusLabel = nullptr;
  ui::TMemo* Memo = nullptr;
  ui::TProgressBar* ProgressBar = nullptr;
  ui::TButton* StopButton = nullptr;
  std::string Caption, Status, StopCaption;
  int Progress = 0;
  bool Stopped = false;
  int Answer = 0;  // -2 while a question waits
  ui::TForm* ParentForm = nullptr;

 private:
  // Seen by Ask and Finish: a handler may free this object while they wait.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  TUpdatePace pace_;
  void Show();
  void ClearControls();
  void SetParentForm(ui::TForm* form);
  void StopClick(ui::TComponent* sender);
  void AnswerClick(ui::TComponent* sender);
  void FormClose(ui::TComponent* sender, ui::TCloseAction& action);
};

}  // namespace kv
