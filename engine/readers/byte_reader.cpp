#include "engine/readers/byte_reader.h"

namespace kv {

const uint8_t* ByteReader::Need(size_t n) {
  if (!ok_ || n > bytes_.size() - pos_) {
    ok_ = false;
    return nullptr;
  }
  const uint8_t* p = bytes_.data() + pos_;
  pos_ += n;
  return p;
}

uint8_t ByteReader::U8() {
  const uint8_t* p = Need(1);
  return p ? p[0] : 0;
}

uint16_t ByteReader::U16le() {
  const uint8_t* p = Need(2);
  return p ? static_cast<uint16_t>(p[0] | (p[1] << 8)) : 0;
}

uint16_t ByteReader::U16be() {
  const uint8_t* p = Need(2);
  return p ? static_cast<uint16_t>((p[0] << 8) | p[1]) : 0;
}

uint32_t ByteReader::U24be() {
  const uint8_t* p = Need(3);
  return p ? (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2] : 0;
}

uint32_t ByteReader::U32le() {
  const uint8_t* p = Need(4);
  return p ? uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24) : 0;
}

uint32_t ByteReader::U32be() {
  const uint8_t* p = Need(4);
  return p ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3] : 0;
}

uint64_t ByteReader::U64le() {
  const uint64_t lo = U32le();
  const uint64_t hi = U32le();
  return ok_ ? lo | (hi << 32) : 0;
}

uint64_t ByteReader::U64be() {
  const uint64_t hi = U32be();
  const uint64_t lo = U32be();
  return ok_ ? lo | (hi << 32) : 0;
}

std::span<const uint8_t> ByteReader::Take(uint64_t n) {
  if (!ok_ || n > bytes_.size() - pos_) {
    ok_ = false;
    return {};
  }
  const uint8_t* p = Need(static_cast<size_t>(n));
  return {p, static_cast<size_t>(n)};
}

std::string ByteReader::TakeString(uint64_t n) {
  auto s = Take(n);
  return std::string(s.begin(), s.end());
}

void ByteReader::Seek(uint64_t pos) {
  if (!ok_ || pos > bytes_.size()) {
    ok_ = false;
    return;
  }
  pos_ = static_cast<size_t>(pos);
}

}  // namespace kv
