#include "shell/shell_utils_win.h"

#include "shell/streamable.h"
#include "shell/wide_string_list_win.h"
#include "tests/shell/shell_test_util.h"

namespace kv {
namespace {
using namespace test;

std::vector<uint8_t> FileBytes(const std::wstring& path) {
  TWideFileStream s(path, kOpenRead | kShareReadWrite);
  std::vector<uint8_t> bytes(static_cast<size_t>(s.Size()));
  s.ReadBuffer(bytes.data(), s.Size());
  return bytes;
}

TEST(ShellUtils, NewFolderNames) {
  EXPECT_EQ(NewFolderNameW(kFixture + L"\\newfolder\\"), kFixture + L"\\newfolder\\New Folder (2)");
  EXPECT_EQ(NewFolderNameW(kFixture + L"\\newfolder", L"Fresh"), kFixture + L"\\newfolder\\Fresh");
  // A taken suggestion goes on with the numbered default names.
  EXPECT_EQ(NewFolderNameW(kFixture + L"\\newfolder", L"New Folder (1)"), kFixture + L"\\newfolder\\New Folder (2)");
  EXPECT_EQ(NewFolderNameW(kFixture + L"\\newfolder19"), L"");
  // A file of the name is skipped as a folder is.
  EXPECT_EQ(NewFolderNameW(kFixture + L"\\newfolder19\\withfile"),
            kFixture + L"\\newfolder19\\withfile\\New Folder (1)");
}

TEST(ShellUtils, FileTestsAndDrives) {
  EXPECT_TRUE(DirExistsW(kFixture + L"\\enum\\.dotfolder"));
  EXPECT_FALSE(DirExistsW(kFixture + L"\\enum\\one.txt"));
  EXPECT_TRUE(FileExistsW(kFixture + L"\\enum\\alpha"));
  EXPECT_TRUE(FileExistsW(kFixture + L"\\names\\\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440.txt"));
  EXPECT_FALSE(FileExistsW(kFixture + L"\\missing"));
  EXPECT_TRUE(DiskInDrive(L'c'));
  EXPECT_TRUE(IsWinXPVersion(VER_PLATFORM_WIN32_NT, 5, 1));
  EXPECT_TRUE(IsWinXPVersion(VER_PLATFORM_WIN32_NT, 5, 2));
  EXPECT_FALSE(IsWinXPVersion(VER_PLATFORM_WIN32_NT, 5, 0));  // 2000
  EXPECT_FALSE(IsWinXPVersion(VER_PLATFORM_WIN32_NT, 6, 1));
  EXPECT_FALSE(IsWinXPVersion(VER_PLATFORM_WIN32_WINDOWS, 5, 1));
  EXPECT_TRUE(IsUnicode());
  EXPECT_FALSE(IsUnicodeVersion(VER_PLATFORM_WIN32_WINDOWS));
  EXPECT_FALSE(IsWin95_SR1());
  EXPECT_TRUE(IsWin95_SR1Version(VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0x04000000 | 1080));  // high word ignored
  EXPECT_FALSE(IsWin95_SR1Version(VER_PLATFORM_WIN32_WINDOWS, 4, 0, 1081));
  EXPECT_FALSE(IsWin95_SR1Version(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 950));  // 98
  EXPECT_FALSE(IsWin95_SR1Version(VER_PLATFORM_WIN32_NT, 4, 0, 950));
  EXPECT_FALSE(DirExistsW(static_cast<const wchar_t*>(nullptr)));
  EXPECT_TRUE(DirExistsW((kFixture + L"\\enum").c_str()));
  wchar_t mixed[] = L"\u0416Ab";
  EXPECT_EQ(StrLowerW(mixed), mixed);
  EXPECT_STREQ(mixed, L"\u0436ab");
  EXPECT_STREQ(StrUpperW(mixed), L"\u0416AB");
  EXPECT_EQ(StrLowerW(nullptr), nullptr);
  // An absent letter answers false and leaves the error mode as it was.
  UINT before = SetErrorMode(0);
  SetErrorMode(before);
  EXPECT_FALSE(DiskInDrive(L'Q'));
  EXPECT_FALSE(DiskInDrive(L'1'));
  UINT after = SetErrorMode(0);
  SetErrorMode(after);
  EXPECT_EQ(before, after);
  std::wstring made = NewFolderNameW(kFixture + L"\\ops");
  ASSERT_TRUE(CreateDirW(made));
  EXPECT_TRUE(DirExistsW(made));
  EXPECT_FALSE(CreateDirW(made));
}

TEST(ShellUtils, StringRecords) {
  STRRET wide{};
  wide.uType = STRRET_WSTR;
  wide.pOleStr = static_cast<LPWSTR>(CoTaskMemAlloc(8));
  std::memcpy(wide.pOleStr, L"abc", 8);
  EXPECT_EQ(StrRetToStr(wide, nullptr), L"abc");
  EXPECT_EQ(wide.pOleStr, nullptr);
  STRRET inRecord{};
  inRecord.uType = STRRET_CSTR;
  std::strcpy(inRecord.cStr, "caf\xe9");
  EXPECT_EQ(StrRetToStr(inRecord, nullptr), L"caf\u00e9");
  // An offset past the item's bytes gives nothing rather than a read outside it.
  const uint8_t item[] = {6, 0, 'h', 'i', 0, 0, 0, 0};
  STRRET offset{};
  offset.uType = STRRET_OFFSET;
  offset.uOffset = 2;
  EXPECT_EQ(StrRetToStr(offset, reinterpret_cast<LPCITEMIDLIST>(item)), L"hi");
  offset.uOffset = 200;
  EXPECT_EQ(StrRetToStr(offset, reinterpret_cast<LPCITEMIDLIST>(item)), L"");
  EXPECT_EQ(StrRetToStr(offset, nullptr), L"");
}

TEST(ShellUtils, WideMessageGoesThroughTheHook) {
  std::wstring caption, text;
  SetWideMessageHook([&](HWND, const std::wstring& c, const std::wstring& t) { caption = c; text = t; });
  ShowWideMessage(nullptr, L"Error", L"\u6771\u4eac");
  SetWideMessageHook(nullptr);
  EXPECT_EQ(caption, L"Error");
  EXPECT_EQ(text, L"\u6771\u4eac");
}

TEST(WideStringList, FileFormsMatchTheOracle) {
  const std::wstring expected = kFixture + L"\\lists\\expected.txt";
  TWideStringList list;
  for (const wchar_t* s : {L"C:\\kvtest", L"\u041f\u0440\u0438\u0432\u0435\u0442", L"\u6771\u4eac", L"caf\u00e9", L"",
                           L"\U0001F3B5 note"})
    list.Add(s);
  const std::wstring written = kFixture + L"\\lists\\written.txt";
  list.SaveToFile(written);
  EXPECT_EQ(FileBytes(written), FileBytes(expected));

  for (const wchar_t* name : {L"expected.txt", L"big_endian.txt"}) {
    TWideStringList back;
    back.LoadFromFile(kFixture + L"\\lists\\" + name);
    ASSERT_EQ(back.Count(), list.Count()) << Narrow(name);
    for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(back.Get(i), list.Get(i));
  }
  TWideStringList ansi;
  ansi.LoadFromFile(kFixture + L"\\lists\\markless.txt");
  ASSERT_EQ(ansi.Count(), 2);
  EXPECT_EQ(ansi.Get(0), L"caf\u00e9");
  EXPECT_EQ(ansi.Get(1), L"\u20ac uro");
  EXPECT_THROW(ansi.LoadFromFile(kFixture + L"\\lists\\missing.txt"), EFOpenError);
  // A failure names the file as it was given, not its full path.
  try {
    TWideFileStream s(L"no such folder\\absent.txt", kOpenRead | kShareReadWrite);
    ADD_FAILURE() << "opened";
  } catch (const EFOpenError& e) {
    EXPECT_STREQ(e.what(), "Cannot open file no such folder\\absent.txt");
  }
  try {
    TWideFileStream s(L"no such folder\\new.txt", kModeCreate);
    ADD_FAILURE() << "created";
  } catch (const EFCreateError& e) {
    EXPECT_STREQ(e.what(), "Cannot create file no such folder\\new.txt");
  }
}

TEST(WideStringList, SortedRulesAndErrors) {
  TWideStringList list;
  int changes = 0;
  list.OnChange = [&](TWideStringList&) { ++changes; };
  list.SetSorted(true);
  for (const wchar_t* s : {L"beta", L"Alpha", L"gamma", L"ALPHA"}) list.Add(s);
  ASSERT_EQ(list.Count(), 3);  // duplicates ignored without case
  EXPECT_EQ(list.Get(0), L"Alpha");
  EXPECT_EQ(list.IndexOf(L"GAMMA"), 2);
  EXPECT_EQ(changes, 3);
  list.DuplicateRule = TDuplicates::dupError;
  try {
    list.Add(L"BETA");
    ADD_FAILURE();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "String list does not allow duplicates");
  }
  try {
    list.Insert(0, L"x");
    ADD_FAILURE();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "Operation not allowed on sorted list");
  }
  try {
    list.Get(7);
    ADD_FAILURE();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (7)");
  }
  // Duplicates accepted earlier: a search under another rule finds the first of them.
  list.DuplicateRule = TDuplicates::dupAccept;
  for (int i = 0; i < 3; ++i) list.Add(L"Beta");
  list.DuplicateRule = TDuplicates::dupIgnore;
  EXPECT_EQ(list.IndexOf(L"BETA"), 1);
  EXPECT_EQ(list.Add(L"beta"), 1);
  EXPECT_EQ(list.Count(), 6);
  // Under dupAccept the plain hit stands.
  TWideStringList same;
  same.SetSorted(true);
  same.DuplicateRule = TDuplicates::dupAccept;
  for (int i = 0; i < 7; ++i) same.Add(L"x");
  int at = -1;
  ASSERT_TRUE(same.Find(L"X", at));
  EXPECT_EQ(at, 3);
  same.DuplicateRule = TDuplicates::dupIgnore;
  ASSERT_TRUE(same.Find(L"X", at));
  EXPECT_EQ(at, 0);
  // The capacity is what was asked, also below the grown one.
  TWideStringList three;
  for (int i = 0; i < 20; ++i) three.Add(L"n");
  while (three.Count() > 3) three.Delete(0);
  three.SetCapacity(10);
  EXPECT_EQ(three.Capacity(), 10);
  three.SetCapacity(3);
  EXPECT_EQ(three.Capacity(), 3);
  // The controls' string lists, ANSI texts.
  std::vector<std::string> ansiList = {"caf\xe9", "two"};
  three.Assign(ansiList);
  EXPECT_EQ(three.GetTextStr(), L"caf\u00e9\r\ntwo\r\n");
  three.AddStrings(std::vector<std::string>{"x"});
  std::vector<std::string> back = {"old"};
  three.AssignTo(back);
  EXPECT_EQ(back, (std::vector<std::string>{"caf\xe9", "two", "x"}));
  // A clear tells the listeners also when there is nothing to delete.
  TWideStringList empty;
  int emptyChanges = 0;
  empty.OnChanging = [&](TWideStringList&) { ++emptyChanges; };
  empty.OnChange = [&](TWideStringList&) { ++emptyChanges; };
  empty.Clear();
  EXPECT_EQ(emptyChanges, 2);
  list.SetSorted(false);
  list.SetTextStr(L"c\r\na\rb");
  list.Sort();
  EXPECT_EQ(list.GetTextStr(), L"a\r\nb\r\nc\r\n");
}

TEST(Streamable, FilesThroughTheWideStream) {
  struct Versioned : TStreamableClass {} item;
  const std::wstring file = kFixture + L"\\lists\\\u7248.bin";
  item.SaveToFile(file, 5, true);
  Versioned back;
  back.LoadFromFile(file, 0, true);
  EXPECT_EQ(back.StreamVersion(), 5);
  EXPECT_THROW(back.LoadFromFile(kFixture + L"\\lists\\none.bin"), EFOpenError);
}

}  // namespace
}  // namespace kv
