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

DWORD RunProgram(const fs::path& exe, const std::string& mode) {
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
  if (WaitForSingleObject(child.Get(), 60000) != WAIT_OBJECT_0) {
    TerminateProcess(child.Get(), 99);
    return 0xFFFFFFFE;
  }
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

TEST(CrashProgram, EachFailureIsReportedWithItsStack) {
  const std::map<std::string, int> marks = MarkedLines();
  const fs::path folder = fs::temp_directory_path() / "kv_crash_program";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path exe = folder / "diag_crash.exe";
  fs::copy_file(KV_TEST_BINARY_DIR "/diag_crash.exe", exe);
  const std::string archive = (folder / "error.history").string();

  const struct {
    const char* mode;
    DWORD exitCode;
    const char* className;
    const char* firstProcedure;  // in the first stack line, or in the second when the fault is in a system library
    bool markedFirst;
    bool dialog;  // shown before the program went on or ended
  } cases[] = {
      {"av", 0, "kv::EAccessViolation", "Fail3", true, true},
      {"div", 0, "kv::EDivByZero", "Fail3", true, true},
      {"throw", 0, "std::runtime_error", "Fail3", true, true},
      {"at", 0, "std::out_of_range", "__throw_out_of_range_fmt", false, true},
      {"terminate", 3, "std::logic_error", "Unwanted", true, false},
      {"memcpy", EXCEPTION_ACCESS_VIOLATION, "kv::EAccessViolation", "CopyToNowhere", false, true},
      {"overflow", EXCEPTION_STACK_OVERFLOW, "EStackOverflow", "Recurse", false, false},
  };
  const fs::path shown = folder / "dialog_shown.txt";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    fs::remove(archive);
    fs::remove(shown);
    EXPECT_EQ(RunProgram(exe, c.mode), c.exitCode);
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
    if (std::string(c.mode) != "terminate" && std::string(c.mode) != "memcpy" && std::string(c.mode) != "overflow") {
      // The callers follow in order.
      const size_t f3 = report.find("Fail3"), f2 = report.find("Fail2"), f1 = report.find("Fail1");
      EXPECT_TRUE(f3 < f2 && f2 < f1) << report.substr(0, 1500);
    }
  }
}

}  // namespace
}  // namespace kv
