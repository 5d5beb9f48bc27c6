#pragma once
// The locks of the diagnostics' shared state (the location lookups, the
// recorded stack lists, the module list, the notifier list, the entry names'
// random numbers) and the guard of the system loader's lock. A fault reported
// while one of them is held, by the faulting thread itself or by a thread
// that will never let go, must not hang the report: inside a fault scope the
// locks are tried for a bounded time and the work that needed one is skipped.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>

namespace kv {

class TDiagCriticalSection {
 public:
  // Takes the lock; false only inside a fault scope of this thread, when the
  // thread holds it already or it could not be had within the fault wait.
  [[nodiscard]] bool Enter();
  void Leave();

 private:
  std::mutex mutex_;
  std::atomic<DWORD> owner_{0};
  // A fault scope waited in vain once: the next tries do not wait again.
  std::atomic<bool> givenUp_{false};
};

// Holds a lock for a scope when it could be taken.
class TDiagLockGuard {
 public:
  explicit TDiagLockGuard(TDiagCriticalSection& lock) : lock_(lock), owns_(lock.Enter()) {}
  ~TDiagLockGuard() {
    if (owns_) lock_.Leave();
  }
  TDiagLockGuard(const TDiagLockGuard&) = delete;
  TDiagLockGuard& operator=(const TDiagLockGuard&) = delete;
  bool Owns() const { return owns_; }

 private:
  TDiagCriticalSection& lock_;
  bool owns_;
};

// Marks the current thread as reporting a fault for its lifetime. Needs no
// memory (the heap's own lock may be what the fault left held).
class TDiagFaultScope {
 public:
  TDiagFaultScope() noexcept;
  ~TDiagFaultScope();
  TDiagFaultScope(const TDiagFaultScope&) = delete;
  TDiagFaultScope& operator=(const TDiagFaultScope&) = delete;

 private:
  int slot_ = -1;  // none free: the locks stay unbounded for this thread
};

// The system loader's lock, which module names, version resources and
// library loads take and which no diagnostics lock can stand in for. Outside
// a fault scope it is left to those calls. Inside one it is tried for the
// fault wait and, when had, held for the guard's scope (the calls then enter
// it again at once; a faulting thread that holds it already re-enters it).
// The system cannot be asked to wait a bounded time, so it is polled.
class TDiagLoaderLockGuard {
 public:
  TDiagLoaderLockGuard() noexcept;
  ~TDiagLoaderLockGuard();
  TDiagLoaderLockGuard(const TDiagLoaderLockGuard&) = delete;
  TDiagLoaderLockGuard& operator=(const TDiagLoaderLockGuard&) = delete;
  // False only inside a fault scope, when the lock could not be had: skip
  // the work that needs it.
  bool Owns() const { return owns_; }

 private:
  unsigned long long cookie_ = 0;
  bool held_ = false;
  bool owns_ = true;
};

// Whether the loader's lock can be had now, inside a fault scope (always
// true outside one); it is let go again at once. For work that may load
// libraries or wait for other threads while it runs (a message box), where
// holding the lock throughout could stop threads that work needs.
bool DiagLoaderLockAvailable() noexcept;

bool InDiagFaultScope() noexcept;
// How long a lock is tried inside a fault scope (default 2 s; tests shorten it).
std::chrono::milliseconds DiagFaultWait() noexcept;
void SetDiagFaultWait(std::chrono::milliseconds wait) noexcept;

}  // namespace kv
