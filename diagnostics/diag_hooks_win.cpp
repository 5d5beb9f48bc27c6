#include "diagnostics/diag_hooks_win.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "diagnostics/diag_lock_win.h"
#include "diagnostics/os_exceptions_win.h"

extern "C" {
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*));
[[noreturn]] void __wrap___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*));
}

namespace kv {
namespace {

struct TNotifierItem {
  TDiagNotifierProc proc = nullptr;
  TDiagNotifierPriority priority = TDiagNotifierPriority::Normal;
};

// Its lock serialises notifications. A throw inside a fault report (the
// report's own code raises and catches) is not told when a thread that
// never lets go holds it.
struct NotifierList {
  TDiagCriticalSection lock;
  std::vector<TNotifierItem> items;
};

// Process-wide: the registered notifiers and the hooked flag.
NotifierList& Notifiers() {
  static NotifierList list;
  return list;
}
std::atomic<bool> gHooked{false};

TDiagHandlerInstaller& OsHandlerInstaller() {
  static TDiagHandlerInstaller installer = &InstallOsExceptionHandler;
  return installer;
}
thread_local bool tNotifying = false;

// The code range of a routine, from its unwind entry.
bool InRoutine(DWORD64 address, const void* routine) noexcept {
  DWORD64 imageBase = 0;
  const auto at = reinterpret_cast<DWORD64>(routine);
  const RUNTIME_FUNCTION* entry = RtlLookupFunctionEntry(at, &imageBase, nullptr);
  if (entry == nullptr) return false;
  return address >= imageBase + entry->BeginAddress && address < imageBase + entry->EndAddress;
}

}  // namespace

bool DiagAddExceptNotifier(TDiagNotifierProc proc, TDiagNotifierPriority priority) {
  if (proc == nullptr) return false;
  NotifierList& list = Notifiers();
  const TDiagLockGuard guard(list.lock);
  if (!guard.Owns()) return false;
  list.items.push_back({proc, priority});
  return true;
}

bool DiagRemoveExceptNotifier(TDiagNotifierProc proc) {
  if (proc == nullptr) return false;
  NotifierList& list = Notifiers();
  const TDiagLockGuard guard(list.lock);
  if (!guard.Owns()) return false;
  std::erase_if(list.items, [proc](const TNotifierItem& item) { return item.proc == proc; });
  return true;
}

bool DiagHookExceptions() {
  // Hooking again changes nothing, not even this thread's re-entry guard
  // (a notifier may hook while it runs).
  if (gHooked.load(std::memory_order_acquire)) return true;
  tNotifying = false;
  // Without the handler no fault is seen: the hooks are not in place, and
  // language exceptions go unnoticed too (the wrapped throw asks the flag).
  const bool installed = OsHandlerInstaller()();
  gHooked.store(installed, std::memory_order_release);
  return installed;
}

void SetOsHandlerInstaller(TDiagHandlerInstaller installer) {
  OsHandlerInstaller() = installer != nullptr ? installer : &InstallOsExceptionHandler;
}

bool DiagUnhookExceptions() {
  if (gHooked.load(std::memory_order_acquire)) RemoveOsExceptionHandler();
  gHooked.store(false, std::memory_order_release);
  return true;
}

bool DiagExceptionsHooked() noexcept { return gHooked.load(std::memory_order_acquire); }

bool DiagBelongsHookedCode(const void* address) noexcept {
  const auto at = reinterpret_cast<DWORD64>(address);
  return InRoutine(at, reinterpret_cast<const void*>(&__wrap___cxa_throw)) || DiagBelongsOsTrampoline(at);
}

void DiagNotifyException(const TDiagRaiseInfo& info) noexcept {
  if (tNotifying) return;
  tNotifying = true;
  NotifierList& list = Notifiers();
  {
    const TDiagLockGuard guard(list.lock);
    if (guard.Owns()) {
      for (const TDiagNotifierPriority priority : {TDiagNotifierPriority::FirstChain, TDiagNotifierPriority::Normal}) {
        for (const TNotifierItem& item : list.items) {
          if (item.priority != priority) continue;
          try {
            item.proc(info);
          } catch (...) {
            // A failing notifier must not replace the exception being raised.
          }
        }
      }
    }
  }
  tNotifying = false;
}

}  // namespace kv

// Every throw of the program and of the static C++ run-time comes here.
// `throw;` and std::rethrow_exception do not: a rethrown exception keeps the
// stack recorded when it was first raised.
extern "C" [[noreturn]] __attribute__((noinline)) void __wrap___cxa_throw(void* object, std::type_info* type,
                                                                        void (*destructor)(void*)) {
  if (kv::DiagExceptionsHooked()) {
    CONTEXT context{};
    RtlCaptureContext(&context);
    // Unwind this routine's own frame: the walks start in the raising one.
    DWORD64 imageBase = 0;
    const RUNTIME_FUNCTION* entry = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
    bool unwound = false;
    if (entry != nullptr) {
      void* handlerData = nullptr;
      DWORD64 establisher = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, const_cast<RUNTIME_FUNCTION*>(entry), &context,
                       &handlerData, &establisher, nullptr);
      unwound = true;
    }
    kv::TDiagRaiseInfo info;
    info.object = object;
    info.type = type;
    info.address = __builtin_return_address(0);
    info.osException = false;
    info.context = unwound ? &context : nullptr;
    kv::DiagNotifyException(info);
  }
  __real___cxa_throw(object, type, destructor);
}
