#include "diagnostics/exception_dialog_win.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "base/scope_guard.h"
#include "diagnostics/diag_lock_win.h"
#include "diagnostics/exception_report_win.h"
#include "diagnostics/os_exceptions_win.h"
#include "diagnostics/quick_mail_win.h"
#include "foundation/files_win.h"
#include "foundation/translate.h"
#include "foundation/translate_component.h"
#include "ui/application_win.h"
#include "ui/gdi_win.h"
#include "ui/layout_loader_win.h"

namespace kv {
namespace {

// Process-wide: one report on screen at a time, and the test hook.
bool reportShowing = false;
std::function<void(TExceptionDialog&)> reportStoredHook;
std::function<void(TExceptionDialog&)> reportShowingHook;
DWORD mainThreadId = GetCurrentThreadId();

// Restores the arrow when the scope ends.
class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(previous_ ? previous_ : LoadCursorA(nullptr, IDC_ARROW)); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

}  // namespace

std::string ErrorHistoryPath() { return AppFile(kErrorHistoryName); }

void SetReportStoredHook(std::function<void(TExceptionDialog&)> hook) { reportStoredHook = std::move(hook); }
void SetReportShowingHook(std::function<void(TExceptionDialog&)> hook) { reportShowingHook = std::move(hook); }

TExceptionDialog::TExceptionDialog() {
  static const bool registered = [] {
    ui::RegisterComponentClass<TExceptionDialog>("TExceptionDialog", "TForm");
    return true;
  }();
  (void)registered;
  RegisterHandler("FormCreate", &TExceptionDialog::FormCreate);
  RegisterHandler("FormShow", &TExceptionDialog::FormShow);
  RegisterHandler("FormPaint", &TExceptionDialog::FormPaint);
  RegisterHandler("FormResize", &TExceptionDialog::FormResize);
  RegisterHandler("SendButtonClick", &TExceptionDialog::SendButtonClick);
  ui::LoadLayout(*this, "exception_dialog");
}

bool TExceptionDialog::ReportShowing() { return reportShowing; }

namespace {

// The standard exception box of the GUI layer.
void StandardBox(const std::exception_ptr& error) {
  ui::ShowMessageBox(ExceptionMessage(error), ui::Application().Title(), MB_OK | MB_ICONSTOP);
}

}  // namespace

void TExceptionDialog::ExceptionHandler(ui::TComponent*, std::exception_ptr error) {
  if (reportShowing) {
    // A second exception while a report is on screen: the standard box.
    StandardBox(error);
    return;
  }
  reportShowing = true;
  const ScopeGuard done([] { reportShowing = false; });
  ShowOrStore(error, nullptr);
}

void TExceptionDialog::ExceptionThreadHandler(TDiagDebugThread& thread) {
  if (reportShowing) {
    StandardBox(thread.SyncExceptionObject());
    return;
  }
  reportShowing = true;
  const ScopeGuard done([] { reportShowing = false; });
  ShowOrStore(thread.SyncExceptionObject(), &thread);
}

void TExceptionDialog::ShowOrStore(std::exception_ptr error, const TDiagDebugThread* thread) {
  try {
    ShowException(error, thread);
  } catch (...) {
    // The report is stored by now; the user still learns what happened.
    StandardBox(error);
  }
}

void TExceptionDialog::ShowException(std::exception_ptr error, const TDiagDebugThread* thread) {
  // The stack of this exception, kept before anything else can raise. A
  // thread's exception was recorded on that thread, not on this one.
  if (thread == nullptr) {
    ShowReport(error, DiagLastExceptStackList(), std::nullopt);
  } else {
    ShowReport(error, DiagLastExceptStackList(thread->ThreadID()), thread->GetThreadInfo());
  }
}

bool TExceptionDialog::ShowUnhandledFault(std::exception_ptr error, std::shared_ptr<TDiagStackInfoList> stack,
                                          const std::string& storedEntry) {
  if (reportShowing) return false;
  reportShowing = true;
  const ScopeGuard done([] { reportShowing = false; });
  try {
    return ShowReport(error, std::move(stack), std::nullopt, storedEntry);
  } catch (...) {
    return false;
  }
}

bool TExceptionDialog::ShowReport(std::exception_ptr error, std::shared_ptr<TDiagStackInfoList> stack,
                                  std::optional<std::string> thread, const std::string& storedEntry) {
  bool stored = !storedEntry.empty();
  try {
    // Making, filling and showing the dialog all need windows and GDI
    // objects, which may be what ran out.
    TExceptionDialog dialog;
    dialog.stack_ = stack;
    dialog.thread_ = thread;
    dialog.storedEntry_ = storedEntry;
    dialog.alreadyStored_ = stored;
    dialog.storedFlag_ = &stored;
    dialog.Prepare(error);
    dialog.ShowModal();
    dialog.storedFlag_ = nullptr;
    return true;
  } catch (...) {
    if (!stored) {
      const void* address = stack && !stack->Items().empty()
                                ? reinterpret_cast<const void*>(stack->Items()[0].callerAddr)
                                : nullptr;
      StoreEndingReport(ExceptionMessage(error), ExceptionClassName(error), address, stack, thread);
    }
    throw;
  }
}

void TExceptionDialog::FormCreate(ui::TComponent*) {
  expandedHeight_ = ClientHeight();
  SetDetailsVisible(false);
  SetCaption(ui::Application().Title() + " - application error");
}

void TExceptionDialog::Prepare(std::exception_ptr error) {
  error_ = error;
  TranslateComponent(*this);
  onMainThread_ = GetCurrentThreadId() == mainThreadId;
  focusChain_.clear();
  hasFocus_ = false;
  for (ui::TControl* control = ui::TControl::FromHandle(GetFocus()); control != nullptr; control = control->Parent()) {
    hasFocus_ = true;
    focusChain_.emplace_back(control->ClassName(), control->Name());
  }
  Get<ui::TMemo>("TextLabel").SetText(ReportMessageText(ExceptionMessage(error)));
  UpdateTextLabelScrollbars();
  const void* address = nullptr;
  if (stack_ && !stack_->Items().empty()) address = reinterpret_cast<const void*>(stack_->Items()[0].callerAddr);
  details_ = ReportHeaderLines(ExceptionClassName(error), address, thread_,
                               ReportDelimiter(ReportMaxColumns(), ReportNewBlockDelimiterChar()));
}

void TExceptionDialog::FormShow(ui::TComponent*) {
  if (reportShowingHook) reportShowingHook(*this);
  BeforeCreateDetails();
  MessageBeep(MB_ICONHAND);
  HWND h = HandleIfAllocated();
  if (onMainThread_ && h != nullptr && GetWindowThreadProcessId(h, nullptr) == mainThreadId) {
    PostMessageW(h, UM_CREATEDETAILS, 0, 0);
  } else {
    CreateDetails();
  }
}

void TExceptionDialog::WndProc(ui::TMessage& m) {
  if (m.msg == UM_CREATEDETAILS) {
    if (HWND h = HandleIfAllocated()) UpdateWindow(h);
    CreateDetails();
    return;
  }
  ui::TForm::WndProc(m);
}

void TExceptionDialog::CreateDetailInfo() {
  TReportInput input;
  input.stack = stack_;
  input.focusChain = focusChain_;
  input.hasFocus = hasFocus_;
  input.delimiter = ReportDelimiter(ReportMaxColumns(), ReportNewBlockDelimiterChar());
  CreateReport(details_, kReportAllBlocks, input);
}

void TExceptionDialog::CreateDetails() {
  if (detailsBuilt_) return;
  detailsBuilt_ = true;
  {
    // An exception while the details are built stops the building and goes
    // on to the application (the standard box, as a report is showing); the
    // half-built report is not stored. The cursor and OK come back whatever
    // happened.
    const WaitCursor wait;
    const ScopeGuard enableOk([this] { Get<ui::TButton>("OkBtn").SetEnabled(true); });
    const TDiagRecordingPause pause;
    CreateDetailInfo();
    std::string text;
    for (const std::string& line : details_) text += line + "\r\n";
    Get<ui::TMemo>("DetailsMemo").SetText(text);
    if ((Tag() & 1) != 0) ReportToLog();
    AfterCreateDetails();
  }
  StoreReportText();
}

void TExceptionDialog::StoreReportText() {
  if (!alreadyStored_) {
    try {
      storedEntry_ = StoreReport(ErrorHistoryPath(), MakeStoredReport(Get<ui::TMemo>("TextLabel").Text(), details_));
      if (storedFlag_) *storedFlag_ = true;
    } catch (const std::exception&) {
      storedEntry_.clear();  // the dialog still shows the message
    }
  }
  if (reportStoredHook) reportStoredHook(*this);
}

std::string TExceptionDialog::GetReportAsText() const {
  std::string text = Get<ui::TMemo>("TextLabel").Text();
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
  text += "\r\n";
  for (const std::string& line : details_) text += line + "\r\n";
  return text;
}

void TExceptionDialog::ReportToLog() {
  reportLog_.OpenLog();
  reportLog_.WriteStamp(ReportMaxColumns());
  reportLog_.Write(GetReportAsText(), 0);
  reportLog_.CloseLog();
}

void TExceptionDialog::FormPaint(ui::TComponent*) {
  const ui::TControl& label = Get<ui::TMemo>("TextLabel");
  if (HDC dc = PaintDC()) {
    DrawIcon(dc, label.Left() - GetSystemMetrics(SM_CXICON) - 15, label.Top(), LoadIconA(nullptr, IDI_ERROR));
  }
}

void TExceptionDialog::FormResize(ui::TComponent*) { UpdateTextLabelScrollbars(); }

void TExceptionDialog::UpdateTextLabelScrollbars() {
  if ((Tag() & 2) != 0) return;
  ui::TMemo& label = Get<ui::TMemo>("TextLabel");
  HWND h = label.HandleIfAllocated();
  if (h == nullptr) return;
  const ui::WindowDc dc = ui::GetClientDc(h);
  const ui::SelectedObject font = ui::SelectInto(dc.Get(), label.FontHandle());
  SIZE size{};
  GetTextExtentPoint32A(dc.Get(), "Wg", 2, &size);
  RECT client{};
  GetClientRect(h, &client);
  // The lines the memo shows: a long line wraps into several.
  const auto lines = static_cast<long>(SendMessageA(h, EM_GETLINECOUNT, 0, 0));
  label.SetScrollBars(lines * size.cy > client.bottom ? ui::TScrollStyle::Vertical : ui::TScrollStyle::None);
}

void TExceptionDialog::SetDetailsVisible(bool visible) {
  ui::TMemo& memo = Get<ui::TMemo>("DetailsMemo");
  if (visible) {
    SetMinSize(MinWidth(), compactHeight_ + 100);
    SetMaxHeight(GetSystemMetrics(SM_CYSCREEN));
    SetClientHeight(expandedHeight_);
    memo.SetHeight(expandedHeight_ - memo.Top() - 3);
    memo.SetEnabled(true);
  } else {
    expandedHeight_ = ClientHeight();
    if (compactHeight_ == 0) {
      SetClientHeight(Get<ui::TPanel>("Bevel1").Top());
      compactHeight_ = Height();
    } else {
      // The shown details' minimum height would hold the window open.
      SetMinSize(MinWidth(), compactHeight_);
      SetHeight(compactHeight_);
    }
    SetMinSize(MinWidth(), compactHeight_);
    SetMaxHeight(compactHeight_);
    memo.SetEnabled(false);
  }
  detailsShown_ = visible;
}

void TExceptionDialog::DetailsBtnClick(ui::TComponent*) { SetDetailsVisible(!detailsShown_); }

void TExceptionDialog::SendButtonClick(ui::TComponent*) {
  const std::string archive = ErrorHistoryPath();
  bool accepted = false;
  try {
    TAFQuickMail mail;
    mail.ToEmail = {kSupportAddress};
    mail.Subject = std::string("Bug report: ") + kReportTitle;
    mail.FileNames = {archive};
    accepted = mail.Execute();
  } catch (const std::exception&) {
    ui::ShowMessageBox(HandleIfAllocated(),
                       Translate("Cannot send the message automatically") + ". \r\n" +
                           Translate("Please send the file \"error.history\" from the program folder to the authors") +
                           " (" + kSupportAddress + ")",
                       ui::Application().Title(), MB_OK);
    // Owned by the program's window, so that a shell error box opens in front.
    ui::TForm* main = ui::Application().MainForm();
    ui::ShellDefault(main ? main->HandleIfAllocated() : HandleIfAllocated(), std::string("mailto:") + kSupportAddress,
                     SW_SHOW);
    return;
  }
  // The mail system has the reports now. A history that cannot be removed
  // stays and goes again with the next report: the message did leave, so
  // the user is not told it failed.
  if (accepted) DeleteFileA(archive.c_str());
}

// ------------------------------------------------------------ ending paths --
// When the program cannot go on, the report is stored without a dialog and
// without the focus block, and the process ends with a failure code.

std::string StoreEndingReport(const std::string& message, const std::string& className, const void* address,
                              const std::shared_ptr<TDiagStackInfoList>& stack,
                              const std::optional<std::string>& thread) noexcept {
  try {
    const TDiagRecordingPause pause;
    std::vector<std::string> details = ReportHeaderLines(className, address, thread);
    TReportInput input;
    input.stack = stack;
    CreateReport(details, kReportStackList | kReportSystem | kReportModules, input);
    return StoreReport(ErrorHistoryPath(), MakeStoredReport(ReportMessageText(message), details));
  } catch (...) {
    return {};  // nothing more can be done on the way out
  }
}

namespace {

constexpr char kTerminatedMessage[] = "The program was terminated";
constexpr char kStackOverflowMessage[] = "Stack overflow";

const void* FirstAddress(const std::shared_ptr<TDiagStackInfoList>& stack) {
  return stack && !stack->Items().empty() ? reinterpret_cast<const void*>(stack->Items()[0].callerAddr) : nullptr;
}

// What the user sees of a fault no dialog showed, on the faulting thread (or
// the overflow's reporter thread), after its report was stored: the
// user-interface thread may be busy, waiting, or the one that failed.
void FaultBox(const std::string& message) noexcept {
  // A box may load libraries and wait for the system's threads while it is
  // up: it is left out when a thread that never lets go holds the loader.
  if (!DiagLoaderLockAvailable()) return;
  try {
    ui::ShowMessageBox(nullptr,
                       ReportMessageText(message) + "\r\n\r\nThe program cannot go on and will be closed.",
                       ui::Application().Title() + " - application error",
                       MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
  } catch (...) {
  }
}

// The thread that is ending the program through std::terminate: a second
// call (from the box's message loop, or another thread's) ends at once.
std::atomic<DWORD> terminatingThread{0};

// std::terminate: the report is stored (the thread may hold a diagnostics
// lock, or one another thread never lets go), the user is told in a plain
// box on this thread, and the program ends.
[[noreturn]] void TerminateHandler() noexcept {
  DWORD none = 0;
  if (!terminatingThread.compare_exchange_strong(none, GetCurrentThreadId())) {
    if (none != GetCurrentThreadId()) Sleep(INFINITE);  // the first one ends the process
    TerminateProcess(GetCurrentProcess(), 3);
    std::abort();
  }
  {
    const TDiagFaultScope faultScope;
    const std::exception_ptr error = std::current_exception();
    std::shared_ptr<TDiagStackInfoList> stack;
    std::string message;
    try {
      message = error ? ExceptionMessage(error) : std::string(kTerminatedMessage);
    } catch (...) {
    }
    if (error) {
      try {
        stack = DiagLastExceptStackList();
        StoreEndingReport(message, ExceptionClassName(error), FirstAddress(stack), stack);
      } catch (...) {
      }
    } else {
      try {
        stack = std::make_shared<TDiagStackInfoList>((StackTrackingOptions() & kStackTrackRaw) != 0, 0, nullptr,
                                                     false, nullptr);
      } catch (...) {
      }
      StoreEndingReport(message, "", nullptr, stack);
    }
    FaultBox(message);
  }
  TerminateProcess(GetCurrentProcess(), 3);
  std::abort();
}

std::string FaultMessage(const EXCEPTION_RECORD& record) {
  std::string message = OsExceptionMessage(record);
  if (message.empty()) {
    char text[96];
    std::snprintf(text, sizeof text, "External exception %08lX at address %016llX",
                  static_cast<unsigned long>(record.ExceptionCode),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(record.ExceptionAddress)));
    message = text;
  }
  return message;
}

std::shared_ptr<TDiagStackInfoList> FaultStack(const EXCEPTION_RECORD& record, const CONTEXT& context,
                                               uint64_t stackTop) {
  try {
    return std::make_shared<TDiagStackInfoList>((StackTrackingOptions() & kStackTrackRaw) != 0, 0,
                                                record.ExceptionAddress, true, &context, stackTop);
  } catch (...) {
    return nullptr;
  }
}

// A fault nobody handled. Its report is stored first, from what can be had
// without waiting long (the faulting thread may hold a diagnostics lock, or
// a lock another thread never lets go); then the report dialog shows it on
// the user-interface thread, or a plain box on any other thread, or when no
// dialog can show it; then the program ends.
LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* info) noexcept {
  const TDiagFaultScope faultScope;
  const EXCEPTION_RECORD& record = *info->ExceptionRecord;
  // The stack recorded when the fault was raised; walked anew when there is none.
  std::shared_ptr<TDiagStackInfoList> stack = DiagLastFaultStackList();
  if (!stack || stack->Items().empty() ||
      stack->Items()[0].callerAddr != reinterpret_cast<uint64_t>(record.ExceptionAddress)) {
    stack = FaultStack(record, *info->ContextRecord, 0);
  }
  std::exception_ptr error;
  try {
    const TDiagRecordingPause pause;
    error = OsExceptionObject(record);
  } catch (...) {
  }
  std::string message, className = "kv::EExternalException";
  try {
    message = error ? ExceptionMessage(error) : FaultMessage(record);
    if (error) className = ExceptionClassName(error);
  } catch (...) {
  }
  const std::string entry = StoreEndingReport(message, className, record.ExceptionAddress, stack);
  bool shown = false;
  // The dialog, like the box, may load libraries while it is up.
  if (error && GetCurrentThreadId() == mainThreadId && DiagLoaderLockAvailable()) {
    try {
      shown = TExceptionDialog::ShowUnhandledFault(error, stack, entry);
    } catch (...) {
    }
  }
  if (!shown) FaultBox(message);
  TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

// On the overflow's reporter thread: a fresh stack and a thread of its own,
// which holds no lock of the overflowing thread's and may show a box while
// that thread waits. The locks the overflowing thread holds are tried for a
// bounded time, as for the faulting thread of a fault.
void ReportStackOverflow(const CONTEXT& context, uint64_t stackTop, const std::function<void()>& stored) {
  const TDiagFaultScope faultScope;
  EXCEPTION_RECORD record{};
  record.ExceptionCode = EXCEPTION_STACK_OVERFLOW;
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  const auto stack = FaultStack(record, context, stackTop);
  StoreEndingReport(kStackOverflowMessage, "EStackOverflow", record.ExceptionAddress, stack);
  stored();
  FaultBox(kStackOverflowMessage);
}

}  // namespace

void InitializeHandler() {
  SetStackTrackingOptions(StackTrackingOptions() | kStackTrackRaw);
  SetStackOverflowReporter(&ReportStackOverflow);
  DiagDebugThreadList().SetOnSyncException(&TExceptionDialog::ExceptionThreadHandler);
  DiagStartExceptionTracking();
  ui::Application().OnException = &TExceptionDialog::ExceptionHandler;
  std::set_terminate(&TerminateHandler);
  SetUnhandledExceptionFilter(&UnhandledFilter);
}

void UnInitializeHandler() {
  ui::Application().OnException = nullptr;
  DiagDebugThreadList().SetOnSyncException(nullptr);
  SetUnhandledExceptionFilter(nullptr);
  SetStackOverflowReporter(nullptr);
  DiagUnhookExceptions();
  DiagStopExceptionTracking();
}

}  // namespace kv
