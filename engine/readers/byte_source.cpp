#include "engine/readers/byte_source.h"

#include <algorithm>
#include <cstring>

namespace kv {

std::vector<uint8_t> ByteSource::Read(uint64_t offset, size_t count) {
  const uint64_t size = Size();
  if (offset >= size) return {};
  const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size - offset));
  std::vector<uint8_t> out(n);
  out.resize(ReadAt(offset, out));
  return out;
}

size_t MemorySource::ReadAt(uint64_t offset, std::span<uint8_t> buffer) {
  if (offset >= bytes_.size()) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), bytes_.size() - offset));
  if (n > 0) std::memcpy(buffer.data(), bytes_.data() + offset, n);
  return n;
}

}  // namespace kv
