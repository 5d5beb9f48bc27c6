#pragma once
// The text and stream forms of the wide-string list. Byte-level.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kv {

class TStream;

// Cuts text at every LF, VT, FF, CR, U+2028 and U+2029 (CR LF is one break);
// a final break adds no empty piece.
std::vector<std::u16string> SplitWideText(std::u16string_view text);
// Every item followed by CR LF.
std::u16string JoinWideText(const std::vector<std::u16string>& items);

// Decodes the rest of a stream's bytes: FF FE leads UTF-16 little-endian,
// FE FF UTF-16 big-endian (an odd last byte is dropped); anything else is
// ANSI text in the system code page.
std::u16string DecodeWideText(std::span<const uint8_t> bytes);
// The mark FF FE, then the text as UTF-16 little-endian, no terminator.
std::vector<uint8_t> EncodeWideText(std::u16string_view text);

// The whole rest of a stream (at most kMaxWideTextBytes; std::length_error beyond).
std::u16string ReadWideText(TStream& stream);
void WriteWideText(TStream& stream, std::u16string_view text);

inline constexpr int64_t kMaxWideTextBytes = 256LL * 1024 * 1024;

}  // namespace kv
