#include "base/strings.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(Strings, PartsAndSeparators) {
  EXPECT_EQ(PartByNum("a,b,c", ",", 2), "b");
  EXPECT_EQ(PartByNum("a,b,c", ",", 4), "");
  EXPECT_EQ(PartByNum("a", ",", 1), "a");
  EXPECT_EQ(PartByNum("a::b", "::", 2), "b");
  EXPECT_EQ(PartByNum("a,b", ",", 0), "a");

  std::vector<std::string> parts;
  Separate("a,,b,", ",", parts);
  EXPECT_EQ(parts, (std::vector<std::string>{"a", "", "b"}));
  Separate("", ",", parts);
  EXPECT_TRUE(parts.empty());

  std::string first, rest;
  SeparFirst("key.sub.leaf", ".", first, rest);
  EXPECT_EQ(first, "key");
  EXPECT_EQ(rest, "sub.leaf");
  SeparFirst("plain", ".", first, rest);
  EXPECT_EQ(first, "plain");
  EXPECT_EQ(rest, "");

  EXPECT_EQ(Extract("1;x;-7", ";", 3, 99), -7);
  EXPECT_EQ(Extract("1;x;-7", ";", 2, 99), 99);
  EXPECT_EQ(Extract("1;x;-7", ";", 4, 99), 99);
}

TEST(Strings, SearchingAndCounting) {
  EXPECT_EQ(EntryCount("aa", "aaa"), 2);
  EXPECT_EQ(EntryCount("", "aaa"), 0);
  EXPECT_EQ(FindFromPos("b", "abcb", 1), 2);
  EXPECT_EQ(FindFromPos("b", "abcb", 3), 4);
  EXPECT_EQ(FindFromPos("b", "abcb", -1), 4);   // counts from the end
  EXPECT_EQ(FindFromPos("b", "abcb", -10), 2);  // below 1 acts as 1
  EXPECT_EQ(FindFromPos("", "abcb", 1), 0);
  EXPECT_EQ(FindFromPos("b", "abcb", 9), 0);
  EXPECT_EQ(ScanForTable("  x1", " ", 1, false), 3);
  EXPECT_EQ(ScanForTable("abc", "abc", 1, false), 0);
  EXPECT_EQ(ScanForTable("a1b2", "0123456789", -2, true), 4);

  std::string s = "Hello hello HELLO";
  ReplaceStr(s, "hello", "bye", true);
  EXPECT_EQ(s, "bye bye bye");
  s = "\xC4rger \xE4rger \x8A" "a\xFF \x9A" "a\x9F";  // the code page's letters fold too: Ä/ä, Š/š, ÿ/Ÿ
  ReplaceStr(s, "\xE4RGER", "x", true);
  ReplaceStr(s, "\x9A" "A\x9F", "y", true);
  EXPECT_EQ(s, "x x y y");
  s = "\xDF \xF7";  // ß has no capital, ÷ is no letter
  ReplaceStr(s, "SS", "-", true);
  ReplaceStr(s, "\xD7", "-", true);
  EXPECT_EQ(s, "\xDF \xF7");
  s = "aaa";
  ReplaceStr(s, "a", "aa", false);  // replacement text is not rescanned
  EXPECT_EQ(s, "aaaaaa");
}

TEST(Strings, TrimHexAndNames) {
  EXPECT_EQ(TrimSymbol("..a.b..", '.'), "a.b");
  EXPECT_EQ(TrimSymbol("....", '.'), "");
  EXPECT_EQ(ToHex(std::string("\x00\xAB\xff", 3)), "00ABFF");
  EXPECT_EQ(EscapeControls(std::string("1\0x\r\n\x7F\xE9 \\", 9)), "1\\x00x\\x0D\\x0A\\x7F\xE9 \\");
  EXPECT_EQ(ExtractFileDirAndName("C:\\music\\song.mp3"), "C:\\music\\song");
  EXPECT_EQ(ExtractFileDirAndName("C:\\mu.sic\\song"), "C:\\mu.sic\\song");
  EXPECT_EQ(ExtractFileDirAndName("name."), "name");
}

TEST(Strings, SizesAndPlayTimes) {
  EXPECT_EQ(SizeToStr(1500, 1), "1K");
  EXPECT_EQ(SizeToStr(1000, 1), "1000");
  EXPECT_EQ(SizeToStr(2000000, 2), "1M");
  EXPECT_EQ(SizeToStr(2000000, 1), "1953K");
  EXPECT_EQ(SizeToStr(5000000000LL, 3), "4G");
  EXPECT_EQ(SecondsToStr(0), "0:00");
  EXPECT_EQ(SecondsToStr(59), "0:59");
  EXPECT_EQ(SecondsToStr(61), "1:01");
  EXPECT_EQ(SecondsToStr(3600), "1:00:00");
  EXPECT_EQ(SecondsToStr(3725), "1:02:05");
}

TEST(Strings, PositionToLineAndColumn) {
  int column = -1, line = -1;
  PosToXY("", 1, column, line, true);
  EXPECT_EQ(column, 0);
  EXPECT_EQ(line, 0);
  const std::string text = "ab\r\ncd";
  PosToXY(text, 2, column, line, true);
  EXPECT_EQ(line, 1);
  EXPECT_EQ(column, 2);
  PosToXY(text, 3, column, line, false);  // on the CR LF, backwards: end of line 1
  EXPECT_EQ(line, 1);
  EXPECT_EQ(column, 2);
  PosToXY(text, 4, column, line, true);   // on the LF, forwards: start of line 2
  EXPECT_EQ(line, 2);
  EXPECT_EQ(column, 1);
  PosToXY(text, 6, column, line, true);
  EXPECT_EQ(line, 2);
  EXPECT_EQ(column, 2);
  // Just past the end is a place of its own (where a parse ran out of text);
  // positions further out are taken as it, and stepping back stops at the first.
  const struct {
    std::string text;
    int position;
    bool forward;
    int line, column;
  } edges[] = {
      {text, 7, false, 2, 3},            // just past the end
      {text, 99, true, 2, 3},            // further out: just past the end
      {"\r\n\r\n", 2, true, 3, 1},       // forwards past the last LF, after two CRs
      {"\r\n", 1, false, 1, 1},          // backwards from the first character: it stays
  };
  for (const auto& e : edges) {
    PosToXY(e.text, e.position, column, line, e.forward);
    EXPECT_EQ(line, e.line) << e.position;
    EXPECT_EQ(column, e.column) << e.position;
  }
}

}  // namespace
}  // namespace kv
