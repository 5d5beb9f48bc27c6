#include <windows.h>

#include "diagnostics/diag_streams.h"
#include "diagnostics/pe_image_win.h"

namespace kv {

// Region by region: a block may run over neighbouring allocations.
bool DiagBlockReadable(const void* block, uint64_t size) {
  if (size == 0) return true;
  const auto start = reinterpret_cast<uintptr_t>(block);
  if (start == 0 || size > UINTPTR_MAX - start) return false;
  const uintptr_t end = start + static_cast<uintptr_t>(size);
  for (uintptr_t at = start; at < end;) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0 || info.State != MEM_COMMIT ||
        !IsReadableProtection(info.Protect)) {
      return false;
    }
    at = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
  }
  return true;
}

}  // namespace kv
