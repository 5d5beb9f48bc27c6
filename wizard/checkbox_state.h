#pragma once
// The window-free rules of the folder page's check boxes: the state a folder
// takes from its loaded children, and the chain of folders leading to a path.
#include <string>
#include <vector>

#include "treeview/lazy_node.h"

namespace kv {

// The state `node` gets from its loaded children: unchecked for no node,
// checked without children; else mixed as soon as one child is mixed,
// checked when none is unchecked, unchecked when all are, mixed otherwise.
// A pressed form (a box held down under the mouse) counts as not unchecked.
std::uint8_t CheckStateTrack(PLazyNode node);

// The path and its parent folders, outermost first: C:\, C:\Music,
// C:\Music\Rock for C:\Music\Rock (trailing backslashes ignored).
std::vector<std::u16string> FilenamePrefixChain(std::u16string path);

}  // namespace kv
