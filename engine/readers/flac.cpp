#include "engine/readers/flac.h"

#include "base/ansi_text.h"
#include "engine/readers/reader_support.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace kv {
namespace {

constexpr uint8_t kStreamInfo = 0;
constexpr uint8_t kVorbisComment = 4;
// Enough of an item to see a name we keep and its "=".
constexpr size_t kNamePeek = 8;

enum Field { kTitle, kArtist, kAlbum, kDate, kGenre, kComment, kTrack, kFields };
constexpr std::string_view kNames[kFields] = {"TITLE", "ARTIST", "ALBUM", "DATE", "GENRE", "COMMENT", "TRACK"};

struct StreamInfo {
  uint32_t sampleRate, channels, bitsPerSample;
  uint64_t totalSamples;
};

// A read that needs bytes past the end of the file: the file is cut.
[[noreturn]] void RaiseCut(ReadFault fault) {
  throw std::runtime_error(std::string("FLAC file cut short: ") + ReadFaultText(fault));
}

StreamInfo ReadStreamInfo(SourceCursor& c) {
  c.Skip(10);  // block sizes and frame sizes
  const uint64_t v = c.U64be();
  return {static_cast<uint32_t>(v >> 44), static_cast<uint32_t>((v >> 41) & 0x7) + 1,
          static_cast<uint32_t>((v >> 36) & 0x1F) + 1, v & 0xFFFFFFFFFull};
}

// Copies the values of the names we keep (the first item of a name wins);
// every other item and the vendor are skipped by their length. Lengths are
// bounded by the block, and every item takes at least its 4-byte length; the
// result says why the items stopped short of their count.
ReadFault ReadVorbisComment(SourceCursor& c, std::string (&values)[kFields]) {
  bool seen[kFields] = {};
  c.Skip(c.U32le());  // vendor
  const uint32_t count = c.U32le();
  if (!c) return ReadFault::kOutsideParent;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t length = c.U32le();
    if (!c || length > c.Remaining()) return ReadFault::kOutsideParent;
    const std::string head = c.Bytes(std::min<size_t>(length, kNamePeek));
    const size_t eq = head.find('=');
    const std::string name = AsciiUpper(std::string_view(head).substr(0, eq));
    const auto* hit = eq == std::string::npos ? std::end(kNames) : std::find(std::begin(kNames), std::end(kNames), name);
    const auto field = static_cast<size_t>(hit - std::begin(kNames));
    if (field < kFields && !seen[field]) {
      seen[field] = true;
      values[field] = head.substr(eq + 1) + c.Bytes(length - head.size());
    } else {
      c.Skip(length - head.size());
    }
  }
  return ReadFault::kNone;
}

std::string Decode(const std::string& value) { return Utf8ToAnsi(DropCutUtf8Tail(value)); }

}  // namespace

bool TFlacFile::ReadFromSource(ByteSource& source) {
  Reset();
  const uint64_t fileSize = source.Size();
  SourceCursor file(source, 0, fileSize);
  const std::string signature = file.Bytes(4);
  if (!file) RaiseCut(ReadFault::kShortField);
  if (signature != "fLaC") {
    fault = ReadFault::kNotThisFormat;
    return false;
  }

  std::optional<StreamInfo> info;
  for (;;) {
    const uint64_t pos = file.Position();
    const uint8_t flags = file.U8();
    const uint32_t length = file.U24be();
    if (!file) RaiseCut(ReadFault::kShortField);
    // A block's content is read inside the block; a block running past the
    // file is read up to the file's end, and a read beyond that raises.
    const bool pastTheFile = length > file.Remaining();
    const uint64_t dataStart = pos + 4;
    SourceCursor data(file, dataStart, dataStart + length);
    const uint8_t type = flags & 0x7F;
    if (type == kStreamInfo) {
      const StreamInfo read = ReadStreamInfo(data);
      if (data) {
        if (read.sampleRate == 0) {  // the duration's division fails
          fault = ReadFault::kZeroSampleRate;
          throw std::runtime_error(std::string("FLAC file not read: ") + ReadFaultText(fault));
        }
        info = read;
      } else if (pastTheFile) {
        RaiseCut(ReadFault::kOutsideParent);
      }
    } else if (type == kVorbisComment) {
      tagFound = true;
      std::string values[kFields];
      // An item that would need bytes past its block fails the read, as one
      // past the file does: the block is not what it says it is.
      const ReadFault commentFault = ReadVorbisComment(data, values);
      if (commentFault != ReadFault::kNone) RaiseCut(commentFault);
      texts.title = Decode(values[kTitle]);
      texts.artist = Decode(values[kArtist]);
      texts.album = Decode(values[kAlbum]);
      texts.year = Decode(values[kDate]);
      texts.genre = Decode(values[kGenre]);
      texts.comment = Decode(values[kComment]);
      texts.track = ParseWholeNumber(values[kTrack]).value_or(0);
    }
    if (flags & 0x80) break;  // the last metadata block
    if (pastTheFile) RaiseCut(ReadFault::kOutsideParent);
    file.Seek(dataStart + length);
  }

  if (!info) {
    fault = ReadFault::kNoStreamInfo;  // no stream figures: duration 0
    return true;
  }
  stream = {fileSize, info->channels, info->sampleRate};
  bitsPerSample = info->bitsPerSample;
  totalSamples = info->totalSamples;
  const uint64_t seconds = totalSamples / info->sampleRate;
  duration = seconds > uint64_t{std::numeric_limits<int32_t>::max()} ? 0 : static_cast<uint32_t>(seconds);
  return true;
}

int32_t FlacBitRate(uint64_t fileSize, uint32_t duration) {
  if (duration == 0) throw std::runtime_error("FLAC file not read: length of 0 seconds");
  return RoundHalfEven(static_cast<double>(fileSize) / duration * 8.0 * 0.95 / 1024.0).value_or(0);
}

}  // namespace kv
