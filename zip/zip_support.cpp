#include "zip/zip_support.h"

#include <algorithm>
#include <cstring>

namespace kv {

// ------------------------------------------------------------ wildcards --

namespace {

// Matches one character against the set that starts just after "<" at
// pattern[i]; sets i past the closing ">". False (and i = npos) when the set
// is never closed.
bool MatchSet(std::string_view pattern, size_t& i, char c) {
  bool negate = false;
  if (i < pattern.size() && (pattern[i] == '^' || pattern[i] == '!')) {
    negate = true;
    ++i;
  }
  bool found = false;
  const auto uc = static_cast<unsigned char>(c);
  while (i < pattern.size() && pattern[i] != '>') {
    const auto lo = static_cast<unsigned char>(pattern[i]);
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != '>') {
      const auto hi = static_cast<unsigned char>(pattern[i + 2]);
      if (uc >= lo && uc <= hi) found = true;
      i += 3;
    } else {
      if (uc == lo) found = true;
      ++i;
    }
  }
  if (i >= pattern.size()) {
    i = std::string_view::npos;
    return false;
  }
  ++i;  // past ">"
  return found != negate;
}

}  // namespace

bool IsMatch(std::string_view pattern, std::string_view text) {
  // Iterative matcher with one back-tracking point (the last "*"): linear
  // memory, O(pattern * text) time at worst, no recursion.
  size_t p = 0, t = 0;
  size_t starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size()) {
      const char pc = pattern[p];
      if (pc == '*') {
        starP = ++p;
        starT = t;
        continue;
      }
      if (pc == '?') {
        ++p;
        ++t;
        continue;
      }
      if (pc == '<') {
        size_t q = p + 1;
        if (MatchSet(pattern, q, text[t])) {
          p = q;
          ++t;
          continue;
        }
        if (q == std::string_view::npos) return false;  // unclosed set
      } else if (pc == text[t]) {
        ++p;
        ++t;
        continue;
      }
    }
    if (starP == std::string_view::npos) return false;
    p = starP;
    t = ++starT;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsWildCard(std::string_view s) { return s.find_first_of("*?<>|") != std::string_view::npos; }

// ---------------------------------------------------------------- rates --

namespace {

// a * 100 / b rounded half to even, for 0 <= a and 0 < b (done may exceed
// total; the caller caps at 100).
int RateHalfEven(uint64_t done, uint64_t total) {
  if (done > total) return 100;
  // Scale huge totals down so that done * 200 fits; the rate cannot change
  // by more than the rounding step.
  while (total > (uint64_t{1} << 56)) {
    total >>= 1;
    done >>= 1;
  }
  if (total == 0) return 0;
  const uint64_t num = done * 100;
  const uint64_t q = num / total;
  const uint64_t r2 = (num % total) * 2;
  uint64_t result = q;
  if (r2 > total || (r2 == total && (q & 1))) ++result;
  return static_cast<int>(std::min<uint64_t>(result, 100));
}

}  // namespace

int CRate(int64_t total, int64_t done) {
  if (total < 1) return 0;
  if (done <= 0) return 0;
  return RateHalfEven(static_cast<uint64_t>(done), static_cast<uint64_t>(total));
}

int CBigRate(uint64_t total, uint64_t done) {
  if (total == 0) return 0;
  return RateHalfEven(done, total);
}

// ------------------------------------------------------------ DOS times --

TDosDateTime UnpackDosDateTime(uint32_t v) {
  TDosDateTime t;
  const uint32_t time = v & 0xFFFF, date = v >> 16;
  t.second = static_cast<int>(time & 31) * 2;
  t.minute = static_cast<int>((time >> 5) & 63);
  t.hour = static_cast<int>(time >> 11);
  t.day = static_cast<int>(date & 31);
  t.month = static_cast<int>((date >> 5) & 15);
  t.year = 1980 + static_cast<int>(date >> 9);
  return t;
}

uint32_t PackDosDateTime(const TDosDateTime& t) {
  const uint32_t time = static_cast<uint32_t>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
  const uint32_t date = static_cast<uint32_t>(((t.year - 1980) << 9) | (t.month << 5) | t.day);
  return date << 16 | time;
}

uint32_t GoodTimeStamp(uint32_t v) {
  TDosDateTime t = UnpackDosDateTime(v);
  bool clamped = false;
  auto clamp = [&](int& field, int lo, int hi) {
    if (field > hi) { field = hi; clamped = true; }
    if (field < lo) { field = lo; clamped = true; }
  };
  clamp(t.hour, 0, 23);
  clamp(t.minute, 0, 59);
  clamp(t.second, 0, 59);
  clamp(t.year, 1980, 2099);
  clamp(t.month, 1, 12);
  clamp(t.day, 1, 31);
  return clamped ? PackDosDateTime(t) : v;
}

double DosDateTimeToValue(uint32_t v) {
  const TDosDateTime t = UnpackDosDateTime(v);
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  if (t.month < 1 || t.month > 12 || t.day < 1) return 0;
  if (t.day > kDays[t.month - 1] + (t.month == 2 && leap ? 1 : 0)) return 0;
  if (t.hour > 23 || t.minute > 59 || t.second > 59) return 0;
  // Days from 1899-12-30 (civil-from-days arithmetic).
  const int y = t.year - (t.month <= 2 ? 1 : 0);
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int mp = (t.month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + t.day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days1970 = static_cast<long>(era) * 146097 + doe - 719468;
  const long days = days1970 + 25569;
  return static_cast<double>(days) + (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
}

// ---------------------------------------------------------------- names --

void DOSToUnixFilename(std::string& s) { std::replace(s.begin(), s.end(), '\\', '/'); }
void UnixToDOSFilename(std::string& s) { std::replace(s.begin(), s.end(), '/', '\\'); }
std::string LeftStr(std::string_view s, size_t n) { return std::string(s.substr(0, n)); }
std::string RightStr(std::string_view s, size_t n) {
  return std::string(n >= s.size() ? s : s.substr(s.size() - n));
}
bool BlockCompare(const void* a, const void* b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }

std::string PCharToStr(const char* p) { return p != nullptr ? std::string(p) : std::string(); }

char* StrToPChar(char* buf, size_t size, std::string_view s) {
  if (size == 0) return buf;
  const size_t n = std::min(s.size(), size - 1);
  if (n != 0) std::memcpy(buf, s.data(), n);
  buf[n] = '\0';
  return buf;
}

void HMemCpy(void* dest, const void* source, size_t n) {
  if (n != 0) std::memmove(dest, source, n);
}

namespace {

// Windows-1252 bytes 0x80-0xFF in code page 437 ('?' where it has none).
constexpr uint8_t kAnsiToOem[128] = {
    0x3F, 0x3F, 0x3F, 0x9F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0xFF, 0xAD, 0x9B, 0x9C, 0x3F, 0x9D, 0x3F, 0x3F, 0x3F, 0x3F, 0xA6, 0xAE, 0xAA, 0x3F, 0x3F, 0x3F,
    0xF8, 0xF1, 0xFD, 0x3F, 0x3F, 0xE6, 0x3F, 0xFA, 0x3F, 0x3F, 0xA7, 0xAF, 0xAC, 0xAB, 0x3F, 0xA8,
    0x3F, 0x3F, 0x3F, 0x3F, 0x8E, 0x8F, 0x92, 0x80, 0x3F, 0x90, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0xA5, 0x3F, 0x3F, 0x3F, 0x3F, 0x99, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x9A, 0x3F, 0x3F, 0xE1,
    0x85, 0xA0, 0x83, 0x3F, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,
    0x3F, 0xA4, 0x95, 0xA2, 0x93, 0x3F, 0x94, 0xF6, 0x3F, 0x97, 0xA3, 0x96, 0x81, 0x3F, 0x3F, 0x98};
// Code page 437 bytes 0x80-0xFF in Windows-1252.
constexpr uint8_t kOemToAnsi[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2, 0xA3, 0xA5, 0x3F, 0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0x3F, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0xDF, 0x3F, 0x3F, 0x3F, 0x3F, 0xB5, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0xB1, 0x3F, 0x3F, 0x3F, 0x3F, 0xF7, 0x3F, 0xB0, 0x3F, 0xB7, 0x3F, 0x3F, 0xB2, 0x3F, 0xA0};

TOemCodec g_oemCodec{&AnsiToOemBuiltIn, &OemToAnsiBuiltIn};

}  // namespace

void AnsiToOemBuiltIn(std::string& s) {
  for (char& c : s) {
    const auto b = static_cast<uint8_t>(c);
    if (b >= 0x80) c = static_cast<char>(kAnsiToOem[b - 0x80]);
  }
}

void OemToAnsiBuiltIn(std::string& s) {
  for (char& c : s) {
    const auto b = static_cast<uint8_t>(c);
    if (b >= 0x80) c = static_cast<char>(kOemToAnsi[b - 0x80]);
  }
}

void SetOemCodec(TOemCodec codec) { g_oemCodec = codec; }
void AnsiToOem(std::string& s) { g_oemCodec.ansiToOem(s); }
void OemToAnsi(std::string& s) { g_oemCodec.oemToAnsi(s); }
void OemFilter(std::string& s) {
  AnsiToOem(s);
  OemToAnsi(s);
}

// -------------------------------------------------------- string tables --

std::string FindTableString(std::span<const uint8_t> table, uint16_t id) {
  size_t pos = 0;
  while (table.size() - pos >= 3) {
    const uint16_t recId = static_cast<uint16_t>(table[pos] | table[pos + 1] << 8);
    const size_t len = table[pos + 2];
    if (recId == 0) break;
    pos += 3;
    if (len > table.size() - pos) break;
    if (recId == id) return std::string(reinterpret_cast<const char*>(table.data() + pos), len);
    pos += len;
  }
  return {};
}

std::vector<uint8_t> BuildStringTable(const std::vector<std::pair<uint16_t, std::string>>& records) {
  std::vector<uint8_t> out;
  for (const auto& [id, text] : records) {
    const size_t len = std::min<size_t>(text.size(), 255);
    out.push_back(static_cast<uint8_t>(id & 0xFF));
    out.push_back(static_cast<uint8_t>(id >> 8));
    out.push_back(static_cast<uint8_t>(len));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(len));
  }
  out.insert(out.end(), {0, 0, 0});
  return out;
}

std::vector<std::pair<uint16_t, std::string>> StreamMessageTable() {
  return {{kStrSeekError, "Seek error"},
          {kStrInvalidSeekOrigin, "Invalid seek origin (%d)"},
          {kStrPutbackOverflow, "Putback overflow"},
          {kStrCannotFindResource, "Cannot find resource"},
          {kStrCannotAccessResource, "Cannot access resource"},
          {kStrSeekPastEnd, "Seek past end of resource stream"},
          {kStrCannotWriteResource, "Cannot write to a resource stream"}};
}

std::string StreamMessage(TStreamMessageId id, int arg) {
  std::string text;
#ifdef _WIN32
  try {
    text = LoadResourceString("S_STREAM", id);
  } catch (...) {
    text.clear();  // no resource in this program: the built-in text below
  }
#endif
  if (text.empty()) {
    for (const auto& [recId, builtIn] : StreamMessageTable()) {
      if (recId == id) text = builtIn;
    }
  }
  const size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(arg));
  return text;
}

#ifndef _WIN32
namespace {
// Lower case of a code page 1252 byte.
uint8_t Lower1252(uint8_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<uint8_t>(c + 0x20);
  if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<uint8_t>(c + 0x10);
  if (c == 0x9F) return 0xFF;
  return c;
}
}  // namespace

bool SameTextAnsi(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower1252(static_cast<uint8_t>(a[i])) != Lower1252(static_cast<uint8_t>(b[i]))) return false;
  }
  return true;
}
#endif

}  // namespace kv
