// The icon thread with a descendant whose extraction blocks until released,
// answering to a test window.
#include "shell/icon_thread_win.h"

#include <atomic>
#include <set>
#include <chrono>
#include <thread>

#include "base/scope_guard.h"
#include "tests/shell/shell_test_util.h"

namespace kv {
namespace {
using namespace test;

constexpr UINT kAnswer = WM_LTSETICONINDEX;

class BlockingThread : public TLazyImageThread {
 public:
  // Extraction waits for `gate` and answers the request's Tag.
  void ExtractInfo(LPCITEMIDLIST, TImageThreadItem& item) override {
    ++entered;
    WaitForSingleObject(gate.Get(), INFINITE);
    if (item.Tag < 0) throw std::runtime_error("extraction failed");
    lastExtracted_ = item.Tag;
  }
  void InvalidateExtraction() override { ++invalidated; }
  void ReleaseItem(std::unique_ptr<TImageThreadItem> item) override {
    releasedSerials.push_back(item->Serial);
    ++released;
  }
  KernelHandle gate{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<int> entered{0}, invalidated{0}, released{0};
  std::vector<uint64_t> releasedSerials;  // written by whichever thread releases, read after it stops
};

struct Answers {
  std::vector<std::pair<intptr_t, int>> got;  // (Data, ImageIndex)
  TLazyImageThreadManager* manager = nullptr;
};
Answers* gAnswers = nullptr;

LRESULT CALLBACK AnswerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kAnswer && gAnswers) {
    auto item = reinterpret_cast<TImageThreadItem*>(wParam);
    gAnswers->got.emplace_back(reinterpret_cast<intptr_t>(item->Data), item->ImageIndex);
    gAnswers->manager->ReleaseItem(item);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND MakeAnswerWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = AnswerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KvIconAnswers";
    RegisterClassW(&wc);
    registered = true;
  }
  return CreateWindowExW(0, L"KvIconAnswers", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 500 && !done(); ++i) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
}

void WaitFor(const std::atomic<int>& value, int wanted) {
  for (int i = 0; i < 500 && value < wanted; ++i) Sleep(5);
}

class IconThreadTest : public testing::Test {
 protected:
  void SetUp() override {
    manager_ = std::make_unique<TLazyImageThreadManager>([this] {
      auto t = std::make_unique<BlockingThread>();
      threads_.push_back(t.get());
      return t;
    });
    answers_.manager = manager_.get();
    gAnswers = &answers_;
    window_ = MakeAnswerWindow();
    pidl_ = PathToPIDL(kFixture + L"\\icons\\file00.txt");
  }
  void TearDown() override {
    manager_.reset();
    gAnswers = nullptr;
    if (IsWindow(window_)) DestroyWindow(window_);
  }
  BlockingThread& Thread() { return *static_cast<BlockingThread*>(manager_->Thread()); }
  void Queue(intptr_t data, int tag, bool front = false) {
    if (front) manager_->InsertNewItem(this, window_, kAnswer, pidl_.get(), false, reinterpret_cast<void*>(data), tag);
    else manager_->AddNewItem(this, window_, kAnswer, pidl_.get(), false, reinterpret_cast<void*>(data), tag);
  }

  std::unique_ptr<TLazyImageThreadManager> manager_;
  std::vector<BlockingThread*> threads_;
  Answers answers_;
  HWND window_ = nullptr;
  TPidl pidl_;
};

TEST_F(IconThreadTest, NewestRequestIsServedFirst) {
  manager_->RegisterControl(this);
  Queue(0, 10);
  WaitFor(Thread().entered, 1);  // the first request is being extracted
  Queue(1, 11);
  Queue(2, 12);
  Queue(3, 13);
  SetEvent(Thread().gate.Get());
  PumpUntil([&] { return answers_.got.size() == 4; });
  ASSERT_EQ(answers_.got.size(), 4u);
  EXPECT_EQ(answers_.got[0], std::make_pair(intptr_t{0}, 10));
  EXPECT_EQ(answers_.got[1], std::make_pair(intptr_t{3}, 13));
  EXPECT_EQ(answers_.got[2], std::make_pair(intptr_t{2}, 12));
  EXPECT_EQ(answers_.got[3], std::make_pair(intptr_t{1}, 11));
  EXPECT_EQ(Thread().released, 4);  // each answer handed back once
  std::set<uint64_t> serials(Thread().releasedSerials.begin(), Thread().releasedSerials.end());
  EXPECT_EQ(serials.size(), 4u);
}

TEST_F(IconThreadTest, ALockedQueueIsServedOnlyAfterItsUnlock) {
  EXPECT_EQ(manager_->LockThread(), nullptr);  // no thread yet
  manager_->RegisterControl(this);
  SetEvent(Thread().gate.Get());
  auto* queue = manager_->LockThread();
  ASSERT_NE(queue, nullptr);
  // Let go however the test ends: the teardown waits for the thread.
  bool locked = true;
  ScopeGuard unlock([&] {
    if (locked) manager_->UnLockThread();
  });
  // The holder may still queue (the lock is its own); the serials come back to it.
  const uint64_t first = manager_->AddNewItem(this, window_, kAnswer, pidl_.get(), false, nullptr, 31);
  const uint64_t second = manager_->AddNewItem(this, window_, kAnswer, pidl_.get(), false, nullptr, 32);
  EXPECT_GT(second, first);
  ASSERT_EQ(queue->size(), 2u);
  EXPECT_EQ((*queue)[0]->Serial, first);
  Sleep(100);
  EXPECT_EQ(Thread().entered, 0);  // nothing taken while held
  locked = false;
  manager_->UnLockThread();
  PumpUntil([&] { return answers_.got.size() == 2; });
  EXPECT_EQ(answers_.got.size(), 2u);
}

TEST_F(IconThreadTest, ARequestShiftedDuringItsExtractionIsTakenAgain) {
  manager_->RegisterControl(this);
  Queue(1, 21);
  WaitFor(Thread().entered, 1);
  Queue(2, 22, /*front=*/true);  // shifts the request being extracted
  SetEvent(Thread().gate.Get());
  PumpUntil([&] { return answers_.got.size() == 2; });
  ASSERT_EQ(answers_.got.size(), 2u);
  // The first result no longer counts; the request, still the newest, is
  // extracted again and answered once.
  EXPECT_EQ(answers_.got[0], std::make_pair(intptr_t{1}, 21));
  EXPECT_EQ(answers_.got[1], std::make_pair(intptr_t{2}, 22));
  EXPECT_EQ(Thread().invalidated, 1);
  EXPECT_EQ(Thread().entered, 3);
}

TEST_F(IconThreadTest, ClearDuringExtractionPostsNothing) {
  manager_->RegisterControl(this);
  Queue(1, 31);
  Queue(2, 32);
  WaitFor(Thread().entered, 1);
  manager_->ClearPendingItems(this, window_, kAnswer);
  EXPECT_EQ(Thread().released, 2);
  EXPECT_EQ(Thread().QueuedCount(), 0u);
  SetEvent(Thread().gate.Get());
  WaitFor(Thread().invalidated, 1);
  PumpUntil([] { return false; });
  EXPECT_TRUE(answers_.got.empty());
  EXPECT_EQ(Thread().invalidated, 1);
  EXPECT_EQ(Thread().released, 2);
}

TEST_F(IconThreadTest, ClearOneKeyKeepsTheOthers) {
  manager_->RegisterControl(this);
  Queue(1, 41);
  WaitFor(Thread().entered, 1);
  Queue(2, 42);
  Queue(3, 43);
  manager_->ClearPendingItem(this, window_, reinterpret_cast<void*>(2), kAnswer);
  SetEvent(Thread().gate.Get());
  PumpUntil([&] { return answers_.got.size() == 2; });
  ASSERT_EQ(answers_.got.size(), 2u);
  EXPECT_EQ(answers_.got[1].first, 3);
  EXPECT_EQ(Thread().released, 3);
}

TEST_F(IconThreadTest, ADeadWindowsAnswerIsReleasedByTheThread) {
  manager_->RegisterControl(this);
  Queue(1, 51);
  WaitFor(Thread().entered, 1);
  DestroyWindow(window_);
  SetEvent(Thread().gate.Get());
  WaitFor(Thread().released, 1);
  EXPECT_EQ(Thread().released, 1);
  EXPECT_TRUE(answers_.got.empty());
}

TEST_F(IconThreadTest, AFailingExtractionAnswersZeroAndTheQueueMovesOn) {
  manager_->RegisterControl(this);
  SetEvent(Thread().gate.Get());
  Queue(1, 61);
  Queue(2, -1);  // newest, raises
  PumpUntil([&] { return answers_.got.size() == 2; });
  ASSERT_EQ(answers_.got.size(), 2u);
  EXPECT_EQ(answers_.got[0], std::make_pair(intptr_t{2}, 0));
  EXPECT_EQ(answers_.got[1], std::make_pair(intptr_t{1}, 61));
}

TEST_F(IconThreadTest, ThreadEndsAndRestartsWithRegistrations) {
  try {
    Queue(9, 1);
    ADD_FAILURE();
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Trying to add Image Thread Item to a unregistered control");
  }
  try {
    manager_->ClearPendingItems(this, window_, kAnswer);
    ADD_FAILURE();
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Trying to clear pending Image Thead Items from an unregistered control");
  }
  int other = 0;
  manager_->RegisterControl(this);
  manager_->RegisterControl(&other);
  EXPECT_EQ(threads_.size(), 1u);
  manager_->UnRegisterControl(this);
  EXPECT_TRUE(manager_->Thread());
  manager_->UnRegisterControl(&other);
  EXPECT_FALSE(manager_->Thread());
  manager_->RegisterControl(this);
  ASSERT_EQ(threads_.size(), 2u);
  SetEvent(Thread().gate.Get());
  Queue(1, 81);
  PumpUntil([&] { return answers_.got.size() == 1; });
  EXPECT_EQ(answers_.got.size(), 1u);
}

TEST(SysImages, SmallLargeAndExtraLarge) {
  EXPECT_EQ(SmallSysImages().Width(), 16);
  EXPECT_EQ(LargeSysImages().Width(), 32);
  EXPECT_TRUE(SmallSysImages().SharesHandle());
  EXPECT_GT(SmallSysImages().Count(), 0);
  TLazySysImages extra;
  extra.SetImageSize(2);
  EXPECT_EQ(extra.Width(), 48);
  // Freeing ours leaves the system's list alive.
  HIMAGELIST shared = SmallSysImages().Handle();
  {
    TLazySysImages another;
    EXPECT_EQ(another.Handle(), shared);
  }
  EXPECT_GT(ImageList_GetImageCount(shared), 0);
}

}  // namespace
}  // namespace kv
