#pragma once
// The music collection: the ordered records, the word indexes of their
// artists and titles, and the similarity settings. The wizard keeps two: the
// scan collection (filled by a disk scan, indexed) and the result collection
// (copies of grouped records, not indexed). The disk scan and the result list
// file live in mp3_collection_win.cpp.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/audio_info.h"
#include "engine/word_index.h"

namespace kv {

class TMP3Collection;
class TScanEnvironment;

// Scan events: sender, path (ANSI), and a flag the handler sets to stop the scan.
using TScanEvent = std::function<void(TMP3Collection& sender, const std::string& path, bool& cancel)>;

// The same with the entry's full wide path (what the progress page shows).
using TScanFileEvent = std::function<void(TMP3Collection& sender, const std::u16string& path, bool& cancel)>;

// The process-wide exclude-words dictionary (case-insensitive).
TCustomStrFinder& ExcludeWords();
// Fills it from the text of "excludewords.txt": line i (from 0) is word i, taken as it stands.
void LoadExcludeWords(std::string_view fileText);

class TMP3Collection {
 public:
  // The growth step of the record array.
  static constexpr size_t kGrowBy = 1000;

  explicit TMP3Collection(const TCustomStrFinder* excludeWords = &ExcludeWords());
  TMP3Collection(const TMP3Collection&) = delete;
  TMP3Collection& operator=(const TMP3Collection&) = delete;

  // Similarity settings (a new collection: combine 3, everything else 0).
  int32_t ArtistBound = 0;     // per cent
  int32_t TitleBound = 0;      // per cent
  int32_t TimeDifference = 0;  // seconds; negative: not checked
  int32_t CheckAlbums = 0;     // non-zero: equal albums only
  uint8_t Combine = 3;         // 0 none, 1 artist, 2 title, 3 artist and title, 4 artist or title
  uint8_t IndexEnabled = 1;    // 0: nothing indexed, FindSimilar does nothing

  std::string FileName;   // the result list last saved to or loaded from
  bool Modified = false;  // records changed since the last save

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TMP3Info& Items(int32_t index) { return *items_.at(static_cast<size_t>(index)); }
  const TMP3Info& Items(int32_t index) const { return *items_.at(static_cast<size_t>(index)); }

  // Empties records and indexes; the settings stay.
  void Clear();
  // Appends a record read by the caller and, unless told not to, indexes
  // its artist and title.
  void AddRecord(std::unique_ptr<TMP3Info> record, bool index = true);
  // Empties the collection (as Clear) and takes over the records of `from`,
  // which is left empty. For unindexed records only: none of them is indexed here.
  void TakeUnindexedRecords(TMP3Collection& from);
  // Appends a copy of the record's texts (year and track as numbers), stream
  // integers 0-4 and access path; Tag is left 0 for the caller.
  TMP3Info& AddMp3Info(const TAudioInfo& record);
  // Indexes the two texts for that record (only while IndexEnabled).
  void AddSearchInfo(std::string_view artist, std::string_view title, int32_t record);
  // The candidates for artist/title under the settings, ascending. With
  // IndexEnabled 0 the result is left as it was.
  void FindSimilar(std::string_view artist, std::string_view title, std::vector<int32_t>& result);
  // Sum of every record's file size (64-bit: a collection passes 2 GiB easily).
  int64_t GetTotalSize() const;

  // Disk scan (Win32): one path, or every fixed and network drive when empty.
  void ScanDisks(const std::string& path, const TScanEvent& onDir, const TScanEvent& onFile);
  // The same through the given view of the system (benchmarks, tests).
  void ScanDisks(const std::string& path, const TScanEvent& onDir, const TScanEvent& onFile, TScanEnvironment& env);
  // Scans the folder or file at the wide path (every fixed and network
  // drive when empty); onFile sees every entry by its wide path.
  void ScanDisks(const std::u16string& path, const TScanFileEvent& onFile);
  void ScanDisks(const std::u16string& path, const TScanFileEvent& onFile, TScanEnvironment& env);
  // The result list file (Win32; collection_csv.h has the byte-level halves).
  // Saving shows a cancellable progress window; a cancelled or failed save
  // leaves the previous file, FileName and Modified as they were. Loading a
  // missing file does nothing; an unreadable one raises EDatabaseReadError,
  // a damaged one or one too large for memory EDatabaseError.
  void SaveToCSV(const std::string& path);
  void LoadFromCSV(const std::string& path);

  WordIndex& Index() { return *index_; }

 private:
  void Grow();

  const TCustomStrFinder* exclude_;
  std::vector<std::unique_ptr<TMP3Info>> items_;
  std::unique_ptr<WordIndex> index_;
};

}  // namespace kv
