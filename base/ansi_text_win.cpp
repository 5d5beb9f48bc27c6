#include "base/ansi_text_win.h"

#include <windows.h>

#include "base/ansi_text.h"

namespace kv {
namespace {

std::string SystemToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* src = reinterpret_cast<const wchar_t*>(text.data());
  const int len = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_ACP, 0, src, len, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, src, len, out.data(), n, nullptr, nullptr);
  return out;
}

std::u16string SystemToWide(std::string_view text) {
  if (text.empty()) return {};
  const int len = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), len, nullptr, 0);
  std::u16string out(static_cast<size_t>(n > 0 ? n : 0), u'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), len, reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

}  // namespace

void UseSystemAnsiCodePage() { SetAnsiCodec({SystemToAnsi, SystemToWide}); }

std::wstring ToWString(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string ToU16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }
std::wstring AnsiToWString(std::string_view text) { return ToWString(AnsiToWide(text)); }
std::string WStringToAnsi(std::wstring_view text) { return WideToAnsi(ToU16(text)); }

}  // namespace kv
