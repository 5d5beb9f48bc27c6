#pragma once
// Bulk ordering of one folder's items in the folder's own order (its
// CompareIDs with column 0): plain item-ID lists, a list of them, and tree
// nodes paired with their items. Each sorts the range [left, right].
#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "shell/id_list_win.h"
#include "treeview/lazy_tree_model.h"

namespace kv {

class TNamespace;

struct TNodeNamespace {
  PLazyNode Node = nullptr;
  TNamespace* Namespace = nullptr;
};

void PIDLQuickSort(std::vector<LPITEMIDLIST>& lists, IShellFolder* folder, int left, int right);
void PIDLListQuickSort(TPIDLList& lists, IShellFolder* folder, int left, int right);
// By the items' relative lists.
void NodeNamespaceQuickSort(std::vector<TNodeNamespace>& pairs, IShellFolder* folder, int left, int right);

}  // namespace kv
