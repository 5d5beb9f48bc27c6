#include "wizard/step_texts.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(StepText, PartNPlusOneTrimmedOfBlanksAndLineBreaks) {
  const std::string text = " zero \r\n-------\r\n\tone\r\n line two \r\n--------------three";
  EXPECT_EQ(StepText(text, 0), "zero");
  EXPECT_EQ(StepText(text, 1), "one\r\n line two");
  EXPECT_EQ(StepText(text, 2), "");  // empty between two separators
  EXPECT_EQ(StepText(text, 3), "three");
  EXPECT_EQ(StepText(text, 4), "");
  EXPECT_EQ(StepText("", 0), "");
  EXPECT_EQ(StepText("only", -1), "");
  // Six hyphens are text, not a separator.
  EXPECT_EQ(StepText("a ------ b", 0), "a ------ b");
}

TEST(StepText, NumbersFromSettingsFallBackToTheDefault) {
  const std::pair<const char*, int> cases[] = {{"90", 90},   {"-5", -5}, {"+7", 7},   {"", 42},
                                               {"12x", 42}, {" 3", 42}, {"3 ", 42},  {"x", 42},
                                               {"99999999999", 42}, {"-", 42}, {"0", 0}};
  for (auto [text, value] : cases) EXPECT_EQ(StrToIntDef(text, 42), value) << text;
}

TEST(StepText, PercentRoundsHalvesToEvenAndClamps) {
  struct Case {
    long long count, total;
    int percent;
  } const cases[] = {{1, 8, 12},  {3, 8, 38},  {5, 8, 62},      {7, 8, 88}, {1, 3, 33}, {2, 3, 67},
                     {1, 200, 0}, {3, 200, 2}, {0, 5, 0},       {5, 5, 100}, {6, 5, 100}, {-1, 5, 0},
                     {4, 0, 0},   {1, 40, 2},  {3, 40, 8}, {2147483647LL, 4294967294LL, 50}};
  for (const Case& c : cases) EXPECT_EQ(PercentOf(c.count, c.total), c.percent) << c.count << "/" << c.total;
}

}  // namespace
}  // namespace kv
