#pragma once
// Byte builders shared by the diagnostics tests: little-endian integers and
// blocks of version resources in either layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::diagtest {

using Bytes = std::vector<uint8_t>;

inline Bytes Le(uint64_t v, int bytes) {
  Bytes out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}
inline void Put(Bytes& out, const Bytes& part) { out.insert(out.end(), part.begin(), part.end()); }
inline void PutLe(Bytes& out, uint64_t v, int bytes) { Put(out, Le(v, bytes)); }
inline void Pad4(Bytes& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}
inline void SetLe(Bytes& out, size_t at, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// One block of a version resource. wide: the newer layout (UTF-16 key, type
// word); valueLength is written as given (characters for wide text values).
struct VersionBlock {
  std::string key;
  uint16_t type = 1;
  Bytes value;
  uint16_t valueLength = 0;
  std::vector<VersionBlock> children;
};

inline Bytes BuildVersionBlock(const VersionBlock& b, bool wide) {
  Bytes out;
  PutLe(out, 0, 2);
  PutLe(out, b.valueLength, 2);
  if (wide) {
    PutLe(out, b.type, 2);
    for (char c : b.key) PutLe(out, static_cast<uint8_t>(c), 2);
    PutLe(out, 0, 2);
  } else {
    out.insert(out.end(), b.key.begin(), b.key.end());
    out.push_back(0);
  }
  Pad4(out);
  Put(out, b.value);
  for (const VersionBlock& child : b.children) {
    Pad4(out);
    Put(out, BuildVersionBlock(child, wide));
  }
  SetLe(out, 0, out.size(), 2);
  return out;
}

inline Bytes WideText(std::string_view text) {
  Bytes out;
  for (char c : text) PutLe(out, static_cast<uint8_t>(c), 2);
  PutLe(out, 0, 2);
  return out;
}

inline Bytes FixedInfo(uint32_t ms, uint32_t ls, uint32_t flagsMask = 0x3F, uint32_t flags = 0) {
  Bytes out;
  for (uint32_t v : {0xFEEF04BDu, 0x10000u, ms, ls, ms, ls, flagsMask, flags, 4u, 1u, 0u, 0u, 0u}) PutLe(out, v, 4);
  return out;
}

// A text string of a table: wide values count characters with the terminator.
inline VersionBlock Str(const std::string& key, const std::string& value, bool wide = true) {
  VersionBlock b{key, 1, {}, 0, {}};
  if (wide) {
    b.value = WideText(value);
    b.valueLength = static_cast<uint16_t>(value.size() + 1);
  } else {
    b.value.assign(value.begin(), value.end());
    b.value.push_back(0);
    b.valueLength = static_cast<uint16_t>(value.size() + 1);
  }
  return b;
}

inline VersionBlock Root(Bytes fixed, std::vector<VersionBlock> children) {
  return VersionBlock{"VS_VERSION_INFO", 0, std::move(fixed), 52, std::move(children)};
}

// What a debug-information scanner answers for one address.
struct LocationCase {
  uint32_t addr;
  const char* unit;
  const char* proc;
  uint32_t procOffset;
  uint32_t line;
  int32_t lineOffset;
  const char* source;
};

template <class Scanner>
void ExpectLocations(Scanner& scanner, std::initializer_list<LocationCase> cases) {
  for (const LocationCase& c : cases) {
    SCOPED_TRACE(c.addr);
    EXPECT_EQ(scanner.ModuleNameFromAddr(c.addr), c.unit);
    uint32_t procOffset = 99;
    EXPECT_EQ(scanner.ProcNameFromAddr(c.addr, procOffset), c.proc);
    EXPECT_EQ(procOffset, c.procOffset);
    int32_t lineOffset = 99;
    EXPECT_EQ(scanner.LineNumberFromAddr(c.addr, lineOffset), c.line);
    EXPECT_EQ(lineOffset, c.lineOffset);
    EXPECT_EQ(scanner.SourceNameFromAddr(c.addr), c.source);
  }
}

}  // namespace kv::diagtest
