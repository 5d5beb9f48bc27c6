#pragma once
// Every exception of the process at the moment it is raised, before any
// handler runs, told to a list of notifiers. Language exceptions come
// through the wrapped throw routine of the C++ run-time (the program links
// with --wrap=__cxa_throw); operating-system faults arrive from the
// vectored handler with the same information.
#include <windows.h>

#include <cstdint>
#include <typeinfo>

namespace kv {

struct TDiagRaiseInfo {
  const void* object = nullptr;          // the exception object
  const std::type_info* type = nullptr;  // its type
  const void* address = nullptr;         // the raise's return address, or the fault address
  bool osException = false;
  // The registers of the raising frame (the hook's own frame unwound), or
  // null when they could not be found; walks of the stack start here.
  const CONTEXT* context = nullptr;
};

using TDiagNotifierProc = void (*)(const TDiagRaiseInfo& info);

enum class TDiagNotifierPriority : uint8_t { Normal = 0, FirstChain = 1 };

// False, and nothing added, for an empty procedure.
bool DiagAddExceptNotifier(TDiagNotifierProc proc, TDiagNotifierPriority priority);
// Removes every registration of proc; false for an empty procedure.
bool DiagRemoveExceptNotifier(TDiagNotifierProc proc);

// True when the hooks are in place (false when the operating system refused
// the fault handler).
bool DiagHookExceptions();
// Replaceable for tests: what installs the fault handler (null: the real one).
using TDiagHandlerInstaller = bool (*)();
void SetOsHandlerInstaller(TDiagHandlerInstaller installer);
bool DiagUnhookExceptions();
bool DiagExceptionsHooked() noexcept;
// True inside the code of the hook routines.
bool DiagBelongsHookedCode(const void* address) noexcept;

// Tells the notifiers about one exception (first chain, then normal, each
// in registration order). Not re-entered on the thread while it runs; an
// exception leaving a notifier is dropped.
void DiagNotifyException(const TDiagRaiseInfo& info) noexcept;

}  // namespace kv
