#pragma once
// Archives of the reserve put together entry by entry, so that a test can
// damage one field of one entry: its CRC, its size, its data.
#include <cstdint>
#include <string>
#include <vector>

#include "wizard/reserve_list.h"
#include "zip/crc32.h"

namespace kv::test {

struct TRawEntry {
  std::string name;
  std::string data;  // as stored (deflate data for method 8)
  uint16_t method = 0;
  uint32_t crc = 0;
  uint32_t size = 0;  // the size it claims
};

inline uint32_t TextCrc(const std::string& text) {
  return Crc32({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

inline TRawEntry StoredEntry(const std::string& name, const std::string& text) {
  return {name, text, 0, TextCrc(text), static_cast<uint32_t>(text.size())};
}

inline uint32_t Le(const std::vector<uint8_t>& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<size_t>(i)];
  return v;
}

// The entry as the program's own writer deflates it (taken from the one-entry
// archive it writes: central directory, then local header).
inline TRawEntry DeflatedEntry(const std::string& name, const std::string& text) {
  const std::vector<uint8_t> zip = RewriteReserveArchive({}, {{name, text}});
  const size_t end = zip.size() - 22;
  const size_t central = Le(zip, end + 16, 4);
  const size_t local = Le(zip, central + 42, 4);
  const size_t compressed = Le(zip, central + 20, 4);
  const size_t data = local + 30 + Le(zip, local + 26, 2) + Le(zip, local + 28, 2);
  return {name, std::string(zip.begin() + static_cast<ptrdiff_t>(data), zip.begin() + static_cast<ptrdiff_t>(data + compressed)),
          static_cast<uint16_t>(Le(zip, central + 10, 2)), Le(zip, central + 16, 4), Le(zip, central + 24, 4)};
}

inline void PutLe(std::vector<uint8_t>& out, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline std::vector<uint8_t> RawZip(const std::vector<TRawEntry>& entries) {
  std::vector<uint8_t> out, central;
  for (const TRawEntry& e : entries) {
    const uint64_t at = out.size();
    for (std::vector<uint8_t>* b : {&out, &central}) {
      const bool isCentral = b == &central;
      PutLe(*b, isCentral ? 0x02014b50 : 0x04034b50, 4);
      if (isCentral) PutLe(*b, 20, 2);
      PutLe(*b, 20, 2), PutLe(*b, 0, 2), PutLe(*b, e.method, 2), PutLe(*b, 0x5A210000, 4), PutLe(*b, e.crc, 4);
      PutLe(*b, e.data.size(), 4), PutLe(*b, e.size, 4), PutLe(*b, e.name.size(), 2), PutLe(*b, 0, 2);
      if (isCentral) PutLe(*b, 0, 2), PutLe(*b, 0, 2), PutLe(*b, 0, 2), PutLe(*b, 0, 4), PutLe(*b, at, 4);
      b->insert(b->end(), e.name.begin(), e.name.end());
      if (!isCentral) b->insert(b->end(), e.data.begin(), e.data.end());
    }
  }
  const uint64_t centralAt = out.size();
  out.insert(out.end(), central.begin(), central.end());
  PutLe(out, 0x06054b50, 4), PutLe(out, 0, 4), PutLe(out, entries.size(), 2), PutLe(out, entries.size(), 2);
  PutLe(out, central.size(), 4), PutLe(out, centralAt, 4), PutLe(out, 0, 2);
  return out;
}

// The ways a "data" entry arrives damaged, each applied to a good entry.
struct TDamage {
  const char* what;
  TRawEntry (*apply)(TRawEntry);
};
inline const std::vector<TDamage>& ListDamages() {
  static const std::vector<TDamage> damages = {
      {"stored, CRC flipped", [](TRawEntry e) { e.crc ^= 1; return e; }},
      {"stored, size one more", [](TRawEntry e) { ++e.size; return e; }},
      {"stored, size one less", [](TRawEntry e) { --e.size; return e; }},
      {"deflated, CRC flipped", [](TRawEntry e) { e.crc ^= 0x80000000u; return e; }},
      {"deflated, size one more", [](TRawEntry e) { ++e.size; return e; }},
      {"deflated, bad block type", [](TRawEntry e) { e.data[0] = 0x07; return e; }},
  };
  return damages;
}

// The entry of that damage: stored ones from the text, the others deflated.
inline TRawEntry DamagedList(const TDamage& damage, const std::string& text) {
  const bool stored = std::string(damage.what).rfind("stored", 0) == 0;
  return damage.apply(stored ? StoredEntry("data", text) : DeflatedEntry("data", text));
}

}  // namespace kv::test
