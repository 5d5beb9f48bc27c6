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

  // Stream form: all or nothing; a bad stream throws (ENodeStorage,
  // EIDListFormat or the stream's read error) and changes nothing.
  void LoadFromStream(TStream& stream, int32_t version = 0, bool readVerFromStream = false) override;
  void SaveToStream(TStream& stream, int32_t version = 0, bool writeVerToStream = false) override;

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

 protected:
  static void ReadState(TStream& stream, int32_t version, bool readVerFromStream, TExplorerPersistent& into);
  void Take(TExplorerPersistent& from);
};

// A saved state under a name.
class TView : public TExplorerPersistent {
 public:
  std::wstring ViewName;
  void LoadFromStream(TStream& stream, int32_t version = 0, bool readVerFromStream = false) override;
  void SaveToStream(TStream& stream, int32_t version = 0, bool writeVerToStream = false) override;
};

class TViewManager : public TStreamableClass {
 public:
  ~TViewManager() override { Clear(); }
  virtual void Clear();
  // The last view of that name, compared without case; none when there is none.
  TView* GetView(const std::wstring& name);
  virtual void Snapshot(const std::wstring& name, TCustomLazyExplorerTree& tree);
  virtual void ShowView(const std::wstring& name, TCustomLazyExplorerTree& tree);
  void LoadFromStream(TStream& stream, int32_t version = 0, bool readVerFromStream = false) override;
  void SaveToStream(TStream& stream, int32_t version = 0, bool writeVerToStream = false) override;

  std::vector<std::unique_ptr<TView>> Views;
};

// The process-wide manager: its views carry a copy of the tree's node storage.
class TGlobalViewManager : public TViewManager {
 public:
  void Snapshot(const std::wstring& name, TCustomLazyExplorerTree& tree) override;
  void ShowView(const std::wstring& name, TCustomLazyExplorerTree& tree) override;
  // Always versioned in the stream; written as version 3.
  void LoadFromStream(TStream& stream, int32_t version = 0, bool readVerFromStream = false) override;
  void SaveToStream(TStream& stream, int32_t version = 0, bool writeVerToStream = false) override;
};

// Made by ShellInitialize, freed by ShellFinalize.
TGlobalViewManager& GlobalViewManager();
void CreateGlobalViewManager();
void FreeGlobalViewManager();

}  // namespace kv
