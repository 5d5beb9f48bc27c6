#pragma once
// The archive writer's compressor: hash-chain LZ77 with a fast strategy
// (levels 1-3) and lazy matching (levels 4-9), then per block the cheapest of
// a stored block, the fixed codes or dynamic codes (RFC 1951).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

#include "zip/zip_errors.h"

namespace kv {

// An emitted match disagrees with the window: an internal fault, never bad input.
KV_ZIP_EXCEPTION(EInvalidMatch, "Invalid match");

// The fields of the entry being written that deflate reads and changes.
struct DeflateEntry {
  uint16_t flags = 0;                // bit 2 set below level 3, bit 1 at levels 8 and 9
  uint16_t method = 8;               // becomes 0 when the data went out as raw bytes
  uint16_t internalAttributes = 2;  // 2 on entry: decided as 1 (text) or 0 (binary)
};

class Deflater {
 public:
  // Fills `buf` with up to buf.size() bytes of input; 0 or kReadEnd means
  // no more input (no read asks for kReadEnd bytes or more).
  using ReadFn = std::function<size_t(std::span<uint8_t> buf)>;
  static constexpr size_t kReadEnd = 65535;
  // Takes compressed bytes; the span is only valid during the call.
  using WriteFn = std::function<void(std::span<const uint8_t> bytes)>;

  static constexpr int kMinLevel = 1;
  static constexpr int kMaxLevel = 9;

  // Allocates the work arrays once; one Deflater serves any number of entries.
  Deflater();

  // Compresses the whole input at `level` (1-9) and returns the number of
  // bytes handed to `write`. Exceptions of `read` and `write` pass through.
  uint64_t Deflate(int level, const ReadFn& read, const WriteFn& write, DeflateEntry& entry);

 private:
  struct TreeNode {
    uint32_t freq = 0;  // frequency, or after code construction unused
    uint16_t code = 0;  // bit-reversed code
    uint16_t dad = 0;
    uint16_t len = 0;
  };
  struct TreeDesc {
    TreeNode* dynTree;
    const TreeNode* staticTree;  // null for the bit-length tree
    const uint8_t* extraBits;
    int extraBase;
    int elems;
    int maxLength;
    int maxCode;
  };

  // Setting up.
  void InitBlock();
  void LmInit(int level, DeflateEntry& entry);
  // Matching.
  void FillWindow();
  unsigned LongestMatch(unsigned curMatch);
  void CheckMatch(unsigned start, unsigned match, unsigned length) const;
  uint64_t DeflateFast();
  uint64_t DeflateLazy();
  // Block coding.
  bool Tally(unsigned dist, unsigned lc);
  uint64_t FlushBlock(bool eof);
  void SetFileType();
  void PqDownHeap(const TreeNode* tree, int k);
  void GenBitLen(TreeDesc& desc);
  static void GenCodes(TreeNode* tree, int maxCode, const uint16_t* blCount);
  void BuildTree(TreeDesc& desc);
  void ScanTree(const TreeNode* tree, int maxCode);
  void SendTree(const TreeNode* tree, int maxCode);
  int BuildBlTree();
  void SendAllTrees(int lcodes, int dcodes, int blcodes);
  void CompressBlock(const TreeNode* ltree, const TreeNode* dtree);
  void SendStored(const uint8_t* buf, uint64_t storedLen, bool eof);
  // Bit output.
  void SendBits(uint32_t value, int length) {
    biBuf_ |= uint64_t{value} << biValid_;
    biValid_ += length;
    if (biValid_ >= 32) {
      if (outcnt_ + 4 > kOutBufSize) FlushOutbuf();
      for (int i = 0; i < 4; ++i) outbuf_[outcnt_++] = static_cast<uint8_t>(biBuf_ >> (8 * i));
      biBuf_ >>= 32;
      biValid_ -= 32;
    }
  }
  void SendCode(unsigned c, const TreeNode* tree) { SendBits(tree[c].code, tree[c].len); }
  void PutByte(uint8_t b) {
    if (outcnt_ == kOutBufSize) FlushOutbuf();
    outbuf_[outcnt_++] = b;
  }
  void FlushOutbuf();
  void BiWindup();

  static constexpr int kOutBufSize = 1024;
  static constexpr int kLCodes = 286;
  static constexpr int kDCodes = 30;
  static constexpr int kBlCodes = 19;
  static constexpr int kHeapSize = 2 * kLCodes + 1;

  // Static tables, built once.
  uint8_t lengthCode_[256];
  uint8_t distCode_[512];
  int baseLength_[29];
  int baseDist_[30];
  TreeNode staticLtree_[288];
  TreeNode staticDtree_[kDCodes];

  // Work arrays, reused for every entry.
  std::vector<uint8_t> window_;
  std::vector<uint16_t> prev_;
  std::vector<uint16_t> head_;
  std::vector<uint8_t> lBuf_;
  std::vector<uint16_t> dBuf_;
  std::vector<uint8_t> flagBuf_;

  // Per-call state.
  TreeNode dynLtree_[kHeapSize];
  TreeNode dynDtree_[2 * kDCodes + 1];
  TreeNode blTree_[2 * kBlCodes + 1];
  TreeDesc lDesc_{};
  TreeDesc dDesc_{};
  TreeDesc blDesc_{};
  uint16_t blCount_[16] = {};
  int heap_[kHeapSize] = {};
  int heapLen_ = 0;
  int heapMax_ = 0;
  uint8_t depth_[kHeapSize] = {};
  uint64_t optLen_ = 0;
  uint64_t staticLen_ = 0;
  unsigned lastLit_ = 0;
  unsigned lastDist_ = 0;
  unsigned lastFlags_ = 0;
  uint8_t flags_ = 0;
  uint8_t flagBit_ = 1;
  uint64_t compressedLen_ = 0;  // bits
  uint64_t biBuf_ = 0;
  int biValid_ = 0;
  uint8_t outbuf_[kOutBufSize];
  int outcnt_ = 0;
  const ReadFn* read_ = nullptr;
  const WriteFn* write_ = nullptr;
  DeflateEntry* entry_ = nullptr;
  int level_ = 0;
  unsigned goodMatch_ = 0, maxLazy_ = 0, niceMatch_ = 0, maxChain_ = 0;
  unsigned strstart_ = 0;
  int64_t blockStart_ = 0;
  unsigned lookahead_ = 0;
  unsigned matchStart_ = 0;
  unsigned prevLength_ = 0;
  unsigned insH_ = 0;
  bool eofile_ = false;
};

}  // namespace kv
