#pragma once
// Icon indexes found in the background: one icon thread serves every
// explorer view, newest request first, and posts each answer to the window
// that asked. The thread never touches a control: a request carries the
// window handle taken when it was queued. The system image lists, shared
// with the shell and never destroyed by us, live here too.
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "base/handle.h"
#include "shell/com_ptr_win.h"
#include "shell/id_list_win.h"
#include "ui/toolbar_win.h"

namespace kv {

// The answer message of the explorer controls.
constexpr UINT WM_LTSETICONINDEX = 0x8034;

// One request. Queued it belongs to the thread's list; posted (wParam of the
// answer message) it belongs to the receiver, which hands it back through
// TLazyImageThreadManager::ReleaseItem exactly once.
struct TImageThreadItem {
  TPidl PIDL;             // copy of the item's absolute list
  int32_t ImageIndex = 0; // the answer
  bool Large = false;     // stored for the requester; the thread does not read it
  const void* Control = nullptr;  // the requesting control (a key, never dereferenced here)
  void* Data = nullptr;   // the requester's key (a tree node; pointer-wide)
  int32_t Reserved = 0;   // stays 0
  int32_t Tag = 0;
  UINT MessageID = 0;
  HWND Window = nullptr;  // where the answer goes, taken when queued
  uint64_t Serial = 0;    // identifies the request across list changes
};

class TLazyImageThread {
 public:
  TLazyImageThread();
  virtual ~TLazyImageThread();
  TLazyImageThread(const TLazyImageThread&) = delete;
  TLazyImageThread& operator=(const TLazyImageThread&) = delete;

  // Starts the thread (once).
  void Start();
  // Sets normal priority and the terminate flag, wakes the thread and waits for it.
  void Stop();
  void SetPriority(int priority);

  // Queues the item; answers the serial it was given.
  uint64_t Add(std::unique_ptr<TImageThreadItem> item, bool atFront);
  // Drops the queued requests of `control` (with `data` when given) and
  // releases them; first dispatches the answers already queued for `window`.
  void Clear(const void* control, HWND window, UINT message, const void* data, bool matchData);
  size_t QueuedCount();
  // Holds the queue: the thread takes and answers nothing until UnlockList.
  // The lock is recursive, so the holder may still queue and drop requests.
  std::vector<std::unique_ptr<TImageThreadItem>>& LockList() {
    lock_.lock();
    return items_;
  }
  void UnlockList() { lock_.unlock(); }

  // Extracts the icon index of `pidl` into LastExtracted.
  virtual void ExtractInfo(LPCITEMIDLIST pidl, TImageThreadItem& item);
  // Copies the extracted result into the item.
  virtual void ExtractedInfoLoad(TImageThreadItem& item) { item.ImageIndex = lastExtracted_; }
  // An extracted result was thrown away.
  virtual void InvalidateExtraction() {}
  // Frees the item (its list with it).
  virtual void ReleaseItem(std::unique_ptr<TImageThreadItem> item) { item.reset(); }

 protected:
  virtual void Execute();
  int32_t lastExtracted_ = 0;

 private:
  static unsigned __stdcall Entry(void* self) noexcept;
  // Serves one request; false when the queue was empty.
  bool PassOnce();

  std::recursive_mutex lock_;
  std::vector<std::unique_ptr<TImageThreadItem>> items_;
  KernelHandle wake_;
  KernelHandle thread_;
  std::atomic<bool> terminated_{false};
  uint64_t nextSerial_ = 1;
  // The last parent folder bound by ExtractInfo (icon thread only).
  std::vector<uint8_t> parentBytes_;
  ComPtr<IShellFolder> parentFolder_;
  ComPtr<IShellIcon> parentIcon_;
};

class TLazyImageThreadManager {
 public:
  using TThreadFactory = std::function<std::unique_ptr<TLazyImageThread>()>;
  // `factory` makes the thread (tests pass a descendant); none makes the plain one.
  explicit TLazyImageThreadManager(TThreadFactory factory = nullptr);
  ~TLazyImageThreadManager();

  // Queues a request when the thread exists; the list is copied. Answers the
  // request's serial (0: nothing queued), which its answer carries back.
  uint64_t AddNewItem(const void* control, HWND window, UINT message, LPCITEMIDLIST pidl, bool large, void* data, int32_t tag);
  // The same, served after every other queued request.
  uint64_t InsertNewItem(const void* control, HWND window, UINT message, LPCITEMIDLIST pidl, bool large, void* data,
                         int32_t tag);
  void ClearPendingItems(const void* control, HWND window, UINT message);
  void ClearPendingItem(const void* control, HWND window, void* data, UINT message);
  void RegisterControl(const void* control);
  void UnRegisterControl(const void* control);
  // Hands back a posted request (wParam of the answer message).
  void ReleaseItem(TImageThreadItem* item);
  void SetThreadPriority(int priority);
  // The queue held (none without a thread) and let go again; see LockList.
  std::vector<std::unique_ptr<TImageThreadItem>>* LockThread();
  void UnLockThread();
  TLazyImageThread* Thread() { return thread_.get(); }

 private:
  void CheckRegistered(const void* control, const char* message);
  uint64_t Queue(const void* control, HWND window, UINT message, LPCITEMIDLIST pidl, bool large, void* data, int32_t tag,
             bool atFront);

  TThreadFactory factory_;
  std::mutex controlsLock_;
  std::vector<const void*> controls_;
  std::unique_ptr<TLazyImageThread> thread_;
  int priority_ = THREAD_PRIORITY_NORMAL;
};

// The process-wide manager, made on first call; ShellFinalize frees it.
TLazyImageThreadManager& ImageThreadManager();

// An image list bound to the shell's system image list: 0 small, 1 large,
// 2 extra large (the large list where the shell has none).
class TLazySysImages : public ui::TImageList {
 public:
  TLazySysImages();
  int ImageSize() const { return size_; }
  void SetImageSize(int size);

 private:
  int size_ = 0;
  ComPtr<IUnknown> extraLarge_;
};

// The shell's list of images of one size (shell32 export 727, bound on first
// use); E_NOTIMPL where the system is not NT or has no such export.
HRESULT SHGetImageList(int imageList, REFIID riid, void** result);

TLazySysImages& SmallSysImages();
TLazySysImages& LargeSysImages();

// Frees the process-wide manager and image lists (ShellFinalize).
void FreeIconThreadGlobals();

}  // namespace kv
