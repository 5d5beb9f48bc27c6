#pragma once
// The reserve of deleted files: a deleted file is renamed in its own folder
// to the MD5 of its path, made hidden and listed, until the reserve is freed
// for good or the files get their names back.
//
// On disk: the archive "data" in the program folder (entries "data", "size"
// and the history entries) and the journal "data.journal". Before each
// rename one line is appended to the journal, so a killed process loses no
// name; after each run, free and recover the journal is replaced by the
// whole list and the archive saved (Save). Start-up (Load) merges both.
// User-interface thread only; one instance per program folder (the program
// holds a named mutex).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/handle.h"
#include "wizard/reserve_list.h"

namespace kv {

// What a free or recover run did.
struct TReserveRun {
  int done = 0;
  bool stopped = false;
  std::vector<std::string> failures;  // one text per file kept in the reserve
};

// Where a line's hidden file lies: the folder of its long path (exact also
// where the code page lacks letters of it), else of its ANSI hidden path.
std::wstring HiddenPathOf(const TReserveLine& line);
// Where recovery gives the file back: the hidden file's folder and the file
// name of the long path (of the display path in lines without one).
std::wstring RecoveredPathOf(const TReserveLine& line);

class TReserve {
 public:
  // folder: the program folder, without a trailing "\".
  explicit TReserve(std::wstring folder);

  // Reads the archive and the journal and merges them; an archive that
  // cannot be read is renamed aside. Returns the notices for the user.
  std::vector<std::string> Load();

  // Renames the file at widePath, its full wide path, into the reserve.
  // fileName, the ANSI access path, gives the folder's text in the list only
  // when it opens that same file (a short name may have passed to another
  // file since the scan). False (the system's error code in "lasterr.txt",
  // file and attributes as they were) when no file is at widePath or the
  // rename fails.
  bool HideInsteadDelete(const std::wstring& widePath, const std::string& fileName);

  int GetHiddenCount() const { return static_cast<int>(lines_.size()); }
  // True when Load found reserved files that only the journal named: a run
  // that never reached its end (killed while deleting).
  bool HoldsUnfinishedRun() const { return unfinishedRun_; }
  int64_t GetHiddenSize() const { return size_; }
  // The list in its text form.
  std::string HiddenList() const { return FormatReserveList(lines_); }
  const std::vector<TReserveLine>& Lines() const { return lines_; }

  // Called before each file with (files done, files in all); false stops
  // the run there.
  using TProgress = std::function<bool(size_t, size_t, const TReserveLine&)>;
  // Deletes the reserved files. A file that cannot be deleted stays listed;
  // the history entry "del.D.T" keeps the list as it was. Saves.
  TReserveRun Free(const TProgress& progress);
  // Gives the files their names back, never over an existing file; a file
  // that cannot be renamed stays listed. History "rec.D.T". Saves.
  TReserveRun Recover(const TProgress& progress);

  // The archive's "data" and "size" in one rewrite, then the journal
  // replaced by the list. Raises EOSError naming the file.
  void Save();
  // Flushes the journal's appended lines to the disk (end of a run).
  void FlushJournal();

  std::wstring ArchivePath() const { return folder_ + L"\\data"; }
  std::wstring JournalPath() const { return folder_ + L"\\data.journal"; }
  std::wstring LastErrorPath() const { return folder_ + L"\\lasterr.txt"; }

 private:
  void AppendJournal(const TReserveLine& line);
  // Replaces "lasterr.txt" by the code; a failure to write it is ignored.
  void WriteLastError(uint32_t code);
  void SaveArchive(std::vector<std::pair<std::string, std::string>> entries);
  TReserveRun RunOverList(const char* kind, const TProgress& progress,
                          const std::function<bool(const TReserveLine&, std::string&)>& act);

  std::wstring folder_;
  std::vector<TReserveLine> lines_;
  int64_t size_ = 0;
  bool unfinishedRun_ = false;
  FileHandle journal_;
};

// The hidden name's 32 hexadecimal digits for a file: the MD5 of the display
// path in ANSI, or of the real long path in UTF-8 when the name is not
// exactly ANSI.
std::string HiddenDigits(const std::wstring& widePath, const std::wstring& longPath);

// The moment as the history entries write it: (day number, milliseconds of the day), local time.
std::pair<int64_t, int64_t> ReserveTimeStamp();

// A test-only crash point: when the environment variable
// KELVARIN_TEST_CRASH_AT is "name" or "name:N", the process is terminated
// at the first (or N-th) time it passes the point of that name.
void TestCrashPoint(const char* name);

}  // namespace kv
