#include "wizard/scan_paths.h"

#include "wizard/duplicate_search.h"

namespace kv {
namespace {

// Folded, with "/" as "\" and without trailing separators ("C:\" -> "C:").
std::string Key(const std::string& path) {
  std::string key = FoldPathCase(path);
  for (char& c : key)
    if (c == '/') c = '\\';
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

// Whether inner is outer or lies inside it.
bool Within(const std::string& inner, const std::string& outer) {
  return inner.size() >= outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
         (inner.size() == outer.size() || inner[outer.size()] == '\\');
}

}  // namespace

std::vector<std::string> ScanRoots(const std::vector<std::string>& paths) {
  std::vector<std::string> keys;
  for (const std::string& p : paths) keys.push_back(Key(p));
  std::vector<std::string> roots;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (keys[i].empty()) continue;
    bool inside = false;
    for (size_t j = 0; j < paths.size() && !inside; ++j) {
      if (j == i || keys[j].empty()) continue;
      // Inside a different path, or a repeat of one listed earlier.
      inside = keys[i] == keys[j] ? j < i : Within(keys[i], keys[j]);
    }
    if (!inside) roots.push_back(paths[i]);
  }
  return roots;
}

}  // namespace kv
