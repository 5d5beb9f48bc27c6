#include "engine/readers/asf.h"

#include "base/ansi_text.h"
#include "engine/readers/reader_support.h"

#include <algorithm>
#include <array>
#include <exception>
#include <new>
#include <string_view>

namespace kv {
namespace {

using Guid = std::array<uint8_t, 16>;

// A GUID in the byte order it has in the file (first three fields little-endian).
constexpr Guid MakeGuid(uint32_t d1, uint16_t d2, uint16_t d3, std::array<uint8_t, 8> d4) {
  Guid g{};
  for (int i = 0; i < 4; ++i) g[i] = static_cast<uint8_t>(d1 >> (8 * i));
  for (int i = 0; i < 2; ++i) g[4 + i] = static_cast<uint8_t>(d2 >> (8 * i));
  for (int i = 0; i < 2; ++i) g[6 + i] = static_cast<uint8_t>(d3 >> (8 * i));
  for (int i = 0; i < 8; ++i) g[8 + i] = d4[i];
  return g;
}

constexpr Guid kHeaderObject = MakeGuid(0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
constexpr Guid kFileProperties = MakeGuid(0x8CABDCA1, 0xA947, 0x11CF, {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65});
constexpr Guid kStreamProperties = MakeGuid(0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65});
constexpr Guid kContentDescription = MakeGuid(0x75B22633, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
constexpr Guid kExtendedContentDescription =
    MakeGuid(0xD2D0A440, 0xE307, 0x11D2, {0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50});

// Header object: GUID, 64-bit size, 32-bit object count, two reserved bytes.
constexpr uint64_t kHeaderObjectSize = 30;
// Every object starts with its GUID and 64-bit size.
constexpr uint64_t kObjectHeaderSize = 24;
// Texts longer than this many characters are cut.
constexpr size_t kMaxTextChars = 250;

enum TextSlot { kTitle, kAuthor, kAlbum, kTrack, kYear, kGenre, kDescription, kTextSlots };

constexpr std::string_view kDescriptorNames[kTextSlots] = {
    "WM/TITLE", "WM/AUTHOR", "WM/ALBUMTITLE", "WM/TRACK", "WM/YEAR", "WM/GENRE", "WM/DESCRIPTION"};

struct Working {
  // File properties: play duration (100-ns units) and preroll (ms), both
  // counted from the start of the stream; the broadcast flag voids them.
  uint64_t playDuration = 0;
  uint64_t preroll = 0;
  bool broadcast = false;
  uint32_t maxBitRate = 0;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint32_t averageByteRate = 0;
  std::u16string texts[kTextSlots];
};

bool GuidIs(const std::string& bytes, const Guid& guid) {
  return bytes.size() == guid.size() && std::equal(guid.begin(), guid.end(), bytes.begin(),
                                                   [](uint8_t g, char b) { return g == static_cast<uint8_t>(b); });
}

// A UTF-16LE text of `length` bytes, of which at most kMaxTextChars characters
// are kept. A terminating zero unit stays in the text (trimming removes it).
std::u16string ReadText(SourceCursor& c, uint16_t length) {
  const size_t chars = std::min<size_t>(length / 2, kMaxTextChars);
  const std::string bytes = c.Bytes(chars * 2);
  c.Skip(length - bytes.size());
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  }
  return text;
}

void ReadContentDescription(SourceCursor& c, Working& w) {
  c.Skip(4);  // the rest of the 64-bit object size
  uint16_t lengths[5];
  for (uint16_t& n : lengths) n = c.U16le();
  // Title, author, copyright, description, rating; copyright and rating are dropped.
  constexpr int kSlotOf[5] = {kTitle, kAuthor, -1, kDescription, -1};
  for (int i = 0; i < 5; ++i) {
    if (lengths[i] == 0) continue;
    std::u16string text = ReadText(c, lengths[i]);
    if (kSlotOf[i] >= 0) w.texts[kSlotOf[i]] = std::move(text);
  }
}

void ReadExtendedContentDescription(SourceCursor& c, Working& w) {
  c.Skip(4);
  uint16_t count = c.U16le();
  // A count larger than the descriptors present stops at the object's end.
  for (; count > 0 && c.Remaining() > 0; --count) {
    const std::u16string name = ReadText(c, c.U16le());
    const uint16_t type = c.U16le();
    const uint16_t length = c.U16le();
    if (type != 0) {
      c.Skip(length);
      continue;
    }
    std::u16string value = ReadText(c, length);
    const std::string key = AsciiUpper(WideToCp1252(TrimBlanks(std::u16string_view(name))));
    for (int slot = 0; slot < kTextSlots; ++slot) {
      if (key == kDescriptorNames[slot]) w.texts[slot] = value;
    }
  }
}

// Header objects walked at most; a real header has a dozen. Objects may be as
// short as one byte, so without it a header of a gigabyte could take a
// thousand million steps.
constexpr uint32_t kMaxHeaderObjects = 4096;

// Walks the header's objects through one cursor over the file, each
// object's fields through a cursor over the object that shares its buffer.
ReadFault ReadHeader(ByteSource& source, Working& w) {
  const uint64_t fileSize = source.Size();
  SourceCursor file(source, 0, fileSize);
  const std::string headerGuid = file.Bytes(16);
  if (!file) return ReadFault::kShortField;
  if (!GuidIs(headerGuid, kHeaderObject)) return ReadFault::kNotThisFormat;
  const uint64_t headerSize = file.U64le();
  uint32_t count = file.U32le();
  file.Skip(2);
  if (!file) return ReadFault::kShortField;
  if (headerSize < kHeaderObjectSize) return ReadFault::kBadSize;
  if (headerSize > fileSize) return ReadFault::kOutsideParent;

  // Each object is read from its start and the walk goes on at start + the
  // low 32 bits of its size,
  // whether or not its fields fit its size: an object too short for them
  // reads them from the bytes after it, and one that runs past the header
  // ends the walk. Every read stays inside the header: a field past its end
  // fails the file as a short one. A count larger than the objects present
  // stops at the header's end.
  uint32_t walked = 0;
  for (uint64_t pos = kHeaderObjectSize; count > 0 && pos < headerSize; --count) {
    if (++walked > kMaxHeaderObjects) return ReadFault::kTooManyBoxes;
    if (headerSize - pos < kObjectHeaderSize) break;  // no object fits: what follows is not the header's
    file.Seek(pos);
    const std::string guid = file.Bytes(16);
    const uint32_t size = file.U32le();  // the high half is passed over
    if (!file) return ReadFault::kShortField;
    // A size of 0 would read the same object again and again.
    if (size == 0) return ReadFault::kBadSize;

    // The fields are read 20 bytes into the object, after the GUID and the
    // low half of the size, as the offsets below count.
    SourceCursor o(file, pos + 20, headerSize);
    if (GuidIs(guid, kFileProperties)) {
      o.Skip(44);  // to object offset 64
      w.playDuration = o.U64le();
      o.Skip(8);  // send duration
      w.preroll = o.U64le();
      w.broadcast = (o.U32le() & 1) != 0;
      o.Skip(8);  // packet sizes
      w.maxBitRate = o.U32le();
    } else if (GuidIs(guid, kStreamProperties)) {
      o.Skip(60);  // to the channel field of the audio format; the stream type is not checked
      w.channels = o.U16le();
      w.sampleRate = o.U32le();
      w.averageByteRate = o.U32le();
    } else if (GuidIs(guid, kContentDescription)) {
      ReadContentDescription(o, w);
    } else if (GuidIs(guid, kExtendedContentDescription)) {
      ReadExtendedContentDescription(o, w);
    }
    if (!o) return ReadFault::kShortField;  // its fields run past the header
    if (size > headerSize - pos) break;
    pos += size;
  }
  return ReadFault::kNone;
}

// Seconds: the play duration less the preroll, as the file states them. The
// size over the maximum bit rate counts the header (cover pictures too) and
// the packets' padding as sound: four minutes at 128 kbit/s come out 18 s
// long, past the time difference that pairs a song with its copies. When
// they are missing (zero, a broadcast, a preroll not below the play duration)
// or beyond what a record holds, file size in bits / maximum bit rate.
double DurationOf(const Working& w, uint64_t fileSize) {
  constexpr uint64_t kMaxPlayDuration = uint64_t{INT32_MAX} * 10'000'000;  // 100-ns units
  if (!w.broadcast && w.playDuration != 0 && w.playDuration <= kMaxPlayDuration &&
      w.preroll < w.playDuration / 10'000) {
    return static_cast<double>(w.playDuration - w.preroll * 10'000) / 1e7;
  }
  return static_cast<double>(fileSize) * 8.0 / w.maxBitRate;
}

std::string AnsiTrimmed(const std::u16string& text) { return WideToAnsi(TrimBlanks(std::u16string_view(text))); }

}  // namespace

bool TWMAfile::ReadFromSource(ByteSource& source) {
  Reset();
  Working w;
  uint64_t fileSize = 0;
  try {
    fileSize = source.Size();
    fault = ReadHeader(source, w);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    fault = ReadFault::kReadError;  // like a short file: the result stays invalid
  }
  // A file that is not ASF counts as read: it just holds nothing.
  if (fault != ReadFault::kNone) return fault == ReadFault::kNotThisFormat;

  const bool plausible = w.maxBitRate >= 1 && w.maxBitRate <= 319999 && (w.channels == 1 || w.channels == 2) &&
                         w.sampleRate >= 8000 && w.sampleRate <= 96000 && w.averageByteRate >= 1 &&
                         w.averageByteRate <= 39999;
  if (!plausible) {
    fault = ReadFault::kImplausibleStream;
    return false;
  }

  valid = true;
  stream = {fileSize, w.channels, w.sampleRate};
  duration = DurationOf(w, fileSize);
  bitRate = static_cast<int32_t>(w.averageByteRate * 8 / 1000);
  texts.title = AnsiTrimmed(w.texts[kTitle]);
  texts.artist = AnsiTrimmed(w.texts[kAuthor]);
  texts.album = AnsiTrimmed(w.texts[kAlbum]);
  texts.year = AnsiTrimmed(w.texts[kYear]);
  texts.genre = AnsiTrimmed(w.texts[kGenre]);
  texts.comment = AnsiTrimmed(w.texts[kDescription]);
  texts.track = ParseWholeNumber(WideToAnsi(w.texts[kTrack])).value_or(0);
  return true;
}

}  // namespace kv
