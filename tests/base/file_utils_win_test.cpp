#include "base/file_utils_win.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <system_error>

namespace kv {
namespace {

TEST(FileUtils, ExistenceChecks) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kv_FileUtils_ExistenceChecks";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string dir = folder.string();
  auto path = [&](const char* name) { return dir + "\\" + name; };
  std::ofstream(folder / "song.mp3") << "x";

  EXPECT_TRUE(FileExists(path("song.mp3")));
  EXPECT_TRUE(FileExists(dir));           // a folder counts as present
  EXPECT_TRUE(FileExists(path("*.mp3")));  // so does a wildcard match
  EXPECT_FALSE(FileExists(path("*.ogg")));
  EXPECT_TRUE(DirectoryExists(dir));
  EXPECT_FALSE(DirectoryExists(path("song.mp3")));
  EXPECT_FALSE(DirectoryExists(path("missing")));

  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace kv
