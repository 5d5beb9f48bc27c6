#include "shell/auto_complete_win.h"

#include "base/ansi_text_win.h"
#include "shell/shell_utils_win.h"
#include "ui/component.h"

namespace kv {

size_t TLazyNameSpaceList::Add(std::unique_ptr<TNamespace> item) {
  if (OnNotify) OnNotify(*this, item.get(), TListNotification::lnAdded);
  items_.push_back(std::move(item));
  return items_.size() - 1;
}

void TLazyNameSpaceList::Clear() {
  if (OnNotify)
    for (auto& item : items_) OnNotify(*this, item.get(), TListNotification::lnDeleted);
  items_.clear();
}

void TCustomLazyShellAutoComplete::SetCurrentDir(const std::wstring& dir) {
  if (dir == currentDir_ || !DirExistsW(dir)) return;
  currentDir_ = dir;
  dirty_ = true;
}

void TCustomLazyShellAutoComplete::SetContents(TAutoCompleteContents contents) {
  if (contents == contents_) return;
  contents_ = contents;
  dirty_ = true;
}

void TCustomLazyShellAutoComplete::Refresh() {
  if (!dirty_) return;
  items_.Clear();
  dirty_ = false;
  FillCurrentDir();
  FillDesktop();
  FillFavorites();
  FillMyComputer();
}

TWideStringList& TCustomLazyShellAutoComplete::GetStringsW() {
  strings_.SetSorted(false);
  strings_.Clear();
  for (size_t i = 0; i < items_.Count(); ++i) strings_.Add(items_.Items(i)->GetNameParseAddress());
  if (contents_ & accSortList) strings_.Sort();
  return strings_;
}

void TCustomLazyShellAutoComplete::FillCurrentDir() {
  if (!(contents_ & accCurrentDir) || !DirExistsW(currentDir_)) return;
  TPidl list = PathToPIDL(currentDir_);
  if (!list) return;
  TNamespace folder(std::move(list), nullptr);
  Enumerate(folder);
}

void TCustomLazyShellAutoComplete::FillDesktop() {
  if ((contents_ & accDesktop) && DesktopFolder()) Enumerate(*DesktopFolder());
}

void TCustomLazyShellAutoComplete::FillFavorites() {
  if ((contents_ & accFavorites) && FavoritesFolder()) Enumerate(*FavoritesFolder());
}

void TCustomLazyShellAutoComplete::FillMyComputer() {
  if ((contents_ & accMyComputer) && DrivesFolder()) Enumerate(*DrivesFolder());
}

bool TCustomLazyShellAutoComplete::Enumerate(TNamespace& folder) {
  bool stopped = false;
  folder.EnumerateFolder(contents_ & accFileSysDirs, contents_ & accFileSysFiles, contents_ & accHidden,
                         [&](TPidl child, TNamespace& parent, bool& terminate) {
                           auto item = std::make_unique<TNamespace>(
                               TPIDLManager::AppendPIDL(parent.AbsolutePIDL(), child.get()), nullptr);
                           if ((item->GetHidden() && !(contents_ & accHidden)) ||
                               (!item->GetFileSystem() && (contents_ & accFileSysOnly)))
                             return true;
                           // A stop inside the subfolder ends that folder's walk only;
                           // the folder itself is still offered.
                           if ((contents_ & accRecursive) && item->GetFolder()) Enumerate(*item);
                           bool allow = true;
                           DoAddAutoCompleteItem(*item, allow, terminate);
                           if (terminate) stopped = true;
                           if (allow) items_.Add(std::move(item));
                           return true;
                         });
  return !stopped;
}

void TCustomLazyShellAutoComplete::DoAddAutoCompleteItem(TNamespace& item, bool& allow, bool& terminate) {
  if (OnAutoCompleteAddItem) OnAutoCompleteAddItem(*this, item, allow, terminate);
}

}  // namespace kv
