// The search's comparison, smart marking and report building on synthetic
// result collections (no files):
//
//   search_grouping_bench [max_records]     (default 100000)
//
// Prints, for 25k, 50k, 100k... records (about a fifth in groups of 2 to 5,
// exact and similar): the grouping time and its ratio to the previous size,
// smart marking and the report page for the result rows, and memory per
// record. Then one group of 10,000 equal records, and one of 20,000 records
// of one artist with distinct titles (artist only): time and peak memory.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "wizard/duplicate_search.h"
#include "wizard/html_report.h"
#include "wizard/smart_marking.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace kv;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

long RssKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string(key).size());
  return -1;
}

std::string Word(std::mt19937_64& rng) {
  static const char* syllables[] = {"ka", "lo", "mi", "ra", "ten", "su", "vo", "der", "an", "pel", "qua", "zo"};
  std::string w;
  const int n = 2 + int(rng() % 3);
  for (int i = 0; i < n; ++i) w += syllables[rng() % std::size(syllables)];
  return w;
}

std::unique_ptr<TMP3Collection> Library(int32_t count, uint64_t seed) {
  std::mt19937_64 rng(seed);
  auto c = std::make_unique<TMP3Collection>(nullptr);
  c->ArtistBound = 90;
  c->TitleBound = 85;
  c->Combine = 3;
  c->TimeDifference = 5;
  int32_t made = 0;
  auto add = [&](const std::string& artist, const std::string& title, int length) {
    auto info = std::make_unique<TMP3Info>();
    info->SetTagPart(kTagArtist, artist);
    info->SetTagPart(kTagTitle, title);
    const std::string path = "C:\\Music\\" + std::to_string(made) + ".mp3";
    info->SetTagPart(kTagDisplayPath, path);
    info->SetFileName(path);
    info->SetPart(kInfoLength, length);
    info->SetPart(kInfoSampleRate, 44100);
    info->SetPart(kInfoBitRate, int(128 + 64 * (rng() % 4)));
    info->SetPart(kInfoFileSize, int(3000000 + rng() % 5000000));
    c->AddRecord(std::move(info));
    ++made;
  };
  while (made < count) {
    const std::string artist = Word(rng) + " " + Word(rng);
    std::string title = Word(rng);
    for (int w = 0, n = 2 + int(rng() % 4); w < n; ++w) title += " " + Word(rng);
    const int length = 120 + int(rng() % 300);
    const bool grouped = rng() % 10 < 1;  // ~ a fifth of the records end up in groups
    const int copies = grouped ? 2 + int(rng() % 4) : 1;
    for (int k = 0; k < copies && made < count; ++k)
      add(artist, k == 2 ? title + " " + Word(rng) : title, length + int(rng() % 3));
  }
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t maxRecords = argc > 1 ? std::atoi(argv[1]) : 100000;
  double previous = 0;
  for (int32_t n = 25000; n <= maxRecords; n *= 2) {
    const long before = RssKb("VmRSS:");
    auto c = Library(n, 20261206 + uint64_t(n));
    const long scanKb = RssKb("VmRSS:") - before;
    auto start = Clock::now();
    auto results = CompareCollection(*c, false);
    const double group = Seconds(start);
    std::vector<const TMP3Info*> rows;
    for (int32_t i = 0; i < results->Count(); ++i) rows.push_back(&results->Items(i));
    start = Clock::now();
    const std::vector<bool> marks = SmartMarks(rows, TKeepPreferences{});
    const double mark = Seconds(start);
    start = Clock::now();
    const std::string page = BuildReportPage("Found mp3 duplicates", "06.12.2026", "windows-1252", rows);
    const double report = Seconds(start);
    std::printf("%7d records: grouping %.3f s (x%.2f), %d rows in %d groups; marking %.4f s; report %.4f s "
                "(%zu bytes); scan collection %.0f bytes/record\n",
                n, group, previous > 0 ? group / previous : 0.0, results->Count(),
                results->Count() ? results->Items(results->Count() - 1).Tag : 0, mark, report, page.size(),
                1024.0 * double(scanKb) / n);
    previous = group;
  }
  // The 100,000-row result list alone (marking and report), rows in groups of 4.
  {
    std::vector<std::unique_ptr<TMP3Info>> records;
    std::vector<const TMP3Info*> rows;
    for (int32_t i = 0; i < 100000; ++i) {
      auto r = std::make_unique<TMP3Info>();
      r->Tag = 1 + i / 4;
      r->SetTagPart(kTagArtist, "Artist <" + std::to_string(i / 4) + ">");
      r->SetTagPart(kTagTitle, "Title & more");
      r->SetTagPart(kTagDisplayPath, "C:\\Music\\" + std::to_string(i) + ".mp3");
      r->SetPart(kInfoBitRate, 128 + i % 3);
      rows.push_back(r.get());
      records.push_back(std::move(r));
    }
    auto start = Clock::now();
    SmartMarks(rows, TKeepPreferences{});
    const double mark = Seconds(start);
    start = Clock::now();
    const std::string page = BuildReportPage("Found mp3 duplicates", "06.12.2026", "windows-1252", rows);
    std::printf("100000 result rows: marking %.4f s, report %.4f s (%zu bytes)\n", mark, Seconds(start), page.size());
  }
  {
    auto c = std::make_unique<TMP3Collection>(nullptr);
    c->ArtistBound = 90;
    c->TitleBound = 85;
    c->TimeDifference = -1;
    for (int i = 0; i < 10000; ++i) {
      auto info = std::make_unique<TMP3Info>();
      info->SetTagPart(kTagArtist, "Same Artist");
      info->SetTagPart(kTagTitle, "Same Title");
      info->SetFileName("C:\\m\\" + std::to_string(i) + ".mp3");
      c->AddRecord(std::move(info));
    }
    const long before = RssKb("VmHWM:");
    const auto start = Clock::now();
    auto results = CompareCollection(*c, false);
    std::printf("one group of 10000: %.3f s, %d rows, peak memory %ld -> %ld kB\n", Seconds(start), results->Count(),
                before, RssKb("VmHWM:"));
  }
  // One artist over 20,000 distinct titles, combined by artist only: one
  // group whose walk goes as deep as the group is large.
  {
    auto c = std::make_unique<TMP3Collection>(nullptr);
    c->ArtistBound = 90;
    c->TitleBound = 85;
    c->Combine = 1;
    c->TimeDifference = -1;
    for (int i = 0; i < 20000; ++i) {
      auto info = std::make_unique<TMP3Info>();
      info->SetTagPart(kTagArtist, "Various Artists");
      info->SetTagPart(kTagTitle, "Title " + std::to_string(i));
      info->SetFileName("C:\\v\\" + std::to_string(i) + ".mp3");
      c->AddRecord(std::move(info));
    }
    const long before = RssKb("VmHWM:");
    const auto start = Clock::now();
    auto results = CompareCollection(*c, false);
    std::printf("one group of 20000 distinct titles: %.3f s, %d rows, peak memory %ld -> %ld kB\n", Seconds(start),
                results->Count(), before, RssKb("VmHWM:"));
  }
  return 0;
}
