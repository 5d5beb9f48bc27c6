// The linked folder tree and file list over the fixture's namespace, the
// change dispatcher between them and the list's column menu.
#include "shell/explorer_views_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "shell/column_settings_win.h"
#include "shell_test_util.h"
#include "tests/ui/ui_test_util.h"
#include "ui/forms_win.h"
#include "ui/layout_loader_win.h"

namespace kv {
namespace {

using ui::test::Pump;

std::wstring ParseName(TNamespace* ns) { return ns ? ns->GetNameForParsing() : L""; }

// The folder page's pair as its layout declares it: each view names the other.
class LinkedViews : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterExplorerTreeClasses();
    const std::string text =
        "object F: TForm\n"
        "  object SysTree: TLazyExplorerTreeview\n"
        "    Left = 0\n    Top = 0\n    Width = 240\n    Height = 400\n"
        "    FileObjects = [foFolders, foHidden]\n"
        "    LazyExplorerListview = FileList\n"
        "    TreeOptions.ExplorerSyncOptions = [toExpandTarget, toSelectTarget]\n"
        "    Active = true\n"
        "  end\n"
        "  object FileList: TLazyExplorerListview\n"
        "    Left = 244\n    Top = 0\n    Width = 470\n    Height = 400\n"
        "    LazyExplorerTreeview = SysTree\n"
        "    TreeOptions.ExplorerSyncOptions = [toExpandTarget, toSelectTarget]\n"
        "    Active = true\n"
        "  end\n"
        "end\n";
    ui::BuildLayout(form, ui::ParseLayout(text, "pair.layout"), "pair.layout");
    tree = &form.Get<TLazyExplorerTreeview>("SysTree");
    list = &form.Get<TLazyExplorerListview>("FileList");
    form.SetClientWidth(720);
    form.SetClientHeight(400);
    form.Show();
    list->OnRootRebuild = [this](TCustomLazyExplorerTree&) { ++listRebuilds; };
    tree->SetRootFolderCustomPath(test::kFixture);
    Pump(50);
  }
  PLazyNode ListNode(const std::wstring& name) {
    for (PLazyNode n = list->GetFirstChild(nullptr); n; n = list->GetNextSibling(n)) {
      TNamespace* ns = nullptr;
      if (list->ValidateNamespace(n, ns) && ns->GetNameInFolder() == name) return n;
    }
    return nullptr;
  }
  std::wstring TreeSelection() {
    TNamespace* ns = nullptr;
    return tree->ValidateNamespace(tree->GetFirstSelected(), ns) ? ns->GetNameForParsing() : L"";
  }
  void SelectInTree(const std::wstring& path) {
    TPidl pidl = PathToPIDL(path);
    ASSERT_TRUE(pidl && tree->BrowseToByPIDL(pidl.get(), false, false, false, true));
    Pump(50);
  }
  void DoubleClick(PLazyNode node) {
    const TLazyRect r = list->GetDisplayRect(node, 0, true);
    const LPARAM at = MAKELPARAM(r.Left + 20, (r.Top + r.Bottom) / 2);
    HWND h = list->Handle();
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(h, WM_LBUTTONUP, 0, at);
    SendMessageW(h, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(h, WM_LBUTTONUP, 0, at);
    Pump(50);
  }

  ui::TForm form;
  TLazyExplorerTreeview* tree = nullptr;
  TLazyExplorerListview* list = nullptr;
  int listRebuilds = 0;
};

TEST_F(LinkedViews, TreeSelectionShowsTheFolderAndListBrowsingSelectsInTheTree) {
  EXPECT_EQ(tree->LazyExplorerListview(), list);
  EXPECT_EQ(list->LazyExplorerTreeview(), tree);
  SelectInTree(test::kFixture + L"\\Music");
  EXPECT_EQ(ParseName(list->RootNamespace()), test::kFixture + L"\\Music");
  ASSERT_TRUE(ListNode(L"Rock") && ListNode(L"Jazz") && ListNode(L"c.mp3"));
  // The shell's columns of the folder: the file's size is a detail text.
  EXPECT_EQ(list->ShellColumnCount(), 5);
  EXPECT_EQ(list->Header().Columns().Count(), 5);
  EXPECT_EQ(list->Header().Columns()[1].Text(), L"Size");
  EXPECT_FALSE(list->GetText(ListNode(L"c.mp3"), 1).empty());

  // Into a subfolder from the list: the tree follows, and its own change
  // does not make the list browse a second time.
  const int before = listRebuilds;
  PLazyNode rock = ListNode(L"Rock");
  DoubleClick(rock);
  EXPECT_EQ(ParseName(list->RootNamespace()), test::kFixture + L"\\Music\\Rock");
  EXPECT_EQ(TreeSelection(), test::kFixture + L"\\Music\\Rock");
  Pump(100);
  EXPECT_EQ(listRebuilds, before + 1);
  ASSERT_NE(ListNode(L"a.mp3"), nullptr);

  // Both panes as the user sees them: the tree's selected row is highlighted,
  // the list shows text in its name and size columns.
  ::SetFocus(list->Handle());
  const ui::TBitmap shot = ui::test::Screenshot(form, "linked_views");
  test::KeepShot(shot, "linked_views");
  const TLazyRect treeRow = tree->GetDisplayRect(tree->GetFirstSelected(), kNoColumn, true);
  std::set<uint32_t> rowColours;
  for (int x = treeRow.Left; x < treeRow.Right; ++x)
    rowColours.insert(ui::test::PixelAt(shot, form, tree->Handle(), x, (treeRow.Top + treeRow.Bottom) / 2));
  EXPECT_GT(rowColours.size(), 2u);  // background, text, icon
  auto darkIn = [&](PLazyNode node, TColumnIndex column) {
    const TLazyRect r = list->GetDisplayRect(node, column, false);
    int dark = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) {
        const uint32_t px = ui::test::PixelAt(shot, form, list->Handle(), x, y);
        if (((px >> 16) & 0xFF) + ((px >> 8) & 0xFF) + (px & 0xFF) < 200) ++dark;
      }
    return dark;
  };
  PLazyNode a = ListNode(L"a.mp3");
  EXPECT_GT(darkIn(a, 0), 10);
  EXPECT_GT(darkIn(a, 1), 3);
  EXPECT_EQ(darkIn(ListNode(L"Live"), 1), 0);  // a folder has no size, and icons stay in the name column
}

TEST_F(LinkedViews, LimitToTheTreesRootAndBrowsingToAFile) {
  tree->SetRootFolderCustomPath(test::kFixture + L"\\Music");
  list->SetExplorerMiscOptions(list->ExplorerMiscOptions() | toListviewLimitBrowseToRoot);
  Pump(50);
  ASSERT_EQ(ParseName(list->RootNamespace()), test::kFixture + L"\\Music");
  ASSERT_NE(list->BackBrowseRoot(), nullptr);
  ::SetFocus(list->Handle());
  SendMessageW(list->Handle(), WM_KEYDOWN, VK_BACK, 0);
  EXPECT_EQ(ParseName(list->RootNamespace()), test::kFixture + L"\\Music");
  TPidl outside = PathToPIDL(test::kFixture + L"\\enum");
  EXPECT_FALSE(list->BrowseToByPIDL(outside.get(), false, false, false, true));
  EXPECT_EQ(ParseName(list->RootNamespace()), test::kFixture + L"\\Music");

  // A file: its folder is shown and the file selected.
  TPidl file = PathToPIDL(test::kFixture + L"\\Music\\Rock\\a.mp3");
  EXPECT_TRUE(list->BrowseToByPIDL(file.get(), false, false, false, true));
  EXPECT_EQ(ParseName(list->RootNamespace()), test::kFixture + L"\\Music\\Rock");
  TNamespace* selected = nullptr;
  ASSERT_TRUE(list->ValidateNamespace(list->GetFirstSelected(), selected));
  EXPECT_EQ(selected->GetNameInFolder(), L"a.mp3");
  // Up one level inside the limit.
  SendMessageW(list->Handle(), WM_KEYDOWN, VK_BACK, 0);
  EXPECT_EQ(ParseName(list->RootNamespace()), test::kFixture + L"\\Music");
}

}  // namespace
}  // namespace kv
