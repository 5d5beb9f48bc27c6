#pragma once
// Reader of TD32 debug information: modules with their code segments,
// procedures, source files with line tables, and the name table. Every
// offset, size, index and count is checked against the block.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "diagnostics/byte_view.h"

namespace kv {

// The block carries the "FB09" or "FB0A" signature at its end and at the start it points to.
bool IsTD32DebugData(ByteView block);

class TDiagTD32InfoScanner {
 public:
  // Work (entries, names' bytes, segments, records, line points read) per
  // byte of the block, and a little for any block: data this program can
  // use needs at most two per byte, while entries, files and tables that
  // share offsets would make the work their product.
  static constexpr uint64_t kWorkPerByte = 4;
  static constexpr uint64_t kWorkBase = 65536;

  // What is kept, whatever the block: a large program's debug data holds a
  // few hundred thousand procedures and a few million line points, so these
  // leave room for it while the tables never pass about 80 MB. Past a limit
  // the rest of that kind is left out; what was read is kept.
  static constexpr size_t kMaxNames = size_t{1} << 21;
  static constexpr size_t kMaxModules = size_t{1} << 16;
  static constexpr size_t kMaxModuleSegments = size_t{1} << 18;
  static constexpr size_t kMaxProcs = size_t{1} << 21;
  static constexpr size_t kMaxSourceFiles = size_t{1} << 18;
  static constexpr size_t kMaxFileRanges = size_t{1} << 20;
  static constexpr size_t kMaxLinePoints = size_t{1} << 22;

  // block must outlive the scanner; invalid data leaves every list empty.
  // Reading stops where the work passes its bound; what was read is kept.
  explicit TDiagTD32InfoScanner(std::span<const uint8_t> block);

  bool ValidData() const noexcept { return valid_; }
  std::string ModuleNameFromAddr(uint32_t addr) const;
  std::string ProcNameFromAddr(uint32_t addr, uint32_t& offset) const;
  uint32_t LineNumberFromAddr(uint32_t addr, int32_t& offset) const;
  std::string SourceNameFromAddr(uint32_t addr) const;

  // A procedure name as shown: "@Unit@Class@Proc" becomes "Class.Proc".
  static std::string ShortProcName(const std::string& name);

 private:
  // The tables are flat: a module or source file names a run of the shared
  // segment, range and line lists, so that tiny records cost a few bytes each.
  struct Range {
    uint32_t start, size;
  };
  struct Module {
    uint32_t name, firstSegment, segmentCount;
  };
  struct Proc {
    uint32_t offset, size, name;
  };
  struct LinePoint {
    uint32_t offset, line;
  };
  struct FileRange {
    uint32_t start, end;
  };
  struct SourceFile {
    uint32_t name, firstRange, rangeCount, firstLine, lineCount;
  };

  std::string Name(uint32_t index) const;
  void ReadNames(ByteView sub);
  void ReadModule(ByteView sub);
  void ReadSymbols(ByteView sub);
  void ReadSourceModule(ByteView sub);
  const SourceFile* FileOf(uint32_t addr) const;
  // Takes n from the work left; false (and nothing more is read) once it is spent.
  bool Spend(uint64_t n);

  bool valid_ = false;
  uint64_t workLeft_ = 0;
  ByteView data_;
  // Where each name's length byte lies in data_: the names stay in the block.
  std::vector<uint32_t> names_;
  std::vector<Module> modules_;
  std::vector<Range> segments_;
  std::vector<Proc> procs_;
  std::vector<SourceFile> files_;
  std::vector<FileRange> ranges_;
  std::vector<LinePoint> lines_;
};

}  // namespace kv
