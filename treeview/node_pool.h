#pragma once
// Fixed-size node blocks for one tree. Blocks come from slabs that grow
// geometrically; freed blocks go to a free list. The pool also answers whether
// an arbitrary pointer is a live block of its own, so that handles coming from
// outside (tree-view messages of other processes or threads) can be checked
// before they are dereferenced.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace kv {

class TNodePool {
 public:
  TNodePool() = default;
  TNodePool(const TNodePool&) = delete;
  TNodePool& operator=(const TNodePool&) = delete;

  // Block size in bytes (a multiple of 8); only while no block is live.
  void SetBlockSize(std::size_t size);
  std::size_t BlockSize() const { return blockSize_; }

  // A zero-filled, 8-aligned block.
  [[nodiscard]] void* Allocate();
  void Free(void* block);
  // Whether `p` is the start of a block handed out and not yet freed.
  bool IsLive(const void* p) const;
  std::size_t LiveCount() const { return live_; }
  // Bytes held in slabs and bookkeeping.
  std::size_t ReservedBytes() const;

 private:
  struct Slab {
    std::unique_ptr<std::byte[]> memory;
    std::size_t blocks = 0;
    std::size_t used = 0;  // blocks handed out from the untouched tail so far
    std::vector<std::uint64_t> liveBits;
  };
  const Slab* FindSlab(const void* p, std::size_t& index) const;
  void ReleaseAll();

  std::size_t blockSize_ = 64;
  std::vector<Slab> slabs_;
  std::map<std::uintptr_t, std::size_t> slabByAddress_;
  void* freeList_ = nullptr;
  std::size_t live_ = 0;
};

}  // namespace kv
