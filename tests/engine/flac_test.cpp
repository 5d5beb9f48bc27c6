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

TFlacFile Read(const Bytes& b) {
  MemorySource src(b);
  TFlacFile flac;
  flac.ReadFromSource(src);
  return flac;
}

TEST(Flac, FirstItemOfANameWinsAndTheLastBlockEndsTheWalk) {
  const TFlacFile info =
      Read(Flac({StreamInfo(44100, 2, 16, 441000), Block(2, B("appl-data")),
                 Comments({"Artist=First", "ARTIST=Second", "TRACKNUMBER=9"}), Last(),
                 Comments({"TITLE=after the last block"})}));
  EXPECT_TRUE(info.tagFound);
  EXPECT_EQ(info.texts.artist, "First");
  EXPECT_EQ(info.texts.track, 0);  // TRACK only, not TRACKNUMBER
  EXPECT_EQ(info.texts.title, "");
  EXPECT_EQ(info.fault, ReadFault::kNone);
}

TEST(Flac, ValuesAreKeptWhole) {
  struct Case {
    std::string item;
    std::string comment;
  } cases[] = {
      {"COMMENT=" + std::string(300, 'c'), std::string(300, 'c')},
      {"COMMENT=" + std::string(240, 'c') + "\xC3\xA9\xC3\xA9", std::string(240, 'c') + "\xE9\xE9"},
      {"COMMENT=" + std::string((16 << 20) - 100, 'c'), std::string((16 << 20) - 100, 'c')},  // near the largest block
  };
  for (const Case& c : cases) {
    const TFlacFile info = Read(Flac({StreamInfo(44100, 2, 16, 441000), Comments({c.item, "ALBUM=after"}), Last()}));
    EXPECT_EQ(info.texts.comment, c.comment);
    EXPECT_EQ(info.texts.album, "after");
  }
}

TEST(Flac, EachCommentBlockSetsTheTextsAgain) {
  const TFlacFile info = Read(Flac({StreamInfo(44100, 2, 16, 441000), Comments({"TITLE=one", "ARTIST=a", "TRACK=3"}),
                                    Comments({"TITLE=two", "title=three"}), Last()}));
  EXPECT_EQ(info.texts.title, "two");  // the first item of a name in the block wins
  EXPECT_EQ(info.texts.artist, "");    // the later block has none
  EXPECT_EQ(info.texts.track, 0);
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
  EXPECT_THROW(FlacBitRate(1000000, 0), std::runtime_error);  // a clip under one second is left out
  EXPECT_EQ(FlacBitRate(uint64_t{1} << 62, 1), 0);
}

TEST(Flac, TrackIsAWholeNumberOrZero) {
  struct Case {
    std::string value;
    int32_t track;
  } cases[] = {{"4", 4}, {"4/12", 0}, {"", 0}, {"x1", 0}, {"99999999999", 0}};
  for (const Case& c : cases) {
    const TFlacFile info = Read(Flac({StreamInfo(44100, 2, 16, 0), Comments({"TRACK=" + c.value, "TITLE=t"}), Last()}));
    EXPECT_EQ(info.texts.track, c.track) << c.value;
    EXPECT_EQ(info.texts.title, "t");
  }
}

TEST(Flac, FaultsNameWhatStoppedTheRead) {
  // A comment count far beyond the items, and an item running past its block.
  Bytes lying = Comments({"TITLE=one"}, 0xFFFFFFFF);
  lying = Cat({lying, Le(1u << 30, 4), B("ARTIST=x")});
  lying[3] = static_cast<uint8_t>(lying.size() - 4);
  // A comment block running past the file.
  Bytes cut = Flac({StreamInfo(44100, 2, 16, 44100), Comments({"TITLE=cut"})});
  cut.erase(cut.end() - 2, cut.end());
  // The same as the last block: its items are read up to the file's end.
  Bytes lastComments = Comments({"TITLE=cut", "ARTIST=x"});
  lastComments[0] |= 0x80;
  Bytes cutLast = Flac({StreamInfo(44100, 2, 16, 44100), lastComments});
  cutLast.erase(cutLast.end() - 2, cutLast.end());
  Bytes manyBlocks = Flac({StreamInfo(44100, 2, 16, 44100)});
  for (int i = 0; i < 5000; ++i) manyBlocks = Cat({manyBlocks, Block(1, {})});

  enum Outcome { kFalse, kTrue, kRaises };
  struct Case {
    const char* what;
    Bytes file;
    Outcome outcome;
    ReadFault fault;
    std::string title;
  } cases[] = {
      {"ID3v2 first", B("ID3\x03"), kFalse, ReadFault::kNotThisFormat, ""},
      {"short signature", B("fLa"), kRaises, ReadFault::kNone, ""},
      {"no STREAMINFO", Flac({Comments({"TITLE=t"}), Last()}), kTrue, ReadFault::kNoStreamInfo, "t"},
      {"STREAMINFO too short for its fields", Flac({Block(0, Zeros(12)), Last()}), kTrue, ReadFault::kNoStreamInfo, ""},
      {"cut in its STREAMINFO", B(std::string_view("fLaC\x00\x00\x00\x22", 8)), kRaises, ReadFault::kNone, ""},
      {"sample rate 0", Flac({StreamInfo(0, 2, 16, 1000), Last()}), kRaises, ReadFault::kZeroSampleRate, ""},
      {"item past its block", Flac({StreamInfo(44100, 2, 16, 44100), lying, Last()}), kRaises, ReadFault::kNone, ""},
      {"block past the file", cut, kRaises, ReadFault::kNone, "cut"},
      {"last block past the file", cutLast, kRaises, ReadFault::kNone, ""},
      {"block header cut", Cat({Flac({StreamInfo(44100, 2, 16, 44100)}), B("\x04\x00")}), kRaises, ReadFault::kNone,
       ""},
      {"no last block", manyBlocks, kRaises, ReadFault::kNone, ""},
      {"many blocks", Cat({manyBlocks, Last()}), kTrue, ReadFault::kNone, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySource src(c.file);
    TFlacFile flac;
    if (c.outcome == kRaises) {
      EXPECT_THROW(flac.ReadFromSource(src), std::runtime_error);
    } else {
      EXPECT_EQ(flac.ReadFromSource(src), c.outcome == kTrue);
      EXPECT_EQ(flac.texts.title, c.title);
    }
    EXPECT_EQ(flac.fault, c.fault);
  }
  FailingSource failing;
  TFlacFile flac;
  EXPECT_THROW(flac.ReadFromSource(failing), std::runtime_error);
  // No stream figures: no length, and the record's bit rate refuses it.
  EXPECT_THROW(FlacBitRate(1000, Read(Flac({Comments({"TITLE=t"}), Last()})).duration), std::runtime_error);
}

TEST(Flac, ReadsOnlyTheMetadata) {
  PaddedSource big(Flac({StreamInfo(44100, 2, 16, 44100), Block(1, Zeros(1 << 20)), Comments({"TITLE=t"}), Last()}),
                   uint64_t{1} << 32);
  TFlacFile flac;
  ASSERT_TRUE(flac.ReadFromSource(big));
  EXPECT_EQ(flac.texts.title, "t");
  EXPECT_LT(big.bytesRead, 64u * 1024);
}

}  // namespace
}  // namespace kv
