#pragma once
// The change notifier's three threads: the shell thread (a hidden window the
// shell reports its changes to), the kernel thread (file-system change
// handles) and the dispatch thread (reduces the events and posts batches).
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "base/handle.h"
#include "shell/change_events.h"
#include "shell/change_notifier_win.h"
#include "shell/id_list_win.h"
#include "shell/lazy_thread_win.h"

namespace kv {

// Two lists posted with WM_POSTSHELLNOTIFYEVENT; the shell thread's window owns them.
struct TPidlPair {
  TPidl First, Second;
};

class TLazyChangeDispatchThread : public TLazyThread {
 public:
  explicit TLazyChangeDispatchThread(TLazyChangeNotifier& notifier);
  ~TLazyChangeDispatchThread() override;
  void Wake() { SetEvent(wake_.Get()); }
  TChangeEventQueue& Queue() { return queue_; }

 protected:
  void Execute() override;

 private:
  void FindRecycleFolders();
  // False when the thread was told to end meanwhile.
  bool SleepUnlessTerminated(DWORD milliseconds);

  TLazyChangeNotifier& notifier_;
  KernelHandle wake_;
  TShellIDListComparer comparer_;
  TChangeEventQueue queue_{comparer_};
};

class TLazyShellChangeThread : public TLazyThread {
 public:
  explicit TLazyShellChangeThread(TLazyChangeNotifier& notifier);
  ~TLazyShellChangeThread() override;
  // Resumes the thread and waits until its window is registered with the shell (or it ended).
  void Start();
  void PostQuit();
  HWND Window() const { return window_.load(); }
  std::atomic<bool> MapVirtualFolders{true};

 protected:
  void Execute() override;

 private:
  static LRESULT CALLBACK NotifyWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT HandleMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  void AddEventToList(LONG flag, LPCITEMIDLIST list1, LPCITEMIDLIST list2);

  TLazyChangeNotifier& notifier_;
  KernelHandle ready_;
  std::atomic<HWND> window_{nullptr};
  ULONG registration_ = 0;
};

class TLazyKernelChangeThread : public TLazyThread {
 public:
  explicit TLazyKernelChangeThread(TLazyChangeNotifier& notifier);
  ~TLazyKernelChangeThread() override;
  // Asks for a rebuild of the watch list (also wakes the thread to end).
  void TriggerEvent() { SetEvent(rebuild_.Get()); }
  // Adds a watched special folder: its file-system path and list, and the
  // list the same place has in the namespace (none when it has no other).
  void AddSpecialFolder(std::wstring path, TPidl fileSystemList, TPidl virtualList);
  size_t WatchedCount() const { return watched_.load(); }
  uint32_t RebuildCount() const { return rebuilds_.load(); }

 protected:
  void Execute() override;

 private:
  struct Slot {
    HANDLE change = nullptr;
    TPidl list;
  };
  void RebuildWatchNotify(std::vector<HANDLE>& handles, std::vector<Slot>& slots);
  void Report(LPCITEMIDLIST list);

  TLazyChangeNotifier& notifier_;
  KernelHandle rebuild_;
  std::mutex specialLock_;
  TPIDLList virtualLists_, fileSystemLists_;
  std::vector<std::wstring> specialPaths_;
  std::atomic<size_t> watched_{0};
  std::atomic<uint32_t> rebuilds_{0};
};

}  // namespace kv
