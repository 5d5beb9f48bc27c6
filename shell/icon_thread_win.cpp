#include "shell/icon_thread_win.h"

#include <process.h>

#include <algorithm>
#include <stdexcept>

#include "base/scope_guard.h"
#include "shell/shell_iids_win.h"
#include "shell/shell_utils_win.h"

namespace kv {

// ------------------------------------------------------------ icon thread

TLazyImageThread::TLazyImageThread() : wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!wake_) throw std::runtime_error("Cannot create the icon thread's event");
}

TLazyImageThread::~TLazyImageThread() { Stop(); }

void TLazyImageThread::Start() {
  if (thread_) return;
  // The thread gets its object as the start parameter.
  uintptr_t h = _beginthreadex(nullptr, 0, &TLazyImageThread::Entry, this, 0, nullptr);
  if (!h) throw std::runtime_error("Cannot start the icon thread");
  thread_.Reset(reinterpret_cast<HANDLE>(h));
}

void TLazyImageThread::Stop() {
  if (!thread_) return;
  ::SetThreadPriority(thread_.Get(), THREAD_PRIORITY_NORMAL);
  terminated_ = true;
  SetEvent(wake_.Get());
  WaitForSingleObject(thread_.Get(), INFINITE);
  thread_.Reset();
  // What is still queued belongs to nobody else now.
  std::vector<std::unique_ptr<TImageThreadItem>> rest;
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    rest.swap(items_);
  }
  for (auto& item : rest) ReleaseItem(std::move(item));
}

void TLazyImageThread::SetPriority(int priority) {
  if (thread_) ::SetThreadPriority(thread_.Get(), priority);
}

uint64_t TLazyImageThread::Add(std::unique_ptr<TImageThreadItem> item, bool atFront) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  const uint64_t serial = nextSerial_++;
  item->Serial = serial;
  if (atFront) items_.insert(items_.begin(), std::move(item));
  else items_.push_back(std::move(item));
  SetEvent(wake_.Get());
  return serial;
}

size_t TLazyImageThread::QueuedCount() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return items_.size();
}

void TLazyImageThread::Clear(const void* control, HWND window, UINT message, const void* data, bool matchData) {
  // Under the lock the thread posts nothing: answers already posted refer to
  // items the control still has to release, so it handles them before
  // anything is dropped, and none can follow until the drop is done.
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (window && IsWindow(window)) {
    MSG msg;
    while (PeekMessageW(&msg, window, message, message, PM_REMOVE)) DispatchMessageW(&msg);
  }
  for (auto& item : items_)
    if (item->Control == control && (!matchData || item->Data == data)) ReleaseItem(std::move(item));
  std::erase_if(items_, [](const auto& item) { return !item; });
}

unsigned __stdcall TLazyImageThread::Entry(void* self) noexcept {
  try {
    static_cast<TLazyImageThread*>(self)->Execute();
  } catch (...) {
    // Nothing may leave a thread entry; the thread just ends.
  }
  return 0;
}

void TLazyImageThread::Execute() {
  bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  ComPtr<IMalloc> allocator;
  SHGetMalloc(allocator.Put());
  while (!terminated_) {
    WaitForSingleObject(wake_.Get(), INFINITE);
    if (terminated_) break;
    // A short pause on every pass lets a burst of requests arrive before the
    // newest is chosen.
    Sleep(1);
    try {
      PassOnce();
    } catch (...) {
      // one failed pass does not end the thread
    }
  }
  Sleep(100);
  parentFolder_.Reset();
  allocator.Reset();
  if (com) CoUninitialize();
}

bool TLazyImageThread::PassOnce() {
  uint64_t serial = 0;
  size_t index = 0;
  TPidl copy;
  // Extraction sees a snapshot: the queued item may be dropped and freed
  // by the user-interface thread meanwhile.
  TImageThreadItem snapshot;
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (items_.empty()) {
      ResetEvent(wake_.Get());
      return false;
    }
    index = items_.size() - 1;
    const TImageThreadItem& newest = *items_[index];  // newest first
    serial = newest.Serial;
    copy = TPIDLManager::CopyPIDL(newest.PIDL.get());
    snapshot.Large = newest.Large;
    snapshot.Control = newest.Control;
    snapshot.Window = newest.Window;
    snapshot.Data = newest.Data;
    snapshot.Tag = newest.Tag;
    snapshot.MessageID = newest.MessageID;
    snapshot.Serial = newest.Serial;
  }
  int32_t extracted = 0;
  try {
    ExtractInfo(copy.get(), snapshot);
    extracted = lastExtracted_;
  } catch (...) {
    // An extraction that raises answers 0 like a failed one; retrying it
    // would serve the same newest item for ever.
    extracted = 0;
  }
  std::lock_guard<std::recursive_mutex> guard(lock_);
  copy.reset();
  // The result counts only when the same request is still at the same place.
  // Identity is the serial, not the address: a freed request's memory may be
  // reused by a new one queued at that place. A request moved by a change of
  // the list is invalidated here and taken again at a later pass.
  if (index >= items_.size() || items_[index]->Serial != serial) {
    InvalidateExtraction();
    return true;
  }
  lastExtracted_ = extracted;
  ExtractedInfoLoad(*items_[index]);
  std::unique_ptr<TImageThreadItem> done = std::move(items_[index]);
  items_.erase(items_.begin() + static_cast<ptrdiff_t>(index));
  HWND window = done->Window;
  if (window) {
    TImageThreadItem* raw = done.get();
    for (int attempt = 0; attempt <= 20; ++attempt) {
      if (attempt) Sleep(1);
      if (PostMessageW(window, done->MessageID, reinterpret_cast<WPARAM>(raw), 0)) {
        (void)done.release();  // the receiver owns it now
        return true;
      }
    }
  }
  ReleaseItem(std::move(done));
  return true;
}

void TLazyImageThread::ExtractInfo(LPCITEMIDLIST pidl, TImageThreadItem&) {
  lastExtracted_ = 0;
  if (!pidl) return;
  // The parent folder's icon interface first; it does not touch the file.
  // Requests come in runs from one folder: the bound parent is kept.
  if (!IsDesktopIDList(pidl)) {
    auto last = static_cast<LPCITEMIDLIST>(LastIDItem(pidl));
    std::span<const uint8_t> head(reinterpret_cast<const uint8_t*>(pidl),
                                  static_cast<size_t>(reinterpret_cast<const uint8_t*>(last) - reinterpret_cast<const uint8_t*>(pidl)));
    if (!parentFolder_ || !std::equal(head.begin(), head.end(), parentBytes_.begin(), parentBytes_.end())) {
      parentFolder_.Reset();
      parentIcon_.Reset();
      parentBytes_.assign(head.begin(), head.end());
      std::vector<uint8_t> list(head.begin(), head.end());
      list.push_back(0);
      list.push_back(0);
      ComPtr<IShellFolder> desktop;
      if (SUCCEEDED(SHGetDesktopFolder(desktop.Put()))) {
        if (head.empty()) parentFolder_ = desktop;
        else if (FAILED(desktop->BindToObject(reinterpret_cast<LPCITEMIDLIST>(list.data()), nullptr, IID_IShellFolder,
                                              parentFolder_.PutVoid())))
          parentFolder_.Reset();
      }
      if (parentFolder_) parentIcon_ = parentFolder_.As<IShellIcon>(IID_IShellIcon);
    }
    int index = 0;
    if (parentIcon_ && parentIcon_->GetIconOf(last, 0, &index) == S_OK) {
      lastExtracted_ = index;
      return;
    }
  }
  SHFILEINFOW info{};
  if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &info, sizeof info,
                     SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SHELLICONSIZE | SHGFI_SMALLICON))
    lastExtracted_ = info.iIcon;
}

// ---------------------------------------------------------------- manager

TLazyImageThreadManager::TLazyImageThreadManager(TThreadFactory factory) : factory_(std::move(factory)) {}

TLazyImageThreadManager::~TLazyImageThreadManager() {
  if (thread_) thread_->Stop();
  thread_.reset();
}

void TLazyImageThreadManager::CheckRegistered(const void* control, const char* message) {
  std::lock_guard<std::mutex> guard(controlsLock_);
  if (std::find(controls_.begin(), controls_.end(), control) == controls_.end()) throw std::logic_error(message);
}

uint64_t TLazyImageThreadManager::Queue(const void* control, HWND window, UINT message, LPCITEMIDLIST pidl,
                                        bool large, void* data, int32_t tag, bool atFront) {
  CheckRegistered(control, "Trying to add Image Thread Item to a unregistered control");
  if (!thread_) return 0;
  // The item is made and filled under the queue's lock.
  auto& list = thread_->LockList();
  (void)list;
  ScopeGuard unlock([this] { thread_->UnlockList(); });
  auto item = std::make_unique<TImageThreadItem>();
  item->PIDL = TPIDLManager::CopyPIDL(pidl);
  item->Large = large;
  item->Control = control;
  item->Window = window;
  item->Data = data;
  item->Tag = tag;
  item->MessageID = message;
  return thread_->Add(std::move(item), atFront);
}

std::vector<std::unique_ptr<TImageThreadItem>>* TLazyImageThreadManager::LockThread() {
  return thread_ ? &thread_->LockList() : nullptr;
}

void TLazyImageThreadManager::UnLockThread() {
  if (thread_) thread_->UnlockList();
}

uint64_t TLazyImageThreadManager::AddNewItem(const void* control, HWND window, UINT message, LPCITEMIDLIST pidl,
                                             bool large, void* data, int32_t tag) {
  return Queue(control, window, message, pidl, large, data, tag, false);
}

uint64_t TLazyImageThreadManager::InsertNewItem(const void* control, HWND window, UINT message,
                                                LPCITEMIDLIST pidl, bool large, void* data, int32_t tag) {
  return Queue(control, window, message, pidl, large, data, tag, true);
}

void TLazyImageThreadManager::ClearPendingItems(const void* control, HWND window, UINT message) {
  CheckRegistered(control, "Trying to clear pending Image Thead Items from an unregistered control");
  if (thread_) thread_->Clear(control, window, message, nullptr, false);
}

void TLazyImageThreadManager::ClearPendingItem(const void* control, HWND window, void* data, UINT message) {
  CheckRegistered(control, "Trying to clear pending Image Thead Items from an unregistered control");
  if (thread_) thread_->Clear(control, window, message, data, true);
}

void TLazyImageThreadManager::RegisterControl(const void* control) {
  std::lock_guard<std::mutex> guard(controlsLock_);
  controls_.push_back(control);
  if (!thread_) {
    thread_ = factory_ ? factory_() : std::make_unique<TLazyImageThread>();
    thread_->Start();
    thread_->SetPriority(priority_);
  }
}

void TLazyImageThreadManager::UnRegisterControl(const void* control) {
  std::unique_ptr<TLazyImageThread> ending;
  {
    std::lock_guard<std::mutex> guard(controlsLock_);
    auto it = std::find(controls_.begin(), controls_.end(), control);
    if (it != controls_.end()) controls_.erase(it);
    if (controls_.empty()) ending = std::move(thread_);
  }
  if (ending) ending->Stop();
}

void TLazyImageThreadManager::ReleaseItem(TImageThreadItem* item) {
  std::unique_ptr<TImageThreadItem> owned(item);
  if (thread_) thread_->ReleaseItem(std::move(owned));
}

void TLazyImageThreadManager::SetThreadPriority(int priority) {
  priority_ = priority;
  if (thread_) thread_->SetPriority(priority);
}

// -------------------------------------------------------------- globals

namespace {
struct IconGlobals {
  std::unique_ptr<TLazyImageThreadManager> manager;
  std::unique_ptr<TLazySysImages> small, large;
  // Loaded for the extra-large list, unloaded with the rest.
  ModuleHandle shell32;
};
IconGlobals gIcons;
}  // namespace

HRESULT SHGetImageList(int imageList, REFIID riid, void** result) {
  if (result) *result = nullptr;
  if (!IsUnicode()) return E_NOTIMPL;
  if (!gIcons.shell32) gIcons.shell32.Reset(LoadLibraryW(L"shell32.dll"));
  if (!gIcons.shell32) return E_NOTIMPL;
  using TGetImageList = HRESULT(WINAPI*)(int, REFIID, void**);
  auto get = reinterpret_cast<TGetImageList>(
      reinterpret_cast<void*>(GetProcAddress(gIcons.shell32.Get(), MAKEINTRESOURCEA(727))));
  if (!get) return E_NOTIMPL;
  return get(imageList, riid, result);
}

TLazyImageThreadManager& ImageThreadManager() {
  if (!gIcons.manager) gIcons.manager = std::make_unique<TLazyImageThreadManager>();
  return *gIcons.manager;
}

TLazySysImages& SmallSysImages() {
  if (!gIcons.small) gIcons.small = std::make_unique<TLazySysImages>();
  return *gIcons.small;
}

TLazySysImages& LargeSysImages() {
  if (!gIcons.large) {
    gIcons.large = std::make_unique<TLazySysImages>();
    gIcons.large->SetImageSize(1);
  }
  return *gIcons.large;
}

void FreeIconThreadGlobals() {
  gIcons.large.reset();
  gIcons.small.reset();
  gIcons.manager.reset();
  gIcons.shell32.Reset();
}

// ------------------------------------------------------ system image lists

TLazySysImages::TLazySysImages() { SetImageSize(0); }

void TLazySysImages::SetImageSize(int size) {
  extraLarge_.Reset();
  if (size == 2) {
    HRESULT hr = kv::SHGetImageList(SHIL_EXTRALARGE, kIID_IImageList, extraLarge_.PutVoid());
    if (SUCCEEDED(hr) && extraLarge_) {
      // The interface doubles as the list's handle.
      ShareHandle(reinterpret_cast<HIMAGELIST>(extraLarge_.Get()));
      size_ = 2;
      return;
    }
    size = 1;
  }
  size_ = size;
  LPITEMIDLIST desktop = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop))) {
    ShareHandle(nullptr);  // never keep showing the extra-large list released above
    return;
  }
  TPidl owner(desktop);
  SHFILEINFOW info{};
  UINT flags = SHGFI_SYSICONINDEX | SHGFI_PIDL | (size == 0 ? SHGFI_SMALLICON : 0);
  auto list = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(reinterpret_cast<LPCWSTR>(desktop), 0, &info, sizeof info, flags));
  ShareHandle(list);
}

}  // namespace kv
