#include "diagnostics/diag_binary.h"

#include "tests/diagnostics/diag_block_builder.h"
#include "tests/support/allocation_meter.h"

namespace kv {
namespace {

using namespace diagtest;

// Two units: "Alpha" from 0x100 (procedures at 0x100 and 0x180), "Beta" from 0x400
// (its first procedure only at 0x480); lines with one stepping back; a plain file name.
struct Sample {
  DiagBlock block;
  Sample() {
    const uint32_t alpha = block.Name("Alpha"), beta = block.Name("Beta");
    block.ModuleName(block.Name("kelvarin"));
    block.Unit(0x100, alpha);
    block.Unit(0x400, beta);
    const uint32_t file = block.Name("alpha-file.cpp", true);
    block.Source(0x100, file);
    block.Source(0x400, block.Name("beta_win", true));
    block.Symbol(0x100, block.Name("kv"), block.Name("First"));
    block.Symbol(0x180, block.Name("@Second"), 0);
    block.Symbol(0x480, block.Name("TBeta"), block.Name("Run"));
    block.Line(0x100, 10);
    block.Line(0x110, 12);
    block.Line(0x120, 7);  // a line that steps back: a wrapped difference
    block.Line(0x180, 0);
    block.Line(0x400, 3);
  }
};

TEST(DiagBinary, Lookups) {
  const Bytes bytes = Sample().block.Build();
  TDiagBinDebugScanner scanner(bytes);
  ASSERT_TRUE(scanner.ValidFormat());
  EXPECT_EQ(scanner.GetModuleName(), "kelvarin");
  ExpectLocations(scanner, {
                               {0x0FF, "", "", 0, 0, 0, ""},  // below the first unit
                               {0x100, "Alpha", "kv.First", 0, 10, 0, "alpha-file.cpp"},
                               {0x115, "Alpha", "kv.First", 0x15, 12, 5, "alpha-file.cpp"},
                               {0x125, "Alpha", "kv.First", 0x25, 7, 5, "alpha-file.cpp"},
                               {0x190, "Alpha", "@Second", 0x10, 0, 0x10, "alpha-file.cpp"},
                               {0x410, "Beta", "", 0, 3, 0x10, "beta_win"},  // the gap before Beta's first procedure
                               {0x490, "Beta", "TBeta.Run", 0x10, 3, 0x90, "beta_win"},
                           });
  EXPECT_EQ(scanner.ModuleStartFromAddr(0x0FF), 0xFFFFFFFFu);
  EXPECT_EQ(scanner.ModuleStartFromAddr(0x190), 0x100u);
  EXPECT_EQ(scanner.ModuleStartFromAddr(0x410), 0x400u);
}

TEST(DiagBinary, Names) {
  DiagBlock block;
  const std::string max(255, 'a');
  const uint32_t refs[] = {block.Name(max), block.Name(max + "bcd"), block.Name("@Sys"),
                           block.Name("odd name <int>::x", true), block.Name(std::string(300, 'p'), true)};
  block.Unit(0, refs[0]);
  const Bytes bytes = block.Build();
  TDiagBinDebugScanner scanner(bytes);
  ASSERT_TRUE(scanner.ValidFormat());
  EXPECT_EQ(scanner.NameFromRef(0), "");
  EXPECT_EQ(scanner.NameFromRef(refs[0]), max);
  EXPECT_EQ(scanner.NameFromRef(refs[1]), max);  // cut at 255
  EXPECT_EQ(scanner.NameFromRef(refs[2]), "@Sys");
  EXPECT_EQ(scanner.NameFromRef(refs[3]), "odd name <int>::x");
  EXPECT_EQ(scanner.NameFromRef(refs[4]), std::string(255, 'p'));
  EXPECT_EQ(scanner.NameFromRef(0x7FFFFFFF), "");  // outside the block
  EXPECT_EQ(scanner.NameFromRef(static_cast<uint32_t>(bytes.size())), "");
}

TEST(DiagBinary, ModuleNameCheckIgnoresFolderExtensionAndCase) {
  const Bytes bytes = Sample().block.Build();
  TDiagBinDebugScanner scanner(bytes);
  EXPECT_TRUE(scanner.IsModuleNameValid("C:\\Program Files\\Kelvarin\\KELVARIN.EXE"));
  EXPECT_TRUE(scanner.IsModuleNameValid("kelvarin"));
  EXPECT_FALSE(scanner.IsModuleNameValid("C:\\kelvarin2.exe"));
}

TEST(DiagBinary, Checksum) {
  Bytes good = Sample().block.Build(true);
  EXPECT_TRUE(TDiagBinDebugScanner(good).ValidFormat());
  for (size_t at : {size_t{0x30}, good.size() - 1, size_t{29}}) {
    Bytes flipped = good;
    flipped[at] ^= 0x01;
    EXPECT_FALSE(TDiagBinDebugScanner(flipped).ValidFormat()) << at;
  }
  Bytes unchecked = good;
  unchecked[33] = 0;  // no checksum: any value passes
  unchecked[29] ^= 0xFF;
  EXPECT_TRUE(TDiagBinDebugScanner(unchecked).ValidFormat());
}

TEST(DiagBinary, BrokenBlocksAreInvalidOrStopEarly) {
  const Bytes good = Sample().block.Build();
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    int bytes;
  };
  const Case cases[] = {
      {"signature", 0, 0x47414945, 4},
      {"version", 4, 2, 1},
      {"units offset past the end", 5, 0x10000, 4},
      {"words offset inside the header", 21, 10, 4},
  };
  for (const Case& c : cases) {
    Bytes bad = good;
    SetLe(bad, c.at, c.value, c.bytes);
    EXPECT_FALSE(TDiagBinDebugScanner(bad).ValidFormat()) << c.name;
  }
  EXPECT_FALSE(TDiagBinDebugScanner(Bytes(good.begin(), good.begin() + 34)).ValidFormat());
  EXPECT_FALSE(TDiagBinDebugScanner(Bytes(good.begin(), good.end() - 1)).ValidFormat());

  // A number of six bytes ends the stream: nothing after it is read.
  DiagBlock block;
  block.Unit(0x10, block.Name("U"));
  Bytes longNumber = block.Build();
  for (int i = 0; i < 5; ++i) longNumber[34 + static_cast<size_t>(i)] = 0x80;
  TDiagBinDebugScanner scanner(longNumber);
  ASSERT_TRUE(scanner.ValidFormat());
  EXPECT_EQ(scanner.ModuleNameFromAddr(0x10), "");

  // A stream without its end mark stops at the block's end.
  Bytes unterminated = Sample().block.Build();
  const uint32_t linesAt = static_cast<uint32_t>(unterminated[17] | unterminated[18] << 8);
  SetLe(unterminated, 21, unterminated.size() - 4, 4);  // the name area: the last word
  for (size_t i = linesAt; i < unterminated.size(); ++i) unterminated[i] = 0x81;
  TDiagBinDebugScanner open(unterminated);
  ASSERT_TRUE(open.ValidFormat());
  int32_t offset = 0;
  open.LineNumberFromAddr(0x100, offset);
}

// A ".diag" file beside a loaded module may hold anything: a block whose four
// streams are one run of zero bytes (every number one byte, so a pair in two
// bytes) decodes to tables of a size fixed in advance, whatever the block's
// length; the lookups still answer from what was kept.
TEST(DiagBinary, TablesStayUnderAFixedMemoryBound) {
  for (size_t size : {size_t{1} << 20, size_t{16} << 20}) {
    SCOPED_TRACE(size);
    Bytes block(size, 0);
    SetLe(block, 0, kDiagSignature, 4);
    block[4] = 1;
    for (int i = 0; i < 4; ++i) SetLe(block, 5 + 4 * static_cast<size_t>(i), 36, 4);  // units, sources, symbols, lines
    SetLe(block, 21, size - 4, 4);                                                       // the names
    SetLe(block, 36 + 2, 5, 1);  // the second unit starts at 5
    test::AllocationMeter meter;
    TDiagBinDebugScanner scanner(block);
    ASSERT_TRUE(scanner.ValidFormat());
    uint32_t procOffset = 0;
    int32_t lineOffset = 0;
    EXPECT_EQ(scanner.ModuleStartFromAddr(7), 5u);
    EXPECT_EQ(scanner.ProcNameFromAddr(7, procOffset), "");
    EXPECT_EQ(scanner.LineNumberFromAddr(7, lineOffset), 0u);
    EXPECT_EQ(scanner.SourceNameFromAddr(7), "");
    ASSERT_LT(meter.Peak(), size_t{128} << 20);
  }
}

}  // namespace
}  // namespace kv
