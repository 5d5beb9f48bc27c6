// Unshrink (method 1) cost on streams that write little and clear often.
//   unshrink_bench [megabytes]
// Prints seconds per MiB of input for: partial clears alone, clears between
// codes that refill the table, and a plain stream of literals (the table fills
// and is cleared every 7,935 codes) for the ordinary speed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zip/decode_io.h"

namespace {

struct BitSink {
  std::vector<uint8_t> out;
  uint64_t acc = 0;
  int n = 0;
  void Put(uint32_t v, int bits) {
    acc |= uint64_t{v} << n;
    n += bits;
    while (n >= 8) {
      out.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      n -= 8;
    }
  }
};

constexpr uint32_t kControl = 256;

// 'a', then only control code 256 subcode 2.
std::vector<uint8_t> ClearsOnly(size_t size) {
  BitSink s;
  s.Put('a', 9);
  while (s.out.size() < size) {
    s.Put(kControl, 9);
    s.Put(2, 9);
  }
  return s.out;
}

// Literals that fill the table with a chain of codes, each new code extending
// the last, then clears between single literals.
std::vector<uint8_t> ChainThenClears(size_t size) {
  BitSink s;
  s.Put('a', 9);
  for (int i = 0; i < 7935; ++i) s.Put(static_cast<uint32_t>(i & 0xFF), 9);
  while (s.out.size() < size) {
    s.Put(kControl, 9);
    s.Put(2, 9);
    s.Put('b', 9);
  }
  return s.out;
}

// Literal bytes only, with a clear whenever the table is full: decodes to the
// literals themselves.
std::vector<uint8_t> Literals(size_t size, size_t& plain) {
  BitSink s;
  plain = 0;
  uint32_t added = 0;
  uint32_t x = 1;
  bool first = true;
  while (s.out.size() < size) {
    x = x * 1103515245u + 12345u;
    s.Put((x >> 16) & 0xFF, 9);
    ++plain;
    if (first) {
      first = false;
      continue;
    }
    if (++added == 8192 - 257) {  // full: every code is a leaf of a byte, so a clear frees all
      s.Put(kControl, 9);
      s.Put(2, 9);
      added = 0;
    }
  }
  s.Put(0, 9);
  ++plain;
  return s.out;
}

double Run(const std::vector<uint8_t>& packed, size_t& produced) {
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    const auto t0 = std::chrono::steady_clock::now();
    kv::TSpanInput in(packed);
    kv::TVectorOutput out(size_t{1} << 30);
    const kv::TDecodeResult r = kv::Unshrink(in, out);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r != kv::TDecodeResult::Ok && r != kv::TDecodeResult::BadData) std::printf("unexpected result %d\n", int(r));
    produced = out.Bytes().size();
    best = std::min(best, s);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4;
  const size_t size = megabytes << 20;
  size_t plain = 0;
  const struct {
    const char* name;
    std::vector<uint8_t> packed;
  } cases[] = {{"clears only", ClearsOnly(size)},
               {"chain, then clears", ChainThenClears(size)},
               {"literals", Literals(size, plain)}};
  std::printf("%-20s %10s %12s %10s %10s\n", "stream", "input", "output", "seconds", "s/MiB");
  for (const auto& c : cases) {
    size_t produced = 0;
    const double s = Run(c.packed, produced);
    std::printf("%-20s %10zu %12zu %10.3f %10.3f\n", c.name, c.packed.size(), produced, s,
                s / (double(c.packed.size()) / (1 << 20)));
  }
  return 0;
}
