// The reductions of the change-event queue on lists made of plain items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/change_events.h"

namespace kv {
namespace {

// A list whose items carry the given names as their bytes.
TIDListBytes List(const std::vector<std::string>& names) {
  TIDListBytes bytes;
  for (const auto& name : names) {
    uint16_t count = static_cast<uint16_t>(name.size() + 2);
    bytes.push_back(static_cast<uint8_t>(count & 0xFF));
    bytes.push_back(static_cast<uint8_t>(count >> 8));
    bytes.insert(bytes.end(), name.begin(), name.end());
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

struct Queued {
  TShellEventKind kind;
  TIDListBytes list;
  bool operator==(const Queued&) const = default;
};

class ChangeEventQueueTest : public ::testing::Test {
 protected:
  TIDListComparer comparer;
  TChangeEventQueue queue{comparer};
  int wakes = 0;

  void SetUp() override {
    queue.OnQueued = [this] { ++wakes; };
    queue.SetRecycleFolders({List({"bin"}), List({"C:", "Recycled"}), List({"C:", "$Recycle.Bin"})});
  }
  void Add(TShellEventKind kind, const TIDListBytes& a, const TIDListBytes& b = {}, uint32_t v1 = 0) {
    queue.AddEvent(kind, a.empty() ? nullptr : a.data(), b.empty() ? nullptr : b.data(), v1, 0);
  }
  std::vector<Queued> Take() {
    TLazyShellEventList* batch = queue.TakeBatch();
    std::vector<Queued> out;
    for (const auto& event : batch->Events()) out.push_back({event->Kind, event->ItemList1});
    batch->Release();
    return out;
  }
};

using K = TShellEventKind;

TEST_F(ChangeEventQueueTest, RenamesCreatesAndDeletesBecomeUpdatesOfTheirFolders) {
  Add(K::ItemRename, List({"C:", "a", "x.mp3"}), List({"C:", "a", "y.mp3"}));
  EXPECT_EQ(Take(), (std::vector<Queued>{{K::UpdateDirectory, List({"C:", "a"})}}));

  Add(K::FolderRename, List({"C:", "a", "sub"}), List({"C:", "b", "sub"}));
  EXPECT_EQ(Take(), (std::vector<Queued>{{K::UpdateDirectory, List({"C:", "a"})},
                                         {K::UpdateDirectory, List({"C:", "b"})}}));

  for (int i = 0; i < 10; ++i) Add(K::ItemCreate, List({"C:", "a", "f" + std::to_string(i)}));
  Add(K::MakeDirectory, List({"C:", "a", "new"}));
  Add(K::RemoveDirectory, List({"C:", "b", "old"}));
  Add(K::ItemDelete, List({"C:", "a", "f3"}));
  EXPECT_EQ(Take(), (std::vector<Queued>{{K::UpdateDirectory, List({"C:", "a"})},
                                         {K::UpdateDirectory, List({"C:", "b"})}}));
  // A create at the top of the namespace updates the desktop.
  Add(K::ItemCreate, List({"file"}));
  EXPECT_EQ(Take(), (std::vector<Queued>{{K::UpdateDirectory, List({})}}));
}

TEST_F(ChangeEventQueueTest, ChangesInRecycleFoldersGoToTheFolderAndTheBinOnce) {
  // Each case starts with an empty queue; the recycle folders are the bin,
  // C:\Recycled and C:\$Recycle.Bin.
  const TIDListBytes bin = List({"bin"}), drive = List({"C:", "$Recycle.Bin"});
  struct Case { const char* name; std::vector<Queued> added, batch; } cases[] = {
      {"an update inside a drive's recycle folder goes to the folder and the bin",
       {{K::UpdateDirectory, List({"C:", "$Recycle.Bin", "x"})}},
       {{K::UpdateDirectory, drive}, {K::UpdateDirectory, bin}}},
      {"a second update below a folder already queued goes on as it is",
       {{K::UpdateDirectory, List({"C:", "$Recycle.Bin", "x"})},
        {K::UpdateDirectory, List({"C:", "$Recycle.Bin", "y", "z"})}},
       {{K::UpdateDirectory, drive}, {K::UpdateDirectory, bin},
        {K::UpdateDirectory, List({"C:", "$Recycle.Bin", "y", "z"})}}},
      {"and so does a create reduced to an update there",
       {{K::UpdateDirectory, List({"C:", "$Recycle.Bin", "x"})},
        {K::ItemCreate, List({"C:", "$Recycle.Bin", "x", "new"})}},
       {{K::UpdateDirectory, drive}, {K::UpdateDirectory, bin},
        {K::UpdateDirectory, List({"C:", "$Recycle.Bin", "x"})}}},
      {"the bin already queued is not queued again",
       {{K::UpdateDirectory, bin}, {K::UpdateDirectory, List({"C:", "Recycled", "x"})}},
       {{K::UpdateDirectory, bin}, {K::UpdateDirectory, List({"C:", "Recycled"})}}},
      {"an update inside the bin itself goes to the bin",
       {{K::UpdateDirectory, List({"bin", "deleted"})}},
       {{K::UpdateDirectory, bin}}},
      {"item updates inside any recycle folder, the bin included, are dropped",
       {{K::UpdateItem, List({"C:", "Recycled", "item"})}, {K::UpdateItem, List({"bin", "item"})}},
       {}},
      {"a name that only starts like a recycle folder is not inside it",
       {{K::UpdateItem, List({"C:", "$Recycle.Bin2", "item"})},
        {K::UpdateDirectory, List({"C:", "$Recycle.Bin2", "x"})}},
       {{K::UpdateItem, List({"C:", "$Recycle.Bin2", "item"})},
        {K::UpdateDirectory, List({"C:", "$Recycle.Bin2", "x"})}}},
  };
  for (const auto& c : cases) {
    for (const Queued& event : c.added) Add(event.kind, event.list);
    EXPECT_EQ(Take(), c.batch) << c.name;
  }
}

TEST_F(ChangeEventQueueTest, RedundantEventsAreQueuedOnce) {
  Add(K::FreeSpace, {}, {}, 7);
  Add(K::FreeSpace, {}, {}, 7);
  Add(K::FreeSpace, {}, {}, 8);
  Add(K::UpdateItem, List({"C:", "a"}));
  Add(K::UpdateItem, List({"C:", "a"}));
  Add(K::Attributes, List({"C:", "a"}));
  Add(K::AssocChanged, {});
  Add(K::AssocChanged, {});  // an absent list equals nothing
  auto batch = Take();
  ASSERT_EQ(batch.size(), 6u);
  EXPECT_EQ(batch[2], (Queued{K::UpdateItem, List({"C:", "a"})}));
  EXPECT_EQ(wakes, 6);
  EXPECT_TRUE(queue.TakeEventsArrived());
  EXPECT_FALSE(queue.TakeEventsArrived());
}

TEST_F(ChangeEventQueueTest, WithoutFilteringEveryEventPassesAsReported) {
  queue.FilterEvents = false;
  Add(K::ItemRename, List({"C:", "a", "x"}), List({"C:", "a", "y"}));
  Add(K::ItemRename, List({"C:", "a", "x"}), List({"C:", "a", "y"}));
  Add(K::UpdateItem, List({"C:", "Recycled", "item"}));
  Add(K::FreeSpace, {}, {}, 7);
  Add(K::FreeSpace, {}, {}, 7);
  auto batch = Take();
  ASSERT_EQ(batch.size(), 5u);
  EXPECT_EQ(batch[0], (Queued{K::ItemRename, List({"C:", "a", "x"})}));
}

TEST(ShellEventTest, EventsCarryTheirListsAndParents) {
  TIDListBytes one = List({"C:", "a", "x"}), two = List({"y"});
  auto event = MakeShellEvent(K::ItemRename, one.data(), two.data());
  EXPECT_EQ(event->ItemList1, one);
  EXPECT_EQ(event->ParentList1, List({"C:", "a"}));
  EXPECT_EQ(event->ParentList2, List({}));
  auto none = MakeShellEvent(K::FreeSpace, nullptr, nullptr, 1, 2);
  EXPECT_EQ(none->Item1(), nullptr);
  EXPECT_EQ(none->Parent2(), nullptr);
  EXPECT_EQ(ParentIDListBytes(List({}).data()), List({}));
}

TEST(ShellEventTest, StripDuplicatesKeepsTheTopmostDistinctFolders) {
  TIDListComparer comparer;
  std::vector<std::unique_ptr<TLazyShellEvent>> events;
  for (auto names : std::vector<std::vector<std::string>>{
           {"C:", "a", "b"}, {"C:", "a"}, {"C:", "c"}, {"C:", "a"}, {"C:", "c", "d", "e"}, {"C:", "ab"}}) {
    auto list = List(names);
    events.push_back(MakeShellEvent(K::UpdateDirectory, list.data(), list.data()));
  }
  TChangeEventQueue::StripDuplicates(events, comparer);
  std::vector<TIDListBytes> left;
  for (const auto& event : events) left.push_back(event->ItemList1);
  EXPECT_EQ(left, (std::vector<TIDListBytes>{List({"C:", "a"}), List({"C:", "c"}), List({"C:", "ab"})}));
}

TEST(ShellEventTest, BatchListsGoWhenTheLastHolderReleases) {
  int32_t before = TLazyShellEventList::LiveCount();
  TLazyShellEventList* list = TLazyShellEventList::Create();
  list->RefCount = 1;
  list->AddRef(2);
  list->Release();
  list->Release();
  EXPECT_EQ(TLazyShellEventList::LiveCount(), before + 1);
  list->Release();
  EXPECT_EQ(TLazyShellEventList::LiveCount(), before);
}

}  // namespace
}  // namespace kv
