#include "diagnostics/diag_location.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(DiagLocation, LocationLines) {
  TDiagLocationInfo withLine;
  withLine.unitName = "wizard";
  withLine.procedureName = "kv::TWizard.Next";
  withLine.offsetFromProcName = 0x30;
  withLine.lineNumber = 42;
  withLine.offsetFromLineNumber = 6;
  withLine.sourceName = "wizard.cpp";
  TDiagLocationInfo backwards = withLine;
  backwards.offsetFromLineNumber = -0x1A;
  TDiagLocationInfo noLine = withLine;
  noLine.lineNumber = 0;
  TDiagLocationInfo noUnit = noLine;
  noUnit.unitName.clear();
  noUnit.procedureName = "GetTickCount";
  struct Case {
    const TDiagLocationInfo* info;
    bool module;
    bool offsets;
    std::optional<uint32_t> procLine;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, false, true, std::nullopt, "[0000000140012345]"},
      {nullptr, true, true, std::nullopt, "[0000000140012345]{kelvarin.exe}"},
      {&withLine, false, true, 40u, "[0000000140012345] wizard.kv::TWizard.Next (Line 42, \"wizard.cpp\" + 2) + $6"},
      {&withLine, false, false, std::nullopt, "[0000000140012345] wizard.kv::TWizard.Next (Line 42, \"wizard.cpp\")"},
      {&backwards, false, true, std::nullopt, "[0000000140012345] wizard.kv::TWizard.Next (Line 42, \"wizard.cpp\") - $1a"},
      {&noLine, false, true, std::nullopt, "[0000000140012345] wizard.kv::TWizard.Next + $30"},
      {&noUnit, false, true, std::nullopt, "[0000000140012345] GetTickCount + $30"},
      {&noUnit, true, false, std::nullopt, "[0000000140012345]{kelvarin.exe} GetTickCount"},
      {&withLine, true, false, 0u, "[0000000140012345]{kelvarin.exe} wizard.kv::TWizard.Next (Line 42, \"wizard.cpp\")"},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> module = c.module ? std::optional<std::string>("kelvarin.exe") : std::nullopt;
    EXPECT_EQ(FormatLocationLine(0x140012345, c.info, module, c.offsets, c.procLine), c.expected);
  }
  EXPECT_EQ(FormatLocationLine(0x10, nullptr, std::string("a.dll"), false, std::nullopt), "[0000000000000010]{a.dll       }");
}

TEST(DiagLocation, PackageExportNames) {
  struct Case {
    const char* name;
    bool answers;
    const char* unit;
    const char* procedure;
    bool withOffset;
  };
  const Case cases[] = {
      {"@Unit1@TForm1@Click$qqrv", true, "Unit1", "TForm1.Click", true},
      {"@Helper$qqrv", true, "", "Helper", true},  // no "." : no unit
      {"@Unit1@@Init$qqrv", true, "Unit1", "@Init", true},
      {"@$xp$11Unit1@TForm", true, "Unit1", "", false},
      {"@Unit1@TForm1@", true, "Unit1", "", false},
      {"PlainName", true, "", "PlainName", true},
      {"?f@@YAXXZ", false, "", "", false},
      {"@1bad", false, "", "", false},
  };
  for (const Case& c : cases) {
    std::string unit = "x", procedure = "x";
    bool withOffset = !c.withOffset;
    EXPECT_EQ(PackageExportLocation(c.name, unit, procedure, withOffset), c.answers) << c.name;
    if (!c.answers) continue;
    EXPECT_EQ(unit, c.unit) << c.name;
    EXPECT_EQ(procedure, c.procedure) << c.name;
    EXPECT_EQ(withOffset, c.withOffset) << c.name;
  }
}

}  // namespace
}  // namespace kv
