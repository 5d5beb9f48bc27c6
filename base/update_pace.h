#pragma once
// Lets the updates of a display through at the screen's pace. A window that
// shows the progress of quick steps (a scan reports every folder entry) would
// spend more time painting than working if every step painted: the caller
// keeps the latest values and shows them only when an update is due, and once
// more when the work ends. Window-free; the clock is replaceable for tests.
#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>

namespace kv {

class TUpdatePace {
 public:
  static constexpr uint64_t kIntervalMs = 40;  // 25 updates a second
  using Clock = std::function<uint64_t()>;     // milliseconds, never decreasing

  TUpdatePace() : TUpdatePace(SteadyMilliseconds) {}
  explicit TUpdatePace(Clock clock) : clock_(std::move(clock)) {}

  // True when an update may show now: the first one after construction or
  // Restart, then once kIntervalMs have passed since the last one let through.
  bool Due() {
    const uint64_t now = clock_();
    if (started_ && now - last_ < kIntervalMs) return false;
    started_ = true;
    last_ = now;
    return true;
  }
  // The next Due() is true (a new phase, a forced refresh).
  void Restart() { started_ = false; }

 private:
  static uint64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }

  Clock clock_;
  uint64_t last_ = 0;
  bool started_ = false;
};

}  // namespace kv
