#pragma once
// The application object: the live forms, the main form, the message loop,
// idle and exception events, and the replaceable hooks through which message
// boxes and the shell's "open" go (tests replace them so nothing blocks).
#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "ui/component.h"

namespace kv::ui {

class TForm;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;
  const char* ClassName() const override { return "TApplication"; }

  const std::string& Title() const { return title_; }
  void SetTitle(std::string title) { title_ = std::move(title); }

  // Makes a T owned by the application; the first such form becomes the main form.
  template <class T, class... Args>
  T& CreateForm(Args&&... args) {
    T& form = Create<T>(std::forward<Args>(args)...);
    if (!mainForm_) mainForm_ = &form;
    return form;
  }
  TForm* MainForm() const { return mainForm_; }
  void SetMainForm(TForm* form) { mainForm_ = form; }
  // Every form alive, in creation order.
  const std::vector<TForm*>& Forms() const { return forms_; }

  // Shows the main form and handles messages until Terminate.
  void Run();
  // Handles one message, or runs the idle event and waits for one.
  void HandleMessage();
  // Handles every pending message and returns.
  void ProcessMessages();
  // The same for a loop that calls it for every small step of its work: asks
  // the queue first and returns at once when it holds nothing.
  void ProcessQueuedMessages();
  // Asks the loops to end (posts WM_QUIT).
  void Terminate();
  // True once WM_QUIT was taken from the queue.
  bool Terminated() const { return terminated_; }
  // A nested loop that ends because of WM_QUIT hands it on to the loops
  // outside it.
  void RepostQuit() const { PostQuitMessage(quitCode_); }
  // Clears the terminated state (a test that posted WM_QUIT).
  void ResetTerminated();

  // Idle: done stays true unless the handler wants to run again at once.
  std::function<void(TComponent* sender, bool& done)> OnIdle;
  // Every exception caught at a window procedure or other OS boundary.
  std::function<void(TComponent* sender, std::exception_ptr error)> OnException;
  // Hands an exception to OnException, or shows its text in a message box.
  void HandleException(std::exception_ptr error) noexcept;

  // Shows the help for a non-zero context through OnHelp; true when shown.
  // The program has no help file of its own, so without a handler nothing shows.
  bool HelpContext(unsigned context);
  std::function<bool(unsigned context)> OnHelp;

  // Forms register themselves here.
  void AddForm(TForm* form);
  // Runs for every form registered from now on, from the start of its
  // constructor (the form is not complete yet: keep the pointer, use it later).
  std::function<void(TForm* form)> OnFormAdded;
  void RemoveForm(TForm* form);
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void Dispatch(MSG& msg);
  bool DialogKey(const MSG& msg);

  std::string title_;
  TForm* mainForm_ = nullptr;
  std::vector<TForm*> forms_;
  bool terminated_ = false;
  int quitCode_ = 0;
  bool handlingException_ = false;
};

TApplication& Application();

// Runs f; an exception goes to the application's handler and fallback is
// returned instead. For every window procedure and OS callback. A callable
// fallback runs only when f threw (a window procedure's default answer);
// it must not throw.
template <class F, class R>
auto Guarded(F&& f, R fallback) noexcept {
  using Result = typename std::conditional_t<std::is_invocable_v<R&>, std::invoke_result<R&>,
                                             std::type_identity<R>>::type;
  try {
    return static_cast<Result>(f());
  } catch (...) {
    Application().HandleException(std::current_exception());
    if constexpr (std::is_invocable_v<R&>)
      return static_cast<Result>(fallback());
    else
      return fallback;
  }
}

// Message boxes: (owner, text, caption, MB_* flags) -> ID* answer.
using TMessageBoxHook =
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT flags)>;
// Replaces the system's message box (empty restores it).
void SetMessageBoxHook(TMessageBoxHook hook);
int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags);
// The same with the given owner window instead of the active one.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);

// The shell's verb on a file or address: (verb, target, show command) -> success.
using TShellExecuteHook =
    std::function<bool(const std::string& verb, const std::string& target, int show)>;
void SetShellExecuteHook(TShellExecuteHook hook);
// The same for wide targets (file names outside the ANSI code page); when
// it is empty, a wide target goes to the hook above as its ANSI text.
using TWideShellExecuteHook =
    std::function<bool(const std::string& verb, const std::wstring& target, int show)>;
void SetWideShellExecuteHook(TWideShellExecuteHook hook);
// Opens the target with its associated program, shown normally.
bool ShellOpen(const std::string& target);
// Runs the target's default verb (for music often "play", not "open"),
// shown normally; the hook sees an empty verb.
bool ShellDefault(const std::string& target);
// The same with the given show command (SW_...), and with the window that
// owns what the shell shows (an error box).
bool ShellDefault(const std::string& target, int show);
bool ShellDefault(HWND parent, const std::string& target, int show);
bool ShellOpen(const std::wstring& target);
bool ShellDefault(const std::wstring& target);

// The common controls' version as major * 100 + minor (6.0 -> 600). Wine
// reports 5.81 even under the version 6 manifest, so this is replaceable.
void SetComCtlVersionProvider(std::function<int()> provider);
int ComCtlVersion();
// True when controls draw in the system's visual style (version 6 or later).
bool VisualStylesEnabled();

}  // namespace kv::ui
