// What the results page decides for its rows without a window: the row
// texts, saved marks and the music-store address (colours, check buttons and
// the group count are probed on the page itself).
#include "wizard/result_rows.h"

#include <gtest/gtest.h>

#include "engine/mp3_collection.h"

namespace kv {
namespace {

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
  EXPECT_EQ(ChannelName(-1), "");
  EXPECT_EQ(ChannelName(5), "");
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
