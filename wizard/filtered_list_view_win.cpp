#include "wizard/filtered_list_view_win.h"

#include <algorithm>

#include "base/ansi_text_win.h"
#include "base/handle.h"
#include "wizard/file_mask.h"

namespace kv {
namespace {

// Names compare as the user's locale sorts them, ignoring case: the order
// of the list and the search in it.
int CompareNames(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                        static_cast<int>(b.size())) -
         CSTR_EQUAL;
}

// A folder without its trailing backslashes: "C:\" and "C:" name the same.
std::wstring_view FolderKey(std::wstring_view folder) {
  while (!folder.empty() && folder.back() == L'\\') folder.remove_suffix(1);
  return folder;
}

bool SameFolder(std::wstring_view a, std::wstring_view b) {
  a = FolderKey(a);
  b = FolderKey(b);
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

TFilteredListView::TFilteredListView() {
  auto& options = GetOptions();
  options.SetSelectionOptions(toFullRowSelect | toMultiSelect);
  options.SetAutoOptions(0);
  options.SetMiscOptions(0);
  options.SetStringOptions(0);
  options.SetAnimationOptions(0);
  options.SetPaintOptions(toThemeAware);
  expression_.SetModifier(1, true);  // case-insensitive
}

void TFilteredListView::DisplayFolder(const std::wstring& folder) {
  if (!Listing || folder == folder_) return;
  folder_ = folder;
  SetRootNodeCount(0);
  names_.clear();
  // The empty folder is a virtual item's: listing "\*.*" would show the root
  // of whatever drive is current.
  if (!folder.empty()) {
    expression_.SetExpression(MaskToExpression(Mask));
    std::wstring pattern = folder;
    if (pattern.back() != L'\\') pattern += L'\\';
    pattern += AnsiToWString(Mask);
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (find) {
      do {
        // The system also matches the short names: the mask decides on the long one.
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && expression_.Exec(WStringToAnsi(data.cFileName)))
          names_.emplace_back(data.cFileName);
      } while (FindNextFileW(find.Get(), &data));
    }
    std::sort(names_.begin(), names_.end(), [](const auto& a, const auto& b) { return CompareNames(a, b) < 0; });
  }
  SetRootNodeCount(static_cast<uint32_t>(names_.size()));
}

PLazyNode TFilteredListView::FindNode(const std::wstring& fileName) {
  const size_t slash = fileName.rfind(L'\\');
  if (slash == std::wstring::npos || folder_.empty() || !SameFolder(std::wstring_view(fileName).substr(0, slash), folder_))
    return nullptr;
  const std::wstring name = fileName.substr(slash + 1);
  const auto at = std::lower_bound(names_.begin(), names_.end(), name,
                                   [](const auto& a, const auto& b) { return CompareNames(a, b) < 0; });
  if (at == names_.end() || CompareNames(*at, name) != 0) return nullptr;
  const auto index = static_cast<uint32_t>(at - names_.begin());
  for (PLazyNode node = GetFirst(); node; node = GetNextSibling(node))
    if (node->Index == index) return node;
  return nullptr;
}

void TFilteredListView::DoGetText(PLazyNode node, TColumnIndex column, TLSTTextType type, std::wstring& text) {
  if (node && node->Index < names_.size()) text = names_[node->Index];
  TLazyStringTree::DoGetText(node, column, type, text);
}

}  // namespace kv
