// Runs the crash test program in a program folder of its own, one failure
// per run, and reads the report each run stored.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <sstream>

#include "base/handle.h"
#include "diagnostics/exception_report_win.h"
#include "foundation/zip_strings_win.h"
#include "tests/ui/ui_test_util.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

// The line of each "MARK:<mode>" comment of the program's source.
std::map<std::string, int> MarkedLines() {
  std::ifstream source(KV_TEST_SOURCE_DIR "/tests/diagnostics/crash_program_win.cpp");
  std::map<std::string, int> marks;
  std::string line;
  for (int number = 1; std::getline(source, line); ++number) {
    const size_t at = line.find("// MARK:");
    if (at != std::string::npos) marks[line.substr(at + 8)] = number;
  }
  return marks;
}

// The plain boxes the program showed: "caption|text", each answered with OK
// as a user would; the first one's picture is kept.
struct Boxes {
  std::string shotName = "worker_fault_box";  // the picture's file name, without ".bmp"
  std::vector<std::string> seen;
  std::vector<HWND> answered;
  bool redIcon = false;
};

BOOL CALLBACK AnswerBox(HWND window, LPARAM param) {
  auto& [pid, boxes] = *reinterpret_cast<std::pair<DWORD, Boxes*>*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  if (owner != pid || !IsWindowVisible(window) || std::string(className) != "#32770" ||
      std::find(boxes->answered.begin(), boxes->answered.end(), window) != boxes->answered.end())
    return TRUE;
  char caption[256] = {}, text[1024] = {};
  GetWindowTextA(window, caption, sizeof caption);
  GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
  if (boxes->seen.empty()) {
    Sleep(300);  // painted
    RECT r;
    GetWindowRect(window, &r);
    ui::TBitmap shot;
    shot.CaptureScreen(r);
    const std::string bmp = shot.ToBmpFile();
    std::ofstream(std::string(KV_TEST_BINARY_DIR) + "/screenshots/" + boxes->shotName + ".bmp", std::ios::binary)
        .write(bmp.data(), std::streamsize(bmp.size()));
    // The error icon at the left of the text.
    int red = 0;
    for (int y = 0; y < r.bottom - r.top; ++y)
      for (int x = 0; x < std::min<int>(80, r.right - r.left); ++x) {
        const uint32_t px = shot.Pixel(x, y);
        red += ((px >> 16) & 0xFF) > 160 && ((px >> 8) & 0xFF) < 100;
      }
    boxes->redIcon = red > 50;
  }
  boxes->seen.push_back(std::string(caption) + "|" + text);
  boxes->answered.push_back(window);
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
  return TRUE;
}

DWORD RunProgram(const fs::path& exe, const std::string& mode, Boxes* boxes = nullptr) {
  std::string commandLine = "\"" + exe.string() + "\" " + mode;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, exe.parent_path().string().c_str(),
                      &startup, &process)) {
    return 0xFFFFFFFF;
  }
  const Handle<KernelHandleTraits> thread(process.hThread);
  const Handle<KernelHandleTraits> child(process.hProcess);
  Boxes unexpected;
  std::pair<DWORD, Boxes*> search{process.dwProcessId, boxes ? boxes : &unexpected};
  CreateDirectoryA(KV_TEST_BINARY_DIR "/screenshots", nullptr);
  for (int waited = 0; WaitForSingleObject(child.Get(), 100) != WAIT_OBJECT_0; waited += 100) {
    if (waited > 60000) {
      TerminateProcess(child.Get(), 99);
      return 0xFFFFFFFE;
    }
    EnumWindows(&AnswerBox, reinterpret_cast<LPARAM>(&search));
  }
  EXPECT_TRUE(boxes || unexpected.seen.empty()) << unexpected.seen[0];
  DWORD code = 0;
  GetExitCodeProcess(child.Get(), &code);
  return code;
}

std::vector<std::string> StackLines(const std::string& report) {
  std::vector<std::string> lines;
  const size_t start = report.find("Stack list, generated ");
  if (start == std::string::npos) return lines;
  std::istringstream in(report.substr(report.find('\n', start) + 1));
  std::string line;
  while (std::getline(in, line) && line.rfind("-----", 0) != 0) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// A fresh folder of the temporary folder holding a copy of the crash program.
fs::path CopyOfCrashProgram(const char* name) {
  const fs::path folder = fs::temp_directory_path() / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  fs::copy_file(KV_TEST_BINARY_DIR "/diag_crash.exe", folder / "diag_crash.exe");
  return folder;
}

TEST(CrashProgram, EachFailureIsReportedWithItsStack) {
  const std::map<std::string, int> marks = MarkedLines();
  const fs::path folder = CopyOfCrashProgram("kv_crash_program");
  const fs::path exe = folder / "diag_crash.exe";
  const std::string archive = (folder / "error.history").string();

  const struct {
    const char* mode;
    DWORD exitCode;
    const char* className;
    const char* firstProcedure;  // in the first stack line, or in the second when the fault is in a system library
    bool markedFirst;
    bool dialog;  // shown before the program went on or ended
    const char* box;  // the start of the plain box's "caption|text" the program ends with, or none
  } cases[] = {
      {"av", 0, "kv::EAccessViolation", "Fail3", true, true, nullptr},
      {"div", 0, "kv::EDivByZero", "Fail3", true, true, nullptr},
      {"throw", 0, "std::runtime_error", "Fail3", true, true, nullptr},
      {"at", 0, "std::out_of_range", "__throw_out_of_range_fmt", false, true, nullptr},
      {"terminate", 3, "std::logic_error", "Unwanted", true, false,
       "Crash test - application error|Nobody catches this.\r\n\r\n"},
      {"memcpy", EXCEPTION_ACCESS_VIOLATION, "kv::EAccessViolation", "CopyToNowhere", false, true, nullptr},
      {"overflow", EXCEPTION_STACK_OVERFLOW, "EStackOverflow", "Recurse", false, false,
       "Crash test - application error|Stack overflow.\r\n\r\n"},
      {"thread", EXCEPTION_ACCESS_VIOLATION, "kv::EAccessViolation", "CopyToNowhere", false, false,
       "Crash test - application error|Access violation"},
  };
  const fs::path shown = folder / "dialog_shown.txt";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    fs::remove(archive);
    fs::remove(shown);
    // A worker thread's fault, std::terminate and the stack overflow are
    // told in a plain box (on the failing thread, or the overflow's reporter
    // thread) after the report was stored; the user-interface thread plays
    // no part. Any other box fails the run.
    Boxes boxes;
    boxes.shotName = std::string(c.mode) == "thread" ? "worker_fault_box" : std::string(c.mode) + "_box";
    const bool worker = std::string(c.mode) == "thread";
    EXPECT_EQ(RunProgram(exe, c.mode, c.box ? &boxes : nullptr), c.exitCode);
    if (c.box) {
      ASSERT_EQ(boxes.seen.size(), 1u);
      EXPECT_EQ(boxes.seen[0].rfind(c.box, 0), 0u) << boxes.seen[0];
      EXPECT_NE(boxes.seen[0].find("The program cannot go on and will be closed."), std::string::npos);
      EXPECT_TRUE(boxes.redIcon);
    }
    if (c.dialog) {
      std::ifstream marker(shown);
      std::string caption;
      EXPECT_TRUE(std::getline(marker, caption) && caption == "Crash test - application error") << caption;
      EXPECT_FALSE(std::getline(marker, caption)) << "a second dialog";
    } else {
      EXPECT_FALSE(fs::exists(shown));
    }
    const std::vector<std::string> names = ArchiveEntryNames(archive);
    ASSERT_EQ(names.size(), 1u);
    const std::string report = LoadStringFromZip(archive, names[0], "");
    EXPECT_NE(report.find(std::string("\r\nException class: ") + c.className + "\r\n"), std::string::npos)
        << report.substr(0, 400);
    for (const char* block : {"System   : ", "Processor: ", "Display  : ", "List of loaded modules:"}) {
      EXPECT_NE(report.find(block), std::string::npos) << block;
    }
    const std::vector<std::string> stack = StackLines(report);
    ASSERT_GE(stack.size(), 2u);
    const std::string& first = c.markedFirst || std::string(c.mode) == "at" ? stack[0] : stack[1];
    EXPECT_NE(first.find(c.firstProcedure), std::string::npos) << first;
    if (c.markedFirst) {
      EXPECT_NE(first.find("(Line " + std::to_string(marks.at(c.mode)) + ", \"crash_program_win.cpp\""),
                std::string::npos)
          << first;
    }
    // The overflow's raw scan also passes the start-up frames at the bottom
    // of the stack, whose unused slots still hold the set-up calls.
    const size_t checked = std::string(c.mode) == "overflow" ? 50 : stack.size();
    for (const std::string& line : std::vector<std::string>(stack.begin(), stack.begin() + std::min(checked, stack.size()))) {
      for (const char* own : {"diag_hooks_win", "diag_stack_win", "os_exceptions_win", "exception_dialog_win"}) {
        EXPECT_EQ(line.find(own), std::string::npos) << line;
      }
    }
    if (std::string(c.mode) != "terminate" && std::string(c.mode) != "memcpy" && std::string(c.mode) != "overflow" &&
        !worker) {
      // The callers follow in order.
      const size_t f3 = report.find("Fail3"), f2 = report.find("Fail2"), f1 = report.find("Fail1");
      EXPECT_TRUE(f3 < f2 && f2 < f1) << report.substr(0, 1500);
    }
  }
}

// std::terminate without an exception: the report names it, its stack
// passes the caller, and a plain box tells the user before the program ends.
TEST(CrashProgram, TerminateWithoutAnExceptionIsStoredAndTold) {
  const std::map<std::string, int> marks = MarkedLines();
  const fs::path folder = CopyOfCrashProgram("kv_crash_program_terminate");
  const fs::path exe = folder / "diag_crash.exe";
  Boxes boxes;
  boxes.shotName = "terminatecall_box";
  EXPECT_EQ(RunProgram(exe, "terminatecall", &boxes), 3u);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0], "Crash test - application error|The program was terminated.\r\n\r\n"
                           "The program cannot go on and will be closed.");
  EXPECT_TRUE(boxes.redIcon);
  EXPECT_FALSE(fs::exists(folder / "dialog_shown.txt"));
  const std::string archive = (folder / "error.history").string();
  const std::vector<std::string> names = ArchiveEntryNames(archive);
  ASSERT_EQ(names.size(), 1u);
  const std::string report = LoadStringFromZip(archive, names[0], "");
  EXPECT_NE(report.find("\r\n\r\nThe program was terminated.\r\n\r\nException class: \r\n"), std::string::npos)
      << report.substr(0, 400);
  const std::vector<std::string> stack = StackLines(report);
  const auto caller = std::find_if(stack.begin(), stack.end(), [&](const std::string& line) {
    return line.find("CallTerminate (Line " + std::to_string(marks.at("terminatecall")) + ", \"crash_program_win.cpp\"") !=
           std::string::npos;
  });
  EXPECT_NE(caller, stack.end()) << report.substr(0, 3000);
}

// A program that ends without its shut-down path (no UnInitializeHandler)
// has exception tracking stopped by the time its static objects are gone:
// the program ends with 5 when it is still on.
TEST(CrashProgram, TrackingStopsAtProgramEndWithoutTheShutDownPath) {
  const fs::path folder = CopyOfCrashProgram("kv_crash_program_end");
  EXPECT_EQ(RunProgram(folder / "diag_crash.exe", "endtracking"), 0u);
}

// Locations are still looked up while the program ends, by a thread that
// runs on and by an exit handler after the static objects went: the lookup's
// lock and sources live to the end (the program ends with 6 when the
// handler's lookup failed).
TEST(CrashProgram, LocationsAreFoundWhileTheProgramEnds) {
  const fs::path folder = CopyOfCrashProgram("kv_crash_program_exit_lookup");
  for (int run = 0; run < 3; ++run) EXPECT_EQ(RunProgram(folder / "diag_crash.exe", "exitlookup"), 0u) << run;
}

// A fault while the lookup lock is held, by the faulting thread itself or by
// a thread that never lets go: the report is stored and shown, its stack with
// bare addresses, and the program ends instead of hanging.
TEST(CrashProgram, AFaultUnderAHeldLookupLockIsStoredWithoutLocations) {
  const fs::path folder = CopyOfCrashProgram("kv_crash_program_held");
  const fs::path exe = folder / "diag_crash.exe";
  const std::string archive = (folder / "error.history").string();
  for (const char* mode : {"held", "heldelsewhere"}) {
    SCOPED_TRACE(mode);
    fs::remove(archive);
    fs::remove(folder / "dialog_shown.txt");
    EXPECT_EQ(RunProgram(exe, mode), DWORD{EXCEPTION_ACCESS_VIOLATION});
    EXPECT_TRUE(fs::exists(folder / "dialog_shown.txt"));
    const std::vector<std::string> names = ArchiveEntryNames(archive);
    ASSERT_EQ(names.size(), 1u);  // stored once: before the dialog, not by it again
    const std::string report = LoadStringFromZip(archive, names[0], "");
    EXPECT_NE(report.find("\r\nException class: kv::EAccessViolation\r\n"), std::string::npos);
    EXPECT_NE(report.find("List of loaded modules:"), std::string::npos);
    const std::vector<std::string> stack = StackLines(report);
    ASSERT_GE(stack.size(), 2u);
    for (const std::string& line : stack) {
      EXPECT_EQ(line.size(), 18u) << line;  // "[" 16 hex digits "]"
    }
  }
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// The other locks a fault report takes, held by the faulting thread or by a
// thread that never lets go: the report is stored, with what needs the lock
// left out, and the program ends instead of hanging.
TEST(CrashProgram, AFaultUnderOtherHeldLocksIsStoredAndEnds) {
  const fs::path folder = CopyOfCrashProgram("kv_crash_program_locks");
  const fs::path exe = folder / "diag_crash.exe";
  fs::copy_file(KV_TEST_BINARY_DIR "/diag_fixtures/diag_plain.dll", folder / "diag_plain.dll");
  const std::string archive = (folder / "error.history").string();
  const struct {
    const char* mode;
    DWORD exitCode;
    const char* className;
    bool shown;    // the dialog showed the fault
    bool modules;  // the module list was written
    const char* inReport;
  } cases[] = {
      // The loader lock is the system's: held by this thread it is entered
      // again; held elsewhere, the module list, the dialog and the box
      // (which may load libraries) are left out.
      {"loaderheld", EXCEPTION_ACCESS_VIOLATION, "kv::EAccessViolation", true, true, "CopyToNowhere"},
      {"loaderheldelsewhere", EXCEPTION_ACCESS_VIOLATION, "kv::EAccessViolation", false, false, "CopyToNowhere"},
      {"randomheldelsewhere", EXCEPTION_ACCESS_VIOLATION, "kv::EAccessViolation", true, true, "CopyToNowhere"},
      {"notifierheldelsewhere", 0xE0C0FFEE, "kv::EExternalException", true, true,
       "diag_plain.dll\r\n           (no version info)\r\n"},
      // The fault itself is told to the notifiers, with the same bound.
      {"faultnotifierheldelsewhere", EXCEPTION_ACCESS_VIOLATION, "kv::EAccessViolation", true, true,
       "CopyToNowhere"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    fs::remove(archive);
    fs::remove(folder / "dialog_shown.txt");
    const DWORD started = GetTickCount();
    EXPECT_EQ(RunProgram(exe, c.mode), c.exitCode);
    EXPECT_LT(GetTickCount() - started, 30000u);
    EXPECT_EQ(fs::exists(folder / "dialog_shown.txt"), c.shown);
    const std::vector<std::string> names = ArchiveEntryNames(archive);
    ASSERT_EQ(names.size(), 1u);  // stored once
    const std::string report = LoadStringFromZip(archive, names[0], "");
    EXPECT_NE(report.find(std::string("\r\nException class: ") + c.className + "\r\n"), std::string::npos)
        << report.substr(0, 400);
    EXPECT_EQ(report.find("List of loaded modules:") != std::string::npos, c.modules);
    EXPECT_NE(report.find(c.inReport), std::string::npos) << report;
  }
}

}  // namespace
}  // namespace kv
