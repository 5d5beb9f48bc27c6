#pragma once
// The word indexes of a collection: artist and title texts cut into words,
// numbered per side, stored as sequences under their record numbers, and the
// similarity query that turns per-cent bounds into error budgets and combines
// the artist and title candidates. The collection owns one instance; it also
// owns the exclude-words dictionary, which must outlive the index.
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/word_search.h"

namespace kv {

// How a query combines the artist and title candidates.
enum class CombineMode : uint8_t { kNone = 0, kArtist = 1, kTitle = 2, kArtistAndTitle = 3, kArtistOrTitle = 4 };

// The error budget for a text of wordCount words at bound per cent:
// Round(wordCount x (100 - bound) / 100) x 3, halves to the even neighbour,
// limited to the 32-bit range.
int32_t SimilarityBudget(int64_t wordCount, int32_t bound);

// The word numbers of text in `words`, in text order, leaving out the words
// of `exclude` (may be null). A word is a maximal run of ASCII letters and
// digits and bytes 128-255; a word new to `words` is added with the highest
// number so far plus one (the first word gets 1).
std::vector<int32_t> GetWordsList(std::string_view text, TCustomStrFinder& words, const TCustomStrFinder* exclude);

class WordIndex {
 public:
  // excludeWords: the exclude-words dictionary, or null for none.
  explicit WordIndex(const TCustomStrFinder* excludeWords = nullptr);

  // Forgets every word and sequence; the exclude words stay.
  void Clear();
  // Indexes the artist and title of one record.
  void AddSearchInfo(std::string_view artist, std::string_view title, int32_t record);
  // The records similar to artist/title within the bounds (per cent), combined
  // by `combine` (a CombineMode value; others give nothing), ascending. Words of
  // the query that were never indexed are numbered as a side effect.
  std::vector<int32_t> FindSimilar(std::string_view artist, std::string_view title, int32_t artistBound,
                                   int32_t titleBound, uint8_t combine);

  TCustomStrFinder& ArtistWords() { return artistWords_; }
  TCustomStrFinder& TitleWords() { return titleWords_; }
  const TCustomIntArrFinder& ArtistIndex() const { return artistIndex_; }
  const TCustomIntArrFinder& TitleIndex() const { return titleIndex_; }

 private:
  // Costs of the collection's tries: substitution, extra stored word, extra
  // query word.
  static constexpr int32_t kSubstituteCost = 4, kInsertCost = 3, kDeleteCost = 3;

  // Runs one side's search; false (and no search) when the text has no words.
  bool SearchSide(std::string_view text, int32_t bound, TCustomStrFinder& words, TCustomIntArrFinder& index);
  std::vector<int32_t> BothSides() const;

  const TCustomStrFinder* exclude_;
  // End node of each record's artist and title, while records arrive as
  // 0, 1, 2, ... (as a collection adds them); then an intersection need only
  // look up the smaller side's records in the larger side's search.
  std::vector<uint32_t> artistEnd_, titleEnd_;
  bool recordsInOrder_ = true;
  TCustomStrFinder artistWords_, titleWords_;
  TCustomIntArrFinder artistIndex_{kSubstituteCost, kInsertCost, kDeleteCost};
  TCustomIntArrFinder titleIndex_{kSubstituteCost, kInsertCost, kDeleteCost};
};

}  // namespace kv
