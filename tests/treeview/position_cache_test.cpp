// The position cache and its worker thread.

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>

#include "tests/treeview/tree_checker.h"

namespace kv {
namespace {

using namespace std::chrono_literals;

// Delivers the worker's reports until the cache is in use (false on time-out).
bool WaitForCache(TLazyTreeModel& tree) {
  for (int i = 0; i < 20000; ++i) {
    tree.DeliverWorkerStates();
    if (tree.TreeStates().Contains(tsUseCache)) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

TEST(PositionCache, EntryPerTwoThousandVisibleNodes) {
  struct Case {
    std::uint32_t visible;
    std::vector<std::uint32_t> tops;  // entries, in units of the default height
  };
  const Case cases[] = {
      {2000, {}},
      {2001, {0, 2000}},
      {4000, {0, 2000}},
      {4001, {0, 2000, 4000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.visible);
    TLazyTreeModel tree;
    tree.SetRootNodeCount(c.visible);
    if (c.tops.empty()) {
      std::this_thread::sleep_for(20ms);
      tree.DeliverWorkerStates();
      EXPECT_FALSE(tree.TreeStates().Contains(tsUseCache));
      EXPECT_TRUE(tree.PositionCache().empty());
      continue;
    }
    ASSERT_TRUE(WaitForCache(tree));
    std::vector<std::uint32_t> tops;
    for (const TCacheEntry& e : tree.PositionCache()) {
      tops.push_back(e.AbsoluteTop / 18);
      EXPECT_EQ(e.Node->Index, e.AbsoluteTop / 18);
    }
    EXPECT_EQ(tops, c.tops);
  }
}

TEST(PositionCache, LookupsStartAtTheNearestEntry) {
  TLazyTreeModel tree;
  tree.SetViewSize(300, 400);
  tree.SetRootNodeCount(100000);
  ASSERT_TRUE(WaitForCache(tree));
  for (std::uint32_t row : {0u, 50000u, 99999u}) {
    const std::uint64_t before = tree.WalkedNodes();
    int top = 0;
    PLazyNode n = tree.GetNodeAt(0, static_cast<int>(row * 18 + 5), false, top);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->Index, row);
    EXPECT_EQ(top, static_cast<int>(row * 18));
    EXPECT_LE(tree.WalkedNodes() - before, 2001u);
    std::uint32_t cachedTop = 0;
    PLazyNode cached = tree.FindInPositionCache(n, cachedTop);
    EXPECT_EQ(cached->Index, row / 2000 * 2000);
    EXPECT_EQ(tree.GetDisplayRect(n, kNoColumn, false).Top, static_cast<int>(row * 18));
  }
}

// A sort that changes nothing, or stops on a throwing comparison, still
// queues the cache it took out of use.
TEST(PositionCache, SortsThatStopEarlyQueueTheCacheAgain) {
  TLazyTreeModel tree;
  tree.SetRootNodeCount(3000);
  ASSERT_TRUE(WaitForCache(tree));
  tree.Sort(tree.GetFirst(), 0, TSortDirection::sdAscending);  // a leaf: nothing to sort
  EXPECT_TRUE(WaitForCache(tree));
  tree.OnCompareNodes = [](TLazyTreeModel&, PLazyNode, PLazyNode, TColumnIndex, int&) {
    throw std::runtime_error("compare");
  };
  EXPECT_THROW(tree.Sort(nullptr, 0, TSortDirection::sdAscending), std::runtime_error);
  EXPECT_TRUE(WaitForCache(tree));
  EXPECT_THROW(tree.SortTree(0, TSortDirection::sdAscending), std::runtime_error);
  EXPECT_TRUE(WaitForCache(tree));
}

TEST(PositionCache, WorkerEndsWithTheLastTreeAndStartsAgain) {
  {
    TLazyTreeModel tree;
    EXPECT_TRUE(TWorkerThread::Running());
  }
  EXPECT_FALSE(TWorkerThread::Running());
  TLazyTreeModel again;
  again.SetRootNodeCount(3000);
  EXPECT_TRUE(WaitForCache(again));
}

// Changes land while the worker builds: every change interrupts first, and a
// build finished for an older shape is dropped; in the end the cache equals a
// build made on this thread.
TEST(PositionCache, ChangesDuringBuildsLeaveAnExactCache) {
  std::mt19937 rng(7);
  TLazyTreeModel tree;
  test::Populate(tree, 1000, 99);
  tree.FullExpand();
  ASSERT_GE(tree.VisibleCount(), 100000u);
  int started = 0;
  tree.OnStateChange = [&](TLazyTreeModel&, TLazyTreeStates enter, TLazyTreeStates) {
    started += enter.Contains(tsValidating);
  };
  for (int round = 0; round < 1000; ++round) {
    tree.InvalidateCache();
    tree.ValidateCache();
    // Until the worker reports the build under way, then a little further in.
    // (Waited by time, not by turns: a loaded machine may not run the worker
    // for a while.)
    const int startedBefore = started;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (started == startedBefore && std::chrono::steady_clock::now() < giveUp) {
      tree.DeliverWorkerStates();
      if (started == startedBefore) std::this_thread::yield();
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(rng() % 300);
    while (std::chrono::steady_clock::now() < until) {
    }
    PLazyNode top = tree.GetFirstNoInit();
    for (unsigned skip = rng() % 900; skip > 0 && top->NextSibling; --skip) top = top->NextSibling;
    switch (rng() % 4) {
      case 0:
        tree.DeleteNode(top->LastChild != nullptr ? top->LastChild : top);
        break;
      case 1:
        tree.ToggleNode(top);
        break;
      case 2:
        tree.SetNodeHeight(top->FirstChild != nullptr ? top->FirstChild : top, 10 + rng() % 30);
        break;
      default:
        tree.AddChild(top);
        break;
    }
    tree.DeliverWorkerStates();
    if (round % 100 == 99) {
      ASSERT_TRUE(WaitForCache(tree));
      EXPECT_EQ(tree.PositionCache(), tree.BuildCacheNow()) << "round " << round;
      EXPECT_TREE_OK(tree);
    }
  }
  // Most changes met a build that had started.
  EXPECT_GT(started, 900);
}

TEST(PositionCache, TreesDestroyedDuringBuilds) {
  std::mt19937 rng(11);
  TLazyTreeModel keeper;  // keeps the worker alive across the rounds
  for (int round = 0; round < 1000; ++round) {
    TLazyTreeModel tree;
    tree.SetRootNodeCount(100000);  // queued by the update's end
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 1500));
  }
  keeper.SetRootNodeCount(2500);
  EXPECT_TRUE(WaitForCache(keeper));
}

// The events fired while a node opens or closes see the new shape: the cache
// of the old shape is out of use by then.
TEST(PositionCache, ToggleEventsSeeTheNewPositions) {
  TLazyTreeModel tree;
  tree.SetViewSize(300, 400);
  tree.SetRootNodeCount(10000);
  PLazyNode first = tree.GetFirst();
  tree.SetChildCount(first, 100);
  PLazyNode probe = first;
  for (int i = 0; i < 4900; ++i) probe = probe->NextSibling;
  ASSERT_TRUE(WaitForCache(tree));

  int topInEvent = -1;
  bool cacheInEvent = true;
  auto look = [&](TLazyTreeModel& t, PLazyNode) {
    topInEvent = t.GetDisplayRect(probe, kNoColumn, false).Top;
    cacheInEvent = t.TreeStates().Contains(tsUseCache);
  };
  tree.OnExpanded = look;
  tree.OnCollapsed = look;

  tree.ToggleNode(first);
  EXPECT_EQ(topInEvent, 5000 * 18);
  EXPECT_FALSE(cacheInEvent);
  ASSERT_TRUE(WaitForCache(tree));
  EXPECT_EQ(tree.GetDisplayRect(probe, kNoColumn, false).Top, 5000 * 18);

  tree.ToggleNode(first);
  EXPECT_EQ(topInEvent, 4900 * 18);
  ASSERT_TRUE(WaitForCache(tree));
  EXPECT_EQ(tree.GetDisplayRect(probe, kNoColumn, false).Top, 4900 * 18);

  // With toAutoFreeOnCollapse the children go after the event; the rebuilt
  // cache must not name them.
  tree.TreeOptions().SetAutoOptions(tree.TreeOptions().AutoOptions() | toAutoFreeOnCollapse);
  tree.ToggleNode(first);
  ASSERT_TRUE(WaitForCache(tree));
  tree.ToggleNode(first);
  EXPECT_EQ(first->ChildCount, 0u);
  ASSERT_TRUE(WaitForCache(tree));
  for (const TCacheEntry& e : tree.PositionCache()) EXPECT_EQ(e.Node->Parent, tree.RootNode());
  EXPECT_EQ(tree.GetDisplayRect(probe, kNoColumn, false).Top, 4900 * 18);
}

// Rows on screen: the screen anchor remembered before the toggle belongs to
// the old shape and must not answer inside the events.
TEST(PositionCache, ToggleEventsSeeTheNewPositionsOfRowsOnScreen) {
  TLazyTreeModel tree;
  tree.SetViewSize(300, 400);
  tree.SetRootNodeCount(10000);
  PLazyNode parent = tree.GetFirst();
  for (int i = 0; i < 100; ++i) parent = parent->NextSibling;
  tree.SetChildCount(parent, 100);
  PLazyNode probe = tree.GetFirst();
  for (int i = 0; i < 5005; ++i) probe = probe->NextSibling;
  ASSERT_TRUE(WaitForCache(tree));

  int topInEvent = 0;
  auto look = [&](TLazyTreeModel& t, PLazyNode) { topInEvent = t.GetDisplayRect(probe, kNoColumn, false).Top; };
  tree.OnExpanded = look;
  tree.OnCollapsed = look;

  tree.SetOffsetY(-90000);
  EXPECT_EQ(tree.GetDisplayRect(probe, kNoColumn, false).Top, 90);
  tree.ToggleNode(parent);
  EXPECT_EQ(topInEvent, 1890);
  ASSERT_TRUE(WaitForCache(tree));

  tree.SetOffsetY(-91800);
  EXPECT_EQ(tree.GetDisplayRect(probe, kNoColumn, false).Top, 90);
  tree.ToggleNode(parent);
  EXPECT_EQ(topInEvent, -1710);
}

}  // namespace
}  // namespace kv
