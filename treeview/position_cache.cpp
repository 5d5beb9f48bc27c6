#include "treeview/position_cache.h"

#include <algorithm>

namespace kv {

namespace {
// Bits of the state-change message.
constexpr unsigned kStopValidation = 1, kUseCache = 2, kValidating = 4, kValidationNeeded = 8;
}  // namespace

std::mutex TWorkerThread::instanceLock_;
std::unique_ptr<TWorkerThread> TWorkerThread::instance_;
int TWorkerThread::references_ = 0;

std::uint32_t CalculateCacheEntryCount(std::uint32_t visibleCount) {
  if (visibleCount <= 1) return 0;
  return (visibleCount + kCacheThreshold - 1) / kCacheThreshold;
}

TWorkerThread::TWorkerThread() : thread_([this] { Execute(); }) {}

TWorkerThread::~TWorkerThread() {
  {
    std::lock_guard guard(lock_);
    terminated_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TWorkerThread::AddThreadReference() {
  std::lock_guard guard(instanceLock_);
  if (!instance_) instance_ = std::make_unique<TWorkerThread>();
  ++references_;
}

void TWorkerThread::ReleaseThreadReference(TCacheClient& tree) {
  StopAndWait(tree, [] {});
  std::unique_ptr<TWorkerThread> ending;
  {
    std::lock_guard guard(instanceLock_);
    if (references_ > 0 && --references_ == 0) ending = std::move(instance_);
  }
  // Joined outside the instance lock: the worker never takes that lock.
  ending.reset();
}

bool TWorkerThread::Running() {
  std::lock_guard guard(instanceLock_);
  return instance_ != nullptr;
}

void TWorkerThread::AddTree(TCacheClient& tree) {
  TWorkerThread* worker = nullptr;
  {
    std::lock_guard guard(instanceLock_);
    worker = instance_.get();
  }
  if (worker == nullptr) return;
  {
    std::lock_guard guard(worker->lock_);
    tree.stopValidation_.store(false, std::memory_order_relaxed);
    if (std::find(worker->queue_.begin(), worker->queue_.end(), &tree) == worker->queue_.end())
      worker->queue_.push_back(&tree);
    tree.inWorker_.store(true, std::memory_order_release);
  }
  worker->wake_.notify_one();
}

void TWorkerThread::RemoveTree(TCacheClient& tree) {
  TWorkerThread* worker = nullptr;
  {
    std::lock_guard guard(instanceLock_);
    worker = instance_.get();
  }
  if (worker == nullptr) return;
  std::lock_guard guard(worker->lock_);
  worker->queue_.erase(std::remove(worker->queue_.begin(), worker->queue_.end(), &tree),
                       worker->queue_.end());
  if (worker->current_ != &tree) tree.inWorker_.store(false, std::memory_order_release);
}

bool TWorkerThread::IsCurrent(const TCacheClient& tree) {
  std::lock_guard guard(lock_);
  return current_ == &tree;
}

void TWorkerThread::WaitUntilLeft(const TCacheClient& tree, std::chrono::milliseconds slice) {
  std::unique_lock guard(lock_);
  left_.wait_for(guard, slice, [&] { return current_ != &tree; });
}

bool TWorkerThread::TakeResult(TCacheClient& tree, std::uint64_t generation, TCache& out) {
  TWorkerThread* worker = nullptr;
  {
    std::lock_guard guard(instanceLock_);
    worker = instance_.get();
  }
  if (worker == nullptr) return false;
  std::lock_guard guard(worker->lock_);
  auto& result = tree.workerResult_;
  if (!result.ready) return false;
  result.ready = false;
  if (result.generation != generation) {
    result.cache.clear();
    return false;
  }
  out = std::move(result.cache);
  result.cache.clear();
  return true;
}

void TWorkerThread::Execute() {
  for (;;) {
    TCacheClient* tree = nullptr;
    std::uint64_t generation = 0;
    {
      std::unique_lock guard(lock_);
      wake_.wait(guard, [&] { return terminated_ || !queue_.empty(); });
      if (terminated_) return;
      // The tree becomes current under the same lock that dequeues it, so an
      // interruption either still finds it queued or sees it being built.
      tree = queue_.front();
      queue_.pop_front();
      current_ = tree;
      generation = tree->cacheGeneration_.load(std::memory_order_acquire);
    }
    tree->WorkerStateChange(kValidating, kUseCache);
    TCache cache;
    bool complete = false;
    if (!tree->stopValidation_.load(std::memory_order_relaxed))
      complete = tree->BuildCache(cache, tree->stopValidation_);
    if (complete) {
      std::lock_guard guard(lock_);
      tree->workerResult_.generation = generation;
      tree->workerResult_.cache = std::move(cache);
      tree->workerResult_.ready = true;
    }
    if (complete)
      tree->WorkerStateChange(kUseCache, kStopValidation | kValidating | kValidationNeeded);
    else
      tree->WorkerStateChange(0, kStopValidation | kValidating);
    {
      std::lock_guard guard(lock_);
      current_ = nullptr;
      if (std::find(queue_.begin(), queue_.end(), tree) == queue_.end())
        tree->inWorker_.store(false, std::memory_order_release);
    }
    left_.notify_all();
  }
}

}  // namespace kv
