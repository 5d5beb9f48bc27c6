#pragma once
// The error classes of the diagnostics code and the string table their
// messages come from.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kv {

// Message texts of the diagnostics code, by identifier.
enum class DiagText {
  kNoVersionInfo,
  kFileMappingFailed,
  kFileMappingViewFailed,
  kFileSizeFailed,
  kReadOnlyMemoryStream,
  kReadOnlyResourceStream,
  kNotPeFormat,
  kCannotOpenFile,
  kCannotWriteFile,
  kSectionNotFound,
};

// The text of a message; "%s" marks where an argument goes.
const char* DiagString(DiagText id);
// The text with its one "%s" replaced by the argument.
std::string DiagFormat(DiagText id, const std::string& argument);

class EDiagError : public std::runtime_error {
 public:
  explicit EDiagError(DiagText id) : std::runtime_error(DiagString(id)) {}
  explicit EDiagError(const std::string& message) : std::runtime_error(message) {}
};

// The message is the text, a CR, then "Win32: <system text> (<code>)".
class EDiagWin32Error : public EDiagError {
 public:
  EDiagWin32Error(DiagText id, uint32_t code, const std::string& systemText);
  uint32_t ErrorCode() const noexcept { return code_; }
  const std::string& SystemText() const noexcept { return systemText_; }

 private:
  uint32_t code_;
  std::string systemText_;
};

class EDiagFileVersionInfoError : public EDiagError {
 public:
  using EDiagError::EDiagError;
};
class EDiagFileMappingError : public EDiagWin32Error {
 public:
  using EDiagWin32Error::EDiagWin32Error;
};
class EDiagFileMappingViewError : public EDiagWin32Error {
 public:
  using EDiagWin32Error::EDiagWin32Error;
};

}  // namespace kv
