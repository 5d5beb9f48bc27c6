#pragma once
// MD5 digests (RFC 1321) of a byte buffer or string; the file input lives in
// md5_win.cpp. Used for the translation keys.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kv {

class TCrMD5 {
 public:
  TCrMD5() { MD5_Initialize(); }
  // Starts a new digest with the standard initial words.
  void MD5_Initialize();
  // Adds bytes to the digest; may be called repeatedly.
  void Update(std::span<const uint8_t> bytes);
  // Pads, finishes and returns the 16 digest bytes (A, B, C, D, low byte first).
  std::array<uint8_t, 16> MD5_Finish();

 private:
  void Block(const uint8_t* block);

  uint32_t state_[4] = {};
  uint8_t buffer_[64] = {};
  uint64_t length_ = 0;  // bytes so far
};

// The digest of a byte buffer.
std::array<uint8_t, 16> Md5Of(std::span<const uint8_t> bytes);
// The 16-byte digest of a text's bytes, as a string of 16 characters.
std::string GetMD5(std::string_view text);

}  // namespace kv
