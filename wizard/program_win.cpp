// Entry point of kelvarin.exe: the foundation's start-up, the main block and
// the foundation's shut-down, in that order and explicitly (never through
// static initialisers, whose order across files is undefined).
//
// Test hook: with the environment variable KELVARIN_LOG_MESSAGE_BOXES set to
// "1", message boxes are not shown but written to the log as
// "MessageBox: <text>", so that a test can run the program with nobody to
// answer them.
#include <windows.h>
#include <ole2.h>

#include <exception>
#include <string>

#include "engine/engine_init_win.h"
#include "foundation/foundation_init_win.h"
#include "foundation/log.h"
#include "foundation/settings_win.h"
#include "shell/namespace_win.h"
#include "ui/application_win.h"

namespace {

int LogMessageBox(HWND, const std::string& text, const std::string&, UINT) {
  kv::AddToLog("MessageBox: " + text);
  return IDOK;
}

void InstallTestHooks() {
  char value[8] = {};
  const DWORD n = GetEnvironmentVariableA("KELVARIN_LOG_MESSAGE_BOXES", value, sizeof value);
  if (n == 1 && value[0] == '1') kv::ui::SetMessageBoxHook(&LogMessageBox);
}

int Run() {
  InstallTestHooks();
  if (!kv::FoundationInitialize()) {
    kv::FoundationFinalize();
    return 1;
  }
  kv::EngineInitialize();
  // The shell items need OLE on this thread; they end before it does.
  const bool ole = SUCCEEDED(OleInitialize(nullptr));
  kv::ShellInitialize();
  kv::AddToLog("Dpr:start");
  kv::AddToLog("Dpr:conig");
  try {
    kv::CreateConfiger();
  } catch (const std::exception& e) {
    kv::ShowMessageBox(e.what());
    kv::ShellFinalize();
    if (ole) OleUninitialize();
    kv::FoundationFinalize();
    return 1;
  }
  // The wizard's forms and the message loop come here.
  int status = 0;
  try {
    kv::FreeConfiger();  // writes the settings file back
  } catch (const std::exception& e) {
    kv::ShowMessageBox(e.what());
    status = 1;
  }
  kv::ShellFinalize();
  if (ole) OleUninitialize();
  kv::EngineFinalize();
  kv::FoundationFinalize();
  return status;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    return Run();
  } catch (const std::exception& e) {
    kv::ShowMessageBox(e.what());
    return 1;
  }
}
