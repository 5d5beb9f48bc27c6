#pragma once
// The zip format's three records: the local file header, the central
// directory record and the end-of-central-directory record; the entry object
// TZipHeaderInfo, the end record TEndCentral, and the sorted entry list
// TSortedZip with its sort modes. All integers little-endian.
//
// Names are held with "\" separators in the ANSI code page and travel with
// "/" separators in the OEM code page (zip_support.h: AnsiToOem/OemToAnsi),
// or in UTF-8 where the entry's flag says so (read only: this library
// writes the OEM form and clears the flag).
// Extra fields are never held and never written: a record written by this
// library always says extra field length 0.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "zip/object_list.h"
#include "zip/zip_stream.h"

namespace kv {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034b50;    // "PK" 3 4
inline constexpr uint32_t kCentralHeaderSignature = 0x02014b50;  // "PK" 1 2
inline constexpr uint32_t kEndCentralSignature = 0x06054b50;     // "PK" 5 6
inline constexpr uint32_t kDataDescriptorSignature = 0x08074b50; // "PK" 7 8
inline constexpr uint32_t kZip64EndCentralSignature = 0x06064b50;  // "PK" 6 6
inline constexpr uint32_t kZip64LocatorSignature = 0x07064b50;     // "PK" 6 7
inline constexpr int kLocalHeaderSize = 30;
inline constexpr int kCentralHeaderSize = 46;
inline constexpr int kEndCentralSize = 22;
inline constexpr int kZip64LocatorSize = 20;
inline constexpr int kZip64EndCentralSize = 56;
// The extra block that holds the 64-bit values of fields set to their maximum.
inline constexpr uint16_t kZip64ExtraId = 0x0001;
// The farthest an end record can lie before the end of the file: the record
// plus a maximal comment.
inline constexpr int kEndCentralSearchSize = kEndCentralSize + 65535;

// General purpose flag bits.
inline constexpr uint16_t kFlagEncrypted = 1;
inline constexpr uint16_t kFlagDescriptor = 8;
inline constexpr uint16_t kFlagUtf8Name = 0x800;  // name (and comment) in UTF-8

// Compression methods.
enum : uint16_t {
  kMethodStored = 0,
  kMethodShrunk = 1,
  kMethodReduced1 = 2,
  kMethodReduced4 = 5,
  kMethodImploded = 6,
  kMethodDeflated = 8,
};

enum class TZipSortMode { ByName, ByFileName, ByDirectoryName, ByDate, ByCompressedSize, ByUnCompressedSize, ByRate, ByNone };
enum class TMultiMode { mmNone, mmSpan, mmBlocks };
enum class TIncompleteZipMode { izAssumeMulti, izAssumeBad };
enum class TUZOverwriteMode { Prompt, Always, Never };

// One archive entry.
class TZipHeaderInfo {
 public:
  TZipHeaderInfo() { Clear(); }
  TZipHeaderInfo(const TZipHeaderInfo&) = default;
  TZipHeaderInfo& operator=(const TZipHeaderInfo&) = default;

  // A new entry: version made by and needed 20, method 8, CRC 0xFFFFFFFF,
  // internal attributes 1 (text), external 32 (archive), everything else 0/empty.
  void Clear();
  // Copies every field (the comment as a copy).
  void Assign(const TZipHeaderInfo& other) { *this = other; }

  // Fills the fields from a 46-byte central record and the entry's full
  // name (ANSI, "\" separators). The comment is not held; its length is.
  void SetFromCentral(std::span<const uint8_t, kCentralHeaderSize> record, const std::string& fullName);
  // Fills the fields from a 30-byte local header and the full name.
  void SetFromLocal(std::span<const uint8_t, kLocalHeaderSize> header, const std::string& fullName);

  // Writes the local header and the name at the stream's position, which
  // becomes the entry's relative offset. No extra field.
  void SaveLocalToStream(TStream& stream);
  // Writes the central record, the name and the held comment (the comment
  // length written is that of the held comment: fetch a comment known only
  // by its length before rewriting, or it is dropped).
  void SaveCentralToStream(TStream& stream);
  // Reads one central record at the stream's position; the stream is left
  // after its extra field and comment, skipped by their lengths (past the
  // stream's end when it is cut inside them). False (stream put back) when
  // the fixed part or the name is not there whole. When the stream ends
  // before or inside the fixed part of a record, partChange (may be empty)
  // may give the next part of a set, from which the rest is read.
  // Sizes and offset held as 0xFFFFFFFF (disk as 0xFFFF) are taken from the
  // record's zip64 block when its value fits; otherwise they stay at the maximum.
  using TPartChange = std::function<TStream*()>;
  bool ReadCentralFromStream(TStream& stream, const TPartChange& partChange = nullptr);
  // Reads one local header at the stream's position; the stream ends just
  // after the name (the extra field is not skipped). False (stream put back)
  // when no complete header is there.
  bool ReadLocalFromStream(TStream& stream);

  const std::string& FileName() const { return fileName_; }
  const std::string& Directory() const { return directory_; }
  std::string FullName() const { return directory_ + fileName_; }
  // The name without its folder.
  void SetFileName(const std::string& name);
  // The folder part; a trailing "\" is added unless empty.
  void SetDirectory(const std::string& dir);
  // Splits a full name at its last "\" or ":".
  void SetFullName(const std::string& fullName);
  // The held comment, if any (an entry read from a central record holds
  // none until the reader fetches it).
  const std::optional<std::string>& FileComment() const { return fileComment_; }
  // Replaces the comment and sets its length (nullopt: length 0).
  void SetFileComment(std::optional<std::string> comment);

  bool HasComment() const { return fileCommentLength > 0; }
  bool IsEncrypted() const { return (flag & kFlagEncrypted) != 0; }
  bool HasDescriptor() const { return (flag & kFlagDescriptor) != 0; }
  int64_t LocalSize() const { return kLocalHeaderSize + int64_t{fileNameLength} + extraFieldLength; }
  int64_t CentralSize() const {
    return kCentralHeaderSize + int64_t{fileNameLength} + extraFieldLength + fileCommentLength;
  }

  uint16_t versionMadeBy;
  uint16_t versionNeeded;
  uint16_t flag;
  uint16_t compressionMethod;
  uint32_t lastModFileDateTime;  // DOS form, through GoodTimeStamp when read
  uint32_t crc32;
  uint32_t compressedSize;       // includes an encrypted entry's 12-byte header
  uint32_t uncompressedSize;
  uint16_t fileNameLength;       // == size of FullName()
  uint16_t extraFieldLength;     // as read; never held
  uint16_t fileCommentLength;
  uint16_t diskNumberStart;
  uint16_t internalFileAttributes;  // 1 text, 0 binary, 2 not yet known
  uint32_t externalFileAttributes;  // Windows attributes in the low byte
  uint32_t relativeOffset;          // position of the local header
  int64_t centralOffset;            // position of the central record read; 0 otherwise
  bool matchFlag;                   // set while the reader selects entries

 private:
  // The name as it travels: "/" separators, OEM code page.
  std::string StoredName() const;

  std::string fileName_;
  std::string directory_;
  std::optional<std::string> fileComment_;
};

// The end-of-central-directory record.
class TEndCentral {
 public:
  TEndCentral() { Clear(); }
  void Clear();
  void Assign(const TEndCentral& other) { *this = other; }

  // Writes the 22-byte record and the held comment (the comment length
  // written is that of the held comment).
  void SaveToStream(TStream& stream);
  // Finds the last end record within the final 22 + 65535 bytes and takes
  // its fields. The comment is not read; its position is the record + 22.
  // False when the stream is shorter than 22 bytes or holds no record.
  bool ReadFromStream(TStream& stream);
  // The archive comment, read from its position and clipped to the stream.
  std::string ReadComment(TStream& stream) const;

  bool HasComment() const { return zipCommentLength > 0; }
  int64_t EndCentralSize() const { return kEndCentralSize + int64_t{zipCommentLength}; }
  const std::optional<std::string>& ZipComment() const { return zipComment_; }
  void SetZipComment(std::optional<std::string> comment);

  uint32_t signature;
  uint16_t thisDisk;
  uint16_t centralDisk;
  uint16_t entriesThisDisk;
  uint16_t totalEntries;
  uint32_t centralSize;
  uint32_t centralOffset;
  uint16_t zipCommentLength;
  int64_t zipCommentPosition;  // where the comment starts; the record's offset + 22
  int64_t recordPosition;      // where the record was found; -1 when not read

 private:
  std::optional<std::string> zipComment_;
};

// The entries of an archive in the order of a sort mode. ByNone is archive
// order (start disk, then local header offset); names sort ascending without
// regard to ASCII case; dates and sizes descending, equal ones in archive
// order; rates descending.
class TSortedZip : public TSortedObjectList<TZipHeaderInfo> {
 public:
  explicit TSortedZip(TDuplicates duplicates, bool ownsObjects = true, TZipSortMode mode = TZipSortMode::ByNone)
      : TSortedObjectList<TZipHeaderInfo>(duplicates, ownsObjects), sortMode_(mode) {}
  TZipSortMode SortMode() const { return sortMode_; }
  int Compare(const TZipHeaderInfo& a, const TZipHeaderInfo& b) const override;

 private:
  TZipSortMode sortMode_;
};

// Where the zip64 end record puts the directory. Writers use it when a
// count, size or offset does not fit the end record's fields (which then
// hold their maximum); its values are the true ones.
struct TZip64Directory {
  uint32_t thisDisk = 0;
  uint32_t centralDisk = 0;
  uint64_t totalEntries = 0;
  uint64_t centralSize = 0;
  uint64_t centralOffset = 0;
};
// Follows the zip64 locator that lies just before the end record at
// endRecordPosition to the zip64 end record. nullopt when there is no
// locator or it leads nowhere (the stream is put back either way).
std::optional<TZip64Directory> ReadZip64Directory(TStream& stream, int64_t endRecordPosition);

// The data of the first block with this id in an extra field (blocks of a
// 16-bit id, a 16-bit length and that many bytes); nullopt when none is
// there or the blocks run past the field.
std::optional<std::span<const uint8_t>> FindExtraBlock(std::span<const uint8_t> extra, uint16_t id);

// Case-insensitive comparison of two texts, ASCII letters folded.
int CompareText(const std::string& a, const std::string& b);

}  // namespace kv
