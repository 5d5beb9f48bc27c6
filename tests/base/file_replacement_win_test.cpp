#include "base/file_replacement_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kv {
namespace {

namespace fs = std::filesystem;

// A fresh folder named after the running test, removed afterwards.
class ReplaceTest : public ::testing::Test {
 protected:
  ReplaceTest() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("kv_") + test->test_suite_name() + "_" + test->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~ReplaceTest() override {
    for (const auto& e : fs::directory_iterator(dir_)) SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::wstring File(const wchar_t* name) const { return (dir_ / name).wstring(); }
  std::vector<std::wstring> Entries() const {
    std::vector<std::wstring> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().wstring());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string Content(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Put(const std::wstring& path, const std::string& bytes) {
    std::ofstream(fs::path(path), std::ios::binary) << bytes;
  }

  fs::path dir_;
};

// Fails the chosen call the way a full disk or a busy target does.
class FailingCalls : public ReplaceCalls {
 public:
  int shortWrite = 0;   // this write (from 1) reports success but takes half
  int failedWrite = 0;  // this write fails outright with ERROR_DISK_FULL
  bool failFlush = false;
  bool failMove = false;
  int writes = 0;

  BOOL Write(HANDLE file, const void* data, DWORD size, DWORD* written) override {
    ++writes;
    if (writes == failedWrite) {
      SetLastError(ERROR_DISK_FULL);
      return FALSE;
    }
    // A stale code from an earlier call, as the system leaves it.
    if (writes == shortWrite) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return WriteFile(file, data, size / 2, written, nullptr);
    }
    return ReplaceCalls::Write(file, data, size, written);
  }
  BOOL Flush(HANDLE file) override {
    if (!failFlush) return ReplaceCalls::Flush(file);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  BOOL Move(const wchar_t* from, const wchar_t* to, DWORD flags) override {
    if (!failMove) return ReplaceCalls::Move(from, to, flags);
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
};

TEST_F(ReplaceTest, AnyFailingStepKeepsTheOldContentAndNamesTheCause) {
  const std::wstring target = File(L"list.txt");
  Put(target, "old content");
  const std::string big(3u << 20, 'x');  // three chunks
  struct Case {
    const char* name;
    int shortWrite, failedWrite;
    bool failFlush, failMove;
    DWORD code;
  };
  const Case cases[] = {
      {"first write short", 1, 0, false, false, ERROR_DISK_FULL},
      {"third write short", 3, 0, false, false, ERROR_DISK_FULL},
      {"second write fails", 0, 2, false, false, ERROR_DISK_FULL},
      {"flush fails", 0, 0, true, false, ERROR_DISK_FULL},
      {"move fails", 0, 0, false, true, ERROR_SHARING_VIOLATION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FailingCalls calls;
    calls.shortWrite = c.shortWrite;
    calls.failedWrite = c.failedWrite;
    calls.failFlush = c.failFlush;
    calls.failMove = c.failMove;
    try {
      ReplaceFileContent(target, big, &calls);
      ADD_FAILURE() << "no error";
    } catch (const EReplaceError& e) {
      EXPECT_EQ(e.Code(), c.code);
      const std::string verb = c.failMove ? "Cannot create file \"" : "Cannot write file \"";
      EXPECT_EQ(e.what(), verb + (dir_ / "list.txt").string() + "\". " + SystemErrorText(c.code));
    }
    EXPECT_EQ(Content(target), "old content");
    EXPECT_EQ(Entries(), std::vector<std::wstring>{L"list.txt"});
  }
  EXPECT_NE(SystemErrorText(ERROR_DISK_FULL), SystemErrorText(ERROR_ALREADY_EXISTS));
  ReplaceFileContent(target, big);
  EXPECT_EQ(Content(target), big);
  EXPECT_EQ(Entries(), std::vector<std::wstring>{L"list.txt"});
}

TEST_F(ReplaceTest, AReadOnlyTargetIsRefusedBeforeAnythingIsWritten) {
  const std::wstring target = File(L"locked.txt");
  Put(target, "keep");
  ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
  FailingCalls calls;
  try {
    ReplaceFileContent(target, "new", &calls);
    ADD_FAILURE() << "no error";
  } catch (const EReplaceError& e) {
    EXPECT_EQ(e.Code(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(calls.writes, 0);
  EXPECT_EQ(Content(target), "keep");
  EXPECT_EQ(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Entries(), std::vector<std::wstring>{L"locked.txt"});

  // Made read-only while the new content was being written: still refused.
  const std::wstring late = File(L"late.txt");
  Put(late, "keep");
  FileReplacement replacement(late);
  replacement.Write("new");
  ASSERT_TRUE(SetFileAttributesW(late.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_THROW(replacement.Commit(), EReplaceError);
  EXPECT_EQ(Content(late), "keep");
}

TEST_F(ReplaceTest, StaleTemporaryFilesGoWithTheNextSaveUnlessHeldOpen) {
  Put(File(L"~kv0000ABCD.tmp"), "left by a killed save");
  Put(File(L"~KV12345678.TMP"), "another one");
  Put(File(L"~kvnotes.tmp"), "a user's file");
  Put(File(L"~kv0000ABCD.tmp.bak"), "a user's file");
  Put(File(L"kv12.tmp"), "a user's file");
  const std::wstring busy = File(L"~kv00000001.tmp");
  const FileHandle held(CreateFileW(busy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);

  ReplaceFileContent(File(L"target.txt"), "saved");
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"kv12.tmp", L"target.txt", L"~kv00000001.tmp",
                                                  L"~kv0000ABCD.tmp.bak", L"~kvnotes.tmp"}));

  // The name of a replacement in progress carries the prefix; it is gone after the commit.
  FileReplacement replacement(File(L"target.txt"));
  const std::wstring temp = fs::path(replacement.TempPath()).filename().wstring();
  EXPECT_EQ(temp.substr(0, 3), L"~kv");
  EXPECT_EQ(temp.size(), 15u);
  // A second save into the folder meanwhile leaves it alone.
  ReplaceFileContent(File(L"other.txt"), "x");
  EXPECT_TRUE(fs::exists(replacement.TempPath()));
  replacement.Write("again");
  replacement.Commit();
  EXPECT_FALSE(fs::exists(dir_ / temp));
  EXPECT_EQ(Content(File(L"target.txt")), "again");
}

TEST_F(ReplaceTest, ANewFileIsNeverPutOverAnExistingOne) {
  const std::wstring target = File(L"new.txt");
  {
    FileReplacement first(target);
    first.Write("first");
    EXPECT_TRUE(first.CommitNew());
  }
  FileReplacement second(target);
  second.Write("second");
  EXPECT_FALSE(second.CommitNew());
  EXPECT_EQ(Content(target), "first");
  EXPECT_EQ(Entries(), std::vector<std::wstring>{L"new.txt"});
}

}  // namespace
}  // namespace kv
