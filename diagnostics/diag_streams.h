#pragma once
// Read-mostly streams over memory: the base the diagnostics streams share, and
// a read-only stream over a block that the caller owns and keeps alive.
#include <cstdint>
#include <span>

namespace kv {

class TDiagMemoryStream {
 public:
  TDiagMemoryStream() = default;
  TDiagMemoryStream(const TDiagMemoryStream&) = delete;
  TDiagMemoryStream& operator=(const TDiagMemoryStream&) = delete;
  virtual ~TDiagMemoryStream() = default;

  const uint8_t* Memory() const noexcept { return memory_; }
  uint64_t Size() const noexcept { return size_; }
  std::span<const uint8_t> Bytes() const noexcept { return {memory_, static_cast<size_t>(size_)}; }
  uint64_t Position() const noexcept { return position_; }
  // Moves the position; a position past the end reads nothing.
  void Seek(uint64_t position) noexcept { position_ = position; }
  // Copies up to count bytes from the position on and advances; returns the count copied.
  size_t Read(void* buffer, size_t count) noexcept;
  virtual size_t Write(const void* buffer, size_t count) = 0;

 protected:
  void SetMemory(uint8_t* memory, uint64_t size) noexcept {
    memory_ = memory;
    size_ = size;
    position_ = 0;
  }
  uint8_t* MutableMemory() const noexcept { return memory_; }

 private:
  uint8_t* memory_ = nullptr;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
};

// True when size bytes from block lie in readable memory of the process
// (always for 0 bytes).
bool DiagBlockReadable(const void* block, uint64_t size);

// A read-only stream over the caller's block; writing throws EDiagError
// "Can not write to a read-only memory stream".
class TDiagReferenceMemoryStream : public TDiagMemoryStream {
 public:
  // A block that cannot be read for size bytes is a programming error:
  // std::logic_error here, not a fault at the first read.
  TDiagReferenceMemoryStream(const void* block, uint64_t size);
  size_t Write(const void* buffer, size_t count) override;
};

}  // namespace kv
