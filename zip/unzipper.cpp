#include "zip/unzipper.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "base/scope_guard.h"
#include "zip/crc32.h"
#include "zip/decode_io.h"
#include "zip/zip_errors.h"
#include "zip/zip_files.h"
#include "zip/zip_support.h"

namespace kv {

namespace {

constexpr int64_t kIoBlock = 16000;           // raw entry bytes per refill
constexpr int kMaxPasswordRetries = 100;      // new passwords offered for one entry
constexpr int64_t kScanPollInterval = 10240;  // bytes between polls of the hard scan
constexpr int64_t kSfxScanStart = 14000;      // where a self-extractor's archive may start
// Data no decoder can make a byte of: nothing (stored) or the two bytes of
// an empty deflate stream. Such an entry is still read once the cap is spent.
constexpr uint32_t kEmptyDataSize = 2;
constexpr char kSpannedLabelPrefix[] = "PKBACK# ";  // + the disk's number in three digits
constexpr int kMaxDiskRequests = 100;           // answers OnGetNextDisk may give for one disk
constexpr uint64_t kMaxSetDirectory = 64 << 20;  // a multi-disk set's directory, gathered in memory
constexpr char kZipFilter[] = "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*";

std::string ThreeDigits(int n) {
  std::string s = std::to_string(n);
  return s.size() < 3 ? std::string(3 - s.size(), '0') + s : s;
}

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

bool EqualText(const std::string& a, const std::string& b) { return CompareText(a, b) == 0; }

// The entry's raw bytes, decrypted when keys are given. A short read means
// the archive changed or was cut under us: EFatalUnzipError.
class EntryInput : public TDecodeInput {
 public:
  using ReadFn = std::function<int64_t(void*, int64_t)>;
  EntryInput(ReadFn read, int64_t size, TZipKeys* keys, const std::function<void()>& poll)
      : read_(std::move(read)), left_(size), keys_(keys), poll_(poll), buffer_(static_cast<size_t>(kIoBlock)) {}

 protected:
  bool Refill() override {
    if (left_ <= 0) return false;
    poll_();
    const int64_t n = std::min(left_, kIoBlock);
    if (read_(buffer_.data(), n) != n) throw EFatalUnzipError();
    if (keys_ != nullptr) keys_->DecryptBuff(std::span<uint8_t>(buffer_.data(), static_cast<size_t>(n)));
    left_ -= n;
    cur_ = buffer_.data();
    end_ = cur_ + n;
    return true;
  }

 private:
  ReadFn read_;
  int64_t left_;
  TZipKeys* keys_;
  const std::function<void()>& poll_;
  std::vector<uint8_t> buffer_;
};

// Where decoded bytes go: counted against this entry's size and the call's
// cap, CRC'd, written, reported as progress.
class EntryOutput : public TDecodeOutput {
 public:
  EntryOutput(TStream& dest, uint64_t entrySize, uint64_t capLeft, std::function<void(uint64_t)> progress)
      : dest_(dest), entrySize_(entrySize), capLeft_(capLeft), progress_(std::move(progress)) {}
  void Write(std::span<const uint8_t> bytes) override {
    if (bytes.empty()) return;
    if (bytes.size() > capLeft_ - std::min(capLeft_, bytesOut_)) capHit_ = true;
    if (bytes.size() > entrySize_ - bytesOut_ || capHit_) throw EBiggerThanUncompressed();
    dest_.WriteBuffer(bytes);
    crc_ = UpdateCrcBuff(crc_, bytes);
    bytesOut_ += bytes.size();
    progress_(bytes.size());
  }
  uint64_t BytesOut() const { return bytesOut_; }
  uint32_t Crc() const { return ~crc_; }
  // True when a write would have passed the call's cap.
  bool CapHit() const { return capHit_; }

 private:
  TStream& dest_;
  uint64_t entrySize_;
  uint64_t capLeft_;
  std::function<void(uint64_t)> progress_;
  uint64_t bytesOut_ = 0;
  uint32_t crc_ = kCrcInit;
  bool capHit_ = false;
};

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsDeviceName(std::string component) {
  const size_t dot = component.find('.');
  if (dot != std::string::npos) component.resize(dot);
  while (!component.empty() && component.back() == ' ') component.pop_back();
  component = LowerAscii(component);
  static const std::array<const char*, 6> kNames = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* n : kNames) {
    if (component == n) return true;
  }
  return component.size() == 4 && (component.compare(0, 3, "com") == 0 || component.compare(0, 3, "lpt") == 0) &&
         component[3] >= '0' && component[3] <= '9';
}

}  // namespace

bool IsSafeEntryName(const std::string& name) {
  if (name.empty()) return true;
  if (name.front() == '\\' || name.front() == '/') return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (!part.empty()) {
      if (part.find_first_not_of(". ") == std::string::npos) return false;  // ".", "..", "..."
      if (IsDeviceName(part)) return false;
      for (char c : part) {
        if (static_cast<unsigned char>(c) < 32 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|') {
          return false;
        }
      }
    }
    start = end + 1;
  }
  return true;
}

struct TUnZipper::Extraction {
  uint64_t totalBytes = 0;
  uint64_t doneBytes = 0;
  // Every byte decoded by this call, failed entries included: the work
  // maxOutputSize bounds.
  uint64_t decoded = 0;
  // Selected entries whose bytes lie inside an earlier selected entry's.
  std::unordered_set<const TZipHeaderInfo*> overlapping;
  // Folders whose stale temporary files this call has removed already.
  std::unordered_set<std::string> sweptFolders;
  std::function<void()> poll;
};

// ------------------------------------------------------------- lifecycle --

TUnZipper::TUnZipper() : TUnZipper(DefaultZipFileSystem()) {}
TUnZipper::TUnZipper(TZipFileSystem& fs) : fs_(fs) {
  onGetNextDisk = [this](int nextDisk, std::string& name) { DefaultGetNextDisk(nextDisk, name); };
}
TUnZipper::~TUnZipper() = default;

void TUnZipper::SetZipName(const std::string& name) {
  if (SameTextAnsi(name, zipName_)) return;
  std::string chosen = name;
  if (!chosen.empty() && chosen.back() == '?') {
    TZipDialog d;
    d.kind = TZipDialogKind::OpenFile;
    d.caption = "Open a Zip File";
    d.filter = kZipFilter;
    const size_t cut = chosen.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? std::string() : chosen.substr(0, cut);
    d.initialDir = !folder.empty() && fs_.DirExists(folder) ? folder : "C:\\";
    const TZipDialogAnswer answer = dialogHook ? dialogHook(d) : TZipDialogAnswer{};
    if (!answer.ok) throw EUserCanceled("User canceled setting zip file name.");
    chosen = answer.path;
  }
  zipName_ = chosen;
  ResetDirectory();
}

bool TUnZipper::Ask(TZipDialogKind kind, const std::string& text, const std::string& caption) {
  TZipDialog d;
  d.kind = kind;
  d.text = text;
  d.caption = caption;
  return dialogHook && dialogHook(d).ok;
}

void TUnZipper::ResetDirectory() {
  sorted_.reset();
  entries_.reset();
  zipDate_.reset();
  endCentral_.Clear();
  endCentralModified_ = false;
  pendingZipComment_.reset();
  pendingFileComments_.clear();
  zipStream_.reset();
  hardScan_ = false;
  directoryWhole_ = false;
  multiMode_ = TMultiMode::mmNone;
  currentDisk_ = lastDisk_ = 0;
  centralCopy_.reset();
}

void TUnZipper::SetDestDir(const std::string& dir) {
  if (dir == "?") {
    TZipDialog d;
    d.kind = TZipDialogKind::BrowseFolder;
    d.caption = "Destination Directory";
    d.initialDir = !destDir_.empty() && fs_.DirExists(destDir_) ? destDir_ : fs_.CurrentFolder(0);
    const TZipDialogAnswer answer = dialogHook ? dialogHook(d) : TZipDialogAnswer{};
    if (!answer.ok) throw EUserCanceled("User canceled Set Desination Directory");
    destDir_ = answer.path;
  } else {
    destDir_ = dir;
  }
  if (!destDir_.empty() && destDir_.back() == '\\') destDir_.pop_back();
}

void TUnZipper::SetRootDir(const std::string& dir) {
  rootDir_ = dir;
  if (!rootDir_.empty() && rootDir_.back() != '\\') rootDir_ += '\\';
}

void TUnZipper::Sort(TZipSortMode mode) {
  sorted_.reset();
  sortMode_ = mode;
  if (mode == TZipSortMode::ByNone || !entries_) return;
  sorted_ = std::make_unique<TSortedZip>(TDuplicates::Accept, /*ownsObjects=*/false, mode);
  for (TZipHeaderInfo* e : *entries_) sorted_->AddRef(e);
}

TSortedZip* TUnZipper::View() const { return sorted_ ? sorted_.get() : entries_.get(); }

int TUnZipper::Count() const { return entries_ ? entries_->Count() : 0; }

const TZipHeaderInfo& TUnZipper::Entry(int index) const {
  if (!View() || index < 0 || index >= Count()) {
    throw EListError("Index " + std::to_string(index) + " is out of range");
  }
  return *View()->Get(index);
}

std::string TUnZipper::FileName(int index) const { return Entry(index).FullName(); }

double TUnZipper::DateTime(int index) const { return DosDateTimeToValue(Entry(index).lastModFileDateTime); }

// ------------------------------------------------------------- comments --

std::string TUnZipper::FileComment(int index) {
  TZipHeaderInfo& e = const_cast<TZipHeaderInfo&>(Entry(index));
  if (e.FileComment()) return *e.FileComment();
  // A set's records all lie in the gathered copy (the first at 0); a
  // single file's entry at 0 was found by the scan and has no record.
  if (e.fileCommentLength == 0 || (e.centralOffset <= 0 && !centralCopy_)) return {};
  const bool wasOpen = zipStream_ != nullptr || centralCopy_;
  if (!wasOpen) OpenArchiveFile();
  // A set's records are held in memory; a single file's are read from it.
  TStream& from = centralCopy_ ? static_cast<TStream&>(*centralCopy_) : *zipStream_;
  // The name's length as stored (a UTF-8 name is held shorter), then the
  // extra field's, from the record itself.
  std::array<uint8_t, 4> lengths{};
  from.Seek(e.centralOffset + 28, TSeekOrigin::Beginning);
  from.ReadBuffer(lengths.data(), 4);
  const int64_t at = e.centralOffset + kCentralHeaderSize + (lengths[0] | lengths[1] << 8) + (lengths[2] | lengths[3] << 8);
  const int64_t avail = std::max<int64_t>(from.Size() - at, 0);
  std::string text(static_cast<size_t>(std::min<int64_t>(e.fileCommentLength, avail)), '\0');
  from.Seek(at, TSeekOrigin::Beginning);
  from.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  if (!wasOpen && !keepZipOpen) zipStream_.reset();
  const uint16_t length = e.fileCommentLength;
  e.SetFileComment(text);
  e.fileCommentLength = length;  // fetched, not changed
  return text;
}

void TUnZipper::SetFileComment(int index, const std::string& comment) {
  if (FileComment(index) == comment) return;
  TZipHeaderInfo& e = const_cast<TZipHeaderInfo&>(Entry(index));
  e.SetFileComment(comment);
  pendingFileComments_[LowerAscii(e.FullName())] = comment;
  endCentralModified_ = true;
}

void TUnZipper::FetchComments() {
  for (int i = 0; i < Count(); ++i) FileComment(i);
}

std::string TUnZipper::ZipComment() {
  if (endCentral_.ZipComment()) return *endCentral_.ZipComment();
  if (!endCentral_.HasComment() || zipName_.empty()) return {};
  const bool wasOpen = zipStream_ != nullptr;
  if (!wasOpen) OpenArchiveFile();
  if (currentDisk_ != lastDisk_) SwapDisk(lastDisk_ + 1);  // the comment follows the end record
  std::string text = endCentral_.ReadComment(*zipStream_);
  if (!wasOpen && !keepZipOpen) zipStream_.reset();
  const uint16_t length = endCentral_.zipCommentLength;
  endCentral_.SetZipComment(text);
  endCentral_.zipCommentLength = length;
  return text;
}

void TUnZipper::SetZipComment(const std::string& comment) {
  // The comment lives in the end record, which comes with the directory:
  // read it first, so that the new comment is compared with the archive's
  // and reading the directory later cannot put the old one back.
  if (!entries_ && !zipName_.empty() && fs_.FileExists(zipName_)) ReadZip();
  if (ZipComment() == comment) return;
  endCentral_.SetZipComment(comment);
  pendingZipComment_ = comment;
  endCentralModified_ = true;
}

// ------------------------------------------------------------ directory --

void TUnZipper::OpenZip() {
  // A file replaced since the directory was read: reopen it (a stream kept
  // open would still show the old file) and read its directory again.
  const bool changed = entries_ && fs_.FileDosDateTime(zipName_) != zipDate_;
  if (changed) zipStream_.reset();
  if (!zipStream_) OpenArchiveFile();
  if (!entries_ || changed) {
    GetFileInfo();
    // Comments set and not yet written stay the ones to write, also over
    // the directory of a file replaced meanwhile (by entry name there).
    if (pendingZipComment_) endCentral_.SetZipComment(*pendingZipComment_);
    if (!pendingFileComments_.empty()) {
      for (TZipHeaderInfo* e : *entries_) {
        const auto it = pendingFileComments_.find(LowerAscii(e->FullName()));
        if (it != pendingFileComments_.end()) e->SetFileComment(it->second);
      }
    }
  }
}

void TUnZipper::OpenArchiveFile() {
  zipStream_ = std::make_unique<TLFNFileStream>(fs_, zipName_, TFileOpenMode::ReadDenyWrite);
  // A blocks set's file under its name is its last part; a spanned set's
  // is whatever disk is in the drive, so the first access asks for its disk.
  currentDisk_ = multiMode_ == TMultiMode::mmSpan ? -1 : lastDisk_;
}

// ------------------------------------------------------ multi-disk sets --

std::string TUnZipper::DriveRoot(const std::string& name) {
  if (name.size() < 2 || name[1] != ':' || !std::isalpha(static_cast<unsigned char>(name[0]))) return {};
  return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])))) + ":\\";
}

std::string TUnZipper::BlockPartName(const std::string& name, int disk, int lastDisk) {
  if (disk - 1 == lastDisk) return name;
  const size_t folder = name.find_last_of("\\/:");
  const size_t dot = name.find_last_of('.');
  const bool hasExt = dot != std::string::npos && (folder == std::string::npos || dot > folder);
  return (hasExt ? name.substr(0, dot) : name) + "." + ThreeDigits(disk);
}

std::string TUnZipper::SpannedDiskLabel(int disk) { return kSpannedLabelPrefix + ThreeDigits(disk); }

bool TUnZipper::LabelsDisksOf(const std::string& root) { return root == "A:\\" || root == "B:\\"; }

void TUnZipper::DefaultGetNextDisk(int nextDisk, std::string& name) {
  if (multiMode_ == TMultiMode::mmSpan || askForDisks_) {
    const TNormalCursor normal;  // also inside a scan's or a rebuild's hourglass
    if (!Ask(TZipDialogKind::OkCancel, "Please insert disk " + std::to_string(nextDisk) + " of the multi-disk set.",
             "Confirm")) {
      name.clear();
    }
    return;
  }
  name = BlockPartName(zipName_, nextDisk, lastDisk_);
}

void TUnZipper::SwapDisk(int disk) {
  zipStream_.reset();
  for (int asked = 0; asked < kMaxDiskRequests; ++asked) {
    std::string name = zipName_;
    if (onGetNextDisk) onGetNextDisk(disk, name);
    if (name.empty()) throw EUserCanceled("User canceled loading new disk.");
    // A spanned set's disks carry their number at the end of the label
    // where the writer labels them, or when their label has its form.
    // (Through the virtual getter: a writer keeps the setting in its
    // multi-part settings.)
    if (multiMode_ == TMultiMode::mmSpan && GetCheckDiskLabels()) {
      const std::string root = DriveRoot(name);
      const std::string label = GetVolumeLabel(fs_, root);
      const bool labelled = LabelsDisksOf(root) || label.rfind(kSpannedLabelPrefix, 0) == 0;
      if (labelled && RightStr(label, 3) != ThreeDigits(disk)) continue;
    }
    if (!fs_.FileExists(name)) continue;
    zipStream_ = std::make_unique<TLFNFileStream>(fs_, name, TFileOpenMode::ReadDenyWrite);
    currentDisk_ = disk - 1;
    // The date of the file under the archive's name as last seen (every
    // part of a spanned set has that name), so that OpenZip does not take
    // another disk of the set for a changed archive.
    if (CompareText(name, zipName_) == 0) zipDate_ = fs_.FileDosDateTime(name);
    return;
  }
  throw EIncompleteZip("Incomplete Zip File (disk " + std::to_string(disk) + " of the set cannot be found)");
}

void TUnZipper::SeekPart(uint32_t disk, int64_t offset) {
  if (multiMode_ != TMultiMode::mmNone) {
    if (disk > static_cast<uint32_t>(lastDisk_)) throw EBadZipFile("Not a valid zip file! (no disk " + std::to_string(disk + 1) + " in the set)");
    if (!zipStream_ || static_cast<int>(disk) != currentDisk_) SwapDisk(static_cast<int>(disk) + 1);
  }
  zipStream_->Seek(offset, TSeekOrigin::Beginning);
}

int64_t TUnZipper::ReadAcross(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t got = zipStream_->Read(out, count);
  while (got < count && multiMode_ != TMultiMode::mmNone && currentDisk_ < lastDisk_) {
    SwapDisk(currentDisk_ + 2);
    got += zipStream_->Read(out + got, count - got);
  }
  return got;
}

namespace {

// The directory of a set as its records are read: bytes come from the
// current part (whichever that is when they are asked for), never more than
// the directory's size, and each one read or skipped is kept in a copy, so
// that positions count from the directory's start and later reads (file
// comments, records copied by a rebuild) need no disk again.
class TSetDirectoryStream : public TStream {
 public:
  TSetDirectoryStream(std::function<TStream&()> part, TMemoryStream& copy, int64_t size)
      : part_(std::move(part)), copy_(copy), size_(size) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t want = std::min(count, size_ - pos_);
    if (want <= 0) return 0;
    const int64_t got = part_().Read(buffer, want);
    copy_.WriteBuffer(buffer, got);
    pos_ += got;
    return got;
  }
  int64_t Write(const void*, int64_t) override { throw EZipWriteError(); }
  // Forward: the bytes are read (and kept); backward: only on the way to a
  // failure, which ends the read.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t target = origin == TSeekOrigin::Current ? pos_ + offset : origin == TSeekOrigin::End ? size_ + offset : offset;
    std::vector<uint8_t> skip(4096);
    while (target > pos_) {
      if (Read(skip.data(), std::min<int64_t>(target - pos_, static_cast<int64_t>(skip.size()))) == 0) break;
    }
    return pos_;
  }
  int64_t Size() override { return size_; }

 private:
  std::function<TStream&()> part_;
  TMemoryStream& copy_;
  int64_t size_;
  int64_t pos_ = 0;
};

}  // namespace

// The directory of a set may begin on any part and run over the following
// ones: its records are read part after part, a new part taken where one
// ends, and kept in memory (bounded).
void TUnZipper::ReadMultiDiskDirectory(uint32_t centralDisk, uint64_t offset, uint64_t size, uint64_t total) {
  if (size > kMaxSetDirectory) throw EBadZipFile("Not a valid zip file! (the directory is larger than 64 MiB)");
  SeekPart(centralDisk, 0);
  if (offset > static_cast<uint64_t>(zipStream_->Size())) throw EBadZipFile();
  zipStream_->Seek(static_cast<int64_t>(offset), TSeekOrigin::Beginning);
  auto copy = std::make_unique<TMemoryStream>();
  TSetDirectoryStream directory([this]() -> TStream& { return *zipStream_; }, *copy, static_cast<int64_t>(size));
  const TZipHeaderInfo::TPartChange nextPart = [this, &directory]() -> TStream* {
    if (currentDisk_ >= lastDisk_) return nullptr;
    SwapDisk(currentDisk_ + 2);
    return &directory;
  };
  entries_ = std::make_unique<TSortedZip>(TDuplicates::Error);
  for (uint64_t i = 0; i < total; ++i) {
    auto e = std::make_unique<TZipHeaderInfo>();
    if (!e->ReadCentralFromStream(directory, nextPart)) throw EBadZipFile();
    entries_->Add(std::move(e));  // two records for one local header: "Duplicate Object index"
  }
  directoryWhole_ = directory.Position() == directory.Size();
  centralCopy_ = std::move(copy);
}

void TUnZipper::ReadZip() {
  cancel_ = false;
  OpenZip();
  CloseZip();
}

void TUnZipper::CloseZip() {
  if (!keepZipOpen) zipStream_.reset();
}

void TUnZipper::ClearZip() {
  ResetDirectory();
  zipName_.clear();
}

// The cancel request comes from the host's messages: without processing
// them there is none to take.
void TUnZipper::CheckCancel() {
  if (!doProcessMessages) return;
  if (onProcessMessages) {
    onProcessMessages();
  } else {
    ProcessPendingMessages();
  }
  if (cancel_) {
    cancel_ = false;
    throw EUserCanceled();
  }
}

void TUnZipper::GetFileInfo() {
  zipDate_ = fs_.FileDosDateTime(zipName_);
  sorted_.reset();
  entries_.reset();
  hardScan_ = false;
  directoryWhole_ = false;
  endCentral_.Clear();
  TStream& s = *zipStream_;

  // Any failure below leaves the component cleared: never a partial
  // directory, which a later rewrite would shrink the archive to.
  auto fail = [this](auto error) {
    ClearZip();
    throw error;
  };

  bool readCentral = false;
  uint64_t total = 0;
  if (endCentral_.ReadFromStream(s)) {
    uint32_t thisDisk = endCentral_.thisDisk, centralDisk = endCentral_.centralDisk;
    uint64_t offset = endCentral_.centralOffset;
    uint64_t centralSize = endCentral_.centralSize;
    total = endCentral_.totalEntries;
    // The zip64 record, where there is one, holds the true values (the end
    // record then says 0xFFFF or 0xFFFFFFFF, or a count cut to 16 bits).
    if (const auto wide = ReadZip64Directory(s, endCentral_.recordPosition)) {
      thisDisk = wide->thisDisk;
      centralDisk = wide->centralDisk;
      offset = wide->centralOffset;
      centralSize = wide->centralSize;
      total = wide->totalEntries;
    }
    if (thisDisk == 0 && centralDisk != 0) fail(EIncompleteZip());  // a part of a set, not its last
    if (total > static_cast<uint64_t>(kMaxListCount)) {
      fail(EBadZipFile("Not a valid zip file! (more than " + std::to_string(kMaxListCount) + " entries)"));
    }
    if (thisDisk != 0) {
      // The last part of a set: removable drives hold one disk each.
      if (centralDisk > thisDisk || thisDisk > 0xFFFF) fail(EBadZipFile());
      multiMode_ = fs_.IsRemovableDrive(DriveRoot(zipName_)) ? TMultiMode::mmSpan : TMultiMode::mmBlocks;
      currentDisk_ = lastDisk_ = static_cast<int>(thisDisk);
      try {
        ZipComment();  // behind the end record, on this disk
        ReadMultiDiskDirectory(centralDisk, offset, centralSize, total);
      } catch (...) {
        ClearZip();
        throw;
      }
      Sort(sortMode_);
      return;
    }
    // A single archive: also where the file under this name held a set
    // when the directory was last read.
    multiMode_ = TMultiMode::mmNone;
    currentDisk_ = lastDisk_ = 0;
    const bool atDirectory = CentralRecordAt(offset);
    if (total == 0) {
      // Records where the count says none: a count that wrapped at 65536.
      entries_ = std::make_unique<TSortedZip>(TDuplicates::Error);
      directoryWhole_ = !atDirectory;
      Sort(sortMode_);
      return;
    }
    readCentral = atDirectory;
  } else {
    TIncompleteZipMode mode = incompleteZipMode;
    if (onInCompleteZip) onInCompleteZip(mode);
    incompleteZipMode = mode;
    if (mode == TIncompleteZipMode::izAssumeMulti) fail(EIncompleteZip());
  }
  if (!readCentral) {
    const THourglassCursor hourglass;
    try {
      if (!ReadZipHardWay()) fail(EBadZipFile());
    } catch (const EListError&) {
      fail(EBadZipFile());
    }
    total = endCentral_.totalEntries;
  }

  if (!hardScan_) entries_ = std::make_unique<TSortedZip>(TDuplicates::Error);
  // A scan's entries by folded name (the first of each name), so that each
  // central record finds its entry at once however many there are.
  std::unordered_map<std::string, TZipHeaderInfo*> scanned;
  if (hardScan_) {
    for (TZipHeaderInfo* found : *entries_) scanned.try_emplace(LowerAscii(found->FullName()), found);
  }
  for (uint64_t i = 0; i < total; ++i) {
    auto e = std::make_unique<TZipHeaderInfo>();
    if (!e->ReadCentralFromStream(s)) {
      if (hardScan_) break;  // the scanned entries stand on their own
      fail(EBadZipFile());   // shorter than announced
    }
    if (hardScan_) {
      // Merge into the scanned entry of the same name, keeping its offset.
      const auto it = scanned.find(LowerAscii(e->FullName()));
      if (it != scanned.end()) {
        TZipHeaderInfo* found = it->second;
        const uint32_t offset = found->relativeOffset;
        found->Assign(*e);
        found->relativeOffset = offset;
      }
      continue;
    }
    try {
      entries_->Add(std::move(e));
    } catch (const EListError&) {
      ClearZip();  // two records for one local header: "Duplicate Object index"
      throw;
    }
  }
  // Whole: every record of the directory, and no further record after the
  // announced ones (a count cut to 16 bits). A scan is never whole: it stops
  // at what it cannot follow.
  directoryWhole_ = !hardScan_ && !CentralRecordAt(s.Position());
  Sort(sortMode_);
}

// True when a central record's signature lies at offset (the stream is left
// there when it does).
bool TUnZipper::CentralRecordAt(uint64_t offset) {
  TStream& s = *zipStream_;
  const int64_t size = s.Size();
  if (size < 4 || offset > static_cast<uint64_t>(size - 4)) return false;
  s.Seek(static_cast<int64_t>(offset), TSeekOrigin::Beginning);
  std::array<uint8_t, 4> sig{};
  if (s.Read(sig.data(), 4) != 4) return false;
  s.Seek(static_cast<int64_t>(offset), TSeekOrigin::Beginning);
  return (sig[0] | sig[1] << 8 | sig[2] << 16 | static_cast<uint32_t>(sig[3]) << 24) == kCentralHeaderSignature;
}

bool TUnZipper::ReadZipHardWay() {
  hardScan_ = true;
  entries_ = std::make_unique<TSortedZip>(TDuplicates::Error);
  TStream& s = *zipStream_;
  const int64_t size = s.Size();
  const bool sfx = zipName_.size() >= 4 && zipName_.compare(zipName_.size() - 4, 4, ".EXE") == 0;
  int64_t pos = sfx ? std::min(kSfxScanStart, size) : 0;
  s.Seek(pos, TSeekOrigin::Beginning);
  static constexpr uint8_t kSig[4] = {'P', 'K', 3, 4};
  int matched = 0;
  int64_t sincePoll = 0;
  uint8_t b = 0;
  while (matched < 4) {
    if (s.Read(&b, 1) != 1) return false;
    ++pos;
    if (++sincePoll >= kScanPollInterval) {
      sincePoll = 0;
      CheckCancel();
    }
    matched = b == kSig[matched] ? matched + 1 : (b == 'P' ? 1 : 0);
  }
  s.Seek(pos - 4, TSeekOrigin::Beginning);
  for (;;) {
    auto e = std::make_unique<TZipHeaderInfo>();
    if (!e->ReadLocalFromStream(s)) break;
    int64_t next = s.Position() + e->extraFieldLength + int64_t{e->compressedSize};
    if (e->HasDescriptor()) next += 16;
    entries_->Add(std::move(e));
    if (next > size) break;
    s.Seek(next, TSeekOrigin::Beginning);
  }
  if (entries_->Empty()) return false;
  // The scan reads one file: no parts of a set are asked for.
  endCentral_.thisDisk = 0;
  multiMode_ = TMultiMode::mmNone;
  currentDisk_ = lastDisk_ = 0;
  endCentral_.centralOffset = static_cast<uint32_t>(s.Position());
  endCentral_.totalEntries = static_cast<uint16_t>(entries_->Count());
  return true;
}

// ------------------------------------------------------------ extraction --

int TUnZipper::UnZipToStream(TStream& out, const std::string& entryName) {
  busy_ = true;
  cancel_ = false;
  outStream_ = &out;
  toStream_ = true;
  ScopeGuard reset([this] {
    toStream_ = false;
    outStream_ = nullptr;
    CloseZip();
    busy_ = false;
    cancel_ = false;
  });
  OpenZip();
  filesList.assign(1, entryName);
  return UnZipFiles();
}

int TUnZipper::UnZip() {
  busy_ = true;
  cancel_ = false;
  ScopeGuard reset([this] {
    CloseZip();
    busy_ = false;
    cancel_ = false;
  });
  OpenZip();
  return UnZipFiles();
}

int TUnZipper::UnZipFiles() {
  if (!toStream_ && !destDir_.empty() && !fs_.DirExists(destDir_)) fs_.ForceDirs(destDir_);
  // A set is read disk after disk: in archive order.
  const TZipSortMode savedSort = sortMode_;
  if (multiMode_ != TMultiMode::mmNone && savedSort != TZipSortMode::ByNone) Sort(TZipSortMode::ByNone);
  ScopeGuard restoreSort([this, savedSort] {
    if (sortMode_ != savedSort) Sort(savedSort);
  });
  Extraction x;
  x.poll = [this] { CheckCancel(); };
  std::vector<std::string> patterns;
  for (std::string p : filesList) {
    UnixToDOSFilename(p);
    patterns.push_back(LowerAscii(p));
  }
  TSortedZip* view = View();
  for (TZipHeaderInfo* e : *view) {
    e->matchFlag = doAll;
    if (e->FileName().empty() && !recreateDirs) {
      e->matchFlag = false;
      continue;
    }
    if (!e->matchFlag) {
      const std::string name = LowerAscii(e->FullName());
      e->matchFlag = std::any_of(patterns.begin(), patterns.end(), [&](const std::string& p) { return IsMatch(p, name); });
    }
  }
  KeepLastOfEachName();
  FindOverlaps(x.overlapping);
  int selected = 0;
  for (const TZipHeaderInfo* e : *view) {
    if (!e->matchFlag) continue;
    ++selected;
    x.totalBytes += e->uncompressedSize;
  }
  bool stop = false;
  if (onStartUnZipInfo) onStartUnZipInfo(selected, x.totalBytes, stop);
  if (stop || selected == 0) return toStream_ ? selected : 0;
  int extracted = 0;
  for (int i = 0; i < view->Count(); ++i) {
    if (!view->Get(i)->matchFlag) continue;
    EntryOutcome outcome = EntryOutcome::Retry;
    for (int attempt = 0; outcome == EntryOutcome::Retry && attempt <= kMaxPasswordRetries; ++attempt) {
      outcome = DoUnzip(x, i);
    }
    if (outcome == EntryOutcome::Done) ++extracted;
  }
  return toStream_ ? selected : extracted;
}

// Of several selected entries with one name (ASCII case ignored) only the
// last in the directory stays selected: it is the one a writer that appends
// meant. Writing every copy into one stream would hand the caller a text
// made of several versions of one file, and reading every copy would let
// one archive multiply the work.
void TUnZipper::KeepLastOfEachName() {
  const auto later = [](const TZipHeaderInfo* a, const TZipHeaderInfo* b) {
    return a->centralOffset != b->centralOffset ? a->centralOffset > b->centralOffset
                                                : a->relativeOffset > b->relativeOffset;
  };
  std::unordered_map<std::string, TZipHeaderInfo*> last;
  for (TZipHeaderInfo* e : *entries_) {
    if (!e->matchFlag) continue;
    auto [it, added] = last.try_emplace(LowerAscii(e->FullName()), e);
    if (added) continue;
    TZipHeaderInfo* dropped = e;
    if (later(e, it->second)) std::swap(dropped, it->second);
    dropped->matchFlag = false;
  }
}

// A selected entry whose local header lies inside the data of an earlier
// selected entry shares bytes with it. No writer makes such entries; they
// let a small archive name the same data (or the same endless run of empty
// blocks) thousands of times, so they are skipped as damaged. The end of an
// entry's data is taken at its least (header without name, stored size); an
// entry claiming data past the end of the archive claims nothing (it
// raises when its turn comes).
void TUnZipper::FindOverlaps(std::unordered_set<const TZipHeaderInfo*>& overlapping) const {
  // In a set, offsets count within their disk, and data may run on into
  // the next part.
  const bool set = multiMode_ != TMultiMode::mmNone;
  const int64_t size = set ? 0 : zipStream_->Size();
  int64_t end = 0;
  uint32_t disk = 0;
  for (const TZipHeaderInfo* e : *entries_) {  // archive order
    if (!e->matchFlag || e->FileName().empty()) continue;
    if (e->diskNumberStart != disk) {
      disk = e->diskNumberStart;
      end = 0;
    }
    if (int64_t{e->relativeOffset} < end) {
      overlapping.insert(e);
      continue;
    }
    const int64_t dataEnd = int64_t{e->relativeOffset} + kLocalHeaderSize + int64_t{e->compressedSize};
    if (set || dataEnd <= size) end = std::max(end, dataEnd);
  }
}

std::string TUnZipper::TargetPath(const TZipHeaderInfo& entry, bool& unsafe) const {
  std::string dir = recreateDirs ? entry.Directory() : std::string();
  if (!dir.empty() && !rootDir_.empty() && dir.size() >= rootDir_.size() &&
      EqualText(dir.substr(0, rootDir_.size()), rootDir_)) {
    dir.erase(0, rootDir_.size());
  }
  // A folder stored with its drive ("C:\src\") goes below DestDir without
  // the drive; with no DestDir it names a place of its own and stays refused.
  if (!destDir_.empty() && dir.size() >= 2 && dir[1] == ':' && IsAsciiLetter(dir[0])) dir.erase(0, 2);
  std::string rel = dir + entry.FileName();
  if (!rel.empty() && rel.front() == '\\' && !destDir_.empty()) rel.erase(0, rel.find_first_not_of('\\'));
  unsafe = !IsSafeEntryName(rel);
  return destDir_ + "\\" + rel;
}

// One entry on its way out: what the check found and where its bytes go.
struct TUnZipper::EntryJob {
  int index = 0;
  TZipHeaderInfo entry;
  std::string name;      // the held full name, for the events
  std::string path;      // disk road: the target file
  TZipKeys keys;         // encrypted entries: keyed past the 12-byte header
  int64_t dataSize = 0;  // raw bytes after the encryption header
  TStream* dest = nullptr;
  // Disk road: the new file beside the target, until it replaces it.
  std::unique_ptr<TFileReplacement> file;
  bool removeStale = false;  // the first entry into its folder in this call
  // Stream road: where to cut the stream back to when the entry fails.
  int64_t rollbackSize = 0;
  int64_t rollbackPos = 0;
};

// Check, open, decode, commit: each stage may end the entry; whatever
// ends it after the destination was opened, the destination loses this
// entry's bytes unless the commit took them.
TUnZipper::EntryOutcome TUnZipper::DoUnzip(Extraction& x, int index) {
  EntryJob job;
  job.index = index;
  job.entry = *View()->Get(index);
  job.name = job.entry.FullName();
  if (x.overlapping.contains(View()->Get(index))) return Skip(job, TSkipReason::Damaged);
  if (toStream_ && x.decoded >= maxOutputSize && job.entry.compressedSize > kEmptyDataSize) {
    // The call's cap is spent: the entry would fail at its first output
    // byte, so it fails here, unread, as an entry whose output was cut off
    // before anything came (the CRC of nothing is 0).
    if (onBadCRC) onBadCRC(0, job.entry.crc32, index);
    return EntryOutcome::Failed;
  }
  if (const auto ended = CheckEntry(job)) return *ended;
  if (!toStream_) job.removeStale = x.sweptFolders.insert(job.path.substr(0, job.path.find_last_of('\\') + 1)).second;
  if (const auto ended = OpenDestination(job)) return *ended;
  const uint64_t doneBefore = x.doneBytes;
  // The cap bounds what lands in memory; a file on disk is bounded by its size field.
  const uint64_t capLeft = toStream_ ? maxOutputSize - std::min(maxOutputSize, x.decoded) : UINT64_MAX;
  EntryOutput out(*job.dest, job.entry.uncompressedSize, capLeft, [&](uint64_t n) {
    x.doneBytes += n;
    if (onFilePercentDone) onFilePercentDone(CBigRate(job.entry.uncompressedSize, x.doneBytes - doneBefore));
    if (onTotalPercentDone) onTotalPercentDone(CBigRate(x.totalBytes, x.doneBytes));
  });
  TDecodeResult result = TDecodeResult::BadData;
  try {
    result = DecodeEntry(x, job, out);
  } catch (...) {
    x.doneBytes = doneBefore;
    DiscardDestination(job);
    throw;
  }
  // An entry stopped by the cap spends it: the next byte of any entry
  // would pass it too.
  x.decoded = out.CapHit() ? maxOutputSize : x.decoded + out.BytesOut();
  // Fewer bytes than the size field says fail even when their CRC checks:
  // the CRC of a cut output can be the stored one (nothing, and a CRC of
  // 0), and taking it would hand the caller a shortened entry as whole.
  const bool good = result == TDecodeResult::Ok && !out.CapHit() && out.BytesOut() == job.entry.uncompressedSize &&
                    out.Crc() == job.entry.crc32;
  if (!good) x.doneBytes = doneBefore;
  return CommitEntry(job, good, out.Crc());
}

TUnZipper::EntryOutcome TUnZipper::Skip(const EntryJob& job, TSkipReason reason) {
  if (onSkippingFile) onSkippingFile(reason, job.name, job.index);
  return reason == TSkipReason::FileExists || reason == TSkipReason::BadPassword ? EntryOutcome::Skipped
                                                                                   : EntryOutcome::Failed;
}

// Whether the entry can be extracted at all: a method and sizes this
// library reads, a local header where the directory says, data inside the
// file, a name that stays below DestDir, the password. Positions the
// archive at the entry's data (past the encryption header).
std::optional<TUnZipper::EntryOutcome> TUnZipper::CheckEntry(EntryJob& job) {
  const TZipHeaderInfo& entry = job.entry;
  // Folder entries produce nothing but, on the disk road, their folder.
  if (entry.FileName().empty()) {
    if (!recreateDirs || toStream_) return EntryOutcome::Skipped;  // nothing to produce
    bool unsafe = false;
    const std::string path = TargetPath(entry, unsafe);
    if (unsafe) return Skip(job, TSkipReason::UnsafeName);
    fs_.ForceDirs(path);
    bool skipIt = false;
    if (onStartUnZip) onStartUnZip(job.index, job.name, skipIt);
    return EntryOutcome::Done;
  }

  const uint16_t method = entry.compressionMethod;
  const bool known = method == kMethodStored || method == kMethodShrunk ||
                     (method >= kMethodReduced1 && method <= kMethodReduced4) || method == kMethodImploded ||
                     method == kMethodDeflated;
  // 0xFFFFFFFF sizes are values past 32 bits (the directory reader keeps
  // the maximum where the zip64 block's value does not fit);
  // flag bit 6 is the strong encryption this library does not do.
  // An unknown method goes the whole road and decodes nothing (the CRC
  // check then refuses it); one whose stored CRC is 0, that of nothing,
  // would pass as extracted while its data are lost, so it is skipped.
  if (!known && entry.crc32 == 0) {
    Ask(TZipDialogKind::Message, "Unknown Compression Method", "Zip Error");
    return Skip(job, TSkipReason::Unsupported);
  }
  if (entry.compressedSize == 0xFFFFFFFFu || entry.uncompressedSize == 0xFFFFFFFFu || (entry.flag & 0x40) != 0) {
    return Skip(job, TSkipReason::Unsupported);
  }

  SeekPart(entry.diskNumberStart, 0);
  TStream& archive = *zipStream_;
  const int64_t archiveSize = archive.Size();
  const bool set = multiMode_ != TMultiMode::mmNone;
  // A single file that ends before the local header and its name was cut
  // short, as one that ends inside the data.
  if (int64_t{entry.relativeOffset} + kLocalHeaderSize > archiveSize) {
    if (!set) throw EFatalUnzipError();
    return Skip(job, TSkipReason::Damaged);
  }
  // Of the local header only its name and extra field lengths are used: the
  // data's size and CRC come from the directory, and the CRC judges what
  // the data give.
  archive.Seek(entry.relativeOffset, TSeekOrigin::Beginning);
  std::array<uint8_t, kLocalHeaderSize> local{};
  if (archive.Read(local.data(), kLocalHeaderSize) != kLocalHeaderSize) return Skip(job, TSkipReason::Damaged);
  // In a set the data may go on in the next parts. A single file that ends
  // inside the entry's name, extra field or data was cut short: told before
  // anything is read, as the read itself would tell it.
  const int64_t nameLength = local[26] | local[27] << 8;
  const int64_t dataStart = int64_t{entry.relativeOffset} + kLocalHeaderSize + nameLength + (local[28] | local[29] << 8);
  if (!set && (dataStart > archiveSize || int64_t{entry.compressedSize} > archiveSize - dataStart)) {
    throw EFatalUnzipError();
  }
  if (dataStart > archiveSize) return Skip(job, TSkipReason::Damaged);
  // Read past the name rather than seek: a seek drops the stream's buffer,
  // which already holds the data's start.
  std::vector<uint8_t> name(static_cast<size_t>(nameLength));
  archive.Read(name.data(), nameLength);
  archive.Seek(dataStart, TSeekOrigin::Beginning);

  if (!toStream_) {
    bool unsafe = false;
    job.path = TargetPath(entry, unsafe);
    if (unsafe) return Skip(job, TSkipReason::UnsafeName);
  }

  // Traditional encryption: the 12-byte header decides the password.
  job.dataSize = entry.compressedSize;
  if (!entry.IsEncrypted()) return std::nullopt;
  if (job.dataSize < int64_t{kEncryptionHeaderSize}) return Skip(job, TSkipReason::Damaged);
  std::array<uint8_t, kEncryptionHeaderSize> header{};
  if (ReadAcross(header.data(), kEncryptionHeaderSize) != kEncryptionHeaderSize) throw EFatalUnzipError();
  job.keys.Init(password);
  job.keys.DecryptBuff(header);
  job.dataSize -= kEncryptionHeaderSize;
  if (header[11] == PasswordCheckByte(entry.flag, entry.lastModFileDateTime, entry.crc32)) return std::nullopt;
  if (AskNewPassword(job.index)) return EntryOutcome::Retry;
  return Skip(job, TSkipReason::BadPassword);
}

// OnBadPassword is handed the password that failed and may offer another
// (empty too); true when it did (the entry is then tried again with it).
bool TUnZipper::AskNewPassword(int index) {
  std::string newPassword = password;
  if (onBadPassword) onBadPassword(index, newPassword);
  if (newPassword == password) return false;
  password = newPassword;
  return true;
}

// Where the bytes go: the caller's stream (remembering where to cut it back
// to), or a temporary file beside the target, after the overwrite question.
// OnStartUnZip may still skip the entry.
std::optional<TUnZipper::EntryOutcome> TUnZipper::OpenDestination(EntryJob& job) {
  if (toStream_) {
    job.dest = outStream_;
    job.rollbackSize = job.dest->Size();
    job.rollbackPos = job.dest->Position();
  } else {
    const std::string& path = job.path;
    const size_t cut = path.find_last_of('\\');
    if (recreateDirs && cut != std::string::npos && cut > 0) fs_.ForceDirs(path.substr(0, cut));
    if (overwriteMode != TUZOverwriteMode::Always && fs_.FileExists(path)) {
      bool overwrite = false;
      std::string promptName = path;
      if (overwriteMode == TUZOverwriteMode::Prompt && onPromptForOverwrite) {
        onPromptForOverwrite(overwrite, job.index, promptName);
      } else if (overwriteMode == TUZOverwriteMode::Prompt) {
        overwrite = Ask(TZipDialogKind::YesNo, "Replace existing file " + job.name + "?", "File Exists Alert");
      }
      if (!overwrite) return Skip(job, TSkipReason::FileExists);
    }
    // The entry is written beside its target and moved over it only once
    // it has checked out: a failing entry never costs an existing file.
    job.file = fs_.BeginReplace(path, job.removeStale);
    job.dest = job.file.get();
  }
  bool skipIt = false;
  if (onStartUnZip) onStartUnZip(job.index, job.name, skipIt);
  if (!skipIt) return std::nullopt;
  DiscardDestination(job);
  return EntryOutcome::Skipped;
}

// Runs the method's decoder from the entry's data into out. Output that
// would pass the entry's size ends the decoding; the commit then judges
// what came. Other exceptions pass.
TDecodeResult TUnZipper::DecodeEntry(Extraction& x, EntryJob& job, TDecodeOutput& out) {
  const TZipHeaderInfo& entry = job.entry;
  EntryInput in([this](void* b, int64_t n) { return ReadAcross(b, n); }, job.dataSize, entry.IsEncrypted() ? &job.keys : nullptr, x.poll);
  try {
    switch (entry.compressionMethod) {
      case kMethodStored:
        for (auto block = in.NextBlock(); !block.empty(); block = in.NextBlock()) out.Write(block);
        return TDecodeResult::Ok;
      case kMethodShrunk: return Unshrink(in, out);
      case kMethodImploded:
        return Explode(in, out, entry.flag, static_cast<uint64_t>(job.dataSize), entry.uncompressedSize);
      case kMethodDeflated: return Inflate(in, out);
      default:
        if (entry.compressionMethod >= kMethodReduced1 && entry.compressionMethod <= kMethodReduced4)
          return Unreduce(in, out, entry.compressionMethod - 1, entry.uncompressedSize);
        Ask(TZipDialogKind::Message, "Unknown Compression Method", "Zip Error");
        return TDecodeResult::Ok;
    }
  } catch (const EBiggerThanUncompressed&) {
    // Decoding ends at the entry's size: what came up to it is judged by
    // its size and CRC (and fails when the call's cap stopped it).
    return TDecodeResult::Ok;
  } catch (const std::bad_alloc&) {
    Ask(TZipDialogKind::Message, "*** inflate out of memory ***", "Error");
    return TDecodeResult::OutOfMemory;
  }
}

// A good entry's file replaces its target (with the entry's date and
// attributes); a bad one's bytes are discarded and the events tell why.
TUnZipper::EntryOutcome TUnZipper::CommitEntry(EntryJob& job, bool good, uint32_t crc) {
  const TZipHeaderInfo& entry = job.entry;
  if (good) {
    if (job.file) {
      job.file->Commit();
      job.file.reset();
      fs_.SetFileDateAndAttributes(job.path, entry.lastModFileDateTime,
                                   retainAttributes ? std::optional<uint32_t>(entry.externalFileAttributes & 0xFF)
                                                    : std::nullopt);
    }
    if (onEndUnZip) onEndUnZip(job.index, job.name);
    return EntryOutcome::Done;
  }

  DiscardDestination(job);
  if (entry.IsEncrypted()) {
    // The one-byte check passes for about one wrong password in 256.
    if (AskNewPassword(job.index)) return EntryOutcome::Retry;
    Skip(job, TSkipReason::BadPassword);
    return EntryOutcome::Failed;
  }
  if (onBadCRC) onBadCRC(crc, entry.crc32, job.index);
  return EntryOutcome::Failed;
}

void TUnZipper::DiscardDestination(EntryJob& job) {
  if (job.file) {
    job.file.reset();  // uncommitted: removed
  } else if (job.dest != nullptr) {
    job.dest->SetSize(job.rollbackSize);
    job.dest->Seek(job.rollbackPos, TSeekOrigin::Beginning);
  }
}

}  // namespace kv
