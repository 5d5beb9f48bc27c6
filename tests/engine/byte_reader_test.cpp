#include "engine/readers/byte_reader.h"
#include "engine/readers/byte_source.h"

#include <gtest/gtest.h>

#include <vector>

namespace kv {
namespace {

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
