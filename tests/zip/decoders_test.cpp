// Inflate against zlib (native build) and on crafted bad streams; unreduce by
// a test-only encoder and a hand-built vector; corrupt inputs of the older
// methods end in the result that names their fault.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/zip/zip_test_util.h"
#include "zip/decode_io.h"
#include "zip/inflate.h"
#include "zip/zip_errors.h"


namespace kv {
namespace {

// Hands the input out in blocks of 1 to 7 bytes, to cross every refill boundary.
class DribbleInput : public TDecodeInput {
 public:
  explicit DribbleInput(std::span<const uint8_t> bytes) : bytes_(bytes) {}

 protected:
  bool Refill() override {
    if (pos_ >= bytes_.size()) return false;
    const size_t n = std::min<size_t>(1 + pos_ % 7, bytes_.size() - pos_);
    cur_ = bytes_.data() + pos_;
    end_ = cur_ + n;
    pos_ += n;
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

struct Decoded {
  TDecodeResult result;
  std::vector<uint8_t> bytes;
};

template <class Fn>
Decoded Decode(const std::vector<uint8_t>& in, Fn decode, bool dribble = false) {
  TVectorOutput out(64 << 20);
  TSpanInput whole(in);
  DribbleInput small(in);
  TDecodeResult r = dribble ? decode(static_cast<TDecodeInput&>(small), out) : decode(static_cast<TDecodeInput&>(whole), out);
  return {r, out.Bytes()};
}

Decoded RunInflate(const std::vector<uint8_t>& in, bool dribble = false) {
  return Decode(in, [](TDecodeInput& i, TDecodeOutput& o) { return Inflate(i, o); }, dribble);
}

std::vector<std::vector<uint8_t>> SampleData() {
  const auto text = test::Text(300000, 11), noise = test::Random(100000, 12);
  auto mixed = text;
  mixed.insert(mixed.begin() + 1000, noise.begin(), noise.begin() + 40000);
  return {{}, {'x'}, text, noise, std::vector<uint8_t>(200000, 0), mixed};
}

// LSB-first bit writer for crafted streams; Huffman codes go most significant bit first.
struct Bits {
  std::vector<uint8_t> out;
  int n = 0;
  Bits& Put(uint32_t v, int count) {
    for (int i = 0; i < count; ++i) {
      if (n % 8 == 0) out.push_back(0);
      out.back() |= static_cast<uint8_t>(((v >> i) & 1) << (n % 8));
      ++n;
    }
    return *this;
  }
  Bits& Code(uint32_t code, int len) {
    for (int i = len - 1; i >= 0; --i) Put((code >> i) & 1, 1);
    return *this;
  }
};

// The header of a final block of the fixed (1) or dynamic (2) code.
Bits FinalBlock(uint32_t type) { return std::move(Bits().Put(1, 1).Put(type, 2)); }

#ifdef KV_HAVE_ZLIB
TEST(Inflate, EqualsZlibAtEveryLevelAndStrategy) {
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  int streams = 0;
  for (const auto& data : SampleData()) {
    for (int level = 0; level <= 9; ++level) {
      for (int strategy : strategies) {
        for (int windowBits : {9, 15}) {
          const auto packed = test::ZlibDeflate(data, level, strategy, windowBits, windowBits == 9 ? 1 : 8);
          const Decoded d = RunInflate(packed, (streams % 5) == 0);
          ASSERT_EQ(d.result, TDecodeResult::Ok) << level << "/" << strategy << "/" << windowBits;
          ASSERT_TRUE(d.bytes == data) << level << "/" << strategy << "/" << windowBits;
          ++streams;
        }
      }
    }
  }
}
#endif

TEST(Inflate, CraftedStreams) {
  Bits overSubscribed = FinalBlock(2).Put(0, 5).Put(0, 5).Put(15, 4);  // 19 code-length codes, all of length 1
  for (int i = 0; i < 19; ++i) overSubscribed.Put(1, 3);
  // Dynamic headers over a complete code-length code: 16 and 18 at 2 bits,
  // 0..15 at 5 bits, 17 unused.
  auto dynamic = [](uint32_t hlit, uint32_t hdist) {
    Bits b = FinalBlock(2).Put(hlit, 5).Put(hdist, 5).Put(15, 4);  // all 19 code-length lengths follow
    const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (int sym : order) b.Put(sym == 16 || sym == 18 ? 2 : sym == 17 ? 0 : 5, 3);
    return b;
  };
  // Its canonical codes: 16 -> 00, 18 -> 01, 0..15 -> 10000 + the length.
  auto lengthSym = [](Bits& b, int sym) -> Bits& {
    if (sym == 16) return b.Code(0, 2);
    if (sym == 18) return b.Code(1, 2);
    return b.Code(0x10 + static_cast<uint32_t>(sym), 5);
  };
  Bits repeatPast = dynamic(0, 0);
  lengthSym(repeatPast, 8);
  for (int i = 0; i < 2; ++i) lengthSym(repeatPast, 18).Put(127, 7);  // 1 + 2 x 138 > 258
  Bits repeatFirst = dynamic(0, 0);
  lengthSym(repeatFirst, 16).Put(0, 2);
  // Lengths 8 for the 256 literals (the first, then repeats of it), none for
  // end of block, one distance of length 1.
  Bits noEnd = dynamic(0, 0);
  lengthSym(noEnd, 8);
  for (int i = 0; i < 42; ++i) lengthSym(noEnd, 16).Put(3, 2);  // 42 x 6
  lengthSym(noEnd, 16).Put(0, 2);                                // + 3 = 255
  lengthSym(noEnd, 0);
  lengthSym(noEnd, 1);
  // Four literal/length codes of length 1: over-subscribed.
  Bits overLiteral = dynamic(0, 0);
  for (int i = 0; i < 3; ++i) lengthSym(overLiteral, 1);
  lengthSym(overLiteral, 18).Put(127, 7);  // 138 zeros
  lengthSym(overLiteral, 18).Put(104, 7);  // + 115 = up to symbol 255
  lengthSym(overLiteral, 1);               // end of block
  lengthSym(overLiteral, 1);               // one distance
  // A literal/length code of two 2-bit codes: incomplete.
  Bits incompleteLiteral = dynamic(0, 0);
  lengthSym(incompleteLiteral, 2);
  lengthSym(incompleteLiteral, 18).Put(127, 7);  // 138 zeros
  lengthSym(incompleteLiteral, 18).Put(106, 7);  // + 117 = up to symbol 255
  lengthSym(incompleteLiteral, 2);               // end of block
  lengthSym(incompleteLiteral, 1);               // one distance
  // One code-length code of 2 bits: incomplete.
  Bits incompleteLengths = FinalBlock(2).Put(0, 5).Put(0, 5).Put(0, 4).Put(2, 3).Put(0, 9);
  const struct {
    const char* what;
    std::vector<uint8_t> in;
    TDecodeResult result;
    TInflateFault fault;
  } cases[] = {
      {"empty input", {}, TDecodeResult::Truncated, TInflateFault::kTruncated},
      {"block type 3", {0x07}, TDecodeResult::BadTable, TInflateFault::kBadBlockType},
      {"stored length and complement disagree", {0x01, 0x05, 0x00, 0x00, 0x00}, TDecodeResult::BadData,
       TInflateFault::kStoredLengthMismatch},
      {"stored block cut short", {0x01, 0x05, 0x00, 0xFA, 0xFF, 'a', 'b'}, TDecodeResult::Truncated,
       TInflateFault::kTruncated},
      // Length code 257, distance 1, before any output.
      {"distance before the start", FinalBlock(1).Code(1, 7).Code(0, 5).out, TDecodeResult::BadData,
       TInflateFault::kDistanceTooFarBack},
      {"distance code 30", FinalBlock(1).Code(0x30 + 'a', 8).Code(1, 7).Code(30, 5).out, TDecodeResult::BadData,
       TInflateFault::kBadCode},
      {"length code 286", FinalBlock(1).Code(0xC0 + 6, 8).out, TDecodeResult::BadData, TInflateFault::kBadCode},
      {"287 literal/length codes", FinalBlock(2).Put(30, 5).Put(0, 5).Put(0, 4).Put(0, 24).out,
       TDecodeResult::BadData, TInflateFault::kTooManySymbols},
      {"over-subscribed code-length code", overSubscribed.out, TDecodeResult::BadTable,
       TInflateFault::kBadCodeLengthCode},
      {"repeat past the lengths", repeatPast.out, TDecodeResult::BadData, TInflateFault::kRepeatOverflow},
      {"repeat before the first length", repeatFirst.out, TDecodeResult::BadData, TInflateFault::kRepeatOverflow},
      {"no end-of-block code", noEnd.out, TDecodeResult::BadData, TInflateFault::kNoEndOfBlock},
      {"over-subscribed literal code", overLiteral.out, TDecodeResult::BadTable, TInflateFault::kBadCodeLengths},
      {"incomplete literal code", incompleteLiteral.out, TDecodeResult::BadData, TInflateFault::kBadCodeLengths},
      {"incomplete code-length code", incompleteLengths.out, TDecodeResult::BadData,
       TInflateFault::kBadCodeLengthCode},
  };
  for (const auto& c : cases) {
    for (bool dribble : {false, true}) {
      TVectorOutput out(1 << 20);
      TSpanInput whole(c.in);
      DribbleInput small(c.in);
      TInflateFault fault = TInflateFault::kNone;
      const TDecodeResult r = Inflate(dribble ? static_cast<TDecodeInput&>(small) : whole, out, fault);
      EXPECT_EQ(r, c.result) << c.what;
      EXPECT_EQ(fault, c.fault) << c.what << ": " << InflateFaultText(fault);
    }
  }

  // A fixed block decodes with its incomplete distance code: "abc", length 4
  // at distance 3, end of block.
  Bits fixed = FinalBlock(1).Code(0x30 + 'a', 8).Code(0x30 + 'b', 8).Code(0x30 + 'c', 8);
  fixed.Code(2, 7).Code(2, 5).Code(0, 7);
  const Decoded d = RunInflate(fixed.out);
  EXPECT_EQ(d.result, TDecodeResult::Ok);
  EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "abcabca");

  // Every cut of a valid stream is an error, never a short success.
  const std::vector<uint8_t> hello = {0xcb, 0x48, 0xcd, 0xc9, 0xc9, 0x57, 0xc8, 0x40, 0x90, 0x00};
  for (size_t cut = 0; cut < hello.size(); ++cut) {
    const Decoded part = RunInflate(std::vector<uint8_t>(hello.begin(), hello.begin() + static_cast<long>(cut)));
    EXPECT_NE(part.result, TDecodeResult::Ok) << cut;
  }
  EXPECT_EQ(RunInflate(hello).result, TDecodeResult::Ok);
}

TEST(Inflate, MatchAheadOfTheWritePositionAfterTheWindowWraps) {
  // Regression: 32,778 literals, then a 258-byte match at distance 32,700,
  // whose source overlaps the bytes the copy writes once the window wrapped.
  std::ifstream f(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/zip_inflate/regress/window_wrap_overlap.bin",
                  std::ios::binary);
  const std::vector<uint8_t> packed((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(packed.empty());
  const Decoded d = RunInflate(packed);
  ASSERT_EQ(d.result, TDecodeResult::Ok);
  ASSERT_EQ(d.bytes.size(), 32778u + 258);
  for (size_t i = 32778; i < d.bytes.size(); ++i) ASSERT_EQ(d.bytes[i], d.bytes[i - 32700]) << i;
}

// Dynamic blocks of the smallest code: end of block alone, or with one
// literal, each of one bit. The code-length code has 1 and 18 at one bit.
void DynamicBlock(Bits& b, bool last, int literal = -1) {
  b.Put(last ? 1 : 0, 1).Put(2, 2).Put(0, 5).Put(0, 5).Put(14, 4);
  const int order[18] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1};
  for (int sym : order) b.Put(sym == 1 || sym == 18 ? 1 : 0, 3);
  auto zeros = [&](int n) { b.Code(1, 1).Put(static_cast<uint32_t>(n - 11), 7); };  // n of 11..138
  if (literal < 0) {
    zeros(138), zeros(118);
  } else {
    zeros(literal), b.Code(0, 1), zeros(255 - literal);
  }
  b.Code(0, 1).Code(0, 1);  // end of block and the one distance: length 1
  if (literal >= 0) b.Code(0, 1);
  b.Code(literal < 0 ? 0 : 1, 1);
}

// A stored block, not the last: its header, the byte boundary, the length
// and its complement, the bytes.
void StoredBlock(Bits& b, const std::string& bytes = "") {
  b.Put(0, 3);
  while (b.n % 8 != 0) b.Put(0, 1);
  b.Put(static_cast<uint32_t>(bytes.size()), 16).Put(~static_cast<uint32_t>(bytes.size()) & 0xFFFF, 16);
  for (char c : bytes) b.Put(static_cast<uint8_t>(c), 8);
}

TEST(Inflate, LongRunsOfEmptyDynamicBlocksAreRefused) {
  // Three runs of n empty dynamic blocks, each ended by a block of one byte;
  // empty stored blocks between them neither count nor break a run.
  for (bool storedBetween : {false, true}) {
    for (int n : {64, 65}) {
      SCOPED_TRACE(std::to_string(n) + (storedBetween ? " with stored blocks between" : ""));
      Bits b;
      for (int r = 0; r < 3; ++r) {
        for (int i = 0; i < n; ++i) {
          DynamicBlock(b, false);
          if (storedBetween) StoredBlock(b);
        }
        b.Put(r == 2 ? 3 : 2, 3).Code(0x30 + 'x', 8).Code(0, 7);
      }
      TSpanInput in(b.out);
      TVectorOutput out(1 << 20);
      TInflateFault fault = TInflateFault::kNone;
      EXPECT_EQ(Inflate(in, out, fault), n == 64 ? TDecodeResult::Ok : TDecodeResult::BadData);
      EXPECT_EQ(fault, n == 64 ? TInflateFault::kNone : TInflateFault::kEmptyBlockRun);
      EXPECT_EQ(out.Bytes().size(), n == 64 ? 3u : 0u);
    }
  }
}

TEST(Inflate, BlocksAreBoundedByTheOutputTheyDeliver) {
  // n empty blocks and a dynamic block of one literal, again and again: up
  // to 7 empty dynamic blocks per byte run on for ever; 8 or more run out of
  // blocks after a few hundred, as does a stream of 64 (the most allowed in
  // a row) per literal, whose tables cost time with no output.
  const struct {
    int empty;
    bool dynamic;
    bool ok;
  } cases[] = {{7, false, true}, {8, true, false}, {7, true, true}, {64, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.empty) + (c.dynamic ? " dynamic" : " fixed"));
    Bits b;
    constexpr int kRuns = 2000;
    for (int r = 0; r < kRuns; ++r) {
      for (int i = 0; i < c.empty; ++i) {
        if (c.dynamic) {
          DynamicBlock(b, false);
        } else {
          b.Put(2, 3).Code(0, 7);
        }
      }
      DynamicBlock(b, r == kRuns - 1, 'x');
    }
    TSpanInput in(b.out);
    TVectorOutput out(1 << 20);
    TInflateFault fault = TInflateFault::kNone;
    EXPECT_EQ(Inflate(in, out, fault), c.ok ? TDecodeResult::Ok : TDecodeResult::BadData);
    EXPECT_EQ(fault, c.ok ? TInflateFault::kNone : TInflateFault::kTooManyBlocks) << InflateFaultText(fault);
    if (c.ok) {
      EXPECT_EQ(out.Bytes(), std::vector<uint8_t>(kRuns, 'x'));
    } else {
      EXPECT_LE(out.Bytes().size(), 256u + 8);  // refused early, not at the end
      EXPECT_EQ(out.Bytes(), std::vector<uint8_t>(out.Bytes().size(), 'x'));
    }
  }
  // The fuzz seed of the same pattern is refused the same way.
  std::ifstream f(std::string(KV_TEST_SOURCE_DIR) + "/tests/corpus/zip_inflate/regress/empty_dynamic_blocks_per_literal.bin",
                  std::ios::binary);
  const std::vector<uint8_t> seed((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(seed.empty());
  TSpanInput in(seed);
  TVectorOutput out(1 << 20);
  TInflateFault fault = TInflateFault::kNone;
  EXPECT_EQ(Inflate(in, out, fault), TDecodeResult::BadData);
  EXPECT_EQ(fault, TInflateFault::kTooManyBlocks);
}

TEST(Inflate, EmptyStoredAndFixedBlocksAreNotBounded) {
  // What writers make: a long run of empty stored or fixed blocks before a
  // byte, and empty blocks before every byte (a writer flushing with nothing
  // new). They build no tables, so neither bound on blocks counts them.
  enum class Kind { kStored, kFixed };
  const struct {
    const char* what;
    Kind empty;
    int emptyPerByte;
    Kind byte;
    int runs;
  } cases[] = {
      {"65 empty stored blocks, then a literal", Kind::kStored, 65, Kind::kFixed, 1},
      {"65 empty fixed blocks, then a literal, 3 times", Kind::kFixed, 65, Kind::kFixed, 3},
      {"8 empty stored blocks, then a stored byte, 2000 times", Kind::kStored, 8, Kind::kStored, 2000},
      {"8 empty fixed blocks, then a literal, 2000 times", Kind::kFixed, 8, Kind::kFixed, 2000},
  };
  for (const auto& c : cases) {
    Bits b;
    for (int r = 0; r < c.runs; ++r) {
      for (int i = 0; i < c.emptyPerByte; ++i) {
        if (c.empty == Kind::kStored) {
          StoredBlock(b);
        } else {
          b.Put(2, 3).Code(0, 7);
        }
      }
      if (c.byte == Kind::kStored) {
        StoredBlock(b, "x");
      } else {
        b.Put(2, 3).Code(0x30 + 'x', 8).Code(0, 7);
      }
    }
    b.Put(3, 3).Code(0, 7);  // an empty last block
    for (bool dribble : {false, true}) {
      TVectorOutput out(1 << 20);
      TSpanInput whole(b.out);
      DribbleInput small(b.out);
      TInflateFault fault = TInflateFault::kNone;
      EXPECT_EQ(Inflate(dribble ? static_cast<TDecodeInput&>(small) : whole, out, fault), TDecodeResult::Ok) << c.what;
      EXPECT_EQ(fault, TInflateFault::kNone) << c.what << ": " << InflateFaultText(fault);
      EXPECT_EQ(out.Bytes(), std::vector<uint8_t>(static_cast<size_t>(c.runs), 'x')) << c.what;
    }
  }
}

#ifdef KV_HAVE_ZLIB
TEST(Inflate, StreamsFlushedAfterEveryByteDecode) {
  // zlib's flushes, alone and all in a row, after each byte of the input;
  // the blocks they make are what a writer may need per byte at most.
  const std::vector<std::vector<int>> flushes = {
      {Z_SYNC_FLUSH}, {Z_FULL_FLUSH}, {Z_PARTIAL_FLUSH}, {Z_BLOCK}, {Z_BLOCK, Z_PARTIAL_FLUSH, Z_SYNC_FLUSH, Z_FULL_FLUSH}};
  const std::vector<uint8_t> data = test::Text(3000, 31);
  for (const auto& modes : flushes) {
    for (int level : {0, 1, 6, 9}) {
      SCOPED_TRACE(std::to_string(modes.size()) + " flush(es), level " + std::to_string(level));
      z_stream z{};
      ASSERT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
      std::vector<uint8_t> packed(data.size() * 40 + 64);
      z.next_out = packed.data();
      z.avail_out = static_cast<uInt>(packed.size());
      for (size_t i = 0; i <= data.size(); ++i) {
        z.next_in = const_cast<Bytef*>(data.data() + std::min(i, data.size()));
        z.avail_in = i < data.size() ? 1 : 0;
        if (i == data.size()) {
          ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
          break;
        }
        for (int mode : modes) ASSERT_EQ(deflate(&z, mode), Z_OK);
      }
      packed.resize(z.total_out);
      deflateEnd(&z);
      const Decoded d = RunInflate(packed, level == 6);
      EXPECT_EQ(d.result, TDecodeResult::Ok);
      EXPECT_TRUE(d.bytes == data);
    }
  }
}
#endif

TEST(Inflate, OutputCapStopsTheDecoder) {
  std::vector<uint8_t> stored = {0x01, 0x0A, 0x00, 0xF5, 0xFF};
  stored.resize(stored.size() + 10, 'z');
  TSpanInput in(stored);
  TVectorOutput out(9);
  EXPECT_THROW(Inflate(in, out), EBiggerThanUncompressed);
}

// ---------------------------------------------------------------- reduce --

int FollowerBits(size_t n) {
  int bits = 1;
  while ((size_t{1} << bits) < n) ++bits;
  return bits;
}

// A test-only reducer: greedy matches, escapes, and follower sets of up to
// 32 bytes per previous byte.
std::vector<uint8_t> Reduce(const std::vector<uint8_t>& data, int factor) {
  const uint32_t mask = 0xFFu >> factor;
  std::vector<uint8_t> stream;
  for (size_t i = 0; i < data.size();) {
    size_t bestLen = 0, bestDist = 0;
    for (size_t d = 1; d <= std::min(i, size_t{256} << factor); ++d) {
      size_t n = 0;
      while (n < mask + 255 + 3 && i + n < data.size() && data[i + n] == data[i + n - d]) ++n;
      if (n > bestLen) {
        bestLen = n;
        bestDist = d;
      }
    }
    const uint32_t high = static_cast<uint32_t>((bestDist - 1) >> 8) << (8 - factor);
    if (bestLen >= 3 && (high | std::min<uint32_t>(static_cast<uint32_t>(bestLen - 3), mask)) != 0) {
      const uint32_t len = static_cast<uint32_t>(bestLen - 3);
      stream.push_back(144);
      stream.push_back(static_cast<uint8_t>(high | std::min(len, mask)));
      if (len >= mask) stream.push_back(static_cast<uint8_t>(len - mask));
      stream.push_back(static_cast<uint8_t>((bestDist - 1) & 0xFF));
      i += bestLen;
    } else {
      stream.push_back(data[i]);
      if (data[i] == 144) stream.push_back(0);
      ++i;
    }
  }
  std::vector<std::vector<uint8_t>> followers(256);
  {
    std::vector<std::vector<int>> counts(256, std::vector<int>(256, 0));
    uint8_t last = 0;
    for (uint8_t c : stream) {
      ++counts[last][c];
      last = c;
    }
    for (int p = 0; p < 256; ++p) {
      for (int c = 0; c < 256 && followers[static_cast<size_t>(p)].size() < 32; ++c) {
        if (counts[static_cast<size_t>(p)][static_cast<size_t>(c)] > 1) followers[static_cast<size_t>(p)].push_back(static_cast<uint8_t>(c));
      }
    }
  }
  Bits b;
  for (int p = 255; p >= 0; --p) {
    b.Put(static_cast<uint32_t>(followers[static_cast<size_t>(p)].size()), 6);
    for (uint8_t f : followers[static_cast<size_t>(p)]) b.Put(f, 8);
  }
  uint8_t last = 0;
  for (uint8_t c : stream) {
    const auto& set = followers[last];
    if (set.empty()) {
      b.Put(c, 8);
    } else {
      const auto it = std::find(set.begin(), set.end(), c);
      if (it == set.end()) {
        b.Put(1, 1);
        b.Put(c, 8);
      } else {
        b.Put(0, 1);
        b.Put(static_cast<uint32_t>(it - set.begin()), FollowerBits(set.size()));
      }
    }
    last = c;
  }
  return b.out;
}

Decoded RunUnreduce(const std::vector<uint8_t>& in, int factor, uint64_t size, bool dribble = false) {
  return Decode(in, [&](TDecodeInput& i, TDecodeOutput& o) { return Unreduce(i, o, factor, size); }, dribble);
}

TEST(Unreduce, EncoderRoundTripAtEveryFactor) {
  const auto samples = SampleData();
  for (int factor = 1; factor <= 4; ++factor) {
    for (size_t s = 1; s < samples.size(); ++s) {
      std::vector<uint8_t> data(samples[s].begin(), samples[s].begin() + std::min<long>(20000, static_cast<long>(samples[s].size())));
      data.push_back(144);  // the marker byte as a literal
      const Decoded d = RunUnreduce(Reduce(data, factor), factor, data.size(), s % 2 == 0);
      ASSERT_EQ(d.result, TDecodeResult::Ok) << factor << "/" << s;
      ASSERT_TRUE(d.bytes == data) << factor << "/" << s;
    }
  }
}

TEST(Unreduce, HandBuiltVectors) {
  // No followers (256 six-bit zero counts), then plain bytes: "abc", a match
  // of 6 at distance 3, an escaped 144; factor 1.
  std::vector<uint8_t> v(192, 0);
  for (uint8_t b : {0x61, 0x62, 0x63, 0x90, 0x03, 0x02, 0x90, 0x00}) v.push_back(b);
  const Decoded d = RunUnreduce(v, 1, 10);
  EXPECT_EQ(d.result, TDecodeResult::Ok);
  EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "abcabcabc\x90");

  // A match reaching before the start of the output copies zero bytes.
  std::vector<uint8_t> early(192, 0);
  for (uint8_t b : {0x90, 0x03, 0x09, 0x41}) early.push_back(b);
  const Decoded z = RunUnreduce(early, 1, 7);
  EXPECT_EQ(z.result, TDecodeResult::Ok);
  EXPECT_EQ(z.bytes, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0x41}));

  // Byte 0 has one follower; index 1 does not exist. (The count of byte 0
  // is the last of the 256 counts: bits 1530-1535.)
  std::vector<uint8_t> badIndex(192, 0);
  badIndex[191] = 0x04;  // count 1 for byte 0
  badIndex.push_back(0x00);  // its follower: 0x00
  badIndex.push_back(0x02);  // flag bit 0 (follower), index bit 1
  EXPECT_EQ(RunUnreduce(badIndex, 1, 5).result, TDecodeResult::BadData);
  EXPECT_EQ(RunUnreduce(std::vector<uint8_t>(100, 0), 2, 5).result, TDecodeResult::Truncated);
  EXPECT_EQ(RunUnreduce(v, 1, 11).result, TDecodeResult::Truncated);  // one byte more than the data holds
}

// ----------------------------------------------------- shrink, implode --

// A partial clear frees the codes no other code extends, all at once: a
// prefix whose only extension goes with it stays until the next clear, and a
// freed code is taken again from the lowest.
TEST(LegacyDecoders, PartialClearsFreeOneLayerAtATime) {
  auto unshrink = [](std::initializer_list<uint32_t> codes) {
    Bits b;
    for (uint32_t c : codes) b.Put(c, 9);
    const Decoded d = Decode(b.out, [](TDecodeInput& i, TDecodeOutput& o) { return Unshrink(i, o); });
    EXPECT_EQ(d.result, TDecodeResult::Ok);
    return std::string(d.bytes.begin(), d.bytes.end());
  };
  // 257 "ab", 258 "ba", 259 "abc"; the clear frees 258 and 259, keeps 257.
  EXPECT_EQ(unshrink({'a', 'b', 257, 'c', 256, 2, 'd', 257}), "ababcdab");
  // The second clear frees 257: it is then undefined, the previous string plus its first byte.
  EXPECT_EQ(unshrink({'a', 'b', 257, 'c', 256, 2, 256, 2, 257}), "ababccc");
  // After one clear 258 is the next code added: "c" + "c".
  EXPECT_EQ(unshrink({'a', 'b', 257, 'c', 256, 2, 258, 258}), "ababccccc");
}

TEST(LegacyDecoders, CorruptInputsEndInTheirFault) {
  auto unshrink = [](const std::vector<uint8_t>& in) {
    return Decode(in, [](TDecodeInput& i, TDecodeOutput& o) { return Unshrink(i, o); }).result;
  };
  auto explode = [](const std::vector<uint8_t>& in, uint16_t flag) {
    return Decode(in, [&](TDecodeInput& i, TDecodeOutput& o) { return Explode(i, o, flag, in.size(), 1000); }).result;
  };
  EXPECT_EQ(unshrink(Bits().Put(256, 9).Put(3, 9).out), TDecodeResult::BadData);  // unknown subcode
  EXPECT_EQ(unshrink(Bits().Put(300, 9).out), TDecodeResult::BadData);  // the first code must be a byte
  Bits wide;
  wide.Put('a', 9);
  for (int width = 9; width <= 13; ++width) wide.Put(256, width).Put(1, width);  // the fifth widening passes 13 bits
  EXPECT_EQ(unshrink(wide.out), TDecodeResult::BadData);
  EXPECT_EQ(explode({0x00, 0x3F}, 0), TDecodeResult::BadTree);  // 4 lengths where 64 are due
  EXPECT_EQ(explode({0x04, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5}, 0), TDecodeResult::BadTree);  // 80 lengths
  EXPECT_EQ(explode({0x03, 0xF5, 0xF5, 0xF5}, 0), TDecodeResult::Truncated);
  // Complete trees (64 codes of 6 bits) and then no data at all.
  EXPECT_EQ(explode({0x03, 0xF5, 0xF5, 0xF5, 0xF5, 0x03, 0xF5, 0xF5, 0xF5, 0xF5}, 0), TDecodeResult::Truncated);
  // Over-subscribed: 64 codes of 5 bits.
  EXPECT_EQ(explode({0x03, 0xF4, 0xF4, 0xF4, 0xF4}, 0), TDecodeResult::BadTree);
}

}  // namespace
}  // namespace kv
