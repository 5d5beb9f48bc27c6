#pragma once
// The shell behind the node storage: folders bound through the desktop and
// kept per node, the shell's own item order, file-system paths and existence
// tests with critical-error boxes suppressed.
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <memory>

#include "shell/com_ptr_win.h"
#include "shell/id_list.h"
#include "shell/node_storage.h"

namespace kv {

class TShellNodeStorageShell : public TNodeStorageShell {
 public:
  // Decides whether a child read from a stream still exists; by default the
  // shell's validation (which under Wine accepts deleted folders too).
  std::function<bool(LPCITEMIDLIST absolute)> Validator;

  // The bound folder of `node`, kept with it; none when it cannot be bound.
  IShellFolder* GetShellFolder(TNodeStorage& node);

  bool CompareIDs(TNodeStorage& parent, std::span<const uint8_t> first, std::span<const uint8_t> second,
                  int& order) override;
  bool ChildExists(const TNodeStorage& child) override;
  std::u16string FileSystemPath(const TNodeStorage& node) override;
  bool PathExists(const std::u16string& path) override;
  std::u16string UpperCase(std::u16string_view text) override;
  void SortPaths(std::vector<std::u16string>& paths) override;
  void BeginPathTests() override;
  void EndPathTests() override;

 private:
  UINT oldErrorMode_ = 0;
};

// A root storage for the desktop over the real shell.
std::unique_ptr<TRootNodeStorage> MakeShellNodeStorage();

inline std::span<const uint8_t> StorageBytes(LPCITEMIDLIST list) {
  return {reinterpret_cast<const uint8_t*>(list), IDListSize(list)};
}

}  // namespace kv
