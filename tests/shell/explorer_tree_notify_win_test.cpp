// Explorer trees following announced shell changes: folders re-read in place,
// nodes kept with their selection and checks, unread folders left unread,
// batches always released, and the icon-size setting put back after an
// association change.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/scope_guard.h"
#include "shell/change_notifier_win.h"
#include "shell/explorer_tree_win.h"
#include "shell/icon_thread_win.h"
#include "tests/shell/counting_tree_win.h"
#include "tests/shell/shell_test_util.h"
#include "ui/forms_win.h"

namespace kv {
namespace {

const std::wstring kRoot = test::kFixture + L"\\live";

class CountingTree : public test::CountingTree<TLazyExplorerTree> {
 public:
  using ui::TControl::RecreateHandle;
  int Image(PLazyNode node, TLTImageKind kind = TLTImageKind::ikNormal) {
    bool ghosted = false;
    return ImageIndex(node, kind, kNoColumn, ghosted);
  }
};

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
      else DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

void MakeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << test::Narrow(path);
  CloseHandle(file);
}

// A rename through the shell, which announces it to this process.
void ShellRename(const std::wstring& from, const std::wstring& to) {
  std::wstring source = from + L'\0', target = to + L'\0';
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_RENAME;
  op.pFrom = source.c_str();
  op.pTo = target.c_str();
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  ASSERT_EQ(SHFileOperationW(&op), 0) << test::Narrow(from);
}

using test::PumpUntil;

class ExplorerTreeNotify : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTree(kRoot);
    ASSERT_TRUE(CreateDirectoryW(kRoot.c_str(), nullptr));
    ChangeNotifier().SetQuietPeriod(60);
    liveBefore_ = TLazyShellEventList::LiveCount();
  }
  void TearDown() override {
    form.reset();
    EXPECT_FALSE(ChangeNotifier().HasShellThread());
    EXPECT_EQ(TLazyShellEventList::LiveCount(), liveBefore_);
    RemoveTree(kRoot);
  }
  // A tree with check boxes over the scratch folder, registered through its window.
  void MakeTree(uint32_t fileObjects, uint32_t imageOptions = toImages) {
    form = std::make_unique<ui::TForm>();
    tree = &form->Create<CountingTree>();
    tree->SetParent(form.get());
    tree->SetBounds(0, 0, 300, 400);
    tree->SetFileObjects(fileObjects);
    tree->SetExplorerImageOptions(imageOptions);
    tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toChangeNotifierThread);
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toCheckSupport);
    tree->OnInitNode = [](TLazyTreeModel&, PLazyNode, PLazyNode node, TLazyNodeInitStates&) {
      node->CheckType = ctTriStateCheckBox;
    };
    tree->SetRootFolderCustomPath(kRoot);
    tree->SetActive(true);
    form->Show();
    ASSERT_TRUE(tree->ChangeNotifierEnabled());
  }
  std::vector<std::string> Names(PLazyNode parent) {
    std::vector<std::string> names;
    for (PLazyNode n = tree->GetFirstChild(parent); n; n = tree->GetNextSibling(n)) {
      TNamespace* ns = nullptr;
      names.push_back(tree->ValidateNamespace(n, ns) ? test::Narrow(ns->GetNameInFolder()) : "");
    }
    return names;
  }
  PLazyNode Child(PLazyNode parent, const std::string& name) {
    for (PLazyNode n = tree->GetFirstChild(parent); n; n = tree->GetNextSibling(n)) {
      TNamespace* ns = nullptr;
      if (tree->ValidateNamespace(n, ns) && test::Narrow(ns->GetNameInFolder()) == name) return n;
    }
    return nullptr;
  }

  std::unique_ptr<ui::TForm> form;
  CountingTree* tree = nullptr;
  int32_t liveBefore_ = 0;
};

TEST_F(ExplorerTreeNotify, RenamedFileIsReplacedAndOtherNodesKeepTheirState) {
  for (const wchar_t* name : {L"\\a.txt", L"\\b.txt", L"\\c.txt", L"\\d.txt"}) MakeFile(kRoot + name);
  ASSERT_TRUE(CreateDirectoryW((kRoot + L"\\keep").c_str(), nullptr));
  MakeTree(foFolders | foNonFolders);
  PLazyNode root = tree->GetFirst();
  ASSERT_EQ(Names(root), (std::vector<std::string>{"keep", "a.txt", "b.txt", "c.txt", "d.txt"}));
  PLazyNode c = Child(root, "c.txt");
  PLazyNode d = Child(root, "d.txt");
  tree->SetSelected(c, true);
  tree->DoCheckClick(d, csCheckedNormal);

  ShellRename(kRoot + L"\\b.txt", kRoot + L"\\b2.txt");
  ASSERT_TRUE(PumpUntil([&] { return Child(root, "b2.txt") != nullptr; }));
  // Not sorted in: the new node comes after the kept ones.
  EXPECT_EQ(Names(root), (std::vector<std::string>{"keep", "a.txt", "c.txt", "d.txt", "b2.txt"}));
  EXPECT_EQ(Child(root, "c.txt"), c);
  EXPECT_TRUE(tree->Selected(c));
  EXPECT_EQ(tree->GetCheckState(d), csCheckedNormal);
  EXPECT_EQ(tree->GetCheckState(Child(root, "b2.txt")), csUncheckedNormal);
  uint32_t index = 0;
  for (PLazyNode n = tree->GetFirstChild(root); n; n = tree->GetNextSibling(n)) EXPECT_EQ(n->Index, index++);
}

TEST_F(ExplorerTreeNotify, FoldersOnlyTreeSortsRenamedFolderAndLeavesUnreadFoldersUnread) {
  for (const wchar_t* name : {L"\\alpha", L"\\beta", L"\\gamma", L"\\gamma\\inner"})
    ASSERT_TRUE(CreateDirectoryW((kRoot + name).c_str(), nullptr));
  MakeTree(foFolders);
  PLazyNode root = tree->GetFirst();
  PLazyNode gamma = Child(root, "gamma");
  ASSERT_NE(gamma, nullptr);
  const int enumerated = tree->enumerations;

  // Inside a folder never expanded: nothing is read.
  ShellRename(kRoot + L"\\gamma\\inner", kRoot + L"\\gamma\\outer");
  ShellRename(kRoot + L"\\beta", kRoot + L"\\aardvark");
  ASSERT_TRUE(PumpUntil([&] { return Child(root, "aardvark") != nullptr; }));
  EXPECT_EQ(Names(root), (std::vector<std::string>{"aardvark", "alpha", "gamma"}));
  EXPECT_EQ(tree->enumerations, enumerated);
  EXPECT_EQ(gamma->ChildCount, 0u);

  // A folder made through the shell helper appears.
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, (kRoot + L"\\delta").c_str(), nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(PumpUntil([&] { return Child(root, "delta") != nullptr; }));
}

// Delivers the listener's messages only, until a batch waits in the tree's queue.
bool BatchQueuedFor(HWND tree) {
  HWND listener = ChangeNotifier().ListenerWindow();
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 5000) {
    MSG msg;
    while (PeekMessageW(&msg, listener, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (PeekMessageW(&msg, tree, WM_SHELLNOTIFY, WM_SHELLNOTIFY, PM_NOREMOVE)) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return false;
}

TEST_F(ExplorerTreeNotify, HandlersEditingDragsAndTheDesktopDecideWhatIsDone) {
  MakeFile(kRoot + L"\\one.txt");
  MakeTree(foFolders | foNonFolders);
  PLazyNode root = tree->GetFirst();
  int rebuilds = 0;
  tree->OnRootRebuild = [&](TCustomLazyExplorerTree&) { ++rebuilds; };
  std::vector<TShellEventKind> seen;
  bool takeOver = true;
  tree->OnShellNotify = [&](TCustomLazyExplorerTree&, TLazyShellEvent& event) {
    seen.push_back(event.Kind);
    event.Handled = takeOver;
  };
  TPidl folder = PathToPIDL(kRoot);
  ASSERT_TRUE(folder);

  // Taken over by the handler: the tree does nothing itself.
  ShellRename(kRoot + L"\\one.txt", kRoot + L"\\two.txt");
  ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
  EXPECT_EQ(Names(root), (std::vector<std::string>{"one.txt"}));

  // While a caption is edited events are ignored.
  takeOver = false;
  seen.clear();
  tree->DoStateChange({tsEditing});
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, folder.get(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
  EXPECT_EQ(Names(root), (std::vector<std::string>{"one.txt"}));
  tree->DoStateChange({}, {tsEditing});

  // During a drag out of the tree the batch is dropped whole; the next mouse
  // move after the drag refreshes once. A real drag: the batch waits in the
  // queue when OLE's loop starts and is handled there, then Esc ends the drag
  // (over no window of the test, so nothing could be dropped anyway).
  seen.clear();
  tree->SetSelected(tree->GetFirstChild(root), true);
  tree->SetFocusedNode(tree->GetFirstChild(root));
  RECT frame{};
  GetWindowRect(form->Handle(), &frame);
  SetCursorPos(frame.right + 60, frame.top + 20);
  bool draggingAtStart = false, batchQueued = false, missedInDrag = false;
  int rebuildsInDrag = -1;
  tree->OnStartDrag = [&](TBaseLazyTree& t) {
    draggingAtStart = t.TreeStates().Contains(tsOLEDragging);
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, folder.get(), nullptr);
    batchQueued = BatchQueuedFor(t.Handle());
    PostMessageW(t.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  };
  tree->OnEndDrag = [&](TBaseLazyTree& t, POINT) {
    missedInDrag = tree->MissedNotification();
    SendMessageW(t.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    rebuildsInDrag = rebuilds;  // still dragging
  };
  tree->BeginDrag(true);
  tree->OnStartDrag = nullptr;
  tree->OnEndDrag = nullptr;
  EXPECT_TRUE(draggingAtStart);
  ASSERT_TRUE(batchQueued);
  EXPECT_TRUE(missedInDrag);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(rebuildsInDrag, 0);
  EXPECT_EQ(rebuilds, 0);
  EXPECT_FALSE(tree->TreeStates().Contains(tsOLEDragging));
  SendMessageW(tree->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  SendMessageW(tree->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(6, 6));
  EXPECT_EQ(rebuilds, 1);
  EXPECT_FALSE(tree->MissedNotification());
  EXPECT_EQ(Names(tree->GetFirst()), (std::vector<std::string>{"two.txt"}));

  // The desktop's folder changed: the whole tree is rebuilt.
  TPidl desktop;
  {
    LPITEMIDLIST list = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &list), S_OK);
    desktop.reset(list);
  }
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, desktop.get(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return rebuilds == 2; }));
}

TEST_F(ExplorerTreeNotify, AnEventOneTreeHandledIsSkippedByTheTreesAfterIt) {
  MakeTree(foFolders | foNonFolders);
  ui::TForm otherForm;
  auto& other = otherForm.Create<CountingTree>();
  other.SetParent(&otherForm);
  other.SetBounds(0, 0, 300, 400);
  other.SetExplorerMiscOptions(other.ExplorerMiscOptions() | toChangeNotifierThread);
  other.SetRootFolderCustomPath(kRoot);
  other.SetActive(true);
  otherForm.Show();
  ASSERT_TRUE(other.ChangeNotifierEnabled());
  // The first tree registered first and so reads each batch first.
  tree->OnShellNotify = [](TCustomLazyExplorerTree&, TLazyShellEvent& event) { event.Handled = true; };
  std::vector<bool> handledBefore;
  other.OnShellNotify = [&](TCustomLazyExplorerTree&, TLazyShellEvent& event) {
    handledBefore.push_back(event.Handled);
  };
  TPidl folder = PathToPIDL(kRoot);
  ASSERT_TRUE(folder);
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, folder.get(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return !handledBefore.empty(); }));
  EXPECT_EQ(handledBefore, (std::vector<bool>{true}));
}

TEST_F(ExplorerTreeNotify, BatchesQueuedWhenTheTreeStopsListeningAreHandledOrReleased) {
  MakeFile(kRoot + L"\\one.txt");
  MakeTree(foFolders | foNonFolders);
  PLazyNode root = tree->GetFirst();
  // Turned off with a batch queued: it is handled at once.
  ShellRename(kRoot + L"\\one.txt", kRoot + L"\\two.txt");
  ASSERT_TRUE(BatchQueuedFor(tree->Handle()));
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() & ~uint32_t(toChangeNotifierThread));
  EXPECT_FALSE(tree->ChangeNotifierEnabled());
  EXPECT_NE(Child(root, "two.txt"), nullptr);
  tree->SetExplorerMiscOptions(tree->ExplorerMiscOptions() | toChangeNotifierThread);
  EXPECT_TRUE(tree->ChangeNotifierEnabled());

  // Destroyed with a batch queued: it is released unread (counted in TearDown).
  ShellRename(kRoot + L"\\two.txt", kRoot + L"\\three.txt");
  ASSERT_TRUE(BatchQueuedFor(tree->Handle()));
}

// Waits, delivering nothing, until the icon thread has answered every request.
bool IconQueueEmpty() {
  for (int i = 0; i < 250; ++i) {
    if (ImageThreadManager().Thread()->QueuedCount() == 0) return true;
    Sleep(20);
  }
  return false;
}

bool AnswerQueuedFor(HWND window) {
  MSG msg;
  return PeekMessageW(&msg, window, WM_LTSETICONINDEX, WM_LTSETICONINDEX, PM_NOREMOVE) != 0;
}

TEST_F(ExplorerTreeNotify, IconsComeFromTheThreadAndNoAnswerOutlivesItsNode) {
  for (int i = 0; i < 20; ++i) MakeFile(kRoot + L"\\file" + std::to_wstring(i) + L".txt");
  ASSERT_TRUE(CreateDirectoryW((kRoot + L"\\keep").c_str(), nullptr));
  MakeTree(foFolders | foNonFolders, toImages | toThreadedImages);
  ASSERT_TRUE(tree->ThreadedImagesEnabled());
  PLazyNode root = tree->GetFirst();
  PLazyNode keep = Child(root, "keep");
  PLazyNode file = Child(root, "file0.txt");
  auto ask = [&] {
    for (PLazyNode n = tree->GetFirstChild(root); n; n = tree->GetNextSibling(n)) tree->Image(n);
  };

  // Default images first, one request per node however often it is asked.
  ask();
  ask();
  EXPECT_EQ(tree->Image(keep), DefaultSystemImageIndex(0));
  EXPECT_EQ(tree->Image(file), DefaultSystemImageIndex(2));
  EXPECT_EQ(tree->PendingIconRequests(), 22u);  // the children and the shown root

  // Collapsing delivers what was answered already and drops the rest.
  ASSERT_TRUE(IconQueueEmpty());
  tree->SetExpanded(root, false);
  EXPECT_EQ(tree->PendingIconRequests(), 0u);
  EXPECT_FALSE(AnswerQueuedFor(tree->Handle()));
  TNamespace* ns = nullptr;
  ASSERT_TRUE(tree->ValidateNamespace(file, ns));
  EXPECT_TRUE(ns->ThreadedIconLoaded());
  EXPECT_EQ(tree->Image(file), test::Item(L"live\\file0.txt")->GetIconIndex(false, 0, true));

  // Nodes freed with answers posted and requests queued leave neither behind.
  tree->SetExpanded(root, true);
  tree->RefreshNode(root);
  ask();
  EXPECT_EQ(tree->PendingIconRequests(), 21u);
  tree->DeleteChildren(root, false);
  EXPECT_EQ(tree->PendingIconRequests(), 0u);
  EXPECT_EQ(ImageThreadManager().Thread()->QueuedCount(), 0u);
  EXPECT_FALSE(AnswerQueuedFor(tree->Handle()));

  // Only the nodes showing a changed image fetch it again.
  tree->RefreshNode(root);
  ASSERT_TRUE(PumpUntil([&] {
    ask();
    return tree->PendingIconRequests() == 0;
  }));
  TNamespace *textNs = nullptr, *folderNs = nullptr;
  ASSERT_TRUE(tree->ValidateNamespace(Child(root, "file1.txt"), textNs));
  ASSERT_TRUE(tree->ValidateNamespace(Child(root, "keep"), folderNs));
  ASSERT_TRUE(textNs->ThreadedIconLoaded() && folderNs->ThreadedIconLoaded());
  tree->InvalidateImageByIndex(textNs->GetIconIndex(false, 0, false));
  EXPECT_FALSE(textNs->ThreadedIconLoaded());
  EXPECT_TRUE(folderNs->ThreadedIconLoaded());

  // Switched off: icons are found at once again.
  tree->SetExplorerImageOptions(toImages);
  EXPECT_FALSE(tree->ThreadedImagesEnabled());
}

// A shortcut carries the arrow, drawn through the system list's overlay
// images (Wine's folders have no overlay service, so both option sets fall
// back to it); nothing is drawn over a placeholder.
TEST_F(ExplorerTreeNotify, AShortcutGetsTheArrowOverlay) {
  MakeFile(kRoot + L"\\plain.txt");
  ComPtr<IShellLinkW> link;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         link.PutVoid())));
  link->SetPath((kRoot + L"\\plain.txt").c_str());
  ASSERT_TRUE(SUCCEEDED(link.As<IPersistFile>(IID_IPersistFile)->Save((kRoot + L"\\arrow.lnk").c_str(), TRUE)));
  const struct {
    uint32_t options;
    int link, plain;
  } rows[] = {{toImages, 1, -1}, {toImages | toHideOverlay, 1, -1}, {toImages | toThreadedImages, -1, -1}};
  MakeTree(foFolders | foNonFolders);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.options);
    tree->SetExplorerImageOptions(row.options);
    PLazyNode root = tree->GetFirst();  // the setter built the nodes again
    PLazyNode arrow = Child(root, "arrow") ? Child(root, "arrow") : Child(root, "arrow.lnk");
    ASSERT_TRUE(arrow);
    EXPECT_EQ(tree->Image(arrow, TLTImageKind::ikOverlay), row.link);
    EXPECT_EQ(tree->Image(Child(root, "plain.txt"), TLTImageKind::ikOverlay), row.plain);
  }
}

// "Shell Icon Size" as it is now; empty when absent.
std::wstring IconSize() {
  wchar_t text[32] = {};
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics", L"Shell Icon Size", RRF_RT_REG_SZ,
                   nullptr, text, &size) != ERROR_SUCCESS)
    return L"";
  return text;
}

TEST_F(ExplorerTreeNotify, IconCacheRebuildPutsTheIconSizeAndImagesBack) {
  MakeTree(foFolders);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  struct Case {
    const wchar_t* before;  // empty: absent
    bool raise;
    uint32_t images;
  };
  for (const Case& c : {Case{L"", false, toImages}, Case{L"40", false, 0u}, Case{L"", true, 0u},
                        Case{L"40", true, toImages}}) {
    SCOPED_TRACE(test::Narrow(c.before) + (c.raise ? " raising" : ""));
    if (*c.before)
      RegSetValueExW(key, L"Shell Icon Size", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.before),
                     static_cast<DWORD>((wcslen(c.before) + 1) * sizeof(wchar_t)));
    else
      RegDeleteValueW(key, L"Shell Icon Size");
    tree->SetExplorerImageOptions((tree->ExplorerImageOptions() & ~uint32_t(toImages)) | c.images);
    std::wstring during;
    tree->OnIconCacheRebuilding = [&] {
      during = IconSize();
      if (c.raise) throw std::runtime_error("midway");
    };
    if (c.raise) EXPECT_THROW(tree->ForceIconCachRebuild(), std::runtime_error);
    else tree->ForceIconCachRebuild();
    EXPECT_EQ(during, *c.before ? L"41" : std::to_wstring(GetSystemMetrics(SM_CXICON) + 1));
    EXPECT_EQ(IconSize(), c.before);
    EXPECT_EQ(tree->ExplorerImageOptions() & toImages, c.images);
  }
  // An announced association change does the same.
  RegDeleteValueW(key, L"Shell Icon Size");
  int rebuilt = 0;
  tree->OnIconCacheRebuilding = [&] { ++rebuilt; };
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return rebuilt == 1; }));
  EXPECT_EQ(IconSize(), L"");
  RegCloseKey(key);
}

TEST_F(ExplorerTreeNotify, AnAnswerCountsOnlyForTheRequestItAnswers) {
  MakeFile(kRoot + L"\\file.txt");
  MakeTree(foFolders | foNonFolders, toImages | toThreadedImages);
  PLazyNode file = Child(tree->GetFirst(), "file.txt");
  ASSERT_NE(file, nullptr);
  TNamespace* ns = nullptr;
  ASSERT_TRUE(tree->ValidateNamespace(file, ns));
  // Whatever the tree asked while it was shown is answered first, so that the
  // request made below is the file's own and waits in the held queue.
  ASSERT_TRUE(PumpUntil([&] {
    tree->Image(file);
    return tree->PendingIconRequests() == 0;
  }));
  ns->InvalidateNamespace(true);
  // The queue held: the node's request waits. The lock is let go however
  // the test ends, or the tree's teardown would wait on the icon thread for ever.
  auto* queue = ImageThreadManager().LockThread();
  ASSERT_NE(queue, nullptr);
  bool locked = true;
  ScopeGuard unlock([&] {
    if (locked) ImageThreadManager().UnLockThread();
  });
  tree->Image(file);
  ASSERT_EQ(tree->PendingIconRequests(), 1u);
  uint64_t current = 0;
  for (const auto& item : *queue)
    if (item->Data == file) current = item->Serial;
  ASSERT_NE(current, 0u);
  // An answer to an earlier request for a node that was freed while it was
  // on its way, arriving at a new node at the same address: it is released unread.
  auto stale = std::make_unique<TImageThreadItem>();
  stale->Control = tree;
  stale->Data = file;
  stale->ImageIndex = 4321;
  stale->MessageID = WM_LTSETICONINDEX;
  stale->Serial = current - 1;
  SendMessageW(tree->Handle(), WM_LTSETICONINDEX, reinterpret_cast<WPARAM>(stale.release()), 0);
  EXPECT_FALSE(ns->ThreadedIconLoaded());
  EXPECT_EQ(tree->PendingIconRequests(), 1u);
  locked = false;
  ImageThreadManager().UnLockThread();
  // The node's own answer still comes.
  ASSERT_TRUE(PumpUntil([&] { return ns->ThreadedIconLoaded(); }));
  EXPECT_NE(tree->Image(file), 4321);
  EXPECT_EQ(tree->Image(file), test::Item(L"live\\file.txt")->GetIconIndex(false, 0, true));

  // A window made again fetches every item's icon anew.
  tree->RecreateHandle();
  ASSERT_TRUE(tree->HandleAllocated());
  EXPECT_FALSE(ns->ThreadedIconLoaded());
  ASSERT_TRUE(PumpUntil([&] {
    tree->Image(file);
    return ns->ThreadedIconLoaded();
  }));
}

TEST_F(ExplorerTreeNotify, AFolderWithoutChildrenLearnsOfANewSubfolder) {
  for (const wchar_t* name : {L"\\empty", L"\\read"}) ASSERT_TRUE(CreateDirectoryW((kRoot + name).c_str(), nullptr));
  MakeTree(foFolders);
  PLazyNode root = tree->GetFirst();
  PLazyNode empty = Child(root, "empty"), read = Child(root, "read");
  ASSERT_TRUE(empty && read);
  // One never read (Wine's folders say they may have subfolders: it has its
  // button), one read on expanding and found empty, then collapsed.
  tree->SetExpanded(read, true);
  tree->SetExpanded(read, false);
  EXPECT_FALSE(tree->HasChildren(read));
  const int enumerated = tree->enumerations;
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, (kRoot + L"\\empty\\sub").c_str(), nullptr), ERROR_SUCCESS);
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, (kRoot + L"\\read\\sub").c_str(), nullptr), ERROR_SUCCESS);
  // Both get their expand button without F5; neither folder is read for it.
  EXPECT_TRUE(PumpUntil([&] { return tree->HasChildren(empty) && tree->HasChildren(read); }));
  EXPECT_EQ(tree->enumerations, enumerated);
  EXPECT_EQ(empty->ChildCount, 0u);
  tree->SetExpanded(empty, true);
  EXPECT_EQ(Names(empty), (std::vector<std::string>{"sub"}));
}

// What the storage held for an item that went away goes with it: its check,
// its column layout, its user data and whatever was stored below it.
struct Note : TNodeUserData {
  std::string ClassName() const override { return "Note"; }
  void Assign(const TNodeUserData&) override {}
};

TEST_F(ExplorerTreeNotify, AVanishedItemTakesItsCheckInTheStorage) {
  for (const wchar_t* name : {L"\\gone", L"\\gone\\inner", L"\\kept"})
    ASSERT_TRUE(CreateDirectoryW((kRoot + name).c_str(), nullptr));
  MakeTree(foFolders | foNonFolders);
  PLazyNode root = tree->GetFirst();
  PLazyNode gone = Child(root, "gone"), kept = Child(root, "kept");
  ASSERT_TRUE(gone && kept);
  tree->DoCheckClick(gone, csCheckedNormal);
  tree->DoCheckClick(kept, csCheckedNormal);
  TPidl goneList = PathToPIDL(kRoot + L"\\gone"), innerList = PathToPIDL(kRoot + L"\\gone\\inner");
  TPidl keptList = PathToPIDL(kRoot + L"\\kept");
  ASSERT_TRUE(goneList && innerList && keptList);
  TRootNodeStorage& storage = *tree->GetNewStorage();
  TNodeStorage* stored = storage.Store(StorageBytes(goneList.get()), kStoreColumns | kStoreUserData);
  ASSERT_NE(stored, nullptr);
  auto note = std::make_shared<Note>();
  stored->Storage.UserData = note;
  const std::weak_ptr<Note> held = note;
  note.reset();
  ASSERT_NE(storage.Store(StorageBytes(innerList.get()), kStoreCheck), nullptr);

  ShellRename(kRoot + L"\\gone", kRoot + L"\\moved");
  ASSERT_TRUE(PumpUntil([&] { return Child(root, "moved") != nullptr; }));
  EXPECT_EQ(Child(root, "gone"), nullptr);
  // Its check goes; what else was stored for it and below it stays.
  EXPECT_EQ(storage.Find(StorageBytes(goneList.get()), kStoreCheck), nullptr);
  EXPECT_NE(storage.Find(StorageBytes(goneList.get()), kStoreColumns | kStoreUserData), nullptr);
  EXPECT_NE(storage.Find(StorageBytes(innerList.get()), kStoreCheck), nullptr);
  EXPECT_FALSE(held.expired());
  // The item that stayed keeps its check.
  EXPECT_NE(storage.Find(StorageBytes(keptList.get()), kStoreCheck), nullptr);
  EXPECT_EQ(tree->GetCheckState(kept), csCheckedNormal);
}

TEST_F(ExplorerTreeNotify, SelectionOnAppendedChildrenSurvivesARefreshBesideThem) {
  for (const wchar_t* name : {L"\\a.txt", L"\\c.txt"}) MakeFile(kRoot + name);
  ASSERT_TRUE(CreateDirectoryW((kRoot + L"\\other").c_str(), nullptr));
  MakeTree(foFolders | foNonFolders);
  tree->TreeOptions().SetSelectionOptions(tree->TreeOptions().SelectionOptions() | toMultiSelect);
  PLazyNode root = tree->GetFirst();
  // The renamed file comes back after "c.txt": out of the folder's order.
  ShellRename(kRoot + L"\\a.txt", kRoot + L"\\b.txt");
  ASSERT_TRUE(PumpUntil([&] { return Child(root, "b.txt") != nullptr; }));
  ASSERT_EQ(Names(root), (std::vector<std::string>{"other", "c.txt", "b.txt"}));
  tree->ClearSelection();
  tree->SetSelected(Child(root, "b.txt"), true);
  tree->SetSelected(Child(root, "c.txt"), true);
  // A refresh of the sibling folder restores the selection of the whole tree.
  tree->RefreshNode(Child(root, "other"));
  EXPECT_TRUE(tree->Selected(Child(root, "b.txt")));
  EXPECT_TRUE(tree->Selected(Child(root, "c.txt")));
  EXPECT_EQ(tree->SelectedCount(), 2u);
}

}  // namespace
}  // namespace kv
