#include "shell/explorer_tree_win.h"

#include <algorithm>

#include "base/scope_guard.h"
#include "shell/column_settings_win.h"
#include "shell/icon_thread_win.h"
#include "shell/shell_utils_win.h"

namespace kv {

namespace {

std::unique_ptr<TNamespace> SpecialFolder(TRootFolder kind) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, static_cast<int>(kind), &list)) || !list) return nullptr;
  return std::make_unique<TNamespace>(TPidl(list), nullptr);
}

std::unique_ptr<TNamespace> DesktopItem() {
  return SpecialFolder(TRootFolder::rfDesktop);
}

// Whether some explorer tree shows the hourglass, and the cursor it replaced.
bool gWaitCursorShown = false;
HCURSOR gCursorBeforeWait = nullptr;

// The user's documents folder as the desktop names it.
constexpr wchar_t kMyDocumentsName[] = L"::{450d8fba-ad25-11d0-98a8-0800361b1103}";

std::string Utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

TCustomLazyExplorerTree::TCustomLazyExplorerTree()
    : TCustomLazyStringTree(std::make_unique<TLazyExplorerTreeOptions>()),
      explorerOptions_(static_cast<TCustomLazyExplorerTreeOptions*>(&GetOptions())) {
  // Nothing reaches the linked views until the tree is complete: Loaded, or
  // for a tree made in code its first update block, unlocks.
  LockChangeNotifier();
  columnMenu_ = std::make_unique<TColumnMenu>(*this);
  // Every drag over the tree is accepted unless the tree may change no file;
  // the shell's drop target of the folder decides the effect.
  OnDragOver = [](TBaseLazyTree& tree, TBaseLazyTree*, TShiftState, TDragState, POINT, TDropMode, DWORD&,
                  bool& accept) {
    accept = !(static_cast<TCustomLazyExplorerTree&>(tree).ExplorerMiscOptions() & toExplorerReadOnly);
  };
  SetDefaultNodeHeight(17);
  Header().SetHeight(17);
  SetDragHeight(250);
  SetDragWidth(150);
  viewManager_ = std::make_unique<TViewManager>();
  persistent_ = std::make_unique<TExplorerPersistent>();
  colors_ = std::make_unique<TExplorerColors>(this);
  contextMenuManager_ = std::make_unique<TContextMenuManager>(this);
  // The tree's own native and reference formats; the shell's come with its data object.
  ClipboardFormats().Add("Lazy Tree Data");
  ClipboardFormats().Add("Lazy Tree Reference");
  // The placeholders shown while the icon thread fetches the real icons.
  defaultFolderImage_ = DefaultSystemImageIndex(0);
  defaultDocumentImage_ = DefaultSystemImageIndex(2);
  rootNamespace_ = DesktopItem();
  RebuildRootNamespaceBeginUpdate();
  // The tree starts without an image list: the image options say so, so
  // that the defaults' toImages is a change that brings the list.
  explorerOptions_->image_ = 0;
  LoadDefaultOptions();
  --rebuildLock_;  // nothing to rebuild while inactive
  areaOffset_ = AllocateInternalDataArea(sizeof(TNodeArea));
}

void TCustomLazyExplorerTree::LoadDefaultOptions() {
  // Set outright: no root line or button (the root folder's node starts at the
  // left edge), no drop mark and no visual style unless a layout asks for them.
  GetOptions().SetPaintOptions(toShowButtons | toShowTreeLines | toUseBlendedImages | toGhostedIfUnfocused);
  SetExplorerFolderOptions(toFoldersExpandable);
  SetExplorerShellOptions(toRightAlignSizeColumn | toContextMenus);
  SetExplorerMiscOptions(toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toExecuteOnDblClk);
  SetExplorerImageOptions(toImages | toMarkCutAndCopy);
  SetExplorerSyncOptions(toCollapseTargetFirst | toExpandTarget | toSelectTarget);
  contextMenuManager_->SetEnabled((ExplorerShellOptions() & toContextMenus) != 0);
}

void TCustomLazyExplorerTree::SetExplorerImageOptions(uint32_t value) {
  const uint32_t before = explorerOptions_->image_;
  explorerOptions_->image_ = value;
  if (((before ^ value) & toThreadedImages) && HandleAllocated())
    SetThreadedImagesEnabled((value & toThreadedImages) != 0);
  // The shell's own lists (shared by the process and freed at its end) follow
  // the bit that changed; an assignment changing neither keeps the list.
  // Images turned on take the size already chosen: the icons' indexes are
  // asked for that size.
  const uint32_t changed = before ^ value;
  if (changed & toImages)
    SetImages(!(value & toImages) ? nullptr : (value & toLargeImages) ? &LargeSysImages() : &SmallSysImages());
  if (changed & toLargeImages) SetImages((value & toLargeImages) ? &LargeSysImages() : &SmallSysImages());
  // Every assignment builds the nodes again, with the icons of the new setting.
  if (!Loading() && !iconCacheRebuilding_) RebuildRootNamespace();
}

TCustomLazyExplorerTree::~TCustomLazyExplorerTree() {
  // Off the dispatcher first: a follower's or server's call would reach a tree
  // whose derived parts are already gone.
  UnregisterChangeLinks();
  SetThreadedImagesEnabled(false);
  SetChangeNotiferEnabled(false);
  DestroyNodes();
}

TCustomLazyExplorerTree::TNodeArea* TCustomLazyExplorerTree::Area(PLazyNode node) {
  if (!node || IsRoot(node)) return nullptr;
  return reinterpret_cast<TNodeArea*>(reinterpret_cast<uint8_t*>(node) + areaOffset_);
}

bool TCustomLazyExplorerTree::ValidateNamespace(PLazyNode node, TNamespace*& ns) {
  ns = nullptr;
  if (node && IsRoot(node)) ns = hiddenRootNamespace_.get();
  else if (TNodeArea* area = Area(node)) ns = area->Namespace;
  return ns != nullptr;
}

void TCustomLazyExplorerTree::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  ActivateTree(value);
}

void TCustomLazyExplorerTree::ActivateTree(bool value) {
  // A layout sets the root and options after Active: Loaded activates once all are in.
  if (Loading()) return;
  if (value && !activated_) {
    activated_ = true;
    if (rootNamespace_) RebuildRootNamespace();
  } else if (!value && activated_) {
    Clear();
    activated_ = false;
  }
}

void TCustomLazyExplorerTree::SetFileObjects(uint32_t value) {
  if (value == fileObjects_) return;
  fileObjects_ = value;
  RebuildRootNamespace();
}

void TCustomLazyExplorerTree::SetExplorerFolderOptions(uint32_t value) {
  const uint32_t before = explorerOptions_->folder_;
  if (value == before) return;
  explorerOptions_->folder_ = value;
  if (!Loading() &&
      ((value ^ before) & (toFoldersExpandable | toHideRootFolder | toForceHideRecycleBin | toForceShowMyDocuments)))
    RebuildRootNamespace();
}

bool TCustomLazyExplorerTree::DoRootChanging(TRootFolder kind, TNamespace& newRoot) {
  bool allow = true;
  if (OnRootChanging) OnRootChanging(*this, kind, newRoot, allow);
  return allow;
}

void TCustomLazyExplorerTree::DoRootChange() {
  if (OnRootChange) OnRootChange(*this);
}

// Takes over an allowed new root: what was shown goes, the tree is built on it.
void TCustomLazyExplorerTree::ReplaceRoot(std::unique_ptr<TNamespace> root, TRootFolder kind) {
  BeginUpdate();
  Clear();
  rootFolder_ = kind;
  if (kind != TRootFolder::rfCustom) rootFolderCustomPath_.clear();
  if (kind != TRootFolder::rfCustomPIDL) rootFolderCustomPIDL_.reset();
  hiddenRootNamespace_.reset();
  rootNamespace_ = std::move(root);
  EndUpdate();
  if (rootNamespace_) RebuildRootNamespace();
  DoRootChange();
}

void TCustomLazyExplorerTree::SetRootFolderCustomPIDL(LPCITEMIDLIST pidl) { ApplyRootFolderCustomPIDL(pidl, false); }

void TCustomLazyExplorerTree::RefreshRootFolderCustomPIDL(LPCITEMIDLIST pidl) { ApplyRootFolderCustomPIDL(pidl, true); }

void TCustomLazyExplorerTree::ApplyRootFolderCustomPIDL(LPCITEMIDLIST pidl, bool evenWhenEqual) {
  if (!pidl) return;
  TPidl copy = TPIDLManager::CopyPIDL(pidl), rootCopy = TPIDLManager::CopyPIDL(pidl);
  if (!copy || !rootCopy) return;
  auto pending = std::make_unique<TNamespace>(std::move(rootCopy), nullptr);
  if (!DoRootChanging(TRootFolder::rfCustomPIDL, *pending)) return;
  const bool same = rootFolder_ == TRootFolder::rfCustomPIDL && rootFolderCustomPIDL_ &&
                    ILIsEqualSafe(rootFolderCustomPIDL_.get(), pidl);
  if (same && !evenWhenEqual) return;
  rootFolderCustomPIDL_ = std::move(copy);  // before the rebuild, which tells the followers
  ReplaceRoot(std::move(pending), TRootFolder::rfCustomPIDL);
}

void TCustomLazyExplorerTree::SetRootFolder(TRootFolder kind) {
  // The custom kinds rebuild on what is stored (nothing stored: nothing to
  // show): without a pending root made by their setters the tree would be emptied.
  if (kind == TRootFolder::rfCustomPIDL) {
    if (rootFolderCustomPIDL_)
      RefreshRootFolderCustomPIDL(TPidl(TPIDLManager::CopyPIDL(rootFolderCustomPIDL_.get())).get());
    return;
  }
  if (kind == TRootFolder::rfCustom) {
    if (!rootFolderCustomPath_.empty()) SetRootFolderCustomPath(std::wstring(rootFolderCustomPath_));
    return;
  }
  std::unique_ptr<TNamespace> pending = SpecialFolder(kind);
  if (pending && !DoRootChanging(kind, *pending)) return;
  ReplaceRoot(std::move(pending), kind);
}

void TCustomLazyExplorerTree::SetRootFolderCustomPath(const std::wstring& path) {
  std::wstring p = path;
  if (!p.empty() && p.back() != L'\\') p += L'\\';
  DWORD attributes = GetFileAttributesW(p.c_str());
  if (p.empty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  // A folder the shell cannot parse (a \\?\ path, say) is refused like a
  // missing one: layouts and restores set roots and must not fail on one.
  TPidl list = PathToPIDL(p);
  if (!list) return;
  auto pending = std::make_unique<TNamespace>(std::move(list), nullptr);
  if (!DoRootChanging(TRootFolder::rfCustom, *pending)) return;
  rootFolderCustomPath_ = p;
  ReplaceRoot(std::move(pending), TRootFolder::rfCustom);
}

void TCustomLazyExplorerTree::RebuildRootNamespaceEndUpdate() {
  if (rebuildLock_ > 0 && --rebuildLock_ == 0) RebuildRootNamespace();
}

void TCustomLazyExplorerTree::RebuildRootNamespace() {
  if (rebuildLock_ > 0 || Loading() || !rootNamespace_ || !active_) return;
  BeginUpdate();
  // The requests go before their nodes: each node then has none to withdraw.
  WithdrawIconRequests();
  Clear();
  if (!headerAfterRows_) RebuildHeader(rootNamespace_.get());
  hiddenRootNamespace_.reset();
  if (ExplorerFolderOptions() & toHideRootFolder) {
    hiddenRootNamespace_ = rootNamespace_->Clone();
    ExpandNamespaceFolder(RootNode());
  } else {
    SetRootNodeCount(1);
  }
  EndUpdate();
  if (PLazyNode first = GetFirst()) SetFocusedNode(first);
  ChangeLinkDispatch();
  DoRootRebuild();
}

void TCustomLazyExplorerTree::DoRootRebuild() {
  if (OnRootRebuild) OnRootRebuild(*this);
}

bool TCustomLazyExplorerTree::DoEnumFolder(TNamespace& ns) {
  bool allow = true;
  if (OnEnumFolder) OnEnumFolder(*this, ns, allow);
  return allow;
}

void TCustomLazyExplorerTree::SetNodeDataSize(int size) {
  const bool wasActive = active_;
  SetActive(false);
  TCustomLazyStringTree::SetNodeDataSize(size);
  SetActive(wasActive);
}

void TCustomLazyExplorerTree::SetFileSort(TFileSort value) {
  if (value == sortHelper_.FileSort) return;
  sortHelper_.FileSort = value;
  if (HeaderSortColumn() == 2) SortTree(2, HeaderSortDirection(), false);
}

PLazyNode TCustomLazyExplorerTree::AddNamespaceNode(PLazyNode parent, std::unique_ptr<TNamespace> ns) {
  PLazyNode child = AddChild(parent && !IsRoot(parent) ? parent : nullptr);
  if (!child) return nullptr;
  Area(child)->Namespace = ns.release();  // freed in DoFreeNode
  Area(child)->ColumnManager = nullptr;
  return child;
}

PLazyNode TCustomLazyExplorerTree::AddCustomNode(PLazyNode parent, std::unique_ptr<TNamespace> ns,
                                                 TCheckType checkType, bool setCheck) {
  if (!ns) return nullptr;
  TNamespace& item = *ns;
  PLazyNode child = AddNamespaceNode(parent, std::move(ns));
  if (!child) return nullptr;
  if (setCheck) {
    child->CheckType = checkType;
    child->CheckState = csUncheckedNormal;
  }
  DoNamespaceStructureChange(child, item, nscAdd);
  return child;
}

void TCustomLazyExplorerTree::DoNamespaceStructureChange(PLazyNode node, TNamespace& ns,
                                                         TNamespaceStructureChange change) {
  if (OnNamespaceStructureChange) OnNamespaceStructureChange(*this, node, ns, change);
}

void TCustomLazyExplorerTree::DoCustomNamespace(PLazyNode node) {
  if (ExplorerFolderOptions() & toForceShowMyDocuments) AddMyDocumentsFolder(node, true);
  if (OnCustomNamespace) OnCustomNamespace(*this, node);
}

void TCustomLazyExplorerTree::AddMyDocumentsFolder(PLazyNode node, bool onlyUnderDesktop) {
  TNamespace* ns = nullptr;
  if (!ValidateNamespace(node, ns) || (onlyUnderDesktop && !ns->IsDesktop()) || !ns->GetFolder()) return;
  TNamespace* desktop = DesktopFolder();
  ComPtr<IShellFolder> folder = desktop ? desktop->GetShellFolder() : ComPtr<IShellFolder>();
  if (!folder) return;
  std::wstring name = kMyDocumentsName;
  LPITEMIDLIST found = nullptr;
  if (FAILED(folder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &found, nullptr)) || !found) return;
  TPidl list(found);
  for (PLazyNode child = node->ChildCount ? node->FirstChild : nullptr; child; child = child->NextSibling) {
    TNamespace* childNs = nullptr;
    if (ValidateNamespace(child, childNs) && ILIsEqualSafe(childNs->AbsolutePIDL(), list.get())) return;
  }
  const bool checks = HasOption(toCheckSupport);
  AddCustomNode(node, std::make_unique<TNamespace>(std::move(list), nullptr), ctTriStateCheckBox, checks);
}

bool TCustomLazyExplorerTree::ValidateColumnManager(PLazyNode node, TColumnManager*& manager) {
  TNodeArea* area = Area(node);
  manager = area ? area->ColumnManager : nullptr;
  return manager != nullptr;
}

void TCustomLazyExplorerTree::InvalidateChildNamespaces(PLazyNode node, bool reload) {
  if (!node) return;
  for (PLazyNode child = node->ChildCount ? node->FirstChild : nullptr; child; child = child->NextSibling) {
    TNamespace* ns = nullptr;
    if (ValidateNamespace(child, ns)) ns->InvalidateNamespace(reload);
    InvalidateNode(child);
  }
}

void TCustomLazyExplorerTree::DeleteNode(PLazyNode node, bool reindex) {
  if (!node || IsRoot(node)) return;
  if (node == FocusedNode()) {
    PLazyNode next = node->NextSibling;
    if (!next && node->Parent && !IsRoot(node->Parent)) next = node->Parent;
    SetFocusedNode(next);
    if (next) SetSelected(next, true);
  }
  TCustomLazyStringTree::DeleteNode(node, reindex);
}

void TCustomLazyExplorerTree::DoInitNode(PLazyNode parent, PLazyNode node, TLazyNodeInitStates& initStates) {
  TNodeArea* area = Area(node);
  const bool topLevel = parent == nullptr || IsRoot(parent);
  if (topLevel && RootNodeCount() < 2 && !(ExplorerFolderOptions() & toHideRootFolder)) {
    std::unique_ptr<TNamespace>(area->Namespace).reset();
    area->Namespace = (rootNamespace_ ? rootNamespace_->Clone() : DesktopItem()).release();
    std::unique_ptr<TColumnManager>(area->ColumnManager).reset();
    area->ColumnManager = std::make_unique<TColumnManager>().release();  // freed in DoFreeNode
    initStates |= nisExpanded;
  }
  if (area->Namespace && ItemHasChildren(*area->Namespace, topLevel ? nullptr : parent)) initStates |= nisHasChildren;
  TCustomLazyStringTree::DoInitNode(parent, node, initStates);
  if (!HasOption(toCheckSupport) || !area->Namespace) return;
  auto bytes = StorageBytes(area->Namespace->AbsolutePIDL());
  const bool tracking = HasOption(toAutoTristateTracking);
  if (tracking && !topLevel && GetCheckState(parent) == csCheckedNormal) {
    WriteCheckState(node, csCheckedNormal);
    if (TNodeStorage* stored = GetNewStorage()->Store(bytes, kStoreCheck)) {
      stored->Storage.CheckState = node->CheckState;
      stored->Storage.CheckType = node->CheckType;
    }
    return;
  }
  if (TNodeStorage* stored = GetNewStorage()->Find(bytes, kStoreCheck)) {
    node->CheckType = stored->Storage.CheckType;
    node->CheckState = stored->Storage.CheckState;
    // A stored check below an unchecked folder shows on the way down to it,
    // up to and including the hidden root.
    PLazyNode above = topLevel ? RootNode() : parent;
    if (tracking && node->CheckState != csUncheckedNormal && above->CheckState == csUncheckedNormal) {
      for (PLazyNode up = parent; up && !IsRoot(up); up = up->Parent) WriteCheckState(up, csMixedNormal);
      RootNode()->CheckState = csMixedNormal;
    }
  }
}

bool TCustomLazyExplorerTree::ItemHasChildren(TNamespace& ns, PLazyNode parent) {
  DWORD flags = 0;
  if (fileObjects_ & foFolders) flags |= SHCONTF_FOLDERS;
  if (fileObjects_ & foNonFolders) flags |= SHCONTF_NONFOLDERS;
  if (fileObjects_ & foHidden) flags |= SHCONTF_INCLUDEHIDDEN;
  bool candidate =
      (ExplorerFolderOptions() & toFoldersExpandable) || (!parent && !(ExplorerFolderOptions() & toHideRootFolder));
  if (!candidate || ns.IsRecycleBin()) return candidate;
  if (!ns.GetFolder()) return false;  // nothing to enumerate in a file
  if (ns.GetHasSubFolder()) return true;
  if ((fileObjects_ & foFolders) && ns.SubFoldersEx(flags & ~DWORD(SHCONTF_NONFOLDERS))) return true;
  return (fileObjects_ & foNonFolders) && ns.SubItemsEx(flags);
}

bool TCustomLazyExplorerTree::OkToExpandNode(PLazyNode node) {
  TNamespace* ns = nullptr;
  bool ok = false;
  // Without expandable folders only the root folder's node (or the hidden root) opens.
  if ((ExplorerFolderOptions() & toFoldersExpandable) || IsRoot(node) || node == GetFirstNoInit())
    ok = ValidateNamespace(node, ns);
  if (ok) {
    std::wstring address = ns->GetNameParseAddressInFolder();
    if (address.size() == 3 && address[1] == L':' && address[2] == L'\\') {
      UINT old = SetErrorMode(SEM_FAILCRITICALERRORS);
      ULARGE_INTEGER free{};
      ok = GetDiskFreeSpaceExW(address.c_str(), &free, nullptr, nullptr) != 0;
      SetErrorMode(old);
    }
  }
  if (!ok) {
    SetHasChildren(node, false);
    if (!IsRoot(node)) InvalidateNode(node);
  }
  return ok;
}

uint32_t TCustomLazyExplorerTree::ExpandNamespaceFolder(PLazyNode node) {
  if (!OkToExpandNode(node)) return 0;
  TNamespace* ns = nullptr;
  BeginUpdate();
  if (node->ChildCount == 0 && ValidateNamespace(node, ns)) {
    ns->EnumerateFolder(fileObjects_ & foFolders, fileObjects_ & foNonFolders, fileObjects_ & foHidden,
                        [&](TPidl child, TNamespace& parent, bool&) {
                          // Children use their folder node's bound folder; the node outlives them.
                          auto item = std::make_unique<TNamespace>(std::move(child), &parent);
                          if ((ExplorerFolderOptions() & toForceHideRecycleBin) && item->IsRecycleBin()) return false;
                          if (!DoEnumFolder(*item)) return false;
                          // Folder items keep their column widths' memory with them.
                          if (PLazyNode added = AddNamespaceNode(node, std::move(item)))
                            Area(added)->ColumnManager = std::make_unique<TColumnManager>().release();
                          return true;
                        });
    DoCustomNamespace(node);
    // In the order the header shows (the folder's own order without a sort column).
    if (node->ChildCount > 0) Sort(node, HeaderSortColumn(), HeaderSortDirection(), false);
  }
  EndUpdate();
  return node->ChildCount;
}

void TCustomLazyExplorerTree::DoInitChildren(PLazyNode node, std::uint32_t& childCount) {
  childCount = ExpandNamespaceFolder(node);
  // With check boxes the new children show their stored states at once.
  if (HasOption(toCheckSupport))
    for (PLazyNode child = node->FirstChild; child; child = child->NextSibling) InitNode(child);
  TCustomLazyStringTree::DoInitChildren(node, childCount);
}

bool TCustomLazyExplorerTree::DoExpanding(PLazyNode node) {
  // Without browsing into folders the user opens one only by its button.
  if (!(ExplorerMiscOptions() & toBrowseExecuteFolder) && userInput_ && !mouseOnExpandButton_ &&
      node != GetFirstNoInit())
    return false;
  return TCustomLazyStringTree::DoExpanding(node);
}

bool TCustomLazyExplorerTree::DoCollapsing(PLazyNode node) {
  if (!TCustomLazyStringTree::DoCollapsing(node)) return false;
  CollapseNamespaceFolder(node);
  return true;
}

void TCustomLazyExplorerTree::CollapseNamespaceFolder(PLazyNode node) {
  PLazyNode current = FocusedNode();
  if (!current) current = GetFirstSelected();
  if (!node || !current || current == node || !HasAsParent(current, node)) return;
  SetFocusedNode(nullptr);
  ClearSelection();
  SetSelected(node, true);
  SetFocusedNode(node);
}

void TCustomLazyExplorerTree::DoFreeNode(PLazyNode node) {
  WithdrawIconRequest(node);
  contextMenuManager_->ForgetNode(node);
  // The folder an incoming drag stands over goes: its drop target hears
  // DragLeave now, and the next drag step enters whatever is under the mouse.
  if (dropTargetSet_ && dropTarget_ == node) {
    TNamespace* ns = nullptr;
    if (ValidateNamespace(node, ns)) ns->DragLeave();
    dropTarget_ = nullptr;
    dropTargetSet_ = false;
  }
  if (TNodeArea* area = Area(node)) {
    std::unique_ptr<TNamespace>(area->Namespace).reset();
    area->Namespace = nullptr;
    std::unique_ptr<TColumnManager>(area->ColumnManager).reset();
    area->ColumnManager = nullptr;
  }
  TCustomLazyStringTree::DoFreeNode(node);
}

int TCustomLazyExplorerTree::DoCompare(PLazyNode node1, PLazyNode node2, TColumnIndex column) {
  if (ExplorerMiscOptions() & toUserSort) return TCustomLazyStringTree::DoCompare(node1, node2, column);
  TNamespace *a = nullptr, *b = nullptr;
  if (!ValidateNamespace(node1, a) || !ValidateNamespace(node2, b)) return 0;
  if (column >= 0 && Header().Columns().IsValidColumn(column)) return CompareByColumn(node1, node2, *a, *b, column);
  // No column (or one the header does not have): the parent folder's own order.
  return sortHelper_.CompareIDSort(0, *a, *b);
}

void TCustomLazyExplorerTree::DoChecked(PLazyNode node) {
  TNamespace* ns = nullptr;
  if (ValidateNamespace(node, ns)) {
    auto bytes = StorageBytes(ns->AbsolutePIDL());
    if (node->CheckState != csUncheckedNormal) {
      if (TNodeStorage* stored = GetNewStorage()->Store(bytes, kStoreCheck)) {
        stored->Storage.CheckState = node->CheckState;
        stored->Storage.CheckType = node->CheckType;
      }
    } else {
      GetNewStorage()->Delete(bytes, kStoreCheck, false, false);
    }
  }
  TCustomLazyStringTree::DoChecked(node);
}

void TCustomLazyExplorerTree::DoChange(PLazyNode node) {
  // A right click selects for the context menu only: linked views stay where
  // they are, also for the clearing of the former selection (no node).
  if (contextMenuManager_->RightButtonDown()) return;
  TCustomLazyStringTree::DoChange(node);
  ChangeLinkDispatch();
}

std::string TCustomLazyExplorerTree::ItemText(PLazyNode node) {
  TNamespace* ns = nullptr;
  return ValidateNamespace(node, ns) ? Utf8(ns->GetNameInFolder()) : std::string();
}

void TCustomLazyExplorerTree::DoGetImageIndex(PLazyNode node, TLTImageKind kind, TColumnIndex column,
                                              bool& ghosted, int& index) {
  index = ShellImageIndex(node, kind, column, ghosted);
}

int TCustomLazyExplorerTree::ShellImageIndex(PLazyNode node, TLTImageKind kind, TColumnIndex column,
                                             bool& ghosted) {
  const auto inherited = [&] {
    int index = -1;
    TCustomLazyStringTree::DoGetImageIndex(node, kind, column, ghosted, index);
    return index;
  };
  TNamespace* ns = nullptr;
  const bool shellImage = kind == TLTImageKind::ikNormal || kind == TLTImageKind::ikSelected ||
                          kind == TLTImageKind::ikOverlay;
  // The item's icon belongs to the main column only.
  const bool mainColumn = column == kNoColumn || !HeaderUsesColumns() || column == HeaderMainColumn();
  if (!(ExplorerImageOptions() & toImages) || !shellImage || !mainColumn || !ValidateNamespace(node, ns))
    return inherited();
  const bool loading = threadedImagesEnabled_ && !ns->ThreadedIconLoaded() && HandleAllocated();
  if (kind == TLTImageKind::ikOverlay) {
    if (loading) return -1;  // nothing over the placeholder
    // The shell's overlay service decides where there is one; else the
    // system list's shortcut arrow (overlay 2) and shared hand (overlay 1).
    if (!(ExplorerImageOptions() & toHideOverlay) && ns->Parent() && ns->Parent()->GetShellIconOverlayInterface())
      return ns->GetOverlayIndex() - 1;
    if (ns->GetLink()) return 1;
    if (ns->GetShare()) return 0;
    return inherited();
  }
  if (loading) {
    if (!ns->ThreadIconLoading()) {
      ns->SetThreadIconLoading(true);
      // The answer counts only for this request: a node freed while its
      // answer was on the way may come back at the same address.
      iconRequests_[node] = ImageThreadManager().AddNewItem(this, HandleIfAllocated(), WM_LTSETICONINDEX,
                                                            ns->AbsolutePIDL(),
                                                            (ExplorerImageOptions() & toLargeImages) != 0, node, 0);
    }
    return PlaceholderImage(*ns);
  }
  ghosted = ns->GetGhosted() && !(ExplorerFolderOptions() & toDisableGhostedFolders);
  // An expanded folder shows its open form; a selected one also with toShowOpenIconOnSelect.
  const bool open =
      Expanded(node) || (kind == TLTImageKind::ikSelected && (ExplorerFolderOptions() & toShowOpenIconOnSelect));
  // The small size: both system lists share one index space.
  return ns->GetIconIndex(open, 0, true);
}

PLazyNode TCustomLazyExplorerTree::StartNode() {
  return (ExplorerFolderOptions() & toHideRootFolder) ? RootNode() : GetFirst();
}

PLazyNode TCustomLazyExplorerTree::FindNode(const std::wstring& path) {
  TPidl list = PathToPIDL(path);
  return list ? FindNodeByPIDL(list.get()) : nullptr;
}

namespace {

// Whether the list lies below the network neighbourhood, whose items are not enumerated.
bool UnderNetwork(LPCITEMIDLIST pidl) {
  TNamespace* network = NetworkNeighborHoodFolder();
  return network && ILIsParentSafe(network->AbsolutePIDL(), pidl, false);
}

}  // namespace

PLazyNode TCustomLazyExplorerTree::WalkPIDLToNode(LPCITEMIDLIST pidl, bool select, bool reinitChildren,
                                                  bool expand) {
  if (!pidl) return nullptr;
  PLazyNode node = StartNode();
  TNamespace* ns = nullptr;
  if (!node || !ValidateNamespace(node, ns)) return nullptr;
  if (!ILIsEqualSafe(ns->AbsolutePIDL(), pidl)) {
    if (!ILIsParentSafe(ns->AbsolutePIDL(), pidl, false)) return nullptr;
    TPidl work = TPIDLManager::CopyPIDL(pidl);
    if (!work) return nullptr;
    // Walk one item further than the start item per level.
    size_t depth = IDListCount(ns->AbsolutePIDL());
    size_t total = IDListCount(work.get());
    for (size_t level = depth + 1; node && level <= total; ++level) {
      TPidl cut = TPIDLManager::CopyPIDL(work.get());
      while (IDListCount(cut.get()) > level) TPIDLManager::StripLastID(cut.get());
      if (expand) {
        if (IsRoot(node)) {
          // The hidden root does not expand: its folder is read directly.
          if (node->ChildCount == 0) ExpandNamespaceFolder(node);
        } else if (reinitChildren) {
          ReinitChildren(node, false);
        } else {
          SetExpanded(node, true);
        }
      }
      PLazyNode found = nullptr;
      // Children that exist only: never reads a folder that was not expanded.
      // The child is the one the folder calls equal to the level's item; the
      // same bytes are looked for first, so that a hit costs no shell call.
      PLazyNode end = nullptr;  // a node of the user's own (no item) ends the walk
      for (int pass = 0; pass < 2 && !found; ++pass) {
        for (PLazyNode child = node->ChildCount ? node->FirstChild : nullptr; child; child = child->NextSibling) {
          TNamespace* childNs = nullptr;
          if (!ValidateNamespace(child, childNs)) {
            end = child;
            break;
          }
          if (pass == 0 ? ILIsEqualSafe(childNs->AbsolutePIDL(), cut.get())
                        : childNs->ComparePIDL(cut.get(), true, 0) == 0) {
            found = child;
            break;
          }
        }
      }
      // Items under the network neighbourhood are not enumerated: a node is made for them.
      if (!found && !end && UnderNetwork(cut.get()))
        found = AddCustomNode(node, std::make_unique<TNamespace>(std::move(cut), nullptr), ctNone, false);
      node = found;
    }
  }
  if (select && node) {
    ClearSelection();
    SetSelected(node, true);
    SetTopNode(node);
    SetFocusedNode(node);
  }
  return node;
}

PLazyNode TCustomLazyExplorerTree::InternalWalkPIDLToNode(LPCITEMIDLIST pidl) {
  PLazyNode node = StartNode();
  TNamespace* ns = nullptr;
  if (!pidl || !node || !ValidateNamespace(node, ns)) return nullptr;
  if (ILIsEqualSafe(ns->AbsolutePIDL(), pidl)) return node;
  if (!ILIsParentSafe(ns->AbsolutePIDL(), pidl, false)) return nullptr;
  TPidl cut = TPIDLManager::CopyPIDL(pidl);
  if (!cut) return nullptr;
  const size_t total = IDListCount(pidl);
  for (size_t level = IDListCount(ns->AbsolutePIDL()) + 1; node && level <= total; ++level) {
    TPidl head = TPIDLManager::CopyPIDL(cut.get());
    while (IDListCount(head.get()) > level) TPIDLManager::StripLastID(head.get());
    PLazyNode found = nullptr;
    for (PLazyNode child = node->ChildCount ? node->FirstChild : nullptr; child && !found;
         child = child->NextSibling) {
      TNamespace* childNs = nullptr;
      if (ValidateNamespace(child, childNs) && ILIsEqualSafe(childNs->AbsolutePIDL(), head.get())) found = child;
    }
    if (!found && UnderNetwork(head.get()))
      found = AddCustomNode(node, std::make_unique<TNamespace>(std::move(head), nullptr), ctNone, false);
    node = found;
  }
  return node;
}

bool TCustomLazyExplorerTree::BrowseToByPIDL(LPCITEMIDLIST pidl, bool expand, bool collapseFirst, bool scrollTop,
                                             bool select) {
  if (!OkToBrowseTo(pidl)) return false;
  browsing_ = true;
  const ScopeGuard browsed([this] { browsing_ = false; });
  LockChangeNotifier();
  BeginUpdate();
  PLazyNode node = WalkPIDLToNode(pidl, false, false, true);
  if (node) {
    if (collapseFirst) FullCollapse();
    SetExpanded(node, expand);
    if (scrollTop) SetTopNode(node);
    if (select) {
      ClearSelection();
      SetFocusedNode(nullptr);
      SetSelected(node, true);
      SetFocusedNode(node);
    }
  }
  EndUpdate();
  if (node) ScrollIntoView(node, false, (ExplorerMiscOptions() & toAutoScrollHorz) != 0);
  return node != nullptr;
}

std::wstring TCustomLazyExplorerTree::GetSelectedPath() {
  TNamespace* ns = nullptr;
  PLazyNode node = GetFirstSelected();
  if (!ValidateNamespace(node, ns) || !ns->GetFileSystem()) return {};
  return ns->GetNameForParsing();
}

void TCustomLazyExplorerTree::InitAllChildren(PLazyNode node) {
  PLazyNode stop = node ? node->NextSibling : nullptr;
  for (PLazyNode n = node ? node->FirstChild : GetFirstNoInit(); n && n != stop; n = GetNextNoInit(n)) {
    if (node && !HasAsParent(n, node)) break;
    if (!n->States.Contains(nsInitialized)) InitNode(n);
  }
}

void TCustomLazyExplorerTree::RefreshTree(bool restoreTopNode) {
  WaitCursor(true);
  BeginUpdate();
  // The hourglass goes before the update ends, whose end tells the followers.
  const ScopeGuard done([this] {
    WaitCursor(false);
    EndUpdate();
  });
  persistent_->SaveTree(*this, true, true);
  persistent_->RestoreTree(*this, true, restoreTopNode, true);
}

void TCustomLazyExplorerTree::RefreshNode(PLazyNode node) {
  TNamespace* ns = nullptr;
  if (!ValidateNamespace(node, ns)) return;
  BeginUpdate();
  persistent_->SaveTreeBranch(*this, node, true);
  if (node->ChildCount > 0) DeleteChildren(node, false);
  ns->InvalidateCache();
  if (IsRoot(node)) {
    // The hidden root never expands: its folder is read again here.
    ExpandNamespaceFolder(node);
  } else {
    SetHasChildren(node, ItemHasChildren(*ns, node->Parent && !IsRoot(node->Parent) ? node->Parent : nullptr));
  }
  persistent_->RestoreTreeBranch(*this, node, true);
  if (!IsRoot(node)) InvalidateNode(node);
  EndUpdate();
}

void TCustomLazyExplorerTree::LockChangeNotifier() {
  // Each lock counts a dispatch: the unlock brings the linked views in step once.
  dispatchLocked_ = true;
  ++dispatchLockCount_;
}

void TCustomLazyExplorerTree::UnlockChangeNotifer() {
  if (Loading()) return;
  dispatchLocked_ = false;
  if (dispatchLockCount_ > 0) {
    dispatchLockCount_ = 0;
    ChangeLinkDispatch();
  }
}

void TCustomLazyExplorerTree::WaitCursor(bool show) {
  if (disableWaitCursors_) return;
  if (show) {
    if (waitCursorDepth_ == 0 && !gWaitCursorShown) {
      gCursorBeforeWait = ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // the hourglass
      gWaitCursorShown = true;
    }
    ++waitCursorDepth_;
  } else if (waitCursorDepth_ > 0 && --waitCursorDepth_ == 0 && gWaitCursorShown) {
    ::SetCursor(gCursorBeforeWait);
    gWaitCursorShown = false;
  }
}

void TCustomLazyExplorerTree::SetDisableWaitCursors(bool value) {
  if (value == disableWaitCursors_) return;
  disableWaitCursors_ = value;
  if (waitCursorDepth_ > 0 && gWaitCursorShown) {
    ::SetCursor(gCursorBeforeWait);
    gWaitCursorShown = false;
  }
  waitCursorDepth_ = 0;
}

void TCustomLazyExplorerTree::DoUpdating(TLTUpdateState state) {
  // The outermost update shows the hourglass and holds the followers until it ends.
  if (state == TLTUpdateState::usBegin) {
    WaitCursor(true);
    LockChangeNotifier();
  } else if (state == TLTUpdateState::usEnd) {
    WaitCursor(false);
    UnlockChangeNotifer();
  }
  TCustomLazyStringTree::DoUpdating(state);
}

TLazyExplorerTreeview::~TLazyExplorerTreeview() {
  UnregisterChangeLinks();
  DestroyNodes();
}

TLazyExplorerTreeview::TLazyExplorerTreeview() { LoadViewDefaults(); }

void TLazyExplorerTreeview::LoadDefaultOptions() {
  RebuildRootNamespaceBeginUpdate();
  TLazyExplorerViews::LoadDefaultOptions();
  LoadViewDefaults();
  RebuildRootNamespaceEndUpdate();
}

void TLazyExplorerTreeview::LoadViewDefaults() {
  // The working defaults of a folder tree; a layout or its owner sets its own on top.
  SetFileObjects(foFolders | foHidden);
  auto& options = TreeOptions();
  options.SetAutoOptions(toAutoScroll);
  options.SetSelectionOptions(toMultiSelect | toSiblingSelectConstraint);
  options.SetMiscOptions(toAcceptOLEDrop | toEditable | toToggleOnDblClick);
  options.SetPaintOptions(toShowButtons | toShowTreeLines | toUseBlendedImages | toGhostedIfUnfocused);
  SetExplorerFolderOptions(toFoldersExpandable);
  SetExplorerShellOptions(toContextMenus);
  SetExplorerMiscOptions(toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toChangeNotifierThread |
                         toRemoveContextMenuShortCut);
  SetExplorerImageOptions(toImages | toThreadedImages | toMarkCutAndCopy);
  SetExplorerSyncOptions(toCollapseTargetFirst | toExpandTarget | toSelectTarget);
}

}  // namespace kv
