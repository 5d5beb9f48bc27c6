#include "wizard/smart_marking.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kv {
namespace {

struct Row {
  int32_t tag;
  int bitRate, length;
  int64_t size;
  const char* path = "c:\\m\\x.mp3";
  const char16_t* widePath = nullptr;  // the file's full wide path, when it has one
};

// The check marks of the rows as a string of 'x' (checked) and '.'.
std::string Marks(const std::vector<Row>& rows, const TKeepPreferences& prefs = {}) {
  std::vector<std::unique_ptr<TMP3Info>> records;
  std::vector<const TMP3Info*> pointers;
  for (const Row& r : rows) {
    auto info = std::make_unique<TMP3Info>();
    info->Tag = r.tag;
    info->SetPart(kInfoBitRate, r.bitRate);
    info->SetPart(kInfoLength, r.length);
    info->SetPart(kInfoFileSize, static_cast<int32_t>(static_cast<uint32_t>(r.size)));
    info->SetTagPart(kTagDisplayPath, r.path);
    if (r.widePath) info->SetWidePath(r.widePath);
    pointers.push_back(r.tag == 999 ? nullptr : info.get());  // 999: a row without a record
    records.push_back(std::move(info));
  }
  std::string out;
  for (bool checked : SmartMarks(pointers, prefs)) out += checked ? 'x' : '.';
  return out;
}

TEST(SmartMarking, InitialPreferencesKeepHighestBitRateThenLongestThenSmallestThenLast) {
  struct Case {
    std::vector<Row> rows;
    const char* marks;
  };
  const Case cases[] = {
      {{{1, 128, 200, 100}, {1, 320, 200, 100}, {1, 192, 200, 100}}, "x.x"},   // bit rate
      {{{1, 320, 199, 100}, {1, 320, 200, 100}, {1, 320, 201, 900}}, "xx."},   // then length
      {{{1, 320, 200, 500}, {1, 320, 200, 100}, {1, 320, 200, 300}}, "x.x"},   // then the smaller size
      {{{1, 320, 200, 100}, {1, 320, 200, 100}, {1, 320, 200, 100}}, "xx."},   // all equal: the last
      {{{1, 10000, 200, 100}, {1, 320, 200, 100}}, ".x"},                      // lossless counts as 10000
      {{{1, 128, 200, 3000000000LL}, {1, 128, 200, 2500000000LL}}, "x."},     // sizes above 2 GiB
      // Groups keep one file each; adjacent groups do not mix.
      {{{1, 128, 1, 1}, {1, 320, 1, 1}, {2, 320, 1, 1}, {2, 128, 1, 1}}, "x..x"},
      // A deleted middle row splits the group; deleted rows stay unchecked.
      {{{1, 320, 1, 1}, {1, 128, 1, 1}, {-1, 999, 1, 1}, {1, 128, 1, 1}, {1, 320, 1, 1}}, ".x.x."},
      {{{-1, 320, 1, 1}, {-1, 128, 1, 1}}, ".."},
      {{{1, 128, 1, 1}, {999, 0, 0, 0}, {1, 320, 1, 1}}, "..."},  // a row without a record ends the run
      {{}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Marks(c.rows), c.marks) << c.marks;
}

TEST(SmartMarking, PreferredFolderWinsFirstAndMatchesExactly) {
  TKeepPreferences prefs;
  prefs.KeepFolder = u"C:\\Keep\\";
  // Inside wins over a better bit rate outside.
  EXPECT_EQ(Marks({{1, 128, 1, 1, "C:\\Keep\\a.mp3"}, {1, 320, 1, 1, "C:\\Other\\a.mp3"}}, prefs), ".x");
  EXPECT_EQ(Marks({{1, 320, 1, 1, "C:\\Other\\a.mp3"}, {1, 128, 1, 1, "C:\\Keep\\Sub\\a.mp3"}}, prefs), "x.");
  // A path that differs only in case does not count as inside.
  EXPECT_EQ(Marks({{1, 128, 1, 1, "c:\\keep\\a.mp3"}, {1, 320, 1, 1, "C:\\Other\\a.mp3"}}, prefs), "x.");
  // Both inside, or both outside: the criteria decide.
  EXPECT_EQ(Marks({{1, 320, 1, 1, "C:\\Keep\\a.mp3"}, {1, 128, 1, 1, "C:\\Keep\\b.mp3"}}, prefs), ".x");
  EXPECT_EQ(Marks({{1, 320, 1, 1, "D:\\a.mp3"}, {1, 128, 1, 1, "E:\\b.mp3"}}, prefs), ".x");
}

TEST(SmartMarking, PreferredFolderOutsideTheCodePageIsNotItsSibling) {
  // "Рок" and "Поп" have the same length and the same display text ("???").
  TKeepPreferences prefs;
  prefs.KeepFolder = u"D:\\\u041c\u0443\u0437\u044b\u043a\u0430\\\u0420\u043e\u043a\\";
  const char16_t* rock = u"D:\\\u041c\u0443\u0437\u044b\u043a\u0430\\\u0420\u043e\u043a\\a.mp3";
  const char16_t* pop = u"D:\\\u041c\u0443\u0437\u044b\u043a\u0430\\\u041f\u043e\u043f\\a.mp3";
  const char* lossy = "D:\\??????\\???\\a.mp3";
  // The copy in the preferred folder is kept, in either order, over a better bit rate.
  EXPECT_EQ(Marks({{1, 320, 1, 1, lossy, pop}, {1, 128, 1, 1, lossy, rock}}, prefs), "x.");
  EXPECT_EQ(Marks({{1, 128, 1, 1, lossy, rock}, {1, 320, 1, 1, lossy, pop}}, prefs), ".x");
  // Emoji (a surrogate pair) and CJK folders compare exactly too.
  prefs.KeepFolder = u"E:\\\U0001F3B5\u65e5\\";
  EXPECT_EQ(Marks({{1, 128, 1, 1, lossy, u"E:\\\U0001F3B5\u65e5\\b.mp3"},
                   {1, 320, 1, 1, lossy, u"E:\\\U0001F3B6\u65e5\\b.mp3"}}, prefs), ".x");
}

TEST(SmartMarking, OrderAndDirectionsOfTheCriteria) {
  TKeepPreferences prefs;
  prefs.KeepOrder = {kSizeGreater, kLengthLesser, kBitRateLesser};
  EXPECT_EQ(Marks({{1, 320, 100, 5}, {1, 128, 300, 9}}, prefs), "x.");
  EXPECT_EQ(Marks({{1, 320, 100, 9}, {1, 128, 300, 9}}, prefs), ".x");
  EXPECT_EQ(Marks({{1, 128, 100, 9}, {1, 320, 100, 9}}, prefs), ".x");
  prefs.KeepOrder = {0, 77, kBitRateGreater};  // unknown codes decide nothing
  EXPECT_EQ(Marks({{1, 320, 1, 1}, {1, 128, 1, 1}}, prefs), ".x");
  EXPECT_EQ(cmp(2, 1), 1);
  EXPECT_EQ(cmp(-1, 1), -1);
  EXPECT_EQ(cmp(4, 4), 0);
}

TEST(SmartMarking, LoadModeTakesKnownCodesAndTheFolderWhenUsed) {
  std::map<std::string, std::string> session;
  auto value = [&](const std::string& key) {
    auto it = session.find(key);
    return it == session.end() ? std::string() : it->second;
  };
  TKeepPreferences prefs;
  LoadMode(prefs, value);  // nothing stored: 1, 3, 6
  EXPECT_EQ(prefs.KeepOrder, (std::array<uint8_t, 3>{1, 3, 6}));
  session = {{"Keep1", "5"}, {"Keep2", "0"}, {"Keep3", "x2"}, {"UseKeepFolder", "0"}, {"KeepFolder", "D:\\"}};
  LoadMode(prefs, value);
  EXPECT_EQ(prefs.KeepOrder, (std::array<uint8_t, 3>{5, 3, 6}));
  EXPECT_EQ(prefs.KeepFolder, u"");
  session = {{"Keep2", "4"}, {"Keep3", ""}, {"UseKeepFolder", "1"}, {"KeepFolder", "D:\\Keep\\"}};
  LoadMode(prefs, value);
  EXPECT_EQ(prefs.KeepOrder, (std::array<uint8_t, 3>{5, 4, 6}));
  EXPECT_EQ(prefs.KeepFolder, u"D:\\Keep\\");
  session = {{"UseKeepFolder", "true"}};  // not "1": the folder stays
  LoadMode(prefs, value);
  EXPECT_EQ(prefs.KeepFolder, u"D:\\Keep\\");
  session = {{"Keep1", "7"}, {"Keep2", "257"}, {"Keep3", "-1"}};  // no criterion (257 is 1 as a byte)
  LoadMode(prefs, value);
  EXPECT_EQ(prefs.KeepOrder, (std::array<uint8_t, 3>{5, 4, 6}));
}

}  // namespace
}  // namespace kv
