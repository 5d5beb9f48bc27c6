// The explorer tree's half of the change links: what it tells its followers
// and how it follows the explorer tree or combo box it names.
#include <algorithm>

#include "base/scope_guard.h"
#include "shell/explorer_combo_win.h"
#include "shell/explorer_tree_win.h"
#include "shell/id_list.h"

namespace kv {

namespace {

// The desktop's comparison of two absolute lists (column 0), read through the
// one CompareIDs reading of the shell items: not by the answer's low byte,
// which calls items equal whose comparison is a multiple of 256.
bool SameShellItem(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  // The same bytes are the same item; the shell is asked only when they differ.
  const auto first = PidlBytes(a), second = PidlBytes(b);
  if (std::equal(first.begin(), first.end(), second.begin(), second.end())) return true;
  TNamespace* desktop = DesktopFolder();
  ComPtr<IShellFolder> folder = desktop ? desktop->GetShellFolder() : ComPtr<IShellFolder>();
  if (!folder) return ILIsEqualSafe(a, b);
  return CompareIDsResult(folder->CompareIDs(0, a, b), PidlBytes(a), PidlBytes(b)) == 0;
}

}  // namespace

void TCustomLazyExplorerTree::UnregisterChangeLinks() {
  if (TExplorerChangeDispatch* dispatch = ExplorerChangeDispatch())
    dispatch->UnRegisterChangeLink(this, this, TChangeLinkMatch::Either);
}

TNamespace* TCustomLazyExplorerTree::ChangeLinkCurrentItem() {
  TNamespace* ns = nullptr;
  ValidateNamespace(GetFirstSelected(), ns);
  return ns;
}

bool TCustomLazyExplorerTree::DeferChangeLinkDispatch() {
  // Dispatch is locked from construction: Loaded's unlock sends the one dispatch.
  if (Loading()) return true;
  if (dispatchLocked_) {
    ++dispatchLockCount_;  // sent once when unlocked
    return true;
  }
  return false;
}

void TCustomLazyExplorerTree::Loaded() {
  TCustomLazyStringTree::Loaded();
  // Root, options and Active came from the layout: the nodes are built once, now.
  if (active_) {
    if (!activated_) ActivateTree(true);
    else RebuildRootNamespace();
  }
  UnlockChangeNotifer();
}

void TCustomLazyExplorerTree::ChangeLinkDispatch() {
  TExplorerChangeDispatch* dispatch = ExplorerChangeDispatch();
  if (!dispatch || DeferChangeLinkDispatch()) return;
  PLazyNode node = GetFirstSelected();
  if (!node) node = FocusedNode();
  TNamespace* ns = nullptr;
  if (!ValidateNamespace(node, ns)) return;
  // A copy: a follower's answer may free the node and its item.
  TPidl pidl = TPIDLManager::CopyPIDL(ns->AbsolutePIDL());
  if (pidl) dispatch->DispatchChange(this, pidl.get());
}

void TCustomLazyExplorerTree::ChangeLinkChanging(ui::TControl*, LPCITEMIDLIST pidl) {
  if (changeLinkChanging_ || !pidl) return;
  changeLinkChanging_ = true;
  const ScopeGuard done([this] { changeLinkChanging_ = false; });
  TNamespace* current = ChangeLinkCurrentItem();
  if (current && SameShellItem(current->AbsolutePIDL(), pidl)) return;
  BrowseToByPIDL(pidl, (ExplorerSyncOptions() & toExpandTarget) != 0,
                 (ExplorerSyncOptions() & toCollapseTargetFirst) != 0, false,
                 (ExplorerSyncOptions() & toSelectTarget) != 0);
}

void TCustomLazyExplorerTree::ChangeLinkFreeing(TExplorerChangeLink& link) {
  if (link.ChangeLinkClient != this) return;
  if (lazyExplorerTree_ && link.ChangeLinkServer == lazyExplorerTree_) lazyExplorerTree_ = nullptr;
  if (explorerComboBox_ && link.ChangeLinkServer == explorerComboBox_) explorerComboBox_ = nullptr;
}

void TCustomLazyExplorerTree::UnlinkFrom(ui::TControl* server) {
  if (TExplorerChangeDispatch* dispatch = ExplorerChangeDispatch(); dispatch && server)
    dispatch->UnRegisterChangeLink(server, this, TChangeLinkMatch::Both);
}

void TCustomLazyExplorerTree::LinkTo(ui::TControl* server) {
  TExplorerChangeDispatch* dispatch = ExplorerChangeDispatch();
  if (!dispatch || !server) return;
  dispatch->RegisterChangeLink(
      server, this, [this](ui::TControl* s, LPCITEMIDLIST pidl) { ChangeLinkChanging(s, pidl); },
      [this](TExplorerChangeLink& link) { ChangeLinkFreeing(link); });
}

void TCustomLazyExplorerTree::SetLazyExplorerTree(TCustomLazyExplorerTree* tree) {
  if (tree == lazyExplorerTree_) return;
  UnlinkFrom(lazyExplorerTree_);
  lazyExplorerTree_ = tree;
  LinkTo(tree);
}

void TCustomLazyExplorerTree::SetExplorerComboBox(TCustomLazyExplorerCombobox* combo) {
  if (combo == explorerComboBox_) return;
  UnlinkFrom(explorerComboBox_);
  explorerComboBox_ = combo;
  LinkTo(combo);
}

}  // namespace kv
