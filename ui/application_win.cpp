#include "ui/application_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "ui/forms_win.h"

namespace kv::ui {

namespace {

TMessageBoxHook& MessageBoxHookSlot() {
  static TMessageBoxHook hook;
  return hook;
}

TShellExecuteHook& ShellExecuteHookSlot() {
  static TShellExecuteHook hook;
  return hook;
}

TWideShellExecuteHook& WideShellExecuteHookSlot() {
  static TWideShellExecuteHook hook;
  return hook;
}

std::function<int()>& ComCtlProviderSlot() {
  static std::function<int()> provider;
  return provider;
}

// The version of the common-controls assembly the activation context maps
// comctl32.dll to (major * 100 + minor), or 0 when it maps it nowhere. Wine
// loads the version 6 copy through the manifest but its DllGetVersion still
// says 5.81, so the assembly's identity is the better witness.
int ActivationContextComCtlVersion() {
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof data;
  if (!FindActCtxSectionStringW(FIND_ACTCTX_SECTION_KEY_RETURN_HACTCTX, nullptr,
                                ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll",
                                &data))
    return 0;
  const ScopeGuard release([&] { ReleaseActCtx(data.hActCtx); });
  DWORD index = data.ulAssemblyRosterIndex;
  SIZE_T needed = 0;
  QueryActCtxW(0, data.hActCtx, &index, AssemblyDetailedInformationInActivationContext, nullptr,
               0, &needed);
  if (needed < sizeof(ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION)) return 0;
  std::vector<std::uint64_t> buffer((needed + 7) / 8);
  if (!QueryActCtxW(0, data.hActCtx, &index, AssemblyDetailedInformationInActivationContext,
                    buffer.data(), needed, &needed))
    return 0;
  const auto* info =
      reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer.data());
  if (!info->lpAssemblyEncodedAssemblyIdentity) return 0;
  // e.g. Microsoft.Windows.Common-Controls,...,version="6.0.2600.2982"
  const std::wstring identity = info->lpAssemblyEncodedAssemblyIdentity;
  constexpr std::wstring_view kName = L"Microsoft.Windows.Common-Controls,";
  const size_t at = identity.find(L"version=\"");
  if (identity.compare(0, kName.size(), kName) != 0 || at == std::wstring::npos) return 0;
  unsigned major = 0, minor = 0;
  if (swscanf(identity.c_str() + at + 9, L"%u.%u", &major, &minor) != 2 || major > 99 ||
      minor > 99)
    return 0;
  return static_cast<int>(major * 100 + minor);
}

int DllComCtlVersion() {
  HMODULE module = GetModuleHandleW(L"comctl32.dll");
  if (!module) return 0;
  using GetVersionFn = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
  auto get = reinterpret_cast<GetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetVersion")));
  if (!get) return 400;  // older than the function itself
  DLLVERSIONINFO info{};
  info.cbSize = sizeof info;
  if (FAILED(get(&info))) return 0;
  return static_cast<int>(info.dwMajorVersion * 100 + info.dwMinorVersion);
}

int SystemComCtlVersion() {
  return std::max(DllComCtlVersion(), ActivationContextComCtlVersion());
}

}  // namespace

TApplication& Application() {
  static TApplication app;
  return app;
}

TApplication::TApplication() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
}

TApplication::~TApplication() { DestroyComponents(); }

void TApplication::AddForm(TForm* form) {
  forms_.push_back(form);
  if (OnFormAdded) OnFormAdded(form);
}

void TApplication::RemoveForm(TForm* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  if (mainForm_ == form) mainForm_ = nullptr;
}

void TApplication::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::Remove && component == mainForm_) mainForm_ = nullptr;
}

void TApplication::Run() {
  if (mainForm_ && !mainForm_->Visible()) mainForm_->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::HandleMessage() {
  MSG msg;
  if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    Dispatch(msg);
    return;
  }
  bool done = true;
  if (OnIdle) {
    try {
      Fire(OnIdle, this, done);
    } catch (...) {
      HandleException(std::current_exception());
    }
  }
  if (done && !terminated_) WaitMessage();
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (!terminated_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) Dispatch(msg);
}

// An empty PeekMessage costs several round trips to Wine's server (it also
// waits for the display's events); asking the queue's state costs one. The
// display's events still reach the queue: Wine reads them every few hundred
// calls of either.
void TApplication::ProcessQueuedMessages() {
  if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) ProcessMessages();
}

void TApplication::Dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    quitCode_ = static_cast<int>(msg.wParam);
    return;
  }
  if (DialogKey(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

// Enter, Esc and Tab inside a form.
bool TApplication::DialogKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || !msg.hwnd) return false;
  HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  auto* form = dynamic_cast<TForm*>(TControl::FromHandle(root));
  if (!form) return false;
  if (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) {
    return Guarded([&] { return form->DialogKey(msg.hwnd, msg.wParam); }, true);
  }
  if (msg.wParam == VK_TAB) {
    MSG copy = msg;
    return IsDialogMessageW(root, &copy) != 0;
  }
  return false;
}

void TApplication::Terminate() { PostQuitMessage(0); }

bool TApplication::HelpContext(unsigned context) { return context != 0 && OnHelp && OnHelp(context); }

void TApplication::ResetTerminated() {
  terminated_ = false;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

void TApplication::HandleException(std::exception_ptr error) noexcept {
  // An exception while OnException runs (a report dialog's own loop) goes
  // to it again: the handler decides how to show it. Only the plain box
  // guards against recursion.
  try {
    if (OnException) {
      Fire(OnException, this, error);
      return;
    }
  } catch (...) {
    return;
  }
  if (handlingException_) return;
  handlingException_ = true;
  try {
    {
      std::string text = "Unknown error";
      try {
        std::rethrow_exception(error);
      } catch (const std::exception& e) {
        text = e.what();
      } catch (...) {
      }
      ShowMessageBox(text, title_, MB_OK | MB_ICONSTOP);
    }
  } catch (...) {
  }
  handlingException_ = false;
}

void SetMessageBoxHook(TMessageBoxHook hook) { MessageBoxHookSlot() = std::move(hook); }

int ShowMessageBox(const std::string& text, const std::string& caption, UINT flags) {
  return ShowMessageBox(GetActiveWindow(), text, caption, flags);
}

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  if (MessageBoxHookSlot()) return MessageBoxHookSlot()(owner, text, caption, flags);
  return MessageBoxW(owner, AnsiToWString(text).c_str(), AnsiToWString(caption).c_str(), flags);
}

void SetShellExecuteHook(TShellExecuteHook hook) { ShellExecuteHookSlot() = std::move(hook); }

namespace {

// verb empty: the target's default verb.
bool ShellRunW(const char* verb, const std::wstring& target, int show = SW_SHOWNORMAL, HWND parent = nullptr) {
  const std::wstring wideVerb = AnsiToWString(verb);
  auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(parent, wideVerb.empty() ? nullptr : wideVerb.c_str(),
                                                        target.c_str(), nullptr, nullptr, show));
  return result > 32;
}

bool ShellRun(const char* verb, const std::string& target, int show = SW_SHOWNORMAL, HWND parent = nullptr) {
  if (ShellExecuteHookSlot()) return ShellExecuteHookSlot()(verb, target, show);
  return ShellRunW(verb, AnsiToWString(target), show, parent);
}

bool ShellRun(const char* verb, const std::wstring& target) {
  if (WideShellExecuteHookSlot()) return WideShellExecuteHookSlot()(verb, target, SW_SHOWNORMAL);
  if (ShellExecuteHookSlot()) return ShellExecuteHookSlot()(verb, WStringToAnsi(target), SW_SHOWNORMAL);
  return ShellRunW(verb, target);
}

}  // namespace

void SetWideShellExecuteHook(TWideShellExecuteHook hook) { WideShellExecuteHookSlot() = std::move(hook); }

bool ShellOpen(const std::string& target) { return ShellRun("open", target); }
bool ShellDefault(const std::string& target) { return ShellRun("", target); }
bool ShellDefault(const std::string& target, int show) { return ShellRun("", target, show); }
bool ShellDefault(HWND parent, const std::string& target, int show) { return ShellRun("", target, show, parent); }
bool ShellOpen(const std::wstring& target) { return ShellRun("open", target); }
bool ShellDefault(const std::wstring& target) { return ShellRun("", target); }

void SetComCtlVersionProvider(std::function<int()> provider) {
  ComCtlProviderSlot() = std::move(provider);
}

int ComCtlVersion() {
  return ComCtlProviderSlot() ? ComCtlProviderSlot()() : SystemComCtlVersion();
}

bool VisualStylesEnabled() { return ComCtlVersion() >= 600; }

}  // namespace kv::ui
