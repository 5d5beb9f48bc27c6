#pragma once
// TNamespace: one item of the shell namespace, held by its absolute item-ID
// list. Names, attributes, file data, icon indexes and shell interfaces are
// fetched on first request and kept until InvalidateCache/InvalidateNamespace.
// Shell calls that fail answer empty, false, 0, -1 or no interface; only
// CreateFromFileName raises. User-interface thread only.
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "shell/com_ptr_win.h"
#include "shell/id_list_win.h"

namespace kv {

namespace ui {
class TPopupMenu;
}

class EShellInvalidFileName : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TNamespace;
using TNamespaceArray = std::vector<TNamespace*>;
using TPIDLArray = std::vector<LPITEMIDLIST>;
using TMenuItemIDArray = std::vector<UINT>;

// Context-menu callbacks; any may be empty.
using TContextMenuCmdCallback = std::function<void(TNamespace&, const std::wstring& verb, UINT menuItemId, bool& handled)>;
using TContextMenuShowCallback = std::function<void(TNamespace&, HMENU menu, bool& allow)>;
using TContextMenuAfterCmdCallback = std::function<void(TNamespace&, const std::wstring& verb, UINT menuItemId, bool successful)>;

// Enumeration callback: takes ownership of the relative child list; answers
// whether the child counts; sets `terminate` to end the walk.
using TEnumFolderCallback = std::function<bool(TPidl child, TNamespace& parent, bool& terminate)>;

enum class TShellColumnState : uint16_t {
  TypeString = 1, TypeInteger = 2, TypeDate = 4, OnByDefault = 8,
  Slow = 16, Extended = 32, SecondaryUI = 64, Hidden = 128,
};

// A thumbnail image that other code attaches to a shell item.
class TNamespaceThumbnail {
 public:
  virtual ~TNamespaceThumbnail() = default;
};

// The verb of a command chosen from a shell menu (its offset from the first
// command): the wide verb, cut at its zero, and true; "Unknown Command" and
// false when the menu cannot tell it.
bool ChosenCommandVerb(IContextMenu* menu, UINT offset, std::wstring& verb);

class TNamespace {
 public:
  // `pidl` (owned from now on) is relative to `parent` when one is given,
  // else absolute; no list and no parent gives the desktop.
  TNamespace(TPidl pidl, TNamespace* parent);
  // EShellInvalidFileName when the shell cannot parse `fileName`.
  static std::unique_ptr<TNamespace> CreateFromFileName(const std::wstring& fileName);
  // An item for a list the caller keeps: the list is not freed with the item.
  static std::unique_ptr<TNamespace> CreateShared(LPITEMIDLIST absolute);
  virtual ~TNamespace();
  TNamespace(const TNamespace&) = delete;
  TNamespace& operator=(const TNamespace&) = delete;

  // A parentless item on a copy of the absolute list.
  virtual std::unique_ptr<TNamespace> Clone(bool freePIDLOnDestroy = true) const;

  LPITEMIDLIST AbsolutePIDL() const { return absolute_; }
  LPITEMIDLIST RelativePIDL() const { return relative_; }
  TNamespace* Parent() const { return parent_; }
  bool FreePIDLOnDestroy() const { return freePidl_; }
  void SetFreePIDLOnDestroy(bool v) { freePidl_ = v; }

  // Shell interfaces (cached).
  ComPtr<IShellFolder> GetShellFolder();
  virtual ComPtr<IShellFolder> GetParentShellFolder();
  ComPtr<IShellFolder2> GetShellFolder2();
  ComPtr<IShellFolder2> GetParentShellFolder2();
  ComPtr<IShellDetails> GetShellDetailsInterface();
  ComPtr<IShellDetails> GetParentShellDetailsInterface();
  ComPtr<IQueryInfo> GetQueryInfoInterface();
  ComPtr<IShellIcon> GetShellIconInterface();
  ComPtr<IShellIconOverlay> GetShellIconOverlayInterface();

  // Names.
  std::wstring DisplayNameOf(DWORD flags);
  virtual std::wstring GetNameNormal();
  virtual std::wstring GetNameInFolder();
  virtual std::wstring GetNameParseAddress();
  virtual std::wstring GetNameParseAddressInFolder() { return DisplayNameOf(0xC001); }
  virtual std::wstring GetNameAddressbar() { return DisplayNameOf(0x4000); }
  virtual std::wstring GetNameAddressbarInFolder() { return DisplayNameOf(0x4001); }
  virtual std::wstring GetNameForEditing() { return DisplayNameOf(0x1000); }
  virtual std::wstring GetNameForEditingInFolder() { return DisplayNameOf(0x1001); }
  virtual std::wstring GetNameForParsing();
  virtual std::wstring GetNameForParsingInFolder();

  // Shell attributes.
  bool TestAttributesOf(ULONG mask, bool validateWithNoItems, bool validate);
  virtual bool GetCanCopy() { return CachedAttribute(SFGAO_CANCOPY); }
  virtual bool GetCanMove() { return CachedAttribute(SFGAO_CANMOVE); }
  virtual bool GetCanLink() { return CachedAttribute(SFGAO_CANLINK); }
  virtual bool GetCanRename() { return CachedAttribute(SFGAO_CANRENAME); }
  virtual bool GetCanDelete() { return CachedAttribute(SFGAO_CANDELETE); }
  virtual bool GetHasPropSheet() { return TestAttributesOf(SFGAO_HASPROPSHEET, false, false); }
  virtual bool GetDropTarget() { return IsDesktop() || TestAttributesOf(SFGAO_DROPTARGET, false, false); }
  virtual bool GetLink() { return CachedAttribute(SFGAO_LINK); }
  virtual bool GetShare() { return TestAttributesOf(SFGAO_SHARE, false, false); }
  virtual bool GetReadOnly() { return TestAttributesOf(SFGAO_READONLY, false, false); }
  virtual bool GetGhosted() { return CachedAttribute(SFGAO_GHOSTED); }
  virtual bool GetNonEnumerated() { return TestAttributesOf(SFGAO_NONENUMERATED, false, false); }
  virtual bool GetNewContent() { return TestAttributesOf(SFGAO_NEWCONTENT, false, false); }
  virtual bool GetRemovable() { return TestAttributesOf(SFGAO_REMOVABLE, false, false); }
  virtual bool GetFileSysAncestor() { return CachedAttribute(SFGAO_FILESYSANCESTOR); }
  virtual bool GetFolder() { return CachedAttribute(SFGAO_FOLDER); }
  virtual bool GetFileSystem() { return CachedAttribute(SFGAO_FILESYSTEM); }
  virtual bool GetHasSubFolder() { return TestAttributesOf(SFGAO_HASSUBFOLDER, false, false); }

  // File data (from the shell's find data of the item).
  virtual bool GetArchive() { return FileAttribute(FILE_ATTRIBUTE_ARCHIVE); }
  virtual bool GetHidden() { return FileAttribute(FILE_ATTRIBUTE_HIDDEN); }
  virtual bool GetReadOnlyFile() { return FileAttribute(FILE_ATTRIBUTE_READONLY); }
  virtual bool GetSystem() { return FileAttribute(FILE_ATTRIBUTE_SYSTEM); }
  virtual bool GetNormal() { return FileAttribute(FILE_ATTRIBUTE_NORMAL); }
  virtual bool GetTemporary() { return FileAttribute(FILE_ATTRIBUTE_TEMPORARY); }
  virtual bool GetOffLine() { return FileAttribute(FILE_ATTRIBUTE_OFFLINE); }
  virtual bool GetDirectory() { return FileAttribute(FILE_ATTRIBUTE_DIRECTORY); }
  virtual bool GetCompressed();
  virtual std::wstring GetFileName();
  virtual std::wstring GetShortFileName();
  virtual std::wstring GetExtension();
  virtual uint64_t GetSizeOfFileInt64();
  virtual std::wstring GetSizeOfFile();
  virtual std::wstring GetSizeOfFileKB();
  virtual std::wstring GetSizeOfFileDiskUsage();
  virtual std::wstring GetCreationTime();
  virtual std::wstring GetLastAccessTime();
  virtual std::wstring GetLastWriteTime();
  virtual FILETIME GetCreationTimeRaw();
  virtual FILETIME GetLastAccessTimeRaw();
  virtual FILETIME GetLastWriteTimeRaw();
  virtual std::wstring GetAttributesString();
  virtual std::wstring GetFileType();
  virtual std::wstring GetInfoTip();
  virtual bool GetSubItems();
  bool SubFoldersEx(DWORD flags = SHCONTF_FOLDERS);
  bool SubItemsEx(DWORD flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
  std::wstring ExplorerStyleAttributeStringList(bool capitalLetters);
  // The find data, fetched once; null when it cannot be had.
  const WIN32_FIND_DATAW* FindData();

  // Special items.
  bool IsDesktop() const { return IsDesktopIDList(absolute_); }
  bool IsMyComputer() const;
  bool IsControlPanel() const;
  bool IsNetworkNeighborhood() const;
  bool IsNetworkNeighborhoodChild() const;
  bool IsRecycleBin();

  // Icons.
  virtual int GetIconIndex(bool openIcon, int iconSize, bool forceLoad);
  int GetOverlayIndex();
  void SetIconIndexByThread(int index, bool clearLoading);
  bool ThreadedIconLoaded() const { return threadedIconLoaded_; }
  bool ThreadIconLoading() const { return threadIconLoading_; }
  void SetThreadIconLoading(bool v) { threadIconLoading_ = v; }
  bool IconIndexChanged() const { return iconIndexChanged_; }
  void SetIconIndexChanged(bool v) { iconIndexChanged_ = v; }

  // Children.
  int EnumerateFolder(bool folders, bool nonFolders, bool includeHidden, const TEnumFolderCallback& callback);
  // The parent folder's CompareIDs of the last item of `pidl` and this item's,
  // read as negative, 0 or positive (-1 without a list, 0 without a parent folder).
  int ComparePIDL(LPCITEMIDLIST pidl, bool isAbsolute, int column);

  void InvalidateCache();
  // The attached thumbnail is the item's from now on; freed with it, by
  // InvalidateThumbImage and by InvalidateCache.
  void SetThumbImage(std::unique_ptr<TNamespaceThumbnail> thumbnail) { thumbnail_ = std::move(thumbnail); }
  TNamespaceThumbnail* ThumbImage() const { return thumbnail_.get(); }
  void InvalidateThumbImage() { thumbnail_.reset(); }
  void InvalidateNamespace(bool refreshIcon = true);
  void InvalidateRelativePIDL(bool folders, bool nonFolders, bool includeHidden);

  // Detail columns (of this item's children / of this item in its parent).
  int DetailsSupportedColumns();
  bool DetailsValidIndex(int column) { return column > -1 && column < DetailsSupportedColumns(); }
  std::wstring DetailsColumnTitle(int column);
  std::wstring DetailsOf(int column);
  uint16_t DetailsGetDefaultColumnState(int column);
  virtual int DetailsDefaultSupportedColumns() { return 5; }
  virtual std::wstring DetailsDefaultColumnTitle(int column);
  virtual std::wstring DetailsDefaultOf(int column);

  // Context menu. `owner` receives the menu; `position` null means the cursor.
  bool ShowContextMenu(HWND owner, const TContextMenuCmdCallback& cmd, const TContextMenuShowCallback& show,
                       const TContextMenuAfterCmdCallback& after, const POINT* position,
                       ui::TPopupMenu* customShellSubMenu, const std::wstring& customSubMenuCaption);
  bool ShowContextMenuMulti(HWND owner, const TContextMenuCmdCallback& cmd, const TContextMenuShowCallback& show,
                            const TContextMenuAfterCmdCallback& after, const TNamespaceArray& items,
                            const POINT* position, ui::TPopupMenu* customShellSubMenu,
                            const std::wstring& customSubMenuCaption, bool absolutePIDLs);
  bool HandleContextMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  std::wstring ContextMenuVerb(UINT menuItemId);
  ComPtr<IContextMenu> GetContextMenuInterface();
  ComPtr<IContextMenu> InternalGetContextMenuInterface(const TPIDLArray& pidls);
  bool ExecuteContextMenuVerb(const std::wstring& verb, const TPIDLArray& pidls);

  // Verbs on siblings of this item.
  bool Copy(const TNamespaceArray& items);
  bool Cut(const TNamespaceArray& items);
  bool Delete(const TNamespaceArray& items);
  bool Paste(const TNamespaceArray& items);
  bool ShowPropertySheetMulti(const TNamespaceArray& items);
  static bool CanDeleteAll(const TNamespaceArray& items);
  static bool CanCutAll(const TNamespaceArray& items) { return CanDeleteAll(items); }
  static bool CanShowPropertiesOfAll(const TNamespaceArray& items);
  static bool CanPasteToAll(const TNamespaceArray& items) { return !items.empty(); }
  bool VerifyPIDLRelationship(const TNamespaceArray& items);

  // Clipboard and drag and drop.
  ComPtr<IDataObject> DataObjectMulti(const TNamespaceArray& items);
  ComPtr<IDataObject> InternalGetDataObjectInterface(const TPIDLArray& pidls);
  ComPtr<IDropTarget> GetDropTargetInterface();
  // Puts another drop target in place of the shell's (tests record what reaches it).
  void SetDropTargetInterface(ComPtr<IDropTarget> target) { dropTarget_ = std::move(target); }
  HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD& effect);
  HRESULT DragOver(DWORD keyState, POINTL pt, DWORD& effect);
  HRESULT DragLeave();
  HRESULT Drop(IDataObject* data, DWORD keyState, POINTL pt, DWORD& effect);

  bool SetNameOf(const std::wstring& newName);
  bool ShellExecuteNamespace(const std::wstring& workingDir, const std::wstring& cmdLineArguments,
                             bool executeFolder, bool executeFolderShortCut);

 protected:
  bool CachedAttribute(ULONG mask);
  bool FileAttribute(DWORD bit);
  int ComputeIconIndex(bool open, int iconSize);

 private:
  struct Cache {
    std::optional<std::wstring> nameInFolder, nameNormal, nameParseAddress;
    std::optional<std::wstring> creationTime, lastAccessTime, lastWriteTime;
    std::optional<std::wstring> sizeOfFile, sizeOfFileKB, fileType;
    std::optional<int> iconIndex, openIconIndex, supportedColumns;
    std::optional<bool> compressed;
    ULONG attributesHeld = 0, attributes = 0;
    bool findDataFailed = false, fileTimes = false;
  };
  TNamespace() = default;
  void SetLists(LPITEMIDLIST absolute);
  void GetDataFromIDList();
  void GetFileTimes();
  ComPtr<IContextMenu> ContextMenuFor(const TPIDLArray& pidls, bool absolute);
  bool RunVerb(const char* verb, const TNamespaceArray& items);
  bool ShowMenu(HWND owner, const TContextMenuCmdCallback& cmd, const TContextMenuShowCallback& show,
                const TContextMenuAfterCmdCallback& after, const TPIDLArray& pidls, bool absolute,
                const POINT* position, ui::TPopupMenu* sub, const std::wstring& caption);

  LPITEMIDLIST absolute_ = nullptr;
  LPITEMIDLIST relative_ = nullptr;
  TNamespace* parent_ = nullptr;
  std::unique_ptr<TNamespace> ownedParent_;
  bool freePidl_ = true;
  bool shellDetailsSupported_ = true, shellFolder2Supported_ = true;
  bool threadedIconLoaded_ = false, threadIconLoading_ = false, iconIndexChanged_ = false;
  std::optional<bool> isRecycleBin_;
  ComPtr<IShellFolder> folder_;
  ComPtr<IShellFolder2> folder2_;
  ComPtr<IShellDetails> details_;
  ComPtr<IShellIcon> shellIcon_;
  ComPtr<IShellIconOverlay> overlay_;
  ComPtr<IQueryInfo> queryInfo_;
  ComPtr<IDropTarget> dropTarget_;
  ComPtr<IContextMenu> currentContextMenu_;
  ComPtr<IContextMenu2> currentContextMenu2_;
  ComPtr<IContextMenu3> currentContextMenu3_;
  std::unique_ptr<WIN32_FIND_DATAW> findData_;
  std::optional<std::wstring> shTypeName_;
  Cache cache_;
  std::unique_ptr<TNamespaceThumbnail> thumbnail_;
};

// Process-wide objects made by ShellInitialize and freed by ShellFinalize.
TPIDLManager* PIDLMgr();
TNamespace* DesktopFolder();
TNamespace* RecycleBinFolder();
TNamespace* PhysicalDesktopFolder();
TNamespace* DrivesFolder();
TNamespace* PrinterFolder();
TNamespace* HistoryFolder();
TNamespace* ControlPanelFolder();
TNamespace* NetworkNeighborHoodFolder();
TNamespace* TemplatesFolder();
TNamespace* MyDocumentsFolder();
TNamespace* FavoritesFolder();

// Called by the program's entry point after OLE initialisation, and by test
// programs: the icon cache, the shell clipboard formats, the list manager and
// the eleven special items. ShellFinalize frees the special items in the order
// desktop, recycle bin, physical desktop, My Computer, history, printers,
// control panel, network neighbourhood, templates, My Documents, favourites.
void ShellInitialize();
void ShellFinalize();

}  // namespace kv
