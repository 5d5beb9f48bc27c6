#include "treeview/node_pool.h"

#include <algorithm>
#include <cstring>

#include "treeview/lazy_node.h"

namespace kv {

namespace {
constexpr std::size_t kFirstSlabBlocks = 256;
constexpr std::size_t kMaxSlabBlocks = 8192;
}  // namespace

void TNodePool::SetBlockSize(std::size_t size) {
  LazyTreeAssert(live_ == 0, "Node pool block size changed while nodes exist.");
  size = (size + 7) & ~std::size_t{7};
  if (size < sizeof(void*)) size = sizeof(void*);
  if (size != blockSize_) ReleaseAll();
  blockSize_ = size;
}

void TNodePool::ReleaseAll() {
  slabs_.clear();
  slabByAddress_.clear();
  freeList_ = nullptr;
  live_ = 0;
}

void* TNodePool::Allocate() {
  std::byte* block = nullptr;
  if (freeList_ != nullptr) {
    block = static_cast<std::byte*>(freeList_);
    std::memcpy(&freeList_, block, sizeof(void*));
  } else {
    if (slabs_.empty() || slabs_.back().used == slabs_.back().blocks) {
      Slab slab;
      slab.blocks = slabs_.empty() ? kFirstSlabBlocks
                                   : std::min(kMaxSlabBlocks, slabs_.back().blocks * 2);
      // Not value-initialised: each block is cleared when handed out.
      slab.memory = std::make_unique_for_overwrite<std::byte[]>(slab.blocks * blockSize_);
      slab.liveBits.assign((slab.blocks + 63) / 64, 0);
      slabByAddress_.emplace(reinterpret_cast<std::uintptr_t>(slab.memory.get()), slabs_.size());
      slabs_.push_back(std::move(slab));
    }
    Slab& slab = slabs_.back();
    block = slab.memory.get() + slab.used * blockSize_;
    ++slab.used;
  }
  std::size_t index = 0;
  Slab& slab = const_cast<Slab&>(*FindSlab(block, index));
  slab.liveBits[index / 64] |= std::uint64_t{1} << (index % 64);
  std::memset(block, 0, blockSize_);
  ++live_;
  return block;
}

void TNodePool::Free(void* p) {
  std::size_t index = 0;
  const Slab* found = FindSlab(p, index);
  LazyTreeAssert(found != nullptr && (found->liveBits[index / 64] >> (index % 64) & 1) != 0,
                 "Node freed twice or not from this tree.");
  Slab& slab = const_cast<Slab&>(*found);
  slab.liveBits[index / 64] &= ~(std::uint64_t{1} << (index % 64));
  std::memcpy(p, &freeList_, sizeof(void*));
  freeList_ = p;
  if (--live_ == 0) ReleaseAll();
}

const TNodePool::Slab* TNodePool::FindSlab(const void* p, std::size_t& index) const {
  const auto address = reinterpret_cast<std::uintptr_t>(p);
  auto it = slabByAddress_.upper_bound(address);
  if (it == slabByAddress_.begin()) return nullptr;
  --it;
  const Slab& slab = slabs_[it->second];
  const std::uintptr_t offset = address - it->first;
  if (offset >= slab.used * blockSize_ || offset % blockSize_ != 0) return nullptr;
  index = offset / blockSize_;
  return &slab;
}

bool TNodePool::IsLive(const void* p) const {
  std::size_t index = 0;
  const Slab* slab = FindSlab(p, index);
  return slab != nullptr && (slab->liveBits[index / 64] >> (index % 64) & 1) != 0;
}

std::size_t TNodePool::ReservedBytes() const {
  std::size_t bytes = 0;
  for (const Slab& s : slabs_) bytes += s.blocks * blockSize_ + s.liveBits.size() * 8 + sizeof(Slab);
  return bytes + slabByAddress_.size() * 48;
}

}  // namespace kv
