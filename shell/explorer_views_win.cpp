#include "shell/explorer_views_win.h"

#include "base/scope_guard.h"
#include "shell/shell_utils_win.h"

namespace kv {

// ------------------------------------------------------------- tree view --

void TLazyExplorerTreeview::SetLazyExplorerListview(TLazyExplorerListview* listview) {
  if (listview == listview_) return;
  UnlinkFrom(listview_);
  listview_ = listview;
  LinkTo(listview);
}

void TLazyExplorerTreeview::ChangeLinkFreeing(TExplorerChangeLink& link) {
  TLazyExplorerViews::ChangeLinkFreeing(link);
  if (link.ChangeLinkClient == this && listview_ && link.ChangeLinkServer == listview_) listview_ = nullptr;
}

// ------------------------------------------------------------- list view --

TLazyExplorerListview::TLazyExplorerListview() {
  RebuildRootNamespaceBeginUpdate();
  LoadViewDefaults();
  RebuildRootNamespaceEndUpdate();
}

void TLazyExplorerListview::LoadDefaultOptions() {
  RebuildRootNamespaceBeginUpdate();
  TLazyExplorerViews::LoadDefaultOptions();
  LoadViewDefaults();
  RebuildRootNamespaceEndUpdate();
}

void TLazyExplorerListview::LoadViewDefaults() {
  // The working defaults of a file list.
  SetFileObjects(foFolders | foNonFolders | foHidden);
  auto& options = TreeOptions();
  options.SetAutoOptions(toAutoScroll);
  options.SetSelectionOptions(toMultiSelect | toRightClickSelect | toSiblingSelectConstraint);
  options.SetMiscOptions(toAcceptOLEDrop | toEditable | toReportMode | toToggleOnDblClick);
  options.SetPaintOptions(toShowTreeLines | toUseBlendedImages | toGhostedIfUnfocused);
  SetExplorerFolderOptions(toHideRootFolder);
  SetExplorerShellOptions(toRightAlignSizeColumn | toContextMenus | toShellColumnMenu);
  SetExplorerMiscOptions(toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toChangeNotifierThread |
                         toExecuteOnDblClk);
  SetExplorerImageOptions(toImages | toThreadedImages | toMarkCutAndCopy);
  SetExplorerSyncOptions(toCollapseTargetFirst | toExpandTarget | toSelectTarget);
  Header().SetHeight(17);
  Header().SetOptions(hoColumnResize | hoDblClickResize | hoDrag | hoShowSortGlyphs);
  SetIndent(0);
  SetMargin(4);
  SetColumnDetails(cdShellColumns);
}

TLazyExplorerListview::~TLazyExplorerListview() {
  UnregisterChangeLinks();
  DestroyNodes();
}

void TLazyExplorerListview::SetLazyExplorerTreeview(TLazyExplorerTreeview* treeview) {
  if (treeview == treeview_) return;
  UnlinkFrom(treeview_);
  treeview_ = treeview;
  LinkTo(treeview);
}

void TLazyExplorerListview::ChangeLinkFreeing(TExplorerChangeLink& link) {
  TLazyExplorerViews::ChangeLinkFreeing(link);
  if (link.ChangeLinkClient == this && treeview_ && link.ChangeLinkServer == treeview_) treeview_ = nullptr;
}

void TLazyExplorerListview::SetBackBrowseRoot(TNamespace* ns) {
  if (ns == backBrowseRoot_.get()) return;
  if (ns && backBrowseRoot_ && ILIsEqualSafe(ns->AbsolutePIDL(), backBrowseRoot_->AbsolutePIDL())) return;
  backBrowseRoot_ = ns ? ns->Clone() : nullptr;
}

void TLazyExplorerListview::InitHandle() {
  TLazyExplorerViews::InitHandle();
  SetBackBrowseRoot(RootNamespace());
}

bool TLazyExplorerListview::OkToBrowseTo(LPCITEMIDLIST pidl) {
  if (!backBrowseRoot_ || !(ExplorerMiscOptions() & toListviewLimitBrowseToRoot)) return true;
  TNamespace* limit = backBrowseRoot_.get();
  if (treeview_) limit = treeview_->RootNamespace();
  else if (LazyExplorerTree()) limit = LazyExplorerTree()->RootNamespace();
  // A linked tree without a root sets no bound.
  return !limit || ILIsParentSafe(limit->AbsolutePIDL(), pidl, false);
}

bool TLazyExplorerListview::BrowseToByPIDL(LPCITEMIDLIST pidl, bool, bool, bool, bool select) {
  if (!pidl || !OkToBrowseTo(pidl)) return false;
  TPidl target = TPIDLManager::CopyPIDL(pidl);  // the caller's list may go with the old nodes
  TPidl folder = TPIDLManager::CopyPIDL(pidl);
  if (!target || !folder) return false;
  bool isFolder = false;
  {
    auto item = TNamespace::CreateShared(target.get());
    isFolder = item->GetFolder();
  }
  if (!isFolder) TPIDLManager::StripLastID(folder.get());
  // The folder shown already is built again too: its root events, the check
  // marks of its rows and the followers all hear of the browse.
  RefreshRootFolderCustomPIDL(folder.get());
  if (!isFolder && select) WalkPIDLToNode(target.get(), true, false, false);
  return RootFolderCustomPIDL() != nullptr;
}

bool TLazyExplorerListview::BrowseToNextLevel() {
  TNamespace* ns = nullptr;
  if (!ValidateNamespace(GetFirstSelected(), ns) || !ns->GetFolder()) return false;
  TPidl target = TPIDLManager::CopyPIDL(ns->AbsolutePIDL());
  return target && BrowseToByPIDL(target.get(), false, false, false, false);
}

void TLazyExplorerListview::BrowseToPrevLevel() {
  TNamespace* root = RootNamespace();
  if (!root || root->IsDesktop()) return;
  TPidl parent = TPIDLManager::CopyPIDL(root->AbsolutePIDL());
  if (!parent) return;
  TPIDLManager::StripLastID(parent.get());
  BrowseToByPIDL(parent.get(), false, false, false, false);
}

void TLazyExplorerListview::DoShellExecute(PLazyNode node) {
  TNamespace* ns = nullptr;
  // Browsing frees the node: nothing of it is used afterwards.
  if ((ExplorerMiscOptions() & toBrowseExecuteFolder) && ValidateNamespace(node, ns) && ns->GetFolder() &&
      BrowseToNextLevel())
    return;
  TLazyExplorerViews::DoShellExecute(node);
}

bool TLazyExplorerListview::DoKeyAction(WORD& key, UINT& shift) {
  switch (key) {
    case VK_BACK:
      BrowseToPrevLevel();
      return false;
    case VK_RETURN:
      if (SelectedCount() == 1) {
        if (treeview_)
          if (PLazyNode focused = treeview_->FocusedNode()) treeview_->RefreshNode(focused);
        DoShellExecute(GetFirstSelected());
      }
      return true;
    case 'V':
    case 0x76:  // 'v' as a key code, which is also F7's virtual key
      if (!(shift & MK_CONTROL)) return true;
      {
        const TTreeWaitCursor wait(*this);
        PasteFromClipboard();
      }
      return false;
    default:
      return TLazyExplorerViews::DoKeyAction(key, shift);
  }
}

bool TLazyExplorerListview::PasteFromClipboard() {
  TNamespace* root = RootNamespace();
  if (!root) return false;
  if (!(ExplorerMiscOptions() & toExplorerReadOnly)) root->Paste({root});
  return true;
}

void TLazyExplorerListview::SelectedFilesPaste(bool allowMultiple) {
  if (ExplorerMiscOptions() & toExplorerReadOnly) return;
  TNamespaceArray items = SelectedNamespaces();
  if (!allowMultiple && items.size() != 1) return;
  const TTreeWaitCursor wait(*this);
  if (items.empty()) {
    if (TNamespace* root = RootNamespace()) root->Paste({root});
    return;
  }
  if (!allowMultiple) items.resize(1);
  for (TNamespace* ns : items) ns->Paste({ns});
}

void TLazyExplorerListview::DoGetImageIndex(PLazyNode node, TLTImageKind kind, TColumnIndex column,
                                            bool& ghosted, int& index) {
  // A selected item keeps its normal icon (no open folder in a list).
  if (kind == TLTImageKind::ikSelected) kind = TLTImageKind::ikNormal;
  TLazyExplorerViews::DoGetImageIndex(node, kind, column, ghosted, index);
}

void TLazyExplorerListview::ReReadAndRefreshNode(PLazyNode node, bool resort) {
  // The root node is the invisible one when the root folder is hidden, else the first.
  const bool root = node && ((ExplorerFolderOptions() & toHideRootFolder) ? IsRoot(node) : node == GetFirstNoInit());
  if (root) TLazyExplorerViews::ReReadAndRefreshNode(node, resort);
}

void TLazyExplorerListview::RebuildRootNamespace() {
  if (RebuildSuspended()) return;
  // The rows first, then the columns of the folder they show.
  headerAfterRows_ = true;
  const ScopeGuard restore([this] { headerAfterRows_ = false; });
  TLazyExplorerViews::RebuildRootNamespace();
  RebuildHeader(RootNamespace());
}

void TLazyExplorerListview::ChangeLinkDispatch() {
  TExplorerChangeDispatch* dispatch = ExplorerChangeDispatch();
  TNamespace* root = RootNamespace();
  if (!dispatch || !root || DeferChangeLinkDispatch()) return;
  TPidl pidl = TPIDLManager::CopyPIDL(root->AbsolutePIDL());
  if (pidl) dispatch->DispatchChange(this, pidl.get());
}

void TLazyExplorerListview::Assign(TCustomLazyExplorerTree& source) {
  TLazyExplorerViews::Assign(source);
  if (auto* list = dynamic_cast<TLazyExplorerListview*>(&source); list && list != this)
    backBrowseRoot_ = list->backBrowseRoot_ ? list->backBrowseRoot_->Clone() : nullptr;
}

}  // namespace kv
