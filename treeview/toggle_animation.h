#pragma once

// The timing of the expand and collapse slide, window-free: how many pixels
// each step moves and when the next step may start, so that the whole slide
// keeps to its duration however slow drawing a step is.

#include <cstdint>
#include <functional>

namespace kv {

// A millisecond counter that wraps at 2^32 (the system's multimedia timer).
using TMillisecondClock = std::function<std::uint32_t()>;

// Moves `stepCount` pixels in steps within `duration` ms. `callback` (step,
// step size) draws step number `step` (from 0) and answers false to end the
// slide; it is called once more with step size 0 when the slide is over.
// Times are compared as elapsed unsigned differences, so a wrap of the
// counter during the slide changes nothing. Once `terminating` answers true
// (the application is closing) no further step is drawn, the final call
// included.
void Animate(int stepCount, unsigned duration, const TMillisecondClock& now,
             const std::function<bool(int step, int stepSize)>& callback,
             const std::function<bool()>& terminating = nullptr);

}  // namespace kv
