#pragma once
// The process-wide registry of live trees. A tree is known to other code (and
// to the "Lazy Tree Reference" clipboard block) by a 32-bit serial, never by
// its address, so that a block outliving its tree or coming from another
// process names no tree. Window-free.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kv {

class TLiveTreeRegistration {
 public:
  explicit TLiveTreeRegistration(void* tree);
  ~TLiveTreeRegistration();
  TLiveTreeRegistration(const TLiveTreeRegistration&) = delete;
  TLiveTreeRegistration& operator=(const TLiveTreeRegistration&) = delete;
  std::uint32_t Serial() const { return serial_; }

 private:
  std::uint32_t serial_;
};

// The tree registered under `serial`, or null when it is gone.
void* FindLiveTree(std::uint32_t serial);

// The 8-byte reference block: process id, then the serial (little-endian).
inline constexpr std::size_t kTreeReferenceSize = 8;
void MakeTreeReference(std::uint32_t processId, std::uint32_t serial, std::uint8_t out[kTreeReferenceSize]);
// The serial of a block made in process `processId`; nothing for a short
// block or one from another process.
std::optional<std::uint32_t> ParseTreeReference(const void* bytes, std::size_t size, std::uint32_t processId);

}  // namespace kv
