#pragma once
// Texts kept by a string tree's owner, per node; the handlers keep them alive
// as long as the tree, which renders them once more when it goes with data on
// the clipboard.
#include <map>
#include <memory>
#include <string>

#include "treeview/lazy_trees_win.h"

namespace kv::test {

struct TextOwner {
  explicit TextOwner(TLazyStringTree& tree) {
    tree.OnGetText = [map = map](TBaseLazyTree&, PLazyNode n, TColumnIndex, TLSTTextType, std::wstring& text) {
      if (auto it = map->find(n); it != map->end()) text = it->second;
    };
    tree.OnNewText = [map = map](TBaseLazyTree&, PLazyNode n, TColumnIndex, const std::wstring& text) {
      (*map)[n] = text;
    };
  }
  std::shared_ptr<std::map<PLazyNode, std::wstring>> map = std::make_shared<std::map<PLazyNode, std::wstring>>();
  std::map<PLazyNode, std::wstring>& texts = *map;
};

}  // namespace kv::test
