#include "wizard/checkbox_state.h"

#include "treeview/check_types.h"

namespace kv {

std::uint8_t CheckStateTrack(PLazyNode node) {
  if (node == nullptr) return csUncheckedNormal;
  if (node->FirstChild == nullptr) return csCheckedNormal;
  std::size_t unchecked = 0, others = 0;
  for (PLazyNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
    if (child->CheckState == csMixedNormal) return csMixedNormal;
    if (child->CheckState == csUncheckedNormal) ++unchecked;
    else ++others;
  }
  if (unchecked == 0) return csCheckedNormal;
  return others > 0 ? csMixedNormal : csUncheckedNormal;
}

namespace {

// The folder holding `path`: "C:\" for "C:\Music", "C:\Music" for
// "C:\Music\Rock"; the path itself when it has no backslash.
std::u16string ParentFolder(const std::u16string& path) {
  const std::size_t cut = path.find_last_of(u'\\');
  if (cut == std::u16string::npos) return path;
  // A drive's root keeps its backslash.
  if (cut == 2 && path[1] == u':') return path.substr(0, 3);
  return path.substr(0, cut);
}

}  // namespace

std::vector<std::u16string> FilenamePrefixChain(std::u16string path) {
  while (path.size() > 3 && path.back() == u'\\') path.pop_back();
  std::vector<std::u16string> chain{path};
  while (chain.front().size() >= 4) {
    std::u16string parent = ParentFolder(chain.front());
    if (parent.size() >= chain.front().size()) break;  // nothing left to strip
    chain.insert(chain.begin(), std::move(parent));
  }
  return chain;
}

}  // namespace kv
