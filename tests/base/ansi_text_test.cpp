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

TEST(AnsiText, FileNamesRoundTripThroughUtf8Exactly) {
  const std::u16string names[] = {
      u"M:\\\u041c\u0443\u0437\u044b\u043a\u0430\\\u0141\u00f3d\u017a \u65e5\u672c.mp3",
      u"\U0001F3B5 \u03a9\u1f00 \uD55C\uAD6D\uC5B4",
      std::u16string(u"lone ") + char16_t(0xD800) + u" and " + char16_t(0xDC00) + u" end",  // names may hold them
      u"",
  };
  for (const std::u16string& name : names) EXPECT_EQ(Utf8ToWide(WideToUtf8(name)), name);
  EXPECT_EQ(WideToUtf8(u"\u0416\U0001F600"), "\xD0\x96\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD83D))), "\xED\xA0\xBD");
  // Invalid bytes still become "?"; only the wide decoding keeps a lone surrogate.
  EXPECT_EQ(Utf8ToWide("a\xC3 \xC0\xAF"), u"a? ??");
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), std::u16string(1, char16_t(0xD800)));
}

// Each character the code page lacks is one mark: a pair as one, a lone
// surrogate as one, and what follows it stays.
TEST(AnsiText, MarkedAnsiMarksEachMissingCharacterOnce) {
  EXPECT_EQ(MarkedAnsi(u"Caf\u00e9 \u0416\U0001F3B5.mp3"), "Caf\xE9 ||.mp3");
  const char16_t high = 0xD800, low = 0xDC00;
  EXPECT_EQ(MarkedAnsi(std::u16string(u"lone") + high + u"x"), "lone|x");
  EXPECT_EQ(MarkedAnsi(std::u16string(u"lone") + high + high + low + u"x"), "lone||x");
  EXPECT_EQ(MarkedAnsi(std::u16string(u"lone") + low + high), "lone||");
}

}  // namespace
}  // namespace kv
