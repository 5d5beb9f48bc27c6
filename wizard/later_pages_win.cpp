#include "wizard/later_pages_win.h"

#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "base/strings.h"
#include "foundation/translate.h"
#include "engine/audio_environment_win.h"
#include "shell/namespace_win.h"
#include "ui/layout_loader_win.h"
#include "wizard/app_dialogs_win.h"
#include "wizard/pages_win.h"
#include "wizard/scan_paths_win.h"

namespace kv {

namespace {

bool SameTextW(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// Wine's own ntdll exports its version; Windows' does not.
bool RunningUnderWine() {
  static const bool wine = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

// The Unix root under Wine: drive Z: and the "/" entry of the desktop. On
// Windows Z: is a drive like any other.
bool IsWholeFileSystem(TNamespace& item) {
  if (!RunningUnderWine()) return false;
  const std::wstring parsing = item.GetNameForParsing();
  return SameTextW(parsing, L"Z:\\") || SameTextW(parsing, L"Z:") || parsing == L"/" ||
         item.GetNameInFolder() == L"/";
}

}  // namespace

std::string PathForAnsi(const std::wstring& path) { return ScanPathOf(path); }

std::wstring PathFromAnsi(const std::string& path) { return ExpandStoredPath(path); }

TCheckboxDriveTree::TCheckboxDriveTree() {
  RegisterWizardClasses();
  RegisterExplorerTreeClasses();
  ui::LoadLayout(*this, "checkbox_drive_tree");

  // Without the shell (a program that never started it) there is no tree,
  // and the stored choice is kept as it came.
  if (DesktopFolder() == nullptr) return;
  SysTree = &Create<TLazyExplorerTreeview>();
  SysList = &Create<TLazyExplorerListview>();
  for (TCustomLazyExplorerTree* view : {static_cast<TCustomLazyExplorerTree*>(SysTree),
                                        static_cast<TCustomLazyExplorerTree*>(SysList)}) {
    view->SetParent(this);
    view->SetCheckImageKind(ckLightTick);
    auto& options = view->TreeOptions();
    options.SetAutoOptions(toAutoScroll | toAutoHideButtons);
    // Set outright: the views' own defaults would let the user rename files
    // (toEditable), drop onto folders (toAcceptOLEDrop) and delete them from
    // the shell's context menu. This page only chooses what to scan.
    options.SetMiscOptions(toCheckSupport | toToggleOnDblClick | (view == SysList ? toReportMode : 0u));
    options.SetSelectionOptions(toRightClickSelect | toSiblingSelectConstraint);
    // The light-tick boxes in both panes: a style's own boxes would replace them.
    options.SetPaintOptions(options.PaintOptions() & ~uint32_t(toThemeAware));
    view->SetExplorerSyncOptions(toExpandTarget | toSelectTarget);
    view->SetExplorerImageOptions(toImages | toThreadedImages);
    view->OnChecking = [this, view](TLazyTreeModel&, PLazyNode node, TCheckState& newState, bool& allowed) {
      ViewChecking(*view, node, newState, allowed);
    };
  }
  SysTree->SetAlign(ui::TAlign::Left);
  SysTree->SetWidth(241);
  SysTree->SetExplorerFolderOptions(toFoldersExpandable | toForceHideRecycleBin);
  SysTree->SetExplorerMiscOptions(toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toChangeNotifierThread);
  SysTree->SetExplorerShellOptions(0);
  SysTree->SetLazyExplorerListview(SysList);
  // The list: the shell's detail columns, its own folder hidden.
  SysList->SetAlign(ui::TAlign::Client);
  SysList->SetExplorerFolderOptions(toHideRootFolder | toForceHideRecycleBin);
  SysList->SetExplorerMiscOptions(toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toChangeNotifierThread |
                                  toPersistentColumns);
  SysList->SetExplorerShellOptions(toRightAlignSizeColumn);
  SysList->SetLazyExplorerTreeview(SysTree);

  // Created after the views, so it goes first and hands their handlers back.
  Synchronizer = &Create<TLazyCheckboxesSynchronizer>();
  Synchronizer->OnPropagateCheck = [](TNamespace& item, bool& allow) { allow = !IsWholeFileSystem(item); };
  Synchronizer->SetLazyExplorerTreeview(SysTree);
  Synchronizer->SetLazyExplorerListview(SysList);
  BuildTree();
}

void TCheckboxDriveTree::BuildTree() {
  SysTree->BeginUpdate();
  ScopeGuard endUpdate([&] { SysTree->EndUpdate(); });
  SysList->SetActive(true);
  SysTree->SetActive(true);
  if (PLazyNode computer = SysTree->FindNodeByPIDL(DrivesFolder()->AbsolutePIDL())) {
    SysTree->SetExpanded(computer, true);
  }
}

void TCheckboxDriveTree::ViewChecking(TCustomLazyExplorerTree& view, PLazyNode node, TCheckState& newState,
                                      bool& allowed) {
  if (!IsCheckedState(newState)) return;
  TNamespace* item = nullptr;
  if (!view.ValidateNamespace(node, item)) return;
  // A folder already checked as far as it may be: the click clears it, as
  // on any fully checked folder (checking it again would change nothing).
  if (Synchronizer != nullptr && Synchronizer->CheckChangesNothing(*item)) {
    newState = csUncheckedNormal;
    return;
  }
  if (!IsWholeFileSystem(*item)) return;
  const std::wstring path = item->GetNameForParsing();
  allowed = ConfirmWholeFileSystem
                ? ConfirmWholeFileSystem(path)
                : AppDialog(Translate("This item holds the whole Linux file system. Scan all of it?"),
                            TMsgDlgType::Confirmation, mbYes | mbNo) == ui::mrYes;
}

void TCheckboxDriveTree::SetPaths() {
  if (Synchronizer != nullptr) Synchronizer->SetCheckedFileNames(Paths);
}

void TCheckboxDriveTree::GetResolvedPaths() {
  if (Synchronizer != nullptr) Synchronizer->GetResolvedFileNames(Paths);
}

void TCheckboxDriveTree::GetAllCheckedPaths() {
  if (Synchronizer == nullptr) return;
  Synchronizer->GetCheckedFileNames(Paths);
}

}  // namespace kv
