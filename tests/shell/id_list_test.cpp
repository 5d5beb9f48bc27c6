#include "shell/id_list.h"

#include <gtest/gtest.h>

#include "zip/zip_stream.h"

namespace kv {
namespace {

using Bytes = std::vector<uint8_t>;

// Two items (4 and 3 bytes) and the terminator, placed at an odd address so
// that any direct 16-bit read would be misaligned.
const Bytes kTwoItems = {4, 0, 'a', 'b', 3, 0, 'c', 0, 0};

Bytes Stream32(uint32_t v, const Bytes& rest) {
  Bytes b = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  b.insert(b.end(), rest.begin(), rest.end());
  return b;
}

TEST(IDList, WalksUnalignedItems) {
  Bytes buf(1);
  buf.insert(buf.end(), kTwoItems.begin(), kTwoItems.end());
  const uint8_t* list = buf.data() + 1;
  EXPECT_EQ(IDListSize(list), 9u);
  EXPECT_EQ(IDListCount(list), 2u);
  EXPECT_EQ(LastIDItem(list), list + 4);
  EXPECT_EQ(NextIDItem(list), list + 4);
  EXPECT_EQ(IDItemBytes(LastIDItem(list)).size(), 3u);
  const uint8_t desktop[2] = {0, 0};
  EXPECT_EQ(IDListSize(desktop), 2u);
  EXPECT_EQ(IDListCount(desktop), 0u);
  EXPECT_TRUE(IsDesktopIDList(desktop));
  EXPECT_EQ(LastIDItem(desktop), desktop);
  EXPECT_FALSE(IsDesktopIDList(nullptr));
  EXPECT_EQ(IDListSize(nullptr), 0u);
}

TEST(IDList, StreamRoundTrip) {
  // The stored form of each list and what reads back: an absent list is size
  // 0 with no bytes and stays absent; the desktop (which older streams also
  // wrote for an absent list) stays the desktop.
  const Bytes desktop = {0, 0};
  struct Case { const char* name; const Bytes* list; Bytes stored; Bytes read; } cases[] = {
      {"two items", &kTwoItems, Stream32(9, kTwoItems), kTwoItems},
      {"desktop", &desktop, Stream32(2, desktop), desktop},
      {"absent", nullptr, Stream32(0, {}), {}},
  };
  for (const auto& c : cases) {
    TMemoryStream s;
    WriteIDList(s, c.list ? c.list->data() : nullptr);
    EXPECT_EQ(s.Bytes(), c.stored) << c.name;
    s.SetPosition(0);
    EXPECT_EQ(ReadIDList(s), c.read) << c.name;
    EXPECT_EQ(s.Position(), s.Size()) << c.name;
  }
}

TEST(IDList, BadStreamsFailWithTheirFault) {
  struct Case { const char* name; Bytes bytes; const char* error; } cases[] = {
      {"size past the end", Stream32(10, kTwoItems), "Item-ID list size runs past the stream"},
      {"size 1", Stream32(1, {0}), "Item-ID list size below 2"},
      {"size 0xFFFFFFFF", Stream32(0xFFFFFFFF, kTwoItems), "Item-ID list too large"},
      {"overrunning count", Stream32(6, {9, 0, 'a', 'b', 0, 0}), "Item-ID count runs past the list"},
      {"count below 2", Stream32(4, {1, 0, 0, 0}), "Item-ID count below 2"},
      {"terminator early", Stream32(6, {0, 0, 'x', 'y', 0, 0}), "Item-ID list ends before its size"},
      {"no terminator", Stream32(4, {4, 0, 'a', 'b'}), "Item-ID list without terminator"},
      {"size missing", {1, 0}, "Item-ID list size missing"},
  };
  for (const auto& c : cases) {
    TMemoryStream s(c.bytes);
    try {
      ReadIDList(s);
      ADD_FAILURE() << c.name << " was accepted";
    } catch (const EIDListFormat& e) {
      EXPECT_STREQ(e.what(), c.error) << c.name;
    }
  }
}

TEST(IDList, ListOfListsIsAllOrNothing) {
  TMemoryStream s;
  Bytes head = Stream32(3, {});
  s.WriteBuffer(head);
  WriteIDList(s, kTwoItems.data());
  WriteIDList(s, nullptr);
  WriteIDList(s, kTwoItems.data());
  s.SetPosition(0);
  auto lists = ReadIDLists(s);
  ASSERT_EQ(lists.size(), 3u);
  EXPECT_TRUE(lists[1].empty());  // stored as absent
  EXPECT_EQ(lists[2], kTwoItems);

  TMemoryStream huge(Stream32(0xFFFFFFFF, Stream32(2, {0, 0})));
  EXPECT_THROW(ReadIDLists(huge), EIDListFormat);
  TMemoryStream broken(Stream32(2, Stream32(2, Bytes{0, 0})));  // second list missing
  EXPECT_THROW(ReadIDLists(broken), EIDListFormat);
}

TEST(IDList, ListsOfListsHandOnWhatCameBeforeAFault) {
  auto lists = [](uint32_t count, std::initializer_list<Bytes> parts) {
    Bytes out = Stream32(count, {});
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
  };
  const Bytes two = Stream32(9, kTwoItems), absent = Stream32(0, {});
  struct Case { const char* name; Bytes bytes; size_t handedOn; const char* error; } cases[] = {
      {"whole", lists(3, {two, absent, two}), 3, nullptr},
      {"third cut short", lists(3, {two, absent, Stream32(9, {4, 0, 'a'})}), 2,
       "Item-ID list size runs past the stream"},
      {"second broken", lists(2, {two, Stream32(1, {0})}), 1, "Item-ID list size below 2"},
      {"count past the lists", lists(0xFFFFFFFF, {two, absent}), 2, "Item-ID list size missing"},
  };
  for (const auto& c : cases) {
    std::vector<Bytes> read;
    TMemoryStream s(c.bytes);
    try {
      ReadIDLists(s, [&](Bytes list) { read.push_back(std::move(list)); });
      EXPECT_EQ(c.error, nullptr) << c.name << " was accepted";
    } catch (const EIDListFormat& e) {
      EXPECT_STREQ(e.what(), c.error ? c.error : "") << c.name;
    }
    ASSERT_EQ(read.size(), c.handedOn) << c.name;
    EXPECT_EQ(read[0], kTwoItems) << c.name;
    if (c.handedOn > 1) {
      EXPECT_TRUE(read[1].empty()) << c.name;
    }
  }
}

TEST(IDList, CompareIDsAnswers) {
  Bytes a = {3, 0, 'a'}, b = {3, 0, 'b'};
  struct Case { int32_t hr; const Bytes* first; const Bytes* second; int expected; } cases[] = {
      {0, &a, &b, 0},
      {1, &a, &b, 1},
      {0xFFFF, &b, &a, -1},
      {256, &a, &b, 1},                          // the low byte alone would read "equal"
      {0x0180, &a, &b, 1},                       // and here "less"
      {static_cast<int32_t>(0x80070057), &b, &a, 1},  // failure: by bytes, b after a
      {static_cast<int32_t>(0x80070057), &a, &b, -1},
      {static_cast<int32_t>(0x80004005), &a, &a, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(CompareIDsResult(c.hr, *c.first, *c.second), c.expected) << std::hex << c.hr;
}

}  // namespace
}  // namespace kv
