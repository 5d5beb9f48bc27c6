#pragma once
// The node record of the lazy tree control and the small value types around it.
// Window-free: the record, its state set and the node handle are shared by the
// model, the position-cache worker and the window half.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kv {

// Node states, one bit each.
enum TLazyNodeState : std::uint16_t {
  nsInitialized = 1u << 0,
  nsCheckChanging = 1u << 1,
  nsCutCopyMarked = 1u << 2,
  nsDisabled = 1u << 3,
  nsBeingDeleted = 1u << 4,
  nsExpanded = 1u << 5,
  nsHasChildren = 1u << 6,
  nsVisible = 1u << 7,
  nsSelected = 1u << 8,
  nsOwnerData = 1u << 9,
  nsAllChildrenHidden = 1u << 10,
  nsClearingChildren = 1u << 11,
  nsMultiline = 1u << 12,
  nsHeightMeasured = 1u << 13,
};

// The state set of a node. The position-cache worker reads it (visible and
// expanded bits) while the user-interface thread may flip bits the worker does
// not care about (selection, initialisation), so every access is a relaxed
// atomic one: plain moves on x86-64, and no data race for the memory model.
// Only the user-interface thread writes.
class TLazyNodeStates {
 public:
  bool Contains(std::uint16_t s) const { return (Load() & s) != 0; }
  bool ContainsAll(std::uint16_t s) const { return (Load() & s) == s; }
  void Include(std::uint16_t s) { Store(static_cast<std::uint16_t>(Load() | s)); }
  void Exclude(std::uint16_t s) { Store(static_cast<std::uint16_t>(Load() & ~s)); }
  void Set(std::uint16_t s, bool on) { on ? Include(s) : Exclude(s); }
  std::uint16_t Raw() const { return Load(); }
  void Assign(std::uint16_t s) { Store(s); }

 private:
  std::uint16_t Load() const {
    return std::atomic_ref<std::uint16_t>(const_cast<std::uint16_t&>(bits_)).load(std::memory_order_relaxed);
  }
  void Store(std::uint16_t v) {
    std::atomic_ref<std::uint16_t>(bits_).store(v, std::memory_order_relaxed);
  }
  alignas(std::atomic_ref<std::uint16_t>::required_alignment) std::uint16_t bits_ = 0;
};

struct TLazyNode;
using PLazyNode = TLazyNode*;

// The fixed part of every node. The internal data area and the user data area
// follow it in the same block (see TLazyTreeModel::GetNodeData).
struct TLazyNode {
  std::uint32_t Index;
  std::uint32_t ChildCount;
  std::uint16_t NodeHeight;
  TLazyNodeStates States;
  std::uint8_t Align;
  std::uint8_t CheckState;
  std::uint8_t CheckType;
  std::uint8_t Reserved;
  std::uint32_t TotalCount;
  std::uint32_t TotalHeight;
  PLazyNode Parent;
  PLazyNode PrevSibling;
  PLazyNode NextSibling;
  PLazyNode FirstChild;
  PLazyNode LastChild;
};
static_assert(sizeof(TLazyNode) == 64 && alignof(TLazyNode) == 8);
inline constexpr std::size_t kNodeFixedSize = sizeof(TLazyNode);

// Initial states an OnInitNode handler may hand back.
enum TLazyNodeInitState : std::uint8_t {
  nisDisabled = 1u << 0,
  nisExpanded = 1u << 1,
  nisHasChildren = 1u << 2,
  nisMultiline = 1u << 3,
  nisSelected = 1u << 4,
};
using TLazyNodeInitStates = std::uint8_t;

enum class TChangeReason : std::uint8_t {
  crNone, crAccumulated, crChildAdded, crChildDeleted, crNodeAdded, crNodeCopied, crNodeMoved
};

enum class TLTNodeAttachMode : std::uint8_t {
  amNoWhere, amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast
};

enum class TSortDirection : std::uint8_t { sdAscending, sdDescending };

using TColumnIndex = int;
inline constexpr TColumnIndex kNoColumn = -1;
inline constexpr TColumnIndex kInvalidColumn = -2;

enum class TLTUpdateState : std::uint8_t { usBegin = 0, usUpdate = 3, usEnd = 4 };

// A violated precondition of the tree's interface (a programming error of the
// caller); carries the message the tree states for it.
class ELazyTreeAssertion : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// The tree's own error with a numeric code (2000..2008).
class ELazyTreeError : public std::runtime_error {
 public:
  ELazyTreeError(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

inline void LazyTreeAssert(bool condition, const char* message) {
  if (!condition) throw ELazyTreeAssertion(message);
}

class TLazyTreeModel;
// The tree owning a node: the root's Parent field holds the tree.
TLazyTreeModel* TreeFromNode(PLazyNode node);

}  // namespace kv
