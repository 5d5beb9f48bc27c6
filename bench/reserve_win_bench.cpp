// Reserve and processing benchmark (run under Wine or on Windows):
//
//   reserve_win_bench.exe <work-folder> [files=2000]
//
// Makes the files (64 KiB each, in 20 folders) under the work folder, then
// measures on a warm cache: deleting them all into the reserve (one run, as
// the results page does it), recovering them, and copying them with the
// folder structure. Reports files per second and the journal's share of the
// delete run (the same journal lines appended on their own, against the
// whole run), beside the renames and long-name look-ups it also pays for.
// Target: the journal under a fifth. Last, the delete once more through the
// progress window the program shows.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "base/handle.h"
#include "foundation/log.h"
#include "wizard/processing_win.h"
#include "wizard/reserve_win.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class SilentUi : public kv::TProcessUi {
 public:
  bool Confirm(const std::string&) override { return true; }
  void Start(const std::string&, const std::string&) override {}
  void SetStatus(const std::string&) override {}
  void SetProgress(int) override {}
  int Ask(const std::string&, const std::string&) override { return 0; }
  bool Stopped() override { return false; }
  void Finish() override {}
  void Free() override {}
  void Repaint() override {}
  void Unchecked(size_t) override {}
};

// The program's progress window, with the confirmation answered.
class WindowUi : public kv::TWindowProcessUi {
 public:
  WindowUi() : TWindowProcessUi(nullptr, nullptr, nullptr) {}
  bool Confirm(const std::string&) override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: reserve_win_bench <work-folder> [files]\n");
    return 2;
  }
  const fs::path work = fs::path(argv[1]) / "reserve_bench";
  const int count = argc > 2 ? std::atoi(argv[2]) : 2000;
  std::error_code ignored;
  fs::remove_all(work, ignored);
  const fs::path program = work / "Program", music = work / "Music", dest = work / "Dest";
  fs::create_directories(program);
  fs::create_directories(dest);
  const std::string block(64 * 1024, 'm');
  std::vector<std::unique_ptr<kv::TMP3Info>> records;
  std::vector<kv::TProcessRow> rows;
  std::vector<fs::path> files;
  for (int i = 0; i < count; ++i) {
    const fs::path folder = music / ("Artist " + std::to_string(i % 20));
    fs::create_directories(folder);
    const fs::path file = folder / ("Track " + std::to_string(i) + ".mp3");
    std::ofstream(file, std::ios::binary) << block;
    files.push_back(file);
    auto rec = std::make_unique<kv::TMP3Info>();
    const std::string path = kv::WStringToAnsi(file.wstring());
    rec->SetTagPart(kv::kTagDisplayPath, path);
    rec->SetFileName(path);
    records.push_back(std::move(rec));
  }
  auto checkAll = [&] {
    rows.clear();
    for (auto& rec : records) rows.push_back({rec.get(), true});
  };

  Clock::time_point t0;
  // The file operations alone, as the reserve does them for one file
  // (attributes cleared, rename, hidden, size); the way back is not timed.
  Clock::duration bareTime{};
  for (const fs::path& file : files) {
    const fs::path other = file.parent_path() / "0123456789ABCDEF0123456789ABCDEF";
    t0 = Clock::now();
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    MoveFileExW(file.c_str(), other.c_str(), 0);
    SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_HIDDEN);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(other.c_str(), GetFileExInfoStandard, &data);
    bareTime += Clock::now() - t0;
    SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_NORMAL);
    MoveFileExW(other.c_str(), file.c_str(), 0);
  }
  const double bare = Seconds(bareTime);

  // The journal's part: one appended line per file, as the reserve writes it.
  double journal = 0;
  {
    const std::wstring path = (work / "journal.bench").wstring();
    t0 = Clock::now();
    kv::FileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    for (const fs::path& f : files) {
      const std::string line = kv::FormatReserveLine({kv::WStringToAnsi(f.parent_path().wstring()) +
                                                          "\\0123456789ABCDEF0123456789ABCDEF",
                                                      kv::WStringToAnsi(f.wstring()), kv::WStringToAnsi(f.wstring()), 0});
      DWORD written = 0;
      WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    FlushFileBuffers(file.Get());
    journal = Seconds(Clock::now() - t0);
  }
  // The long names the reserve asks for.
  t0 = Clock::now();
  for (const fs::path& f : files) {
    wchar_t buffer[MAX_PATH];
    GetLongPathNameW(f.c_str(), buffer, MAX_PATH);
  }
  const double longNames = Seconds(Clock::now() - t0);

  kv::TReserve reserve(program.wstring());
  reserve.Load();
  SilentUi ui;
  checkAll();
  t0 = Clock::now();
  kv::ProcessRows(kv::kProcessReserve, rows, "", true, reserve, ui);
  const double deleted = Seconds(Clock::now() - t0);
  const int reserved = reserve.GetHiddenCount();

  t0 = Clock::now();
  const kv::TReserveRun run = reserve.Recover(nullptr);
  const double recovered = Seconds(Clock::now() - t0);

  // The same delete through the progress window the program shows.
  checkAll();
  WindowUi windowUi;
  t0 = Clock::now();
  kv::ProcessRows(kv::kProcessReserve, rows, "", true, reserve, windowUi);
  const double shown = Seconds(Clock::now() - t0);
  reserve.Recover(nullptr);

  checkAll();
  t0 = Clock::now();
  kv::ProcessRows(kv::kProcessCopy, rows, kv::WStringToAnsi(dest.wstring()) + "\\", true, reserve, ui);
  const double copied = Seconds(Clock::now() - t0);

  std::printf("files: %d (64 KiB each, 20 folders)\n", count);
  std::printf("delete into the reserve: %d files, %.3f s, %.0f files/s\n", reserved, deleted, count / deleted);
  std::printf("  renames and attributes alone: %.3f s; long names: %.3f s\n", bare, longNames);
  std::printf("  journal lines (appended and flushed): %.3f s = %.1f%% of the run\n", journal,
              100.0 * journal / deleted);
  std::printf("  the rest (digests, list, saving the archive and journal at the end): %.3f s\n",
              deleted - bare - longNames - journal);
  std::printf("  the same through the progress window: %.3f s (%.2f times)\n", shown, shown / deleted);
  std::printf("recover: %d files, %.3f s, %.0f files/s\n", run.done, recovered, count / recovered);
  std::printf("copy with folders: %.3f s, %.0f files/s\n", copied, count / copied);
  fs::remove_all(work, ignored);
  return 0;
}
