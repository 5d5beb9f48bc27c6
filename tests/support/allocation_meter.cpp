#include "tests/support/allocation_meter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace kv::test {
namespace {

// Every block carries its size in front of it, in a header that keeps the
// alignment operator new promises.
constexpr size_t kHeader = alignof(std::max_align_t);

std::atomic<size_t> held{0};
std::atomic<size_t> peak{0};
std::atomic<size_t> taken{0};

void* Take(size_t size) {
  void* block = std::malloc(size + kHeader);
  if (!block) return nullptr;
  *static_cast<size_t*>(block) = size;
  taken.fetch_add(size);
  const size_t now = held.fetch_add(size) + size;
  size_t seen = peak.load();
  while (now > seen && !peak.compare_exchange_weak(seen, now)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void Give(void* p) noexcept {
  if (!p) return;
  void* block = static_cast<char*>(p) - kHeader;
  held.fetch_sub(*static_cast<size_t*>(block));
  std::free(block);
}

void* TakeOrThrow(size_t size) {
  void* p = Take(size);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

AllocationMeter::AllocationMeter() : base_(held.load()), takenBase_(taken.load()) { peak.store(base_); }
AllocationMeter::~AllocationMeter() = default;
size_t AllocationMeter::Peak() const {
  const size_t p = peak.load();
  return p > base_ ? p - base_ : 0;
}

size_t AllocationMeter::Allocated() const { return taken.load() - takenBase_; }

}  // namespace kv::test

void* operator new(size_t size) { return kv::test::TakeOrThrow(size); }
void* operator new[](size_t size) { return kv::test::TakeOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return kv::test::Take(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return kv::test::Take(size); }
void operator delete(void* p) noexcept { kv::test::Give(p); }
void operator delete[](void* p) noexcept { kv::test::Give(p); }
void operator delete(void* p, size_t) noexcept { kv::test::Give(p); }
void operator delete[](void* p, size_t) noexcept { kv::test::Give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { kv::test::Give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { kv::test::Give(p); }
