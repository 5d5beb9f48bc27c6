#include "treeview/toggle_animation.h"

#include <algorithm>

namespace kv {

void RunToggleAnimation(int distance, unsigned duration, const TMillisecondClock& now,
                        const std::function<bool(int size)>& step, const std::function<bool()>& terminating) {
  if (distance <= 0 || duration == 0) return;
  auto closing = [&] { return terminating && terminating(); };
  int stepSize = static_cast<int>(std::max(1.0, static_cast<double>(distance) / duration) + 0.5);
  int left = distance;
  int steps = left / stepSize;
  double remaining = duration;
  while (steps > 0 && remaining > 0 && !closing()) {
    const std::uint32_t start = now();
    const double slot = remaining / steps;
    if (!step(stepSize)) break;
    std::uint32_t taken = now() - start;
    while (taken < slot) taken = now() - start;
    if (taken > remaining) break;
    left -= stepSize;
    remaining -= taken;
    steps = left / stepSize;
    while (steps > 0 && remaining / steps < 1) {
      ++stepSize;
      steps = left / stepSize;
    }
  }
  if (!closing()) step(0);
}

}  // namespace kv
