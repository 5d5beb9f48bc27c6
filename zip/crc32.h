#pragma once
// CRC-32 of the zip format (reflected polynomial 0xEDB88320). The register is
// preloaded with 0xFFFFFFFF and complemented at the end by the caller:
//
//   uint32_t reg = kCrcInit; reg = UpdateCrcBuff(reg, data); crc = ~reg;
#include <cstddef>
#include <cstdint>
#include <span>

namespace kv {

inline constexpr uint32_t kCrcInit = 0xFFFFFFFFu;

// The 256-entry table of one CRC step.
const uint32_t* CrcTable();

// One table step: the register after feeding one byte.
inline uint32_t UpdCRC(uint8_t byte, uint32_t crc) {
  return CrcTable()[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

// The register after feeding every byte of data.
uint32_t UpdateCrcBuff(uint32_t crc, std::span<const uint8_t> data);

// The finished CRC-32 of a block (preload and complement included).
inline uint32_t Crc32(std::span<const uint8_t> data) { return ~UpdateCrcBuff(kCrcInit, data); }

}  // namespace kv
