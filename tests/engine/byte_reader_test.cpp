#include "engine/readers/byte_reader.h"
#include "engine/readers/byte_source.h"

#include <gtest/gtest.h>

#include <vector>

namespace kv {
namespace {

TEST(ByteReader, ReadsBothByteOrdersAndTripsOnce) {
  const std::vector<uint8_t> b = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  ByteReader r(b);
  EXPECT_EQ(r.U16le(), 0x0201);
  EXPECT_EQ(r.U16be(), 0x0304);
  EXPECT_EQ(r.U32le(), 0x08070605u);
  EXPECT_TRUE(r);
  EXPECT_EQ(r.U16le(), 0);  // only one byte left
  EXPECT_FALSE(r);
  EXPECT_EQ(r.U8(), 0);     // stays tripped
  EXPECT_EQ(r.Remaining(), 0u);
}

TEST(ByteReader, TakeRefusesHugeCountsWithoutWrapping) {
  const std::vector<uint8_t> b(16);
  ByteReader r(b);
  r.Skip(8);
  EXPECT_TRUE(r.Take(UINT64_MAX).empty());
  EXPECT_FALSE(r);
  ByteReader s(b);
  s.Seek(17);
  EXPECT_FALSE(s);
}

TEST(MemorySource, ReadsAreClippedToTheData) {
  const std::vector<uint8_t> b = {1, 2, 3};
  MemorySource src(b);
  EXPECT_EQ(src.Read(1, 10), (std::vector<uint8_t>{2, 3}));
  EXPECT_TRUE(src.Read(3, 1).empty());
  EXPECT_TRUE(src.Read(UINT64_MAX, 1).empty());
}

}  // namespace
}  // namespace kv
