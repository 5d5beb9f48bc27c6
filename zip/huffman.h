#pragma once
// Canonical prefix-code decoding tables for inflate and explode: a root
// table indexed by the next rootBits input bits (least significant first)
// and sub-tables for longer codes. Codes of up to 16 bits.
#include <cstdint>
#include <span>
#include <vector>

namespace kv {

class THuffmanTable {
 public:
  enum class Build : uint8_t { Complete, Incomplete, OverSubscribed, Empty };
  static constexpr int kMaxBits = 16;

  // Builds the table for the code lengths (0: symbol unused). Every index
  // that no code reaches decodes as invalid.
  Build Make(std::span<const uint8_t> lengths, int rootBits);

  // Looks up the code at the bottom of `bits`: the symbol and the code's
  // length, or false for an invalid code.
  bool Lookup(uint64_t bits, uint32_t& symbol, int& length) const {
    uint32_t e = table_[bits & rootMask_];
    if ((e >> 24) == kSub) {
      const uint32_t subBits = (e >> 16) & 0xFF;
      e = table_[(e & 0xFFFF) + ((bits >> rootBits_) & ((1u << subBits) - 1))];
    }
    if ((e >> 24) != kSymbol) return false;
    symbol = e & 0xFFFF;
    length = static_cast<int>((e >> 16) & 0xFF);
    return true;
  }
  int MaxLength() const { return maxLength_; }

 private:
  enum : uint32_t { kSymbol = 0, kSub = 1, kInvalid = 2 };
  std::vector<uint32_t> table_;
  // Scratch of Make, kept so that building a table again allocates nothing.
  std::vector<uint32_t> rev_;
  std::vector<uint8_t> subBits_;
  int rootBits_ = 0;
  uint64_t rootMask_ = 0;
  int maxLength_ = 0;
};

}  // namespace kv
