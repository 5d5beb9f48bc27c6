#pragma once
// Byte builders for the reader tests (ID3v2 tags, MPEG frame runs, integers
// of either byte order) and sources that count, pad or fail.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/readers/byte_source.h"
#include "engine/readers/reader_results.h"

namespace kv {

// Faults print by name in test failures.
inline void PrintTo(ReadFault fault, std::ostream* os) { *os << ReadFaultText(fault); }

}  // namespace kv

namespace kv::readtest {

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
inline Bytes Syncsafe(uint32_t v) {
  return {static_cast<uint8_t>((v >> 21) & 0x7F), static_cast<uint8_t>((v >> 14) & 0x7F),
          static_cast<uint8_t>((v >> 7) & 0x7F), static_cast<uint8_t>(v & 0x7F)};
}
// UTF-16 units of a text (BMP only), without terminator.
inline Bytes Utf16(std::u16string_view s, bool bigEndian = false) {
  Bytes out;
  for (char16_t c : s) {
    const Bytes unit = bigEndian ? Be(c, 2) : Le(c, 2);
    out.insert(out.end(), unit.begin(), unit.end());
  }
  return out;
}

// A version 2.3/2.4 frame; `syncsafe` stores the size as version 2.4 asks.
inline Bytes Frame(std::string_view id, const Bytes& data, bool syncsafe = false, uint8_t flags2 = 0) {
  const auto size = static_cast<uint32_t>(data.size());
  return Cat({B(id), syncsafe ? Syncsafe(size) : Be(size, 4), Bytes{0, flags2}, data});
}
// A version 2.2 frame: three-letter id, 24-bit size.
inline Bytes Frame22(std::string_view id, const Bytes& data) { return Cat({B(id), Be(data.size(), 3), data}); }
// A tag: header (version, flags, size of `body` plus `padding`), body, padding.
inline Bytes Tag(uint8_t version, const Bytes& body, size_t padding = 0, uint8_t flags = 0) {
  return Cat({B("ID3"), Bytes{version, 0, flags}, Syncsafe(static_cast<uint32_t>(body.size() + padding)), body,
              Zeros(padding)});
}
// A Latin-1 text frame body.
inline Bytes Latin1(std::string_view text) { return Cat({Bytes{0}, B(text)}); }

// A 128-byte ID3v1 block: the given title and artist, album "Album", year
// "1999", comment "Comment", then bytes 125 to 127 (track marker, track, genre).
inline Bytes Id3v1Block(std::string_view title, std::string_view artist, uint8_t b125, uint8_t b126, uint8_t genre) {
  auto field = [](std::string_view text, size_t n) {
    Bytes b = B(text.substr(0, n));
    b.resize(n, 0);
    return b;
  };
  return Cat({B("TAG"), field(title, 30), field(artist, 30), field("Album", 30), B("1999"), field("Comment", 28),
              Bytes{b125, b126, genre}});
}

// MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo: 417-byte frames.
inline const Bytes kHdr128 = {0xFF, 0xFB, 0x90, 0x40};
// `count` MPEG frames of `len` bytes each starting with `header`, the rest zero.
inline Bytes Frames(const Bytes& header, size_t len, size_t count) {
  Bytes out;
  for (size_t i = 0; i < count; ++i) {
    out.insert(out.end(), header.begin(), header.end());
    out.resize(out.size() + len - header.size(), 0);
  }
  return out;
}

// Counts the bytes and calls the readers ask of the source underneath.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(ByteSource& inner) : inner_(inner) {}
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
  ByteSource& inner_;
};

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

}  // namespace kv::readtest
