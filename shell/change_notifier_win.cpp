#include "shell/change_notifier_win.h"

#include <new>
#include <stdexcept>

#include "shell/change_threads_win.h"
#include "ui/control_win.h"

namespace kv {

namespace {

constexpr wchar_t kListenerClass[] = L"TLazyChangeListener";

std::unique_ptr<TLazyChangeNotifier> gNotifier;

}  // namespace

DWORD MapNotifyEvents(TKernelNotifyEvents events) {
  static constexpr DWORD kFilters[] = {
      FILE_NOTIFY_CHANGE_FILE_NAME,   FILE_NOTIFY_CHANGE_DIR_NAME,    FILE_NOTIFY_CHANGE_ATTRIBUTES,
      FILE_NOTIFY_CHANGE_SIZE,        FILE_NOTIFY_CHANGE_LAST_WRITE,  FILE_NOTIFY_CHANGE_LAST_ACCESS,
      FILE_NOTIFY_CHANGE_CREATION,    FILE_NOTIFY_CHANGE_SECURITY,
  };
  DWORD filter = 0;
  for (unsigned i = 0; i < 8; ++i)
    if (events & (1u << i)) filter |= kFilters[i];
  return filter;
}

bool TShellIDListComparer::IsEqual(const void* a, const void* b) const {
  return ILIsEqualSafe(static_cast<LPCITEMIDLIST>(a), static_cast<LPCITEMIDLIST>(b));
}

bool TShellIDListComparer::IsParent(const void* parent, const void* child) const {
  auto p = static_cast<LPCITEMIDLIST>(parent);
  auto c = static_cast<LPCITEMIDLIST>(child);
  return ILIsEqualSafe(p, c) || ILIsParentSafe(p, c, false);
}

TLazyChangeNotifier::TLazyChangeNotifier() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW existing;
  if (!GetClassInfoW(instance, kListenerClass, &existing)) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &ListenerWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = kListenerClass;
    RegisterClassW(&wc);
  }
  listener_ = CreateWindowExW(0, kListenerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
  if (!listener_) throw std::runtime_error("The change notifier's listener window could not be made");
}

TLazyChangeNotifier::~TLazyChangeNotifier() {
  // A thread still counted here is a control that never unregistered: a
  // programming error, told; whatever is still registered goes with the notifier.
  auto check = [this](bool holds, const char* text) {
    if (holds) return;
    if (assertionReport_) assertionReport_(text);
    else OutputDebugStringA(text);
  };
  check(!kernelThread_ || kernelThread_->RefCount() <= 0, "A KernelChangeNotifier is still registered with a Control");
  check(!shellThread_ || shellThread_->RefCount() <= 0, "A ShellChangeThread is still registered with a Control");
  check(!dispatchThread_ || dispatchThread_->RefCount() <= 0, "ChangeDispatchThread is still registered");
  {
    std::lock_guard<std::recursive_mutex> hold(controlsLock_);
    controls_.clear();
    UpdateKernelWatches();
  }
  if (kernelThread_) FreeKernelNotifyThread();
  if (shellThread_) FreeShellNotifyThread();
  if (dispatchThread_) FreeChangeDispatchThread();
  // Batches the listener has not handed on yet.
  MSG msg;
  while (PeekMessageW(&msg, listener_, WM_SHELLNOTIFY, WM_SHELLNOTIFY, PM_REMOVE))
    if (msg.wParam) reinterpret_cast<TLazyShellEventList*>(msg.wParam)->Release();
  DestroyWindow(listener_);
  UnregisterClassW(kListenerClass, GetModuleHandleW(nullptr));
}

LRESULT CALLBACK TLazyChangeNotifier::ListenerWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, msg, wParam, lParam);
  }
  if (msg == WM_SHELLNOTIFY) {
    auto* self = reinterpret_cast<TLazyChangeNotifier*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    auto* batch = reinterpret_cast<TLazyShellEventList*>(wParam);
    if (!batch) return 0;
    if (!self) {
      batch->Release();
      return 0;
    }
    try {
      self->HandOut(batch);
    } catch (...) {
      // The control list's lock failed: the batch is lost, not leaked.
      batch->Release();
    }
    return 0;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

void TLazyChangeNotifier::HandOut(TLazyShellEventList* batch) {
  {
    std::lock_guard<std::recursive_mutex> hold(controlsLock_);
    batch->AddRef(static_cast<int32_t>(controls_.size()));
    for (const auto& record : controls_) {
      HWND window = record->Control ? record->Control->HandleIfAllocated() : nullptr;
      if (!window || !PostMessageW(window, WM_SHELLNOTIFY, reinterpret_cast<WPARAM>(batch), 0)) batch->Release();
    }
  }
  batch->Release();
}

TLazyChangeControl* TLazyChangeNotifier::FindRegisteredControl(TControl* control) {
  for (const auto& record : controls_)
    if (record->Control == control) return record.get();
  return nullptr;
}

// A record that cannot be added is freed again; the caller reports false.
TLazyChangeControl* TLazyChangeNotifier::AddRecord(TControl* control) noexcept {
  try {
    auto made = std::make_unique<TLazyChangeControl>();
    made->Control = control;
    TLazyChangeControl* record = made.get();
    controls_.push_back(std::move(made));
    return record;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void TLazyChangeNotifier::RemoveRecord(TLazyChangeControl* record) {
  std::erase_if(controls_, [record](const auto& r) { return r.get() == record; });
}

TLazyChangeDispatchThread& TLazyChangeNotifier::GetChangeDispatchThread() {
  if (!dispatchThread_) {
    auto thread = std::make_unique<TLazyChangeDispatchThread>(*this);
    if (!thread->Handle()) throw std::runtime_error("The change dispatch thread could not be started");
    dispatchThread_ = std::move(thread);
    dispatchThread_->SetSuspended(false);
  }
  return *dispatchThread_;
}

TLazyShellChangeThread& TLazyChangeNotifier::GetShellChangeThread() {
  if (!shellThread_) {
    GetChangeDispatchThread().AddRef();
    auto thread = std::make_unique<TLazyShellChangeThread>(*this);
    if (!thread->Handle()) {
      dispatchThread_->Release();
      throw std::runtime_error("The shell change thread could not be started");
    }
    shellThread_ = std::move(thread);
    shellThread_->Start();
  }
  return *shellThread_;
}

TLazyKernelChangeThread& TLazyChangeNotifier::GetKernelChangeThread() {
  if (!kernelThread_) {
    GetChangeDispatchThread().AddRef();
    auto thread = std::make_unique<TLazyKernelChangeThread>(*this);
    if (!thread->Handle()) {
      dispatchThread_->Release();
      throw std::runtime_error("The kernel change thread could not be started");
    }
    kernelThread_ = std::move(thread);
    kernelThread_->SetSuspended(false);
  }
  return *kernelThread_;
}

void TLazyChangeNotifier::FreeShellNotifyThread() {
  StopLazyThread(*shellThread_, [this] { shellThread_->PostQuit(); });
  shellThread_.reset();
  if (dispatchThread_) dispatchThread_->Release();
}

void TLazyChangeNotifier::FreeKernelNotifyThread() {
  StopLazyThread(*kernelThread_, [this] { kernelThread_->TriggerEvent(); });
  kernelThread_.reset();
  if (dispatchThread_) dispatchThread_->Release();
}

void TLazyChangeNotifier::FreeChangeDispatchThread() {
  StopLazyThread(*dispatchThread_, [this] { dispatchThread_->Wake(); });
  dispatchThread_.reset();
}

void TLazyChangeNotifier::CheckForAutoRelease() {
  if (kernelThread_ && kernelThread_->RefCount() <= 0) FreeKernelNotifyThread();
  if (shellThread_ && shellThread_->RefCount() <= 0) FreeShellNotifyThread();
  if (dispatchThread_ && dispatchThread_->RefCount() <= 0) FreeChangeDispatchThread();
}

void TLazyChangeNotifier::AddEvent(TShellEventKind kind, LPCITEMIDLIST list1, LPCITEMIDLIST list2) {
  GetChangeDispatchThread().Queue().AddEvent(kind, list1, list2, 0, 0);
}

void TLazyChangeNotifier::DispatchEvent(TShellEventKind kind, LPCITEMIDLIST list1, LPCITEMIDLIST list2,
                                        uint32_t value1, uint32_t value2) {
  if (dispatchThread_) dispatchThread_->Queue().AddEvent(kind, list1, list2, value1, value2);
}

bool TLazyChangeNotifier::GetFilterEvents() { return GetChangeDispatchThread().Queue().FilterEvents.load(); }
void TLazyChangeNotifier::SetFilterEvents(bool value) { GetChangeDispatchThread().Queue().FilterEvents.store(value); }

bool TLazyChangeNotifier::GetMapVirtualFolders() {
  std::lock_guard<std::recursive_mutex> hold(controlsLock_);
  return GetShellChangeThread().MapVirtualFolders.load();
}

void TLazyChangeNotifier::SetMapVirtualFolders(bool value) {
  std::lock_guard<std::recursive_mutex> hold(controlsLock_);
  GetShellChangeThread().MapVirtualFolders.store(value);
}

bool TLazyChangeNotifier::NotifyWatchFolder(TControl* control, const std::wstring& folder) {
  std::lock_guard<std::recursive_mutex> hold(controlsLock_);
  TLazyChangeControl* record = FindRegisteredControl(control);
  if (!record) return false;
  // A watch folder belongs to a kernel registration only.
  if (!record->RegisteredForKernel) {
    record->WatchFolder.clear();
    throw std::logic_error(
        "Attempting to change WatchFolder with out registering a Kernel notifier in TLazyChangeNotifier class");
  }
  if (record->WatchFolder != folder) {
    record->WatchFolder = folder;
    UpdateKernelWatches();
    if (kernelThread_) kernelThread_->TriggerEvent();
  }
  return true;
}

void TLazyChangeNotifier::PostShellNotifyEvent(uint32_t flag, LPCITEMIDLIST list1, LPCITEMIDLIST list2) {
  HWND window = shellThread_ ? shellThread_->Window() : nullptr;
  if (!window) return;
  auto pair = std::make_unique<TPidlPair>();
  pair->First = TPIDLManager::CopyPIDL(list1);
  pair->Second = TPIDLManager::CopyPIDL(list2);
  if (PostMessageW(window, WM_POSTSHELLNOTIFYEVENT, reinterpret_cast<WPARAM>(pair.get()), static_cast<LPARAM>(flag)))
    pair.release();
}

bool TLazyChangeNotifier::RegisterShellChangeNotify(TControl* control) {
  std::unique_lock<std::recursive_mutex> hold(controlsLock_);
  TLazyChangeControl* record = FindRegisteredControl(control);
  if (record && record->RegisteredForShell) return true;
  GetShellChangeThread();
  if (!record && !(record = AddRecord(control))) {
    hold.unlock();
    CheckForAutoRelease();  // a thread made for this call alone goes again
    return false;
  }
  record->RegisteredForShell = true;
  shellThread_->AddRef();
  return true;
}

bool TLazyChangeNotifier::RegisterKernelChangeNotify(TControl* control, TKernelNotifyEvents events) {
  std::unique_lock<std::recursive_mutex> hold(controlsLock_);
  TLazyChangeControl* record = FindRegisteredControl(control);
  if (record && record->RegisteredForKernel && record->NotifyEvents == events) return true;
  GetKernelChangeThread();
  if (!record && !(record = AddRecord(control))) {
    hold.unlock();
    CheckForAutoRelease();
    return false;
  }
  record->NotifyEvents = events;
  if (!record->RegisteredForKernel) {
    record->RegisteredForKernel = true;
    kernelThread_->AddRef();
  }
  UpdateKernelWatches();
  kernelThread_->TriggerEvent();
  return true;
}

void TLazyChangeNotifier::RegisterKernelSpecialFolderWatch(int csidl) {
  std::lock_guard<std::recursive_mutex> hold(controlsLock_);
  if (!kernelThread_)
    throw std::logic_error(
        "A control must be registered with the LazyChangeNotifier using RegisterShellChangeNotify before this "
        "method may be used.");
  LPITEMIDLIST made = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &made)) || !made) return;
  TPidl special(made);
  std::wstring path = PIDLToPath(special.get());
  if (path.empty()) return;
  TPidl fileSystem = PathToPIDL(path);
  if (!fileSystem) return;
  TPidl virtualList;
  if (csidl == CSIDL_DESKTOP) virtualList = std::move(special);
  else if (csidl == CSIDL_PERSONAL) virtualList = GetMyDocumentsVirtualFolder();
  kernelThread_->AddSpecialFolder(std::move(path), std::move(fileSystem), std::move(virtualList));
}

void TLazyChangeNotifier::StripDuplicates(std::vector<std::unique_ptr<TLazyShellEvent>>& events) {
  TShellIDListComparer comparer;
  TChangeEventQueue::StripDuplicates(events, comparer);
}

bool TLazyChangeNotifier::UnRegisterShellChangeNotify(TControl* control) {
  bool found = false;
  {
    std::lock_guard<std::recursive_mutex> hold(controlsLock_);
    TLazyChangeControl* record = FindRegisteredControl(control);
    found = record != nullptr;
    if (record && record->RegisteredForShell) {
      record->RegisteredForShell = false;
      if (!record->IsRegistered()) RemoveRecord(record);
      if (shellThread_) shellThread_->Release();
    }
  }
  CheckForAutoRelease();
  return found;
}

bool TLazyChangeNotifier::UnRegisterKernelChangeNotify(TControl* control) {
  bool found = false, cleared = false;
  {
    std::lock_guard<std::recursive_mutex> hold(controlsLock_);
    TLazyChangeControl* record = FindRegisteredControl(control);
    found = record != nullptr;
    if (record && record->RegisteredForKernel) {
      record->RegisteredForKernel = false;
      cleared = true;
      if (!record->IsRegistered()) RemoveRecord(record);
      UpdateKernelWatches();
      if (kernelThread_) kernelThread_->Release();
    }
  }
  if (cleared && kernelThread_) kernelThread_->TriggerEvent();
  CheckForAutoRelease();
  return found;
}

bool TLazyChangeNotifier::UnRegisterChangeNotify(TControl* control) {
  UnRegisterKernelChangeNotify(control);
  return UnRegisterShellChangeNotify(control);
}

void TLazyChangeNotifier::UnRegisterAllNotify() {
  std::vector<TControl*> registered;
  {
    std::lock_guard<std::recursive_mutex> hold(controlsLock_);
    for (const auto& record : controls_) registered.push_back(record->Control);
  }
  for (TControl* control : registered) UnRegisterChangeNotify(control);
}

void TLazyChangeNotifier::UpdateKernelWatches() {
  std::vector<TKernelWatch> watches;
  for (const auto& record : controls_)
    if (record->RegisteredForKernel && !record->WatchFolder.empty())
      watches.push_back({record->WatchFolder, MapNotifyEvents(record->NotifyEvents)});
  std::lock_guard<std::mutex> hold(watchesLock_);
  kernelWatches_ = std::move(watches);
}

std::vector<TKernelWatch> TLazyChangeNotifier::KernelWatches() {
  std::lock_guard<std::mutex> hold(watchesLock_);
  return kernelWatches_;
}

HANDLE TLazyChangeNotifier::ShellThreadHandle() const { return shellThread_ ? shellThread_->Handle() : nullptr; }
HANDLE TLazyChangeNotifier::DispatchThreadHandle() const {
  return dispatchThread_ ? dispatchThread_->Handle() : nullptr;
}
size_t TLazyChangeNotifier::KernelWatchedCount() const { return kernelThread_ ? kernelThread_->WatchedCount() : 0; }
uint32_t TLazyChangeNotifier::KernelRebuildCount() const { return kernelThread_ ? kernelThread_->RebuildCount() : 0; }

TLazyChangeNotifier& ChangeNotifier() {
  if (!gNotifier) gNotifier = std::make_unique<TLazyChangeNotifier>();
  return *gNotifier;
}

void FreeChangeNotifier() { gNotifier.reset(); }

}  // namespace kv
