#include "zip/huffman.h"

#include <algorithm>
#include <array>

namespace kv {

namespace {

uint32_t Reverse(uint32_t code, int length) {
  uint32_t r = 0;
  for (int i = 0; i < length; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

uint32_t Entry(uint32_t kind, uint32_t length, uint32_t value) { return kind << 24 | length << 16 | value; }

}  // namespace

THuffmanTable::Build THuffmanTable::Make(std::span<const uint8_t> lengths, int rootBits) {
  std::array<int, kMaxBits + 1> count{};
  maxLength_ = 0;
  for (uint8_t len : lengths) {
    if (len > kMaxBits) return Build::OverSubscribed;
    ++count[len];
    maxLength_ = std::max<int>(maxLength_, len);
  }
  count[0] = 0;
  // A root no wider than the longest code: a table of short codes costs no
  // more to build than the lengths that describe it.
  rootBits = std::clamp(maxLength_, 1, rootBits);
  rootBits_ = rootBits;
  rootMask_ = (uint64_t{1} << rootBits) - 1;
  table_.assign(size_t{1} << rootBits, Entry(kInvalid, 0, 0));
  if (maxLength_ == 0) return Build::Empty;

  int64_t left = 1;
  for (int len = 1; len <= kMaxBits; ++len) {
    left = left * 2 - count[len];
    if (left < 0) return Build::OverSubscribed;
  }

  std::array<uint32_t, kMaxBits + 2> next{};
  uint32_t code = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    code = (code + static_cast<uint32_t>(count[len - 1])) << 1;
    next[static_cast<size_t>(len)] = code;
  }

  // Reversed codes (the input arrives least significant bit first) and, per
  // root prefix, the longest code below it.
  std::vector<uint32_t>& rev = rev_;
  std::vector<uint8_t>& subBits = subBits_;
  rev.assign(lengths.size(), 0);
  subBits.assign(table_.size(), 0);
  for (size_t s = 0; s < lengths.size(); ++s) {
    const int len = lengths[s];
    if (len == 0) continue;
    rev[s] = Reverse(next[static_cast<size_t>(len)]++, len);
    if (len > rootBits) {
      uint8_t& sb = subBits[rev[s] & rootMask_];
      sb = std::max<uint8_t>(sb, static_cast<uint8_t>(len - rootBits));
    }
  }
  for (size_t prefix = 0; prefix < subBits.size(); ++prefix) {
    if (subBits[prefix] == 0) continue;
    const size_t start = table_.size();
    if (start + (size_t{1} << subBits[prefix]) > 0xFFFF) return Build::OverSubscribed;  // offsets are 16-bit
    table_[prefix] = Entry(kSub, subBits[prefix], static_cast<uint32_t>(start));
    table_.resize(start + (size_t{1} << subBits[prefix]), Entry(kInvalid, 0, 0));
  }
  for (size_t s = 0; s < lengths.size(); ++s) {
    const int len = lengths[s];
    if (len == 0) continue;
    const uint32_t value = Entry(kSymbol, static_cast<uint32_t>(len), static_cast<uint32_t>(s));
    if (len <= rootBits) {
      for (size_t i = rev[s]; i < (size_t{1} << rootBits); i += size_t{1} << len) table_[i] = value;
    } else {
      const uint32_t sub = table_[rev[s] & rootMask_];
      const size_t base = sub & 0xFFFF;
      const size_t size = size_t{1} << ((sub >> 16) & 0xFF);
      for (size_t i = rev[s] >> rootBits; i < size; i += size_t{1} << (len - rootBits)) table_[base + i] = value;
    }
  }
  return left > 0 ? Build::Incomplete : Build::Complete;
}

}  // namespace kv
