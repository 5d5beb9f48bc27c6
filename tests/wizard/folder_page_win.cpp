// The folder page over the shell tests' namespace (fixture C:\kvtest): checks
// become scan paths and come back from them, non-ANSI folders included.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "base/ansi_text_win.h"
#include "shell/id_list_win.h"
#include "shell/namespace_win.h"
#include "tests/shell/shell_test_util.h"
#include "ui/forms_win.h"
#include "wizard/later_pages_win.h"

namespace kv {
namespace {

class FolderPage : public ::testing::Test {
 protected:
  TCheckboxDriveTree& NewPage() {
    ui::TForm& form = forms.emplace_back();  // one page to a form: the page's name is fixed
    auto& page = form.Create<TCheckboxDriveTree>();
    page.SetParent(&form);
    page.SetBounds(0, 0, 667, 459);
    return page;
  }
  PLazyNode Browse(TCheckboxDriveTree& page, const std::wstring& path) {
    TPidl list = PathToPIDL(path);
    if (!list || !page.SysTree->BrowseToByPIDL(list.get(), false, false, false, false)) return nullptr;
    return page.SysTree->FindNodeByPIDL(list.get());
  }
  void Click(TCheckboxDriveTree& page, const std::wstring& path) {
    PLazyNode node = Browse(page, path);
    ASSERT_NE(node, nullptr) << test::Narrow(path);
    TLazyExplorerTreeview& tree = *page.SysTree;
    TCheckState next = tree.DetermineNextCheckState(tree.GetCheckType(node), tree.GetCheckState(node));
    if (tree.DoChecking(node, next)) tree.DoCheckClick(node, next);
  }
  std::vector<std::string> Resolved(TCheckboxDriveTree& page) {
    page.GetResolvedPaths();
    std::vector<std::string> paths = page.Paths;
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  std::vector<std::string> Names(TCheckboxDriveTree& page, const std::wstring& folder) {
    std::vector<std::string> names;
    PLazyNode node = Browse(page, folder);
    if (!node) return names;
    for (PLazyNode n = page.SysTree->GetFirstChild(node); n; n = page.SysTree->GetNextSibling(n)) {
      TNamespace* ns = nullptr;
      if (page.SysTree->ValidateNamespace(n, ns)) names.push_back(test::Narrow(ns->GetNameForParsingInFolder()));
    }
    return names;
  }

  std::deque<ui::TForm> forms;
};

TEST_F(FolderPage, TreeHoldsFoldersButNoFilesOrZipFolders) {
  auto& page = NewPage();
  EXPECT_EQ(Names(page, test::kFixture + L"\\enum"), (std::vector<std::string>{".dotfolder", "alpha", "beta"}));
  EXPECT_TRUE(Names(page, test::kFixture + L"\\names").empty());
}

TEST_F(FolderPage, CheckedFoldersResolveToTheOutermost) {
  auto& page = NewPage();
  EXPECT_TRUE(Resolved(page).empty());
  Click(page, test::kFixture + L"\\enum\\alpha");
  Click(page, test::kFixture + L"\\enum");
  Click(page, test::kFixture + L"\\names");
  EXPECT_EQ(Resolved(page), (std::vector<std::string>{"C:\\kvtest\\enum", "C:\\kvtest\\names"}));
  EXPECT_EQ(page.SysTree->GetCheckState(Browse(page, test::kFixture)), csMixedNormal);
  EXPECT_EQ(page.SysTree->GetCheckState(Browse(page, test::kFixture + L"\\enum\\beta")), csCheckedNormal);
  // Its only subfolder checked, a folder holding files stays mixed: the
  // tree shows no files, so the folder's own files must not join the scan.
  Click(page, test::kFixture + L"\\sizes\\folder");
  EXPECT_EQ(page.SysTree->GetCheckState(Browse(page, test::kFixture + L"\\sizes")), csMixedNormal);
  EXPECT_EQ(Resolved(page), (std::vector<std::string>{"C:\\kvtest\\enum", "C:\\kvtest\\names",
                                                      "C:\\kvtest\\sizes\\folder"}));
  Click(page, test::kFixture + L"\\sizes\\folder");

  // Unchecking one child leaves its checked siblings, not the folder.
  Click(page, test::kFixture + L"\\enum\\alpha");
  EXPECT_EQ(Resolved(page), (std::vector<std::string>{"C:\\kvtest\\enum\\.dotfolder", "C:\\kvtest\\enum\\beta",
                                                      "C:\\kvtest\\names"}));
}

TEST_F(FolderPage, SetPathsChecksExactlyTheStoredPaths) {
  auto& first = NewPage();
  Click(first, test::kFixture + L"\\ops");
  // Another case, a trailing backslash, a folder inside a checked one, a
  // folder since removed and a path that is no folder at all.
  first.Paths = {"c:\\KVTEST\\enum\\", "C:\\kvtest\\enum\\alpha", "C:\\kvtest\\gone", "not a path", ""};
  first.SetPaths();
  EXPECT_EQ(Resolved(first), (std::vector<std::string>{"C:\\kvtest\\enum"}));
  EXPECT_EQ(first.SysTree->GetCheckState(Browse(first, test::kFixture + L"\\ops")), csUncheckedNormal);

  auto& second = NewPage();  // a page that never had these folders loaded
  second.Paths = {"C:\\kvtest\\sizes\\folder", "C:\\kvtest\\names"};
  second.SetPaths();
  EXPECT_EQ(Resolved(second), (std::vector<std::string>{"C:\\kvtest\\names", "C:\\kvtest\\sizes\\folder"}));
  EXPECT_EQ(second.SysTree->GetCheckState(Browse(second, test::kFixture + L"\\sizes")), csMixedNormal);
}

TEST_F(FolderPage, NonAnsiFolderTravelsAsItsShortForm) {
  const std::wstring folder = test::kFixture + L"\\\u041c\u0443\u0437\u044b\u043a\u0430 \u6771\u4eac";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  auto& first = NewPage();
  Click(first, folder);
  first.GetResolvedPaths();
  ASSERT_EQ(first.Paths.size(), 1u);
  const std::string stored = first.Paths[0];
  EXPECT_EQ(AnsiToWString(WStringToAnsi(AnsiToWString(stored))), AnsiToWString(stored));
  EXPECT_EQ(stored.find('?'), std::string::npos) << stored;
  EXPECT_EQ(PathFromAnsi(stored), folder);

  auto& second = NewPage();
  second.Paths = {stored};
  second.SetPaths();
  EXPECT_EQ(second.SysTree->GetCheckState(Browse(second, folder)), csCheckedNormal);
  EXPECT_EQ(Resolved(second), (std::vector<std::string>{stored}));
  // A folder the code page holds stays as it is.
  EXPECT_EQ(PathForAnsi(test::kFixture + L"\\names"), "C:\\kvtest\\names");
}

}  // namespace
}  // namespace kv

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return kv::test::RunInFixtureNamespace();
}
