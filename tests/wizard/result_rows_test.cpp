// What the results page decides for its rows without a window: colours and
// separators, the row texts, saved marks, the check buttons, the group count
// and the music-store address.
#include "wizard/result_rows.h"

#include <gtest/gtest.h>

#include "engine/mp3_collection.h"

namespace kv {
namespace {

TEST(ResultRows, ColoursBySeparatorAndGroup) {
  struct Case { int32_t tag; uint32_t brush, font; } cases[] = {
      {-1, 0xC0C0C0, 0x808080}, {1, 0xF0FFF0, 0x008000}, {3, 0xF0FFF0, 0x008000},
      {0, 0xFFF0F0, 0x800000}, {2, 0xFFF0F0, 0x800000}, {100002, 0xFFF0F0, 0x800000}};
  for (const Case& c : cases) {
    EXPECT_EQ(RowLook(c.tag).brush, c.brush) << c.tag;
    EXPECT_EQ(RowLook(c.tag).font, c.font) << c.tag;
  }
  EXPECT_TRUE(GroupSeparatorBelow(1, 2));
  EXPECT_TRUE(GroupSeparatorBelow(1, -1));
  EXPECT_FALSE(GroupSeparatorBelow(1, 1));
  EXPECT_FALSE(GroupSeparatorBelow(1, std::nullopt));  // the last row of the list
}

TEST(ResultRows, TextsOfBothLines) {
  TAudioInfo r;
  r.SetTagPart(kTagArtist, "Wren");
  r.SetTagPart(kTagTitle, "Field");
  EXPECT_EQ(RowHeadline(r), "Wren - Field");
  EXPECT_EQ(RowAlbumText(r), "");
  r.SetTagPartInt(kTagYear, 1999);
  EXPECT_EQ(RowAlbumText(r), " [  1999]");
  r.SetTagPart(kTagAlbum, "Moor");
  EXPECT_EQ(RowAlbumText(r), " [Moor  1999]");
  r.SetTagPartInt(kTagYear, 0);
  EXPECT_EQ(RowAlbumText(r), " [Moor]");

  EXPECT_EQ(BitRateText(10000), "Lossless");
  EXPECT_EQ(BitRateText(192), "192Kbit");
  const char* names[] = {"", "Stereo", "Joint Stereo", "Dual Channel", "Mono", ""};
  for (int code = 0; code < 6; ++code) EXPECT_EQ(ChannelName(code), names[code]) << code;
  EXPECT_EQ(ChannelName(-1), "");
  r.SetPart(kInfoSampleRate, 44100);
  r.SetPart(kInfoChannels, 2);
  EXPECT_EQ(SampleRateText(r), "44100Hz Joint Stereo");
}

TEST(ResultRows, SavedMarksRoundTripAndLeaveDeletedRowsAlone) {
  struct Case { int32_t tag; bool checked; int32_t saved; } cases[] = {
      {0, true, 0}, {0, false, 0}, {7, true, 100007}, {7, false, 7}, {-1, true, -1}, {-1, false, -1}};
  for (const Case& c : cases) {
    int32_t tag = WithSavedMark(c.tag, c.checked);
    EXPECT_EQ(tag, c.saved) << c.tag;
    const bool restored = TakeSavedMark(tag);
    EXPECT_EQ(restored, c.checked && c.tag > 0) << c.tag;
    if (restored) {
      EXPECT_EQ(tag, c.tag);
    }
  }
}

TEST(ResultRows, CheckButtonsNeverCheckDeletedRows) {
  for (const bool now : {false, true}) {
    EXPECT_TRUE(CheckedAfter(TCheckButton::All, 2, now));
    EXPECT_FALSE(CheckedAfter(TCheckButton::All, -1, now));
    EXPECT_FALSE(CheckedAfter(TCheckButton::None, 2, now));
    EXPECT_EQ(CheckedAfter(TCheckButton::Invert, 2, now), !now);
    EXPECT_FALSE(CheckedAfter(TCheckButton::Invert, -1, now));
  }
}

TEST(ResultRows, GroupCountIsTheHighestGroupNumber) {
  TMP3Collection c(nullptr);
  EXPECT_EQ(GroupCount(c), 0);
  for (const int32_t tag : {1, 1, 2, 3, 3, -1}) c.AddMp3Info(TAudioInfo()).Tag = tag;
  EXPECT_EQ(GroupCount(c), 3);  // the last record's -1 is not the count
}

TEST(ResultRows, MusicStoreQueryIsPercentEncodedUtf8) {
  const std::string base = "https://www.torvane.example/musicstore/search.php?q=";
  EXPECT_EQ(MusicStoreAddress("AC/DC & Friends", "artist"), base + "AC%2FDC%20%26%20Friends&t=artist");
  EXPECT_EQ(MusicStoreAddress("Mot\xF6rhead", "album"), base + "Mot%C3%B6rhead&t=album");  // ANSI o-umlaut
  EXPECT_EQ(MusicStoreAddress("a+b=c?#", "artist"), base + "a%2Bb%3Dc%3F%23&t=artist");
  EXPECT_EQ(MusicStoreAddress("", "artist"), "");
  EXPECT_EQ(MusicStoreAddress("  \t ", "album"), "");
}

}  // namespace
}  // namespace kv
