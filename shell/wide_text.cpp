#include "shell/wide_text.h"

#include <stdexcept>

#include "base/ansi_text.h"
#include "zip/zip_stream.h"

namespace kv {

std::vector<std::u16string> SplitWideText(std::u16string_view text) {
  std::vector<std::u16string> items;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' || c == 0x2028 || c == 0x2029) {
      items.emplace_back(text.substr(start, i - start));
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) items.emplace_back(text.substr(start));
  return items;
}

std::u16string JoinWideText(const std::vector<std::u16string>& items) {
  std::u16string out;
  for (const auto& s : items) {
    out += s;
    out += u"\r\n";
  }
  return out;
}

std::u16string DecodeWideText(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
    bool little = bytes[0] == 0xFF;
    size_t chars = (bytes.size() - 2) / 2;
    std::u16string text(chars, u'\0');
    for (size_t i = 0; i < chars; ++i) {
      uint8_t a = bytes[2 + 2 * i], b = bytes[3 + 2 * i];
      text[i] = little ? char16_t(a | b << 8) : char16_t(b | a << 8);
    }
    return text;
  }
  return AnsiToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::vector<uint8_t> EncodeWideText(std::u16string_view text) {
  std::vector<uint8_t> out;
  out.reserve(2 + 2 * text.size());
  out.push_back(0xFF);
  out.push_back(0xFE);
  for (char16_t c : text) {
    out.push_back(uint8_t(c));
    out.push_back(uint8_t(c >> 8));
  }
  return out;
}

std::u16string ReadWideText(TStream& stream) {
  int64_t left = stream.Size() - stream.Position();
  if (left <= 0) return {};
  if (left > kMaxWideTextBytes) throw std::length_error("Wide text stream too large");
  std::vector<uint8_t> bytes(static_cast<size_t>(left));
  stream.ReadBuffer(bytes.data(), left);
  return DecodeWideText(bytes);
}

void WriteWideText(TStream& stream, std::u16string_view text) {
  std::vector<uint8_t> bytes = EncodeWideText(text);
  stream.WriteBuffer(bytes);
}

}  // namespace kv
