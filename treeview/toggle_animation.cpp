#include "treeview/toggle_animation.h"

#include <algorithm>
#include <cmath>

namespace kv {

void Animate(int stepCount, unsigned duration, const TMillisecondClock& now,
             const std::function<bool(int step, int stepSize)>& callback, const std::function<bool()>& terminating) {
  if (stepCount <= 0 || duration == 0) return;
  auto closing = [&] { return terminating && terminating(); };
  // Half a pixel rounds to the even size.
  int stepSize = static_cast<int>(std::nearbyint(std::max(1.0, static_cast<double>(stepCount) / duration)));
  int step = 0;
  int left = stepCount;
  int steps = left / stepSize;
  double remaining = duration;
  while (steps > 0 && remaining > 0 && !closing()) {
    const std::uint32_t start = now();
    const double slot = remaining / steps;
    if (!callback(step, stepSize)) break;
    ++step;
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
  if (!closing()) callback(step, 0);
}

}  // namespace kv
