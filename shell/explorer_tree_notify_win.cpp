// The explorer tree's side of the change notifier: registration, the handling
// of each batch of shell events, the merge of a folder's new content into its
// existing nodes, and the forced rebuild of the shell's icon cache.
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/scope_guard.h"
#include "shell/change_notifier_win.h"
#include "shell/com_ptr_win.h"
#include "shell/explorer_tree_win.h"
#include "shell/icon_thread_win.h"
#include "shell/id_list.h"

namespace kv {

namespace {

constexpr wchar_t kMetricsKey[] = L"Control Panel\\Desktop\\WindowMetrics";
constexpr wchar_t kIconSizeValue[] = L"Shell Icon Size";
constexpr UINT kMetricsAction = 42;  // SPI_SETNONCLIENTMETRICS
constexpr UINT kBroadcastTimeout = 2000;
constexpr size_t kReadGrowth = 8192;

void AnnounceMetricsChange() {
  DWORD_PTR answer = 0;
  // A hung window must not hold the program.
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, kMetricsAction, reinterpret_cast<LPARAM>(L"WindowMetrics"),
                      SMTO_ABORTIFHUNG, kBroadcastTimeout, &answer);
}

// Holds the user's "Shell Icon Size" as it was and puts it back exactly when
// it goes (removed again when it was absent), then tells every window.
class TIconSizeGuard {
 public:
  explicit TIconSizeGuard(HKEY key) : key_(key) {
    DWORD size = 0;
    if (RegQueryValueExW(key_, kIconSizeValue, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
      bytes_.resize(size);
      had_ = RegQueryValueExW(key_, kIconSizeValue, nullptr, &type_, bytes_.data(), &size) == ERROR_SUCCESS;
      bytes_.resize(size);
    }
  }
  ~TIconSizeGuard() {
    if (had_)
      RegSetValueExW(key_, kIconSizeValue, 0, type_, bytes_.data(), static_cast<DWORD>(bytes_.size()));
    else
      RegDeleteValueW(key_, kIconSizeValue);
    AnnounceMetricsChange();
    FileIconInit(true);
  }
  TIconSizeGuard(const TIconSizeGuard&) = delete;
  TIconSizeGuard& operator=(const TIconSizeGuard&) = delete;

  // The size in force: the stored text as a number, else the system's icon width.
  int Current() const {
    if (had_ && (type_ == REG_SZ || type_ == REG_EXPAND_SZ)) {
      std::wstring text(reinterpret_cast<const wchar_t*>(bytes_.data()), bytes_.size() / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      int value = 0;
      bool digits = !text.empty() && text.size() < 6;
      for (wchar_t c : text) {
        if (c < L'0' || c > L'9') digits = false;
        else value = value * 10 + (c - L'0');
      }
      if (digits) return value;
    }
    return GetSystemMetrics(SM_CXICON);
  }

 private:
  HKEY key_;
  DWORD type_ = REG_SZ;
  std::vector<BYTE> bytes_;
  bool had_ = false;
};

struct TKeyCloser {
  HKEY key = nullptr;
  ~TKeyCloser() {
    if (key) RegCloseKey(key);
  }
};

DWORD EnumFlagsOf(uint32_t fileObjects) {
  DWORD flags = 0;
  if (fileObjects & foFolders) flags |= SHCONTF_FOLDERS;
  if (fileObjects & foNonFolders) flags |= SHCONTF_NONFOLDERS;
  if (fileObjects & foHidden) flags |= SHCONTF_INCLUDEHIDDEN;
  return flags;
}

bool IsDesktopList(LPCITEMIDLIST list) { return list && list->mkid.cb == 0; }

std::wstring DriveOf(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':' ? std::wstring(1, static_cast<wchar_t>(towupper(path[0]))) : L"";
}

// Releases a batch once, however its handling ends.
struct TBatchReleaser {
  TLazyShellEventList* batch;
  ~TBatchReleaser() {
    if (batch) batch->Release();
  }
};

}  // namespace

void TCustomLazyExplorerTree::SetExplorerMiscOptions(uint32_t value) {
  const uint32_t before = explorerOptions_->misc_;
  // Tracking mapped drives needs the notifier, and goes when the notifier goes.
  if (((before ^ value) & toTrackChangesInMappedDrives) && (value & toTrackChangesInMappedDrives) &&
      !(before & toChangeNotifierThread))
    value |= toChangeNotifierThread;
  if (((before ^ value) & toChangeNotifierThread) && !(value & toChangeNotifierThread))
    value &= ~uint32_t(toTrackChangesInMappedDrives);
  explorerOptions_->misc_ = value;
  if (((before ^ value) & toChangeNotifierThread) && HandleAllocated())
    SetChangeNotiferEnabled((value & toChangeNotifierThread) != 0);
}

void TCustomLazyExplorerTree::SetChangeNotiferEnabled(bool enable) {
  if (enable == changeNotifierEnabled_ || Loading()) return;
  if (!enable) {
    // Batches already posted are handled now, so none is lost (or leaked).
    if (HandleAllocated()) DrainShellNotifications(!Destroying());
    ChangeNotifier().UnRegisterShellChangeNotify(this);
    changeNotifierEnabled_ = false;
  } else if (ExplorerMiscOptions() & toChangeNotifierThread) {
    changeNotifierEnabled_ = ChangeNotifier().RegisterShellChangeNotify(this);
  }
}

void TCustomLazyExplorerTree::DrainShellNotifications(bool handle) {
  HWND window = HandleIfAllocated();
  MSG msg;
  while (window && PeekMessageW(&msg, window, WM_SHELLNOTIFY, WM_SHELLNOTIFY, PM_REMOVE)) {
    auto* batch = reinterpret_cast<TLazyShellEventList*>(msg.wParam);
    if (handle) WMShellNotify(batch);
    else if (batch) batch->Release();
  }
}

void TCustomLazyExplorerTree::InitHandle() {
  TCustomLazyStringTree::InitHandle();
  SetThreadedImagesEnabled((ExplorerImageOptions() & toThreadedImages) != 0);
  SetChangeNotiferEnabled((ExplorerMiscOptions() & toChangeNotifierThread) != 0);
  RebuildHeader(rootNamespace_.get());
  // A window made again (a new parent, a style change) may show other icon
  // sizes and text: every existing node's item fetches its data anew.
  if (hiddenRootNamespace_) hiddenRootNamespace_->InvalidateNamespace(true);
  for (PLazyNode node = GetFirstNoInit(); node; node = GetNextNoInit(node)) {
    TNamespace* ns = nullptr;
    if (ValidateNamespace(node, ns)) ns->InvalidateNamespace(true);
  }
}

void TCustomLazyExplorerTree::WndProc(ui::TMessage& m) {
  if (ShellCommandMessage(m)) return;
  switch (m.msg) {
    case WM_SHELLNOTIFY:
      WMShellNotify(reinterpret_cast<TLazyShellEventList*>(m.wParam));
      m.result = 0;
      return;
    case WM_LTSETICONINDEX:
      WMLTSetIconIndex(reinterpret_cast<TImageThreadItem*>(m.wParam));
      m.result = 0;
      return;
    case WM_DESTROY:
      // The window goes: what is still queued is released unread.
      SetThreadedImagesEnabled(false);
      if (changeNotifierEnabled_) {
        DrainShellNotifications(false);
        ChangeNotifier().UnRegisterShellChangeNotify(this);
        changeNotifierEnabled_ = false;
      }
      break;
    case WM_QUERYENDSESSION:
      SetChangeNotiferEnabled(false);
      m.result = 1;
      return;
    case WM_MOUSEMOVE:
      if (missedNotification_ && !ShellMenuOrDragActive()) {
        missedNotification_ = false;
        RefreshTree(false);
      }
      break;
    default:
      break;
  }
  TCustomLazyStringTree::WndProc(m);
}

bool TCustomLazyExplorerTree::ShellMenuOrDragActive() {
  // A drag out of this tree (OLE's loop runs) or one into it: a batch could
  // free the nodes the drag works with.
  const auto states = TreeStates();
  return states.Contains(tsOLEDragging) || states.Contains(tsControlDragging) || IsDropTarget() ||
         states.Contains(tsPopupShown) || contextMenuManager_->MenuPending();
}

void TCustomLazyExplorerTree::DoShellNotify(TLazyShellEvent& event) {
  if (OnShellNotify) OnShellNotify(*this, event);
}

void TCustomLazyExplorerTree::WMShellNotify(TLazyShellEventList* batch) {
  TBatchReleaser release{batch};
  if (!batch) return;
  if (ShellMenuOrDragActive()) {
    missedNotification_ = true;
    return;
  }
  // Handled in place under the list's lock, so that an event one control
  // marks handled is skipped by the controls that read the list after it.
  std::lock_guard<std::recursive_mutex> hold(batch->Lock());
  for (const auto& event : batch->Events())
    if (event) HandleShellEvent(*event);
}

void TCustomLazyExplorerTree::HandleShellEvent(TLazyShellEvent& event) {
  using K = TShellEventKind;
  DoShellNotify(event);
  if (event.Handled || IsAnyEditing()) return;
  auto item = static_cast<LPCITEMIDLIST>(event.Item1());
  auto parent = static_cast<LPCITEMIDLIST>(event.Parent1());
  const bool resort = !(fileObjects_ & foNonFolders);
  const bool restoreTop = (ExplorerMiscOptions() & toRestoreTopNodeOnRefresh) != 0;

  if ((ExplorerMiscOptions() & toTrackChangesInMappedDrives) && event.Kind == K::UpdateDirectory && item) {
    std::wstring drive = DriveOf(PIDLToPath(item));
    if (!drive.empty() && GetDriveTypeW((drive + L":\\").c_str()) == DRIVE_REMOTE) {
      if (PLazyNode node = FindNodeByPIDL(item)) RefreshNode(node);
      return;
    }
  }

  switch (event.Kind) {
    case K::AssocChanged:
      ForceIconCachRebuild();
      break;
    case K::Attributes:
      InvalidateChildNamespaces(InternalWalkPIDLToNode(parent), false);
      break;
    case K::ItemCreate:
    case K::ItemDelete:
    case K::MakeDirectory:
    case K::RemoveDirectory:
      break;
    case K::DriveAdd:
    case K::DriveAddGUI:
    case K::DriveRemoved:
    case K::FolderRename:
    case K::ItemRename:
      if (PLazyNode node = InternalWalkPIDLToNode(parent)) ReReadAndRefreshNode(node, resort);
      break;
    case K::FreeSpace: {
      LPITEMIDLIST drives = nullptr;
      if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives)) && drives) {
        TPidl owned(drives);
        InvalidateChildNamespaces(InternalWalkPIDLToNode(owned.get()), false);
      }
      break;
    }
    case K::MediaInserted:
    case K::MediaRemoved: {
      if (!item) break;
      if (auto ns = TNamespace::CreateShared(const_cast<LPITEMIDLIST>(item))) {
        if (ComPtr<IShellFolder> folder = ns->GetParentShellFolder()) {
          LPCITEMIDLIST last = ns->RelativePIDL();
          SFGAOF attributes = 0x01000000;  // validate the item
          folder->GetAttributesOf(1, &last, &attributes);
        }
      }
      if (PLazyNode node = InternalWalkPIDLToNode(item)) {
        RefreshNode(node);
      } else if (rootNamespace_) {
        std::wstring drive = DriveOf(PIDLToPath(item));
        if (!drive.empty() && drive == DriveOf(rootNamespace_->GetNameForParsing())) RefreshTree(restoreTop);
      }
      break;
    }
    case K::NetShare:
    case K::NetUnShare:
    case K::ServerDisconnect:
    case K::UpdateItem: {
      PLazyNode node = InternalWalkPIDLToNode(item);
      TNamespace* ns = nullptr;
      if (!ValidateNamespace(node, ns)) break;
      BeginUpdate();
      ns->InvalidateRelativePIDL(fileObjects_ & foFolders, fileObjects_ & foNonFolders, fileObjects_ & foHidden);
      if (!IsRoot(node)) InvalidateNode(node);
      EndUpdate();
      break;
    }
    case K::UpdateDirectory:
      if (!item) break;
      if (IsDesktopList(item)) RefreshTree(restoreTop);
      else if (PLazyNode node = InternalWalkPIDLToNode(item)) ReReadAndRefreshNode(node, resort);
      break;
    case K::UpdateImage:
      InvalidateImageByIndex(static_cast<int>(event.Value1));
      break;
  }
}

void TCustomLazyExplorerTree::ReReadAndRefreshNode(PLazyNode node, bool resort) {
  TNamespace* ns = nullptr;
  if (!ValidateNamespace(node, ns)) return;
  // A folder that was never read stays unread: its children come when it
  // expands. One without an expand button (never read, or read and found
  // empty) asks the shell again whether it has children now, so a new
  // subfolder gives it its button.
  if (!IsRoot(node) && node->ChildCount == 0 && !Expanded(node)) {
    if (!HasChildren(node)) {
      ns->InvalidateCache();
      if (ItemHasChildren(*ns, node->Parent && !IsRoot(node->Parent) ? node->Parent : nullptr)) {
        SetHasChildren(node, true);
        InvalidateNode(node);
      }
    }
    return;
  }

  struct TChild {
    PLazyNode node;
    TNamespace* ns;
  };
  std::vector<TChild> existing;
  for (PLazyNode child = node->FirstChild; child; child = child->NextSibling) {
    TNamespace* childNs = nullptr;
    if (ValidateNamespace(child, childNs)) existing.push_back({child, childNs});
  }
  ns->InvalidateNamespace(true);
  ComPtr<IShellFolder> folder = ns->GetShellFolder();
  ComPtr<IEnumIDList> items;
  if (!folder || folder->EnumObjects(nullptr, EnumFlagsOf(fileObjects_), items.Put()) != S_OK || !items) {
    RefreshNode(node);
    return;
  }
  auto compare = [&folder](LPCITEMIDLIST a, LPCITEMIDLIST b) {
    return CompareIDsResult(folder->CompareIDs(0, a, b), IDItemBytes(a), IDItemBytes(b));
  };
  std::vector<TPidl> fresh;
  LPITEMIDLIST child = nullptr;
  while (items->Next(1, &child, nullptr) == S_OK) {
    if (fresh.size() == fresh.capacity()) fresh.reserve(fresh.size() + kReadGrowth);
    fresh.emplace_back(child);
  }
  std::sort(fresh.begin(), fresh.end(), [&](const TPidl& a, const TPidl& b) { return compare(a.get(), b.get()) < 0; });
  std::sort(existing.begin(), existing.end(),
            [&](const TChild& a, const TChild& b) { return compare(a.ns->RelativePIDL(), b.ns->RelativePIDL()) < 0; });

  const bool checks = HasOption(toCheckSupport);
  size_t deleted = 0;
  auto add = [&](TPidl list) {
    auto item = std::make_unique<TNamespace>(std::move(list), ns);
    // The same choice as the first enumeration of the folder.
    if ((ExplorerFolderOptions() & toForceHideRecycleBin) && item->IsRecycleBin()) return;
    if (!DoEnumFolder(*item)) return;
    AddCustomNode(node, std::move(item), ctTriStateCheckBox, checks);
  };
  auto remove = [&](const TChild& gone) {
    if (checks) GetNewStorage()->Delete(StorageBytes(gone.ns->AbsolutePIDL()), kStoreCheck, false, false);
    DoNamespaceStructureChange(gone.node, *gone.ns, nscDelete);
    DeleteNode(gone.node, false);
    ++deleted;
  };

  BeginUpdate();
  size_t i = 0, j = 0;
  while (i < fresh.size() && j < existing.size()) {
    int order = compare(fresh[i].get(), existing[j].ns->RelativePIDL());
    if (order == 0) {
      ++i;
      ++j;
    } else if (order < 0) {
      add(std::move(fresh[i++]));
    } else {
      remove(existing[j++]);
    }
  }
  for (; i < fresh.size(); ++i) add(std::move(fresh[i]));
  for (; j < existing.size(); ++j) remove(existing[j]);
  if (deleted > 0) {
    uint32_t index = 0;
    for (PLazyNode c = node->FirstChild; c; c = c->NextSibling) c->Index = index++;
  }
  EndUpdate();
  if (resort && node->ChildCount > 1) Sort(node, HeaderSortColumn(), HeaderSortDirection(), false);
}

void TCustomLazyExplorerTree::ForceIconCachRebuild() {
  if (ExplorerMiscOptions() & toNoRebuildIconListOnAssocChange) return;
  {
    // The image setter's rebuild would discard the expansion that the
    // refresh below saves and restores: it waits for that refresh.
    iconCacheRebuilding_ = true;
    const ScopeGuard rebuildsAgain([this] { iconCacheRebuilding_ = false; });
    // Images go off while the cache is rebuilt and come back as they were.
    struct TImagesBack {
      TCustomLazyExplorerTree& tree;
      uint32_t images;
      ~TImagesBack() { tree.SetExplorerImageOptions((tree.ExplorerImageOptions() & ~uint32_t(toImages)) | images); }
    } imagesBack{*this, ExplorerImageOptions() & toImages};
    SetExplorerImageOptions(ExplorerImageOptions() & ~uint32_t(toImages));
    TKeyCloser key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kMetricsKey, 0, 0x2001F, &key.key) == ERROR_SUCCESS) {
      TIconSizeGuard restore(key.key);
      std::wstring bigger = std::to_wstring(restore.Current() + 1);
      RegSetValueExW(key.key, kIconSizeValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(bigger.c_str()),
                     static_cast<DWORD>((bigger.size() + 1) * sizeof(wchar_t)));
      AnnounceMetricsChange();
      FileIconInit(true);
      if (OnIconCacheRebuilding) OnIconCacheRebuilding();
    }
  }
  RefreshTree((ExplorerMiscOptions() & toRestoreTopNodeOnRefresh) != 0);
}

void TCustomLazyExplorerTree::InvalidateImageByIndex(int index) {
  // Depth first, children before their folder.
  auto visit = [&](auto&& self, PLazyNode parent) -> void {
    for (PLazyNode child = parent->ChildCount ? parent->FirstChild : nullptr; child; child = child->NextSibling) {
      self(self, child);
      TNamespace* ns = nullptr;
      if (!ValidateNamespace(child, ns)) continue;
      const int size = (ExplorerImageOptions() & toLargeImages) ? 1 : 0;
      if (ns->GetIconIndex(false, size, false) == index || ns->GetIconIndex(true, size, false) == index) {
        ns->InvalidateNamespace(true);
        InvalidateNode(child);
      }
    }
  };
  HCURSOR old = ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // the wait cursor
  visit(visit, RootNode());
  ::SetCursor(old);
}

// ------------------------------------------------------------ background icons

void TCustomLazyExplorerTree::SetThreadedImagesEnabled(bool enable) {
  if (enable == threadedImagesEnabled_ || Loading()) return;
  if (!enable) {
    // Answers already posted are delivered, then the queued requests dropped.
    WithdrawIconRequests();
    ImageThreadManager().UnRegisterControl(this);
    threadedImagesEnabled_ = false;
  } else {
    ImageThreadManager().RegisterControl(this);
    threadedImagesEnabled_ = true;
  }
}

void TCustomLazyExplorerTree::WithdrawIconRequest(PLazyNode node) {
  if (!threadedImagesEnabled_ || !iconRequests_.contains(node)) return;
  ImageThreadManager().ClearPendingItem(this, HandleIfAllocated(), node, WM_LTSETICONINDEX);
  iconRequests_.erase(node);
}

void TCustomLazyExplorerTree::WithdrawIconRequests() {
  if (!threadedImagesEnabled_) return;
  ImageThreadManager().ClearPendingItems(this, HandleIfAllocated(), WM_LTSETICONINDEX);
  // What is still out was dropped unanswered: its items ask again when next painted.
  for (const auto& [node, serial] : iconRequests_) {
    TNamespace* ns = nullptr;
    if (ValidateNamespace(node, ns)) ns->SetThreadIconLoading(false);
    if (!Destroying() && !IsRoot(node) && !node->States.Contains(nsBeingDeleted)) InvalidateNode(node);
  }
  iconRequests_.clear();
}

void TCustomLazyExplorerTree::DoCollapsed(PLazyNode node) {
  TCustomLazyStringTree::DoCollapsed(node);
  // A browse collapses and expands on its way; its requests stay queued.
  if (!browsing_) WithdrawIconRequests();
}

void TCustomLazyExplorerTree::WMLTSetIconIndex(TImageThreadItem* item) {
  if (!item) return;
  auto node = static_cast<PLazyNode>(item->Data);
  TNamespace* ns = nullptr;
  // Requests are withdrawn before their node goes, but an answer taken off
  // the queue just before may still be on its way: it counts only when it
  // answers the node's current request.
  auto out = iconRequests_.find(node);
  const bool known = out != iconRequests_.end() && out->second == item->Serial;
  if (known) iconRequests_.erase(out);
  if (known && !Destroying() && ValidateNamespace(node, ns)) {
    ns->SetIconIndexByThread(item->ImageIndex, true);
    if (!IsRoot(node) && !node->States.Contains(nsBeingDeleted)) {
      const TLazyRect r = InvalidateNode(node);
      // Under a drag the new icon shows at once, the drag image kept over it.
      if (Dragging() && GetDragManager().GetDragSource())
        UpdateWindowAndDragImage(*GetDragManager().GetDragSource(), RECT{r.Left, r.Top, r.Right, r.Bottom}, false,
                                 true);
    }
  }
  // Handed back in every case, so no answer is leaked.
  ImageThreadManager().ReleaseItem(item);
}

int TCustomLazyExplorerTree::PlaceholderImage(TNamespace& ns) {
  return ns.GetFolder() && ns.GetFileSystem() ? defaultFolderImage_ : defaultDocumentImage_;
}

}  // namespace kv
