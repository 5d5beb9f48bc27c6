#pragma once
// The bit reader and output window shared by the older decoders (unshrink,
// unreduce, explode): bits least significant first, a window that starts
// zeroed and is delivered to the output each time it fills.
#include <cstdint>
#include <vector>

#include "zip/decode_io.h"

namespace kv {

class TLegacyBits {
 public:
  explicit TLegacyBits(TDecodeInput& in) : in_(in) {}
  // Makes n (<= 32) bits available; false when the input ends first.
  bool Need(int n) {
    while (count_ < n) {
      uint8_t b = 0;
      if (!in_.NextByte(b)) return false;
      bits_ |= uint64_t{b} << count_;
      count_ += 8;
    }
    return true;
  }
  // Reads n bits into v; false when the input ends first.
  bool Read(int n, uint32_t& v) {
    if (!Need(n)) return false;
    v = static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    bits_ >>= n;
    count_ -= n;
    return true;
  }
  // Fills what the input still has, up to 40 bits, for table lookups.
  void Fill() { Need(40); }
  uint64_t Peek() const { return bits_; }
  int Count() const { return count_; }
  void Drop(int n) {
    bits_ >>= n;
    count_ -= n;
  }

 private:
  TDecodeInput& in_;
  uint64_t bits_ = 0;
  int count_ = 0;
};

// A circular window of a power-of-two size, zeroed at the start (a match
// reaching before the start of the output copies zero bytes).
class TLegacyWindow {
 public:
  TLegacyWindow(TDecodeOutput& out, uint32_t size) : out_(out), window_(size, 0), mask_(size - 1) {}
  void Put(uint8_t b) {
    window_[pos_++] = b;
    ++total_;
    if (pos_ == window_.size()) Flush();
  }
  void Copy(uint32_t distance, uint32_t length) {
    uint32_t src = (pos_ - distance) & mask_;
    while (length-- > 0) {
      Put(window_[src]);
      src = (src + 1) & mask_;
    }
  }
  void Flush() {
    if (pos_ > 0) out_.Write(std::span<const uint8_t>(window_.data(), pos_));
    pos_ = 0;
  }
  uint64_t Total() const { return total_; }

 private:
  TDecodeOutput& out_;
  std::vector<uint8_t> window_;
  uint32_t mask_;
  uint32_t pos_ = 0;
  uint64_t total_ = 0;
};

}  // namespace kv
