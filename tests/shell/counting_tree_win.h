#pragma once
// An explorer tree of the given kind that counts its folder enumerations.
#include <cstdint>

#include "shell/explorer_tree_win.h"

namespace kv::test {

template <class Tree>
class CountingTree : public Tree {
 public:
  ~CountingTree() override { this->DestroyNodes(); }
  int enumerations = 0;

 protected:
  uint32_t ExpandNamespaceFolder(PLazyNode node) override {
    ++enumerations;
    return Tree::ExpandNamespaceFolder(node);
  }
};

}  // namespace kv::test
