#include "zip/deflate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/scope_guard.h"

namespace kv {
namespace {

constexpr unsigned kWSize = 32768;
constexpr unsigned kWMask = kWSize - 1;
constexpr unsigned kWindowSize = 2 * kWSize;
// Near the end of the input the current position runs up to the window's
// end; LongestMatch then reads up to 258 + 8 bytes past it and the hash
// update two: the pad keeps those reads inside the buffer.
constexpr unsigned kWindowPad = 258 + 16;
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 258;
constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262
constexpr unsigned kMaxDist = kWSize - kMinLookahead;          // 32506
constexpr unsigned kHashSize = 1u << 15;
constexpr unsigned kHashMask = kHashSize - 1;
constexpr unsigned kHashShift = 5;
constexpr unsigned kTooFar = 4096;
constexpr unsigned kLitBufSize = 0x8000;
constexpr unsigned kDistBufSize = 0x8000;
constexpr unsigned kNil = 0;

constexpr int kLiterals = 256;
constexpr int kEndBlock = 256;
constexpr int kLengthCodes = 29;
constexpr int kMaxBits = 15;
constexpr int kMaxBlBits = 7;
constexpr int kRep3To6 = 16;
constexpr int kRepZ3To10 = 17;
constexpr int kRepZ11To138 = 18;
constexpr int kStoredBlock = 0;
constexpr int kStaticTrees = 1;
constexpr int kDynTrees = 2;
constexpr uint64_t kMaxStoredLen = 65535;

constexpr uint8_t kExtraLBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kExtraDBits[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kExtraBlBits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr uint8_t kBlOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct Config {
  uint16_t good, lazy, nice, chain;
};
// At levels 1-3 `lazy` is the longest match whose strings all go into the chains.
constexpr Config kConfig[10] = {
    {0, 0, 0, 0},       {4, 4, 8, 4},       {4, 5, 16, 8},       {4, 6, 32, 32},
    {4, 4, 16, 16},     {8, 16, 32, 32},    {8, 16, 128, 128},   {8, 32, 128, 256},
    {32, 128, 258, 1024}, {32, 258, 258, 4096}};

unsigned BiReverse(unsigned code, int len) {
  unsigned res = 0;
  do {
    res |= code & 1;
    code >>= 1;
    res <<= 1;
  } while (--len > 0);
  return res >> 1;
}

}  // namespace

Deflater::Deflater()
    : window_(kWindowSize + kWindowPad),
      prev_(kWSize),
      head_(kHashSize),
      lBuf_(kLitBufSize),
      dBuf_(kDistBufSize),
      flagBuf_(kLitBufSize / 8) {
  // Length 3..258 (stored as 0..255) to length code, and each code's base.
  int length = 0;
  for (int code = 0; code < kLengthCodes - 1; ++code) {
    baseLength_[code] = length;
    for (int n = 0; n < (1 << kExtraLBits[code]); ++n) lengthCode_[length++] = static_cast<uint8_t>(code);
  }
  // Length 258 has a code of its own rather than the last extra value of 284.
  lengthCode_[length - 1] = kLengthCodes - 1;
  baseLength_[kLengthCodes - 1] = kMaxMatch - kMinMatch;
  // Distance - 1 to code: direct below 256, by distance / 128 above.
  int dist = 0;
  for (int code = 0; code < 16; ++code) {
    baseDist_[code] = dist;
    for (int n = 0; n < (1 << kExtraDBits[code]); ++n) distCode_[dist++] = static_cast<uint8_t>(code);
  }
  dist >>= 7;
  for (int code = 16; code < kDCodes; ++code) {
    baseDist_[code] = dist << 7;
    for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n) distCode_[256 + dist++] = static_cast<uint8_t>(code);
  }
  uint16_t count[kMaxBits + 1] = {};
  for (int n = 0; n < 288; ++n) {
    staticLtree_[n].len = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
    ++count[staticLtree_[n].len];
  }
  GenCodes(staticLtree_, 287, count);
  for (int n = 0; n < kDCodes; ++n) {
    staticDtree_[n].len = 5;
    staticDtree_[n].code = static_cast<uint16_t>(BiReverse(n, 5));
  }
}

// ------------------------------------------------------------ setting up --

void Deflater::InitBlock() {
  for (int n = 0; n < kLCodes; ++n) dynLtree_[n].freq = 0;
  for (int n = 0; n < kDCodes; ++n) dynDtree_[n].freq = 0;
  for (int n = 0; n < kBlCodes; ++n) blTree_[n].freq = 0;
  dynLtree_[kEndBlock].freq = 1;
  optLen_ = staticLen_ = 0;
  lastLit_ = lastDist_ = lastFlags_ = 0;
  flags_ = 0;
  flagBit_ = 1;
}

void Deflater::LmInit(int level, DeflateEntry& entry) {
  std::fill(head_.begin(), head_.end(), uint16_t{0});
  const Config& c = kConfig[level];
  goodMatch_ = c.good;
  maxLazy_ = c.lazy;
  niceMatch_ = c.nice;
  maxChain_ = c.chain;
  if (level < 3) entry.flags |= 4;
  if (level >= 8) entry.flags |= 2;
  strstart_ = 0;
  blockStart_ = 0;
  matchStart_ = 0;
  prevLength_ = kMinMatch - 1;
  eofile_ = false;
  const size_t n = (*read_)(std::span<uint8_t>(window_.data(), kWSize));
  if (n == 0 || n == kReadEnd) {
    lookahead_ = 0;
    eofile_ = true;
    return;
  }
  lookahead_ = static_cast<unsigned>(std::min<size_t>(n, kWSize));
  while (lookahead_ < kMinLookahead && !eofile_) FillWindow();
  insH_ = 0;
  for (unsigned j = 0; j < kMinMatch - 1; ++j) insH_ = ((insH_ << kHashShift) ^ window_[j]) & kHashMask;
}

uint64_t Deflater::Deflate(int level, const ReadFn& read, const WriteFn& write, DeflateEntry& entry) {
  if (level < kMinLevel || level > kMaxLevel) throw std::invalid_argument("deflate level out of range");
  read_ = &read;
  write_ = &write;
  entry_ = &entry;
  level_ = level;
  lDesc_ = {dynLtree_, staticLtree_, kExtraLBits, kLiterals + 1, kLCodes, kMaxBits, 0};
  dDesc_ = {dynDtree_, staticDtree_, kExtraDBits, 0, kDCodes, kMaxBits, 0};
  blDesc_ = {blTree_, nullptr, kExtraBlBits, 0, kBlCodes, kMaxBlBits, 0};
  biBuf_ = 0;
  biValid_ = 0;
  outcnt_ = 0;
  compressedLen_ = 0;
  InitBlock();
  LmInit(level, entry);
  // Input must not outlive the call in the window: the next entry may be
  // written without a password and the array is shared.
  ScopeGuard clear([this] { std::fill(window_.begin(), window_.end(), uint8_t{0}); });
  return level <= 3 ? DeflateFast() : DeflateLazy();
}

// -------------------------------------------------------------- matching --

void Deflater::FillWindow() {
  unsigned more = kWindowSize - lookahead_ - strstart_;
  if (more == kReadEnd) --more;  // a read that delivers this many could not be told from the end
  if (strstart_ >= kWSize + kMaxDist) {
    std::memcpy(window_.data(), window_.data() + kWSize, kWSize);
    matchStart_ -= kWSize;
    strstart_ -= kWSize;
    blockStart_ -= kWSize;
    for (auto& h : head_) h = static_cast<uint16_t>(h >= kWSize ? h - kWSize : kNil);
    for (auto& p : prev_) p = static_cast<uint16_t>(p >= kWSize ? p - kWSize : kNil);
    more += kWSize;
  }
  if (eofile_) return;
  const size_t n = (*read_)(std::span<uint8_t>(window_.data() + strstart_ + lookahead_, more));
  if (n == 0 || n == kReadEnd)
    eofile_ = true;
  else
    lookahead_ += static_cast<unsigned>(std::min<size_t>(n, more));
}

// Follows the hash chain from `curMatch` and returns the longest match
// found, at least prevLength_; sets matchStart_ when it finds a longer one.
unsigned Deflater::LongestMatch(unsigned curMatch) {
  unsigned chainLength = maxChain_;
  const uint8_t* w = window_.data();
  const uint8_t* scan = w + strstart_;
  unsigned bestLen = prevLength_;
  const unsigned limit = strstart_ > kMaxDist ? strstart_ - kMaxDist : kNil;
  if (prevLength_ >= goodMatch_) chainLength >>= 2;
  uint8_t scanEnd1 = scan[bestLen - 1];
  uint8_t scanEnd = scan[bestLen];
  do {
    const uint8_t* match = w + curMatch;
    if (match[bestLen] != scanEnd || match[bestLen - 1] != scanEnd1 || match[0] != scan[0] ||
        match[1] != scan[1])
      continue;
    // Compare 8 bytes at a time from the third byte; the window pad keeps
    // the reads in bounds and the length is capped at kMaxMatch.
    unsigned len = 2;
    while (len < kMaxMatch) {
      uint64_t a, b;
      std::memcpy(&a, scan + len, 8);
      std::memcpy(&b, match + len, 8);
      const uint64_t diff = a ^ b;
      if (diff != 0) {
        len += static_cast<unsigned>(__builtin_ctzll(diff)) / 8;
        break;
      }
      len += 8;
    }
    if (len > kMaxMatch) len = kMaxMatch;
    if (len > bestLen) {
      matchStart_ = curMatch;
      bestLen = len;
      if (len >= niceMatch_) break;
      scanEnd1 = scan[bestLen - 1];
      scanEnd = scan[bestLen];
    }
  } while ((curMatch = prev_[curMatch & kWMask]) > limit && --chainLength != 0);
  return bestLen;
}

void Deflater::CheckMatch(unsigned start, unsigned match, unsigned length) const {
  if (std::memcmp(window_.data() + match, window_.data() + start, length) != 0) {
    char msg[80];
    std::snprintf(msg, sizeof msg, "Start: %u, Match: %u, Length: %u", start, match, length);
    throw EInvalidMatch(msg);
  }
}

#define KV_UPDATE_HASH(h, c) ((h) = (((h) << kHashShift) ^ (c)) & kHashMask)

// A chain's head of 0 is either no string or the string at position 0:
// taken as a candidate (the matcher compares the bytes), so that a run's
// second byte already matches its first. Chains end at 0 (kNil).

// Levels 1-3: take every match found at once; insert the strings of short
// matches only.
uint64_t Deflater::DeflateFast() {
  unsigned matchLength = 0;
  uint8_t* w = window_.data();
  while (lookahead_ != 0) {
    KV_UPDATE_HASH(insH_, w[strstart_ + kMinMatch - 1]);
    const unsigned hashHead = head_[insH_];
    prev_[strstart_ & kWMask] = static_cast<uint16_t>(hashHead);
    head_[insH_] = static_cast<uint16_t>(strstart_);
    if (hashHead < strstart_ && strstart_ - hashHead <= kMaxDist) {
      matchLength = std::min(LongestMatch(hashHead), lookahead_);
    }
    bool flush;
    if (matchLength >= kMinMatch) {
      CheckMatch(strstart_, matchStart_, matchLength);
      flush = Tally(strstart_ - matchStart_, matchLength - kMinMatch);
      lookahead_ -= matchLength;
      if (matchLength <= maxLazy_) {
        --matchLength;
        do {
          ++strstart_;
          KV_UPDATE_HASH(insH_, w[strstart_ + kMinMatch - 1]);
          prev_[strstart_ & kWMask] = head_[insH_];
          head_[insH_] = static_cast<uint16_t>(strstart_);
        } while (--matchLength != 0);
        ++strstart_;
      } else {
        strstart_ += matchLength;
        matchLength = 0;
        insH_ = w[strstart_];
        KV_UPDATE_HASH(insH_, w[strstart_ + 1]);
      }
    } else {
      flush = Tally(0, w[strstart_]);
      --lookahead_;
      ++strstart_;
    }
    if (flush) {
      FlushBlock(false);
      blockStart_ = strstart_;
    }
    while (lookahead_ < kMinLookahead && !eofile_) FillWindow();
  }
  return FlushBlock(true);
}

// Levels 4-9: a match is only taken when the next position does not start
// a longer one.
uint64_t Deflater::DeflateLazy() {
  unsigned matchLength = kMinMatch - 1;
  bool matchAvailable = false;
  uint8_t* w = window_.data();
  while (lookahead_ != 0) {
    KV_UPDATE_HASH(insH_, w[strstart_ + kMinMatch - 1]);
    const unsigned hashHead = head_[insH_];
    prev_[strstart_ & kWMask] = static_cast<uint16_t>(hashHead);
    head_[insH_] = static_cast<uint16_t>(strstart_);
    prevLength_ = matchLength;
    const unsigned prevMatch = matchStart_;
    matchLength = kMinMatch - 1;
    if (hashHead < strstart_ && prevLength_ < maxLazy_ && strstart_ - hashHead <= kMaxDist) {
      matchLength = std::min(LongestMatch(hashHead), lookahead_);
      if (matchLength == kMinMatch && strstart_ - matchStart_ > kTooFar) --matchLength;
    }
    if (prevLength_ >= kMinMatch && matchLength <= prevLength_) {
      CheckMatch(strstart_ - 1, prevMatch, prevLength_);
      const bool flush = Tally(strstart_ - 1 - prevMatch, prevLength_ - kMinMatch);
      lookahead_ -= prevLength_ - 1;
      prevLength_ -= 2;
      do {
        ++strstart_;
        KV_UPDATE_HASH(insH_, w[strstart_ + kMinMatch - 1]);
        prev_[strstart_ & kWMask] = head_[insH_];
        head_[insH_] = static_cast<uint16_t>(strstart_);
      } while (--prevLength_ != 0);
      matchAvailable = false;
      matchLength = kMinMatch - 1;
      ++strstart_;
      if (flush) {
        FlushBlock(false);
        blockStart_ = strstart_;
      }
    } else if (matchAvailable) {
      if (Tally(0, w[strstart_ - 1])) {
        FlushBlock(false);
        blockStart_ = strstart_;
      }
      ++strstart_;
      --lookahead_;
    } else {
      matchAvailable = true;
      ++strstart_;
      --lookahead_;
    }
    while (lookahead_ < kMinLookahead && !eofile_) FillWindow();
  }
  if (matchAvailable) Tally(0, w[strstart_ - 1]);
  return FlushBlock(true);
}

#undef KV_UPDATE_HASH

// ---------------------------------------------------------- block coding --

// Buffers one literal (dist 0) or match (dist, length - 3); true when the
// block should end here.
bool Deflater::Tally(unsigned dist, unsigned lc) {
  lBuf_[lastLit_++] = static_cast<uint8_t>(lc);
  if (dist == 0) {
    ++dynLtree_[lc].freq;
  } else {
    --dist;
    ++dynLtree_[lengthCode_[lc] + kLiterals + 1].freq;
    ++dynDtree_[dist < 256 ? distCode_[dist] : distCode_[256 + (dist >> 7)]].freq;
    dBuf_[lastDist_++] = static_cast<uint16_t>(dist);
    flags_ |= flagBit_;
  }
  flagBit_ = static_cast<uint8_t>(flagBit_ << 1);
  if ((lastLit_ & 7) == 0) {
    flagBuf_[lastFlags_++] = flags_;
    flags_ = 0;
    flagBit_ = 1;
  }
  if (level_ > 2 && (lastLit_ & 0xfff) == 0) {
    // A block that already codes to less than half its input while holding
    // few matches is ended early so the next one gets its own trees.
    uint64_t outLength = uint64_t{lastLit_} * 8;
    const uint64_t inLength = static_cast<uint64_t>(strstart_ - blockStart_);
    for (int dcode = 0; dcode < kDCodes; ++dcode)
      outLength += uint64_t{dynDtree_[dcode].freq} * (5 + kExtraDBits[dcode]);
    outLength >>= 3;
    if (lastDist_ < lastLit_ / 2 && outLength < inLength / 2) return true;
  }
  return lastLit_ == kLitBufSize - 1 || lastDist_ == kDistBufSize;
}

// Text when bytes outside 7..127 are at most a quarter of those inside.
void Deflater::SetFileType() {
  uint64_t bin = 0, ascii = 0;
  int n = 0;
  while (n < 7) bin += dynLtree_[n++].freq;
  while (n < 128) ascii += dynLtree_[n++].freq;
  while (n < kLiterals) bin += dynLtree_[n++].freq;
  entry_->internalAttributes = bin > (ascii >> 2) ? 0 : 1;
}

uint64_t Deflater::FlushBlock(bool eof) {
  flagBuf_[lastFlags_] = flags_;  // the items since the last full flag byte
  if (entry_->internalAttributes == 2) SetFileType();
  BuildTree(lDesc_);
  BuildTree(dDesc_);
  const int maxBlindex = BuildBlTree();
  uint64_t optLenb = (optLen_ + 3 + 7) >> 3;
  const uint64_t staticLenb = (staticLen_ + 3 + 7) >> 3;
  if (staticLenb <= optLenb) optLenb = staticLenb;

  const uint64_t storedLen = static_cast<uint64_t>(static_cast<int64_t>(strstart_) - blockStart_);
  // The raw bytes are only at hand while the block's start is still in the
  // window; once it has slid away the block must be coded.
  const uint8_t* buf = blockStart_ >= 0 ? window_.data() + blockStart_ : nullptr;
  const uint64_t storedBlocks = std::max<uint64_t>(1, (storedLen + kMaxStoredLen - 1) / kMaxStoredLen);

  if (buf != nullptr && eof && compressedLen_ == 0 && storedLen <= optLenb) {
    // The whole entry in one block that does not shrink: written as is.
    FlushOutbuf();
    if (storedLen != 0) (*write_)(std::span<const uint8_t>(buf, storedLen));
    compressedLen_ = storedLen << 3;
    entry_->method = 0;
  } else if (buf != nullptr && storedLen + 4 * storedBlocks <= optLenb) {
    SendStored(buf, storedLen, eof);
  } else if (staticLenb == optLenb) {
    SendBits((kStaticTrees << 1) + eof, 3);
    CompressBlock(staticLtree_, staticDtree_);
    compressedLen_ += 3 + staticLen_;
  } else {
    SendBits((kDynTrees << 1) + eof, 3);
    SendAllTrees(lDesc_.maxCode + 1, dDesc_.maxCode + 1, maxBlindex + 1);
    CompressBlock(dynLtree_, dynDtree_);
    compressedLen_ += 3 + optLen_;
  }
  InitBlock();
  if (eof) {
    if (entry_->method != 0) {
      BiWindup();
      compressedLen_ += 7;
    }
    FlushOutbuf();
  }
  return compressedLen_ >> 3;
}

// Stored blocks hold at most 65535 bytes each; a longer run of raw data
// (possible when the window is nearly full) is split.
void Deflater::SendStored(const uint8_t* buf, uint64_t storedLen, bool eof) {
  do {
    const uint64_t chunk = std::min(storedLen, kMaxStoredLen);
    storedLen -= chunk;
    SendBits((kStoredBlock << 1) + (eof && storedLen == 0), 3);
    compressedLen_ = (compressedLen_ + 3 + 7) & ~uint64_t{7};
    compressedLen_ += (chunk + 4) << 3;
    BiWindup();
    PutByte(static_cast<uint8_t>(chunk));
    PutByte(static_cast<uint8_t>(chunk >> 8));
    PutByte(static_cast<uint8_t>(~chunk));
    PutByte(static_cast<uint8_t>(~chunk >> 8));
    FlushOutbuf();
    if (chunk != 0) (*write_)(std::span<const uint8_t>(buf, chunk));
    buf += chunk;
  } while (storedLen != 0);
}

void Deflater::PqDownHeap(const TreeNode* tree, int k) {
  const auto smaller = [&](int n, int m) {
    return tree[n].freq < tree[m].freq || (tree[n].freq == tree[m].freq && depth_[n] <= depth_[m]);
  };
  const int v = heap_[k];
  int j = k << 1;
  while (j <= heapLen_) {
    if (j < heapLen_ && smaller(heap_[j + 1], heap_[j])) ++j;
    if (smaller(v, heap_[j])) break;
    heap_[k] = heap_[j];
    k = j;
    j <<= 1;
  }
  heap_[k] = v;
}

// Assigns code lengths from the tree in heap_, limiting them to the
// description's maximum, and adds the block's cost to optLen_/staticLen_.
void Deflater::GenBitLen(TreeDesc& desc) {
  TreeNode* tree = desc.dynTree;
  const int maxCode = desc.maxCode;
  const int maxLength = desc.maxLength;
  std::fill(std::begin(blCount_), std::end(blCount_), uint16_t{0});
  tree[heap_[heapMax_]].len = 0;  // root
  int overflow = 0;
  int h;
  for (h = heapMax_ + 1; h < kHeapSize; ++h) {
    const int n = heap_[h];
    int bits = tree[tree[n].dad].len + 1;
    if (bits > maxLength) {
      bits = maxLength;
      ++overflow;
    }
    tree[n].len = static_cast<uint16_t>(bits);
    if (n > maxCode) continue;  // not a leaf
    ++blCount_[bits];
    const int xbits = n >= desc.extraBase ? desc.extraBits[n - desc.extraBase] : 0;
    const uint64_t f = tree[n].freq;
    optLen_ += f * static_cast<uint64_t>(bits + xbits);
    if (desc.staticTree != nullptr) staticLen_ += f * (desc.staticTree[n].len + xbits);
  }
  if (overflow == 0) return;
  // Move leaves down from the deepest level below the maximum, two at a time.
  do {
    int bits = maxLength - 1;
    while (blCount_[bits] == 0) --bits;
    --blCount_[bits];
    blCount_[bits + 1] = static_cast<uint16_t>(blCount_[bits + 1] + 2);
    --blCount_[maxLength];
    overflow -= 2;
  } while (overflow > 0);
  // Reassign the lengths to the leaves in order of frequency.
  h = kHeapSize;
  for (int bits = maxLength; bits != 0; --bits) {
    int n = blCount_[bits];
    while (n != 0) {
      const int m = heap_[--h];
      if (m > maxCode) continue;
      if (tree[m].len != bits) {
        optLen_ += (static_cast<int64_t>(bits) - tree[m].len) * static_cast<int64_t>(tree[m].freq);
        tree[m].len = static_cast<uint16_t>(bits);
      }
      --n;
    }
  }
}

void Deflater::GenCodes(TreeNode* tree, int maxCode, const uint16_t* blCount) {
  uint16_t nextCode[kMaxBits + 1];
  unsigned code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + blCount[bits - 1]) << 1;
    nextCode[bits] = static_cast<uint16_t>(code);
  }
  for (int n = 0; n <= maxCode; ++n) {
    const int len = tree[n].len;
    if (len == 0) continue;
    tree[n].code = static_cast<uint16_t>(BiReverse(nextCode[len]++, len));
  }
}

void Deflater::BuildTree(TreeDesc& desc) {
  TreeNode* tree = desc.dynTree;
  const TreeNode* stree = desc.staticTree;
  const int elems = desc.elems;
  int maxCode = -1;
  heapLen_ = 0;
  heapMax_ = kHeapSize;
  for (int n = 0; n < elems; ++n) {
    if (tree[n].freq != 0) {
      heap_[++heapLen_] = maxCode = n;
      depth_[n] = 0;
    } else {
      tree[n].len = 0;
    }
  }
  // A valid code needs two symbols; add dummies of frequency 1.
  while (heapLen_ < 2) {
    const int node = heap_[++heapLen_] = maxCode < 2 ? ++maxCode : 0;
    tree[node].freq = 1;
    depth_[node] = 0;
    --optLen_;
    if (stree != nullptr) staticLen_ -= stree[node].len;
  }
  desc.maxCode = maxCode;
  for (int n = heapLen_ / 2; n >= 1; --n) PqDownHeap(tree, n);
  int node = elems;
  do {
    const int n = heap_[1];
    heap_[1] = heap_[heapLen_--];
    PqDownHeap(tree, 1);
    const int m = heap_[1];
    heap_[--heapMax_] = n;
    heap_[--heapMax_] = m;
    tree[node].freq = tree[n].freq + tree[m].freq;
    depth_[node] = static_cast<uint8_t>(std::max(depth_[n], depth_[m]) + 1);
    tree[n].dad = tree[m].dad = static_cast<uint16_t>(node);
    heap_[1] = node++;
    PqDownHeap(tree, 1);
  } while (heapLen_ >= 2);
  heap_[--heapMax_] = heap_[1];
  GenBitLen(desc);
  GenCodes(tree, maxCode, blCount_);
}

// Counts the run-length codes that SendTree will use for one tree.
void Deflater::ScanTree(const TreeNode* tree, int maxCode) {
  int prevlen = -1;
  int nextlen = tree[0].len;
  int count = 0;
  int maxCount = nextlen == 0 ? 138 : 7;
  int minCount = nextlen == 0 ? 3 : 4;
  for (int n = 0; n <= maxCode; ++n) {
    const int curlen = nextlen;
    nextlen = n + 1 <= maxCode ? tree[n + 1].len : -1;
    if (++count < maxCount && curlen == nextlen) continue;
    if (count < minCount) {
      blTree_[curlen].freq += count;
    } else if (curlen != 0) {
      if (curlen != prevlen) ++blTree_[curlen].freq;
      ++blTree_[kRep3To6].freq;
    } else if (count <= 10) {
      ++blTree_[kRepZ3To10].freq;
    } else {
      ++blTree_[kRepZ11To138].freq;
    }
    count = 0;
    prevlen = curlen;
    if (nextlen == 0) {
      maxCount = 138, minCount = 3;
    } else if (curlen == nextlen) {
      maxCount = 6, minCount = 3;
    } else {
      maxCount = 7, minCount = 4;
    }
  }
}

void Deflater::SendTree(const TreeNode* tree, int maxCode) {
  int prevlen = -1;
  int nextlen = tree[0].len;
  int count = 0;
  int maxCount = nextlen == 0 ? 138 : 7;
  int minCount = nextlen == 0 ? 3 : 4;
  for (int n = 0; n <= maxCode; ++n) {
    const int curlen = nextlen;
    nextlen = n + 1 <= maxCode ? tree[n + 1].len : -1;
    if (++count < maxCount && curlen == nextlen) continue;
    if (count < minCount) {
      do SendCode(curlen, blTree_);
      while (--count != 0);
    } else if (curlen != 0) {
      if (curlen != prevlen) {
        SendCode(curlen, blTree_);
        --count;
      }
      SendCode(kRep3To6, blTree_);
      SendBits(count - 3, 2);
    } else if (count <= 10) {
      SendCode(kRepZ3To10, blTree_);
      SendBits(count - 3, 3);
    } else {
      SendCode(kRepZ11To138, blTree_);
      SendBits(count - 11, 7);
    }
    count = 0;
    prevlen = curlen;
    if (nextlen == 0) {
      maxCount = 138, minCount = 3;
    } else if (curlen == nextlen) {
      maxCount = 6, minCount = 3;
    } else {
      maxCount = 7, minCount = 4;
    }
  }
}

// Builds the bit-length tree and returns the index in kBlOrder of the last
// length to send (at least 3, so at least 4 lengths go out).
int Deflater::BuildBlTree() {
  ScanTree(dynLtree_, lDesc_.maxCode);
  ScanTree(dynDtree_, dDesc_.maxCode);
  BuildTree(blDesc_);
  int maxBlindex;
  for (maxBlindex = kBlCodes - 1; maxBlindex >= 3; --maxBlindex)
    if (blTree_[kBlOrder[maxBlindex]].len != 0) break;
  optLen_ += 3 * (static_cast<uint64_t>(maxBlindex) + 1) + 5 + 5 + 4;
  return maxBlindex;
}

void Deflater::SendAllTrees(int lcodes, int dcodes, int blcodes) {
  SendBits(lcodes - 257, 5);
  SendBits(dcodes - 1, 5);
  SendBits(blcodes - 4, 4);
  for (int rank = 0; rank < blcodes; ++rank) SendBits(blTree_[kBlOrder[rank]].len, 3);
  SendTree(dynLtree_, lcodes - 1);
  SendTree(dynDtree_, dcodes - 1);
}

void Deflater::CompressBlock(const TreeNode* ltree, const TreeNode* dtree) {
  unsigned lx = 0, dx = 0, fx = 0;
  unsigned flag = 0;
  while (lx < lastLit_) {
    if ((lx & 7) == 0) flag = flagBuf_[fx++];
    unsigned lc = lBuf_[lx++];
    if ((flag & 1) == 0) {
      SendCode(lc, ltree);
    } else {
      unsigned code = lengthCode_[lc];
      SendCode(code + kLiterals + 1, ltree);
      if (const int extra = kExtraLBits[code]; extra != 0) SendBits(lc - baseLength_[code], extra);
      unsigned dist = dBuf_[dx++];
      code = dist < 256 ? distCode_[dist] : distCode_[256 + (dist >> 7)];
      SendCode(code, dtree);
      if (const int extra = kExtraDBits[code]; extra != 0) SendBits(dist - baseDist_[code], extra);
    }
    flag >>= 1;
  }
  SendCode(kEndBlock, ltree);
}

// ------------------------------------------------------------ bit output --

void Deflater::FlushOutbuf() {
  if (outcnt_ != 0) (*write_)(std::span<const uint8_t>(outbuf_, outcnt_));
  outcnt_ = 0;
}

// Puts out the pending bits, the last byte padded with zeros.
void Deflater::BiWindup() {
  while (biValid_ > 0) {
    PutByte(static_cast<uint8_t>(biBuf_));
    biBuf_ >>= 8;
    biValid_ -= 8;
  }
  biBuf_ = 0;
  biValid_ = 0;
}

}  // namespace kv
