#include "base/strings.h"

#include <algorithm>
#include <charconv>

namespace kv {
namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The capital of a letter of the ANSI code page (Windows-1252): a-z, the
// accented small letters (not the division sign), š, œ, ž and ÿ. ß has none.
char UpperAnsi(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 0x20);
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 0x20);
  switch (u) {
    case 0x9A: return static_cast<char>(0x8A);
    case 0x9C: return static_cast<char>(0x8C);
    case 0x9E: return static_cast<char>(0x8E);
    case 0xFF: return static_cast<char>(0x9F);
    default: return c;
  }
}

// <0, 0 or >0 as a sorts before, equals or sorts after b once both are folded.
int CompareFolded(std::string_view a, std::string_view b, char (*fold)(char)) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int d = static_cast<unsigned char>(fold(a[i])) - static_cast<unsigned char>(fold(b[i]));
    if (d != 0) return d;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

size_t FindAt(std::string_view text, std::string_view sub, size_t from, bool ignoreCase) {
  if (!ignoreCase) return text.find(sub, from);
  if (sub.size() > text.size()) return std::string_view::npos;
  for (size_t i = from; i + sub.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < sub.size() && UpperAnsi(text[i + k]) == UpperAnsi(sub[k])) ++k;
    if (k == sub.size()) return i;
  }
  return std::string_view::npos;
}

// Clamps a 1-based start the way the helpers share: negative counts from the end.
size_t StartIndex(int start, size_t length) {
  long long s = start;
  if (s < 0) s += static_cast<long long>(length) + 1;
  if (s < 1) s = 1;
  return static_cast<size_t>(s - 1);
}

}  // namespace

void ReplaceStr(std::string& text, std::string_view oldText, std::string_view newText, bool ignoreCase) {
  if (oldText.empty()) return;
  std::string out;
  size_t from = 0;
  for (size_t at; (at = FindAt(text, oldText, from, ignoreCase)) != std::string_view::npos; from = at + oldText.size()) {
    out.append(text, from, at - from);
    out.append(newText);
  }
  out.append(text, from, std::string::npos);
  text = std::move(out);
}

int FindFromPos(std::string_view sub, std::string_view text, int start) {
  if (sub.empty()) return 0;
  const size_t from = StartIndex(start, text.size());
  if (from >= text.size()) return 0;
  const size_t at = text.find(sub, from);
  return at == std::string_view::npos ? 0 : static_cast<int>(at + 1);
}

std::string PartByNum(std::string_view text, std::string_view separator, int n) {
  if (n < 1) n = 1;
  if (separator.empty()) return n == 1 ? std::string(text) : std::string();
  size_t from = 0;
  for (int i = 1;; ++i) {
    if (from >= text.size()) return {};
    size_t at = text.find(separator, from);
    if (at == std::string_view::npos) at = text.size();  // as if the text ended with a separator
    if (i == n) return std::string(text.substr(from, at - from));
    from = at + separator.size();
  }
}

int EntryCount(std::string_view sub, std::string_view text) {
  if (sub.empty()) return 0;
  int count = 0;
  for (size_t at = text.find(sub); at != std::string_view::npos; at = text.find(sub, at + 1)) ++count;
  return count;
}

std::string TrimSymbol(std::string_view text, char c) {
  const size_t first = text.find_first_not_of(c);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(c);
  return std::string(text.substr(first, last - first + 1));
}

std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 32 && b != 127) {
      out.push_back(ch);
      continue;
    }
    out += "\\x";
    out += ToHex(std::string_view(&ch, 1));
  }
  return out;
}

void SeparFirst(std::string_view text, std::string_view separator, std::string& first, std::string& rest) {
  const size_t at = separator.empty() ? std::string_view::npos : text.find(separator);
  if (at == std::string_view::npos) {
    first = std::string(text);
    rest.clear();
    return;
  }
  first = std::string(text.substr(0, at));
  rest = std::string(text.substr(at + separator.size()));
}

void Separate(std::string_view text, std::string_view separator, std::vector<std::string>& list) {
  // Repeated SeparFirst, walking the text instead of copying the rest each time.
  list.clear();
  while (!text.empty()) {
    const size_t at = separator.empty() ? std::string_view::npos : text.find(separator);
    if (at == std::string_view::npos) {
      list.emplace_back(text);
      return;
    }
    list.emplace_back(text.substr(0, at));
    text.remove_prefix(at + separator.size());
  }
}

int Extract(std::string_view text, std::string_view separator, int n, int def) {
  std::vector<std::string> parts;
  Separate(text, separator, parts);
  if (n < 1 || static_cast<size_t>(n) > parts.size()) return def;
  const std::string& p = parts[static_cast<size_t>(n) - 1];
  const char* b = p.data();
  const char* e = b + p.size();
  if (b != e && *b == '+') ++b;
  int value = 0;
  auto [ptr, ec] = std::from_chars(b, e, value);
  if (ec != std::errc() || ptr != e || b == e) return def;
  return value;
}

int ScanForTable(std::string_view text, const std::bitset<256>& set, int start, bool wanted) {
  if (start < 1) start = 1;
  for (size_t i = static_cast<size_t>(start) - 1; i < text.size(); ++i) {
    if (set.test(static_cast<unsigned char>(text[i])) == wanted) return static_cast<int>(i + 1);
  }
  return 0;
}

int ScanForTable(std::string_view text, std::string_view chars, int start, bool wanted) {
  std::bitset<256> set;
  for (char c : chars) set.set(static_cast<unsigned char>(c));
  return ScanForTable(text, set, static_cast<int>(StartIndex(start, text.size()) + 1), wanted);
}

void PosToXY(std::string_view text, int position, int& column, int& line, bool forward) {
  column = 0;
  line = 0;
  if (text.empty()) return;
  // The position just past the end is where a parse that ran out of text
  // stopped: it is a place of its own (no character, so no line break), and
  // positions further out are taken as it. Stepping back stops at the first.
  const long long end = static_cast<long long>(text.size()) + 1;
  long long pos = std::clamp<long long>(position, 1, end);
  auto at = [&](long long p) { return p < end ? text[static_cast<size_t>(p - 1)] : '\0'; };
  while ((at(pos) == '\r' || at(pos) == '\n')) {
    const long long next = forward ? pos + 1 : pos - 1;
    if (next < 1) break;
    pos = next;
  }
  const std::string_view upto = text.substr(0, static_cast<size_t>(std::min(pos, end - 1)));
  line = static_cast<int>(std::count(upto.begin(), upto.end(), '\r'));
  if (at(pos) != '\r') ++line;
  if (line <= 1) {
    column = static_cast<int>(pos);
    return;
  }
  const size_t lf = text.substr(0, static_cast<size_t>(pos - 1)).rfind('\n');
  column = static_cast<int>(lf == std::string_view::npos ? pos : pos - static_cast<long long>(lf + 1));
}

std::string SizeToStr(int64_t size, int steps) {
  static constexpr const char* kSuffix[] = {"K", "M", "G"};
  const char* suffix = "";
  for (int step = 0; step < 3 && step < steps && size > 1000; ++step) {
    size /= 1024;
    suffix = kSuffix[step];
  }
  return std::to_string(size) + suffix;
}

std::string SecondsToStr(int64_t s) {
  auto two = [](int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); };
  const int64_t minutes = s / 60;
  const int64_t hours = s / 3600;
  std::string result = minutes > 0 ? std::to_string(minutes % 60) + ":" + two(s % 60) : "0:" + two(s % 60);
  if (hours > 0) result = std::to_string(hours) + ":" + two(minutes % 60) + ":" + two(s % 60);
  return result;
}

std::string ExtractFileDirAndName(std::string_view path) {
  const size_t slash = path.find_last_of("\\/:");
  const size_t dot = path.rfind('.');
  std::string_view out = path;
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) out = path.substr(0, dot);
  return std::string(out);
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

int CompareTextAscii(std::string_view a, std::string_view b) { return CompareFolded(a, b, UpperAscii); }

int CompareTextAnsi(std::string_view a, std::string_view b) { return CompareFolded(a, b, UpperAnsi); }

}  // namespace kv
