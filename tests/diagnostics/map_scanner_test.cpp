#include "diagnostics/map_scanner.h"

#include <gtest/gtest.h>

#include "tests/diagnostics/diag_test_util.h"
#include "tests/support/allocation_meter.h"

namespace kv {
namespace {

using namespace diagtest;

// Two units in segment 1; publics of both and of segment 2; line numbers for
// both units, with a pair that breaks the order.
const char kMap[] =
    "\r\n Start         Length     Name                   Class\r\n"
    " 0001:00401000 00000400H .text                  CODE\r\n"
    " 0002:00402000 00000100H .data                  DATA\r\n\r\n\r\n"
    "Detailed map of segments\r\n\r\n"
    " 0001:00000000 00000200 C=CODE     S=.text    G=(none)   M=System   ACBP=A9\r\n"
    " 0001:00000200 00000100 C=CODE     S=.text    G=(none)   M=Main     ACBP=A9\r\n"
    " 0002:00000000 00000100 C=DATA     S=.data    G=DGROUP   M=Main     ACBP=A9\r\n\r\n"
    "  Address         Publics by Name\r\n\r\n"
    " 0001:00000010       @System@Start\r\n\r\n"
    "  Address         Publics by Value\r\n\r\n"
    " 0001:00000010       @System@Start\r\n"
    " 0001:00000080       @System@Halt\r\n"
    " 0002:00000004       SomeData\r\n"
    " 0001:00000210       Main.Run\r\n\r\n"
    "Line numbers for System(system.pas) segment .text\r\n\r\n"
    "    10 0001:00000010    11 0001:00000018    20 0001:00000080\r\n"
    "    21 0001:00000070\r\n\r\n"
    "Line numbers for Main(C:\\src\\main.pas) segment .text\r\n\r\n"
    "     5 0001:00000210     6 0001:00000220\r\n";

TEST(MapScanner, Lookups) {
  const TDiagMapScanner map(kMap);
  EXPECT_EQ(map.SkippedLines(), 1u);  // offset 0x70 after 0x80
  ExpectLocations(map, {
                           {0x08, "System", "", 0, 0, 0, ""},
                           {0x14, "System", "@System@Start", 4, 10, 4, "system.pas"},
                           {0x90, "System", "@System@Halt", 0x10, 20, 0x10, "system.pas"},
                           {0x205, "Main", "", 0, 0, 0, ""},  // entries of the earlier unit are not used
                           {0x224, "Main", "Main.Run", 0x14, 6, 4, "C:\\src\\main.pas"},
                           {0x400, "", "", 0, 0, 0, ""},
                       });
}

TEST(MapScanner, TruncatedAndForeignTextReadsWhatIsThere) {
  const std::string full = kMap;
  for (size_t n = 0; n <= full.size(); n += 7) {
    const TDiagMapScanner map(std::string_view(full).substr(0, n));
    uint32_t offset = 0;
    map.ProcNameFromAddr(0x14, offset);
  }
  const TDiagMapScanner foreign("just some text\nwithout sections\n");
  EXPECT_EQ(foreign.ModuleNameFromAddr(0), "");
  EXPECT_EQ(foreign.ModuleStartFromAddr(0), 0xFFFFFFFFu);
}

// Unit, public and source names are kept to a bound, however long they are,
// and the text after a long name is still read (a name running to the end of
// the file: the regress seed long_public_name.map).
TEST(MapScanner, LongNamesAreCut) {
  const std::string unit(1000, 'U'), proc(70000, 'P'), source(5000, 's');
  const std::string text = "Detailed map of segments\r\n 0001:00000000 00000200 C=CODE M=" + unit +
                           " ACBP=A9\r\nAddress         Publics by Value\r\n 0001:00000010 " + proc +
                           "\r\n 0001:00000080 Main.Run\r\nLine numbers for Main(" + source +
                           ") segment .text\r\n 5 0001:00000010\r\n";
  const size_t n = TDiagMapScanner::kMaxNameLength;
  const std::string u = unit.substr(0, n), p = proc.substr(0, n), f = source.substr(0, n);
  const TDiagMapScanner map(text);
  ExpectLocations(map, {
                           {0x14, u.c_str(), p.c_str(), 4, 5, 4, f.c_str()},
                           {0x84, u.c_str(), "Main.Run", 4, 5, 0x74, f.c_str()},
                       });
}

// A ".map" file beside a loaded module may be anything: sections of the
// shortest lines there are ("1:20" is a segment or a public, "1 1:5" a line
// pair) keep tables of a size fixed in advance, however long the file, and
// the first entries still answer.
TEST(MapScanner, TablesStayUnderAFixedMemoryBound) {
  for (size_t size : {size_t{1} << 20, size_t{40} << 20}) {
    SCOPED_TRACE(size);
    std::string text = "Detailed map of segments\r\n 0001:00000000 00100000 C=CODE M=Main\r\n";
    text.reserve(size + 64);
    while (text.size() < size * 3 / 8) text += "1:20\n";
    text += "Address         Publics by Value\r\n 0001:00000010 Main.Run\r\n";
    while (text.size() < size * 6 / 8) text += "1:20\n";
    text += "Line numbers for Main(main.pas) segment .text\r\n 5 0001:00000010";
    for (uint32_t offset = 0x11; text.size() < size; ++offset) text += " 1 1:" + std::to_string(offset);
    text += "\r\n";
    test::AllocationMeter meter;
    const TDiagMapScanner map(text);
    ASSERT_LT(meter.Peak(), size_t{128} << 20);
    uint32_t procOffset = 0;
    int32_t lineOffset = 0;
    EXPECT_EQ(map.ModuleNameFromAddr(0x10), "Main");
    EXPECT_EQ(map.ProcNameFromAddr(0x10, procOffset), "Main.Run");
    EXPECT_EQ(map.LineNumberFromAddr(0x10, lineOffset), 5u);
    EXPECT_EQ(map.SourceNameFromAddr(0x10), "main.pas");
  }
}

}  // namespace
}  // namespace kv
