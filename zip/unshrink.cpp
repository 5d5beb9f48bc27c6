// Unshrink (method 1): LZW with codes of 9 to 13 bits, code 256 as the
// control code (subcode 1 widens the codes, subcode 2 frees every code that
// is no other code's prefix), new strings taking the lowest free code.
#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "zip/decode_io.h"
#include "zip/legacy_bits.h"

namespace kv {

namespace {

constexpr int kMaxCodeBits = 13;
constexpr uint32_t kTableSize = 1u << kMaxCodeBits;  // 8192
constexpr uint32_t kControlCode = 256;
constexpr uint32_t kFirstFree = 257;
constexpr int16_t kFree = -1;

// The codes from 257 up, as bits: which are free, and which are in use with no
// other in-use code naming them as prefix (the ones a partial clear frees).
// Lookups go a word at a time, so finding the lowest free code costs at most
// 128 word tests, and a clear costs the codes it frees plus those tests.
class TCodeSet {
 public:
  void Set(uint32_t c) { words_[c >> 6] |= uint64_t{1} << (c & 63); }
  void Reset(uint32_t c) { words_[c >> 6] &= ~(uint64_t{1} << (c & 63)); }
  bool Test(uint32_t c) const { return (words_[c >> 6] >> (c & 63)) & 1; }
  // The lowest member at or above from; kTableSize when there is none.
  uint32_t NextFrom(uint32_t from) const {
    if (from >= kTableSize) return kTableSize;
    size_t w = from >> 6;
    uint64_t word = words_[w] & (~uint64_t{0} << (from & 63));
    while (word == 0) {
      if (++w == kWords) return kTableSize;
      word = words_[w];
    }
    return static_cast<uint32_t>(w * 64 + static_cast<size_t>(std::countr_zero(word)));
  }

 private:
  static constexpr size_t kWords = kTableSize / 64;
  std::array<uint64_t, kWords> words_{};
};

}  // namespace

TDecodeResult Unshrink(TDecodeInput& in, TDecodeOutput& out) {
  TLegacyBits bits(in);
  std::vector<int16_t> prefix(kTableSize, kFree);  // kFree: code not in use
  std::vector<uint8_t> suffix(kTableSize, 0);
  for (uint32_t c = 0; c < 256; ++c) suffix[c] = static_cast<uint8_t>(c);
  // How many codes in use name each code as their prefix. A freed code may
  // still be named by codes added while it was free; those links count too,
  // so a code that takes such a slot again keeps them.
  std::vector<uint16_t> children(kTableSize, 0);
  TCodeSet freeCodes;
  TCodeSet leaves;
  for (uint32_t c = kFirstFree; c < kTableSize; ++c) freeCodes.Set(c);
  std::vector<uint32_t> freed;
  std::vector<uint8_t> buffer;
  buffer.reserve(16000);
  auto inUse = [&](uint32_t code) { return code < 256 || (code >= kFirstFree && prefix[code] != kFree); };
  // The string of a code; false for a broken or looping chain.
  std::vector<uint8_t> str;
  auto expand = [&](uint32_t code) {
    str.clear();
    while (code >= kFirstFree) {
      if (str.size() >= kTableSize || prefix[code] == kFree) return false;
      str.push_back(suffix[code]);
      code = static_cast<uint32_t>(prefix[code]);
    }
    if (code >= 256) return false;
    str.push_back(static_cast<uint8_t>(code));
    std::reverse(str.begin(), str.end());
    return true;
  };

  int codeBits = 9;
  uint32_t nextFree = kFirstFree;
  int64_t oldCode = -1;
  uint8_t finChar = 0;
  for (;;) {
    uint32_t code = 0;
    if (!bits.Read(codeBits, code)) break;  // the input's end ends the data
    if (code == kControlCode) {
      uint32_t sub = 0;
      if (!bits.Read(codeBits, sub)) break;
      if (sub == 1) {
        if (++codeBits > kMaxCodeBits) return TDecodeResult::BadData;
      } else if (sub == 2) {
        // Frees every code that no code in use names as prefix, all at
        // once: a prefix whose last child goes now is freed by the next clear.
        freed.clear();
        for (uint32_t c = leaves.NextFrom(kFirstFree); c < kTableSize; c = leaves.NextFrom(c + 1)) freed.push_back(c);
        for (uint32_t c : freed) {
          const uint32_t parent = static_cast<uint32_t>(prefix[c]);
          prefix[c] = kFree;
          leaves.Reset(c);
          freeCodes.Set(c);
          if (--children[parent] == 0 && parent >= kFirstFree && prefix[parent] != kFree) leaves.Set(parent);
        }
        if (!freed.empty()) nextFree = std::min(nextFree, freed.front());
      } else {
        return TDecodeResult::BadData;
      }
      continue;
    }
    if (oldCode < 0) {  // the first code is a byte
      if (code >= 256) return TDecodeResult::BadData;
      buffer.push_back(static_cast<uint8_t>(code));
      oldCode = code;
      finChar = static_cast<uint8_t>(code);
      continue;
    }
    if (inUse(code)) {
      if (!expand(code)) return TDecodeResult::BadData;
    } else {
      // Not yet defined: the previous string plus its own first byte.
      if (!expand(static_cast<uint32_t>(oldCode))) return TDecodeResult::BadData;
      str.push_back(str.front());
    }
    finChar = str.front();
    for (uint8_t b : str) {
      buffer.push_back(b);
      if (buffer.size() >= 16000) {
        out.Write(buffer);
        buffer.clear();
      }
    }
    if (nextFree < kTableSize) {
      const uint32_t parent = static_cast<uint32_t>(oldCode);
      prefix[nextFree] = static_cast<int16_t>(oldCode);
      suffix[nextFree] = finChar;
      freeCodes.Reset(nextFree);
      if (children[nextFree] == 0) leaves.Set(nextFree);
      if (children[parent]++ == 0 && parent >= kFirstFree) leaves.Reset(parent);
      nextFree = freeCodes.NextFrom(nextFree + 1);
    }
    oldCode = code;
  }
  if (!buffer.empty()) out.Write(buffer);
  return TDecodeResult::Ok;
}

}  // namespace kv
