#include "zip/deflate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "tests/zip/zip_test_util.h"

#if KV_DEFLATE_ZLIB_ORACLE
#include <zlib.h>
#endif

namespace kv {
namespace {

using Bytes = std::vector<uint8_t>;

using test::Binary;
using test::Random;
using test::Text;

struct Result {
  Bytes out;
  uint64_t size = 0;
  DeflateEntry entry;
};

// Deflates `in`, delivering at most `chunk` bytes per read.
Result Squeeze(Deflater& d, const Bytes& in, int level, size_t chunk = SIZE_MAX, DeflateEntry entry = {}) {
  Result r{{}, 0, entry};
  size_t pos = 0;
  const auto read = [&](std::span<uint8_t> buf) {
    const size_t n = std::min({buf.size(), in.size() - pos, chunk});
    if (n != 0) std::memcpy(buf.data(), in.data() + pos, n);
    pos += n;
    return n;
  };
  const auto write = [&](std::span<const uint8_t> b) { r.out.insert(r.out.end(), b.begin(), b.end()); };
  r.size = d.Deflate(level, read, write, r.entry);
  EXPECT_EQ(pos, in.size());
  return r;
}

Result Squeeze(const Bytes& in, int level, size_t chunk = SIZE_MAX, DeflateEntry entry = {}) {
  Deflater d;
  return Squeeze(d, in, level, chunk, entry);
}

#if KV_DEFLATE_ZLIB_ORACLE
Bytes ZlibInflate(const Bytes& in, size_t expected) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  Bytes out(expected + 1);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  EXPECT_EQ(rc, Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u) << "bytes after the last block";
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}
#endif

struct Sample {
  const char* name;
  Bytes data;
};

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = [] {
    std::vector<Sample> s;
    s.push_back({"empty", {}});
    s.push_back({"one byte", {'x'}});
    s.push_back({"short text", Text(40, 1)});
    s.push_back({"70 KB text crossing the slide", Text(70000, 2)});
    s.push_back({"1 MiB random", Random(1 << 20, 3)});
    s.push_back({"300 KB of one byte", Bytes(300000, 'a')});
    s.push_back({"2 MB text", Text(2000000, 4)});
    s.push_back({"200 KB binary", Binary(200000, 7)});
    // Incompressible for a window and a half, then text: the first block
    // cannot be written raw once the window has slid past its start.
    Bytes mixed = Random(50000, 5);
    const Bytes tail = Text(60000, 6);
    mixed.insert(mixed.end(), tail.begin(), tail.end());
    s.push_back({"random then text", std::move(mixed)});
    return s;
  }();
  return samples;
}

TEST(Deflate, EveryLevelRoundTripsAndReportsWhatItWrote) {
  Deflater d;  // one deflater for everything, as the writer uses it
  for (const auto& s : Samples()) {
    for (int level = 1; level <= 9; ++level) {
      SCOPED_TRACE(std::string(s.name) + " level " + std::to_string(level));
      const Result r = Squeeze(d, s.data, level);
      EXPECT_EQ(r.size, r.out.size());
      if (r.entry.method == 0) {
        EXPECT_EQ(r.out, s.data) << "method 0 must be the raw bytes";
      } else {
        EXPECT_EQ(r.entry.method, 8);
#if KV_DEFLATE_ZLIB_ORACLE
        EXPECT_EQ(ZlibInflate(r.out, s.data.size()), s.data);
#endif
      }
    }
  }
}

TEST(Deflate, OutputDependsOnlyOnTheInputAndTheLevel) {
  const Bytes in = Samples()[6].data;  // 2 MB text: many slides and blocks
  for (int level : {1, 6, 9}) {
    const Result whole = Squeeze(in, level);
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{4095}}) {
      if (chunk == 1 && level != 6) continue;  // byte-wise reads are slow under ASan
      EXPECT_EQ(Squeeze(in, level, chunk).out, whole.out) << "level " << level << " chunk " << chunk;
    }
  }
  // A deflater reused after other entries at other levels matches a fresh one.
  Deflater reused;
  Squeeze(reused, Random(100000, 9), 9);
  Squeeze(reused, Text(90000, 10), 1);
  EXPECT_EQ(Squeeze(reused, Samples()[3].data, 6).out, Squeeze(Samples()[3].data, 6).out);
}

// A read answering 65535 has no more input; no read asks for as many bytes,
// so no count of bytes delivered can be taken for it.
TEST(Deflate, ReadsAnsweringTheEndMarkEndTheInput) {
  const Bytes in = Text(200000, 11);
  for (const size_t firstRead : {size_t{1}, size_t{100}, size_t{40000}}) {
    size_t reads = 0, largest = 0;
    const auto read = [&](std::span<uint8_t> buf) -> size_t {
      largest = std::max(largest, buf.size());
      if (reads++ > 0) return reads == 2 ? 65535 : 0;
      const size_t n = std::min(buf.size(), firstRead);
      std::memcpy(buf.data(), in.data(), n);
      return n;
    };
    Bytes out;
    const auto write = [&](std::span<const uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); };
    Deflater d;
    DeflateEntry entry;
    d.Deflate(6, read, write, entry);
    const Bytes delivered(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(firstRead, 32768)));
    EXPECT_TRUE(out == Squeeze(delivered, 6).out) << firstRead;
    EXPECT_LE(largest, 65534u) << firstRead;
  }
}

TEST(Deflate, FlagsMethodAndTextBitFollowLevelAndData) {
  // Flag bits already set stay set; the text bit is decided only when it
  // comes in as 2 (unknown).
  struct Case {
    const char* name;
    Bytes data;
    int level;
    uint16_t attributesIn, flags, method, attributesOut;
    uint64_t maxSize;
  } cases[] = {
      {"text", Text(20000, 13), 1, 2, 4, 8, 1, UINT64_MAX},
      {"random", Random(20000, 14), 2, 2, 4, 0, 0, UINT64_MAX},
      {"text already known as binary", Text(20000, 16), 3, 0, 0, 8, 0, UINT64_MAX},
      {"nothing", {}, 4, 0, 0, 0, 0, 0},
      {"six distinct bytes cannot shrink", {'q', 'w', 'e', 'r', 't', 'y'}, 6, 0, 0, 0, 0, 6},
      // One literal, then matches of 258 at distance 1: about 2 bits each.
      {"runs of one byte collapse", Bytes(300000, 'a'), 7, 0, 0, 8, 0, 400},
      // 'a' and one match of 258 at distance 1 in a fixed block: 3 + 8 + 8 + 5 + 7 bits.
      {"one literal, then the match", Bytes(259, 'a'), 1, 0, 4, 8, 0, 4},
      {"one literal, then the match", Bytes(259, 'a'), 6, 0, 0, 8, 0, 4},
      {"binary", Binary(20000, 15), 8, 2, 2, 8, 0, UINT64_MAX},
      {"text", Text(5000, 12), 9, 2, 2, 8, 1, UINT64_MAX},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " level " + std::to_string(c.level));
    const Result r = Squeeze(c.data, c.level, SIZE_MAX, {0x0800, 8, c.attributesIn});
    EXPECT_EQ(r.entry.flags, 0x0800 | c.flags);
    EXPECT_EQ(r.entry.method, c.method);
    EXPECT_EQ(r.entry.internalAttributes, c.attributesOut);
    EXPECT_LE(r.size, c.maxSize);
  }
}

#if KV_DEFLATE_ZLIB_ORACLE
TEST(Deflate, CompressesAsWellAsZlibAtTheSameLevel) {
  // A matcher that misses matches still round-trips; the size gives it away.
  // zlib at memory level 9 buffers as many items per block as we do.
  const Bytes inputs[] = {Text(500000, 17), Binary(300000, 18)};
  for (const auto& in : inputs) {
    for (int level : {1, 3, 4, 6, 9}) {
      const double ours = static_cast<double>(Squeeze(in, level).size);
      const double theirs = static_cast<double>(test::ZlibDeflate(in, level, Z_DEFAULT_STRATEGY, 15, 9).size());
      EXPECT_LT(ours, theirs * 1.01) << "level " << level;
      EXPECT_GT(ours, theirs * 0.95) << "level " << level << ": suspiciously small";
    }
  }
}
#endif

}  // namespace
}  // namespace kv
