#pragma once
// Random-access bytes for the format readers: a file opened by the record
// (a Win32 file stream) or, in tests and fuzzers, a block of memory. Readers
// read only what they need through this interface, never the whole file.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kv {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Total size in bytes.
  virtual uint64_t Size() const = 0;
  // Reads up to buffer.size() bytes at offset; returns how many were read
  // (fewer only at the end of the data). Throws on an I/O error.
  virtual size_t ReadAt(uint64_t offset, std::span<uint8_t> buffer) = 0;
  // The date (local time, packed as a DOS date and time: date in the high
  // word) and the attributes of the file the bytes come from; -1 and 0 when
  // they come from no file.
  virtual int32_t FileDate() const { return -1; }
  virtual uint32_t FileAttributes() const { return 0; }

  // Reads up to `count` bytes at offset into a new vector (shorter at the end).
  // The caller bounds `count` by what it needs; the read is clipped to Size().
  std::vector<uint8_t> Read(uint64_t offset, size_t count);
};

// Bytes in memory; the source does not own them.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  size_t ReadAt(uint64_t offset, std::span<uint8_t> buffer) override;

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace kv
