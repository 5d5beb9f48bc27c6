#include "wizard/duplicate_search.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "base/ansi_text.h"
#include "base/scope_guard.h"
#include "engine/word_index.h"

namespace kv {

std::string FoldPathCase(std::string_view path) {
  std::string folded(path);
  for (char& c : folded) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 'a' && b <= 'z')
      c = static_cast<char>(b - 32);
    else if (b >= 0xE0 && b <= 0xFE && b != 0xF7)  // the accented small letters of 1252
      c = static_cast<char>(b - 32);
    else if (b == 0x9A || b == 0x9C || b == 0x9E)  // š œ ž
      c = static_cast<char>(b - 16);
    else if (b == 0xFF)  // ÿ
      c = static_cast<char>(0x9F);
  }
  return folded;
}

namespace {

using CandidateList = std::shared_ptr<const std::vector<int32_t>>;

// One record being grown from: its candidates and the next one to look at.
// A frame below the top may have let its list go to bound the walk's memory
// (found null); it searches again when the walk comes back to it.
struct Frame {
  int32_t record;
  CandidateList found;
  size_t next;
  bool owns;  // found was searched for this frame, not taken from the one below
};

// The candidate entries the frames may hold at once, beyond which the frames
// below the top let their own lists go: a long chain of records with
// different texts would otherwise hold a list per member, the square of the
// group's size.
size_t CandidateBudget(int32_t count) { return 2 * static_cast<size_t>(count) + 65536; }

// Which file a record stands for. The wide path tells files apart whose
// access paths mark the same letters the code page lacks; it folds ASCII
// letters only (a byte fold of UTF-8 would join different letters). Its
// mark keeps it apart from the access-path keys.
std::string FileKey(const TMP3Info& record) {
  if (record.WidePath().empty()) return FoldPathCase(record.FileName());
  std::string key = "\x01" + WideToUtf8(record.WidePath());
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return key;
}

class Grouping {
 public:
  Grouping(TMP3Collection& collection, const TCompareEvents& events) : c_(collection), events_(events) {
    const int32_t count = c_.Count();
    fileOf_.resize(static_cast<size_t>(count));
    joined_.assign(static_cast<size_t>(count), 0);
    std::unordered_map<std::string, int32_t> files;
    files.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
      fileOf_[static_cast<size_t>(i)] = files.emplace(FileKey(c_.Items(i)), i).first->second;
  }

  // False when stopped.
  bool Run(TMP3Collection& results) {
    int32_t groupNo = 0;
    for (int32_t i = 0; i < c_.Count(); ++i) {
      if (Taken(i)) continue;
      group_.assign(1, i);
      Joined(i) = 1;
      Grow(i);
      if (stopped_ || IsCancelled()) return false;
      if (group_.size() < 2) {
        Joined(i) = 0;  // searched alone: it may still join a later group
        continue;
      }
      ++groupNo;
      for (int32_t member : group_) results.AddMp3Info(c_.Items(member)).Tag = groupNo;
    }
    return true;
  }

 private:
  uint8_t& Joined(int32_t record) { return joined_[static_cast<size_t>(fileOf_[static_cast<size_t>(record)])]; }
  bool SameFile(int32_t a, int32_t b) const {
    return fileOf_[static_cast<size_t>(a)] == fileOf_[static_cast<size_t>(b)];
  }
  bool Taken(int32_t record) { return c_.Items(record).Tag == kGroupedMark || Joined(record); }
  bool IsCancelled() const { return events_.Cancelled && events_.Cancelled(); }

  // Whether candidate k may join through the record r that found it.
  bool Passes(int32_t k, int32_t r) {
    const TMP3Info& rec = c_.Items(r);
    const TMP3Info& cand = c_.Items(k);
    if (c_.TimeDifference >= 0 &&
        std::llabs(static_cast<long long>(cand.GetInfoPart(kInfoLength)) - rec.GetInfoPart(kInfoLength)) >
            c_.TimeDifference)
      return false;
    if (c_.CheckAlbums != 0 && cand.GetTagPart(kTagAlbum) != rec.GetTagPart(kTagAlbum)) return false;
    return true;
  }

  // Whether records a and b give the same search, as far as the texts the
  // combination reads are equal.
  bool SameSearch(int32_t a, int32_t b) {
    const TMP3Info& x = c_.Items(a);
    const TMP3Info& y = c_.Items(b);
    const bool artists = c_.Combine != static_cast<uint8_t>(CombineMode::kTitle);
    const bool titles = c_.Combine != static_cast<uint8_t>(CombineMode::kArtist);
    return (!artists || x.GetTagPart(kTagArtist) == y.GetTagPart(kTagArtist)) &&
           (!titles || x.GetTagPart(kTagTitle) == y.GetTagPart(kTagTitle));
  }

  CandidateList Search(int32_t r) {
    const TMP3Info& rec = c_.Items(r);
    auto list = std::make_shared<std::vector<int32_t>>();
    c_.FindSimilar(rec.GetTagPart(kTagArtist), rec.GetTagPart(kTagTitle), *list);
    return list;
  }

  // Searches record r; when it finds others, marks it and pushes its frame.
  // parent: the frame r was found from (its list is shared when the texts
  // the search reads are the same, as the search would give the same list).
  void Enter(int32_t r, const Frame* parent) {
    TMP3Info& rec = c_.Items(r);
    if (rec.Tag == kGroupedMark) return;
    if (events_.OnSearch) events_.OnSearch(searched_, rec);
    ++searched_;
    const bool shared = parent && parent->found && SameSearch(parent->record, r);
    CandidateList found = shared ? parent->found : Search(r);
    if (found->size() < 2) return;
    rec.Tag = kGroupedMark;
    if (!shared) held_ += found->size();
    stack_.push_back(Frame{r, std::move(found), 0, !shared});
    if (held_ > budget_) LetListsGo();
  }

  // Every frame below the top lets its list go, but for the frames sharing
  // the top's list (its owner stays the lowest of them); they search again
  // when the walk returns to them.
  void LetListsGo() {
    const CandidateList& kept = stack_.back().found;
    for (size_t i = 0; i + 1 < stack_.size(); ++i) {
      Frame& f = stack_[i];
      if (!f.found || f.found == kept) continue;
      f.found.reset();
      f.owns = false;
    }
    held_ = kept->size();
  }

  void Grow(int32_t first) {
    stack_.clear();
    held_ = 0;
    Enter(first, nullptr);
    while (!stack_.empty()) {
      Frame& top = stack_.back();
      if (!top.found) {  // the search gives the same list as when the frame was made
        top.found = Search(top.record);
        top.owns = true;
        held_ += top.found->size();
      }
      if (top.next >= top.found->size()) {
        if (top.owns) held_ -= std::min(held_, top.found->size());
        stack_.pop_back();
        continue;
      }
      const int32_t k = (*top.found)[top.next++];
      if (k < 0 || k >= c_.Count() || SameFile(k, top.record)) continue;
      if (!Taken(k) && Passes(k, top.record)) {
        group_.push_back(k);
        Joined(k) = 1;
        const Frame parent = top;  // Enter may move the stack
        Enter(k, &parent);
      }
      if (IsCancelled()) {
        stopped_ = true;
        stack_.clear();
        return;
      }
    }
  }

  TMP3Collection& c_;
  const TCompareEvents& events_;
  std::vector<int32_t> fileOf_;  // record -> the first record of the same file
  std::vector<uint8_t> joined_;  // by that first record: the file is in a group
  std::vector<int32_t> group_;
  std::vector<Frame> stack_;
  size_t held_ = 0;  // candidate entries of the lists the frames own
  size_t budget_ = CandidateBudget(c_.Count());
  int32_t searched_ = 0;
  bool stopped_ = false;
};

}  // namespace

std::unique_ptr<TMP3Collection> CompareCollection(TMP3Collection& collection, bool duplicatesOnly,
                                                  const TCompareEvents& events) {
  const int32_t artistBound = collection.ArtistBound, titleBound = collection.TitleBound;
  const uint8_t combine = collection.Combine;
  ScopeGuard restore([&] {
    collection.ArtistBound = artistBound;
    collection.TitleBound = titleBound;
    collection.Combine = combine;
  });
  if (duplicatesOnly) {
    collection.ArtistBound = 100;
    collection.TitleBound = 100;
    collection.Combine = 3;
  }
  auto results = std::make_unique<TMP3Collection>();
  results->IndexEnabled = 0;
  Grouping grouping(collection, events);
  // A stopped comparison leaves the marks as they are: the next search
  // scans the collection anew.
  if (!grouping.Run(*results)) return nullptr;
  for (int32_t i = 0; i < collection.Count(); ++i) collection.Items(i).Tag = 0;
  return results;
}

}  // namespace kv
