#include "diagnostics/exception_report_win.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "base/handle.h"
#include "foundation/zip_strings_win.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
const std::string kFixtures = KV_TEST_BINARY_DIR "/diag_fixtures/";
const std::string kDelimiter(100, '-');

TEST(ExceptionReport, MessageEndsWithOnePeriodAndCrLfBreaks) {
  const struct {
    const char* message;
    const char* shown;
  } cases[] = {
      {"Disk full", "Disk full."},
      {"Disk full.", "Disk full."},
      {"", "."},
      {"one\ntwo", "one\r\ntwo."},
      {"one\r\ntwo\rthree.", "one\r\ntwo\r\nthree."},
  };
  for (const auto& c : cases) EXPECT_EQ(ReportMessageText(c.message), c.shown) << c.message;
}

TEST(ExceptionReport, ClassIsTheDemangledThrownType) {
  std::exception_ptr error;
  try {
    (void)std::vector<int>().at(1);
  } catch (...) {
    error = std::current_exception();
  }
  EXPECT_EQ(ExceptionClassName(error), "std::out_of_range");
  EXPECT_EQ(ExceptionClassName(std::make_exception_ptr(42)), "int");
  EXPECT_EQ(ExceptionMessage(std::make_exception_ptr(42)), "Unknown error");

  const std::vector<std::string> head = ReportHeaderLines("std::out_of_range", reinterpret_cast<const void*>(0x1400012ab));
  EXPECT_EQ(head, (std::vector<std::string>{"Exception class: std::out_of_range",
                                            "Exception address: 00000001400012AB", kDelimiter}));
  EXPECT_EQ(ReportHeaderLines("E", nullptr, "00000010 [T] \"worker\"")[1], "Thread: 00000010 [T] \"worker\"");
}

size_t CountOf(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

TEST(ExceptionReport, BlocksInOrderEachClosedByADelimiter) {
  const auto stack = DiagCreateStackList(false, 0, nullptr);
  TReportInput input;
  input.stack = stack;
  input.hasFocus = true;
  input.focusChain = {{"TButton", "OkBtn"}, {"TExceptionDialog", "ExceptionDialog"}};
  std::vector<std::string> lines;
  CreateReport(lines, kReportAllBlocks, input);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("Stack list, generated ", 0), 0u);
  const auto at = [&](const std::string& prefix) {
    return std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }) -
           lines.begin();
  };
  const auto system = at("System   : ");
  ASSERT_LT(system, static_cast<std::ptrdiff_t>(lines.size()));
  EXPECT_EQ(lines[system - 1], kDelimiter);
  EXPECT_EQ(lines[system], "System   :  Workstation, Version: 6.1, Build: 1db1, \"Service Pack 1\"");
  EXPECT_EQ(lines[system + 1].rfind("Processor: ", 0), 0u);
  EXPECT_EQ(lines[system + 2].rfind("Display  : ", 0), 0u);
  EXPECT_EQ(lines[system + 3], kDelimiter);
  EXPECT_EQ(lines[system + 4], "List of loaded modules:");
  const auto focus = at("Active Controls hiearchy:");
  EXPECT_EQ(lines[focus - 1], kDelimiter);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + focus + 1, lines.end()),
            (std::vector<std::string>{"TButton \"OkBtn\"", "TExceptionDialog \"ExceptionDialog\"", kDelimiter}));
  EXPECT_EQ(CountOf(lines, kDelimiter), 4u);

  // Without a stack list or a focused control those blocks are left out.
  lines.clear();
  CreateReport(lines, kReportAllBlocks, TReportInput{});
  EXPECT_EQ(lines[0].rfind("System   : ", 0), 0u);
  EXPECT_EQ(at("Active Controls hiearchy:"), static_cast<std::ptrdiff_t>(lines.size()));
  EXPECT_EQ(CountOf(lines, kDelimiter), 2u);
  EXPECT_EQ(lines.back(), kDelimiter);
}

TEST(ExceptionReport, ModuleLinesShowRebasingAndMissingVersions) {
  const fs::path dir = fs::temp_directory_path() / "kv_report_modules";
  fs::create_directories(dir);
  const fs::path copy = dir / "diag_version_copy.dll";
  fs::copy_file(kFixtures + "diag_version_ok.dll", copy, fs::copy_options::overwrite_existing);
  const ModuleHandle first(LoadLibraryA((kFixtures + "diag_version_ok.dll").c_str()));
  const ModuleHandle second(LoadLibraryA(copy.string().c_str()));
  const ModuleHandle bad(LoadLibraryA((kFixtures + "diag_version_bad.dll").c_str()));
  ASSERT_TRUE(first && second && bad);
  ASSERT_NE(first.Get(), second.Get());

  const std::string blanks(11, ' ');
  const std::vector<std::string> own = ReportModuleLines(first.Get(), kFixtures + "diag_version_ok.dll");
  ASSERT_EQ(own.size(), 3u);
  char head[40];
  std::snprintf(head, sizeof head, "[%.8llX] ", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(first.Get())));
  EXPECT_EQ(own[0], head + kFixtures + "diag_version_ok.dll");
  EXPECT_EQ(own[1], blanks + "7.6.5.4 - 7.6.5.4");
  EXPECT_EQ(own[2], blanks + "Version fixture");

  const std::vector<std::string> moved = ReportModuleLines(second.Get(), copy.string());
  ASSERT_EQ(moved.size(), 3u);
  char prefix[40];
  std::snprintf(prefix, sizeof prefix, "<%.8llX> ", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(first.Get())));
  EXPECT_EQ(moved[1], prefix + std::string("7.6.5.4 - 7.6.5.4"));

  // A malformed version resource: the module is listed all the same.
  const std::vector<std::string> rejected = ReportModuleLines(bad.Get(), kFixtures + "diag_version_bad.dll");
  ASSERT_EQ(rejected.size(), 2u);
  EXPECT_EQ(rejected[1], blanks + "(no version info)");
}

TEST(ExceptionReport, StoredReportsAreNewEntriesEvenWhenNamesClash) {
  const fs::path dir = fs::path(KV_TEST_BINARY_DIR) / "report_history";
  fs::create_directories(dir);
  const std::string archive = (dir / "error.history").string();
  fs::remove(archive);
  const std::string text = MakeStoredReport("Disk full.\r\nSecond line.", {"Exception class: E", kDelimiter});
  EXPECT_EQ(text, std::string(kReportTitle) + "\r\n\r\nDisk full.\r\nSecond line.\r\n\r\nException class: E\r\n" +
                      kDelimiter + "\r\n");

  // Every draw answers 7 until the third: the second report must redraw.
  int draws = 0;
  SetReportRandomSource([&draws] { return ++draws < 3 ? 7u : 8u; });
  const std::string firstName = StoreReport(archive, text);
  const std::string secondName = StoreReport(archive, text + "again\r\n");
  SetReportRandomSource(nullptr);
  EXPECT_EQ(firstName.size(), 32u);
  EXPECT_NE(firstName, secondName);
  const std::vector<std::string> names = ArchiveEntryNames(archive);
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(LoadStringFromZip(archive, firstName, ""), text);
  EXPECT_EQ(LoadStringFromZip(archive, secondName, ""), text + "again\r\n");
}

}  // namespace
}  // namespace kv
