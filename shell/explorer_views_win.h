#pragma once
// The linked views: a folder tree (TLazyExplorerTreeview, in
// explorer_tree_win.h) and a detail list of one folder's contents that
// browses by making the folder its root. Each names the other; a change in
// one reaches the other through the process-wide change dispatcher.
#include <windows.h>

#include <memory>

#include "shell/explorer_tree_win.h"

namespace kv {

class TLazyExplorerListview : public TLazyExplorerViews {
 public:
  TLazyExplorerListview();
  ~TLazyExplorerListview() override;
  const char* ClassName() const override { return "TLazyExplorerListview"; }

  TLazyExplorerTreeview* LazyExplorerTreeview() const { return treeview_; }
  // Follows `treeview` (none: follows no tree).
  void SetLazyExplorerTreeview(TLazyExplorerTreeview* treeview);
  // The folder that bounds browsing upward (a copy); set to the root shown
  // when the window is made.
  TNamespace* BackBrowseRoot() const { return backBrowseRoot_.get(); }
  void SetBackBrowseRoot(TNamespace* ns);

  // Shows the folder `pidl` (for a file: its folder, then selects the file
  // when `select`); false when refused or nothing could be shown.
  bool BrowseToByPIDL(LPCITEMIDLIST pidl, bool expand, bool collapseFirst, bool scrollTop, bool select) override;
  // Into the first selected folder / up to the parent of the folder shown.
  bool BrowseToNextLevel();
  void BrowseToPrevLevel();
  // With toListviewLimitBrowseToRoot only the limiting folder and what lies
  // below it: the linked tree's root, else the followed explorer tree's, else BackBrowseRoot.
  bool OkToBrowseTo(LPCITEMIDLIST pidl) override;
  // Pastes into the folder shown.
  bool PasteFromClipboard() override;
  void SelectedFilesPaste(bool allowMultiple) override;
  // Only the list's root (the whole folder) is read again.
  void ReReadAndRefreshNode(PLazyNode node, bool resort) override;
  // The folder's items, then its shell columns.
  void RebuildRootNamespace() override;
  // Tells the followers the folder shown.
  void ChangeLinkDispatch() override;
  void ChangeLinkFreeing(TExplorerChangeLink& link) override;
  // The tree's settings and, from a list, its BackBrowseRoot.
  void Assign(TCustomLazyExplorerTree& source) override;
  // A list destination takes this list's BackBrowseRoot too (its Assign).
  void AssignTo(TCustomLazyExplorerTree& dest) override { TLazyExplorerViews::AssignTo(dest); }
  // The explorer tree's defaults, then the file list's own.
  void LoadDefaultOptions() override;

 protected:
  TNamespace* ChangeLinkCurrentItem() override { return RootNamespace(); }
  void InitHandle() override;
  void DoShellExecute(PLazyNode node) override;
  bool DoKeyAction(WORD& key, UINT& shift) override;
  void DoGetImageIndex(PLazyNode node, TLTImageKind kind, TColumnIndex column, bool& ghosted,
                       int& index) override;

 private:
  void LoadViewDefaults();
  TLazyExplorerTreeview* treeview_ = nullptr;
  std::unique_ptr<TNamespace> backBrowseRoot_;
};

}  // namespace kv
