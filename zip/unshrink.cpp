// Unshrink (method 1): LZW with codes of 9 to 13 bits, code 256 as the
// control code (subcode 1 widens the codes, subcode 2 frees every code that
// is no other code's prefix), new strings taking the lowest free code.
#include <algorithm>
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

}  // namespace

TDecodeResult Unshrink(TDecodeInput& in, TDecodeOutput& out) {
  TLegacyBits bits(in);
  std::vector<int16_t> prefix(kTableSize, kFree);  // kFree: code not in use
  std::vector<uint8_t> suffix(kTableSize, 0);
  for (uint32_t c = 0; c < 256; ++c) suffix[c] = static_cast<uint8_t>(c);
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
        std::vector<bool> isPrefix(kTableSize, false);
        for (uint32_t c = kFirstFree; c < kTableSize; ++c) {
          if (prefix[c] != kFree) isPrefix[static_cast<size_t>(prefix[c])] = true;
        }
        for (uint32_t c = kFirstFree; c < kTableSize; ++c) {
          if (!isPrefix[c]) prefix[c] = kFree;
        }
        nextFree = kFirstFree;
        while (nextFree < kTableSize && prefix[nextFree] != kFree) ++nextFree;
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
      prefix[nextFree] = static_cast<int16_t>(oldCode);
      suffix[nextFree] = finChar;
      while (++nextFree < kTableSize && prefix[nextFree] != kFree) {
      }
    }
    oldCode = code;
  }
  if (!buffer.empty()) out.Write(buffer);
  return TDecodeResult::Ok;
}

}  // namespace kv
