#pragma once
// Item-ID lists as bytes: each item is led by its own 16-bit little-endian
// byte count (the two count bytes included) and the list ends in a 16-bit 0.
// Items are not aligned, so every count is read with memcpy. Byte-level: the
// shell's allocator and the owning type live in id_list_win.h.
//
// The walking functions trust the list (it came from the shell or passed
// ValidateIDList); bytes from a stream or a file go through ValidateIDList or
// ReadIDList first.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

namespace kv {

class TStream;

// An item-ID list read from a stream or a file breaks its format.
class EIDListFormat : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A list in a stream is at most this big (the shell's own lists stay far below).
inline constexpr uint32_t kMaxIDListBytes = 64 * 1024 * 1024;

inline uint16_t IDCountAt(const void* item) {
  uint16_t count;
  std::memcpy(&count, item, sizeof count);
  return count;
}
inline void SetIDCountAt(void* item, uint16_t count) { std::memcpy(item, &count, sizeof count); }

// Bytes of the list including the terminator (2 for the desktop); 0 for no list.
size_t IDListSize(const void* list);
// Number of items.
size_t IDListCount(const void* list);
// The item after `item` (may be the terminator).
const void* NextIDItem(const void* item);
// The last item; the list itself when it has fewer than two items.
const void* LastIDItem(const void* list);
// The list is present and empty.
bool IsDesktopIDList(const void* list);
// The bytes of one item (its count included); empty for the terminator.
std::span<const uint8_t> IDItemBytes(const void* item);

// Checks that `bytes` are exactly one list: every count at least 2, the items
// inside the bytes, and the 16-bit 0 ending exactly at the end. Throws
// EIDListFormat naming the fault.
void ValidateIDList(std::span<const uint8_t> bytes);

// Stream form of one list: a 32-bit size (terminator included), then the
// bytes; size 0 and no bytes for an absent list, which reads back as an empty
// vector. Any other size must hold exactly one whole list and no more than
// the bytes left in the stream; EIDListFormat otherwise (nothing of the list
// is kept); the stream's own read errors pass through.
std::vector<uint8_t> ReadIDList(TStream& stream);
void WriteIDList(TStream& stream, const void* list);

// Stream form of a list of lists: a 32-bit count, then each list as above.
// Hands each list to `add` as soon as it is read; a fault throws after the
// lists before it have been handed on.
void ReadIDLists(TStream& stream, const std::function<void(std::vector<uint8_t>)>& add);
// All or nothing: a fault in any list fails the whole read.
std::vector<std::vector<uint8_t>> ReadIDLists(TStream& stream);

// The order of two item IDs when the shell cannot tell: their bytes compared
// (a shorter prefix first). 0 only for identical bytes.
int CompareIDItemBytes(std::span<const uint8_t> a, std::span<const uint8_t> b);

// The one reading of a folder's CompareIDs answer. Success: the sign of the
// 16-bit code as a signed value (0xFFFF is -1, 1 is 1, 256 is 1: not the low byte).
// Failure: unequal, ordered by the bytes of the two item IDs, so a sort and a
// binary search over the same items agree.
int CompareIDsResult(int32_t hresult, std::span<const uint8_t> first, std::span<const uint8_t> second);

}  // namespace kv
