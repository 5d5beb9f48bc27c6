#pragma once
// The position cache's background builder: one worker thread for all trees of
// the process, alive while at least one tree exists.
//
// Threads: the user-interface thread owns every node; the worker only reads
// links, heights and states of the tree it builds. Every change of the tree's
// shape first calls InterruptValidation, which waits until the worker has left
// the tree, so the two never touch a node field at the same time (the state set
// of a node is read and written with relaxed atomics, see TLazyNodeStates).
// The worker reports through the tree's state callback (the window half sends
// it as a message); a finished cache is handed over together with the
// generation it was built for, and a stale one is dropped by the tree.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "treeview/lazy_node.h"

namespace kv {

struct TCacheEntry {
  PLazyNode Node;
  std::uint32_t AbsoluteTop;
  bool operator==(const TCacheEntry&) const = default;
};
using TCache = std::vector<TCacheEntry>;

inline constexpr std::uint32_t kCacheThreshold = 2000;

// Entry count for a visible count: one per 2000 visible nodes, rounded up.
std::uint32_t CalculateCacheEntryCount(std::uint32_t visibleCount);

// The worker's view of a tree: everything it needs without the model's header.
class TCacheClient {
 public:
  virtual ~TCacheClient() = default;

 protected:
  friend class TWorkerThread;
  // Builds into `cache` from the tree's state as it stands; stops early when
  // `stop` becomes true. True when a complete cache was built. Runs on the worker.
  virtual bool BuildCache(TCache& cache, const std::atomic<bool>& stop) const = 0;
  // Bits as in the state-change message: 1 stop validation, 2 use cache,
  // 4 validating, 8 validation needed. Runs on the worker.
  virtual void WorkerStateChange(unsigned enter, unsigned leave) = 0;

  std::atomic<bool> stopValidation_{false};
  // True while the tree is queued or being built; written under the queue lock.
  std::atomic<bool> inWorker_{false};
  std::atomic<std::uint64_t> cacheGeneration_{0};
  // Guarded by the worker's queue lock.
  struct Result {
    std::uint64_t generation = 0;
    TCache cache;
    bool ready = false;
  } workerResult_;
};

class TWorkerThread {
 public:
  // Reference counting: the first reference starts the thread, the last ends it.
  static void AddThreadReference();
  static void ReleaseThreadReference(TCacheClient& tree);
  static bool Running();

  // Queues the tree unless it is queued already; wakes the worker.
  static void AddTree(TCacheClient& tree);
  static void RemoveTree(TCacheClient& tree);
  // Asks a running build of the tree to stop and waits until the worker has
  // left it; `whileWaiting` runs on the caller's thread between checks (the
  // window half delivers sent messages there) and may be empty. Also takes the
  // tree out of the queue.
  template <class Fn>
  static void StopAndWait(TCacheClient& tree, Fn&& whileWaiting);
  // True (and the result moved out) when a finished build for `generation` is there.
  static bool TakeResult(TCacheClient& tree, std::uint64_t generation, TCache& out);

 // Made and ended only through the reference count.
  TWorkerThread();
  ~TWorkerThread();

 private:
  void Execute();
  bool IsCurrent(const TCacheClient& tree);
  void WaitUntilLeft(const TCacheClient& tree, std::chrono::milliseconds slice);

  static std::mutex instanceLock_;
  static std::unique_ptr<TWorkerThread> instance_;
  static int references_;

  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable left_;
  std::deque<TCacheClient*> queue_;
  TCacheClient* current_ = nullptr;
  bool terminated_ = false;
  std::thread thread_;

};

template <class Fn>
void TWorkerThread::StopAndWait(TCacheClient& tree, Fn&& whileWaiting) {
  tree.stopValidation_.store(true, std::memory_order_relaxed);
  // Neither queued nor being built: nothing to wait for (only the caller's
  // thread queues the tree, so this cannot change under our feet).
  if (!tree.inWorker_.load(std::memory_order_acquire)) return;
  TWorkerThread* worker = nullptr;
  {
    std::lock_guard guard(instanceLock_);
    worker = instance_.get();
  }
  if (worker == nullptr) return;
  RemoveTree(tree);
  while (worker->IsCurrent(tree)) {
    whileWaiting();
    worker->WaitUntilLeft(tree, std::chrono::milliseconds(1));
  }
}

}  // namespace kv
