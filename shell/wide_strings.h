#pragma once
// Wide-string and path routines of the shell controls. Byte-level: written
// once over the character type, so the same code serves UTF-16 as wchar_t on
// Windows and as char16_t in the host build.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

// Number of characters before the terminating 0; 0 for an absent text.
template <class Ch>
size_t StrLenW(const Ch* text) {
  if (!text) return 0;
  size_t n = 0;
  while (text[n] != Ch(0)) ++n;
  return n;
}

// Copies `count` characters from `source` to `destination`; the ranges may
// overlap (a destination above the source is copied from the end).
template <class Ch>
Ch* StrMoveW(Ch* destination, const Ch* source, size_t count) {
  if (!destination || !source || count == 0 || destination == source) return destination;
  if (destination > source && destination < source + count) {
    for (size_t i = count; i-- > 0;) destination[i] = source[i];
  } else {
    for (size_t i = 0; i < count; ++i) destination[i] = source[i];
  }
  return destination;
}

// Case-sensitive comparison in code-point order: surrogates (U+D800..DFFF)
// sort above U+E000..FFFF, as the supplementary characters they stand for do.
// Negative, 0 or positive.
template <class Ch>
int StrCompW(std::basic_string_view<Ch> a, std::basic_string_view<Ch> b) {
  auto fix = [](Ch c) -> int32_t {
    int32_t v = static_cast<uint16_t>(c);
    if (v >= 0xD800 && v <= 0xDFFF) return v + 0x2000;
    if (v >= 0xE000) return v - 0x800;
    return v;
  };
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int32_t d = fix(a[i]) - fix(b[i]);
    if (d != 0) return d < 0 ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Position of the first / last `ch`, or nothing.
template <class Ch>
std::optional<size_t> StrScanW(std::basic_string_view<Ch> text, Ch ch) {
  size_t p = text.find(ch);
  if (p == text.npos) return std::nullopt;
  return p;
}
template <class Ch>
std::optional<size_t> StrRScanW(std::basic_string_view<Ch> text, Ch ch) {
  size_t p = text.rfind(ch);
  if (p == text.npos) return std::nullopt;
  return p;
}

// First occurrence of `sub`; nothing when `sub` is empty or longer than `text`.
template <class Ch>
std::optional<size_t> StrPosW(std::basic_string_view<Ch> text, std::basic_string_view<Ch> sub) {
  if (sub.empty() || sub.size() > text.size()) return std::nullopt;
  size_t p = text.find(sub);
  if (p == text.npos) return std::nullopt;
  return p;
}

// Swaps the two bytes of every character up to the terminating 0; what
// follows an embedded 0 is left alone.
template <class Ch>
void StrSwapByteOrder(std::basic_string<Ch>& text) {
  for (Ch& c : text) {
    if (c == Ch(0)) break;
    auto v = static_cast<uint16_t>(c);
    c = static_cast<Ch>(static_cast<uint16_t>((v >> 8) | (v << 8)));
  }
}

// Inserts `source` before the 0-based `index`; nothing when the index lies outside 0..length.
template <class Ch>
void InsertW(std::basic_string_view<Ch> source, std::basic_string<Ch>& dest, int64_t index) {
  if (index < 0 || index > static_cast<int64_t>(dest.size())) return;
  dest.insert(static_cast<size_t>(index), source);
}

// Inserts `separator` every three digits counted from the right.
template <class Ch>
std::basic_string<Ch> AddCommas(std::basic_string_view<Ch> digits, Ch separator) {
  std::basic_string<Ch> out(digits);
  size_t start = (!out.empty() && out[0] == Ch('-')) ? 1 : 0;
  for (int64_t i = static_cast<int64_t>(out.size()) - 3; i > static_cast<int64_t>(start); i -= 3)
    out.insert(static_cast<size_t>(i), 1, separator);
  return out;
}

template <class Ch>
std::basic_string<Ch> IntToStrW(int64_t value) {
  std::string s = std::to_string(value);
  return std::basic_string<Ch>(s.begin(), s.end());
}

// Position of the first ":\", or nothing.
template <class Ch>
std::optional<size_t> FindRootToken(std::basic_string_view<Ch> path) {
  for (size_t i = 0; i + 1 < path.size(); ++i)
    if (path[i] == Ch(':') && path[i + 1] == Ch('\\')) return i;
  return std::nullopt;
}

// Exactly three characters, the second ':' and the third '\'.
template <class Ch>
bool IsDriveW(std::basic_string_view<Ch> path) {
  return path.size() == 3 && path[1] == Ch(':') && path[2] == Ch('\\');
}

// The 1-based `index` lies in the text and names a '\'.
template <class Ch>
bool IsPathDelimiterW(std::basic_string_view<Ch> text, int64_t index) {
  return index >= 1 && index <= static_cast<int64_t>(text.size()) && text[static_cast<size_t>(index - 1)] == Ch('\\');
}

template <class Ch>
std::basic_string<Ch> IncludeTrailingBackslashW(std::basic_string_view<Ch> path) {
  std::basic_string<Ch> out(path);
  if (out.empty() || out.back() != Ch('\\')) out.push_back(Ch('\\'));
  return out;
}

namespace detail {
template <class Ch>
bool IsLetter(Ch c) {
  return (c >= Ch('A') && c <= Ch('Z')) || (c >= Ch('a') && c <= Ch('z'));
}
}  // namespace detail

// Removes one trailing '\' or '/', but keeps a drive root's unless `force`.
template <class Ch>
std::basic_string<Ch> StripTrailingBackslashW(std::basic_string_view<Ch> path, bool force) {
  std::basic_string<Ch> out(path);
  if (out.empty() || (out.back() != Ch('\\') && out.back() != Ch('/'))) return out;
  bool driveRoot = out.size() == 3 && detail::IsLetter(out[0]) && out[1] == Ch(':') && out[2] == Ch('\\');
  if (!driveRoot || force) out.pop_back();
  return out;
}

// The text up to and including the ':' of the first ":\"; empty without one.
template <class Ch>
std::basic_string<Ch> ExtractFileDriveW(std::basic_string_view<Ch> path) {
  auto p = FindRootToken(path);
  if (!p) return {};
  return std::basic_string<Ch>(path.substr(0, *p + 1));
}

// The folder part of a path: "C" and "C:" give "C:\", "C:\file" gives "C:\",
// "C:\dir\file" gives "C:\dir"; paths without ":\" (network paths) give "".
template <class Ch>
std::basic_string<Ch> ExtractFileDirW(std::basic_string_view<Ch> path) {
  if (path.size() == 1 || path.size() == 2) {
    if (!detail::IsLetter(path[0])) return {};
    return std::basic_string<Ch>{path[0], Ch(':'), Ch('\\')};
  }
  if (!FindRootToken(path)) return {};
  size_t slash = path.rfind(Ch('\\'));
  if (slash > 0 && path[slash - 1] == Ch(':')) return std::basic_string<Ch>(path.substr(0, slash + 1));
  return std::basic_string<Ch>(path.substr(0, slash));
}

// From the last '.' to the end, dot included; empty without a dot. A dot in a
// folder name does not count.
template <class Ch>
std::basic_string<Ch> ExtractFileExtW(std::basic_string_view<Ch> path) {
  size_t dot = path.rfind(Ch('.'));
  if (dot == path.npos) return {};
  size_t slash = path.find_first_of(std::basic_string_view<Ch>(std::basic_string<Ch>{Ch('\\'), Ch(':')}), dot);
  if (slash != path.npos) return {};
  return std::basic_string<Ch>(path.substr(dot));
}

// The text of a cached size as "%.0n KB": the size in whole KiB with
// separators, "0 KB" shown as "1 KB".
template <class Ch>
std::basic_string<Ch> SizeInKbText(uint64_t size, Ch separator) {
  uint64_t kb = size / 1024;
  if (kb == 0) kb = 1;
  std::string s = std::to_string(kb);
  std::basic_string<Ch> digits(s.begin(), s.end());
  std::basic_string<Ch> out = AddCommas<Ch>(digits, separator);
  out.push_back(Ch(' '));
  out.push_back(Ch('K'));
  out.push_back(Ch('B'));
  return out;
}

}  // namespace kv
