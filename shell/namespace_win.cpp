#include "shell/namespace_win.h"

#include <array>

#include "base/handle.h"
#include "shell/change_dispatch_win.h"
#include "shell/change_notifier_win.h"
#include "shell/explorer_persistent_win.h"
#include "shell/icon_thread_win.h"
#include "shell/id_list.h"
#include "shell/shell_iids_win.h"
#include "shell/shell_utils_win.h"
#include "shell/wide_strings.h"

namespace kv {

namespace {

DWORD EnumFlags(bool folders, bool nonFolders, bool includeHidden) {
  return (folders ? SHCONTF_FOLDERS : 0) | (nonFolders ? SHCONTF_NONFOLDERS : 0) |
         (includeHidden ? SHCONTF_INCLUDEHIDDEN : 0);
}

}  // namespace

TNamespace::TNamespace(TPidl pidl, TNamespace* parent) : parent_(parent) {
  if (parent) {
    if (IsDesktopIDList(parent->AbsolutePIDL())) {
      SetLists(pidl.release());
      relative_ = absolute_;
    } else {
      TPidl combined = TPIDLManager::AppendPIDL(parent->AbsolutePIDL(), pidl.get());
      if (!combined) throw std::bad_alloc();
      SetLists(combined.release());
    }
    return;
  }
  if (!pidl) {
    LPITEMIDLIST desktop = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop)) || !desktop) {
      TPidl empty = PidlFromBytes(std::array<uint8_t, 2>{0, 0});
      if (!empty) throw std::bad_alloc();
      desktop = empty.release();
    }
    pidl.reset(desktop);
  }
  SetLists(pidl.release());
}

void TNamespace::SetLists(LPITEMIDLIST absolute) {
  absolute_ = absolute;
  relative_ = TPIDLManager::GetPointerToLastID(absolute);
}

std::unique_ptr<TNamespace> TNamespace::CreateFromFileName(const std::wstring& fileName) {
  TPidl list = PathToPIDL(fileName);
  if (!list) throw EShellInvalidFileName("Trying to create a TNamespace on a non existant File object");
  return std::make_unique<TNamespace>(std::move(list), nullptr);
}

std::unique_ptr<TNamespace> TNamespace::CreateShared(LPITEMIDLIST absolute) {
  std::unique_ptr<TNamespace> item(new TNamespace());  // private constructor: make_unique cannot reach it
  item->SetLists(absolute);
  item->freePidl_ = false;
  return item;
}

TNamespace::~TNamespace() {
  // Interfaces of this item go before the parent that may have made them.
  currentContextMenu3_.Reset();
  currentContextMenu2_.Reset();
  currentContextMenu_.Reset();
  dropTarget_.Reset();
  folder_.Reset();
  ownedParent_.reset();
  if (freePidl_) CoTaskMemFree(absolute_);
}

std::unique_ptr<TNamespace> TNamespace::Clone(bool freePIDLOnDestroy) const {
  TPidl copy = TPIDLManager::CopyPIDL(absolute_);
  if (!copy) throw std::bad_alloc();
  auto item = std::make_unique<TNamespace>(std::move(copy), nullptr);
  item->freePidl_ = freePIDLOnDestroy;
  if (!freePIDLOnDestroy) {
    // The caller takes the list over; nothing else holds it.
  }
  return item;
}

// ---------------------------------------------------------------- interfaces

ComPtr<IShellFolder> TNamespace::GetShellFolder() {
  if (folder_) return folder_;
  if (IsDesktop()) {
    SHGetDesktopFolder(folder_.Put());
    return folder_;
  }
  ComPtr<IShellFolder> parent = GetParentShellFolder();
  if (parent && FAILED(parent->BindToObject(relative_, nullptr, IID_IShellFolder, folder_.PutVoid())))
    folder_.Reset();
  return folder_;
}

ComPtr<IShellFolder> TNamespace::GetParentShellFolder() {
  if (parent_) return parent_->GetShellFolder();
  if (IsDesktop()) return GetShellFolder();
  TPidl copy = TPIDLManager::CopyPIDL(absolute_);
  if (!copy) return nullptr;
  TPIDLManager::StripLastID(copy.get());
  ownedParent_ = std::make_unique<TNamespace>(std::move(copy), nullptr);
  parent_ = ownedParent_.get();
  return parent_->GetShellFolder();
}

ComPtr<IShellFolder2> TNamespace::GetShellFolder2() {
  if (folder2_ || !shellFolder2Supported_) return folder2_;
  ComPtr<IShellFolder> folder = GetShellFolder();
  if (!folder) return nullptr;
  HRESULT hr;
  folder2_ = folder.As<IShellFolder2>(IID_IShellFolder2, &hr);
  if (hr == E_NOINTERFACE) shellFolder2Supported_ = false;
  return folder2_;
}

ComPtr<IShellFolder2> TNamespace::GetParentShellFolder2() {
  if (GetParentShellFolder() && parent_) return parent_->GetShellFolder2();
  return GetShellFolder2();
}

ComPtr<IShellDetails> TNamespace::GetShellDetailsInterface() {
  if (details_ || !shellDetailsSupported_) return details_;
  if (ComPtr<IShellFolder> folder = GetShellFolder())
    if (folder->CreateViewObject(nullptr, kIID_IShellDetails, details_.PutVoid()) != S_OK) details_.Reset();
  if (!details_)
    if (ComPtr<IShellFolder> parent = GetParentShellFolder()) {
      LPCITEMIDLIST item = relative_;
      if (FAILED(parent->GetUIObjectOf(nullptr, 1, &item, kIID_IShellDetails, nullptr, details_.PutVoid())))
        details_.Reset();
    }
  if (!details_) shellDetailsSupported_ = false;
  return details_;
}

ComPtr<IShellDetails> TNamespace::GetParentShellDetailsInterface() {
  if (GetParentShellFolder() && parent_) return parent_->GetShellDetailsInterface();
  return GetShellDetailsInterface();
}

ComPtr<IQueryInfo> TNamespace::GetQueryInfoInterface() {
  if (queryInfo_) return queryInfo_;
  if (ComPtr<IShellFolder> parent = GetParentShellFolder()) {
    LPCITEMIDLIST item = relative_;
    if (FAILED(parent->GetUIObjectOf(nullptr, 1, &item, IID_IQueryInfo, nullptr, queryInfo_.PutVoid())))
      queryInfo_.Reset();
  }
  if (!queryInfo_)
    if (ComPtr<IShellFolder> folder = GetShellFolder())
      if (FAILED(folder->CreateViewObject(nullptr, IID_IQueryInfo, queryInfo_.PutVoid()))) queryInfo_.Reset();
  if (!queryInfo_ && IsDesktop() && PhysicalDesktopFolder() && PhysicalDesktopFolder() != this)
    queryInfo_ = PhysicalDesktopFolder()->GetQueryInfoInterface();
  return queryInfo_;
}

ComPtr<IShellIcon> TNamespace::GetShellIconInterface() {
  if (shellIcon_) return shellIcon_;
  if (ComPtr<IShellFolder> parent = GetParentShellFolder()) shellIcon_ = parent.As<IShellIcon>(IID_IShellIcon);
  return shellIcon_;
}

ComPtr<IShellIconOverlay> TNamespace::GetShellIconOverlayInterface() {
  if (overlay_) return overlay_;
  if (ComPtr<IShellFolder> folder = GetShellFolder()) overlay_ = folder.As<IShellIconOverlay>(kIID_IShellIconOverlay);
  if (!overlay_)
    if (ComPtr<IShellFolder> parent = GetParentShellFolder())
      overlay_ = parent.As<IShellIconOverlay>(kIID_IShellIconOverlay);
  return overlay_;
}

// --------------------------------------------------------------------- names

std::wstring TNamespace::DisplayNameOf(DWORD flags) {
  ComPtr<IShellFolder> parent = GetParentShellFolder();
  if (!parent) return {};
  STRRET ret{};
  if (FAILED(parent->GetDisplayNameOf(relative_, flags, &ret))) return {};
  return StrRetToStr(ret, relative_);
}

std::wstring TNamespace::GetNameNormal() {
  if (!cache_.nameNormal) cache_.nameNormal = DisplayNameOf(SHGDN_NORMAL);
  return *cache_.nameNormal;
}

std::wstring TNamespace::GetNameInFolder() {
  if (!cache_.nameInFolder) cache_.nameInFolder = DisplayNameOf(SHGDN_INFOLDER);
  return *cache_.nameInFolder;
}

std::wstring TNamespace::GetNameParseAddress() {
  if (!cache_.nameParseAddress) cache_.nameParseAddress = DisplayNameOf(SHGDN_FORPARSING | SHGDN_FORADDRESSBAR);
  return *cache_.nameParseAddress;
}

std::wstring TNamespace::GetNameForParsing() {
  if (IsDesktop() && PhysicalDesktopFolder() && PhysicalDesktopFolder() != this)
    return PhysicalDesktopFolder()->GetNameForParsing();
  return DisplayNameOf(SHGDN_FORPARSING);
}

std::wstring TNamespace::GetNameForParsingInFolder() {
  if (IsDesktop() && PhysicalDesktopFolder() && PhysicalDesktopFolder() != this)
    return PhysicalDesktopFolder()->GetNameForParsingInFolder();
  return DisplayNameOf(SHGDN_FORPARSING | SHGDN_INFOLDER);
}

// ---------------------------------------------------------------- attributes

bool TNamespace::TestAttributesOf(ULONG mask, bool validateWithNoItems, bool validate) {
  ComPtr<IShellFolder> parent = GetParentShellFolder();
  if (!parent) return false;
  ULONG wanted = mask;
  UINT count = 1;
  if (validateWithNoItems) {
    wanted |= SFGAO_VALIDATE;
    count = 0;
  } else if (validate) {
    wanted |= SFGAO_VALIDATE;
  }
  ULONG answer = wanted;
  LPCITEMIDLIST item = relative_;
  if (FAILED(parent->GetAttributesOf(count, &item, &answer))) return false;
  return (answer & mask) == mask;
}

bool TNamespace::CachedAttribute(ULONG mask) {
  if (!(cache_.attributesHeld & mask)) {
    if (TestAttributesOf(mask, false, false)) cache_.attributes |= mask;
    cache_.attributesHeld |= mask;
  }
  return (cache_.attributes & mask) != 0;
}

// ----------------------------------------------------------------- file data

void TNamespace::GetDataFromIDList() {
  if (findData_ || IsDesktop() || cache_.findDataFailed) return;
  ComPtr<IShellFolder> folder = GetParentShellFolder();
  if (parent_ && parent_->IsDesktop() && PhysicalDesktopFolder()) folder = PhysicalDesktopFolder()->GetShellFolder();
  auto data = std::make_unique<WIN32_FIND_DATAW>();
  if (folder && SHGetDataFromIDListW(folder.Get(), relative_, SHGDFIL_FINDDATA, data.get(), sizeof *data) == S_OK) {
    findData_ = std::move(data);
    return;
  }
  cache_.findDataFailed = true;
}

const WIN32_FIND_DATAW* TNamespace::FindData() {
  GetDataFromIDList();
  return findData_.get();
}

bool TNamespace::FileAttribute(DWORD bit) {
  GetDataFromIDList();
  return findData_ && GetFileSystem() && (findData_->dwFileAttributes & bit);
}

bool TNamespace::GetCompressed() {
  if (!cache_.compressed) cache_.compressed = FileAttribute(FILE_ATTRIBUTE_COMPRESSED);
  return *cache_.compressed;
}

std::wstring TNamespace::GetFileName() {
  GetDataFromIDList();
  if (!findData_ || !GetFileSystem()) return {};
  return std::wstring(findData_->cFileName, wcsnlen(findData_->cFileName, MAX_PATH));
}

std::wstring TNamespace::GetShortFileName() {
  GetDataFromIDList();
  if (!findData_ || !GetFileSystem()) return {};
  std::wstring s(findData_->cAlternateFileName, wcsnlen(findData_->cAlternateFileName, 14));
  if (s.empty()) s = WideUpperCase(GetFileName());
  return s;
}

std::wstring TNamespace::GetExtension() { return ExtractFileExtW<wchar_t>(GetNameParseAddress()); }

uint64_t TNamespace::GetSizeOfFileInt64() {
  GetDataFromIDList();
  if (!findData_ || !GetFileSystem()) return 0;
  return (uint64_t(findData_->nFileSizeHigh) << 32) | findData_->nFileSizeLow;
}

std::wstring TNamespace::GetSizeOfFile() {
  if (!cache_.sizeOfFile) {
    if (GetFolder() || !FindData() || !GetFileSystem()) cache_.sizeOfFile = std::wstring();
    else cache_.sizeOfFile = AddCommas<wchar_t>(std::to_wstring(GetSizeOfFileInt64()), ThousandSeparator());
  }
  return *cache_.sizeOfFile;
}

std::wstring TNamespace::GetSizeOfFileKB() {
  if (!cache_.sizeOfFileKB) {
    if (GetFolder() || !FindData() || !GetFileSystem()) cache_.sizeOfFileKB = std::wstring();
    else cache_.sizeOfFileKB = SizeInKbText<wchar_t>(GetSizeOfFileInt64(), ThousandSeparator());
  }
  return *cache_.sizeOfFileKB;
}

std::wstring TNamespace::GetSizeOfFileDiskUsage() {
  if (GetFolder() || !FindData() || !GetFileSystem()) return {};
  std::wstring root = ExtractFileDriveW<wchar_t>(GetNameForParsing()) + L"\\";
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!DirExistsW(root) || !GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
    return GetSizeOfFile();
  uint64_t cluster = uint64_t(sectorsPerCluster) * bytesPerSector;
  if (cluster == 0) return GetSizeOfFile();
  uint64_t size = GetSizeOfFileInt64();
  uint64_t used = (size + cluster - 1) / cluster * cluster;
  return AddCommas<wchar_t>(std::to_wstring(used), ThousandSeparator());
}

void TNamespace::GetFileTimes() {
  if (cache_.fileTimes) return;
  cache_.fileTimes = true;
  GetDataFromIDList();
  if (!findData_ || !GetFileSystem()) return;
  WIN32_FIND_DATAW fresh;
  FindHandle find(FindFirstFileW(GetNameParseAddress().c_str(), &fresh));
  if (!find) return;
  findData_->ftCreationTime = fresh.ftCreationTime;
  findData_->ftLastAccessTime = fresh.ftLastAccessTime;
  findData_->ftLastWriteTime = fresh.ftLastWriteTime;
}

FILETIME TNamespace::GetCreationTimeRaw() {
  GetFileTimes();
  return findData_ ? findData_->ftCreationTime : FILETIME{};
}
FILETIME TNamespace::GetLastAccessTimeRaw() {
  GetFileTimes();
  return findData_ ? findData_->ftLastAccessTime : FILETIME{};
}
FILETIME TNamespace::GetLastWriteTimeRaw() {
  GetDataFromIDList();
  return findData_ ? findData_->ftLastWriteTime : FILETIME{};
}

std::wstring TNamespace::GetCreationTime() {
  if (!cache_.creationTime)
    cache_.creationTime = GetFileSystem() ? ConvertTFileTimeToLocalStr(GetCreationTimeRaw()) : std::wstring();
  return *cache_.creationTime;
}
std::wstring TNamespace::GetLastAccessTime() {
  if (!cache_.lastAccessTime)
    cache_.lastAccessTime = GetFileSystem() ? ConvertTFileTimeToLocalStr(GetLastAccessTimeRaw()) : std::wstring();
  return *cache_.lastAccessTime;
}
std::wstring TNamespace::GetLastWriteTime() {
  if (!cache_.lastWriteTime)
    cache_.lastWriteTime = GetFileSystem() ? ConvertTFileTimeToLocalStr(GetLastWriteTimeRaw()) : std::wstring();
  return *cache_.lastWriteTime;
}

std::wstring TNamespace::ExplorerStyleAttributeStringList(bool capitalLetters) {
  std::wstring s;
  if (GetArchive()) s += L'A';
  if (GetHidden()) s += L'H';
  if (GetReadOnlyFile()) s += L'R';
  if (GetSystem()) s += L'S';
  if (GetCompressed()) s += L'C';
  return capitalLetters ? s : WideLowerCase(s);
}

std::wstring TNamespace::GetAttributesString() {
  return GetFileSystem() ? ExplorerStyleAttributeStringList(true) : std::wstring();
}

std::wstring TNamespace::GetFileType() {
  if (!cache_.fileType) {
    if (!shTypeName_) {
      SHFILEINFOW info{};
      std::wstring name;
      if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute_), 0, &info, sizeof info, SHGFI_PIDL | SHGFI_TYPENAME))
        name.assign(info.szTypeName, wcsnlen(info.szTypeName, 80));
      shTypeName_ = name;
    }
    std::wstring type = *shTypeName_;
    if (type.empty()) type = WideUpperCase(ExtractFileExtW<wchar_t>(GetNameForParsing())) + L" File";
    cache_.fileType = type;
  }
  return *cache_.fileType;
}

std::wstring TNamespace::GetInfoTip() {
  ComPtr<IQueryInfo> info = GetQueryInfoInterface();
  if (!info) return {};
  LPWSTR tip = nullptr;
  if (FAILED(info->GetInfoTip(0, &tip)) || !tip) return {};
  std::wstring s = tip;
  CoTaskMemFree(tip);
  return s;
}

bool TNamespace::SubItemsEx(DWORD flags) {
  if (IsRecycleBin()) return true;
  if (!GetFolder()) return false;
  ComPtr<IShellFolder> folder = GetShellFolder();
  if (!folder) return false;
  const ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);  // no system error boxes
  ComPtr<IEnumIDList> items;
  if (folder->EnumObjects(nullptr, flags, items.Put()) != S_OK || !items) return false;
  LPITEMIDLIST child = nullptr;
  if (items->Next(1, &child, nullptr) != S_OK) return false;
  CoTaskMemFree(child);
  return true;
}

bool TNamespace::SubFoldersEx(DWORD flags) { return SubItemsEx(flags); }

bool TNamespace::GetSubItems() { return SubItemsEx(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN); }

// -------------------------------------------------------------- special items

bool TNamespace::IsMyComputer() const { return DrivesFolder() && ILIsEqualSafe(absolute_, DrivesFolder()->AbsolutePIDL()); }
bool TNamespace::IsControlPanel() const {
  return ControlPanelFolder() && ILIsEqualSafe(absolute_, ControlPanelFolder()->AbsolutePIDL());
}
bool TNamespace::IsNetworkNeighborhood() const {
  return NetworkNeighborHoodFolder() && ILIsEqualSafe(absolute_, NetworkNeighborHoodFolder()->AbsolutePIDL());
}
bool TNamespace::IsNetworkNeighborhoodChild() const {
  return NetworkNeighborHoodFolder() && ILIsParentSafe(NetworkNeighborHoodFolder()->AbsolutePIDL(), absolute_, false);
}
bool TNamespace::IsRecycleBin() {
  if (!isRecycleBin_)
    // Lists of another depth differ without asking the shell to compare them.
    isRecycleBin_ = RecycleBinFolder() && IDListCount(absolute_) == IDListCount(RecycleBinFolder()->AbsolutePIDL()) &&
                    ILIsEqualSafe(absolute_, RecycleBinFolder()->AbsolutePIDL());
  return *isRecycleBin_;
}

// --------------------------------------------------------------------- icons

int TNamespace::ComputeIconIndex(bool open, int iconSize) {
  if (ComPtr<IShellIcon> icon = GetShellIconInterface()) {
    int index = 0;
    if (icon->GetIconOf(relative_, open ? GIL_OPENICON : 0, &index) == S_OK) return index;
  }
  SHFILEINFOW info{};
  UINT flags = SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SHELLICONSIZE;
  if (iconSize != 1) flags |= SHGFI_SMALLICON;
  if (open) flags |= SHGFI_OPENICON;
  if (!SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute_), 0, &info, sizeof info, flags)) return 0;
  return info.iIcon;
}

int TNamespace::GetIconIndex(bool openIcon, int iconSize, bool forceLoad) {
  if (!openIcon) {
    if (!cache_.iconIndex && forceLoad) cache_.iconIndex = ComputeIconIndex(false, iconSize);
    return cache_.iconIndex.value_or(-1);
  }
  if (!cache_.openIconIndex && forceLoad) {
    bool controlPanelChild =
        ControlPanelFolder() && ILIsParentSafe(ControlPanelFolder()->AbsolutePIDL(), absolute_, true);
    int index = controlPanelChild ? GetIconIndex(false, iconSize, true) : ComputeIconIndex(true, iconSize);
    if (index == 0) index = GetIconIndex(false, iconSize, true);
    cache_.openIconIndex = index;
  }
  return cache_.openIconIndex.value_or(-1);
}

int TNamespace::GetOverlayIndex() {
  if (!parent_) return -1;
  ComPtr<IShellIconOverlay> overlay = parent_->GetShellIconOverlayInterface();
  if (!overlay) return -1;
  int index = -1;
  if (FAILED(overlay->GetOverlayIndex(relative_, &index))) return -1;
  return index;
}

void TNamespace::SetIconIndexByThread(int index, bool clearLoading) {
  threadedIconLoaded_ = true;
  cache_.iconIndex = index;
  if (clearLoading) threadIconLoading_ = false;
  iconIndexChanged_ = true;
}

// ------------------------------------------------------------------ children

int TNamespace::EnumerateFolder(bool folders, bool nonFolders, bool includeHidden, const TEnumFolderCallback& callback) {
  const ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);  // no system error boxes
  ComPtr<IShellFolder> folder = GetShellFolder();
  if (!folder || !callback) return 0;
  ComPtr<IEnumIDList> items;
  if (folder->EnumObjects(nullptr, EnumFlags(folders, nonFolders, includeHidden), items.Put()) != S_OK || !items)
    return 0;
  int count = 0;
  bool terminate = false;
  LPITEMIDLIST child = nullptr;
  while (!terminate && items->Next(1, &child, nullptr) == S_OK) {
    if (callback(TPidl(child), *this, terminate)) ++count;
  }
  return count;
}

int TNamespace::ComparePIDL(LPCITEMIDLIST pidl, bool /*isAbsolute*/, int column) {
  if (!pidl) return -1;
  ComPtr<IShellFolder> parent = GetParentShellFolder();
  if (!parent) return 0;
  auto last = static_cast<LPCITEMIDLIST>(LastIDItem(pidl));
  HRESULT hr = parent->CompareIDs(static_cast<LPARAM>(column), last, relative_);
  return CompareIDsResult(hr, IDItemBytes(last), IDItemBytes(relative_));
}

void TNamespace::InvalidateCache() {
  cache_ = Cache{};
  InvalidateThumbImage();
}

void TNamespace::InvalidateNamespace(bool refreshIcon) {
  std::optional<int> icon, openIcon;
  if (!refreshIcon) {
    icon = cache_.iconIndex;
    openIcon = cache_.openIconIndex;
  } else {
    threadIconLoading_ = false;
    threadedIconLoaded_ = false;
  }
  InvalidateCache();
  if (ownedParent_) {
    ownedParent_.reset();
    parent_ = nullptr;
  }
  dropTarget_.Reset();
  details_.Reset();
  overlay_.Reset();
  folder_.Reset();
  if (parent_ && parent_->IsDesktop() && PhysicalDesktopFolder() && PhysicalDesktopFolder() != this)
    PhysicalDesktopFolder()->InvalidateNamespace(true);
  findData_.reset();
  shTypeName_.reset();
  shellDetailsSupported_ = true;
  shellFolder2Supported_ = true;
  queryInfo_.Reset();
  shellIcon_.Reset();
  currentContextMenu2_.Reset();
  currentContextMenu3_.Reset();
  if (!refreshIcon) {
    cache_.iconIndex = icon;
    cache_.openIconIndex = openIcon;
  }
}

void TNamespace::InvalidateRelativePIDL(bool folders, bool nonFolders, bool includeHidden) {
  ComPtr<IShellFolder> parentFolder = GetParentShellFolder();
  if (!parentFolder || !parent_) return;
  ComPtr<IEnumIDList> items;
  if (parentFolder->EnumObjects(nullptr, EnumFlags(folders, nonFolders, includeHidden), items.Put()) != S_OK || !items)
    return;
  LPITEMIDLIST child = nullptr;
  while (items->Next(1, &child, nullptr) == S_OK) {
    TPidl owner(child);
    if (ComparePIDL(child, false, 0) != 0) continue;
    TPidl fresh = TPIDLManager::AppendPIDL(parent_->AbsolutePIDL(), child);
    if (!fresh) return;
    if (freePidl_) CoTaskMemFree(absolute_);
    freePidl_ = true;
    SetLists(fresh.release());
    InvalidateNamespace(true);
    return;
  }
}

// ------------------------------------------------------------ process-wide

namespace {

struct ShellGlobals {
  std::unique_ptr<TPIDLManager> pidlMgr;
  // In the order they are made.
  std::array<std::unique_ptr<TNamespace>, 11> special;
};
ShellGlobals gShell;

enum SpecialSlot { kDesktop, kRecycleBin, kPhysicalDesktop, kDrives, kPrinters, kHistory, kControlPanel,
                   kNetwork, kTemplates, kMyDocuments, kFavorites };
constexpr int kSpecialCsidl[11] = {CSIDL_DESKTOP, CSIDL_BITBUCKET, CSIDL_DESKTOPDIRECTORY, CSIDL_DRIVES,
                                   CSIDL_PRINTERS, CSIDL_HISTORY, CSIDL_CONTROLS, CSIDL_NETWORK,
                                   CSIDL_TEMPLATES, CSIDL_PERSONAL, CSIDL_FAVORITES};

}  // namespace

TPIDLManager* PIDLMgr() { return gShell.pidlMgr.get(); }
TNamespace* DesktopFolder() { return gShell.special[kDesktop].get(); }
TNamespace* RecycleBinFolder() { return gShell.special[kRecycleBin].get(); }
TNamespace* PhysicalDesktopFolder() { return gShell.special[kPhysicalDesktop].get(); }
TNamespace* DrivesFolder() { return gShell.special[kDrives].get(); }
TNamespace* PrinterFolder() { return gShell.special[kPrinters].get(); }
TNamespace* HistoryFolder() { return gShell.special[kHistory].get(); }
TNamespace* ControlPanelFolder() { return gShell.special[kControlPanel].get(); }
TNamespace* NetworkNeighborHoodFolder() { return gShell.special[kNetwork].get(); }
TNamespace* TemplatesFolder() { return gShell.special[kTemplates].get(); }
TNamespace* MyDocumentsFolder() { return gShell.special[kMyDocuments].get(); }
TNamespace* FavoritesFolder() { return gShell.special[kFavorites].get(); }

void ShellInitialize() {
  if (gShell.pidlMgr) return;
  FileIconInit(true);
  RegisterShellClipboardFormats();
  gShell.pidlMgr = std::make_unique<TPIDLManager>();
  for (int i = 0; i < 11; ++i) gShell.special[i] = CreateSpecialNamespace(kSpecialCsidl[i]);
  CreateExplorerChangeDispatch();
  CreateGlobalViewManager();
}

void ShellFinalize() {
  FreeExplorerChangeDispatch();
  FreeGlobalViewManager();
  FreeChangeNotifier();
  FreeIconThreadGlobals();
  for (int slot : {kDesktop, kRecycleBin, kPhysicalDesktop, kDrives, kHistory, kPrinters, kControlPanel, kNetwork,
                   kTemplates, kMyDocuments, kFavorites})
    gShell.special[slot].reset();
  gShell.pidlMgr.reset();
}

}  // namespace kv
