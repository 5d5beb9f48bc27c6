// Deflate against zlib at levels 1, 6 and 9 on text, binary, random and zero
// data: compressed size and throughput as a ratio to zlib in the same run
// (zlib at its default memory level and at level 9, whose block buffer is
// the size of ours). Then the time to save archives of 10, 100 and 1000
// entries through the writer.
//
// Native figures: build the benchmarks in a tree without sanitizers
// (see DEVELOPERS.md) and run build/bench/deflate_bench.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/zip/zip_test_util.h"
#include "zip/deflate.h"
#include "zip/zipper.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// The sample data of the writer's tests.
Bytes Text(size_t size) { return kv::test::Text(size, 1); }
Bytes Binary(size_t size) { return kv::test::Binary(size, 2); }
Bytes Random(size_t size) { return kv::test::Random(size, 3); }

template <class F>
double SecondsPerRun(F&& f) {
  f();  // warm up
  int runs = 0;
  const auto start = Clock::now();
  double elapsed = 0;
  do {
    f();
    ++runs;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < 0.5);
  return elapsed / runs;
}

size_t Ours(kv::Deflater& d, const Bytes& in, int level) {
  size_t pos = 0, out = 0;
  kv::DeflateEntry e;
  d.Deflate(
      level,
      [&](std::span<uint8_t> buf) {
        const size_t n = std::min(buf.size(), in.size() - pos);
        std::memcpy(buf.data(), in.data() + pos, n);
        pos += n;
        return n;
      },
      [&](std::span<const uint8_t> b) { out += b.size(); }, e);
  return out;
}

#if KV_DEFLATE_ZLIB_ORACLE
size_t Zlib(const Bytes& in, int level, int memLevel) {
  return kv::test::ZlibDeflate(in, level, Z_DEFAULT_STRATEGY, 15, memLevel).size();
}
#endif

// The zip-string road on real files: an archive of N entries of about 2 KB
// of text is built entry by entry; then one more entry is added and one is
// replaced in the full archive (each rewrites the whole archive).
void SaveTimes() {
  const auto dir = std::filesystem::temp_directory_path() / "kv_deflate_bench";
  std::filesystem::create_directories(dir);
  const std::string archive = (dir / "bench.zip").string();
  std::printf("\n%8s %12s %14s %14s %10s\n", "entries", "build (s)", "add one (ms)", "replace (ms)", "size (KB)");
  for (int n : {10, 100, 1000}) {
    std::filesystem::remove(archive);
    const Bytes text = Text(2000);
    const auto save = [&](const std::string& name) {
      kv::TZipper z;
      z.SetZipName(archive);
      z.ZipFromBuffer(text.data(), text.size(), name);
    };
    const auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) save("entry" + std::to_string(i));
    const double build = std::chrono::duration<double>(Clock::now() - t0).count();
    const auto t1 = Clock::now();
    save("extra");
    const double add = std::chrono::duration<double>(Clock::now() - t1).count();
    const double replace = SecondsPerRun([&] { save("entry" + std::to_string(n / 2)); });
    std::printf("%8d %12.3f %14.2f %14.2f %10.1f\n", n, build, add * 1e3, replace * 1e3,
                static_cast<double>(std::filesystem::file_size(archive)) / 1024);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace

int main() {
  const size_t kSize = 8 << 20;
  struct Data {
    const char* name;
    Bytes bytes;
  } data[] = {{"text", Text(kSize)}, {"binary", Binary(kSize)}, {"random", Random(kSize)}, {"zero", Bytes(kSize)}};
  kv::Deflater d;
#if KV_DEFLATE_ZLIB_ORACLE
  std::printf("%-7s %5s %10s %10s %10s %7s %7s %9s %9s %7s\n", "data", "level", "ours", "zlib", "zlib-m9",
              "size%", "size%m9", "ours MB/s", "zlib MB/s", "speed");
#else
  std::printf("%-7s %5s %10s %9s\n", "data", "level", "ours", "ours MB/s");
#endif
  for (const auto& x : data) {
    for (int level : {1, 6, 9}) {
      const size_t ours = Ours(d, x.bytes, level);
      const double tOurs = SecondsPerRun([&] { Ours(d, x.bytes, level); });
      const double mb = static_cast<double>(x.bytes.size()) / 1e6;
#if KV_DEFLATE_ZLIB_ORACLE
      const size_t z8 = Zlib(x.bytes, level, 8);
      const size_t z9 = Zlib(x.bytes, level, 9);
      const double tZlib = SecondsPerRun([&] { Zlib(x.bytes, level, 8); });
      std::printf("%-7s %5d %10zu %10zu %10zu %+6.2f%% %+6.2f%% %9.1f %9.1f %6.2fx\n", x.name, level, ours, z8, z9,
                  100.0 * (static_cast<double>(ours) / z8 - 1), 100.0 * (static_cast<double>(ours) / z9 - 1),
                  mb / tOurs, mb / tZlib, tZlib / tOurs);
#else
      std::printf("%-7s %5d %10zu %9.1f\n", x.name, level, ours, mb / tOurs);
#endif
    }
  }
  SaveTimes();
  return 0;
}
