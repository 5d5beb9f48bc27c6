#include "engine/readers/asf.h"

#include "tests/engine/reader_test_util.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

using namespace readtest;

// A GUID from its usual text form, in the byte order of the file.
Bytes GuidBytes(std::string_view text) {
  auto hex = [&](size_t at, int bytes) { return std::stoull(std::string(text.substr(at, bytes * 2)), nullptr, 16); };
  return Cat({Le(hex(0, 4), 4), Le(hex(9, 2), 2), Le(hex(14, 2), 2), Be(hex(19, 2), 2), Be(hex(24, 6), 6)});
}
const Bytes kHeader = GuidBytes("75B22630-668E-11CF-A6D9-00AA0062CE6C");
const Bytes kFileProps = GuidBytes("8CABDCA1-A947-11CF-8EE4-00C00C205365");
const Bytes kStreamProps = GuidBytes("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
const Bytes kContent = GuidBytes("75B22633-668E-11CF-A6D9-00AA0062CE6C");
const Bytes kExtended = GuidBytes("D2D0A440-E307-11D2-97F0-00A0C95EA850");

Bytes Object(const Bytes& guid, const Bytes& body) { return Cat({guid, Le(24 + body.size(), 8), body}); }
Bytes Utf16z(std::u16string_view s) { return Cat({Utf16(s), Zeros(2)}); }
// Play duration in 100-ns units and preroll in ms at object offsets 64 and 80,
// flags at 88, maximum bit rate at 100.
Bytes FileProps(uint32_t maxBitRate, uint64_t playDuration = 0, uint64_t preroll = 0, uint32_t flags = 0) {
  return Object(kFileProps,
                Cat({Zeros(40), Le(playDuration, 8), Zeros(8), Le(preroll, 8), Le(flags, 4), Zeros(8), Le(maxBitRate, 4)}));
}
Bytes StreamProps(uint16_t channels, uint32_t rate, uint32_t byteRate) {
  return Object(kStreamProps, Cat({Zeros(56), Le(channels, 2), Le(rate, 4), Le(byteRate, 4), Zeros(8)}));
}
Bytes Content(std::u16string_view title, std::u16string_view author, std::u16string_view description) {
  const Bytes t = Utf16z(title), a = Utf16z(author), c = Utf16z(u"(c)"), d = Utf16z(description);
  return Object(kContent, Cat({Le(t.size(), 2), Le(a.size(), 2), Le(c.size(), 2), Le(d.size(), 2), Le(0, 2), t, a,
                               c, d}));
}
struct Descriptor {
  std::u16string name;
  uint16_t type;
  Bytes value;
};
Bytes Extended(const std::vector<Descriptor>& ds, size_t count) {
  Bytes body = Le(count, 2);
  for (const Descriptor& d : ds) {
    const Bytes name = Utf16z(d.name);
    body = Cat({body, Le(name.size(), 2), name, Le(d.type, 2), Le(d.value.size(), 2), d.value});
  }
  return Object(kExtended, body);
}
Bytes Asf(const std::vector<Bytes>& objects, size_t audioBytes = 1000, int extraCount = 0) {
  Bytes all;
  for (const Bytes& o : objects) all.insert(all.end(), o.begin(), o.end());
  return Cat({kHeader, Le(30 + all.size(), 8), Le(objects.size() + extraCount, 4), Zeros(2), all, Zeros(audioBytes)});
}

TWMAfile Read(const Bytes& b) {
  MemorySource src(b);
  TWMAfile wma;
  // A file that is not ASF counts as read, with nothing found.
  const bool read = wma.ReadFromSource(src);
  EXPECT_EQ(read, wma.valid || wma.fault == ReadFault::kNotThisFormat);
  return wma;
}

TEST(Asf, DescriptorNamesDurationAndTrack) {
  const std::vector<Descriptor> ds = {
      {u"WM/TrackNumber", 3, Le(7, 4)},  // not text: skipped by its length
      {u"wm/albumtitle", 0, Utf16z(u"Album")},
      {u" WM/Genre ", 0, Utf16z(u" Jazz ")},
      {u"WM/Track", 0, Utf16z(u"12")},
  };
  Bytes file = Asf({FileProps(0), StreamProps(2, 44100, 16001), Content(u"Title \u00e9", u"A", u""),
                    Extended(ds, ds.size())});
  // A file whose size in bits is 100 times its maximum bit rate.
  const uint32_t maxBitRate = 8000;
  file.resize(maxBitRate * 100 / 8);
  std::copy_n(Le(maxBitRate, 4).begin(), 4, file.begin() + 30 + 100);
  const TWMAfile info = Read(file);
  ASSERT_TRUE(info.valid);
  EXPECT_DOUBLE_EQ(info.duration, 100.0);
  EXPECT_EQ(info.bitRate, 128);  // 16001 * 8 div 1000
  EXPECT_EQ(info.texts.title, "Title \xE9");
  EXPECT_EQ(info.texts.album, "Album");
  EXPECT_EQ(info.texts.genre, "Jazz");
  EXPECT_EQ(info.texts.track, 12);
}

TEST(Asf, DurationIsThePlayDurationLessThePreroll) {
  // 16,000 bytes at 128,000 bit/s: the size formula gives 1 s.
  struct Case {
    const char* what;
    uint64_t playDuration, preroll;
    uint32_t flags;
    double duration;
  } cases[] = {
      {"stated", 2'034'400'000, 3100, 0, 200.34},
      {"no preroll", 1'000'000, 0, 0, 0.1},
      {"zero play duration", 0, 3100, 0, 1.0},
      {"preroll not below the play duration", 31'000'000, 3100, 0, 1.0},
      {"broadcast", 2'034'400'000, 3100, 1, 1.0},
      {"beyond a record's seconds", uint64_t{1} << 60, 0, 0, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = Asf({FileProps(128000, c.playDuration, c.preroll, c.flags), StreamProps(2, 44100, 16000)});
    file.resize(16000);
    const TWMAfile info = Read(file);
    ASSERT_TRUE(info.valid);
    EXPECT_NEAR(info.duration, c.duration, 1e-9);
  }
}

TEST(Asf, TextsAreCutAt250Characters) {
  const std::u16string longText(400, u'x');
  const std::vector<Descriptor> ds = {{u"WM/AlbumTitle", 0, Utf16z(longText)}, {u"WM/Genre", 0, Utf16z(u"Pop")}};
  const TWMAfile info = Read(Asf({FileProps(128000), StreamProps(2, 44100, 16000), Extended(ds, 2)}));
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.texts.album, std::string(250, 'x'));
  EXPECT_EQ(info.texts.genre, "Pop");  // the rest of the long value was skipped, not read as the next descriptor
}

TEST(Asf, OnlyPlausibleStreamFiguresMakeAValidFile) {
  struct Case {
    uint32_t maxBitRate;
    uint16_t channels;
    uint32_t rate, byteRate;
    bool valid;
  } cases[] = {
      {1, 1, 8000, 1, true},         {319999, 2, 96000, 39999, true}, {0, 2, 44100, 16000, false},
      {320000, 2, 44100, 16000, false}, {128000, 6, 44100, 16000, false}, {128000, 0, 44100, 16000, false},
      {128000, 2, 7999, 16000, false},  {128000, 2, 96001, 16000, false}, {128000, 2, 44100, 0, false},
      {128000, 2, 44100, 40000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.channels);
    const TWMAfile info = Read(Asf({FileProps(c.maxBitRate), StreamProps(c.channels, c.rate, c.byteRate),
                                   Content(u"T", u"A", u"")}));
    EXPECT_EQ(info.valid, c.valid);
    if (!c.valid) {
      EXPECT_EQ(info.texts.title, "");  // nothing of an invalid file is kept
    }
  }
}

TEST(Asf, MalformedHeadersNameTheirFault) {
  const Bytes good = Asf({FileProps(128000), StreamProps(2, 44100, 16000), Content(u"T", u"A", u"")});
  auto changed = [&](size_t at, uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  Bytes zeroSize = good;  // an object of size 0 would never move the walk on
  std::fill_n(zeroSize.begin() + 30 + 16, 8, 0);
  const Bytes shortStream = Asf({FileProps(128000), Object(kStreamProps, Zeros(40))});
  // An object too short for its fields is read on into the next one, and
  // the walk goes on after it.
  const Bytes shortThenMore =
      Asf({FileProps(128000), Object(kStreamProps, Zeros(40)), StreamProps(2, 44100, 16000), Content(u"T", u"A", u"")});
  // The last object claims 500 bytes past the header: its fields are read.
  Bytes lastPastHeader = good;
  const size_t contentAt = good.size() - 1000 - Content(u"T", u"A", u"").size();
  std::copy_n(Le(Content(u"T", u"A", u"").size() + 500, 8).begin(), 8, lastPastHeader.begin() + long(contentAt) + 16);
  // Only the low 32 bits of an object's size move the walk on.
  Bytes highSize = good;
  highSize[30 + 16 + 4] = 1;
  Bytes manyObjects;
  {
    std::vector<Bytes> objects(5000, Object(kContent, Zeros(10)));
    objects.push_back(StreamProps(2, 44100, 16000));
    manyObjects = Asf(objects);
  }
  struct Case {
    const char* what;
    Bytes file;
    ReadFault fault;
  } cases[] = {
      {"good", good, ReadFault::kNone},
      {"count beyond the objects present", Asf({FileProps(128000), StreamProps(2, 44100, 16000)}, 1000, 5),
       ReadFault::kNone},
      {"not ASF", changed(0, good[0] ^ 1), ReadFault::kNotThisFormat},
      {"empty", {}, ReadFault::kShortField},
      {"cut inside the header's GUID", Bytes(good.begin(), good.begin() + 15), ReadFault::kShortField},
      {"object size with its high half set", highSize, ReadFault::kNone},
      {"header fields cut", Bytes(good.begin(), good.begin() + 20), ReadFault::kShortField},
      {"header size below its fields", [&] { Bytes b = good; std::copy_n(Le(29, 8).begin(), 8, b.begin() + 16); return b; }(),
       ReadFault::kBadSize},
      {"header past the file", changed(16 + 3, 0x10), ReadFault::kOutsideParent},
      {"object of size 0", zeroSize, ReadFault::kBadSize},
      {"first object past the header: the walk ends with it", changed(30 + 16 + 1, 0x40),
       ReadFault::kImplausibleStream},
      {"last object past the header", lastPastHeader, ReadFault::kNone},
      {"object too short for its fields, at the header's end", shortStream, ReadFault::kShortField},
      {"object too short for its fields, others after it", shortThenMore, ReadFault::kNone},
      {"too many objects", manyObjects, ReadFault::kTooManyBoxes},
      {"six channels", Asf({FileProps(128000), StreamProps(6, 44100, 16000)}), ReadFault::kImplausibleStream},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TWMAfile wma = Read(c.file);
    EXPECT_EQ(wma.fault, c.fault);
    EXPECT_EQ(wma.valid, c.fault == ReadFault::kNone);
  }
  EXPECT_EQ(Read(lastPastHeader).texts.title, "T");
  EXPECT_EQ(Read(shortThenMore).texts.artist, "A");
  // Cut anywhere inside the header: never valid, never a crash.
  for (size_t n = 0; n < good.size() - 1000; ++n) {
    EXPECT_FALSE(Read(Bytes(good.begin(), good.begin() + static_cast<long>(n))).valid) << n;
  }
}

TEST(Asf, ReadCostAndReadErrors) {
  FailingSource failing;
  TWMAfile wma;
  EXPECT_FALSE(wma.ReadFromSource(failing));
  EXPECT_EQ(wma.fault, ReadFault::kReadError);

  // Only the header of a large file is read.
  PaddedSource big(Asf({FileProps(128000), StreamProps(2, 44100, 16000)}, 0), uint64_t{1} << 32);
  EXPECT_TRUE(wma.ReadFromSource(big));
  EXPECT_LT(big.bytesRead, 64u * 1024);

  // Many small objects are read through the header's buffer, a few kilobytes
  // per source read, not one read per object.
  std::vector<Bytes> objects(3000, Object(GuidBytes("00000000-0000-0000-0000-000000000000"), {}));
  objects.push_back(FileProps(128000));
  objects.push_back(StreamProps(2, 44100, 16000));
  const Bytes file = Asf(objects);
  MemorySource mem(file);
  CountingSource counted(mem);
  EXPECT_TRUE(wma.ReadFromSource(counted));
  EXPECT_LE(counted.bytesRead, file.size() + 4096);
  EXPECT_LE(counted.reads, file.size() / 4096 + 3);
}

}  // namespace
}  // namespace kv
