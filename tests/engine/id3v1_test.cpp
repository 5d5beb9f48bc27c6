#include "engine/readers/id3v1.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/engine/reader_test_util.h"

namespace kv {
namespace {

using readtest::Bytes;

Bytes Block(const char* title, uint8_t b125, uint8_t b126, uint8_t genre) {
  return readtest::Id3v1Block(title, "Artist", b125, b126, genre);
}

TEST(Id3v1, BlockFields) {
  const struct {
    const char* what;
    Bytes block;
    bool v10;
    int32_t track;
    const char* genre;
  } cases[] = {
      {"version 1.1", Block("Title", 0, 7, 17), false, 7, "Rock"},
      {"version 1.0: byte 125 not 0", Block("Title", 'x', 7, 0), true, 0, "Blues"},
      {"version 1.0: byte 126 is 0", Block("Title", 0, 0, 147), true, 0, "Synthpop"},
      {"genre past the list", Block("Title", 0, 1, 200), false, 1, ""},
      {"genre 255 (none)", Block("Title", 0, 255, 255), false, 255, ""},
  };
  for (const auto& c : cases) {
    TID3v1Tag t;
    t.Decode(c.block.data(), c.block.size());
    EXPECT_TRUE(t.Exists) << c.what;
    EXPECT_EQ(t.Version10, c.v10) << c.what;
    EXPECT_EQ(t.Track, c.track) << c.what;
    EXPECT_EQ(t.Genre, c.genre) << c.what;
  }
}

// The plain fields are compared with mutagen in the corpus test.
TEST(Id3v1, TextsAreCutAtZeroAndTrimmedRight) {
  Bytes b = Block("  Lead\xE9 \x01", 0, 3, 13);
  std::memcpy(b.data() + 63, "Alb\0junk", 8);
  TID3v1Tag t;
  t.Decode(b.data(), b.size());
  EXPECT_EQ(t.Title, "  Lead\xE9");
  EXPECT_EQ(t.Album, "Alb");

  // A title filling its 30 bytes runs to the artist without spilling into it.
  b = Block("123456789012345678901234567890", 0, 0, 0);
  t.Decode(b.data(), b.size());
  EXPECT_EQ(t.Title, "123456789012345678901234567890");
}

TEST(Id3v1, LoadsTheBlockEndingTheGivenRange) {
  const Bytes audio(300, 0xAA);
  const Bytes block = Block("End", 0, 2, 17);
  Bytes file = readtest::Cat({audio, block, Bytes(20, 0)});
  MemorySource src(file);
  TID3v1Tag t;
  t.LoadFromSource(src);  // the last 128 bytes are not a block
  EXPECT_FALSE(t.Exists);
  t.LoadFromStream(src, 100, 328);  // ends right after the block
  EXPECT_TRUE(t.Exists);
  EXPECT_EQ(t.Title, "End");
  t.LoadFromStream(src, 330, 127);  // shorter than a block
  EXPECT_FALSE(t.Exists);
  t.LoadFromStream(src, 300, 10000);  // clipped to the source
  EXPECT_FALSE(t.Exists);
  t.LoadFromStream(src, 5000, 128);  // past the end
  EXPECT_FALSE(t.Exists);
  Bytes notTag = block;
  notTag[0] = 'X';
  t.Decode(notTag.data(), notTag.size());
  EXPECT_FALSE(t.Exists);
  EXPECT_EQ(t.Title, "");
}

}  // namespace
}  // namespace kv
