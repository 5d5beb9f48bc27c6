#pragma once
// MD5 digests (RFC 1321) of a file, a byte buffer or a string. Used for the
// translation keys.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace kv {

// What a digest runs over.
enum : uint8_t { kMd5InputFile = 0, kMd5InputBuffer = 1, kMd5InputString = 2 };

// One digest: choose the input and its kind, point OutputDigest at the
// caller's 16 bytes, then MD5_Initialize, MD5_Hash and MD5_Finish. The
// inputs are not copied: they must live until MD5_Hash returns.
class TCrMD5 {
 public:
  uint8_t InputType = kMd5InputString;
  std::filesystem::path InputFilePath;  // kMd5InputFile, read in blocks of 4096 bytes
  std::span<const uint8_t> InputBuffer;  // kMd5InputBuffer
  std::string_view InputString;          // kMd5InputString
  uint8_t* OutputDigest = nullptr;       // 16 bytes

  // The standard initial words.
  void MD5_Initialize();
  // Runs the digest of the chosen input, padding and length included. False
  // (and the words as initialised) when the file cannot be opened or read,
  // or the kind is none of the three.
  bool MD5_Hash();
  // Copies the four words A, B, C, D, each low byte first, into OutputDigest.
  void MD5_Finish();

 private:
  void Update(std::span<const uint8_t> bytes);
  void Pad();
  void Block(const uint8_t* block);

  uint32_t state_[4] = {};
  uint8_t buffer_[64] = {};
  uint64_t length_ = 0;  // bytes so far
};

// The 16-byte digest of a text's bytes, as a string of 16 characters.
std::string GetMD5(std::string_view text);

}  // namespace kv
