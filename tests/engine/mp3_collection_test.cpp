#include "engine/mp3_collection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "tests/support/allocation_meter.h"

namespace kv {
namespace {

// Appending records one by one (a result list being loaded) copies the record
// array a bounded number of times: the work per record stays the same
// however long the list grows. Records are made before the meter starts, so
// that it sees the array's own allocations only.
TEST(MP3Collection, AppendingRecordsCopiesTheRecordArrayAFewTimesInAll) {
  for (const size_t count : {size_t{5}, size_t{1000}, size_t{1001}, size_t{200'000}}) {
    SCOPED_TRACE(count);
    std::vector<std::unique_ptr<TMP3Info>> records;
    records.reserve(count);
    for (size_t i = 0; i < count; ++i) records.push_back(std::make_unique<TMP3Info>());
    TMP3Collection collection;
    test::AllocationMeter meter;
    for (auto& record : records) collection.AddRecord(std::move(record), false);
    ASSERT_EQ(static_cast<size_t>(collection.Count()), count);
    // Steps of a fixed 1000 records would hand out 160 MB for the last case.
    EXPECT_LE(meter.Allocated(), std::max<size_t>(6 * count, 2 * TMP3Collection::kGrowBy) * sizeof(void*));
  }
}

}  // namespace
}  // namespace kv
