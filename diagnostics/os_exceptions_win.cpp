#include "diagnostics/os_exceptions_win.h"

#include <cstdio>
#include <new>
#include <typeinfo>

#include "diagnostics/call_site.h"
#include "diagnostics/diag_hooks_win.h"
#include "diagnostics/diag_lock_win.h"
#include "diagnostics/diag_stack_win.h"

extern "C" {
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*));
void* __cxa_allocate_exception(size_t size) noexcept;
void kvDiagOsTrampoline();
[[noreturn]] void kvDiagRaiseOsException();
}

// The fault handler makes the faulting code "call" this routine: it pushes
// the fault address + 1 as the return address, so the unwinder sees a call
// from inside the faulting function. The routine keeps a frame pointer (the
// unwinder restores the stack from it), realigns the stack and raises.
asm(R"(
    .text
    .globl kvDiagOsTrampoline
    .def kvDiagOsTrampoline; .scl 2; .type 32; .endef
    .seh_proc kvDiagOsTrampoline
kvDiagOsTrampoline:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call kvDiagRaiseOsException
    int3
    .seh_endproc
)");

namespace kv {
namespace {

// Process-wide: the vectored handler, the exe's code, the reporter thread.
struct OsState {
  PVOID handler = nullptr;
  TDiagModuleInfoList exeCode;
  HANDLE reporterThread = nullptr;
  HANDLE request = nullptr;
  HANDLE stored = nullptr;
  HANDLE done = nullptr;
  CONTEXT overflowContext{};
  uint64_t overflowTop = 0;
  TStackOverflowReporter reporter;
};

OsState& State() {
  static OsState state;
  return state;
}

// How long the overflowing thread waits for the report to be stored: a
// reporter stuck on a lock the system cannot bound still lets the process end.
constexpr DWORD kOverflowStoreLimitMs = 30000;

// The fault being converted on this thread.
thread_local EXCEPTION_RECORD tRecord{};
thread_local CONTEXT tContext{};

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
  return text;
}

bool Converted(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
      return true;
    default:
      return false;
  }
}

// Every exception the system raises reaches the notifiers, except the
// codes that are no exception of the program: the language run-time's own
// unwinding codes (each throw is told already where it is thrown, and told
// again it would replace its stack list from inside the unwinder) and the
// debugger's information codes (debug output, thread names).
bool ToldToNotifiers(DWORD code) {
  switch (code) {
    case 0x20474343:  // the run-time's throw
    case 0x21474343:  // its unwind
    case 0x22474343:  // its forced unwind
    case 0x40010006:  // debug output
    case 0x4001000A:  // wide debug output
    case 0x406D1388:  // a thread's name
      return false;
    default:
      return true;
  }
}

uint64_t StackTop() noexcept {
  uint64_t top = 0;
  asm volatile("movq %%gs:8, %0" : "=r"(top));
  return top;
}

// A processor fault is told with the diagnostics' locks bounded: the
// faulting thread may hold one of them itself (a fault in the diagnostics'
// own code), or hold what a thread inside a notifier waits for (the heap's
// lock, when the fault is inside the heap) while that thread holds the
// notifier list. Waiting for ever there would stop the fault before anything
// could report it; a fault told without its stack is still raised.
void NotifyFault(const TDiagRaiseInfo& info) noexcept {
  const TDiagFaultScope faultScope;
  DiagNotifyException(info);
}

LONG CALLBACK VectoredHandler(EXCEPTION_POINTERS* info) noexcept {
  const EXCEPTION_RECORD& record = *info->ExceptionRecord;
  OsState& state = State();
  if (record.ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
    if (state.reporterThread == nullptr) return EXCEPTION_CONTINUE_SEARCH;
    // Too little stack is left to report here: the reporter thread walks it.
    state.overflowContext = *info->ContextRecord;
    state.overflowTop = StackTop();
    SetEvent(state.request);
    if (WaitForSingleObject(state.stored, kOverflowStoreLimitMs) == WAIT_OBJECT_0) {
      WaitForSingleObject(state.done, INFINITE);
    }
    TerminateProcess(GetCurrentProcess(), EXCEPTION_STACK_OVERFLOW);
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const auto address = reinterpret_cast<uint64_t>(record.ExceptionAddress);
  if (!Converted(record.ExceptionCode) || !state.exeCode.IsCodeRange(address, 1, false)) {
    // An exception the program does not convert (a fault inside a system
    // library, which may well handle it itself, or a raised code): the
    // notifiers hear of it once, and it goes on to the handlers unchanged.
    if (ToldToNotifiers(record.ExceptionCode)) {
      TDiagRaiseInfo notified;
      notified.address = record.ExceptionAddress;
      notified.osException = true;
      notified.context = info->ContextRecord;
      NotifyFault(notified);
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }
  tRecord = record;
  tContext = *info->ContextRecord;
  CONTEXT& context = *info->ContextRecord;
  context.Rsp -= 8;
  *reinterpret_cast<uint64_t*>(context.Rsp) = context.Rip + 1;
  context.Rip = reinterpret_cast<uint64_t>(&kvDiagOsTrampoline);
  return EXCEPTION_CONTINUE_EXECUTION;
}

template <class E>
[[noreturn]] void Raise(const std::string& message, uint64_t address) {
  void* memory = __cxa_allocate_exception(sizeof(E));
  E* object = new (memory) E(message, address);
  TDiagRaiseInfo info;
  info.object = object;
  info.type = &typeid(E);
  info.address = reinterpret_cast<const void*>(address);
  info.osException = true;
  info.context = &tContext;
  NotifyFault(info);
  __real___cxa_throw(object, const_cast<std::type_info*>(&typeid(E)),
                     [](void* p) { static_cast<E*>(p)->~E(); });
}

DWORD WINAPI ReporterThread(void*) noexcept {
  OsState& state = State();
  for (;;) {
    if (WaitForSingleObject(state.request, INFINITE) != WAIT_OBJECT_0) return 0;
    try {
      const std::function<void()> stored = [&state] { SetEvent(state.stored); };
      if (state.reporter) state.reporter(state.overflowContext, state.overflowTop, stored);
    } catch (...) {
    }
    SetEvent(state.stored);
    SetEvent(state.done);
  }
}

}  // namespace

std::string OsExceptionMessage(const EXCEPTION_RECORD& record) {
  const std::string at = Hex(reinterpret_cast<uint64_t>(record.ExceptionAddress));
  switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION: {
      const bool write = record.NumberParameters >= 2 && record.ExceptionInformation[0] == 1;
      const uint64_t target = record.NumberParameters >= 2 ? record.ExceptionInformation[1] : 0;
      return "Access violation at address " + at + ". " + (write ? "Write of" : "Read of") + " address " +
             Hex(target);
    }
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return "Division by zero at address " + at;
    case EXCEPTION_INT_OVERFLOW:
      return "Integer overflow at address " + at;
    case EXCEPTION_PRIV_INSTRUCTION:
      return "Privileged instruction at address " + at;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      return "Illegal instruction at address " + at;
    default:
      return {};
  }
}

std::exception_ptr OsExceptionObject(const EXCEPTION_RECORD& record) {
  // Made without a throw: nothing records a stack for it.
  const std::string message = OsExceptionMessage(record);
  const auto address = reinterpret_cast<uint64_t>(record.ExceptionAddress);
  switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
      return std::make_exception_ptr(EAccessViolation(message, address));
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return std::make_exception_ptr(EDivByZero(message, address));
    case EXCEPTION_INT_OVERFLOW:
      return std::make_exception_ptr(EIntOverflow(message, address));
    case EXCEPTION_PRIV_INSTRUCTION:
      return std::make_exception_ptr(EPrivilege(message, address));
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      return std::make_exception_ptr(EIllegalInstruction(message, address));
    default: {
      char text[96];
      std::snprintf(text, sizeof text, "External exception %08lX at address %s",
                    static_cast<unsigned long>(record.ExceptionCode), Hex(address).c_str());
      return std::make_exception_ptr(EExternalException(text, address));
    }
  }
}

bool InstallOsExceptionHandler() {
  OsState& state = State();
  if (state.handler != nullptr) return true;
  TDiagModuleInfo exe;
  if (state.exeCode.Count() == 0 && ModuleInfoFromImage(GetModuleHandleW(nullptr), true, exe)) {
    state.exeCode.Add(std::move(exe));
  }
  if (state.reporterThread == nullptr) {
    state.request = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    state.stored = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state.reporterThread = CreateThread(nullptr, 256 * 1024, &ReporterThread, nullptr, 0, nullptr);
  }
  state.handler = AddVectoredExceptionHandler(1, &VectoredHandler);
  return state.handler != nullptr;
}

void RemoveOsExceptionHandler() {
  OsState& state = State();
  if (state.handler != nullptr) RemoveVectoredExceptionHandler(state.handler);
  state.handler = nullptr;
}

bool DiagBelongsOsTrampoline(uint64_t address) noexcept {
  DWORD64 imageBase = 0;
  const RUNTIME_FUNCTION* entry =
      RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(&kvDiagOsTrampoline), &imageBase, nullptr);
  return entry != nullptr && address >= imageBase + entry->BeginAddress && address < imageBase + entry->EndAddress;
}

void SetStackOverflowReporter(TStackOverflowReporter reporter) { State().reporter = std::move(reporter); }

}  // namespace kv

extern "C" [[noreturn]] void kvDiagRaiseOsException() {
  const EXCEPTION_RECORD record = kv::tRecord;
  const std::string message = kv::OsExceptionMessage(record);
  const auto address = reinterpret_cast<uint64_t>(record.ExceptionAddress);
  switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
      kv::Raise<kv::EAccessViolation>(message, address);
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      kv::Raise<kv::EDivByZero>(message, address);
    case EXCEPTION_INT_OVERFLOW:
      kv::Raise<kv::EIntOverflow>(message, address);
    case EXCEPTION_PRIV_INSTRUCTION:
      kv::Raise<kv::EPrivilege>(message, address);
    default:
      kv::Raise<kv::EIllegalInstruction>(message, address);
  }
}
