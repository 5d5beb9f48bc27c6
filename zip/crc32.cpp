#include "zip/crc32.h"

#include <array>

namespace kv {

namespace {

// Four tables: table 0 is the classic byte step; tables 1-3 let the block
// routine consume four bytes per step (the tables advance a byte through
// one, two and three further zero bytes).
using CrcTables = std::array<std::array<uint32_t, 256>, 4>;

constexpr CrcTables MakeTables() {
  CrcTables t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (int k = 1; k < 4; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
  }
  return t;
}

constexpr CrcTables kTables = MakeTables();

}  // namespace

const uint32_t* CrcTable() { return kTables[0].data(); }

uint32_t UpdateCrcBuff(uint32_t crc, std::span<const uint8_t> data) {
  const uint8_t* p = data.data();
  size_t n = data.size();
  while (n >= 4) {
    crc ^= uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    crc = kTables[3][crc & 0xFF] ^ kTables[2][(crc >> 8) & 0xFF] ^ kTables[1][(crc >> 16) & 0xFF] ^
          kTables[0][crc >> 24];
    p += 4;
    n -= 4;
  }
  while (n-- > 0) crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace kv
