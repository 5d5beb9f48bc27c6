#pragma once
// The small thread class of the change notifier's threads. The thread entry
// receives the object itself; Execute runs until its Terminated flag is set.
// The owner stops a thread with StopLazyThread and frees it afterwards.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

namespace kv {

enum class TLazyThreadPriority : uint8_t { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

class TLazyThread {
 public:
  // The thread is made suspended when asked; a descendant asks, finishes its
  // own set-up and then clears Suspended. A thread asked to run at once still
  // waits until the whole object exists: Execute belongs to the descendant,
  // whose members are not made yet while this constructor runs. Make such a
  // thread with MakeLazyThread, which starts it once its constructors are done.
  explicit TLazyThread(bool createSuspended);
  virtual ~TLazyThread();
  TLazyThread(const TLazyThread&) = delete;
  TLazyThread& operator=(const TLazyThread&) = delete;

  // Lets a thread made with createSuspended false run; the object is complete
  // by now. Does nothing for any other thread, or a second time.
  void StartWhenComplete();

  HANDLE Handle() const { return handle_; }
  DWORD ThreadID() const { return threadId_; }

  std::atomic<bool> Terminated{false};
  std::atomic<bool> Finished{false};  // Execute has returned (the entry still runs a little)
  void Terminate() { Terminated.store(true); }

  bool Suspended() const { return suspended_; }
  void SetSuspended(bool value);
  // The level from the low seven bits of `priority` (TLazyThreadPriority order);
  // a level of 7 or more is ignored.
  void SetPriority(unsigned priority);
  void SetPriority(TLazyThreadPriority priority) { SetPriority(static_cast<unsigned>(priority)); }

  // Users of the thread, counted by its owner; neither frees the object.
  int32_t AddRef() { return refCount_.fetch_add(1) + 1; }
  int32_t Release() { return refCount_.fetch_sub(1) - 1; }
  int32_t RefCount() const { return refCount_.load(); }

 protected:
  virtual void Execute() = 0;

 private:
  static unsigned __stdcall ExecuteStub(void* self) noexcept;

  HANDLE handle_ = nullptr;
  DWORD threadId_ = 0;
  bool suspended_ = false;
  bool startWhenComplete_ = false;
  std::atomic<int32_t> refCount_{0};
};

// Makes a thread object and, when it was made to run at once, starts it now
// that every constructor has run.
template <class Thread, class... Args>
std::unique_ptr<Thread> MakeLazyThread(Args&&... args) {
  auto thread = std::make_unique<Thread>(std::forward<Args>(args)...);
  thread->StartWhenComplete();
  return thread;
}

// How often the owner looks at Finished while it stops a thread.
constexpr DWORD kFinishedPollMs = 200;

// Polls `thread`'s Finished flag every kFinishedPollMs while delivering the
// messages other threads send to this one, so a thread that needs an answer
// from us can still finish.
void WaitForFinishedDeliveringSentMessages(const TLazyThread& thread);

// The owner's stop: normal priority, Terminate, `wake`, then poll Finished.
// The thread may be freed afterwards.
void StopLazyThread(TLazyThread& thread, const std::function<void()>& wake);

}  // namespace kv
