#pragma once
// Inflate with the reason a stream was refused, beside the decoder result.
#include <cstdint>

#include "zip/decode_io.h"

namespace kv {

// Which check of the deflate format a stream failed.
enum class TInflateFault : uint8_t {
  kNone,
  kTruncated,             // the input ended before the last block did
  kBadBlockType,          // block type 3
  kStoredLengthMismatch,  // a stored block's length and its complement disagree
  kTooManySymbols,        // more than 286 literal/length or 30 distance codes announced
  kBadCodeLengthCode,     // the code-length code is not complete
  kRepeatOverflow,        // a repeat runs past the announced lengths, or repeats before the first
  kNoEndOfBlock,          // the literal/length code has no end-of-block symbol
  kBadCodeLengths,        // a literal/length or distance code over-subscribed or incomplete
  kBadCode,               // a code with no symbol, or a length or distance symbol outside the format
  kDistanceTooFarBack,    // a match reaching before the start of the output
  kEmptyBlockRun,         // more dynamic blocks in a row without output than any encoder makes
  kTooManyBlocks,         // more dynamic blocks for the bytes delivered than any encoder makes
};

// A short English name of the fault, for logs and test failures.
const char* InflateFaultText(TInflateFault fault);

// Method 8 as Inflate in decode_io.h; `fault` names the failed check when the
// result is not Ok (kNone when it is).
TDecodeResult Inflate(TDecodeInput& in, TDecodeOutput& out, TInflateFault& fault);

}  // namespace kv
