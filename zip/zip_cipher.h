#pragma once
// The traditional zip stream cipher, built on the CRC-32 step. The same keys
// serve both directions: the reader decrypts, the writer encrypts.
//
//   TZipKeys keys; keys.Init(password);
//   keys.DecryptBuff(header12);   // then compare header12[11] with the check byte
//   keys.DecryptBuff(data);       // the entry's data follows with the same keys
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kv {

// Size of the encryption header in front of an encrypted entry's data.
inline constexpr size_t kEncryptionHeaderSize = 12;

class TZipKeys {
 public:
  // Init_Keys: the three start keys, then UpdateKeys with each password byte.
  void Init(std::string_view password);
  // update_keys: feeds one plain byte into the keys.
  void UpdateKeys(uint8_t plain);
  // decrypt_byte: the next key-stream byte (does not advance the keys).
  uint8_t DecryptByte() const {
    const uint32_t t = (keys_[2] & 0xFFFF) | 2;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  }
  // Decrypts one byte and advances the keys with the plain byte.
  uint8_t Decrypt(uint8_t cipher) {
    const uint8_t plain = cipher ^ DecryptByte();
    UpdateKeys(plain);
    return plain;
  }
  // Encrypts one byte and advances the keys with the plain byte.
  uint8_t Encrypt(uint8_t plain) {
    const uint8_t cipher = plain ^ DecryptByte();
    UpdateKeys(plain);
    return cipher;
  }
  // In place over a whole buffer (any length).
  void DecryptBuff(std::span<uint8_t> data);
  void EncryptBuff(std::span<uint8_t> data);

 private:
  uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

// The byte the last decrypted header byte must equal: the high byte of the
// entry's DOS time when the entry has a data descriptor (flag bit 3), else
// the high byte of its CRC-32.
inline uint8_t PasswordCheckByte(uint16_t flag, uint32_t dosDateTime, uint32_t crc) {
  return (flag & 8) ? static_cast<uint8_t>((dosDateTime >> 8) & 0xFF) : static_cast<uint8_t>(crc >> 24);
}

}  // namespace kv
