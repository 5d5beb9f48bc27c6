#include "shell/wide_text.h"

#include <gtest/gtest.h>

#include "shell/streamable.h"
#include "zip/zip_stream.h"

namespace kv {
namespace {

using Items = std::vector<std::u16string>;

TEST(WideText, SplitsAtEveryBreak) {
  struct Case { std::u16string_view text; Items items; } cases[] = {
      {u"a\r\nb\r", {u"a", u"b"}},
      {u"a\r\rb", {u"a", u"", u"b"}},
      {u"a\nb\vc\fd\u2028e\u2029f", {u"a", u"b", u"c", u"d", u"e", u"f"}},
      {u"", {}},
      {u"\r\n", {u""}},
      {u"tail", {u"tail"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitWideText(c.text), c.items);
}

TEST(WideText, StreamFormsDecode) {
  // Little-endian with mark, big-endian with mark, no mark (cp1252), odd trailing byte.
  struct Case { std::vector<uint8_t> bytes; std::u16string text; } cases[] = {
      {{0xFF, 0xFE, 'a', 0, 0x16, 0x04}, u"a\u0416"},
      {{0xFE, 0xFF, 0, 'a', 0x04, 0x16}, u"a\u0416"},
      {{'c', 'a', 'f', 0xE9, 0x80}, u"caf\u00e9\u20ac"},
      {{0xFF, 0xFE, 'a', 0, 'b'}, u"a"},
      {{0xFF}, u"\u00ff"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeWideText(c.bytes), c.text);
}

TEST(WideText, WriteThenReadFromMidStream) {
  TMemoryStream s;
  s.WriteBuffer("HEAD", 4);
  WriteWideText(s, JoinWideText({u"\u041f\u0440\u0438", u"\u6771\u4eac"}));
  EXPECT_EQ(s.Bytes()[4], 0xFF);
  EXPECT_EQ(s.Bytes()[5], 0xFE);
  s.SetPosition(4);
  EXPECT_EQ(SplitWideText(ReadWideText(s)), (Items{u"\u041f\u0440\u0438", u"\u6771\u4eac"}));
}

TEST(Streamable, VersionIsReadOnlyWhenAsked) {
  TStreamableClass item;
  EXPECT_EQ(item.StreamVersion(), -1);
  TMemoryStream s;
  item.SaveToStream(s, 3, true);
  EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{3, 0, 0, 0}));
  EXPECT_EQ(item.StreamVersion(), 3);
  TStreamableClass back;
  s.SetPosition(0);
  back.LoadFromStream(s, 0, true);
  EXPECT_EQ(back.StreamVersion(), 3);
  back.LoadFromStream(s, 7, false);
  EXPECT_EQ(back.StreamVersion(), 7);

  struct Counting : TStreamableList {
    int clears = 0;
    void Clear() override { ++clears; }
  } list;
  TMemoryStream empty;
  EXPECT_THROW(list.LoadFromStream(empty, 0, true), std::exception);  // short read
  EXPECT_EQ(list.clears, 1);
}

}  // namespace
}  // namespace kv
