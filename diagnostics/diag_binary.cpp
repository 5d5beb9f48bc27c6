#include "diagnostics/diag_binary.h"

#include "diagnostics/diag_utils.h"
#include "base/strings.h"

namespace kv {

namespace {

// A number of 7-bit groups, lowest first; more than 5 bytes is no number.
bool ReadNumber(ByteView block, uint64_t& at, uint32_t& value) {
  uint64_t result = 0;
  for (int i = 0; i < 5; ++i) {
    const auto byte = block.U8(at++);
    if (!byte) return false;
    result |= uint64_t{*byte & 0x7Fu} << (7 * i);
    if ((*byte & 0x80) == 0) {
      if (result > 0xFFFFFFFFu) return false;
      value = static_cast<uint32_t>(result);
      return true;
    }
  }
  return false;
}

char PackedChar(uint32_t code) {
  if (code <= 10) return static_cast<char>('0' + code - 1);
  if (code <= 36) return static_cast<char>('A' + code - 11);
  if (code <= 62) return static_cast<char>('a' + code - 37);
  return '_';
}

}  // namespace

bool DiagChecksumValid(ByteView block) {
  const auto stored = block.U32(29);
  if (!stored || block.Size() % 4 != 0) return false;
  uint32_t sum = 0u - *stored;
  for (uint64_t at = 0; at < block.Size(); at += 4) sum += *block.U32(at);
  const uint32_t rotated = (sum >> 8) | (sum << 24);
  return rotated == *stored;
}

TDiagBinDebugScanner::TDiagBinDebugScanner(std::span<const uint8_t> block, bool) : block_(block) {
  if (block_.Size() <= kDiagHeaderSize || block_.Size() % 4 != 0) return;
  if (*block_.U32(0) != kDiagSignature || *block_.U8(4) != 1) return;
  units_ = *block_.U32(5);
  sources_ = *block_.U32(9);
  symbols_ = *block_.U32(13);
  lines_ = *block_.U32(17);
  words_ = *block_.U32(21);
  moduleName_ = *block_.U32(25);
  for (uint32_t offset : {units_, sources_, symbols_, lines_, words_}) {
    if (offset < kDiagHeaderSize || offset >= block_.Size()) return;
  }
  if (*block_.U8(33) != 0 && !DiagChecksumValid(block_)) return;
  valid_ = true;
}

std::string TDiagBinDebugScanner::NameFromRef(uint32_t ref) const {
  if (!valid_ || ref == 0) return {};
  const uint64_t start = uint64_t{words_} + ref - 1;
  const auto kind = block_.U8(start);
  if (!kind) return {};
  std::string name;
  if (*kind == 1) {
    // Plain bytes up to a zero: every name outside the packed alphabet.
    for (uint64_t at = start + 1; name.size() < kDiagMaxNameLength; ++at) {
      const auto c = block_.U8(at);
      if (!c || *c == 0) break;
      name += static_cast<char>(*c);
    }
    return name;
  }
  uint64_t bits = start * 8;
  if (*kind == 2) {
    name = "@";
    bits += 8;
  }
  while (name.size() < kDiagMaxNameLength) {
    const uint64_t byte = bits / 8;
    const auto lo = block_.U8(byte);
    if (!lo) break;
    const uint32_t window = *lo | (uint32_t{block_.U8(byte + 1).value_or(0)} << 8);
    const uint32_t code = (window >> (bits % 8)) & 0x3F;
    if (code == 0) break;
    name += PackedChar(code);
    bits += 6;
  }
  return name;
}

std::string TDiagBinDebugScanner::GetModuleName() const { return NameFromRef(moduleName_); }

bool TDiagBinDebugScanner::IsModuleNameValid(const std::string& fileName) const {
  return valid_ && SameTextAscii(GetModuleName(), PathExtractFileNameNoExt(fileName));
}

template <int Width, class Take>
void TDiagBinDebugScanner::DecodeStream(uint32_t offset, Take take) const {
  static_assert(Width >= 1 && Width <= 3);
  if (!valid_) return;
  uint32_t sums[Width] = {};
  uint64_t at = offset;
  // Each tuple takes at least Width bytes, so the block bounds the time; the
  // count bounds the memory.
  for (size_t n = 0; n < kDiagMaxTableEntries; ++n) {
    for (int i = 0; i < Width; ++i) {
      uint32_t number = 0;
      if (!ReadNumber(block_, at, number) || number == kDiagStreamEnd) return;
      sums[i] += number;  // 32-bit running sums wrap
    }
    take(sums);
  }
}

const TDiagBinDebugScanner::Table& TDiagBinDebugScanner::Pairs(Table& table, uint32_t offset) {
  if (!table.decoded) {
    DecodeStream<2>(offset, [&table](const uint32_t* tuple) {
      if (!table.pairs.empty() && tuple[0] < table.pairs.back().addr) table.sorted = false;
      table.pairs.push_back({tuple[0], tuple[1]});
    });
    table.pairs.shrink_to_fit();
    table.decoded = true;
  }
  return table;
}

const std::vector<TDiagBinDebugScanner::Symbol>& TDiagBinDebugScanner::Symbols() {
  if (!symbolsDecoded_) {
    DecodeStream<3>(symbols_, [this](const uint32_t* tuple) {
      if (!symbolTable_.empty() && tuple[0] < symbolTable_.back().addr) symbolsSorted_ = false;
      symbolTable_.push_back({tuple[0], tuple[1], tuple[2]});
    });
    symbolTable_.shrink_to_fit();
    symbolsDecoded_ = true;
  }
  return symbolTable_;
}

template <class T>
long TDiagBinDebugScanner::LastAtOrBelow(const std::vector<T>& items, bool sorted, uint32_t addr) {
  if (sorted) {
    // The last entry <= addr of an ascending table, as the scan from the end finds it.
    size_t lo = 0, hi = items.size();
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (items[mid].addr <= addr) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return static_cast<long>(lo) - 1;
  }
  for (size_t i = items.size(); i-- > 0;) {
    if (items[i].addr <= addr) return static_cast<long>(i);
  }
  return -1;
}

uint32_t TDiagBinDebugScanner::ModuleStartFromAddr(uint32_t addr) {
  const Table& units = Pairs(unitTable_, units_);
  const long i = LastAtOrBelow(units.pairs, units.sorted, addr);
  return i < 0 ? 0xFFFFFFFFu : units.pairs[static_cast<size_t>(i)].addr;
}

std::string TDiagBinDebugScanner::ModuleNameFromAddr(uint32_t addr) {
  const Table& units = Pairs(unitTable_, units_);
  const long i = LastAtOrBelow(units.pairs, units.sorted, addr);
  return i < 0 ? std::string() : NameFromRef(units.pairs[static_cast<size_t>(i)].value);
}

std::string TDiagBinDebugScanner::ProcNameFromAddr(uint32_t addr, uint32_t& offset) {
  offset = 0;
  const uint32_t unitStart = ModuleStartFromAddr(addr);
  const std::vector<Symbol>& symbols = Symbols();
  const long i = LastAtOrBelow(symbols, symbolsSorted_, addr);
  if (i < 0) return {};
  const Symbol& s = symbols[static_cast<size_t>(i)];
  if (unitStart == 0xFFFFFFFFu || s.addr < unitStart) return {};
  std::string name = NameFromRef(s.first);
  if (s.second != 0) {
    name += '.';
    name += NameFromRef(s.second);
  }
  offset = addr - s.addr;
  return name;
}

uint32_t TDiagBinDebugScanner::LineNumberFromAddr(uint32_t addr, int32_t& offset) {
  offset = 0;
  const uint32_t unitStart = ModuleStartFromAddr(addr);
  const Table& lines = Pairs(lineTable_, lines_);
  const long i = LastAtOrBelow(lines.pairs, lines.sorted, addr);
  if (i < 0) return 0;
  const Pair& p = lines.pairs[static_cast<size_t>(i)];
  if (unitStart == 0xFFFFFFFFu || p.addr < unitStart) return 0;
  offset = static_cast<int32_t>(addr - p.addr);
  return p.value;
}

std::string TDiagBinDebugScanner::SourceNameFromAddr(uint32_t addr) {
  const uint32_t unitStart = ModuleStartFromAddr(addr);
  const Table& sources = Pairs(sourceTable_, sources_);
  const long i = LastAtOrBelow(sources.pairs, sources.sorted, addr);
  if (i < 0) return {};
  const Pair& p = sources.pairs[static_cast<size_t>(i)];
  if (unitStart == 0xFFFFFFFFu || p.addr < unitStart) return {};
  return NameFromRef(p.value);
}

}  // namespace kv
