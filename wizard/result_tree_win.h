#pragma once
// The tree of the results page: an owner-draw tree whose node user data is
// the 32-bit index of the row's record in the bound result collection.
#include <windows.h>

#include <cstdint>
#include <functional>

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

  // Mouse button released (button: VK_LBUTTON, VK_RBUTTON or VK_MBUTTON) and
  // key released over the tree, client coordinates.
  std::function<void(TResultTree&, int button, int x, int y)> OnMouseUp;
  std::function<void(TResultTree&, WORD key)> OnKeyUp;

 protected:
  void DoInitNode(PLazyNode parent, PLazyNode node, TLazyNodeInitStates& initStates) override;
  void WndProc(ui::TMessage& m) override;
};

}  // namespace kv
