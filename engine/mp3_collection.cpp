#include "engine/mp3_collection.h"

#include <algorithm>

namespace kv {

TCustomStrFinder& ExcludeWords() {
  static TCustomStrFinder words;  // process-wide, filled at start-up
  return words;
}

void LoadExcludeWords(std::string_view fileText) {
  int32_t number = 0;
  size_t start = 0;
  while (start < fileText.size()) {
    size_t end = fileText.find('\n', start);
    if (end == std::string_view::npos) end = fileText.size();
    std::string_view line = fileText.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ExcludeWords().AddString(line, number++);
    start = end + 1;
  }
}

TMP3Collection::TMP3Collection(const TCustomStrFinder* excludeWords)
    : exclude_(excludeWords), index_(std::make_unique<WordIndex>(excludeWords)) {}

void TMP3Collection::Clear() {
  Modified = true;
  items_.clear();
  items_.shrink_to_fit();
  index_ = std::make_unique<WordIndex>(exclude_);
}

// The array grows in steps of kGrowBy records.
void TMP3Collection::Grow() {
  if (items_.size() == items_.capacity()) items_.reserve(items_.size() + kGrowBy);
}

void TMP3Collection::AddRecord(std::unique_ptr<TMP3Info> record, bool index) {
  Modified = true;
  Grow();
  if (index) AddSearchInfo(record->GetTagPart(kTagArtist), record->GetTagPart(kTagTitle), Count());
  items_.push_back(std::move(record));
}

void TMP3Collection::TakeUnindexedRecords(TMP3Collection& from) {
  Clear();
  items_.swap(from.items_);
}

TMP3Info& TMP3Collection::AddMp3Info(const TAudioInfo& source) {
  Modified = true;
  Grow();
  auto copy = std::make_unique<TMP3Info>();
  for (int slot : {kTagDisplayPath, kTagArtist, kTagTitle, kTagAlbum, kTagComment, kTagGenre}) {
    copy->SetTagPart(slot, source.GetTagPart(slot));
  }
  copy->SetTagPartInt(kTagYear, source.GetTagPartInt(kTagYear));
  copy->SetTagPartInt(kTagTrack, source.GetTagPartInt(kTagTrack));
  for (int slot = kInfoLength; slot <= kInfoFileSize; ++slot) copy->SetPart(slot, source.GetInfoPart(slot));
  copy->SetFileName(source.FileName());
  copy->SetWidePath(source.WidePath());
  AddSearchInfo(copy->GetTagPart(kTagArtist), copy->GetTagPart(kTagTitle), Count());
  items_.push_back(std::move(copy));
  return *items_.back();
}

void TMP3Collection::AddSearchInfo(std::string_view artist, std::string_view title, int32_t record) {
  if (IndexEnabled != 0) index_->AddSearchInfo(artist, title, record);
}

void TMP3Collection::FindSimilar(std::string_view artist, std::string_view title, std::vector<int32_t>& result) {
  if (IndexEnabled == 0) return;
  result = index_->FindSimilar(artist, title, ArtistBound, TitleBound, Combine);
}

int64_t TMP3Collection::GetTotalSize() const {
  int64_t total = 0;
  for (const auto& item : items_) total += static_cast<uint32_t>(item->GetInfoPart(kInfoFileSize));
  return total;
}

}  // namespace kv
