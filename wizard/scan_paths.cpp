#include "wizard/scan_paths.h"

#include "base/ansi_text.h"
#include "wizard/duplicate_search.h"

namespace kv {
namespace {

// With "/" as "\" and without trailing separators ("C:\" -> "C:").
std::u16string Key(std::u16string key) {
  for (char16_t& c : key)
    if (c == u'/') c = u'\\';
  while (!key.empty() && key.back() == u'\\') key.pop_back();
  return key;
}

// Whether inner is outer or lies inside it.
bool Within(const std::u16string& inner, const std::u16string& outer) {
  return inner.size() >= outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
         (inner.size() == outer.size() || inner[outer.size()] == u'\\');
}

}  // namespace

std::vector<size_t> ScanRootIndexes(const std::vector<std::u16string>& foldedPaths) {
  std::vector<std::u16string> keys;
  for (const std::u16string& p : foldedPaths) keys.push_back(Key(p));
  std::vector<size_t> roots;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].empty()) continue;
    bool inside = false;
    for (size_t j = 0; j < keys.size() && !inside; ++j) {
      if (j == i || keys[j].empty()) continue;
      // Inside a different path, or a repeat of one listed earlier.
      inside = keys[i] == keys[j] ? j < i : Within(keys[i], keys[j]);
    }
    if (!inside) roots.push_back(i);
  }
  return roots;
}

std::vector<std::string> ScanRoots(const std::vector<std::string>& paths) {
  std::vector<std::u16string> keys;
  for (const std::string& p : paths) keys.push_back(AnsiToWide(FoldPathCase(p)));
  std::vector<std::string> roots;
  for (size_t i : ScanRootIndexes(keys)) roots.push_back(paths[i]);
  return roots;
}

}  // namespace kv
