#pragma once
// What an exception-handling frame does with an exception passing through
// it, read from the language-specific data of the C++ personality routine
// (the call-site, action and type tables that follow the handler in the
// function's unwind information). Byte-level: the data comes as a view.
#include <cstdint>
#include <functional>

#include "diagnostics/byte_view.h"

namespace kv {

enum TDiagFrameKind : uint32_t {
  kFrameUnknown = 0,
  kFrameFinally = 1,        // destructors (cleanup) only
  kFrameAnyException = 2,   // a catch of every exception
  kFrameOnException = 3,    // a catch of chosen types (whatever else it has)
  kFrameAutoException = 4,  // no such frames here; kept for the numbering
};

// The frame's kind at offset (code address less the function's start, of a
// frame that is not the top one: the return address less 1). Unknown when
// the offset has no landing pad, only exception specifications apply, or
// the data is malformed or leaves the view.
TDiagFrameKind FrameKindFromLsda(const ByteView& lsda, uint64_t offset);

// Reads count bytes at an address into out; false when they are not readable.
using TDiagMemoryReader = std::function<bool(uint64_t address, void* out, size_t count)>;
// The target of the jump at address: a relative jump (E9 rel32, EB rel8)
// and, when the target is an indirect jump through a pointer (FF 25 disp32,
// relative to the next instruction), the pointer's value. 0 when address
// starts no jump or a byte cannot be read.
uint64_t GetJmpDest(uint64_t address, const TDiagMemoryReader& read);

}  // namespace kv
