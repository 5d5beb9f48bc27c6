// Unreduce (methods 2-5): follower sets per previous byte, then a byte
// stream in which 144 escapes a match (length and distance packed by the
// reduction factor) or, followed by 0, stands for itself.
#include <algorithm>
#include <array>

#include "zip/decode_io.h"
#include "zip/legacy_bits.h"

namespace kv {

namespace {

constexpr uint8_t kMarker = 144;
constexpr uint32_t kReduceWindow = 16384;

// Bits needed to send an index into a follower set of n bytes (n >= 1).
int FollowerBits(uint32_t n) {
  int bits = 1;
  while ((1u << bits) < n) ++bits;
  return bits;
}

}  // namespace

TDecodeResult Unreduce(TDecodeInput& in, TDecodeOutput& out, int factor, uint64_t uncompressedSize) {
  if (factor < 1 || factor > 4) return TDecodeResult::BadData;
  TLegacyBits bits(in);
  std::array<std::array<uint8_t, 64>, 256> followers{};
  std::array<uint8_t, 256> counts{};
  for (int c = 255; c >= 0; --c) {
    uint32_t n = 0;
    if (!bits.Read(6, n)) return TDecodeResult::Truncated;
    counts[static_cast<size_t>(c)] = static_cast<uint8_t>(n);
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t b = 0;
      if (!bits.Read(8, b)) return TDecodeResult::Truncated;
      followers[static_cast<size_t>(c)][i] = static_cast<uint8_t>(b);
    }
  }

  const uint32_t lengthMask = 0xFFu >> factor;  // 127, 63, 31, 15
  TLegacyWindow window(out, kReduceWindow);
  uint8_t last = 0;
  int state = 0;
  uint32_t v = 0, length = 0;
  while (window.Total() < uncompressedSize) {
    uint32_t c = 0;
    const uint32_t n = counts[last];
    if (n == 0) {
      if (!bits.Read(8, c)) return TDecodeResult::Truncated;
    } else {
      uint32_t literal = 0;
      if (!bits.Read(1, literal)) return TDecodeResult::Truncated;
      if (literal) {
        if (!bits.Read(8, c)) return TDecodeResult::Truncated;
      } else {
        uint32_t index = 0;
        if (!bits.Read(FollowerBits(n), index)) return TDecodeResult::Truncated;
        if (index >= n) return TDecodeResult::BadData;
        c = followers[last][index];
      }
    }
    last = static_cast<uint8_t>(c);
    switch (state) {
      case 0:
        if (c != kMarker) {
          window.Put(static_cast<uint8_t>(c));
        } else {
          state = 1;
        }
        break;
      case 1:
        if (c == 0) {
          window.Put(kMarker);
          state = 0;
        } else {
          v = c;
          length = v & lengthMask;
          state = length == lengthMask ? 2 : 3;
        }
        break;
      case 2:
        length += c;
        state = 3;
        break;
      default: {
        const uint32_t distance = ((v >> (8 - factor)) << 8) + c + 1;
        uint64_t count = length + 3;
        count = std::min<uint64_t>(count, uncompressedSize - window.Total());
        window.Copy(distance, static_cast<uint32_t>(count));
        state = 0;
        break;
      }
    }
  }
  window.Flush();
  return TDecodeResult::Ok;
}

}  // namespace kv
