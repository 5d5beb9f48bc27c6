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

namespace {

// Calls a path function that answers with the buffer size it needs.
template <class F>
std::wstring AskPath(const std::wstring& path, F call) {
  std::wstring out(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = call(path.c_str(), out.data(), static_cast<DWORD>(out.size()));
    if (n == 0) return {};
    if (n < out.size()) {
      out.resize(n);
      return out;
    }
    out.resize(n);
  }
  return {};
}

}  // namespace

std::wstring LongPathName(const std::wstring& path) { return AskPath(path, GetLongPathNameW); }

std::wstring ShortPathName(const std::wstring& path) { return AskPath(path, GetShortPathNameW); }

std::wstring LongPathOf(const std::wstring& path) {
  std::wstring longPath = LongPathName(path);
  return longPath.empty() ? path : longPath;
}

}  // namespace kv
