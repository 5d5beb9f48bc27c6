// The explorer tree's shell commands: clipboard, delete, rename, new
// folders, executing items, drag data, keys and the shell context menu.
#include <windows.h>

#include <algorithm>

#include "shell/explorer_tree_win.h"
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
  const uint32_t before = shellOptions_;
  shellOptions_ = value;
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

// ------------------------------------------------------------- clipboard --

bool TCustomLazyExplorerTree::CopyToClipboard() {
  const WaitCursor wait;
  bool handled = false;
  if (OnClipboardCopy) OnClipboardCopy(*this, handled);
  if (handled) return true;
  TNamespace* first = nullptr;
  if (!ValidateNamespace(GetFirstSelected(), first)) return false;
  if (!first->Copy(SelectedNamespaces())) return false;
  MarkNodesCopied();
  return true;
}

bool TCustomLazyExplorerTree::CutToClipboard() {
  if (miscOptions_ & toExplorerReadOnly) return false;
  const WaitCursor wait;
  bool markSelectedCut = true, handled = false;
  if (OnClipboardCut) OnClipboardCut(*this, markSelectedCut, handled);
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
  if (miscOptions_ & toExplorerReadOnly) return false;
  const WaitCursor wait;
  bool handled = false;
  if (OnClipboardPaste) OnClipboardPaste(*this, handled);
  if (handled) return true;
  TNamespace* ns = nullptr;
  if (SelectedCount() != 1 || !ValidateNamespace(GetFirstSelected(), ns)) return false;
  return ns->Paste({ns});
}

void TCustomLazyExplorerTree::SelectedFilesPaste(bool allSelected) {
  if (miscOptions_ & toExplorerReadOnly) return;
  TNamespaceArray items = SelectedNamespaces();
  if (items.empty() || (!allSelected && SelectedCount() != 1)) return;
  const WaitCursor wait;
  if (!allSelected) items.resize(1);
  for (TNamespace* ns : items) ns->Paste({ns});
}

void TCustomLazyExplorerTree::SelectedFilesDelete() {
  if (miscOptions_ & toExplorerReadOnly) return;
  TNamespaceArray items = SelectedNamespaces();
  if (items.empty()) return;
  const WaitCursor wait;
  items.front()->Delete(items);  // the tree learns of it from the notifier
}

void TCustomLazyExplorerTree::DeleteSelectedNodes() { SelectedFilesDelete(); }

void TCustomLazyExplorerTree::SelectedFilesShowProperties() {
  TNamespaceArray items = SelectedNamespaces();
  if (!items.empty()) items.front()->ShowPropertySheetMulti(items);
}

void TCustomLazyExplorerTree::MarkNodesCut() {
  if (!(imageOptions_ & toMarkCutAndCopy)) return;
  for (PLazyNode node = GetFirstNoInit(); node; node = GetNextNoInit(node)) node->States.Exclude(nsCutCopyMarked);
  DoStateChange({tsCutPending}, {tsCopyPending});
  for (PLazyNode node = GetFirstSelected(); node; node = GetNextSelected(node)) node->States.Include(nsCutCopyMarked);
  Repaint();
}

void TCustomLazyExplorerTree::MarkNodesCopied() {
  if (!(imageOptions_ & toMarkCutAndCopy)) return;
  for (PLazyNode node = GetFirstNoInit(); node; node = GetNextNoInit(node)) node->States.Exclude(nsCutCopyMarked);
  DoStateChange({tsCopyPending}, {tsCutPending});
  for (PLazyNode node = GetFirstSelected(); node; node = GetNextSelected(node)) node->States.Include(nsCutCopyMarked);
  Repaint();
}

// --------------------------------------------------------------- execute --

void TCustomLazyExplorerTree::DoShellExecute(PLazyNode node) {
  TNamespace* ns = nullptr;
  if (!(miscOptions_ & toExecuteOnDblClk) || !ValidateNamespace(node, ns)) return;
  std::wstring workingDir, args;
  bool allow = true;
  if (OnShellExecute) OnShellExecute(*this, *ns, workingDir, args, allow);
  if (!allow) return;
  ExecuteNamespace(*ns, workingDir, args);
  if (ns->GetLink() && (miscOptions_ & toBrowseExecuteFolderShortcut)) ShellExecuteFolderLink(*ns, workingDir, args);
}

bool TCustomLazyExplorerTree::ExecuteNamespace(TNamespace& ns, std::wstring& workingDir,
                                               std::wstring& cmdLineArgument) {
  return ns.ShellExecuteNamespace(workingDir, cmdLineArgument, !(miscOptions_ & toBrowseExecuteFolder),
                                  !(miscOptions_ & toBrowseExecuteFolderShortcut));
}

void TCustomLazyExplorerTree::ShellExecuteFolderLink(TNamespace& ns, const std::wstring&, const std::wstring&) {
  if (!ns.GetLink()) return;
  TLazyShellLink link;
  if (!link.ReadLink(ns.GetNameParseAddress()) || !DirExistsW(link.TargetPath) || !link.TargetIDList) return;
  BrowseToByPIDL(link.TargetIDList.get(), (syncOptions_ & toExpandTarget) != 0,
                 (syncOptions_ & toCollapseTargetFirst) != 0, false, (syncOptions_ & toSelectTarget) != 0);
}

// ---------------------------------------------------------- rename, new --

bool TCustomLazyExplorerTree::EditCaption(PLazyNode node) {
  return node && EditNode(node, HeaderUsesColumns() ? 0 : HeaderMainColumn());
}

bool TCustomLazyExplorerTree::DoEndEdit() {
  // The rename's own notifications are handled before the editor closes.
  if (changeNotifierEnabled_) {
    Sleep(100);
    DrainShellNotifications(true);
  }
  return TCustomLazyStringTree::DoEndEdit();
}

bool TCustomLazyExplorerTree::DoCanEdit(PLazyNode node, TColumnIndex column) {
  return !(miscOptions_ & toExplorerReadOnly) && TCustomLazyStringTree::DoCanEdit(node, column);
}

void TCustomLazyExplorerTree::DoNewText(PLazyNode node, TColumnIndex column, const std::wstring& text) {
  TNamespace* ns = nullptr;
  if (column > 0 || !ValidateNamespace(node, ns)) {
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

bool TCustomLazyExplorerTree::InternalCreateNewFolder(LPCITEMIDLIST parentPIDL, const std::wstring& suggestedName,
                                                      std::wstring& newName) {
  newName.clear();
  if (!HasOption(toEditable) || !parentPIDL) return false;
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
  ComPtr<IShellFolder> folder = parentNs->GetShellFolder();
  if (!folder) return false;
  TPidl child;
  for (int attempt = 0; attempt < 200 && !child; ++attempt) {
    LPITEMIDLIST found = nullptr;
    std::wstring parse = name;
    if (SUCCEEDED(folder->ParseDisplayName(nullptr, nullptr, parse.data(), nullptr, &found, nullptr)) && found)
      child.reset(found);
    else
      Sleep(10);
  }
  if (!child) return false;
  if (!Expanded(parentNode)) SetExpanded(parentNode, true);
  PLazyNode node = AddNamespaceNode(parentNode, std::make_unique<TNamespace>(std::move(child), parentNs));
  if (!node) return false;
  if (HasOption(toCheckSupport)) {
    SetCheckType(node, ctTriStateCheckBox);
    SetCheckState(node, csUncheckedNormal);
  }
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
  if ((miscOptions_ & toExplorerReadOnly) || !(shellOptions_ & toDragDrop) || !HasOption(toAcceptOLEDrop) ||
      !ValidateNamespace(node, ns) || ns->IsDesktop())
    return false;
  bool allowed = true;
  if (OnDragAllowed) OnDragAllowed(*this, node, column, allowed);
  return allowed;
}

ComPtr<IDataObject> TCustomLazyExplorerTree::DoCreateDataObject() {
  dragDataObject_.Reset();
  TNamespace* first = nullptr;
  if (ValidateNamespace(GetFirstSelected(), first)) dragDataObject_ = first->DataObjectMulti(SelectedNamespaces());
  return TExplorerDataObject::Create(dragDataObject_);
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
    contextMenuManager_->SetIsEditingNode(true);
    handled = true;
    if (SelectedCount() == 1) EditCaption(GetFirstSelected());
    contextMenuManager_->SetIsEditingNode(false);
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

// ------------------------------------------------------------------ keys --

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
      if (miscOptions_ & toExplorerReadOnly) return false;
      if (ctrl) CopyToClipboard();
      else if (shiftKey) PasteFromClipboard();
      return false;
    case VK_DELETE:
      DeleteSelectedNodes();
      return true;
    case VK_DIVIDE: {
      const WaitCursor wait;
      FullCollapse(FocusedNode());
      return false;
    }
    case VK_F3:
      if (PLazyNode node = GetFirstSelected()) RefreshNode(node);
      return true;
    case VK_F5:
      RefreshTree((miscOptions_ & toRestoreTopNodeOnRefresh) != 0);
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
        SelectedFilesShowProperties();
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
      if (TreeStates().Contains(tsRightButtonDown) || (miscOptions_ & toExplorerReadOnly)) {
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
        contextMenuManager_->ResetState();
        if (shown) {
          m.result = 1;
          return true;
        }
        return false;
      }
      POINT client{x, y};
      ScreenToClient(HandleIfAllocated(), &client);
      TTreeHitInfo hit;
      GetHitTestInfoAt(client.x, client.y, true, hit);
      if (hit.HitNode && (hit.HitPositions.Contains(hpOnItemLabel) || hit.HitPositions.Contains(hpOnNormalIcon)) &&
          contextMenuManager_->ShowContextMenuOfActiveNode(POINT{x, y})) {
        m.result = 1;
        return true;
      }
      return false;
    }
    case WM_RBUTTONDOWN:
      contextMenuManager_->RightClick(static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam)),
                                      false, false);
      return false;
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
      TCustomLazyStringTree::WndProc(m);
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
