#include "zip/zipper.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "base/scope_guard.h"
#include "zip/crc32.h"
#include "zip/zip_cipher.h"
#include "zip/zip_files.h"
#include "zip/zip_support.h"

namespace kv {
namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFu;
constexpr int kMaxEntries = 65535;        // the end record counts in 16 bits
constexpr int kMaxFolderDepth = 64;       // wildcard recursion (link loops)
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr size_t kStoreBlock = 4096;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The file part: after the last "\" or ":".
size_t FilePartStart(const std::string& name) {
  const size_t cut = name.find_last_of("\\:");
  return cut == std::string::npos ? 0 : cut + 1;
}

uint32_t NowDosDateTime() {
  const std::time_t now = std::time(nullptr);
  const std::tm* t = std::localtime(&now);
  if (t == nullptr) return PackDosDateTime({});
  TDosDateTime d;
  d.year = std::clamp(t->tm_year + 1900, 1980, 2107);
  d.month = t->tm_mon + 1;
  d.day = t->tm_mday;
  d.hour = t->tm_hour;
  d.minute = t->tm_min;
  d.second = std::min(t->tm_sec, 59);
  return PackDosDateTime(d);
}

void CheckFits32(uint64_t value, const char* what) {
  if (value > kMax32) throw EZipTooLarge(std::string("The archive would exceed the limits of the zip format (") + what + ")");
}

void Put64(uint8_t* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// Points a copied central record at its entry's new place: offset and start
// disk, in the record's fields or, where a field holds its maximum, in the
// record's zip64 block (whose values follow the fields at their maximum).
void PatchCentralPlace(std::vector<uint8_t>& central, uint32_t newOffset, uint16_t newDisk) {
  const bool wideUncompressed = Get32(&central[24]) == kMax32, wideCompressed = Get32(&central[20]) == kMax32;
  const bool wideOffset = Get32(&central[42]) == kMax32, wideDisk = Get16(&central[34]) == 0xFFFF;
  if (!wideOffset) Put32(&central[42], newOffset);
  if (!wideDisk) Put16(&central[34], newDisk);
  if (!wideOffset && !wideDisk) return;
  const size_t extraAt = kCentralHeaderSize + size_t{Get16(&central[28])};
  const auto block = FindExtraBlock(std::span<const uint8_t>(central).subspan(extraAt, Get16(&central[30])), kZip64ExtraId);
  size_t at = block ? static_cast<size_t>(block->data() - central.data()) : 0;
  const size_t end = block ? at + block->size() : 0;
  at += (wideUncompressed ? 8 : 0) + (wideCompressed ? 8 : 0);
  // The reader took the offset from this block, so it is there.
  if (wideOffset && end - at >= 8) {
    Put64(&central[at], newOffset);
    at += 8;
  }
  if (wideDisk && at <= end && end - at >= 4) Put32(&central[at], newDisk);
}

}  // namespace

// One entry of the archive being written. A copied entry keeps the bytes of
// its old central record (extra field and comment included), only the
// offset patched; a new entry writes its record from the header.
struct TZipper::NewEntry {
  std::unique_ptr<TZipHeaderInfo> header;
  std::vector<uint8_t> central;
};

// The state of one rebuild.
struct TZipper::Rebuild {
  // A single archive: the new file, under a temporary name until committed.
  // A set: the staging file that every entry is written into first.
  std::unique_ptr<TFileReplacement> file;
  // A set's parts once cut (blocks: beside the archive; spanned: staged in
  // the temporary folder until their disks are written).
  std::vector<std::unique_ptr<TFileReplacement>> parts;
  std::unique_ptr<TStream> out;  // buffered, over file or parts.back()
  bool multi = false;
  bool span = false;
  bool cutting = false;  // the staged set is being cut into parts
  // The old archive was a spanned set: the disks hold its parts, which the
  // new ones replace (their room counts as free).
  bool oldSpan = false;
  // The disk (from 0) holding the old archive's directory; -1 without one.
  int oldLastDisk = -1;
  int disk = 0;          // the part being written, from 0
  int64_t room = 0;      // the bytes the part may take
  int64_t largestRecord = 0;
  std::vector<NewEntry> entries;
  // Refuses a second entry of the same name (ASCII case ignored).
  TSortedZip byName{TDuplicates::Error, /*ownsObjects=*/false, TZipSortMode::ByName};
  TEndCentral end;
  std::unique_ptr<Deflater> deflater;
  int added = 0;
  uint64_t totalBytes = 0;
  uint64_t doneBytes = 0;
  std::vector<std::string> toDispose;

  void Append(std::unique_ptr<TZipHeaderInfo> header, std::vector<uint8_t> central) {
    if (static_cast<int>(entries.size()) >= kMaxEntries) throw EZipTooLarge("The archive would hold more than 65535 entries");
    byName.AddRef(header.get());
    entries.push_back({std::move(header), std::move(central)});
  }
};

TZipper::TZipper() : TZipper(DefaultZipFileSystem(), DefaultZipperDisk()) {}
TZipper::TZipper(TZipFileSystem& fs, TZipperDisk& disk) : TUnZipper(fs), disk_(disk) {}
// Pending comment changes are not written here: no file is written from a
// destructor (SaveModifiedZipFile writes them).
TZipper::~TZipper() = default;

void TZipper::SetStorePaths(bool on) {
  storePaths_ = on;
  if (!on) relativePaths_ = storeVolumes_ = false;
}

void TZipper::SetRelativePaths(bool on) {
  relativePaths_ = on;
  if (on) storePaths_ = recurse = true;
}

void TZipper::SetStoreVolumes(bool on) {
  storeVolumes_ = on;
  if (on) storePaths_ = true;
}

// ------------------------------------------------------------ operations --

int TZipper::ZipFromBuffer(const void* buffer, size_t length, const std::string& entryName) {
  if (busy_) throw EZipBusy();
  static const uint8_t kNothing = 0;
  buffer_ = length != 0 ? static_cast<const uint8_t*>(buffer) : &kNothing;
  bufferLength_ = length;
  filesList.assign(1, entryName);
  ScopeGuard leave([this] {
    buffer_ = nullptr;
    bufferLength_ = 0;
    CloseZip();
  });
  return ProcessFiles();
}

int TZipper::Zip() {
  if (busy_) throw EZipBusy();
  return ProcessFiles();
}

void TZipper::SaveModifiedZipFile() {
  if (busy_) throw EZipBusy();
  if (!endCentralModified_) return;
  filesList.clear();
  ProcessFiles();
  endCentralModified_ = false;
}

void TZipper::SetZipName(const std::string& name) {
  if (busy_) throw EZipBusy();
  if (!zipName_.empty() && SameTextAnsi(name, zipName_)) return;
  if (endCentralModified_ && !zipName_.empty()) {
    filesList.clear();
    ProcessFiles();
  }
  TUnZipper::SetZipName(name);
}

// Processes pending messages and honours a cancel request.
void TZipper::Pump() { CheckCancel(); }

// The reader's mode is not kept in step with this one: it describes the
// archive read, this one the archive the next rebuild writes. Set together,
// a single file read before would be taken for a set (its parts asked for
// and missing) and a set for a single file (its last part read alone).
void TZipper::SetMultiMode(TMultiMode mode) { multiZipInfo.multiMode = mode; }

void TZipper::SetCheckDiskLabels(bool on) {
  multiZipInfo.checkDiskLabels = on;
  TUnZipper::SetCheckDiskLabels(on);
}

// ------------------------------------------------------------ multi-part --

void TZipper::Emit(Rebuild& r, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const int64_t left = r.cutting ? r.room - r.out->Position() : INT64_MAX;
    if (left <= 0) {
      NextPart(r);
      continue;
    }
    const size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(bytes.size())));
    r.out->WriteBuffer(bytes.first(n));
    bytes = bytes.subspan(n);
  }
}

// A record that does not fit in the room left starts the next part (every
// record fits a fresh part: WriteParts checked the sizes first).
void TZipper::EnsureRoom(Rebuild& r, int64_t need) {
  if (r.cutting && r.room - r.out->Position() < need) NextPart(r);
}

// Spanned disks written by this library are labelled with their number
// (on the floppy drives A and B only, as a label is the user's elsewhere).
void TZipper::LabelDisk(int disk) {
  const std::string root = DriveRoot(zipName_);
  if (!multiZipInfo.writeDiskLabels || !LabelsDisksOf(root)) return;
  SetVolLabel(fs_, root, SpannedDiskLabel(disk + 1));
}

void TZipper::AskForDisk(int disk) {
  std::string name = zipName_;
  askForDisks_ = true;
  ScopeGuard done([this] { askForDisks_ = false; });
  if (onGetNextDisk) onGetNextDisk(disk, name);
  if (name.empty()) throw EUserCanceled("User canceled Zip operation.");
}

std::string TZipper::StagingFolder() {
  std::string folder = !tempPath.empty() && fs_.DirExists(tempPath) ? tempPath : fs_.TempFolder();
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

std::unique_ptr<TFileReplacement> TZipper::BeginStaging(bool span) {
  const std::string folder = StagingFolder();
  if (span && (folder.empty() || DriveRoot(folder) == DriveRoot(zipName_))) {
    // The disks are swapped while the set is written: it cannot be staged on them.
    throw EZipUnsupported("A spanned set needs a temporary folder off the drive of \"" + zipName_ + "\"");
  }
  // A blocks set is staged beside it when there is no temporary folder.
  const std::string target = folder.empty() ? zipName_ : folder + (folder.back() == '\\' ? "" : "\\") + "kvstage";
  return fs_.BeginReplace(target, /*removeStale=*/false);
}

// The room on the disk in the drive: its free space and, when an old
// spanned set is being replaced, the size of the old part on it.
int64_t TZipper::DiskRoom(const Rebuild& r) {
  int64_t room = static_cast<int64_t>(fs_.FreeSpace(zipName_).value_or(0));
  if (r.oldSpan && fs_.FileExists(zipName_)) room += fs_.Open(zipName_, TFileOpenMode::ReadShared)->Size();
  return room;
}

void TZipper::StartPart(Rebuild& r, int64_t room) {
  r.parts.push_back(r.span ? BeginStaging(true) : fs_.BeginReplace(zipName_, /*removeStale=*/false));
  r.room = room;
  r.out = std::make_unique<TS_BufferStream>(*r.parts.back());
  r.end.entriesThisDisk = 0;
}

void TZipper::NextPart(Rebuild& r) {
  r.out->Flush();
  r.out.reset();
  int64_t room = multiZipInfo.blockSize;
  if (r.span) {
    // Only measured now: nothing is written on a disk before the last
    // question but the ones of the commit.
    const int64_t need = std::max(kMinPartSize, r.largestRecord);
    for (int asked = 0;; ++asked) {
      if (asked == 100) throw EZipWriteError("There is no room for the next part of \"" + zipName_ + "\"");
      AskForDisk(r.disk + 2);
      room = DiskRoom(r);
      if (room >= need) break;
    }
  }
  ++r.disk;
  if (r.disk > 0xFFFE) throw EZipTooLarge("The archive would need more than 65535 parts");
  StartPart(r, room);
}

// The staged set cut into parts. Every local header, central record and
// the end record lie whole on one part; a set whose largest record does
// not fit a part is refused before a part is written.
void TZipper::WriteParts(Rebuild& r, bool oldSpan) {
  TStream& staged = *r.file;
  const int64_t stagedEnd = staged.Size();
  std::vector<int64_t> headSize(r.entries.size());
  int64_t largest = r.end.EndCentralSize();
  for (size_t i = 0; i < r.entries.size(); ++i) {
    uint8_t head[kLocalHeaderSize];
    staged.SetPosition(r.entries[i].header->relativeOffset);
    staged.ReadBuffer(head, kLocalHeaderSize);
    headSize[i] = kLocalHeaderSize + int64_t{Get16(&head[26])} + Get16(&head[28]);
    largest = std::max({largest, headSize[i], static_cast<int64_t>(r.entries[i].central.size())});
  }
  // A record that does not fit the first part after its marker goes to the
  // second: every part from the second on must hold the largest.
  r.largestRecord = largest;
  if (!r.span && largest > multiZipInfo.blockSize) {
    throw EZipUnsupported("A record of \"" + zipName_ + "\" (" + std::to_string(largest) +
                          " bytes) does not fit a part of " + std::to_string(multiZipInfo.blockSize) + " bytes");
  }
  int64_t room = multiZipInfo.firstBlockSize;
  if (r.span) {
    // Disk 1 is in the drive unless an old set's disks were asked for.
    r.oldSpan = oldSpan;
    if (oldSpan) AskForDisk(1);
    room = DiskRoom(r);
    // Disk 1 may hold less than a part's minimum (an old archive on it
    // stays until the set is complete): what a record needs will do.
    if (room < r.largestRecord + 4) {
      throw EZipWriteError("There is no room on the disk for \"" + zipName_ + "\"");
    }
  }
  r.cutting = true;
  r.disk = 0;
  StartPart(r, room);
  // A set's first part opens with the split marker (the data descriptor's
  // signature), as the format asks of sets.
  const uint8_t marker[4] = {0x50, 0x4b, 0x07, 0x08};
  r.out->WriteBuffer(marker, sizeof marker);

  std::vector<uint8_t> block(64 << 10);
  for (size_t i = 0; i < r.entries.size(); ++i) {
    NewEntry& e = r.entries[i];
    const int64_t from = e.header->relativeOffset;
    const int64_t to = i + 1 < r.entries.size() ? int64_t{r.entries[i + 1].header->relativeOffset} : stagedEnd;
    EnsureRoom(r, headSize[i]);
    const int64_t offset = r.out->Position();
    CheckFits32(static_cast<uint64_t>(offset), "entry offset");
    e.header->relativeOffset = static_cast<uint32_t>(offset);
    e.header->diskNumberStart = static_cast<uint16_t>(r.disk);
    PatchCentralPlace(e.central, static_cast<uint32_t>(offset), static_cast<uint16_t>(r.disk));
    staged.SetPosition(from);
    for (int64_t left = to - from; left > 0;) {
      const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(block.size()));
      staged.ReadBuffer(block.data(), n);
      Emit(r, std::span<const uint8_t>(block.data(), static_cast<size_t>(n)));
      left -= n;
    }
  }
  WriteDirectory(r);
  r.out->Flush();
  r.out.reset();
}

// The blocks set is complete: every part moves into place together. The
// old parts (and any file under a new part's name) are put aside first,
// which also proves that each can be moved; a failure at any step puts
// every old part back under its name and removes the new ones. The last
// part, which holds the directory, keeps the archive's name and the parts
// before it are numbered from ".001": the names under which a reader opening
// the archive asks for them. (Numbering the parts after the first, the first
// under the archive's name, would give a set that reader cannot follow.)
void TZipper::CommitBlocks(Rebuild& r, const std::vector<std::string>& oldParts) {
  const int last = static_cast<int>(r.parts.size()) - 1;
  std::vector<std::string> targets;
  for (int k = 0; k <= last; ++k) targets.push_back(BlockPartName(zipName_, k + 1, last));
  std::vector<std::string> aside;
  for (const auto& list : {oldParts, targets}) {
    for (const auto& name : list) {
      if (!fs_.FileExists(name)) continue;
      if (std::find_if(aside.begin(), aside.end(), [&](const std::string& a) { return CompareText(a, name) == 0; }) ==
          aside.end()) {
        aside.push_back(name);
      }
    }
  }
  // Refused before anything moves: a read-only part would be put aside and
  // then could not be removed.
  for (const auto& name : aside) {
    const auto attributes = disk_.Attributes(name);
    if (attributes && (*attributes & 1) != 0) throw EZipWriteError("Cannot replace \"" + name + "\": the file is read-only");
  }
  std::vector<std::pair<std::string, std::string>> moved;  // name, where it was put
  int committed = 0;
  const auto putBack = [&] {
    std::string lost;
    for (int k = 0; k < committed; ++k) fs_.DeleteFile(targets[static_cast<size_t>(k)]);
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
      try {
        fs_.RenameFile(it->second, it->first);
      } catch (const EZipWriteError&) {
        lost += " \"" + it->second + "\"";
      }
    }
    return lost;
  };
  try {
    for (const auto& name : aside) {
      std::string backup;
      for (int n = 1; backup.empty() || fs_.FileExists(backup); ++n) backup = name + ".kvold" + std::to_string(n);
      fs_.RenameFile(name, backup);
      moved.emplace_back(name, backup);
    }
    for (; committed <= last; ++committed) {
      r.parts[static_cast<size_t>(committed)]->SetTarget(targets[static_cast<size_t>(committed)]);
      r.parts[static_cast<size_t>(committed)]->Commit();
    }
  } catch (const std::exception& e) {
    const std::string lost = putBack();
    if (!lost.empty()) throw EZipWriteError(std::string(e.what()) + "; the old parts are kept as" + lost);
    throw;
  }
  for (const auto& [name, backup] : moved) fs_.DeleteFile(backup);
}

// What a spanned commit keeps of a disk until the new set is on every
// disk: a copy of the file it replaces there (in the temporary folder,
// uncommitted: it goes with the commit's end unless it is kept) and the
// disk's label.
struct TZipper::OldPart {
  std::unique_ptr<TFileReplacement> copy;
  std::string label;
  bool gone = false;      // the disk no longer holds it
  bool holdsNew = false;  // the disk holds the new part
  // The label the disk keeps when its old one could not be put back.
  std::optional<std::string> labelLeft;
};

namespace {
// True when the file holds exactly the bytes of the stream.
bool SameContent(TZipFileSystem& fs, const std::string& name, TStream& bytes) {
  if (!fs.FileExists(name)) return false;
  const auto file = fs.Open(name, TFileOpenMode::ReadShared);
  const int64_t size = bytes.Size();
  if (file->Size() != size) return false;
  std::vector<uint8_t> a(64 << 10), b(64 << 10);
  bytes.SetPosition(0);
  for (int64_t left = size; left > 0;) {
    const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(a.size()));
    file->ReadBuffer(a.data(), n);
    bytes.ReadBuffer(b.data(), n);
    if (std::memcmp(a.data(), b.data(), static_cast<size_t>(n)) != 0) return false;
    left -= n;
  }
  return true;
}

// How a file is named in an error: ", disk <n>: "<name>"".
std::string OnDiskText(int disk, const std::string& name) {
  return ", disk " + std::to_string(disk) + ": \"" + name + "\"";
}
}  // namespace

// The spanned set is cut and staged: each part goes onto its disk, from the
// last one (in the drive now) down to the first, so that disk 1 changes only
// after the last question has been answered. A file the commit replaces on
// a disk is copied to the temporary folder first; on any failure the disk
// in the drive gets back what it held, and when an old part cannot be put
// back, the copies of the old parts replaced and the staged new parts stay
// in the temporary folder, named in the error. A disk written that held no
// old part (a set grown by the rewrite) is asked for again and cleared, so
// that no stray last part with its directory and label is left on it; one
// that cannot be cleared is named in the error, as is a disk whose old label
// could not be put back. When the old set is whole on its disks but another
// disk is left in the drive (such a cleared one), the error names the disk
// to put back: a read starts from the one holding the directory.
void TZipper::CommitSpanned(Rebuild& r) {
  const int last = static_cast<int>(r.parts.size()) - 1;
  std::vector<OldPart> old(static_cast<size_t>(last) + 1);
  const std::string root = DriveRoot(zipName_);
  int current = last;  // the disk being written; -1 while one is asked for
  int written = last + 1;  // the lowest disk written so far
  try {
    for (int k = last; k >= 0; --k) {
      if (k != last) {
        current = -1;
        AskForDisk(k + 1);
      }
      current = k;
      OldPart& was = old[static_cast<size_t>(k)];
      was.label = fs_.VolumeLabel(root);
      if (fs_.FileExists(zipName_)) {
        was.copy = BeginStaging(true);
        was.copy->CopyFrom(*fs_.Open(zipName_, TFileOpenMode::ReadShared), 0);
        was.copy->Flush();
      }
      TFileReplacement& staged = *r.parts[static_cast<size_t>(k)];
      const int64_t size = staged.Size();
      // The new part is written beside the old file before it replaces it;
      // a disk without room for both loses the old file first.
      if (const auto free = fs_.FreeSpace(zipName_); free && static_cast<int64_t>(*free) < size) {
        if (!r.oldSpan || DiskRoom(r) < size) {
          throw EZipWriteError("There is no room on disk " + std::to_string(k + 1) + " for \"" + zipName_ + "\"");
        }
        if (!fs_.DeleteFile(zipName_)) throw EZipWriteError("Cannot replace \"" + zipName_ + "\" on disk " + std::to_string(k + 1));
        was.gone = true;
      }
      auto part = fs_.BeginReplace(zipName_, /*removeStale=*/true);
      part->CopyFrom(staged, 0);
      part->Commit();
      was.holdsNew = true;
      was.gone = was.copy != nullptr;
      written = k;
      LabelDisk(k);
    }
  } catch (const std::exception& e) {
    // The disk in the drive: the one being written, or after a question
    // refused the one written before it, if it is still there.
    const int inDrive = current >= 0 ? current : written;
    if (inDrive <= last) PutBackOldPart(r, old, inDrive, current >= 0);
    int drive = inDrive;  // the disk left in the drive
    std::string leftOnDisks;
    for (int k = last; k >= 0; --k) {
      OldPart& was = old[static_cast<size_t>(k)];
      if (was.copy || !was.holdsNew) continue;
      try {
        AskForDisk(k + 1);
        drive = k;
        PutBackOldPart(r, old, k, /*sure=*/false);
      } catch (const std::exception&) {
        // Refused: the disk is named below.
      }
      if (was.holdsNew) leftOnDisks += OnDiskText(k + 1, zipName_);
    }
    std::string oldKept, newKept, labelsLeft;
    for (int k = 0; k <= last; ++k) {
      OldPart& was = old[static_cast<size_t>(k)];
      if (was.gone) oldKept += KeepInStaging(*was.copy, "old", k + 1);
      if (was.labelLeft) labelsLeft += OnDiskText(k + 1, *was.labelLeft) + " instead of \"" + was.label + "\"";
    }
    const bool putBackLast = oldKept.empty() && r.oldLastDisk >= 0 && drive != r.oldLastDisk;
    // The old set is on its disks as it was: the new one is not kept.
    if (oldKept.empty() && leftOnDisks.empty() && labelsLeft.empty() && !putBackLast) throw;
    std::string message = e.what();
    if (!message.empty() && message.back() == '.') message.pop_back();
    if (!oldKept.empty()) {
      for (int k = 0; k <= last; ++k) newKept += KeepInStaging(*r.parts[static_cast<size_t>(k)], "new", k + 1);
      message += "; the disks of \"" + zipName_ + "\" hold neither set whole. Kept in the temporary folder: the old set's parts (" +
                 oldKept.substr(2) + ") and the new set's parts (" + newKept.substr(2) + ")";
    }
    if (!leftOnDisks.empty()) {
      message += "; parts of the new set are left on disks that held none of the old one (" + leftOnDisks.substr(2) + ")";
    }
    if (!labelsLeft.empty()) message += "; disks whose old label could not be put back (" + labelsLeft.substr(2) + ")";
    if (putBackLast) {
      message += "; put disk " + std::to_string(r.oldLastDisk + 1) + " back in the drive to read the old set of \"" +
                 zipName_ + "\"";
    }
    if (dynamic_cast<const EUserCanceled*>(&e) != nullptr) throw EUserCanceled(message);
    throw EZipWriteError(message);
  }
}

// Puts the old content back on disk `disk`, in the drive: when it holds the
// new part (or, `sure` of the disk, holds nothing under the name), the new
// part goes and the old file and label come back. Failures leave the copy
// to be kept; a label that cannot be put back is noted for the error.
void TZipper::PutBackOldPart(Rebuild& r, std::vector<OldPart>& old, int disk, bool sure) {
  OldPart& was = old[static_cast<size_t>(disk)];
  try {
    const bool holdsNew = SameContent(fs_, zipName_, *r.parts[static_cast<size_t>(disk)]);
    if (!holdsNew && !(sure && !fs_.FileExists(zipName_))) return;
    if (holdsNew && !fs_.DeleteFile(zipName_)) return;
    was.holdsNew = false;
    if (was.copy && was.gone) {
      auto back = fs_.BeginReplace(zipName_, /*removeStale=*/false);
      back->CopyFrom(*was.copy, 0);
      back->Commit();
      was.gone = false;
    }
    const std::string root = DriveRoot(zipName_);
    const std::string label = fs_.VolumeLabel(root);
    was.labelLeft.reset();
    if (label != was.label && !SetVolLabel(fs_, root, was.label)) was.labelLeft = label;
  } catch (const std::exception&) {
    // The copy is kept and named in the error.
  }
}

// Commits a file of the temporary folder under a name of its own there;
// returns ", disk <n>: "<name>"" (or says that it could not be kept).
std::string TZipper::KeepInStaging(TFileReplacement& file, const std::string& which, int disk) {
  const std::string folder = StagingFolder();
  std::string stem = zipName_.substr(FilePartStart(zipName_)), ext;
  if (const size_t dot = stem.find_last_of('.'); dot != std::string::npos) {
    ext = stem.substr(dot);
    stem.erase(dot);
  }
  stem += "-" + which + "-disk" + std::to_string(disk);
  const std::string at = folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\");
  std::string name = at + stem + ext;
  for (int n = 2; fs_.FileExists(name); ++n) name = at + stem + " (" + std::to_string(n) + ")" + ext;
  try {
    file.SetTarget(name);
    file.Commit();
  } catch (const std::exception& e) {
    return ", disk " + std::to_string(disk) + ": lost (" + e.what() + ")";
  }
  return OnDiskText(disk, name);
}

// After the archive was written: its directory, as the reader would have
// read it, taken from what was written. A single archive's central records
// lie in the file; a set's are gathered in memory, so that its last disk
// is not asked for.
void TZipper::TakeWrittenDirectory(Rebuild& r) {
  ResetDirectory();
  auto list = std::make_unique<TSortedZip>(TDuplicates::Error);
  auto copy = std::make_unique<TMemoryStream>();
  int64_t inFile = r.end.centralOffset;
  for (auto& e : r.entries) {
    if (r.multi) {
      e.header->centralOffset = copy->Position();
      copy->WriteBuffer(e.central);
    } else {
      e.header->centralOffset = inFile;
      inFile += static_cast<int64_t>(e.central.size());
    }
    e.header->lastModFileDateTime = GoodTimeStamp(e.header->lastModFileDateTime);
    list->Add(std::move(e.header));
  }
  r.entries.clear();
  entries_ = std::move(list);
  endCentral_.Assign(r.end);
  directoryWhole_ = true;
  zipDate_ = fs_.FileDosDateTime(zipName_);
  if (!r.multi) {
    endCentral_.recordPosition = int64_t{r.end.centralOffset} + r.end.centralSize;
    endCentral_.zipCommentPosition = endCentral_.recordPosition + kEndCentralSize;
    return;
  }
  centralCopy_ = std::move(copy);
  multiMode_ = fs_.IsRemovableDrive(DriveRoot(zipName_)) ? TMultiMode::mmSpan : TMultiMode::mmBlocks;
  lastDisk_ = r.disk;
  currentDisk_ = -1;  // no part open
}

// ------------------------------------------------------------- rebuilding --

int TZipper::ProcessFiles() {
  if (busy_) throw EZipBusy();
  const TMultiMode multi = multiZipInfo.multiMode;
  if (multi == TMultiMode::mmBlocks && std::min(multiZipInfo.blockSize, multiZipInfo.firstBlockSize) < kMinPartSize) {
    throw EZipUnsupported("The parts of a multi-part archive must hold at least " + std::to_string(kMinPartSize) +
                          " bytes");
  }
  busy_ = true;
  const bool savedKeep = keepZipOpen;
  const TZipSortMode savedSort = sortMode_;
  keepZipOpen = true;  // the old archive stays open through the rebuild
  Sort(TZipSortMode::ByNone);  // the entries in archive order meanwhile
  Rebuild r;
  r.multi = multi != TMultiMode::mmNone;
  r.span = multi == TMultiMode::mmSpan;
  try {
    if (buffer_ == nullptr && !filesList.empty()) ExpandForWildCards();
    const bool existed = fs_.FileExists(zipName_);
    if (existed) {
      OpenZip();
      if (!DirectoryReadWhole()) {
        throw EZipDirectoryIncomplete("The directory of \"" + zipName_ +
                                      "\" could not be read whole; the archive is not rewritten");
      }
      FetchComments();
      ZipComment();  // the new end record keeps it
      r.end.Assign(endCentral_);
      r.end.entriesThisDisk = r.end.totalEntries = 0;
    } else if (pendingZipComment_) {
      r.end.SetZipComment(*pendingZipComment_);
    }
    const bool oldSpan = existed && multiMode_ == TMultiMode::mmSpan;
    const bool oldBlocks = existed && multiMode_ == TMultiMode::mmBlocks;
    const int oldLast = lastDisk_;
    r.oldLastDisk = existed ? oldLast : -1;
    // A spanned set stays one whatever the setting: its parts are read from
    // disks that are swapped, so nothing of the new archive may be written
    // on them before the set is staged whole.
    if (oldSpan && !r.multi) r.multi = r.span = true;
    // A set is staged whole first; a single archive is written in place of
    // the old one.
    r.file = r.multi ? BeginStaging(r.span) : fs_.BeginReplace(zipName_, /*removeStale=*/true);
    r.out = std::make_unique<TS_BufferStream>(*r.file);
    r.deflater = std::make_unique<Deflater>();
    if (existed && entries_) MoveExistingFiles(r);

    if (!filesList.empty()) {
      if (buffer_ != nullptr) {
        r.totalBytes = bufferLength_;
      } else {
        for (const auto& name : filesList)
          if (const auto a = disk_.Attributes(name); a && (*a & kAttrDirectory) == 0)
            r.totalBytes += static_cast<uint64_t>(fs_.Open(name, TFileOpenMode::ReadShared)->Size());
      }
      bool stopNow = false;
      if (onStartZipInfo) onStartZipInfo(static_cast<int>(filesList.size()), r.totalBytes, r.end, stopNow);
      if (stopNow) throw EUserCanceled("User canceled Zip operation.");
    }
    const std::vector<std::string> names = filesList;
    for (const auto& name : names) AddFileToZip(r, name);
    for (auto& e : r.entries) {
      if (e.central.empty()) {
        TMemoryStream ms;
        e.header->SaveCentralToStream(ms);
        e.central = ms.Bytes();
      }
    }
    // The old archive is read no more: a spanned set's disks are free for
    // the new one, and an open file cannot be replaced.
    zipStream_.reset();
    if (r.multi) {
      r.out->Flush();
      r.out.reset();
      WriteParts(r, oldSpan);
      if (r.span) {
        CommitSpanned(r);
      } else {
        std::vector<std::string> oldParts;
        if (oldBlocks) {
          for (int k = 1; k <= oldLast + 1; ++k) oldParts.push_back(BlockPartName(zipName_, k, oldLast));
        } else if (existed) {
          oldParts.push_back(zipName_);
        }
        CommitBlocks(r, oldParts);
      }
    } else {
      WriteDirectory(r);
      // Onto the disk, then over the old archive in one move.
      r.out->Flush();
      r.out.reset();
      r.file->Commit();
      // Parts of an old blocks set are no part of it now.
      if (oldBlocks) {
        for (int k = 1; k <= oldLast; ++k) fs_.DeleteFile(BlockPartName(zipName_, k, oldLast));
      }
    }
  } catch (...) {
    r.out.reset();
    r.parts.clear();  // removes the new parts, uncommitted
    r.file.reset();
    keepZipOpen = savedKeep;
    busy_ = false;
    // The old directory still describes the old archive, which is unchanged.
    if (!keepZipOpen) zipStream_.reset();
    Sort(savedSort);
    throw;
  }
  keepZipOpen = savedKeep;
  // Busy until the added files are disposed of and the new directory is
  // shown: a handler cannot start another rebuild meanwhile.
  ScopeGuard idle([this] { busy_ = false; });

  for (const auto& name : r.toDispose) {
    bool skip = false;
    if (onDisposeFile) onDisposeFile(name, skip);
    if (!skip) fs_.DeleteFile(name);
  }
  // The component now shows the new archive, from what was written. A set
  // that fit on one part is read back; the write has succeeded whatever
  // happens there: a directory that cannot be read now (a disk question
  // cancelled) is read again when next needed.
  if (!r.multi || r.disk > 0) {
    TakeWrittenDirectory(r);
    Sort(savedSort);
  } else {
    try {
      ResetDirectory();
      ReadZip();
      Sort(savedSort);
    } catch (const std::exception&) {
      ResetDirectory();
      sortMode_ = savedSort;
    }
  }
  return r.added;
}

// The central directory and the end record; on a set each record lies
// whole on one part.
void TZipper::WriteDirectory(Rebuild& r) {
  if (!r.entries.empty()) EnsureRoom(r, static_cast<int64_t>(r.entries.front().central.size()));
  const int64_t centralStart = r.out->Position();
  const int centralDisk = r.disk;
  CheckFits32(static_cast<uint64_t>(centralStart), "central directory offset");
  uint64_t centralSize = 0;
  int onThisDisk = 0;
  for (auto& e : r.entries) {
    const int before = r.disk;
    EnsureRoom(r, static_cast<int64_t>(e.central.size()));
    if (r.disk != before) onThisDisk = 0;
    ++onThisDisk;  // counted on the part where the record starts
    Emit(r, e.central);
    centralSize += e.central.size();
  }
  CheckFits32(centralSize, "central directory size");
  r.end.signature = kEndCentralSignature;
  r.end.totalEntries = static_cast<uint16_t>(r.entries.size());
  r.end.centralSize = static_cast<uint32_t>(centralSize);
  r.end.centralOffset = static_cast<uint32_t>(centralStart);
  r.end.centralDisk = static_cast<uint16_t>(centralDisk);
  const int beforeEnd = r.disk;
  EnsureRoom(r, r.end.EndCentralSize());
  if (r.disk != beforeEnd) onThisDisk = 0;
  r.end.thisDisk = static_cast<uint16_t>(r.disk);
  r.end.entriesThisDisk = static_cast<uint16_t>(onThisDisk);
  TMemoryStream endRecord;
  r.end.SaveToStream(endRecord);
  Emit(r, endRecord.Bytes());
}

// The bytes before the first entry (before the directory when there is
// none) of a single-file archive: a self-extractor's program.
void TZipper::CopyStub(Rebuild& r) {
  if (r.multi || multiMode_ != TMultiMode::mmNone) return;
  const int64_t stubEnd = entries_ && entries_->Count() > 0 ? int64_t{entries_->Get(0)->relativeOffset}
                                                             : int64_t{endCentral_.centralOffset};
  if (stubEnd <= 0 || stubEnd > zipStream_->Size()) return;
  zipStream_->SetPosition(0);
  std::vector<uint8_t> block(64 << 10);
  for (int64_t left = stubEnd; left > 0;) {
    const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(block.size()));
    zipStream_->ReadBuffer(block.data(), n);
    r.out->WriteBuffer(block.data(), n);
    left -= n;
  }
}

// For each old entry in archive order: copy it, or write the data that
// replaces it in its place.
void TZipper::MoveExistingFiles(Rebuild& r) {
  if (keepSelfExtractorStub) CopyStub(r);
  for (int i = 0; i < entries_->Count(); ++i) {
    const TZipHeaderInfo& e = *entries_->Get(i);
    const int match = FilesListMatches(e);
    if (match < 0) {
      CopyEntry(r, e);
      continue;
    }
    const std::string name = filesList[static_cast<size_t>(match)];
    filesList.erase(filesList.begin() + match);
    if (buffer_ == nullptr && zipAction != TZipAction::zaReplace) {
      const auto fileDate = fs_.FileDosDateTime(name);
      if (fileDate && DosDateTimeToValue(e.lastModFileDateTime) >= DosDateTimeToValue(*fileDate)) {
        CopyEntry(r, e);  // the entry is not older than the file
        continue;
      }
    }
    // A replacement that does not happen (skipped, file gone) keeps the old entry.
    if (!AddFileToZip(r, name)) CopyEntry(r, e);
  }
}

// Copies an entry unchanged: its local header with name and extra field, its
// data and its data descriptor, byte for byte; its central record with only
// the offset (and start disk) changed, and the comment if it was edited.
void TZipper::CopyEntry(Rebuild& r, const TZipHeaderInfo& e) {
  const std::string name = e.FullName();
  if (e.relativeOffset == kMax32 || e.compressedSize == kMax32 || e.uncompressedSize == kMax32)
    throw EZipTooLarge("Entries of more than 4 GiB cannot be copied: " + name);
  const EBadZipFile noHeader("Not a valid zip file! (no local header for " + name + ")");
  const EBadZipFile pastEnd("Not a valid zip file! (" + name + " runs past the end)");
  // Read in order, on through the next parts of a set.
  SeekPart(e.diskNumberStart, 0);
  if (zipStream_->Size() - int64_t{e.relativeOffset} < kLocalHeaderSize) throw noHeader;
  zipStream_->SetPosition(e.relativeOffset);
  std::vector<uint8_t> head(kLocalHeaderSize);
  if (ReadAcross(head.data(), kLocalHeaderSize) != kLocalHeaderSize || Get32(head.data()) != kLocalHeaderSignature)
    throw noHeader;
  const uint16_t localName = Get16(&head[26]), localExtra = Get16(&head[28]);
  head.resize(kLocalHeaderSize + size_t{localName} + localExtra);
  const int64_t nameExtra = int64_t{localName} + localExtra;
  if (ReadAcross(head.data() + kLocalHeaderSize, nameExtra) != nameExtra) throw pastEnd;
  // A descriptor's sizes are 8 bytes each when the local header carries a
  // zip64 block, else 4.
  const bool wide = FindExtraBlock(std::span<const uint8_t>(head).subspan(kLocalHeaderSize + size_t{localName}), kZip64ExtraId).has_value();

  const int64_t newOffset = r.out->Position();
  const int newDisk = r.disk;
  CheckFits32(static_cast<uint64_t>(newOffset), "entry offset");
  Emit(r, head);
  std::vector<uint8_t> block(64 << 10);
  for (uint64_t left = e.compressedSize; left > 0;) {
    const int64_t want = static_cast<int64_t>(std::min<uint64_t>(left, block.size()));
    if (ReadAcross(block.data(), want) != want) throw pastEnd;
    Emit(r, std::span<const uint8_t>(block.data(), static_cast<size_t>(want)));
    left -= static_cast<uint64_t>(want);
  }
  if (e.HasDescriptor()) {
    // Optional signature, CRC, then the sizes.
    uint8_t d[24] = {};
    if (ReadAcross(d, 4) != 4) throw pastEnd;
    const int64_t length = (Get32(d) == kDataDescriptorSignature ? 8 : 4) + (wide ? 16 : 8);
    if (ReadAcross(d + 4, length - 4) != length - 4) throw pastEnd;
    Emit(r, std::span<const uint8_t>(d, static_cast<size_t>(length)));
  }

  std::vector<uint8_t> central;
  if (e.centralOffset > 0 || centralCopy_) {
    // A set's directory is held in memory; a single file's is read again.
    TStream& in = centralCopy_ ? static_cast<TStream&>(*centralCopy_) : *zipStream_;
    central.resize(kCentralHeaderSize);
    in.SetPosition(e.centralOffset);
    in.ReadBuffer(central.data(), kCentralHeaderSize);
    if (Get32(central.data()) != kCentralHeaderSignature) throw EBadZipFile();
    const size_t nameExtraC = size_t{Get16(&central[28])} + Get16(&central[30]);
    const size_t comment = Get16(&central[32]);
    central.resize(kCentralHeaderSize + nameExtraC + comment);
    in.ReadBuffer(central.data() + kCentralHeaderSize, static_cast<int64_t>(nameExtraC + comment));
    if (e.FileComment()) {
      const std::string& text = *e.FileComment();
      const size_t n = std::min<size_t>(text.size(), 0xFFFF);
      central.resize(kCentralHeaderSize + nameExtraC);
      central.insert(central.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
      Put16(&central[32], static_cast<uint32_t>(n));
    }
  } else {
    // Found by scanning local headers: no central record to keep.
    TZipHeaderInfo copy(e);
    TMemoryStream ms;
    copy.SaveCentralToStream(ms);
    central = ms.Bytes();
  }
  PatchCentralPlace(central, static_cast<uint32_t>(newOffset), static_cast<uint16_t>(newDisk));

  auto header = std::make_unique<TZipHeaderInfo>(e);
  header->relativeOffset = static_cast<uint32_t>(newOffset);
  header->diskNumberStart = static_cast<uint16_t>(newDisk);
  r.Append(std::move(header), std::move(central));
  ++r.end.entriesThisDisk;
  ++r.end.totalEntries;
}

// Writes one new entry; false when it was not written (missing file, a
// second entry of the same name, skipped by OnStartZip).
bool TZipper::AddFileToZip(Rebuild& r, const std::string& name) {
  if (r.entries.size() >= static_cast<size_t>(kMaxEntries)) {
    throw EZipTooLarge("The archive would hold more than " + std::to_string(kMaxEntries) + " entries");
  }
  auto h = std::make_unique<TZipHeaderInfo>();
  std::unique_ptr<TStream> file;
  std::optional<uint32_t> attributes;
  if (buffer_ != nullptr) {
    h->lastModFileDateTime = NowDosDateTime();
  } else {
    // Gone since the names were expanded (reported there when missing then).
    attributes = disk_.Attributes(name);
    if (!attributes || (*attributes & kAttrDirectory) != 0) return false;
    h->externalFileAttributes = *attributes;
    file = fs_.Open(name, TFileOpenMode::ReadShared);
    h->lastModFileDateTime = fs_.FileDosDateTime(name).value_or(NowDosDateTime());
  }
  // Known before the data are read (the handler of OnStartZip sees it);
  // the count of bytes read replaces it once the data are written.
  const uint64_t size = buffer_ != nullptr ? bufferLength_ : static_cast<uint64_t>(file->Size());
  if (size <= kMax32) h->uncompressedSize = static_cast<uint32_t>(size);
  h->SetFullName(EntryNameFor(name));
  h->internalFileAttributes = 2;
  h->diskNumberStart = static_cast<uint16_t>(r.disk);
  int place = 0;
  if (r.byName.Search(*h, place)) {
    if (onSkippingFile) onSkippingFile(TSkipReason::FileExists, name, -1);
    return false;
  }
  bool skip = false;
  if (onStartZip) onStartZip(name, *h, skip);
  if (skip) return false;

  // A set's entries go into its staging file first (the parts are cut
  // from it once the directory is known), so the header is patched there.
  CheckFits32(static_cast<uint64_t>(r.out->Position()), "entry offset");
  h->SaveLocalToStream(*r.out);
  WriteEntryData(r, *h, file.get(), name);
  // The header again, now with the CRC and the sizes.
  const int64_t end = r.out->Position();
  r.out->SetPosition(h->relativeOffset);
  h->SaveLocalToStream(*r.out);
  r.out->SetPosition(end);
  file.reset();

  if (buffer_ == nullptr && resetArchiveBitOnZip) disk_.SetAttributes(name, *attributes & ~kAttrArchive);
  if (onEndZip) onEndZip(name, h->uncompressedSize, h->compressedSize, static_cast<uint64_t>(end));
  r.Append(std::move(h), {});
  ++r.added;
  ++r.end.entriesThisDisk;
  ++r.end.totalEntries;
  if (dispose && buffer_ == nullptr) r.toDispose.push_back(name);
  return true;
}

// The entry's data after its local header: the encryption header when a
// password is set, then the deflated or stored input. Sets CRC, sizes,
// method, flags and internal attributes.
void TZipper::WriteEntryData(Rebuild& r, TZipHeaderInfo& h, TStream* file, const std::string& name) {
  const bool encrypt = !password.empty();
  const uint64_t total = buffer_ != nullptr ? bufferLength_ : static_cast<uint64_t>(file->Size());
  CheckFits32(total, "entry size");
  size_t bufferPos = 0;
  uint64_t done = 0;
  uint32_t crcReg = kCrcInit;
  const auto read = [&](std::span<uint8_t> buf) -> size_t {
    size_t n;
    if (buffer_ != nullptr) {
      n = std::min(buf.size(), bufferLength_ - bufferPos);
      if (n != 0) std::memcpy(buf.data(), buffer_ + bufferPos, n);
      bufferPos += n;
    } else {
      n = static_cast<size_t>(file->Read(buf.data(), static_cast<int64_t>(buf.size())));
    }
    crcReg = UpdateCrcBuff(crcReg, buf.first(n));
    done += n;
    r.doneBytes += n;
    if (onFilePercentDone) onFilePercentDone(CBigRate(total, done));
    if (onTotalPercentDone) onTotalPercentDone(CBigRate(r.totalBytes, r.doneBytes));
    return n;
  };
  TZipKeys keys;
  std::vector<uint8_t> cipher;
  uint64_t written = 0;
  const auto write = [&](std::span<const uint8_t> bytes) {
    if (encrypt) {
      cipher.assign(bytes.begin(), bytes.end());
      keys.EncryptBuff(cipher);
      r.out->WriteBuffer(cipher);
    } else {
      r.out->WriteBuffer(bytes);
    }
    written += bytes.size();
    Pump();
  };

  uint32_t expectedCrc = 0;
  if (encrypt) {
    // The header's last byte checks the password against the CRC, so the
    // CRC is needed before the data.
    if (buffer_ != nullptr) {
      expectedCrc = Crc32(std::span<const uint8_t>(buffer_, bufferLength_));
    } else {
      uint32_t reg = kCrcInit;
      uint8_t block[kStoreBlock];
      for (int64_t n; (n = file->Read(block, sizeof block)) > 0;) reg = UpdateCrcBuff(reg, std::span<const uint8_t>(block, static_cast<size_t>(n)));
      file->SetPosition(0);
      expectedCrc = ~reg;
    }
    keys.Init(password);
    uint8_t head[kEncryptionHeaderSize];
    SystemRandomBytes(std::span<uint8_t>(head, 10));
    head[10] = static_cast<uint8_t>(expectedCrc >> 16);
    head[11] = static_cast<uint8_t>(expectedCrc >> 24);
    keys.EncryptBuff(head);
    r.out->WriteBuffer(head, sizeof head);
  }

  uint64_t compressed;
  if (packLevel != 0 && !IsInNoCompressList(name)) {
    DeflateEntry de{h.flag, kMethodDeflated, h.internalFileAttributes};
    compressed = r.deflater->Deflate(std::clamp(packLevel, Deflater::kMinLevel, Deflater::kMaxLevel), read, write, de);
    h.flag = de.flags;
    h.compressionMethod = de.method;
    h.internalFileAttributes = de.internalAttributes;
  } else {
    uint8_t block[kStoreBlock];
    while (const size_t n = read(block)) write(std::span<const uint8_t>(block, n));
    compressed = written;
    h.compressionMethod = kMethodStored;
    h.internalFileAttributes = 0;
  }
  const uint32_t crc = ~crcReg;
  if (encrypt && crc != expectedCrc) throw EZipReadError("The file changed while it was added: " + name);
  CheckFits32(done, "entry size");
  CheckFits32(compressed + (encrypt ? kEncryptionHeaderSize : 0), "compressed entry size");
  h.crc32 = crc;
  h.uncompressedSize = static_cast<uint32_t>(done);
  h.compressedSize = static_cast<uint32_t>(compressed + (encrypt ? kEncryptionHeaderSize : 0));
  if (encrypt) h.flag |= kFlagEncrypted;
}

// ------------------------------------------------------------------ names --

std::string TZipper::EntryNameFor(const std::string& original) {
  std::string name = original;
  UnixToDOSFilename(name);
  if (store83Names && buffer_ == nullptr) name = disk_.ShortName(name);
  OemFilter(name);
  const size_t filePart = FilePartStart(name);
  if (!storePaths_) return name.substr(filePart);
  std::string dir = name.substr(0, filePart);
  std::string root = rootDir_;
  if (relativePaths_ && !root.empty()) {
    if (store83Names) root = disk_.ShortName(root);
    OemFilter(root);
    if (dir.size() >= root.size() && CompareText(dir.substr(0, root.size()), root) == 0) dir.erase(0, root.size());
  }
  if (!storeVolumes_) {
    if (dir.size() >= 2 && dir[1] == ':') {
      dir.erase(0, 2);
    } else if (dir.rfind("\\\\", 0) == 0) {  // \\server\share\ is the volume
      size_t cut = dir.find('\\', 2);
      cut = cut == std::string::npos ? dir.size() : dir.find('\\', cut + 1);
      dir.erase(0, cut == std::string::npos ? dir.size() : cut);
    }
    while (!dir.empty() && dir.front() == '\\') dir.erase(0, 1);
  }
  return dir + name.substr(filePart);
}

int TZipper::FilesListMatches(const TZipHeaderInfo& entry) {
  const std::string target = Lower(entry.FullName());
  for (size_t i = 0; i < filesList.size(); ++i)
    if (Lower(EntryNameFor(filesList[i])) == target) return static_cast<int>(i);
  return -1;
}

namespace {
bool InPatternList(const std::vector<std::string>& list, const std::string& name) {
  const std::string whole = Lower(name);
  const std::string file = whole.substr(FilePartStart(whole));
  for (const auto& item : list) {
    const std::string pattern = Lower(item);
    if (IsMatch(pattern, pattern.find('\\') != std::string::npos ? whole : file)) return true;
  }
  return false;
}
}  // namespace

bool TZipper::IsInExcludeList(const std::string& name) const { return InPatternList(excludeList, name); }
bool TZipper::IsInNoCompressList(const std::string& name) const { return InPatternList(noCompressList, name); }

// Replaces each wildcard item of filesList by the files it matches (a
// wildcard in the folder part stands for every folder it matches); leaves
// out excluded files and, when asked, files without the archive attribute.
void TZipper::ExpandForWildCards() {
  std::vector<std::string> out;
  const auto addFile = [&](const std::string& name, uint32_t attributes) {
    if (IsInExcludeList(name) || (skipIfArchiveBitNotSet && (attributes & kAttrArchive) == 0)) return;
    out.push_back(name);
  };
  for (std::string item : filesList) {
    UnixToDOSFilename(item);
    const size_t filePart = FilePartStart(item);
    const std::string folder = item.substr(0, filePart), file = item.substr(filePart);
    std::vector<std::string> folders{folder};
    if (IsWildCard(folder)) folders = ParseWildDir(fs_, item);
    if (!IsWildCard(folder) && !IsWildCard(file)) {
      // A folder named without a wildcard is no file.
      const auto attributes = disk_.Attributes(item);
      if (attributes && (*attributes & kAttrDirectory) == 0) {
        addFile(item, *attributes);
      } else if (onNoSuchFile) {
        onNoSuchFile(item);
      }
      continue;
    }
    bool found = false;
    for (const std::string& each : folders) {
      if (IsWildCard(file)) {
        ExpandFolder(each, Lower(file), out);
        found = true;
        continue;
      }
      // Only the folders that hold the file.
      const auto attributes = disk_.Attributes(each + file);
      if (!attributes || (*attributes & kAttrDirectory) != 0) continue;
      addFile(each + file, *attributes);
      found = true;
    }
    // The folders named hold nothing of that name.
    if (!found && onNoSuchFile) onNoSuchFile(item);
  }
  filesList = std::move(out);
}

// `folder` is empty or ends with "\" (or ":").
void TZipper::ExpandFolder(const std::string& folder, const std::string& pattern, std::vector<std::string>& out) {
  struct Level {
    std::string folder;
    int depth;
  };
  std::vector<Level> pending{{folder, 0}};
  while (!pending.empty()) {
    const Level level = std::move(pending.back());
    pending.pop_back();
    std::vector<Level> subfolders;
    for (const TFoundFile& f : disk_.List(level.folder.empty() ? "." : level.folder)) {
      const std::string full = level.folder + f.name;
      if (f.directory) {
        if (recurse && level.depth < kMaxFolderDepth) subfolders.push_back({full + "\\", level.depth + 1});
        continue;
      }
      if (!IsMatch(pattern, Lower(f.name)) || IsInExcludeList(full)) continue;
      if (skipIfArchiveBitNotSet && (f.attributes & kAttrArchive) == 0) continue;
      out.push_back(full);
    }
    // Depth first, folders in listed order.
    pending.insert(pending.end(), subfolders.rbegin(), subfolders.rend());
  }
}

}  // namespace kv
