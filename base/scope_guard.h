#pragma once
// Runs a function when the scope ends, however it ends: for the state a
// call must put back (a busy flag, a recursion depth, a buffer to clear).
// The function must not throw; it runs from a destructor.
#include <utility>

namespace kv {

template <class F>
class ScopeGuard {
 public:
  explicit ScopeGuard(F onExit) : onExit_(std::move(onExit)) {}
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  ~ScopeGuard() { onExit_(); }

 private:
  F onExit_;
};

}  // namespace kv
