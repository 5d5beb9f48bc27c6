#pragma once
// Three-state check boxes on the linked explorer views of the folder page:
// the synchroniser gives the folder tree and the file list their check boxes
// and tracks the three states itself, keeping the tree's nodes, its node
// storage (the source of truth for the marks) and the list consistent. A
// check travels down to the loaded children and up to the ancestors, from the
// list to the tree and back, and the list shows the state of its folder.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "shell/explorer_tree_win.h"
#include "shell/explorer_views_win.h"
#include "ui/component.h"

namespace kv {

// A folder in the sense of the check boxes: a file-system folder, or My
// Computer / the network places when allowed; a folder whose extension is
// exactly ".zip" only when zip folders are allowed.
bool IsFolder(TNamespace& item, bool allowMyComputer, bool allowNetwork, bool allowZip);
// Not a folder, and a file-system item.
bool IsFile(TNamespace& item);

// Loads the children of a node marked as having some but holding none;
// true when it did.
bool ForceInit(TCustomLazyExplorerTree& view, PLazyNode node);
// The loaded child of `parent` whose item's parsing name is `name` (case ignored).
PLazyNode FindNamespace(TCustomLazyExplorerTree& view, PLazyNode parent, const std::wstring& name);
// The node of an existing file or folder, reached from `start` (My Computer
// when none) by loading the folders on the way; none when it cannot be reached.
PLazyNode FindNodeByFilename(TCustomLazyExplorerTree& view, const std::wstring& path, PLazyNode start = nullptr);

// Asked before a check travels down into an item that is not checked yet;
// clearing `allow` leaves the item as it is and its folder mixed.
using TCheckFilter = std::function<void(TNamespace& item, bool& allow)>;

// Sets a node's check type and state and keeps them in the view's storage.
void ManualCheck(TCustomLazyExplorerTree& view, PLazyNode node, TCheckType type, TCheckState state);
// Keeps a check in a storage: stored for a state other than unchecked,
// dropped (with the marks below it) for unchecked.
void ManualCheck(LPCITEMIDLIST pidl, TRootNodeStorage& storage, TCheckType type, TCheckState state);
// Carries the node's state up to the ancestors (`parents`), below the node
// root, and down to the loaded children (`children`), loading their children
// on the way with `loadChildren`. `list`, when given, shows each ancestor's
// new state on its row. A check `filter` holds back makes the node mixed, and
// its ancestors follow.
void ManualTristateTrack(TCustomLazyExplorerTree& tree, TCustomLazyExplorerTree* list, PLazyNode node, bool parents,
                         bool children, bool loadChildren, const TCheckFilter& filter = nullptr);
// Checks the item's node in `view` (loading its parent folder when needed)
// and, in a folder tree, carries the state up and down; false when the item
// has no node there.
bool TreeCheck(TCustomLazyExplorerTree& view, TCustomLazyExplorerTree* other, TNamespace& item, TCheckState state,
               TCheckType type, const TCheckFilter& filter = nullptr);

class TLazyCheckboxesSynchronizer : public ui::TComponent {
 public:
  TLazyCheckboxesSynchronizer() = default;
  // Puts the handlers of the views still attached back.
  ~TLazyCheckboxesSynchronizer() override;
  const char* ClassName() const override { return "TLazyCheckboxesSynchronizer"; }

  TLazyExplorerTreeview* LazyExplorerTreeview() const { return tree_; }
  // Attaches the tree (none detaches): check boxes on, its own three-state
  // tracking off, files read (hidden with HideTreeFiles), its handlers saved
  // and, with AutoSetupEvents, ours installed in front of them.
  void SetLazyExplorerTreeview(TLazyExplorerTreeview* value);
  TLazyExplorerListview* LazyExplorerListview() const { return list_; }
  // Attaches the list the same way (its files stay shown).
  void SetLazyExplorerListview(TLazyExplorerListview* value);
  // Read when a view is attached and when nodes are initialised.
  bool AutoSetupEvents = true;
  bool HideTreeFiles = true;
  // Where a check travelling down must stop (the views still take a direct one).
  TCheckFilter OnPropagateCheck;
  // True when the item's folder in the tree is mixed only because
  // OnPropagateCheck holds checks back below it: checking it changes nothing.
  bool CheckChangesNothing(TNamespace& item);

  // Checks exactly these existing paths; every other mark goes.
  void SetCheckedFileNames(const std::vector<std::wstring>& names);
  // The same from single-byte texts, short (8.3) forms taken at their long names.
  void SetCheckedFileNames(const std::vector<std::string>& names);
  // The checked existing paths less those inside another one, sorted.
  void GetResolvedFileNames(std::vector<std::wstring>& names);
  // The same as single-byte texts: a path the ANSI code page cannot hold
  // exactly comes in its short form, which the scan can open.
  void GetResolvedFileNames(std::vector<std::string>& names);
  // Every checked existing path.
  void GetCheckedFileNames(std::vector<std::wstring>& names);

  // Carries a changed check from the tree (`fromTree`) or from the list.
  void SyncCheckedNode(bool fromTree, PLazyNode node);
  // Gives the list's rows the state of the folder shown (with both views).
  void UpdateListView();

  // Installs our handlers (false) or puts the saved ones back (true).
  virtual void SetupEvents(bool restore);
  virtual void TreeOnInitNode(TLazyTreeModel& sender, PLazyNode parent, PLazyNode node,
                              TLazyNodeInitStates& initStates);
  virtual void TreeOnChecked(TLazyTreeModel& sender, PLazyNode node);
  virtual void TreeOnExpanded(TLazyTreeModel& sender, PLazyNode node);
  virtual void TreeOnEnumFolder(TCustomLazyExplorerTree& sender, TNamespace& item, bool& allow);
  virtual void ListOnInitNode(TLazyTreeModel& sender, PLazyNode parent, PLazyNode node,
                              TLazyNodeInitStates& initStates);
  virtual void ListOnChecked(TLazyTreeModel& sender, PLazyNode node);
  // The list shows another folder.
  virtual void ListOnRootChange(TCustomLazyExplorerTree& sender);

  void Notification(ui::TComponent* component, ui::TOperation operation) override;

 private:
  TLazyExplorerTreeview* tree_ = nullptr;
  bool treeEventsInstalled_ = false;
  // Prepares a view being attached: files read, check boxes on, our own
  // tracking in place of the tree control's.
  void PrepareView(TCustomLazyExplorerTree& view);
  // Installs our handlers on a view being attached, rebuilding its nodes.
  void InstallOn(TCustomLazyExplorerTree& view);
  void SetupTreeEvents(bool restore);
  void SetupListEvents(bool restore);
  // The tree's handlers from before it was attached, called after ours.
  std::function<void(TLazyTreeModel&, PLazyNode, PLazyNode, TLazyNodeInitStates&)> savedTreeInitNode_;
  std::function<void(TLazyTreeModel&, PLazyNode)> savedTreeChecked_;
  std::function<void(TLazyTreeModel&, PLazyNode)> savedTreeExpanded_;
  std::function<void(TCustomLazyExplorerTree&, TNamespace&, bool&)> savedTreeEnumFolder_;
  TLazyExplorerListview* list_ = nullptr;
  bool listEventsInstalled_ = false;
  std::function<void(TLazyTreeModel&, PLazyNode, PLazyNode, TLazyNodeInitStates&)> savedListInitNode_;
  std::function<void(TLazyTreeModel&, PLazyNode)> savedListChecked_;
  std::function<void(TCustomLazyExplorerTree&)> savedListRootChange_;
};

}  // namespace kv
