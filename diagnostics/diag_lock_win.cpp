#include "diagnostics/diag_lock_win.h"

#include <array>

namespace kv {
namespace {

// The threads reporting a fault now; 0 is a free slot. A fixed table: a
// thread-local flag may need the heap on its first use.
std::array<std::atomic<DWORD>, 16> gFaultThreads{};
std::atomic<long long> gFaultWaitMs{2000};

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
    const bool taken = givenUp_.load() ? mutex_.try_lock() : mutex_.try_lock_for(DiagFaultWait());
    if (!taken) {
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
