#pragma once
// A bounded little-endian view over bytes that the diagnostics readers parse.
// Every read names its offset and fails (std::nullopt) instead of leaving the
// view; offsets and counts are 64-bit so that no sum wraps.
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace kv {

class ByteView {
 public:
  ByteView() = default;
  explicit ByteView(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  ByteView(const void* data, size_t size) : bytes_(static_cast<const uint8_t*>(data), size) {}

  const uint8_t* Data() const noexcept { return bytes_.data(); }
  uint64_t Size() const noexcept { return bytes_.size(); }
  bool Has(uint64_t offset, uint64_t count) const noexcept {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  // The part [offset, offset + count), or an empty view when it does not fit.
  std::optional<ByteView> Sub(uint64_t offset, uint64_t count) const noexcept {
    if (!Has(offset, count)) return std::nullopt;
    return ByteView(bytes_.subspan(static_cast<size_t>(offset), static_cast<size_t>(count)));
  }
  std::optional<uint8_t> U8(uint64_t offset) const noexcept { return Read<uint8_t>(offset); }
  std::optional<uint16_t> U16(uint64_t offset) const noexcept { return Read<uint16_t>(offset); }
  std::optional<uint32_t> U32(uint64_t offset) const noexcept { return Read<uint32_t>(offset); }
  std::optional<uint64_t> U64(uint64_t offset) const noexcept { return Read<uint64_t>(offset); }
  // The zero-terminated text at offset, at most maxLength characters before
  // the zero; nullopt when no zero comes within the view and the limit.
  std::optional<std::string_view> CString(uint64_t offset, uint64_t maxLength) const noexcept {
    if (offset >= bytes_.size()) return std::nullopt;
    const uint64_t room = bytes_.size() - offset;
    const uint64_t limit = room < maxLength + 1 ? room : maxLength + 1;
    const auto* start = reinterpret_cast<const char*>(bytes_.data() + offset);
    const void* zero = std::memchr(start, 0, static_cast<size_t>(limit));
    if (zero == nullptr) return std::nullopt;
    return std::string_view(start, static_cast<size_t>(static_cast<const char*>(zero) - start));
  }

 private:
  template <class T>
  std::optional<T> Read(uint64_t offset) const noexcept {
    if (!Has(offset, sizeof(T))) return std::nullopt;
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
      value = static_cast<T>(value | static_cast<T>(static_cast<T>(bytes_[static_cast<size_t>(offset) + i]) << (8 * i)));
    }
    return value;
  }

  std::span<const uint8_t> bytes_;
};

}  // namespace kv
