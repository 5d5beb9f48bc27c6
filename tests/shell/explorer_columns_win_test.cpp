// The explorer tree's detail columns over the fixture: headers built from the
// shell and from the tree's own set, cell texts against the shell folder's
// own details, header clicks, and the column layouts kept in the node storage.
#include "shell/explorer_tree_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "counting_tree_win.h"
#include "shell_test_util.h"
#include "tests/ui/ui_test_util.h"
#include "ui/forms_win.h"
#include "ui/layout_loader_win.h"

namespace kv {
namespace {

// The shell folder's own detail text of a child (the oracle for the cells).
std::wstring ShellDetail(IShellFolder2* folder, LPCITEMIDLIST child, int column) {
  SHELLDETAILS details{};
  if (FAILED(folder->GetDetailsOf(child, static_cast<UINT>(column), &details))) return L"<failed>";
  const STRRET& r = details.str;
  switch (r.uType) {
    case STRRET_WSTR: {
      std::wstring out(r.pOleStr ? r.pOleStr : L"");
      CoTaskMemFree(r.pOleStr);
      return out;
    }
    case STRRET_CSTR: return std::wstring(r.cStr, r.cStr + strlen(r.cStr));
    case STRRET_OFFSET: {
      const char* a = reinterpret_cast<const char*>(child) + r.uOffset;
      return std::wstring(a, a + strlen(a));
    }
    default: return L"<unknown>";
  }
}

ComPtr<IShellFolder2> BindFolder(const std::wstring& path) {
  ComPtr<IShellFolder> desktop;
  ComPtr<IShellFolder2> folder;
  TPidl pidl = PathToPIDL(path);
  if (FAILED(SHGetDesktopFolder(desktop.Put())) || !pidl) return folder;
  desktop->BindToObject(pidl.get(), nullptr, IID_IShellFolder2, folder.PutVoid());
  return folder;
}

using CountingTree = test::CountingTree<TLazyExplorerTree>;

class ExplorerColumns : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &form.Create<CountingTree>();
    tree->SetParent(&form);
    form.SetClientWidth(760);
    form.SetClientHeight(320);
    tree->SetBounds(0, 0, 740, 300);
    tree->SetFileObjects(foFolders | foNonFolders | foHidden);
    tree->SetExplorerFolderOptions(toFoldersExpandable | toHideRootFolder);
    form.Show();
    tree->SetActive(true);
  }
  void Show(TColumnDetailType details, const std::wstring& folder) {
    tree->SetColumnDetails(details);
    tree->SetRootFolderCustomPath(test::kFixture + folder);
    ui::test::Pump(20);
  }
  TLazyTreeColumns& Columns() { return tree->Header().Columns(); }
  std::vector<int> Widths() {
    std::vector<int> widths;
    for (int i = 0; i < Columns().Count(); ++i) widths.push_back(Columns()[i].Width());
    return widths;
  }
  std::vector<std::wstring> Names() {
    std::vector<std::wstring> names;
    for (PLazyNode n = tree->GetFirstChild(nullptr); n; n = tree->GetNextSibling(n)) names.push_back(tree->GetText(n, 0));
    return names;
  }
  // A real click in the middle of a column's header button, with modifiers held.
  void ClickHeader(TColumnIndex column, BYTE modifier = 0, bool right = false) {
    BYTE keys[256]{};
    GetKeyboardState(keys);
    BYTE held[256];
    std::copy(std::begin(keys), std::end(keys), held);
    if (modifier) held[modifier] = 0x80;
    SetKeyboardState(held);
    HWND h = tree->Handle();
    POINT p{Columns()[column].Left() + Columns()[column].Width() / 2, 5 - tree->Header().Height()};
    ClientToScreen(h, &p);
    SendMessageW(h, right ? WM_NCRBUTTONDOWN : WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(p.x, p.y));
    SendMessageW(h, right ? WM_NCRBUTTONUP : WM_NCLBUTTONUP, HTBORDER, MAKELPARAM(p.x, p.y));
    SetKeyboardState(keys);
  }
  TNodeStorage* StoredLayout() {
    return tree->GetNewStorage()->Find(StorageBytes(tree->RootNamespace()->AbsolutePIDL()), kStoreColumns);
  }

  ui::TForm form;
  CountingTree* tree = nullptr;
};

// A layout's column items may name their kind; an unknown kind is refused.
TEST(ExplorerColumnLayout, ColumnItemsNameTheirKind) {
  RegisterExplorerTreeClasses();
  auto layout = [](const std::string& items) {
    return "object F: TForm\n  object T: TLazyExplorerTree\n    ColumnDetails = cdUser\n    Columns = <" + items +
           ">\n  end\nend\n";
  };
  ui::TForm form;
  ui::BuildLayout(form,
                  ui::ParseLayout(layout("item ColumnDetails = cdSize end item ColumnDetails = cdModified Text = \"When\" end"),
                                  "kinds.layout"),
                  "kinds.layout");
  TLazyTreeColumns& columns = form.Get<TLazyExplorerTree>("T").Header().Columns();
  ASSERT_EQ(columns.Count(), 2);
  EXPECT_EQ(dynamic_cast<TExplorerColumn&>(columns[0]).ColumnDetails(), cdSize);
  EXPECT_EQ(columns[0].Text(), L"Size");
  EXPECT_EQ(dynamic_cast<TExplorerColumn&>(columns[1]).ColumnDetails(), cdModified);
  EXPECT_EQ(columns[1].Text(), L"When");
  ui::TForm bad;
  EXPECT_ANY_THROW(ui::BuildLayout(bad, ui::ParseLayout(layout("item ColumnDetails = cdBogus end"), "bad.layout"),
                                   "bad.layout"));
}

TEST_F(ExplorerColumns, ShellColumnsComeFromTheFolderShown) {
  std::vector<TColumnIndex> customAt;
  tree->OnAddCustomShellColumn = [&](TCustomLazyExplorerTree&, TColumnIndex first, TLTHeader&) {
    customAt.push_back(first);
  };
  Show(cdShellColumns, L"\\sizes");
  ASSERT_EQ(tree->ShellColumnCount(), 5);
  EXPECT_EQ(Widths(), (std::vector<int>{180, 96, 120, 120, 60}));
  EXPECT_EQ(Columns()[1].Alignment(), TLTAlignment::taRightJustify);
  EXPECT_TRUE(tree->Header().HasOption(hoVisible));
  EXPECT_FALSE(tree->Header().CanWriteColumns());
  ASSERT_FALSE(customAt.empty());
  EXPECT_EQ(customAt.back(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(tree->ColumnKind(i), cdCustom);

  // Every cell but the name is the shell folder's own text.
  ComPtr<IShellFolder2> folder = BindFolder(test::kFixture + L"\\sizes");
  ASSERT_TRUE(folder);
  int rows = 0;
  for (PLazyNode n = tree->GetFirstChild(nullptr); n; n = tree->GetNextSibling(n), ++rows) {
    TNamespace* ns = nullptr;
    ASSERT_TRUE(tree->ValidateNamespace(n, ns));
    EXPECT_EQ(tree->GetText(n, 0), ns->GetNameInFolder());
    for (int column = 1; column < 5; ++column)
      EXPECT_EQ(tree->GetText(n, column), ShellDetail(folder.Get(), ns->RelativePIDL(), column))
          << test::Narrow(ns->GetNameInFolder()) << " column " << column;
  }
  EXPECT_EQ(rows, 5);

  // An application may change any cell.
  tree->OnGetExplorerText = [](TCustomLazyExplorerTree&, TColumnIndex column, PLazyNode, std::wstring& text,
                               TNamespace* ns) {
    if (column == 2 && ns) text = L"[" + text + L"]";
  };
  EXPECT_EQ(tree->GetText(tree->GetFirstChild(nullptr), 2).front(), L'[');

  // My Computer has widths of its own.
  tree->SetRootFolder(TRootFolder::rfDrives);
  ui::test::Pump(20);
  ASSERT_GE(Columns().Count(), 2);
  const std::vector<int> myComputer{180, 120, 96, 96};
  for (int i = 0; i < std::min(Columns().Count(), 4); ++i) EXPECT_EQ(Columns()[i].Width(), myComputer[size_t(i)]) << i;

  // The application's own columns: no header, no columns.
  tree->SetColumnDetails(cdUser);
  EXPECT_EQ(Columns().Count(), 0);
  EXPECT_FALSE(tree->Header().HasOption(hoVisible));
}

TEST_F(ExplorerColumns, ExplorerColumnsAndSortingByHeaderClicks) {
  Show(cdExplorerColumns, L"\\sizes");
  ASSERT_EQ(Columns().Count(), 9);
  const std::vector<TColumnDetails> kinds{cdFileName, cdSize,    cdType,    cdModified, cdAttributes,
                                          cdAccessed, cdCreated, cdDOSName, cdPath};
  std::vector<bool> visible;
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(tree->ColumnKind(i), kinds[size_t(i)]);
    visible.push_back(Columns()[i].HasOption(coVisible));
  }
  EXPECT_EQ(visible, (std::vector<bool>{true, true, true, true, true, false, false, false, false}));
  EXPECT_EQ(Columns()[1].Text(), L"Size");
  EXPECT_EQ(Columns()[1].Alignment(), TLTAlignment::taRightJustify);
  EXPECT_TRUE(tree->Header().CanWriteColumns());

  PLazyNode first = tree->GetFirstChild(nullptr);
  EXPECT_EQ(tree->GetText(first, 8), test::kFixture + L"\\sizes\\" + tree->GetText(first, 0));

  // By size: the folder first, then the files by their sizes on disk.
  std::vector<std::pair<uint64_t, std::wstring>> files;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((test::kFixture + L"\\sizes\\*.bin").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do files.push_back({(uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow, data.cFileName});
  while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(files.begin(), files.end());
  std::vector<std::wstring> bySize{L"folder"};
  for (auto& f : files) bySize.push_back(f.second);

  const int enumerations = tree->enumerations;
  ClickHeader(1);
  // Only the nodes there are: the subfolder is not read for sorting.
  EXPECT_EQ(tree->enumerations, enumerations);
  EXPECT_EQ(tree->Header().SortColumn(), 1);
  EXPECT_EQ(tree->Header().SortDirection(), TSortDirection::sdAscending);
  EXPECT_EQ(Names(), bySize);
  test::KeepShot(ui::test::Screenshot(form, "explorer_columns"), "explorer_columns");
  ClickHeader(1);
  EXPECT_EQ(tree->Header().SortDirection(), TSortDirection::sdDescending);
  EXPECT_EQ(Names(), std::vector<std::wstring>(bySize.rbegin(), bySize.rend()));
  ClickHeader(1);
  EXPECT_EQ(tree->Header().SortDirection(), TSortDirection::sdAscending);
  // Another column takes over in the direction in force; a right click sorts nothing.
  ClickHeader(1);
  ClickHeader(0);
  EXPECT_EQ(tree->Header().SortColumn(), 0);
  EXPECT_EQ(tree->Header().SortDirection(), TSortDirection::sdDescending);
  ClickHeader(1, 0, true);
  EXPECT_EQ(tree->Header().SortColumn(), 0);

  // Ctrl fits a column and gives its width back; Shift shrinks it and gives it back.
  Columns()[2].SetWidth(40);
  const int fitted = tree->GetMaxColumnWidth(2);
  ASSERT_NE(fitted, 40);
  ClickHeader(2, VK_CONTROL);
  EXPECT_EQ(Columns()[2].Width(), fitted);
  ClickHeader(2, VK_CONTROL);
  EXPECT_EQ(Columns()[2].Width(), 40);
  ClickHeader(3, VK_SHIFT);
  EXPECT_EQ(Columns()[3].Width(), Columns()[3].MinWidth());
  ClickHeader(3, VK_SHIFT);
  EXPECT_EQ(Columns()[3].Width(), 120);
  EXPECT_EQ(tree->Header().SortColumn(), 0);
}

TEST_F(ExplorerColumns, ReadFoldersAndTheTypeColumnFollowTheHeader) {
  // A re-read folder comes in the order the header shows, not the folder's own.
  Show(cdExplorerColumns, L"\\sizes");
  ClickHeader(0);
  ClickHeader(0);
  ASSERT_EQ(tree->Header().SortDirection(), TSortDirection::sdDescending);
  const std::vector<std::wstring> shown = Names();
  SendMessageW(tree->Handle(), WM_KEYDOWN, VK_F5, 0);
  EXPECT_EQ(Names(), shown);
  tree->RefreshNode(tree->RootNode());
  EXPECT_EQ(Names(), shown);

  // The type column by the type's name, then by the extension (files of
  // types whose names do not follow their extensions).
  const std::wstring folder = test::kFixture + L"\\types";
  CreateDirectoryW(folder.c_str(), nullptr);
  for (const wchar_t* name : {L"\\a.txt", L"\\b.exe", L"\\c.ini", L"\\d.zz", L"\\e.lnk2"}) {
    HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  Show(cdExplorerColumns, L"\\types");
  ClickHeader(2);
  if (tree->Header().SortDirection() == TSortDirection::sdDescending) ClickHeader(2);  // the direction in force
  ASSERT_EQ(tree->Header().SortColumn(), 2);
  ASSERT_EQ(tree->Header().SortDirection(), TSortDirection::sdAscending);
  ASSERT_EQ(tree->FileSort(), TFileSort::fsFileType);
  std::vector<std::pair<std::wstring, std::wstring>> byType, byExtension;  // (key, name)
  for (PLazyNode n = tree->GetFirstChild(nullptr); n; n = tree->GetNextSibling(n)) {
    TNamespace* ns = nullptr;
    ASSERT_TRUE(tree->ValidateNamespace(n, ns));
    const std::wstring name = tree->GetText(n, 0);
    byType.push_back({ns->GetFileType(), name});
    byExtension.push_back({name.substr(name.rfind(L'.')), name});
  }
  std::sort(byType.begin(), byType.end());
  std::sort(byExtension.begin(), byExtension.end());
  auto names = [](const std::vector<std::pair<std::wstring, std::wstring>>& keyed) {
    std::vector<std::wstring> out;
    for (const auto& k : keyed) out.push_back(k.second);
    return out;
  };
  ASSERT_NE(names(byType), names(byExtension));  // the two orders differ here
  EXPECT_EQ(Names(), names(byType));
  tree->SetFileSort(TFileSort::fsFileExtension);
  EXPECT_EQ(Names(), names(byExtension));
  // Sorted by another column a change of the type order moves nothing.
  ClickHeader(0);
  const std::vector<std::wstring> byName = Names();
  tree->SetFileSort(TFileSort::fsFileType);
  EXPECT_EQ(Names(), byName);
}

// Folder and file names in the colours object's colours, the hot-tracked row
// too; a selected row keeps the selection's text colour.
TEST_F(ExplorerColumns, NamesTakeTheExplorerColoursUnlessSelected) {
  Show(cdExplorerColumns, L"\\enum");
  tree->Colors().SetExplorerColor(1, RGB(230, 0, 0));  // folders
  tree->Colors().SetExplorerColor(2, RGB(0, 150, 0));  // files
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toHotTrack);
  auto node = [&](const wchar_t* name) {
    for (PLazyNode n = tree->GetFirstChild(nullptr); n; n = tree->GetNextSibling(n))
      if (tree->GetText(n, 0) == name) return n;
    return PLazyNode{};
  };
  PLazyNode beta = node(L"beta"), selected = node(L"two.dat");
  ASSERT_TRUE(beta && selected);
  tree->ClearSelection();
  tree->SetSelected(selected, true);
  // The mouse over beta's name makes it the hot row.
  const TLazyRect label = tree->GetDisplayRect(beta, 0, true);
  POINT at{(label.Left + label.Right) / 2, (label.Top + label.Bottom) / 2};
  POINT screen = at;
  ClientToScreen(tree->Handle(), &screen);
  SetCursorPos(screen.x, screen.y);
  SendMessageW(tree->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
  ASSERT_EQ(tree->HotNode(), beta);
  const ui::TBitmap shot = ui::test::Screenshot(form, "explorer_colours");
  test::KeepShot(shot, "explorer_colours");
  ASSERT_EQ(tree->HotNode(), beta);  // still hot when painted
  auto inked = [&](PLazyNode n, uint32_t rgb) {
    const TLazyRect r = tree->GetDisplayRect(n, 0, true);
    int count = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) {
        const uint32_t px = ui::test::PixelAt(shot, form, tree->Handle(), x, y);
        int off = 0;
        for (int shift : {0, 8, 16})
          off = std::max(off, std::abs(int((px >> shift) & 0xFF) - int((rgb >> shift) & 0xFF)));
        if (off < 40) ++count;
      }
    return count;
  };
  const uint32_t red = 0xE60000, green = 0x009600;
  // The selected row keeps the tree's own colours; the hot one (beta) shows the explorer's.
  const struct {
    const wchar_t* name;
    uint32_t ink;
    bool shown;
  } rows[] = {{L"alpha", red, true}, {L"beta", red, true}, {L"one.txt", green, true}, {L"two.dat", green, false}};
  for (const auto& row : rows) {
    PLazyNode n = node(row.name);
    ASSERT_NE(n, nullptr) << test::Narrow(row.name);
    if (row.shown)
      EXPECT_GT(inked(n, row.ink), 3) << test::Narrow(row.name);
    else
      EXPECT_EQ(inked(n, row.ink), 0) << test::Narrow(row.name);
  }
}

TEST_F(ExplorerColumns, LayoutsKeptPerFolder) {
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toPersistentColumns);
  Show(cdShellColumns, L"\\sizes");
  ASSERT_EQ(Columns().Count(), 5);
  // Building the header stores nothing.
  EXPECT_EQ(StoredLayout(), nullptr);

  Columns()[1].SetWidth(150);
  TNodeStorage* stored = StoredLayout();
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->Storage.Column.Widths, (std::vector<uint16_t>{180, 150, 120, 120, 60}));

  // Another folder shows the defaults; coming back restores the layout.
  tree->SetRootFolderCustomPath(test::kFixture + L"\\names");
  EXPECT_EQ(Columns()[1].Width(), 96);
  tree->SetRootFolderCustomPath(test::kFixture + L"\\sizes");
  EXPECT_EQ(Widths(), (std::vector<int>{180, 150, 120, 120, 60}));

  // A layout of another column count is dropped and the defaults stay.
  stored = StoredLayout();
  ASSERT_NE(stored, nullptr);
  stored->Storage.Column.Widths.push_back(77);
  stored->Storage.Column.Positions.push_back(5);
  stored->Storage.Column.Visible.push_back(1);
  tree->RebuildRootNamespace();
  EXPECT_EQ(Widths(), (std::vector<int>{180, 96, 120, 120, 60}));
  EXPECT_EQ(StoredLayout(), nullptr);

  // A column dragged and let go outside the header keeps the layout too.
  tree->Header().SetOptions(tree->Header().Options() | hoDrag);
  Columns()[1].SetOptions(Columns()[1].Options() | coDraggable);
  HWND h = tree->Handle();
  const int headerY = 5 - tree->Header().Height(), x = Columns()[1].Left() + 20;
  POINT screen{x, headerY};
  ClientToScreen(h, &screen);
  SendMessageW(h, WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(screen.x, screen.y));
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + 10, headerY));
  SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + 10, 150));
  SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(x + 10, 150));
  stored = StoredLayout();
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->Storage.Column.Widths, (std::vector<uint16_t>{180, 96, 120, 120, 60}));
}

}  // namespace
}  // namespace kv
