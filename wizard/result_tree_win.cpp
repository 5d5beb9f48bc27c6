#include "wizard/result_tree_win.h"

#include <cstring>

#include "wizard/result_rows.h"

namespace kv {

TResultTree::TResultTree() {
  SetDefaultNodeHeight(kRowHeight);
  SetNodeDataSize(sizeof(int32_t));
  SetAlign(ui::TAlign::Client);
}

TResultTree::~TResultTree() { DestroyNodes(); }

void TResultTree::DoInitNode(PLazyNode parent, PLazyNode node, TLazyNodeInitStates& initStates) {
  if (void* data = GetNodeData(node)) std::memset(data, 0, sizeof(int32_t));
  TLazyDrawTree::DoInitNode(parent, node, initStates);
}

int32_t TResultTree::GetData(PLazyNode node) {
  void* data = GetNodeData(node);
  if (!data) return 0;
  if (!node->States.Contains(nsInitialized)) InitNode(node);
  int32_t value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

void TResultTree::SetData(PLazyNode node, int32_t value) {
  void* data = GetNodeData(node);
  if (!data) return;
  if (!node->States.Contains(nsInitialized)) InitNode(node);
  std::memcpy(data, &value, sizeof value);
}

}  // namespace kv
