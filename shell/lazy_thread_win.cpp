#include "shell/lazy_thread_win.h"

#include <process.h>

namespace kv {

namespace {
constexpr int kPriorities[] = {
    THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
    THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_TIME_CRITICAL,
};
}  // namespace

TLazyThread::TLazyThread(bool createSuspended) {
  // Always made suspended: a thread running now could reach the pure Execute,
  // or a descendant's members before they exist.
  // Suspended tells what was asked; a thread not asked to wait is held only
  // until StartWhenComplete.
  suspended_ = createSuspended;
  unsigned id = 0;
  uintptr_t made = _beginthreadex(nullptr, 0, &ExecuteStub, this, CREATE_SUSPENDED, &id);
  if (made == 0) return;
  handle_ = reinterpret_cast<HANDLE>(made);
  threadId_ = id;
  startWhenComplete_ = !createSuspended;
}

void TLazyThread::StartWhenComplete() {
  if (!startWhenComplete_) return;
  startWhenComplete_ = false;
  ResumeThread(handle_);
}

TLazyThread::~TLazyThread() {
  if (handle_) CloseHandle(handle_);
}

unsigned __stdcall TLazyThread::ExecuteStub(void* self) noexcept {
  auto* thread = static_cast<TLazyThread*>(self);
  try {
    thread->Execute();
  } catch (...) {
    // A failing thread simply finishes.
  }
  thread->Finished.store(true);
  return 0;
}

void TLazyThread::SetSuspended(bool value) {
  if (value == suspended_ || !handle_) return;
  if (value)
    SuspendThread(handle_);
  else
    ResumeThread(handle_);
  suspended_ = value;
}

void TLazyThread::SetPriority(unsigned priority) {
  unsigned level = priority & 0x7F;
  if (level >= std::size(kPriorities) || !handle_) return;
  SetThreadPriority(handle_, kPriorities[level]);
}

void WaitForFinishedDeliveringSentMessages(const TLazyThread& thread) {
  while (!thread.Finished.load()) {
    // Sleeps at most the poll interval; a message sent to us meanwhile is
    // delivered at once and the flag looked at again.
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, kFinishedPollMs, QS_SENDMESSAGE) == WAIT_OBJECT_0) {
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }
}

void StopLazyThread(TLazyThread& thread, const std::function<void()>& wake) {
  // Without a thread nothing would ever set Finished.
  if (!thread.Handle()) return;
  thread.SetPriority(TLazyThreadPriority::Normal);
  thread.Terminate();
  // A thread still held suspended would never finish.
  thread.SetSuspended(false);
  if (wake) wake();
  WaitForFinishedDeliveringSentMessages(thread);
}

}  // namespace kv
