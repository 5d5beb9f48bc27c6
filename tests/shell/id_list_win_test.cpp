// Item-ID lists of fixture items against shell32's own list functions.
#include "shell/id_list_win.h"

#include "shell/shell_utils_win.h"
#include "tests/shell/shell_test_util.h"
#include "zip/zip_stream.h"

namespace kv {
namespace {
using namespace test;

std::vector<std::wstring> FixturePaths() {
  return {kFixture, kFixture + L"\\names\\small.txt", kFixture + L"\\enum\\.dotfolder\\inside.txt",
          kFixture + L"\\names\\\u6771\u4eac\u90fd.txt", L"C:\\"};
}

TEST(IDListWin, AgreesWithTheShellsListFunctions) {
  for (const auto& path : FixturePaths()) {
    SCOPED_TRACE(Narrow(path));
    TPidl list = PathToPIDL(path);
    ASSERT_TRUE(list);
    EXPECT_EQ(TPIDLManager::PIDLSize(list.get()), ILGetSize(list.get()));
    EXPECT_EQ(TPIDLManager::NextID(list.get()), ILGetNext(list.get()));
    // The last item and the list without it.
    TPidl copy = TPIDLManager::CopyPIDL(list.get());
    TPidl shellCopy(ILClone(list.get()));
    ILRemoveLastID(shellCopy.get());
    TPIDLManager::StripLastID(copy.get());
    EXPECT_TRUE(ILIsEqual(copy.get(), shellCopy.get()));
    EXPECT_EQ(TPIDLManager::IDCount(copy.get()) + 1, TPIDLManager::IDCount(list.get()));
    EXPECT_EQ(ILFindLastID(list.get()), TPIDLManager::GetPointerToLastID(list.get()));
    // Joining the parent and the last item gives the list back, as ILCombine does.
    TPidl joined = TPIDLManager::AppendPIDL(copy.get(), TPIDLManager::GetPointerToLastID(list.get()));
    TPidl shellJoined(ILCombine(copy.get(), ILFindLastID(list.get())));
    EXPECT_EQ(TPIDLManager::PIDLSize(joined.get()), ILGetSize(shellJoined.get()));
    EXPECT_EQ(0, std::memcmp(joined.get(), shellJoined.get(), ILGetSize(shellJoined.get())));
    EXPECT_TRUE(ILIsEqualSafe(joined.get(), list.get()));
    EXPECT_EQ(ILIsParentSafe(copy.get(), list.get(), true), ILIsParent(copy.get(), list.get(), TRUE) != FALSE);
    EXPECT_TRUE(TPIDLManager::IsSubPIDL(list.get(), copy.get()));
    EXPECT_TRUE(TPIDLManager::IsSubPIDL(list.get(), list.get()));
    EXPECT_FALSE(TPIDLManager::IsSubPIDL(copy.get(), list.get()));
  }
}

TEST(IDListWin, DesktopAndAbsentLists) {
  TPidl desktop = PidlFromBytes(std::vector<uint8_t>{0, 0});
  TPidl small = PathToPIDL(kFixture + L"\\names\\small.txt");
  TPidl appended = TPIDLManager::AppendPIDL(desktop.get(), small.get());
  EXPECT_TRUE(ILIsEqual(appended.get(), small.get()));
  EXPECT_FALSE(ILIsEqualSafe(nullptr, small.get()));
  EXPECT_FALSE(ILIsParentSafe(small.get(), nullptr, false));
  EXPECT_FALSE(TPIDLManager::CopyPIDL(nullptr));
  EXPECT_FALSE(PathToPIDL(kFixture + L"\\no such file"));
  // Cutting the one item of a drive's list leaves My Computer's list; cutting a
  // one-item list leaves the desktop's.
  TPidl drive = PathToPIDL(L"C:\\");
  TPidl myComputer = TPIDLManager::CopyPIDL(drive.get());
  TPIDLManager::StripLastID(myComputer.get());
  TPIDLManager::StripLastID(myComputer.get());
  EXPECT_TRUE(TPIDLManager::IsDesktopFolder(myComputer.get()));
  // The desktop's cut names the list itself with a 0 count; putting it back changes nothing.
  uint16_t count = 7;
  LPITEMIDLIST cut = nullptr;
  EXPECT_EQ(TPIDLManager::StripLastID(desktop.get(), count, cut), desktop.get());
  EXPECT_EQ(cut, desktop.get());
  EXPECT_EQ(count, 0u);
  TPIDLManager::RestoreLastID(cut, count);
  EXPECT_TRUE(TPIDLManager::IsDesktopFolder(desktop.get()));
  EXPECT_EQ(TPIDLManager::StripLastID(nullptr, count, cut), nullptr);
  EXPECT_EQ(cut, nullptr);
  LPITEMIDLIST held = TPIDLManager::CopyPIDL(small.get()).release();
  TPIDLManager::FreeAndNilPIDL(held);
  EXPECT_EQ(held, nullptr);
  EXPECT_TRUE(LoadShell32Functions());
}

TEST(IDListWin, ListOfListsRoundTripsAndRejectsBadStreams) {
  TPIDLList lists;
  for (const auto& path : FixturePaths()) lists.Add(PathToPIDL(path).release());
  lists.Add(nullptr);  // an absent list keeps its place
  lists.Add(PathToPIDL(kFixture).release());
  auto same = [](LPCITEMIDLIST a, LPCITEMIDLIST b) { return a || b ? ILIsEqualSafe(a, b) : true; };
  TMemoryStream stream;
  ASSERT_TRUE(lists.SaveToStream(stream));
  stream.SetPosition(0);
  TPIDLList back;
  ASSERT_TRUE(back.LoadFromStream(stream));
  ASSERT_EQ(back.Count(), lists.Count());
  for (size_t i = 0; i < lists.Count(); ++i) EXPECT_TRUE(same(back[i], lists[i])) << i;
  EXPECT_EQ(back[lists.Count() - 2], nullptr);

  // A stream cut short keeps the lists read before the fault, after those the
  // list already held.
  std::vector<uint8_t> bytes = stream.Bytes();
  bytes.resize(bytes.size() - 3);
  TMemoryStream cut(bytes);
  TPIDLList some;
  some.CopyAdd(lists[1]);
  EXPECT_FALSE(some.LoadFromStream(cut));
  ASSERT_EQ(some.Count(), lists.Count());
  EXPECT_TRUE(ILIsEqualSafe(some[0], lists[1]));
  for (size_t i = 0; i + 1 < lists.Count(); ++i) EXPECT_TRUE(same(some[i + 1], lists[i])) << i;

  TMemoryStream one;
  TPIDLManager::SaveToStream(one, lists[1]);
  TPIDLManager::SaveToStream(one, nullptr);
  one.SetPosition(0);
  TPidl read = TPIDLManager::LoadFromStream(one);
  EXPECT_TRUE(ILIsEqual(read.get(), lists[1]));
  EXPECT_FALSE(TPIDLManager::LoadFromStream(one));
  EXPECT_EQ(one.Position(), one.Size());
  // A size that holds no whole list answers nothing.
  TMemoryStream bad(std::vector<uint8_t>{3, 0, 0, 0, 1, 0, 0});
  EXPECT_FALSE(TPIDLManager::LoadFromStream(bad));

  // Copying an absent list adds an empty entry.
  some.CopyAdd(nullptr);
  ASSERT_EQ(some.Count(), lists.Count() + 1);
  EXPECT_EQ(some[lists.Count()], nullptr);
}

TEST(IDListWin, PathsAndSpecialFolders) {
  TPidl small = PathToPIDL(kFixture + L"\\names\\small.txt");
  EXPECT_EQ(PIDLToPath(small.get()), kFixture + L"\\names\\small.txt");
  auto drives = CreateSpecialNamespace(CSIDL_DRIVES);
  ASSERT_TRUE(drives);
  EXPECT_TRUE(drives->IsMyComputer());
  EXPECT_FALSE(CreateSpecialNamespace(0x7F));  // no such folder
  TPidl virtualDocs = GetMyDocumentsVirtualFolder();
  ASSERT_TRUE(virtualDocs);
  EXPECT_EQ(TPIDLManager::IDCount(virtualDocs.get()), 1u);
  EXPECT_EQ(DefaultSystemImageIndex(3), 29);
  EXPECT_EQ(DefaultSystemImageIndex(5), -1);
  EXPECT_GE(DefaultSystemImageIndex(0), 0);
  EXPECT_EQ(ConvertTFileTimeToLocalStr(FILETIME{}), L"");
  FILETIME some{0x12345678, 0x01D00000};
  EXPECT_FALSE(ConvertTFileTimeToLocalStr(some).empty());
  DWORD sectors = 7, bytes = 7, freeClusters = 7, total = 7;
  EXPECT_FALSE(GetDiskFreeSpaceFAT32(L"C:\\", sectors, bytes, freeClusters, total));  // no such device on NT
  EXPECT_EQ(sectors + bytes + freeClusters + total, 28u);
  EXPECT_NE(ShellClipboardFormats().shellIDList, 0u);
  EXPECT_EQ(ShellClipboardFormats().shellIDList, RegisterClipboardFormatW(L"Shell IDList Array"));
}

}  // namespace
}  // namespace kv
