#pragma once
// What the entry decoders read from and write to. The input hands out an
// entry's raw bytes (already decrypted) block by block; the decoders never
// read beyond them. The output takes decoded bytes in runs; it may throw
// (EBiggerThanUncompressed when an entry grows past its size or the
// caller's cap), which ends the decoding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kv {

class TDecodeInput {
 public:
  virtual ~TDecodeInput() = default;
  // The next byte; false at the end of the entry's bytes.
  bool NextByte(uint8_t& b) {
    if (cur_ == end_ && !Refill()) return false;
    b = *cur_++;
    return true;
  }
  // Up to max bytes of the current block (refilled when empty); empty at the end.
  std::span<const uint8_t> NextBlock(size_t max = SIZE_MAX) {
    if (cur_ == end_ && !Refill()) return {};
    const size_t n = std::min<size_t>(max, static_cast<size_t>(end_ - cur_));
    std::span<const uint8_t> block(cur_, n);
    cur_ += n;
    return block;
  }

 protected:
  // Makes cur_..end_ a new non-empty block; false at the end of the input.
  virtual bool Refill() = 0;
  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;
};

// Input from a block of memory the caller keeps alive.
class TSpanInput : public TDecodeInput {
 public:
  explicit TSpanInput(std::span<const uint8_t> bytes) : bytes_(bytes) {}

 protected:
  bool Refill() override {
    if (done_ || bytes_.empty()) return false;
    done_ = true;
    cur_ = bytes_.data();
    end_ = cur_ + bytes_.size();
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
  bool done_ = false;
};

class TDecodeOutput {
 public:
  virtual ~TDecodeOutput() = default;
  virtual void Write(std::span<const uint8_t> bytes) = 0;
};

// Output into a vector, refusing (EBiggerThanUncompressed) to grow past cap.
class TVectorOutput : public TDecodeOutput {
 public:
  explicit TVectorOutput(size_t cap) : cap_(cap) {}
  void Write(std::span<const uint8_t> bytes) override;
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  size_t cap_;
  std::vector<uint8_t> bytes_;
};

// Results of the decoders.
enum class TDecodeResult {
  Ok = 0,
  BadData = 1,      // bad stored length, bad counts or repeat, incomplete code, invalid code, distance too
                    // far back, a run of empty dynamic blocks, too many dynamic blocks for the output
  BadTable = 2,     // unknown block type, over-subscribed code
  OutOfMemory = 3,
  BadTree = 4,      // implode tree that does not add up
  Truncated = 5,    // the entry's bytes ended before the data did
};

// Method 8: raw deflate data (RFC 1951).
TDecodeResult Inflate(TDecodeInput& in, TDecodeOutput& out);
// Method 1: dynamic LZW with partial clearing.
TDecodeResult Unshrink(TDecodeInput& in, TDecodeOutput& out);
// Methods 2-5 (factor = method - 1), ending after uncompressedSize bytes.
TDecodeResult Unreduce(TDecodeInput& in, TDecodeOutput& out, int factor, uint64_t uncompressedSize);
// Method 6; flag bit 1: 8 KB window, bit 2: literal tree and 3-byte minimum
// match. Ends after uncompressedSize bytes.
TDecodeResult Explode(TDecodeInput& in, TDecodeOutput& out, uint16_t flag, uint64_t compressedSize,
                      uint64_t uncompressedSize);

}  // namespace kv
