#pragma once
// The process-wide change notifier: controls register for shell or kernel
// change notifications; the shell thread and the kernel thread turn changes
// into events, the dispatch thread reduces them and, after a quiet period,
// posts each batch to a listener window on the user-interface thread, which
// hands it on to every registered control (WM_SHELLNOTIFY, wParam the
// TLazyShellEventList; the receiver calls Release on it exactly once).
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "shell/change_events.h"
#include "shell/id_list_win.h"

namespace kv {

namespace ui {
class TControl;
}
using ui::TControl;
class TLazyShellChangeThread;
class TLazyKernelChangeThread;
class TLazyChangeDispatchThread;

constexpr UINT WM_POSTSHELLNOTIFYEVENT = 0x8009;
constexpr UINT WM_SHELLNOTIFY = 0x8033;
constexpr UINT WM_NOTIFYTHREADQUIT = 0x8036;
constexpr UINT WM_SHELLCHANGENOTIFY = 0x8037;     // new delivery
constexpr UINT WM_SHELLCHANGENOTIFYOLD = 0x8038;  // old delivery

// Kernel change kinds, one bit each in this order.
enum class TKernelNotifyEvent : uint8_t { FileName, DirName, Attributes, Size, LastWrite, LastAccess, Creation, Security };
using TKernelNotifyEvents = uint8_t;
constexpr TKernelNotifyEvents KernelEvent(TKernelNotifyEvent e) { return static_cast<TKernelNotifyEvents>(1u << static_cast<unsigned>(e)); }
// The change-notification filter of a set of kinds.
DWORD MapNotifyEvents(TKernelNotifyEvents events);

// The shell's comparisons of item-ID lists (a list counts as its own parent).
class TShellIDListComparer : public TIDListComparer {
 public:
  bool IsEqual(const void* a, const void* b) const override;
  bool IsParent(const void* parent, const void* child) const override;
};

struct TLazyChangeControl {
  bool RegisteredForShell = false;
  bool RegisteredForKernel = false;
  TControl* Control = nullptr;  // not owned
  std::wstring WatchFolder;
  TKernelNotifyEvents NotifyEvents = 0;
  bool IsRegistered() const { return RegisteredForShell || RegisteredForKernel; }
};

// A folder the kernel thread watches, with its filter.
struct TKernelWatch {
  std::wstring Folder;
  DWORD Filter = 0;
};

class TLazyChangeNotifier {
 public:
  TLazyChangeNotifier();
  ~TLazyChangeNotifier();
  TLazyChangeNotifier(const TLazyChangeNotifier&) = delete;
  TLazyChangeNotifier& operator=(const TLazyChangeNotifier&) = delete;

  // An event for the dispatch thread's filter (both values 0).
  void AddEvent(TShellEventKind kind, LPCITEMIDLIST list1, LPCITEMIDLIST list2);
  bool GetFilterEvents();
  void SetFilterEvents(bool value);
  bool GetMapVirtualFolders();
  void SetMapVirtualFolders(bool value);
  // Holds the registrations. The kernel thread never waits for this lock
  // (it reads a copy of the watches), so a holder may unregister and wait for it.
  void LockNotifier() { controlsLock_.lock(); }
  void UnLockNotifier() { controlsLock_.unlock(); }
  // False when the control is not registered. A control registered for shell
  // notifications only has no watch folder: it is cleared and std::logic_error raised.
  bool NotifyWatchFolder(TControl* control, const std::wstring& folder);
  // Hands an event to the shell thread as if the shell had reported it; nothing without a shell thread.
  void PostShellNotifyEvent(uint32_t flag, LPCITEMIDLIST list1, LPCITEMIDLIST list2);
  bool RegisterKernelChangeNotify(TControl* control, TKernelNotifyEvents events);
  // Adds a special folder to the kernel watch; std::logic_error without a kernel registration.
  void RegisterKernelSpecialFolderWatch(int csidl);
  bool RegisterShellChangeNotify(TControl* control);
  void StripDuplicates(std::vector<std::unique_ptr<TLazyShellEvent>>& events);
  bool UnRegisterKernelChangeNotify(TControl* control);
  bool UnRegisterShellChangeNotify(TControl* control);
  bool UnRegisterChangeNotify(TControl* control);
  void UnRegisterAllNotify();

  // The quiet period after the last event before a batch goes out (tests shorten it).
  void SetQuietPeriod(DWORD milliseconds) { quietPeriod_.store(milliseconds); }
  DWORD QuietPeriod() const { return quietPeriod_.load(); }
  bool HasShellThread() const { return shellThread_ != nullptr; }
  bool HasKernelThread() const { return kernelThread_ != nullptr; }
  bool HasDispatchThread() const { return dispatchThread_ != nullptr; }
  // Handles of the running threads (null when absent), for tests watching them end.
  HANDLE ShellThreadHandle() const;
  HANDLE DispatchThreadHandle() const;
  // Folders the kernel thread waits on since its last rebuild, and the number of rebuilds.
  size_t KernelWatchedCount() const;
  uint32_t KernelRebuildCount() const;
  HWND ListenerWindow() const { return listener_; }
  // Where the destructor reports a thread still counted by a control: it
  // cannot raise, and frees the threads all the same. The default writes the
  // text to the debugger's output.
  using TAssertionReport = std::function<void(const char* text)>;
  void SetAssertionReport(TAssertionReport report) { assertionReport_ = std::move(report); }

  // For the threads.
  void DispatchEvent(TShellEventKind kind, LPCITEMIDLIST list1, LPCITEMIDLIST list2, uint32_t value1, uint32_t value2);
  std::vector<TKernelWatch> KernelWatches();

 private:
  static LRESULT CALLBACK ListenerWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  void HandOut(TLazyShellEventList* batch);
  TLazyChangeControl* FindRegisteredControl(TControl* control);
  TLazyChangeControl* AddRecord(TControl* control) noexcept;
  void RemoveRecord(TLazyChangeControl* record);
  TLazyChangeDispatchThread& GetChangeDispatchThread();
  TLazyShellChangeThread& GetShellChangeThread();
  TLazyKernelChangeThread& GetKernelChangeThread();
  void CheckForAutoRelease();
  void FreeShellNotifyThread();
  void FreeKernelNotifyThread();
  void FreeChangeDispatchThread();
  // Copies the kernel registrations' watches for the kernel thread (controlsLock_ held).
  void UpdateKernelWatches();

  std::recursive_mutex controlsLock_;
  // Taken after controlsLock_ or alone, never the other way round.
  std::mutex watchesLock_;
  std::vector<TKernelWatch> kernelWatches_;
  std::vector<std::unique_ptr<TLazyChangeControl>> controls_;
  std::unique_ptr<TLazyShellChangeThread> shellThread_;
  std::unique_ptr<TLazyKernelChangeThread> kernelThread_;
  std::unique_ptr<TLazyChangeDispatchThread> dispatchThread_;
  std::atomic<DWORD> quietPeriod_{750};
  TAssertionReport assertionReport_;
  HWND listener_ = nullptr;
};

// The process-wide notifier, made by the first call on the user-interface thread.
TLazyChangeNotifier& ChangeNotifier();
// Stops its threads and frees it (at the shell's finalisation).
void FreeChangeNotifier();

}  // namespace kv
