// The explorer tree's smaller rules: nodes of the user's own, structure
// events, the documents folder on the desktop, the shared hourglass, held
// change dispatch, the right button's selection, root kinds, the form's popup
// menu beside the shell's and the refused node streams.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "shell/change_dispatch_win.h"
#include "shell/explorer_persistent_win.h"
#include "shell/explorer_tree_win.h"
#include "tests/shell/explorer_tree_test_util.h"
#include "tests/shell/shell_test_util.h"
#include "tests/ui/ui_test_util.h"
#include "treeview/node_stream.h"
#include "ui/forms_win.h"
#include "ui/popup_menu.h"

namespace kv {
namespace {

const std::wstring kRules = test::kFixture + L"\\rules";

void MakeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << test::Narrow(path);
  CloseHandle(file);
}

class RuleTree : public TLazyExplorerTree {
 public:
  using TCustomLazyExplorerTree::DoGetPopupMenu;
  using TCustomLazyExplorerTree::HasPopupMenu;
  using TCustomLazyExplorerTree::ReReadAndRefreshNode;
};

class ExplorerRules : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryW(kRules.c_str(), nullptr);
    for (const wchar_t* sub : {L"\\one", L"\\two"}) CreateDirectoryW((kRules + sub).c_str(), nullptr);
    for (const wchar_t* f : {L"\\a.txt", L"\\b.txt"}) MakeFile(kRules + f);
    form.SetBounds(30, 30, 340, 440);
    tree = MakeTree(0);
  }
  RuleTree* MakeTree(int left) {
    RuleTree* made = &form.Create<RuleTree>();
    made->SetParent(&form);
    made->SetBounds(left, 0, 160, 400);
    made->SetFileObjects(foFolders | foNonFolders);
    return made;
  }
  void ShowRules() {
    tree->SetRootFolderCustomPath(kRules);
    tree->SetActive(true);
    form.Show();
  }
  std::vector<std::string> Names(PLazyNode parent) { return test::NodeNames(*tree, parent); }
  PLazyNode Child(PLazyNode parent, const std::string& name) {
    for (PLazyNode n = tree->GetFirstChild(parent); n; n = tree->GetNextSibling(n))
      if (test::NodeName(*tree, n) == name) return n;
    return nullptr;
  }

  ui::TForm form;
  RuleTree* tree = nullptr;
};

TEST_F(ExplorerRules, NodesOfTheUsersOwnAndStructureEvents) {
  std::vector<std::pair<std::string, TNamespaceStructureChange>> changes;
  tree->OnNamespaceStructureChange = [&](TCustomLazyExplorerTree&, PLazyNode, TNamespace& ns,
                                         TNamespaceStructureChange change) {
    changes.emplace_back(test::Narrow(ns.GetNameInFolder()), change);
  };
  // Each folder read may add nodes of the user's own: here "two" shows under "one" too.
  std::vector<PLazyNode> customParents;
  tree->OnCustomNamespace = [&](TCustomLazyExplorerTree& t, PLazyNode parent) {
    customParents.push_back(parent);
    TNamespace* ns = nullptr;
    if (t.ValidateNamespace(parent, ns) && ns->GetNameInFolder() == L"one")
      t.AddCustomNode(parent, TNamespace::CreateFromFileName(kRules + L"\\two"), ctCheckBox, true);
  };
  ShowRules();
  PLazyNode top = tree->GetFirst();
  ASSERT_EQ(customParents, std::vector<PLazyNode>{top});
  EXPECT_TRUE(changes.empty());  // enumerated nodes are no structure change
  PLazyNode one = Child(top, "one");
  tree->SetExpanded(one, true);
  ASSERT_EQ(Names(one), std::vector<std::string>{"two"});
  PLazyNode custom = tree->GetFirstChild(one);
  EXPECT_EQ(custom->CheckType, ctCheckBox);
  EXPECT_EQ(custom->CheckState, csUncheckedNormal);
  EXPECT_EQ(changes, (std::vector<std::pair<std::string, TNamespaceStructureChange>>{{"two", nscAdd}}));
  // Folder items carry a column manager, the user's nodes none.
  TColumnManager* manager = nullptr;
  EXPECT_TRUE(tree->ValidateColumnManager(Child(top, "a.txt"), manager));
  EXPECT_TRUE(tree->ValidateColumnManager(top, manager));
  EXPECT_FALSE(tree->ValidateColumnManager(custom, manager));

  // A re-read reports what it removes and adds.
  changes.clear();
  ASSERT_TRUE(DeleteFileW((kRules + L"\\a.txt").c_str()));
  MakeFile(kRules + L"\\c.txt");
  tree->ReReadAndRefreshNode(top, false);
  EXPECT_EQ(changes, (std::vector<std::pair<std::string, TNamespaceStructureChange>>{{"a.txt", nscDelete},
                                                                                     {"c.txt", nscAdd}}));
  EXPECT_EQ(Child(top, "a.txt"), nullptr);
  EXPECT_NE(Child(top, "c.txt"), nullptr);
  DeleteFileW((kRules + L"\\c.txt").c_str());
  MakeFile(kRules + L"\\a.txt");
}

TEST_F(ExplorerRules, NodeDataAndTheSelectedItems) {
  tree->SetExplorerFolderOptions(toFoldersExpandable | toHideRootFolder);
  ShowRules();
  const auto shown = Names(nullptr);
  ASSERT_EQ(shown.size(), 4u);
  // A new data size: the list is built again from its folder, no blank rows.
  tree->SetNodeDataSize(16);
  EXPECT_TRUE(tree->Active());
  EXPECT_EQ(Names(nullptr), shown);
  EXPECT_NE(tree->GetNodeData(tree->GetFirst()), nullptr);

  // One slot per selected node, an empty one for a node without an item.
  PLazyNode own = tree->AddChild(nullptr);
  tree->ClearSelection();
  tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toMultiSelect);
  tree->SetSelected(Child(nullptr, "b.txt"), true);
  tree->SetSelected(own, true);
  tree->SetSelected(Child(nullptr, "one"), true);
  const TNamespaceArray items = tree->SelectedToNamespaceArray();
  ASSERT_EQ(items.size(), 3u);
  std::vector<std::string> names;
  for (TNamespace* ns : items) names.push_back(ns ? test::Narrow(ns->GetNameInFolder()) : "");
  std::vector<std::string> expected;
  for (PLazyNode n = tree->GetFirstSelected(); n; n = tree->GetNextSelected(n))
    expected.push_back(n == own ? "" : test::NodeName(*tree, n));
  EXPECT_EQ(names, expected);
  EXPECT_EQ(tree->SelectedNamespaces().size(), 2u);
}

TEST_F(ExplorerRules, TheDocumentsFolderShowsOnceOnTheDesktop) {
  tree->SetFileObjects(foFolders);
  tree->SetExplorerFolderOptions(toFoldersExpandable | toForceShowMyDocuments);
  tree->SetActive(true);
  form.Show();
  ComPtr<IShellFolder> desktop;
  ASSERT_EQ(SHGetDesktopFolder(desktop.Put()), S_OK);
  std::wstring name = L"::{450d8fba-ad25-11d0-98a8-0800361b1103}";
  LPITEMIDLIST parsed = nullptr;
  ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &parsed, nullptr), S_OK);
  TPidl documents(parsed);
  int shown = 0;
  for (PLazyNode n = tree->GetFirstChild(tree->GetFirst()); n; n = tree->GetNextSibling(n)) {
    TNamespace* ns = nullptr;
    if (tree->ValidateNamespace(n, ns) && ILIsEqualSafe(ns->AbsolutePIDL(), documents.get())) ++shown;
  }
  // Wine's desktop lists the folder already: the option adds no second one.
  EXPECT_EQ(shown, 1);
}

TEST_F(ExplorerRules, TwoTreesShowOneHourglassAndUpdatesHoldTheirFollowers) {
  RuleTree& other = *MakeTree(170);
  // A tree made in code holds change dispatch until its first update block ends.
  EXPECT_TRUE(other.ChangeDispatchLocked());
  const HCURSOR arrow = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  const HCURSOR hourglass = LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));
  const HCURSOR cross = LoadCursorW(nullptr, MAKEINTRESOURCEW(32515));
  SetCursor(arrow);
  tree->WaitCursor(true);
  EXPECT_EQ(GetCursor(), hourglass);
  other.WaitCursor(true);
  tree->WaitCursor(true);  // nested
  tree->WaitCursor(false);
  EXPECT_EQ(GetCursor(), hourglass);
  // The first tree whose depth returns to 0 brings the arrow back; the other finds nothing to restore.
  other.WaitCursor(false);
  EXPECT_EQ(GetCursor(), arrow);
  SetCursor(cross);
  tree->WaitCursor(false);
  EXPECT_EQ(GetCursor(), cross);

  // Disabled while showing: the cursor comes back at once, later calls do nothing.
  SetCursor(arrow);
  tree->WaitCursor(true);
  tree->SetDisableWaitCursors(true);
  EXPECT_EQ(GetCursor(), arrow);
  tree->WaitCursor(true);
  EXPECT_EQ(GetCursor(), arrow);
  tree->WaitCursor(false);
  tree->SetDisableWaitCursors(false);

  // An update block shows the hourglass and holds change dispatch until it ends.
  other.BeginUpdate();
  EXPECT_EQ(GetCursor(), hourglass);
  EXPECT_TRUE(other.ChangeDispatchLocked());
  other.BeginUpdate();
  other.EndUpdate();
  EXPECT_EQ(GetCursor(), hourglass);
  other.EndUpdate();
  EXPECT_EQ(GetCursor(), arrow);
  EXPECT_FALSE(other.ChangeDispatchLocked());
}

// Counts what a tree hands its followers.
struct Follower {
  explicit Follower(ui::TControl& server) : server_(server) {
    ExplorerChangeDispatch()->RegisterChangeLink(
        &server, &client,
        [this](ui::TControl*, LPCITEMIDLIST pidl) { seen.push_back(test::Narrow(PIDLToPath(pidl))); }, nullptr);
  }
  ~Follower() { ExplorerChangeDispatch()->UnRegisterChangeLink(&server_, &client, TChangeLinkMatch::Both); }
  ui::TControl& server_;
  ui::TControl client;
  std::vector<std::string> seen;
};

TEST_F(ExplorerRules, HeldDispatchSendsOnceAtUnlockAndARightClickSendsNothing) {
  tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toRightClickSelect);
  tree->SetExplorerShellOptions(0);  // no shell menu on the right click
  ShowRules();
  PLazyNode top = tree->GetFirst();
  Follower follower(*tree);
  const std::string path = test::Narrow(kRules);

  tree->LockChangeNotifier();
  tree->SetSelected(Child(top, "one"), true);
  tree->ClearSelection();
  tree->SetSelected(Child(top, "two"), true);
  EXPECT_TRUE(follower.seen.empty());
  tree->UnlockChangeNotifer();
  EXPECT_EQ(follower.seen, std::vector<std::string>{path + "\\two"});
  // The end of an outermost update brings the followers in step once, also
  // when nothing tried to dispatch meanwhile.
  follower.seen.clear();
  tree->BeginUpdate();
  tree->BeginUpdate();
  tree->EndUpdate();
  EXPECT_TRUE(follower.seen.empty());
  tree->EndUpdate();
  EXPECT_EQ(follower.seen, std::vector<std::string>{path + "\\two"});

  // The right button selects for the context menu only.
  follower.seen.clear();
  int changes = 0;
  tree->OnChange = [&](auto&, PLazyNode) { ++changes; };
  const TLazyRect r = tree->GetDisplayRect(Child(top, "b.txt"), kNoColumn, true);
  const LPARAM at = MAKELPARAM(r.Left + 4, (r.Top + r.Bottom) / 2);
  SendMessageW(tree->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, at);
  EXPECT_TRUE(tree->Selected(Child(top, "b.txt")));
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(follower.seen.empty());
  SendMessageW(tree->Handle(), WM_RBUTTONUP, 0, at);
  ui::test::Pump(50);
  // A left click is a real change.
  SendMessageW(tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(tree->Handle(), WM_LBUTTONUP, 0, at);
  ui::test::Pump(50);
  EXPECT_GE(changes, 1);
  ASSERT_FALSE(follower.seen.empty());
  EXPECT_EQ(follower.seen.back(), path + "\\b.txt");
}

TEST_F(ExplorerRules, RootKindsStandForTheirSpecialFolders) {
  const TRootFolder kinds[] = {TRootFolder::rfDrives,   TRootFolder::rfPersonal, TRootFolder::rfWindows,
                               TRootFolder::rfSystem,   TRootFolder::rfFonts,    TRootFolder::rfProgramFiles,
                               TRootFolder::rfAppData,  TRootFolder::rfControlPanel};
  tree->SetFileObjects(foFolders);
  tree->SetActive(true);
  form.Show();
  for (TRootFolder kind : kinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    LPITEMIDLIST list = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, static_cast<int>(kind), &list), S_OK);
    TPidl expected(list);
    tree->SetRootFolder(kind);
    EXPECT_EQ(tree->RootFolder(), kind);
    EXPECT_EQ(tree->RootNodeCount(), 1u);
    TNamespace* ns = nullptr;
    ASSERT_TRUE(tree->ValidateNamespace(tree->GetFirst(), ns));
    EXPECT_TRUE(ILIsEqualSafe(ns->AbsolutePIDL(), expected.get()));
  }
  // The system folder's first level is read like any other.
  tree->SetRootFolder(TRootFolder::rfWindows);
  EXPECT_FALSE(Names(tree->GetFirst()).empty());
}

TEST_F(ExplorerRules, TheFormsMenuShowsBesideTheShellsAndStreamsAreRefused) {
  ShowRules();
  ui::TPopupMenu menu;
  std::vector<ui::TComponent*> shownFor;
  tree->SetPopupHook([&](ui::TPopupMenu& m, POINT) { shownFor.push_back(m.PopupComponent); });
  PLazyNode a = Child(tree->GetFirst(), "a.txt");
  const TLazyRect r = tree->GetDisplayRect(a, kNoColumn, true);
  const POINT onCaption{r.Left + 4, (r.Top + r.Bottom) / 2};
  RECT client{};
  GetClientRect(tree->Handle(), &client);
  const POINT below{10, client.bottom - 10};
  // Shell menus on: an item has a menu even without the form's; over a caption the form's gives way.
  EXPECT_TRUE(tree->HasPopupMenu(a, kNoColumn, onCaption));
  ui::TPopupMenu nodeMenu;
  tree->OnGetPopupMenu = [&](TBaseLazyTree&, PLazyNode, TColumnIndex, POINT, bool&, ui::TPopupMenu*& m) {
    m = &nodeMenu;
  };
  EXPECT_EQ(tree->DoGetPopupMenu(a, kNoColumn, onCaption), nullptr);
  EXPECT_EQ(tree->DoGetPopupMenu(nullptr, kNoColumn, below), &nodeMenu);
  EXPECT_EQ(nodeMenu.PopupComponent, tree);
  tree->OnGetPopupMenu = nullptr;
  tree->SetPopupMenu(&menu);
  // A right click on the empty area shows the form's menu.
  POINT screen = below;
  ClientToScreen(tree->Handle(), &screen);
  SendMessageW(tree->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(tree->Handle()),
               MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(shownFor, std::vector<ui::TComponent*>{tree});
  // On a caption it gives way to the shell's (not shown here), not as well as it.
  int shellMenus = 0;
  tree->OnContextMenuShow = [&](TCustomLazyExplorerTree&, TNamespace&, HMENU, bool& allow) {
    ++shellMenus;
    allow = false;
  };
  POINT rightClick = onCaption;
  ClientToScreen(tree->Handle(), &rightClick);
  SendMessageW(tree->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(onCaption.x, onCaption.y));
  SendMessageW(tree->Handle(), WM_RBUTTONUP, 0, MAKELPARAM(onCaption.x, onCaption.y));
  SendMessageW(tree->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(tree->Handle()),
               MAKELPARAM(rightClick.x, rightClick.y));
  EXPECT_EQ(shownFor.size(), 1u);
  tree->OnContextMenuShow = nullptr;
  // Shell menus off: only the form's menu counts.
  tree->SetPopupMenu(nullptr);
  tree->SetExplorerShellOptions(0);
  EXPECT_FALSE(tree->HasPopupMenu(a, kNoColumn, onCaption));

  TNodeMemoryStream stream;
  try {
    tree->LoadFromStream(stream);
    ADD_FAILURE() << "a node stream was read";
  } catch (const ELazyTreeAssertion& e) {
    EXPECT_STREQ(e.what(), "LoadFromStream is not supported in the explorer tree. Use the ViewManager Property");
  }
  EXPECT_EQ(Names(tree->GetFirst()).size(), 4u);  // nothing lost
  EXPECT_THROW(tree->SaveToStream(stream), ELazyTreeAssertion);
  EXPECT_EQ(stream.Size(), 0);
}

}  // namespace
}  // namespace kv
