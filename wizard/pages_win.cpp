#include "wizard/pages_win.h"

#include <cstdlib>
#include <utility>

#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "foundation/translate.h"
#include "ui/application_win.h"
#include "ui/layout_loader_win.h"
#include "wizard/step_texts.h"

namespace kv {

TOpenScanFrame::TOpenScanFrame() {
  RegisterWizardClasses();
  ui::LoadLayout(*this, "open_scan_frame");
  ActionRG = &Get<ui::TRadioGroup>("ActionRG");
}

TDupeSimilarFrame::TDupeSimilarFrame() {
  RegisterWizardClasses();
  ui::LoadLayout(*this, "dupe_similar_frame");
  ActionRG = &Get<ui::TRadioGroup>("ActionRG");
}

// ------------------------------------------------------------ similarity --
TSimilarTuner::TSimilarTuner() {
  RegisterWizardClasses();
  RegisterHandler("OnStateChange", &TSimilarTuner::OnStateChange);
  RegisterHandler("TimeDifferenceEditKeyPress", &TSimilarTuner::TimeDifferenceEditKeyPress);
  ui::LoadLayout(*this, "similar_tuner");
  ArtistCheckBox = &Get<ui::TCheckBox>("ArtistCheckBox");
  TitleCheckBox = &Get<ui::TCheckBox>("TitleCheckBox");
  CheckTimeCheckBox = &Get<ui::TCheckBox>("CheckTimeCheckBox");
  CheckAlbumsCheckBox = &Get<ui::TCheckBox>("CheckAlbumsCheckBox");
  ArtistStatusLabel = &Get<ui::TLabel>("ArtistStatusLabel");
  TitleStatusLabel = &Get<ui::TLabel>("TitleStatusLabel");
  TimeLabel = &Get<ui::TLabel>("TimeLabel");
  ArtistTrackBar = &Get<ui::TTrackBar>("ArtistTrackBar");
  TitleTrackBar = &Get<ui::TTrackBar>("TitleTrackBar");
  AndRadioButton = &Get<ui::TRadioButton>("AndRadioButton");
  OrRadioButton = &Get<ui::TRadioButton>("OrRadioButton");
  TimeDifferenceEdit = &Get<ui::TEdit>("TimeDifferenceEdit");
}

void TSimilarTuner::AssignCollection(TMP3Collection* collection) {
  collection_ = collection;
  Refresh();
}

void TSimilarTuner::SaveChanges() {
  if (!collection_) return;
  TMP3Collection& c = *collection_;
  c.ArtistBound = ArtistTrackBar->Position();
  c.TitleBound = TitleTrackBar->Position();
  c.TimeDifference = StrToIntDef(TimeDifferenceEdit->Text(), 0);
  c.CheckAlbums = CheckAlbumsCheckBox->Checked() ? 1 : 0;
  if (!CheckTimeCheckBox->Checked()) c.TimeDifference = -c.TimeDifference;
  const bool artist = ArtistCheckBox->Checked(), title = TitleCheckBox->Checked();
  if (artist && title)
    c.Combine = AndRadioButton->Checked() ? 3 : 4;
  else
    c.Combine = title ? 2 : artist ? 1 : 0;
}

void TSimilarTuner::Refresh() {
  if (!collection_) return;
  const TMP3Collection& c = *collection_;
  updating_ = true;
  const ScopeGuard done([this] { updating_ = false; });
  ArtistTrackBar->SetPosition(c.ArtistBound);
  ArtistStatusLabel->SetCaption(std::to_string(ArtistTrackBar->Position()) + " %");
  TitleTrackBar->SetPosition(c.TitleBound);
  TitleStatusLabel->SetCaption(std::to_string(TitleTrackBar->Position()) + " %");
  CheckAlbumsCheckBox->SetChecked(c.CheckAlbums == 1);
  TimeDifferenceEdit->SetText(std::to_string(std::llabs(static_cast<long long>(c.TimeDifference))));
  // At 0 the box keeps its state: 0 itself says nothing about the check.
  if (c.TimeDifference != 0) CheckTimeCheckBox->SetChecked(c.TimeDifference > 0);
  TimeDifferenceEdit->SetEnabled(c.TimeDifference >= 0);
  TimeLabel->SetEnabled(c.TimeDifference >= 0);
  if (c.Combine == 4)
    OrRadioButton->SetChecked(true);
  else
    AndRadioButton->SetChecked(true);
  const bool artist = c.Combine == 1 || c.Combine == 3 || c.Combine == 4;
  ArtistCheckBox->SetChecked(artist);
  ArtistStatusLabel->SetEnabled(artist);
  ArtistTrackBar->SetEnabled(artist);
  const bool title = c.Combine >= 2;
  TitleCheckBox->SetChecked(title);
  TitleStatusLabel->SetEnabled(title);
  TitleTrackBar->SetEnabled(title);
  AndRadioButton->SetEnabled(c.Combine >= 3);
  OrRadioButton->SetEnabled(c.Combine >= 3);
}

void TSimilarTuner::OnStateChange(ui::TComponent*) {
  if (updating_) return;
  SaveChanges();
  Refresh();
}

void TSimilarTuner::TimeDifferenceEditKeyPress(ui::TComponent*, char& key) {
  if (key != '\b' && (key < '0' || key > '9')) key = 0;
}

// -------------------------------------------------------------- progress --
TProgressFrame::TProgressFrame() {
  RegisterWizardClasses();
  ui::LoadLayout(*this, "progress_frame");
  MainPanel = &Get<ui::TPanel>("MainPanel");
  FoundPanel = &Get<ui::TPanel>("FoundPanel");
  Step1Label = &Get<ui::TLabel>("Step1Label");
  Step2Label = &Get<ui::TLabel>("Step2Label");
  SearchLabel = &Get<ui::TLabel>("SearchLabel");
  CompareLabel = &Get<ui::TLabel>("CompareLabel");
  // They show file paths: an "&" in them is a letter.
  SearchLabel->SetShowAccelChar(false);
  CompareLabel->SetShowAccelChar(false);
  CompareProgressBar = &Get<ui::TProgressBar>("CompareProgressBar");
  CurImage = &Get<ui::TImage>("CurImage");
}

void TProgressFrame::SetStep(int phase) {
  if (phase == 1) {
    // A new search: nothing of the last one's files and count stays.
    searchText_ = compareText_ = std::wstring();
    foundCount_ = 0;
  }
  ShowLatest();
  pace_.Restart();
  CompareProgressBar->SetPosition(0);
  const ui::TLabel& label = phase == 2 ? *Step2Label : *Step1Label;
  CurImage->SetTop(label.Top() + label.Height() + 5);
}

void TProgressFrame::OnFile(TMP3Collection& sender, const std::string& fileName, bool& cancel) {
  OnFile(sender, AnsiToWString(fileName), cancel);
}

void TProgressFrame::OnFile(TMP3Collection&, const std::wstring& fileName, bool& cancel) {
  searchText_ = fileName;
  foundCount_ = collection_ ? collection_->Count() : 0;
  ShowWhenDue();
  ui::Application().ProcessQueuedMessages();
  cancel = Cancelled;
}

void TProgressFrame::SetComparedFile(const std::string& displayPath) { compareText_ = AnsiToWString(displayPath); }
void TProgressFrame::SetComparedFile(const std::wstring& path) { compareText_ = path; }

void TProgressFrame::ItemsCompared(int count) {
  const int position = PercentOf(count, collection_ ? collection_->Count() : 0);
  if (position != CompareProgressBar->Position()) {
    // The bar takes every position but paints with the next update due.
    if (HWND bar = CompareProgressBar->HandleIfAllocated(); bar && !barHeld_) {
      SendMessageW(bar, WM_SETREDRAW, FALSE, 0);
      barHeld_ = true;
    }
    CompareProgressBar->SetPosition(position);
  }
  ShowWhenDue();
  ui::Application().ProcessQueuedMessages();
}

// A label paints as its text is set, and the bar as it moves (under Wine each
// a round trip to the display): a search of a large library would spend most
// of its time there.
void TProgressFrame::ShowWhenDue() {
  if (pace_.Due()) ShowLatest();
}

void TProgressFrame::ShowLatest() {
  if (searchText_) SearchLabel->SetWideText(*std::exchange(searchText_, std::nullopt));
  if (foundCount_)
    FoundPanel->SetCaption("   " + Translate("Found") + ": " + std::to_string(*std::exchange(foundCount_, std::nullopt)));
  if (compareText_) CompareLabel->SetWideText(*std::exchange(compareText_, std::nullopt));
  if (HWND bar = CompareProgressBar->HandleIfAllocated(); bar && std::exchange(barHeld_, false)) {
    SendMessageW(bar, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(bar, nullptr, TRUE);
  }
}

}  // namespace kv
