#include "engine/collection_csv.h"

#include <gtest/gtest.h>

#include "base/ansi_text.h"
#include "base/strings.h"
#include "foundation/md5.h"
#include "foundation/translate.h"
#include "tests/engine/csv_test_util.h"
#include "tests/support/allocation_meter.h"

#include <map>

namespace kv {
namespace {

class RecordingProgress : public TSaveProgress {
 public:
  void Start(const std::string& text, const std::string& stop) override {
    caption = text;
    stopCaption = stop;
  }
  void SetLabel(const std::string& text) override { labels.push_back(text); }
  void SetProgress(int percent) override { percents.push_back(percent); }
  void Refresh() override {
    shownLabels.push_back(labels.empty() ? std::string() : labels.back());
    if (++refreshes == stopAfter) stopped = true;
  }
  bool Stopped() const override { return stopped; }
  void Finish() override { finished = true; }

  std::string caption, stopCaption;
  std::vector<std::string> labels;
  std::vector<int> percents;
  std::vector<std::string> shownLabels;  // the label at each refresh
  int refreshes = 0, stopAfter = -1;
  bool stopped = false, finished = false;
};

void AddRecord(TMP3Collection& c, const std::string& artist, const std::string& title, int32_t tag) {
  TAudioInfo r;
  r.SetTagPart(kTagArtist, artist);
  r.SetTagPart(kTagTitle, title);
  r.SetTagPart(kTagAlbum, "Alb, \"um\"");
  r.SetTagPart(kTagComment, "multi\nline");
  r.SetTagPart(kTagYear, "2001");
  r.SetTagPart(kTagTrack, "7");
  r.SetPart(kInfoLength, 215);
  r.SetPart(kInfoSampleRate, 44100);
  r.SetPart(kInfoBitRate, 192);
  r.SetPart(kInfoChannels, 0x82);  // only the low 7 bits are written
  r.SetPart(kInfoFileSize, 5123456);
  r.SetFileName("C:\\MUSIC\\" + title + ".MP3");
  c.AddMp3Info(r).Tag = tag;
}

// Loads without indexing; the error the load raises, or "(loaded)".
std::string LoadError(TMP3Collection& c, const std::string& path, TCsvStorage& storage,
                      uint64_t memoryBound = kMaxListMemory, const TLongPathFn& longPath = nullptr,
                      const TWideLongPathFn& wideLongPath = nullptr) {
  c.IndexEnabled = 0;
  try {
    LoadCollectionFromCSV(c, path, storage, longPath, wideLongPath, memoryBound);
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "(loaded)";
}

TEST(CollectionCsv, SaveWritesTheHeaderAndOneQuotedRowPerRecordAndLoadRestoresThem) {
  MemoryStorage storage;
  TMP3Collection saved;
  saved.IndexEnabled = 0;
  AddRecord(saved, "Artist, The", "Song", 1);
  AddRecord(saved, "Other", "Tune", 100002);
  RecordingProgress progress;
  SaveCollectionToCSV(saved, "last", storage, &progress);
  EXPECT_EQ(storage.saves, 1);  // the old list is replaced once, when the new one is whole
  EXPECT_EQ(storage.files["last"],
            std::string(kCsvHeader) + "\r\n" +
                "1,\"Artist, The\",Song,C:\\MUSIC\\Song.MP3,\"Alb, \"\"um\"\"\",multi line,2001,7,215,44100,192,2,5123456\r\n"
                "100002,Other,Tune,C:\\MUSIC\\Tune.MP3,\"Alb, \"\"um\"\"\",multi line,2001,7,215,44100,192,2,5123456\r\n");
  EXPECT_EQ(progress.labels.front(), "Saving composition #0 / 2");
  EXPECT_EQ(progress.percents, (std::vector<int>{0, 50}));
  EXPECT_EQ(progress.caption, "Saving collection...");
  EXPECT_TRUE(progress.finished);
  EXPECT_FALSE(saved.Modified);

  TMP3Collection loaded;
  loaded.IndexEnabled = 0;
  LoadCollectionFromCSV(loaded, "last", storage, [](const std::string& p) { return p == "C:\\MUSIC\\Song.MP3" ? "C:\\Music\\Song.mp3" : ""; });
  ASSERT_EQ(loaded.Count(), 2);
  const TMP3Info& r = loaded.Items(0);
  EXPECT_EQ(r.GetTagPart(kTagArtist), "Artist, The");
  EXPECT_EQ(r.GetTagPart(kTagAlbum), "Alb, \"um\"");
  EXPECT_EQ(r.GetTagPart(kTagDisplayPath), "C:\\Music\\Song.mp3");
  EXPECT_EQ(loaded.Items(1).GetTagPart(kTagDisplayPath), "C:\\MUSIC\\Tune.MP3");  // no long form: the access path
  EXPECT_EQ(r.GetInfoPart(kInfoChannels), 2);
  EXPECT_EQ(r.GetInfoPart(kInfoFileSize), 5123456);
  EXPECT_EQ(loaded.Items(1).Tag, 100002);
  EXPECT_EQ(loaded.FileName, "last");
}

TEST(CollectionCsv, ACancelledSaveKeepsThePreviousListAndAnEmptyCollectionWritesOnlyTheHeader) {
  MemoryStorage storage;
  storage.files["last"] = "the previous list";
  TMP3Collection c;
  for (int i = 0; i < 5; ++i) AddRecord(c, "A", "T" + std::to_string(i), i);
  RecordingProgress progress;
  progress.stopAfter = 2;
  c.FileName = "older";
  c.Modified = true;
  SaveCollectionToCSV(c, "last", storage, &progress);
  EXPECT_EQ(storage.saves, 0);
  EXPECT_EQ(storage.files["last"], "the previous list");
  EXPECT_TRUE(progress.finished);
  // Not saved: the collection says so.
  EXPECT_TRUE(c.Modified);
  EXPECT_EQ(c.FileName, "older");
  // Nor after a storage that raises; the window is finished all the same.
  GeneratedStorage failing;
  RecordingProgress shown;
  EXPECT_THROW(SaveCollectionToCSV(c, "last", failing, &shown), EDatabaseError);
  EXPECT_TRUE(shown.finished);
  EXPECT_TRUE(c.Modified);
  EXPECT_EQ(c.FileName, "older");
  SaveCollectionToCSV(c, "last", storage, nullptr);
  EXPECT_FALSE(c.Modified);
  EXPECT_EQ(c.FileName, "last");
  TMP3Collection empty;
  SaveCollectionToCSV(empty, "e", storage, nullptr);
  EXPECT_EQ(storage.files["e"], std::string(kCsvHeader) + "\r\n");
  // The window's caption is translated; its stop button reads "Cancel" as it is.
  SetLanguage(std::make_unique<TLanguage>(
      "test.lng", std::vector<std::string>{ToHex(GetMD5("Saving collection")) + "=Sammlung speichern",
                                           ToHex(GetMD5("Cancel")) + "=Abbrechen"}));
  RecordingProgress translated;
  SaveCollectionToCSV(empty, "e", storage, &translated);
  SetLanguage(nullptr);
  EXPECT_EQ(translated.caption, "Sammlung speichern...");
  EXPECT_EQ(translated.stopCaption, "Cancel");
}

// Every row saved reaches the window's refresh (which shows the row's label
// and processes pending messages), and a stop is seen before the next row.
TEST(CollectionCsv, EveryRowSavedReachesTheProgressWindowsRefresh) {
  MemoryStorage storage;
  TMP3Collection c;
  c.IndexEnabled = 0;
  for (int i = 0; i < 1000; ++i) AddRecord(c, "A", "T" + std::to_string(i), i);
  RecordingProgress window;
  SaveCollectionToCSV(c, "last", storage, &window);
  EXPECT_EQ(storage.saves, 1);
  ASSERT_EQ(window.refreshes, 1000);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(window.shownLabels[i], "Saving composition #" + std::to_string(i) + " / 1000");
  }
  EXPECT_EQ(window.percents.back(), 99);
  EXPECT_TRUE(window.finished);

  // A stop pressed during the second row's refresh saves no third row.
  RecordingProgress stopping;
  stopping.stopAfter = 2;
  storage.files["last"] = "kept";
  SaveCollectionToCSV(c, "last", storage, &stopping);
  EXPECT_EQ(stopping.labels.size(), 2u);
  EXPECT_EQ(stopping.refreshes, 2);
  EXPECT_EQ(storage.files["last"], "kept");
}

TEST(CollectionCsv, LoadingMissingShortAndDamagedLists) {
  MemoryStorage storage;
  TMP3Collection c;
  c.IndexEnabled = 0;
  LoadCollectionFromCSV(c, "nothing", storage, nullptr);  // missing: nothing happens
  EXPECT_EQ(c.FileName, "");

  // Without a FileSize column every size is 0; empty lines are skipped.
  storage.files["nosize"] = "Tag,Artist,Title,File,Album,Comment,Year,TrackNo,Time,Sample,Bitrate,Channels\r\n\r\n"
                            "3,a,b,C:\\x.mp3,,,12000,100,1,2,3,4\r\n";
  LoadCollectionFromCSV(c, "nosize", storage, nullptr);
  ASSERT_EQ(c.Count(), 1);
  EXPECT_EQ(c.Items(0).GetInfoPart(kInfoFileSize), 0);
  EXPECT_EQ(c.Items(0).GetTagPart(kTagYear), "");   // 12000 is no year
  EXPECT_EQ(c.Items(0).GetTagPart(kTagTrack), "");  // 100 is no track number

  // A damaged row: a clear error, and the rows before it stay.
  storage.files["bad"] = std::string(kCsvHeader) + "\r\n1,a,b,f,,,0,0,1,2,3,4,5\r\nx,a,b,f,,,0,0,1,2,3,4,5\r\n";
  try {
    LoadCollectionFromCSV(c, "bad", storage, nullptr);
    FAIL() << "expected an error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid integer value for field 'Tag'");
  }
  EXPECT_EQ(c.Count(), 1);
  storage.files["nocolumn"] = "Tag,Artist\r\n1,a\r\n";
  EXPECT_EQ(LoadError(c, "nocolumn", storage), "Field 'Title' not found");
  EXPECT_EQ(c.Count(), 0);

  // A damaged row raises the data set's own error (the rows before it stay);
  // a header past the limits (each limit: CsvDataSet) names the list. The
  // bytes a message cannot hold are escaped.
  const std::string good = "1,a,b,f,,,0,0,1,2,3,4,5\r\n";
  const struct {
    std::string file;
    std::string error;
    int kept;
  } damaged[] = {
      {std::string(kCsvHeader) + "\r\n" + good + good + good + "4,\"a,b,f,,,0,0,1,2,3,4,5\r\n",
       "The row ends inside quotes", 3},
      {std::string(kCsvHeader) + "\r\n" + good + std::string("2\0x\x7F", 4) + ",a,b,f,,,0,0,1,2,3,4,5\r\n",
       "'2\\x00x\\x7F' is not a valid integer value for field 'Tag'", 1},
      {std::string(TCsvDataSet::kMaxLineLength + 1, 'T') + "\r\n" + good,
       "The result list \"x\" is damaged: The header of \"x\" is longer than 1048576 characters", 0},
  };
  for (const auto& d : damaged) {
    storage.files["x"] = d.file;
    TMP3Collection list;
    test::AllocationMeter meter;
    EXPECT_EQ(LoadError(list, "x", storage), d.error);
    EXPECT_EQ(list.Count(), d.kept);
    // The file, the reader's buffer and one row's texts.
    EXPECT_LT(meter.Peak(), 3 * d.file.size() + 3 * TCsvLineReader::kBufferSize) << d.error;
  }
}

// A trailing comma (a spreadsheet's) costs nothing, nor do thousands of texts
// past the header's; a list with a field of a gigabyte is refused at that
// row, having read little more than the longest line accepted (once to
// measure the list, once to load it); a file that fails while read says so,
// not "damaged".
TEST(CollectionCsv, ExtraTextsLoadAndHugeOrUnreadableListsFailEarly) {
  MemoryStorage storage;
  std::string surplus;
  for (int i = 0; i < 5000; ++i) surplus += ",\"x,\"\"y\"";
  storage.files["last"] = std::string(kCsvHeader) + ",\r\n1,a,b,f,,,0,0,1,2,3,4,5,,extra\r\n" +
                          "2,a,b,f,,,0,0,1,2,3,4,6" + surplus + "\r\n";
  TMP3Collection c;
  c.IndexEnabled = 0;
  LoadCollectionFromCSV(c, "last", storage, nullptr);
  ASSERT_EQ(c.Count(), 2);
  EXPECT_EQ(c.Items(0).GetInfoPart(kInfoFileSize), 5);
  EXPECT_EQ(c.Items(1).GetInfoPart(kInfoFileSize), 6);

  const std::string head = std::string(kCsvHeader) + "\r\n1,a,b,f,,,0,0,1,2,3,4,5\r\n2,\"";
  uint64_t count = 0;
  GeneratedStorage generated;
  generated.make = [&] {
    return std::make_unique<GeneratedSource>(head, uint64_t{1} << 30, [](uint64_t) { return 'x'; },
                                             "\",b,f,,,0,0,1,2,3,4,5\r\n", &count, SIZE_MAX);
  };
  TMP3Collection huge;
  test::AllocationMeter meter;
  EXPECT_EQ(LoadError(huge, "big", generated),
            "The line is longer than 1048576 characters");
  EXPECT_EQ(huge.Count(), 1);
  EXPECT_LT(count, 2 * (TCsvDataSet::kMaxLineLength + 2 * TCsvLineReader::kBufferSize));
  EXPECT_LT(meter.Peak(), 4 * TCsvDataSet::kMaxLineLength);

  // The storage fails in the middle of the file: its own error, met while the
  // list is measured, so the collection keeps what it held.
  generated.failAt = head.size() + 100;
  TMP3Collection broken;
  broken.IndexEnabled = 0;
  AddRecord(broken, "kept", "record", 1);
  try {
    LoadCollectionFromCSV(broken, "gen", generated, nullptr);
    ADD_FAILURE() << "loaded";
  } catch (const EDatabaseReadError& e) {
    EXPECT_EQ(std::string(e.what()), "The file \"gen\" cannot be read: The device is not ready.");
  }
  ASSERT_EQ(broken.Count(), 1);
  EXPECT_EQ(broken.Items(0).GetTagPart(kTagArtist), "kept");
}

// Loading keeps a record per row, many times a short row's bytes: the list is
// measured first, and one whose records would pass the bound is refused
// before one is made. The estimate covers what rows of every shape take.
TEST(CollectionCsv, AListTooLargeForMemoryIsRefusedBeforeItsRecordsAreMade) {
  const std::string header = std::string(kCsvHeader) + "\r\n", path(200, 'p');
  const std::string shapes[][2] = {
      {header, "0,,,,,,0,0,0,0,0,0,0"},
      {header, "3,Artist,Title,C:\\" + path + ".mp3,Album,Comment,2001,7,215,44100,192,2,5123456"},
      {kUtf8Bom + header, "3,A,T,C:\\\xE6\x97\xA5" + path + ".mp3,,,0,0,1,2,3,4,5"},  // a wide path
  };
  constexpr int kRows = 20000;
  for (const auto& [head, row] : shapes) {
    MemoryStorage storage;
    storage.files["last"] = head;
    for (int i = 0; i < kRows; ++i) storage.files["last"] += row + "\r\n";
    const uint64_t estimate = ListLoadMemory(kRows, kRows * row.size());
    TMP3Collection loaded;
    test::AllocationMeter meter;
    LoadCollectionFromCSV(loaded, "last", storage, nullptr, nullptr, estimate);
    ASSERT_EQ(loaded.Count(), kRows);
    EXPECT_LE(meter.Peak(), estimate + 2 * TCsvLineReader::kBufferSize) << row;  // and the reader's buffer
  }

  // Refused at a bound of about half the rows, having read about half the file,
  // holding little more than the reader's buffer; the collection and the
  // file (which the storage would not let be written) stay as they were.
  std::string file = header;
  for (int i = 0; i < kRows; ++i) file += shapes[0][1] + "\r\n";
  uint64_t count = 0;
  GeneratedStorage generated;
  generated.make = [&] {
    return std::make_unique<GeneratedSource>("", file.size(), [&](uint64_t at) { return file[at]; }, "", &count, 4096);
  };
  TMP3Collection kept;
  AddRecord(kept, "kept", "record", 1);
  test::AllocationMeter meter;
  EXPECT_EQ(LoadError(kept, "last", generated, uint64_t{5} << 20),
            "The result list \"last\" is too large to load: its rows would take more than 5 MB of memory");
  EXPECT_LT(meter.Peak(), 2 * TCsvLineReader::kBufferSize);
  EXPECT_LT(count, file.size() / 2 + 8192);
  EXPECT_EQ(kept.Count(), 1);

  // A real list of a million rows of 300 bytes loads; 400 MB of the shortest rows do not.
  EXPECT_LT(ListLoadMemory(1'000'000, 300'000'000), kMaxListMemory);
  EXPECT_GT(ListLoadMemory(400'000'000 / 21, 400'000'000 / 21 * 19), kMaxListMemory);
}

// A list of short (8.3) access paths gets its display and wide paths from
// the long forms looked up while loading, which the measure cannot see. What
// they add counts against the bound as the rows are made: within it the list
// loads and holds no more than counted; past it the load is refused as a
// measured one is, the collection and the file left as they were.
TEST(CollectionCsv, TheLongFormsLookedUpWhileLoadingCountAgainstTheBound) {
  const std::string shortPath = "C:\\MUSIC\\SONG~1.MP3";
  const std::string longForm = "C:\\Music\\" + std::string(80, 'x') + ".mp3";
  const std::u16string wideLongForm(longForm.begin(), longForm.end());
  const std::string row = "3,A,T," + shortPath + ",,,0,0,1,2,3,4,5";
  constexpr uint64_t kRows = 20000;
  std::string file = std::string(kCsvHeader) + "\r\n";
  for (uint64_t i = 0; i < kRows; ++i) file += row + "\r\n";
  MemoryStorage storage;
  storage.files["last"] = file;
  const uint64_t estimate = ListLoadMemory(kRows, kRows * row.size());
  const uint64_t added = kRows * (longForm.size() + 2 * wideLongForm.size() - 3 * shortPath.size());
  const TLongPathFn longPath = [&](const std::string&) { return longForm; };
  const TWideLongPathFn wideLongPath = [&](const std::string&) { return wideLongForm; };

  TMP3Collection loaded;
  {
    test::AllocationMeter meter;
    EXPECT_EQ(LoadError(loaded, "last", storage, estimate + added, longPath, wideLongPath), "(loaded)");
    EXPECT_LE(meter.Peak(), estimate + added + 2 * TCsvLineReader::kBufferSize);
  }
  ASSERT_EQ(loaded.Count(), static_cast<int32_t>(kRows));
  EXPECT_EQ(loaded.Items(0).GetTagPart(kTagDisplayPath), longForm);

  // Refused at the last row, or at the first whose long form passes the bound.
  for (const uint64_t bound : {estimate + added - 1, estimate}) {
    TMP3Collection kept;
    AddRecord(kept, "kept", "record", 1);
    kept.FileName = "older";
    EXPECT_EQ(LoadError(kept, "last", storage, bound, longPath, wideLongPath),
              "The result list \"last\" is too large to load: its rows would take more than " +
                  std::to_string((bound + (1 << 20) - 1) >> 20) + " MB of memory");
    ASSERT_EQ(kept.Count(), 1);
    EXPECT_EQ(kept.Items(0).GetTagPart(kTagArtist), "kept");
    EXPECT_EQ(kept.FileName, "older");
  }
  EXPECT_EQ(storage.saves, 0);
  EXPECT_EQ(storage.files["last"], file);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// Hands out one byte per read (the mark arrives in pieces).
class ByteByByteStorage : public MemoryStorage {
 public:
  std::unique_ptr<TCsvSource> OpenRead(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return nullptr;
    struct OneByte : TCsvSource {
      explicit OneByte(std::string_view t) : text(t) {}
      size_t Read(char* buffer, size_t size) override {
        if (text.empty() || size == 0) return 0;
        buffer[0] = text[0];
        text.remove_prefix(1);
        return 1;
      }
      std::string_view text;
    };
    return std::make_unique<OneByte>(it->second);
  }
};

TEST(CollectionCsv, NamesOutsideTheCodePageMakeAUtf8ListThatReopensExactly) {
  const std::u16string paths[] = {
      u"M:\\\u041c\u0443\u0437\u044b\u043a\u0430\\\u0420\u043e\u043a\\\u041f\u0435\u0441\u043d\u044f 03.mp3",
      u"M:\\\u0141\u00f3d\u017a Kolekcja\\\u017b\u00f3\u0142\u0107 07 - Ma\u00f1ana.mp3",
      u"M:\\\u65e5\u672c\u306e\u97f3\u697d\\\U0001F3B5 \u03a9.mp3",
      u"M:\\Plain\\Caf\u00e9.mp3",
  };
  TMP3Collection saved;
  saved.IndexEnabled = 0;
  for (int i = 0; i < 4; ++i) {
    AddRecord(saved, "Art\xE9, \"x\"", "T" + std::to_string(i), 100001 + i);
    saved.Items(i).SetWidePath(paths[i]);
  }
  ByteByByteStorage storage;
  {
    TCsvStorage* s = &storage;
    SaveCollectionToCSV(saved, "last", *s, nullptr);
    const std::string& file = storage.files["last"];
    ASSERT_EQ(file.substr(0, 3), kUtf8Bom);
    EXPECT_EQ(file.substr(3, sizeof kCsvHeader - 1), kCsvHeader);
    // Texts of the code page are written in UTF-8 too ("é" as two bytes).
    EXPECT_NE(file.find("\"Art\xC3\xA9, \"\"x\"\"\""), std::string::npos);

    TMP3Collection loaded;
    loaded.IndexEnabled = 0;
    LoadCollectionFromCSV(loaded, "last", *s, [](const std::string&) { return std::string("wrong"); },
                          [](const std::string&) { return std::u16string(u"wrong"); });
    ASSERT_EQ(loaded.Count(), 4);
    for (int i = 0; i < 4; ++i) {
      const TMP3Info& r = loaded.Items(i);
      EXPECT_EQ(r.WidePath(), paths[i]) << i;
      EXPECT_EQ(r.Tag, 100001 + i);
      EXPECT_EQ(r.GetTagPart(kTagArtist), "Art\xE9, \"x\"");
      EXPECT_EQ(r.GetTagPart(kTagDisplayPath), WideToAnsi(paths[i]));
    }
    // The access path marks what the code page lacks, so it names no other file.
    EXPECT_EQ(loaded.Items(0).FileName(), "M:\\||||||\\|||\\||||| 03.mp3");
    EXPECT_EQ(loaded.Items(2).FileName(), "M:\\|||||\\| |.mp3");
    EXPECT_EQ(loaded.Items(3).FileName(), "M:\\Plain\\Caf\xE9.mp3");
  }
}

TEST(CollectionCsv, AListOfTheCodePageStaysInTheOlderFormAndOlderListsLoadAsBefore) {
  MemoryStorage storage;
  TMP3Collection saved;
  saved.IndexEnabled = 0;
  AddRecord(saved, "A", "Song", 1);
  saved.Items(0).SetWidePath(u"C:\\Music\\Song.mp3");  // long form of the short access path
  SaveCollectionToCSV(saved, "last", storage, nullptr);
  EXPECT_EQ(storage.files["last"].substr(0, sizeof kCsvHeader - 1), kCsvHeader);
  EXPECT_NE(storage.files["last"].find(",C:\\MUSIC\\Song.MP3,"), std::string::npos);  // the access path, as before

  // A list of an earlier version: the wide path is the access path's long form.
  storage.files["old"] = std::string(kCsvHeader) + "\r\n3,A,T,C:\\MUSIC\\SONG~1.MP3,,,0,0,1,2,3,4,5\r\n" +
                         "3,A,T,C:\\gone\\x.mp3,,,0,0,1,2,3,4,5\r\n";
  TMP3Collection loaded;
  loaded.IndexEnabled = 0;
  LoadCollectionFromCSV(loaded, "old", storage, nullptr, [](const std::string& p) {
    return p == "C:\\MUSIC\\SONG~1.MP3" ? std::u16string(u"C:\\Music\\\u0416 Song.mp3") : std::u16string();
  });
  ASSERT_EQ(loaded.Count(), 2);
  EXPECT_EQ(loaded.Items(0).FileName(), "C:\\MUSIC\\SONG~1.MP3");
  EXPECT_EQ(loaded.Items(0).WidePath(), u"C:\\Music\\\u0416 Song.mp3");
  EXPECT_EQ(loaded.Items(1).WidePath(), u"C:\\gone\\x.mp3");
  EXPECT_EQ(loaded.Items(1).GetInfoPart(kInfoFileSize), 5);
}

}  // namespace
}  // namespace kv
