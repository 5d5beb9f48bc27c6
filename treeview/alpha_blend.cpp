#include "treeview/alpha_blend.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace kv {
namespace {

// ">> 8" of a signed product floors toward minus infinity (-1 * 255 gives -1),
// as the arithmetic shift of the blend formulas does.
constexpr int Shift8(int value) { return value >> 8; }

constexpr std::uint32_t Saturate(int value) {
  return static_cast<std::uint32_t>(std::clamp(value, 0, 255));
}

int Channel(std::uint32_t pixel, int index) {
  return static_cast<int>((pixel >> (8 * index)) & 0xFF);
}

std::uint32_t BlendPixel(std::uint32_t s, std::uint32_t d, int alpha, int bias) {
  std::uint32_t result = 0;
  for (int c = 0; c < 4; ++c) {
    const int dc = Channel(d, c);
    result |= Saturate(dc + Shift8((Channel(s, c) - dc) * alpha) + bias) << (8 * c);
  }
  return result;
}

std::atomic<bool> mmxAvailable{false};

// Toggles the identification flag (bit 21) of the flags register and answers
// whether the change stuck.
bool IdentificationFlagToggles() {
#if defined(__x86_64__) || defined(__i386__)
  std::uintptr_t before = 0, after = 0;
  __asm__ volatile(
      "pushf\n\t"
      "pop %0\n\t"
      "mov %0, %1\n\t"
      "xor $0x200000, %1\n\t"
      "push %1\n\t"
      "popf\n\t"
      "pushf\n\t"
      "pop %1\n\t"
      "push %0\n\t"
      "popf\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000) != 0;
#else
  return false;
#endif
}

}  // namespace

std::uint32_t* CalculateScanline(std::uint32_t* bits, int width, int height, int row) {
  const long long index = height > 0 ? static_cast<long long>(height) - row - 1 : row;
  return bits + index * width;
}

void AlphaBlendLineConstant(const std::uint32_t* source, std::uint32_t* destination, int count,
                            int constantAlpha, int bias) {
  for (int i = 0; i < count; ++i)
    destination[i] = BlendPixel(source[i], destination[i], constantAlpha, bias);
}

void AlphaBlendLinePerPixel(const std::uint32_t* source, std::uint32_t* destination, int count,
                            int bias) {
  for (int i = 0; i < count; ++i)
    destination[i] = BlendPixel(source[i], destination[i], Channel(source[i], 3), bias);
}

void AlphaBlendLineMaster(const std::uint32_t* source, std::uint32_t* destination, int count,
                          int constantAlpha, int bias) {
  for (int i = 0; i < count; ++i) {
    const int alpha = Shift8(Channel(source[i], 3) * constantAlpha);
    destination[i] = BlendPixel(source[i], destination[i], alpha, bias);
  }
}

void AlphaBlendLineMasterAndColor(std::uint32_t* destination, int count, std::uint32_t color,
                                  int constantAlpha) {
  // The colour comes as red, green, blue from the low byte up; pixels hold
  // blue, green, red, alpha. Its alpha byte is 0.
  const std::uint32_t pixelColor =
      ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
  for (int i = 0; i < count; ++i) {
    std::uint32_t result = 0;
    for (int c = 0; c < 4; ++c) {
      const int value = Shift8(Channel(destination[i], c) * (256 - constantAlpha) +
                               Channel(pixelColor, c) * constantAlpha);
      result |= Saturate(value) << (8 * c);
    }
    destination[i] = result;
  }
}

void AlphaBlendBits(const TBitmapBits* source, const TBitmapBits& destination, TBlendRect r,
                    int targetX, int targetY, TBlendMode mode, int constantAlpha, int bias) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  const bool colorMode = mode == TBlendMode::bmConstantAlphaAndColor;
  if (!destination.bits || (!colorMode && (!source || !source->bits))) return;
  constantAlpha = std::clamp(constantAlpha, 0, 255);

  // Source pixel of destination (x, y) is (x + dx, y + dy). R is cut to the
  // destination and, moved by that offset, to the source: a band dragged past
  // the edge or a shadow at the desktop border must not reach outside either.
  const long long dx = static_cast<long long>(targetX) - r.left;
  const long long dy = static_cast<long long>(targetY) - r.top;
  long long left = std::max(r.left, 0), top = std::max(r.top, 0);
  long long right = std::min(r.right, destination.width);
  long long bottom = std::min<long long>(r.bottom, std::abs(static_cast<long long>(destination.height)));
  if (!colorMode) {
    left = std::max(left, -dx);
    top = std::max(top, -dy);
    right = std::min(right, source->width - dx);
    bottom = std::min(bottom, std::abs(static_cast<long long>(source->height)) - dy);
  }
  if (right <= left || bottom <= top) return;

  const int count = static_cast<int>(right - left);
  for (long long y = top; y < bottom; ++y) {
    std::uint32_t* d = CalculateScanline(destination.bits, destination.width, destination.height,
                                         static_cast<int>(y)) + left;
    if (colorMode) {
      AlphaBlendLineMasterAndColor(d, count, static_cast<std::uint32_t>(bias), constantAlpha);
      continue;
    }
    const std::uint32_t* s = CalculateScanline(source->bits, source->width, source->height,
                                               static_cast<int>(y + dy)) + left + dx;
    switch (mode) {
      case TBlendMode::bmConstantAlpha:
        AlphaBlendLineConstant(s, d, count, constantAlpha, bias);
        break;
      case TBlendMode::bmPerPixelAlpha:
        AlphaBlendLinePerPixel(s, d, count, bias);
        break;
      case TBlendMode::bmMasterAlpha:
        AlphaBlendLineMaster(s, d, count, constantAlpha, bias);
        break;
      case TBlendMode::bmConstantAlphaAndColor:
        break;
    }
  }
}

bool MMXFromProcessor(bool hasCpuid, std::uint32_t signature, std::uint32_t features) {
  return hasCpuid && signature >= 0x50 && (features & 0x800000) != 0;
}

bool HasMMX() {
  if (!IdentificationFlagToggles()) return false;
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return MMXFromProcessor(true, eax, edx);
#else
  return false;
#endif
}

bool MMXAvailable() { return mmxAvailable.load(std::memory_order_relaxed); }

void DetermineMMXAvailability() {
  static const bool decided = [] {
    mmxAvailable.store(HasMMX(), std::memory_order_relaxed);
    return true;
  }();
  (void)decided;
}

}  // namespace kv
