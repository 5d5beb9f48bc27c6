#pragma once
// The plain-text report of one exception and the archive that keeps every
// report ("error.history" in the program folder). Fixed English texts.
#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics/diag_stack_win.h"

namespace kv {

// Where bug reports go: a placeholder under a reserved domain.
inline constexpr char kSupportAddress[] = "bugs@torvane.example";
inline constexpr char kReportTitle[] = "Torvane Kelvarin  Ver.3.0";
inline constexpr char kErrorHistoryName[] = "error.history";
inline constexpr int kReportMaxColumns = 100;
inline constexpr char kReportNewBlockDelimiterChar = '-';

// Report blocks.
inline constexpr unsigned kReportStackList = 1;
inline constexpr unsigned kReportSystem = 2;
inline constexpr unsigned kReportModules = 4;
inline constexpr unsigned kReportFocus = 8;
inline constexpr unsigned kReportAllBlocks = 15;

// The message as shown: ends with "." and has CR LF line breaks.
std::string ReportMessageText(const std::string& message);
// The exception's message ("Unknown error" for a non-standard one).
std::string ExceptionMessage(const std::exception_ptr& error);
// The demangled type of the thrown object ("" when unknown).
std::string ExceptionClassName(const std::exception_ptr& error);
std::string DemangledTypeName(const std::type_info& type);

// The line that ends each block: the character so many times.
std::string ReportDelimiter(int columns = kReportMaxColumns, char ch = kReportNewBlockDelimiterChar);

// "Exception class: ..." and "Exception address: <16 hex digits>" (or
// "Thread: <description>" for a thread's exception), then a delimiter line.
std::vector<std::string> ReportHeaderLines(const std::string& className, const void* address,
                                           const std::optional<std::string>& thread = std::nullopt,
                                           const std::string& delimiter = ReportDelimiter());

struct TReportInput {
  std::shared_ptr<const TDiagStackInfoList> stack;             // none: the block is left out
  std::vector<std::pair<std::string, std::string>> focusChain;  // (class, name), focused control first
  bool hasFocus = false;
  std::string delimiter = ReportDelimiter();
};

// Appends the chosen blocks, each ending with a delimiter line. A block that
// fails ends with a line naming the failure; the others are still written.
void CreateReport(std::vector<std::string>& lines, unsigned blocks, const TReportInput& input);

// The module lines of one loaded module: "[base] path", then the prefix
// ("<preferred base> " when rebased, else 11 blanks) with the version, or
// "(no version info)".
std::vector<std::string> ReportModuleLines(HMODULE module, const std::string& path);

// The stored text: title, empty line, message lines, empty line, details.
std::string MakeStoredReport(const std::string& messageText, const std::vector<std::string>& details);

// A fresh entry name of the archive: 32 hex digits of a digest of the date,
// time and a random number, drawn again while the archive has that name.
std::string NewReportEntryName(const std::string& archive);
// Adds text as a new entry of the archive (made when missing); returns its name.
std::string StoreReport(const std::string& archive, const std::string& text);
// The entry names of an archive (none when it does not exist).
std::vector<std::string> ArchiveEntryNames(const std::string& archive);

// Replaceable pieces for tests: the random numbers behind entry names.
void SetReportRandomSource(std::function<unsigned()> source);

}  // namespace kv
