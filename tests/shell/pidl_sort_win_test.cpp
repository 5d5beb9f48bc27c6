// The bulk sorts of a folder's items against std::sort with the folder's own order.
#include "shell/pidl_sort_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "shell/namespace_win.h"
#include "tests/shell/shell_test_util.h"

namespace kv {
namespace {

TEST(PidlSort, TheThreeSortsGiveTheFoldersOrder) {
  // The fixture's top level: folders and files, more than a partition's worth.
  auto root = TNamespace::CreateFromFileName(test::kFixture);
  ASSERT_TRUE(root);
  ComPtr<IShellFolder> folder = root->GetShellFolder();
  ASSERT_TRUE(folder);
  std::vector<std::unique_ptr<TNamespace>> items;
  root->EnumerateFolder(true, true, true, [&](TPidl child, TNamespace& parent, bool&) {
    items.push_back(std::make_unique<TNamespace>(std::move(child), &parent));
    return true;
  });
  ASSERT_GE(items.size(), 8u);
  auto before = [&](LPCITEMIDLIST a, LPCITEMIDLIST b) {
    return CompareIDsResult(folder->CompareIDs(0, a, b), PidlBytes(a), PidlBytes(b)) < 0;
  };
  std::vector<LPITEMIDLIST> expected;
  for (auto& item : items) expected.push_back(item->RelativePIDL());
  std::sort(expected.begin(), expected.end(), before);
  const int last = static_cast<int>(items.size()) - 1;

  // Reversed, rotated and already sorted: each comes out in the folder's order.
  std::vector<std::vector<LPITEMIDLIST>> starts{expected, expected, expected};
  std::reverse(starts[1].begin(), starts[1].end());
  std::rotate(starts[2].begin(), starts[2].begin() + 3, starts[2].end());
  for (const auto& start : starts) {
    auto lists = start;
    PIDLQuickSort(lists, folder.Get(), 0, last);
    EXPECT_EQ(lists, expected);
    TPIDLList list;
    list.SharePIDLs = true;  // the items own their lists
    for (auto* l : start) list.Add(l);
    PIDLListQuickSort(list, folder.Get(), 0, last);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(list[i], expected[i]) << i;
  }

  std::vector<TNodeNamespace> pairs;
  for (auto it = items.rbegin(); it != items.rend(); ++it) pairs.push_back({nullptr, it->get()});
  NodeNamespaceQuickSort(pairs, folder.Get(), 0, last);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(pairs[i].Namespace->RelativePIDL(), expected[i]) << i;

  // Only the range given moves; a range past the end is refused.
  std::vector<LPITEMIDLIST> part = starts[1];
  PIDLQuickSort(part, folder.Get(), 2, last);
  EXPECT_EQ(part[0], starts[1][0]);
  EXPECT_TRUE(std::is_sorted(part.begin() + 2, part.end(), before));
  std::vector<LPITEMIDLIST> untouched = starts[1];
  PIDLQuickSort(untouched, folder.Get(), 0, last + 1);
  EXPECT_EQ(untouched, starts[1]);
}

}  // namespace
}  // namespace kv
