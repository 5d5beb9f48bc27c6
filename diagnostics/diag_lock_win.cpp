#include "diagnostics/diag_lock_win.h"

#include <array>

namespace kv {
namespace {

// The threads reporting a fault now; 0 is a free slot. A fixed table: a
// thread-local flag may need the heap on its first use.
std::array<std::atomic<DWORD>, 16> gFaultThreads{};
std::atomic<long long> gFaultWaitMs{2000};

// Polls the lock until waitMs have passed. Not a timed wait of the run-time:
// its clock finds a system function by name on first use, which takes the
// loader's lock, and that may be what a thread that never lets go holds.
bool TryFor(std::mutex& mutex, long long waitMs) noexcept {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(waitMs < 0 ? 0 : waitMs);
  for (;;) {
    if (mutex.try_lock()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(1);
  }
}

// The loader lock's entry points, found at start-up: finding them later would
// itself take the lock.
using LockLoaderFn = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
using UnlockLoaderFn = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);
constexpr ULONG kLoaderLockTryOnly = 2;
constexpr ULONG kLoaderLockAcquired = 1;

struct LoaderLockApi {
  LockLoaderFn lock = nullptr;
  UnlockLoaderFn unlock = nullptr;
};

LoaderLockApi FindLoaderLockApi() noexcept {
  LoaderLockApi api;
  if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
    api.lock = reinterpret_cast<LockLoaderFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
    api.unlock =
        reinterpret_cast<UnlockLoaderFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
  }
  if (api.lock == nullptr || api.unlock == nullptr) api = {};
  return api;
}

const LoaderLockApi gLoaderLock = FindLoaderLockApi();
// A fault scope waited for it in vain once: later tries do not wait again.
std::atomic<bool> gLoaderGivenUp{false};

// Tries the loader lock until the fault wait has passed; the cookie when had.
bool TryLoaderLock(ULONG_PTR& cookie) noexcept {
  const ULONGLONG deadline = GetTickCount64() + (gLoaderGivenUp.load() ? 0 : gFaultWaitMs.load());
  for (;;) {
    ULONG disposition = 0;
    cookie = 0;
    if (gLoaderLock.lock(kLoaderLockTryOnly, &disposition, &cookie) >= 0 && disposition == kLoaderLockAcquired) {
      gLoaderGivenUp.store(false);
      return true;
    }
    if (GetTickCount64() >= deadline) break;
    Sleep(5);
  }
  gLoaderGivenUp.store(true);
  return false;
}

}  // namespace

TDiagFaultScope::TDiagFaultScope() noexcept {
  const DWORD self = GetCurrentThreadId();
  for (size_t i = 0; i < gFaultThreads.size(); ++i) {
    DWORD expected = 0;
    if (gFaultThreads[i].compare_exchange_strong(expected, self)) {
      slot_ = static_cast<int>(i);
      return;
    }
  }
}

TDiagFaultScope::~TDiagFaultScope() {
  if (slot_ >= 0) gFaultThreads[static_cast<size_t>(slot_)].store(0);
}

bool InDiagFaultScope() noexcept {
  const DWORD self = GetCurrentThreadId();
  for (const auto& slot : gFaultThreads)
    if (slot.load() == self) return true;
  return false;
}

TDiagLoaderLockGuard::TDiagLoaderLockGuard() noexcept {
  // Without the entry points the calls take the lock themselves, unbounded.
  if (!InDiagFaultScope() || gLoaderLock.lock == nullptr) return;
  ULONG_PTR cookie = 0;
  held_ = TryLoaderLock(cookie);
  cookie_ = cookie;
  owns_ = held_;
}

TDiagLoaderLockGuard::~TDiagLoaderLockGuard() {
  if (held_) gLoaderLock.unlock(0, static_cast<ULONG_PTR>(cookie_));
}

bool DiagLoaderLockAvailable() noexcept {
  const TDiagLoaderLockGuard probe;
  return probe.Owns();
}

std::chrono::milliseconds DiagFaultWait() noexcept { return std::chrono::milliseconds(gFaultWaitMs.load()); }

void SetDiagFaultWait(std::chrono::milliseconds wait) noexcept { gFaultWaitMs.store(wait.count()); }

bool TDiagCriticalSection::Enter() {
  const DWORD self = GetCurrentThreadId();
  if (!InDiagFaultScope()) {
    mutex_.lock();
    givenUp_.store(false);
  } else {
    // The faulting thread may hold it itself: waiting would never end. A
    // holder that kept it once keeps it: a report of many lines must not
    // wait for each.
    if (owner_.load() == self) return false;
    if (!TryFor(mutex_, givenUp_.load() ? 0 : gFaultWaitMs.load())) {
      givenUp_.store(true);
      return false;
    }
  }
  owner_.store(self);
  return true;
}

void TDiagCriticalSection::Leave() {
  owner_.store(0);
  mutex_.unlock();
}

}  // namespace kv
