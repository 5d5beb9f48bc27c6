#pragma once
// TZipper: the archive writer. Adds entries (from memory or from files on
// disk), replaces entries of the same name in their place, and writes the
// whole archive anew, optionally encrypting new entries with the traditional
// cipher. Byte-level: files are reached through TZipFileSystem and
// TZipperDisk.
//
//   TZipper zip;
//   zip.SetZipName("C:\\prog\\data");
//   zip.password = "secret";                 // empty: no encryption
//   zip.ZipFromBuffer(text.data(), text.size(), "size");
//
// Safety: the new archive is written to a temporary file beside the old one,
// flushed to the disk and moved over it in one step. Any failure raises and
// leaves the old archive as it was, with no temporary file left behind.
// A multi-part set is first written whole into a staging file (the old set
// is read only then), then cut into parts: a blocks set's parts are moved
// into place together (the old parts put aside first and put back on any
// failure); a spanned set's parts are staged in the temporary folder and
// written disk by disk from the last to the first, so that disk 1 changes
// only after the last disk question. A file a part replaces on a disk is
// copied to the temporary folder first; after a failure or a cancel the disk
// in the drive gets its old file back, a disk that held no old part is
// asked for again and its new part and label removed (named in the error
// when that cannot be done, as is a disk whose old label cannot be put
// back; when such a disk is left in the drive, the error names the disk to
// put back to read the old set), and when the old set is still broken on
// the disks, the copies of its replaced parts and the new set's parts stay
// in the temporary folder, named in the error. An old spanned set is always
// rewritten as a spanned set (its disks are swapped while it is read).
// Entries that are not replaced are copied byte for byte (local header,
// extra fields, data, data descriptor; the central record with its extra
// field and comment, only its offset changed). An archive whose directory
// was not read whole (DirectoryReadWhole) is never rewritten: the save
// raises EZipDirectoryIncomplete, since the entries it missed would be lost.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "zip/deflate.h"
#include "zip/unzipper.h"
#include "zip/zip_errors.h"

namespace kv {

// The component is already running an operation (re-entered from an event
// or from the message pump).
KV_ZIP_EXCEPTION(EZipBusy, "The zip component is busy");
// A size, offset or count does not fit the zip format's 32-bit (16-bit for
// counts) fields.
KV_ZIP_EXCEPTION(EZipTooLarge, "The archive would exceed the limits of the zip format");
// The old archive's directory was not read whole (rebuilt by scanning local
// headers, or more records than its count says): a rewrite would drop the
// entries it missed, so the archive is left as it is.
KV_ZIP_EXCEPTION(EZipDirectoryIncomplete, "The archive's directory could not be read whole; it is not rewritten");
// A multi-part setting that cannot be written (parts too small to hold a
// record: every local header, central record and the end record with its
// comment lie whole on one part).
KV_ZIP_EXCEPTION(EZipUnsupported, "Multi-part archives are not supported");

// The smallest part of a blocks set, and of a spanned set's disks after the
// first. A record (local header, central record, the end record with its
// comment) larger than a part refuses the write before anything is written.
inline constexpr int64_t kMinPartSize = 64 << 10;

// What an added file does to an entry of its name: update and freshen
// replace it only when the file is newer than the entry, replace always. A
// file without an entry is added whatever the action.
enum class TZipAction { zaUpdate, zaReplace, zaFreshen };

// Settings of multi-part archives.
struct TMultiZipInfo {
  int64_t blockSize = 1457600;
  int64_t firstBlockSize = 1457600;
  TMultiMode multiMode = TMultiMode::mmNone;
  bool checkDiskLabels = true;
  bool writeDiskLabels = true;
  void Assign(const TMultiZipInfo& other) { *this = other; }
};

// A directory entry found on disk.
struct TFoundFile {
  std::string name;  // without the folder
  bool directory = false;
  uint32_t attributes = 0;  // Windows file attributes
};

// What adding files from disk needs beyond TZipFileSystem.
class TZipperDisk {
 public:
  virtual ~TZipperDisk() = default;
  // The entries of a folder, without "." and "..".
  virtual std::vector<TFoundFile> List(const std::string& folder) = 0;
  // The Windows attributes of a file; nullopt when it does not exist.
  virtual std::optional<uint32_t> Attributes(const std::string& name) = 0;
  virtual void SetAttributes(const std::string& name, uint32_t attributes) = 0;
  // The short (8.3) form of a path, or the path itself when it has none.
  virtual std::string ShortName(const std::string& name) = 0;
};

// The process's disk: Win32 on Windows, std::filesystem elsewhere.
TZipperDisk& DefaultZipperDisk();

// Fills buf from the system's cryptographic random generator.
void SystemRandomBytes(std::span<uint8_t> buf);

class TZipper : public TUnZipper {
 public:
  TZipper();
  TZipper(TZipFileSystem& fs, TZipperDisk& disk);
  ~TZipper() override;

  // ---------------------------------------------------------- properties --
  int packLevel = 6;  // 0 stores every entry; 1-9 deflate at that level
  bool recurse = false;
  bool dispose = false;
  bool StorePaths() const { return storePaths_; }
  void SetStorePaths(bool on);     // off also turns relative paths and volumes off
  bool RelativePaths() const { return relativePaths_; }
  void SetRelativePaths(bool on);  // on also turns StorePaths and recurse on
  bool StoreVolumes() const { return storeVolumes_; }
  void SetStoreVolumes(bool on);   // on also turns StorePaths on
  TZipAction zipAction = TZipAction::zaUpdate;
  TMultiZipInfo multiZipInfo;
  bool store83Names = false;
  // Where multi-part sets are staged (an existing folder; else the system's
  // temporary folder). A single archive's temporary file always lies in
  // the archive's own folder so that it can replace the archive in one move.
  std::string tempPath;
  // A rewrite keeps the bytes before the first entry (a self-extractor's
  // program) of a single-file archive; off, they are dropped.
  bool keepSelfExtractorStub = false;
  bool skipIfArchiveBitNotSet = false;
  bool resetArchiveBitOnZip = false;
  std::vector<std::string> excludeList;     // patterns of files not to add
  std::vector<std::string> noCompressList;  // patterns of files to store

  // -------------------------------------------------------------- events --
  std::function<void(int numFiles, uint64_t totalBytes, TEndCentral& endCentral, bool& stopNow)> onStartZipInfo;
  std::function<void(const std::string& name, TZipHeaderInfo& header, bool& skip)> onStartZip;
  std::function<void(const std::string& name, uint64_t uncompressedSize, uint64_t compressedSize,
                     uint64_t currentZipSize)> onEndZip;
  std::function<void(const std::string& name, bool& skip)> onDisposeFile;
  std::function<void(const std::string& name)> onNoSuchFile;
  // Before an entry is deleted (no operation of the writer deletes entries
  // yet; hosts may set it already).
  std::function<void(const std::string& name, bool& skip)> onDeleteEntry;

  // ---------------------------------------------------------- operations --
  // Adds (or replaces) one entry holding `length` bytes at `buffer` and
  // rewrites the archive; returns the number of entries added (1).
  int ZipFromBuffer(const void* buffer, size_t length, const std::string& entryName);
  // Adds the files named (or matched) by filesList; returns the count added.
  int Zip();
  // Writes pending comment changes, if any.
  void SaveModifiedZipFile();
  // Writes pending comment changes, then takes the new name.
  void SetZipName(const std::string& name) override;
  // The multi-part settings of multiZipInfo, the reader's copies kept in step.
  TMultiMode GetMultiMode() const override { return multiZipInfo.multiMode; }
  void SetMultiMode(TMultiMode mode) override;
  bool GetCheckDiskLabels() const override { return multiZipInfo.checkDiskLabels; }
  void SetCheckDiskLabels(bool on) override;

 private:
  struct Rebuild;
  struct NewEntry;

  int ProcessFiles();
  void ExpandForWildCards();
  void ExpandFolder(const std::string& folder, const std::string& pattern, std::vector<std::string>& out);
  bool IsInExcludeList(const std::string& name) const;
  bool IsInNoCompressList(const std::string& name) const;
  // The name as stored: OEM-filtered, folder kept or dropped by the path options.
  std::string EntryNameFor(const std::string& name);
  int FilesListMatches(const TZipHeaderInfo& entry);
  void MoveExistingFiles(Rebuild& r);
  void CopyEntry(Rebuild& r, const TZipHeaderInfo& entry);
  bool AddFileToZip(Rebuild& r, const std::string& name);
  void WriteEntryData(Rebuild& r, TZipHeaderInfo& entry, TStream* file, const std::string& name);
  void Pump();
  void CopyStub(Rebuild& r);
  // The central directory and the end record at the output's position.
  void WriteDirectory(Rebuild& r);
  // Multi-part output: the staged entries cut into parts, every record
  // whole on one part, the next part, and the parts moved into place once
  // the set is complete.
  void WriteParts(Rebuild& r, bool oldSpan);
  void Emit(Rebuild& r, std::span<const uint8_t> bytes);
  void EnsureRoom(Rebuild& r, int64_t need);
  void NextPart(Rebuild& r);
  void StartPart(Rebuild& r, int64_t room);
  int64_t DiskRoom(const Rebuild& r);
  // Asks for disk `disk` (from 1) of a spanned set; EUserCanceled when refused.
  void AskForDisk(int disk);
  void LabelDisk(int disk);
  void CommitBlocks(Rebuild& r, const std::vector<std::string>& oldParts);
  void CommitSpanned(Rebuild& r);
  struct OldPart;
  void PutBackOldPart(Rebuild& r, std::vector<OldPart>& old, int disk, bool sure);
  std::string KeepInStaging(TFileReplacement& file, const std::string& which, int disk);
  // The staging folder (tempPath, else the system's temporary folder), and
  // a file in it.
  std::string StagingFolder();
  std::unique_ptr<TFileReplacement> BeginStaging(bool span);
  // The component shows the set just written without reading it again.
  void TakeWrittenDirectory(Rebuild& r);

  TZipperDisk& disk_;
  bool storePaths_ = false;
  bool relativePaths_ = false;
  bool storeVolumes_ = false;
  // Memory input of ZipFromBuffer; null when adding files.
  const uint8_t* buffer_ = nullptr;
  size_t bufferLength_ = 0;
};

}  // namespace kv
