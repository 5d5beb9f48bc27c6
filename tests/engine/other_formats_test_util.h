#pragma once
// Builders for the WMA, Ogg Vorbis, FLAC and M4A reader tests, and sources
// that fail or count what the readers read.
#include "engine/readers/byte_source.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kv::oftest {

using Bytes = std::vector<uint8_t>;

inline Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
inline Bytes Zeros(size_t n) { return Bytes(n, 0); }
inline Bytes Le(uint64_t v, int bytes) {
  Bytes out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}
inline Bytes Be(uint64_t v, int bytes) {
  Bytes out;
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}
inline std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The data followed by zero bytes up to `size`, counting the bytes handed out:
// a large file without the memory.
class PaddedSource final : public ByteSource {
 public:
  PaddedSource(Bytes data, uint64_t size) : data_(std::move(data)), size_(size) {}
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, std::span<uint8_t> buffer) override {
    if (offset >= size_) return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size_ - offset));
    for (size_t i = 0; i < n; ++i) buffer[i] = offset + i < data_.size() ? data_[offset + i] : 0;
    bytesRead += n;
    return n;
  }
  uint64_t bytesRead = 0;

 private:
  Bytes data_;
  uint64_t size_;
};

// A source whose every read fails, as a file on a vanished medium.
class FailingSource final : public ByteSource {
 public:
  uint64_t Size() const override { return 1 << 20; }
  size_t ReadAt(uint64_t, std::span<uint8_t>) override { throw std::runtime_error("read error"); }
};

}  // namespace kv::oftest
