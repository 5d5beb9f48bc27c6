#pragma once
// Reader of a linker map file of the segment:offset kind (segments, publics
// by value, line numbers per unit). Names stay views into the text, which
// must outlive the scanner. Addresses are offsets into segment 1, the code.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

class TDiagMapScanner {
 public:
  // Entries kept, whatever the file: a large program's map has some
  // thousands of segments and units, a few hundred thousand publics and a
  // few million line pairs, so these leave room for it while the tables never
  // pass about 70 MB. Entries past a limit are left out.
  static constexpr size_t kMaxSegments = size_t{1} << 18;
  static constexpr size_t kMaxPublics = size_t{1} << 20;
  static constexpr size_t kMaxSources = size_t{1} << 18;
  static constexpr size_t kMaxLines = size_t{1} << 22;
  // Characters kept of a name (unit, public, source file), as the program's
  // own debug data keeps them; a longer name is cut.
  static constexpr size_t kMaxNameLength = 255;

  explicit TDiagMapScanner(std::string_view text);

  std::string ModuleNameFromAddr(uint32_t addr) const;
  // Start of the segment entry holding addr, 0xFFFFFFFF when none does.
  uint32_t ModuleStartFromAddr(uint32_t addr) const;
  std::string ProcNameFromAddr(uint32_t addr, uint32_t& offset) const;
  uint32_t LineNumberFromAddr(uint32_t addr, int32_t& offset) const;
  std::string SourceNameFromAddr(uint32_t addr) const;
  // Line-number pairs that broke the order and were left out.
  uint64_t SkippedLines() const noexcept { return skipped_; }

 private:
  struct Segment {
    uint32_t start, end;
    std::string_view name;
  };
  struct Named {
    uint32_t offset;
    std::string_view name;
  };
  struct Line {
    uint32_t offset, line;
  };

  // The last kept entry with offset <= addr that is not below the unit start.
  template <class T>
  const T* Find(const std::vector<T>& items, uint32_t addr) const;

  std::vector<Segment> segments_;
  std::vector<Named> publics_;
  std::vector<Named> sources_;
  std::vector<Line> lines_;
  uint32_t highestEnd_ = 0;
  uint64_t skipped_ = 0;
};

}  // namespace kv
