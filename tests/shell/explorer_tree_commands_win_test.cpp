// The explorer tree's shell commands driven by real keys and mouse clicks
// over C:\kvtest\cmds: clipboard, delete, the shell's context menu, rename,
// new folders and the data of dragged items.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/explorer_tree_win.h"
#include "treeview/clipboard_formats_win.h"
#include "shell/shell_utils_win.h"
#include "tests/shell/shell_test_util.h"
#include "tests/ui/ui_test_util.h"
#include "ui/forms_win.h"

namespace kv {
namespace {
using namespace test;
using ui::test::Pump;

const std::wstring kCmds = kFixture + L"\\cmds";

class CommandTree : public TLazyExplorerTree {
 public:
  ~CommandTree() override { DestroyNodes(); }
  using TLazyExplorerTree::DoContextMenuCmd;
};

// A real right click (down and up) at a client point of the tree.
void RightClickAt(CommandTree& tree, POINT pt) {
  ClientToScreen(tree.Handle(), &pt);
  SetCursorPos(pt.x, pt.y);
  mouse_event(MOUSEEVENTF_RIGHTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_RIGHTUP, 0, 0, 0, 0);
  Pump(200);
}

void Keys(std::initializer_list<BYTE> down) {
  for (BYTE k : down) keybd_event(k, 0, 0, 0);
  for (auto it = std::rbegin(down); it != std::rend(down); ++it) keybd_event(*it, 0, KEYEVENTF_KEYUP, 0);
  Pump(150);
}

std::vector<std::wstring> DroppedFiles(IDataObject* data) {
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  std::vector<std::wstring> files;
  if (FAILED(data->GetData(&format, &medium))) return files;
  auto drop = static_cast<HDROP>(medium.hGlobal);
  for (UINT i = 0, n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0); i < n; ++i) {
    wchar_t name[MAX_PATH];
    DragQueryFileW(drop, i, name, MAX_PATH);
    files.push_back(name);
  }
  ReleaseStgMedium(&medium);
  return files;
}

// Answers the shell's delete confirmation with Yes and remembers it was asked.
struct ConfirmDelete {
  static inline bool asked = false;
  ConfirmDelete() {
    asked = false;
    timer = SetTimer(nullptr, 0, 150, [](HWND, UINT, UINT_PTR, DWORD) {
      if (HWND box = FindWindowW(nullptr, L"Confirm file deletion")) {
        asked = true;
        PostMessageW(box, WM_COMMAND, IDYES, 0);
      }
    });
  }
  ~ConfirmDelete() { KillTimer(nullptr, timer); }
  UINT_PTR timer;
};

class ExplorerCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    form.SetBounds(50, 50, 400, 400);
    tree = &form.Create<CommandTree>();
    tree->SetParent(&form);
    tree->SetBounds(0, 0, 380, 360);
    tree->SetFileObjects(foFolders | foNonFolders);
    tree->SetExplorerFolderOptions(toFoldersExpandable | toHideRootFolder);
    tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toMultiSelect);
    tree->SetRootFolderCustomPath(kCmds);
    tree->SetActive(true);
    form.Show();
    SetForegroundWindow(form.Handle());
    SetFocus(tree->Handle());
    Pump(100);
  }
  PLazyNode Node(const std::wstring& name) {
    for (PLazyNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) {
      TNamespace* ns = nullptr;
      if (tree->ValidateNamespace(n, ns) && ns->GetNameInFolder() == name) return n;
    }
    return nullptr;
  }
  void Select(std::initializer_list<const wchar_t*> names) {
    tree->ClearSelection();
    for (const wchar_t* name : names) {
      PLazyNode n = Node(name);
      ASSERT_NE(n, nullptr) << Narrow(name);
      tree->SetSelected(n, true);
      tree->SetFocusedNode(n);
    }
  }
  std::wstring SelectedName() {
    TNamespace* ns = nullptr;
    return tree->ValidateNamespace(tree->GetFirstSelected(), ns) ? ns->GetNameInFolder() : L"";
  }

  ui::TForm form;
  CommandTree* tree = nullptr;
};

TEST_F(ExplorerCommands, CtrlCCopiesTheSelectionForWindowsAndX) {
  Select({L"a.txt", L"b.txt"});
  Node(L"b.txt")->States.Include(nsDisabled);  // copied, but not marked
  Keys({VK_CONTROL, 'C'});
  Node(L"b.txt")->States.Exclude(nsDisabled);
  EXPECT_FALSE(Node(L"b.txt")->States.Contains(nsCutCopyMarked));
  ComPtr<IDataObject> data;
  ASSERT_TRUE(SUCCEEDED(OleGetClipboard(data.Put())));
  const std::vector<std::wstring> expected{kCmds + L"\\a.txt", kCmds + L"\\b.txt"};
  EXPECT_EQ(DroppedFiles(data.Get()), expected);
  EXPECT_TRUE(tree->TreeStates().Contains(tsCopyPending));
  EXPECT_TRUE(Node(L"a.txt")->States.Contains(nsCutCopyMarked));

  // The X side of the clipboard lists the same files.
  if (GetFileAttributesW(L"\\\\?\\unix\\usr\\bin\\xclip") == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "xclip is not installed (scripts/setup.sh)";
  const std::wstring out = kCmds + L"\\..\\xclip.txt";
  RunUnix(L"xclip -selection clipboard -o -t text/uri-list > '" + UnixPath(out) + L"'");
  std::ifstream in{std::filesystem::path(out)};
  std::string line;
  std::vector<std::string> uris;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#') uris.push_back(line.substr(0, line.find_last_not_of("\r") + 1));
  // Wine escapes every byte of the path, slashes included.
  auto decode = [](const std::string& uri) {
    std::string decoded;
    for (size_t i = 0; i < uri.size(); ++i)
      if (uri[i] == '%' && i + 2 < uri.size()) {
        decoded += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        decoded += uri[i];
      }
    return decoded;
  };
  ASSERT_EQ(uris.size(), 2u);
  EXPECT_EQ(decode(uris[0]), "file://" + Narrow(UnixPath(expected[0])));
  EXPECT_EQ(decode(uris[1]), "file://" + Narrow(UnixPath(expected[1])));
  OleSetClipboard(nullptr);
}

TEST_F(ExplorerCommands, DeleteKeyDeletesThroughTheShellUnlessReadOnly) {
  Select({L"kept.txt"});
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toExplorerReadOnly);
  {
    ConfirmDelete confirm;
    Keys({VK_DELETE});
    Pump(300);
    EXPECT_FALSE(ConfirmDelete::asked);
  }
  EXPECT_TRUE(FileExistsW(kCmds + L"\\kept.txt"));

  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() & ~toExplorerReadOnly);
  Select({L"gone.txt"});
  {
    ConfirmDelete confirm;
    Keys({VK_DELETE});
    EXPECT_TRUE(ConfirmDelete::asked);
  }
  EXPECT_FALSE(FileExistsW(kCmds + L"\\gone.txt"));
  EXPECT_TRUE(FileExistsW(kCmds + L"\\kept.txt"));
}

// The shell's keys run only after the tree control's OnKeyAction let the key through.
TEST_F(ExplorerCommands, KeyActionComesBeforeTheShellKeys) {
  Select({L"kept.txt"});
  std::vector<WORD> seen;
  tree->OnKeyAction = [&](TBaseLazyTree&, WORD& key, UINT&, bool& doDefault) {
    seen.push_back(key);
    if (key == VK_DELETE) doDefault = false;
  };
  {
    ConfirmDelete confirm;
    Keys({VK_DELETE});
    Pump(300);
    EXPECT_FALSE(ConfirmDelete::asked);
  }
  EXPECT_TRUE(FileExistsW(kCmds + L"\\kept.txt"));
  EXPECT_EQ(seen, std::vector<WORD>{VK_DELETE});

  // Alt+Enter comes as a system key, and is asked about all the same.
  UINT altShift = 0;
  tree->OnKeyAction = [&](TBaseLazyTree&, WORD& key, UINT& shift, bool& doDefault) {
    seen.push_back(key);
    if (key == VK_RETURN) {
      altShift = shift;
      doDefault = false;
    }
  };
  Keys({VK_MENU, VK_RETURN});
  EXPECT_EQ(seen, (std::vector<WORD>{VK_DELETE, VK_RETURN}));
  EXPECT_TRUE(altShift & MK_ALT);
  tree->OnKeyAction = nullptr;
}

// Keypad "/" collapses the focused node's subtree, and nothing without a focused node.
TEST_F(ExplorerCommands, KeypadSlashCollapsesOnlyTheFocusedSubtree) {
  tree->SetRootFolderCustomPath(kFixture + L"\\Music");
  Pump(100);
  PLazyNode rock = Node(L"Rock");
  ASSERT_NE(rock, nullptr);
  tree->SetExpanded(rock, true);
  PLazyNode live = tree->GetFirstChild(rock);
  for (TNamespace* ns = nullptr; live && !(tree->ValidateNamespace(live, ns) && ns->GetFolder());)
    live = tree->GetNextSibling(live);
  ASSERT_NE(live, nullptr);
  tree->SetExpanded(live, true);
  tree->ClearSelection();
  tree->SetFocusedNode(nullptr);
  Keys({VK_DIVIDE});
  EXPECT_TRUE(tree->Expanded(rock));
  EXPECT_TRUE(tree->Expanded(live));
  tree->SetFocusedNode(rock);
  Keys({VK_DIVIDE});
  EXPECT_FALSE(tree->Expanded(rock));
  EXPECT_FALSE(tree->Expanded(live));
}

// Ctrl+PageDown pages by one client height, also when the view follows the
// focused node sideways.
TEST_F(ExplorerCommands, CtrlPageDownPagesAWholeViewWithSidewaysScrolling) {
  tree->SetBounds(0, 0, 380, 120);
  tree->SetRootFolderCustomPath(kFixture + L"\\newfolder19");
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toAutoScrollHorz);
  Pump(100);
  ASSERT_GE(tree->RootNode()->ChildCount, 20u);
  tree->SetFocusedNode(tree->GetFirst());
  Keys({VK_CONTROL, VK_NEXT});  // to the last sibling shown
  PLazyNode last = tree->FocusedNode();
  ASSERT_NE(last, tree->GetFirst());
  const int before = tree->OffsetY();  // the focused node may have been scrolled in a little
  Keys({VK_CONTROL, VK_NEXT});
  EXPECT_LE(tree->OffsetY(), before - tree->ViewHeight());
  EXPECT_NE(tree->FocusedNode(), last);
}

// What the shell menu held when the tree was about to show it (then cancelled).
struct MenuSeen {
  int shown = 0;
  std::wstring item;
  std::vector<std::wstring> entries;  // verbs, "-" for separators
};

void WatchMenus(CommandTree& tree, MenuSeen& seen) {
  tree.OnContextMenuShow = [&seen](TCustomLazyExplorerTree&, TNamespace& ns, HMENU menu, bool& allow) {
    ++seen.shown;
    seen.item = ns.GetNameInFolder();
    seen.entries.clear();
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
      seen.entries.push_back(IndexIsSeparator(menu, i) ? L"-" : ns.ContextMenuVerb(GetMenuItemID(menu, i)));
    allow = false;
  };
}

TEST_F(ExplorerCommands, ContextMenuKeysAndRightClickShowTheShellMenu) {
  MenuSeen seen;
  WatchMenus(*tree, seen);
  Select({L"a.txt"});
  Keys({VK_APPS});
  ASSERT_EQ(seen.shown, 1);
  EXPECT_EQ(seen.item, L"a.txt");
  const std::vector<std::wstring> full = seen.entries;
  EXPECT_NE(std::find(full.begin(), full.end(), L"link"), full.end());

  // Without the shortcut entry: the separator before it stays, Delete follows it.
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toRemoveContextMenuShortCut);
  Keys({VK_SHIFT, VK_F10});
  ASSERT_EQ(seen.shown, 2);
  EXPECT_EQ(std::find(seen.entries.begin(), seen.entries.end(), L"link"), seen.entries.end());
  auto del = std::find(seen.entries.begin(), seen.entries.end(), L"delete");
  ASSERT_NE(del, seen.entries.end());
  ASSERT_NE(del, seen.entries.begin());
  EXPECT_EQ(*(del - 1), L"-");
  EXPECT_EQ(seen.entries.size(), full.size() - 1);

  // A right click on another node shows its menu and gives the selection back.
  PLazyNode b = Node(L"b.txt");
  const TLazyRect r = tree->GetDisplayRect(b, kNoColumn, true);
  POINT pt{r.Left + 5, (r.Top + r.Bottom) / 2};
  ClientToScreen(tree->Handle(), &pt);
  SetCursorPos(pt.x, pt.y);
  mouse_event(MOUSEEVENTF_RIGHTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_RIGHTUP, 0, 0, 0, 0);
  Pump(200);
  EXPECT_EQ(seen.shown, 3);
  EXPECT_EQ(seen.item, L"b.txt");
  EXPECT_EQ(SelectedName(), L"a.txt");
  EXPECT_EQ(tree->SelectedCount(), 1u);
  // With nothing selected before, the click's selection is undone as well,
  // and the focus goes back where it was.
  PLazyNode focused = Node(L"a.txt");
  tree->ClearSelection();
  tree->SetFocusedNode(focused);
  tree->ClearSelection();
  // (another row: a second press at the same point would be a double click)
  const TLazyRect other = tree->GetDisplayRect(Node(L"kept.txt"), kNoColumn, true);
  RightClickAt(*tree, POINT{other.Left + 5, (other.Top + other.Bottom) / 2});
  EXPECT_EQ(seen.shown, 4);
  EXPECT_EQ(seen.item, L"kept.txt");
  EXPECT_EQ(tree->SelectedCount(), 0u);
  EXPECT_EQ(tree->FocusedNode(), focused);

  // A detail column's text: the press takes the row for the menu, but the shell
  // menu comes only for the name, so nothing shows and the selection comes back.
  tree->SetColumnDetails(cdExplorerColumns);
  Select({L"a.txt"});
  b = Node(L"b.txt");
  const TLazyRect type = tree->GetDisplayRect(b, 2, true);
  const POINT onType{type.Left + 3, (type.Top + type.Bottom) / 2};
  TTreeHitInfo hit;
  tree->GetHitTestInfoAt(onType.x, onType.y, true, hit);
  ASSERT_EQ(hit.HitNode, b);
  ASSERT_EQ(hit.HitColumn, 2);
  ASSERT_TRUE(hit.HitPositions.Contains(hpOnItemLabel));
  RightClickAt(*tree, onType);
  EXPECT_EQ(seen.shown, 4);
  EXPECT_EQ(SelectedName(), L"a.txt");
  tree->ContextMenuManager().RightClick(onType.x, onType.y, false, false);
  EXPECT_EQ(SelectedName(), L"b.txt");
  tree->ContextMenuManager().RightClick(onType.x, onType.y, false, true);
  EXPECT_EQ(SelectedName(), L"a.txt");
  // The menu message decides: a press on the name whose menu message points at
  // a detail column shows nothing; a press on a detail column whose menu
  // message points at the row's name shows the row's menu.
  const TLazyRect name = tree->GetDisplayRect(b, tree->Header().MainColumn(), true);
  const POINT onName{name.Left + 3, (name.Top + name.Bottom) / 2};
  auto pressThenMenuAt = [&](POINT pressed, POINT menu) {
    ClientToScreen(tree->Handle(), &menu);
    tree->ContextMenuManager().RightClick(pressed.x, pressed.y, false, false);
    SendMessageW(tree->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(tree->Handle()), MAKELPARAM(menu.x, menu.y));
    tree->ContextMenuManager().RightClick(pressed.x, pressed.y, false, true);
  };
  pressThenMenuAt(onName, onType);
  EXPECT_EQ(seen.shown, 4);
  pressThenMenuAt(onType, onName);
  EXPECT_EQ(seen.shown, 5);
  EXPECT_EQ(seen.item, L"b.txt");
  pressThenMenuAt(onName, onName);  // the same pair on the name shows it
  EXPECT_EQ(seen.shown, 6);
  Select({L"a.txt"});

  // Nothing selected, or a read-only tree: no shell menu.
  tree->ClearSelection();
  Keys({VK_APPS});
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toExplorerReadOnly);
  Select({L"a.txt"});
  Keys({VK_APPS});
  EXPECT_EQ(seen.shown, 6);
}

TEST(ShortcutEntry, SeparatorGoesOnlyWhenItWouldEndTheMenuOrDouble) {
  struct Case {
    std::vector<const wchar_t*> entries;
    std::vector<const wchar_t*> expected;
  } cases[] = {
      {{L"open", L"-", L"link", L"delete"}, {L"open", L"-", L"delete"}},
      {{L"open", L"-", L"link"}, {L"open"}},
      {{L"open", L"-", L"link", L"-", L"properties"}, {L"open", L"-", L"properties"}},
      {{L"open", L"link", L"-", L"link"}, {L"open", L"-", L"link"}},
      {{L"open", L"copy"}, {L"open", L"copy"}},
  };
  for (const Case& c : cases) {
    HMENU menu = CreatePopupMenu();
    std::vector<std::wstring> verbs;
    for (const wchar_t* e : c.entries) {
      if (std::wstring(e) == L"-") {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      } else {
        verbs.push_back(e);
        AppendMenuW(menu, MF_STRING, verbs.size(), e);
      }
    }
    RemoveShortcutItem(menu, [&](UINT id) { return verbs.at(id - 1); });
    std::vector<std::wstring> left;
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
      left.push_back(IndexIsSeparator(menu, i) ? L"-" : verbs.at(GetMenuItemID(menu, i) - 1));
    EXPECT_EQ(left, std::vector<std::wstring>(c.expected.begin(), c.expected.end())) << Narrow(c.entries[2]);
    DestroyMenu(menu);
  }
}

// Types a name into the open editor and presses Enter.
void EnterName(const std::wstring& name) {
  SetWindowTextW(GetFocus(), name.c_str());
  SendMessageW(GetFocus(), EM_SETMODIFY, TRUE, 0);
  Keys({VK_RETURN});
  Pump(200);
}

TEST_F(ExplorerCommands, RenameInPlaceGoesToTheShellAndARefusedNameReopensTheEditor) {
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
  PLazyNode node = Node(L"ren.txt");
  ASSERT_NE(node, nullptr);
  ASSERT_TRUE(tree->EditCaption(node));
  EnterName(L"renamed.txt");
  EXPECT_FALSE(tree->IsEditing());
  EXPECT_TRUE(FileExistsW(kCmds + L"\\renamed.txt"));
  EXPECT_FALSE(FileExistsW(kCmds + L"\\ren.txt"));
  EXPECT_EQ(tree->GetText(node, kNoColumn), L"renamed.txt");

  // Wine refuses the name without a box of its own; the editor opens again on the node.
  ASSERT_TRUE(tree->EditCaption(node));
  EnterName(L"bad?name.txt");
  EXPECT_TRUE(tree->IsEditing());
  EXPECT_EQ(tree->FocusedNode(), node);
  tree->CancelEditNode();
  EXPECT_TRUE(FileExistsW(kCmds + L"\\renamed.txt"));

  // The application's OnEditing is asked with the explorer's decision and may refuse.
  std::vector<bool> asked;
  tree->OnEditing = [&](TBaseLazyTree&, PLazyNode, TColumnIndex, bool& allowed) {
    asked.push_back(allowed);
    allowed = false;
  };
  EXPECT_FALSE(tree->EditCaption(node));
  // A read-only tree edits nothing, even when the application would allow it.
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toExplorerReadOnly);
  tree->OnEditing = [&](TBaseLazyTree&, PLazyNode, TColumnIndex, bool& allowed) {
    asked.push_back(allowed);
    allowed = true;
  };
  EXPECT_FALSE(tree->EditCaption(node));
  EXPECT_EQ(asked, (std::vector<bool>{true, false}));
  tree->OnEditing = nullptr;
}

// "Rename" chosen from the shell menu of an item that was not selected: the
// editor opens on it and stays open once the right button is released.
TEST_F(ExplorerCommands, RenameFromTheMenuOfAnUnselectedItemKeepsItsEditor) {
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
  Select({L"a.txt"});
  PLazyNode item = Node(L"b.txt");
  ASSERT_NE(item, nullptr);
  int shown = 0;
  tree->OnContextMenuShow = [&](TCustomLazyExplorerTree& t, TNamespace& ns, HMENU, bool& allow) {
    ++shown;
    allow = false;  // the user picks "rename" from the menu
    static_cast<CommandTree&>(t).DoContextMenuCmd(ns, L"rename", 0);
  };
  const TLazyRect r = tree->GetDisplayRect(item, kNoColumn, true);
  RightClickAt(*tree, POINT{r.Left + 5, (r.Top + r.Bottom) / 2});
  ASSERT_EQ(shown, 1);
  EXPECT_TRUE(tree->IsEditing());
  EXPECT_EQ(SelectedName(), L"b.txt");
  EXPECT_EQ(tree->FocusedNode(), item);
  tree->CancelEditNode();
  tree->OnContextMenuShow = nullptr;
}

TEST_F(ExplorerCommands, NewFolderBesideNewFolderIsNumberedAndEdited) {
  std::wstring newName;
  auto root = TNamespace::CreateFromFileName(kCmds);
  try {
    tree->InternalCreateNewFolder(root->AbsolutePIDL(), L"New Folder", newName);
    ADD_FAILURE() << "a folder was made for a tree that cannot edit its name";
  } catch (const ELazyTreeAssertion& e) {
    EXPECT_STREQ(e.what(), "You must set the toEditable option to Edit paths");
  }
  EXPECT_FALSE(DirExistsW(kCmds + L"\\New Folder (1)"));
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
  // A read-only tree makes no folder.
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toExplorerReadOnly);
  EXPECT_FALSE(tree->InternalCreateNewFolder(root->AbsolutePIDL(), L"New Folder", newName));
  EXPECT_FALSE(DirExistsW(kCmds + L"\\New Folder (1)"));
  EXPECT_EQ(tree->GetFirstSelected(), nullptr);
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() & ~toExplorerReadOnly);
  ASSERT_TRUE(tree->InternalCreateNewFolder(root->AbsolutePIDL(), L"New Folder", newName));
  EXPECT_EQ(newName, L"New Folder (1)");
  EXPECT_TRUE(DirExistsW(kCmds + L"\\New Folder (1)"));
  EXPECT_EQ(SelectedName(), L"New Folder (1)");
  EXPECT_EQ(tree->FocusedNode(), tree->GetFirstSelected());
  EXPECT_TRUE(tree->IsEditing());
  tree->CancelEditNode();
}

TEST_F(ExplorerCommands, ANewFolderInAFolderNeverExpandedShowsOnce) {
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
  PLazyNode parent = Node(L"New Folder");
  ASSERT_NE(parent, nullptr);
  ASSERT_EQ(parent->ChildCount, 0u);
  TNamespace* parentNs = nullptr;
  ASSERT_TRUE(tree->ValidateNamespace(parent, parentNs));
  std::wstring newName;
  ASSERT_TRUE(tree->InternalCreateNewFolder(parentNs->AbsolutePIDL(), L"Inner", newName));
  EXPECT_EQ(newName, L"Inner");
  EXPECT_TRUE(tree->Expanded(parent));
  // Expanding read the new folder already: it is that node that is selected and edited.
  int named = 0;
  for (PLazyNode n = tree->GetFirstChild(parent); n; n = tree->GetNextSibling(n)) {
    TNamespace* ns = nullptr;
    if (tree->ValidateNamespace(n, ns) && ns->GetNameInFolder() == L"Inner") ++named;
  }
  EXPECT_EQ(named, 1);
  EXPECT_EQ(parent->ChildCount, 1u);
  EXPECT_EQ(tree->GetFirstSelected(), tree->GetFirstChild(parent));
  EXPECT_TRUE(tree->IsEditing());
  tree->CancelEditNode();
  RemoveDirectoryW((kCmds + L"\\New Folder\\Inner").c_str());
}

TEST_F(ExplorerCommands, DraggedItemsCarryTheShellFormats) {
  Select({L"a.txt", L"b.txt"});
  EXPECT_FALSE(tree->DoBeforeDrag(Node(L"a.txt"), kNoColumn));  // no toDragDrop
  tree->SetExplorerShellOptions(tree->ExplorerShellOptions() | toDragDrop);
  tree->SetDragOperations(DROPEFFECT_COPY);
  EXPECT_TRUE(tree->DoBeforeDrag(Node(L"a.txt"), kNoColumn));
  EXPECT_EQ(tree->DragOperations(), DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK);  // the shell chooses
  // The tree control's own event may veto.
  static_cast<TBaseLazyTree&>(*tree).OnDragAllowed = [](TBaseLazyTree&, PLazyNode, TColumnIndex, bool& allowed) {
    allowed = false;
  };
  EXPECT_FALSE(tree->DoBeforeDrag(Node(L"a.txt"), kNoColumn));

  ComPtr<IDataObject> data = tree->DoCreateDataObject();
  ASSERT_TRUE(data);
  ComPtr<IEnumFORMATETC> formats;
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, formats.Put()), S_OK);
  std::vector<CLIPFORMAT> listed;
  FORMATETC f{};
  while (formats->Next(1, &f, nullptr) == S_OK) listed.push_back(f.cfFormat);
  const auto idList = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Shell IDList Array"));
  EXPECT_NE(std::find(listed.begin(), listed.end(), idList), listed.end());
  EXPECT_NE(std::find(listed.begin(), listed.end(), CF_HDROP), listed.end());
  FORMATETC hdrop{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(data->QueryGetData(&hdrop), S_OK);
  FORMATETC text{CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(data->QueryGetData(&text), DV_E_FORMATETC);
  EXPECT_EQ(DroppedFiles(data.Get()), (std::vector<std::wstring>{kCmds + L"\\a.txt", kCmds + L"\\b.txt"}));
  // The tree's own nodes travel too, answered by the tree.
  EXPECT_NE(std::find(listed.begin(), listed.end(), CF_LAZYTREE()), listed.end());
  FORMATETC nodes{CF_LAZYTREE(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  ASSERT_EQ(data->GetData(&nodes, &medium), S_OK);
  EXPECT_GT(GlobalSize(medium.hGlobal), 0u);
  ReleaseStgMedium(&medium);

  // An object the application supplies through the tree's event is dragged as it is.
  int asked = 0;
  tree->OnCreateDataObject = [&](TBaseLazyTree&, ComPtr<IDataObject>& object) {
    ++asked;
    object = data;
  };
  ComPtr<IDataObject> supplied = tree->DoCreateDataObject();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(supplied.Get(), data.Get());
  // Without one, the shell's items go again.
  tree->OnCreateDataObject = [&](TBaseLazyTree&, ComPtr<IDataObject>&) { ++asked; };
  ComPtr<IDataObject> made = tree->DoCreateDataObject();
  EXPECT_EQ(asked, 2);
  ASSERT_TRUE(made);
  EXPECT_NE(made.Get(), data.Get());
  EXPECT_EQ(DroppedFiles(made.Get()), (std::vector<std::wstring>{kCmds + L"\\a.txt", kCmds + L"\\b.txt"}));
  // The tree's later objects (the clipboard's) offer no shell format they could not render.
  std::vector<FORMATETC> later;
  tree->GetNativeClipboardFormats(later);
  EXPECT_TRUE(std::none_of(later.begin(), later.end(), [](const FORMATETC& e) { return e.cfFormat == CF_HDROP; }));
}

}  // namespace
}  // namespace kv
