#include "zip/deflate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#if KV_DEFLATE_ZLIB_ORACLE
#include <zlib.h>
#endif

namespace kv {
namespace {

using Bytes = std::vector<uint8_t>;

// Word soup with enough repetition at every distance to exercise the matcher.
Bytes Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"the",    "music",  "file",   "artist", "title", "album",
                                       "similar", "group",  "folder", "track",  "of",    "and",
                                       "kelvarin", "delete", "reserve", "scan",  "\r\n",  "duplicate"};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < size) {
    const char* w = kWords[rng() % std::size(kWords)];
    out.insert(out.end(), w, w + std::strlen(w));
    out.push_back(rng() % 9 == 0 ? ',' : ' ');
  }
  out.resize(size);
  return out;
}

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// Structured binary: little-endian counters and a slowly changing pattern.
Bytes Binary(size_t size) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(i % 4 == 0 ? i >> 10 : (i * 7) >> (i % 3));
  return out;
}

struct Result {
  Bytes out;
  uint64_t size = 0;
  DeflateEntry entry;
};

// Deflates `in`, delivering at most `chunk` bytes per read.
Result Squeeze(Deflater& d, const Bytes& in, int level, size_t chunk = SIZE_MAX) {
  Result r;
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

Result Squeeze(const Bytes& in, int level, size_t chunk = SIZE_MAX) {
  Deflater d;
  return Squeeze(d, in, level, chunk);
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

size_t ZlibSize(const Bytes& in, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, in.size()));
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  const size_t n = z.total_out;
  deflateEnd(&z);
  return n;
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
    s.push_back({"200 KB binary", Binary(200000)});
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

TEST(Deflate, OutputDoesNotDependOnHowTheInputArrives) {
  const Bytes in = Samples()[6].data;  // 2 MB text: many slides and blocks
  for (int level : {1, 6, 9}) {
    const Result whole = Squeeze(in, level);
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{4095}}) {
      if (chunk == 1 && level != 6) continue;  // byte-wise reads are slow under ASan
      EXPECT_EQ(Squeeze(in, level, chunk).out, whole.out) << "level " << level << " chunk " << chunk;
    }
  }
}

TEST(Deflate, ReusedDeflaterMatchesAFreshOne) {
  Deflater reused;
  Squeeze(reused, Random(100000, 9), 9);
  Squeeze(reused, Text(90000, 10), 1);
  const Bytes in = Text(80000, 11);
  EXPECT_EQ(Squeeze(reused, in, 6).out, Squeeze(in, 6).out);
}

TEST(Deflate, FlagsAndMethodFollowLevelAndData) {
  struct Case {
    int level;
    uint16_t flags;
  } cases[] = {{1, 4}, {2, 4}, {3, 0}, {4, 0}, {6, 0}, {7, 0}, {8, 2}, {9, 2}};
  const Bytes text = Text(5000, 12);
  for (const auto& c : cases) {
    DeflateEntry e;
    e.flags = 0x0800;  // bits already set stay set
    Deflater d;
    d.Deflate(c.level, [](std::span<uint8_t>) { return size_t{0}; }, [](std::span<const uint8_t>) {}, e);
    EXPECT_EQ(e.flags, 0x0800 | c.flags) << "level " << c.level;
  }
  // Nothing in, nothing out, stored.
  const Result empty = Squeeze({}, 6);
  EXPECT_EQ(empty.size, 0u);
  EXPECT_EQ(empty.entry.method, 0);
  // A few distinct bytes cannot shrink: written raw.
  const Bytes tiny = {'q', 'w', 'e', 'r', 't', 'y'};
  const Result raw = Squeeze(tiny, 6);
  EXPECT_EQ(raw.entry.method, 0);
  EXPECT_EQ(raw.out, tiny);
  // Compressible text is deflated.
  EXPECT_EQ(Squeeze(text, 6).entry.method, 8);
}

TEST(Deflate, DecidesTextOrBinaryOnlyWhenAskedTo) {
  struct Case {
    const char* name;
    Bytes data;
    uint16_t before, after;
  } cases[] = {
      {"text", Text(20000, 13), 2, 1},
      {"random", Random(20000, 14), 2, 0},
      {"already known as binary", Text(20000, 16), 0, 0},
  };
  for (auto& c : cases) {
    Deflater d;
    DeflateEntry e;
    e.internal_attributes = c.before;
    size_t pos = 0;
    d.Deflate(
        1,
        [&](std::span<uint8_t> buf) {
          const size_t n = std::min(buf.size(), c.data.size() - pos);
          std::memcpy(buf.data(), c.data.data() + pos, n);
          pos += n;
          return n;
        },
        [](std::span<const uint8_t>) {}, e);
    EXPECT_EQ(e.internal_attributes, c.after) << c.name;
  }
}

TEST(Deflate, RunsOfOneByteCollapse) {
  // One literal then matches of 258 at distance 1: about 2 bits per match.
  const Result r = Squeeze(Bytes(300000, 'a'), 6);
  EXPECT_LT(r.size, 400u);
  EXPECT_EQ(r.entry.method, 8);
}

#if KV_DEFLATE_ZLIB_ORACLE
TEST(Deflate, CompressesAsWellAsZlibAtTheSameLevel) {
  // A matcher that misses matches still round-trips; the size gives it away.
  // zlib at memory level 9 buffers as many items per block as we do.
  const Bytes inputs[] = {Text(500000, 17), Binary(300000)};
  for (const auto& in : inputs) {
    for (int level : {1, 3, 4, 6, 9}) {
      const double ours = static_cast<double>(Squeeze(in, level).size);
      const double theirs = static_cast<double>(ZlibSize(in, level));
      EXPECT_LT(ours, theirs * 1.01) << "level " << level;
      EXPECT_GT(ours, theirs * 0.95) << "level " << level << ": suspiciously small";
    }
  }
}
#endif

}  // namespace
}  // namespace kv
