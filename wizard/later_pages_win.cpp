#include "wizard/later_pages_win.h"

#include "base/strings.h"
#include "foundation/translate.h"
#include "ui/layout_loader_win.h"
#include "wizard/pages_win.h"

namespace kv {

TCheckboxDriveTree::TCheckboxDriveTree() {
  RegisterWizardClasses();
  ui::LoadLayout(*this, "checkbox_drive_tree");
}

// Until the folder tree is there the stored choice is kept as it came, so
// that it survives the run unchanged.
void TCheckboxDriveTree::SetPaths() {}
void TCheckboxDriveTree::GetResolvedPaths() {}

}  // namespace kv
