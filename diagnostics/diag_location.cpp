#include "diagnostics/diag_location.h"

#include <cstdio>

#include "diagnostics/pe_image.h"

namespace kv {

namespace {

std::string Hex(const char* prefix, uint64_t value) {
  char text[40];
  std::snprintf(text, sizeof text, "%s%llx", prefix, static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

std::string FormatLocationLine(uint64_t address, const TDiagLocationInfo* info,
                               const std::optional<std::string>& moduleName, bool includeAddressOffset,
                               std::optional<uint32_t> procStartLine) {
  char head[40];
  std::snprintf(head, sizeof head, "[%016llX]", static_cast<unsigned long long>(address));
  std::string line = head;
  if (moduleName) {
    char column[300];
    std::snprintf(column, sizeof column, "{%-12s}", moduleName->c_str());
    line += column;
  }
  if (info == nullptr) return line;
  line += ' ';
  if (info->lineNumber == 0) {
    if (!info->unitName.empty()) line += info->unitName + ".";
    line += info->procedureName;
    if (includeAddressOffset) line += Hex(" + $", info->offsetFromProcName);
    return line;
  }
  line += info->unitName + "." + info->procedureName + " (Line " + std::to_string(info->lineNumber) + ", \"" +
          info->sourceName + "\"";
  if (procStartLine && *procStartLine >= 1) {
    line += " + " + std::to_string(static_cast<int64_t>(info->lineNumber) - static_cast<int64_t>(*procStartLine));
  }
  line += ")";
  if (includeAddressOffset) {
    const int64_t offset = info->offsetFromLineNumber;
    line += offset >= 0 ? Hex(" + $", static_cast<uint64_t>(offset)) : Hex(" - $", static_cast<uint64_t>(-offset));
  }
  return line;
}

bool PackageExportLocation(std::string_view exportName, std::string& unit, std::string& procedure, bool& withOffset) {
  unit.clear();
  procedure.clear();
  withOffset = false;
  std::string text;
  TDiagUnmangleInfo description;
  int basePos = 0;
  switch (PeQarnUnmangleName(exportName, text, description, basePos)) {
    case TDiagUnmangleResult::kOk: {
      const size_t dot = text.find('.');
      if (dot != std::string::npos) unit = text.substr(0, dot);
      if (description.kind == TDiagUnmangleKind::kRtti || description.kind == TDiagUnmangleKind::kVTable) return true;
      procedure = dot == std::string::npos ? text : text.substr(dot + 1);
      if ((description.modifiers & kUnmangleLinkProc) != 0) procedure = "@" + procedure;
      withOffset = true;
      return true;
    }
    case TDiagUnmangleResult::kNotMangled:
      procedure = std::string(exportName);
      withOffset = true;
      return true;
    default:
      return false;
  }
}

}  // namespace kv
