#pragma once
// What the WMA, Ogg Vorbis, FLAC and M4A readers have in common: the tag
// texts and stream properties they hand the record, and the reason a read
// stopped short.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kv {

// Why a read stopped before the end of what it walks. A reader that stops
// keeps what it read before (each reader says which of its fields survive).
enum class ReadFault : uint8_t {
  kNone,
  kNotThisFormat,      // signature, brand or first object of another format
  kOutsideParent,      // a box, object, block or item runs past its parent or the file
  kBadSize,            // a size smaller than the header that carries it
  kShortField,         // a box or object too short for the fields read from it
  kTooManyBoxes,       // more children in one parent than a walk takes
  kMissingBox,         // a box the fixed layout expects is not there
  kImplausibleStream,  // stream figures no valid file of the format has
  kNoStreamInfo,       // no usable stream description
  kZeroSampleRate,     // a stream description with a sample rate of 0
  kReadError,          // the file could not be opened or read
};

// A reader's input/output error: the file could not be opened or read, or
// it ends where its format needs more bytes.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A short English name of the fault, for logs and exception texts.
const char* ReadFaultText(ReadFault fault);

// Tag texts in the ANSI code page, as the record takes them.
struct TTagTexts {
  std::string title, artist, album, year, genre, comment;
  int32_t track = 0;
};

// The stream figures every format gives.
struct TStreamProperties {
  uint64_t fileSize = 0;
  uint32_t channels = 0;
  uint32_t sampleRate = 0;
};

}  // namespace kv
