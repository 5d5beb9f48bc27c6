#pragma once
// The node program shared by the regular-expression compiler and matcher.
// Not part of the public interface.
//
// Layout: byte 0 is kProgramCheck; every node is an opcode byte, a 4-byte
// little-endian signed offset from the node to the next one (0: none) and
// its operand. The whole expression is one kBranch chain ending in kEnd.
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace kv::regex_detail {

constexpr uint8_t kProgramCheck = 216;
constexpr size_t kHeader = 5;  // opcode + next offset
constexpr int kMaxGroups = 14;
constexpr uint32_t kInfinite = 0x7FFFFFFF;  // repeat without upper bound
constexpr int kMaxLoopNesting = 10;

enum Op : uint8_t {
  kEnd = 1,
  kBol,        // start of input
  kEol,        // end of input
  kBolMl,      // start of input or of a line
  kEolMl,      // end of input or of a line
  kAny,        // any character
  kAnyMl,      // any character but a line separator
  kDigit,
  kNotDigit,
  kWord,
  kNotWord,
  kSpace,
  kNotSpace,
  kAnyOf,      // operand: 32-byte bit map (complement and case already applied)
  kExactly,    // operand: length byte, then the characters
  kExactlyCi,  // the same, compared ignoring case
  kBranch,     // operand: one alternative; next: the following kBranch or the join
  kNothing,    // matches the empty text
  kStar,       // operand: one single-character node
  kStarNg,
  kPlus,
  kPlusNg,
  kBraces,     // operand: min (4), max (4), then one single-character node
  kBracesNg,
  kLoopEntry,  // operand: offset to its kLoop (4); next: the loop body
  kLoop,       // operand: min (4), max (4), offset back to its kLoopEntry (4)
  kLoopNg,
  kBackref,    // operand: group number byte
  kBackrefCi,
  kOpen,       // operand: group number byte
  kClose,
  kOpLimit
};

using ByteSet = std::array<uint8_t, 32>;
inline bool InSet(const uint8_t* set, uint8_t c) { return (set[c >> 3] >> (c & 7)) & 1; }
inline void AddToSet(ByteSet& set, uint8_t c) { set[c >> 3] |= static_cast<uint8_t>(1u << (c & 7)); }

inline uint32_t ReadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void WriteU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Read-only view of a compiled program.
struct Program {
  const uint8_t* code;
  size_t size;

  Op OpAt(size_t n) const { return static_cast<Op>(code[n]); }
  // 0 when the node has no successor.
  size_t Next(size_t n) const {
    const auto off = static_cast<int32_t>(ReadU32(code + n + 1));
    return off == 0 ? 0 : static_cast<size_t>(static_cast<int64_t>(n) + off);
  }
  const uint8_t* Operand(size_t n) const { return code + n + kHeader; }
  size_t OperandNode(size_t n) const { return n + kHeader; }
};

// Character classes of one compile, as bit maps.
struct ClassSets {
  ByteSet digit{};
  ByteSet word{};
  ByteSet space{};
  ByteSet lineBreak{};
};

}  // namespace kv::regex_detail
