#pragma once
// Telling return addresses apart from other words on a stack: a word is a
// return address when it points just behind a call instruction inside the
// code of a module we trust. Byte-level; the module ranges come from the
// caller, so synthetic code and stacks can be checked too.
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

namespace kv {

// One module: its image (start..end, both inclusive), its code sections
// (each [first, last) ) and whether it is one of the program's own modules.
struct TDiagModuleInfo {
  uint64_t startAddr = 0;
  uint64_t endAddr = 0;
  uint64_t size = 0;
  bool systemModule = false;
  std::vector<std::pair<uint64_t, uint64_t>> codeRanges;
};

// Makes the item of the module holding an address; false when no valid
// image holds it.
using TDiagModuleCreator = std::function<bool(uint64_t address, bool systemModule, TDiagModuleInfo& info)>;

// Item pointers stay valid while the list lives (items are only added).
// A dynamically built list belongs to one thread.
class TDiagModuleInfoList {
 public:
  TDiagModuleInfoList() = default;
  // A list built on demand: a lookup outside every item adds the module
  // holding the address (not a system module), when there is one.
  explicit TDiagModuleInfoList(TDiagModuleCreator creator) : creator_(std::move(creator)) {}
  bool DynamicBuild() const noexcept { return static_cast<bool>(creator_); }

  void Add(TDiagModuleInfo item) { items_.push_back(std::move(item)); }
  // Adds the item of the module holding address; null when there is none.
  const TDiagModuleInfo* CreateItemForAddress(uint64_t address, bool systemModule) const;
  // The first module in list order with start <= address <= end; in a
  // dynamic list a missing one is added; else null.
  const TDiagModuleInfo* GetModuleFromAddress(uint64_t address) const;
  bool IsValidModuleAddress(uint64_t address) const { return GetModuleFromAddress(address) != nullptr; }
  bool IsSystemModuleAddress(uint64_t address) const;
  // True when [first, first + count) lies in one code section of a module
  // that may hold return addresses (any module, or the program's own only).
  bool IsCodeRange(uint64_t first, uint64_t count, bool allModules) const;
  size_t Count() const noexcept { return items_.size(); }

 private:
  // A lookup of a dynamic list may add items: they are the list's cache.
  mutable std::deque<TDiagModuleInfo> items_;
  TDiagModuleCreator creator_;
};

// The eight bytes before a candidate return address end in a call: a direct
// five-byte call, an indirect call of two to seven bytes (REX prefixes come
// before the 0xFF and are not looked at), or a return (push and return).
bool IsCallSiteBytes(std::span<const uint8_t, 8> before) noexcept;

// R is a call site: R > 8, and the eight bytes before it lie in trusted code
// and end in a call. Reads memory only inside the listed code ranges.
bool ValidCallSite(uint64_t r, const TDiagModuleInfoList& modules, bool allModules) noexcept;

// The return addresses among the stack words, lowest address first; a value
// repeated in consecutive accepted words counts once.
std::vector<uint64_t> ScanStackWords(std::span<const uint64_t> words, const TDiagModuleInfoList& modules,
                                     bool allModules);

}  // namespace kv
