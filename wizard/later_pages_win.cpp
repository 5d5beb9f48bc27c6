#include "wizard/later_pages_win.h"

#include "base/strings.h"
#include "foundation/translate.h"
#include "ui/layout_loader_win.h"
#include "wizard/pages_win.h"

namespace kv {

TCollectionFrame::TCollectionFrame() {
  RegisterWizardClasses();
  ui::LoadLayout(*this, "collection_frame");
}

void TCollectionFrame::DisplayCollection(TMP3Collection* collection) {
  if (collection) results_ = collection;
}

void TCollectionFrame::ReleaseCollection(const TMP3Collection* collection) {
  if (results_ == collection) results_ = nullptr;
}

void TCollectionFrame::CheckSmartButtonClick(ui::TComponent*) {}
void TCollectionFrame::SaveMp3Tags() {}
void TCollectionFrame::SaveSettings() {}

TFreeSpaceFrame::TFreeSpaceFrame() {
  RegisterWizardClasses();
  ui::LoadLayout(*this, "free_space_frame");
}

bool TFreeSpaceFrame::Display(TCollectionFrame& page) {
  page_ = &page;
  const int count = page.GetHiddenCount();
  std::string text;
  if (count > 0)
    text = Translate("Duplicates deleted before still occupy the space") + "\r\n" + Translate("You can free") +
           " " + SizeToStr(page.GetHiddenSize(), 3) + "b " + Translate("or recover") + " " +
           std::to_string(count) + " " + Translate("files");
  else
    text = Translate("There are no space reserved by deleted duplicates") + "\r\n" +
           Translate("Click the \"Next\"-button");
  Get<ui::TLabel>("StatusLabel").SetCaption(text);
  return count > 0;
}

TCheckboxDriveTree::TCheckboxDriveTree() {
  RegisterWizardClasses();
  ui::LoadLayout(*this, "checkbox_drive_tree");
}

// Until the folder tree is there the stored choice is kept as it came, so
// that it survives the run unchanged.
void TCheckboxDriveTree::SetPaths() {}
void TCheckboxDriveTree::GetResolvedPaths() {}

}  // namespace kv
