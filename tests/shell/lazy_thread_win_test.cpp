// The notifier's thread base: ending, priorities, suspension and the owner's stop.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "shell/lazy_thread_win.h"

namespace kv {
namespace {

class TestThread : public TLazyThread {
 public:
  explicit TestThread(std::function<void(TestThread&)> body) : TLazyThread(true), body_(std::move(body)) {}
  ~TestThread() override {
    if (Handle()) {
      SetSuspended(false);
      WaitForSingleObject(Handle(), 5000);
    }
  }

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(TestThread&)> body_;
};

// Made to run at once; its own set-up takes a while after the base is made.
class SlowlyMadeThread : public TLazyThread {
 public:
  SlowlyMadeThread() : TLazyThread(false) {
    Sleep(100);
    ready_ = true;
  }
  ~SlowlyMadeThread() override {
    if (Handle()) WaitForSingleObject(Handle(), 5000);
  }
  bool sawReady = false;

 protected:
  void Execute() override { sawReady = ready_; }

 private:
  bool ready_ = false;
};

TEST(LazyThreadTest, AThreadMadeRunningStartsOnlyOnceTheObjectIsComplete) {
  {
    // Suspended tells what was asked, also while the start waits for the object.
    SlowlyMadeThread notYetStarted;
    EXPECT_FALSE(notYetStarted.Suspended());
    TestThread asked([](TestThread&) {});
    EXPECT_TRUE(asked.Suspended());
    notYetStarted.StartWhenComplete();
  }
  auto thread = MakeLazyThread<SlowlyMadeThread>();
  ASSERT_NE(thread->Handle(), nullptr);
  EXPECT_FALSE(thread->Suspended());
  ASSERT_EQ(WaitForSingleObject(thread->Handle(), 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(thread->Finished.load());
  EXPECT_TRUE(thread->sawReady);
}

TEST(LazyThreadTest, ARaisingExecuteStillFinishes) {
  TestThread thread([](TestThread&) { throw std::runtime_error("failed"); });
  thread.SetSuspended(false);
  ASSERT_EQ(WaitForSingleObject(thread.Handle(), 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(thread.Finished.load());
  DWORD code = 1;
  GetExitCodeThread(thread.Handle(), &code);
  EXPECT_EQ(code, 0u);
}

TEST(LazyThreadTest, PrioritiesFollowTheLowSevenBits) {
  TestThread thread([](TestThread&) {});
  struct Case {
    unsigned argument;
    int expected;
  };
  const Case cases[] = {
      {0, THREAD_PRIORITY_IDLE},         {1, THREAD_PRIORITY_LOWEST},        {2, THREAD_PRIORITY_BELOW_NORMAL},
      {4, THREAD_PRIORITY_ABOVE_NORMAL}, {5, THREAD_PRIORITY_HIGHEST},       {6, THREAD_PRIORITY_TIME_CRITICAL},
      {0x83, THREAD_PRIORITY_NORMAL},    {7, THREAD_PRIORITY_NORMAL},        {0x7F, THREAD_PRIORITY_NORMAL},
      {0x81, THREAD_PRIORITY_LOWEST},    {0x100 | 7, THREAD_PRIORITY_LOWEST}, {200, THREAD_PRIORITY_LOWEST},
  };
  for (const Case& c : cases) {
    thread.SetPriority(c.argument);
    EXPECT_EQ(GetThreadPriority(thread.Handle()), c.expected) << "argument " << c.argument;
  }
}

TEST(LazyThreadTest, SettingSuspendedToItsValueChangesNothing) {
  TestThread thread([](TestThread&) {});
  ASSERT_TRUE(thread.Suspended());
  thread.SetSuspended(true);  // a second suspension would keep the thread from running below
  thread.SetSuspended(false);
  thread.SetSuspended(false);
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(thread.Finished.load());
}

TEST(LazyThreadTest, StoppingDeliversWhatTheThreadSendsWhileEnding) {
  // The thread's last act needs an answer from the owner's window: an owner
  // that slept until Finished would never see the end.
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  HANDLE wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  LRESULT answered = 0;
  TestThread thread([&](TestThread& self) {
    while (!self.Terminated.load()) WaitForSingleObject(wake, INFINITE);
    answered = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0) + 1;
  });
  thread.SetSuspended(false);
  StopLazyThread(thread, [&] { SetEvent(wake); });
  EXPECT_TRUE(thread.Finished.load());
  EXPECT_EQ(answered, 1);
  CloseHandle(wake);
  DestroyWindow(window);
}

TEST(LazyThreadTest, TheOwnerStopsOnFinishedNotOnTheThreadsEnd) {
  // Finished is the owner's sign; the thread may still run a little after it.
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  TestThread thread([&](TestThread& self) {
    while (!self.Terminated.load()) WaitForSingleObject(wake, INFINITE);
    self.Finished.store(true);
    WaitForSingleObject(release, 10000);
  });
  thread.SetSuspended(false);
  StopLazyThread(thread, [&] { SetEvent(wake); });
  EXPECT_TRUE(thread.Finished.load());
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(release);
  EXPECT_EQ(WaitForSingleObject(thread.Handle(), 5000), WAIT_OBJECT_0);
  CloseHandle(wake);
  CloseHandle(release);
}

}  // namespace
}  // namespace kv
