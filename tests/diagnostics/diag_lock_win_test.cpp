// The locks a fault report takes: unbounded in ordinary use, tried for the
// fault wait inside a fault scope, and the work that needed one skipped.
#include "diagnostics/diag_lock_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "base/handle.h"
#include "diagnostics/diag_file_utils_win.h"
#include "diagnostics/diag_hooks_win.h"
#include "diagnostics/exception_report_win.h"

namespace kv {
namespace {

using namespace std::chrono_literals;

// A short fault wait for the test's duration.
class ShortFaultWait {
 public:
  ShortFaultWait() : saved_(DiagFaultWait()) { SetDiagFaultWait(150ms); }
  ~ShortFaultWait() { SetDiagFaultWait(saved_); }

 private:
  std::chrono::milliseconds saved_;
};

// Runs work on a thread that keeps what it took until Release.
class Holder {
 public:
  template <class Take>
  explicit Holder(Take take)
      : taken_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this, take] {
      take([this] {
        SetEvent(taken_.Get());
        WaitForSingleObject(release_.Get(), INFINITE);
      });
    });
    WaitForSingleObject(taken_.Get(), INFINITE);
  }
  ~Holder() { Release(); }
  void Release() {
    SetEvent(release_.Get());
    if (thread_.joinable()) thread_.join();
  }

 private:
  KernelHandle taken_, release_;
  std::thread thread_;
};

ULONGLONG MillisecondsOf(auto work) {
  const ULONGLONG start = GetTickCount64();
  work();
  return GetTickCount64() - start;
}

TEST(DiagLock, ATakenLockIsTriedForTheFaultWaitOnceThenAtOnce) {
  const ShortFaultWait wait;
  TDiagCriticalSection lock;
  Holder holder([&](auto hold) {
    ASSERT_TRUE(lock.Enter());
    hold();
    lock.Leave();
  });
  {
    const TDiagFaultScope scope;
    EXPECT_TRUE(InDiagFaultScope());
    EXPECT_GE(MillisecondsOf([&] { EXPECT_FALSE(lock.Enter()); }), 140u);
    // Given up once: a report of many lines does not wait for each.
    EXPECT_LT(MillisecondsOf([&] { EXPECT_FALSE(lock.Enter()); }), 100u);
  }
  EXPECT_FALSE(InDiagFaultScope());
  holder.Release();
  // Ordinary use waits as long as it takes, and the next fault waits again.
  ASSERT_TRUE(lock.Enter());
  std::atomic<bool> waited{false};
  std::thread other([&] {
    const TDiagFaultScope scope;
    const ULONGLONG took = MillisecondsOf([&] { EXPECT_FALSE(lock.Enter()); });
    waited = took >= 140;
  });
  other.join();
  EXPECT_TRUE(waited);
  lock.Leave();
}

TEST(DiagLock, TheFaultingThreadsOwnLockIsNotWaitedFor) {
  const ShortFaultWait wait;
  TDiagCriticalSection lock;
  ASSERT_TRUE(lock.Enter());
  {
    const TDiagFaultScope scope;
    EXPECT_LT(MillisecondsOf([&] { EXPECT_FALSE(lock.Enter()); }), 100u);
  }
  lock.Leave();
  const TDiagFaultScope scope;
  const TDiagLockGuard guard(lock);
  EXPECT_TRUE(guard.Owns());
}

TEST(DiagLock, TheLoaderLockHeldElsewhereLeavesModuleNamesOut) {
  const ShortFaultWait wait;
  using LockFn = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
  using UnlockFn = LONG(NTAPI*)(ULONG, ULONG_PTR);
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const auto lockLoader = reinterpret_cast<LockFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
  const auto unlockLoader =
      reinterpret_cast<UnlockFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
  ASSERT_NE(lockLoader, nullptr);
  const std::string exePath = GetModulePath(nullptr);
  ASSERT_FALSE(exePath.empty());
  std::string inScope = "unset", outsideScope;
  bool guardOwned = true;
  {
    // Nothing here may need the loader while the holder has it.
    Holder holder([&](auto hold) {
      ULONG_PTR cookie = 0;
      lockLoader(0, nullptr, &cookie);
      hold();
      unlockLoader(0, cookie);
    });
    {
      const TDiagFaultScope scope;
      guardOwned = DiagLoaderLockAvailable();
      inScope = GetModulePath(nullptr);
    }
  }
  outsideScope = GetModulePath(nullptr);
  EXPECT_FALSE(guardOwned);
  EXPECT_EQ(inScope, "");
  EXPECT_EQ(outsideScope, exePath);
  // Free again: a fault scope has it at once, and holds it for the guard's
  // scope (another thread's try fails meanwhile).
  // The other thread is running first: a thread's start needs the loader.
  const KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const KernelHandle ask(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const KernelHandle answered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ULONG disposition = 0;
  std::thread other([&] {
    SetEvent(ready.Get());
    WaitForSingleObject(ask.Get(), INFINITE);
    ULONG_PTR cookie = 0;
    lockLoader(2, &disposition, &cookie);
    if (disposition == 1) unlockLoader(0, cookie);
    SetEvent(answered.Get());
  });
  WaitForSingleObject(ready.Get(), INFINITE);
  {
    const TDiagFaultScope scope;
    const TDiagLoaderLockGuard guard;
    EXPECT_TRUE(guard.Owns());
    SetEvent(ask.Get());
    WaitForSingleObject(answered.Get(), INFINITE);
    EXPECT_EQ(GetModulePath(nullptr), exePath);  // entered again by its holder
  }
  other.join();
  EXPECT_EQ(disposition, 2u);
}

std::atomic<DWORD> gStuckThread{0};
HANDLE gStuckRelease = nullptr;
std::atomic<int> gNotified{0};
void StuckNotifier(const TDiagRaiseInfo&) {
  ++gNotified;
  if (GetCurrentThreadId() == gStuckThread) WaitForSingleObject(gStuckRelease, INFINITE);
}

TEST(DiagLock, ANotifierListHeldElsewhereIsNotToldOfTheReportsOwnThrows) {
  const ShortFaultWait wait;
  const bool wasHooked = DiagExceptionsHooked();
  ASSERT_TRUE(DiagHookExceptions());
  ASSERT_TRUE(DiagAddExceptNotifier(&StuckNotifier, TDiagNotifierPriority::Normal));
  const KernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  gStuckRelease = release.Get();
  std::thread stuck([] {
    gStuckThread = GetCurrentThreadId();
    try {
      throw std::runtime_error("held");
    } catch (const std::exception&) {
    }
  });
  while (gNotified.load() == 0) Sleep(1);
  const int before = gNotified.load();
  {
    const TDiagFaultScope scope;
    const ULONGLONG took = MillisecondsOf([] {
      try {
        throw std::runtime_error("inside a report");
      } catch (const std::exception&) {
      }
    });
    EXPECT_LT(took, 2000u);
  }
  EXPECT_EQ(gNotified.load(), before);
  SetEvent(release.Get());
  stuck.join();
  // Free again: the next throw is told.
  try {
    throw std::runtime_error("after");
  } catch (const std::exception&) {
  }
  EXPECT_EQ(gNotified.load(), before + 1);
  EXPECT_TRUE(DiagRemoveExceptNotifier(&StuckNotifier));
  if (!wasHooked) DiagUnhookExceptions();
  gStuckThread = 0;
}

TEST(DiagLock, EntryNamesAreDrawnWhenTheRandomNumbersAreHeldElsewhere) {
  const ShortFaultWait wait;
  const std::string archive = std::string(KV_TEST_BINARY_DIR) + "/no_such_history.zip";
  const KernelHandle taken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const KernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> holderId{0};
  SetReportRandomSource([&]() -> unsigned {
    if (GetCurrentThreadId() == holderId) {
      SetEvent(taken.Get());
      WaitForSingleObject(release.Get(), INFINITE);
    }
    return 5;
  });
  std::thread holder([&] {
    holderId = GetCurrentThreadId();
    (void)NewReportEntryName(archive);
  });
  WaitForSingleObject(taken.Get(), INFINITE);
  std::string name;
  {
    const TDiagFaultScope scope;
    EXPECT_LT(MillisecondsOf([&] { name = NewReportEntryName(archive); }), 2000u);
  }
  EXPECT_EQ(name.size(), 32u);
  EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF"), std::string::npos) << name;
  SetEvent(release.Get());
  holder.join();
  SetReportRandomSource(nullptr);
}

}  // namespace
}  // namespace kv
