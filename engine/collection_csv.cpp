#include "engine/collection_csv.h"

#include <algorithm>
#include <cstring>

#include "base/ansi_text.h"
#include "foundation/translate.h"

namespace kv {
namespace {

bool ExactlyAnsi(std::u16string_view text) { return AnsiToWide(WideToAnsi(text)) == text; }

std::string AnsiToUtf8(std::string_view text) { return WideToUtf8(AnsiToWide(text)); }

// Writes the UTF-8 form: the mark before the text.
class MarkedStorage : public TCsvStorage {
 public:
  explicit MarkedStorage(TCsvStorage& inner) : inner_(inner) {}
  std::unique_ptr<TCsvSource> OpenRead(const std::string& path) override { return inner_.OpenRead(path); }
  void Save(const std::string& path, std::string_view text) override {
    inner_.Save(path, std::string(kUtf8Bom) + std::string(text));
  }

 private:
  TCsvStorage& inner_;
};

// Reads past a leading byte-order mark and tells whether there was one.
class MarkSkippingSource : public TCsvSource {
 public:
  MarkSkippingSource(std::unique_ptr<TCsvSource> inner, bool& marked) : inner_(std::move(inner)), marked_(marked) {}
  size_t Read(char* buffer, size_t size) override {
    if (!started_) {
      started_ = true;
      const size_t markSize = std::strlen(kUtf8Bom);
      while (head_.size() < markSize) {
        char piece[3];
        const size_t got = inner_->Read(piece, markSize - head_.size());
        if (got == 0) break;
        head_.append(piece, got);
      }
      marked_ = head_ == kUtf8Bom;
      if (marked_) head_.clear();
    }
    if (!head_.empty()) {
      const size_t n = std::min(size, head_.size());
      std::memcpy(buffer, head_.data(), n);
      head_.erase(0, n);
      return n;
    }
    return inner_->Read(buffer, size);
  }

 private:
  std::unique_ptr<TCsvSource> inner_;
  bool& marked_;
  bool started_ = false;
  std::string head_;  // bytes read ahead that are not the mark
};

class MarkReadingStorage : public TCsvStorage {
 public:
  explicit MarkReadingStorage(TCsvStorage& inner) : inner_(inner) {}
  std::unique_ptr<TCsvSource> OpenRead(const std::string& path) override {
    std::unique_ptr<TCsvSource> source = inner_.OpenRead(path);
    if (!source) return nullptr;
    return std::make_unique<MarkSkippingSource>(std::move(source), marked);
  }
  void Save(const std::string& path, std::string_view text) override { inner_.Save(path, text); }
  bool marked = false;

 private:
  TCsvStorage& inner_;
};

// What a loaded row costs besides its texts: the record, its stream
// integers, its share of the record array (which grows by half, so that 2.5
// pointers a row are held while it is copied) and the allocator's own share.
constexpr uint64_t kRowMemory = sizeof(TMP3Info) + 96;
// A text byte is kept at most four times: the access path is also the
// display path and the wide path, of two bytes a character.
constexpr uint64_t kTextCopies = 4;

// Reads the list's lines as the load will: the rows and their bytes up to
// the end, to the first line too long to load (the load stops there) or to
// the first row that takes the estimate past the bound. The estimate of them.
uint64_t MeasureList(std::unique_ptr<TCsvSource> source, uint64_t bound) {
  TCsvLineReader reader(std::move(source));
  std::string line;
  bool tooLong = false;
  uint64_t rows = 0, bytes = 0;
  // The first line is the header; a header too long fails the table's Open.
  if (!reader.Next(line, tooLong, TCsvDataSet::kMaxLineLength, false) || tooLong) return 0;
  while (ListLoadMemory(rows, bytes) <= bound && reader.Next(line, tooLong, TCsvDataSet::kMaxLineLength, false) &&
         !tooLong) {
    ++rows;
    bytes += line.size();
  }
  return ListLoadMemory(rows, bytes);
}

// Raised when the rows would take more than the bound: the load is given up
// whole and the collection keeps what it held.
class EListTooLarge : public EDatabaseError {
 public:
  EListTooLarge(const std::string& path, uint64_t bound)
      : EDatabaseError(Translate(
            "The result list \"$1\" is too large to load: its rows would take more than $2 MB of memory",
            path + "\r\n" + std::to_string((bound + (1 << 20) - 1) >> 20))) {}
};

// What a row's long forms hold beyond what the estimate counted for them:
// it counted the access path's bytes again for the display path and for the
// wide path, and a long form of short (8.3) names is longer than that.
uint64_t LongFormGrowth(const TMP3Info& r) {
  const uint64_t counted = (kTextCopies - 1) * r.FileName().size();
  const uint64_t held = r.GetTagPart(kTagDisplayPath).size() + sizeof(char16_t) * r.WidePath().size();
  return held > counted ? held - counted : 0;
}

}  // namespace

uint64_t ListLoadMemory(uint64_t rows, uint64_t bytes) { return rows * kRowMemory + bytes * kTextCopies; }

void SaveCollectionToCSV(TMP3Collection& collection, const std::string& path, TCsvStorage& storage,
                         TSaveProgress* progress) {
  if (progress) progress->Start(Translate("Saving collection") + "...", "Cancel");

  // The table starts from the header alone and is written once, at Close:
  // until then the previous list stays on disk untouched.
  const int32_t count = collection.Count();
  bool utf8 = false;
  for (int32_t i = 0; i < count && !utf8; ++i) utf8 = !ExactlyAnsi(collection.Items(i).FilePath());
  MarkedStorage marked(storage);
  TCsvDataSet table(utf8 ? static_cast<TCsvStorage&>(marked) : storage);
  table.SetTableName(path);
  table.CreateTable(kCsvHeader);
  const auto text = [utf8](const std::string& ansi) { return utf8 ? AnsiToUtf8(ansi) : ansi; };
  for (int32_t i = 0; i < count; ++i) {
    if (progress) {
      if (progress->Stopped()) break;
      progress->SetLabel(Translate("Saving composition") + " #" + std::to_string(i) + " / " + std::to_string(count));
      progress->SetProgress(static_cast<int>(int64_t{i} * 100 / count));
      progress->Refresh();
    }
    const TMP3Info& r = collection.Items(i);
    table.Append();
    table.FieldByName("Tag").SetAsInteger(r.Tag);
    table.FieldByName("Artist").SetAsString(text(r.GetTagPart(kTagArtist)));
    table.FieldByName("Title").SetAsString(text(r.GetTagPart(kTagTitle)));
    table.FieldByName("File").SetAsString(utf8 ? WideToUtf8(r.FilePath()) : r.FileName());
    table.FieldByName("Album").SetAsString(text(r.GetTagPart(kTagAlbum)));
    table.FieldByName("Comment").SetAsString(text(r.GetTagPart(kTagComment)));
    table.FieldByName("Year").SetAsInteger(r.GetTagPartInt(kTagYear));
    table.FieldByName("TrackNo").SetAsInteger(r.GetTagPartInt(kTagTrack));
    table.FieldByName("Time").SetAsInteger(r.GetInfoPart(kInfoLength));
    table.FieldByName("Sample").SetAsInteger(r.GetInfoPart(kInfoSampleRate));
    table.FieldByName("Bitrate").SetAsInteger(r.GetInfoPart(kInfoBitRate));
    table.FieldByName("Channels").SetAsInteger(r.GetInfoPart(kInfoChannels) & 0x7F);
    table.FieldByName("FileSize").SetAsInteger(r.GetInfoPart(kInfoFileSize));
    table.Post();
  }
  // A cancelled save keeps the previous list whole, and the collection
  // counts as saved only once its file is in place.
  const bool stopped = progress && progress->Stopped();
  if (stopped) table.SetReadOnly(true);
  try {
    table.Close();
  } catch (...) {
    if (progress) progress->Finish();
    throw;
  }
  if (progress) progress->Finish();
  if (stopped) return;
  collection.FileName = path;
  collection.Modified = false;
}

void LoadCollectionFromCSV(TMP3Collection& collection, const std::string& path, TCsvStorage& storage,
                           const TLongPathFn& longPath, const TWideLongPathFn& wideLongPath, uint64_t memoryBound) {
  if (path.empty()) return;
  // Measured before a record is made: a list too large for memory is refused
  // while the collection is untouched.
  std::unique_ptr<TCsvSource> measured = storage.OpenRead(path);
  if (!measured) return;  // no such file: nothing to load
  // The long forms looked up below add to it as the rows are made.
  uint64_t memory = MeasureList(std::move(measured), memoryBound);
  if (memory > memoryBound) throw EListTooLarge(path, memoryBound);
  MarkReadingStorage reading(storage);
  TCsvDataSet table(reading);
  table.SetTableName(path);
  table.SetReadOnly(true);
  table.SetUniDirectional(true);  // rows are read as they are taken: memory is the records kept
  try {
    table.Open();
  } catch (const EDatabaseFileMissing&) {
    return;  // no such file: nothing to load
  } catch (const EDatabaseReadError&) {
    throw;  // it names the file and the cause; the list itself may be sound
  } catch (const EDatabaseError& e) {
    throw EDatabaseError(Translate("The result list \"$1\" is damaged: $2", path + "\r\n" + e.what()));
  }
  // The rows are made aside and taken over at the end, so that a list
  // refused part-way leaves the collection as it was.
  TMP3Collection loaded;
  loaded.IndexEnabled = 0;
  const auto takeOver = [&] {
    collection.FileName = path;
    collection.TakeUnindexedRecords(loaded);
  };
  const bool utf8 = reading.marked;
  const auto text = [utf8](const std::string& stored) { return utf8 ? Utf8ToAnsi(stored) : stored; };
  try {
    for (table.First(); !table.Eof(); table.Next()) {
      auto r = std::make_unique<TMP3Info>();
      r->SetTagPart(kTagArtist, text(table.FieldByName("Artist").AsString()));
      r->SetTagPart(kTagTitle, text(table.FieldByName("Title").AsString()));
      if (utf8) {
        std::u16string wide = Utf8ToWide(table.FieldByName("File").AsString());
        r->SetFileName(MarkedAnsi(wide));
        r->SetTagPart(kTagDisplayPath, WideToAnsi(wide));
        r->SetWidePath(std::move(wide));
      } else {
        r->SetFileName(table.FieldByName("File").AsString());
        if (longPath) r->SetTagPart(kTagDisplayPath, longPath(r->FileName()));
        if (r->GetTagPart(kTagDisplayPath).empty()) r->SetTagPart(kTagDisplayPath, r->FileName());
        std::u16string wide = wideLongPath ? wideLongPath(r->FileName()) : std::u16string();
        r->SetWidePath(wide.empty() ? AnsiToWide(r->FileName()) : std::move(wide));
        memory += LongFormGrowth(*r);
        if (memory > memoryBound) throw EListTooLarge(path, memoryBound);
      }
      r->SetTagPart(kTagAlbum, text(table.FieldByName("Album").AsString()));
      r->SetTagPart(kTagComment, text(table.FieldByName("Comment").AsString()));
      r->SetTagPartInt(kTagYear, table.FieldByName("Year").AsInteger());
      r->SetTagPartInt(kTagTrack, table.FieldByName("TrackNo").AsInteger());
      r->SetPart(kInfoLength, table.FieldByName("Time").AsInteger());
      r->SetPart(kInfoSampleRate, table.FieldByName("Sample").AsInteger());
      r->SetPart(kInfoBitRate, table.FieldByName("Bitrate").AsInteger());
      r->SetPart(kInfoChannels, table.FieldByName("Channels").AsInteger());
      if (TCsvField* size = table.FindField("FileSize")) {
        try {
          r->SetPart(kInfoFileSize, size->AsInteger());
        } catch (const EDatabaseError&) {
          // A size that is not a number is ignored: the size stays 0.
        }
      }
      r->Tag = table.FieldByName("Tag").AsInteger();
      loaded.AddRecord(std::move(r), /*index=*/false);
    }
  } catch (const EListTooLarge&) {
    throw;
  } catch (const EDatabaseReadError&) {
    takeOver();  // the rows read before stay
    throw;
  } catch (const EDatabaseError&) {
    takeOver();  // the rows read before stay; the data set's own error goes on
    throw;
  }
  takeOver();
  collection.Modified = false;
}

}  // namespace kv
