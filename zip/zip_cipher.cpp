#include "zip/zip_cipher.h"

#include "zip/crc32.h"

namespace kv {

void TZipKeys::Init(std::string_view password) {
  keys_[0] = 0x12345678u;
  keys_[1] = 0x23456789u;
  keys_[2] = 0x34567890u;
  for (char c : password) UpdateKeys(static_cast<uint8_t>(c));
}

void TZipKeys::UpdateKeys(uint8_t plain) {
  keys_[0] = UpdCRC(plain, keys_[0]);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = UpdCRC(static_cast<uint8_t>(keys_[1] >> 24), keys_[2]);
}

void TZipKeys::DecryptBuff(std::span<uint8_t> data) {
  for (uint8_t& b : data) b = Decrypt(b);
}

void TZipKeys::EncryptBuff(std::span<uint8_t> data) {
  for (uint8_t& b : data) b = Encrypt(b);
}

}  // namespace kv
