#include "foundation/regex.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace kv {
namespace {

// Under code page 1252 the system's case mapping is the built-in one, so the
// tables read from CharUpperA/CharLowerA must agree byte for byte.
TEST(RegexCaseWin, SystemTablesMatchCodePage1252) {
  ASSERT_EQ(GetACP(), 1252u);
  UseSystemRegexCaseTables();
  const RegexCaseTables& system = CurrentRegexCaseTables();
  const RegexCaseTables& builtIn = Cp1252RegexCaseTables();
  for (size_t c = 0; c < 256; ++c) {
    EXPECT_EQ(system.upper[c], builtIn.upper[c]) << "upper of " << c;
    EXPECT_EQ(system.lower[c], builtIn.lower[c]) << "lower of " << c;
  }
  TRegex re;
  re.SetModifier(1, true);
  re.SetExpression("\xE9l\xE8ve");
  EXPECT_TRUE(re.Exec("\xC9L\xC8VE"));
  SetRegexCaseTables(Cp1252RegexCaseTables());
}

}  // namespace
}  // namespace kv
