#pragma once
// The tree of the results page: an owner-draw tree whose node user data is
// the 32-bit index of the row's record in the bound result collection.
#include <windows.h>

#include <cstdint>

#include "treeview/lazy_trees_win.h"

namespace kv {

class TResultTree : public TLazyDrawTree {
 public:
  TResultTree();
  ~TResultTree() override;
  const char* ClassName() const override { return "TResultTree"; }

  // The record index of the node (0 without user data); initialises the node first.
  int32_t GetData(PLazyNode node);
  void SetData(PLazyNode node, int32_t value);

 protected:
  void DoInitNode(PLazyNode parent, PLazyNode node, TLazyNodeInitStates& initStates) override;
};

}  // namespace kv
