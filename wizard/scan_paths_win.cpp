#include "wizard/scan_paths_win.h"

#include <windows.h>

#include <vector>

#include "base/ansi_text_win.h"
#include "wizard/scan_paths.h"
#include "wizard/stored_paths.h"

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
  if (IsUtf8StoredPath(stored)) return ToWString(StoredPathValue(stored));
  const std::wstring wide = AnsiToWString(stored);
  const std::wstring longPath = AskPath(wide, GetLongPathNameW);
  return longPath.empty() ? wide : longPath;
}

std::string StoredPathOf(const std::wstring& path) { return StoredPathText(ToU16(path)); }

std::vector<std::wstring> ScanRoots(const std::vector<std::wstring>& paths) {
  std::vector<std::u16string> keys;
  for (std::wstring key : paths) {
    if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    keys.push_back(ToU16(key));
  }
  std::vector<std::wstring> roots;
  for (size_t i : ScanRootIndexes(keys)) roots.push_back(paths[i]);
  return roots;
}

}  // namespace kv
