// The search through the program's window against the engine alone (run
// under Wine or on Windows, with a display):
//
//   program_search_win_bench.exe <library> <kelvarin.exe> <data folder> <work folder> [runs=3]
//
// The library comes from bench/make_search_bench_library.py (copied or made
// under the prefix's C: drive, as a user's music would be): its default tiny
// files, and with --real-size files of real size in the folders users have. On a warm cache,
// for duplicates only and for similar files:
// - the engine alone: ScanDisks with a callback that only counts, then
//   CompareCollection, no window;
// - the program: kelvarin.exe started in a program folder of its own with the
//   library ticked ("Last"/"TreeSelection") and the choice made, stepped with
//   "Next >" to "Search", and timed from the click on "Search" until the
//   program has shown the results page (the click returns when the search has
//   ended). It exits, and the list it saved is counted against the engine's.
// Each is run [runs] times, alternately; the best times count (other work on
// the machine only ever adds). Prints both times and their ratio. Targets: the program at most 1.3 times
// the engine alone, and the whole search under 20 s.
//
// Under Wine, KV_BENCH_CPU_PIDS="<wineserver pid> <Xvfb pid> ..." (Linux
// process ids) adds the processor time each of those processes spent during
// every run (read from Z:\proc\<pid>\stat), the Wine server's share of the
// work.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/ansi_text_win.h"
#include "engine/engine_init_win.h"
#include "engine/mp3_collection.h"
#include "foundation/files_win.h"
#include "foundation/settings_win.h"
#include "tests/wizard/window_search_win.h"
#include "wizard/duplicate_search.h"
#include "wizard/result_rows.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::wstring Text(HWND window) {
  wchar_t text[512] = {};
  SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
  return text;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD ms = 30000) {
  const DWORD end = GetTickCount() + ms;
  while (!condition()) {
    if (static_cast<int>(end - GetTickCount()) <= 0) return false;
    Sleep(20);
  }
  return true;
}

HWND FindTop(DWORD pid, const std::wstring& text) {
  return kv::test::FindTopWindowIf(pid, [&](HWND w) { return Text(w) == text; });
}

HWND Child(HWND parent, const std::wstring& text) {
  return kv::test::FindChildWindowIf(parent, [&](HWND w) { return Text(w) == text; });
}

// The user and system time of the Linux processes named in KV_BENCH_CPU_PIDS,
// in seconds, or nothing when the variable is unset or a process is gone.
std::vector<std::pair<std::string, double>> WatchedCpu() {
  std::vector<std::pair<std::string, double>> times;
  const char* pids = std::getenv("KV_BENCH_CPU_PIDS");
  if (!pids) return times;
  std::istringstream list(pids);
  for (std::string pid; list >> pid;) {
    std::ifstream stat("Z:\\proc\\" + pid + "\\stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (name) state ... field 14 utime, 15 stime, in clock ticks (100 a second)
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14) utime = std::atof(field.c_str());
      if (i == 15) stime = std::atof(field.c_str());
    }
    times.emplace_back(line.substr(line.find('(') + 1, close - line.find('(') - 1) + " " + pid, (utime + stime) / 100);
  }
  return times;
}

// Prints what the watched processes spent from [before] to [after].
void PrintCpu(const std::vector<std::pair<std::string, double>>& before,
              const std::vector<std::pair<std::string, double>>& after) {
  for (size_t i = 0; i < before.size() && i < after.size(); ++i)
    std::printf("    %s: %.2f s of processor time\n", after[i].first.c_str(), after[i].second - before[i].second);
}

struct Outcome {
  double seconds = -1;
  int32_t rows = 0, groups = 0;
};

void Count(const kv::TMP3Collection& results, Outcome& outcome) {
  outcome.rows = results.Count();
  for (int32_t i = 0; i < results.Count(); ++i)  // checked rows are saved with kSavedMark added
    outcome.groups = std::max(outcome.groups, results.Items(i).Tag % kv::kSavedMark);
}

Outcome EngineAlone(const std::string& library, bool duplicatesOnly) {
  kv::TMP3Collection collection;
  collection.ArtistBound = 90;
  collection.TitleBound = 85;
  collection.Combine = 3;
  collection.TimeDifference = 5;
  int reported = 0;
  const kv::TScanEvent onFile = [&](kv::TMP3Collection&, const std::string&, bool&) { ++reported; };
  const auto cpu = WatchedCpu();
  const auto t0 = Clock::now();
  collection.ScanDisks(library, nullptr, onFile);
  const double scan = Seconds(Clock::now() - t0);
  const auto results = kv::CompareCollection(collection, duplicatesOnly);
  Outcome outcome;
  outcome.seconds = Seconds(Clock::now() - t0);
  const auto cpuAfter = WatchedCpu();
  Count(*results, outcome);
  std::printf("  engine alone: %.2f s (scan %.2f s: %d records, %d entries reported; comparison %.2f s)\n",
              outcome.seconds, scan, collection.Count(), reported, outcome.seconds - scan);
  PrintCpu(cpu, cpuAfter);
  return outcome;
}

Outcome ThroughProgram(const fs::path& program, const std::string& library, bool duplicatesOnly) {
  Outcome outcome;
  std::vector<std::pair<std::string, double>> cpu, cpuAfter;
  const fs::path settingsFile = program / "kelvarin.conf.xml";
  std::error_code ignored;
  fs::remove(settingsFile, ignored);
  fs::remove(program / "last", ignored);
  {
    auto config = kv::LoadXMLConfig(settingsFile.wstring(), true);
    config->WriteString("Last", "TreeSelection", library);
    config->WriteString("Last", "DupeSimilar", duplicatesOnly ? "0" : "1");
    config->WriteString("Session", "IgnoreiTunes", "1");  // no tip windows at the end
    config->WriteString("Session", "IgnoreEmptyTags", "1");
    config->UpdateFile();
  }
  const std::wstring exe = (program / "kelvarin.exe").wstring();
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  kv::test::LeaveProgramWindowsUnmanaged(true);
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      program.wstring().c_str(), &startup, &info)) {
    std::printf("  cannot start %ls: %lu\n", exe.c_str(), GetLastError());
    kv::test::LeaveProgramWindowsUnmanaged(false);
    return outcome;
  }
  CloseHandle(info.hThread);
  HWND main = nullptr;
  WaitUntil([&] { return (main = FindTop(info.dwProcessId, L"Torvane Kelvarin")) != nullptr; });
  kv::test::LeaveProgramWindowsUnmanaged(false);
  // The last click starts the search: "Search" on the similarity page, or
  // "Next >" on the choice page for duplicates only (no similarity page).
  auto lastPage = [&] {
    return Child(main, L"Search") || (duplicatesOnly && Child(main, L"Search only for duplicates"));
  };
  for (int i = 0; main && i < 4 && !lastPage(); ++i) SendMessageW(Child(main, L"Next >"), BM_CLICK, 0, 0);
  if (HWND search = main && lastPage() ? Child(main, duplicatesOnly ? L"Next >" : L"Search") : nullptr) {
    cpu = WatchedCpu();
    const auto t0 = Clock::now();
    SendMessageW(search, BM_CLICK, 0, 0);  // returns when the results page shows
    outcome.seconds = Seconds(Clock::now() - t0);
    cpuAfter = WatchedCpu();
    SendMessageW(Child(main, L"&Exit"), BM_CLICK, 0, 0);
  } else {
    std::printf("  no Search button\n");
  }
  if (WaitForSingleObject(info.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 99);
  CloseHandle(info.hProcess);
  kv::TMP3Collection saved;
  saved.LoadFromCSV(kv::WStringToAnsi((program / "last").wstring()));
  Count(saved, outcome);
  std::printf("  through the window: %.2f s\n", outcome.seconds);
  PrintCpu(cpu, cpuAfter);
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: program_search_win_bench <library> <kelvarin.exe> <data folder> <work folder> [runs]\n");
    return 2;
  }
  const std::string library = argv[1];
  const fs::path program = fs::path(argv[4]) / "program_search_bench";
  const int runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 3;
  std::error_code ignored;
  fs::remove_all(program, ignored);
  fs::create_directories(program);
  fs::copy_file(argv[2], program / "kelvarin.exe");
  for (const auto& entry : fs::directory_iterator(argv[3])) fs::copy_file(entry.path(), program / entry.path().filename());

  kv::SetAppDir(program.wstring());
  kv::CreateConfiger((program / "engine.conf.xml").wstring());
  kv::EngineInitialize();
  // A warm cache: the folders walked and the files read once before.
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(library))
    if (e.is_regular_file() && ++files) std::ifstream(e.path(), std::ios::binary).get();
  std::printf("library %s: %d files\n", library.c_str(), files);

  int failed = 0;
  for (const bool duplicatesOnly : {true, false}) {
    std::printf("%s:\n", duplicatesOnly ? "duplicates only" : "similar files");
    Outcome engine, shown;
    for (int run = 0; run < runs; ++run) {
      const Outcome e = EngineAlone(library, duplicatesOnly), p = ThroughProgram(program, library, duplicatesOnly);
      if (run == 0 || e.seconds < engine.seconds) engine = e;
      if (run == 0 || (p.seconds >= 0 && p.seconds < shown.seconds)) shown = p;
    }
    std::printf("  best of %d: engine alone %.2f s, through the window %.2f s\n", runs, engine.seconds, shown.seconds);
    const bool same = engine.rows == shown.rows && engine.groups == shown.groups;
    failed += !same;
    std::printf("  %d groups of %d files (engine) / %d of %d (program's saved list)%s\n", engine.groups, engine.rows,
                shown.groups, shown.rows, same ? "" : "  DIFFERENT");
    std::printf("  ratio %.2f (target at most 1.3; whole search under 20 s)\n",
                shown.seconds / std::max(engine.seconds, 1e-3));
  }
  kv::FreeConfiger();
  fs::remove_all(program, ignored);
  return failed ? 1 : 0;
}
