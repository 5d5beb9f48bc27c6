#pragma once
// The Windows side of the ANSI conversions, and the bridges between the
// byte-level UTF-16 strings (char16_t) and Windows' wchar_t strings.
#include <string>
#include <string_view>

namespace kv {

// Makes WideToAnsi/AnsiToWide use the system's ANSI code page (start-up).
void UseSystemAnsiCodePage();

std::wstring ToWString(std::u16string_view text);
std::u16string ToU16(std::wstring_view text);
std::wstring AnsiToWString(std::string_view text);
std::string WStringToAnsi(std::wstring_view text);

}  // namespace kv
