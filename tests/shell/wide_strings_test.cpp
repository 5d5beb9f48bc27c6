#include "shell/wide_strings.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

using S = std::u16string;
using V = std::u16string_view;

TEST(WideStrings, CodePointOrderAroundSurrogates) {
  struct Case { V a, b; int sign; } cases[] = {
      {u"\U00010000", u"\uFFFF", 1},  // a surrogate pair sorts above U+FFFF
      {u"\uE000", u"\uD7FF", 1},
      {u"\U0010FFFF", u"\uE000", 1},
      {u"\uFF21", u"\U0001F600", -1},  // fullwidth A below an emoji
      {u"abc", u"abd", -1},
      {u"ab", u"abc", -1},
      {u"abc", u"abc", 0},
      {u"B", u"a", -1},                  // case-sensitive
  };
  for (const auto& c : cases) {
    int r = StrCompW<char16_t>(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign);
    int back = StrCompW<char16_t>(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign);
  }
}

TEST(WideStrings, PathParts) {
  struct Case { V in; V dir; V drive; V ext; } cases[] = {
      {u"C", u"C:\\", u"", u""},
      {u"c", u"c:\\", u"", u""},
      {u"C:", u"C:\\", u"", u""},
      {u"1:", u"", u"", u""},
      {u"C:\\file.txt", u"C:\\", u"C:", u".txt"},
      {u"C:\\dir\\file", u"C:\\dir", u"C:", u""},
      {u"C:\\.dots\\readme", u"C:\\.dots", u"C:", u""},
      {u"C:\\a.b\\c.tar.gz", u"C:\\a.b", u"C:", u".gz"},
      {u"\\\\server\\share\\f.mp3", u"", u"", u".mp3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFileDirW<char16_t>(c.in), S(c.dir)) << std::string(c.in.begin(), c.in.end());
    EXPECT_EQ(ExtractFileDriveW<char16_t>(c.in), S(c.drive));
    EXPECT_EQ(ExtractFileExtW<char16_t>(c.in), S(c.ext));
  }
}

TEST(WideStrings, TrailingBackslash) {
  EXPECT_EQ(StripTrailingBackslashW<char16_t>(u"C:\\", false), u"C:\\");
  EXPECT_EQ(StripTrailingBackslashW<char16_t>(u"C:\\", true), u"C:");
  EXPECT_EQ(StripTrailingBackslashW<char16_t>(u"C:\\a/", false), u"C:\\a");
  EXPECT_EQ(StripTrailingBackslashW<char16_t>(u"C:\\a\\\\", false), u"C:\\a\\");
  EXPECT_EQ(IncludeTrailingBackslashW<char16_t>(u""), u"\\");
  EXPECT_EQ(IncludeTrailingBackslashW<char16_t>(u"C:\\"), u"C:\\");
  EXPECT_TRUE(IsDriveW<char16_t>(u"x:\\"));
  EXPECT_FALSE(IsDriveW<char16_t>(u"x:\\a"));
  EXPECT_TRUE(IsPathDelimiterW<char16_t>(u"a\\", 2));
  EXPECT_FALSE(IsPathDelimiterW<char16_t>(u"a\\", 3));
  EXPECT_FALSE(IsPathDelimiterW<char16_t>(u"a\\", 0));
}

TEST(WideStrings, SearchInsertAndNumbers) {
  EXPECT_EQ(StrPosW<char16_t>(u"abcabc", u"ca"), 2u);
  EXPECT_FALSE(StrPosW<char16_t>(u"abc", u""));
  EXPECT_FALSE(StrPosW<char16_t>(u"ab", u"abc"));
  EXPECT_EQ(StrRScanW<char16_t>(u"a\\b\\c", u'\\'), 3u);
  S s = u"ac";
  InsertW<char16_t>(u"b", s, 1);
  InsertW<char16_t>(u"x", s, 4);  // out of range: unchanged
  EXPECT_EQ(s, u"abc");
  S swapped = u"\u0102";
  StrSwapByteOrder(swapped);
  EXPECT_EQ(swapped, u"\u0201");
  S stopped(u"\u0102\0\u0304", 3);  // the swap ends at the terminating 0
  StrSwapByteOrder(stopped);
  EXPECT_EQ(stopped, S(u"\u0201\0\u0304", 3));
  struct Case { V in, out; } commas[] = {
      {u"123", u"123"}, {u"1234", u"1,234"}, {u"1234567", u"1,234,567"}, {u"-123456", u"-123,456"}, {u"", u""}};
  for (const auto& c : commas) EXPECT_EQ(AddCommas<char16_t>(c.in, u','), S(c.out));
  EXPECT_EQ(SizeInKbText<char16_t>(0, u','), u"1 KB");
  EXPECT_EQ(SizeInKbText<char16_t>(1023, u','), u"1 KB");
  EXPECT_EQ(SizeInKbText<char16_t>(3000000000ULL, u','), u"2,929,687 KB");
}

TEST(WideStrings, LengthAndOverlappingMoves) {
  EXPECT_EQ(StrLenW<char16_t>(u"abc"), 3u);
  EXPECT_EQ(StrLenW<char16_t>(u""), 0u);
  EXPECT_EQ(StrLenW<char16_t>(nullptr), 0u);
  struct Case { size_t to, from, count; V out; } cases[] = {
      {2, 0, 4, u"ababcdg"},  // destination above the source: copied from the end
      {0, 2, 4, u"cdefefg"},  // destination below: copied from the start
      {1, 1, 3, u"abcdefg"},
      {0, 5, 0, u"abcdefg"},
  };
  for (const auto& c : cases) {
    S text = u"abcdefg";
    EXPECT_EQ(StrMoveW(text.data() + c.to, text.data() + c.from, c.count), text.data() + c.to);
    EXPECT_EQ(text, S(c.out)) << c.to << " " << c.from;
  }
}

}  // namespace
}  // namespace kv
