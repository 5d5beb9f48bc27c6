#pragma once
// The Windows side of the diagnostics file utilities: file sizes, module
// paths, version resources of files, registry readers and the file mapping
// stream. Texts are ANSI.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/system_error_win.h"

#include "diagnostics/diag_streams.h"
#include "diagnostics/file_version_info.h"
#include "foundation/uni_file_stream_win.h"
#include "base/handle.h"

namespace kv {

// The size of the first entry a search for the name finds (folders
// included), or -1 when there is none. System error boxes are off meanwhile.
int64_t FileGetSize(const std::string& name);
// The full path of a loaded module ("" when it cannot be read).
std::string GetModulePath(HMODULE module);

// True when the file has a version resource that can be read.
bool VersionResourceAvailable(const std::string& fileName);
// True, with the file's fixed file information copied to `fixedInfo`, when the
// root value has its full 52 bytes; `fixedInfo` is left alone otherwise.
bool VersionFixedFileInfo(const std::string& fileName, TDiagFixedFileInfo& fixedInfo);
// Reads and parses the file's version resource: EDiagFileVersionInfoError when it
// has none or it is malformed, the system's own error (std::system_error with
// the file name) when reading fails.
TDiagFileVersionInfo ReadFileVersionInfo(const std::string& fileName);

// The 32-bit value rootKey\key\name, or def when missing or of another type.
uint32_t RegReadIntegerDef(HKEY rootKey, const std::string& key, const std::string& name, uint32_t def);
// The text value (plain or expandable, not expanded, cut at its first zero), or def.
std::string RegReadStringDef(HKEY rootKey, const std::string& key, const std::string& name, const std::string& def);

// A whole file mapped as a stream: read-only, or copy-on-write when opened for
// writing. Writing copies into the view only when the whole count fits.
class TDiagFileMappingStream : public TDiagMemoryStream {
 public:
  // mode is an open mode (kOpenRead ... | kShareNone ...); throws the open's
  // own system error (std::system_error with the file name),
  // EDiagFileMappingError or EDiagFileMappingViewError.
  TDiagFileMappingStream(const std::string& fileName, uint16_t mode);
  ~TDiagFileMappingStream() override;
  size_t Write(const void* buffer, size_t count) override;

 private:
  FileHandle file_;
  KernelHandle mapping_;
  bool writable_ = false;
};

}  // namespace kv
