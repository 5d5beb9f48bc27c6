// Inflate: the deflate format of RFC 1951, decoded through a 32 KB window
// that is delivered to the output each time it fills.
#include <algorithm>
#include <array>
#include <cstring>

#include "zip/decode_io.h"
#include "zip/inflate.h"
#include "zip/huffman.h"
#include "zip/zip_errors.h"

namespace kv {

void TVectorOutput::Write(std::span<const uint8_t> bytes) {
  if (bytes.size() > cap_ - bytes_.size()) throw EBiggerThanUncompressed();
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

namespace {

constexpr uint32_t kWindowSize = 32768;
constexpr uint32_t kWindowMask = kWindowSize - 1;

constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint16_t, 30> kDistBase = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                                33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Order in which the code-length code's lengths are sent.
constexpr std::array<uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
// Only a dynamic block builds tables. An empty stored or fixed block costs a
// few operations and at least ten bits of input, and writers make many (each
// flush with nothing new makes one or two), so the two bounds below count
// dynamic blocks alone; output from a block of any kind pays for them.
//
// Dynamic blocks in a row that may end without a byte of output. An encoder
// makes an empty dynamic block at most when its caller flushes or finishes,
// a few in a row at most. A longer run is work without output: each block
// builds its tables again, so a stream of nothing but empty dynamic blocks
// would cost about a quarter of a second per MiB.
constexpr int kMaxEmptyBlockRun = 64;
// Dynamic blocks against output over the whole stream: each byte delivered
// earns a stream this many more dynamic blocks, up to the most it may hold
// in hand. A writer that flushes after every byte makes at most a block for
// the byte and a few empty stored or fixed ones per flush. A stream of empty
// dynamic blocks with a literal now and then, which costs table builds
// without output, runs out of blocks after a few hundred.
constexpr int64_t kBlocksPerOutputByte = 8;
constexpr int64_t kMaxBlocksInHand = 256;

// A code that cannot be used: over-subscribed is a bad table, incomplete
// (or no code at all) bad data.
TDecodeResult BuildFailure(THuffmanTable::Build b) {
  return b == THuffmanTable::Build::OverSubscribed ? TDecodeResult::BadTable : TDecodeResult::BadData;
}

class Inflater {
 public:
  Inflater(TDecodeInput& in, TDecodeOutput& out) : in_(in), out_(out), window_(kWindowSize) {}

  TDecodeResult Run() {
    bool last = false;
    int emptyRun = 0;
    int64_t blocksInHand = kMaxBlocksInHand;
    do {
      if (!Need(3)) return Truncated();
      last = Bits(1);
      const uint32_t type = Bits(2);
      const uint64_t before = total_;
      const TDecodeResult r = type == 0   ? Stored()
                              : type == 1 ? Fixed()
                              : type == 2 ? Dynamic()
                                          : Fail(TDecodeResult::BadTable, TInflateFault::kBadBlockType);
      if (r != TDecodeResult::Ok) return r;
      const bool dynamic = type == 2;
      if (total_ != before) {
        emptyRun = 0;
      } else if (dynamic && ++emptyRun > kMaxEmptyBlockRun) {
        return Fail(TDecodeResult::BadData, TInflateFault::kEmptyBlockRun);
      }
      const uint64_t earned = std::min<uint64_t>(total_ - before, kMaxBlocksInHand) * kBlocksPerOutputByte;
      const int64_t cost = dynamic ? 1 : 0;
      blocksInHand = std::min<int64_t>(kMaxBlocksInHand, blocksInHand - cost + static_cast<int64_t>(earned));
      if (blocksInHand < 0) return Fail(TDecodeResult::BadData, TInflateFault::kTooManyBlocks);
    } while (!last);
    if (wp_ > 0) out_.Write(std::span<const uint8_t>(window_.data(), wp_));
    fault_ = TInflateFault::kNone;
    return TDecodeResult::Ok;
  }

  TInflateFault Fault() const { return fault_; }

 private:
  TDecodeResult Fail(TDecodeResult result, TInflateFault fault) {
    fault_ = fault;
    return result;
  }
  TDecodeResult Truncated() { return Fail(TDecodeResult::Truncated, TInflateFault::kTruncated); }

  // Tops the bit buffer up to at least 57 bits while input lasts.
  void Fill() {
    while (count_ <= 56) {
      uint8_t b = 0;
      if (!in_.NextByte(b)) return;
      bits_ |= uint64_t{b} << count_;
      count_ += 8;
    }
  }
  bool Need(int n) {
    if (count_ < n) Fill();
    return count_ >= n;
  }
  // n bits that Need made available.
  uint32_t Bits(int n) {
    const uint32_t v = static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    bits_ >>= n;
    count_ -= n;
    return v;
  }
  // Decodes one symbol; false for an invalid code or missing input (result set).
  bool Decode(const THuffmanTable& t, uint32_t& symbol, TDecodeResult& result) {
    if (count_ < THuffmanTable::kMaxBits) Fill();
    int len = 0;
    if (!t.Lookup(bits_, symbol, len)) {
      // Zero bits beyond the end of the input may be what made it invalid.
      result = count_ < t.MaxLength() ? Truncated() : Fail(TDecodeResult::BadData, TInflateFault::kBadCode);
      return false;
    }
    if (len > count_) {
      result = Truncated();
      return false;
    }
    bits_ >>= len;
    count_ -= len;
    return true;
  }

  void Put(uint8_t b) {
    window_[wp_++] = b;
    if (wp_ == kWindowSize) FlushWindow();
  }
  void FlushWindow() {
    out_.Write(std::span<const uint8_t>(window_.data(), wp_));
    wp_ = 0;
  }

  TDecodeResult Stored() {
    const int drop = count_ % 8;
    bits_ >>= drop;
    count_ -= drop;
    if (!Need(32)) return Truncated();
    const uint32_t len = Bits(16);
    const uint32_t nlen = Bits(16);
    if (len != (~nlen & 0xFFFF)) return Fail(TDecodeResult::BadData, TInflateFault::kStoredLengthMismatch);
    uint32_t left = len;
    while (left > 0 && count_ >= 8) {  // whole bytes still in the bit buffer
      Put(static_cast<uint8_t>(Bits(8)));
      --left;
    }
    total_ += len - left;
    while (left > 0) {
      const std::span<const uint8_t> block = in_.NextBlock(left);
      if (block.empty()) return Truncated();
      for (size_t i = 0; i < block.size();) {
        const size_t n = std::min<size_t>(block.size() - i, kWindowSize - wp_);
        std::memcpy(window_.data() + wp_, block.data() + i, n);
        wp_ += static_cast<uint32_t>(n);
        i += n;
        if (wp_ == kWindowSize) FlushWindow();
      }
      left -= static_cast<uint32_t>(block.size());
      total_ += block.size();
    }
    return TDecodeResult::Ok;
  }
  TDecodeResult Fixed() {
    if (!fixedBuilt_) {
      std::array<uint8_t, 288> lit{};
      std::fill(lit.begin(), lit.begin() + 144, 8);
      std::fill(lit.begin() + 144, lit.begin() + 256, 9);
      std::fill(lit.begin() + 256, lit.begin() + 280, 7);
      std::fill(lit.begin() + 280, lit.end(), 8);
      std::array<uint8_t, 30> dist{};
      dist.fill(5);
      fixedLit_.Make(lit, 9);
      fixedDist_.Make(dist, 7);  // incomplete (30 of 32 codes): accepted
      fixedBuilt_ = true;
    }
    return Codes(fixedLit_, fixedDist_);
  }

  TDecodeResult Dynamic() {
    if (!Need(14)) return Truncated();
    const uint32_t nlit = Bits(5) + 257, ndist = Bits(5) + 1, nlen = Bits(4) + 4;
    if (nlit > 286 || ndist > 30) return Fail(TDecodeResult::BadData, TInflateFault::kTooManySymbols);
    std::array<uint8_t, 19> clen{};
    for (uint32_t i = 0; i < nlen; ++i) {
      if (!Need(3)) return Truncated();
      clen[kCodeLengthOrder[i]] = static_cast<uint8_t>(Bits(3));
    }
    THuffmanTable& clTable = clTable_;
    const THuffmanTable::Build clBuild = clTable.Make(clen, 7);
    if (clBuild != THuffmanTable::Build::Complete) {
      return Fail(BuildFailure(clBuild), TInflateFault::kBadCodeLengthCode);
    }
    std::array<uint8_t, 286 + 30> lens{};
    TDecodeResult r = TDecodeResult::Ok;
    for (uint32_t i = 0; i < nlit + ndist;) {
      uint32_t sym = 0;
      if (!Decode(clTable, sym, r)) return r;
      if (sym < 16) {
        lens[i++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint32_t repeat = 0;
      uint8_t value = 0;
      if (sym == 16) {
        if (i == 0) return Fail(TDecodeResult::BadData, TInflateFault::kRepeatOverflow);
        if (!Need(2)) return Truncated();
        value = lens[i - 1];
        repeat = 3 + Bits(2);
      } else if (sym == 17) {
        if (!Need(3)) return Truncated();
        repeat = 3 + Bits(3);
      } else {
        if (!Need(7)) return Truncated();
        repeat = 11 + Bits(7);
      }
      if (repeat > nlit + ndist - i) return Fail(TDecodeResult::BadData, TInflateFault::kRepeatOverflow);
      while (repeat-- > 0) lens[i++] = value;
    }
    if (lens[256] == 0) return Fail(TDecodeResult::BadData, TInflateFault::kNoEndOfBlock);
    const auto okBuild = [](THuffmanTable::Build b, const THuffmanTable& t) {
      // An incomplete code is accepted only as a single one-bit code; no
      // distance code at all is fine while no match needs one.
      return b == THuffmanTable::Build::Complete || b == THuffmanTable::Build::Empty ||
             (b == THuffmanTable::Build::Incomplete && t.MaxLength() == 1);
    };
    const THuffmanTable::Build litBuild = lit_.Make(std::span<const uint8_t>(lens.data(), nlit), 10);
    if (!okBuild(litBuild, lit_)) return Fail(BuildFailure(litBuild), TInflateFault::kBadCodeLengths);
    const THuffmanTable::Build distBuild = dist_.Make(std::span<const uint8_t>(lens.data() + nlit, ndist), 8);
    if (!okBuild(distBuild, dist_)) return Fail(BuildFailure(distBuild), TInflateFault::kBadCodeLengths);
    return Codes(lit_, dist_);
  }

  TDecodeResult Codes(const THuffmanTable& lit, const THuffmanTable& dist) {
    TDecodeResult r = TDecodeResult::Ok;
    for (;;) {
      uint32_t sym = 0;
      if (!Decode(lit, sym, r)) return r;
      if (sym < 256) {
        Put(static_cast<uint8_t>(sym));
        ++total_;
        continue;
      }
      if (sym == 256) return TDecodeResult::Ok;
      sym -= 257;
      if (sym >= 29) return Fail(TDecodeResult::BadData, TInflateFault::kBadCode);
      if (!Need(kLengthExtra[sym])) return Truncated();
      const uint32_t length = kLengthBase[sym] + Bits(kLengthExtra[sym]);
      uint32_t dsym = 0;
      if (!Decode(dist, dsym, r)) return r;
      if (dsym >= 30) return Fail(TDecodeResult::BadData, TInflateFault::kBadCode);
      if (!Need(kDistExtra[dsym])) return Truncated();
      const uint32_t distance = kDistBase[dsym] + Bits(kDistExtra[dsym]);
      if (distance > total_) return Fail(TDecodeResult::BadData, TInflateFault::kDistanceTooFarBack);
      Copy(distance, length);
      total_ += length;
    }
  }

  void Copy(uint32_t distance, uint32_t length) {
    uint32_t src = (wp_ - distance) & kWindowMask;
    // Fast path: neither run wraps, and the source is never a byte the copy
    // itself wrote (a source above wp_ is only read ahead of the writes).
    if (distance >= length && src + length <= kWindowSize && wp_ + length < kWindowSize) {
      std::memmove(window_.data() + wp_, window_.data() + src, length);
      wp_ += length;
      return;
    }
    while (length-- > 0) {
      Put(window_[src]);
      src = (src + 1) & kWindowMask;
    }
  }

  TDecodeInput& in_;
  TDecodeOutput& out_;
  std::vector<uint8_t> window_;
  uint32_t wp_ = 0;
  uint64_t total_ = 0;
  uint64_t bits_ = 0;
  int count_ = 0;
  bool fixedBuilt_ = false;
  TInflateFault fault_ = TInflateFault::kNone;
  THuffmanTable fixedLit_, fixedDist_, clTable_, lit_, dist_;
};

}  // namespace

const char* InflateFaultText(TInflateFault fault) {
  switch (fault) {
    case TInflateFault::kNone: return "none";
    case TInflateFault::kTruncated: return "input ended early";
    case TInflateFault::kBadBlockType: return "bad block type";
    case TInflateFault::kStoredLengthMismatch: return "stored length mismatch";
    case TInflateFault::kTooManySymbols: return "too many symbols";
    case TInflateFault::kBadCodeLengthCode: return "bad code-length code";
    case TInflateFault::kRepeatOverflow: return "repeat overflow";
    case TInflateFault::kNoEndOfBlock: return "no end-of-block code";
    case TInflateFault::kBadCodeLengths: return "bad code lengths";
    case TInflateFault::kBadCode: return "bad code";
    case TInflateFault::kDistanceTooFarBack: return "distance too far back";
    case TInflateFault::kEmptyBlockRun: return "too many empty blocks in a row";
    case TInflateFault::kTooManyBlocks: return "too many blocks for the output";
  }
  return "unknown fault";
}

TDecodeResult Inflate(TDecodeInput& in, TDecodeOutput& out, TInflateFault& fault) {
  Inflater inflater(in, out);
  const TDecodeResult result = inflater.Run();
  fault = inflater.Fault();
  return result;
}

TDecodeResult Inflate(TDecodeInput& in, TDecodeOutput& out) {
  TInflateFault fault = TInflateFault::kNone;
  return Inflate(in, out, fault);
}

}  // namespace kv
