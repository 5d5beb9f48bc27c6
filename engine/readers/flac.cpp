#include "engine/readers/flac.h"

#include "base/ansi_text.h"
#include "engine/readers/reader_support.h"

#include <algorithm>
#include <limits>
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

const char* MessageOf(FlacDropped::Reason reason) {
  switch (reason) {
    case FlacDropped::Reason::NotFlac: return "Not a FLAC file";
    case FlacDropped::Reason::NoStreamInfo: return "FLAC file without stream information";
    case FlacDropped::Reason::ZeroSampleRate: return "FLAC stream with a sample rate of 0";
  }
  return "FLAC file not readable";
}

void ReadStreamInfo(SourceCursor& c, FlacInfo& info) {
  c.Skip(10);  // block sizes and frame sizes
  const uint64_t v = c.U64be();
  info.sampleRate = static_cast<uint32_t>(v >> 44);
  info.channels = static_cast<uint32_t>((v >> 41) & 0x7) + 1;
  info.bitsPerSample = static_cast<uint32_t>((v >> 36) & 0x1F) + 1;
  info.totalSamples = v & 0xFFFFFFFFFull;
}

// Copies only the values of the names we keep; every other item, and the
// vendor, is skipped by its length. Lengths are bounded by the block.
void ReadVorbisComment(SourceCursor& c, std::string (&values)[kFields], bool (&seen)[kFields]) {
  c.Skip(c.U32le());  // vendor
  uint32_t count = std::min(c.U32le(), kMaxCommentItems);
  for (; count > 0 && c; --count) {
    const uint32_t length = c.U32le();
    if (length > c.Remaining()) return;
    std::string head = c.Bytes(std::min<size_t>(length, kNamePeek));
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
}

}  // namespace

FlacDropped::FlacDropped(Reason reason) : std::runtime_error(MessageOf(reason)), reason_(reason) {}

FlacInfo ReadFlac(ByteSource& source) {
  const uint64_t fileSize = source.Size();
  SourceCursor magic(source, 0, fileSize);
  if (magic.Bytes(4) != "fLaC") throw FlacDropped(FlacDropped::Reason::NotFlac);

  FlacInfo info;
  bool haveStreamInfo = false;
  std::string values[kFields];
  bool seen[kFields] = {};
  uint64_t pos = 4;
  for (int block = 0; block < kMaxBlocks; ++block) {
    SourceCursor head(source, pos, fileSize);
    const uint8_t flags = head.U8();
    const uint32_t lengthHigh = head.U16be();
    const uint32_t length = lengthHigh << 8 | head.U8();
    if (!head || length > head.Remaining()) break;
    const uint64_t dataStart = pos + 4;
    SourceCursor data(source, dataStart, dataStart + length);
    const uint8_t type = flags & 0x7F;
    if (type == kStreamInfo) {
      FlacInfo read = info;
      ReadStreamInfo(data, read);
      if (data) {
        info = read;
        haveStreamInfo = true;
      }
    } else if (type == kVorbisComment) {
      info.tagFound = true;
      ReadVorbisComment(data, values, seen);
    }
    pos = dataStart + length;
    if (flags & 0x80) break;  // the last metadata block
  }

  if (!haveStreamInfo) throw FlacDropped(FlacDropped::Reason::NoStreamInfo);
  if (info.sampleRate == 0) throw FlacDropped(FlacDropped::Reason::ZeroSampleRate);
  const uint64_t seconds = info.totalSamples / info.sampleRate;
  info.duration = seconds > uint64_t{std::numeric_limits<int32_t>::max()} ? 0 : static_cast<uint32_t>(seconds);

  info.title = Utf8ToAnsi(values[kTitle]);
  info.artist = Utf8ToAnsi(values[kArtist]);
  info.album = Utf8ToAnsi(values[kAlbum]);
  info.year = Utf8ToAnsi(values[kDate]);
  info.genre = Utf8ToAnsi(values[kGenre]);
  info.comment = Utf8ToAnsi(values[kComment]);
  info.track = ParseWholeNumber(values[kTrack]).value_or(0);
  return info;
}

int32_t FlacBitRate(uint64_t fileSize, uint32_t duration) {
  if (duration == 0) return 0;
  return RoundHalfEven(static_cast<double>(fileSize) / duration * 8.0 * 0.95 / 1024.0).value_or(0);
}

}  // namespace kv
