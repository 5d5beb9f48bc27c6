#include "base/ansi_text.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(AnsiText, Cp1252RoundTripsEveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(WideToCp1252(Cp1252ToWide(all)), all);
}

TEST(AnsiText, UnmappableAndSurrogatePairsBecomeOneQuestionMark) {
  EXPECT_EQ(WideToCp1252(u"a\u0416b"), "a?b");
  EXPECT_EQ(WideToCp1252(u"x\U0001F600y"), "x?y");
  EXPECT_EQ(WideToCp1252(u"\u20AC\u00FF"), "\x80\xFF");
}

TEST(AnsiText, Utf8DecodesValidAndReplacesInvalidSequences) {
  EXPECT_EQ(Utf8ToAnsi("Caf\xC3\xA9"), "Caf\xE9");
  EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC"), "\x80");
  EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");                 // truncated
  EXPECT_EQ(Utf8ToAnsi("\xC0\xAF"), "??");              // overlong
  EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80"), "???");         // encoded surrogate
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80!"), "?!");
}

}  // namespace
}  // namespace kv
