#include "shell/explorer_persistent_win.h"

#include <algorithm>

#include "shell/explorer_tree_win.h"
#include "shell/node_storage_win.h"

namespace kv {

namespace {

TPidl CopyOf(TCustomLazyExplorerTree& tree, PLazyNode node, bool relative = false) {
  TNamespace* ns = nullptr;
  if (!tree.ValidateNamespace(node, ns)) return nullptr;
  return TPIDLManager::CopyPIDL(relative ? TPIDLManager::GetPointerToLastID(ns->AbsolutePIDL()) : ns->AbsolutePIDL());
}

}  // namespace

TExplorerPersistent::TExplorerPersistent() : Storage(MakeShellNodeStorage()) {}
TExplorerPersistent::~TExplorerPersistent() = default;

void TExplorerPersistent::Clear() {
  SelectedPIDLs.clear();
  LeafNodes.clear();
  SelectedFolderPIDL.reset();
  RootFolderCustomPIDL.reset();
  Storage->Clear(false);
}

void TExplorerPersistent::FullInitTree(TCustomLazyExplorerTree& tree, bool init) {
  if (init) {
    tree.InitAllNodes();
    Flags |= 1;
  } else {
    Flags &= uint8_t(~1);
  }
}

void TExplorerPersistent::SaveTree(TCustomLazyExplorerTree& tree, bool saveSelection, bool saveFocus) {
  FullInitTree(tree, true);
  FocusedPIDL.reset();
  TopNodeBeforePIDL = CopyOf(tree, tree.TopNode());
  if (saveFocus) FocusedPIDL = CopyOf(tree, tree.FocusedNode());
  PLazyNode start = (tree.ExplorerFolderOptions() & toHideRootFolder) ? tree.RootNode() : tree.GetFirstNoInit();
  SaveTreeBranch(tree, start, saveSelection);
  TopNodePIDL = CopyOf(tree, tree.TopNode());
  RootFolderCustomPIDL.reset();
  RootFolder = static_cast<int>(tree.RootFolder());
  RootFolderCustomPath = tree.RootFolderCustomPath();
  FullInitTree(tree, false);
}

void TExplorerPersistent::SaveTreeBranch(TCustomLazyExplorerTree& tree, PLazyNode node, bool saveSelection) {
  if (!(Flags & 1)) tree.InitAllChildren(node);
  if (saveSelection) StoreSelectedPIDLs(tree);
  StoreLeafPIDLs(tree, node);
}

void TExplorerPersistent::StoreLeafPIDLs(TCustomLazyExplorerTree& tree, PLazyNode node) {
  LeafNodes.clear();
  if (!node) return;
  // Through expanded nodes only: the deepest expanded ones are enough, as
  // expanding them again expands their ancestors.
  std::vector<PLazyNode> stack;
  for (PLazyNode c = node->FirstChild; c; c = c->NextSibling) stack.push_back(c);
  if (!(node == tree.RootNode()) && !tree.Expanded(node)) stack.clear();
  std::vector<PLazyNode> leaves;
  while (!stack.empty()) {
    PLazyNode n = stack.back();
    stack.pop_back();
    if (!tree.Expanded(n)) continue;
    bool expandedChild = false;
    for (PLazyNode c = n->FirstChild; c; c = c->NextSibling)
      if (tree.Expanded(c)) {
        expandedChild = true;
        stack.push_back(c);
      }
    if (!expandedChild) leaves.push_back(n);
  }
  for (PLazyNode leaf : leaves)
    if (TPidl list = CopyOf(tree, leaf)) LeafNodes.push_back({true, std::move(list)});
  if (LeafNodes.empty())
    if (TPidl list = CopyOf(tree, node)) LeafNodes.push_back({tree.Expanded(node), std::move(list)});
}

void TExplorerPersistent::ReStoreLeafPIDLs(TCustomLazyExplorerTree& tree) {
  tree.BeginUpdate();
  for (const auto& leaf : LeafNodes) {
    PLazyNode node = tree.WalkPIDLToNode(leaf.PIDL.get(), false, false, true);
    if (node && !(node == tree.RootNode())) tree.SetExpanded(node, leaf.Expanded);
  }
  tree.EndUpdate();
}

void TExplorerPersistent::StoreSelectedPIDLs(TCustomLazyExplorerTree& tree) {
  SelectedPIDLs.clear();
  SelectedFolderPIDL.reset();
  PLazyNode first = tree.GetFirstSelected();
  TNamespace* ns = nullptr;
  if (tree.ValidateNamespace(first, ns) && !ns->IsDesktop()) {
    SelectedFolderPIDL = TPIDLManager::CopyPIDL(ns->AbsolutePIDL());
    TPIDLManager::StripLastID(SelectedFolderPIDL.get());
  }
  for (PLazyNode n = first; n; n = tree.GetNextSelected(n))
    if (TPidl list = CopyOf(tree, n, true)) SelectedPIDLs.push_back(std::move(list));
}

void TExplorerPersistent::ReStoreSelectedPIDLs(TCustomLazyExplorerTree& tree) {
  tree.ClearSelection();
  tree.SetFocusedNode(nullptr);
  tree.BeginUpdate();
  if (!SelectedPIDLs.empty()) {
    if (!SelectedFolderPIDL) {
      if (PLazyNode first = tree.GetFirst()) tree.SetSelected(first, true);
    } else {
      ComPtr<IShellFolder> desktop, folder;
      if (SUCCEEDED(SHGetDesktopFolder(desktop.Put()))) {
        if (IsDesktopIDList(SelectedFolderPIDL.get())) folder = desktop;
        else desktop->BindToObject(SelectedFolderPIDL.get(), nullptr, IID_IShellFolder, folder.PutVoid());
      }
      PLazyNode parent = folder ? tree.WalkPIDLToNode(SelectedFolderPIDL.get(), false, false, true) : nullptr;
      if (parent) {
        auto order = [&](LPCITEMIDLIST a, LPCITEMIDLIST b) {
          return CompareIDsResult(folder->CompareIDs(0, a, b), IDItemBytes(a), IDItemBytes(b));
        };
        std::sort(SelectedPIDLs.begin(), SelectedPIDLs.end(),
                  [&](const TPidl& a, const TPidl& b) { return order(a.get(), b.get()) < 0; });
        size_t i = 0;
        for (PLazyNode child = tree.GetFirstChild(parent); child && i < SelectedPIDLs.size();
             child = tree.GetNextSibling(child)) {
          TNamespace* ns = nullptr;
          if (!tree.ValidateNamespace(child, ns)) continue;
          LPCITEMIDLIST own = TPIDLManager::GetPointerToLastID(ns->AbsolutePIDL());
          // A stored item that no longer exists sorts before the current child: step past it.
          while (i < SelectedPIDLs.size() && order(SelectedPIDLs[i].get(), own) < 0) ++i;
          if (i < SelectedPIDLs.size() && order(SelectedPIDLs[i].get(), own) == 0) {
            tree.SetSelected(child, true);
            ++i;
          }
        }
      }
    }
  }
  tree.EndUpdate();
  if (PLazyNode first = tree.GetFirstSelected()) tree.SetFocusedNode(first);
}

void TExplorerPersistent::RestoreTreeBranch(TCustomLazyExplorerTree& tree, PLazyNode /*node*/,
                                            bool restoreSelection) {
  ReStoreLeafPIDLs(tree);
  if (restoreSelection) ReStoreSelectedPIDLs(tree);
}

void TExplorerPersistent::RestoreTree(TCustomLazyExplorerTree& tree, bool restoreSelection, bool restoreTopNode,
                                      bool restoreFocus) {
  tree.BeginUpdate();
  tree.ClearSelection();
  if (!RootFolderCustomPath.empty()) tree.SetRootFolderCustomPath(RootFolderCustomPath);
  else tree.SetRootFolder(static_cast<TRootFolder>(RootFolder));
  RestoreTreeBranch(tree, tree.GetFirst(), restoreSelection);
  PLazyNode top = TopNodePIDL ? tree.WalkPIDLToNode(TopNodePIDL.get(), false, false, true) : nullptr;
  if (restoreFocus && FocusedPIDL) {
    top = tree.WalkPIDLToNode(FocusedPIDL.get(), false, false, true);
    if (top) tree.SetFocusedNode(top);
  }
  tree.EndUpdate();
  if (restoreTopNode && TopNodeBeforePIDL) {
    PLazyNode before = tree.WalkPIDLToNode(TopNodeBeforePIDL.get(), false, false, true);
    if (before && !(before == tree.RootNode())) tree.SetTopNode(before);
    return;
  }
  if (top && !(top == tree.RootNode())) tree.SetTopNode(top);
}

}  // namespace kv
