#pragma once
// The result list "last": a collection saved as comma-separated rows and
// loaded again with its group numbers. Byte-level; the file goes through a
// TCsvStorage and the progress window through TSaveProgress.
#include <cstdint>
#include <functional>
#include <string>

#include "engine/csv_data_set.h"
#include "engine/mp3_collection.h"

namespace kv {

// The header line the collection writes.
inline constexpr char kCsvHeader[] =
    "Tag,Artist,Title,File,Album,Comment,Year,TrackNo,Time,Sample,Bitrate,Channels,FileSize";

// The progress window shown while a list is saved.
class TSaveProgress {
 public:
  virtual ~TSaveProgress() = default;
  // Shows the window with its caption, a label, a progress bar and a stop button captioned stopCaption.
  virtual void Start(const std::string& caption, const std::string& stopCaption) = 0;
  virtual void SetLabel(const std::string& text) = 0;
  virtual void SetProgress(int percent) = 0;
  // Shows the latest label and position and processes pending messages;
  // called for every row saved (the window paces its own painting).
  virtual void Refresh() = 0;
  virtual bool Stopped() const = 0;
  virtual void Finish() = 0;
};

// The list is written as ANSI text, as older versions wrote it, while every
// record's full wide path fits the code page; otherwise the whole file is
// UTF-8 after the byte-order mark (kUtf8Bom), and its "File" column holds
// each file's full wide path. Loading reads either form.
inline constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// Saves every record as a row (the whole file replaced in one write) and then
// sets the collection's FileName and clears Modified. A stop from the
// progress window writes nothing: the previous file stays as it was, and so
// do FileName and Modified, as after a storage that raises.
void SaveCollectionToCSV(TMP3Collection& collection, const std::string& path, TCsvStorage& storage,
                         TSaveProgress* progress);

// The long form of an access path, or empty when there is none.
using TLongPathFn = std::function<std::string(const std::string& path)>;
// The same as the file's full wide path.
using TWideLongPathFn = std::function<std::u16string(const std::string& path)>;

// Loading keeps a record for every row, which costs far more than the row's
// line: a row of 21 bytes becomes a record of about 400. A list whose records
// would pass this bound by ListLoadMemory is refused before one is made. A
// real list of a million rows of 300 bytes comes to about 1.6 GB by it.
inline constexpr uint64_t kMaxListMemory = uint64_t{2} << 30;

// The most memory that loading `rows` rows of `bytes` bytes in all can take
// (the bytes counted without line ends).
uint64_t ListLoadMemory(uint64_t rows, uint64_t bytes);

// Loads the rows of the file into the (cleared) collection, without indexing
// them, reading one row at a time. A missing file does nothing. A file that
// cannot be read raises EDatabaseReadError naming it and the cause, a damaged
// one EDatabaseError naming the row; the collection then holds the rows read
// before. The file is measured first: one whose rows would take more than
// memoryBound raises EDatabaseError naming it, as does one whose header is
// damaged, and the collection is left as it was. What the long forms looked
// up while loading hold beyond the access paths counts against the bound
// too: a list that passes it so is refused the same way, the collection
// again left as it was.
// A row of the ANSI form gets its wide path from wideLongPath (the access
// path as it stands when that is missing or answers empty); one of the
// UTF-8 form has it in "File", and its access path and display path are
// the ANSI texts of it (letters the code page lacks marked "|" in the
// access path, so that it names no other file).
void LoadCollectionFromCSV(TMP3Collection& collection, const std::string& path, TCsvStorage& storage,
                           const TLongPathFn& longPath, const TWideLongPathFn& wideLongPath = nullptr,
                           uint64_t memoryBound = kMaxListMemory);

}  // namespace kv
