#include "shell/change_threads_win.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstring>

namespace kv {

namespace {

constexpr wchar_t kNotifyWindowClass[] = L"lstLazyNotifyWndClass";
constexpr size_t kMaxWaitHandles = MAXIMUM_WAIT_OBJECTS;  // slot 0 included
constexpr DWORD kSpecialFolderFilter = 0x1F;

struct OleScope {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ~OleScope() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
};

// Waits for any of `handles` while delivering sent messages.
void WaitAnyDeliveringSentMessages(const HANDLE* handles, DWORD count) {
  for (;;) {
    DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + count) return;
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

// The values the shell passes for "Free Space" and "Update Image" in place of
// an item: bytes 2..5 and 6..9 of the first item, read only from an item
// long enough to hold them.
void ReadEventValues(LPCITEMIDLIST list, uint32_t& value1, uint32_t& value2) {
  value1 = value2 = 0;
  if (!list || list->mkid.cb < 10) return;
  auto* bytes = reinterpret_cast<const uint8_t*>(list);
  std::memcpy(&value1, bytes + 2, 4);
  std::memcpy(&value2, bytes + 6, 4);
}

}  // namespace

// ---- dispatch thread ------------------------------------------------------

TLazyChangeDispatchThread::TLazyChangeDispatchThread(TLazyChangeNotifier& notifier)
    : TLazyThread(true), notifier_(notifier), wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  SetPriority(TLazyThreadPriority::Normal);
  // Found here, before the first event can arrive, so that no early event
  // misses the recycle folders.
  FindRecycleFolders();
  // Set before the thread runs: an event added right after the resume must wake it.
  queue_.OnQueued = [this] { Wake(); };
}

TLazyChangeDispatchThread::~TLazyChangeDispatchThread() = default;

void TLazyChangeDispatchThread::FindRecycleFolders() {
  std::vector<TIDListBytes> folders;
  LPITEMIDLIST bin = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &bin)) && bin) {
    TPidl owned(bin);
    folders.push_back(CopyIDListBytes(owned.get()));
  } else {
    folders.emplace_back();
  }
  DWORD drives = GetLogicalDrives();
  for (int letter = 0; letter < 26; ++letter) {
    if (!(drives & (1u << letter))) continue;
    std::wstring root = {wchar_t(L'A' + letter), L':', L'\\'};
    if (GetDriveTypeW(root.c_str()) != DRIVE_FIXED) continue;
    // One of the two older names: "Recycler" only where "Recycled" does not parse.
    TPidl older = PathToPIDL(root + L"Recycled");
    if (!older) older = PathToPIDL(root + L"Recycler");
    if (older) folders.push_back(CopyIDListBytes(older.get()));
  }
  queue_.SetRecycleFolders(std::move(folders));
}

bool TLazyChangeDispatchThread::SleepUnlessTerminated(DWORD milliseconds) {
  while (milliseconds > 0 && !Terminated.load()) {
    DWORD step = milliseconds < 25 ? milliseconds : 25;
    Sleep(step);
    milliseconds -= step;
  }
  return !Terminated.load();
}

void TLazyChangeDispatchThread::Execute() {
  OleScope ole;
  while (!Terminated.load()) {
    WaitForSingleObject(wake_.Get(), INFINITE);
    if (Terminated.load()) break;
    // Out once a whole quiet period passed without a new event; told to stop,
    // the thread still hands out what it holds.
    do {
      if (!SleepUnlessTerminated(notifier_.QuietPeriod())) break;
    } while (queue_.TakeEventsArrived());
    // The wake event is reset under the working list's lock: an event queued
    // after the batch is taken wakes the thread for the next one.
    TLazyShellEventList* batch = queue_.TakeBatch([this] { ResetEvent(wake_.Get()); });
    if (!PostMessageW(notifier_.ListenerWindow(), WM_SHELLNOTIFY, reinterpret_cast<WPARAM>(batch), 0))
      batch->Release();
  }
}

// ---- shell thread ---------------------------------------------------------

TLazyShellChangeThread::TLazyShellChangeThread(TLazyChangeNotifier& notifier)
    : TLazyThread(true), notifier_(notifier), ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  SetPriority(TLazyThreadPriority::Normal);
}

TLazyShellChangeThread::~TLazyShellChangeThread() = default;

void TLazyShellChangeThread::Start() {
  SetSuspended(false);
  if (!Handle()) return;
  HANDLE handles[] = {ready_.Get(), Handle()};
  WaitAnyDeliveringSentMessages(handles, 2);
}

void TLazyShellChangeThread::PostQuit() {
  for (int attempt = 0; attempt <= 20; ++attempt) {
    if (PostThreadMessageW(ThreadID(), WM_NOTIFYTHREADQUIT, 0, 0)) return;
    if (Finished.load()) return;
    Sleep(200);
  }
}

void TLazyShellChangeThread::Execute() {
  OleScope ole;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW existing;
  if (!GetClassInfoW(instance, kNotifyWindowClass, &existing)) {
    WNDCLASSW wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = &NotifyWndProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(6));
    wc.lpszClassName = kNotifyWindowClass;
    RegisterClassW(&wc);
  }
  HWND window = CreateWindowExW(0, kNotifyWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, this);
  window_.store(window);
  if (window) {
    // The new delivery only where the shell can lock and unlock a delivered
    // notification (the exports numbered 644 and 645).
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    const bool newDelivery = shell && GetProcAddress(shell, MAKEINTRESOURCEA(644)) &&
                             GetProcAddress(shell, MAKEINTRESOURCEA(645));
    SHChangeNotifyEntry entry = {nullptr, TRUE};  // the whole namespace
    registration_ = SHChangeNotifyRegister(
        window, SHCNRF_InterruptLevel | SHCNRF_ShellLevel | (newDelivery ? SHCNRF_NewDelivery : 0), 0x7FFFFFFF,
        newDelivery ? WM_SHELLCHANGENOTIFY : WM_SHELLCHANGENOTIFYOLD, 1, &entry);
  }
  SetEvent(ready_.Get());
  if (!window) return;

  MSG msg;
  while (!Terminated.load()) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got < 0) break;     // a failing queue would fail again at once
    if (got == 0) continue;  // quit: the terminate flag decides
    if (msg.hwnd == nullptr && msg.message == WM_NOTIFYTHREADQUIT) {
      PostQuitMessage(0);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }

  if (registration_) SHChangeNotifyDeregister(registration_);
  registration_ = 0;
  // Events posted to the window but not yet handled still own their lists.
  while (PeekMessageW(&msg, window, WM_POSTSHELLNOTIFYEVENT, WM_POSTSHELLNOTIFYEVENT, PM_REMOVE))
    std::unique_ptr<TPidlPair> dropped(reinterpret_cast<TPidlPair*>(msg.wParam));
  window_.store(nullptr);
  DestroyWindow(window);
  UnregisterClassW(kNotifyWindowClass, instance);
}

LRESULT CALLBACK TLazyShellChangeThread::NotifyWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return 1;
  }
  auto* self = reinterpret_cast<TLazyShellChangeThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, msg, wParam, lParam);
  try {
    return self->HandleMessage(window, msg, wParam, lParam);
  } catch (...) {
    return 0;  // an event that could not be made is dropped
  }
}

LRESULT TLazyShellChangeThread::HandleMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SHELLCHANGENOTIFY: {
      PIDLIST_ABSOLUTE* lists = nullptr;
      LONG event = 0;
      HANDLE lock = SHChangeNotification_Lock(reinterpret_cast<HANDLE>(wParam), static_cast<DWORD>(lParam), &lists,
                                              &event);
      if (!lock) return 0;
      try {
        AddEventToList(event, lists ? lists[0] : nullptr, lists ? lists[1] : nullptr);
      } catch (...) {
        SHChangeNotification_Unlock(lock);
        throw;
      }
      SHChangeNotification_Unlock(lock);
      return 0;
    }
    case WM_SHELLCHANGENOTIFYOLD: {
      auto* lists = reinterpret_cast<LPCITEMIDLIST*>(wParam);
      AddEventToList(static_cast<LONG>(lParam), lists ? lists[0] : nullptr, lists ? lists[1] : nullptr);
      return 0;
    }
    case WM_POSTSHELLNOTIFYEVENT: {
      std::unique_ptr<TPidlPair> pair(reinterpret_cast<TPidlPair*>(wParam));
      if (pair) AddEventToList(static_cast<LONG>(lParam), pair->First.get(), pair->Second.get());
      return 0;
    }
    default:
      return DefWindowProcW(window, msg, wParam, lParam);
  }
}

void TLazyShellChangeThread::AddEventToList(LONG flag, LPCITEMIDLIST list1, LPCITEMIDLIST list2) {
  // Changes the shell learnt of at interrupt level carry one more bit.
  auto kind = ShellEventKindFromFlag(static_cast<uint32_t>(flag) & ~static_cast<uint32_t>(SHCNE_INTERRUPT));
  if (!kind) return;
  if (*kind == TShellEventKind::FreeSpace || *kind == TShellEventKind::UpdateImage) {
    uint32_t value1, value2;
    ReadEventValues(list1, value1, value2);
    notifier_.DispatchEvent(*kind, nullptr, nullptr, value1, value2);
  } else {
    notifier_.DispatchEvent(*kind, list1, list2, 0, 0);
  }
}

// ---- kernel thread --------------------------------------------------------

TLazyKernelChangeThread::TLazyKernelChangeThread(TLazyChangeNotifier& notifier)
    : TLazyThread(true), notifier_(notifier), rebuild_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  SetPriority(TLazyThreadPriority::Normal);
}

TLazyKernelChangeThread::~TLazyKernelChangeThread() = default;

void TLazyKernelChangeThread::AddSpecialFolder(std::wstring path, TPidl fileSystemList, TPidl virtualList) {
  {
    std::lock_guard<std::mutex> hold(specialLock_);
    specialPaths_.push_back(std::move(path));
    fileSystemLists_.Add(fileSystemList.release());
    virtualLists_.Add(virtualList.release());
  }
  TriggerEvent();
}

void TLazyKernelChangeThread::RebuildWatchNotify(std::vector<HANDLE>& handles, std::vector<Slot>& slots) {
  handles.assign(1, rebuild_.Get());
  slots.clear();
  slots.emplace_back();
  auto add = [&](const std::wstring& folder, DWORD filter, TPidl list) {
    if (handles.size() >= kMaxWaitHandles || !list) return;
    HANDLE change = FindFirstChangeNotificationW(folder.c_str(), FALSE, filter);
    if (change == INVALID_HANDLE_VALUE) return;
    handles.push_back(change);
    slots.push_back({change, std::move(list)});
  };
  {
    std::lock_guard<std::mutex> hold(specialLock_);
    for (size_t i = 0; i < specialPaths_.size(); ++i)
      add(specialPaths_[i], kSpecialFolderFilter, TPIDLManager::CopyPIDL(fileSystemLists_[i]));
  }
  for (const TKernelWatch& watch : notifier_.KernelWatches()) {
    if (handles.size() >= kMaxWaitHandles) break;
    add(watch.Folder, watch.Filter, PathToPIDL(watch.Folder));
  }
  watched_.store(handles.size() - 1);
  rebuilds_.fetch_add(1);
}

void TLazyKernelChangeThread::Report(LPCITEMIDLIST list) {
  notifier_.DispatchEvent(TShellEventKind::UpdateDirectory, list, list, 0, 0);
  // The same change seen where the special folder sits in the namespace.
  TPidl mapped;
  {
    std::lock_guard<std::mutex> hold(specialLock_);
    for (size_t i = 0; i < fileSystemLists_.Count(); ++i) {
      LPCITEMIDLIST folder = fileSystemLists_[i];
      if (!ILIsEqualSafe(folder, list) && !ILIsParentSafe(folder, list, false)) continue;
      LPCITEMIDLIST rest = list;
      for (size_t n = TPIDLManager::IDCount(folder); n > 0; --n) rest = TPIDLManager::NextID(rest);
      if (virtualLists_[i]) mapped = TPIDLManager::AppendPIDL(virtualLists_[i], rest);
      break;
    }
  }
  if (mapped) notifier_.DispatchEvent(TShellEventKind::UpdateDirectory, mapped.get(), mapped.get(), 0, 0);
}

void TLazyKernelChangeThread::Execute() {
  OleScope ole;
  std::vector<HANDLE> handles;
  std::vector<Slot> slots;
  struct CloseOnExit {
    std::vector<HANDLE>& handles;
    ~CloseOnExit() {
      for (size_t i = 1; i < handles.size(); ++i) FindCloseChangeNotification(handles[i]);
    }
  } closer{handles};
  while (!Terminated.load()) {
    ResetEvent(rebuild_.Get());
    RebuildWatchNotify(handles, slots);
    for (;;) {
      DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
      if (result <= WAIT_OBJECT_0 || result >= WAIT_OBJECT_0 + handles.size() || Terminated.load()) break;
      size_t index = result - WAIT_OBJECT_0;
      Report(slots[index].list.get());
      if (!FindNextChangeNotification(handles[index])) {
        // Left out until the next rebuild: waiting on it again would spin.
        FindCloseChangeNotification(handles[index]);
        handles.erase(handles.begin() + static_cast<ptrdiff_t>(index));
        slots.erase(slots.begin() + static_cast<ptrdiff_t>(index));
        watched_.store(handles.size() - 1);
      }
    }
    for (size_t i = 1; i < handles.size(); ++i) FindCloseChangeNotification(handles[i]);
    handles.resize(1);
    slots.resize(1);
  }
}

}  // namespace kv
