#pragma once
// The tree of the results page: an owner-draw tree whose node user data is a
// pointer to the node's TNodeData, which holds the index of the row's record
// in the bound result collection.
#include <windows.h>

#include <cstdint>

#include "treeview/lazy_trees_win.h"

namespace kv {

class TResultTree : public TLazyDrawTree {
 public:
  // One row's data: the index of its record. (Nested: the settings
  // parser has a node-data class of this name.)
  struct TNodeData {
    int32_t Data = 0;
  };

  TResultTree();
  ~TResultTree() override;
  const char* ClassName() const override { return "TResultTree"; }

  // The record index of the node (0 without user data); initialises the node first.
  int32_t GetData(PLazyNode node);
  void SetData(PLazyNode node, int32_t value);
  // The TNodeData objects alive: one per initialised node.
  int NodeDataCount() const { return nodeDataCount_; }

 protected:
  void DoInitNode(PLazyNode parent, PLazyNode node, TLazyNodeInitStates& initStates) override;
  void DoFreeNode(PLazyNode node) override;

 private:
  TNodeData* NodeData(PLazyNode node);
  int nodeDataCount_ = 0;
};

}  // namespace kv
