#include "zip/zip_records.h"

#include <algorithm>
#include <array>
#include <vector>

#include "base/ansi_text.h"
#include "zip/zip_support.h"

namespace kv {

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Little-endian record assembly.
class RecordWriter {
 public:
  RecordWriter& U16(uint32_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  RecordWriter& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  RecordWriter& Text(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  void WriteTo(TStream& stream) { stream.WriteBuffer(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// Reads exactly n bytes or nothing: false (stream put back at start) on a short read.
bool ReadExact(TStream& stream, void* buffer, int64_t n, int64_t start) {
  if (stream.Read(buffer, n) == n) return true;
  stream.Seek(start, TSeekOrigin::Beginning);
  return false;
}

// The name as it travels, converted to how it is held.
std::string HeldName(std::string name, uint16_t flag) {
  UnixToDOSFilename(name);
  if ((flag & kFlagUtf8Name) != 0) return Utf8ToAnsi(name);
  OemToAnsi(name);
  return name;
}

uint64_t Get64(const uint8_t* p) { return Get32(p) | uint64_t{Get32(p + 4)} << 32; }

// Replaces the fields at their maximum by the zip64 block's values, which
// come in this order, each only when its field is at the maximum. A value
// that does not fit 32 bits leaves its field at the maximum: the entry is
// then one this library cannot extract or copy.
void ApplyZip64Block(TZipHeaderInfo& h, std::span<const uint8_t> extra) {
  const auto block = FindExtraBlock(extra, kZip64ExtraId);
  if (!block) return;
  const uint8_t* p = block->data();
  size_t left = block->size();
  auto take64 = [&](uint32_t& field) {
    if (field != 0xFFFFFFFFu) return;
    if (left < 8) {
      left = 0;
      return;
    }
    const uint64_t v = Get64(p);
    p += 8;
    left -= 8;
    if (v < 0xFFFFFFFFu) field = static_cast<uint32_t>(v);
  };
  take64(h.uncompressedSize);
  take64(h.compressedSize);
  take64(h.relativeOffset);
  if (h.diskNumberStart == 0xFFFF && left >= 4 && Get32(p) < 0xFFFF) h.diskNumberStart = static_cast<uint16_t>(Get32(p));
}

uint16_t ClipLength(size_t n) { return static_cast<uint16_t>(std::min<size_t>(n, 0xFFFF)); }

}  // namespace

// -------------------------------------------------------- TZipHeaderInfo --

void TZipHeaderInfo::Clear() {
  versionMadeBy = 20;
  versionNeeded = 20;
  flag = 0;
  compressionMethod = kMethodDeflated;
  lastModFileDateTime = 0;
  crc32 = 0xFFFFFFFFu;
  compressedSize = 0;
  uncompressedSize = 0;
  fileNameLength = 0;
  extraFieldLength = 0;
  fileCommentLength = 0;
  diskNumberStart = 0;
  internalFileAttributes = 1;
  externalFileAttributes = 32;
  relativeOffset = 0;
  centralOffset = 0;
  matchFlag = false;
  fileName_.clear();
  directory_.clear();
  fileComment_.reset();
}

void TZipHeaderInfo::SetFileName(const std::string& name) {
  fileName_ = name;
  fileNameLength = ClipLength(directory_.size() + fileName_.size());
}

void TZipHeaderInfo::SetDirectory(const std::string& dir) {
  directory_ = dir;
  if (!directory_.empty() && directory_.back() != '\\') directory_ += '\\';
  fileNameLength = ClipLength(directory_.size() + fileName_.size());
}

void TZipHeaderInfo::SetFullName(const std::string& fullName) {
  const size_t cut = fullName.find_last_of("\\:");
  if (cut == std::string::npos) {
    directory_.clear();
    fileName_ = fullName;
  } else {
    directory_ = fullName.substr(0, cut + 1);
    fileName_ = fullName.substr(cut + 1);
  }
  fileNameLength = ClipLength(fullName.size());
}

void TZipHeaderInfo::SetFileComment(std::optional<std::string> comment) {
  if (comment && comment->size() > 0xFFFF) comment->resize(0xFFFF);
  fileComment_ = std::move(comment);
  fileCommentLength = fileComment_ ? static_cast<uint16_t>(fileComment_->size()) : 0;
}

void TZipHeaderInfo::SetFromCentral(std::span<const uint8_t, kCentralHeaderSize> r, const std::string& fullName) {
  const uint8_t* p = r.data();
  versionMadeBy = Get16(p + 4);
  versionNeeded = Get16(p + 6);
  flag = Get16(p + 8);
  compressionMethod = Get16(p + 10);
  lastModFileDateTime = GoodTimeStamp(Get32(p + 12));
  crc32 = Get32(p + 16);
  compressedSize = Get32(p + 20);
  uncompressedSize = Get32(p + 24);
  extraFieldLength = Get16(p + 30);
  fileCommentLength = Get16(p + 32);
  diskNumberStart = Get16(p + 34);
  internalFileAttributes = Get16(p + 36);
  externalFileAttributes = Get32(p + 38);
  relativeOffset = Get32(p + 42);
  fileComment_.reset();
  matchFlag = false;
  SetFullName(fullName);
}

void TZipHeaderInfo::SetFromLocal(std::span<const uint8_t, kLocalHeaderSize> h, const std::string& fullName) {
  const uint8_t* p = h.data();
  versionMadeBy = 0;
  versionNeeded = Get16(p + 4);
  flag = Get16(p + 6);
  compressionMethod = Get16(p + 8);
  lastModFileDateTime = GoodTimeStamp(Get32(p + 10));
  crc32 = Get32(p + 14);
  compressedSize = Get32(p + 18);
  uncompressedSize = Get32(p + 22);
  extraFieldLength = Get16(p + 28);
  fileCommentLength = 0;
  diskNumberStart = 0;
  internalFileAttributes = 0;
  externalFileAttributes = 0;
  relativeOffset = 0;
  centralOffset = 0;
  fileComment_.reset();
  matchFlag = false;
  SetFullName(fullName);
}

std::string TZipHeaderInfo::StoredName() const {
  std::string name = FullName();
  DOSToUnixFilename(name);
  AnsiToOem(name);
  return name;
}

void TZipHeaderInfo::SaveLocalToStream(TStream& stream) {
  relativeOffset = static_cast<uint32_t>(stream.Position());
  extraFieldLength = 0;
  flag &= ~kFlagUtf8Name;  // the name goes out in the OEM code page
  const std::string name = fileNameLength ? StoredName() : std::string();
  fileNameLength = ClipLength(name.size());
  RecordWriter w;
  w.U32(kLocalHeaderSignature).U16(versionNeeded).U16(flag).U16(compressionMethod)
      .U32(lastModFileDateTime).U32(crc32).U32(compressedSize).U32(uncompressedSize)
      .U16(fileNameLength).U16(extraFieldLength).Text(name.substr(0, fileNameLength));
  w.WriteTo(stream);
}

void TZipHeaderInfo::SaveCentralToStream(TStream& stream) {
  extraFieldLength = 0;
  flag &= ~kFlagUtf8Name;
  const std::string name = fileNameLength ? StoredName() : std::string();
  fileNameLength = ClipLength(name.size());
  // The length written is that of the comment held (0 with none): a length
  // kept from a read without its text would announce bytes not written, and
  // every later record would be read from the wrong place.
  fileCommentLength = fileComment_ ? ClipLength(fileComment_->size()) : 0;
  RecordWriter w;
  w.U32(kCentralHeaderSignature).U16(versionMadeBy).U16(versionNeeded).U16(flag).U16(compressionMethod)
      .U32(lastModFileDateTime).U32(crc32).U32(compressedSize).U32(uncompressedSize)
      .U16(fileNameLength).U16(extraFieldLength).U16(fileCommentLength).U16(diskNumberStart)
      .U16(internalFileAttributes).U32(externalFileAttributes).U32(relativeOffset)
      .Text(name.substr(0, fileNameLength));
  if (fileCommentLength > 0) w.Text(fileComment_->substr(0, fileCommentLength));
  w.WriteTo(stream);
}

bool TZipHeaderInfo::ReadCentralFromStream(TStream& stream, const TPartChange& partChange) {
  const int64_t start = stream.Position();
  std::array<uint8_t, kCentralHeaderSize> r{};
  TStream* from = &stream;
  int64_t got = from->Read(r.data(), kCentralHeaderSize);
  // A part of a spanned set that ends before (or inside) the record: the
  // rest comes from the next part, after the bytes already read.
  if (partChange && (got == 0 || (got >= 4 && got < kCentralHeaderSize && Get32(r.data()) == kCentralHeaderSignature))) {
    if (TStream* next = partChange()) {
      from = next;
      got += from->Read(r.data() + got, kCentralHeaderSize - got);
    }
  }
  if (got != kCentralHeaderSize || Get32(r.data()) != kCentralHeaderSignature) {
    stream.Seek(start, TSeekOrigin::Beginning);
    return false;
  }
  std::string name(Get16(r.data() + 28), '\0');
  if (!name.empty() && from->Read(name.data(), static_cast<int64_t>(name.size())) != static_cast<int64_t>(name.size())) {
    if (from == &stream) stream.Seek(start, TSeekOrigin::Beginning);
    return false;
  }
  SetFromCentral(r, HeldName(std::move(name), Get16(r.data() + 8)));
  centralOffset = start;
  // The extra field and the comment are skipped, wherever the stream ends;
  // only a zip64 block for values held at their maximum is read from the
  // extra field, when it is there whole.
  const uint16_t extraLength = Get16(r.data() + 30);
  const int64_t tail = int64_t{extraLength} + Get16(r.data() + 32);
  const int64_t after = from->Position();
  const bool wide = compressedSize == 0xFFFFFFFFu || uncompressedSize == 0xFFFFFFFFu ||
                    relativeOffset == 0xFFFFFFFFu || diskNumberStart == 0xFFFF;
  if (wide && extraLength > 0) {
    std::vector<uint8_t> extra(extraLength);
    if (from->Read(extra.data(), extraLength) == extraLength) ApplyZip64Block(*this, extra);
  }
  from->Seek(after + tail, TSeekOrigin::Beginning);
  return true;
}

bool TZipHeaderInfo::ReadLocalFromStream(TStream& stream) {
  const int64_t start = stream.Position();
  std::array<uint8_t, kLocalHeaderSize> h{};
  if (!ReadExact(stream, h.data(), kLocalHeaderSize, start)) return false;
  if (Get32(h.data()) != kLocalHeaderSignature) {
    stream.Seek(start, TSeekOrigin::Beginning);
    return false;
  }
  std::string name(Get16(h.data() + 26), '\0');
  if (!name.empty() && !ReadExact(stream, name.data(), static_cast<int64_t>(name.size()), start)) return false;
  SetFromLocal(h, HeldName(std::move(name), Get16(h.data() + 6)));
  relativeOffset = static_cast<uint32_t>(start);
  return true;
}

// ------------------------------------------------------------ TEndCentral --

void TEndCentral::Clear() {
  signature = 0;
  thisDisk = centralDisk = entriesThisDisk = totalEntries = 0;
  centralSize = centralOffset = 0;
  zipCommentLength = 0;
  zipCommentPosition = 0;
  recordPosition = -1;
  zipComment_.reset();
}

void TEndCentral::SetZipComment(std::optional<std::string> comment) {
  if (comment && comment->size() > 0xFFFF) comment->resize(0xFFFF);
  zipComment_ = std::move(comment);
  zipCommentLength = zipComment_ ? static_cast<uint16_t>(zipComment_->size()) : 0;
}

void TEndCentral::SaveToStream(TStream& stream) {
  zipCommentLength = zipComment_ ? ClipLength(zipComment_->size()) : 0;
  RecordWriter w;
  w.U32(kEndCentralSignature).U16(thisDisk).U16(centralDisk).U16(entriesThisDisk).U16(totalEntries)
      .U32(centralSize).U32(centralOffset).U16(zipCommentLength);
  if (zipCommentLength > 0) w.Text(zipComment_->substr(0, zipCommentLength));
  w.WriteTo(stream);
}

bool TEndCentral::ReadFromStream(TStream& stream) {
  const int64_t size = stream.Size();
  if (size < kEndCentralSize) return false;
  const int64_t start = stream.Position();
  const int64_t window = std::min<int64_t>(size, kEndCentralSearchSize);
  std::vector<uint8_t> buf(static_cast<size_t>(window));
  stream.Seek(size - window, TSeekOrigin::Beginning);
  // Not found: the stream goes back where it was.
  const auto notFound = [&] {
    stream.Seek(start, TSeekOrigin::Beginning);
    return false;
  };
  if (stream.Read(buf.data(), window) != window) return notFound();
  for (int64_t i = window - kEndCentralSize; i >= 0; --i) {
    const uint8_t* p = buf.data() + i;
    if (p[0] != 'P' || Get32(p) != kEndCentralSignature) continue;
    signature = kEndCentralSignature;
    thisDisk = Get16(p + 4);
    centralDisk = Get16(p + 6);
    entriesThisDisk = Get16(p + 8);
    totalEntries = Get16(p + 10);
    centralSize = Get32(p + 12);
    centralOffset = Get32(p + 16);
    zipCommentLength = Get16(p + 20);
    recordPosition = size - window + i;
    // The comment starts right after the record: counting it back from the
    // file's end would take other bytes when anything follows the comment.
    zipCommentPosition = recordPosition + kEndCentralSize;
    zipComment_.reset();
    stream.Seek(zipCommentPosition, TSeekOrigin::Beginning);
    return true;
  }
  return notFound();
}

std::string TEndCentral::ReadComment(TStream& stream) const {
  if (zipCommentLength == 0 || recordPosition < 0) return {};
  const int64_t avail = std::max<int64_t>(stream.Size() - zipCommentPosition, 0);
  std::string text(static_cast<size_t>(std::min<int64_t>(zipCommentLength, avail)), '\0');
  stream.Seek(zipCommentPosition, TSeekOrigin::Beginning);
  stream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  return text;
}

// -------------------------------------------------------------- zip64 ----

std::optional<TZip64Directory> ReadZip64Directory(TStream& stream, int64_t endRecordPosition) {
  const int64_t start = stream.Position();
  const int64_t locatorAt = endRecordPosition - kZip64LocatorSize;
  if (locatorAt < 0) return std::nullopt;
  auto fail = [&]() -> std::optional<TZip64Directory> {
    stream.Seek(start, TSeekOrigin::Beginning);
    return std::nullopt;
  };
  std::array<uint8_t, kZip64LocatorSize> loc{};
  stream.Seek(locatorAt, TSeekOrigin::Beginning);
  if (stream.Read(loc.data(), kZip64LocatorSize) != kZip64LocatorSize || Get32(loc.data()) != kZip64LocatorSignature) {
    return fail();
  }
  const uint64_t recordAt = Get64(loc.data() + 8);
  if (recordAt > static_cast<uint64_t>(locatorAt) || static_cast<uint64_t>(locatorAt) - recordAt < kZip64EndCentralSize) {
    return fail();
  }
  std::array<uint8_t, kZip64EndCentralSize> rec{};
  stream.Seek(static_cast<int64_t>(recordAt), TSeekOrigin::Beginning);
  if (stream.Read(rec.data(), kZip64EndCentralSize) != kZip64EndCentralSize ||
      Get32(rec.data()) != kZip64EndCentralSignature) {
    return fail();
  }
  TZip64Directory d;
  d.thisDisk = Get32(rec.data() + 16);
  d.centralDisk = Get32(rec.data() + 20);
  d.totalEntries = Get64(rec.data() + 32);
  d.centralSize = Get64(rec.data() + 40);
  d.centralOffset = Get64(rec.data() + 48);
  stream.Seek(start, TSeekOrigin::Beginning);
  return d;
}

std::optional<std::span<const uint8_t>> FindExtraBlock(std::span<const uint8_t> extra, uint16_t id) {
  size_t at = 0;
  while (extra.size() - at >= 4) {
    const uint16_t blockId = Get16(extra.data() + at);
    const size_t length = Get16(extra.data() + at + 2);
    if (length > extra.size() - at - 4) return std::nullopt;
    if (blockId == id) return extra.subspan(at + 4, length);
    at += 4 + length;
  }
  return std::nullopt;
}

// ------------------------------------------------------------- TSortedZip --

int CompareText(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto fold = [](char c) {
      const auto u = static_cast<unsigned char>(c);
      return u >= 'a' && u <= 'z' ? u - 32 : u;
    };
    const int d = fold(a[i]) - fold(b[i]);
    if (d != 0) return d;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

namespace {
// Archive order: start disk, then local header offset.
int ArchiveOrder(const TZipHeaderInfo& a, const TZipHeaderInfo& b) {
  if (a.diskNumberStart != b.diskNumberStart) return int{a.diskNumberStart} - int{b.diskNumberStart};
  return a.relativeOffset > b.relativeOffset ? 1 : a.relativeOffset < b.relativeOffset ? -1 : 0;
}
// Descending by key; equal keys in archive order, so that the order is a
// strict weak one (a comparison that never says "equal" sends sorting
// outside its range).
template <class K>
int Descending(K a, K b, const TZipHeaderInfo& x, const TZipHeaderInfo& y) {
  return b > a ? 1 : b < a ? -1 : ArchiveOrder(x, y);
}
}  // namespace

int TSortedZip::Compare(const TZipHeaderInfo& a, const TZipHeaderInfo& b) const {
  switch (sortMode_) {
    case TZipSortMode::ByName: return CompareText(a.FullName(), b.FullName());
    case TZipSortMode::ByFileName: return CompareText(a.FileName(), b.FileName());
    case TZipSortMode::ByDirectoryName: return CompareText(a.Directory(), b.Directory());
    case TZipSortMode::ByDate:
      return Descending(DosDateTimeToValue(a.lastModFileDateTime), DosDateTimeToValue(b.lastModFileDateTime), a, b);
    case TZipSortMode::ByCompressedSize: return Descending(a.compressedSize, b.compressedSize, a, b);
    case TZipSortMode::ByUnCompressedSize: return Descending(a.uncompressedSize, b.uncompressedSize, a, b);
    case TZipSortMode::ByRate:
      return CRate(b.uncompressedSize, b.compressedSize) - CRate(a.uncompressedSize, a.compressedSize);
    case TZipSortMode::ByNone: return ArchiveOrder(a, b);
  }
  return -1;
}

}  // namespace kv
