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
  unsigned id = 0;
  uintptr_t made = _beginthreadex(nullptr, 0, &ExecuteStub, this, CREATE_SUSPENDED, &id);
  if (made == 0) return;
  handle_ = reinterpret_cast<HANDLE>(made);
  threadId_ = id;
  suspended_ = true;
  startWhenComplete_ = !createSuspended;
}

void TLazyThread::StartWhenComplete() {
  if (!startWhenComplete_) return;
  startWhenComplete_ = false;
  SetSuspended(false);
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

void WaitDeliveringSentMessages(HANDLE handle) {
  for (;;) {
    DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + 1) return;  // ended, or the wait failed
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void StopLazyThread(TLazyThread& thread, const std::function<void()>& wake) {
  if (!thread.Handle()) return;
  thread.SetPriority(TLazyThreadPriority::Normal);
  thread.Terminate();
  thread.SetSuspended(false);
  if (wake) wake();
  WaitDeliveringSentMessages(thread.Handle());
}

}  // namespace kv
