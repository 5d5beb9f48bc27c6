#pragma once
// A bounded reader over a block of bytes already in memory. Every read is
// checked against what remains; the first failure trips the reader, after
// which every read yields zero/empty and the reader tests false:
//
//   auto body = r.Take(r.U32le()); if (!r) return ReadError::Truncated;
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kv {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  explicit operator bool() const { return ok_; }
  size_t Remaining() const { return ok_ ? bytes_.size() - pos_ : 0; }
  size_t Position() const { return pos_; }
  bool AtEnd() const { return Remaining() == 0; }
  void Fail() { ok_ = false; }

  uint8_t U8();
  uint16_t U16le();
  uint16_t U16be();
  uint32_t U24be();
  uint32_t U32le();
  uint32_t U32be();
  uint64_t U64le();
  uint64_t U64be();
  // The next n bytes; trips the reader (and returns an empty span) when fewer remain.
  std::span<const uint8_t> Take(uint64_t n);
  // The next n bytes as a byte string.
  std::string TakeString(uint64_t n);
  void Skip(uint64_t n) { Take(n); }
  // The bytes that remain, without consuming them.
  std::span<const uint8_t> Rest() const { return ok_ ? bytes_.subspan(pos_) : std::span<const uint8_t>{}; }
  // Moves to an absolute position inside the block; trips the reader when outside.
  void Seek(uint64_t pos);

 private:
  const uint8_t* Need(size_t n);

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace kv
