// The linked folder tree and file list over the fixture's namespace, the
// change dispatcher between them and the list's column menu.
#include "shell/explorer_views_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "shell/column_settings_win.h"
#include "shell/explorer_combo_win.h"
#include "shell/node_storage_win.h"
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
    // Loaded, each told the other once: the tree selected the list's folder.
    TNamespace* selected = nullptr;
    loadedInStep = tree->ValidateNamespace(tree->GetFirstSelected(), selected) && selected->IsDesktop() &&
                   list->RootNamespace() && list->RootNamespace()->IsDesktop();
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
  bool loadedInStep = false;
};

TEST_F(LinkedViews, TreeSelectionShowsTheFolderAndListBrowsingSelectsInTheTree) {
  EXPECT_EQ(tree->LazyExplorerListview(), list);
  EXPECT_EQ(list->LazyExplorerTreeview(), tree);
  EXPECT_TRUE(loadedInStep);
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
  // The icon sits just before the text, with a gap of 2.
  for (int x = treeRow.Left - 18; x < treeRow.Right; ++x)
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
  // Other lists take a copy of the bound, also when reached as explorer trees.
  TLazyExplorerListview first, second;
  static_cast<TCustomLazyExplorerTree&>(first).Assign(*list);
  static_cast<TCustomLazyExplorerTree&>(*list).AssignTo(second);
  for (TLazyExplorerListview* copy : {&first, &second}) {
    ASSERT_NE(copy->BackBrowseRoot(), nullptr);
    EXPECT_NE(copy->BackBrowseRoot(), list->BackBrowseRoot());
    EXPECT_EQ(ParseName(copy->BackBrowseRoot()), ParseName(list->BackBrowseRoot()));
  }
}

// Browsing the list to the folder it shows (or to a file in it) builds it
// again; the shell header is built after the rows of the new folder.
TEST_F(LinkedViews, BrowsingToTheShownFolderRebuildsAndTheHeaderFollowsTheRows) {
  std::vector<bool> rowsAtHeader;
  list->OnAddCustomShellColumn = [&](TCustomLazyExplorerTree&, TColumnIndex, TLTHeader&) {
    rowsAtHeader.push_back(ListNode(L"Rock") != nullptr);
  };
  int changes = 0;
  list->OnRootChange = [&](TCustomLazyExplorerTree&) { ++changes; };
  SelectInTree(test::kFixture + L"\\Music");
  ASSERT_EQ(ParseName(list->RootNamespace()), test::kFixture + L"\\Music");
  EXPECT_EQ(rowsAtHeader, std::vector<bool>{true});
  const int rebuilds = listRebuilds;
  TPidl music = PathToPIDL(test::kFixture + L"\\Music");
  EXPECT_TRUE(list->BrowseToByPIDL(music.get(), false, false, false, false));
  EXPECT_EQ(listRebuilds, rebuilds + 1);
  TPidl file = PathToPIDL(test::kFixture + L"\\Music\\c.mp3");
  EXPECT_TRUE(list->BrowseToByPIDL(file.get(), false, false, false, true));
  EXPECT_EQ(listRebuilds, rebuilds + 2);
  EXPECT_EQ(changes, 3);
  TNamespace* selected = nullptr;
  ASSERT_TRUE(list->ValidateNamespace(list->GetFirstSelected(), selected));
  EXPECT_EQ(selected->GetNameInFolder(), L"c.mp3");

  // The explorer's own columns are built again for each new folder too, after its rows.
  list->SetColumnDetails(cdExplorerColumns);
  std::vector<bool> liveAtHeader;
  list->OnAddCustomShellColumn = [&](TCustomLazyExplorerTree&, TColumnIndex, TLTHeader&) {
    liveAtHeader.push_back(ListNode(L"Live") != nullptr);
  };
  SelectInTree(test::kFixture + L"\\Music\\Rock");
  ASSERT_EQ(ParseName(list->RootNamespace()), test::kFixture + L"\\Music\\Rock");
  EXPECT_EQ(liveAtHeader, std::vector<bool>{true});
  list->OnAddCustomShellColumn = nullptr;
  list->OnRootChange = nullptr;
}

// Views that count how often a followed control reached them.
template <class Base>
class Counting : public Base {
 public:
  ~Counting() override {
    this->UnregisterChangeLinks();
    this->DestroyNodes();
  }
  void ChangeLinkChanging(ui::TControl* server, LPCITEMIDLIST pidl) override {
    ++calls;
    Base::ChangeLinkChanging(server, pidl);
  }
  bool PasteFromClipboard() override { return ++pastes > 0; }
  int calls = 0;
  int pastes = 0;
};

class ChangeLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    for (TCustomLazyExplorerTree* t : {static_cast<TCustomLazyExplorerTree*>(&tree), static_cast<TCustomLazyExplorerTree*>(&list)}) {
      t->SetParent(&form);
      t->SetActive(true);
    }
    tree.SetBounds(0, 0, 200, 300);
    list.SetBounds(200, 0, 400, 300);
    combo.SetParent(&form);
    combo.SetBounds(0, 310, 300, 23);
    form.SetBounds(0, 0, 640, 400);
    form.Show();
    tree.SetRootFolderCustomPath(test::kFixture);
    tree.SetLazyExplorerListview(&list);
    list.SetLazyExplorerTreeview(&tree);
    // The box and the tree follow each other.
    tree.SetExplorerComboBox(&combo);
    ExplorerChangeDispatch()->RegisterChangeLink(
        &tree, &combo,
        [this](ui::TControl* server, LPCITEMIDLIST pidl) {
          ++comboCalls;
          combo.ChangeLinkChanging(server, pidl);
        },
        nullptr);
    tree.calls = list.calls = comboCalls = 0;
  }
  void TearDown() override { ExplorerChangeDispatch()->UnRegisterChangeLink(&combo, &combo, TChangeLinkMatch::Either); }

  ui::TForm form;
  Counting<TLazyExplorerTreeview> tree;
  Counting<TLazyExplorerListview> list;
  TLazyExplorerCombobox combo;
  int comboCalls = 0;
};

TEST_F(ChangeLinks, ADispatchReachesEachFollowerOnceAndNeverItsStarter) {
  TPidl music = PathToPIDL(test::kFixture + L"\\Music");
  ASSERT_TRUE(tree.BrowseToByPIDL(music.get(), false, false, false, true));
  EXPECT_EQ(list.calls, 1);
  EXPECT_EQ(comboCalls, 1);
  EXPECT_EQ(tree.calls, 0);
  EXPECT_EQ(ParseName(list.RootNamespace()), test::kFixture + L"\\Music");
  EXPECT_EQ(ParseName(combo.EditNamespace()), test::kFixture + L"\\Music");

  // From the box: the tree follows and passes it on to the list, not back.
  tree.calls = list.calls = comboCalls = 0;
  combo.SetEditNamespace(test::Item(L"Music\\Jazz"));
  EXPECT_EQ(tree.calls, 1);
  EXPECT_EQ(list.calls, 1);
  EXPECT_EQ(comboCalls, 0);
  EXPECT_EQ(ParseName(list.RootNamespace()), test::kFixture + L"\\Music\\Jazz");
  EXPECT_EQ(ExplorerChangeDispatch()->DispatchingServer(), nullptr);
}

// The list tells the tree of its folder, and an update of the list holds
// the news until it ends.
TEST_F(ChangeLinks, AListBrowseIsHeldByAnUpdate) {
  TPidl music = PathToPIDL(test::kFixture + L"\\Music");
  ASSERT_TRUE(list.BrowseToByPIDL(music.get(), false, false, false, false));
  EXPECT_GE(tree.calls, 1);
  TNamespace* selected = nullptr;
  ASSERT_TRUE(tree.ValidateNamespace(tree.GetFirstSelected(), selected));
  EXPECT_EQ(ParseName(selected), test::kFixture + L"\\Music");

  tree.calls = 0;
  list.BeginUpdate();
  TPidl jazz = PathToPIDL(test::kFixture + L"\\Music\\Jazz");
  ASSERT_TRUE(list.BrowseToByPIDL(jazz.get(), false, false, false, false));
  EXPECT_EQ(tree.calls, 0);
  list.EndUpdate();
  EXPECT_EQ(tree.calls, 1);
  ASSERT_TRUE(tree.ValidateNamespace(tree.GetFirstSelected(), selected));
  EXPECT_EQ(ParseName(selected), test::kFixture + L"\\Music\\Jazz");
}

TEST_F(ChangeLinks, PartnerNoneAndAFreedViewTakeTheirLinksOnly) {
  TExplorerChangeDispatch& d = *ExplorerChangeDispatch();
  const size_t all = d.Count();
  list.SetLazyExplorerTreeview(nullptr);
  EXPECT_EQ(d.Count(), all - 1);
  EXPECT_EQ(list.LazyExplorerTreeview(), nullptr);
  EXPECT_EQ(tree.LazyExplorerListview(), &list);  // the tree still follows the list

  auto second = std::make_unique<TLazyExplorerListview>();
  second->SetLazyExplorerTreeview(&tree);
  tree.SetLazyExplorerListview(second.get());  // the old partner's link goes
  EXPECT_EQ(d.CountOf(&list), 0u);
  EXPECT_EQ(d.CountOf(second.get()), 2u);
  second.reset();
  EXPECT_EQ(d.Count(), all - 2);
  EXPECT_EQ(tree.LazyExplorerListview(), nullptr);
}

// Ctrl with "V" or "v" (key code 0x76, F7's virtual key) pastes into the
// list's folder; the key alone does not.
TEST_F(ChangeLinks, OnlyCtrlVPastes) {
  auto press = [&](WORD key, bool ctrl) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(keys);
    SendMessageW(list.Handle(), WM_KEYDOWN, key, 0);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
  };
  press('V', false);
  press(VK_F7, false);
  EXPECT_EQ(list.pastes, 0);
  press('V', true);
  EXPECT_EQ(list.pastes, 1);
  press(VK_F7, true);
  EXPECT_EQ(list.pastes, 2);
}

// Loading the defaults again gives each view its own, not the explorer tree's.
TEST(ExplorerViews, DefaultsLoadedAgainAreEachViewsOwn) {
  TLazyExplorerTreeview tree;
  TLazyExplorerListview list;
  struct Settings {
    uint32_t files, folder, shell, misc;
    bool operator==(const Settings&) const = default;
  };
  auto settings = [](TCustomLazyExplorerTree& v) {
    return Settings{v.FileObjects(), v.ExplorerFolderOptions(), v.ExplorerShellOptions(), v.ExplorerMiscOptions()};
  };
  const Settings treeDefaults = settings(tree), listDefaults = settings(list);
  EXPECT_EQ(listDefaults.files, uint32_t(foFolders | foNonFolders | foHidden));
  for (TCustomLazyExplorerTree* view : {static_cast<TCustomLazyExplorerTree*>(&tree), static_cast<TCustomLazyExplorerTree*>(&list)}) {
    view->SetFileObjects(foNonFolders);
    view->SetExplorerFolderOptions(0);
    view->SetExplorerShellOptions(0);
    view->SetExplorerMiscOptions(0);
    view->LoadDefaultOptions();
  }
  EXPECT_TRUE(settings(tree) == treeDefaults);
  EXPECT_TRUE(settings(list) == listDefaults);
  EXPECT_EQ(list.ColumnDetails(), cdShellColumns);
}

TEST(ChangeDispatch, ModesRemoveTheRightLinksAndAFreeHandlerMayRemoveOthers) {
  TExplorerChangeDispatch d;
  ui::TControl a, b, c;
  std::vector<std::string> freed;
  auto add = [&](ui::TControl* s, ui::TControl* cl, std::string name) {
    d.RegisterChangeLink(s, cl, [](ui::TControl*, LPCITEMIDLIST) {},
                         [&freed, name](TExplorerChangeLink&) { freed.push_back(name); });
  };
  auto reset = [&] {
    d.UnRegisterChangeLink(&a, &a, TChangeLinkMatch::Either);
    d.UnRegisterChangeLink(&b, &b, TChangeLinkMatch::Either);
    d.UnRegisterChangeLink(&c, &c, TChangeLinkMatch::Either);
    freed.clear();
    add(&a, &b, "ab");
    add(&a, &c, "ac");
    add(&b, &c, "bc");
    add(&c, &a, "ca");
  };
  reset();
  d.UnRegisterChangeLink(&a, nullptr, TChangeLinkMatch::Server);  // the last with server a
  EXPECT_EQ(freed, std::vector<std::string>{"ac"});
  reset();
  d.UnRegisterChangeLink(nullptr, &c, TChangeLinkMatch::Client);
  EXPECT_EQ(freed, std::vector<std::string>{"bc"});
  reset();
  d.UnRegisterChangeLink(&a, &b, TChangeLinkMatch::Both);
  d.UnRegisterChangeLink(&b, &a, TChangeLinkMatch::Both);  // no such link
  EXPECT_EQ(freed, std::vector<std::string>{"ab"});
  reset();
  d.UnRegisterChangeLink(&a, &a, TChangeLinkMatch::Either);
  EXPECT_EQ(freed, (std::vector<std::string>{"ca", "ac", "ab"}));
  EXPECT_EQ(d.Count(), 1u);

  // A free handler that unregisters another link (as a view forgetting its
  // partner may): no deadlock, and both are gone.
  d.RegisterChangeLink(&a, &b, nullptr, [&](TExplorerChangeLink&) {
    d.UnRegisterChangeLink(&b, &c, TChangeLinkMatch::Both);
  });
  d.UnRegisterChangeLink(&a, &b, TChangeLinkMatch::Both);
  EXPECT_EQ(d.Count(), 0u);
}

TEST_F(LinkedViews, ColumnMenuListsSomeColumnsAndAClickToggledColumnIsRemembered) {
  SelectInTree(test::kFixture + L"\\Music");
  list->SetExplorerMiscOptions(list->ExplorerMiscOptions() | toPersistentColumns);
  list->SetColumnMenuItemCount(3);
  // A right click on the header pops the menu up.
  std::vector<std::wstring> captions;
  ui::TPopupMenu* shown = nullptr;
  list->ColumnMenu().ShowHook = [&](ui::TPopupMenu& menu, POINT) {
    shown = &menu;
    for (size_t i = 0; i < menu.Count(); ++i) captions.push_back(menu.Items(i).Caption);
    menu.Items(1).Click();  // hides "Size"
  };
  POINT header{40, -list->Header().Height() / 2};
  ClientToScreen(list->Handle(), &header);
  SendMessageW(list->Handle(), WM_NCRBUTTONDOWN, HTBORDER, MAKELPARAM(header.x, header.y));
  SendMessageW(list->Handle(), WM_NCRBUTTONUP, HTBORDER, MAKELPARAM(header.x, header.y));
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(captions, (std::vector<std::wstring>{L"File", L"Size", L"Type", L"-", L"More ..."}));
  EXPECT_FALSE(list->Header().Columns()[1].HasOption(coVisible));
  ASSERT_EQ(list->ColumnMenu().Count(), 5u);
  EXPECT_EQ(list->ColumnMenu().Items(4).ColumnIndex(), kColumnMenuMore);

  // Stored with the folder: back in it, the column stays hidden.
  SelectInTree(test::kFixture + L"\\Music\\Rock");
  EXPECT_TRUE(list->Header().Columns()[1].HasOption(coVisible));
  SelectInTree(test::kFixture + L"\\Music");
  EXPECT_FALSE(list->Header().Columns()[1].HasOption(coVisible));
  list->ColumnMenu().Rebuild();
  EXPECT_FALSE(list->ColumnMenu().Items(1).Entry().Checked);
  EXPECT_TRUE(list->ColumnMenu().Items(0).Entry().Checked);

  // The tree's own columns: every one listed, no "More ...".
  list->SetColumnDetails(cdExplorerColumns);
  list->ColumnMenu().Rebuild();
  EXPECT_EQ(list->ColumnMenu().Count(), 9u);
}

// "More ...": the dialog's live changes are undone by Cancel, byte for byte.
// The header stream of shell columns holds no columns: they are compared
// through the column collection's own stream.
TEST_F(LinkedViews, MoreCancelledRestoresTheHeader) {
  SelectInTree(test::kFixture + L"\\Music");
  list->SetColumnMenuItemCount(2);
  list->ColumnMenu().Rebuild();
  ASSERT_EQ(list->ColumnMenu().Items(3).ColumnIndex(), kColumnMenuMore);
  TNodeMemoryStream before, after;
  list->Header().SaveToStream(before);
  list->Header().Columns().SaveToStream(before);
  int livePosition = -1;
  ui::test::RunLater(300, [&] {
    auto* dialog = ui::test::FindForm<TFormColumnSettings>();
    ASSERT_NE(dialog, nullptr);
    dialog->CheckBoxLiveUpdate->SetChecked(true);
    dialog->DropEntry(0, 2);
    livePosition = list->Header().Columns()[0].Position();
    dialog->SetModalResult(ui::mrCancel);
  });
  list->ColumnMenu().Items(3).Click();
  EXPECT_EQ(livePosition, 2);
  list->Header().SaveToStream(after);
  list->Header().Columns().SaveToStream(after);
  EXPECT_EQ(list->Header().Columns().Count(), 5);
  EXPECT_EQ(before.Bytes(), after.Bytes());
}


// Cancel after live changes of order and width: the layout stored for the
// folder is the header as it was, not one put back half way (putting back a
// first column's width must not store while later positions are still moved).
TEST_F(LinkedViews, MoreCancelledStoresTheHeaderAsItWas) {
  SelectInTree(test::kFixture + L"\\Music");
  list->SetExplorerShellOptions(list->ExplorerShellOptions() | toShellColumnMenu);
  list->SetExplorerMiscOptions(list->ExplorerMiscOptions() | toPersistentColumns);
  list->SetColumnMenuItemCount(2);
  auto layout = [&] {
    std::vector<std::pair<int, int>> positionAndWidth;
    for (const TColumnState& c : list->ColumnStates()) positionAndWidth.emplace_back(c.Position, c.Width);
    return positionAndWidth;
  };
  const auto before = layout();
  ASSERT_EQ(before.size(), 5u);
  auto stored = [&] {
    return list->GetNewStorage()->Find(StorageBytes(list->RootNamespace()->AbsolutePIDL()), kStoreColumns);
  };
  ASSERT_EQ(stored(), nullptr);
  std::vector<std::pair<int, int>> live;
  ui::test::RunLater(300, [&] {
    auto* dialog = ui::test::FindForm<TFormColumnSettings>();
    ASSERT_NE(dialog, nullptr);
    dialog->CheckBoxLiveUpdate->SetChecked(true);
    dialog->DropEntry(3, 2);  // list order 0, 1, 3, 2, 4
    // The first entry 40 pixels wider, typed into the width box.
    TLazyStringTree& names = *dialog->LSTColumnNames;
    PLazyNode first = names.GetFirst();
    names.ClearSelection();
    names.SetSelected(first, true);
    names.SetFocusedNode(first);
    dialog->EditPixelWidth->SetText(std::to_string(before[0].second + 40));
    dialog->DialogKey(dialog->EditPixelWidth->Handle(), VK_RETURN);
    live = layout();
    dialog->SetModalResult(ui::mrCancel);
  });
  list->ColumnMenu().ShowHook = [&](ui::TPopupMenu& menu, POINT) { menu.Items(menu.Count() - 1).Click(); };
  POINT header{40, -list->Header().Height() / 2};
  ClientToScreen(list->Handle(), &header);
  SendMessageW(list->Handle(), WM_NCRBUTTONDOWN, HTBORDER, MAKELPARAM(header.x, header.y));
  SendMessageW(list->Handle(), WM_NCRBUTTONUP, HTBORDER, MAKELPARAM(header.x, header.y));
  ASSERT_EQ(live.size(), 5u);
  EXPECT_EQ(live[0].second, before[0].second + 40);
  EXPECT_EQ(live[2].first, 3);
  EXPECT_EQ(live[3].first, 2);
  EXPECT_EQ(layout(), before);
  // Nothing was stored for a folder that had no layout of its own.
  EXPECT_EQ(stored(), nullptr);
  // Away and back: the folder's stored layout is the one the header had.
  SelectInTree(test::kFixture + L"\\Music\\Rock");
  SelectInTree(test::kFixture + L"\\Music");
  EXPECT_EQ(layout(), before);
}

}  // namespace
}  // namespace kv
