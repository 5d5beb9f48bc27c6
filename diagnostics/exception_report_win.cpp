#include "diagnostics/exception_report_win.h"

#include <cxxabi.h>
#include <x86intrin.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <atomic>
#include <random>
#include <stdexcept>

#include "base/file_utils_win.h"
#include "base/strings.h"
#include "diagnostics/diag_file_utils_win.h"
#include "diagnostics/diag_lock_win.h"
#include "diagnostics/pe_image_win.h"
#include "diagnostics/sys_info_win.h"
#include "foundation/md5.h"
#include "foundation/zip_strings_win.h"
#include "zip/zipper.h"

namespace kv {
namespace {

__attribute__((format(gnu_printf, 1, 2))) std::string Format(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return std::string(buffer, n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

std::string LocaleDate(const SYSTEMTIME& time) {
  char text[128] = {};
  if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, text, sizeof text) == 0) return {};
  return text;
}

std::string LocaleTime(const SYSTEMTIME& time) {
  char text[128] = {};
  if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, text, sizeof text) == 0) return {};
  return text;
}

// The generator behind entry names: seeded once per process. A fault report
// that cannot have the lock in time draws from the clock instead: the names
// are still checked against the archive's.
struct RandomState {
  TDiagCriticalSection lock;
  std::atomic<unsigned> fallbackDraws{0};
  // Seeded from the clocks: the run-time's random device finds its system
  // function by name, which takes the loader's lock, and the first report
  // of a process may be made while a thread that never lets go holds it.
  std::mt19937 generator{static_cast<unsigned>(__rdtsc()) ^ static_cast<unsigned>(GetTickCount64()) ^
                         GetCurrentProcessId()};
  std::function<unsigned()> source;
};

RandomState& Random() {
  static RandomState state;
  return state;
}

unsigned NextRandom() {
  RandomState& state = Random();
  const TDiagLockGuard guard(state.lock);
  if (!guard.Owns()) return (static_cast<unsigned>(GetTickCount64()) + state.fallbackDraws.fetch_add(7)) % 1000;
  if (state.source) return state.source();
  return std::uniform_int_distribution<unsigned>(0, 999)(state.generator);
}

void StackBlock(std::vector<std::string>& lines, const TDiagStackInfoList& list) {
  const SYSTEMTIME& stamp = list.TimeStamp();
  lines.push_back("Stack list, generated " + LocaleDate(stamp) + " " + LocaleTime(stamp));
  list.AddToStrings(lines, false, true, true);
}

void SystemBlock(std::vector<std::string>& lines) {
  const TDiagSysInfo& info = SysInfo();
  lines.push_back(Format("System   : %s %s, Version: %u.%u, Build: %x, \"%s\"", GetWindowsVersionString().c_str(),
                         NtProductTypeString().c_str(), info.majorVersion, info.minorVersion, info.buildNumber,
                         info.servicePackText.c_str()));
  // The record's one measurement (none without the time-stamp counter).
  const TCpuInfo cpu = GetCpuInfo();
  lines.push_back(Format("Processor: %s, %s, %u MHz %s%s", cpu.manufacturer.c_str(), cpu.cpuName.c_str(),
                         RoundFrequency(cpu.frequencyInfo.normFreq), cpu.mmx ? "MMX" : "",
                         cpu.divisionTestPassed ? "" : " [FDIV Bug]"));
  HDC screen = GetDC(nullptr);
  int bpp = 0;
  if (screen != nullptr) {
    bpp = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
  }
  lines.push_back(Format("Display  : %dx%d pixels, %d bpp", GetSystemMetrics(SM_CXSCREEN),
                         GetSystemMetrics(SM_CYSCREEN), bpp));
}

bool ModulesBlock(std::vector<std::string>& lines) {
  // The module names and version resources are the loader's; held for the
  // whole block inside a fault report, which leaves the block out when a
  // thread that never lets go holds it.
  const TDiagLoaderLockGuard loader;
  if (!loader.Owns()) return false;
  std::vector<TDiagModuleEntry> modules;
  if (!LoadedModulesList(modules, GetCurrentProcessId(), false)) return false;
  std::sort(modules.begin(), modules.end(),
            [](const TDiagModuleEntry& a, const TDiagModuleEntry& b) { return a.base < b.base; });
  lines.push_back("List of loaded modules:");
  for (const TDiagModuleEntry& module : modules) {
    for (std::string& line : ReportModuleLines(module.base, module.path)) lines.push_back(std::move(line));
  }
  return true;
}

void FocusBlock(std::vector<std::string>& lines, const TReportInput& input) {
  lines.push_back("Active Controls hiearchy:");
  for (const auto& [className, name] : input.focusChain) lines.push_back(className + " \"" + name + "\"");
}

}  // namespace

std::string ReportMessageText(const std::string& message) {
  std::string text = message;
  if (text.empty() || text.back() != '.') text += '.';
  std::string result;
  result.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      result += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      result += "\r\n";
    } else {
      result += c;
    }
  }
  return result;
}

std::string ExceptionMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return "Unknown error";
}

std::string DemangledTypeName(const std::type_info& type) {
  int status = 0;
  char* name = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  if (name == nullptr) return type.name();
  std::string result = name;
  std::free(name);
  return result;
}

std::string ExceptionClassName(const std::exception_ptr& error) {
  if (!error) return {};
  const std::type_info* type = error.__cxa_exception_type();
  return type != nullptr ? DemangledTypeName(*type) : std::string();
}

std::string ReportDelimiter(int columns, char ch) { return std::string(static_cast<size_t>(std::max(columns, 0)), ch); }

std::vector<std::string> ReportHeaderLines(const std::string& className, const void* address,
                                           const std::optional<std::string>& thread, const std::string& delimiter) {
  std::vector<std::string> lines;
  lines.push_back("Exception class: " + className);
  if (!thread) {
    lines.push_back(Format("Exception address: %016llX",
                           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address))));
  } else {
    lines.push_back("Thread: " + *thread);
  }
  lines.push_back(delimiter);
  return lines;
}

std::vector<std::string> ReportModuleLines(HMODULE module, const std::string& path) {
  std::vector<std::string> lines;
  lines.push_back(Format("[%.8llX] %s", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(module)),
                         path.c_str()));
  std::string prefix(11, ' ');
  TDiagModuleInfo info;
  if (ModuleInfoFromImage(module, false, info)) {
    const auto view = LoadedModuleView(module);
    const uint64_t preferred = view ? view->U64(*PeMapImgNtHeaders(*view) + 24 + 24).value_or(0) : 0;
    if (preferred != 0 && preferred != reinterpret_cast<uint64_t>(module)) {
      prefix = Format("<%.8llX> ", static_cast<unsigned long long>(preferred));
    }
  }
  // Asked first, so that a module without a resource raises nothing here.
  if (VersionResourceAvailable(path)) {
    try {
      const TDiagFileVersionInfo version = ReadFileVersionInfo(path);
      lines.push_back(prefix + version.GetBinFileVersion() + " - " +
                      version.GetVersionKeyValue(kVersionFileVersion));
      const std::string description = version.GetVersionKeyValue(kVersionFileDescription);
      if (!description.empty()) lines.push_back(std::string(11, ' ') + description);
      return lines;
    } catch (const std::exception&) {
      // A resource the parser rejects: the module is still listed.
    }
  }
  lines.push_back(prefix + "(no version info)");
  return lines;
}

void CreateReport(std::vector<std::string>& lines, unsigned blocks, const TReportInput& input) {
  const TDiagRecordingPause pause;
  const auto block = [&](unsigned bit, const char* name, auto&& write) {
    if ((blocks & bit) == 0) return;
    const size_t before = lines.size();
    bool written = true;
    try {
      written = write();
    } catch (const std::exception& e) {
      lines.push_back(std::string("(") + name + " failed: " + e.what() + ")");
    } catch (...) {
      lines.push_back(std::string("(") + name + " failed)");
    }
    if (written || lines.size() > before) lines.push_back(input.delimiter);
  };
  block(kReportStackList, "stack list", [&] {
    if (!input.stack) return false;
    StackBlock(lines, *input.stack);
    return true;
  });
  block(kReportSystem, "system information", [&] {
    SystemBlock(lines);
    return true;
  });
  block(kReportModules, "module list", [&] { return ModulesBlock(lines); });
  block(kReportFocus, "control list", [&] {
    if (!input.hasFocus) return false;
    FocusBlock(lines, input);
    return true;
  });
}

std::string MakeStoredReport(const std::string& messageText, const std::vector<std::string>& details) {
  std::string text = std::string(kReportTitle) + "\r\n\r\n";
  // The message's lines, each ending with CR LF.
  size_t start = 0;
  while (start < messageText.size()) {
    size_t end = messageText.find("\r\n", start);
    if (end == std::string::npos) end = messageText.size();
    text += messageText.substr(start, end - start) + "\r\n";
    start = end + 2;
  }
  text += "\r\n";
  for (const std::string& line : details) text += line + "\r\n";
  return text;
}

std::vector<std::string> ArchiveEntryNames(const std::string& archive) {
  std::vector<std::string> names;
  if (!FileExists(archive)) return names;
  TZipper zip;
  zip.SetZipName(archive);
  zip.OpenZip();
  for (int i = 0; i < zip.Count(); ++i) names.push_back(zip.FileName(i));
  return names;
}

std::string NewReportEntryName(const std::string& archive) {
  const std::vector<std::string> existing = ArchiveEntryNames(archive);
  for (unsigned attempt = 0;; ++attempt) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    // After a thousand clashes the numbers count on: the loop always ends.
    const unsigned number = attempt < 1000 ? NextRandom() : attempt;
    const std::string name = ToHex(GetMD5(LocaleDate(now) + LocaleTime(now) + std::to_string(number)));
    if (std::find(existing.begin(), existing.end(), name) == existing.end()) return name;
  }
}

std::string StoreReport(const std::string& archive, const std::string& text) {
  const std::string name = NewReportEntryName(archive);
  SaveStringToZip(archive, name, text, "");
  return name;
}

void SetReportRandomSource(std::function<unsigned()> source) {
  RandomState& state = Random();
  const TDiagLockGuard guard(state.lock);
  state.source = std::move(source);
}

}  // namespace kv
