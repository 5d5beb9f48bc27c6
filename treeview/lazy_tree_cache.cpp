// The tree's side of the position cache, the change notification and the
// state set.

#include <algorithm>

#include "treeview/lazy_tree_model.h"

namespace kv {

namespace {

TLazyTreeStates StatesFromBits(unsigned bits) {
  TLazyTreeStates s;
  if (bits & 1) s = s + TLazyTreeStates{tsStopValidation};
  if (bits & 2) s = s + TLazyTreeStates{tsUseCache};
  if (bits & 4) s = s + TLazyTreeStates{tsValidating};
  if (bits & 8) s = s + TLazyTreeStates{tsValidationNeeded};
  return s;
}

}  // namespace

void TLazyTreeModel::DoStateChange(TLazyTreeStates enter, TLazyTreeStates leave) {
  if (OnStateChange && (!(enter - states_).Empty() || !(leave * states_).Empty()))
    OnStateChange(*this, enter, leave);
  states_ = (states_ + enter) - leave;
}

void TLazyTreeModel::ShowError(const std::string& message, int code) {
  throw ELazyTreeError(message, code);
}

// ------------------------------------------------------ change notification --

void TLazyTreeModel::Change(PLazyNode node) { AdviseChangeEvent(false, node, TChangeReason::crNone); }

void TLazyTreeModel::StructureChange(PLazyNode node, TChangeReason reason) {
  AdviseChangeEvent(true, node, reason);
}

void TLazyTreeModel::AdviseChangeEvent(bool structural, PLazyNode node, TChangeReason reason) {
  if (Destroying()) return;
  if (!structural) {
    if (states_.Contains(tsChangePending))
      StopTimer(kChangeTimer);
    else
      DoStateChange({tsChangePending});
    lastChangedNode_ = node;
  } else {
    if (states_.Contains(tsStructureChangePending))
      StopTimer(kStructureChangeTimer);
    else
      DoStateChange({tsStructureChangePending});
    lastStructureChangeNode_ = node;
    if (lastStructureChangeReason_ == TChangeReason::crNone)
      lastStructureChangeReason_ = reason;
    else if (reason != TChangeReason::crNone)
      lastStructureChangeReason_ = TChangeReason::crAccumulated;  // even the same reason twice
  }
  if (updateCount_ > 0) return;
  if (changeDelay_ > 0 && !states_.Contains(tsImmediateEvents) &&
      StartTimer(structural ? kStructureChangeTimer : kChangeTimer, changeDelay_))
    return;
  if (structural)
    DoStructureChange(lastStructureChangeNode_, lastStructureChangeReason_);
  else
    DoChange(lastChangedNode_);
}

void TLazyTreeModel::DoChange(PLazyNode node) {
  StopTimer(kChangeTimer);
  if (OnChange) OnChange(*this, node);
  DoStateChange({}, {tsChangePending});
  lastChangedNode_ = nullptr;
}

void TLazyTreeModel::DoStructureChange(PLazyNode node, TChangeReason reason) {
  StopTimer(kStructureChangeTimer);
  if (OnStructureChange) OnStructureChange(*this, node, reason);
  DoStateChange({}, {tsStructureChangePending});
  lastStructureChangeNode_ = nullptr;
  lastStructureChangeReason_ = TChangeReason::crNone;
}

void TLazyTreeModel::ChangeTimerExpired(unsigned id) {
  StopTimer(id);
  if (id == kChangeTimer && states_.Contains(tsChangePending)) DoChange(lastChangedNode_);
  if (id == kStructureChangeTimer && states_.Contains(tsStructureChangePending))
    DoStructureChange(lastStructureChangeNode_, lastStructureChangeReason_);
}

// ----------------------------------------------------------- position cache --

void TLazyTreeModel::InvalidateCache() {
  DoStateChange({tsValidationNeeded}, {tsUseCache});
  cacheGeneration_.fetch_add(1, std::memory_order_release);
}

void TLazyTreeModel::ValidateCache() {
  // Stops a build but keeps a cache in use: when nothing changed, no build is
  // queued below, and a cache taken out of use here would never come back.
  StopCacheBuild();
  if (!states_.Contains(tsValidationNeeded)) return;
  // Trees of up to 2000 visible nodes never get a cache: no need to wake the worker.
  if (visibleCount_ <= kCacheThreshold) {
    cache_.clear();
    return;
  }
  DoStateChange({}, {tsStopValidation});
  TWorkerThread::AddTree(*this);
}

// Called before every change of shape: stops a queued or running build and
// takes the cache out of use at once, so that the events fired while the shape
// changes (OnExpanded, OnCollapsed...) never see positions of the old shape.
// A cache that was in use is marked for rebuilding.
void TLazyTreeModel::InterruptValidation() {
  const bool wasInUse = states_.Contains(tsUseCache);
  StopCacheBuild();
  if (wasInUse)
    DoStateChange({tsValidationNeeded}, {tsUseCache});
  else
    DoStateChange({}, {tsUseCache});
}

// Stops a queued or running build of this tree and waits until the worker has
// left it. A cache already in use stays in use.
void TLazyTreeModel::StopCacheBuild() {
  const bool busy = inWorker_.load(std::memory_order_acquire);
  DoStateChange({tsStopValidation});
  WaitForWorker();
  if (busy) DoStateChange({tsValidationNeeded});
}

void TLazyTreeModel::WaitForWorker() {
  TWorkerThread::StopAndWait(*this, [] {});
  DeliverWorkerStates();
}

void TLazyTreeModel::WorkerStateChange(unsigned enter, unsigned leave) {
  std::lock_guard guard(mailboxLock_);
  mailbox_.emplace_back(enter, leave);
}

void TLazyTreeModel::DeliverWorkerStates() {
  std::vector<std::pair<unsigned, unsigned>> pending;
  {
    std::lock_guard guard(mailboxLock_);
    pending.swap(mailbox_);
  }
  for (auto [enter, leave] : pending) WMChangeState(enter, leave);
}

// A finished build is used only when it was made for the current shape of the
// tree: every change of shape bumps the generation, so a build that finished
// after such a change (or was reported late) is dropped.
void TLazyTreeModel::WMChangeState(unsigned enter, unsigned leave) {
  TLazyTreeStates enterStates = StatesFromBits(enter), leaveStates = StatesFromBits(leave);
  if (enterStates.Contains(tsUseCache)) {
    TCache built;
    if (TWorkerThread::TakeResult(*this, cacheGeneration_.load(std::memory_order_acquire), built)) {
      cache_ = std::move(built);
    } else {
      enterStates = enterStates - TLazyTreeStates{tsUseCache};
      leaveStates = leaveStates - TLazyTreeStates{tsValidationNeeded};
    }
  }
  DoStateChange(enterStates, leaveStates);
}

bool TLazyTreeModel::BuildCache(TCache& cache, const std::atomic<bool>& stop) const {
  cache.clear();
  const std::uint32_t visible = visibleCount_;
  if (visible <= kCacheThreshold) return false;
  const std::uint32_t count = CalculateCacheEntryCount(visible);
  cache.resize(count);
  std::size_t filled = 0;
  std::uint32_t top = 0, walked = 0;
  PLazyNode last = nullptr;
  PLazyNode node = GetFirstVisibleNoInit();
  while (node != nullptr && filled < count) {
    if (stop.load(std::memory_order_relaxed)) return false;
    if (walked % kCacheThreshold == 0) cache[filled++] = {node, top};
    top += node->NodeHeight;
    ++walked;
    last = node;
    node = GetNextVisibleNoInit(node);
  }
  if (node == nullptr && filled < count) {
    cache.resize(filled + 1);
    cache[filled] = {last, top};
  }
  return walked > 0 && !stop.load(std::memory_order_relaxed);
}

TCache TLazyTreeModel::BuildCacheNow() const {
  std::atomic<bool> stop{false};
  TCache cache;
  BuildCache(cache, stop);
  return cache;
}

PLazyNode TLazyTreeModel::FindInPositionCache(PLazyNode node, std::uint32_t& top) const {
  top = 0;
  if (cache_.empty()) return nullptr;
  std::size_t low = 0, high = cache_.size();
  // First entry after `node`; the answer is the one before it.
  while (low < high) {
    const std::size_t middle = (low + high) / 2;
    if (CompareNodePositions(cache_[middle].Node, node) <= 0)
      low = middle + 1;
    else
      high = middle;
  }
  if (low == 0) return nullptr;
  top = cache_[low - 1].AbsoluteTop;
  return cache_[low - 1].Node;
}

PLazyNode TLazyTreeModel::FindInPositionCache(std::uint32_t position, std::uint32_t& top) const {
  top = 0;
  auto it = std::upper_bound(cache_.begin(), cache_.end(), position,
                             [](std::uint32_t p, const TCacheEntry& e) { return p < e.AbsoluteTop; });
  if (it == cache_.begin()) return nullptr;
  --it;
  top = it->AbsoluteTop;
  return it->Node;
}

int TLazyTreeModel::CompareNodePositions(PLazyNode node1, PLazyNode node2) const {
  LazyTreeAssert(node1 != nullptr && node2 != nullptr, "Nodes must never be nil.");
  if (node1 == node2) return 0;
  int level1 = GetNodeLevel(node1), level2 = GetNodeLevel(node2);
  PLazyNode a = node1, b = node2;
  while (level1 > level2) {
    a = a->Parent;
    --level1;
  }
  while (level2 > level1) {
    b = b->Parent;
    --level2;
  }
  if (a == b) return a == node2 ? 1 : -1;  // one is the other's ancestor
  while (a->Parent != b->Parent) {
    a = a->Parent;
    b = b->Parent;
  }
  const std::int64_t difference = std::int64_t{a->Index} - std::int64_t{b->Index};
  return static_cast<int>(std::clamp<std::int64_t>(difference, INT32_MIN, INT32_MAX));
}

// A full list grows to 100 entries first, then by a tenth of its length.
void TLazyTreeModel::InternalCacheNode(PLazyNode node) {
  if (tempNodes_.size() == tempNodes_.capacity()) {
    const std::size_t length = tempNodes_.capacity();
    tempNodes_.reserve(length < 100 ? 100 : length + length / 10);
  }
  tempNodes_.push_back(node);
}

void TLazyTreeModel::ClearTempCache() {
  tempNodes_.clear();
  tempNodes_.shrink_to_fit();
}

}  // namespace kv
