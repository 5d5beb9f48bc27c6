#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace kv {

// The MD5 digest of a file's bytes, read in blocks of 4096; false when the
// file cannot be opened or read.
bool Md5OfFile(const std::wstring& fileName, std::array<uint8_t, 16>& digest);

}  // namespace kv
