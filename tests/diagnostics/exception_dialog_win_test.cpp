#include "diagnostics/exception_dialog_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "base/handle.h"
#include "base/scope_guard.h"
#include "diagnostics/exception_log_win.h"
#include "diagnostics/exception_report_win.h"
#include "diagnostics/quick_mail_win.h"
#include "foundation/files_win.h"
#include "foundation/zip_strings_win.h"
#include "tests/ui/ui_test_util.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

__attribute__((noinline)) void Raise() { throw std::out_of_range("Index out of range\nsecond line"); }

// A program folder of its own, the handler installed, the boxes recorded.
class ReportDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(KV_TEST_BINARY_DIR) / "report_dialog";
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    savedDir_ = AppDirW();
    SetAppDir(folder_.wstring());
    ui::Application().SetTitle("Kelvarin");
    ui::SetMessageBoxHook([this](HWND, const std::string& text, const std::string&, UINT) {
      boxes_.push_back(text);
      return IDOK;
    });
    ui::SetShellExecuteHook([this](const std::string& verb, const std::string& target, int show) {
      opened_.push_back(target);
      shellCalls_.push_back("verb=" + verb + " show=" + std::to_string(show));
      return true;
    });
    InitializeHandler();
  }
  void TearDown() override {
    UnInitializeHandler();
    SetReportStoredHook(nullptr);
    SetReportShowingHook(nullptr);
    ui::SetMessageBoxHook(nullptr);
    ui::SetShellExecuteHook(nullptr);
    SetAppDir(savedDir_);
  }
  // Raises and hands the exception to the application.
  static void RaiseToTheApplication() {
    try {
      Raise();
    } catch (...) {
      ui::Application().HandleException(std::current_exception());
    }
  }
  std::string Archive() const { return (folder_ / "error.history").string(); }

  fs::path folder_;
  std::wstring savedDir_;
  std::vector<std::string> boxes_;
  std::vector<std::string> opened_;
  std::vector<std::string> shellCalls_;
};

TEST_F(ReportDialog, ShowsTheMessageStoresTheReportAndTakesALaterExceptionInTheStandardBox) {
  std::string stored;
  std::string memoText;
  int storedCalls = 0;
  SetReportStoredHook([&](TExceptionDialog& dialog) {
    ++storedCalls;
    stored = dialog.StoredEntry();
    memoText = dialog.Get<ui::TMemo>("TextLabel").Text();
    EXPECT_EQ(dialog.Caption(), "Kelvarin - application error");
    EXPECT_TRUE(TExceptionDialog::ReportShowing());
    // The compact form: 432 wide, no taller than the line above the details.
    RECT client;
    GetClientRect(dialog.Handle(), &client);
    EXPECT_EQ(client.right, 432);
    EXPECT_EQ(client.bottom, 91);

    const ui::TBitmap shot = ui::test::Screenshot(dialog, "exception_dialog");
    HWND h = dialog.Handle();
    // The bold red line above the message.
    int red = 0;
    for (int y = 4; y < 30; ++y)
      for (int x = 52; x < 337; ++x) red += ui::test::PixelAt(shot, dialog, h, x, y) == 0xFF0000;
    EXPECT_GT(red, 50);
    // The error icon left of the message, at (5, 36).
    int iconRed = 0;
    for (int y = 36; y < 68; ++y)
      for (int x = 5; x < 37; ++x) {
        const uint32_t px = ui::test::PixelAt(shot, dialog, h, x, y);
        iconRed += ((px >> 16) & 0xFF) > 160 && ((px >> 8) & 0xFF) < 100;
      }
    EXPECT_GT(iconRed, 100);
    EXPECT_GT(ui::test::DarkPixels(shot, dialog, dialog.Get<ui::TButton>("OkBtn")), 20);
    EXPECT_GT(ui::test::DarkPixels(shot, dialog, dialog.Get<ui::TButton>("SendButton")), 20);

    // An exception while the report is on screen: the standard box.
    ui::Application().HandleException(std::make_exception_ptr(std::runtime_error("while showing")));
    dialog.SetModalResult(ui::mrOk);
  });
  RaiseToTheApplication();
  EXPECT_EQ(storedCalls, 1);
  EXPECT_FALSE(TExceptionDialog::ReportShowing());
  EXPECT_EQ(memoText, "Index out of range\r\nsecond line.");
  EXPECT_EQ(boxes_, std::vector<std::string>{"while showing"});

  ASSERT_EQ(stored.size(), 32u);
  const std::string text = LoadStringFromZip(Archive(), stored, "");
  EXPECT_EQ(text.rfind(std::string(kReportTitle) + "\r\n\r\nIndex out of range\r\nsecond line.\r\n\r\n"
                       "Exception class: std::out_of_range\r\nException address: ", 0), 0u)
      << text.substr(0, 300);
  // The stack block of such a report: crash_program_win_test.cpp.
}

// The message gets a vertical scroll bar when its lines, wrapped ones
// included, are taller than the memo.
TEST_F(ReportDialog, TheMessageScrollsOnlyWhenItsShownLinesDoNotFit) {
  const std::string word = "overflowing ";
  std::string longLine;
  for (int i = 0; i < 40; ++i) longLine += word;
  for (const auto& [message, scrolls] : std::vector<std::pair<std::string, bool>>{
           {"Short", false}, {"One\ntwo\nthree", false}, {longLine, true}, {"1\n2\n3\n4\n5\n6\n7", true}}) {
    SCOPED_TRACE(message.substr(0, 20));
    bool vertical = !scrolls;
    SetReportStoredHook([&](TExceptionDialog& dialog) {
      const LONG_PTR style = GetWindowLongPtrA(dialog.Get<ui::TMemo>("TextLabel").Handle(), GWL_STYLE);
      vertical = (style & WS_VSCROLL) != 0;
      dialog.SetModalResult(ui::mrOk);
    });
    try {
      throw std::runtime_error(message);
    } catch (...) {
      ui::Application().HandleException(std::current_exception());
    }
    EXPECT_EQ(vertical, scrolls);
  }
}

// Refuses every window this thread makes while it lives, as exhausted USER
// handles would.
class WindowsRefused {
 public:
  WindowsRefused() : hook_(SetWindowsHookExW(WH_CBT, &Refuse, nullptr, GetCurrentThreadId())) {}
  ~WindowsRefused() { UnhookWindowsHookEx(hook_); }
  WindowsRefused(const WindowsRefused&) = delete;
  WindowsRefused& operator=(const WindowsRefused&) = delete;
  bool Active() const { return hook_ != nullptr; }

 private:
  static LRESULT CALLBACK Refuse(int code, WPARAM w, LPARAM l) {
    if (code == HCBT_CREATEWND) return 1;
    return CallNextHookEx(nullptr, code, w, l);
  }
  HHOOK hook_;
};

TEST_F(ReportDialog, AReportWhoseDialogCannotBeMadeIsStoredAndShownInTheStandardBox) {
  int storedCalls = 0;
  SetReportStoredHook([&](TExceptionDialog& dialog) {
    ++storedCalls;
    dialog.SetModalResult(ui::mrOk);
  });
  const size_t forms = ui::Application().Forms().size();
  {
    const WindowsRefused refused;
    ASSERT_TRUE(refused.Active());
    RaiseToTheApplication();
  }
  EXPECT_EQ(storedCalls, 0);
  // The dialog that was never made is not left among the forms.
  EXPECT_EQ(ui::Application().Forms().size(), forms);
  EXPECT_FALSE(TExceptionDialog::ReportShowing());
  EXPECT_EQ(boxes_, std::vector<std::string>{"Index out of range\nsecond line"});
  const std::vector<std::string> names = ArchiveEntryNames(Archive());
  ASSERT_EQ(names.size(), 1u);
  const std::string text = LoadStringFromZip(Archive(), names[0], "");
  EXPECT_EQ(text.rfind(std::string(kReportTitle) + "\r\n\r\nIndex out of range\r\nsecond line.\r\n\r\n"
                       "Exception class: std::out_of_range\r\nException address: ", 0), 0u)
      << text.substr(0, 300);
  // The stack of the exception itself, not of the dialog's failure.
  EXPECT_NE(text.find("Raise"), std::string::npos);
  EXPECT_EQ(text.find("TExceptionDialog"), std::string::npos);
  EXPECT_NE(text.find("List of loaded modules:"), std::string::npos);

  // Windows again: the next report has its dialog.
  RaiseToTheApplication();
  EXPECT_EQ(storedCalls, 1);
  EXPECT_EQ(ArchiveEntryNames(Archive()).size(), 2u);
  EXPECT_EQ(boxes_.size(), 1u);
}

// The fake mail library beside the test program: it records the call and
// answers the code it was given.
class FakeMail : public ReportDialog {
 protected:
  void SetUp() override {
    ReportDialog::SetUp();
    const std::string path = KV_TEST_BINARY_DIR "/diag_fixtures/fake_mapi.dll";
    library_.Reset(LoadLibraryA(path.c_str()));
    ASSERT_TRUE(library_);
    setAnswer_ = reinterpret_cast<void (*)(int)>(reinterpret_cast<void*>(GetProcAddress(library_.Get(), "FakeMapiSetAnswer")));
    lastCall_ = reinterpret_cast<const char* (*)()>(reinterpret_cast<void*>(GetProcAddress(library_.Get(), "FakeMapiLastCall")));
    callCount_ = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(library_.Get(), "FakeMapiCallCount")));
    ASSERT_TRUE(setAnswer_ && lastCall_ && callCount_);
    SetMapiLibraryPath(path);
  }
  void TearDown() override {
    SetMapiLibraryPath("");
    ReportDialog::TearDown();
  }
  // Shows a report and presses "Bug report" once it is stored.
  void ReportAndSend() {
    SetReportStoredHook([](TExceptionDialog& dialog) {
      dialog.SendButtonClick(&dialog);
      dialog.SetModalResult(ui::mrOk);
    });
    RaiseToTheApplication();
  }

  ModuleHandle library_;
  void (*setAnswer_)(int) = nullptr;
  const char* (*lastCall_)() = nullptr;
  int (*callCount_)() = nullptr;
};

TEST_F(FakeMail, TheCallCarriesRecipientAndArchive) {
  TAFQuickMail mail;
  mail.ToEmail = {"a@torvane.example"};
  mail.ToCCEmail = {"b@torvane.example"};
  mail.ToBCCEmail = {"c@torvane.example"};
  mail.FileNames = {"C:\\reports\\error.history", "plain.txt"};
  setAnswer_(0);
  EXPECT_TRUE(mail.Execute());
  EXPECT_EQ(std::string(lastCall_()),
            "flags=0 subject=- note=- recips=3"
            " [1 a@torvane.example SMTP:a@torvane.example]"
            " [2 b@torvane.example SMTP:b@torvane.example]"
            " [3 c@torvane.example SMTP:c@torvane.example]"
            " files=2 [-1 C:\\reports\\error.history error.history] [-1 plain.txt plain.txt]");
  for (const auto& [code, text] : std::vector<std::pair<int, std::string>>{
           {-1, "Error sending mail (-1)."}, {1, "Error sending mail (1)."}, {2, "Error sending mail (2)."}}) {
    setAnswer_(code);
    try {
      mail.Execute();
      ADD_FAILURE() << code;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), text);
    }
  }
}

TEST_F(FakeMail, AnAcceptedMailRemovesTheHistoryAndARefusalKeepsIt) {
  setAnswer_(2);
  ReportAndSend();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].find("Cannot send the message automatically. \r\n"), std::string::npos) << boxes_[0];
  EXPECT_NE(boxes_[0].find("error.history"), std::string::npos);
  EXPECT_NE(boxes_[0].find(std::string("(") + kSupportAddress + ")"), std::string::npos);
  EXPECT_EQ(opened_, std::vector<std::string>{std::string("mailto:") + kSupportAddress});
  // The address's default verb, shown as it is.
  EXPECT_EQ(shellCalls_, std::vector<std::string>{"verb= show=5"});
  EXPECT_EQ(ArchiveEntryNames(Archive()).size(), 1u);
  EXPECT_NE(std::string(lastCall_()).find(" [1 " + std::string(kSupportAddress) + " SMTP:"), std::string::npos);

  // Accepted: the history is gone and no second archive is kept. Something
  // in the way of the old archive of sent reports changes nothing.
  fs::create_directories(Archive() + ".sent");
  setAnswer_(0);
  ReportAndSend();
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(opened_.size(), 1u);
  EXPECT_FALSE(fs::exists(Archive()));
  EXPECT_TRUE(fs::is_directory(Archive() + ".sent"));

  // The next report starts a new history. Accepted, but held open without
  // delete sharing, it cannot be removed: still no failure box, and the
  // history stays for the next mail.
  SetReportStoredHook([this](TExceptionDialog& dialog) {
    const FileHandle held(CreateFileA(Archive().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    EXPECT_TRUE(held);
    dialog.SendButtonClick(&dialog);
    dialog.SetModalResult(ui::mrOk);
  });
  const int before = callCount_();
  RaiseToTheApplication();
  EXPECT_EQ(callCount_(), before + 1);
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(opened_.size(), 1u);
  EXPECT_EQ(ArchiveEntryNames(Archive()).size(), 1u);
}

TEST_F(FakeMail, EnterAndEscapeCloseTheDialogAndSendNothing) {
  setAnswer_(0);
  const int before = callCount_();
  for (const WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_ESCAPE}}) {
    SCOPED_TRACE(key);
    HWND okButton = nullptr;
    HWND focused = nullptr;
    const auto stillOpen = std::make_shared<bool>(false);
    SetReportStoredHook([&](TExceptionDialog& dialog) {
      okButton = dialog.Get<ui::TButton>("OkBtn").Handle();
      focused = GetFocus();
      ui::test::PressKey(focused, key);
      // Should the key not close the dialog, the test ends it.
      ui::test::RunLater(3000, [stillOpen] {
        if (TExceptionDialog* open = ui::test::FindForm<TExceptionDialog>()) {
          *stillOpen = true;
          open->SetModalResult(ui::mrCancel);
        }
      });
    });
    RaiseToTheApplication();
    EXPECT_EQ(focused, okButton);
    EXPECT_FALSE(*stillOpen);
    ui::test::Pump(50);
  }
  EXPECT_EQ(callCount_(), before);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(ArchiveEntryNames(Archive()).size(), 2u);
}

// A thread that fails in its own code.
__attribute__((noinline)) void RaiseInWorker() { throw std::runtime_error("worker failed"); }

class FailingThread : public TDiagDebugThread {
 public:
  FailingThread() : TDiagDebugThread("worker") {}
  ~FailingThread() override { WaitFor(); }
  const char* ClassName() const override { return "TFailingThread"; }

 protected:
  void Execute() override { RaiseInWorker(); }
};

// With Tag bit 0 the report also goes to the log; here the report of a
// listed thread's exception.
TEST_F(ReportDialog, AListedThreadsExceptionIsShownWithTheThreadLineAndLogged) {
  EXPECT_EQ(fs::path(DefaultExceptionLogName()).make_preferred().string(),
            (fs::path(KV_TEST_BINARY_DIR) / "diagnostics_tests_Err.log").make_preferred().string());
  // A log that holds an earlier report: the new stamp follows an empty line.
  const std::string log = (folder_ / "kelvarin_Err.log").string();
  std::ofstream(log, std::ios::binary) << "earlier\r\n";
  SetReportShowingHook([&](TExceptionDialog& dialog) {
    dialog.SetTag(1);
    dialog.ReportLog().SetFileName(log);
  });
  std::vector<std::string> details;
  std::string message;
  SetReportStoredHook([&](TExceptionDialog& dialog) {
    details = dialog.Details();
    message = dialog.Get<ui::TMemo>("TextLabel").Text();
    dialog.SetModalResult(ui::mrOk);
  });
  DWORD id = 0;
  {
    FailingThread thread;
    thread.Start();
    id = thread.ThreadID();
    thread.WaitFor();
    ASSERT_TRUE(thread.SyncExceptionObject());
  }
  EXPECT_EQ(message, "worker failed.");
  ASSERT_GE(details.size(), 3u);
  EXPECT_EQ(details[0], "Exception class: std::runtime_error");
  char expected[64];
  std::snprintf(expected, sizeof expected, "Thread: %.8lx [TFailingThread] \"worker\"", static_cast<unsigned long>(id));
  EXPECT_EQ(details[1], expected);
  // The stack is the one the worker recorded.
  bool sawRaise = false;
  for (const std::string& line : details) sawRaise |= line.find("RaiseInWorker") != std::string::npos;
  EXPECT_TRUE(sawRaise);
  // A thread that ended has left the list.
  EXPECT_EQ(DiagDebugThreadList().GetThreadInfo(id), "");

  std::ifstream in(log, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string rule(100, '=');
  const std::string before = "earlier\r\n\r\n" + rule + "\r\n";
  ASSERT_EQ(text.compare(0, before.size(), before), 0) << text.substr(0, 300);
  // "= <date and time> =", 100 wide, then the closing rule.
  const size_t stamp = before.size();
  EXPECT_EQ(text.compare(stamp, 2, "= "), 0);
  EXPECT_EQ(text.compare(stamp + 98, 4, " =\r\n"), 0) << text.substr(stamp, 110);
  EXPECT_EQ(text.compare(stamp + 102, rule.size() + 2, rule + "\r\n"), 0);
  const std::string report = "worker failed.\r\n\r\nException class: std::runtime_error\r\n" + std::string(expected) + "\r\n";
  EXPECT_EQ(text.compare(stamp + 204, report.size(), report), 0) << text.substr(stamp + 204, 200);
  EXPECT_EQ(text.compare(text.size() - 2, 2, "\r\n"), 0);
  EXPECT_EQ(text.find(rule, stamp + 204), std::string::npos);  // one report, one stamp
  EXPECT_EQ(ArchiveEntryNames(Archive()).size(), 1u);
}

TEST_F(ReportDialog, AListedThreadsExceptionWithoutADialogIsStoredWithTheThreadLine) {
  SetReportStoredHook([](TExceptionDialog& dialog) { dialog.SetModalResult(ui::mrOk); });
  {
    FailingThread thread;
    const WindowsRefused refused;
    thread.Start();
    thread.WaitFor();
    ASSERT_TRUE(thread.SyncExceptionObject());
  }
  EXPECT_EQ(boxes_, std::vector<std::string>{"worker failed"});
  EXPECT_EQ(ui::test::FindForm<TExceptionDialog>(), nullptr);
  const std::vector<std::string> names = ArchiveEntryNames(Archive());
  ASSERT_EQ(names.size(), 1u);
  const std::string text = LoadStringFromZip(Archive(), names[0], "");
  EXPECT_NE(text.find("\r\nException class: std::runtime_error\r\nThread: "), std::string::npos) << text.substr(0, 300);
  EXPECT_NE(text.find("[TFailingThread] \"worker\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("RaiseInWorker"), std::string::npos);
}

// A descendant dialog that draws its delimiter lines narrower and of
// another character.
class NarrowDialog : public TExceptionDialog {
 public:
  void Build() { CreateDetailInfo(); }

 protected:
  int ReportMaxColumns() const override { return 12; }
  char ReportNewBlockDelimiterChar() const override { return '='; }
};

TEST_F(ReportDialog, ADescendantChoosesTheDelimiterLines) {
  auto& dialog = ui::Application().CreateForm<NarrowDialog>();
  const ScopeGuard free([&] { ui::Application().FreeComponent(&dialog); });
  dialog.Build();
  const std::vector<std::string>& lines = dialog.Details();
  EXPECT_GE(std::count(lines.begin(), lines.end(), std::string(12, '=')), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(100, '-')), 0);
}

// A descendant whose building fails in the report itself or in its last step.
class FailingDialog : public TExceptionDialog {
 public:
  void Build(bool inReport) {
    inReport_ = inReport;
    CreateDetails();
  }

 protected:
  void CreateDetailInfo() override {
    if (inReport_) throw std::runtime_error("in the report");
  }
  void AfterCreateDetails() override {
    if (!inReport_) throw std::runtime_error("after the details");
  }

 private:
  bool inReport_ = false;
};

TEST_F(ReportDialog, AReportWhoseBuildingFailsIsNotStoredAndOkComesBack) {
  int storedCalls = 0;
  SetReportStoredHook([&](TExceptionDialog&) { ++storedCalls; });
  for (const bool inReport : {true, false}) {
    SCOPED_TRACE(inReport ? "in the report" : "after the details");
    auto& dialog = ui::Application().CreateForm<FailingDialog>();
    const ScopeGuard free([&] { ui::Application().FreeComponent(&dialog); });
    dialog.Get<ui::TButton>("OkBtn").SetEnabled(false);
    EXPECT_THROW(dialog.Build(inReport), std::runtime_error);
    EXPECT_TRUE(dialog.Get<ui::TButton>("OkBtn").Enabled());
    EXPECT_EQ(storedCalls, 0);
    EXPECT_TRUE(dialog.StoredEntry().empty());
    EXPECT_FALSE(fs::exists(Archive()));
  }
}

// No control shows the details; the click handler alone opens and closes them.
TEST_F(ReportDialog, TheDetailsClickShowsAndHidesTheDetails) {
  auto& dialog = ui::Application().CreateForm<TExceptionDialog>();
  const ScopeGuard free([&] { ui::Application().FreeComponent(&dialog); });
  const ui::TMemo& memo = dialog.Get<ui::TMemo>("DetailsMemo");
  EXPECT_EQ(dialog.ClientHeight(), 91);
  EXPECT_FALSE(memo.Enabled());
  dialog.DetailsBtnClick(&dialog);
  EXPECT_EQ(dialog.ClientHeight(), 255);
  EXPECT_TRUE(memo.Enabled());
  EXPECT_EQ(memo.Height(), 255 - memo.Top() - 3);
  dialog.DetailsBtnClick(&dialog);
  EXPECT_EQ(dialog.ClientHeight(), 91);
  EXPECT_FALSE(memo.Enabled());
}

TEST(DebugThreadList, EntriesAndTheirLines) {
  TDiagDebugThreadList list;
  list.RegisterThread(0x1A2B, "TScanThread", "scan");
  list.RegisterThread(7, "TIconThread", "icons");
  EXPECT_EQ(list.GetThreadInfo(0x1A2B), "00001a2b [TScanThread] \"scan\"");
  list.RegisterThread(0x1A2B, "TScanThread", "rescan");
  EXPECT_EQ(list.GetThreadInfo(0x1A2B), "00001a2b [TScanThread] \"rescan\"");
  list.UnregisterThread(0x1A2B);
  EXPECT_EQ(list.GetThreadInfo(0x1A2B), "");
  EXPECT_EQ(list.GetThreadInfo(7), "00000007 [TIconThread] \"icons\"");
  EXPECT_EQ(list.GetThreadInfo(8), "");
}

}  // namespace
}  // namespace kv
