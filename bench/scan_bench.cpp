// Disk scan benchmark (run under Wine or on Windows):
//
//   scan_bench.exe <sample-folder> <work-folder> [files=20000]
//
// Copies the music files found in the sample folder (e.g. the test corpora)
// round-robin into a library of nested folders under the work folder, then
// scans it: files per second, memory per record, the cost of a progress
// callback that processes pending messages after every file, and the bytes
// the readers read per file for each format.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "engine/audio_environment_win.h"
#include "engine/audio_informer.h"
#include "engine/mp3_collection.h"
#include "engine/readers/file_source_win.h"

namespace fs = std::filesystem;
using kv::TMP3Collection;

namespace {

size_t WorkingSet() {
  PROCESS_MEMORY_COUNTERS pmc{};
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return pmc.WorkingSetSize;
}

// Counts the bytes each opened file hands to the readers.
class CountingEnvironment : public kv::TWin32AudioEnvironment {
 public:
  std::unique_ptr<kv::ByteSource> Open(const std::string& path) override {
    auto source = std::make_unique<kv::FileSource>(kv::AnsiToWString(path));
    last = source.get();
    return source;
  }
  kv::FileSource* last = nullptr;
};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <sample-folder> <work-folder> [files]\n", argv[0]);
    return 2;
  }
  const fs::path samples = argv[1];
  const fs::path work = fs::path(argv[2]) / "library";
  const int count = argc > 3 ? std::atoi(argv[3]) : 20000;

  std::vector<fs::path> music;
  for (const auto& e : fs::recursive_directory_iterator(samples)) {
    if (e.is_regular_file() && kv::CanRead(kv::ToU16(e.path().wstring()))) music.push_back(e.path());
  }
  if (music.empty()) {
    std::fprintf(stderr, "no music files in %s\n", argv[1]);
    return 2;
  }

  // Bytes read per file, by format.
  std::map<std::string, std::pair<uint64_t, uint64_t>> perFormat;  // extension -> (files, bytes)
  for (const fs::path& p : music) {
    CountingEnvironment env;
    kv::TAudioInformer info;
    const std::string ansi = kv::WStringToAnsi(p.wstring());
    info.SetFileName(ansi);
    try {
      info.ReadFile(ansi, env);
    } catch (...) {
    }
    auto& slot = perFormat[kv::WStringToAnsi(p.extension().wstring())];
    slot.first += 1;
    slot.second += env.last ? env.last->BytesRead() : 0;
  }

  std::error_code ec;
  fs::remove_all(work, ec);
  for (int i = 0; i < count; ++i) {
    const fs::path dir = work / ("Artist " + std::to_string(i / 200)) / ("Album " + std::to_string(i / 20));
    fs::create_directories(dir);
    const fs::path& from = music[static_cast<size_t>(i) % music.size()];
    fs::copy_file(from, dir / (std::to_string(i) + from.extension().string()), fs::copy_options::overwrite_existing);
  }

  const std::string root = kv::WStringToAnsi(work.wstring());
  auto scan = [&](bool withCallback) {
    TMP3Collection c;
    int files = 0;
    const size_t before = WorkingSet();
    const auto start = std::chrono::steady_clock::now();
    c.ScanDisks(root, nullptr, withCallback ? kv::TScanEvent([&](TMP3Collection&, const std::string&, bool&) {
      ++files;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }) : kv::TScanEvent());
    const double s = Seconds(std::chrono::steady_clock::now() - start);
    const double perRecord = c.Count() ? double(WorkingSet() - std::min(before, WorkingSet())) / c.Count() : 0;
    std::printf("%-22s %6d records in %6.2f s: %8.0f files/s, ~%5.0f bytes of memory per record\n",
                withCallback ? "scan with callback" : "scan without callback", c.Count(), s, c.Count() / s,
                perRecord);
    return s;
  };
  scan(false);  // warms the file cache
  const double plain = scan(false);
  const double called = scan(true);
  std::printf("progress callback: %.1f us per file\n", (called - plain) * 1e6 / count);
  for (const auto& [ext, v] : perFormat) {
    std::printf("%-6s %3llu sample files, %8.0f bytes read per file\n", ext.c_str(),
                static_cast<unsigned long long>(v.first), double(v.second) / double(v.first));
  }
  fs::remove_all(work, ec);
  return 0;
}
