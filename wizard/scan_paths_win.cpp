#include "wizard/scan_paths_win.h"

#include <windows.h>

#include <vector>

#include "base/ansi_text_win.h"

namespace kv {
namespace {

// Calls a path function that answers with the needed buffer size.
template <class F>
std::wstring AskPath(const std::wstring& path, F call) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = call(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n + 1);
  }
  return {};
}

}  // namespace

std::string ScanPathOf(const std::wstring& path) {
  const std::string ansi = WStringToAnsi(path);
  if (AnsiToWString(ansi) == path) return ansi;
  const std::wstring shortPath = AskPath(path, GetShortPathNameW);
  if (!shortPath.empty()) {
    const std::string shortAnsi = WStringToAnsi(shortPath);
    if (AnsiToWString(shortAnsi) == shortPath) return shortAnsi;
  }
  return ansi;
}

std::wstring ExpandStoredPath(const std::string& stored) {
  const std::wstring wide = AnsiToWString(stored);
  const std::wstring longPath = AskPath(wide, GetLongPathNameW);
  return longPath.empty() ? wide : longPath;
}

}  // namespace kv
