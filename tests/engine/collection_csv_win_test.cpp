#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/collection_csv.h"
#include "engine/mp3_collection.h"
#include "base/handle.h"
#include "foundation/files_win.h"

namespace kv {
namespace {

// Saving shows the progress window, so this runs as its own CTest test under
// the display lock (KV_WINDOW_TESTS set).
TEST(CollectionCsvWin, SavesThroughTheProgressWindowAndLoadsLongPaths) {
  if (!std::getenv("KV_WINDOW_TESTS")) GTEST_SKIP() << "runs as the collection_csv_win CTest test";
  const std::string dir = std::string(KV_TEST_BINARY_DIR) + "\\testdata\\csv_win";
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::filesystem::create_directories(dir);
  const std::string song = dir + "\\A long song name.mp3";
  StrToFile("x", song);
  char shortPath[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(song.c_str(), shortPath, MAX_PATH), 0u);

  const std::string last = dir + "\\last";
  StrToFile("previous list", last);
  TMP3Collection saved;
  saved.IndexEnabled = 0;
  for (int i = 0; i < 3; ++i) {
    TAudioInfo r;
    r.SetTagPart(kTagArtist, "Artist " + std::to_string(i));
    r.SetTagPart(kTagTitle, "Title, " + std::to_string(i));
    r.SetFileName(shortPath);
    saved.AddMp3Info(r).Tag = i + 1;
  }
  saved.SaveToCSV(last);
  EXPECT_EQ(StrFromFile(last).substr(0, sizeof kCsvHeader + 1), std::string(kCsvHeader) + "\r\n");
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 2u) << "no temporary file left beside the list";

  TMP3Collection loaded;
  loaded.IndexEnabled = 0;
  loaded.LoadFromCSV(last);
  ASSERT_EQ(loaded.Count(), 3);
  EXPECT_EQ(loaded.Items(2).GetTagPart(kTagTitle), "Title, 2");
  EXPECT_EQ(loaded.Items(2).Tag, 3);
  EXPECT_EQ(loaded.Items(0).FileName(), shortPath);
  EXPECT_TRUE(loaded.Items(0).GetTagPart(kTagDisplayPath).ends_with("\\A long song name.mp3"))
      << loaded.Items(0).GetTagPart(kTagDisplayPath);

  // A read-only list stays as it is; a killed save's temporary file goes with the next save.
  const std::string before = StrFromFile(last);
  StrToFile("left by a killed save", dir + "\\~kv00C0FFEE.tmp");
  ASSERT_TRUE(SetFileAttributesA(last.c_str(), FILE_ATTRIBUTE_READONLY));
  saved.Modified = true;
  saved.FileName = "elsewhere";
  EXPECT_THROW(saved.SaveToCSV(last), EOSError);
  EXPECT_EQ(StrFromFile(last), before);
  EXPECT_TRUE(saved.Modified);  // not saved, and it says so
  EXPECT_EQ(saved.FileName, "elsewhere");
  SetFileAttributesA(last.c_str(), FILE_ATTRIBUTE_NORMAL);
  files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 2u);
}

// Only a missing list is an empty one: a list that is there but cannot be
// read says so, naming the file, and is never taken for empty.
TEST(CollectionCsvWin, AListThatCannotBeReadRaisesNamingItAndTheCause) {
  const std::string dir = std::string(KV_TEST_BINARY_DIR) + "\\testdata\\csv_unreadable";
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::filesystem::create_directories(dir + "\\folder");
  const std::string last = dir + "\\last";
  StrToFile(std::string(kCsvHeader) + "\r\n1,a,b,f,,,0,0,1,2,3,4,5\r\n", last);
  TMP3Collection c;
  c.IndexEnabled = 0;
  {
    const FileHandle held(CreateFileA(last.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    try {
      c.LoadFromCSV(last);
      ADD_FAILURE() << "loaded a list held without sharing";
    } catch (const EDatabaseReadError& e) {
      EXPECT_TRUE(std::string(e.what()).starts_with("The file \"" + last + "\" cannot be read: ")) << e.what();
      EXPECT_GT(std::string(e.what()).size(), last.size() + 30) << "with the system's cause";
    }
    EXPECT_EQ(c.FileName, "");
  }
  EXPECT_THROW(c.LoadFromCSV(dir + "\\folder"), EDatabaseReadError);
  c.LoadFromCSV(dir + "\\missing");  // nothing there: nothing to load
  EXPECT_EQ(c.Count(), 0);
  c.LoadFromCSV(last);
  EXPECT_EQ(c.Count(), 1);
}

}  // namespace
}  // namespace kv
