#include "engine/readers/mp4.h"

#include "tests/engine/reader_test_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace kv {
namespace {

using namespace readtest;

Bytes Box(std::string_view type, std::initializer_list<Bytes> content) {
  const Bytes body = Cat(content);
  return Cat({Be(8 + body.size(), 4), B(type), body});
}
Bytes Mvhd0(uint32_t scale, uint32_t duration) { return Box("mvhd", {Zeros(12), Be(scale, 4), Be(duration, 4), Zeros(80)}); }
Bytes Mvhd1(uint32_t scale, uint64_t duration) {
  return Box("mvhd", {B("\x01"), Zeros(19), Be(scale, 4), Be(duration, 8), Zeros(80)});
}
Bytes Trak(uint16_t channels, uint16_t rate, uint32_t averageBitRate, const Bytes& beforeMdia = {}) {
  const Bytes esds = Box("esds", {Zeros(26), Be(averageBitRate, 4), Zeros(10)});
  const Bytes mp4a = Box("mp4a", {Zeros(16), Be(channels, 2), Zeros(6), Be(rate, 2), Zeros(2), esds});
  const Bytes stbl = Box("stbl", {Box("stsd", {Zeros(4), Be(1, 4), mp4a}), Box("stts", {Zeros(8)})});
  const Bytes minf = Box("minf", {Box("smhd", {Zeros(8)}), Box("dinf", {Zeros(20)}), stbl});
  const Bytes mdia = Box("mdia", {Box("mdhd", {Zeros(24)}), Box("hdlr", {Zeros(25)}), minf});
  return Box("trak", {Box("tkhd", {Zeros(84)}), beforeMdia, mdia});
}
Bytes Item(std::string_view type, uint32_t dataType, const Bytes& payload) {
  return Box(type, {Box("data", {Be(dataType, 4), Zeros(4), payload})});
}
Bytes Udta(std::initializer_list<Bytes> items) {
  return Box("udta", {Box("meta", {Zeros(4), Box("hdlr", {Zeros(25)}), Box("ilst", items), Box("free", {Zeros(4)})})});
}
Bytes Ftyp(std::string_view brand = "M4A ") { return Box("ftyp", {B(brand), Zeros(4), B("M4A mp42isom")}); }
Bytes StandardItems() {
  return Cat({Item("\xA9nam", 1, B("Title")), Item("\xA9" "ART", 1, B("\xC3\x84rtist")), Item("\xA9" "alb", 1, B("Album")),
              Item("\xA9" "day", 1, B("2020")), Item("\xA9" "cmt", 1, B("Comment\0ignored")),
              Item("----", 1, B("free form, skipped")), Item("trkn", 0, Cat({Be(5, 4), Be(12 << 16, 4)})),
              Item("gnre", 0, Be(18, 2))});
}

TM4AFile Read(const Bytes& b) {
  MemorySource src(b);
  TM4AFile m4a;
  EXPECT_EQ(m4a.ReadFromSource(src), m4a.Exists);
  return m4a;
}

TEST(Mp4, UnknownBoxesBetweenTheExpectedOnesAreSkipped) {
  // Media data before "moov" and an "edts" before "mdia", as the usual writers make them.
  const Bytes edts = Box("edts", {Box("elst", {Zeros(20)})});
  const Bytes moov = Box("moov", {Mvhd0(44100, 441000), Box("iods", {Zeros(16)}), Trak(1, 22050, 64000, edts),
                                  Udta({StandardItems()})});
  const TM4AFile info = Read(Cat({Ftyp(), Box("free", {}), Box("mdat", {Zeros(500)}), moov}));
  EXPECT_TRUE(info.Exists);
  EXPECT_EQ(info.texts.artist, "\xC3\x84rtist");  // as read: the record decodes it
  EXPECT_EQ(info.texts.comment, "Comment");        // up to the first zero byte
  EXPECT_EQ(info.texts.genre, "Rock");
  EXPECT_EQ(info.texts.track, 5);
  EXPECT_EQ(info.stream.sampleRate, 22050u);
  EXPECT_EQ(info.bitRate, 64u);
  EXPECT_EQ(info.duration, 10u);

  // The walks go on to the end of the file: a "udta" after "moov", and items
  // after the item list, are read.
  const TM4AFile after = Read(Cat({Ftyp(), Box("moov", {Mvhd0(1, 5), Trak(2, 44100, 1000)}),
                                   Udta({Item("\xA9nam", 1, B("Title"))}), Item("\xA9" "alb", 1, B("Later"))}));
  EXPECT_TRUE(after.Exists);
  EXPECT_EQ(after.texts.title, "Title");
  EXPECT_EQ(after.texts.album, "Later");
  EXPECT_EQ(after.stream.channels, 2u);
}

TEST(Mp4, OrderAndBrandDecideWhatIsRead) {
  TM4AFile info = Read(Cat({Ftyp("isom"), Box("moov", {Mvhd0(1, 5), Trak(2, 44100, 1000), Udta({StandardItems()})})}));
  EXPECT_FALSE(info.Exists);
  EXPECT_EQ(info.stream.sampleRate, 0u);

  // "udta" before "trak" ends the read: texts, but no stream figures.
  info = Read(Cat({Ftyp(), Box("moov", {Udta({StandardItems()}), Trak(2, 44100, 1000), Mvhd0(1, 5)})}));
  EXPECT_TRUE(info.Exists);
  EXPECT_EQ(info.texts.title, "Title");
  EXPECT_EQ(info.stream.channels, 0);
  EXPECT_EQ(info.duration, 0u);

  // No "udta": stream figures, no texts.
  info = Read(Cat({Ftyp(), Box("moov", {Mvhd0(1, 5), Trak(2, 44100, 1000)})}));
  EXPECT_FALSE(info.Exists);
  EXPECT_EQ(info.duration, 5u);
  EXPECT_EQ(info.stream.channels, 2);
}

TEST(Mp4, ItemValues) {
  struct Case {
    Bytes item;
    std::string title, genre;
    uint16_t track;
  } cases[] = {
      {Item("\xA9nam", 1, B(std::string(300, 't'))), std::string(255, 't'), "", 0},
      {Item("gnre", 1, B("Text Genre")), "", "Text Genre", 0},
      {Item("gnre", 0, Be(0, 2)), "", "", 0},
      {Item("gnre", 0, Be(127, 2)), "", "", 0},
      {Item("trck", 0, Cat({Be(0x00070009, 4), Zeros(4)})), "", "", 9},
  };
  for (const Case& c : cases) {
    const TM4AFile info = Read(Cat({Ftyp(), Box("moov", {Udta({c.item})})}));
    EXPECT_TRUE(info.Exists);
    EXPECT_EQ(info.texts.title, c.title);
    EXPECT_EQ(info.texts.genre, c.genre);
    EXPECT_EQ(info.texts.track, c.track);
  }
}

TEST(Mp4, MovieHeaderDurations) {
  struct Case {
    Bytes mvhd;
    uint32_t duration;
  } cases[] = {
      {Mvhd0(1000, 11500), 12},  // halves to even
      {Mvhd0(600, 1000), 2},
      {Mvhd0(0, 1000), 0},  // no time scale
      {Mvhd1(48000, uint64_t{48000} * 3600 * 5), 18000},
      {Mvhd1(1, uint64_t{1} << 40), 0},  // more seconds than 31 bits hold
  };
  for (const Case& c : cases) EXPECT_EQ(Read(Cat({Ftyp(), Box("moov", {c.mvhd})})).duration, c.duration);
  // The file size is noted with a version-0 header only.
  const Bytes v0 = Cat({Ftyp(), Box("moov", {Mvhd0(1, 5)})});
  EXPECT_EQ(Read(v0).stream.fileSize, v0.size());
  EXPECT_EQ(Read(Cat({Ftyp(), Box("moov", {Mvhd1(1, 5)})})).stream.fileSize, 0u);
}

TEST(Mp4, FaultsNameWhatEndedTheRead) {
  const Bytes noData = Box("\xA9" "ART", {Box("name", {B("x")})});
  const Bytes good = Cat({Ftyp(), Box("moov", {Mvhd0(1, 5), Trak(2, 44100, 1000), Udta({StandardItems()})})});
  Bytes tinyBoxes;
  for (uint32_t i = 0; i <= 5000; ++i) tinyBoxes.insert(tinyBoxes.end(), {0, 0, 0, 8, 'f', 'r', 'e', 'e'});
  struct Case {
    const char* what;
    Bytes file;
    ReadFault fault;
    uint32_t duration;  // stream figures read before the fault stay
  } cases[] = {
      {"good", good, ReadFault::kNone, 5},
      {"other brand", Cat({Ftyp("isom"), Box("moov", {Mvhd0(1, 5), Udta({StandardItems()})})}),
       ReadFault::kNotThisFormat, 0},
      {"no moov", Cat({Ftyp(), Box("free", {Zeros(8)})}), ReadFault::kMissingBox, 0},
      {"an MP3 by another name", Cat({B("ID3\x04"), Zeros(60)}), ReadFault::kNotThisFormat, 0},
      {"no udta", Cat({Ftyp(), Box("moov", {Mvhd0(1, 5), Trak(2, 44100, 1000)})}), ReadFault::kMissingBox, 5},
      {"item without data", Cat({Ftyp(), Box("moov", {Udta({Item("\xA9nam", 1, B("Title")), noData})})}),
       ReadFault::kMissingBox, 0},
      {"box of size 0", Cat({Ftyp(), Box("moov", {Mvhd0(1, 5), Zeros(8), Udta({StandardItems()})})}),
       ReadFault::kBadSize, 5},
      {"data shorter than its fields", Cat({Ftyp(), Box("moov", {Udta({Box("\xA9nam", {Box("data", {Zeros(4)})})})})}),
       ReadFault::kShortField, 0},
      {"mvhd cut", Cat({Ftyp(), Box("moov", {Box("mvhd", {Zeros(12)})})}), ReadFault::kShortField, 0},
      {"trak without mdia", Cat({Ftyp(), Box("moov", {Mvhd0(1, 5), Box("trak", {Box("tkhd", {Zeros(84)})})})}),
       ReadFault::kMissingBox, 5},
      {"many boxes", Cat({Ftyp(), Box("moov", {Mvhd0(1, 5), tinyBoxes, Udta({StandardItems()})})}), ReadFault::kNone,
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TM4AFile m4a = Read(c.file);
    EXPECT_EQ(m4a.fault, c.fault);
    EXPECT_EQ(m4a.Exists, c.fault == ReadFault::kNone);
    EXPECT_EQ(m4a.texts.title, c.fault == ReadFault::kNone ? "Title" : "");
    EXPECT_EQ(m4a.duration, c.duration);
  }

  // A size or a header running past the end of the file raises: the file is cut.
  const struct {
    const char* what;
    Bytes file;
  } cut[] = {
      {"empty", {}},
      {"item past the file", Cat({Ftyp(), Box("moov", {Mvhd0(1, 5), Udta({StandardItems(), Be(256, 4), B("\xA9" "alb"),
                                                                            Zeros(8)})})})},
      {"header cut by the end", Cat({Ftyp(), Box("moov", {Mvhd0(1, 5), Zeros(4)})})},
  };
  for (const auto& c : cut) {
    SCOPED_TRACE(c.what);
    MemorySource src(c.file);
    TM4AFile m4a;
    EXPECT_THROW(m4a.ReadFromSource(src), EInOutError);
  }
  for (size_t n = 0; n < good.size(); ++n) {
    const Bytes prefix(good.begin(), good.begin() + static_cast<long>(n));
    if (n == Ftyp().size()) {  // cut right after "ftyp": no "moov" follows
      EXPECT_EQ(Read(prefix).fault, ReadFault::kMissingBox);
      continue;
    }
    MemorySource src(prefix);
    TM4AFile m4a;
    EXPECT_THROW(m4a.ReadFromSource(src), EInOutError) << n;
  }
  FailingSource failing;
  TM4AFile m4a;
  EXPECT_THROW(m4a.ReadFromSource(failing), std::runtime_error);
}

TEST(Mp4, ReadCostFollowsTheBoxesItUses) {
  // A 64-bit media box of 4 GiB is passed over, not read.
  const Bytes head = Cat({Ftyp(), Be(1, 4), B("mdat"), Be(uint64_t{1} << 32, 8)});
  PaddedSource big(head, (uint64_t{1} << 32) + 40);
  TM4AFile m4a;
  EXPECT_FALSE(m4a.ReadFromSource(big));
  EXPECT_LT(big.bytesRead, 64u * 1024);

  // Tiny boxes before the metadata, and many small items: read through one
  // buffer per parent, a few kilobytes per source read.
  Bytes tiny;
  for (int i = 0; i < 4000; ++i) tiny.insert(tiny.end(), {0, 0, 0, 8, 'f', 'r', 'e', 'e'});
  Bytes items;
  for (int i = 0; i < 1000; ++i) {
    const Bytes item = Item("\xA9nam", 1, B("Title"));
    items.insert(items.end(), item.begin(), item.end());
  }
  const Bytes file = Cat({Ftyp(), Box("moov", {Mvhd0(1, 5), tiny, Trak(2, 44100, 1000), Udta({items})})});
  MemorySource mem(file);
  CountingSource counted(mem);
  ASSERT_TRUE(m4a.ReadFromSource(counted));
  EXPECT_EQ(m4a.texts.title, "Title");
  // About one read per 4 KB, plus a few where a box deeper down starts a buffer of its own.
  EXPECT_LE(counted.bytesRead, 2 * file.size());
  EXPECT_LE(counted.reads, file.size() / 4096 + 10);
}

TEST(Mp4, RegressionSeedsStillRead) {
  // The seeds the fuzzer starts from that once cost too much: each is read
  // to its end with the fault it was made for.
  const struct {
    const char* name;
    ReadFault fault;
  } seeds[] = {{"many_tiny_boxes.m4a", ReadFault::kMissingBox}};  // walked to the end, no "udta"
  for (const auto& seed : seeds) {
    SCOPED_TRACE(seed.name);
    std::ifstream in(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/mp4/regress/" + seed.name, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    MemorySource mem(bytes);
    CountingSource counted(mem);
    TM4AFile m4a;
    EXPECT_FALSE(m4a.ReadFromSource(counted));
    EXPECT_EQ(m4a.fault, seed.fault);
    EXPECT_GT(m4a.duration, 0u);  // the movie header before the boxes was read
    EXPECT_LE(counted.reads, bytes.size() / 4096 + 4);
  }
}

}  // namespace
}  // namespace kv
