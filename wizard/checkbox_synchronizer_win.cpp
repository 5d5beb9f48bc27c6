#include "wizard/checkbox_synchronizer_win.h"

#include <string>
#include <unordered_map>

#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "shell/id_list_win.h"
#include "wizard/checkbox_state.h"
#include "wizard/later_pages_win.h"

namespace kv {

namespace {

bool SameTextW(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool PathExistsW(const std::wstring& path) {
  // An empty removable drive must not bring up the system's error box.
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  const bool exists = !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  SetErrorMode(oldMode);
  return exists;
}

// The node of `pidl` in the view, never its hidden root.
PLazyNode NodeOf(TCustomLazyExplorerTree& view, LPCITEMIDLIST pidl) {
  PLazyNode node = view.FindNodeByPIDL(pidl);
  return node == view.RootNode() ? nullptr : node;
}

// The nodes of one folder's children found in a single pass over them for
// many lookups, as the tree's own walk finds each: the children are read in
// order, each initialised when reached, and the first child whose list
// equals the one asked for answers. Children passed already are found again
// by their list's bytes; a list not among the children goes the tree's own
// way (a network item gets its node made there).
class TChildFinder {
 public:
  TChildFinder(TCustomLazyExplorerTree& view, PLazyNode folder)
      : view_(view), next_(folder->ChildCount ? folder->FirstChild : nullptr) {}

  PLazyNode Find(LPCITEMIDLIST pidl) {
    const std::string key = Key(pidl);
    auto seen = seen_.find(key);
    if (seen != seen_.end()) return seen->second;
    while (next_ != nullptr) {
      PLazyNode child = next_;
      TNamespace* item = nullptr;
      if (!view_.ValidateNamespace(child, item)) {
        view_.InitNode(child);
        // The walk stops at a child without an item, as the tree's does.
        if (!view_.ValidateNamespace(child, item)) break;
      }
      next_ = child->NextSibling;
      seen_.emplace(Key(item->AbsolutePIDL()), child);
      if (ILIsEqualSafe(item->AbsolutePIDL(), pidl)) return child;
    }
    return NodeOf(view_, pidl);
  }

 private:
  static std::string Key(LPCITEMIDLIST pidl) {
    const auto bytes = StorageBytes(pidl);
    return std::string(bytes.begin(), bytes.end());
  }

  TCustomLazyExplorerTree& view_;
  PLazyNode next_;
  std::unordered_map<std::string, PLazyNode> seen_;
};

void CheckParent(TCustomLazyExplorerTree& tree, TCustomLazyExplorerTree* list, PLazyNode node) {
  // The walk stops at the tree's invisible root only: the desktop's node
  // takes part like any other.
  bool mixed = node->CheckState == csMixedNormal;
  for (PLazyNode parent = node->Parent; parent != nullptr && parent != tree.RootNode(); parent = parent->Parent) {
    TCheckState state = csMixedNormal;
    if (!mixed) {
      state = static_cast<TCheckState>(CheckStateTrack(parent));
      mixed = state == csMixedNormal;
    }
    ManualCheck(tree, parent, static_cast<TCheckType>(parent->CheckType), state);
    TNamespace* item = nullptr;
    // A row of the list standing for this ancestor shows the same; nothing
    // propagates further there.
    if (list != nullptr && tree.ValidateNamespace(parent, item)) {
      TreeCheck(*list, &tree, *item, state, static_cast<TCheckType>(parent->CheckType));
    }
  }
}

// True when a check was held back somewhere below `node`, which then stays mixed.
bool CheckChildren(TCustomLazyExplorerTree& tree, PLazyNode node, bool loadChildren, const TCheckFilter& filter) {
  // Only a settled state travels down: a mixed folder leaves its children be.
  if (node->CheckState != csUncheckedNormal && node->CheckState != csCheckedNormal) return false;
  const auto state = static_cast<TCheckState>(node->CheckState);
  bool held = false;
  for (PLazyNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
    if (loadChildren) ForceInit(tree, child);
    TNamespace* item = nullptr;
    if (state == csCheckedNormal && filter && child->CheckState != csCheckedNormal &&
        tree.ValidateNamespace(child, item)) {
      bool allow = true;
      filter(*item, allow);
      if (!allow) {
        held = true;
        continue;
      }
    }
    ManualCheck(tree, child, ctTriStateCheckBox, state);
    if (child->FirstChild != nullptr && CheckChildren(tree, child, loadChildren, filter)) held = true;
  }
  if (held) ManualCheck(tree, node, static_cast<TCheckType>(node->CheckType), csMixedNormal);
  return held;
}

// True when every loaded child of `node` is checked or held back by `filter`
// (unchecked), or mixed for the same reason further down, and at least one
// is held back: a folder mixed only because of such checks.
bool CheckedAsFarAsAllowed(TCustomLazyExplorerTree& tree, PLazyNode node, const TCheckFilter& filter, bool& held) {
  for (PLazyNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
    if (child->CheckState == csCheckedNormal) continue;
    TNamespace* item = nullptr;
    if (child->CheckState == csUncheckedNormal && tree.ValidateNamespace(child, item)) {
      bool allow = true;
      filter(*item, allow);
      if (!allow) {
        held = true;
        continue;
      }
    }
    if (child->CheckState == csMixedNormal && CheckedAsFarAsAllowed(tree, child, filter, held)) continue;
    return false;
  }
  return true;
}

}  // namespace

// ------------------------------------------------------------ free routines --

bool IsFolder(TNamespace& item, bool allowMyComputer, bool allowNetwork, bool allowZip) {
  if (!item.GetFolder()) return false;
  if (!item.GetFileSystem()) {
    const bool computer = allowMyComputer && item.IsMyComputer();
    const bool network = allowNetwork && (item.IsNetworkNeighborhood() || item.IsNetworkNeighborhoodChild());
    if (!computer && !network) return false;
  }
  // An archive the shell shows as a folder; letter case matters here.
  return allowZip || item.GetExtension() != L".zip";
}

bool IsFile(TNamespace& item) { return !item.GetFolder() && item.GetFileSystem(); }

bool ForceInit(TCustomLazyExplorerTree& view, PLazyNode node) {
  if (node == nullptr || node == view.RootNode()) return false;
  if (!node->States.Contains(nsInitialized)) view.InitNode(node);
  if (!view.HasChildren(node) || node->ChildCount > 0) return false;
  view.InitChildren(node);
  return true;
}

PLazyNode FindNamespace(TCustomLazyExplorerTree& view, PLazyNode parent, const std::wstring& name) {
  if (parent == nullptr) return nullptr;
  for (PLazyNode child = parent->FirstChild; child != nullptr; child = child->NextSibling) {
    TNamespace* item = nullptr;
    if (view.ValidateNamespace(child, item) && SameTextW(item->GetNameForParsing(), name)) return child;
  }
  return nullptr;
}

PLazyNode FindNodeByFilename(TCustomLazyExplorerTree& view, const std::wstring& path, PLazyNode start) {
  if (!PathExistsW(path)) return nullptr;
  PLazyNode node = start != nullptr ? start : view.FindNodeByPIDL(DrivesFolder()->AbsolutePIDL());
  if (node == nullptr) return nullptr;
  for (const std::u16string& prefix : FilenamePrefixChain(ToU16(path))) {
    ForceInit(view, node);
    node = FindNamespace(view, node, ToWString(prefix));
    if (node == nullptr) return nullptr;
  }
  return node;
}

void ManualCheck(TCustomLazyExplorerTree& view, PLazyNode node, TCheckType type, TCheckState state) {
  TNamespace* item = nullptr;
  if (node == nullptr || !view.ValidateNamespace(node, item)) return;
  node->CheckType = type;
  node->CheckState = state;
  ManualCheck(item->AbsolutePIDL(), *view.GetNewStorage(), type, state);
  view.InvalidateNode(node);
}

void ManualCheck(LPCITEMIDLIST pidl, TRootNodeStorage& storage, TCheckType type, TCheckState state) {
  const auto bytes = StorageBytes(pidl);
  if (state == csUncheckedNormal) {
    storage.Delete(bytes, kStoreCheck, false, false);
  } else if (TNodeStorage* stored = storage.Store(bytes, kStoreCheck)) {
    stored->Storage.CheckState = state;
    stored->Storage.CheckType = type;
  }
}

void ManualTristateTrack(TCustomLazyExplorerTree& tree, TCustomLazyExplorerTree* list, PLazyNode node, bool parents,
                         bool children, bool loadChildren, const TCheckFilter& filter) {
  if (node == nullptr || node == tree.RootNode()) return;
  if (parents) CheckParent(tree, list, node);
  // A check held back below leaves the node mixed: the ancestors follow.
  if (children && CheckChildren(tree, node, loadChildren, filter)) CheckParent(tree, list, node);
}

bool TreeCheck(TCustomLazyExplorerTree& view, TCustomLazyExplorerTree* other, TNamespace& item, TCheckState state,
               TCheckType type, const TCheckFilter& filter) {
  PLazyNode node = NodeOf(view, item.AbsolutePIDL());
  if (node == nullptr && IDListCount(item.AbsolutePIDL()) > 0) {
    // The item's folder may be there with its content never read.
    TPidl parent = TPIDLManager::CopyPIDL(item.AbsolutePIDL());
    if (parent) {
      TPIDLManager::StripLastID(parent.get());
      if (PLazyNode folder = NodeOf(view, parent.get())) {
        ForceInit(view, folder);
        node = NodeOf(view, item.AbsolutePIDL());
      }
    }
  }
  if (node == nullptr) return false;
  ForceInit(view, node);
  ManualCheck(view, node, type, state);
  // Only a folder tree carries a check on; only a file list shows it back.
  if (dynamic_cast<TLazyExplorerTreeview*>(&view) != nullptr) {
    ManualTristateTrack(view, dynamic_cast<TLazyExplorerListview*>(other), node, true, true, false, filter);
  }
  return true;
}

// ------------------------------------------------------------ synchroniser --

TLazyCheckboxesSynchronizer::~TLazyCheckboxesSynchronizer() {
  // The views may outlive us: they must not call into a freed synchroniser.
  SetupEvents(true);
}

void TLazyCheckboxesSynchronizer::PrepareView(TCustomLazyExplorerTree& view) {
  view.FreeNotification(this);
  view.SetFileObjects(foFolders | foNonFolders | foHidden);
  auto& options = view.TreeOptions();
  options.SetAutoOptions((options.AutoOptions() & ~uint32_t(toAutoTristateTracking)) | toAutoHideButtons);
  options.SetMiscOptions(options.MiscOptions() | toCheckSupport);
}

void TLazyCheckboxesSynchronizer::InstallOn(TCustomLazyExplorerTree& view) {
  if (!AutoSetupEvents) return;
  // New handlers change what the nodes are made of: rebuild them.
  const bool active = view.Active();
  if (active) view.SetActive(false);
  SetupEvents(false);  // a view already set up is left as it is
  if (active) view.SetActive(true);
}

void TLazyCheckboxesSynchronizer::SetLazyExplorerTreeview(TLazyExplorerTreeview* value) {
  if (value == tree_) return;
  if (tree_ != nullptr) {
    SetupTreeEvents(true);
    tree_->RemoveFreeNotification(this);
  }
  tree_ = value;
  if (tree_ == nullptr) return;
  PrepareView(*tree_);
  savedTreeInitNode_ = tree_->OnInitNode;
  savedTreeChecked_ = tree_->OnChecked;
  savedTreeExpanded_ = tree_->OnExpanded;
  savedTreeEnumFolder_ = tree_->OnEnumFolder;
  InstallOn(*tree_);
}

void TLazyCheckboxesSynchronizer::SetLazyExplorerListview(TLazyExplorerListview* value) {
  if (value == list_) return;
  if (list_ != nullptr) {
    SetupListEvents(true);
    list_->RemoveFreeNotification(this);
  }
  list_ = value;
  if (list_ == nullptr) return;
  PrepareView(*list_);
  savedListInitNode_ = list_->OnInitNode;
  savedListChecked_ = list_->OnChecked;
  savedListRootChange_ = list_->OnRootRebuild;
  InstallOn(*list_);
}

void TLazyCheckboxesSynchronizer::SetupEvents(bool restore) {
  SetupTreeEvents(restore);
  SetupListEvents(restore);
}

void TLazyCheckboxesSynchronizer::SetupTreeEvents(bool restore) {
  if (tree_ == nullptr || treeEventsInstalled_ != restore) return;
  if (restore) {
    tree_->OnInitNode = savedTreeInitNode_;
    tree_->OnChecked = savedTreeChecked_;
    tree_->OnExpanded = savedTreeExpanded_;
    tree_->OnEnumFolder = savedTreeEnumFolder_;
    treeEventsInstalled_ = false;
    return;
  }
  tree_->OnInitNode = [this](TLazyTreeModel& sender, PLazyNode parent, PLazyNode node, TLazyNodeInitStates& states) {
    TreeOnInitNode(sender, parent, node, states);
  };
  tree_->OnChecked = [this](TLazyTreeModel& sender, PLazyNode node) { TreeOnChecked(sender, node); };
  tree_->OnExpanded = [this](TLazyTreeModel& sender, PLazyNode node) { TreeOnExpanded(sender, node); };
  tree_->OnEnumFolder = [this](TCustomLazyExplorerTree& sender, TNamespace& item, bool& allow) {
    TreeOnEnumFolder(sender, item, allow);
  };
  treeEventsInstalled_ = true;
}

void TLazyCheckboxesSynchronizer::SetupListEvents(bool restore) {
  if (list_ == nullptr || listEventsInstalled_ != restore) return;
  if (restore) {
    list_->OnInitNode = savedListInitNode_;
    list_->OnChecked = savedListChecked_;
    list_->OnRootRebuild = savedListRootChange_;
    listEventsInstalled_ = false;
    return;
  }
  list_->OnInitNode = [this](TLazyTreeModel& sender, PLazyNode parent, PLazyNode node, TLazyNodeInitStates& states) {
    ListOnInitNode(sender, parent, node, states);
  };
  list_->OnChecked = [this](TLazyTreeModel& sender, PLazyNode node) { ListOnChecked(sender, node); };
  list_->OnRootRebuild = [this](TCustomLazyExplorerTree& sender) { ListOnRootChange(sender); };
  listEventsInstalled_ = true;
}

void TLazyCheckboxesSynchronizer::TreeOnInitNode(TLazyTreeModel& sender, PLazyNode parent, PLazyNode node,
                                                 TLazyNodeInitStates& initStates) {
  node->CheckType = ctTriStateCheckBox;
  TNamespace* item = nullptr;
  if (tree_ != nullptr && &sender == tree_ && tree_->ValidateNamespace(node, item)) {
    if (HideTreeFiles && IsFile(*item)) {
      // The node is linked and counted already: the tree takes it out of its
      // visible count, its parent's height and its position cache.
      tree_->SetNodeVisible(node, false);
      if (parent != nullptr) tree_->DetermineHiddenChildrenFlag(parent);
    } else if (IsFolder(*item, true, false, false) && node != tree_->RootNode() &&
               (tree_->FileObjects() & foNonFolders) && !item->GetHasSubFolder()) {
      // A folder holding files only: no expand button for hidden rows.
      node->States.Include(nsAllChildrenHidden);
    }
  }
  if (savedTreeInitNode_) savedTreeInitNode_(sender, parent, node, initStates);
}

void TLazyCheckboxesSynchronizer::TreeOnChecked(TLazyTreeModel& sender, PLazyNode node) {
  SyncCheckedNode(true, node);
  if (savedTreeChecked_) savedTreeChecked_(sender, node);
}

void TLazyCheckboxesSynchronizer::TreeOnExpanded(TLazyTreeModel& sender, PLazyNode node) {
  // Children read just now take the folder's settled state.
  if (tree_ != nullptr) ManualTristateTrack(*tree_, nullptr, node, false, true, false, OnPropagateCheck);
  if (savedTreeExpanded_) savedTreeExpanded_(sender, node);
}

void TLazyCheckboxesSynchronizer::TreeOnEnumFolder(TCustomLazyExplorerTree& sender, TNamespace& item, bool& allow) {
  allow = IsFile(item) || IsFolder(item, true, true, false);
  if (savedTreeEnumFolder_) savedTreeEnumFolder_(sender, item, allow);
}

void TLazyCheckboxesSynchronizer::ListOnInitNode(TLazyTreeModel& sender, PLazyNode parent, PLazyNode node,
                                                 TLazyNodeInitStates& initStates) {
  node->CheckType = ctTriStateCheckBox;
  if (savedListInitNode_) savedListInitNode_(sender, parent, node, initStates);
}

void TLazyCheckboxesSynchronizer::ListOnChecked(TLazyTreeModel& sender, PLazyNode node) {
  SyncCheckedNode(false, node);
  if (savedListChecked_) savedListChecked_(sender, node);
}

void TLazyCheckboxesSynchronizer::ListOnRootChange(TCustomLazyExplorerTree& sender) {
  UpdateListView();
  if (savedListRootChange_) savedListRootChange_(sender);
}

void TLazyCheckboxesSynchronizer::SyncCheckedNode(bool fromTree, PLazyNode node) {
  if (node == nullptr) return;
  TNamespace* item = nullptr;
  const auto state = static_cast<TCheckState>(node->CheckState);
  const auto type = static_cast<TCheckType>(node->CheckType);
  if (!fromTree) {
    // A row whose item has no node in the tree changes the row only.
    if (list_ != nullptr && tree_ != nullptr && list_->ValidateNamespace(node, item) &&
        TreeCheck(*tree_, list_, *item, state, type, OnPropagateCheck)) {
      // A check held back below (a folder that may not be ticked whole)
      // leaves the folder mixed in the tree: the row shows the same.
      PLazyNode mirrored = NodeOf(*tree_, item->AbsolutePIDL());
      if (mirrored != nullptr && mirrored->CheckState != node->CheckState)
        ManualCheck(*list_, node, type, static_cast<TCheckState>(mirrored->CheckState));
    }
    return;
  }
  if (tree_ == nullptr || !tree_->ValidateNamespace(node, item)) return;
  TreeCheck(*tree_, list_, *item, state, type, OnPropagateCheck);
  if (list_ != nullptr) {
    ManualCheck(item->AbsolutePIDL(), *list_->GetNewStorage(), type, state);
    UpdateListView();
  }
}

bool TLazyCheckboxesSynchronizer::CheckChangesNothing(TNamespace& item) {
  if (tree_ == nullptr || !OnPropagateCheck) return false;
  PLazyNode node = NodeOf(*tree_, item.AbsolutePIDL());
  if (node == nullptr || node->CheckState != csMixedNormal) return false;
  bool held = false;
  return CheckedAsFarAsAllowed(*tree_, node, OnPropagateCheck, held) && held;
}

void TLazyCheckboxesSynchronizer::UpdateListView() {
  if (tree_ == nullptr || list_ == nullptr) return;
  list_->BeginUpdate();
  ScopeGuard endUpdate([&] { list_->EndUpdate(); });
  // The folder shown is the parent of the first row's item.
  PLazyNode first = list_->RootNode()->FirstChild;
  TNamespace* firstItem = nullptr;
  if (first == nullptr || !list_->ValidateNamespace(first, firstItem)) return;
  TPidl folderPidl = TPIDLManager::CopyPIDL(firstItem->AbsolutePIDL());
  if (!folderPidl) return;
  TPIDLManager::StripLastID(folderPidl.get());
  PLazyNode folder = NodeOf(*tree_, folderPidl.get());
  if (folder == nullptr) return;
  // Content read just now takes the folder's settled state.
  if (ForceInit(*tree_, folder)) ManualTristateTrack(*tree_, list_, folder, false, true, false, OnPropagateCheck);

  const auto state = static_cast<TCheckState>(folder->CheckState);
  if (state != csUncheckedNormal && state != csCheckedNormal && state != csMixedNormal) return;
  TChildFinder treeChildren(*tree_, folder);
  for (PLazyNode row = first; row != nullptr; row = row->NextSibling) {
    // A row made later would take the list's own stored state over ours.
    if (!row->States.Contains(nsInitialized)) list_->InitNode(row);
    TNamespace* item = nullptr;
    if (!list_->ValidateNamespace(row, item)) break;
    if (state != csMixedNormal) {
      row->CheckState = state;
      list_->InvalidateNode(row);
    } else if (PLazyNode node = treeChildren.Find(item->AbsolutePIDL())) {
      ManualCheck(*list_, row, static_cast<TCheckType>(node->CheckType), static_cast<TCheckState>(node->CheckState));
    }
  }
}

void TLazyCheckboxesSynchronizer::SetCheckedFileNames(const std::vector<std::wstring>& names) {
  if (tree_ == nullptr) return;
  tree_->BeginUpdate();
  ScopeGuard endUpdate([&] { tree_->EndUpdate(); });
  // Unchecking the desktop clears every stored mark and every loaded node.
  if (PLazyNode desktop = tree_->GetFirstNoInit()) {
    desktop->CheckState = csUncheckedNormal;
    SyncCheckedNode(true, desktop);
  }
  for (const std::wstring& name : names) {
    if (PLazyNode node = FindNodeByFilename(*tree_, name)) {
      node->CheckState = csCheckedNormal;
      SyncCheckedNode(true, node);
    }
  }
}

void TLazyCheckboxesSynchronizer::SetCheckedFileNames(const std::vector<std::string>& names) {
  std::vector<std::wstring> wide;
  wide.reserve(names.size());
  for (const std::string& name : names) {
    if (!name.empty()) wide.push_back(PathFromAnsi(name));
  }
  SetCheckedFileNames(wide);
}

void TLazyCheckboxesSynchronizer::GetResolvedFileNames(std::vector<std::wstring>& names) {
  names.clear();
  if (tree_ == nullptr) return;
  for (const std::u16string& path : tree_->GetNewStorage()->GetResolvedFileNamesW()) names.push_back(ToWString(path));
}

void TLazyCheckboxesSynchronizer::GetResolvedFileNames(std::vector<std::string>& names) {
  std::vector<std::wstring> wide;
  GetResolvedFileNames(wide);
  names.clear();
  for (const std::wstring& path : wide) names.push_back(PathForAnsi(path));
}

void TLazyCheckboxesSynchronizer::GetCheckedFileNames(std::vector<std::wstring>& names) {
  names.clear();
  if (tree_ == nullptr) return;
  for (const std::u16string& path : tree_->GetNewStorage()->GetCheckedFileNamesW()) names.push_back(ToWString(path));
}

void TLazyCheckboxesSynchronizer::Notification(ui::TComponent* component, ui::TOperation operation) {
  ui::TComponent::Notification(component, operation);
  if (operation != ui::TOperation::Remove || component == nullptr) return;
  if (component == tree_) {
    tree_ = nullptr;
    treeEventsInstalled_ = false;
  }
  if (component == list_) {
    list_ = nullptr;
    listEventsInstalled_ = false;
  }
}

}  // namespace kv
