// The change notifier end to end: registrations and thread lifetimes, the
// reductions on real lists, shell and kernel changes reaching a window, and
// every batch released once.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/scope_guard.h"
#include "shell/change_notifier_win.h"
#include "shell/id_list_win.h"
#include "tests/shell/shell_test_util.h"
#include "ui/forms_win.h"

namespace kv {
namespace {

using K = TShellEventKind;
const std::wstring kRoot = L"C:\\kvtest\\notify";

struct Seen {
  K kind;
  std::wstring path;  // parsing name of ItemList1; empty when absent
  uint32_t value1 = 0;
  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
  return out << static_cast<int>(s.kind) << ":" << test::Narrow(s.path);
}

// A registered window that keeps what each batch said and releases it.
class Receiver {
 public:
  Receiver() {
    previous_ = form.WindowProc();
    form.SetWindowProc([this](ui::TMessage& m) {
      if (m.msg != WM_SHELLNOTIFY) return previous_(m);
      auto* batch = reinterpret_cast<TLazyShellEventList*>(m.wParam);
      // A dispatch thread told to stop hands out what it holds, which may be nothing.
      if (batch->Events().empty()) return batch->Release();
      std::vector<Seen> seen;
      for (const auto& event : batch->Events())
        seen.push_back({event->Kind, event->Item1() ? PIDLToPath(static_cast<LPCITEMIDLIST>(event->Item1())) : L"",
                        event->Value1});
      batches.push_back(std::move(seen));
      batch->Release();
    });
  }
  ~Receiver() {
    ChangeNotifier().UnRegisterChangeNotify(&form);
    form.SetWindowProc(previous_);
  }
  // Pumps messages until a batch came (true) or `milliseconds` passed.
  bool WaitForBatch(DWORD milliseconds = 5000) {
    DWORD start = GetTickCount();
    size_t had = batches.size();
    while (GetTickCount() - start < milliseconds) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      if (batches.size() > had) return true;
    }
    return false;
  }
  std::vector<Seen> NextBatch() {
    if (batches.empty() && !WaitForBatch()) return {};
    std::vector<Seen> first = batches.front();
    batches.erase(batches.begin());
    return first;
  }

  ui::TForm form;
  std::vector<std::vector<Seen>> batches;

 private:
  ui::TWndMethod previous_;
};

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 250; ++i) {
    if (done()) return true;
    Sleep(20);
  }
  return false;
}

// Waits until the kernel thread rebuilt its watch after `before` and has not
// rebuilt again for a while, so that no rebuild is under way.
bool WaitForSettledWatch(uint32_t before) {
  auto& notifier = ChangeNotifier();
  if (!WaitFor([&] { return notifier.KernelRebuildCount() > before; })) return false;
  uint32_t seen = notifier.KernelRebuildCount();
  return WaitFor([&] {
    Sleep(100);
    uint32_t now = notifier.KernelRebuildCount();
    bool settled = now == seen;
    seen = now;
    return settled;
  });
}

// Removes a folder with everything in it, quietly.
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

class ChangeNotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTree(kRoot);
    CreateDirectoryW(kRoot.c_str(), nullptr);
    ChangeNotifier().SetQuietPeriod(60);
    liveBefore_ = TLazyShellEventList::LiveCount();
  }
  void TearDown() override {
    ChangeNotifier().UnRegisterAllNotify();
    EXPECT_FALSE(ChangeNotifier().HasDispatchThread());
    EXPECT_EQ(TLazyShellEventList::LiveCount(), liveBefore_);
  }
  static TPidl Pidl(const std::wstring& path) {
    TPidl list = PathToPIDL(path);
    EXPECT_TRUE(list) << test::Narrow(path);
    return list;
  }
  static std::wstring Dir(const std::wstring& name) {
    std::wstring path = kRoot + L"\\" + name;
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
  }
  int32_t liveBefore_ = 0;
};

TEST_F(ChangeNotifierTest, ThreadsLiveWhileControlsAreRegistered) {
  auto& notifier = ChangeNotifier();
  ui::TControl first, second;
  EXPECT_TRUE(notifier.RegisterShellChangeNotify(&first));
  EXPECT_TRUE(notifier.RegisterShellChangeNotify(&second));
  EXPECT_TRUE(notifier.RegisterShellChangeNotify(&second));
  ASSERT_TRUE(notifier.HasShellThread() && notifier.HasDispatchThread());
  EXPECT_TRUE(notifier.UnRegisterShellChangeNotify(&first));
  EXPECT_TRUE(notifier.HasShellThread());
  EXPECT_TRUE(notifier.UnRegisterShellChangeNotify(&second));
  EXPECT_FALSE(notifier.HasShellThread());
  EXPECT_FALSE(notifier.HasDispatchThread());
  EXPECT_FALSE(notifier.UnRegisterShellChangeNotify(&second));

  // Made anew, and a second kernel registration with other kinds counts once.
  EXPECT_TRUE(notifier.RegisterShellChangeNotify(&first));
  EXPECT_TRUE(notifier.HasShellThread());
  notifier.RegisterKernelChangeNotify(&second, KernelEvent(TKernelNotifyEvent::FileName));
  notifier.RegisterKernelChangeNotify(&second, KernelEvent(TKernelNotifyEvent::DirName));
  EXPECT_TRUE(notifier.HasKernelThread());
  EXPECT_TRUE(notifier.UnRegisterKernelChangeNotify(&second));
  EXPECT_FALSE(notifier.HasKernelThread());
  EXPECT_TRUE(notifier.HasDispatchThread());
  EXPECT_TRUE(notifier.UnRegisterChangeNotify(&first));
  EXPECT_FALSE(notifier.HasDispatchThread());
}

// A holder of the notifier's lock may unregister the last kernel watcher,
// which waits for the kernel thread to end while that thread rebuilds its
// watches: the rebuild must not wait for the lock.
TEST_F(ChangeNotifierTest, UnregisteringUnderTheNotifierLockEndsTheKernelThread) {
  auto& notifier = ChangeNotifier();
  ui::TControl watcher;
  std::atomic<bool> done{false};
  std::thread holder([&] {
    notifier.LockNotifier();
    notifier.RegisterKernelChangeNotify(&watcher, KernelEvent(TKernelNotifyEvent::DirName));
    notifier.NotifyWatchFolder(&watcher, Dir(L"locked"));
    Sleep(200);  // the kernel thread is rebuilding its watches meanwhile
    notifier.UnRegisterKernelChangeNotify(&watcher);
    notifier.UnLockNotifier();
    done = true;
  });
  for (int i = 0; i < 100 && !done; ++i) Sleep(50);
  if (!done) {
    // Deadlocked: nothing can end the holder, so the program ends here.
    ADD_FAILURE() << "the kernel thread and the lock holder wait for each other";
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
  }
  holder.join();
  EXPECT_FALSE(notifier.HasKernelThread());
}

TEST_F(ChangeNotifierTest, AddEventReducesRealListsIntoBatches) {
  // "Recycled" is a fixed drive's recycle folder; "$Recycle.Bin" is not one.
  std::wstring recycle = L"C:\\Recycled", newer = L"C:\\$Recycle.Bin";
  for (const std::wstring& folder : {recycle, newer}) {
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\x").c_str(), nullptr);
  }
  const ScopeGuard removed([&] { RemoveTree(recycle); });
  std::wstring a = Dir(L"a"), b = Dir(L"b");
  for (const wchar_t* name : {L"a\\one.txt", L"b\\one.txt"}) {
    HANDLE file = CreateFileW((kRoot + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
  }
  Receiver receiver;
  auto& notifier = ChangeNotifier();
  ASSERT_TRUE(notifier.RegisterShellChangeNotify(&receiver.form));

  TPidl inA = Pidl(a + L"\\one.txt"), inB = Pidl(b + L"\\one.txt");
  notifier.AddEvent(K::ItemRename, inA.get(), inA.get());
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, a}}));
  notifier.AddEvent(K::ItemRename, inA.get(), inB.get());
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, a}, {K::UpdateDirectory, b}}));

  for (int i = 0; i < 10; ++i) notifier.AddEvent(K::ItemCreate, inA.get(), nullptr);
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, a}}));
  EXPECT_FALSE(receiver.WaitForBatch(300));

  TPidl inRecycle = Pidl(recycle + L"\\x");
  notifier.AddEvent(K::UpdateDirectory, inRecycle.get(), inRecycle.get());
  notifier.AddEvent(K::UpdateItem, inRecycle.get(), nullptr);
  auto recycled = receiver.NextBatch();
  ASSERT_EQ(recycled.size(), 2u);
  EXPECT_EQ(recycled[0], (Seen{K::UpdateDirectory, recycle}));
  EXPECT_EQ(recycled[1].kind, K::UpdateDirectory);  // the recycle bin
  EXPECT_NE(recycled[1].path, recycle);
  TPidl inNewer = Pidl(newer + L"\\x");
  notifier.AddEvent(K::UpdateDirectory, inNewer.get(), inNewer.get());
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, newer + L"\\x"}}));

  notifier.SetFilterEvents(false);
  notifier.AddEvent(K::ItemRename, inA.get(), inB.get());
  notifier.AddEvent(K::ItemRename, inA.get(), inB.get());
  notifier.AddEvent(K::UpdateItem, inRecycle.get(), nullptr);
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::ItemRename, a + L"\\one.txt"},
                                                     {K::ItemRename, a + L"\\one.txt"},
                                                     {K::UpdateItem, recycle + L"\\x"}}));
  notifier.SetFilterEvents(true);
}

TEST_F(ChangeNotifierTest, AFixedDriveHasOneOfTheOlderRecycleFolders) {
  // With both older names on the drive, "Recycled" is its recycle folder and
  // "Recycler" an ordinary folder.
  const std::wstring recycled = L"C:\\Recycled", recycler = L"C:\\Recycler";
  for (const std::wstring& folder : {recycled, recycler}) {
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\x").c_str(), nullptr);
  }
  const ScopeGuard removed([&] {
    RemoveTree(recycled);
    RemoveTree(recycler);
  });
  Receiver receiver;
  auto& notifier = ChangeNotifier();
  ASSERT_TRUE(notifier.RegisterShellChangeNotify(&receiver.form));
  TPidl inRecycled = Pidl(recycled + L"\\x"), inRecycler = Pidl(recycler + L"\\x");
  notifier.AddEvent(K::UpdateDirectory, inRecycler.get(), inRecycler.get());
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, recycler + L"\\x"}}));
  notifier.AddEvent(K::UpdateDirectory, inRecycled.get(), inRecycled.get());
  auto batch = receiver.NextBatch();
  ASSERT_EQ(batch.size(), 2u);
  EXPECT_EQ(batch[0], (Seen{K::UpdateDirectory, recycled}));
}

TEST_F(ChangeNotifierTest, AStoppingDispatchThreadStillHandsOutItsBatch) {
  std::wstring a = Dir(L"pending");
  TPidl list = Pidl(a);
  auto& notifier = ChangeNotifier();
  notifier.SetQuietPeriod(5000);
  const ScopeGuard period([&] { notifier.SetQuietPeriod(60); });
  Receiver receiver;
  ASSERT_TRUE(notifier.RegisterShellChangeNotify(&receiver.form));
  notifier.AddEvent(K::UpdateDirectory, list.get(), nullptr);
  notifier.UnRegisterChangeNotify(&receiver.form);
  ASSERT_FALSE(notifier.HasDispatchThread());
  // Registered again before the listener saw the batch, the control gets it.
  ASSERT_TRUE(notifier.RegisterShellChangeNotify(&receiver.form));
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, a}}));
}

TEST_F(ChangeNotifierTest, AFreshDispatchThreadDeliversItsFirstEvent) {
  // The event makes the thread and is queued at once, before the thread ever ran.
  std::wstring a = Dir(L"first");
  TPidl list = Pidl(a);
  auto& notifier = ChangeNotifier();
  notifier.SetQuietPeriod(250);  // time enough to register the receiver
  for (int round = 0; round < 3; ++round) {
    Receiver receiver;
    ASSERT_FALSE(notifier.HasDispatchThread());
    notifier.AddEvent(K::UpdateDirectory, list.get(), nullptr);
    ASSERT_TRUE(notifier.RegisterShellChangeNotify(&receiver.form));
    EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, a}})) << "round " << round;
    notifier.UnRegisterChangeNotify(&receiver.form);
  }
  notifier.SetQuietPeriod(60);
}

TEST_F(ChangeNotifierTest, AnnouncedShellChangesReachTheWindowAsOneBatch) {
  std::wstring folder = Dir(L"renames");
  for (const wchar_t* name : {L"\\first.txt", L"\\second.txt"}) {
    HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
  }
  Receiver receiver;
  ASSERT_TRUE(ChangeNotifier().RegisterShellChangeNotify(&receiver.form));
  for (auto [from, to] : {std::pair{L"\\first.txt", L"\\first2.txt"}, std::pair{L"\\second.txt", L"\\second2.txt"}}) {
    std::wstring source = folder + from + L'\0', target = folder + to + L'\0';
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_RENAME;
    op.pFrom = source.c_str();
    op.pTo = target.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    ASSERT_EQ(SHFileOperationW(&op), 0);
  }
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, folder}}));

  // An event handed to the shell thread as if the shell had sent it.
  TPidl made = Pidl(folder + L"\\first2.txt");
  ChangeNotifier().PostShellNotifyEvent(SHCNE_CREATE, made.get(), nullptr);
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, folder}}));
}

TEST_F(ChangeNotifierTest, SpaceValuesComeOnlyFromItemsLongEnoughToHoldThem) {
  Receiver receiver;
  ASSERT_TRUE(ChangeNotifier().RegisterShellChangeNotify(&receiver.form));
  const uint8_t shortItem[] = {4, 0, 'a', 'b', 0, 0};
  const uint8_t longItem[] = {10, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0};
  TPidl shortList = PidlFromBytes(shortItem), longList = PidlFromBytes(longItem);
  ChangeNotifier().PostShellNotifyEvent(SHCNE_FREESPACE, shortList.get(), nullptr);
  ChangeNotifier().PostShellNotifyEvent(SHCNE_FREESPACE, shortList.get(), nullptr);
  ChangeNotifier().PostShellNotifyEvent(SHCNE_FREESPACE, longList.get(), nullptr);
  ChangeNotifier().PostShellNotifyEvent(0x40000000, longList.get(), nullptr);  // no event kind
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::FreeSpace, L"", 0}, {K::FreeSpace, L"", 1}}));
}

TEST_F(ChangeNotifierTest, ADesktopChangeIsSeenInTheFolderAndOnTheDesktop) {
  auto& notifier = ChangeNotifier();
  EXPECT_THROW(notifier.RegisterKernelSpecialFolderWatch(CSIDL_DESKTOP), std::logic_error);
  Receiver receiver;
  notifier.RegisterKernelChangeNotify(&receiver.form, KernelEvent(TKernelNotifyEvent::FileName));
  uint32_t rebuilds = notifier.KernelRebuildCount();
  notifier.RegisterKernelSpecialFolderWatch(CSIDL_DESKTOP);
  ASSERT_TRUE(WaitForSettledWatch(rebuilds));
  ASSERT_EQ(notifier.KernelWatchedCount(), 1u);
  wchar_t desktop[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop), S_OK);
  std::wstring file = std::wstring(desktop) + L"\\kv_notify.txt";
  HANDLE made = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(made, INVALID_HANDLE_VALUE);
  CloseHandle(made);
  auto batch = receiver.NextBatch();
  DeleteFileW(file.c_str());
  ASSERT_EQ(batch.size(), 2u);  // the desktop folder by its path, then the desktop itself
  EXPECT_EQ(batch[0], (Seen{K::UpdateDirectory, desktop}));
  EXPECT_EQ(batch[1].kind, K::UpdateDirectory);
}

TEST_F(ChangeNotifierTest, BatchesAreReleasedAlsoForWindowlessControls) {
  Receiver receiver, gone;
  ui::TControl windowless;
  auto& notifier = ChangeNotifier();
  ASSERT_TRUE(notifier.RegisterShellChangeNotify(&receiver.form));
  ASSERT_TRUE(notifier.RegisterShellChangeNotify(&gone.form));
  ASSERT_TRUE(notifier.RegisterShellChangeNotify(&windowless));
  DestroyWindow(gone.form.HandleIfAllocated());
  TPidl folder = Pidl(kRoot);
  notifier.AddEvent(K::UpdateDirectory, folder.get(), folder.get());
  EXPECT_EQ(receiver.NextBatch().size(), 1u);
  EXPECT_TRUE(gone.batches.empty());
  EXPECT_EQ(TLazyShellEventList::LiveCount(), liveBefore_);
  notifier.UnRegisterShellChangeNotify(&windowless);
}

TEST_F(ChangeNotifierTest, KernelWatchesReportChangesByTheProgramAndByLinux) {
  std::wstring first = Dir(L"watched1"), second = Dir(L"watched2");
  Receiver receiver;
  auto& notifier = ChangeNotifier();
  notifier.RegisterKernelChangeNotify(&receiver.form, KernelEvent(TKernelNotifyEvent::FileName) |
                                                          KernelEvent(TKernelNotifyEvent::DirName));
  uint32_t rebuilds = notifier.KernelRebuildCount();
  ASSERT_TRUE(notifier.NotifyWatchFolder(&receiver.form, first));
  ASSERT_TRUE(WaitForSettledWatch(rebuilds));
  ASSERT_EQ(notifier.KernelWatchedCount(), 1u);
  ASSERT_TRUE(CreateDirectoryW((first + L"\\made").c_str(), nullptr));
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, first}}));

  std::wstring unix = test::UnixPath(first + L"\\fromlinux");
  ASSERT_FALSE(unix.empty());
  test::RunUnix(L"/bin/mkdir '" + unix + L"'");
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, first}}));

  // The watch moves with the folder.
  rebuilds = notifier.KernelRebuildCount();
  ASSERT_TRUE(notifier.NotifyWatchFolder(&receiver.form, second));
  ASSERT_TRUE(WaitForSettledWatch(rebuilds));
  ASSERT_TRUE(CreateDirectoryW((first + L"\\unwatched").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((second + L"\\made").c_str(), nullptr));
  EXPECT_EQ(receiver.NextBatch(), (std::vector<Seen>{{K::UpdateDirectory, second}}));
  ui::TControl stranger;
  EXPECT_FALSE(notifier.NotifyWatchFolder(&stranger, first));
  // Registered for shell notifications only: no watch folder to change.
  notifier.RegisterShellChangeNotify(&stranger);
  try {
    notifier.NotifyWatchFolder(&stranger, first);
    ADD_FAILURE() << "a watch folder was taken without a kernel registration";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(),
                 "Attempting to change WatchFolder with out registering a Kernel notifier in TLazyChangeNotifier class");
  }
  notifier.UnRegisterShellChangeNotify(&stranger);

  // A record that stays (shell-registered) keeps its folder through a kernel
  // unregistration; registered again, the control watches it again.
  ASSERT_TRUE(notifier.RegisterShellChangeNotify(&receiver.form));
  ASSERT_TRUE(notifier.UnRegisterKernelChangeNotify(&receiver.form));
  EXPECT_TRUE(notifier.KernelWatches().empty());
  notifier.RegisterKernelChangeNotify(&receiver.form, KernelEvent(TKernelNotifyEvent::DirName));
  auto watches = notifier.KernelWatches();
  ASSERT_EQ(watches.size(), 1u);
  EXPECT_EQ(watches[0].Folder, second);
}

TEST_F(ChangeNotifierTest, ANotifierFreedWithAControlStillRegisteredSaysSo) {
  std::vector<std::string> told;
  {
    TLazyChangeNotifier own;
    own.SetAssertionReport([&](const char* text) { told.emplace_back(text); });
    ui::TControl forgotten;
    ASSERT_TRUE(own.RegisterShellChangeNotify(&forgotten));
  }
  EXPECT_EQ(told, (std::vector<std::string>{"A ShellChangeThread is still registered with a Control",
                                            "ChangeDispatchThread is still registered"}));
  told.clear();
  {
    TLazyChangeNotifier own;
    own.SetAssertionReport([&](const char* text) { told.emplace_back(text); });
    ui::TControl forgotten;
    own.RegisterKernelChangeNotify(&forgotten, KernelEvent(TKernelNotifyEvent::FileName));
  }
  EXPECT_EQ(told, (std::vector<std::string>{"A KernelChangeNotifier is still registered with a Control",
                                            "ChangeDispatchThread is still registered"}));
}

TEST_F(ChangeNotifierTest, SeventyWatchFoldersFillTheWaitLimit) {
  auto& notifier = ChangeNotifier();
  std::vector<std::unique_ptr<ui::TControl>> controls;
  for (int i = 0; i < 70; ++i) {
    controls.push_back(std::make_unique<ui::TControl>());
    notifier.RegisterKernelChangeNotify(controls.back().get(), KernelEvent(TKernelNotifyEvent::FileName));
    ASSERT_TRUE(notifier.NotifyWatchFolder(controls.back().get(), Dir(L"many" + std::to_wstring(i))));
  }
  EXPECT_TRUE(WaitFor([&] { return notifier.KernelWatchedCount() == 63; })) << notifier.KernelWatchedCount();
  // The thread still serves its watches.
  Receiver receiver;
  uint32_t rebuilds = notifier.KernelRebuildCount();
  notifier.RegisterKernelChangeNotify(&receiver.form, KernelEvent(TKernelNotifyEvent::DirName));
  ASSERT_TRUE(WaitForSettledWatch(rebuilds));
  // A busy machine may still be re-arming the watches when the first file
  // comes; the thread serves them when a later change is seen.
  std::vector<Seen> batch;
  for (int attempt = 0; attempt < 3 && batch.empty(); ++attempt) {
    const std::wstring name = kRoot + L"\\many0\\inner" + std::to_wstring(attempt) + L".txt";
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    if (receiver.WaitForBatch(3000)) batch = receiver.NextBatch();
  }
  EXPECT_EQ(batch, (std::vector<Seen>{{K::UpdateDirectory, kRoot + L"\\many0"}}));
  EXPECT_TRUE(notifier.UnRegisterKernelChangeNotify(&receiver.form));
  for (auto& control : controls) EXPECT_TRUE(notifier.UnRegisterKernelChangeNotify(control.get()));
  EXPECT_FALSE(notifier.HasKernelThread());
}

}  // namespace
}  // namespace kv
