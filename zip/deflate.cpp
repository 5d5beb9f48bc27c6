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
      l_buf_(kLitBufSize),
      d_buf_(kDistBufSize),
      flag_buf_(kLitBufSize / 8) {
  // Length 3..258 (stored as 0..255) to length code, and each code's base.
  int length = 0;
  for (int code = 0; code < kLengthCodes - 1; ++code) {
    base_length_[code] = length;
    for (int n = 0; n < (1 << kExtraLBits[code]); ++n) length_code_[length++] = static_cast<uint8_t>(code);
  }
  // Length 258 has a code of its own rather than the last extra value of 284.
  length_code_[length - 1] = kLengthCodes - 1;
  base_length_[kLengthCodes - 1] = kMaxMatch - kMinMatch;
  // Distance - 1 to code: direct below 256, by distance / 128 above.
  int dist = 0;
  for (int code = 0; code < 16; ++code) {
    base_dist_[code] = dist;
    for (int n = 0; n < (1 << kExtraDBits[code]); ++n) dist_code_[dist++] = static_cast<uint8_t>(code);
  }
  dist >>= 7;
  for (int code = 16; code < kDCodes; ++code) {
    base_dist_[code] = dist << 7;
    for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n) dist_code_[256 + dist++] = static_cast<uint8_t>(code);
  }
  uint16_t count[kMaxBits + 1] = {};
  for (int n = 0; n < 288; ++n) {
    static_ltree_[n].len = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
    ++count[static_ltree_[n].len];
  }
  GenCodes(static_ltree_, 287, count);
  for (int n = 0; n < kDCodes; ++n) {
    static_dtree_[n].len = 5;
    static_dtree_[n].code = static_cast<uint16_t>(BiReverse(n, 5));
  }
}

// ------------------------------------------------------------ setting up --

void Deflater::InitBlock() {
  for (int n = 0; n < kLCodes; ++n) dyn_ltree_[n].freq = 0;
  for (int n = 0; n < kDCodes; ++n) dyn_dtree_[n].freq = 0;
  for (int n = 0; n < kBlCodes; ++n) bl_tree_[n].freq = 0;
  dyn_ltree_[kEndBlock].freq = 1;
  opt_len_ = static_len_ = 0;
  last_lit_ = last_dist_ = last_flags_ = 0;
  flags_ = 0;
  flag_bit_ = 1;
}

void Deflater::LmInit(int level, DeflateEntry& entry) {
  std::fill(head_.begin(), head_.end(), uint16_t{0});
  const Config& c = kConfig[level];
  good_match_ = c.good;
  max_lazy_ = c.lazy;
  nice_match_ = c.nice;
  max_chain_ = c.chain;
  if (level < 3) entry.flags |= 4;
  if (level >= 8) entry.flags |= 2;
  strstart_ = 0;
  block_start_ = 0;
  match_start_ = 0;
  prev_length_ = kMinMatch - 1;
  eofile_ = false;
  lookahead_ = static_cast<unsigned>((*read_)(std::span<uint8_t>(window_.data(), kWSize)));
  if (lookahead_ == 0) {
    eofile_ = true;
    return;
  }
  while (lookahead_ < kMinLookahead && !eofile_) FillWindow();
  ins_h_ = 0;
  for (unsigned j = 0; j < kMinMatch - 1; ++j) ins_h_ = ((ins_h_ << kHashShift) ^ window_[j]) & kHashMask;
}

uint64_t Deflater::Deflate(int level, const ReadFn& read, const WriteFn& write, DeflateEntry& entry) {
  if (level < kMinLevel || level > kMaxLevel) throw std::invalid_argument("deflate level out of range");
  read_ = &read;
  write_ = &write;
  entry_ = &entry;
  level_ = level;
  l_desc_ = {dyn_ltree_, static_ltree_, kExtraLBits, kLiterals + 1, kLCodes, kMaxBits, 0};
  d_desc_ = {dyn_dtree_, static_dtree_, kExtraDBits, 0, kDCodes, kMaxBits, 0};
  bl_desc_ = {bl_tree_, nullptr, kExtraBlBits, 0, kBlCodes, kMaxBlBits, 0};
  bi_buf_ = 0;
  bi_valid_ = 0;
  outcnt_ = 0;
  compressed_len_ = 0;
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
  if (strstart_ >= kWSize + kMaxDist) {
    std::memcpy(window_.data(), window_.data() + kWSize, kWSize);
    match_start_ -= kWSize;
    strstart_ -= kWSize;
    block_start_ -= kWSize;
    for (auto& h : head_) h = static_cast<uint16_t>(h >= kWSize ? h - kWSize : kNil);
    for (auto& p : prev_) p = static_cast<uint16_t>(p >= kWSize ? p - kWSize : kNil);
    more += kWSize;
  }
  if (eofile_) return;
  const size_t n = (*read_)(std::span<uint8_t>(window_.data() + strstart_ + lookahead_, more));
  if (n == 0)
    eofile_ = true;
  else
    lookahead_ += static_cast<unsigned>(std::min<size_t>(n, more));
}

// Follows the hash chain from `cur_match` and returns the longest match
// found, at least prev_length_; sets match_start_ when it finds a longer one.
unsigned Deflater::LongestMatch(unsigned cur_match) {
  unsigned chain_length = max_chain_;
  const uint8_t* w = window_.data();
  const uint8_t* scan = w + strstart_;
  unsigned best_len = prev_length_;
  const unsigned limit = strstart_ > kMaxDist ? strstart_ - kMaxDist : kNil;
  if (prev_length_ >= good_match_) chain_length >>= 2;
  uint8_t scan_end1 = scan[best_len - 1];
  uint8_t scan_end = scan[best_len];
  do {
    const uint8_t* match = w + cur_match;
    if (match[best_len] != scan_end || match[best_len - 1] != scan_end1 || match[0] != scan[0] ||
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
    if (len > best_len) {
      match_start_ = cur_match;
      best_len = len;
      if (len >= nice_match_) break;
      scan_end1 = scan[best_len - 1];
      scan_end = scan[best_len];
    }
  } while ((cur_match = prev_[cur_match & kWMask]) > limit && --chain_length != 0);
  return best_len;
}

void Deflater::CheckMatch(unsigned start, unsigned match, unsigned length) const {
  if (std::memcmp(window_.data() + match, window_.data() + start, length) != 0) {
    char msg[80];
    std::snprintf(msg, sizeof msg, "Start: %u, Match: %u, Length: %u", start, match, length);
    throw EInvalidMatch(msg);
  }
}

#define KV_UPDATE_HASH(h, c) ((h) = (((h) << kHashShift) ^ (c)) & kHashMask)

// Levels 1-3: take every match found at once; insert the strings of short
// matches only.
uint64_t Deflater::DeflateFast() {
  unsigned match_length = 0;
  uint8_t* w = window_.data();
  while (lookahead_ != 0) {
    KV_UPDATE_HASH(ins_h_, w[strstart_ + kMinMatch - 1]);
    const unsigned hash_head = head_[ins_h_];
    prev_[strstart_ & kWMask] = static_cast<uint16_t>(hash_head);
    head_[ins_h_] = static_cast<uint16_t>(strstart_);
    if (hash_head != kNil && strstart_ - hash_head <= kMaxDist) {
      match_length = std::min(LongestMatch(hash_head), lookahead_);
    }
    bool flush;
    if (match_length >= kMinMatch) {
      CheckMatch(strstart_, match_start_, match_length);
      flush = Tally(strstart_ - match_start_, match_length - kMinMatch);
      lookahead_ -= match_length;
      if (match_length <= max_lazy_) {
        --match_length;
        do {
          ++strstart_;
          KV_UPDATE_HASH(ins_h_, w[strstart_ + kMinMatch - 1]);
          prev_[strstart_ & kWMask] = head_[ins_h_];
          head_[ins_h_] = static_cast<uint16_t>(strstart_);
        } while (--match_length != 0);
        ++strstart_;
      } else {
        strstart_ += match_length;
        match_length = 0;
        ins_h_ = w[strstart_];
        KV_UPDATE_HASH(ins_h_, w[strstart_ + 1]);
      }
    } else {
      flush = Tally(0, w[strstart_]);
      --lookahead_;
      ++strstart_;
    }
    if (flush) {
      FlushBlock(false);
      block_start_ = strstart_;
    }
    while (lookahead_ < kMinLookahead && !eofile_) FillWindow();
  }
  return FlushBlock(true);
}

// Levels 4-9: a match is only taken when the next position does not start
// a longer one.
uint64_t Deflater::DeflateLazy() {
  unsigned match_length = kMinMatch - 1;
  bool match_available = false;
  uint8_t* w = window_.data();
  while (lookahead_ != 0) {
    KV_UPDATE_HASH(ins_h_, w[strstart_ + kMinMatch - 1]);
    const unsigned hash_head = head_[ins_h_];
    prev_[strstart_ & kWMask] = static_cast<uint16_t>(hash_head);
    head_[ins_h_] = static_cast<uint16_t>(strstart_);
    prev_length_ = match_length;
    const unsigned prev_match = match_start_;
    match_length = kMinMatch - 1;
    if (hash_head != kNil && prev_length_ < max_lazy_ && strstart_ - hash_head <= kMaxDist) {
      match_length = std::min(LongestMatch(hash_head), lookahead_);
      if (match_length == kMinMatch && strstart_ - match_start_ > kTooFar) --match_length;
    }
    if (prev_length_ >= kMinMatch && match_length <= prev_length_) {
      CheckMatch(strstart_ - 1, prev_match, prev_length_);
      const bool flush = Tally(strstart_ - 1 - prev_match, prev_length_ - kMinMatch);
      lookahead_ -= prev_length_ - 1;
      prev_length_ -= 2;
      do {
        ++strstart_;
        KV_UPDATE_HASH(ins_h_, w[strstart_ + kMinMatch - 1]);
        prev_[strstart_ & kWMask] = head_[ins_h_];
        head_[ins_h_] = static_cast<uint16_t>(strstart_);
      } while (--prev_length_ != 0);
      match_available = false;
      match_length = kMinMatch - 1;
      ++strstart_;
      if (flush) {
        FlushBlock(false);
        block_start_ = strstart_;
      }
    } else if (match_available) {
      if (Tally(0, w[strstart_ - 1])) {
        FlushBlock(false);
        block_start_ = strstart_;
      }
      ++strstart_;
      --lookahead_;
    } else {
      match_available = true;
      ++strstart_;
      --lookahead_;
    }
    while (lookahead_ < kMinLookahead && !eofile_) FillWindow();
  }
  if (match_available) Tally(0, w[strstart_ - 1]);
  return FlushBlock(true);
}

#undef KV_UPDATE_HASH

// ---------------------------------------------------------- block coding --

// Buffers one literal (dist 0) or match (dist, length - 3); true when the
// block should end here.
bool Deflater::Tally(unsigned dist, unsigned lc) {
  l_buf_[last_lit_++] = static_cast<uint8_t>(lc);
  if (dist == 0) {
    ++dyn_ltree_[lc].freq;
  } else {
    --dist;
    ++dyn_ltree_[length_code_[lc] + kLiterals + 1].freq;
    ++dyn_dtree_[dist < 256 ? dist_code_[dist] : dist_code_[256 + (dist >> 7)]].freq;
    d_buf_[last_dist_++] = static_cast<uint16_t>(dist);
    flags_ |= flag_bit_;
  }
  flag_bit_ = static_cast<uint8_t>(flag_bit_ << 1);
  if ((last_lit_ & 7) == 0) {
    flag_buf_[last_flags_++] = flags_;
    flags_ = 0;
    flag_bit_ = 1;
  }
  if (level_ > 2 && (last_lit_ & 0xfff) == 0) {
    // A block that already codes to less than half its input while holding
    // few matches is ended early so the next one gets its own trees.
    uint64_t out_length = uint64_t{last_lit_} * 8;
    const uint64_t in_length = static_cast<uint64_t>(strstart_ - block_start_);
    for (int dcode = 0; dcode < kDCodes; ++dcode)
      out_length += uint64_t{dyn_dtree_[dcode].freq} * (5 + kExtraDBits[dcode]);
    out_length >>= 3;
    if (last_dist_ < last_lit_ / 2 && out_length < in_length / 2) return true;
  }
  return last_lit_ == kLitBufSize - 1 || last_dist_ == kDistBufSize;
}

// Text when bytes outside 7..127 are at most a quarter of those inside.
void Deflater::SetFileType() {
  uint64_t bin = 0, ascii = 0;
  int n = 0;
  while (n < 7) bin += dyn_ltree_[n++].freq;
  while (n < 128) ascii += dyn_ltree_[n++].freq;
  while (n < kLiterals) bin += dyn_ltree_[n++].freq;
  entry_->internal_attributes = bin > (ascii >> 2) ? 0 : 1;
}

uint64_t Deflater::FlushBlock(bool eof) {
  flag_buf_[last_flags_] = flags_;  // the items since the last full flag byte
  if (entry_->internal_attributes == 2) SetFileType();
  BuildTree(l_desc_);
  BuildTree(d_desc_);
  const int max_blindex = BuildBlTree();
  uint64_t opt_lenb = (opt_len_ + 3 + 7) >> 3;
  const uint64_t static_lenb = (static_len_ + 3 + 7) >> 3;
  if (static_lenb <= opt_lenb) opt_lenb = static_lenb;

  const uint64_t stored_len = static_cast<uint64_t>(static_cast<int64_t>(strstart_) - block_start_);
  // The raw bytes are only at hand while the block's start is still in the
  // window; once it has slid away the block must be coded.
  const uint8_t* buf = block_start_ >= 0 ? window_.data() + block_start_ : nullptr;
  const uint64_t stored_blocks = std::max<uint64_t>(1, (stored_len + kMaxStoredLen - 1) / kMaxStoredLen);

  if (buf != nullptr && eof && compressed_len_ == 0 && stored_len <= opt_lenb) {
    // The whole entry in one block that does not shrink: written as is.
    FlushOutbuf();
    if (stored_len != 0) (*write_)(std::span<const uint8_t>(buf, stored_len));
    compressed_len_ = stored_len << 3;
    entry_->method = 0;
  } else if (buf != nullptr && stored_len + 4 * stored_blocks <= opt_lenb) {
    SendStored(buf, stored_len, eof);
  } else if (static_lenb == opt_lenb) {
    SendBits((kStaticTrees << 1) + eof, 3);
    CompressBlock(static_ltree_, static_dtree_);
    compressed_len_ += 3 + static_len_;
  } else {
    SendBits((kDynTrees << 1) + eof, 3);
    SendAllTrees(l_desc_.max_code + 1, d_desc_.max_code + 1, max_blindex + 1);
    CompressBlock(dyn_ltree_, dyn_dtree_);
    compressed_len_ += 3 + opt_len_;
  }
  InitBlock();
  if (eof) {
    if (entry_->method != 0) {
      BiWindup();
      compressed_len_ += 7;
    }
    FlushOutbuf();
  }
  return compressed_len_ >> 3;
}

// Stored blocks hold at most 65535 bytes each; a longer run of raw data
// (possible when the window is nearly full) is split.
void Deflater::SendStored(const uint8_t* buf, uint64_t stored_len, bool eof) {
  do {
    const uint64_t chunk = std::min(stored_len, kMaxStoredLen);
    stored_len -= chunk;
    SendBits((kStoredBlock << 1) + (eof && stored_len == 0), 3);
    compressed_len_ = (compressed_len_ + 3 + 7) & ~uint64_t{7};
    compressed_len_ += (chunk + 4) << 3;
    BiWindup();
    PutByte(static_cast<uint8_t>(chunk));
    PutByte(static_cast<uint8_t>(chunk >> 8));
    PutByte(static_cast<uint8_t>(~chunk));
    PutByte(static_cast<uint8_t>(~chunk >> 8));
    FlushOutbuf();
    if (chunk != 0) (*write_)(std::span<const uint8_t>(buf, chunk));
    buf += chunk;
  } while (stored_len != 0);
}

void Deflater::PqDownHeap(const TreeNode* tree, int k) {
  const auto smaller = [&](int n, int m) {
    return tree[n].freq < tree[m].freq || (tree[n].freq == tree[m].freq && depth_[n] <= depth_[m]);
  };
  const int v = heap_[k];
  int j = k << 1;
  while (j <= heap_len_) {
    if (j < heap_len_ && smaller(heap_[j + 1], heap_[j])) ++j;
    if (smaller(v, heap_[j])) break;
    heap_[k] = heap_[j];
    k = j;
    j <<= 1;
  }
  heap_[k] = v;
}

// Assigns code lengths from the tree in heap_, limiting them to the
// description's maximum, and adds the block's cost to opt_len_/static_len_.
void Deflater::GenBitLen(TreeDesc& desc) {
  TreeNode* tree = desc.dyn_tree;
  const int max_code = desc.max_code;
  const int max_length = desc.max_length;
  std::fill(std::begin(bl_count_), std::end(bl_count_), uint16_t{0});
  tree[heap_[heap_max_]].len = 0;  // root
  int overflow = 0;
  int h;
  for (h = heap_max_ + 1; h < kHeapSize; ++h) {
    const int n = heap_[h];
    int bits = tree[tree[n].dad].len + 1;
    if (bits > max_length) {
      bits = max_length;
      ++overflow;
    }
    tree[n].len = static_cast<uint16_t>(bits);
    if (n > max_code) continue;  // not a leaf
    ++bl_count_[bits];
    const int xbits = n >= desc.extra_base ? desc.extra_bits[n - desc.extra_base] : 0;
    const uint64_t f = tree[n].freq;
    opt_len_ += f * static_cast<uint64_t>(bits + xbits);
    if (desc.static_tree != nullptr) static_len_ += f * (desc.static_tree[n].len + xbits);
  }
  if (overflow == 0) return;
  // Move leaves down from the deepest level below the maximum, two at a time.
  do {
    int bits = max_length - 1;
    while (bl_count_[bits] == 0) --bits;
    --bl_count_[bits];
    bl_count_[bits + 1] = static_cast<uint16_t>(bl_count_[bits + 1] + 2);
    --bl_count_[max_length];
    overflow -= 2;
  } while (overflow > 0);
  // Reassign the lengths to the leaves in order of frequency.
  h = kHeapSize;
  for (int bits = max_length; bits != 0; --bits) {
    int n = bl_count_[bits];
    while (n != 0) {
      const int m = heap_[--h];
      if (m > max_code) continue;
      if (tree[m].len != bits) {
        opt_len_ += (static_cast<int64_t>(bits) - tree[m].len) * static_cast<int64_t>(tree[m].freq);
        tree[m].len = static_cast<uint16_t>(bits);
      }
      --n;
    }
  }
}

void Deflater::GenCodes(TreeNode* tree, int max_code, const uint16_t* bl_count) {
  uint16_t next_code[kMaxBits + 1];
  unsigned code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + bl_count[bits - 1]) << 1;
    next_code[bits] = static_cast<uint16_t>(code);
  }
  for (int n = 0; n <= max_code; ++n) {
    const int len = tree[n].len;
    if (len == 0) continue;
    tree[n].code = static_cast<uint16_t>(BiReverse(next_code[len]++, len));
  }
}

void Deflater::BuildTree(TreeDesc& desc) {
  TreeNode* tree = desc.dyn_tree;
  const TreeNode* stree = desc.static_tree;
  const int elems = desc.elems;
  int max_code = -1;
  heap_len_ = 0;
  heap_max_ = kHeapSize;
  for (int n = 0; n < elems; ++n) {
    if (tree[n].freq != 0) {
      heap_[++heap_len_] = max_code = n;
      depth_[n] = 0;
    } else {
      tree[n].len = 0;
    }
  }
  // A valid code needs two symbols; add dummies of frequency 1.
  while (heap_len_ < 2) {
    const int node = heap_[++heap_len_] = max_code < 2 ? ++max_code : 0;
    tree[node].freq = 1;
    depth_[node] = 0;
    --opt_len_;
    if (stree != nullptr) static_len_ -= stree[node].len;
  }
  desc.max_code = max_code;
  for (int n = heap_len_ / 2; n >= 1; --n) PqDownHeap(tree, n);
  int node = elems;
  do {
    const int n = heap_[1];
    heap_[1] = heap_[heap_len_--];
    PqDownHeap(tree, 1);
    const int m = heap_[1];
    heap_[--heap_max_] = n;
    heap_[--heap_max_] = m;
    tree[node].freq = tree[n].freq + tree[m].freq;
    depth_[node] = static_cast<uint8_t>(std::max(depth_[n], depth_[m]) + 1);
    tree[n].dad = tree[m].dad = static_cast<uint16_t>(node);
    heap_[1] = node++;
    PqDownHeap(tree, 1);
  } while (heap_len_ >= 2);
  heap_[--heap_max_] = heap_[1];
  GenBitLen(desc);
  GenCodes(tree, max_code, bl_count_);
}

// Counts the run-length codes that SendTree will use for one tree.
void Deflater::ScanTree(const TreeNode* tree, int max_code) {
  int prevlen = -1;
  int nextlen = tree[0].len;
  int count = 0;
  int max_count = nextlen == 0 ? 138 : 7;
  int min_count = nextlen == 0 ? 3 : 4;
  for (int n = 0; n <= max_code; ++n) {
    const int curlen = nextlen;
    nextlen = n + 1 <= max_code ? tree[n + 1].len : -1;
    if (++count < max_count && curlen == nextlen) continue;
    if (count < min_count) {
      bl_tree_[curlen].freq += count;
    } else if (curlen != 0) {
      if (curlen != prevlen) ++bl_tree_[curlen].freq;
      ++bl_tree_[kRep3To6].freq;
    } else if (count <= 10) {
      ++bl_tree_[kRepZ3To10].freq;
    } else {
      ++bl_tree_[kRepZ11To138].freq;
    }
    count = 0;
    prevlen = curlen;
    if (nextlen == 0) {
      max_count = 138, min_count = 3;
    } else if (curlen == nextlen) {
      max_count = 6, min_count = 3;
    } else {
      max_count = 7, min_count = 4;
    }
  }
}

void Deflater::SendTree(const TreeNode* tree, int max_code) {
  int prevlen = -1;
  int nextlen = tree[0].len;
  int count = 0;
  int max_count = nextlen == 0 ? 138 : 7;
  int min_count = nextlen == 0 ? 3 : 4;
  for (int n = 0; n <= max_code; ++n) {
    const int curlen = nextlen;
    nextlen = n + 1 <= max_code ? tree[n + 1].len : -1;
    if (++count < max_count && curlen == nextlen) continue;
    if (count < min_count) {
      do SendCode(curlen, bl_tree_);
      while (--count != 0);
    } else if (curlen != 0) {
      if (curlen != prevlen) {
        SendCode(curlen, bl_tree_);
        --count;
      }
      SendCode(kRep3To6, bl_tree_);
      SendBits(count - 3, 2);
    } else if (count <= 10) {
      SendCode(kRepZ3To10, bl_tree_);
      SendBits(count - 3, 3);
    } else {
      SendCode(kRepZ11To138, bl_tree_);
      SendBits(count - 11, 7);
    }
    count = 0;
    prevlen = curlen;
    if (nextlen == 0) {
      max_count = 138, min_count = 3;
    } else if (curlen == nextlen) {
      max_count = 6, min_count = 3;
    } else {
      max_count = 7, min_count = 4;
    }
  }
}

// Builds the bit-length tree and returns the index in kBlOrder of the last
// length to send (at least 3, so at least 4 lengths go out).
int Deflater::BuildBlTree() {
  ScanTree(dyn_ltree_, l_desc_.max_code);
  ScanTree(dyn_dtree_, d_desc_.max_code);
  BuildTree(bl_desc_);
  int max_blindex;
  for (max_blindex = kBlCodes - 1; max_blindex >= 3; --max_blindex)
    if (bl_tree_[kBlOrder[max_blindex]].len != 0) break;
  opt_len_ += 3 * (static_cast<uint64_t>(max_blindex) + 1) + 5 + 5 + 4;
  return max_blindex;
}

void Deflater::SendAllTrees(int lcodes, int dcodes, int blcodes) {
  SendBits(lcodes - 257, 5);
  SendBits(dcodes - 1, 5);
  SendBits(blcodes - 4, 4);
  for (int rank = 0; rank < blcodes; ++rank) SendBits(bl_tree_[kBlOrder[rank]].len, 3);
  SendTree(dyn_ltree_, lcodes - 1);
  SendTree(dyn_dtree_, dcodes - 1);
}

void Deflater::CompressBlock(const TreeNode* ltree, const TreeNode* dtree) {
  unsigned lx = 0, dx = 0, fx = 0;
  unsigned flag = 0;
  while (lx < last_lit_) {
    if ((lx & 7) == 0) flag = flag_buf_[fx++];
    unsigned lc = l_buf_[lx++];
    if ((flag & 1) == 0) {
      SendCode(lc, ltree);
    } else {
      unsigned code = length_code_[lc];
      SendCode(code + kLiterals + 1, ltree);
      if (const int extra = kExtraLBits[code]; extra != 0) SendBits(lc - base_length_[code], extra);
      unsigned dist = d_buf_[dx++];
      code = dist < 256 ? dist_code_[dist] : dist_code_[256 + (dist >> 7)];
      SendCode(code, dtree);
      if (const int extra = kExtraDBits[code]; extra != 0) SendBits(dist - base_dist_[code], extra);
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
  while (bi_valid_ > 0) {
    PutByte(static_cast<uint8_t>(bi_buf_));
    bi_buf_ >>= 8;
    bi_valid_ -= 8;
  }
  bi_buf_ = 0;
  bi_valid_ = 0;
}

}  // namespace kv
