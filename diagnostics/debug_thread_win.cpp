#include "diagnostics/debug_thread_win.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "ui/application_win.h"

namespace kv {
namespace {

constexpr UINT kSyncExceptionMessage = WM_APP + 0x38;
constexpr wchar_t kSyncWindowClass[] = L"KvDiagSyncException";

}  // namespace

void TDiagDebugThreadList::RegisterThread(DWORD threadId, const std::string& className, const std::string& name) {
  const std::lock_guard<std::mutex> guard(lock_);
  std::erase_if(entries_, [threadId](const Entry& entry) { return entry.threadId == threadId; });
  entries_.push_back({threadId, className, name});
}

void TDiagDebugThreadList::UnregisterThread(DWORD threadId) {
  const std::lock_guard<std::mutex> guard(lock_);
  std::erase_if(entries_, [threadId](const Entry& entry) { return entry.threadId == threadId; });
}

std::string TDiagDebugThreadList::GetThreadInfo(DWORD threadId) const {
  const std::lock_guard<std::mutex> guard(lock_);
  for (const Entry& entry : entries_) {
    if (entry.threadId != threadId) continue;
    char id[16];
    std::snprintf(id, sizeof id, "%.8lx", static_cast<unsigned long>(threadId));
    return std::string(id) + " [" + entry.className + "] \"" + entry.name + "\"";
  }
  return {};
}

void TDiagDebugThreadList::SetOnSyncException(TDiagSyncExceptionEvent handler) {
  Handle<DiagWindowTraits> made;
  if (handler) {
    static const bool registered = [] {
      WNDCLASSW windowClass{};
      windowClass.lpfnWndProc = &SyncWindowProc;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.lpszClassName = kSyncWindowClass;
      return RegisterClassW(&windowClass) != 0;
    }();
    if (registered) {
      made.Reset(CreateWindowExW(0, kSyncWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr));
    }
  }
  Handle<DiagWindowTraits> old;
  {
    const std::lock_guard<std::mutex> guard(lock_);
    onSyncException_ = std::move(handler);
    old = std::move(window_);
    window_ = std::move(made);
  }
  // The old window goes outside the lock; a thread that still sends to it
  // gets no answer and goes on.
}

TDiagSyncExceptionEvent TDiagDebugThreadList::Handler() const {
  const std::lock_guard<std::mutex> guard(lock_);
  return onSyncException_;
}

bool TDiagDebugThreadList::SyncException(TDiagDebugThread& thread) {
  const std::lock_guard<std::mutex> serial(syncLock_);
  HWND window = nullptr;
  {
    const std::lock_guard<std::mutex> guard(lock_);
    if (!onSyncException_) return false;
    window = window_.Get();
  }
  if (window == nullptr) return false;
  // Sent, not posted: the thread waits until the report is closed.
  return SendMessageW(window, kSyncExceptionMessage, 0, reinterpret_cast<LPARAM>(&thread)) != 0;
}

LRESULT CALLBACK TDiagDebugThreadList::SyncWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (msg != kSyncExceptionMessage) return DefWindowProcW(window, msg, wParam, lParam);
  return ui::Guarded(
      [lParam] {
        const TDiagSyncExceptionEvent handler = DiagDebugThreadList().Handler();
        if (!handler) return LRESULT{0};
        handler(*reinterpret_cast<TDiagDebugThread*>(lParam));
        return LRESULT{1};
      },
      LRESULT{0});
}

TDiagDebugThreadList& DiagDebugThreadList() {
  static TDiagDebugThreadList list;
  return list;
}

// ------------------------------------------------------------------ thread --

TDiagDebugThread::~TDiagDebugThread() {
  WaitFor();
  if (threadId_ != 0) DiagDebugThreadList().UnregisterThread(threadId_);
}

void TDiagDebugThread::Start() {
  if (handle_) throw std::logic_error("the thread runs already");
  DWORD id = 0;
  KernelHandle made(CreateThread(nullptr, 0, &Entry, this, CREATE_SUSPENDED, &id));
  if (!made) throw std::runtime_error("Cannot start the thread \"" + name_ + "\"");
  threadId_ = id;
  DiagDebugThreadList().RegisterThread(id, ClassName(), name_);
  handle_ = std::move(made);
  ResumeThread(handle_.Get());
}

void TDiagDebugThread::WaitFor() {
  if (!handle_) return;
  const HANDLE h = handle_.Get();
  while (MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

std::string TDiagDebugThread::GetThreadInfo() const { return DiagDebugThreadList().GetThreadInfo(threadId_); }

DWORD WINAPI TDiagDebugThread::Entry(void* self) noexcept {
  auto& thread = *static_cast<TDiagDebugThread*>(self);
  try {
    thread.Execute();
  } catch (...) {
    thread.syncException_ = std::current_exception();
  }
  if (thread.syncException_) {
    try {
      DiagDebugThreadList().SyncException(thread);
    } catch (...) {
      // Nobody could be told; the exception stays with the thread object.
    }
  }
  return 0;
}

}  // namespace kv
