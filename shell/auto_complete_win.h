#pragma once
// The shell items a user may mean while typing a path: the entries of a
// current folder, the desktop, Favorites and My Computer, filtered by kind,
// optionally recursive and sorted, offered as parse-address texts.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/namespace_win.h"
#include "shell/wide_string_list_win.h"
#include "ui/component.h"

namespace kv {

enum class TListNotification { lnAdded, lnExtracted, lnDeleted };

// An owning list of shell items.
class TLazyNameSpaceList {
 public:
  using TNotify = std::function<void(TLazyNameSpaceList&, TNamespace* item, TListNotification)>;
  size_t Count() const { return items_.size(); }
  TNamespace* Items(size_t index) const { return items_.at(index).get(); }
  size_t Add(std::unique_ptr<TNamespace> item);
  void Clear();
  // Called before an item joins or leaves the list.
  TNotify OnNotify;

 private:
  std::vector<std::unique_ptr<TNamespace>> items_;
};

enum TAutoCompleteContent : uint32_t {
  accCurrentDir = 1u << 0, accMyComputer = 1u << 1, accDesktop = 1u << 2, accFavorites = 1u << 3,
  accFileSysOnly = 1u << 4, accFileSysDirs = 1u << 5, accFileSysFiles = 1u << 6, accHidden = 1u << 7,
  accRecursive = 1u << 8, accSortList = 1u << 9,
};
using TAutoCompleteContents = uint32_t;
constexpr TAutoCompleteContents kDefaultAutoCompleteContents =
    accCurrentDir | accMyComputer | accFileSysDirs | accFileSysFiles;

class TCustomLazyShellAutoComplete;
using TLazyAutoCompleteAddItem =
    std::function<void(TCustomLazyShellAutoComplete& sender, TNamespace& item, bool& allow, bool& terminate)>;

class TCustomLazyShellAutoComplete : public ui::TComponent {
 public:
  const char* ClassName() const override { return "TCustomLazyShellAutoComplete"; }

  const std::wstring& CurrentDir() const { return currentDir_; }
  // Taken only when it differs and names an existing folder; marks the list dirty.
  void SetCurrentDir(const std::wstring& dir);
  TAutoCompleteContents Contents() const { return contents_; }
  // Another set of contents makes the collected list stale: it marks it dirty.
  void SetContents(TAutoCompleteContents contents);
  bool Dirty() const { return dirty_; }

  // Collects the items again when dirty, then the list is clean.
  void Refresh();
  // The parse addresses of the collected items (sorted with accSortList).
  TWideStringList& GetStringsW();
  TLazyNameSpaceList& NamespaceList() { return items_; }
  // The component's ANSI string list; the component itself fills only the wide one.
  std::vector<std::string>& AnsiStrings() { return ansiStrings_; }

  TLazyAutoCompleteAddItem OnAutoCompleteAddItem;


 protected:
  virtual void DoAddAutoCompleteItem(TNamespace& item, bool& allow, bool& terminate);

 private:
  void FillCurrentDir();
  void FillDesktop();
  void FillFavorites();
  void FillMyComputer();
  // Enumerates `folder` (and, with accRecursive, each subfolder before the
  // subfolder is offered); false once the handler asked to stop this walk.
  bool Enumerate(TNamespace& folder);

  std::wstring currentDir_;
  TAutoCompleteContents contents_ = kDefaultAutoCompleteContents;
  bool dirty_ = false;
  TLazyNameSpaceList items_;
  TWideStringList strings_;
  std::vector<std::string> ansiStrings_;
};

class TLazyShellAutoComplete : public TCustomLazyShellAutoComplete {
 public:
  const char* ClassName() const override { return "TLazyShellAutoComplete"; }
};

}  // namespace kv
