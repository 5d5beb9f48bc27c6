// Inflate throughput against zlib on the same raw deflate streams, in one run.
//   inflate_bench [megabytes-per-sample]
// Prints MB/s of uncompressed output for both and the ratio (target >= 0.5).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "zip/decode_io.h"

#if !__has_include(<zlib.h>)
int main() {
  std::printf("inflate_bench: zlib is not available in this build; run the native benchmark tree\n");
  return 0;
}
#else
#include <zlib.h>

namespace {

std::vector<uint8_t> Sample(const std::string& kind, size_t size) {
  std::mt19937 rng(1);
  std::vector<uint8_t> out;
  out.reserve(size);
  const char* words[] = {"kelvarin ", "duplicate ", "music ", "track ", "album ", "artist ", "title ", "remix "};
  while (out.size() < size) {
    if (kind == "text") {
      const char* w = words[rng() % 8];
      while (*w) out.push_back(static_cast<uint8_t>(*w++));
    } else if (kind == "binary") {  // structured binary: records with counters and noise
      const uint32_t v = static_cast<uint32_t>(out.size() / 16);
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
      for (int i = 0; i < 12; ++i) out.push_back(static_cast<uint8_t>(rng() % 16));
    } else {  // noise: mostly stored blocks
      out.push_back(static_cast<uint8_t>(rng()));
    }
  }
  out.resize(size);
  return out;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
  const size_t size = megabytes << 20;
  std::printf("%-8s %5s %10s %12s %12s %7s\n", "data", "level", "packed", "ours MB/s", "zlib MB/s", "ratio");
  for (const char* kindName : {"text", "binary", "noise"}) {
    const std::string kind = kindName;
    const std::vector<uint8_t> plain = Sample(kind, size);
    for (int level : {1, 6, 9}) {
      z_stream z{};
      deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
      std::vector<uint8_t> packed(deflateBound(&z, static_cast<uLong>(plain.size())));
      z.next_in = const_cast<Bytef*>(plain.data());
      z.avail_in = static_cast<uInt>(plain.size());
      z.next_out = packed.data();
      z.avail_out = static_cast<uInt>(packed.size());
      deflate(&z, Z_FINISH);
      packed.resize(z.total_out);
      deflateEnd(&z);

      double ours = 1e9, theirs = 1e9;
      for (int round = 0; round < 3; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        kv::TSpanInput in(packed);
        kv::TVectorOutput out(plain.size());
        out.Bytes().reserve(plain.size());
        if (kv::Inflate(in, out) != kv::TDecodeResult::Ok || out.Bytes() != plain) {
          std::printf("inflate_bench: our inflate failed\n");
          return 1;
        }
        ours = std::min(ours, Seconds(std::chrono::steady_clock::now() - t0));

        t0 = std::chrono::steady_clock::now();
        std::vector<uint8_t> ref(plain.size());
        z_stream u{};
        inflateInit2(&u, -15);
        u.next_in = packed.data();
        u.avail_in = static_cast<uInt>(packed.size());
        u.next_out = ref.data();
        u.avail_out = static_cast<uInt>(ref.size());
        inflate(&u, Z_FINISH);
        inflateEnd(&u);
        theirs = std::min(theirs, Seconds(std::chrono::steady_clock::now() - t0));
      }
      const double mb = static_cast<double>(size) / (1 << 20);
      std::printf("%-8s %5d %10zu %12.1f %12.1f %7.2f\n", kind.c_str(), level, packed.size(), mb / ours, mb / theirs,
                  theirs / ours);
    }
  }
  return 0;
}
#endif
