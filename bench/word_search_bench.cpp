// Word index benchmark: seeded synthetic collections indexed and grouped the
// way the wizard's comparison does it (every record not yet grouped queries
// the index; groups grow transitively through the members' own queries).
//
//   word_search_bench [maxRecords]     (default 1000000)
//
// Prints, per collection size and mode: indexing time, grouping time, queries
// per record, search states per query, trie nodes, index memory and the
// process's peak resident memory so far. Then a long-title stress case.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/word_index.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakRssKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

struct Record {
  std::string artist, title;
  int length;  // seconds
};

// Words drawn with Zipf weights 1/rank.
class Zipf {
 public:
  Zipf(std::vector<std::string> words, double exponent) : words_(std::move(words)) {
    double sum = 0;
    for (size_t r = 0; r < words_.size(); ++r) cumulative_.push_back(sum += 1.0 / std::pow(double(r + 1), exponent));
  }
  const std::string& Draw(std::mt19937_64& rng) const {
    const double x = std::uniform_real_distribution<double>(0, cumulative_.back())(rng);
    const size_t i = size_t(std::lower_bound(cumulative_.begin(), cumulative_.end(), x) - cumulative_.begin());
    return words_[std::min(i, words_.size() - 1)];
  }

 private:
  std::vector<std::string> words_;
  std::vector<double> cumulative_;
};

std::vector<std::string> MakeVocabulary(size_t size, std::mt19937_64& rng, std::vector<std::string> common) {
  static const char* const kSyllables[] = {"ka", "lo", "ve", "ra", "mi", "to", "se", "an", "dre", "bo", "li",
                                           "nu", "ge", "sta", "ri", "mo", "el", "da", "x", "zu", "pe", "ny"};
  std::vector<std::string> words = std::move(common);
  while (words.size() < size) {
    std::string w;
    const int n = 1 + int(rng() % 3);
    for (int i = 0; i < n; ++i) w += kSyllables[rng() % std::size(kSyllables)];
    if (rng() % 4 == 0) w[0] = char(w[0] - 32);
    words.push_back(w);
  }
  return words;
}

std::vector<Record> MakeCollection(size_t count, uint64_t seed) {
  std::mt19937_64 rng(seed);
  const size_t vocabulary = 2000 + count / 4;
  const Zipf artistWords(MakeVocabulary(vocabulary / 2, rng, {"The", "DJ", "Band", "feat", "Orchestra"}), 1.0);
  const Zipf titleWords(MakeVocabulary(vocabulary, rng, {"the", "love", "you", "me", "remix", "feat", "my", "of",
                                                          "in", "night", "live", "edit", "version", "a", "heart"}),
                         1.0);
  // Artists with many titles: artists themselves drawn with Zipf weights.
  std::vector<std::string> artists;
  for (size_t i = 0; i < count / 8 + 10; ++i) {
    std::string a;
    const int n = 1 + int(rng() % 3);
    for (int k = 0; k < n; ++k) a += (k ? " " : "") + artistWords.Draw(rng);
    if (rng() % 12 == 0) a += " feat. " + artistWords.Draw(rng);
    artists.push_back(a);
  }
  const Zipf artistPick(artists, 0.9);
  std::vector<Record> records;
  records.reserve(count);
  while (records.size() < count) {
    const uint64_t roll = rng() % 100;
    if (roll < 15 && !records.empty()) {  // exact duplicate, sometimes in other letter case
      Record r = records[rng() % records.size()];
      if (rng() % 3 == 0) std::transform(r.title.begin(), r.title.end(), r.title.begin(), ::toupper);
      r.length += int(rng() % 3);
      records.push_back(r);
      continue;
    }
    if (roll < 20 && !records.empty()) {  // near duplicate: one title word added, dropped or changed
      Record r = records[rng() % records.size()];
      const uint64_t how = rng() % 3;
      if (how == 0) r.title += " " + titleWords.Draw(rng);
      if (how == 1 && r.title.find(' ') != std::string::npos) r.title.erase(r.title.rfind(' '));
      if (how == 2) r.title = titleWords.Draw(rng) + " " + r.title;
      records.push_back(r);
      continue;
    }
    Record r;
    r.artist = artistPick.Draw(rng);
    static const int kLengths[] = {1, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 6, 7, 8, 10, 13};
    const int n = kLengths[rng() % std::size(kLengths)];
    for (int k = 0; k < n; ++k) r.title += (k ? " " : "") + titleWords.Draw(rng);
    if (rng() % 10 == 0) r.title += " (" + titleWords.Draw(rng) + " Remix)";
    r.length = 120 + int(rng() % 300);
    records.push_back(r);
  }
  return records;
}

struct Settings {
  const char* name;
  int32_t artistBound, titleBound;
  uint8_t combine;
  int32_t timeDifference;
};

struct GroupStats {
  uint64_t queries = 0, steps = 0, groups = 0, grouped = 0;
};

// The comparison loop: for each record not yet taken into a group, grow a
// group depth-first from it. An explicit stack stands for the recursion.
GroupStats Group(kv::WordIndex& index, const std::vector<Record>& records, const Settings& s) {
  GroupStats st;
  std::vector<uint8_t> taken(records.size(), 0);
  struct Frame {
    int32_t record;
    std::vector<int32_t> found;
    size_t next;
  };
  std::vector<Frame> stack;
  for (int32_t i = 0; i < int32_t(records.size()); ++i) {
    if (taken[size_t(i)]) continue;
    size_t groupSize = 1;
    auto enter = [&](int32_t r) {
      if (taken[size_t(r)]) return;
      ++st.queries;
      const Record& rec = records[size_t(r)];
      std::vector<int32_t> found = index.FindSimilar(rec.artist, rec.title, s.artistBound, s.titleBound, s.combine);
      st.steps += index.ArtistIndex().LastSearchSteps() + index.TitleIndex().LastSearchSteps();
      if (found.size() < 2) return;
      taken[size_t(r)] = 1;
      stack.push_back(Frame{r, std::move(found), 0});
    };
    enter(i);
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next == f.found.size()) {
        stack.pop_back();
        continue;
      }
      const int32_t k = f.found[f.next++];
      const Record& r = records[size_t(f.record)];
      if (k == f.record || taken[size_t(k)]) continue;
      if (s.timeDifference >= 0 && std::abs(records[size_t(k)].length - r.length) > s.timeDifference) continue;
      ++groupSize;
      enter(k);  // may invalidate f
    }
    if (groupSize > 1) {
      ++st.groups;
      st.grouped += groupSize;
    }
  }
  return st;
}

void RunSize(size_t count) {
  const std::vector<Record> records = MakeCollection(count, 1000 + count);
  kv::TCustomStrFinder exclude;
  int32_t line = 0;
  for (const char* w : {"the", "a", "an", "feat", "ft", "featuring"}) exclude.AddString(w, line++);
  const Settings modes[] = {{"similar 90/85 and", 90, 85, 3, 5}, {"duplicates 100/100", 100, 100, 3, 5}};
  for (const Settings& s : modes) {
    kv::WordIndex index(&exclude);
    const auto t0 = Clock::now();
    for (size_t i = 0; i < records.size(); ++i) index.AddSearchInfo(records[i].artist, records[i].title, int32_t(i));
    const double indexSeconds = Seconds(t0);
    const auto t1 = Clock::now();
    const GroupStats st = Group(index, records, s);
    const double groupSeconds = Seconds(t1);
    const size_t nodes = index.ArtistIndex().NodeCount() + index.TitleIndex().NodeCount();
    const size_t bytes = index.ArtistIndex().MemoryBytes() + index.TitleIndex().MemoryBytes() +
                         index.ArtistWords().MemoryBytes() + index.TitleWords().MemoryBytes();
    std::printf("%8zu  %-19s index %6.3f s  group %7.3f s  queries/rec %.3f  states/query %7.1f"
                "  groups %7llu (%llu recs)  nodes %8zu  index %6.1f MB  peak %6.1f MB\n",
                count, s.name, indexSeconds, groupSeconds, double(st.queries) / double(count),
                double(st.steps) / double(std::max<uint64_t>(st.queries, 1)), (unsigned long long)st.groups,
                (unsigned long long)st.grouped, nodes, double(bytes) / 1e6, double(PeakRssKb()) / 1e3);
    std::fflush(stdout);
  }
}

void RunStress(const char* name, int records, int words, bool periodic) {
  std::mt19937_64 rng(99);
  const char* const kWords[] = {"la", "da", "na"};
  std::vector<Record> rs;
  for (int i = 0; i < records; ++i) {
    Record r;
    r.artist = "Chorus Line";
    for (int k = 0; k < words; ++k) {
      r.title += std::string(k ? " " : "") + kWords[periodic ? (k + i % 2) % 3 : rng() % 3];
    }
    r.length = 200;
    rs.push_back(r);
  }
  for (const Settings& s : {Settings{"similar 90/85 and", 90, 85, 3, 5}, Settings{"title 70", 100, 70, 2, -1}}) {
    kv::WordIndex index;
    const auto t0 = Clock::now();
    for (size_t i = 0; i < rs.size(); ++i) index.AddSearchInfo(rs[i].artist, rs[i].title, int32_t(i));
    const GroupStats st = Group(index, rs, s);
    std::printf("stress %-9s %d x %d words  %-19s %7.3f s  queries %llu  states/query %9.1f  groups %llu\n", name,
                records, words, s.name, Seconds(t0), (unsigned long long)st.queries,
                double(st.steps) / double(std::max<uint64_t>(st.queries, 1)), (unsigned long long)st.groups);
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const size_t maxRecords = argc > 1 ? size_t(std::strtoull(argv[1], nullptr, 10)) : 1000000;
  for (size_t n : {size_t{10000}, size_t{30000}, size_t{100000}, size_t{1000000}}) {
    if (n <= maxRecords) RunSize(n);
  }
  RunStress("random", 50, 250, false);
  RunStress("periodic", 50, 250, true);
  return 0;
}
