// Word index fuzz target: lines of text become stored word sequences and
// records; the sequence search and the collection query must agree with a
// direct cost computation over every record.
//
// Input: 4 header bytes (substitution, skip and drop costs, budget), one byte
// each for the artist bound, title bound and combine mode, then lines of text.
// Odd lines are artists, even lines titles; the last pair is the query.
#include <algorithm>
#include <cstddef>
#include <iterator>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "engine/word_index.h"
#include "engine/word_search.h"
#include "tests/engine/word_search_plain.h"

namespace {

constexpr size_t kMaxLines = 64;
constexpr size_t kMaxWords = 200;  // per line, so the direct computation stays cheap

void Check(bool ok) {
  if (!ok) std::abort();
}

std::vector<int32_t> Capped(std::vector<int32_t> words) {
  if (words.size() > kMaxWords) words.resize(kMaxWords);
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 7) return 0;
  const int32_t sub = data[0] % 6, ins = data[1] % 6, del = data[2] % 6;
  const int32_t budget = int32_t(data[3] % 24) - 1;
  const int32_t artistBound = data[4] % 120, titleBound = data[5] % 120;
  const uint8_t combine = data[6] % 6;
  std::string_view text(reinterpret_cast<const char*>(data + 7), size - 7);
  std::vector<std::string_view> lines;
  while (!text.empty() && lines.size() < kMaxLines) {
    const size_t eol = text.find('\n');
    lines.push_back(text.substr(0, eol));
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
  }
  if (lines.size() < 2) return 0;

  // Sequence search with the header's costs, every line a record.
  kv::TCustomStrFinder exclude;
  exclude.AddString("the", 0);
  kv::TCustomStrFinder words;
  kv::TCustomIntArrFinder finder(sub, ins, del);
  std::vector<kv::plain::Stored> stored;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    std::vector<int32_t> seq = Capped(kv::GetWordsList(lines[i], words, &exclude));
    finder.AddString(seq, int32_t(i));
    stored.push_back({std::move(seq), int32_t(i)});
  }
  const std::vector<int32_t> query = Capped(kv::GetWordsList(lines.back(), words, &exclude));
  const int32_t count = finder.FuzzySearch(query, budget);
  std::vector<int32_t> got = finder.GetResultArray();
  Check(size_t(count) == got.size());
  std::sort(got.begin(), got.end());
  Check(got == kv::plain::DpSearch(stored, query, budget, sub, ins, del));

  // The collection query: pairs of lines are records.
  kv::WordIndex index(&exclude);
  kv::TCustomStrFinder artistWords, titleWords;
  std::vector<kv::plain::Stored> artists, titles;
  const size_t records = lines.size() / 2 - 1;
  for (size_t r = 0; r < records; ++r) {
    const std::string_view artist = lines[2 * r], title = lines[2 * r + 1];
    if (kv::GetWordsList(artist, artistWords, &exclude).size() > kMaxWords ||
        kv::GetWordsList(title, titleWords, &exclude).size() > kMaxWords) {
      continue;
    }
    index.AddSearchInfo(artist, title, int32_t(r));
    artists.push_back({kv::GetWordsList(artist, index.ArtistWords(), &exclude), int32_t(r)});
    titles.push_back({kv::GetWordsList(title, index.TitleWords(), &exclude), int32_t(r)});
  }
  const std::string_view qa = lines[lines.size() - 2], qt = lines.back();
  const std::vector<int32_t> found = index.FindSimilar(qa, qt, artistBound, titleBound, combine);
  const std::vector<int32_t> a = kv::GetWordsList(qa, index.ArtistWords(), &exclude);
  const std::vector<int32_t> t = kv::GetWordsList(qt, index.TitleWords(), &exclude);
  if (a.size() > kMaxWords || t.size() > kMaxWords) return 0;
  auto side = [](const std::vector<kv::plain::Stored>& s, const std::vector<int32_t>& q, int32_t bound) {
    if (q.empty()) return std::vector<int32_t>();
    return kv::plain::DpSearch(s, q, kv::SimilarityBudget(int64_t(q.size()), bound), 4, 3, 3);
  };
  const std::vector<int32_t> sa = side(artists, a, artistBound), st = side(titles, t, titleBound);
  std::vector<int32_t> expected;
  switch (combine) {
    case 1: expected = sa; break;
    case 2: expected = st; break;
    case 3: std::set_intersection(sa.begin(), sa.end(), st.begin(), st.end(), std::back_inserter(expected)); break;
    case 4: std::set_union(sa.begin(), sa.end(), st.begin(), st.end(), std::back_inserter(expected)); break;
    default: break;
  }
  Check(found == expected);
  return 0;
}
