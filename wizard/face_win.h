#pragma once
// The application shell: it takes over the message loop at the application's
// first idle moment, runs it until the main form has closed, then runs the
// finish callback once and frees itself. User-interface thread only.
#include <functional>
#include <memory>

#include "ui/component.h"

namespace kv {

class TActionMenuItem;
using TProcedure = std::function<void()>;

class TStub : public ui::TComponent {
 public:
  ~TStub() override;
  const char* ClassName() const override { return "TStub"; }

  TProcedure OnStart, OnFinish, OnIdle;
  ui::TCloseQueryEvent OnTryClose;

  // The application's idle handler; it removes itself and runs WaitAction.
  void OnAppIdle(ui::TComponent* sender, bool& done);
  // Close handlers installed on the main form at the first idle moment.
  void FormCloseQuery(ui::TComponent* sender, bool& canClose);
  void FormClose(ui::TComponent* sender, ui::TCloseAction& action);
  // The "File~Exit" action: closes the main form.
  void OnExit(ui::TComponent* sender);
  // A click on an action's menu item: its checked state goes to the action's
  // other items, then the action's handler and those of the earlier actions
  // under the same menu path run, newest first, each only when enabled
  // (defined with the menu items, action_menu_win.cpp).
  void OnClick(TActionMenuItem& sender);

 private:
  bool installed_ = false;  // the main form's close handlers are ours
};

// The one shell (null before Init and after WaitAction has finished).
TStub* Stub();
// Set once the main window has closed; ends WaitAction's loop.
bool Terminated();
// Tests start over with a fresh shell state.
void ResetFace();

// Creates the shell, registers "File~Exit", makes the shell the application's
// idle handler, stores the callbacks (each may be empty) and fills the
// action image lists.
void Init(TProcedure onStart, TProcedure onFinish, TProcedure onIdle, ui::TCloseQueryEvent onTryClose);
// The main loop: returns once the main window has closed, after OnFinish.
// Every pass ends with OnIdle and ReCheckMenu.
void WaitAction();
// After the application's own loop has returned: a main window closed before
// the first idle moment never let the shell take the loop, so its OnFinish
// runs here (still exactly once) and the shell is freed.
void EndShell();

}  // namespace kv
