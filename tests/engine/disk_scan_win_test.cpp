#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "engine/audio_environment_win.h"
#include "engine/mp3_collection.h"
#include "foundation/files_win.h"

namespace kv {
namespace {

class DiskScan : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tree = std::getenv("KV_SCAN_TREE");
    if (!tree) GTEST_SKIP() << "KV_SCAN_TREE is not set (the disk_scan CTest test sets it)";
    top_ = std::string(tree) + "\\top";
    for (char& c : top_) {
      if (c == '/') c = '\\';
    }
    NameTemplates().Load(StrFromFile(std::string(KV_TEST_SOURCE_DIR) + "\\data\\fnametemplates.txt"));
    SetSessionFlagWriter([this](std::string_view key) { flags_.emplace_back(key); });
  }
  void TearDown() override { SetSessionFlagWriter(nullptr); }

  std::vector<std::string> DisplayPaths(TMP3Collection& c) {
    std::vector<std::string> paths;
    for (int32_t i = 0; i < c.Count(); ++i) paths.push_back(c.Items(i).GetTagPart(kTagDisplayPath).substr(top_.size()));
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  std::string top_;
  std::vector<std::string> flags_;
};

TEST_F(DiskScan, FindsEveryMusicFileOnceWithDisplayAndAccessPaths) {
  TMP3Collection c;
  std::vector<std::string> reported;
  c.ScanDisks(top_, nullptr, [&](TMP3Collection&, const std::string& path, bool&) { reported.push_back(path); });
  EXPECT_EQ(DisplayPaths(c), (std::vector<std::string>{
                                 "\\.dotfile.mp3", "\\??? long name.mp3", "\\Artist Name\\01 - Song Title.mp3",
                                 "\\Sub\\Deep\\good.Ogg", "\\Sub\\Deep\\lower.m4a", "\\Sub\\UPPER.WMA",
                                 "\\a.mp3", "\\folder.mp3\\inner.mp3"}))
      << "the dot-folder, the linked folder, the text file and the damaged FLAC file stay out";
  for (int32_t i = 0; i < c.Count(); ++i) {
    const TMP3Info& r = c.Items(i);
    // The access path opens the file even where the display name cannot.
    EXPECT_EQ(r.FileName().find('?'), std::string::npos) << r.FileName();
    EXPECT_NE(GetFileAttributesA(r.FileName().c_str()), INVALID_FILE_ATTRIBUTES) << r.FileName();
    if (r.GetTagPart(kTagDisplayPath).ends_with("\\a.mp3")) {
      EXPECT_EQ(r.GetInfoPart(kInfoBitRate), 128);
      EXPECT_EQ(r.GetInfoPart(kInfoFileSize), 4170);
    }
    if (r.GetTagPart(kTagDisplayPath).ends_with("Song Title.mp3")) {
      EXPECT_EQ(r.GetTagPart(kTagArtist), "Artist Name");
      EXPECT_EQ(r.GetTagPart(kTagTitle), "Song Title");
      EXPECT_EQ(r.TemplateNo, 2);
    }
  }
  EXPECT_NE(std::find(flags_.begin(), flags_.end(), "EmptyTags"), flags_.end());
  EXPECT_NE(std::find(flags_.begin(), flags_.end(), "iTunesInstalled"), flags_.end());
  // Every entry is reported: ".", "..", text files and folders too.
  auto seen = [&](const std::string& tail) {
    return std::any_of(reported.begin(), reported.end(), [&](const std::string& p) { return p.ends_with(tail); });
  };
  EXPECT_TRUE(seen("\\notes.txt"));
  EXPECT_TRUE(seen("\\.hidden"));
  EXPECT_TRUE(seen("\\Sub\\loop"));
  EXPECT_TRUE(seen("\\Sub\\Deep\\.."));
  EXPECT_TRUE(c.Modified);
}

TEST_F(DiskScan, TrailingBackslashSingleFilesAndCancel) {
  TMP3Collection plain, slash;
  plain.ScanDisks(top_, nullptr, nullptr);
  slash.ScanDisks(top_ + "\\", nullptr, nullptr);
  EXPECT_EQ(DisplayPaths(plain), DisplayPaths(slash));

  TMP3Collection one;
  int calls = 0;
  one.ScanDisks(top_ + "\\a.mp3", nullptr, [&](TMP3Collection&, const std::string&, bool&) { ++calls; });
  ASSERT_EQ(one.Count(), 1);
  EXPECT_EQ(one.Items(0).FileName(), top_ + "\\a.mp3");
  EXPECT_EQ(calls, 1);

  TMP3Collection cancelled;
  int dirs = 0;
  cancelled.ScanDisks(top_, [&](TMP3Collection&, const std::string&, bool&) { ++dirs; },
                      [](TMP3Collection&, const std::string&, bool& cancel) { cancel = true; });
  EXPECT_LE(cancelled.Count(), 1);
  EXPECT_EQ(dirs, 1);
}

}  // namespace
}  // namespace kv
