#include "engine/word_index.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <stdexcept>

namespace kv {

namespace {

bool IsWordByte(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 128;
}

}  // namespace

// Exact integer arithmetic: the product fits in 64 bits for any word count
// below 2^31, and p / 100 rounded half to even needs no floating point.
int32_t SimilarityBudget(int64_t word_count, int32_t bound) {
  const int64_t n = std::min<int64_t>(word_count, std::numeric_limits<int32_t>::max());
  const int64_t p = n * (int64_t{100} - bound);
  int64_t q = p / 100;
  const int64_t r = p % 100;  // same sign as p
  if (r > 50 || (r == 50 && q % 2 != 0)) ++q;
  if (r < -50 || (r == -50 && q % 2 != 0)) --q;
  const int64_t budget = q * 3;
  return static_cast<int32_t>(std::clamp<int64_t>(budget, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

std::vector<int32_t> GetWordsList(std::string_view text, TCustomStrFinder& words, const TCustomStrFinder* exclude) {
  std::vector<int32_t> numbers;
  size_t i = 0;
  while (i < text.size()) {
    if (!IsWordByte(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && IsWordByte(static_cast<unsigned char>(text[end]))) ++end;
    const std::string_view word = text.substr(i, end - i);
    i = end;
    if (exclude && exclude->Find(word) != TCustomStrFinder::kNoNode) continue;
    int32_t number = words.FindFirst(word);
    if (number < 0) {
      // Numbers start at 1: 0 ends a sequence in the index.
      const int32_t highest = std::max(words.HighestNumber(), 0);
      if (highest == std::numeric_limits<int32_t>::max()) throw std::length_error("word dictionary is full");
      number = highest + 1;
      words.AddString(word, number);
    }
    numbers.push_back(number);
  }
  return numbers;
}

WordIndex::WordIndex(const TCustomStrFinder* exclude_words) : exclude_(exclude_words) {}

void WordIndex::Clear() {
  artist_words_ = TCustomStrFinder();
  title_words_ = TCustomStrFinder();
  artist_index_ = TCustomIntArrFinder(kSubstituteCost, kInsertCost, kDeleteCost);
  title_index_ = TCustomIntArrFinder(kSubstituteCost, kInsertCost, kDeleteCost);
}

void WordIndex::AddSearchInfo(std::string_view artist, std::string_view title, int32_t record) {
  artist_index_.AddString(GetWordsList(artist, artist_words_, exclude_), record);
  title_index_.AddString(GetWordsList(title, title_words_, exclude_), record);
}

std::vector<int32_t> WordIndex::SearchSide(std::string_view text, int32_t bound, TCustomStrFinder& words,
                                           TCustomIntArrFinder& index) {
  const std::vector<int32_t> query = GetWordsList(text, words, exclude_);
  if (query.empty()) return {};
  index.FuzzySearch(query, SimilarityBudget(static_cast<int64_t>(query.size()), bound));
  std::vector<int32_t> found = index.GetResultArray();
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<int32_t> WordIndex::FindSimilar(std::string_view artist, std::string_view title, int32_t artist_bound,
                                            int32_t title_bound, uint8_t combine) {
  const auto mode = static_cast<Combine>(combine);
  std::vector<int32_t> artists, titles;
  if (mode == Combine::kArtist || mode == Combine::kArtistAndTitle || mode == Combine::kArtistOrTitle) {
    artists = SearchSide(artist, artist_bound, artist_words_, artist_index_);
  }
  if (mode == Combine::kTitle || mode == Combine::kArtistAndTitle || mode == Combine::kArtistOrTitle) {
    titles = SearchSide(title, title_bound, title_words_, title_index_);
  }
  std::vector<int32_t> out;
  switch (mode) {
    case Combine::kArtist:
      return artists;
    case Combine::kTitle:
      return titles;
    case Combine::kArtistAndTitle:
      std::set_intersection(artists.begin(), artists.end(), titles.begin(), titles.end(), std::back_inserter(out));
      return out;
    case Combine::kArtistOrTitle:
      std::set_union(artists.begin(), artists.end(), titles.begin(), titles.end(), std::back_inserter(out));
      out.erase(std::unique(out.begin(), out.end()), out.end());
      return out;
    case Combine::kNone:
    default:
      return out;
  }
}

}  // namespace kv
