#include "wizard/later_pages_win.h"

#include "base/ansi_text_win.h"
#include "base/scope_guard.h"
#include "base/strings.h"
#include "foundation/translate.h"
#include "shell/namespace_win.h"
#include "ui/layout_loader_win.h"
#include "wizard/about_form_win.h"
#include "wizard/pages_win.h"

namespace kv {

namespace {

bool SameTextW(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The Unix root under Wine: drive Z: and the "/" entry of the desktop.
bool IsWholeFileSystem(TNamespace& item) {
  const std::wstring parsing = item.GetNameForParsing();
  return SameTextW(parsing, L"Z:\\") || SameTextW(parsing, L"Z:") || parsing == L"/" ||
         item.GetNameInFolder() == L"/";
}

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// Folders other than file-system ones count only for My Computer and the
// network places; a folder named exactly ".zip" is an archive, not a folder.
bool IsScannableFolder(TNamespace& item) {
  if (!item.GetFolder()) return false;
  if (!item.GetFileSystem() && !item.IsMyComputer() && !item.IsNetworkNeighborhood() &&
      !item.IsNetworkNeighborhoodChild()) {
    return false;
  }
  return item.GetExtension() != L".zip";
}

std::string PathForAnsi(const std::wstring& path) {
  std::string ansi = WStringToAnsi(path);
  if (AnsiToWString(ansi) == path) return ansi;
  const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return ansi;
  std::wstring shortPath(size, L'\0');
  const DWORD written = GetShortPathNameW(path.c_str(), shortPath.data(), size);
  if (written == 0 || written >= size) return ansi;
  shortPath.resize(written);
  std::string shortAnsi = WStringToAnsi(shortPath);
  return AnsiToWString(shortAnsi) == shortPath ? shortAnsi : ansi;
}

std::wstring PathFromAnsi(const std::string& path) {
  std::wstring wide = AnsiToWString(path);
  const DWORD size = GetLongPathNameW(wide.c_str(), nullptr, 0);
  if (size == 0) return wide;
  std::wstring longPath(size, L'\0');
  const DWORD written = GetLongPathNameW(wide.c_str(), longPath.data(), size);
  if (written == 0 || written >= size) return wide;
  longPath.resize(written);
  return longPath;
}

TCheckboxDriveTree::TCheckboxDriveTree() {
  RegisterWizardClasses();
  RegisterExplorerTreeClasses();
  ui::LoadLayout(*this, "checkbox_drive_tree");

  // Without the shell (a program that never started it) there is no tree,
  // and the stored choice is kept as it came.
  if (DesktopFolder() == nullptr) return;
  // The file list beside the tree comes with the linked views; until then
  // the tree alone carries the checks and tracks the three states itself.
  SysTree = &Create<TLazyExplorerTreeview>();
  SysTree->SetParent(this);
  SysTree->SetAlign(ui::TAlign::Left);
  SysTree->SetWidth(241);
  // Files are not shown in the tree, so none is read.
  SysTree->SetFileObjects(foFolders | foHidden);
  SysTree->SetCheckImageKind(ckLightTick);
  auto& options = SysTree->TreeOptions();
  options.SetAutoOptions(toAutoScroll | toAutoHideButtons | toAutoTristateTracking);
  options.SetMiscOptions(options.MiscOptions() | toCheckSupport | toToggleOnDblClick);
  options.SetSelectionOptions(toRightClickSelect | toSiblingSelectConstraint);
  SysTree->SetExplorerFolderOptions(toFoldersExpandable | toForceHideRecycleBin);
  SysTree->SetExplorerSyncOptions(toExpandTarget | toSelectTarget);
  SysTree->SetExplorerMiscOptions(toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toChangeNotifierThread);
  SysTree->SetExplorerImageOptions(toImages | toThreadedImages);
  SysTree->OnInitNode = [](TLazyTreeModel&, PLazyNode, PLazyNode node, TLazyNodeInitStates&) {
    node->CheckType = ctTriStateCheckBox;
  };
  SysTree->OnEnumFolder = [](TCustomLazyExplorerTree&, TNamespace& item, bool& allow) {
    allow = IsScannableFolder(item);
  };
  SysTree->OnChecking = [this](TLazyTreeModel&, PLazyNode node, TCheckState& newState, bool& allowed) {
    SysTreeChecking(node, newState, allowed);
  };

  SysTree->BeginUpdate();
  SysTree->SetActive(true);
  if (PLazyNode computer = SysTree->FindNodeByPIDL(DrivesFolder()->AbsolutePIDL())) {
    SysTree->SetExpanded(computer, true);
  }
  SysTree->EndUpdate();
}

void TCheckboxDriveTree::SysTreeChecking(PLazyNode node, TCheckState& newState, bool& allowed) {
  if (!IsCheckedState(newState)) return;
  // The tree shows no files, so checked subfolders do not make the folder
  // checked: its own files would be scanned too. It becomes mixed instead.
  for (PLazyNode child = node->FirstChild; child; child = child->NextSibling) {
    if (child->States.Contains(nsCheckChanging)) {
      newState = csMixedNormal;
      return;
    }
  }
  TNamespace* item = nullptr;
  if ( !SysTree->ValidateNamespace(node, item) || !IsWholeFileSystem(*item)) return;
  // Never checked along with a folder above it; by the user only when confirmed.
  if (node->Parent && node->Parent->States.Contains(nsCheckChanging)) {
    allowed = false;
  } else if (!restoring_) {
    const std::wstring path = item->GetNameForParsing();
    allowed = ConfirmWholeFileSystem
                  ? ConfirmWholeFileSystem(path)
                  : AppDialog(Translate("This item holds the whole Linux file system. Scan all of it?"),
                              TMsgDlgType::Confirmation, mbYes | mbNo) == ui::mrYes;
  }
}

PLazyNode TCheckboxDriveTree::FindNodeByFilename(const std::wstring& path) {
  if (SysTree == nullptr || path.empty() || !FolderExists(path)) return nullptr;
  PLazyNode node = SysTree->FindNodeByPIDL(DrivesFolder()->AbsolutePIDL());
  if (node == nullptr) return nullptr;
  std::wstring full = path;
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  std::vector<std::wstring> chain{full};
  while (chain.front().size() >= 4) {
    const std::wstring& current = chain.front();
    const size_t cut = current.find_last_of(L'\\');
    if (cut == std::wstring::npos) break;
    chain.insert(chain.begin(), current.substr(0, cut == 2 ? 3 : cut));
  }
  for (const std::wstring& prefix : chain) {
    PLazyNode found = nullptr;
    for (PLazyNode child = SysTree->GetFirstChild(node); child && !found; child = SysTree->GetNextSibling(child)) {
      TNamespace* item = nullptr;
      if (SysTree->ValidateNamespace(child, item) && SameTextW(item->GetNameForParsing(), prefix)) found = child;
    }
    if (found == nullptr) return nullptr;
    node = found;
  }
  return node;
}

void TCheckboxDriveTree::SetPaths() {
  if (SysTree == nullptr) return;
  restoring_ = true;
  ScopeGuard done([&] { restoring_ = false; });
  SysTree->BeginUpdate();
  ScopeGuard endUpdate([&] { SysTree->EndUpdate(); });
  for (PLazyNode n = SysTree->GetFirstNoInit(); n; n = SysTree->GetNextNoInit(n)) {
    SysTree->WriteCheckState(n, csUncheckedNormal);
  }
  SysTree->GetNewStorage()->Clear(false);
  for (const std::string& path : Paths) {
    if (PLazyNode node = FindNodeByFilename(PathFromAnsi(path))) SysTree->SetCheckState(node, csCheckedNormal);
  }
}

void TCheckboxDriveTree::GetResolvedPaths() {
  if (SysTree == nullptr) return;
  Paths.clear();
  for (const std::u16string& path : SysTree->GetNewStorage()->GetResolvedFileNamesW()) {
    Paths.push_back(PathForAnsi(ToWString(path)));
  }
}

}  // namespace kv
