#pragma once
// Threads that want their failures reported: each listed by class and name
// with its identifier, and an exception that ends one handed to the
// user-interface thread (OnSyncException) while the thread waits.
#include <windows.h>

#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/handle.h"

namespace kv {

class TDiagDebugThread;
using TDiagSyncExceptionEvent = std::function<void(TDiagDebugThread& thread)>;

struct DiagWindowTraits {
  using Type = HWND;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { DestroyWindow(h); }
};

class TDiagDebugThreadList {
 public:
  TDiagDebugThreadList() = default;
  TDiagDebugThreadList(const TDiagDebugThreadList&) = delete;
  TDiagDebugThreadList& operator=(const TDiagDebugThreadList&) = delete;

  // Enters a thread as "className=name" (a second entry replaces the first).
  void RegisterThread(DWORD threadId, const std::string& className, const std::string& name);
  void UnregisterThread(DWORD threadId);
  // "%.8x [class] \"name\"" for a listed thread; "" for any other.
  std::string GetThreadInfo(DWORD threadId) const;

  // Set (and cleared) on the user-interface thread: the event runs there.
  void SetOnSyncException(TDiagSyncExceptionEvent handler);
  // Runs OnSyncException for the thread on the thread that set it and
  // returns when it has finished; false when no event is set.
  bool SyncException(TDiagDebugThread& thread);

 private:
  struct Entry {
    DWORD threadId;
    std::string className;
    std::string name;
  };
  static LRESULT CALLBACK SyncWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  TDiagSyncExceptionEvent Handler() const;

  mutable std::mutex lock_;  // the entries, the event and its window
  std::mutex syncLock_;      // one synchronised exception at a time
  std::vector<Entry> entries_;
  TDiagSyncExceptionEvent onSyncException_;
  Handle<DiagWindowTraits> window_;  // message-only, on the event's thread
};

// The process-wide thread list, made on first use and kept to the end.
TDiagDebugThreadList& DiagDebugThreadList();

// A thread that enters itself into the thread list while it runs. An
// exception leaving Execute is kept and synchronised to the user-interface
// thread. Its owner waits for it (WaitFor) before freeing it.
class TDiagDebugThread {
 public:
  explicit TDiagDebugThread(std::string name) : name_(std::move(name)) {}
  TDiagDebugThread(const TDiagDebugThread&) = delete;
  TDiagDebugThread& operator=(const TDiagDebugThread&) = delete;
  // Waits for the thread, then leaves the list.
  virtual ~TDiagDebugThread();
  virtual const char* ClassName() const { return "TDiagDebugThread"; }

  // Starts the thread; throws when the system cannot make it.
  void Start();
  // Returns when the thread has ended; messages sent to this thread
  // meanwhile (a synchronised exception) are handled.
  void WaitFor();
  DWORD ThreadID() const noexcept { return threadId_; }
  const std::string& Name() const noexcept { return name_; }
  // The exception that ended Execute, or null.
  std::exception_ptr SyncExceptionObject() const { return syncException_; }
  // The thread's line of the thread list ("" when it is not listed).
  std::string GetThreadInfo() const;

 protected:
  virtual void Execute() = 0;

 private:
  static DWORD WINAPI Entry(void* self) noexcept;

  std::string name_;
  KernelHandle handle_;
  DWORD threadId_ = 0;
  std::exception_ptr syncException_;
};

}  // namespace kv
