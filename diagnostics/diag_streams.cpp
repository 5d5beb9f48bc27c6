#include "diagnostics/diag_streams.h"

#include <cstring>

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

TDiagReferenceMemoryStream::TDiagReferenceMemoryStream(const void* block, uint64_t size) {
  // The stream never writes through this pointer: Write throws.
  SetMemory(static_cast<uint8_t*>(const_cast<void*>(block)), size);
}

size_t TDiagReferenceMemoryStream::Write(const void*, size_t) {
  throw EDiagError(DiagText::kReadOnlyMemoryStream);
}

}  // namespace kv
