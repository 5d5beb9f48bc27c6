#include "base/ansi_text.h"

#include <cstdint>

namespace kv {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 where the code page leaves the byte
// undefined (those map to the C1 control of the same number, as Windows does).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

AnsiCodec g_codec{WideToCp1252, Cp1252ToWide};

char ToCp1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == c) return static_cast<char>(0x80 + i);
    if (kCp1252High[i] == 0 && c == 0x80 + i) return static_cast<char>(c);
  }
  return '?';
}

}  // namespace

std::string WideToCp1252(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;  // one character, one replacement
      out.push_back('?');
      continue;
    }
    out.push_back(ToCp1252(c));
  }
  return out;
}

std::u16string Cp1252ToWide(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto b = static_cast<uint8_t>(ch);
    if (b >= 0x80 && b < 0xA0 && kCp1252High[b - 0x80] != 0) out.push_back(kCp1252High[b - 0x80]);
    else out.push_back(b);
  }
  return out;
}

std::string WideToAnsi(std::u16string_view text) { return g_codec.toAnsi(text); }
std::u16string AnsiToWide(std::string_view text) { return g_codec.toWide(text); }

namespace {

// An encoded surrogate is invalid UTF-8; with keepSurrogates it is taken as
// the lone surrogate WideToUtf8 wrote for a file name.
std::u16string DecodeUtf8(std::string_view text, bool keepSurrogates) {
  std::u16string wide;
  wide.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<uint8_t>(text[i]);
    uint32_t cp = 0;
    size_t len = 0;
    if (b < 0x80) { cp = b; len = 1; }
    else if ((b & 0xE0) == 0xC0) { cp = b & 0x1Fu; len = 2; }
    else if ((b & 0xF0) == 0xE0) { cp = b & 0x0Fu; len = 3; }
    else if ((b & 0xF8) == 0xF0) { cp = b & 0x07u; len = 4; }
    bool valid = len != 0 && len <= text.size() - i;
    for (size_t k = 1; valid && k < len; ++k) {
      const auto c = static_cast<uint8_t>(text[i + k]);
      if ((c & 0xC0) != 0x80) valid = false;
      else cp = (cp << 6) | (c & 0x3Fu);
    }
    static constexpr uint32_t kMinForLength[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (cp < kMinForLength[len] || cp > 0x10FFFF || (!keepSurrogates && cp >= 0xD800 && cp <= 0xDFFF)))
      valid = false;
    if (!valid) {
      wide.push_back(u'?');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return wide;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view text) { return WideToAnsi(DecodeUtf8(text, false)); }

std::u16string Utf8ToWide(std::string_view text) { return DecodeUtf8(text, true); }

std::string MarkedAnsi(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    // A surrogate pair is one character; a lone surrogate is one of its own.
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
    const size_t n = pair ? 2 : 1;
    const std::u16string_view piece = text.substr(i, n);
    const std::string ansi = WideToAnsi(piece);
    out += AnsiToWide(ansi) == piece ? ansi : std::string("|");
    i += n;
  }
  return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string WideToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    AppendUtf8(out, cp);
  }
  return out;
}

void SetAnsiCodec(AnsiCodec codec) { g_codec = codec; }

}  // namespace kv
