#pragma once
// Incremental search: the settings, and the round that walks the nodes from a
// start until one matches. Window-free; the tree supplies the step (which
// wraps at the end) and the match.

#include <cstdint>

namespace kv {

enum class TLTIncrementalSearch : std::uint8_t { isAll, isNone, isInitializedOnly, isVisibleOnly };
enum class TLTSearchDirection : std::uint8_t { sdForward, sdBackward };
enum class TLTSearchStart : std::uint8_t { ssAlwaysStartOver, ssLastHit, ssFocusedNode };

// Tests `first`, then each node `next` gives, until one matches. The round
// ends at `stop` (tested last) or, when there is no stop node or the walk
// never meets it, once the walk is back at `first`: a search matching nothing
// always ends. Null when nothing matched.
template <class Node, class Next, class Matches>
Node SearchRound(Node first, Node stop, Next next, Matches matches) {
  Node node = first;
  while (node != nullptr) {
    if (matches(node)) return node;
    node = next(node);
    if (node == first) return nullptr;
    if (node == stop) return matches(node) ? node : nullptr;
  }
  return nullptr;
}

}  // namespace kv
