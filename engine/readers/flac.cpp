#include "engine/readers/flac.h"

#include "base/ansi_text.h"
#include "engine/readers/reader_support.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>

namespace kv {
namespace {

constexpr uint8_t kStreamInfo = 0;
constexpr uint8_t kVorbisComment = 4;
// Metadata blocks walked at most before the walk gives up.
constexpr int kMaxBlocks = 4096;
// Comment items read at most, whatever the count says.
constexpr uint32_t kMaxCommentItems = 1u << 20;
// Enough of an item to see a name we keep and its "=".
constexpr size_t kNamePeek = 8;

enum Field { kTitle, kArtist, kAlbum, kDate, kGenre, kComment, kTrack, kFields };
constexpr std::string_view kNames[kFields] = {"TITLE", "ARTIST", "ALBUM", "DATE", "GENRE", "COMMENT", "TRACK"};

struct StreamInfo {
  uint32_t sampleRate, channels, bitsPerSample;
  uint64_t totalSamples;
};

StreamInfo ReadStreamInfo(SourceCursor& c) {
  c.Skip(10);  // block sizes and frame sizes
  const uint64_t v = c.U64be();
  return {static_cast<uint32_t>(v >> 44), static_cast<uint32_t>((v >> 41) & 0x7) + 1,
          static_cast<uint32_t>((v >> 36) & 0x1F) + 1, v & 0xFFFFFFFFFull};
}

// Copies only the values of the names we keep, each from at most
// kMaxItemBytes of its item; every other item, the rest of a long item and
// the vendor are skipped by their length. Lengths are bounded by the block;
// the result says why the items stopped short of their count.
ReadFault ReadVorbisComment(SourceCursor& c, std::string (&values)[kFields], bool (&seen)[kFields]) {
  c.Skip(c.U32le());  // vendor
  const uint32_t count = c.U32le();
  if (!c) return ReadFault::kOutsideParent;
  for (uint32_t i = 0; i < count; ++i) {
    if (i == kMaxCommentItems) return ReadFault::kTooManyBoxes;
    const uint32_t length = c.U32le();
    if (!c || length > c.Remaining()) return ReadFault::kOutsideParent;
    const std::string head = c.Bytes(std::min<size_t>(length, kNamePeek));
    const size_t eq = head.find('=');
    const std::string name = AsciiUpper(std::string_view(head).substr(0, eq));
    const auto* hit = eq == std::string::npos ? std::end(kNames) : std::find(std::begin(kNames), std::end(kNames), name);
    const auto field = static_cast<size_t>(hit - std::begin(kNames));
    const uint32_t kept = std::min(length, TFlacFile::kMaxItemBytes);
    if (field < kFields && !seen[field]) {
      seen[field] = true;
      values[field] = head.substr(eq + 1) + c.Bytes(kept - head.size());
      c.Skip(length - kept);
    } else {
      c.Skip(length - head.size());
    }
  }
  return ReadFault::kNone;
}

// A value cut by the item limit may end inside a UTF-8 sequence.
std::string Decode(const std::string& value) { return Utf8ToAnsi(DropCutUtf8Tail(value)); }

}  // namespace

bool TFlacFile::ReadFromSource(ByteSource& source) {
  Reset();
  const uint64_t fileSize = source.Size();
  SourceCursor file(source, 0, fileSize);
  if (file.Bytes(4) != "fLaC") {
    fault = ReadFault::kNotThisFormat;
    return false;
  }

  std::optional<StreamInfo> info;
  std::string values[kFields];
  bool seen[kFields] = {};
  for (int block = 0;; ++block) {
    if (block == kMaxBlocks) {
      fault = ReadFault::kTooManyBoxes;
      break;
    }
    const uint64_t pos = file.Position();
    const uint8_t flags = file.U8();
    const uint32_t length = file.U24be();
    if (!file) {
      fault = ReadFault::kShortField;
      break;
    }
    if (length > file.Remaining()) {
      fault = ReadFault::kOutsideParent;
      break;
    }
    const uint64_t dataStart = pos + 4;
    SourceCursor data(file, dataStart, dataStart + length);
    const uint8_t type = flags & 0x7F;
    if (type == kStreamInfo) {
      const StreamInfo read = ReadStreamInfo(data);
      if (data) info = read;
    } else if (type == kVorbisComment) {
      tagFound = true;
      const ReadFault commentFault = ReadVorbisComment(data, values, seen);
      if (fault == ReadFault::kNone) fault = commentFault;
    }
    file.Seek(dataStart + length);
    if (flags & 0x80) break;  // the last metadata block
  }

  if (!info) {
    fault = ReadFault::kNoStreamInfo;
    return false;
  }
  if (info->sampleRate == 0) {
    fault = ReadFault::kZeroSampleRate;
    return false;
  }
  stream = {fileSize, info->channels, info->sampleRate};
  bitsPerSample = info->bitsPerSample;
  totalSamples = info->totalSamples;
  const uint64_t seconds = totalSamples / info->sampleRate;
  duration = seconds > uint64_t{std::numeric_limits<int32_t>::max()} ? 0 : static_cast<uint32_t>(seconds);

  texts.title = Decode(values[kTitle]);
  texts.artist = Decode(values[kArtist]);
  texts.album = Decode(values[kAlbum]);
  texts.year = Decode(values[kDate]);
  texts.genre = Decode(values[kGenre]);
  texts.comment = Decode(values[kComment]);
  texts.track = ParseWholeNumber(values[kTrack]).value_or(0);
  return true;
}

int32_t FlacBitRate(uint64_t fileSize, uint32_t duration) {
  if (duration == 0) return 0;
  return RoundHalfEven(static_cast<double>(fileSize) / duration * 8.0 * 0.95 / 1024.0).value_or(0);
}

}  // namespace kv
