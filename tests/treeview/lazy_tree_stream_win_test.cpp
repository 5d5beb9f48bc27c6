// Saving a tree to a file and loading it back.

#include <gtest/gtest.h>

#include <filesystem>

#include "base/file_replacement_win.h"
#include "tests/treeview/tree_checker.h"

namespace kv {
namespace {

TEST(LazyTreeStreamFile, SavesLoadsAndAFailedSaveKeepsTheFile) {
  const auto folder = std::filesystem::temp_directory_path() / "kv_tree_stream_file";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const auto name = folder / "tree.bin";
  TLazyTreeModel tree;
  test::Populate(tree, 3, 2);
  tree.SaveToFile(name);
  TLazyTreeModel copy;
  copy.LoadFromFile(name);
  EXPECT_EQ(copy.TotalCount(), 9u);
  EXPECT_TREE_OK(copy);

  // A read-only target is refused and stays as it was.
  std::filesystem::permissions(name, std::filesystem::perms::owner_write, std::filesystem::perm_options::remove);
  const auto size = std::filesystem::file_size(name);
  test::Populate(tree, 1, 0);
  EXPECT_THROW(tree.SaveToFile(name), EReplaceError);
  EXPECT_EQ(std::filesystem::file_size(name), size);
  std::filesystem::permissions(name, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kv
