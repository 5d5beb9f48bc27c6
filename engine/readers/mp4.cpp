#include "engine/readers/mp4.h"

#include "engine/readers/id3v1.h"

#include "base/ansi_text.h"
#include "engine/readers/reader_support.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>

namespace kv {
namespace {

constexpr uint32_t Fourcc(const char (&s)[5]) {
  return uint32_t{static_cast<uint8_t>(s[0])} << 24 | uint32_t{static_cast<uint8_t>(s[1])} << 16 |
         uint32_t{static_cast<uint8_t>(s[2])} << 8 | static_cast<uint8_t>(s[3]);
}

constexpr uint32_t kFtyp = Fourcc("ftyp"), kMoov = Fourcc("moov"), kMvhd = Fourcc("mvhd"), kTrak = Fourcc("trak"),
                   kTkhd = Fourcc("tkhd"), kMdia = Fourcc("mdia"), kMdhd = Fourcc("mdhd"), kHdlr = Fourcc("hdlr"),
                   kMinf = Fourcc("minf"), kSmhd = Fourcc("smhd"), kDinf = Fourcc("dinf"), kStbl = Fourcc("stbl"),
                   kStsd = Fourcc("stsd"), kMp4a = Fourcc("mp4a"), kEsds = Fourcc("esds"), kUdta = Fourcc("udta"),
                   kMeta = Fourcc("meta"), kIlst = Fourcc("ilst"), kData = Fourcc("data");
// Items of the list; the first byte of the four text items is the copyright sign.
constexpr uint32_t kNam = Fourcc("\xA9nam"), kArt = Fourcc("\xA9" "ART"), kCmt = Fourcc("\xA9" "cmt"),
                   kAlb = Fourcc("\xA9" "alb"), kDay = Fourcc("\xA9" "day"), kTrkn = Fourcc("trkn"),
                   kTrck = Fourcc("trck"), kGnre = Fourcc("gnre");

// Bytes of an item's text that are kept.
constexpr size_t kMaxItemText = 255;
// Where the child boxes start inside a sample description box (version,
// flags, entry count) and inside a version-0 "mp4a" sample entry.
constexpr uint64_t kStsdEntriesOffset = 8;
constexpr uint64_t kMp4aChildrenOffset = 28;

// A "gnre" number n selects name n - 1 of the ID3v1 genre list, of whose
// names only the first 126 count here.
constexpr uint16_t kMp4GenreCount = 126;

struct Box {
  uint32_t type;
  uint64_t content;  // after the header
  uint64_t end;
};

// The box at pos inside its parent; nothing when its header or its size does
// not fit there (a size below the header's would never move the walk on).
std::optional<Box> BoxAt(ByteSource& source, uint64_t pos, uint64_t parentEnd) {
  SourceCursor c(source, pos, parentEnd);
  uint64_t size = c.U32be();
  const uint32_t type = c.U32be();
  uint64_t header = 8;
  if (size == 1) {  // a 64-bit size follows the type
    size = c.U64be();
    header = 16;
  }
  if (!c || size < header || size > parentEnd - pos) return std::nullopt;
  return Box{type, pos + header, pos + size};
}

// The next box of the type from pos on, passing over other boxes by their size.
std::optional<Box> FindBox(ByteSource& source, uint64_t pos, uint64_t parentEnd, uint32_t type) {
  while (pos < parentEnd) {
    const auto box = BoxAt(source, pos, parentEnd);
    if (!box || box->type == type) return box;
    pos = box->end;
  }
  return std::nullopt;
}

bool ReadMvhd(ByteSource& source, const Box& box, Mp4Info& info) {
  SourceCursor c(source, box.content, box.end);
  uint32_t timeScale = 0;
  uint64_t duration = 0;
  if (c.U8() == 1) {
    c.Skip(19);
    timeScale = c.U32be();
    duration = c.U64be();
  } else {
    c.Skip(11);
    timeScale = c.U32be();
    duration = c.U32be();
  }
  if (!c) return false;
  const auto seconds = timeScale == 0 ? std::nullopt : RoundHalfEven(static_cast<double>(duration) / timeScale);
  info.duration = seconds && *seconds >= 0 ? static_cast<uint32_t>(*seconds) : 0;
  return true;
}

// tkhd, mdia > mdhd, hdlr, minf > smhd, dinf, stbl > stsd > mp4a > esds.
bool ReadTrak(ByteSource& source, const Box& trak, Mp4Info& info) {
  const auto tkhd = FindBox(source, trak.content, trak.end, kTkhd);
  if (!tkhd) return false;
  const auto mdia = FindBox(source, tkhd->end, trak.end, kMdia);
  if (!mdia) return false;
  const auto mdhd = FindBox(source, mdia->content, mdia->end, kMdhd);
  if (!mdhd) return false;
  const auto hdlr = FindBox(source, mdhd->end, mdia->end, kHdlr);
  if (!hdlr) return false;
  const auto minf = FindBox(source, hdlr->end, mdia->end, kMinf);
  if (!minf) return false;
  const auto smhd = FindBox(source, minf->content, minf->end, kSmhd);
  if (!smhd) return false;
  const auto dinf = FindBox(source, smhd->end, minf->end, kDinf);
  if (!dinf) return false;
  const auto stbl = FindBox(source, dinf->end, minf->end, kStbl);
  if (!stbl) return false;
  const auto stsd = FindBox(source, stbl->content, stbl->end, kStsd);
  if (!stsd || stsd->end - stsd->content < kStsdEntriesOffset) return false;
  const auto mp4a = FindBox(source, stsd->content + kStsdEntriesOffset, stsd->end, kMp4a);
  if (!mp4a) return false;

  SourceCursor entry(source, mp4a->content, mp4a->end);
  entry.Skip(16);
  const uint16_t channels = entry.U16be();
  entry.Skip(6);
  const uint16_t sampleRate = entry.U16be();
  if (!entry) return false;
  info.channels = channels;
  info.sampleRate = sampleRate;

  if (mp4a->end - mp4a->content < kMp4aChildrenOffset) return false;
  const auto esds = FindBox(source, mp4a->content + kMp4aChildrenOffset, mp4a->end, kEsds);
  if (!esds) return false;
  SourceCursor descriptor(source, esds->content, esds->end);
  // Version and flags, then the descriptors with four-byte lengths as the
  // usual writers give them, which puts the average bit rate at 26.
  descriptor.Skip(26);
  const uint32_t averageBitRate = descriptor.U32be();
  if (!descriptor) return false;
  info.bitRate = averageBitRate / 1000;
  return true;
}

std::string TextOf(SourceCursor& c) {
  std::string text = c.Bytes(static_cast<size_t>(std::min<uint64_t>(c.Remaining(), kMaxItemText)));
  return text.substr(0, text.find('\0'));
}

// One item of the list; false when it has no "data" box or the box is short.
bool ReadItem(ByteSource& source, const Box& item, Mp4Info& info) {
  const auto data = FindBox(source, item.content, item.end, kData);
  if (!data) return false;
  SourceCursor c(source, data->content, data->end);
  const uint32_t typeAndFlags = c.U32be();
  c.Skip(4);  // locale
  switch (item.type) {
    case kNam: info.title = TextOf(c); break;
    case kArt: info.artist = TextOf(c); break;
    case kCmt: info.comment = TextOf(c); break;
    case kAlb: info.album = TextOf(c); break;
    case kDay: info.year = TextOf(c); break;
    case kGnre:
      if ((typeAndFlags & 0xFF) == 1) {
        info.genre = TextOf(c);
      } else {
        const uint16_t n = c.U16be();
        info.genre = n >= 1 && n <= kMp4GenreCount ? Id3v1GenreName(n - 1) : std::string();
      }
      break;
    case kTrkn:
    case kTrck:
      info.track = static_cast<uint16_t>(c.U32be() & 0xFFFF);
      break;
    default: break;
  }
  return static_cast<bool>(c);
}

bool IsItem(uint32_t type) {
  return type == kNam || type == kArt || type == kCmt || type == kAlb || type == kDay || type == kTrkn ||
         type == kTrck || type == kGnre;
}

void ClearTexts(Mp4Info& info) {
  info.title.clear();
  info.artist.clear();
  info.album.clear();
  info.comment.clear();
  info.genre.clear();
  info.year.clear();
  info.track = 0;
}

// udta > meta (after its version and flags) > hdlr, ilst > items.
bool ReadMetadata(ByteSource& source, const Box& udta, Mp4Info& info) {
  const auto meta = FindBox(source, udta.content, udta.end, kMeta);
  if (!meta || meta->end - meta->content < 4) return false;
  const auto hdlr = FindBox(source, meta->content + 4, meta->end, kHdlr);
  if (!hdlr) return false;
  const auto ilst = FindBox(source, hdlr->end, meta->end, kIlst);
  if (!ilst) return false;
  for (uint64_t pos = ilst->content; pos < ilst->end;) {
    const auto item = BoxAt(source, pos, ilst->end);
    if (!item) return false;
    if (IsItem(item->type) && !ReadItem(source, *item, info)) return false;
    pos = item->end;
  }
  return true;
}

}  // namespace

Mp4Info ReadMp4(ByteSource& source) {
  Mp4Info info;
  const uint64_t fileSize = source.Size();
  const auto ftyp = BoxAt(source, 0, fileSize);
  if (!ftyp || ftyp->type != kFtyp) return info;
  SourceCursor brand(source, ftyp->content, ftyp->end);
  if (brand.Bytes(4) != "M4A ") return info;

  // Writers that put the media data first have it (and "free" or "wide"
  // boxes) between "ftyp" and "moov".
  const auto moov = FindBox(source, ftyp->end, fileSize, kMoov);
  if (!moov) return info;
  bool trakSeen = false;
  bool mvhdSeen = false;
  for (uint64_t pos = moov->content; pos < moov->end;) {
    const auto child = BoxAt(source, pos, moov->end);
    if (!child) break;
    if (child->type == kUdta) {
      info.exists = ReadMetadata(source, *child, info);
      break;
    }
    if (child->type == kTrak && !trakSeen) {
      trakSeen = true;
      if (!ReadTrak(source, *child, info)) break;
    } else if (child->type == kMvhd && !mvhdSeen) {
      mvhdSeen = true;
      if (!ReadMvhd(source, *child, info)) break;
    }
    pos = child->end;
  }
  if (!info.exists) {
    ClearTexts(info);
    return info;
  }
  info.title = Utf8ToAnsi(info.title);
  info.artist = Utf8ToAnsi(info.artist);
  info.album = Utf8ToAnsi(info.album);
  info.comment = Utf8ToAnsi(info.comment);
  info.genre = Utf8ToAnsi(info.genre);
  info.year = Utf8ToAnsi(info.year);
  return info;
}

}  // namespace kv
