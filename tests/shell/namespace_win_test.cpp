// Shell items in the test namespace: what Wine's shell answers, and what the
// item makes of it.
#include "shell/namespace_win.h"

#include <algorithm>
#include <set>

#include "shell/shell_link_win.h"
#include "shell/shell_utils_win.h"
#include "shell/wide_strings.h"
#include "tests/shell/shell_test_util.h"

namespace kv {
namespace {
using namespace test;

std::set<std::wstring> FindListing(const std::wstring& folder, bool folders, bool files, bool hidden) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    bool isFolder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) && !hidden) continue;
    if (isFolder ? folders : files) names.insert(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

std::set<std::wstring> AsSet(const std::vector<std::wstring>& v) { return {v.begin(), v.end()}; }

TEST(WineShell, NamespaceOfTheTestPrefix) {
  // Parsing "" gives My Computer.
  TPidl empty = PathToPIDL(L"");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(ILIsEqual(empty.get(), DrivesFolder()->AbsolutePIDL()));
  // The desktop: My Computer, Documents, Trash; My Computer: C: and Control Panel.
  std::vector<std::wstring> desktop;
  DesktopFolder()->EnumerateFolder(true, true, true, [&](TPidl child, TNamespace& parent, bool&) {
    desktop.push_back(TNamespace(std::move(child), &parent).GetNameNormal());
    return true;
  });
  std::sort(desktop.begin(), desktop.end());
  EXPECT_EQ(desktop, (std::vector<std::wstring>{L"Documents", L"My Computer", L"Trash"}));
  std::vector<std::wstring> computer;
  DrivesFolder()->EnumerateFolder(true, true, true, [&](TPidl child, TNamespace& parent, bool&) {
    TNamespace item(std::move(child), &parent);
    computer.push_back(item.IsControlPanel() ? L"Control Panel" : item.GetNameForParsing());
    return true;
  });
  std::sort(computer.begin(), computer.end());
  EXPECT_EQ(computer, (std::vector<std::wstring>{L"C:\\", L"Control Panel"}));
  EXPECT_TRUE(ChildNames(*MyDocumentsFolder(), true, true, true).empty());
}

TEST(WineShell, ColumnsAndMissingInterfaces) {
  auto folder = Item(L"names");
  ASSERT_EQ(folder->DetailsSupportedColumns(), 5);
  const wchar_t* titles[] = {L"File", L"Size", L"Type", L"Modified", L"Attributes"};
  for (int c = 0; c < 5; ++c) EXPECT_EQ(folder->DetailsColumnTitle(c), titles[c]);
  EXPECT_EQ(folder->DetailsColumnTitle(5), L"");
  EXPECT_EQ(DrivesFolder()->DetailsSupportedColumns(), 4);
  EXPECT_FALSE(folder->GetShellDetailsInterface());
  EXPECT_FALSE(folder->GetShellIconInterface());
  EXPECT_FALSE(folder->GetShellIconOverlayInterface());
  EXPECT_FALSE(folder->GetQueryInfoInterface());
  EXPECT_EQ(folder->GetInfoTip(), L"");
  EXPECT_EQ(folder->GetOverlayIndex(), -1);
  // A file cannot be bound as a folder: its own columns are the defaults.
  auto file = Item(L"names\\small.txt");
  EXPECT_FALSE(file->GetShellFolder());
  ASSERT_EQ(file->DetailsSupportedColumns(), 5);
  EXPECT_EQ(file->DetailsColumnTitle(0), L"Name");
  EXPECT_EQ(file->DetailsColumnTitle(3), L"Modified");
  EXPECT_EQ(file->DetailsGetDefaultColumnState(0), static_cast<uint16_t>(TShellColumnState::OnByDefault));
}

TEST(WineShell, CompareIDsAnswersInNameOrderForEveryColumn) {
  auto folder = Item(L"sizes");
  ComPtr<IShellFolder> shell = folder->GetShellFolder();
  auto big = Item(L"sizes\\k5000.bin"), small = Item(L"sizes\\empty.bin");
  for (int column = 0; column < 5; ++column) {
    HRESULT forward = shell->CompareIDs(column, big->RelativePIDL(), small->RelativePIDL());
    HRESULT back = shell->CompareIDs(column, small->RelativePIDL(), big->RelativePIDL());
    HRESULT same = shell->CompareIDs(column, big->RelativePIDL(), big->RelativePIDL());
    EXPECT_EQ(forward, 1) << column;  // "k5000" after "empty", whatever the column
    EXPECT_EQ(back, 0xFFFF) << column;
    EXPECT_EQ(same, 0) << column;
    EXPECT_EQ(big->ComparePIDL(small->AbsolutePIDL(), true, column), -1);
    EXPECT_EQ(small->ComparePIDL(big->AbsolutePIDL(), true, column), 1);
  }
  EXPECT_EQ(big->ComparePIDL(nullptr, true, 0), -1);
}

TEST(WineShell, FindDataKeepsA32BitSize) {
  const std::wstring path = kFixture + L"\\sizes\\huge.bin";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = 5000000000LL;
  ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
  auto item = Item(L"sizes\\huge.bin");
  EXPECT_EQ(item->GetSizeOfFileInt64(), 705032704u);
  DeleteFileW(path.c_str());
}

TEST(ShellItem, DesktopAndConstruction) {
  TNamespace desktop(nullptr, nullptr);
  EXPECT_TRUE(desktop.IsDesktop());
  wchar_t directory[MAX_PATH];
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, directory)));
  EXPECT_EQ(desktop.GetNameForParsing(), directory);
  EXPECT_EQ(desktop.DetailsOf(0), L"");

  // A relative list with a parent: the item's list is parent + child.
  auto folder = Item(L"names");
  TPidl file = PathToPIDL(kFixture + L"\\names\\small.txt");
  TPidl relative = TPIDLManager::CopyPIDL(TPIDLManager::GetPointerToLastID(file.get()));
  TNamespace child(std::move(relative), folder.get());
  EXPECT_TRUE(ILIsEqual(child.AbsolutePIDL(), file.get()));
  EXPECT_EQ(child.RelativePIDL(), TPIDLManager::GetPointerToLastID(child.AbsolutePIDL()));
  EXPECT_EQ(child.Parent(), folder.get());
  auto clone = child.Clone();
  EXPECT_TRUE(ILIsEqual(clone->AbsolutePIDL(), file.get()));
  EXPECT_NE(clone->AbsolutePIDL(), child.AbsolutePIDL());

  try {
    Item(L"no such file");
    ADD_FAILURE();
  } catch (const EShellInvalidFileName& e) {
    EXPECT_STREQ(e.what(), "Trying to create a TNamespace on a non existant File object");
  }
}

TEST(ShellItem, NamesRoundTripInEveryScript) {
  for (const wchar_t* name : {L"\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440.txt", L"\u6771\u4eac\u90fd.txt",
                              L"caf\u00e9 \u00fcber.txt", L"a.xyz"}) {
    auto item = Item(std::wstring(L"names\\") + name);
    EXPECT_EQ(item->GetNameForParsing(), kFixture + L"\\names\\" + name);
    EXPECT_EQ(item->GetNameForParsingInFolder(), name);
    EXPECT_EQ(item->GetNameInFolder(), name);
    EXPECT_EQ(item->GetNameParseAddress(), kFixture + L"\\names\\" + name);
    EXPECT_TRUE(item->GetFileSystem());
    EXPECT_FALSE(item->GetFolder());
  }
  // The unknown type: the shell's own text.
  EXPECT_EQ(Item(L"names\\a.xyz")->GetFileType(), L"xyz file");
  EXPECT_EQ(Item(L"names\\a.xyz")->GetExtension(), L".xyz");
  EXPECT_EQ(Item(L"enum\\.dotfolder\\inside.txt")->GetExtension(), L".txt");
  EXPECT_EQ(Item(L"enum\\alpha")->GetExtension(), L"");
}

TEST(ShellItem, EnumerationMatchesTheFileSystemPerFlagSet) {
  auto folder = Item(L"enum");
  struct Flags { bool folders, files, hidden; } sets[] = {
      {true, false, false}, {false, true, false}, {true, true, false}, {true, true, true}, {true, false, true}};
  for (const auto& f : sets) {
    SCOPED_TRACE(testing::Message() << f.folders << f.files << f.hidden);
    EXPECT_EQ(AsSet(ChildNames(*folder, f.folders, f.files, f.hidden)),
              FindListing(kFixture + L"\\enum", f.folders, f.files, f.hidden));
  }
  // The callback decides what counts and when to stop.
  int seen = 0;
  int counted = folder->EnumerateFolder(true, true, true, [&](TPidl, TNamespace&, bool& terminate) {
    terminate = ++seen == 3;
    return seen != 2;
  });
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(counted, 2);
  EXPECT_TRUE(folder->GetSubItems());
  EXPECT_FALSE(Item(L"links")->GetSubItems());
  EXPECT_FALSE(Item(L"enum\\one.txt")->GetSubItems());
  EXPECT_TRUE(RecycleBinFolder()->GetSubItems());
}

TEST(ShellItem, SizesComeFromTheItemID) {
  auto folder = Item(L"sizes");
  const wchar_t sep = ThousandSeparator();
  struct Case { const wchar_t* name; uint64_t size; const wchar_t* kb; } cases[] = {
      {L"empty.bin", 0, L"1 KB"}, {L"k1023.bin", 1023, L"1 KB"}, {L"k5000.bin", 5000, L"4 KB"}};
  for (const auto& c : cases) {
    auto item = Item(std::wstring(L"sizes\\") + c.name);
    EXPECT_EQ(item->GetSizeOfFileInt64(), c.size);
    EXPECT_EQ(item->GetSizeOfFileKB(), c.kb);
    EXPECT_EQ(item->GetSizeOfFile(), AddCommas<wchar_t>(std::to_wstring(c.size), sep));
    EXPECT_EQ(item->GetAttributesString(), L"A");
    EXPECT_EQ(item->ExplorerStyleAttributeStringList(false), L"a");
  }
  EXPECT_EQ(Item(L"sizes\\folder")->GetSizeOfFile(), L"");
  EXPECT_EQ(Item(L"sizes\\folder")->GetSizeOfFileKB(), L"");

  // A grown file keeps the size its item ID carries until the item ID is fetched again.
  TPidl relative;
  folder->EnumerateFolder(false, true, false, [&](TPidl child, TNamespace& parent, bool& stop) {
    if (TNamespace(TPIDLManager::CopyPIDL(child.get()), &parent).GetNameInFolder() != L"grow.bin") return false;
    relative = std::move(child);
    stop = true;
    return true;
  });
  ASSERT_TRUE(relative);
  TNamespace grow(std::move(relative), folder.get());
  EXPECT_EQ(grow.GetSizeOfFileInt64(), 100u);
  HANDLE file = CreateFileW((kFixture + L"\\sizes\\grow.bin").c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::string more(3000, 'm');
  DWORD written;
  WriteFile(file, more.data(), 3000, &written, nullptr);
  CloseHandle(file);
  grow.InvalidateNamespace(true);
  EXPECT_EQ(grow.GetSizeOfFileInt64(), 100u);
  grow.InvalidateRelativePIDL(false, true, false);
  EXPECT_EQ(grow.GetSizeOfFileInt64(), 3100u);
  EXPECT_EQ(grow.GetSizeOfFileKB(), L"3 KB");
}

TEST(ShellItem, ColumnTextsAreTheShells) {
  auto folder = Item(L"names");
  ComPtr<IShellFolder2> shell = folder->GetShellFolder2();
  ASSERT_TRUE(shell);
  folder->EnumerateFolder(true, true, true, [&](TPidl child, TNamespace& parent, bool&) {
    TNamespace item(std::move(child), &parent);
    for (int column = 0; column < 5; ++column) {
      SHELLDETAILS d{};
      EXPECT_EQ(shell->GetDetailsOf(item.RelativePIDL(), column, &d), S_OK);
      EXPECT_EQ(item.DetailsOf(column), StrRetToStr(d.str, item.RelativePIDL())) << column;
    }
    EXPECT_EQ(item.DetailsOf(9), L"");
    return true;
  });
}

TEST(ShellItem, IconIndexesAreCachedByRule) {
  auto item = Item(L"icons\\file00.txt");
  EXPECT_EQ(item->GetIconIndex(false, 0, false), -1);  // nothing asked without force
  int closed = item->GetIconIndex(false, 0, true);
  EXPECT_GE(closed, 0);
  int open = item->GetIconIndex(true, 0, true);
  EXPECT_GE(open, 0);
  item->InvalidateNamespace(false);
  EXPECT_EQ(item->GetIconIndex(false, 0, false), closed);
  EXPECT_EQ(item->GetIconIndex(true, 0, false), open);
  item->SetThreadIconLoading(true);
  item->SetIconIndexByThread(7, true);
  EXPECT_TRUE(item->ThreadedIconLoaded());
  EXPECT_FALSE(item->ThreadIconLoading());
  EXPECT_TRUE(item->IconIndexChanged());
  EXPECT_EQ(item->GetIconIndex(false, 0, false), 7);
  item->InvalidateNamespace(true);
  EXPECT_EQ(item->GetIconIndex(false, 0, false), -1);
  EXPECT_FALSE(item->ThreadedIconLoaded());
  // Index 29 lies outside the system list here.
  SHFILEINFOW info{};
  auto list = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  ASSERT_TRUE(list);
  EXPECT_LE(ImageList_GetImageCount(list), 29);
}

TEST(ShellItem, SpecialItemTests) {
  EXPECT_TRUE(DrivesFolder()->IsMyComputer());
  EXPECT_FALSE(DesktopFolder()->IsMyComputer());
  EXPECT_TRUE(RecycleBinFolder()->IsRecycleBin());
  EXPECT_TRUE(ControlPanelFolder()->IsControlPanel());
  EXPECT_FALSE(Item(L"names")->IsNetworkNeighborhoodChild());
  EXPECT_TRUE(DesktopFolder()->GetDropTarget());
  // A child of My Computer has no find data: the default type column says so.
  auto drive = TNamespace::CreateFromFileName(L"C:\\");
  EXPECT_EQ(drive->DetailsDefaultOf(2), L"System Folder");
}

// A descendant's parent folder serves every answer built on it.
class ParentlessItem : public TNamespace {
 public:
  using TNamespace::TNamespace;
  ComPtr<IShellFolder> GetParentShellFolder() override { return {}; }
};

struct CountedThumbnail : TNamespaceThumbnail {
  explicit CountedThumbnail(int& freed) : freed_(freed) {}
  ~CountedThumbnail() override { ++freed_; }
  int& freed_;
};

TEST(ShellItem, ParentFolderSlotAndThumbnail) {
  TPidl list = PathToPIDL(kFixture + L"\\names\\small.txt");
  ParentlessItem parentless(std::move(list), nullptr);
  EXPECT_EQ(parentless.GetNameInFolder(), L"");
  auto item = Item(L"names\\small.txt");
  EXPECT_EQ(item->GetNameInFolder(), L"small.txt");

  int freed = 0;
  item->SetThumbImage(std::make_unique<CountedThumbnail>(freed));
  item->InvalidateThumbImage();
  EXPECT_EQ(freed, 1);
  EXPECT_EQ(item->ThumbImage(), nullptr);
  item->SetThumbImage(std::make_unique<CountedThumbnail>(freed));
  item->InvalidateCache();
  EXPECT_EQ(freed, 2);
}

TEST(ShellSort, FoldersFirstThenTheShellsOrder) {
  TShellSortHelper sort;
  auto folder = Item(L"sizes\\folder"), empty = Item(L"sizes\\empty.bin"), big = Item(L"sizes\\k5000.bin");
  auto k1023 = Item(L"sizes\\k1023.bin");
  EXPECT_LT(sort.SortFileSize(*folder, *big), 0);
  EXPECT_GT(sort.SortFileSize(*big, *folder), 0);
  EXPECT_LT(sort.SortFileSize(*empty, *big), 0);
  EXPECT_EQ(sort.SortFileSize(*big, *big), 0);
  auto one = Item(L"enum\\one.txt"), two = Item(L"enum\\two.dat");
  EXPECT_LT(sort.SortFileSize(*one, *one), 1);
  sort.FileSort = TFileSort::fsFileExtension;
  EXPECT_LT(sort.SortType(*two, *one), 0);  // ".dat" before ".txt"
  EXPECT_EQ(sort.SortType(*DrivesFolder(), *one), -1);  // folders first
  EXPECT_LT(sort.SortString(L"a", L"b", *k1023, *big), 0);
  EXPECT_GT(sort.CompareIDSort(0, *k1023, *empty), 0);
}

TEST(ShellLink, ShortcutsReadBack) {
  struct Case { std::wstring target; const wchar_t* args; WORD hotKey; } cases[] = {
      {kFixture + L"\\enum\\alpha", L"", 0},
      // Wine stores the target path in ANSI: a CJK target would read back as "???".
      {kFixture + L"\\names\\caf\u00e9 \u00fcber.txt", L"--x \u00e9", MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT)},
  };
  int n = 0;
  for (const auto& c : cases) {
    ComPtr<IShellLinkW> link;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())));
    link->SetPath(c.target.c_str());
    link->SetArguments(c.args);
    link->SetDescription(L"desc \u0416");
    link->SetWorkingDirectory(kFixture.c_str());
    link->SetHotkey(c.hotKey);
    std::wstring file = kFixture + L"\\links\\link" + std::to_wstring(n++) + L".lnk";
    ASSERT_TRUE(SUCCEEDED(link.As<IPersistFile>(IID_IPersistFile)->Save(file.c_str(), TRUE)));
    TLazyShellLink read;
    ASSERT_TRUE(read.ReadLink(file));
    EXPECT_EQ(read.FileName, file);
    EXPECT_EQ(read.TargetPath, c.target);
    EXPECT_EQ(read.Arguments, c.args);
    EXPECT_EQ(read.Description, L"desc \u0416");
    EXPECT_EQ(read.WorkingDirectory, kFixture);
    EXPECT_EQ(read.HotKey, LOBYTE(c.hotKey));
    EXPECT_EQ(read.HotKeyModifiers, c.hotKey ? (hkAlt | hkCtrl) : 0);
    EXPECT_TRUE(read.TargetIDList);
  }
  TLazyShellLink notALink;
  EXPECT_FALSE(notALink.ReadLink(kFixture + L"\\enum\\one.txt"));
  EXPECT_EQ(notALink.FileName, L"");
  // Wine drops the show command, so the mapping is checked on values.
  struct Map { int platform; TShowCmd cmd; } map[] = {
      {SW_HIDE, TShowCmd::Hide}, {SW_SHOWNORMAL, TShowCmd::ShowNormal}, {SW_SHOWMINIMIZED, TShowCmd::ShowMinimized},
      {SW_MAXIMIZE, TShowCmd::Maximize}, {SW_SHOWNOACTIVATE, TShowCmd::ShowNoActivate}, {SW_SHOW, TShowCmd::Show},
      {SW_MINIMIZE, TShowCmd::Minimize}, {SW_SHOWMINNOACTIVE, TShowCmd::ShowMinNoActive}, {SW_SHOWNA, TShowCmd::ShowNA},
      {SW_RESTORE, TShowCmd::Restore}, {SW_SHOWDEFAULT, TShowCmd::ShowDefault}};
  for (const auto& m : map) {
    TShowCmd out = TShowCmd::Hide;
    ASSERT_TRUE(ShowCmdFromPlatform(m.platform, out));
    EXPECT_EQ(out, m.cmd) << m.platform;
  }
  TShowCmd kept = TShowCmd::Restore;
  EXPECT_FALSE(ShowCmdFromPlatform(11, kept));
  EXPECT_EQ(kept, TShowCmd::Restore);

  // A shortcut to a folder and a folder are not executed unless asked.
  auto shortcut = Item(L"links\\link0.lnk");
  EXPECT_TRUE(shortcut->GetLink());
  EXPECT_FALSE(shortcut->ShellExecuteNamespace(L"", L"", false, false));
  EXPECT_FALSE(Item(L"enum\\alpha")->ShellExecuteNamespace(L"", L"", false, false));
  // The folder of shortcuts is empty again for the tests that list it.
  shortcut.reset();
  for (int i = 0; i < n; ++i)
    EXPECT_TRUE(DeleteFileW((kFixture + L"\\links\\link" + std::to_wstring(i) + L".lnk").c_str()));
}

TEST(ShellItem, RenameKeepsTheItemUsable) {
  auto item = Item(L"ops\\rename1.txt");
  ASSERT_TRUE(item->GetCanRename());
  ASSERT_TRUE(item->SetNameOf(L"renamed \u6771.txt"));
  EXPECT_TRUE(FileExistsW(kFixture + L"\\ops\\renamed \u6771.txt"));
  EXPECT_FALSE(FileExistsW(kFixture + L"\\ops\\rename1.txt"));
  item->InvalidateCache();
  EXPECT_EQ(item->GetNameInFolder(), L"renamed \u6771.txt");
  EXPECT_FALSE(DrivesFolder()->SetNameOf(L"x"));
}

}  // namespace
}  // namespace kv
