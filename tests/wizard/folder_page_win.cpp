// The folder page over the shell tests' namespace (fixture C:\kvtest), driven
// by real clicks on the check boxes: three states in the tree and the list,
// checks that become scan paths and come back from them, non-ANSI folders
// included.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "engine/audio_environment_win.h"
#include "shell/id_list_win.h"
#include "shell/namespace_win.h"
#include "tests/shell/shell_test_util.h"
#include "tests/ui/ui_test_util.h"
#include "ui/forms_win.h"
#include "wizard/later_pages_win.h"
#include "wizard/scan_paths_win.h"

namespace kv {
namespace {

class FolderPage : public ::testing::Test {
 protected:
  TCheckboxDriveTree& NewPage() {
    ui::TForm& form = forms.emplace_back();  // one page to a form: the page's name is fixed
    auto& page = form.Create<TCheckboxDriveTree>();
    page.SetParent(&form);
    form.SetClientWidth(667);
    form.SetClientHeight(459);
    page.SetBounds(0, 0, 667, 459);
    form.Handle();  // real windows for the clicks; shown only for pictures
    return page;
  }
  PLazyNode Browse(TCheckboxDriveTree& page, const std::wstring& path) {
    TPidl list = PathToPIDL(path);
    if (!list || !page.SysTree->BrowseToByPIDL(list.get(), false, false, false, false)) return nullptr;
    return page.SysTree->FindNodeByPIDL(list.get());
  }
  // A real click on the node's check box.
  void Click(TCheckboxDriveTree& page, const std::wstring& path) {
    PLazyNode node = Browse(page, path);
    ASSERT_NE(node, nullptr) << test::Narrow(path);
    ClickBox(*page.SysTree, node);
  }
  // The client rectangle of the node's check box, found by hit tests.
  static RECT Box(TCustomLazyExplorerTree& tree, PLazyNode node) {
    tree.ScrollIntoView(node, false);
    const TLazyRect row = tree.GetDisplayRect(node, kNoColumn, false);
    const int y = (row.Top + row.Bottom) / 2;
    RECT box{-1, row.Top, -1, row.Bottom};
    for (int x = row.Left; x < row.Left + 300; ++x) {
      TTreeHitInfo info;
      tree.GetHitTestInfoAt(x, y, true, info);
      if (info.HitPositions.Contains(hpOnItemCheckbox)) {
        if (box.left < 0) box.left = x;
        box.right = x + 1;
      }
    }
    return box;
  }
  static void ClickBox(TCustomLazyExplorerTree& tree, PLazyNode node) {
    const RECT box = Box(tree, node);
    ASSERT_GE(box.left, 0) << "no check box on the row";
    const LPARAM at = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    SendMessageW(tree.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tree.Handle(), WM_LBUTTONUP, 0, at);
  }
  TCheckState State(TCheckboxDriveTree& page, const std::wstring& path) {
    PLazyNode node = page.SysTree->FindNode(path);
    EXPECT_NE(node, nullptr) << test::Narrow(path);
    return node ? page.SysTree->GetCheckState(node) : csUncheckedPressed;
  }
  // The states of the ancestors from C:\kvtest up to the desktop.
  std::vector<TCheckState> Ancestors(TCheckboxDriveTree& page) {
    std::vector<TCheckState> states;
    PLazyNode node = page.SysTree->FindNode(test::kFixture);
    for (; node && node != page.SysTree->RootNode(); node = node->Parent) states.push_back(page.SysTree->GetCheckState(node));
    return states;
  }
  // Selects the folder in the tree; the list follows.
  void Select(TCheckboxDriveTree& page, const std::wstring& path) {
    PLazyNode node = Browse(page, path);
    ASSERT_NE(node, nullptr) << test::Narrow(path);
    page.SysTree->ClearSelection();
    page.SysTree->SetSelected(node, true);
    page.SysTree->SetFocusedNode(node);
    TNamespace* shown = page.SysList->RootNamespace();
    ASSERT_TRUE(shown && shown->GetNameForParsing() == path) << test::Narrow(path);
  }
  PLazyNode Row(TCheckboxDriveTree& page, const std::wstring& name) {
    for (PLazyNode row = page.SysList->RootNode()->FirstChild; row; row = row->NextSibling) {
      TNamespace* ns = nullptr;
      if (page.SysList->ValidateNamespace(row, ns) && ns->GetNameForParsingInFolder() == name) return row;
    }
    ADD_FAILURE() << "no row " << test::Narrow(name);
    return nullptr;
  }
  // The list's rows in order, each with its state.
  std::vector<std::pair<std::string, TCheckState>> Rows(TCheckboxDriveTree& page) {
    std::vector<std::pair<std::string, TCheckState>> rows;
    for (PLazyNode row = page.SysList->RootNode()->FirstChild; row; row = row->NextSibling) {
      TNamespace* ns = nullptr;
      if (page.SysList->ValidateNamespace(row, ns))
        rows.emplace_back(test::Narrow(ns->GetNameForParsingInFolder()), page.SysList->GetCheckState(row));
    }
    return rows;
  }
  std::vector<std::string> Resolved(TCheckboxDriveTree& page) {
    page.GetResolvedPaths();
    std::vector<std::string> paths;
    for (const std::wstring& path : page.Paths) paths.push_back(WStringToAnsi(path));
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  // The in-folder names of the folder's loaded children, shown or hidden.
  std::vector<std::string> Names(TCheckboxDriveTree& page, const std::wstring& folder, bool shown) {
    std::vector<std::string> names;
    PLazyNode node = Browse(page, folder);
    if (!node) return names;
    page.SysTree->SetExpanded(node, true);
    for (PLazyNode n = node->FirstChild; n; n = n->NextSibling) {
      TNamespace* ns = nullptr;
      if (n->States.Contains(nsVisible) == shown && page.SysTree->ValidateNamespace(n, ns))
        names.push_back(test::Narrow(ns->GetNameForParsingInFolder()));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::deque<ui::TForm> forms;
};

using States = std::vector<TCheckState>;
using Strings = std::vector<std::string>;

TEST_F(FolderPage, TreeShowsFoldersHidesFilesAndLeavesOutZipFolders) {
  for (const wchar_t* folder : {L"\\zipped", L"\\zipped\\Archive.zip", L"\\zipped\\Upper.ZIP"})
    ASSERT_TRUE(CreateDirectoryW((test::kFixture + folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  auto& page = NewPage();
  EXPECT_EQ(Names(page, test::kFixture + L"\\enum", true), (Strings{".dotfolder", "alpha", "beta"}));
  EXPECT_EQ(Names(page, test::kFixture + L"\\enum", false), (Strings{".dotfile", "Folder.zip", "one.txt", "two.dat"}));
  EXPECT_EQ(Names(page, test::kFixture + L"\\zipped", true), (Strings{"Upper.ZIP"}));
  // A folder of files only shows no expand button.
  EXPECT_TRUE(Names(page, test::kFixture + L"\\names", true).empty());
  EXPECT_TRUE(page.SysTree->FindNode(test::kFixture + L"\\names")->States.Contains(nsAllChildrenHidden));
  EXPECT_FALSE(page.SysTree->FindNode(test::kFixture + L"\\enum")->States.Contains(nsAllChildrenHidden));
  // A file added to the open folder is hidden as it is initialised: the
  // tree's visible count and scroll height still match a walk over the rows
  // it shows.
  const std::wstring added = test::kFixture + L"\\enum\\added.txt";
  {
    const HANDLE file = CreateFileW(added.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  PLazyNode open = page.SysTree->FindNode(test::kFixture + L"\\enum");
  ASSERT_TRUE(open != nullptr && page.SysTree->Expanded(open));
  page.SysTree->ReReadAndRefreshNode(open, false);
  page.SysTree->ValidateChildren(open, false);
  DeleteFileW(added.c_str());
  EXPECT_EQ(Names(page, test::kFixture + L"\\enum", true), (Strings{".dotfolder", "alpha", "beta"}));
  std::uint32_t rows = 0;
  std::uint64_t height = 0;
  for (PLazyNode r = page.SysTree->GetFirstVisibleNoInit(); r; r = page.SysTree->GetNextVisibleNoInit(r)) {
    ++rows;
    height += r->NodeHeight;
  }
  EXPECT_EQ(page.SysTree->VisibleCount(), rows);
  EXPECT_EQ(page.SysTree->RootNode()->TotalHeight - page.SysTree->RootNode()->NodeHeight, height);
}

TEST_F(FolderPage, CheckTravelsDownToLoadedItemsAndUpToTheDesktop) {
  auto& page = NewPage();
  const std::wstring music = test::kFixture + L"\\Music";
  ASSERT_NE(Browse(page, music + L"\\Rock\\Live"), nullptr);
  Click(page, music);
  for (const wchar_t* item : {L"\\Rock", L"\\Jazz", L"\\c.mp3", L"\\Rock\\a.mp3", L"\\Rock\\Live"})
    EXPECT_EQ(State(page, music + item), csCheckedNormal) << test::Narrow(item);
  // C:\kvtest, C:, My Computer and the desktop.
  EXPECT_EQ(Ancestors(page), (States{csMixedNormal, csMixedNormal, csMixedNormal, csMixedNormal}));
  EXPECT_EQ(Resolved(page), (Strings{"C:\\kvtest\\Music"}));

  // One of three children unchecked: the folder and everything above it mixed.
  Click(page, music + L"\\Jazz");
  EXPECT_EQ(State(page, music), csMixedNormal);
  EXPECT_EQ(Ancestors(page), (States{csMixedNormal, csMixedNormal, csMixedNormal, csMixedNormal}));
  EXPECT_EQ(Resolved(page), (Strings{"C:\\kvtest\\Music\\Rock", "C:\\kvtest\\Music\\c.mp3"}));
  // Checked again, with its subfolder checked too: the folder alone is scanned.
  Click(page, music + L"\\Jazz");
  EXPECT_EQ(State(page, music), csCheckedNormal);
  EXPECT_EQ(Resolved(page), (Strings{"C:\\kvtest\\Music"}));
  // Unchecked from the top, nothing stays.
  Click(page, music);
  EXPECT_EQ(State(page, music + L"\\Rock\\Live"), csUncheckedNormal);
  EXPECT_EQ(Ancestors(page), (States{csUncheckedNormal, csUncheckedNormal, csUncheckedNormal, csUncheckedNormal}));
  EXPECT_TRUE(Resolved(page).empty());

  // A checked folder whose content was never read shows it checked when opened.
  const std::wstring enumPath = test::kFixture + L"\\enum";
  PLazyNode enumNode = Browse(page, enumPath);
  ASSERT_NE(enumNode, nullptr);
  ASSERT_EQ(enumNode->ChildCount, 0u);
  Click(page, enumPath);
  page.SysTree->SetExpanded(enumNode, true);
  EXPECT_EQ(State(page, enumPath + L"\\alpha"), csCheckedNormal);
  EXPECT_EQ(State(page, enumPath + L"\\one.txt"), csCheckedNormal);
  // A folder holding files with its only subfolder checked stays mixed:
  // its own files are not part of the choice.
  Click(page, test::kFixture + L"\\sizes\\folder");
  EXPECT_EQ(State(page, test::kFixture + L"\\sizes"), csMixedNormal);
  EXPECT_EQ(Resolved(page), (Strings{"C:\\kvtest\\enum", "C:\\kvtest\\sizes\\folder"}));
}

// How the whole Linux file system ("/", Z:) is kept out of a folder's check;
// the test prefix has neither, so another item stands in for them.
TEST_F(FolderPage, ACheckHeldBackOnTheWayDownLeavesItsFoldersMixed) {
  auto& page = NewPage();
  page.Synchronizer->OnPropagateCheck = [](TNamespace& item, bool& allow) {
    allow = item.GetNameForParsingInFolder() != L"alpha";
  };
  const std::wstring enumPath = test::kFixture + L"\\enum";
  ASSERT_NE(Browse(page, enumPath + L"\\alpha"), nullptr);
  Click(page, test::kFixture);
  EXPECT_EQ(State(page, enumPath + L"\\alpha"), csUncheckedNormal);
  EXPECT_EQ(State(page, enumPath + L"\\beta"), csCheckedNormal);
  EXPECT_EQ(State(page, enumPath), csMixedNormal);
  EXPECT_EQ(Ancestors(page), (States{csMixedNormal, csMixedNormal, csMixedNormal, csMixedNormal}));
  const Strings resolved = Resolved(page);
  EXPECT_EQ(std::count(resolved.begin(), resolved.end(), "C:\\kvtest\\names"), 1);
  EXPECT_EQ(std::count(resolved.begin(), resolved.end(), "C:\\kvtest"), 0);
  // Checked by itself, it completes its folder.
  Click(page, enumPath + L"\\alpha");
  EXPECT_EQ(State(page, enumPath), csCheckedNormal);
  EXPECT_EQ(State(page, test::kFixture), csCheckedNormal);
  // Checked in the list, the folder's row shows it mixed, as the tree does.
  Click(page, test::kFixture);
  Select(page, test::kFixture);
  ClickBox(*page.SysList, Row(page, L"enum"));
  EXPECT_EQ(State(page, enumPath), csMixedNormal);
  EXPECT_EQ(page.SysList->GetCheckState(Row(page, L"enum")), csMixedNormal);
  // Checked as far as it may be, the next click clears it, in either pane.
  ClickBox(*page.SysList, Row(page, L"enum"));
  EXPECT_EQ(State(page, enumPath), csUncheckedNormal);
  EXPECT_EQ(page.SysList->GetCheckState(Row(page, L"enum")), csUncheckedNormal);
  Click(page, enumPath);
  EXPECT_EQ(State(page, enumPath), csMixedNormal);
  Click(page, enumPath);
  EXPECT_EQ(State(page, enumPath), csUncheckedNormal);
  EXPECT_EQ(State(page, test::kFixture), csUncheckedNormal);
}

TEST_F(FolderPage, TheListShowsItsFolderAndChecksTravelBothWays) {
  using RowStates = std::vector<std::pair<std::string, TCheckState>>;
  auto& page = NewPage();
  const std::wstring music = test::kFixture + L"\\Music";
  Select(page, music);
  EXPECT_EQ(Rows(page), (RowStates{{"Jazz", csUncheckedNormal}, {"Rock", csUncheckedNormal}, {"c.mp3", csUncheckedNormal}}));
  // The list's folders are rows to open, not branches: no expand button.
  PLazyNode rock = Row(page, L"Rock");
  ASSERT_NE(rock, nullptr);
  page.SysList->InitNode(rock);
  EXPECT_FALSE(page.SysList->HasChildren(rock));
  // A mixed folder: each row shows its own item's state.
  Click(page, music + L"\\Rock");
  EXPECT_EQ(State(page, music), csMixedNormal);
  EXPECT_EQ(Rows(page), (RowStates{{"Jazz", csUncheckedNormal}, {"Rock", csCheckedNormal}, {"c.mp3", csUncheckedNormal}}));
  // A checked folder: every row.
  Click(page, music);
  EXPECT_EQ(Rows(page), (RowStates{{"Jazz", csCheckedNormal}, {"Rock", csCheckedNormal}, {"c.mp3", csCheckedNormal}}));
  Click(page, music);

  // A file checked in the list: its tree node, the folders above, the scan.
  ClickBox(*page.SysList, Row(page, L"c.mp3"));
  EXPECT_EQ(State(page, music + L"\\c.mp3"), csCheckedNormal);
  EXPECT_EQ(State(page, music), csMixedNormal);
  EXPECT_EQ(Ancestors(page), (States{csMixedNormal, csMixedNormal, csMixedNormal, csMixedNormal}));
  EXPECT_EQ(Resolved(page), (Strings{"C:\\kvtest\\Music\\c.mp3"}));
  // A folder checked in the list takes its loaded content along in the tree.
  ClickBox(*page.SysList, Row(page, L"Rock"));
  EXPECT_EQ(State(page, music + L"\\Rock\\a.mp3"), csCheckedNormal);
  EXPECT_EQ(Resolved(page), (Strings{"C:\\kvtest\\Music\\Rock", "C:\\kvtest\\Music\\c.mp3"}));
  // ... and the last one completes the folder.
  ClickBox(*page.SysList, Row(page, L"Jazz"));
  EXPECT_EQ(State(page, music), csCheckedNormal);
  EXPECT_EQ(Resolved(page), (Strings{"C:\\kvtest\\Music"}));

  // The folder above shows Music's row mixed once Music is mixed again.
  ClickBox(*page.SysList, Row(page, L"c.mp3"));
  Select(page, test::kFixture);
  EXPECT_EQ(page.SysList->GetCheckState(Row(page, L"Music")), csMixedNormal);
  EXPECT_EQ(page.SysList->GetCheckState(Row(page, L"enum")), csUncheckedNormal);
}

// Both panes side by side: the same state draws the same glyph in either,
// and the three states draw three different ones.
TEST_F(FolderPage, BothPanesDrawTheirCheckGlyphs) {
  auto& page = NewPage();
  ui::TForm& form = forms.back();
  form.Show();
  const std::wstring music = test::kFixture + L"\\Music";
  Select(page, music);
  page.SysTree->SetExpanded(page.SysTree->FindNode(music), true);
  Click(page, music + L"\\Rock");
  page.SysTree->SetTopNode(page.SysTree->FindNode(test::kFixture));
  // The mouse off the box it clicked, which would stay lit.
  SendMessageW(page.SysTree->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 400));
  const ui::TBitmap shot = ui::test::Screenshot(form, "folder_page");
  // The 11x11 pixels of the box drawn in the node's check area, from the top
  // left of its black frame (tree lines are grey).
  auto glyph = [&](TCustomLazyExplorerTree& view, PLazyNode node) {
    const RECT area = Box(view, node);
    auto px = [&](int x, int y) { return ui::test::PixelAt(shot, form, view.Handle(), x, y) & 0xFFFFFF; };
    int left = area.right, top = area.bottom;
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x)
        if (px(x, y) == 0) left = std::min(left, x), top = std::min(top, y);
    std::vector<uint32_t> pixels;
    for (int y = top; y < top + 11; ++y)
      for (int x = left; x < left + 11; ++x) pixels.push_back(px(x, y));
    EXPECT_GE(std::count(pixels.begin(), pixels.end(), 0u), 40) << "no box drawn";
    return pixels;
  };
  const auto treeMixed = glyph(*page.SysTree, page.SysTree->FindNode(music));
  const auto treeChecked = glyph(*page.SysTree, page.SysTree->FindNode(music + L"\\Rock"));
  const auto treeUnchecked = glyph(*page.SysTree, page.SysTree->FindNode(music + L"\\Jazz"));
  EXPECT_NE(treeMixed, treeChecked);
  EXPECT_NE(treeMixed, treeUnchecked);
  EXPECT_NE(treeChecked, treeUnchecked);
  EXPECT_EQ(glyph(*page.SysList, Row(page, L"Rock")), treeChecked);
  EXPECT_EQ(glyph(*page.SysList, Row(page, L"Jazz")), treeUnchecked);
  EXPECT_EQ(glyph(*page.SysList, Row(page, L"c.mp3")), treeUnchecked);
}

// Drive Z: maps the whole Linux file system in a user's prefix; here a drive
// letter defined for the process stands in for it (Wine lists it with the
// drives, though its files cannot be reached).
TEST_F(FolderPage, DriveZIsCheckedOnlyWhenItselfCheckedAndConfirmed) {
  if (!DefineDosDeviceW(0, L"Z:", test::kFixture.c_str())) GTEST_SKIP() << "no drive Z: can be defined";
  struct Unmap {
    ~Unmap() { DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Z:", nullptr); }
  } unmap;
  auto& page = NewPage();
  std::vector<std::wstring> asked;
  bool confirm = false;
  page.ConfirmWholeFileSystem = [&](const std::wstring& path) {
    asked.push_back(path);
    return confirm;
  };
  PLazyNode computer = page.SysTree->FindNodeByPIDL(DrivesFolder()->AbsolutePIDL());
  ASSERT_NE(computer, nullptr);
  PLazyNode drive = FindNamespace(*page.SysTree, computer, L"Z:\\");
  if (drive == nullptr) GTEST_SKIP() << "the shell does not list the drive";
  ClickBox(*page.SysTree, computer);
  EXPECT_EQ(page.SysTree->GetCheckState(drive), csUncheckedNormal);
  EXPECT_EQ(page.SysTree->GetCheckState(computer), csMixedNormal);
  EXPECT_EQ(page.SysTree->GetCheckState(page.SysTree->FindNode(L"C:\\")), csCheckedNormal);
  EXPECT_TRUE(asked.empty());
  ClickBox(*page.SysTree, drive);
  EXPECT_EQ(asked, (std::vector<std::wstring>{L"Z:\\"}));
  EXPECT_EQ(page.SysTree->GetCheckState(drive), csUncheckedNormal);
  confirm = true;
  ClickBox(*page.SysTree, drive);
  EXPECT_EQ(page.SysTree->GetCheckState(drive), csCheckedNormal);
  EXPECT_EQ(page.SysTree->GetCheckState(computer), csCheckedNormal);
}

// The page only chooses what to scan: F2, a right click and the menu key
// rename nothing and open no shell menu (Cut, Delete, Rename) in either pane.
TEST_F(FolderPage, F2AndRightClicksChangeNothingOnDisk) {
  auto& page = NewPage();
  forms.back().Show();
  const std::wstring music = test::kFixture + L"\\Music";
  Select(page, music);
  int menus = 0;
  for (TCustomLazyExplorerTree* view : {static_cast<TCustomLazyExplorerTree*>(page.SysTree),
                                        static_cast<TCustomLazyExplorerTree*>(page.SysList)}) {
    view->OnContextMenuShow = [&menus](TCustomLazyExplorerTree&, TNamespace&, HMENU, bool& allow) {
      ++menus;
      allow = false;
    };
  }
  PLazyNode row = Row(page, L"Rock");
  ASSERT_NE(row, nullptr);
  page.SysList->SetSelected(row, true);
  page.SysList->SetFocusedNode(row);
  for (TCustomLazyExplorerTree* view : {static_cast<TCustomLazyExplorerTree*>(page.SysTree),
                                        static_cast<TCustomLazyExplorerTree*>(page.SysList)}) {
    SetFocus(view->Handle());
    SendMessageW(view->Handle(), WM_KEYDOWN, VK_F2, 0);
    EXPECT_FALSE(view->IsEditing());
    SendMessageW(view->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view->Handle()), -1);
    PLazyNode node = view->GetFirstSelected();
    ASSERT_NE(node, nullptr);
    const TLazyRect r = view->GetDisplayRect(node, kNoColumn, true);
    POINT at{r.Left + 3, (r.Top + r.Bottom) / 2};
    SendMessageW(view->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
    SendMessageW(view->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    ClientToScreen(view->Handle(), &at);
    SendMessageW(view->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view->Handle()), MAKELPARAM(at.x, at.y));
  }
  EXPECT_EQ(menus, 0);
  EXPECT_NE(GetFileAttributesW((music + L"\\Rock").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(page.SysTree->TreeOptions().MiscOptions() & (toEditable | toAcceptOLEDrop));
  EXPECT_FALSE(page.SysList->TreeOptions().MiscOptions() & (toEditable | toAcceptOLEDrop));
}

TEST_F(FolderPage, SetPathsChecksExactlyTheStoredPaths) {
  auto& first = NewPage();
  Click(first, test::kFixture + L"\\ops");
  // Another case, a trailing backslash, a folder inside a checked one, a
  // folder since removed and a path that is no folder at all.
  first.Paths = {L"c:\\KVTEST\\enum\\", L"C:\\kvtest\\enum\\alpha", L"C:\\kvtest\\gone", L"not a path", L""};
  first.SetPaths();
  EXPECT_EQ(Resolved(first), (std::vector<std::string>{"C:\\kvtest\\enum"}));
  EXPECT_EQ(first.SysTree->GetCheckState(Browse(first, test::kFixture + L"\\ops")), csUncheckedNormal);

  auto& second = NewPage();  // a page that never had these folders loaded
  second.Paths = {L"C:\\kvtest\\sizes\\folder", L"C:\\kvtest\\names"};
  second.SetPaths();
  EXPECT_EQ(Resolved(second), (std::vector<std::string>{"C:\\kvtest\\names", "C:\\kvtest\\sizes\\folder"}));
  EXPECT_EQ(second.SysTree->GetCheckState(Browse(second, test::kFixture + L"\\sizes")), csMixedNormal);
}

// A folder the code page cannot hold travels by its full wide name, to the
// scan and (stored exactly) to the settings, also where there is no short
// name to fall back on.
TEST_F(FolderPage, NonAnsiFolderTravelsByItsExactName) {
  const std::wstring folder = test::kFixture + L"\\\u041c\u0443\u0437\u044b\u043a\u0430 \u6771\u4eac \U0001F3B5";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  SetShortPathLookup([](const std::wstring&) { return std::wstring(); });
  ScopeGuard restore([] { SetShortPathLookup(nullptr); });
  auto& first = NewPage();
  Click(first, folder);
  first.GetResolvedPaths();
  ASSERT_EQ(first.Paths.size(), 1u);
  EXPECT_EQ(first.Paths[0], folder);
  const std::string stored = StoredPathOf(first.Paths[0]);
  EXPECT_EQ(stored.find('?'), std::string::npos) << stored;
  EXPECT_EQ(ExpandStoredPath(stored), folder);

  auto& second = NewPage();
  second.Paths = {ExpandStoredPath(stored)};
  second.SetPaths();
  EXPECT_EQ(second.SysTree->GetCheckState(Browse(second, folder)), csCheckedNormal);
  second.GetResolvedPaths();
  EXPECT_EQ(second.Paths, (std::vector<std::wstring>{folder}));
  // A folder the code page holds stays as it is.
  EXPECT_EQ(PathForAnsi(test::kFixture + L"\\names"), "C:\\kvtest\\names");
  EXPECT_EQ(StoredPathOf(test::kFixture + L"\\names"), "C:\\kvtest\\names");
}

// A synchroniser made for another application sets the views up through its
// own SetupEvents when they are attached.
TEST(CheckboxSynchronizer, AttachingAViewGoesThroughTheOverridableSetup) {
  struct Counting : TLazyCheckboxesSynchronizer {
    std::vector<bool> calls;
    void SetupEvents(bool restore) override {
      calls.push_back(restore);
      TLazyCheckboxesSynchronizer::SetupEvents(restore);
    }
  };
  ui::TForm form;
  auto& tree = form.Create<TLazyExplorerTreeview>();
  auto& list = form.Create<TLazyExplorerListview>();
  Counting sync;
  sync.SetLazyExplorerTreeview(&tree);
  EXPECT_EQ(sync.calls, std::vector<bool>{false});
  EXPECT_TRUE(tree.OnEnumFolder);
  sync.SetLazyExplorerListview(&list);
  EXPECT_EQ(sync.calls, (std::vector<bool>{false, false}));
  EXPECT_TRUE(list.OnChecked);
  sync.SetLazyExplorerListview(nullptr);
  sync.SetLazyExplorerTreeview(nullptr);
  EXPECT_FALSE(tree.OnEnumFolder);
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return kv::test::RunInFixtureNamespace();
}
