#pragma once
// The result of resolving a code address and the one-line text made of it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

class TDiagDebugInfoSource;

struct TDiagLocationInfo {
  uint64_t address = 0;
  std::string unitName;
  std::string procedureName;
  uint32_t offsetFromProcName = 0;
  uint32_t lineNumber = 0;
  int32_t offsetFromLineNumber = 0;
  std::string sourceName;
  const TDiagDebugInfoSource* debugInfo = nullptr;
};

// The location line of address: "[<16 hex digits>]" alone when info is
// null; the module column "{name        }" follows the address when
// moduleName is given; procStartLine is the first line of the procedure when
// the offset from it is asked for and known.
std::string FormatLocationLine(uint64_t address, const TDiagLocationInfo* info,
                               const std::optional<std::string>& moduleName, bool includeAddressOffset,
                               std::optional<uint32_t> procStartLine);

// What a run-time package's exported name tells of a location: the unit
// (the unmangled text before its first ".", empty without one), the
// procedure and whether the offset into it counts. False for a name in a
// foreign decoration or one that does not unmangle.
bool PackageExportLocation(std::string_view exportName, std::string& unit, std::string& procedure, bool& withOffset);

}  // namespace kv
