// The explorer tree over the test prefix's namespace, in the folder page's settings.
#include "shell/explorer_tree_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "counting_tree_win.h"
#include "explorer_tree_test_util.h"
#include "shell/auto_complete_win.h"
#include "shell_test_util.h"
#include "ui/forms_win.h"
#include "ui/layout_loader_win.h"
#include "tests/ui/ui_test_util.h"

namespace kv {
namespace {

using CountingTree = test::CountingTree<TLazyExplorerTreeview>;

class ExplorerTree : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = &form.Create<CountingTree>();
    tree->SetParent(&form);
    tree->SetBounds(0, 0, 300, 400);
    tree->SetFileObjects(foFolders | foNonFolders | foHidden);
    tree->SetExplorerFolderOptions(toFoldersExpandable | toForceHideRecycleBin);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
    tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() | toAutoTristateTracking);
    // As the folder page does: every item carries a three-state box.
    tree->OnInitNode = [](TLazyTreeModel&, PLazyNode, PLazyNode node, TLazyNodeInitStates&) {
      node->CheckType = ctTriStateCheckBox;
    };
    tree->SetActive(true);
  }
  std::vector<std::string> Names(PLazyNode parent) { return test::NodeNames(*tree, parent); }
  std::string Text(PLazyNode node) { return test::NodeName(*tree, node); }
  PLazyNode Browse(const std::wstring& path) {
    TPidl list = PathToPIDL(path);
    if (!list || !tree->BrowseToByPIDL(list.get(), false, false, false, true)) return nullptr;
    return tree->FindNodeByPIDL(list.get());
  }
  void Click(PLazyNode node) {
    tree->DoCheckClick(node, tree->DetermineNextCheckState(tree->GetCheckType(node), tree->GetCheckState(node)));
  }
  std::vector<std::wstring> Resolved() {
    std::vector<std::wstring> out;
    for (const auto& p : tree->GetNewStorage()->GetResolvedFileNamesW()) out.emplace_back(p.begin(), p.end());
    std::sort(out.begin(), out.end());
    return out;
  }

  ui::TForm form;
  CountingTree* tree = nullptr;
};

TEST_F(ExplorerTree, FolderPageShowsTheDesktopExpanded) {
  ASSERT_EQ(tree->RootNodeCount(), 1u);
  PLazyNode desktop = tree->GetFirst();
  EXPECT_TRUE(tree->Expanded(desktop));
  auto top = Names(desktop);
  EXPECT_NE(std::find(top.begin(), top.end(), "My Computer"), top.end());
  EXPECT_NE(std::find(top.begin(), top.end(), "Documents"), top.end());
  EXPECT_EQ(std::find(top.begin(), top.end(), "Trash"), top.end());
  PLazyNode computer = tree->GetFirstChild(desktop);
  while (computer && Text(computer) != "My Computer") computer = tree->GetNextSibling(computer);
  ASSERT_NE(computer, nullptr);
  tree->SetExpanded(computer, true);
  auto drives = Names(computer);
  EXPECT_TRUE(std::any_of(drives.begin(), drives.end(), [](auto& n) { return n.find("C:") != std::string::npos; }));
  EXPECT_NE(std::find(drives.begin(), drives.end(), "Control Panel"), drives.end());
}

// The explorer trees' own paint options, not added to the plain tree's: the
// root folder's node has no root line or button and starts at the left edge.
TEST_F(ExplorerTree, TheRootNodeStartsAtTheLeftEdgeWithoutAButton) {
  constexpr uint32_t kPaint = toShowButtons | toShowTreeLines | toUseBlendedImages | toGhostedIfUnfocused;
  TLazyExplorerTree plain;
  EXPECT_EQ(plain.TreeOptions().PaintOptions(), kPaint);
  EXPECT_EQ(tree->TreeOptions().PaintOptions(), kPaint);

  PLazyNode desktop = tree->GetFirst();
  ASSERT_NE(desktop, nullptr);
  ASSERT_TRUE(tree->HasChildren(desktop));
  const TLazyRect row = tree->GetDisplayRect(desktop, kNoColumn, true);
  TTreeHitInfo hit;
  tree->GetHitTestInfoAt(static_cast<int>(tree->Indent()) / 2, (row.Top + row.Bottom) / 2, true, hit);
  EXPECT_EQ(hit.HitNode, desktop);
  EXPECT_FALSE(hit.HitPositions.Contains(hpOnItemButton));
  // Its children one indent in: their buttons take that first indent.
  PLazyNode child = tree->GetFirstChild(desktop);
  while (child && !tree->HasChildren(child)) child = tree->GetNextSibling(child);
  ASSERT_NE(child, nullptr);
  const TLazyRect childRow = tree->GetDisplayRect(child, kNoColumn, true);
  EXPECT_EQ(childRow.Left - row.Left, static_cast<int>(tree->Indent()));
  tree->GetHitTestInfoAt(static_cast<int>(tree->Indent()) / 2, (childRow.Top + childRow.Bottom) / 2, true, hit);
  EXPECT_EQ(hit.HitNode, child);
  EXPECT_TRUE(hit.HitPositions.Contains(hpOnItemButton));
}

TEST_F(ExplorerTree, ChecksLiveInTheStorageAcrossCollapseAndRefresh) {
  const std::wstring enumPath = test::kFixture + L"\\enum", names = test::kFixture + L"\\names";
  // Not found before its parent was read; browsing reads the way.
  EXPECT_EQ(tree->FindNode(enumPath), nullptr);
  PLazyNode enumNode = Browse(enumPath);
  ASSERT_NE(enumNode, nullptr);
  tree->SetExpanded(enumNode, true);
  Click(enumNode);
  EXPECT_EQ(tree->GetCheckState(enumNode), csCheckedNormal);
  PLazyNode namesNode = Browse(names);
  ASSERT_NE(namesNode, nullptr);
  Click(namesNode);
  EXPECT_EQ(Resolved(), (std::vector<std::wstring>{enumPath, names}));  // enum's checked children drop out
  PLazyNode kvtest = tree->FindNode(test::kFixture);
  ASSERT_NE(kvtest, nullptr);
  EXPECT_EQ(tree->GetCheckState(kvtest), csMixedNormal);

  // Collapse and expand again, re-read, refresh: the checks come back from the storage.
  tree->SetExpanded(kvtest, false);
  tree->DeleteChildren(kvtest, false);
  tree->SetExpanded(kvtest, true);
  enumNode = tree->FindNode(enumPath);
  ASSERT_NE(enumNode, nullptr);
  EXPECT_EQ(tree->GetCheckState(enumNode), csCheckedNormal);

  int expanded = 0;  // shown expanded: every ancestor expanded too
  for (PLazyNode n = tree->GetFirstNoInit(); n; n = tree->GetNextNoInit(n)) {
    bool shown = tree->Expanded(n);
    for (PLazyNode p = n->Parent; shown && p && p != tree->RootNode(); p = p->Parent) shown = tree->Expanded(p);
    if (shown) ++expanded;
  }
  tree->enumerations = 0;
  tree->RefreshTree();
  EXPECT_EQ(tree->enumerations, expanded);  // only the folders that were expanded
  enumNode = tree->FindNode(enumPath);
  ASSERT_NE(enumNode, nullptr);
  EXPECT_EQ(tree->GetCheckState(enumNode), csCheckedNormal);
  EXPECT_EQ(tree->GetCheckState(tree->FindNode(test::kFixture)), csMixedNormal);

  tree->enumerations = 0;
  tree->InitAllNodes();
  EXPECT_EQ(tree->enumerations, 0);

  tree->RebuildRootNamespace();
  ASSERT_NE(Browse(enumPath), nullptr);
  EXPECT_EQ(tree->GetCheckState(tree->FindNode(enumPath)), csCheckedNormal);
  // Unchecking removes it from the result.
  Click(tree->FindNode(enumPath));
  EXPECT_EQ(Resolved(), (std::vector<std::wstring>{names}));
}

// Three sibling folders with the same icon, unchecked, checked and mixed: their
// box-and-icon strips differ pairwise, and each shows an icon's colours.
TEST_F(ExplorerTree, BoxesAndIconsArePainted) {
  form.SetClientWidth(320);
  form.SetClientHeight(420);
  form.Show();
  PLazyNode alpha = Browse(test::kFixture + L"\\enum\\alpha");
  ASSERT_NE(alpha, nullptr);
  Click(alpha);  // enum becomes mixed
  PLazyNode names = tree->FindNode(test::kFixture + L"\\names");
  PLazyNode ops = tree->FindNode(test::kFixture + L"\\ops");
  PLazyNode enumNode = tree->FindNode(test::kFixture + L"\\enum");
  ASSERT_TRUE(names && ops && enumNode);
  Click(names);
  tree->SetExpanded(enumNode, false);
  tree->ClearSelection();
  tree->SetFocusedNode(nullptr);
  tree->SetTopNode(tree->FindNode(test::kFixture));
  ASSERT_EQ(tree->GetCheckState(enumNode), csMixedNormal);
  const ui::TBitmap shot = ui::test::Screenshot(form, "explorer_tree_checks");
  {  // the shell prefix has no drive for the build folder: keep a copy in the fixture
    const std::string bmp = shot.ToBmpFile();
    std::ofstream("C:\\kvtest\\explorer_tree_checks.bmp", std::ios::binary)
        .write(bmp.data(), std::streamsize(bmp.size()));
  }
  auto strip = [&](PLazyNode node, int& colours) {
    // Middle siblings with buttons: their rows differ in the box only.
    TLazyRect row = tree->GetDisplayRect(node, kNoColumn, false);
    std::vector<uint32_t> pixels;
    std::set<uint32_t> distinct;
    for (int y = row.Top + 1; y < row.Bottom - 1; ++y)
      for (int x = 0; x < 200; ++x) {
        uint32_t px = ui::test::PixelAt(shot, form, tree->Handle(), x, y);
        pixels.push_back(px);
        distinct.insert(px);
      }
    colours = static_cast<int>(distinct.size());
    return pixels;
  };
  int c1 = 0, c2 = 0, c3 = 0;
  auto unchecked = strip(ops, c1), checked = strip(names, c2), mixed = strip(enumNode, c3);
  EXPECT_NE(unchecked, checked);
  EXPECT_NE(unchecked, mixed);
  EXPECT_NE(checked, mixed);
  EXPECT_GT(c1, 5);  // a folder icon, not only a box on the background
}

TEST_F(ExplorerTree, RefreshKeepsExpansionAndASelectionAfterADeletedItemIsLost) {
  const std::wstring base = test::kFixture + L"\\refresh";
  CreateDirectoryW(base.c_str(), nullptr);
  for (const wchar_t* f : {L"\\A", L"\\A\\B", L"\\A\\B\\x", L"\\A\\C", L"\\A\\C\\y"})
    CreateDirectoryW((base + f).c_str(), nullptr);
  for (const wchar_t* f : {L"\\a.txt", L"\\b.txt", L"\\c.txt"})
    CloseHandle(CreateFileW((base + f).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  PLazyNode b = Browse(base + L"\\A\\B");
  ASSERT_NE(b, nullptr);
  tree->SetExpanded(b, true);
  PLazyNode c = tree->FindNode(base + L"\\A\\C");
  tree->SetExpanded(c, true);
  // The deepest expanded nodes are kept in tree order.
  tree->Persistent().SaveTree(*tree, false, false);
  std::vector<std::wstring> leaves;
  for (const auto& leaf : tree->Persistent().LeafNodes)
    if (leaf.PIDL) leaves.push_back(TNamespace(TPIDLManager::CopyPIDL(leaf.PIDL.get()), nullptr).GetNameForParsing());
  auto at = [&](const std::wstring& path) { return std::find(leaves.begin(), leaves.end(), path) - leaves.begin(); };
  EXPECT_LT(at(base + L"\\A\\B"), at(base + L"\\A\\C"));
  EXPECT_LT(at(base + L"\\A\\C"), static_cast<std::ptrdiff_t>(leaves.size()));
  tree->SetExpanded(c, false);
  // Two files selected; the first of them in the folder's order goes away.
  tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toMultiSelect);
  PLazyNode fa = tree->FindNode(base + L"\\a.txt"), fb = tree->FindNode(base + L"\\b.txt");
  ASSERT_TRUE(fa && fb);
  tree->ClearSelection();
  tree->SetSelected(fa, true);
  tree->SetSelected(fb, true);
  ASSERT_EQ(tree->SelectedCount(), 2u);
  tree->Persistent().SaveTree(*tree, true, true);
  ASSERT_EQ(tree->Persistent().SelectedPIDLs.size(), 2u);
  ASSERT_TRUE(DeleteFileW((base + L"\\a.txt").c_str()));
  tree->Persistent().RestoreTree(*tree, true, false, true);
  EXPECT_TRUE(tree->Expanded(tree->FindNode(base + L"\\A\\B")));
  EXPECT_FALSE(tree->Expanded(tree->FindNode(base + L"\\A\\C")));
  std::vector<std::string> selected;
  for (PLazyNode n = tree->GetFirstSelected(); n; n = tree->GetNextSelected(n)) selected.push_back(Text(n));
  // The vanished first entry holds the restore: b.txt, sorted after it, is not selected again.
  EXPECT_TRUE(selected.empty());
  EXPECT_EQ(tree->FindNode(base + L"\\a.txt"), nullptr);

  // With nothing gone, both come back.
  fb = tree->FindNode(base + L"\\b.txt");
  PLazyNode fc = tree->FindNode(base + L"\\c.txt");
  ASSERT_TRUE(fb && fc);
  tree->ClearSelection();
  tree->SetSelected(fb, true);
  tree->SetSelected(fc, true);
  tree->Persistent().SaveTree(*tree, true, true);
  tree->Persistent().RestoreTree(*tree, true, false, true);
  selected.clear();
  for (PLazyNode n = tree->GetFirstSelected(); n; n = tree->GetNextSelected(n)) selected.push_back(Text(n));
  EXPECT_EQ(selected, (std::vector<std::string>{"b.txt", "c.txt"}));
}

TEST_F(ExplorerTree, CustomAndHiddenRoots) {
  tree->SetRootFolderCustomPath(test::kFixture);
  EXPECT_EQ(tree->RootFolder(), TRootFolder::rfCustom);
  TNamespace* ns = nullptr;
  ASSERT_TRUE(tree->ValidateNamespace(tree->GetFirst(), ns));
  EXPECT_EQ(ns->GetNameForParsing(), test::kFixture);
  tree->SetRootFolderCustomPath(test::kFixture + L"\\no such folder");  // refused
  EXPECT_EQ(tree->RootFolderCustomPath(), test::kFixture + L"\\");
  tree->SetExplorerFolderOptions(toFoldersExpandable | toHideRootFolder);
  auto top = Names(nullptr);
  EXPECT_NE(std::find(top.begin(), top.end(), "enum"), top.end());
  EXPECT_NE(std::find(top.begin(), top.end(), "names"), top.end());
}

// With tri-state tracking a stored check shows on every folder above it, the
// hidden root included, when the top level is read again.
TEST_F(ExplorerTree, AStoredCheckAtTheTopLevelShowsInTheHiddenRoot) {
  const std::wstring enumPath = test::kFixture + L"\\enum";
  tree->SetRootFolderCustomPath(test::kFixture);
  tree->SetExplorerFolderOptions(toFoldersExpandable | toHideRootFolder);
  PLazyNode enumNode = tree->FindNode(enumPath);
  ASSERT_NE(enumNode, nullptr);
  tree->InitNode(enumNode);
  Click(enumNode);
  ASSERT_EQ(tree->GetCheckState(enumNode), csCheckedNormal);
  tree->RootNode()->CheckState = csUncheckedNormal;
  tree->RebuildRootNamespace();
  enumNode = tree->FindNode(enumPath);
  ASSERT_NE(enumNode, nullptr);
  tree->InitNode(enumNode);
  EXPECT_EQ(tree->GetCheckState(enumNode), csCheckedNormal);
  EXPECT_EQ(tree->RootNode()->CheckState, csMixedNormal);
}

// Without expandable folders only the root folder's node opens: any other
// folder asked to read its items loses its button.
TEST_F(ExplorerTree, WithoutExpandableFoldersOnlyTheRootOpens) {
  tree->SetRootFolderCustomPath(test::kFixture);
  tree->SetExplorerFolderOptions(toForceHideRecycleBin);
  PLazyNode top = tree->GetFirst();
  ASSERT_NE(top, nullptr);
  TCustomLazyExplorerTree& base = *tree;
  EXPECT_GT(base.ExpandNamespaceFolder(top), 0u);
  PLazyNode own = tree->AddCustomNode(top, TNamespace::CreateFromFileName(test::kFixture + L"\\Music"), ctNone, false);
  ASSERT_NE(own, nullptr);
  tree->InitNode(own);
  tree->SetHasChildren(own, true);
  EXPECT_EQ(base.ExpandNamespaceFolder(own), 0u);
  EXPECT_FALSE(tree->HasChildren(own));
}

TEST(ExplorerTreeLayout, TheFolderPagesTreeLoads) {
  RegisterExplorerTreeClasses();
  ui::TForm form;
  const std::string text =
      "object F: TForm\n"
      "  object SysTree: TLazyExplorerTreeview\n"
      "    Width = 241\n"
      "    Height = 300\n"
      "    FileObjects = [foFolders, foNonFolders, foHidden]\n"
      "    TreeOptions.AutoOptions = [toAutoScroll, toAutoHideButtons]\n"
      "    TreeOptions.MiscOptions = [toCheckSupport, toToggleOnDblClick]\n"
      "    TreeOptions.ExplorerFolderOptions = [toFoldersExpandable, toForceHideRecycleBin]\n"
      "    TreeOptions.ExplorerSyncOptions = [toExpandTarget, toSelectTarget]\n"
      "    TreeOptions.ExplorerMiscOptions = [toBrowseExecuteFolder, toBrowseExecuteFolderShortcut, "
      "toChangeNotifierThread]\n"
      "    TreeOptions.ExplorerImageOptions = [toImages, toThreadedImages]\n"
      "    Active = true\n"
      "  end\n"
      "end\n";
  ui::BuildLayout(form, ui::ParseLayout(text, "folders.layout"), "folders.layout");
  auto& tree = form.Get<TLazyExplorerTreeview>("SysTree");
  EXPECT_EQ(tree.FileObjects(), uint32_t{foFolders | foNonFolders | foHidden});
  EXPECT_EQ(tree.ExplorerFolderOptions(), uint32_t{toFoldersExpandable | toForceHideRecycleBin});
  EXPECT_EQ(tree.ExplorerSyncOptions(), uint32_t{toExpandTarget | toSelectTarget});
  EXPECT_TRUE(tree.Active());
  EXPECT_EQ(tree.RootNodeCount(), 1u);
  // Held from construction, let go once the layout is in.
  EXPECT_FALSE(tree.ChangeDispatchLocked());
}

TEST(ExplorerTreeLayout, ALoadedTreeReadsItsRootOnceAllIsSet) {
  RegisterExplorerTreeClasses();
  ui::ClassRegistry().Register("TCountingExplorerTree", "TLazyExplorerTree",
                               [] { return std::make_unique<test::CountingTree<TLazyExplorerTree>>(); });
  ui::TForm form;
  // Active comes first: the root and options after it are what the tree shows.
  const std::string text =
      "object F: TForm\n"
      "  object Drives: TCountingExplorerTree\n"
      "    Active = true\n"
      "    RootFolder = rfDrives\n"
      "    FileObjects = [foFolders, foNonFolders]\n"
      "    TreeOptions.ExplorerFolderOptions = [toFoldersExpandable, toHideRootFolder]\n"
      "    TreeOptions.ExplorerImageOptions = [toImages]\n"
      "  end\n"
      "end\n";
  ui::BuildLayout(form, ui::ParseLayout(text, "once.layout"), "once.layout");
  auto& tree = form.Get<test::CountingTree<TLazyExplorerTree>>("Drives");
  EXPECT_EQ(tree.enumerations, 1);
  bool drive = false;  // the top level is My Computer's
  for (PLazyNode n = tree.GetFirst(); n; n = tree.GetNextSibling(n)) {
    TNamespace* ns = nullptr;
    drive = drive || (tree.ValidateNamespace(n, ns) && ns->GetNameForParsing() == L"C:\\");
  }
  EXPECT_TRUE(drive);
}

TEST(ExplorerTreeLayout, RootKindsAndTheCompletionSourceLoad) {
  RegisterExplorerTreeClasses();
  ui::TForm form;
  const std::string text =
      "object F: TForm\n"
      "  object Drives: TLazyExplorerTree\n"
      "    RootFolder = rfDrives\n"
      "    Active = true\n"
      "  end\n"
      "  object Complete: TLazyShellAutoComplete\n"
      "    CurrentDir = \"C:\\\\kvtest\\\\names\"\n"
      "    Contents = [accCurrentDir, accFileSysFiles, accSortList]\n"
      "  end\n"
      "end\n";
  ui::BuildLayout(form, ui::ParseLayout(text, "roots.layout"), "roots.layout");
  auto& tree = form.Get<TLazyExplorerTree>("Drives");
  EXPECT_EQ(tree.RootFolder(), TRootFolder::rfDrives);
  TNamespace* ns = nullptr;
  ASSERT_TRUE(tree.ValidateNamespace(tree.GetFirst(), ns));
  EXPECT_TRUE(ILIsEqualSafe(ns->AbsolutePIDL(), DrivesFolder()->AbsolutePIDL()));
  auto& complete = form.Get<TLazyShellAutoComplete>("Complete");
  EXPECT_EQ(complete.CurrentDir(), test::kFixture + L"\\names");
  EXPECT_EQ(complete.Contents(), TAutoCompleteContents{accCurrentDir | accFileSysFiles | accSortList});
}

}  // namespace
}  // namespace kv
