// Disk scan benchmark (run under Wine or on Windows):
//
//   scan_win_bench.exe <sample-folder> <work-folder> [files=20000]
//
// Copies the music files found in the sample folder (e.g. the test corpora)
// round-robin into a library of nested folders under the work folder, plus
// one folder of 1,500 files whose names share their first six characters,
// then scans both on a warm cache. Reports the cost of each step (folder
// walk, existence tests, access-path checks, opens with the size from the
// handle, reads), what the old per-file size lookup by display path and
// opening by short names would cost, the cost of a progress callback, memory
// per record and the bytes the readers read per file for each format.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "base/handle.h"
#include "engine/audio_environment_win.h"
#include "engine/audio_informer.h"
#include "engine/mp3_collection.h"
#include "engine/readers/file_source_win.h"
#include "foundation/files_win.h"

namespace fs = std::filesystem;
using kv::TMP3Collection;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

size_t WorkingSet() {
  PROCESS_MEMORY_COUNTERS pmc{};
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return pmc.WorkingSetSize;
}

struct StepTimes {
  Clock::duration walk{}, exists{}, checks{}, opens{}, reads{};
  uint64_t bytes = 0;
  int checkCount = 0;
};

// Times every read of the wrapped file.
class TimedSource final : public kv::ByteSource {
 public:
  TimedSource(std::unique_ptr<kv::ByteSource> inner, StepTimes& t) : inner_(std::move(inner)), t_(t) {}
  uint64_t Size() const override { return inner_->Size(); }
  size_t ReadAt(uint64_t offset, std::span<uint8_t> buffer) override {
    const auto start = Clock::now();
    const size_t n = inner_->ReadAt(offset, buffer);
    t_.reads += Clock::now() - start;
    t_.bytes += n;
    return n;
  }

 private:
  std::unique_ptr<kv::ByteSource> inner_;
  StepTimes& t_;
};

// The scan's own calls, each step timed.
class TimedEnvironment : public kv::TScanEnvironment {
 public:
  StepTimes t;
  std::map<std::string, std::pair<uint64_t, uint64_t>> perFormat;  // extension -> (files, bytes)

  std::vector<kv::TScanEntry> ListFolder(const std::wstring& folder) override {
    const auto start = Clock::now();
    auto entries = TScanEnvironment::ListFolder(folder);
    t.walk += Clock::now() - start;
    return entries;
  }
  bool SameFile(const std::wstring& a, const std::wstring& b) override {
    const auto start = Clock::now();
    const bool same = TScanEnvironment::SameFile(a, b);
    t.checks += Clock::now() - start;
    ++t.checkCount;
    return same;
  }
  bool FileExists(const std::string& path) override {
    const auto start = Clock::now();
    const bool exists = TScanEnvironment::FileExists(path);
    t.exists += Clock::now() - start;
    return exists;
  }
  std::unique_ptr<kv::ByteSource> Open(const std::string& path) override {
    const auto start = Clock::now();
    auto file = TScanEnvironment::Open(path);
    t.opens += Clock::now() - start;
    auto& format = perFormat[kv::WStringToAnsi(fs::path(CurrentLongPath()).extension().wstring())];
    format.first += 1;
    Finish();
    pending_ = &format.second;
    bytesAtOpen_ = t.bytes;
    return std::make_unique<TimedSource>(std::move(file), t);
  }
  // Adds the bytes read from the last file opened to its format.
  void Finish() {
    if (pending_) *pending_ += t.bytes - bytesAtOpen_;
    pending_ = nullptr;
  }

 private:
  uint64_t* pending_ = nullptr;
  uint64_t bytesAtOpen_ = 0;
};

void CopySamples(const std::vector<fs::path>& music, int count, const std::function<fs::path(int)>& target) {
  for (int i = 0; i < count; ++i) {
    const fs::path& from = music[static_cast<size_t>(i) % music.size()];
    const fs::path to = target(i).replace_extension(from.extension());
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  }
}

// One timed scan of root; prints its steps.
void ScanSteps(const char* what, const std::string& root) {
  TimedEnvironment env;
  TMP3Collection c;
  const auto start = Clock::now();
  c.ScanDisks(root, nullptr, nullptr, env);
  const double total = Seconds(Clock::now() - start);
  env.Finish();
  const StepTimes& t = env.t;
  std::printf("%s: %d records in %.2f s (%.0f files/s)\n", what, c.Count(), total, c.Count() / total);
  std::printf("  folder walk          %7.2f s\n", Seconds(t.walk));
  std::printf("  existence tests      %7.2f s\n", Seconds(t.exists));
  std::printf("  access-path checks   %7.2f s (%d shared short names opened)\n", Seconds(t.checks), t.checkCount);
  std::printf("  opens (size from the handle) %7.2f s\n", Seconds(t.opens));
  std::printf("  reads                %7.2f s (%.0f bytes per file)\n", Seconds(t.reads),
              c.Count() ? double(t.bytes) / c.Count() : 0.0);
  std::printf("  the rest (records, indexes) %7.2f s\n",
              total - Seconds(t.walk + t.exists + t.checks + t.opens + t.reads));

  // What the former per-file steps would add: a size lookup by display path
  // (a folder search per file).
  const auto sizesStart = Clock::now();
  for (int32_t i = 0; i < c.Count(); ++i) kv::GetFileSize(c.Items(i).GetTagPart(kv::kTagDisplayPath));
  std::printf("  [former] size lookups by display path %7.2f s\n", Seconds(Clock::now() - sizesStart));
  for (const auto& [ext, v] : env.perFormat) {
    std::printf("  %-6s %6llu files, %8.0f bytes read per file\n", ext.c_str(),
                static_cast<unsigned long long>(v.first), double(v.second) / double(v.first));
  }
}

// Opening every file of a folder by its short name against by its long name.
void OpenByShortAndLong(const fs::path& folder) {
  std::vector<std::wstring> shortPaths, longPaths;
  WIN32_FIND_DATAW data;
  const kv::FindHandle find(FindFirstFileW((folder.wstring() + L"\\*.*").c_str(), &data));
  if (!find) return;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    longPaths.push_back(folder.wstring() + L"\\" + data.cFileName);
    if (data.cAlternateFileName[0]) shortPaths.push_back(folder.wstring() + L"\\" + data.cAlternateFileName);
  } while (FindNextFileW(find.Get(), &data));
  for (const auto* paths : {&shortPaths, &longPaths}) {
    const auto start = Clock::now();
    for (const std::wstring& p : *paths) {
      kv::FileHandle h(CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    std::printf("  [former] %zu opens by %s names: %.2f s\n", paths->size(), paths == &shortPaths ? "short" : "long",
                Seconds(Clock::now() - start));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <sample-folder> <work-folder> [files]\n", argv[0]);
    return 2;
  }
  const fs::path samples = argv[1];
  const fs::path work = fs::path(argv[2]) / "library";
  const fs::path crowd = fs::path(argv[2]) / "crowd";
  const int count = argc > 3 ? std::atoi(argv[3]) : 20000;

  std::vector<fs::path> music;
  for (const auto& e : fs::recursive_directory_iterator(samples)) {
    if (e.is_regular_file() && kv::CanRead(kv::ToU16(e.path().wstring()))) music.push_back(e.path());
  }
  if (music.empty()) {
    std::fprintf(stderr, "no music files in %s\n", argv[1]);
    return 2;
  }

  std::error_code ec;
  fs::remove_all(work, ec);
  fs::remove_all(crowd, ec);
  CopySamples(music, count, [&](int i) {
    return work / ("Artist " + std::to_string(i / 200)) / ("Album " + std::to_string(i / 20)) / std::to_string(i);
  });
  CopySamples(music, 1500, [&](int i) { return crowd / ("Crowded Artist - Track " + std::to_string(i)); });

  const std::string root = kv::WStringToAnsi(work.wstring());
  {
    TMP3Collection warm;  // fills the file cache
    warm.ScanDisks(root, nullptr, nullptr);
  }
  ScanSteps("library", root);
  ScanSteps("1,500 files in one folder", kv::WStringToAnsi(crowd.wstring()));
  OpenByShortAndLong(crowd);

  auto scan = [&](bool withCallback) {
    TMP3Collection c;
    const size_t before = WorkingSet();
    const auto start = Clock::now();
    c.ScanDisks(root, nullptr, withCallback ? kv::TScanEvent([&](TMP3Collection&, const std::string&, bool&) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }) : kv::TScanEvent());
    const double s = Seconds(Clock::now() - start);
    const double perRecord = c.Count() ? double(WorkingSet() - std::min(before, WorkingSet())) / c.Count() : 0;
    std::printf("%-22s %6d records in %6.2f s, ~%5.0f bytes of memory per record\n",
                withCallback ? "scan with callback" : "scan without callback", c.Count(), s, perRecord);
    return s;
  };
  const double plain = scan(false);
  const double called = scan(true);
  std::printf("progress callback: %.1f us per file\n", (called - plain) * 1e6 / count);
  fs::remove_all(work, ec);
  fs::remove_all(crowd, ec);
  return 0;
}
