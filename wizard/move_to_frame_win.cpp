#include "wizard/move_to_frame_win.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "base/ansi_text_win.h"
#include "foundation/settings_win.h"
#include "foundation/translate.h"
#include "shell/namespace_win.h"
#include "ui/layout_loader_win.h"
#include "ui/splitter_win.h"
#include "wizard/later_pages_win.h"
#include "wizard/pages_win.h"
#include "wizard/scan_paths_win.h"

namespace kv {

std::string FolderText(const std::wstring& folder, bool exact) {
  if (folder.empty()) return {};
  std::string text = exact ? PathForAnsi(folder) : WStringToAnsi(folder);
  if (text.back() != '\\') text += '\\';
  return text;
}

void TFoldersTree::DoChange(PLazyNode node) {
  if (Explorer && Explorer->FileList) Explorer->FileList->DisplayFolder(GetSelectedPath());
  TLazyExplorerTreeview::DoChange(node);
}

// ------------------------------------------------------------- TExplorer --

TExplorer::TExplorer() { SetBevelOuter(ui::TBevel::None); }

TExplorer::~TExplorer() {
  if (!FoldersTree) return;
  // Settings live in memory until the program writes its file.
  try {
    if (TConfiger* settings = Configer()) settings->SetVal(Section, "DirWidth", std::to_string(FoldersTree->Width()));
  } catch (...) {
  }
}

namespace {

// A stored width: a decimal number not below zero, else the fallback.
int StoredWidth(const std::string& text, int fallback) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= 0 ? value : fallback;
}

}  // namespace

void TExplorer::Prepare(bool foldersOnly) {
  if (FoldersTree || DesktopFolder() == nullptr) return;
  FoldersTree = &Create<TFoldersTree>();
  FoldersTree->Explorer = this;
  // The folder tree's working defaults (hidden folders, the change
  // notifier, icons from the icon thread, cut and copy marks, no shortcut
  // entry in the shell menu), one folder chosen at a time.
  auto& options = FoldersTree->TreeOptions();
  options.SetSelectionOptions(options.SelectionOptions() & ~toMultiSelect);
  // An archive the shell shows as a folder can take no files (letter case
  // matters, as for the folder page). Every other folder shows; one that is
  // no file-system folder gives no destination when chosen.
  FoldersTree->OnEnumFolder = [](TCustomLazyExplorerTree&, TNamespace& item, bool& allow) {
    allow = item.GetExtension() != L".zip";
  };
  FoldersTree->OnChange = [this](TLazyTreeModel&, PLazyNode) { OnChange(this); };
  FoldersTree->SetParent(this);
  if (foldersOnly) {
    FoldersTree->SetAlign(ui::TAlign::Client);
  } else {
    TConfiger* settings = Configer();
    const int width = settings ? StoredWidth(settings->GetVal(Section, "DirWidth"), FoldersTree->Width())
                               : FoldersTree->Width();
    FoldersTree->SetWidth(width);
    FoldersTree->SetAlign(ui::TAlign::Left);
    auto& splitter = Create<ui::TSplitter>();
    splitter.SetParent(this);
    splitter.SetLeft(width + 10);  // aligned after the tree
    FileList = &Create<TFilteredListView>();
    FileList->OnChange = [this](TLazyTreeModel&, PLazyNode) { OnChange(this); };
    FileList->SetParent(this);
    FileList->SetAlign(ui::TAlign::Client);
    if (!MultiSelect) {
      auto& listOptions = FileList->GetOptions();
      listOptions.SetSelectionOptions(listOptions.SelectionOptions() & ~toMultiSelect);
    }
  }
  SetVisible(true);
  FoldersTree->SetActive(true);
  if (FileList) FileList->Listing = true;
}

void TExplorer::OnChange(ui::TComponent*) { ui::Fire(OnFolderChange, this); }

PLazyNode TExplorer::Reveal(const std::wstring& folder) {
  TPidl list = PathToPIDL(folder);
  // Reads the folders on the way: a folder never expanded has no nodes yet.
  return list ? FoldersTree->WalkPIDLToNode(list.get(), false, false, true) : nullptr;
}

void TExplorer::SetSelectedFiles(const std::string& files) {
  if (!FoldersTree) return;
  if (FileList && FileList->RootNodeCount() > 0) FileList->ClearSelection();
  // The shell may parse the empty name as the desktop, or as nothing at all.
  if (PLazyNode top = FoldersTree->FindNode(L"")) FoldersTree->SetExpanded(top, true);
  std::vector<std::string> lines;
  for (size_t start = 0; start < files.size();) {
    const size_t end = std::min(files.find("\r\n", start), files.size());
    lines.push_back(files.substr(start, end - start));
    start = end + 2;
  }
  PLazyNode last = nullptr;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    const std::wstring line = PathFromAnsi(*it);
    // The list follows the tree only once the walk is over.
    if (FileList) FileList->Listing = false;
    // Every folder on the way, from the drive on; a network path (two
    // leading backslashes) has none at position 3 or later and selects nothing.
    for (size_t at = line.find(L'\\'); at != std::wstring::npos && at >= 2; at = line.find(L'\\', at + 1)) {
      PLazyNode node = Reveal(line.substr(0, at + 1));
      if (!node) continue;
      // The tree takes one selection: selecting a node lets the last one go.
      FoldersTree->SetExpanded(node, true);
      FoldersTree->SetFocusedNode(node);
      FoldersTree->SetSelected(node, true);
      last = node;
    }
    if (FileList) {
      FileList->Listing = true;
      FileList->DisplayFolder(FoldersTree->GetSelectedPath());
      if (PLazyNode file = FileList->FindNode(line)) {
        FileList->SetSelected(file, true);
        FileList->SetFocusedNode(file);
      }
    }
  }
  if (FileList) FileList->Listing = true;
  if (last) FoldersTree->ScrollIntoView(last, false);
}

std::wstring TExplorer::GetFolder() {
  if (FileList) return FileList->Folder();
  return FoldersTree ? FoldersTree->GetSelectedPath() : std::wstring();
}

// ---------------------------------------------------------- TMoveToFrame --

TMoveToFrame::TMoveToFrame() {
  RegisterWizardClasses();
  ui::LoadLayout(*this, "move_to_frame");
}

void TMoveToFrame::OnTreeChange(ui::TComponent*) {
  Get<ui::TEdit>("CopyToEdit").SetWideText(Explorer ? Explorer->GetFolder() : std::wstring());
}

void TMoveToFrame::Select(std::string& dest) {
  std::wstring folder;
  Select(folder);
  dest = folder.empty() ? std::string() : FolderText(folder, true);
}

void TMoveToFrame::Select(std::wstring& dest) {
  dest.clear();
  auto& form = Create<ui::TForm>();
  SetParent(&form);
  Explorer = &Create<TExplorer>();
  Explorer->SetParent(&Get<ui::TPanel>("TreePanel"));
  Explorer->SetAlign(ui::TAlign::Client);
  form.SetBounds(form.Left(), form.Top(), 400, 400);
  form.SetText(Translate("Copy/Move Files"));
  form.SetBorderIcons(ui::biSystemMenu);
  form.SetPosition(ui::TPosition::ScreenCenter);
  Explorer->Prepare(true);

  TConfiger* settings = Configer();
  auto& savePaths = Get<ui::TCheckBox>("SavePathsCheckbox");
  savePaths.SetChecked(settings && settings->GetFlag("Last", "CopyMoveSavePath"));
  Explorer->SetSelectedFiles(settings ? settings->GetVal("Last", "CopyMoveTo") : std::string());
  OnTreeChange(nullptr);
  Explorer->OnFolderChange = [this](ui::TComponent* sender) { OnTreeChange(sender); };
  SetAlign(ui::TAlign::Client);
  if (form.ShowModal() != ui::mrOk) return;

  // The folder by its full wide name; the settings keep it exactly.
  dest = Explorer->GetFolder();
  if (!dest.empty() && dest.back() != L'\\') dest += L'\\';
  if (settings) {
    settings->SetVal("Last", "CopyMoveTo", dest.empty() ? std::string() : StoredPathOf(dest));
    settings->SetFlag("Last", "CopyMoveSavePath", savePaths.Checked());
  }
}

}  // namespace kv
