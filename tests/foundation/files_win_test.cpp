#include "foundation/files_win.h"

#include <gtest/gtest.h>

#include "base/file_utils_win.h"
#include "base/strings.h"
#include "foundation/log.h"
#include "foundation/md5.h"
#include "foundation/translate.h"
#include "tests/foundation/foundation_test_util.h"

namespace kv {
namespace {

class FilesTest : public ::testing::Test {
 protected:
  void TearDown() override { SetLanguage(nullptr); }
  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

  TempFolder tmp_;
  const std::string dir_ = tmp_.Path().string();
};

TEST_F(FilesTest, WholeFilesRoundTripAndReplaceAtomically) {
  const std::string file = Path("a.txt");
  EXPECT_EQ(StrFromFile(file), "");  // missing: empty, no error
  StrToFile(std::string("one\0two", 7), file);
  EXPECT_EQ(StrFromFile(file), std::string("one\0two", 7));
  StrToFile("second", file);
  EXPECT_EQ(StrFromFile(file), "second");
  EXPECT_EQ(tmp_.Entries().size(), 1u);  // no temporary file left behind
  EXPECT_EQ(GetFileSize(file), 6u);
}

TEST_F(FilesTest, AFailedReplaceKeepsTheOldFileAndReportsTheError) {
  const std::string file = Path("keep.txt");
  StrToFile("precious", file);
  {
    // Another program holds the file open without sharing deletion: the
    // final move fails, after the new text was written to the temporary file.
    HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_THROW(StrToFile("new", file), EOSError);
    CloseHandle(held);
  }
  EXPECT_EQ(StrFromFile(file), "precious");
  EXPECT_EQ(tmp_.Entries().size(), 1u);
  EXPECT_THROW(StrToFile("x", Path("no\\such\\folder\\f.txt")), EOSError);
}

TEST_F(FilesTest, MakePathCreatesEveryFolderButTheLastWhenAsked) {
  EXPECT_TRUE(MakePath(dir_, "a/b/c.txt", true));
  EXPECT_TRUE(DirectoryExists(Path("a\\b")));
  EXPECT_FALSE(FileExists(Path("a\\b\\c.txt")));
  EXPECT_TRUE(MakePath(dir_, "x\\y", false));
  EXPECT_TRUE(DirectoryExists(Path("x\\y")));
  StrToFile("f", Path("file"));
  EXPECT_FALSE(MakePath(dir_, "file/sub", false));  // a file is in the way

  // Rooted without a drive and no root given: on the current drive's root,
  // not below the current directory.
  ASSERT_EQ(dir_[1], ':');
  wchar_t saved[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
  const bool made = MakePath("", dir_.substr(2) + "/rooted/sub/f.txt", true);
  SetCurrentDirectoryW(saved);
  EXPECT_TRUE(made);
  EXPECT_TRUE(DirectoryExists(Path("rooted\\sub")));
  EXPECT_FALSE(DirectoryExists(Path(dir_.substr(3))));
}

TEST_F(FilesTest, LanguageFileTranslatesAndBadFilesFallBackToEnglish) {
  const std::string english = "Caf\xE9 closed";  // Windows-1252 bytes are hashed as they are
  StrToFile("[Other]\r\nX=Y\r\n[Messages]\r\n" + ToHex(GetMD5(english)) + "=Caf\xE9 ferm\xE9\r\n", Path("default.lng"));
  SetLanguage(std::make_unique<TLanguage>(Path("default.lng")));
  EXPECT_EQ(Translate(english), "Caf\xE9 ferm\xE9");
  EXPECT_EQ(Translate("X"), "X");

  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>(i * 37));
  StrToFile(binary, Path("binary.lng"));
  StrToFile("", Path("empty.lng"));
  for (const std::string name : {"missing.lng", "binary.lng", "empty.lng"}) {
    SetLanguage(std::make_unique<TLanguage>(Path(name)));
    EXPECT_EQ(Translate(english), english) << name;
  }
}

TEST_F(FilesTest, SaveLogWritesCrLfLinesToTheProgramFolder) {
  SetAppDir(tmp_.Path().wstring());
  ClearLog();
  AddToLog("CommonInit:start");
  AddToLog("CommonInit:success");
  SaveLog();
  EXPECT_EQ(StrFromFile(Path("tmp.log")), "CommonInit:start\r\nCommonInit:success\r\n");
  ClearLog();
}

}  // namespace
}  // namespace kv
