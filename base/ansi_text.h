#pragma once
// Conversion between the program's single-byte texts (the system's ANSI code
// page) and UTF-16. Byte-level code uses these; the conversion itself is the
// one process-wide choice: Windows-1252 built in, replaced at start-up by the
// system's own code page (UseSystemAnsiCodePage in ansi_text_win.cpp).
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// UTF-16 to ANSI; characters the code page lacks become '?', a surrogate pair one '?'.
std::string WideToAnsi(std::u16string_view text);
// ANSI to UTF-16.
std::u16string AnsiToWide(std::string_view text);
// UTF-8 to ANSI (invalid sequences become '?').
std::string Utf8ToAnsi(std::string_view text);
// UTF-8 to UTF-16; invalid sequences become '?'. An encoded lone surrogate
// (as WideToUtf8 writes one) comes back as itself.
std::u16string Utf8ToWide(std::string_view text);
// UTF-16 to UTF-8; a lone surrogate (file names may hold one) is encoded as
// its own three bytes, so that every name comes back exactly.
std::string WideToUtf8(std::u16string_view text);
// The ANSI text with '|' (no file name holds one) for every character, or
// surrogate pair, that the code page cannot hold exactly.
std::string MarkedAnsi(std::u16string_view text);
// Appends one code point (at most 0x10FFFF) as UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

// The built-in Windows-1252 conversions, also used by tests as the reference.
std::string WideToCp1252(std::u16string_view text);
std::u16string Cp1252ToWide(std::string_view text);

struct AnsiCodec {
  std::string (*toAnsi)(std::u16string_view);
  std::u16string (*toWide)(std::string_view);
};
// Replaces the process-wide conversion (start-up only, before any other thread runs).
void SetAnsiCodec(AnsiCodec codec);

}  // namespace kv
