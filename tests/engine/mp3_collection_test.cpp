#include "engine/mp3_collection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "tests/support/allocation_meter.h"

namespace kv {
namespace {

// Appending records one by one (a result list being loaded) grows the record
// array in steps of kGrowBy records, each step one new array. Records are made
// before the meter starts, so that it sees the array's own allocations only.
TEST(MP3Collection, AppendingRecordsGrowsTheRecordArrayInStepsOfAThousand) {
  for (const size_t count : {size_t{5}, size_t{1000}, size_t{1001}, size_t{20'000}}) {
    SCOPED_TRACE(count);
    std::vector<std::unique_ptr<TMP3Info>> records;
    records.reserve(count);
    for (size_t i = 0; i < count; ++i) records.push_back(std::make_unique<TMP3Info>());
    TMP3Collection collection;
    test::AllocationMeter meter;
    for (auto& record : records) collection.AddRecord(std::move(record), false);
    ASSERT_EQ(static_cast<size_t>(collection.Count()), count);
    const size_t steps = (count + TMP3Collection::kGrowBy - 1) / TMP3Collection::kGrowBy;
    EXPECT_EQ(meter.Allocated(), steps * (steps + 1) / 2 * TMP3Collection::kGrowBy * sizeof(void*));
  }
}

}  // namespace
}  // namespace kv
