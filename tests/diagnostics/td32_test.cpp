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
  // The entries follow the 16-byte header whatever its size field says.
  for (const uint32_t headerSize : {0u, 12u, 32u}) {
    Bytes sized = good;
    SetLe(sized, static_cast<size_t>(sized[4] | (sized[5] << 8)), headerSize, 2);
    EXPECT_EQ(TDiagTD32InfoScanner(sized).ModuleNameFromAddr(0x100), "Unit1") << headerSize;
  }
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


// A block of `size` bytes whose directory points every entry at one
// subsection of the given type: what a crafted ".tds" file beside a loaded
// module looks like.
Bytes Flood(uint16_t type, const Bytes& sub, size_t size) {
  Bytes out;
  PutLe(out, 0x39304246, 4);
  PutLe(out, 0, 4);
  const uint32_t at = static_cast<uint32_t>(out.size());
  Put(out, sub);
  const size_t count = (size - out.size() - 16 - 8) / 12;
  SetLe(out, 4, out.size(), 4);
  PutLe(out, 16, 2);
  PutLe(out, 12, 2);
  PutLe(out, count, 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  Bytes entry;
  PutLe(entry, type, 2);
  PutLe(entry, 1, 2);
  PutLe(entry, at, 4);
  PutLe(entry, sub.size(), 4);
  out.reserve(size);
  for (size_t i = 0; i < count; ++i) Put(out, entry);
  PutLe(out, 0x39304246, 4);
  PutLe(out, out.size() + 4, 4);
  return out;
}

// Source files that each cost one step of work: no segments, or one segment
// with a one-line table; every file offset names the same record.
Bytes ManyFiles(bool withLines) {
  const uint16_t files = 0xFFFF;
  Bytes sub;
  PutLe(sub, files, 2);
  const uint32_t record = 2 + 4u * files;
  for (uint32_t f = 0; f < files; ++f) PutLe(sub, record, 4);
  PutLe(sub, withLines ? 1 : 0, 2);
  PutLe(sub, 1, 4);
  PutLe(sub, record + 6 + 4 + 8, 4);  // the line table after the range
  PutLe(sub, 0x100, 4);
  PutLe(sub, 0x200, 4);
  PutLe(sub, 1, 2);
  PutLe(sub, 1, 2);
  PutLe(sub, 0x100, 4);
  PutLe(sub, 7, 2);
  return sub;
}

// One table of 0xFFFF lines that every segment of every file names.
Bytes ManyLines() {
  Bytes sub;
  PutLe(sub, 1, 2);
  PutLe(sub, 6, 4);
  PutLe(sub, 1, 2);
  PutLe(sub, 1, 4);
  PutLe(sub, 6 + 6 + 4 + 8, 4);
  PutLe(sub, 0x100, 4);
  PutLe(sub, 0x200, 4);
  PutLe(sub, 1, 2);
  PutLe(sub, 0xFFFF, 2);
  for (uint32_t i = 0; i < 0xFFFF; ++i) PutLe(sub, 0x100 + i, 4);
  for (uint32_t i = 0; i < 0xFFFF; ++i) PutLe(sub, 1 + i, 2);
  return sub;
}

Bytes ManyNames() {
  Bytes sub;
  PutLe(sub, 60000, 4);
  for (int i = 0; i < 60000; ++i) {
    sub.push_back(1);
    sub.push_back('n');
    sub.push_back(0);
  }
  return sub;
}

// A module of 4,096 code segments.
Bytes ManySegments() {
  Bytes sub(28, 0);
  SetLe(sub, 4, 4096, 2);
  SetLe(sub, 8, 1, 4);
  for (uint32_t i = 0; i < 4096; ++i) {
    PutLe(sub, 1, 2);
    PutLe(sub, 0, 2);
    PutLe(sub, 0x100 + 16 * i, 4);
    PutLe(sub, 16, 4);
  }
  return sub;
}

// Procedure records of two bytes that overlap: each four bytes start one.
Bytes ManyProcs() {
  Bytes sub;
  PutLe(sub, 1, 4);
  for (int i = 0; i < 16384; ++i) {
    PutLe(sub, 2, 2);
    PutLe(sub, 0x205, 2);
  }
  sub.resize(sub.size() + 44, 0);
  return sub;
}

// The work bound keeps the time in proportion to the block, but the memory
// must not follow it: a crash report reads the debug data beside every
// loaded module, whatever those files hold. Each crafted kind of block, of
// 1 and 8 MiB, stays under one bound (it once took about 670 bytes per byte
// of block), and what was read still answers.
TEST(TD32, CraftedBlocksStayUnderAFixedMemoryBound) {
  constexpr size_t kBound = 128u << 20;
  const struct {
    const char* what;
    uint16_t type;
    Bytes sub;
    uint32_t line;  // at 0x100
  } kinds[] = {
      {"files without segments", 0x127, ManyFiles(false), 0},
      {"files with one line", 0x127, ManyFiles(true), 7},
      {"shared line table", 0x127, ManyLines(), 1},
      {"names", 0x130, ManyNames(), 0},
      {"module segments", 0x120, ManySegments(), 0},
      {"procedures", 0x125, ManyProcs(), 0},
  };
  // The fuzz seed of this shape, a few KB, reads as the big ones do.
  std::ifstream in(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/td32/regress/files_multiplied.tds", std::ios::binary);
  const Bytes seed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  int32_t seedOffset = 0;
  const TDiagTD32InfoScanner seeded(seed);
  EXPECT_EQ(seeded.LineNumberFromAddr(0x100, seedOffset), 7u);
  EXPECT_EQ(seeded.LineNumberFromAddr(0x104, seedOffset), 0u);  // one line point: past it no line answers
  for (const auto& kind : kinds) {
    for (size_t size : {size_t{1} << 20, size_t{8} << 20}) {
      SCOPED_TRACE(std::string(kind.what) + ", " + std::to_string(size >> 20) + " MiB");
      const Bytes block = Flood(kind.type, kind.sub, size);
      test::AllocationMeter meter;
      const TDiagTD32InfoScanner td32(block);
      ASSERT_LT(meter.Peak(), kBound);
      ASSERT_TRUE(td32.ValidData());
      int32_t lineOffset = 0;
      EXPECT_EQ(td32.LineNumberFromAddr(0x100, lineOffset), kind.line);
      EXPECT_EQ(td32.ModuleNameFromAddr(0x100), "");  // a module without a names table has no name
    }
  }
}

}  // namespace
}  // namespace kv
