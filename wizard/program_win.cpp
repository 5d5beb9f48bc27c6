// Entry point of kelvarin.exe: the foundation's start-up, the main block and
// the foundation's shut-down, in that order and explicitly (never through
// static initialisers, whose order across files is undefined).
//
// Test hook: with the environment variable KELVARIN_LOG_MESSAGE_BOXES set to
// "1", message boxes are not shown but written to the log as
// "MessageBox: <text>", so that a test can run the program with nobody to
// answer them.
// With KELVARIN_LOG_SHELL_CALLS set to "1", files and addresses are not
// opened but written to the log as "Shell: <verb>|<target in UTF-8>".
// With KELVARIN_TEST_NO_SHORT_NAMES set to "1", the program finds no short
// (8.3) name anywhere, as on a volume made without them.
#include <windows.h>
#include <ole2.h>

#include <exception>
#include <memory>
#include <string>

#include "base/ansi_text_win.h"
#include "base/handle.h"
#include "base/strings.h"
#include "base/ansi_text.h"
#include "engine/audio_environment_win.h"
#include "engine/engine_init_win.h"
#include "foundation/md5.h"
#include "foundation/foundation_init_win.h"
#include "foundation/log.h"
#include "foundation/settings_win.h"
#include "shell/namespace_win.h"
#include "ui/application_win.h"
#include "wizard/about_form_win.h"
#include "wizard/face_win.h"
#include "diagnostics/exception_dialog_win.h"
#include "wizard/main_form_win.h"
#include "wizard/theme_win.h"

namespace {

int LogMessageBox(HWND, const std::string& text, const std::string&, UINT) {
  kv::AddToLog("MessageBox: " + text);
  return IDOK;
}

bool TestHookOn(const char* name) {
  char value[8] = {};
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n == 1 && value[0] == '1';
}

void InstallTestHooks() {
  if (TestHookOn("KELVARIN_LOG_MESSAGE_BOXES")) kv::ui::SetMessageBoxHook(&LogMessageBox);
  if (TestHookOn("KELVARIN_LOG_SHELL_CALLS")) {
    kv::ui::SetWideShellExecuteHook([](const std::string& verb, const std::wstring& target, int) {
      kv::AddToLog("Shell: " + verb + "|" + kv::WideToUtf8(kv::ToU16(target)));
      return true;
    });
    kv::ui::SetShellExecuteHook([](const std::string& verb, const std::string& target, int) {
      kv::AddToLog("Shell: " + verb + "|" + kv::WideToUtf8(kv::AnsiToWide(target)));
      return true;
    });
  }
  if (TestHookOn("KELVARIN_TEST_NO_SHORT_NAMES")) kv::SetShortPathLookup([](const std::wstring&) { return std::wstring(); });
}

// The main block after the settings store: each step is logged before it
// runs, so that the log of a failed start ends with the failing step.
void MainBlock() {
  kv::AddToLog("Dpr:about");
  auto& about = kv::ui::Application().Create<kv::TAboutForm>();
  kv::SetAboutForm(&about);
  kv::AddToLog("Dpr:splash");
  about.StartSplash();
  kv::AddToLog("Dpr:main");
  kv::ui::Application().SetTitle(kv::kProductTitle);
  kv::SetMainForm(&kv::ui::Application().CreateForm<kv::TMainForm>());
  kv::AddToLog("Dpr:theme");
  std::unique_ptr<kv::ui::TComponent> themeManager = kv::CreateThemeManager();
  kv::AddToLog("Dpr:load");
  kv::SetProgDispatcher(&kv::ui::Application().Create<kv::TProgDispatcher>());
  kv::LoadEnvironment();
  kv::AddToLog("Dpr:init");
  kv::Init({}, &kv::SaveEnvironment, {}, [](kv::ui::TComponent* sender, bool& canClose) {
    if (kv::TProgDispatcher* dispatcher = kv::ProgDispatcher()) dispatcher->OnTryClose(sender, canClose);
  });
  kv::AddToLog("Dpr:run");
  kv::ui::Application().Run();
  kv::EndShell();  // the settings are saved also after a close before the first idle moment
  themeManager.reset();
}

// The forms and the dispatcher go before the services they use.
void FreeMainObjects() {
  kv::ResetFace();
  kv::ui::TApplication& app = kv::ui::Application();
  if (kv::TProgDispatcher* dispatcher = kv::ProgDispatcher()) app.FreeComponent(dispatcher);
  kv::SetProgDispatcher(nullptr);
  if (kv::TMainForm* form = kv::MainForm()) app.FreeComponent(form);
  kv::SetMainForm(nullptr);
  if (kv::TAboutForm* about = kv::AboutForm()) app.FreeComponent(about);
  kv::SetAboutForm(nullptr);
}

// One running program per program folder: two would each write their
// reserve list at exit, the later erasing the other's lines. The mutex is
// named after the folder (upper-cased, so that letter case does not make
// two). Null when another program of this folder runs.
kv::KernelHandle TakeProgramFolder() {
  wchar_t exe[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring folder(exe, n);
  folder.resize(folder.rfind(L'\\') == std::wstring::npos ? 0 : folder.rfind(L'\\'));
  CharUpperBuffW(folder.data(), static_cast<DWORD>(folder.size()));
  std::string utf8(folder.size() * 3, '\0');
  utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, folder.data(), static_cast<int>(folder.size()),
                                                      utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
  const std::wstring name = L"Local\\KelvarinProgramFolder-" + kv::AnsiToWString(kv::ToHex(kv::GetMD5(utf8)));
  kv::KernelHandle mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) mutex.Reset();
  return mutex;
}

int Run() {
  InstallTestHooks();
  // Before anything that writes a file (settings, log, reserve).
  const kv::KernelHandle instance = TakeProgramFolder();
  if (!instance) {
    kv::ui::ShowMessageBox(nullptr, "Kelvarin is already running from this folder.", kv::kProductTitle,
                           MB_OK | MB_ICONINFORMATION);
    return 2;
  }
  if (!kv::FoundationInitialize()) {
    kv::FoundationFinalize();
    return 1;
  }
  kv::EngineInitialize();
  // The shell items need OLE on this thread; they end before it does.
  const bool ole = SUCCEEDED(OleInitialize(nullptr));
  kv::ShellInitialize();
  kv::RegisterHelpActions();
  kv::InitializeHandler();
  kv::AddToLog("Dpr:start");
  kv::AddToLog("Dpr:conig");
  try {
    kv::CreateConfiger();
  } catch (const std::exception& e) {
    kv::ShowMessageBox(e.what());
    kv::UnInitializeHandler();
    kv::ShellFinalize();
    if (ole) OleUninitialize();
    kv::FoundationFinalize();
    return 1;
  }
  int status = 0;
  // A step that raises ends the start-up there, without the message loop;
  // the exception is told here, as one leaving WinMain would end the
  // process at once, without a word and without putting anything back.
  try {
    MainBlock();
  } catch (const std::exception& e) {
    kv::ShowMessageBox(e.what());
    status = 1;
  }
  // The hooks stay until the main objects and the settings store are gone,
  // so that a fault while they are freed is noticed too.
  FreeMainObjects();
  try {
    kv::FreeConfiger();  // writes the settings file back
  } catch (const std::exception& e) {
    kv::ShowMessageBox(e.what());
    status = 1;
  }
  kv::UnInitializeHandler();
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
