// The explorer tree's root and refresh, its option rules, its drop target and
// its node moves, over a scratch folder of the test prefix.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/scope_guard.h"
#include "shell/change_notifier_win.h"
#include "shell/explorer_tree_win.h"
#include "shell/icon_thread_win.h"
#include "tests/shell/explorer_tree_test_util.h"
#include "tests/shell/shell_test_util.h"
#include "tests/treeview/held_key_win.h"
#include "treeview/node_stream.h"
#include "tests/ui/ui_test_util.h"
#include "ui/forms_win.h"

namespace kv {
namespace {

const std::wstring kRoot = test::kFixture + L"\\roots";

void MakeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << test::Narrow(path);
  CloseHandle(file);
}

using test::LeftButton;
using test::MouseTo;
using test::PumpUntil;

class ImageTree : public TLazyExplorerTree {
 public:
  int Image(PLazyNode node) {
    bool ghosted = false;
    return ImageIndex(node, TLTImageKind::ikNormal, kNoColumn, ghosted);
  }
  bool Editable(PLazyNode node, TColumnIndex column) {
    bool allowed = true;
    DoCanEdit(node, column, allowed);
    return allowed;
  }
  // Whether `watched`'s row still waited for a repaint right after an icon answer was handled.
  PLazyNode watched = nullptr;
  int answers = 0;
  bool pendingAfterAnswer = false, draggingAtAnswer = false;

 protected:
  void WndProc(ui::TMessage& m) override {
    const bool dragging = Dragging();
    TLazyExplorerTree::WndProc(m);
    if (m.msg != WM_LTSETICONINDEX || !watched) return;
    draggingAtAnswer = dragging;
    ++answers;
    const TLazyRect r = GetDisplayRect(watched, kNoColumn, false);
    const RECT row{r.Left, r.Top, r.Right, r.Bottom};
    HRGN update = CreateRectRgn(0, 0, 0, 0);
    pendingAfterAnswer = GetUpdateRgn(Handle(), update, FALSE) > NULLREGION && RectInRegion(update, &row);
    DeleteObject(update);
  }
};

class ExplorerTreeRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryW(kRoot.c_str(), nullptr);
    for (const wchar_t* sub : {L"\\one", L"\\two", L"\\two\\inner"}) CreateDirectoryW((kRoot + sub).c_str(), nullptr);
    for (const wchar_t* f : {L"\\a.txt", L"\\b.txt", L"\\two\\c.txt"}) MakeFile(kRoot + f);
    form = std::make_unique<ui::TForm>();
    tree = &form->Create<ImageTree>();
    tree->SetParent(form.get());
    tree->SetBounds(0, 0, 300, 400);
    tree->SetFileObjects(foFolders | foNonFolders);
  }
  // The scratch folder goes with everything a test made in it, so the next
  // test (in any order) starts from the same few items.
  void TearDown() override {
    form.reset();
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(kRoot), ignored);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(kRoot), ignored));
  }
  // A file list as the folder page's: the folder is its custom root, hidden.
  void MakeList(const std::wstring& folder) {
    tree->SetExplorerFolderOptions(toFoldersExpandable | toHideRootFolder);
    TPidl list = PathToPIDL(folder);
    ASSERT_TRUE(list);
    tree->SetRootFolderCustomPIDL(list.get());
    tree->SetActive(true);
    form->Show();
  }
  std::vector<std::string> Names(PLazyNode parent) { return test::NodeNames(*tree, parent); }
  std::string Text(PLazyNode node) { return test::NodeName(*tree, node); }
  PLazyNode Child(PLazyNode parent, const std::string& name) {
    for (PLazyNode n = tree->GetFirstChild(parent); n; n = tree->GetNextSibling(n))
      if (Text(n) == name) return n;
    return nullptr;
  }
  bool Has(PLazyNode parent, const std::string& name) { return Child(parent, name) != nullptr; }

  std::unique_ptr<ui::TForm> form;
  ImageTree* tree = nullptr;
};

TEST_F(ExplorerTreeRoot, F5AndRefreshNodeReadTheListsFolderAgain) {
  MakeList(kRoot);
  EXPECT_TRUE(Has(nullptr, "a.txt"));
  EXPECT_FALSE(Has(nullptr, "late.txt"));

  // F5 as the user presses it: the list was browsed to, so its root is a custom list.
  MakeFile(kRoot + L"\\late.txt");
  SendMessageW(tree->Handle(), WM_KEYDOWN, VK_F5, 0);
  EXPECT_TRUE(Has(nullptr, "late.txt"));
  EXPECT_EQ(tree->RootFolder(), TRootFolder::rfCustomPIDL);
  // As the user sees it: the new file's row carries its name.
  const ui::TBitmap shot = ui::test::Screenshot(*form, "list_after_refresh");
  test::KeepShot(shot, "list_after_refresh");
  const TLazyRect row = tree->GetDisplayRect(Child(nullptr, "late.txt"), kNoColumn, true);
  int dark = 0;
  for (int y = row.Top; y < row.Bottom; ++y)
    for (int x = row.Left; x < row.Right; ++x) {
      const uint32_t px = ui::test::PixelAt(shot, *form, tree->Handle(), x, y);
      if (((px >> 16) & 0xFF) + ((px >> 8) & 0xFF) + (px & 0xFF) < 200) ++dark;
    }
  EXPECT_GT(dark, 10);

  // The hidden root re-read keeps its rows (media events reach a drive root so).
  MakeFile(kRoot + L"\\later.txt");
  const size_t before = Names(nullptr).size();
  tree->RefreshNode(tree->RootNode());
  EXPECT_EQ(Names(nullptr).size(), before + 1);
  EXPECT_TRUE(Has(nullptr, "later.txt"));
  tree->RefreshNode(tree->RootNode());
  EXPECT_EQ(Names(nullptr).size(), before + 1);
}

TEST_F(ExplorerTreeRoot, ACustomRootSurvivesSaveAndRestore) {
  MakeList(kRoot + L"\\two");
  TExplorerPersistent state;
  state.SaveTree(*tree, true, true);
  ASSERT_TRUE(state.RootFolderCustomPIDL);
  tree->SetRootFolder(TRootFolder::rfDrives);
  EXPECT_EQ(tree->RootFolder(), TRootFolder::rfDrives);
  EXPECT_EQ(tree->RootFolderCustomPIDL(), nullptr);
  state.RestoreTree(*tree, true, false, true);
  EXPECT_EQ(tree->RootFolder(), TRootFolder::rfCustomPIDL);
  ASSERT_NE(tree->RootFolderCustomPIDL(), nullptr);
  EXPECT_EQ(PIDLToPath(tree->RootFolderCustomPIDL()), kRoot + L"\\two");
  EXPECT_EQ(Names(nullptr), (std::vector<std::string>{"inner", "c.txt"}));
}

TEST_F(ExplorerTreeRoot, ARefusedRootChangeKeepsTheOldRoot) {
  MakeList(kRoot);
  std::vector<TRootFolder> asked;
  int changes = 0;
  bool allow = false;
  tree->OnRootChanging = [&](TCustomLazyExplorerTree&, TRootFolder kind, TNamespace&, bool& allowed) {
    asked.push_back(kind);
    allowed = allow;
  };
  tree->OnRootChange = [&](TCustomLazyExplorerTree&) { ++changes; };
  const auto shown = Names(nullptr);
  tree->SetRootFolder(TRootFolder::rfDrives);
  tree->SetRootFolderCustomPath(kRoot + L"\\one");
  tree->SetRootFolderCustomPIDL(PathToPIDL(kRoot + L"\\two").get());
  EXPECT_EQ(asked, (std::vector<TRootFolder>{TRootFolder::rfDrives, TRootFolder::rfCustom,
                                             TRootFolder::rfCustomPIDL}));
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(tree->RootFolder(), TRootFolder::rfCustomPIDL);
  EXPECT_EQ(PIDLToPath(tree->RootFolderCustomPIDL()), kRoot);
  EXPECT_EQ(Names(nullptr), shown);

  allow = true;
  tree->SetRootFolderCustomPath(kRoot + L"\\two");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(tree->RootFolder(), TRootFolder::rfCustom);
  EXPECT_EQ(tree->RootFolderCustomPIDL(), nullptr);
  EXPECT_EQ(Names(nullptr), (std::vector<std::string>{"inner", "c.txt"}));

  // A folder that exists but that the shell cannot parse is refused as a
  // missing one would be, without an exception.
  const std::wstring unparsed = L"\\\\?\\" + kRoot + L"\\one\\";
  ASSERT_NE(GetFileAttributesW(unparsed.c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_FALSE(PathToPIDL(unparsed));
  EXPECT_NO_THROW(tree->SetRootFolderCustomPath(unparsed));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(tree->RootFolderCustomPath(), kRoot + L"\\two\\");
}

TEST_F(ExplorerTreeRoot, OptionSettersKeepTheirRules) {
  auto& options = tree->ExplorerOptions();
  options.SetAutoOptions(options.AutoOptions() | toAutoSort | toAutoTristateTracking);
  EXPECT_FALSE(options.AutoOptions() & toAutoSort);
  EXPECT_TRUE(options.AutoOptions() & toAutoTristateTracking);
  options.SetSelectionOptions(toMultiSelect | toLevelSelectConstraint);
  EXPECT_EQ(options.SelectionOptions(), uint32_t(toMultiSelect | toSiblingSelectConstraint));
  options.SetSelectionOptions(toMultiSelect);
  EXPECT_EQ(options.SelectionOptions(), uint32_t(toMultiSelect | toSiblingSelectConstraint));
  options.SetSelectionOptions(toLevelSelectConstraint);  // a single selection keeps it
  EXPECT_EQ(options.SelectionOptions(), uint32_t(toLevelSelectConstraint));
  // The tree's effects see the whole change: spanning columns turned on beside
  // the refused sort still repaints the rows.
  form->Show();
  UpdateWindow(tree->Handle());
  ValidateRect(tree->Handle(), nullptr);
  options.SetAutoOptions((options.AutoOptions() | toAutoSpanColumns) | toAutoSort);
  EXPECT_TRUE(options.AutoOptions() & toAutoSpanColumns);
  EXPECT_TRUE(GetUpdateRect(tree->Handle(), nullptr, FALSE));

  // The image list follows the bit that changed; images turned on take the chosen size.
  EXPECT_EQ(tree->Images(), &SmallSysImages());
  tree->SetExplorerImageOptions(0);
  EXPECT_EQ(tree->Images(), nullptr);
  tree->SetExplorerImageOptions(toLargeImages);
  EXPECT_EQ(tree->Images(), &LargeSysImages());
  tree->SetExplorerImageOptions(toLargeImages | toMarkCutAndCopy);  // neither bit changed
  EXPECT_EQ(tree->Images(), &LargeSysImages());
  tree->SetExplorerImageOptions(toImages | toLargeImages);
  EXPECT_EQ(tree->Images(), &LargeSysImages());
  tree->SetExplorerImageOptions(toImages);
  EXPECT_EQ(tree->Images(), &SmallSysImages());

  const uint32_t base = toBrowseExecuteFolder;
  options.SetExplorerMiscOptions(base | toTrackChangesInMappedDrives);
  EXPECT_EQ(tree->ExplorerMiscOptions(), base | toTrackChangesInMappedDrives | toChangeNotifierThread);
  options.SetExplorerMiscOptions(base | toTrackChangesInMappedDrives);  // the notifier goes, tracking with it
  EXPECT_EQ(tree->ExplorerMiscOptions(), base);

  // Assigned to another tree through the setters: the rules and the effects run there too.
  ImageTree other;
  other.ExplorerOptions().Assign(options);
  EXPECT_EQ(other.ExplorerMiscOptions(), base);
  EXPECT_EQ(other.ExplorerOptions().SelectionOptions(), uint32_t(toLevelSelectConstraint));
  TNodeMemoryStream stream;
  try {
    tree->SaveToStream(stream);
    ADD_FAILURE() << "the explorer tree wrote a node stream";
  } catch (const ELazyTreeAssertion& e) {
    EXPECT_STREQ(e.what(), "SaveToStream is not supported in the explorer tree. Use the ViewManager Property");
  }
}

// Without browsing into folders a double click opens a folder by its button
// only; on its caption it does while the tree browses.
TEST_F(ExplorerTreeRoot, ADoubleClickOnACaptionOpensAFolderOnlyWhenBrowsing) {
  tree->TreeOptions().SetPaintOptions(tree->TreeOptions().PaintOptions() | toShowRoot);
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toToggleOnDblClick);
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() & ~uint32_t(toBrowseExecuteFolder | toExecuteOnDblClk));
  MakeList(kRoot);
  PLazyNode two = Child(nullptr, "two");
  ASSERT_NE(two, nullptr);
  ASSERT_NE(two, tree->GetFirst());  // the first node opens whatever the click
  const TLazyRect r = tree->GetDisplayRect(two, kNoColumn, true);
  const int y = (r.Top + r.Bottom) / 2;
  auto doubleClick = [&](int x) {
    SendMessageW(tree->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(tree->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  };
  doubleClick(r.Left + 4);
  EXPECT_FALSE(tree->Expanded(two));
  int button = -1;
  for (int x = 0; x < r.Left && button < 0; ++x) {
    TTreeHitInfo hit;
    tree->GetHitTestInfoAt(x, y, true, hit);
    if (hit.HitNode == two && hit.HitPositions.Contains(hpOnItemButton)) button = x;
  }
  ASSERT_GE(button, 0);
  doubleClick(button);
  EXPECT_TRUE(tree->Expanded(two));
  tree->SetExpanded(two, false);
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toBrowseExecuteFolder);
  doubleClick(r.Left + 4);
  EXPECT_TRUE(tree->Expanded(two));
}

// A refresh shows the focused item at the top; with nothing focused the
// rebuilt view starts at its first row.
TEST_F(ExplorerTreeRoot, ARefreshShowsTheFocusedItemOrStartsAtTheTop) {
  const std::wstring many = kRoot + L"\\many";
  CreateDirectoryW(many.c_str(), nullptr);
  for (int i = 0; i < 60; ++i) MakeFile(many + L"\\f" + std::to_wstring(100 + i) + L".txt");
  MakeList(many);
  tree->SetFocusedNode(Child(nullptr, "f130.txt"));
  tree->SetTopNode(Child(nullptr, "f110.txt"));
  tree->RefreshTree(false);
  EXPECT_EQ(Text(tree->TopNode()), "f130.txt");
  tree->ClearSelection();
  tree->SetFocusedNode(nullptr);
  tree->SetTopNode(Child(nullptr, "f110.txt"));
  ASSERT_EQ(Text(tree->TopNode()), "f110.txt");
  tree->RefreshTree(false);
  EXPECT_EQ(Text(tree->TopNode()), "f100.txt");
}

TEST_F(ExplorerTreeRoot, OnlyTheNameAndOwnColumnsAreEdited) {
  MakeList(kRoot);
  tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toEditable);
  PLazyNode a = Child(nullptr, "a.txt");
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(tree->Editable(a, kNoColumn));
  tree->SetColumnDetails(cdExplorerColumns);
  ASSERT_GT(tree->Header().Columns().Count(), 2);
  EXPECT_TRUE(tree->Editable(a, 0));   // the name
  EXPECT_FALSE(tree->Editable(a, 1));  // the size
  tree->SetColumnDetails(cdShellColumns);
  ASSERT_GT(tree->ShellColumnCount(), 1);
  EXPECT_TRUE(tree->Editable(a, 0));
  EXPECT_FALSE(tree->Editable(a, 1));
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toExplorerReadOnly);
  EXPECT_FALSE(tree->Editable(a, 0));

  // Another tree takes the settings: the same root, columns and options.
  ImageTree copy;
  copy.Assign(*tree);
  EXPECT_EQ(copy.RootFolder(), TRootFolder::rfCustomPIDL);
  EXPECT_TRUE(ILIsEqualSafe(copy.RootFolderCustomPIDL(), tree->RootFolderCustomPIDL()));
  EXPECT_EQ(copy.ColumnDetails(), cdShellColumns);
  EXPECT_EQ(copy.FileObjects(), tree->FileObjects());
  EXPECT_EQ(copy.ExplorerFolderOptions(), tree->ExplorerFolderOptions());
  EXPECT_TRUE(copy.ExplorerMiscOptions() & toExplorerReadOnly);
  EXPECT_TRUE(copy.Active());
}

// A drop target that keeps what the tree handed it (released through Release only).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class RecordingDropTarget : public IDropTarget {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    calls.push_back("enter");
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    calls.push_back("over");
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override {
    calls.push_back("leave");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    calls.push_back("drop");
    dropped = data;
    dropEffect = *effect;
    return S_OK;
  }
  ULONG refs = 1;
  std::vector<std::string> calls;
  IDataObject* dropped = nullptr;
  DWORD dropEffect = 0;
};
#pragma GCC diagnostic pop

TEST_F(ExplorerTreeRoot, DropsReachTheFoldersShellTarget) {
  MakeList(kRoot);
  PLazyNode one = Child(nullptr, "one");
  ASSERT_NE(one, nullptr);
  TNamespace *oneNs = nullptr, *rootNs = nullptr;
  ASSERT_TRUE(tree->ValidateNamespace(one, oneNs));
  ASSERT_TRUE(tree->ValidateNamespace(tree->RootNode(), rootNs));
  RecordingDropTarget folder, root;
  oneNs->SetDropTargetInterface(ComPtr<IDropTarget>(&folder));
  rootNs->SetDropTargetInterface(ComPtr<IDropTarget>(&root));
  auto file = test::Item(L"roots\\a.txt");
  ComPtr<IDataObject> data = file->DataObjectMulti({file.get()});
  ASSERT_TRUE(data);
  IDropTarget& manager = tree->GetDragManager();

  const TLazyRect r = tree->GetDisplayRect(one, kNoColumn, true);
  POINT on{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  ClientToScreen(tree->Handle(), &on);
  const POINTL at{on.x, on.y};
  // A right-button drag: the folder's target gets effect 7 so the shell offers its menu.
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  ASSERT_EQ(manager.DragEnter(data.Get(), MK_RBUTTON, at, &effect), S_OK);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  manager.DragOver(MK_RBUTTON, at, &effect);
  EXPECT_EQ(effect & ~kDropEffectScroll, DWORD(DROPEFFECT_COPY));  // the folder's answer
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  manager.Drop(data.Get(), 0, at, &effect);
  EXPECT_EQ(folder.calls, (std::vector<std::string>{"enter", "over", "drop"}));
  EXPECT_EQ(folder.dropEffect, DWORD(DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK));
  EXPECT_EQ(folder.dropped, data.Get());
  EXPECT_TRUE(root.calls.empty());

  // A left-button drag over the empty area below the rows goes to the hidden root's folder;
  // the folder left on the way hears DragLeave first.
  folder.calls.clear();
  RECT client{};
  GetClientRect(tree->Handle(), &client);
  POINT below{10, client.bottom - 5};
  ClientToScreen(tree->Handle(), &below);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  manager.DragEnter(data.Get(), MK_LBUTTON, at, &effect);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  manager.DragOver(MK_LBUTTON, POINTL{below.x, below.y}, &effect);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  manager.Drop(data.Get(), 0, POINTL{below.x, below.y}, &effect);
  EXPECT_EQ(folder.calls, (std::vector<std::string>{"enter", "leave"}));
  EXPECT_EQ(root.calls, (std::vector<std::string>{"enter", "over", "drop"}));
  EXPECT_EQ(root.dropEffect, DWORD(DROPEFFECT_COPY));

  // Read-only: nothing reaches the shell.
  root.calls.clear();
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toExplorerReadOnly);
  effect = DROPEFFECT_COPY;
  manager.DragEnter(data.Get(), MK_LBUTTON, POINTL{below.x, below.y}, &effect);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
  manager.DragLeave();
  EXPECT_TRUE(root.calls.empty());
  oneNs->SetDropTargetInterface({});
  rootNs->SetDropTargetInterface({});
}

// A drag source whose every QueryContinueDrag runs the test's next step
// inside OLE's drag loop (which reads the mouse from the screen).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ScriptedDropSource : public IDropSource {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IDropSource) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL, DWORD) override { return step(); }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
  std::function<HRESULT()> step;
};
#pragma GCC diagnostic pop

// A file dragged from elsewhere over folder "one" of a list that follows
// shell changes: a batch arriving meanwhile is held until the drag ends, and
// the folder's node freed under the drag (a refresh) takes its drop target
// out of the drag cleanly.
TEST_F(ExplorerTreeRoot, ADragOverTheTreeHoldsBatchesAndOutlivesItsTargetNode) {
  ChangeNotifier().SetQuietPeriod(60);
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toChangeNotifierThread);
  MakeList(kRoot);
  ASSERT_TRUE(tree->ChangeNotifierEnabled());
  SetForegroundWindow(form->Handle());
  int rebuilds = 0;
  tree->OnRootRebuild = [&](TCustomLazyExplorerTree&) { ++rebuilds; };
  PLazyNode one = Child(nullptr, "one");
  ASSERT_NE(one, nullptr);
  TNamespace* oneNs = nullptr;
  ASSERT_TRUE(tree->ValidateNamespace(one, oneNs));
  RecordingDropTarget folder;
  oneNs->SetDropTargetInterface(ComPtr<IDropTarget>(&folder));
  auto file = test::Item(L"roots\\a.txt");
  ComPtr<IDataObject> data = file->DataObjectMulti({file.get()});
  ASSERT_TRUE(data);
  const TLazyRect r = tree->GetDisplayRect(one, kNoColumn, true);
  POINT on{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  ClientToScreen(tree->Handle(), &on);
  SetCursorPos(on.x, on.y);
  TPidl rootList = PathToPIDL(kRoot);
  ASSERT_TRUE(rootList);

  enum { kEntering, kBatchOut, kTargetGoes, kAfter, kDone } phase = kEntering;
  bool missedInDrag = false, heldWhileTarget = false;
  size_t callsBeforeRefresh = 0;
  int ticks = 0;
  const DWORD start = GetTickCount();
  ScriptedDropSource source;
  source.step = [&]() -> HRESULT {
    if (GetTickCount() - start > 10000) return DRAGDROP_S_CANCEL;
    switch (phase) {
      case kEntering:
        if (!folder.calls.empty()) {
          SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, rootList.get(), nullptr);
          phase = kBatchOut;
        }
        break;
      case kBatchOut:
        if (tree->MissedNotification()) {
          missedInDrag = true;
          heldWhileTarget = rebuilds == 0;
          callsBeforeRefresh = folder.calls.size();
          tree->RefreshTree(false);  // frees every node, "one" with it
          phase = kTargetGoes;
        }
        break;
      case kTargetGoes:
        if (++ticks == 3) phase = kAfter;
        break;
      case kAfter:
        phase = kDone;
        return DRAGDROP_S_CANCEL;
      case kDone:
        return DRAGDROP_S_CANCEL;
    }
    return S_OK;
  };
  DWORD effect = DROPEFFECT_NONE;
  ::DoDragDrop(data.Get(), &source, DROPEFFECT_COPY, &effect);
  EXPECT_EQ(phase, kDone);
  EXPECT_TRUE(missedInDrag);
  EXPECT_TRUE(heldWhileTarget);
  ASSERT_GE(folder.calls.size(), 2u);
  EXPECT_EQ(folder.calls.front(), "enter");
  // The freed node's target heard DragLeave once, when the node went, and nothing after.
  EXPECT_EQ(folder.calls.size(), callsBeforeRefresh + 1);
  EXPECT_EQ(folder.calls.back(), "leave");
  EXPECT_EQ(std::count(folder.calls.begin(), folder.calls.end(), "leave"), 1);
  EXPECT_EQ(folder.refs, 1u);
  // The held batch is made good by one refresh at the next mouse move.
  EXPECT_EQ(rebuilds, 1);
  SendMessageW(tree->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(rebuilds, 2);
  EXPECT_FALSE(tree->MissedNotification());
  EXPECT_NE(Child(nullptr, "one"), nullptr);
}

// An icon answering while the tree drags its own node shows at once: the row
// is repainted with the answer (the drag image kept over it), not left to a
// later paint that the drag loop may put off.
TEST_F(ExplorerTreeRoot, AnIconArrivingDuringTheTreesOwnDragIsPaintedAtOnce) {
  tree->SetExplorerImageOptions(toImages | toThreadedImages);
  tree->SetExplorerShellOptions(tree->ExplorerShellOptions() | toDragDrop);
  MakeList(kRoot);
  SetForegroundWindow(form->Handle());
  PLazyNode one = Child(nullptr, "one"), two = Child(nullptr, "two"), b = Child(nullptr, "b.txt");
  ASSERT_TRUE(one && two && b);
  ASSERT_TRUE(PumpUntil([&] {
    for (PLazyNode n = tree->GetFirstChild(nullptr); n; n = tree->GetNextSibling(n)) tree->Image(n);
    return tree->PendingIconRequests() == 0;
  }));
  TNamespace *twoNs = nullptr, *bNs = nullptr;
  ASSERT_TRUE(tree->ValidateNamespace(two, twoNs) && tree->ValidateNamespace(b, bNs));
  RecordingDropTarget folder;
  twoNs->SetDropTargetInterface(ComPtr<IDropTarget>(&folder));
  // The file's icon asked again, its request held in the queue: the answer
  // below is the one the tree waits for.
  bNs->InvalidateNamespace(true);
  auto* queue = ImageThreadManager().LockThread();
  ASSERT_NE(queue, nullptr);
  bool locked = true;
  ScopeGuard unlock([&] {
    if (locked) ImageThreadManager().UnLockThread();
  });
  tree->Image(b);
  uint64_t serial = 0;
  for (const auto& item : *queue)
    if (item->Data == b) serial = item->Serial;
  ASSERT_NE(serial, 0u);
  const int icon = test::Item(L"roots\\b.txt")->GetIconIndex(false, 0, true);
  auto answer = std::make_unique<TImageThreadItem>();
  answer->Control = tree;
  answer->Data = b;
  answer->ImageIndex = icon;
  answer->MessageID = WM_LTSETICONINDEX;
  answer->Serial = serial;
  TImageThreadItem* posted = answer.release();
  tree->watched = b;

  auto screen = [&](PLazyNode n) {
    const TLazyRect r = tree->GetDisplayRect(n, kNoColumn, true);
    POINT p{r.Left + 4, (r.Top + r.Bottom) / 2};
    ClientToScreen(tree->Handle(), &p);
    return p;
  };
  const POINT start = screen(one), target = screen(two);
  std::atomic<bool> done{false};
  std::thread driver([&] {
    MouseTo(start);
    Sleep(50);
    LeftButton(true);
    Sleep(100);
    for (int i = 1; i <= 8; ++i) {
      MouseTo({start.x + (target.x - start.x) * i / 8 + 12, start.y + (target.y - start.y) * i / 8});
      Sleep(20);
    }
    Sleep(150);
    PostMessageW(tree->Handle(), WM_LTSETICONINDEX, reinterpret_cast<WPARAM>(posted), 0);
    Sleep(200);
    LeftButton(false);
    Sleep(100);
    done = true;
  });
  for (int i = 0; i < 500 && !done; ++i) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
  driver.join();
  locked = false;
  ImageThreadManager().UnLockThread();
  twoNs->SetDropTargetInterface({});
  EXPECT_NE(std::find(folder.calls.begin(), folder.calls.end(), "enter"), folder.calls.end());
  ASSERT_EQ(tree->answers, 1);
  EXPECT_TRUE(tree->draggingAtAnswer);  // handled inside the drag loop
  EXPECT_FALSE(tree->pendingAfterAnswer);
  EXPECT_EQ(tree->Image(b), icon);
  EXPECT_FALSE(tree->Dragging());
}

TEST_F(ExplorerTreeRoot, FocusMovesOffDeletedAndCollapsedNodes) {
  tree->SetRootFolderCustomPath(kRoot);
  tree->SetActive(true);
  form->Show();
  PLazyNode top = tree->GetFirst();
  PLazyNode one = Child(top, "one"), two = Child(top, "two");
  ASSERT_TRUE(one && two);
  tree->SetFocusedNode(one);
  tree->DeleteNode(one);
  EXPECT_EQ(tree->FocusedNode(), two);  // the next sibling
  tree->SetExpanded(two, true);
  PLazyNode inner = Child(two, "inner");
  ASSERT_NE(inner, nullptr);
  tree->ClearSelection();
  tree->SetSelected(inner, true);
  tree->SetFocusedNode(inner);
  tree->SetExpanded(two, false);  // the focus below goes to the collapsing node
  EXPECT_EQ(tree->FocusedNode(), two);
  EXPECT_TRUE(tree->Selected(two));
  EXPECT_EQ(tree->SelectedCount(), 1u);
  PLazyNode last = tree->GetLastChild(top);
  tree->SetFocusedNode(last);
  tree->DeleteNode(last);
  EXPECT_EQ(tree->FocusedNode(), top);  // no next sibling: the parent
  EXPECT_TRUE(tree->Selected(top));
}

TEST_F(ExplorerTreeRoot, CollapsingLeavesNoIconAPlaceholder) {
  for (int i = 0; i < 150; ++i) MakeFile(kRoot + L"\\two\\many" + std::to_wstring(i) + L".txt");
  MakeFile(kRoot + L"\\one\\x.txt");
  tree->SetExplorerImageOptions(toImages | toThreadedImages);
  tree->SetRootFolderCustomPath(kRoot);
  tree->SetActive(true);
  form->Show();
  ASSERT_TRUE(tree->ThreadedImagesEnabled());
  PLazyNode top = tree->GetFirst();
  PLazyNode one = Child(top, "one"), two = Child(top, "two");
  tree->SetExpanded(one, true);
  tree->SetExpanded(two, true);
  // The many files of `two` ask for their icons; collapsing `one` withdraws
  // every request of the tree still queued, those of `two` too.
  for (PLazyNode n = tree->GetFirstChild(two); n; n = tree->GetNextSibling(n)) tree->Image(n);
  tree->SetExpanded(one, false);
  EXPECT_EQ(tree->PendingIconRequests(), 0u);
  // As painting asks: every item of `two` comes to its real icon.
  EXPECT_TRUE(PumpUntil([&] {
    bool all = true;
    for (PLazyNode n = tree->GetFirstChild(two); n; n = tree->GetNextSibling(n)) {
      tree->Image(n);
      TNamespace* ns = nullptr;
      all = all && tree->ValidateNamespace(n, ns) && ns->ThreadedIconLoaded();
    }
    return all;
  }));
  PLazyNode c = Child(two, "c.txt");
  EXPECT_EQ(tree->Image(c), test::Item(L"roots\\two\\c.txt")->GetIconIndex(false, 0, true));
}

// Ctrl held through the thread's key state, as GetKeyState reads it.
class CtrlHeld {
 public:
  CtrlHeld() {
    GetKeyboardState(saved_);
    BYTE held[256];
    std::copy(std::begin(saved_), std::end(saved_), held);
    held[VK_CONTROL] = 0x80;
    SetKeyboardState(held);
  }
  ~CtrlHeld() { SetKeyboardState(saved_); }

 private:
  BYTE saved_[256] = {};
};

TEST_F(ExplorerTreeRoot, CtrlPageKeysPageAmongSiblings) {
  for (int i = 0; i < 60; ++i) MakeFile(kRoot + L"\\two\\page" + std::to_wstring(100 + i) + L".txt");
  MakeList(kRoot + L"\\two");
  auto press = [&](WORD key) { SendMessageW(tree->Handle(), WM_KEYDOWN, key, 0); };
  const CtrlHeld ctrl;
  tree->SetFocusedNode(nullptr);
  press(VK_NEXT);
  PLazyNode first = tree->GetFirst();
  EXPECT_EQ(tree->FocusedNode(), first);  // nothing focused: the first node

  // Down: the last sibling shown, then a page further.
  press(VK_NEXT);
  PLazyNode lastShown = tree->FocusedNode();
  ASSERT_NE(lastShown, first);
  const int rows = tree->ViewHeight() / static_cast<int>(tree->DefaultNodeHeight());
  EXPECT_EQ(static_cast<int>(lastShown->Index), rows - (tree->ViewHeight() % tree->DefaultNodeHeight() ? 0 : 1));
  // (focusing the half-shown node scrolls it into view)
  const int shownOffset = tree->OffsetY();
  press(VK_NEXT);
  EXPECT_LT(tree->OffsetY(), shownOffset - tree->ViewHeight() / 2);
  EXPECT_GT(tree->FocusedNode()->Index, lastShown->Index);

  // Up: the top node, then a page back.
  press(VK_PRIOR);
  EXPECT_EQ(tree->FocusedNode(), tree->TopNode());
  const int pagedOffset = tree->OffsetY();
  press(VK_PRIOR);
  EXPECT_GT(tree->OffsetY(), pagedOffset + tree->ViewHeight() / 2);
  EXPECT_EQ(tree->FocusedNode(), tree->TopNode());

  // At the end the view cannot move: the last node takes the focus.
  tree->SetFocusedNode(tree->GetLastChild(nullptr));
  tree->ScrollIntoView(tree->GetLastChild(nullptr), false, false);
  press(VK_NEXT);
  press(VK_NEXT);
  EXPECT_EQ(tree->FocusedNode(), tree->GetLastChild(nullptr));
}

}  // namespace
}  // namespace kv
