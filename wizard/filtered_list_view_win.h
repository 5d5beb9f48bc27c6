#pragma once
// The file list beside the explorer's folder tree: the files of one folder
// whose names fit a wildcard mask, sorted by name. User-interface thread only.
#include <windows.h>

#include <string>
#include <vector>

#include "foundation/regex.h"
#include "treeview/lazy_trees_win.h"

namespace kv {

class TFilteredListView : public TLazyStringTree {
 public:
  TFilteredListView();
  ~TFilteredListView() override { DestroyNodes(); }
  const char* ClassName() const override { return "TFilteredListView"; }

  // Lists the files of `folder` that fit the mask, while Listing is on and
  // the folder is another one than shown. An empty folder (no file-system
  // folder selected) shows nothing.
  void DisplayFolder(const std::wstring& folder);
  // The node of a file of the shown folder, or null.
  PLazyNode FindNode(const std::wstring& fileName);

  const std::wstring& Folder() const { return folder_; }
  // The names shown, sorted as the node indexes run.
  const std::vector<std::wstring>& Names() const { return names_; }

  std::string Mask = "*.*";
  bool Listing = false;

 protected:
  void DoGetText(PLazyNode node, TColumnIndex column, TLSTTextType type, std::wstring& text) override;

 private:
  std::wstring folder_;
  std::vector<std::wstring> names_;
  TRegex expression_;
};

}  // namespace kv
