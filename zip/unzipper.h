#pragma once
// TUnZipper: opens a zip archive, reads its directory into a list of entries
// and extracts selected entries into a stream or onto disk, with traditional
// decryption and CRC-32 checking. Byte-level: files are reached through a
// TZipFileSystem. The writer TZipper (part of the same library) derives from it.
//
//   TUnZipper unzip;                 // the process's file system
//   unzip.SetZipName("C:\\prog\\data");
//   unzip.password = "secret";
//   TMemoryStream out;
//   int selected = unzip.UnZipToStream(out, "data");
//
// Failure policy: a directory that cannot be read raises (EBadZipFile,
// EIncompleteZip) and leaves the component cleared; an entry that cannot be
// extracted (wrong password, damaged data, unsupported method, unsafe name)
// is reported through the events and contributes nothing to the output.
// An archive that ends inside an entry's local header, name, extra field or
// data raises EFatalUnzipError. One extraction into a stream decodes at most
// maxOutputSize bytes in all; a file on disk is bounded by its size field.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "zip/zip_cipher.h"
#include "zip/zip_dialogs.h"
#include "zip/zip_file_system.h"
#include "zip/zip_records.h"

namespace kv {

class TDecodeOutput;
enum class TDecodeResult;

// Why OnSkippingFile was raised.
enum class TSkipReason {
  BadPassword = 0,  // the password check failed and no new password came
  FileExists = 1,   // extraction to disk would overwrite and may not
  UnsafeName = 2,   // "..", a device name, a drive or root with no DestDir, a path outside DestDir
  Damaged = 3,      // local header or data outside a part of a set, data inside another entry's
  Unsupported = 4,  // unknown method with a stored CRC of 0, or a size field this library cannot read
};

inline constexpr int kUnZipperVersion = 217;
// Default cap on what one extraction call may decode.
inline constexpr uint64_t kDefaultMaxOutputSize = uint64_t{256} << 20;

class TUnZipper {
 public:
  TUnZipper();
  explicit TUnZipper(TZipFileSystem& fs);
  TUnZipper(const TUnZipper&) = delete;
  TUnZipper& operator=(const TUnZipper&) = delete;
  virtual ~TUnZipper();

  // ---------------------------------------------------------- properties --
  int ThisVersion() const { return kUnZipperVersion; }
  const std::string& ZipName() const { return zipName_; }
  // Stores the name and resets the component, unless it equals the current
  // name (ASCII case ignored). A name ending in "?" asks for the archive
  // with the open-file dialog (cancelled: EUserCanceled).
  virtual void SetZipName(const std::string& name);
  const std::string& DestDir() const { return destDir_; }
  // A trailing "\" is removed; "?" asks for the folder (cancelled: EUserCanceled).
  void SetDestDir(const std::string& dir);
  const std::string& RootDir() const { return rootDir_; }
  void SetRootDir(const std::string& dir);  // gets a trailing "\" unless empty
  TZipSortMode SortMode() const { return sortMode_; }
  // Re-sorts the view that the index accessors see.
  void Sort(TZipSortMode mode);

  bool recreateDirs = false;
  TUZOverwriteMode overwriteMode = TUZOverwriteMode::Prompt;
  std::vector<std::string> filesList;  // names or patterns of the entries to process
  bool doAll = false;
  TIncompleteZipMode incompleteZipMode = TIncompleteZipMode::izAssumeMulti;
  bool keepZipOpen = false;
  bool doProcessMessages = true;
  bool retainAttributes = true;
  std::string password;
  // Most bytes one extraction into a stream (UnZipToStream) may decode, over
  // all its entries, failed ones included; an entry that would pass it fails.
  uint64_t maxOutputSize = kDefaultMaxOutputSize;

  // -------------------------------------------------------------- events --
  std::function<void(int numFiles, uint64_t totalBytes, bool& stopNow)> onStartUnZipInfo;
  std::function<void(int fileIndex, const std::string& name, bool& skip)> onStartUnZip;
  std::function<void(int fileIndex, const std::string& name)> onEndUnZip;
  std::function<void(bool& overwriteIt, int fileIndex, std::string& name)> onPromptForOverwrite;
  std::function<void(TSkipReason reason, const std::string& name, int fileIndex)> onSkippingFile;
  // newPassword comes in as the password that failed; another one (empty
  // too) replaces it and the entry is tried again.
  std::function<void(int fileIndex, std::string& newPassword)> onBadPassword;
  std::function<void(uint32_t calcCrc, uint32_t storedCrc, int fileIndex)> onBadCRC;
  std::function<void(TIncompleteZipMode& mode)> onInCompleteZip;
  std::function<void(int percent)> onFilePercentDone;
  std::function<void(int percent)> onTotalPercentDone;
  // Called at every input refill and every 10240 bytes of a scan while
  // doProcessMessages is set; the host pumps its messages here. Unset, the
  // component handles the thread's waiting messages itself.
  std::function<void()> onProcessMessages;
  // Another part of a multi-disk set is needed: disk nextDisk (counted from
  // 1); name comes in as the archive's name and goes out as the part's name
  // (empty: cancelled). Starts as DefaultGetNextDisk.
  std::function<void(int nextDisk, std::string& name)> onGetNextDisk;
  // Every box and dialog of the component (the open-file and folder
  // dialogs, the disk, overwrite and error boxes).
  TZipDialogHook dialogHook = SystemZipDialog;

  // Asks a running operation to stop (it raises EUserCanceled).
  void Cancel() { cancel_ = true; }

  // ---------------------------------------------------------- operations --
  // Extracts every entry whose name matches entryName (a name or a pattern;
  // ASCII case ignored) into out, one after another; of entries with one
  // name only the last in the directory. Returns the number of entries
  // selected (a skipped one counts too).
  int UnZipToStream(TStream& out, const std::string& entryName);
  // Extracts the entries selected by filesList / doAll into destDir (of
  // entries with one name only the last in the directory); returns the
  // number of entries extracted.
  int UnZip();
  // Opens the archive and reads its directory when not loaded or when the
  // file's time changed.
  void OpenZip();
  void ReadZip();
  void CloseZip();
  // Closes and forgets everything, including ZipName.
  void ClearZip();

  int Count() const;
  // Index accessors over the sorted view; EListError outside 0..Count-1.
  const TZipHeaderInfo& Entry(int index) const;
  std::string FileName(int index) const;
  double DateTime(int index) const;
  // The comment, read from the archive when only its length is known.
  std::string FileComment(int index);
  void SetFileComment(int index, const std::string& comment);
  std::string ZipComment();
  // Reads the directory first when the archive exists and it is not loaded;
  // the comment set is what the next write of the archive carries (a new
  // archive too).
  void SetZipComment(const std::string& comment);
  // True after the directory was rebuilt by scanning local headers.
  bool HardScanned() const { return hardScan_; }
  // True when the directory was read whole from the archive's central
  // directory: only such an archive may be rewritten without losing entries.
  bool DirectoryReadWhole() const { return directoryWhole_; }
  TMultiMode MultiMode() const { return multiMode_; }

  // ----------------------------------------------------- multi-disk sets --
  // Blocks: the part's name (ZipName for the last part, else ZipName with
  // the extension "." and the disk in three digits). Spanned: asks for the
  // disk with an OK/Cancel box; Cancel empties the name.
  void DefaultGetNextDisk(int nextDisk, std::string& name);
  virtual TMultiMode GetMultiMode() const { return multiMode_; }
  virtual void SetMultiMode(TMultiMode mode) { multiMode_ = mode; }
  // Spanned sets: a disk is taken only when its label ends in its number
  // (on the drives whose disks the writer labels, and wherever a label has
  // the writer's form; other labels are the user's own).
  virtual bool GetCheckDiskLabels() const { return checkDiskLabels_; }
  virtual void SetCheckDiskLabels(bool on) { checkDiskLabels_ = on; }
  // The disk of the part open now and of the last part (the one that holds
  // the end record), counted from 0.
  int CurrentDisk() const { return currentDisk_; }
  int LastDisk() const { return lastDisk_; }
  // The drive root ("X:\") of a name, empty when it names none.
  static std::string DriveRoot(const std::string& name);
  // The label the writer gives disk `disk` (from 1) of a spanned set, and
  // whether it labels the disks of the drive at root (the floppy drives A:
  // and B: only: a label is the user's elsewhere).
  static std::string SpannedDiskLabel(int disk);
  static bool LabelsDisksOf(const std::string& root);
  // The name of part `disk` (from 1) of a blocks set that ends with disk
  // lastDisk + 1 under `name`.
  static std::string BlockPartName(const std::string& name, int disk, int lastDisk);

 protected:
  // The sorted view (the entry list itself while the mode is ByNone).
  TSortedZip* View() const;
  void ResetDirectory();
  void GetFileInfo();
  int UnZipFiles();
  // Reads the entries' comments that are known by length only (before a rewrite).
  void FetchComments();
  // Closes the archive stream and opens disk `disk` (from 1) of the set,
  // asking OnGetNextDisk until its answer is usable.
  void SwapDisk(int disk);
  // Positions on an offset of a disk (from 0) of the set, swapping as needed.
  void SeekPart(uint32_t disk, int64_t offset);
  // Reads count bytes, continuing on the following parts of a multi-disk
  // set; fewer only at the end of the last part.
  int64_t ReadAcross(void* buffer, int64_t count);
  // Opens the archive file itself (the last part of a set).
  void OpenArchiveFile();
  // With doProcessMessages: handles waiting messages and a cancel request.
  void CheckCancel();
  // Shows a box through the hook; true for OK or Yes.
  bool Ask(TZipDialogKind kind, const std::string& text, const std::string& caption);

  TZipFileSystem& fs_;
  std::string zipName_, destDir_, rootDir_;
  TZipSortMode sortMode_ = TZipSortMode::ByNone;
  std::unique_ptr<TStream> zipStream_;
  std::unique_ptr<TSortedZip> entries_;
  std::unique_ptr<TSortedZip> sorted_;
  TEndCentral endCentral_;
  bool endCentralModified_ = false;
  // The comments set since the directory was read, until written: the
  // archive's, and the entries' by folded full name.
  std::optional<std::string> pendingZipComment_;
  std::unordered_map<std::string, std::string> pendingFileComments_;
  std::optional<uint32_t> zipDate_;
  TMultiMode multiMode_ = TMultiMode::mmNone;
  bool busy_ = false;
  bool cancel_ = false;
  bool hardScan_ = false;
  bool directoryWhole_ = false;
  int currentDisk_ = 0;
  int lastDisk_ = 0;
  bool checkDiskLabels_ = true;
  // Set while the writer asks for the next disk of a spanned set.
  bool askForDisks_ = false;
  // A multi-disk set's central directory, gathered across its parts
  // (records may be cut anywhere by a part's end); entries' central
  // offsets point into it.
  std::unique_ptr<TMemoryStream> centralCopy_;

 private:
  struct Extraction;
  struct EntryJob;
  enum class EntryOutcome { Done, Skipped, Failed, Retry };
  // One entry: CheckEntry, OpenDestination, DecodeEntry, CommitEntry.
  EntryOutcome DoUnzip(Extraction& x, int index);
  std::optional<EntryOutcome> CheckEntry(EntryJob& job);
  std::optional<EntryOutcome> OpenDestination(EntryJob& job);
  TDecodeResult DecodeEntry(Extraction& x, EntryJob& job, TDecodeOutput& out);
  EntryOutcome CommitEntry(EntryJob& job, bool good, uint32_t crc);
  void DiscardDestination(EntryJob& job);
  EntryOutcome Skip(const EntryJob& job, TSkipReason reason);
  bool AskNewPassword(int index);
  bool ReadZipHardWay();
  void ReadMultiDiskDirectory(uint32_t centralDisk, uint64_t offset, uint64_t size, uint64_t total);
  bool CentralRecordAt(uint64_t offset);
  void KeepLastOfEachName();
  void FindOverlaps(std::unordered_set<const TZipHeaderInfo*>& overlapping) const;
  std::string TargetPath(const TZipHeaderInfo& entry, bool& unsafe) const;

  TStream* outStream_ = nullptr;
  bool toStream_ = false;
};

// True when an entry name (held form, "\" separators) may be extracted
// below a destination: no "..", no drive, no device name, not absolute.
bool IsSafeEntryName(const std::string& name);

}  // namespace kv
