#include "engine/readers/mp4.h"

#include "engine/readers/id3v1.h"

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

[[noreturn]] void Cut(const char* what) { throw EInOutError(std::string("M4A file cut short: ") + what); }

struct Box {
  uint32_t type;
  uint64_t content;  // after the header
  uint64_t end;
};

// The children of one box (or of the file), walked through one cursor over
// the parent's content; boxes inside a child are read through cursors that
// share its buffer, so a walk over many small boxes costs few source reads.
// The walker must not move while a child cursor made from it is in use.
// Every child takes at least its 8-byte header, so the file bounds a walk.
class Children {
 public:
  Children(ByteSource& source, uint64_t begin, uint64_t end) : c_(source, begin, end), fileSize_(source.Size()) {}
  Children(Children& parent, uint64_t begin, uint64_t end)
      : c_(parent.c_, begin, end), fileSize_(parent.fileSize_) {}

  // The next child; nothing at the parent's end (fault stays kNone) or when
  // the child is malformed (fault set). A header cut by the end of the file,
  // or a size running past it, raises EInOutError: the file is cut.
  std::optional<Box> Next() {
    if (fault != ReadFault::kNone || c_.Position() >= c_.End()) return std::nullopt;
    const uint64_t pos = c_.Position();
    uint64_t size = c_.U32be();
    const uint32_t type = c_.U32be();
    uint64_t header = 8;
    if (c_ && size == 1) {  // a 64-bit size follows the type
      size = c_.U64be();
      header = 16;
    }
    if (!c_) {  // the header itself does not fit
      if (pos + header > fileSize_) Cut("atom header cut by the end of the file");
      return Stop(ReadFault::kOutsideParent);
    }
    // A size below the header's would never move the walk on.
    if (size < header) return Stop(ReadFault::kBadSize);
    if (size > fileSize_ - pos) Cut("atom runs past the end of the file");
    if (size > c_.End() - pos) return Stop(ReadFault::kOutsideParent);
    c_.Seek(pos + size);
    return Box{type, pos + header, pos + size};
  }

  // The next child of the type, passing over others by their size;
  // kMissingBox when the parent ends first.
  std::optional<Box> Find(uint32_t type) {
    for (;;) {
      const auto box = Next();
      if (!box) return fault == ReadFault::kNone ? Stop(ReadFault::kMissingBox) : std::nullopt;
      if (box->type == type) return box;
    }
  }

  // Fields of a child box, read through the walk's buffer.
  SourceCursor Fields(const Box& box, uint64_t skip = 0) { return SourceCursor(c_, box.content + skip, box.end); }

  ReadFault fault = ReadFault::kNone;

 private:
  std::nullopt_t Stop(ReadFault f) {
    fault = f;
    return std::nullopt;
  }

  SourceCursor c_;
  uint64_t fileSize_;
};

ReadFault ReadMvhd(Children& moov, const Box& box, TM4AFile& file, uint64_t fileSize) {
  SourceCursor c = moov.Fields(box);
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
    if (c) file.SetFSize(fileSize);
  }
  if (!c) return ReadFault::kShortField;
  // A time scale of 0, or more seconds than 31 bits hold, give 0.
  const auto seconds = timeScale == 0 ? std::nullopt : RoundHalfEven(static_cast<double>(duration) / timeScale);
  file.SetDuration(seconds && *seconds >= 0 ? static_cast<uint32_t>(*seconds) : 0);
  return ReadFault::kNone;
}

// tkhd, mdia > mdhd, hdlr, minf > smhd, dinf, stbl > stsd > mp4a > esds.
ReadFault ReadTrak(Children& moov, const Box& trakBox, TM4AFile& file) {
  Children trak(moov, trakBox.content, trakBox.end);
  const auto tkhd = trak.Find(kTkhd);
  if (!tkhd) return trak.fault;
  const auto mdiaBox = trak.Find(kMdia);
  if (!mdiaBox) return trak.fault;
  Children mdia(trak, mdiaBox->content, mdiaBox->end);
  const auto mdhd = mdia.Find(kMdhd);
  if (!mdhd) return mdia.fault;
  const auto hdlr = mdia.Find(kHdlr);
  if (!hdlr) return mdia.fault;
  const auto minfBox = mdia.Find(kMinf);
  if (!minfBox) return mdia.fault;
  Children minf(mdia, minfBox->content, minfBox->end);
  const auto smhd = minf.Find(kSmhd);
  if (!smhd) return minf.fault;
  const auto dinf = minf.Find(kDinf);
  if (!dinf) return minf.fault;
  const auto stblBox = minf.Find(kStbl);
  if (!stblBox) return minf.fault;
  Children stbl(minf, stblBox->content, stblBox->end);
  const auto stsdBox = stbl.Find(kStsd);
  if (!stsdBox) return stbl.fault;
  if (stsdBox->end - stsdBox->content < kStsdEntriesOffset) return ReadFault::kShortField;
  Children stsd(stbl, stsdBox->content + kStsdEntriesOffset, stsdBox->end);
  const auto mp4aBox = stsd.Find(kMp4a);
  if (!mp4aBox) return stsd.fault;

  SourceCursor entry = stsd.Fields(*mp4aBox, 16);
  const uint16_t channels = entry.U16be();
  entry.Skip(6);
  const uint16_t sampleRate = entry.U16be();
  if (!entry) return ReadFault::kShortField;
  file.SetChannels(channels);
  file.SetSampleRate(sampleRate);

  if (mp4aBox->end - mp4aBox->content < kMp4aChildrenOffset) return ReadFault::kShortField;
  Children mp4a(stsd, mp4aBox->content + kMp4aChildrenOffset, mp4aBox->end);
  const auto esds = mp4a.Find(kEsds);
  if (!esds) return mp4a.fault;
  // Version and flags, then the descriptors with four-byte lengths as the
  // usual writers give them, which puts the average bit rate at 26.
  SourceCursor descriptor = mp4a.Fields(*esds, 26);
  const uint32_t averageBitRate = descriptor.U32be();
  if (!descriptor) return ReadFault::kShortField;
  file.SetBitRate(averageBitRate / 1000);
  return ReadFault::kNone;
}

std::string TextOf(SourceCursor& c) {
  std::string text = c.Bytes(static_cast<size_t>(std::min<uint64_t>(c.Remaining(), kMaxItemText)));
  return text.substr(0, text.find('\0'));
}

// One item of the list; the fault when it has no "data" box or the box is short.
ReadFault ReadItem(Children& ilst, const Box& itemBox, TTagTexts& texts) {
  Children item(ilst, itemBox.content, itemBox.end);
  const auto data = item.Find(kData);
  if (!data) return item.fault;
  SourceCursor c = item.Fields(*data);
  const uint32_t typeAndFlags = c.U32be();
  c.Skip(4);  // locale
  switch (itemBox.type) {
    case kNam: texts.title = TextOf(c); break;
    case kArt: texts.artist = TextOf(c); break;
    case kCmt: texts.comment = TextOf(c); break;
    case kAlb: texts.album = TextOf(c); break;
    case kDay: texts.year = TextOf(c); break;
    case kGnre:
      if ((typeAndFlags & 0xFF) == 1) {
        texts.genre = TextOf(c);
      } else {
        const uint16_t n = c.U16be();
        texts.genre = n >= 1 && n <= kMp4GenreCount ? Id3v1GenreName(n - 1) : std::string();
      }
      break;
    case kTrkn:
    case kTrck:
      texts.track = static_cast<uint16_t>(c.U32be() & 0xFFFF);
      break;
    default: break;
  }
  return c ? ReadFault::kNone : ReadFault::kShortField;
}

bool IsItem(uint32_t type) {
  return type == kNam || type == kArt || type == kCmt || type == kAlb || type == kDay || type == kTrkn ||
         type == kTrck || type == kGnre;
}

// udta > meta (after its version and flags) > hdlr, ilst > items, and every
// atom after the item list up to the end of the file (moov's walk reaches it).
ReadFault ReadMetadata(Children& moov, const Box& udtaBox, TTagTexts& texts, uint64_t fileSize) {
  Children udta(moov, udtaBox.content, udtaBox.end);
  const auto metaBox = udta.Find(kMeta);
  if (!metaBox) return udta.fault;
  if (metaBox->end - metaBox->content < 4) return ReadFault::kShortField;
  Children meta(udta, metaBox->content + 4, metaBox->end);
  const auto hdlr = meta.Find(kHdlr);
  if (!hdlr) return meta.fault;
  const auto ilstBox = meta.Find(kIlst);
  if (!ilstBox) return meta.fault;
  Children ilst(moov, ilstBox->content, fileSize);
  while (const auto item = ilst.Next()) {
    if (!IsItem(item->type)) continue;
    const ReadFault f = ReadItem(ilst, *item, texts);
    if (f != ReadFault::kNone) return f;
  }
  return ilst.fault;
}

}  // namespace

void TM4AFile::SetExists(bool exists) {
  Exists = exists;
  texts = {};
}

bool TM4AFile::ReadFromSource(ByteSource& source) {
  Reset();
  const uint64_t fileSize = source.Size();
  // Another kind of file named ".m4a" is told by its first atom's type,
  // before its first four bytes are taken as a size.
  const std::vector<uint8_t> head = source.Read(0, 8);
  if (head.size() == 8 && !std::equal(head.begin() + 4, head.end(), "ftyp")) {
    fault = ReadFault::kNotThisFormat;
    return false;
  }
  Children top(source, 0, fileSize);
  const auto ftyp = top.Next();
  if (!ftyp && top.fault == ReadFault::kNone) Cut("no atom header");
  if (!ftyp || ftyp->type != kFtyp || top.Fields(*ftyp).Bytes(4) != "M4A ") {
    fault = ReadFault::kNotThisFormat;
    return false;
  }

  // Writers that put the media data first have it (and "free" or "wide"
  // boxes) between "ftyp" and "moov".
  const auto moovBox = top.Find(kMoov);
  if (!moovBox) {
    fault = top.fault;
    return false;
  }
  // moov's children, and whatever follows moov, up to the end of the file.
  Children moov(top, moovBox->content, fileSize);
  TTagTexts read;
  bool trakSeen = false;
  bool mvhdSeen = false;
  for (;;) {
    const auto child = moov.Next();
    if (!child) {
      fault = moov.fault == ReadFault::kNone ? ReadFault::kMissingBox : moov.fault;  // no "udta"
      break;
    }
    if (child->type == kUdta) {
      fault = ReadMetadata(moov, *child, read, fileSize);
      break;
    }
    if (child->type == kTrak && !trakSeen) {
      trakSeen = true;
      fault = ReadTrak(moov, *child, *this);
    } else if (child->type == kMvhd && !mvhdSeen) {
      mvhdSeen = true;
      fault = ReadMvhd(moov, *child, *this, fileSize);
    }
    if (fault != ReadFault::kNone) break;
  }
  SetExists(fault == ReadFault::kNone);
  if (Exists) texts = read;  // as read: UTF-8
  return Exists;
}

}  // namespace kv
