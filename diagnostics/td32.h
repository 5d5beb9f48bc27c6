#pragma once
// Reader of TD32 debug information: modules with their code segments,
// procedures, source files with line tables, and the name table. Every
// offset, size, index and count is checked against the block.
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
  struct Range {
    uint32_t start, size;
  };
  struct Module {
    uint32_t name;
    std::vector<Range> segments;
  };
  struct Proc {
    uint32_t offset, size, name;
  };
  struct LinePoint {
    uint32_t offset, line;
  };
  struct SourceFile {
    uint32_t name;
    std::vector<std::pair<uint32_t, uint32_t>> ranges;  // start, end
    std::vector<LinePoint> lines;
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
  std::vector<std::string> names_;
  std::vector<Module> modules_;
  std::vector<Proc> procs_;
  std::vector<SourceFile> files_;
};

}  // namespace kv
