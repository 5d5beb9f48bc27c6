#pragma once
// The dialog that shows an exception reaching the user-interface thread:
// the message in the compact form, the report built once the dialog is on
// screen and stored in the error history, and the "Bug report" button that
// mails the history. User-interface thread only.
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics/debug_thread_win.h"
#include "diagnostics/diag_stack_win.h"
#include "diagnostics/exception_log_win.h"
#include "diagnostics/exception_report_win.h"
#include "ui/forms_win.h"
#include "ui/std_controls_win.h"

namespace kv {

inline constexpr UINT UM_CREATEDETAILS = WM_USER + 0x100;

class TExceptionDialog : public ui::TForm {
 public:
  TExceptionDialog();
  const char* ClassName() const override { return "TExceptionDialog"; }

  // The application's exception event: the dialog, or the standard box
  // while a report is already on screen. When the dialog cannot be made or
  // shown (window or GDI handles exhausted, often the very cause), the report
  // is stored without it and the standard box shows the message.
  static void ExceptionHandler(ui::TComponent* sender, std::exception_ptr error);
  // The thread list's synchronised-exception event: the same for the
  // exception that ended a listed thread (the report names the thread).
  static void ExceptionThreadHandler(TDiagDebugThread& thread);
  // Shows one exception modally (of the thread, when one is given, with the
  // stack it recorded); returns once the user closed the dialog. Raises when
  // the dialog fails, after storing the report without it.
  static void ShowException(std::exception_ptr error, const TDiagDebugThread* thread = nullptr);
  // The same for a fault nobody handled, with its stack, whose report was
  // stored already as storedEntry ("" when storing failed: the dialog stores
  // it). False when no dialog showed it (one is on screen, or it failed).
  static bool ShowUnhandledFault(std::exception_ptr error, std::shared_ptr<TDiagStackInfoList> stack,
                                 const std::string& storedEntry);
  static bool ReportShowing();

  void FormCreate(ui::TComponent* sender);
  void FormShow(ui::TComponent* sender);
  void FormPaint(ui::TComponent* sender);
  void FormResize(ui::TComponent* sender);
  void SendButtonClick(ui::TComponent* sender);
  // Shows or hides the details area. No control of the layout is bound to it.
  void DetailsBtnClick(ui::TComponent* sender);

  // The message, made to end with CR LF, then CR LF and the details.
  std::string GetReportAsText() const;
  const std::vector<std::string>& Details() const { return details_; }
  // The entry the report was stored as ("" until stored, or when storing failed).
  const std::string& StoredEntry() const { return storedEntry_; }
  // The report log, written when Tag bit 0 is set.
  TSimpleExceptionLog& ReportLog() { return reportLog_; }
  // Writes the stamp and the report to the report log.
  void ReportToLog();

 protected:
  void WndProc(ui::TMessage& m) override;
  virtual void BeforeCreateDetails() {}
  virtual void CreateDetailInfo();
  virtual void AfterCreateDetails() {}
  // Builds the report once the dialog is on screen and stores it.
  void CreateDetails();
  // The width of the delimiter lines and the stamp, and their character.
  virtual int ReportMaxColumns() const { return kReportMaxColumns; }
  virtual char ReportNewBlockDelimiterChar() const { return kReportNewBlockDelimiterChar; }

 private:
  static bool ShowReport(std::exception_ptr error, std::shared_ptr<TDiagStackInfoList> stack,
                         std::optional<std::string> thread, const std::string& storedEntry = {});
  // The handlers' common path: the dialog, else the stored report and the standard box.
  static void ShowOrStore(std::exception_ptr error, const TDiagDebugThread* thread);
  void Prepare(std::exception_ptr error);
  void StoreReportText();
  void UpdateTextLabelScrollbars();
  void SetDetailsVisible(bool visible);

  std::exception_ptr error_;
  std::shared_ptr<TDiagStackInfoList> stack_;
  std::optional<std::string> thread_;  // the thread's description, for a thread's exception
  std::vector<std::pair<std::string, std::string>> focusChain_;
  bool hasFocus_ = false;
  bool onMainThread_ = false;
  bool detailsShown_ = true;
  bool detailsBuilt_ = false;
  int compactHeight_ = 0;
  int expandedHeight_ = 0;
  std::vector<std::string> details_;
  std::string storedEntry_;
  bool alreadyStored_ = false;  // stored before the dialog came: not again
  bool* storedFlag_ = nullptr;  // told when the dialog stored the report
  TSimpleExceptionLog reportLog_;
};

// Stores a report without a dialog (the program is about to end, or no
// dialog can be made); returns the entry's name, "" when storing failed.
std::string StoreEndingReport(const std::string& message, const std::string& className, const void* address,
                              const std::shared_ptr<TDiagStackInfoList>& stack,
                              const std::optional<std::string>& thread = std::nullopt) noexcept;

// Start-up and shut-down of the exception reporting: the hooks, the
// application's exception event, and the terminate handler, the unhandled
// exception filter and the stack overflow reporter that store a report
// before the process ends.
void InitializeHandler();
void UnInitializeHandler();

// Called after each report was stored (tests close the dialog here).
void SetReportStoredHook(std::function<void(TExceptionDialog& dialog)> hook);
// Called when the dialog shows, before the report is built (tests set the
// Tag and the log's file name here).
void SetReportShowingHook(std::function<void(TExceptionDialog& dialog)> hook);

// The archive reports are stored in: "error.history" in the program folder.
std::string ErrorHistoryPath();

}  // namespace kv
