// The wizard's form and page classes, known to the layout loader by the names
// their layouts' root blocks give.
#include "ui/layout_loader_win.h"
#include "wizard/about_form_win.h"
#include "wizard/later_pages_win.h"
#include "wizard/main_form_win.h"
#include "wizard/move_to_frame_win.h"
#include "wizard/pages_win.h"
#include "wizard/tune_smart_frame_win.h"

namespace kv {

void RegisterWizardClasses() {
  static const bool once = [] {
    ui::RegisterComponentClass<TMainForm>("TMainForm", "TForm");
    ui::RegisterComponentClass<TAboutForm>("TAboutForm", "TForm");
    ui::RegisterComponentClass<TFreeSpaceFrame>("TFreeSpaceFrame", "TFrame");
    ui::RegisterComponentClass<TOpenScanFrame>("TOpenScanFrame", "TFrame");
    ui::RegisterComponentClass<TCheckboxDriveTree>("TCheckboxDriveTree", "TFrame");
    ui::RegisterComponentClass<TDupeSimilarFrame>("TDupeSimilarFrame", "TFrame");
    ui::RegisterComponentClass<TSimilarTuner>("TSimilarTuner", "TFrame");
    ui::RegisterComponentClass<TProgressFrame>("TProgressFrame", "TFrame");
    ui::RegisterComponentClass<TCollectionFrame>("TCollectionFrame", "TFrame");
    ui::RegisterComponentClass<TMoveToFrame>("TMoveToFrame", "TFrame");
    ui::RegisterComponentClass<TTuneSmartFrame>("TTuneSmartFrame", "TFrame");
    return true;
  }();
  (void)once;
}

}  // namespace kv
