#include "wizard/result_tree_win.h"

#include <cstring>
#include <memory>

#include "wizard/result_rows.h"

namespace kv {

TResultTree::TResultTree() {
  SetDefaultNodeHeight(kRowHeight);
  SetNodeDataSize(sizeof(TNodeData*));
  SetAlign(ui::TAlign::Client);
  // The rows say everything; a hint would only repeat a cut-off path.
  SetShowHint(false);
}

TResultTree::~TResultTree() { DestroyNodes(); }

TResultTree::TNodeData* TResultTree::NodeData(PLazyNode node) {
  void* data = GetNodeData(node);
  if (!data) return nullptr;
  TNodeData* object = nullptr;
  std::memcpy(&object, data, sizeof object);
  return object;
}

// The node's user data owns its TNodeData from here until DoFreeNode.
void TResultTree::DoInitNode(PLazyNode parent, PLazyNode node, TLazyNodeInitStates& initStates) {
  if (void* data = GetNodeData(node)) {
    node->States.Include(nsInitialized);
    if (TNodeData* kept = NodeData(node)) {  // initialised again after a reset
      kept->Data = 0;
    } else {
      TNodeData* object = std::make_unique<TNodeData>().release();
      std::memcpy(data, &object, sizeof object);
      ++nodeDataCount_;
    }
  }
  TLazyDrawTree::DoInitNode(parent, node, initStates);
}

// The free event fires once for the node, here, and is detached while the
// base class frees it, so that it cannot fire a second time.
void TResultTree::DoFreeNode(PLazyNode node) {
  const bool initialized = node->States.Contains(nsInitialized);
  if (OnFreeNode && initialized) OnFreeNode(*this, node);
  auto detached = std::move(OnFreeNode);
  OnFreeNode = nullptr;
  if (TNodeData* object = NodeData(node)) {
    std::unique_ptr<TNodeData> owned(object);
    std::memset(GetNodeData(node), 0, sizeof object);
    --nodeDataCount_;
  }
  TLazyDrawTree::DoFreeNode(node);
  OnFreeNode = std::move(detached);
}

int32_t TResultTree::GetData(PLazyNode node) {
  if (!GetNodeData(node)) return 0;
  if (!node->States.Contains(nsInitialized)) InitNode(node);
  const TNodeData* object = NodeData(node);
  return object ? object->Data : 0;
}

void TResultTree::SetData(PLazyNode node, int32_t value) {
  if (!GetNodeData(node)) return;
  if (!node->States.Contains(nsInitialized)) InitNode(node);
  if (TNodeData* object = NodeData(node)) object->Data = value;
}

}  // namespace kv
