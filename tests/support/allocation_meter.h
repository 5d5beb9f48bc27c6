#pragma once
// Counts the bytes the program holds through operator new, so that tests can
// bound the memory a piece of work needs without timers or process counters.
// The test programs that use it link tests/support/allocation_meter.cpp,
// which replaces the global operator new and delete.
#include <cstddef>

namespace kv::test {

// The largest number of bytes held at once, above what was held when the
// meter was made, during the meter's life.
class AllocationMeter {
 public:
  AllocationMeter();
  ~AllocationMeter();
  AllocationMeter(const AllocationMeter&) = delete;
  AllocationMeter& operator=(const AllocationMeter&) = delete;
  size_t Peak() const;
  // Every byte handed out during the meter's life, whether freed since or
  // not: the copying work of containers that grow.
  size_t Allocated() const;

 private:
  size_t base_;
  size_t takenBase_;
};

}  // namespace kv::test
