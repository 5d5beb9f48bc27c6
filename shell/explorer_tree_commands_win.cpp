// The explorer tree's shell commands: clipboard, delete, rename, new
// folders, executing items, drag data, keys and the shell context menu.
#include <windows.h>

#include <algorithm>

#include "base/scope_guard.h"
#include "shell/explorer_tree_win.h"
// The tree's own data object; COM interfaces are released through Release only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#include "treeview/data_object_win.h"
#pragma GCC diagnostic pop
#include "shell/shell_link_win.h"
#include "shell/shell_utils_win.h"

namespace kv {

namespace {

std::wstring Lowered(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace

void TCustomLazyExplorerTree::SetExplorerShellOptions(uint32_t value) {
  const uint32_t before = explorerOptions_->shell_;
  explorerOptions_->shell_ = value;
  if ((before ^ value) & toContextMenus) contextMenuManager_->SetEnabled((value & toContextMenus) != 0);
  if ((before ^ value) & toRightAlignSizeColumn) RebuildRootNamespace();
}

TNamespaceArray TCustomLazyExplorerTree::SelectedNamespaces() {
  TNamespaceArray items;
  for (PLazyNode node = GetFirstSelected(); node; node = GetNextSelected(node)) {
    TNamespace* ns = nullptr;
    if (ValidateNamespace(node, ns)) items.push_back(ns);
  }
  return items;
}

TNamespaceArray TCustomLazyExplorerTree::SelectedToNamespaceArray() {
  TNamespaceArray items;
  items.reserve(SelectedCount());
  for (PLazyNode node = GetFirstSelected(); node; node = GetNextSelected(node)) {
    TNamespace* ns = nullptr;
    items.push_back(ValidateNamespace(node, ns) ? ns : nullptr);
  }
  return items;
}

// ------------------------------------------------------------- clipboard --

void TCustomLazyExplorerTree::DoClipboardCopy(bool& handled) {
  if (OnClipboardCopy) OnClipboardCopy(*this, handled);
}

void TCustomLazyExplorerTree::DoClipboardCut(bool& markSelectedCut, bool& handled) {
  if (OnClipboardCut) OnClipboardCut(*this, markSelectedCut, handled);
}

void TCustomLazyExplorerTree::DoClipboardPaste(bool& handled) {
  if (OnClipboardPaste) OnClipboardPaste(*this, handled);
}

bool TCustomLazyExplorerTree::CopyToClipboard() {
  const TTreeWaitCursor wait(*this);
  bool handled = false;
  DoClipboardCopy(handled);
  if (handled) return true;
  TNamespace* first = nullptr;
  if (!ValidateNamespace(GetFirstSelected(), first)) return false;
  if (!first->Copy(SelectedNamespaces())) return false;
  MarkNodesCopied();
  return true;
}

bool TCustomLazyExplorerTree::CutToClipboard() {
  if (ExplorerMiscOptions() & toExplorerReadOnly) return false;
  const TTreeWaitCursor wait(*this);
  bool markSelectedCut = true, handled = false;
  DoClipboardCut(markSelectedCut, handled);
  if (handled) {
    if (markSelectedCut) MarkNodesCut();
    return true;
  }
  TNamespace* first = nullptr;
  if (!ValidateNamespace(GetFirstSelected(), first) || !first->Cut(SelectedNamespaces())) return false;
  MarkNodesCut();
  return true;
}

bool TCustomLazyExplorerTree::PasteFromClipboard() {
  if (ExplorerMiscOptions() & toExplorerReadOnly) return false;
  const TTreeWaitCursor wait(*this);
  bool handled = false;
  DoClipboardPaste(handled);
  if (handled) return true;
  TNamespace* ns = nullptr;
  if (SelectedCount() != 1 || !ValidateNamespace(GetFirstSelected(), ns)) return false;
  return ns->Paste({ns});
}

void TCustomLazyExplorerTree::SelectedFilesPaste(bool allSelected) {
  if (ExplorerMiscOptions() & toExplorerReadOnly) return;
  TNamespaceArray items = SelectedNamespaces();
  if (items.empty() || (!allSelected && SelectedCount() != 1)) return;
  const TTreeWaitCursor wait(*this);
  if (!allSelected) items.resize(1);
  for (TNamespace* ns : items) ns->Paste({ns});
}

void TCustomLazyExplorerTree::SelectedFilesDelete() {
  if (ExplorerMiscOptions() & toExplorerReadOnly) return;
  TNamespaceArray items = SelectedNamespaces();
  if (items.empty()) return;
  const TTreeWaitCursor wait(*this);
  items.front()->Delete(items);  // the tree learns of it from the notifier
}

void TCustomLazyExplorerTree::DeleteSelectedNodes() { SelectedFilesDelete(); }

void TCustomLazyExplorerTree::SelectedFilesShowProperties() {
  TNamespaceArray items = SelectedNamespaces();
  if (!items.empty()) items.front()->ShowPropertySheetMulti(items);
}

void TCustomLazyExplorerTree::MarkNodesCut() {
  if (!(ExplorerImageOptions() & toMarkCutAndCopy)) return;
  CancelCutOrCopy();
  DoStateChange({tsCutPending}, {tsCopyPending});
  MarkCutCopyNodes();  // disabled nodes stay unmarked
  Repaint();
}

void TCustomLazyExplorerTree::MarkNodesCopied() {
  if (!(ExplorerImageOptions() & toMarkCutAndCopy)) return;
  CancelCutOrCopy();
  DoStateChange({tsCopyPending}, {tsCutPending});
  MarkCutCopyNodes();
  Repaint();
}

// --------------------------------------------------------------- execute --

void TCustomLazyExplorerTree::DoShellExecute(PLazyNode node) {
  TNamespace* ns = nullptr;
  if (!(ExplorerMiscOptions() & toExecuteOnDblClk) || !ValidateNamespace(node, ns)) return;
  std::wstring workingDir, args;
  bool allow = true;
  if (OnShellExecute) OnShellExecute(*this, *ns, workingDir, args, allow);
  if (!allow) return;
  ExecuteNamespace(*ns, workingDir, args);
  if (ns->GetLink() && (ExplorerMiscOptions() & toBrowseExecuteFolderShortcut))
    ShellExecuteFolderLink(*ns, workingDir, args);
}

bool TCustomLazyExplorerTree::ExecuteNamespace(TNamespace& ns, std::wstring& workingDir,
                                               std::wstring& cmdLineArgument) {
  return ns.ShellExecuteNamespace(workingDir, cmdLineArgument, !(ExplorerMiscOptions() & toBrowseExecuteFolder),
                                  !(ExplorerMiscOptions() & toBrowseExecuteFolderShortcut));
}

void TCustomLazyExplorerTree::ShellExecuteFolderLink(TNamespace& ns, const std::wstring&, const std::wstring&) {
  if (!ns.GetLink()) return;
  TLazyShellLink link;
  if (!link.ReadLink(ns.GetNameParseAddress()) || !DirExistsW(link.TargetPath) || !link.TargetIDList) return;
  BrowseToByPIDL(link.TargetIDList.get(), (ExplorerSyncOptions() & toExpandTarget) != 0,
                 (ExplorerSyncOptions() & toCollapseTargetFirst) != 0, false,
                 (ExplorerSyncOptions() & toSelectTarget) != 0);
}

// ---------------------------------------------------------- rename, new --

bool TCustomLazyExplorerTree::EditCaption(PLazyNode node) {
  return node && EditNode(node, HeaderUsesColumns() ? 0 : HeaderMainColumn());
}

bool TCustomLazyExplorerTree::DoEndEdit() {
  // The rename's own notifications are handled before the editor closes.
  Sleep(100);
  DrainShellNotifications(true);
  return TCustomLazyStringTree::DoEndEdit();
}

void TCustomLazyExplorerTree::DoCanEdit(PLazyNode node, TColumnIndex column, bool& allowed) {
  if (ExplorerMiscOptions() & toExplorerReadOnly) allowed = false;
  // The name and the application's own columns are edited; the shell's details are not.
  if (allowed && column >= 0 && HeaderUsesColumns()) {
    const TColumnDetails kind = ColumnKind(column);
    allowed = columnDetails_ == cdShellColumns ? column == 0 || (column >= shellColumnCount_ && kind == cdCustom)
                                               : kind == cdFileName || kind == cdCustom;
  }
  // The application has the last word, told what the explorer decided; a
  // read-only tree renames nothing whatever it says.
  TCustomLazyStringTree::DoCanEdit(node, column, allowed);
  if (ExplorerMiscOptions() & toExplorerReadOnly) allowed = false;
}

void TCustomLazyExplorerTree::DoNewText(PLazyNode node, TColumnIndex column, const std::wstring& text) {
  TNamespace* ns = nullptr;
  bool nameColumn = column < 0 || !HeaderUsesColumns();
  if (!nameColumn)
    nameColumn = columnDetails_ == cdShellColumns ? column < shellColumnCount_ : ColumnKind(column) != cdCustom;
  if (!nameColumn || !ValidateNamespace(node, ns)) {
    TCustomLazyStringTree::DoNewText(node, column, text);
    return;
  }
  if (ns->SetNameOf(text)) {
    ns->InvalidateCache();
    InvalidateNode(node);
  } else if (HandleAllocated()) {
    PostMessageW(HandleIfAllocated(), WM_INVALIDFILENAME, reinterpret_cast<WPARAM>(node), 0);
  }
}

namespace {

// The relative list of the folder's child (hidden ones included) whose
// parsing name is exactly `name`, or none.
TPidl FindChildByName(TNamespace& folder, const std::wstring& name) {
  TPidl found;
  folder.EnumerateFolder(true, true, true, [&](TPidl child, TNamespace& parent, bool& terminate) {
    TNamespace item(TPIDLManager::CopyPIDL(child.get()), &parent);
    if (item.GetNameForParsingInFolder() != name) return false;
    found = std::move(child);
    terminate = true;
    return true;
  });
  return found;
}

}  // namespace

bool TCustomLazyExplorerTree::InternalCreateNewFolder(LPCITEMIDLIST parentPIDL, const std::wstring& suggestedName,
                                                      std::wstring& newName) {
  newName.clear();
  // A programming error of the caller: the new folder is made to be named in place.
  if (!HasOption(toEditable)) throw ELazyTreeAssertion("You must set the toEditable option to Edit paths");
  if (!parentPIDL || (ExplorerMiscOptions() & toExplorerReadOnly)) return false;
  TNamespace parentItem(TPIDLManager::CopyPIDL(parentPIDL), nullptr);
  std::wstring parentPath = parentItem.GetNameForParsing();
  while (parentPath.size() > 3 && parentPath.back() == L'\\') parentPath.pop_back();
  if (!DirExistsW(parentPath)) return false;
  PLazyNode parentNode = WalkPIDLToNode(parentPIDL, false, false, true);
  TNamespace* parentNs = nullptr;
  if (!parentNode || !ValidateNamespace(parentNode, parentNs)) return false;
  const std::wstring path = NewFolderNameW(parentPath, suggestedName);
  if (path.empty() || !CreateDirW(path)) return false;
  const std::wstring name = path.substr(path.rfind(L'\\') + 1);
  // The shell may list the new folder a moment after it was made.
  TPidl child;
  for (int attempt = 0; attempt < 200 && !child; ++attempt) {
    child = FindChildByName(*parentNs, name);
    if (!child) Sleep(10);
  }
  if (!child) return false;
  if (!Expanded(parentNode)) SetExpanded(parentNode, true);
  // Expanding a folder never read, or a notification handled meanwhile, may
  // have brought the new folder's node already: it is taken, not added twice.
  auto made = std::make_unique<TNamespace>(std::move(child), parentNs);
  PLazyNode node = nullptr;
  for (PLazyNode n = parentNode->FirstChild; n && !node; n = n->NextSibling) {
    TNamespace* existing = nullptr;
    if (ValidateNamespace(n, existing) && ILIsEqualSafe(existing->AbsolutePIDL(), made->AbsolutePIDL())) node = n;
  }
  if (!node) node = AddCustomNode(parentNode, std::move(made), ctTriStateCheckBox, HasOption(toCheckSupport));
  if (!node) return false;
  ClearSelection();
  SetSelected(node, true);
  SetFocusedNode(node);
  TNamespace* ns = nullptr;
  if (ValidateNamespace(node, ns)) newName = ns->GetNameForEditingInFolder();
  EditCaption(node);
  return true;
}

// -------------------------------------------------------------- drag out --

bool TCustomLazyExplorerTree::DoBeforeDrag(PLazyNode node, TColumnIndex column) {
  TNamespace* ns = nullptr;
  if ((ExplorerMiscOptions() & toExplorerReadOnly) || !(ExplorerShellOptions() & toDragDrop) ||
      !HasOption(toAcceptOLEDrop) || !ValidateNamespace(node, ns) || ns->IsDesktop())
    return false;
  bool allowed = true;
  if (OnDragAllowed) OnDragAllowed(*this, node, column, allowed);
  // The shell's drop target chooses among copy, move and link.
  if (allowed) SetDragOperations(DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK);
  return allowed;
}

// ------------------------------------------------------------- drop target --

PLazyNode TCustomLazyExplorerTree::DropTargetFolder(POINT) {
  PLazyNode node = DropTargetNode();
  if (!node && (ExplorerFolderOptions() & toHideRootFolder)) node = RootNode();
  return node;
}

// The namespace of the former target hears DragLeave before the new one DragEnter.
void TCustomLazyExplorerTree::ChangeDropTarget(PLazyNode node, DWORD keyState, POINT pt, DWORD effect) {
  if (dropTargetSet_ && node == dropTarget_) return;
  TNamespace* ns = nullptr;
  if (dropTargetSet_ && ValidateNamespace(dropTarget_, ns)) ns->DragLeave();
  dropTarget_ = node;
  dropTargetSet_ = true;
  if (ValidateNamespace(node, ns)) ns->DragEnter(dropDataObject_.Get(), keyState, POINTL{pt.x, pt.y}, effect);
}

HRESULT TCustomLazyExplorerTree::DragEnter(DWORD keyState, POINT pt, DWORD& effect) {
  if (ExplorerMiscOptions() & toExplorerReadOnly) {
    effect = DROPEFFECT_NONE;
    return S_OK;
  }
  dropButton_ = (keyState & MK_RBUTTON) ? 2 : (keyState & MK_LBUTTON) ? 1 : dropButton_;
  dropDataObject_ = GetDragManager().GetIsDropTarget() ? GetDragManager().GetDataObject() : ComPtr<IDataObject>();
  const DWORD allowed = effect;
  HRESULT result = TCustomLazyStringTree::DragEnter(keyState, pt, effect);
  if (result == S_OK && effect != DROPEFFECT_NONE) {
    dropTargetSet_ = false;
    dropTarget_ = nullptr;
    ChangeDropTarget(DropTargetFolder(pt), keyState, pt, allowed);
  }
  return result;
}

HRESULT TCustomLazyExplorerTree::DragOver(TBaseLazyTree* source, DWORD keyState, TDragState state, POINT pt,
                                          DWORD& effect) {
  if (ExplorerMiscOptions() & toExplorerReadOnly) {
    effect = DROPEFFECT_NONE;
    return S_OK;
  }
  const DWORD allowed = effect;
  HRESULT result = TCustomLazyStringTree::DragOver(source, keyState, state, pt, effect);
  if (result != S_OK || (effect & ~kDropEffectScroll) == DROPEFFECT_NONE || dropInProgress_) return result;
  const DWORD scroll = effect & kDropEffectScroll;
  ChangeDropTarget(DropTargetFolder(pt), keyState, pt, allowed);
  TNamespace* ns = nullptr;
  DWORD answer = allowed;
  if (!dropDataObject_ || !ValidateNamespace(dropTarget_, ns) ||
      FAILED(ns->DragOver(keyState, POINTL{pt.x, pt.y}, answer)))
    answer = DROPEFFECT_NONE;
  lastDropEffect_ = answer;
  effect = answer | scroll;
  return result;
}

void TCustomLazyExplorerTree::DragLeave() {
  if (ExplorerMiscOptions() & toExplorerReadOnly) return;
  TCustomLazyStringTree::DragLeave();
  TNamespace* ns = nullptr;
  if (dropTargetSet_ && ValidateNamespace(dropTarget_, ns)) ns->DragLeave();
  dropTarget_ = nullptr;
  dropTargetSet_ = false;
  dropDataObject_.Reset();
}

HRESULT TCustomLazyExplorerTree::DragDrop(IDataObject* dataObject, DWORD keyState, POINT pt, DWORD& effect) {
  if (ExplorerMiscOptions() & toExplorerReadOnly) {
    effect = DROPEFFECT_NONE;
    return S_OK;
  }
  dropInProgress_ = true;
  const TTreeWaitCursor wait(*this);
  if (dataObject) dropDataObject_ = ComPtr<IDataObject>(dataObject);
  // The target the drag last reached: the tree's own drop step forgets its
  // node, and a node freed meanwhile has already cleared dropTarget_.
  PLazyNode fallback = dropTargetSet_ ? nullptr : DropTargetFolder(pt);
  HRESULT result = TCustomLazyStringTree::DragDrop(dataObject, keyState, pt, effect);
  PLazyNode target = dropTargetSet_ ? dropTarget_ : fallback;
  TNamespace* ns = nullptr;
  if (result == S_OK && effect != DROPEFFECT_NONE && ValidateNamespace(target, ns)) {
    // A right-button drag lets the shell offer its drop menu.
    effect = dropButton_ == 2 ? (DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK) : lastDropEffect_;
    ns->Drop(dropDataObject_.Get(), keyState, POINTL{pt.x, pt.y}, effect);
  } else if (dropTargetSet_ && ValidateNamespace(dropTarget_, ns)) {
    ns->DragLeave();
  }
  dropTarget_ = nullptr;
  dropTargetSet_ = false;
  dropDataObject_.Reset();
  dropButton_ = 0;
  dropInProgress_ = false;
  return result;
}

void TCustomLazyExplorerTree::DoEndDrag(POINT client) {
  TCustomLazyStringTree::DoEndDrag(client);
  // The drag image and the drop marks leave no trace behind.
  if (HWND window = HandleIfAllocated()) {
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
  }
}

ComPtr<IDataObject> TCustomLazyExplorerTree::DoCreateDataObject() {
  dragDataObject_.Reset();
  // The application's own object, when its event supplies one, is the whole answer.
  if (ComPtr<IDataObject> supplied = TCustomLazyStringTree::DoCreateDataObject()) return supplied;
  TNamespace* first = nullptr;
  if (ValidateNamespace(GetFirstSelected(), first)) dragDataObject_ = first->DataObjectMulti(SelectedNamespaces());
  // Held only while the tree's own object takes its formats: a later clipboard
  // object of the tree must not offer shell formats it cannot render.
  ScopeGuard release([this] { dragDataObject_.Reset(); });
  // The tree's own formats travel too (its nodes, and the reference to the tree).
  ComPtr<TLTDataObject> own = MakeComObject<TLTDataObject>(*this, false);
  return TExplorerDataObject::Create(dragDataObject_, ComPtr<IDataObject>(own.Get()));
}

void TCustomLazyExplorerTree::GetNativeClipboardFormats(std::vector<FORMATETC>& formats) {
  TCustomLazyStringTree::GetNativeClipboardFormats(formats);
  ComPtr<IEnumFORMATETC> shellFormats;
  if (!dragDataObject_ || FAILED(dragDataObject_->EnumFormatEtc(DATADIR_GET, shellFormats.Put())) || !shellFormats)
    return;
  // A shell object lists a dozen formats; the cap guards against one that never ends.
  constexpr std::size_t kMaxShellFormats = 256;
  FORMATETC f{};
  for (std::size_t n = 0; n < kMaxShellFormats && shellFormats->Next(1, &f, nullptr) == S_OK; ++n) {
    // The list compares target devices by pointer and keeps none.
    if (f.ptd) CoTaskMemFree(f.ptd);
    f.ptd = nullptr;
    formats.push_back(f);
  }
}

// ------------------------------------------------------ context menu hooks --

bool TCustomLazyExplorerTree::DoContextMenuShow(TNamespace& ns, HMENU menu) {
  bool allow = true;
  if (OnContextMenuShow) OnContextMenuShow(*this, ns, menu, allow);
  return allow;
}

bool TCustomLazyExplorerTree::DoContextMenuCmd(TNamespace& ns, const std::wstring& verb, UINT id) {
  bool handled = false;
  if (OnContextMenuCmd) OnContextMenuCmd(*this, ns, verb, id, handled);
  if (!handled && verb == L"rename") {
    // The mark stays until the right button's release has seen it (the manager
    // clears it then): that release must not give the selection back, which
    // would close the editor just opened.
    contextMenuManager_->SetIsEditingNode(true);
    handled = true;
    if (SelectedCount() == 1) EditCaption(GetFirstSelected());
  }
  return handled;
}

void TCustomLazyExplorerTree::DoContextMenuAfterCmd(TNamespace& ns, const std::wstring& verb, UINT id,
                                                    bool successful) {
  if (OnContextMenuAfterCmd) OnContextMenuAfterCmd(*this, ns, verb, id, successful);
  if (!successful) return;
  const std::wstring lowered = Lowered(verb);
  if (lowered == L"cut") MarkNodesCut();
  else if (lowered == L"copy") MarkNodesCopied();
}

void TCustomLazyExplorerTree::DoContextMenuSelect(TNamespace& ns, UINT id, HMENU subMenu, bool mouseSelect) {
  if (OnContextMenuItemChange) OnContextMenuItemChange(*this, ns, id, subMenu, mouseSelect);
}

void TCustomLazyExplorerTree::DoTreeDblClick(int button, POINT pt) {
  if (OnTreeDblClick) OnTreeDblClick(*this, GetNodeAt(pt.x, pt.y), button, pt);
}

// ------------------------------------------------------------ popup menu --

// On an item (its caption or images) the shell's menu takes the place of the form's.
bool TCustomLazyExplorerTree::ShellMenuTakesPlaceAt(POINT client) {
  if (!(ExplorerShellOptions() & toContextMenus)) return false;
  TTreeHitInfo hit;
  GetHitTestInfoAt(client.x, client.y, true, hit);
  return hit.HitNode && (hit.HitPositions.Contains(hpOnItemLabel) || hit.HitPositions.Contains(hpOnNormalIcon) ||
                         hit.HitPositions.Contains(hpOnStateIcon));
}

ui::TPopupMenu* TCustomLazyExplorerTree::DoGetPopupMenu(PLazyNode node, TColumnIndex column, POINT position) {
  if (ShellMenuTakesPlaceAt(position)) return nullptr;
  ui::TPopupMenu* menu = TCustomLazyStringTree::DoGetPopupMenu(node, column, position);
  if (menu) menu->PopupComponent = this;
  return menu;
}

ui::TPopupMenu* TCustomLazyExplorerTree::ContextPopupMenu(POINT client) {
  return ShellMenuTakesPlaceAt(client) ? nullptr : TCustomLazyStringTree::ContextPopupMenu(client);
}

bool TCustomLazyExplorerTree::HasPopupMenu(PLazyNode node, TColumnIndex column, POINT position) {
  TNamespace* ns = nullptr;
  return TCustomLazyStringTree::HasPopupMenu(node, column, position) ||
         ((ExplorerShellOptions() & toContextMenus) && ValidateNamespace(node, ns));
}

void TCustomLazyExplorerTree::DoPopupMenu(PLazyNode, TColumnIndex column, POINT position) {
  TCustomLazyStringTree::DoPopupMenu(nullptr, column, position);
}

// ------------------------------------------------------------------ keys --

namespace {

// The last sibling of `top` whose top edge lies within `height` pixels.
PLazyNode LastDisplayedSibling(TCustomLazyExplorerTree& tree, PLazyNode top, int height) {
  PLazyNode last = top;
  int y = 0;
  for (PLazyNode n = top; n; n = tree.GetNextSibling(n)) {
    if (y >= height) break;
    last = n;
    y += static_cast<int>(tree.NodeHeight(n));
  }
  return last;
}

}  // namespace

bool TCustomLazyExplorerTree::PageSiblingKey(WORD key) {
  PLazyNode focused = FocusedNode();
  if (!focused) {
    if (PLazyNode first = GetFirst()) SetFocusedNode(first);
    return false;
  }
  PLazyNode top = TopNode();
  if (!top) return false;
  const int height = ViewHeight();
  if (key == VK_PRIOR) {
    if (focused == top) {
      SetOffsetY(OffsetY() + height);
      if (PLazyNode now = TopNode()) SetFocusedNode(now);
    } else {
      SetFocusedNode(top);
    }
    return false;
  }
  PLazyNode last = LastDisplayedSibling(*this, top, height);
  if (last != focused) {
    SetFocusedNode(last);
    return false;
  }
  const int before = OffsetY();
  SetOffsetY(before - height);
  const int after = OffsetY();
  PLazyNode next = nullptr;
  if (after != before) {
    if (PLazyNode now = TopNode()) next = LastDisplayedSibling(*this, now, height);
  } else {
    next = GetLastChild(nullptr);
  }
  // The view follows the node horizontally only: the page down stays as it is.
  if ((ExplorerMiscOptions() & toAutoScrollHorz) && next) {
    ScrollIntoView(next, false, true);
    SetOffsetY(after);
  }
  if (next) SetFocusedNode(next);
  return false;
}

// The shell's keys, once the tree's OnKeyAction let the key through.
bool TCustomLazyExplorerTree::DoKeyAction(WORD& key, UINT& shift) {
  if (!TCustomLazyStringTree::DoKeyAction(key, shift) || key == 0) return false;
  const bool ctrl = shift & MK_CONTROL, shiftKey = shift & MK_SHIFT, alt = shift & MK_ALT;
  switch (key) {
    case 'X':
      if (ctrl) CutToClipboard();
      return true;
    case 'C':
      if (ctrl) CopyToClipboard();
      return true;
    case 'V':
      if (ctrl) PasteFromClipboard();
      return true;
    case 'A':
      if (ctrl && shiftKey) {
        InvertSelection(false);
        return false;
      }
      return true;
    case VK_INSERT:
      if (ExplorerMiscOptions() & toExplorerReadOnly) return false;
      if (ctrl) CopyToClipboard();
      else if (shiftKey) PasteFromClipboard();
      return false;
    case VK_DELETE:
      DeleteSelectedNodes();
      return true;
    case VK_DIVIDE:
      // Without a focused node there is no subtree to collapse (not the whole tree).
      if (PLazyNode focused = FocusedNode()) {
        const TTreeWaitCursor wait(*this);
        FullCollapse(focused);
      }
      return false;
    case VK_F3:
      if (PLazyNode node = GetFirstSelected()) RefreshNode(node);
      return true;
    case VK_F5:
      RefreshTree((ExplorerMiscOptions() & toRestoreTopNodeOnRefresh) != 0);
      return true;
    case VK_UP:
    case VK_DOWN:
      if (!ctrl) return true;
      if (PLazyNode focused = FocusedNode()) {
        PLazyNode next = key == VK_UP ? GetPreviousSibling(focused) : GetNextSibling(focused);
        if (next) SetFocusedNode(next);
      } else if (PLazyNode first = GetFirst()) {
        SetFocusedNode(first);
      }
      return false;
    case VK_PRIOR:
    case VK_NEXT:
      return ctrl ? PageSiblingKey(key) : true;
    case VK_RETURN:
      if (alt) {
        SelectedFilesShowProperties();
        return false;
      }
      return true;
    default:
      return true;
  }
}

// -------------------------------------------------------------- messages --

bool TCustomLazyExplorerTree::ShellCommandMessage(ui::TMessage& m) {
  switch (m.msg) {
    case WM_SYSKEYDOWN:
      if (m.lParam & (1 << 29)) altDown_ = true;
      if (m.wParam == VK_RETURN && altDown_) {
        // Alt+Enter is a key like the others: OnKeyAction sees it before the property sheet opens.
        WORD key = VK_RETURN;
        UINT shift = MK_ALT;
        if (GetKeyState(VK_SHIFT) < 0) shift |= MK_SHIFT;
        if (GetKeyState(VK_CONTROL) < 0) shift |= MK_CONTROL;
        DoKeyAction(key, shift);
        m.result = 0;
        return true;
      }
      return false;
    case WM_SYSKEYUP:
    case WM_KILLFOCUS:
      altDown_ = false;
      return false;
    case WM_KEYDOWN:
    case WM_KEYUP:
      // The context-menu key goes to the system, which makes a keyboard WM_CONTEXTMENU of it.
      if (m.wParam == VK_APPS) {
        DefaultHandler(m);
        return true;
      }
      return false;
    case WM_CONTEXTMENU: {
      if (TreeStates().Contains(tsRightButtonDown) || (ExplorerMiscOptions() & toExplorerReadOnly)) {
        m.result = 1;
        return true;
      }
      const int x = static_cast<short>(LOWORD(m.lParam)), y = static_cast<short>(HIWORD(m.lParam));
      if (m.lParam == -1 || (LOWORD(m.lParam) == 0xFFFF && HIWORD(m.lParam) == 0xFFFF)) {
        bool shown = contextMenuManager_->ShowContextMenuOfSelectedItem();
        if (!shown && !contextMenuManager_->Enabled()) {
          if (PLazyNode node = GetFirstSelected()) {
            const POINT pt = contextMenuManager_->CalculatePopupPoint(node);
            m.lParam = MAKELPARAM(pt.x, pt.y);
          }
        }
        if (shown) {
          contextMenuManager_->ResetState();
          m.result = 1;
          return true;
        }
        // The tree's own handling (the form's popup menu), then the manager forgets the menu.
        TCustomLazyStringTree::WndProc(m);
        contextMenuManager_->ResetState();
        return true;
      }
      POINT client{x, y};
      ScreenToClient(HandleIfAllocated(), &client);
      TTreeHitInfo hit;
      GetHitTestInfoAt(client.x, client.y, true, hit);
      // Only the name's cell stands for the item: a detail column's text is no handle for the shell menu.
      const bool shown =
          hit.HitNode && hit.HitColumn == HeaderMainColumn() &&
          (hit.HitPositions.Contains(hpOnItemLabel) || hit.HitPositions.Contains(hpOnNormalIcon)) &&
          contextMenuManager_->ShowContextMenuOfActiveNode(POINT{x, y});
      // The tree's own handling runs in any case (on an item it finds no form menu to show).
      TCustomLazyStringTree::WndProc(m);
      if (shown) m.result = 1;
      return true;
    }
    case WM_RBUTTONDOWN: {
      const POINT pt{static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam))};
      contextMenuManager_->RightClick(pt.x, pt.y, false, false);
      TCustomLazyStringTree::WndProc(m);
      // Items may be dragged with the right button too: the shell then offers its drop menu.
      TTreeHitInfo hit;
      GetHitTestInfoAt(pt.x, pt.y, true, hit);
      if (hit.HitNode && DoBeforeDrag(hit.HitNode, hit.HitColumn)) BeginDrag(false);
      return true;
    }
    case WM_LBUTTONDOWN: {
      // Without browsing into folders only the expand button opens one.
      TTreeHitInfo hit;
      GetHitTestInfoAt(static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam)), true, hit);
      mouseOnExpandButton_ = hit.HitPositions.Contains(hpOnItemButton);
      userInput_ = true;
      const ScopeGuard done([this] { userInput_ = mouseOnExpandButton_ = false; });
      TCustomLazyStringTree::WndProc(m);
      return true;
    }
    case WM_RBUTTONUP:
      TCustomLazyStringTree::WndProc(m);
      contextMenuManager_->RightClick(static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam)),
                                      false, true);
      if (GetCapture() == HandleIfAllocated()) ReleaseCapture();
      return true;
    case WM_LBUTTONDBLCLK: {
      const POINT pt{static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam))};
      if (altDown_) {
        SelectedFilesShowProperties();
        m.result = 0;
        return true;
      }
      TTreeHitInfo hit;
      GetHitTestInfoAt(pt.x, pt.y, true, hit);
      {
        // Only through the button: without browsing into folders a double click
        // on a caption neither expands nor collapses the folder.
        mouseOnExpandButton_ = hit.HitPositions.Contains(hpOnItemButton);
        userInput_ = true;
        const ScopeGuard done([this] { userInput_ = mouseOnExpandButton_ = false; });
        TCustomLazyStringTree::WndProc(m);
      }
      if (hit.HitNode && GetFirstSelected() == hit.HitNode &&
          (hit.HitPositions.Contains(hpOnItemLabel) || hit.HitPositions.Contains(hpOnNormalIcon)))
        DoShellExecute(hit.HitNode);
      DoTreeDblClick(0, pt);
      return true;
    }
    case WM_RBUTTONDBLCLK:
      TCustomLazyStringTree::WndProc(m);
      DoTreeDblClick(1, POINT{static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam))});
      return true;
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_INITMENUPOPUP:
    case WM_MENUCHAR: {
      TCustomLazyStringTree::WndProc(m);
      LRESULT result = m.result;
      if (contextMenuManager_->HandleContextMenuMsg(m.msg, m.wParam, m.lParam, result)) m.result = result;
      return true;
    }
    case WM_MENUSELECT:
      contextMenuManager_->MenuSelect(m.wParam, m.lParam);
      return false;
    case WM_INVALIDFILENAME: {
      // The shell refused the name (and said why): the user corrects it.
      MessageBeep(MB_OK);
      const auto node = reinterpret_cast<PLazyNode>(m.wParam);
      for (PLazyNode n = GetFirstNoInit(); n; n = GetNextNoInit(n))
        if (n == node) {
          EditCaption(node);
          break;
        }
      m.result = 0;
      return true;
    }
    default:
      return false;
  }
}

// ----------------------------------------------------------------- paint --

}  // namespace kv
