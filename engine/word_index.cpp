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
  artist_end_.clear();
  title_end_.clear();
  records_in_order_ = true;
}

void WordIndex::AddSearchInfo(std::string_view artist, std::string_view title, int32_t record) {
  const std::vector<int32_t> artist_words = GetWordsList(artist, artist_words_, exclude_);
  const std::vector<int32_t> title_words = GetWordsList(title, title_words_, exclude_);
  const uint32_t artist_end = artist_index_.AddString(artist_words, record);
  const uint32_t title_end = title_index_.AddString(title_words, record);
  if (records_in_order_ && record >= 0 && static_cast<size_t>(record) == artist_end_.size()) {
    artist_end_.push_back(artist_end);
    title_end_.push_back(title_end);
  } else {
    records_in_order_ = false;
  }
}

bool WordIndex::SearchSide(std::string_view text, int32_t bound, TCustomStrFinder& words,
                           TCustomIntArrFinder& index) {
  const std::vector<int32_t> query = GetWordsList(text, words, exclude_);
  if (query.empty()) return false;
  index.FuzzySearch(query, SimilarityBudget(static_cast<int64_t>(query.size()), bound));
  return true;
}

std::vector<int32_t> WordIndex::BothSides() const {
  std::vector<int32_t> out;
  if (records_in_order_) {
    const bool artists_fewer = artist_index_.ResultCount() <= title_index_.ResultCount();
    const TCustomIntArrFinder& few = artists_fewer ? artist_index_ : title_index_;
    const TCustomIntArrFinder& many = artists_fewer ? title_index_ : artist_index_;
    const std::vector<uint32_t>& ends = artists_fewer ? title_end_ : artist_end_;
    for (int32_t r : few.GetResultArray()) {
      if (many.Found(ends[static_cast<size_t>(r)])) out.push_back(r);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  std::vector<int32_t> artists = artist_index_.GetResultArray(), titles = title_index_.GetResultArray();
  std::sort(artists.begin(), artists.end());
  std::sort(titles.begin(), titles.end());
  std::set_intersection(artists.begin(), artists.end(), titles.begin(), titles.end(), std::back_inserter(out));
  return out;
}

std::vector<int32_t> WordIndex::FindSimilar(std::string_view artist, std::string_view title, int32_t artist_bound,
                                            int32_t title_bound, uint8_t combine) {
  const auto mode = static_cast<CombineMode>(combine);
  const bool both = mode == CombineMode::kArtistAndTitle || mode == CombineMode::kArtistOrTitle;
  bool have_artists = false, have_titles = false;
  if (mode == CombineMode::kArtist || both) {
    have_artists = SearchSide(artist, artist_bound, artist_words_, artist_index_);
  }
  if (mode == CombineMode::kTitle || both) have_titles = SearchSide(title, title_bound, title_words_, title_index_);
  auto sorted = [](std::vector<int32_t> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  std::vector<int32_t> artists, titles, out;
  switch (mode) {
    case CombineMode::kArtist:
      return have_artists ? sorted(artist_index_.GetResultArray()) : out;
    case CombineMode::kTitle:
      return have_titles ? sorted(title_index_.GetResultArray()) : out;
    case CombineMode::kArtistAndTitle:
      return have_artists && have_titles ? BothSides() : out;
    case CombineMode::kArtistOrTitle:
      if (have_artists) artists = sorted(artist_index_.GetResultArray());
      if (have_titles) titles = sorted(title_index_.GetResultArray());
      std::set_union(artists.begin(), artists.end(), titles.begin(), titles.end(), std::back_inserter(out));
      out.erase(std::unique(out.begin(), out.end()), out.end());
      return out;
    case CombineMode::kNone:
    default:
      return out;
  }
}

}  // namespace kv
