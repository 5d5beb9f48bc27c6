#pragma once
// What an explorer tree shows beyond its nodes (expanded folders, selection,
// focus, the top row, the root and the node storage), captured by item-ID
// list before the tree is rebuilt and put back afterwards.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "shell/id_list_win.h"
#include "shell/node_storage.h"
#include "shell/streamable.h"
#include "treeview/lazy_node.h"

namespace kv {

class TCustomLazyExplorerTree;

struct TLeafNode {
  bool Expanded = false;
  TPidl PIDL;  // absolute
};

class TExplorerPersistent : public TStreamableClass {
 public:
  TExplorerPersistent();
  ~TExplorerPersistent() override;

  // Empties the lists and the storage (user data kept).
  virtual void Clear();
  void FullInitTree(TCustomLazyExplorerTree& tree, bool init);
  void SaveTree(TCustomLazyExplorerTree& tree, bool saveSelection, bool saveFocus);
  void RestoreTree(TCustomLazyExplorerTree& tree, bool restoreSelection, bool restoreTopNode, bool restoreFocus);
  void SaveTreeBranch(TCustomLazyExplorerTree& tree, PLazyNode node, bool saveSelection);
  void RestoreTreeBranch(TCustomLazyExplorerTree& tree, PLazyNode node, bool restoreSelection);
  void StoreLeafPIDLs(TCustomLazyExplorerTree& tree, PLazyNode node);
  void ReStoreLeafPIDLs(TCustomLazyExplorerTree& tree);
  void StoreSelectedPIDLs(TCustomLazyExplorerTree& tree);
  // Selects again the stored items that still exist in the stored folder.
  void ReStoreSelectedPIDLs(TCustomLazyExplorerTree& tree);

  std::vector<TLeafNode> LeafNodes;
  std::vector<TPidl> SelectedPIDLs;  // relative
  TPidl TopNodePIDL;
  std::wstring RootFolderCustomPath;
  int RootFolder = 0;
  TPidl SelectedFolderPIDL;
  std::unique_ptr<TRootNodeStorage> Storage;
  uint8_t Flags = 0;
  TPidl RootFolderCustomPIDL;
  TPidl FocusedPIDL;
  TPidl TopNodeBeforePIDL;
};

}  // namespace kv
