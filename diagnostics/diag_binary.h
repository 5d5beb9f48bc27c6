#pragma once
// Reader of the program's own binary debug data (the "DIAG" block): units,
// source files, procedures and line numbers by code address relative to the
// start of the code (RVA - 0x1000). Every read stays inside the block; a
// block that breaks the format is marked invalid and answers nothing.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "diagnostics/byte_view.h"

namespace kv {

inline constexpr uint32_t kDiagSignature = 0x47414944;  // "DIAG"
inline constexpr uint32_t kDiagHeaderSize = 34;
inline constexpr uint32_t kDiagStreamEnd = 0x7FFFFFFF;
inline constexpr size_t kDiagMaxNameLength = 255;
// Entries kept per table, whatever the block holds: this program's data has
// about 170,000 line entries and 100,000 source entries, so a table of 2
// million leaves room for far larger programs while the four tables never
// pass about 72 MB. Entries past it are left out.
inline constexpr size_t kDiagMaxTableEntries = size_t{1} << 21;

// The checksum a block's header carries: S = -checksum + the sum of all its
// 32-bit words, rotated right by 8 bits, must equal it.
bool DiagChecksumValid(ByteView block);

class TDiagBinDebugScanner {
 public:
  // block must outlive the scanner. Tables are decoded once, on first use.
  explicit TDiagBinDebugScanner(std::span<const uint8_t> block, bool cacheData = true);

  bool ValidFormat() const noexcept { return valid_; }
  std::string GetModuleName() const;
  // The stored module name equals the file's name without folder and extension, ignoring case.
  bool IsModuleNameValid(const std::string& fileName) const;

  std::string ModuleNameFromAddr(uint32_t addr);
  // Start of the unit holding addr, 0xFFFFFFFF when the first unit starts above it.
  uint32_t ModuleStartFromAddr(uint32_t addr);
  std::string ProcNameFromAddr(uint32_t addr, uint32_t& offset);
  uint32_t LineNumberFromAddr(uint32_t addr, int32_t& offset);
  std::string SourceNameFromAddr(uint32_t addr);

  // The name stored at name reference ref (0: empty).
  std::string NameFromRef(uint32_t ref) const;

 private:
  struct Pair {
    uint32_t addr;
    uint32_t value;
  };
  struct Symbol {
    uint32_t addr;
    uint32_t first;
    uint32_t second;
  };
  struct Table {
    bool decoded = false;
    bool sorted = true;
    std::vector<Pair> pairs;
  };

  // Decodes a stream of tuples of Width numbers into running sums, handing
  // each tuple to take; at most kDiagMaxTableEntries tuples.
  template <int Width, class Take>
  void DecodeStream(uint32_t offset, Take take) const;
  const Table& Pairs(Table& table, uint32_t offset);
  const std::vector<Symbol>& Symbols();
  // Index of the last entry whose address <= addr, or -1.
  template <class T>
  static long LastAtOrBelow(const std::vector<T>& items, bool sorted, uint32_t addr);

  ByteView block_;
  bool valid_ = false;
  uint32_t units_ = 0, sources_ = 0, symbols_ = 0, lines_ = 0, words_ = 0, moduleName_ = 0;
  Table unitTable_, sourceTable_, lineTable_;
  bool symbolsDecoded_ = false;
  bool symbolsSorted_ = true;
  std::vector<Symbol> symbolTable_;
};

}  // namespace kv
