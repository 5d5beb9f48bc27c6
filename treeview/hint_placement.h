#pragma once
// Where a hint window goes on a desktop of several monitors, without a
// window: the monitor lookup is handed in, so the rule is tested with any
// arrangement of monitor rectangles.

#include <functional>

namespace kv {

// A rectangle in screen coordinates.
struct THintBounds {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const THintBounds&) const = default;
};

// The rectangle of the monitor that holds a screen point (the nearest
// monitor when none does).
using TMonitorBoundsAt = std::function<THintBounds(int x, int y)>;

// `hint` moved, not resized, so that it lies inside the monitor holding its
// top-left corner: the bottom and right edges are pulled in first, then the
// top and left ones, so a hint larger than the monitor keeps its top-left
// corner on it.
THintBounds HoldHintOnMonitor(const THintBounds& hint, const TMonitorBoundsAt& monitorAt);

}  // namespace kv
