// Blending between 32-bit device-independent bitmaps, without any window:
// the pixel work behind blended selections, rubber bands, hint shadows and
// drag images. Pixels are 32-bit words with blue, green, red and alpha bytes;
// every channel is blended alike.
#pragma once

#include <cstdint>

namespace kv {

enum class TBlendMode : std::uint8_t {
  bmConstantAlpha,          // d + (s - d) * ConstantAlpha / 256 + Bias
  bmPerPixelAlpha,          // d + (s - d) * A / 256 + Bias, A the source pixel's alpha
  bmMasterAlpha,            // as per-pixel with A := source alpha * ConstantAlpha / 256
  bmConstantAlphaAndColor,  // (d * (256 - ConstantAlpha) + colour * ConstantAlpha) / 256
};

// The bits of one DIB section. A positive height is stored bottom-up, a
// negative one top-down; rows are width * 4 bytes without padding.
struct TBitmapBits {
  std::uint32_t* bits = nullptr;
  int width = 0;
  int height = 0;
};

struct TBlendRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// The first pixel of visible row `row` (0 = top) of the bitmap.
std::uint32_t* CalculateScanline(std::uint32_t* bits, int width, int height, int row);

// Row routines over `count` pixels; results are saturated to 0..255 per channel.
void AlphaBlendLineConstant(const std::uint32_t* source, std::uint32_t* destination, int count,
                            int constantAlpha, int bias);
void AlphaBlendLinePerPixel(const std::uint32_t* source, std::uint32_t* destination, int count,
                            int bias);
void AlphaBlendLineMaster(const std::uint32_t* source, std::uint32_t* destination, int count,
                          int constantAlpha, int bias);
// `color` is an RGB colour (0x00BBGGRR).
void AlphaBlendLineMasterAndColor(std::uint32_t* destination, int count, std::uint32_t color,
                                  int constantAlpha);

// Blends rectangle `r` of the destination with the source area whose top-left
// corner is `target`. Only the part of `r` inside the destination whose
// counterpart lies inside the source is touched. `source` may be null in the
// colour mode, where `bias` is the colour; otherwise a missing source or
// destination draws nothing.
void AlphaBlendBits(const TBitmapBits* source, const TBitmapBits& destination, TBlendRect r,
                    int targetX, int targetY, TBlendMode mode, int constantAlpha, int bias);

// True when the processor can run MMX instructions: it lets the identification
// flag of the flags register be toggled (so it has CPUID), and CPUID function 1
// gives a signature of at least 0x50 and feature bit 23.
bool HasMMX();
// The decision above from the processor's answers.
bool MMXFromProcessor(bool hasCpuid, std::uint32_t signature, std::uint32_t features);

// Whether callers blend at all: process-wide, decided by HasMMX once when the
// first tree makes the shared resources, false until then, never changed afterwards.
bool MMXAvailable();
void DetermineMMXAvailability();

}  // namespace kv
