// A program that fails on purpose, one way per command-line mode, with the
// exception reporting installed as in the real program. In a message
// handler: "av", "div", "throw", "at" (each shows the dialog, which closes
// itself once the report is stored, and the program ends with 0). Ending
// paths: "terminate", "memcpy" (a fault inside a system library that nobody
// handles: the dialog shows it, then the program ends), "overflow". Each
// dialog that was on screen when its report was stored leaves its caption
// in "dialog_shown.txt" beside the program. "thread": memcpy's fault on a
// worker thread while the user-interface thread waits for it (a plain box
// tells the user; the test answers it; "terminate", "terminatecall" (no
// exception) and "overflow" tell the user the same way). "held": memcpy's
// fault while this thread holds the lookup lock; "heldelsewhere": while a
// thread that never lets go holds it (both: the report is stored with bare
// addresses). The same for the system loader's lock ("loaderheld",
// "loaderheldelsewhere"), the lock of the entry names' random numbers
// ("randomheldelsewhere") and the notifier list's lock
// ("notifierheldelsewhere": an exception raised to the system, whose report
// raises and catches for a library without version information;
// "faultnotifierheldelsewhere": memcpy's fault, which is told to the
// notifiers as it happens). "endtracking": ends without UnInitializeHandler;
// the program's exit code is kTrackingLeftOn when exception tracking is
// still on after its static objects went. "exitlookup": a location looked up
// while the program ends, from a thread that keeps looking up and from an
// exit handler that runs after the static objects went; the program's exit
// code is kLookupLostAtExit when the handler's lookup fails.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/handle.h"
#include "diagnostics/debug_info_win.h"
#include "diagnostics/diag_hooks_win.h"
#include "diagnostics/diag_stack_win.h"
#include "diagnostics/exception_dialog_win.h"
#include "diagnostics/exception_report_win.h"
#include "foundation/files_win.h"
#include "ui/application_win.h"

namespace kv {
namespace {

std::string gMode;
constexpr DWORD kHeldNotifierCode = 0xE0C0FFEE;
constexpr int kTrackingLeftOn = 5;
constexpr int kLookupLostAtExit = 6;
volatile int gZero = 0;
volatile int gSink = 0;

// Each failing statement is marked with its line for the test.
__attribute__((noinline)) void Fail3() {
  if (gMode == "av") *static_cast<volatile int*>(nullptr) = 1;  // MARK:av
  if (gMode == "div") gSink = 7 / gZero;  // MARK:div
  if (gMode == "throw") throw std::runtime_error("Three levels deep");  // MARK:throw
  if (gMode == "at") gSink = std::vector<int>(2).at(5);  // MARK:at
  asm volatile("");
}
__attribute__((noinline)) void Fail2() {
  Fail3();
  asm volatile("");
}
__attribute__((noinline)) void Fail1() {
  Fail2();
  asm volatile("");
}

__attribute__((noinline)) void Unwanted() { throw std::logic_error("Nobody catches this"); }  // MARK:terminate
__attribute__((noinline)) void Terminate() noexcept { Unwanted(); }

__attribute__((noinline)) void CallTerminate() {
  std::terminate();  // MARK:terminatecall
}

// Found before any mode holds the loader lock.
using MemcpyFn = void* (*)(void*, const void*, size_t);
volatile MemcpyFn gCopy = nullptr;
__attribute__((noinline)) void CopyToNowhere() {
  char source[16] = {};
  gCopy(nullptr, source, sizeof source);  // MARK:memcpy
}

using LockLoaderFn = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
LockLoaderFn gLockLoader = nullptr;
DWORD gHolder = 0;
HANDLE gTaken = nullptr;

__attribute__((noinline)) int Recurse(int depth) {
  volatile char block[4096];
  block[0] = static_cast<char>(depth);
  if (gZero != 0) return 0;
  return Recurse(depth + 1) + block[0];  // MARK:overflow
}

DWORD WINAPI FaultingWorker(void*) {
  CopyToNowhere();
  return 0;
}

DWORD WINAPI HoldingWorker(void* taken) {
  (void)DiagLookupLock().Enter();
  SetEvent(static_cast<HANDLE>(taken));
  Sleep(INFINITE);
  return 0;
}

DWORD WINAPI LoaderHoldingWorker(void*) {
  ULONG_PTR cookie = 0;
  gLockLoader(0, nullptr, &cookie);
  SetEvent(gTaken);
  Sleep(INFINITE);
  return 0;
}

// Draws an entry name: the random source below keeps the lock for ever.
DWORD WINAPI RandomHoldingWorker(void*) {
  (void)NewReportEntryName(AppFile("unused.history"));
  return 0;
}

// Raises: the notifier below keeps the notifier list's lock for ever.
DWORD WINAPI NotifierHoldingWorker(void*) {
  try {
    throw std::runtime_error("Held in a notifier");
  } catch (const std::exception&) {
  }
  return 0;
}

void StuckOnHolder(const TDiagRaiseInfo&) {
  if (GetCurrentThreadId() != gHolder) return;
  SetEvent(gTaken);
  Sleep(INFINITE);
}

// Runs the worker until it holds its lock for ever.
void StartHolder(LPTHREAD_START_ROUTINE worker) {
  gTaken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE holder = CreateThread(nullptr, 0, worker, nullptr, CREATE_SUSPENDED, &gHolder);
  ResumeThread(holder);
  WaitForSingleObject(gTaken, INFINITE);
}

// Registered before tracking starts, so it runs after whatever tracking
// left to run at exit.
void ExitWithTrackingState() {
  if (DiagExceptionTracking()) _exit(kTrackingLeftOn);
}

bool LooksUpFail3() {
  TDiagLocationInfo info;
  return GetLocationInfo(reinterpret_cast<const void*>(&Fail3), info) &&
         info.procedureName.find("Fail3") != std::string::npos;
}

// Registered before the first lookup: it runs after everything that lookup
// made and left to the end of the program would have been destroyed.
void LookupAtExit() { _exit(LooksUpFail3() ? 0 : kLookupLostAtExit); }

DWORD WINAPI LookingUpWorker(void* started) {
  (void)LooksUpFail3();
  SetEvent(static_cast<HANDLE>(started));
  for (;;) (void)LooksUpFail3();
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) noexcept {
  KillTimer(nullptr, id);
  ui::Guarded([] { Fail1(); return 0; }, 0);
  PostQuitMessage(0);
}

int Run(const std::string& mode) {
  gMode = mode;
  SetAppDirFromExecutable();
  ui::Application().SetTitle("Crash test");
  if (mode == "exitlookup") {
    std::atexit(&LookupAtExit);
    const KernelHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const KernelHandle worker(CreateThread(nullptr, 0, &LookingUpWorker, started.Get(), 0, nullptr));
    WaitForSingleObject(started.Get(), INFINITE);
    return LooksUpFail3() ? 0 : 1;  // the worker still looks up while the program ends
  }
  if (mode == "endtracking") std::atexit(&ExitWithTrackingState);
  InitializeHandler();
  if (mode == "endtracking") return 0;
  SetReportStoredHook([](TExceptionDialog& dialog) {
    if (IsWindowVisible(dialog.Handle())) {
      const std::string marker = AppFile("dialog_shown.txt");
      if (FILE* f = std::fopen(marker.c_str(), "ab")) {
        std::fputs((dialog.Caption() + "\n").c_str(), f);
        std::fclose(f);
      }
    }
    dialog.SetModalResult(ui::mrOk);
  });
  gCopy = reinterpret_cast<MemcpyFn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "memcpy")));
  gLockLoader = reinterpret_cast<LockLoaderFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrLockLoaderLock")));
  if (mode == "terminate") Terminate();
  if (mode == "terminatecall") CallTerminate();
  if (mode == "memcpy") CopyToNowhere();
  if (mode == "thread") {
    const KernelHandle worker(CreateThread(nullptr, 0, &FaultingWorker, nullptr, 0, nullptr));
    WaitForSingleObject(worker.Get(), INFINITE);  // never returns: the process ends first
    return 1;
  }
  if (mode == "held") {
    const TDiagLockGuard held(DiagLookupLock());
    CopyToNowhere();
  }
  if (mode == "heldelsewhere") {
    const KernelHandle taken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const KernelHandle holder(CreateThread(nullptr, 0, &HoldingWorker, taken.Get(), 0, nullptr));
    WaitForSingleObject(taken.Get(), INFINITE);
    CopyToNowhere();
  }
  if (mode == "loaderheld") {
    ULONG_PTR cookie = 0;
    gLockLoader(0, nullptr, &cookie);
    CopyToNowhere();
  }
  if (mode == "loaderheldelsewhere") {
    StartHolder(&LoaderHoldingWorker);
    CopyToNowhere();
  }
  if (mode == "randomheldelsewhere") {
    SetReportRandomSource([] {
      if (GetCurrentThreadId() == gHolder) {
        SetEvent(gTaken);
        Sleep(INFINITE);
      }
      return 7u;
    });
    StartHolder(&RandomHoldingWorker);
    CopyToNowhere();
  }
  if (mode == "notifierheldelsewhere") {
    // A library without version information: its version is read by a call
    // that raises and catches while the report is built.
    if (LoadLibraryA("diag_plain.dll") == nullptr) return 2;
    DiagAddExceptNotifier(&StuckOnHolder, TDiagNotifierPriority::Normal);
    StartHolder(&NotifierHoldingWorker);
    RaiseException(kHeldNotifierCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  }
  if (mode == "faultnotifierheldelsewhere") {
    DiagAddExceptNotifier(&StuckOnHolder, TDiagNotifierPriority::Normal);
    StartHolder(&NotifierHoldingWorker);
    CopyToNowhere();
  }
  if (mode == "overflow") return Recurse(0);
  SetTimer(nullptr, 0, 10, &OnTimer);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  UnInitializeHandler();
  return 0;
}

}  // namespace
}  // namespace kv

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) { return kv::Run(commandLine ? commandLine : ""); }
