// Wildcard folders, drives' current folders and file copies, over files in memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/zip/zipper_test_util.h"
#include "zip/zip_errors.h"
#include "zip/zip_files.h"
#include "zip/zip_support.h"

namespace kv {
namespace {

using Folders = std::vector<std::string>;

TEST(ZipFiles, ParseWildDirExpandsTheFolderPartOnly) {
  TMemoryFileSystem fs;
  fs.ForceDirs("C:\\src\\Alpha\\lib");
  fs.ForceDirs("C:\\src\\beta\\lib");
  fs.ForceDirs("C:\\src\\gamma");
  fs.Put("C:\\src\\delta\\lib\\x.cpp", {1});  // a folder known by its file only
  fs.Put("C:\\src\\file.txt", {1});            // a file is no folder

  struct Case {
    const char* path;
    Folders folders;
  };
  const Case cases[] = {
      {"*.cpp", {""}},
      {"C:/src/nowhere/*.cpp", {"C:\\src\\nowhere\\"}},  // plain: as given
      {"C:\\src\\*\\*.cpp", {"C:\\src\\Alpha\\", "C:\\src\\beta\\", "C:\\src\\delta\\", "C:\\src\\gamma\\"}},
      {"C:\\src\\*\\lib\\*.cpp", {"C:\\src\\Alpha\\lib\\", "C:\\src\\beta\\lib\\", "C:\\src\\delta\\lib\\"}},
      {"C:\\src\\A*\\LIB\\x", {"C:\\src\\Alpha\\lib\\"}},  // found without regard to case
      {"C:\\src\\<ab>*\\*", {"C:\\src\\Alpha\\", "C:\\src\\beta\\"}},
      {"C:\\src\\<!ab>????\\", {"C:\\src\\delta\\", "C:\\src\\gamma\\"}},
      {"C:\\src\\f*\\*", {}},
      {"C:\\*\\*\\lib\\", {"C:\\src\\Alpha\\lib\\", "C:\\src\\beta\\lib\\", "C:\\src\\delta\\lib\\"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseWildDir(fs, c.path), c.folders) << c.path;
}

TEST(ZipFiles, GetDirectoryTakesDriveLettersOnly) {
  TMemoryFileSystem fs;
  EXPECT_EQ(GetDirectory(fs, 0), "C:\\");
  EXPECT_EQ(GetDirectory(fs, 'd'), "D:\\");
  EXPECT_THROW(GetDirectory(fs, '1'), EZipFileOpenError);
}

TEST(ZipFiles, FileDatesAreClampedBeforeTheyConvert) {
  TMemoryFileSystem fs;
  const uint32_t good = PackDosDateTime({2024, 12, 31, 23, 59, 58});
  const uint32_t hour25 = (good & ~(0x1Fu << 11)) | (25u << 11);  // past what a day holds
  fs.Put("C:\\good", {1}, good);
  fs.Put("C:\\late", {1}, hour25);
  EXPECT_DOUBLE_EQ(FileDate(fs, "C:\\good"), DosDateTimeToValue(good));
  EXPECT_DOUBLE_EQ(FileDate(fs, "C:\\late"), DosDateTimeToValue(PackDosDateTime({2024, 12, 31, 23, 59, 58})));
  EXPECT_EQ(FileDate(fs, "C:\\missing"), 0.0);
}

TEST(ZipFiles, FileCopyReplacesTheTargetOnlyWhenComplete) {
  ziptest::FaultyFileSystem fs;
  std::vector<uint8_t> content(3 * kStreamBufferSize + 5);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7);
  fs.Put("C:\\a.bin", content);
  fs.Put("C:\\empty.bin", {});
  fs.Put("C:\\old.bin", {9, 9});
  std::vector<std::string> boxes;
  const TZipDialogHook hook = [&](const TZipDialog& d) {
    EXPECT_EQ(d.kind, TZipDialogKind::Message);
    boxes.push_back(d.text);
    return TZipDialogAnswer{};
  };

  EXPECT_TRUE(FileCopy(fs, "C:\\a.bin", "C:\\old.bin", hook));
  EXPECT_EQ(*fs.Files().at("C:\\old.bin").bytes, content);
  EXPECT_TRUE(FileCopy(fs, "C:\\empty.bin", "C:\\e2.bin", hook));  // nothing to copy is no failure
  EXPECT_TRUE(fs.Files().at("C:\\e2.bin").bytes->empty());
  EXPECT_TRUE(boxes.empty());

  fs.Put("C:\\old.bin", {9, 9});
  fs.failWrite = fs.writes + 2;  // the disk fills midway
  EXPECT_FALSE(FileCopy(fs, "C:\\a.bin", "C:\\old.bin", hook));
  fs.failWrite = 0;
  fs.failReplace = true;
  EXPECT_FALSE(FileCopy(fs, "C:\\a.bin", "C:\\old.bin", hook));
  fs.failReplace = false;
  EXPECT_FALSE(FileCopy(fs, "C:\\missing.bin", "C:\\old.bin", hook));
  EXPECT_EQ(*fs.Files().at("C:\\old.bin").bytes, (std::vector<uint8_t>{9, 9}));
  EXPECT_EQ(fs.Files().size(), 4u);  // no temporary file left behind
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2], "Could not copy from C:\\missing.bin to C:\\old.bin");
}

// The same on the disk, through the process's file system (Win32 under Wine).
TEST(ZipFiles, DiskFoldersAndCopies) {
  TZipFileSystem& fs = DefaultZipFileSystem();
  const std::string root = KV_TEST_BINARY_DIR "/zip_files";
  std::filesystem::remove_all(root);
  ASSERT_TRUE(fs.ForceDirs(root + "/one/lib"));
  ASSERT_TRUE(fs.ForceDirs(root + "/two"));
  fs.Open(root + "/one/lib/a.txt", TFileOpenMode::Create)->Write("text", 4);

  std::string dosRoot = root;
  UnixToDOSFilename(dosRoot);
  EXPECT_EQ(ParseWildDir(fs, root + "/*/*.txt"), (Folders{dosRoot + "\\one\\", dosRoot + "\\two\\"}));
  EXPECT_EQ(ParseWildDir(fs, root + "/*/LIB/*.txt"), (Folders{dosRoot + "\\one\\lib\\"}));
  EXPECT_FALSE(GetDirectory(fs, 0).empty());

  int boxes = 0;
  const TZipDialogHook hook = [&](const TZipDialog&) { return ++boxes, TZipDialogAnswer{}; };
  EXPECT_TRUE(FileCopy(fs, root + "/one/lib/a.txt", root + "/two/b.txt", hook));
  EXPECT_TRUE(fs.FileExists(root + "/two/b.txt"));
  EXPECT_FALSE(FileCopy(fs, root + "/one/lib/none.txt", root + "/two/b.txt", hook));
  EXPECT_EQ(boxes, 1);
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace kv
