#include "engine/readers/id3v2.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "base/ansi_text.h"
#include "engine/readers/reader_support.h"

namespace kv {
namespace {

using Bytes = std::vector<uint8_t>;

// A text frame keeps at most this many bytes (encoding byte included).
constexpr size_t kTextBufferSize = 500;

// The frames the record uses, by slot, with their identifiers in versions
// 2.3/2.4 and in version 2.2.
enum Slot {
  kTitle, kArtist, kAlbum, kTrack, kYear, kGenre, kComment, kComposer, kEncoder,
  kCopyright, kLanguage, kLink, kDate, kOriginalArtist, kContentGroup, kOriginalAlbum,
  kSizeSlot, kSlotCount
};
constexpr std::array<std::string_view, kSlotCount> kIds34 = {
    "TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM", "TCOM", "TENC",
    "TCOP", "TLAN", "WXXX", "TDRC", "TOPE", "TIT1", "TOAL", "TSIZ"};
constexpr std::array<std::string_view, kSlotCount> kIds22 = {
    "TT2", "TP1", "TAL", "TRK", "TYE", "TCO", "COM", "TCM", "TEN",
    "TCR", "TLA", "WXX", "TOR", "TOA", "TT1", "TOT", "TSI"};

// Text encodings. Frames in UTF-16 big-endian (2) and UTF-8 (3) are read
// too: most tags written today are UTF-8, and skipping them would leave those
// files without artist and title.
enum Encoding : uint8_t { kLatin1 = 0, kUtf16 = 1, kUtf16Be = 2, kUtf8 = 3 };

int SlotOf(std::string_view id, int version) {
  const auto& ids = version == 2 ? kIds22 : kIds34;
  for (size_t i = 0; i < ids.size(); ++i) {
    if (ids[i] == id) return static_cast<int>(i);
  }
  return -1;
}

// A 28-bit number stored in the low seven bits of each of four bytes.
uint32_t Syncsafe(uint32_t stored) {
  return ((stored >> 3) & 0x0FE00000u) | ((stored >> 2) & 0x001FC000u) | ((stored >> 1) & 0x00003F80u) |
         (stored & 0x7Fu);
}

// The 10-byte header every reader of the tag starts with.
struct TagHeader {
  bool isId3 = false;
  uint8_t version = 0, revision = 0, flags = 0;
  uint32_t storedSize = 0;  // the size field as it stands
  uint32_t size = 0;        // the syncsafe size: the tag without its header (and footer)
};

// Reads the header at the cursor; the cursor trips when fewer than 10 bytes remain.
TagHeader ReadHeader(SourceCursor& c) {
  TagHeader h;
  h.isId3 = c.Bytes(3) == "ID3";
  h.version = c.U8();
  h.revision = c.U8();
  h.flags = c.U8();
  h.storedSize = c.U32be();
  h.size = Syncsafe(h.storedSize);
  return h;
}

// Header, frames and the footer when flag bit 4 announces one; 0 when that
// is more than the file holds.
uint64_t TotalSize(const TagHeader& h, uint64_t fileSize) {
  const uint64_t size = uint64_t{h.size} + 10 + ((h.flags & 0x10) ? 10 : 0);
  return size > fileSize ? 0 : size;
}

bool IsUpper(uint8_t c) { return c >= 'A' && c <= 'Z'; }
bool IsIdChar(uint8_t c) { return IsUpper(c) || (c >= '0' && c <= '9'); }

std::string Trim(std::string s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<uint8_t>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<uint8_t>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

bool IsWide(uint8_t enc) { return enc == kUtf16 || enc == kUtf16Be; }

// UTF-16 up to the first 0 unit. Only a leading byte-order mark is dropped;
// FE FF switches to big-endian. Without a mark, encoding 1 is read
// little-endian (what most writers of that encoding produce) and encoding 2
// big-endian. A unit cut by the end of the buffer is dropped.
std::u16string DecodeUtf16(std::span<const uint8_t> b, bool bigEndian) {
  size_t i = 0;
  if (b.size() >= 2) {
    if (b[0] == 0xFF && b[1] == 0xFE) { bigEndian = false; i = 2; }
    else if (b[0] == 0xFE && b[1] == 0xFF) { bigEndian = true; i = 2; }
  }
  std::u16string w;
  for (; i < b.size(); i += 2) {
    // An odd last byte is a unit whose other byte is 0.
    const unsigned first = b[i];
    const unsigned second = i + 1 < b.size() ? b[i + 1] : 0;
    const auto unit = static_cast<char16_t>(bigEndian ? (first << 8) | second : first | (second << 8));
    if (unit == 0) break;
    w.push_back(unit);
  }
  return w;
}

// UTF-8 up to the first 0 byte, without a leading byte-order mark. When the
// buffer cut the text, an incomplete last sequence is dropped rather than
// turned into '?'.
std::string DecodeUtf8(std::span<const uint8_t> b) {
  std::string_view s(reinterpret_cast<const char*>(b.data()), b.size());
  if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
  const size_t nul = s.find('\0');
  if (nul != std::string_view::npos) {
    s = s.substr(0, nul);
  } else {
    size_t lead = s.size();
    while (lead > 0 && s.size() - lead < 4 && (static_cast<uint8_t>(s[lead - 1]) & 0xC0) == 0x80) --lead;
    if (lead > 0) {
      const auto c = static_cast<uint8_t>(s[lead - 1]);
      const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      if (c >= 0xC0 && s.size() - (lead - 1) < need) s = s.substr(0, lead - 1);
    }
  }
  return Utf8ToAnsi(s);
}

// Text in the given encoding; Latin-1 (and any other byte) is taken byte for
// byte, the way the ANSI code page reads it.
std::string DecodeText(uint8_t enc, std::span<const uint8_t> b) {
  switch (enc) {
    case kUtf16: return Trim(WideToAnsi(DecodeUtf16(b, false)));
    case kUtf16Be: return Trim(WideToAnsi(DecodeUtf16(b, true)));
    case kUtf8: return Trim(DecodeUtf8(b));
    default: return Trim(std::string(b.begin(), b.end()));
  }
}

// Offset just past a terminated string that starts at `from` (one 0 byte, or
// a 0 unit on a unit boundary for UTF-16); the size of `b` when unterminated.
size_t SkipTerminated(uint8_t enc, std::span<const uint8_t> b, size_t from) {
  if (IsWide(enc)) {
    for (size_t i = from; i + 1 < b.size(); i += 2) {
      if (b[i] == 0 && b[i + 1] == 0) return i + 2;
    }
    return b.size();
  }
  for (size_t i = from; i < b.size(); ++i) {
    if (b[i] == 0) return i + 1;
  }
  return b.size();
}

std::span<const uint8_t> From(const Bytes& b, size_t offset) {
  return offset < b.size() ? std::span<const uint8_t>(b).subspan(offset) : std::span<const uint8_t>{};
}

// A text frame: encoding byte, then the text.
std::string FrameText(const Bytes& b) { return b.empty() ? std::string{} : DecodeText(b[0], From(b, 1)); }

// COMM: encoding, three-letter language, description, text.
std::string CommentText(const Bytes& b) {
  if (b.size() < 4) return {};
  const size_t text = SkipTerminated(b[0], b, 4);
  return DecodeText(b[0], From(b, text));
}

// WXXX: encoding, description, then the address, which is always Latin-1.
std::string LinkText(const Bytes& b) {
  if (b.empty()) return {};
  return DecodeText(kLatin1, From(b, SkipTerminated(b[0], b, 1)));
}

// The integer before the first "/" (an optional sign and decimal digits that
// fit 32 bits); 0 for anything else.
int32_t TrackNumber(std::string_view text) {
  text = text.substr(0, text.find('/'));
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 10) return 0;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  if (negative) v = -v;
  return v < INT32_MIN || v > INT32_MAX ? 0 : static_cast<int32_t>(v);
}

// Whether a frame may start at `pos`: the exact end of the frame area, padding
// (a 0 byte), or four identifier characters.
bool FrameMayStartAt(SourceCursor& tag, uint64_t pos, uint64_t end) {
  if (pos == end) return true;
  if (pos > end) return false;
  SourceCursor peek(tag, pos, end);
  const std::string id = peek.Bytes(static_cast<size_t>(std::min<uint64_t>(4, end - pos)));
  if (id.empty()) return false;
  const auto at = [&](size_t i) { return static_cast<uint8_t>(id[i]); };
  if (at(0) == 0) return true;
  return id.size() == 4 && IsUpper(at(0)) && IsIdChar(at(1)) && IsIdChar(at(2)) && IsIdChar(at(3));
}

// Data size of a version 2.4 frame. Writers are told to store it syncsafe,
// and a cover picture stored so would derail a walk that reads it plainly;
// some early writers stored it as a plain number, so the plain reading is
// taken when only it lands on another frame.
uint64_t Version4FrameSize(SourceCursor& tag, uint32_t stored, uint64_t dataStart, uint64_t end) {
  const uint64_t plain = stored;
  if (stored & 0x80808080u) return plain;
  const uint64_t safe = Syncsafe(stored);
  if (safe == plain || FrameMayStartAt(tag, dataStart + safe, end)) return safe;
  return FrameMayStartAt(tag, dataStart + plain, end) ? plain : safe;
}

// Whether the frame is to be ignored: bit 7 of the second flag byte in both
// versions, and the bits that mark compressed or encrypted data in each
// (such data would be read as text).
bool IsPacked(int version, uint8_t formatFlags) {
  if (version == 3) return (formatFlags & 0xC0) != 0;
  if (version == 4) return (formatFlags & 0x8C) != 0;
  return false;
}

}  // namespace

uint64_t Id3v2TagSize(ByteSource& src) {
  SourceCursor c(src, 0, src.Size());
  const TagHeader h = ReadHeader(c);
  return c && h.isId3 ? TotalSize(h, src.Size()) : 0;
}

bool TID3v2::ReadFromSource(ByteSource& src) {
  ResetData();
  const uint64_t fileSize = src.Size();
  SourceCursor tag(src, 0, fileSize);
  const TagHeader h = ReadHeader(tag);
  if (!tag) return false;
  if (!h.isId3) return true;
  Exists = true;
  Version = h.version;
  Size = TotalSize(h, fileSize);
  if (Version < 2 || Version > 4 || Size < 1) return true;

  // The frame walk stays inside the tag: a frame header that does not fit,
  // or data that runs past the tag's end, is cut there.
  const uint64_t end = Size;
  const size_t headerLen = Version == 2 ? 6 : 10;
  std::array<Bytes, kSlotCount> kept;
  uint64_t pos = 10;
  while (pos < end) {  // every frame takes its header: the tag bounds the walk
    if (headerLen > end - pos) break;
    tag.Seek(pos);
    const std::string id = tag.Bytes(headerLen == 6 ? 3 : 4);
    if (!tag || !IsUpper(static_cast<uint8_t>(id[0]))) break;  // padding or garbage ends the walk
    const uint64_t dataStart = pos + headerLen;
    uint64_t frameSize = 0;
    uint8_t formatFlags = 0;
    if (Version == 2) {
      frameSize = tag.U24be();
    } else {
      const uint32_t stored = tag.U32be();
      tag.U8();  // status flags
      formatFlags = tag.U8();
      frameSize = Version == 3 ? stored : Version4FrameSize(tag, stored, dataStart, end);
    }
    if (!tag) break;
    const int slot = SlotOf(id, Version);
    if (slot >= 0 && !IsPacked(Version, formatFlags)) {
      SourceCursor data(tag, dataStart, end);
      const auto keep = static_cast<size_t>(std::min<uint64_t>({frameSize, kTextBufferSize, end - dataStart}));
      const std::string bytes = data.Bytes(keep);
      if (bytes.empty() || static_cast<uint8_t>(bytes[0]) <= kUtf8) {
        kept[static_cast<size_t>(slot)].assign(bytes.begin(), bytes.end());
      }
    }
    pos = dataStart + frameSize;
  }

  auto text = [&](Slot s) { return FrameText(kept[s]); };
  Title = text(kTitle);
  if (Title.empty()) Title = text(kContentGroup);
  Artist = text(kArtist);
  if (Artist.empty()) Artist = text(kOriginalArtist);
  Album = text(kAlbum);
  if (Album.empty()) Album = text(kOriginalAlbum);
  TrackText = text(kTrack);
  Track = TrackNumber(TrackText);
  Year = text(kYear);
  if (Year.empty()) Year = text(kDate).substr(0, 4);
  Genre = text(kGenre);
  if (const size_t close = Genre.rfind(')'); close != std::string::npos) Genre = Genre.substr(close + 1);
  Comment = CommentText(kept[kComment]);
  Composer = text(kComposer);
  Encoder = text(kEncoder);
  Copyright = text(kCopyright);
  Language = text(kLanguage);
  Link = LinkText(kept[kLink]);
  SizeText = text(kSizeSlot);
  return true;
}

void TID3v2Tag::LoadFromStream(ByteSource& src, uint64_t start, uint64_t size) {
  Header = {};
  Frames.clear();
  FramesRead = false;
  const uint64_t total = src.Size();
  if (start > total) return;
  size = std::min(size, total - start);
  if (size < 10) return;
  SourceCursor tag(src, start, start + size);
  const TagHeader h = ReadHeader(tag);
  if (!tag) return;
  Header.Version = h.version;
  Header.Revision = h.revision;
  Header.Flags = h.flags;
  Header.Valid = h.isId3 && h.version < 255 && h.revision < 255 && (h.storedSize & 0x80808080u) == 0;
  Header.Size = h.size;
  if (!Header.Valid || Header.Version >= 5 || Header.Size > size) return;

  // The frames: the tag's declared size after its header (no further than
  // the file). A frame's data is cut at the tag's end (past it lie the audio
  // bytes, which are no part of the frame).
  const uint64_t base = start + 10;
  const uint64_t length = std::min<uint64_t>(Header.Size, total - base);
  SourceCursor area(src, base, base + length);
  uint64_t off = 0;
  while (length - off >= 10 && Frames.size() < kMaxFrames) {
    area.Seek(base + off);
    const std::string id = area.Bytes(4);
    const uint32_t frameSize = area.U32be();
    const uint8_t flags0 = area.U8();
    const uint8_t flags1 = area.U8();
    if (!area || id[0] == 0) break;
    const std::string_view view(id);
    SourceCursor data(area, base + off + 10, base + std::min<uint64_t>(off + 10 + uint64_t{frameSize}, length));
    std::unique_ptr<TID3Frame> frame;
    if (view == "COMM") {
      auto comm = std::make_unique<TCommFrame>();
      comm->Encoding = data.U8();
      comm->Language = data.Bytes(static_cast<size_t>(std::min<uint64_t>(3, data.Remaining())));
      std::string rest = data.Bytes(static_cast<size_t>(data.Remaining()));
      const size_t nul = rest.find('\0');
      comm->Description = rest.substr(0, nul);
      if (nul != std::string::npos) comm->Text = rest.substr(nul + 1);
      frame = std::move(comm);
    } else if (view[0] == 'T' && view != "TXXX") {
      auto text = std::make_unique<TTextFrame>();
      text->Encoding = data.U8();
      text->Text = data.Bytes(static_cast<size_t>(data.Remaining()));
      frame = std::move(text);
    } else {
      auto raw = std::make_unique<TUnknownFrame>();
      const std::string bytes = data.Bytes(static_cast<size_t>(data.Remaining()));
      raw->Data.assign(bytes.begin(), bytes.end());
      frame = std::move(raw);
    }
    std::copy(id.begin(), id.end(), frame->Id.begin());
    frame->Size = frameSize;
    frame->Flags = {flags0, flags1};
    const uint64_t frameTotal = frame->TotalSize();
    Frames.push_back(std::move(frame));
    FramesRead = true;
    if (frameTotal > length - off) break;
    off += frameTotal;
  }
}

}  // namespace kv
