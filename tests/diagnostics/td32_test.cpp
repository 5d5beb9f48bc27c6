#include "diagnostics/td32.h"

#include <fstream>
#include <iterator>

#include "tests/diagnostics/td32_sample.h"
#include "tests/support/allocation_meter.h"

namespace kv {
namespace {

using namespace diagtest;

TEST(TD32, Lookups) {
  const Bytes data = Sample().Build();
  const TDiagTD32InfoScanner td32(data);
  ASSERT_TRUE(td32.ValidData());
  ExpectLocations(td32, {
                            {0x100, "Unit1", "TForm1.Click", 0, 10, 0, "Unit1.pas"},
                            {0x114, "Unit1", "TForm1.Click", 0x14, 12, 4, "Unit1.pas"},
                            {0x150, "Unit1", "", 0, 12, 0x40, "Unit1.pas"},
                            {0x180, "Unit1", "Helper", 0, 20, 0, "Unit1.pas"},
                            {0x190, "Unit1", "Helper", 0x10, 0, 0, "Unit1.pas"},  // past the last line
                            {0x50, "", "", 0, 0, 0, ""},
                        });
}

TEST(TD32, ShortProcNames) {
  EXPECT_EQ(TDiagTD32InfoScanner::ShortProcName("@Unit1@TForm1@Click"), "TForm1.Click");
  EXPECT_EQ(TDiagTD32InfoScanner::ShortProcName("@Unit1@TList@@Grow"), "TList.@Grow");
  EXPECT_EQ(TDiagTD32InfoScanner::ShortProcName("@Start"), "Start");
  EXPECT_EQ(TDiagTD32InfoScanner::ShortProcName("plain"), "plain");
}

TEST(TD32, BrokenData) {
  const Bytes good = Sample().Build();
  EXPECT_TRUE(IsTD32DebugData(ByteView(good.data(), good.size())));
  Bytes badTail = good;
  badTail[badTail.size() - 8] = 'X';
  Bytes badOffset = good;
  SetLe(badOffset, badOffset.size() - 4, badOffset.size() + 1, 4);
  for (const Bytes& bad : {badTail, badOffset, Bytes(good.begin(), good.begin() + 8)}) {
    EXPECT_FALSE(TDiagTD32InfoScanner(bad).ValidData());
  }
  // A wrong entry size or a directory that points at itself reads no further.
  EXPECT_EQ(TDiagTD32InfoScanner(Sample().Build(16)).ModuleNameFromAddr(0x100), "");
  EXPECT_EQ(TDiagTD32InfoScanner(Sample().Build(12, true)).ModuleNameFromAddr(0x100), "Unit1");
  // Every truncation of the subsections' bytes keeps the reads inside the block.
  for (size_t n = 8; n < good.size() - 8; ++n) {
    Bytes cut = good;
    for (size_t i = n; i < good.size() - 8; ++i) cut[i] = 0xFF;
    const TDiagTD32InfoScanner td32(cut);
    uint32_t offset = 0;
    td32.ProcNameFromAddr(0x100, offset);
  }
}

// File records, segments and line tables that share offsets: 600 file
// offsets name one record whose 200 segments name one table of 64 lines, 7.7
// million points from 5 KB (and a 64 KiB block could ask for terabytes).
// Reading stops at the work the block's size allows; what was read answers.
TEST(TD32, SharedRecordsAndTablesCostNoMoreThanTheBlockAllows) {
  std::ifstream in(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/td32/regress/line_points_multiplied.tds",
                   std::ios::binary);
  const Bytes seed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_GT(seed.size(), 5000u);
  test::AllocationMeter meter;
  const TDiagTD32InfoScanner td32(seed);
  EXPECT_LT(meter.Peak(), 32 * (TDiagTD32InfoScanner::kWorkPerByte * seed.size() + TDiagTD32InfoScanner::kWorkBase));
  ASSERT_TRUE(td32.ValidData());
  ExpectLocations(td32, {
                            {0x100, "Unit1", "", 0, 10, 0, "Unit1.pas"},
                            {0x105, "Unit1", "", 0, 12, 1, "Unit1.pas"},
                        });
}

}  // namespace
}  // namespace kv
