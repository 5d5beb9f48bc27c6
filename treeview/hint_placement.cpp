#include "treeview/hint_placement.h"

#include <algorithm>
#include <cstdint>

namespace kv {

THintBounds HoldHintOnMonitor(const THintBounds& hint, const TMonitorBoundsAt& monitorAt) {
  // The monitor of the hint's own point, not the primary one: a hint over a
  // tree on a second monitor stays there.
  const THintBounds monitor = monitorAt(hint.Left, hint.Top);
  const std::int64_t width = std::int64_t{hint.Right} - hint.Left, height = std::int64_t{hint.Bottom} - hint.Top;
  const std::int64_t top = std::max<std::int64_t>(std::min<std::int64_t>(hint.Top, monitor.Bottom - height), monitor.Top);
  const std::int64_t left =
      std::max<std::int64_t>(std::min<std::int64_t>(hint.Left, monitor.Right - width), monitor.Left);
  return THintBounds{static_cast<int>(left), static_cast<int>(top), static_cast<int>(left + width),
                     static_cast<int>(top + height)};
}

}  // namespace kv
