#include "shell/change_events.h"

#include <algorithm>
#include <cstring>

#include "shell/id_list.h"

namespace kv {

namespace {

constexpr uint32_t kFlags[kShellEventKindCount] = {
    0x08000000, 0x800, 0x2, 0x4, 0x100, 0x10000, 0x80, 0x40000, 0x20, 0x40,
    0x8, 0x200, 0x400, 0x20000, 0x1, 0x10, 0x4000, 0x1000, 0x8000, 0x2000,
};

std::atomic<int32_t> gLiveLists{0};

bool SameBytes(const void* a, const void* b) {
  if (!a || !b) return false;
  size_t size = IDListSize(a);
  return size == IDListSize(b) && std::memcmp(a, b, size) == 0;
}

}  // namespace

const std::u16string_view kShellEventNames[kShellEventKindCount] = {
    u"Assocciation Changed", u"Attributes", u"Item Create", u"Item Delete", u"Drive Add",
    u"Drive Add GUI", u"Drive Removed", u"Free Space", u"Media Inserted", u"Media Removed",
    u"Make Directory", u"Network Share", u"Network Unshare", u"Folder Rename", u"Item Rename",
    u"Remove Directory", u"Server Disconnect", u"Update Directory", u"Update Image", u"Update Item",
};

std::optional<TShellEventKind> ShellEventKindFromFlag(uint32_t flag) {
  for (size_t i = 0; i < kShellEventKindCount; ++i)
    if (kFlags[i] == flag) return static_cast<TShellEventKind>(i);
  return std::nullopt;
}

uint32_t ShellEventFlag(TShellEventKind kind) { return kFlags[static_cast<size_t>(kind)]; }

TIDListBytes CopyIDListBytes(const void* list) {
  if (!list) return {};
  auto* bytes = static_cast<const uint8_t*>(list);
  return TIDListBytes(bytes, bytes + IDListSize(list));
}

TIDListBytes ParentIDListBytes(const void* list) {
  if (!list) return {};
  auto* bytes = static_cast<const uint8_t*>(list);
  if (IDListCount(list) == 0) return {bytes, bytes + 2};
  size_t keep = static_cast<size_t>(static_cast<const uint8_t*>(LastIDItem(list)) - bytes);
  TIDListBytes parent(bytes, bytes + keep);
  parent.push_back(0);
  parent.push_back(0);
  return parent;
}

std::unique_ptr<TLazyShellEvent> MakeShellEvent(TShellEventKind kind, const void* list1, const void* list2,
                                                uint32_t value1, uint32_t value2) {
  auto event = std::make_unique<TLazyShellEvent>();
  event->Kind = kind;
  event->Value1 = value1;
  event->Value2 = value2;
  event->ItemList1 = CopyIDListBytes(list1);
  event->ItemList2 = CopyIDListBytes(list2);
  event->ParentList1 = ParentIDListBytes(list1);
  event->ParentList2 = ParentIDListBytes(list2);
  return event;
}

TLazyShellEventList::TLazyShellEventList() {
  events_.reserve(kInitialCapacity);
  gLiveLists.fetch_add(1);
}

TLazyShellEventList::~TLazyShellEventList() {
  {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    events_.clear();
  }
  gLiveLists.fetch_sub(1);
}

TLazyShellEventList* TLazyShellEventList::Create() {
  return std::unique_ptr<TLazyShellEventList>(new TLazyShellEventList).release();
}

void TLazyShellEventList::Release() {
  if (RefCount.fetch_sub(1) - 1 < 1) std::unique_ptr<TLazyShellEventList> owner(this);
}

int32_t TLazyShellEventList::LiveCount() { return gLiveLists.load(); }

bool TIDListComparer::IsEqual(const void* a, const void* b) const { return SameBytes(a, b); }

bool TIDListComparer::IsParent(const void* parent, const void* child) const {
  if (!parent || !child) return false;
  size_t parentBytes = IDListSize(parent) - 2;  // without the terminator
  if (IDListSize(child) - 2 < parentBytes) return false;
  if (std::memcmp(parent, child, parentBytes) != 0) return false;
  // The shared bytes must end on an item boundary of the child.
  const uint8_t* item = static_cast<const uint8_t*>(child);
  const uint8_t* end = item + parentBytes;
  while (item < end) item = static_cast<const uint8_t*>(NextIDItem(item));
  return item == end;
}

void TChangeEventQueue::SetRecycleFolders(std::vector<TIDListBytes> folders) {
  std::lock_guard<std::mutex> hold(lock_);
  recycleFolders_ = std::move(folders);
}

void TChangeEventQueue::AddEvent(TShellEventKind kind, const void* list1, const void* list2, uint32_t value1,
                                 uint32_t value2) {
  bool queued;
  {
    std::lock_guard<std::mutex> hold(lock_);
    size_t before = working_.size();
    Filter(kind, list1, list2, value1, value2);
    queued = working_.size() != before;
  }
  eventsArrived_.store(true);
  if (queued && OnQueued) OnQueued();
}

void TChangeEventQueue::Filter(TShellEventKind kind, const void* list1, const void* list2, uint32_t value1,
                               uint32_t value2) {
  if (!FilterEvents.load()) {
    Queue(MakeShellEvent(kind, list1, list2, value1, value2), false);
    return;
  }
  switch (kind) {
    case TShellEventKind::FolderRename:
    case TShellEventKind::ItemRename: {
      TIDListBytes parent1 = ParentIDListBytes(list1), parent2 = ParentIDListBytes(list2);
      const void* p1 = parent1.empty() ? nullptr : parent1.data();
      const void* p2 = parent2.empty() ? nullptr : parent2.data();
      if (p1) UpdateDirectory(parent1);
      if (p2 && !comparer_.IsEqual(p1, p2)) UpdateDirectory(parent2);
      return;
    }
    case TShellEventKind::ItemCreate:
    case TShellEventKind::ItemDelete:
    case TShellEventKind::MakeDirectory:
    case TShellEventKind::RemoveDirectory:
      if (list1) UpdateDirectory(ParentIDListBytes(list1));
      return;
    case TShellEventKind::UpdateDirectory:
      if (ReduceRecycleBinEvent(list1)) return;
      break;
    case TShellEventKind::UpdateItem:
      if (IsInRecycleBinFolder(list1)) return;
      break;
    default:
      break;
  }
  Queue(MakeShellEvent(kind, list1, list2, value1, value2), true);
}

void TChangeEventQueue::UpdateDirectory(const TIDListBytes& folder) {
  Filter(TShellEventKind::UpdateDirectory, folder.data(), folder.data(), 0, 0);
}

bool TChangeEventQueue::ReduceRecycleBinEvent(const void* list) {
  // A change inside a recycle folder (the bin, entry 0, included) stands for
  // the first such folder that has no update queued yet, and for the bin. A
  // folder already queued passes the change on to the next one; when every
  // folder holding the list is queued, the event itself goes on. The folder's
  // update is queued as it stands: it would only meet this reduction again.
  for (const TIDListBytes& folder : recycleFolders_) {
    if (folder.empty() || !comparer_.IsParent(folder.data(), list)) continue;
    if (HasUpdateQueuedLocked(folder)) continue;
    Queue(MakeShellEvent(TShellEventKind::UpdateDirectory, folder.data(), folder.data()), false);
    const TIDListBytes& bin = recycleFolders_[0];
    if (!bin.empty() && !HasUpdateQueuedLocked(bin))
      Queue(MakeShellEvent(TShellEventKind::UpdateDirectory, bin.data(), bin.data()), false);
    return true;
  }
  return false;
}

bool TChangeEventQueue::IsInRecycleBinFolder(const void* list) const {
  for (const TIDListBytes& folder : recycleFolders_)
    if (!folder.empty() && comparer_.IsParent(folder.data(), list)) return true;
  return false;
}

bool TChangeEventQueue::HasUpdateQueuedLocked(const TIDListBytes& folder) const {
  for (const auto& queued : working_)
    if (queued->Kind == TShellEventKind::UpdateDirectory && comparer_.IsEqual(queued->Item1(), folder.data()))
      return true;
  return false;
}

bool TChangeEventQueue::IsRedundantLocked(const TLazyShellEvent& event) const {
  for (const auto& queued : working_) {
    if (queued->Kind != event.Kind) continue;
    if (comparer_.IsEqual(queued->Item1(), event.Item1())) return true;
    if (event.Kind == TShellEventKind::FreeSpace && queued->Value1 == event.Value1) return true;
  }
  return false;
}

void TChangeEventQueue::Queue(std::unique_ptr<TLazyShellEvent> event, bool checkRedundant) {
  if (checkRedundant && IsRedundantLocked(*event)) return;
  working_.push_back(std::move(event));
}

TLazyShellEventList* TChangeEventQueue::TakeBatch(const std::function<void()>& underLock) {
  TLazyShellEventList* batch = TLazyShellEventList::Create();
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (underLock) underLock();
    batch->Events().reserve(std::max(working_.capacity(), TLazyShellEventList::kInitialCapacity));
    for (auto& event : working_) batch->Events().push_back(std::move(event));
    working_.clear();
  }
  batch->RefCount.store(1);
  return batch;
}

size_t TChangeEventQueue::QueuedCount() {
  std::lock_guard<std::mutex> hold(lock_);
  return working_.size();
}

void TChangeEventQueue::StripDuplicates(std::vector<std::unique_ptr<TLazyShellEvent>>& events,
                                        const TIDListComparer& comparer) {
  for (size_t i = 0; i < events.size(); ++i) {
    for (size_t j = 0; j < events.size(); ++j) {
      if (i == j || !events[i] || !events[j]) continue;
      const void* a = events[i]->Item1();
      const void* b = events[j]->Item1();
      if (comparer.IsEqual(a, b) || comparer.IsParent(a, b)) {
        events[j].reset();
      } else if (comparer.IsParent(b, a)) {
        events[i].reset();
        break;
      }
    }
  }
  std::erase_if(events, [](const auto& event) { return !event; });
}

}  // namespace kv
