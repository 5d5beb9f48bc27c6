#include "engine/readers/flac.h"

#include "tests/engine/reader_test_util.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

using namespace readtest;

Bytes Block(uint8_t type, const Bytes& data, bool last = false) {
  return Cat({Le(type | (last ? 0x80 : 0), 1), Be(data.size(), 3), data});
}
Bytes StreamInfo(uint32_t rate, uint32_t channels, uint32_t bits, uint64_t total) {
  const uint64_t packed = uint64_t{rate} << 44 | uint64_t{channels - 1} << 41 | uint64_t{bits - 1} << 36 | total;
  return Block(0, Cat({Zeros(10), Be(packed, 8), Zeros(16)}));
}
Bytes Comments(const std::vector<std::string>& items, uint32_t count) {
  Bytes out = Cat({Le(6, 4), B("vendor"), Le(count, 4)});
  for (const std::string& i : items) out = Cat({out, Le(i.size(), 4), B(i)});
  return Block(4, out);
}
Bytes Comments(const std::vector<std::string>& items) { return Comments(items, static_cast<uint32_t>(items.size())); }
Bytes Flac(std::initializer_list<Bytes> blocks) {
  Bytes out = B("fLaC");
  for (const Bytes& b : blocks) out = Cat({out, b});
  return out;
}
Bytes Last() { return Block(1, Zeros(16), true); }  // padding, the last block

FlacInfo Read(const Bytes& b) {
  MemorySource src(b);
  return ReadFlac(src);
}

FlacDropped::Reason DropReason(const Bytes& b) {
  try {
    Read(b);
  } catch (const FlacDropped& e) {
    return e.reason();
  }
  ADD_FAILURE() << "not dropped";
  return FlacDropped::Reason::NotFlac;
}

TEST(Flac, FirstItemOfANameWinsAndTheLastBlockEndsTheWalk) {
  const FlacInfo info =
      Read(Flac({StreamInfo(44100, 2, 16, 441000), Block(2, B("appl-data")),
                 Comments({"Artist=First", "ARTIST=Second", "COMMENT=" + std::string(300, 'c'), "TRACKNUMBER=9"}),
                 Last(), Comments({"TITLE=after the last block"})}));
  EXPECT_TRUE(info.tagFound);
  EXPECT_EQ(info.artist, "First");
  EXPECT_EQ(info.comment, std::string(300, 'c'));  // no cut here, unlike Ogg
  EXPECT_EQ(info.track, 0);                         // TRACK only, not TRACKNUMBER
  EXPECT_EQ(info.title, "");
}

TEST(Flac, DurationAndBitRate) {
  struct Case {
    uint32_t rate;
    uint64_t total;
    uint32_t duration;
  } cases[] = {
      {44100, 441000, 10},
      {44100, 440999, 9},                      // whole seconds, truncated
      {8000, 4000, 0},                         // shorter than a second: still read
      {0xFFFFF, 0, 0},                         // total unknown
      {44100, uint64_t{1} << 33, 194783},      // all 36 bits of the total count
      {1, 0xFFFFFFFFFull, 0},                  // more seconds than the record holds
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(Flac({StreamInfo(c.rate, 1, 16, c.total), Last()})).duration, c.duration) << c.total;
  }
  EXPECT_EQ(FlacBitRate(1000000, 0), 0);     // a clip under one second has no bit rate
  EXPECT_EQ(FlacBitRate(uint64_t{1} << 62, 1), 0);
}

TEST(Flac, TrackIsAWholeNumberOrZero) {
  struct Case {
    std::string value;
    int32_t track;
  } cases[] = {{"4", 4}, {"4/12", 0}, {"", 0}, {"x1", 0}, {"99999999999", 0}};
  for (const Case& c : cases) {
    const FlacInfo info = Read(Flac({StreamInfo(44100, 2, 16, 0), Comments({"TRACK=" + c.value, "TITLE=t"}), Last()}));
    EXPECT_EQ(info.track, c.track) << c.value;
    EXPECT_EQ(info.title, "t");
  }
}

TEST(Flac, FilesThatAreDropped) {
  EXPECT_EQ(DropReason(B("ID3\x03")), FlacDropped::Reason::NotFlac);
  EXPECT_EQ(DropReason(B("fLa")), FlacDropped::Reason::NotFlac);
  EXPECT_EQ(DropReason(Flac({Comments({"TITLE=t"}), Last()})), FlacDropped::Reason::NoStreamInfo);
  EXPECT_EQ(DropReason(Flac({StreamInfo(0, 2, 16, 1000), Last()})), FlacDropped::Reason::ZeroSampleRate);
  EXPECT_EQ(DropReason(B("fLaC\x00\x00\x00\x22")), FlacDropped::Reason::NoStreamInfo);  // cut in its STREAMINFO
  FailingSource failing;
  EXPECT_THROW(ReadFlac(failing), std::runtime_error);
}

TEST(Flac, LengthsAreBoundedByTheirBlockAndTheFile) {
  // A comment count far beyond the items, and an item running past its block.
  Bytes lying = Comments({"TITLE=one"}, 0xFFFFFFFF);
  lying = Cat({lying, Le(1u << 30, 4), B("ARTIST=x")});
  lying[3] = static_cast<uint8_t>(lying.size() - 4);
  FlacInfo info = Read(Flac({StreamInfo(44100, 2, 16, 44100), lying, Last()}));
  EXPECT_EQ(info.title, "one");
  EXPECT_EQ(info.artist, "");

  // A comment block running past the file ends the walk without the tag.
  Bytes cut = Flac({StreamInfo(44100, 2, 16, 44100), Comments({"TITLE=cut"})});
  cut.erase(cut.end() - 2, cut.end());
  info = Read(cut);
  EXPECT_FALSE(info.tagFound);
  EXPECT_EQ(info.duration, 1u);
}

TEST(Flac, ReadsOnlyTheMetadata) {
  PaddedSource big(Flac({StreamInfo(44100, 2, 16, 44100), Block(1, Zeros(1 << 20)), Comments({"TITLE=t"}), Last()}),
                   uint64_t{1} << 32);
  EXPECT_EQ(ReadFlac(big).title, "t");
  EXPECT_LT(big.bytesRead, 64u * 1024);
}

}  // namespace
}  // namespace kv
