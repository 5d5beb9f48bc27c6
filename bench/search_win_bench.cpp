// Search benchmark of the wizard (run under Wine or on Windows, with a display):
//
//   search_win_bench.exe <work-folder> [files=20000] [seed=1] [rows=100000]
//
// Generates a library of tagged MP3 files (ID3v2.3 with artist, title and
// album, a few MPEG frames) in 200 folders: about a fifth of the files in
// groups of 2 to 5 copies, exact (same tags, another bit rate) or similar
// (the title with one more word). Then, on a warm cache, times the search
// phases as the wizard runs them: the scan, the comparison, and showing the
// result on the results page with smart marking; memory per record of the
// scanned collection (word indexes included) and of the result collection.
// Last, the results page fills a synthetic list of <rows> records.
// Targets: the whole search well under 15 s; 100,000 rows under 1 s.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "engine/engine_init_win.h"
#include "engine/mp3_collection.h"
#include "foundation/files_win.h"
#include "foundation/settings_win.h"
#include "ui/application_win.h"
#include "ui/forms_win.h"
#include "wizard/duplicate_search.h"
#include "wizard/later_pages_win.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double MegaBytes() {
  PROCESS_MEMORY_COUNTERS pmc{};
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return static_cast<double>(pmc.WorkingSetSize) / (1 << 20);
}

// An ID3v2.3 text frame, ISO-8859-1.
std::string TextFrame(const char* id, const std::string& text) {
  const uint32_t size = static_cast<uint32_t>(text.size() + 1);
  std::string frame(id, 4);
  for (int shift = 24; shift >= 0; shift -= 8) frame += static_cast<char>((size >> shift) & 0xFF);
  frame += std::string(2, '\0') + '\0' + text;
  return frame;
}

std::string Mp3File(const std::string& artist, const std::string& title, const std::string& album, int kbits) {
  const std::string frames = TextFrame("TPE1", artist) + TextFrame("TIT2", title) + TextFrame("TALB", album);
  const uint32_t n = static_cast<uint32_t>(frames.size());
  std::string file = "ID3";
  file += '\x03';
  file += std::string(2, '\0');
  for (int shift = 21; shift >= 0; shift -= 7) file += static_cast<char>((n >> shift) & 0x7F);
  file += frames;
  const int index = kbits == 320 ? 14 : kbits == 192 ? 11 : 9;
  const size_t frameSize = 144 * kbits * 1000 / 44100;
  std::string frame(frameSize, '\0');
  frame[0] = '\xFF';
  frame[1] = '\xFB';
  frame[2] = static_cast<char>(index << 4);
  frame[3] = '\x40';
  for (int i = 0; i < 8; ++i) file += frame;
  return file;
}

class Names {
 public:
  explicit Names(unsigned seed) : rng_(seed) {}
  std::string Words(int count) {
    static const char* kSyllables[] = {"ka", "lo", "mi", "ren", "dor", "vel", "tha", "qu", "sin", "bra", "el",
                                       "om", "ur", "zen", "pha", "gri", "nol", "tes", "wyn", "ax", "ibo", "cre",
                                       "dun", "fal", "hem", "jor", "lys", "mok", "nua", "ost", "pel", "rad"};
    std::string text;
    for (int w = 0; w < count; ++w) {
      if (w) text += ' ';
      const int syllables = 2 + static_cast<int>(rng_() % 3);
      std::string word;
      for (int s = 0; s < syllables; ++s) word += kSyllables[rng_() % std::size(kSyllables)];
      word[0] = static_cast<char>(word[0] - 'a' + 'A');
      text += word;
    }
    return text;
  }
  unsigned Next(unsigned bound) { return static_cast<unsigned>(rng_() % bound); }

 private:
  std::mt19937 rng_;
};

struct Planned {
  int files = 0, grouped = 0, groups = 0;
};

Planned MakeLibrary(const fs::path& root, int count, unsigned seed) {
  Names names(seed);
  Planned planned;
  std::vector<fs::path> folders;
  for (int i = 0; i < 200; ++i) {
    folders.push_back(root / ("Folder " + std::to_string(i)));
    fs::create_directories(folders.back());
  }
  while (planned.files < count) {
    const std::string artist = names.Words(2), title = names.Words(3 + static_cast<int>(names.Next(3)));
    const std::string album = names.Words(2);
    // A group with a chance of 67 in 1,000: about a fifth of the files end in groups.
    int copies = names.Next(1000) < 67 ? 2 + static_cast<int>(names.Next(4)) : 1;
    copies = std::min(copies, count - planned.files);
    const bool similar = names.Next(2) == 0;
    if (copies > 1) {
      ++planned.groups;
      planned.grouped += copies;
    }
    for (int c = 0; c < copies; ++c) {
      const std::string copyTitle = similar && c % 2 ? title + " " + names.Words(1) : title;
      const fs::path file = folders[names.Next(200)] / (std::to_string(planned.files) + ".mp3");
      std::ofstream(file, std::ios::binary) << Mp3File(artist, copyTitle, album, c == 0 ? 320 : c == 1 ? 192 : 128);
      ++planned.files;
    }
  }
  return planned;
}

kv::TMP3Info SyntheticRecord(int i) {
  kv::TMP3Info info;
  info.SetTagPart(kv::kTagArtist, "Artist " + std::to_string(i / 3));
  info.SetTagPart(kv::kTagTitle, "Title " + std::to_string(i / 3));
  info.SetTagPart(kv::kTagAlbum, "Album");
  info.SetTagPart(kv::kTagDisplayPath, "C:\\Music\\" + std::to_string(i) + ".mp3");
  info.SetFileName("C:\\Music\\" + std::to_string(i) + ".mp3");
  info.SetPart(kv::kInfoBitRate, 128 + (i % 3) * 64);
  info.SetPart(kv::kInfoLength, 200);
  info.SetPart(kv::kInfoFileSize, 4000000 + i);
  return info;
}

}  // namespace

int main(int argc, char** argv) {
  using kv::TMP3Collection;
  if (argc < 2) {
    std::fprintf(stderr, "usage: search_win_bench <work-folder> [files] [seed] [rows]\n");
    return 2;
  }
  const fs::path work = fs::path(argv[1]) / "search_bench";
  const int count = argc > 2 ? std::atoi(argv[2]) : 20000;
  const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1;
  const int rows = argc > 4 ? std::atoi(argv[4]) : 100000;
  std::error_code ignored;
  fs::remove_all(work, ignored);
  const fs::path program = work / "Program", library = work / "Library";
  fs::create_directories(program);

  auto t0 = Clock::now();
  const Planned planned = MakeLibrary(library, count, seed);
  std::printf("library: %d files, %d in %d planned groups (seed %u), made in %.1f s\n", planned.files,
              planned.grouped, planned.groups, seed, Seconds(Clock::now() - t0));

  kv::SetAppDir(program.wstring());
  kv::CreateConfiger((program / "kelvarin.conf.xml").wstring());
  kv::EngineInitialize();
  kv::ui::Application().SetTitle("Torvane Kelvarin");
  kv::ui::TForm host;
  kv::TCollectionFrame& page = host.Create<kv::TCollectionFrame>();
  page.SetParent(&host);
  host.SetClientWidth(680);
  host.SetClientHeight(500);
  host.Show();

  // A warm cache: the folders walked and the files read once before.
  for (const auto& e : fs::recursive_directory_iterator(library))
    if (e.is_regular_file()) std::ifstream(e.path(), std::ios::binary).get();

  auto collection = std::make_unique<TMP3Collection>();
  collection->ArtistBound = 90;
  collection->TitleBound = 85;
  collection->Combine = 3;
  collection->TimeDifference = 5;
  double before = MegaBytes();
  int reported = 0;
  const kv::TScanEvent onFile = [&](TMP3Collection&, const std::string&, bool&) { ++reported; };
  t0 = Clock::now();
  collection->ScanDisks(kv::WStringToAnsi(library.wstring()), nullptr, onFile);
  const double scan = Seconds(Clock::now() - t0);
  const double scanned = MegaBytes() - before;

  before = MegaBytes();
  t0 = Clock::now();
  std::unique_ptr<TMP3Collection> results = kv::CompareCollection(*collection, false);
  const double compare = Seconds(Clock::now() - t0);
  const double resultMemory = MegaBytes() - before;
  int32_t groups = 0;
  for (int32_t i = 0; i < results->Count(); ++i) groups = std::max(groups, results->Items(i).Tag);

  t0 = Clock::now();
  page.DisplayCollection(results.get());
  const double display = Seconds(Clock::now() - t0);
  t0 = Clock::now();
  page.CheckSmartButtonClick(nullptr);
  UpdateWindow(host.Handle());
  const double smart = Seconds(Clock::now() - t0);

  std::printf("scan: %d files (%d reported), %.2f s, %.0f us per file; %.0f bytes per record with indexes\n",
              collection->Count(), reported, scan, scan * 1e6 / std::max(1, collection->Count()),
              scanned * (1 << 20) / std::max(1, collection->Count()));
  std::printf("comparison: %d groups of %d files, %.2f s; %.0f bytes per result record\n", groups,
              results->Count(), compare, resultMemory * (1 << 20) / std::max(1, results->Count()));
  std::printf("results page: DisplayCollection %.3f s, smart marking and paint %.3f s\n", display, smart);
  std::printf("whole search: %.2f s (target well under 15 s)\n", scan + compare + display + smart);

  // The page bound to a synthetic list: groups of three.
  TMP3Collection synthetic(nullptr);
  synthetic.IndexEnabled = 0;
  for (int i = 0; i < rows; ++i) synthetic.AddMp3Info(SyntheticRecord(i)).Tag = i / 3 + 1;
  page.ReleaseCollection(results.get());
  t0 = Clock::now();
  page.DisplayCollection(&synthetic);
  UpdateWindow(host.Handle());
  const double fill = Seconds(Clock::now() - t0);
  t0 = Clock::now();
  page.CheckSmartButtonClick(nullptr);
  UpdateWindow(host.Handle());
  const double smartRows = Seconds(Clock::now() - t0);
  std::printf("%d synthetic rows: filled and painted in %.3f s (target under 1 s), smart marking %.3f s\n", rows,
              fill, smartRows);
  page.ReleaseCollection(&synthetic);
  host.Hide();
  kv::FreeConfiger();
  fs::remove_all(work, ignored);
  return 0;
}
