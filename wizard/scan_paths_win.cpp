#include "wizard/scan_paths_win.h"

#include <windows.h>

#include <vector>

#include "base/ansi_text_win.h"
#include "base/file_utils_win.h"
#include "engine/audio_environment_win.h"
#include "wizard/scan_paths.h"
#include "wizard/stored_paths.h"

namespace kv {

std::string ScanPathOf(const std::wstring& path) {
  const std::string ansi = WStringToAnsi(path);
  if (AnsiToWString(ansi) == path) return ansi;
  const std::wstring shortPath = ShortPathOf(path);
  if (!shortPath.empty()) {
    const std::string shortAnsi = WStringToAnsi(shortPath);
    if (AnsiToWString(shortAnsi) == shortPath) return shortAnsi;
  }
  return ansi;
}

std::wstring ExpandStoredPath(const std::string& stored) {
  if (IsUtf8StoredPath(stored)) return ToWString(StoredPathValue(stored));
  const std::wstring wide = AnsiToWString(stored);
  const std::wstring longPath = LongPathName(wide);
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
