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
int32_t SimilarityBudget(int64_t wordCount, int32_t bound) {
  const int64_t n = std::min<int64_t>(wordCount, std::numeric_limits<int32_t>::max());
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
    if (exclude && exclude->Contains(word)) continue;
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

WordIndex::WordIndex(const TCustomStrFinder* excludeWords) : exclude_(excludeWords) {}

void WordIndex::Clear() {
  artistWords_ = TCustomStrFinder();
  titleWords_ = TCustomStrFinder();
  artistIndex_ = TCustomIntArrFinder(kSubstituteCost, kInsertCost, kDeleteCost);
  titleIndex_ = TCustomIntArrFinder(kSubstituteCost, kInsertCost, kDeleteCost);
  artistEnd_.clear();
  titleEnd_.clear();
  recordsInOrder_ = true;
}

void WordIndex::AddSearchInfo(std::string_view artist, std::string_view title, int32_t record) {
  const std::vector<int32_t> artistWords = GetWordsList(artist, artistWords_, exclude_);
  const std::vector<int32_t> titleWords = GetWordsList(title, titleWords_, exclude_);
  const uint32_t artistEnd = artistIndex_.AddString(artistWords, record);
  const uint32_t titleEnd = titleIndex_.AddString(titleWords, record);
  if (recordsInOrder_ && record >= 0 && static_cast<size_t>(record) == artistEnd_.size()) {
    artistEnd_.push_back(artistEnd);
    titleEnd_.push_back(titleEnd);
  } else {
    recordsInOrder_ = false;
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
  if (recordsInOrder_) {
    const bool artistsFewer = artistIndex_.ResultCount() <= titleIndex_.ResultCount();
    const TCustomIntArrFinder& few = artistsFewer ? artistIndex_ : titleIndex_;
    const TCustomIntArrFinder& many = artistsFewer ? titleIndex_ : artistIndex_;
    const std::vector<uint32_t>& ends = artistsFewer ? titleEnd_ : artistEnd_;
    for (int32_t r : few.GetResultArray()) {
      if (many.Found(ends[static_cast<size_t>(r)])) out.push_back(r);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  std::vector<int32_t> artists = artistIndex_.GetResultArray(), titles = titleIndex_.GetResultArray();
  std::sort(artists.begin(), artists.end());
  std::sort(titles.begin(), titles.end());
  std::set_intersection(artists.begin(), artists.end(), titles.begin(), titles.end(), std::back_inserter(out));
  return out;
}

std::vector<int32_t> WordIndex::FindSimilar(std::string_view artist, std::string_view title, int32_t artistBound,
                                            int32_t titleBound, uint8_t combine) {
  const auto mode = static_cast<CombineMode>(combine);
  const bool both = mode == CombineMode::kArtistAndTitle || mode == CombineMode::kArtistOrTitle;
  bool haveArtists = false, haveTitles = false;
  if (mode == CombineMode::kArtist || both) {
    haveArtists = SearchSide(artist, artistBound, artistWords_, artistIndex_);
  }
  if (mode == CombineMode::kTitle || both) haveTitles = SearchSide(title, titleBound, titleWords_, titleIndex_);
  auto sorted = [](std::vector<int32_t> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  std::vector<int32_t> artists, titles, out;
  switch (mode) {
    case CombineMode::kArtist:
      return haveArtists ? sorted(artistIndex_.GetResultArray()) : out;
    case CombineMode::kTitle:
      return haveTitles ? sorted(titleIndex_.GetResultArray()) : out;
    case CombineMode::kArtistAndTitle:
      return haveArtists && haveTitles ? BothSides() : out;
    case CombineMode::kArtistOrTitle:
      if (haveArtists) artists = sorted(artistIndex_.GetResultArray());
      if (haveTitles) titles = sorted(titleIndex_.GetResultArray());
      std::set_union(artists.begin(), artists.end(), titles.begin(), titles.end(), std::back_inserter(out));
      out.erase(std::unique(out.begin(), out.end()), out.end());
      return out;
    case CombineMode::kNone:
    default:
      return out;
  }
}

}  // namespace kv
