#include "shell/pidl_sort_win.h"

#include <utility>

#include "shell/namespace_win.h"

namespace kv {

namespace {

// The folder's order of two relative lists: the sign of the answer's 16-bit
// code, not its low byte (which calls a difference of 256 equal).
int FolderOrder(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
  const HRESULT hr = folder ? folder->CompareIDs(0, a, b) : E_FAIL;
  return CompareIDsResult(hr, PidlBytes(a), PidlBytes(b));
}

// Middle element as pivot, Hoare partitioning, recursion on the left part and
// a loop on the right. `key(i)` is the list of element i, `swap(i, j)` exchanges two.
template <class Key, class Swap>
void QuickSort(IShellFolder* folder, int left, int right, const Key& key, const Swap& swap) {
  if (left < 0 || left >= right) return;
  int i = left;
  do {
    i = left;
    int j = right;
    int p = (left + right) >> 1;
    do {
      // Bounded: a folder whose answers contradict themselves cannot lead out of the range.
      while (i < right && FolderOrder(folder, key(i), key(p)) < 0) ++i;
      while (j > left && FolderOrder(folder, key(j), key(p)) > 0) --j;
      if (i <= j) {
        swap(i, j);
        // The pivot moves with the element it is.
        if (p == i) p = j;
        else if (p == j) p = i;
        ++i;
        --j;
      }
    } while (i <= j);
    if (left < j) QuickSort(folder, left, j, key, swap);
    left = i;
  } while (i < right);
}

}  // namespace

void PIDLQuickSort(std::vector<LPITEMIDLIST>& lists, IShellFolder* folder, int left, int right) {
  if (right >= static_cast<int>(lists.size())) return;
  QuickSort(
      folder, left, right, [&](int i) { return lists[i]; },
      [&](int i, int j) { std::swap(lists[i], lists[j]); });
}

void PIDLListQuickSort(TPIDLList& lists, IShellFolder* folder, int left, int right) {
  if (right >= static_cast<int>(lists.Count())) return;
  QuickSort(
      folder, left, right, [&](int i) { return lists[i]; }, [&](int i, int j) { lists.Exchange(i, j); });
}

void NodeNamespaceQuickSort(std::vector<TNodeNamespace>& pairs, IShellFolder* folder, int left, int right) {
  if (right >= static_cast<int>(pairs.size())) return;
  QuickSort(
      folder, left, right, [&](int i) { return pairs[i].Namespace->RelativePIDL(); },
      [&](int i, int j) { std::swap(pairs[i], pairs[j]); });
}

}  // namespace kv
