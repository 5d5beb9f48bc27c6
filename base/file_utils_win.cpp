#include "base/file_utils_win.h"

#include <windows.h>

#include "base/handle.h"

namespace kv {

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
  WIN32_FIND_DATAA data;
  const FindHandle find(FindFirstFileA(path.c_str(), &data));
  // Any entry found is present, whatever its size fields hold (a file whose
  // low size word is all ones is a real file too).
  return static_cast<bool>(find);
}

}  // namespace kv
