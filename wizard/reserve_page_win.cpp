// The reserve on the results page (load, free, recover, save) and the page
// that offers freeing and recovering at start-up.
#include <exception>
#include <memory>
#include <string>

#include "base/ansi_text.h"
#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "base/strings.h"
#include "foundation/files_win.h"
#include "foundation/foundation_init_win.h"
#include "foundation/log_display_win.h"
#include "foundation/translate.h"
#include "ui/layout_loader_win.h"
#include "wizard/app_dialogs_win.h"
#include "wizard/later_pages_win.h"
#include "wizard/pages_win.h"
#include "wizard/reserve_win.h"

namespace kv {
namespace {

constexpr size_t kFailuresShown = 20;

void ReportFailures(const TReserveRun& run) {
  if (run.failures.empty()) return;
  std::string text = Translate("$1 files stay in the reserve:", std::to_string(run.failures.size()));
  for (size_t i = 0; i < run.failures.size() && i < kFailuresShown; ++i) text += "\r\n" + run.failures[i];
  if (run.failures.size() > kFailuresShown) text += "\r\n...";
  ShowMessageBox(text, MB_OK | MB_ICONWARNING);
}

// Runs a free or recover in the progress window; the window goes and the
// form comes back however the run ends.
TReserveRun RunWithProgress(ui::TControl& page, const std::function<TReserveRun(const TReserve::TProgress&)>& run) {
  auto window = std::make_unique<TLogDisplay>();
  window->StopCaption = Translate("Stop");
  window->Start(Translate("Processing") + "...",
                TLogDisplay::kStatusLine | TLogDisplay::kProgressBar | TLogDisplay::kStopButton, true,
                page.ParentForm());
  ScopeGuard close([&] { window->Finish(false); });
  return run([&](size_t done, size_t total, const TReserveLine& line) {
    // The file's exact name where the line keeps it (its long path).
    const std::wstring shown = line.longPath.empty() ? AnsiToWString(line.display) : ToWString(Utf8ToWide(line.longPath));
    window->Status = WStringToAnsi(shown);
    if (window->StatusLabel) window->StatusLabel->SetWideText(shown);
    window->Progress = total ? static_cast<int>(done * 100 / total) : 100;
    window->Refresh();
    return !window->Stopped;
  });
}

}  // namespace

void TCollectionFrame::LoadReserve() {
  reserve_ = std::make_unique<TReserve>(AppDirW());
  for (const std::string& notice : reserve_->Load()) ShowMessageBox(notice, MB_OK | MB_ICONWARNING);
}

bool TCollectionFrame::HideInsteadDelete(const std::wstring& widePath, const std::string& fileName) {
  return reserve_->HideInsteadDelete(widePath, fileName);
}

int TCollectionFrame::GetHiddenCount() const { return reserve_->GetHiddenCount(); }
int64_t TCollectionFrame::GetHiddenSize() const { return reserve_->GetHiddenSize(); }
void TCollectionFrame::SaveReserve() { reserve_->Save(); }

void TCollectionFrame::DeleteHidden() {
  const std::string question = Translate("Do you really want to free reserved space") + " ?\r\n" +
                               Translate("To recover files after this is impossible") + " !!!";
  if (AppDialog(question, TMsgDlgType::Confirmation, mbYes | mbNo) != IDYES) return;
  ReportFailures(RunWithProgress(*this, [&](const TReserve::TProgress& p) { return reserve_->Free(p); }));
}

void TCollectionFrame::RecoverHidden() {
  ReportFailures(RunWithProgress(*this, [&](const TReserve::TProgress& p) { return reserve_->Recover(p); }));
}

TFreeSpaceFrame::TFreeSpaceFrame() {
  RegisterWizardClasses();
  RegisterHandler("FreeSpaceButtonClick", &TFreeSpaceFrame::FreeSpaceButtonClick);
  RegisterHandler("RecoverButtonClick", &TFreeSpaceFrame::RecoverButtonClick);
  ui::LoadLayout(*this, "free_space_frame");
}

bool TFreeSpaceFrame::Display(TCollectionFrame& page) {
  page_ = &page;
  const int count = page.GetHiddenCount();
  std::string text;
  if (count > 0)
    text = Translate("Duplicates deleted before still occupy the space") + "\r\n" + Translate("You can free") + " " +
           SizeToStr(page.GetHiddenSize(), 3) + "b " + Translate("or recover") + " " + std::to_string(count) + " " +
           Translate("files");
  else
    text = Translate("There are no space reserved by deleted duplicates") + "\r\n" +
           Translate("Click the \"Next\"-button");
  Get<ui::TLabel>("StatusLabel").SetCaption(text);
  return count > 0;
}

void TFreeSpaceFrame::FreeSpaceButtonClick(ui::TComponent*) {
  if (!page_) return;
  page_->DeleteHidden();
  Display(*page_);
}

void TFreeSpaceFrame::RecoverButtonClick(ui::TComponent*) {
  if (!page_) return;
  page_->RecoverHidden();
  Display(*page_);
}

}  // namespace kv
