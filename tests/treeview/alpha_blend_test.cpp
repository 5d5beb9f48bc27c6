// Pixel blending between DIB bits: formulas, saturation, orientation, bounds.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "treeview/alpha_blend.h"

namespace kv {
namespace {

constexpr std::uint32_t Pixel(int b, int g, int r, int a) {
  return static_cast<std::uint32_t>(b | g << 8 | r << 16 | a << 24);
}

TEST(AlphaBlend, RowFormulasPerMode) {
  struct Case {
    const char* what;
    TBlendMode mode;
    std::uint32_t source, destination;
    int constantAlpha, bias;
    std::uint32_t expected;
  };
  const Case cases[] = {
      // -1 * 255 >> 8 is -1, not 0: the shift floors.
      {"negative difference", TBlendMode::bmConstantAlpha, Pixel(9, 9, 9, 9),
       Pixel(10, 10, 10, 10), 255, 0, Pixel(9, 9, 9, 9)},
      {"full difference", TBlendMode::bmConstantAlpha, Pixel(255, 0, 255, 0),
       Pixel(0, 255, 0, 255), 255, 0, Pixel(254, 0, 254, 0)},  // 255 - 255 * 255 / 256 floors to 0
      {"half", TBlendMode::bmConstantAlpha, Pixel(200, 0, 100, 50), Pixel(0, 200, 100, 150), 128,
       0, Pixel(100, 100, 100, 100)},
      {"alpha 0 keeps, bias added", TBlendMode::bmConstantAlpha, Pixel(255, 255, 255, 255),
       Pixel(1, 2, 3, 4), 0, 5, Pixel(6, 7, 8, 9)},
      {"bias saturates high", TBlendMode::bmConstantAlpha, Pixel(250, 0, 0, 0),
       Pixel(250, 0, 0, 0), 255, 20, Pixel(255, 20, 20, 20)},
      {"bias saturates low", TBlendMode::bmConstantAlpha, Pixel(10, 200, 0, 0),
       Pixel(10, 200, 0, 0), 128, -100, Pixel(0, 100, 0, 0)},
      {"per pixel takes source alpha", TBlendMode::bmPerPixelAlpha, Pixel(200, 0, 0, 128),
       Pixel(0, 200, 0, 0), 0, 0, Pixel(100, 100, 0, 64)},
      {"per pixel alpha 0", TBlendMode::bmPerPixelAlpha, Pixel(200, 0, 0, 0), Pixel(7, 8, 9, 10),
       255, 0, Pixel(7, 8, 9, 10)},
      // A = 255 * 128 >> 8 = 127.
      {"master scales source alpha", TBlendMode::bmMasterAlpha, Pixel(255, 0, 0, 255),
       Pixel(0, 255, 0, 0), 128, 0, Pixel(126, 128, 0, 126)},
      {"master with bias", TBlendMode::bmMasterAlpha, Pixel(0, 0, 0, 0), Pixel(10, 10, 10, 10),
       255, -20, Pixel(0, 0, 0, 0)},
      // Colour mode: the colour is RGB (red low), the pixel BGRA; its alpha is 0.
      {"colour at 255 is not exactly the colour", TBlendMode::bmConstantAlphaAndColor, 0,
       Pixel(0, 255, 100, 255), 255, 0x0000FF, Pixel(0, 0, 254, 0)},
      {"colour at 0 keeps", TBlendMode::bmConstantAlphaAndColor, 0, Pixel(1, 2, 3, 4), 0,
       0xFFFFFF, Pixel(1, 2, 3, 4)},
      {"colour half", TBlendMode::bmConstantAlphaAndColor, 0, Pixel(100, 100, 100, 100), 128,
       0xC86400, Pixel(150, 100, 50, 50)},
  };
  for (const Case& c : cases) {
    std::uint32_t s = c.source, d = c.destination;
    TBitmapBits source{&s, 1, 1}, destination{&d, 1, 1};
    AlphaBlendBits(&source, destination, {0, 0, 1, 1}, 0, 0, c.mode, c.constantAlpha, c.bias);
    EXPECT_EQ(d, c.expected) << c.what << std::hex << " got " << d;
  }
}

// A bitmap of w x h pixels inside a guard band that nothing may write.
struct Guarded {
  static constexpr int kGuard = 64;
  Guarded(int w, int h, bool topDown, std::uint32_t fill)
      : store(static_cast<size_t>(w * h + 2 * kGuard), 0xDEADBEEF),
        bits{store.data() + kGuard, w, topDown ? -h : h} {
    for (int i = 0; i < w * h; ++i) bits.bits[i] = fill;
  }
  // Pixel (x, y) counted from the visible top.
  std::uint32_t& At(int x, int y) {
    return CalculateScanline(bits.bits, bits.width, bits.height, y)[x];
  }
  bool GuardsIntact() const {
    for (int i = 0; i < kGuard; ++i)
      if (store[i] != 0xDEADBEEF || store[store.size() - 1 - i] != 0xDEADBEEF) return false;
    return true;
  }
  std::vector<std::uint32_t> store;
  TBitmapBits bits;
};

TEST(AlphaBlend, BothOrientationsBlendTheSameVisibleRows) {
  for (bool sourceTopDown : {false, true}) {
    for (bool destinationTopDown : {false, true}) {
      Guarded source(4, 3, sourceTopDown, 0), destination(5, 4, destinationTopDown, 0);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) source.At(x, y) = Pixel(x * 10, y * 10, 0, 0);
      // Source (1, 1) lands on destination (2, 1).
      AlphaBlendBits(&source.bits, destination.bits, {2, 1, 5, 3}, 1, 1,
                     TBlendMode::bmConstantAlpha, 255, 0);
      for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
          const bool inside = x >= 2 && y >= 1 && y < 3;
          const std::uint32_t want =
              inside ? Pixel((x - 1) * 10 * 255 >> 8, y * 10 * 255 >> 8, 0, 0) : 0;
          EXPECT_EQ(destination.At(x, y), want)
              << sourceTopDown << destinationTopDown << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST(AlphaBlend, RectanglesOutsideEitherBitmapTouchNothingOutside) {
  struct Case {
    const char* what;
    TBlendRect r;
    int targetX, targetY;
    int touched;  // destination pixels changed
  };
  // Source 4 x 4, destination 6 x 5.
  const Case cases[] = {
      {"inside", {1, 1, 3, 3}, 0, 0, 4},
      {"left of destination", {-3, 0, 2, 2}, 0, 0, 2},  // x 0 from source x 3
      {"below and right of destination", {4, 3, 10, 10}, 0, 0, 2 * 2},
      {"wholly outside destination", {7, 0, 9, 2}, 0, 0, 0},
      {"wholly above destination", {0, -5, 3, -1}, 0, 0, 0},
      {"source partly past its right", {0, 0, 6, 1}, 2, 0, 2},
      {"source partly above its top", {0, 0, 2, 4}, 0, -2, 2 * 2},
      {"source wholly outside", {0, 0, 3, 3}, 10, 10, 0},
      {"empty", {3, 3, 3, 5}, 0, 0, 0},
      {"inverted", {3, 3, 1, 1}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    for (bool topDown : {false, true}) {
      Guarded source(4, 4, topDown, Pixel(255, 255, 255, 255));
      Guarded destination(6, 5, !topDown, 0);
      AlphaBlendBits(&source.bits, destination.bits, c.r, c.targetX, c.targetY,
                     TBlendMode::bmConstantAlpha, 255, 0);
      int touched = 0;
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) touched += destination.At(x, y) != 0;
      EXPECT_EQ(touched, c.touched) << c.what;
      EXPECT_TRUE(source.GuardsIntact() && destination.GuardsIntact()) << c.what;
    }
  }
}

TEST(AlphaBlend, MissingBitsDrawNothing) {
  std::uint32_t d = 5;
  TBitmapBits destination{&d, 1, 1};
  AlphaBlendBits(nullptr, destination, {0, 0, 1, 1}, 0, 0, TBlendMode::bmConstantAlpha, 255, 9);
  EXPECT_EQ(d, 5u);
  // The colour mode needs no source.
  AlphaBlendBits(nullptr, destination, {0, 0, 1, 1}, 0, 0, TBlendMode::bmConstantAlphaAndColor,
                 255, 0xFFFFFF);
  EXPECT_EQ(d, Pixel(254, 254, 254, 0));  // (5 + 255 * 255) >> 8, not 255
}

TEST(AlphaBlend, MMXNeedsCpuidFamilyFiveAndFeatureBit23) {
  struct Row {
    bool hasCpuid;
    std::uint32_t signature, features;
    bool mmx;
  } const rows[] = {
      {false, 0x6F0, 0x800000, false},  // no CPUID: nothing else is asked
      {true, 0x4F, 0x800000, false},    // below 0x50
      {true, 0x50, 0x800000, true},
      {true, 0x50, 0x7FFFFF, false},    // every feature but MMX
      {true, 0xA0652, 0xFFFFFFFF, true},
  };
  for (const Row& r : rows)
    EXPECT_EQ(MMXFromProcessor(r.hasCpuid, r.signature, r.features), r.mmx)
        << r.signature << " " << r.features;
  // Every processor these builds run on has MMX; the shared answer is fixed once.
  EXPECT_TRUE(HasMMX());
  DetermineMMXAvailability();
  EXPECT_TRUE(MMXAvailable());
}

}  // namespace
}  // namespace kv
