// Saving a tree to a file: the node stream collects in memory and replaces
// the file in one step.
#include <string_view>

#include "base/file_replacement_win.h"
#include "treeview/lazy_tree_model.h"

namespace kv {

void TLazyTreeModel::SaveToFile(const std::filesystem::path& name) {
  TNodeMemoryStream stream;
  SaveToStream(stream);
  const auto& bytes = stream.Bytes();
  ReplaceFileContent(name.wstring(),
                     std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace kv
