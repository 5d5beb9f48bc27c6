#include "diagnostics/diag_errors.h"

#include <array>
#include <cstdio>

namespace kv {

namespace {

struct TextEntry {
  DiagText id;
  const char* text;
};

constexpr std::array kDiagStrings{
    TextEntry{DiagText::kNoVersionInfo, "File contains no version information"},
    TextEntry{DiagText::kFileMappingFailed, "Failed to create FileMapping"},
    TextEntry{DiagText::kFileMappingViewFailed, "Failed to create FileMappingView"},
    TextEntry{DiagText::kFileSizeFailed, "Failed to obtain size of file"},
    TextEntry{DiagText::kReadOnlyMemoryStream, "Can not write to a read-only memory stream"},
    TextEntry{DiagText::kReadOnlyResourceStream, "Can't write to a read-only resource stream"},
    TextEntry{DiagText::kNotPeFormat, "This is not a PE format"},
    TextEntry{DiagText::kCannotOpenFile, "Cannot open file %s"},
    TextEntry{DiagText::kCannotWriteFile, "Cannot write file %s"},
    TextEntry{DiagText::kSectionNotFound, "Section \"%s\" not found"},
};

std::string Win32Message(DiagText id, uint32_t code, const std::string& systemText) {
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, " (%u)", static_cast<unsigned>(code));
  return std::string(DiagString(id)) + "\rWin32: " + systemText + suffix;
}

}  // namespace

const char* DiagString(DiagText id) {
  for (const TextEntry& entry : kDiagStrings) {
    if (entry.id == id) return entry.text;
  }
  return "";
}

std::string DiagFormat(DiagText id, const std::string& argument) {
  std::string text = DiagString(id);
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

EDiagWin32Error::EDiagWin32Error(DiagText id, uint32_t code, const std::string& systemText)
    : EDiagError(Win32Message(id, code, systemText)), code_(code), systemText_(systemText) {}

}  // namespace kv
