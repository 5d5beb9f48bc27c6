// Tree painting figures. So far: AlphaBlend throughput in megapixels per
// second for each blend mode, over an 800 x 600 rectangle of 32-bit bitmaps
// (one bottom-up, one top-down), the size of a full tree client.
//
// Figures are printed, not asserted. Native: build without sanitizers (see
// DEVELOPERS.md) and run build/bench/treeview_paint_bench; under Wine run the
// .exe of the Windows build's "benchmarks" target.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "treeview/alpha_blend.h"

namespace {

using Clock = std::chrono::steady_clock;

void AlphaBlendThroughput() {
  constexpr int kWidth = 800, kHeight = 600, kRounds = 50;
  std::vector<std::uint32_t> source(kWidth * kHeight), destination(kWidth * kHeight);
  for (size_t i = 0; i < source.size(); ++i) {
    source[i] = static_cast<std::uint32_t>(i * 2654435761u);
    destination[i] = static_cast<std::uint32_t>(i * 40503u);
  }
  const kv::TBitmapBits s{source.data(), kWidth, kHeight}, d{destination.data(), kWidth, -kHeight};
  struct Mode {
    const char* name;
    kv::TBlendMode mode;
  };
  const Mode modes[] = {{"constant alpha", kv::TBlendMode::bmConstantAlpha},
                        {"per-pixel alpha", kv::TBlendMode::bmPerPixelAlpha},
                        {"master alpha", kv::TBlendMode::bmMasterAlpha},
                        {"constant alpha and colour", kv::TBlendMode::bmConstantAlphaAndColor}};
  std::uint32_t sink = 0;
  for (const Mode& m : modes) {
    const auto start = Clock::now();
    for (int round = 0; round < kRounds; ++round)
      kv::AlphaBlendBits(&s, d, {0, 0, kWidth, kHeight}, 0, 0, m.mode, 100 + round, 3);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sink ^= destination[static_cast<size_t>(kWidth) * kHeight / 2];
    std::printf("AlphaBlend %-26s %8.1f megapixels/s\n", m.name,
                kRounds * double(kWidth) * kHeight / seconds / 1e6);
  }
  std::printf("(check value %08x)\n", sink);
}

}  // namespace

int main() {
  AlphaBlendThroughput();
  return 0;
}
