// Explode (method 6): up to three prefix-code trees sent as runs of code
// lengths (literals, lengths, distances), codes sent with their bits
// inverted, and matches into a 4 KB or 8 KB window.
#include <algorithm>
#include <array>

#include "zip/decode_io.h"
#include "zip/huffman.h"
#include "zip/legacy_bits.h"

namespace kv {

namespace {

constexpr uint32_t kExplodeWindow = 32768;

// Reads a tree of `size` code lengths; false when its runs overflow or do
// not add up, or when the code is not complete.
TDecodeResult ReadTree(TLegacyBits& bits, int size, int rootBits, THuffmanTable& table) {
  uint32_t bytes = 0;
  if (!bits.Read(8, bytes)) return TDecodeResult::Truncated;
  ++bytes;
  std::array<uint8_t, 256> lengths{};
  int k = 0;
  for (uint32_t i = 0; i < bytes; ++i) {
    uint32_t b = 0;
    if (!bits.Read(8, b)) return TDecodeResult::Truncated;
    const int count = static_cast<int>(b >> 4) + 1;
    const auto len = static_cast<uint8_t>((b & 15) + 1);
    if (count > size - k) return TDecodeResult::BadTree;
    for (int j = 0; j < count; ++j) lengths[static_cast<size_t>(k++)] = len;
  }
  if (k != size) return TDecodeResult::BadTree;
  const auto built = table.Make(std::span<const uint8_t>(lengths.data(), static_cast<size_t>(size)), rootBits);
  if (built != THuffmanTable::Build::Complete) return TDecodeResult::BadTree;
  return TDecodeResult::Ok;
}

// Decodes one symbol of an inverted-bit tree.
bool DecodeInverted(TLegacyBits& bits, const THuffmanTable& table, uint32_t& symbol, TDecodeResult& result) {
  bits.Fill();
  int len = 0;
  if (!table.Lookup(~bits.Peek(), symbol, len) || len > bits.Count()) {
    result = TDecodeResult::Truncated;  // complete trees: only missing input fails
    return false;
  }
  bits.Drop(len);
  return true;
}

}  // namespace

TDecodeResult Explode(TDecodeInput& in, TDecodeOutput& out, uint16_t flag, uint64_t compressedSize,
                      uint64_t uncompressedSize) {
  const bool bigWindow = (flag & 2) != 0;
  const bool literalTree = (flag & 4) != 0;
  const int distLowBits = bigWindow ? 7 : 6;
  const uint32_t minMatch = literalTree ? 3 : 2;
  TLegacyBits bits(in);
  THuffmanTable lit, len, dist;
  TDecodeResult r = TDecodeResult::Ok;
  if (literalTree && (r = ReadTree(bits, 256, 9, lit)) != TDecodeResult::Ok) return r;
  if ((r = ReadTree(bits, 64, 7, len)) != TDecodeResult::Ok) return r;
  if ((r = ReadTree(bits, 64, compressedSize > 200000 ? 8 : 7, dist)) != TDecodeResult::Ok) return r;

  TLegacyWindow window(out, kExplodeWindow);
  while (window.Total() < uncompressedSize) {
    uint32_t isLiteral = 0;
    if (!bits.Read(1, isLiteral)) return TDecodeResult::Truncated;
    if (isLiteral) {
      uint32_t b = 0;
      if (literalTree) {
        if (!DecodeInverted(bits, lit, b, r)) return r;
      } else if (!bits.Read(8, b)) {
        return TDecodeResult::Truncated;
      }
      window.Put(static_cast<uint8_t>(b));
      continue;
    }
    uint32_t low = 0, high = 0, l = 0;
    if (!bits.Read(distLowBits, low)) return TDecodeResult::Truncated;
    if (!DecodeInverted(bits, dist, high, r)) return r;
    if (!DecodeInverted(bits, len, l, r)) return r;
    if (l == 63) {
      uint32_t more = 0;
      if (!bits.Read(8, more)) return TDecodeResult::Truncated;
      l += more;
    }
    const uint32_t distance = ((high << distLowBits) | low) + 1;
    uint64_t count = l + minMatch;
    count = std::min<uint64_t>(count, uncompressedSize - window.Total());
    window.Copy(distance, static_cast<uint32_t>(count));
  }
  window.Flush();
  return TDecodeResult::Ok;
}

}  // namespace kv
