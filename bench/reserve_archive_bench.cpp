// Reading hostile reserve archives: what one load costs.
//   reserve_archive_bench [megabytes of empty blocks]     default: 16
// - a "data" entry of 127 MiB of zeros with a wrong CRC;
// - a "data" entry of empty deflate blocks (dynamic, fixed, stored), which
//   decode to nothing at all however long they are, claiming 0 bytes (and,
//   for dynamic blocks, as many bytes as their data); and dynamic blocks with
//   a literal after every 64 or 7 empty ones, claiming their own length.
// Prints the seconds of ReadReserveArchive and how it ended.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "wizard/reserve_list.h"
#include "zip/crc32.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Le(Bytes& out, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Bits least significant first, as deflate packs them.
class BitWriter {
 public:
  void Put(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) {
      if (count_ == 0) bytes.push_back(0);
      bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << count_);
      count_ = (count_ + 1) % 8;
    }
  }
  // A Huffman code goes most significant bit first.
  void Code(uint32_t code, int n) {
    for (int i = n - 1; i >= 0; --i) Put((code >> i) & 1, 1);
  }
  void Align() { count_ = 0; }
  Bytes bytes;

 private:
  int count_ = 0;
};

// One zip of deflated entries given as raw data with the CRC and size they claim.
struct Entry {
  std::string name;
  Bytes data;
  uint32_t crc;
  uint32_t size;
};
Bytes Zip(const std::vector<Entry>& entries) {
  Bytes out, central;
  for (const Entry& e : entries) {
    const uint32_t at = static_cast<uint32_t>(out.size());
    for (Bytes* b : {&out, &central}) {
      Le(*b, b == &out ? 0x04034b50 : 0x02014b50, 4);
      if (b == &central) Le(*b, 20, 2);
      Le(*b, 20, 2), Le(*b, 0, 2), Le(*b, 8, 2), Le(*b, 0, 4), Le(*b, e.crc, 4);
      Le(*b, e.data.size(), 4), Le(*b, e.size, 4), Le(*b, e.name.size(), 2), Le(*b, 0, 2);
      if (b == &central) Le(*b, 0, 2), Le(*b, 0, 2), Le(*b, 0, 2), Le(*b, 0, 4), Le(*b, at, 4);
      b->insert(b->end(), e.name.begin(), e.name.end());
      if (b == &out) b->insert(b->end(), e.data.begin(), e.data.end());
    }
  }
  const uint32_t centralAt = static_cast<uint32_t>(out.size());
  out.insert(out.end(), central.begin(), central.end());
  Le(out, 0x06054b50, 4), Le(out, 0, 4), Le(out, entries.size(), 2), Le(out, entries.size(), 2);
  Le(out, central.size(), 4), Le(out, centralAt, 4), Le(out, 0, 2);
  return out;
}

Entry SizeEntry() {
  BitWriter w;  // one fixed block: "0" and the end
  w.Put(1, 1), w.Put(1, 2), w.Code(0x30 + '0', 8), w.Code(0, 7);
  const uint8_t zero = '0';
  return {"size", w.bytes, kv::Crc32({&zero, 1}), 1};
}

// n zero bytes in fixed blocks: a literal, then matches of 258 at distance 1.
Entry Zeros(uint32_t n) {
  BitWriter w;
  w.Put(1, 1), w.Put(1, 2), w.Code(0x30, 8);
  uint32_t left = n - 1;
  for (; left >= 258; left -= 258) w.Code(0xC5, 8), w.Code(0, 5);  // length 258 (code 285), distance 1
  for (; left > 0; --left) w.Code(0x30, 8);
  w.Code(0, 7);
  return {"data", w.bytes, 0x12345678, n};  // CRC of n zeros it is not
}

// Empty blocks up to `bytes`, then an empty last block: nothing comes out, so
// an entry claiming 0 bytes with CRC 0 checks out.
// With `literalEvery` above 0, every that many empty blocks are followed by
// a dynamic block of one literal ("x"), and the entry claims its own length.
enum class Kind { Stored, Fixed, Dynamic };
Entry EmptyBlocks(uint64_t bytes, Kind kind, int literalEvery = 0) {
  BitWriter w;
  for (uint64_t block = 1; w.bytes.size() < bytes; ++block) {
    if (literalEvery > 0 && block % static_cast<uint64_t>(literalEvery + 1) == 0) {
      // As below, with "x" and the end of block at length 1 (codes 0 and 1).
      w.Put(0, 1), w.Put(2, 2), w.Put(0, 5), w.Put(0, 5), w.Put(14, 4);
      for (int symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1})
        w.Put(symbol == 18 || symbol == 1 ? 1 : 0, 3);
      w.Code(1, 1), w.Put('x' - 11, 7), w.Code(0, 1), w.Code(1, 1), w.Put(255 - 'x' - 11, 7);
      w.Code(0, 1), w.Code(0, 1);  // end of block, the one distance code
      w.Code(0, 1), w.Code(1, 1);  // "x", end of block
      continue;
    }
    w.Put(0, 1);
    if (kind == Kind::Stored) {
      w.Put(0, 2), w.Align(), w.Put(0, 16), w.Put(0xFFFF, 16);
    } else if (kind == Kind::Fixed) {
      w.Put(1, 2), w.Code(0, 7);
    } else {
      // 257 literal/length codes, 1 distance code, 18 code-length codes of
      // which only 1 and 18 have a length (1 each: codes 0 and 1).
      w.Put(2, 2), w.Put(0, 5), w.Put(0, 5), w.Put(14, 4);
      for (int symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1})
        w.Put(symbol == 18 || symbol == 1 ? 1 : 0, 3);
      w.Code(1, 1), w.Put(138 - 11, 7), w.Code(1, 1), w.Put(118 - 11, 7);  // 256 zero lengths
      w.Code(0, 1), w.Code(0, 1);  // the end-of-block code and the one distance code: length 1
      w.Code(0, 1);                // end of block
    }
  }
  w.Put(1, 1), w.Put(1, 2), w.Code(0, 7);
  return {"data", w.bytes, 0, literalEvery > 0 ? static_cast<uint32_t>(w.bytes.size()) : 0};
}

void Run(const char* what, const Bytes& zip) {
  const auto start = std::chrono::steady_clock::now();
  std::string outcome;
  try {
    const kv::TReserveArchive archive = kv::ReadReserveArchive(zip);
    outcome = "read, list of " + std::to_string(archive.list.size()) + " bytes";
  } catch (const std::exception& e) {
    outcome = e.what();
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-44s %9.2f MB %8.2f s  %s\n", what, zip.size() / 1e6, s, outcome.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 16;
  Run("zeros, 127 MiB, wrong CRC", Zip({Zeros(uint32_t{127} << 20), SizeEntry()}));
  const std::string size = std::to_string(megabytes);
  Run(("empty dynamic blocks, " + size + " MiB").c_str(), Zip({EmptyBlocks(megabytes << 20, Kind::Dynamic), SizeEntry()}));
  Entry claiming = EmptyBlocks(megabytes << 20, Kind::Dynamic);
  claiming.size = static_cast<uint32_t>(claiming.data.size());
  Run(("empty dynamic blocks, " + size + " MiB, claiming as much").c_str(), Zip({claiming, SizeEntry()}));
  for (int every : {64, 7}) {
    Run(("dynamic, " + std::to_string(every) + " empty per literal, " + size + " MiB").c_str(),
        Zip({EmptyBlocks(megabytes << 20, Kind::Dynamic, every), SizeEntry()}));
  }
  Run(("empty fixed blocks, " + size + " MiB").c_str(), Zip({EmptyBlocks(megabytes << 20, Kind::Fixed), SizeEntry()}));
  Run(("empty stored blocks, " + size + " MiB").c_str(), Zip({EmptyBlocks(megabytes << 20, Kind::Stored), SizeEntry()}));
  return 0;
}
