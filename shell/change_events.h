#pragma once
// Shell change events and the queue that reduces them before a batch goes to
// the registered controls. Byte-level: item-ID lists are held as their bytes
// (an empty vector is an absent list), and the two comparisons the reductions
// need come from a comparer, the shell's own on Windows.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace kv {

enum class TShellEventKind : uint8_t {
  AssocChanged, Attributes, ItemCreate, ItemDelete, DriveAdd, DriveAddGUI, DriveRemoved,
  FreeSpace, MediaInserted, MediaRemoved, MakeDirectory, NetShare, NetUnShare, FolderRename,
  ItemRename, RemoveDirectory, ServerDisconnect, UpdateDirectory, UpdateImage, UpdateItem,
};
inline constexpr size_t kShellEventKindCount = 20;

// Display names by kind.
extern const std::u16string_view kShellEventNames[kShellEventKindCount];

// The kind a shell notification flag stands for; none for any other flag.
std::optional<TShellEventKind> ShellEventKindFromFlag(uint32_t flag);
uint32_t ShellEventFlag(TShellEventKind kind);

using TIDListBytes = std::vector<uint8_t>;

// The list at `list` as bytes; empty when absent.
TIDListBytes CopyIDListBytes(const void* list);
// The list without its last item (the desktop stays the desktop); empty when absent.
TIDListBytes ParentIDListBytes(const void* list);

struct TLazyShellEvent {
  uint32_t Value1 = 0, Value2 = 0;  // "Free Space" and "Update Image" only
  TIDListBytes ItemList1, ItemList2, ParentList1, ParentList2;
  TShellEventKind Kind = TShellEventKind::UpdateDirectory;
  bool Handled = false;  // set by a receiver that has dealt with the event

  // The lists as pointers for the shell; null when absent.
  const void* Item1() const { return ItemList1.empty() ? nullptr : ItemList1.data(); }
  const void* Item2() const { return ItemList2.empty() ? nullptr : ItemList2.data(); }
  const void* Parent1() const { return ParentList1.empty() ? nullptr : ParentList1.data(); }
  const void* Parent2() const { return ParentList2.empty() ? nullptr : ParentList2.data(); }
};

std::unique_ptr<TLazyShellEvent> MakeShellEvent(TShellEventKind kind, const void* list1, const void* list2,
                                                uint32_t value1 = 0, uint32_t value2 = 0);

// One batch of events shared by reference count between the listener and the
// registered controls. Each holder calls Release exactly once; the list goes
// when the count falls below 1.
class TLazyShellEventList {
 public:
  static constexpr size_t kInitialCapacity = 50;
  // A new list with no references; the maker sets the count before handing it on.
  static TLazyShellEventList* Create();
  TLazyShellEventList(const TLazyShellEventList&) = delete;
  TLazyShellEventList& operator=(const TLazyShellEventList&) = delete;

  std::atomic<int32_t> RefCount{0};
  void AddRef(int32_t count = 1) { RefCount.fetch_add(count); }
  void Release();

  // The events; readers that share the list with other threads hold Lock().
  // It may be taken again on the thread holding it: a control handling the
  // list can pump the message that hands the same list to another control.
  std::recursive_mutex& Lock() { return lock_; }
  std::vector<std::unique_ptr<TLazyShellEvent>>& Events() { return events_; }

  // Lists alive in the process (tests check that every batch goes).
  static int32_t LiveCount();

 private:
  TLazyShellEventList();
  ~TLazyShellEventList();
  friend struct std::default_delete<TLazyShellEventList>;

  std::recursive_mutex lock_;
  std::vector<std::unique_ptr<TLazyShellEvent>> events_;
};

// The two comparisons of item-ID lists; both answer false for an absent list.
class TIDListComparer {
 public:
  virtual ~TIDListComparer() = default;
  virtual bool IsEqual(const void* a, const void* b) const;
  // `parent` leads `child` (any depth; equal lists count).
  virtual bool IsParent(const void* parent, const void* child) const;
};

// The dispatch thread's working list with its reductions: renames, creates
// and deletes become "Update Directory" of the folders that hold the items,
// an update inside a recycle folder becomes one for that folder (the first
// not queued yet) and one for the recycle bin, item updates inside recycle
// folders are dropped, and an event already queued is not queued again.
class TChangeEventQueue {
 public:
  explicit TChangeEventQueue(const TIDListComparer& comparer) : comparer_(comparer) {}

  // Entry 0 the recycle bin, then the recycle folders of the fixed drives.
  void SetRecycleFolders(std::vector<TIDListBytes> folders);
  std::atomic<bool> FilterEvents{true};
  // Called (outside the lock) whenever an event was queued.
  std::function<void()> OnQueued;

  void AddEvent(TShellEventKind kind, const void* list1, const void* list2, uint32_t value1 = 0,
                uint32_t value2 = 0);
  // An event arrived since the last call.
  bool TakeEventsArrived() { return eventsArrived_.exchange(false); }
  // Moves every queued event into a new list holding one reference;
  // `underLock` runs first, under the working list's lock.
  TLazyShellEventList* TakeBatch(const std::function<void()>& underLock = {});
  size_t QueuedCount();

  // Keeps the topmost distinct folders of `events` (by ItemList1).
  static void StripDuplicates(std::vector<std::unique_ptr<TLazyShellEvent>>& events,
                              const TIDListComparer& comparer);

 private:
  void Filter(TShellEventKind kind, const void* list1, const void* list2, uint32_t value1, uint32_t value2);
  void UpdateDirectory(const TIDListBytes& folder);
  bool ReduceRecycleBinEvent(const void* list);
  bool IsInRecycleBinFolder(const void* list) const;
  bool HasUpdateQueuedLocked(const TIDListBytes& folder) const;
  bool IsRedundantLocked(const TLazyShellEvent& event) const;
  void Queue(std::unique_ptr<TLazyShellEvent> event, bool checkRedundant);

  const TIDListComparer& comparer_;
  std::vector<TIDListBytes> recycleFolders_;
  std::mutex lock_;
  std::vector<std::unique_ptr<TLazyShellEvent>> working_;
  std::atomic<bool> eventsArrived_{false};
};

}  // namespace kv
