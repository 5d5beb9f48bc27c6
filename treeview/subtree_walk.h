#pragma once
// A walk over the nodes below one node without recursion: trees built in code
// may be thousands of levels deep, deeper than the stack allows to recurse.

#include "treeview/lazy_node.h"

namespace kv {

// Visits every node below `top` in pre-order. `visit(node)` answers whether
// the walk goes into that node's children; they are read after the visit, so
// a visit may create them (initialisation). A visit must not unlink the node
// or its ancestors up to `top`.
template <class Visit>
void WalkBelow(PLazyNode top, Visit&& visit) {
  PLazyNode n = top->FirstChild;
  while (n != nullptr) {
    if (visit(n) && n->FirstChild != nullptr) {
      n = n->FirstChild;
      continue;
    }
    while (n != top && n->NextSibling == nullptr) n = n->Parent;
    n = n == top ? nullptr : n->NextSibling;
  }
}

}  // namespace kv
