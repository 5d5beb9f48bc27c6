// A program that fails on purpose, one way per command-line mode, with the
// exception reporting installed as in the real program. In a message
// handler: "av", "div", "throw", "at" (each shows the dialog, which closes
// itself once the report is stored, and the program ends with 0). Ending
// paths: "terminate", "memcpy" (a fault inside a system library that nobody
// handles: the dialog shows it, then the program ends), "overflow". Each
// dialog that was on screen when its report was stored leaves its caption
// in "dialog_shown.txt" beside the program. "thread": memcpy's fault on a
// worker thread while the user-interface thread waits for it (a plain box
// tells the user; the test answers it). "held": memcpy's fault while this
// thread holds the lookup lock; "heldelsewhere": while a thread that never
// lets go holds it (both: the report is stored with bare addresses).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/handle.h"
#include "diagnostics/debug_info_win.h"
#include "diagnostics/exception_dialog_win.h"
#include "foundation/files_win.h"
#include "ui/application_win.h"

namespace kv {
namespace {

std::string gMode;
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

using MemcpyFn = void* (*)(void*, const void*, size_t);
__attribute__((noinline)) void CopyToNowhere() {
  static volatile MemcpyFn copy =
      reinterpret_cast<MemcpyFn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "memcpy")));
  char source[16] = {};
  copy(nullptr, source, sizeof source);  // MARK:memcpy
}

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

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) noexcept {
  KillTimer(nullptr, id);
  ui::Guarded([] { Fail1(); return 0; }, 0);
  PostQuitMessage(0);
}

int Run(const std::string& mode) {
  gMode = mode;
  SetAppDirFromExecutable();
  ui::Application().SetTitle("Crash test");
  InitializeHandler();
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
  if (mode == "terminate") Terminate();
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
