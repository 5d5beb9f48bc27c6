#pragma once
// Builders for the MP3 reader tests: ID3v2 tags frame by frame, MPEG frame
// runs, and a source that counts what the readers read.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/readers/byte_source.h"

namespace kv::mp3test {

using Bytes = std::vector<uint8_t>;

inline Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
inline Bytes Be32(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
          static_cast<uint8_t>(v)};
}
inline Bytes Syncsafe(uint32_t v) {
  return {static_cast<uint8_t>((v >> 21) & 0x7F), static_cast<uint8_t>((v >> 14) & 0x7F),
          static_cast<uint8_t>((v >> 7) & 0x7F), static_cast<uint8_t>(v & 0x7F)};
}
// UTF-16 little-endian units of a text (BMP only), without terminator.
inline Bytes Utf16le(std::u16string_view s) {
  Bytes out;
  for (char16_t c : s) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}
inline Bytes Utf16be(std::u16string_view s) {
  Bytes out;
  for (char16_t c : s) {
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c & 0xFF));
  }
  return out;
}

// A version 2.3/2.4 frame; `syncsafe` stores the size as version 2.4 asks.
inline Bytes Frame(std::string_view id, const Bytes& data, bool syncsafe = false, uint8_t flags2 = 0) {
  const auto size = static_cast<uint32_t>(data.size());
  return Cat({B(id), syncsafe ? Syncsafe(size) : Be32(size), Bytes{0, flags2}, data});
}
// A version 2.2 frame: three-letter id, 24-bit size.
inline Bytes Frame22(std::string_view id, const Bytes& data) {
  const auto n = static_cast<uint32_t>(data.size());
  return Cat({B(id), Bytes{static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)},
              data});
}
// A tag: header (version, flags, size of `body` plus `padding`), body, padding.
inline Bytes Tag(uint8_t version, const Bytes& body, size_t padding = 0, uint8_t flags = 0) {
  return Cat({B("ID3"), Bytes{version, 0, flags}, Syncsafe(static_cast<uint32_t>(body.size() + padding)), body,
              Bytes(padding, 0)});
}
// A Latin-1 text frame body.
inline Bytes Latin1(std::string_view text) { return Cat({Bytes{0}, B(text)}); }

// `count` MPEG frames of `len` bytes each starting with `header`, the rest zero.
inline Bytes Frames(Bytes header, size_t len, size_t count) {
  Bytes out;
  for (size_t i = 0; i < count; ++i) {
    Bytes f(len, 0);
    std::copy(header.begin(), header.end(), f.begin());
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

// Counts the bytes and calls the readers make.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(const Bytes& bytes) : inner_(bytes) {}
  uint64_t Size() const override { return inner_.Size(); }
  size_t ReadAt(uint64_t offset, std::span<uint8_t> buffer) override {
    const size_t n = inner_.ReadAt(offset, buffer);
    bytesRead += n;
    ++reads;
    return n;
  }
  uint64_t bytesRead = 0;
  uint64_t reads = 0;

 private:
  MemorySource inner_;
};

}  // namespace kv::mp3test
