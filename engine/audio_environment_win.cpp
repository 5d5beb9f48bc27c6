#include "engine/audio_environment_win.h"

#include <windows.h>

#include "base/ansi_text_win.h"
#include "base/file_utils_win.h"
#include "base/handle.h"
#include "engine/readers/file_source_win.h"
#include "foundation/files_win.h"

namespace kv {
namespace {

TSessionFlagWriter& FlagWriter() {
  static TSessionFlagWriter writer;  // process-wide, set at start-up
  return writer;
}

}  // namespace

void SetSessionFlagWriter(TSessionFlagWriter writer) { FlagWriter() = std::move(writer); }

bool TWin32AudioEnvironment::FileExists(const std::string& accessPath) {
  // A missing medium must not raise a system error box.
  return kv::FileExists(accessPath);
}

std::unique_ptr<ByteSource> TWin32AudioEnvironment::Open(const std::string& accessPath) {
  return std::make_unique<FileSource>(AnsiToWString(accessPath));
}

uint32_t TWin32AudioEnvironment::FileSize(const std::string& displayPath) {
  // A display name with characters outside the ANSI code page holds "?",
  // which the find call would take as a wildcard matching another file: 0.
  if (displayPath.find_first_of("?*") != std::string::npos) return 0;
  return kv::GetFileSize(displayPath);
}

void TWin32AudioEnvironment::SetSessionFlag(std::string_view key) {
  if (FlagWriter()) FlagWriter()(key);
}

}  // namespace kv
