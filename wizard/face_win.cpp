#include "wizard/face_win.h"

#include <windows.h>

#include <exception>

#include "base/handle.h"
#include "base/scope_guard.h"
#include "foundation/foundation_init_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "wizard/action_menu_win.h"

namespace kv {
namespace {

// The shell is process-wide: it owns the loop of the one user-interface thread.
std::unique_ptr<TStub>& StubHolder() {
  static std::unique_ptr<TStub> stub;
  return stub;
}
bool terminated = false;

// The visual-styles library, loaded with this unit and bound by name. The
// shell itself draws nothing; what draws with styles binds its own.
struct TVisualStyles {
  ModuleHandle library{LoadLibraryW(L"uxtheme.dll")};
  FARPROC Bind(const char* name) const { return library ? GetProcAddress(library.Get(), name) : nullptr; }
  FARPROC isAppThemed = Bind("IsAppThemed"), isThemeActive = Bind("IsThemeActive"),
          openThemeData = Bind("OpenThemeData"), closeThemeData = Bind("CloseThemeData"),
          drawThemeBackground = Bind("DrawThemeBackground");
};
const TVisualStyles visualStyles;

// The finish callback runs once whatever it does: it is taken out of the
// shell before it runs, and the shell goes even when it raises, so that
// EndShell finds nothing left to finish.
void FinishShell(TStub& stub) {
  TProcedure finish = std::move(stub.OnFinish);
  stub.OnFinish = {};
  ScopeGuard free([] { StubHolder().reset(); });
  ui::Fire(finish);
}

}  // namespace

TStub* Stub() { return StubHolder().get(); }
bool Terminated() { return terminated; }

void ResetFace() {
  StubHolder().reset();
  terminated = false;
}

TStub::~TStub() {
  // The main form must not call into a freed shell.
  if (!installed_) return;
  if (ui::TForm* main = ui::Application().MainForm()) {
    main->OnCloseQuery = {};
    main->OnClose = {};
  }
}

void TStub::OnAppIdle(ui::TComponent*, bool&) {
  ui::Application().OnIdle = {};
  if (ui::TForm* main = ui::Application().MainForm()) {
    main->OnCloseQuery = [this](ui::TComponent* s, bool& canClose) { FormCloseQuery(s, canClose); };
    main->OnClose = [this](ui::TComponent* s, ui::TCloseAction& action) { FormClose(s, action); };
    installed_ = true;
  }
  WaitAction();  // frees this object before it returns
}

void TStub::FormCloseQuery(ui::TComponent* sender, bool& canClose) {
  canClose = true;
  ui::Fire(OnTryClose, sender, canClose);
}

void TStub::FormClose(ui::TComponent*, ui::TCloseAction&) { terminated = true; }

void TStub::OnExit(ui::TComponent*) {
  if (ui::TForm* main = ui::Application().MainForm()) main->Close();
}

void Init(TProcedure onStart, TProcedure onFinish, TProcedure onIdle, ui::TCloseQueryEvent onTryClose) {
  StubHolder() = std::make_unique<TStub>();
  AddAction(0, "File~Exit", false, false, false, false, [](TProgAction&) {
    if (TStub* stub = Stub()) stub->OnExit(nullptr);
  });
  ui::Application().OnIdle = [](ui::TComponent* sender, bool& done) {
    if (TStub* stub = Stub()) stub->OnAppIdle(sender, done);
  };
  TStub& stub = *StubHolder();
  stub.OnStart = std::move(onStart);
  stub.OnFinish = std::move(onFinish);
  stub.OnIdle = std::move(onIdle);
  stub.OnTryClose = std::move(onTryClose);
  FillImageList();
}

void WaitAction() {
  TStub* stub = Stub();
  if (!stub) return;
  ui::Fire(stub->OnStart);
  // Only the main window's closing ends this loop. A WM_QUIT from elsewhere
  // ends the application's own loops, which then no longer wait for
  // messages: this one still does.
  while (!terminated) {
    try {
      MSG msg;
      if (ui::Application().Terminated() && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) WaitMessage();
      ui::Application().HandleMessage();
      ui::Application().ProcessMessages();
    } catch (...) {
      ui::Application().HandleException(std::current_exception());
    }
    ui::Fire(stub->OnIdle);
    ReCheckMenu();
  }
  FinishShell(*stub);
}

void EndShell() {
  TStub* stub = Stub();
  if (!stub) return;
  ui::Application().OnIdle = {};
  FinishShell(*stub);
}

}  // namespace kv
