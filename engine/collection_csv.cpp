#include "engine/collection_csv.h"

#include "foundation/translate.h"

namespace kv {

void TThrottledProgress::Start(const std::string& caption, const std::string& stopCaption) {
  refreshed_ = pending_ = false;
  shown_.Start(caption, stopCaption);
}

void TThrottledProgress::SetLabel(const std::string& text) {
  shown_.SetLabel(text);
  pending_ = true;
}

void TThrottledProgress::SetProgress(int percent) {
  shown_.SetProgress(percent);
  pending_ = true;
}

void TThrottledProgress::Refresh() {
  const uint64_t now = clock_();
  if (refreshed_ && now - last_ < kIntervalMs) return;
  shown_.Refresh();
  last_ = now;
  refreshed_ = true;
  pending_ = false;
}

void TThrottledProgress::Finish() {
  if (pending_) shown_.Refresh();
  pending_ = false;
  shown_.Finish();
}

void SaveCollectionToCSV(TMP3Collection& collection, const std::string& path, TCsvStorage& storage,
                         TSaveProgress* progress) {
  if (progress) progress->Start(Translate("Saving collection") + "...", Translate("Cancel"));

  // The table starts from the header alone and is written once, at Close:
  // until then the previous list stays on disk untouched.
  TCsvDataSet table(storage);
  table.SetTableName(path);
  table.CreateTable(kCsvHeader);
  const int32_t count = collection.Count();
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
    table.FieldByName("Artist").SetAsString(r.GetTagPart(kTagArtist));
    table.FieldByName("Title").SetAsString(r.GetTagPart(kTagTitle));
    table.FieldByName("File").SetAsString(r.FileName());
    table.FieldByName("Album").SetAsString(r.GetTagPart(kTagAlbum));
    table.FieldByName("Comment").SetAsString(r.GetTagPart(kTagComment));
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
                           const TLongPathFn& longPath) {
  if (path.empty()) return;
  TCsvDataSet table(storage);
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
  collection.FileName = path;
  collection.Clear();
  int row = 1;
  try {
    for (table.First(); !table.Eof(); table.Next(), ++row) {
      auto r = std::make_unique<TMP3Info>();
      r->SetTagPart(kTagArtist, table.FieldByName("Artist").AsString());
      r->SetTagPart(kTagTitle, table.FieldByName("Title").AsString());
      r->SetFileName(table.FieldByName("File").AsString());
      if (longPath) r->SetTagPart(kTagDisplayPath, longPath(r->FileName()));
      if (r->GetTagPart(kTagDisplayPath).empty()) r->SetTagPart(kTagDisplayPath, r->FileName());
      r->SetTagPart(kTagAlbum, table.FieldByName("Album").AsString());
      r->SetTagPart(kTagComment, table.FieldByName("Comment").AsString());
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
      collection.AddRecord(std::move(r), /*index=*/false);
    }
  } catch (const EDatabaseReadError&) {
    throw;
  } catch (const EDatabaseError& e) {
    throw EDatabaseError(Translate("The result list \"$1\" is damaged (row $2): $3",
                                   path + "\r\n" + std::to_string(row) + "\r\n" + e.what()));
  }
  collection.Modified = false;
}

}  // namespace kv
