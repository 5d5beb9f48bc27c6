#pragma once
// The explorer tree: a string tree whose every node stands for one shell item.
// Folders are read when their node first expands; check marks live in the
// tree's node storage, so they outlive collapsing, re-reading and refreshing.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "shell/change_dispatch_win.h"
#include "shell/change_events.h"
#include "shell/context_menu_win.h"
#include "shell/explorer_persistent_win.h"
#include "shell/id_list_win.h"
#include "shell/namespace_win.h"
#include "shell/node_storage_win.h"
#include "shell/shell_columns.h"
#include "shell/shell_link_win.h"
#include "treeview/lazy_trees_win.h"

namespace kv {

struct TImageThreadItem;
class TCustomLazyExplorerCombobox;
class TColumnMenu;
class TCustomLazyExplorerTree;

// How the size column shows a file's size.
enum TFileSizeFormat : uint8_t { fsfExplorer, fsfActual, fsfDiskUsage };

// A header column that knows which of the standard details it shows.
class TExplorerColumn : public TLazyTreeColumn {
 public:
  // "Name", 200 pixels wide.
  explicit TExplorerColumn(TLazyTreeColumns& owner);
  TColumnDetails ColumnDetails() const { return columnDetails_; }
  // Under shell columns every column is cdCustom; otherwise the kind brings
  // its caption and (unless the tree is loading) its width.
  void SetColumnDetails(TColumnDetails value);
  void Assign(const TLazyTreeColumn& source) override;

 private:
  TCustomLazyExplorerTree* Tree() const;
  TColumnDetails columnDetails_ = cdFileName;
};

// The explorer tree's header: its columns are TExplorerColumn; shell columns
// are made again for every folder and so never written with the header.
class TExplorerHeader : public TLTHeader {
 public:
  explicit TExplorerHeader(TCustomLazyExplorerTree& tree);
  TCustomLazyExplorerTree& ExplorerTree() const { return explorerTree_; }
  bool CanWriteColumns() const override;
  std::unique_ptr<TLazyTreeColumn> CreateColumn(TLazyTreeColumns& owner) override;

 private:
  TCustomLazyExplorerTree& explorerTree_;
};

enum TFileObject : uint32_t { foFolders = 1u << 0, foNonFolders = 1u << 1, foHidden = 1u << 2 };

enum TExplorerFolderOption : uint32_t {
  toFoldersExpandable = 1u << 0, toHideRootFolder = 1u << 1, toForceHideRecycleBin = 1u << 2,
  toForceShowMyDocuments = 1u << 3, toShowOpenIconOnSelect = 1u << 4, toDisableGhostedFolders = 1u << 5,
  toNoUseExplorerColorsProp = 1u << 6,
};
enum TExplorerMiscOption : uint32_t {
  toBrowseExecuteFolder = 1u << 0, toBrowseExecuteFolderShortcut = 1u << 1, toChangeNotifierThread = 1u << 2,
  toListviewLimitBrowseToRoot = 1u << 3, toNoRebuildIconListOnAssocChange = 1u << 4,
  toTrackChangesInMappedDrives = 1u << 5, toPersistentColumns = 1u << 6, toExecuteOnDblClk = 1u << 7,
  toRightButtonSelect = 1u << 8, toRemoveContextMenuShortCut = 1u << 9, toUserSort = 1u << 10,
  toAutoScrollHorz = 1u << 11, toExplorerReadOnly = 1u << 12, toRestoreTopNodeOnRefresh = 1u << 13,
};
enum TExplorerImageOption : uint32_t {
  toHideOverlay = 1u << 0, toImages = 1u << 1, toThreadedImages = 1u << 2, toLargeImages = 1u << 3,
  toMarkCutAndCopy = 1u << 4,
};

enum TExplorerShellOption : uint32_t {
  toRightAlignSizeColumn = 1u << 0, toContextMenus = 1u << 1, toDragDrop = 1u << 2, toShellHints = 1u << 3,
  toShellColumnMenu = 1u << 4,
};

// Posted to the tree (WParam = the node) when the shell refused a new name.
constexpr UINT WM_INVALIDFILENAME = 0x8035;

enum TExplorerSyncOption : uint32_t { toCollapseTargetFirst = 1u << 0, toExpandTarget = 1u << 1, toSelectTarget = 1u << 2 };

// Root kinds by the special folder they stand for; the two custom kinds take a path or a list.
enum class TRootFolder : int {
  rfAdminTools = 48, rfAltStartup = 29, rfAppData = 26, rfBitBucket = 10, rfCommonAdminTools = 47,
  rfCommonAltStartup = 30, rfCommonAppData = 35, rfCommonDesktopDirectory = 25, rfCommonDocuments = 46,
  rfCommonFavorties = 31, rfCommonPrograms = 23, rfCommonStartMenu = 22, rfCommonStartup = 24,
  rfCommonTemplates = 45, rfControlPanel = 3, rfCookies = 33, rfDesktop = 0, rfDesktopDirectory = 16, rfDrives = 17,
  rfFavorites = 6, rfFonts = 20, rfHistory = 34, rfInternet = 1, rfInternetCache = 32, rfLocalAppData = 28,
  rfMyPictures = 39, rfNetHood = 19, rfNetwork = 18, rfPersonal = 5, rfPrinters = 4, rfPrintHood = 27,
  rfProfile = 40, rfProgramFiles = 38, rfCommonProgramFiles = 43, rfPrograms = 2, rfRecent = 8, rfSendTo = 9,
  rfStartMenu = 11, rfStartUp = 7, rfSystem = 37, rfTemplate = 21, rfWindows = 36,
  rfCustom = -1, rfCustomPIDL = -2,
};

// What OnNamespaceStructureChange reports of a node.
enum TNamespaceStructureChange : int { nscDelete = 0, nscAdd = 1 };

// The explorer tree's options: the string tree's sets and the five explorer
// sets. Setting an explorer set goes through the owning tree, whose setter
// applies the change; assigning copies the sets through the setters.
class TCustomLazyExplorerTreeOptions : public TCustomStringTreeOptions {
 public:
  using TCustomStringTreeOptions::TCustomStringTreeOptions;
  uint32_t ExplorerFolderOptions() const { return folder_; }
  uint32_t ExplorerImageOptions() const { return image_; }
  uint32_t ExplorerMiscOptions() const { return misc_; }
  uint32_t ExplorerShellOptions() const { return shell_; }
  uint32_t ExplorerSyncOptions() const { return sync_; }
  void SetExplorerFolderOptions(uint32_t value);
  void SetExplorerImageOptions(uint32_t value);
  void SetExplorerMiscOptions(uint32_t value);
  void SetExplorerShellOptions(uint32_t value);
  void SetExplorerSyncOptions(uint32_t value) { sync_ = value; }
  // The string tree's sets, then folder, shell, misc and image through their setters, sync as a value.
  void AssignTo(TCustomLazyTreeOptions& target) const override;
  virtual void Assign(const TCustomLazyTreeOptions& source) { source.AssignTo(*this); }

 private:
  friend class TCustomLazyExplorerTree;
  TCustomLazyExplorerTree* Tree() const;
  uint32_t folder_ = toFoldersExpandable;
  uint32_t image_ = toImages | toMarkCutAndCopy;
  uint32_t misc_ = toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toExecuteOnDblClk;
  uint32_t shell_ = toRightAlignSizeColumn | toContextMenus;
  uint32_t sync_ = toCollapseTargetFirst | toExpandTarget | toSelectTarget;
};
class TLazyExplorerTreeOptions : public TCustomLazyExplorerTreeOptions {
 public:
  using TCustomLazyExplorerTreeOptions::TCustomLazyExplorerTreeOptions;
};

class TCustomLazyExplorerTree : public TCustomLazyStringTree {
 public:
  TCustomLazyExplorerTree();
  ~TCustomLazyExplorerTree() override;
  const char* ClassName() const override { return "TCustomLazyExplorerTree"; }
  TCustomLazyExplorerTreeOptions& ExplorerOptions() { return *explorerOptions_; }
  // The working defaults of a new tree; layouts set their own on top.
  virtual void LoadDefaultOptions();
  // Copies the settings of another explorer tree: columns, file objects, size
  // format and sort, the root, the options, the colours and Active.
  virtual void Assign(TCustomLazyExplorerTree& source);
  virtual void AssignTo(TCustomLazyExplorerTree& target) { target.Assign(*this); }
  // The explorer tree keeps its state through its view manager: node streams are refused.
  void SaveToStream(TNodeStream& stream, PLazyNode node = nullptr) override;
  void LoadFromStream(TNodeStream& stream) override;

  bool Active() const { return active_; }
  void SetActive(bool value);
  uint32_t FileObjects() const { return fileObjects_; }
  void SetFileObjects(uint32_t value);
  TRootFolder RootFolder() const { return rootFolder_; }
  // Asks OnRootChanging with the new root, then rebuilds and fires OnRootChange.
  // The custom kinds take the stored path or list.
  void SetRootFolder(TRootFolder kind);
  const std::wstring& RootFolderCustomPath() const { return rootFolderCustomPath_; }
  // A path that names no folder is refused silently.
  void SetRootFolderCustomPath(const std::wstring& path);
  uint32_t ExplorerFolderOptions() const { return explorerOptions_->folder_; }
  void SetExplorerFolderOptions(uint32_t value);
  uint32_t ExplorerMiscOptions() const { return explorerOptions_->misc_; }
  // Turns the change notification on or off with toChangeNotifierThread;
  // toTrackChangesInMappedDrives needs it and goes with it.
  void SetExplorerMiscOptions(uint32_t value);
  uint32_t ExplorerImageOptions() const { return explorerOptions_->image_; }
  // Images: the system image list (small, or large with toLargeImages).
  void SetExplorerImageOptions(uint32_t value);
  uint32_t ExplorerSyncOptions() const { return explorerOptions_->sync_; }
  void SetExplorerSyncOptions(uint32_t value) { explorerOptions_->sync_ = value; }

  virtual void RebuildRootNamespace();
  void RebuildRootNamespaceBeginUpdate() { ++rebuildLock_; }
  void RebuildRootNamespaceEndUpdate();

  bool ValidateNamespace(PLazyNode node, TNamespace*& ns);
  bool ValidateColumnManager(PLazyNode node, TColumnManager*& manager);
  // Adds a child holding `ns` (taken over); with `setCheck` it gets `checkType`
  // unchecked. Fires OnNamespaceStructureChange (nscAdd).
  PLazyNode AddCustomNode(PLazyNode parent, std::unique_ptr<TNamespace> ns, TCheckType checkType, bool setCheck);
  // Moves the focus off a focused node first (to its next sibling, else its
  // parent, which is then selected), then deletes it.
  void DeleteNode(PLazyNode node, bool reindex = true);
  // Adds the user's documents folder under the desktop node unless it is there.
  void AddMyDocumentsFolder(PLazyNode node, bool onlyUnderDesktop);
  // Marks the items of the node's children stale and repaints them.
  void InvalidateChildNamespaces(PLazyNode node, bool reload);
  // The node of an item among the nodes that exist: nothing is read or expanded.
  PLazyNode InternalWalkPIDLToNode(LPCITEMIDLIST pidl);
  // Nodes that exist only: a folder never expanded is not searched.
  PLazyNode FindNode(const std::wstring& path);
  PLazyNode FindNodeByPIDL(LPCITEMIDLIST pidl) { return WalkPIDLToNode(pidl, false, false, false); }
  PLazyNode WalkPIDLToNode(LPCITEMIDLIST pidl, bool select, bool reinitChildren, bool expand);
  // Expands the way to the item; true when found.
  virtual bool BrowseToByPIDL(LPCITEMIDLIST pidl, bool expand, bool collapseFirst, bool scrollTop, bool select);
  std::wstring GetSelectedPath();
  // Rebuilds the tree and expands again what was expanded; no other folder is read.
  void RefreshTree(bool restoreTopNode = false);
  // Initialise the nodes that exist below `node` (or in the whole tree); no folder is read.
  void InitAllChildren(PLazyNode node);
  void InitAllNodes() { InitAllChildren(nullptr); }

  // Reads the node's folder when it has no children yet; answers the child count.
  virtual uint32_t ExpandNamespaceFolder(PLazyNode node);
  // Re-reads one folder node, keeping what was expanded and selected below it.
  void RefreshNode(PLazyNode node);
  TRootNodeStorage* GetNewStorage() { return persistent_->Storage.get(); }
  TExplorerPersistent& Persistent() { return *persistent_; }
  // The tree's own named views (the tree's state under a name).
  TViewManager& ViewManager() { return *viewManager_; }
  // The custom root as an item-ID list (kept as a copy); none is refused.
  void SetRootFolderCustomPIDL(LPCITEMIDLIST pidl);
  LPCITEMIDLIST RootFolderCustomPIDL() const { return rootFolderCustomPIDL_.get(); }
  // The root folder's item (none before a root is set).
  TNamespace* RootNamespace() const { return rootNamespace_.get(); }
  // A refresh builds the custom root again even when the list is the one stored.
  void RefreshRootFolderCustomPIDL(LPCITEMIDLIST pidl);
  // May refuse a new root (kind, its item); the item is freed when refused.
  std::function<void(TCustomLazyExplorerTree&, TRootFolder, TNamespace&, bool& allow)> OnRootChanging;
  std::function<void(TCustomLazyExplorerTree&)> OnRootChange;
  // After a folder was read: the user may add nodes of its own.
  std::function<void(TCustomLazyExplorerTree&, PLazyNode parent)> OnCustomNamespace;

  // Change dispatch to linked views waits while locked; each lock counts a
  // pending dispatch, and unlocking sends what was counted once.
  void LockChangeNotifier();
  void UnlockChangeNotifer();
  bool ChangeDispatchLocked() const { return dispatchLocked_; }
  // True while BrowseToByPIDL walks.
  bool Browsing() const { return browsing_; }
  // The hourglass, nested per tree and shared by all trees: one shows, the
  // first cursor comes back once.
  void WaitCursor(bool show);
  bool DisableWaitCursors() const { return disableWaitCursors_; }
  void SetDisableWaitCursors(bool value);

  // ---------------------------------------------------------- change links --
  // Hands the first selected node's item (else the focused node's) to the
  // dispatcher; called when the selection or the root changes.
  virtual void ChangeLinkDispatch();
  // A followed control now shows `pidl`: browses there unless the tree stands on it.
  virtual void ChangeLinkChanging(ui::TControl* server, LPCITEMIDLIST pidl);
  // While a layout loads, dispatches wait; the loaded tree tells its followers once.
  void Loaded() override;
  // A layout's column item may set its kind ("ColumnDetails = cdSize").
  bool SetColumnLayoutProperty(TLazyTreeColumn& column, const ui::TLayoutProperty& prop,
                               ui::TLayoutContext& ctx) override;
  // A link this tree follows through is going: the reference to its server is dropped.
  virtual void ChangeLinkFreeing(TExplorerChangeLink& link);
  // The explorer tree or combo box this tree follows (none: no link).
  TCustomLazyExplorerTree* LazyExplorerTree() const { return lazyExplorerTree_; }
  void SetLazyExplorerTree(TCustomLazyExplorerTree* tree);
  TCustomLazyExplorerCombobox* ExplorerComboBox() const { return explorerComboBox_; }
  void SetExplorerComboBox(TCustomLazyExplorerCombobox* combo);
  virtual bool OkToBrowseTo(LPCITEMIDLIST) { return true; }

  // --------------------------------------------------------- detail columns --
  TColumnDetailType ColumnDetails() const { return columnDetails_; }
  // cdUser removes the columns and hides the header; the others build them.
  void SetColumnDetails(TColumnDetailType value);
  // The columns for the folder shown (nothing for cdUser or without a window).
  void RebuildHeader(TNamespace* ns);
  // One column per detail the shell offers for `ns`'s children.
  void RebuildShellHeader(TNamespace* ns);
  void RebuildExplorerHeader();
  // Columns made from the shell (the first ones of the header).
  int ShellColumnCount() const { return shellColumnCount_; }
  // The column layout of the root folder in the node storage (with
  // toPersistentColumns and shell columns only).
  virtual void StoreColumnState();
  virtual void ReStoreColumnState();
  // The most columns the column menu lists directly.
  int ColumnMenuItemCount() const { return columnMenuItemCount_; }
  void SetColumnMenuItemCount(int value) { columnMenuItemCount_ = value; }
  TColumnMenu& ColumnMenu() { return *columnMenu_; }
  // The header's columns in index order, and back (visibility, width, position).
  std::vector<TColumnState> ColumnStates();
  void ApplyColumnStates(const std::vector<TColumnState>& states);
  TFileSizeFormat FileSizeFormat() const { return fileSizeFormat_; }
  void SetFileSizeFormat(TFileSizeFormat value);
  // How the type column orders: by type name or by extension.
  TFileSort FileSort() const { return sortHelper_.FileSort; }
  // A change re-sorts the tree when the header sorts by the type column (2).
  void SetFileSort(TFileSort value);
  // The standard kind of a column (cdCustom for none).
  TColumnDetails ColumnKind(TColumnIndex column);

  // Appends the application's own columns after the built ones (the first free index).
  std::function<void(TCustomLazyExplorerTree&, TColumnIndex firstFree, TLTHeader&)> OnAddCustomShellColumn;
  // Orders two nodes by a column the tree cannot compare itself.
  std::function<void(TCustomLazyExplorerTree&, TColumnIndex, PLazyNode, PLazyNode, int& result)>
      OnCustomColumnCompare;
  // Fired with every cell's text as computed (no item: `ns` is null).
  std::function<void(TCustomLazyExplorerTree&, TColumnIndex, PLazyNode, std::wstring& text, TNamespace* ns)>
      OnGetExplorerText;

  std::function<void(TCustomLazyExplorerTree&, TNamespace&, bool& allow)> OnEnumFolder;
  std::function<void(TCustomLazyExplorerTree&)> OnRootRebuild;

  // Change notification: registered with the notifier from window creation
  // (with toChangeNotifierThread) until the window or the tree goes.
  bool ChangeNotifierEnabled() const { return changeNotifierEnabled_; }
  // Background icons: registered with the icon thread from window creation
  // (with toThreadedImages); nodes show a default image until the answer comes.
  bool ThreadedImagesEnabled() const { return threadedImagesEnabled_; }
  void SetThreadedImagesEnabled(bool enable);
  // Nodes whose icon request is still out.
  size_t PendingIconRequests() const { return iconRequests_.size(); }
  void SetChangeNotiferEnabled(bool enable);
  // Merges a folder's current content into its children: kept nodes keep
  // their selection, expansion and check state; new ones come last unless resorted.
  virtual void ReReadAndRefreshNode(PLazyNode node, bool resort);
  // Makes the shell rebuild its icon cache and shows the new icons.
  void ForceIconCachRebuild();
  // Called while the enlarged icon size is in force (tests).
  std::function<void()> OnIconCacheRebuilding;
  // Nodes whose icon is `index` fetch their icon again.
  void InvalidateImageByIndex(int index);
  // A handler may set the event's Handled to take it over.
  std::function<void(TCustomLazyExplorerTree&, TLazyShellEvent&)> OnShellNotify;
  // Fired for a child a re-read removed (nscDelete) and for each node AddCustomNode adds (nscAdd).
  std::function<void(TCustomLazyExplorerTree&, PLazyNode, TNamespace&, TNamespaceStructureChange)>
      OnNamespaceStructureChange;
  // Set while a batch was dropped (menu shown or dragging); the next mouse move refreshes.
  bool MissedNotification() const { return missedNotification_; }

  // ---------------------------------------------------------- shell commands --
  // Every command goes through the items' shell objects: the shell does the
  // file work and asks its own confirmations.
  uint32_t ExplorerShellOptions() const { return explorerOptions_->shell_; }
  void SetExplorerShellOptions(uint32_t value);
  TExplorerColors& Colors() { return *colors_; }
  TContextMenuManager& ContextMenuManager() { return *contextMenuManager_; }
  // The items of the selected nodes, in selection order.
  TNamespaceArray SelectedNamespaces();
  // One slot per selected node in selection order; a node without an item leaves its slot empty.
  TNamespaceArray SelectedToNamespaceArray();
  // The user data size of every node: the tree is made inactive around the
  // change, so the nodes come back from the shell instead of as blank rows.
  void SetNodeDataSize(int size);
  virtual bool CopyToClipboard();
  virtual bool CutToClipboard();
  virtual bool PasteFromClipboard();
  virtual void SelectedFilesPaste(bool allSelected);
  virtual void SelectedFilesDelete();
  // Deleting nodes means deleting their items.
  void DeleteSelectedNodes() override;
  virtual void SelectedFilesShowProperties();
  void MarkNodesCut();
  void MarkNodesCopied();
  virtual void DoShellExecute(PLazyNode node);
  virtual bool ExecuteNamespace(TNamespace& ns, std::wstring& workingDir, std::wstring& cmdLineArgument);
  virtual void ShellExecuteFolderLink(TNamespace& ns, const std::wstring& workingDir, const std::wstring& args);
  // Makes a free folder name from `suggestedName` in the parent, creates the
  // folder, adds its node and starts renaming it; false when nothing was made.
  virtual bool InternalCreateNewFolder(LPCITEMIDLIST parentPIDL, const std::wstring& suggestedName,
                                       std::wstring& newName);
  // Drag out: whether the node may be dragged, and the data of the selected items.
  bool DoBeforeDrag(PLazyNode node, TColumnIndex column) override;
  ComPtr<IDataObject> DoCreateDataObject() override;
  // The tree's formats and, while a drag's data is being made, those of the
  // shell's data object of the dragged items.
  void GetNativeClipboardFormats(std::vector<FORMATETC>& formats) override;
  // After the drag the tree is repainted at once.
  void DoEndDrag(POINT client) override;
  // Drops go to the shell's drop target of the folder under the mouse (the
  // root folder over the empty area of a list without a root node).
  HRESULT DragEnter(DWORD keyState, POINT pt, DWORD& effect) override;
  HRESULT DragOver(TBaseLazyTree* source, DWORD keyState, TDragState state, POINT pt, DWORD& effect) override;
  void DragLeave() override;
  HRESULT DragDrop(IDataObject* dataObject, DWORD keyState, POINT pt, DWORD& effect) override;
  // Copy, move and link are offered; the shell's drop target decides.
  DWORD SuggestDropEffect(TBaseLazyTree*, TShiftState, POINT, DWORD) override {
    return DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  }
  // Starts the in-place editor on the node's caption; false when the tree may not edit it.
  virtual bool EditCaption(PLazyNode node);
  bool DoEndEdit() override;

  std::function<void(TCustomLazyExplorerTree&, TNamespace&, HMENU, bool& allow)> OnContextMenuShow;
  std::function<void(TCustomLazyExplorerTree&, TNamespace&, const std::wstring& verb, UINT id, bool& handled)>
      OnContextMenuCmd;
  std::function<void(TCustomLazyExplorerTree&, TNamespace&, const std::wstring& verb, UINT id, bool successful)>
      OnContextMenuAfterCmd;
  std::function<void(TCustomLazyExplorerTree&, TNamespace&, UINT id, HMENU subMenu, bool mouseSelect)>
      OnContextMenuItemChange;
  std::function<void(TCustomLazyExplorerTree&, bool& handled)> OnClipboardCopy, OnClipboardPaste;
  std::function<void(TCustomLazyExplorerTree&, bool& markSelectedCut, bool& handled)> OnClipboardCut;
  std::function<void(TCustomLazyExplorerTree&, TNamespace&, std::wstring& workingDir, std::wstring& args,
                     bool& allow)>
      OnShellExecute;
  std::function<void(TCustomLazyExplorerTree&, PLazyNode, int button, POINT)> OnTreeDblClick;

 protected:
  struct TNodeArea {
    TNamespace* Namespace;
    TColumnManager* ColumnManager;  // enumerated nodes and the shown root; see FirstNodeColumnManager
  };
  TNodeArea* Area(PLazyNode node);
  // The tree's wait cursor for the length of a scope.
  class TTreeWaitCursor {
   public:
    explicit TTreeWaitCursor(TCustomLazyExplorerTree& tree) : tree_(tree) { tree_.WaitCursor(true); }
    ~TTreeWaitCursor() { tree_.WaitCursor(false); }
    TTreeWaitCursor(const TTreeWaitCursor&) = delete;
    TTreeWaitCursor& operator=(const TTreeWaitCursor&) = delete;

   private:
    TCustomLazyExplorerTree& tree_;
  };

  void DoInitNode(PLazyNode parent, PLazyNode node, TLazyNodeInitStates& initStates) override;
  void DoInitChildren(PLazyNode node, std::uint32_t& childCount) override;
  bool DoExpanding(PLazyNode node) override;
  bool DoCollapsing(PLazyNode node) override;
  // The focus and selection below a collapsing node move to it.
  void CollapseNamespaceFolder(PLazyNode node);
  void DoUpdating(TLTUpdateState state) override;
  void OptionsChanged(TLTOptionSet which, std::uint32_t oldValue, std::uint32_t newValue) override;
  virtual void DoCustomNamespace(PLazyNode node);
  // Fire OnClipboardCopy, OnClipboardCut and OnClipboardPaste; a handled
  // command leaves the shell out.
  virtual void DoClipboardCopy(bool& handled);
  virtual void DoClipboardCut(bool& markSelectedCut, bool& handled);
  virtual void DoClipboardPaste(bool& handled);
  // Fires OnEnumFolder: whether a folder's item gets a node.
  virtual bool DoEnumFolder(TNamespace& ns);
  // Fires OnRootRebuild after the nodes were built from the root again.
  virtual void DoRootRebuild();
  virtual void DoNamespaceStructureChange(PLazyNode node, TNamespace& ns, TNamespaceStructureChange change);
  virtual bool DoRootChanging(TRootFolder kind, TNamespace& newRoot);
  virtual void DoRootChange();
  ui::TPopupMenu* DoGetPopupMenu(PLazyNode node, TColumnIndex column, POINT position) override;
  void DoPopupMenu(PLazyNode node, TColumnIndex column, POINT position) override;
  bool HasPopupMenu(PLazyNode node, TColumnIndex column, POINT position) override;
  ui::TPopupMenu* ContextPopupMenu(POINT client) override;
  void DoFreeNode(PLazyNode node) override;
  int DoCompare(PLazyNode node1, PLazyNode node2, TColumnIndex column) override;
  void DoChecked(PLazyNode node) override;
  void DoChange(PLazyNode node) override;
  std::string ItemText(PLazyNode node) override;
  void DoGetImageIndex(PLazyNode node, TLTImageKind kind, TColumnIndex column, bool& ghosted,
                       int& index) override;
  // The shell's image of the node's cell, or the string tree's.
  int ShellImageIndex(PLazyNode node, TLTImageKind kind, TColumnIndex column, bool& ghosted);

  void InitHandle() override;
  void WndProc(ui::TMessage& m) override;
  void DoCollapsed(PLazyNode node) override;
  virtual void DoShellNotify(TLazyShellEvent& event);
  friend class TContextMenuManager;
  virtual bool DoContextMenuShow(TNamespace& ns, HMENU menu);
  virtual bool DoContextMenuCmd(TNamespace& ns, const std::wstring& verb, UINT id);
  virtual void DoContextMenuAfterCmd(TNamespace& ns, const std::wstring& verb, UINT id, bool successful);
  virtual void DoContextMenuSelect(TNamespace& ns, UINT id, HMENU subMenu, bool mouseSelect);
  // Answers false when the key was consumed. `shift` holds MK_SHIFT / MK_CONTROL / MK_ALT.
  bool DoKeyAction(WORD& key, UINT& shift) override;
  // Ctrl+PageUp / Ctrl+PageDown: the focus pages among the top node's siblings; false (consumed).
  bool PageSiblingKey(WORD key);
  virtual void DoTreeDblClick(int button, POINT pt);
  void DoNewText(PLazyNode node, TColumnIndex column, const std::wstring& text) override;
  void DoCanEdit(PLazyNode node, TColumnIndex column, bool& allowed) override;
  void DoGetText(PLazyNode node, TColumnIndex column, TLSTTextType type, std::wstring& text) override;
  void DoPaintText(PLazyNode node, HDC canvas, TColumnIndex column, TLSTTextType type) override;
  // The shell commands' messages; true when handled.
  bool ShellCommandMessage(ui::TMessage& m);
  // Whether batches must be dropped now (a shell context menu is shown or a drag runs).
  virtual bool ShellMenuOrDragActive();
  // Events are ignored while a caption is edited.
  virtual bool IsAnyEditing() const { return TreeStates().Contains(tsEditing); }
  bool ItemHasChildren(TNamespace& ns, PLazyNode parent);
  bool RebuildSuspended() const { return rebuildLock_ > 0; }
  // A view that builds its header from the rows' folder after the rows sets it.
  bool headerAfterRows_ = false;
  // The item followers compare a change with: the first selected node's.
  virtual TNamespace* ChangeLinkCurrentItem();
  // Drops every link the tree takes part in; views call it before their nodes go.
  void UnregisterChangeLinks();
  // True while a layout loads the tree (Loaded unlocks the dispatch held since
  // construction) or change dispatch is locked (sent once when unlocked).
  bool DeferChangeLinkDispatch();
  // Follows `server` / stops following it (none: nothing).
  void LinkTo(ui::TControl* server);
  void UnlinkFrom(ui::TControl* server);
  void DoHeaderMouseUp(int button, TShiftState shift, int x, int y) override;
  std::unique_ptr<TLTHeader> CreateHeader() override;
  void DoHeaderClick(TColumnIndex column, int button, TShiftState shift, int x, int y) override;
  void DoGetNodeHint(PLazyNode node, TColumnIndex column, std::wstring& text) override;
  virtual void DoAddCustomShellColumn(TColumnIndex firstFree);
  virtual void DoCustomColumnCompare(TColumnIndex column, PLazyNode node1, PLazyNode node2, int& result);
  virtual void DoGetExplorerText(TColumnIndex column, PLazyNode node, std::wstring& text, TNamespace* ns);
  // The width toggles' memory, kept with the first top-level node (none without nodes).
  TColumnManager* FirstNodeColumnManager();
  // The order of two items by a header column.
  int CompareByColumn(PLazyNode node1, PLazyNode node2, TNamespace& a, TNamespace& b, TColumnIndex column);
  void DoColumnResize(TColumnIndex column) override;
  bool ColumnStateKept() const;
  bool OkToExpandNode(PLazyNode node);
  PLazyNode AddNamespaceNode(PLazyNode parent, std::unique_ptr<TNamespace> ns);

 private:
  bool ShellMenuTakesPlaceAt(POINT client);
  void ActivateTree(bool value);
  void WMShellNotify(TLazyShellEventList* batch);
  void HandleShellEvent(TLazyShellEvent& event);
  void DrainShellNotifications(bool handle);
  void WMLTSetIconIndex(TImageThreadItem* item);
  // Withdraws the node's queued icon request (answers already posted are delivered first).
  void WithdrawIconRequest(PLazyNode node);
  void WithdrawIconRequests();
  int PlaceholderImage(TNamespace& ns);
  void ReplaceRoot(std::unique_ptr<TNamespace> root, TRootFolder kind);
  void ApplyRootFolderCustomPIDL(LPCITEMIDLIST pidl, bool evenWhenEqual);
  // The folder node a drop goes to at the client point (the hidden root over empty space).
  PLazyNode DropTargetFolder(POINT client);
  void ChangeDropTarget(PLazyNode node, DWORD keyState, POINT pt, DWORD effect);
  PLazyNode StartNode();


  bool active_ = false;
  TPidl rootFolderCustomPIDL_;
  TCustomLazyExplorerTree* lazyExplorerTree_ = nullptr;
  TCustomLazyExplorerCombobox* explorerComboBox_ = nullptr;
  bool changeLinkChanging_ = false;
  TColumnDetailType columnDetails_ = cdUser;
  int shellColumnCount_ = 0;
  bool buildingHeader_ = false;
  // Set while ApplyColumnStates moves and sizes the columns: a layout half
  // applied is never stored.
  bool applyingColumns_ = false;
  bool correctingOptions_ = false;  // an option set being stored again, corrected
  TFileSizeFormat fileSizeFormat_ = fsfExplorer;
  TShellSortHelper sortHelper_;
  int columnMenuItemCount_ = 8;
  std::unique_ptr<TColumnMenu> columnMenu_;
  bool activated_ = false;
  uint32_t fileObjects_ = foFolders;
  int rebuildLock_ = 0;
  TRootFolder rootFolder_ = TRootFolder::rfDesktop;
  std::wstring rootFolderCustomPath_;
  std::unique_ptr<TNamespace> rootNamespace_;
  std::unique_ptr<TNamespace> hiddenRootNamespace_;  // held for the invisible root with toHideRootFolder
  TCustomLazyExplorerTreeOptions* explorerOptions_;  // the tree's option object
  uint32_t areaOffset_ = 0;
  std::unique_ptr<TExplorerPersistent> persistent_;
  std::unique_ptr<TViewManager> viewManager_;
  bool changeNotifierEnabled_ = false;
  bool missedNotification_ = false;
  bool threadedImagesEnabled_ = false;
  std::unordered_map<PLazyNode, uint64_t> iconRequests_;  // the serial of each node's request out
  int defaultFolderImage_ = -1;
  std::unique_ptr<TExplorerColors> colors_;
  std::unique_ptr<TContextMenuManager> contextMenuManager_;
  ComPtr<IDataObject> dragDataObject_;  // the shell's data of the items while a drag's data is made
  bool altDown_ = false;
  int defaultDocumentImage_ = -1;
  bool browsing_ = false;
  bool userInput_ = false;           // a mouse or key message of the user is handled
  bool mouseOnExpandButton_ = false;  // ... and it went down on an expand button
  bool iconCacheRebuilding_ = false;  // ForceIconCachRebuild runs: the image setter does not rebuild
  bool dispatchLocked_ = false;
  int dispatchLockCount_ = 0;
  bool disableWaitCursors_ = false;
  int waitCursorDepth_ = 0;
  // The incoming drag: its starting button (1 left, 2 right), data, target folder node, last effect.
  int dropButton_ = 0;
  ComPtr<IDataObject> dropDataObject_;
  PLazyNode dropTarget_ = nullptr;
  bool dropTargetSet_ = false;
  DWORD lastDropEffect_ = DROPEFFECT_NONE;
  bool dropInProgress_ = false;
};

class TLazyExplorerTree : public TCustomLazyExplorerTree {
 public:
  ~TLazyExplorerTree() override {
    UnregisterChangeLinks();
    DestroyNodes();
  }
  const char* ClassName() const override { return "TLazyExplorerTree"; }
};

// The common base of the linked folder tree and file list.
class TLazyExplorerViews : public TCustomLazyExplorerTree {
 public:
  const char* ClassName() const override { return "TLazyExplorerViews"; }
};

class TLazyExplorerListview;

// The folder tree of the linked views: follows its list partner and is
// followed by it once each names the other.
class TLazyExplorerTreeview : public TLazyExplorerViews {
 public:
  TLazyExplorerTreeview();
  ~TLazyExplorerTreeview() override;
  const char* ClassName() const override { return "TLazyExplorerTreeview"; }

  TLazyExplorerListview* LazyExplorerListview() const { return listview_; }
  // Follows `listview` (none: follows no list).
  void SetLazyExplorerListview(TLazyExplorerListview* listview);
  void ChangeLinkFreeing(TExplorerChangeLink& link) override;
  // The explorer tree's defaults, then the folder tree's own.
  void LoadDefaultOptions() override;

 private:
  void LoadViewDefaults();
  TLazyExplorerListview* listview_ = nullptr;
};

// The shell controls (the explorer trees, the linked list view, the completion
// source and the address box) and their layout properties in the layout class
// registry; registers the lazy trees first.
void RegisterExplorerTreeClasses();

}  // namespace kv
