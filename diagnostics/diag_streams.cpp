#include "diagnostics/diag_streams.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#ifndef _WIN32
#include <fstream>
#endif

#include "diagnostics/diag_errors.h"

namespace kv {

size_t TDiagMemoryStream::Read(void* buffer, size_t count) noexcept {
  if (position_ >= size_) return 0;
  const uint64_t left = size_ - position_;
  const size_t n = count < left ? count : static_cast<size_t>(left);
  if (n != 0) std::memcpy(buffer, memory_ + position_, n);
  position_ += n;
  return n;
}

#ifndef _WIN32
// Outside Windows (the native build): the block must lie in readable
// mappings of the process, which the kernel lists in address order.
bool DiagBlockReadable(const void* block, uint64_t size) {
  if (size == 0) return true;
  const auto start = reinterpret_cast<uintptr_t>(block);
  if (start == 0 || size > UINTPTR_MAX - start) return false;
  const uintptr_t end = start + static_cast<uintptr_t>(size);
  std::ifstream maps("/proc/self/maps");
  uintptr_t covered = start;
  std::string line;
  while (covered < end && std::getline(maps, line)) {
    unsigned long long from = 0, to = 0;
    char perms[5] = {};
    if (std::sscanf(line.c_str(), "%llx-%llx %4s", &from, &to, perms) != 3) return false;
    if (to <= covered) continue;
    if (from > covered || perms[0] != 'r') return false;
    covered = static_cast<uintptr_t>(to);
  }
  return covered >= end;
}
#endif

TDiagReferenceMemoryStream::TDiagReferenceMemoryStream(const void* block, uint64_t size) {
  if (!DiagBlockReadable(block, size)) {
    throw std::logic_error("Assertion failed (DiagSysUtils): the block of a read-only memory stream cannot be read");
  }
  // The stream never writes through this pointer: Write throws.
  SetMemory(static_cast<uint8_t*>(const_cast<void*>(block)), size);
}

size_t TDiagReferenceMemoryStream::Write(const void*, size_t) {
  throw EDiagError(DiagText::kReadOnlyMemoryStream);
}

}  // namespace kv
