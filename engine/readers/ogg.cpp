#include "engine/readers/ogg.h"

#include "base/ansi_text.h"
#include "engine/readers/id3v2.h"
#include "engine/readers/reader_support.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace kv {
namespace {

// Fixed part of a page header; the segment count is its last byte.
constexpr size_t kPageHeaderSize = 27;
// Bytes of the identification packet that are read.
constexpr size_t kIdentificationSize = 30;
// Bytes of a comment item that are kept; the rest is skipped.
constexpr uint32_t kMaxItemBytes = 250;
// Pages one comment packet may run on over: room for a picture of some
// hundred megabytes in the comments, and a bound on the page headers a lying
// item length makes the reader visit.
constexpr uint32_t kMaxPacketPages = 1u << 16;
// A page header with the most lacing values; the first two pages' headers are
// read whole.
constexpr size_t kPageHeaderRead = kPageHeaderSize + 255;
// The search for the last page: kLastPageSteps windows of kSearchWindow bytes,
// each starting kSearchStep bytes before the previous one (the first
// kSearchStep + 10 bytes before the end), a capture pattern looked for at
// offsets kSearchStep down to 0 of each.
constexpr int kLastPageSteps = 50;
constexpr int64_t kSearchStep = 241;
constexpr size_t kSearchWindow = 251;
// Header bytes through the stream serial number.
constexpr size_t kThroughSerial = 18;

enum Slot { kTitle, kArtist, kAlbum, kTrackNumber, kDate, kGenre, kComment, kPerformer, kDescription, kSlots };
constexpr std::string_view kNames[kSlots] = {"TITLE", "ARTIST",  "ALBUM",     "TRACKNUMBER", "DATE",
                                             "GENRE", "COMMENT", "PERFORMER", "DESCRIPTION"};

bool StartsWith(const std::vector<uint8_t>& bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), bytes.begin(), [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t{b[at]} | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) | (uint32_t{b[at + 3]} << 24);
}

// UTF-8 to UTF-16, one unit per one-, two- or three-byte sequence; the text
// ends at the first malformed or truncated sequence.
std::u16string DecodeUtf8(std::string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<uint8_t>(text[i]);
    size_t len;
    uint32_t cp;
    if (b < 0x80) len = 1, cp = b;
    else if ((b & 0xE0) == 0xC0) len = 2, cp = b & 0x1Fu;
    else if ((b & 0xF0) == 0xE0) len = 3, cp = b & 0x0Fu;
    else break;
    if (len > text.size() - i) break;
    bool ok = true;
    for (size_t k = 1; k < len && ok; ++k) {
      const auto c = static_cast<uint8_t>(text[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if (!ok) break;
    out.push_back(static_cast<char16_t>(cp));
    i += len;
  }
  return out;
}

std::string Decode(std::string_view text) { return WideToAnsi(DecodeUtf8(text)); }

// The bytes of one packet, which may run on over the pages that follow its
// first. On each page the packet's bytes are its first segments up to and
// including the first lacing value below 255; when every lacing value of the
// page is 255, the packet goes on at the start of the next page, which must be
// of the same stream and flagged as continuing a packet. Reads past the packet
// trip the cursor as reads past a window do.
class PacketCursor {
 public:
  // The packet that starts with the first segment of the page at `pageAt`.
  PacketCursor(ByteSource& source, uint64_t pageAt) : source_(source) { EnterPage(pageAt, /*first=*/true); }

  explicit operator bool() const { return ok_; }
  // Why the cursor tripped: the packet ended, or its next page is missing.
  ReadFault Fault() const { return fault_; }

  uint32_t U32le() {
    const std::string b = Bytes(4);
    uint32_t value = 0;
    for (size_t i = b.size(); i-- > 0;) value = (value << 8) | static_cast<uint8_t>(b[i]);
    return value;
  }
  // The next n bytes; the caller bounds n by what it keeps.
  std::string Bytes(size_t n) {
    std::string out;
    while (ok_ && out.size() < n) {
      if (!Refill()) return {};
      const uint64_t take = std::min<uint64_t>(n - out.size(), run_->Remaining());
      out += run_->Bytes(static_cast<size_t>(take));
      if (!*run_) Stop(ReadFault::kReadError);
    }
    return ok_ ? out : std::string();
  }
  void Skip(uint64_t n) {
    while (ok_ && n > 0) {
      if (!Refill()) return;
      const uint64_t take = std::min(n, run_->Remaining());
      run_->Skip(take);
      n -= take;
    }
  }

 private:
  void Stop(ReadFault fault) {
    if (ok_) fault_ = fault;
    ok_ = false;
  }
  // True when there are packet bytes to read, moving to the next page when the
  // current page's share is used up.
  bool Refill() {
    while (ok_ && run_->Remaining() == 0) {
      if (!continues_) {
        Stop(ReadFault::kOutsideParent);
      } else if (++pages_ > kMaxPacketPages) {
        Stop(ReadFault::kTooManyBoxes);
      } else {
        EnterPage(nextPage_, /*first=*/false);
      }
    }
    return ok_;
  }
  void EnterPage(uint64_t at, bool first) {
    const std::vector<uint8_t> head = source_.Read(at, kPageHeaderSize);
    const bool continued = head.size() == kPageHeaderSize && (head[5] & 1) != 0;
    // The comment header's own page is taken by its place (the caller found
    // the packet's signature there); a page that continues it must be one.
    if (head.size() < kPageHeaderSize ||
        (!first && (!StartsWith(head, "OggS") || head[4] != 0 || !continued || Le32(head, 14) != serial_))) {
      Stop(first ? ReadFault::kShortField : ReadFault::kMissingBox);
      return;
    }
    serial_ = Le32(head, 14);
    const std::vector<uint8_t> lacing = source_.Read(at + kPageHeaderSize, head[26]);
    if (lacing.size() < head[26]) {
      Stop(ReadFault::kOutsideParent);
      return;
    }
    uint64_t mine = 0;
    uint64_t all = 0;
    continues_ = true;
    for (uint8_t n : lacing) {
      if (continues_) mine += n;
      if (n < 255) continues_ = false;
      all += n;
    }
    const uint64_t dataAt = at + kPageHeaderSize + lacing.size();
    nextPage_ = dataAt + all;
    run_.emplace(source_, dataAt, dataAt + mine);
    if (run_->Remaining() < mine) Stop(ReadFault::kOutsideParent);  // the page runs past the file
  }

  ByteSource& source_;
  std::optional<SourceCursor> run_;  // the packet's bytes on the current page
  bool continues_ = false;           // the packet goes on on the next page
  uint64_t nextPage_ = 0;
  uint32_t serial_ = 0;
  uint32_t pages_ = 0;
  bool ok_ = true;
  ReadFault fault_ = ReadFault::kNone;
};

// One comment item: at most kMaxItemBytes of it, trimmed. Trips the cursor when
// the item's length runs past the packet.
std::string ReadItem(PacketCursor& c) {
  const uint32_t length = c.U32le();
  const std::string bytes = c.Bytes(std::min(length, kMaxItemBytes));
  c.Skip(length - bytes.size());
  return c ? std::string(TrimBlanks(bytes)) : std::string();
}

// The comment header's items after its 7-byte packet type and name: the
// vendor text and the items as they stand (trimmed), each matched value
// decoded into its slot. The result says why the items stopped short of their
// count; every item takes at least its 4-byte length, so the packet bounds them.
ReadFault ReadComments(PacketCursor& c, std::string (&slots)[kSlots], std::string& vendor) {
  vendor = ReadItem(c);
  const uint32_t count = c.U32le();
  if (!c) return c.Fault();
  for (uint32_t i = 0; i < count; ++i) {
    const std::string item = ReadItem(c);
    if (!c) return c.Fault();
    const size_t eq = item.find('=');
    if (eq == std::string::npos) {
      if (vendor.empty()) vendor = item;
      continue;
    }
    const std::string name = AsciiUpper(std::string_view(item).substr(0, eq));
    for (int slot = 0; slot < kSlots; ++slot) {
      if (name == kNames[slot]) slots[slot] = Decode(TrimBlanks(std::string_view(item).substr(eq + 1)));
    }
  }
  return ReadFault::kNone;
}

// True when a page header of version 0 stands at `at` that is either of the
// first page's stream or, as its lacing values size it, ends at the end of
// the file or where another page starts. An "OggS" inside packet data passes
// neither test, so its arbitrary bytes are not taken for a granule position.
bool IsPageAt(ByteSource& source, uint64_t at, uint64_t fileSize, uint32_t serial, std::vector<uint8_t>& head) {
  head = source.Read(at, kPageHeaderRead);
  if (head.size() < kThroughSerial || !StartsWith(head, "OggS") || head[4] != 0) return false;
  if (Le32(head, 14) == serial) return true;
  if (head.size() < kPageHeaderSize || head.size() < kPageHeaderSize + head[26]) return false;
  uint64_t end = at + kPageHeaderSize + head[26];
  for (size_t i = 0; i < head[26]; ++i) end += head[kPageHeaderSize + i];
  return end == fileSize || (end < fileSize && StartsWith(source.Read(end, 4), "OggS"));
}

// The granule position of the last page: the first page header found in the
// search windows near the end, the nearest first; 0 when none is, or when the
// position is negative or beyond 32 bits. Parts of windows before the file's
// start are not searched.
uint32_t LastGranule(ByteSource& source, uint64_t fileSize, uint32_t serial) {
  if (fileSize > uint64_t{INT64_MAX}) return 0;
  const auto size = static_cast<int64_t>(fileSize);
  std::vector<uint8_t> head;
  for (int k = 1; k <= kLastPageSteps; ++k) {
    const int64_t windowAt = size - kSearchStep * k - 10;
    if (windowAt + kSearchStep < 0) break;
    const int64_t readAt = std::max<int64_t>(windowAt, 0);
    const std::vector<uint8_t> window =
        source.Read(static_cast<uint64_t>(readAt), kSearchWindow - static_cast<size_t>(readAt - windowAt));
    for (int64_t at = windowAt + kSearchStep; at >= readAt; --at) {
      const auto i = static_cast<size_t>(at - readAt);
      if (i + 4 > window.size() || window[i] != 'O' || window[i + 1] != 'g' || window[i + 2] != 'g' ||
          window[i + 3] != 'S')
        continue;
      if (!IsPageAt(source, static_cast<uint64_t>(at), fileSize, serial, head)) continue;
      const uint64_t granule = uint64_t{Le32(head, 6)} | (uint64_t{Le32(head, 10)} << 32);
      return granule > UINT32_MAX ? 0 : static_cast<uint32_t>(granule);  // -1: no packet ends on the page
    }
  }
  return 0;
}

uint16_t TrackOf(const std::string& text) {
  const auto n = ParseWholeNumber(std::string_view(text).substr(0, text.find('/')));
  return n && *n >= 0 && *n <= UINT16_MAX ? static_cast<uint16_t>(*n) : 0;
}

}  // namespace

bool TOggVorbis::ReadFromSource(ByteSource& source) {
  Reset();
  const uint64_t fileSize = source.Size();
  const uint64_t id3 = Id3v2TagSize(source);

  const std::vector<uint8_t> page1 = source.Read(id3, kPageHeaderRead);
  if (page1.size() < kPageHeaderSize || !StartsWith(page1, "OggS")) {
    fault = StartsWith(page1, "OggS") ? ReadFault::kShortField : ReadFault::kNotThisFormat;
    return false;
  }
  const uint64_t idAt = id3 + kPageHeaderSize + page1[26];
  const std::vector<uint8_t> id = source.Read(idAt, kIdentificationSize);
  if (id.size() < kIdentificationSize || !StartsWith(id, "\x01vorbis")) {
    fault = StartsWith(id, "\x01vorbis") ? ReadFault::kShortField : ReadFault::kNotThisFormat;
    return false;
  }

  // The comment header is taken to start the page after the identification
  // packet; it may run on over further pages (a picture in the comments).
  std::string slots[kSlots];
  const uint64_t page2At = idAt + kIdentificationSize;
  const std::vector<uint8_t> page2 = source.Read(page2At, kPageHeaderRead);
  if (page2.size() >= kPageHeaderSize) {
    const uint64_t commentAt = page2At + kPageHeaderSize + page2[26];
    if (StartsWith(source.Read(commentAt, 7), "\x03vorbis")) {
      PacketCursor c(source, page2At);
      c.Skip(7);
      fault = ReadComments(c, slots, vendor);
    } else {
      fault = ReadFault::kMissingBox;
    }
  } else {
    fault = ReadFault::kMissingBox;
  }

  valid = true;
  id3v2Size = id3;
  stream = {fileSize, id[11], Le32(id, 12)};
  const int32_t nominalKbps = static_cast<int32_t>(Le32(id, 20)) / 1000;
  nominalBitRate = nominalKbps > 0 && nominalKbps <= UINT16_MAX ? static_cast<uint16_t>(nominalKbps) : 0;
  samples = LastGranule(source, fileSize, Le32(page1, 14));

  texts.title = slots[kTitle];
  texts.artist = slots[slots[kArtist].empty() ? kPerformer : kArtist];
  texts.album = slots[kAlbum];
  texts.track = TrackOf(slots[kTrackNumber]);
  texts.year = slots[kDate];
  texts.genre = slots[kGenre];
  texts.comment = slots[slots[kComment].empty() ? kDescription : kComment];
  return true;
}

double TOggVorbis::FGetDuration() const {
  if (samples >= 1) return stream.sampleRate == 0 ? 0.0 : static_cast<double>(samples) / stream.sampleRate;
  if (nominalBitRate != 0 && stream.channels > 0) {
    return static_cast<double>(stream.fileSize - id3v2Size) / nominalBitRate / stream.channels / 125.0 * 2.0;
  }
  return 0.0;
}

uint16_t TOggVorbis::FGetBitRate() const {
  const double duration = FGetDuration();
  if (!(duration > 0)) return 0;
  const auto rate = RoundHalfEven(static_cast<double>(stream.fileSize - id3v2Size) / duration / 125.0);
  return rate && *rate >= 0 && *rate <= UINT16_MAX ? static_cast<uint16_t>(*rate) : 0;
}

}  // namespace kv
